// The infiltration step: Green-Ampt against its analytic solution, exact
// bookkeeping in a closed box, the zero-deficit soil, redistribution under
// rain below the conductivity, exfiltration, the method edge cases, the
// refusal of a soil without parameters, and the same results for 1 and 4
// threads.
#include "subsurface/infiltration.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "framework/main_state.h"
#include "framework/run_clock.h"
#include "input/cell_arrays.h"
#include "subsurface/green_ampt.h"
#include "subsurface/subsurface_steps.h"
#include "test_support.h"

namespace kavro {
namespace {

constexpr double cm_per_h = 1.0 / 360000.0;  // 1 cm/h in m/s
constexpr double start_jd = 2451970.5;        // 2001-03-01 00:00

enum class method { green_ampt = 1, redistribution = 2, multi_layer = 3, richards = 4 };

// A record with the per-cell arrays of one infiltration method, on n cells
// of `dx` metres, its clock at `start_jd` with steps of `step_s` seconds.
struct soil_box {
  std::unique_ptr<main_state> owner = std::make_unique<main_state>();
  main_state& ms = *owner;
  double step_s;
  long steps_done = 0;

  soil_box(long n, method m, double step = 10.0, double dx = 10.0) : step_s(step) {
    ms.n_cells = static_cast<int>(n);
    ms.dx = dx;
    ms.green_ampt_on = m == method::green_ampt;
    ms.inf_redist_on = m == method::redistribution;
    ms.multi_layer_ga_on = m == method::multi_layer;
    ms.richards_on = m == method::richards;
    ms.soil_redist_on = m == method::redistribution || m == method::multi_layer;
    ms.conductivity_on = ms.capillary_on = ms.porosity_on = m == method::green_ampt || m == method::redistribution;
    ms.pore_index_on = ms.residual_sat_on = m == method::redistribution;
    ms.water_table_on = 1;  // the water table (elevgw) of the exfiltration cases
    alloc_cell_arrays(ms);
    ms.elevation.allocate(n);
    ms.time_tol = 1.1574074074074074e-7;
    ms.now = ms.last_infil_time = start_jd;
    ms.infil_interval = step;
    ms.infil_interval_days = step / 86400.0;
    ms.next_infil_time = ms.now + ms.infil_interval_days;
    ms.precip_period = ms.infil_interval_days;
    ms.infil_step = 1;
    ms.event_active = 1;  // a rain event in progress keeps the step awake
  }
  long n() const { return ms.n_cells; }

  // A uniform single-layer soil: K (m/s), suction head (m), porosity,
  // initial moisture.
  void soil(double k, double psi, double ths, double thi, double thr = 0.05, double lambda = 0.3) {
    for (long j = 1; j <= n(); ++j) {
      ms.conductivity[j] = k;
      ms.capillary[j] = psi;
      ms.porosity[j] = ths;
      ms.init_moisture[j] = thi;
      if (ms.inf_redist_on) {
        ms.residual_sat[j] = thr;
        ms.pore_index[j] = lambda;
        ms.redist_theta1[j] = ms.redist_theta2[j] = thi;
      }
    }
  }
  // Cells that keep their depth (boundary type 2).
  void hold(const std::vector<long>& cells) {
    ms.ov_boundary_on = 1;
    if (ms.boundary_type.empty()) ms.boundary_type.allocate(n());
    for (long j : cells) ms.boundary_type[j] = 2;
  }
  // Advances the clock one step and runs the infiltration step.
  void step() {
    ++steps_done;
    ms.now = start_jd + steps_done * step_s / 86400.0;
    infiltration_step(ms);
  }
  double minutes() const { return steps_done * step_s / 60.0; }
};

// ---- Green-Ampt in the closed box --------------------------------------------

// The 5 x 5 box of 10 m cells: a metre of water on the 24 low cells, the dry
// outlet cell (1) above them. Nothing leaves: only the soil takes water.
soil_box green_ampt_box(double psi, double thi) {
  soil_box b(25, method::green_ampt);
  b.soil(1.0 * cm_per_h, psi, 0.45, thi);
  for (long j = 2; j <= 25; ++j) b.ms.ov_depth[j] = 1.0;
  return b;
}

// Cumulative infiltration (m) of Green-Ampt from a dry start: F solves
// F - P ln(1 + F/P) = K t (bisection).
double analytic_f(double k, double p, double t) {
  double lo = 0.0, hi = 1.0;
  for (int i = 0; i < 200; ++i) {
    const double mid = 0.5 * (lo + hi);
    (mid - p * std::log(1.0 + mid / p) < k * t ? lo : hi) = mid;
  }
  return 0.5 * (lo + hi);
}

TEST(GreenAmpt, FollowsTheAnalyticSolutionAndClosesTheBalanceAtEveryStep) {
  soil_box b = green_ampt_box(0.11, 0.15);
  main_state& ms = b.ms;
  const double area = ms.dx * ms.dx;
  std::vector<double> depth_before(26), cum_before(26);
  while (b.minutes() < 240.0 - 1e-9) {
    for (long j = 1; j <= 25; ++j) {
      depth_before[j] = ms.ov_depth[j];
      cum_before[j] = ms.cum_infil[j];
    }
    b.step();
    double stored = 0.0, infiltrated = 0.0;
    for (long j = 1; j <= 25; ++j) {
      // The depth a cell loses is the depth its cumulative infiltration gains.
      EXPECT_NEAR(depth_before[j] - ms.ov_depth[j], ms.cum_infil[j] - cum_before[j], 1e-15) << j;
      stored += (ms.ov_depth[j] + ms.cum_infil[j]) * area;
      infiltrated += ms.cum_infil[j] * area;
    }
    ASSERT_NEAR(stored, 2400.0, 2400.0 * 1e-12);
    ASSERT_NEAR(ms.vol_infiltration_total, infiltrated, infiltrated * 1e-12 + 1e-300);
    ASSERT_EQ(ms.ov_depth[1], 0.0);
    ASSERT_EQ(ms.infil_rate[1], 0.0);
    ASSERT_EQ(ms.cum_infil[1], 0.0);
    for (long j = 3; j <= 25; ++j) ASSERT_EQ(std::memcmp(&ms.cum_infil[j], &ms.cum_infil[2], sizeof(double)), 0);
    if (std::fabs(b.minutes() - 60.0) < 1e-9) {
      EXPECT_GE(ms.cum_infil[2], 0.03242);
      EXPECT_LE(ms.cum_infil[2], 0.03308);
      EXPECT_NEAR(ms.cum_infil[2], analytic_f(cm_per_h, 0.033, 3600.0), 0.0041 * 0.03275);
    }
  }
  // 0.08077 m after 4 h at 10 s steps (analytic 0.08087).
  EXPECT_GE(ms.cum_infil[2], 0.08006);
  EXPECT_LE(ms.cum_infil[2], 0.08168);
  EXPECT_NEAR(ms.cum_infil[2], 0.08077, 0.00001);
  EXPECT_NEAR(analytic_f(cm_per_h, 0.033, 4 * 3600.0), 0.08087, 0.00001);
  // The run totals of the summary: infiltration and the water left on the surface.
  EXPECT_NEAR(ms.vol_infiltration_total, 193.85, 0.005);
  double surface = 0.0;
  for (long j = 1; j <= 25; ++j) surface += ms.ov_depth[j] * area;
  EXPECT_NEAR(surface, 2206.15, 0.005);
  EXPECT_NEAR(surface + ms.vol_infiltration_total, 2400.0, 1e-9);
  EXPECT_NEAR(ms.cum_infil_depth[2], ms.cum_infil[2], 1e-15);
}

TEST(GreenAmpt, ASoilWithoutSuctionDeficitTakesTheConductivity) {
  struct deficit_case {
    const char* what;
    double psi, thi;
  };
  const deficit_case cases[] = {{"moisture at the porosity", 0.11, 0.45},
                                {"no capillary head", 0.0, 0.15},
                                {"moisture above the porosity", 0.11, 0.50}};
  for (const deficit_case& c : cases) {
    SCOPED_TRACE(c.what);
    soil_box b = green_ampt_box(c.psi, c.thi);
    while (b.minutes() < 60.0 - 1e-9) b.step();
    for (long j = 2; j <= 25; ++j) {
      EXPECT_NEAR(b.ms.cum_infil[j], 0.0100, 1e-9);
      EXPECT_NEAR(b.ms.ov_depth[j], 0.9900, 1e-9);
      EXPECT_NEAR(b.ms.infil_rate[j], 1.0, 1e-9);
    }
  }
}

// ---- Redistribution under rain below the conductivity -------------------------

TEST(GreenAmptRedistribution, RainBelowTheConductivityEntersWholeAndTheClockParksAfterIt) {
  soil_box b(25, method::redistribution);
  main_state& ms = b.ms;
  b.soil(1.0 * cm_per_h, 0.11, 0.45, 0.15);
  ms.n_precip_events = 1;
  ms.event_no = 1;
  ms.event_active = 1;
  const double rain = 1e-6;  // m/s: 3.6 mm/h
  double precip = 0.0;
  for (int k = 1; k <= 540 && ms.next_infil_time < never_time; ++k) {
    const bool raining = k <= 360;
    ms.event_active = raining ? 1 : 0;
    if (raining) {
      for (long j = 1; j <= 25; ++j) ms.ov_depth[j] += rain * b.step_s;
      precip += 25 * rain * b.step_s * ms.dx * ms.dx;
    }
    b.step();
    for (long j = 1; j <= 25; ++j) {
      ASSERT_EQ(ms.ov_depth[j], 0.0) << k;
      ASSERT_EQ(ms.redist_theta2[j], 0.15) << k;
      ASSERT_EQ(ms.iter_pond_1[j], 0);
      ASSERT_EQ(ms.iter_n[j], 0);
    }
  }
  EXPECT_NEAR(precip, 9.0, 1e-12);
  EXPECT_NEAR(ms.vol_infiltration_total, 9.0, 1e-12);
  // The first dry step after the last event parks the clock for good.
  EXPECT_EQ(b.steps_done, 361);
  EXPECT_EQ(ms.next_infil_time, never_time);
  EXPECT_EQ(ms.redist_reinit, 0);
  EXPECT_EQ(ms.infil_step, 362);
  for (long j = 1; j <= 25; ++j) EXPECT_NEAR(ms.inf_depth_since_smr[j], 3.6e-3, 1e-15);
}

// ---- Exfiltration -------------------------------------------------------------

struct exfil_case {
  const char* what;
  method m;
  int yes_exfil;
  double table;       // water table above the ground (m)
  double pond;        // ponded depth (m)
  int gw_simulation;
  int lake;           // 1 channel lake, 2 overland lake
  bool held;
  double pond_after;  // expected
  double exfil_depth; // expected gw_exfil_depth
  double bound_out;   // expected held-depth volume out (m3)
};

TEST(Exfiltration, OnlyWhereTheWaterTableReachesTheGround) {
  constexpr double e = 0.2 * cm_per_h / 0.4 * 60.0;  // 8.3333e-5 m
  constexpr double leak = -0.36 / 360000.0 * 60.0;   // -6e-5 m
  const exfil_case cases[] = {
      {"table above dry ground", method::redistribution, 1, 0.2, 0.0, 0, 0, false, e, e, 0.0},
      {"may not exfiltrate", method::redistribution, 0, 0.2, 0.0, 0, 0, false, 0.0, 0.0, 0.0},
      {"table below the ground", method::redistribution, 1, -0.2, 0.0, 0, 0, false, 0.0, 0.0, 0.0},
      {"channel lake", method::redistribution, 1, 0.2, 0.0, 0, 1, false, 0.0, 0.0, 0.0},
      {"overland lake", method::redistribution, 1, 0.2, 0.0, 0, 2, false, 0.0, 0.0, 0.0},
      {"leakage from a pond", method::redistribution, 1, -0.2, 1e-3, 1, 0, false, 1e-3 + leak, leak, 0.0},
      {"leakage takes the pond at most", method::redistribution, 1, -0.2, 1e-5, 1, 0, false, 0.0, -1e-5, 0.0},
      {"held depth", method::redistribution, 1, 0.2, 0.0, 0, 0, true, 0.0, e, e * 100.0},
      // Richards columns of 40 cm at 1 cm/h: a lower table drains the pond; only yes_exfil 1 counts.
      {"Richards, table below", method::richards, 1, -0.2, 1e-3, 0, 0, false, 1e-3 - e, -e, 0.0},
      {"Richards, yes_exfil 2", method::richards, 2, 0.2, 0.0, 0, 0, false, 0.0, 0.0, 0.0},
      // d1 + d2 = 50 cm of the soil type, K1 1 cm/h.
      {"multi-layer", method::multi_layer, 1, 0.2, 0.0, 0, 0, false, 0.2 / 50.0 * 60.0 / 3600.0,
       0.2 / 50.0 * 60.0 / 3600.0, 0.0},
  };
  for (const exfil_case& c : cases) {
    SCOPED_TRACE(c.what);
    soil_box b(1, c.m, 60.0);
    main_state& ms = b.ms;
    if (c.m == method::redistribution) b.soil(1.0 * cm_per_h, 0.11, 0.45, 0.15);
    if (c.m == method::multi_layer) {
      ms.soiltype[1] = 7;
      ms.soil_type_table[7].layer_depth[1] = 20.0;
      ms.soil_type_table[7].layer_depth[2] = 30.0;
      ms.soil_type_table[7].layer_ks[1] = 1.0;
    }
    ms.elevation[1] = 100.0;
    ms.elevgw[1] = 100.0 + c.pond + c.table;
    ms.ov_depth[1] = c.pond;
    ms.yes_exfil[1] = c.yes_exfil;
    ms.gw_simulation_on = c.gw_simulation;
    ms.gw_leakage_rate = 0.36;
    if (c.lake == 1) {
      ms.lakes_on = 1;
      ms.lake_mask.allocate(1);
      ms.lake_mask[1] = 1;
    } else if (c.lake == 2) {
      ms.overland_lake_on = 1;
      ms.oland_lake_new.allocate(1);
      ms.oland_lake_new[1] = 1;
    }
    if (c.held) b.hold({1});
    if (c.m == method::richards) {
      ms.avgks[1] = 1.0;
      ms.totaldz[1] = 40.0;
    }
    exfiltration_pass(ms,
                      c.m == method::multi_layer ? exfil_method::multi_layer
                      : c.m == method::richards  ? exfil_method::richards
                                                 : exfil_method::redistribution,
                      60.0);
    // Times are Julian days: 60 s come out to 1e-6 relative.
    EXPECT_NEAR(ms.ov_depth[1], c.pond_after, 1e-6 * std::fabs(c.pond_after));
    EXPECT_NEAR(ms.gw_exfil_depth[1], c.exfil_depth, 1e-6 * std::fabs(c.exfil_depth));
    EXPECT_NEAR(ms.vol_exfil_total, c.exfil_depth * 100.0, 1e-6 * std::fabs(c.exfil_depth) * 100.0);
    EXPECT_NEAR(ms.vol_ov_head_bound_out_total, c.bound_out, 1e-6 * c.bound_out);
    if (c.held) {
      EXPECT_EQ(ms.ov_depth[1], c.pond);
    }
    EXPECT_EQ(ms.soil_moist_depth_cm, 40.0);
  }
}

TEST(Exfiltration, TheStepRunsThePassOnlyForItsMethods) {
  struct pass_case {
    method m;
    int any_exfil;
    double gained;
  };
  const pass_case cases[] = {{method::redistribution, 1, 0.2 * cm_per_h / 0.4 * 60.0},
                             {method::redistribution, 0, 0.0},
                             {method::green_ampt, 1, 0.0}};
  for (const pass_case& c : cases) {
    soil_box b(1, c.m, 60.0);
    main_state& ms = b.ms;
    b.soil(1.0 * cm_per_h, 0.11, 0.45, 0.15);
    ms.any_exfil = c.any_exfil;
    ms.yes_exfil[1] = 1;
    ms.elevgw[1] = 0.2;
    b.step();
    EXPECT_NEAR(ms.ov_depth[1], c.gained, 1e-6 * c.gained);
    EXPECT_NEAR(ms.vol_exfil_total, c.gained * 100.0, 1e-6 * c.gained * 100.0);
    // A saturated surface: the redistribution keeps the wetted zone at the porosity.
    if (c.m == method::redistribution) {
      EXPECT_EQ(ms.redist_theta1[1], 0.45);
    }
  }
}

// ---- Edge cases of the methods --------------------------------------------------

TEST(GreenAmptEdges, FirstStepHeldDepthAreaReductionAndLakes) {
  // From F0 = 0 over 10 s: 6.949e-4 m at 25.02 cm/h.
  soil_box b = green_ampt_box(0.11, 0.15);
  b.step();
  EXPECT_NEAR(b.ms.cum_infil[2], 6.949e-4, 5e-8);
  EXPECT_NEAR(b.ms.infil_rate[2], 25.02, 0.005);
  // The rate is that at the end of the step, at the Newton solution F.
  const double f_end = green_ampt_depth(cm_per_h, 0.033, 0.0, 10.0);
  EXPECT_NEAR(cm_per_h * (0.033 / f_end + 1.0) * 10.0, b.ms.cum_infil[2], 1e-6 * b.ms.cum_infil[2]);

  // Held depth: a 0.1 m pond stays, an hour books 3.2613 m3; a 1e-6 m pond
  // books its whole depth at every step.
  soil_box held(3, method::green_ampt);
  held.soil(1.0 * cm_per_h, 0.11, 0.45, 0.15);
  held.hold({1, 2});
  held.ms.ov_depth[1] = 0.1;
  held.ms.ov_depth[2] = 1e-6;
  held.ms.ov_depth[3] = 0.1;
  for (int k = 0; k < 360; ++k) held.step();
  EXPECT_EQ(held.ms.ov_depth[1], 0.1);
  EXPECT_EQ(held.ms.ov_depth[2], 1e-6);
  const double whole = 360 * 1e-6 * 100.0;
  EXPECT_NEAR(held.ms.vol_ov_head_bound_in_total - whole, 3.2613, 0.00005);
  EXPECT_NEAR(held.ms.cum_infil[1], 0.1 - held.ms.ov_depth[3], 1e-15);  // as the free pond of cell 3
  EXPECT_NEAR(held.ms.vol_infiltration_total, held.ms.vol_ov_head_bound_in_total + 100.0 * held.ms.cum_infil[3],
              1e-12);

  // Area reduction halves rate and depth; a channel-lake cell keeps its depth.
  soil_box r(2, method::green_ampt);
  r.soil(1.0 * cm_per_h, 0.11, 0.45, 0.15);
  r.ms.ov_depth[1] = r.ms.ov_depth[2] = 1.0;
  r.ms.area_reduction_on = 1;
  r.ms.area_reduction.allocate(2);
  r.ms.area_reduction[1] = 0.5;
  r.ms.area_reduction[2] = 1.0;
  r.ms.lakes_on = 1;
  r.ms.lake_mask.allocate(2);
  r.ms.lake_mask[2] = 3;
  r.ms.infil_rate[2] = 9.0;
  r.step();
  EXPECT_NEAR(r.ms.cum_infil[1], 0.5 * 6.949e-4, 5e-8);
  EXPECT_NEAR(r.ms.infil_rate[1], 0.5 * 25.02, 0.005);
  EXPECT_EQ(r.ms.ov_depth[2], 1.0);
  EXPECT_EQ(r.ms.infil_rate[2], 0.0);
  EXPECT_EQ(r.ms.cum_infil[2], 0.0);
}

// A cell drier than 1e-16 m takes nothing, and the step leaves its surface
// water as it found it: a film is not wiped and a depth below dry (which no
// step should leave, but which a failing solver could) is not set to 0, so
// the step makes no water that no book holds.
TEST(GreenAmptEdges, ADryCellKeepsItsSurfaceWaterAsItFoundIt) {
  for (const method m : {method::green_ampt, method::multi_layer}) {
    SCOPED_TRACE(m == method::green_ampt ? "Green-Ampt" : "multi-layer Green-Ampt");
    soil_box b(3, m);
    if (m == method::green_ampt) {
      b.soil(1.0 * cm_per_h, 0.11, 0.45, 0.15);
    } else {
      for (long j = 1; j <= 3; ++j) b.ms.soiltype[j] = 3;
      for (int l = 1; l <= 3; ++l) {
        b.ms.soil_type_table[3].layer_porosity[l] = 0.45;
        b.ms.soil_type_table[3].layer_ks[l] = 1.0;
        b.ms.soil_type_table[3].layer_depth[l] = 10.0;
      }
    }
    b.ms.ov_depth[1] = 5e-17;
    b.ms.ov_depth[2] = -3e-6;
    b.ms.ov_depth[3] = 0.0;
    b.step();
    EXPECT_EQ(b.ms.ov_depth[1], 5e-17);
    EXPECT_EQ(b.ms.ov_depth[2], -3e-6);
    EXPECT_EQ(b.ms.ov_depth[3], 0.0);
    for (long j = 1; j <= 3; ++j) {
      EXPECT_EQ(b.ms.cum_infil[j], 0.0) << "cell " << j;
      EXPECT_EQ(b.ms.infil_rate[j], 0.0) << "cell " << j;
    }
    EXPECT_EQ(b.ms.vol_infiltration_total, 0.0);
  }
}

TEST(GreenAmptEdges, NewtonStopsAfterItsCap) {
  // A residual that never falls below the tolerance: the last iterate is kept.
  const double f = green_ampt_depth(1e30, 0.033, 0.0, 10.0);
  EXPECT_TRUE(std::isfinite(f));
  EXPECT_GT(f, 0.0);
}

TEST(RedistributionEdges, FirstCallPrePondingExfiltrationAndGuards) {
  const double ks = 1.0 * cm_per_h;
  // The first call takes the initial moisture.
  soil_box first(1, method::redistribution);
  first.soil(ks, 0.11, 0.45, 0.15);
  first.ms.redist_theta1[1] = first.ms.redist_theta2[1] = 0.3;
  first.step();
  EXPECT_EQ(first.ms.redist_theta2[1], 0.15);

  // Pre-ponding moistening, supply 5e-7 m/s above Ks: 0.15 to 0.15003 in 10 s.
  soil_box pre(1, method::redistribution);
  pre.soil(ks, 0.11, 0.45, 0.15);
  pre.ms.ov_depth[1] = (ks + 5e-7) * 10.0;
  pre.step();
  EXPECT_NEAR(pre.ms.redist_theta1[1], 0.15003, 1e-9);
  EXPECT_EQ(pre.ms.ov_depth[1], 0.0);
  EXPECT_EQ(pre.ms.cum_infil[1], (ks + 5e-7) * 10.0);
  EXPECT_EQ(pre.ms.iter_pond_1[1], 0);

  // A cell under exfiltration is saturated and does nothing else.
  soil_box ex(1, method::redistribution);
  ex.soil(ks, 0.11, 0.45, 0.15);
  ex.ms.yes_exfil[1] = 1;
  ex.ms.ov_depth[1] = 0.01;
  ex.step();
  EXPECT_EQ(ex.ms.redist_theta1[1], 0.45);
  EXPECT_EQ(ex.ms.ov_depth[1], 0.01);
  EXPECT_EQ(ex.ms.cum_infil[1], 0.0);

  // The mended guards: initial moisture at saturation, a moisture below the
  // residual, and a redistribution with nothing infiltrated stay finite.
  struct guard_case {
    const char* what;
    double thi, thr, f_cum, theta0;
  };
  const guard_case guards[] = {{"theta_i at theta_s", 0.45, 0.05, 0.02, 0.45},
                               {"theta below theta_r", 0.02, 0.05, 0.02, 0.30},
                               {"F1 = 0", 0.15, 0.05, 0.0, 0.30}};
  for (const guard_case& g : guards) {
    SCOPED_TRACE(g.what);
    soil_box c(1, method::redistribution);
    c.soil(ks, 0.11, 0.45, g.thi, g.thr);
    main_state& ms = c.ms;
    // A cell that has ponded before (call 3), now fed below the conductivity.
    ms.infil_step = 3;
    ms.iter_pond_1[1] = 1;
    ms.redist_theta1[1] = g.theta0;
    ms.cum_infil[1] = ms.cum_infil_prev[1] = g.f_cum;
    ms.ov_depth[1] = 0.0;
    c.step();
    EXPECT_TRUE(std::isfinite(ms.redist_theta1[1]));
    EXPECT_GE(ms.redist_theta1[1], std::min(g.thi, 0.45));
    EXPECT_LE(ms.redist_theta1[1], 0.45);
    EXPECT_EQ(ms.iter_n[1], 3);
    // Renewed ponding over that profile.
    ms.ov_depth[1] = 0.01;
    c.step();
    EXPECT_TRUE(std::isfinite(ms.redist_theta1[1]));
    EXPECT_TRUE(std::isfinite(ms.cum_infil[1]));
    EXPECT_NEAR(ms.ov_depth[1] + ms.cum_infil[1], 0.01 + g.f_cum, 1e-15);
  }
}

TEST(RedistributionEdges, PondingDrainingAndRenewedPondingConserveWater) {
  soil_box b(1, method::redistribution);
  b.soil(1.0 * cm_per_h, 0.11, 0.45, 0.15);
  main_state& ms = b.ms;
  double supplied = 0.0;
  // Ten minutes of heavy rain (ponds), a dry spell of 200 minutes (the pond
  // drains, then the wetted zone redistributes), heavy rain again.
  for (int k = 1; k <= 1320; ++k) {
    const double rain = (k <= 60 || k > 1260) ? 2e-5 : 0.0;
    ms.ov_depth[1] += rain * b.step_s;
    supplied += rain * b.step_s;
    b.step();
    ASSERT_NEAR(ms.ov_depth[1] + ms.cum_infil[1], supplied, 1e-15) << k;
    ASSERT_GE(ms.redist_theta1[1], 0.15);
    ASSERT_LE(ms.redist_theta1[1], 0.45);
    if (k == 60) {
      EXPECT_GT(ms.iter_pond_1[1], 0);
      EXPECT_GT(ms.ov_depth[1], 0.0);
    }
    if (k == 1260) {
      EXPECT_EQ(ms.iter_n[1], 1260);
      EXPECT_LT(ms.redist_theta1[1], 0.45);
      EXPECT_EQ(ms.ov_depth[1], 0.0);
      EXPECT_EQ(ms.redist_work[1], ms.cum_infil[1]);
    }
    if (k == 1261) {
      EXPECT_NE(ms.no_wat_prof[1], 0);
    }
  }
  EXPECT_NEAR(ms.vol_infiltration_total, 100.0 * ms.cum_infil[1], 1e-12);
}

TEST(MultiLayerEdges, ZeroDeficitAndTheFrontEntersTheSecondLayer) {
  // Soils without suction: the front moves at the layered conductivity.
  soil_box b(2, method::multi_layer, 60.0);
  main_state& ms = b.ms;
  soil_type_params& p = ms.soil_type_table[3];
  for (int l = 1; l <= 3; ++l) p.layer_porosity[l] = 0.4;
  p.layer_ks[1] = 2.0;
  p.layer_ks[2] = 0.5;
  p.layer_ks[3] = 0.1;
  p.layer_depth[1] = 2.0;
  p.layer_depth[2] = 20.0;
  for (long j = 1; j <= 2; ++j) {
    ms.soiltype[j] = 3;
    ms.ov_depth[j] = 0.5;
    ms.THETA_ML[j][2] = ms.THETA_ML[j][3] = 0.2;
  }
  // Cell 1: a first layer above its porosity takes a deficit of 1 % of 0.4.
  ms.THETA_ML[1][1] = 0.45;
  ms.THETA_ML[2][1] = 0.2;
  b.step();
  const double f1 = 100.0 * ms.cum_infil[1], f2 = 100.0 * ms.cum_infil[2];
  EXPECT_NEAR(f1, 2.0 / 60.0, 1e-6 * f1);  // a minute of Julian-day time, to 1e-6
  EXPECT_NEAR(ms.wetdep[2], f2 / 0.2, 1e-12);
  EXPECT_NEAR(ms.wetdep[1], (f1 - 2.0 * 0.004) / 0.2 + 2.0, 1e-12);
  // The front of cell 1 has passed d1: the next step runs on layers 1 and 2 in series.
  b.step();
  const double l2 = (f1 - 2.0 * 0.004) / 0.2;
  EXPECT_NEAR(ms.infil_rate[1], (l2 + 2.0) / (l2 / 0.5 + 2.0 / 2.0), 1e-12);
  EXPECT_NEAR(ms.infil_rate[2], 2.0, 1e-12);
  for (long j = 1; j <= 2; ++j) EXPECT_NEAR(ms.ov_depth[j] + ms.cum_infil[j], 0.5, 1e-15);
  EXPECT_NEAR(ms.vol_infiltration_total, 100.0 * (ms.cum_infil[1] + ms.cum_infil[2]), 1e-12);
}

TEST(MultiLayerEdges, ConservesWaterWithSuctionThroughTheLayers) {
  soil_box b(1, method::multi_layer, 60.0);
  main_state& ms = b.ms;
  soil_type_params& p = ms.soil_type_table[4];
  for (int l = 1; l <= 3; ++l) {
    p.layer_suction_head[l] = 11.0;
    p.layer_porosity[l] = 0.45;
    p.layer_ks[l] = 1.0;
    ms.THETA_ML[1][l] = 0.15;
  }
  p.layer_depth[1] = 5.0;
  p.layer_depth[2] = 10.0;
  ms.soiltype[1] = 4;
  ms.ov_depth[1] = 0.2;
  double front = 0.0;
  for (int k = 0; k < 240; ++k) {
    b.step();
    ASSERT_NEAR(ms.ov_depth[1] + ms.cum_infil[1], 0.2, 1e-15);
    ASSERT_GE(ms.wetdep[1], front);
    front = ms.wetdep[1];
    ASSERT_EQ(ms.infil_nan_flag[1], 0);
  }
  // Equal layers behave as one soil: the Green-Ampt solution of 4 h,
  // 8.087 cm, less the lag of the end-of-step rate.
  EXPECT_NEAR(100.0 * ms.cum_infil[1], 8.087, 0.1);
  EXPECT_GT(front, 15.0);  // through both upper layers
}

TEST(InfiltrationEdges, FrozenBlendAndTheSleepBetweenEvents) {
  struct blend_case {
    double k, w, expected;
  };
  const blend_case blends[] = {{1e-4, 1.0, 1e-4}, {1e-4, 0.0, 1e-6}, {1e-4, 0.5, 1e-5}, {1e-7, 0.0, 1e-7}};
  for (const blend_case& c : blends) EXPECT_NEAR(frozen_conductivity_blend(c.k, c.w), c.expected, c.expected * 1e-12);

  // No water, rain, exfiltration or runoff: the step sleeps until one rain
  // period after the next event's start, and past the last event for good.
  soil_box b(1, method::redistribution);
  b.soil(1.0 * cm_per_h, 0.11, 0.45, 0.15);
  main_state& ms = b.ms;
  ms.event_active = 0;
  ms.n_precip_events = 2;
  ms.event_no = 1;
  ms.event_start_times[2] = start_jd + 2.0;
  ms.ov_contam_on = 1;
  ms.contam_table_read = 1;
  b.step();
  EXPECT_DOUBLE_EQ(ms.next_infil_time, start_jd + 2.0 + ms.precip_period);
  EXPECT_EQ(ms.ov_kin_infil_next, ms.next_infil_time);
  EXPECT_EQ(ms.next_ov_contam_time, ms.next_infil_time);
  EXPECT_EQ(ms.ov_kin_table_next, ms.next_infil_time);
  EXPECT_EQ(ms.ov_kin_table2_next, ms.next_infil_time);
  ms.event_no = 2;
  ms.next_infil_time = ms.now + ms.infil_interval_days;
  b.step();
  EXPECT_EQ(ms.next_infil_time, never_time);
  EXPECT_EQ(ms.ov_kin_table2_next, never_time);
  // Any runoff, rain or surface water keeps the step going.
  for (int* flag : {&ms.runoff_active, &ms.event_active, &ms.ov_cells_wet, &ms.any_exfil}) {
    *flag = 1;
    ms.next_infil_time = ms.now + ms.infil_interval_days;
    b.step();
    EXPECT_DOUBLE_EQ(ms.next_infil_time, ms.now + ms.infil_interval_days);
    *flag = 0;
  }
}

// ---- Threads -----------------------------------------------------------------

struct grid_result {
  std::vector<double> cum, depth, theta;
  double held_in = 0.0;
};

// 300 x 200 cells of seeded random soils, every 50th held-depth: 30 steps.
grid_result run_random_grid(method m, int threads) {
  const int saved = omp_get_max_threads();
  omp_set_num_threads(threads);
  const long n = 300 * 200;
  soil_box b(n, m);
  main_state& ms = b.ms;
  std::mt19937_64 rng(20261210);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (long j = 1; j <= n; ++j) {
    ms.conductivity[j] = (0.1 + 4.9 * u(rng)) * cm_per_h;
    ms.capillary[j] = 0.05 + 0.25 * u(rng);
    ms.porosity[j] = 0.45;
    ms.init_moisture[j] = 0.45 - 0.4 * u(rng);
    ms.ov_depth[j] = 0.05 * u(rng);
    if (m == method::redistribution) {
      ms.residual_sat[j] = 0.05;
      ms.pore_index[j] = 0.3;
    }
  }
  std::vector<long> held;
  for (long j = 50; j <= n; j += 50) held.push_back(j);
  b.hold(held);
  for (int k = 1; k <= 30; ++k) {
    // Rain on every tenth step, heavy enough to pond.
    if (k % 10 == 0)
      for (long j = 1; j <= n; ++j) ms.ov_depth[j] += 2e-4;
    b.step();
  }
  grid_result r;
  r.cum.assign(ms.cum_infil.begin(), ms.cum_infil.end());
  r.depth.assign(ms.ov_depth.begin(), ms.ov_depth.end());
  if (m == method::redistribution) r.theta.assign(ms.redist_theta1.begin(), ms.redist_theta1.end());
  r.held_in = ms.vol_ov_head_bound_in_total;
  omp_set_num_threads(saved);
  return r;
}

bool bitwise_equal(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() != b.size()) return false;
  return a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

TEST(InfiltrationThreads, OneAndFourThreadsGiveBitwiseEqualResults) {
  for (method m : {method::green_ampt, method::redistribution}) {
    const grid_result one = run_random_grid(m, 1);
    const grid_result four = run_random_grid(m, 4);
    EXPECT_TRUE(bitwise_equal(one.cum, four.cum));
    EXPECT_TRUE(bitwise_equal(one.depth, four.depth));
    EXPECT_TRUE(bitwise_equal(one.theta, four.theta));
    EXPECT_EQ(std::memcmp(&one.held_in, &four.held_in, sizeof(double)), 0);
    EXPECT_GT(one.held_in, 0.0);
  }
}

// ---- Refusal -------------------------------------------------------------------

TEST(InfiltrationRefusal, GreenAmptWithoutCapillaryStopsBeforeTheTimeLoop) {
  kavro_test::scratch_dir dir;
  for (const char* name : {"mask.asc", "elevation.asc"})
    std::filesystem::copy_file(kavro_test::data_dir() / "run" / name, dir / name);
  const std::string project = kavro_test::read_file(kavro_test::data_dir() / "run" / "p.prj") +
                              "GREEN_AMPT\nCONDUCTIVITY k.asc\nPOROSITY p.asc\n";
  kavro_test::write_file(dir / "p.prj", project);
  const auto r = kavro_test::run_program(kavro_test::kavro_binary(), {"p.prj"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("Error: The infiltration method GREEN_AMPT needs CAPILLARY: give the map card CAPILLARY "
                       "or the GREEN_AMPT_INFILTRATION table in the mapping table.\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("Running...."), std::string::npos);
}

}  // namespace
}  // namespace kavro
