// The station's hour carried to the cells: air lifted along the adiabat
// between elevation bands or cooled by a fixed lapse rate, the radiation of
// a cell by day, by night and in the shade, the daily snow albedo, and the
// snow parameters by elevation band.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "framework/error_record.h"
#include "framework/run_clock.h"
#include "hydromet/hmet_readers.h"
#include "hydromet/elevation_bands.h"
#include "hydromet/hydromet_steps.h"
#include "hydromet/weather_step.h"
#include "test_support.h"
#include "weather_grid_support.h"

namespace kavro {
namespace {

// The station's air of the hour (columns of Gage_XYZ_Lev_P_rh_c_w_t_qh).
void station_air(main_state& ms, double T, double P, double rh_percent, double cloud = 0.0, double wind = 2.0) {
  double* G = ms.Gage_XYZ_Lev_P_rh_c_w_t_qh[1];
  G[5] = P;
  G[6] = rh_percent;
  G[7] = cloud;
  G[8] = wind;
  G[9] = T;
}

void hour_of(main_state& ms, int year, int month, int day, int hour) {
  ms.hmet_record.year = year, ms.hmet_record.month = month, ms.hmet_record.day = day, ms.hmet_record.hour = hour;
  set_sun_of_hour(ms);
}

TEST(WeatherBands, AirLiftedFromTheStationCoolsAlongTheDryAdiabat) {
  auto ms = kavro_test::weather_grid(1, 3, 30.0, [](int, int c) { return 50.0 + 50.0 * c; }, 100.0);
  station_air(*ms, 20.0, 1000.0, 50.0);
  hour_of(*ms, 2010, 7, 15, 12);
  hmet_cell_update(*ms);
  const double T[] = {20.0, 19.511940, 19.023881};
  const double P[] = {1000.0, 994.1951, 988.3901};
  const double RH[] = {50.0, 51.2183, 52.5129};
  for (int j = 1; j <= 3; ++j) {
    SCOPED_TRACE(testing::Message() << "cell at " << ms->elevation[j] << " m");
    EXPECT_NEAR(ms->temper_gridded[j], T[j - 1], 1e-6);
    EXPECT_NEAR(ms->pres_gridded[j], P[j - 1], 1e-4);
    EXPECT_NEAR(ms->rh_gridded[j], RH[j - 1], 1e-4);
  }
  // Below the station the air warms at the same rate; saturated air cools
  // more slowly than dry air.
  EXPECT_NEAR(moist_adiabatic_lapse_rate(1000.0, 293.15, 0.001, 20.0, 1.0).lapse_rate, 0.009761194029850746, 1e-15);
  const double moist = moist_adiabatic_lapse_rate(1000.0, 293.15, 0.05, 20.0, 1.0).lapse_rate;
  EXPECT_GT(moist, 0.003);
  EXPECT_LT(moist, 0.006);
}

TEST(WeatherBands, AFixedLapseRateKeepsTheStationsPressureAndHumidity) {
  auto ms = kavro_test::weather_grid(1, 2, 30.0, [](int, int c) { return c == 1 ? 100.0 : 250.0; }, 100.0);
  ms->dalr_on = 1;
  ms->lapse_rate = 0.0065;
  station_air(*ms, 20.0, 1000.0, 50.0);
  hour_of(*ms, 2010, 7, 15, 12);
  hmet_cell_update(*ms);
  EXPECT_NEAR(ms->temper_gridded[2], 20.0 - 0.975, 1e-12);
  EXPECT_EQ(ms->pres_gridded[2], 1000.0);
  EXPECT_NEAR(ms->rh_gridded[2], 50.0, 1e-12);
}

TEST(WeatherBands, EveryCellLiesInItsBandOnRoughGround) {
  // Elevations from 37 m to 1,403 m, the station part-way up a band.
  auto ms = kavro_test::weather_grid(9, 13, 30.0,
                                     [](int r, int c) { return 37.0 + 113.0 * r + 17.3 * ((c * 7) % 11) * r; }, 455.5);
  for (long j = 1; j <= ms->n_cells; ++j) {
    const int b = ms->LR_Num[j];
    ASSERT_GE(b, 1);
    ASSERT_LE(b, ms->n_elev_bands - 1);
    EXPECT_LE(ms->El_T_P_e_es_LR[1][b - 1][1], ms->elevation[j]) << j;
    EXPECT_GE(ms->El_T_P_e_es_LR[1][b][1], ms->elevation[j]) << j;
  }
  station_air(*ms, 5.0, 900.0, 80.0);
  hour_of(*ms, 2010, 1, 15, 12);
  testing::internal::CaptureStdout();
  hmet_cell_update(*ms);
  EXPECT_EQ(testing::internal::GetCapturedStdout().find("Error in Assigning"), std::string::npos);
  // Air cools upward and its relative humidity never passes 100 %.
  for (long j = 1; j <= ms->n_cells; ++j) {
    if (ms->elevation[j] > 455.5) {
      EXPECT_LT(ms->temper_gridded[j], 5.0) << j;
    }
    EXPECT_LE(ms->rh_gridded[j], 100.0) << j;
  }
}

TEST(CellRadiation, NightShadeAndTheSunOnTheGround) {
  auto ms = kavro_test::weather_grid(1, 1, 30.0, [](int, int) { return 100.0; });
  ms->albedo_w_snow[1] = 0.2;
  ms->Cell_Aspect_Eff_Rad_Percent[1] = 0.6;
  hour_of(*ms, 2010, 7, 15, 12);
  cell_radiation_balance(*ms, 1, 20.0, 0.0, 10.0, 0.0, 1.0);
  const double sun = ms->inc_solar_rad[1];
  const double orbit = 1.0 + 0.017 * std::cos((186 - 196) * 0.01722113502935421);
  EXPECT_NEAR(sun, 1366.0 / (orbit * orbit) * 0.6 * (0.75 + 2e-5 * 100.0), 1e-9);
  EXPECT_NEAR(ms->R_short[1], 0.8 * sun, 1e-9);
  const double sky = 5.67e-8 * std::pow(293.15, 4) * (0.74 + 0.0049 * 10.0);
  EXPECT_NEAR(ms->R_long[1], sky, 1e-9);
  const double effective = ms->eff_temp_gridded[1];
  EXPECT_GT(effective, 0.0);

  // In the terrain's shadow the cell gets no net short-wave, but the sun
  // still shines on the canopy above it.
  ms->cell_hour_flags[1][12] = 1;
  cell_radiation_balance(*ms, 1, 20.0, 0.0, 10.0, 0.0, 1.0);
  EXPECT_EQ(ms->R_short[1], 0.0);
  EXPECT_NEAR(ms->inc_solar_rad[1], sun, 1e-9);

  // By night no short-wave, and the radiative temperature keeps its value.
  hour_of(*ms, 2010, 7, 15, 23);
  ms->eff_temp_gridded[1] = effective;
  cell_radiation_balance(*ms, 1, 20.0, 0.5, 10.0, 0.0, 1.0);
  EXPECT_EQ(ms->R_short[1], 0.0);
  EXPECT_EQ(ms->eff_temp_gridded[1], effective);
  EXPECT_NEAR(ms->R_long[1], sky * (1.0 + 0.17 * 0.25), 1e-9) << "clouds warm the night sky";
}

TEST(SnowAlbedo, AgesDailyWithinItsBoundsAndFollowsTheGround) {
  struct albedo_case {
    const char* label;
    double swe, albedo, sum_T;
    int hours, melt, since_snow;
    double expected;
  };
  const albedo_case cases[] = {
      {"warm day ages fresh snow by 0.17", 0.1, 0.83, 24.0, 24, 0, 30, 0.66},
      {"cold day by 0.013", 0.1, 0.83, -24.0, 24, 0, 30, 0.817},
      {"old snow stops at 0.38", 0.1, 0.40, 24.0, 24, 0, 300, 0.38},
      {"melt sets it by hours since snowfall", 0.1, 0.5, 24.0, 24, 1, 48, 0.83 - 0.022},
      {"melt long ago still at least 0.38", 0.1, 0.5, 24.0, 24, 1, 2400, 0.38},
      {"no snow: the ground's albedo", 0.0, 0.7, 24.0, 24, 0, 5, 0.2},
  };
  for (const albedo_case& c : cases) {
    SCOPED_TRACE(c.label);
    auto ms = kavro_test::weather_grid(1, 1, 30.0, [](int, int) { return 100.0; });
    ms->swe[1] = c.swe;
    ms->albedo[1] = 0.2;
    ms->albedo_w_snow[1] = c.albedo;
    ms->temper_gridded_sum[1] = c.sum_T;
    ms->albedo_hour_count = c.hours;
    ms->melt_occurred[1] = c.melt;
    ms->Hours_Since_Snow[1] = c.since_snow;
    snow_albedo_update(*ms, 1, 3.0);
    EXPECT_NEAR(ms->albedo_w_snow[1], c.expected, 1e-12);
    EXPECT_EQ(ms->melt_occurred[1], 0);
    EXPECT_EQ(ms->temper_gridded_sum[1], 0.0);
  }
}

TEST(SnowBandParameters, BandsByElevationCardsWin) {
  kavro_test::scratch_dir dir;
  const auto path = dir / "bands.txt";
  kavro_test::write_file(path,
                         "Number_Bands: 2\n"
                         "Lower_Elevation Upper_Elevation MF_Min MF_Max SCF FR_USE TIPM NMF FUA PLWHC\n"
                         "0 150 0.1 1.5 1.1 0.0 0.3 0.3 0.2 0.06\n"
                         "150 300 0.2 1.6 1.2 0.0 0.4 0.4 0.3 0.07\n");
  auto ms = kavro_test::weather_grid(1, 3, 30.0, [](int, int c) { return c == 1 ? 100.0 : c == 2 ? 150.0 : 200.0; });
  ms->nwsrfs_elev_snow_on = 1;
  ms->nwsrfs_elev_snow_path = path.string();
  ms->project_params.use_nwsrfs_scf = 1;
  ms->project_params.nwsrfs_scf = 0.9;
  ms->project_params.use_snow_pxtemp = 1;
  ms->project_params.snow_pxtemp = 1.5;
  read_snow_band_params(*ms);
  EXPECT_EQ(ms->snow_pxtemp, 1.5);
  EXPECT_EQ(ms->snow_mbase, 0.0);
  EXPECT_EQ(ms->snow_mf_max[1], 1.5);
  EXPECT_EQ(ms->snow_mf_max[3], 1.6);
  EXPECT_EQ(ms->snow_mf_max[2], 1.2) << "150 m lies on a band edge, inside no band: the default";
  EXPECT_EQ(ms->snow_tipm[2], 0.2);
  for (int j = 1; j <= 3; ++j) EXPECT_EQ(ms->snow_scf[j], 0.9) << "the card wins";

  kavro_test::write_file(path, "Number_Bands: 1\nLower_Elevation Upper MF_Min\n");
  error_rec.code = 0;
  testing::internal::CaptureStdout();
  read_snow_band_params(*ms);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Error reading elevation based NWSRFS snow input parameter file: " + path.string()),
            std::string::npos);
  EXPECT_NE(out.find("\"Upper\" where the column header \"Upper_Elevation\""), std::string::npos) << out;
  EXPECT_EQ(error_rec.stop, 1);
  error_rec = error_record{};
}

// Two hours of VRX weather read through the weather step, with an
// orographic gauge when `orographic` is given.
std::unique_ptr<main_state> two_hour_run(const kavro_test::scratch_dir& dir, const std::string& orographic = "") {
  std::string text;
  for (int h = 0; h < 2; ++h) text += "2010 7 15 " + std::to_string(h) + " 29.92 50 0 5 50 0.0 0.0\n";
  kavro_test::write_file(dir / "w.vrx", text);
  auto ms = kavro_test::weather_reader_record((dir / "w.vrx").string(), "vrx", 1, 2, 30.0);
  if (!orographic.empty()) {
    kavro_test::write_file(dir / "o.txt", orographic);
    ms->hmet_orog_gages_file_on = 1;
    ms->fs_hmet_orog_gages.open((dir / "o.txt").string(), "r");
    EXPECT_TRUE(read_orographic_header(*ms));
  }
  EXPECT_EQ(read_hmet(*ms, 1), hmet_scan_done);
  if (!orographic.empty()) {
    EXPECT_TRUE(check_orographic_lines(*ms));
  }
  ms->hmet_call_no = 2;
  ms->hmet_interval_days = ms->lt_et_interval_days = 1.0 / 24.0;
  ms->time_tol = 1.1574074074074074e-07;
  ms->keep_running = 1;
  ms->now = ms->next_hmet_time = ms->next_lt_et_time = julian_date(2010, 7, 15, 0, 0, 0.0);
  return ms;
}

void next_hour(main_state& ms) {
  testing::internal::CaptureStdout();
  hmet_step(ms);
  testing::internal::GetCapturedStdout();
  ms.now += 1.0 / 24.0;
}

TEST(WeatherStep, TheEndOfTheDataEndsTheRunOrLetsTheLastEventFinish) {
  kavro_test::scratch_dir dir;
  for (const bool last_event_running : {false, true}) {
    SCOPED_TRACE(last_event_running ? "the last rain event runs" : "no rain");
    auto ms = two_hour_run(dir);
    ms->n_precip_events = 2;
    ms->event_no = last_event_running ? 2 : 1;
    ms->event_active = 1;
    next_hour(*ms);
    next_hour(*ms);
    EXPECT_EQ(ms->hmet_record.hour, 1);
    EXPECT_EQ(ms->keep_running, 1);
    ms->next_lt_et_time = ms->now;
    testing::internal::CaptureStdout();
    hmet_step(*ms);
    const std::string out = testing::internal::GetCapturedStdout();
    // No made-up hour: the weather and evapotranspiration clocks stop in the
    // pass that met the end.
    EXPECT_EQ(ms->next_hmet_time, -10.0);
    EXPECT_EQ(ms->next_lt_et_time, -10.0);
    EXPECT_EQ(ms->hmet_hour_count, -1.0);
    EXPECT_EQ(ms->keep_running, last_event_running ? 1 : 0);
    EXPECT_EQ(out.find("End of meteorology data reached.") != std::string::npos, !last_event_running);
  }
}

TEST(WeatherStep, AnOrographicGaugeSetsTheLapseRateUpToTheDryAdiabat) {
  kavro_test::scratch_dir dir;
  // The gauge stands 100 m above the base station (10 C); the first hour it
  // reads 0.5 C more (0.005 K/m), the second 5 C more (a rate held at
  // 0.00981 K/m).
  auto ms = two_hour_run(dir, "Orographic gauges\nGauge 200.0 Base 100.0\nYr Mo Dy Hr T\n"
                              "2010 7 15 0 10.5\n2010 7 15 1 15.0\n");
  EXPECT_EQ(ms->dalr_on, 1);
  next_hour(*ms);
  EXPECT_NEAR(ms->lapse_rate, 0.005, 1e-12);
  next_hour(*ms);
  EXPECT_NEAR(ms->lapse_rate, 0.00981, 1e-15);
  // A gauge file short of the weather's hours is refused before the run.
  kavro_test::write_file(dir / "short.txt", "Orographic gauges\nGauge 200.0 Base 100.0\nYr Mo Dy Hr T\n2010 7 15 0 9.5\n");
  auto ms2 = kavro_test::weather_reader_record((dir / "w.vrx").string(), "vrx");
  ms2->fs_hmet_orog_gages.open((dir / "short.txt").string(), "r");
  ASSERT_TRUE(read_orographic_header(*ms2));
  ASSERT_EQ(read_hmet(*ms2, 1), hmet_scan_done);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(check_orographic_lines(*ms2));
  EXPECT_NE(testing::internal::GetCapturedStdout().find("holds 1 hourly lines"), std::string::npos);
  error_rec = error_record{};
}

}  // namespace
}  // namespace kavro
