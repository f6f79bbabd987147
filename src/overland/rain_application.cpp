// The rain of one overland step added to the cells, the channel and overland
// lakes, the snowpack and the storage units, with every volume booked.
#include <cmath>
#include <cstdio>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/run_clock.h"
#include "overland/bmp_units.h"
#include "overland/held_depth.h"
#include "overland/overland_steps.h"
#include "overland/rain_distribution.h"

namespace kavro {

namespace {

constexpr double mm_h_to_m_s = 1.0 / 3600000.0;

bool head_boundary_cell(const main_state& ms, long i) { return is_held_depth_cell(ms, i); }

// Long-term runs: rain at or below the rain/snow temperature falls as snow;
// rain on a snow-covered cell joins the pack. Returns the depth left for the
// cell (m); the rest went into the snow water equivalent.
double snow_share(main_state& ms, long i, double d, bool falls_as_snow) {
  const bool has_pack = ms.swe[i] > 1e-16;
  if (has_pack) ms.H_Val[i] += d * 1000.0;
  if (falls_as_snow) {
    ms.swe[i] += d;
    if (ms.swe[i] > 1e-16) {
      ms.snow_present = 1;
      if (ms.Snow_Accumulated_Hr.size() >= i) ms.Snow_Accumulated_Hr[i] = 1;
    }
    return 0.0;
  }
  if (has_pack) {
    ms.swe[i] += d;
    return 0.0;
  }
  return d;
}

bool snow_arrays_ready(const main_state& ms) {
  return ms.long_term_on && ms.swe.size() >= ms.n_cells && ms.H_Val.size() >= ms.n_cells &&
         ms.temper_gridded.size() >= ms.n_cells;
}

// Rain of one ordinary cell: the depth it adds (m) after blockage, a storage
// unit's share and snow. False after a NaN or negative depth (reported).
bool rain_on_cell(main_state& ms, long i, double d, bool snow_on) {
  if (ms.ovr_flow_block_on && ms.ovr_flow_block.size() >= i && ms.ovr_flow_block[i] < 1.0)
    d *= 1.0 - ms.ovr_flow_block[i];
  d = bmp_rain_share(ms, i, d);
  if (snow_on) d = snow_share(ms, i, d, ms.temper_gridded[i] <= ms.snow_pxtemp + 1e-16);
  ms.ov_depth[i] += d;
  if (ms.snow_calibrate_on) ms.ov_depth[i] = 0.0;
  if (std::isnan(ms.ov_depth[i])) {
    std::printf("A non-real number for water depth has been detected for overland cell %ld after applying rainfall\n",
                i);
    error_rec.code = already_printed_code;
    return false;
  }
  if (ms.ov_depth[i] < -1e-16) {
    std::printf(
        "A negative depth has been detected for overland cell %ld after applying rainfall, check your rainfall input "
        "for negative values\n",
        i);
    error_rec.code = already_printed_code;
    return false;
  }
  return true;
}

}  // namespace

void apply_precip_step(main_state& ms) {
  if (!(std::fabs(ms.precip_period_end - ms.now) < ms.time_tol) || ms.rain_event_state != 1) return;
  const double step_s = seconds_between(ms.precip_period_start, ms.now);
  if (ms.uniform_rain_on) ++ms.precip_period_counter;
  if (ms.interception_on) {
    seasonal_interception(ms, step_s);
  } else if (ms.snow_canopy_intercept_on == 1) {
    for (long i = 1; i <= ms.n_cells; ++i) ms.ri_eff[i] = ms.rain_rate[i];
  }
  const dvec& rate = ms.interception_on ? ms.ri_eff : ms.rain_rate;
  const double cell_area = ms.dx * ms.dx;
  const bool snow_on = snow_arrays_ready(ms);
  const bool olakes = ms.overland_lake_on && ms.oland_lake_new.size() >= ms.n_cells;
  const bool clakes = ms.lakes_on && ms.lake_mask.size() >= ms.n_cells;
  double v_cells = 0.0, v_lakes = 0.0;
  for (long i = 1; i <= ms.n_cells; ++i) {
    if (clakes && ms.lake_mask[i] > 0) {
      // A channel lake takes the rain on its cells whole, above its canopy.
      const double v = step_s * ms.rain_rate[i] * cell_area * mm_h_to_m_s;
      const int lake = ms.lake_mask[i];
      if (lake <= ms.lake_volume.size()) ms.lake_volume[lake] += v;
      v_lakes += v;
      continue;
    }
    const double d = step_s * rate[i] * mm_h_to_m_s;
    const double v = d * cell_area;
    v_cells += v;
    if (olakes && ms.oland_lake_new[i] > 0) {
      // Rain on an overland lake raises the lake, never the cell's depth.
      ms.olake_table[ms.oland_lake_new[i]].step_inflow += v;
      ms.olake_event_flag = 1;
      continue;
    }
    if (head_boundary_cell(ms, i)) {
      ms.vol_ov_head_bound_out_total += v;
      continue;
    }
    if (!rain_on_cell(ms, i, d, snow_on)) return;
  }
  ms.vol_precip_lake += v_lakes;
  ms.vol_precip_lake_total += v_lakes;
  ms.vol_precip += v_cells;
  ms.vol_precip_total += v_cells + v_lakes;
  ms.event_rain_acc += v_cells + v_lakes;
  if (v_cells + v_lakes > 0.0) {
    ++ms.n_rain_steps;
    if (ms.rain_not_started) {
      ms.rain_start_min = ms.elapsed_min;
      ms.rain_not_started = 0;
    }
  }
}

}  // namespace kavro
