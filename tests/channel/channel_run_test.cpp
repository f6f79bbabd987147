// Whole runs with a one-link trapezoid channel down the middle row of a
// 3 x 5 grid: the files the set-up writes, and the channel files it refuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_support.h"

namespace kavro_test {
namespace {

namespace fs = std::filesystem;

void copy_fixture(const scratch_dir& dir) {
  for (const auto& e : fs::directory_iterator(data_dir() / "channel" / "run"))
    fs::copy_file(e.path(), dir / e.path().filename().string());
}

void replace_in(const fs::path& p, const std::string& from, const std::string& to) {
  std::string text = read_file(p);
  const size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  text.replace(at, from.size(), to);
  write_file(p, text);
}

TEST(ChannelRun, ReadsTheNetworkJoinsItToTheGridAndWritesItsDiagnostics) {
  scratch_dir dir;
  copy_fixture(dir);
  const run_result r = run_program(kavro_binary(), {"p.prj"}, dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("  number of trapezoidal links:           1\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Finished reading non-orthogonal channel information from gst file.\n"), std::string::npos);
  EXPECT_EQ(read_file(dir / "short_links.out"), "Links with 1 node:\n");
  EXPECT_EQ(read_file(dir / "bad_thalweg.out"),
            "Problem    link    node    thalweg     cell    elev\n"
            "--> problem codes: 0=thalweg>cell elev, 1= difference <0.5, 2= difference<1.0, 3=difference>3.5\n"
            "0        1       4   100.150000   9   100.100000\n");
}

struct refused_case {
  const char* file;
  const char* from;
  const char* to;
  const char* message;
};

TEST(ChannelRun, InvalidChannelFilesStopTheRunNamingTheProblem) {
  const refused_case cases[] = {
      {"chan.txt", "LINKS 1", "LINKS 2", "Your channel input file contains 2 links, and 1 CONNECT cards"},
      {"chan.txt", "MANNINGS_N 0.035", "MANNINGS_N 0", "    Manning's Roughness is 0.000"},
      {"chan.txt", "MANNINGS_N 0.035", "", "    Manning's Roughness is 0.000"},
      {"chan.txt", "XSEC\n", "", "Error: Cross section parameters not found for link 1."},
      {"chan.txt", "KAVRO_CHAN", "CHANNEL", "does not begin with \"kavro_chan\""},
      {"chan.txt", "LINK 1", "LINK 3", "LINK 3 is outside 1..1"},
      {"chan.txt", "CONNECT 1 0 0", "CONNECT 1 1 0", "link 1 (LINKS) must be the outlet"},
      {"chan.txt", "TRAPEZOID", "STRUCTURE\nNUMSTRUCTS 1\nSTRUCTTYPE gate", "STRUCTTYPE gate is not a structure type"},
      {"chan.txt", "SIDE_SLOPE 1", "SIDE_SLOPE 0\nBOTTOM_WIDTH 0", "BOTTOM_WIDTH 0 and SIDE_SLOPE 0"},
      {"chan.gst", "GRIDSTREAMFILE", "STREAMFILE", "does not begin with GRIDSTREAMFILE"},
      {"chan.gst", "CELLIJ 2 1", "CELLIJ 4 1", "CELLIJ 4 1 is outside the grid"},
      {"chan.dht", "5 1 100.00\n", "", "channel hotstart file ends early at link 1 node 5"},
  };
  for (const refused_case& c : cases) {
    scratch_dir dir;
    copy_fixture(dir);
    replace_in(dir / c.file, c.from, c.to);
    const run_result r = run_program(kavro_binary(), {"p.prj"}, dir.path());
    EXPECT_EQ(r.exit_code, 1) << c.message << "\n" << r.out;
    EXPECT_NE((r.out + r.err).find(c.message), std::string::npos) << c.message << "\n" << r.out;
  }
}

}  // namespace
}  // namespace kavro_test
