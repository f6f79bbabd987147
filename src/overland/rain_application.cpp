// The rain of one overland step added to the cells, the channel and overland
// lakes, the snowpack and the storage units, with every volume booked.
#include <cmath>
#include <cstdio>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/run_clock.h"
#include "overland/bmp_units.h"
#include "overland/held_depth.h"
#include "overland/overland_flow.h"
#include "overland/overland_steps.h"
#include "overland/rain_distribution.h"

namespace kavro {

namespace {

constexpr double mm_h_to_m_s = 1.0 / 3600000.0;

// Long-term runs: rain at or below the rain/snow temperature falls as snow;
// rain on a snow-covered cell joins the pack. What reaches the snow is the
// gauge depth times the cell's snow correction factor (the gauge's catch
// deficit under snow); the correction goes to `added` (m). Returns the depth
// left for the cell (m); the rest went into the snow water equivalent.
double snow_share(main_state& ms, long i, double d, bool falls_as_snow, double& added) {
  const bool has_pack = ms.swe[i] > 1e-16;
  if (has_pack || falls_as_snow) {
    const double scf = ms.snow_scf.size() >= i ? ms.snow_scf[i] : 1.0;
    const double corrected = d * scf;
    added += corrected - d;
    d = corrected;
  }
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

// A depth below dry before the rain is added was left by the surface
// routing of the last step: the overland scheme failed there, not the rain.
void report_scheme_negative_depth(const main_state& ms, long i) {
  const bool placed = i <= ms.cell_row.size() && i <= ms.cell_col.size();
  std::printf("Error: the %s overland scheme left a negative depth of %g m in overland cell %ld (row %d, column %d) "
              "at %.2lf minutes.\n",
              overland_scheme_name(ms.overtype), ms.ov_depth[i], i, placed ? ms.cell_row[i] : 0,
              placed ? ms.cell_col[i] : 0, ms.elapsed_min);
}

// Rain of one ordinary cell: the depth it adds (m) after blockage, a storage
// unit's share and snow; `added` takes the snow correction (m). False after a
// NaN or negative depth (reported).
bool rain_on_cell(main_state& ms, long i, double d, bool snow_on, double& added) {
  if (ms.ov_depth[i] < 0.0) {
    report_scheme_negative_depth(ms, i);
    error_rec.code = already_printed_code;
    return false;
  }
  if (ms.ovr_flow_block_on && ms.ovr_flow_block.size() >= i && ms.ovr_flow_block[i] < 1.0)
    d *= 1.0 - ms.ovr_flow_block[i];
  d = bmp_rain_share(ms, i, d);
  if (snow_on) d = snow_share(ms, i, d, ms.temper_gridded[i] <= ms.snow_pxtemp + 1e-16, added);
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

// The rain of `step_s` seconds at the rates in rain_rate: interception,
// then every cell, lake, snowpack and storage unit. Returns the volume that
// fell (m3); false in `ok` after a bad depth (reported).
double apply_rain_piece(main_state& ms, double step_s, bool& ok) {
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
  // The rain the overland constituents' rain load takes in.
  const bool contam_rain = ms.ov_contam_on && ms.con_rain_depth.size() > static_cast<size_t>(ms.n_cells);
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
    if (contam_rain) {
      ms.con_rain_depth[static_cast<size_t>(i)] += d;
      ms.con_rain_waiting = 1;
    }
    if (olakes && ms.oland_lake_new[i] > 0) {
      // Rain on an overland lake raises the lake, never the cell's depth.
      ms.olake_table[ms.oland_lake_new[i]].step_inflow += v;
      ms.olake_event_flag = 1;
      continue;
    }
    if (is_held_depth_cell(ms, i)) {
      ms.vol_ov_head_bound_out_total += v;
      continue;
    }
    double added = 0.0;
    if (!rain_on_cell(ms, i, d, snow_on, added)) {
      ok = false;
      return 0.0;
    }
    v_cells += added * cell_area;
  }
  ms.vol_precip_lake += v_lakes;
  ms.vol_precip_lake_total += v_lakes;
  ms.vol_precip += v_cells;
  ms.vol_precip_total += v_cells + v_lakes;
  ms.event_rain_acc += v_cells + v_lakes;
  return v_cells + v_lakes;
}

}  // namespace

void apply_precip_step(main_state& ms) {
  if (!(std::fabs(ms.precip_period_end - ms.now) < ms.time_tol) || ms.rain_event_state != 1) return;
  if (ms.uniform_rain_on) ++ms.precip_period_counter;
  // A step across a change of rain rate takes each rate for its own share of
  // the step, so every period delivers its recorded depth whatever the step.
  bool ok = true;
  double fell = 0.0;
  for_each_rain_piece(ms, ms.precip_period_start, ms.now, [&](double seconds) {
    if (ok) fell += apply_rain_piece(ms, seconds, ok);
  });
  if (!ok || error_rec.code != 0) return;
  if (fell > 0.0) {
    ++ms.n_rain_steps;
    if (ms.rain_not_started) {
      ms.rain_start_min = ms.elapsed_min;
      ms.rain_not_started = 0;
    }
  }
}

}  // namespace kavro
