// The groundwater step of the time loop: books the exchanges of the last
// interval, moves the aquifer, couples the moved water table back to the
// soil (the soil-moisture zone between storms or the Richards columns),
// keeps the run's groundwater totals and opens a runoff event when
// groundwater reaches the surface between storms.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "framework/error_record.h"
#include "framework/event_schedules.h"
#include "framework/main_state.h"
#include "framework/runoff_event_open.h"
#include "hydromet/frozen_ground_couplings.h"
#include "subsurface/groundwater_flow.h"
#include "subsurface/richards_column.h"
#include "subsurface/soil_cell_gates.h"
#include "subsurface/soil_type_table.h"
#include "subsurface/stream_exchange.h"
#include "subsurface/subsurface_steps.h"

namespace kavro {

namespace {

inline bool fixed_head(int type) { return type == 2 || type == 5; }

// Channel and lake exchange volumes left by the last interval, split into
// the event and run totals by direction.
void book_last_exchanges(main_state& ms) {
  const long n = ms.n_cells;
  if (ms.stream_loss_on && ms.stream_gw_cell_vol.size() >= n) {
    for (long j = 1; j <= n; ++j) {
      if (ms.gwbound[j] != 4) continue;
      const double v = ms.stream_gw_cell_vol[j];
      if (v < 0.0) {
        ms.vol_chan_to_gw -= v;
        ms.vol_river_to_gw_total -= v;
      } else {
        ms.vol_gw_to_chan += v;
        ms.vol_gw_to_river_total += v;
      }
    }
  }
  if (ms.lakes_on && ms.lake_loss_on == 1 && ms.lake_source.size() >= n && ms.lake_mask.size() >= n) {
    for (long j = 1; j <= n; ++j) {
      if (ms.lake_mask[j] <= 0) continue;
      const double v = ms.lake_source[j];
      if (v < 0.0) {
        ms.vol_lakes_to_gw -= v;
        ms.vol_lakes_to_gw_total -= v;
      } else {
        ms.vol_gw_to_lakes += v;
        ms.vol_gw_to_lakes_total += v;
      }
    }
  }
}

double cell_area(const main_state& ms) { return ms.dx * ms.dx; }

// Richards columns: the aquifer moves, then every column takes the
// conductivities of its new state and hands its bottom flux to the totals.
void richards_path(main_state& ms, double step) {
  const long n = ms.n_cells;
  ms.vol_gw_inputs_total += groundwater_flow(ms, n, step);
  if (error_rec.code != 0 || error_rec.stop) return;
  ms.gw_toggle = ms.gw_toggle == 1 ? 2 : 1;
  const double area = cell_area(ms);
  const bool frozen = permafrost_couplings_on(ms);
  for (long j = 1; j <= n; ++j) {
    if (ms.dtr[j] >= 0.002777777777777778) ms.dtr[j] = 0.002777777777777778;
    if (ms.richards_c_option == 1)
      richards_bc_conductivity(ms, j);
    else
      richards_havercamp_conductivity(ms, j);
    // Frozen nodes of a permafrost cell conduct less than their water says.
    if (frozen) frozen_conductivity_column(ms, j);
    const double r = ms.rich_bottom_flux[j];
    if (ms.event_step != 1) ms.event_bottom_flux_cm += r;
    ms.vol_unsat_down_total += r / 100.0 * area;
    if (!fixed_head(ms.gwbound[j])) ms.vol_recharge_total += r / 100.0 * area;
    ms.rich_bottom_flux[j] = 0.0;
  }
  if (frozen) write_hydro_con_listing(ms);
  if (ms.gw_column_excess_total != 0.0) {
    ms.vol_to_unsat -= ms.gw_column_excess_total / 100.0 * area;
    ms.vol_sat_unsat_total += ms.gw_column_excess_total / 100.0 * area;
  }
}

// Storage coefficient of every cell on the soil-moisture path: the open
// surface, the soil of the zone, or the aquifer below it.
void zone_storage(main_state& ms) {
  for (long j = 1; j <= ms.n_cells; ++j) {
    ms.gw_storage[j] = gw_storage_coefficient(ms, j);
    if (!(ms.gw_storage[j] > 0.0)) {
      ms.gw_storage[j] = ms.gw_porosity[j];
      if (ms.tool_mode != 1) std::printf("there is a problem with groundwater storage term");
    }
    ms.gw_head_prev[j] = ms.elevgw[j];
  }
}

// Porosity, residual moisture and field capacities of a cell's zone.
struct zone_soil {
  double porosity = 0, residual = 0, fc1 = 0, fc2 = 0;
};

zone_soil zone_soil_of(const main_state& ms, long j) {
  zone_soil z;
  if (ms.multi_layer_ga_on == 1) {
    const soil_type_params& st = static_cast<const soil_type_store&>(ms.soil_type_table)[ms.soiltype[j]];
    z.fc1 = st.layer_field_capacity[1];
    z.fc2 = st.layer_field_capacity[2];
    const double zone = ms.soil_layer_cm[j], top = ms.top_layer_depth_cm;
    if (zone <= top || !(zone > 0.0)) {
      z.porosity = st.layer_porosity[1];
      z.residual = st.layer_residual_moisture[1];
    } else {
      z.porosity = (st.layer_porosity[1] * top + st.layer_porosity[2] * (zone - top)) / zone;
      z.residual =
          (st.layer_residual_moisture[1] * top + st.layer_residual_moisture[2] * (zone - top)) / zone;
    }
  } else {
    z.porosity = ms.porosity[j];
    z.residual = ms.residual_sat[j];
    z.fc1 = z.fc2 = ms.field_capacity.size() >= j ? ms.field_capacity[j] : 0.0;
  }
  return z;
}

void set_layer_depths(main_state& ms, long j) {
  if (ms.multi_layer_ga_on != 1) return;
  const soil_type_params& st = static_cast<const soil_type_store&>(ms.soil_type_table)[ms.soiltype[j]];
  ms.soil_moist_depth_cm = st.layer_depth[1] + st.layer_depth[2];
  ms.top_layer_depth_cm = st.layer_depth[1];
}

// The zone thickness from `from` to `to` (cm below the ground) filled at
// field capacity; returns the water added.
double fill_at_field_capacity(main_state& ms, long j, double from, double to, const zone_soil& z) {
  const double top = ms.top_layer_depth_cm;
  const double upper = std::max(0.0, std::min(to, top) - from);
  const double lower = std::max(0.0, to - std::max(from, top));
  ms.soil_water_cm[j] += upper * z.fc1;
  ms.soil_water2_cm[j] += lower * z.fc2;
  return upper * z.fc1 + lower * z.fc2;
}

bool under_a_lake(const main_state& ms, long j) {
  if (ms.lakes_on && ms.lake_mask.size() >= j && ms.lake_mask[j] > 0) return true;
  return ms.oland_lake_mask.size() >= j && ms.oland_lake_mask[j] > 0;
}

// The soil-moisture zone follows the moved water table; false after a head
// that is not a number.
bool couple_zone(main_state& ms, long j) {
  set_layer_depths(ms, j);
  const double area = cell_area(ms);
  const bool type2 = ms.gwbound[j] == 2;
  ms.yes_exfil[j] = 0;
  ms.gw_column_excess[j] = 0.0;
  double& recharge = ms.rich_bottom_flux[j];
  if (ms.event_step != 1 && !type2) ms.event_bottom_flux_cm += recharge;
  if (!fixed_head(ms.gwbound[j])) ms.vol_recharge_total += recharge / 100.0 * area;
  ms.vol_unsat_down_total += recharge / 100.0 * area;
  recharge = 0.0;
  if (std::isnan(ms.elevgw[j])) {
    std::printf(
        "A non-real value for the groudwater head was detected for in cell %ld after running the groundwater "
        "flow routine.\n",
        j);
    error_rec.code = already_printed_code;
    return false;
  }
  const zone_soil z = zone_soil_of(ms, j);
  const double depth = (ms.elevation[j] - ms.elevgw[j]) * 100.0;
  double rise = ms.elevgw[j] - ms.gw_head_prev[j];
  double& zone = ms.soil_layer_cm[j];
  const auto to_groundwater = [&](double v) {
    recharge += v;
    if (!type2) ms.gw_recharge_cum[j] += v;
  };
  if (depth <= 1e-16) {
    if (!under_a_lake(ms, j)) {
      ms.yes_exfil[j] = 1;
      ms.any_exfil = 1;
    }
    to_groundwater(ms.soil_column_water_cm[j]);
    zone = 0.0;
    ms.soil_column_water_cm[j] = ms.soil_water_cm[j] = ms.soil_water2_cm[j] = 0.0;
  } else if (depth < zone) {
    zone = depth;
  } else if (depth > zone) {
    const double old = zone;
    zone = depth;
    if (ms.soil_moist_depth_cm >= depth) {
      if (rise < 1e-16) {
        const double added = fill_at_field_capacity(ms, j, old, depth, z);
        ms.soil_column_water_cm[j] += added;
        to_groundwater(-added);
      }
    } else {
      zone = ms.soil_moist_depth_cm;
      if (ms.soil_moist_depth_cm > old) {
        const double added = fill_at_field_capacity(ms, j, old, ms.soil_moist_depth_cm, z);
        ms.soil_column_water_cm[j] += added;
        to_groundwater(-added);
        rise += (ms.soil_moist_depth_cm - old) / 100.0;
      }
      if (ms.gw_inf_redist_theta.size() >= j)
        ms.gw_column_excess[j] += rise * ms.gw_inf_redist_theta[j] * 100.0;
    }
  }
  if (zone > 1e-16) {
    const double theta = ms.soil_column_water_cm[j] / zone;
    const double top = std::min(zone, ms.top_layer_depth_cm);
    const auto set_layers = [&](double m1, double m2) {
      ms.soil_water_cm[j] = top * m1;
      ms.soil_water2_cm[j] = std::max(zone - ms.top_layer_depth_cm, 0.0) * m2;
      ms.soil_column_water_cm[j] = ms.soil_water_cm[j] + ms.soil_water2_cm[j];
    };
    if (theta > z.porosity) {
      set_layers(z.porosity, z.porosity);
      to_groundwater((theta - z.porosity) * zone);
    } else if (z.residual > theta) {
      set_layers(z.residual, z.residual);
      to_groundwater((theta - z.residual) * zone);
    }
  }
  ms.vol_to_unsat -= ms.gw_column_excess[j] / 100.0 * area;
  ms.vol_sat_unsat_total += ms.gw_column_excess[j] / 100.0 * area;
  return true;
}

// Groundwater reached the surface between storms: a runoff event opens so
// that the surface processes route the exfiltrated water.
void open_exfiltration_event(main_state& ms) {
  if (ms.any_exfil != 1 || ms.event_active != 0 || ms.runoff_active != 0) return;
  // Decided before the opening restarts them: the soil water of the cells is
  // started again from the zone, and the direct evaporation the cells kept
  // since then is booked.
  const bool restarts = ms.soil_redist_on && ((ms.inf_redist_on && ms.redist_reinit == 0) || ms.multi_layer_ga_on);
  const bool units_waiting = ms.ov_bmp_on && ms.bmp_list && ms.next_bmp_time < ms.now;
  open_runoff_event(ms);
  ms.event_start_time = ms.now;
  if (restarts && ms.DIRECT_EVAP.size() >= ms.n_cells) {
    const double area = cell_area(ms);
    for (long j = 1; j <= ms.n_cells; ++j) {
      ms.vol_direct_evap_total += ms.DIRECT_EVAP[j] / 100.0 * area;
      ms.DIRECT_EVAP[j] = 0.0;
    }
  }
  if (units_waiting) align_bmp_clock(ms);
}

}  // namespace

double gw_storage_coefficient(const main_state& ms, long j) {
  const double below = ms.elevation[j] - ms.elevgw[j];
  if (below <= 0.0) return 1.0;
  double zone_depth = ms.soil_moist_depth_cm, top = ms.top_layer_depth_cm;
  if (ms.multi_layer_ga_on == 1) {
    const soil_type_params& st = static_cast<const soil_type_store&>(ms.soil_type_table)[ms.soiltype[j]];
    zone_depth = st.layer_depth[1] + st.layer_depth[2];
    top = st.layer_depth[1];
    if (below <= zone_depth / 100.0)
      return top > ms.soil_layer_cm[j] ? st.layer_porosity[1] : st.layer_porosity[2];
    return ms.gw_porosity[j];
  }
  if (below <= zone_depth / 100.0 && ms.porosity.size() >= j) return ms.porosity[j];
  return ms.gw_porosity[j];
}

void groundwater_step(main_state& ms) {
  if (ms.gw_simulation_on != 1 || ms.snow_calibrate_on == 1) return;
  if (std::fabs(ms.next_gw_time - ms.now) >= ms.time_tol) return;
  const long n = ms.n_cells;
  const double step = (ms.next_gw_time - ms.last_gw_time) * 86400.0;
  ms.any_exfil = 0;
  xy_input& xy = ms.project_params.xy_input;
  if (xy.n_gwpts > 0 || xy.n_gwInterpPts > 0) {
    double gain = 0.0, loss = 0.0;
    xy.apply_gw_head(ms.now, ms.dx, ms.elevgw, ms.gw_storage, gain, loss);
    ms.vol_gw_xy_gain_total += gain;
    ms.vol_gw_xy_gain += gain;
    ms.vol_gw_xy_loss_total += loss;
    ms.vol_gw_xy_loss += loss;
  }
  book_last_exchanges(ms);
  if (ms.richards_on == 1) {
    richards_path(ms, step);
    if (error_rec.code != 0 || error_rec.stop) return;
  } else if (ms.soil_redist_on) {
    zone_storage(ms);
    ms.vol_gw_inputs_total += groundwater_flow(ms, n, step);
    if (error_rec.code != 0 || error_rec.stop) return;
    ms.any_exfil = 0;
    for (long j = 1; j <= n; ++j)
      if (!couple_zone(ms, j)) return;
  }
  const double area = cell_area(ms);
  ms.any_exfil = 0;
  for (long j = 1; j <= n; ++j) {
    ms.vol_leakage_total += step * ms.gw_leakage[j] * area;
    ms.vol_pumping_total += step * ms.gw_well_rate[j] * area;
    if (ms.gwbound[j] == 2) ms.vol_gw_bound_flux_total += ms.gw_flux[j];
    ms.gw_flux[j] = 0.0;
    if (ms.yes_exfil[j] == 1) ms.any_exfil = 1;
  }
  open_exfiltration_event(ms);
  if (ms.channel_on && (ms.stream_loss_on || ms.lake_loss_on) && ms.chan_active == 0) {
    gw_channel_coupling(ms, step);
    if (error_rec.code != 0 || error_rec.stop) return;
  }
  if (ms.stream_loss_on && ms.av_qriv.size1() > 0 && ms.qriv.size1() > 0) {
    for (long l = 1; l <= ms.nx.size(); ++l)
      for (long i = 1; i <= ms.nx[l]; ++i) ms.av_qriv[i][l] += ms.qriv[i][l];
  }
  ms.last_gw_time = ms.now;
  ms.next_gw_time = ms.now + ms.gw_interval_days;
}

}  // namespace kavro
