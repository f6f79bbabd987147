// Overland boundary cells and pumps: before every overland routing the
// boundary cells take their current values and impose them on the depths
// (outflow over a given slope, a fixed depth or level, a given discharge,
// face flow by rating curve), then the pumps take their water.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/run_clock.h"
#include "input/elev_series.h"
#include "input/time_series.h"
#include "overland/overland_flow.h"
#include "overland/overland_grid_view.h"
#include "overland/overland_steps.h"

namespace kavro {

namespace {

constexpr double m3s_per_cfs = 0.0283168466;

bool series_boundary(int type) { return type >= 3 && type <= 5; }

// The run totals of one call.
struct boundary_volumes {
  double slope_out = 0, head_in = 0, head_out = 0, q_in = 0, q_out = 0, q_unmet = 0;
};

bool channel_lake_cell(const main_state& ms, long i) {
  return ms.lakes_on && !ms.lake_mask.empty() && ms.lake_mask[i] > 0;
}

// Type 1: outflow over the given slope through every edge face of the cell.
void slope_boundary(main_state& ms, long i, double dt, boundary_volumes& v) {
  const int edges = (ms.rightcon[i] == 0) + (ms.leftcon[i] == 0) + (ms.abovecon[i] == 0) + (ms.belowcon[i] == 0);
  if (edges == 0) return;
  const double dx = ms.dx, area = dx * dx, n = ms.ov_mann_exp[i];
  const double s = std::sqrt(ms.boundary_value[i]);
  if (channel_lake_cell(ms, i)) {
    const int L = ms.lake_mask[i];
    const double depth = std::max(0.0, ms.lake_elev[L] - ms.elevation[i]);
    const double vol = std::min(std::pow(depth, 1.666667) * s * dx / n * dt, ms.lake_volume[L]);
    ms.lake_out_dv[L] += vol;
    ms.lake_volume[L] -= vol;
    v.slope_out += vol;
    return;
  }
  double& h = ms.ov_depth[i];
  const double per_face = s * std::pow(h, 1.666667) * dx / n * dt / area;
  const double loss = std::min(edges * per_face, h);
  h -= loss;
  v.slope_out += loss * area;
}

// Types 2 and 3: the depth that puts the water surface at the given level.
void head_boundary(main_state& ms, long i, double level, boundary_volumes& v) {
  const double area = ms.dx * ms.dx;
  double& h = ms.ov_depth[i];
  const double change = (std::max(0.0, level - ms.elevation[i]) - h) * area;
  h = std::max(0.0, level - ms.elevation[i]);
  if (change >= 0.0)
    v.head_in += change;
  else
    v.head_out += -change;
}

// Types 4 and 5: a given discharge q (m3/s), positive onto the cell.
void discharge_boundary(main_state& ms, long i, double q, double dt, boundary_volumes& v) {
  const double area = ms.dx * ms.dx;
  const double vol = q * dt;
  if (channel_lake_cell(ms, i) && ms.boundary_type[i] == 5) {
    const int L = ms.lake_mask[i];
    if (vol >= 0.0) {
      ms.lake_in_dv[L] += vol;
      ms.lake_volume[L] += vol;
      v.q_in += vol;
    } else {
      const double taken = std::min(-vol, std::max(0.0, ms.lake_volume[L]));
      ms.lake_out_dv[L] += taken;
      ms.lake_volume[L] -= taken;
      v.q_out += taken;
      v.q_unmet += -vol - taken;
    }
    return;
  }
  double& h = ms.ov_depth[i];
  if (vol >= 0.0) {
    h += vol / area;
    v.q_in += vol;
  } else if (-vol > h * area) {
    v.q_out += h * area;
    v.q_unmet += -vol - h * area;
    h = 0.0;
  } else {
    h += vol / area;
    v.q_out += -vol;
  }
}

// Water-surface level of a cell: its channel lake's level or ground + depth.
double cell_level(const main_state& ms, long i) {
  return channel_lake_cell(ms, i) ? ms.lake_elev[ms.lake_mask[i]] : ms.elevation[i] + ms.ov_depth[i];
}

// Types 6 and 7: flow through the faces toward partner cells (type 99) by
// the cell's rating curve of flow (m3/s) against head (m). Water moves
// between the two cells only.
void rating_boundary(main_state& ms, long i, double dt) {
  if (ms.ov_boundary_faces.size() < i) return;
  const elev_series* curve = ms.ov_boundary_faces[i].rating_curve;
  if (!curve || curve->count() == 0) return;
  const double area = ms.dx * ms.dx;
  const long faces[4] = {ms.abovecon[i], ms.rightcon[i], ms.belowcon[i], ms.leftcon[i]};
  for (long k : faces) {
    if (k == 0 || ms.boundary_type[k] != 99) continue;
    const double fi = cell_level(ms, i), fk = cell_level(ms, k);
    long from = 0, to = 0;
    double head = 0.0;
    if (ms.boundary_type[i] == 7) {
      head = ms.ov_depth[i];
      from = i, to = k;
    } else if (fi - fk > 1e-8) {
      head = fi - fk, from = i, to = k;
    } else if (fk - fi > 1e-8) {
      head = fk - fi, from = k, to = i;
    } else {
      continue;
    }
    double d = std::max(0.0, elev_series_interp(head, curve)) * dt / area;
    if (ms.boundary_type[i] != 7) d = std::min(d, head);
    d = std::min(d, ms.ov_depth[from]);
    if (!(d > 0.0)) continue;
    ms.ov_depth[from] -= d;
    ms.ov_depth[to] += d;
  }
}

}  // namespace

void check_ovl_boundary_series(main_state& ms) {
  if (!ms.ov_boundary_on || ms.boundary_type.empty()) return;
  const long n = std::min<long>(ms.n_cells, ms.boundary_type.size());
  ms.boundary_series.assign(static_cast<size_t>(n) + 1, nullptr);
  bool bad = false;
  for (long i = 1; i <= n; ++i) {
    if (!series_boundary(ms.boundary_type[i])) continue;
    const double index = i <= ms.ov_boundary_value.size() ? ms.ov_boundary_value[i] : 0.0;
    const time_series* bound = nullptr;
    if (std::isfinite(index) && index == std::floor(index) && std::fabs(index) < 2147483647.0) {
      for (const auto& entry : time_series_index)
        if (entry.id == static_cast<int>(index) && entry.series && entry.series->count() > 0) bound = entry.series;
    }
    if (!bound) {
      std::printf("Error: overland boundary cell %ld (type %d) names time series index %g, which binds no time "
                  "series.\n",
                  i, ms.boundary_type[i], index);
      bad = true;
    }
    ms.boundary_series[static_cast<size_t>(i)] = bound;
  }
  if (bad) {
    std::printf("Program stopped.\n");
    error_rec.code = already_printed_code;
  }
}

void ovl_boundary_values(main_state& ms, double now) {
  const long n = ms.n_cells;
  const int* type = ms.boundary_type.data();
  const double* input = ms.ov_boundary_value.data();
  double* value = ms.boundary_value.data();
  const bool bound = ms.boundary_series.size() == static_cast<size_t>(n) + 1;
  const time_series* const* series = bound ? ms.boundary_series.data() : nullptr;
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long i = 1; i <= n; ++i) {
    const int t = type[i];
    if (t == 1 || t == 2)
      value[i] = input[i];
    else if (series_boundary(t) && series && series[i])
      value[i] = time_series_at(*series[i], now);
    else
      value[i] = 0.0;
  }
}

double ovl_boundary_flows(main_state& ms, double dt) {
  boundary_volumes v;
  xy_input& xy = ms.project_params.xy_input;
  if (ms.xybdyinput_ovdep_on && (xy.n_ovpts > 0 || xy.n_ovInterpPts > 0)) {
    if (ms.xybdyinput_ov_stage_interp_on == 1)
      xy.apply_ov_stage(ms.now, ms.dx, ms.elevation, ms.ov_depth, v.head_in, v.head_out);
    else
      xy.apply_ov_depth(ms.now, ms.dx, ms.ov_depth, v.head_in, v.head_out);
  }
  depth_varied_roughness(ms.n_cells, ms.dist_rough, ms.roughness_exp, ms.ov_depth, ms.ov_mann_exp);
  for (long i = 1; i <= ms.n_cells; ++i) {
    switch (ms.boundary_type[i]) {
      case 1: slope_boundary(ms, i, dt, v); break;
      case 2: head_boundary(ms, i, ms.boundary_value[i], v); break;
      case 3:
        if (!channel_lake_cell(ms, i)) head_boundary(ms, i, ms.boundary_value[i], v);
        break;
      case 4: discharge_boundary(ms, i, ms.boundary_value[i] * m3s_per_cfs, dt, v); break;
      case 5: discharge_boundary(ms, i, ms.boundary_value[i], dt, v); break;
      case 6:
      case 7: rating_boundary(ms, i, dt); break;
      default: break;
    }
  }
  ms.vol_ov_slope_bound_out_total += v.slope_out;
  ms.vol_ov_head_bound_in_total += v.head_in;
  ms.vol_ov_head_bound_out_total += v.head_out;
  ms.vol_ov_q_bound_in_total += v.q_in;
  ms.vol_ov_q_bound_out_total += v.q_out;
  ms.vol_ov_q_bound_unmet_total += v.q_unmet;
  return v.head_in + v.q_in - v.head_out - v.q_out - v.slope_out;
}

void apply_overland_pumps(main_state& ms, double dt) {
  const double area = ms.dx * ms.dx;
  for (const ov_pump& p : ms.ov_pumps) {
    if (p.cell < 1 || p.cell > ms.n_cells) continue;
    double& h = ms.ov_depth[p.cell];
    double q = 0.0;
    if (p.kind == 1 && p.rate_series)
      q = time_series_at(*p.rate_series, ms.now);
    else if (p.depth_curve)
      q = elev_series_interp(h, p.depth_curve);
    h -= std::min(q * dt / area, h);
  }
}

void ovl_boundary_step(main_state& ms) {
  if (std::fabs(ms.precip_period_end - ms.now) >= ms.time_tol) return;
  if (ms.n_cells <= 0 || ms.ov_depth.empty()) return;
  const double dt = seconds_between(ms.precip_period_start, ms.now);  // as the rain step books it
  prepare_overland_arrays(ms);
  if (ms.ov_boundary_on && !ms.boundary_type.empty()) {
    ovl_boundary_values(ms, ms.now);
    ovl_boundary_flows(ms, dt);
  }
  if (!ms.ov_pumps.empty()) apply_overland_pumps(ms, dt);
}

}  // namespace kavro
