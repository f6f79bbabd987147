#include "hydromet/solar_geometry.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "framework/main_state.h"
#include "framework/parallel_sum.h"
#include "hydromet/shade_walk.h"

namespace kavro {

namespace {

// The values of pi of these formulas (see the header).
constexpr double pi_8 = 3.14159265;
constexpr double hour_angle_per_hour = 0.26179938750000004;  // pi_8 / 12
constexpr double aspect_quarter = 1.5714285714285714;        // 11/7
constexpr double aspect_full = 6.285714285714286;            // 44/7

// Bounds of the eight compass sectors of the walk.
constexpr double sector_bound[9] = {0.0,          0.7853981635, 1.570796327, 2.3561944905, 3.141592654,
                                    3.9269908175, 4.712388981,  5.4977871445, 6.283185308};
// Zenith bounds of the ray rise.
constexpr double zenith_45 = 0.7853981625;
constexpr double zenith_90 = 1.570796325;
constexpr double zenith_135 = 2.3561944875000003;

// The form of the ray rise for a zenith inside 0..pi.
void set_rise(shade_sun& s, double zenith) {
  auto near = [&](double v) { return std::fabs(zenith - v) < 0.001; };
  if (near(0.0)) s.rise_kind = rise_vertical;
  else if (near(zenith_45)) s.rise_kind = rise_equal;
  else if (near(zenith_90)) s.rise_kind = rise_flat;
  else if (near(zenith_135)) s.rise_kind = rise_down_equal;
  else if (near(pi_8)) s.rise_kind = rise_below;
  else if (zenith < zenith_45) s.rise_kind = rise_over_tan, s.rise_tan = std::tan(zenith);
  else if (zenith <= zenith_90) s.rise_kind = rise_times_tan, s.rise_tan = std::tan(zenith_90 - zenith);
  else if (zenith <= zenith_135) s.rise_kind = rise_minus_tan, s.rise_tan = std::tan(zenith - zenith_90);
  else s.rise_kind = rise_minus_over_tan, s.rise_tan = std::tan(pi_8 - zenith);
}

}  // namespace

shade_sun shade_sun_of(double zenith, double azimuth) {
  shade_sun s;
  const sun_walk_step step = next_cell_toward_sun(azimuth);
  s.a = step.a;
  s.b = step.b;
  s.length = std::sqrt(s.a * s.a + s.b * s.b);
  s.walks = azimuth >= 0.0 && azimuth <= sector_bound[8];
  if (zenith < 0.0 || zenith > pi_8) {
    std::printf("We have an Issue with the Zenith Angle, Please Fix!!!!     ");
    s.rise_kind = rise_flat;
  } else {
    set_rise(s, zenith);
  }
  return s;
}

namespace {

// The sun is below the horizon.
bool sun_down(double zenith) { return zenith > zenith_90; }

}  // namespace

shade_grid shade_grid_of(main_state& ms) {
  weather_work& w = ms.weather_buffers;
  const int rows = ms.grid_rows, cols = ms.grid_cols;
  const long stride = cols + 2;
  w.shade_elevation.assign(static_cast<std::size_t>((rows + 2) * stride), -9999.0);
  double top = -9999.0;
  const int* row_of = ms.cell_row.data();
  const int* col_of = ms.cell_col.data();
  for (long j = 1; j <= ms.n_cells; ++j) {
    const double z = ms.elevation[j];
    w.shade_elevation[static_cast<std::size_t>(row_of[j] * stride + col_of[j])] = z;
    top = std::max(top, z);
  }
  w.shade_top = top;
  shade_grid g;
  g.z = w.shade_elevation.data();
  g.stride = stride;
  g.rows = rows;
  g.cols = cols;
  g.dx = ms.dx;
  g.top = top;
  g.max_steps = ms.n_cells;
  return g;
}

namespace {

// Cells numbered row by row from the top: the walk reads the grid by row and
// column and writes by cell number. A mask numbered otherwise is reported.
void check_cell_order(const main_state& ms) {
  long previous = 0;
  for (int r = 1; r <= ms.grid_rows; ++r) {
    for (int c = 1; c <= ms.grid_cols; ++c) {
      const int cell = ms.mask[r][c];
      if (cell == 0) continue;
      if (cell != previous + 1) {
        std::printf("\nError With 'Calculate_Shaded_Raster' function!!");
        return;
      }
      previous = cell;
    }
  }
}

}  // namespace

double hour_angle(double hour) {
  if (hour > 24.0 || hour < 0.0) {
    std::printf("We have an Issue with the Hour Angle, Please Fix!!!!     ");
    return 0.0;
  }
  if (std::fabs(hour - 12.0) < 0.01) return 0.0;
  return (hour - 12.0) * hour_angle_per_hour;
}

double solar_azimuth(double latitude_deg, double h, double decl) {
  const double phi = latitude_deg * pi_8 / 180.0;
  // The quadrant comes from both signs: an afternoon sun (h > 0) stands west
  // of south, a morning sun east of it.
  return std::atan2(std::sin(h), std::sin(phi) * std::cos(h) - std::cos(phi) * std::tan(decl)) + pi_8;
}

double solar_declination(int day) { return 0.409279709125 * std::sin(0.017214206301369866 * day - 1.405); }

double cell_aspect(double gx, double gy) {
  const double P = aspect_quarter;
  if (std::fabs(gy) < 1e-16) {
    if (gx == 1e-16) return 0.0;
    return gx > 1e-16 ? -P : P;
  }
  if (std::fabs(gx) < 1e-16) return gy > 1e-16 ? aspect_full : 0.0;
  if (gx == 1e-16 || gy == 1e-16) return 0.0;
  const double t = std::atan(std::fabs(gy) / std::fabs(gx));
  if (gx > 1e-16) {
    if (gy < 0.0) return t - P;
    return gy > 0.0 ? -P - t : 0.0;
  }
  if (gy > 0.0) return t + P;
  return gy < 0.0 ? P - t : 0.0;
}

double solar_incidence_cosine(double gx, double gy, double decl, double h, double latitude_rad) {
  const double s = std::atan(std::sqrt(gx * gx + gy * gy));
  double g = cell_aspect(gx, gy);
  if (g > pi_8) g -= pi_8;
  else if (g < -pi_8) g += pi_8;
  const double sd = std::sin(decl), cd = std::cos(decl), sp = std::sin(latitude_rad), cp = std::cos(latitude_rad);
  const double ss = std::sin(s), cs = std::cos(s), cg = std::cos(g), sg = std::sin(g), cw = std::cos(h),
               sw = std::sin(h);
  const double v = sd * sp * cs - sd * cp * ss * cg + cd * cp * cs * cw + cd * sp * ss * cg * cw + cd * ss * sg * sw;
  return v >= 1e-16 ? v : 0.0;
}

double sun_ray_slope(double zenith, double distance) {
  if (zenith < 0.0 || zenith > pi_8) {
    std::printf("We have an Issue with the Zenith Angle, Please Fix!!!!     ");
    return 0.0;
  }
  shade_sun s;
  set_rise(s, zenith);
  return shade_ray_rise(s, distance);
}

sun_walk_step next_cell_toward_sun(double z) {
  const double* B = sector_bound;
  constexpr sun_walk_step on_bound[9] = {{0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}};
  for (int i = 0; i <= 8; ++i)
    if (std::fabs(z - B[i]) < 1e-4) return on_bound[i];
  if (z > B[0] && z < B[1]) return {std::tan(z), -1.0};
  if (z > B[1] && z < B[2]) return {1.0, -std::tan(B[2] - z)};
  if (z > B[2] && z < B[3]) return {1.0, std::tan(z - B[2])};
  if (z > B[3] && z < B[4]) return {std::tan(B[4] - z), 1.0};
  if (z > B[4] && z < B[5]) return {-std::tan(z - B[4]), 1.0};
  if (z > B[5] && z < B[6]) return {-1.0, std::tan(B[6] - z)};
  if (z > B[6] && z < B[7]) return {-1.0, -std::tan(z - B[6])};
  if (z > B[7] && z < B[8]) return {-std::tan(B[8] - z), -1.0};
  std::printf("\n\n\n\nERROR IN FINDING THE NEXT CELL, THE ANGLE IS RIDONKULOUS!!!!!!!!!!!!!!! \n\n");
  std::printf("Please Fix and Start Over!!!   ");
  return {0.0, 0.0};
}

grid_offset round_grid_offset(long k, double a, double b) {
  const double x = static_cast<double>(k) * a, y = static_cast<double>(k) * b;
  grid_offset o;
  const int ry = shade_round(std::fabs(y)), cx = shade_round(std::fabs(x));
  o.row = y < 0 ? -ry : ry;
  o.col = x < 0 ? -cx : cx;
  const double dy = std::fabs(y - o.row), dxc = std::fabs(x - o.col);
  o.row2 = dy > 0.01 ? o.row + (y > o.row ? 1 : -1) : o.row;
  o.col2 = dxc > 0.01 ? o.col + (x > o.col ? 1 : -1) : o.col;
  o.fraction = dy > 0.01 ? dy : 0.0;
  if (dxc > o.fraction) o.fraction = dxc;
  return o;
}

double cell_elevation_pair(double first, double second, double fraction) {
  const bool has_first = first > -999.9, has_second = second > -999.9;
  if (!has_first) return has_second ? second : 99999999.99;
  if (!has_second) return first;
  if (fraction > 1.0) {
    std::printf("WE HAVE AN ERROR IN THE ELEVATION FINDER!!!!!!!!!!!!!!!!!!");
    return first;
  }
  return first + (second - first) * fraction;
}

double Calculate_Shaded_Raster(main_state& ms, double zenith, double azimuth, int hour) {
  if (ms.n_cells < 1 || hour < 0 || hour > 23) return 0.0;
  check_cell_order(ms);
  const shade_grid g = shade_grid_of(ms);
  const shade_sun s = shade_sun_of(zenith, azimuth);
  const bool night = sun_down(zenith);
  const long n = ms.n_cells;
  auto& flags = ms.cell_hour_flags;
  const int* row_of = ms.cell_row.data();
  const int* col_of = ms.cell_col.data();
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long j = 1; j <= n; ++j) {
    long steps = 0;
    flags[j][hour] = night || shade_ray_walk(g, s, row_of[j], col_of[j], steps) ? 1 : 0;
  }
  long shaded = 0;
  for (long j = 1; j <= n; ++j) shaded += flags[j][hour];
  return 100.0 * static_cast<double>(shaded) / static_cast<double>(n);
}

void solar_hourly_geometry(main_state& ms, double latitude_deg, double decl) {
  if (ms.n_cells < 1 || ms.cell_hour_flags.empty()) return;
  check_cell_order(ms);
  const shade_grid g = shade_grid_of(ms);
  const double phi = latitude_deg * pi_8 / 180.0;
  std::array<shade_sun, 24> suns;
  std::array<bool, 24> night{};
  for (int i = 0; i < 24; ++i) {
    const double h = hour_angle(i);
    const double zenith = std::acos(std::cos(phi) * std::cos(decl) * std::cos(h) + std::sin(phi) * std::sin(decl));
    suns[i] = shade_sun_of(zenith, solar_azimuth(latitude_deg, h, decl));
    night[i] = sun_down(zenith);
  }
  const long n = ms.n_cells;
  auto& flags = ms.cell_hour_flags;
  const int* row_of = ms.cell_row.data();
  const int* col_of = ms.cell_col.data();
  // Cell by cell, the day's 24 hours: each cell's row of flags is its own.
#pragma omp parallel for schedule(static) if (n >= parallel_min_items / 24)
  for (long j = 1; j <= n; ++j) {
    const int r = row_of[j], c = col_of[j];
    for (int i = 0; i < 24; ++i) {
      long steps = 0;
      flags[j][i] = night[i] || shade_ray_walk(g, suns[i], r, c, steps) ? 1 : 0;
    }
  }
}

}  // namespace kavro
