// A run that is refused leaves the results of the run before it as they
// were; an output that cannot be created stops the run before its time loop,
// naming the card; a run that stops inside its time loop says why in its
// summary. The projects are the sample valley of examples/sample (2,020
// cells, a channel, a two-gauge storm, Green-Ampt soils, depth maps) and the
// small hillslope of tests/data/hillslope.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "test_support.h"

namespace kavro {
namespace {

namespace fs = std::filesystem;
using kavro_test::read_file;
using kavro_test::run_program;
using kavro_test::run_result;
using kavro_test::scratch_dir;
using kavro_test::write_file;

fs::path valley_dir() { return kavro_test::data_dir() / ".." / ".." / "examples" / "sample"; }

void copy_folder(const fs::path& from, const scratch_dir& dir) {
  for (const auto& entry : fs::directory_iterator(from)) fs::copy_file(entry.path(), dir / entry.path().filename().string());
}

run_result run_kavro(const scratch_dir& dir, const std::string& project) {
  return run_program(kavro_test::kavro_binary(), {project}, dir.path());
}

// Every file under the folder, by its path relative to it, with its content.
std::map<std::string, std::string> snapshot(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file())
      files[fs::relative(entry.path(), root).string()] = read_file(entry.path());
  return files;
}

// The line of `card` in a project text (1 for the header line).
int line_of(const std::string& project, const std::string& card) {
  const auto at = project.find("\n" + card + " ");
  return 2 + static_cast<int>(std::count(project.begin(), project.begin() + static_cast<long>(at), '\n'));
}

// A map of the valley's grid whose header gives one column too few.
std::string short_header_map(const fs::path& map) {
  std::string text = read_file(map);
  const auto at = text.find("cols: 40");
  return text.replace(at, 8, "cols: 39");
}

TEST(EarlierResults, ARefusedRunLeavesEveryFileOfTheRunBeforeIt) {
  struct refusal {
    const char* name;
    std::string remove_card;  // a card taken out of the project
    std::string card, value;  // a card given (or replaced) in the project
    std::string bad_map;      // a map given a header of one column too few
    std::string message;
  };
  const refusal cases[] = {
      {"misspelt roughness card", "MANNING_N", "MANING_N", "0.06", "", "did you mean MANNING_N?"},
      {"cell size of another grid", "", "GRIDSIZE", "25", "", "The grid size specified in the project file"},
      {"conductivity map missing", "", "CONDUCTIVITY", "missing.asc", "", "missing.asc"},
      {"map header with a column too few", "", "", "", "porosity.asc", "porosity.asc"},
  };
  for (const refusal& c : cases) {
    SCOPED_TRACE(c.name);
    scratch_dir dir;
    copy_folder(valley_dir(), dir);
    const run_result first = run_kavro(dir, "valley.prj");
    ASSERT_EQ(first.exit_code, 0) << first.out;
    const auto before = snapshot(dir.path());
    ASSERT_GT(before.count("summary.txt"), 0u);
    ASSERT_GT(before.count("maps/depth.0006.asc"), 0u);
    ASSERT_GT(before.at("outlet.txt").size(), 0u);

    std::string project = read_file(dir / "valley.prj");
    if (!c.remove_card.empty()) project = kavro_test::without_card(project, c.remove_card);
    if (!c.card.empty()) project = kavro_test::with_card(project, c.card, c.value);
    write_file(dir / "valley.prj", project);
    if (!c.bad_map.empty()) write_file(dir / c.bad_map, short_header_map(dir / c.bad_map));
    const run_result second = run_kavro(dir, "valley.prj");
    EXPECT_EQ(second.exit_code, 1) << second.out;
    EXPECT_NE(second.out.find(c.message), std::string::npos) << second.out;
    EXPECT_EQ(second.out.find("Running...."), std::string::npos) << second.out;

    const auto after = snapshot(dir.path());
    for (const auto& [name, text] : before) {
      if (name == "valley.prj" || name == c.bad_map) continue;
      ASSERT_GT(after.count(name), 0u) << name;
      if (name == "out_time.out") {
        // Every run adds its time to this log of run times.
        EXPECT_TRUE(after.at(name).starts_with(text));
      } else {
        EXPECT_EQ(after.at(name), text) << name;
      }
    }
    // Nothing the refused run began is left behind.
    for (const auto& [name, text] : after) EXPECT_GT(before.count(name), 0u) << name;
  }
}

// The misspelt card of a refused run is named on the console, with its line
// and the card meant, since the run ends before any summary is written.
TEST(EarlierResults, TheConsoleNamesTheMisspeltCardOfARefusedRun) {
  scratch_dir dir;
  copy_folder(valley_dir(), dir);
  std::string project = read_file(dir / "valley.prj");
  const int line = line_of(project, "MANNING_N");
  project.replace(project.find("MANNING_N"), 9, "MANING_N");
  write_file(dir / "valley.prj", project);
  const run_result r = run_kavro(dir, "valley.prj");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("unknown card found in the project file: maning_n (line " + std::to_string(line) +
                       " of valley.prj); did you mean MANNING_N?"),
            std::string::npos)
      << r.out;
  EXPECT_FALSE(fs::exists(dir / "summary.txt"));
}

TEST(OutputNames, OutputsThatCannotBeCreatedStopBeforeTheTimeLoop) {
  struct case_t {
    const char* name;
    std::string card, value;
    std::string message;
  };
  const std::string long_name(5000, 'f');
  const case_t cases[] = {
      {"a name of 5,000 characters", "FLOOD_GRID", long_name,
       "names the output file ffffffffff"},
      {"a folder that is a file", "OUTLET_HYDRO", "mask.asc/outlet.txt",
       "names the output file mask.asc/outlet.txt, which cannot be created"},
      {"grid maps in a folder that is a file", "DEPTH", "elevation.asc/maps",
       "names the output folder elevation.asc/maps, which cannot be created"},
      {"a file that is a folder", "SUMMARY", "results",
       "names the output file results, which cannot be created (Is a directory)"},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.name);
    scratch_dir dir;
    copy_folder(kavro_test::data_dir() / "hillslope", dir);
    std::string project = read_file(dir / "sample.prj");
    if (c.card == "DEPTH") project += "MAP_TYPE          0\nMAP_FREQ          10\n";
    if (c.value == "results") fs::create_directory(dir / "results");
    project = kavro_test::with_card(project, c.card, c.value);
    write_file(dir / "sample.prj", project);
    const auto files_before = snapshot(dir.path());
    const run_result r = run_kavro(dir, "sample.prj");
    EXPECT_EQ(r.exit_code, 1) << r.out;
    const std::string card = "Error: card " + c.card + " (line " + std::to_string(line_of(project, c.card)) + ") ";
    EXPECT_NE(r.out.find(card + c.message), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Running...."), std::string::npos) << r.out;
    // No output at all, and no file under a name that no card gives.
    for (const auto& [name, text] : snapshot(dir.path()))
      EXPECT_TRUE(files_before.count(name) || name == "out_time.out") << name;
  }
}

// Two map cards naming one folder write different files there when maps are
// grid files; in the dataset styles the card names the file itself.
TEST(OutputNames, MapCardsSharingAFolderAreComparedByTheFilesTheyWrite) {
  struct case_t {
    const char* name;
    std::string cards;
    bool refused;
    std::string message;
  };
  const case_t cases[] = {
      {"grid files in one folder", "MAP_TYPE 0\nDEPTH maps\nINF_DEPTH maps\nDIS_RAIN maps\n", false, ""},
      {"one dataset file for two maps", "MAP_TYPE 1\nDEPTH maps\nDIS_RAIN maps\n", true,
       "name the same output file maps"},
      {"a file where the maps' folder must be", "MAP_TYPE 0\nDEPTH outlet_hydro.txt\n", true,
       "Error: card OUTLET_HYDRO (line 20) names the file outlet_hydro.txt, which card DEPTH (line 23) names as "
       "the folder of its maps"},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.name);
    scratch_dir dir;
    copy_folder(kavro_test::data_dir() / "hillslope", dir);
    write_file(dir / "sample.prj", read_file(dir / "sample.prj") + "MAP_FREQ 30\n" + c.cards);
    const run_result r = run_kavro(dir, "sample.prj");
    EXPECT_EQ(r.exit_code, c.refused ? 1 : 0) << r.out;
    if (c.refused) {
      EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
      continue;
    }
    for (const char* frame : {"maps/depth.0001.asc", "maps/infdep.0001.asc", "maps/rain.0004.asc"})
      EXPECT_TRUE(fs::exists(dir / frame)) << frame;
  }
}

// A radar grid that cannot be read stops the run in its time loop: the
// summary of the run says so, with the console's message.
TEST(EarlierResults, ARunStoppedInItsTimeLoopSaysWhyInItsSummary) {
  scratch_dir dir;
  copy_folder(kavro_test::data_dir() / "hillslope", dir);
  std::string project = read_file(dir / "sample.prj");
  for (const char* card : {"RAIN_INTENSITY", "RAIN_DURATION", "START_DATE", "START_TIME"})
    project = kavro_test::without_card(project, card);
  write_file(dir / "sample.prj", project + "PRECIP_FILE       radar.dat\n");
  // One radar cell over the whole hillslope (west 2000, north 4100).
  write_file(dir / "r1.asc", "ncols 1\nnrows 1\nxllcorner 1990\nyllcorner 3990\ncellsize 200\nNODATA_value -9999\n1\n");
  write_file(dir / "radar.dat",
             "EVENT \"radar\"\nNRGAG FILES\nNRPDS 3\nRADAR 2001 3 1 0 0 r1.asc\nRADAR 2001 3 1 0 30 r2.asc\n"
             "RADAR 2001 3 1 1 0 r3.asc\n");
  const run_result r = run_kavro(dir, "sample.prj");
  EXPECT_EQ(r.exit_code, 1) << r.out;
  const std::string message = "a RADAR line of the precipitation file names the radar grid r2.asc, which is not in";
  EXPECT_NE(r.out.find(message), std::string::npos) << r.out;
  const std::string summary = read_file(dir / "summary.txt");
  EXPECT_NE(summary.find("The run stopped on an error in the step"), std::string::npos) << summary;
  EXPECT_NE(summary.find(message), std::string::npos) << summary;
  EXPECT_NE(summary.find("Error in reading radar precip file r2.asc"), std::string::npos) << summary;
}

}  // namespace
}  // namespace kavro
