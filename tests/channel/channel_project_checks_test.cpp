// Whole runs of the 12 x 5 plane draining into one channel link (column 5):
// an outlet outside the watershed is refused with channels as without, the
// channel datasets start at the start of the run when the rain comes from a
// gauge file, and an index map that a mapping table names but that is not
// there is named with the folders searched; a stream that seeps into the
// ground books what it loses and closes the run's balance, and a river bed
// of no thickness is refused.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "test_support.h"

namespace kavro {
namespace {

namespace fs = std::filesystem;
using kavro_test::read_file;
using kavro_test::write_file;

class ChannelProjectChecks : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& entry : fs::directory_iterator(kavro_test::data_dir() / "channel_runs" / "plane"))
      fs::copy_file(entry.path(), dir / entry.path().filename().string());
    project = read_file(dir / "p.prj");
  }
  kavro_test::run_result run(const std::string& p) {
    write_file(dir / "p.prj", p);
    return kavro_test::run_program(kavro_test::kavro_binary(), {"p.prj"}, dir.path());
  }
  kavro_test::scratch_dir dir;
  std::string project;
};

TEST_F(ChannelProjectChecks, AnOutletOutsideTheWatershedIsRefused) {
  // Cell (1, 1) leaves the watershed.
  std::string mask = read_file(dir / "mask.asc");
  const auto first_row = mask.find("rows:");
  const auto at = mask.find('\n', mask.find('\n', first_row) + 1) + 1;
  mask[at] = '0';
  write_file(dir / "mask.asc", mask);
  const auto r = run(kavro_test::with_card(kavro_test::with_card(project, "OUTROW", "1"), "OUTCOL", "1"));
  EXPECT_EQ(r.exit_code, 1) << r.out;
  EXPECT_NE(r.out.find("The outlet row and column you specified in the project file are not\ninside the watershed "
                       "mask."),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("outlet is in grid cell: 0"), std::string::npos) << r.out;
}

TEST_F(ChannelProjectChecks, ChannelDatasetsStartWithTheRunsGaugeRain) {
  std::string p = project;
  for (const char* card : {"RAIN_INTENSITY", "RAIN_DURATION", "START_DATE", "START_TIME"})
    p = kavro_test::without_card(p, card);
  write_file(dir / "rain.gag",
             "EVENT \"July storm\"\nNRGAG 1\nNRPDS 3\nCOORD 50 120\nGAGES 2010 7 14 16 45 0\n"
             "GAGES 2010 7 14 17 05 10\nGAGES 2010 7 14 17 25 5\n");
  const auto r = run(p + "PRECIP_FILE       rain.gag\nCHAN_DEPTH        depth.out\nCHAN_DISCHARGE    flow.out\n");
  ASSERT_EQ(r.exit_code, 0) << r.out;
  for (const char* name : {"depth.out", "flow.out"}) {
    const std::string text = read_file(dir / name);
    EXPECT_NE(text.find("\nSTART_TIME    14  7 2010 16 45  0\nTS    0\n"), std::string::npos) << name << "\n"
                                                                                        << text.substr(0, 200);
  }
}

TEST_F(ChannelProjectChecks, AMissingIndexMapOfAMappingTableIsNamed) {
  write_file(dir / "t.cmt",
             "KAVRO_INDEX_MAP_TABLES\nINDEX_MAP landuse.idx Landuse\nROUGHNESS Landuse\nNUM_IDS 1\n"
             "ID  description                                                                          Manning n\n"
             "     1 grass                                                                           0.05\n");
  const auto r = run(kavro_test::without_card(project, "MANNING_N") + "MAPPING_TABLE     t.cmt\n");
  EXPECT_EQ(r.exit_code, 1) << r.out;
  EXPECT_NE(r.out.find("Error: the Roughness table of the mapping table t.cmt uses the index map landuse.idx (card "
                       "INDEX_MAP), which is not in the folder kavro was started from ("),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("Running...."), std::string::npos) << r.out;
}

TEST_F(ChannelProjectChecks, StreamSeepageIsBookedAndABedOfNoThicknessRefused) {
  const std::string p = project + "STREAM_LOSS\nK_RIVER           0.36\n";
  const auto refused = run(p + "M_RIVER           0\n");
  EXPECT_EQ(refused.exit_code, 1) << refused.out;
  EXPECT_NE(refused.out.find("Error: the river bed of link 1 node 1 (grid-stream cell 1) is 0 m thick"),
            std::string::npos)
      << refused.out;
  EXPECT_EQ(refused.out.find("Running"), std::string::npos) << refused.out;
  const auto r = run(p + "M_RIVER           0.5\n");
  ASSERT_EQ(r.exit_code, 0) << r.out;
  const std::string summary = read_file(dir / "summary.txt");
  const auto at = summary.find("Total flux from river to gw=");
  ASSERT_NE(at, std::string::npos) << summary;
  EXPECT_GT(std::stod(summary.substr(at + 28)), 1.0) << summary;
  const auto error_at = summary.find("Overall mass balance error =");
  ASSERT_NE(error_at, std::string::npos) << summary;
  EXPECT_LT(std::fabs(std::stod(summary.substr(error_at + 28))), 1e-6) << summary;
}

}  // namespace
}  // namespace kavro
