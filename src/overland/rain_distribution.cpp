#include "overland/rain_distribution.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/parallel_sum.h"

namespace kavro {

namespace {

constexpr double no_gauge_distance = 1000000.0;

// Cell centre of row r, column c (1-based).
double centre_x(const rain_grid& g, int c) { return g.west + (c - 0.5) * g.dx; }
double centre_y(const rain_grid& g, int r) { return g.north - (r - 0.5) * g.dx; }

bool snow_falls_on(const main_state& ms, long i) {
  return ms.temper_gridded.size() >= i && ms.temper_gridded[i] <= ms.snow_pxtemp + 1e-16;
}

bool channel_lake_cell(const main_state& ms, long i) {
  return ms.lakes_on && ms.lake_mask.size() >= i && ms.lake_mask[i] > 0;
}

}  // namespace

bool find_neighbor(int n_gauges, const rain_grid& g, const dvec& gauge_x, const dvec& gauge_y, ivec& nearest) {
  int failures = 0;
#pragma omp parallel for schedule(static) reduction(+ : failures) if (static_cast<long>(g.rows) * g.cols >= parallel_min_items)
  for (int r = 1; r <= g.rows; ++r) {
    for (int c = 1; c <= g.cols; ++c) {
      const int cell = g.mask[r][c];
      if (cell <= 0) continue;
      const double x = centre_x(g, c), y = centre_y(g, r);
      double best = no_gauge_distance;
      int best_gauge = 0;
      for (int k = 1; k <= n_gauges; ++k) {
        const double d = std::hypot(x - gauge_x[k], y - gauge_y[k]);
        if (d < best) {
          best = d;
          best_gauge = k;
        }
      }
      if (best > 900000.0) {
        ++failures;
        break;
      }
      nearest[cell] = best_gauge;
    }
  }
  if (failures == 0) return true;
  std::printf("Failure to identify closest raingauge in find_neighbor\n");
  std::printf("check rain gage data file, particularly gage coordinates\n");
  error_rec.code = already_printed_code;
  return false;
}

void build_idw_weights(precipitation_block& pb, const rain_grid& g, long n_cells) {
  const int n = pb.n_gauges;
  pb.idw_dist2.allocate(n_cells, n);
  pb.idw_sole_gauge.allocate(n_cells);
  pb.idw_inv_sum.allocate(n_cells);
#pragma omp parallel for schedule(static) if (static_cast<long>(g.rows) * g.cols >= parallel_min_items)
  for (int r = 1; r <= g.rows; ++r) {
    for (int c = 1; c <= g.cols; ++c) {
      const int cell = g.mask[r][c];
      if (cell <= 0 || cell > n_cells) continue;
      const double x = centre_x(g, c), y = centre_y(g, r);
      double inv_sum = 0.0;
      int sole = 0;
      for (int k = 1; k <= n; ++k) {
        const double ex = x - pb.gauge_x[k], ey = y - pb.gauge_y[k];
        const double w2 = ex * ex + ey * ey;
        pb.idw_dist2[cell][k] = w2;
        if (sole == 0 && std::sqrt(w2) < g.dx) sole = k;
        // A gauge on the cell's centre: the cell takes that gauge's rain
        // (sole), and the weights are not used.
        if (w2 > 0.0) inv_sum += 1.0 / w2;
      }
      pb.idw_sole_gauge[cell] = sole;
      pb.idw_inv_sum[cell] = inv_sum;
    }
  }
}

void precip_idw(const precipitation_block& pb, int period, long n_cells, dvec& rain_rate) {
  const int n = pb.n_gauges;
  const dmat& v = pb.gauge_values;
  if (n == 1) {
    const double value = v[1][period];
#pragma omp parallel for schedule(static) if (n_cells >= parallel_min_items)
    for (long i = 1; i <= n_cells; ++i) rain_rate[i] = value;
    return;
  }
#pragma omp parallel for schedule(static) if (n_cells >= parallel_min_items)
  for (long i = 1; i <= n_cells; ++i) {
    const int sole = pb.idw_sole_gauge[i];
    if (sole > 0) {
      rain_rate[i] = v[sole][period];
      continue;
    }
    const double* w2 = pb.idw_dist2[i];
    double weighted = 0.0;
    for (int k = 1; k <= n; ++k) weighted += v[k][period] / w2[k];
    rain_rate[i] = weighted / pb.idw_inv_sum[i];
  }
}

void precip_nearest(int period, int n_gauges, const ivec& nearest, const dmat& gauge_values, dvec& rain_rate,
                    long n_cells) {
#pragma omp parallel for schedule(static) if (n_cells >= parallel_min_items)
  for (long i = 1; i <= n_cells; ++i) rain_rate[i] = gauge_values[n_gauges == 1 ? 1 : nearest[i]][period];
}

double interception_season_divisor(const main_state& ms, int month) {
  if (ms.seasonal_rs_on != 1) return 1.0;
  const double spring = ms.seasonal_rs_spring, fall = ms.seasonal_rs_fall;
  const double s_start = ms.seasonal_rs_summer_start, s_end = ms.seasonal_rs_summer_end;
  if (ms.seasonal_rs_spring > 0) {
    if (month <= spring || month >= fall) return 4.0;
    if (month < s_start) return 4.0 - 3.0 * (month - spring) / (s_start - spring);
    if (month <= s_end) return 1.0;
    return 1.0 + 3.0 * (month - s_end) / (fall - s_end);
  }
  if (ms.latitude_deg < 37.0) {
    if (month <= 3 || month >= 11) return 4.0;
    if (month == 4 || month == 10) return 2.5;
    return 1.0;
  }
  if (month <= 4 || month >= 11) return 4.0;
  if (month == 5) return 3.0;
  if (month == 6) return 2.0;
  if (month == 10) return 2.5;
  return 1.0;
}

void seasonal_interception(main_state& ms, double step_s) {
  const double m = interception_season_divisor(ms, ms.cur_month);
  const double cell_area = ms.dx * ms.dx;
  double held_total = 0.0;
  for (long i = 1; i <= ms.n_cells; ++i) {
    const double R = ms.rain_rate[i];
    const double P = R * step_s / 3600.0;  // depth of the step (mm)
    double w = 0.0;
    if (ms.snow_canopy_intercept_on == 1 && snow_falls_on(ms, i)) {
      ms.ri_eff[i] = R;  // the snow canopy takes over
      continue;
    }
    if (R < 0.0) {
      ms.ri_eff[i] = 0.0;
      continue;
    }
    if (channel_lake_cell(ms, i)) {
      ms.ri_eff[i] = R;
      continue;
    }
    const double c = ms.icep_coef[i] / m;
    const double S = std::max(0.0, ms.icep_stor[i] / m - ms.icep_dep[i]);
    if (S > P) {
      ms.ri_eff[i] = 0.0;
      w = P;
    } else {
      // The storage fills first; the canopy cover then holds its share of
      // the excess, so held + delivered is the step's rain.
      const double excess = S > 0.0 ? P - S : P;
      w = S > 0.0 ? S : 0.0;
      ms.ri_eff[i] = excess * 3600.0 / step_s * (1.0 - c);
      w += c * excess;
    }
    ms.icep_dep[i] += w;
    held_total += w;
  }
  ms.vol_interception_total += held_total * cell_area / 1000.0;
}

}  // namespace kavro
