// Whole runs of the small project of tests/data/run through the kavro
// program: the hydrograph rows, the summaries of the run log, and the same
// files for any thread count and any run of a batch.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::read_file;

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The run log from the first event summary on (the start-up part before it
// holds nothing this test compares).
std::string summaries(const std::string& log) {
  const auto p = log.find("         KAVRO EVENT RUNOFF SIMULATION SUMMARY");
  return p == std::string::npos ? std::string() : log.substr(p);
}

class RunOutputs : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"mask.asc", "elevation.asc", "p.prj"})
      std::filesystem::copy_file(kavro_test::data_dir() / "run" / name, dir / name);
    project = read_file(dir / "p.prj") +
              "HYD_FREQ          1\nSIG_OUTLET_HYDRO  sig.txt\nRUNOFF_MMPH       runoff.txt\n"
              "RAINFALL_MMPH     rain.txt\n";
  }
  kavro_test::run_result run(const std::vector<std::string>& args) {
    kavro_test::write_file(dir / "p.prj", project);
    return kavro_test::run_program(kavro_test::kavro_binary(), args, dir.path());
  }
  kavro_test::scratch_dir dir;
  std::string project;
};

TEST_F(RunOutputs, OneRowPerMinuteAfterTheStart) {
  const auto r = run({"p.prj"});
  ASSERT_EQ(r.exit_code, 0) << r.out;
  for (const char* name : {"outlet.txt", "sig.txt", "runoff.txt", "rain.txt"}) {
    const auto rows = lines_of(read_file(dir / name));
    ASSERT_EQ(rows.size(), 10u) << name;
    EXPECT_EQ(rows.front().substr(0, 8), "    1.00") << name;
    EXPECT_EQ(rows.back().substr(0, 8), "   10.00") << name;
    for (const std::string& line : rows) {
      EXPECT_EQ(line.size(), 25u) << name << ": " << line;
      EXPECT_TRUE(std::regex_match(line.substr(0, 8), std::regex(R"( +\d+\.\d\d)"))) << line;
      EXPECT_TRUE(std::regex_match(line.substr(8), std::regex(R"( +-?\d+\.\d{8})"))) << line;
    }
  }
  const std::string log = summaries(read_file(dir / "summary.txt"));
  ASSERT_FALSE(log.empty());
  const auto event = log.find("mass conservation error:");
  const auto totals = log.find("SIMULATION TOTALS");
  EXPECT_NE(event, std::string::npos);
  EXPECT_NE(totals, std::string::npos);
  EXPECT_LT(event, totals);
  EXPECT_NE(log.find("Overall mass balance error ="), std::string::npos);
  EXPECT_FALSE(std::regex_search(log, std::regex(R"(\b(nan|inf)\b)", std::regex::icase))) << log;
}

TEST_F(RunOutputs, SameFilesForOneAndFourThreads) {
  std::string outlet[2], log[2];
  const char* threads[] = {"1", "4"};
  const std::string base = project;
  for (int i = 0; i < 2; ++i) {
    project = base + "NUM_THREADS       " + threads[i] + "\n";
    const auto r = run({"p.prj"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    outlet[i] = read_file(dir / "outlet.txt");
    log[i] = summaries(read_file(dir / "summary.txt"));
  }
  EXPECT_FALSE(outlet[0].empty());
  EXPECT_EQ(outlet[0], outlet[1]);
  EXPECT_FALSE(log[0].empty());
  EXPECT_EQ(log[0], log[1]);
}

TEST_F(RunOutputs, EveryRunOfABatchWritesTheSameFiles) {
  const auto r = run({"-b2", "p.prj"});
  ASSERT_EQ(r.exit_code, 0) << r.out;
  EXPECT_EQ(read_file(dir / "0000_outlet.txt"), read_file(dir / "0001_outlet.txt"));
  EXPECT_EQ(lines_of(read_file(dir / "0001_outlet.txt")).size(), 10u);
  const std::string first = summaries(read_file(dir / "0000_summary.txt"));
  EXPECT_FALSE(first.empty());
  EXPECT_EQ(first, summaries(read_file(dir / "0001_summary.txt")));
}

}  // namespace
}  // namespace kavro
