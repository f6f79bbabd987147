// The per-cell loaders as a user meets them: the kavro program on the
// example project with a bad roughness, lake, location or exchange input.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace {

using kavro_test::read_file;
using kavro_test::write_file;

const std::string header = "north: 1030\nsouth: 1000\neast: 540\nwest: 500\nrows: 3\ncols: 4\n";

struct refusal {
  const char* what;
  std::string manning;  // replaces the MANNING_N card
  std::string cards;    // added to the project
  std::vector<std::pair<std::string, std::string>> files;
  std::string printed;  // on the console or the error stream
};

TEST(LoaderRun, BadInputsEndTheRunWithStatusOne) {
  const std::vector<refusal> cases = {
      {"zero roughness", "ROUGHNESS rough.asc", "",
       {{"rough.asc", header + "0 0.05 0.05 0\n0.05 0.0 0.05 0.05\n0 0.05 0.05 0\n"}},
       "Overland Manning n=0 at grid cell 4.  Program terminating.\n"
       "Check your overland roughness inputs, mapping table and index map \n"},
      {"NaN roughness", "ROUGHNESS rough.asc", "",
       {{"rough.asc", header + "0 0.05 0.05 0\n0.05 nan 0.05 0.05\n0 0.05 0.05 0\n"}},
       "rough.asc, row 2, column 2: the value of an active cell is not a finite number"},
      {"tiny uniform n", "MANNING_N 0.000001", "", {},
       "Invalid spatially uniform overland flow Manning n value=0.000001\n"},
      {"lake cards", "MANNING_N 0.05", "OVERLAND_LAKE_MAP lakes.asc\nOVERLAND_LAKE_FILE lakes.txt\n",
       {{"lakes.asc", header + "0 1 1 0\n2 2 4 4\n0 0 0 0\n"},
        {"lakes.txt", "KAVRO_OVERLAND_LAKE_FILE\nLAKE 1 20 0\nLAKE 2 20 0\nLAKE 4 20 0\n"}},
       "Expected 4 LAKE cards, read 3\n"},
      {"short location list", "MANNING_N 0.05", "IN_THETA_LOCATION theta.loc\nOUT_THETA_LOCATION theta.out\n",
       {{"theta.loc", "3\n1 2\n2 2\n"}},
       "End of file reached in file theta.loc, exiting\n"},
      {"missing exchange map", "MANNING_N 0.05", "QLN\nVOPA\nQLN_EVENT_NUM 1\nVOPA_FIRST\nROUGH_FROM_VOPA r.asc\n", {},
       "1 Can't open roughness exchange file exchange/r.asc for reading\n"},
  };
  for (const refusal& c : cases) {
    kavro_test::scratch_dir dir;
    for (const char* name : {"mask.asc", "elevation.asc", "p.prj"})
      std::filesystem::copy_file(kavro_test::data_dir() / "run" / name, dir / name);
    std::string project = read_file(dir / "p.prj");
    const std::string manning = "MANNING_N         0.05";
    project.replace(project.find(manning), manning.size(), c.manning);
    write_file(dir / "p.prj", project + c.cards);
    for (const auto& [name, text] : c.files) write_file(dir / name, text);
    const auto r = kavro_test::run_program(kavro_test::kavro_binary(), {"p.prj"}, dir.path());
    EXPECT_EQ(r.exit_code, 1) << c.what << "\n" << r.out;
    EXPECT_NE((r.out + r.err).find(c.printed), std::string::npos) << c.what << "\n" << r.out << r.err;
  }
}

TEST(LoaderRun, ARoughnessMapIsAnnouncedInTheRunLog) {
  kavro_test::scratch_dir dir;
  for (const char* name : {"mask.asc", "elevation.asc", "p.prj"})
    std::filesystem::copy_file(kavro_test::data_dir() / "run" / name, dir / name);
  std::string project = read_file(dir / "p.prj");
  const std::string manning = "MANNING_N         0.05";
  project.replace(project.find(manning), manning.size(), "ROUGHNESS rough.asc");
  write_file(dir / "p.prj", project);
  write_file(dir / "rough.asc", header + "0 0.05 0.05 0\n0.05 0.05 0.05 0.05\n0 0.05 0.05 0\n");
  const auto r = kavro_test::run_program(kavro_test::kavro_binary(), {"p.prj"}, dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_NE(read_file(dir / "summary.txt").find("reading roughness map from file: rough.asc\n"), std::string::npos);
}

}  // namespace
