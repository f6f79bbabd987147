#include "hydromet/soil_temperature.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <omp.h>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "framework/run_warnings.h"
#include "hydromet/hydromet_steps.h"
#include "hydromet/permafrost_listings.h"
#include "subsurface/soil_cell_gates.h"

namespace kavro {

namespace {

// Geothermal gradient (C/m) held below the deepest node.
constexpr double bottom_gradient = 0.015;
// A solve ends once no node moved by more than this (C) in a pass...
constexpr double pass_tolerance = 1e-6;
// ...or after this many passes.
constexpr int max_passes = 7;
// Heat capacities (J/m3/K) of a unit volume of liquid water and of ice, and
// the latent heat of fusion (J/m3 of water) spread over the freezing band.
constexpr double water_capacity = 1e6;
constexpr double ice_capacity = 500.0;
constexpr double band_latent_heat = 1.671e8;
// The solves whose profile of cell 45 goes to the listing.
constexpr int listed_solves[] = {1349, 3034, 5056, 7078};

}  // namespace

int layer_of_depth(const permafrost_layer_soil_record& t, int s, double z) {
  const int n = t.n_layers[s];
  for (int i = 1; i <= n; ++i)
    if (z <= t.Thick[s][i] + 0.001) return i;
  return n;
}

double unfrozen_water(const permafrost_layer_soil_record& t, int s, int l, double T) {
  const double theta = t.Aclv[s][l] * std::pow(std::fabs(t.Cclv[s][l] - T), t.Bclv[s][l]);
  return std::min(theta, t.Wvol[s][l]);
}

double kotu_thermal_conductivity(const permafrost_layer_soil_record& t, int s, int l, double T) {
  const double tfr = t.Tfr[s][l], th = t.Cond_th[s][l], fr = t.Cond_fr[s][l];
  if (T < tfr - freezing_band_half_width) {
    const double w = t.Wvol[s][l];
    return th + (fr - th) * (w - unfrozen_water(t, s, l, T)) / w;
  }
  if (T <= tfr + freezing_band_half_width) return (th + fr) / 2.0;
  return th;
}

double apparent_heat_capacity(const permafrost_layer_soil_record& t, int s, int l, double T) {
  const double tfr = t.Tfr[s][l], w = t.Wvol[s][l], skeleton = t.Cvol[s][l];
  const double thawed = skeleton + water_capacity * w;
  if (T > tfr + freezing_band_half_width) return thawed;
  const double theta_u = unfrozen_water(t, s, l, T);
  const double frozen = skeleton + water_capacity * theta_u + ice_capacity * (w - theta_u);
  if (T < tfr - freezing_band_half_width) return frozen;
  return (frozen + thawed) / 2.0 + band_latent_heat * (w - theta_u) / freezing_band_half_width;
}

void size_soil_temperature_work(permafrost_layer_soil_record& t, int threads) {
  const auto n = static_cast<std::size_t>(t.max_node_count) + 2;
  if (t.work_by_thread.size() < static_cast<std::size_t>(threads))
    t.work_by_thread.resize(static_cast<std::size_t>(threads));
  for (soil_temperature_work& w : t.work_by_thread) {
    if (w.iterate.size() >= n) continue;
    w.iterate.assign(n, 0.0);
    w.alpha.assign(n, 0.0);
    w.beta.assign(n, 0.0);
    w.lambda.assign(n, 0.0);
    w.capacity.assign(n, 0.0);
  }
}

int solve_soil_column(const permafrost_layer_soil_record& t, int s, double dt, double air_temp, double* temp,
                      soil_temperature_work& w) {
  const int n = t.Dn_nums[s];
  if (n < 3 || !(dt > 0)) return 0;
  const double* z = t.Depth[s];
  const int* layer = t.node_layer[s];
  double* it = w.iterate.data();
  double* alpha = w.alpha.data();
  double* beta = w.beta.data();
  double* lambda = w.lambda.data();
  double* cap = w.capacity.data();
  // Below the second node the conductivities, and everywhere the heat
  // capacities, are those of the old profile; only the two top nodes follow
  // the iterate.
  for (int j = 1; j <= n; ++j) {
    it[j] = temp[j];
    if (j >= 3) lambda[j] = kotu_thermal_conductivity(t, s, layer[j], temp[j]);
    if (j >= 2) cap[j] = apparent_heat_capacity(t, s, layer[j], temp[j]);
  }
  int passes = 0;
  double change = 0.0;
  do {
    ++passes;
    lambda[1] = kotu_thermal_conductivity(t, s, layer[1], it[1]);
    lambda[2] = kotu_thermal_conductivity(t, s, layer[2], it[2]);
    alpha[2] = 0.0;
    beta[2] = air_temp;
    for (int j = 2; j <= n - 1; ++j) {
      const double dz_up = z[j] - z[j - 1], dz_down = z[j + 1] - z[j];
      const double mid = (dz_up + dz_down) / 2.0;
      const double a = dt * (lambda[j - 1] + lambda[j]) / 2.0 / (cap[j] * mid * dz_up);
      const double c = dt * (lambda[j] + lambda[j + 1]) / 2.0 / (cap[j] * mid * dz_down);
      alpha[j + 1] = c / (a + 1.0 + c - a * alpha[j]);
      beta[j + 1] = (a * beta[j] + temp[j]) * alpha[j + 1] / c;
    }
    const double dz = z[n] - z[n - 1];
    const double g = dz * dz * 0.5 * cap[n] / (lambda[n] * dt);
    const double bottom = (g * temp[n] + bottom_gradient * dz + beta[n]) / (g + 1.0 - alpha[n]);
    change = std::fabs(bottom - it[n]);
    it[n] = bottom;
    for (int j = n - 1; j >= 1; --j) {
      const double v = alpha[j + 1] * it[j + 1] + beta[j + 1];
      change = std::max(change, std::fabs(v - it[j]));
      it[j] = v;
    }
  } while (change > pass_tolerance && passes < max_passes);
  for (int j = 1; j <= n; ++j) temp[j] = it[j];
  return passes;
}

bool soil_temperature_cell(const main_state& ms, long c) {
  return ms.permaf_mask[c] > 0 && !in_overland_lake(ms, c) && !in_channel_lake(ms, c);
}

void soil_temperature_solve(main_state& ms, double dt) {
  permafrost_layer_soil_record& t = ms.permafrost_layer_soil;
  size_soil_temperature_work(t, std::max(1, omp_get_max_threads()));
  const double air = ms.hmet_record.hmet_air_temp;
  const long n = ms.n_cells;
#pragma omp parallel for schedule(static)
  for (long c = 1; c <= n; ++c) {
    if (!soil_temperature_cell(ms, c)) continue;
    soil_temperature_work& w = t.work_by_thread[static_cast<std::size_t>(omp_get_thread_num())];
    solve_soil_column(t, ms.KOTU_soiltype[c], dt, air, ms.perma_tem[c], w);
  }
  // The listing is emptied at every solve and holds cell 45's profile at the
  // listed solves.
  file_wrapper out;
  if (!open_permafrost_listing(ms, out, "temprof_out.txt", permafrost_listing_temprof)) return;
  const long cell = permafrost_listing_cell;
  if (cell > n || !soil_temperature_cell(ms, cell)) return;
  if (std::find(std::begin(listed_solves), std::end(listed_solves), ms.kotu_step_counter) == std::end(listed_solves))
    return;
  const int nodes = t.Dn_nums[ms.KOTU_soiltype[cell]];
  for (int j = 1; j <= nodes; ++j)
    std::fprintf(out.fp, " %d   %d   %lf  \n", ms.kotu_step_counter, j, ms.perma_tem[cell][j]);
}

void soil_temperature_step(main_state& ms) {
  const auto& pp = ms.project_params;
  if (pp.permafrost_kotu != 1 && pp.multi_layer_infil_kotu != 1) return;
  // A model time step that does not divide the soil-temperature interval
  // passes the solve time: the solve then comes at the first step after it.
  if (ms.now < ms.next_kotu_time - ms.time_tol || ms.perma_tem.size1() < ms.n_cells) return;
  const bool own_clock = pp.use_kotu_timestep == 1;
  // The solve spans the interval, or the time since the last solve when it
  // comes late. Julian days carry it with a round-off of a few tenths of a
  // millisecond: the nearest whole second is the step.
  const double end = own_clock ? std::max(ms.next_kotu_time, ms.now) : ms.now;
  const double dt = std::round((end - ms.last_kotu_time) * 86400.0);
  soil_temperature_solve(ms, dt);
  ++ms.kotu_step_counter;
  if (own_clock) {
    ms.last_kotu_time = ms.now;
    ms.next_kotu_time = ms.now + ms.kotu_interval_days;
  } else {
    ms.last_kotu_time = ms.last_infil_time;
    ms.next_kotu_time = ms.next_infil_time;
  }
}

}  // namespace kavro
