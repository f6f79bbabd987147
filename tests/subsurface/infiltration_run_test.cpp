// Whole runs of the 5 x 5 infiltration box (tests/data/infiltration_runs):
// a metre of ponded water soaking into a Green-Ampt soil with nothing else
// moving, and an hour of rain below the conductivity of a soil with
// redistribution. The kavro program writes the run totals to its summary;
// the same projects run through the driver with a probe after the
// infiltration step show the per-cell state.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "framework/main_state.h"
#include "infiltration_run_fixture.h"
#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::figure;
using kavro_test::read_file;
using kavro_test::write_file;

// ---- A metre of water over a Green-Ampt soil ----------------------------------

// F(t) of Green-Ampt with K = 1 cm/h and a suction deficit of 3.3 cm solves
// F - 0.033 ln(1 + F / 0.033) = K t: 0.03275 m at 1 h, 0.08087 m at 4 h, so
// the 24 low cells of 100 m2 take 194.10 m3 (192.15 to 196.04 within 1 %);
// steps of 10 s give 193.85. A soil already at its porosity has no suction
// and takes K t = 0.04 m per cell.
TEST_F(InfiltrationRun, PondedBoxSoaksInAsGreenAmptAndTheSummaryBalances) {
  struct soil_case {
    const char* what;
    const char* moisture;
    double low, high, infiltrated, final_surface;
  };
  const soil_case cases[] = {{"deficit 0.3", "0.15", 192.15, 196.04, 193.85, 2206.15},
                             {"no deficit", "0.45", 95.99, 96.01, 96.00, 2304.00}};
  const std::string header = "north: 1050\nsouth: 1000\neast: 550\nwest: 500\nrows: 5\ncols: 5\n";
  for (const soil_case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string map = header;
    for (int r = 0; r < 5; ++r) map += std::string(c.moisture) + " " + c.moisture + " " + c.moisture + " " +
                                       c.moisture + " " + c.moisture + "\n";
    write_file(dir / "moisture.asc", map);
    const auto r = run_program("box.prj");
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string summary = read_file(dir / "summary.txt");
    const double infiltrated = figure(summary, "Total amount of infiltration=");
    const double initial = figure(summary, "Initial volume on surface=");
    const double final_surface = figure(summary, "Final volume on surface=");
    EXPECT_GE(infiltrated, c.low) << summary;
    EXPECT_LE(infiltrated, c.high);
    EXPECT_NEAR(infiltrated, c.infiltrated, 0.005);
    EXPECT_NEAR(final_surface, c.final_surface, 0.005);
    EXPECT_NEAR(initial, 2400.00, 0.005);
    EXPECT_NEAR(infiltrated + final_surface, initial, 0.01);
    const double error = figure(summary, "Overall mass balance error =");
    ASSERT_FALSE(std::isnan(error)) << summary;
    EXPECT_LT(std::fabs(error), 0.001);
  }
}

// The corner cell (row 5, column 5) holds its water surface at 101 m: it
// feeds its neighbours over the surface and gives the soil what it takes
// from the head boundary. Every low cell stays ponded, so the soil takes
// the same 193.85 m3, and the run's balance closes with the boundary volumes.
TEST_F(InfiltrationRun, AHeldStageCellFeedsTheSoilAndTheBalanceCloses) {
  const auto r = run_program("box.prj", "MAPPING_TABLE     held.cmt\nOV_BOUNDARY\n");
  ASSERT_EQ(r.exit_code, 0) << r.out;
  const std::string summary = read_file(dir / "summary.txt");
  const double infiltrated = figure(summary, "Total amount of infiltration=");
  const double gained = figure(summary, "Volume overland gained from specified head boundary:");
  const double lost = figure(summary, "Volume overland lost to specified head boundary:");
  const double final_surface = figure(summary, "Final volume on surface=");
  ASSERT_FALSE(std::isnan(gained + lost)) << summary;
  EXPECT_NEAR(infiltrated, 193.85, 0.005);
  EXPECT_GT(final_surface, 2206.15 + 100.0);  // the boundary refills what soaked in
  EXPECT_NEAR(2400.0 + gained - lost - infiltrated, final_surface, 0.02);
  EXPECT_LT(std::fabs(figure(summary, "Overall mass balance error =")), 0.001);
}

TEST_F(InfiltrationRun, PondedBoxCellsFollowGreenAmptThroughTheDriver) {
  const double area = 100.0;
  std::vector<double> at_60, at_240;
  double worst_storage = 0.0;
  const auto probe = [&](const main_state& ms) {
    // Only the soil takes water: surface plus soil stays 2400 m3.
    double stored = 0.0;
    for (long j = 1; j <= 25; ++j) stored += (ms.ov_depth[j] + ms.cum_infil[j]) * area;
    worst_storage = std::max(worst_storage, std::fabs(stored - 2400.0));
    EXPECT_EQ(ms.ov_depth[1], 0.0);
    EXPECT_EQ(ms.cum_infil[1], 0.0);
    EXPECT_EQ(ms.infil_rate[1], 0.0);
    for (long j = 3; j <= 25; ++j)
      ASSERT_EQ(std::memcmp(&ms.cum_infil[j], &ms.cum_infil[2], sizeof(double)), 0) << "cell " << j;
    for (auto [minutes, kept] : {std::pair{60.0, &at_60}, std::pair{240.0, &at_240}}) {
      if (std::fabs(ms.elapsed_min - minutes) > 1e-6) continue;
      kept->clear();
      for (long j = 1; j <= 25; ++j) kept->push_back(ms.cum_infil[j]);
    }
  };
  double total = 0.0;
  ASSERT_TRUE(run_in_process("box.prj", probe, [&](const main_state& ms) { total = ms.vol_infiltration_total; }));
  EXPECT_LT(worst_storage, 2400.0 * 1e-12);
  ASSERT_EQ(at_60.size(), 25u);
  ASSERT_EQ(at_240.size(), 25u);
  for (size_t j = 1; j < 25; ++j) {
    EXPECT_GE(at_60[j], 0.03242) << j;
    EXPECT_LE(at_60[j], 0.03308) << j;
    EXPECT_GE(at_240[j], 0.08006) << j;
    EXPECT_LE(at_240[j], 0.08168) << j;
  }
  EXPECT_NEAR(total, 24 * at_240[1] * area, 1e-9);
}

// The run's results do not depend on the thread count or on the place of a
// run in a batch.
TEST_F(InfiltrationRun, ThreadCountsAndBatchRunsGiveIdenticalSummaries) {
  std::string one, four;
  for (const char* threads : {"1", "4"}) {
    const auto r = run_program("box.prj", std::string("NUM_THREADS       ") + threads + "\n");
    ASSERT_EQ(r.exit_code, 0) << r.out;
    (threads[0] == '1' ? one : four) = read_file(dir / "summary.txt");
  }
  EXPECT_FALSE(one.empty());
  EXPECT_EQ(one, four);
  const auto r = run_program("box.prj", "", {"-b2"});
  ASSERT_EQ(r.exit_code, 0) << r.out;
  const std::string first = read_file(dir / "0000_summary.txt");
  EXPECT_NE(first.find("Total amount of infiltration="), std::string::npos);
  EXPECT_EQ(first, read_file(dir / "0001_summary.txt"));
}

bool bitwise_equal(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

// An 80 x 80 grid (enough cells for the infiltration loops to share out
// among threads) of varied soils on a gentle slope under a storm that ponds:
// 1 and 4 threads give the same summary and outlet hydrograph, and through
// the driver bitwise the same cells and run totals.
TEST_F(InfiltrationRun, AGridSharedAmongThreadsGivesTheSameRun) {
  constexpr int side = 80;
  std::mt19937 rng(1217);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  const auto write_map = [&](const char* name, const std::function<double(int, int)>& value) {
    std::string text = "north: 1800\nsouth: 1000\neast: 1300\nwest: 500\nrows: 80\ncols: 80\n";
    char number[32];
    for (int r = 0; r < side; ++r) {
      for (int c = 0; c < side; ++c) {
        std::snprintf(number, sizeof number, "%.6g ", value(r, c));
        text += number;
      }
      text += '\n';
    }
    write_file(dir / name, text);
  };
  write_map("mask.asc", [](int, int) { return 1.0; });
  write_map("elevation.asc", [&](int r, int c) { return 100.0 + 0.01 * (r + c) + 0.02 * u(rng); });
  write_map("conductivity.asc", [&](int, int) { return 0.1 + 4.9 * u(rng); });
  write_map("capillary.asc", [&](int, int) { return 5.0 + 25.0 * u(rng); });
  write_map("moisture.asc", [&](int, int) { return 0.05 + 0.4 * u(rng); });
  write_map("porosity.asc", [](int, int) { return 0.45; });
  write_map("pore_index.asc", [](int, int) { return 0.3; });
  write_map("residual_sat.asc", [](int, int) { return 0.05; });
  std::string base = read_file(kavro_test::data_dir() / "infiltration_runs" / "redist.prj");
  for (const char* card : {"ROWS", "COLS", "TOT_TIME", "RAIN_INTENSITY", "RAIN_DURATION"}) {
    const auto at = base.find(card);
    base.erase(at, base.find('\n', at) + 1 - at);
  }
  base += "ROWS              80\nCOLS              80\nTOT_TIME          15\n"
          "RAIN_INTENSITY    120\nRAIN_DURATION     10\nHYD_FREQ          1\n";
  // What a run through the driver leaves in the record.
  struct end_state {
    std::vector<double> cum, depth, theta;
    double infiltrated = 0.0, surface = 0.0;
  };
  const int saved_threads = omp_get_max_threads();
  const std::string methods[] = {"INF_REDIST", "GREEN_AMPT"};
  for (const std::string& method : methods) {
    SCOPED_TRACE(method);
    std::string project = base;
    project.replace(project.find("INF_REDIST"), 10, method);
    std::string summaries[2], hydrographs[2];
    end_state ends[2];
    for (int k = 0; k < 2; ++k) {
      write_file(dir / "grid.prj", project + (k == 0 ? "NUM_THREADS       1\n" : "NUM_THREADS       4\n"));
      const auto r = kavro_test::run_program(kavro_test::kavro_binary(), {"grid.prj"}, dir.path());
      ASSERT_EQ(r.exit_code, 0) << r.out;
      summaries[k] = read_file(dir / "summary.txt");
      hydrographs[k] = read_file(dir / "outlet.txt");
      end_state& e = ends[k];
      ASSERT_TRUE(run_in_process("grid.prj", [](const main_state&) {}, [&e](const main_state& ms) {
        for (long j = 1; j <= ms.n_cells; ++j) {
          e.cum.push_back(ms.cum_infil[j]);
          e.depth.push_back(ms.ov_depth[j]);
          if (ms.inf_redist_on) e.theta.push_back(ms.redist_theta1[j]);
        }
        e.infiltrated = ms.vol_infiltration_total;
        e.surface = ms.vol_surface_final;
      }));
      omp_set_num_threads(saved_threads);
    }
    // 20 mm of rain on 64 ha: most of it soaks in, the rest stays on the
    // surface or leaves at the outlet.
    const double precip = figure(summaries[0], "Total amount of precip=");
    const double infiltrated = figure(summaries[0], "Total amount of infiltration=");
    EXPECT_NEAR(precip, 12800.0, 0.005);
    EXPECT_GT(infiltrated, 0.5 * precip);
    EXPECT_NEAR(infiltrated + figure(summaries[0], "Final volume on surface=") +
                    figure(summaries[0], "Total amount of discharge="),
                precip, 0.015);
    EXPECT_EQ(summaries[0], summaries[1]);
    EXPECT_FALSE(hydrographs[0].empty());
    EXPECT_EQ(hydrographs[0], hydrographs[1]);
    EXPECT_EQ(ends[0].cum.size(), 6400u);
    EXPECT_TRUE(bitwise_equal(ends[0].cum, ends[1].cum));
    EXPECT_TRUE(bitwise_equal(ends[0].depth, ends[1].depth));
    EXPECT_TRUE(bitwise_equal(ends[0].theta, ends[1].theta));
    EXPECT_EQ(std::memcmp(&ends[0].infiltrated, &ends[1].infiltrated, sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(&ends[0].surface, &ends[1].surface, sizeof(double)), 0);
  }
}

// ---- Rain below the conductivity ----------------------------------------------

// 3.6 mm/h is 1e-6 m/s, below Ks = 2.78e-6 m/s: every drop enters the soil
// as it falls, 3.6 mm on 2500 m2.
TEST_F(InfiltrationRun, RainBelowTheConductivityEntersWhole) {
  const auto r = run_program("redist.prj");
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_NE(r.out.find("finished event"), std::string::npos) << r.out;
  const std::string summary = read_file(dir / "summary.txt");
  EXPECT_NEAR(figure(summary, "Total amount of precip="), 9.00, 0.005) << summary;
  EXPECT_NEAR(figure(summary, "Total amount of infiltration="), 9.00, 0.005);
  EXPECT_NEAR(figure(summary, "Final volume on surface="), 0.00, 0.005);
}

// A single-event run keeps its runoff event open to the end, so the step
// goes on every 10 s after the rain: the soil takes nothing more and no cell
// ever ponds or leaves its initial moisture at the surface.
TEST_F(InfiltrationRun, RainBelowTheConductivityNeverPonds) {
  int passes = 0;
  double infiltrated_at_60 = -1.0;
  const auto probe = [&](const main_state& ms) {
    ++passes;
    for (long j = 1; j <= 25; ++j) {
      ASSERT_EQ(ms.ov_depth[j], 0.0) << "cell " << j << " at " << ms.elapsed_min << " min";
      ASSERT_EQ(ms.redist_theta2[j], 0.15) << "cell " << j;
      ASSERT_EQ(ms.iter_pond_1[j], 0);
      ASSERT_EQ(ms.iter_n[j], 0);
    }
    if (std::fabs(ms.elapsed_min - 60.0) < 1e-6) infiltrated_at_60 = ms.vol_infiltration_total;
  };
  double precip = 0.0, infiltrated = 0.0;
  ASSERT_TRUE(run_in_process("redist.prj", probe, [&](const main_state& ms) {
    precip = ms.vol_precip_total;
    infiltrated = ms.vol_infiltration_total;
  }));
  EXPECT_GT(passes, 360);
  EXPECT_NEAR(precip, 9.0, 1e-9);
  EXPECT_NEAR(infiltrated, precip, 1e-9);
  EXPECT_EQ(infiltrated, infiltrated_at_60);
}

}  // namespace
}  // namespace kavro

namespace kavro {
namespace {

// A soil cannot hold more water than its pores, nor less than none: an
// initial moisture outside 0 to the porosity stops the run before it starts,
// naming the cell, both values and the map.
TEST(InfiltrationInputs, AnInitialMoistureOutsideTheSoilsPoresIsRefused) {
  for (const char* value : {"0.46", "-0.01"}) {
    SCOPED_TRACE(value);
    kavro_test::scratch_dir dir;
    for (const auto& entry : std::filesystem::directory_iterator(kavro_test::data_dir() / "infiltration_runs"))
      std::filesystem::copy_file(entry.path(), dir / entry.path().filename().string());
    std::string moisture = read_file(dir / "moisture.asc");
    moisture.replace(moisture.find("\n0.15") + 1, 4, value);  // row 1, column 1
    write_file(dir / "moisture.asc", moisture);
    const auto r = kavro_test::run_program(kavro_test::kavro_binary(), {"box.prj"}, dir.path());
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_NE(r.out.find(std::string("Error: the initial soil moisture ") + (value[0] == '-' ? "-0.01" : "0.46")),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("moisture.asc (MOISTURE), is outside 0 to the porosity 0.45 of the cell"), std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("Running...."), std::string::npos);
  }
}

}  // namespace
}  // namespace kavro
