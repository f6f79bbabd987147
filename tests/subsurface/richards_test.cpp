// The Richards soil columns against known solutions: unit-gradient steady
// state under a constant supply (Brooks-Corey and Havercamp), a draining
// column, a ponded saturated column that takes Ks, a water table at rest,
// the root sink of a dry spell; exact water books after every call; the
// set-up refusals of soils that give no column; and the same columns for
// 1 and 4 threads.
#include "subsurface/richards.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "input/cell_arrays.h"
#include "subsurface/richards_column.h"
#include "subsurface/subsurface_steps.h"
#include "subsurface/tridiag_solve.h"
#include "test_support.h"

namespace kavro {
namespace {

// "The soil": Brooks-Corey layers of 10, 20 and 20 cm on 1 cm nodes (Ks
// cm/h, porosity, residual, initial, wilting point, field capacity,
// thickness, lambda, bubbling pressure, node spacing).
std::string brooks_soil(double initial, double wilting = 0.10, double capacity = 0.30) {
  std::string t = "1 0\n1\n";
  for (double d : {10.0, 20.0, 20.0})
    t += "1.0 0.45 0.05 " + std::to_string(initial) + " " + std::to_string(wilting) + " " +
         std::to_string(capacity) + " " + std::to_string(d) + " 0.5 20 1\n";
  return t;
}

// A Havercamp soil of the same geometry: Ks 2, porosity 0.40, residual
// 0.05, initial 0.10, alpha 40 cm, beta 3, A 1000, B 2.
std::string havercamp_soil() {
  std::string t = "1 0\n1\n";
  for (double d : {10.0, 20.0, 20.0}) t += "2.0 0.40 0.05 0.10 0.06 0.2 " + std::to_string(d) + " 40 3 1000 2 1\n";
  return t;
}

// A record with the Richards columns of `table` (soil type 1 on every cell)
// on n cells of 10 m, ground at 100 m.
struct column_box {
  kavro_test::scratch_dir dir;
  std::unique_ptr<main_state> owner = std::make_unique<main_state>();
  main_state& ms = *owner;

  explicit column_box(const std::string& table, long n = 1, int model = brooks_corey_model, bool long_term = false,
                      const std::vector<double>& water_table = {}, const std::vector<int>& soils = {}) {
    ms.n_cells = static_cast<int>(n);
    ms.dx = 10.0;
    ms.quiet = 1;
    ms.richards_on = 1;
    ms.richards_c_option = model;
    ms.richards_k_option = 2;
    ms.richards_upper_option = 1;
    ms.richards_iter_max = 1;
    ms.richards_weight = 1.0;
    ms.richards_dtheta_max = 0.0025;
    ms.long_term_on = long_term;
    ms.water_table_on = water_table.empty() ? 0 : 1;
    ms.n_elev_bands = 1;
    alloc_cell_arrays(ms);
    ms.elevation.allocate(n);
    for (long j = 1; j <= n; ++j) {
      ms.elevation[j] = 100.0;
      ms.soiltype[j] = soils.empty() ? 1 : soils[static_cast<std::size_t>(j)];
      if (!water_table.empty()) {
        ms.elevgw[j] = water_table[static_cast<std::size_t>(j - 1)];
        ms.bottom_elev[j] = ms.elevgw[j] - 0.1;
      }
    }
    ms.aquifer_delta_z = 0.1;
    kavro_test::write_file(dir / "soil.tbl", table);
    ms.soil_layer_input_file_path = (dir / "soil.tbl").string();
    EXPECT_TRUE(ms.fs_soil_layer_input_file.open(ms.soil_layer_input_file_path, "r"));
    error_rec = error_record{};
    setup_richards_columns(ms);
    ms.fs_soil_layer_input_file.close();
  }
  // Water of the column of cell j, nodes 1..numcells-1 (cm).
  double water(long j = 1) const {
    double w = 0.0;
    for (long k = 1; k <= ms.numcells[j] - 1; ++k) w += ms.THETA[j][k] * ms.DZ[j][k];
    return w;
  }
};

// ---- The tridiagonal solver --------------------------------------------------------

TEST(TridiagSolve, SolvesADiagonallyDominantSystemExactly) {
  // A known solution x = 1..6 of a random dominant system.
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const long n = 6;
  std::vector<double> sup(n + 2), diag(n + 2), sub(n + 2), rhs(n + 2), x(n + 2);
  for (long i = 1; i <= n; ++i) {
    x[i] = static_cast<double>(i);
    sup[i] = u(rng);
    sub[i] = u(rng);
    diag[i] = 3.0 + u(rng);
  }
  for (long i = 1; i <= n; ++i)
    rhs[i] = diag[i] * x[i] + (i > 1 ? sub[i] * x[i - 1] : 0.0) + (i < n ? sup[i] * x[i + 1] : 0.0);
  tridiag_solve(1, n, sup.data(), diag.data(), sub.data(), rhs.data());
  for (long i = 1; i <= n; ++i) EXPECT_NEAR(rhs[i], x[i], 1e-13) << i;
}

// ---- Retention relations -------------------------------------------------------------

TEST(RichardsRetention, HeadAndMoistureAreInversesOnEveryBranch) {
  column_box b(brooks_soil(0.2));
  column_view c = column_of(b.ms, 1);
  // Below the cap, on the cap, at saturation.
  for (double h : {-300.0, -40.0, -31.0, -10.0, -0.5}) {
    const double th = theta_at_head(c, 5, h, brooks_corey_model);
    EXPECT_NEAR(head_at_theta(c, 5, th, 0.0, brooks_corey_model), h, 1e-9 * std::fabs(h)) << h;
  }
  EXPECT_DOUBLE_EQ(theta_at_head(c, 5, 3.0, brooks_corey_model), 0.45);
  EXPECT_DOUBLE_EQ(head_at_theta(c, 5, 0.46, -7.0, brooks_corey_model), 0.0) << "above saturation: saturated";
  EXPECT_DOUBLE_EQ(head_at_theta(c, 5, 0.04, -7.0, brooks_corey_model), -7.0) << "below residual: head kept";
  // The cap starts at theta_s (2/lambda)/(2/lambda + 1) = 0.36 and the head
  // hb ((2/lambda)/(2/lambda + 1))^(-1/lambda) = -31.25 cm.
  EXPECT_DOUBLE_EQ(c.thc[5], 0.36);
  EXPECT_NEAR(c.hc[5], -31.25, 1e-12);

  column_box h(havercamp_soil(), 1, havercamp_model);
  column_view v = column_of(h.ms, 1);
  for (double head : {-500.0, -54.77, -3.0}) {
    const double th = theta_at_head(v, 3, head, havercamp_model);
    EXPECT_NEAR(head_at_theta(v, 3, th, 0.0, havercamp_model), head, 1e-9 * std::fabs(head)) << head;
  }
  // Kr = A / (A + |h|^B): a quarter at |h| = sqrt(3000).
  v.phead[3] = -std::sqrt(3000.0);
  havercamp_node_conductivity(v, 3);
  EXPECT_NEAR(v.khead[3], 0.25, 1e-14);
}

// ---- Known solutions -----------------------------------------------------------------

// A constant supply q onto a deep column drains at unit gradient: the
// moisture everywhere settles where K(theta) = q. Each call's water books
// close: what the column gained is what entered at the top less what left
// at the bottom, and what is not in the column still stands on it.
TEST(RichardsColumns, ConstantSupplySettlesAtUnitGradientAndEveryCallBalances) {
  struct soil_case {
    const char* what;
    std::string table;
    int model;
    double supply_cm_h, hours, theta_star, initial;
    int passes = 1, mean = 2;  // RICHARDS_ITER_MAX, RICHARDS_K_OPTION
  };
  const double brooks_star = 0.05 + 0.40 * std::pow(0.2, 1.0 / 7.0);
  const soil_case cases[] = {
      {"Brooks-Corey", brooks_soil(0.2), brooks_corey_model, 0.2, 96.0, brooks_star, 0.2},
      // Several passes per sub-step and the arithmetic mean reach the same
      // state: the supply is given again at every pass.
      {"Brooks-Corey, 4 passes, arithmetic", brooks_soil(0.2), brooks_corey_model, 0.2, 96.0, brooks_star, 0.2, 4, 1},
      {"Havercamp", havercamp_soil(), havercamp_model, 0.5, 96.0,
       0.05 + 0.35 / (1.0 + std::pow(std::sqrt(3000.0) / 40.0, 3.0)), 0.10},
  };
  for (const soil_case& sc : cases) {
    SCOPED_TRACE(sc.what);
    column_box b(sc.table, 1, sc.model);
    main_state& ms = b.ms;
    ms.richards_iter_max = sc.passes;
    ms.richards_k_option = sc.mean;
    ms.richards_weight = 0.5;
    ASSERT_EQ(ms.numcells[1], 51);
    const double start = b.water();
    EXPECT_NEAR(start, 50.0 * sc.initial, 1e-12);
    const int calls = static_cast<int>(sc.hours * 60.0);
    double worst = 0.0, supplied = 0.0;
    for (int i = 0; i < calls; ++i) {
      ms.ov_depth[1] += sc.supply_cm_h / 100.0 / 60.0;
      richards_step(ms, 60.0);
      ASSERT_EQ(error_rec.code, 0);
      // The dry Brooks-Corey surface (K 0.001 cm/h at -142 cm) takes less
      // than the supply at first: a film of at most 2e-5 m stands for a few
      // minutes until the top node has wetted.
      if (i < 10)
        EXPECT_LT(ms.ov_depth[1], 2e-5) << "call " << i;
      else
        EXPECT_EQ(ms.ov_depth[1], 0.0) << "call " << i;
      const double books = 100.0 * ms.inf_rich[1] - ms.rich_bottom_flux[1];
      supplied += sc.supply_cm_h / 60.0;
      EXPECT_NEAR(supplied, 100.0 * (ms.inf_rich[1] + ms.ov_depth[1]), 1e-9 * supplied);
      worst = std::max(worst, std::fabs(b.water() - start - books) / b.water());
    }
    EXPECT_LT(worst, 1e-9);
    for (long k = 1; k <= 50; ++k) EXPECT_NEAR(ms.THETA[1][k], sc.theta_star, 1e-4) << k;
    EXPECT_NEAR(ms.WATFLUX[1][51], sc.supply_cm_h, 1e-3 * sc.supply_cm_h);
  }
}

// A storm of four (Brooks-Corey) or five (Havercamp) times the
// conductivity ponds on the column and saturates its top: the column's water
// still changes by exactly what crossed its surface and its bottom, and the
// rain is either in the soil or on it.
TEST(RichardsColumns, APondingStormKeepsExactBooks) {
  for (int model : {brooks_corey_model, havercamp_model}) {
    SCOPED_TRACE(model);
    const double cm_per_h = model == brooks_corey_model ? 4.0 : 10.0;
    column_box b(model == brooks_corey_model ? brooks_soil(0.2) : havercamp_soil(), 1, model);
    main_state& ms = b.ms;
    const double start = b.water();
    double rain = 0.0, worst = 0.0, most_pond = 0.0;
    for (int i = 0; i < 300; ++i) {
      if (i < 100) {
        ms.ov_depth[1] += cm_per_h / 100.0 / 60.0;
        rain += cm_per_h / 60.0;
      }
      richards_step(ms, 60.0);
      most_pond = std::max(most_pond, ms.ov_depth[1]);
      worst = std::max(worst, std::fabs(b.water() - start - (100.0 * ms.inf_rich[1] - ms.rich_bottom_flux[1])));
      EXPECT_NEAR(rain, 100.0 * (ms.inf_rich[1] + ms.ov_depth[1]), 1e-9 * rain) << i;
    }
    EXPECT_LT(worst, 1e-9 * b.water());
    EXPECT_GT(most_pond, 0.01) << "the storm ponds";
    EXPECT_EQ(ms.ov_depth[1], 0.0) << "and the pond soaks in";
  }
}

// A wet column without supply drains through its free bottom: nothing
// enters, the water it holds plus what left is its start, call by call.
TEST(RichardsColumns, DrainingColumnLosesOnlyThroughItsBottom) {
  column_box b(brooks_soil(0.40));
  main_state& ms = b.ms;
  EXPECT_NEAR(b.water(), 20.0, 1e-12);
  double worst = 0.0;
  for (int i = 0; i < 48 * 60; ++i) {
    richards_step(ms, 60.0);
    worst = std::max(worst, std::fabs(b.water() + ms.rich_bottom_flux[1] - 20.0) / 20.0);
  }
  EXPECT_LT(worst, 1e-9);
  EXPECT_EQ(ms.inf_rich[1], 0.0);
  EXPECT_EQ(ms.cum_infil[1], 0.0);
  EXPECT_NEAR(ms.rich_bottom_flux[1], 5.756, 0.01 * 5.756);
}

// A column never waits on a sub-step of zero: with no suggested length and
// a target change too small to reach, a call still covers its whole length,
// draining as much as a call of ordinary sub-steps.
TEST(RichardsColumns, ACallEndsWhateverTheSuggestedSubstep) {
  column_box reference(brooks_soil(0.40));
  richards_step(reference.ms, 60.0);
  column_box b(brooks_soil(0.40));
  b.ms.dtr[1] = 0.0;
  b.ms.richards_dtheta_max = 1e-12;
  richards_step(b.ms, 60.0);
  // Sub-steps of the shortest length, 1e-6 h, the last one taking the rest.
  EXPECT_GE(b.ms.rich_substeps[1], 16000);
  EXPECT_LE(b.ms.rich_substeps[1], 16667);
  EXPECT_LT(reference.ms.rich_substeps[1], 100);
  EXPECT_NEAR(b.ms.rich_bottom_flux[1], reference.ms.rich_bottom_flux[1], 1e-3 * reference.ms.rich_bottom_flux[1]);
  EXPECT_NEAR(b.water() + b.ms.rich_bottom_flux[1], 20.0, 1e-9 * 20.0);
}

// Sustained evaporation demand with no pond: the roots take it evenly from
// the nodes of the root zone (40 cm), moist above field capacity.
TEST(RichardsColumns, RootsMeetTheDemandOfADrySpell) {
  std::string table = "1 0\n1 0.2 0.3 0.5 60\n";  // long-term tables carry albedo, height, transmission, resistance
  for (double d : {10.0, 20.0, 20.0}) table += "1.0 0.45 0.05 0.30 0.06 0.10 " + std::to_string(d) + " 0.5 20 1\n";
  column_box b(table, 1, brooks_corey_model, true);
  main_state& ms = b.ms;
  ASSERT_DOUBLE_EQ(ms.root_depth[1], 0.4);
  EXPECT_NEAR(ms.init_moisture[1], 0.30, 1e-12) << "the root-zone mean";
  ms.pot_et[1] = ms.pot_aet[1] = 0.05 / 3600.0;  // cm/s
  const double start = b.water();
  double returned = 0.0;
  for (int i = 0; i < 10; ++i) returned += richards_step(ms, 3600.0);
  EXPECT_NEAR(returned, 0.0050, 1e-12);
  for (long k = 41; k <= 51; ++k) EXPECT_EQ(ms.SOURCE[1][k], 0.0) << k;
  EXPECT_LT(ms.SOURCE[1][40], 0.0);
  const double lost = start - b.water();
  EXPECT_NEAR(lost, 0.5 + ms.rich_bottom_flux[1], 1e-9 * lost);
  EXPECT_NEAR(ms.DIRECT_EVAP[1], 0.0, 1e-15) << "no pond evaporated";
}

// A water table 30.5 cm below the ground: the column stops at the node
// below it, the nodes above stand at hydrostatic heads and nothing moves.
TEST(RichardsColumns, AWaterTableAtRestStaysAtRest) {
  column_box b(brooks_soil(0.2), 2, brooks_corey_model, false, {99.695, 100.2});
  main_state& ms = b.ms;
  ASSERT_EQ(ms.numcells[1], 32);
  EXPECT_NEAR(ms.DZ[1][31], 0.5, 1e-9);
  EXPECT_NEAR(ms.PHEAD[1][1], -30.0, 1e-9);
  EXPECT_NEAR(ms.PHEAD[1][30], -1.0, 1e-9);
  EXPECT_NEAR(ms.PHEAD[1][31], -0.25, 1e-9);
  EXPECT_NEAR(ms.PHEAD[1][32], 0.5, 1e-9);
  EXPECT_DOUBLE_EQ(ms.THETA[1][32], 0.45);
  EXPECT_NEAR(b.water(1), 12.853624, 1e-6);
  EXPECT_EQ(ms.yes_exfil[1], 0);
  // The second cell's water table stands 0.2 m above the ground.
  EXPECT_EQ(ms.numcells[2], 1);
  EXPECT_NEAR(ms.PHEAD[2][1], 20.5, 1e-9);
  EXPECT_DOUBLE_EQ(ms.THETA[2][1], 0.45);
  EXPECT_EQ(ms.yes_exfil[2], 1);
  EXPECT_EQ(ms.any_exfil, 1);

  std::vector<double> before(33);
  for (long k = 1; k <= 32; ++k) before[k] = ms.THETA[1][k];
  for (int i = 0; i < 24 * 60; ++i) richards_step(ms, 60.0);
  for (long k = 1; k <= 32; ++k) EXPECT_NEAR(ms.THETA[1][k], before[k], 1e-12) << k;
  EXPECT_NEAR(ms.rich_bottom_flux[1], 0.0, 1e-9);
  EXPECT_EQ(ms.THETA[2][1], 0.45) << "never solved";
}

// A moisture that is not a number would poison every balance: the call
// names the cell and the node, and the run stops after the step.
TEST(RichardsColumns, AMoistureThatIsNotANumberStopsTheRun) {
  column_box b(brooks_soil(0.3), 3);
  b.ms.KHEAD[2][7] = std::nan("");
  testing::internal::CaptureStdout();
  richards_step(b.ms, 60.0);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(error_rec.code, already_printed_code);
  EXPECT_NE(out.find("Error: the moisture of node 6 of the Richards soil column of cell 2 is not a number.\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("cell 1 "), std::string::npos) << "the other cells are sound";
  EXPECT_EQ(out.find("cell 3 "), std::string::npos);
  error_rec = error_record{};
}

// ---- Set-up refusals ------------------------------------------------------------------

TEST(RichardsSetup, SoilsThatGiveNoColumnAreRefusedNamingFileSoilLayerAndValue) {
  struct bad_case {
    const char* what;
    std::string layer1;
    const char* expected;
  };
  const std::string good = "1.0 0.45 0.05 0.2 0.1 0.3 10 0.5 20 1\n";
  const bad_case cases[] = {
      {"residual at porosity", "1.0 0.45 0.5 0.48 0.1 0.3 10 0.5 20 1\n", "layer 1: the residual moisture 0.5"},
      {"initial above porosity", "1.0 0.45 0.05 0.5 0.1 0.3 10 0.5 20 1\n", "layer 1: the initial moisture 0.5"},
      {"initial below residual", "1.0 0.45 0.05 0.01 0.1 0.3 10 0.5 20 1\n", "layer 1: the initial moisture 0.01"},
      {"Ks zero", "0 0.45 0.05 0.2 0.1 0.3 10 0.5 20 1\n", "layer 1: the saturated conductivity 0"},
      {"lambda zero", "1.0 0.45 0.05 0.2 0.1 0.3 10 0 20 1\n", "layer 1: the pore-size distribution index 0"},
      {"no bubbling pressure", "1.0 0.45 0.05 0.2 0.1 0.3 10 0.5 0 1\n", "layer 1: the bubbling pressure 0"},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::internal::CaptureStdout();
    column_box b("1 0\n1\n" + c.layer1 + good + good);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(error_rec.code, already_printed_code);
    EXPECT_NE(out.find("soil.tbl, soil 1 " + std::string(c.expected)), std::string::npos) << out;
    EXPECT_TRUE(b.ms.THETA.empty()) << "no column is built";
  }
  testing::internal::CaptureStdout();
  column_box h("1 0\n1\n2.0 0.40 0.05 0.10 0.06 0.2 10 40 3 -5 2 1\n2.0 0.40 0.05 0.10 0.06 0.2 20 40 3 1000 2 1\n"
               "2.0 0.40 0.05 0.10 0.06 0.2 20 40 3 1000 2 1\n",
               1, havercamp_model);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("layer 1: the Havercamp A -5"), std::string::npos) << out;

  // A soil map type the table does not list is named once, with a cell of it.
  testing::internal::CaptureStdout();
  column_box missing(brooks_soil(0.2), 3, brooks_corey_model, false, {}, {0, 1, 7, 7});
  const std::string none = testing::internal::GetCapturedStdout();
  EXPECT_EQ(error_rec.code, already_printed_code);
  EXPECT_NE(none.find("Error: soil type 7 of cell 2 is not in the Richards soil table "), std::string::npos) << none;
  EXPECT_EQ(none.find("layer"), std::string::npos) << none;
  EXPECT_TRUE(missing.ms.THETA.empty());
  error_rec = error_record{};
}

// ---- Threads -----------------------------------------------------------------------------

// Random soils, ponds, held-depth and exfiltrating cells on 6000 columns:
// 20 calls give the same bits for 1 and 4 threads.
TEST(RichardsColumns, SameColumnsForOneAndFourThreads) {
  std::mt19937 rng(2024);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::string table = "40 0\n";
  for (int s = 1; s <= 40; ++s) {
    table += std::to_string(s) + "\n";
    for (double d : {10.0, 20.0, 20.0}) {
      const double ks = 0.1 + 4.9 * u(rng), lambda = 0.2 + 0.6 * u(rng), initial = 0.1 + 0.3 * u(rng);
      table += std::to_string(ks) + " 0.45 0.05 " + std::to_string(initial) + " 0.1 0.3 " + std::to_string(d) + " " +
               std::to_string(lambda) + " 15 " + (d < 15 ? "1" : "2") + "\n";
    }
  }
  const long n = 6000;
  std::vector<int> soil(n + 1);
  std::vector<double> pond(n + 1);
  for (long j = 1; j <= n; ++j) {
    soil[j] = 1 + static_cast<int>(u(rng) * 39.999);
    pond[j] = u(rng) < 0.2 ? 0.01 * u(rng) : 0.0;
  }
  auto run = [&](int threads) {
    omp_set_num_threads(threads);
    auto b = std::make_unique<column_box>(table, n, brooks_corey_model, false, std::vector<double>{}, soil);
    main_state& ms = b->ms;
    ms.ov_boundary_on = 1;
    ms.boundary_type.allocate(n);
    for (long j = 1; j <= n; ++j) {
      ms.ov_depth[j] = pond[j];
      if (j % 97 == 0) ms.boundary_type[j] = 2;
      if (j % 101 == 0) ms.yes_exfil[j] = 1;
    }
    std::vector<double> sums;
    for (int i = 0; i < 20; ++i) {
      sums.push_back(richards_step(ms, 60.0));
      sums.push_back(ms.vol_ov_head_bound_in_total);
    }
    return std::make_pair(std::move(b), sums);
  };
  auto [one, one_sums] = run(1);
  auto [four, four_sums] = run(4);
  omp_set_num_threads(omp_get_num_procs());
  EXPECT_EQ(std::memcmp(one_sums.data(), four_sums.data(), one_sums.size() * sizeof(double)), 0);
  const main_state& a = one->ms;
  const main_state& c = four->ms;
  for (const auto& [x, y] : {std::pair{&a.THETA, &c.THETA}, {&a.PHEAD, &c.PHEAD}, {&a.WATFLUX, &c.WATFLUX}}) {
    ASSERT_EQ(x->cell_count(), y->cell_count());
    EXPECT_EQ(std::memcmp(x->data(), y->data(), x->cell_count() * sizeof(double)), 0) << x->name();
  }
  for (const auto& [x, y] : {std::pair{&a.ov_depth, &c.ov_depth}, {&a.rich_bottom_flux, &c.rich_bottom_flux},
                             {&a.inf_rich, &c.inf_rich}, {&a.dtr, &c.dtr}, {&a.cum_infil, &c.cum_infil}})
    EXPECT_EQ(std::memcmp(x->data(), y->data(), (n + 1) * sizeof(double)), 0) << x->name();
}

}  // namespace
}  // namespace kavro
