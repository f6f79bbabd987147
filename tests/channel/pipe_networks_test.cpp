// The drain network's routing and booking on small grids, and both
// networks' outlets into a closed channel: every inlet reaches its outlet in
// the step it is taken, each volume is booked once, and what the channel
// gains is what the pipes say they gave it.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "channel/channel_routing.h"
#include "channel/channel_steps.h"
#include "channel/cross_sections.h"
#include "channel/pipe_networks.h"
#include "pipe_test_support.h"

namespace kavro_test {
namespace {

using kavro::main_state;

constexpr double day = 86400.0;

double surface_water(const main_state& ms) {
  double v = 0.0;
  for (long c = 1; c <= ms.n_cells; ++c) v += ms.ov_depth[c] * ms.dx * ms.dx;
  return v;
}

std::string one_pipe_link(int link, int ground_cell_up, int ground_cell_down) {
  return "SLINK " + std::to_string(link) + " 1\nNODE 1 100 98 0 0 1 " + std::to_string(ground_cell_up) +
         "\nNODE 2 100 97 0 0 1 " + std::to_string(ground_cell_down) + "\nPIPE 1 1 0.3 0.3 0.01 0.013 100\n";
}

TEST(DrainNetwork, ChainsDeliverEveryInletToTheOutletInTheStepItIsTaken) {
  scratch_dir dir;
  auto ms = pipe_grid(1, 4, 10.0, {1, 1, 1, 1}, {100, 100, 100, 100});
  const std::string drains =
      "SJUNC 1 100 98 1 1 1 1 0.6 0.5\nSJUNC 2 100 98 1 1 1 2 0.6 0.5\nSJUNC 3 100 98 1 1 1 3 0.6 0.5\n"
      "SJUNC 4 100 97 1 888 1 4 0 0\n"
      "CONNECT 1 1 2\nCONNECT 2 2 4\nCONNECT 3 3 4\n" +
      one_pipe_link(1, 1, 2) + one_pipe_link(2, 2, 4) + one_pipe_link(3, 3, 4);
  ASSERT_EQ(load_drains(*ms, dir, drains), 0);
  for (int c = 1; c <= 3; ++c) ms->ov_depth[c] = 0.05;
  const double before = surface_water(*ms);
  double taken = 0.0;
  kavro::drain_network& d = *ms->drain;
  ASSERT_EQ(kavro::drain_flows(d, 10.0, ms->ov_depth, ms->dx, 0, 0, taken), 0);
  const double weir = 0.0333140;  // one grate at 0.05 m
  EXPECT_NEAR(d.junc_flow[4], 3 * weir, 3e-6);
  for (int j = 1; j <= 3; ++j) EXPECT_EQ(d.junc_flow[j], 0.0) << j;
  EXPECT_NEAR(taken, 10.0 * d.junc_flow[4], 1e-12);
  EXPECT_NEAR(ms->ov_depth[4], taken / 100.0, 1e-15);
  EXPECT_NEAR(surface_water(*ms), before, 1e-12);
  EXPECT_NEAR(d.junc_ov_vol[4], taken, 1e-12);
}

TEST(DrainNetwork, ThresholdsOfJunctionAndNodeCellsAndNodeInletsReachTheOutlet) {
  scratch_dir dir;
  auto ms = pipe_grid(1, 3, 10.0, {1, 1, 1}, {100, 100, 100});
  const std::string drains =
      "SJUNC 1 100 98 1 1 1 1 0.6 0.5\nSJUNC 2 100 96 1 888 1 3 0 0\nCONNECT 1 1 2\n"
      "SLINK 1 2\nNODE 1 100 98 0 0 1 1\nNODE 2 100 97 0 1 1 2 0.6 0.5\nNODE 3 100 96 0 0 1 3\n"
      "PIPE 1 1 0.3 0.3 0.01 0.013 100\nPIPE 2 1 0.3 0.3 0.01 0.013 100\n";
  ASSERT_EQ(load_drains(*ms, dir, drains), 0);
  ms->ov_depth[1] = 1e-9;  // a junction needs more than 1e-8 m
  ms->ov_depth[2] = 1e-9;  // a node more than 1e-16 m
  double taken = 0.0;
  kavro::drain_network& d = *ms->drain;
  ASSERT_EQ(kavro::drain_flows(d, 10.0, ms->ov_depth, ms->dx, 0, 0, taken), 0);
  EXPECT_EQ(ms->ov_depth[1], 1e-9);
  // The node's grate takes weir flow at 1e-9 m and passes it to the outlet.
  const double weir = 3.0 * 3 * 0.6 * 3.28 * std::pow(1e-9 * 3.28, 1.5) * 0.02832;
  EXPECT_NEAR(d.Q_node[2][1], weir, 1e-12 * weir);
  EXPECT_EQ(d.junc_flow[1], 0.0);
  EXPECT_DOUBLE_EQ(d.junc_flow[2], d.Q_node[2][1]);
  EXPECT_DOUBLE_EQ(taken, 10.0 * weir);
  EXPECT_NEAR(ms->ov_depth[2], 1e-9 - taken / 100.0, 1e-24);
  EXPECT_NEAR(ms->ov_depth[3], taken / 100.0, 1e-24);
}

// The drain clock of one step of dt s ending now.
void drain_clock(main_state& ms, double dt) {
  ms.now = 2455000.0;
  ms.drain_interval_days = ms.precip_period = dt / day;
  ms.next_drain_time = ms.now;
  ms.last_drain_time = ms.now - dt / day;
}

TEST(DrainNetwork, AnOutletOntoItsOwnInletsCellBooksTheWaterTakenAndReturnedApart) {
  scratch_dir dir;
  auto ms = pipe_grid(1, 2, 10.0, {1, 1}, {100, 100});
  const std::string drains =
      "SJUNC 1 100 98 1 1 1 1 0.6 0.5\nSJUNC 2 100 97 1 888 1 1 0 0\nCONNECT 1 1 2\n" + one_pipe_link(1, 1, 1);
  ASSERT_EQ(load_drains(*ms, dir, drains), 0);
  ms->ov_depth[1] = 0.05;
  drain_clock(*ms, 10.0);
  kavro::tile_drain_step(*ms);
  const kavro::drain_network& d = *ms->drain;
  EXPECT_NEAR(d.ov_to_drain_vol, 0.333140, 2e-5);
  EXPECT_DOUBLE_EQ(d.drain_to_ov_vol, d.ov_to_drain_vol);
  EXPECT_DOUBLE_EQ(d.ov_to_drain_total, d.ov_to_drain_vol);
  EXPECT_DOUBLE_EQ(d.drain_to_ov_total, d.drain_to_ov_vol);
  EXPECT_NEAR(ms->ov_depth[1], 0.05, 1e-15);
  EXPECT_EQ(d.cell_vol[1], 0.0);
}

TEST(DrainNetwork, ASurchargedGrateGivesItsCellTheWaterItBooksAsReleased) {
  scratch_dir dir;
  auto ms = pipe_grid(1, 2, 10.0, {1, 1}, {100, 100});
  const std::string drains =
      "SJUNC 1 100 98 1.5 2 1 1 0.6 0.5\nSJUNC 2 100 97 1 888 1 2 0 0\nCONNECT 1 1 2\n" + one_pipe_link(1, 1, 2);
  ASSERT_EQ(load_drains(*ms, dir, drains), 0);
  ms->high_head_release_on = 1;
  ms->ov_depth[1] = 0.05;
  ms->drain->junc_head[1] = 100.5;  // the water in the junction stands 0.5 m above the ground
  drain_clock(*ms, 10.0);
  const double before = surface_water(*ms);
  const kavro::drain_network& d = *ms->drain;
  // Two grates release 2 x 0.5 m x 1.5 m2 onto the cell; the outlet
  // downstream cannot give a negative flow and passes nothing.
  testing::internal::CaptureStdout();
  kavro::tile_drain_step(*ms);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NEAR(ms->ov_depth[1], 0.05 + 1.5 / 100.0, 1e-15);
  EXPECT_EQ(ms->ov_depth[2], 0.0);
  EXPECT_NEAR(d.drain_to_ov_vol, 1.5, 1e-12);
  EXPECT_EQ(d.ov_to_drain_vol, 0.0);
  EXPECT_NEAR(surface_water(*ms), before + 1.5, 1e-12);
  EXPECT_NE(out.find("Flow from drain junction 2 to overland cell 2 is negative"), std::string::npos) << out;
}

// A flat trapezoid link of `nodes` nodes 20 m apart, 0.3 m deep, whose
// outlet gives nothing: a closed channel.
void closed_channel(main_state& ms, int nodes) {
  const int L = 1;
  ms.LINKS = L;
  ms.MAXNODES = nodes + 1;
  ms.max_nodes_per_link = nodes + 2;
  ms.link_dim = L + 1;
  ms.node_link_dim = (L + 1) * (nodes + 2);
  for (kavro::ivec* v : {&ms.ltype, &ms.ldex, &ms.nx, &ms.nx1, &ms.og_nx1, &ms.dslink, &ms.ndep}) v->allocate(L + 1);
  ms.link_inv_n.allocate(L + 1);
  ms.chan_dx.allocate(L + 1);
  ms.uslinks.allocate(L + 1, 3);
  for (kavro::dmat* m : {&ms.bottom, &ms.sslope, &ms.bel, &ms.yp, &ms.qp, &ms.area, &ms.conv, &ms.dconv, &ms.topw,
                         &ms.chan_depth, &ms.qlat, &ms.bankfull_dep, &ms.area_old})
    m->allocate(ms.max_nodes_per_link, L + 1);
  ms.table_num.allocate(ms.max_nodes_per_link, L + 1);
  ms.ltype[1] = 4;
  ms.ldex[1] = 1;
  ms.nx[1] = ms.og_nx1[1] = nodes;
  ms.nx1[1] = nodes + 1;
  ms.link_inv_n[1] = 1.0 / 0.03;
  ms.chan_dx[1] = 20.0;
  for (int j = 1; j <= nodes; ++j) {
    ms.bottom[j][1] = 3.0;
    ms.sslope[j][1] = 2.0;
    ms.bankfull_dep[j][1] = 1.5;
    ms.bel[j][1] = 90.0;
    ms.yp[j][1] = 90.3;
    ms.chan_depth[j][1] = 0.3;
  }
  ms.max_courant_number = 0.04;
  ms.channel_on = 1;
  ms.chan_active = 1;
  kavro::ex_section(ms, 2, ms.area);
}

double channel_water(const main_state& ms) {
  double v = 0.0;
  for (int j = 1; j <= ms.nx[1]; ++j) v += ms.area[j][1] * ms.chan_dx[1];
  return v;
}

TEST(PipeOutlets, WhatBothNetworksPourIntoAClosedChannelIsWhatTheyBook) {
  for (int release : {0, 1}) {
    scratch_dir dir;
    auto ms = pipe_grid(1, 3, 10.0, {1, 1, 1}, {100, 100, 100});
    closed_channel(*ms, 10);
    ms->high_head_release_on = release;
    const std::string pipes =
        "SJUNC 1 100 97 1.0 1 1 1 0.6 0.5\nSJUNC 2 95 96.5 1.0 999 1 5 0 0\nCONNECT 1 1 2\n"
        "SLINK 1 1\nNODE 1 100 97 0 0 1 1\nNODE 2 95 96.5 0 0 1 1\nPIPE 1 1 0.3 0.3 0.01 0.013 50\n";
    const std::string drains =
        "SJUNC 1 100 97 1.0 1 1 2 0.6 0.5\nSJUNC 2 95 96 1.0 999 1 8 0 0\nCONNECT 1 1 2\n" + one_pipe_link(1, 2, 2);
    ASSERT_EQ(load_superlink(*ms, dir, pipes), 0);
    ASSERT_EQ(load_drains(*ms, dir, drains), 0);
    ms->ov_depth[1] = ms->ov_depth[2] = 0.1;
    const double dt = 10.0;
    drain_clock(*ms, dt);
    ms->superlink_active = 1;
    ms->superlink_interval_days = ms->chan_interval_days = dt / day;
    ms->chan_interval = dt;
    ms->next_superlink_time = ms->next_chan_time = ms->now;
    ms->last_superlink_time = ms->last_chan_time = ms->now - dt / day;
    const double v0 = channel_water(*ms);
    double outflow = 0.0;
    for (int k = 0; k < 60; ++k) {
      kavro::tile_drain_step(*ms);
      kavro::superlink_step(*ms);
      kavro::chan_route_step(*ms);
      ASSERT_EQ(kavro::error_rec.code, 0) << k;
      outflow += ms->chan_outflow_vol;
      const double gain = channel_water(*ms) - v0;
      const double booked =
          ms->vol_lat_into_chan_total + ms->vol_superlink_to_channel_total + ms->drain->drain_to_chan_total - outflow;
      ASSERT_NEAR(gain, booked, 1e-9 * std::max(1.0, booked)) << "step " << k << ", release " << release;
      ms->now += dt / day;
    }
    EXPECT_GT(ms->vol_superlink_to_channel_total, 1.0) << release;
    EXPECT_GT(ms->drain->drain_to_chan_total, 1.0) << release;
    EXPECT_EQ(ms->vol_superlink_to_channel, ms->vol_superlink_to_channel_total);
    EXPECT_EQ(ms->drain->drain_to_chan_vol, ms->drain->drain_to_chan_total);
  }
}

}  // namespace
}  // namespace kavro_test
