// The mapping-table checks as a user meets them: the kavro program on the
// example project with a grid and a stream mapping-table file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

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

// Whole runs of the example project with one mapping-table, stream-map or map
// fault: each stops with exit 1 before the time loop, naming the file, the
// line (or row and column) and the text, and leaves every input as it was.
TEST_F(MapTableRun, FaultsOfTablesMapsAndTheFilesTheyNameStopTheRun) {
  struct fault_case {
    const char* name;
    std::string file;     // the file changed ("" for none)
    std::string from, to;  // the text replaced in it
    std::string extra;     // project lines added
    std::string message;
  };
  const fault_case cases[] = {
      {"a summary over the index map", "", "", "", "SUMMARY rough.idx\n",
       "names the output file rough.idx, which line 2 of the mapping table t.cmt (card MAPPING_TABLE (line 15)) "
       "names as an input"},
      {"a summary over the stream map", "", "", "", "ST_MAPPING_TABLE st.txt\nSUMMARY sm.txt\n",
       "names the output file sm.txt, which line 2 of the stream mapping table st.txt"},
      {"an index map of another place", "rough.idx", "west: 500", "west: 5000", "",
       "the west edge of the index map rough.idx is 5000.00, that of the watershed mask mask.asc 500.00"},
      {"an index map edge that is no number", "rough.idx", "west: 500", "west: nan", "",
       "map rough.idx, header line 4 (west): the value nan is not a finite number"},
      {"a Manning n beyond any surface", "t.cmt", "0.2", "2147483648", "",
       "table ROUGHNESS of the mapping table file t.cmt, ID 3 (row 2), column 1: the Manning n 2.14748e+09"},
      {"a table value with a letter", "t.cmt", "0.2", "0.2x", "",
       "in table ROUGHNESS of the mapping table file t.cmt: the value \"0.2x\" is not a number"},
      {"a stream table value with a letter", "st.txt", "1.0 2.0", "1.0 2.0x", "ST_MAPPING_TABLE st.txt\n",
       "in table NSM_C (Stream) of the mapping table file st.txt: the value \"2.0x\" is not a number"},
      {"a map value with a letter", "elevation.asc", "11.5", "11O.5", "",
       "map elevation.asc, row 2, column 2: the value \"11O.5\" is not a number"},
      {"a map row short of its columns", "elevation.asc", "11.0 11.5 11.0 10.5", "11.0 11.5 11.0", "",
       "map elevation.asc, row 2, column 4: the row ends after 3 of its 4 values"},
      {"an empty stream mapping table", "st.txt", std::string(read_file(kavro_test::data_dir() / "map_table" / "st.txt")),
       "", "ST_MAPPING_TABLE st.txt\n", "the stream mapping table st.txt does not begin with KAVRO_STREAM_INDEX_MAP_TABLES"},
      {"a stream mapping table of garbage", "st.txt", "KAVRO_STREAM_INDEX_MAP_TABLES", "\x01\x02garbage", "ST_MAPPING_TABLE st.txt\n",
       "does not begin with KAVRO_STREAM_INDEX_MAP_TABLES"},
      {"a stream map value with a letter", "sm.txt", "\n1\n", "\n1x\n", "ST_MAPPING_TABLE st.txt\n",
       "stream map sm.txt, line 3: the value \"1x\" is not a number"},
      {"a mask that is a device", "", "", "", "WATERSHED_MASK /dev/zero\n",
       "/dev/zero is not a regular file"},
      {"an elevation map that is a device", "", "", "", "ELEVATION /dev/zero\n", "/dev/zero is not a regular file"},
  };
  const std::string base = project;
  for (const fault_case& c : cases) {
    SCOPED_TRACE(c.name);
    kavro_test::scratch_dir here;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
      std::filesystem::copy_file(e.path(), here / e.path().filename().string());
    write_file(here / "p.prj", base + c.extra);
    if (!c.file.empty()) {
      std::string text = read_file(here / c.file);
      const auto at = text.find(c.from);
      ASSERT_NE(at, std::string::npos) << c.from;
      write_file(here / c.file, text.replace(at, c.from.size(), c.to));
    }
    const auto inputs = kavro_test::files_of(here.path());
    const auto r = kavro_test::run_program("/usr/bin/timeout", {"20", kavro_test::kavro_binary().string(), "p.prj"},
                                           here.path());
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Running...."), std::string::npos) << "stopped before the time loop";
    for (const auto& [path, text] : inputs) EXPECT_EQ(read_file(path), text) << path;
  }
}

}  // namespace
