// Seepage between the aquifer and the surface waters over it, on a small
// channel built in memory: one trapezoid link of 3 nodes, 50 m apart,
// bottom 2 m, side slope 1, bed at 98.0 m holding 0.5 m of water, bed
// conductivity 0.36 m/h over 0.5 m of bed (a conductance of 2e-4 /s); each
// node lies in a river cell of its own (50 m, ground 100.0, aquifer bottom
// 80.0). Lakes sit on 50 m cells of their own.
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
#include "input/grid_connectivity.h"
#include "subsurface/groundwater_flow.h"
#include "subsurface/stream_exchange.h"

namespace kavro {
namespace {

constexpr int nodes = 3;

std::unique_ptr<main_state> stream_over_aquifer(double head, double depth = 0.5) {
  auto ms = std::make_unique<main_state>();
  ms->LINKS = 1;
  ms->MAXNODES = nodes + 1;
  ms->max_nodes_per_link = nodes + 2;
  ms->link_dim = 2;
  ms->node_link_dim = 2 * (nodes + 2);
  for (ivec* v : {&ms->ltype, &ms->ldex, &ms->nx, &ms->nx1, &ms->og_nx1, &ms->dslink, &ms->ndep}) v->allocate(2);
  ms->link_inv_n.allocate(2);
  ms->chan_dx.allocate(2);
  ms->uslinks.allocate(2, 3);
  for (dmat* m : {&ms->bottom, &ms->sslope, &ms->sslope2, &ms->bel, &ms->yp, &ms->qp, &ms->area, &ms->conv,
                  &ms->dconv, &ms->topw, &ms->chan_depth, &ms->qlat, &ms->bankfull_dep, &ms->area_old, &ms->Krb,
                  &ms->Mrb, &ms->qriv, &ms->av_qriv, &ms->gst_Vp})
    m->allocate(ms->max_nodes_per_link, 2);
  ms->table_num.allocate(ms->max_nodes_per_link, 2);
  ms->ltype[1] = 4;
  ms->ldex[1] = 1;
  ms->nx[1] = ms->og_nx1[1] = nodes;
  ms->nx1[1] = nodes + 1;
  ms->link_inv_n[1] = 1.0 / 0.035;
  ms->chan_dx[1] = 50.0;
  for (int j = 1; j <= nodes; ++j) {
    ms->bottom[j][1] = 2.0;
    ms->sslope[j][1] = 1.0;
    ms->bankfull_dep[j][1] = 1.5;
    ms->bel[j][1] = 98.0;
    ms->yp[j][1] = 98.0 + depth;
    ms->chan_depth[j][1] = depth;
    ms->Krb[j][1] = 0.36;
    ms->Mrb[j][1] = 0.5;
  }
  ms->n_cells = nodes;
  ms->dx = 50.0;
  for (dvec* v : {&ms->elevation, &ms->elevgw, &ms->bottom_elev, &ms->stream_gw_cell_vol}) v->allocate(nodes);
  ms->gwbound.allocate(nodes);
  ms->n_gst_cells = nodes;
  ms->max_gst_nodes = 1;
  ms->gst_ncellsingrid.allocate(nodes);
  for (imat* m : {&ms->gst_link, &ms->gst_node, &ms->gst_gnum}) m->allocate(nodes, 1);
  for (dmat* m : {&ms->gst_pct, &ms->gst_qriv, &ms->gst_qriv_vol, &ms->gst_qlat}) m->allocate(nodes, 1);
  for (int c = 1; c <= nodes; ++c) {
    ms->elevation[c] = 100.0;
    ms->elevgw[c] = head;
    ms->bottom_elev[c] = 80.0;
    ms->gwbound[c] = 4;
    ms->gst_ncellsingrid[c] = 1;
    ms->gst_link[c][1] = 1;
    ms->gst_node[c][1] = c;
    ms->gst_gnum[c][1] = c;
    ms->gst_pct[c][1] = 1.0;
  }
  ms->water_table_on = ms->gw_simulation_on = ms->stream_loss_on = ms->channel_on = ms->stream_cell_on = 1;
  ms->max_courant_number = 0.04;
  ms->chan_point_inputs_on = 1;
  ms->chan_point_q.allocate(ms->node_link_dim + 1);
  error_rec = error_record{};
  ex_section(*ms, 2, ms->area);
  return ms;
}

double channel_water(const main_state& ms) {
  double v = 0;
  for (int j = 1; j <= nodes; ++j) v += ms.area[j][1] * ms.chan_dx[1];
  return v;
}

double cell_seepage(const main_state& ms) {
  double v = 0;
  for (int c = 1; c <= nodes; ++c) v += ms.stream_gw_cell_vol[c];
  return v;
}

// The node exchange against the head: a gaining stream (width at the head's
// depth over the bed, 4 m), a head between bed and stage, heads below the
// bed (a loss by the depth alone), and the two cases that exchange nothing.
TEST(StreamAquiferExchange, NodeSeepageFollowsTheHeadAgainstBedAndStage) {
  struct exchange_case {
    const char* label;
    double head, ground, aquifer_bottom;
    double qriv;
    int result;
  };
  const exchange_case cases[] = {
      {"head above the stage", 99.0, 100.0, 80.0, 4e-4, exchange_gaining},
      {"head between bed and stage", 98.2, 100.0, 80.0, -1.8e-4, exchange_losing},
      {"head below the bed", 97.0, 100.0, 80.0, -3e-4, exchange_losing},
      {"head far below the bed", 96.0, 100.0, 80.0, -3e-4, exchange_losing},
      {"head above the stage over 5 mm of aquifer", 99.0, 100.0, 98.995, 0.0, exchange_none},
      {"head between bed and stage above the ground", 98.2, 98.1, 80.0, 0.0, exchange_none},
  };
  for (const exchange_case& k : cases) {
    auto ms = stream_over_aquifer(k.head);
    for (int c = 1; c <= nodes; ++c) {
      ms->elevation[c] = k.ground;
      ms->bottom_elev[c] = k.aquifer_bottom;
    }
    EXPECT_EQ(stream_aquifer_exchange(*ms), k.result) << k.label;
    for (int j = 1; j <= nodes; ++j) {
      EXPECT_NEAR(ms->qriv[j][1], k.qriv, 1e-15) << k.label << " node " << j;
      EXPECT_NEAR(ms->gst_qriv[j][1], k.qriv, 1e-15) << k.label << " node " << j;
    }
  }
}

// Without the aquifer model every cell exchanges; a cell that is not a
// river cell does not while the model runs. Without a water table the
// stream loses by its depth.
TEST(StreamAquiferExchange, OnlyRiverCellsExchangeWhileTheAquiferModelRuns) {
  auto ms = stream_over_aquifer(98.2);
  ms->gwbound[2] = 1;
  EXPECT_EQ(stream_aquifer_exchange(*ms), exchange_losing);
  EXPECT_EQ(ms->qriv[2][1], 0.0);
  EXPECT_NEAR(ms->qriv[1][1], -1.8e-4, 1e-15);
  ms->gw_simulation_on = 0;
  stream_aquifer_exchange(*ms);
  EXPECT_NEAR(ms->qriv[2][1], -1.8e-4, 1e-15);
  ms->water_table_on = 0;
  EXPECT_EQ(stream_aquifer_exchange(*ms), exchange_losing);
  EXPECT_NEAR(ms->qriv[2][1], -3e-4, 1e-15);
}

// Top-width tables: one height step extends flat above it; a table number
// below 1 or above the last table stops the run.
TEST(StreamAquiferExchange, TopWidthTablesExtendFlatAndRefuseMissingTables) {
  for (int table : {1, 0, 2}) {
    auto ms = stream_over_aquifer(100.5, 0.5);
    ms->ltype[1] = 8;
    ms->n_xsec_tables = 1;
    ms->ht_spc.allocate(1);
    ms->numhts.allocate(1);
    ms->xtw.allocate(2, 1);
    ms->ht_spc[1] = 1.0;
    ms->numhts[1] = 1;
    ms->xtw[1][1] = 4.0;
    for (int c = 1; c <= nodes; ++c) {
      ms->elevation[c] = 101.0;
      ms->table_num[c][1] = table;
    }
    const int r = stream_aquifer_exchange(*ms);
    if (table == 1) {
      EXPECT_EQ(r, exchange_gaining);
      EXPECT_EQ(error_rec.stop, 0);
      // 2.5 m over the bed, 2.0 m above the stage, width held at 4 m.
      EXPECT_NEAR(ms->qriv[1][1], 2e-4 * 2.0 * 4.0, 1e-15);
    } else {
      EXPECT_EQ(r, exchange_none) << table;
      EXPECT_EQ(error_rec.stop, 1) << table;
    }
  }
}

// The coupling of the groundwater step while the channels do not route: a
// node losing 32.4 of its 62.5 m3 in an hour keeps 30.1 m3, and its river
// cell gets exactly what the node lost.
TEST(ChannelCoupling, LosingNodesPayTheirCellsOutOfTheirOwnWater) {
  auto ms = stream_over_aquifer(98.2);
  const double before = channel_water(*ms);
  EXPECT_NEAR(before, 3 * 62.5, 1e-12);
  gw_channel_coupling(*ms, 3600.0);
  ASSERT_EQ(error_rec.stop, 0);
  EXPECT_EQ(ms->chan_gw_exchange_state, exchange_losing);
  EXPECT_EQ(ms->chan_active, 0);
  for (int j = 1; j <= nodes; ++j) {
    EXPECT_NEAR(ms->area[j][1], 0.602, 1e-12) << j;
    EXPECT_NEAR(ms->chan_depth[j][1], 0.2657, 1e-4) << j;
    EXPECT_NEAR(ms->stream_gw_cell_vol[j], -32.4, 1e-10) << j;
  }
  EXPECT_NEAR(cell_seepage(*ms), -(before - channel_water(*ms)), 1e-10);
}

// What the channel paid reaches the aquifer at the groundwater step: 32.4 m3
// over 50 m cells of porosity 0.2 lift each head 0.0648 m (a flat table,
// no flow between the cells).
TEST(ChannelCoupling, TheAquiferTakesWhatTheChannelPaid) {
  auto owner = stream_over_aquifer(98.2);
  main_state& ms = *owner;
  gw_channel_coupling(ms, 3600.0);
  ASSERT_EQ(error_rec.stop, 0);
  std::vector<double> paid(nodes + 1);
  for (int c = 1; c <= nodes; ++c) paid[c] = ms.stream_gw_cell_vol[c];
  ms.rows = ms.grid_rows = 1;
  ms.cols = ms.grid_cols = nodes;
  ms.mask.allocate(2, nodes + 1);
  for (int c = 1; c <= nodes; ++c) ms.mask[1][c] = c;
  for (ivec* v : {&ms.abovecon, &ms.belowcon, &ms.leftcon, &ms.rightcon}) v->allocate(nodes);
  build_cell_neighbours(1, nodes, ms.rightcon, ms.belowcon, ms.abovecon, ms.leftcon, ms.mask);
  ms.gw_relax_coeff = 1.0;
  ms.gw_lsor_con = 1e-10;
  ASSERT_TRUE(alloc_groundwater_work(ms));
  for (int c = 1; c <= nodes; ++c) {
    ms.elevgw[c] = 98.2;
    ms.bottom_elev[c] = 80.0;
    ms.gwbound[c] = 4;
    ms.gw_hycond_x[c] = ms.gw_hycond_y[c] = 1e-4;
    ms.gw_cell_dx[c] = ms.gw_cell_dy[c] = 50.0;
    ms.gw_porosity[c] = ms.gw_storage[c] = 0.2;
    ms.stream_gw_cell_vol[c] = paid[c];
  }
  const double gained = groundwater_flow(ms, nodes, 3600.0);
  ASSERT_EQ(error_rec.code, 0);
  EXPECT_NEAR(gained, 3 * 32.4, 1e-9);
  for (int c = 1; c <= nodes; ++c) {
    EXPECT_NEAR(ms.elevgw[c], 98.2 + 0.0648, 1e-9) << c;
    EXPECT_EQ(ms.stream_gw_cell_vol[c], 0.0) << "handed over once";
  }
}

// A node that would lose 108 m3 in two hours loses its 62.5 m3 and no more.
TEST(ChannelCoupling, ANodeNeverLosesMoreThanItHolds) {
  auto ms = stream_over_aquifer(97.0);
  gw_channel_coupling(*ms, 7200.0);
  ASSERT_EQ(error_rec.stop, 0);
  for (int j = 1; j <= nodes; ++j) {
    EXPECT_EQ(ms->area[j][1], 0.0) << j;
    EXPECT_EQ(ms->chan_depth[j][1], 0.0) << j;
    EXPECT_NEAR(ms->stream_gw_cell_vol[j], -62.5, 1e-12) << j;
  }
}

// The aquifer feeding a node wakes the channel routing, with an interval of
// the groundwater step halved to at most an hour, due now.
TEST(ChannelCoupling, AGainingNodeStartsTheChannelRouting) {
  struct wake_case {
    double gw_interval, chan_interval;
  };
  for (const wake_case& k : {wake_case{7200, 3600}, wake_case{5000, 2500}, wake_case{600, 600}}) {
    auto ms = stream_over_aquifer(99.0);
    ms->gw_interval = k.gw_interval;
    ms->now = 100.25;
    ms->stream_gw_cell_vol[1] = -5.0;
    const double before = channel_water(*ms);
    gw_channel_coupling(*ms, k.gw_interval);
    ASSERT_EQ(error_rec.stop, 0);
    EXPECT_EQ(ms->chan_gw_exchange_state, exchange_gaining);
    EXPECT_EQ(ms->chan_active, 1);
    EXPECT_EQ(ms->chan_interval, k.chan_interval);
    EXPECT_EQ(ms->next_chan_time, 100.25);
    EXPECT_EQ(ms->last_chan_time, 100.25 - k.chan_interval / 86400.0);
    EXPECT_EQ(channel_water(*ms), before);
    EXPECT_EQ(cell_seepage(*ms), 0.0);
    // Once the channels route, the coupling leaves the exchange to them.
    ms->elevgw[1] = 97.0;
    gw_channel_coupling(*ms, 600.0);
    ASSERT_EQ(error_rec.stop, 0);
    EXPECT_EQ(ms->chan_gw_exchange_state, exchange_gaining);
  }
}

// The routing takes the seepage at every sub-step: what the river cells
// gather is what the channel lost less what left at the outlet.
TEST(ChannelCoupling, RoutingBooksTheSeepageItMovesIntoTheRiverCells) {
  auto ms = stream_over_aquifer(98.2);
  ms->chan_active = 1;
  const double before = channel_water(*ms);
  const int state = ex_flow_route(*ms, 600.0);
  EXPECT_EQ(state, exchange_losing);
  const double lost = before - channel_water(*ms) - ms->chan_outflow_vol;
  EXPECT_GT(lost, 0.0);
  EXPECT_NEAR(cell_seepage(*ms), -lost, 1e-9 * lost);
  // An hour of routing in 10-minute steps through the routing step.
  ms->time_tol = 1e-8;
  ms->dt = 600;
  ms->chan_interval = ms->chan_interval_base = 600;
  ms->chan_interval_days = 600 / 86400.0;
  ms->now = ms->next_chan_time = 200.5;
  ms->last_chan_time = ms->now - ms->chan_interval_days;
  ms->chan_gw_exchange_state = 0;
  double out = ms->chan_outflow_vol;
  for (int k = 0; k < 6; ++k) {
    chan_route_step(*ms);
    ASSERT_EQ(error_rec.code, 0);
    out += ms->chan_outflow_vol;
    ms->now = ms->next_chan_time;
  }
  EXPECT_EQ(ms->chan_gw_exchange_state, exchange_losing);
  const double lost_all = before - channel_water(*ms) - out;
  EXPECT_NEAR(cell_seepage(*ms), -lost_all, 1e-9 * lost_all);
}

// A lake beside the stream over two cells of its own, level 1 m above their
// ground, the water table below it: the routing takes 15 m3 per cell in
// 600 s out of the lake into lake_source, alongside the stream's seepage;
// a lake holding 20 m3 pays 20 m3.
TEST(LakeSeepage, RoutingMovesLakeSeepageEverySubStep) {
  for (double held : {1000.0, 20.0}) {
    auto ms = stream_over_aquifer(98.2);
    ms->chan_active = 1;
    ms->n_cells = nodes + 2;
    for (dvec* v : {&ms->elevation, &ms->elevgw, &ms->bottom_elev, &ms->stream_gw_cell_vol, &ms->conductivity,
                    &ms->lake_gw_flux, &ms->lake_source, &ms->lake_loss_cell})
      v->allocate(nodes + 2);
    ms->gwbound.allocate(nodes + 2);
    ms->lake_mask.allocate(nodes + 2);
    ms->mask.allocate(1, nodes + 2);
    for (int c = 1; c <= nodes + 2; ++c) {
      ms->mask[1][c] = c;
      ms->elevation[c] = 100.0;
      ms->elevgw[c] = 98.2;
      ms->bottom_elev[c] = 80.0;
      ms->gwbound[c] = c <= nodes ? 4 : 7;
      ms->conductivity[c] = 1e-6;  // 0.36 cm/h
    }
    ms->lakes_on = ms->lake_loss_on = ms->green_ampt_on = 1;
    ms->n_lakes = 1;
    for (dvec* v : {&ms->lake_volume, &ms->lake_elev, &ms->lake_in_dv, &ms->lake_out_dv, &ms->Mlake}) v->allocate(1);
    for (ivec* v : {&ms->lake_cells, &ms->calc_loss, &ms->lake2link}) v->allocate(1);
    ms->lake_search.allocate(1, 2, 2);
    for (int k = 1; k <= 2; ++k) {
      ms->lake_search[1][1][k] = 1;
      ms->lake_search[1][2][k] = nodes + k;
      ms->lake_mask[nodes + k] = 1;
    }
    ms->lake_cells[1] = 2;
    ms->calc_loss[1] = 1;
    ms->Mlake[1] = 10.0;
    ms->lake_elev[1] = 101.0;
    ms->lake_volume[1] = held;
    const double before = channel_water(*ms);
    EXPECT_EQ(ex_flow_route(*ms, 600.0), exchange_losing);
    EXPECT_NEAR(ms->lake_gw_flux[nodes + 1], -5e-4, 1e-15);
    const double paid = std::min(held, 30.0);
    EXPECT_NEAR(ms->lake_volume[1], held - paid, 1e-9) << held;
    EXPECT_NEAR(ms->lake_source[nodes + 1] + ms->lake_source[nodes + 2], -paid, 1e-9) << held;
    EXPECT_NEAR(ms->lake_out_dv[1], paid, 1e-9) << held;
    EXPECT_EQ(ms->lake_loss_cell[nodes + 1], 0.0);  // kept only for channel constituents
    const double lost = before - channel_water(*ms) - ms->chan_outflow_vol;
    EXPECT_NEAR(cell_seepage(*ms), -lost, 1e-9 * lost);
  }
}

// A cell under a lake: without a water table it loses to the ground by the
// lake's depth over the ground; over a lake cell the head drives it; the
// cases the rule leaves open exchange nothing.
TEST(LakeSeepage, LakeCellRatesFollowTheLevelAndTheHead) {
  struct lake_case {
    const char* label;
    int water_table;
    double head, level;
    double rate;
  };
  const lake_case cases[] = {
      {"no water table, level 2 m above the ground", 0, 0.0, 102.0, -1e-3},
      {"no water table, level at the ground", 0, 0.0, 100.0, 0.0},
      {"head 1 m above the ground, level 2 m", 1, 101.0, 102.0, -5e-4},
      {"head 1 m above a lake level at the ground", 1, 101.0, 100.0, 5e-4},
      {"head at the aquifer bottom, level at the ground", 1, 95.0, 100.0, 0.0},
  };
  for (const lake_case& k : cases) {
    main_state ms;
    ms.n_cells = 2;
    ms.dx = 50.0;
    for (dvec* v : {&ms.elevation, &ms.elevgw, &ms.bottom_elev, &ms.conductivity, &ms.lake_gw_flux}) v->allocate(2);
    ms.gwbound.allocate(2);
    ms.lake_mask.allocate(2);
    ms.lake_elev.allocate(1);
    ms.Mlake.allocate(1);
    ms.lakes_on = ms.lake_loss_on = ms.green_ampt_on = ms.gw_simulation_on = 1;
    ms.water_table_on = k.water_table;
    ms.Mlake[1] = 10.0;  // cm
    ms.lake_elev[1] = k.level;
    for (int c = 1; c <= 2; ++c) {
      ms.elevation[c] = 100.0;
      ms.elevgw[c] = k.head;
      ms.bottom_elev[c] = 95.0;
      ms.conductivity[c] = 0.36 / 360000.0;  // 0.36 cm/h
      ms.gwbound[c] = 7;
      ms.lake_gw_flux[c] = 9.0;  // a stale rate that must not survive
    }
    ms.lake_mask[1] = 1;
    EXPECT_EQ(stream_aquifer_exchange(ms), exchange_none) << k.label;
    EXPECT_NEAR(ms.lake_gw_flux[1], k.rate, 1e-15) << k.label;
    EXPECT_EQ(ms.lake_gw_flux[2], 0.0) << k.label;
  }
}

// A lake of 100 m3 over two losing cells due to lose 180 m3 loses its 100
// m3, shared alike; a gaining cell's inflow is paid out too.
TEST(LakeSeepage, ALakeNeverLosesMoreThanItHolds) {
  for (double gain_rate : {0.0, 2e-4}) {
    main_state ms;
    ms.n_cells = 3;
    ms.dx = 50.0;
    ms.n_lakes = 1;
    ms.mask.allocate(1, 3);
    for (int c = 1; c <= 3; ++c) ms.mask[1][c] = c;
    ms.lake_search.allocate(1, 2, 3);
    for (int k = 1; k <= 3; ++k) {
      ms.lake_search[1][1][k] = 1;
      ms.lake_search[1][2][k] = k;
    }
    for (dvec* v : {&ms.lake_gw_flux, &ms.lake_source, &ms.lake_loss_cell}) v->allocate(3);
    for (dvec* v : {&ms.lake_volume, &ms.lake_in_dv, &ms.lake_out_dv}) v->allocate(1);
    ms.lake_cells.allocate(1);
    ms.lake_cells[1] = 3;
    ms.lake_volume[1] = 100.0;
    ms.lake_gw_flux[1] = -1e-3;
    ms.lake_gw_flux[2] = -1e-3;
    ms.lake_gw_flux[3] = gain_rate;
    lake_seepage(ms, 1, 1800.0, true);  // 90 m3 per losing cell
    const double gained = gain_rate * 1800.0 * 50.0;
    EXPECT_NEAR(ms.lake_volume[1], 0.0, 1e-12) << gain_rate;
    EXPECT_NEAR(ms.lake_source[1], -(100.0 + gained) / 2, 1e-12) << gain_rate;
    EXPECT_NEAR(ms.lake_source[2], ms.lake_source[1], 1e-12) << gain_rate;
    EXPECT_NEAR(ms.lake_source[3], gained, 1e-12) << gain_rate;
    EXPECT_NEAR(ms.lake_out_dv[1], 100.0 + gained, 1e-12) << gain_rate;
    EXPECT_NEAR(ms.lake_in_dv[1], gained, 1e-12) << gain_rate;
    EXPECT_EQ(ms.lake_loss_cell[1], ms.lake_source[1]);
    // A lake with enough water pays every losing cell in full.
    ms.lake_volume[1] = 1000.0;
    lake_seepage(ms, 1, 1800.0, false);
    EXPECT_NEAR(ms.lake_volume[1], 1000.0 - 180.0 + gained, 1e-9) << gain_rate;
  }
}

// Beds of zero thickness where water exchanges are refused before the run.
TEST(ExchangeBeds, ZeroThickBedsAreRefused) {
  auto ms = stream_over_aquifer(98.2);
  check_exchange_beds(*ms);
  EXPECT_EQ(error_rec.stop, 0);
  ms->Mrb[2][1] = 0.0;
  check_exchange_beds(*ms);
  EXPECT_EQ(error_rec.stop, 1);
  error_rec = error_record{};
  ms->Mrb[2][1] = 0.5;
  ms->lakes_on = ms->lake_loss_on = 1;
  ms->n_lakes = 2;
  ms->Mlake.allocate(2);
  ms->calc_loss.allocate(2);
  ms->Mlake[1] = 10.0;
  ms->calc_loss[1] = ms->calc_loss[2] = 1;
  check_exchange_beds(*ms);
  EXPECT_EQ(error_rec.stop, 1);
  error_rec = error_record{};
  ms->calc_loss[2] = 0;  // a lake that does not seep needs no bed
  check_exchange_beds(*ms);
  EXPECT_EQ(error_rec.stop, 0);
}

}  // namespace
}  // namespace kavro
