// Gauge and radar rain at any time step: a 10 x 10 plane of 30 m cells under
// a three-hour storm of twelve 15-minute periods (2, 3, 5, 8, 12, 10, 7, 5, 3,
// 2, 1, 1 mm: 59 mm, 5310 m3 on 90,000 m2). Whatever the time step, each
// period delivers its recorded depth (a step across a period boundary takes
// each rate for its share of the step), the water balance closes and every
// rain map holds the rate of the period it falls in.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::figure;
using kavro_test::read_file;
using kavro_test::write_file;

const double period_mm[] = {2, 3, 5, 8, 12, 10, 7, 5, 3, 2, 1, 1};
constexpr int n_periods = 12;
constexpr double plane_m2 = 90000.0;
constexpr double storm_m3 = 59.0e-3 * plane_m2;

enum class form { gages, rates, accum, radar };

const char* form_name(form f) {
  switch (f) {
    case form::gages: return "GAGES";
    case form::rates: return "RATES";
    case form::accum: return "ACCUM";
    case form::radar: return "RADAR";
  }
  return "";
}

// "Y M D h m" of the line k minutes * 15 after midnight, March 1 2001.
std::string line_date(int k) {
  char text[40];
  std::snprintf(text, sizeof text, "2001 3 1 %d %d", 15 * k / 60, 15 * k % 60);
  return text;
}

// The precipitation file of the storm in one form (radar grids written too).
std::string storm_file(form f, const kavro_test::scratch_dir& dir) {
  std::ostringstream s;
  s.precision(17);
  s << "EVENT \"three-hour storm\"\n";
  if (f == form::radar) {
    s << "NRGAG FILES\nNRPDS " << n_periods + 1 << "\n";
    for (int k = 0; k <= n_periods; ++k) {
      const std::string name = "r" + std::to_string(k) + ".asc";
      // Radar grids are in inches per hour; the grid covers the plane.
      const double inch_h = k < n_periods ? period_mm[k] * 4.0 / 25.4 : 0.0;
      std::ostringstream g;
      g.precision(17);
      g << "ncols 1\nnrows 1\nxllcorner -10\nyllcorner -10\ncellsize 320\nNODATA_value -9999\n" << inch_h << "\n";
      write_file(dir / name, g.str());
      s << "RADAR " << line_date(k) << " " << name << "\n";
    }
    return s.str();
  }
  s << "NRGAG 1\nNRPDS " << n_periods + 1 << "\nCOORD 150 150\n";
  double accum = 0.0;
  for (int k = 0; k <= n_periods; ++k) {
    double v = 0.0;
    if (f == form::gages) v = k == 0 ? 0.0 : period_mm[k - 1];  // a depth closes its period
    if (f == form::rates) v = k < n_periods ? period_mm[k] * 4.0 : 0.0;  // a rate opens its period
    if (f == form::accum) v = accum += k == 0 ? 0.0 : period_mm[k - 1];
    s << form_name(f) << " " << line_date(k) << " " << v << "\n";
  }
  return s.str();
}

// The rate (mm/h) of the period holding the last instant before `minutes`.
double rate_before(double minutes) {
  const int k = static_cast<int>(std::floor((minutes - 1e-6) / 15.0));
  return k >= 0 && k < n_periods ? period_mm[k] * 4.0 : 0.0;
}

class RainAnyStep : public ::testing::TestWithParam<form> {};

TEST_P(RainAnyStep, EveryPeriodDeliversItsDepthWhateverTheTimeStep) {
  const form f = GetParam();
  const std::string base = read_file(kavro_test::data_dir() / "rain_steps" / "p.prj");
  for (int dt : {5, 7, 8, 40, 60, 120, 600, 900}) {
    SCOPED_TRACE(std::string(form_name(f)) + ", TIMESTEP " + std::to_string(dt));
    kavro_test::scratch_dir dir;
    for (const char* name : {"mask.asc", "elevation.asc"})
      std::filesystem::copy_file(kavro_test::data_dir() / "rain_steps" / name, dir / name);
    write_file(dir / "rain.dat", storm_file(f, dir));
    write_file(dir / "p.prj", kavro_test::with_card(base, "TIMESTEP", std::to_string(dt)));
    const auto r = kavro_test::run_program(kavro_test::kavro_binary(), {"p.prj"}, dir.path());
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string summary = read_file(dir / "summary.txt");
    EXPECT_NEAR(figure(summary, "Total amount of precip="), storm_m3, 0.01) << summary;
    EXPECT_NEAR(figure(summary, "Overall mass balance error ="), 0.0, 1e-5) << summary;
    const double left = figure(summary, "Final volume on surface=");
    const double out = figure(summary, "Total amount of discharge=");
    EXPECT_NEAR(left + out, storm_m3, 0.02);

    // Maps every 15 minutes from the first step on, to the end at 195 min.
    const auto frames = kavro_test::dataset_frames(read_file(dir / "rain_maps"), 100);
    ASSERT_GE(frames.size(), 12u);
    for (const kavro_test::dataset_frame& fr : frames) {
      for (double v : fr.values) ASSERT_NEAR(v, rate_before(fr.minutes), 1e-9) << "frame at " << fr.minutes;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Forms, RainAnyStep, ::testing::Values(form::gages, form::rates, form::accum, form::radar),
                         [](const auto& info) { return std::string(form_name(info.param)); });

// A uniform storm whose duration the time step does not divide rains for
// exactly its duration.
TEST(UniformRainAnyStep, RainsForTheWholeDuration) {
  const std::string base = read_file(kavro_test::data_dir() / "rain_steps" / "p.prj");
  for (int dt : {7, 60, 1000}) {
    SCOPED_TRACE("TIMESTEP " + std::to_string(dt));
    kavro_test::scratch_dir dir;
    for (const char* name : {"mask.asc", "elevation.asc"})
      std::filesystem::copy_file(kavro_test::data_dir() / "rain_steps" / name, dir / name);
    std::string p = kavro_test::without_card(base, "PRECIP_FILE");
    p = kavro_test::with_card(p, "TIMESTEP", std::to_string(dt));
    p = kavro_test::with_card(p, "RAIN_INTENSITY", "36");
    p = kavro_test::with_card(p, "RAIN_DURATION", "61");
    p = kavro_test::with_card(p, "START_DATE", "2001 3 1");
    p = kavro_test::with_card(p, "START_TIME", "0 0");
    write_file(dir / "p.prj", p);
    const auto r = kavro_test::run_program(kavro_test::kavro_binary(), {"p.prj"}, dir.path());
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string summary = read_file(dir / "summary.txt");
    EXPECT_NEAR(figure(summary, "Total amount of precip="), 36.0e-3 * 61.0 / 60.0 * plane_m2, 0.01) << summary;
    EXPECT_NEAR(figure(summary, "Overall mass balance error ="), 0.0, 1e-5) << summary;
  }
}

}  // namespace
}  // namespace kavro
