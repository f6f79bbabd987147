// Green-Ampt, Green-Ampt with redistribution and multi-layer Green-Ampt.
//
// Each cell loop is an OpenMP loop with a static schedule whose iteration
// writes only its own cell's entries, so a cell's result does not depend on
// the thread count. A depth taken from a pond and the depth added to the
// cell's cumulative infiltration are the same number; a pond taken whole
// adds its own depth, never a rate times the step, so the bookkeeping
// closes to round-off.
#include "subsurface/green_ampt.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "framework/main_state.h"
#include "framework/parallel_sum.h"
#include "hydromet/hydromet_steps.h"
#include "overland/held_depth.h"
#include "subsurface/soil_cell_gates.h"

namespace kavro {

namespace {

// Share of the cell area that takes water (1 without area reduction).
double area_factor(const main_state& ms, long j) {
  return ms.area_reduction_on && j <= ms.area_reduction.size() ? ms.area_reduction[j] : 1.0;
}

// True when the unfrozen share of the soil water reduces the conductivity.
bool frozen_soil(const main_state& ms, long j) { return ms.gtfsm_on && j <= ms.SE.size(); }

// Takes `depth` (m) of pond from cell j into the soil. A held-depth cell
// keeps its depth and books the volume instead.
void take_pond(main_state& ms, long j, double depth, bool held, double cell_area) {
  if (held)
    ms.infil_held_volume[j] += depth * cell_area;
  else
    ms.ov_depth[j] -= depth;
}

// Takes the whole pond of cell j; returns the depth taken (m).
double take_whole_pond(main_state& ms, long j, bool held, double cell_area) {
  const double h = ms.ov_depth[j];
  if (held)
    ms.infil_held_volume[j] += h * cell_area;
  else
    ms.ov_depth[j] = 0.0;
  return h;
}

double clamp_between(double x, double lo, double hi) { return std::min(std::max(x, lo), hi); }

// ---- Green-Ampt ------------------------------------------------------------

void green_ampt_cell(main_state& ms, long j, double dt, double cell_area) {
  ms.infil_held_volume[j] = 0.0;
  const double h = ms.ov_depth[j];
  // A dry cell takes nothing and keeps its depth as it is: setting a film
  // or a negative depth to 0 here would make water no book holds.
  if (h < infil_none) {
    ms.infil_rate[j] = 0.0;
    return;
  }
  if (in_channel_lake(ms, j)) {
    ms.infil_rate[j] = 0.0;
    return;
  }
  const double k = ms.conductivity[j];
  const double pd = ms.infil_suction_deficit[j];
  const double f_front = green_ampt_depth(k, pd, ms.cum_infil[j], dt);
  double f = f_front > infil_none ? k * (pd / f_front + 1.0) : k;
  f *= area_factor(ms, j);
  const bool held = is_held_depth_cell(ms, j);
  if (f * dt < h) {
    take_pond(ms, j, f * dt, held, cell_area);
    ms.cum_infil[j] += f * dt;
  } else {
    f = h / dt;
    ms.cum_infil[j] += take_whole_pond(ms, j, held, cell_area);
  }
  ms.infil_rate[j] = f * m_per_s_to_cm_per_h;
}

// ---- Green-Ampt with redistribution ----------------------------------------

// Soil of one cell (m, m/s, m3/m3).
struct redist_soil {
  double ks = 0;      // saturated conductivity, frozen-reduced where the soil is frozen
  double psi = 0;     // capillary suction head
  double ths = 0;     // saturated water content (porosity)
  double thi = 0;     // initial water content
  double thr = 0;     // residual water content
  double lambda = 0;  // pore-size distribution index
};

// The capillary term of the redistribution equation and the depth taken
// from the surface carry these factors.
constexpr double capillary_factor = 1.0 * 1.0;

// Effective saturation, within [0, 1].
double effective_saturation(double theta, const redist_soil& s) {
  const double span = s.ths - s.thr;
  if (!(span > infil_none)) return 1.0;
  return clamp_between((theta - s.thr) / span, 0.0, 1.0);
}

// One explicit step of the redistribution equation: the water content of a
// wetted zone that holds `f1` (m) above the initial water content, fed at
// `supply` (m/s) from the surface. A zone no wetter than the initial soil,
// or holding nothing, has no depth to divide by: it stays as it is.
double redistributed_theta(double theta0, double f1, double supply, double dt, const redist_soil& s) {
  if (theta0 - s.thi <= infil_none || f1 <= infil_none) return theta0;
  const double e1 = 2.0 / s.lambda + 3.0;
  const double e2 = 1.0 / s.lambda + 3.0;
  const double se_i = effective_saturation(s.thi, s);
  const double se_0 = effective_saturation(theta0, s);
  const double k_i = s.ks * std::pow(se_i, e1);
  const double k_0 = s.ks * std::pow(se_0, e1);
  const double g = se_i >= 1.0 ? s.psi
                               : s.psi * (std::pow(se_0, e2) - std::pow(se_i, e2)) / (1.0 - std::pow(se_i, e2));
  const double z = f1 / (theta0 - s.thi);
  theta0 += dt / z * (supply - k_i - k_0 - capillary_factor * s.ks * g / z);
  return clamp_between(theta0, s.thi, s.ths);
}

// Infiltration at capacity (supply at least the conductivity).
void redist_ponded(main_state& ms, long j, double dt, int call, const redist_soil& s, double supply, bool held,
                   double cell_area) {
  double& theta0 = ms.redist_theta1[j];
  double& f_cum = ms.cum_infil[j];
  const double f1 = ms.redist_work[j];
  int& profiles = ms.no_wat_prof[j];
  double fw = f_cum;
  double deficit = std::max(0.0, s.ths - s.thi);
  if (ms.iter_n[j] > 0 && profiles != 1) {
    // Renewed ponding over a redistributed profile: a new front above the
    // old one runs on the old zone's water content.
    const double d = std::max(s.ths - theta0, 1e-20);
    profiles = 1;
    const bool old_zone = theta0 - s.thi > infil_none && f1 > infil_none;
    if (old_zone && (f_cum - f1) / d < f1 / (theta0 - s.thi)) {
      profiles = 2;
      theta0 = redistributed_theta(theta0, f1, 0.0, dt, s);
      fw = f_cum - f1;
      deficit = std::max(0.0, s.ths - theta0);
    }
  }
  const double a = s.ks * dt - 2.0 * fw;
  double f = (std::sqrt(std::max(0.0, a * a + 8.0 * s.ks * dt * (deficit * s.psi + fw))) + a) / (2.0 * dt);
  f *= area_factor(ms, j);
  ms.infil_rate[j] = f * m_per_s_to_cm_per_h;
  if (f < supply) {
    take_pond(ms, j, dt * f, held, cell_area);
    f_cum += dt * f;
    if (ms.iter_pond_1[j] == 0) {
      ms.iter_pond_1[j] = call;
      if (ms.iter_n[j] == 0) theta0 = s.ths;
    }
  } else {
    ms.infil_rate[j] = supply * m_per_s_to_cm_per_h;
    if (ms.iter_pond_1[j] == 0 && ms.iter_n[j] == 0) {
      // Before ponding the wetted zone moistens towards saturation.
      const double excess = supply - s.ks;
      const double tp = excess >= 1e-6 ? (s.ths - theta0) * s.psi * s.ks / (excess * supply) : 100000.0;
      if (tp == 0.0)
        theta0 = s.ths;
      else
        theta0 += (s.ths - theta0) * dt / tp;
      if (theta0 > s.ths) {
        theta0 = s.ths;
        ms.iter_pond_1[j] = call;
      }
    }
    f_cum += take_whole_pond(ms, j, held, cell_area);
  }
  if (profiles == 1) theta0 = s.ths;
  ms.redist_theta2[j] = profiles == 2 ? s.ths : theta0;
}

// Supply below the conductivity after ponding: the wetted zone drains
// into the soil below.
void redist_draining(main_state& ms, long j, double dt, int call, const redist_soil& s, double supply, bool held,
                     double cell_area) {
  double& theta0 = ms.redist_theta1[j];
  double& f_cum = ms.cum_infil[j];
  double& f1 = ms.redist_work[j];
  int& profiles = ms.no_wat_prof[j];
  if (profiles == 1) {
    theta0 = s.ths;
    profiles = 0;
  } else if (profiles == 2) {
    if (f_cum > infil_none)
      theta0 = std::min(s.ths, ((theta0 + s.ths - 2.0 * s.thi) * (f_cum - f1) + (theta0 - s.thi) * f1) / f_cum +
                                   s.thi);
    profiles = 0;
  }
  const double h = ms.ov_depth[j];
  if (h > 0.0) ms.infil_rate[j] = supply * m_per_s_to_cm_per_h;
  const double f_new = f_cum + h;
  if (f_new < 0.0) {
    f_cum = f1 = 0.0;
    take_whole_pond(ms, j, held, cell_area);
    ms.redist_theta2[j] = s.thi;
    return;
  }
  f_cum = f1 = f_new;
  ms.infil_rate[j] = supply * m_per_s_to_cm_per_h;
  theta0 = redistributed_theta(theta0, f1, supply, dt, s);
  ms.iter_n[j] = call;
  ms.redist_theta2[j] = theta0;
  take_whole_pond(ms, j, held, cell_area);
}

// ---- Multi-layer Green-Ampt --------------------------------------------------

// Front depth (cm) of cumulative infiltration `fn` (cm) in three layers of
// thickness d1, d2 (the third unbounded) and deficits dth[1..3].
double layered_front_depth(double fn, double d1, double d2, const double* dth) {
  double lf = fn / dth[1];
  if (lf > d1) {
    lf = (fn - d1 * dth[1]) / dth[2] + d1;
    if (lf > d1 + d2) lf = (fn - (d2 * dth[2] + d1 * dth[1])) / dth[3] + d1 + d2;
  }
  return lf;
}

}  // namespace

double frozen_conductivity_blend(double k, double w) {
  return std::min(k, std::exp(std::log(1e-6) * (1.0 - w) + std::log(k) * w));
}

double green_ampt_depth(double k, double pd, double f0, double dt) {
  if (pd <= infil_none) return f0 + k * dt;
  const double base = f0 + pd;
  const auto residual = [&](double f) { return k * dt - f + f0 + pd * std::log((f + pd) / base); };
  double f = f0 + 0.001;
  double r = residual(f);
  for (int pass = 0; pass < infil_newton_cap; ++pass) {
    f -= r / (pd / (f + pd) - 1.0);
    r = residual(f);
    if (!(std::fabs(r) > 1e-6)) break;
  }
  return f;
}

void green_ampt_step(main_state& ms, double elapsed_s) {
  const long n = ms.n_cells;
  const double cell_area = ms.dx * ms.dx;
  // Suction head times moisture deficit; a soil at or above saturation has none.
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long j = 1; j <= n; ++j)
    ms.infil_suction_deficit[j] = std::max(0.0, ms.capillary[j] * (ms.porosity[j] - ms.init_moisture[j]));
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long j = 1; j <= n; ++j) green_ampt_cell(ms, j, elapsed_s, cell_area);
}

void inf_redist_cell(main_state& ms, long j, double elapsed_s, int call) {
  ms.infil_held_volume[j] = 0.0;
  if (in_overland_lake(ms, j)) return;
  if (surface_closed(ms, j)) {
    ms.infil_rate[j] = 0.0;
    return;
  }
  if (in_channel_lake(ms, j)) return;
  redist_soil s{ms.conductivity[j], ms.capillary[j],   ms.porosity[j],
                ms.init_moisture[j], ms.residual_sat[j], ms.pore_index[j]};
  if (call < 2) ms.redist_theta1[j] = ms.redist_theta2[j] = s.thi;
  // Groundwater at the surface keeps the soil saturated.
  if (ms.yes_exfil[j] == 1) {
    ms.redist_theta1[j] = s.ths;
    return;
  }
  if (frozen_soil(ms, j)) s.ks = frozen_conductivity_blend(s.ks, ms.SE[j]);
  const double ka = s.ks * area_factor(ms, j);
  const double cell_area = ms.dx * ms.dx;
  const bool held = is_held_depth_cell(ms, j);
  const double supply = ms.ov_depth[j] / elapsed_s;
  if (ms.iter_i_less_k[j] == call - 1 && supply <= ka) {
    // Supply below the conductivity since the event began: all of it enters.
    ms.infil_rate[j] = supply * m_per_s_to_cm_per_h;
    ms.cum_infil[j] += take_whole_pond(ms, j, held, cell_area);
    ms.iter_i_less_k[j] = call;
    ms.redist_theta2[j] = s.thi;
    return;
  }
  if (ka <= supply)
    redist_ponded(ms, j, elapsed_s, call, s, supply, held, cell_area);
  else
    redist_draining(ms, j, elapsed_s, call, s, supply, held, cell_area);
}

void inf_redist_step(main_state& ms, double elapsed_s) {
  const long n = ms.n_cells;
  const int call = ms.infil_step;
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long j = 1; j <= n; ++j) inf_redist_cell(ms, j, elapsed_s, call);
}

bool mlga_cell(main_state& ms, long j, double elapsed_s) {
  ms.infil_held_volume[j] = 0.0;
  const long id = ms.soiltype[j];
  if (ms.ov_depth[j] < infil_none || in_channel_lake(ms, j) || surface_closed(ms, j) || id < 0 ||
      id >= soil_type_store::size()) {
    ms.infil_rate[j] = 0.0;
    return true;
  }
  // Read through the const table: it is never allocated from a parallel loop.
  const soil_type_params& p = std::as_const(ms).soil_type_table[id];
  const double hours = elapsed_s / 3600.0;
  double dth[4] = {};
  double k[4] = {};
  for (int l = 1; l <= 3; ++l) {
    dth[l] = p.layer_porosity[l] - ms.THETA_ML[j][l];
    // A layer at or above saturation takes 1 % of its porosity.
    if (!(dth[l] > 0.0)) dth[l] = p.layer_porosity[l] * 0.01;
    k[l] = p.layer_ks[l];
  }
  const auto& pp = ms.project_params;
  if (pp.permafrost_kotu == 0 && pp.multi_layer_infil_kotu == 0) {
    if (frozen_soil(ms, j)) k[1] = frozen_conductivity_blend(k[1], ms.SE[j]);
  } else {
    for (int l = 1; l <= 3; ++l) k[l] = frozen_conductivity_factor(ms, j, id, k[l], l);
  }
  const double d1 = p.layer_depth[1];
  const double d2 = p.layer_depth[2];
  const double front = ms.wetdep[j];
  const double f_cm = 100.0 * ms.cum_infil[j];
  double ke = k[1], psi = p.layer_suction_head[1], dtheta = dth[1];
  if (front > d1 + d2) {
    const double l3 = (f_cm - (d2 * dth[2] + d1 * dth[1])) / dth[3];
    ke = (l3 + d1 + d2) / (d2 / k[2] + d1 / k[1] + l3 / k[3]);
    psi = p.layer_suction_head[3];
    dtheta = dth[3];
  } else if (front > d1) {
    const double l2 = (f_cm - d1 * dth[1]) / dth[2];
    ke = (l2 + d1) / (l2 / k[2] + d1 / k[1]);
    psi = p.layer_suction_head[2];
    dtheta = dth[2];
  }
  const double suction = psi * dtheta;
  double fn = f_cm + ke * hours;  // no suction: the front moves at the conductivity
  if (suction > infil_none) {
    const auto residual = [&](double x) { return std::log((suction + x) / (suction + f_cm)) * suction + (ke * hours - x) + f_cm; };
    fn = f_cm + 0.1;
    double r = residual(fn);
    for (int pass = 0; pass < infil_newton_cap && std::fabs(r) > 0.0001; ++pass) {
      fn -= r / (suction / (suction + fn) - 1.0);
      r = residual(fn);
    }
  }
  const double lf = layered_front_depth(fn, d1, d2, dth);
  double f = fn > infil_none ? (suction / fn + 1.0) * ke : ke;
  if (ms.area_reduction_on) {
    const double share = area_factor(ms, j);
    if (share < 1.0) f *= share;
  }
  const double cell_area = ms.dx * ms.dx;
  const bool held = is_held_depth_cell(ms, j);
  const double hc = 100.0 * ms.ov_depth[j];
  if (f * hours <= hc) {
    ms.infil_rate[j] = f;
    take_pond(ms, j, f * hours / 100.0, held, cell_area);
    ms.cum_infil[j] += f * hours / 100.0;
    ms.wetdep[j] = lf;
    return !std::isnan(ms.ov_depth[j]);
  }
  ms.infil_rate[j] = hc / hours;
  ms.cum_infil[j] += take_whole_pond(ms, j, held, cell_area);
  ms.wetdep[j] += hc / dtheta;
  return true;
}

void mlga_step(main_state& ms, double elapsed_s) {
  const long n = ms.n_cells;
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long j = 1; j <= n; ++j) ms.infil_nan_flag[j] = mlga_cell(ms, j, elapsed_s) ? 0 : 1;
  for (long j = 1; j <= n; ++j) {
    if (ms.infil_nan_flag[j])
      std::printf("A non-real number for water depth has been detected for overland cell %ld in MLGA \n", j);
  }
}

}  // namespace kavro
