// The permafrost soil temperature model in-process: its soil table and
// companion files (and the refusals of files that give no profile), the
// initial profile, the thermal kernels of the freezing band, the column
// solver against the conduction solution of a surface temperature step and
// the two-phase Stefan solution of a thawing front, the same profiles for
// any thread count and cell order, and the couplings with the soil water:
// node maps, frozen conductivity and the thawed part of an aquifer.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "hydromet/frozen_ground_couplings.h"
#include "hydromet/hydromet_steps.h"
#include "hydromet/permafrost_setup.h"
#include "hydromet/soil_temperature.h"
#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::read_file;
using kavro_test::write_file;

// "The column's soil": one layer 50 m deep, freezing at 0 C, water 0.3
// with no unfrozen water below the band, conductivity 1.5 thawed and 2.0
// frozen, skeleton heat capacity 2e6.
constexpr const char* column_layer = "50.0  0.0  0.3  0.0  0.0  1.0  0.0  1.5  2.0  2000000.0";

std::string depth_list(double step, double to) {
  std::string s;
  const int n = static_cast<int>(std::lround(to / step));
  for (int i = 0; i <= n; ++i) s += format_string("%.2f\n", i * step);
  return s;
}

// A permafrost table as it stands after its card line, with its companion
// files beside it in `dir`.
struct table_files {
  std::string header_counts = "NUM_IDS 1\nMAX_NUMBER_LAYERS 1\nMAX_INIT_PT 2\nMAX_DN 201\n";
  std::string type_line = std::string("1  2  201  3  ") + column_layer;
  std::string more_lines;
  std::string init = "ID 1\n0.0 20.0\n20.0 20.3\n";
  std::string nodes = "ID 1\n" + depth_list(0.1, 20.0);
  std::string outs = "ID 1\n0.5\n1.0\n2.0\n";
};

std::string pad90(const std::string& name) { return name + std::string(90 - name.size(), ' '); }

// Reads the table of `f` into `t`; the result of the reader.
int read_table(const kavro_test::scratch_dir& dir, const table_files& f, permafrost_layer_soil_record& t) {
  const auto p = [&](const char* n) { return (dir / n).string(); };
  write_file(dir / "ti.txt", f.init);
  write_file(dir / "zn.txt", f.nodes);
  write_file(dir / "zo.txt", f.outs);
  write_file(dir / "m.cmt", f.header_counts + "INIT_TEMP_FILE " + p("ti.txt") + "\nDEPTH_NODE_FILE " + p("zn.txt") +
                                "\nOUTPUT_NODE_FILE " + p("zo.txt") + "\nID DESCRIPTION\n" + pad90("1 soil") +
                                f.type_line + "\n" + f.more_lines);
  file_wrapper in;
  EXPECT_TRUE(in.open(p("m.cmt"), "r"));
  error_rec = error_record{};
  return read_permafrost_soil_file(in, t, 1);
}

// ---- The table and its companion files -------------------------------------------

TEST(PermafrostTable, ReadsTheTypesLayersAndCompanionFiles) {
  kavro_test::scratch_dir dir;
  table_files f;
  f.header_counts = "NUM_IDS 2\nMAX_NUMBER_LAYERS 2\nMAX_INIT_PT 3\nMAX_DN 201\n";
  // Type 2 has two layers and its ID lines come first in the companions.
  f.more_lines = pad90("2 peat") + "2  3  4  0  0.5 -0.1 0.6 0.1 0.05 0.5 0.0 0.5 1.8 1500000.0\n" +
                 "3.0 0.0 0.25 0.0 0.1 0.4 0.0 1.2 1.6 2100000.0\n";
  f.init = "ID 2\n0 -5\n1 -1\n10 -0.5\n" + f.init;
  f.nodes = "ID 2\n0.0\n0.3\n0.6\n3.0\n" + f.nodes;
  f.outs = "ID 2\n" + f.outs;
  permafrost_layer_soil_record t;
  ASSERT_EQ(read_table(dir, f, t), 2);
  EXPECT_EQ(error_rec.stop, 0);
  EXPECT_EQ(t.max_node_count, 201);
  EXPECT_EQ(t.Dn_nums[1], 201);
  EXPECT_DOUBLE_EQ(t.Depth[1][201], 20.0);
  EXPECT_DOUBLE_EQ(t.Dn_out[1][3], 2.0);
  EXPECT_EQ(t.n_layers[2], 2);
  EXPECT_DOUBLE_EQ(t.Tfr[2][1], -0.1);
  EXPECT_DOUBLE_EQ(t.Cvol[2][2], 2100000.0);
  EXPECT_DOUBLE_EQ(t.T_init[2][3], -0.5);
  // Nodes at 0.3 and 0.6 lie in the first layer (bottom 0.5 m plus a
  // millimetre); the node at 3.0 m lies in the second (bottom 3.0 m).
  EXPECT_EQ(t.node_layer[2][2], 1);
  EXPECT_EQ(t.node_layer[2][3], 2);
  EXPECT_EQ(t.node_layer[2][4], 2);
}

TEST(PermafrostTable, RefusesFilesThatGiveNoProfileNamingFileAndValue) {
  struct bad_case {
    const char* what;
    std::function<void(table_files&)> spoil;
    const char* message;  // part of the console's error
  };
  const bad_case cases[] = {
      {"a depth-node file without the type's ID", [](table_files& f) { f.nodes = "ID 2\n0.0\n1.0\n2.0\n"; },
       "has no line \"ID 1\""},
      {"fewer node depths than the table names", [](table_files& f) { f.nodes = "ID 1\n0.0\n1.0\n2.0\n"; },
       "gives soil type 1 3 of the 201 node depths"},
      {"two nodes", [](table_files& f) { f.type_line = std::string("1  2  2  3  ") + column_layer; },
       "the whole number 2 is beyond the range 3 to 201"},
      {"more nodes than MAX_DN", [](table_files& f) { f.type_line = std::string("1  2  202  3  ") + column_layer; },
       "the whole number 202 is beyond the range 3 to 201"},
      {"a node depth list that falls",
       [](table_files& f) { f.nodes = "ID 1\n" + depth_list(0.1, 19.9) + "19.5\n"; },
       "node 201 at 19.5 m does not lie below node 200"},
      {"initial points that do not go down", [](table_files& f) { f.init = "ID 1\n1.0 20.0\n1.0 20.3\n"; },
       "point 2 at 1 m does not lie below point 1"},
      {"a zero frozen conductivity",
       [](table_files& f) { f.type_line = "1  2  201  3  50.0  0.0  0.3  0.0  0.0  1.0  0.0  1.5  0.0  2000000.0"; },
       "the frozen conductivity is 0"},
      {"water above one",
       [](table_files& f) { f.type_line = "1  2  201  3  50.0  0.0  1.3  0.0  0.0  1.0  0.0  1.5  2.0  2000000.0"; },
       "the water content is 1.3"},
      {"a temperature that is no number", [](table_files& f) { f.init = "ID 1\n0.0 nan\n20.0 20.3\n"; },
       "line 2 of the permafrost initial-temperature file"},
      {"a type line without values", [](table_files& f) { f.type_line.clear(); }, "has no values from column 91"},
  };
  for (const bad_case& c : cases) {
    kavro_test::scratch_dir dir;
    table_files f;
    c.spoil(f);
    permafrost_layer_soil_record t;
    testing::internal::CaptureStdout();
    const int got = read_table(dir, f, t);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(got, -1) << c.what;
    EXPECT_EQ(error_rec.stop, 1) << c.what;
    EXPECT_NE(out.find(c.message), std::string::npos) << c.what << "\n" << out;
  }
}

TEST(PermafrostTable, AMissingCompanionFileSaysWhichAndStops) {
  kavro_test::scratch_dir dir;
  table_files f;
  permafrost_layer_soil_record t;
  write_file(dir / "m.cmt", "");
  // Written by read_table, then taken away before a second read.
  read_table(dir, f, t);
  std::filesystem::remove(dir / "zn.txt");
  file_wrapper in;
  ASSERT_TRUE(in.open((dir / "m.cmt").string(), "r"));
  error_rec = error_record{};
  testing::internal::CaptureStdout();
  EXPECT_EQ(read_permafrost_soil_file(in, t, 1), -1);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("where is the dep_node_file?\n"), std::string::npos) << out;
  EXPECT_NE(out.find((dir / "zn.txt").string()), std::string::npos) << out;
  EXPECT_EQ(error_rec.stop, 1);
}

// The initial profile runs linear between the points that enclose each node,
// the end segments carried on above and below.
TEST(PermafrostTable, InitialProfileInterpolatesBetweenTheEnclosingPoints) {
  kavro_test::scratch_dir dir;
  table_files f;
  f.header_counts = "NUM_IDS 1\nMAX_NUMBER_LAYERS 1\nMAX_INIT_PT 3\nMAX_DN 201\n";
  f.type_line = std::string("1  3  41  0  ") + column_layer;
  f.init = "ID 1\n0.3 -5\n1 -1\n10 -0.5\n";
  f.nodes = "ID 1\n" + depth_list(0.3, 12.0);
  permafrost_layer_soil_record t;
  ASSERT_EQ(read_table(dir, f, t), 1);
  struct point {
    double z, temp;
  };
  const point expect[] = {{0.0, -5.0 - 4.0 * 0.3 / 0.7},
                          {0.3, -5.0},
                          {0.6, -5.0 + 4.0 * 0.3 / 0.7},
                          {3.0, -1.0 + 0.5 * 2.0 / 9.0},
                          {12.0, -1.0 + 0.5 * 11.0 / 9.0}};
  for (const point& p : expect) EXPECT_NEAR(initial_profile_temperature(t, 1, p.z), p.temp, 1e-12) << p.z;
}

// ---- Thermal kernels -------------------------------------------------------------

TEST(PermafrostKernels, FreezingBandLayersAndCapacities) {
  kavro_test::scratch_dir dir;
  table_files f;
  permafrost_layer_soil_record t;
  ASSERT_EQ(read_table(dir, f, t), 1);
  // A node exactly at the layer bottom plus a millimetre is in that layer;
  // one below the deepest bottom takes the deepest layer.
  EXPECT_EQ(layer_of_depth(t, 1, 50.001), 1);
  EXPECT_EQ(layer_of_depth(t, 1, 80.0), 1);
  const double frozen = 2e6 + 500 * 0.3, thawed = 2e6 + 1e6 * 0.3;
  struct kernel_case {
    double T, capacity, conductivity;
  };
  const kernel_case cases[] = {
      {-0.08 - 1e-9, frozen, 2.0},             // below the band: ice conducts
      {-0.08, 628775075.0, 1.75},              // the band's lower edge lies inside it
      {0.0, 628775075.0, 1.75},                // latent heat spread over the band
      {0.08, 628775075.0, 1.75},               // and its upper edge
      {0.08 + 1e-9, thawed, 1.5},              // above: thawed soil
  };
  for (const kernel_case& c : cases) {
    EXPECT_NEAR(apparent_heat_capacity(t, 1, 1, c.T), c.capacity, 1e-6) << c.T;
    EXPECT_DOUBLE_EQ(kotu_thermal_conductivity(t, 1, 1, c.T), c.conductivity) << c.T;
  }
  EXPECT_DOUBLE_EQ((frozen + thawed) / 2 + 1.671e8 * 0.3 / 0.08, 628775075.0);
}

TEST(PermafrostKernels, ImpedanceOfFrozenSoil) {
  struct case_ {
    double T, k, impedance, frozen_k;
  };
  const case_ cases[] = {{0.0, 1.0, 1.0, 1.0},
                         {0.0, 2.5, 1.0, 2.5},
                         {-1.0, 1.0, 0.6940794, 0.2444324},
                         {-1.0, 2.5, 0.6940794, 0.4617010},
                         {-5.0, 1.0, 0.1392924, 0.0189926}};
  for (const case_& c : cases) {
    const double i = frozen_impedance(c.T);
    EXPECT_NEAR(i, c.impedance, 5e-8) << c.T;
    const double k = i < 1.0 ? frozen_conductivity(c.k, i) : c.k;
    EXPECT_NEAR(k, c.frozen_k, 5e-8) << c.T << " " << c.k;
  }
}

// ---- The column solver -----------------------------------------------------------

struct column_run {
  permafrost_layer_soil_record t;
  std::vector<double> temp;
  soil_temperature_work w;
};

// Steps the profile `c.temp` hourly (dt s) for `solves` solves.
void run_column(column_run& c, double air, double dt, int solves) {
  for (int k = 0; k < solves; ++k) solve_soil_column(c.t, 1, dt, air, c.temp.data(), c.w);
}

// A surface step of 15 C on a linear profile: the conduction solution
// T = 20 + 0.015 z - 15 erfc(z / 2 sqrt(kappa t)) while no node freezes.
TEST(SoilTemperatureSolver, SurfaceStepFollowsTheConductionSolution) {
  kavro_test::scratch_dir dir;
  column_run c;
  ASSERT_EQ(read_table(dir, table_files{}, c.t), 1);
  size_soil_temperature_work(c.t, 1);
  c.w = c.t.work_by_thread[0];
  const double kappa = 1.5 / 2.3e6;
  struct step_case {
    double dt;
    double model[3];  // at 0.5, 1.0, 2.0 m after 480 solves
  };
  const step_case cases[] = {{3600.0, {8.9244, 12.4396, 17.2891}}, {3599.0, {8.9250, 12.4405, 17.2900}}};
  for (const step_case& sc : cases) {
    c.temp.assign(203, 0.0);
    for (int j = 1; j <= 201; ++j) c.temp[j] = initial_profile_temperature(c.t, 1, c.t.Depth[1][j]);
    run_column(c, 5.0, sc.dt, 480);
    const int nodes[3] = {6, 11, 21};
    for (int i = 0; i < 3; ++i) {
      const double z = c.t.Depth[1][nodes[i]], time = 480 * sc.dt;
      const double exact = 20 + 0.015 * z - 15 * std::erfc(z / (2 * std::sqrt(kappa * time)));
      EXPECT_NEAR(c.temp[nodes[i]], sc.model[i], 2e-4) << z << " m, dt " << sc.dt;
      EXPECT_NEAR(c.temp[nodes[i]], exact, 6e-3) << z << " m, dt " << sc.dt;
    }
    EXPECT_DOUBLE_EQ(c.temp[1], 5.0);
  }
}

// A frozen column at -1 C under air at 5 C thaws from the top; the 0 C
// isotherm follows the two-phase Neumann solution X = 2 gamma sqrt(kappa_th t).
TEST(SoilTemperatureSolver, ThawFrontFollowsTheStefanSolution) {
  kavro_test::scratch_dir dir;
  table_files f;
  f.header_counts = "NUM_IDS 1\nMAX_NUMBER_LAYERS 1\nMAX_INIT_PT 2\nMAX_DN 201\n";
  f.init = "ID 1\n0.0 -1.0\n10.0 -1.0\n";
  f.nodes = "ID 1\n" + depth_list(0.05, 10.0);
  column_run c;
  ASSERT_EQ(read_table(dir, f, c.t), 1);
  size_soil_temperature_work(c.t, 1);
  c.w = c.t.work_by_thread[0];
  c.temp.assign(203, -1.0);
  const double kappa = 1.5 / 2.3e6, gamma = 0.229814;
  const double model[3] = {0.35725, 0.49793, 0.60201};
  const double within[3] = {0.04, 0.021, 0.008};
  int most_passes = 0;
  for (int d = 1; d <= 3; ++d) {
    for (int h = 0; h < 240; ++h)
      most_passes = std::max(most_passes, solve_soil_column(c.t, 1, 3600.0, 5.0, c.temp.data(), c.w));
    double front = -1;
    for (int j = 2; j <= 201 && front < 0; ++j)
      if (c.temp[j - 1] > 0 && c.temp[j] <= 0)
        front = c.t.Depth[1][j - 1] + c.temp[j - 1] / (c.temp[j - 1] - c.temp[j]) * 0.05;
    const double neumann = 2 * gamma * std::sqrt(kappa * d * 10 * 86400.0);
    EXPECT_NEAR(front, model[d - 1], 5e-4) << d * 10 << " days";
    EXPECT_LT(std::fabs(front - neumann) / neumann, within[d - 1]) << d * 10 << " days, Neumann " << neumann;
  }
  // The top conductivities follow the thawing surface within a solve.
  EXPECT_GT(most_passes, 1);
}

// ---- The cell loop ---------------------------------------------------------------

// A record of n cells of one permafrost type read from `f`.
struct permafrost_box {
  kavro_test::scratch_dir dir;
  std::unique_ptr<main_state> owner = std::make_unique<main_state>();
  main_state& ms = *owner;

  explicit permafrost_box(long n, const table_files& f = {}) {
    ms.n_cells = static_cast<int>(n);
    EXPECT_EQ(read_table(dir, f, ms.permafrost_layer_soil), 1);
    alloc_ivec(ms.permaf_mask, n, "permaf_mask");
    alloc_ivec(ms.KOTU_soiltype, n, "KOTU_soiltype");
    const long nodes = ms.permafrost_layer_soil.max_node_count;
    alloc_dmat_zero(ms.perma_tem, n, nodes, "perma_tem");
    alloc_dmat_zero(ms.fr_lq_wat, n, std::max(nodes, 3L), "fr_lq_wat");
    alloc_dmat_zero(ms.K_init, n, std::max(nodes, 3L), "K_init");
    alloc_imat_zero(ms.node_toKOTU, n, std::max(nodes, 3L), "node_toKOTU");
    alloc_imat_zero(ms.node_fromKOTU, n, std::max(nodes, 3L), "node_fromKOTU");
    for (long c = 1; c <= n; ++c) {
      ms.permaf_mask[c] = 1;
      ms.KOTU_soiltype[c] = 1;
    }
  }
};

// Every cell is solved from its own profile: the result of a cell does not
// depend on the cells solved before it on its thread, nor on the number of
// threads; cells outside the mask keep their temperatures.
TEST(SoilTemperatureSolver, CellsAreSolvedAloneForAnyThreadCount) {
  const long n = 64;
  std::vector<std::vector<double>> results;
  for (int threads : {1, 8}) {
    permafrost_box b(n);
    main_state& ms = b.ms;
    for (long c = 1; c <= n; ++c)
      for (int j = 1; j <= 201; ++j) ms.perma_tem[c][j] = -3.0 + 0.1 * static_cast<double>(c % 7) + 0.02 * j;
    ms.permaf_mask[5] = 0;
    ms.hmet_record.hmet_air_temp = 4.0;
    const std::vector<double> outside(ms.perma_tem[5], ms.perma_tem[5] + 202);
    // Cell 9 alone, from its own start.
    column_run alone;
    read_table(b.dir, table_files{}, alone.t);
    alone.temp.assign(ms.perma_tem[9], ms.perma_tem[9] + 202);
    size_soil_temperature_work(alone.t, 1);
    alone.w = alone.t.work_by_thread[0];
    const int old_threads = omp_get_max_threads();
    omp_set_num_threads(threads);
    set_output_folder(b.dir.path().string());  // the solver's listing goes there
    for (int k = 0; k < 24; ++k) soil_temperature_solve(ms, 3600.0);
    set_output_folder("");
    EXPECT_TRUE(std::filesystem::exists(b.dir / "temprof_out.txt"));
    omp_set_num_threads(old_threads);
    run_column(alone, 4.0, 3600.0, 24);
    for (int j = 1; j <= 201; ++j) {
      EXPECT_EQ(ms.perma_tem[9][j], alone.temp[j]) << j;
      EXPECT_EQ(ms.perma_tem[5][j], outside[j]) << j;
    }
    results.emplace_back(ms.perma_tem.data(), ms.perma_tem.data() + ms.perma_tem.cell_count());
  }
  EXPECT_TRUE(results[0] == results[1]) << "1 and 8 threads differ";
}

// ---- Couplings -------------------------------------------------------------------

// Richards nodes of 2 cm against temperature nodes at 0, 0.05, 0.13, 0.31,
// 0.77 and 1.0 m.
TEST(FrozenGround, RichardsNodesMapToTemperatureNodesBothWays) {
  table_files f;
  f.header_counts = "NUM_IDS 1\nMAX_NUMBER_LAYERS 1\nMAX_INIT_PT 2\nMAX_DN 6\n";
  f.type_line = std::string("1  2  6  0  ") + column_layer;
  f.nodes = "ID 1\n0\n0.05\n0.13\n0.31\n0.77\n1.0\n";
  permafrost_box b(1, f);
  main_state& ms = b.ms;
  ms.richards_max_nodes = 27;
  alloc_ivec(ms.numcells, 1, "numcells");
  ms.numcells[1] = 25;
  alloc_dmat_zero(ms.DZ, 1, 27, "DZ");
  for (int k = 1; k <= 25; ++k) ms.DZ[1][k] = 2.0;
  map_layers_to_temp_nodes(ms, 1);
  const int to[7] = {0, 1, 4, 8, 17, 25, 25};
  for (int j = 1; j <= 6; ++j) EXPECT_EQ(ms.node_toKOTU[1][j], to[j]) << "temperature node " << j;
  for (int k = 1; k <= 25; ++k) {
    const int from = k <= 2 ? 2 : k <= 6 ? 3 : k <= 15 ? 4 : 5;
    EXPECT_EQ(ms.node_fromKOTU[1][k], from) << "Richards node " << k;
  }
  // After the reduction every node's conductivity is K^I 0.01^(1 - I) of the
  // temperature of its node; nodes at or above 0 C keep theirs.
  alloc_dmat_zero(ms.KHEAD, 1, 27, "KHEAD");
  const double temps[7] = {0, 2.0, 0.0, -1.0, -5.0, -0.5, -0.5};
  for (int j = 1; j <= 6; ++j) ms.perma_tem[1][j] = temps[j];
  for (int k = 1; k <= 25; ++k) ms.KHEAD[1][k] = 0.01 * k;
  frozen_conductivity_column(ms, 1);
  for (int k = 1; k <= 25; ++k) {
    const double T = temps[ms.node_fromKOTU[1][k]];
    const double i = frozen_impedance(T);
    EXPECT_EQ(ms.K_init[1][k], 0.01 * k);
    EXPECT_EQ(ms.fr_lq_wat[1][k], i);
    EXPECT_DOUBLE_EQ(ms.KHEAD[1][k], T < 0 ? std::pow(0.01 * k, i) * std::pow(0.01, 1 - i) : 0.01 * k) << k;
  }
}

TEST(FrozenGround, GreenAmptLayersLinkToTheirTemperatureNodes) {
  struct ga_case {
    const char* what;
    double l1, l2, l3;  // layer thicknesses (cm)
    std::vector<int> layers;
    int rep[3];
  };
  // Nodes every 0.05 m from 0 to 1.0 m (21 nodes).
  std::vector<int> plain(22, 3);
  for (int j = 1; j <= 3; ++j) plain[j] = 1;
  for (int j = 4; j <= 7; ++j) plain[j] = 2;
  std::vector<int> no_second(22, 3);
  no_second[1] = no_second[2] = 1;
  std::vector<int> no_third(22, 3);
  no_third[1] = 1;
  no_third[2] = no_third[3] = 2;
  const ga_case cases[] = {
      {"layers of 12, 21, 25 cm", 12, 21, 25, plain, {3, 5, 12}},
      // No node lies in a second layer from 6 to 8 cm, nor in a third from
      // 11 to 13 cm: such a layer takes the node nearest its middle.
      {"an empty second layer", 6, 2, 10, no_second, {2, 2, 4}},
      {"an empty third layer", 5, 6, 2, no_third, {1, 2, 3}},
      // The profile ends inside layer 2: layers 2 and 3 take the middle
      // between layer 1's node and the last.
      {"a deep second layer", 12, 200, 25, {0, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2},
       {3, 12, 12}},
  };
  for (const ga_case& c : cases) {
    permafrost_box b(45, [] {
      table_files f;
      f.nodes = "ID 1\n" + depth_list(0.05, 1.0);
      f.type_line = std::string("1  2  21  0  ") + column_layer;
      return f;
    }());
    main_state& ms = b.ms;
    alloc_ivec(ms.soiltype, 45, "soiltype");
    for (long j = 1; j <= 45; ++j) ms.soiltype[j] = 1;
    ms.soil_type_table[1].layer_depth[1] = c.l1;
    ms.soil_type_table[1].layer_depth[2] = c.l2;
    ms.soil_type_table[1].layer_depth[3] = c.l3;
    for (int cell = 1; cell <= 45; ++cell) link_ga_layers_to_temp_nodes(ms, cell);
    for (int j = 1; j <= 21; ++j) EXPECT_EQ(ms.node_toKOTU[45][j], c.layers[j]) << c.what << ", node " << j;
    for (int l = 1; l <= 3; ++l) EXPECT_EQ(ms.node_fromKOTU[45][l], c.rep[l - 1]) << c.what << ", layer " << l;
    // The listing holds cell 45's nodes and its representatives once.
    set_output_folder(b.dir.path().string());
    write_ga_node_listing(ms);
    set_output_folder("");
    const auto lines = kavro_test::lines_of(read_file(b.dir / "KVPLnode_linkage_GA.txt"));
    ASSERT_EQ(lines.size(), 20u + (c.layers[21] == 3 ? 1u : 0u) + 2u) << c.what;
    EXPECT_EQ(lines[0], format_string("1   %d ", c.layers[1]));
    EXPECT_EQ(lines[lines.size() - 2], "next next next next @@@@@@@@@@@@@@@@@@@@@@@@@ ");
    EXPECT_EQ(lines.back(), format_string("%d   %d  %d", c.rep[0], c.rep[1], c.rep[2]));
  }
}

// A frozen Green-Ampt layer conducts K' = K^I 0.01^(1 - I) of the
// temperature of its representative node; the impedance is kept per layer.
TEST(FrozenGround, GreenAmptLayerConductivityFollowsItsNode) {
  permafrost_box b(2);
  main_state& ms = b.ms;
  for (int l = 1; l <= 3; ++l) {
    ms.node_fromKOTU[1][l] = l;
    ms.node_fromKOTU[2][l] = l;
  }
  ms.perma_tem[1][1] = -1.0;
  ms.perma_tem[1][2] = -1.0;
  ms.perma_tem[1][3] = 0.0;
  ms.permaf_mask[2] = 0;
  ms.perma_tem[2][1] = -5.0;
  EXPECT_NEAR(frozen_conductivity_factor(ms, 1, 1, 2.5, 1), 0.4617010, 5e-8);
  EXPECT_NEAR(ms.fr_lq_wat[1][1], 0.6940794, 5e-8);
  EXPECT_NEAR(frozen_conductivity_factor(ms, 1, 1, 1.0, 2), 0.2444324, 5e-8);
  EXPECT_EQ(frozen_conductivity_factor(ms, 1, 1, 1.0, 3), 1.0);
  EXPECT_EQ(ms.fr_lq_wat[1][3], 1.0);
  EXPECT_EQ(frozen_conductivity_factor(ms, 2, 1, 1.0, 1), 1.0) << "outside the permafrost mask";
}

// The thawed part of the saturated depths between head and bottom.
TEST(FrozenGround, ThawedSaturatedThickness) {
  const std::vector<double> z = {0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};  // nodes 1..11 every 1 m
  struct thaw_case {
    const char* what;
    std::function<double(double)> temp;
    double top, bottom, thawed;
  };
  const thaw_case cases[] = {
      {"all thawed", [](double) { return 1.0; }, 1, 5, 4.0},
      {"all frozen", [](double) { return -1.0; }, 1, 5, 0.0},
      {"frozen to 3 m", [](double d) { return d <= 3 ? -1.0 : 1.0; }, 1, 5, 1.53},
      {"at -0.06 C frozen", [](double) { return -0.06; }, 1, 5, 0.0},
      {"at -0.059 C thawed", [](double) { return -0.059; }, 1, 5, 4.0},
      {"head above the ground", [](double) { return 1.0; }, -2, 5, 5.0},
      {"bottom below the last node", [](double) { return 1.0; }, 8, 14, 2.0},
  };
  for (const thaw_case& c : cases) {
    std::vector<double> t(z.size());
    for (std::size_t j = 1; j < z.size(); ++j) t[j] = c.temp(z[j]);
    EXPECT_NEAR(thawed_length(z.data(), t.data(), 11, c.top, c.bottom), c.thawed, 1e-12) << c.what;
  }
}

}  // namespace
}  // namespace kavro
