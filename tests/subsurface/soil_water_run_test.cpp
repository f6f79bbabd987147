// Whole runs of the 5 x 5 box over Richards soil columns and layered soils
// (tests/data/infiltration_runs): four days of 2 mm/h soaking into the
// columns with the run's balance closed, the same run for 1 and 4 threads
// and in a batch, a ponded saturated column that takes exactly its Ks, a
// water table at rest, and the soil inputs and cards a run refuses.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "framework/main_state.h"
#include "infiltration_run_fixture.h"
#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::read_file;
using kavro_test::write_file;

// The values of the last frame of a map series: the files of folder `dir`
// whose names begin with `stem`.
std::vector<std::string> last_frame_values(const std::filesystem::path& dir, const std::string& stem) {
  std::filesystem::path last;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().filename().string().starts_with(stem) && (last.empty() || e.path().filename() > last.filename()))
      last = e.path();
  std::vector<std::string> values;
  const std::vector<std::string> lines = kavro_test::lines_of(read_file(last));
  for (std::size_t i = 6; i < lines.size(); ++i) {
    std::string row = lines[i], v;
    for (std::size_t at = 0; (at = row.find_first_not_of(' ')) != std::string::npos;) {
      row.erase(0, at);
      const std::size_t end = row.find(' ');
      values.push_back(row.substr(0, end));
      row.erase(0, end == std::string::npos ? row.size() : end);
    }
  }
  return values;
}

// Four days of 2 mm/h onto 50 cm of soil at 0.20 that drains freely: all
// 480 m3 soak in, the columns settle where K(theta) = 0.2 cm/h (theta
// 0.3678, 459.80 m3 in 0.5 m over 2,500 m2) and the rest drains below; the
// run's balance closes. One and four threads, and both runs of a batch,
// write the same files.
TEST_F(InfiltrationRun, RichardsColumnsSoakFourDaysOfRainAndTheRunBalances) {
  // A map frame at the first and the last step.
  const std::string cards = "MAP_FREQ          5759\nGW_RECHARGE_CUM\n";
  std::string summaries[2], frames[2];
  for (int k = 0; k < 2; ++k) {
    const auto r = run_program("richards.prj", cards + (k == 0 ? "NUM_THREADS 1\n" : "NUM_THREADS 4\n"));
    ASSERT_EQ(r.exit_code, 0) << r.out;
    summaries[k] = read_file(dir / "summary.txt");
    const std::vector<std::string> values = last_frame_values(dir / "smoist", "smoist");
    ASSERT_EQ(values.size(), 25u);
    for (const std::string& v : values) EXPECT_EQ(v, "0.3678");
    for (const std::string& v : values) frames[k] += v + " ";
    // The recharge map: each column's bottom flux since the start (cm); on
    // cells of 100 m2 a cm is a cubic metre.
    double recharge = 0.0;
    for (const std::string& v : last_frame_values(dir.path(), "gwrechargecum")) recharge += std::stod(v);
    EXPECT_NEAR(recharge, summary_value(summaries[k], "Total downward flux from unsaturated zone="), 0.01);
  }
  const std::string& s = summaries[0];
  EXPECT_NEAR(summary_value(s, "Initial volume in soils="), 250.00, 0.005) << s;
  EXPECT_NEAR(summary_value(s, "Total amount of precip="), 480.00, 0.005);
  EXPECT_NEAR(summary_value(s, "Total amount of infiltration="), 480.00, 0.005);
  EXPECT_NEAR(summary_value(s, "Final volume in soils="), 459.80, 0.05);
  EXPECT_NEAR(summary_value(s, "Total downward flux from unsaturated zone="), 270.20, 0.05);
  EXPECT_NEAR(summary_value(s, "Initial volume in soils=") + summary_value(s, "Total amount of infiltration=") -
                  summary_value(s, "Final volume in soils="),
              summary_value(s, "Total downward flux from unsaturated zone="), 0.011);
  EXPECT_LT(std::fabs(summary_value(s, "Overall mass balance error =")), 1e-6);
  EXPECT_NE(s.find("Richard equation mass balance error         0.0000 percent"), std::string::npos);
  EXPECT_EQ(summaries[0], summaries[1]);
  EXPECT_EQ(frames[0], frames[1]);

  const auto r = run_program("richards.prj", cards, {"-b2"});
  ASSERT_EQ(r.exit_code, 0) << r.out;
  EXPECT_EQ(read_file(dir / "0000_summary.txt"), summaries[0]);
  EXPECT_EQ(read_file(dir / "0001_summary.txt"), summaries[0]);
}

// A saturated column under a 10 cm pond: every interface passes Ks (1 cm/h)
// at uniform heads, so each low cell's pond falls by 2.7778e-6 m per second
// of soaking and every node stays at the porosity.
TEST_F(InfiltrationRun, APondedSaturatedColumnTakesItsKs) {
  std::string table = "1 0\n1\n";
  for (int d : {10, 20, 20}) table += "1.0 0.45 0.05 0.45 0.10 0.30 " + std::to_string(d) + " 0.5 20 1\n";
  write_file(dir / "soil.tbl", table);
  const std::string cards =
      "TIMESTEP 10\nTOT_TIME 300\nINIT_ELEV_HEAD 100.1\nPRECIP_FILE zeros.dat\n";
  std::string project = read_file(kavro_test::data_dir() / "infiltration_runs" / "richards.prj");
  for (const char* card : {"TIMESTEP", "TOT_TIME", "RAIN_INTENSITY", "RAIN_DURATION"})
    project = kavro_test::without_card(project, card);
  write_file(dir / "ponded.prj", project + cards);
  double start = -1.0, worst_depth = 0.0, worst_theta = 0.0;
  int calls = 0;
  const auto probe = [&](const main_state& ms) {
    if (start < 0.0) start = ms.start_time;
    if (std::fabs(ms.last_infil_time - ms.now) > 1e-9) return;
    ++calls;
    const double soaked_s = (ms.now - start) * 86400.0;
    for (long j = 2; j <= 25; ++j) {
      worst_depth = std::max(worst_depth, std::fabs(ms.ov_depth[j] - (0.10 - soaked_s / 360000.0)));
      for (long k = 1; k <= 50; ++k) worst_theta = std::max(worst_theta, std::fabs(ms.THETA[j][k] - 0.45));
    }
  };
  std::string summary;
  ASSERT_TRUE(run_in_process("ponded.prj", probe, [](const main_state&) {}));
  EXPECT_GT(calls, 5);
  EXPECT_LT(worst_depth, 1e-9);
  EXPECT_EQ(worst_theta, 0.0);
  summary = read_file(dir / "summary.txt");
  EXPECT_NEAR(summary_value(summary, "Total amount of infiltration="), 120.00, 0.005) << summary;
  EXPECT_NEAR(summary_value(summary, "Final volume on surface="), 120.00, 0.005);
}

// A water table 30.5 cm below the ground (and below the raised outlet
// cell): 12.853624 cm of water stand in each column at hydrostatic heads and
// stay there through a dry day.
TEST_F(InfiltrationRun, AWaterTableAtRestKeepsItsColumns) {
  std::string project = read_file(kavro_test::data_dir() / "infiltration_runs" / "richards.prj");
  for (const char* card : {"TOT_TIME", "RAIN_INTENSITY", "RAIN_DURATION"})
    project = kavro_test::without_card(project, card);
  write_file(dir / "table.prj", project + "TOT_TIME 1440\nPRECIP_FILE zeros.dat\nWATER_TABLE watertable.asc\n");
  std::vector<double> first;
  double moved = 0.0;
  const auto probe = [&](const main_state& ms) {
    std::vector<double> now;
    for (long j = 1; j <= 25; ++j)
      for (long k = 1; k <= ms.numcells[j]; ++k) now.push_back(ms.THETA[j][k]);
    if (first.empty()) first = now;
    for (std::size_t i = 0; i < now.size(); ++i) moved = std::max(moved, std::fabs(now[i] - first[i]));
  };
  long nodes = 0;
  ASSERT_TRUE(run_in_process("table.prj", probe, [&](const main_state& ms) {
    for (long j = 1; j <= 25; ++j) nodes += ms.numcells[j];
  }));
  EXPECT_EQ(nodes, 25 * 32);
  EXPECT_LT(moved, 1e-12);
  const std::string summary = read_file(dir / "summary.txt");
  EXPECT_NE(summary.find("Inital volume of water in soil column= 321.340608"), std::string::npos) << summary;
  EXPECT_NEAR(summary_value(summary, "Total downward flux from unsaturated zone="), 0.0, 0.005);
}

// A dry summer day of hourly weather (tests/data/weather_runs) over the soil
// of redistribution and over Richards columns: the soil gives its water to
// evapotranspiration and to drainage, and what it lost is what left; the
// run's balance closes although no event end booked the last drainage.
TEST(LongTermSoilWater, ADrySummerDayTakesTheSoilsWaterAndTheRunBalances) {
  kavro_test::scratch_dir dir;
  for (const auto& e : std::filesystem::directory_iterator(kavro_test::data_dir() / "weather_runs"))
    std::filesystem::copy_file(e.path(), dir / e.path().filename().string());
  const std::string redist = read_file(dir / "day.prj");
  std::string richards = redist;
  for (const char* card : {"CONDUCTIVITY", "CAPILLARY", "POROSITY", "MOISTURE", "PORE_INDEX", "RESIDUAL_SAT", "INF_REDIST"})
    richards = kavro_test::without_card(richards, card);
  richards += "INF_RICHARDS\nRICHARDS_C_OPTION brooks\nSOIL_LAYER_INPUT_FILE soil.tbl\nSOIL_TYPE_MAP soil.map\n";
  // The soil map: the mask's grid, soil 1 everywhere.
  const std::vector<std::string> mask = kavro_test::lines_of(read_file(dir / "mask.asc"));
  std::string soil_map;
  for (std::size_t i = 0; i < 6; ++i) soil_map += mask[i] + "\n";
  write_file(dir / "soil.map", soil_map + "1 1 1\n1 1 1\n1 1 1\n");
  // Long-term soil tables give albedo, height, transmission and resistance
  // after each soil's ID.
  std::string table = "1 0\n1 0.2 0.3 0.5 60\n";
  for (int d : {10, 20, 20}) table += "1.0 0.45 0.05 0.20 0.10 0.30 " + std::to_string(d) + " 0.5 20 1\n";
  write_file(dir / "soil.tbl", table);
  for (const auto& [what, project] : {std::pair{"redistribution", redist}, {"Richards", richards}}) {
    SCOPED_TRACE(what);
    write_file(dir / "run.prj", project);
    const auto r = kavro_test::run_program(kavro_test::kavro_binary(), {"run.prj"}, dir.path());
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string s = read_file(dir / "s.txt");
    const double evaporated = summary_value(s, "Total amount of evaporation=");
    const double start = std::isnan(summary_value(s, "Initial volume in soils="))
                             ? summary_value(s, "Initial volume in soil over simple soil depth")
                             : summary_value(s, "Initial volume in soils=");
    const double end = std::isnan(summary_value(s, "Final volume in soils="))
                           ? summary_value(s, "Final volume in soil over simple soil depth")
                           : summary_value(s, "Final volume in soils=");
    EXPECT_GT(evaporated, 10.0) << s;
    EXPECT_NEAR(start - end, evaporated + summary_value(s, "Total downward flux from unsaturated zone="), 0.015);
    EXPECT_LT(std::fabs(summary_value(s, "Overall mass balance error =")), 1e-6);
  }
}

// ---- Refusals ----------------------------------------------------------------------------

// A layered soil table in the mapping table: two count lines, a header,
// then three lines per soil (words before Ks, commas between values).
std::string layered_table(const std::string& soils, int count = 1) {
  return "KAVRO_INDEX_MAP_TABLES\nINDEX_MAP soil.map Soils\nMULTI_LAYER_SOIL Soils\nNUM_IDS " +
         std::to_string(count) +
         "\nNUM_SOIL_LAYERS 3\nID description Ks lambda suction porosity fc wp residual initial thickness\n" + soils;
}
std::string layered_soil(const std::string& first_line) {
  return first_line + "1.0, 0.3, 10, 0.45, 0.3, 0.1, 0.05, 0.25, 30\n1.0, 0.3, 10, 0.45, 0.3, 0.1, 0.05, 0.25\n";
}

// Each bad input stops the run before its time loop with a message naming
// the card or file and the value, and leaves every input as it was.
TEST_F(InfiltrationRun, BadSoilInputsAndCardsAreRefusedBeforeTheRun) {
  std::string base = read_file(kavro_test::data_dir() / "infiltration_runs" / "richards.prj");
  for (const char* card : {"INF_RICHARDS", "RICHARDS_C_OPTION", "SOIL_TYPE_MAP", "SOIL_LAYER_INPUT_FILE"})
    base = kavro_test::without_card(base, card);
  const std::string layered = base + "INF_LAYERED_SOIL\nMAPPING_TABLE layered.cmt\n";
  const std::string richards = read_file(kavro_test::data_dir() / "infiltration_runs" / "richards.prj");
  std::string zeros87;
  for (int i = 0; i < 87; ++i) zeros87 += "0 ";
  struct bad_case {
    const char* what;
    std::string project, table, soil_tbl;
    std::vector<std::string> expected;
  };
  const std::string good_line = "1 loam, 1.0, 0.3, 10, 0.45, 0.3, 0.1, 0.05, 0.25, 10\n";
  const std::string residual_half = "1 0\n1\n1.0 0.45 0.5 0.48 0.1 0.3 10 0.5 20 1\n"
                                    "1.0 0.45 0.05 0.2 0.1 0.3 20 0.5 20 1\n1.0 0.45 0.05 0.2 0.1 0.3 20 0.5 20 1\n";
  const std::vector<bad_case> cases = {
      {"porosity 1.2", layered, layered_table(layered_soil("1 loam, 1.0, 0.3, 10, 1.2, 0.3, 0.1, 0.05, 0.25, 10\n")),
       "",
       {"Porosity for layer 1 of soil 1 must be between 0.0 and 1.0 \n  in the multi-layer soil table of "
        "layered.cmt the value read is 1.2\n",
        "Problems in your multi layer G&A table \n", "KAVRO termanating \n"}},
      {"cut after soil 1 of 2", layered, layered_table(layered_soil(good_line), 2), "",
       {"The multi-layer soil table of layered.cmt ends before layer 1 of soil 2 of 2",
        "Problems in your multi layer G&A table \n"}},
      {"ID 100000", layered, layered_table(layered_soil("100000 loam, 1.0, 0.3, 10, 0.45, 0.3, 0.1, 0.05, 0.25, 10\n")),
       "",
       {"Soil ID of soil 1 must be a whole number from 0 to 99999 \n  in the multi-layer soil table of layered.cmt "
        "the value read is 100000\n"}},
      {"87 zeros before Ks", layered,
       layered_table(layered_soil("1 " + zeros87 + "1.0, 0.3, 10, 0.45, 0.3, 0.1, 0.05, 0.25, 10\n")), "",
       {"in the multi-layer soil table of layered.cmt the value read is", "Problems in your multi layer G&A table"}},
      {"RICHARDS_ITER_MAX 0", richards + "RICHARDS_ITER_MAX 0\n", "", "", {"RICHARDS_ITER_MAX 0"}},
      {"RICHARDS_DTHETA_MAX 0", richards + "RICHARDS_DTHETA_MAX 0\n", "", "", {"RICHARDS_DTHETA_MAX 0"}},
      {"RICHARDS_WEIGHT 1.5", richards + "RICHARDS_WEIGHT 1.5\n", "", "", {"RICHARDS_WEIGHT 1.5"}},
      {"SOIL_MOIST_DEPTH 0", richards + "SOIL_MOIST_DEPTH 0\n", "", "", {"SOIL_MOIST_DEPTH 0"}},
      {"Richards residual 0.5", richards, "", residual_half,
       {"soil.tbl, soil 1 layer 1: the residual moisture 0.5 is not below the porosity"}},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.what);
    write_file(dir / "bad.prj", c.project);
    if (!c.table.empty()) write_file(dir / "layered.cmt", c.table);
    if (!c.soil_tbl.empty()) write_file(dir / "soil.tbl", c.soil_tbl);
    const std::string inputs[] = {read_file(dir / "bad.prj"), read_file(dir / "soil.tbl"), read_file(dir / "soil.map")};
    const auto r = kavro_test::run_program(kavro_test::kavro_binary(), {"bad.prj"}, dir.path());
    EXPECT_EQ(r.exit_code, 1) << r.out;
    for (const std::string& e : c.expected) EXPECT_NE(r.out.find(e), std::string::npos) << e << "\n" << r.out;
    EXPECT_TRUE(kavro_test::progress_lines(r.out).empty()) << "stopped before the time loop";
    EXPECT_EQ(read_file(dir / "bad.prj"), inputs[0]);
    EXPECT_EQ(read_file(dir / "soil.tbl"), inputs[1]);
    EXPECT_EQ(read_file(dir / "soil.map"), inputs[2]);
    write_file(dir / "soil.tbl", read_file(kavro_test::data_dir() / "infiltration_runs" / "soil.tbl"));
  }
}

}  // namespace
}  // namespace kavro
