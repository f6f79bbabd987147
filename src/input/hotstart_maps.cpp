// A run that starts from a saved or prescribed state: the initial snow water
// equivalent, the overland water depth from a hotstart map or a uniform water
// surface, and the soil moisture of the active infiltration method.
#include <algorithm>
#include <filesystem>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "input/ascii_map.h"
#include "input/cell_loaders.h"
#include "input/setup_lines.h"
#include "overland/overland_solver_state.h"

namespace kavro {

namespace {

constexpr int swe_from_map = 1;
constexpr int swe_uniform = 3;
// Depths and snow at or below this are no water at all.
constexpr double wet_threshold = 1e-16;
// Snow water equivalent is kept in metres and, scaled, in tenths of that.
constexpr double swe_scale = 10.0;

void copy_depths(main_state& ms, long n) {
  for (long i = 1; i <= n; ++i) {
    ms.ov_depth_old[i] = ms.ov_depth[i];
    ms.ov_depth_new[i] = ms.ov_depth[i];
  }
}

}  // namespace

void read_hotstart_depth_maps(main_state& ms) {
  const auto& p = ms.project_params;
  ms.ov_route_count = 0;
  if (p.init_swe_kind > 0) {
    const long n = std::min({static_cast<long>(ms.n_cells), ms.swe.size(), ms.swe_scaled.size()});
    if (p.init_swe_kind == swe_from_map) {
      print_load_line(ms, format_string("reading initial snow swe map from file: %s\n", p.init_swe_file.c_str()));
      read_cell_map(ms, ms.swe_hotstart_file, p.init_swe_file, map_reals_a, &ms.swe, nullptr);
      ms.swe_hotstart_file.close();
      for (long i = 1; i <= n; ++i) ms.swe_scaled[i] = ms.swe[i] * swe_scale;
    } else if (p.init_swe_kind == swe_uniform) {
      for (long i = 1; i <= n; ++i) {
        ms.swe[i] = p.init_swe_depth;
        ms.swe_scaled[i] = p.init_swe_depth * swe_scale;
      }
    }
    ms.snow_present = 1;
  }
  const long n = std::min({static_cast<long>(ms.n_cells), ms.ov_depth.size(), ms.ov_depth_old.size(),
                           ms.ov_depth_new.size()});
  if (p.use_ov_init_depth) {
    print_load_line(ms, format_string("reading overland hotstart map from file: %s\n", p.ov_init_depth.c_str()));
    read_cell_map(ms, ms.ov_init_depth_file, p.ov_init_depth, map_reals_a, &ms.ov_depth, nullptr);
    copy_depths(ms, n);
    if (error_rec.code == 0 && !error_rec.stop) read_overland_solver_state(ms, p.ov_init_depth);
  }
  if (p.use_init_elev_head) {
    // Cells below the given water surface fill up to it; the others keep
    // their hotstart depth.
    for (long i = 1; i <= n; ++i)
      if (p.init_elev_head > ms.elevation[i]) ms.ov_depth[i] = p.init_elev_head - ms.elevation[i];
    copy_depths(ms, n);
  }
  if (ms.long_term_on == 1) {
    for (long i = 1; i <= n; ++i)
      if (ms.ov_depth[i] > wet_threshold) ms.runoff_active = 1;
    for (long i = 1; i <= std::min<long>(ms.n_cells, ms.swe.size()); ++i)
      if (ms.swe[i] > wet_threshold) ms.snow_present = 1;
  }
}

namespace {

// The Green-Ampt depth infiltrated by the end of the run that wrote the
// soil-moisture hotstart, from "<name>.gaf" beside it (m per cell). Without
// it infiltration starts from nothing, as in a fresh run.
void read_infiltrated_depth_hotstart(main_state& ms) {
  const std::string name = ms.project_params.read_sm_hotstart + ".gaf";
  if (!std::filesystem::is_regular_file(expected_file_name(name, "r"))) {
    print_load_line(ms, format_string("no infiltrated depth beside the soil moisture hotstart (%s): "
                                      "infiltration starts from none\n",
                                      name.c_str()));
    return;
  }
  print_load_line(ms, format_string("reading infiltrated depth hotstart map from file: %s\n", name.c_str()));
  file_wrapper f;
  if (!f.open(name, "r")) return;
  read_cell_map(ms, f, name, map_reals_a, &ms.cum_infil, nullptr);
  if (error_rec.code == 0 && !error_rec.stop) ms.cum_infil_from_hotstart = 1;
}

}  // namespace

void read_soil_moisture_hotstart(main_state& ms) {
  const auto& p = ms.project_params;
  if (!p.use_read_sm_hotstart) return;
  print_load_line(ms,
                  format_string("reading soil moisture hotstart map from file: %s\n", p.read_sm_hotstart.c_str()));
  read_cell_map(ms, ms.read_sm_hotstart_file, p.read_sm_hotstart, map_reals_a, &ms.soil_moisture, nullptr);
  const long n = std::min<long>(ms.n_cells, ms.soil_moisture.size());
  for (long i = 1; i <= n; ++i) {
    const double theta = ms.soil_moisture[i];
    // The Richards columns exist only once their set-up has sized them.
    if (ms.richards_on && !ms.THETA.empty() && i <= ms.THETA.size1() && ms.THETA.size2() >= 1)
      ms.THETA[i][1] = theta;
    if (ms.green_ampt_on) ms.init_moisture[i] = theta;
    if (ms.inf_redist_on) {
      ms.init_moisture[i] = theta;
      ms.redist_theta2[i] = theta;
      ms.redist_theta1[i] = theta;
    }
    if (ms.multi_layer_ga_on && !ms.THETA_ML.empty()) ms.THETA_ML[i][1] = theta;
  }
  if (ms.green_ampt_on) read_infiltrated_depth_hotstart(ms);
}

}  // namespace kavro
