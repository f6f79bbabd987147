// The sediment part of a channel step, after the discharge booking: the
// cells along the channels hand their suspended and deposited sediment to
// the channel nodes (or, where overbank flow runs back onto the cells, take
// wash load from them), the sand and the wash load move, and the step's
// volumes go to the event and run budgets.
#include "channel/channel_sediment.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/link_kinds.h"
#include "framework/error_record.h"
#include "framework/event_volumes.h"
#include "framework/main_state.h"
#include "transport/channel_sediment_transport.h"

namespace kavro {
namespace {

constexpr int suspended = 2, deposited = 3;  // components of vol_sed

// Adds a lateral volume of class c to a node and to the delivery budgets.
void deliver(main_state& ms, int N, int L, int c, double U) {
  ms.qlat_sed[N][L][c] += U;
  ms.qlat_tot_sed[N][L][c] += U;
  ms.sed_to_chan_by_class[c] += U;
  ms.sed_to_chan_total[c] += U;
  if (!ms.sand[c]) {
    ms.sed_to_chan_by_class[0] += U;
    ms.sed_to_chan_total[0] += U;
  }
}

// Channel water spilling onto the cell takes wash load with it, never more
// than the node holds.
void withdraw_wash(main_state& ms, int N, int L, int cell, double p, double chan_dt) {
  const long w = static_cast<long>(L) * ms.max_nodes_per_link + N;
  auto& vol_sed = ms.ov_sed->vol_sed;
  for (int m = 1; m <= ms.n_fine_classes; ++m) {
    const int c = ms.ov_sed->sed_class[m];
    const double wanted = -p * ms.chan_dx[L] * ms.qlat[N][L] * ms.SS_node_conc_vol[w][m] * chan_dt;
    const double held = std::max(0.0, ms.ch_wash_vol[N][L][m] + ms.qlat_sed[N][L][c]);
    const double S = -std::min(std::max(wanted, 0.0), held);
    deliver(ms, N, L, c, S);
    vol_sed[cell][c][suspended] -= S;
  }
}

// The cell gives the share p of its suspended and deposited sediment.
bool give_cell_sediment(main_state& ms, int N, int L, int cell, double p) {
  auto& vol_sed = ms.ov_sed->vol_sed;
  for (int c = 1; c <= ms.sed_control.n_sed_classes; ++c) {
    double* v = vol_sed[cell][c];
    const double a = p * v[suspended], b = p * v[deposited];
    deliver(ms, N, L, c, a + b);
    v[suspended] -= a;
    v[deposited] -= b;
    if (std::isnan(ms.qlat_sed[N][L][c])) {
      std::printf("qlat_sed is not a number, exiting.\n");
      error_rec.code = already_printed_code;
      report_error(error_rec);
      return false;
    }
  }
  return true;
}

bool gather_lateral_sediment(main_state& ms, double chan_dt) {
  const int n = ms.sed_control.n_sed_classes;
  for (int L = 1; L <= ms.LINKS; ++L)
    for (int N = 1; N <= ms.og_nx1[L] && N <= ms.qlat_sed.size1(); ++N)
      for (int c = 1; c <= n; ++c) ms.qlat_sed[N][L][c] = 0.0;
  const bool spill_modes = ms.overland_backwater_on || ms.overbank_flow_on;
  for (int i = 1; i <= ms.n_gst_cells; ++i) {
    for (int k = 1; k <= ms.gst_ncellsingrid[i]; ++k) {
      const int L = ms.gst_link[i][k], N = ms.gst_node[i][k], cell = ms.gst_gnum[i][k];
      if (L < 1 || L > ms.LINKS || cell < 1 || cell > ms.n_cells) continue;
      const int lt = ms.ltype[L];
      // Lakes, structures and captured links take no lateral sediment; a
      // node the link no longer routes leaves the sediment on the cell.
      if (!is_ordinary_link(lt) || N < 1 || N > ms.nx[L]) continue;
      const double p = ms.gst_pct[i][k];
      const double q = ms.qlat[N][L];
      const bool mode = spill_modes || (lt & (overbank_bit | backwater_bit));
      if (mode && q < 1e-16) {
        if (ms.overbank_flow_on && q < -1e-16) withdraw_wash(ms, N, L, cell, p, chan_dt);
        continue;
      }
      if (ms.ov_depth[cell] >= 1e-16 && !give_cell_sediment(ms, N, L, cell, p)) return false;
    }
  }
  return true;
}

void book_step_totals(main_state& ms, double chan_dt) {
  for (int m = 1; m <= ms.n_sand_classes; ++m) {
    ms.vol_sand_to_chan_total += ms.sand_to_chan_step[m];
    ms.vol_sand_to_chan += ms.sand_to_chan_step[m];
  }
  std::fill(ms.sand_to_chan_step.begin(), ms.sand_to_chan_step.end(), 0.0);
  for (int m = 1; m <= ms.n_sand_classes + 1; ++m) {
    ms.vol_sand_out_total += chan_dt * ms.sand_out_rate[m];
    ms.vol_sand_out += chan_dt * ms.sand_out_rate[m];
  }
  const double wash = ms.wash_out_rate.empty() ? 0.0 : ms.wash_out_rate[0];
  ms.vol_washload_out_total += chan_dt * wash;
  ms.vol_washload_out += chan_dt * wash;
  ms.max_washload_rate = std::max(ms.max_washload_rate, wash);
}

// Sediment calibration: the wash load passing the sediment locations.
void track_sediment_locations(main_state& ms, double chan_dt) {
  if (!(ms.optimize_on && ms.optimize_sed_on && ms.in_sed_loc_on)) return;
  const int nf = ms.n_fine_classes;
  for (int i = 1; i <= ms.n_sed_locations; ++i) {
    if (i > ms.hyd_loc_volume.size() || i > ms.hyd_loc_max_q.size()) break;
    const long slot = static_cast<long>(ms.slink[i]) * ms.max_nodes_per_link + ms.snode[i];
    if (slot < 0 || slot > ms.qsmax.size1() || nf < 1) continue;
    for (int m = 1; m <= nf; ++m) ms.hyd_loc_volume[i] += chan_dt * ms.qsmax[slot][m];
    ms.hyd_loc_max_q[i] = std::max(ms.hyd_loc_max_q[i], ms.qsmax[slot][nf]);
  }
}

// Adds a lake's step volume of one class to its run twin (class, class 0
// of the lake, all lakes) and to the event's totals, which the step array
// keeps in its class-0 entries (the lake's and, at [0][0], all lakes'),
// then clears the step volume.
void move_to_run_total(dmat& step, dmat& run, int lake, int m) {
  const double v = step[lake][m];
  run[lake][m] += v;
  run[lake][0] += v;
  run[0][0] += v;
  step[lake][0] += v;
  step[0][0] += v;
  step[lake][m] = 0.0;
}

void book_lake_sediment(main_state& ms) {
  const int nf = ms.n_fine_classes, ns = ms.n_sand_classes;
  const int* cls = ms.ov_sed->sed_class.data();
  for (int j = 1; j <= ms.n_lakes; ++j) {
    for (int m = 1; m <= nf; ++m) {
      const int c = cls[m];
      const double in = ms.sed_vol_overland_to_lake[j][c];
      for (double* t : {&ms.GLOBAL_SS_vol_overland_to_lake[j][m], &ms.GLOBAL_SS_vol_overland_to_lake[j][0],
                        &ms.SS_vol_overland_to_lake[j][m], &ms.SS_vol_overland_to_lake[j][0]})
        *t += in;
      ms.vol_lake_sed_in_total += in;
      ms.vol_lake_sed_in += in;
      ms.vol_lake_sed_settled_total += ms.SS_vol_lake_settled[j][m];
      ms.vol_lake_sed_settled += ms.SS_vol_lake_settled[j][m];
      move_to_run_total(ms.SS_vol_lake_to_chan, ms.GLOBAL_SS_vol_lake_to_chan, j, m);
      move_to_run_total(ms.SS_vol_chan_to_lake, ms.GLOBAL_SS_vol_chan_to_lake, j, m);
      move_to_run_total(ms.SS_vol_lake_to_overland, ms.GLOBAL_SS_vol_lake_to_overland, j, m);
      move_to_run_total(ms.SS_vol_lake_settled, ms.GLOBAL_SS_vol_lake_settled, j, m);
    }
    for (int m = 1; m <= ns; ++m) {
      const double in = ms.sed_vol_overland_to_lake[j][cls[nf + m]];
      ms.tot_lake_depo_in[j] += in;
      ms.tot_lake_depo_in[0] += in;
      ms.event_lake_depo_in[j] += in;
      ms.event_lake_depo_in[0] += in;
    }
    for (int m = 1; m <= ns + 1; ++m) {
      double& v = ms.lake_depo_vol[j][m];
      ms.tot_lake_sand_in[j] += v;
      ms.tot_lake_sand_in[0] += v;
      ms.event_lake_sand_in[j] += v;
      ms.event_lake_sand_in[0] += v;
      v = 0.0;
    }
    for (int c = 1; c <= ms.sed_control.n_sed_classes; ++c) {
      double& v = ms.sed_vol_overland_to_lake[j][c];
      ms.GLOBAL_sed_vol_overland_to_lake[j][c] += v;
      ms.GLOBAL_sed_vol_overland_to_lake[j][0] += v;
      ms.GLOBAL_sed_vol_overland_to_lake[0][c] += v;
      ms.GLOBAL_sed_vol_overland_to_lake[0][0] += v;
      v = 0.0;
    }
  }
}

}  // namespace

bool chan_sediment_step(main_state& ms, double chan_dt) {
  if (ms.ov_sed_out_on != 1 || ms.sed_transport_mode != 1 || !ms.ov_sed || ms.qlat_sed.empty()) return true;
  if (!gather_lateral_sediment(ms, chan_dt)) return false;
  chan_sand_transport(ms, chan_dt);
  route_chan_suspended_sed(ms, chan_dt);
  for (int L = 1; L <= ms.LINKS; ++L)
    for (int N = 1; N <= ms.nx[L]; ++N) ms.qp_vol_sed[N][L] = 0.0;
  book_step_totals(ms, chan_dt);
  track_sediment_locations(ms, chan_dt);
  if (ms.lakes_on && ms.n_lakes >= 1 && !ms.SS_vol_lake.empty()) book_lake_sediment(ms);
  return true;
}

}  // namespace kavro
