// Event start: sediment, the soil moisture of the layered infiltration
// methods, the channels and the remaining networks and boundaries.
#include "framework/event_start_parts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/cross_sections.h"
#include "framework/channel_nodes.h"
#include "framework/error_record.h"
#include "framework/event_schedules.h"
#include "framework/event_volumes.h"
#include "framework/main_state.h"

namespace kavro {

namespace {

constexpr double grams_per_kg = 1000.0;
constexpr int suspended = 2;  // components of ov_sed.vol_sed
constexpr int deposited = 3;

template <class A>
void clear_entry(A& a, long i) {
  if (!a.empty() && i >= 0 && i <= a.size()) a[i] = 0.0;
}

// The attached constituent mass of one suspended size class settles with it.
void settle_attached_mass(main_state& ms, long j, long c) {
  for (long i = 1; i <= ms.n_constituents && i <= ms.sed_contam_class_conc.size1(); ++i) {
    const double m = ms.sed_contam_class_conc[i][j][c] * ms.ov_sed_vol_susp[j][c];
    ms.sed_contam_deposited_mass[i][j] += m;
    ms.sed_contam_deposited_mass[i][0] += m;
    ms.sed_contam_susp_mass[i][j] = std::max(0.0, ms.sed_contam_susp_mass[i][j] - m);
    ms.sed_contam_class_conc[i][j][c] = 0.0;
    ms.sed_contam_class_conc[i][j][0] = 0.0;
  }
}

// Sediment that the last event left in suspension settles on the bed.
void settle_suspended_sediment(main_state& ms) {
  if (!ms.ov_sed || ms.ov_sed->vol_sed.empty()) return;
  auto& vol_sed = ms.ov_sed->vol_sed;
  const long n_classes = std::min<long>(ms.sed_control.n_sed_classes, vol_sed.size2());
  for (long j = 1; j <= ms.n_cells && j <= vol_sed.size1(); ++j) {
    for (long c = 1; c <= n_classes; ++c) {
      vol_sed[j][c][deposited] += vol_sed[j][c][suspended];
      if (ms.sed_contam_on) settle_attached_mass(ms, j, c);
      vol_sed[j][c][suspended] = 0.0;
      if (ms.sed_contam_on) ms.ov_sed_vol_susp[j][c] = 0.0;
    }
    vol_sed[j][0][suspended] = 0.0;
    if (ms.sed_contam_on) ms.ov_sed_vol_susp[j][0] = 0.0;
  }
}

void clear_lake_sediment_budgets(main_state& ms) {
  ms.vol_lake_sed_in = ms.vol_lake_sed_settled = 0.0;
  for (long k = 0; k <= ms.n_lakes; ++k) {
    if (k <= ms.init_sed_vol_lake.size() && k <= ms.SS_vol_lake.size1())
      ms.init_sed_vol_lake[k] = ms.SS_vol_lake[k][0];
    clear_entry(ms.event_lake_sand_in, k);
    clear_entry(ms.event_lake_depo_in, k);
    for (auto* m : {&ms.SS_vol_overland_to_lake, &ms.SS_vol_lake_to_overland, &ms.SS_vol_lake_settled,
                    &ms.SS_vol_lake_to_chan, &ms.SS_vol_chan_to_lake}) {
      if (k > m->size1()) continue;
      for (long c = 0; c <= ms.n_fine_classes && c <= m->size2(); ++c) (*m)[k][c] = 0.0;
    }
  }
}

// Long-term soil water of the top layer as a start moisture.
double redistribution_start_moisture(const main_state& ms, long j) {
  const double zone = std::min(ms.soil_layer_cm[j], ms.top_layer_depth_cm);
  if (ms.soil_layer_cm[j] > 1e-16 && zone > 1e-16) return ms.soil_water_cm[j] / zone;
  return ms.porosity[j];
}

// A start moisture outside [residual saturation, porosity] moves 0.01 inside.
double bounded_start_moisture(long j, double theta, double residual, double porosity) {
  if (!(theta < residual || theta > porosity)) return theta;
  std::printf("cell: %ld  thi: %lf  thr: %lf   phi: %lf\n", j, theta, residual, porosity);
  if (residual > theta) {
    theta = residual + 0.01;
    std::printf(
        "Problem initializing inf_redist in main loop, thi<thr at grid cell %ld, increasing it to %lf\n", j,
        theta);
  }
  if (theta > porosity) {
    theta = porosity - 0.01;
    std::printf(
        "Problem initializing inf_redist in main loop, thi>phi at grid cell %ld, decreasing it to %lf\n", j,
        theta);
  }
  return theta;
}

// Direct evaporation and, without groundwater, the water that left the
// bottom of the soil column go into their run totals.
void book_soil_column_transfers(main_state& ms, long j) {
  const double cell_area = ms.dx * ms.dx;
  if (ms.gw_simulation_on == 0 && j <= ms.rich_bottom_flux.size()) {
    ms.vol_unsat_down_total += ms.rich_bottom_flux[j] / 100.0 * cell_area;
    ms.rich_bottom_flux[j] = 0.0;
  }
  if (j <= ms.DIRECT_EVAP.size()) {
    ms.vol_direct_evap_total += ms.DIRECT_EVAP[j] / 100.0 * cell_area;
    ms.DIRECT_EVAP[j] = 0.0;
  }
}

// The three layer moistures of a multi-layer cell from the long-term soil
// water: z is the depth the soil water fills (cm), d1 and d2 the thickness
// of the first two layers; layers below z are saturated.
void layer_start_moisture(const soil_type_params& p, double z, double sw1, double sw2, double theta[4]) {
  const double d1 = p.layer_depth[1], d2 = p.layer_depth[2];
  for (int n = 1; n <= 3; ++n) theta[n] = p.layer_porosity[n];
  if (z <= 1e-16) return;
  if (z < d1) {
    theta[1] = sw1 / z;
    return;
  }
  theta[1] = sw1 / d1;
  if (z < d1 + d2) {
    // The second layer holds its water over the depth below the first layer.
    if (z - d1 > 1e-16) theta[2] = sw2 / (z - d1);
  } else {
    theta[2] = sw2 / d2;
    theta[3] = theta[2];
  }
}

void clear_channel_constituent_budgets(main_state& ms) {
  for (long i = 1; i <= ms.n_constituents; ++i) {
    for (auto* a : {&ms.event_chan_decay_mass, &ms.event_chan_point_mass, &ms.event_chan_gw_mass,
                    &ms.event_chan_ov_mass, &ms.event_chan_out_mass, &ms.event_chan_sed_exchange_mass})
      clear_entry(*a, i);
    if (ms.nutrients_on) {
      clear_entry(ms.event_chan_nsm_gain_mass, i);
      clear_entry(ms.event_chan_nsm_loss_mass, i);
    }
    if (!ms.lakes_on) continue;
    for (auto* a : {&ms.event_ov_to_lake_mass, &ms.event_lake_gw_mass, &ms.event_lake_point_mass,
                    &ms.event_lake_precip_mass, &ms.event_lake_chan_exchange_mass, &ms.event_lake_decay_mass,
                    &ms.event_chan_to_lake_mass, &ms.event_lake_to_chan_mass})
      clear_entry(*a, i);
  }
}

// Empty channels (or the outlet at its boundary depth) at the event start.
void empty_channels(main_state& ms) {
  for (long link = 1; link <= ms.LINKS && link <= ms.nx.size(); ++link) {
    for (long node = 1; node <= nodes_within(ms, link, ms.qp, ms.yp, ms.bel, ms.qlat); ++node) {
      ms.qp[node][link] = 0.0;
      ms.yp[node][link] = ms.bel[node][link];
      ms.qlat[node][link] = 0.0;
    }
  }
  if (ms.head_bound_on && ms.LINKS >= 1 && ms.LINKS <= ms.nx.size() &&
      ms.nx[ms.LINKS] == nodes_within(ms, ms.LINKS, ms.yp, ms.bel, ms.chan_depth) && ms.nx[ms.LINKS] >= 1) {
    const long outlet = ms.nx[ms.LINKS];
    ms.yp[outlet][ms.LINKS] = ms.bel[outlet][ms.LINKS] + ms.bound_depth;
    ms.chan_depth[outlet][ms.LINKS] = ms.bound_depth;
  }
}

// Dissolved mass in the lakes and the ordinary links at the event start (kg).
void measure_channel_constituents(main_state& ms) {
  for (long i = 1; i <= ms.n_constituents; ++i) {
    if (ms.lakes_on && i <= ms.event_lake_mass_init.size()) {
      ms.event_lake_mass_init[i] = 0.0;
      for (long k = 1; k <= ms.n_lakes && i <= ms.lake_mass.size1(); ++k)
        ms.event_lake_mass_init[i] += ms.lake_mass[i][k] / grams_per_kg;
    }
    if (i > ms.event_chan_mass_init.size() || i > ms.chan_node_mass.size1()) continue;
    // Measured afresh at every event start, not added to the last event's value.
    ms.event_chan_mass_init[i] = 0.0;
    for (long link = 1; link <= ms.LINKS && link <= ms.nx.size(); ++link) {
      if (!is_ordinary_link(ms.ltype[link])) continue;
      for (long node = 1; node <= ms.nx[link]; ++node) {
        const long slot = node + link * ms.max_nodes_per_link;
        if (slot < 1 || slot > ms.chan_node_mass.size2()) break;
        ms.event_chan_mass_init[i] += ms.chan_node_mass[i][slot] / grams_per_kg;
      }
    }
  }
}

}  // namespace

void restart_sediment(main_state& ms) {
  settle_suspended_sediment(ms);
  if (ms.ov_sed_out_on) {
    ms.vol_washload_out = ms.max_washload_rate = ms.vol_sand_out = ms.vol_sand_to_chan = 0.0;
    for (long c = 0; c <= ms.sed_control.n_sed_classes; ++c) clear_entry(ms.sed_to_chan_by_class, c);
    const channel_sediment v = channel_sediment_volumes(ms);
    ms.vol_sand_chan_init = v.sand;
    ms.vol_washload_susp_init = v.wash;
    if (ms.lakes_on) clear_lake_sediment_budgets(ms);
  }
  if (ms.ov_bmp_on && ms.bmp_list) ms.bmp_list->event_sed_in = ms.bmp_list->event_sed_out = 0.0;
}

void restart_redistribution(main_state& ms) {
  ms.redist_reinit = 1;
  ms.init_basin_soil_water = 0.0;
  for (long j = 1; j <= ms.n_cells; ++j) {
    ms.iter_pond_1[j] = ms.iter_n[j] = ms.no_wat_prof[j] = ms.iter_i_less_k[j] = 0;
    ms.redist_work[j] = ms.cum_infil[j] = ms.cum_infil_prev[j] = 0.0;
    if (ms.long_term_on) {
      ms.init_moisture[j] =
          bounded_start_moisture(j, redistribution_start_moisture(ms, j), ms.residual_sat[j], ms.porosity[j]);
      if (ms.porosity[j] > 0.0) ms.init_basin_soil_water += ms.init_moisture[j] / ms.porosity[j];
      if (std::isnan(ms.init_basin_soil_water) && ms.tool_mode != 1)
        std::printf("bad initial value of soil moisture cell %ld\n", j);
      book_soil_column_transfers(ms, j);
    }
    ms.redist_theta2[j] = ms.redist_theta1[j] = ms.init_moisture[j];
  }
  if (ms.n_cells > 0) ms.init_basin_soil_water /= ms.n_cells;
}

void restart_multi_layer(main_state& ms) {
  ms.init_basin_soil_water = 0.0;
  for (long j = 1; j <= ms.n_cells; ++j) {
    const long id = ms.soiltype[j];
    if (id < 0 || id >= soil_type_store::size()) continue;
    const soil_type_params& p = ms.soil_type_table[id];
    double theta[4];
    layer_start_moisture(p, ms.soil_layer_cm[j], ms.soil_water_cm[j], ms.soil_water2_cm[j], theta);
    for (int n = 1; n <= 3; ++n) {
      if (theta[n] < p.layer_residual_moisture[n]) theta[n] = p.layer_residual_moisture[n];
      if (theta[n] > p.layer_porosity[n]) theta[n] = p.layer_porosity[n];
      ms.THETA_ML[j][n] = theta[n];
    }
    ms.init_basin_soil_water += theta[1] / p.layer_porosity[1];
    if (std::isnan(ms.init_basin_soil_water)) std::printf("bad initial value of soil moisture cell %ld\n", j);
    book_soil_column_transfers(ms, j);
  }
  if (ms.n_cells > 0) ms.init_basin_soil_water /= ms.n_cells;
}

bool restart_channels(main_state& ms) {
  ms.vol_channel_init = 0.0;
  if (ms.channel_on != 1) return true;
  ms.chan_interval = ms.precip_interval;
  ms.chan_interval_days = ms.precip_period;
  set_clock(ms.next_chan_time, ms.last_chan_time, ms.precip_period_end, ms.precip_period_start);
  if (ms.ov_contam_on)
    set_clock(ms.ov_kin_chan_next, ms.ov_kin_chan_last, ms.precip_period_end, ms.precip_period_start);
  if (ms.chan_contam_on) {
    align_chan_contam_clocks(ms);
    clear_channel_constituent_budgets(ms);
  }
  ms.vol_lat_inflow_total_at_start = ms.vol_lat_inflow_total;
  ms.vol_lat_into_chan_total_at_start = ms.vol_lat_into_chan_total;
  ms.vol_lat_out_of_chan_total_at_start = ms.vol_lat_out_of_chan_total;
  ms.vol_gw_to_chan = ms.vol_chan_to_gw = 0.0;
  // Runs that carry soil water through events keep the channel water too.
  const bool carries_soil_water = ms.richards_on || ms.gw_simulation_on || ms.soil_redist_on;
  if ((!carries_soil_water || ms.loop_pass == 1) && !ms.chan_wse_start_on && !ms.chan_hotstart_on)
    empty_channels(ms);
  ex_section(ms, ms.chan_area_from_hotstart ? 1 : 2, ms.area);
  ms.chan_area_from_hotstart = 0;
  if (error_rec.code != 0) return false;
  if (ms.lakes_on) {
    ms.vol_lakes_init = 0.0;
    for (long k = 1; k <= ms.n_lakes && k <= ms.lake_volume.size(); ++k)
      ms.vol_lakes_init += ms.lake_volume[k];
  }
  ms.vol_channel_init = channel_water_volume(ms, true);
  if (ms.chan_contam_on) measure_channel_constituents(ms);
  return true;
}

void restart_networks_and_boundaries(main_state& ms) {
  ms.vol_snow_init = snow_volume(ms);
  ms.vol_melt_init = melt_water_volume(ms);
  ms.vol_ov_point_sources = 0.0;
  ms.olake_event_flag = 0;
  ms.vol_superlink_to_channel = ms.vol_gw_to_tile = ms.vol_overland_to_superlink =
      ms.vol_superlink_to_overland = 0.0;
  ms.vol_drains_init = ms.vol_gw_xy_gain = ms.vol_gw_xy_loss = 0.0;
  if (ms.storm_sewer_on) {
    if (ms.superlink_substeps > 0) ms.superlink_substeps = 1;
    ms.superlink_interval_days = ms.precip_period;
    ms.next_superlink_time = ms.precip_period_end;
    ms.last_superlink_time = std::max(ms.last_superlink_time, ms.precip_period_start);
    ms.superlink_active = 1;
    ms.vol_sed_water_superlink = ms.vol_sed_water_superlink2 = 0.0;
  }
  if (ms.drain) {
    auto& d = *ms.drain;
    d.ov_to_drain_vol = d.drain_to_chan_vol = d.drain_to_ov_vol = d.gw_to_drain_vol = 0.0;
  }
  if (ms.storm_drain_on) {
    ms.drain_interval_days = ms.precip_period;
    ms.next_drain_time = ms.precip_period_end;
    ms.last_drain_time = std::max(ms.last_drain_time, ms.precip_period_start);
    if (ms.drain) ms.drain->started = 1;
  }
  ms.vol_ov_slope_bound_out = ms.vol_ov_head_bound_out = ms.vol_ov_head_bound_in = 0.0;
  ms.vol_ov_q_bound_in = ms.vol_ov_q_bound_out = ms.vol_ov_q_bound_unmet = 0.0;
  if (ms.ov_boundary_on || ms.xybdyinput_ovdep_on) {
    ms.vol_ov_head_bound_out_at_start = ms.vol_ov_head_bound_out_total;
    ms.vol_ov_head_bound_in_at_start = ms.vol_ov_head_bound_in_total;
  }
  if (ms.ov_boundary_on) {
    ms.vol_ov_slope_bound_out_at_start = ms.vol_ov_slope_bound_out_total;
    ms.vol_ov_q_bound_in_at_start = ms.vol_ov_q_bound_in_total;
    ms.vol_ov_q_bound_out_at_start = ms.vol_ov_q_bound_out_total;
    ms.vol_ov_q_bound_unmet_at_start = ms.vol_ov_q_bound_unmet_total;
  }
  if (ms.ov_bmp_on) {
    if (ms.bmp_list) {
      auto& b = *ms.bmp_list;
      b.event_vol_precip = b.event_vol_from_ov = b.event_vol_to_ov = b.event_vol_seep = b.event_vol_other =
          0.0;
    }
    align_bmp_clock(ms);
  }
  const auto& pp = ms.project_params;
  if (pp.permafrost_kotu == 1 || pp.multi_layer_infil_kotu == 1) {
    if (ms.kotu_step_counter > 0) ms.kotu_step_counter = 1;
    if (pp.use_kotu_timestep == 1) {
      ms.last_infil_time = ms.now;
      ms.next_infil_time = ms.now + ms.kotu_interval_days;
    } else {
      ms.last_kotu_time = ms.last_infil_time;
      ms.next_kotu_time = ms.next_infil_time;
    }
  }
}

}  // namespace kavro
