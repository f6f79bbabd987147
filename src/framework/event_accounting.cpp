// The books of an event: the volumes at its end, the event differences of
// the run totals copied at its start, the water balance and its error, the
// sediment and constituent totals, the basin soil moisture, the event
// summary and the values handed to a calibrator. Volumes in m3, soil
// columns in cm, stored constituent masses in g and budgets in kg.
#include "framework/event_accounting.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "framework/error_record.h"
#include "framework/event_accounting_parts.h"
#include "framework/event_volumes.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "framework/run_clock.h"
#include "output/output_steps.h"
#include "overland/lake_extent.h"

namespace kavro {

namespace {

// Water the channel lakes exchanged with the surface since the last event
// end goes into the event and run volumes.
void collect_lake_exchange(main_state& ms) {
  lake_extent_update(ms);
  for (long k = 1; k <= ms.n_lakes && k <= ms.lake_in_dv.size() && k <= ms.lake_out_dv.size(); ++k) {
    if (ms.lake_in_dv[k] > 1e-16 || ms.lake_out_dv[k] > 1e-16) ms.lake_overland_exchange_on = 1;
    ms.vol_lake_inflow_total += ms.lake_in_dv[k];
    ms.vol_overland_to_lake += ms.lake_in_dv[k];
    ms.lake_in_dv[k] = 0.0;
    ms.vol_lake_outflow_total += ms.lake_out_dv[k];
    ms.vol_overland_from_lake += ms.lake_out_dv[k];
    ms.lake_out_dv[k] = 0.0;
  }
}

// Water left on the surface: overland lakes by their level, channel-lake
// cells belong to the lakes.
void measure_final_surface(main_state& ms) {
  const double cell_area = ms.dx * ms.dx;
  ms.vol_surface_final = 0.0;
  if (ms.overland_lake_on && ms.lakes_on) {
    // The two kinds of lakes would count the same water twice.
    if (!ms.lake_kinds_advice_printed)
      std::printf(
          "You are simulating overland lakes and perennial lakes, not recommended presently. Contact your "
          "KAVRO "
          "developer for further advice\n\n");
    ms.lake_kinds_advice_printed = 1;
    return;
  }
  for (long j = 1; j <= ms.n_cells; ++j) {
    if (ms.overland_lake_on) {
      const long m = j <= ms.oland_lake_new.size() ? ms.oland_lake_new[j] : 0;
      if (m >= 1 && m <= ms.olake_table.size()) {
        const double v = (ms.olake_table[m].level - ms.elevation[j]) * cell_area;
        ms.vol_surface_final += v;
        ms.vol_ov_lakes_final += v;
        continue;
      }
    } else if (is_channel_lake_cell(ms, j)) {
      continue;
    }
    ms.vol_surface_final += ms.ov_depth[j] * cell_area;
  }
}

// The soil-column budget of the event.
void account_soil_columns(main_state& ms) {
  const double cell_area = ms.dx * ms.dx;
  for (long j = 1; j <= ms.n_cells && j <= ms.rich_bottom_flux.size(); ++j) {
    ms.event_bottom_flux_cm += ms.rich_bottom_flux[j];
    if (ms.gw_simulation_on == 0) {
      ms.vol_unsat_down_total += ms.rich_bottom_flux[j] / 100.0 * cell_area;
      ms.rich_bottom_flux[j] = 0.0;
    }
  }
  ms.vol_direct_evap = ms.vol_net_infiltrated = ms.vol_soil_final = 0.0;
  ms.n_event_cells_end = 0;
  ms.vol_gw_recharge = ms.event_bottom_flux_cm / 100.0 * cell_area;
  for (long j = 1; j <= ms.n_cells; ++j) {
    if (ms.long_term_on && j <= ms.DIRECT_EVAP.size()) {
      ms.vol_direct_evap += ms.DIRECT_EVAP[j] / 100.0 * cell_area;
      ms.DIRECT_EVAP[j] = 0.0;
    }
    if (ms.richards_on) {
      ms.vol_net_infiltrated += ms.inf_rich[j] * cell_area;
      for (long k = 1; k <= ms.numcells[j] - 1; ++k) {
        ms.n_event_cells_end += 1;
        ms.vol_soil_final += ms.DZ[j][k] * ms.THETA[j][k] / 100.0 * cell_area;
      }
    } else {
      ms.vol_soil_final += simple_soil_column_volume(ms, j);
    }
  }
  ms.vol_direct_evap_total += ms.vol_direct_evap;
  if (!ms.richards_on) return;
  if (ms.vol_soil_init > 0.0) {
    ms.richards_mass_error = (ms.vol_soil_final - ms.vol_soil_init - ms.vol_net_infiltrated +
                              ms.vol_gw_recharge - ms.vol_to_unsat) /
                             ms.vol_soil_init * 100.0;
  } else {
    ms.richards_mass_error = 0.0;
    if (ms.fs_summary.is_open())
      std::fprintf(ms.fs_summary.fp, "\n No Unsaturated Cells in Grid, No infiltration \n");
  }
}

// End volumes and the event values of the run totals.
void take_event_values(main_state& ms) {
  ms.vol_exfil = ms.vol_exfil_total - ms.vol_exfil_total_at_start;
  if (ms.lakes_on) {
    ms.vol_lakes_final = 0.0;
    for (long k = 1; k <= ms.n_lakes && k <= ms.lake_volume.size(); ++k)
      ms.vol_lakes_final += ms.lake_volume[k];
  }
  ms.vol_snow_final = snow_volume(ms);
  ms.vol_melt_final = melt_water_volume(ms);
  ms.vol_discharge = ms.vol_discharge_acc;
  ms.event_peak_q = ms.peak_q;
  ms.ov_cleanup_error = ms.ov_cleanup_error_total - ms.ov_cleanup_error_total_at_start;
  if (ms.interception_on)
    ms.vol_interception = ms.vol_interception_total - ms.vol_interception_total_at_start;
  if (ms.snow_canopy_intercept_on)
    ms.vol_canopy_sublimation = ms.vol_canopy_sublimation_total - ms.vol_canopy_sublimation_total_at_start;
  if (ms.ov_boundary_on || ms.xybdyinput_ovdep_on) {
    ms.vol_ov_head_bound_out = ms.vol_ov_head_bound_out_total - ms.vol_ov_head_bound_out_at_start;
    ms.vol_ov_head_bound_in = ms.vol_ov_head_bound_in_total - ms.vol_ov_head_bound_in_at_start;
  }
  if (ms.ov_boundary_on) {
    ms.vol_ov_slope_bound_out = ms.vol_ov_slope_bound_out_total - ms.vol_ov_slope_bound_out_at_start;
    ms.vol_ov_q_bound_in = ms.vol_ov_q_bound_in_total - ms.vol_ov_q_bound_in_at_start;
    ms.vol_ov_q_bound_out = ms.vol_ov_q_bound_out_total - ms.vol_ov_q_bound_out_at_start;
    ms.vol_ov_q_bound_unmet = ms.vol_ov_q_bound_unmet_total - ms.vol_ov_q_bound_unmet_at_start;
  }
  if (!ms.stream_pointsource.empty()) {
    ms.vol_lake_point_sources = ms.vol_lake_point_sources_total - ms.vol_lake_point_sources_total_at_start;
    ms.vol_lake_point_sinks = ms.vol_lake_point_sinks_total - ms.vol_lake_point_sinks_total_at_start;
    ms.vol_stream_point_sinks = ms.vol_stream_point_sinks_total - ms.vol_stream_point_sinks_total_at_start;
  }
  // Point inputs and the stream boundary inflow of a nested run.
  if (ms.chan_point_inputs_on || !ms.xy_stream_q.empty())
    ms.vol_stream_point_sources = ms.vol_chan_point_sources_total - ms.vol_chan_point_sources_total_at_start;
  if (ms.lakes_on) ms.vol_lake_evap = ms.vol_lake_evap_total - ms.vol_lake_evap_total_at_start;
  if (ms.storm_sewer_on) ms.vol_drains_init = ms.superlink_volume;
  ms.vol_channel_final = (ms.channel_on || ms.chan_mesh_on) ? channel_water_volume(ms, false) : 0.0;
  ms.vol_subsurface_end = 0.0;
  if (ms.sacramento_on) {
    // The stores are basin means in mm.
    ms.vol_subsurface_end = (ms.sac_uztwc + ms.sac_uzfwc + ms.sac_lztwc + ms.sac_lzfsc + ms.sac_lzfpc) *
                            ms.watershed_area / 1000.0;
    ms.vol_direct_evap = ms.vol_sac_evap;
  }
  if (ms.conceptual_gw_on)
    ms.vol_subsurface_end = (ms.cgw_slow_content + ms.cgw_fast_content) * ms.watershed_area / 1000.0;
  // A lumped model gives its hour's outflow at the top of the hour; the part
  // of the last hour the channels have not taken yet is still on its way.
  const auto in_transit = [&](double flow, double next_time) {
    return flow * std::max(0.0, seconds_between(ms.now, next_time));
  };
  if (ms.sacramento_on) ms.vol_subsurface_end += in_transit(ms.sac_channel_outflow, ms.next_sac_time);
  if (ms.conceptual_gw_on) ms.vol_subsurface_end += in_transit(ms.cgw_channel_outflow, ms.next_cgw_time);
}

// In - out over in; -1 for an event without inputs.
void compute_water_balance(main_state& ms) {
  double in = ms.vol_precip_lake + ms.vol_precip + ms.vol_exfil + ms.vol_channel_init + ms.vol_overland_init +
              ms.vol_gw_to_chan + ms.vol_gw_to_lakes + ms.vol_lakes_init + ms.vol_snow_init +
              ms.vol_melt_init + ms.vol_ov_point_sources + ms.vol_ov_head_bound_in +
              ms.vol_lake_point_sources + ms.vol_stream_point_sources + ms.vol_ov_q_bound_in +
              ms.vol_superlink_to_channel + ms.vol_superlink_to_overland + ms.vol_subsurface_start;
  double out = ms.vol_infiltrated + ms.vol_surface_final + ms.vol_channel_final + ms.vol_discharge +
               ms.vol_direct_evap + ms.vol_snow_final + ms.vol_melt_final + ms.vol_lakes_final +
               ms.vol_chan_to_gw + ms.vol_lakes_to_gw + ms.vol_ov_head_bound_out + ms.vol_ov_slope_bound_out +
               ms.vol_lake_point_sinks + ms.vol_stream_point_sinks + ms.vol_lake_evap +
               ms.vol_ov_q_bound_out + ms.vol_overland_to_superlink + ms.vol_subsurface_end +
               ms.vol_canopy_sublimation;
  // The infiltrated water the Sacramento model took is in its stores, which
  // vol_subsurface_end already counts.
  if (ms.sacramento_on) out -= ms.vol_sac_infil;
  // Likewise the recharge of the two-store model's stores.
  if (ms.conceptual_gw_on) out -= (ms.cgw_recharge_mm - ms.cgw_recharge_mm_at_start) * ms.watershed_area / 1000.0;
  if (ms.drain) {
    in += ms.drain->drain_to_chan_vol + ms.drain->drain_to_ov_vol;
    out += ms.drain->ov_to_drain_vol;
  }
  if (ms.ov_bmp_on && ms.bmp_list) {
    in += ms.bmp_list->event_vol_to_ov;
    // Rain on the units is in vol_precip but stays in the units.
    out += ms.bmp_list->event_vol_precip + ms.bmp_list->event_vol_from_ov;
  }
  ms.mass_in_plus_initial = in;
  ms.mass_out_plus_final = out;
  ms.mass_conservation_error = in > 1e-16 ? (in - out) / in : -1.0;
}

}  // namespace

void end_event(main_state& ms) {
  if (ms.event_done == 0) return;
  ms.event_done = 0;
  const double cell_area = ms.dx * ms.dx;
  ms.vol_infiltrated = 0.0;
  if (ms.inf_redist_on || ms.green_ampt_on || ms.richards_on || ms.multi_layer_ga_on) {
    for (long j = 1; j <= ms.n_cells; ++j) ms.vol_infiltrated += ms.cum_infil[j] * cell_area;
  }
  if (ms.lakes_on) {
    collect_lake_exchange(ms);
    if (error_rec.code != 0) return;  // a lake merge stops the run
  }
  measure_final_surface(ms);
  if (ms.soil_redist_on || ms.richards_on) account_soil_columns(ms);
  take_event_values(ms);
  compute_water_balance(ms);
  if (ms.sed_control.erosion_on) account_sediment(ms);
  if (ms.ov_contam_on) account_constituents(ms);
  measure_final_soil_moisture(ms);
  write_event_summary(ms);
  if (!super_quiet && !ms.quiet && ms.tool_mode != 1) std::printf("finished event \n");
  if (ms.fs_summary.is_open()) std::fflush(ms.fs_summary.fp);
  ms.n_events_done += 1;
  hand_over_to_calibrator(ms);
}

}  // namespace kavro
