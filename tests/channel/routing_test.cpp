// Explicit routing of small trapezoid networks built in memory: uniform
// flow, a confluence, attenuation, still water, a closed channel, and the
// structure and exchange functions against hand-computed values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "channel/channel_routing.h"
#include "channel/channel_steps.h"
#include "channel/cross_sections.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "input/time_series.h"

namespace kavro {
namespace {

struct link_spec {
  int nodes;            // computational nodes
  double dx;            // node spacing (m)
  double elev1;         // bed at node 1 (m)
  double drop;          // bed fall per node (m)
  double b, s, n;       // bottom width, side slope, Manning n
  std::vector<int> up;  // upstream links
};

// A network of trapezoid links; the last link is the outlet. Every node
// starts dry unless `depth` is given.
std::unique_ptr<main_state> network(const std::vector<link_spec>& links, double depth = 0.0) {
  auto ms = std::make_unique<main_state>();
  const int L = static_cast<int>(links.size());
  int maxn = 0;
  for (const link_spec& s : links) maxn = std::max(maxn, s.nodes);
  ms->LINKS = L;
  ms->MAXNODES = maxn + 1;
  ms->max_nodes_per_link = maxn + 2;
  ms->link_dim = L + 1;
  ms->node_link_dim = (L + 1) * (maxn + 2);
  for (ivec* v : {&ms->ltype, &ms->ldex, &ms->nx, &ms->nx1, &ms->og_nx1, &ms->dslink, &ms->ndep}) v->allocate(L + 1);
  ms->link_inv_n.allocate(L + 1);
  ms->chan_dx.allocate(L + 1);
  ms->uslinks.allocate(L + 1, 3);
  for (dmat* m : {&ms->bottom, &ms->sslope, &ms->bel, &ms->yp, &ms->qp, &ms->area, &ms->conv, &ms->dconv, &ms->topw,
                  &ms->chan_depth, &ms->qlat, &ms->bankfull_dep, &ms->area_old})
    m->allocate(ms->max_nodes_per_link, L + 1);
  ms->table_num.allocate(ms->max_nodes_per_link, L + 1);
  for (int l = 1; l <= L; ++l) {
    const link_spec& s = links[l - 1];
    ms->ltype[l] = 4;
    ms->ldex[l] = l;
    ms->nx[l] = ms->og_nx1[l] = s.nodes;
    ms->nx1[l] = s.nodes + 1;
    ms->link_inv_n[l] = 1.0 / s.n;
    ms->chan_dx[l] = s.dx;
    ms->ndep[l] = static_cast<int>(s.up.size());
    for (size_t k = 0; k < s.up.size(); ++k) {
      ms->uslinks[l][k + 1] = s.up[k];
      ms->dslink[s.up[k]] = l;
    }
    for (int j = 1; j <= s.nodes; ++j) {
      ms->bottom[j][l] = s.b;
      ms->sslope[j][l] = s.s;
      ms->bankfull_dep[j][l] = 1.5;
      ms->bel[j][l] = s.elev1 - s.drop * (j - 1);
      ms->yp[j][l] = ms->bel[j][l] + depth;
      ms->chan_depth[j][l] = depth;
    }
  }
  ms->max_courant_number = 0.04;
  ms->channel_on = 1;
  ms->chan_point_inputs_on = 1;
  ms->chan_point_q.allocate(ms->node_link_dim + 1);
  error_rec = error_record{};
  ex_section(*ms, 2, ms->area);
  return ms;
}

long slot(const main_state& ms, int link, int node) { return static_cast<long>(link) * ms.max_nodes_per_link + node; }

double storage(const main_state& ms) {
  double v = 0;
  for (int l = 1; l <= ms.LINKS; ++l)
    for (int j = 1; j <= ms.nx[l]; ++j) v += ms.area[j][l] * ms.chan_dx[l];
  return v;
}

double normal_depth(double q, double b, double s, double n, double slope) {
  double lo = 0, hi = 10;
  for (int i = 0; i < 200; ++i) {
    const double y = 0.5 * (lo + hi), a = (b + s * y) * y, p = b + 2 * y * std::sqrt(1 + s * s);
    (a * std::pow(a / p, 2.0 / 3.0) / n * std::sqrt(slope) < q ? lo : hi) = y;
  }
  return 0.5 * (lo + hi);
}

// Routes `steps` intervals of dt, checking after each that inflow equals
// outflow plus storage gain; `inflow(t)` sets the point inputs.
template <class Inflow>
double route(main_state& ms, int steps, double dt, Inflow inflow, double* worst = nullptr) {
  const double v0 = storage(ms);
  double in = 0, out = 0, t = 0, err = 0;
  for (int k = 0; k < steps; ++k) {
    in += inflow(ms, t) * dt;
    ms.chan_dt = dt;
    EXPECT_EQ(ex_flow_route(ms, dt), 0);
    out += ms.chan_outflow_vol;
    t += dt;
    err = std::max(err, std::fabs(in - out - (storage(ms) - v0)) / std::max(in, 1.0));
  }
  if (worst) *worst = err;
  return out;
}

TEST(ExplicitRouting, SteadyInflowOnASingleLinkReachesNormalDepth) {
  auto ms = network({{40, 50.0, 104.0, 0.1, 3.0, 2.0, 0.03, {}}});
  double worst = 0;
  route(*ms, 1440, 10.0, [](main_state& m, double) {
    m.chan_point_q[slot(m, 1, 1)] = 2.0;
    return 2.0;
  }, &worst);
  EXPECT_LT(worst, 1e-12);
  const double yn = normal_depth(2.0, 3.0, 2.0, 0.03, 0.002);
  EXPECT_NEAR(yn, 0.571681, 1e-6);
  for (int j = 1; j <= 40; ++j) EXPECT_NEAR(ms->chan_depth[j][1], yn, 1e-9) << j;
  EXPECT_NEAR(ms->qp[40][1], 2.0, 1e-9);
}

TEST(ExplicitRouting, AConfluenceConservesWaterAndCarriesTheSumOfItsInflows) {
  auto ms = network({{20, 40.0, 103.0, 0.12, 2.0, 1.5, 0.035, {}},
                     {15, 40.0, 103.2, 0.16, 1.5, 1.5, 0.035, {}},
                     {30, 40.0, 100.5, 0.06, 4.0, 2.0, 0.03, {1, 2}}});
  double worst = 0;
  route(*ms, 1440, 10.0, [](main_state& m, double) {
    m.chan_point_q[slot(m, 1, 1)] = 1.2;
    m.chan_point_q[slot(m, 2, 1)] = 0.8;
    return 2.0;
  }, &worst);
  EXPECT_LT(worst, 1e-12);
  EXPECT_NEAR(ms->qp[30][3], 2.0, 1e-6);
  EXPECT_NEAR(ms->chan_depth[30][3], 0.53846, 1e-5);
}

TEST(ExplicitRouting, LongerLinksAttenuateAndDelayAFloodWave) {
  struct wave_case {
    int nodes;
    double peak, minutes;
  };
  const wave_case cases[] = {{10, 4.71, 23}, {20, 3.94, 31}, {40, 2.92, 50}, {80, 1.83, 93}};
  double last_peak = 1e9, last_time = 0;
  for (const wave_case& c : cases) {
    const int nodes = c.nodes;
    auto ms = network({{nodes, 50.0, 100.0, 0.05, 3.0, 2.0, 0.03, {}}});
    double peak = 0, peak_t = 0, worst = 0, t = 0;
    auto tri = [](double tm) {
      const double m = tm / 60.0;
      return m < 15 ? 6.0 * m / 15 : m < 45 ? 6.0 * (45 - m) / 30 : 0.0;
    };
    const double v0 = storage(*ms);
    double in = 0, out = 0;
    for (int k = 0; k < 2160; ++k) {
      const double q = tri(t + 5.0);
      ms->chan_point_q[slot(*ms, 1, 1)] = q;
      in += q * 10.0;
      ASSERT_EQ(ex_flow_route(*ms, 10.0), 0);
      out += ms->chan_outflow_vol;
      t += 10.0;
      worst = std::max(worst, std::fabs(in - out - (storage(*ms) - v0)) / in);
      if (ms->qp[nodes][1] > peak) peak = ms->qp[nodes][1], peak_t = t;
    }
    EXPECT_NEAR(in, 8100.0, 1e-6);
    EXPECT_LT(worst, 1e-9) << nodes;
    EXPECT_LT(peak, last_peak) << nodes;
    EXPECT_GT(peak_t, last_time) << nodes;
    EXPECT_NEAR(peak, c.peak, 0.02 * c.peak) << nodes;
    EXPECT_NEAR(peak_t / 60.0, c.minutes, 1.0) << nodes;
    last_peak = peak, last_time = peak_t;
  }
}

TEST(ExplicitRouting, LevelWaterStaysAtRest) {
  auto ms = network({{20, 25.0, 100.0, 0.0, 3.0, 2.0, 0.03, {}}}, 0.6);
  const double v0 = storage(*ms);
  route(*ms, 60, 10.0, [](main_state&, double) { return 0.0; });
  for (int j = 1; j <= 20; ++j) EXPECT_EQ(ms->yp[j][1], 100.6) << j;
  EXPECT_EQ(storage(*ms), v0);
}

// The surface falls 0.4 m from node 1 to node 20, or (mirrored) rises so:
// the flow runs toward node 20 or toward node 1, and the Courant limit on
// the size of the node flows keeps either settling without overshoot.
TEST(ExplicitRouting, ASlopingSurfaceInAClosedChannelSettlesLevelWithoutLoss) {
  for (const bool toward_node_1 : {false, true}) {
    SCOPED_TRACE(toward_node_1 ? "flow toward node 1" : "flow toward node 20");
    auto ms = network({{20, 25.0, 100.0, 0.0, 3.0, 2.0, 0.03, {}}});
    for (int j = 1; j <= 20; ++j) {
      const int from_high_end = toward_node_1 ? 20 - j : j - 1;
      ms->yp[j][1] = 100.8 - 0.4 * from_high_end / 19.0, ms->chan_depth[j][1] = ms->yp[j][1] - 100.0;
    }
    ex_section(*ms, 2, ms->area);
    const double v0 = storage(*ms);
    EXPECT_NEAR(v0, 1274.736842, 1e-6);
    double spread_prev = 0.4 + 1e-12;
    for (int k = 0; k < 360; ++k) {
      ASSERT_EQ(ex_flow_route(*ms, 10.0), 0);
      EXPECT_EQ(ms->chan_outflow_vol, 0.0);
      double lo = 1e9, hi = -1e9;
      for (int j = 1; j <= 20; ++j) lo = std::min(lo, ms->yp[j][1]), hi = std::max(hi, ms->yp[j][1]);
      EXPECT_LE(hi - lo, spread_prev + 1e-12) << k;
      spread_prev = hi - lo;
      if (k >= 89) {
        EXPECT_LT(hi - lo, 1e-3) << k;
      }
      EXPECT_NEAR(storage(*ms), v0, 1e-12 * v0);
    }
    EXPECT_NEAR(ms->yp[10][1], 100.6054, 1e-3);
  }
}

// Inflow at the head of a first-order link over a channel interval of many
// Courant sub-steps, each corrected twice (overbank flow on): the inflow is
// booked once per accepted sub-step, so the run total is rate x interval
// and the network holds what it did not discharge.
TEST(ExplicitRouting, HeadInflowIsBookedOnceOverManySubSteps) {
  auto ms = network({{10, 20.0, 100.0, 0.01, 2.0, 1.0, 0.03, {}}}, 0.2);
  ms->overbank_flow_on = 1;
  ms->first_order_chan_q = 1.5;
  const double v0 = storage(*ms);
  ASSERT_EQ(ex_flow_route(*ms, 300.0), 0);
  EXPECT_NEAR(ms->vol_chan_point_sources_total, 450.0, 1e-9);
  EXPECT_NEAR(storage(*ms) - v0 + ms->chan_outflow_vol, 450.0, 1e-9);
  EXPECT_GT(ms->chan_outflow_vol, 0.0);
}

}  // namespace
}  // namespace kavro

namespace kavro {
namespace {

// Link 1 a trapezoid, link 2 a structure of one element, link 3 the outlet.
std::unique_ptr<main_state> with_structure(const hydraulic_structure& e, bool upstream_link = true) {
  auto ms = upstream_link ? network({{5, 20.0, 10.5, 0.0, 2.0, 1.0, 0.03, {}},
                                     {2, 10.0, 8.0, 0.0, 2.0, 1.0, 0.03, {1}},
                                     {5, 20.0, 8.0, 0.01, 2.0, 1.0, 0.03, {2}}})
                          : network({{2, 10.0, 8.0, 0.0, 2.0, 1.0, 0.03, {}},
                                     {5, 20.0, 8.0, 0.01, 2.0, 1.0, 0.03, {1}}});
  const int s = upstream_link ? 2 : 1;
  ms->ltype[s] = 64;
  ms->link_structs.allocate(ms->LINKS);
  ms->link_structs[s] = {1, 1, 1};
  ms->hydr_struct.allocate(1);
  ms->hydr_struct[1] = e;
  ms->n_hydr_structs = 1;
  return ms;
}

hydraulic_structure weir() {
  hydraulic_structure e;
  e.struct_type = 1;
  e.upinvert = 10.0;
  e.length = 5.0;
  e.coeff_forward = 0.6;
  e.coeff_reverse = 0.5;
  return e;
}

TEST(Structures, WeirFlowsFreeSubmergedLinearAndReverse) {
  const struct {
    double a, b, q;
  } cases[] = {{11.0, 9.0, 5.1147}, {11.0, 10.8, 4.7542}, {10.5, 10.495, 0.32889}, {9.0, 11.0, -4.2622},
               {9.5, 9.0, 0.0}};
  for (const auto& c : cases) EXPECT_NEAR(weir_flow(weir(), c.a, c.b), c.q, 5e-5) << c.a << " " << c.b;
}

TEST(Structures, AStructureCannotDrawMoreThanItsUpstreamNodeHolds) {
  auto ms = with_structure(weir());
  ms->yp[5][1] = 11.0;
  ms->yp[1][3] = 9.0;
  dmat& a = ms->area;
  a[5][1] = 2.0;  // 40 m3 over DX 20: 4.0 m3/s for 10 s
  double release = 0;
  ASSERT_EQ(ex_boundary_flows(*ms, ms->qp, a, 10.0, release), 0);
  EXPECT_NEAR(ms->qp[1][2], 4.0, 1e-12);
  EXPECT_EQ(ms->qp[2][2], ms->qp[1][2]);
  EXPECT_EQ(ms->qp[5][1], ms->qp[1][2]);  // the upstream link's last node passes the structure's flow
}

TEST(Structures, ACulvertWithoutBarrelLengthStopsNamingItsLink) {
  hydraulic_structure e;
  e.struct_type = 3;
  e.width = 1.0;
  e.upinvert = 10.0;
  e.downinvert = 9.9;
  e.coeff_forward = e.coeff_reverse = 0.6;
  e.rough_coeff = 0.013;
  auto ms = with_structure(e);
  ms->yp[5][1] = 11.0;
  ms->yp[1][3] = 9.0;
  double release = 0;
  testing::internal::CaptureStdout();
  ex_boundary_flows(*ms, ms->qp, ms->area, 10.0, release);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("The culvert barrel length\n"), std::string::npos) << out;
  EXPECT_NE(out.find("is 0.0.  This is not possible. Program terminated.\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Error in link number: 2 "), std::string::npos) << out;
  EXPECT_EQ(error_rec.stop, 1);
  error_rec = error_record{};
}

TEST(Structures, AScheduledReleaseIntoANetworkIsCountedAsAPointSource) {
  time_series& ts = new_time_series();
  ts.name = "release";
  ts.times = {0.0, 1e6};
  ts.values = {0.5, 0.5};
  hydraulic_structure e;
  e.struct_type = 7;
  e.time_series = &ts;
  auto ms = with_structure(e, false);
  ms->now = 100.0;
  ms->chan_point_inputs_on = 0;
  ASSERT_EQ(ex_flow_route(*ms, 60.0), 0);
  EXPECT_NEAR(ms->vol_chan_point_sources_total, 30.0, 1e-9);
  EXPECT_NEAR(storage(*ms) + ms->chan_outflow_vol, 30.0, 1e-9);
  free_time_series_list();
}

TEST(LateralExchange, SubmergenceFactorTable) {
  const struct {
    double r, f;
  } cases[] = {{0.8, 0.947}, {0.80005, 0.947}, {0.9, 0.815667}, {0.7, 1.0}, {0.99999995, 0.0}, {1.2, 0.0}, {-0.5, 0.0}};
  for (const auto& c : cases) EXPECT_NEAR(submergence_factor(c.r), c.f, 1e-6) << c.r;
}

// One cell of 400 m2 beside node 1 of a one-link network, the whole node in it.
std::unique_ptr<main_state> exchange_cell(double depth) {
  auto ms = network({{3, 20.0, 99.0, 0.01, 2.0, 1.0, 0.03, {}}});
  ms->dx = 20.0;
  for (dvec* v : {&ms->ov_depth, &ms->elevation, &ms->dist_rough, &ms->roughness_exp, &ms->ov_mann_exp})
    v->allocate(1);
  ms->ov_depth[1] = depth;
  ms->elevation[1] = 100.0;
  ms->dist_rough[1] = 0.05;
  ms->n_gst_cells = 1;
  ms->gst_ncellsingrid.allocate(1);
  ms->gst_ncellsingrid[1] = 1;
  for (imat* m : {&ms->gst_link, &ms->gst_node, &ms->gst_gnum}) m->allocate(1, 1);
  for (dmat* m : {&ms->gst_pct, &ms->gst_qlat}) m->allocate(1, 1);
  ms->gst_link[1][1] = ms->gst_node[1][1] = ms->gst_gnum[1][1] = 1;
  ms->gst_pct[1][1] = 1.0;
  return ms;
}

TEST(LateralExchange, WeirInflowDrainsTheCellAndNeverBelowEmpty) {
  auto ms = exchange_cell(0.05);
  chan_lateral_inflow(*ms, 5.0);
  EXPECT_NEAR(ms->gst_qlat[1][1], 0.762452, 1e-6);
  EXPECT_NEAR(ms->qlat[1][1] * 20.0, 0.762452, 1e-6);
  EXPECT_NEAR(ms->ov_depth[1], 0.040469, 1e-6);

  ms = exchange_cell(0.01);
  chan_lateral_inflow(*ms, 60.0);
  EXPECT_EQ(ms->ov_depth[1], 0.0);
  EXPECT_DOUBLE_EQ(ms->gst_qlat[1][1], 4.0 / 60.0);

  ms = exchange_cell(0.05);  // a held boundary cell keeps its depth and books the volume
  ms->ov_boundary_on = 1;
  ms->boundary_type.allocate(1);
  ms->boundary_type[1] = 2;
  const lateral_exchange_volumes held = chan_lateral_inflow(*ms, 5.0);
  EXPECT_EQ(ms->ov_depth[1], 0.05);
  EXPECT_NEAR(held.into_channel, 0.762452 * 5.0, 1e-5);
  EXPECT_EQ(held.onto_cells, 0.0);
}

// The lumped basin models' outflow reaches the channels as lateral inflow
// and is booked once, by the channel continuity; its own total tells the
// lumped share of it. A stand-in outflow of 0.5 m3/s from either model
// beside a dry cell, over two 60 s channel steps.
TEST(LateralExchange, LumpedModelOutflowIsBookedOnceAsLateralInflow) {
  for (const bool sacramento : {true, false}) {
    SCOPED_TRACE(sacramento ? "Sacramento" : "conceptual groundwater");
    auto ms = exchange_cell(0.0);
    if (sacramento) {
      ms->sacramento_on = 1;
      ms->sac_channel_outflow = 0.5;
      ms->gst_sac_weight.allocate(1, 1);
      ms->gst_sac_weight[1][1] = 1.0;
    } else {
      ms->conceptual_gw_on = 1;
      ms->cgw_channel_outflow = 0.5;
      ms->gst_cgw_weight.allocate(1, 1);
      ms->gst_cgw_weight[1][1] = 1.0;
    }
    ms->time_tol = 1.1574074074074074e-7;
    ms->chan_interval = 60.0;
    ms->chan_interval_days = 60.0 / 86400.0;
    const double v0 = storage(*ms);
    double discharged = 0.0;
    for (int step = 1; step <= 2; ++step) {
      ms->now = ms->next_chan_time = 1000.0 + step * ms->chan_interval_days;
      ms->last_chan_time = ms->now - ms->chan_interval_days;
      chan_route_step(*ms);
      ASSERT_EQ(error_rec.code, 0);
      discharged += ms->chan_outflow_vol;
      EXPECT_NEAR(ms->vol_lat_into_chan_total, 30.0 * step, 1e-9);
      EXPECT_NEAR(ms->vol_lumped_to_chan_total, 30.0 * step, 1e-9);
      EXPECT_NEAR(storage(*ms) - v0 + discharged, 30.0 * step, 1e-9);
    }
    EXPECT_EQ(ms->ov_depth[1], 0.0);
    EXPECT_EQ(ms->vol_ov_head_bound_in_total, 0.0);
  }
}

}  // namespace
}  // namespace kavro

namespace kavro {
namespace {

// Link 1 (3 nodes of 20 m, 0.5 m deep) drains into lake link 2 (lake 1).
// Node j of link 1 lies in cell j with share `share[j - 1]`.
std::unique_ptr<main_state> captured_link(const std::vector<double>& share) {
  auto ms = network({{3, 20.0, 100.0, 0.0, 2.0, 1.0, 0.03, {}}, {1, 20.0, 100.0, 0.0, 2.0, 1.0, 0.03, {1}}}, 0.5);
  ms->ltype[2] = 32;
  ms->ldex[2] = 1;
  ms->lakes_on = 1;
  ms->n_lakes = 1;
  ms->lake2link.allocate(2);
  ms->lake2link[2] = 1;
  for (dvec* v : {&ms->lake_volume, &ms->lake_elev, &ms->lake_in_dv, &ms->lake_out_dv}) v->allocate(1);
  ms->lake_volume[1] = 1000.0;
  ms->lake_elev[1] = 101.0;
  ms->pct_flooded.allocate(ms->max_nodes_per_link, 2);
  ms->status_node.allocate(ms->max_nodes_per_link, 2);
  ms->lake_mask.allocate(3);
  ms->n_gst_cells = 3;
  ms->gst_ncellsingrid.allocate(3);
  for (imat* m : {&ms->gst_link, &ms->gst_node, &ms->gst_gnum}) m->allocate(3, 1);
  ms->gst_pct.allocate(3, 1);
  for (int j = 1; j <= 3; ++j) {
    ms->gst_ncellsingrid[j] = 1;
    ms->gst_link[j][1] = 1, ms->gst_node[j][1] = ms->gst_gnum[j][1] = j;
    ms->gst_pct[j][1] = share[j - 1];
    ms->lake_mask[j] = 1;
  }
  return ms;
}

TEST(StreamCapture, NodesGoFromTheDownstreamEndAndComeBackFromTheUpstreamEnd) {
  auto ms = captured_link({1.0, 1.0, 1.0});
  const double node_vol = ms->area[1][1] * 20.0;
  ASSERT_EQ(stream_capture(*ms), 0);
  EXPECT_EQ(ms->nx[1], 0);  // the whole link in one pass
  EXPECT_TRUE(ms->ltype[1] & 128);
  EXPECT_EQ(ms->lake2link[1], 1);
  EXPECT_NEAR(ms->lake_volume[1], 1000.0 + 3 * node_vol, 1e-9);
  EXPECT_NEAR(ms->lake_in_dv[1], 3 * node_vol, 1e-9);

  for (int j = 1; j <= 3; ++j) ms->lake_mask[j] = 0;
  ms->gst_pct[1][1] = 1e-20;  // ...in a lake cell: node 1 stays and so do the rest
  ms->lake_mask[1] = 1;
  ASSERT_EQ(stream_capture(*ms), 0);
  EXPECT_EQ(ms->nx[1], 0);
  ms->lake_mask[1] = 0;
  ms->lake_volume[1] = 30.0;  // small lake: each node takes at most half of it
  double before = ms->lake_volume[1];
  ASSERT_EQ(stream_capture(*ms), 0);
  EXPECT_EQ(ms->nx[1], 3);
  EXPECT_FALSE(ms->ltype[1] & 128);
  EXPECT_EQ(ms->lake2link[1], 0);
  EXPECT_GT(ms->lake_out_dv[1], 0.0);
  EXPECT_GE(ms->lake_volume[1], before / 8.0 - 1e-12);
  double in_nodes = 0;
  for (int j = 1; j <= 3; ++j) in_nodes += ms->area[j][1] * 20.0;
  EXPECT_NEAR(in_nodes + ms->lake_volume[1], before, 1e-9);
}

// A lake that captures channel nodes mid-run takes their entries out of the
// lateral exchange; the lumped outflow those entries had goes to the ones
// left, in proportion to their weights, so none of it is lost.
TEST(StreamCapture, LumpedOutflowOfCapturedNodesGoesToTheNodesLeft) {
  auto ms = captured_link({1.0, 1.0, 1.0});
  ms->dx = 20.0;
  for (dvec* v : {&ms->ov_depth, &ms->elevation, &ms->dist_rough, &ms->roughness_exp, &ms->ov_mann_exp})
    v->allocate(3);
  for (int c = 1; c <= 3; ++c) ms->elevation[c] = 105.0, ms->dist_rough[c] = 0.05, ms->lake_mask[c] = 0;
  ms->gst_qlat.allocate(3, 1);
  ms->sacramento_on = ms->conceptual_gw_on = 1;
  ms->sac_channel_outflow = 0.5;
  ms->cgw_channel_outflow = 0.25;
  ms->gst_sac_weight.allocate(3, 1);
  ms->gst_cgw_weight.allocate(3, 1);
  const double sac_w[] = {0.2, 0.3, 0.5}, cgw_w[] = {0.6, 0.4, 0.0};
  for (int j = 1; j <= 3; ++j) ms->gst_sac_weight[j][1] = sac_w[j - 1], ms->gst_cgw_weight[j][1] = cgw_w[j - 1];
  struct stage { int nx; int mask_cell; double to_node1, to_node2; };
  for (const stage& s : {stage{3, 0, 0.5 * 0.2 + 0.25 * 0.6, 0.5 * 0.3 + 0.25 * 0.4},
                         stage{2, 0, 0.5 * 0.4 + 0.25 * 0.6, 0.5 * 0.6 + 0.25 * 0.4},  // node 3 taken
                         stage{3, 3, 0.5 * 0.4 + 0.25 * 0.6, 0.5 * 0.6 + 0.25 * 0.4}}) {  // its cell flooded
    SCOPED_TRACE(s.nx * 10 + s.mask_cell);
    ms->nx[1] = s.nx;
    for (int c = 1; c <= 3; ++c) ms->lake_mask[c] = c == s.mask_cell ? 1 : 0;
    for (int j = 1; j <= 3; ++j) ms->qlat[j][1] = 0.0;
    const lateral_exchange_volumes v = chan_lateral_inflow(*ms, 60.0);
    EXPECT_NEAR(v.from_lumped, 0.75 * 60.0, 1e-12);
    EXPECT_NEAR(ms->qlat[1][1] * 20.0, s.to_node1, 1e-12);
    EXPECT_NEAR(ms->qlat[2][1] * 20.0, s.to_node2, 1e-12);
  }
}

TEST(StreamCapture, OnlyWholeSharesWithACapturedNeighbourAreTaken) {
  auto ms = captured_link({1.0, 1.0, 0.5});  // node 3 not fully flooded: nothing goes
  ASSERT_EQ(stream_capture(*ms), 0);
  EXPECT_EQ(ms->nx[1], 3);
  ms = captured_link({1.0, 1.0, 0.9985});
  ASSERT_EQ(stream_capture(*ms), 0);
  EXPECT_EQ(ms->nx[1], 3);
  ms = captured_link({0.5, 1.0, 1.0});
  ASSERT_EQ(stream_capture(*ms), 0);
  EXPECT_EQ(ms->nx[1], 1);
  EXPECT_EQ(ms->status_node[3][1], 1);
  EXPECT_EQ(ms->status_node[1][1], 0);
}

}  // namespace
}  // namespace kavro

namespace kavro {
namespace {

TEST(ExplicitRouting, AnOutletHeadBoundaryHoldsItsDepthAndRaisesABackwaterCurve) {
  auto ms = network({{40, 50.0, 104.0, 0.1, 3.0, 2.0, 0.03, {}}});
  ms->head_bound_on = 1;
  ms->bound_depth = 2.0;
  apply_stream_head_boundary(*ms);
  ex_section(*ms, 2, ms->area);
  double worst = 0;
  for (int k = 0; k < 1440; ++k) {
    ms->chan_point_q[slot(*ms, 1, 1)] = 2.0;
    ASSERT_EQ(ex_flow_route(*ms, 10.0), 0);
    EXPECT_EQ(ms->chan_depth[40][1], 2.0);
    if (k >= 1080) worst = std::max(worst, std::fabs(ms->qp[40][1] - 2.0));
  }
  EXPECT_LT(worst, 1e-6);
  EXPECT_NEAR(ms->chan_depth[30][1], 1.0390, 1e-4);
  EXPECT_NEAR(ms->chan_depth[39][1], 1.9009, 1e-4);
}

}  // namespace
}  // namespace kavro

namespace kavro {
namespace {

TEST(ChannelStart, ABoundarySeriesIsReadAtTheRunsStartAndSetsTheInitialVolume) {
  time_series& ts = new_time_series();
  ts.name = "outlet_stage";
  ts.times = {100.0 + 8.0 / 24, 100.0 + 10.0 / 24};
  ts.values = {0.3, 0.7};
  for (double now : {100.0 + 9.0 / 24, 0.0}) {  // 0: the clock is set after the channel start
    auto ms = network({{40, 50.0, 104.0, 0.1, 3.0, 2.0, 0.03, {}}});
    ms->chan_point_inputs_on = 0;
    ms->head_bound_on = ms->bound_ts_on = 1;
    ms->bound_ts_path = "outlet";
    ms->now = now;
    ms->event_start_times.allocate(1);
    ms->event_start_times[1] = 100.0 + 9.0 / 24;
    init_channel_run(*ms);
    EXPECT_EQ(error_rec.code, 0);
    EXPECT_NEAR(ms->chan_depth[40][1], 0.5, 1e-12);
    EXPECT_NEAR(ms->vol_channel_init_total, 100.0, 1e-9);
    EXPECT_EQ(ms->chan_active, 1);
  }
  free_time_series_list();
}

TEST(ChannelStart, ALakeDrainingStraightIntoASectionLinkIsRefused) {
  auto ms = network({{1, 20.0, 100.0, 0.0, 2.0, 1.0, 0.03, {}}, {5, 20.0, 100.0, 0.01, 2.0, 1.0, 0.03, {1}}});
  ms->ltype[1] = 32;
  testing::internal::CaptureStdout();
  init_channel_run(*ms);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("lake link 1 drains straight into link 2"), std::string::npos) << out;
  EXPECT_EQ(error_rec.stop, 1);
  error_rec = error_record{};
}

// Between rain events of a long-term run: a 5-node link holding 0.2 m of
// still water (24 m3), model step 10 s, channel interval 60 s, start-time
// interval 120 s (halved twice to 30 s, at most five model steps). Each case
// sets what still moves water; the result is the next interval in seconds,
// 0 for routing going to sleep until the end of the rain period, or -1 for
// the interval left as the step set it.
TEST(ChannelInterval, LongTermIntervalFollowsWhatStillMovesWater) {
  struct interval_case {
    const char* label;
    void (*set)(main_state&);
    double expected;
  };
  const interval_case cases[] = {
      {"event run", [](main_state& ms) { ms.long_term_on = 0; }, -1},
      {"rain falling", [](main_state& ms) { ms.rain_active = 1; }, -1},
      {"runoff of the event still running", [](main_state& ms) { ms.runoff_active = 1; }, -1},
      {"overland faces flowing", [](main_state& ms) { ms.ov_faces_flowing = 1; }, -1},
      {"superlinks wet", [](main_state& ms) { ms.superlink_wet = 1; }, -1},
      {"channel flows with over 1 % of the rain", [](main_state& ms) { ms.qp[3][1] = 0.01; }, -1},
      {"channel holds over 1 % of the rain, still", [](main_state&) {}, 0},
      {"channel flows with under 1 % of the rain", [](main_state& ms) { ms.qp[3][1] = 0.01; ms.vol_precip = 10000; }, 0},
      {"channel flows, no rain yet", [](main_state& ms) { ms.qp[3][1] = 0.01; ms.vol_precip = 0; }, 0},
      {"outlet still running", [](main_state& ms) { ms.qout = 1e-8; }, -1},
      {"a lake exchanged water during routing", [](main_state& ms) {
         ms.chan_lakes_active = ms.lake_overland_exchange_on = ms.chan_gw_exchange_state = 1; }, 10},
      {"a lake exchanged water before routing", [](main_state& ms) {
         ms.lake_overland_exchange_on = ms.chan_gw_exchange_state = 1; }, 50},
      {"lake seepage, no aquifer model", [](main_state& ms) { ms.lake_loss_on = 1; ms.lake_volume[1] = 5; }, 50},
      {"lake seepage with the aquifer model", [](main_state& ms) {
         ms.lake_loss_on = ms.gw_simulation_on = 1; ms.lake_volume[1] = 5; }, 30},
      {"pipe flow into a lake, base 45 s", [](main_state& ms) {
         ms.lake_flow_flag = ms.gw_simulation_on = 1; ms.chan_interval_base = 45; }, 45},
      {"lake seepage with constituents", [](main_state& ms) {
         ms.lake_loss_on = ms.chan_contam_on = 1; ms.lake_volume[1] = 5; }, 10},
      {"aquifer feeds the stream", [](main_state& ms) { ms.chan_gw_exchange_state = 1; }, 30},
      {"aquifer feeds the stream, base 20 steps", [](main_state& ms) {
         ms.chan_gw_exchange_state = 1; ms.chan_interval_base = 200; }, 50},
      {"aquifer feeds the stream, base 45 s", [](main_state& ms) {
         ms.chan_gw_exchange_state = 1; ms.chan_interval_base = 45; }, 45},
      {"aquifer feeds the stream, constituents", [](main_state& ms) {
         ms.chan_gw_exchange_state = ms.chan_contam_on = 1; }, 10},
      {"a lake holds water", [](main_state& ms) { ms.lake_volume[1] = 5; }, 3600},
      {"a lake holds water, aquifer feeds the stream", [](main_state& ms) {
         ms.lake_volume[1] = 5; ms.chan_gw_exchange_state = 1; }, 30},
      {"a lake holds 1e-17 m3", [](main_state& ms) { ms.lake_volume[1] = 1e-17; }, 0},
  };
  for (const interval_case& c : cases) {
    auto ms = network({{5, 20.0, 100.0, 0.1, 1.0, 1.0, 0.035, {}}}, 0.2);
    ms->long_term_on = 1;
    ms->dt = 10;
    ms->chan_interval_base = 120;
    ms->lakes_on = 1;
    ms->n_lakes = 1;
    ms->lake_volume.allocate(1);
    ms->vol_precip = 50 * storage(*ms);
    ms->now = 200.5;
    ms->precip_period = 1.0 / 24;
    ms->precip_period_end = 201.0;
    ms->chan_active = 1;
    ms->chan_interval = 60;
    ms->chan_interval_days = 60 / 86400.0;
    ms->next_chan_time = ms->now + ms->chan_interval_days;
    c.set(*ms);
    adapt_channel_interval(*ms);
    if (c.expected < 0) {
      EXPECT_EQ(ms->chan_interval, 60) << c.label;
      EXPECT_EQ(ms->next_chan_time, ms->now + 60 / 86400.0) << c.label;
      EXPECT_EQ(ms->chan_active, 1) << c.label;
    } else if (c.expected == 0) {
      EXPECT_EQ(ms->chan_active, 0) << c.label;
      EXPECT_EQ(ms->next_chan_time, 201.0) << c.label;
      EXPECT_EQ(ms->chan_interval_days, 1.0 / 24) << c.label;
    } else {
      EXPECT_EQ(ms->chan_interval, c.expected) << c.label;
      EXPECT_EQ(ms->chan_interval_days, c.expected / 86400) << c.label;
      EXPECT_EQ(ms->next_chan_time, ms->now + c.expected / 86400) << c.label;
      EXPECT_EQ(ms->chan_active, 1) << c.label;
    }
    if (ms->long_term_on && !ms->rain_active && !ms->runoff_active && !ms->ov_faces_flowing && !ms->superlink_wet) {
      EXPECT_NEAR(ms->vol_channel_final, 24.0, 1e-12) << c.label;
      EXPECT_EQ(ms->lakes_hold_water, ms->lake_volume[1] > 1e-16 ? 1 : 0) << c.label;
    }
  }
}

// The routing step itself: a dry network between the events of a long-term
// run goes to sleep until the rain period ends; in an event run it keeps
// its interval. The start-time interval stays the base of later intervals.
TEST(ChannelInterval, ADryNetworkSleepsUntilTheNextRainPeriodOnlyInLongTermRuns) {
  for (int long_term : {0, 1}) {
    auto ms = network({{5, 20.0, 100.0, 0.1, 1.0, 1.0, 0.035, {}}});
    ms->long_term_on = long_term;
    ms->time_tol = 1e-8;
    ms->dt = 10;
    ms->chan_interval_base = 30;
    ms->chan_interval = 60;
    ms->chan_interval_days = 60 / 86400.0;
    ms->now = ms->next_chan_time = 200.5;
    ms->last_chan_time = ms->now - ms->chan_interval_days;
    ms->precip_period = 1.0 / 24;
    ms->precip_period_end = 201.0;
    ms->chan_active = 1;
    chan_route_step(*ms);
    ASSERT_EQ(error_rec.code, 0);
    EXPECT_EQ(ms->chan_step_counter, 1);
    EXPECT_EQ(ms->last_chan_time, 200.5);
    EXPECT_EQ(ms->next_chan_time, long_term ? 201.0 : 200.5 + 60 / 86400.0);
    EXPECT_EQ(ms->chan_active, long_term ? 0 : 1);
    EXPECT_EQ(ms->chan_interval_base, 30);
    ms->now += 0.25 / 24;  // not due: nothing changes
    chan_route_step(*ms);
    EXPECT_EQ(ms->chan_step_counter, 1);
  }
}

}  // namespace
}  // namespace kavro
