// The ray walk of terrain shading: from a cell toward the sun, one step at a
// time across the elevation grid, until the terrain rises above the ray (the
// cell is shaded), the ray leaves the grid, or it climbs above the highest
// ground of the watershed (nothing further can shade the cell).
//
// The grid is a dense copy of the ground elevations with a border: (rows + 2)
// x (cols + 2) values, row 0 and column 0 included, -9999 outside the
// watershed. The walk arithmetic is that of round_grid_offset,
// cell_elevation_pair and sun_ray_slope, inlined for the hot loop.
#pragma once

#include <cmath>

namespace kavro {

struct main_state;

// The sun of one hour as the walk needs it.
struct shade_sun {
  double a = 0.0, b = 0.0;  // column and row step per unit of walk
  double length = 0.0;      // length of one unit of walk, in cells
  int rise_kind = 0;        // which form of the ray rise applies (below)
  double rise_tan = 0.0;    // the tangent that form uses
  bool walks = false;       // false: the azimuth lies outside 0..2 pi, no cell is shaded by terrain
};

enum shade_rise_form : int {
  rise_vertical = 0,      // sun at the zenith: the ray rises at once out of reach
  rise_equal = 1,         // 45 degrees: rise = distance
  rise_flat = 2,          // sun on the horizon: no rise
  rise_down_equal = 3,    // 135 degrees: rise = -distance
  rise_below = 4,         // sun at the nadir
  rise_over_tan = 5,      // distance / tan(zenith)
  rise_times_tan = 6,     // distance * tan(pi/2 - zenith)
  rise_minus_tan = 7,     // -distance * tan(zenith - pi/2)
  rise_minus_over_tan = 8 // -distance / tan(pi - zenith)
};

// The grid the walk reads.
struct shade_grid {
  const double* z = nullptr;  // (rows + 2) x (cols + 2) elevations, row-major
  long stride = 0;            // cols + 2
  int rows = 0, cols = 0;     // map rows and columns
  double dx = 0.0;            // cell size (m)
  double top = 0.0;           // highest ground elevation (m)
  long max_steps = 0;         // the longest walk: the number of active cells
};

// The sun at `zenith` and `azimuth` (radians) as the walk needs it; a
// zenith outside 0..pi is reported.
shade_sun shade_sun_of(double zenith, double azimuth);
// The run's elevation grid of the walk, refreshed from the cells'
// elevations (the ground may change during a run).
shade_grid shade_grid_of(main_state& ms);

inline double shade_ray_rise(const shade_sun& s, double distance) {
  switch (s.rise_kind) {
    case rise_vertical: return 999999999.9;
    case rise_equal: return distance;
    case rise_flat: return 0.0;
    case rise_down_equal: return -distance;
    case rise_below: return -999999999.9;
    case rise_over_tan: return distance / s.rise_tan;
    case rise_times_tan: return distance * s.rise_tan;
    case rise_minus_tan: return -distance * s.rise_tan;
    default: return -distance / s.rise_tan;
  }
}

// Nearest whole number of a non-negative offset: halves round down.
inline int shade_round(double v) {
  const int i = static_cast<int>(v);
  return v - i > 0.5001 ? i + 1 : i;
}

// True when terrain shades the cell at row r, column c. `steps` counts the
// steps walked (for the benchmark; pass a dummy otherwise).
inline bool shade_ray_walk(const shade_grid& g, const shade_sun& s, int r, int c, long& steps) {
  if (!s.walks) return false;
  const double z0 = g.z[r * g.stride + c];
  double height = 0.0;
  bool terrain = false;  // an active cell has been passed
  for (long k = 1; k <= g.max_steps; ++k) {
    ++steps;
    const double x = static_cast<double>(k) * s.a, y = static_cast<double>(k) * s.b;
    const int ry = shade_round(std::fabs(y)), cx = shade_round(std::fabs(x));
    const int R = y < 0 ? -ry : ry, C = x < 0 ? -cx : cx;
    const int row = r + R, col = c + C;
    if (row >= g.rows || row < 2 || col >= g.cols || col < 2) return false;
    const double ray = shade_ray_rise(s, g.dx * static_cast<double>(k) * s.length) + z0;
    if (ray > g.top) return false;
    const double first = g.z[row * g.stride + col];
    if (first > -999.9) {
      const double dy = std::fabs(y - R), dxc = std::fabs(x - C);
      const int R2 = dy > 0.01 ? R + (y > R ? 1 : -1) : R;
      const int C2 = dxc > 0.01 ? C + (x > C ? 1 : -1) : C;
      double f = dy > 0.01 ? dy : 0.0;
      if (dxc > f) f = dxc;
      const double second = g.z[(r + R2) * g.stride + (c + C2)];
      height = second > -999.9 ? first + (second - first) * f : first;
      terrain = true;
    }
    if (terrain && height > ray) return true;
  }
  return false;
}

}  // namespace kavro
