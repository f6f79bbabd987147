// The sun's position, its beam on sloped cells and terrain shading: checked
// against the geometry worked out by hand for mid-April at latitude 40, and
// against a north-south wall whose shadows are known.
#include <gtest/gtest.h>

#include <cmath>

#include "framework/run_clock.h"
#include "hydromet/solar_geometry.h"
#include "weather_grid_support.h"

namespace kavro {
namespace {

constexpr double pi_8 = 3.14159265;

struct sun_at {
  double h, altitude, zenith;
};

sun_at sun_of(int hour, double decl) {
  const double h = hour_angle(hour), phi = 40.0 * pi_8 / 180.0;
  return {h, std::asin(std::cos(decl) * std::cos(h) * std::cos(phi) + std::sin(phi) * std::sin(decl)),
          std::acos(std::cos(phi) * std::cos(decl) * std::cos(h) + std::sin(phi) * std::sin(decl))};
}

TEST(SolarGeometry, MidAprilAtLatitude40) {
  const int day = day_of_year(2010, 4, 15);
  ASSERT_EQ(day, 105);
  const double decl = solar_declination(day);
  EXPECT_NEAR(decl, 0.160319816, 1e-9);
  const double lat_incidence = 40.0 * 3.142857142857143 / 180.0;

  const sun_at nine = sun_of(9, decl);
  EXPECT_NEAR(nine.h, -0.7853981625, 1e-10);
  EXPECT_NEAR(nine.altitude, 0.6910409, 1e-7);
  EXPECT_NEAR(nine.zenith, 0.8797554, 1e-7);
  EXPECT_NEAR(solar_azimuth(40.0, nine.h, decl), 2.0081909, 1e-7);

  // Incidence on slopes of 0.2 falling east (gx), north (gy) and south.
  struct slope_case {
    double gx, gy, at_nine, at_fifteen;
  };
  const slope_case slopes[] = {{0.0, 0.0, 0.6372479, 0.6372479},
                               {0.2, 0.0, 0.7617292, 0.4879358},
                               {0.0, 0.2, 0.5611711, -1.0},
                               {0.0, -0.2, 0.6889212, -1.0}};
  const sun_at fifteen = sun_of(15, decl);
  for (const slope_case& c : slopes) {
    SCOPED_TRACE(testing::Message() << "gx " << c.gx << " gy " << c.gy);
    EXPECT_NEAR(solar_incidence_cosine(c.gx, c.gy, decl, nine.h, lat_incidence), c.at_nine, 1e-7);
    if (c.at_fifteen >= 0) {
      EXPECT_NEAR(solar_incidence_cosine(c.gx, c.gy, decl, fifteen.h, lat_incidence), c.at_fifteen, 1e-7);
    }
  }
  // The afternoon sun stands in the west (the mirror of the morning's
  // azimuth about south), not in the north-east.
  EXPECT_NEAR(solar_azimuth(40.0, fifteen.h, decl), 4.2749944, 1e-7);
  EXPECT_NEAR(solar_azimuth(40.0, fifteen.h, decl) + solar_azimuth(40.0, nine.h, decl), 2 * pi_8, 1e-9);
  EXPECT_NEAR(solar_azimuth(40.0, 0.0, decl), pi_8, 1e-12) << "noon: due south";

  // After sunset the beam meets no slope: the cosine is stored as 0.
  const sun_at nine_pm = sun_of(21, decl);
  EXPECT_LT(nine_pm.altitude, 0.0);
  EXPECT_EQ(solar_incidence_cosine(0.0, 0.0, decl, nine_pm.h, lat_incidence), 0.0);

  EXPECT_EQ(day_of_year(2008, 3, 1), 61) << "leap year";
  EXPECT_EQ(day_of_year(1900, 3, 1), 60) << "1900 is no leap year";
}

TEST(SolarGeometry, HourAngleAndRayRiseAtTheirLimits) {
  EXPECT_EQ(hour_angle(12.005), 0.0);
  EXPECT_NEAR(hour_angle(0.0), -pi_8, 1e-12);
  testing::internal::CaptureStdout();
  EXPECT_EQ(hour_angle(25.0), 0.0);
  EXPECT_EQ(sun_ray_slope(-0.1, 10.0), 0.0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Hour Angle"), std::string::npos);
  EXPECT_NEAR(sun_ray_slope(0.2, 10.0), 10.0 / std::tan(0.2), 1e-12);
  EXPECT_EQ(sun_ray_slope(0.7853981625, 7.0), 7.0);
  EXPECT_EQ(sun_ray_slope(1.570796325, 7.0), 0.0);
  EXPECT_GT(sun_ray_slope(0.0001, 1.0), 1e8);
  EXPECT_NEAR(sun_ray_slope(1.2, 10.0), 10.0 * std::tan(1.570796325 - 1.2), 1e-12);
}

TEST(SolarGeometry, StepsTowardTheSunAndTheCellsTheRayPasses) {
  struct step_case {
    double azimuth, a, b;
  };
  const step_case steps[] = {{0.0, 0, -1},         {1.570796327, 1, 0},         {3.141592654, 0, 1},
                             {4.712388981, -1, 0}, {0.4, std::tan(0.4), -1.0},  {2.0, 1.0, std::tan(2.0 - 1.570796327)}};
  for (const step_case& c : steps) {
    const sun_walk_step s = next_cell_toward_sun(c.azimuth);
    EXPECT_NEAR(s.a, c.a, 1e-12) << c.azimuth;
    EXPECT_NEAR(s.b, c.b, 1e-12) << c.azimuth;
  }
  // Half a cell rounds down; the ray between two rows lies toward the next.
  grid_offset o = round_grid_offset(1, 0.5, -1.0);
  EXPECT_EQ(o.col, 0);
  EXPECT_EQ(o.row, -1);
  EXPECT_EQ(o.col2, 1);
  EXPECT_EQ(o.row2, -1);
  EXPECT_NEAR(o.fraction, 0.5, 1e-12);
  o = round_grid_offset(3, 0.6, -1.0);  // 1.8 columns: the nearest is 2, the ray before it
  EXPECT_EQ(o.col, 2);
  EXPECT_EQ(o.col2, 1);
  EXPECT_NEAR(o.fraction, 0.2, 1e-12);
  EXPECT_EQ(cell_elevation_pair(100.0, 120.0, 0.25), 105.0);
  EXPECT_EQ(cell_elevation_pair(100.0, -9999.0, 0.25), 100.0);
  EXPECT_EQ(cell_elevation_pair(-9999.0, 130.0, 0.25), 130.0);
  EXPECT_GT(cell_elevation_pair(-9999.0, -9999.0, 0.25), 1e7);
}

// 7 x 11 cells of 10 m at 100 m with column 7 at 200 m: a north-south wall.
std::unique_ptr<main_state> wall() {
  return kavro_test::weather_grid(7, 11, 10.0, [](int, int c) { return c == 7 ? 200.0 : 100.0; });
}

int shaded(const main_state& ms, int row, int col, int hour) { return ms.cell_hour_flags[ms.mask[row][col]][hour]; }

TEST(TerrainShading, AWallShadesTheCellsBehindItFromALowSun) {
  auto ms = wall();
  constexpr double east = 1.570796327;
  struct shade_case {
    int col;
    double zenith;
    int expected;
  };
  // Ray rise over the gap to the wall: 49.3 m at 10 m and zenith 0.2, 97.0 m
  // at 30 m and 0.3, 148.0 m at 30 m and 0.2; the wall stands 100 m above.
  const shade_case cases[] = {{6, 0.2, 1}, {4, 0.3, 1}, {4, 0.2, 0}, {5, 0.25, 1}, {2, 0.5, 1},
                              {7, 1.5, 0}, {9, 1.5, 0}, {8, 1.5, 0}, {6, 1.6, 1}, {9, 1.6, 1}};
  for (const shade_case& c : cases) {
    SCOPED_TRACE(testing::Message() << "column " << c.col << " zenith " << c.zenith);
    Calculate_Shaded_Raster(*ms, c.zenith, east, 0);
    EXPECT_EQ(shaded(*ms, 4, c.col, 0), c.expected);
  }
  // At night every cell is shaded.
  EXPECT_DOUBLE_EQ(Calculate_Shaded_Raster(*ms, 1.6, east, 3), 100.0);
  // A sun due south walks down the column: no wall there.
  Calculate_Shaded_Raster(*ms, 0.3, 3.141592654, 5);
  for (int c = 1; c <= 11; ++c) EXPECT_EQ(shaded(*ms, 4, c, 5), 0) << c;
  // A ray whose first step leaves the grid finds no terrain.
  Calculate_Shaded_Raster(*ms, 1.5, 4.712388981, 6);
  EXPECT_EQ(shaded(*ms, 4, 1, 6), 0);
}

TEST(TerrainShading, ADayOfShadowsAroundTheWall) {
  auto ms = wall();
  solar_hourly_geometry(*ms, 40.0, solar_declination(105));
  auto hours_shaded = [&](int col) {
    std::string s;
    for (int h = 0; h < 24; ++h) s += shaded(*ms, 4, col, h) ? '1' : '0';
    return s;
  };
  // Sun up 6 to 18: west of the wall shade until mid-morning, east of it
  // from early afternoon; the wall itself only at night.
  EXPECT_EQ(hours_shaded(2), "111111111100000000011111");
  EXPECT_EQ(hours_shaded(4), "111111111100000000011111");
  EXPECT_EQ(hours_shaded(9), "111111000000001111111111");
  EXPECT_EQ(hours_shaded(7), "111111000000000000011111");
}

TEST(TerrainShading, CellsOutsideTheWatershedAreNoTerrain) {
  // A polder 50 m below sea level with a ditch outside the watershed east of
  // column 3: toward a low eastern sun the walk from column 3 first crosses
  // the ditch. No ground there, so nothing shades the cell (ground taken at
  // 0 m would stand 50 m above it). A hill in the far corner keeps the walk
  // going past the ditch.
  auto ms = kavro_test::weather_grid(3, 9, 10.0, [](int r, int c) { return r == 1 && c == 9 ? 100.0 : -50.0; },
                                     0.0, [](int, int c) { return c != 4 && c != 5; });
  Calculate_Shaded_Raster(*ms, 1.55, 1.570796327, 10);
  EXPECT_EQ(shaded(*ms, 2, 3, 10), 0);
  // Past the ditch, a dike at -20 m shades it from the same sun.
  ms->elevation[ms->mask[2][6]] = -20.0;
  Calculate_Shaded_Raster(*ms, 1.55, 1.570796327, 10);
  EXPECT_EQ(shaded(*ms, 2, 3, 10), 1);
}

}  // namespace
}  // namespace kavro
