// Whole runs with a one-link trapezoid channel down the middle row of a
// 3 x 5 grid: the files the set-up writes, and the channel files it refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <vector>
#include <string>

#include "framework/main_state.h"
#include "framework/run_driver.h"
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
      {"chan.txt", "LINK 1", "LINK 3", "line 8: LINK 3 is outside 1 to 1"},
      {"chan.txt", "CONNECT 1 0 0", "CONNECT 1 1 0", "link 1 (LINKS) must be the outlet"},
      {"chan.txt", "TRAPEZOID", "STRUCTURE\nNUMSTRUCTS 1\nSTRUCTTYPE gate", "STRUCTTYPE gate is not a structure type"},
      {"chan.txt", "SIDE_SLOPE 1", "SIDE_SLOPE 0\nBOTTOM_WIDTH 0", "BOTTOM_WIDTH 0 and SIDE_SLOPE 0"},
      {"chan.gst", "GRIDSTREAMFILE", "STREAMFILE", "does not begin with GRIDSTREAMFILE"},
      {"chan.gst", "CELLIJ 2 1", "CELLIJ 4 1", "CELLIJ 4 1 is outside the grid"},
      {"chan.dht", "5 1 100.00\n", "", "channel hotstart file ends early at link 1 node 5"},
      // Counts are judged in 64 bits before any array is sized from them.
      {"chan.txt", "MAXNODES 6", "MAXNODES 2147483647", "line 6: MAXNODES 2147483647 is outside 1 to 1000000"},
      {"chan.txt", "LINKS 1", "LINKS 2147483647", "line 5: LINKS 2147483647 is outside 1 to 1000000"},
      {"chan.txt", "LINKS 1", "LINKS 99999999999",
       "line 5: LINKS: the whole number 99999999999 is beyond the range"},
      {"chan.txt", "LINKS 1\nMAXNODES 6", "LINKS 1000\nMAXNODES 1000000", "LINKS 1000 and MAXNODES 1000000 give"},
      {"chan.txt", "MAXNODES 6", "MAXNODES 1e308", "line 6: MAXNODES: the whole number 1e308 is beyond the range"},
      {"chan.txt", "\nNODES 6", "\nNODES 6.5", "line 10: NODES: the value 6.5 is not a whole number"},
      {"chan.txt", "CONNECT 1 0 0", "CONNECT 1 0 2147483647", "CONNECT upstream count 2147483647 is outside 0 to 1"},
      {"chan.txt", "TRAPEZOID", "BREAKPOINT\nNPAIRS 2147483647", "line 12: NPAIRS 2147483647 is outside"},
      {"chan.txt", "TRAPEZOID", "BREAKPOINT\nNPAIRS 4\nNUM_INTERP 99999999999",
       "line 13: NUM_INTERP: the whole number 99999999999 is beyond the range"},
      {"chan.txt", "TRAPEZOID", "LAKE\nNUMPTS 2147483647", "line 12: NUMPTS 2147483647 is outside 0 to 15"},
      // Numbers that are not one finite number.
      {"chan.txt", "ELEV 100.5", "ELEV abc", "line 18: the value \"abc\" is not a number (ELEV abc)"},
      {"chan.txt", "ELEV 100.5", "ELEV 100.5\xC3\xA9", "line 18: the value \"100.5\xC3\xA9\" is not a number"},
      {"chan.txt", "ELEV 100.5", "ELEV", "line 18: a number is missing"},
      {"chan.txt", "DX 10", "DX 12p", "line 9: the value \"12p\" is not a number (DX 12p)"},
      {"chan.txt", "MANNINGS_N 0.035", "MANNINGS_N 1e308", "line 12: MANNINGS_N 1e+308 is outside -10 to 10"},
      {"chan.txt", "MANNINGS_N 0.035", "MANNINGS_N nan", "line 12: the value nan is not a finite number"},
      {"chan.txt", "BOTTOM_WIDTH 2", "BOTTOM_WIDTH -2", "line 15: BOTTOM_WIDTH -2 is outside 0 to 100000"},
      {"chan.txt", "ELEV 100.0", "ELEV 1e308", "line 28: ELEV 1e+308 is outside -100000 to 100000"},
      // A breakpoint section whose points share one x has no width.
      {"chan.txt", "TRAPEZOID", "BREAKPOINT", "all lie at x = 2: a section needs a width"},
      // The stream-cell file.
      {"chan.gst", "STREAMCELLS 5", "STREAMCELLS 2147483647", "line 2: STREAMCELLS 2147483647 is outside"},
      {"chan.gst", "STREAMCELLS 5", "STREAMCELLS 99999999999",
       "line 2: STREAMCELLS: the whole number 99999999999 is beyond the range"},
      {"chan.gst", "LINKNODE 1 2 1.0", "LINKNODE 1 2x 1.0", "line 8: LINKNODE node: the value \"2x\" is not a number"},
      {"chan.gst", "LINKNODE 1 2 1.0", "LINKNODE 1 2 nan", "line 8: the value nan is not a finite number"},
      {"chan.gst", "LINKNODE 1 2 1.0", "LINKNODE 1 2 7", "line 8: LINKNODE fraction 7 is outside 0 to 1"},
      {"chan.gst", "LINKNODE 1 2 1.0\n", "", "line 6: stream cell 2 has 0 LINKNODE cards, its NUMNODES card 1"},
      {"chan.gst", "STREAMCELLS 5", "STREAMCELLS 6", "STREAMCELLS 6, but the file has 5 CELLIJ and 5 NUMNODES cards"},
      // The channel hotstart.
      {"chan.dht", "2 1 100.75", "NaN 1 100.75",
       "chan.dht, line 2: the first number: the value NaN is not a whole number"},
      {"chan.dht", "2 1 100.75", "2 1 1e308", "chan.dht, line 2: the water-surface elevation 1e+308 is outside"},
      {"chan.dht", "2 1 100.75", "2 1 100.75x", "line 2: the water-surface elevation: the value \"100.75x\" is not"},
  };
  for (const refused_case& c : cases) {
    SCOPED_TRACE(c.message);
    scratch_dir dir;
    copy_fixture(dir);
    replace_in(dir / c.file, c.from, c.to);
    if (std::string(c.message).find("a section needs a width") != std::string::npos) {
      replace_in(dir / "chan.txt", "XSEC\nBOTTOM_WIDTH 2\nBANKFULL_DEPTH 1\nSIDE_SLOPE 1\n",
                 "XSEC\nNPAIRS 4\nNUM_INTERP 20\nX1 2 102\nX1 2 100.5\nX1 2 100.5\nX1 2 102\n");
    }
    const auto inputs = files_of(dir.path());
    const run_result r = run_program("/usr/bin/timeout", {"20", kavro_binary().string(), "p.prj"}, dir.path());
    for (const auto& [path, text] : inputs) EXPECT_EQ(read_file(path), text) << path;
    EXPECT_EQ(r.exit_code, 1) << c.message << "\n" << r.out;
    EXPECT_NE((r.out + r.err).find(c.message), std::string::npos) << c.message << "\n" << r.out;
    const std::string fatal = std::string("Program termanated due to invalid channel input file ") + c.file + "\n";
    if (std::string(c.file) != "chan.dht") {
      EXPECT_NE(r.out.find(fatal), std::string::npos) << c.message;
      EXPECT_EQ(r.out.find(fatal), r.out.rfind(fatal)) << "reported once: " << c.message;
    }
  }
}

// Runs the fixture in this process; `look` sees the record when the grid
// set-up is done. The standard output of the run is returned.
std::string run_in_process(const scratch_dir& dir, const std::function<void(kavro::main_state&)>& look,
                           double* vol_channel_init = nullptr) {
  kavro::run_plan plan = kavro::default_run_plan();
  auto at = std::find_if(plan.init_steps.begin(), plan.init_steps.end(),
                         [](const kavro::driver_step& s) { return s.name == "setup_grid_and_maps"; });
  EXPECT_NE(at, plan.init_steps.end());
  plan.init_steps.insert(at + 1, {"look", [&](kavro::main_state& ms, const kavro::run_call&) { look(ms); }, true, {}});
  auto summary = plan.final_summary;
  plan.final_summary = [&](kavro::main_state& ms) {
    if (vol_channel_init) *vol_channel_init = ms.vol_channel_init;
    if (summary) summary(ms);
  };
  const auto old_cwd = fs::current_path();
  fs::current_path(dir.path());
  testing::internal::CaptureStdout();
  kavro::run_simulation_with(plan, "p.prj", nullptr, "");
  std::string out = testing::internal::GetCapturedStdout();
  fs::current_path(old_cwd);
  return out;
}

TEST(ChannelRun, TheHotstartDepthsGiveTheInitialChannelVolume) {
  scratch_dir dir;
  copy_fixture(dir);
  double volume = -1;
  std::vector<double> depth;
  run_in_process(dir, [&](kavro::main_state& ms) {
    for (int node = 1; node <= ms.nx[1]; ++node) depth.push_back(ms.chan_depth[node][1]);
  }, &volume);
  const std::vector<double> expected{0.5, 0.4, 0.3, 0.2, 0.0};
  ASSERT_EQ(depth.size(), expected.size());
  for (size_t i = 0; i < depth.size(); ++i) EXPECT_NEAR(depth[i], expected[i], 1e-9) << i;
  double v = 0;
  for (double y : expected) v += (2 + y) * y * 10;
  EXPECT_NEAR(volume, v, 1e-9);
  EXPECT_NEAR(volume, 33.4, 1e-9);
}

// A lake link below the channel link, over three cells of row 3.
void add_lake(const scratch_dir& dir, const std::string& initwse) {
  replace_in(dir / "chan.txt", "LINKS 1", "LINKS 2");
  replace_in(dir / "chan.txt", "CONNECT 1 0 0", "CONNECT 1 2 0\nCONNECT 2 0 1 1");
  write_file(dir / "chan.txt", read_file(dir / "chan.txt") +
                                   "LINK 2\nLAKE\nMINWSE 100.0\nINITWSE " + initwse +
                                   "\nMAXWSE 101.0\nNUMPTS 3\n3 1 3 2 3 3\n");
  std::string e = read_file(dir / "elevation.asc");
  e.replace(e.rfind("102.0 102.0 102.0 102.0 102.0"), 29, "100.2 100.4 100.9 102.0 102.0");
  write_file(dir / "elevation.asc", e);
}

TEST(ChannelRun, ALakeWithoutRatingCurveFillsTheCellsBelowItsLevel) {
  struct lake_case {
    const char* initwse;
    int cells;
    double volume, area;
    bool warned;
  } cases[] = {{"100.5", 2, 40.0, 200.0, false}, {"100.1", 1, 0.0, 100.0, true}};
  for (const lake_case& c : cases) {
    scratch_dir dir;
    copy_fixture(dir);
    add_lake(dir, c.initwse);
    int cells = -1;
    double volume = -1, area = -1;
    const std::string out = run_in_process(dir, [&](kavro::main_state& ms) {
      if (ms.n_lakes < 1) return;
      cells = ms.lake_cells[1];
      volume = ms.lake_volume[1];
      area = ms.lake_area[1];
    });
    EXPECT_EQ(cells, c.cells) << c.initwse << out;
    EXPECT_NEAR(volume, c.volume, 1e-9);
    EXPECT_NEAR(area, c.area, 1e-9);
    EXPECT_EQ(out.find("is below all overland cell elevations in the lake") != std::string::npos, c.warned);
  }
}

TEST(ChannelRun, RepeatedHeaderCardsStillReadMaxnodes) {
  scratch_dir dir;
  copy_fixture(dir);
  replace_in(dir / "chan.txt", "ALPHA 1\n", "ALPHA 1\nALPHA 2\n");
  int maxnodes = 0;
  double alpha = 0;
  run_in_process(dir, [&](kavro::main_state& ms) { maxnodes = ms.MAXNODES, alpha = ms.chan_header_alpha; });
  EXPECT_EQ(maxnodes, 6);
  EXPECT_EQ(alpha, 2.0);
}

// The trapezoid as a traced breakpoint section; a second run in the same
// process with far more height steps gets tables of its own.
TEST(ChannelRun, BreakpointRunsInOneProcessEachGetTheirOwnTables) {
  for (int num_interp : {10, 500}) {
    scratch_dir dir;
    copy_fixture(dir);
    replace_in(dir / "chan.txt", "TRAPEZOID", "BREAKPOINT");
    replace_in(dir / "chan.txt", "XSEC\n",
               "XSEC\nNPAIRS 4\nNUM_INTERP " + std::to_string(num_interp) + "\nX1 0 1\nX1 1 0\nX1 3 0\nX1 4 1\n");
    int tables = 0, rows = 0;
    double top_area = 0, top_k = 0;
    run_in_process(dir, [&](kavro::main_state& ms) {
      tables = ms.n_xsec_tables;
      const int t = ms.table_num[1][1];
      rows = ms.numhts[t];
      top_area = ms.xarea[rows][t];
      top_k = ms.xk[rows][t];
    });
    EXPECT_EQ(tables, 1);
    EXPECT_EQ(rows, num_interp);
    EXPECT_NEAR(top_area, 3.0, 1e-12);
    EXPECT_NEAR(top_k, 62.411352, 1e-6);
  }
}

TEST(ChannelRun, AnErodibleLinkWithOneSectionHasATableForEachDefiningNode) {
  scratch_dir dir;
  copy_fixture(dir);
  replace_in(dir / "chan.txt", "TRAPEZOID", "BREAK_ERODE");
  replace_in(dir / "chan.txt", "XSEC\n", "XSEC\nNPAIRS 4\nNUM_INTERP 10\nX1 0 1\nX1 1 0\nX1 3 0\nX1 4 1\n");
  int tables = 0, slot = 0;
  std::vector<double> top_area;
  run_in_process(dir, [&](kavro::main_state& ms) {
    tables = ms.n_xsec_tables;
    slot = ms.bplink[1];
    for (int p = 1; p <= ms.nx1[1]; ++p) top_area.push_back(ms.xarea[10][ms.table_num[p][1]]);
  });
  EXPECT_EQ(tables, 6);
  EXPECT_EQ(slot, 1);
  ASSERT_EQ(top_area.size(), 6u);
  // The profile resampled at even x spacing, (0,1) (4/3,0) (8/3,0) (4,1):
  // a trapezoid of bottom 4/3 and side slope 4/3, full at depth 1.
  for (double a : top_area) EXPECT_NEAR(a, 8.0 / 3.0, 1e-9);
}

// A weir link below the channel; a structure field under the channel link,
// which has no element open, is skipped with a warning.
TEST(ChannelRun, StructureElementsTakeTheirFieldsAndStrayFieldsAreSkipped) {
  scratch_dir dir;
  copy_fixture(dir);
  replace_in(dir / "chan.txt", "LINKS 1", "LINKS 2");
  replace_in(dir / "chan.txt", "CONNECT 1 0 0", "CONNECT 1 2 0\nCONNECT 2 0 1 1");
  write_file(dir / "chan.txt", read_file(dir / "chan.txt") +
                                   "LINK 2\nSTRUCTURE\nNUMSTRUCTS 1\nSTRUCTTYPE weir_broad\nCREST_LENGTH 3.5\n"
                                   "CREST_LOW_ELEV 99.5\nLINK 1\nCREST_LENGTH 9\n");
  int type = 0, first = 0, last = 0, nx = 0;
  double length = 0, crest = 0;
  const std::string out = run_in_process(dir, [&](kavro::main_state& ms) {
    if (ms.n_hydr_structs < 1) return;
    type = ms.hydr_struct[1].struct_type;
    length = ms.hydr_struct[1].length;
    crest = ms.hydr_struct[1].upinvert;
    first = ms.link_structs[2].first;
    last = ms.link_structs[2].last;
    nx = ms.nx[2];
  });
  EXPECT_EQ(type, 1) << out;
  EXPECT_EQ(length, 3.5);
  EXPECT_EQ(crest, 99.5);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(last, 1);
  EXPECT_EQ(nx, 2);
  EXPECT_NE(out.find("a structure field with no structure element open in link 1 is skipped"), std::string::npos);
}

}  // namespace
}  // namespace kavro_test
