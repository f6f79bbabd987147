// Raw views of the grid fields the overland solvers read in their hot loops,
// taken once per call. `general` is false when no embankment, lake, wetland,
// snow, blockage or boundary feature is on: the solvers then run their plain
// kernels, which test no switch per cell.
#pragma once

#include <cmath>

#include "framework/main_state.h"
#include "framework/parallel_sum.h"

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
  bool fixed_cell(long i) const {
    return bnd_on && (btype[i] == 2 || btype[i] == 3 || btype[i] == 8 || btype[i] == 9);
  }
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

}  // namespace kavro
