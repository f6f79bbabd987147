// The two-dimensional aquifer solver against known solutions: a linear head
// between two fixed heads and the recharge parabola (both exact for the
// five-point scheme), a closed box that keeps its water and levels out, a
// pumped well whose taking is booked, and the edge cases of the sink terms
// and the line relaxation.
#include "subsurface/groundwater_flow.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "input/grid_connectivity.h"
#include "subsurface/wells.h"
#include "test_support.h"

namespace kavro {
namespace {

// A rectangular aquifer of rows x cols active cells of dx metres, all of
// type 1, bottom 0, conductivity k (m/s), porosity s.
struct aquifer {
  std::unique_ptr<main_state> owner = std::make_unique<main_state>();
  main_state& ms = *owner;
  double pumped = 0.0;  // step x well rate x area over the calls (m3)

  aquifer(int rows, int cols, double dx, double k, double s) {
    ms.rows = ms.grid_rows = rows;
    ms.cols = ms.grid_cols = cols;
    ms.dx = dx;
    ms.quiet = 1;
    ms.gw_simulation_on = 1;
    ms.gw_relax_coeff = 1.0;
    ms.gw_lsor_con = 1e-5;
    ms.mask.allocate(rows + 1, cols + 1);
    long n = 0;
    for (int r = 1; r <= rows; ++r)
      for (int c = 1; c <= cols; ++c) ms.mask[r][c] = static_cast<int>(++n);
    ms.n_cells = static_cast<int>(n);
    for (ivec* v : {&ms.abovecon, &ms.belowcon, &ms.leftcon, &ms.rightcon}) v->allocate(n);
    build_cell_neighbours(rows, cols, ms.rightcon, ms.belowcon, ms.abovecon, ms.leftcon, ms.mask);
    ms.elevation.allocate(n);
    EXPECT_TRUE(alloc_groundwater_work(ms));
    for (long j = 1; j <= n; ++j) {
      ms.elevation[j] = 1000.0;
      ms.gw_hycond_x[j] = ms.gw_hycond_y[j] = k;
      ms.gw_cell_dx[j] = ms.gw_cell_dy[j] = dx;
      ms.gw_porosity[j] = ms.gw_storage[j] = s;
      ms.gwbound[j] = 1;
    }
    error_rec = error_record{};
  }
  long cell(int r, int c) const { return ms.mask[r][c]; }
  // One call of `step` seconds; the fluxes of the fixed cells are those of
  // this call.
  double run(double step) {
    for (long j = 1; j <= ms.n_cells; ++j) ms.gw_flux[j] = 0.0;
    const double v = groundwater_flow(ms, ms.n_cells, step);
    for (long j = 1; j <= ms.n_cells; ++j) pumped += step * ms.gw_well_rate[j] * ms.dx * ms.dx;
    return v;
  }
  double stored() const {
    double v = 0.0;
    for (long j = 1; j <= ms.n_cells; ++j)
      v += (ms.elevgw[j] - ms.bottom_elev[j]) * ms.gw_storage[j] * ms.gw_cell_dx[j] * ms.gw_cell_dy[j];
    return v;
  }
};

// A 1 x 21 strip of 50 m cells between fixed heads 30 (column 1) and 20 m
// (column 21), 10 m of aquifer under the line 30 - 0.5 (c - 1), lines along
// the row.
aquifer strip(const std::function<double(double)>& bottom_below) {
  aquifer a(1, 21, 50.0, 1e-2, 0.2);
  a.ms.gw_lsor_dir = 1;
  for (int c = 1; c <= 21; ++c) {
    const long j = a.cell(1, c);
    const double x = 50.0 * (c - 1);
    a.ms.bottom_elev[j] = bottom_below(x) - 10.0;
    a.ms.elevgw[j] = 24.0;
  }
  a.ms.elevgw[a.cell(1, 1)] = 30.0;
  a.ms.elevgw[a.cell(1, 21)] = 20.0;
  a.ms.gwbound[a.cell(1, 1)] = a.ms.gwbound[a.cell(1, 21)] = 2;
  return a;
}

TEST(GroundwaterFlow, LinearHeadBetweenFixedHeadsIsExact) {
  const auto line = [](double x) { return 30.0 - 0.01 * x; };
  aquifer a = strip(line);
  double v = 0.0;
  for (int day = 0; day < 60; ++day) v = a.run(86400.0);
  for (int c = 1; c <= 21; ++c) EXPECT_NEAR(a.ms.elevgw[a.cell(1, c)], line(50.0 * (c - 1)), 1e-8) << c;
  EXPECT_NEAR(a.ms.gw_flux[a.cell(1, 1)], 4320.0, 1e-5);
  EXPECT_NEAR(a.ms.gw_flux[a.cell(1, 21)], -4320.0, 1e-5);
  EXPECT_EQ(v, 0.0);
  EXPECT_EQ(error_rec.code, 0);
}

TEST(GroundwaterFlow, RechargeParabolaIsExactAndItsWaterLeavesThroughTheFixedHeads) {
  const auto parabola = [](double x) { return 30.0 - 0.01 * x + 5e-6 * x * (1000.0 - x); };
  aquifer a = strip(parabola);
  for (int c = 2; c <= 20; ++c) {
    a.ms.gwbound[a.cell(1, c)] = 6;
    a.ms.gw_static_flux[a.cell(1, c)] = -216.0 / 86400.0 / 2500.0;  // 1e-6 m/s into the aquifer
  }
  double v = 0.0;
  for (int day = 0; day < 60; ++day) v = a.run(86400.0);
  for (int c = 1; c <= 21; ++c) EXPECT_NEAR(a.ms.elevgw[a.cell(1, c)], parabola(50.0 * (c - 1)), 1e-8) << c;
  EXPECT_NEAR(a.ms.elevgw[a.cell(1, 11)], 26.25, 1e-8);
  EXPECT_NEAR(v, 4104.0, 1e-6);
  EXPECT_NEAR(a.ms.gw_flux[a.cell(1, 1)], 2268.0, 1e-5);
  EXPECT_NEAR(a.ms.gw_flux[a.cell(1, 21)], -6372.0, 1e-5);
  EXPECT_NEAR(v + a.ms.gw_flux[a.cell(1, 1)] + a.ms.gw_flux[a.cell(1, 21)], 0.0, 1e-6) << "steady: in = out";
}

// 9 x 9 cells of 10 m, 5 m of water, 7 m in the centre.
aquifer closed_box(double centre_head) {
  aquifer a(9, 9, 10.0, 1e-3, 0.2);
  a.ms.gw_lsor_con = 1e-12;
  for (long j = 1; j <= a.ms.n_cells; ++j) a.ms.elevgw[j] = 5.0;
  a.ms.elevgw[a.cell(5, 5)] = centre_head;
  return a;
}

double spread(const aquifer& a) {
  double lo = 1e300, hi = -1e300;
  for (long j = 1; j <= a.ms.n_cells; ++j) {
    lo = std::min(lo, a.ms.elevgw[j]);
    hi = std::max(hi, a.ms.elevgw[j]);
  }
  return hi - lo;
}

TEST(GroundwaterFlow, ClosedBoxKeepsItsWaterAndLevelsOut) {
  for (int dir : {0, 1}) {
    aquifer a = closed_box(7.0);
    a.ms.gw_lsor_dir = dir;
    EXPECT_NEAR(a.stored(), 8140.0, 1e-9);
    const long centre = a.cell(5, 5), corner = a.cell(1, 1);
    double below_1mm_h = -1, below_1um_h = -1;
    for (int k = 1; k <= 48 * 6; ++k) {
      const double centre_before = a.ms.elevgw[centre], corner_before = a.ms.elevgw[corner];
      EXPECT_EQ(a.run(600.0), 0.0);
      ASSERT_NEAR(a.stored(), 8140.0, 8140.0 * 1e-9) << "step " << k;
      EXPECT_LE(a.ms.elevgw[centre], centre_before);
      EXPECT_GE(a.ms.elevgw[corner], corner_before);
      if (below_1mm_h < 0 && spread(a) < 1e-3) below_1mm_h = k / 6.0;
      if (below_1um_h < 0 && spread(a) < 1e-6) below_1um_h = k / 6.0;
      a.ms.gw_toggle = a.ms.gw_toggle == 1 ? 2 : 1;
    }
    EXPECT_GT(below_1mm_h, 0.0);
    EXPECT_LE(below_1mm_h, 13.0);
    EXPECT_GT(below_1um_h, 0.0);
    EXPECT_LE(below_1um_h, 30.0);
    for (long j = 1; j <= a.ms.n_cells; ++j) EXPECT_NEAR(a.ms.elevgw[j], 407.0 / 81.0, 1e-6);
  }
}

TEST(GroundwaterFlow, PumpingIsTakenAndBookedAndCutByStorage) {
  struct row {
    double rate;    // m3/s
    double pumped;  // booked after 24 h (m3)
    double tolerance;
  };
  for (const row r : {row{0.005, 432.0, 1e-9}, row{0.05, 730.57, 0.01}}) {
    aquifer a = closed_box(5.0);
    a.ms.gw_lsor_con = 1e-10;
    a.ms.wells_on = 1;
    well_cell_list = {{static_cast<int>(a.cell(5, 5)), 0, r.rate, 0, nullptr}};
    const double start = a.stored();
    double entered = 0.0;
    for (int k = 1; k <= 144; ++k) {
      const double v = a.run(600.0);
      if (r.rate == 0.005) {
        EXPECT_NEAR(v, -3.0, 1e-9) << k;
      }
      entered += v;
    }
    EXPECT_NEAR(a.pumped, r.pumped, r.tolerance);
    EXPECT_NEAR(entered, -a.pumped, 1e-8) << "the returned volume books what was pumped";
    EXPECT_NEAR(start - a.stored(), a.pumped, 1e-6)
        << "the aquifer lost what was booked: the floor created none";
    if (r.rate == 0.005) {
      EXPECT_NEAR(a.ms.elevgw[a.cell(5, 5)], 4.2938, 1e-4);
    }
    free_well_cells();
  }
}

// A single 100 m cell: its head moves only by its sink term.
aquifer single_cell(double head, double storage) {
  aquifer a(1, 1, 100.0, 1e-4, storage);
  a.ms.elevgw[1] = head;
  return a;
}

TEST(GroundwaterFlow, EdgeCasesOfSinksFixedCellsAndTheRelaxation) {
  {  // A static flux drains the cell to the floor and no further; all booked.
    aquifer a = single_cell(5.0, 0.3);
    a.ms.gwbound[1] = 6;
    a.ms.gw_static_flux[1] = 86400.0 / 86400.0 / 1e4;  // 1e-4 m/s out
    const double expected[] = {3.8, 2.6, 1.4, 0.2, 0.001, 0.001};
    double entered = 0.0;
    for (double h : expected) {
      entered += a.run(3600.0);
      EXPECT_NEAR(a.ms.elevgw[1], h, 1e-9);
    }
    EXPECT_EQ(a.ms.gw_well_rate[1], 0.0) << "no pumping under 0.01 m of aquifer";
    EXPECT_NEAR(a.pumped, 14997.0, 1e-6);
    EXPECT_NEAR(entered, -14997.0, 1e-6);
    EXPECT_NEAR(5.0 * 0.3 * 1e4 - a.stored(), 14997.0, 1e-6);
  }
  {  // All cells fixed: heads kept, no flux to book.
    aquifer a = closed_box(7.0);
    for (long j = 1; j <= a.ms.n_cells; ++j) a.ms.gwbound[j] = 2;
    a.run(3600.0);
    EXPECT_EQ(a.ms.elevgw[a.cell(5, 5)], 7.0);
    EXPECT_EQ(a.ms.elevgw[a.cell(1, 1)], 5.0);
    EXPECT_EQ(a.ms.gw_flux[a.cell(5, 4)], 0.0);
  }
  {  // A step of 0 s returns the handed-over water and clears what it took.
    aquifer a = single_cell(5.0, 0.3);
    a.ms.gw_exfil_depth.allocate(1);
    a.ms.gw_exfil_depth[1] = 0.01;  // 1 cm exfiltrated
    EXPECT_NEAR(a.run(0.0), -100.0, 1e-12);
    EXPECT_EQ(a.ms.gw_exfil_depth[1], 0.0);
    EXPECT_EQ(a.ms.elevgw[1], 5.0);
  }
  {  // Leakage 0.36 cm/h is 1e-6 m/s, none under 0.01 m of aquifer.
    for (double b : {1.0, 0.005}) {
      aquifer a = single_cell(b, 0.3);
      a.ms.gw_leakage_rate = 0.36;
      a.run(3600.0);
      EXPECT_NEAR(a.ms.gw_leakage[1], b > 0.01 ? 1e-6 : 0.0, 1e-18) << b;
    }
  }
  {  // A relaxation that cannot reach its tolerance stops after the cap.
    aquifer a = closed_box(7.0);
    a.ms.gw_lsor_con = 0.0;
    testing::internal::CaptureStdout();
    EXPECT_EQ(a.run(600.0), 0.0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Error: Non-convergence in the groundwater line relaxation after 10000 sweeps."),
              std::string::npos);
    EXPECT_EQ(a.ms.gw_sweeps_last, gw_max_sweeps);
    EXPECT_EQ(error_rec.stop, 1) << "reported: the run stops";
    error_rec = error_record{};
  }
}

// A seeded random aquifer: conductivity over two decades, uneven bottoms and
// heads, 1 % fixed heads and static fluxes on 5 % of the cells.
aquifer random_aquifer(int rows, int cols, unsigned seed) {
  aquifer a(rows, cols, 100.0, 1e-4, 0.2);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (long j = 1; j <= a.ms.n_cells; ++j) {
    a.ms.gw_hycond_x[j] = a.ms.gw_hycond_y[j] = 1e-5 * std::pow(10.0, 2.0 * u(rng));
    a.ms.bottom_elev[j] = 10.0 * u(rng);
    a.ms.elevgw[j] = 30.0 + 5.0 * u(rng);
    const double pick = u(rng);
    if (pick < 0.01) {
      a.ms.gwbound[j] = 2;
    } else if (pick < 0.06) {
      a.ms.gwbound[j] = 6;
      a.ms.gw_static_flux[j] = (u(rng) - 0.5) * 2e-7;
    }
  }
  return a;
}

struct run_figures {
  std::vector<double> heads, flux;
  double entered = 0.0;
};

run_figures twenty_hours(int rows, int cols, int threads) {
  const int saved = omp_get_max_threads();
  omp_set_num_threads(threads);
  aquifer a = random_aquifer(rows, cols, 31u);
  run_figures f;
  for (int k = 0; k < 20; ++k) {
    f.entered += a.run(3600.0);
    a.ms.gw_toggle = a.ms.gw_toggle == 1 ? 2 : 1;
  }
  omp_set_num_threads(saved);
  EXPECT_EQ(error_rec.code, 0);
  EXPECT_EQ(error_rec.stop, 0);
  for (long j = 1; j <= a.ms.n_cells; ++j) {
    f.heads.push_back(a.ms.elevgw[j]);
    f.flux.push_back(a.ms.gw_flux[j]);
  }
  return f;
}

TEST(GroundwaterFlow, OneResultForAnyThreadCountAndEveryRunOfTheProcess) {
  const run_figures one = twenty_hours(300, 200, 1);
  const run_figures four = twenty_hours(300, 200, 4);
  EXPECT_TRUE(one.heads == four.heads);
  EXPECT_TRUE(one.flux == four.flux);
  EXPECT_EQ(one.entered, four.entered);
  // A later run of the process on a grid four times larger sizes its own work.
  const run_figures larger = twenty_hours(600, 400, 4);
  EXPECT_EQ(larger.heads.size(), 4 * one.heads.size());
  const run_figures again = twenty_hours(300, 200, 4);
  EXPECT_TRUE(again.heads == one.heads);
}

// Permafrost under the box: the aquifer conducts over its thawed part only.
// Temperature nodes every metre to 11 m under ground at 10 m; a column
// thawed from top to bottom moves exactly as the box without permafrost,
// a frozen one keeps only the 1 mm floor of saturated thickness.
TEST(GroundwaterFlow, PermafrostConductsOverTheThawedThicknessOnly) {
  kavro_test::scratch_dir dir;
  set_output_folder(dir.path().string());
  const auto with_permafrost = [](aquifer& a, double temperature) {
    main_state& ms = a.ms;
    const long n = ms.n_cells;
    ms.project_params.permafrost_kotu = 1;
    permafrost_layer_soil_record& t = ms.permafrost_layer_soil;
    ASSERT_TRUE(alloc_ivec(t.Dn_nums, 1, "Dn_nums"));
    ASSERT_TRUE(alloc_dmat_zero(t.Depth, 1, 12, "Depth"));
    t.Dn_nums[1] = 12;
    for (int k = 1; k <= 12; ++k) t.Depth[1][k] = k - 1.0;
    ASSERT_TRUE(alloc_ivec(ms.permaf_mask, n, "permaf_mask"));
    ASSERT_TRUE(alloc_ivec(ms.KOTU_soiltype, n, "KOTU_soiltype"));
    ASSERT_TRUE(alloc_dvec(ms.extent_KOTUgw, n, "extent_KOTUgw"));
    ASSERT_TRUE(alloc_dmat_zero(ms.perma_tem, n, 12, "perma_tem"));
    for (long j = 1; j <= n; ++j) {
      ms.permaf_mask[j] = ms.KOTU_soiltype[j] = 1;
      for (int k = 1; k <= 12; ++k) ms.perma_tem[j][k] = temperature;
    }
  };
  aquifer plain = closed_box(7.0), thawed = closed_box(7.0), frozen = closed_box(7.0);
  for (aquifer* a : {&plain, &thawed, &frozen})
    for (long j = 1; j <= a->ms.n_cells; ++j) a->ms.elevation[j] = 10.0;
  with_permafrost(thawed, 1.0);
  with_permafrost(frozen, -1.0);
  const long centre = plain.cell(5, 5);
  for (int k = 1; k <= 12; ++k) {
    for (aquifer* a : {&plain, &thawed, &frozen}) {
      a->run(600.0);
      a->ms.gw_toggle = a->ms.gw_toggle == 1 ? 2 : 1;
    }
    for (long j = 1; j <= plain.ms.n_cells; ++j)
      ASSERT_NEAR(thawed.ms.elevgw[j], plain.ms.elevgw[j], 1e-12) << "step " << k << ", cell " << j;
    ASSERT_NEAR(frozen.stored(), 8140.0, 8140.0 * 1e-9) << "step " << k;
  }
  // Thawed from the last pass's head to the bottom: the plain thickness.
  EXPECT_NEAR(thawed.ms.extent_KOTUgw[1], plain.ms.gw_sat_thickness[1], 1e-12);
  EXPECT_GT(thawed.ms.extent_KOTUgw[1], 4.9);
  EXPECT_EQ(frozen.ms.extent_KOTUgw[centre], 0.0);
  // Two hours move the plain centre by decimetres; the frozen one by a
  // thousandth of that (the floor's transmissivity over 5 m of aquifer).
  const double plain_fall = 7.0 - plain.ms.elevgw[centre], frozen_fall = 7.0 - frozen.ms.elevgw[centre];
  EXPECT_GT(plain_fall, 0.1);
  EXPECT_GT(frozen_fall, 0.0);
  EXPECT_LT(frozen_fall, 0.01 * plain_fall);
  set_output_folder("");
}

}  // namespace
}  // namespace kavro
