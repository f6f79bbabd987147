// The drain network's time-loop step: what its grate inlets and tiles take
// in passes at once down the links to the outlets, into channel nodes, onto
// cells and into superjunctions.
#include <cmath>

#include "channel/channel_steps.h"
#include "channel/pipe_hydraulics.h"
#include "channel/pipe_networks.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/run_clock.h"
#include "framework/readers.h"
#include "subsurface/tile_exchange.h"

namespace kavro {
namespace {

void say(const std::string& text) { print_and_log(run_log_file, text); }

int nan_stop(const std::string& first, const char* second) {
  say(first);
  say(second);
  error_rec.code = 300;
  report_error(error_rec);
  return -1;
}

tile_network_view drain_tiles(drain_network& d) {
  tile_network_view v;
  v.n_junctions = d.n_junctions;
  v.n_links = d.n_links;
  v.nnodes = &d.nnodes;
  v.node_gnum = &d.node_gnum;
  v.node_invert = &d.slink_node_Zinv;
  v.node_depth = &d.slink_node_depth;
  v.pipe_length = &d.pipe_dx;
  v.diameter = &d.diameter;
  v.spacing = &d.spacing;
  v.conductivity = &d.pipe_conductivity;
  v.multiplier = &d.multiplier;
  v.gpi_num_cells = d.gpi_num_cells;
  v.gpi_ncellsingrid = &d.gpi_ncellsingrid;
  v.gpi_link = &d.gpi_link;
  v.gpi_node = &d.gpi_node;
  v.gpi_gnum = &d.gpi_gnum;
  v.gpi_pct = &d.gpi_pct;
  v.cell_tile_flow = &d.drain_Q_tile_grid;
  v.pipe_tile_flow = &d.drain_tile_flow;
  return v;
}

}  // namespace

int drain_flows(drain_network& d, double dt, dvec& ov_depth, double cell_size, int max_nodes_per_link,
                int high_head_release_on, double& taken) {
  const double cell_area = cell_size * cell_size;
  taken = 0.0;
  // What an inlet exchanged: taken from the cell, or released onto it and
  // counted against `junction`.
  const auto exchanged = [&](long c, double v, int junction) {
    d.cell_vol[c] += v;
    if (v > 0.0) taken += v;
    if (v < -1e-16) {
      ov_depth[c] -= v / cell_area;
      d.junc_ov_vol[junction] -= v;
      d.ov_flow_started = 1;
    }
  };
  // 1. Junction inlets (a junction cell must hold more than 1e-8 m).
  for (int i = 1; i <= d.n_junctions; ++i) {
    d.junc_flow[i] = 0.0;
    const long c = d.drain_junc_gnum[i];
    if (c < 1 || !(ov_depth[c] > 1e-8)) continue;
    double v = 0.0;
    d.junc_flow[i] = inlet_exchange(d.inlet_type[0][i], high_head_release_on, d.junc_head[i], d.junc_ground_elev[i],
                                    d.junc_area[i], dt, ov_depth, c, cell_area, d.junc_grate_side[i],
                                    d.junc_grate_dia[i], v);
    exchanged(c, v, i);
  }
  // 2. Tile inflow of each link's pipes at its upstream junction.
  if (d.tile_result != 0 && !d.drain_tile_flow.empty()) {
    for (int l = 1; l <= d.n_links; ++l) {
      for (int k = 1; k <= d.nnodes[l]; ++k) {
        d.junc_flow[d.us_junc[l]] += d.drain_tile_flow[k][l];
        d.drain_tile_flow[k][l] = 0.0;
      }
    }
  }
  // 3. Interior node inlets (a node cell needs only more than 1e-16 m).
  for (int l = 1; l <= d.n_links; ++l) {
    d.Q_node[1][l] = 0.0;
    for (int k = 2; k <= d.nnodes[l]; ++k) {
      d.Q_node[k][l] = 0.0;
      const long c = d.node_gnum[k][l];
      if (c < 1 || !(ov_depth[c] > 1e-16)) continue;
      double v = 0.0;
      d.Q_node[k][l] = inlet_exchange(d.inlet_type[k][l], high_head_release_on,
                                      d.slink_node_depth[k][l] + d.slink_node_Zinv[k][l], d.node_ground_elev[k][l],
                                      d.As[k][l], dt, ov_depth, c, cell_area, d.grate_sidelength_node[k][l],
                                      d.grate_dia_node[k][l], v);
      exchanged(c, v, d.ds_junc[l]);
    }
  }
  // 4. Routing: links in number order carry each junction's flow, and what
  // the link's nodes took in, to its downstream junction.
  for (int l = 1; l <= d.n_links; ++l) {
    double q = d.junc_flow[d.us_junc[l]];
    for (int k = 2; k <= d.nnodes[l]; ++k) q += d.Q_node[k][l];
    d.junc_flow[d.ds_junc[l]] += q;
    d.junc_flow[d.us_junc[l]] = 0.0;
  }
  // 5. Outlets.
  for (int i = 1; i <= d.n_junctions; ++i) {
    const double q = d.junc_flow[i], v = dt * q;
    switch (d.inlet_type[0][i]) {
      case outlet_to_channel: {
        const long slot = static_cast<long>(d.chan_con_link[i]) * max_nodes_per_link + d.chan_con_node[i];
        if (std::isnan(v))
          return nan_stop(format_string("Flow from drain junction %ld to channel node %ld is NaN \n",
                                        static_cast<long>(i), slot),
                          "Check your drain network \n \n");
        d.junc_chan_vol[i] += v;
        if (v > 1e-8) d.chan_flow_started = 1;
        if (v < -1e-8) {
          say(format_string("Flow from drain junction %ld to channel node %ld is negative \n", static_cast<long>(i),
                            slot));
          say("Check your drain network \n \n");
        }
        break;
      }
      case outlet_to_cell: {
        const long c = d.drain_junc_gnum[i];
        if (std::isnan(v))
          return nan_stop(format_string("Flow from drainage junction %ld to overland cell %ld is NaN \n",
                                        static_cast<long>(i), c),
                          "Check your drainage network \n \n");
        if (v >= 0.0) {
          ov_depth[c] += v / cell_area;
          d.junc_ov_vol[i] += v;
        } else {
          say(format_string("Flow from drain junction %ld to overland cell %ld is negative \n", static_cast<long>(i),
                            c));
          say("Check your drain network \n \n");
        }
        if (v > 1e-16) d.ov_flow_started = 1;
        break;
      }
      case outlet_to_superlink:
        if (std::isnan(v))
          return nan_stop(format_string("Flow from drainage junction %ld to superlink junction %ld is NaN \n",
                                        static_cast<long>(i), static_cast<long>(d.superlink_junc[i])),
                          "Check both your drainage network \n \n");
        d.q_to_superlink[d.superlink_junc[i]] += v;
        break;
      default:
        break;
    }
  }
  return 0;
}

void tile_drain_step(main_state& ms) {
  if (ms.storm_drain_on != 1 || !ms.drain) return;
  if (!(std::fabs(ms.next_drain_time - ms.now) < ms.time_tol)) return;
  drain_network& d = *ms.drain;
  if (ms.channel_on == 1) {
    for (int i = 1; i <= d.n_junctions; ++i) {
      if (d.inlet_type[0][i] != outlet_to_channel) continue;
      const int link = d.chan_con_link[i], node = d.chan_con_node[i];
      d.junc_chan_wse[i] = ms.chan_depth[node][link] + ms.bel[node][link];
    }
  }
  const double dt = seconds_between(ms.last_drain_time, ms.now);
  if (d.tile_drains_on) {
    d.tile_result = 0;
    if (ms.water_table_on) {
      tile_network_view view = drain_tiles(d);
      d.tile_result = gw_tile_exchange(ms, view);
    }
    for (long c = 1; c <= d.drain_Q_tile_grid.size(); ++c) {
      const double v = dt * d.drain_Q_tile_grid[c];
      ms.vol_tile_grid[c] += v;
      d.gw_to_drain_vol += v;
      d.gw_to_drain_total += v;
      d.drain_Q_tile_grid[c] = 0.0;
    }
  }
  d.ov_flow_started = d.chan_flow_started = 0;
  if (dt > 0.0) {
    double taken = 0.0;
    if (drain_flows(d, dt, ms.ov_depth, ms.dx, ms.max_nodes_per_link, ms.high_head_release_on, taken) < 0) return;
    // Each volume booked once: inlet takes here, releases and 888 returns
    // here, channel volumes by the channel routing that takes them, the
    // superjunctions' share by the superlink step that takes it.
    d.ov_to_drain_vol += taken;
    d.ov_to_drain_total += taken;
    for (int i = 1; i <= d.n_junctions; ++i) {
      d.drain_to_ov_vol += d.junc_ov_vol[i];
      d.drain_to_ov_total += d.junc_ov_vol[i];
      d.junc_ov_vol[i] = 0.0;
    }
    for (double& v : d.cell_vol) v = 0.0;
  }
  ms.last_drain_time = ms.now;
  ms.next_drain_time = ms.now + ms.drain_interval_days;
  if (d.ov_flow_started) open_runoff_period(ms);
  if (d.chan_flow_started) start_channel_routing(ms);
  if (ms.long_term_on && !ms.runoff_active && !ms.ov_faces_flowing && !ms.rain_active && d.tile_result == 0) {
    for (int i = 1; i <= d.n_junctions; ++i)
      if (d.junc_flow[i] > 1e-8) return;
    ms.drain_interval_days = ms.precip_period;
    ms.next_drain_time = ms.precip_period_end;
    d.started = 0;
  }
}

}  // namespace kavro
