// The time-loop step of channel routing: lateral exchange with the cells,
// lake bookkeeping and extents, the outlet head boundary, the explicit
// routing of the network, and the outlet and point-source volumes.
#include <algorithm>
#include <cmath>

#include "channel/channel_routing.h"
#include "channel/channel_sediment.h"
#include "channel/channel_steps.h"
#include "channel/cross_sections.h"
#include "channel/pipe_networks.h"
#include "framework/error_record.h"
#include "framework/event_volumes.h"
#include "framework/main_state.h"
#include "framework/run_clock.h"
#include "framework/parallel_sum.h"
#include "output/xy_boundary.h"
#include "overland/lake_extent.h"

namespace kavro {
namespace {

constexpr double seconds_per_day = 86400.0;

void book_aquifer_exchange(main_state& ms) {
  if (ms.gw_simulation_on) return;
  if (ms.stream_loss_on && !ms.stream_gw_cell_vol.empty()) {
    for (long c = 1; c <= ms.stream_gw_cell_vol.size(); ++c) {
      double& v = ms.stream_gw_cell_vol[c];
      if (v < 0) ms.vol_chan_to_gw -= v, ms.vol_river_to_gw_total -= v;
      else ms.vol_gw_to_chan += v, ms.vol_gw_to_river_total += v;
      v = 0.0;
    }
  }
  if (ms.lakes_on && ms.lake_loss_on && !ms.lake_source.empty()) {
    for (long c = 1; c <= ms.lake_source.size() && c <= ms.lake_mask.size(); ++c) {
      if (ms.lake_mask[c] <= 0) continue;
      double& v = ms.lake_source[c];
      if (v < 0) ms.vol_lakes_to_gw -= v, ms.vol_lakes_to_gw_total -= v;
      else ms.vol_gw_to_lakes += v, ms.vol_gw_to_lakes_total += v;
      v = 0.0;
    }
  }
}

// Water in the links that route on their own (not lakes, structures or
// captured links) and whether any of their nodes carries a discharge.
struct network_water {
  double volume = 0.0;
  bool flowing = false;
};

network_water free_channel_water(const main_state& ms) {
  network_water w;
  for (long l = 1; l <= ms.LINKS; ++l) {
    if (!is_ordinary_link(ms.ltype[l])) continue;
    const long n = std::min<long>(ms.lakes_on ? ms.og_nx1[l] : ms.nx[l], ms.area.size1());
    for (long j = 1; j <= n; ++j) {
      w.volume += ms.area[j][l] * ms.chan_dx[l];
      if (std::fabs(ms.qp[j][l]) > 1e-16) w.flowing = true;
    }
  }
  return w;
}

// The interval of a slow exchange: `start` halved until it is at most five
// model steps; constituents need the model step itself.
double slow_exchange_interval(const main_state& ms, double start) {
  if (ms.chan_contam_on) return ms.dt;
  double v = start;
  while (v > 5.0 * ms.dt) v *= 0.5;
  return v;
}

}  // namespace

bool book_lake_exchange(main_state& ms, bool outflow_needs_water) {
  if (!ms.lakes_on) return false;
  bool active = false;
  const long n = std::min<long>(ms.n_lakes, std::min(ms.lake_in_dv.size(), ms.lake_out_dv.size()));
  for (long k = 1; k <= n; ++k) {
    double& in = ms.lake_in_dv[k];
    double& out = ms.lake_out_dv[k];
    if (in > 1e-16 || (out > 1e-16 && (!outflow_needs_water || ms.lake_volume[k] > 1e-8))) active = true;
    ms.vol_lake_inflow_total += in;
    ms.vol_overland_to_lake += in;
    ms.vol_lake_outflow_total += out;
    ms.vol_overland_from_lake += out;
    in = out = 0.0;
  }
  return active;
}

// Between rain events of a long-term run the channel interval follows what
// still moves water: lakes exchanging with cells, lake seepage or pipe flow
// into lakes, the aquifer feeding the streams, lakes that merely hold water.
void adapt_channel_interval(main_state& ms) {
  if (!ms.long_term_on || ms.runoff_active || ms.ov_faces_flowing || ms.rain_active || ms.superlink_wet) return;
  if (ms.lakes_on == 1) {
    ms.lakes_hold_water = 0;
    for (long k = 1; k <= ms.n_lakes; ++k)
      if (ms.lake_volume[k] > 1e-16) ms.lakes_hold_water = 1;
  }
  const network_water w = free_channel_water(ms);
  ms.vol_channel_final = w.volume;
  if (0.01 * ms.vol_precip <= w.volume && ms.vol_precip >= 1e-16 && w.flowing) return;
  if (ms.chan_lakes_active) {
    ms.chan_interval = ms.dt;
  } else if (ms.lake_overland_exchange_on) {
    ms.chan_interval = 5.0 * ms.dt;
  } else if ((ms.lake_loss_on && ms.lakes_hold_water) || ms.lake_flow_flag == 1) {
    ms.chan_interval = slow_exchange_interval(ms, ms.gw_simulation_on ? ms.chan_interval_base : 5.0 * ms.dt);
  } else if (ms.chan_gw_exchange_state == 1) {
    ms.chan_interval = slow_exchange_interval(ms, ms.chan_interval_base);
  } else if (ms.lakes_hold_water) {
    ms.chan_interval = 3600.0;
  } else {
    if (ms.qout < 1e-8) {
      ms.chan_interval_days = ms.precip_period;
      ms.next_chan_time = ms.precip_period_end;
      ms.chan_active = 0;
    }
    return;
  }
  ms.chan_interval_days = ms.chan_interval / seconds_per_day;
  ms.next_chan_time = ms.now + ms.chan_interval_days;
}

void chan_route_step(main_state& ms) {
  if (!(std::fabs(ms.next_chan_time - ms.now) < ms.time_tol) || ms.snow_calibrate_on == 1) return;
  if (ms.channel_on != 1 && ms.chan_mesh_on != 1) return;
  const double since = ms.now - ms.last_chan_time;
  // To the millisecond, as the overland step takes its span.
  ms.chan_dt = since > 1e-6 ? seconds_between(ms.last_chan_time, ms.now) : ms.chan_interval;
  const double chan_dt = ms.chan_dt;
  if (!ms.area_old.empty())
    for (int l = 1; l <= ms.LINKS; ++l)
      for (int j = 1; j <= ms.nx[l]; ++j) ms.area_old[j][l] = ms.area[j][l];

  // Lumped-model outflow reaches the channels whenever its model runs.
  if (ms.ov_cells_wet || ms.overbank_flow_on || ms.overbank_links_on || ms.sacramento_on || ms.conceptual_gw_on) {
    const lateral_exchange_volumes traded = chan_lateral_inflow(ms, chan_dt);
    ms.vol_ov_head_bound_in_total += traded.into_channel;
    ms.vol_ov_head_bound_out_total += traded.onto_cells;
    // Already in the routing's lateral inflow: this total only tells the
    // lumped models' share, for their own balance.
    ms.vol_lumped_to_chan_total += traded.from_lumped;
    ms.chan_active = 1;
    if (error_rec.code != 0) return;
  }
  if (ms.lakes_on == 1) {
    ms.chan_active = 1;
    if (book_lake_exchange(ms, false)) ms.lake_overland_exchange_on = 1;
    lake_extent_update(ms);
    if (error_rec.code != 0) return;
    if (ms.new_flooded_cells) {
      for (long c = 1; c <= ms.lake_mask.size(); ++c)
        if (ms.lake_mask[c] > 0) ms.new_flooded_grid[c] = 1;
      ms.new_flooded_cells = 0;
    }
    if (book_lake_exchange(ms, false)) ms.lake_overland_exchange_on = 1;
  }

  ms.chan_outflow_vol = 0.0;
  ms.chan_release_vol = 0.0;
  set_xy_stream_inflows(ms);
  if (ms.channel_on == 1 && ms.chan_active == 1) {
    ms.head_bound_q_base = 0.0;
    if (ms.head_bound_on && ms.bound_ts_on) {
      const int L = ms.LINKS, n = ms.nx[L];
      const double before = ms.area[n][L];
      apply_stream_head_boundary(ms);
      ex_section(ms, 2, ms.area);
      if (error_rec.code != 0) return;
      ms.head_bound_q_base = (before - ms.area[n][L]) * ms.chan_dx[L] / chan_dt;
    }
    const int state = ex_flow_route(ms, chan_dt);
    if (state < 0) return;
    ms.chan_gw_exchange_state = state;
    ms.vol_lat_inflow_total = ms.vol_lat_into_chan_total + ms.vol_lat_out_of_chan_total;
    ++ms.chan_iter_count;
    ms.qout = ms.qp[ms.nx[ms.LINKS]][ms.LINKS];
    book_pipe_outflows(ms);
    if (!ms.max_yp.empty()) {
      for (int l = 1; l <= ms.LINKS; ++l) {
        if ((ms.ltype[l] & 8) == 0 || (ms.ltype[l] & 2) == 0) continue;
        const int b = ms.bplink[l];
        const int n = ms.nx[l];
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
        for (int i = 1; i <= n; ++i) ms.max_yp[b][i] = std::max(ms.max_yp[b][i], ms.yp[i][l]);
      }
    }
  }
  if (ms.chan_point_inputs_on && !ms.chan_point_q.empty()) {
    for (int l = 1; l <= ms.LINKS; ++l)
      for (int j = 1; j <= ms.nx[l]; ++j) {
        const long w = static_cast<long>(l) * ms.max_nodes_per_link + j;
        ms.vol_chan_point_sources_total += chan_dt * ms.chan_point_q[w];
        if (ms.chan_contam_on && !ms.chan_point_vol.empty()) {
          for (int c = 1; c <= ms.n_constituents; ++c)
            ms.chan_point_mass_flux[c][w] += ms.chan_point_conc[c][w] * ms.chan_point_vol[w];
          ms.chan_point_vol[w] = 0.0;
        }
      }
  }
  // The scheduled releases of the routing are booked by ex_flow_route.
  ms.chan_lakes_active = 0;
  if (ms.lakes_on && book_lake_exchange(ms, true)) ms.chan_lakes_active = 1;
  book_aquifer_exchange(ms);
  if (ms.flood_stream_on && !ms.yp_max_flood.empty())
    for (int l = 1; l <= ms.LINKS; ++l)
      for (int j = 1; j <= ms.nx1[l]; ++j) ms.yp_max_flood[j][l] = std::max(ms.yp_max_flood[j][l], ms.yp[j][l]);
  if (ms.channel_on) {
    ms.vol_discharge_acc += ms.chan_outflow_vol;
    ms.vol_discharge_total += ms.chan_outflow_vol;
  } else {
    ms.vol_discharge_acc += chan_dt * ms.qout;
    ms.vol_discharge_total += chan_dt * ms.qout;
  }
  if (!chan_sediment_step(ms, chan_dt)) return;
  if (!ms.qlat.empty())
    for (int l = 1; l <= ms.LINKS; ++l)
      for (int j = 1; j <= ms.nx[l]; ++j) ms.qlat[j][l] = 0.0;

  ms.last_chan_time = ms.now;
  ms.next_chan_time = ms.now + ms.chan_interval_days;
  ++ms.chan_step_counter;
  adapt_channel_interval(ms);
}

}  // namespace kavro
