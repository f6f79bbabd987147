// Snow on the canopy: interception of snowfall by the leaves, sublimation of
// the held snow as ice spheres in ventilated air, and canopy melt that drips
// onto the pack below.
#include <algorithm>
#include <cmath>

#include "framework/main_state.h"
#include "framework/parallel_sum.h"
#include "hydromet/snow_model.h"

namespace kavro {

namespace {

constexpr double none = 1e-16;
constexpr double kelvin = 273.15;
constexpr double triple_point = 273.16;
constexpr double capacity_per_lai_mm = 4.4;     // snow a unit of leaf area holds (mm)
constexpr double latent_sublimation = 2.832e6;  // J/kg
constexpr double ice_sphere_radius = 5e-4;      // m
// Mass of an ice sphere of the radius above over radius cubed: 4/3 pi x 916.7 kg/m3.
constexpr double ice_sphere_mass_factor = 3839.860737333333;
constexpr double canopy_melt_rate = 5.8e-5;     // m of water per K and 1000 s

// Sublimated depth (m of water) of a canopy load `load` (m) over `seconds`,
// leaf area index `lai`, capacity C (mm).
double canopy_sublimation(double load, double lai, double capacity_mm, double air_c, double wind, double rh,
                          double albedo, double solar, double seconds) {
  const double T = air_c + kelvin;
  // Wind inside the canopy, at 0.6 of the vegetation height.
  const double u_c = wind * std::exp(-0.9 * lai * (1.0 - 0.6));
  const double reynolds_root = std::sqrt(u_c * 0.001 / 1.3e-5);
  const double sherwood = 1.79 + 0.606 * reynolds_root;
  const double omega = (latent_sublimation * 18.01 / (8313.0 * T) - 1.0) / (0.024 * T * sherwood);
  const double e_ice = 611.15 * std::exp(22.452 * (T - triple_point) / (T - 0.61));
  const double rho_v = 0.622 * e_ice / (287.0 * T);
  const double diffusivity = 2.06e-5 * std::pow(T / 273.0, 1.75);
  const double dm_dt = (0.00314159 * (rh / 100.0 - 1.0) - 7.853975000000001e-07 * (1.0 - albedo) * solar * omega) /
                       (1.0 / (rho_v * diffusivity * sherwood) + latent_sublimation * omega);
  const double mass = ice_sphere_radius * ice_sphere_radius * ice_sphere_radius * ice_sphere_mass_factor;
  const double exposure = 0.01 * std::pow(1000.0 * load / capacity_mm, -0.4);
  return -dm_dt / mass * exposure * 1000.0 * load * seconds / 1000.0;
}

}  // namespace

canopy_season canopy_season_of(int month) {
  if (month == 4 || month == 10) return {0.5, 0.5};
  if (month >= 5 && month <= 9) return {0.0, 1.0};
  return {1.0, 0.0};
}

double canopy_snow_cell(main_state& ms, long i, double seconds, canopy_season season) {
  const double cover = ms.snow_canopy_col1[i], lai_summer = ms.snow_canopy_col2[i], lai_winter = ms.snow_canopy_col3[i];
  if (!(cover >= none && lai_summer >= none && (ms.H_Val[i] > none || ms.canopy_snow[i] > none))) return 0.0;
  const double lai = season.winter * lai_winter + season.summer * lai_summer;
  const double capacity = capacity_per_lai_mm * lai;
  const double air = ms.temper_gridded[i];
  const double P = ms.H_Val[i];
  if (P > none && air <= ms.snow_pxtemp) {
    // The snowfall already lies in swe (the rain step put it there): what the
    // leaves catch moves from the pack to the canopy, never more than fell.
    const double I0 = ms.canopy_snow[i] * 1000.0;
    const double I = std::clamp(I0 + 0.7 * (capacity - I0) * (1.0 - std::exp(-P / capacity)), 0.0, capacity);
    const double caught = std::min({std::max(I - I0, 0.0), P, ms.swe[i] * 1000.0});
    ms.canopy_snow[i] = (I0 + caught) / 1000.0;
    ms.H_Val[i] = P - caught;
    ms.swe[i] -= caught / 1000.0;
  }
  double sublimated = 0.0;
  const double load = ms.canopy_snow[i];
  if (load > none) {
    // Without vegetation height there is no canopy air to sublimate into.
    if (ms.veg[i] > 0.0) {
      const double s = canopy_sublimation(load, lai, capacity, air, ms.vel_gridded[i], ms.rh_gridded[i],
                                          ms.albedo_w_snow[i], ms.inc_solar_rad[i], seconds);
      if (s > none) {
        sublimated = std::min(s, ms.canopy_snow[i]);
        ms.canopy_snow[i] -= sublimated;
      }
    }
    const double T = air + kelvin;
    if (T > triple_point) {
      const double melt = std::min(canopy_melt_rate * (T - triple_point) * seconds / 1000.0, ms.canopy_snow[i]);
      ms.canopy_snow[i] -= melt;
      ms.swe[i] += melt;
    }
  }
  return sublimated;
}

void canopy_snow_interception(main_state& ms, double seconds, int month) {
  const canopy_season season = canopy_season_of(month);
  const long n = ms.n_cells;
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long i = 1; i <= n; ++i) ms.canopy_sublimation_hour[i] = canopy_snow_cell(ms, i, seconds, season);
  const double cell_area = ms.dx * ms.dx;
  ms.vol_canopy_sublimation_total +=
      fixed_chunk_sum(1, n, [&](long i) { return ms.canopy_sublimation_hour[i]; }, ms.snow_sum_partial) * cell_area;
}

}  // namespace kavro
