// The superlink solver on small networks read from pipe files: full-pipe
// flow between fixed heads against Manning's law with the outlet's velocity
// head, water conserved by parallel superlinks and their junctions, the
// sub-step rule, heads below their inverts and a singular junction matrix.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "channel/pipe_networks.h"
#include "framework/error_record.h"
#include "pipe_test_support.h"

namespace kavro_test {
namespace {

using kavro::main_state;

// Full-pipe discharge of a pipe of diameter d, roughness n and length l
// under a head difference dh: friction plus the velocity head lost at the
// outlet, dh = Q^2 (n^2 l / (A^2 R^(4/3)) + 1 / (2 g A^2)).
double full_pipe_flow(double d, double n, double l, double dh) {
  const double a = std::numbers::pi * d * d / 4, r = d / 4;
  return std::sqrt(dh / (n * n * l / (a * a * std::pow(r, 4.0 / 3.0)) + 1.0 / (2 * 9.81 * a * a)));
}

std::string fixed_head_ends() {
  return "SJUNC 1 105.0 101.0 1.0 11 1 1 0 0\n"
         "SJUNC 2 105.0 100.0 1.0 11 1 2 0 0\n"
         "CONNECT 1 1 2\n";
}

// The same for a full box of height h and width b.
double full_box_flow(double h, double b, double n, double l, double dh) {
  const double a = h * b, r = a / (2 * h + 2 * b);
  return std::sqrt(dh / (n * n * l / (a * a * std::pow(r, 4.0 / 3.0)) + 1.0 / (2 * 9.81 * a * a)));
}

TEST(SuperlinkSolver, AFullBoxFlowsThroughItsOwnSectionNotACirclesArea) {
  scratch_dir dir;
  auto ms = pipe_grid(1, 2, 10.0, {1, 1}, {105.0, 105.0});
  ASSERT_EQ(load_superlink(*ms, dir,
                           fixed_head_ends() +
                               "SLINK 1 1\nNODE 1 105 99.0 0 0 1 1\nNODE 2 105 98.0 0 0 1 2\n"
                               "PIPE 1 3 0.5 0.8 0.01 0.013 100.0\n"),
            0);
  for (int k = 0; k < 100; ++k) {
    kavro::superlink_step_volumes v;
    ASSERT_EQ(kavro::superlink_route(*ms, k, 10.0, v), 0);
  }
  const double q = full_box_flow(0.5, 0.8, 0.013, 100.0, 1.0);
  EXPECT_NEAR(ms->sl_work.Q_d[1], q, 1e-5 * q);
}

TEST(SuperlinkSolver, AFullPipeBetweenFixedHeadsCarriesManningsFlowHoweverItIsCut) {
  const double q = full_pipe_flow(0.5, 0.013, 100.0, 1.0);
  EXPECT_NEAR(q, 0.346360, 1e-6);
  struct layout {
    const char* label;
    std::string link;
    bool c_opt;
  } layouts[] = {
      {"one pipe of 100 m",
       "SLINK 1 1\nNODE 1 105 99.0 0 0 1 1\nNODE 2 105 98.0 0 0 1 2\nPIPE 1 1 0.5 0.5 0.01 0.013 100.0\n", false},
      {"four pipes of 25 m",
       "SLINK 1 4\nNODE 1 105 99.0 0 0 1 1\nNODE 2 105 98.75 0 0 1 1\nNODE 3 105 98.5 0 0 1 1\n"
       "NODE 4 105 98.25 0 0 1 2\nNODE 5 105 98.0 0 0 1 2\n"
       "PIPE 1 1 0.5 0.5 0.01 0.013 25.0\nPIPE 2 1 0.5 0.5 0.01 0.013 25.0\n"
       "PIPE 3 1 0.5 0.5 0.01 0.013 25.0\nPIPE 4 1 0.5 0.5 0.01 0.013 25.0\n",
       false},
      {"one pipe cut into 1, 24.5 x 4 and 1 m",
       "SLINK 1 1\nNODE 1 105 99.0 0 0 1 1\nNODE 2 105 98.0 0 0 1 2\nPIPE 1 1 0.5 0.5 0.01 0.013 100.0\n", true},
  };
  for (const layout& c : layouts) {
    scratch_dir dir;
    auto ms = pipe_grid(1, 2, 10.0, {1, 1}, {105.0, 105.0});
    ms->superlink_c_opt_on = c.c_opt ? 1 : 0;
    ASSERT_EQ(load_superlink(*ms, dir, fixed_head_ends() + c.link), 0) << c.label;
    for (int k = 0; k < 100; ++k) {
      kavro::superlink_step_volumes v;
      ASSERT_EQ(kavro::superlink_route(*ms, k, 10.0, v), 0) << c.label;
    }
    EXPECT_NEAR(ms->sl_work.Q_u[1], q, 1e-5 * q) << c.label;
    EXPECT_NEAR(ms->sl_work.Q_d[1], q, 1e-5 * q) << c.label;
    EXPECT_EQ(ms->sjunc_head[1], 101.0) << c.label;
    EXPECT_EQ(ms->sjunc_head[2], 100.0) << c.label;
  }
}

// Three junctions of 2 m2 at inverts 100.0, 99.9 and 99.8; junction 1 takes
// all the water of its 10 m cell. Junctions 1 and 2 are joined twice.
std::string parallel_network() {
  return "SJUNC 1 103.0 100.0 2.0 10 1 1 0 0\n"
         "SJUNC 2 103.0 99.9 2.0 0 1 3 0 0\n"
         "SJUNC 3 103.0 99.8 2.0 0 1 3 0 0\n"
         "CONNECT 1 1 2\nCONNECT 2 1 2\nCONNECT 3 2 3\n"
         "SLINK 1 2\nNODE 1 103 100.0 0 0 1 1\nNODE 2 103 99.95 0 0 1 1\nNODE 3 103 99.9 0 0 1 3\n"
         "PIPE 1 1 0.3 0.3 0.002 0.013 25.0\nPIPE 2 1 0.3 0.3 0.002 0.013 25.0\n"
         "SLINK 2 1\nNODE 1 103 100.0 0 0 1 1\nNODE 2 103 99.9 0 0 1 3\n"
         "PIPE 1 1 0.4 0.4 0.002 0.013 50.0\n"
         "SLINK 3 2\nNODE 1 103 99.9 0 0 1 3\nNODE 2 103 99.85 0 0 1 3\nNODE 3 103 99.8 0 0 1 3\n"
         "PIPE 1 1 0.3 0.3 0.002 0.013 25.0\nPIPE 2 1 0.3 0.3 0.002 0.013 25.0\n";
}

TEST(SuperlinkSolver, ParallelSuperlinksAndTheirJunctionsKeepEveryCubicMetre) {
  scratch_dir dir;
  auto ms = pipe_grid(1, 3, 10.0, {1, 0, 1}, {103.0, 103.0, 103.0});
  ASSERT_EQ(load_superlink(*ms, dir, parallel_network()), 0);
  ms->ov_depth[1] = 0.05;  // 5 m3
  const double inverts[] = {0, 100.0, 99.9, 99.8};
  double stored_in_links = 0.0;
  double settled_at = -1.0;
  for (int k = 0; k < 720; ++k) {
    kavro::superlink_step_volumes v;
    ASSERT_EQ(kavro::superlink_route(*ms, k, 10.0, v), 0) << k;
    for (int m = 1; m <= 3; ++m) stored_in_links += ms->sl_work.storage_change[m];
    double in_junctions = 0.0;
    for (int j = 1; j <= 3; ++j) {
      // No solved head lies so far below its invert that it is raised (which
      // would make water).
      EXPECT_GE(ms->sl_work.rhs[j], inverts[j] - 0.001) << k;
      in_junctions += 2.0 * (ms->sjunc_head[j] - inverts[j]);
    }
    ASSERT_NEAR(in_junctions + stored_in_links, 5.0, 5e-9) << "step " << k;
    const double spread = std::max({ms->sjunc_head[1], ms->sjunc_head[2], ms->sjunc_head[3]}) -
                          std::min({ms->sjunc_head[1], ms->sjunc_head[2], ms->sjunc_head[3]});
    if (spread > 1e-5) settled_at = -1.0;
    else if (settled_at < 0) settled_at = (k + 1) * 10.0 / 60.0;
  }
  EXPECT_EQ(ms->ov_depth[1], 0.0);
  EXPECT_GT(settled_at, 0.0);
  EXPECT_LE(settled_at, 10.0);
  EXPECT_NEAR(ms->sjunc_head[1], 100.53402, 1e-5);
}

TEST(SuperlinkSolver, ASurchargedSmallPipeKeepsItsWaterUnderManyDiametersOfHead) {
  // A deep pit pours through a grate into a manhole of 50 m2 faster than
  // the 0.1 m pipe below can carry it away onto the outlet cell: the head in
  // the manhole rises metres, many pipe diameters, above the pipe.
  scratch_dir dir;
  auto ms = pipe_grid(1, 2, 20.0, {1, 1}, {110.0, 101.0});
  const std::string pipes =
      "SJUNC 1 110.0 100.0 50.0 1 1 1 0.6 0.5\nSJUNC 2 101.0 99.0 1.0 888 1 2 0 0\nCONNECT 1 1 2\n"
      "SLINK 1 4\nNODE 1 110 100.0 0 0 1 1\nNODE 2 110 99.75 0 0 1 1\nNODE 3 110 99.5 0 0 1 1\n"
      "NODE 4 110 99.25 0 0 1 2\nNODE 5 101 99.0 0 0 1 2\n"
      "PIPE 1 1 0.1 0.1 0.01 0.013 25\nPIPE 2 1 0.1 0.1 0.01 0.013 25\n"
      "PIPE 3 1 0.1 0.1 0.01 0.013 25\nPIPE 4 1 0.1 0.1 0.01 0.013 25\n";
  ASSERT_EQ(load_superlink(*ms, dir, pipes), 0);
  ms->ov_depth[1] = 0.5;
  double stored = 0.0, taken = 0.0, given = 0.0;
  for (int k = 0; k < 60; ++k) {
    kavro::superlink_step_volumes v;
    ASSERT_EQ(kavro::superlink_route(*ms, k, 10.0, v), 0) << k;
    stored += ms->sl_work.storage_change[1];
    taken += v.taken;
    given += v.given;
    ASSERT_NEAR(50.0 * (ms->sjunc_head[1] - 100.0) + stored, taken - given, 1e-9 * taken) << k;
  }
  EXPECT_GT(ms->sjunc_head[1] - 100.0, 2.0);  // twenty diameters of head
  EXPECT_GT(ms->slink_node_depth[3][1], 10 * 0.1);
  // The manhole gave the superlink little more than its full pipe holds
  // (the rest is its narrow pressure slot): resetting the node depths of a surcharged
  // pipe would let the manhole drain into room the pipe does not have.
  const double in_pipe = kavro::superlink_network_volume(*ms) - 50.0 * (ms->sjunc_head[1] - 100.0);
  EXPECT_LT(stored, in_pipe + 0.1);
  EXPECT_GT(stored, 0.0);
  EXPECT_NEAR(ms->ov_depth[2] * 400.0, given, 1e-9);
}

double surface_water(const main_state& ms) {
  double v = 0.0;
  for (long c = 1; c <= ms.n_cells; ++c) v += ms.ov_depth[c] * ms.dx * ms.dx;
  return v;
}

TEST(SuperlinkStep, InletsReleasesAndOutletsChangeTheirCellsOnceAndAreBookedOnce) {
  scratch_dir dir;
  auto ms = pipe_grid(1, 3, 10.0, {1, 1, 1}, {100, 100, 100});
  const std::string pipes =
      "SJUNC 1 100 98 1.5 2 1 1 0.6 0.5\nSJUNC 2 100 97 1.0 888 1 3 0 0\nCONNECT 1 1 2\n"
      "SLINK 1 2\nNODE 1 100 98 0 0 1 1\nNODE 2 100 97.5 0.5 1 1 2 0.6 0.5\nNODE 3 100 97 0 0 1 3\n"
      "PIPE 1 1 0.3 0.3 0.01 0.013 50\nPIPE 2 1 0.3 0.3 0.01 0.013 50\n";
  ASSERT_EQ(load_superlink(*ms, dir, pipes), 0);
  ms->high_head_release_on = 1;
  ms->runoff_active = 1;
  ms->ov_depth[1] = ms->ov_depth[2] = 0.05;
  const double dt = 10.0, day = 86400.0;
  ms->now = 2455000.0;
  ms->superlink_active = 1;
  ms->superlink_interval_days = dt / day;
  ms->next_superlink_time = ms->now;
  ms->last_superlink_time = ms->now - dt / day;
  const double surface0 = surface_water(*ms);
  const auto booked_change = [&] { return ms->vol_superlink_to_overland - ms->vol_overland_to_superlink; };
  // Step 1: both grates take water; the node's counts like the junction's.
  const double cells_before = surface_water(*ms);
  kavro::superlink_step(*ms);
  EXPECT_GT(0.05 - ms->ov_depth[2], 0.0);
  EXPECT_NEAR(ms->vol_overland_to_superlink, (0.1 - ms->ov_depth[1] - ms->ov_depth[2]) * 100.0, 1e-12);
  EXPECT_NEAR(surface_water(*ms) - cells_before, booked_change(), 1e-12);
  for (int k = 1; k < 30; ++k) {
    ms->now += dt / day;
    kavro::superlink_step(*ms);
    ASSERT_NEAR(surface_water(*ms) - surface0, booked_change(), 1e-12) << k;
  }
  EXPECT_GT(ms->ov_depth[3], 0.0);  // the outlet returned water onto its cell
  // A surcharge: the water in junction 1 stands 0.5 m above the ground, so
  // its two grates give 2 x 0.5 m x 1.5 m2 back to their cell.
  ms->sjunc_head[1] = 100.5;
  const double cell1 = ms->ov_depth[1];
  ms->now += dt / day;
  kavro::superlink_step(*ms);
  EXPECT_NEAR(ms->ov_depth[1] - cell1, 1.5 / 100.0, 1e-15);
  EXPECT_NEAR(surface_water(*ms) - surface0, booked_change(), 1e-12);
  EXPECT_EQ(ms->vol_overland_to_superlink_total, ms->vol_overland_to_superlink);
  EXPECT_EQ(ms->vol_superlink_to_overland_total, ms->vol_superlink_to_overland);
  EXPECT_EQ(ms->superlink_substeps, 31);
  EXPECT_EQ(ms->superlink_volume, ms->vol_drains_final);
}

TEST(SuperlinkSolver, SubStepsFollowTheCourantLimitWithoutAShortLastOne) {
  struct row {
    double courant, dt;
    std::vector<double> steps;
  } rows[] = {
      {4.0, 9.0, {4.0, 5.0}},
      {4.0, 10.0, {4.0, 4.0, 2.0}},
      {0.3, 10.0, {1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0}},
      {25.0, 10.0, {10.0}},
      {100000.0, 10.0, {10.0}},
  };
  for (const row& r : rows) {
    const double s = kavro::superlink_substep(r.courant, r.dt);
    std::vector<double> got;
    for (double total = 0.0; total < r.dt - 1e-16 && got.size() < 100;) {
      got.push_back(kavro::superlink_substep_clip(s, r.dt, total));
      total += got.back();
    }
    EXPECT_EQ(got, r.steps) << r.courant << " in " << r.dt;
  }
}

TEST(SuperlinkSolver, AHeadFarBelowItsInvertIsRaisedAndAnIsolatedDryJunctionStopsTheRun) {
  const std::string two_junctions =
      "SJUNC 1 103.0 100.0 2.0 0 1 1 0 0\nSJUNC 2 103.0 99.8 2.0 0 1 2 0 0\n"
      "SJUNC 3 103.0 99.0 AREA 0 1 2 0 0\n"
      "CONNECT 1 1 2\nSLINK 1 1\nNODE 1 103 100.0 0 0 1 1\nNODE 2 103 99.8 0 0 1 2\n"
      "PIPE 1 1 0.3 0.3 0.002 0.013 100.0\n";
  const auto with_area = [&](const char* area) {
    std::string s = two_junctions;
    s.replace(s.find("AREA"), 4, area);
    return s;
  };
  for (double below : {0.002, 0.0005}) {
    scratch_dir dir;
    auto ms = pipe_grid(1, 2, 10.0, {1, 1}, {103.0, 103.0});
    ASSERT_EQ(load_superlink(*ms, dir, with_area("2.0")), 0);
    kavro::superlink_step_volumes v;
    ASSERT_EQ(kavro::superlink_route(*ms, 0, 10.0, v), 0);
    ms->sjunc_head[3] = 99.0 - below;  // an isolated junction keeps its head
    ASSERT_EQ(kavro::superlink_route(*ms, 1, 10.0, v), 0);
    if (below > 0.001) EXPECT_EQ(ms->sjunc_head[3], 99.0);
    else EXPECT_NEAR(ms->sjunc_head[3], 99.0 - below, 1e-12);
  }
  scratch_dir dir;
  auto ms = pipe_grid(1, 2, 10.0, {1, 1}, {103.0, 103.0});
  ASSERT_EQ(load_superlink(*ms, dir, with_area("0.0")), 0);
  testing::internal::CaptureStdout();
  kavro::superlink_step_volumes v;
  const int result = kavro::superlink_route(*ms, 0, 10.0, v);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(result, -1);
  EXPECT_EQ(kavro::error_rec.code, 134);
  EXPECT_NE(out.find("problem at superjunc 3"), std::string::npos) << out;
  kavro::error_rec = kavro::error_record{};
}

}  // namespace
}  // namespace kavro_test
