// The superlink solver: one implicit step of the pipe network. Within each
// superlink the momentum equation of every reach and the continuity equation
// of every node are reduced, by a forward and a backward recurrence, to two
// relations between the flows at the superlink's ends and the heads of its
// two superjunctions. The continuity equations of the superjunctions then
// form one linear system for their heads; the node depths and reach flows
// follow from the recurrences. Water enters through the grate inlets of
// junctions and nodes (and from the drains and tiles) and leaves at outlets
// into channel nodes (999) and onto cells (888).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "channel/pipe_hydraulics.h"
#include "channel/pipe_networks.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/readers.h"

namespace kavro {
namespace {

constexpr double g = 9.81;
constexpr double depth_floor = 1e-4;  // least node depth (m): a pipe never runs quite dry

void say(const std::string& text) { print_and_log(run_log_file, text); }

// Makes the working arrays and the starting state: still water at the
// inverts, every node 1e-4 m deep.
void make_work(main_state& ms) {
  superlink_work& w = ms.sl_work;
  const long nl = std::max(ms.n_sl_links, 1), nj = std::max(ms.n_sl_junctions, 1);
  const long nodes = ms.superlink_max_pipes + 2;
  for (dmat* m : {&w.a, &w.b, &w.c, &w.D, &w.E, &w.O, &w.X, &w.Y, &w.Z, &w.T, &w.U, &w.V, &w.W, &w.P, &w.ldepth,
                  &w.Q, &w.A, &w.hyd_R, &w.top_width, &w.wet_per, &w.n_veloc, &w.l_veloc, &w.depth})
    m->allocate(nl, nodes);
  for (dvec* v : {&w.Q_u, &w.Q_d, &w.z_u, &w.z_d, &w.alpha_u, &w.beta_u, &w.chi_u, &w.alpha_d, &w.beta_d, &w.chi_d,
                  &w.h_u, &w.e_u, &w.f_u, &w.h_d, &w.e_d, &w.f_d, &w.storage_change})
    v->allocate(nl);
  w.numnodes.allocate(nl);
  w.end_depths.allocate(nl, 3);
  for (dvec* v : {&w.junc_inflow, &w.bound_head, &w.rhs, &w.scale}) v->allocate(nj);
  w.pivot.allocate(nj);
  w.F.allocate(nj, nj);
  // Superlinks ending at each junction, for the outlets.
  w.end_first.allocate(nj + 1);
  w.end_list.allocate(nl);
  for (int m = 1; m <= ms.n_sl_links; ++m) ++w.end_first[ms.ds_sjunc[m]];
  int next = 1;
  for (int j = 1; j <= ms.n_sl_junctions + 1; ++j) {
    const int n = w.end_first[j];
    w.end_first[j] = next;
    next += n;
  }
  for (int m = 1, k = 0; m <= ms.n_sl_links; ++m, k = 0) {
    const int j = ms.ds_sjunc[m];
    while (w.end_list[w.end_first[j] + k] != 0) ++k;
    w.end_list[w.end_first[j] + k] = m;
  }
  for (int j = 1; j <= ms.n_sl_junctions; ++j) {
    if (ms.bound[j]) w.bound_head[j] = ms.sjunc_invert[j];
    ms.sjunc_head[j] = ms.sjunc_invert[j];
  }
  for (int m = 1; m <= ms.n_sl_links; ++m) {
    const int n = ms.superlink_cnodes[m];
    w.numnodes[m] = n;
    w.z_u[m] = ms.slink_node_Zinv[1][m];
    w.z_d[m] = ms.slink_node_Zinv[n + 1][m];
    for (int k = 1; k <= n + 1; ++k) {
      ms.slink_node_depth[k][m] = depth_floor;
      ms.Q_node[k][m] = 0.0;
    }
  }
  w.courant_s = 1e5;
  w.made = 1;
}

double head_of(const main_state& ms, int j) { return ms.sjunc_head[j]; }

// Sections of every reach at the start of a sub-step, and the node velocities.
void reach_geometry(main_state& ms, int m) {
  superlink_work& w = ms.sl_work;
  const int n = w.numnodes[m];
  double* y = w.depth[m];
  for (int k = 1; k <= n + 1; ++k) y[k] = std::max(y[k], depth_floor);
  for (int i = 1; i <= n; ++i) {
    const double d = ms.diameter[i][m], width = ms.width[i][m];
    const int type = ms.sec_type[i][m];
    w.ldepth[m][i] = 0.5 * (y[i] + y[i + 1]);
    pipe_section s;
    if (w.ldepth[m][i] < d && y[i] < d) {
      s = superlink_pipe_geometry(d, y[i], width, type);
    } else {
      // Full: its own full section, with a narrow slot for the pressure head.
      s = superlink_pipe_geometry(d, d, width, type);
      s.top_width = 0.01 * d;
    }
    w.A[m][i] = s.area;
    w.top_width[m][i] = s.top_width;
    w.wet_per[m][i] = s.perimeter;
    w.l_veloc[m][i] = s.area > 0.0 ? w.Q[m][i] / s.area : 0.0;
    w.hyd_R[m][i] = s.perimeter > 0.0 ? s.area / s.perimeter : 0.0;
  }
  w.n_veloc[m][1] = w.l_veloc[m][1];
  w.n_veloc[m][n + 1] = w.l_veloc[m][n];
  for (int k = 2; k <= n; ++k) {
    const double l0 = ms.dxc[k - 1][m], l1 = ms.dxc[k][m];
    w.n_veloc[m][k] = (l0 * w.l_veloc[m][k - 1] + l1 * w.l_veloc[m][k]) / (l0 + l1);
  }
}

// Momentum and continuity coefficients and the two recurrences of one
// superlink for sub-step s.
void recurrences(main_state& ms, int m, double s) {
  superlink_work& w = ms.sl_work;
  const int n = w.numnodes[m];
  double *a = w.a[m], *b = w.b[m], *c = w.c[m], *P = w.P[m], *D = w.D[m], *E = w.E[m];
  const double* y = w.depth[m];
  const double* v = w.n_veloc[m];
  for (int i = 1; i <= n; ++i) {
    const double q = w.Q[m][i], area = w.A[m][i], r = w.hyd_R[m][i], len = ms.dxc[i][m];
    const double mn = ms.M_n[i][m];
    a[i] = v[i] > 0.0 ? -v[i] : 0.0;
    c[i] = v[i + 1] < 0.0 ? v[i + 1] : 0.0;
    // R^(4/3) as R cbrt(R): the same number, a third of the time of pow.
    const double friction = area > 0.0 && r > 0.0 ? mn * mn * g * std::fabs(q) * len / (r * std::cbrt(r) * area) : 0.0;
    b[i] = friction + len / s - a[i] - c[i];
    P[i] = g * area * ms.S0[i][m] * len + len * q / s;
  }
  for (int k = 1; k <= n + 1; ++k) {
    const double left = k > 1 ? 0.5 * w.top_width[m][k - 1] * ms.dxc[k - 1][m] : 0.0;
    const double right = k <= n ? 0.5 * w.top_width[m][k] * ms.dxc[k][m] : 0.0;
    const double bk = left + right + ms.As[k][m];
    E[k] = bk / s;
    D[k] = bk * y[k] / s + ms.Q_node[k][m];
  }
  double *T = w.T[m], *U = w.U[m], *V = w.V[m], *W = w.W[m];
  const double* A = w.A[m];
  T[1] = b[1] + a[1] + c[1];
  U[1] = (E[2] * c[1] - g * A[1]) / T[1];
  V[1] = (P[1] - D[2] * c[1]) / T[1];
  W[1] = g * A[1] / T[1];
  for (int i = 2; i <= n; ++i) {
    const double gi = (g * A[i] - E[i] * a[i]) / (U[i - 1] - E[i]);
    T[i] = b[i] + a[i] + c[i] - gi;
    U[i] = (E[i + 1] * c[i] - g * A[i]) / T[i];
    V[i] = (D[i] * a[i] + P[i] - D[i + 1] * c[i] - gi * (D[i] + V[i - 1])) / T[i];
    W[i] = -gi * W[i - 1] / T[i];
  }
  double *O = w.O[m], *X = w.X[m], *Y = w.Y[m], *Z = w.Z[m];
  O[n] = b[n] + a[n] + c[n];
  X[n] = (g * A[n] - E[n] * a[n]) / O[n];
  Y[n] = (D[n] * a[n] + P[n]) / O[n];
  Z[n] = -g * A[n] / O[n];
  for (int i = n - 1; i >= 1; --i) {
    const double h = (g * A[i] - E[i + 1] * c[i]) / (E[i + 1] + X[i + 1]);
    O[i] = b[i] + a[i] + c[i] + h;
    X[i] = (g * A[i] - E[i] * a[i]) / O[i];
    Y[i] = (D[i] * a[i] + P[i] - D[i + 1] * c[i] - h * (D[i + 1] - Y[i + 1])) / O[i];
    Z[i] = h * Z[i + 1] / O[i];
  }
}

// Depth at a free outfall of flow q out of the end whose reach is `i`: the
// smaller of critical and normal depth when the critical depth stands above
// the junction's water (`submergence`, the head over the pipe invert); none
// when the outfall is submerged or the section has no such depths. `last`
// holds the critical and normal depths found at this end before, where the
// searches start.
pipe_depth free_outfall(const main_state& ms, int m, int i, double q, double submergence, double* last) {
  const int type = ms.sec_type[i][m];
  const double d = ms.diameter[i][m], width = ms.width[i][m];
  // A circle's critical depth lies below its crown: water over the crown
  // drowns the outfall whatever the flow.
  if (type == pipe_circle && submergence >= d) return {};
  const pipe_depth yc = superlink_crit_calc(type, d, width, q, last[0]);
  if (!yc.ok) return {};
  last[0] = yc.depth;
  if (!(yc.depth > submergence)) return {};
  const pipe_depth yn = superlink_norm_calc(type, d, width, ms.M_n[i][m], q, ms.S0[i][m], last[1]);
  if (!yn.ok) return {};
  last[1] = yn.depth;
  return {true, std::min(yc.depth, yn.depth)};
}

// End conditions and the end-flow relations of one superlink.
void end_relations(main_state& ms, int m) {
  superlink_work& w = ms.sl_work;
  const int n = w.numnodes[m], ju = ms.us_sjunc[m], jd = ms.ds_sjunc[m];
  const double qu = w.Q_u[m], qd = w.Q_d[m], zu = w.z_u[m], zd = w.z_d[m];
  // Critical and normal depths only at an end that water leaves.
  double hu = 1.0, eu = -zu, fu = 0.0;
  if (qu < 0.0 && std::fabs(qu) >= 1e-11) {
    const pipe_depth y = free_outfall(ms, m, 1, qu, head_of(ms, ju) - zu, &w.end_depths[m][0]);
    if (y.ok) hu = 0.0, eu = 0.0, fu = y.depth / qu;
  }
  double hd = 1.0, ed = -zd, fd = 0.0;
  bool free_out = false;
  if (qd > 0.0 && std::fabs(qd) >= 1e-11) {
    const pipe_depth y = free_outfall(ms, m, n, qd, head_of(ms, jd) - zd, &w.end_depths[m][2]);
    if (y.ok) hd = 0.0, ed = 0.0, fd = y.depth / qd, free_out = true;
  }
  if (!free_out) {
    // The velocity head lost where the pipe enters its downstream junction.
    const pipe_section end = superlink_pipe_geometry(ms.diameter[n][m], w.depth[m][n + 1], ms.width[n][m],
                                                     ms.sec_type[n][m]);
    const double den = 2.0 * g * end.area * end.area;
    fd = std::fabs(den) > 1e-9 ? std::fabs(qd) / den : 0.0;
  }
  w.h_u[m] = hu, w.e_u[m] = eu, w.f_u[m] = fu;
  w.h_d[m] = hd, w.e_d[m] = ed, w.f_d[m] = fd;
  const double X1 = w.X[m][1], Y1 = w.Y[m][1], Z1 = w.Z[m][1];
  const double UN = w.U[m][n], VN = w.V[m][n], WN = w.W[m][n];
  const double delta = (1.0 - fd * UN) * (1.0 - fu * X1) - fu * WN * fd * Z1;
  w.alpha_u[m] = ((1.0 - fd * UN) * X1 * hu + fd * Z1 * WN * hu) / delta;
  w.beta_u[m] = Z1 * hd / delta;
  w.chi_u[m] = ((eu * X1 + Y1 + Z1 * ed) * (1.0 - fd * UN) + (eu * WN + VN + UN * ed) * Z1 * fd) / delta;
  w.alpha_d[m] = WN * hu / delta;
  w.beta_d[m] = ((1.0 - fu * X1) * UN * hd + fu * WN * Z1 * hd) / delta;
  w.chi_d[m] = ((WN * eu + VN + ed * UN) * (1.0 - fu * X1) + (X1 * eu + Y1 + ed * Z1) * fu * WN) / delta;
}

}  // namespace

void assemble_junction_matrix(main_state& ms, double s) {
  superlink_work& w = ms.sl_work;
  const int nj = ms.n_sl_junctions;
  std::memset(w.F.data(), 0, w.F.cell_count() * sizeof(double));
  for (int j = 1; j <= nj; ++j) {
    if (ms.bound[j]) {
      w.F[j][j] = 1.0;
      w.rhs[j] = w.bound_head[j];
    } else {
      const double k = ms.sjunc_area[j] / s;
      w.F[j][j] = k;
      w.rhs[j] = k * ms.sjunc_head[j] + w.junc_inflow[j];
    }
  }
  // Parallel superlinks between one pair of junctions each add their terms.
  for (int m = 1; m <= ms.n_sl_links; ++m) {
    const int ju = ms.us_sjunc[m], jd = ms.ds_sjunc[m];
    if (!ms.bound[jd]) {
      w.F[jd][jd] -= w.beta_d[m];
      w.F[jd][ju] -= w.alpha_d[m];
      w.rhs[jd] += w.chi_d[m];
    }
    if (!ms.bound[ju]) {
      w.F[ju][ju] += w.alpha_u[m];
      w.F[ju][jd] += w.beta_u[m];
      w.rhs[ju] -= w.chi_u[m];
    }
  }
}

namespace {

// The superjunction system for sub-step s, factored in place and solved
// for the new heads.
int solve_heads(main_state& ms, double s) {
  superlink_work& w = ms.sl_work;
  const int nj = ms.n_sl_junctions;
  assemble_junction_matrix(ms, s);
  if (ludcmp_pzq(w.F, nj, w.pivot, w.scale) < 0) {
    error_rec.code = 134;
    return -1;
  }
  lubksb(w.F, nj, w.pivot, w.rhs);
  for (int j = 1; j <= nj; ++j) {
    double h = w.rhs[j];
    // A head a little below the invert is rounding; more is raised to it.
    if (h < ms.sjunc_invert[j] - 0.001) h = ms.sjunc_invert[j];
    ms.sjunc_head[j] = h;
  }
  return 0;
}

// End flows from the new heads, then the node depths and reach flows.
void back_substitute(main_state& ms, int m, double s) {
  superlink_work& w = ms.sl_work;
  const int n = w.numnodes[m];
  const double hu = head_of(ms, ms.us_sjunc[m]), hd = head_of(ms, ms.ds_sjunc[m]);
  const double qu = w.alpha_u[m] * hu + w.beta_u[m] * hd + w.chi_u[m];
  const double qd = w.alpha_d[m] * hu + w.beta_d[m] * hd + w.chi_d[m];
  w.Q_u[m] = qu;
  w.Q_d[m] = qd;
  double* y = w.depth[m];
  double* q = w.Q[m];
  y[1] = w.h_u[m] * hu + w.f_u[m] * qu + w.e_u[m];
  y[n + 1] = w.h_d[m] * hd + w.f_d[m] * qd + w.e_d[m];
  q[1] = qu;
  q[n] = qd;
  // A node depth far outside the pipe is a failed solve and restarts from
  // nearly dry. A surcharged pipe's pressure head is measured against the
  // higher of its junction heads, which it cannot much exceed, not against
  // the node's invert: a small pipe under a full junction legitimately
  // carries many diameters of head.
  const double top = std::max(hu, hd);
  for (int k = n; k >= 2; --k) {
    double yk = (q[k] - w.Y[m][k] - w.Z[m][k] * y[n + 1]) / w.X[m][k];
    const double d = ms.diameter[k][m], z = ms.slink_node_Zinv[k][m];
    if (z + yk > std::max(top, z) + 10.0 * d || yk < -10.0 * d) yk = 0.0;
    if (yk < 0.0) yk = depth_floor;
    y[k] = yk;
    if (k > 2) q[k - 1] = w.U[m][k - 1] * y[k] + w.V[m][k - 1] + w.W[m][k - 1] * y[1];
  }
  w.storage_change[m] += s * (qu - qd);
}

// What the outlets pass in sub-step s; -1 after a NaN flow.
int pass_outlets(main_state& ms, double s, superlink_step_volumes& out) {
  superlink_work& w = ms.sl_work;
  const double cell_area = ms.dx * ms.dx;
  for (int j = 1; j <= ms.n_sl_junctions; ++j) {
    const int type = ms.inlet_type[0][j];
    if (type != outlet_to_channel && type != outlet_to_cell) continue;
    const bool channel = type == outlet_to_channel;
    const long slot = channel ? static_cast<long>(ms.superlink_chan_con_link[j]) * ms.max_nodes_per_link +
                                    ms.superlink_chan_con_node[j]
                              : ms.superlink_junc_gnum[j];
    for (int e = w.end_first[j]; e < w.end_first[j + 1]; ++e) {
      const int m = w.end_list[e];
      const double flow = w.Q_d[m], v = s * flow;
      const char* where = channel ? "channel node" : "overland cell";
      if (std::isnan(v)) {
        say(format_string("Flow from supernode %ld to %s %ld is NaN \n", static_cast<long>(j), where, slot));
        say("Check your superlink network \n \n");
        error_rec.code = already_printed_code;
        return -1;
      }
      if (v < 0.0) {
        if (v < -1e-10)
          say(format_string("Flow from supernode %ld to %s %ld is negative \n", static_cast<long>(j), where, slot));
        if (v < -1e-10) say("Check your superlink network \n \n");
        continue;
      }
      if (channel) {
        ms.superlink_chan_vol[j] += v;
        if (!ms.superlink_node_slot_vol.empty()) ms.superlink_node_slot_vol[slot] += v;
        out.to_channel += v;
        if (flow > 1e-8) out.reached_channel = true;
      } else {
        const long c = ms.superlink_junc_gnum[j];
        ms.ov_depth[c] += v / cell_area;
        ms.superlink_cell_vol[c] -= v;
        ms.sjunc_vol_to_ov[j] += v;
        out.given += v;
        if (flow > 1e-8) out.reached_cell = true;
      }
    }
  }
  return 0;
}

// Inlets of the step at the junctions and interior nodes, with the drains'
// and tiles' inflow at the junctions.
void take_inflows(main_state& ms, double dt, superlink_step_volumes& out) {
  superlink_work& w = ms.sl_work;
  const double cell_area = ms.dx * ms.dx;
  const auto exchanged = [&](long c, double v, int release_junction) {
    if (v > 0.0) {
      ms.superlink_cell_vol[c] += v;
      out.taken += v;
    } else if (v < 0.0) {  // a surcharged inlet gives water back to its cell
      ms.ov_depth[c] -= v / cell_area;
      ms.superlink_cell_vol[c] += v;
      ms.sjunc_vol_to_ov[release_junction] -= v;
      out.given -= v;
      out.reached_cell = true;
    }
  };
  for (int j = 1; j <= ms.n_sl_junctions; ++j) {
    w.junc_inflow[j] = 0.0;
    const long c = ms.superlink_junc_gnum[j];
    const int type = ms.inlet_type[0][j];
    if (c >= 1 && is_inlet_type(type)) {
      double v = 0.0;
      w.junc_inflow[j] = inlet_exchange(type, ms.high_head_release_on, ms.sjunc_head[j], ms.sjunc_ground_elev[j],
                                        ms.sjunc_area[j], dt, ms.ov_depth, c, cell_area, ms.grate_sidelength_sjunc[j],
                                        ms.grate_dia_sjunc[j], v);
      exchanged(c, v, j);
    }
    if (ms.storm_drain_on && ms.drain && !ms.drain->q_to_superlink.empty()) {
      double& from_drain = ms.drain->q_to_superlink[j];
      w.junc_inflow[j] += from_drain / dt;
      out.from_drains += from_drain;
      from_drain = 0.0;
    }
  }
  if (!ms.superlink_tile_flow.empty()) {
    for (int m = 1; m <= ms.n_sl_links; ++m) {
      double q = 0.0;
      for (int k = 1; k <= w.numnodes[m]; ++k) q += ms.superlink_tile_flow[k][m];
      w.junc_inflow[ms.us_sjunc[m]] += q;
      out.from_tiles += q * dt;
    }
  }
  for (int m = 1; m <= ms.n_sl_links; ++m) {
    const int n = w.numnodes[m];
    for (int k = 2; k <= n; ++k) {
      ms.Q_node[k][m] = 0.0;
      const long c = ms.superlink_node_gnum[k][m];
      const int type = ms.inlet_type[k][m];
      if (c < 1 || !is_inlet_type(type)) continue;
      double v = 0.0;
      ms.Q_node[k][m] = inlet_exchange(type, ms.high_head_release_on, ms.slink_node_Zinv[k][m] + w.depth[m][k],
                                       ms.node_ground_elev[k][m], ms.As[k][m], dt, ms.ov_depth, c, cell_area,
                                       ms.grate_sidelength_node[k][m], ms.grate_dia_node[k][m], v);
      exchanged(c, v, ms.ds_sjunc[m]);
    }
  }
}

// Sub-step of the call: the Courant limit of the present state, but never
// below 1 s, and the whole step when it allows.
double first_substep(const main_state& ms, double dt, int call) {
  const superlink_work& w = ms.sl_work;
  double s = 1e5;
  if (call > 0) {
    for (int m = 1; m <= ms.n_sl_links; ++m) {
      const int n = w.numnodes[m];
      for (int i = 1; i <= n; ++i) {
        const double c = ms.dxc[i][m] / (std::sqrt(g * w.ldepth[m][i]) + std::fabs(w.n_veloc[m][i]));
        if (c > 1e-8) s = std::min(s, c);
      }
    }
  }
  return superlink_substep(s, dt);
}

}  // namespace

double superlink_substep(double courant_s, double dt) {
  if (courant_s > 1e-8 && dt > courant_s) return courant_s < 1.0 ? std::min(dt, 1.0) : courant_s;
  return dt;
}

double superlink_substep_clip(double s, double dt, double total) {
  // No last sub-step shorter than half a sub-step: the one before takes it.
  return s * 0.5 > dt - (total + s) ? dt - total : s;
}

double superlink_network_volume(const main_state& ms) {
  double v = 0.0;
  for (int m = 1; m <= ms.n_sl_links; ++m) {
    const int n = ms.superlink_cnodes[m];
    for (int i = 1; i <= n; ++i) {
      const double y = ms.slink_node_depth[i][m];
      const pipe_section s = superlink_pipe_geometry(ms.diameter[i][m], y, ms.width[i][m], ms.sec_type[i][m]);
      v += ms.As[i][m] * y + ms.dxc[i][m] * s.area;
    }
  }
  for (int j = 1; j <= ms.n_sl_junctions; ++j)
    if (!ms.bound[j]) v += ms.sjunc_area[j] * (ms.sjunc_head[j] - ms.sjunc_invert[j]);
  return v;
}

int superlink_route(main_state& ms, int call, double dt, superlink_step_volumes& out) {
  out = superlink_step_volumes{};
  if (!ms.sl_work.made) make_work(ms);
  superlink_work& w = ms.sl_work;
  const int nl = ms.n_sl_links;
  for (int m = 1; m <= nl; ++m) {
    const int n = w.numnodes[m];
    for (int k = 1; k <= n + 1; ++k) w.depth[m][k] = ms.slink_node_depth[k][m];
    w.storage_change[m] = 0.0;
  }
  if (call == 1) w.initial_volume = superlink_network_volume(ms);
  for (int j = 1; j <= ms.n_sl_junctions; ++j) ms.sjunc_vol_to_ov[j] = 0.0;
  const double s0 = first_substep(ms, dt, call);
  take_inflows(ms, dt, out);

  double total = 0.0;
  int result = 0;
  while (total < dt - 1e-16) {
    const double s = superlink_substep_clip(s0, dt, total);
    for (int m = 1; m <= nl; ++m) {
      reach_geometry(ms, m);
      recurrences(ms, m, s);
      end_relations(ms, m);
    }
    if (solve_heads(ms, s) < 0) {
      result = -1;
      break;
    }
    for (int m = 1; m <= nl; ++m) back_substitute(ms, m, s);
    if (pass_outlets(ms, s, out) < 0) {
      result = -1;
      break;
    }
    total += s;
    ++out.substeps;
  }
  for (int m = 1; m <= nl; ++m) {
    const int n = w.numnodes[m];
    for (int k = 1; k <= n + 1; ++k) ms.slink_node_depth[k][m] = w.depth[m][k];
  }
  w.courant_s = s0;
  for (int j = 1; j <= ms.n_sl_junctions; ++j) {
    const int type = ms.inlet_type[0][j];
    if (type == outlet_to_channel || type == outlet_to_cell) {
      double v = 0.0;
      for (int e = w.end_first[j]; e < w.end_first[j + 1]; ++e) v += w.Q_d[w.end_list[e]];
      ms.sjunc_flow[j] = v;
    } else {
      ms.sjunc_flow[j] = w.junc_inflow[j];
    }
  }
  if (result < 0) return result;
  const double in = out.taken + out.from_drains + out.from_tiles, gone = out.to_channel + out.given;
  if (ms.superlink_flows_file.is_open())
    std::fprintf(ms.superlink_flows_file.fp, "%d %16.8lf %16.8lf %16.8lf %16.8lf \n", call, in, gone, in / dt,
               gone / dt);
  return 0;
}

}  // namespace kavro
