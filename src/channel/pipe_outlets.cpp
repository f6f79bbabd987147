// Where the pipe networks meet the channels and the surface: the outlets of
// both networks at each channel node, the water they pour into the nodes
// during a routing interval and its booking afterwards, and the runoff and
// channel schedules that pipe water starts.
#include <cmath>

#include "channel/pipe_networks.h"
#include "framework/alloc.h"
#include "framework/event_volumes.h"
#include "framework/main_state.h"

namespace kavro {
namespace {

long node_slot(const main_state& ms, long link, long node) { return link * ms.max_nodes_per_link + node; }

// The volume an outlet entry holds: superjunction j as j, drain junction j as -j.
double outlet_volume(const main_state& ms, int entry) {
  if (entry > 0) return ms.superlink_chan_vol[entry];
  return ms.drain->junc_chan_vol[-entry];
}

// True when the routing adds water to the node: a node of a link that routes
// its own nodes, not (yet) held by a channel lake.
bool routed_node(const main_state& ms, int link, int node) {
  return link >= 1 && link <= ms.LINKS && is_ordinary_link(ms.ltype[link]) && node >= 1 && node <= ms.nx[link];
}

// The channel lake that now holds a node its link gave up, 0 when none.
int lake_holding(const main_state& ms, int link, int node) {
  if (!ms.lakes_on || link < 1 || link > ms.LINKS || node <= ms.nx[link]) return 0;
  const int lake = ms.nx[link] == 0 ? ms.lake2link[link] : ms.dslink[link] > 0 ? ms.lake2link[ms.dslink[link]] : 0;
  return lake >= 1 && lake <= ms.n_lakes ? lake : 0;
}

// Books and empties one outlet's volume once the routing has taken it;
// returns what was booked.
double settle(main_state& ms, int link, int node, double& volume) {
  if (volume == 0.0) return 0.0;
  const double v = volume;
  if (!routed_node(ms, link, node)) {
    const int lake = lake_holding(ms, link, node);
    if (lake == 0) return 0.0;  // kept until a routing takes it
    ms.lake_volume[lake] += v;
    ms.lake_in_dv[lake] += v;
  }
  volume = 0.0;
  return v;
}

}  // namespace

void index_pipe_outlets(main_state& ms) {
  if (ms.channel_on != 1 || ms.node_link_dim < 1) return;
  const long slots = ms.node_link_dim;
  const auto each_outlet = [&](auto f) {
    if (ms.storm_sewer_on && !ms.superlink_chan_con_link.empty())
      for (int j = 1; j <= ms.n_sl_junctions; ++j)
        if (ms.inlet_type[0][j] == outlet_to_channel)
          f(node_slot(ms, ms.superlink_chan_con_link[j], ms.superlink_chan_con_node[j]), j);
    if (ms.storm_drain_on && ms.drain && !ms.drain->chan_con_link.empty())
      for (int j = 1; j <= ms.drain->n_junctions; ++j)
        if (ms.drain->inlet_type[0][j] == outlet_to_channel)
          f(node_slot(ms, ms.drain->chan_con_link[j], ms.drain->chan_con_node[j]), -j);
  };
  long count = 0;
  each_outlet([&](long, int) { ++count; });
  alloc_ivec(ms.pipe_outlet_first, slots + 1, "pipe_outlet_first");
  if (count == 0) {
    for (long s = 0; s <= slots + 1; ++s) ms.pipe_outlet_first[s] = 1;
    ms.pipe_outlet_junction.reset();
    return;
  }
  alloc_ivec(ms.pipe_outlet_junction, count, "pipe_outlet_junction");
  // Counts per slot, then their running sums as first entries.
  each_outlet([&](long slot, int) { ++ms.pipe_outlet_first[slot]; });
  long next = 1;
  for (long s = 0; s <= slots + 1; ++s) {
    const long n = ms.pipe_outlet_first[s];
    ms.pipe_outlet_first[s] = static_cast<int>(next);
    next += n;
  }
  ivec fill{"pipe_outlet_fill"};
  alloc_ivec(fill, slots + 1, "pipe_outlet_fill");
  each_outlet([&](long slot, int entry) {
    ms.pipe_outlet_junction[ms.pipe_outlet_first[slot] + fill[slot]] = entry;
    ++fill[slot];
  });
}

double pipe_outlet_inflow(const main_state& ms, int link, int node, double dt) {
  if (ms.pipe_outlet_junction.empty()) return 0.0;
  const long slot = node_slot(ms, link, node);
  if (slot < 0 || slot >= ms.pipe_outlet_first.size()) return 0.0;
  const double share = ms.chan_dt > 0.0 ? dt / ms.chan_dt : 1.0;
  double v = 0.0;
  for (int e = ms.pipe_outlet_first[slot]; e < ms.pipe_outlet_first[slot + 1]; ++e)
    v += outlet_volume(ms, ms.pipe_outlet_junction[e]) * share;
  return v;
}

void book_pipe_outflows(main_state& ms) {
  if (ms.storm_sewer_on && !ms.superlink_chan_vol.empty()) {
    double sum = 0.0;
    for (int j = 1; j <= ms.n_sl_junctions; ++j)
      if (ms.inlet_type[0][j] == outlet_to_channel)
        sum += settle(ms, ms.superlink_chan_con_link[j], ms.superlink_chan_con_node[j], ms.superlink_chan_vol[j]);
    ms.vol_superlink_to_channel += sum;
    ms.vol_superlink_to_channel_total += sum;
    for (double& v : ms.superlink_node_slot_vol) v = 0.0;
  }
  if (ms.storm_drain_on && ms.drain && !ms.drain->junc_chan_vol.empty()) {
    drain_network& d = *ms.drain;
    double sum = 0.0;
    for (int j = 1; j <= d.n_junctions; ++j)
      if (d.inlet_type[0][j] == outlet_to_channel)
        sum += settle(ms, d.chan_con_link[j], d.chan_con_node[j], d.junc_chan_vol[j]);
    d.drain_to_chan_vol += sum;
    d.drain_to_chan_total += sum;
  }
}

void open_runoff_period(main_state& ms) {
  if (ms.runoff_active) return;
  ms.runoff_active = 1;
  ms.precip_period_start = ms.now;
  ms.precip_period_end = ms.now + ms.precip_period;
  if (ms.ov_contam_on) {
    ms.last_ov_contam_time = ms.now;
    ms.next_ov_contam_time = ms.precip_period_end;
  }
}

void start_channel_routing(main_state& ms) {
  if (ms.channel_on != 1 || ms.chan_active) return;
  ms.chan_active = 1;
  if (std::fabs(ms.next_chan_time - ms.now) < ms.time_tol) return;  // it routes in this pass
  ms.last_chan_time = ms.now;
  ms.chan_interval_days = ms.precip_period;
  ms.chan_interval = ms.precip_interval;
  ms.next_chan_time = ms.now + ms.chan_interval_days;
}

}  // namespace kavro
