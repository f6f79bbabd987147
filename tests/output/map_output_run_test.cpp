// Whole runs of the small project of tests/data/run that ask for rain maps:
// grid files, ASCII and binary datasets, the map interval, refused map types
// and outputs that cannot be created, batch runs and thread counts.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
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

class MapRun : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"mask.asc", "elevation.asc", "p.prj"})
      std::filesystem::copy_file(kavro_test::data_dir() / "run" / name, dir / name);
    base = read_file(dir / "p.prj");
  }
  kavro_test::run_result run(const std::string& cards, const std::vector<std::string>& args = {"p.prj"}) {
    kavro_test::write_file(dir / "p.prj", base + cards);
    return kavro_test::run_program(kavro_test::kavro_binary(), args, dir.path());
  }
  kavro_test::scratch_dir dir;
  std::string base;
};

const char* const rain_rows = "-9999.9999 10.0000 10.0000 -9999.9999 \n10.0000 10.0000 10.0000 10.0000 \n"
                              "-9999.9999 10.0000 10.0000 -9999.9999 \n";
const char* const dry_rows = "-9999.9999 0.0000 0.0000 -9999.9999 \n0.0000 0.0000 0.0000 0.0000 \n"
                             "-9999.9999 0.0000 0.0000 -9999.9999 \n";
const char* const esri_header = "ncols \t4\nnrows \t3\nxllcenter    505.00\nyllcenter   1005.00\n"
                                "cellsize     10.00\nNODATA_value -9999.9999\n";

TEST_F(MapRun, GridFilesEveryMapInterval) {
  for (const char* folder : {"maps/", "maps"}) {
    std::filesystem::remove_all(dir / "maps");
    const auto r = run(std::string("DIS_RAIN          ") + folder + "\nMAP_FREQ          2\n");
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const auto first = r.out.find("opening file ");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(r.out.substr(first, 32), "opening file maps/rain.0001.asc\n");
    for (int k = 1; k <= 5; ++k) {
      const std::string name = "maps/rain.000" + std::to_string(k) + ".asc";
      EXPECT_EQ(read_file(dir / name), std::string(esri_header) + (k <= 3 ? rain_rows : dry_rows)) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "maps/rain.0006.asc"));
  }
}

TEST_F(MapRun, AsciiDatasetFramesAndEnd) {
  const auto r = run("DIS_RAIN          rain.dat\nMAP_FREQ          2\nMAP_TYPE          1\n");
  ASSERT_EQ(r.exit_code, 0) << r.out;
  const auto lines = lines_of(read_file(dir / "rain.dat"));
  ASSERT_EQ(lines.size(), 133u);
  const std::vector<std::string> header = {"DATASET", "OBJTYPE grid2d", "BEGSCL", "OBJID 1012", "ND 12", "NC 12",
                                           "NAME rain"};
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 7), header);
  const char* times[] = {"0.166667", "2.166667", "4.166667", "6.166667", "8.166667"};
  const int status[] = {0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1, 0};
  for (int f = 0; f < 5; ++f) {
    const size_t at = 7 + static_cast<size_t>(f) * 25;
    EXPECT_EQ(lines[at], std::string("TS 1 ") + times[f]);
    for (int c = 0; c < 12; ++c) {
      EXPECT_EQ(lines[at + 1 + c], std::to_string(status[c])) << f << " " << c;
      const bool wet = f < 3 && status[c] == 1;
      EXPECT_EQ(lines[at + 13 + c], wet ? "10.000000" : "0.000000") << f << " " << c;
    }
  }
  EXPECT_EQ(lines.back(), "ENDDS");
}

TEST_F(MapRun, BinaryDatasetLayout) {
  const auto r = run("DIS_RAIN          rain.bin\nMAP_FREQ          2\nMAP_TYPE          2\n");
  ASSERT_EQ(r.exit_code, 0) << r.out;
  const std::string bin = read_file(dir / "rain.bin");
  ASSERT_EQ(bin.size(), 774u);  // header 100, five frames of 134, end 4
  std::int32_t words[15];
  std::memcpy(words, bin.data(), sizeof words);
  const std::int32_t want[15] = {3000, 100, 4, 110, 8, 120, 2, 130, 160, 1012, 170, 12, 180, 12, 190};
  for (int i = 0; i < 15; ++i) EXPECT_EQ(words[i], want[i]) << i;
  EXPECT_EQ(bin.substr(60, 40), std::string("rain") + std::string(36, '\0'));
  std::int32_t end = 0;
  std::memcpy(&end, bin.data() + bin.size() - 4, 4);
  EXPECT_EQ(end, 210);
  // Frame 2 at 2.1667 min: every active cell rains 10 mm/h.
  double time = 0, value[12];
  std::memcpy(&time, bin.data() + 100 + 134 + 6, 8);
  std::memcpy(value, bin.data() + 100 + 134 + 14 + 24, sizeof value);
  EXPECT_NEAR(time, 13 * 10 / 60.0, 1e-12);
  EXPECT_EQ(value[0], 0.0);
  EXPECT_EQ(value[1], 10.0);
}

TEST_F(MapRun, EveryStepAMapStepButStepZero) {
  const auto r = run("TIMESTEP          60\nDIS_RAIN          rain.dat\nMAP_FREQ          1\nMAP_TYPE          1\n");
  ASSERT_EQ(r.exit_code, 0) << r.out;
  std::vector<std::string> frames;
  for (const std::string& line : lines_of(read_file(dir / "rain.dat")))
    if (line.rfind("TS ", 0) == 0) frames.push_back(line);
  // TIMESTEP comes after the fixture's own card and wins.
  const std::vector<std::string> want = {"TS 1 1.000000", "TS 1 2.000000", "TS 1 3.000000", "TS 1 4.000000",
                                         "TS 1 5.000000", "TS 1 6.000000", "TS 1 7.000000", "TS 1 8.000000",
                                         "TS 1 9.000000", "TS 1 10.000000"};
  EXPECT_EQ(frames, want);
}

TEST_F(MapRun, RefusedTypesAndOutputsThatCannotBeCreated) {
  struct refusal {
    const char* cards;
    int exit_code;
    const char* message;
  };
  kavro_test::write_file(dir / "plain", "a file, not a folder\n");
  const refusal cases[] = {
      {"DIS_RAIN          rain.dat\nMAP_TYPE          3\n", 1, "Error: MAP_TYPE 3 writes no maps"},
      {"DIS_RAIN          rain.dat\nMAP_TYPE          7\n", 1, "MAP_TYPE 0 (one grid file per map), 1 (ASCII datasets) or 2 (binary datasets)"},
      {"MAP_TYPE          3\n", 0, ""},
      // Outputs that cannot be created stop the run before its time loop.
      {"DIS_RAIN          plain/rain.dat\nMAP_TYPE          1\n", 1,
       "Error: card DIS_RAIN (line 20) names the output file plain/rain.dat, which cannot be created"},
      {"DIS_RAIN          plain\nMAP_TYPE          0\n", 1,
       "Error: card DIS_RAIN (line 20) names the output folder plain, which cannot be created"},
  };
  for (const refusal& c : cases) {
    const auto r = run(c.cards);
    EXPECT_EQ(r.exit_code, c.exit_code) << c.cards << r.out;
    EXPECT_NE(r.out.find(c.message), std::string::npos) << c.cards << r.out;
    if (c.exit_code == 1) {
      EXPECT_EQ(r.out.find("Running...."), std::string::npos) << c.cards << r.out;
    }
  }
}

TEST_F(MapRun, BatchRunsAndThreadCountsWriteTheSameMaps) {
  const auto grid = run("DIS_RAIN          maps\nMAP_FREQ          2\n", {"-b2", "p.prj"});
  ASSERT_EQ(grid.exit_code, 0) << grid.out;
  for (int k = 1; k <= 5; ++k) {
    const std::string tail = "_rain.000" + std::to_string(k) + ".asc";
    const std::string first = read_file(dir / ("maps/0000" + tail));
    EXPECT_FALSE(first.empty()) << tail;
    EXPECT_EQ(first, read_file(dir / ("maps/0001" + tail))) << tail;
  }
  const auto batch = run("DIS_RAIN          rain.dat\nMAP_FREQ          2\nMAP_TYPE          1\n", {"-b2", "p.prj"});
  ASSERT_EQ(batch.exit_code, 0) << batch.out;
  const std::string first = read_file(dir / "0000_rain.dat");
  EXPECT_EQ(lines_of(first).size(), 133u);
  EXPECT_EQ(first, read_file(dir / "0001_rain.dat"));
  const auto threads = run("DIS_RAIN          rain.dat\nMAP_FREQ          2\nMAP_TYPE          1\nNUM_THREADS       4\n");
  ASSERT_EQ(threads.exit_code, 0) << threads.out;
  EXPECT_EQ(read_file(dir / "rain.dat"), first);
}

}  // namespace
}  // namespace kavro
