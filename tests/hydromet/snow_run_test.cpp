// Long-term runs with snow, as a user runs them: the snow box (tests/data/
// snow_box), 3 x 3 cells under 0.1 m of snow water and two March days of
// calm weather, melted by the degree-day model, by the degree-day model
// after a cold day, and by the energy balance of a ripe pack; conflicting
// snow cards are refused; thread counts and batch runs write the same.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "framework/run_driver.h"
#include "test_support.h"

namespace kavro {
namespace {

namespace fs = std::filesystem;
using kavro_test::read_file;
using kavro_test::write_file;

const std::string degree_day_cards =
    "NWSRFS_SNOW\nNWSRFS_MF_MAX 6\nNWSRFS_MF_MIN 6\nNWSRFS_PLWHC 0\nSNOW_TEMP_BASE 0\n";

class SnowBox : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& entry : fs::directory_iterator(kavro_test::data_dir() / "snow_box"))
      fs::copy_file(entry.path(), dir / entry.path().filename().string());
  }
  kavro_test::run_result run(const std::string& extra, const std::vector<std::string>& options = {}) {
    write_file(dir / "box.prj", read_file(kavro_test::data_dir() / "snow_box" / "box.prj") + extra);
    std::vector<std::string> args = options;
    args.push_back("box.prj");
    return kavro_test::run_program(kavro_test::kavro_binary(), args, dir.path());
  }
  // The nine values of frame k (from 1) of the swe series, or of the series
  // `stem` written into the folder of the same name.
  std::vector<double> frame(int k, const std::string& prefix = "", const std::string& stem = "swe") {
    char name[32];
    std::snprintf(name, sizeof name, "%s.%04d.asc", stem.c_str(), k);
    std::istringstream in(read_file(dir / (prefix + stem) / name));
    std::string line;
    for (int i = 0; i < 6 && std::getline(in, line); ++i) {
    }
    std::vector<double> v;
    double x;
    while (in >> x) v.push_back(x);
    return v;
  }
  // Checks every frame against the expected water equivalent (m) of frame k.
  template <class Expected>
  void expect_frames(Expected expected) {
    for (int k = 1; k <= 48; ++k) {
      const std::vector<double> v = frame(k);
      ASSERT_EQ(v.size(), 9u) << "frame " << k;
      for (double x : v) EXPECT_NEAR(x, expected(k), 5e-5) << "frame " << k;
    }
  }
  void expect_closed_balance() {
    const std::string summary = read_file(dir / "s.txt");
    EXPECT_NEAR(kavro_test::figure(summary, "Final volume of snow="), 0.0, 1e-9);
    EXPECT_NEAR(kavro_test::figure(summary, "Final volume of melt water ="), 0.0, 1e-9);
    EXPECT_LT(std::fabs(kavro_test::figure(summary, "Overall mass balance error =")), 0.01) << summary;
  }
  kavro_test::scratch_dir dir;
};

TEST_F(SnowBox, DegreeDayMeltOfFiveMillimetresPerHour) {
  const auto r = run(degree_day_cards);
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("End of meteorology data reached"), std::string::npos);
  // The first snow step (0:55) only accumulates; the model runs at 1:55,
  // 2:55, ... melting 1 mm per degree and hour at 5 C.
  expect_frames([](int k) { return std::max(0.1 - 0.005 * std::max(k - 2, 0), 0.0); });
  expect_closed_balance();
}

TEST_F(SnowBox, SnowDepthMapsHoldTheModelledDepth) {
  const auto r = run(degree_day_cards + "SNOW_SD_FILE sd\n");
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  // Snow is never denser than water: wherever there is snow its depth is at
  // least its water equivalent, and a melted-out cell has no depth left.
  for (int k = 1; k <= 48; ++k) {
    const std::vector<double> depth = frame(k, "", "sd");
    const std::vector<double> water = frame(k);
    ASSERT_EQ(depth.size(), 9u) << "frame " << k;
    ASSERT_EQ(water.size(), 9u) << "frame " << k;
    for (std::size_t i = 0; i < 9; ++i) {
      EXPECT_GE(depth[i], water[i]) << "frame " << k << " cell " << i;
      if (water[i] > 0.0) {
        EXPECT_GT(depth[i], 0.0) << "frame " << k << " cell " << i;
      } else {
        EXPECT_EQ(depth[i], 0.0) << "frame " << k << " cell " << i;
      }
    }
  }
  // The hotstart pack of 0.1 m water starts 1 m deep; the first 5 mm of melt
  // at 5 C settle it to 0.9735124 m (density model).
  for (double x : frame(1, "", "sd")) EXPECT_NEAR(x, 1.0, 5e-5);
  for (double x : frame(3, "", "sd")) EXPECT_NEAR(x, 0.9735124, 5e-5);
}

TEST_F(SnowBox, ColdContentIsMetBeforeTheFirstMelt) {
  std::string weather;
  for (int d : {21, 22})
    for (int h = 0; h < 24; ++h)
      weather += "2008 3 " + std::to_string(d) + " " + std::to_string(h) + " 29.92 60 5 0 " +
                 (d == 21 ? "14" : "41") + " 0.0 0.0\n";
  write_file(dir / "w.vrx", weather);
  const auto r = run(degree_day_cards + "NWSRFS_NMF 3.6\nNWSRFS_TIPM 1.0\n");
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  // The first cold hour builds a deficit of 1 mm; the first warm hour
  // (24:55) melts 5 mm of which 1 mm refreezes.
  expect_frames([](int k) { return k <= 25 ? 0.1 : std::max(0.096 - 0.005 * (k - 26), 0.0); });
  expect_closed_balance();
}

TEST_F(SnowBox, EnergyBalanceMeltOfARipePack) {
  const auto r = run("EB_SNOW\n");
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  // Calm air at 5 C: long-wave gain 4.956e-9 x 278.15^4 - 27 cal/cm2 per
  // hour melts Q/80 cm per hour from the first step (0:55, 3300 s) on.
  const double Q = 4.956e-9 * std::pow(278.15, 4) - 27.0;
  const double melt_per_hour = Q / 80.0 / 100.0;
  const std::string summary = read_file(dir / "s.txt");
  EXPECT_NEAR(kavro_test::figure(summary, "Final volume of snow="),
              (0.1 - (47.0 + 11.0 / 12.0) * melt_per_hour) * 8100.0, 0.01);
  EXPECT_LT(std::fabs(kavro_test::figure(summary, "Overall mass balance error =")), 0.01) << summary;
}

TEST_F(SnowBox, AnEventRunCountsItsInitialSnowInTheBalance) {
  // The box as an event run: one hour of uniform rain, no weather, no melt.
  std::string project;
  for (const std::string& line : kavro_test::lines_of(read_file(kavro_test::data_dir() / "snow_box" / "box.prj"))) {
    bool long_term_card = false;
    for (const char* card : {"LONG_TERM", "HMET_VRX", "LATITUDE", "LONGITUDE", "GMT", "ET_CALC", "INF_REDIST",
                             "PRECIP_FILE", "SNOW_SWE_FILE", "TOT_TIME"})
      long_term_card = long_term_card || line.rfind(card, 0) == 0;
    if (!long_term_card) project += line + "\n";
  }
  project += "RAIN_INTENSITY 1.0\nRAIN_DURATION 10\nTOT_TIME 60\nSTART_DATE 2008 3 21\nSTART_TIME 00 00\n";
  write_file(dir / "event.prj", project);
  const auto r = kavro_test::run_program(kavro_test::kavro_binary(), {"event.prj"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  const std::string summary = read_file(dir / "s.txt");
  EXPECT_NEAR(kavro_test::figure(summary, "Final volume of snow="), 810.0, 1e-9);
  EXPECT_NEAR(kavro_test::figure(summary, "initial liquid-equiv. volume of snow:"), 810.0, 1e-9);
  EXPECT_LT(std::fabs(kavro_test::figure(summary, "Overall mass balance error =")), 0.01) << summary;
}

TEST_F(SnowBox, AShortRunBeforeInTheSameProcessChangesNothing) {
  ASSERT_EQ(run(degree_day_cards).exit_code, 0);
  std::vector<std::vector<double>> alone;
  for (int k = 1; k <= 48; ++k) alone.push_back(frame(k));
  fs::remove_all(dir / "swe");
  // Two hours of weather end the short run after some snow steps.
  std::string two_hours;
  for (int h = 0; h < 2; ++h) two_hours += "2008 3 21 " + std::to_string(h) + " 29.92 60 5 0 41 0.0 0.0\n";
  write_file(dir / "short.vrx", two_hours);
  std::string short_project = kavro_test::with_card(read_file(dir / "box.prj"), "HMET_VRX", "short.vrx");
  short_project = kavro_test::with_card(short_project, "SNOW_SWE_FILE", "short_swe");
  short_project = kavro_test::with_card(short_project, "SUMMARY", "short.txt");
  write_file(dir / "short.prj", kavro_test::with_card(short_project, "OUTLET_HYDRO", "short_o.txt"));
  const fs::path here = fs::current_path();
  fs::current_path(dir.path());
  const int short_status = run_simulation("short.prj", nullptr, "");
  const int box_status = run_simulation("box.prj", nullptr, "");
  fs::current_path(here);
  ASSERT_EQ(short_status, 0);
  ASSERT_EQ(box_status, 0);
  for (int k = 1; k <= 48; ++k) EXPECT_EQ(frame(k), alone[static_cast<std::size_t>(k - 1)]) << k;
}

TEST_F(SnowBox, HybridAndTemperatureIndexCardsAreRefused) {
  for (const std::string cards : {"HY_SNOW\nNWSRFS_SNOW\n", "HY_SNOW\nNWSRFS_SNOW_W_RAD\n"}) {
    const auto r = run(cards);
    EXPECT_EQ(r.exit_code, 1) << cards;
    EXPECT_NE(r.out.find("HY_SNOW cannot run together with NWSRFS_SNOW"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("reading watershed mask"), std::string::npos) << r.out;
  }
}

TEST_F(SnowBox, ThreadCountsAndBatchRunsWriteTheSameFrames) {
  for (const std::string& cards : {degree_day_cards, std::string("EB_SNOW\n")}) {
    SCOPED_TRACE(cards);
    ASSERT_EQ(run(cards + "NUM_THREADS 1\n").exit_code, 0);
    std::vector<std::vector<double>> one;
    for (int k = 1; k <= 48; ++k) one.push_back(frame(k));
    const std::string summary_one = kavro_test::without_timing(read_file(dir / "s.txt"));
    ASSERT_EQ(run(cards + "NUM_THREADS 4\n").exit_code, 0);
    for (int k = 1; k <= 48; ++k) EXPECT_EQ(frame(k), one[static_cast<std::size_t>(k - 1)]) << k;
    EXPECT_EQ(kavro_test::without_timing(read_file(dir / "s.txt")), summary_one);
    // Both runs of a batch as the single run: no snow hours carry over.
    const std::string outlet = read_file(dir / "o.txt");
    ASSERT_EQ(run(cards, {"-b2"}).exit_code, 0);
    for (const char* run_no : {"0000_", "0001_"}) {
      EXPECT_EQ(kavro_test::without_timing(read_file(dir / (std::string(run_no) + "s.txt"))), summary_one) << run_no;
      EXPECT_EQ(read_file(dir / (std::string(run_no) + "o.txt")), outlet) << run_no;
    }
  }
}

}  // namespace
}  // namespace kavro
