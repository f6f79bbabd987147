// Warnings of whole runs of the small hillslope (22 cells of 20 m, a one-hour
// storm): the run goes on, the console shows the warning when it is given,
// and the summary lists it under "THE FOLLOWING WARNINGS ARE GIVEN:" in place
// of "No Warnings.".
#include <gtest/gtest.h>

#include <omp.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace kavro {
namespace {

namespace fs = std::filesystem;
using kavro_test::read_file;
using kavro_test::write_file;

// The warning block of a summary: from its heading to the next blank line.
std::string warning_block(const std::string& summary) {
  const auto at = summary.find("THE FOLLOWING WARNINGS ARE GIVEN:");
  if (at == std::string::npos) return {};
  return summary.substr(at, summary.find("\n\n", at) - at);
}

TEST(RunWarnings, EveryWarningOfARunIsListedInItsSummary) {
  struct case_t {
    const char* name;
    std::vector<std::pair<std::string, std::string>> cards;  // given (or replaced) in the project
    std::vector<std::string> warnings;
  };
  const std::string threads = std::to_string(omp_get_num_procs());
  const case_t cases[] = {
      {"a misspelt infiltration card and the soil maps it leaves unused",
       {{"GREEN_AMP", ""}, {"CONDUCTIVITY", "soil.asc"}, {"POROSITY", "soil.asc"}},
       {"Warning: unknown card found in the project file: green_amp (line 22 of p.prj); did you mean GREEN_AMPT? "
        "The line is not used.",
        "Warning: the project gives the soil maps of CONDUCTIVITY, POROSITY, but no infiltration method is "
        "switched on (GREEN_AMPT, INF_REDIST or INF_LAYERED_SOIL): the maps are not used and no water "
        "infiltrates."}},
      {"more threads than processors", {{"NUM_THREADS", "100000"}},
       {"Warning: NUM_THREADS 100000 asks for more threads than the " + threads +
        " processors of this machine; " + threads + " threads are used."}},
      {"a storm of 2,000 mm/h", {{"RAIN_INTENSITY", "2000"}},
       {"Warning: RAIN_INTENSITY 2000 mm/h is more than 1000 mm/h"}},
      {"a storm shown as 0.0 mm/h", {{"RAIN_INTENSITY", "0.04"}},
       {"Warning: RAIN_INTENSITY 0.04 mm/h is less than 0.05 mm/h (the summary shows it as 0.0 mm/h)"}},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.name);
    kavro_test::scratch_dir dir;
    for (const auto& entry : fs::directory_iterator(kavro_test::data_dir() / "hillslope"))
      fs::copy_file(entry.path(), dir / entry.path().filename().string());
    write_file(dir / "soil.asc", read_file(dir / "mask.asc"));
    // The map interval given (line 21): its default draws a warning of its own.
    std::string project = kavro_test::with_card(read_file(dir / "sample.prj"), "MAP_FREQ", "60");
    for (const auto& [card, value] : c.cards) project = kavro_test::with_card(project, card, value);
    write_file(dir / "p.prj", project);
    const auto r = kavro_test::run_program(kavro_test::kavro_binary(), {"p.prj"}, dir.path());
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string block = warning_block(read_file(dir / "summary.txt"));
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(block.find("No Warnings."), std::string::npos) << block;
    for (const std::string& w : c.warnings) {
      EXPECT_NE(r.out.find(w), std::string::npos) << w << "\n" << r.out;
      EXPECT_NE(block.find("-" + w), std::string::npos) << w << "\n" << block;
    }
  }
}

// A gauge file whose values read as a rate far above any storm: the warning
// names the gauge and says what the values of its kind mean.
TEST(RunWarnings, AGaugeRateAbove1000MmPerHourIsNamed) {
  kavro_test::scratch_dir dir;
  for (const auto& entry : fs::directory_iterator(kavro_test::data_dir() / "hillslope"))
    fs::copy_file(entry.path(), dir / entry.path().filename().string());
  std::string project = read_file(dir / "sample.prj");
  for (const char* card : {"RAIN_INTENSITY", "RAIN_DURATION", "START_DATE", "START_TIME"})
    project = kavro_test::without_card(project, card);
  write_file(dir / "p.prj", kavro_test::with_card(project, "MAP_FREQ", "60") + "PRECIP_FILE       rain.gag\n");
  // 400 mm in the second quarter of an hour: 1,600 mm/h.
  write_file(dir / "rain.gag",
             "EVENT \"cloudburst\"\nNRGAG 2\nNRPDS 3\nCOORD 2050 4050\nCOORD 2100 4000\n"
             "GAGES 2001 3 1 0 0 0 0\nGAGES 2001 3 1 0 15 5 5\nGAGES 2001 3 1 0 30 6 400\n");
  const auto r = kavro_test::run_program(kavro_test::kavro_binary(), {"p.prj"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.out;
  const std::string w = "Warning: rain event 1 of file rain.gag: gauge 2 rains 1600.0 mm/h from its line 2 on, more "
                        "than 1000 mm/h; a GAGES value is the depth of the period that its line closes, in mm.";
  EXPECT_NE(r.out.find(w), std::string::npos) << r.out;
  EXPECT_NE(warning_block(read_file(dir / "summary.txt")).find(w), std::string::npos);
}

}  // namespace
}  // namespace kavro
