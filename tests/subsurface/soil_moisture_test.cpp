// Soil water between storms: the initial zone against the water table, a
// dry spell whose transpiration follows its closed form, drainage clamped
// at saturation without losing water, the edge cases of the update, and
// the same update for 1 and 4 threads.
#include "subsurface/soil_moisture.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "input/cell_arrays.h"
#include "overland/overland_records.h"
#include "subsurface/subsurface_steps.h"

namespace kavro {
namespace {

constexpr double per_hour = 1.0 / 3600.0;  // 1 cm/h in cm/s
constexpr double start_jd = 2455317.5;      // 2010-05-01 00:00

enum class zone_method { redistribution, multi_layer };

// A long-term record of n cells of 10 m with the soil-moisture zone of one
// method: porosity 0.45, residual 0.05, field capacity 0.30, wilting 0.10,
// initial 0.30, a 40 cm zone with a 10 cm upper layer.
struct zone_box {
  std::unique_ptr<main_state> owner = std::make_unique<main_state>();
  main_state& ms = *owner;
  long hours_done = 0;

  explicit zone_box(long n = 1, zone_method m = zone_method::redistribution, bool long_term = true) {
    ms.n_cells = static_cast<int>(n);
    ms.dx = 10.0;
    ms.quiet = 1;
    const bool redist = m == zone_method::redistribution;
    ms.inf_redist_on = redist;
    ms.multi_layer_ga_on = !redist;
    ms.soil_redist_on = 1;
    ms.conductivity_on = ms.capillary_on = ms.porosity_on = ms.pore_index_on = ms.residual_sat_on = redist;
    ms.long_term_on = long_term;
    ms.et_calc_penman_on = 1;
    ms.soil_moist_depth_cm = 40.0;
    ms.project_params.top_layer_depth = 0.1;
    ms.top_layer_depth_cm = 10.0;
    ms.n_elev_bands = 1;
    alloc_cell_arrays(ms);
    ms.elevation.allocate(n);
    ms.time_tol = 1.1574074074074074e-7;
    ms.now = ms.last_et_time = start_jd;
    ms.et_interval_days = 1.0 / 24.0;
    ms.next_et_time = ms.now + ms.et_interval_days;
    for (long j = 1; j <= n; ++j) {
      ms.elevation[j] = 100.0;
      if (!redist) continue;
      ms.porosity[j] = 0.45;
      ms.residual_sat[j] = 0.05;
      ms.field_capacity[j] = 0.30;
      ms.wilting_point[j] = 0.10;
      ms.init_moisture[j] = 0.30;
      ms.conductivity[j] = 1.0 / 360000.0;  // 1 cm/h
      ms.pore_index[j] = 0.3;
    }
  }
  // The multi-layer soil `id`: thicknesses d1, d2 (cm) and start moistures.
  void layered_soil(long id, double d1, double d2, double th1, double th2) {
    soil_type_params& p = ms.soil_type_table[id];
    for (int l = 1; l <= 3; ++l) {
      p.layer_ks[l] = 1.0;
      p.layer_lambda[l] = 0.3;
      p.layer_porosity[l] = 0.45;
      p.layer_residual_moisture[l] = 0.05;
      p.layer_field_capacity[l] = 0.30;
      p.layer_wilting_point[l] = 0.10;
    }
    p.layer_depth[1] = d1;
    p.layer_depth[2] = d2;
    p.layer_initial_moisture[1] = th1;
    p.layer_initial_moisture[2] = th2;
  }
  void init() {
    error_rec = error_record{};
    init_soil_gw_snow_states(ms);
  }
  // One hourly update through the loop step.
  void hour() {
    ++hours_done;
    ms.now = start_jd + hours_done / 24.0;
    event_et_step(ms);
  }
  double zone(long j = 1) const { return ms.soil_water_cm[j] + ms.soil_water2_cm[j]; }
};

// ---- Initial states -----------------------------------------------------------------

TEST(SoilZoneStart, ZonesStartAtTheirMoistureCutByTheWaterTable) {
  zone_box r;
  r.init();
  EXPECT_DOUBLE_EQ(r.ms.soil_water_cm[1], 3.0);
  EXPECT_DOUBLE_EQ(r.ms.soil_water2_cm[1], 9.0);
  EXPECT_DOUBLE_EQ(r.ms.soil_layer_cm[1], 40.0);
  EXPECT_DOUBLE_EQ(r.ms.vol_soil_init_total, 12.0);
  EXPECT_DOUBLE_EQ(r.ms.vol_soil_water_start, 12.0);
  // The snowpack of a long-term run starts empty, its pack values at their
  // start.
  EXPECT_DOUBLE_EQ(r.ms.sn_stat[1][10], 0.67);
  EXPECT_DOUBLE_EQ(r.ms.sn_stat[1][16], 3.0);
  EXPECT_DOUBLE_EQ(r.ms.sn_stat[1][1], 0.0);
  const double pack[] = {0, 0, 0, 3.0, 0.67, 10.0, 3.0, 0, 3600.0, 1.0, 0.077, 0.077};
  for (int k = 1; k <= 11; ++k) EXPECT_DOUBLE_EQ(r.ms.snap_kavro_params[1][k], pack[k]) << k;

  // Two layered soils, the water table 0.6 m down: the shallow one keeps its
  // 40 cm, the deep one is cut to 60 cm; the run's zone depth stays as it is.
  zone_box m(3, zone_method::multi_layer);
  m.ms.water_table_on = 1;
  m.ms.elevgw.allocate(3);
  m.layered_soil(1, 10, 30, 0.20, 0.25);
  m.layered_soil(2, 20, 60, 0.30, 0.35);
  m.ms.soiltype[1] = 1;
  m.ms.soiltype[2] = 2;
  m.ms.soiltype[3] = 1;
  for (long j = 1; j <= 3; ++j) {
    for (int l = 1; l <= 3; ++l) m.ms.THETA_ML[j][l] = m.ms.soil_type_table[m.ms.soiltype[j]].layer_initial_moisture[l];
    m.ms.elevgw[j] = 99.4;
  }
  m.ms.elevgw[3] = 100.05;  // above the ground
  m.init();
  EXPECT_DOUBLE_EQ(m.ms.soil_water_cm[1], 2.0);
  EXPECT_DOUBLE_EQ(m.ms.soil_water2_cm[1], 7.5);
  EXPECT_NEAR(m.ms.soil_water_cm[2], 6.0, 1e-12);
  EXPECT_NEAR(m.ms.soil_water2_cm[2], 14.0, 1e-12);
  EXPECT_DOUBLE_EQ(m.ms.soil_layer_cm[1], 40.0);
  EXPECT_NEAR(m.ms.soil_layer_cm[2], 60.0, 1e-9);
  EXPECT_DOUBLE_EQ(m.ms.soil_moist_depth_cm, 40.0);
  EXPECT_NEAR(m.ms.vol_soil_init_total, 29.5, 1e-9);
  EXPECT_EQ(m.ms.soil_layer_cm[3], 0.0);
  for (int l = 1; l <= 3; ++l) EXPECT_DOUBLE_EQ(m.ms.THETA_ML[3][l], 0.45);
  EXPECT_EQ(m.ms.yes_exfil[3], 1);
  EXPECT_EQ(m.ms.any_exfil, 1);
  EXPECT_EQ(m.ms.yes_exfil[1], 0);
}

TEST(SoilZoneStart, ACellUnderAChannelLakeDoesNotExfiltrate) {
  zone_box r(2);
  r.ms.water_table_on = 1;
  r.ms.elevgw.allocate(2);
  r.ms.elevgw[1] = r.ms.elevgw[2] = 100.5;
  r.ms.lakes_on = 1;
  r.ms.lake_mask.allocate(2);
  r.ms.lake_mask[2] = 1;
  r.init();
  EXPECT_EQ(r.ms.yes_exfil[1], 1);
  EXPECT_EQ(r.ms.yes_exfil[2], 0);
  EXPECT_EQ(r.ms.soil_layer_cm[2], 0.0);
  EXPECT_DOUBLE_EQ(r.ms.init_moisture[2], 0.45);
}

TEST(SoilZoneStart, AnOverlandLakeBelowItsCellStopsTheRun) {
  zone_box r(2);
  r.ms.overland_lake_on = 1;
  r.ms.oland_lake_mask.allocate(2);
  r.ms.oland_lake_mask[2] = 1;
  r.ms.olake_table.allocate(1);
  r.ms.olake_table[1].level = 99.5;
  testing::internal::CaptureStdout();
  r.init();
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(error_rec.stop, 1);
  EXPECT_NE(out.find("\nWARNING: initial water surface elevation in lake 1 is 99.500000 which is\n"
                     "less than the land surface elevation in grid cell 2, 100.000000.\n"
                     "You should either raise your initial lake elevation or lower that grid\n"
                     "cell elevation.  Program stopped.\n"),
            std::string::npos)
      << out;
}

// ---- A dry spell -------------------------------------------------------------------

// 0.05 cm/h of demand on a zone at field capacity: nothing drains, and each
// layer loses A (V - WP) / (Z (fc - wp)) per hour, so the water above the
// wilting point falls as 8 x 0.99375^n cm. Each update's loss is its ET.
TEST(SoilZoneUpdate, ADrySpellFollowsItsClosedForm) {
  zone_box r;
  r.init();
  r.ms.pot_et[1] = r.ms.pot_aet[1] = 0.05 * per_hour;
  double returned = 0.0;
  for (int i = 0; i < 240; ++i) {
    const double before = r.zone(), evap_before = r.ms.vol_evap_total;
    r.hour();
    returned += r.ms.vol_ev_richards;
    EXPECT_NEAR(before - r.zone(), r.ms.vol_ev_richards * 100.0, 1e-12) << i;
    EXPECT_NEAR(r.ms.vol_evap_total - evap_before, r.ms.vol_ev_richards * 100.0, 1e-12);
  }
  EXPECT_NEAR(r.ms.soil_water_cm[1], 1.444165, 1e-6);
  EXPECT_NEAR(r.ms.soil_water2_cm[1], 4.332494, 1e-6);
  EXPECT_NEAR(r.ms.soil_column_water_cm[1], 5.776659, 1e-6);
  EXPECT_NEAR(returned, 0.06223341, 1e-8);
  EXPECT_NEAR(r.ms.vol_evap_total, 6.223341, 1e-6);
  EXPECT_NEAR(r.ms.rich_bottom_flux[1], 0.0, 1e-15) << "nothing drains below field capacity";
  EXPECT_NEAR(r.ms.soil_moisture[1], 1.444165 / 10.0, 1e-6);
}

// A wet cell (0.40) loses its ET and drains: its store falls by both, the
// drainage reaching rich_bottom_flux.
TEST(SoilZoneUpdate, AWetZoneLosesItsEtAndItsDrainage) {
  zone_box r;
  r.ms.init_moisture[1] = 0.40;
  r.init();
  r.ms.pot_et[1] = r.ms.pot_aet[1] = 0.05 * per_hour;
  for (int i = 0; i < 48; ++i) {
    const double before = r.zone(), drained = r.ms.rich_bottom_flux[1];
    r.hour();
    EXPECT_NEAR(before - r.zone(), r.ms.vol_ev_richards * 100.0 + r.ms.rich_bottom_flux[1] - drained, 1e-12) << i;
  }
  EXPECT_GT(r.ms.rich_bottom_flux[1], 0.0);
}

// Infiltration that lifts the upper layer above saturation passes the
// excess down with its drainage; no water is lost, whatever the soil's Ks.
TEST(SoilZoneUpdate, TheExcessOverSaturationPassesDown) {
  for (double ks_cm_h : {0.01, 0.5, 1.0}) {
    SCOPED_TRACE(ks_cm_h);
    zone_box r(1, zone_method::redistribution, false);
    r.init();
    r.ms.conductivity[1] = ks_cm_h / 360000.0;
    r.ms.soil_water_cm[1] = 4.4;  // 0.44 over 10 cm
    r.ms.soil_water2_cm[1] = 7.5;  // 0.25 over 30 cm
    r.ms.inf_depth_since_smr[1] = 0.01;
    r.hour();
    EXPECT_NEAR(r.ms.soil_water_cm[1], 4.5, 1e-12);
    EXPECT_NEAR(r.ms.upper_zone_drainage[1], 0.9, 1e-12);
    EXPECT_NEAR(r.ms.soil_water2_cm[1], 8.4, 1e-12);
    EXPECT_EQ(r.ms.inf_depth_since_smr[1], 0.0);
    EXPECT_EQ(r.ms.rich_bottom_flux[1], 0.0);
  }
}

// The edge cases of the update, one cell each: which cells lose ET, which
// pass water down, and the moisture they show.
TEST(SoilZoneUpdate, EdgeCases) {
  zone_box r(9);
  r.ms.water_table_on = 1;
  r.ms.elevgw.allocate(9);
  for (long j = 1; j <= 9; ++j) r.ms.elevgw[j] = 90.0;
  r.ms.elevgw[7] = 100.2;  // saturated at the start: exfiltrates
  r.ms.lakes_on = 1;
  r.ms.lake_mask.allocate(9);
  r.ms.lake_mask[1] = 1;  // 1: in a channel lake
  r.ms.ov_boundary_on = 1;
  r.ms.boundary_type.allocate(9);
  r.ms.boundary_type[2] = 3;  // 2: holds its depth
  r.init();
  r.ms.rain_rate[3] = 2.0;  // 3: in rain
  r.ms.snow_present = 1;
  r.ms.swe[4] = 0.01;  // 4: under snow
  r.ms.soil_layer_cm[5] = 10.0;  // 5: the zone exactly the upper layer: one layer
  r.ms.soil_water_cm[5] = 3.0;
  r.ms.soil_water2_cm[5] = 0.0;
  r.ms.ov_depth[6] = 0.001;  // 6: a pond of 0.1 cm, deeper than the demand
  r.ms.soil_layer_cm[8] = 0.0;  // 8: the zone vanished: newly exfiltrating
  r.ms.any_exfil = 0;
  r.ms.inf_depth_since_smr[7] = r.ms.inf_depth_since_smr[8] = 0.002;
  for (long j = 1; j <= 9; ++j) r.ms.pot_et[j] = r.ms.pot_aet[j] = 0.05 * per_hour;
  r.hour();
  const main_state& ms = r.ms;
  // No ET in a lake, on a held cell, in rain or under snow.
  for (long j : {1L, 2L, 3L, 4L}) EXPECT_EQ(ms.smr_et_depth[j], 0.0) << j;
  EXPECT_DOUBLE_EQ(ms.soil_water_cm[1], 3.0) << "lake cells are not updated";
  // One layer: all the demand from the upper layer, unweighted.
  EXPECT_NEAR(ms.soil_water_cm[5], 3.0 - 0.05, 1e-8);
  // The pond meets the demand: the soil keeps its water.
  EXPECT_NEAR(ms.ov_depth[6], 0.001 - 0.0005, 1e-10);
  EXPECT_NEAR(ms.DIRECT_EVAP[6], 0.05, 1e-8);
  EXPECT_DOUBLE_EQ(r.zone(6), 12.0);
  // Exfiltrating at the start: the roots draw on groundwater, the zone and
  // its infiltration wait.
  EXPECT_NEAR(ms.rich_bottom_flux[7], -0.05, 1e-8);
  EXPECT_DOUBLE_EQ(ms.inf_depth_since_smr[7], 0.002);
  // Newly exfiltrating: flagged, its infiltration passes to groundwater.
  EXPECT_EQ(ms.yes_exfil[8], 1);
  EXPECT_EQ(ms.any_exfil, 1);
  EXPECT_NEAR(ms.rich_bottom_flux[8], 0.2 - 0.05, 1e-8);
  EXPECT_EQ(ms.inf_depth_since_smr[8], 0.0);
  // The moisture shown: porosity without a zone, theta0 while the event's
  // redistribution holds it, else the upper layer's water over its depth.
  EXPECT_DOUBLE_EQ(ms.soil_moisture[8], 0.45);
  EXPECT_NEAR(ms.soil_moisture[9], ms.soil_water_cm[9] / 10.0, 1e-15);
  r.ms.redist_reinit = 1;
  r.ms.redist_theta1[9] = 0.123;
  r.hour();
  EXPECT_DOUBLE_EQ(r.ms.soil_moisture[9], 0.123);
}

// ---- Threads -----------------------------------------------------------------------------

TEST(SoilZoneUpdate, SameUpdateForOneAndFourThreads) {
  auto run = [](int threads) {
    omp_set_num_threads(threads);
    auto r = std::make_unique<zone_box>(6000);
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    main_state& ms = r->ms;
    for (long j = 1; j <= 6000; ++j) {
      ms.conductivity[j] = (0.1 + 4.9 * u(rng)) / 360000.0;
      ms.pore_index[j] = 0.2 + 0.6 * u(rng);
      ms.init_moisture[j] = 0.1 + 0.34 * u(rng);
    }
    ms.ov_boundary_on = 1;
    ms.boundary_type.allocate(6000);
    for (long j = 97; j <= 6000; j += 97) ms.boundary_type[j] = 2;
    r->init();
    std::vector<double> sums;
    for (int i = 0; i < 20; ++i) {
      for (long j = 1; j <= 6000; ++j) {
        ms.pot_et[j] = ms.pot_aet[j] = 0.1 * u(rng) * per_hour;
        ms.inf_depth_since_smr[j] = u(rng) < 0.3 ? 0.01 * u(rng) : 0.0;
        ms.ov_depth[j] = u(rng) < 0.2 ? 0.002 * u(rng) : 0.0;
      }
      r->hour();
      sums.push_back(ms.vol_ev_richards);
      sums.push_back(ms.vol_evap_soil_adjust);
    }
    return std::make_pair(std::move(r), sums);
  };
  auto [one, one_sums] = run(1);
  auto [four, four_sums] = run(4);
  omp_set_num_threads(omp_get_num_procs());
  EXPECT_EQ(std::memcmp(one_sums.data(), four_sums.data(), one_sums.size() * sizeof(double)), 0);
  const main_state& a = one->ms;
  const main_state& c = four->ms;
  for (const auto& [x, y] : {std::pair{&a.soil_water_cm, &c.soil_water_cm}, {&a.soil_water2_cm, &c.soil_water2_cm},
                             {&a.rich_bottom_flux, &c.rich_bottom_flux}, {&a.ov_depth, &c.ov_depth},
                             {&a.upper_zone_drainage, &c.upper_zone_drainage}})
    EXPECT_EQ(std::memcmp(x->data(), y->data(), 6001 * sizeof(double)), 0) << x->name();
}

}  // namespace
}  // namespace kavro
