// Whole runs of a small project through the kavro program: the run reaches
// the end of its simulated time, batch runs keep their outputs apart, and
// projects missing what a run needs stop before the time loop.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "framework/main_state.h"
#include "framework/run_driver.h"
#include "input/time_series.h"
#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::count_lines;
using kavro_test::read_file;
using kavro_test::run_program;
using kavro_test::write_file;

int occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class WholeRun : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"mask.asc", "elevation.asc", "p.prj"})
      std::filesystem::copy_file(kavro_test::data_dir() / "run" / name, dir / name);
    project = read_file(dir / "p.prj");
  }
  kavro_test::run_result run(const std::vector<std::string>& args) {
    write_file(dir / "p.prj", project);
    return run_program(kavro_test::kavro_binary(), args, dir.path());
  }
  kavro_test::scratch_dir dir;
  std::string project;
};

TEST_F(WholeRun, RunsToTheEndOfItsSimulatedTime) {
  const auto r = run({"p.prj"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_EQ(occurrences(r.out, "simulation duration 10 minutes\n"), 1) << r.out;
  EXPECT_NE(r.out.find("number of grid cells in watershed: 8"), std::string::npos);
  EXPECT_NE(r.out.find("Running....\n"), std::string::npos);
  EXPECT_NE(r.out.find("Run time:"), std::string::npos);
  EXPECT_EQ(read_file(dir / "maskmap"),
            "north:   1030.00\nsouth:   1000.00\neast:    540.00\nwest:    500.00\nrows:     3\ncols:     4\n"
            "0 1 2 0 \n3 4 5 6 \n0 7 8 0 \n");
  const std::string log = read_file(dir / "summary.txt");
  EXPECT_EQ(log.find("Run parameters read from PQM project file: p.prj"), log.find("Run parameters"));
  EXPECT_NE(log.find("Running.... \n"), std::string::npos);
}

TEST_F(WholeRun, AnAbsoluteEndTimeEndsTheEventEarly) {
  project += "END_TIME          2001 3 1 0 5\n";
  const auto r = run({"p.prj"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_NE(r.out.find("Event   1 is over due to absolute end time"), std::string::npos) << r.out;
}

TEST_F(WholeRun, UniformRainNeedsAStartDate) {
  project.erase(project.find("START_DATE"), project.find("OUTROW") - project.find("START_DATE"));
  const auto r = run({"p.prj"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("You did not specify the starting date and time in the\n"
                       "project file.  You must do this for simulations with\n"
                       "uniform precipitation using the START_DATE and START_TIME\n"
                       "cards.  Edit the project file.   Program terminated.\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("Running...."), std::string::npos);
}

TEST_F(WholeRun, BatchRunsPrefixEveryFileTheyWrite) {
  const auto r = run({"-b2", "p.prj"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
  for (const char* name : {"0000_maskmap", "0001_maskmap", "0000_summary.txt", "0001_summary.txt",
                           "0000_out_time.out", "0001_out_time.out"}) {
    EXPECT_TRUE(std::filesystem::exists(dir / name)) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "maskmap"));
  EXPECT_EQ(count_lines(dir / "0001_out_time.out"), 1);
}

TEST_F(WholeRun, OutputsGoToTheOutputFolder) {
  project += "OUTPUT_FOLDER     out\n";
  const auto r = run({"-b2", "p.prj"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_TRUE(std::filesystem::exists(dir / "out" / "0001_summary.txt"));
  EXPECT_TRUE(std::filesystem::exists(dir / "out" / "0001_maskmap"));
}

// RELATIVE series are moved onto the run's dates once its start is known:
// day 1 hour 12 of the series lies 1.5 days after the start.
TEST_F(WholeRun, RelativeSeriesCountFromTheRunStart) {
  write_file(dir / "ts.txt",
             "KAVRO_TS\nInflow\nRELATIVE\n0 0 0 0 0 1.0\n0 0 1 12 0 3.0\nEND_TS\n"
             "KAVRO_TS\nFixed\nABSOLUTE\n2001 3 1 0 0 5.0\n2001 3 2 0 0 6.0\nEND_TS\n");
  write_file(dir / "p.prj", project + "TIME_SERIES_FILE  ts.txt\n");
  run_plan plan = default_run_plan();
  std::vector<double> relative_times, absolute_times;
  double start = 0.0;
  // Look at the series just before the loop would begin.
  plan.loop_steps.insert(plan.loop_steps.begin(),
                         {"probe",
                          [&](main_state& ms, const run_call&) {
                            if (ms.loop_pass != 0) return;
                            start = ms.loop_start_time;
                            relative_times = find_time_series("Inflow")->times;
                            absolute_times = find_time_series("Fixed")->times;
                          },
                          true,
                          {}});
  const auto old_cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  testing::internal::CaptureStdout();
  run_simulation_with(plan, "p.prj", nullptr, "");
  testing::internal::GetCapturedStdout();
  std::filesystem::current_path(old_cwd);
  ASSERT_EQ(relative_times.size(), 2u);
  EXPECT_DOUBLE_EQ(relative_times[0], start);
  EXPECT_NEAR(relative_times[1] - start, 1.5, 1e-9);
  ASSERT_EQ(absolute_times.size(), 2u);
  EXPECT_DOUBLE_EQ(absolute_times[0], start) << "ABSOLUTE series keep their dates";
}

}  // namespace
}  // namespace kavro
