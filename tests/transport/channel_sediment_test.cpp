// Channel sediment: Yang's capacity against a worked value, the exchange of
// bed material along links, through structures, into lakes and out of the
// outlet, the bed elevation of erodible trapezoids, and the wash load
// conserved through a junction with reversing faces and settling in lakes.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "channel_fixture.h"
#include "framework/host_exchange.h"
#include "channel/channel_sediment.h"
#include "transport/channel_sediment_transport.h"

namespace kavro {
namespace {

using kavro_test::link_spec;
using kavro_test::node_row;
using kavro_test::sediment_network;
using kavro_test::set_flow;

constexpr int erodible_trapezoid = 2 | 4;

// A fine class of 0.02 mm and a sand class of 0.5 mm, SAND_SIZE 0.5 mm.
const std::vector<kavro_test::size_class> two_classes = {{0.02, 2.65, 0.5}, {0.5, 2.65, 0.5}};

TEST(ChannelSand, YangCapacityWorkedValue) {
  // Inner node of a trapezoid (b 2 m, side slope 1), 0.5 m deep, 1.5 m3/s,
  // water-surface slope 0.002.
  auto ms = sediment_network({{erodible_trapezoid, 3, 100.0, 10.0, 0.2, 2.0, 1.0, {}}}, two_classes, 0.5);
  for (int k = 1; k <= 3; ++k) set_flow(*ms, 1, k, 0.5, k == 2 ? 1.5 : 0.0);
  chan_sand_transport(*ms, 60.0);
  EXPECT_NEAR(ms->chan_sand_capacity[node_row(*ms, 1, 2)], 9.21089e-4, 9.21089e-4 * 1e-5);
  // Re* below 1.2 (a flat surface) and a velocity below the critical one
  // carry nothing.
  auto flat = sediment_network({{erodible_trapezoid, 3, 100.0, 10.0, 0.0, 2.0, 1.0, {}}}, two_classes, 0.5);
  for (int k = 1; k <= 3; ++k) set_flow(*flat, 1, k, 0.5, 1.5);
  auto slow = sediment_network({{erodible_trapezoid, 3, 100.0, 10.0, 0.2, 2.0, 1.0, {}}}, two_classes, 0.5);
  for (int k = 1; k <= 3; ++k) set_flow(*slow, 1, k, 0.5, 0.05);
  chan_sand_transport(*flat, 60.0);
  chan_sand_transport(*slow, 60.0);
  EXPECT_EQ(flat->chan_sand_capacity[node_row(*flat, 1, 2)], 0.0);
  EXPECT_EQ(slow->chan_sand_capacity[node_row(*slow, 1, 2)], 0.0);
}

// All bed material of the ordinary links, the lakes and what left the
// outlet (entries 1 .. n_sand_classes + 1).
double sand_everywhere(const main_state& ms, double out_volume) {
  double s = out_volume;
  const int n = ms.n_sand_classes + 1;
  for (int l = 1; l <= ms.LINKS; ++l) {
    if (ms.ltype[l] & 32) continue;
    for (int k = 1; k <= ms.nx[l]; ++k)
      for (int m = 1; m <= n; ++m) s += ms.ch_sand_vol[k][l][m];
  }
  for (int j = 1; j <= ms.n_lakes; ++j)
    for (int m = 1; m <= n; ++m) s += ms.lake_depo_vol[j][m];
  return s;
}

TEST(ChannelSand, ExchangeAlongLinksStructuresLakesAndOutlet) {
  struct x_case {
    const char* what;
    int link, node;                              // the node that carries the flow
    double q;                                    // its discharge (m3/s)
    int from_link, from_node, to_link, to_node;  // 0 for a lake (to) / none
    bool to_lake, to_outlet, moves;
  };
  // Link 1 (3 nodes) -> structure link 2 -> link 5 (3 nodes, the outlet);
  // link 3 (3 nodes) -> lake link 4 -> link 5.
  const std::vector<link_spec> net = {{erodible_trapezoid, 3, 100.0, 10.0, 0.2, 2.0, 1.0, {}},
                                      {64, 1, 10.0, 9.5, 0.0, 2.0, 1.0, {1}},
                                      {erodible_trapezoid, 3, 100.0, 10.5, 0.2, 2.0, 1.0, {}},
                                      {32, 1, 10.0, 9.9, 0.0, 2.0, 1.0, {3}},
                                      {erodible_trapezoid, 3, 100.0, 9.4, 0.2, 2.0, 1.0, {2, 4}}};
  const x_case cases[] = {
      {"downstream along a link", 1, 1, 1.5, 1, 1, 1, 2, false, false, true},
      {"upstream along a link", 1, 1, -1.5, 1, 2, 1, 1, false, false, true},
      {"through a structure to the link below", 1, 3, 1.5, 1, 3, 5, 1, false, false, true},
      {"upstream through a structure", 1, 3, -1.5, 5, 1, 1, 3, false, false, true},
      {"into a lake", 3, 3, 1.5, 3, 3, 0, 0, true, false, true},
      {"nothing is drawn out of a lake", 3, 3, -1.5, 0, 0, 0, 0, false, false, false},
      {"out of the outlet", 5, 3, 1.5, 5, 3, 0, 0, false, true, true},
      {"nothing comes back in at the outlet", 5, 3, -1.5, 0, 0, 0, 0, false, false, false},
  };
  for (const x_case& c : cases) {
    SCOPED_TRACE(c.what);
    auto ms = sediment_network(net, two_classes, 0.5);
    ms->lake_elev[1] = 10.0;
    for (int l : {1, 3, 5})
      for (int k = 1; k <= 3; ++k) set_flow(*ms, l, k, 0.5, 0.0);
    // The source holds a little sand of its own above its bed layer.
    const int sand_entry = 1, parent = 2;
    if (c.from_link) ms->ch_sand_vol[c.from_node][c.from_link][sand_entry] = 0.01;
    set_flow(*ms, c.link, c.node, 0.5, c.q);
    const double before = sand_everywhere(*ms, 0.0);
    const double from_before = c.from_link ? ms->ch_sand_vol[c.from_node][c.from_link][parent] : 0.0;
    const double dt = 60.0;
    chan_sand_transport(*ms, dt);
    const double qs = ms->chan_sand_capacity[node_row(*ms, c.link, c.node)];
    const double out = ms->sand_out_rate[1] * dt + ms->sand_out_rate[2] * dt;
    EXPECT_NEAR(sand_everywhere(*ms, out), before, 1e-12 * before) << "bed material conserved";
    const double flux = ms->qsmax[node_row(*ms, c.link, c.node)][ms->n_fine_classes + 1] +
                        ms->qsmax[node_row(*ms, c.link, c.node)][ms->n_fine_classes + 2];
    if (!c.moves) {
      EXPECT_EQ(flux, 0.0);
      EXPECT_EQ(out, 0.0);
      continue;
    }
    ASSERT_GT(std::fabs(qs), 1e-9);
    EXPECT_NEAR(flux, qs, 1e-12) << "qsmax carries the signed transport";
    // The sand of the source goes first, then its bed layer.
    EXPECT_EQ(ms->ch_sand_vol[c.from_node][c.from_link][sand_entry], 0.0);
    EXPECT_NEAR(from_before - ms->ch_sand_vol[c.from_node][c.from_link][parent], std::fabs(qs) * dt - 0.01,
                1e-12);
    if (c.to_lake) {
      EXPECT_NEAR(ms->lake_depo_vol[1][1] + ms->lake_depo_vol[1][2], std::fabs(qs) * dt, 1e-12);
    }
    if (c.to_outlet) {
      EXPECT_NEAR(out, std::fabs(qs) * dt, 1e-12);
    }
    if (c.to_link) {
      EXPECT_NEAR(ms->ch_sand_vol[c.to_node][c.to_link][sand_entry], 0.01, 1e-15);
    }
    EXPECT_EQ(ms->ch_sand_vol[1][2][sand_entry] + ms->ch_sand_vol[1][2][parent], 0.0)
        << "a structure keeps none";
  }
}

TEST(ChannelSand, DemandAboveTheHoldingAndLateralSandOnADryNode) {
  auto ms = sediment_network({{erodible_trapezoid, 3, 100.0, 10.0, 0.2, 2.0, 1.0, {}}}, two_classes, 0.5);
  for (int k = 1; k <= 3; ++k) set_flow(*ms, 1, k, 0.5, 0.0);
  set_flow(*ms, 1, 1, 0.5, 1.5);
  ms->ch_sand_vol[1][1][1] = 0.004;
  ms->ch_sand_vol[1][1][2] = 0.002;  // less than the step's demand
  set_flow(*ms, 1, 3, 0.0, 0.0);     // dry
  ms->area[3][1] = 0.0;
  ms->qlat_sed[3][1][2] = 0.7;  // sand (class 2) arrives there all the same
  chan_sand_transport(*ms, 600.0);
  EXPECT_EQ(ms->ch_sand_vol[1][1][1], 0.0);
  EXPECT_EQ(ms->ch_sand_vol[1][1][2], 0.0);
  EXPECT_NEAR(ms->ch_sand_vol[2][1][1], 0.004, 1e-15);
  EXPECT_NEAR(ms->ch_sand_vol[3][1][1], 0.7, 1e-15);
  EXPECT_NEAR(ms->sand_to_chan_step[1], 0.7, 1e-15);
  EXPECT_EQ(ms->chan_sand_capacity[node_row(*ms, 1, 3)], 0.0) << "a dry node carries nothing";
  EXPECT_NEAR(ms->ch_sand_vol[3][1][0], ms->ch_sand_vol[3][1][1] + ms->ch_sand_vol[3][1][2], 1e-12);
}

// One erodible breakpoint node: a depth table of three 0.5 m steps (areas
// 1, 2.5, 4.5 m2; top width plus perimeter 4, 6, 8 m) and a section 6 m wide.
std::unique_ptr<main_state> breakpoint_node() {
  auto ms = sediment_network({{2 | 8, 1, 40.0, 10.0, 0.0, 0.0, 0.0, {}, 0.5}}, two_classes, 0.5);
  ms->table_num[1][1] = 1;
  ms->numhts.allocate(1);
  ms->numpairs.allocate(1);
  ms->ht_spc.allocate(1);
  ms->numhts[1] = 3;
  ms->numpairs[1] = 3;
  ms->ht_spc[1] = 0.5;
  for (dmat* m : {&ms->xarea, &ms->xtw, &ms->xp}) m->allocate(3, 1);
  const double area[4] = {0, 1.0, 2.5, 4.5}, width[4] = {0, 3.0, 4.0, 5.0}, perimeter[4] = {0, 1.0, 2.0, 3.0};
  for (int i = 1; i <= 3; ++i)
    ms->xarea[i][1] = area[i], ms->xtw[i][1] = width[i], ms->xp[i][1] = perimeter[i];
  ms->n_bp_sections = 1;
  ms->bplink.allocate(1);
  ms->bplink[1] = 1;
  ms->xbp_lnn.allocate(1, ms->max_nodes_per_link, 3);
  ms->bp_sand_vol.allocate(1, ms->max_nodes_per_link);
  const double x[4] = {0, 10.0, 12.0, 16.0};
  for (int k = 1; k <= 3; ++k) ms->xbp_lnn[1][1][k] = x[k];
  alloc_chan_sed_arrays(*ms);
  return ms;
}

TEST(ChannelBed, BreakpointDepthTablesAndBedLayer) {
  auto ms = breakpoint_node();
  struct t_case {
    double h, area, perimeter;
  };
  const double low = std::pow(0.5, 5.0 / 3.0);  // below the first step: as h^(5/3)
  const t_case cases[] = {{0.25, low, 4.0 * low}, {0.75, 1.75, 5.0}, {1.5, 4.5, 8.0}, {2.0, 6.5, 10.0}};
  for (const t_case& c : cases) {
    double A = 0, P = 0;
    interp_node_depth_tables(*ms, 1, 1, c.h, A, P);
    EXPECT_NEAR(A, c.area, 1e-12) << "h " << c.h;
    EXPECT_NEAR(P, c.perimeter, 1e-12) << "h " << c.h;
  }
  // The bed layer: 6 m wide, 1.5 m of table plus 0.5 m erodible, less the
  // flow area of the full table, over 40 m, 60 % solid.
  const double V0 = 0.6 * (6.0 * 2.0 * 40.0 - 4.5 * 40.0);
  EXPECT_NEAR(ms->ch_sand_vol[1][1][2], V0, 1e-12);
  EXPECT_NEAR(ms->bp_sand_vol[1][1], V0, 1e-12);
  EXPECT_NEAR(ms->vol_sand_chan_init_total, V0, 1e-12);
}

TEST(ChannelBed, ElevationFromTheBedMaterial) {
  // b 2 m, side slope 1.5, erodible 0.5 m, 50 m nodes, porosity 0.4: the
  // full layer holds 30 m3 of solids.
  struct b_case {
    double V, z, change;
  };
  const b_case cases[] = {
      {36.0, 1.5, 0.0934503}, {30.0, 1.5, 0.0}, {24.0, 1.5, -0.1}, {0.0, 1.5, -0.5}, {36.0, 0.0, 0.1}};
  for (const b_case& c : cases)
    EXPECT_NEAR(trapezoid_bed_elevation(c.V, 100.0, 2.0, c.z, 0.5, 50.0, 0.4) - 100.0, c.change, 1e-7)
        << "V " << c.V << " z " << c.z;
  // The set-up fills the layer; 6 m3 of lateral sand on a still node raises
  // its bed, and with ADJUST_CHANNEL_BED the event-end update moves bel.
  for (int adjust = 0; adjust <= 1; ++adjust) {
    auto ms = sediment_network({{erodible_trapezoid, 2, 50.0, 100.0, 0.1, 2.0, 1.5, {}}}, two_classes, 0.5);
    EXPECT_NEAR(ms->ch_sand_vol[1][1][2], 30.0, 1e-12);
    EXPECT_NEAR(ms->vol_sand_chan_init_total, 60.0, 1e-12);
    ms->qlat_sed[1][1][2] = 6.0;
    chan_sand_transport(*ms, 60.0);
    EXPECT_NEAR(ms->new_bel[1][1] - ms->org_bel[1][1], 0.0934503, 1e-7);
    ms->sed_control.adjust_channel_bed_on = adjust;
    ms->event_over = 1;
    host_exchange_step(*ms);
    EXPECT_NEAR(ms->bel[1][1], adjust ? 100.0934503 : 100.0, 1e-7);
  }
}

// Three links meeting at a junction: 1 and 2 into 3 (the outlet).
std::unique_ptr<main_state> junction() {
  auto ms = sediment_network({{4, 4, 50.0, 10.0, 0.05, 2.0, 1.0, {}},
                              {4, 4, 50.0, 10.0, 0.05, 2.0, 1.0, {}},
                              {4, 4, 50.0, 9.8, 0.05, 2.0, 1.0, {1, 2}}},
                             {{0.01, 2.65, 0.3}, {0.05, 2.65, 0.3}, {0.5, 2.65, 0.4}}, 0.0625);
  return ms;
}

TEST(WashLoad, ConservedThroughAJunctionWithReversingFaces) {
  auto ms = junction();
  std::mt19937 rng(31);
  std::uniform_real_distribution<double> area(0.0, 1.0), lateral(0.0, 0.02), water(-40.0, 120.0);
  std::bernoulli_distribution dry(0.15);
  const int nf = ms->n_fine_classes;
  double in = 0.0, out = 0.0;
  const double dt = 60.0;
  for (int step = 1; step <= 500; ++step) {
    for (int l = 1; l <= 3; ++l) {
      for (int k = 1; k <= 4; ++k) {
        ms->area[k][l] = dry(rng) ? 0.0 : area(rng);
        // Water through the downstream face: often several times what the
        // node holds, reversed on some faces (the junction's too).
        ms->qp_vol_sed[k][l] = water(rng);
        for (int m = 1; m <= nf; ++m) {
          const double v = lateral(rng);
          ms->qlat_sed[k][l][ms->ov_sed->sed_class[m]] = v;
          in += v;
        }
      }
    }
    ms->qp_vol_sed[2][1] = -80.0;  // an inner face that always runs back
    route_chan_suspended_sed(*ms, dt);
    out += ms->wash_out_rate[0] * dt;
    double held = 0.0;
    for (int l = 1; l <= 3; ++l)
      for (int k = 1; k <= 4; ++k) {
        for (int m = 1; m <= nf; ++m)
          ASSERT_GE(ms->ch_wash_vol[k][l][m], -1e-15) << "a face took more than its donor";
        held += ms->ch_wash_vol[k][l][0];
      }
    ASSERT_NEAR(held + out, in, 1e-12 * in) << "step " << step;
  }
  EXPECT_GT(out, 0.0);
}

TEST(WashLoad, DryNodeKeepsItsLoadUntilTheWaterReturns) {
  auto ms = junction();
  ms->area[2][3] = 0.0;
  ms->qlat_sed[2][3][ms->ov_sed->sed_class[1]] = 0.5;
  route_chan_suspended_sed(*ms, 60.0);
  EXPECT_DOUBLE_EQ(ms->ch_wash_vol[2][3][1], 0.5);
  EXPECT_EQ(ms->SS_node_conc_vol[node_row(*ms, 3, 2)][1], 0.0);
  EXPECT_EQ(ms->chan_sed_conc[node_row(*ms, 3, 2)][0], 0.0);
  ms->area[2][3] = 2.0;
  ms->qlat_sed[2][3][ms->ov_sed->sed_class[1]] = 0.0;
  route_chan_suspended_sed(*ms, 60.0);
  EXPECT_DOUBLE_EQ(ms->ch_wash_vol[2][3][1], 0.5);
  EXPECT_NEAR(ms->chan_sed_conc[node_row(*ms, 3, 2)][ms->ov_sed->sed_class[1]], 0.5 * 2645230.0 / 100.0,
              1e-6);
}

// Link 1 into lake link 2 (lake 1); the lake drains into link 3, the outlet.
std::unique_ptr<main_state> lake_network(int n_cells = 4) {
  auto ms = sediment_network({{4, 3, 50.0, 10.0, 0.05, 2.0, 1.0, {}},
                              {32, 1, 10.0, 9.0, 0.0, 2.0, 1.0, {1}},
                              {4, 3, 50.0, 8.0, 0.05, 2.0, 1.0, {2}}},
                             {{0.05, 2.65, 1.0}}, 0.0625, 0.4, n_cells);
  for (int c = 1; c <= n_cells; ++c) ms->elevation[c] = 5.0;
  return ms;
}

// The lake covers cells 1 .. n of the one-row grid.
void flood(main_state& ms, int n, double level, double volume) {
  ms.lake_elev[1] = level;
  ms.lake_volume[1] = volume;
  ms.lake_cells[1] = n;
  for (int p = 1; p <= n; ++p) {
    ms.lake_search[1][1][p] = 1;
    ms.lake_search[1][2][p] = p;
    ms.lake_mask[p] = 1;
  }
}

TEST(WashLoad, LakesSettleTheirLoad) {
  // One cell 2 m under the lake level, 0.05 mm: dt w / d = 6.75234 % a step.
  auto ms = lake_network();
  flood(*ms, 1, 7.0, 10.0 * 10.0 * 2.0);
  ms->SS_vol_lake[1][1] = 0.8;
  ms->SS_conc_vol_lake[1][1] = 0.8 / 200.0;
  route_chan_suspended_sed(*ms, 60.0);
  EXPECT_NEAR(ms->SS_vol_lake_settled[1][1] / 0.8, 0.0675234, 1e-7);
  EXPECT_NEAR(ms->ov_sed->vol_sed[1][1][3], ms->SS_vol_lake_settled[1][1], 1e-15) << "on the flooded cell";
  EXPECT_NEAR(ms->SS_vol_lake[1][1] + ms->SS_vol_lake_settled[1][1], 0.8, 1e-15);
  // A cell whose ground stands at the lake level receives none.
  auto dry = lake_network();
  flood(*dry, 2, 7.0, 200.0);
  dry->elevation[2] = 7.0;
  dry->SS_vol_lake[1][1] = 0.8;
  dry->SS_conc_vol_lake[1][1] = 0.004;
  route_chan_suspended_sed(*dry, 60.0);
  EXPECT_GT(dry->ov_sed->vol_sed[1][1][3], 0.0);
  EXPECT_EQ(dry->ov_sed->vol_sed[2][1][3], 0.0);
  // A lake of 1e-8 m3 lets its whole load settle.
  auto tiny = lake_network();
  flood(*tiny, 1, 7.0, 1e-8);
  tiny->SS_vol_lake[1][1] = 0.3;
  route_chan_suspended_sed(*tiny, 60.0);
  EXPECT_EQ(tiny->SS_vol_lake[1][1], 0.0);
  EXPECT_NEAR(tiny->SS_vol_lake_settled[1][1], 0.3, 1e-15);
}

// The lake network flooded to 7 m with 0.02 m3 of wash load in the lake and
// 0.01 m3 at the last node of link 1: link 1 brings 100 m3 of water at 2e-4
// into the lake, link 3 takes 30 m3 at 1e-3 out of it (but it holds 0.02).
std::unique_ptr<main_state> lake_exchange_network() {
  auto ms = lake_network();
  flood(*ms, 1, 7.0, 200.0);
  ms->elevation[1] = 7.0;  // nothing settles
  for (int l : {1, 3})
    for (int k = 1; k <= 3; ++k) ms->area[k][l] = 1.0;
  ms->SS_vol_lake[1][1] = 0.02;
  ms->SS_conc_vol_lake[1][1] = 0.001;
  ms->ch_wash_vol[3][1][1] = ms->ch_wash_vol[3][1][0] = 0.01;
  ms->SS_node_conc_vol[node_row(*ms, 1, 3)][1] = 0.01 / 50.0;
  ms->qp_vol_sed[3][1] = 100.0;
  ms->qp_vol_sed[1][2] = 30.0;
  return ms;
}

TEST(WashLoad, LakeExchangesWithTheLinksAboveAndBelow) {
  auto ms = lake_exchange_network();
  route_chan_suspended_sed(*ms, 60.0);
  // The node gives all it holds in the first stage, nothing in the second
  // (it is empty there): half on average. The lake gives all it holds in both.
  EXPECT_NEAR(ms->SS_vol_chan_to_lake[1][1], 0.005, 1e-12);
  EXPECT_NEAR(ms->ch_wash_vol[3][1][1], 0.005, 1e-12);
  EXPECT_NEAR(ms->SS_vol_lake_to_chan[1][1], 0.02, 1e-12) << "never more than the lake holds";
  EXPECT_NEAR(ms->ch_wash_vol[1][3][1], 0.02, 1e-12) << "link 3 receives what the lake gives";
  EXPECT_NEAR(ms->SS_vol_lake[1][1], 0.005, 1e-12);
}

// The whole sediment step books the lake exchange twice: into the run
// totals and into the event totals the event summary prints, each for the
// lake and for all lakes; the step values start the next step at 0.
TEST(WashLoad, LakeExchangeIsBookedForTheEventAndTheRun) {
  auto ms = lake_exchange_network();
  ms->sed_transport_mode = 1;
  ASSERT_TRUE(chan_sediment_step(*ms, 60.0));
  for (const dmat* event : {&ms->SS_vol_chan_to_lake, &ms->GLOBAL_SS_vol_chan_to_lake}) {
    EXPECT_NEAR((*event)[1][0], 0.005, 1e-12);
    EXPECT_NEAR((*event)[0][0], 0.005, 1e-12);
  }
  for (const dmat* event : {&ms->SS_vol_lake_to_chan, &ms->GLOBAL_SS_vol_lake_to_chan}) {
    EXPECT_NEAR((*event)[1][0], 0.02, 1e-12);
    EXPECT_NEAR((*event)[0][0], 0.02, 1e-12);
  }
  EXPECT_NEAR(ms->GLOBAL_SS_vol_chan_to_lake[1][1], 0.005, 1e-12);
  EXPECT_EQ(ms->SS_vol_chan_to_lake[1][1], 0.0) << "the step value is cleared";
  EXPECT_EQ(ms->SS_vol_lake_to_chan[1][1], 0.0);
}

TEST(WashLoad, LakeAtTheOutletDischargesItsLoad) {
  auto ms = sediment_network({{4, 3, 50.0, 10.0, 0.05, 2.0, 1.0, {}}, {32, 2, 10.0, 9.0, 0.0, 2.0, 1.0, {1}}},
                             {{0.05, 2.65, 1.0}}, 0.0625);
  flood(*ms, 1, 7.0, 200.0);
  ms->elevation[1] = 7.0;  // nothing settles
  ms->SS_vol_lake[1][1] = 0.05;
  ms->SS_conc_vol_lake[1][1] = 0.05 / 200.0;
  ms->qp_vol_sed[2][2] = 40.0;
  // The sand step treats a lake outlet as one node without changing the
  // node count the routing uses.
  chan_sand_transport(*ms, 60.0);
  EXPECT_EQ(ms->nx[2], 2);
  route_chan_suspended_sed(*ms, 60.0);
  EXPECT_NEAR(ms->wash_out_rate[0] * 60.0, 0.01, 1e-12);
  EXPECT_NEAR(ms->SS_vol_lake[1][1], 0.04, 1e-12);
  EXPECT_EQ(ms->SS_vol_lake_to_chan[1][1], 0.0) << "booked as the outlet's wash load, not as lake to channel";
}

}  // namespace
}  // namespace kavro
