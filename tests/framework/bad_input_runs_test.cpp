// Whole runs of the kavro program on bad input, as a user meets them: the
// small hillslope of tests/data/hillslope with one thing wrong. No bad input
// may crash or hang the program, write over a file the run reads, or end
// with exit 0 after an error message.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "input/card_value_checks.h"
#include "input/file_name_clash.h"
#include "test_support.h"

namespace kavro {
namespace {

namespace fs = std::filesystem;
using kavro_test::data_dir;
using kavro_test::kavro_binary;
using kavro_test::read_file;
using kavro_test::run_program;
using kavro_test::run_result;
using kavro_test::scratch_dir;
using kavro_test::write_file;

fs::path sample_dir() { return data_dir() / "hillslope"; }

// A copy of the hillslope in `dir` with `extra` lines added to its
// project file.
void copy_sample(const scratch_dir& dir, const std::string& extra = "") {
  for (const char* name : {"sample.prj", "mask.asc", "elevation.asc"}) fs::copy_file(sample_dir() / name, dir / name);
  write_file(dir / "sample.prj", read_file(dir / "sample.prj") + extra);
}

// Runs kavro in `dir` with one thread; a run that hangs is ended after 10 s
// (exit 124).
run_result run_kavro(const scratch_dir& dir, const std::vector<std::string>& args = {"sample.prj"}) {
  std::vector<std::string> all = {"10", kavro_binary().string()};
  all.insert(all.end(), args.begin(), args.end());
  return run_program("/usr/bin/timeout", all, dir.path(), "", {"OMP_NUM_THREADS=1"});
}

TEST(BadInputRuns, TheSampleRunsCleanly) {
  scratch_dir dir;
  copy_sample(dir);
  const run_result r = run_kavro(dir);
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_EQ(r.out.find("Error"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Warning: card"), std::string::npos) << r.out;
}

// Every output card that names the mask or the project file stops the run
// before anything is written: both files stay as they were. The channel
// hotstarts and the nutrient hydrographs add their own suffixes to the name,
// so they write beside the file, never over it.
TEST(BadInputRuns, NoOutputCardWritesOverAnInput) {
  const std::string mask = read_file(sample_dir() / "mask.asc");
  // The nutrient outputs need the nutrient model.
  const std::string project = read_file(sample_dir() / "sample.prj") + "NUTRIENTS\n";
  for (const project_card card : output_file_cards()) {
    const std::string label = card_label(card);
    const bool suffixed =
        label.starts_with("OUT_HYD_") || label == "EXPLIC_BACKWATER" || label == "WRITE_CHAN_HOTSTART";
    for (const char* victim : {"mask.asc", "sample.prj"}) {
      SCOPED_TRACE(label + " " + victim);
      scratch_dir dir;
      copy_sample(dir);
      const std::string line = label + " " + victim + "\n";
      write_file(dir / "sample.prj", project + line);
      const run_result r = run_kavro(dir);
      if (!suffixed) {
        EXPECT_EQ(r.exit_code, 1) << r.out;
        // The map cards of grid files (the default MAP_TYPE 0) name a folder.
        const std::string start = "Error: card " + label + " (line 22) names the output ";
        EXPECT_TRUE(r.out.find(start + "file " + victim) != std::string::npos ||
                    r.out.find(start + "folder " + victim) != std::string::npos)
            << r.out;
      }
      EXPECT_TRUE(r.exit_code == 0 || r.exit_code == 1) << r.exit_code;
      EXPECT_EQ(read_file(dir / "mask.asc"), mask);
      EXPECT_EQ(read_file(dir / "sample.prj"), project + line);
    }
  }
  // The channel hotstart is opened for writing before the one read is read:
  // one name for both is refused.
  scratch_dir dir;
  copy_sample(dir, "READ_CHAN_HOTSTART h\nWRITE_CHAN_HOTSTART h\n");
  const run_result r = run_kavro(dir);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("card WRITE_CHAN_HOTSTART (line 22) names the output file h.dht, which card "
                       "READ_CHAN_HOTSTART (line 21) names as an input"),
            std::string::npos)
      << r.out;
}

TEST(BadInputRuns, TwoOutputsOnOneFileWriteNothing) {
  scratch_dir dir;
  copy_sample(dir, "OUTLET_HYDRO summary.txt\n");
  run_result r = run_kavro(dir);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("Error: card SUMMARY (line 19) and card OUTLET_HYDRO (line 21) name the same output file "
                       "summary.txt"),
            std::string::npos)
      << r.out;
  EXPECT_FALSE(fs::exists(dir / "summary.txt"));
  EXPECT_FALSE(fs::exists(dir / "maskmap"));

  // The mask copy every run writes counts as an output.
  scratch_dir dir2;
  copy_sample(dir2, "OUTLET_HYDRO maskmap\n");
  r = run_kavro(dir2);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("the mask copy that every run writes name the same output file maskmap"), std::string::npos)
      << r.out;

  // A hotstart's companion file is one of the run's outputs too.
  scratch_dir dir3;
  copy_sample(dir3, "WRITE_OV_HOTSTART h.asc\nOUTLET_HYDRO h.asc.ovs\n");
  r = run_kavro(dir3);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("name the same output file h.asc.ovs"), std::string::npos) << r.out;
}

// A hotstart written at the end over the hotstart the run started from, and
// a batch run whose prefixed outputs never meet the inputs, run.
TEST(BadInputRuns, OutputsWrittenAfterTheirInputRun) {
  scratch_dir dir;
  copy_sample(dir, "OV_INIT_DEPTH h.asc\nWRITE_OV_HOTSTART h.asc\n");
  std::string depths = read_file(dir / "mask.asc");
  write_file(dir / "h.asc", depths);
  run_result r = run_kavro(dir);
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_NE(r.out.find("the overland solver starts afresh"), std::string::npos) << r.out;
  // The solver state written beside the depths is read back by the next run
  // over the same pair of files.
  ASSERT_TRUE(fs::exists(dir / "h.asc.ovs"));
  r = run_kavro(dir);
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_NE(r.out.find("reading overland solver state from file: h.asc.ovs"), std::string::npos) << r.out;

  scratch_dir batch;
  copy_sample(batch, "OUTLET_HYDRO mask.asc\n");
  r = run_kavro(batch, {"-b1", "sample.prj"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_TRUE(fs::exists(batch / "0000_mask.asc"));
  EXPECT_EQ(read_file(batch / "mask.asc"), read_file(sample_dir() / "mask.asc"));
}

// The refusal table: one bad thing per run, the exit status and the key
// words of the message. No row may print "Error" and exit 0.
TEST(BadInputRuns, RefusalTable) {
  struct refusal {
    const char* label;
    std::string extra;                // lines added to the project
    std::vector<std::string> args;    // command line (empty: the project)
    std::vector<std::pair<std::string, std::string>> files;  // files written first
    int exit_code;
    std::vector<std::string> words;
  };
  const std::string pairs = "REPLACE_PARAMS params.txt\nREPLACE_VALS values.txt\n";
  const std::vector<refusal> table = {
      {"TIMESTEP nan", "TIMESTEP nan\n", {}, {}, 1, {"card TIMESTEP on line 21", "nan is not a finite number"}},
      {"TIMESTEP inf", "TIMESTEP inf\n", {}, {}, 1, {"card TIMESTEP on line 21", "inf"}},
      {"TIMESTEP 0", "TIMESTEP 0\n", {}, {}, 1, {"TIMESTEP", "above 0"}},
      {"TIMESTEP -5", "TIMESTEP -5\n", {}, {}, 1, {"TIMESTEP", "-5"}},
      {"HYD_FREQ nan", "HYD_FREQ nan\n", {}, {}, 1, {"card HYD_FREQ on line 21"}},
      {"HYD_FREQ 1e308", "HYD_FREQ 1e308\n", {}, {}, 1, {"HYD_FREQ", "1e+308"}},
      {"MAP_FREQ 2147483647", "MAP_FREQ 2147483647\n", {}, {}, 1, {"MAP_FREQ", "time steps"}},
      {"GRIDSIZE 0", "GRIDSIZE 0\n", {}, {}, 1, {"GRIDSIZE"}},
      {"RAIN_DURATION beyond int", "RAIN_DURATION 99999999999\n", {}, {}, 1, {"RAIN_DURATION", "99999999999"}},
      {"RAIN_DURATION -99999999999", "RAIN_DURATION -99999999999\n", {}, {}, 1, {"RAIN_DURATION"}},
      {"RAIN_DURATION -5", "RAIN_DURATION -5\n", {}, {}, 1, {"RAIN_DURATION", "negative"}},
      {"RAIN_INTENSITY -1", "RAIN_INTENSITY -1\n", {}, {}, 1, {"RAIN_INTENSITY", "negative"}},
      {"MANNING_N -0.1", "MANNING_N -0.1\n", {}, {}, 1, {"MANNING_N", "negative"}},
      {"TOT_TIME -1", "TOT_TIME -1\n", {}, {}, 1, {"TOT_TIME", "negative"}},
      {"TOT_TIME 0", "TOT_TIME 0\n", {}, {}, 1, {"no end", "TOT_TIME"}},
      {"TOT_TIME 12p", "TOT_TIME 12p\n", {}, {}, 1, {"card TOT_TIME on line 21", "\"12p\" is not a number"}},
      {"TOT_TIME 6h", "TOT_TIME 6h\n", {}, {}, 1, {"card TOT_TIME on line 21", "\"6h\" is not a number"}},
      {"TOT_TIME 1e12", "TOT_TIME 1e12\n", {}, {}, 1, {"card TOT_TIME on line 21", "1e12 is beyond the range"}},
      {"TOT_TIME 6.5", "TOT_TIME 6.5\n", {}, {}, 1, {"card TOT_TIME on line 21", "6.5 is not a whole number"}},
      {"TOT_TIME 120.0", "TOT_TIME 120.0\n", {}, {}, 0, {}},
      {"OUTROW 1e308", "OUTROW 1e308\n", {}, {}, 1, {"card OUTROW on line 21", "1e308 is beyond the range"}},
      {"START_TIME nan 0", "START_TIME nan 0\n", {}, {}, 1, {"card START_TIME on line 21", "nan is not a whole"}},
      {"END_TIME nan", "END_TIME nan\n", {}, {}, 1, {"card END_TIME on line 21", "nan is not a whole"}},
      {"HYD_FREQ word", "HYD_FREQ \xC3\xA9\xE2\x9C\x93\n", {}, {}, 1,
       {"card HYD_FREQ on line 21", "\"\xC3\xA9\xE2\x9C\x93\" is not a number"}},
      {"GRIDSIZE 20m", "GRIDSIZE 20m\n", {}, {}, 1, {"card GRIDSIZE on line 21", "\"20m\""}},
      {"RETENTION -1", "RETENTION -1\n", {}, {}, 1, {"card RETENTION", "-1 mm", "must not be negative"}},
      {"RETEN_DEPTH -2.5", "RETEN_DEPTH -2.5\n", {}, {}, 1, {"card RETEN_DEPTH", "-2.5 mm"}},
      {"RETEN_DEPTH map of negative depths", "RETEN_DEPTH ret.asc\n", {},
       {{"ret.asc", "north: 4100.00\nsouth: 4000.00\neast: 2120.00\nwest: 2000.00\nrows: 5\ncols: 6\n" +
                        std::string("2 2 2 2 2 2\n2 2 -3 2 2 2\n2 2 2 2 2 2\n2 2 2 2 2 2\n2 2 2 2 2 2\n")}},
       1, {"the retention depth -3 mm of cell", "(row 2, column 3), from ret.asc, is negative"}},
      {"MANNING_N 1e308", "MANNING_N 1e308\n", {}, {}, 1, {"card MANNING_N gives 1e+308"}},
      {"TIMESTEP 1e308", "TIMESTEP 1e308\n", {}, {}, 1, {"card TIMESTEP gives 1e+308 s", "120 minutes"}},
      {"TIMESTEP beyond END_TIME", "TIMESTEP 7200\nTOT_TIME 0\nEND_TIME 2001 3 1 1 0\n", {}, {}, 1,
       {"card TIMESTEP gives 7200 s", "3600 s from START_DATE to END_TIME"}},
      {"OUTROW 2147483647", "OUTROW 2147483647\n", {}, {}, 1, {"OUTROW 2147483647", "rows 1 to 5"}},
      {"OUTROW 2147483648", "OUTROW 2147483648\n", {}, {}, 1, {"card OUTROW on line 21", "beyond the range"}},
      {"OUTCOL 0", "OUTCOL 0\n", {}, {}, 1, {"OUTCOL 0", "columns 1 to 6"}},
      {"ROWS 0", "ROWS 0\n", {}, {}, 1, {"ROWS"}},
      {"START_DATE 2001 13 45", "START_DATE 2001 13 45\n", {}, {}, 1, {"START_DATE", "month 13"}},
      {"START_DATE 2001 2 29", "START_DATE 2001 2 29\n", {}, {}, 1, {"START_DATE", "day 29", "days 1 to 28"}},
      {"START_TIME 2147483647 0", "START_TIME 2147483647 0\n", {}, {}, 1, {"START_TIME", "hour 2147483647"}},
      {"START_TIME 0 60", "START_TIME 0 60\n", {}, {}, 1, {"START_TIME", "minute 60"}},
      {"END_TIME 2001 3 1 24 0", "END_TIME 2001 3 1 24 0\n", {}, {}, 1, {"END_TIME", "hour 24"}},
      {"NUM_THREADS 0", "NUM_THREADS 0\n", {}, {}, 1, {"unable to set the thread level to 0"}},
      {"mask header 30000 x 30000", "ROWS 30000\nCOLS 30000\nOUTROW 5\n", {}, {}, 1,
       {"watershed mask mask.asc", "5 rows and 6 columns", "ROWS 30000 and COLS 30000"}},
      {"missing time series", "TIME_SERIES_FILE none.ts\n", {}, {}, 1, {"Time series file not found [none.ts]"}},
      {"missing replacement list", "REPLACE_PARAMS none.txt\n", {}, {}, 1, {"unable to open the replace parameter file"}},
      {"format too wide", pairs, {}, {{"params.txt", "1\n[K] \"%999999999d\"\n"}, {"values.txt", "1\n"}}, 1,
       {"Improperly formatted line", "at most 100"}},
      {"improper pair line", pairs, {}, {{"params.txt", "1\nK %d\n"}, {"values.txt", "1\n"}}, 1,
       {"Improperly formatted line"}},
      {"short pair list", pairs, {}, {{"params.txt", "3\n[K] \"%d\"\n"}, {"values.txt", "1\n"}}, 1,
       {"unexpected end of parameter list file"}},
      {"unmatched key", pairs + "MANNING_N [Q]\n", {}, {{"params.txt", "1\n[K] \"%d\"\n"}, {"values.txt", "1\n"}}, 1,
       {"unable to match replace pair"}},
      {"batch run without its value line", pairs + "TOT_TIME [K]\n", {"-b3", "sample.prj"},
       {{"params.txt", "1\n[K] \"%d\"\n"}, {"values.txt", "60\n120\n"}}, 1,
       {"value file values.txt has no line 3 for run 0002"}},
      {"-b-1", "", {"-b-1", "sample.prj"}, {}, 1, {"Usage: kavro"}},
      {"-b99999999999", "", {"-b99999999999", "sample.prj"}, {}, 1, {"Usage: kavro"}},
      {"a batch of a project that does not open", "", {"-b1000000", "nope.prj"}, {}, 1,
       {"the batch stops at run 0000 of 1000000: its project file nope.prj cannot be opened"}},
      {"-m2147483647", "", {"-m2147483647", "mc.in"}, {}, 1, {"Usage: kavro"}},
      {"-m99999999999", "", {"-m99999999999", "mc.in"}, {}, 1, {"Usage: kavro"}},
      {"unknown option", "", {"-q"}, {}, 1, {"Usage: kavro"}},
      {"extra argument", "", {"sample.prj", "other"}, {}, 1, {"Usage: kavro"}},
      {"--help", "", {"--help"}, {}, 0, {"Usage: kavro"}},
  };
  for (const refusal& row : table) {
    SCOPED_TRACE(row.label);
    scratch_dir dir;
    copy_sample(dir, row.extra);
    for (const auto& [name, text] : row.files) write_file(dir / name, text);
    const run_result r = row.args.empty() ? run_kavro(dir) : run_kavro(dir, row.args);
    EXPECT_EQ(r.exit_code, row.exit_code) << r.out;
    for (const std::string& w : row.words) EXPECT_NE(r.out.find(w), std::string::npos) << w << "\n" << r.out;
    if (r.exit_code == 0) {
      EXPECT_EQ(r.out.find("Error"), std::string::npos) << r.out;
    }
  }
}

// Maps that do not fit the grid: refused before any grid-sized array exists
// or any value is used.
TEST(BadInputRuns, MapsThatDoNotFitAreRefused) {
  scratch_dir shifted;
  copy_sample(shifted);
  std::string elevation = read_file(shifted / "elevation.asc");
  elevation.replace(elevation.find("north: 4100.00"), 14, "north: 5100.00");
  elevation.replace(elevation.find("south: 4000.00"), 14, "south: 5000.00");
  write_file(shifted / "elevation.asc", elevation);
  run_result r = run_kavro(shifted);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("north edge of the elevation map elevation.asc is 5100.00, that of the watershed mask "
                       "mask.asc 4100.00"),
            std::string::npos)
      << r.out;

  scratch_dir nul;
  copy_sample(nul);
  std::string mask = read_file(nul / "mask.asc");
  std::size_t row3 = 0;
  for (int line = 0; line < 8; ++line) row3 = mask.find('\n', row3) + 1;  // six header lines, rows 1 and 2
  mask[row3 + 4] = '\0';
  write_file(nul / "mask.asc", mask);
  r = run_kavro(nul);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("Error: map mask.asc, row 3, column 3"), std::string::npos) << r.out;
}

// The project file's first line is read with a bound: a huge file without
// a line end is refused as a project at once.
TEST(BadInputRuns, HugeFirstLineIsRefusedQuickly) {
  scratch_dir dir;
  write_file(dir / "big.prj", std::string(16u << 20, 'K'));
  const run_result r = run_kavro(dir, {"big.prj"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("File Does not Appear to be a Valid KAVRO/TORVEN Project file"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace kavro
