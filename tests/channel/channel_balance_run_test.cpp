// Whole runs whose summaries must close the channel water balance: a link
// fed 2 m3/s at its head for four hours (with timed inputs and outlet head
// boundaries), and rain on a 12 x 5 plane of 20 m cells that drains
// sideways into one link along column 5: 30 mm/h for 40 min (480 m3), two
// hours, with one result for any thread count and for every run of a batch.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "framework/event_volumes.h"
#include "framework/main_state.h"
#include "framework/run_driver.h"
#include "test_support.h"

namespace kavro_test {
namespace {

namespace fs = std::filesystem;

void copy_plane(const scratch_dir& dir, const std::string& extra) {
  for (const auto& e : fs::directory_iterator(data_dir() / "channel_runs" / "plane"))
    fs::copy_file(e.path(), dir / e.path().filename().string());
  write_file(dir / "p.prj", read_file(dir / "p.prj") + extra);
}

std::set<std::string> written_files(const scratch_dir& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir.path())) names.insert(e.path().filename().string());
  for (const auto& e : fs::directory_iterator(data_dir() / "channel_runs" / "plane"))
    names.erase(e.path().filename().string());
  return names;
}

struct summary_case {
  const char* label;
  const char* project_extra;
  const char* point_file;  // replaces the fixture's 2 m3/s file when given
  double point_sources, initial_channel, final_channel, discharge;  // < 0: not checked
};

TEST(ChannelSummaryRun, PointSourcesBoundaryVolumesAndDischargeCloseTheBalance) {
  const summary_case cases[] = {
      {"steady 2 m3/s", "", nullptr, 28800.00, 0.00, 4737.36, 24062.64},
      {"boundary series 0.3 m at 8:00, 0.7 m at 10:00", "HEAD_BOUND\nBOUND_TS outlet\nTIME_SERIES_FILE ts.txt\n",
       nullptr, 28800.00, 100.00, -1, -1},
      {"0.5 m3/s, 1.5 from 10:00, none from 11:00", "",
       "NUMPT 1\nPOINT 1 1 0.5\nNRPDS 2\nINPUT 2010 7 1 10 0\n1.5\nINPUT 2010 7 1 11 0\n0.0\n", 7200.00, 0.00,
       -1, -1},
      {"boundary depth 2 m", "HEAD_BOUND\nBOUND_DEPTH 2.0\n", nullptr, 28800.00, -1, -1, -1},
  };
  for (const summary_case& c : cases) {
    scratch_dir dir;
    for (const auto& e : fs::directory_iterator(data_dir() / "channel" / "uniform"))
      fs::copy_file(e.path(), dir / e.path().filename().string());
    write_file(dir / "p.prj", read_file(dir / "p.prj") + c.project_extra);
    write_file(dir / "ts.txt", "KAVRO_TS\noutlet\nABSOLUTE\n2010 7 1 8 0 0.3\n2010 7 1 10 0 0.7\nEND_TS\n");
    if (c.point_file) write_file(dir / "pt.txt", c.point_file);
    const run_result r = run_program(kavro_binary(), {"p.prj"}, dir.path());
    ASSERT_EQ(r.exit_code, 0) << c.label << "\n" << r.out << r.err;
    const std::string s = read_file(dir / "summary.txt");
    const double point = figure(s, "Total channel point sources=");
    const double initial = figure(s, "Initial volume in channels=");
    const double final_volume = figure(s, "Final volume in channels=");
    const double discharge = figure(s, "Total amount of discharge=");
    EXPECT_EQ(point, c.point_sources) << c.label << "\n" << s;
    if (c.initial_channel >= 0) {
      EXPECT_EQ(initial, c.initial_channel) << c.label;
    }
    if (c.final_channel >= 0) {
      EXPECT_EQ(final_volume, c.final_channel) << c.label;
    }
    if (c.discharge >= 0) {
      EXPECT_EQ(discharge, c.discharge) << c.label;
    }
    const auto cents = [](double v) { return std::llround(v * 100); };
    EXPECT_LE(std::llabs(cents(initial) + cents(point) - cents(final_volume) - cents(discharge)), 1) << c.label;
    EXPECT_LT(std::fabs(figure(s, "Overall mass balance error =")), 1e-6) << c.label << "\n" << s;
  }
}

TEST(PlaneAndChannelRun, RainReachesTheOutletThroughTheChannelAndEveryVolumeIsBooked) {
  scratch_dir one, four;
  copy_plane(one, "NUM_THREADS 1\n");
  copy_plane(four, "NUM_THREADS 4\n");
  const run_result r1 = run_program(kavro_binary(), {"p.prj"}, one.path());
  const run_result r4 = run_program(kavro_binary(), {"p.prj"}, four.path());
  ASSERT_EQ(r1.exit_code, 0) << r1.out << r1.err;
  ASSERT_EQ(r4.exit_code, 0) << r4.out << r4.err;

  const std::string s = read_file(one / "summary.txt");
  const double precip = figure(s, "Total amount of precip=");
  const double lateral = figure(s, "Total lateral inflow into channels=");
  const double surface = figure(s, "Final volume on surface=");
  const double channel = figure(s, "Final volume in channels=");
  const double discharge = figure(s, "Total amount of discharge=");
  const double cleanup = figure(s, "mass cleanup error from overland:");
  EXPECT_EQ(precip, 480.00) << s;
  EXPECT_GT(lateral, 400.0) << s;  // most of the rain reaches the channel
  // The summary prints hundredths: compare in whole hundredths, within one.
  const auto cents = [](double v) { return std::llround(v * 100); };
  EXPECT_LE(std::llabs(cents(lateral) + cents(surface) - cents(precip) - cents(cleanup)), 1) << s;
  EXPECT_LE(std::llabs(cents(discharge) + cents(channel) - cents(lateral)), 1) << s;
  EXPECT_LT(std::fabs(figure(s, "Overall mass balance error =")), 0.001) << s;

  // The outlet never carries more than the rain rate over the plane,
  // 0.03 / 3600 m/s x 24000 m2 = 0.2 m3/s, give or take 1 %.
  std::istringstream hydro(read_file(one / "outlet.txt"));
  double minutes = 0, q = 0, peak = 0;
  int rows = 0;
  while (hydro >> minutes >> q) {
    ++rows;
    peak = std::max(peak, q);
  }
  EXPECT_EQ(rows, 120);
  EXPECT_LE(peak, 0.202);
  EXPECT_GT(peak, 0.19);

  const std::set<std::string> files = written_files(one);
  EXPECT_EQ(files, written_files(four));
  EXPECT_TRUE(files.count("summary.txt") && files.count("outlet.txt"));
  for (const std::string& f : files)
    EXPECT_EQ(without_timing(read_file(one / f)), without_timing(read_file(four / f))) << f;
  EXPECT_TRUE(without_timing(r1.out) == without_timing(r4.out)) << "console output differs";
}

TEST(PlaneAndChannelRun, EveryRunOfABatchWritesTheSameFiles) {
  scratch_dir dir;
  copy_plane(dir, "NUM_THREADS 2\n");
  const run_result r = run_program(kavro_binary(), {"-b2", "p.prj"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  const batch_comparison b = compare_batch_runs(dir.path());
  EXPECT_EQ(b.differing, std::vector<std::string>{});
  EXPECT_GE(b.compared, 4);
}

// The end state of one run in this process, checking after every pass that
// the channel holds what entered it laterally less what left at the outlet.
struct end_state {
  std::vector<double> ov_depth, yp, qp, area;
  double worst_channel_balance = 0;
  int passes = 0;
};

template <class M>
std::vector<double> copy_of(const M& m) {
  return std::vector<double>(m.data(), m.data() + m.cell_count());
}

end_state run_plane_in_process(int threads) {
  scratch_dir dir;
  copy_plane(dir, "NUM_THREADS " + std::to_string(threads) + "\n");
  end_state e;
  kavro::run_plan plan = kavro::default_run_plan();
  plan.loop_steps.push_back({"look",
                             [&](kavro::main_state& ms, const kavro::run_call&) {
                               const double held = kavro::channel_water_volume(ms, false);
                               const double gap = ms.vol_lat_inflow_total - ms.vol_discharge_total - held;
                               e.worst_channel_balance = std::max(e.worst_channel_balance, std::fabs(gap));
                               ++e.passes;
                               e.ov_depth.assign(ms.ov_depth.data(), ms.ov_depth.data() + ms.ov_depth.size() + 1);
                               e.yp = copy_of(ms.yp);
                               e.qp = copy_of(ms.qp);
                               e.area = copy_of(ms.area);
                             },
                             true,
                             {}});
  const auto old_cwd = fs::current_path();
  const int old_threads = omp_get_max_threads();
  fs::current_path(dir.path());
  testing::internal::CaptureStdout();
  kavro::run_simulation_with(plan, "p.prj", nullptr, "");
  testing::internal::GetCapturedStdout();
  fs::current_path(old_cwd);
  omp_set_num_threads(old_threads);
  return e;
}

TEST(PlaneAndChannelRun, OneAndFourThreadsGiveBitwiseTheSameDepthsAndFlows) {
  const end_state a = run_plane_in_process(1);
  const end_state b = run_plane_in_process(4);
  EXPECT_GE(a.passes, 1440);
  EXPECT_EQ(a.passes, b.passes);
  EXPECT_LT(a.worst_channel_balance, 1e-9);
  EXPECT_LT(b.worst_channel_balance, 1e-9);
  ASSERT_EQ(a.ov_depth.size(), 61u);
  ASSERT_FALSE(a.area.empty());
  // Bit for bit: not a tolerance.
  EXPECT_EQ(a.ov_depth, b.ov_depth);
  EXPECT_EQ(a.yp, b.yp);
  EXPECT_EQ(a.qp, b.qp);
  EXPECT_EQ(a.area, b.area);
  EXPECT_GT(*std::max_element(a.area.begin(), a.area.end()), 0.0);
}

}  // namespace
}  // namespace kavro_test
