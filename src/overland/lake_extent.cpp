// The grid cells each channel lake covers. A lake with a rating curve takes
// its level and area from the curve; a level-pool lake rises or falls over
// its search list cell by cell, each flooded cell adding its surface water
// to the lake. Lakes are visited in order on one thread: lakes may reach
// for the same cell, and the one that comes second reports the merge.
#include "overland/lake_extent.h"

#include <algorithm>
#include <cmath>

#include "channel/lake_rating.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/parallel_sum.h"
#include "framework/readers.h"
#include "framework/run_warnings.h"

namespace kavro {
namespace {

void say(const std::string& text) { print_and_log(run_log_file, text); }

int search_cell(const main_state& ms, int lake, int k) {
  return ms.mask[ms.lake_search[lake][1][k]][ms.lake_search[lake][2][k]];
}

bool gw_on(const main_state& ms) { return ms.gw_simulation_on && !ms.gwbound.empty(); }

// The cell leaves its lake.
void remove_cell(main_state& ms, int lake, int c, const char* fmt) {
  ms.lake_mask[c] = 0;
  ms.new_flooded_grid[c] = -1;
  say(format_string(fmt, c, lake));
  ms.ov_depth[c] = 0.0;
  if (gw_on(ms) && !ms.og_gwbound_type.empty()) ms.gwbound[c] = ms.og_gwbound_type[c];
}

// The cell joins the lake with its surface water; the volume it brought
// (m3). False when another lake holds it (the merge).
bool add_cell(main_state& ms, int lake, int c, double& brought, bool& merged) {
  brought = 0.0;
  if (ms.lake_mask[c] > 0 && ms.lake_mask[c] != lake) {
    merged = true;
    return false;
  }
  ms.lake_mask[c] = lake;
  ms.new_flooded_grid[c] = 1;
  ms.new_flooded_cells = 1;
  if (gw_on(ms)) ms.gwbound[c] = 7;
  if (ms.ov_depth[c] > 1e-16) {
    brought = ms.dx * ms.dx * ms.ov_depth[c];
    ms.lake_in_dv[lake] += brought;
    ms.lake_volume[lake] += brought;
  }
  ms.ov_depth[c] = 0.0;
  return true;
}

void extent_warning(main_state& ms, int lake) {
  if (ms.lake_extent_warned) return;
  ms.lake_extent_warned = 1;
  const int k = ms.numpts[lake];
  const std::string text =
      format_string("Warning: Lake #%d has reached your specified maximum areal extent\n", lake) +
      "This likely means you should increase the maximum water surface elevation\n" +
      format_string("The last grid cell coordinates defined in your input file are: [%d][%d] \n",
                    ms.lake_search[lake][1][k], ms.lake_search[lake][2][k]);
  note_warning(text);
  std::fputs(text.c_str(), stdout);
  if (run_log_file && run_log_file->is_open()) {
    std::fputs(("\n" + text + "\n").c_str(), run_log_file->fp);
  }
}

void rating_lake(main_state& ms, int L, double V, bool& merged) {
  int n = ms.lake_cells[L];
  const double W = lake_rating_interp(L, ms.lake_volume[L], ms.numrate[L], ms.lake_rate_volume, ms.lake_rate_elev,
                                      ms.rating_warned);
  const double A = lake_rating_interp(L, ms.lake_volume[L], ms.numrate[L], ms.lake_rate_volume, ms.lake_rate_area,
                                      ms.rating_warned);
  if (!ms.yes_static_lake.empty() && ms.yes_static_lake[L]) {
    ms.lake_elev[L] = W, ms.lake_area[L] = A;
    return;
  }
  if (V < 0) {
    for (int k = 1; k <= ms.lake_cells[L]; ++k) {
      const int c = search_cell(ms, L, k);
      if (ms.lake_mask[c] == L && ms.elevation[c] > W) {
        remove_cell(ms, L, c, "Removing cell %d from lake %d \n");
        --n;
      }
    }
  } else {
    for (int k = 1; k <= ms.numpts[L]; ++k) {
      const int c = search_cell(ms, L, k);
      if (ms.lake_mask[c] == L) continue;
      if (ms.elevation[c] < W - 1e-7) {
        double brought;
        if (add_cell(ms, L, c, brought, merged)) ++n;
      }
    }
  }
  ms.lake_elev[L] = W, ms.lake_area[L] = A, ms.lake_cells[L] = n;
}

void level_pool_lake(main_state& ms, int L, double V, bool& merged) {
  int n = ms.lake_cells[L];
  double W = ms.lake_elev[L], A = ms.lake_area[L];
  const double cell = ms.dx * ms.dx;
  if (V < -1e-16) {
    while (V < 0 && n >= 1) {
      const int c = search_cell(ms, L, n);
      const double z = ms.elevation[c], rise = std::fabs(V / A);
      if (rise < W - z) {
        W -= rise;
        break;
      }
      if (n == 1) {
        say(format_string("Lake %d has gone completely dry and has no inundated overland flow cells \n", L));
        say("KAVRO will proceed assuming there is one cell inundated \n");
        say("Consider increasing the initial water surface elevation, or using the static lake option \n");
        W = z;
        break;
      }
      remove_cell(ms, L, c, "Removing cell %d from lake %d\n");
      V += (W - z) * A;
      W = z;
      --n;
      A = n * cell;
    }
  } else if (V > 1e-16) {
    while (V > 0) {
      const double rise = A > 1e-16 ? V / A : V / cell;
      double gap = 999.9;
      int c = 0;
      if (n + 1 <= ms.numpts[L]) {
        c = search_cell(ms, L, n + 1);
        gap = ms.elevation[c] - W;
      } else {
        extent_warning(ms, L);
      }
      if (rise < gap + 1e-7) {
        W += rise;
        break;
      }
      double brought = 0.0;
      if (!add_cell(ms, L, c, brought, merged)) break;
      V += brought;
      V -= gap * A;
      W += gap;
      ++n;
      A = n * cell;
    }
  }
  ms.lake_elev[L] = W;
  ms.lake_area[L] = n * cell;
  ms.lake_cells[L] = n;
}

}  // namespace

void lake_extent_update(main_state& ms) {
  if (!ms.lakes_on || ms.n_lakes < 1) return;
#pragma omp parallel for schedule(static) if (ms.new_flooded_grid.size() >= parallel_min_items)
  for (long c = 1; c <= ms.new_flooded_grid.size(); ++c) ms.new_flooded_grid[c] = 0;
  bool merged = false;
  for (int L = 1; L <= ms.n_lakes; ++L) {
    const double V = ms.lake_volume[L] - ms.prevlake_volume[L];
    if (!ms.yes_defined_curve_lake.empty() && ms.yes_defined_curve_lake[L] == 1) rating_lake(ms, L, V, merged);
    else level_pool_lake(ms, L, V, merged);
    ms.prevlake_volume[L] = ms.lake_volume[L];
  }
  if (merged) {
    say("Your lake has potentially merged with another lake.....\n");
    say("Current KAVRO formulation is not up for this. Will be soon.\n");
    say("KAVRO Terminating.\n");
    error_rec.code = already_printed_code;
    report_error(error_rec);
  }
}

void lake_evaporation(main_state& ms, double wind, double T, double RH) {
  if (!ms.lakes_on || ms.n_lakes < 1) return;
  const double wind_km_per_day = wind * 0.001 * 86400.0;
  // Mass transfer over open water; the saturation vapour pressure of this
  // form is written with T + 273.3 in its denominator.
  const double air = 1.69e-4 * wind_km_per_day * (1.0 - RH / 100.0) * 6.11 * std::exp(17.3 * T / (T + 273.3)) / 24.0;
  double taken = 0.0;
  for (int L = 1; L <= ms.n_lakes; ++L) {
    const double A = ms.lake_area[L];
    const double E = std::pow(std::max(A / 1.0e6, 1e-6), -0.05) * air * A / 100.0;
    const double loss = ms.lake_volume[L] > E ? E : std::max(ms.lake_volume[L], 0.0);
    ms.lake_volume[L] -= loss;
    if (!ms.cumulative_lake_evap.empty()) ms.cumulative_lake_evap[L] += loss;
    taken += loss;
  }
  ms.vol_lake_evap_total += taken;
  lake_extent_update(ms);
}

}  // namespace kavro
