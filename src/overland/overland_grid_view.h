// Raw views of the grid fields the overland solvers read in their hot loops,
// taken once per call. `general` is false when no embankment, lake, wetland,
// snow, blockage or boundary feature is on: the solvers then run their plain
// kernels, which test no switch per cell.
#pragma once

#include <cmath>

#include "framework/main_state.h"
#include "framework/parallel_sum.h"
#include "overland/held_depth.h"

namespace kavro {

struct overland_grid_view {
  long n = 0;       // active cells
  double dx = 0;    // cell size (m)
  const double* z = nullptr;
  const int* right = nullptr;
  const int* below = nullptr;
  const int* left = nullptr;
  const int* above = nullptr;
  const double* ret = nullptr;    // retention depth (m)
  const double* rough = nullptr;  // Manning n
  const double* kexp = nullptr;   // depth decay of the roughness (1/m)
  bool dike_on = false;
  const int* dike = nullptr;
  bool olake_on = false;
  const int* olake_id = nullptr;
  const olake* olakes = nullptr;
  bool clake_on = false;
  const int* lmask = nullptr;
  const double* lelev = nullptr;
  bool wet_on = false;
  const int* wmask = nullptr;
  const wetland_params* wet = nullptr;
  bool snow_on = false;
  const double* swe = nullptr;
  double* const* snap = nullptr;
  double snow_darcy = -1.0;
  bool block_on = false;
  double* const* bfrac = nullptr;
  const double* bcell = nullptr;
  bool bnd_on = false;
  const int* btype = nullptr;
  bool general = false;

  bool lake_cell(long i) const {
    return (olake_on && olake_id[i] > 0) || (clake_on && lmask[i] > 0);
  }
  // The boundary step sets this cell's depth: the solvers leave it.
  bool fixed_cell(long i) const { return bnd_on && is_held_depth_type(btype[i]); }
};

overland_grid_view make_overland_view(main_state& ms);

// The Manning roughness of cell u at depth h[u]: n * exp(-k * h), which is
// n itself where k = 0.
inline double effective_roughness(const overland_grid_view& g, const double* h, long u) {
  const double k = g.kexp[u];
  return k == 0.0 ? g.rough[u] : g.rough[u] * std::exp(-k * h[u]);
}

// d^(5/3) for d >= 0.
inline double pow_five_thirds(double d) { return d * std::cbrt(d * d); }

// Manning outflow of the outlet cell over its outlet slope at depth
// depth[outlet] (m3/s), with the cell's effective roughness.
inline double outlet_flow(const main_state& ms, const overland_grid_view& g, const double* depth) {
  const long o = ms.outlet_cell;
  return pow_five_thirds(depth[o]) / effective_roughness(g, depth, o) * std::sqrt(ms.outlet_slope) * g.dx;
}

// Without a channel network the outlet cell drains over its slope, unless a
// boundary sets its depth.
inline bool outlet_drains(const main_state& ms, const overland_grid_view& g) {
  return ms.channel_on == 0 && ms.outlet_cell > 0 && !g.fixed_cell(ms.outlet_cell);
}

// Drains the outlet cell at its Manning outflow for ts seconds, never below
// dry. Returns the volume that left (m3); `dh` receives the depth the flow
// asked for (m).
inline double drain_outlet_cell(main_state& ms, const overland_grid_view& g, double ts, double& dh) {
  double& h = ms.ov_depth[ms.outlet_cell];
  const double q = outlet_flow(ms, g, ms.ov_depth.data());
  dh = ts * q / (g.dx * g.dx);
  if (dh > h) {
    const double v = g.dx * g.dx * h;
    h = 0.0;
    return v;
  }
  h -= dh;
  return ts * q;
}

// A solver leaves no negative depth. A pass may take a cell below dry by
// round-off and by the small overshoot of an explicit step; within this
// tolerance (m) the depth is set to 0 and the water that makes is booked as
// the overland cleanup, beyond it the pass is repeated on a shorter step
// where the scheme can shorten it.
inline constexpr double negative_depth_tolerance = 1e-5;

// Sets a negative depth h of cell i to 0 and notes the depth added (m) in
// clip[i]; true when it did. Writes slot i only (used inside parallel loops).
inline bool clip_negative_depth(double& h, double* clip, long i) {
  if (!(h < 0.0)) return false;
  clip[i] = -h;
  h = 0.0;
  return true;
}

// The water (m3) made by the clip_negative_depth calls of the last update,
// `n_clipped` of them, summed in a fixed order; clears the marks. The
// caller books it into the cleanup total once its step is kept.
double take_clipped(main_state& ms, long n_clipped);

}  // namespace kavro
