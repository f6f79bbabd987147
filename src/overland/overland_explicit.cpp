// The explicit overland solver: Manning flows through the right and lower
// face of every cell, both sweeps reading the depths of the start of the
// sub-step. Every face flow is computed first (read-only over the depths),
// then each cell gathers its inflow and outflow in the order a sequential
// sweep adds them, so the result is the same for any thread count. A face
// past the celerity limit, or a donor cell whose outgoing faces together
// would take more than it holds, cuts the step into thirds (up to five
// times) and starts it again; the reduced step is kept for the next four
// calls. A depth still left below dry is set to 0 and the water that makes
// is booked as the overland cleanup.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "input/ascii_map.h"
#include "overland/overland_flow.h"
#include "overland/overland_grid_view.h"

namespace kavro {

namespace {

// Diagnostic switch: write grids of the NaN cells after every call.
constexpr bool write_nan_grids = false;

enum class variant { plain, channel_lake, overland_lake };

struct sweep_faces {
  const int* nbr;      // neighbour across the face
  const int* up;       // neighbour across the opposite face
  const double* s0;    // bed slope toward the neighbour
  int dike_bit;        // embankment bit of the face
};

struct explicit_view {
  overland_grid_view g;
  variant kind = variant::plain;
  const double* h = nullptr;
};

// Manning flow per unit width (m2/s) over a face with friction slope sf and
// flow depth d, roughness n.
inline double manning_q(double sf, double d, double n) {
  if (!(d > 0.0)) return 0.0;
  return (sf >= 0.0 ? 1.0 : -1.0) * std::sqrt(std::fabs(sf)) / n * pow_five_thirds(d);
}

inline double floor_slope(double sf) { return std::fabs(sf) < 1e-20 ? 1e-20 : sf; }

// Wetland flow law over a face whose upstream wetland is W.
inline double wetland_blend(const wetland_params& w, double sf, double e) {
  const double m = (sf >= 0.0 ? 1.0 : -1.0) * std::sqrt(std::fabs(sf)) / w.wet_mannings_n * pow_five_thirds(e);
  if (e > w.wet_transition_depth) return m;
  const double r = e / w.wet_transition_depth;
  return m * r + (1.0 - r) * e * sf * w.wet_transition_k;
}

// Face between two cells outside lakes where cell i is a wetland cell.
double wetland_face(const explicit_view& v, long i, long j, double sf) {
  const overland_grid_view& g = v.g;
  const wetland_params& w = g.wet[g.wmask[i]];
  const bool j_wet = g.wmask[j] >= 1;
  double b, h_up;
  if (sf >= 0.0) {
    b = v.h[i] - w.wet_layer_depth;
    h_up = v.h[i];
  } else {
    b = j_wet ? v.h[j] - w.wet_layer_depth : v.h[j] - g.ret[j];
    h_up = j_wet ? v.h[j] : 0.0;
  }
  if (b <= 0.0) return sf * h_up * w.wet_layer_k;
  if (j_wet) return sf * w.wet_layer_depth * w.wet_layer_k + wetland_blend(w, sf, b);
  if (sf >= 0.0) return pow_five_thirds(b) * std::sqrt(sf) / g.rough[j];
  return -std::sqrt(std::fabs(sf)) / g.rough[i] * pow_five_thirds(b);
}

// Lake number of cell c in the variant's lakes (0 outside), and its level.
inline int lake_of(const explicit_view& v, long c) {
  if (v.kind == variant::channel_lake) return v.g.clake_on ? v.g.lmask[c] : 0;
  if (v.kind == variant::overland_lake) return v.g.olake_on ? v.g.olake_id[c] : 0;
  return 0;
}
inline double lake_level(const explicit_view& v, int L) {
  return v.kind == variant::channel_lake ? v.g.lelev[L] : v.g.olakes[L].level;
}

// Face with cell i outside and cell j in lake L.
double into_lake_face(const explicit_view& v, long i, int L) {
  const overland_grid_view& g = v.g;
  const double H = lake_level(v, L);
  const double sf = floor_slope((v.h[i] + g.z[i] - H) / g.dx + 1e-20);
  if (g.wet_on && g.wmask[i] >= 1) {
    const wetland_params& w = g.wet[g.wmask[i]];
    const double b = v.h[i] - w.wet_layer_depth;
    if (b <= 0.0) return sf * v.h[i] * w.wet_layer_k;
    return sf * w.wet_layer_depth * w.wet_layer_k + wetland_blend(w, sf, b);
  }
  double d = v.h[i] - g.ret[i];
  if (v.kind == variant::channel_lake && sf <= 0.0) d = H - g.z[i];
  return manning_q(sf, d, g.rough[i]);
}

// Face with cell i in lake L and cell j outside.
double out_of_lake_face(const explicit_view& v, long j, int L, bool x_sweep) {
  const overland_grid_view& g = v.g;
  const double H = lake_level(v, L);
  double sf = (H - (g.z[j] + v.h[j])) / g.dx;
  if (v.kind == variant::overland_lake) sf += 1e-20;
  sf = floor_slope(sf);
  if (g.wet_on && g.wmask[j] >= 1) {
    const wetland_params& w = g.wet[g.wmask[j]];
    const double b = v.h[j] - w.wet_layer_depth;
    double e = b;
    if (v.kind == variant::channel_lake && x_sweep && sf >= 0.0) e = H - g.z[j] - w.wet_layer_depth;
    if (b <= 0.0) return sf * v.h[j] * w.wet_layer_k;
    return sf * w.wet_layer_depth * w.wet_layer_k + wetland_blend(w, sf, e);
  }
  double d = v.h[j] - g.ret[j];
  if (v.kind == variant::channel_lake && sf >= 0.0) d = H - g.z[j];
  return manning_q(sf, d, g.rough[j]);
}

// Unit-width flow from i to j (m2/s, positive toward j). A face that the
// variant closes, or whose upstream cell holds no water above its
// retention, carries 0.
template <bool General>
inline double explicit_face(const explicit_view& v, const sweep_faces& f, long i, bool x_sweep) {
  const long j = f.nbr[i];
  if (j == 0) return 0.0;
  const overland_grid_view& g = v.g;
  const double* h = v.h;
  if constexpr (!General) {
    const double sf = floor_slope(f.s0[i] - (h[j] - h[i]) / g.dx + 1e-30);
    // The flow depth is the upstream cell's water above its own retention.
    const long u = sf >= 0.0 ? i : j;
    const double d = h[u] - g.ret[u];
    if (d <= 0.0) return 0.0;
    return manning_q(sf, d, g.rough[i]);
  } else {
    if (g.dike_on && (g.dike[i] & f.dike_bit)) return 0.0;
    const int li = lake_of(v, i), lj = lake_of(v, j);
    if (li > 0 && lj > 0) return 0.0;
    if (lj > 0) return into_lake_face(v, i, lj);
    if (li > 0) return out_of_lake_face(v, j, li, x_sweep);
    const double eps = v.kind == variant::plain ? 1e-30 : 1e-20;
    const double sf = floor_slope(f.s0[i] - (h[j] - h[i]) / g.dx + eps);
    if (g.wet_on && g.wmask[i] >= 1) return wetland_face(v, i, j, sf);
    const long u = sf >= 0.0 ? i : j;
    const double d = h[u] - g.ret[u];
    if (d <= 0.0 && v.kind != variant::overland_lake) return 0.0;
    return manning_q(sf, d, g.rough[i]);
  }
}

// Computes every face flow of one sweep into q.
template <bool General>
void sweep_flows(const explicit_view& v, const sweep_faces& f, bool x_sweep, double* q) {
#pragma omp parallel for schedule(static) if (v.g.n >= parallel_min_items)
  for (long i = 1; i <= v.g.n; ++i) q[i] = explicit_face<General>(v, f, i, x_sweep);
}

void flows(const explicit_view& v, const sweep_faces& f, bool x, double* q) {
  if (v.g.general)
    sweep_flows<true>(v, f, x, q);
  else
    sweep_flows<false>(v, f, x, q);
}

// Depth each cell gives over a sub-step of dt_s (m): through its own right
// and lower faces where they flow away from it, and through the faces of its
// left and upper neighbours where they flow toward them. Both sweeps read the
// depths of the start of the sub-step, so a donor is limited by what all of
// its outgoing faces take together.
void donor_outflow(const explicit_view& v, const double* qx, const double* qy, double dt_s, double* out) {
  const double k = dt_s / v.g.dx;
  const int* left = v.g.left;
  const int* above = v.g.above;
#pragma omp parallel for schedule(static) if (v.g.n >= parallel_min_items)
  for (long i = 1; i <= v.g.n; ++i) {
    const double o = std::max(qx[i], 0.0) + std::max(-qx[left[i]], 0.0) + std::max(qy[i], 0.0) +
                     std::max(-qy[above[i]], 0.0);
    out[i] = o * k;
  }
}

// Split check of a face that carries flow: the celerity number of the face
// (depth moved through it in one sub-step, m) stays below 0.06, and the
// donor (the cell the flow leaves) does not give through all its faces more
// than it holds beyond the negative-depth tolerance. A channel lake gives
// from the lake, which no sub-step empties.
inline bool face_fails(const explicit_view& v, long i, long j, double q, double dt_s, const double* out) {
  if (q == 0.0) return false;
  const long donor = q > 0.0 ? i : j;
  if (v.kind == variant::channel_lake && lake_of(v, donor) > 0) return false;
  return std::fabs(q * dt_s / v.g.dx) >= 0.06 || v.h[donor] - out[donor] < -negative_depth_tolerance;
}

// Marks the failing faces of one sweep (flag 1; the flags are 0 on entry,
// and report_failures clears them); returns their number.
long mark_failures(const explicit_view& v, const sweep_faces& f, const double* q, double dt_s,
                   const double* out, int* flag) {
  long n_fail = 0;
#pragma omp parallel for schedule(static) reduction(+ : n_fail) if (v.g.n >= parallel_min_items)
  for (long i = 1; i <= v.g.n; ++i)
    if (face_fails(v, i, f.nbr[i], q[i], dt_s, out)) flag[i] = 1, ++n_fail;
  return n_fail;
}

// State of one call.
struct call_state {
  double dt_s = 0;   // sub-step (s)
  int stop = 0;      // no further reduction in this call
  int n_reduced = 0; // reductions made in this call
};

// Reports the failing faces of a sweep in cell order and clears their
// flags; returns the count of failures that ask for a reduction.
// The donor's change `dhh` is what it gives through all its faces.
long report_failures(const main_state& ms, const explicit_view& v, const sweep_faces& f, bool x_sweep,
                     const double* q, const double* out, int* flag, call_state& cs) {
  long failures = 0;
  bool stopped = false;  // a plain sweep at the smallest step reports no further face
  for (long i = 1; i <= v.g.n; ++i) {
    if (!flag[i]) continue;
    flag[i] = 0;
    if (stopped) continue;
    const long j = f.nbr[i];
    const long donor = q[i] > 0.0 ? i : j;
    const double c = std::fabs(q[i] * cs.dt_s / v.g.dx);
    const double dhh = -out[donor];
    if (v.kind == variant::plain) {
      std::printf("need to split...(%s) curr_du=%lf, dhh=%lf, h[j]+dhh=%lf\n", x_sweep ? "x-dir" : "y-dir", c, dhh,
                  v.h[donor] + dhh);
      if (cs.dt_s <= 0.005) {
        cs.stop += 1;
        stopped = true;
        continue;
      }
      ++failures;
      continue;
    }
    if (cs.stop) continue;
    ++failures;
    if (ms.quiet_on) continue;
    const char* dir = x_sweep ? "x" : "y";
    if (c > 0.06) {
      std::printf("  ]%s:_U_%2.4lf H%2.4lf Q:%4.2lf dt:%4.2lf j:%d\n", dir, c, dhh, q[i], cs.dt_s, static_cast<int>(i));
      std::printf("    -> Cell Exceded Celerity Check\n");
    } else {
      std::printf("  ]%s: h+dh < 0.00   (h+dh=%lf)  j:%d\n", dir, v.h[donor] + dhh, static_cast<int>(i));
      std::printf("    -> Outflow Exceeded Water Depth\n");
    }
  }
  return failures;
}

// After a sweep: true when the step must start again on a shorter sub-step.
bool reduce_after_sweep(main_state& ms, variant kind, long failures, call_state& cs) {
  if (kind == variant::plain && cs.stop > 0) {
    cs.stop = 1;
    return false;
  }
  if (failures <= 0 || cs.stop) return false;
  if (kind == variant::channel_lake && cs.dt_s <= 0.005) {
    cs.stop = 1;
    return false;
  }
  if (cs.n_reduced < 5) {
    cs.dt_s /= 3.0;
    if (!ms.quiet_on) std::printf(" *Changing overland time step to %4.2lf seconds...\n", cs.dt_s);
    ms.explicit_reduced_step = cs.dt_s;
    ms.explicit_reduced_calls = 4;
    ++cs.n_reduced;
    return true;
  }
  cs.stop = 1;
  if (!ms.quiet_on) std::printf(" *Time step to small to divide, continuing with current time step\n");
  return false;
}

// Books the channel-lake faces of a sub-step of ts seconds: exactly the
// flows the sweeps moved.
void book_channel_lake_faces(main_state& ms, const explicit_view& v, double ts) {
  const double dx = v.g.dx;
  for (long i = 1; i <= v.g.n; ++i) {
    for (int dir = 0; dir < 2; ++dir) {
      const long j = dir == 0 ? v.g.right[i] : v.g.below[i];
      const double q = dir == 0 ? ms.ov_qx[i] : ms.ov_qy[i];
      if (j == 0 || q == 0.0) continue;
      const int li = lake_of(v, i), lj = lake_of(v, j);
      const double vol = q * ts * dx;  // positive from i to j
      if (li == 0 && lj > 0) {
        ms.lake_volume[lj] += vol;
        (vol > 0.0 ? ms.lake_in_dv[lj] : ms.lake_out_dv[lj]) += std::fabs(vol);
      } else if (li > 0 && lj == 0) {
        ms.lake_volume[li] -= vol;
        (vol > 0.0 ? ms.lake_out_dv[li] : ms.lake_in_dv[li]) += std::fabs(vol);
      }
    }
  }
}

// Books the overland-lake faces of the pass (x or y) of ts seconds.
void book_overland_lake_faces(main_state& ms, const explicit_view& v, const double* q, const int* nbr, double ts) {
  for (long i = 1; i <= v.g.n; ++i) {
    const long j = nbr[i];
    if (j == 0 || q[i] == 0.0) continue;
    const int li = lake_of(v, i), lj = lake_of(v, j);
    if (li == 0 && lj > 0) ms.olake_table[lj].step_inflow += q[i] * ts * v.g.dx;
    if (li > 0 && lj == 0) ms.olake_table[li].step_inflow -= q[i] * ts * v.g.dx;
  }
}

// Gathers the flows of the sweeps into the depths of the cells outside the
// variant's lakes, in the order a sequential sweep would add them. A depth
// left below dry is set to 0 (its water noted for the cleanup); returns the
// number of such cells.
long apply_flows(main_state& ms, const explicit_view& v, const double* q_first, const int* up_first,
                 const double* q_second, const int* up_second, double ts) {
  double* h = ms.ov_depth.data();
  double* clip = ms.ov_clip.data();
  const double dx = v.g.dx;
  const bool lakes = v.kind != variant::plain;
  long clipped = 0;
#pragma omp parallel for schedule(static) reduction(+ : clipped) if (v.g.n >= parallel_min_items)
  for (long i = 1; i <= v.g.n; ++i) {
    if (lakes && lake_of(v, i) > 0) continue;
    double d = 0.0;
    d += q_first[up_first[i]] * ts / dx;
    d -= q_first[i] * ts / dx;
    if (q_second) {
      d += q_second[up_second[i]] * ts / dx;
      d -= q_second[i] * ts / dx;
    }
    h[i] += d;
    if (clip_negative_depth(h[i], clip, i)) ++clipped;
  }
  return clipped;
}

// The faces of the two sweeps of a sub-stepped call, in this call's order.
struct sweep_pair {
  sweep_faces first, second;
  bool y_first = false;
  double* q_first = nullptr;
  double* q_second = nullptr;
};

// Checks the faces of one sweep after a sub-step's flows; true when the step
// must start again on a shorter sub-step.
bool sweep_asks_restart(main_state& ms, const explicit_view& v, const sweep_faces& f, bool x_sweep,
                        const double* q, call_state& cs) {
  const double* out = ms.ov_outflow_depth.data();
  int* flag = ms.ov_face_flag.data();
  long fails = mark_failures(v, f, q, cs.dt_s, out, flag);
  if (fails > 0) fails = report_failures(ms, v, f, x_sweep, q, out, flag, cs);
  return reduce_after_sweep(ms, v.kind, fails, cs);
}

// One attempt at the step: sub-steps from the depths of the call's entry
// until `dt` has passed, the last one clipped to end at `dt`. False when a
// split check asks for a restart on a shorter sub-step. `cleanup` gains the
// water (m3) the attempt's clipping made.
bool attempt_step(main_state& ms, const explicit_view& v, const sweep_pair& s, double dt, call_state& cs,
                  double& cleanup) {
  const bool clake = v.kind == variant::channel_lake;
  // The constituent transport moves mass with each face's mean flow over
  // the call: with more than one sub-step the flows are summed and averaged.
  const bool mean_flows = !ms.explicit_qx_sum.empty();
  double* sum_x = mean_flows ? ms.explicit_qx_sum.data() : nullptr;
  double* sum_y = mean_flows ? ms.explicit_qy_sum.data() : nullptr;
  double* qx = ms.ov_qx.data();
  double* qy = ms.ov_qy.data();
  const long n = v.g.n;
  int sub_steps = 0;
  double elapsed = 0.0;
  for (;;) {
    const double ts = std::min(cs.dt_s, dt - elapsed);
    flows(v, s.first, !s.y_first, s.q_first);
    flows(v, s.second, s.y_first, s.q_second);
    const bool x_first = !s.y_first;
    donor_outflow(v, x_first ? s.q_first : s.q_second, x_first ? s.q_second : s.q_first, cs.dt_s,
                  ms.ov_outflow_depth.data());
    if (sweep_asks_restart(ms, v, s.first, x_first, s.q_first, cs)) return false;
    if (sweep_asks_restart(ms, v, s.second, !x_first, s.q_second, cs)) return false;
    if (clake) book_channel_lake_faces(ms, v, ts);
    const long clipped = apply_flows(ms, v, s.q_first, s.first.up, s.q_second, s.second.up, ts);
    cleanup += take_clipped(ms, clipped);
    if (mean_flows) {
      const bool first = sub_steps == 0;
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
      for (long i = 1; i <= n; ++i) {
        sum_x[i] = (first ? 0.0 : sum_x[i]) + qx[i] * ts;
        sum_y[i] = (first ? 0.0 : sum_y[i]) + qy[i] * ts;
      }
    }
    ++sub_steps;
    elapsed += ts;
    if (std::fabs(elapsed - dt) < 1e-4 || elapsed >= dt) {
      if (mean_flows && sub_steps > 1) {
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
        for (long i = 1; i <= n; ++i) {
          qx[i] = sum_x[i] / elapsed;
          qy[i] = sum_y[i] / elapsed;
        }
      }
      return true;
    }
  }
}

// Puts the call's entry state back before an attempt: the depths (only
// after a failed attempt: the first starts from them), and in the
// channel-lake variant the face flows and the lakes.
void restore_entry_state(main_state& ms, const explicit_view& v, bool after_failure) {
  const bool clake = v.kind == variant::channel_lake;
  if (after_failure || clake) {
    double* h = ms.ov_depth.data();
    const double* saved = ms.explicit_saved_depth.data();
    double* qx = ms.ov_qx.data();
    double* qy = ms.ov_qy.data();
    const long n = v.g.n;
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
    for (long i = 1; i <= n; ++i) {
      if (after_failure) h[i] = saved[i];
      if (clake) qx[i] = qy[i] = 0.0;
    }
  }
  if (!clake) return;
  for (long L = 1; L <= ms.n_lakes; ++L) {
    ms.lake_elev[L] = ms.explicit_saved_lake_elev[L];
    ms.lake_volume[L] = ms.explicit_saved_lake_volume[L];
    ms.lake_in_dv[L] = ms.lake_out_dv[L] = 0.0;
  }
}

// The sub-stepped variants (plain and channel-lake): attempts until one
// runs the whole step. Returns the water (m3) its clipping made.
double substepped(main_state& ms, const explicit_view& v, double dt, call_state& cs) {
  const overland_grid_view& g = v.g;
  const sweep_faces fx{g.right, g.left, ms.slope_right.data(), 2};
  const sweep_faces fy{g.below, g.above, ms.slope_below.data(), 4};
  sweep_pair s;
  s.y_first = ms.explicit_sweep_toggle == 1;
  s.first = s.y_first ? fy : fx;
  s.second = s.y_first ? fx : fy;
  s.q_first = s.y_first ? ms.ov_qy.data() : ms.ov_qx.data();
  s.q_second = s.y_first ? ms.ov_qx.data() : ms.ov_qy.data();
  for (bool after_failure = false;; after_failure = true) {
    restore_entry_state(ms, v, after_failure);
    double cleanup = 0.0;
    if (attempt_step(ms, v, s, dt, cs, cleanup)) return cleanup;
  }
}

// The overland-lake variant: one x pass and one y pass over the whole dt.
// Returns the water (m3) its clipping made.
double overland_lake_pass(main_state& ms, const explicit_view& v, double dt) {
  const overland_grid_view& g = v.g;
  const sweep_faces fx{g.right, g.left, ms.slope_right.data(), 2};
  const sweep_faces fy{g.below, g.above, ms.slope_below.data(), 4};
  flows(v, fx, true, ms.ov_qx.data());
  book_overland_lake_faces(ms, v, ms.ov_qx.data(), g.right, dt);
  double cleanup = take_clipped(ms, apply_flows(ms, v, ms.ov_qx.data(), g.left, nullptr, nullptr, dt));
  flows(v, fy, false, ms.ov_qy.data());
  book_overland_lake_faces(ms, v, ms.ov_qy.data(), g.below, dt);
  cleanup += take_clipped(ms, apply_flows(ms, v, ms.ov_qy.data(), g.above, nullptr, nullptr, dt));
  return cleanup;
}

}  // namespace

double ov_route_explicit(main_state& ms, double dt) {
  prepare_overland_arrays(ms);
  const long n = ms.n_cells;
  ms.explicit_sweep_toggle = (ms.explicit_sweep_toggle + 1) % 2;
  call_state cs;
  if (ms.explicit_reduced_calls >= 1) {
    cs.dt_s = ms.explicit_reduced_step;
    ms.explicit_reduced_active = 1;
    --ms.explicit_reduced_calls;
  } else {
    cs.dt_s = dt;
    if (ms.explicit_reduced_active && !ms.quiet_on) std::printf("Resetting time step to %4.2lf for overland flow...\n", dt);
    ms.explicit_reduced_active = 0;
  }
  // The depths of the call's entry, for a restart on a shorter sub-step; the
  // explicit sweeps hand no depth change beside the depths.
  const double* h0 = ms.ov_depth.data();
  double* saved = ms.explicit_saved_depth.data();
  double* aux = ms.ov_aux_depth.data();
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long i = 1; i <= n; ++i) {
    saved[i] = h0[i];
    aux[i] = 0.0;
  }
  if (ms.lakes_on && ms.n_lakes > 0) {
    for (long L = 1; L <= ms.n_lakes; ++L) {
      ms.explicit_saved_lake_elev[L] = ms.lake_elev[L];
      ms.explicit_saved_lake_volume[L] = ms.lake_volume[L];
    }
  }

  if (ms.ov_contam_on && ms.explicit_qx_sum.empty()) {
    ms.explicit_qx_sum.allocate(n);
    ms.explicit_qy_sum.allocate(n);
  }
  explicit_view v;
  v.g = make_overland_view(ms);
  v.h = ms.ov_depth.data();
  // The explicit sweeps leave fixed-depth boundary cells to the boundary step.
  v.g.bnd_on = false;
  v.g.general = v.g.dike_on || v.g.olake_on || v.g.clake_on || v.g.wet_on;
  if (ms.lakes_on || (ms.overland_lake_on != 0 && ms.overland_lake_on != 1))
    v.kind = variant::channel_lake;
  else if (ms.overland_lake_on == 1)
    v.kind = variant::overland_lake;
  ms.ov_cleanup_error_total +=
      v.kind == variant::overland_lake ? overland_lake_pass(ms, v, dt) : substepped(ms, v, dt, cs);

  if (ms.lowspot_on) {
    double into = 0.0, from = 0.0;
    dike_flow(ms, dt, into, from);
    ms.vol_ov_head_bound_out_total += into;
    ms.vol_ov_head_bound_in_total += from;
  }
  double outlet_vol = 0.0;
  if (outlet_drains(ms, v.g)) {
    double dh = 0.0;
    outlet_vol = drain_outlet_cell(ms, v.g, dt, dh);
  }
  double* qx = ms.ov_qx.data();
  double* qy = ms.ov_qy.data();
  const double dx = ms.dx;
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long i = 1; i <= n; ++i) {
    qx[i] *= dx;
    qy[i] *= dx;
  }
  if constexpr (write_nan_grids) {
    write_nan_map(ms, "dh_nan", ms.ov_aux_depth);
    write_nan_map(ms, "h_nan", ms.ov_depth);
  }
  ms.ov_outlet_vol = outlet_vol;
  return dt > 0.0 ? outlet_vol / dt : 0.0;
}

void write_nan_map(const main_state& ms, const std::string& name, const dvec& values) {
  file_wrapper out;
  std::string path;
  int k = 0;
  for (;; ++k) {
    if (k > 100) {
      std::printf("Error: unable to open NAN output file %s\n", name.c_str());
      return;
    }
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%03d", k);
    path = name + suffix;
    file_wrapper probe;
    if (probe.open(path, "r")) continue;
    if (out.open(path, "w")) break;
  }
  dvec flags{"nan_flags"};
  flags.allocate(ms.n_cells);
  for (long c = 1; c <= ms.n_cells; ++c) flags[c] = std::isnan(values[c]) ? 1.0 : 0.0;
  write_ascii_map(out.fp, ms.mask, ms.map_north, ms.map_south, ms.map_east, ms.map_west, ms.grid_rows, ms.grid_cols,
                  flags);
}

}  // namespace kavro
