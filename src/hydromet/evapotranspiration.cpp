#include "hydromet/evapotranspiration.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "framework/alloc.h"
#include "framework/event_volumes.h"
#include "framework/main_state.h"
#include "framework/parallel_sum.h"
#include "framework/run_clock.h"
#include "hydromet/hmet_readers.h"
#include "hydromet/hydromet_steps.h"
#include "overland/lake_extent.h"

namespace kavro {

namespace {

// Constants of the energy balance.
constexpr double pi = 3.142857142857143;  // 22/7, the value these formulas were fitted with
constexpr double transfer_coef = 0.0025;  // bulk transfer coefficient
constexpr double cp_air = 1.013;          // specific heat of air (kJ/kg/K)
constexpr double r_vapour = 461.0;        // gas constant of water vapour (J/kg/K)
constexpr double sigma = 5.67e-8;         // Stefan-Boltzmann constant (W/m2/K4)
constexpr double solar_constant = 1353.0; // W/m2
constexpr double water_albedo = 0.08;
constexpr double freezing = 273.15;       // K

// The canopy resistance multiplier of each clock hour.
constexpr double hourly_canopy_factor[24] = {
    4.023803564, 3.837220945, 3.588557905, 3.210454452, 2.430375714, 1.617231413, 1.196049428, 1.066950368,
    1.014336754, 0.995198325, 0.976059896, 0.976059896, 1.0,         1.052613613, 1.167444189, 1.354095078,
    1.636506383, 2.043283344, 2.660309947, 3.215256127, 3.507134242, 3.688915186, 3.818082516, 3.923343877};

// Messages found for a cell inside the parallel loop.
enum et_flag : unsigned char {
  et_kt_zero = 1,
  et_kt_negative = 2,
  et_not_converging = 4,
  et_ra_negative = 8,
  et_ra_nan = 16,
  et_pet_nan = 32,
  et_aet_nan = 64,
};

// The air and the sun of the hour, the same for every cell.
struct et_hour {
  bool penman = false;
  int hour = 0;
  double season = 1.0;               // canopy resistance multiplier of the month
  double sin_alt = 0, alt = 0, altitude_deg = 0;
  double air_mass = 0, attenuation = 0, sun_azimuth = 0, orbit = 0;
  double cloud_constant = 0.4 * 0.0853 + 0.18;
  double T = 0, Ta = 0, es = 0, e = 0, cloud = 0, sky = 0;
  double u = 0, P = 0, rho = 0, qa = 0, Lv = 0;
  double direct = 0, diffuse = 0;
  double beam = 0;  // the direct beam on a surface normal to it (for the messages)
};

// Canopy resistance multiplier of month m (card SEASONAL_RS).
double seasonal_factor(const main_state& ms, int m) {
  if (!ms.seasonal_rs_on) return 1.0;
  if (ms.seasonal_rs_spring < 1) {
    if (ms.latitude_deg < 37.0) {
      if (m <= 3 || m >= 11) return 4.0;
      if (m == 4 || m == 10) return 2.5;
      return 1.0;
    }
    if (m <= 4 || m >= 11) return 4.0;
    if (m == 5) return 3.0;
    if (m == 6) return 2.0;
    if (m == 10) return 2.5;
    return 1.0;
  }
  const int s = ms.seasonal_rs_spring, f = ms.seasonal_rs_fall;
  const int a = ms.seasonal_rs_summer_start, b = ms.seasonal_rs_summer_end;
  if (m <= s || m >= f) return 4.0;
  if (m < a) return static_cast<float>(4.0f - static_cast<float>(m - s) * 3.0f / static_cast<float>(a - s));
  if (m > b) return static_cast<float>(static_cast<float>(m - b) * 3.0f / static_cast<float>(f - b) + 1.0f);
  return 1.0;
}

et_hour hour_of(const main_state& ms) {
  et_hour h;
  h.penman = ms.et_calc_penman_on != 0;
  h.hour = std::clamp(ms.cur_hour, 0, 23);
  const int N = day_of_year(ms.cur_year, ms.cur_month, ms.cur_day);
  h.season = seasonal_factor(ms, ms.cur_month);
  const double phi = ms.latitude_deg * pi / 180.0;
  const double decl = 23.45 * pi / 180.0 * std::cos((172 - N) * 2.0 * pi / 365.0);
  const int ch = ms.cur_hour;
  const double w = ch <= 12 ? pi / 180.0 * 15.0 * (ch + 12) : pi / 180.0 * 15.0 * (ch - 12);
  h.sin_alt = std::cos(phi) * std::cos(decl) * std::cos(w) + std::sin(phi) * std::sin(decl);
  h.alt = std::asin(h.sin_alt);
  h.altitude_deg = h.alt * 180.0 / pi;
  if (h.altitude_deg > 0.0) {
    h.air_mass = 1.0 / (0.15 * std::pow(h.altitude_deg + 3.885, -1.253) + h.sin_alt);
    h.attenuation = 0.128 - 0.054 * std::log10(h.air_mass);
  }
  h.sun_azimuth = std::asin(std::sin(w) * std::cos(decl) / std::cos(h.alt));
  const double G = (N - 1) * 2.0 * pi / 365.0;
  h.orbit = 1.00011 + 0.034221 * std::cos(G) + 0.00128 * std::sin(G) + 0.000719 * std::cos(2 * G) +
            0.000077 * std::sin(2 * G);
  const hmet_hour_record& r = ms.hmet_record;
  h.T = r.hmet_air_temp;
  h.Ta = h.T + 273.15;
  h.es = 0.6108 * std::exp(17.27 * h.T / (h.T + 237.3));
  h.e = h.es * r.hmet_rel_humidity / 100.0;
  h.cloud = hmet_cloud_fraction(ms, r.hmet_cloud_cover);
  h.sky = (1.0 + 0.17 * h.cloud * h.cloud) * (0.74 + 0.0049 * h.e) * sigma * std::pow(h.Ta, 4);
  h.u = std::max(r.hmet_wind_speed, 1e-4);
  h.P = r.hmet_pressure * 0.1;
  h.rho = h.P / (h.T + 275.0) * 3.486;
  h.qa = 0.622 * h.e / (h.P - 0.378 * h.e);
  h.Lv = (2.501 - 0.002361 * h.T) * 1000.0;
  h.direct = r.hmet_direct_rad;
  h.diffuse = r.hmet_diffuse_rad;
  return h;
}

// The evapotranspiration of one cell; its messages go to `flag`.
void evapo_cell(main_state& ms, const et_hour& h, double cloud, long j, unsigned char& flag) {
  flag = 0;
  if (ms.swe_scaled[j] > 1e-16) {
    // Snow covers the cell: no evapotranspiration, ground at most freezing.
    ms.pot_et[j] = ms.pot_aet[j] = 0.0;
    ms.ground_temp[j] = std::min(ms.ground_temp[j], freezing);
    return;
  }
  const double height = h.penman ? ms.veg[j] : 0.001;
  const double albedo = height <= ms.ov_depth[j] ? water_albedo : ms.albedo_w_snow[j];
  double Rsn = 0.0;
  if (h.altitude_deg > 0.0) {
    const double x = ms.slope_right[j], y = -ms.slope_below[j];
    const double s = std::atan(std::sqrt(x * x + y * y));
    const double aspect = x == 0.0 ? 0.0 : pi / 2.0 - std::atan(y / x);
    const double cosi = std::cos(h.sun_azimuth - aspect) * std::sin(s) * std::cos(h.alt) + std::cos(s) * h.sin_alt;
    const double W = h.direct < 9999.0 ? h.air_mass * h.direct * cosi
                                       : std::exp(-2.0 * h.attenuation * h.air_mass) * solar_constant * h.orbit *
                                             cosi * (1.0 - (1.0 - h.cloud_constant) * cloud);
    double tau = 1.0;
    if (h.penman) {
      tau = ms.Kt[j];
      if (tau < 1e-16) flag |= et_kt_zero;
      if (tau < -1e-16) {
        flag |= et_kt_negative;
        tau = 1.0;
      }
    }
    const double c2 = std::cos(s / 2.0);
    Rsn = (h.diffuse * c2 * c2 + std::max(W, 0.0) * tau) * (1.0 - albedo);
  }

  // Ground temperature: Newton iteration on the surface energy balance.
  const double rho = h.rho, u = h.u, P = h.P, Lv = h.Lv;
  const double start = ms.ground_temp[j];
  double Tg = start, Ev = 0.0, H = 0.0, R = 0.0, change = 0.0;
  bool converged = false;
  for (int it = 0; it < 1000; ++it) {
    const double esg = 0.6108 * std::exp(17.27 * (Tg - 273.15) / (Tg - 273.15 + 237.3));
    const double qg = 0.622 * esg / (P - 0.378 * esg);
    Ev = h.qa < qg ? transfer_coef * rho * u * (qg - h.qa) : 0.0;
    H = cp_air * rho * transfer_coef * u * (Tg - h.Ta);
    R = (h.sky - sigma * std::pow(Tg, 4) + Rsn) / -1000.0;
    ms.ground_heat_flux[j] = -Lv * Ev - H - R;
    const double f = Lv * Ev + H + H / 3.0 + R;
    const double df = Lv / (Tg * Tg * r_vapour / 1000.0) * P / (P - 0.378 * esg) * qg * transfer_coef * rho * u * Lv +
                      4.0 * sigma * Tg * Tg * Tg / 1000.0 + cp_air * rho * transfer_coef * u +
                      (rho / 3.0) * cp_air * transfer_coef * u;
    const double next = Tg - f / df;
    change = next - Tg;
    Tg = next;
    if (std::fabs(change) <= 0.001) {
      converged = true;
      break;
    }
  }
  if (!converged) {
    flag |= et_not_converging;
    if (change > 0.002) Tg = start;
  }
  ms.ground_temp[j] = Tg;

  double pet = 0.0, aet = 0.0;
  if (!h.penman) {
    pet = aet = Ev / 1000.0 * 100.0;
  } else {
    const double D = h.es * 4098.0 / ((h.T + 237.3) * (h.T + 237.3));
    const double gamma = P / Lv * 1.6286173633440513;
    const double energy = -R - H / 3.0;
    if (u <= 1e-4) {
      pet = aet = energy * D / (D + gamma) / (Lv * 1000.0) * 100.0;
    } else {
      double veg = ms.veg[j];
      if (veg < 0.001) veg = ms.veg[j] = 0.001;
      const double zm = veg + 2.0 - 0.67 * veg;
      const double ra = std::log(zm / (0.0123 * veg)) * std::log(zm / (0.123 * veg)) / (0.41 * 0.41 * u);
      if (ra < 0.0) flag |= et_ra_negative;
      if (std::isnan(ra)) flag |= et_ra_nan;
      const double Tgc = Tg - 273.15;
      const double V = cp_air * rho * (0.6108 * std::exp(17.27 * Tgc / (Tgc + 237.3)) - h.e) / ra;
      const double Q = D * energy;
      pet = (Q + V) / (D + gamma) / (Lv * 1000.0) * 100.0;
      aet = (Q + V) / ((hourly_canopy_factor[h.hour] * ms.Rs[j] * h.season / ra + 1.0) * gamma + D) / (Lv * 1000.0) *
            100.0;
    }
  }
  if (ms.area_reduction_on && !ms.area_reduction.empty()) aet *= ms.area_reduction[j];
  if (pet < 0.0) pet = 0.0;
  if (aet < 0.0) aet = 0.0;
  if (std::isnan(pet)) flag |= et_pet_nan;
  if (std::isnan(aet)) flag |= et_aet_nan;
  ms.pot_et[j] = pet;
  ms.pot_aet[j] = aet;
}

void print_cell_messages(const main_state& ms, const et_hour& h, long j, unsigned char flag) {
  if (flag & et_kt_zero) std::printf("You have a vegetation transmission coefficient of 0.0 in cell %ld \n", j);
  if (flag & et_kt_negative) {
    std::printf("Your vegetation transmission coefficient for cell %ld is less than zero, this is not allowed \n", j);
    std::printf("KAVRO will set the value to 1.0.  Check your evapotranspiration inputs \n");
  }
  if (flag & et_not_converging) {
    std::printf("Ground temperature not converging in cell %ld, check your hydrometeorological inputs \n", j);
    std::printf("P= %4.0lf KPa T= %4.0lf K rh= %4.3lf v= %4.2lf m/s cloud cover= %4.3lf direct= %6.0lf W/m^2 "
                "diffuse= %6.0lf W/m^2 \n",
                h.P, h.Ta, ms.hmet_record.hmet_rel_humidity / 100.0, h.u, std::min(h.cloud, 1.0), h.beam, h.diffuse);
  }
  if (flag & et_ra_negative) {
    const double veg = ms.veg[j], zm = veg + 2.0 - 0.67 * veg;
    const double ra = std::log(zm / (0.0123 * veg)) * std::log(zm / (0.123 * veg)) / (0.41 * 0.41 * h.u);
    std::printf("%ld %lf %lf\n", j, ra, h.u);
  }
  if (flag & et_ra_nan) std::printf("Ra is not a number in evapo-trans \n");
  if (flag & et_pet_nan) std::printf("A non-real number for PET has been detected for overland cell %ld \n", j);
  if (flag & et_aet_nan) std::printf("A non-real number AET has been detected for overland cell %ld \n", j);
}

bool in_overland_lake(const main_state& ms, long j) {
  return ms.overland_lake_on && j <= ms.oland_lake_new.size() && ms.oland_lake_new[j] >= 1;
}
bool in_any_lake(const main_state& ms, long j) { return in_overland_lake(ms, j) || is_channel_lake_cell(ms, j); }

// ---- The frozen soil -------------------------------------------------------

void unfrozen_shares(main_state& ms) {
  if (ms.SE.empty()) return;
  const long n = ms.n_cells;
  for (long j = 1; j <= n; ++j) {
    const double T = ms.ground_temp[j];
    if (ms.richards_on) {
      if (in_any_lake(ms, j) || ms.BP.empty() || ms.LAM.empty()) continue;
      if (T >= 273.15) ms.SE[j] = 1.0;
      else if (T <= 263.15) ms.SE[j] = 0.0;
      else ms.SE[j] = std::pow((T - 273.15) * 334000.0 / T / (ms.BP[j][1] / 100.0 * 9.81), -1.0 / ms.LAM[j][1]);
    } else if (ms.multi_layer_ga_on) {
      const long id = ms.soiltype.empty() ? 0 : ms.soiltype[j];
      if (id < 0 || id >= soil_type_store::size()) continue;
      const soil_type_params& soil = std::as_const(ms.soil_type_table)[id];
      ms.SE[j] = T > 273.15 ? 1.0
                            : unfrozen_water_ratio(T, soil.layer_lambda[1], soil.layer_suction_head[1] / -0.7 / 100.0);
    } else if (ms.soil_redist_on) {
      const double b = ms.pore_index.empty() ? 0.0 : ms.pore_index[j];
      const double psi = ms.capillary.empty() ? 0.0 : ms.capillary[j] / -0.7;
      ms.SE[j] = T > 273.15 ? 1.0 : unfrozen_water_ratio(T, b, psi);
    }
  }
}

// ---- The hourly basin averages -----------------------------------------------

struct basin_means {
  double cells = 0, infil = 0, recharge = 0, theta = 0, pet = 0, cfgi = 0, air = 0, ground = 0;
  double theta_upper = 999.99, theta_lower = 999.99;
};

basin_means hourly_means(main_state& ms) {
  basin_means m;
  const long n = ms.n_cells;
  auto& partial = ms.weather_buffers.sum_partial;
  auto counted = [&](long j) { return !in_any_lake(ms, j); };
  if (ms.richards_on && !ms.THETA.empty() && !ms.soil_moisture.empty()) {
    for (long j = 1; j <= n; ++j) {
      if (!counted(j)) continue;
      ms.soil_moisture[j] = ms.THETA[j][1];
      if (std::isnan(ms.soil_moisture[j])) std::printf("Theta_all for cell %ld is not a number \n", j);
    }
  }
  auto mean_of = [&](auto value) {
    return fixed_chunk_sum(1, n, [&](long j) { return counted(j) ? value(j) : 0.0; }, partial);
  };
  m.cells = mean_of([](long) { return 1.0; });
  const double cells = m.cells > 0 ? m.cells : 1.0;
  auto cell_value = [](const dvec& a, long j) { return a.empty() ? 0.0 : a[j]; };
  m.infil = mean_of([&](long j) { return cell_value(ms.infil_rate, j); }) / cells;
  m.recharge = mean_of([&](long j) { return cell_value(ms.rich_bottom_flux, j); }) / cells;
  m.theta = mean_of([&](long j) { return cell_value(ms.soil_moisture, j); }) / cells;
  m.pet = mean_of([&](long j) { return ms.pot_et[j] * 3600.0; }) / cells;
  m.cfgi = mean_of([&](long j) { return cell_value(ms.cfgi_value, j); }) / cells;
  m.air = mean_of([&](long j) { return ms.temper_gridded[j]; }) / cells;
  m.ground = mean_of([&](long j) { return ms.ground_temp[j] - 273.15; }) / cells;
  ms.soil_moisture_mean = m.theta;
  if (ms.soil_redist_on && !ms.soil_layer_cm.empty() && !ms.soil_water_cm.empty()) {
    double upper = 0, lower = 0, n_upper = 0, n_lower = 0;
    for (long j = 1; j <= n; ++j) {
      if (!counted(j)) continue;
      double D1 = ms.top_layer_depth_cm;
      if (ms.multi_layer_ga_on && !ms.soiltype.empty()) {
        const long id = ms.soiltype[j];
        if (id >= 0 && id < soil_type_store::size()) D1 = std::as_const(ms.soil_type_table)[id].layer_depth[1];
      }
      const double Z = ms.soil_layer_cm[j];
      if (D1 < Z) {
        upper += ms.soil_water_cm[j] / D1, ++n_upper;
        lower += ms.soil_water2_cm[j] / (Z - D1), ++n_lower;
      } else if (Z > 1e-16) {
        upper += ms.soil_water_cm[j] / Z, ++n_upper;
      }
    }
    if (n_upper > 0) m.theta_upper = upper / n_upper;
    if (n_lower > 0) m.theta_lower = lower / n_lower;
  }
  return m;
}

void write_hourly_averages(main_state& ms) {
  const basin_means m = hourly_means(ms);
  const double cells = m.cells > 0 ? m.cells : 1.0;
  ms.pet_rate = (ms.vol_evap_total - ms.prev_vol_evap_total) / (ms.dx * ms.dx * cells) * 100.0;
  ms.prev_vol_evap_total = ms.vol_evap_total;
  if (!ms.quiet && !ms.tool_mode)
    std::printf("%d/%d/%d %2d:00 PET cm/h %6.4lf AET cm/h %6.4lf Infil cm/h %6.4lf Theta %5.2lf \n", ms.cur_year,
                ms.cur_month, ms.cur_day, ms.cur_hour, m.pet, ms.pet_rate, m.infil, m.theta);
  if (!ms.evap_out_file.is_open()) return;
  std::FILE* out = ms.evap_out_file.fp;
  std::fprintf(out, "%d/%d/%d  %2d:00 %12.6lf %12.6lf %12.6lf %12.6lf %12.6lf %12.6lf %12.6lf %12.6lf %12.6lf",
               ms.cur_year, ms.cur_month, ms.cur_day, ms.cur_hour, m.theta, m.pet, ms.pet_rate, m.infil, m.recharge,
               m.cfgi, ms.hmet_record.hmet_air_temp, m.air, m.ground);
  if (ms.soil_redist_on) std::fprintf(out, "%12.6lf   %12.6lf", m.theta_upper, m.theta_lower);
  std::fprintf(out, "\n");
}

// Without soil columns: the basin's mean soil moisture only.
void write_soil_moisture_line(main_state& ms) {
  const long n = ms.n_cells;
  auto counted = [&](long j) { return !in_any_lake(ms, j); };
  auto& partial = ms.weather_buffers.sum_partial;
  const double cells = fixed_chunk_sum(1, n, [&](long j) { return counted(j) ? 1.0 : 0.0; }, partial);
  const double sum = ms.soil_moisture.empty()
                         ? 0.0
                         : fixed_chunk_sum(1, n, [&](long j) { return counted(j) ? ms.soil_moisture[j] : 0.0; },
                                           partial);
  ms.soil_moisture_mean = cells > 0 ? sum / cells : 0.0;
  if (ms.quiet || ms.tool_mode) return;
  std::printf("longterm %d/%d/%d  %2d:00 Avg. Soil Moisture: %7.2lf  \n", ms.cur_year, ms.cur_month, ms.cur_day,
              ms.cur_hour, ms.soil_moisture_mean);
  if (ms.flush_on && ++ms.flush_counter >= ms.flush_buffer) {
    std::fflush(stdout);
    ms.flush_counter = 0;
  }
}

}  // namespace

double evapo_trans(main_state& ms) {
  const long n = ms.n_cells;
  if (!ms.ground_temp_started) {
    // The ground starts at the air temperature of the first hour.
    const double start = ms.hmet_record.hmet_air_temp + 273.15;
    double* gt = ms.ground_temp.data();
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
    for (long j = 1; j <= n; ++j) gt[j] = start;  // cell_air_temp_kelvin
    ms.ground_temp_started = 1;
  }
  et_hour h = hour_of(ms);
  double cloud = h.cloud;
  if (cloud > 1.0) {
    std::printf("WARNING: Cloud cover > 1.0 in evapo_trans - possible problem with hmet file \n");
    cloud = 1.0;
  }
  if (h.altitude_deg > 0.0)
    h.beam = h.direct < 9999.0 ? h.direct
                               : std::exp(-2.0 * h.attenuation * h.air_mass) * solar_constant * h.orbit *
                                     (1.0 - (1.0 - h.cloud_constant) * cloud) / h.air_mass;
  auto& flags = ms.weather_buffers.cell_flags;
  if (flags.size() != static_cast<std::size_t>(n) + 1) flags.assign(static_cast<std::size_t>(n) + 1, 0);
  unsigned char* flag = flags.data();
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long j = 1; j <= n; ++j) evapo_cell(ms, h, cloud, j, flag[j]);
  for (long j = 1; j <= n; ++j)
    if (flag[j]) print_cell_messages(ms, h, j, flag[j]);
  return ms.hmet_record.hmet_air_temp;
}

double unfrozen_water_ratio(double T, double b, double psi) {
  if (T >= 273.15) return 1.0;
  if (T <= 263.15) return 0.0;
  return std::pow((T - 273.15) * 334000.0 / T / (psi * 9.81), -1.0 / b);
}

void frost_index_cell(main_state& ms, long j) {
  double* slot = ms.temp_hr[j];
  ms.daily_temp[j] -= slot[24];
  for (int k = 24; k >= 2; --k) slot[k] = slot[k - 1];
  slot[1] = ms.temper_gridded[j];
  ms.daily_temp[j] += slot[1];
  if (in_overland_lake(ms, j) || (ms.lakes_on && is_channel_lake_cell(ms, j))) {
    ms.cfgi_value[j] = 0.0;
    return;
  }
  const double Tm = ms.daily_temp[j] / 24.0;
  const double K = ms.cfgi_k, K_snow = Tm < 0.0 ? 0.16 * K : K;
  const double S = ms.swe_scaled[j] * 100.0;  // snow depth (cm)
  double v = (0.99875 + 0.0012499999999999734 * (1.0 - std::exp(-0.4 * K * S))) * ms.cfgi_value[j] -
             std::exp(-0.4 * K_snow * S) * Tm / 24.0;
  ms.cfgi_value[j] = v < 0.0 ? 0.0 : v;
}

void frost_index_update(main_state& ms) {
  const long n = ms.n_cells;
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long j = 1; j <= n; ++j) frost_index_cell(ms, j);
}

void longterm_et_step(main_state& ms) {
  if (!ms.long_term_on || ms.snow_calibrate_on || !is_due(ms, ms.next_lt_et_time)) return;
  evapo_trans(ms);
  const hmet_hour_record& r = ms.hmet_record;
  if (ms.lakes_on) lake_evaporation(ms, r.hmet_wind_speed, r.hmet_air_temp, r.hmet_rel_humidity);
  if (ms.cfgi_on && !ms.cfgi_value.empty()) {
    const long n = ms.n_cells;
    if (ms.temp_hr.empty()) {
      // The first hour fills the day's memory with its own temperature.
      alloc_dmat(ms.temp_hr, n, 24, "temp_hr");
      alloc_dvec(ms.daily_temp, n, "daily_temp");
      for (long j = 1; j <= n; ++j) {
        double sum = 0.0;
        for (int k = 1; k <= 24; ++k) sum += ms.temp_hr[j][k] = ms.temper_gridded[j];
        ms.daily_temp[j] = sum;
      }
    }
    frost_index_update(ms);
  }
  if (ms.gtfsm_on) unfrozen_shares(ms);
  if (ms.richards_on || ms.soil_redist_on)
    write_hourly_averages(ms);
  else
    write_soil_moisture_line(ms);
  ms.last_lt_et_time = ms.now;
  ms.next_lt_et_time = ms.now + ms.lt_et_interval_days;
}

}  // namespace kavro
