// Whole runs of the kavro program that check what a run leaves for the
// hydrologist: the outlet hydrograph and its rain and runoff series on the
// kinematic plane, the event summary and the end-of-run water balance of the
// tilted plane and the closed box, a storm without rain, and an embankment
// strip with a low spot.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "test_support.h"

namespace kavro {
namespace {

namespace fs = std::filesystem;
using kavro_test::figure;
using kavro_test::lines_of;
using kavro_test::read_file;
using kavro_test::with_card;
using kavro_test::write_file;

const char* scheme_name(int overtype) {
  return overtype == 1 ? "explicit" : overtype == 2 ? "ade" : "ade-pc";
}

std::string scheme_label(const testing::TestParamInfo<int>& info) {
  return info.param == 3 ? "ade_pc" : scheme_name(info.param);
}

bool has(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

bool has_line(const std::string& text, const std::string& line) {
  for (const auto& l : lines_of(text))
    if (l == line) return true;
  return false;
}

std::string format(const char* fmt, double a, double b) {
  char text[128];
  std::snprintf(text, sizeof text, fmt, a, b);
  return text;
}

// One row of a time-series file: its text, elapsed minutes and value.
struct series_row {
  std::string text;
  double minutes = -1.0;
  double value = std::nan("");
};

std::vector<series_row> rows_of(const fs::path& file) {
  std::vector<series_row> rows;
  for (const auto& line : lines_of(read_file(file))) {
    series_row r{line};
    std::sscanf(line.c_str(), "%lf %lf", &r.minutes, &r.value);
    rows.push_back(r);
  }
  return rows;
}

// A scratch folder holding the files of fixture folders; runs the program
// there on a project written as p.prj.
class SummaryRun : public testing::Test {
 protected:
  void copy_fixtures(const std::string& folder) {
    for (const auto& entry : fs::directory_iterator(kavro_test::data_dir() / folder))
      fs::copy_file(entry.path(), dir / entry.path().filename().string(),
                    fs::copy_options::overwrite_existing);
  }
  kavro_test::run_result run(const std::string& project, const std::vector<std::string>& options = {}) {
    write_file(dir / "p.prj", project);
    std::vector<std::string> args = options;
    args.push_back("p.prj");
    // Threads sleep at barriers: spinning ones wait for descheduled ones on
    // a machine shared with other builds.
    return kavro_test::run_program(kavro_test::kavro_binary(), args, dir.path(), "",
                                   {"OMP_WAIT_POLICY=passive"});
  }
  kavro_test::scratch_dir dir;
};

// The kinematic plane of plane.prj (20 cells of 10 m, 36 mm/h for 120 min,
// 10 s steps, 150 min) with a row every minute. Equilibrium runoff i*A is
// 36 mm/h over the plane once the flow has travelled its length (26 min).
TEST_F(SummaryRun, KinematicPlaneSeriesHoldOneRowPerMinuteOfTheProgressLines) {
  copy_fixtures("overland_runs");
  const std::string plane = read_file(dir / "plane.prj") +
                            "HYD_FREQ          1\nRUNOFF_MMPH       runoff.txt\nRAINFALL_MMPH     rain.txt\n";
  const auto r = run(plane);
  ASSERT_EQ(r.exit_code, 0) << r.out;
  const auto progress = kavro_test::progress_lines(r.out);
  ASSERT_EQ(progress.size(), 901u) << "the first pass at the start and one per 10 s step";
  const auto outlet = rows_of(dir / "outlet.txt");
  const auto runoff = rows_of(dir / "runoff.txt");
  const auto rain = rows_of(dir / "rain.txt");
  for (const auto* rows : {&outlet, &runoff, &rain}) {
    ASSERT_EQ(rows->size(), 150u) << "no row for the first pass";
    EXPECT_EQ(rows->front().text.substr(0, 8), "    1.00");
    EXPECT_EQ(rows->back().text.substr(0, 8), "  150.00");
  }
  // A row reports the outlet water booked since the row before over that
  // minute: without channels each pass books its discharge times the step,
  // so a row is the mean of the minute's six progress lines, each printed to
  // eight decimals. Together the rows hold the run's discharge.
  double row_water = 0.0;
  for (int i = 1; i <= 150; ++i) {
    SCOPED_TRACE("minute " + std::to_string(i));
    const size_t k = static_cast<size_t>(i) - 1;
    EXPECT_EQ(outlet[k].text, format("%8.2lf %16.8lf", i, outlet[k].value));
    const auto p = kavro_test::parse_progress(progress[static_cast<size_t>(i) * 6]);
    EXPECT_NEAR(p.minutes, i, 0.005);
    double mean = 0.0;
    for (size_t pass = 6 * k + 1; pass <= 6 * k + 6; ++pass)
      mean += kavro_test::parse_progress(progress[pass]).qout / 6.0;
    EXPECT_NEAR(outlet[k].value, mean, 1e-8);
    row_water += outlet[k].value * 60.0;
    if (i >= 80 && i <= 119) {
      EXPECT_NEAR(runoff[k].value, 36.0, 0.036);
    }
    EXPECT_EQ(rain[k].text, format("%8.2lf %16.8lf", i, i <= 120 ? 36.0 : 0.0));
  }
  EXPECT_NEAR(row_water, figure(read_file(dir / "summary.txt"), "Total amount of discharge="),
              0.005 + 150 * 60 * 5e-9);

  // In cubic feet per second the outlet rows keep three decimals and the
  // significant-digits file eight.
  const auto cfs = run(plane + "QOUT_CFS\nSIG_OUTLET_HYDRO  sig.txt\n");
  ASSERT_EQ(cfs.exit_code, 0) << cfs.out;
  const auto feet = rows_of(dir / "outlet.txt");
  const auto sig = rows_of(dir / "sig.txt");
  ASSERT_EQ(feet.size(), 150u);
  ASSERT_EQ(sig.size(), 150u);
  for (size_t k = 0; k < feet.size(); ++k) {
    SCOPED_TRACE("row " + std::to_string(k + 1));
    EXPECT_EQ(feet[k].text, format("%8.2lf %10.3lf", outlet[k].minutes, feet[k].value));
    EXPECT_EQ(sig[k].text, format("%8.2lf %16.8lf", outlet[k].minutes, sig[k].value));
    // Each value is rounded to its printed digits from the same discharge.
    EXPECT_NEAR(sig[k].value, outlet[k].value * 35.314667, 2e-7);
    EXPECT_NEAR(feet[k].value, outlet[k].value * 35.314667, 0.0005 + 2e-7);
  }
}

// The tilted plane: 2,400 cells of 100 m2 under 36 mm/h for 60 min (8,640
// m3), 100 min in 2 s steps, a row every minute. Its equilibrium discharge
// is i*A = 1e-5 m/s x 240,000 m2 = 2.4 m3/s. One run on one thread and a
// batch of two runs on four threads, for each scheme.
class TiltedPlane : public SummaryRun, public testing::WithParamInterface<int> {};

TEST_P(TiltedPlane, SummariesCloseTheBalanceAndRepeatForAnyThreadCountAndBatchRun) {
  const std::string project =
      with_card(kavro_test::tilted_plane_project(dir.path(), 100), "SUMMARY", "summ.txt") +
      "HYD_FREQ          1\nOVERTYPE          " + scheme_name(GetParam()) + "\n";
  const auto one = run(project + "NUM_THREADS       1\n");
  ASSERT_EQ(one.exit_code, 0) << one.out;
  const std::string summ = read_file(dir / "summ.txt");
  const std::string outlet = read_file(dir / "outlet.txt");
  EXPECT_EQ(kavro_test::count_lines(dir / "outlet.txt"), 100);

  // The event summary.
  for (const char* line :
       {"         KAVRO EVENT RUNOFF SIMULATION SUMMARY", "            Event began on 07/01/2010 at 09:00",
        "   With uniform rainfall of   36.0 mm/h for   60.0 minutes.",
        "timestep                                     2.0 seconds",
        "number of timesteps with rain:             1800",
        "volume of rainfall to overland:                8640.0"})
    EXPECT_TRUE(has_line(summ, line)) << line << "\n" << summ;
  const double peak = figure(summ, "Event peak discharge (cubic meters per second):");
  EXPECT_GT(peak, 2.30) << summ;
  EXPECT_LT(peak, 2.45) << summ;
  // What the overland step added or removed by clipping depths is booked:
  // with it the event balance closes to the printed digits.
  const double in = figure(summ, "Mass input + original mass:");
  const double out = figure(summ, "Mass output + final mass:");
  const double cleanup = figure(summ, "mass cleanup error from overland:");
  EXPECT_NEAR(in - out, -cleanup, 2e-6) << summ;

  // The end-of-run block: rain is discharge plus what stands on the plane.
  EXPECT_NEAR(figure(summ, "Total amount of precip="), 8640.0, 0.005) << summ;
  EXPECT_NEAR(figure(summ, "Total amount of discharge=") + figure(summ, "Final volume on surface="),
              8640.0 + cleanup, 0.01)
      << summ;
  EXPECT_LT(std::fabs(figure(summ, "Overall mass balance error =")), 0.001) << summ;
  EXPECT_LT(std::fabs(figure(summ, "Mass balance error of surface components =")), 0.001) << summ;
  EXPECT_FALSE(has(summ, "WARNING:  Overall Mass balance ERROR")) << summ;

  // Four threads, and each run of a batch starting afresh, write the same
  // bytes.
  const auto batch = run(project + "NUM_THREADS       4\n", {"-b2"});
  ASSERT_EQ(batch.exit_code, 0) << batch.out;
  EXPECT_TRUE(has(batch.out, "Setting the thread level to 4.")) << batch.out;
  EXPECT_TRUE(read_file(dir / "0000_outlet.txt") == outlet) << "one and four threads";
  EXPECT_TRUE(read_file(dir / "0000_summ.txt") == summ) << "one and four threads";
  EXPECT_TRUE(read_file(dir / "0001_outlet.txt") == read_file(dir / "0000_outlet.txt"))
      << "second run of the batch";
  EXPECT_TRUE(read_file(dir / "0001_summ.txt") == read_file(dir / "0000_summ.txt"))
      << "second run of the batch";
}

INSTANTIATE_TEST_SUITE_P(Schemes, TiltedPlane, testing::Values(1, 2, 3), scheme_label);

// The closed box of box.prj: 147.5 m3 of hotstart water on flat ground with a
// raised dry outlet, no rain, 30 min in 0.5 s steps. Nothing enters or
// leaves: both summaries must show the water kept.
class ClosedBoxSummary : public SummaryRun, public testing::WithParamInterface<int> {};

TEST_P(ClosedBoxSummary, SummariesKeepTheHotstartWater) {
  copy_fixtures("overland_runs");
  const auto r = run(read_file(dir / "box.prj") + "OVERTYPE          " + scheme_name(GetParam()) + "\n");
  ASSERT_EQ(r.exit_code, 0) << r.out;
  const std::string summ = read_file(dir / "summary.txt");
  EXPECT_EQ(figure(summ, "initial volume of overland flow:"), 147.5) << summ;
  EXPECT_EQ(figure(summ, "volume remaining on surface:"), 147.5) << summ;
  EXPECT_EQ(figure(summ, "volume of discharge:"), 0.0) << summ;
  EXPECT_EQ(figure(summ, "mass cleanup error from overland:"), 0.0) << summ;
  EXPECT_LT(std::fabs(figure(summ, "mass conservation error:")), 1e-6) << summ;
  EXPECT_EQ(figure(summ, "Initial volume on surface="), 147.5) << summ;
  EXPECT_EQ(figure(summ, "Final volume on surface="), 147.5) << summ;
  // Without surface inputs the surface balance has nothing to measure by.
  EXPECT_TRUE(
      std::regex_search(summ, std::regex("Mass balance error of surface components = +0\\.000000 percent")))
      << summ;
  EXPECT_LT(std::fabs(figure(summ, "Overall mass balance error =")), 1e-6) << summ;
}

INSTANTIATE_TEST_SUITE_P(Schemes, ClosedBoxSummary, testing::Values(1, 2, 3), scheme_label);

// The 8-cell project of tests/data/run under a gauge event of zeros and no
// water at the start: nothing to balance, and nothing to warn about.
TEST_F(SummaryRun, ADryStormIsNotedWithoutWarnings) {
  copy_fixtures("run");
  fs::copy_file(kavro_test::data_dir() / "infiltration_runs" / "dry.dat", dir / "dry.dat");
  std::string project = read_file(dir / "p.prj");
  for (const char* card : {"RAIN_INTENSITY", "RAIN_DURATION"})
    project = kavro_test::without_card(project, card);
  // Output intervals given: their defaults would be warned about.
  project = with_card(with_card(project, "HYD_FREQ", "10"), "MAP_FREQ", "60");
  const auto r = run(with_card(project, "PRECIP_FILE", "dry.dat"));
  ASSERT_EQ(r.exit_code, 0) << r.out;
  const std::string summ = read_file(dir / "summary.txt");
  EXPECT_EQ(figure(summ, "volume of rainfall to overland:"), 0.0) << summ;
  EXPECT_TRUE(has_line(summ, "mass conservation error:                         -100.000000 percent")) << summ;
  EXPECT_TRUE(has_line(summ, "Note: positive mass conservation error indicates mass was created.")) << summ;
  EXPECT_TRUE(has_line(summ, "Note: no rainfall was input.")) << summ;
  // Neither the high-error block of the event nor the run's warning line.
  EXPECT_TRUE(has_line(summ, "No Warnings.")) << summ;
  EXPECT_FALSE(has(summ, "WARNING!")) << summ;
  EXPECT_FALSE(has(summ, "WARNING:")) << summ;
  EXPECT_FALSE(has(r.out, "WARNING")) << r.out;
  EXPECT_TRUE(std::regex_search(summ, std::regex("Overall mass balance error = +0\\.000000 percent")))
      << summ;
  EXPECT_FALSE(std::regex_search(summ, std::regex(R"(\b(nan|inf)\b)", std::regex::icase))) << summ;
}

// The embankment strip: three 10 m cells falling 0.1 m per cell to the
// outlet in row 3, an embankment between rows 1 and 2 with a low spot of
// full cell width on it, 36 mm/h for 60 min. Row 1 drains only over the
// low spot's crest.
struct embankment_case {
  const char* name;
  int overtype;
  double crest;                         // low-spot crest (m); row 1's ground is at 100.2 m
  std::vector<std::string> overtopped;  // the cells the end-of-run block lists
  double least_final;                   // least water left on the surface (m3)
};

void PrintTo(const embankment_case& c, std::ostream* os) { *os << c.name; }

class Embankment : public SummaryRun, public testing::WithParamInterface<embankment_case> {};

TEST_P(Embankment, ListsTheCellsTheLowSpotPassedWaterBetween) {
  const embankment_case& c = GetParam();
  copy_fixtures("embankment_runs");
  char spot[64];
  std::snprintf(spot, sizeof spot, "LOWSPOT\nSPOT 1 1 4 1.0 %.2f\n", c.crest);
  write_file(dir / "lowspot.txt", spot);
  const auto r = run(read_file(dir / "p.prj") + "OVERTYPE          " + scheme_name(c.overtype) + "\n");
  ASSERT_EQ(r.exit_code, 0) << r.out;
  const std::string summ = read_file(dir / "summary.txt");
  const auto lines = lines_of(summ);
  size_t at = 0;
  while (at < lines.size() && lines[at] != "You specifed overland dikes and lowspots ") ++at;
  ASSERT_LT(at + 4, lines.size()) << summ;
  EXPECT_EQ(lines[at + 3], "Check the 'maskmap' to see the location of these cells ");
  std::vector<std::string> listed;
  for (size_t k = at + 4; k < lines.size() && !lines[k].empty(); ++k) listed.push_back(lines[k]);
  EXPECT_EQ(listed, c.overtopped) << summ;
  EXPECT_NEAR(figure(summ, "Total amount of precip="), 10.8, 0.005) << summ;
  EXPECT_GE(figure(summ, "Final volume on surface="), c.least_final) << summ;
  EXPECT_LT(std::fabs(figure(summ, "Overall mass balance error =")), 0.001) << summ;
}

const std::vector<std::string> both_sides = {"Dike Overtopped in cell:  1 ", "Dike Overtopped in cell:  2 "};

// A crest 0.10 m up holds all of row 1's 36 mm (3.6 m3).
INSTANTIATE_TEST_SUITE_P(Crests, Embankment,
                         testing::Values(embankment_case{"explicit", 1, 100.21, both_sides, 0.0},
                                         embankment_case{"ade", 2, 100.21, both_sides, 0.0},
                                         embankment_case{"ade_pc", 3, 100.21, both_sides, 0.0},
                                         embankment_case{"crest_above_the_pond", 2, 100.30, {}, 3.6}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kavro
