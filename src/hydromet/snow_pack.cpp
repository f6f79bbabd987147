// The pack of one cell between melt and the surface: its heat deficit and
// liquid-water holding, and its depth, density and temperature when the
// layered pack is off (compaction of the old snow, density of the new).
#include <algorithm>
#include <cmath>

#include "framework/main_state.h"
#include "hydromet/snow_model.h"

namespace kavro {

namespace {

constexpr double none = 1e-16;
constexpr double max_density = 0.6;  // g/cm3

// (e^B - 1)/B, which tends to 1 as B goes to 0.
double growth_factor(double B) { return std::fabs(B) < 1e-12 ? 1.0 : std::expm1(B) / B; }

// Temperature (C) of a pack of old depth Do and new depth Dn (cm) after a
// change of the air by dT, heat spreading from the surface with the damping
// k (1/m) of its density and liquid-water share.
double conducted_pack_temperature(double Ts, double dT, double k, double Do, double Dn) {
  if (Dn <= none) return Ts + dT * (1.0 - std::exp(-0.01 * k * Do)) / (0.01 * k * Do);
  return Ts + dT * (std::exp(-0.01 * k * Dn) - std::exp(-0.01 * k * Do)) / (0.01 * k * (Do - Dn));
}

}  // namespace

double heat_deficit_update(main_state& ms, long i, double W, double c, double plwhc) {
  const double D = ms.D_2[i];
  const double Wq = ms.Wq[i];
  double excess = 0.0;
  const double E = W + Wq - c - D - D * plwhc;
  if (E >= 0.0) {
    // Deficit met and the holding capacity full: the rest leaves the pack.
    ms.Wq[i] = c;
    excess = E;
    ms.Wi[i] += D;
    ms.D_2[i] = 0.0;
  } else if (W + Wq - D > 0.0) {
    ms.Wq[i] = W + Wq - D;
    ms.Wi[i] += D;
    ms.D_2[i] = 0.0;
  } else {
    // The input refreezes into the cold pack.
    ms.D_2[i] = D - W;
    ms.Wi[i] += W;
  }
  ms.D_2[i] = std::max(ms.D_2[i], 0.0);
  ms.Wi[i] = std::max(ms.Wi[i] - (excess + ms.Wq[i]), 0.0);
  return excess;
}

void snow_depth_update(main_state& ms, long i, double L, double Ta, double h, double P, double mbase) {
  const double swe = ms.swe[i];
  if (swe <= none) {
    ms.swe_scaled[i] = ms.snowpack_temp[i] = ms.snow_density[i] = 0.0;
    ms.snow_last_air_temp[i] = Ta;
    return;
  }
  const double depth_cm = 100.0 * ms.swe_scaled[i];
  double rho = depth_cm > none && ms.snow_density[i] > none ? ms.snow_density[i] : 0.0;
  // A pack with depth but no density yet (a hotstart): its bulk density.
  if (rho == 0.0 && depth_cm > none && ms.snow_density[i] <= none) rho = swe / ms.swe_scaled[i];
  const bool new_snow = Ta <= mbase && P > none;
  double W = 1000.0 * swe - (new_snow ? P : 0.0);
  if (W < 1e-6) W = 0.0;
  double Ts = ms.snowpack_temp[i];

  // Compaction of the old snow by its weight and, with melt water, by wetting.
  const double c5 = L > none ? 2.0 : 0.0;
  const double cx = rho > 0.15 ? 23.0 : 0.0;
  const double B = std::exp(0.08 * Ts - 21.0 * rho) * h * 0.026 * 0.1 * W;
  // Without melt water the wetting factor is exactly 1.
  const double A = c5 == 0.0 ? 1.0 : std::exp(c5 * 0.005 * h * std::exp(0.1 * Ts - 151.0 * cx * (rho - 0.15)));
  const double rho_c = rho * A * growth_factor(B);
  const double Do = rho_c > none ? 0.1 * W / rho_c : 0.0;

  const double rho_n = Ta > -15.0 ? 0.05 + 0.0017 * std::pow(Ta + 15.0, 1.5) : 0.05;
  double Dn = 0.0, D = Do, rho_m = rho_c;
  if (Ta <= mbase) {
    Dn = 0.1 * P / rho_n;
    D = Dn + Do;
    rho_m = Do > none ? 0.1 * (W + P) / D : rho_n;
  }
  if (rho_m > max_density) {
    D = D * rho_m / max_density;
    rho_m = max_density;
  }

  if (W <= none || Do <= none || W + L < none || Dn + Do < none) {
    Ts = Ta;
  } else if (!(std::fabs(Do - Dn) < 1e-5)) {
    const double f = L / (W + L);
    const double k = std::sqrt((2.1e6 * rho_c * (1.0 - rho_c - f) + 4.2e6 * f) * 3.14159 /
                               (std::exp(5.181 * rho_c) * 0.0442 * 2.0 * 3600.0 * h));
    const double last = ms.snow_last_air_temp[i];
    double dT = Ta - last;
    if (last > none && Ta > none)
      dT = std::fabs(dT);
    else if (last > none)
      dT = Ta;
    const double Ts_old = conducted_pack_temperature(Ts, dT, k, Do, Dn);
    Ts = (Ts_old * Do + Dn * Ta) / (Dn + Do);
  }
  // A pack never warms above melting.
  if (Ts > 0.0) Ts = 0.0;
  ms.swe_scaled[i] = D / 100.0;
  ms.snow_density[i] = rho_m;
  ms.snowpack_temp[i] = Ts;
  ms.snow_last_air_temp[i] = Ta;
}

}  // namespace kavro
