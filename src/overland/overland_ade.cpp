// The alternating-direction explicit (ADE) overland solver: a pass over the
// right faces and a pass over the lower faces, each computing Manning face
// flows from the water-surface elevations (read-only over the cells) and then
// updating every cell from its upstream face and its own face. Scheme 2
// sub-steps the span adaptively; scheme 3 makes one predictor-corrector pass
// per direction.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/parallel_sum.h"
#include "overland/overland_flow.h"
#include "overland/overland_grid_view.h"

namespace kavro {

namespace {

// Face of cell i toward neighbour m (x: right, y: below).
struct face_kind {
  const int* nbr;       // neighbour across the face
  const int* upstream;  // neighbour across the opposite face
  int dike_bit;         // embankment bit of the face
  int block_i;          // blocked-fraction column of the face on cell i
  int block_m;          // and on the neighbour
};

face_kind x_faces(const overland_grid_view& g) { return {g.right, g.left, 2, 2, 4}; }
face_kind y_faces(const overland_grid_view& g) { return {g.below, g.above, 4, 3, 1}; }

// Flow (m3/s) from cell i to cell m, positive toward m.
template <bool General>
inline double ade_face(const overland_grid_view& g, const double* h, long i, long m, const face_kind& f) {
  if (m == 0) return 0.0;
  double hi = h[i], hm = h[m];
  int wi = 0, wm = 0;
  double C = 0.0;
  if constexpr (General) {
    if (g.dike_on && (g.dike[i] & f.dike_bit)) return 0.0;
    // Snow-covered cells carry their water inside the pack.
    if (g.snow_on) {
      if (g.swe[i] > 1e-16) hi /= g.snap[i][4];
      if (g.swe[m] > 1e-16) hm /= g.snap[m][4];
    }
  }
  double Hi = hi + g.z[i], Hm = hm + g.z[m];
  if constexpr (General) {
    if (g.olake_on) {
      const int li = g.olake_id[i], lm = g.olake_id[m];
      if (li > 0 && lm > 0) return 0.0;
      if (li > 0) Hi = g.olakes[li].level;
      if (lm > 0) Hm = g.olakes[lm].level;
    }
    if (g.clake_on) {
      const int li = g.lmask[i], lm = g.lmask[m];
      if (li > 0 && lm > 0) return 0.0;
      if (li > 0) Hi = g.lelev[li];
      if (lm > 0) Hm = g.lelev[lm];
    }
    if (g.wet_on) wi = g.wmask[i], wm = g.wmask[m];
  }
  const double S = (Hi - Hm) / g.dx;
  if (std::fabs(S) < 1e-16) return 0.0;
  if constexpr (General) {
    if (g.block_on) C = std::max(g.bfrac[m][f.block_m], g.bfrac[i][f.block_i]);
  }
  const bool from_i = S > 0.0;
  const long u = from_i ? i : m;
  const double sign = from_i ? 1.0 : -1.0;
  const int wu = from_i ? wi : wm;
  double d = (from_i ? Hi : Hm) - g.z[u];
  if (wu == 0) d -= g.ret[u];
  if (d < 1e-16) return 0.0;
  if constexpr (!General) {
    const double v = sign * (std::cbrt(d * d) * std::sqrt(std::fabs(S)) / effective_roughness(g, h, u));
    return v * d * g.dx;
  } else {
    double q_low = 0.0, v = 0.0;
    if (wu > 0) {
      // Wetland: Darcy flow through the lower layer, Manning above it.
      const wetland_params& w = g.wet[wu];
      if (d <= w.wet_layer_depth) return d * S * w.wet_layer_k * g.dx;
      q_low = w.wet_layer_depth * S * w.wet_layer_k * g.dx;
      d -= w.wet_layer_depth;
    }
    if (g.snow_on && g.swe[u] > 1e-16) {
      // Darcy flow in snow; 5,489,647.45 = 1000 x 9.81 / 0.001787.
      const double K = g.snow_darcy >= 1e-16 ? g.snow_darcy : g.snap[u][11] / 10000.0 * 5489647.45;
      v = K * S;
    } else if (wu == 0) {
      v = sign * (std::cbrt(d * d) * std::sqrt(std::fabs(S)) / effective_roughness(g, h, u));
    } else {
      const wetland_params& w = g.wet[wu];
      v = sign * (std::cbrt(d * d) * std::sqrt(std::fabs(S)) / w.wet_mannings_n);
      if (d < w.wet_transition_depth)
        v = (1.0 - d / w.wet_transition_depth) * S * w.wet_transition_k + v * d / w.wet_transition_depth;
    }
    return (v * d * g.dx + q_low) * (1.0 - C);
  }
}

// Face flows q[i] of every cell from depths h; the number of NaN flows.
// With `mean_with`, q[i] becomes the mean of the new flow and mean_with[i]
// (the corrector of scheme 3), in the same loop: the flows are read once.
template <bool General, bool Mean>
long ade_fluxes(const overland_grid_view& g, const double* h, double* q, const face_kind& f, int* nan_flag,
                const double* mean_with) {
  long nan_count = 0;
  const int* nbr = f.nbr;
#pragma omp parallel for schedule(static) reduction(+ : nan_count) if (g.n >= parallel_min_items)
  for (long i = 1; i <= g.n; ++i) {
    const double v = ade_face<General>(g, h, i, nbr[i], f);
    if constexpr (Mean)
      q[i] = (v + mean_with[i]) / 2.0;
    else
      q[i] = v;
    if (std::isnan(v)) {
      nan_flag[i] = 1;
      ++nan_count;
    }
  }
  return nan_count;
}

long fluxes(const overland_grid_view& g, const double* h, double* q, const face_kind& f, int* nan_flag,
            const double* mean_with = nullptr) {
  if (mean_with)
    return g.general ? ade_fluxes<true, true>(g, h, q, f, nan_flag, mean_with)
                     : ade_fluxes<false, true>(g, h, q, f, nan_flag, mean_with);
  return g.general ? ade_fluxes<true, false>(g, h, q, f, nan_flag, nullptr)
                   : ade_fluxes<false, false>(g, h, q, f, nan_flag, nullptr);
}

// Prints the NaN face flows in cell order and clears their marks.
void report_nan_flows(long n, int* flag) {
  for (long i = 1; i <= n; ++i) {
    if (!flag[i]) continue;
    std::printf("Flow is a #NAN in grid cell %ld \n", i);
    flag[i] = 0;
  }
}

// Depth change of cell i in a pass, after the blockage of its area.
inline double pass_change(const overland_grid_view& g, const double* q, const int* up, long i, double coef) {
  double dh = coef * (q[up[i]] - q[i]);
  if (g.block_on) {
    const double f = g.bcell[i];
    if (f < 1.0) dh /= (1.0 - f);
  }
  return dh;
}

// What one call books: outlet water, head-boundary loss and gain, and the
// water made by setting small negative depths to 0.
struct call_volumes {
  double outlet = 0, loss = 0, gain = 0, cleanup = 0;
};

// Volumes of the fixed-depth boundary cells of a pass: their change stays
// off their depth and leaves or enters the model.
void book_fixed_cells(main_state& ms, const overland_grid_view& g, call_volumes& v) {
  if (!g.bnd_on) return;
  const double area = g.dx * g.dx;
  const double* aux = ms.ov_aux_depth.data();
  const long outlet = ms.channel_on ? 0 : ms.outlet_cell;
  auto fixed_here = [&](long i) { return g.fixed_cell(i) && !g.lake_cell(i); };
  v.loss += fixed_chunk_sum(1, g.n, [&](long i) {
    return fixed_here(i) && i != outlet && aux[i] > 0.0 ? aux[i] * area : 0.0;
  }, ms.ov_sum_chunks);
  v.gain += fixed_chunk_sum(1, g.n, [&](long i) {
    return fixed_here(i) && i != outlet && aux[i] < 0.0 ? -aux[i] * area : 0.0;
  }, ms.ov_sum_chunks);
  if (outlet > 0 && fixed_here(outlet)) v.outlet += area * aux[outlet];
}

// The depth a cell had before the current pass is its depth, except at the
// outlet cell once it has drained after the last pass: the change limit of
// the pass measures the outlet against its depth before draining.
struct drained_outlet {
  long cell = 0;       // 0 when no drain followed the last pass
  double before = 0;   // its depth after the last pass, before draining (m)
};

// The ADE update of one pass; returns the or-combined status (0 ok, 1
// shorten the next sub-step, 2 and above fail the pass).
template <bool General>
int ade_update(main_state& ms, const overland_grid_view& g, const double* q, const int* up, double ts,
               double* vol, long& n_clipped, const drained_outlet& drained) {
  double* h = ms.ov_depth.data();
  double* aux = ms.ov_aux_depth.data();
  double* clip = ms.ov_clip.data();
  const double coef = ts / (g.dx * g.dx);
  const double limit = ms.ade_change_factor * 0.5;
  int status = 0;
  long clipped = 0;
#pragma omp parallel for schedule(static) reduction(| : status) reduction(+ : clipped) if (g.n >= parallel_min_items)
  for (long i = 1; i <= g.n; ++i) {
    if constexpr (General) {
      if (g.lake_cell(i)) continue;
    }
    const double dh = General ? pass_change(g, q, up, i, coef) : coef * (q[up[i]] - q[i]);
    aux[i] = dh;
    const double before = i == drained.cell ? drained.before : h[i];
    double hn = h[i];
    if (!General || !g.fixed_cell(i)) hn += dh;
    int s = 0;
    if (std::isnan(hn)) {
      s = 2;
    } else if (hn < 0.0) {
      // Beyond the tolerance the pass fails and restarts on a shorter step;
      // a clip above 1e-8 m shortens the next sub-step.
      if (hn < -negative_depth_tolerance)
        s = 2;
      else if (hn < -1e-8)
        s = 1;
      clip_negative_depth(hn, clip, i);
      ++clipped;
    }
    if (s == 0 && std::fabs(dh) > before * limit && before > 0.01 && ts > 0.1) s = 1;
    h[i] = hn;
    vol[i] += q[i] * ts;
    status |= s;
  }
  n_clipped = clipped;
  return status;
}

// Channel-lake and overland-lake bookkeeping of a pass over `ts` seconds,
// made before the update: a lake face that would take more than the lake
// holds carries nothing, so the neighbour never receives it.
void book_lake_faces(main_state& ms, const overland_grid_view& g, double* q, const face_kind& f, double ts) {
  if (g.olake_on) {
    double* dv = ms.olake_dv.data();
    for (long i = 1; i <= g.n; ++i) {
      const int L = g.olake_id[i];
      if (L <= 0) continue;
      const long up = f.upstream[i], dn = f.nbr[i];
      const bool up_out = up == 0 || g.olake_id[up] == 0, dn_out = dn == 0 || g.olake_id[dn] == 0;
      if (up_out) dv[L] += ts * q[up];
      if (dn_out) dv[L] -= ts * q[i];
    }
  }
  if (!g.clake_on) return;
  for (long i = 1; i <= g.n; ++i) {
    const int L = g.lmask[i];
    if (L <= 0) continue;
    const long up = f.upstream[i], dn = f.nbr[i];
    if (up > 0 && g.lmask[up] == 0) {
      double v = ts * q[up];
      if (v > 0.0) {
        ms.lake_in_dv[L] += v;
      } else {
        if (-v > ms.lake_volume[L]) v = 0.0, q[up] = 0.0;
        ms.lake_out_dv[L] -= v;
      }
      ms.lake_volume[L] += v;
    }
    if (dn > 0 && g.lmask[dn] == 0) {
      double v = ts * q[i];
      if (v < 0.0) {
        ms.lake_in_dv[L] += -v;
      } else {
        if (v > ms.lake_volume[L]) v = 0.0, q[i] = 0.0;
        ms.lake_out_dv[L] += v;
      }
      ms.lake_volume[L] -= v;
    }
  }
}

// One ADE pass; false when it failed. The pass updates the drained outlet
// too, so its depth is its own again afterwards.
bool ade_pass(main_state& ms, const overland_grid_view& g, bool x, double ts, call_volumes& v,
              drained_outlet& drained) {
  const face_kind f = x ? x_faces(g) : y_faces(g);
  double* q = x ? ms.ov_qx.data() : ms.ov_qy.data();
  double* vol = x ? ms.ov_vol_x.data() : ms.ov_vol_y.data();
  if (fluxes(g, ms.ov_depth.data(), q, f, ms.ov_face_flag.data()) > 0) report_nan_flows(g.n, ms.ov_face_flag.data());
  if (g.general) book_lake_faces(ms, g, q, f, ts);
  long n_clipped = 0;
  const int status = g.general ? ade_update<true>(ms, g, q, f.upstream, ts, vol, n_clipped, drained)
                               : ade_update<false>(ms, g, q, f.upstream, ts, vol, n_clipped, drained);
  drained = drained_outlet{};
  v.cleanup += take_clipped(ms, n_clipped);
  if (status >= 2) return false;
  book_fixed_cells(ms, g, v);
  ms.ade_step_status = std::max(ms.ade_step_status, status);
  return true;
}

// The outlet cell drains over its slope for ts seconds, never below dry.
void drain_outlet(main_state& ms, const overland_grid_view& g, double ts, call_volumes& v,
                  drained_outlet& drained) {
  if (!outlet_drains(ms, g)) return;
  const long o = ms.outlet_cell;
  drained = drained_outlet{o, ms.ov_depth[o]};
  v.outlet += drain_outlet_cell(ms, g, ts, ms.ov_aux_depth[o]);
}

// Largest stability index of the faces of one direction and its cell: the
// change a cell would see over the sub-step, relative to a quarter of its
// depth (times the change factor).
struct stability {
  double index = 0.0;
  long cell = 0;
};

struct stability_xy {
  stability x, y;
};

// Both directions in one sweep over the cells, from the face flows q_x and
// q_y the last call left: the depths and cell tests are read once. The
// largest index of each fixed chunk of cells is found in cell order and the
// chunks are compared in chunk order, so the cell found is the first cell of
// the largest index for any thread count.
stability_xy ov_ade_stability(main_state& ms, const overland_grid_view& g, const double* q_x, const double* q_y,
                              double dt) {
  const double* h = ms.ov_depth.data();
  const int* left = g.left;
  const int* above = g.above;
  const double coef = dt / (g.dx * g.dx);
  const double scale = 0.25 * ms.ade_change_factor;
  const long n_chunks = sum_chunk_count(1, g.n);
  if (ms.ov_sum_chunks.size() < static_cast<size_t>(4 * n_chunks)) ms.ov_sum_chunks.resize(4 * n_chunks);
  double* best_x = ms.ov_sum_chunks.data();
  double* where_x = best_x + n_chunks;
  double* best_y = where_x + n_chunks;
  double* where_y = best_y + n_chunks;
#pragma omp parallel for schedule(static) if (n_chunks > 1)
  for (long k = 0; k < n_chunks; ++k) {
    const long lo = 1 + k * sum_chunk_size, hi = std::min(g.n, lo + sum_chunk_size - 1);
    double bx = 0.0, by = 0.0;
    long wx = 0, wy = 0;
    for (long i = lo; i <= hi; ++i) {
      if (!(h[i] > 0.01) || g.lake_cell(i)) continue;
      if (g.bnd_on && (is_held_depth_type(g.btype[i]) || is_flux_type(g.btype[i]))) continue;
      double dhx = coef * (q_x[left[i]] - q_x[i]);
      double dhy = coef * (q_y[above[i]] - q_y[i]);
      if (g.block_on) {
        dhx = g.bcell[i] < 1.0 ? dhx / (1.0 - g.bcell[i]) : 0.0;
        dhy = g.bcell[i] < 1.0 ? dhy / (1.0 - g.bcell[i]) : 0.0;
      }
      const double rx = std::fabs(dhx) / (scale * h[i]);
      const double ry = std::fabs(dhy) / (scale * h[i]);
      if (rx > bx) bx = rx, wx = i;
      if (ry > by) by = ry, wy = i;
    }
    best_x[k] = bx;
    where_x[k] = static_cast<double>(wx);
    best_y[k] = by;
    where_y[k] = static_cast<double>(wy);
  }
  stability_xy s;
  for (long k = 0; k < n_chunks; ++k) {
    if (best_x[k] > s.x.index) s.x.index = best_x[k], s.x.cell = static_cast<long>(where_x[k]);
    if (best_y[k] > s.y.index) s.y.index = best_y[k], s.y.cell = static_cast<long>(where_y[k]);
  }
  return s;
}

// The first sub-step of a call, from the previous call's sub-step and the
// stability of the face flows it left.
double first_substep(main_state& ms, const overland_grid_view& g, double span, double dt_min) {
  double dt = span;
  if (ms.ov_route_count == 0) {
    ms.ade_change_factor = 1.0;
    ms.ade_ok_steps = 0;
  }
  ms.ade_worst_cell = 0;
  if (ms.ov_route_count <= 1) return dt;
  if (span - ms.ade_prev_substep > 0.001) dt = ms.ade_prev_substep;
  const stability_xy s = ov_ade_stability(ms, g, ms.ov_qx.data(), ms.ov_qy.data(), dt);
  const stability& worst = s.x.index > s.y.index ? s.x : s.y;
  ms.ade_worst_cell = static_cast<int>(worst.cell);
  if (worst.index > 1.0 && dt > 0.1) {
    dt /= worst.index;
    if (dt < dt_min) dt = 1.1 * dt_min;
  } else if (worst.index < 0.5 && dt * 1.4 <= span + 1e-16) {
    dt *= 1.4;
    ++ms.ade_ok_steps;
  }
  if (ms.ade_change_factor < 1.0 && ms.ade_ok_steps > 100) {
    ms.ade_change_factor *= 2.0;
    ms.ade_ok_steps = 0;
  }
  return dt;
}

void print_small_step(double dt, double dt_min, long worst) {
  std::printf("The ADE overland routing time step is getting really small\n");
  std::printf("Your time step is %lf seconds \n", dt);
  std::printf("Minimum time step allowed for your problem is %lf seconds \n", dt_min);
  std::printf("The biggest instability problem was encountered at cell %ld \n", worst);
  std::printf("Reduce the model time step by a factor of 2 and try again.\n");
  std::printf("Program stopped.\n");
}

// Scheme 2: adaptive sub-steps over the span, restarted from the span's
// start with half the sub-step when a pass fails. False after a stop.
bool route_ade_substeps(main_state& ms, const overland_grid_view& g, double span, call_volumes& v) {
  const double dt_min = g.dx * 0.001 / 100.0;
  double dt = first_substep(ms, g, span, dt_min);
  double* h = ms.ov_depth.data();
  double* start = ms.ov_depth_new.data();
  double* vx = ms.ov_vol_x.data();
  double* vy = ms.ov_vol_y.data();
  bool failed = false;
  for (;;) {
    if (g.clake_on) {
      for (long L = 1; L <= ms.n_lakes; ++L) {
        if (failed) ms.lake_volume[L] = ms.lake_volume[L] - ms.lake_in_dv[L] + ms.lake_out_dv[L];
        ms.lake_in_dv[L] = ms.lake_out_dv[L] = 0.0;
      }
    }
    ms.ade_step_status = 0;
    if (g.olake_on) std::fill(ms.olake_dv.begin(), ms.olake_dv.end(), 0.0);
    if (dt < dt_min) {
      print_small_step(dt, dt_min, ms.ade_worst_cell);
      return false;
    }
    // The span starts from the depths of its start (kept for a restart) and
    // no water through the faces yet.
#pragma omp parallel for schedule(static) if (g.n >= parallel_min_items)
    for (long i = 1; i <= g.n; ++i) {
      if (g.general && g.lake_cell(i)) continue;
      if (failed)
        h[i] = start[i];
      else
        start[i] = h[i];
      vx[i] = vy[i] = 0.0;
    }
    v = call_volumes{};
    drained_outlet drained;
    double remaining = span;
    bool ok = true;
    while (ok && remaining > 1e-16) {
      if (ms.ade_step_status == 1) {
        dt *= 0.6;
        if (dt < dt_min) dt = 1.1 * dt_min;
      }
      ms.ade_prev_substep = dt;
      remaining -= dt;
      double ts = dt;
      if (dt * 0.5 > remaining) {
        ts = dt + remaining;
        remaining = 0.0;
      }
      ms.ade_step_status = 0;
      const bool x_first = ms.ov_toggle == 1;
      ok = ade_pass(ms, g, x_first, ts, v, drained) && ade_pass(ms, g, !x_first, ts, v, drained);
      if (ok) drain_outlet(ms, g, ts, v, drained);
    }
    if (ok) break;
    dt *= 0.5;
    ms.ade_change_factor *= 0.5;
    ms.ade_ok_steps = 0;
    failed = true;
  }
  if (g.olake_on)
    for (long L = 1; L <= ms.n_olakes; ++L) ms.olake_table[L].step_inflow += ms.olake_dv[L];
  return true;
}

// A cell gives in a pass no more water than it holds at the pass's start:
// when the faces that leave it would take more, they are scaled down
// together, so the averaged flows leave no cell below dry however long the
// span. Lake cells give from their lake, whose bookkeeping limits it, and
// cells whose depth a boundary sets give boundary water: neither is limited.
void limit_donors(main_state& ms, const overland_grid_view& g, double* q, const face_kind& f, double coef) {
  const double* h = ms.ov_depth.data();
  double* out = ms.ov_outflow_depth.data();
  const int* up = f.upstream;
  const int* nbr = f.nbr;
#pragma omp parallel for schedule(static) if (g.n >= parallel_min_items)
  for (long i = 1; i <= g.n; ++i) {
    if (g.general && (g.lake_cell(i) || g.fixed_cell(i))) {
      out[i] = 0.0;
      continue;
    }
    double o = coef * (std::max(q[i], 0.0) + std::max(-q[up[i]], 0.0));
    if (g.block_on && g.bcell[i] < 1.0) o /= (1.0 - g.bcell[i]);
    out[i] = o;
  }
#pragma omp parallel for schedule(static) if (g.n >= parallel_min_items)
  for (long i = 1; i <= g.n; ++i) {
    const long donor = q[i] > 0.0 ? i : q[i] < 0.0 ? nbr[i] : 0;
    if (donor > 0 && out[donor] > h[donor]) q[i] *= h[donor] / out[donor];
  }
}

// One predictor-corrector pass of scheme 3 over the whole span.
void pc_pass(main_state& ms, const overland_grid_view& g, bool x, double span, call_volumes& v) {
  const face_kind f = x ? x_faces(g) : y_faces(g);
  double* h = ms.ov_depth.data();
  double* pred = ms.ov_depth_pred.data();
  double* qp = ms.ov_q_pred.data();
  double* q = x ? ms.ov_qx.data() : ms.ov_qy.data();
  double* aux = ms.ov_aux_depth.data();
  int* flag = ms.ov_face_flag.data();
  const double coef = span / (g.dx * g.dx);
  const int* up = f.upstream;

  // Predictor: flows from the depths, depths moved by them.
  if (fluxes(g, h, qp, f, flag) > 0) report_nan_flows(g.n, flag);
#pragma omp parallel for schedule(static) if (g.n >= parallel_min_items)
  for (long i = 1; i <= g.n; ++i) {
    if (g.general && (g.lake_cell(i) || g.fixed_cell(i))) continue;
    pred[i] = h[i] + (g.general ? pass_change(g, qp, up, i, coef) : coef * (qp[up[i]] - qp[i]));
  }
  if (outlet_drains(ms, g)) {
    const long o = ms.outlet_cell;
    double dp = 0.5 * coef * outlet_flow(ms, g, pred);
    if (g.block_on && g.bcell[o] < 1.0) dp /= (1.0 - g.bcell[o]);
    pred[o] -= dp;
  }
  // Corrector: flows from the predicted depths, averaged with the predictor's.
  if (fluxes(g, pred, q, f, flag, qp) > 0) report_nan_flows(g.n, flag);
  limit_donors(ms, g, q, f, coef);
  if (g.general) book_lake_faces(ms, g, q, f, span);

  // Round-off can leave a drained donor a hair below dry: it is set to 0
  // and the water that makes is booked, as in the sub-stepped scheme.
  double* clip = ms.ov_clip.data();
  long clipped = 0;
#pragma omp parallel for schedule(static) reduction(+ : clipped) if (g.n >= parallel_min_items)
  for (long i = 1; i <= g.n; ++i) {
    if (g.general && g.lake_cell(i)) continue;
    double dh = coef * (q[up[i]] - q[i]);
    const bool fixed = g.general && g.fixed_cell(i);
    if (g.block_on && g.bcell[i] < 1.0 && (x || !fixed)) dh /= (1.0 - g.bcell[i]);
    aux[i] = dh;
    if (fixed) continue;
    h[i] += dh;
    if (clip_negative_depth(h[i], clip, i)) ++clipped;
  }
  v.cleanup += take_clipped(ms, clipped);
  book_fixed_cells(ms, g, v);

  if (outlet_drains(ms, g)) {
    const long o = ms.outlet_cell;
    const double q_half = 0.5 * outlet_flow(ms, g, h);
    const bool blocked = g.block_on && g.bcell[o] < 1.0;
    double dh = coef * q_half;
    if (blocked) dh /= (1.0 - g.bcell[o]);
    aux[o] = dh;
    if (dh > h[o]) {
      v.outlet += g.dx * g.dx * h[o] * (!x && blocked ? 1.0 - g.bcell[o] : 1.0);
      h[o] = 0.0;
    } else {
      h[o] -= dh;
      v.outlet += span * q_half;
    }
  }
}

// Scheme 3: one predictor-corrector pass per direction.
void route_ade_pc(main_state& ms, const overland_grid_view& g, double span, call_volumes& v) {
  // Every pass writes the face flows of all cells and the depth change of
  // every cell outside lakes, and its predictor the predicted depth of every
  // cell that is neither a lake nor a fixed-depth cell. Only those cells'
  // predicted depths start from the depth; with no such cells nothing needs
  // setting up.
  if (g.general) {
    double* pred = ms.ov_depth_pred.data();
    const double* h = ms.ov_depth.data();
#pragma omp parallel for schedule(static) if (g.n >= parallel_min_items)
    for (long i = 1; i <= g.n; ++i)
      if (!g.lake_cell(i)) pred[i] = h[i];
  }
  const bool x_first = ms.ov_toggle == 1;
  pc_pass(ms, g, x_first, span, v);
  pc_pass(ms, g, !x_first, span, v);
}

// Entry check of the depths: NaN stops; a negative depth is reported, stops
// beyond the tolerance and is otherwise set to 0 with the water it makes
// booked.
bool entry_check(main_state& ms) {
  const double* h = ms.ov_depth.data();
  long bad = 0;
#pragma omp parallel for schedule(static) reduction(+ : bad) if (ms.n_cells >= parallel_min_items)
  for (long i = 1; i <= ms.n_cells; ++i)
    if (!(h[i] >= 0.0)) ++bad;
  if (bad == 0) return true;
  const double area = ms.dx * ms.dx;
  for (long i = 1; i <= ms.n_cells; ++i) {
    double& d = ms.ov_depth[i];
    if (std::isnan(d)) {
      std::printf("Overland depth is NaN at beginning of overland routing time step in cell %ld \n", i);
      std::printf("Program stopped.\n");
      return false;
    }
    if (d < 0.0) {
      std::printf("Negative depth encountered at the beginning of the overland routing time step in cell %ld \n", i);
      if (d < -negative_depth_tolerance) {
        std::printf("Program stopped.\n");
        return false;
      }
      ms.ov_cleanup_error_total += -d * area;
      d = 0.0;
    }
  }
  return true;
}

}  // namespace

double ov_route_ade(main_state& ms, double span) {
  prepare_overland_arrays(ms);
  if (!entry_check(ms)) {
    error_rec.code = already_printed_code;
    report_error(error_rec);
    return -1.0;
  }
  const overland_grid_view g = make_overland_view(ms);
  call_volumes v;
  if (ms.overtype == 2) {
    if (!route_ade_substeps(ms, g, span, v)) {
      error_rec.code = already_printed_code;
      report_error(error_rec);
      return -1.0;
    }
  } else if (ms.overtype == 3) {
    route_ade_pc(ms, g, span, v);
  }
  if (ms.lowspot_on) {
    double into = 0.0, from = 0.0;
    dike_flow(ms, span, into, from);
    v.loss += into;
    v.gain += from;
  }
  ms.vol_ov_head_bound_out_total += v.loss;
  ms.vol_ov_head_bound_in_total += v.gain;
  ms.ov_cleanup_error_total += v.cleanup;
  ms.ov_outlet_vol = v.outlet;
  return v.outlet;
}

}  // namespace kavro
