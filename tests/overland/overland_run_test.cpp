// Whole runs of the overland solvers on the projects of
// tests/data/overland_runs: the kavro program as a user runs it (progress
// lines, step-control messages, batch runs, refusals), and the run driver
// with a last step that reads the record after every pass (water balance,
// final depths).
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/run_driver.h"
#include "plane_support.h"
#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::is_progress_line;
using kavro_test::lines_of;
using kavro_test::parse_progress;
using kavro_test::progress;
using kavro_test::progress_lines;
using kavro_test::read_file;
using kavro_test::surface_volume;
using kavro_test::write_file;

const char* scheme_name(int overtype) { return overtype == 1 ? "explicit" : overtype == 2 ? "ade" : "ade-pc"; }

std::string overtype_card(int overtype) { return std::string("OVERTYPE          ") + scheme_name(overtype) + "\n"; }

bool has(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

// A scratch folder holding the fixture projects; runs the program there or
// drives a run in-process with a step of the test appended to the loop.
class OverlandRun : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& entry : std::filesystem::directory_iterator(kavro_test::data_dir() / "overland_runs"))
      std::filesystem::copy_file(entry.path(), dir / entry.path().filename().string());
  }

  std::string fixture(const std::string& name) const { return read_file(dir / name); }

  kavro_test::run_result run(const std::string& project, const std::vector<std::string>& options = {},
                             const std::vector<std::string>& env = {}) {
    write_file(dir / "p.prj", project);
    std::vector<std::string> args = options;
    args.push_back("p.prj");
    return kavro_test::run_program(kavro_test::kavro_binary(), args, dir.path(), "", env);
  }

  // One in-process run of `project`; `observe` runs last in every pass. The
  // thread count a NUM_THREADS card sets is put back afterwards.
  run_outcome drive(const std::string& project, const std::function<void(main_state&)>& observe) {
    write_file(dir / "p.prj", project);
    run_plan plan = default_run_plan();
    plan.loop_steps.push_back({"observe", [&](main_state& ms, const run_call&) { observe(ms); }, true, {}});
    const int threads = omp_get_max_threads();
    const auto old_cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    testing::internal::CaptureStdout();
    const run_outcome out = run_simulation_with(plan, "p.prj", nullptr, "");
    console = testing::internal::GetCapturedStdout();
    std::filesystem::current_path(old_cwd);
    omp_set_num_threads(threads);
    return out;
  }

  kavro_test::scratch_dir dir;
  std::string console;  // of the last in-process run
};

// The kinematic plane: 20 x 1 cells of 10 m at slope 0.01, n 0.05, 36 mm/h
// for 120 min, 150 min in 10 s steps. Equilibrium i*A = 1e-5 m/s x 2,000 m2
// = 0.02 m3/s, reached after (n L / (i^(2/3) S^(1/2)))^(3/5) = 1,585 s.
class KinematicPlane : public OverlandRun, public ::testing::WithParamInterface<int> {};

TEST_P(KinematicPlane, ProgressLinesReachTheEquilibriumAndRecede) {
  const int overtype = GetParam();
  const auto r = run(fixture("plane.prj") + overtype_card(overtype));
  ASSERT_EQ(r.exit_code, 0) << r.out;
  std::vector<progress> p;
  for (const auto& line : progress_lines(r.out)) p.push_back(parse_progress(line));
  ASSERT_EQ(p.size(), 901u) << "one line per 10 s step and the start";
  for (size_t k = 0; k < p.size(); ++k) ASSERT_NEAR(p[k].minutes, k / 6.0, 0.005) << k;
  // ADE-PC drains the outlet half in each pass and alternates its order: its
  // single values swing around the mean of two neighbouring lines.
  auto mean = [&](size_t k) { return 0.5 * (p[k].qout + p[k - 1].qout); };
  auto at_min = [](int minutes) { return static_cast<size_t>(minutes) * 6; };
  for (size_t k = at_min(80); k <= at_min(119); ++k) {
    EXPECT_NEAR(mean(k), 0.02, 0.02 * 1e-3) << "line " << k;
    if (overtype != 3) {
      EXPECT_NEAR(p[k].qout, 0.02, 0.02 * 1e-3) << "line " << k;
    }
  }
  for (size_t k = 2; k <= at_min(119); ++k) {
    EXPECT_GE(mean(k), mean(k - 1)) << "line " << k;
    EXPECT_LE(mean(k), 0.02002) << "line " << k;
  }
  // Rising limb against the kinematic solution (0.0040 and 0.0126 m3/s).
  EXPECT_GT(mean(at_min(10)), 0.0035);
  EXPECT_LT(mean(at_min(10)), 0.0046);
  EXPECT_GT(mean(at_min(20)), 0.0115);
  EXPECT_LT(mean(at_min(20)), 0.0140);
  size_t first = 0;
  for (size_t k = 1; k < p.size() && !first; ++k)
    if (mean(k) >= 0.0198) first = k;
  EXPECT_GE(first, at_min(26));
  EXPECT_LE(first, at_min(40));
  EXPECT_GT(mean(at_min(150)), 0.0022);
  EXPECT_LT(mean(at_min(150)), 0.0036);
}

TEST_P(KinematicPlane, RainEqualsOutflowPlusStorageAfterEveryPass) {
  int passes = 0;
  double largest_gap = 0.0;
  const auto out = drive(fixture("plane.prj") + overtype_card(GetParam()), [&](main_state& ms) {
    ++passes;
    const double in = ms.vol_precip_total + ms.ov_cleanup_error_total;
    const double gap = std::fabs(in - ms.vol_discharge_total - surface_volume(ms));
    largest_gap = std::max(largest_gap, gap);
    ASSERT_LE(gap, 1e-9 * std::max(ms.vol_precip_total, 1e-12)) << "pass " << ms.loop_pass;
  });
  ASSERT_EQ(out.result, 0) << console;
  ASSERT_FALSE(out.stopped_on_error) << console;
  EXPECT_EQ(passes, 901);
  EXPECT_TRUE(has(console, "elapsed time   150.00")) << console;
}

INSTANTIATE_TEST_SUITE_P(Schemes, KinematicPlane, ::testing::Values(1, 2, 3),
                         [](const auto& info) { return std::string(info.param == 3 ? "ade_pc" : scheme_name(info.param)); });

// A tilted plane of 60 x 40 cells of 10 m, falling 0.1 m per row southwards
// and 0.05 m per column eastwards, outlet at the south-east corner; 36 mm/h
// for 60 min, 100 min in 2 s steps; the maps are written into the scratch folder.
class ThreadCount : public OverlandRun, public ::testing::WithParamInterface<int> {
 protected:
  std::string project(int threads, int minutes = 100) const {
    return kavro_test::tilted_plane_project(dir.path(), minutes) + overtype_card(GetParam()) +
           "NUM_THREADS       " + std::to_string(threads) + "\n";
  }
};

// Threads that sleep at a barrier instead of spinning: on a machine shared by
// other builds and tests, spinning threads wait for descheduled ones at every
// parallel loop and a run of seconds takes minutes. The results do not depend
// on it.
const std::vector<std::string> passive_threads = {"OMP_WAIT_POLICY=passive"};

TEST_P(ThreadCount, OneAndFourThreadsPrintTheSameProgressLines) {
  const auto one = run(project(1), {}, passive_threads);
  const auto four = run(project(4), {}, passive_threads);
  ASSERT_EQ(one.exit_code, 0) << one.out;
  ASSERT_EQ(four.exit_code, 0) << four.out;
  EXPECT_TRUE(has(four.out, "Setting the thread level to 4.")) << four.out;
  const auto lines = progress_lines(one.out);
  ASSERT_EQ(lines.size(), 3001u);
  EXPECT_GT(parse_progress(lines[1800]).qout, 0.1) << lines[1800];
  EXPECT_EQ(lines, progress_lines(four.out));
}

// In-process the wait policy of the test binary holds, so the run is cut to
// the first 20 minutes (600 passes), when water stands on every cell.
TEST_P(ThreadCount, OneAndFourThreadsLeaveBitwiseEqualDepths) {
  std::vector<std::vector<double>> final_depth(2);
  for (int k = 0; k < 2; ++k) {
    const auto out = drive(project(k == 0 ? 1 : 4, 20), [&](main_state& ms) {
      final_depth[k].assign(ms.ov_depth.begin(), ms.ov_depth.end());
    });
    ASSERT_EQ(out.result, 0) << console;
  }
  ASSERT_EQ(final_depth[0].size(), final_depth[1].size());
  EXPECT_GT(*std::min_element(final_depth[0].begin() + 1, final_depth[0].end()), 0.0);
  EXPECT_TRUE(final_depth[0] == final_depth[1]);
}

INSTANTIATE_TEST_SUITE_P(Schemes, ThreadCount, ::testing::Values(1, 2, 3),
                         [](const auto& info) { return std::string(info.param == 3 ? "ade_pc" : scheme_name(info.param)); });

// The closed box of box.prj: 10 x 10 cells of 5 m on flat ground, the outlet
// cell raised 1 m and dry, an overland hotstart of 0.10 m in columns 1-5 and
// 0.02 m in columns 6-10 (147.5 m3), no rain, 30 min in 0.5 s steps.
double columns_6_to_10(const main_state& ms) {
  double v = 0.0;
  for (int r = 1; r <= 10; ++r)
    for (int c = 6; c <= 10; ++c) v += ms.ov_depth[ms.mask[r][c]] * ms.dx * ms.dx;
  return v;
}

// Highest minus lowest water surface of the cells other than the outlet.
double surface_spread(const main_state& ms) {
  double lo = 1e30, hi = -1e30;
  for (long i = 1; i <= ms.n_cells; ++i) {
    if (i == ms.outlet_cell) continue;
    lo = std::min(lo, ms.elevation[i] + ms.ov_depth[i]);
    hi = std::max(hi, ms.elevation[i] + ms.ov_depth[i]);
  }
  return hi - lo;
}

class ClosedBox : public OverlandRun, public ::testing::WithParamInterface<int> {};

TEST_P(ClosedBox, KeepsItsHotstartWaterAndLevelsOut) {
  double start_east = -1.0, start_spread = -1.0, end_east = -1.0, end_spread = -1.0;
  int passes = 0;
  const auto out = drive(fixture("box.prj") + overtype_card(GetParam()), [&](main_state& ms) {
    if (++passes == 1) {
      // The first pass does not move the clock: the water as the hotstart
      // map left it.
      ASSERT_NEAR(surface_volume(ms), 147.5, 1e-9);
      start_east = columns_6_to_10(ms);
      start_spread = surface_spread(ms);
    }
    ASSERT_NEAR(surface_volume(ms) - ms.ov_cleanup_error_total, 147.5, 147.5 * 1e-12) << "pass " << ms.loop_pass;
    ASSERT_EQ(ms.qout, 0.0) << "pass " << ms.loop_pass;
    ASSERT_EQ(ms.ov_depth[ms.outlet_cell], 0.0) << "pass " << ms.loop_pass;
    end_east = columns_6_to_10(ms);
    end_spread = surface_spread(ms);
  });
  ASSERT_EQ(out.result, 0) << console;
  EXPECT_TRUE(has(console, "reading overland hotstart map from file: box_depth.asc")) << console;
  EXPECT_EQ(passes, 3601);
  EXPECT_NEAR(start_east, 25.0, 1e-9);
  EXPECT_NEAR(start_spread, 0.08, 1e-9);
  EXPECT_GT(end_east, 72.0);
  EXPECT_LT(end_east, 77.0);
  EXPECT_LT(end_spread, 0.01);
}

INSTANTIATE_TEST_SUITE_P(Schemes, ClosedBox, ::testing::Values(1, 2, 3),
                         [](const auto& info) { return std::string(info.param == 3 ? "ade_pc" : scheme_name(info.param)); });

// A thin film on a steep plane, routed on long steps: 10 x 1 cells of 10 m
// at slope 0.2, n 0.02, 2 mm/h for 60 min, 180 min in 300 s steps. On such
// a step a film of some 1e-5 m leaves a cell faster than it holds it: the
// ADE sets what lies a hair below dry to 0 and books it. The books hold the
// water it made: rain + cleanup = discharge + storage after every pass,
// the event summary shows the cleanup, and the run's balance error is that
// water, no more.
TEST_F(OverlandRun, AdeClipsAThinFilmOnLongStepsAndBooksTheWaterItMakes) {
  kavro_test::write_grid(dir / "thin_mask.asc", 10, 1, 10.0, [](int, int) { return 1.0; }, "%.0f");
  kavro_test::write_grid(dir / "thin_elevation.asc", 10, 1, 10.0, [](int r, int) { return 100.0 + 2.0 * (10 - r); });
  std::string project = fixture("plane.prj");
  for (const auto& [card, value] : std::vector<std::pair<std::string, std::string>>{
           {"WATERSHED_MASK", "thin_mask.asc"}, {"ELEVATION", "thin_elevation.asc"}, {"ROWS", "10"},
           {"TOT_TIME", "180"}, {"TIMESTEP", "300"}, {"OUTROW", "10"}, {"OUTSLOPE", "0.2"},
           {"MANNING_N", "0.02"}, {"RAIN_INTENSITY", "2"}, {"RAIN_DURATION", "60"}})
    project = kavro_test::with_card(project, card, value);
  double cleanup = 0.0;
  const auto out = drive(project + overtype_card(2), [&](main_state& ms) {
    const double in = ms.vol_precip_total + ms.ov_cleanup_error_total;
    ASSERT_NEAR(in, ms.vol_discharge_total + surface_volume(ms), 1e-9 * std::max(in, 1e-12))
        << "pass " << ms.loop_pass;
    for (long i = 1; i <= ms.n_cells; ++i) ASSERT_GE(ms.ov_depth[i], 0.0) << "cell " << i;
    cleanup = ms.ov_cleanup_error_total;
  });
  ASSERT_EQ(out.result, 0) << console;
  EXPECT_GT(cleanup, 1e-4);
  EXPECT_LT(cleanup, 1e-3 * 2.0) << "a hair per clipped cell, not water by the bucket";
  const std::string summary = read_file(dir / "summary.txt");
  EXPECT_NEAR(kavro_test::figure(summary, "mass cleanup error from overland:"), cleanup, 5e-7) << summary;
  EXPECT_NEAR(kavro_test::figure(summary, "Total amount of precip="), 2.0, 0.005) << summary;
  // 2 m3 of rain: the error (percent, six decimals) is the water clipping made.
  EXPECT_NEAR(kavro_test::figure(summary, "Overall mass balance error ="), -cleanup / 2.0 * 100.0, 2e-6) << summary;
}

// The closed box on 60 s steps with the ADE: the first passes would move the
// deep half's water across the shallow half in one sub-step. The change limit
// (no cell changes by more than half its depth in a pass) shortens the
// sub-step before any depth goes far below dry, so the scheme settles on
// sub-steps of tenths of a second instead of halving them toward its
// smallest step.
TEST_F(OverlandRun, AdeChangeLimitShortensTheSubStepOnLongSteps) {
  double shortest = 1e30, longest = 0.0;
  int passes = 0;
  const auto out = drive(fixture("box.prj") + overtype_card(2) + "TIMESTEP          60\n", [&](main_state& ms) {
    ++passes;
    for (long i = 1; i <= ms.n_cells; ++i) ASSERT_GE(ms.ov_depth[i], 0.0) << "cell " << i;
    ASSERT_NEAR(surface_volume(ms) - ms.ov_cleanup_error_total, 147.5, 147.5 * 1e-12) << "pass " << ms.loop_pass;
    if (ms.n_ov_routings == 0) return;
    shortest = std::min(shortest, ms.ade_prev_substep);
    longest = std::max(longest, ms.ade_prev_substep);
  });
  ASSERT_EQ(out.result, 0) << console;
  EXPECT_EQ(passes, 31);
  EXPECT_FALSE(has(console, "really small")) << console;
  // Some 0.1 to 0.3 s; failing passes alone, halving the step and the
  // change factor, drive it to a few milliseconds and the run forty times
  // longer.
  EXPECT_LT(longest, 60.0 * 0.6);
  EXPECT_GT(shortest, 0.05);
}

// The box at 60 s steps with the explicit scheme: its console from the first
// line of the time loop to the end of the run, one entry per run.
std::vector<std::vector<std::string>> loop_consoles(const std::string& out) {
  std::vector<std::vector<std::string>> runs;
  bool in_loop = false;
  for (const auto& line : lines_of(out)) {
    if (line.starts_with("Running....")) {
      runs.emplace_back();
      in_loop = true;
    } else if (has(line, ": Run time:")) {
      in_loop = false;
    } else if (in_loop) {
      runs.back().push_back(line);
    }
  }
  return runs;
}

TEST_F(OverlandRun, ExplicitStepControlDividesByThreeAndResetsOnTheFifthCall) {
  const std::string project = fixture("box.prj") + overtype_card(1) + "TIMESTEP          60\n";
  const auto r = run(project);
  ASSERT_EQ(r.exit_code, 0) << r.out;
  const auto runs = loop_consoles(r.out);
  ASSERT_EQ(runs.size(), 1u) << r.out;
  // Messages printed before progress line k belong to routing call k.
  std::vector<std::vector<std::string>> calls(1);
  for (const auto& line : runs[0]) {
    if (is_progress_line(line)) calls.emplace_back();
    else if (has(line, "Changing overland time step") || has(line, "Resetting time step")) calls.back().push_back(line);
  }
  ASSERT_GE(calls.size(), 10u);
  ASSERT_GE(calls[1].size(), 2u) << "the first call reduces the step";
  EXPECT_EQ(calls[1][0], " *Changing overland time step to 20.00 seconds...");
  EXPECT_EQ(calls[1][1], " *Changing overland time step to 6.67 seconds...");
  int reset = -1, last_reduction = -1;
  for (int k = 1; k < static_cast<int>(calls.size()) && reset < 0; ++k) {
    for (const auto& m : calls[k]) {
      if (m == "Resetting time step to 60.00 for overland flow...") reset = k;
      else if (reset < 0) last_reduction = k;
    }
  }
  ASSERT_GT(reset, 0) << r.out;
  EXPECT_EQ(reset - last_reduction, 5);

  // QUIET silences both kinds of message, not the run.
  const auto quiet = run(project + "QUIET\n");
  ASSERT_EQ(quiet.exit_code, 0) << quiet.out;
  EXPECT_FALSE(has(quiet.out, "Changing overland time step")) << quiet.out;
  EXPECT_FALSE(has(quiet.out, "Resetting time step")) << quiet.out;

  // Each run of a batch starts from fresh solver state: run 1 prints what
  // run 0 printed, line for line.
  const auto batch = run(project, {"-b2"});
  ASSERT_EQ(batch.exit_code, 0) << batch.out;
  const auto batch_runs = loop_consoles(batch.out);
  ASSERT_EQ(batch_runs.size(), 2u) << batch.out;
  EXPECT_EQ(batch_runs[0], runs[0]);
  EXPECT_EQ(batch_runs[1], batch_runs[0]);
}

// A type-3 boundary cell reads its stage from the series its index binds in
// the mapping table; an index that binds none stops the run before the loop.
TEST_F(OverlandRun, AStageBoundaryNeedsASeriesBoundToItsIndex) {
  const std::string cards = "OV_BOUNDARY\nMAPPING_TABLE     boundary.cmt\nTIME_SERIES_FILE  stage.ts\n";
  const std::string project = fixture("plane.prj") + cards;
  const auto refused = run(project);
  EXPECT_EQ(refused.exit_code, 1) << refused.out;
  EXPECT_TRUE(has(refused.out, "Error: overland boundary cell 1 (type 3) names time series index 7, which binds no "
                               "time series.\n"))
      << refused.out;
  EXPECT_FALSE(has(refused.out, "overland boundary cell 5")) << "cell 5's index binds the series Stage";
  EXPECT_TRUE(progress_lines(refused.out).empty()) << refused.out;

  // The same project with both cells bound runs, the held stage feeding the plane.
  std::string table = fixture("boundary.cmt");
  const size_t at = table.find(" 3 7\n");
  ASSERT_NE(at, std::string::npos);
  write_file(dir / "boundary.cmt", table.replace(at, 5, " 3 1\n"));
  const auto bound = run(project);
  ASSERT_EQ(bound.exit_code, 0) << bound.out;
  const std::string summary = read_file(dir / "summary.txt");
  double gained = 0.0;
  const size_t g = summary.find("Volume overland gained from specified head boundary:");
  ASSERT_NE(g, std::string::npos) << summary;
  std::sscanf(summary.c_str() + g + 52, "%lf", &gained);
  EXPECT_GT(gained, 1000.0) << summary;
}

}  // namespace
}  // namespace kavro
