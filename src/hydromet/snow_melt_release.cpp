// Melt water on its way from the pack to the surface: the melt packets of a
// cell (travel through the pack at a Darcy-like speed) and their release onto
// the overland depth, which opens a runoff event when the ground gets wet.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "framework/main_state.h"
#include "framework/parallel_sum.h"
#include "framework/run_clock.h"
#include "framework/runoff_event_open.h"
#include "hydromet/hydromet_steps.h"
#include "hydromet/snow_model.h"
#include "overland/held_depth.h"

namespace kavro {

namespace {

constexpr double none = 1e-16;
// Water density times gravity over its viscosity near 0 C (1/(m s)): turns
// an intrinsic permeability (m2) into a hydraulic conductivity (m/s).
constexpr double permeability_to_conductivity = 6252390.0573613765;
constexpr double whole_hour_s = 3599.99;
constexpr double smallest_packet = 1e-8;  // m

bool release_skipped(const main_state& ms, long i) {
  if (ms.lakes_on && i <= ms.lake_mask.size() && ms.lake_mask[i] > 0) return true;
  if (ms.overland_lake_on && i <= ms.oland_lake_mask.size() && ms.oland_lake_mask[i] > 0) return true;
  return is_held_depth_cell(ms, i);
}

}  // namespace

double melt_release_rate(const main_state& ms, long i, double m) {
  const double* p = ms.snap_kavro_params[i];
  const double K = ms.snow_darcy < 0.0 ? p[11] / 10000.0 * permeability_to_conductivity : ms.snow_darcy;
  const double v = std::pow(m / 3600.0, 2.0 / 3.0) * std::cbrt(K) * (3.0 / p[4]) * 3600.0;
  const double lag = v <= none ? 1.0 : std::clamp((p[5] / 100.0) / v, 1.0, 6.0);
  return m / lag;
}

double route_melt_packets(main_state& ms, long i, double m) {
  const int n = ms.snap_mode_value;
  auto packets = ms.Melt_Waves[i];
  const double q = melt_release_rate(ms, i, m);
  for (int k = 1; k <= n - 1; ++k) {
    packets[k][1] += packets[k + 1][1];
    packets[k][2] = packets[k + 1][2];
    packets[k + 1][1] = packets[k + 1][2] = 0.0;
    packets[k][2] = std::min(std::max(packets[k][2], packets[k][1] / k), packets[k][1]);
  }
  packets[n][1] = m;
  packets[n][2] = std::min(std::max(q, m / 6.0), m);
  double held = 0.0;
  for (int k = 1; k <= n; ++k) held += packets[k][1];
  return held;
}

melt_release_result release_cell_melt(main_state& ms, long i, double e) {
  melt_release_result out;
  if (!(ms.snow_melt_to_ov[i] >= none) || release_skipped(ms, i)) return out;
  auto packets = ms.Melt_Waves[i];
  for (int j = 1; j <= ms.snap_mode_value; ++j) {
    double r = e >= whole_hour_s ? packets[j][2] : packets[j][2] / 3600.0 * e;
    if (packets[j][1] < smallest_packet || r > packets[j][1] || ms.swe[i] < none) {
      r = packets[j][1];
      packets[j][1] = packets[j][2] = 0.0;
    } else {
      packets[j][1] -= r;
    }
    ms.snow_melt_to_ov[i] -= r;
    if (ms.snow_melt_to_ov[i] < none) ms.snow_melt_to_ov[i] = 0.0;
    if (ms.snow_melt_to_ov[i] > none) out.pending = true;
    if (ms.snow_calibrate_on == 1) {
      // Calibration of the snow model alone: melt leaves the run.
      ms.ov_depth[i] = 0.0;
    } else {
      ms.ov_depth[i] += r;
      out.released += r;
      if (ms.ov_depth[i] < 0.0) out.flags |= snow_flag_negative_depth;
      if (ms.ov_depth[i] > none) out.wet = true;
    }
  }
  return out;
}

void snowmelt_release_step(main_state& ms) {
  if (!ms.long_term_on || ms.melt_release_armed != 1 || !is_due(ms, ms.next_melt_time)) return;
  if (ms.snow_melt_present == 0) {
    // Nothing waits: the release sleeps until the next rain event (for good
    // after the last one).
    ms.melt_release_armed = 0;
    const auto next = next_event_start_time(ms);
    ms.next_melt_time = next ? *next : never_time;
    ms.last_melt_time = ms.next_melt_time - ms.precip_period;
    return;
  }
  ms.snow_melt_present = 0;
  const double e = seconds_between(ms.last_melt_time, ms.now);
  const long n = ms.n_cells;
  if (ms.snow_cell_flags.size() < static_cast<std::size_t>(n + 1))
    ms.snow_cell_flags.assign(static_cast<std::size_t>(n + 1), 0);
  bool pending = false, wet = false, any_flag = false;
#pragma omp parallel for schedule(static) if (n >= parallel_min_items) reduction(|| : pending, wet, any_flag)
  for (long i = 1; i <= n; ++i) {
    const melt_release_result r = release_cell_melt(ms, i, e);
    ms.snow_cell_flags[static_cast<std::size_t>(i)] = r.flags;
    pending = pending || r.pending;
    wet = wet || r.wet;
    any_flag = any_flag || r.flags != 0;
  }
  if (any_flag) {
    for (long i = 1; i <= n; ++i)
      if (ms.snow_cell_flags[static_cast<std::size_t>(i)] & snow_flag_negative_depth) std::printf("oy");
  }
  if (pending) ms.snow_melt_present = 1;
  if (wet && ms.runoff_active == 0) open_runoff_event(ms);
  ms.last_melt_time = ms.now;
  ms.next_melt_time = ms.now + ms.melt_interval_days;
}

}  // namespace kavro
