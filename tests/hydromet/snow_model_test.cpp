// The hourly snow model cell by cell: canopy interception and sublimation,
// heat deficit and liquid-water holding, the density model, the melt
// packets and their release, the layered pack; conservation of water over a
// grid of snowy cells for every melt model; thread counts.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <random>
#include <vector>

#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "hydromet/hydromet_steps.h"
#include "hydromet/snow_model.h"
#include "weather_grid_support.h"

namespace kavro {
namespace {

// A flat long-term record of rows x cols cells of `dx` m with the snow
// parameter vectors of the temperature-index models.
std::unique_ptr<main_state> snow_grid(int rows, int cols, double dx = 30.0) {
  auto ms = kavro_test::weather_grid(rows, cols, dx, [](int, int) { return 100.0; });
  main_state& m = *ms;
  for (dvec* v : {&m.snow_mf_max, &m.snow_mf_min, &m.snow_fr_use, &m.snow_scf, &m.snow_tipm, &m.snow_nmf,
                  &m.snow_fua, &m.snow_plwhc})
    alloc_dvec(*v, m.n_cells, "snow parameter");
  for (long i = 1; i <= m.n_cells; ++i) {
    m.snow_mf_max[i] = m.snow_mf_min[i] = 6.0;
    m.snow_scf[i] = m.snow_tipm[i] = 1.0;
    m.snow_nmf[i] = 3.6;
    m.snow_fr_use[i] = 1.0;
    m.pres_gridded[i] = 1013.25;
    m.snap_kavro_params[i][3] = 3.0;
    m.snap_kavro_params[i][4] = 0.67;
    m.snap_kavro_params[i][8] = 3600.0;
    m.snap_kavro_params[i][11] = 0.077;
  }
  m.snap_mode_value = 1;
  return ms;
}

TEST(CanopySnow, InterceptionMovesTheCaughtSnowFromThePackAndSublimates) {
  auto ms = snow_grid(1, 1);
  main_state& m = *ms;
  m.snow_canopy_col1[1] = 0.5, m.snow_canopy_col2[1] = 2.0, m.snow_canopy_col3[1] = 1.0;
  m.veg[1] = 5.0, m.temper_gridded[1] = -5.0, m.rh_gridded[1] = 70.0, m.vel_gridded[1] = 2.0;
  m.albedo_w_snow[1] = 0.83, m.inc_solar_rad[1] = 0.0, m.swe[1] = 0.05, m.H_Val[1] = 10.0;
  const double before = m.swe[1] + m.canopy_snow[1];
  // March: winter leaf area 1, capacity 4.4 mm; no time yet, no sublimation.
  EXPECT_EQ(canopy_snow_cell(m, 1, 0.0, canopy_season_of(3)), 0.0);
  EXPECT_NEAR(m.canopy_snow[1] * 1000.0, 2.762665, 1e-6);
  EXPECT_NEAR(m.H_Val[1], 7.237335, 1e-6);
  EXPECT_NEAR(m.swe[1], 0.047237335, 1e-9);
  EXPECT_NEAR(m.swe[1] + m.canopy_snow[1], before, 1e-15);
  m.H_Val[1] = 0.0;
  canopy_snow_interception(m, 3600.0, 3);
  const double sublimated = m.canopy_sublimation_hour[1];
  EXPECT_NEAR(sublimated * 1000.0, 0.0757114, 1e-6);
  EXPECT_NEAR(m.vol_canopy_sublimation_total, sublimated * 900.0, 1e-15);
  EXPECT_NEAR(m.canopy_snow[1], 2.762665e-3 - sublimated, 1e-9);

  // Without vegetation height nothing sublimates; above freezing the load
  // melts into the pack below.
  m.veg[1] = 0.0;
  const double load = m.canopy_snow[1], pack = m.swe[1];
  EXPECT_EQ(canopy_snow_cell(m, 1, 3600.0, canopy_season_of(3)), 0.0);
  EXPECT_EQ(m.canopy_snow[1], load);
  m.temper_gridded[1] = 2.0;
  canopy_snow_cell(m, 1, 3600.0, canopy_season_of(3));
  const double melt = 5.8e-5 * (2.0 + 273.15 - 273.16) * 3.6;
  EXPECT_NEAR(m.swe[1] - pack, melt, 1e-15);
  EXPECT_NEAR(m.canopy_snow[1] + m.swe[1], load + pack, 1e-15);
}

TEST(CanopySnow, ALoadedCanopyKeepsItsOldLoadWhenLittleSnowFalls) {
  // Old load 4.0 mm, 1 mm of snow, capacity 4.4 mm: the new load exceeds
  // the snowfall, yet only what fell can be caught.
  auto ms = snow_grid(1, 1);
  main_state& m = *ms;
  m.snow_canopy_col1[1] = 0.5, m.snow_canopy_col2[1] = 2.0, m.snow_canopy_col3[1] = 1.0;
  m.temper_gridded[1] = -5.0, m.canopy_snow[1] = 0.004, m.swe[1] = 0.02, m.H_Val[1] = 1.0;
  canopy_snow_cell(m, 1, 0.0, canopy_season_of(1));
  EXPECT_NEAR(m.canopy_snow[1] * 1000.0, 4.05692, 1e-5);
  EXPECT_NEAR(m.H_Val[1], 0.94308, 1e-5);
  EXPECT_NEAR(m.swe[1] + m.canopy_snow[1], 0.024, 1e-15);
  // A bare canopy catches 0.7 C (1 - exp(-P/C)) of the snowfall.
  m.canopy_snow[1] = 0.0, m.swe[1] = 0.0001, m.H_Val[1] = 0.1;
  canopy_snow_cell(m, 1, 0.0, canopy_season_of(1));
  const double caught = 0.7 * 4.4 * (1.0 - std::exp(-0.1 / 4.4));
  EXPECT_NEAR(m.canopy_snow[1] * 1000.0, caught, 1e-12);
  EXPECT_NEAR(m.H_Val[1], 0.1 - caught, 1e-12);
  EXPECT_NEAR(m.swe[1] + m.canopy_snow[1], 0.0001, 1e-18);
}

TEST(SnowPack, HeatDeficitAndHoldingCapacity) {
  auto ms = snow_grid(1, 1);
  main_state& m = *ms;
  struct row {
    double D, W, plwhc, swe, release, D_after, Wq_after;
  };
  for (const row& r : {row{3.0, 5.0, 0.0, 0.1, 2.0, 0.0, 0.0}, row{0.0, 5.0, 0.05, 0.1, 0.25, 0.0, 4.75},
                       row{6.0, 5.0, 0.0, 0.1, 0.0, 1.0, 0.0}}) {
    m.D_2[1] = r.D, m.Wq[1] = 0.0;
    // The frozen part in millimetres: its holding capacity is PLWHC of it.
    m.Wi[1] = (1.0 - r.plwhc) * r.swe * 1000.0;
    EXPECT_NEAR(heat_deficit_update(m, 1, r.W, m.Wi[1] * r.plwhc, r.plwhc), r.release, 1e-12);
    EXPECT_NEAR(m.D_2[1], r.D_after, 1e-12);
    EXPECT_NEAR(m.Wq[1], r.Wq_after, 1e-12);
  }
}

TEST(SnowPack, DayCountsFromTheEquinoxAndBadMonths) {
  EXPECT_EQ(21 + *month_day_offset(3, 21), 0);
  EXPECT_EQ(20 + *month_day_offset(3, 20), 364);
  EXPECT_EQ(1 + *month_day_offset(4, 1), 11);
  EXPECT_FALSE(month_day_offset(13, 1));
  EXPECT_FALSE(month_day_offset(0, 1));
}

TEST(SnowPack, DensityModelOfNewSnowAndOfAHotstartPack) {
  auto ms = snow_grid(1, 1);
  main_state& m = *ms;
  // 10 mm of new snow at -5 C on 0.5 mm of old snow without depth.
  m.swe[1] = 0.0105;
  snow_depth_update(m, 1, 0.0, -5.0, 1.0, 10.0, 0.0);
  EXPECT_NEAR(m.swe_scaled[1], 0.0963774, 1e-7);
  EXPECT_NEAR(m.snow_density[1], 0.1037587, 1e-7);
  EXPECT_NEAR(m.snowpack_temp[1], -5.0, 1e-12);
  // A hotstart pack of 0.1 m water in 1.0 m of snow (no density yet) that
  // lost 5 mm of melt at 5 C: compacted, never zero.
  m.swe[1] = 0.095, m.swe_scaled[1] = 1.0, m.snow_density[1] = 0.0, m.snowpack_temp[1] = 0.0;
  snow_depth_update(m, 1, 5.0, 5.0, 1.0, 0.0, 0.0);
  EXPECT_NEAR(m.swe_scaled[1], 0.9735124, 1e-7);
  EXPECT_NEAR(m.snow_density[1], 0.0975848, 1e-7);
  EXPECT_LE(m.snowpack_temp[1], 0.0);
}

TEST(MeltPackets, ReleaseOverShortStepsAndWhole) {
  auto ms = snow_grid(1, 2);
  main_state& m = *ms;
  for (long i = 1; i <= 2; ++i) {
    m.swe[i] = 0.05;
    m.snow_melt_to_ov[i] = 0.005;
    m.Melt_Waves[i][1][1] = m.Melt_Waves[i][1][2] = 0.005;
  }
  const melt_release_result r = release_cell_melt(m, 1, 300.0);
  EXPECT_NEAR(r.released * 1000.0, 0.416667, 1e-6);
  EXPECT_NEAR(m.ov_depth[1] + m.snow_melt_to_ov[1], 0.005, 1e-15);
  EXPECT_TRUE(r.pending);
  EXPECT_TRUE(r.wet);
  // A remainder below 1e-8 m leaves whole; a melted-out cell releases all.
  m.Melt_Waves[1][1][1] = m.snow_melt_to_ov[1] = 5e-9;
  EXPECT_NEAR(release_cell_melt(m, 1, 300.0).released, 5e-9, 1e-20);
  EXPECT_EQ(m.snow_melt_to_ov[1], 0.0);
  m.swe[2] = 0.0;
  EXPECT_NEAR(release_cell_melt(m, 2, 300.0).released, 0.005, 1e-15);
  EXPECT_EQ(m.Melt_Waves[2][1][1], 0.0);
}

TEST(MeltPackets, RetentionSpreadsAMeltOverOneToSixHours) {
  auto ms = snow_grid(1, 1);
  main_state& m = *ms;
  m.snap_mode_value = 6;
  m.snap_kavro_params[1][5] = 30.0;
  double total = 0.0;
  for (double melt : {0.002, 0.0005, 0.003}) {
    total += melt;
    EXPECT_NEAR(route_melt_packets(m, 1, melt), total, 1e-15);
    const double rate = m.Melt_Waves[1][6][2];
    EXPECT_GE(rate, melt / 6.0 - 1e-18);
    EXPECT_LE(rate, melt + 1e-18);
  }
}

// A fresh layered-pack call: depth D, water W_s (cm), capacity theta,
// density rho.
void fresh_pack(main_state& m, double D, double Ws, double theta, double rho) {
  double* p = m.snap_kavro_params[1];
  p[2] = 0.0, p[3] = 3.0, p[4] = 0.67, p[5] = D, p[6] = Ws, p[7] = theta, p[8] = 3600.0, p[9] = rho;
  m.sn_stat[1][21] = 0.0;
}

TEST(LayeredPack, FreshCallsCompactFreezeAndPercolate) {
  auto ms = snow_grid(1, 1);
  main_state& m = *ms;
  fresh_pack(m, 30.0, 9.0, 0.05, 0.3);
  snowpack_layer_step(m, 1, 0.0, -10.0, 50.0, 0.0);
  EXPECT_NEAR(m.sn_stat[1][2], 29.881146, 1e-6);
  EXPECT_NEAR(m.sn_stat[1][3], 0.285, 1e-12);
  EXPECT_NEAR(m.sn_stat[1][17], 3.4588785, 1e-6);

  fresh_pack(m, 30.0, 9.0, 0.05, 0.3);
  snowpack_layer_step(m, 1, 1.0, -5.0, 50.0, 0.0);
  EXPECT_NEAR(m.sn_stat[1][2], 42.420328, 1e-6);

  struct row {
    double D, Ws, theta, outflow;
  };
  for (const row& r : {row{30.0, 9.0, 0.05, 0.4665018}, row{10.0, 3.0, 0.02, 1.8802706}}) {
    fresh_pack(m, r.D, r.Ws, r.theta, 0.3);
    snowpack_layer_step(m, 1, 2.0, 4.0, 50.0, 0.0);
    EXPECT_NEAR(m.sn_stat[1][19], r.outflow, 1e-6) << r.D;
    EXPECT_EQ(m.sn_stat[1][15], 1.0);
  }
  fresh_pack(m, 30.0, 9.0, 0.05, 0.3);
  snowpack_layer_step(m, 1, 2.0, 4.0, 50.0, 0.0);
  EXPECT_NEAR(m.wave[1][1][3], 0.6097218, 1e-6);
  EXPECT_NEAR(m.wave[1][1][4], 198.6308, 1e-4);
}

TEST(LayeredPack, EdgeCases) {
  auto ms = snow_grid(1, 1);
  main_state& m = *ms;
  // The record as the start of a run leaves it: holding capacity 0.
  fresh_pack(m, 10.0, 3.0, 0.0, 1.0);
  snowpack_layer_step(m, 1, 0.0, -10.0, 50.0, 0.0);
  for (int k = 1; k <= 22; ++k) EXPECT_TRUE(std::isfinite(m.sn_stat[1][k])) << k;
  EXPECT_GE(m.snap_kavro_params[1][7], 0.005);
  // Wind 10000 takes the sensible-heat factor 10: (6 u + 1.8) would melt far more.
  fresh_pack(m, 30.0, 9.0, 0.05, 0.3);
  snowpack_layer_step(m, 1, 0.0, 4.0, 50.0, 10000.0);
  EXPECT_NEAR(m.sn_stat[1][18], 3600.0 * 40.0 / 3330464.0, 1e-9);
  // A depth below 0.1 cm ends at 0 with density 0.
  fresh_pack(m, 0.05, 0.01, 0.05, 0.2);
  snowpack_layer_step(m, 1, 0.0, -1.0, 50.0, 0.0);
  EXPECT_EQ(m.sn_stat[1][2], 0.0);
  EXPECT_EQ(m.sn_stat[1][3], 0.0);
  // A restored call (flag still set) that holds waves opens no further one,
  // and the records never pass fifty.
  fresh_pack(m, 30.0, 9.0, 0.05, 0.3);
  for (int h = 0; h < 60; ++h) snowpack_layer_step(m, 1, 2.0, 4.0, 50.0, 0.0);
  EXPECT_LE(m.sn_stat[1][15], 1.0);
}

}  // namespace
}  // namespace kavro

namespace kavro {
namespace {

// Hours of seeded weather (-10 to +8 C) and snowfall over a grid of cells,
// some under a canopy, with one melt model; the melt is released every 300 s.
struct snow_hours {
  double start = 0.0, snowfall = 0.0, released = 0.0;  // m3
};

enum class melt_model { degree_day, degree_day_radiation, energy_balance, hybrid };

void choose_model(main_state& m, melt_model model) {
  m.nwsrfs_snow_on = model == melt_model::degree_day;
  m.nwsrfs_snow_w_rad_on = model == melt_model::degree_day_radiation;
  m.eb_snow_on = model == melt_model::energy_balance;
  m.hy_snow_on = model == melt_model::hybrid;
  m.snow_mf_constant = 4.0;
  m.clear_sky_rad_day = 600.0, m.clear_sky_rad_max = 900.0;
}

double stored_snow(const main_state& m) {
  double v = 0.0;
  for (long i = 1; i <= m.n_cells; ++i) v += m.swe[i] + m.canopy_snow[i] + m.snow_melt_to_ov[i];
  return v * m.dx * m.dx;
}

snow_hours run_snow_hours(main_state& m, int hours, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  snow_hours out;
  const double area = m.dx * m.dx;
  m.hmet_record.month = 3, m.hmet_record.day = 25, m.cur_month = 3;
  for (long i = 1; i <= m.n_cells; ++i) {
    m.swe[i] = 0.02 + 0.08 * unit(gen);
    if (i % 3 == 0) {
      m.snow_canopy_col1[i] = 0.6, m.snow_canopy_col2[i] = 3.0, m.snow_canopy_col3[i] = 1.5;
      m.veg[i] = 8.0;
    }
    m.snow_plwhc[i] = 0.04;
  }
  m.snow_present = 1;
  out.start = stored_snow(m);
  for (int h = 0; h < hours; ++h) {
    for (long i = 1; i <= m.n_cells; ++i) {
      m.temper_gridded[i] = -10.0 + 18.0 * unit(gen);
      m.eff_temp_gridded[i] = 2.0 * unit(gen) - 1.0;
      m.rh_gridded[i] = 40.0 + 55.0 * unit(gen);
      m.vel_gridded[i] = 6.0 * unit(gen);
      m.inc_solar_rad[i] = 400.0 * unit(gen);
      m.albedo_w_snow[i] = 0.6 + 0.3 * unit(gen);
      // Snowfall as the rain step adds it: into the pack, and into H_Val on
      // a cell that already held snow.
      if (m.temper_gridded[i] <= 0.0 && unit(gen) < 0.5) {
        const double d = 0.004 * unit(gen);
        if (m.swe[i] > 1e-16) m.H_Val[i] += d * 1000.0;
        m.swe[i] += d;
        out.snowfall += d * area;
      }
    }
    m.snow_melt_present = 0;
    canopy_snow_interception(m, 3600.0, m.cur_month);
    m.snow_present = snow_cell_model(m, 3600.0, *month_day_offset(3, 25));
    for (int step = 0; step < 12; ++step)
      for (long i = 1; i <= m.n_cells; ++i) out.released += release_cell_melt(m, i, 300.0).released * area;
  }
  return out;
}

TEST(SnowConservation, SnowfallLessSublimationAndReleaseIsTheChangeOfStorage) {
  for (melt_model model : {melt_model::degree_day, melt_model::degree_day_radiation, melt_model::energy_balance,
                           melt_model::hybrid}) {
    for (int retention : {0, 1}) {
      SCOPED_TRACE(static_cast<int>(model) * 10 + retention);
      auto ms = snow_grid(20, 20);
      main_state& m = *ms;
      choose_model(m, model);
      m.snap_retention_on = retention;
      m.snap_mode_value = retention ? 6 : 1;
      for (long i = 1; i <= m.n_cells; ++i) m.snap_kavro_params[i][5] = 40.0;
      const snow_hours r = run_snow_hours(m, 24, 7u);
      const double in = r.start + r.snowfall;
      const double out = stored_snow(m) + r.released + m.vol_canopy_sublimation_total;
      EXPECT_NEAR(out, in, 1e-12 * in);
      EXPECT_GT(r.released, 0.0);
      double surface = 0.0;
      for (long i = 1; i <= m.n_cells; ++i) surface += m.ov_depth[i] * m.dx * m.dx;
      EXPECT_NEAR(surface, r.released, 1e-12 * in);
    }
  }
}

TEST(SnowThreads, OneAndFourThreadsGiveTheSameCells) {
  // 100 x 100 cells: enough for the cell loops to run in parallel.
  std::vector<double> state[2];
  for (int t = 0; t < 2; ++t) {
    omp_set_num_threads(t == 0 ? 1 : 4);
    auto ms = snow_grid(100, 100);
    main_state& m = *ms;
    choose_model(m, melt_model::degree_day);
    m.snow_canopy_intercept_on = 1;
    m.snap_retention_on = 1, m.snap_mode_value = 6;
    run_snow_hours(m, 6, 11u);
    for (long i = 1; i <= m.n_cells; ++i)
      for (double v : {m.swe[i], m.canopy_snow[i], m.snow_melt_to_ov[i], m.D_2[i], m.Wq[i], m.swe_scaled[i],
                       m.ov_depth[i]})
        state[t].push_back(v);
    state[t].push_back(m.vol_canopy_sublimation_total);
  }
  omp_set_num_threads(omp_get_num_procs());
  ASSERT_EQ(state[0].size(), state[1].size());
  for (std::size_t k = 0; k < state[0].size(); ++k) ASSERT_EQ(state[0][k], state[1][k]) << k;
}

}  // namespace
}  // namespace kavro

namespace kavro {
namespace {

TEST(SnowCellModel, EnergyBalanceOfARipePackInWind) {
  // 5 C, wind 5 knots, RH 60 %, 1013.25 mb: the ripe pack melts Q/80 cm per hour.
  auto ms = snow_grid(1, 1);
  main_state& m = *ms;
  m.eb_snow_on = 1;
  m.swe[1] = 0.1, m.swe_scaled[1] = 1.0;
  m.temper_gridded[1] = 5.0, m.rh_gridded[1] = 60.0, m.pres_gridded[1] = 1013.25;
  m.vel_gridded[1] = 5.0 * 0.514444;
  const double es = 2.749e8 * std::exp(-4278.6 / (5.0 + 242.8));
  EXPECT_NEAR(es, 8.719607, 1e-6);
  const snow_cell_result r = snow_cell_step(m, 1, 3600.0, 0.0);
  EXPECT_TRUE(r.keeps_snow);
  EXPECT_TRUE(r.melt_pending);
  EXPECT_NEAR(m.snow_melt_to_ov[1] * 1000.0, 0.6404234, 1e-6);
  EXPECT_NEAR(m.swe[1] + m.snow_melt_to_ov[1], 0.1, 1e-15);
}

TEST(SnowStep, AMonthOutsideTheYearStopsTheRunWithoutAsking) {
  error_rec = error_record{};
  auto ms = snow_grid(1, 1);
  main_state& m = *ms;
  m.nwsrfs_snow_on = 1;
  m.snow_present = 1;
  m.swe[1] = 0.1;
  m.time_tol = 1.1574074074074074e-07;
  m.now = m.next_snow_time = 2454547.0;
  m.last_snow_time = m.now - 1.0 / 24.0;
  m.hmet_record.month = 13, m.hmet_record.day = 1;
  testing::internal::CaptureStdout();
  snow_step(m);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("WE HAVE A PROBLEM WITH THE DATES!!!\n"), std::string::npos);
  EXPECT_EQ(error_rec.code, 4000);
  EXPECT_EQ(m.swe[1], 0.1);
  error_rec = error_record{};
}

TEST(SnowStep, MeltArmsTheReleaseWhichOpensARunoffEvent) {
  error_rec = error_record{};
  auto ms = snow_grid(1, 2);
  main_state& m = *ms;
  m.nwsrfs_snow_on = 1;
  m.snow_present = 1;
  m.dt_base = 300.0;
  m.time_tol = 1.1574074074074074e-07;
  m.now = 2454547.0;
  m.next_snow_time = m.now;
  m.last_snow_time = m.now - 1.0 / 24.0;
  m.melt_interval_days = 300.0 / 86400.0;
  m.hmet_record.month = 3, m.hmet_record.day = 22;
  for (long i = 1; i <= 2; ++i) m.swe[i] = 0.1, m.temper_gridded[i] = 5.0;
  m.snow_hours_accum = 0.5;
  snow_step(m);
  // Half an hour plus this hour: the model ran and armed the release now.
  EXPECT_EQ(m.snow_hours_accum, 0.0);
  EXPECT_EQ(m.melt_release_armed, 1);
  EXPECT_EQ(m.next_melt_time, m.now);
  EXPECT_NEAR(m.swe[1], 0.095, 1e-15);
  snowmelt_release_step(m);
  EXPECT_EQ(m.runoff_active, 1);
  EXPECT_EQ(m.infil_interval, 300.0);
  EXPECT_NEAR(m.next_infil_time, m.now + 300.0 / 86400.0, 1e-12);
  EXPECT_NEAR(m.precip_period_end, m.now + 300.0 / 86400.0, 1e-12);
  // One step of the hourly rate, then the rest step by step.
  EXPECT_NEAR(m.ov_depth[1], 0.005 / 12.0, 1e-15);
  for (int step = 2; step <= 12; ++step) {
    m.now = m.next_melt_time;
    snowmelt_release_step(m);
  }
  EXPECT_NEAR(m.ov_depth[1], 0.005, 1e-15);
  EXPECT_NEAR(m.ov_depth[2], 0.005, 1e-15);
  EXPECT_EQ(m.snow_melt_present, 0);
  // The next release finds nothing and parks for good after the last event.
  m.now = m.next_melt_time;
  snowmelt_release_step(m);
  EXPECT_EQ(m.melt_release_armed, 0);
  EXPECT_GT(m.next_melt_time, m.now + 1e6);
}

}  // namespace
}  // namespace kavro
