#include "hydromet/weather_step.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/parallel_sum.h"
#include "framework/readers.h"
#include "framework/run_clock.h"
#include "hydromet/elevation_bands.h"
#include "hydromet/hmet_readers.h"
#include "hydromet/hydromet_steps.h"
#include "hydromet/solar_geometry.h"

namespace kavro {

namespace {

constexpr double sigma = 5.67e-8;                  // Stefan-Boltzmann constant (W/m2/K4)
constexpr double pi_8 = 3.14159265;                // the sun's latitude conversion
constexpr double pi_22_7 = 3.142857142857143;      // the incidence's latitude conversion
constexpr double fresh_snow_albedo = 0.83;
constexpr double end_of_data_time = -10.0;         // a clock parked at the end of the weather data

// Columns of a station of Gage_XYZ_Lev_P_rh_c_w_t_qh.
enum gage_column : int { gc_z = 3, gc_pressure = 5, gc_humidity, gc_cloud, gc_wind, gc_temp, gc_q };

// Flags of the per-cell loop.
constexpr unsigned char flag_outside_band = 1;

// The station formats spread one station's weather by elevation; the
// gridded format gives every cell its own.
bool station_format(const main_state& ms) { return ms.hmet_vrx_on || !ms.hmet_ascii_on; }

std::vector<unsigned char>& cell_flags(main_state& ms) {
  auto& f = ms.weather_buffers.cell_flags;
  if (f.size() != static_cast<std::size_t>(ms.n_cells) + 1) f.assign(static_cast<std::size_t>(ms.n_cells) + 1, 0);
  return f;
}

// Days of the month at whose first hour the shading is renewed.
bool shading_day(int day) { return day == 1 || day == 8 || day == 15 || day == 22 || day == 29; }

// ---- The orographic gauge ------------------------------------------------

// Reads an hourly line of the orographic gauge file: year, month, day, hour
// and the gauge's temperature (C).
bool parse_orographic_line(const std::string& line, double& temperature) {
  std::string rest = line, word;
  for (int k = 1; k <= 5; ++k) {
    if (!pop_token(rest, word)) return false;
    long whole = 0;
    if (k < 5 && !weather_int(word, whole)) return false;
    if (k == 5 && !weather_real(word, temperature)) return false;
  }
  return !pop_token(rest, word);
}

bool next_orographic_line(main_state& ms, std::string& line) {
  while (read_line(line, ms.fs_hmet_orog_gages)) {
    ++ms.hmet_reader.orog_line_no;
    if (line.find_first_not_of(" \t") != std::string::npos) return true;
  }
  return false;
}

// The lapse rate of the hour from the gauge's temperature.
bool read_orographic_hour(main_state& ms) {
  std::string line;
  double t_orog = 0.0;
  if (!next_orographic_line(ms, line) || !parse_orographic_line(line, t_orog)) {
    std::printf("Error: the orographic gauge file %s has no usable line %ld for weather hour %d/%d/%d %d:00.\n",
                ms.fs_hmet_orog_gages.name.c_str(), ms.hmet_reader.orog_line_no, ms.hmet_record.year,
                ms.hmet_record.month, ms.hmet_record.day, ms.hmet_record.hour);
    error_rec.code = already_printed_code;
    return false;
  }
  double rate = (t_orog - ms.hmet_record.hmet_air_temp) / (ms.orog_gage_elev - ms.base_gage_elev);
  rate = std::min(rate, 0.00981);
  if (rate < 1e-16) rate = 0.0;
  ms.lapse_rate = rate;
  return true;
}

// One weather read, with the orographic line of the hour; the reader's result.
int read_weather_hour(main_state& ms) {
  const int result = read_hmet(ms, ms.hmet_call_no);
  if (result >= 0 && station_format(ms) && ms.hmet_orog_gages_file_on && !read_orographic_hour(ms))
    return hmet_read_failed;
  return result;
}

// The end of the weather data, met in this pass: during the last rain event
// the event finishes without weather; otherwise the run ends here.
void end_of_weather(main_state& ms) {
  ms.next_hmet_time = end_of_data_time;
  ms.next_lt_et_time = end_of_data_time;
  if (ms.event_active && ms.event_no == ms.n_precip_events) return;
  ms.keep_running = 0;
  std::printf("End of meteorology data reached.  KAVRO terminated\n");
}

// Every cell takes the station's weather of the hour.
void station_to_cells(main_state& ms) {
  const hmet_hour_record& r = ms.hmet_record;
  const double cloud = hmet_cloud_fraction(ms, r.hmet_cloud_cover);
  for (long j = 1; j <= ms.n_cells; ++j) {
    ms.direct_gridded[j] = r.hmet_direct_rad;
    ms.diffuse_gridded[j] = r.hmet_diffuse_rad;
    ms.cloud_cover_gridded[j] = cloud;
    ms.temper_gridded[j] = r.hmet_air_temp;
    ms.rh_gridded[j] = r.hmet_rel_humidity;
    ms.pres_gridded[j] = r.hmet_pressure;
    ms.vel_gridded[j] = r.hmet_wind_speed;
  }
  double* G = ms.Gage_XYZ_Lev_P_rh_c_w_t_qh[1];
  const double T = r.hmet_air_temp, P = r.hmet_pressure, RH = r.hmet_rel_humidity;
  G[gc_pressure] = P;
  G[gc_humidity] = RH;
  G[gc_cloud] = cloud;
  G[gc_wind] = r.hmet_wind_speed;
  G[gc_temp] = T;
  G[gc_q] = 0.6108 * std::exp(17.27 * T / (T + 237.3)) * (RH / 100.0) * 0.622 / (P * 0.1);
}

// Clear-sky radiation of the radiation-driven snow model.
void update_clear_sky(main_state& ms, bool first_hour) {
  const hmet_hour_record& r = ms.hmet_record;
  if (first_hour) {
    std::vector<double>& partial = ms.weather_buffers.sum_partial;
    ms.mean_elevation =
        fixed_chunk_sum(1, ms.n_cells, [&](long j) { return ms.elevation[j]; }, partial) / ms.n_cells;
    // The largest noon radiation of a (leap) year.
    double best = 0.0;
    for (int month = 1; month <= 12; ++month)
      for (int day = 1; day <= days_in_month(2008, month); ++day)
        best = std::max(best, clear_sky_radiation(ms, 2008, month, day, ms.latitude_deg, ms.mean_elevation));
    ms.clear_sky_rad_max = best;
  }
  if (first_hour || r.hour == 0)
    ms.clear_sky_rad_day = clear_sky_radiation(ms, r.year, r.month, r.day, ms.latitude_deg, ms.mean_elevation);
}

}  // namespace

double monthly_leaf_area_index(const main_state& ms, long cell, int month) {
  if (ms.snow_canopy_col2.empty() || ms.snow_canopy_col2[cell] <= 1e-16) return 0.0;
  const double summer = ms.snow_canopy_col2[cell];
  const double winter = ms.snow_canopy_col3.empty() ? 0.0 : ms.snow_canopy_col3[cell];
  if (month <= 3 || month >= 11) return winter;
  if (month == 4 || month == 10) return (summer + winter) / 2.0;
  return summer;
}

double vegetation_transmission(const main_state& ms, long cell, double lai) {
  const double veg = ms.veg.empty() ? 0.0 : ms.veg[cell];
  const double depth = ms.swe_scaled.empty() ? 0.0 : ms.swe_scaled[cell];
  // Snow deeper than the vegetation leaves nothing to shade it.
  if (depth >= veg - 1e-16) return 1.0;
  double tau = ms.Kt.empty() ? 1.0 : ms.Kt[cell];
  const double summer = ms.snow_canopy_col2.empty() ? 0.0 : ms.snow_canopy_col2[cell];
  const double winter = ms.snow_canopy_col3.empty() ? 0.0 : ms.snow_canopy_col3[cell];
  if (lai > -1e-4 && std::fabs(lai - summer) > 1e-4 && std::fabs(lai - winter) > 1e-4)
    tau = (1.0 - (lai - winter) / (summer - winter)) * (tau - ms.veg_trans_min) + ms.veg_trans_min;
  return tau;
}

void snow_albedo_update(main_state& ms, long cell, double cell_temperature) {
  const double Tm =
      ms.albedo_hour_count > 0 ? ms.temper_gridded_sum[cell] / ms.albedo_hour_count : cell_temperature;
  if (ms.swe[cell] >= 1e-16) {
    double a = ms.albedo_w_snow[cell];
    if (ms.melt_occurred[cell]) {
      a = fresh_snow_albedo - 0.011 * ms.Hours_Since_Snow[cell] / 24.0;
      ms.melt_occurred[cell] = 0;
    } else {
      a -= Tm > 0.0 ? 0.17 : 0.013;
    }
    ms.albedo_w_snow[cell] = std::clamp(a, 0.38, fresh_snow_albedo);
  } else {
    ms.albedo_w_snow[cell] = ms.albedo[cell];
  }
  ms.temper_gridded_sum[cell] = 0.0;
}

void cell_radiation_balance(main_state& ms, long cell, double T, double cloud, double e, double lai, double tau) {
  const double Tk4 = std::pow(T + 273.15, 4);
  const double emissivity = ms.swe[cell] > 0.0 ? 0.757 : 0.74 + 0.0049 * e;
  const double sky = sigma * Tk4 * emissivity * (1.0 + 0.17 * cloud * cloud);
  const double canopy = lai > 1e-16 ? 0.29 * std::log(lai) + 0.55 : 0.0;
  ms.R_long[cell] = sigma * Tk4 * canopy + (1.0 - canopy) * sky;
  const double orbit = 1.0 + 0.017 * std::cos((186 - ms.sun_day_of_year) * 0.01722113502935421);
  const double S = 1366.0 / (orbit * orbit) * ms.Cell_Aspect_Eff_Rad_Percent[cell] * tau *
                   (1.0 - 0.65 * cloud * cloud) * (0.75 + 2e-5 * ms.elevation[cell]);
  ms.inc_solar_rad[cell] = S;
  ms.R_short[cell] = (1.0 - ms.albedo_w_snow[cell]) * S;
  const int hour = ms.hmet_record.hour;
  if (hour >= 0 && hour <= 23 && ms.cell_hour_flags[cell][hour] == 1 && ms.R_short[cell] > 0.0)
    ms.R_short[cell] = 0.0;
  const double up = 1.5714285714285714 - ms.sun_zenith;
  if (up > 0.0 && up < 1.5714285714285714)
    ms.eff_temp_gridded[cell] = std::pow((ms.R_short[cell] + ms.R_long[cell]) / sigma, 0.25) - 273.15 - T;
  else
    ms.R_short[cell] = 0.0;
}

double clear_sky_radiation(main_state& ms, int year, int month, int day, double latitude_deg, double mean_elevation) {
  const int d = day_of_year(year, month, day);
  const double decl = solar_declination(d);
  const double cosine = solar_incidence_cosine(0.0, 0.0, decl, hour_angle(12.0), latitude_deg * pi_22_7 / 180.0);
  if (ms.Cell_Aspect_Eff_Rad_Percent.size() > ms.n_cells) ms.Cell_Aspect_Eff_Rad_Percent[ms.n_cells + 1] = cosine;
  const double orbit = 1.0 + 0.017 * std::cos((186 - d) * 0.01722113502935421);
  return (0.75 + 2e-5 * mean_elevation) * 1366.0 / (orbit * orbit) * cosine;
}

void set_sun_of_hour(main_state& ms) {
  const hmet_hour_record& r = ms.hmet_record;
  ms.sun_day_of_year = day_of_year(r.year, r.month, r.day);
  const double d = solar_declination(ms.sun_day_of_year);
  const double h = hour_angle(r.hour);
  const double phi = ms.latitude_deg * pi_8 / 180.0;
  ms.sun_declination = d;
  ms.sun_hour_angle = h;
  ms.sun_altitude = std::asin(std::cos(d) * std::cos(h) * std::cos(phi) + std::sin(phi) * std::sin(d));
  ms.sun_azimuth = solar_azimuth(ms.latitude_deg, h, d);
  ms.sun_zenith = std::acos(std::cos(phi) * std::cos(d) * std::cos(h) + std::sin(phi) * std::sin(d));
}

namespace {

// The per-cell update; `may_shade`: the shading of a shading day is due here
// (false when this hour has shaded the day already).
void update_cells(main_state& ms, bool may_shade) {
  const hmet_hour_record& r = ms.hmet_record;
  const double* G = ms.Gage_XYZ_Lev_P_rh_c_w_t_qh[1];
  if (!ms.dalr_on)
    for (int g = 1; g <= ms.n_met_gages; ++g) {
      const double* S = ms.Gage_XYZ_Lev_P_rh_c_w_t_qh[g];
      band_lapse_temperature(ms, g, S[gc_temp], S[gc_pressure], S[gc_humidity] / 100.0);
    }
  if (may_shade && ms.shading_on && r.hour == 0 && shading_day(r.day))
    solar_hourly_geometry(ms, ms.latitude_deg, ms.sun_declination);

  const int month = r.month, hour = r.hour;
  const double lat_incidence = ms.latitude_deg * pi_22_7 / 180.0;
  const double z_station = G[gc_z], T_station = G[gc_temp], P_station = G[gc_pressure];
  const double rh_station = std::min(G[gc_humidity] / 100.0, 1.0);
  const long n = ms.n_cells;
  std::vector<unsigned char>& flags = cell_flags(ms);
  unsigned char* flag = flags.data();
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long j = 1; j <= n; ++j) {
    flag[j] = 0;
    const double lai = monthly_leaf_area_index(ms, j, month);
    cell_air air;
    if (ms.dalr_on) {
      air.temperature = (z_station - ms.elevation[j]) * ms.lapse_rate + T_station;
      air.pressure = P_station;
      air.saturation = 6.108 * std::exp(17.27 * air.temperature / (air.temperature + 237.3));
      air.rh_fraction = rh_station;
      air.vapour = air.saturation * air.rh_fraction;
      air.cloud = G[gc_cloud];
      air.wind = G[gc_wind];
    } else if (!band_station_interpolation(ms, j, air)) {
      flag[j] = flag_outside_band;
    }
    ms.temper_gridded[j] = air.temperature;
    ms.pres_gridded[j] = air.pressure;
    ms.rh_gridded[j] = air.rh_fraction * 100.0;
    ms.cloud_cover_gridded[j] = air.cloud;
    ms.vel_gridded[j] = air.wind;
    const double tau = vegetation_transmission(ms, j, lai);
    ms.Cell_Aspect_Eff_Rad_Percent[j] = solar_incidence_cosine(ms.slope_x[j], ms.slope_y[j], ms.sun_declination,
                                                               ms.sun_hour_angle, lat_incidence);
    if (hour == 0) snow_albedo_update(ms, j, air.temperature);
    ms.temper_gridded_sum[j] += air.temperature;
    if (ms.Snow_Accumulated_Hr[j] == 1) {
      ms.albedo_w_snow[j] = fresh_snow_albedo;
      ms.Hours_Since_Snow[j] = 0;
      ms.Snow_Accumulated_Hr[j] = 0;
    } else {
      ++ms.Hours_Since_Snow[j];
    }
    cell_radiation_balance(ms, j, air.temperature, air.cloud, air.vapour, lai, tau);
  }
  ms.albedo_hour_count = hour == 0 ? 1 : ms.albedo_hour_count + 1;
  for (long j = 1; j <= n; ++j) {
    if (flag[j] & flag_outside_band) {
      std::printf("\nError in Assigning Elevation Bands!!!! (cell %ld at %.2f m)", j, ms.elevation[j]);
      break;
    }
  }
}

}  // namespace

void hmet_cell_update(main_state& ms) { update_cells(ms, true); }

bool read_orographic_header(main_state& ms) {
  std::string line, word;
  auto refuse = [&](const char* what) {
    std::printf("Error: the orographic gauge file %s, line %ld: %s.\n", ms.fs_hmet_orog_gages.name.c_str(),
                ms.hmet_reader.orog_line_no, what);
    error_rec.code = already_printed_code;
    return false;
  };
  ms.hmet_reader.orog_line_no = 0;
  if (!next_orographic_line(ms, line)) return refuse("the file ends before its header");
  if (!next_orographic_line(ms, line)) return refuse("the file ends before the line of the two elevations");
  double elevation[2] = {};
  std::string rest = line;
  for (double& e : elevation) {
    if (!pop_token(rest, word) || !pop_token(rest, word) || !weather_real(word, e))
      return refuse("the second header line must give a word and the gauge's elevation, then a word and the "
                    "base station's elevation");
  }
  ms.orog_gage_elev = elevation[0];
  ms.base_gage_elev = elevation[1];
  if (ms.orog_gage_elev == ms.base_gage_elev)
    return refuse("the orographic gauge and the base station stand at the same elevation: no lapse rate follows");
  if (!next_orographic_line(ms, line)) return refuse("the file ends before its column header");
  ms.dalr_on = 1;
  return true;
}

bool check_orographic_lines(main_state& ms) {
  std::string line;
  long lines = 0;
  const long header_lines = ms.hmet_reader.orog_line_no;
  double t = 0.0;
  while (next_orographic_line(ms, line)) {
    if (!parse_orographic_line(line, t)) {
      std::printf("Error: the orographic gauge file %s, line %ld (\"%s\"): an hourly line holds year, month, day, "
                  "hour and the gauge's temperature (C).\n",
                  ms.fs_hmet_orog_gages.name.c_str(), ms.hmet_reader.orog_line_no, line.c_str());
      error_rec.code = already_printed_code;
      return false;
    }
    ++lines;
  }
  if (lines < ms.hmet_n_records) {
    std::printf("Error: the orographic gauge file %s holds %ld hourly lines, the weather file %s %d records: each "
                "weather hour needs its line.\n",
                ms.fs_hmet_orog_gages.name.c_str(), lines, ms.fs_hmet_surfaways.name.c_str(), ms.hmet_n_records);
    error_rec.code = already_printed_code;
    return false;
  }
  // Back to the first hourly line.
  std::rewind(ms.fs_hmet_orog_gages.fp);
  ms.hmet_reader.orog_line_no = 0;
  for (long k = 0; k < header_lines; ++k) next_orographic_line(ms, line);
  return true;
}

void hmet_step(main_state& ms) {
  if (!ms.long_term_on || !is_due(ms, ms.next_hmet_time)) return;
  const bool station = station_format(ms);
  int result = hmet_end_of_data;
  if (ms.start_date_given && !ms.hmet_start_synced) {
    // The run starts inside the weather data: the records before the start
    // are passed over, and the first one at or after it is the hour's.
    ms.hmet_start_synced = 1;
    for (;;) {
      result = read_weather_hour(ms);
      if (result < 0) break;
      const hmet_hour_record& r = ms.hmet_record;
      if (julian_date(r.year, r.month, r.day, r.hour, 0, 0.0) >= ms.now - ms.time_tol) break;
    }
  } else {
    result = read_weather_hour(ms);
  }
  if (result == hmet_read_failed) return;  // its message is printed; the run stops
  ms.hmet_hour_count = result;
  if (result == hmet_end_of_data) {
    end_of_weather(ms);
    return;
  }
  if (station) station_to_cells(ms);
  set_sun_of_hour(ms);
  const bool first_hour = ms.hmet_call_no == 2;
  bool shaded_now = false;
  if (first_hour && station) {
    for (long j = 1; j <= ms.n_cells; ++j) ms.albedo_w_snow[j] = ms.swe[j] > 1e-16 ? fresh_snow_albedo : ms.albedo[j];
    ms.albedo_hour_count = 0;
    solar_hourly_geometry(ms, ms.latitude_deg, ms.sun_declination);
    shaded_now = true;
  }
  if (station) update_cells(ms, !shaded_now);
  if (ms.nwsrfs_snow_w_rad_on) update_clear_sky(ms, first_hour);
  ms.last_hmet_time = ms.now;
  ++ms.hmet_call_no;
  ms.next_hmet_time = ms.now + ms.hmet_interval_days;
}

}  // namespace kavro
