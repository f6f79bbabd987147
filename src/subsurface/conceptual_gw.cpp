// The two-store groundwater model: a lumped, basin-wide pair of linear
// reservoirs (slow and fast) fed by the water infiltrated over the basin.
// Each hour both stores release a fixed share of their content, then the
// recharge is shared between them by how empty they are. Depths are
// basin-mean millimetres; the model runs on the driver's thread.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>

#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "subsurface/lumped_models.h"
#include "subsurface/lumped_param_file.h"
#include "subsurface/subsurface_steps.h"
#include "subsurface/terrain_passes.h"

namespace kavro {
namespace {

constexpr const char* cgw_keywords[] = {"kavro_conceptual_gw", "slow_max",     "fast_max",         "slow_rate",
                                        "fast_rate",           "slow_content", "fast_content", "underflow_percent"};

double main_state::*cgw_field(int code) {
  switch (code) {
    case 1: return &main_state::cgw_slow_max;
    case 2: return &main_state::cgw_fast_max;
    case 3: return &main_state::cgw_slow_rate;
    case 4: return &main_state::cgw_fast_rate;
    case 5: return &main_state::cgw_slow_content;
    case 6: return &main_state::cgw_fast_content;
    case 7: return &main_state::cgw_underflow_percent;
    default: return nullptr;
  }
}

bool cgw_is_parameter(int code) { return code >= 1 && code <= 7; }
bool cgw_is_whole(int) { return false; }

void stop_printed() {
  error_rec.code = already_printed_code;
  report_error(error_rec);
}

// Reads the open parameter file and builds the upslope areas; false after
// its message.
bool read_conceptual_gw(main_state& ms) {
  const std::string& name = ms.conceptual_gw_path;
  const param_file_layout layout{"KAVRO_CONCEPTUAL_GW", 7, conceptual_gw_card_code, cgw_is_parameter,
                                 cgw_is_whole};
  const param_file_cards cards = read_param_cards(ms.fs_conceptual_gw, name, layout);
  switch (cards.fault) {
    case param_file_fault::none: break;
    case param_file_fault::bad_value: return false;
    case param_file_fault::header:
      std::fputs("have the proper header: KAVRO_CONCEPTUAL_GW \n"
                 "Program terminated in read_conceptual_gw\n",
                 stderr);
      return false;
    case param_file_fault::premature_end:
      std::printf("Premature end-of-file in the Conceptual GW parameter input file.\n");
      std::printf("The file should contain 9 parameters.  Only %d parameters read.\n", cards.n_params);
      std::printf("Program terminated in read_conceptual_gw.\n");
      return false;
    case param_file_fault::duplicate:
      std::fputs("Duplicate cards read in Conceptual_GW parameter file.\n"
                 "There should be only 8 different cards in the file\n"
                 "with no duplicates.\n"
                 "Program terminated in read_conceptual_gw\n",
                 stderr);
      return false;
  }
  for (int code = 1; code <= 7; ++code) ms.*cgw_field(code) = cards.value[static_cast<std::size_t>(code)];
  // A capacity of zero or less would divide by zero in every recharge split.
  for (int code : {1, 2}) {
    const double v = ms.*cgw_field(code);
    if (v <= 0.0) {
      std::printf("Error in the Conceptual GW parameter file %s: card %s is %g; a store capacity must be above 0 mm.\n",
                  name.c_str(), cgw_keywords[code], v);
      return false;
    }
  }
  const auto bound = [](double& v, bool out_of_bounds, double replacement, const char* card) {
    if (!out_of_bounds) return;
    v = replacement;
    std::fprintf(stderr, "WARNING:%s changed!\n", card);
  };
  bound(ms.cgw_slow_rate, ms.cgw_slow_rate < 0.0, 0.01, "slow_rate");
  bound(ms.cgw_fast_rate, ms.cgw_fast_rate < 0.0, 0.01, "fast_rate");
  bound(ms.cgw_slow_content, ms.cgw_slow_content < 0.0, 0.01, "slow_content");
  bound(ms.cgw_fast_content, ms.cgw_fast_content < 0.0, 0.01, "fast_content");
  bound(ms.cgw_underflow_percent, ms.cgw_underflow_percent > 1.0, 0.01, "underflow_percent");
  ms.cgw_slow_content *= ms.cgw_slow_max;
  ms.cgw_fast_content *= ms.cgw_fast_max;
  return produce_upslope_area(ms);
}

}  // namespace

int conceptual_gw_card_code(std::string_view token) {
  std::string t(token);
  for (char& ch : t) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  for (int code = 0; code <= 7; ++code)
    if (t == cgw_keywords[code]) return code;
  return 8;
}

bool produce_upslope_area(main_state& ms) {
  // A debug grid of the run's outputs: the output folder and the batch
  // prefix keep the runs of a batch apart.
  file_wrapper out;
  if (!out.open("upslope.out", "w")) {
    std::fputs("Can't open debug file in produce upslope area\n", stdout);
    return false;
  }
  const terrain_pass_result r = terrain_passes(ms.mask, ms.grid_rows, ms.grid_cols, ms.n_cells, ms.elevation, ms.dx);
  if (!r.converged) {
    print_terrain_pass_failure();
    std::fputs("Program terminated.\n", stderr);
    return false;
  }
  for (long c = 1; c <= ms.n_cells; ++c) ms.upslope_area[c] = r.area[static_cast<std::size_t>(c)];
  std::fprintf(out.fp, "north: %f\n", ms.grid_rows * ms.dx + 1000000.0);
  std::fprintf(out.fp, "south: %f\n", 1000000.0);
  std::fprintf(out.fp, "east:  %f\n", ms.grid_cols * ms.dx + 100000.0);
  std::fprintf(out.fp, "west:  %f\n", 100000.0);
  std::fprintf(out.fp, "rows:  %d\n", ms.grid_rows);
  std::fprintf(out.fp, "cols:  %d\n", ms.grid_cols);
  for (int row = 1; row <= ms.grid_rows; ++row) std::fputs("\n", out.fp);
  out.close();
  return true;
}

void load_conceptual_gw_params(main_state& ms) {
  if (ms.conceptual_gw_on != 1) return;
  if (!ms.fs_conceptual_gw.open(ms.conceptual_gw_path, "r")) {
    std::printf("Cannot open Conceptual GW input parameter file: %s\n", ms.conceptual_gw_path.c_str());
    stop_printed();
    return;
  }
  alloc_dvec(ms.upslope_area, ms.n_cells, "upslope_area");
  const bool ok = read_conceptual_gw(ms);
  ms.fs_conceptual_gw.close();
  if (!ok) stop_printed();
}

double conceptual_gw_stores(main_state& ms, double recharge_mm, double& slow_out_mm, double& fast_out_mm) {
  double &S = ms.cgw_slow_content, &F = ms.cgw_fast_content;
  const double smax = ms.cgw_slow_max, fmax = ms.cgw_fast_max;
  slow_out_mm = S * ms.cgw_slow_rate;
  fast_out_mm = F * ms.cgw_fast_rate;
  S -= slow_out_mm;
  F -= fast_out_mm;
  if (recharge_mm > 0.0) {
    const double rf = 1.0 - F / fmax, rs = 1.0 - S / smax;
    // The fast share grows with the fast store's relative deficit; it stays
    // in [0, 1] so that neither store loses water to the other, and with no
    // deficit left in either (the fast store may stand above fast_max) all
    // the recharge goes to the fast store.
    const double phi = rs + rf <= 0.0 ? 1.0 : std::clamp(2.0 * (fmax / (smax + fmax)) * rf / (rs + rf), 0.0, 1.0);
    const double slow_gain = std::clamp((1.0 - phi) * recharge_mm, 0.0, std::max(smax - S, 0.0));
    S += slow_gain;
    F += recharge_mm - slow_gain;
  }
  ms.cgw_outflow_mm = slow_out_mm + fast_out_mm;
  return ms.cgw_outflow_mm;
}

void conceptual_gw_step(main_state& ms) {
  if (ms.conceptual_gw_on != 1 || std::fabs(ms.next_cgw_time - ms.now) >= ms.time_tol) return;
  if (++ms.cgw_step_count == 1) {
    ms.cgw_infil_prev = 0.0;
    ms.cgw_storage_init_mm = ms.cgw_slow_content + ms.cgw_fast_content;
  }
  ms.last_cgw_time = ms.now;
  ms.next_cgw_time = ms.now + ms.cgw_interval_days;
  const double recharge = (ms.cgw_infil_accum - ms.cgw_infil_prev) / ms.n_cells * 1000.0;
  double slow = 0.0, fast = 0.0;
  conceptual_gw_stores(ms, recharge, slow, fast);
  ms.cgw_recharge_mm += recharge;
  ms.cgw_outflow_total_mm += ms.cgw_outflow_mm;
  ms.cgw_infil_prev = ms.cgw_infil_accum;
  ms.cgw_channel_outflow = ms.cgw_outflow_mm * ms.watershed_area / 3600000.0;
}

}  // namespace kavro
