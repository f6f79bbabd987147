#include "input/project_card_actions.h"

#include <omp.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "framework/error_record.h"
#include "framework/number_text.h"
#include "framework/readers.h"
#include "framework/run_warnings.h"
#include "input/card_services.h"

namespace kavro {

void take_name(std::string& rest, std::string& name) {
  if (!pop_token(rest, name)) name.clear();
}

void take_value(std::string& rest, double& value) {
  if (!pop_double(rest, value)) value = 0.0;
}

void take_value(std::string& rest, int& value) {
  if (!pop_int(rest, value)) value = 0;
}

namespace {

void lower_case(std::string& text) {
  for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
}

// The option words of the Richards cards are recognised by their first four
// letters in any case, so "geom" and "GEOMETRIC" both select "geometric".
bool option_word_is(std::string token, std::string_view word) {
  token = token.substr(0, 4);
  lower_case(token);
  return token == word.substr(0, 4);
}

// The nutrient model of the card NUTRIENTS; a nutrient card before it ends
// the reading with error 79 and the card group as detail.
nsm_model* require_nsm_model(card_context& c, const char* group) {
  if (c.project.nsm_model) return c.project.nsm_model.get();
  error_rec.code = 79;
  error_rec.what = group;
  c.end_reading = true;
  return nullptr;
}

// A point file of a nested run: read at once into the embedded xy_input.
void read_xy_points(card_context& c, std::string& rest, const char* kind_word, const char* header_word,
                    xy_point_set set, bool by_cell_id) {
  std::string file;
  take_name(rest, file);
  c.project.xy_input.read_point_file(file, kind_word, header_word, set, by_cell_id);
}

void mark_overland_xy_input(card_context& c) {
  c.project.use_ov_boundary = 1;
  c.project.use_xybdyinput_ovdep = 1;
}

void end_reading_with(card_context& c, int code) {
  error_rec.code = code;
  c.end_reading = true;
}

}  // namespace

bool leading_real(const std::string& token, double& value) {
  double v = 0.0;
  const number_fault f = read_real(token, v);
  if (f == number_fault::none) value = v;
  // nan and inf are numbers too: the card check refuses them by name.
  if (f == number_fault::not_finite) value = std::strtod(token.c_str(), nullptr);
  return f == number_fault::none || f == number_fault::not_finite;
}

bool leading_int(const std::string& token, int& value) {
  long long n = 0;
  const number_fault f = read_whole(token, n);
  if (f == number_fault::missing || f == number_fault::not_a_number) return false;
  value = f == number_fault::none ? static_cast<int>(n < INT_MIN ? INT_MIN : n > INT_MAX ? INT_MAX : n) : 0;
  return true;
}

void units_card(card_context& c, std::string& rest) {
  take_value(rest, c.run.units);
  std::printf("Units flag = %d\n", c.run.units);
}

// OVERTYPE: the overland scheme by number or by name; an unknown name leaves
// the scheme as it was.
void overtype_card(card_context& c, std::string& rest) {
  std::string word;
  take_name(rest, word);
  if (leading_int(word, c.project.overtype)) return;
  lower_case(word);
  if (word == "explicit") c.project.overtype = 1;
  if (word == "ade") c.project.overtype = 2;
  if (word == "ade-pc") c.project.overtype = 3;
}

// RETEN_DEPTH names a retention-depth map; a number in its place is taken as
// a uniform retention depth, as the card RETENTION gives one.
void reten_depth_card(card_context& c, std::string& rest) {
  std::string token;
  if (!pop_token(rest, token)) {
    c.project.use_reten_depth = 1;
    return;
  }
  c.project.reten_depth = token;
  double depth = 0.0;
  if (!leading_real(token, depth)) {
    c.project.use_reten_depth = 1;
    return;
  }
  warn(format_string(
      "Warning: Incorrect use of RETEN_DEPTH card\n  Usage: RETEN_DEPTH <filename>-or-\nRETENTION <value>  "
      "-or-\n"
      "RETEN_DEPTH \n  Using %lf for the uniform retention depth\n\n",
      depth));
  c.project.use_retention = 1;
  c.project.retention = depth;
}

void hmet_orog_gages_card(card_context& c, std::string& rest) {
  take_name(rest, c.project.hmet_orog_gages);
  c.project.use_hmet_orog_gages = 1;
  c.project.use_orogvar_hmet = 1;
}

// MOISTURE without a file keeps the name of an earlier card.
void moisture_card(card_context& c, std::string& rest) {
  std::string file;
  if (pop_token(rest, file)) c.project.moisture = file;
  c.project.use_moisture = 1;
}

void precip_file_card(card_context& c, std::string& rest) {
  take_name(rest, c.rain.precip_file);
  c.rain.source = 1;
}

void richards_k_option_card(card_context& c, std::string& rest) {
  std::string word;
  take_name(rest, word);
  if (option_word_is(word, "geometric")) c.project.richards_k_option = 2;
  if (option_word_is(word, "arithmetic")) c.project.richards_k_option = 1;
}

void richards_c_option_card(card_context& c, std::string& rest) {
  std::string word;
  take_name(rest, word);
  if (option_word_is(word, "havercamp")) c.project.richards_c_option = 2;
  if (option_word_is(word, "brooks")) c.project.richards_c_option = 1;
}

void richards_upper_option_card(card_context& c, std::string& rest) {
  std::string word;
  take_name(rest, word);
  c.project.richards_upper_option = option_word_is(word, "green_ampt") ? 2
                                    : option_word_is(word, "average")  ? 3
                                                                       : 0;
}

void gw_fluxboundtable_card(card_context& c, std::string& rest) {
  take_name(rest, c.project.gw_fluxboundtable);
  c.run.gw_fluxboundtable = 1;
}

// GW_BOUNDFILE without a file does nothing.
void gw_boundfile_card(card_context& c, std::string& rest) {
  std::string file;
  if (!pop_token(rest, file)) return;
  c.project.gw_boundfile = file;
  c.project.use_gw_boundfile = 1;
}

// QLN_EVENT_NUM without a number gives -1, which the option check refuses.
void qln_event_num_card(card_context& c, std::string& rest) {
  if (!pop_int(rest, c.project.qln_event_num)) c.project.qln_event_num = -1;
  c.project.use_qln_event_num = 1;
}

// REPLACE_LINE n picks line n (from 1) of the value file; it must come
// before REPLACE_VALS.
void replace_line_card(card_context&, std::string& rest) {
  int line_no = 0;
  take_value(rest, line_no);
  replace_line = line_no - 1;
}

void output_folder_card(card_context&, std::string& rest) {
  std::string folder;
  take_name(rest, folder);
  if (folder.empty()) {
    warn("Warning: OUTPUT_FOLDER card without a folder name; the output folder is not changed.\n");
    return;
  }
  set_output_folder(folder);
}

// Every later file name of the project is resolved in this folder.
void project_folder_card(card_context&, std::string& rest) {
  std::string folder;
  take_name(rest, folder);
  if (!folder.empty()) set_project_folder(folder);
}

void super_quiet_card(card_context& c, std::string&) {
  c.project.use_super_quiet = 1;
  super_quiet = 1;
}

// The thread count of every later parallel region of the process.
void num_threads_card(card_context& c, std::string& rest) {
  int n = 0;
  take_value(rest, n);
  // More threads than processors only wait for each other (and enough of
  // them cannot even be started).
  const int processors = omp_get_num_procs();
  if (n > processors) {
    warn(format_string("Warning: NUM_THREADS %d asks for more threads than the %d processors of this machine; %d "
                       "threads are used.\n",
                       n, processors, processors));
    n = processors;
  }
  if (n > 0) {
    omp_set_num_threads(n);
    std::printf("Setting the thread level to %d.\n", n);
  } else {
    std::printf("Error: unable to set the thread level to %d.\n", n);
    ++c.run.card_errors;  // the run stops once the file is read
  }
}

// Calibration comparison by days or by events; anything else ends the
// reading with error 103.
void calib_comp_data_card(card_context& c, std::string& rest) {
  if (rest.starts_with("DAILY")) {
    c.project.calib_comp_data = 0;
  } else if (rest.starts_with("EVENT")) {
    c.project.calib_comp_data = 1;
  } else {
    c.project.calib_comp_data = 2;
    end_reading_with(c, 103);
  }
}

// Calibration objective, written exactly; anything else ends the reading
// with error 104.
void calib_obj_func_card(card_context& c, std::string& rest) {
  if (rest == "RMSE") {
    c.project.calib_obj_func = 0;
  } else if (rest == "HMLE") {
    c.project.calib_obj_func = 1;
  } else {
    c.project.calib_obj_func = 2;
    end_reading_with(c, 104);
  }
}

// Initial snow water equivalent: a uniform depth (kind 3) or a map (kind 1).
void init_swe_depth_card(card_context& c, std::string& rest) {
  std::string token;
  take_name(rest, token);
  if (leading_real(token, c.project.init_swe_depth)) {
    c.project.init_swe_kind = 3;
  } else {
    c.project.init_swe_kind = 1;
    c.project.init_swe_file = token;
  }
}

void xybdyoutput_pts_card(card_context& c, std::string& rest) {
  c.project.use_xybdyoutput = 1;
  c.project.xybdyoutput_is_mask = 0;
  take_name(rest, c.project.xy_output.points_file);
}

void xybdyoutput_mask_card(card_context& c, std::string& rest) {
  c.project.use_xybdyoutput = 1;
  c.project.xybdyoutput_is_mask = 1;
  take_name(rest, c.project.xy_output.points_file);
}

void xybdyinput_ovdep_card(card_context& c, std::string& rest) {
  read_xy_points(c, rest, "overland", "XY_OV_DEPTH", xy_point_set::ov, true);
  mark_overland_xy_input(c);
}

void xybdyinput_gwhead_card(card_context& c, std::string& rest) {
  read_xy_points(c, rest, "groundwater", "XY_GW_HEAD", xy_point_set::gw, true);
}

void xybdyinput_gwheadinterp_card(card_context& c, std::string& rest) {
  read_xy_points(c, rest, "groundwater", "XY_GW_HEAD_INTERP", xy_point_set::gw_interp, false);
}

void xybdyinput_ovdepthinterp_card(card_context& c, std::string& rest) {
  read_xy_points(c, rest, "overland", "XY_OV_DEPTH_INTERP", xy_point_set::ov_interp, false);
  mark_overland_xy_input(c);
}

// Water-surface stages in place of depths, from a file of the depth layout.
void xybdyinput_ov_stage_interp_card(card_context& c, std::string& rest) {
  xybdyinput_ovdepthinterp_card(c, rest);
  c.project.use_xybdyinput_ov_stage_interp = 1;
}

void xybdyinput_stflow_card(card_context& c, std::string& rest) {
  std::string file;
  take_name(rest, file);
  c.project.xy_input.read_stream_hydrographs(file);
}

// The stream points bind series already read, so the TIME_SERIES_FILE card
// must come first.
void xybdyinput_sttimeseries_card(card_context& c, std::string& rest) {
  std::string file;
  take_name(rest, file);
  c.project.xy_input.read_stream_timeseries(file);
}

// A second NUTRIENTS card replaces the model of the first.
void nutrients_card(card_context& c, std::string&) {
  c.project.use_nutrients = 1;
  c.project.nsm_model = nsm_model_init();
}

void aq_env_card(card_context& c, std::string& rest) {
  if (nsm_model* m = require_nsm_model(c, "AQ_ENV")) take_name(rest, m->aquatic_env.file_name);
}

// An initial value: a number is uniform (kind 3), a name a map (kind 1),
// nothing leaves it to the mapping table (kind 2).
void nsm_init_card(card_context& c, std::string& rest, nsm_compartment compartment, int entry) {
  const bool ov = compartment == nsm_compartment::ov;
  nsm_model* m = require_nsm_model(c, ov ? "OV_INIT_XXX" : "ST_INIT_XXX");
  if (!m) return;
  int& kind = ov ? m->ov_input_kind[entry] : m->st_input_kind[entry];
  double& value = ov ? m->ov_input_value[entry] : m->st_input_value[entry];
  std::string& file = ov ? m->ov_input_file[entry] : m->st_input_file[entry];
  std::string token;
  if (!pop_token(rest, token)) {
    kind = nsm_input_table;
  } else if (leading_real(token, value)) {
    kind = nsm_input_uniform;
  } else {
    kind = nsm_input_map;
    file = token;
  }
}

void nsm_out_card(card_context& c, std::string& rest, nsm_group group, int species) {
  const char* what = group == nsm_group::ov   ? "OUT_OV_XXX"
                     : group == nsm_group::st ? "OUT_ST_XXX"
                                              : "OUT_HYD_XXX";
  nsm_model* m = require_nsm_model(c, what);
  if (!m) return;
  nsm_output_group& g = group == nsm_group::ov   ? m->map_outputs
                        : group == nsm_group::st ? m->link_outputs
                                                 : m->hyd_outputs;
  g.out_on[species] = 1;
  take_name(rest, g.out_name[species]);
}

// The first soil nutrient constant creates the table, all zero.
void nsm_k_card(card_context& c, std::string& rest, int entry) {
  if (!c.project.nsm_soil_k) c.project.nsm_soil_k = std::make_unique<nsm_km_koc>();
  take_value(rest, c.project.nsm_soil_k->values[entry]);
}

}  // namespace kavro
