// The layered snowpack of one cell for one hour, in cgs units (cm, g/cm3,
// s, degrees C): compaction and snowfall, the cold content of a frozen top
// layer, the liquid water the wetted layer holds, and the percolation of
// water through the pack as kinematic waves. Its depth is the cell's snow
// depth; what it keeps between hours lives in the cell's snap_kavro_params.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "framework/main_state.h"
#include "hydromet/snow_model.h"

namespace kavro {

namespace {

constexpr double e_const = 2.718281828459;
constexpr double latent_fusion_cgs = 3330464.0;  // heat to melt 1 cm of water over 1 cm2 (J-like cgs units)
constexpr double smallest_depth = 0.1;            // cm
constexpr double smallest_wave = 1e-4;            // cm
constexpr int max_waves = 50;
constexpr double grain_diameter = 0.2;            // cm
constexpr double rho_g_over_mu = 54700.0;         // water density x gravity / viscosity (cgs)

// Working values of one call.
struct pack {
  double D = 0, Ws = 0, theta = 0, rho = 0, phi = 0, n = 3.0, k = 0, alpha = 0;
  double wetted = 0, wetted_prev = 0, stored = 0, rain = 0, z = 0, Tc = 0, hours = 0;
  double grain1 = 0, grain2 = 0, t0 = 0, depth_start = 0, q = 0;
  long count = 0;
  double T = 0, P = 0, dt = 3600.0;
};

double power_e(double x) { return std::pow(e_const, x); }

// A rate cut to a whole multiple of 1e-10 (toward zero); never positive.
double cut_rate(double r) {
  const double scaled = std::clamp(r * 1e10, static_cast<double>(INT32_MIN), static_cast<double>(INT32_MAX));
  const double cut = static_cast<double>(static_cast<std::int32_t>(scaled)) * 1e-10;
  return cut > 0.0 ? 0.0 : cut;
}

void end_cold_spell(pack& s) { s.Tc = s.hours = s.z = 0.0; }

void snowpack_permeability(pack& s, double* p) {
  s.wetted_prev = s.wetted;
  if (s.rho == 0.0) s.rho = 0.3;
  if (s.rho > 1.0) s.rho = 1.0;
  s.depth_start = s.D;
  s.grain1 += 1.25e-11 * s.dt;
  s.grain2 += s.dt * (1.25e-11 + 4.22e-13 * std::pow(100.0 * s.theta / s.rho, 3));
  s.k = 7.8 * s.rho > 50.0 ? 0.0 : 0.077 * grain_diameter * grain_diameter * std::exp(-7.8 * s.rho);
  p[10] = p[11] = s.k;
  s.alpha = s.k == 0.0 ? 0.0 : s.n * std::pow(rho_g_over_mu * s.k, 1.0 / s.n) / s.phi;
}

// Modes: 0 compaction, 1 snowfall x, 2 rain x, 3 outflow x.
void snowpack_mass_update(pack& s, int mode, double x) {
  if (mode == 0 && s.D > 0.0) {
    const double rho_d = std::min(1.15 * s.rho, 0.1);
    const double c3 = s.rho > rho_d ? power_e(-46.0 * (s.rho - rho_d)) : 1.0;
    const double c4 = std::min(1.0 + s.wetted / s.D, 2.0);
    const double x1 = -0.04 * s.T, x2 = 0.08 * s.T + 23.0 * s.rho;
    const double cr_m = std::fabs(x1) >= 50.0 ? 0.0 : cut_rate(-2.778e-6 * c3 * c4 * power_e(x1));
    const double cr_o = std::fabs(x2) >= 50.0 ? 0.0 : cut_rate(-0.5 * 981.0 * s.rho * s.D / (9000000.0 * power_e(x2)));
    const double D_old = s.D;
    s.D = (1.0 + s.dt * (cr_m + cr_o)) * s.D;
    s.rho = s.Ws * (1.0 - s.theta) / D_old;
    if (s.rho > 0.55) {
      s.rho = 0.55;
      s.theta = 0.07;
      s.Ws = 0.55 * s.D / 0.9299999999999999;
    }
    s.phi = (1.0 - s.rho) * (1.0 - s.theta);
  } else if (mode == 1) {
    // New snow of density 0.08.
    s.rho = (s.D * s.rho + x) / (x / 0.08 + s.D);
    s.phi = (1.0 - s.theta) * (1.0 - s.rho);
    s.D += 12.5 * x;
    s.Ws += x;
  } else if (mode == 2) {
    s.rain = x;
  } else if (mode == 3) {
    if (s.rain <= x) {
      if (s.Ws > 0.0) {
        s.Ws -= x - s.rain;
        s.rain = 0.0;
      }
    } else {
      s.rain -= x;
    }
    if (s.Ws < 0.0) s.D = s.Ws = s.rho = 0.0;
  }
  if (s.D < 0.0) s.D = s.Ws = 0.0;
}

// Modes: 1 holding capacity, 2 store x, 3 freeze x.
void liquid_water_holding(pack& s, int mode, double x, double w) {
  if (mode == 1) {
    if (!(s.D > 0.0)) {
      s.theta = 0.07;
      s.stored = s.wetted = 0.0;
      return;
    }
    const double rain = s.T >= 0.0 ? s.P : 0.0;
    const double frozen = std::min(s.z / s.D, 1.0);
    s.theta -= s.dt * (1.388888888888889e-09 * s.T + 1.1111111111111112e-05 * rain + 4.166666666666666e-08 * frozen +
                       4.1666666666666667e-07 * w);
    s.theta = std::clamp(s.theta, 0.005, 0.1);
    s.wetted = std::max(std::min(s.stored / s.theta, s.D), 0.0);
    s.depth_start = s.D;
  } else if (mode == 2) {
    s.stored += x;
    s.wetted = std::max(std::min(s.stored / s.theta, s.D), 0.0);
  } else if (mode == 3) {
    const double old = s.wetted;
    s.wetted = std::min(std::max(s.wetted - x, 0.0), s.D - s.z);
    s.stored = std::max(s.stored - (old - s.wetted) * s.theta, 0.0);
  }
}

void add_cold_hour(pack& s) {
  s.Tc = (s.hours * s.Tc - s.T) / (s.hours + 1.0);
  s.hours += 1.0;
}

// The cold content of the frozen top layer takes or gives the water input w.
double snowpack_cold_content(pack& s, double w) {
  const double r = 1000.0 * s.rho;
  const double K = s.rho <= 0.0 ? 0.0045 : 0.01 * (0.023 + 2.267 * (7.775e-5 * r + 1.105e-6 * r * r));
  bool active = s.hours > 0.0 || s.Tc > 0.0;
  if (w > 0.0 && s.wetted <= s.D) {
    if (active) {
      const double Ew = latent_fusion_cgs * w, Ec = 1.0405 * s.rho * s.z * s.Tc;
      if (Ew <= Ec) {
        s.Tc = 0.9611 * (Ec - Ew) / (s.rho * s.z);
        w = 0.0;
      } else {
        end_cold_spell(s);
        active = false;
        w *= 1.0 - Ec / Ew;
      }
    }
    const double room = s.wetted >= s.D ? 0.0 : (s.D - s.wetted) * s.theta;
    if (w < room) {
      liquid_water_holding(s, 2, w, w);
      if (active) {
        add_cold_hour(s);
        if (s.Tc < 0.0) end_cold_spell(s);
      }
      w = 0.0;
    } else {
      liquid_water_holding(s, 2, room, w);
      w -= room;
      if (active) end_cold_spell(s);
    }
  } else if (w > 0.0) {
    s.wetted = s.D;
    if (active) end_cold_spell(s);
  } else if (s.T < 0.0) {
    add_cold_hour(s);
    const double z_new = std::sqrt(2.0 * K * s.Tc * s.dt * s.hours / (333.05 * s.theta));
    if (z_new > s.z) {
      const double grow = z_new - s.z;
      s.z = z_new;
      liquid_water_holding(s, 3, grow, w);
    }
    w = 0.0;
  }
  return w;
}

double wave_travel_time(const pack& s, double w, double De) {
  if (s.n == 1.0 || w <= 0.0 || De <= 0.0 || s.alpha <= 0.0) return 0.0;
  return std::pow((s.n - 1.0) / w, s.n - 1.0) * std::pow(De / s.alpha, s.n);
}

double snowpack_surface_input(pack& s, double u, const double* p, double** waves, bool restored) {
  const double H = u == 10000.0 ? 10.0 * s.T : (6.0 * u + 1.8) * s.T;
  if (p[2] > 0.0) {
    s.D = p[2];
    s.Ws = p[2] * s.rho;
  } else {
    snowpack_mass_update(s, 0, 0.0);
  }
  double w = s.D > 0.0 ? s.dt * H / latent_fusion_cgs : 0.0;
  if (s.T >= 0.0) {
    w += (s.T / 80.0 + 1.0) * s.P;
    snowpack_mass_update(s, 2, s.P);
  } else {
    snowpack_mass_update(s, 1, s.P);
  }
  w = snowpack_cold_content(s, w);
  liquid_water_holding(s, 1, 0.0, w);
  // One wave per hour; the melt-out hour that carries last hour's waves
  // opens none, and the records hold at most fifty.
  if (w > smallest_wave && s.count < max_waves && !(restored && s.count > 0)) {
    s.count += 1;
    double* r = waves[s.count];
    r[1] = -s.t0;
    r[2] = s.D;
    r[3] = w;
    r[4] = s.D > 0.0 ? wave_travel_time(s, w, s.D) : 0.0;
    r[5] = -1.0;
  }
  return w;
}

void remove_water_wave(pack& s, double** waves, long i) {
  for (long j = i; j < s.count; ++j)
    for (int m = 1; m <= 5; ++m) waves[j][m] = waves[j + 1][m];
  s.count -= 1;
}

void route_water_waves(pack& s, double** waves) {
  double q = 0.0;
  const double p = 1.0 / (1.0 - s.n);
  if (s.count > 0 && s.D > 0.0 && s.alpha > 0.0) {
    for (long j = 1; j <= s.count; ++j) {
      const double entry = waves[j][1], De = waves[j][2], tt = waves[j][4];
      if (!(s.t0 + s.dt > tt - entry)) continue;
      const double F = std::pow(De / s.alpha, s.n / (s.n - 1.0));
      double a = entry + s.t0 + s.dt, b = entry + std::max(s.t0, tt - entry);
      if (!(a > 0.0)) a = 1.0;
      if (!(b > 0.0)) b = 1.0;
      q += (1.0 - s.n) * F * (std::pow(a, p) - std::pow(b, p));
    }
  } else if (s.count > 0 && s.D <= 0.0) {
    while (s.count > 0) {
      const double entry = waves[1][1], De = waves[1][2], amount = waves[1][3], tt = waves[1][4];
      if (s.t0 > tt - entry && s.alpha > 0.0) {
        const double F = std::pow(De / s.alpha, s.n / (s.n - 1.0));
        double base = s.t0 + entry;
        if (!(base > 0.0)) base = 1.0;
        q -= (1.0 - s.n) * F * std::pow(base, p);
      } else {
        q += amount;
      }
      remove_water_wave(s, waves, 1);
    }
  }
  if (q > 0.0) snowpack_mass_update(s, 3, q);
  s.q = q;
}

}  // namespace

void snowpack_layer_step(main_state& ms, long i, double precip_cm, double air_temp, double /*rh*/, double wind) {
  double* p = ms.snap_kavro_params[i];
  double* v = ms.sn_stat[i];
  double** waves = ms.wave[i];
  pack s;
  s.T = air_temp;
  s.P = precip_cm;
  s.dt = static_cast<double>(static_cast<long>(p[8] + 0.01));
  const bool restored = v[21] == 1.0;
  if (!restored) {
    s.D = p[5];
    s.Ws = p[6];
    s.theta = p[7];
    s.rho = p[9];
    s.phi = p[4];
    s.n = p[3];
    p[10] = 0.0;
    s.depth_start = s.D;
    s.Tc = s.T;
  } else {
    s.D = v[2], s.rho = v[3], s.wetted = v[4], s.wetted_prev = v[5], s.grain1 = v[6], s.grain2 = v[7];
    s.t0 = v[8], s.Tc = v[9], s.phi = v[10], s.theta = v[11], s.Ws = v[12], s.rain = v[13];
    s.hours = v[14], s.count = static_cast<long>(v[15]), s.n = v[16], s.z = v[17], s.stored = v[18], s.k = v[20];
    s.depth_start = v[1];
  }
  // A record that never held a pack has no holding capacity yet.
  s.theta = std::clamp(s.theta, 0.005, 0.1);
  if (s.D == 0.0) s.count = 0, s.t0 = 0.0;
  s.t0 += s.dt;
  snowpack_permeability(s, p);
  snowpack_surface_input(s, wind, p, waves, restored);
  route_water_waves(s, waves);
  if (s.D < smallest_depth) s.D = s.rho = 0.0;

  v[1] = s.depth_start, v[2] = s.D, v[3] = s.rho, v[4] = s.wetted, v[5] = s.wetted_prev;
  v[6] = s.grain1, v[7] = s.grain2, v[8] = s.t0, v[9] = s.Tc;
  if (s.phi > 0.0 && s.phi <= 1.0)
    v[10] = s.phi;
  else if (!(v[10] > 0.0 && v[10] <= 1.0))
    v[10] = 0.67;
  v[11] = s.theta, v[12] = s.Ws, v[13] = s.rain, v[14] = s.hours, v[15] = static_cast<double>(s.count);
  v[16] = s.n, v[17] = s.z, v[18] = s.stored, v[19] = s.q, v[20] = s.k, v[21] = 1.0, v[22] = p[11];
  p[3] = s.n, p[4] = s.phi, p[5] = s.D, p[6] = s.Ws, p[7] = s.theta, p[9] = s.rho;
}

}  // namespace kavro
