// Whole runs with soil erosion on the 12 x 5 plane that drains sideways
// into one channel link: both size classes erode, every class balances over
// the land, the wash load and the sand balance in the channel, the results
// are the same for 1 and 4 threads and for every run of a batch; and the
// refusals of bad sediment input.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "framework/event_volumes.h"
#include "framework/main_state.h"
#include "framework/run_driver.h"
#include "test_support.h"

namespace kavro_test {
namespace {

namespace fs = std::filesystem;

const char* const erosion_cards =
    "MAPPING_TABLE sed2.cmt\nSOIL_EROSION 1\nSAND_SIZE 0.0625\nOUTLET_SED_FLUX sed.otl\n";

// The channel plane with the sediment tables; `project` is the project
// text to write (the plane's own cards when empty).
void copy_sediment_plane(const scratch_dir& dir, const std::string& extra) {
  for (const char* folder : {"channel_runs/plane", "sediment_runs"})
    for (const auto& e : fs::directory_iterator(data_dir() / folder))
      fs::copy_file(e.path(), dir / e.path().filename().string(), fs::copy_options::overwrite_existing);
  write_file(dir / "p.prj", read_file(dir / "p.prj") + extra);
}

// The budgets of the run summary's sediment lines, from the run record at
// the end of the run (percent errors as the summary forms them).
struct sediment_budget {
  std::vector<double> eroded, land_error;  // per class
  double to_chan[3] = {0, 0, 0};           // sed_to_chan_total, entry 0 the wash load
  double wash_error = 0, sand_error = 0, overall_error = 0;
  double wash_out = 0, sand_out = 0, sand_in = 0;
  std::vector<double> vol_sed, ch_wash, ch_sand;  // the end state, for comparisons
  int passes = 0;
};

double percent(double in, double out) { return in > 1e-16 ? (in - out) / in * 100.0 : 0.0; }

void take_budget(const kavro::main_state& ms, sediment_budget& b) {
  const int n = ms.sed_control.n_sed_classes;
  b.eroded.assign(n + 1, 0.0);
  b.land_error.assign(n + 1, 0.0);
  const auto& v = ms.ov_sed->vol_sed;
  for (int c = 1; c <= n; ++c) {
    double E = 0.0, A = ms.sed_to_chan_total[c];
    for (long j = 1; j <= ms.n_cells; ++j) {
      E -= v[j][c][1];
      A += v[j][c][2] + v[j][c][3];
    }
    b.eroded[c] = E;
    b.land_error[c] = percent(E, A);
    b.to_chan[c] = ms.sed_to_chan_total[c];
  }
  b.to_chan[0] = ms.sed_to_chan_total[0];
  const kavro::channel_sediment held = kavro::channel_sediment_volumes(ms);
  const double Win = ms.sed_to_chan_total[0], Wo = ms.vol_washload_out_total, Wf = held.wash;
  const double Sin = ms.vol_sand_to_chan_total, Si = ms.vol_sand_chan_init_total, So = ms.vol_sand_out_total;
  b.wash_error = percent(Win, Wo + Wf);
  b.sand_error = percent(Sin + Si, So + held.sand);
  b.overall_error = percent(Win + Sin + Si, Wo + Wf + So + held.sand);
  b.wash_out = Wo;
  b.sand_out = So;
  b.sand_in = Sin;
  b.vol_sed.assign(v.data(), v.data() + v.cell_count());
  b.ch_wash.assign(ms.ch_wash_vol.data(), ms.ch_wash_vol.data() + ms.ch_wash_vol.cell_count());
  b.ch_sand.assign(ms.ch_sand_vol.data(), ms.ch_sand_vol.data() + ms.ch_sand_vol.cell_count());
  ++b.passes;
}

// The plane's link made erodible, 0.3 m deep.
void erodible_channel(const scratch_dir& dir) {
  std::string chan = read_file(dir / "chan.txt");
  chan.replace(chan.find("TRAPEZOID"), 9, "TRAP_ERODE");
  chan.replace(chan.find("SIDE_SLOPE 1"), 12, "SIDE_SLOPE 1\nMAX_EROSION 0.3");
  write_file(dir / "chan.txt", chan);
}

sediment_budget run_in_process(const std::string& extra, bool erodible = false,
                               const char* cards = erosion_cards) {
  scratch_dir dir;
  copy_sediment_plane(dir, std::string(cards) + extra);
  if (erodible) erodible_channel(dir);
  sediment_budget b;
  kavro::run_plan plan = kavro::default_run_plan();
  plan.loop_steps.push_back(
      {"budget", [&](kavro::main_state& ms, const kavro::run_call&) { take_budget(ms, b); }, true, {}});
  const auto old_cwd = fs::current_path();
  const int old_threads = omp_get_max_threads();
  fs::current_path(dir.path());
  testing::internal::CaptureStdout();
  const kavro::run_outcome out = kavro::run_simulation_with(plan, "p.prj", nullptr, "");
  const std::string console = testing::internal::GetCapturedStdout();
  fs::current_path(old_cwd);
  omp_set_num_threads(old_threads);
  EXPECT_FALSE(out.stopped_on_error) << console;
  return b;
}

void expect_budgets_close(const sediment_budget& b) {
  ASSERT_GE(b.passes, 1000);
  for (int c = 1; c <= 2; ++c) {
    EXPECT_GT(b.eroded[c], 1e-6) << "class " << c << " eroded from the surface";
    // Printed with four decimals: "0.0000".
    EXPECT_LT(std::fabs(b.land_error[c]), 5e-5) << "class " << c;
  }
  EXPECT_LT(std::fabs(b.wash_error), 1e-4);
  EXPECT_LT(std::fabs(b.sand_error), 1e-4);
  EXPECT_LT(std::fabs(b.overall_error), 1e-4);
}

TEST(SedimentRun, ErodesBothClassesAndEveryBudgetCloses) {
  const sediment_budget b = run_in_process("NUM_THREADS 1\n");
  expect_budgets_close(b);
  for (int c = 1; c <= 2; ++c) EXPECT_GT(b.to_chan[c], 0.0) << "class " << c << " reached the channel";
  // The one fine class is the whole wash load; the sand class the lateral sand.
  EXPECT_EQ(b.to_chan[0], b.to_chan[1]);
  EXPECT_NEAR(b.sand_in, b.to_chan[2], 1e-12 * b.to_chan[2]);
  EXPECT_GT(b.wash_out, 0.0);
}

TEST(SedimentRun, BudgetsCloseForOtherSchemesStepsFormulasAndAnErodibleBed) {
  struct variant {
    const char* what;
    std::string cards;
    bool erodible;
    const char* erosion;
  };
  const std::string formula3 =
      "MAPPING_TABLE sed2.cmt\nSOIL_EROSION 3\nSAND_SIZE 0.0625\nOUTLET_SED_FLUX sed.otl\n";
  const variant variants[] = {
      {"explicit overland scheme, 7 s steps", "OVERTYPE 1\nTIMESTEP 7\n", false, erosion_cards},
      {"formula 3 (median diameter), 4 threads", "NUM_THREADS 4\n", false, formula3.c_str()},
      {"erodible bed that follows the sand", "ADJUST_CHANNEL_BED\n", true, erosion_cards},
  };
  for (const variant& v : variants) {
    SCOPED_TRACE(v.what);
    expect_budgets_close(run_in_process(v.cards, v.erodible, v.erosion));
  }
}

TEST(SedimentRun, SameResultForOneAndFourThreadsAndForARepeatedRun) {
  const sediment_budget one = run_in_process("NUM_THREADS 1\n");
  const sediment_budget four = run_in_process("NUM_THREADS 4\n");
  const sediment_budget again = run_in_process("NUM_THREADS 4\n");
  ASSERT_FALSE(one.vol_sed.empty());
  EXPECT_TRUE(one.vol_sed == four.vol_sed) << "overland sediment differs between 1 and 4 threads";
  EXPECT_TRUE(one.ch_wash == four.ch_wash);
  EXPECT_TRUE(one.ch_sand == four.ch_sand);
  EXPECT_TRUE(four.vol_sed == again.vol_sed) << "a second run in the same process differs";
  EXPECT_TRUE(four.ch_wash == again.ch_wash);
}

std::set<std::string> written_files(const scratch_dir& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir.path())) names.insert(e.path().filename().string());
  for (const char* folder : {"channel_runs/plane", "sediment_runs"})
    for (const auto& e : fs::directory_iterator(data_dir() / folder))
      names.erase(e.path().filename().string());
  return names;
}

TEST(SedimentRun, ThreadCountsAndBatchRunsWriteTheSameFiles) {
  scratch_dir one, four, batch;
  copy_sediment_plane(one, std::string(erosion_cards) + "NUM_THREADS 1\n");
  copy_sediment_plane(four, std::string(erosion_cards) + "NUM_THREADS 4\n");
  copy_sediment_plane(batch, std::string(erosion_cards) + "NUM_THREADS 2\n");
  const run_result r1 = run_program(kavro_binary(), {"p.prj"}, one.path());
  const run_result r4 = run_program(kavro_binary(), {"p.prj"}, four.path());
  const run_result rb = run_program(kavro_binary(), {"-b2", "p.prj"}, batch.path());
  ASSERT_EQ(r1.exit_code, 0) << r1.out << r1.err;
  ASSERT_EQ(r4.exit_code, 0) << r4.out << r4.err;
  ASSERT_EQ(rb.exit_code, 0) << rb.out << rb.err;
  const std::set<std::string> files = written_files(one);
  EXPECT_TRUE(files.count("sed.otl") && files.count("summary.txt"));
  // The outlet sediment hydrograph: a row per outlet hydrograph row with the
  // time, the fine class's wash load and the sand entries (class and bed).
  const std::string sed = read_file(one / "sed.otl"), hyd = read_file(one / "outlet.txt");
  EXPECT_EQ(std::count(sed.begin(), sed.end(), '\n'), std::count(hyd.begin(), hyd.end(), '\n'));
  std::istringstream rows(sed);
  std::string row;
  double wash_max = 0.0;
  while (std::getline(rows, row)) {
    std::istringstream fields(row);
    std::vector<double> v;
    for (double x; fields >> x;) v.push_back(x);
    ASSERT_EQ(v.size(), 4u) << row;
    EXPECT_GE(v[1], 0.0) << row;
    wash_max = std::max(wash_max, v[1]);
  }
  EXPECT_GT(wash_max, 0.0) << "wash load reached the outlet";
  EXPECT_EQ(files, written_files(four));
  for (const std::string& f : files)
    EXPECT_EQ(without_timing(read_file(one / f)), without_timing(read_file(four / f))) << f;
  const batch_comparison b = compare_batch_runs(batch.path());
  EXPECT_EQ(b.differing, std::vector<std::string>{});
  EXPECT_GE(b.compared, 4);
}

TEST(SedimentRun, BadSedimentInputIsRefused) {
  struct refusal {
    const char* what;
    std::string cards;
    std::string table;  // replaces sed2.cmt when not empty
    std::vector<std::string> said;
  };
  const std::string no_sediments =
      "KAVRO_INDEX_MAP_TABLES\nINDEX_MAP soil.idx Soils\nROUGHNESS Soils\nNUM_IDS 1\nh\n" +
      std::string("     1 loam") + std::string(75, ' ') + "0.05\n";
  std::string three_for_two = read_file(data_dir() / "sediment_runs" / "sed2.cmt");
  three_for_two.replace(three_for_two.rfind("NUM_SED 2"), 9, "NUM_SED 3");
  const std::string blocked_dir = "blocker/sed.otl";  // "blocker" is a plain file
  const refusal cases[] = {
      {"no SEDIMENTS table",
       erosion_cards,
       no_sediments,
       {"Error: Sediment transport specified but sediments table missing in the .cmt file."}},
      {"NUM_SED 3 for 2 classes",
       erosion_cards,
       three_for_two,
       {"Error: The number of sediments specified in the SEDIMENTS table is 2",
        "table is 3. The values must match."}},
      {"no OUTLET_SED_FLUX",
       "MAPPING_TABLE sed2.cmt\nSOIL_EROSION 1\nSAND_SIZE 0.0625\n",
       "",
       {"SOIL_EROSION", "OUTLET_SED_FLUX"}},
      {"outlet sediment file in a folder that cannot be made",
       "MAPPING_TABLE sed2.cmt\nSOIL_EROSION 1\nSAND_SIZE 0.0625\nOUTLET_SED_FLUX " + blocked_dir + "\n",
       "",
       {"card OUTLET_SED_FLUX", "blocker/sed.otl, which cannot be created"}},
      {"no SAND_SIZE with channels",
       "MAPPING_TABLE sed2.cmt\nSOIL_EROSION 1\nOUTLET_SED_FLUX sed.otl\n",
       "",
       {"SAND_SIZE"}},
      {"a porosity of 1", std::string(erosion_cards) + "SED_POROSITY 1\n", "", {"SED_POROSITY 1"}},
  };
  for (const refusal& c : cases) {
    SCOPED_TRACE(c.what);
    scratch_dir dir;
    copy_sediment_plane(dir, c.cards);
    if (!c.table.empty()) write_file(dir / "sed2.cmt", c.table);
    write_file(dir / "blocker", "not a folder\n");
    const run_result r = run_program(kavro_binary(), {"p.prj"}, dir.path());
    EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
    for (const std::string& s : c.said) EXPECT_NE(r.out.find(s), std::string::npos) << s << "\n" << r.out;
    EXPECT_EQ(r.out.find("Running"), std::string::npos) << "refused before the time loop";
  }
}

}  // namespace
}  // namespace kavro_test
