// Section properties of trapezoid and breakpoint nodes against known
// geometry, the breakpoint tables built from profiles, and the bed update.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "channel/breakpoint_tables.h"
#include "channel/cross_sections.h"
#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/main_state.h"

namespace kavro {
namespace {

// One link of `nodes` computational nodes and `tables` breakpoint tables of
// `rows` height steps.
std::unique_ptr<main_state> one_link(int ltype, int nodes, int tables = 0, int rows = 0, int pairs = 0) {
  auto ms = std::make_unique<main_state>();
  ms->LINKS = 1;
  ms->MAXNODES = nodes + 1;
  ms->max_nodes_per_link = nodes + 2;
  ms->link_dim = 2;
  for (ivec* v : {&ms->ltype, &ms->ldex, &ms->nx, &ms->nx1, &ms->bplink}) v->allocate(2);
  ms->ltype[1] = ltype;
  ms->ldex[1] = 1;
  ms->nx[1] = nodes;
  ms->nx1[1] = nodes + 1;
  ms->link_inv_n.allocate(2);
  ms->link_inv_n[1] = 1.0 / 0.035;
  ms->chan_dx.allocate(2);
  ms->chan_dx[1] = 10.0;
  for (dmat* m : {&ms->bottom, &ms->sslope, &ms->bel, &ms->yp, &ms->area, &ms->conv, &ms->dconv, &ms->topw,
                  &ms->chan_depth, &ms->new_bel, &ms->max_eros})
    m->allocate(ms->max_nodes_per_link, 2);
  ms->table_num.allocate(ms->max_nodes_per_link, 2);
  if (tables > 0) {
    for (dmat* m : {&ms->xarea, &ms->xtw, &ms->xk, &ms->xp}) m->allocate(rows, tables);
    ms->numhts.allocate(tables);
    ms->numpairs.allocate(tables);
    ms->ht_spc.allocate(tables);
    ms->n_xsec_tables = tables;
    ms->max_npairs = pairs;
    ms->max_num_interp = rows;
    size_xsec_scratch(*ms);
  }
  error_rec = error_record{};
  return ms;
}

bp_link_sections sections(const std::vector<int>& nodes, const std::vector<std::vector<double>>& profiles,
                          int num_interp) {
  bp_link_sections s;
  s.n_sections = static_cast<int>(nodes.size());
  s.node.push_back(0), s.npairs.push_back(0), s.num_interp.push_back(0), s.x.emplace_back(), s.y.emplace_back();
  for (size_t j = 0; j < nodes.size(); ++j) {
    const std::vector<double>& p = profiles[j];
    const int np = static_cast<int>(p.size() / 2);
    s.node.push_back(nodes[j]);
    s.npairs.push_back(np);
    s.num_interp.push_back(num_interp);
    s.x.emplace_back(np + 1, 0.0), s.y.emplace_back(np + 1, 0.0);
    for (int i = 1; i <= np; ++i) s.x.back()[i] = p[2 * (i - 1)], s.y.back()[i] = p[2 * (i - 1) + 1];
  }
  if (nodes.size() > 1) s.first = nodes.front(), s.last = nodes.back();
  return s;
}

double conveyance(double a, double p) { return a * std::pow(a / p, 2.0 / 3.0) / 0.035; }

TEST(SectionProperties, TrapezoidRectangleAndTriangleAreKnownShapes) {
  struct shape {
    double b, s, y, area, top, conv;
  } shapes[] = {
      {2.0, 1.0, 1.0, 3.0, 4.0, 62.411352},
      {3.0, 0.0, 0.8, 2.4, 3.0, 44.440486},
      {0.0, 2.0, 0.5, 0.5, 2.0, 5.262902},
  };
  for (const shape& sh : shapes) {
    auto ms = one_link(4, 1);
    ms->bottom[1][1] = sh.b;
    ms->sslope[1][1] = sh.s;
    ms->bel[1][1] = 100.0;
    ms->yp[1][1] = 100.0 + sh.y;
    ex_section(*ms, 2, ms->area);
    EXPECT_NEAR(ms->area[1][1], sh.area, 1e-12) << sh.b << " " << sh.s;
    EXPECT_NEAR(ms->topw[1][1], sh.top, 1e-12);
    EXPECT_NEAR(ms->conv[1][1], sh.conv, 1e-6);
    const double dk = ms->dconv[1][1];
    if (sh.b == 2.0) {
      EXPECT_NEAR(dk, 114.318745, 1e-6);
    }
    // The derivative is the slope of the conveyance with depth.
    const double h = 1e-6;
    ms->yp[1][1] = 100.0 + sh.y + h;
    ex_section(*ms, 2, ms->area);
    const double up = ms->conv[1][1];
    ms->yp[1][1] = 100.0 + sh.y - h;
    ex_section(*ms, 2, ms->area);
    EXPECT_NEAR(dk, (up - ms->conv[1][1]) / (2 * h), 1e-6 * std::max(1.0, dk));
    // Area back to depth, the rectangle (side slope 0) included.
    ms->area[1][1] = sh.area;
    ms->yp[1][1] = 0.0;
    ex_section(*ms, 1, ms->area);
    EXPECT_NEAR(ms->chan_depth[1][1], sh.y, 1e-12);
    EXPECT_NEAR(ms->yp[1][1], 100.0 + sh.y, 1e-12);
    EXPECT_NEAR(ms->conv[1][1], sh.conv, 1e-6);
  }
  EXPECT_NEAR(62.411352, conveyance(3.0, 2.0 + 2.0 * std::sqrt(2.0)), 1e-6);
}

TEST(SectionProperties, NegativeAreasAndMissingTablesStopTheRun) {
  auto ms = one_link(4, 2);
  ms->bottom[1][1] = ms->bottom[2][1] = 2.0;
  ms->area[1][1] = -0.00005;
  ms->area[2][1] = 1.0;
  ex_section(*ms, 1, ms->area);
  EXPECT_EQ(error_rec.code, 0);
  EXPECT_EQ(ms->area[1][1], 0.0);
  ms->area[1][1] = -0.0002;
  testing::internal::CaptureStdout();
  ex_section(*ms, 1, ms->area);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("program stopped for negative area, node 1, link 1"),
            std::string::npos);
  EXPECT_EQ(error_rec.code, 4000);

  // Mode 1 on a breakpoint node without a table is refused as mode 2 is.
  for (int mode : {1, 2}) {
    auto bp = one_link(8, 1, 1, 2, 4);
    bp->area[1][1] = 1.0;
    bp->yp[1][1] = 1.0;
    testing::internal::CaptureStderr();
    ex_section(*bp, mode, bp->area);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("No table specified for node"), std::string::npos);
    EXPECT_EQ(error_rec.code, 4000) << mode;
  }
}

TEST(BreakpointTables, TracedTrapezoidAndRectangleGiveTheirClosedForms) {
  auto ms = one_link(8, 1, 2, 10, 4);
  interp_bp_xsecs(*ms, 1, sections({1}, {{0, 1, 1, 0, 3, 0, 4, 1}}, 10), 0.035);
  ASSERT_EQ(error_rec.code, 0);
  EXPECT_EQ(ms->table_num[1][1], 1);
  for (int k = 1; k <= 10; ++k) {
    const double y = k / 10.0;
    EXPECT_NEAR(ms->xarea[k][1], (2 + y) * y, 1e-12) << k;
    EXPECT_NEAR(ms->xtw[k][1], 2 + 2 * y, 1e-12) << k;
    EXPECT_NEAR(ms->xp[k][1], 2 + 2 * std::sqrt(2.0) * y, 1e-12) << k;
  }
  EXPECT_NEAR(ms->xk[10][1], 62.411352, 1e-6);
  EXPECT_NEAR(ms->xarea[10][1] / ms->xp[10][1], 0.621320, 1e-6);

  ms->n_xsec_tables_used = 1;
  ms->table_num[1][1] = 0;
  interp_bp_xsecs(*ms, 1, sections({1}, {{0, 1, 0, 0, 3, 0, 3, 1}}, 10), 0.035);
  EXPECT_EQ(ms->table_num[1][1], 2);
  for (int k = 1; k <= 10; ++k) {
    EXPECT_NEAR(ms->xarea[k][2], 0.3 * k, 1e-12) << k;
    EXPECT_NEAR(ms->xtw[k][2], 3.0, 1e-12) << k;
    EXPECT_NEAR(ms->xp[k][2], 3 + 0.2 * k, 1e-12) << k;
  }
  EXPECT_NEAR(ms->xk[8][2], 44.440486, 1e-6);
}

TEST(BreakpointTables, LookupsInTheTracedTable) {
  auto ms = one_link(8, 1, 1, 10, 4);
  interp_bp_xsecs(*ms, 1, sections({1}, {{0, 1, 1, 0, 3, 0, 4, 1}}, 10), 0.035);
  ms->n_xsec_tables = 1;
  ms->bel[1][1] = 100.0;
  struct probe {
    double y, area, top, conv, dconv;
  } probes[] = {{0.25, 0.565, 2.5, 5.770569, 37.802018}, {0.05, 0.21 * std::pow(0.5, 5.0 / 3.0), -1, -1, 12.837355}};
  for (const probe& p : probes) {
    ms->yp[1][1] = 100.0 + p.y;
    ex_section(*ms, 2, ms->area);
    EXPECT_NEAR(ms->area[1][1], p.area, 1e-6) << p.y;
    if (p.top > 0) {
      EXPECT_NEAR(ms->topw[1][1], p.top, 1e-9);
    }
    if (p.conv > 0) {
      EXPECT_NEAR(ms->conv[1][1], p.conv, 1e-6);
    }
    EXPECT_NEAR(ms->dconv[1][1], p.dconv, 1e-6) << p.y;
  }
  ms->yp[1][1] = 101.5;
  ex_section(*ms, 2, ms->area);
  EXPECT_NEAR(ms->area[1][1], 4.95, 1e-12);
  EXPECT_EQ(ms->n_xsec_table_overruns, 1);

  // Over the table and beyond, depth to area and back returns the depth,
  // and nothing decreases with depth.
  double last_a = 0, last_t = 0, last_k = 0;
  for (double y = 0.001; y <= 1.3; y += 0.001) {
    ms->yp[1][1] = 100.0 + y;
    ex_section(*ms, 2, ms->area);
    const double a = ms->area[1][1], t = ms->topw[1][1], k = ms->conv[1][1];
    EXPECT_GE(a, last_a);
    EXPECT_GE(t, last_t - 1e-12);
    EXPECT_GE(k, last_k);
    last_a = a, last_t = t, last_k = k;
    ms->yp[1][1] = 0;
    ex_section(*ms, 1, ms->area);
    ASSERT_NEAR(ms->chan_depth[1][1], y, 1e-12) << y;
    EXPECT_NEAR(ms->conv[1][1], k, 1e-9) << y;
  }
}

TEST(BreakpointTables, LeveeBehindAFloodplainAndItsMirrorGiveTheTrapezoid) {
  const std::vector<double> levee{0, 1, 1, 2, 2, 0, 4, 0, 5, 2};
  std::vector<double> mirror;
  for (int i = 4; i >= 0; --i) mirror.push_back(5 - levee[2 * i]), mirror.push_back(levee[2 * i + 1]);
  for (const auto& profile : {levee, mirror}) {
    auto ms = one_link(8, 1, 1, 4, 5);
    interp_bp_xsecs(*ms, 1, sections({1}, {profile}, 4), 0.035);
    const double area[] = {1.125, 2.5, 4.125, 6.0};
    const double perimeter[] = {3.118034, 4.236068, 5.354102, 6.472136};
    for (int k = 1; k <= 4; ++k) {
      EXPECT_NEAR(ms->xarea[k][1], area[k - 1], 1e-9) << k;
      EXPECT_NEAR(ms->xp[k][1], perimeter[k - 1], 1e-6) << k;
      EXPECT_NEAR(ms->xtw[k][1], 2 + k * 0.5, 1e-9) << k;
    }
  }
}

TEST(BreakpointTables, SectionsAtTwoNodesInterpolateTheNodesBetween) {
  auto ms = one_link(8, 7, 5, 10, 4);
  const std::vector<double> narrow{0, 1, 0, 0, 2, 0, 2, 1}, wide{0, 1, 0, 0, 4, 0, 4, 1};
  interp_bp_xsecs(*ms, 1, sections({2, 6}, {narrow, wide}, 10), 0.035);
  ASSERT_EQ(error_rec.code, 0);
  EXPECT_EQ(ms->n_xsec_tables_used, 5);
  EXPECT_EQ(ms->table_num[1][1], ms->table_num[2][1]);
  EXPECT_EQ(ms->table_num[8][1], ms->table_num[6][1]);
  const double width[] = {2.0, 2.5, 3.0, 3.5, 4.0};
  for (int node = 2; node <= 6; ++node) {
    const int t = ms->table_num[node][1];
    for (int k = 1; k <= 10; ++k) EXPECT_NEAR(ms->xarea[k][t], width[node - 2] * 0.1 * k, 1e-12) << node << " " << k;
  }
}

TEST(BreakpointTables, TooDeepAProfileForItsStepsIsRefused) {
  auto ms = one_link(8, 1, 1, 100, 3);
  testing::internal::CaptureStdout();
  interp_bp_xsecs(*ms, 1, sections({1}, {{0, 150, 1, 0, 2, 150}}, 100), 0.035);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Error: The interpolation distance [1.50000]"),
            std::string::npos);
  EXPECT_EQ(error_rec.code, 200);
}

// A V profile on an erodible link: erosion lowers the thalweg most.
struct bed_case {
  double sand, thalweg_drop, side_drop;
};

TEST(BedUpdate, ErosionAndDepositionMoveTheProfileByTheirVolume) {
  for (const bed_case& bc : {bed_case{8.2, 0.15, 0.075}, bed_case{11.8, -0.18918, -0.05540}}) {
    for (int adjust : {1, 0}) {
      auto ms = one_link(10, 1, 2, 20, 5);
      ms->n_bp_sections = 1;
      ms->bplink[1] = 1;
      ms->xbp_lnn.allocate(1, ms->max_nodes_per_link, 5);
      ms->ybp_lnn.allocate(1, ms->max_nodes_per_link, 5);
      ms->max_yp.allocate(1, ms->max_nodes_per_link);
      ms->bp_sand_vol.allocate(1, ms->max_nodes_per_link);
      ms->ch_sand_vol.allocate(ms->max_nodes_per_link, 2, 1);
      ms->nx1[1] = 1;
      interp_bp_xsecs(*ms, 1, sections({1}, {{0, 102, 1, 101, 2, 100, 3, 101, 4, 102}}, 20), 0.035);
      ASSERT_EQ(error_rec.code, 0);
      ms->bel[1][1] = ms->new_bel[1][1] = 100.0;
      ms->max_yp[1][1] = 102.0;
      ms->max_eros[1][1] = 1.0;
      ms->sed_porosity = 0.4;
      ms->bp_sand_vol[1][1] = 10.0;
      ms->ch_sand_vol[1][1][0] = bc.sand;
      ms->sed_control.adjust_channel_bed_on = adjust;
      xsec_update(*ms);
      ASSERT_EQ(error_rec.code, 0);
      EXPECT_NEAR(ms->new_bel[1][1], 100.0 - bc.thalweg_drop, 1e-4);
      const double* y = ms->xsec_scratch_y.data();
      EXPECT_NEAR(100.0 - y[3], bc.thalweg_drop, 1e-4);
      EXPECT_NEAR(101.0 - y[2], bc.side_drop, 1e-4);
      EXPECT_NEAR(101.0 - y[4], bc.side_drop, 1e-4);
      EXPECT_EQ(y[1], 102.0);
      EXPECT_EQ(y[5], 102.0);
      double moved = 0;
      const double old_y[] = {0, 102, 101, 100, 101, 102};
      for (int k = 2; k <= 5; ++k) moved += ((old_y[k] - y[k]) + (old_y[k - 1] - y[k - 1])) / 2 * 10;
      EXPECT_NEAR(moved, bc.sand < 10 ? 3.0 : -3.0, 3e-5);
      if (adjust) {
        EXPECT_NEAR(ms->bel[1][1], ms->new_bel[1][1], 1e-12);
        EXPECT_NEAR(ms->ybp_lnn[1][1][3], y[3], 1e-12);
        if (bc.sand < 10) {
          EXPECT_NEAR(ms->ht_spc[ms->table_num[1][1]], 0.1075, 1e-6);
        }
      } else {
        EXPECT_EQ(ms->bel[1][1], 100.0);
        EXPECT_EQ(ms->ybp_lnn[1][1][3], 100.0);
      }
    }
  }
}

TEST(BedUpdate, ADryNodeAndTableOneAreAccepted) {
  auto ms = one_link(10, 1, 1, 20, 5);
  ms->n_bp_sections = 1;
  ms->bplink[1] = 1;
  ms->xbp_lnn.allocate(1, ms->max_nodes_per_link, 5);
  ms->ybp_lnn.allocate(1, ms->max_nodes_per_link, 5);
  ms->max_yp.allocate(1, ms->max_nodes_per_link);
  ms->bp_sand_vol.allocate(1, ms->max_nodes_per_link);
  ms->ch_sand_vol.allocate(ms->max_nodes_per_link, 2, 1);
  ms->nx1[1] = 1;
  interp_bp_xsecs(*ms, 1, sections({1}, {{0, 102, 1, 101, 2, 100, 3, 101, 4, 102}}, 20), 0.035);
  ASSERT_EQ(ms->table_num[1][1], 1);
  ms->bel[1][1] = ms->new_bel[1][1] = ms->max_yp[1][1] = 100.0;  // never wet: hd 0
  ms->max_eros[1][1] = 1.0;
  ms->bp_sand_vol[1][1] = 10.0;
  ms->ch_sand_vol[1][1][0] = 8.2;
  xsec_update(*ms);
  EXPECT_EQ(error_rec.code, 0);
  EXPECT_EQ(ms->new_bel[1][1], 100.0);
  ms->max_yp[1][1] = 102.0;
  xsec_update(*ms);
  EXPECT_EQ(error_rec.code, 0);
  EXPECT_LT(ms->new_bel[1][1], 100.0);
}

}  // namespace
}  // namespace kavro
