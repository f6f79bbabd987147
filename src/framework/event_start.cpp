// The pass on which a rain event starts: the process clocks restart at the
// event's first step, every event accumulator of the water, sediment and
// constituent budgets is cleared, the run totals whose event values the
// accounting takes as differences are copied, and the event-start volumes
// and masses are measured. Volumes in m3, soil-column depths in cm, stored
// constituent masses in g and event budgets in kg.
#include "framework/event_start.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/cross_sections.h"
#include "framework/error_record.h"
#include "framework/event_schedules.h"
#include "framework/event_start_parts.h"
#include "framework/event_volumes.h"
#include "framework/main_state.h"
#include "subsurface/richards.h"

namespace kavro {

namespace {

constexpr double grams_per_kg = 1000.0;

// Sets entry i of a per-constituent vector to 0 when the vector holds it.
template <class A>
void clear_entry(A& a, long i) {
  if (i >= 0 && i <= a.size()) a[i] = 0.0;
}

// A long-term Richards run carries the soil columns through the dry
// spell since the last infiltration update.
void carry_richards_columns(main_state& ms) {
  const double cell_area = ms.dx * ms.dx;
  const double spell_s = (ms.now - ms.last_infil_time) * 86400.0;
  const double evaporated = richards_step(ms, spell_s);
  ms.vol_ev_richards = evaporated;
  ms.vol_evap_total += evaporated * cell_area;
  if (ms.fs_summary.is_open())
    std::fprintf(ms.fs_summary.fp, "Total evaporation at beginning of event %lf \n", ms.vol_evap_total);
  ms.vol_evap = 0.0;
  for (long j = 1; j <= ms.n_cells; ++j)
    ms.vol_infiltration_total += (ms.cum_infil[j] - ms.cum_infil_prev[j]) * cell_area;
  if (ms.next_infil_time > ms.now + ms.precip_period) {
    ms.last_infil_time = ms.now;
    ms.next_infil_time = ms.now + ms.precip_period;
    if (ms.ov_contam_on) ms.ov_kin_infil_next = ms.now + ms.precip_period;
  }
}

// The surface, infiltration, groundwater and event
// evapotranspiration clocks restart with the event's first rain period.
void restart_surface_clocks(main_state& ms) {
  ms.precip_period_start = ms.now;
  ms.precip_period_end = ms.now + ms.precip_period;
  ms.infil_interval_days = ms.precip_period;
  ms.infil_interval = ms.precip_interval;
  ms.next_infil_time = std::min(ms.next_infil_time, ms.precip_period_end + ms.precip_period);
  if (ms.gw_simulation_on) {
    ms.gw_interval_days = ms.precip_period;
    ms.gw_interval = ms.precip_interval;
    ms.next_gw_time = std::min(ms.next_gw_time, ms.precip_period + ms.precip_period_end);
    ms.vol_gw_pumping_event = 0.0;
    for (long link = 1; link <= ms.LINKS && link <= ms.nx.size(); ++link) {
      for (long node = 1; node <= ms.nx[link] && node <= ms.av_qriv.size1() && link <= ms.av_qriv.size2();
           ++node)
        ms.av_qriv[node][link] = 0.0;
    }
  }
  if (ms.soil_redist_on) {
    ms.et_interval = ms.infil_interval;
    ms.et_interval_days = ms.infil_interval_days;
    ms.next_et_time = ms.next_infil_time;
    if (ms.soil_contam_on) ms.soil_contam_next = ms.next_et_time;
  }
}

void clear_ov_constituent_budgets(main_state& ms, long i) {
  for (auto* a :
       {&ms.event_ov_precip_mass, &ms.event_ov_decay_mass, &ms.event_ov_uptake_mass, &ms.event_ov_qlat_mass,
        &ms.event_ov_mass_out, &ms.event_ov_exfil_mass, &ms.event_ov_infil_mass, &ms.event_ov_point_mass,
        &ms.event_ov_mass_init, &ms.event_ov_land_mass, &ms.event_ov_neg_mass})
    clear_entry(*a, i);
  if (ms.ov_bmp_on && ms.bmp_list) {
    clear_entry(ms.bmp_list->event_con_mass_in, i);
    clear_entry(ms.bmp_list->event_con_mass_out, i);
  }
  if (ms.nutrients_on) {
    clear_entry(ms.event_ov_nsm_gain_mass, i);
    clear_entry(ms.event_ov_nsm_loss_mass, i);
  }
  if (!ms.soil_contam_on) return;
  for (auto* a : {&ms.event_soil_mass_init, &ms.event_soil_decay_mass, &ms.event_soil_infil_mass,
                  &ms.event_surface_to_soil_mass, &ms.event_soil_to_surface_mass, &ms.event_soil_to_gw_mass,
                  &ms.event_soil_from_gw_mass})
    clear_entry(*a, i);
  if (!ms.sed_contam_on) return;
  clear_entry(ms.event_soil_sed_exch_mass, i);
  clear_entry(ms.event_ov_sed_source_mass, i);
  if (!ms.chan_contam_on) return;
  for (auto* a : {&ms.event_chan_sed_contam_in_mass, &ms.event_chan_sed_contam_exch_mass,
                  &ms.event_chan_sed_contam_out_mass})
    clear_entry(*a, i);
  if (!ms.lakes_on) return;
  for (auto* a : {&ms.event_chan_lake_sed_contam_mass, &ms.event_ov_lake_sed_contam_mass,
                  &ms.event_lake_sed_contam_source_mass, &ms.event_lake_settled_sed_mass})
    clear_entry(*a, i);
}

// Overland constituents: clocks, event budgets, event-start masses.
void restart_ov_constituents(main_state& ms) {
  start_ov_contam_clocks(ms);
  set_clock(ms.ov_kin_nochan_next, ms.ov_kin_nochan_last, ms.precip_period_end, ms.precip_period_start);
  for (long i = 1; i <= ms.n_constituents; ++i) {
    clear_ov_constituent_budgets(ms, i);
    const double* surface = ms.ov_constituent_mass[i];
    const double* land = ms.ov_mass_load_table[i];
    for (long j = 1; j <= ms.n_cells; ++j) {
      // Water of a channel-lake cell, and its mass, belong to the lake.
      if (surface && !is_channel_lake_cell(ms, j)) ms.event_ov_mass_init[i] += surface[j] / grams_per_kg;
      if (land) ms.event_ov_land_mass[i] += land[j] / grams_per_kg;
      if (!ms.soil_contam_on || !ms.soil_mass[i]) continue;
      for (long k = 1; k <= ms.n_soil_layers; ++k)
        ms.event_soil_mass_init[i] += ms.soil_mass[i][j][k] / grams_per_kg;
    }
  }
}

// Surface water at the event start. A wetland cell takes its
// standing water; its ground is lowered by the wetland's drop once per run.
void reset_surface_water(main_state& ms, long j, bool lower_wetlands) {
  const auto& pp = ms.project_params;
  const bool initial_surface_given = pp.use_ov_init_depth || pp.use_init_elev_head;
  const long w = ms.wetlands_on && j <= ms.wetland_mask.size() ? ms.wetland_mask[j] : 0;
  const bool wetland = w >= 1 && w <= ms.wetland_table.size();
  if (wetland) {
    ms.ov_depth[j] = ms.wetland_table[w].initial_depth;
    if (lower_wetlands) ms.elevation[j] -= ms.wetland_table[w].elev_drop;
  } else if (ms.wetlands_on && !initial_surface_given) {
    ms.ov_depth[j] = 0.0;
  }
  if (initial_surface_given || !ms.wetlands_on) ms.ov_aux_depth[j] = 0.0;
}

// A Richards column at the event start; its relative saturation
// over the averaging depth is added to `saturation_sum` (with one count).
void restart_richards_cell(main_state& ms, long j, double& saturation_sum, int& counted) {
  const double cell_area = ms.dx * ms.dx;
  ms.vol_to_unsat = 0.0;
  ms.infil_rate[j] = ms.cum_infil[j] = ms.cum_infil_prev[j] = 0.0;
  if (ms.long_term_on) {
    ms.vol_direct_evap_total += ms.DIRECT_EVAP[j] / 100.0 * cell_area;
    ms.DIRECT_EVAP[j] = 0.0;
  }
  ms.inf_rich[j] = 0.0;
  ms.bound_type[j] = 1;
  for (long k = 1; k <= ms.numcells[j] - 1; ++k) {
    ms.vol_soil_init += ms.DZ[j][k] * ms.THETA[j][k] / 100.0 * cell_area;
    ms.n_event_cells_start += 1;
  }
  if (ms.long_term_on) {
    if (const auto s = richards_relative_saturation(ms, j, ms.soil_moist_depth_cm)) {
      saturation_sum += *s;
      ++counted;
    }
  }
  ms.dtr[j] = std::min(ms.dtr[j], ms.infil_interval / 3600.0);
  if (ms.gw_simulation_on == 0) {
    ms.vol_unsat_down_total += ms.rich_bottom_flux[j] / 100.0 * cell_area;
    ms.rich_bottom_flux[j] = 0.0;
  }
}

// The per-cell pass of the infiltration methods.
void restart_cells(main_state& ms) {
  if (ms.richards_on) {
    ms.init_basin_soil_water = ms.vol_soil_init = 0.0;
    ms.n_event_cells_start = 0;
  }
  if (ms.sacramento_on) {
    ms.vol_sac_baseflow = ms.vol_sac_evap = ms.vol_sac_infil = 0.0;
    // The stores are basin means in mm.
    ms.vol_subsurface_start = (ms.sac_uztwc + ms.sac_uzfwc + ms.sac_lztwc + ms.sac_lzfsc + ms.sac_lzfpc) *
                              ms.watershed_area / 1000.0;
  }
  if (ms.conceptual_gw_on) {
    // The two stores hold subsurface water as well (basin means in mm).
    ms.vol_subsurface_start = (ms.cgw_slow_content + ms.cgw_fast_content) * ms.watershed_area / 1000.0;
    ms.cgw_recharge_mm_at_start = ms.cgw_recharge_mm;
  }
  const bool reset_surface =
      !ms.richards_on && !ms.gw_simulation_on && !ms.ov_point_source_on && !ms.inf_redist_on;
  const bool lower_wetlands = reset_surface && ms.wetlands_on && !ms.wetland_cells_lowered;
  double saturation_sum = 0.0;
  int counted = 0;
  for (long j = 1; j <= ms.n_cells; ++j) {
    if (reset_surface) reset_surface_water(ms, j, lower_wetlands);
    if (ms.green_ampt_on == 1) ms.cum_infil[j] = ms.cum_infil_prev[j] = 0.0;
    if (ms.multi_layer_ga_on == 1)
      ms.wetdep[j] = ms.infil_rate[j] = ms.cum_infil[j] = ms.cum_infil_prev[j] = 0.0;
    if (ms.richards_on == 1) restart_richards_cell(ms, j, saturation_sum, counted);
    if (ms.interception_on == 1) ms.icep_dep[j] = 0.0;
  }
  if (lower_wetlands) ms.wetland_cells_lowered = 1;
  // A column without thickness has no saturation: it is left out of the mean.
  if (ms.richards_on && ms.long_term_on)
    ms.init_basin_soil_water = counted > 0 ? saturation_sum / counted : 0.0;
}

// Event counters and volumes, and the copies of the run totals
// whose event values the accounting takes as differences.
void restart_event_volumes(main_state& ms) {
  ms.event_bottom_flux_cm = 0.0;
  if (ms.loop_pass != 1) ms.event_step = 1;
  ms.infil_step = 1;
  ms.peak_q = 0.0;
  ms.n_xsec_table_overruns = 0;
  ms.vol_precip = ms.vol_precip_lake = ms.vol_overland_to_lake = ms.vol_overland_from_lake = 0.0;
  ms.vol_overland_init = ms.vol_discharge_acc = ms.vol_discharge = ms.event_peak_q = 0.0;
  ms.vol_direct_evap = ms.vol_net_infiltrated = ms.vol_exfil = 0.0;
  ms.vol_exfil_total_at_start = ms.vol_exfil_total;
  ms.vol_ov_slope_bound_out_at_start = ms.vol_ov_slope_bound_out_total;
  ms.vol_ov_head_bound_out_at_start = ms.vol_ov_head_bound_out_total;
  ms.vol_ov_head_bound_in_at_start = ms.vol_ov_head_bound_in_total;
  ms.vol_lake_evap_total_at_start = ms.vol_lake_evap_total;
  ms.vol_chan_point_sources_total_at_start = ms.vol_chan_point_sources_total;
  ms.vol_stream_point_sinks_total_at_start = ms.vol_stream_point_sinks_total;
  ms.vol_lake_point_sources_total_at_start = ms.vol_lake_point_sources_total;
  ms.vol_lake_point_sinks_total_at_start = ms.vol_lake_point_sinks_total;
  ms.vol_interception_total_at_start = ms.vol_interception_total;
  ms.vol_canopy_sublimation_total_at_start = ms.vol_canopy_sublimation_total;
  ms.ov_cleanup_error_total_at_start = ms.ov_cleanup_error_total;
  ms.rain_not_started = 1;
  ms.event_rain_acc = 0.0;
}

// The per-location peaks and volumes handed to a calibrator.
void restart_calibration_locations(main_state& ms) {
  long n = 0;
  if (ms.optimize_on == 1 && ms.in_hyd_location_on == 1 && ms.optimize_sed_on == 0) n = ms.n_hyd_locations;
  if (ms.optimize_on == 1 && ms.optimize_sed_on == 1 && ms.in_sed_loc_on == 1 && ms.ov_sed_out_on == 1)
    n = ms.n_sed_locations;
  for (long i = 1; i <= n; ++i) {
    clear_entry(ms.hyd_loc_max_q, i);
    clear_entry(ms.hyd_loc_volume, i);
    if (!ms.calib_results) continue;
    auto& cr = *ms.calib_results;
    if (i <= cr.loc_peak.size()) cr.loc_peak[i] = -999.99;
    if (i <= cr.loc_volume.size()) cr.loc_volume[i] = -999.99;
  }
}

// Water standing on the surface when the event starts (overland
// lakes by their level) counts as the event's first input.
void measure_initial_surface(main_state& ms) {
  const auto& pp = ms.project_params;
  const bool surface_may_hold_water = ms.richards_on == 1 || ms.gw_simulation_on || ms.soil_redist_on ||
                                      ms.overland_lake_on || ms.wetlands_on || pp.use_ov_init_depth ||
                                      pp.use_init_elev_head;
  if (!surface_may_hold_water) return;
  const double cell_area = ms.dx * ms.dx;
  double v = 0.0;
  for (long j = 1; j <= ms.n_cells; ++j) {
    const long m = ms.overland_lake_on && j <= ms.oland_lake_mask.size() ? ms.oland_lake_mask[j] : 0;
    if (m >= 1 && m <= ms.olake_table.size())
      v += cell_area * (ms.olake_table[m].level - ms.elevation[j]);
    else
      v += cell_area * ms.ov_depth[j];
  }
  ms.vol_overland_init = v;
  if (v > 1e-6) {
    ms.rain_not_started = 0;
    ms.event_rain_acc = v;
  }
}

}  // namespace

void event_start_step(main_state& ms) {
  if (!(ms.time_tol > std::fabs(ms.now - ms.next_event_start))) return;
  ms.runoff_active = 1;
  if (ms.long_term_on == 1 && ms.loop_pass != 1 && ms.richards_on) carry_richards_columns(ms);
  restart_surface_clocks(ms);
  if (ms.ov_contam_on) restart_ov_constituents(ms);
  restart_cells(ms);
  restart_event_volumes(ms);
  restart_calibration_locations(ms);
  measure_initial_surface(ms);
  ms.vol_infiltrated = 0.0;
  ms.rain_start_min = 0.0;
  ms.n_rain_steps = 0;
  ms.rain_period_no = 1;
  if (!ms.quiet && ms.tool_mode != 1) std::printf("Initialized Arrays\n");
  if (ms.sed_control.erosion_on) restart_sediment(ms);
  if (ms.long_term_on == 0 && ms.qln_on == 0) {
    if (ms.tool_mode != 1) std::printf("simulation duration %d minutes\n", ms.sim_duration_min);
    ms.run_end_time = ms.sim_duration_min / 1440.0 + ms.start_time;
  }
  if (ms.inf_redist_on) restart_redistribution(ms);
  if (ms.multi_layer_ga_on && ms.long_term_on) restart_multi_layer(ms);
  if (!restart_channels(ms)) return;
  restart_networks_and_boundaries(ms);
}

}  // namespace kavro
