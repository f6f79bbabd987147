// Whole runs of nested projects (tests/data/nested_runs): an outer run
// writes the depths, heads and stream hydrographs at the edge of an inset,
// the inset run holds its edge at them; and the Q7 segment fluxes of a run
// with channels. Every thread count and every run of a batch writes the
// same files.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "framework/main_state.h"
#include "framework/run_driver.h"
#include "input/time_series.h"
#include "test_support.h"

namespace kavro {
namespace {

namespace fs = std::filesystem;
using kavro_test::figure;
using kavro_test::lines_of;
using kavro_test::read_file;
using kavro_test::run_result;
using kavro_test::write_file;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct row {
  double minutes = 0, q = 0;
};

// The rows of an outlet hydrograph: elapsed minutes and discharge.
std::vector<row> hydrograph(const fs::path& p) {
  std::vector<row> rows;
  for (const std::string& line : lines_of(read_file(p))) {
    row r;
    if (std::sscanf(line.c_str(), "%lf %lf", &r.minutes, &r.q) == 2) rows.push_back(r);
  }
  return rows;
}

class NestedRun : public testing::Test {
 protected:
  void SetUp() override {
    for (const auto& entry : fs::directory_iterator(kavro_test::data_dir() / "nested_runs"))
      fs::copy_file(entry.path(), dir / entry.path().filename().string());
  }

  // Runs the program on project `name` (with `extra` cards appended) in `where`.
  run_result run(const std::string& name, const std::string& extra = "", const std::vector<std::string>& options = {},
                 const fs::path& where = {}) {
    const fs::path folder = where.empty() ? dir.path() : where;
    write_file(folder / name, read_file(kavro_test::data_dir() / "nested_runs" / name) + extra);
    std::vector<std::string> args = options;
    args.push_back(name);
    return kavro_test::run_program(kavro_test::kavro_binary(), args, folder);
  }

  // One in-process run of project `name` with `extra` cards; `observe` runs
  // last in every pass of the time loop.
  std::string drive(const std::string& name, const std::string& extra, const std::function<void(main_state&)>& observe) {
    write_file(dir / "drive.prj", read_file(kavro_test::data_dir() / "nested_runs" / name) + extra);
    run_plan plan = default_run_plan();
    plan.loop_steps.push_back({"observe", [&](main_state& ms, const run_call&) { observe(ms); }, true, {}});
    const int threads = omp_get_max_threads();
    const auto old_cwd = fs::current_path();
    fs::current_path(dir.path());
    testing::internal::CaptureStdout();
    const run_outcome out = run_simulation_with(plan, "drive.prj", nullptr, "");
    const std::string console = testing::internal::GetCapturedStdout();
    fs::current_path(old_cwd);
    omp_set_num_threads(threads);
    EXPECT_FALSE(out.stopped_on_error) << console;
    return console;
  }

  void copy_inputs(const fs::path& to) {
    fs::create_directories(to);
    for (const auto& entry : fs::directory_iterator(kavro_test::data_dir() / "nested_runs"))
      fs::copy_file(entry.path(), to / entry.path().filename().string());
  }

  kavro_test::scratch_dir dir;
};

TEST_F(NestedRun, InsetOfThePlaneFollowsTheOuterRunWithinTheErrorOfItsBoundaryFile) {
  const run_result outer = run("outer.prj");
  ASSERT_EQ(outer.exit_code, 0) << outer.out << outer.err;
  const std::vector<std::string> xy = lines_of(read_file(dir / "xy.txt"));
  ASSERT_EQ(xy.size(), 154u);
  EXPECT_EQ(xy[0], "XY_OV_DEPTH");
  EXPECT_EQ(xy[1], "1");
  EXPECT_EQ(xy[2], "DATE       TIME \t         1");
  EXPECT_EQ(xy[3].substr(0, 17), "2010 07 01 09 01\t");
  EXPECT_EQ(xy[152].substr(0, 17), "2010 07 01 11 30\t");
  EXPECT_EQ(xy[153], "END_TS");
  // Six decimals: the 11 mm sheet at row 11 reaches the inset to the micrometre.
  const std::string row60 = xy[62];
  ASSERT_EQ(row60.size(), 17u + 14u) << row60;
  EXPECT_EQ(row60.substr(0, 17), "2010 07 01 10 00\t");
  EXPECT_EQ(row60[row60.size() - 7], '.');
  EXPECT_NEAR(std::stod(row60.substr(17)), 0.011, 0.0005);

  const std::vector<row> whole = hydrograph(dir / "outlet.txt");
  const run_result inner = run("inner.prj");
  ASSERT_EQ(inner.exit_code, 0) << inner.out << inner.err;
  const std::vector<row> inset = hydrograph(dir / "outlet.txt");
  ASSERT_EQ(whole.size(), 150u);
  ASSERT_EQ(inset.size(), 150u);
  double v_whole = 0, v_inset = 0, worst = 0;
  for (size_t k = 0; k < 150; ++k) {
    EXPECT_EQ(inset[k].minutes, whole[k].minutes);
    worst = std::max(worst, std::fabs(inset[k].q - whole[k].q));
    v_whole += whole[k].q;
    v_inset += inset[k].q;
    if (k + 1 >= 60 && k + 1 <= 120) {
      EXPECT_GE(inset[k].q, 0.0196) << "minute " << k + 1;
      EXPECT_LE(inset[k].q, 0.0200) << "minute " << k + 1;
    }
  }
  // The held cell takes the outer depth of the end of the outer step, which
  // the outer routed with the step's rain on it: about 1 % of the flow.
  EXPECT_LE(worst, 2.5e-4);
  EXPECT_NEAR(v_inset / v_whole, 1.0, 0.01);

  const std::string summary = read_file(dir / "summary.txt");
  EXPECT_NEAR(figure(summary, "Overall mass balance error ="), 0.0, 5e-7);
  EXPECT_NEAR(figure(summary, "Volume overland gained from specified head boundary:"), 77.8, 0.5);
}

TEST_F(NestedRun, ThreadCountsAndBatchRunsWriteTheSameBoundaryFilesAndInsetHydrographs) {
  std::vector<std::string> xy, outlets;
  for (int threads : {1, 4}) {
    const fs::path folder = dir / ("t" + std::to_string(threads));
    copy_inputs(folder);
    const std::string card = "NUM_THREADS " + std::to_string(threads) + "\n";
    ASSERT_EQ(run("outer.prj", card, {}, folder).exit_code, 0);
    ASSERT_EQ(run("inner.prj", card, {}, folder).exit_code, 0);
    xy.push_back(read_file(folder / "xy.txt"));
    outlets.push_back(read_file(folder / "outlet.txt"));
  }
  EXPECT_EQ(xy[0], xy[1]);
  EXPECT_EQ(outlets[0], outlets[1]);

  const fs::path batch = dir / "batch";
  copy_inputs(batch);
  ASSERT_EQ(run("outer.prj", "NUM_THREADS 2\n", {"-b2"}, batch).exit_code, 0);
  EXPECT_EQ(read_file(batch / "0000_xy.txt"), xy[0]);
  EXPECT_EQ(read_file(batch / "0001_xy.txt"), xy[0]);
  fs::copy_file(batch / "0000_xy.txt", batch / "xy.txt");
  ASSERT_EQ(run("inner.prj", "NUM_THREADS 2\n", {"-b2"}, batch).exit_code, 0);
  EXPECT_EQ(read_file(batch / "0000_outlet.txt"), outlets[0]);
  EXPECT_EQ(read_file(batch / "0001_outlet.txt"), outlets[0]);
}

TEST_F(NestedRun, BadBoundaryInputsStopTheInsetRun) {
  ASSERT_EQ(run("outer.prj").exit_code, 0);
  // Point 1 names cell 11 of a 10-cell inset.
  std::string text = read_file(dir / "xy.txt");
  text.replace(text.find("         1\n"), 11, "        11\n");
  write_file(dir / "xy11.txt", text);
  const run_result r = run("inner.prj", "XYBDYINPUT_OVDEP xy11.txt\n");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(has(r.out, "Error: point 1 of the overland xy boundary input file xy11.txt names cell 11; the grid has "
                         "cells 1 to 10.\n"))
      << r.out;

  // The inset may not write over the file it reads.
  const std::string before = read_file(dir / "xy.txt");
  const run_result clash = run("inner.prj", "XYBDYOUTPUT_PTS pts.txt\nXYBDYOUTPUT_OVDEP xy.txt\n");
  EXPECT_EQ(clash.exit_code, 1);
  EXPECT_TRUE(has(clash.out, "names the output file xy.txt, which card XYBDYINPUT_OVDEP")) << clash.out;
  EXPECT_EQ(read_file(dir / "xy.txt"), before);

  // A file of the wrong kind is reported and the run goes on without it.
  const run_result gw = run("inner.prj", "XYBDYINPUT_OVDEP pts.txt\n");
  EXPECT_TRUE(has(gw.out, "Error: file used for overland xy boundary input file is not of appropriate type. File "
                          "header does not match XY_OV_DEPTH.\n"))
      << gw.out;
}

// ---------------------------------------------------------------------------
// Streams.

TEST_F(NestedRun, OuterChannelWritesItsDischargeWhereTheStreamEntersTheInset) {
  std::vector<double> q61;  // qp[6][1] at every hydrograph row
  const std::string console = drive("stream_outer.prj", "", [&](main_state& ms) {
    if (ms.step_no > 0 && ms.step_no % ms.hyd_interval_steps == 0) q61.push_back(ms.qp[6][1]);
  });
  EXPECT_TRUE(has(console, "KAVRO identified 1 stream link/nodes as crossing the inset mask boundary.\n1,6\t\n"))
      << console;
  const std::vector<std::string> st = lines_of(read_file(dir / "st.txt"));
  ASSERT_EQ(st.size(), 4u + q61.size() + 1);
  EXPECT_EQ(st[0], "XY_STREAM_HYDROGRAPHS");
  EXPECT_EQ(st[1], "1");
  EXPECT_EQ(st[2], "X                 \t         90.000");
  EXPECT_EQ(st[3], "Y                 \t        120.000");
  EXPECT_EQ(st.back(), "END_TS");
  double peak = 0;
  for (size_t k = 0; k < q61.size(); ++k) {
    char expected[64];
    std::snprintf(expected, sizeof expected, "   %12.4lf", q61[k]);
    EXPECT_EQ(st[4 + k].substr(17), expected) << "row " << k + 1;
    peak = std::max(peak, q61[k]);
  }
  EXPECT_GT(peak, 0.01);  // the reach carries the upper half's runoff

  // Without an output file the crossings are listed and the file refused.
  const run_result r = run("stream_outer.prj", "XYBDYOUTPUT_STFLOW\n");
  EXPECT_TRUE(has(r.out, "crossing the inset mask boundary.\n1,6\t\nError: unable to open the stream boundary XY "
                         "hydrograph ouput file\n"))
      << r.out;
}

TEST_F(NestedRun, InsetChannelTakesTheOuterDischargeAndItsBalanceCloses) {
  ASSERT_EQ(run("stream_outer.prj").exit_code, 0);
  const time_series* series = nullptr;
  double worst = 0;
  int checked = 0;
  const std::string console = drive("stream_inner.prj", "", [&](main_state& ms) {
    if (!series) series = find_time_series("XY_STREAM_HYDROGRAPHS_0000");
    if (ms.last_chan_time != ms.now || !series) return;
    const double q = ms.xy_stream_q[1 * ms.max_nodes_per_link + 1];
    worst = std::max(worst, std::fabs(q - time_series_value(ms.now, series)));
    ++checked;
  });
  EXPECT_TRUE(has(console, "Matching up stream input to current link/node network \n")) << console;
  EXPECT_TRUE(has(console, "For input 0 the closest link/node pair is 20.000000 m from link 1 node 1 \n")) << console;
  EXPECT_GT(checked, 100);
  EXPECT_EQ(worst, 0.0);
  const std::string summary = read_file(dir / "summary.txt");
  EXPECT_LT(std::fabs(figure(summary, "Overall mass balance error =")), 0.001) << summary;
  // What came in through the stream is booked with the channel point sources.
  EXPECT_GT(figure(summary, "Total channel point sources="), 10.0) << summary;
  EXPECT_GT(figure(summary, "volume of stream point sources:"), 10.0) << summary;
  EXPECT_FALSE(has(console, "Mass conservation error is high")) << console;
}

// ---------------------------------------------------------------------------
// Segment fluxes.

const std::string q7_cards =
    "Q7_FLUXES\nQ7_SEGMENT_MAP segments.asc\nQ7_NODES_TO_SEGS segs.txt\nQ7_SEGMENT_FLUXES q7.txt\n";

TEST_F(NestedRun, SegmentFluxesAreTheMeanFlowsOfEachInterval) {
  double sum = 0;
  int n = 0;
  std::vector<double> means;
  drive("stream_outer.prj", q7_cards, [&](main_state& ms) {
    sum += std::fabs(ms.qp[6][1]);
    ++n;
    if (ms.step_no > 0 && ms.step_no % ms.hyd_interval_steps == 0) {
      means.push_back(sum / n);
      sum = 0, n = 0;
    }
  });
  const std::vector<std::string> rows = lines_of(read_file(dir / "q7.txt"));
  ASSERT_EQ(rows.size(), means.size() + 1);
  EXPECT_EQ(rows[0], "   jday   1         2         ");
  EXPECT_EQ(rows[1].substr(0, 8), "1.000   ");
  for (size_t k = 0; k < means.size(); ++k) {
    double t = 0, s1 = -1, s2 = -1;
    ASSERT_EQ(std::sscanf(rows[k + 1].c_str(), "%lf %lf %lf", &t, &s1, &s2), 3) << rows[k + 1];
    EXPECT_NEAR(t, 1.0 + (k / 1440.0), 6e-4);
    EXPECT_EQ(s1, 0.0);  // no face of segment 1 borders land outside every segment
    EXPECT_NEAR(s2, means[k], 0.005 + 1e-9) << "interval " << k + 1;
  }
}

TEST_F(NestedRun, SegmentTablesThatNameWhatTheRunDoesNotHaveStopIt) {
  struct refusal {
    const char* table;
    const char* message;
  };
  const refusal cases[] = {
      {"1\n1 6 0\n", "Error: In the Q7 internal stream flux to segment file, some link/node pairs \nrefer to a segment "
                     "of 0 or a segment that is not in the segment map file.\n"},
      {"1\n3 6 2\n", "Error: row 1 of the Q7 link/node-to-segment file segs.txt names link 3 node 6, which the channel "
                     "network does not have.\n"},
      {"1\n1 13 2\n", "names link 1 node 13"},
      {"2\n1 6 2\n", "announces 2 rows but holds 1"},
  };
  for (const refusal& c : cases) {
    write_file(dir / "segs.txt", c.table);
    const run_result r = run("stream_outer.prj", q7_cards);
    EXPECT_EQ(r.exit_code, 1) << c.table;
    EXPECT_TRUE(has(r.out, c.message)) << r.out;
  }
  // A map without segments and no table: two warnings, the run goes on.
  const run_result r = run("stream_outer.prj", "Q7_FLUXES\nQ7_SEGMENT_MAP no_segments.asc\nQ7_SEGMENT_FLUXES q7.txt\n");
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_TRUE(has(r.out, "Warning: There are no segments in the Q7 segment map.\n")) << r.out;
  EXPECT_TRUE(has(r.out, "Warning: The KAVRO to Q7 internal segment flux option is turned on\nBut there are no "
                         "segments in the Q7 segment map or in the link-node to segment file.\n"))
      << r.out;
}

TEST_F(NestedRun, StreamAndSegmentFilesAreTheSameForAnyThreadCountAndBatchRun) {
  std::vector<std::string> st, q7;
  for (int threads : {1, 4}) {
    const fs::path folder = dir / ("t" + std::to_string(threads));
    copy_inputs(folder);
    ASSERT_EQ(run("stream_outer.prj", q7_cards + "NUM_THREADS " + std::to_string(threads) + "\n", {}, folder).exit_code,
              0);
    st.push_back(read_file(folder / "st.txt"));
    q7.push_back(read_file(folder / "q7.txt"));
  }
  EXPECT_EQ(st[0], st[1]);
  EXPECT_EQ(q7[0], q7[1]);
  const fs::path batch = dir / "batch";
  copy_inputs(batch);
  ASSERT_EQ(run("stream_outer.prj", q7_cards + "NUM_THREADS 3\n", {"-b2"}, batch).exit_code, 0);
  for (const char* run_no : {"0000_", "0001_"}) {
    EXPECT_EQ(read_file(batch / (std::string(run_no) + "st.txt")), st[0]) << run_no;
    EXPECT_EQ(read_file(batch / (std::string(run_no) + "q7.txt")), q7[0]) << run_no;
  }
  fs::copy_file(batch / "0001_st.txt", batch / "st.txt");
  ASSERT_EQ(run("stream_inner.prj", "NUM_THREADS 3\n", {"-b2"}, batch).exit_code, 0);
  EXPECT_EQ(read_file(batch / "0000_outlet.txt"), read_file(batch / "0001_outlet.txt"));
}

}  // namespace
}  // namespace kavro
