// The time-loop step of the superlink network: the channel stage at its
// outlets, the tile inflow, one solver step, and the booking of what the
// step took from and gave to the cells, the drains and the channels.
#include <algorithm>
#include <cmath>

#include "channel/channel_steps.h"
#include "channel/pipe_networks.h"
#include "framework/alloc.h"
#include "framework/main_state.h"
#include "framework/run_clock.h"
#include "subsurface/tile_exchange.h"

namespace kavro {
namespace {

tile_network_view superlink_tiles(main_state& ms) {
  tile_network_view v;
  v.n_junctions = ms.n_sl_junctions;
  v.n_links = ms.n_sl_links;
  v.nnodes = &ms.nnodes;
  v.node_gnum = &ms.superlink_node_gnum;
  v.node_invert = &ms.slink_node_Zinv;
  v.node_depth = &ms.slink_node_depth;
  v.pipe_length = &ms.pipe_dx;  // the grid pipe file shares the pipes as read
  v.diameter = &ms.diameter;
  v.spacing = &ms.drain_spacing;
  v.conductivity = &ms.superlink_pipe_conductivity;
  v.multiplier = &ms.drain_multiplier;
  v.gpi_num_cells = ms.gpi_num_cells;
  v.gpi_ncellsingrid = &ms.gpi_ncellsingrid;
  v.gpi_link = &ms.gpi_link;
  v.gpi_node = &ms.gpi_node;
  v.gpi_gnum = &ms.gpi_gnum;
  v.gpi_pct = &ms.gpi_pct;
  v.c_opt_on = ms.superlink_c_opt_on;
  v.otc_node = &ms.otc_node;
  v.otc_pipe = &ms.otc_pipe;
  v.cell_tile_flow = &ms.Q_tile_grid;
  v.pipe_tile_flow = &ms.superlink_tile_flow;
  return v;
}

// Groundwater into the leaky pipes over dt s; booked as it reaches the pipes.
void take_tile_inflow(main_state& ms, double dt) {
  if (ms.superlink_tile_flow.empty()) return;
  // The pipes' tile flows of the last step stay for the outputs until now.
  fill_dmat(ms.superlink_tile_flow, 0.0);
  if (!ms.water_table_on) return;
  tile_network_view view = superlink_tiles(ms);
  gw_tile_exchange(ms, view);
  for (long c = 1; c <= ms.Q_tile_grid.size(); ++c) {
    const double v = dt * ms.Q_tile_grid[c];
    ms.vol_tile_grid[c] += v;
    ms.vol_gw_to_tile += v;
    ms.vol_gw_to_tile_total += v;
    ms.Q_tile_grid[c] = 0.0;
  }
}

// 1 when an outlet pours into a channel node that a channel lake now holds.
int outlet_into_lake(const main_state& ms) {
  if (!ms.lakes_on || ms.channel_on != 1) return 0;
  const superlink_work& w = ms.sl_work;
  for (int j = 1; j <= ms.n_sl_junctions; ++j) {
    if (ms.inlet_type[0][j] != outlet_to_channel) continue;
    const int link = ms.superlink_chan_con_link[j], node = ms.superlink_chan_con_node[j];
    if (node <= ms.nx[link]) continue;
    for (int e = w.end_first[j]; e < w.end_first[j + 1]; ++e)
      if (w.Q_d[w.end_list[e]] > 1e-8) return 1;
  }
  return 0;
}

bool network_flows(const main_state& ms, const superlink_step_volumes& v) {
  if (v.taken + v.given + v.to_channel + v.from_drains + v.from_tiles > 0.0) return true;
  const superlink_work& w = ms.sl_work;
  for (int m = 1; m <= ms.n_sl_links; ++m)
    for (int i = 1; i <= w.numnodes[m]; ++i)
      if (std::fabs(w.Q[m][i]) > 1e-8) return true;
  return false;
}

}  // namespace

void superlink_step(main_state& ms) {
  if (ms.storm_sewer_on != 1 || !ms.superlink_active) return;
  if (!(std::fabs(ms.next_superlink_time - ms.now) < ms.time_tol)) return;
  if (ms.superlink_substeps > 0) ms.next_superlink_time = ms.now;
  if (ms.channel_on == 1) {
    for (int j = 1; j <= ms.n_sl_junctions; ++j) {
      if (ms.inlet_type[0][j] != outlet_to_channel) continue;
      const int link = ms.superlink_chan_con_link[j], node = ms.superlink_chan_con_node[j];
      ms.sjunc_chan_wse[j] = ms.chan_depth[node][link] + ms.bel[node][link];
    }
  }
  const double dt = seconds_between(ms.last_superlink_time, ms.now);
  if (dt > 0.0) {
    take_tile_inflow(ms, dt);
    superlink_step_volumes v;
    if (superlink_route(ms, ms.superlink_substeps, dt, v) < 0) return;
    ++ms.superlink_substeps;
    // Each volume booked once, where it moved.
    ms.vol_overland_to_superlink += v.taken;
    ms.vol_overland_to_superlink_total += v.taken;
    ms.vol_superlink_to_overland += v.given;
    ms.vol_superlink_to_overland_total += v.given;
    if (ms.drain) {
      ms.drain->drain_to_superlink_vol += v.from_drains;
      ms.drain->drain_to_superlink_total += v.from_drains;
    }
    ms.superlink_volume = ms.vol_drains_final = superlink_network_volume(ms);
    ms.superlink_wet = network_flows(ms, v) ? 1 : 0;
    ms.lake_flow_flag = outlet_into_lake(ms);
    if (v.reached_cell || v.reached_channel) open_runoff_period(ms);
    if (v.reached_channel) start_channel_routing(ms);
  }
  ms.last_superlink_time = ms.now;
  ms.next_superlink_time = ms.now + ms.superlink_interval_days;
}

}  // namespace kavro
