// The infiltration step of the time loop: ponded water enters the soil by
// the project's method, groundwater standing above the ground seeps back
// onto the surface, and the depth infiltrated in the step goes to the run's
// volume totals, the infiltration maps, the soil-moisture accounting between
// events and the lumped basin models. Between rain events the step sleeps
// until the next event.
//
// The methods' cell loops run in parallel; the exfiltration pass, the
// increments and the reschedule run on one thread in cell order, so every
// total is the same for any thread count.
#include "subsurface/infiltration.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

#include "framework/main_state.h"
#include "framework/parallel_sum.h"
#include "framework/run_clock.h"
#include "overland/held_depth.h"
#include "subsurface/green_ampt.h"
#include "subsurface/richards.h"
#include "subsurface/subsurface_steps.h"
#include "transport/transport_steps.h"

namespace kavro {

namespace {

bool exfiltration_blocked(const main_state& ms, long j) {
  if (ms.overland_lake_on && j <= ms.oland_lake_new.size() && ms.oland_lake_new[j] >= 1) return true;
  return ms.lakes_on && j <= ms.lake_mask.size() && ms.lake_mask[j] >= 1;
}

// The exchange depth (m, upwards onto the surface) of cell j under the
// method `m` when the water table stands at `table` and the surface at
// `surface`, over `t` seconds.
double exfiltration_depth(const main_state& ms, long j, exfil_method m, double table, double surface, double t) {
  const double head = table - surface;
  const double leakage = -ms.gw_leakage_rate / m_per_s_to_cm_per_h * t;
  switch (m) {
    case exfil_method::redistribution: {
      const double e = head * ms.conductivity[j] / (ms.soil_moist_depth_cm / 100.0) * t;
      if (!ms.gw_simulation_on) return std::max(0.0, e);
      return head > 0.0 ? e : leakage;
    }
    case exfil_method::multi_layer: {
      // The soil column of the cell's own soil type, not the run's averaging depth.
      const long id = ms.soiltype[j];
      if (id < 0 || id >= soil_type_store::size()) return 0.0;
      const soil_type_params& p = std::as_const(ms).soil_type_table[id];
      const double column_cm = p.layer_depth[1] + p.layer_depth[2];
      const double e = head * p.layer_ks[1] / column_cm * t / 3600.0;
      if (!ms.gw_simulation_on) return std::max(0.0, e);
      return head > 0.0 ? e : leakage;
    }
    case exfil_method::richards:
      if (!ms.gw_simulation_on) return head * ms.avgks[j] / ms.totaldz[j] * t / 3600.0;
      return head > 0.0 ? head * t / ms.gw_interval * gw_storage_coefficient(ms, j) : leakage;
  }
  return 0.0;
}

// Infiltration increments of the step, in cell order.
void book_increments(main_state& ms) {
  const long n = ms.n_cells;
  if (ms.cum_infil.size() < n || ms.cum_infil_prev.size() < n) return;
  const double cell_area = ms.dx * ms.dx;
  const bool blockage = ms.ovr_flow_block_on && ms.ovr_flow_block.size() >= n;
  const bool run_depth = ms.cum_infil_depth.size() >= n;
  const bool smr = ms.soil_redist_on && ms.inf_depth_since_smr.size() >= n;
  for (long j = 1; j <= n; ++j) {
    const double df = ms.cum_infil[j] - ms.cum_infil_prev[j];
    double v = df * cell_area;
    // The blocked part of the cell takes no water.
    if (blockage && ms.ovr_flow_block[j] < 1.0) v *= 1.0 - ms.ovr_flow_block[j];
    ms.vol_infiltration_total += v;
    if (run_depth) ms.cum_infil_depth[j] += df;
    if (ms.sacramento_on) ms.sac_infil_accum += df;
    if (ms.conceptual_gw_on) ms.cgw_infil_accum += df;
    if (smr) ms.inf_depth_since_smr[j] += df;
    if (ms.ov_contam_on) book_infiltration_constituents(ms, j, v);
    ms.cum_infil_prev[j] = ms.cum_infil[j];
  }
}

// The Richards columns after their step: evaporation totals and the
// surface moisture of every cell outside an overland lake.
void richards_epilogue(main_state& ms, double evaporated) {
  const double cell_area = ms.dx * ms.dx;
  ms.vol_ev_richards = evaporated;
  ms.vol_evap += evaporated * cell_area;
  ms.vol_evap_total += evaporated * cell_area;
  const long n = ms.n_cells;
  if (ms.THETA.size1() < n || ms.THETA.size2() < 1 || ms.soil_moisture.size() < n) return;
  for (long j = 1; j <= n; ++j) {
    if (ms.overland_lake_on && j <= ms.oland_lake_new.size() && ms.oland_lake_new[j] >= 1) continue;
    ms.soil_moisture[j] = ms.THETA[j][1];
  }
}

// The next time of the step, and of the constituent clocks that follow it,
// once the surface is dry between events.
void sleep_until_next_event(main_state& ms) {
  if (ms.inf_redist_on) ms.redist_reinit = 0;
  const std::optional<double> next = next_event_start_time(ms);
  const double wake = next ? *next + ms.precip_period : never_time;
  ms.next_infil_time = wake;
  if (!ms.ov_contam_on) return;
  ms.ov_kin_infil_next = wake;
  ms.next_ov_contam_time = wake;
  if (ms.contam_table_read) {
    ms.ov_kin_table_next = wake;
    ms.ov_kin_table2_next = wake;
  }
}

}  // namespace

void exfiltration_pass(main_state& ms, exfil_method method, double elapsed_s) {
  const long n = ms.n_cells;
  if (ms.elevgw.size() < n || ms.yes_exfil.size() < n) return;
  const double cell_area = ms.dx * ms.dx;
  const bool depth_kept = ms.gw_exfil_depth.size() >= n;
  for (long j = 1; j <= n; ++j) {
    if (exfiltration_blocked(ms, j)) continue;
    const int may = ms.yes_exfil[j];
    if (method == exfil_method::richards ? may != 1 : may <= 0) continue;
    const double h = ms.ov_depth[j];
    double e = exfiltration_depth(ms, j, method, ms.elevgw[j], ms.elevation[j] + h, elapsed_s);
    const bool held = is_held_depth_cell(ms, j);
    if (e >= -h) {
      if (held)
        ms.vol_ov_head_bound_out_total += e * cell_area;
      else
        ms.ov_depth[j] += e;
    } else {
      // The ground takes no more than the pond holds.
      e = -h;
      if (held)
        ms.vol_ov_head_bound_in_total += h * cell_area;
      else
        ms.ov_depth[j] = 0.0;
    }
    const double e_full = e;
    if (ms.ovr_flow_block_on && j <= ms.ovr_flow_block.size() && ms.ovr_flow_block[j] < 1.0)
      e *= 1.0 - ms.ovr_flow_block[j];
    if (depth_kept) ms.gw_exfil_depth[j] += method == exfil_method::redistribution ? e_full : e;
    ms.vol_exfil_total += e * cell_area;
    if (ms.ov_contam_on) book_exfiltration_constituents(ms, j, e * cell_area, method == exfil_method::richards);
  }
}

void infiltration_step(main_state& ms) {
  if (!is_due(ms, ms.next_infil_time)) return;
  // The span in seconds to the millisecond, as the rain step books it: a
  // difference of two day numbers carries the rounding of their size, and a
  // run started later would infiltrate over a slightly other span.
  const double elapsed_s = seconds_between(ms.last_infil_time, ms.now);
  const long n = ms.n_cells;
  bool cells_stepped = false;
  if (ms.inf_redist_on) {
    inf_redist_step(ms, elapsed_s);
    cells_stepped = true;
    ms.infil_step += 1;
    if (ms.any_exfil == 1) exfiltration_pass(ms, exfil_method::redistribution, elapsed_s);
  } else if (ms.green_ampt_on) {
    green_ampt_step(ms, elapsed_s);
    cells_stepped = true;
  } else if (ms.multi_layer_ga_on) {
    mlga_step(ms, elapsed_s);
    cells_stepped = true;
    if (ms.any_exfil == 1) exfiltration_pass(ms, exfil_method::multi_layer, elapsed_s);
  } else if (ms.richards_on) {
    if (ms.any_exfil == 1) exfiltration_pass(ms, exfil_method::richards, elapsed_s);
    richards_epilogue(ms, richards_step(ms, elapsed_s));
  }
  // What the held-depth cells gave to the soil, summed in fixed chunks.
  if (cells_stepped && ms.ov_boundary_on) {
    const double* held = ms.infil_held_volume.data();
    ms.vol_ov_head_bound_in_total +=
        fixed_chunk_sum(1, n, [held](long j) { return held[j]; }, ms.infil_sum_partials);
  }
  book_increments(ms);
  ms.last_infil_time = ms.now;
  ms.next_infil_time = ms.now + ms.infil_interval_days;
  if (ms.soil_redist_on && !ms.runoff_active && !ms.ov_cells_wet && !ms.any_exfil && !ms.event_active)
    sleep_until_next_event(ms);
}

}  // namespace kavro
