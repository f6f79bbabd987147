// The pieces of the rain steps on their own: period lengths from calendar
// dates, the reading of event lines, gauge rain over the cells and canopy
// interception.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <memory>
#include <string>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "overland/bmp_units.h"
#include "overland/overland_steps.h"
#include "overland/precip_file.h"
#include "overland/rain_distribution.h"
#include "test_support.h"

namespace kavro {
namespace {

TEST(RainPeriods, LengthsComeFromCalendarDates) {
  struct period_case {
    precip_date from, to;
    double hours;
  } cases[] = {
      {{2001, 3, 1, 10, 0}, {2001, 3, 1, 10, 15}, 0.25},
      {{2001, 1, 31, 23, 0}, {2001, 2, 1, 1, 0}, 2.0},
      {{1901, 2, 28, 0, 0}, {1901, 3, 1, 0, 0}, 24.0},
      {{1904, 2, 28, 0, 0}, {1904, 3, 1, 0, 0}, 48.0},
      {{1900, 2, 28, 0, 0}, {1900, 3, 1, 0, 0}, 24.0},  // 1900 is no leap year
      {{2001, 3, 1, 10, 0}, {2001, 3, 2, 11, 0}, 25.0},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(precip_period_hours(c.from, c.to), c.hours);
}

// Reads the first event of `text`; the result and the block.
int read_event(const std::string& text, precipitation_block& pb, std::string& title, std::string* out = nullptr) {
  kavro_test::scratch_dir dir;
  kavro_test::write_file(dir / "rain.dat", text);
  file_wrapper f;
  EXPECT_TRUE(f.open((dir / "rain.dat").string(), "r"));
  testing::internal::CaptureStdout();
  const int r = read_precip_event(f, pb, title);
  const std::string printed = testing::internal::GetCapturedStdout();
  if (out) *out = printed;
  return r;
}

TEST(RainFile, ReadsGaugeLinesWhateverTheirLayout) {
  auto pb = std::make_unique<precipitation_block>();
  std::string title;
  // Cards in any case and order, values of one line over two lines, a
  // two-digit year.
  ASSERT_EQ(read_event("some words\nevent  Storm of 95\nnrpds 2 NrGag 2\ncoord 1 2\nCOORD 3 4 gauge two\n"
                       "gages 95 7 4 10 00 1.5\n2.5\nGAGES 95 7 4 10 30 3 4\n",
                       *pb, title),
            precip_event_read);
  EXPECT_EQ(title, "Storm of 95");
  EXPECT_EQ(pb->n_gauges, 2);
  EXPECT_EQ(pb->n_rain_periods, 2);
  EXPECT_EQ(pb->gages_on, 1);
  EXPECT_EQ(pb->precip_dates[1].year, 1995);
  EXPECT_EQ(pb->precip_dates[2].minute, 30);
  EXPECT_DOUBLE_EQ(pb->gauge_x[2], 3.0);
  EXPECT_DOUBLE_EQ(pb->gauge_values[2][1], 2.5);
  EXPECT_DOUBLE_EQ(pb->gauge_values[2][2], 4.0);
  // A GAGES depth of 3 mm over 30 minutes is 6 mm/h in period 1.
  ASSERT_TRUE(convert_gauge_values(*pb, 1));
  EXPECT_DOUBLE_EQ(pb->gauge_values[1][1], 6.0);
  EXPECT_DOUBLE_EQ(pb->gauge_values[2][1], 8.0);
}

TEST(RainFile, RadarFileEventsKeepEveryNameAndNoFileMeansNoEvent) {
  auto pb = std::make_unique<precipitation_block>();
  std::string title;
  ASSERT_EQ(read_event("EVENT r\nNRGAG files\nNRPDS 2\nRADAR 2010 1 1 0 0 \"grids/a b.asc\"\nRADAR 2010 1 1 1 0 b.asc\n",
                       *pb, title),
            precip_event_read);
  EXPECT_EQ(pb->radar_mode, 2);
  EXPECT_EQ(pb->n_gauges, 1);
  ASSERT_EQ(pb->radar_files.size(), 3u);
  EXPECT_EQ(pb->radar_files[0], "grids/a b.asc");
  EXPECT_EQ(pb->radar_files[2], "b.asc");
  EXPECT_EQ(read_event("", *pb, title), precip_no_event);
  // A gauge value that is no finite number is refused with its event, line and text.
  std::string out;
  EXPECT_EQ(read_event("EVENT x\nNRGAG 1\nNRPDS 2\nCOORD 0 0\nGAGES 2001 1 1 0 0 1\nGAGES 2001 1 1 0 30 nan\n", *pb,
                       title, &out),
            precip_no_event);
  EXPECT_NE(out.find("event \"x\", data line 2, gage 1: the value nan is not a finite number"), std::string::npos)
      << out;
  EXPECT_EQ(error_rec.code, already_printed_code);
}

// A grid of one row of `n` cells of 10 m, west edge 0, north edge 10.
struct strip {
  explicit strip(int n) : cols(n) {
    mask.allocate(1, n);
    for (int c = 1; c <= n; ++c) mask[1][c] = c;
  }
  rain_grid grid() const { return {mask, 1, cols, 10.0, 0.0, 10.0}; }
  imat mask{"mask"};
  int cols;
};

void set_gauges(precipitation_block& pb, std::initializer_list<std::array<double, 3>> gauges) {
  pb.n_gauges = static_cast<int>(gauges.size());
  pb.gauge_x.allocate(pb.n_gauges);
  pb.gauge_y.allocate(pb.n_gauges);
  pb.gauge_values.allocate(pb.n_gauges, 2);
  int k = 0;
  for (const auto& g : gauges) {
    ++k;
    pb.gauge_x[k] = g[0];
    pb.gauge_y[k] = g[1];
    pb.gauge_values[k][1] = g[2];
  }
}

TEST(GaugeRain, OneGaugeRainsEverywhereInBothModes) {
  strip s(3);
  auto pb = std::make_unique<precipitation_block>();
  set_gauges(*pb, {{{500.0, 500.0, 7.5}}});
  dvec rain{"rain"};
  rain.allocate(3);
  build_idw_weights(*pb, s.grid(), 3);
  precip_idw(*pb, 1, 3, rain);
  for (long i = 1; i <= 3; ++i) EXPECT_EQ(rain[i], 7.5);
  rain.allocate(3);
  pb->nearest.allocate(3);
  ASSERT_TRUE(find_neighbor(1, s.grid(), pb->gauge_x, pb->gauge_y, pb->nearest));
  precip_nearest(1, 1, pb->nearest, pb->gauge_values, rain, 3);
  for (long i = 1; i <= 3; ++i) EXPECT_EQ(rain[i], 7.5);
}

TEST(GaugeRain, AGaugeWithinACellSizeRainsAloneAndTiesGoToTheLowerNumber) {
  strip s(1);  // cell centre (5, 5)
  auto pb = std::make_unique<precipitation_block>();
  set_gauges(*pb, {{{35.0, 5.0, 10.0}}, {{14.0, 5.0, 20.0}}});  // 3 dx and 0.9 dx away
  dvec rain{"rain"};
  rain.allocate(1);
  build_idw_weights(*pb, s.grid(), 1);
  precip_idw(*pb, 1, 1, rain);
  EXPECT_EQ(rain[1], 20.0);

  set_gauges(*pb, {{{15.0, 5.0, 10.0}}, {{35.0, 5.0, 20.0}}});  // 1 dx and 3 dx: weights 9 to 1
  build_idw_weights(*pb, s.grid(), 1);
  precip_idw(*pb, 1, 1, rain);
  EXPECT_DOUBLE_EQ(rain[1], (10.0 / 100.0 + 20.0 / 900.0) / (1.0 / 100.0 + 1.0 / 900.0));

  set_gauges(*pb, {{{0.0, 5.0, 10.0}}, {{10.0, 5.0, 20.0}}});  // equal distances
  pb->nearest.allocate(1);
  ASSERT_TRUE(find_neighbor(2, s.grid(), pb->gauge_x, pb->gauge_y, pb->nearest));
  EXPECT_EQ(pb->nearest[1], 1);
}

TEST(GaugeRain, TheRainMapsAreTheSameForOneAndFourThreads) {
  constexpr int n = 300;
  strip s(n);
  auto pb = std::make_unique<precipitation_block>();
  set_gauges(*pb, {{{100.0, 40.0, 3.0}}, {{1234.5, -20.0, 11.0}}, {{2500.0, 5.0, 0.5}}, {{2990.0, 90.0, 7.25}}});
  pb->nearest.allocate(n);
  dvec idw[2] = {dvec{"a"}, dvec{"b"}}, near[2] = {dvec{"c"}, dvec{"d"}};
  const int threads[2] = {1, 4};
  const int saved = omp_get_max_threads();
  for (int t = 0; t < 2; ++t) {
    omp_set_num_threads(threads[t]);
    idw[t].allocate(n);
    near[t].allocate(n);
    build_idw_weights(*pb, s.grid(), n);
    precip_idw(*pb, 1, n, idw[t]);
    ASSERT_TRUE(find_neighbor(4, s.grid(), pb->gauge_x, pb->gauge_y, pb->nearest));
    precip_nearest(1, 4, pb->nearest, pb->gauge_values, near[t], n);
  }
  omp_set_num_threads(saved);
  for (long i = 1; i <= n; ++i) {
    EXPECT_EQ(idw[0][i], idw[1][i]) << i;
    EXPECT_EQ(near[0][i], near[1][i]) << i;
  }
  EXPECT_EQ(near[0][1], 3.0);
  EXPECT_EQ(near[0][n], 7.25);
}

TEST(Interception, TheCanopyFillsThenPassesItsShareOfTheExcess) {
  auto ms = std::make_unique<main_state>();
  ms->n_cells = 1;
  ms->dx = 10.0;
  for (dvec* v : {&ms->rain_rate, &ms->ri_eff, &ms->icep_stor, &ms->icep_coef, &ms->icep_dep}) v->allocate(1);
  const double c = 0.25, step_s = 60.0;
  ms->icep_stor[1] = 1.0;
  ms->icep_dep[1] = 0.8;
  ms->icep_coef[1] = c;
  ms->rain_rate[1] = 0.5 * 3600.0 / step_s;  // 0.5 mm in the step
  seasonal_interception(*ms, step_s);
  const double delivered = ms->ri_eff[1] * step_s / 3600.0;
  EXPECT_NEAR(delivered, 0.3 * (1.0 - c), 1e-12);
  const double held = ms->icep_dep[1] - 0.8;
  EXPECT_NEAR(held + delivered, 0.5, 1e-12) << "the step's rain is held or delivered, nothing else";
  EXPECT_NEAR(ms->vol_interception_total, held * 100.0 / 1000.0, 1e-15);

  // A storage with room for the whole step holds it all.
  ms->icep_dep[1] = 0.0;
  seasonal_interception(*ms, step_s);
  EXPECT_EQ(ms->ri_eff[1], 0.0);
  EXPECT_NEAR(ms->icep_dep[1], 0.5, 1e-12);
}

TEST(Interception, TheCanopyHoldsLessInWinter) {
  auto ms = std::make_unique<main_state>();
  ms->seasonal_rs_on = 1;
  ms->latitude_deg = 40.0;
  EXPECT_EQ(interception_season_divisor(*ms, 1), 4.0);
  EXPECT_EQ(interception_season_divisor(*ms, 6), 2.0);
  EXPECT_EQ(interception_season_divisor(*ms, 8), 1.0);
  ms->seasonal_rs_spring = 3;
  ms->seasonal_rs_summer_start = 6;
  ms->seasonal_rs_summer_end = 8;
  ms->seasonal_rs_fall = 11;
  EXPECT_EQ(interception_season_divisor(*ms, 4), 3.0);
  EXPECT_EQ(interception_season_divisor(*ms, 7), 1.0);
  EXPECT_EQ(interception_season_divisor(*ms, 9), 2.0);
  ms->seasonal_rs_on = 0;
  EXPECT_EQ(interception_season_divisor(*ms, 1), 1.0);
}

// Boundary cells that hold their depth (fixed depth 2, fixed stage 3, a depth
// interpolated from a nested run's points 8, a nested run's point 9) keep it
// through the rain: the rain on them is booked to the head boundary. Any
// other type takes the rain as a plain cell does.
TEST(RainApplication, HeldBoundaryCellsBookTheirRainToTheHeadBoundary) {
  struct type_case {
    int type;
    bool held;
  } cases[] = {{0, false}, {1, false}, {2, true}, {3, true}, {4, false}, {8, true}, {9, true}};
  for (const type_case& c : cases) {
    error_rec = error_record{};  // no fault left over from an earlier test
    auto ms = std::make_unique<main_state>();
    main_state& m = *ms;
    m.n_cells = 2;
    m.dx = 10.0;
    for (dvec* v : {&m.ov_depth, &m.rain_rate}) v->allocate(2);
    m.boundary_type.allocate(2);
    m.ov_boundary_on = 1;
    m.boundary_type[2] = c.type;
    m.ov_depth[2] = 0.011;
    m.rain_rate[1] = m.rain_rate[2] = 36.0;  // 0.6 mm in the minute: 0.06 m3 per cell
    m.time_tol = 1.1574074074074074e-07;
    m.now = m.precip_period_end = 2451970.0;
    m.precip_period_start = m.now - 60.0 / 86400.0;
    m.rain_event_state = 1;
    m.rain_not_started = 1;
    apply_precip_step(m);
    EXPECT_NEAR(m.ov_depth[1], 0.0006, 1e-15) << "type " << c.type;
    EXPECT_NEAR(m.ov_depth[2], c.held ? 0.011 : 0.0116, 1e-15) << "type " << c.type;
    EXPECT_NEAR(m.vol_ov_head_bound_out_total, c.held ? 0.06 : 0.0, 1e-15) << "type " << c.type;
    EXPECT_NEAR(m.vol_precip_total, 0.12, 1e-15) << "type " << c.type;
    EXPECT_EQ(error_rec.code, 0) << "type " << c.type;
  }
}

// One step of rain on six cells of 10 m, each a different kind: a plain
// cell, a channel-lake cell, an overland-lake cell, a head-boundary cell, a
// cell with a storage unit of 25 m2 and a cell where the rain falls as snow.
TEST(RainApplication, EveryCubicMetreOfTheStepIsBookedOnce) {
  error_rec = error_record{};  // no fault left over from an earlier test
  auto ms = std::make_unique<main_state>();
  main_state& m = *ms;
  m.n_cells = 6;
  m.dx = 10.0;
  for (dvec* v : {&m.ov_depth, &m.rain_rate, &m.swe, &m.H_Val, &m.temper_gridded, &m.slope_x, &m.slope_y,
                  &m.dist_rough})
    v->allocate(6);
  for (ivec* v : {&m.lake_mask, &m.oland_lake_new, &m.oland_lake_mask, &m.boundary_type, &m.Snow_Accumulated_Hr})
    v->allocate(6);
  m.lakes_on = 1;
  m.lake_mask[2] = 1;
  m.lake_volume.allocate(1);
  m.overland_lake_on = 1;
  m.n_olakes = 1;
  m.olake_table.allocate(1);
  m.oland_lake_new[3] = 1;
  m.ov_boundary_on = 1;
  m.boundary_type[4] = 2;
  m.ov_bmp_on = 1;
  bmp_table_columns t;
  for (dvec* v : {&t.unit_type, &t.inflow_type, &t.outflow_type, &t.area, &t.max_depth_mm, &t.seepage_cm_h,
                  &t.inflow_coef, &t.outflow_coef, &t.underdrain_pct, &t.trap_efficiency})
    v->allocate(6);
  t.unit_type[5] = 1;
  t.area[5] = 25.0;
  ASSERT_TRUE(build_bmp_units(m, t));
  m.long_term_on = 1;
  m.snow_pxtemp = 0.0;
  for (long i = 1; i <= 6; ++i) {
    m.temper_gridded[i] = i == 6 ? -5.0 : 10.0;
    m.rain_rate[i] = 36.0;  // 0.6 mm in the minute: 0.06 m3 per cell
  }
  m.time_tol = 1.1574074074074074e-07;
  m.now = m.precip_period_end = 2451970.0;
  m.precip_period_start = m.now - 60.0 / 86400.0;
  m.rain_event_state = 1;
  m.rain_not_started = 1;
  m.elapsed_min = 7.0;
  apply_precip_step(m);

  double on_cells = 0.0, in_snow = 0.0;
  for (long i = 1; i <= 6; ++i) {
    on_cells += m.ov_depth[i] * 100.0;
    in_snow += m.swe[i] * 100.0;
  }
  const double stored = on_cells + in_snow + m.lake_volume[1] + m.olake_table[1].step_inflow +
                        m.vol_ov_head_bound_out_total + m.bmp_list->units[1].storage;
  EXPECT_NEAR(m.vol_precip_total, 0.36, 1e-12);
  EXPECT_NEAR(stored, m.vol_precip_total, 1e-15);
  EXPECT_NEAR(m.vol_precip, 0.30, 1e-12);
  EXPECT_NEAR(m.vol_precip_lake, 0.06, 1e-12);
  EXPECT_NEAR(m.ov_depth[5], 0.0006 * 0.75, 1e-15);
  EXPECT_EQ(m.ov_depth[3] + m.ov_depth[4] + m.ov_depth[6], 0.0);
  EXPECT_EQ(m.Snow_Accumulated_Hr[6], 1);
  EXPECT_EQ(m.n_rain_steps, 1);
  EXPECT_EQ(m.rain_start_min, 7.0);
  EXPECT_EQ(m.rain_not_started, 0);
}

// A depth below dry met before the rain is added was left by the surface
// routing: the step stops naming the scheme, the cell with its row and
// column, and the time, and keeps the negative-rain message for a negative
// rain.
TEST(RainApplication, ANegativeDepthBeforeTheRainIsTheOverlandSchemesFailure) {
  const struct {
    const char* name;
    double depth, rate;
    const char* message;
  } cases[] = {
      {"left by the scheme", -2e-6, 36.0,
       "Error: the ade-pc overland scheme left a negative depth of -2e-06 m in overland cell 5 (row 2, column 1) at "
       "7.00 minutes.\n"},
      {"made by a negative rain", 0.0001, -36.0,
       "A negative depth has been detected for overland cell 5 after applying rainfall, check your rainfall input "
       "for negative values\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto ms = std::make_unique<main_state>();
    main_state& m = *ms;
    m.n_cells = 6;
    m.dx = 10.0;
    m.overtype = 3;
    for (dvec* v : {&m.ov_depth, &m.rain_rate}) v->allocate(6);
    m.cell_row.grow(6);
    m.cell_col.grow(6);
    for (long i = 1; i <= 6; ++i) {  // two rows of four columns, the second holding cells 5 and 6
      m.cell_row[i] = static_cast<int>((i - 1) / 4 + 1);
      m.cell_col[i] = static_cast<int>((i - 1) % 4 + 1);
    }
    m.ov_depth[5] = c.depth;
    m.rain_rate[5] = c.rate;
    m.time_tol = 1.1574074074074074e-07;
    m.now = m.precip_period_end = 2451970.0;
    m.precip_period_start = m.now - 60.0 / 86400.0;
    m.rain_event_state = 1;
    m.elapsed_min = 7.0;
    error_rec = error_record{};
    testing::internal::CaptureStdout();
    apply_precip_step(m);
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(console, c.message);
    EXPECT_EQ(error_rec.code, already_printed_code);
  }
  error_rec = error_record{};
}

}  // namespace
}  // namespace kavro

namespace kavro {
namespace {

// The gauge catches too little snow: the depth that falls as snow or onto a
// snowpack is the gauge depth times the cell's snow correction factor, and
// the corrected depth is what the rain total books. Rain on bare ground is
// not corrected; a factor of 1 changes nothing.
TEST(RainApplication, SnowCorrectionFactorScalesWhatReachesTheSnow) {
  for (double scf : {1.0, 1.5}) {
    error_rec = error_record{};
    auto ms = std::make_unique<main_state>();
    main_state& m = *ms;
    m.n_cells = 3;
    m.dx = 10.0;
    for (dvec* v : {&m.ov_depth, &m.rain_rate, &m.swe, &m.H_Val, &m.temper_gridded, &m.snow_scf}) v->allocate(3);
    m.Snow_Accumulated_Hr.allocate(3);
    m.long_term_on = 1;
    // Cell 1 snow on bare ground, cell 2 rain on a pack, cell 3 rain on bare ground.
    m.temper_gridded[1] = -5.0, m.temper_gridded[2] = 3.0, m.temper_gridded[3] = 3.0;
    m.swe[2] = 0.01;
    for (long i = 1; i <= 3; ++i) {
      m.snow_scf[i] = scf;
      m.rain_rate[i] = 36.0;  // 0.6 mm in the minute
    }
    m.time_tol = 1.1574074074074074e-07;
    m.now = m.precip_period_end = 2451970.0;
    m.precip_period_start = m.now - 60.0 / 86400.0;
    m.rain_event_state = 1;
    m.rain_not_started = 1;
    apply_precip_step(m);
    SCOPED_TRACE(scf);
    EXPECT_NEAR(m.swe[1], 0.0006 * scf, 1e-15);
    EXPECT_NEAR(m.swe[2], 0.01 + 0.0006 * scf, 1e-15);
    EXPECT_NEAR(m.H_Val[2], 0.6 * scf, 1e-12);
    EXPECT_NEAR(m.ov_depth[3], 0.0006, 1e-15);
    const double stored = (m.swe[1] + m.swe[2] - 0.01 + m.ov_depth[3]) * 100.0;
    EXPECT_NEAR(m.vol_precip_total, stored, 1e-15);
    EXPECT_NEAR(m.vol_precip_total, 0.06 * (1.0 + 2.0 * scf), 1e-12);
  }
}

}  // namespace
}  // namespace kavro
