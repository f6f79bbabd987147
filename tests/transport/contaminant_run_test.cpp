// Whole runs with contaminants on the kinematic plane: a rain tracer gives
// the same files for any thread count and in a batch, its concentration and
// mass maps hold the plane's tracer, and set-ups that cannot work are
// refused before the time loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace kavro_test;

// The plane with its contaminant table and `cards` added to the project.
void copy_tracer_plane(const scratch_dir& dir, const std::string& table, const std::string& cards) {
  for (const char* f : {"plane_mask.asc", "plane_elevation.asc"})
    fs::copy_file(data_dir() / "overland_runs" / f, dir / f);
  fs::copy_file(data_dir() / "contaminant_runs" / "cells.idx", dir / "cells.idx");
  fs::copy_file(data_dir() / "contaminant_runs" / table, dir / "map.cmt");
  write_file(dir / "p.prj", read_file(data_dir() / "overland_runs" / "plane.prj") +
                                "MAPPING_TABLE map.cmt\nOV_CON_TRANS\n" + cards);
}

TEST(ContaminantRun, ThreadCountsAndBatchRunsWriteTheSameFiles) {
  scratch_dir one, four, batch;
  copy_tracer_plane(one, "tracer.cmt", "NUM_THREADS 1\n");
  copy_tracer_plane(four, "tracer.cmt", "NUM_THREADS 4\n");
  copy_tracer_plane(batch, "tracer.cmt", "NUM_THREADS 2\n");
  const run_result r1 = run_program(kavro_binary(), {"p.prj"}, one.path());
  const run_result r4 = run_program(kavro_binary(), {"p.prj"}, four.path());
  const run_result rb = run_program(kavro_binary(), {"-b2", "p.prj"}, batch.path());
  ASSERT_EQ(r1.exit_code, 0) << r1.out << r1.err;
  ASSERT_EQ(r4.exit_code, 0) << r4.out << r4.err;
  ASSERT_EQ(rb.exit_code, 0) << rb.out << rb.err;
  EXPECT_NE(r1.out.find("Reading contaminant table...  1 contaminants found"), std::string::npos) << r1.out;
  // The rain's tracer is on the plane or gone through the outlet: the
  // event, overland and global budgets of the summary close.
  const std::string summary = read_file(one / "summary.txt");
  const double rain = figure(summary, "Precipitation mass gain");
  EXPECT_GT(rain, 100.0);
  EXPECT_NEAR(figure(summary, "Final Dissolved mass on ov") + figure(summary, "Outlet mass flux"), rain, 0.02);
  EXPECT_NEAR(figure(summary, "Dissolved mass balance error % ..................."), 0.0, 1e-4);
  EXPECT_NEAR(figure(summary, "Contam mass balance error"), 0.0, 1e-4);
  EXPECT_NEAR(figure(summary, "Total mass out of system"), figure(summary, "Outlet mass flux"), 0.005);
  EXPECT_EQ(read_file(one / "outlet.txt"), read_file(four / "outlet.txt"));
  EXPECT_EQ(without_timing(read_file(one / "summary.txt")), without_timing(read_file(four / "summary.txt")));
  EXPECT_EQ(without_timing(read_file(batch / "0000_summary.txt")),
            without_timing(read_file(batch / "0001_summary.txt")));
}

TEST(ContaminantRun, MapsHoldTheTracerOnThePlane) {
  scratch_dir dir;
  copy_tracer_plane(dir, "tracer.cmt", "MAP_TYPE 1\nMAP_FREQ 10\nALL_CONTAM_OUTPUT\nDEPTH depth.dat\n");
  const run_result r = run_program(kavro_binary(), {"p.prj"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  const std::vector<dataset_frame> conc = dataset_frames(read_file(dir / "tracer.conc"), 20);
  const std::vector<dataset_frame> mass = dataset_frames(read_file(dir / "tracer.mass"), 20);
  const std::vector<dataset_frame> depth = dataset_frames(read_file(dir / "depth.dat"), 20);
  // Frames every 10 minutes of the 150-minute run.
  ASSERT_EQ(conc.size(), 15u);
  ASSERT_EQ(mass.size(), conc.size());
  ASSERT_EQ(depth.size(), conc.size());
  const double final_mass_g = figure(read_file(dir / "summary.txt"), "Final Dissolved mass on ov") * 1000.0;
  double previous_total = 0;
  for (std::size_t f = 0; f < conc.size(); ++f) {
    double total = 0;
    for (std::size_t i = 0; i < 20; ++i) {
      // A cell's mass (g) is its concentration (g/m3) times its water
      // (depth x 100 m2), to the six decimals of the depth map.
      const double water = depth[f].values[i] * 100.0;
      EXPECT_NEAR(mass[f].values[i], conc[f].values[i] * water, 1e-4 * mass[f].values[i] + 0.3)
          << "frame " << f << " cell " << i;
      // While it rains the water is rain of 5000 g/m3 (no decay; the
      // transport's own smearing stays within 1.5 %).
      if (water > 0 && conc[f].minutes < 120.0) {
        EXPECT_NEAR(conc[f].values[i], 5000.0, 75.0) << "frame " << f << " cell " << i;
      }
      total += mass[f].values[i];
    }
    // While it rains the plane gains tracer; after the rain (120 min) it
    // only drains, down to the run's final mass.
    if (conc[f].minutes < 120.0) {
      EXPECT_GT(total, previous_total * 0.999) << "frame " << f;
    }
    if (conc[f].minutes > 120.0) {
      EXPECT_LT(total, previous_total) << "frame " << f;
      EXPECT_GT(total, final_mass_g) << "frame " << f;
    }
    previous_total = total;
  }
  // The plane at its steady state holds about 100 kg.
  EXPECT_GT(mass[10].values[19], 1000.0);
}

// The rain load is the rain that fell times its concentration (5000 g/m3,
// 5 kg per m3 of rain), also when the time step divides neither the
// rain's two hours nor the load clock (before: 719.60 kg of 720 at 7 s,
// 718.90 at 13 s), for either overland scheme.
TEST(ContaminantRun, TheRainLoadIsTheRainThatFellAtAnyTimeStep) {
  for (const char* cards : {"TIMESTEP 7\nOVERTYPE explicit\n", "TIMESTEP 13\nOVERTYPE ade-pc\n"}) {
    scratch_dir dir;
    copy_tracer_plane(dir, "tracer.cmt", "");
    write_file(dir / "p.prj", without_card(read_file(dir / "p.prj"), "TIMESTEP") + cards);
    const run_result r = run_program(kavro_binary(), {"p.prj"}, dir.path());
    ASSERT_EQ(r.exit_code, 0) << cards << r.out << r.err;
    const std::string summary = read_file(dir / "summary.txt");
    const double rain = figure(summary, "Total amount of precip=");
    EXPECT_NEAR(figure(summary, "Precipitation mass gain"), 5.0 * rain, 0.005) << cards;
    EXPECT_NEAR(figure(summary, "Contam mass balance error"), 0.0, 1e-4) << cards;
  }
}

TEST(ContaminantRun, SetUpsThatCannotWorkAreRefused) {
  struct refusal {
    const char* table;
    const char* cards;
    std::vector<std::string> said;
  };
  const refusal cases[] = {
      {"no_table.cmt", "", {"Error reading the contaminant transport tables in the mapping table file."}},
      {"tracer.cmt", "INF_RICHARDS\nRICHARDS_C_OPTION BROOKS\nSOIL_CON_TRANS\n", {"SOIL_CON_TRANS", "INF_RICHARDS"}},
  };
  for (const refusal& c : cases) {
    scratch_dir dir;
    copy_tracer_plane(dir, c.table, c.cards);
    const auto before = files_of(dir.path());
    const run_result r = run_program(kavro_binary(), {"p.prj"}, dir.path());
    EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
    for (const std::string& s : c.said) EXPECT_NE(r.out.find(s), std::string::npos) << s << "\n" << r.out;
    EXPECT_EQ(r.out.find("Running"), std::string::npos) << "refused before the time loop";
    for (const auto& [path, text] : before) EXPECT_EQ(read_file(path), text) << path << " was overwritten";
  }
}

}  // namespace
