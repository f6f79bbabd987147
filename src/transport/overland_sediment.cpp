// One overland sediment step after the overland flow of the step:
//   phase 1, per cell (parallel): water-surface slopes, the magnitude of the
//     outflow, raindrop splash and flow scour;
//   phase 2, the transport sweep (one thread): cells in order, the x face
//     before the y face, each face moving up to its capacity from the
//     suspended load of its source, so that a cell passes on in the same
//     step what earlier faces gave it. The parts of every capacity that do
//     not depend on the load are computed first, per face, in parallel;
//   phase 3, per cell (parallel): settling, the NaN check and the copies
//     for the map outputs.
#include "transport/overland_sediment.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "framework/main_state.h"
#include "framework/parallel_sum.h"
#include "transport/transport_seams.h"

namespace kavro {
namespace {

constexpr double sed_density = 2645.23;              // kg/m3 of solid sediment (2.65 x 998.2)
constexpr double water_unit_weight = 9792.342;       // N/m3 (998.2 x 9.81)
constexpr double water_density = 998.2;              // kg/m3
constexpr double sqrt_gravity = 3.1320919526731650;  // sqrt(9.81)
constexpr int parent = 1, suspended = 2, deposited = 3, discharged = 4;
constexpr int components = 5;  // components 0..4 of vol_sed and sed_fract per class

// The volumes or fractions of one cell: [class * 5 + component].
struct cell_classes {
  double* v;
  double& operator()(int c, int e) const { return v[c * components + e]; }
};

// Raw view of a [cell][class][0..4] array.
struct class_array {
  double* base = nullptr;
  long stride = 0;
  explicit class_array(d3d& a) : base(a.data()), stride((a.size2() + 1) * (a.size3() + 1)) {}
  cell_classes operator[](long k) const { return {base + k * stride}; }
};

double total(const cell_classes& cell, int n, int e) {
  double s = 0.0;
  for (int c = 1; c <= n; ++c) s += cell(c, e);
  return s;
}

// Coefficient and exponent of the splash rate by rain intensity (mm/h).
void splash_law(double I, double& coef, double& expo) {
  if (I < 10.0) {
    coef = 2.69e-8, expo = 1.6896;
  } else if (I < 50.0) {
    coef = 3.75e-8, expo = 1.5545;
  } else if (I < 100.0) {
    coef = 6.12e-8, expo = 1.4242;
  } else {
    coef = 1.175e-7, expo = 1.2821;
  }
}

// The deposit of a cell gives up `amount` in proportion to its classes.
void lift_deposit(const cell_classes& vs, int n, double D, double amount, double* eroded) {
  for (int c = 1; c <= n; ++c) {
    const double a = vs(c, deposited) / D * amount;
    vs(c, suspended) += a;
    vs(c, deposited) -= a;
    eroded[c] += a;
    eroded[0] += a;
  }
}

// The whole deposit and `amount` of parent soil (by its class fractions)
// go into suspension.
void lift_deposit_and_soil(const cell_classes& vs, const cell_classes& sf, int n, double amount,
                           double* eroded) {
  for (int c = 1; c <= n; ++c) {
    const double soil = amount * sf(c, parent);
    const double a = soil + vs(c, deposited);
    vs(c, suspended) += a;
    vs(c, deposited) = 0.0;
    vs(c, parent) -= soil;
    eroded[c] += a;
    eroded[0] += a;
  }
}

// x^1.5 of a non-negative x.
double pow_three_halves(double x) { return x * std::sqrt(x); }
// x^e, exactly x for the common exponent 1.
double power(double x, double e) { return e == 1.0 ? x : std::pow(x, e); }

// What splash depends on through the rain intensity I (mm/h) alone: the
// median drop size (m) and the splash rate per unit splash coefficient.
// Cells under the same rain share it, so a thread keeps the last one.
struct splash_rate {
  double I = -1.0, drop = 0.0, rate = 0.0;
  void set(double intensity) {
    if (intensity == I) return;
    double coef, expo;
    splash_law(intensity, coef, expo);
    I = intensity;
    drop = 0.00124 * std::pow(intensity, 0.182);
    rate = std::pow(intensity, expo) * coef;
  }
};

void raindrop_kernel(const cell_classes& vs, const cell_classes& sf, int n, const splash_rate& rain, double h,
                     double dt, double dx, double splash_K, bool channel_cell, double* eroded) {
  if (rain.I <= 1e-16) return;
  const double damping = h > rain.drop ? std::exp(1.0 - h / rain.drop) : 1.0;
  const double G = damping * splash_K * rain.rate * dt * dx * dx / sed_density;
  const double D = total(vs, n, deposited);
  if (D > 1e-16 && D > G) {
    lift_deposit(vs, n, D, G, eroded);
  } else if (!channel_cell) {
    lift_deposit_and_soil(vs, sf, n, G - D, eroded);
  }
}

double flow_kernel(const cell_classes& vs, const cell_classes& sf, int n, double S, double h, double dt,
                   double area, double coef, double expo, double crit, double C, bool channel_cell,
                   double* eroded) {
  if (h <= 1e-16 || S <= 1e-16) return 1e-16;
  const double P = total(vs, n, suspended);
  if (!(C > P)) return 1e-16;
  const double D = total(vs, n, deposited);
  const double tau = h * water_unit_weight * S;
  const double u = 1.0 - P / C;  // the share of the capacity still free
  const double T = power(tau, expo) * coef * u * dt * area / sed_density;
  if (!(T > 0.0)) return T;
  if (D > T) {
    lift_deposit(vs, n, D, T, eroded);
  } else if (!channel_cell) {
    const double E = crit < tau ? power(tau - crit, expo) * coef * u : 0.0;
    lift_deposit_and_soil(vs, sf, n, E * dt * area / sed_density * (1.0 - D / T), eroded);
  }
  return T;
}

// The class fractions formula 1 weighs: of the suspended load, else of the
// deposit, else of the parent soil as stored. Returns the component.
int load_component(const cell_classes& vs, const cell_classes& sf, int n) {
  const double P = total(vs, n, suspended);
  vs(0, suspended) = P;
  if (P >= 1e-16) {
    for (int c = 1; c <= n; ++c) sf(c, suspended) = vs(c, suspended) / P;
    return suspended;
  }
  const double D = total(vs, n, deposited);
  vs(0, deposited) = D;
  if (D >= 1e-16) {
    for (int c = 1; c <= n; ++c) sf(c, deposited) = vs(c, deposited) / D;
    return deposited;
  }
  return parent;
}

double d50_kernel(const cell_classes& vs, const cell_classes& sf, int n, const double* diam) {
  int e = parent;
  const double P = total(vs, n, suspended);
  if (P >= 1e-16) {
    e = suspended;
  } else if (total(vs, n, deposited) >= 1e-16) {
    e = deposited;
  }
  if (e != parent) {
    const double sum = total(vs, n, e);
    for (int c = 1; c <= n; ++c) sf(c, e) = vs(c, e) / sum;
  }
  double F = 0.0;  // fraction of the classes n..j
  for (int j = n; j >= 1; --j) {
    const double below = F;  // fraction of the classes n..j+1
    F += sf(j, e);
    if (F < 0.5) continue;
    if (j == n) return diam[n] * 1000.0;
    return std::exp(std::log(diam[j + 1]) + std::log(diam[j] / diam[j + 1]) * (0.5 - below) / (F - below)) *
           1000.0;
  }
  // Half of the mixture is never reached (fractions summing below 0.5).
  return diam[n] * 1000.0;
}

// The capacity of a face (or cell) from its load-free terms and the load of
// its source cell (class volumes v, fractions f).
double capacity_from_terms(int formula, const double* t, const cell_classes& v, const cell_classes& f, int n,
                           const double* diam, const double* grav) {
  if (t[0] == 0.0) return 0.0;
  switch (formula) {
    case 1: {
      const int e = load_component(v, f, n);
      double s = 0.0;
      for (int c = 1; c <= n; ++c) s += f(c, e) * formula1_class_factor(grav[c], diam[c]);
      return t[1] * s;
    }
    case 3: {
      const double d50 = d50_kernel(v, f, n, diam);
      return d50 < 122.0 ? t[1] * std::pow(d50, 0.59) : t[2] * std::pow(d50, -0.39);
    }
    case 4: {
      const double d50 = d50_kernel(v, f, n, diam);
      return d50 < 122.0 ? t[1] * std::pow(d50, 0.478) : t[2] * std::pow(d50, -0.56);
    }
    case 5:
    case 6: {
      // Five ranges of the median diameter (micrometres).
      const double d50 = d50_kernel(v, f, n, diam);
      return t[d50 < 33.0 ? 1 : d50 < 61.0 ? 2 : d50 < 122.0 ? 3 : d50 < 190.0 ? 4 : 5];
    }
    default:
      return t[1];
  }
}

// The step's sediment arrays and constants.
struct sed_step {
  int n = 0;
  int formula = 0;
  int n_terms = 0;
  double dx = 0, dt = 0;
  class_array vs, sf;
  const double* diam;
  const double* grav;
  const double* factor;  // formula 1 class weights
  sed_step(main_state& ms, double dt_ov)
      : n(ms.sed_control.n_sed_classes),
        formula(ms.sed_control.capacity_formula),
        n_terms(capacity_term_count(ms.sed_control.capacity_formula)),
        dx(ms.dx),
        dt(dt_ov),
        vs(ms.ov_sed->vol_sed),
        sf(ms.ov_sed->sed_fract),
        diam(ms.ov_sed->part_diam.data()),
        grav(ms.ov_sed->spec_grav.data()),
        factor(ms.sed_transport_factor.data()),
        lakes(ms.lakes_on && !ms.lake_mask.empty() && !ms.lake_elev.empty()) {}

  bool lakes = false;  // channel lakes lie on the grid

  double capacity(const double* t, long k) const {
    return capacity_from_terms(formula, t, vs[k], sf[k], n, diam, grav);
  }
};

bool lake_cell(const main_state& ms, const sed_step& st, long c) {
  return st.lakes && c >= 1 && ms.lake_mask[c] >= 1;
}

double surface_level(const main_state& ms, const sed_step& st, long c) {
  if (lake_cell(ms, st, c)) return ms.lake_elev[ms.lake_mask[c]];
  return ms.ov_depth[c] + ms.elevation[c];
}

// Which face of the outlet cell carries the outlet slope (without channel
// routing): 1 the x face, 2 the y face, 0 none.
int outlet_face(const main_state& ms) {
  const long o = ms.outlet_cell;
  if (ms.channel_on || o < 1 || o > ms.n_cells) return 0;
  if (ms.rightcon[o] == 0) return 1;
  if (ms.belowcon[o] == 0) return 2;
  return 0;
}

// Phase 1 for cell k.
void detach_cell(main_state& ms, const sed_step& st, long k, int out_face, splash_rate& rain) {
  ov_sed_record& os = *ms.ov_sed;
  const long r = ms.rightcon[k], b = ms.belowcon[k];
  const bool kl = lake_cell(ms, st, k), rl = lake_cell(ms, st, r), bl = lake_cell(ms, st, b);
  const double hk = surface_level(ms, st, k);
  ms.sed_slope_x[k] = (r == 0 || (kl && rl)) ? 0.0 : (hk - surface_level(ms, st, r)) / st.dx;
  ms.sed_slope_y[k] = (b == 0 || (kl && bl)) ? 0.0 : (hk - surface_level(ms, st, b)) / st.dx;
  // The magnitude of the flows leaving the cell.
  const long l = ms.leftcon[k], a = ms.abovecon[k];
  const double qr = ms.ov_qx[k] > 1e-16 ? ms.ov_qx[k] : 0.0;
  const double ql = l != 0 && ms.ov_qx[l] < -1e-16 ? ms.ov_qx[l] : 0.0;
  const double qb = ms.ov_qy[k] > 1e-16 ? ms.ov_qy[k] : 0.0;
  const double qa = a != 0 && ms.ov_qy[a] < -1e-16 ? ms.ov_qy[a] : 0.0;
  ms.sed_out_q[k] = std::sqrt(qr * qr + ql * ql + qb * qb + qa * qa);
  if (kl || rl || bl) return;  // a lake and its shore: no detachment
  if (out_face == 1 && k == ms.outlet_cell) ms.sed_slope_x[k] = ms.outlet_slope;
  if (out_face == 2 && k == ms.outlet_cell) ms.sed_slope_y[k] = ms.outlet_slope;
  const double S = std::sqrt(ms.sed_slope_x[k] * ms.sed_slope_x[k] + ms.sed_slope_y[k] * ms.sed_slope_y[k]);
  const double h = ms.ov_depth[k];
  const double I = ms.interception_on ? ms.ri_eff[k] : (ms.rain_rate.empty() ? 0.0 : ms.rain_rate[k]);
  const bool channel_cell = !ms.channel_cells.empty() && ms.channel_cells[k] != 0;
  double* eroded = ms.ov_sed_vol_eroded[k];
  const cell_classes vs = st.vs[k], sf = st.sf[k];
  rain.set(I);
  raindrop_kernel(vs, sf, st.n, rain, h, st.dt, st.dx, os.splash_K[k], channel_cell, eroded);
  const bool block_on = ms.ovr_flow_block_on && !ms.ovr_flow_block.empty();
  const double blocked = block_on ? ms.ovr_flow_block[k] : 0.0;
  double q = ms.sed_out_q[k] / st.dx;
  if (block_on && blocked < 1.0) q /= 1.0 - blocked;
  const double f = block_on ? 1.0 - std::sqrt(blocked) : 1.0;
  double t[6];
  capacity_terms(st.formula, S, h, q, st.dt, st.dx, os.sed_K[k], f, t);
  const double C = st.capacity(t, k);
  if (q > 1e-16) {
    const double area = st.dx * st.dx * (block_on ? 1.0 - blocked : 1.0);
    flow_kernel(vs, sf, st.n, S, h, st.dt, area, os.detach_coef[k], os.detach_exp[k], os.detach_crit[k], C,
                channel_cell, eroded);
  }
}

// A face of cell k toward neighbour m (0 for none): its flow and which
// cell sends.
struct face {
  double Q;
  long src, rcv;
  int block_col;  // face column of the receiving cell
};

face x_face(const main_state& ms, long k, int out_face) {
  const long r = ms.rightcon[k];
  const double Q = (out_face == 1 && k == ms.outlet_cell) ? ms.qout : ms.ov_qx[k];
  return Q >= 0.0 ? face{Q, k, r, 4} : face{Q, r, k, 2};
}

face y_face(const main_state& ms, long k, int out_face) {
  const long b = ms.belowcon[k];
  const double Q = (out_face == 2 && k == ms.outlet_cell) ? ms.qout : ms.ov_qy[k];
  return Q >= 0.0 ? face{Q, k, b, 1} : face{Q, b, k, 3};
}

// The load-free capacity terms of one face.
void face_terms(const main_state& ms, const sed_step& st, const face& fc, double slope, double* t) {
  for (int i = 0; i <= st.n_terms; ++i) t[i] = 0.0;
  if (lake_cell(ms, st, fc.src)) return;
  const bool block_on = ms.ovr_flow_block_on && !ms.ovr_flow_block_frac.empty();
  const double a = block_on ? 1.0 - ms.ovr_flow_block_frac[fc.rcv][fc.block_col] : 1.0;
  if (!(a > 1e-16)) return;  // a closed face carries nothing
  const double q = std::fabs(fc.Q) / st.dx / a;
  capacity_terms(st.formula, std::fabs(slope), ms.ov_depth[fc.src], q, st.dt, st.dx, ms.ov_sed->sed_K[fc.src],
                 a, t);
}

// A face is handled toward a neighbour, or out of the grid where it is the
// outlet face (1 x, 2 y) of the outlet cell.
bool handles_face(const main_state& ms, long k, long neighbour, int out_face, int this_face) {
  return neighbour != 0 || (k == ms.outlet_cell && out_face == this_face);
}

void precompute_faces(main_state& ms, const sed_step& st, int out_face) {
  const long n = ms.n_cells;
  const long per = st.n_terms + 1;
  double* terms = ms.sed_face_terms.data();
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long k = 1; k <= n; ++k) {
    double* tx = terms + 2 * per * k;
    double* ty = tx + per;
    tx[0] = ty[0] = 0.0;
    if (handles_face(ms, k, ms.rightcon[k], out_face, 1))
      face_terms(ms, st, x_face(ms, k, out_face), ms.sed_slope_x[k], tx);
    if (handles_face(ms, k, ms.belowcon[k], out_face, 2))
      face_terms(ms, st, y_face(ms, k, out_face), ms.sed_slope_y[k], ty);
  }
}

// A channel lake gives fine sediment to the cell its water flows into: the
// lake's concentration times the water volume, never more than the lake
// holds less what it already gave since the channel step last booked it.
void release_from_lake(main_state& ms, const sed_step& st, const face& fc, double* qsmax_src) {
  if (ms.event_step == 0 || ms.SS_conc_vol_lake.empty()) return;
  const int lake = ms.lake_mask[fc.src];
  const cell_classes rv = st.vs[fc.rcv];
  for (int j = 1; j <= ms.n_fine_classes; ++j) {
    const int c = ms.ov_sed->sed_class[j];
    const double room = std::max(0.0, ms.SS_vol_lake[lake][j] - ms.SS_vol_lake_to_overland[lake][j]);
    const double amount = std::min(std::fabs(ms.SS_conc_vol_lake[lake][j]) * std::fabs(fc.Q) * st.dt, room);
    rv(c, suspended) += amount;
    ms.SS_vol_lake_to_overland[lake][j] += amount;
    ms.sed_vol_overland_to_lake[lake][c] -= amount;
    if (qsmax_src) qsmax_src[c] += amount / st.dt;
  }
}

// Moves up to the face's capacity from the suspended load of its source,
// every class in proportion; `capacity_out` keeps the capacity (qsx or qsy
// of the source), `sign_record` the signed volumes leaving k per class.
void transport_face(main_state& ms, const sed_step& st, long k, const face& fc, const double* t,
                    double& capacity_out, dmat* sign_record) {
  ov_sed_record& os = *ms.ov_sed;
  double* qsmax_src = ms.sed_control.max_sed_flux_on ? os.ov_qsmax[fc.src] : nullptr;
  if (lake_cell(ms, st, fc.src)) {
    if (!lake_cell(ms, st, fc.rcv)) release_from_lake(ms, st, fc, qsmax_src);
    return;
  }
  const cell_classes sv = st.vs[fc.src], rv = st.vs[fc.rcv];
  if (t[0] == 0.0) {
    capacity_out = 0.0;  // the face carries no water
    return;
  }
  const double P = total(sv, st.n, suspended);
  const double invP = P > 0.0 ? 1.0 / P : 0.0;
  double C;
  if (st.formula == 1 && P >= 1e-16) {
    // Formula 1 weighs the classes by their share of the suspended load
    // (the shares are formed again wherever they are needed, not stored).
    double s = 0.0;
    for (int c = 1; c <= st.n; ++c) s += sv(c, suspended) * st.factor[c];
    C = std::fabs(t[1] * s * invP);
  } else {
    C = std::fabs(st.capacity(t, fc.src));
  }
  capacity_out = C;
  if (!(C > 1e-16 && P > 1e-16)) return;
  const double share = std::min(C, P) * invP;  // of every class's load
  const bool to_lake = lake_cell(ms, st, fc.rcv) && !ms.sed_vol_overland_to_lake.empty();
  const int lake = to_lake ? ms.lake_mask[fc.rcv] : 0;
  const double sign = fc.src == k ? 1.0 : -1.0;
  double* record = sign_record ? (*sign_record)[k] : nullptr;
  for (int c = 1; c <= st.n; ++c) {
    const double v = sv(c, suspended);
    const double moved = v * share;
    sv(c, suspended) = v - moved;
    if (record) {
      record[c] += sign * moved;
      record[0] += sign * moved;
    }
    if (to_lake) {
      if (ms.sand[c]) rv(c, deposited) += moved;
      ms.sed_vol_overland_to_lake[lake][c] += moved;
    } else {
      rv(c, suspended) += moved;
    }
    if (qsmax_src) qsmax_src[c] += moved / st.dt;
  }
}

// What crossed the outlet face into cell 0 is booked to the outlet cell.
void book_outlet(main_state& ms, const sed_step& st) {
  const cell_classes out = st.vs[0], o = st.vs[ms.outlet_cell];
  const bool attached = ms.sed_contam_on && !ms.sed_outlet_vol.empty();
  for (int c = 1; c <= st.n; ++c) {
    const double v = out(c, suspended);
    o(c, discharged) += v;
    o(0, discharged) += v;
    ms.ov_sed->outlet_vol_step += v;
    if (attached) {
      ms.sed_outlet_vol[c] += v;
      ms.sed_outlet_vol[0] += v;
    }
    out(c, suspended) = 0.0;
  }
}

void transport_sweep(main_state& ms, const sed_step& st, int out_face) {
  ov_sed_record& os = *ms.ov_sed;
  const long per = st.n_terms + 1;
  const double* terms = ms.sed_face_terms.data();
  dmat* rec_x = ms.sed_contam_on && !ms.ov_sed_vol_qsx.empty() ? &ms.ov_sed_vol_qsx : nullptr;
  dmat* rec_y = ms.sed_contam_on && !ms.ov_sed_vol_qsy.empty() ? &ms.ov_sed_vol_qsy : nullptr;
  for (long k = 1; k <= ms.n_cells; ++k) {
    const double* tx = terms + 2 * per * k;
    if (handles_face(ms, k, ms.rightcon[k], out_face, 1)) {
      const face fc = x_face(ms, k, out_face);
      transport_face(ms, st, k, fc, tx, os.qsx[fc.src], rec_x);
      if (out_face == 1 && k == ms.outlet_cell) book_outlet(ms, st);
    }
    if (handles_face(ms, k, ms.belowcon[k], out_face, 2)) {
      const face fc = y_face(ms, k, out_face);
      transport_face(ms, st, k, fc, tx + per, os.qsy[fc.src], rec_y);
      if (out_face == 2 && k == ms.outlet_cell) book_outlet(ms, st);
    }
  }
}

// Phase 3 for cell k: the suspended load settles; still water by the fall
// of the particles through the depth in the step, flowing water over the
// cell length, a dry cell whole.
void settle_cell(main_state& ms, const sed_step& st, long k) {
  if (lake_cell(ms, st, k)) return;
  const double h = ms.ov_depth[k];
  double u = h > 1e-16 ? ms.sed_out_q[k] / (st.dx * h) : 0.0;
  const bool block_on = ms.ovr_flow_block_on && !ms.ovr_flow_block.empty();
  if (block_on && ms.ovr_flow_block[k] < 1.0) u /= 1.0 - ms.ovr_flow_block[k];
  const cell_classes vs = st.vs[k];
  double* dep = ms.ov_sed_vol_deposited[k];
  for (int c = 1; c <= st.n; ++c) {
    if (vs(c, suspended) == 0.0) continue;
    double frac = 1.0;
    if (u > 1e-16 && h > 1e-16) {
      frac = 1.0 - std::exp(-ms.sed_settle_frac[c] / (u * h));
    } else if (h > 1e-16) {
      frac = std::min(1.0, ms.sed_fall_velocity[c] * st.dt / h);
    }
    const double s = frac * vs(c, suspended);
    vs(c, deposited) += s;
    vs(c, suspended) -= s;
    dep[c] += s;
    dep[0] += s;
  }
}

bool cell_has_nan(const sed_step& st, long k) {
  const cell_classes vs = st.vs[k];
  for (int c = 1; c <= st.n; ++c)
    if (std::isnan(vs(c, suspended)) || std::isnan(vs(c, parent)) || std::isnan(vs(c, deposited)))
      return true;
  return false;
}

void report_nan_volumes(const sed_step& st, long n_cells) {
  for (long k = 1; k <= n_cells; ++k) {
    const cell_classes vs = st.vs[k];
    for (int c = 1; c <= st.n; ++c) {
      if (std::isnan(vs(c, suspended)))
        std::printf("PT 3 suspended soil particle %2d=Nan at grid %ld\n", c, k);
      if (std::isnan(vs(c, parent))) std::printf("PT 3 eroded soil particle %2d=Nan at grid %ld\n", c, k);
      if (std::isnan(vs(c, deposited)))
        std::printf("PT 3 deposited soil particle %2d=Nan at grid %ld\n", c, k);
    }
    std::fflush(stdout);
  }
}

void copy_outputs(main_state& ms, const sed_step& st, long k) {
  ov_sed_record& os = *ms.ov_sed;
  if (ms.sed_control.max_sed_flux_on) {
    double s = 0.0;
    for (int c = 1; c <= st.n; ++c) s += os.ov_qsmax[k][c];
    os.ov_qsmax[k][0] = s;
  }
  if (ms.sed_control.vol_sed_susp_on) {
    const cell_classes vs = st.vs[k];
    double s = 0.0;
    for (int c = 1; c <= st.n; ++c) s += os.ov_qsconc[k][c] = vs(c, suspended);
    os.ov_qsconc[k][0] = s;
  }
}

}  // namespace

double formula1_class_factor(double spec_grav, double diam_mm) {
  const double g = spec_grav - 1.0;
  return 1.0 / (g * g * (diam_mm / 1000.0));
}

int capacity_term_count(int formula) {
  switch (formula) {
    case 3:
    case 4:
      return 2;
    case 5:
    case 6:
      return 5;
    default:
      return 1;
  }
}

void capacity_terms(int formula, double S, double h, double q, double dt, double dx, double sed_K, double f,
                    double* t) {
  const int nt = capacity_term_count(formula);
  for (int i = 0; i <= nt; ++i) t[i] = 0.0;
  if (q < 1e-16 || h < 1e-16) return;
  t[0] = 1.0;
  const double V = q / h;
  const double B = dt * dx / sed_density;  // mass (kg/m per s) to volume of the step
  const double scale = B * f / 10.0;
  switch (formula) {
    case 1:
      t[1] = 0.05 * dx * V * V * pow_three_halves(S * h) / sqrt_gravity * dt * sed_K * f;
      break;
    case 2:
      t[1] = 1.7e8 * std::pow(S, 1.6667) * std::pow(q, 2.035) * sed_K * B;
      break;
    case 3: {
      const double w = V * S * 100.0;
      t[1] = 0.006025596 * std::pow(w, 1.52) * scale;
      t[2] = 0.316227766 * std::pow(w, 2.59) * scale;
      break;
    }
    case 4: {
      const double W = pow_three_halves(h * water_unit_weight * S * V * 1000.0);
      t[1] = 1.977e-6 * std::pow(W, 1.044) * scale;
      t[2] = 4.6e-7 * std::pow(W, 1.75) * scale;
      break;
    }
    case 5: {
      static constexpr double coef[6] = {0, 6.16595, 10.96478, 9.332543, 64.56542, 20.41738};
      static constexpr double s_exp[6] = {0, 1.9, 1.94, 1.77, 2.96, 2.81};
      static constexpr double q_exp[6] = {0, 1.1, 1.19, 1.79, 2.18, 3.1};
      const double Q = q * 100.0 * 100.0;
      for (int i = 1; i <= 5; ++i) t[i] = coef[i] * std::pow(S, s_exp[i]) * std::pow(Q, q_exp[i]) * scale;
      break;
    }
    case 6: {
      static constexpr double threshold[6] = {0, 1.4, 1.4, 1.45, 1.55, 1.8};
      static constexpr double expo[6] = {0, 2.88, 2.95, 3.74, 4.14, 5.06};
      static constexpr double coef[6] = {0, 0.035, 0.052, 0.029, 0.024, 0.0092};
      const double u_star = std::sqrt(h * water_unit_weight * S / water_density) * 100.0;  // cm/s
      for (int i = 1; i <= 5; ++i)
        t[i] = u_star > threshold[i] ? coef[i] * std::pow(u_star - threshold[i], expo[i]) * scale : 0.0;
      break;
    }
    default:
      t[1] = q;
      break;
  }
}

double ov_transport_capacity(int formula, long k, double S, double h, double q, double dt, double dx,
                             d3d& sed_fract, const dvec& part_diam, const dvec& spec_grav, double sed_K,
                             int n_classes, double mass_to_volume, d3d& vol_sed, double f) {
  (void)mass_to_volume;  // the same dt dx / 2645.23 is formed from dt and dx
  double t[6];
  capacity_terms(formula, S, h, q, dt, dx, sed_K, f, t);
  return capacity_from_terms(formula, t, class_array(vol_sed)[k], class_array(sed_fract)[k], n_classes,
                             part_diam.data(), spec_grav.data());
}

double sediment_d50(long k, int n_classes, const dvec& part_diam, d3d& vol_sed, d3d& sed_fract) {
  return d50_kernel(class_array(vol_sed)[k], class_array(sed_fract)[k], n_classes, part_diam.data());
}

void raindrop_detachment(long k, double I, double h, d3d& sed_fract, d3d& vol_sed, double dt, double dx,
                         double splash_K, double coef, double expo, int n_classes, const ivec& channel_cells,
                         dmat& eroded) {
  const bool channel_cell = !channel_cells.empty() && channel_cells[k] != 0;
  splash_rate rain;
  rain.I = I;
  rain.drop = 0.00124 * std::pow(I, 0.182);
  rain.rate = std::pow(I, expo) * coef;
  raindrop_kernel(class_array(vol_sed)[k], class_array(sed_fract)[k], n_classes, rain, h, dt, dx, splash_K,
                  channel_cell, eroded[k]);
}

double flow_detachment(long k, double S, double h, d3d& sed_fract, d3d& vol_sed, double dt, double dx,
                       double coef, double expo, double crit, int n_classes, const ivec& channel_cells,
                       dmat& eroded, double C, int block_on, const dvec& block) {
  const bool channel_cell = !channel_cells.empty() && channel_cells[k] != 0;
  const double area = dx * dx * (block_on && !block.empty() ? 1.0 - block[k] : 1.0);
  return flow_kernel(class_array(vol_sed)[k], class_array(sed_fract)[k], n_classes, S, h, dt, area, coef,
                     expo, crit, C, channel_cell, eroded[k]);
}

namespace {

double seconds_since(std::chrono::steady_clock::time_point& t) {
  const auto now = std::chrono::steady_clock::now();
  const double s = std::chrono::duration<double>(now - t).count();
  t = now;
  return s;
}

void sediment_step(main_state& ms, double dt_ov, sediment_phase_times* times) {
  if (!ms.ov_sed || ms.ov_sed->vol_sed.empty() || ms.sed_slope_x.empty() || !(dt_ov > 0.0)) return;
  auto clock = std::chrono::steady_clock::now();
  const sed_step st(ms, dt_ov);
  const long n_cells = ms.n_cells;
  const int out_face = outlet_face(ms);
  for (int c = 1; c <= st.n; ++c) ms.sed_settle_frac[c] = st.dx * ms.sed_fall_velocity[c];
  ov_sed_record& os = *ms.ov_sed;
  os.outlet_vol_step = 0.0;
  const bool flux_map = ms.sed_control.max_sed_flux_on && !os.ov_qsmax.empty();
  // Every flux of the step is counted from zero, whichever cell sends it.
  if (flux_map) std::fill(os.ov_qsmax.data(), os.ov_qsmax.data() + os.ov_qsmax.cell_count(), 0.0);
#pragma omp parallel if (n_cells >= parallel_min_items)
  {
    splash_rate rain;
#pragma omp for schedule(static)
    for (long k = 1; k <= n_cells; ++k) detach_cell(ms, st, k, out_face, rain);
  }
  if (times) times->detach += seconds_since(clock);
  precompute_faces(ms, st, out_face);
  if (times) times->faces += seconds_since(clock);
  transport_sweep(ms, st, out_face);
  if (times) times->sweep += seconds_since(clock);
  int nan_found = 0;
  const bool copies = ms.sed_control.max_sed_flux_on || ms.sed_control.vol_sed_susp_on;
#pragma omp parallel for schedule(static) reduction(max : nan_found) if (n_cells >= parallel_min_items)
  for (long k = 1; k <= n_cells; ++k) {
    settle_cell(ms, st, k);
    if (cell_has_nan(st, k)) nan_found = 1;
    if (copies) copy_outputs(ms, st, k);
  }
  if (nan_found) report_nan_volumes(st, n_cells);
  if (times) times->settle += seconds_since(clock);
}

}  // namespace

void ov_sediment_transport(main_state& ms, double dt_ov) { sediment_step(ms, dt_ov, nullptr); }

void ov_sediment_transport_timed(main_state& ms, double dt_ov, sediment_phase_times& times) {
  sediment_step(ms, dt_ov, &times);
}

void book_overland_sediment_step(main_state& ms) {
  if (!ms.ov_sed || ms.ov_sed->ov_qsvol.empty() || ms.ov_sed_vol_eroded.empty()) return;
  const long n_cells = ms.n_cells;
  const int n = ms.sed_control.n_sed_classes;
  const double cell_area = ms.dx * ms.dx;
  const bool adjust = ms.adjust_elev_on == 1;
  const bool keep = ms.soil_contam_on != 0;  // the soil constituents read the step's volumes
  ov_sed_record& os = *ms.ov_sed;
#pragma omp parallel for schedule(static) if (n_cells >= parallel_min_items)
  for (long k = 1; k <= n_cells; ++k) {
    double* dep = ms.ov_sed_vol_deposited[k];
    double* ero = ms.ov_sed_vol_eroded[k];
    double* net = os.ov_qsvol[k];
    for (int c = 0; c <= n; ++c) net[c] += dep[c] - ero[c];
    if (adjust) ms.elevation[k] += (dep[0] - ero[0]) / cell_area;
    if (!keep) {
      for (int c = 0; c <= n; ++c) dep[c] = ero[c] = 0.0;
    }
  }
}

}  // namespace kavro
