// The Richards step: every soil column advances over the infiltration
// interval in sub-steps of its own length. Each sub-step solves the heads of
// the column implicitly (one tridiagonal system per pass) and then moves the
// moisture by the interface fluxes of the solved heads, so the water of a
// column changes by exactly what crossed its surface and its bottom.
//
// Lengths in the column are cm, times h, rates cm/h; the pond (ov_depth) and
// the returned depths are m. Cells share nothing: the cell loop runs in
// parallel, each iteration writing only its own cell's slots, and the run
// totals are summed afterwards in fixed chunks, so every result is the same
// for any thread count.
#include "subsurface/richards.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/parallel_sum.h"
#include "hydromet/frozen_ground_couplings.h"
#include "overland/held_depth.h"
#include "subsurface/green_ampt.h"
#include "subsurface/richards_column.h"
#include "subsurface/soil_cell_gates.h"
#include "subsurface/tridiag_solve.h"

namespace kavro {

namespace {

// A head at or above this (cm) is saturated.
constexpr double saturated_head = 1e-16;
// Upper-boundary types of a column.
constexpr int flux_boundary = 1;
constexpr int ponded_boundary = 2;
constexpr int saturated_surface = 3;
// Longest sub-step after the pond ran out or the surface saturated (h).
constexpr double wet_surface_substep_h = 0.02;
// A column's call costs as much as a cell of a simple loop does in many
// steps, but fewer columns than this are not worth waking the threads for.
constexpr long parallel_min_columns = 64;

// What every column of the call shares.
struct call_settings {
  double hours = 0;       // length of the call (h)
  int model = 1;          // retention model
  int k_option = 2;       // 1 arithmetic, 2 geometric interface mean
  int upper_option = 1;   // surface interface under a pond: 2 Ks-free unit, 3 saturated above
  int iter_max = 1;       // passes per sub-step under a flux boundary
  double weight = 1.0;    // weight of the upper node in the arithmetic mean
  double dtheta_max = 0;  // target largest moisture change per sub-step
  bool long_term = false;
  bool water_table = false;
  bool permafrost = false;
  bool frozen_blend = false;
};

// The surface of one column during a sub-step.
struct surface_state {
  double pond_cm = 0;       // pond at the sub-step start (cm)
  double p = 0;             // pond available to the soil, or the evaporation demand when negative (cm)
  bool head_bc = false;     // head boundary above node 1
  bool root_sink = false;   // the demand is taken by the roots
  double root_total = 0;    // what the roots take (cm/h, negative)
  double source1 = 0;       // the source of node 1 under a flux boundary (1/h), given again at every pass
  bool exhausted = false;   // the head boundary asked for more than the pond held
};

// What one column gave and took in the call.
struct cell_totals {
  double returned = 0;  // left the surface upwards: pond evaporation, roots, upward flux through a dry surface (m)
  double exfil = 0;     // soil water that rose into the pond (m)
  double held = 0;      // depth a held-depth cell gave to the soil and the air (m)
  int bad_node = 0;     // first node whose moisture was not a number
  int substeps = 0;     // sub-steps taken
  bool flux_nan = false;
};

// Stress of the roots of node k: 1 at or above field capacity, 0 at or below
// the wilting point, linear between.
double root_stress(const column_view& c, long k) {
  const double th = c.theta[k];
  if (th >= c.thfc[k]) return 1.0;
  if (th <= c.thwp[k]) return 0.0;
  return (th - c.thwp[k]) / (c.thfc[k] - c.thwp[k]);
}

// Conductivity of the interfaces above nodes 1..n (cm/h).
void interface_conductivities(column_view& c, const call_settings& s, int type, double* k) {
  long first = 1;
  if (type == ponded_boundary) {
    if (s.upper_option == 2) {
      k[1] = 1.0;
      first = 2;
    } else {
      c.khead[0] = s.upper_option == 3 ? 1.0 : c.khead[1];
    }
  }
  if (s.k_option == 1) {
    const double w = s.weight;
    for (long l = first; l <= c.n; ++l) k[l] = ((1.0 - w) * c.khead[l] + w * c.khead[l - 1]) * c.ks[l];
  } else {
    for (long l = first; l <= c.n; ++l) k[l] = std::sqrt(c.khead[l - 1] * c.khead[l]) * c.ks[l];
  }
}

// Builds and solves the heads of nodes 1..n-1 for a sub-step of dt hours;
// `k1` is the surface conductivity of the solve (0 under a flux boundary),
// `h0` the head above the surface. False when the system has no solution
// (every head kept) or a solved head is not a number (that node keeps its
// head).
bool solve_heads(column_view& c, richards_scratch& w, const call_settings& s, double dt, double k1, double h0) {
  const long n = c.n;
  const double* k = w.interface_k.data();
  const double* h_start = w.phead_old.data();
  double* sup = w.sup.data();
  double* diag = w.diag.data();
  double* sub = w.sub.data();
  double* rhs = w.rhs.data();
  for (long l = 1; l <= n - 1; ++l) {
    const double a = (c.dz[l - 1] + c.dz[l]) / 2.0, b = (c.dz[l] + c.dz[l + 1]) / 2.0;
    const double up = l == 1 ? k1 : k[l], down = k[l + 1];
    const double cap = c.watcap[l] / dt;
    sup[l] = -down / (c.dz[l] * b);
    sub[l] = -up / (a * c.dz[l]);
    diag[l] = down / (c.dz[l] * b) + cap + up / (c.dz[l] * a);
    rhs[l] = cap * h_start[l] - down / c.dz[l] + up / c.dz[l] + c.source[l];
  }
  rhs[1] -= sub[1] * h0;
  if (s.water_table) {
    rhs[n - 1] -= c.phead[n] * sup[n - 1];
  } else {
    // Free drainage: the bottom node takes the head of the node above it.
    diag[n - 1] += sup[n - 1];
    sup[n - 1] = 0.0;
  }
  if (!tridiag_solve(1, n - 1, sup, diag, sub, rhs)) return false;
  bool finite = true;
  for (long l = 1; l <= n - 1; ++l) {
    if (std::isfinite(rhs[l]))
      c.phead[l] = rhs[l];
    else
      finite = false;
  }
  if (!s.water_table) c.phead[n] = c.phead[n - 1];
  return finite;
}

// The heads after the moisture update: saturated nodes and their neighbours
// keep their solved heads, the others take the head of their moisture. The
// moisture itself is always what the interface fluxes left: taking it back
// from the head of a node that saturated within the sub-step would make or
// destroy the difference, and the column's water would no longer be what
// crossed its surface and its bottom.
void update_heads(column_view& c, const call_settings& s, bool exhausted) {
  const long n = c.n;
  bool sat_above = c.phead[0] >= saturated_head;
  bool sat_here = c.phead[1] >= saturated_head;
  for (long l = 1; l <= n - 1; ++l) {
    const bool sat_below = c.phead[l + 1] >= saturated_head;
    const bool dry_surface = l == 1 && exhausted && c.theta[1] < 0.999999 * c.ths[1] && c.phead[1] >= 0.0;
    if (dry_surface || !(sat_here || sat_above || sat_below))
      c.phead[l] = head_at_theta(c, l, c.theta[l], c.phead[l], s.model);
    sat_above = sat_here;
    sat_here = sat_below;
  }
  if (!s.water_table) {
    c.phead[n] = c.phead[n - 1];
    c.theta[n] = c.theta[n - 1];
  }
  c.theta[0] = c.theta[1];
}

// The conductivities of the column after its heads moved, with the frozen
// ground's reductions.
void refresh_conductivities(main_state& ms, long j, column_view& c, const call_settings& s) {
  refresh_column_conductivity(c, s.model);
  if (s.permafrost)
    frozen_conductivity_column(ms, j);
  else if (s.frozen_blend)
    c.khead[1] = frozen_conductivity_blend(c.khead[1], ms.SE[j]);
}

// The upper boundary of the sub-step: a head above the surface, or a flux
// (the pond over the rest of the call, or the roots' demand).
void set_upper_boundary(main_state& ms, long j, column_view& c, surface_state& f, double dt, double rest) {
  int& type = ms.bound_type[j];
  const double half = c.dz[0] / 2.0;
  if (type == ponded_boundary && f.p > 1e-16) {
    f.head_bc = true;
    c.phead[0] = f.p - half;
  } else if ((type == ponded_boundary && c.phead[1] >= 0.0) || type == saturated_surface) {
    f.head_bc = true;
    c.phead[0] = -half;
  } else if (f.p >= 0.0) {
    c.source[1] = f.p / rest / c.dz[1];
    type = flux_boundary;
  } else {
    // The evaporation demand the pond could not meet is spread over the
    // root zone, each node's share reduced by its water stress.
    const double root_cm = ms.root_depth[j] * 100.0;
    if (!(root_cm > 0.0)) return;
    const double per_cm = f.p / dt / root_cm;
    double top = 0.0;
    for (long k = 1; k <= c.n - 1 && in_root_zone(top + c.dz[k] / 2.0, root_cm); ++k) {
      c.source[k] = per_cm * root_stress(c, k);
      f.root_total += c.source[k] * c.dz[k];
      top += c.dz[k];
    }
    f.root_sink = true;
  }
}

// Largest relative change of the heads of nodes 1..n-1 against the last
// pass (per cent).
double head_change_percent(const column_view& c, const double* prev) {
  double worst = 0.0;
  for (long l = 1; l <= c.n - 1; ++l) {
    const double h = c.phead[l];
    if (h == 0.0) continue;
    worst = std::max(worst, std::fabs(h - prev[l]) / std::fabs(h) * 100.0);
  }
  return worst;
}

// The passes of one sub-step. Returns the suggested next sub-step (h).
double solve_substep(main_state& ms, long j, column_view& c, richards_scratch& w, const call_settings& s,
                     surface_state& f, double dt, cell_totals& out) {
  const long n = c.n;
  int& type = ms.bound_type[j];
  double* k = w.interface_k.data();
  double largest = 1e-4;
  double suggested = dt;
  std::copy(w.phead_old.begin(), w.phead_old.begin() + n + 1, w.phead_prev_pass.begin());
  for (int pass = 1;; ++pass) {
    const int passes = type == ponded_boundary || type == saturated_surface ? 5 : std::max(1, s.iter_max);
    if (!f.head_bc) c.source[1] = f.source1;
    interface_conductivities(c, s, type, k);
    for (;;) {
      const bool finite = solve_heads(c, w, s, dt, f.head_bc ? k[1] : 0.0, c.phead[0]);
      if (f.head_bc) break;
      // A flux boundary holds while the surface takes the supply at a
      // saturated surface; otherwise the pond becomes a head boundary.
      const double supply = c.dz[1] * c.source[1];
      const double a1 = (c.dz[0] + c.dz[1]) / 2.0;
      const double capacity = k[1] - k[1] / a1 * (c.phead[1] - c.phead[0]);
      bool reject = !finite || supply > capacity;
      for (long l = 1; l <= n - 1 && !reject; ++l)
        reject = c.phead[l] < -1e7 && c.theta[l] > 0.95 * c.ths[l];
      if (!reject) {
        c.watflux[1] = supply;
        c.source[1] = 0.0;
        break;
      }
      std::copy(w.phead_old.begin() + 1, w.phead_old.begin() + n + 1, c.phead + 1);
      if (f.root_sink) f.root_total -= supply;
      c.source[1] = 0.0;
      f.head_bc = true;
      type = ponded_boundary;
      c.phead[0] = f.p - c.dz[0] / 2.0;
      interface_conductivities(c, s, type, k);
    }
    for (long l = f.head_bc ? 1 : 2; l <= n; ++l) {
      const double a = (c.dz[l - 1] + c.dz[l]) / 2.0;
      c.watflux[l] = k[l] - k[l] / a * (c.phead[l] - c.phead[l - 1]);
      if (std::isnan(c.watflux[l])) out.flux_nan = true;
    }
    f.exhausted = false;
    if (c.watflux[1] > 0.0 && f.p < c.watflux[1] * dt) {
      c.watflux[1] = std::max(0.0, f.p / dt);
      f.exhausted = true;
    }
    for (long l = 1; l <= n - 1; ++l) {
      const double start = w.theta_substep_start[l];
      double th = start + ((c.watflux[l] - c.watflux[l + 1]) / c.dz[l] + c.source[l]) * dt;
      if (std::isnan(th)) {
        if (out.bad_node == 0) out.bad_node = static_cast<int>(l);
      } else {
        th = std::max(th, c.thr[l]);
        largest = std::max(largest, std::fabs(th - start));
      }
      c.theta[l] = th;
    }
    suggested = dt * s.dtheta_max / largest;
    if (f.exhausted) suggested = std::min(suggested, wet_surface_substep_h);
    update_heads(c, s, f.exhausted);
    refresh_conductivities(ms, j, c, s);
    if (pass >= passes || head_change_percent(c, w.phead_prev_pass.data()) <= 0.1) break;
    // Not converged: the pass repeats from the sub-step start with the
    // conductivities of its heads.
    std::copy(c.phead + 1, c.phead + n, w.phead_prev_pass.begin() + 1);
    std::copy(w.phead_old.begin() + 1, w.phead_old.begin() + n, c.phead + 1);
    std::copy(w.theta_substep_start.begin() + 1, w.theta_substep_start.begin() + n, c.theta + 1);
    if (!s.water_table) {
      c.phead[n] = w.phead_old[n];
      c.theta[n] = w.theta_substep_start[n];
    }
  }
  return suggested;
}

// One sub-step of dt hours with `rest` hours of the call left. Returns the
// suggested next sub-step.
double column_substep(main_state& ms, long j, column_view& c, richards_scratch& w, const call_settings& s,
                      double dt, double rest, double ew, bool held, cell_totals& out) {
  const long n = c.n;
  std::copy(c.phead, c.phead + n + 1, w.phead_old.begin());
  std::copy(c.theta, c.theta + n + 1, w.theta_substep_start.begin());
  std::fill(c.source, c.source + n + 1, 0.0);
  c.theta[0] = c.theta[1];
  c.phead[0] = 0.0;

  surface_state f;
  f.pond_cm = 100.0 * ms.ov_depth[j];
  f.p = f.pond_cm - ew * dt;
  double evaporated = 0.0;  // from the pond (cm)
  if (s.long_term) {
    evaporated = f.p >= 0.0 ? ew * dt : f.pond_cm;
    ms.DIRECT_EVAP[j] += evaporated;
    out.returned += evaporated / 100.0;
  }
  if (f.p < 0.0) {
    // The pond is gone within the sub-step; the roots meet the demand of
    // the rest of it.
    const double lasts = ew > 0.0 ? std::max(0.0, f.pond_cm) / ew : 0.0;
    f.p = (dt - lasts) * (-3600.0 * ms.pot_aet[j]);
  }
  set_upper_boundary(ms, j, c, f, dt, rest);
  f.source1 = c.source[1];
  double suggested = solve_substep(ms, j, c, w, s, f, dt, out);

  // The surface after the sub-step.
  int& type = ms.bound_type[j];
  double rate = c.watflux[1];
  const double pond_m = ms.ov_depth[j];
  double new_pond = 0.0;
  if (f.p <= 0.0) {
    type = flux_boundary;
    if (rate < 0.0 && f.root_sink) rate = f.root_total;
  } else {
    new_pond = pond_m - (rate + ew) * dt / 100.0;
    if (new_pond > 1e-16) {
      if (ew + rate > 0.0) suggested = std::min(suggested, new_pond * 100.0 / (ew + rate));
    } else {
      if (f.head_bc && c.theta[1] >= c.ths[1]) {
        type = saturated_surface;
        suggested = std::min(suggested, wet_surface_substep_h);
      } else {
        type = flux_boundary;
      }
      new_pond = 0.0;
    }
  }
  double rose = 0.0;  // soil water that entered the pond (m)
  ms.infil_rate[j] = rate;
  if (rate >= 0.0)
    ms.cum_infil[j] += rate * dt / 100.0;
  else if (f.p > 0.0)
    rose = -rate * dt / 100.0;
  else
    out.returned += -rate * dt / 100.0;
  out.exfil += rose;
  if (held)
    out.held += pond_m - new_pond + rose;
  else
    ms.ov_depth[j] = new_pond;
  ms.inf_rich[j] += dt * rate / 100.0;
  const double down = dt * c.watflux[n];
  ms.rich_bottom_flux[j] += down;
  ms.gw_recharge_cum[j] += down;
  return suggested;
}

// A column whose water table stands at the ground is not solved: in
// long-term runs its pond evaporates.
void evaporate_exfiltrating_pond(main_state& ms, long j, const call_settings& s, double ew, bool held,
                                 cell_totals& out) {
  if (!s.long_term || !(ew > 0.0)) return;
  const double pond_cm = 100.0 * ms.ov_depth[j];
  const double e = std::max(0.0, std::min(ew * s.hours, pond_cm));
  ms.DIRECT_EVAP[j] += e;
  out.returned += e / 100.0;
  if (held)
    out.held += e / 100.0;
  else
    ms.ov_depth[j] -= e / 100.0;
}

void step_cell(main_state& ms, long j, richards_scratch& w, const call_settings& s) {
  cell_totals out;
  if (in_channel_lake(ms, j) || surface_closed(ms, j)) {
    ms.infil_rate[j] = 0.0;
  } else {
    const bool held = is_held_depth_cell(ms, j);
    const double ew = s.long_term && !(ms.rain_rate[j] > 0.0) ? ms.pot_et[j] * 3600.0 : 0.0;
    column_view c = column_of(ms, j);
    if (ms.yes_exfil[j] == 1) {
      evaporate_exfiltrating_pond(ms, j, s, ew, held, out);
    } else if (c.n >= 2) {
      double dt = std::min(ms.dtr[j], s.hours);
      // A saturated surface starts with a short sub-step.
      if (dt > 0.001 && c.phead[1] >= saturated_head) dt = richards_first_substep_h;
      double rest = s.hours;
      double suggested = std::max(ms.dtr[j], richards_min_substep_h);
      while (rest > 1e-16) {
        dt = std::max(dt, richards_min_substep_h);
        // The last sub-step takes what is left of the call.
        if (dt > rest || rest - dt < richards_min_substep_h) dt = rest;
        suggested = std::max(column_substep(ms, j, c, w, s, dt, rest, ew, held, out), richards_min_substep_h);
        ++out.substeps;
        rest -= dt;
        dt = std::min(suggested, s.hours);
      }
      ms.dtr[j] = suggested;
    }
  }
  ms.rich_step_returned[j] = out.returned;
  ms.rich_step_exfil[j] = out.exfil;
  ms.infil_held_volume[j] = out.held * ms.dx * ms.dx;
  ms.rich_bad_node[j] = out.bad_node;
  ms.rich_flux_nan[j] = out.flux_nan ? 1 : 0;
  ms.rich_substeps[j] = out.substeps;
}

call_settings settings_of(const main_state& ms, double elapsed_s) {
  call_settings s;
  s.hours = elapsed_s / 3600.0;
  s.model = ms.richards_c_option;
  s.k_option = ms.richards_k_option;
  s.upper_option = ms.richards_upper_option;
  s.iter_max = ms.richards_iter_max;
  s.weight = ms.richards_weight;
  s.dtheta_max = ms.richards_dtheta_max;
  s.long_term = ms.long_term_on != 0;
  s.water_table = ms.water_table_on != 0;
  s.permafrost = permafrost_couplings_on(ms);
  s.frozen_blend = ms.gtfsm_on != 0 && ms.SE.size() >= ms.n_cells;
  return s;
}

// Work vectors for every thread of the coming loop.
void ensure_solver_work(main_state& ms) {
  const auto threads = static_cast<std::size_t>(std::max(1, omp_get_max_threads()));
  if (ms.richards_scratch_by_thread.size() < threads) ms.richards_scratch_by_thread.resize(threads);
  for (richards_scratch& w : ms.richards_scratch_by_thread)
    if (w.capacity() < ms.richards_max_nodes) w.size_for(ms.richards_max_nodes);
}

// Run totals of the call, summed in fixed chunks; problems reported in cell
// order. Returns the depth that left the surface upwards (m).
double book_call(main_state& ms) {
  const long n = ms.n_cells;
  const double area = ms.dx * ms.dx;
  auto& parts = ms.rich_sum_partials;
  const double* returned = ms.rich_step_returned.data();
  const double* held = ms.infil_held_volume.data();
  const double* rose = ms.rich_step_exfil.data();
  const double total = fixed_chunk_sum(1, n, [returned](long j) { return returned[j]; }, parts);
  if (ms.ov_boundary_on) {
    ms.vol_ov_head_bound_in_total += fixed_chunk_sum(1, n, [held](long j) { return held[j]; }, parts);
    ms.vol_ov_head_bound_out_total +=
        fixed_chunk_sum(1, n, [&](long j) { return is_held_depth_cell(ms, j) ? rose[j] * area : 0.0; }, parts);
  }
  ms.vol_exfil_total +=
      fixed_chunk_sum(1, n, [&](long j) { return is_held_depth_cell(ms, j) ? 0.0 : rose[j] * area; }, parts);
  bool bad = false;
  for (long j = 1; j <= n; ++j) {
    if (ms.rich_flux_nan[j])
      std::printf("Warning: a flux of the Richards soil column of cell %ld was not a number.\n", j);
    if (ms.rich_bad_node[j] == 0) continue;
    std::printf("Error: the moisture of node %d of the Richards soil column of cell %ld is not a number.\n",
                ms.rich_bad_node[j], j);
    bad = true;
  }
  if (bad) error_rec.code = already_printed_code;
  return total;
}

}  // namespace

double richards_step(main_state& ms, double elapsed_s) {
  const long n = ms.n_cells;
  if (n < 1 || ms.THETA.empty() || !(elapsed_s > 0.0)) return 0.0;
  const call_settings s = settings_of(ms, elapsed_s);
  ensure_solver_work(ms);
#pragma omp parallel for schedule(static) if (n >= parallel_min_columns)
  for (long j = 1; j <= n; ++j)
    step_cell(ms, j, ms.richards_scratch_by_thread[static_cast<std::size_t>(omp_get_thread_num())], s);
  if (s.permafrost) write_hydro_con_listing(ms);
  return book_call(ms);
}

}  // namespace kavro
