// Groundwater inflow into leaky pipes, on one pipe of 20 m (diameter 0.1 m,
// drain spacing 20 m, 3.6 cm/h) whose two nodes have their inverts 1 m
// under a ground of 100.0 m, empty, crossing one cell whole; the water
// table stands at 99.5 m over an aquifer bottom at 95.0 m.
#include <gtest/gtest.h>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "subsurface/tile_exchange.h"

namespace kavro {
namespace {

struct one_pipe {
  main_state ms;
  ivec nnodes{"nnodes"}, ncells{"ncells"};
  imat node_gnum{"node_gnum"}, gpi_link{"gpi_link"}, gpi_node{"gpi_node"}, gpi_gnum{"gpi_gnum"};
  dmat invert{"invert"}, depth{"depth"}, length{"length"}, diameter{"diameter"}, spacing{"spacing"},
      conductivity{"conductivity"}, multiplier{"multiplier"}, pct{"pct"}, pipe_flow{"pipe_flow"};
  dvec cell_flow{"cell_flow"};
  tile_network_view view;

  one_pipe() {
    ms.n_cells = 1;
    for (dvec* v : {&ms.elevation, &ms.elevgw, &ms.bottom_elev, &ms.cfgi_value, &cell_flow}) v->allocate(1);
    ms.elevation[1] = 100.0;
    ms.elevgw[1] = 99.5;
    ms.bottom_elev[1] = 95.0;
    nnodes.allocate(1);
    nnodes[1] = 1;
    node_gnum.allocate(3, 1);
    for (dmat* m : {&invert, &depth, &length, &diameter, &spacing, &conductivity, &multiplier, &pipe_flow})
      m->allocate(3, 1);
    for (int n = 1; n <= 2; ++n) {
      node_gnum[n][1] = 1;
      invert[n][1] = 99.0;
    }
    length[1][1] = 20.0;
    diameter[1][1] = 0.1;
    spacing[1][1] = 20.0;
    conductivity[1][1] = 3.6;
    multiplier[1][1] = 1.0;
    ncells.allocate(1);
    ncells[1] = 1;
    for (imat* m : {&gpi_link, &gpi_node, &gpi_gnum}) m->allocate(1, 1);
    pct.allocate(1, 1);
    gpi_link[1][1] = gpi_node[1][1] = gpi_gnum[1][1] = 1;
    pct[1][1] = 1.0;
    view.n_junctions = 2;
    view.n_links = 1;
    view.nnodes = &nnodes;
    view.node_gnum = &node_gnum;
    view.node_invert = &invert;
    view.node_depth = &depth;
    view.pipe_length = &length;
    view.diameter = &diameter;
    view.spacing = &spacing;
    view.conductivity = &conductivity;
    view.multiplier = &multiplier;
    view.gpi_num_cells = 1;
    view.gpi_ncellsingrid = &ncells;
    view.gpi_link = &gpi_link;
    view.gpi_node = &gpi_node;
    view.gpi_gnum = &gpi_gnum;
    view.gpi_pct = &pct;
    view.cell_tile_flow = &cell_flow;
    view.pipe_tile_flow = &pipe_flow;
    error_rec = error_record{};
  }
};

TEST(TileExchange, PipeInflowByDrainFormulaHeadAndFrost) {
  struct tile_case {
    const char* label;
    void (*set)(one_pipe&);
    double inflow;  // m3/s into the pipe
    int result;
    int code;
  };
  const tile_case cases[] = {
      {"water table 0.5 m over the empty pipe", [](one_pipe&) {}, 4.7555e-5, 1, 0},
      {"drain-spacing form of SUPERLINK_DRAINMOD", [](one_pipe& p) { p.ms.superlink_drainmod_on = 1; }, 1.1341e-6,
       1, 0},
      {"water table at the pipe", [](one_pipe& p) { p.ms.elevgw[1] = 99.0; }, 0.0, 0, 0},
      {"pipe half full under the table", [](one_pipe& p) { p.depth[1][1] = p.depth[2][1] = 0.5; }, 0.0, 0, 0},
      {"multiplier 2", [](one_pipe& p) { p.multiplier[1][1] = 2.0; }, 9.5109e-5, 1, 0},
      {"multiplier below 1 leaves the flow", [](one_pipe& p) { p.multiplier[1][1] = 0.5; }, 4.7555e-5, 1, 0},
      {"pipe invert below the aquifer bottom", [](one_pipe& p) { p.ms.bottom_elev[1] = 99.5; }, 0.0, 1, 131},
      {"frozen ground index 84 in a long-term run", [](one_pipe& p) {
         p.ms.long_term_on = p.ms.cfgi_on = 1;
         p.ms.cfgi_value[1] = 84.0; }, 0.0, 0, 0},
      {"frozen ground index 83 in a long-term run", [](one_pipe& p) {
         p.ms.long_term_on = p.ms.cfgi_on = 1;
         p.ms.cfgi_value[1] = 83.0; }, 4.7555e-5, 1, 0},
      {"frozen ground index 84 in an event run", [](one_pipe& p) {
         p.ms.cfgi_on = 1;
         p.ms.cfgi_value[1] = 84.0; }, 4.7555e-5, 1, 0},
  };
  for (const tile_case& k : cases) {
    one_pipe p;
    k.set(p);
    p.cell_flow[1] = 1e-3;  // the network's accumulator: the exchange adds to it
    EXPECT_EQ(gw_tile_exchange(p.ms, p.view), k.result) << k.label;
    EXPECT_EQ(error_rec.code, k.code) << k.label;
    if (k.code != 0) {
      EXPECT_EQ(error_rec.int1, 1) << k.label;
    }
    EXPECT_NEAR(p.cell_flow[1] - 1e-3, k.inflow, 5e-10) << k.label;
    EXPECT_NEAR(p.pipe_flow[1][1], k.inflow, 5e-10) << k.label;
  }
  error_rec = error_record{};
}

// Two pipes crossing the cell, one at the water table and one below it: the
// first takes nothing, the network still reports a pipe under the table;
// each pipe's share of its length in the cell scales its inflow.
TEST(TileExchange, EachCrossingTakesItsShareAndAPipeAtTheTableTakesNothing) {
  one_pipe p;
  p.nnodes[1] = 2;
  for (dmat* m : {&p.invert, &p.depth, &p.length, &p.diameter, &p.spacing, &p.conductivity, &p.multiplier})
    (*m)[2][1] = (*m)[1][1];
  p.invert[3][1] = 99.0;
  p.node_gnum[3][1] = 1;
  p.invert[1][1] = p.invert[2][1] = 99.5;  // first pipe's water level at the head
  p.ncells[1] = 2;
  for (imat* m : {&p.gpi_link, &p.gpi_node, &p.gpi_gnum}) m->allocate(1, 2);
  p.pct.allocate(1, 2);
  p.gpi_link[1][1] = p.gpi_link[1][2] = 1;
  p.gpi_gnum[1][1] = p.gpi_gnum[1][2] = 1;
  p.gpi_node[1][1] = 1;
  p.gpi_node[1][2] = 2;
  p.pct[1][1] = 1.0;
  p.pct[1][2] = 0.5;
  // Pipe 2 runs from node 2 (invert 99.5) to node 3 (99.0): invert 99.25
  // under the cell, 0.25 m under the table.
  EXPECT_EQ(gw_tile_exchange(p.ms, p.view), 1);
  EXPECT_EQ(p.pipe_flow[1][1], 0.0);
  EXPECT_GT(p.pipe_flow[2][1], 0.0);
  EXPECT_EQ(p.cell_flow[1], p.pipe_flow[2][1]);
  const double half = p.pipe_flow[2][1];
  p.pct[1][2] = 1.0;
  p.cell_flow[1] = p.pipe_flow[2][1] = 0.0;
  gw_tile_exchange(p.ms, p.view);
  EXPECT_NEAR(p.pipe_flow[2][1], 2 * half, 1e-18);
}

}  // namespace
}  // namespace kavro
