// Whole runs with pipe networks. The pit: rain of 90 mm/h on a 20 m pit
// cell (0.01 m3/s) drains through a grate into a 200 m pipe (D 0.3 m, slope
// 0.01) that returns it onto the outlet cell; the grate keeps the pit at
// (0.01 / k_w)^(2/3) and the pipe runs at Manning's normal depth, below the
// critical depth, so its free outfall keeps it there. The tank: 0.5 m of
// water in a 30 m pit empties through a drain grate, as orifice flow (sqrt h
// falls linearly) and then as weir flow (1 / sqrt h rises linearly).
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "framework/main_state.h"
#include "framework/run_driver.h"
#include "test_support.h"

namespace kavro_test {
namespace {

namespace fs = std::filesystem;

void copy_fixture(const scratch_dir& dir, const std::string& name, const std::string& extra) {
  for (const auto& e : fs::directory_iterator(data_dir() / "pipe_runs" / name))
    fs::copy_file(e.path(), dir / e.path().filename().string());
  write_file(dir / "p.prj", read_file(dir / "p.prj") + extra);
}

// The text without the lines that carry wall-clock seconds or the thread count.
std::string without_timing(const std::string& text) {
  std::istringstream in(text);
  std::string line, kept;
  while (std::getline(in, line))
    if (line.find("(s)") == std::string::npos && line.find("Run time:") == std::string::npos &&
        line.find("thread") == std::string::npos)
      kept += line + "\n";
  return kept;
}

std::vector<double> numbers_of(const std::string& line) {
  std::istringstream in(line);
  std::vector<double> v;
  double x = 0;
  while (in >> x) v.push_back(x);
  return v;
}

constexpr double pit_depth = 0.0224157;  // (0.01 / 2.979694)^(2/3)
constexpr double normal_depth = 0.065152;

TEST(SewerRun, ThePitAndItsPipeReachTheirClosedFormsAndBookEveryVolume) {
  scratch_dir one, four;
  copy_fixture(one, "sewer", "NUM_THREADS 1\n");
  copy_fixture(four, "sewer", "NUM_THREADS 4\n");
  const run_result r1 = run_program(kavro_binary(), {"p.prj"}, one.path());
  const run_result r4 = run_program(kavro_binary(), {"p.prj"}, four.path());
  ASSERT_EQ(r1.exit_code, 0) << r1.out << r1.err;
  ASSERT_EQ(r4.exit_code, 0) << r4.out << r4.err;
  const std::string flows = read_file(one / "superlink_flows.out");
  const std::vector<std::string> rows = lines_of(flows);
  ASSERT_GE(rows.size(), 1801u);
  EXPECT_EQ(rows[0], "Call# VtoSL VtoKAVRO   QtoSL    QtoKAVRO ");
  // Call c ends at (c + 1) x 10 s: 180 to 240 minutes.
  for (int c = 1079; c <= 1438; ++c) {
    const std::vector<double> v = numbers_of(rows[static_cast<size_t>(c) + 1]);
    ASSERT_EQ(v.size(), 5u) << rows[static_cast<size_t>(c) + 1];
    EXPECT_EQ(v[0], c);
    EXPECT_NEAR(v[1], 0.1, 1e-7) << c;
    EXPECT_NEAR(v[2], 0.1, 1e-7) << c;
    EXPECT_NEAR(v[3], 0.01, 1e-8) << c;
    EXPECT_NEAR(v[4], 0.01, 1e-8) << c;
  }
  const std::string s = read_file(one / "summary.txt");
  EXPECT_NEAR(figure(s, "Total amount of precip="), 288.00, 0.005) << s;
  EXPECT_NEAR(figure(s, "Volume of overland to subsurface drains"), 143.02, 0.02) << s;
  EXPECT_NEAR(figure(s, "Volume of subsurface drains to overland"), 142.72, 0.02) << s;
  EXPECT_LT(std::fabs(figure(s, "Subsurface drain mass bal error m^3=")), 0.10) << s;
  EXPECT_LT(std::fabs(figure(s, "Overall mass balance error =")), 0.05) << s;
  // The same files for one and four threads.
  for (const char* f : {"superlink_flows.out", "outlet.txt"})
    EXPECT_EQ(read_file(one / f), read_file(four / f)) << f;
  EXPECT_EQ(without_timing(s), without_timing(read_file(four / "summary.txt")));
}

TEST(SewerRun, EveryRunOfABatchWritesItsOwnFlowLog) {
  scratch_dir dir;
  copy_fixture(dir, "sewer", "TOT_TIME 30\n");
  const run_result r = run_program(kavro_binary(), {"-b2", "p.prj"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  const std::string first = read_file(dir / "0000_superlink_flows.out");
  EXPECT_EQ(first, read_file(dir / "0001_superlink_flows.out"));
  EXPECT_EQ(lines_of(first).at(0), "Call# VtoSL VtoKAVRO   QtoSL    QtoKAVRO ");
  EXPECT_EQ(lines_of(first).size(), 181u);
  EXPECT_FALSE(fs::exists(dir / "superlink_flows.out"));
}

// The state seen in process after the grate took the step's water, and the
// pit's depth before it did.
struct pit_state {
  double worst_node = 0, worst_head = 0, worst_pit = 0;
  int seen = 0;
};

pit_state run_pit_in_process(const std::string& extra) {
  scratch_dir dir;
  copy_fixture(dir, "sewer", extra);
  pit_state p;
  kavro::run_plan plan = kavro::default_run_plan();
  std::vector<kavro::driver_step>& loop = plan.loop_steps;
  const auto in_window = [](const kavro::main_state& ms) { return ms.elapsed_min >= 180 && ms.elapsed_min <= 240; };
  for (size_t k = 0; k < loop.size(); ++k) {
    if (loop[k].name != "superlink_step") continue;
    loop.insert(loop.begin() + static_cast<long>(k) + 1,
                {"after superlink", [&](kavro::main_state& ms, const kavro::run_call&) {
                   if (!in_window(ms)) return;
                   ++p.seen;
                   for (int i = 1; i <= ms.superlink_cnodes[1] + 1; ++i)
                     p.worst_node = std::max(p.worst_node, std::fabs(ms.slink_node_depth[i][1] - normal_depth));
                   p.worst_head = std::max(p.worst_head, std::fabs(ms.sjunc_head[1] - (98.0 + normal_depth)));
                 }, true, {}});
    loop.insert(loop.begin() + static_cast<long>(k),
                {"before superlink", [&](kavro::main_state& ms, const kavro::run_call&) {
                   if (in_window(ms)) p.worst_pit = std::max(p.worst_pit, std::fabs(ms.ov_depth[1] - pit_depth));
                 }, true, {}});
    break;
  }
  const auto old = fs::current_path();
  fs::current_path(dir.path());
  testing::internal::CaptureStdout();
  kavro::run_simulation_with(plan, "p.prj", nullptr, "");
  testing::internal::GetCapturedStdout();
  fs::current_path(old);
  return p;
}

TEST(SewerRun, NodesRunAtNormalDepthAndThePitAtTheGratesDepthHoweverThePipeIsCut) {
  for (const char* extra : {"", "SUPERLINK_C_OPT\n"}) {
    const pit_state p = run_pit_in_process(extra);
    EXPECT_GE(p.seen, 360) << extra;
    EXPECT_LT(p.worst_node, 1e-6) << extra;
    EXPECT_LT(p.worst_head, 1e-6) << extra;
    EXPECT_LT(p.worst_pit, 1e-6) << extra;
  }
}

TEST(SewerRun, JunctionNodeAndPipeOutputsWriteOneRowPerOutputTime) {
  scratch_dir dir;
  copy_fixture(dir, "sewer",
               "SUPERLINK_JUNC_LOCATION junc.txt\nSUPERLINK_JUNC_FLOW junc_flow.out\n"
               "SUPERLINK_NODE_LOCATION node.txt\nSUPERLINK_NODE_FLOW node_flow.out\n"
               "PIPE_FLOW pipe_flow.out\nPIPE_HEAD pipe_head.out\n");
  write_file(dir / "junc.txt", "2\n1\n2\n");
  write_file(dir / "node.txt", "1\n1 3\n");
  const run_result r = run_program(kavro_binary(), {"p.prj"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  const std::vector<std::string> junc = lines_of(read_file(dir / "junc_flow.out"));
  ASSERT_EQ(junc.size(), 30u);
  // At 200 minutes the grate takes and the outlet gives 0.01 m3/s.
  const std::vector<double> row = numbers_of(junc[19]);
  ASSERT_EQ(row.size(), 3u);
  EXPECT_NEAR(row[0], 200.0, 1e-9);
  EXPECT_NEAR(row[1], 0.01, 1e-8);
  EXPECT_NEAR(row[2], 0.01, 1e-8);
  EXPECT_EQ(junc[19].substr(0, 15), "  200.00000000 ");
  const std::vector<std::string> node = lines_of(read_file(dir / "node_flow.out"));
  ASSERT_EQ(node.size(), 30u);
  EXPECT_NEAR(numbers_of(node[19]).at(1), 0.01, 1e-8);

  const std::vector<std::string> flow = lines_of(read_file(dir / "pipe_flow.out"));
  const std::vector<std::string> head = lines_of(read_file(dir / "pipe_head.out"));
  ASSERT_GE(flow.size(), 5u);
  EXPECT_EQ(flow[0], "KAVRO_LINKNODE_SUPERLINK_FLOW");
  EXPECT_EQ(head[0], "KAVRO_LINKNODE_SUPERLINK_HEAD");
  EXPECT_EQ(flow[1], "NUM_LINKS     1");
  // Five header lines, then per output time "TS", one line per superlink
  // and a blank line.
  ASSERT_EQ(flow.size(), 5u + 30u * 3u);
  ASSERT_EQ(head.size(), flow.size());
  EXPECT_EQ(flow[5 + 19 * 3], "TS    19");
  EXPECT_EQ(flow[5 + 19 * 3 + 1], "4   1  0.01000   1  0.01000   1  0.01000   1  0.01000   ");
  EXPECT_EQ(head[5 + 19 * 3 + 1],
            "5   1  98.06515   1  97.56515   1  97.06515   1  96.56515   1  96.06515   ");
  EXPECT_EQ(flow[5 + 19 * 3 + 2], "");
}

TEST(DrainRun, ATankEmptiesThroughItsGrateByTheOrificeAndWeirLaws) {
  scratch_dir dir;
  copy_fixture(dir, "drain", "");
  const run_result r = run_program(kavro_binary(), {"p.prj"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  const std::vector<std::string> out = lines_of(read_file(dir / "drain.out"));
  ASSERT_GE(out.size(), 62u);
  EXPECT_EQ(out[0], "Outlet Junction Discharges in CMS for overland and channel discharges ");
  EXPECT_EQ(out[1], "Elasped Time(min)    Junc 2 Ov    ");  // three blanks after a junction below 10
  // Closed forms: above h = 0.195506 m sqrt(h) falls at 3.23637e-4 per s,
  // below it 1 / sqrt(h) rises at 1.655385e-3 per s.
  const double ko = 0.582547, area = 900.0;
  const auto orifice_flow = [&](double t) {
    const double root = std::sqrt(0.5) - ko / (2 * area) * t;
    return ko * root;
  };
  EXPECT_NEAR(orifice_flow(300), 0.35536, 1e-5);
  const struct {
    int minute;
    double flow;
  } expected[] = {{5, 0.35536}, {10, 0.29880}, {30, 0.050771}, {60, 0.009206}};
  for (const auto& e : expected) {
    const std::vector<double> v = numbers_of(out.at(static_cast<size_t>(e.minute) + 1));
    ASSERT_EQ(v.size(), 2u) << out.at(static_cast<size_t>(e.minute) + 1);
    EXPECT_NEAR(v[0], e.minute, 1e-9);
    EXPECT_NEAR(v[1], e.flow, 0.003 * e.flow) << e.minute;
  }
  const std::string s = read_file(dir / "summary.txt");
  const double in = figure(s, "overland inputs to non superlink drains:");
  EXPECT_EQ(in, figure(s, "volume of non superlink drains to overland:")) << s;
  EXPECT_NEAR(in, 430.9, 0.5) << s;
}

}  // namespace
}  // namespace kavro_test
