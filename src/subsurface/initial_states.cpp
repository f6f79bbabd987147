// The initial soil, groundwater, snow and lake state of a run, and the water
// the run starts with in its soils and aquifer.
//
// The soil-moisture zone of the methods that keep soil water between storms
// starts at the initial moisture over SOIL_MOIST_DEPTH (redistribution) or
// the top two layers of the cell's soil type (multi-layer), cut short by a
// water table above its bottom; a water table at or above the ground leaves
// no zone and a saturated soil that exfiltrates. Zone depths are cm, volumes
// m3.
#include <algorithm>
#include <cstdio>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "subsurface/subsurface_steps.h"

namespace kavro {

namespace {

constexpr double none = 1e-16;

// The layered pack's hourly values at the start (entries 1 to 11): wave
// exponent 3, effective porosity 0.67, 10 cm of snow holding 3 cm of water,
// a 3600 s step, density 1, intrinsic permeability 0.077 cm2.
constexpr double initial_pack[12] = {0, 0, 0, 3.0, 0.67, 10.0, 3.0, 0, 3600.0, 1.0, 0.077, 0.077};

bool any_infiltration(const main_state& ms) {
  return ms.richards_on || ms.inf_redist_on || ms.multi_layer_ga_on || ms.green_ampt_on;
}

// Accumulators of the infiltration methods at the run start.
void clear_infiltration_state(main_state& ms, long j) {
  for (dvec* v : {&ms.infil_rate, &ms.rich_bottom_flux, &ms.gw_recharge_cum, &ms.zone_percolation,
                  &ms.cum_infil_depth})
    if (j <= v->size()) (*v)[j] = 0.0;
  // A run continuing another keeps the depth its hotstart says has already
  // infiltrated: the wetting front starts where the other run left it.
  if (j <= ms.cum_infil.size() && !ms.cum_infil_from_hotstart) ms.cum_infil[j] = 0.0;
  if (j <= ms.cum_infil_prev.size()) ms.cum_infil_prev[j] = j <= ms.cum_infil.size() ? ms.cum_infil[j] : 0.0;
  if (ms.richards_on == 1) {
    ms.bound_type[j] = 1;
    ms.inf_rich[j] = 0.0;
  }
  if (ms.inf_redist_on == 1) {
    ms.iter_pond_1[j] = ms.iter_n[j] = ms.no_wat_prof[j] = ms.iter_i_less_k[j] = 0;
    ms.redist_theta1[j] = ms.redist_theta2[j] = ms.init_moisture[j];
    ms.redist_work[j] = 0.0;
  }
}

// The zone of cell j against its water table; returns the water it holds (cm).
double init_zone(main_state& ms, long j) {
  ms.yes_exfil[j] = 0;
  ms.upper_zone_drainage[j] = 0.0;
  const soil_type_params* p = nullptr;
  double zone = ms.soil_moist_depth_cm;
  if (ms.multi_layer_ga_on) {
    const long id = ms.soiltype[j];
    if (id >= 0 && id < soil_type_store::size()) p = &std::as_const(ms).soil_type_table[id];
    // The cell's own zone; the run's SOIL_MOIST_DEPTH stays as it is.
    zone = p ? p->layer_depth[1] + p->layer_depth[2] : 0.0;
  }
  double depth = zone;
  if (ms.water_table_on) {
    if (j <= ms.gw_exfil_depth.size()) ms.gw_exfil_depth[j] = 0.0;
    const double below = ms.elevation[j] - ms.elevgw[j];  // water table below the ground (m)
    if (!(below > 0.0)) {
      if (ms.multi_layer_ga_on) {
        for (int l = 1; l <= 3; ++l) ms.THETA_ML[j][l] = p ? p->layer_porosity[l] : 0.0;
      } else {
        ms.init_moisture[j] = ms.porosity[j];
      }
      depth = 0.0;
      // A channel lake over the cell takes the groundwater itself.
      const bool under_lake = ms.lakes_on && j <= ms.lake_mask.size() && ms.lake_mask[j] != 0;
      if (!under_lake) {
        ms.yes_exfil[j] = 1;
        ms.any_exfil = 1;
      }
    } else if (zone / 100.0 > below) {
      depth = below * 100.0;
    }
    if (ms.gw_simulation_on && j <= ms.gw_inf_redist_theta.size() && j <= ms.gw_porosity.size())
      ms.gw_inf_redist_theta[j] = ms.gw_porosity[j] * ms.single_unsat_sat;
  }
  ms.soil_layer_cm[j] = depth;
  double upper = 0.0, lower = 0.0;
  if (ms.multi_layer_ga_on) {
    const double d1 = p ? p->layer_depth[1] : 0.0, d2 = p ? p->layer_depth[2] : 0.0;
    const double th1 = ms.THETA_ML[j][1], th2 = ms.THETA_ML[j][2];
    if (depth <= d1) {
      upper = depth * th1;
    } else if (depth < d1 + d2) {
      upper = d1 * th1;
      lower = (depth - d1) * th2;
    } else {
      upper = d1 * th1;
      lower = d2 * th2;
    }
  } else {
    const double th = ms.init_moisture[j], top = ms.top_layer_depth_cm;
    upper = std::min(depth, top) * th;
    lower = depth > top ? (depth - top) * th : 0.0;
  }
  ms.soil_water_cm[j] = upper;
  ms.soil_water2_cm[j] = lower;
  ms.soil_column_water_cm[j] = upper + lower;
  return upper + lower;
}

// The snowpack of a long-term run before its first hour.
void init_snow_cell(main_state& ms, long j) {
  if (j <= ms.sn_stat.size1()) {
    for (long k = 1; k <= 23 && k <= ms.sn_stat.size2(); ++k) ms.sn_stat[j][k] = 0.0;
    if (ms.sn_stat.size2() >= 16) {
      ms.sn_stat[j][10] = 0.67;
      ms.sn_stat[j][16] = 3.0;
    }
  }
  if (j <= ms.snap_kavro_params.size1())
    for (long k = 1; k <= 11 && k <= ms.snap_kavro_params.size2(); ++k) ms.snap_kavro_params[j][k] = initial_pack[k];
  for (dvec* v : {&ms.snowpack_temp, &ms.snow_density, &ms.snow_last_air_temp, &ms.cfgi_value})
    if (j <= v->size()) (*v)[j] = 0.0;
  if (j <= ms.wave.size1())
    for (long k = 1; k <= ms.wave.size2(); ++k)
      for (long m = 1; m <= 5 && m <= ms.wave.size3(); ++m) ms.wave[j][k][m] = 0.0;
  if (j <= ms.Melt_Waves.size1())
    for (long k = 1; k <= ms.Melt_Waves.size2(); ++k)
      for (long m = 1; m <= 3 && m <= ms.Melt_Waves.size3(); ++m) ms.Melt_Waves[j][k][m] = 0.0;
  if (ms.project_params.init_swe_kind > 0) {
    if (ms.snow_no_infiltrate_on && j <= ms.swe.size() && j <= ms.snow_no_infil_cell.size() && ms.swe[j] > 0.0)
      ms.snow_no_infil_cell[j] = 1;
  } else if (j <= ms.swe.size()) {
    ms.swe[j] = 0.0;
  }
}

// An overland lake whose initial level lies below the ground of one of its
// cells: the run stops.
bool lake_level_below_cell(main_state& ms, long j) {
  if (!ms.overland_lake_on || j > ms.oland_lake_mask.size()) return false;
  const long m = ms.oland_lake_mask[j];
  if (m <= 0 || m > ms.olake_table.size()) return false;
  const double level = ms.olake_table[m].level;
  if (level - ms.elevation[j] >= 0.0) return false;
  std::printf("\nWARNING: initial water surface elevation in lake %ld is %f which is\n", m, level);
  std::printf("less than the land surface elevation in grid cell %ld, %f.\n", j, ms.elevation[j]);
  std::printf("You should either raise your initial lake elevation or lower that grid\n");
  std::printf("cell elevation.  Program stopped.\n");
  error_rec.code = already_printed_code;
  report_error(error_rec);
  return true;
}

}  // namespace

void init_soil_gw_snow_states(main_state& ms) {
  const auto& pp = ms.project_params;
  if (ms.green_ampt_on || ms.inf_redist_on) {
    // Without TOP_LAYER_DEPTH the upper layer is the whole zone, and without
    // MIXING_LAYER_DEPTH the mixing layer is the upper layer.
    if (!(pp.top_layer_depth > none)) ms.top_layer_depth_cm = ms.soil_moist_depth_cm;
    if (!(pp.mixing_layer_depth > none)) ms.mixing_layer_depth_cm = ms.top_layer_depth_cm;
  }
  const double area = ms.dx * ms.dx;
  const long n = ms.n_cells;
  double zone_water = 0.0;
  for (long j = 1; j <= n; ++j) {
    if (ms.gw_simulation_on && j <= ms.gw_leakage.size()) ms.gw_leakage[j] = 0.0;
    if (any_infiltration(ms)) clear_infiltration_state(ms, j);
    if (ms.soil_redist_on) zone_water += init_zone(ms, j) / 100.0 * area;
    if (ms.multi_layer_ga_on == 1) ms.wetdep[j] = 0.0;
    if (ms.long_term_on) init_snow_cell(ms, j);
  }
  ms.vol_soil_water_start = zone_water;
  ms.vol_gw_init = 0.0;
  if (ms.richards_on == 1) ms.vol_soil_init_total = 0.0;
  double tally = 0.0;
  for (long j = 1; j <= n; ++j) {
    if (ms.gw_simulation_on && j <= ms.gw_porosity.size())
      ms.vol_gw_init += (ms.elevgw[j] - ms.bottom_elev[j]) * ms.gw_porosity[j] * area;
    if (lake_level_below_cell(ms, j)) return;
    if (ms.soil_redist_on) {
      tally += ms.soil_column_water_cm[j] / 100.0 * area;
      // The unsaturated soil between the zone and the water table.
      const double below = ms.gw_simulation_on ? ms.elevation[j] - ms.elevgw[j] : 0.0;
      if (ms.gw_simulation_on && below >= ms.soil_layer_cm[j] / 100.0)
        tally += (below - ms.soil_layer_cm[j] / 100.0) * ms.gw_inf_redist_theta[j] * area;
    }
    if (ms.richards_on == 1 && ms.numcells[j] > 1) {
      for (long k = 1; k <= ms.numcells[j] - 1; ++k) ms.vol_soil_init_total += ms.THETA[j][k] * ms.DZ[j][k] / 100.0 * area;
    }
  }
  if (ms.soil_redist_on) ms.vol_soil_init_total = tally;
}

}  // namespace kavro
