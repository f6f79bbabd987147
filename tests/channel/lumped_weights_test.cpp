// The lumped models' channel weights: they cover only the entries the
// lateral exchange takes, sum to 1, and do not depend on how the links are
// numbered.
#include "channel/lumped_weights.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "framework/error_record.h"
#include "framework/main_state.h"

namespace kavro {
namespace {

// Four cells in a column draining into two links of two nodes (20 m): the
// upstream link through cells 1 and 2, the downstream one through cells 3
// and 4, one entry per cell. `upstream_first` numbers the upstream link 1.
std::unique_ptr<main_state> two_links(bool upstream_first) {
  error_rec = error_record{};
  auto ms = std::make_unique<main_state>();
  ms->channel_on = 1;
  ms->n_cells = 4;
  ms->dx = 10.0;
  ms->LINKS = 2;
  const int up = upstream_first ? 1 : 2, down = upstream_first ? 2 : 1;
  for (ivec* v : {&ms->ltype, &ms->nx, &ms->nx1, &ms->dslink, &ms->ndep}) v->allocate(3);
  ms->chan_dx.allocate(3);
  ms->uslinks.allocate(3, 2);
  for (int l = 1; l <= 2; ++l) ms->ltype[l] = 4, ms->nx[l] = 2, ms->nx1[l] = 3, ms->chan_dx[l] = 20.0;
  ms->ndep[down] = 1;
  ms->uslinks[down][1] = up;
  ms->dslink[up] = down;
  ms->con_link.allocate(4);
  ms->upslope_area.allocate(4);
  ms->topo_dex.allocate(4);
  ms->n_gst_cells = 4;
  ms->max_gst_nodes = 1;
  ms->gst_ncellsingrid.allocate(4);
  for (imat* m : {&ms->gst_link, &ms->gst_node, &ms->gst_gnum}) m->allocate(4, 1);
  for (dmat* m : {&ms->gst_pct, &ms->gst_sac_weight}) m->allocate(4, 1);
  for (int c = 1; c <= 4; ++c) {
    const int link = c <= 2 ? up : down;
    ms->con_link[c] = link;
    ms->upslope_area[c] = 100.0 * c;
    ms->topo_dex[c] = 1.0 + c;
    ms->gst_ncellsingrid[c] = 1;
    ms->gst_link[c][1] = link;
    ms->gst_node[c][1] = c <= 2 ? c : c - 2;
    ms->gst_gnum[c][1] = c;
    ms->gst_pct[c][1] = 1.0;
  }
  return ms;
}

struct weights_run {
  std::vector<double> w;  // by cell
  std::string out;
  int stop = 0;
};

weights_run build(main_state& ms, bool sacramento) {
  (sacramento ? ms.sacramento_on : ms.conceptual_gw_on) = 1;
  testing::internal::CaptureStdout();
  sacramento ? sacramento_link_weights(ms) : conceptual_gw_link_weights(ms);
  weights_run r;
  r.out = testing::internal::GetCapturedStdout();
  r.stop = error_rec.stop;
  error_rec = error_record{};
  if (r.stop) return r;
  const dmat& w = sacramento ? ms.gst_sac_weight : ms.gst_cgw_weight;
  for (int c = 1; c <= 4; ++c) r.w.push_back(w[c][1]);
  return r;
}

double sum(const std::vector<double>& v) {
  double s = 0.0;
  for (double x : v) s += x;
  return s;
}

TEST(LumpedWeights, TwoStoreWeightsDoNotDependOnLinkNumbering) {
  auto a = two_links(true), b = two_links(false);
  const weights_run ra = build(*a, false), rb = build(*b, false);
  ASSERT_EQ(ra.stop, 0) << ra.out;
  ASSERT_EQ(rb.stop, 0) << rb.out;
  // Each link adds 200 m2 of the 400 m2 at the outlet, over two nodes.
  for (int c = 0; c < 4; ++c) {
    EXPECT_NEAR(ra.w[c], 0.25, 1e-12) << "cell " << c + 1;
    EXPECT_NEAR(rb.w[c], 0.25, 1e-12) << "cell " << c + 1;
  }
  EXPECT_NE(ra.out.find("CGW Weights: 1.000000"), std::string::npos) << ra.out;
  EXPECT_NE(ra.out.find("3  link  2 area   300.00"), std::string::npos) << ra.out;
}

TEST(LumpedWeights, OnlyEntriesThatTakeLateralInflowGetAShare) {
  for (const bool sacramento : {true, false}) {
    SCOPED_TRACE(sacramento ? "Sacramento" : "two-store");
    // The downstream link is a lake: its entries exchange nothing.
    auto ms = two_links(true);
    ms->ltype[2] = 32;
    const weights_run r = build(*ms, sacramento);
    ASSERT_EQ(r.stop, 0) << r.out;
    EXPECT_EQ(r.w[2], 0.0);
    EXPECT_EQ(r.w[3], 0.0);
    EXPECT_NEAR(r.w[0], 0.5, 1e-12);
    EXPECT_NEAR(r.w[1], 0.5, 1e-12);
    EXPECT_NEAR(sum(r.w), 1.0, 1e-12);
    // No link left that takes lateral inflow: refused.
    auto none = two_links(true);
    none->ltype[1] = none->ltype[2] = 64;
    const weights_run n = build(*none, sacramento);
    EXPECT_EQ(n.stop, 1);
    EXPECT_NE(n.out.find("would reach no channel"), std::string::npos) << n.out;
  }
}

TEST(LumpedWeights, SacramentoByReachLengthAndTopographicIndex) {
  auto ms = two_links(true);
  ms->chan_dx[2] = 60.0;  // the downstream reaches are three times as long
  weights_run r = build(*ms, true);
  ASSERT_EQ(r.stop, 0);
  EXPECT_NEAR(r.w[0] * 3.0, r.w[2], 1e-12);
  EXPECT_NEAR(sum(r.w), 1.0, 1e-12);
  EXPECT_NE(r.out.find("Sac Weights: 1.000000"), std::string::npos);
  auto topo = two_links(true);
  topo->topo_index_on = 1;
  r = build(*topo, true);
  ASSERT_EQ(r.stop, 0);
  // Equal reaches: shares in proportion to the indices 2, 3, 4, 5.
  for (int c = 0; c < 4; ++c) EXPECT_NEAR(r.w[c], (2.0 + c) / 14.0, 1e-12);
}

TEST(LumpedWeights, TwoStoreLinkOfOneNodeAndWeightsOffOne) {
  auto ms = two_links(true);
  ms->nx1[1] = 1;  // no reach to share along: the link's weight stays finite
  const weights_run r = build(*ms, false);
  ASSERT_EQ(r.stop, 0);
  EXPECT_NE(r.out.find("Summation of the cgw weights is not equal to 1.0."), std::string::npos) << r.out;
  for (double w : r.w) EXPECT_TRUE(std::isfinite(w));
  EXPECT_NEAR(sum(r.w), 1.0, 1e-12);
  EXPECT_NEAR(r.w[0], 2.0 * r.w[2], 1e-12);
}

}  // namespace
}  // namespace kavro
