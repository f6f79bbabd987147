// Whole runs of the three overland schemes on ground that is not a smooth
// plane: a tilted plane whose outlet hydrograph must add up to the
// discharge the run booked and never rise above the equilibrium i*A, and
// rough hillslopes with pits, ponds and steep faces on which every scheme
// must run to its end with its balance closed. One time step per case here;
// the grids are written by the test into its scratch folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::figure;
using kavro_test::read_file;
using kavro_test::write_file;
using kavro_test::write_grid;

// The same value in every cell of a grid.
std::function<double(int, int)> uniform(double v) {
  return [v](int, int) { return v; };
}

bool has(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

// Rows of an outlet hydrograph: elapsed minutes and discharge (m3/s).
struct hydrograph {
  std::vector<double> minutes, q;
};

hydrograph read_hydrograph(const std::filesystem::path& p) {
  hydrograph h;
  for (const auto& line : kavro_test::lines_of(read_file(p))) {
    double t = 0.0, q = 0.0;
    if (std::sscanf(line.c_str(), "%lf %lf", &t, &q) != 2) continue;
    h.minutes.push_back(t);
    h.q.push_back(q);
  }
  return h;
}

// The water the rows report: each row's discharge over the time since the
// row before it (the first row since the start), in m3.
double row_volume(const hydrograph& h) {
  double v = 0.0, before = 0.0;
  for (size_t k = 0; k < h.q.size(); ++k) {
    v += h.q[k] * (h.minutes[k] - before) * 60.0;
    before = h.minutes[k];
  }
  return v;
}

std::string card(const std::string& name, const std::string& value) {
  std::string line = name;
  line.resize(18, ' ');
  return line + value + "\n";
}

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

// The project cards every case shares.
std::string common_cards(int rows, int cols, double dx, const char* scheme, double timestep, int minutes) {
  return "KAVROPROJECT\n" + card("WATERSHED_MASK", "mask.asc") + card("ELEVATION", "elevation.asc") +
         card("ROWS", std::to_string(rows)) + card("COLS", std::to_string(cols)) +
         card("GRIDSIZE", number(dx)) + card("TOT_TIME", std::to_string(minutes)) +
         card("TIMESTEP", number(timestep)) + card("START_DATE", "2010 7 1") + card("START_TIME", "9 0") +
         card("OUTROW", std::to_string(rows)) + card("OUTCOL", std::to_string(cols)) + card("HYD_FREQ", "1") +
         card("OVERTYPE", scheme) + card("SUMMARY", "summary.txt") + card("OUTLET_HYDRO", "outlet.txt");
}

class RoughGround : public ::testing::Test {
 protected:
  kavro_test::run_result run(const std::string& project) {
    write_file(dir / "p.prj", project);
    return kavro_test::run_program(kavro_test::kavro_binary(), {"p.prj"}, dir.path(), "",
                                   {"OMP_WAIT_POLICY=passive"});
  }
  kavro_test::scratch_dir dir;
};

// The tilted plane: 20 x 8 cells of 10 m falling 0.2 m per row southwards
// and 0.05 m per column eastwards to 100.0 m at the outlet corner, n 0.04,
// 40 mm/h for 60 min, 120 min with a row every minute. Equilibrium i*A =
// 40 / 3.6e6 m/s x 16,000 m2 = 0.177778 m3/s.
struct plane_case {
  const char* scheme;
  double timestep;
};

void PrintTo(const plane_case& c, std::ostream* os) { *os << c.scheme << " at " << c.timestep << " s"; }

class TiltedPlaneRows : public RoughGround, public ::testing::WithParamInterface<plane_case> {};

TEST_P(TiltedPlaneRows, AddUpToTheBookedDischargeAndStayBelowTheEquilibrium) {
  const plane_case& c = GetParam();
  write_grid(dir / "mask.asc", 20, 8, 10.0, uniform(1.0), "%.0f");
  write_grid(dir / "elevation.asc", 20, 8, 10.0,
             [](int r, int col) { return 100.0 + 0.2 * (20 - r) + 0.05 * (8 - col); });
  const auto r = run(common_cards(20, 8, 10.0, c.scheme, c.timestep, 120) + card("OUTSLOPE", "0.02") +
                     card("MANNING_N", "0.04") + card("RAIN_INTENSITY", "40") + card("RAIN_DURATION", "60"));
  ASSERT_EQ(r.exit_code, 0) << r.out;
  const std::string summary = read_file(dir / "summary.txt");
  const hydrograph h = read_hydrograph(dir / "outlet.txt");
  ASSERT_EQ(h.q.size(), 120u);
  const double booked = figure(summary, "Total amount of discharge=");
  ASSERT_GT(booked, 600.0) << summary;
  // Rows printed to eight decimals, the total to two.
  EXPECT_NEAR(row_volume(h), booked, 0.01) << summary;
  const double i_a = 40.0 / 3.6e6 * 16000.0;
  for (size_t k = 0; k < h.q.size(); ++k) EXPECT_LE(h.q[k], i_a * 1.001) << "minute " << h.minutes[k];
  // The plateau before the rain stops is the equilibrium itself.
  for (size_t k = 45; k < 60; ++k) EXPECT_NEAR(h.q[k], i_a, i_a * 1e-3) << "minute " << h.minutes[k];
}

// ADE-PC alternates its sweep order from pass to pass, so its single passes
// swing around the mean: 6 passes per row at 10 s, 15 at 4 s.
INSTANTIATE_TEST_SUITE_P(Schemes, TiltedPlaneRows,
                         ::testing::Values(plane_case{"explicit", 4}, plane_case{"ade", 5},
                                           plane_case{"ade-pc", 10}, plane_case{"ade-pc", 4}),
                         [](const auto& info) {
                           std::string name = info.param.scheme;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name + "_" + std::to_string(static_cast<int>(info.param.timestep)) + "s";
                         });

// The rough hillslope: 40 x 40 cells of 5 m, ground 100 + 0.15 (40 - r) +
// 0.05 (40 - c) + a sin(2 pi r / pr) sin(2 pi c / pc) m, n 0.03, Green-Ampt
// soil (capillary 15 cm, porosity 0.45, moisture 0.2, conductivity 0.2 to
// 1.0 cm/h by cell), 80 mm/h for 30 min, 90 min. The bumps hold pits that
// fill and spill; their steep faces drain thin films fast.
struct hillslope_case {
  const char* name;
  const char* scheme;
  double timestep;
  double relief;  // amplitude a (m)
  int period_rows, period_cols;
};

void PrintTo(const hillslope_case& c, std::ostream* os) { *os << c.name; }

class RoughHillslope : public RoughGround, public ::testing::WithParamInterface<hillslope_case> {};

TEST_P(RoughHillslope, RunsToItsEndWithItsBalanceClosed) {
  const hillslope_case& c = GetParam();
  const double pi = std::numbers::pi;
  write_grid(dir / "mask.asc", 40, 40, 5.0, uniform(1.0), "%.0f");
  write_grid(dir / "elevation.asc", 40, 40, 5.0, [&](int r, int col) {
    return 100.0 + 0.15 * (40 - r) + 0.05 * (40 - col) +
           c.relief * std::sin(2.0 * pi * r / c.period_rows) * std::sin(2.0 * pi * col / c.period_cols);
  });
  write_grid(dir / "conductivity.asc", 40, 40, 5.0,
             [](int r, int col) { return 0.2 + 0.08 * ((7 * r + 3 * col) % 11); });
  write_grid(dir / "capillary.asc", 40, 40, 5.0, uniform(15.0));
  write_grid(dir / "porosity.asc", 40, 40, 5.0, uniform(0.45));
  write_grid(dir / "moisture.asc", 40, 40, 5.0, uniform(0.2));
  const auto r =
      run(common_cards(40, 40, 5.0, c.scheme, c.timestep, 90) + card("OUTSLOPE", "0.03") +
          card("MANNING_N", "0.03") + "GREEN_AMPT\n" + card("CONDUCTIVITY", "conductivity.asc") +
          card("CAPILLARY", "capillary.asc") + card("POROSITY", "porosity.asc") +
          card("MOISTURE", "moisture.asc") + card("RAIN_INTENSITY", "80") + card("RAIN_DURATION", "30"));
  ASSERT_EQ(r.exit_code, 0) << r.out;
  EXPECT_FALSE(has(r.out, "negative depth")) << r.out;
  const std::string summary = read_file(dir / "summary.txt");
  EXPECT_NEAR(figure(summary, "Total amount of precip="), 1600.0, 0.005) << summary;
  EXPECT_LE(std::fabs(figure(summary, "Overall mass balance error =")), 0.01) << summary;
  // Whatever a scheme clipped is in the books: the run's error is exactly
  // the clipped water (none here), not water made outside them.
  EXPECT_EQ(figure(summary, "mass cleanup error from overland:"), 0.0) << summary;
  const hydrograph h = read_hydrograph(dir / "outlet.txt");
  ASSERT_EQ(h.q.size(), 90u);
  const double booked = figure(summary, "Total amount of discharge=");
  ASSERT_GT(booked, 1.0) << summary;
  EXPECT_NEAR(row_volume(h), booked, std::max(0.005 * booked, 0.01)) << summary;
}

INSTANTIATE_TEST_SUITE_P(
    Schemes, RoughHillslope,
    ::testing::Values(hillslope_case{"explicit_5s", "explicit", 5, 0.4, 7, 5},
                      hillslope_case{"ade_5s", "ade", 5, 0.4, 7, 5},
                      hillslope_case{"ade_pc_20s", "ade-pc", 20, 0.4, 7, 5},
                      // Short pits: today's explicit scheme made water here at 10 s ...
                      hillslope_case{"explicit_10s_pits_4_by_3", "explicit", 10, 0.4, 4, 3},
                      // ... and stopped on a negative depth here.
                      hillslope_case{"explicit_10s_pits_3_by_4", "explicit", 10, 0.3, 3, 4}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kavro
