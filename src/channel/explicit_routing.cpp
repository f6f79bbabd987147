// Explicit diffusive-wave routing of the channel network over one channel
// interval: sub-steps under a Courant limit and a levelling limit, each a
// predictor-corrector pass of node flows, continuity and section update,
// then the bookkeeping of the volumes that crossed the network's edges.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/channel_routing.h"
#include "channel/cross_sections.h"
#include "channel/link_kinds.h"
#include "channel/pipe_networks.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "input/time_series.h"
#include "subsurface/stream_exchange.h"

namespace kavro {
namespace {

// An ordinary link with nodes to route.
bool is_ordinary(const main_state& ms, int link) {
  return is_ordinary_link(ms.ltype[link]) && ms.nx[link] >= 1;
}

void say(const std::string& text) { print_and_log(run_log_file, text); }

int stop_route() {
  error_rec.code = already_printed_code;
  report_error(error_rec);
  return -1;
}

// Volumes of one continuity pass (m3).
struct continuity_volumes {
  double lat_in = 0;    // positive lateral volume
  double lat_out = 0;   // negative lateral volume (a negative number)
  double sources = 0;   // first-order inflow, POINTSOURCE series and nested-run stream inflow
};

// Area update of every node of every ordinary link from the node flows q.
continuity_volumes ex_continuity(main_state& ms, const dmat& q, dmat& a, double dt) {
  continuity_volumes out;
  const int links = ms.LINKS;
  const bool points = ms.chan_point_inputs_on && !ms.chan_point_q.empty();
  const double* xy_q = ms.xy_stream_q.empty() ? nullptr : ms.xy_stream_q.data();
  const bool series = !ms.stream_pointsource.empty();
  const bool pipes = !ms.pipe_outlet_junction.empty();
  for (int l = 1; l <= links; ++l) {
    if (!is_ordinary(ms, l)) continue;
    const int n = ms.nx[l];
    const double dx = ms.chan_dx[l];
    for (int j = 1; j <= n; ++j) {
      const double lat = dx * ms.qlat[j][l] * dt;
      if (lat > 0) out.lat_in += lat;
      else out.lat_out += lat;
      const double v0 = dx * a[j][l];
      double dv = lat;
      const bool held_outlet = ms.head_bound_on && l == links && j == n && j != 1;
      if (held_outlet) {
        dv = 0.0;
      } else if (j == 1 && ms.ndep[l] < 1) {
        dv += (ms.first_order_chan_q - q[1][l]) * dt;
        out.sources += ms.first_order_chan_q * dt;
      } else if (j == 1) {
        for (int k = 1; k <= ms.ndep[l]; ++k) {
          const int u = ms.uslinks[l][k];
          if (u > 0 && ms.nx[u] >= 1) dv += dt * q[ms.nx[u]][u];
        }
        dv -= dt * q[1][l];
      } else {
        dv += (q[j - 1][l] - q[j][l]) * dt;
      }
      if (held_outlet) continue;  // the boundary holds the outlet node's area
      if (points) dv += dt * ms.chan_point_q[static_cast<long>(l) * ms.max_nodes_per_link + j];
      if (xy_q) {  // stream boundary inflow of a nested run
        const double v = dt * xy_q[static_cast<long>(l) * ms.max_nodes_per_link + j];
        dv += v;
        out.sources += v;
      }
      if (pipes) dv += pipe_outlet_inflow(ms, l, j, dt);
      if (series && ms.stream_pointsource[j][l] > 0) {
        const double v = time_series_value_by_index(static_cast<int>(ms.stream_pointsource[j][l]), ms.now) * dt;
        dv += v;
        out.sources += v;
      }
      if (ms.stream_loss_on && !ms.qriv.empty()) {
        double& qr = ms.qriv[j][l];
        if (qr * dt * dx + dv + v0 < 0 && qr < 0) qr = dv < 0 ? -(dv + v0) / (dx * dt) : -v0 / (dx * dt);
        dv += dt * qr * dx;
      }
      a[j][l] = (dv + v0) / dx;
    }
  }
  return out;
}

void ensure_table(dmat& m, const main_state& ms) {
  if (m.size1() != ms.qp.size1() || m.size2() != ms.qp.size2()) m.allocate(ms.qp.size1(), ms.qp.size2());
}

template <class F>
void each_ordinary_node(main_state& ms, F f) {
  for (int l = 1; l <= ms.LINKS; ++l)
    if (is_ordinary(ms, l))
      for (int j = 1; j <= ms.nx[l]; ++j) f(j, l);
}

// Largest ratio of the volume a face moves in dt_sub to the volume that
// would level its two surfaces; see levelling_volume in the node flows.
double top_width(const main_state& ms, int node, int link) {
  const int lt = ms.ltype[link];
  const double y = std::max(ms.chan_depth[node][link], 0.0);
  if (lt & 4) return ms.bottom[node][ms.ldex[link]] + 2.0 * ms.sslope[node][ms.ldex[link]] * y;
  if (lt & 8) {
    const int t = ms.table_num[node][link];
    if (t < 1 || t > ms.n_xsec_tables) return 0.0;
    const int m = std::clamp(static_cast<int>(y / ms.ht_spc[t]), 1, std::max(ms.numhts[t], 1));
    return ms.xtw[m][t];
  }
  return 0.0;
}

double face_ratio(const main_state& ms, double q, int n1, int l1, int n2, int l2, double dt_sub) {
  if (std::fabs(q) <= 1e-16) return 0.0;
  const double s1 = top_width(ms, n1, l1) * ms.chan_dx[l1], s2 = top_width(ms, n2, l2) * ms.chan_dx[l2];
  if (s1 <= 0 || s2 <= 0) return 0.0;
  const double v = std::fabs(ms.yp[n1][l1] - ms.yp[n2][l2]) / (1.0 / s1 + 1.0 / s2);
  if (v <= 0) return 0.0;  // the cap of the node flows holds such a face at 0
  return std::fabs(q) * dt_sub / v;
}

// Courant and levelling control; -1 after an error stop, else 0.
int limit_substep(main_state& ms, double& dt_sub) {
  double c_max = 0.0, r_max = 0.0;
  for (int l = 1; l <= ms.LINKS; ++l) {
    if (!is_ordinary(ms, l)) continue;
    const double dx = ms.chan_dx[l];
    for (int j = 1; j <= ms.nx[l]; ++j) {
      double& a = ms.area[j][l];
      if (std::isnan(a)) {
        say(format_string("In ex_flow_route 1:  cross-sectional area is not a number at link %d node %d\n", l, j));
        a = 0.0;
        ms.yp[j][l] = ms.bel[j][l];
        return stop_route();
      }
      if (ms.yp[j][l] - ms.bel[j][l] < 0) {
        say(format_string("in ex_flow_route 2, negative depth at link %d node %d\n", l, j));
        say("program stopped.\n");
        return stop_route();
      }
      const double c = a > 1e-16 ? dt_sub / dx * std::fabs(ms.qp[j][l]) / a : 0.0;
      c_max = std::max(c_max, c);
      if (j < ms.nx[l]) r_max = std::max(r_max, face_ratio(ms, ms.qp[j][l], j, l, j + 1, l, dt_sub));
      else if (l != ms.LINKS && ms.dslink[l] > 0 && is_ordinary(ms, ms.dslink[l]))
        r_max = std::max(r_max, face_ratio(ms, ms.qp[j][l], j, l, 1, ms.dslink[l], dt_sub));
    }
  }
  const double limit = ms.max_courant_number > 0 ? ms.max_courant_number : 0.04;
  if (c_max >= limit) {
    dt_sub /= std::floor(c_max / limit + 1.0);
    if (dt_sub < 0.001) dt_sub = 0.0015;
  }
  if (r_max >= 1.0) {
    dt_sub /= std::floor(r_max + 1.0);
    if (dt_sub < 0.0015) dt_sub = 0.0015;
  }
  return 0;
}

// Moves the flows that crossed lake boundaries in the sub-step into the lakes.
void book_lakes(main_state& ms, double dt_sub) {
  for (int l = 1; l <= ms.LINKS; ++l) {
    const int lt = ms.ltype[l];
    if (is_captured_section(lt)) {
      const int lake = ms.lake2link[l];
      if (lake < 1) continue;
      for (int k = 1; k <= ms.ndep[l]; ++k) {
        const int u = ms.uslinks[l][k];
        if (u < 1 || is_captured_section(ms.ltype[u]) || (ms.ltype[u] & lake_bit) || ms.nx[u] < 1) continue;
        const double v = dt_sub * ms.qp[ms.nx[u]][u];
        ms.lake_volume[lake] += v;
        if (v < 0) ms.lake_out_dv[lake] -= v;
        else ms.lake_in_dv[lake] += v;
      }
    } else if (lt & lake_bit) {
      const int lake = ms.lake2link[l] > 0 ? ms.lake2link[l] : ms.ldex[l];
      const int d = ms.dslink[l];
      if (d > 0) {
        const double v = dt_sub * ms.qp[1][d];
        ms.lake_volume[lake] -= v;
        if (ms.qp[1][d] > 1e-16) ms.lake_out_dv[lake] += v;
        else if (ms.qp[1][d] < -1e-16) ms.lake_in_dv[lake] -= v;
      }
      for (int k = 1; k <= ms.ndep[l]; ++k) {
        const int u = ms.uslinks[l][k];
        if (u < 1 || is_captured_section(ms.ltype[u]) || ms.nx[u] < 1) continue;
        const double v = dt_sub * ms.qp[ms.nx[u]][u];
        ms.lake_volume[lake] += v;
        if (v < 0) ms.lake_out_dv[lake] -= v;
        else ms.lake_in_dv[lake] += v;
      }
    }
  }
}

// What one accepted sub-step moved across the network's edges (m3).
struct substep_volumes {
  double lat_in = 0;   // lateral inflow from the cells
  double lat_out = 0;  // lateral outflow onto the cells (a negative number)
  double sources = 0;  // first-order inflow and POINTSOURCE series
  double release = 0;  // scheduled releases of structures at the network's head
};

// The routing state of the ordinary nodes at the start of a sub-step, kept
// so that a failed attempt starts again from it.
void snapshot_routing_state(main_state& ms, bool loss, bool overbank) {
  each_ordinary_node(ms, [&](int j, int l) {
    ms.route_area_start[j][l] = ms.area[j][l];
    ms.qp_old[j][l] = ms.qp_last[j][l] = ms.qp_iter[j][l] = ms.qp[j][l];
    if (loss) ms.qriv_old[j][l] = ms.qriv[j][l];
    if (overbank) ms.qlat_old[j][l] = ms.qlat[j][l];
  });
}

void restore_routing_state(main_state& ms, bool loss, bool overbank) {
  each_ordinary_node(ms, [&](int j, int l) {
    ms.area[j][l] = ms.route_area_start[j][l];
    ms.qp[j][l] = ms.qp_last[j][l] = ms.qp_iter[j][l] = ms.qp_old[j][l];
    if (loss) ms.qriv[j][l] = ms.qriv_old[j][l];
    if (overbank) ms.qlat[j][l] = ms.qlat_old[j][l];
  });
}

enum class attempt_result {
  accepted,         // the sub-step holds; `vols` has what it moved
  retry,            // an area fell below zero: try again on half the step
  boundary_failed,  // a node-flow error, printed and reported
  section_failed,   // a section error, printed, code set
};

// One predictor-corrector attempt at a sub-step of dt_sub s from the state
// of its start: predicted areas from the last flows, flows from them, the
// corrector's mean flows and the continuity that moves the areas. Touches
// no run total: the caller books `vols` once the attempt is accepted.
attempt_result try_substep(main_state& ms, double dt_sub, int iter_limit, bool loss, substep_volumes& vols) {
  double change = 1.0;
  for (int iter = 0; change > 0.01 && iter < iter_limit;) {
    if (iter > 0) ex_section(ms, 1, ms.area);
    double predictor_release = 0.0;  // the corrector's releases are the ones that move water
    if (ex_boundary_flows(ms, ms.qp_last, ms.area, dt_sub, predictor_release) < 0)
      return attempt_result::boundary_failed;
    each_ordinary_node(ms, [&](int j, int l) {
      ms.area[j][l] = ms.area_iter[j][l] = ms.route_area_start[j][l];
      if (loss) ms.qriv[j][l] = ms.qriv_old[j][l];
    });
    ex_section(ms, 1, ms.area_iter);
    ex_continuity(ms, ms.qp_last, ms.area_iter, dt_sub);
    each_ordinary_node(ms, [&](int j, int l) {
      if (ms.area_iter[j][l] < 0) ms.area_iter[j][l] = 0.0;
    });
    ex_section(ms, 1, ms.area_iter);
    double release = 0.0;
    if (ex_boundary_flows(ms, ms.qp_iter, ms.area_iter, dt_sub, release) < 0)
      return attempt_result::boundary_failed;
    for (int l = 1; l <= ms.LINKS; ++l) {
      const int lt = ms.ltype[l];
      if (is_lake_like(lt)) continue;
      const int top = (lt & structure_bit) ? 2 : ms.nx[l];
      for (int j = 1; j <= top; ++j) {
        ms.qp[j][l] = (ms.qp_last[j][l] + ms.qp_iter[j][l]) * 0.5;
        if (loss) ms.qriv[j][l] = ms.qriv_old[j][l];
      }
    }
    const continuity_volumes c = ex_continuity(ms, ms.qp, ms.area, dt_sub);
    vols = substep_volumes{c.lat_in, c.lat_out, c.sources, release};
    change = 0.0;
    bool negative = false;
    each_ordinary_node(ms, [&](int j, int l) {
      change = std::max(change, std::fabs(ms.area[j][l] - ms.area_iter[j][l]));
      if (ms.area[j][l] < -1e-8) negative = true;
    });
    if (negative) return error_rec.code != 0 ? attempt_result::section_failed : attempt_result::retry;
    ++iter;
  }
  return error_rec.code != 0 ? attempt_result::section_failed : attempt_result::accepted;
}

// The seepage of the sub-step between the streams and the aquifer, per
// river cell into stream_gw_cell_vol. Each entry's share follows any cut
// the continuity put on its node's loss (qriv against qriv_old), so the
// cells get exactly what the nodes lost or gained.
void book_stream_seepage(main_state& ms, double dt_sub) {
  if (ms.gst_qriv.empty() || ms.stream_gw_cell_vol.empty()) return;
  const bool keep = ms.chan_contam_on && !ms.gst_qriv_vol.empty();
  for (int i = ms.n_gst_cells; i >= 1; --i)
    for (int e = ms.gst_ncellsingrid[i]; e >= 1; --e) {
      const int l = ms.gst_link[i][e], j = ms.gst_node[i][e];
      if (l < 1 || l > ms.LINKS || !is_ordinary_link(ms.ltype[l])) continue;
      double& q = ms.gst_qriv[i][e];
      if (j > ms.nx[l] || std::fabs(ms.qriv_old[j][l]) < 1e-16) q = 0.0;
      else q *= ms.qriv[j][l] / ms.qriv_old[j][l];
      const double v = ms.chan_dx[l] * q * dt_sub * ms.gst_pct[i][e];
      if (ms.gst_gnum[i][e] >= 1) ms.stream_gw_cell_vol[ms.gst_gnum[i][e]] += v;
      if (keep) ms.gst_qriv_vol[i][e] += v;
    }
}

// Books an accepted sub-step of dt_sub s: its edge volumes into the run
// totals, the lake boundaries, the seepage of lakes and streams, the
// volumes the constituents and sediment carry, and the outlet water into
// `outlet`.
void book_substep(main_state& ms, const substep_volumes& v, double dt_sub, double& outlet) {
  ms.vol_lat_into_chan_total += v.lat_in;
  ms.vol_lat_out_of_chan_total += v.lat_out;
  ms.vol_chan_point_sources_total += v.sources + v.release;
  ms.chan_release_vol += v.release;
  if (ms.lakes_on) book_lakes(ms, dt_sub);
  if (ms.lakes_on && ms.lake_loss_on && !ms.calc_loss.empty())
    for (int lake = 1; lake <= ms.n_lakes; ++lake)
      if (ms.calc_loss[lake] != 0) lake_seepage(ms, lake, dt_sub, ms.chan_contam_on == 1);
  if (ms.stream_loss_on && !ms.qriv.empty()) book_stream_seepage(ms, dt_sub);
  if (ms.chan_contam_on || ms.ov_sed_out_on) {
    for (int l = 1; l <= ms.LINKS; ++l) {
      if (is_lake_like(ms.ltype[l])) continue;
      for (int j = 1; j <= ms.nx[l]; ++j) {
        if (ms.chan_contam_on && !ms.qp_vol.empty()) ms.qp_vol[j][l] += dt_sub * ms.qp[j][l];
        if (ms.ov_sed_out_on && !ms.qp_vol_sed.empty()) ms.qp_vol_sed[j][l] += dt_sub * ms.qp[j][l];
        const long w = static_cast<long>(l) * ms.max_nodes_per_link + j;
        if (ms.chan_contam_on && ms.chan_point_inputs_on && !ms.chan_point_vol.empty())
          ms.chan_point_vol[w] += dt_sub * ms.chan_point_q[w];
      }
    }
  }
  const int links = ms.LINKS;
  outlet += dt_sub * ms.qp[ms.nx[links]][links];
  if (ms.optimize_on && !ms.optimize_sed_on)
    for (int i = 1; i <= ms.n_hyd_locations; ++i)
      ms.hyd_loc_volume[i] += dt_sub * ms.qp[ms.hnode[i]][ms.hlink[i]];
}

}  // namespace

int ex_flow_route(main_state& ms, double chan_dt) {
  ms.chan_outflow_vol = 0.0;
  ms.chan_release_vol = 0.0;
  if (chan_dt <= 1e-16 || ms.LINKS < 1) return 0;
  for (dmat* m : {&ms.route_area_start, &ms.area_iter, &ms.qp_old, &ms.qp_last, &ms.qp_iter, &ms.qlat_old,
                  &ms.qlat_org})
    ensure_table(*m, ms);
  if (ms.stream_loss_on) ensure_table(ms.qriv_old, ms);
  const bool overbank = ms.overbank_flow_on || ms.overbank_links_on;
  const int iter_limit = (overbank || ms.lakes_on || ms.chan_contam_on || ms.ov_sed_out_on) ? 2 : 1;
  const bool loss = ms.stream_loss_on && !ms.qriv.empty();
  if (ms.lakes_on && stream_capture(ms) < 0) return -1;

  const bool seepage = ms.stream_loss_on || ms.lake_loss_on;
  int exchange = 0;  // what the last seepage update found
  double remaining = chan_dt, dt_sub = chan_dt, outlet = 0.0;
  while (remaining > 1e-16) {
    if (limit_substep(ms, dt_sub) < 0) return -1;
    if (seepage) {
      const int stopped = error_rec.stop;
      exchange = stream_aquifer_exchange(ms);
      if (error_rec.stop && !stopped) return -1;  // a top-width table error, printed and reported
    }
    snapshot_routing_state(ms, loss, overbank);
    substep_volumes vols;
    for (;;) {  // a negative area retries the sub-step on half the step
      if (dt_sub < 0.001) {
        say("The channel routing time step is getting really small\n");
        say("less than 1/1000 of a second\n");
        say("Reduce the model time step and/or MAX_COURANT_NUMBER (default=0.04) \n");
        say("Program stopped.\n");
        return stop_route();
      }
      remaining -= dt_sub;
      if (remaining <= 0.001) {
        dt_sub += remaining;
        remaining = 0.0;
      }
      const attempt_result r = try_substep(ms, dt_sub, iter_limit, loss, vols);
      if (r == attempt_result::boundary_failed) return -1;
      if (r == attempt_result::section_failed) return stop_route();
      if (r == attempt_result::accepted) break;
      remaining += dt_sub;
      restore_routing_state(ms, loss, overbank);
      dt_sub *= 0.5;
      ex_section(ms, 1, ms.area);
    }
    each_ordinary_node(ms, [&](int j, int l) {
      if (ms.area[j][l] < 0) ms.area[j][l] = 0.0;
    });
    ex_section(ms, 1, ms.area);
    if (error_rec.code != 0) return stop_route();
    book_substep(ms, vols, dt_sub, outlet);
  }
  ms.chan_outflow_vol = outlet;
  return exchange;
}

}  // namespace kavro
