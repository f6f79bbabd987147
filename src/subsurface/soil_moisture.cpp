// The soil-moisture zone between storms and the loop step that updates it.
//
// Depths are cm, rates cm/s (pot_et, pot_aet), times s; conductivities m/s
// under redistribution and cm/h under multi-layer Green-Ampt. The cell loop
// runs in parallel, each iteration writing only its own cell; the sums of
// the update go through per-cell slots and fixed-chunk sums, so the result
// is the same for any thread count.
#include "subsurface/soil_moisture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "framework/main_state.h"
#include "framework/parallel_sum.h"
#include "framework/run_clock.h"
#include "hydromet/hydromet_steps.h"
#include "overland/held_depth.h"
#include "subsurface/green_ampt.h"
#include "subsurface/soil_cell_gates.h"
#include "subsurface/subsurface_steps.h"

namespace kavro {

namespace {

constexpr double none = 1e-16;
// Cell flags of an update.
constexpr int flag_depth_nan = 1;
constexpr int flag_now_exfiltrating = 2;

// The zone soil of one cell: layer thicknesses and moisture limits of the
// upper (index 1) and lower (index 2) layer.
struct zone_soil {
  double top = 0;    // thickness of the upper layer when the zone is deeper (cm)
  double depth = 0;  // the zone's full depth, over which the layers share transpiration (cm)
  double thr[3] = {}, ths[3] = {}, wp[3] = {}, fc[3] = {};
};

// The layers of the zone during one update.
struct zone_state {
  bool two = false;        // the zone has a lower layer
  double d[3] = {};        // layer thicknesses (cm)
  double v[3] = {};        // layer water (cm)
  double theta(int l) const { return v[l] / d[l]; }
};

// Transpiration factor of layer l: the default water-stress form, or the
// Deardorff form.
double layer_factor(const main_state& ms, const zone_soil& s, const zone_state& z, int l) {
  const double v = z.v[l], d = z.d[l];
  const double fc = s.fc[l] * d, wp = s.wp[l] * d, r = s.thr[l] * d;
  double f;
  if (ms.et_calc_deardorff_on)
    f = v > r ? (fc > 0.0 ? v / fc : 1.0) : 0.0;  // a soil without field capacity gives freely
  else if (v >= fc)
    f = 1.0;
  else if (v <= wp)
    f = 0.0;
  else
    f = (v - wp) / (fc - wp);
  return std::min(f, 1.0);
}

// Takes the zone's water through the layers in order: each layer's new
// water is clamped to [residual, saturated], the excess passing on with the
// drainage and a shortfall taken back from it. Both are taken before the
// clamp, so no water is lost.
void clamp_layer(double& v, double& q, double r, double sat) {
  if (v > sat) {
    q += v - sat;
    v = sat;
  } else if (v < r) {
    q -= r - v;
    v = r;
  }
}

// What the gravity drainage of a zone needs to know of its cell.
struct drainage {
  double q1 = 0, q2 = 0;  // out of the upper layer, out of the lower layer (cm)
};

// The common update of cell j over dt seconds; `drain` gives the gravity
// drainage of the layers. `multi_layer` marks the method for the messages.
template <class Drain>
void update_cell(main_state& ms, long j, double dt, const zone_soil& s, bool multi_layer, Drain&& drain) {
  ms.smr_et_depth[j] = ms.smr_gw_et_depth[j] = 0.0;
  ms.smr_cell_flags[j] = 0;
  if (in_overland_lake(ms, j) || in_channel_lake(ms, j)) return;
  const double depth = ms.soil_layer_cm[j];
  zone_state z;
  z.two = depth > s.top;
  z.d[1] = z.two ? s.top : depth;
  z.d[2] = z.two ? depth - s.top : 0.0;
  z.v[1] = ms.soil_water_cm[j];
  z.v[2] = ms.soil_water2_cm[j];
  const double r1 = s.thr[1] * z.d[1], r2 = s.thr[2] * z.d[2];
  const double infiltrated = ms.inf_depth_since_smr[j] * 100.0;

  // Evaporation from the pond, then the soil's demand.
  double et = 0.0, demand = 0.0;
  const bool snow = ms.snow_present && j <= ms.swe.size() && ms.swe[j] >= none;
  if (ms.long_term_on && !(ms.rain_rate[j] > none) && !snow && !is_held_depth_cell(ms, j)) {
    const double potential = ms.pot_et[j] * dt;
    const double pond = ms.ov_depth[j] * 100.0;
    const double open = ms.ovr_flow_block_on && j <= ms.ovr_flow_block.size() && ms.ovr_flow_block[j] < 1.0
                            ? 1.0 - ms.ovr_flow_block[j]
                            : 1.0;
    if (pond > 1e-14) {
      double e;
      if (potential <= pond) {
        ms.ov_depth[j] -= potential / 100.0;
        if (multi_layer && std::isnan(ms.ov_depth[j])) ms.smr_cell_flags[j] |= flag_depth_nan;
        e = potential * open;
      } else {
        demand = ms.pot_aet[j] * (dt - pond / potential * dt);
        ms.ov_depth[j] = 0.0;
        e = pond * open;
      }
      ms.DIRECT_EVAP[j] += e;
      et += e;
    } else {
      demand = ms.pot_aet[j] * dt;
    }
  }

  // Transpiration from the layers, and from groundwater where the zone
  // reaches the water table.
  double t1 = 0.0, t2 = 0.0, from_gw = 0.0;
  if (demand > none) {
    double f1 = 1.0, f2 = 1.0;
    if (!(depth < none)) {
      f1 = layer_factor(ms, s, z, 1);
      f2 = z.two ? layer_factor(ms, s, z, 2) : 0.0;
    }
    if (z.two) {
      f1 *= z.d[1] / s.depth;
      f2 *= z.d[2] / s.depth;
    } else {
      f2 = 0.0;
    }
    t1 = demand * f1;
    const double short1 = r1 - (z.v[1] - t1);
    if (short1 > 0.0 && short1 > infiltrated) t1 -= short1 - infiltrated;
    t2 = demand * f2;
    const double short2 = r2 - (z.v[2] - t2);
    if (short2 > 0.0) t2 -= short2;
    et += t1 + t2;
    if (s.depth - depth > none && t1 + t2 < demand) {
      from_gw = demand - (t1 + t2);
      et += from_gw;
    }
  }
  const double transpired = t1 + t2 + from_gw;

  drainage q;
  if (ms.yes_exfil[j] == 1 || depth < none) {
    // Groundwater at the ground: the roots draw on it.
    ms.rich_bottom_flux[j] -= transpired;
    ms.gw_recharge_cum[j] -= transpired;
    ms.smr_gw_et_depth[j] = transpired / 100.0;
    ms.smr_et_depth[j] = et / 100.0;
    if (ms.yes_exfil[j] == 1) return;  // the zone and its infiltration wait
    ms.yes_exfil[j] = 1;
    ms.smr_cell_flags[j] |= flag_now_exfiltrating;
    q.q1 = q.q2 = infiltrated;
  } else {
    q = drain(z, infiltrated);
    z.v[1] = infiltrated + z.v[1] - q.q1 - t1;
    clamp_layer(z.v[1], q.q1, r1, s.ths[1] * z.d[1]);
    double root = z.v[1];
    if (z.two) {
      z.v[2] = q.q1 + z.v[2] - q.q2 - t2;
      clamp_layer(z.v[2], q.q2, r2, s.ths[2] * z.d[2]);
      root += z.v[2];
    } else {
      q.q2 = q.q1;
    }
    ms.soil_water_cm[j] = z.v[1];
    ms.soil_water2_cm[j] = z.v[2];
    ms.soil_column_water_cm[j] = root;
    ms.rich_bottom_flux[j] -= from_gw;
    ms.gw_recharge_cum[j] -= from_gw;
    ms.smr_gw_et_depth[j] = from_gw / 100.0;
    ms.smr_et_depth[j] = et / 100.0;
  }
  ms.rich_bottom_flux[j] += q.q2;
  ms.gw_recharge_cum[j] += q.q2;
  ms.zone_percolation[j] += q.q2;
  ms.upper_zone_drainage[j] += q.q1;
  ms.inf_depth_since_smr[j] = 0.0;
}

// Effective saturation within [0, 1]; a soil without a span between its
// residual and saturated moisture counts as saturated.
double saturation(double theta, double thr, double ths) {
  if (!(ths > thr)) return 1.0;
  return std::clamp((theta - thr) / (ths - thr), 0.0, 1.0);
}

// Sums of the update and its messages, after the cell loop.
double finish_update(main_state& ms, bool multi_layer) {
  const long n = ms.n_cells;
  const double* et = ms.smr_et_depth.data();
  const double* gw = ms.smr_gw_et_depth.data();
  const double total = fixed_chunk_sum(1, n, [et](long j) { return et[j]; }, ms.smr_sum_partials);
  ms.vol_evap_soil_adjust +=
      fixed_chunk_sum(1, n, [gw](long j) { return gw[j]; }, ms.smr_sum_partials) * ms.dx * ms.dx;
  for (long j = 1; j <= n; ++j) {
    const int flags = ms.smr_cell_flags[j];
    if (flags & flag_now_exfiltrating) ms.any_exfil = 1;
    if (multi_layer && (flags & flag_depth_nan))
      std::printf("A non-real number for water depth has been detected for overland cell %ld in the soil moisture "
                  "routine\n",
                  j);
  }
  return total;
}

}  // namespace

double soil_moisture_redist(main_state& ms, double dt_s) {
  const long n = ms.n_cells;
  const bool frozen = ms.gtfsm_on && ms.SE.size() >= n;
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long j = 1; j <= n; ++j) {
    zone_soil s;
    s.top = ms.top_layer_depth_cm;
    s.depth = ms.soil_moist_depth_cm;
    for (int l = 1; l <= 2; ++l) {
      s.thr[l] = ms.residual_sat[j];
      s.ths[l] = ms.porosity[j];
      s.wp[l] = ms.wilting_point[j];
      s.fc[l] = ms.field_capacity[j];
    }
    const double ks = ms.conductivity[j], lambda = ms.pore_index[j];
    const double exponent = 3.0 / lambda + 2.0;
    update_cell(ms, j, dt_s, s, false, [&](const zone_state& z, double infiltrated) {
      drainage q;
      const double th1 = z.theta(1);
      if (th1 >= s.ths[1]) {
        q.q1 = infiltrated;
      } else if (th1 > s.fc[1]) {
        double k = ks * std::pow(saturation(th1, s.thr[1], s.ths[1]), exponent);
        if (frozen) k = frozen_conductivity_blend(k, ms.SE[j]);
        q.q1 = k * dt_s * 100.0;
      }
      if (!z.two) return q;
      const double th2 = z.theta(2);
      if (th2 >= s.ths[2])
        q.q2 = q.q1;
      else if (th2 > s.fc[2])
        q.q2 = ks * std::pow(saturation(th2, s.thr[2], s.ths[2]), exponent) * dt_s * 100.0;
      return q;
    });
  }
  return finish_update(ms, false);
}

double soil_moisture_routine(main_state& ms, double dt_s) {
  const long n = ms.n_cells;
  const bool frozen = ms.gtfsm_on && ms.SE.size() >= n;
  const bool permafrost = permafrost_couplings_on(ms);
  const soil_type_store& table = ms.soil_type_table;
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long j = 1; j <= n; ++j) {
    const long id = ms.soiltype[j];
    if (id < 0 || id >= soil_type_store::size()) continue;
    const soil_type_params& p = table[id];
    zone_soil s;
    s.top = p.layer_depth[1];
    s.depth = p.layer_depth[1] + p.layer_depth[2];
    for (int l = 1; l <= 2; ++l) {
      s.thr[l] = p.layer_residual_moisture[l];
      s.ths[l] = p.layer_porosity[l];
      s.wp[l] = p.layer_wilting_point[l];
      s.fc[l] = p.layer_field_capacity[l];
    }
    // A layer's conductivity at saturation se (cm/h), reduced where the
    // ground is frozen.
    const auto layer_k = [&](int l, double se) {
      const double k = p.layer_ks[l] * std::pow(se, 3.0 / p.layer_lambda[l] + 2.0);
      return permafrost ? frozen_conductivity_factor(ms, j, id, k, l) : k;
    };
    const bool third = ms.soil_layer_cm[j] >= s.depth;
    update_cell(ms, j, dt_s, s, true, [&](const zone_state& z, double infiltrated) {
      drainage q;
      const double th1 = z.theta(1);
      if (th1 >= s.ths[1]) {
        q.q1 = infiltrated;
      } else if (th1 - s.fc[1] >= none) {
        const double se = saturation(th1, s.thr[1], s.ths[1]);
        double k1 = layer_k(1, se);
        if (!permafrost && frozen) k1 = frozen_conductivity_blend(k1, ms.SE[j]);
        if (z.two) k1 = std::sqrt(k1 * layer_k(2, se));
        q.q1 = k1 * dt_s / 3600.0;
      }
      if (!z.two) return q;
      const double th2 = z.theta(2);
      if (th2 >= s.ths[2]) {
        q.q2 = q.q1;
      } else if (th2 - s.fc[2] >= none) {
        const double se2 = saturation(th2, s.thr[2], s.ths[2]);
        double k2 = layer_k(2, se2);
        if (third) k2 = std::sqrt(k2 * layer_k(3, se2));
        q.q2 = k2 * dt_s / 3600.0;
        q.q1 = std::min(q.q1, q.q2);
      }
      return q;
    });
  }
  return finish_update(ms, true);
}

void event_et_step(main_state& ms) {
  if (!ms.soil_redist_on || ms.snow_calibrate_on == 1 || !is_due(ms, ms.next_et_time)) return;
  const double dt_s = seconds_between(ms.last_et_time, ms.now);
  if (ms.inf_redist_on) ms.vol_ev_richards = soil_moisture_redist(ms, dt_s);
  if (ms.multi_layer_ga_on) ms.vol_ev_richards = soil_moisture_routine(ms, dt_s);
  ms.last_et_time = ms.now;
  ms.next_et_time = ms.now + ms.et_interval_days;
  ms.vol_evap_total += ms.dx * ms.dx * ms.vol_ev_richards;
  const long n = std::min<long>(ms.n_cells, ms.soil_moisture.size());
  for (long j = 1; j <= n; ++j) {
    double theta;
    if (ms.inf_redist_on) {
      if (ms.soil_layer_cm[j] < none)
        theta = ms.porosity[j];
      else
        theta = ms.redist_reinit == 1 ? ms.redist_theta1[j] : ms.soil_water_cm[j] / ms.top_layer_depth_cm;
    } else {
      const long id = ms.soiltype[j];
      if (id < 0 || id >= soil_type_store::size()) continue;
      const soil_type_params& p = std::as_const(ms).soil_type_table[id];
      theta = ms.soil_layer_cm[j] < none ? p.layer_porosity[1] : ms.soil_water_cm[j] / p.layer_depth[1];
    }
    ms.soil_moisture[j] = theta;
  }
}

}  // namespace kavro
