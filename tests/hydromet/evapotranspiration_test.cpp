// Evapotranspiration and frozen ground, hour by hour: the surface energy
// balance of a flat cell on a clear July afternoon worked out by hand, the
// cloud of every file format seen alike, snow, and the frozen-ground index
// against its closed form.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "framework/alloc.h"
#include "framework/run_clock.h"
#include "hydromet/evapotranspiration.h"
#include "hydromet/hmet_readers.h"
#include "hydromet/hydromet_steps.h"
#include "test_support.h"
#include "weather_grid_support.h"

namespace kavro {
namespace {

// The VRX hour 2010-07-15 14:00 "29.92 50 0 5 77 600.0 800.0" on a flat
// cell of albedo 0.2 at latitude 40, the ground at 298.15 K.
std::unique_ptr<main_state> july_afternoon() {
  auto ms = kavro_test::weather_grid(1, 1, 30.0, [](int, int) { return 100.0; });
  ms->hmet_vrx_on = 1;
  ms->et_calc_deardorff_on = 1;
  ms->cur_year = 2010, ms->cur_month = 7, ms->cur_day = 15, ms->cur_hour = 14;
  hmet_hour_record& r = ms->hmet_record;
  r.hmet_pressure = 29.92 * 1013.25 / 29.92;
  r.hmet_rel_humidity = 50;
  r.hmet_cloud_cover = 0.0;
  r.hmet_wind_speed = 5 * 0.514444;
  r.hmet_air_temp = (77 - 32) * 0.5555555555555556;
  r.hmet_direct_rad = 600.0;
  r.hmet_diffuse_rad = 200.0;
  ms->albedo_w_snow[1] = 0.2;
  ms->ground_temp[1] = 298.15;
  ms->ground_temp_started = 1;
  return ms;
}

TEST(Evapotranspiration, AClearJulyAfternoonOnFlatGround) {
  auto ms = july_afternoon();
  EXPECT_NEAR(evapo_trans(*ms), 25.0, 1e-12);
  EXPECT_NEAR(ms->ground_temp[1], 306.0227, 5e-5);
  // 1.62482e-5 cm/s from the scheme worked independently; the sun's hour
  // angle of the afternoon in degrees instead of radians gives 0.058164 cm/h.
  EXPECT_NEAR(ms->pot_et[1] * 3600.0, 0.058493, 0.0005 * 0.058493);
  EXPECT_EQ(ms->pot_aet[1], ms->pot_et[1]);
  // Converged: the balance closes at the ground temperature found.
  EXPECT_LT(std::fabs(ms->ground_heat_flux[1]), 0.5);

  // The first hour starts the ground at the air temperature.
  auto first = july_afternoon();
  first->ground_temp_started = 0;
  first->ground_temp[1] = 0.0;
  evapo_trans(*first);
  EXPECT_NEAR(first->ground_temp[1], 306.0227, 5e-5);
}

TEST(Evapotranspiration, SnowStopsItAndKeepsTheGroundFrozen) {
  auto ms = july_afternoon();
  ms->swe_scaled[1] = 0.05;
  ms->ground_temp[1] = 280.0;
  ms->pot_et[1] = ms->pot_aet[1] = 1.0;
  evapo_trans(*ms);
  EXPECT_EQ(ms->pot_et[1], 0.0);
  EXPECT_EQ(ms->pot_aet[1], 0.0);
  EXPECT_EQ(ms->ground_temp[1], 273.15);
}

TEST(Evapotranspiration, PenmanWithoutWindTakesTheEquilibriumRate) {
  auto ms = july_afternoon();
  ms->et_calc_penman_on = 1, ms->et_calc_deardorff_on = 0;
  ms->Kt[1] = 1.0;
  alloc_dvec(ms->Rs, 1, "Rs");
  ms->Rs[1] = 50.0;
  ms->veg[1] = 0.5;
  ms->hmet_record.hmet_wind_speed = 0.0;
  evapo_trans(*ms);
  const double T = 25.0, es = 0.6108 * std::exp(17.27 * T / (T + 237.3));
  const double D = es * 4098.0 / ((T + 237.3) * (T + 237.3));
  const double P = 101.325, Lv = (2.501 - 0.002361 * T) * 1000.0, gamma = P / Lv * 1.6286173633440513;
  // Net radiation minus the ground heat (as the energy balance leaves them).
  const double available = ms->pot_et[1] * (Lv * 1000.0) / 100.0 * (D + gamma) / D;
  EXPECT_GT(available, 0.0);
  EXPECT_EQ(ms->pot_aet[1], ms->pot_et[1]);
  // With wind the canopy resistance holds actual below potential.
  ms->hmet_record.hmet_wind_speed = 3.0;
  evapo_trans(*ms);
  EXPECT_LT(ms->pot_aet[1], ms->pot_et[1]);
  EXPECT_GT(ms->pot_aet[1], 0.0);
}

// One hour of `file` through the weather step, then the evapotranspiration.
std::unique_ptr<main_state> one_hour(const std::filesystem::path& file, const std::string& format) {
  auto ms = kavro_test::weather_reader_record(file.string(), format);
  EXPECT_EQ(read_hmet(*ms, 1), hmet_scan_done);
  ms->hmet_call_no = 2;
  ms->hmet_interval_days = 1.0 / 24.0;
  ms->time_tol = 1.1574074074074074e-07;
  ms->now = ms->next_hmet_time = julian_date(2010, 7, 15, 14, 0, 0.0);
  ms->albedo[1] = 0.2;
  testing::internal::CaptureStdout();
  hmet_step(*ms);
  testing::internal::GetCapturedStdout();
  ms->cur_year = 2010, ms->cur_month = 7, ms->cur_day = 15, ms->cur_hour = 14;
  evapo_trans(*ms);
  return ms;
}

TEST(Evapotranspiration, OvercastSkyIsOvercastInEveryFormat) {
  kavro_test::scratch_dir dir;
  // Ten tenths of sky cover at 14:00, the same air in both files: 25 C,
  // 50 %, 1013 mbar, 2.5 m/s, 600 and 200 W/m2.
  kavro_test::write_file(dir / "w.vrx",
                         "2010 7 15 14 " + std::to_string(1013.0 * 29.92 / 1013.25) + " 50 10 " + "5 77 600.0 800.0\n");
  kavro_test::write_file(dir / "w.sam", "~ 94018 STATION NAME           CO  -7  N40 0  W105 0  1000\n"
                                        " YR MO DA HR I    1    2       3       4       5\n" +
                                            kavro_test::samson_hour_line(10, 7, 15, 14, 600, 200, 10, 25.0, 50, 1013, 5 * 0.514444) +
                                            "\n");
  auto vrx = one_hour(dir / "w.vrx", "vrx");
  auto samson = one_hour(dir / "w.sam", "samson");
  ASSERT_EQ(samson->hmet_record.year, 1910) << "two-digit years are of the 1900s";
  EXPECT_EQ(vrx->hmet_record.hmet_cloud_cover, 1.0) << "VRX delivers the fraction";
  EXPECT_EQ(samson->hmet_record.hmet_cloud_cover, 10.0) << "SAMSON delivers tenths";
  EXPECT_EQ(vrx->cloud_cover_gridded[1], 1.0);
  EXPECT_EQ(samson->cloud_cover_gridded[1], 1.0);
  EXPECT_NEAR(vrx->R_long[1], samson->R_long[1], 1e-6 * samson->R_long[1]);
  EXPECT_NEAR(vrx->pot_et[1], samson->pot_et[1], 1e-4 * samson->pot_et[1]);
  // Overcast: the sky radiates as 1.17 times a clear one.
  const double T = 25.0 + 273.15, e = vrx->rh_gridded[1] / 100.0 * 6.108 * std::exp(17.27 * 25.0 / 262.3);
  EXPECT_NEAR(vrx->R_long[1], 5.67e-8 * std::pow(T, 4) * (0.74 + 0.0049 * e) * 1.17, 0.01);
}

TEST(FrostIndex, FollowsItsClosedFormAndSkipsLakes) {
  struct cfgi_case {
    const char* label;
    double start, T, snow_depth;
    int hours;
    double expected;
  };
  const cfgi_case cases[] = {
      {"steady -5 C from 0", 0.0, -5.0, 0.0, 24, 5.0 / 24.0 * (1.0 - std::pow(0.99875, 24)) / 0.00125},
      {"steady -5 C under 0.2 m of snow", 0.0, -5.0, 0.2, 24, 2.635768},
      {"thaw at +2 C for an hour", 10.0, 2.0, 0.0, 1, 9.904167},
      {"thaw at +2 C for a day", 10.0, 2.0, 0.0, 24, 7.732761},
      {"a long thaw ends at 0", 1.0, 10.0, 0.0, 48, 0.0},
  };
  for (const cfgi_case& c : cases) {
    SCOPED_TRACE(c.label);
    auto ms = kavro_test::weather_grid(1, 2, 30.0, [](int, int) { return 100.0; });
    ms->cfgi_on = 1;
    ms->cfgi_k = 0.5;
    alloc_dvec(ms->cfgi_value, 2, "cfgi_value");
    alloc_dmat(ms->temp_hr, 2, 24, "temp_hr");
    alloc_dvec(ms->daily_temp, 2, "daily_temp");
    alloc_ivec(ms->lake_mask, 2, "lake_mask");
    ms->lakes_on = 1;
    ms->lake_mask[2] = 1;
    for (long j = 1; j <= 2; ++j) {
      ms->cfgi_value[j] = c.start;
      ms->temper_gridded[j] = c.T;
      ms->swe_scaled[j] = c.snow_depth;
      for (int k = 1; k <= 24; ++k) ms->temp_hr[j][k] = c.T;
      ms->daily_temp[j] = 24.0 * c.T;
    }
    for (int h = 0; h < c.hours; ++h) frost_index_update(*ms);
    EXPECT_NEAR(ms->cfgi_value[1], c.expected, 1e-6);
    EXPECT_EQ(ms->cfgi_value[2], 0.0) << "a lake cell";
    EXPECT_NEAR(ms->daily_temp[1], 24.0 * c.T, 1e-9);
  }
}

TEST(FrozenSoil, UnfrozenShareOfTheWater) {
  EXPECT_NEAR(unfrozen_water_ratio(272.15, 0.5, -1.0), 6.3894e-5, 1e-8);
  EXPECT_EQ(unfrozen_water_ratio(263.15, 0.5, -1.0), 0.0);
  EXPECT_EQ(unfrozen_water_ratio(273.15, 0.5, -1.0), 1.0);
  EXPECT_LT(unfrozen_water_ratio(270.0, 0.5, -1.0), unfrozen_water_ratio(272.0, 0.5, -1.0));
}

}  // namespace
}  // namespace kavro
