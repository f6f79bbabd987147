// The pipe files: reaches cut by SUPERLINK_C_OPT, the grid pipe file's word
// codes, and pipe and drain files that a run refuses, each naming the file,
// the line and the value.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "channel/pipe_file.h"
#include "channel/pipe_networks.h"
#include "pipe_test_support.h"

namespace kavro_test {
namespace {

namespace fs = std::filesystem;

std::vector<double> reach_lengths(const kavro::main_state& ms, int link) {
  std::vector<double> out;
  for (int k = 1; k <= ms.superlink_cnodes[link]; ++k) out.push_back(ms.dxc[k][link]);
  return out;
}

TEST(PipeFile, RefinedReachesAreShortAtTheEndsOfEverySuperlink) {
  scratch_dir dir;
  auto ms = pipe_grid(1, 2, 10.0, {1, 1}, {105, 105});
  ms->superlink_c_opt_on = 1;
  const std::string pipes =
      "SJUNC 1 105 101 1 0 1 1\nSJUNC 2 105 100 1 0 1 2\nSJUNC 3 105 99 1 11 1 2\n"
      "CONNECT 1 1 2\nCONNECT 2 2 3\nCONNECT 3 1 3\n"
      "SLINK 1 1\nNODE 1 105 101 0 0 1 1\nNODE 2 105 100 0 0 1 2\nPIPE 1 1 0.5 0.5 0.002 0.013 500\n"
      "SLINK 2 2\nNODE 1 105 100 0 0 1 1\nNODE 2 105 99.5 0 1 1 2 0.6 0.5\nNODE 3 105 99 0 0 1 2\n"
      "PIPE 1 1 0.5 0.5 0.005 0.013 100\nPIPE 2 3 0.5 0.8 0.005 0.013 100\n"
      "SLINK 3 1\nNODE 1 105 101 0 0 1 1\nNODE 2 105 99 0 0 1 2\nPIPE 1 1 0.5 0.5 0.01 0.013 5\n";
  ASSERT_EQ(load_superlink(*ms, dir, pipes), 0);
  EXPECT_EQ(reach_lengths(*ms, 1), (std::vector<double>{10, 120, 120, 120, 120, 10}));
  EXPECT_EQ(reach_lengths(*ms, 2), (std::vector<double>{10, 90, 90, 10}));
  EXPECT_EQ(reach_lengths(*ms, 3), (std::vector<double>{1.25, 1.25, 1.25, 1.25}));
  // The inserted nodes lie on the line between their neighbours and take
  // no water; the file's nodes keep their own values.
  EXPECT_DOUBLE_EQ(ms->slink_node_Zinv[2][1], 101.0 - 10.0 / 500.0);
  EXPECT_DOUBLE_EQ(ms->slink_node_Zinv[7][1], 100.0);
  EXPECT_DOUBLE_EQ(ms->slink_node_Zinv[2][2], 100.0 - 0.5 * 10.0 / 100.0);
  EXPECT_EQ(ms->inlet_type[2][2], 0);
  EXPECT_EQ(ms->inlet_type[3][2], 1);
  EXPECT_DOUBLE_EQ(ms->slink_node_Zinv[4][2], 99.0 + 0.5 * 10.0 / 100.0);
  EXPECT_EQ(ms->sec_type[4][2], 3);  // the last piece keeps its pipe's section
  EXPECT_EQ(ms->otc_node[2][2], 3);
  EXPECT_EQ(ms->otc_node[3][2], 5);
  EXPECT_EQ(ms->otc_node[2][1], 7);
  EXPECT_EQ(ms->superlink_max_pipes, 6);
  EXPECT_EQ(ms->nnodes[2], 2);
}

TEST(PipeFile, GridPipeWordCodes) {
  struct row {
    const char* line;
    int code;
    const char* rest;
  } rows[] = {{"PIPECELLS 4", 0, "4"},   {"  cellij 3 5", 1, "3 5"}, {"\tNumPipes 2", 2, "2"},
              {"SPIPE 1 2 0.5", 3, "1 2 0.5"}, {"GRIDPIPEFILE", 4, ""}, {"", 4, ""}};
  for (const row& r : rows) {
    std::string line = r.line;
    EXPECT_EQ(kavro::pipe_card_code(line), r.code) << r.line;
    if (r.code < 4) {
      EXPECT_EQ(line.substr(line.find_first_not_of(" \t")), r.rest) << r.line;
    }
  }
}

// Leaky pipes and the grid pipe file that lays them under their cells.
TEST(PipeFile, GridPipeFilesLayLeakyPipesUnderActiveCellsOrAreRefused) {
  const std::string leaky =
      "SJUNC 1 105 101 1 0 1 1\nSJUNC 2 105 100 1 888 1 3\nCONNECT 1 1 2\n"
      "SLINK 1 2\nNODE 1 105 101 0 0 1 1\nNODE 2 105 100.5 0 0 1 1\nNODE 3 105 100 0 0 1 3\n"
      "PIPE 1 1 0.3 0.3 0.01 0.013 50 1e-5 10 1\nPIPE 2 1 0.3 0.3 0.01 0.013 50 1e-5 10 1\n";
  const std::string good =
      "GRIDPIPEFILE\nPIPECELLS 2\nCELLIJ 1 1\nNUMPIPES 2\nSPIPE 1 1 0.5\nspipe 1 2 0.25\n"
      "CellIJ 1 3\nNumPipes 1\nSPIPE 1 3 1.0\n";
  {
    scratch_dir dir;
    auto ms = pipe_grid(1, 3, 20.0, {1, 0, 1}, {105, 105, 105});
    write_file(dir / "pipes.gpi", good);
    ms->grid_pipe_path = (dir / "pipes.gpi").string();
    ASSERT_EQ(load_superlink(*ms, dir, leaky), 0);
    EXPECT_EQ(ms->superlink_tiles_on, 1);
    EXPECT_EQ(ms->gpi_num_cells, 2);
    EXPECT_EQ(ms->gpi_max_pipes, 2);
    EXPECT_EQ(ms->gpi_ncellsingrid[1], 2);
    EXPECT_EQ(ms->gpi_ncellsingrid[2], 1);
    EXPECT_EQ(ms->gpi_node[1][2], 2);
    EXPECT_EQ(ms->gpi_gnum[1][2], 1);
    EXPECT_EQ(ms->gpi_gnum[2][1], 2);  // column 3 is the second active cell
    EXPECT_DOUBLE_EQ(ms->gpi_pct[1][2], 0.25);
  }
  const auto changed = [&](const std::string& from, const std::string& to) {
    std::string s = good;
    s.replace(s.find(from), from.size(), to);
    return s;
  };
  struct row {
    const char* label;
    std::string gpi;
    const char* says;
  } rows[] = {
      {"a cell outside the watershed", changed("CellIJ 1 3", "CellIJ 1 2"), "line 7: row 1 column 2 is not an active cell"},
      {"a cell off the grid", changed("CellIJ 1 3", "CellIJ 4 3"), "line 7: row 4 column 3 is not an active cell"},
      {"a link the network lacks", changed("SPIPE 1 3 1.0", "SPIPE 2 3 1.0"), "line 9: link 2 is outside 1..1"},
      {"a node beyond its link", changed("SPIPE 1 3 1.0", "SPIPE 1 4 1.0"), "line 9: node 4 is outside 1..3 of link 1"},
      {"a share above one", changed("spipe 1 2 0.25", "spipe 1 2 1.5"), "line 6: share 1.5 is outside 0..1"},
      {"fewer SPIPE lines than NUMPIPES", changed("spipe 1 2 0.25\n", ""), "cell 1 lists 1 SPIPE cards, NUMPIPES gives 2"},
      {"more cells than PIPECELLS", changed("PIPECELLS 2", "PIPECELLS 1"), "more CELLIJ cards than the 1 of PIPECELLS"},
      {"a count that is not a number", changed("NUMPIPES 2", "NUMPIPES two"), "line 4: NUMPIPES needs a count"},
      {"no heading", changed("GRIDPIPEFILE", "GRIDPIPE"), "the first word must be GRIDPIPEFILE"},
  };
  for (const row& r : rows) {
    scratch_dir dir;
    auto ms = pipe_grid(1, 3, 20.0, {1, 0, 1}, {105, 105, 105});
    write_file(dir / "pipes.gpi", r.gpi);
    ms->grid_pipe_path = (dir / "pipes.gpi").string();
    testing::internal::CaptureStdout();
    const int code = load_superlink(*ms, dir, leaky);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(code, 0) << r.label;
    EXPECT_NE(out.find(r.says), std::string::npos) << r.label << "\n" << out;
    EXPECT_NE(out.find("pipes.gpi"), std::string::npos) << r.label;
  }
  // Leaky pipes without a grid pipe file stop the run too.
  scratch_dir dir;
  auto ms = pipe_grid(1, 3, 20.0, {1, 0, 1}, {105, 105, 105});
  testing::internal::CaptureStdout();
  EXPECT_NE(load_superlink(*ms, dir, leaky), 0);
  testing::internal::GetCapturedStdout();
  kavro::error_rec = kavro::error_record{};
}

// The whole-run fixture of the pit and its pipe, with `pipes` as its pipe
// file and `extra` cards added to the project.
run_result run_with(const std::string& pipes, const std::string& extra = "", const std::string& drains = "") {
  scratch_dir dir;
  for (const auto& e : fs::directory_iterator(data_dir() / "pipe_runs" / "sewer"))
    fs::copy_file(e.path(), dir / e.path().filename().string());
  write_file(dir / "pipes.txt", pipes);
  if (!drains.empty()) write_file(dir / "drains.txt", drains);
  write_file(dir / "p.prj", read_file(dir / "p.prj") + extra);
  return run_program(kavro_binary(), {"p.prj"}, dir.path());
}

std::string fixture_pipes() { return read_file(data_dir() / "pipe_runs" / "sewer" / "pipes.txt"); }

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(PipeFile, BadPipeFilesStopTheRunNamingWhatIsWrong) {
  const std::string pipes = fixture_pipes();
  const std::string one_drain =
      "SJUNC 1 100 98 1 1 1 1 0.6 0.5\nSJUNC 2 99 97 1 888 1 3 0 0\nCONNECT 1 1 2\n"
      "SLINK 1 1\nNODE 1 100 98 0 0 1 1\nNODE 2 99 97 0 0 1 3\nPIPE 1 1 0.3 0.3 0.01 0.013 100\n";
  struct row {
    const char* label;
    std::string pipes, extra, drains;
    std::vector<std::string> says;
  } rows[] = {
      {"section type 4", replaced(pipes, "PIPE 1 1 0.3", "PIPE 1 4 0.3"), "", "",
       {"Error: pipe cross-section type not valid: node 1 link 1.", "line 11"}},
      {"an outlet into channel link 0", replaced(pipes, "SJUNC 2 99.0 96.0 1.0 888 1 3", "SJUNC 2 99.0 96.0 1.0 999 0 3"),
       "", "", {"Superlink outlet channel link not found, at superjunction 2", "terminate on stream arcs."}},
      {"a drain junction starting two links", pipes, "STORM_DRAIN drains.txt\n",
       "SJUNC 1 100 98 1 1 1 1 0.6 0.5\nSJUNC 2 99 97 1 888 1 3 0 0\nSJUNC 3 100 98 1 1 1 1 0.6 0.5\n"
       "CONNECT 1 3 1\nCONNECT 2 3 2\nCONNECT 3 1 2\n"
       "SLINK 1 1\nNODE 1 100 98 0 0 1 1\nNODE 2 100 98 0 0 1 1\nPIPE 1 1 0.3 0.3 0.01 0.013 100\n"
       "SLINK 2 1\nNODE 1 100 98 0 0 1 1\nNODE 2 99 97 0 0 1 3\nPIPE 1 1 0.3 0.3 0.01 0.013 100\n"
       "SLINK 3 1\nNODE 1 100 98 0 0 1 1\nNODE 2 99 97 0 0 1 3\nPIPE 1 1 0.3 0.3 0.01 0.013 100\n",
       {"Superjunction 3 is upstream of more than one link", "drains.txt, line 5"}},
      {"a link number beyond the links", replaced(pipes, "CONNECT 1 1 2", "CONNECT 2 1 2"), "", "",
       {"pipes.txt, line 4: link number 2 is outside 1..1"}},
      {"an inlet off the grid", replaced(pipes, "SJUNC 1 100.0 98.0 2.0 1 1 1", "SJUNC 1 100.0 98.0 2.0 1 1 5"), "",
       "", {"pipes.txt, line 2: junction 1 (type 1) stands at row 1 column 5"}},
      {"an inlet on a cell outside the watershed",
       replaced(pipes, "SJUNC 1 100.0 98.0 2.0 1 1 1", "SJUNC 1 100.0 98.0 2.0 1 1 2"), "", "",
       {"pipes.txt, line 2: junction 1 (type 1) stands at row 1 column 2"}},
      {"a superlink from a junction to itself", replaced(pipes, "CONNECT 1 1 2", "CONNECT 1 1 1"), "", "",
       {"pipes.txt, line 4: link 1 runs from junction 1 to itself"}},
      {"an arch at a superlink end", replaced(pipes, "PIPE 4 1 0.3", "PIPE 4 2 0.3"), "", "",
       {"pipes.txt, line 14: pipe 4 ends superlink 1, and an arch has no critical or normal depth"}},
      {"an outlet into a channel of a run without channels",
       replaced(pipes, "SJUNC 2 99.0 96.0 1.0 888 1 3", "SJUNC 2 99.0 96.0 1.0 999 1 3"), "", "",
       {"pipes.txt, line 3: junction 2 is an outlet into channel link 1 node 3, but the run routes no channels"}},
      {"a drain chain ending at an inlet junction", pipes, "STORM_DRAIN drains.txt\n",
       replaced(one_drain, "SJUNC 2 99 97 1 888", "SJUNC 2 99 97 1 1"),
       {"drains.txt, line 2: junction 2 (type 1) is neither an outlet"}},
      {"an outlet at a link's upstream end", replaced(pipes, "CONNECT 1 1 2", "CONNECT 1 2 1"), "", "",
       {"pipes.txt, line 4: link 1 starts at junction 2, an outlet (type 888)"}},
      {"a value that is not a number", replaced(pipes, "PIPE 3 1 0.3 0.3 0.01", "PIPE 3 1 0.3 0.3 nan"), "", "",
       {"pipes.txt, line 13: slope \"nan\" is not a finite number"}},
      {"a missing node", replaced(pipes, "NODE 3 100.0 97.0 0.0 0 1 1 0 0\n", ""), "", "",
       {"link 1 (SLINK on line 5) has no NODE 3 before its last PIPE"}},
      {"a junction beyond the junctions", replaced(pipes, "CONNECT 1 1 2", "CONNECT 1 1 3"), "", "",
       {"pipes.txt, line 4: downstream junction 3 is outside 1..2"}},
      {"a node beyond its block", replaced(pipes, "NODE 5 100.0", "NODE 7 100.0"), "", "",
       {"pipes.txt, line 10: node number 7 is outside 1..5"}},
      {"an outlet onto a cell off the grid",
       replaced(pipes, "SJUNC 2 99.0 96.0 1.0 888 1 3", "SJUNC 2 99.0 96.0 1.0 888 2 3"), "", "",
       {"pipes.txt, line 3: junction 2 (type 888) stands at row 2 column 3"}},
      {"a drain outlet into a superjunction the network lacks", pipes, "STORM_DRAIN drains.txt\n",
       replaced(one_drain, "SJUNC 2 99 97 1 888 1 3", "SJUNC 2 99 97 1 666 9 0"),
       {"drains.txt, line 2: junction 2 is an outlet into superjunction 9; the superlink network has 1..2"}},
      {"a drain outlet into a fixed-head superjunction", pipes, "STORM_DRAIN drains.txt\n",
       replaced(one_drain, "SJUNC 2 99 97 1 888 1 3", "SJUNC 2 99 97 1 666 2 0"),
       {"drains.txt, line 2: junction 2 is an outlet into superjunction 2, which holds a fixed head (type 888)"}},
      {"a pipe count larger than the file", replaced(pipes, "SLINK 1 4", "SLINK 1 400000000"), "", "",
       {"pipes.txt, line 5: pipe count 400000000 is larger than the lines left in the file"}},
  };
  for (const row& r : rows) {
    const run_result res = run_with(r.pipes, r.extra, r.drains);
    EXPECT_EQ(res.exit_code, 1) << r.label << "\n" << res.out;
    for (const std::string& s : r.says) EXPECT_NE(res.out.find(s), std::string::npos) << r.label << ": " << s << "\n" << res.out;
  }
}

TEST(PipeFile, AFlowLogThatCannotBeWrittenStopsTheRun) {
  scratch_dir dir;
  for (const auto& e : fs::directory_iterator(data_dir() / "pipe_runs" / "sewer"))
    fs::copy_file(e.path(), dir / e.path().filename().string());
  fs::create_directory(dir / "superlink_flows.out");  // a folder where the log would go
  const run_result r = run_program(kavro_binary(), {"p.prj"}, dir.path());
  EXPECT_EQ(r.exit_code, 1) << r.out;
  EXPECT_NE(r.out.find("Can't open file superlink_flows.out'"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Running"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace kavro_test
