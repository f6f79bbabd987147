// The hourly model of one snow-covered cell: energy of the pack surface,
// melt by the energy balance, the hybrid model or the temperature index (with
// or without radiation), heat deficit and liquid water, depth, and the melt
// that leaves the pack for the packets. The snow step that drives it.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/parallel_sum.h"
#include "framework/run_clock.h"
#include "hydromet/hydromet_steps.h"
#include "hydromet/snow_model.h"
#include "overland/held_depth.h"

namespace kavro {

namespace {

constexpr double none = 1e-16;
constexpr double kelvin = 273.15;
constexpr double emission_coef = 4.956e-9;   // cal/cm2 per hour per K^4
constexpr double pi_seasonal = 3.14159265;
// The hourly model runs once the snow steps add up to an hour, to the step.
constexpr double model_hour = 0.999861111;

// Melt of a pack wetted by rain (mm): long-wave from the warm air plus the
// heat of the rain.
double rain_on_snow_melt(double T_air, double P1, double fr, double t_pos) {
  return 6.12e-10 * (std::pow(T_air + kelvin, 4) - std::pow(kelvin, 4)) + 0.0125 * P1 * fr * t_pos;
}

bool index_model_on(const main_state& ms) { return ms.nwsrfs_snow_on == 1 || ms.nwsrfs_snow_w_rad_on == 1; }
bool index_or_hybrid_on(const main_state& ms) { return index_model_on(ms) || ms.hy_snow_on == 1; }

bool skipped_cell(const main_state& ms, long i) {
  if (is_held_depth_cell(ms, i)) return true;
  if (ms.overland_lake_on && i <= ms.oland_lake_new.size() && ms.oland_lake_new[i] > 0) return true;
  if (ms.lakes_on && i <= ms.lake_mask.size() && ms.lake_mask[i] > 0) return true;
  return ms.swe[i] < none;
}

// New antecedent temperature index of cell i (returns the old one).
double update_temperature_index(main_state& ms, long i, double Ta, double P1, double h) {
  const double A0 = ms.ATI_2[i];
  const double weight = 1.0 - std::pow(1.0 - ms.snow_tipm[i], h / 6.0);
  double ati = P1 > 1.5 * h && Ta <= 0.0 ? Ta : A0 + (Ta - A0) * weight;
  ms.ATI_2[i] = std::min(ati, 0.0);
  return A0;
}

// The melt packets of cell i take the melt m_r (m); false when the packets'
// water and snow_melt_to_ov disagree.
bool store_melt(main_state& ms, long i, double m_r) {
  double held = 0.0;
  ms.snow_melt_to_ov[i] += m_r;
  if (ms.snap_retention_on == 1) {
    held = route_melt_packets(ms, i, m_r);
  } else {
    const int k = ms.snap_mode_value;
    ms.Melt_Waves[i][k][1] += m_r;
    ms.Melt_Waves[i][k][2] = ms.Melt_Waves[i][k][1];
    for (int j = 1; j <= ms.snap_mode_value; ++j) held += ms.Melt_Waves[i][j][1];
  }
  return !(std::fabs(held - ms.snow_melt_to_ov[i]) > 1e-8);
}

// The layered pack's record (values 1 to 11) of a cell that melted out.
constexpr double melted_out_pack[12] = {0, 0, 0, 3.0, 0.67, 0, 0, 0.07, 3600, 0.3, 0.077, 0.077};

// Day offsets of the months from 21 March (March before the 21st).
constexpr int month_offsets[13] = {0, 285, 316, 344, 10, 40, 71, 101, 132, 163, 193, 224, 254};

void reset_layered_record(main_state& ms, long i) {
  for (int k = 1; k <= 11; ++k) ms.snap_kavro_params[i][k] = melted_out_pack[k];
}

// Depth of the pack from the layered model.
void layered_depth(main_state& ms, long i, double Ta) {
  auto& p = ms.snap_kavro_params;
  if (ms.swe[i] > none) {
    ms.sn_stat[i][21] = 0.0;
    p[i][6] = 100.0 * ms.swe[i];
    p[i][5] = ms.swe_scaled[i] > none ? 100.0 * ms.swe_scaled[i] : 10.0 * p[i][6];
  } else {
    reset_layered_record(ms, i);
  }
  snowpack_layer_step(ms, i, ms.H_Val[i] / 10.0, Ta, ms.rh_gridded[i], ms.vel_gridded[i]);
  ms.swe_scaled[i] = ms.sn_stat[i][2] / 100.0;
}

}  // namespace

std::optional<int> month_day_offset(int month, int day) {
  if (month < 1 || month > 12) return std::nullopt;
  if (month == 3 && day >= 21) return -21;
  return month_offsets[month];
}

snow_cell_result snow_cell_step(main_state& ms, long i, double seconds, double sv) {
  snow_cell_result out;
  ms.Wi[i] = 0.0;
  if (skipped_cell(ms, i)) {
    ms.Wq[i] = 0.0;
    return out;
  }
  const double h = seconds / 3600.0;
  ms.sn_stat[i][12] = ms.swe[i] * 100.0;
  const double Ta = ms.temper_gridded[i], RH = ms.rh_gridded[i], P = ms.pres_gridded[i], u = ms.vel_gridded[i];
  const double Te = ms.nwsrfs_snow_w_rad_on == 1 ? ms.eff_temp_gridded[i] : 0.0;
  const bool index_on = index_model_on(ms), index_or_hybrid = index_or_hybrid_on(ms);

  double* hist = ms.SNOW_PRECIP_6HR[i];
  bool rain_on_snow = false;
  double MF = 0.0;
  if (index_or_hybrid) {
    hist[1] += ms.H_Val[i];
    double sum = 0.0;
    for (int k = 1; k <= 6; ++k) sum += hist[k];
    rain_on_snow = sum / 6.0 > 1.5 && hist[1] > 0.25;
    MF = ms.nwsrfs_snow_w_rad_on == 1 ? ms.snow_mf_constant / 6.0
                                      : (ms.snow_mf_min[i] + (ms.snow_mf_max[i] - ms.snow_mf_min[i]) * sv) * h / 6.0;
  }
  // Energy at the pack surface (cal/cm2 per hour): long-wave balance,
  // latent and sensible heat with the wind, and the heat of rain. The
  // temperature-index models alone do not use it.
  const double rain_heat = (ms.H_Val[i] / 10.0) * Ta / h;
  double Q = 0.0;
  if (!index_on || ms.hy_snow_on == 1) {
    const double es = 2.749e8 * std::exp(-4278.6 / (Ta + 242.8));
    const double emitted = emission_coef * std::pow(Ta + (ms.reb_snow_on == 1 ? Te : 0.0) + kelvin, 4);
    const double u_eff = u * 2e-4 / 1000.0 * 3600.0;
    Q = emitted - ms.snow_longwave_emission + (RH / 100.0 * es - 6.11) * 600.0 * u_eff +
        0.00061 * 600.0 * u_eff * P * Ta + rain_heat;
  }
  double M = Q / ms.snow_latent_fusion * 0.01 * h;  // m

  const double P1 = hist[1];
  double index_melt = 0.0, dD = 0.0, FR = 0.0;
  if (index_on) {
    const double t_pos = Ta > none ? Ta : 0.0;
    FR = Ta > none ? ms.snow_fr_use[i] : 0.0;
    if (Ta + Te > none) {
      index_melt = rain_on_snow ? rain_on_snow_melt(Ta + Te, P1, FR, t_pos)
                                : (Ta + Te - ms.snow_mbase) * MF + 0.0125 * P1 * FR * t_pos;
    } else {
      const double A0 = update_temperature_index(ms, i, Ta, P1, h);
      const double r = ms.nwsrfs_snow_w_rad_on == 1 ? ms.clear_sky_rad_day / ms.clear_sky_rad_max
                                                    : MF / ms.snow_mf_max[i];
      dD = std::max((h / 6.0) * ms.snow_nmf[i] * r * (std::min(A0, 0.0) - Ta), 0.0);
    }
  }
  double W = 0.0;
  if (ms.hy_snow_on == 1) {
    M = (Q - rain_heat) / ms.snow_latent_fusion * h / 100.0;
    if (rain_on_snow) {
      const double Mr = rain_on_snow_melt(Ta, P1, Ta > 0.0 ? 1.0 : 0.0, std::max(Ta, 0.0));
      if (Mr > 0.0) M += Mr / 1000.0;
    }
    const double A0 = update_temperature_index(ms, i, Ta, P1, h);
    dD = std::max((h / 6.0) * ms.snow_nmf[i] * (std::min(A0, 0.0) - Ta), 0.0);
    M = std::max(M, 0.0);
    W = 1000.0 * M;
  }
  if (index_or_hybrid) {
    const double plwhc = ms.snow_plwhc[i];
    const double dS = P1 > 0.0 && Ta <= 0.0 ? P1 * std::min(Ta, 0.0) / (-40.0) : 0.0;
    // The frozen part of the pack in millimetres of water.
    ms.Wi[i] = (1.0 - plwhc) * ms.swe[i] * 1000.0;
    if (index_on) W = FR * P1 + index_melt;
    if (index_on && ms.hy_snow_on == 1) {
      out.flags |= snow_flag_model_conflict;
      W = 0.0;
    }
    ms.D_2[i] = std::max(ms.D_2[i] + std::max(dS, 0.0) + std::max(dD, 0.0), 0.0);
    if (ms.swe[i] < none) ms.D_2[i] = 0.0;
    M = heat_deficit_update(ms, i, W, ms.Wi[i] * plwhc, plwhc) / 1000.0;
  }

  double m_r = 0.0;
  if (M > none && (!index_on || ms.snow_mbase <= Ta + Te)) {
    ms.melt_occurred[i] += 1;
    m_r = std::min(M, ms.swe[i]);
    ms.swe[i] -= m_r;
    if (ms.swe[i] <= none) ms.Wq[i] = 0.0;
  }

  if (ms.snap_snow_depth_on == 1)
    layered_depth(ms, i, ms.hmet_record.hmet_air_temp);
  else
    snow_depth_update(ms, i, 1000.0 * (ms.snow_melt_to_ov[i] + m_r), Ta, h, ms.H_Val[i], ms.snow_mbase);

  if (!store_melt(ms, i, m_r)) out.flags |= snow_flag_packet_mismatch;
  out.melt_pending = ms.snow_melt_to_ov[i] > none;

  if (ms.swe[i] > none) {
    out.keeps_snow = true;
  } else {
    ms.Wi[i] = ms.Wq[i] = 0.0;
    reset_layered_record(ms, i);
    ms.swe_scaled[i] = ms.snow_density[i] = 0.0;
  }
  ms.H_Val[i] = 0.0;
  return out;
}

int snow_cell_model(main_state& ms, double seconds, int day_offset) {
  double sv = 0.0;
  if (index_or_hybrid_on(ms)) {
    const int N = ms.hmet_record.day + day_offset;
    sv = 0.5 * std::sin(2.0 * N * pi_seasonal / 366.0) + 0.5;
  }
  const long n = ms.n_cells;
  // Sized on the first model hour of the run; later hours allocate nothing.
  if (ms.snow_cell_flags.size() < static_cast<std::size_t>(n + 1))
    ms.snow_cell_flags.assign(static_cast<std::size_t>(n + 1), 0);
  bool keeps_snow = false, pending = false, any_flag = false;
#pragma omp parallel for schedule(static) if (n >= parallel_min_items) reduction(|| : keeps_snow, pending, any_flag)
  for (long i = 1; i <= n; ++i) {
    const snow_cell_result r = snow_cell_step(ms, i, seconds, sv);
    ms.snow_cell_flags[static_cast<std::size_t>(i)] = r.flags;
    keeps_snow = keeps_snow || r.keeps_snow;
    pending = pending || r.melt_pending;
    any_flag = any_flag || r.flags != 0;
  }
  if (pending) ms.snow_melt_present = 1;
  if (any_flag) {
    for (long i = 1; i <= n; ++i) {
      const unsigned char f = ms.snow_cell_flags[static_cast<std::size_t>(i)];
      if (f & snow_flag_model_conflict)
        std::printf("ERROR, Can't have Temp Index AND Hybrid Snow Models at same time \n\n");
      if (f & snow_flag_packet_mismatch)
        std::printf("\nMelt Water Amount is not matching what it should be in cell %ld", i);
    }
  }
  return keeps_snow ? 1 : 0;
}

void snow_step(main_state& ms) {
  if (!ms.long_term_on || !is_due(ms, ms.next_snow_time)) return;
  const double seconds = seconds_between(ms.last_snow_time, ms.now);
  ms.snow_hours_accum += seconds / 3600.0;
  bool model_due = ms.eb_snow_on == 1;
  if (!model_due && ms.snow_hours_accum > model_hour) {
    model_due = true;
    ms.snow_hours_accum = 0.0;
  }
  const long n = ms.n_cells;
  if (ms.snow_present == 1 && model_due) {
    int day_offset = 0;
    if (index_or_hybrid_on(ms)) {
      const auto offset = month_day_offset(ms.hmet_record.month, ms.hmet_record.day);
      if (!offset) {
        // A bad date stops the run: a batch has no console to answer from.
        std::printf("WE HAVE A PROBLEM WITH THE DATES!!!\n");
        error_rec.code = already_printed_code;
        return;
      }
      day_offset = *offset;
    }
    ms.snow_melt_present = 0;
    if (ms.snow_canopy_intercept_on == 1) canopy_snow_interception(ms, seconds, ms.cur_month);
    ms.snow_present = snow_cell_model(ms, seconds, day_offset);
    if (ms.snow_melt_present == 1 && ms.melt_release_armed == 0) {
      ms.melt_release_armed = 1;
      ms.next_melt_time = ms.now;
      ms.last_melt_time = ms.now - ms.melt_interval_days;
    } else if (ms.melt_release_armed == 1 && ms.snow_melt_present == 0) {
      ms.melt_release_armed = 0;
      ms.next_melt_time = ms.next_event_start;
    }
  }
  if (ms.eb_snow_on == 0 && model_due) {
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
    for (long i = 1; i <= n; ++i) {
      double* hist = ms.SNOW_PRECIP_6HR[i];
      for (int k = 6; k >= 2; --k) hist[k] = hist[k - 1];
      hist[1] = 0.0;
    }
  }
  if (ms.snow_no_infiltrate_on) {
    for (long i = 1; i <= n; ++i) {
      const bool olake = ms.overland_lake_on && i <= ms.oland_lake_new.size() && ms.oland_lake_new[i] >= 1;
      const bool clake = ms.lakes_on && i <= ms.lake_mask.size() && ms.lake_mask[i] >= 1;
      ms.snow_no_infil_cell[i] = !olake && !clake && ms.swe[i] > none ? 1 : 0;
    }
  }
  ms.last_snow_time = ms.now;
  ms.next_snow_time = ms.now + ms.snow_interval_days;
}

}  // namespace kavro
