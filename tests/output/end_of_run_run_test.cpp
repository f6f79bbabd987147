// Whole runs of the end-of-run files: the flood-stream file holds the
// highest water surface of every channel node, stream analyzers report at
// their moments into their own files, and the PQM hydrograph file holds the
// outlet flows of the run, alike for every run of a batch.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace kavro_test {
namespace {

namespace fs = std::filesystem;

void copy_folder(const scratch_dir& dir, const char* folder) {
  for (const auto& e : fs::directory_iterator(data_dir() / folder))
    if (e.is_regular_file())
      fs::copy_file(e.path(), dir / e.path().filename().string(), fs::copy_options::overwrite_existing);
}

run_result run_ok(const scratch_dir& dir, const std::vector<std::string>& args) {
  run_result r = run_program(kavro_binary(), args, dir.path());
  EXPECT_EQ(r.exit_code, 0) << args.back() << "\n" << r.out << r.err;
  return r;
}

int occurrences(const std::string& text, const std::string& part) {
  int n = 0;
  for (auto p = text.find(part); p != std::string::npos; p = text.find(part, p + part.size())) ++n;
  return n;
}

// The water-surface elevations of ".dht" lines "node link wse area".
std::vector<double> hotstart_stages(const std::string& text) {
  std::vector<double> out;
  for (const std::string& line : lines_of(text)) {
    std::istringstream in(line);
    int node = 0, link = 0;
    double wse = 0.0;
    if (in >> node >> link >> wse) out.push_back(wse);
  }
  return out;
}

TEST(EndOfRunFiles, FloodStreamHoldsTheHighestStageOfEveryNode) {
  scratch_dir dir;
  copy_folder(dir, "channel_runs/plane");
  std::string p = without_card(read_file(dir / "p.prj"), "TOT_TIME");
  p += "TOT_TIME 60\nFLOOD_STREAM flood.txt\nWRITE_CHAN_HOTSTART end\n";
  write_file(dir / "p.prj", p);
  run_ok(dir, {"p.prj"});
  const std::vector<double> final_stage = hotstart_stages(read_file(dir / "end.dht"));
  ASSERT_GT(final_stage.size(), 2u);
  // The file's last block is the run's one step of maxima: "TS    1", then
  // the link's node count and its "1  value" pairs.
  const std::string text = read_file(dir / "flood.txt");
  const size_t ts = text.rfind("TS    1\n");
  ASSERT_NE(ts, std::string::npos) << text;
  std::istringstream in(text.substr(ts + 8));
  int shown = 0;
  ASSERT_TRUE(in >> shown);
  ASSERT_GE(shown, static_cast<int>(final_stage.size()));
  bool receded = false;
  for (size_t n = 0; n < final_stage.size(); ++n) {
    int flag = 0;
    double highest = 0.0;
    ASSERT_TRUE(in >> flag >> highest) << n;
    // The highest stage is never below the stage the run ended with; the
    // rain stopped at 40 min, so the water fell somewhere since.
    EXPECT_GE(highest, final_stage[n] - 5e-6) << "node " << n + 1;
    receded = receded || highest > final_stage[n] + 1e-4;
  }
  EXPECT_TRUE(receded);
}

TEST(EndOfRunFiles, AnalyzersReportAtTheirMomentsInARunAndABatch) {
  scratch_dir dir;
  copy_folder(dir, "channel_runs/plane");
  write_file(dir / "a.txt", "# nodes deeper than 5 cm, every hour\n2DS depth tSs > 0.05 fcsd 3600 deep.txt\n");
  const std::string base = read_file(dir / "p.prj") + "WRITE_CHAN_HOTSTART end\n";
  write_file(dir / "p.prj", base + "ANALYZERS a.txt\n");
  const run_result r = run_ok(dir, {"p.prj"});
  EXPECT_EQ(occurrences(r.out, "Set up 1 analyzers...\n"), 1) << r.out;
  const std::string deep = read_file(dir / "deep.txt");
  const int nodes = static_cast<int>(hotstart_stages(read_file(dir / "end.dht")).size());
  ASSERT_GT(nodes, 0);
  // 120 minutes: the start, the timed tests at 9:00, 10:00 and 11:00 (the
  // first after the first step, each next one hour after the last), and the
  // normal end.
  EXPECT_EQ(occurrences(deep, "\n\nResults for logic test of the 2D stream array depth at "), 5) << deep;
  for (const char* timed : {"array depth at 07-01-2010, 9:0:", "array depth at 07-01-2010, 10:0:",
                            "array depth at 07-01-2010, 11:0:"})
    EXPECT_EQ(occurrences(deep, timed), 1) << timed;
  EXPECT_EQ(occurrences(deep, "at the beginning of the simulation at 07-01-2010, 9:0: 0."), 1) << deep;
  EXPECT_EQ(occurrences(deep, "at the end of simulation at"), 1) << deep;
  EXPECT_EQ(occurrences(deep, " out of " + std::to_string(nodes) + " nodes passed the logic test.\n"), 5) << deep;
  EXPECT_NE(deep.find("[T, 0.0"), std::string::npos) << "the rain fills the channel past 5 cm: " << deep;
  EXPECT_NE(r.out.find(deep.substr(0, 200)), std::string::npos) << "the console gets the same report";
  // A batch gives every run the same file; QUIET keeps the set-up line off
  // the console.
  write_file(dir / "p.prj", base + "ANALYZERS a.txt\nQUIET\n");
  const run_result batch = run_ok(dir, {"-b2", "p.prj"});
  EXPECT_EQ(occurrences(batch.out, "Set up 1 analyzers"), 0) << batch.out;
  for (const char* prefix : {"0000_", "0001_"}) EXPECT_EQ(read_file(dir / (std::string(prefix) + "deep.txt")), deep);
}

TEST(EndOfRunFiles, PqmFileHoldsTheOutletFlowsOfEveryRun) {
  scratch_dir dir;
  copy_folder(dir, "overland_runs");
  std::string p = read_file(dir / "plane.prj");
  for (const char* card : {"START_DATE", "START_TIME", "TOT_TIME", "TIMESTEP"}) p = without_card(p, card);
  p += "START_DATE 2003 3 7\nSTART_TIME 14 30\nTOT_TIME 25\nTIMESTEP 60\nHYD_FREQ 1\nPQM_HYDRO pqm.txt\n";
  write_file(dir / "plane.prj", p);
  run_ok(dir, {"plane.prj"});
  // Each value is the outlet row's flow to four decimals.
  std::string expected = "KELVORA_PQM_HYDROGRAPH_FILE\n0\n20030307\n1430\n1\n25\n";
  const std::vector<std::string> rows = lines_of(read_file(dir / "outlet.txt"));
  ASSERT_EQ(rows.size(), 25u);
  for (size_t i = 0; i < rows.size(); ++i) {
    std::istringstream in(rows[i]);
    double t = 0.0, q = 0.0;
    ASSERT_TRUE(in >> t >> q);
    char value[32];
    std::snprintf(value, sizeof value, "%11.4lf", q);
    expected += value;
    expected += (i + 1) % 10 == 0 ? '\n' : ' ';
  }
  const std::string pqm = read_file(dir / "pqm.txt");
  EXPECT_EQ(pqm, expected);
  // Run 1 of a batch reads its own outlet file, 0001_outlet.txt.
  run_ok(dir, {"-b2", "plane.prj"});
  EXPECT_EQ(read_file(dir / "0000_pqm.txt"), pqm);
  EXPECT_EQ(read_file(dir / "0001_pqm.txt"), pqm);
}

}  // namespace
}  // namespace kavro_test
