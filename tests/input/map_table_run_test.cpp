// The mapping-table checks as a user meets them: the kavro program on the
// example project with a grid and a stream mapping-table file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "test_support.h"

namespace {

using kavro_test::read_file;
using kavro_test::write_file;

class MapTableRun : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"mask.asc", "elevation.asc", "p.prj", "t.cmt", "rough.idx", "st.txt", "sm.txt"})
      std::filesystem::copy_file(kavro_test::data_dir() / "map_table" / name, dir / name);
    project = read_file(dir / "p.prj");
  }
  kavro_test::run_result run() {
    write_file(dir / "p.prj", project);
    return kavro_test::run_program(kavro_test::kavro_binary(), {"p.prj"}, dir.path());
  }
  // The 35 report lines, after the check's title.
  static std::string report_lines(const std::string& out) {
    const std::string title = "\nChecking 2D grid mapping tables...\n";
    const std::size_t at = out.find(title);
    if (at == std::string::npos) return {};
    const std::size_t end = out.find("\n\n", at + title.size());
    return out.substr(at + title.size(), end - at - title.size() + 1);
  }
  kavro_test::scratch_dir dir;
  std::string project;
};

TEST_F(MapTableRun, TheGridCheckPrintsOneLinePerTable) {
  const auto r = run();
  EXPECT_EQ(r.exit_code, 0) << r.out;
  const std::string lines = report_lines(r.out);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 35) << lines;
  EXPECT_EQ(lines.find("  Roughness..........................Y\n"
                       "  Rough_exp..........................N\n"),
            0u)
      << lines;
  EXPECT_NE(lines.find("  Multi layer G&A Infiltration.......N\n"), std::string::npos);
  EXPECT_EQ(lines.rfind("  BMP Point Models...................N\n"), lines.size() - 39);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), 'Y'), 1);

  std::filesystem::remove(dir / "rough.idx");
  EXPECT_NE(report_lines(run().out).find("  Roughness..........................N\n"), std::string::npos);
}

TEST_F(MapTableRun, AMissingMappingTableStopsBeforeTheGrid) {
  const std::string from = "MAPPING_TABLE     t.cmt";
  project.replace(project.find(from), from.size(), "MAPPING_TABLE     missing.cmt");
  const auto r = run();
  EXPECT_EQ(r.exit_code, 1) << r.out;
  EXPECT_NE(r.out.find("Unable to open Mapping Table file: missing.cmt\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("reading watershed mask"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Checking 2D grid"), std::string::npos) << r.out;
}

TEST_F(MapTableRun, TheStreamCheckFollowsItsOwnOrder) {
  project += "ST_MAPPING_TABLE  st.txt\n";
  const auto r = run();
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_NE(r.out.find("\nChecking stream mapping table file...\n"
                       "  Roughness..........................N\n"
                       "  NSM Nitrogen.......................N\n"
                       "  NSM Phosphorus.....................N\n"
                       "  NSM Carbon.........................Y\n"
                       "  NSM Other..........................N\n"
                       "  Dispersion.........................N\n"),
            std::string::npos)
      << r.out;
}

}  // namespace
