#include "hydromet/elevation_bands.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "framework/main_state.h"
#include "hydromet/hydromet_steps.h"

namespace kavro {

namespace {

constexpr double gravity = 9.81;
constexpr double dry_adiabat = 0.009761194029850746;  // g / cp (K/m)

// Columns of a level of El_T_P_e_es_LR.
enum level_column : int { lv_elevation = 1, lv_temperature, lv_pressure, lv_vapour, lv_saturation, lv_rate };
// Columns of a station of Gage_XYZ_Lev_P_rh_c_w_t_qh.
enum gage_column : int { gc_x = 1, gc_y, gc_z, gc_band, gc_pressure, gc_humidity, gc_cloud, gc_wind, gc_temp, gc_q };

int station_level(const main_state& ms, int g) {
  return static_cast<int>(ms.Gage_XYZ_Lev_P_rh_c_w_t_qh[g][gc_band] + 0.001);
}

void store_level(main_state& ms, int g, int i, double T, const level_air& a) {
  double* L = ms.El_T_P_e_es_LR[g][i];
  L[lv_temperature] = T;
  L[lv_pressure] = a.pressure;
  L[lv_vapour] = a.vapour;
  L[lv_saturation] = a.saturation;
  L[lv_rate] = a.lapse_rate;
}

}  // namespace

level_air moist_adiabatic_lapse_rate(double P, double theta, double m, double T, double previous_rate) {
  level_air a;
  const double Tk = T + 273.15;
  a.pressure = P * std::pow(Tk / theta, gravity / (previous_rate * 287.04));
  a.saturation = 6.112 * std::exp(17.67 * T / (T + 243.5));
  a.vapour = a.pressure * m;
  if (a.saturation > a.vapour) {
    a.lapse_rate = dry_adiabat;
    return a;
  }
  // Saturated: the latent heat of condensation slows the cooling.
  const double Lc = 1.0e6 * (2.501 - 0.00236 * T) / 1005.0;
  const double es = a.saturation, Pl = a.pressure, d = Pl - 0.378 * es;
  a.lapse_rate = (es * 0.622 / (d * d) * Lc * Pl * gravity / (Tk * 287.04) + dry_adiabat) /
                 (es * 4105.29 / ((T + 237.3) * (T + 237.3)) * (es * 0.235116 / (d * d) + 0.622 / d) * Lc + 1.0);
  return a;
}

void build_elevation_bands(main_state& ms) {
  const int nb = ms.n_elev_bands;
  const double width = ms.elev_band_width;
  const int s = std::clamp(station_level(ms, 1), 0, nb);
  double* const* level = ms.El_T_P_e_es_LR[1];
  level[s][lv_elevation] = ms.Gage_XYZ_Lev_P_rh_c_w_t_qh[1][gc_z];
  for (int i = s + 1; i <= nb; ++i) level[i][lv_elevation] = level[i - 1][lv_elevation] + width;
  for (int i = s - 1; i >= 0; --i) level[i][lv_elevation] = level[i + 1][lv_elevation] - width;
  for (int g = 2; g <= ms.n_met_gages; ++g)
    for (int i = 0; i <= nb; ++i) ms.El_T_P_e_es_LR[g][i][lv_elevation] = level[i][lv_elevation];

  auto lev = [&](int i) { return level[i][lv_elevation]; };
  long outside = 0, first_outside = 0;
  for (long j = 1; j <= ms.n_cells; ++j) {
    const double h = ms.elevation[j];
    const int l = static_cast<int>((h - ms.elev_min) / width), i = l + 2;
    int band = -1;
    if (i >= 1 && i <= nb && lev(i - 1) <= h && h <= lev(i)) band = i;
    else if (i >= 0 && i + 1 <= nb && lev(i) <= h && h <= lev(i + 1)) band = i + 1;
    else if (i >= 2 && i - 1 <= nb && lev(i - 2) <= h && h <= lev(i - 1)) band = l + 1;
    if (band < 1 || band > nb - 1) {
      // Outside the levels: the nearest band.
      if (++outside == 1) first_outside = j;
      band = h < lev(std::clamp(s, 0, nb)) ? 1 : nb - 1;
    }
    ms.LR_Num[j] = band;
  }
  if (outside > 0) {
    std::printf("\nError in Assigning Elevation Bands!!!!");
    std::printf(" (%ld cells, the first cell %ld at %.2f m, lie outside the bands; they take the nearest band)\n",
                outside, first_outside, ms.elevation[first_outside]);
  }
}

void band_lapse_temperature(main_state& ms, int g, double T, double P, double rh_fraction) {
  const int nb = ms.n_elev_bands;
  const double width = ms.elev_band_width;
  const double es0 = 6.112 * std::exp(17.67 * T / (T + 243.5));
  const double e0 = es0 * rh_fraction;
  // Vapour fraction e/P of the station's air, through its mixing ratio.
  const double q = 0.622 * e0 / (P - 0.378 * e0);
  const double m = q / (0.622 + 0.378 * q);
  const double theta = T + 273.15;
  double* const* level = ms.El_T_P_e_es_LR[g];
  const int s = std::clamp(station_level(ms, g), 0, nb);
  store_level(ms, g, s, T, moist_adiabatic_lapse_rate(P, theta, m, T, 1.0));
  bool misplaced = false;
  for (int i = s + 1; i <= nb; ++i) {
    if (std::fabs(level[i - 1][lv_elevation] + width - level[i][lv_elevation]) > 1e-6) misplaced = true;
    const double Ti = level[i - 1][lv_temperature] - level[i - 1][lv_rate] * width;
    store_level(ms, g, i, Ti, moist_adiabatic_lapse_rate(P, theta, m, Ti, level[i - 1][lv_rate]));
  }
  for (int i = s - 1; i >= 0; --i) {
    const double Ti = level[i + 1][lv_temperature] + level[i + 1][lv_rate] * width;
    store_level(ms, g, i, Ti, moist_adiabatic_lapse_rate(P, theta, m, Ti, level[i + 1][lv_rate]));
  }
  if (misplaced) std::printf("\nError in Elevation Bands for Lapse Rates");
}

bool band_station_interpolation(const main_state& ms, long cell, cell_air& out) {
  const double h = ms.elevation[cell];
  const int b = ms.LR_Num[cell];
  bool inside = true;
  double sum[7] = {}, weight_sum = 0.0;
  for (int g = 1; g <= ms.n_met_gages; ++g) {
    const double* lo = ms.El_T_P_e_es_LR[g][b - 1];
    const double* hi = ms.El_T_P_e_es_LR[g][b];
    if (h < lo[lv_elevation] || h > hi[lv_elevation]) inside = false;
    const double f = (h - lo[lv_elevation]) / (hi[lv_elevation] - lo[lv_elevation]);
    auto at = [&](int c) { return lo[c] + (hi[c] - lo[c]) * f; };
    const double e = at(lv_vapour), es = at(lv_saturation);
    const double v[7] = {at(lv_temperature), at(lv_pressure),   std::min(e / es, 1.0),
                         ms.Gage_XYZ_Lev_P_rh_c_w_t_qh[g][gc_cloud], ms.Gage_XYZ_Lev_P_rh_c_w_t_qh[g][gc_wind],
                         e, es};
    const double d = ms.Dist_Cell2Gage[cell][g];
    if (d < ms.dx) {
      // A station on the cell: its values, unweighted.
      for (int k = 0; k < 7; ++k) sum[k] = v[k];
      weight_sum = 1.0;
      break;
    }
    const double w = ms.n_met_gages == 1 ? 1.0 : 1.0 / ((d / 1000.0) * (d / 1000.0));
    for (int k = 0; k < 7; ++k) sum[k] += w * v[k];
    weight_sum += w;
  }
  out.temperature = sum[0] / weight_sum;
  out.pressure = sum[1] / weight_sum;
  out.rh_fraction = sum[2] / weight_sum;
  out.cloud = sum[3] / weight_sum;
  out.wind = sum[4] / weight_sum;
  out.vapour = sum[5] / weight_sum;
  out.saturation = sum[6] / weight_sum;
  return inside;
}

void set_met_station_location(main_state& ms) {
  ms.station_x = ms.project_params.hmet_xcoord_gage;
  ms.station_y = ms.project_params.hmet_ycoord_gage;
}

void gage_cell_distances(main_state& ms) {
  if (!ms.long_term_on || ms.n_cells < 1) return;
  const double width = ms.elev_band_width;
  for (int g = 1; g <= ms.n_met_gages; ++g) {
    double* G = ms.Gage_XYZ_Lev_P_rh_c_w_t_qh[g];
    G[gc_x] = ms.station_x;
    G[gc_y] = ms.station_y;
    G[gc_z] = ms.station_elev;
    G[gc_band] = (ms.station_elev - ms.elev_min) / width + 2.0;
    for (long j = 1; j <= ms.n_cells; ++j) {
      const double dx = ms.cell_x[j] - G[gc_x], dy = ms.cell_y[j] - G[gc_y], dz = ms.elevation[j] - G[gc_z];
      ms.Dist_Cell2Gage[j][g] = std::sqrt(dy * dy + dx * dx + dz * dz);
    }
  }
  build_elevation_bands(ms);
  // Further stations sit on the first band level within one band of them.
  for (int g = 2; g <= ms.n_met_gages; ++g) {
    double* G = ms.Gage_XYZ_Lev_P_rh_c_w_t_qh[g];
    for (int i = 0; i <= ms.n_elev_bands; ++i) {
      const double level = ms.El_T_P_e_es_LR[g][i][lv_elevation];
      if (std::fabs(level - G[gc_z]) <= width) {
        G[gc_z] = level;
        G[gc_band] = i + 0.1;
        break;
      }
    }
  }
}

}  // namespace kavro
