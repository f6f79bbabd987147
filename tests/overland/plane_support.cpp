#include "plane_support.h"

#include "framework/parallel_sum.h"
#include "input/grid_connectivity.h"
#include "overland/overland_steps.h"

namespace kavro_test {

using kavro::main_state;

std::unique_ptr<main_state> make_plane(int rows, int cols, double dx, const std::function<double(int, int)>& z,
                                       double manning_n, int out_row, int out_col, double out_slope) {
  auto ms = std::make_unique<main_state>();
  ms->rows = ms->grid_rows = rows;
  ms->cols = ms->grid_cols = cols;
  ms->n_cells = rows * cols;
  ms->dx = dx;
  ms->mask.allocate(rows + 1, cols + 1);
  int n = 0;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) ms->mask[r][c] = ++n;
  for (kavro::dvec* v : {&ms->ov_depth, &ms->elevation, &ms->retent_dep, &ms->dist_rough, &ms->roughness_exp,
                         &ms->ov_mann_exp, &ms->ov_aux_depth, &ms->ov_depth_new, &ms->slope_right, &ms->slope_below})
    v->allocate(n);
  for (kavro::ivec* v : {&ms->rightcon, &ms->belowcon, &ms->abovecon, &ms->leftcon}) v->allocate(n);
  kavro::build_cell_neighbours(rows, cols, ms->rightcon, ms->belowcon, ms->abovecon, ms->leftcon, ms->mask);
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) ms->elevation[ms->mask[r][c]] = z(r, c);
  for (long i = 1; i <= n; ++i) {
    ms->dist_rough[i] = manning_n;
    if (ms->rightcon[i]) ms->slope_right[i] = (ms->elevation[i] - ms->elevation[ms->rightcon[i]]) / dx;
    if (ms->belowcon[i]) ms->slope_below[i] = (ms->elevation[i] - ms->elevation[ms->belowcon[i]]) / dx;
  }
  ms->outlet_cell = ms->mask[out_row][out_col];
  ms->outlet_slope = out_slope;
  ms->time_tol = 1.1574074074074074e-7;
  ms->now = 1000.0;
  ms->precip_period_start = ms->now;
  ms->precip_period_end = ms->now;
  return ms;
}

double surface_volume(const main_state& ms) {
  double v = 0.0;
  for (long i = 1; i <= ms.n_cells; ++i) v += ms.ov_depth[i] * ms.dx * ms.dx;
  return v;
}

void route_interval(main_state& ms, double dt) {
  ms.precip_period = dt / 86400.0;
  ms.precip_period_start = ms.now;
  ms.now += dt / 86400.0;
  ms.precip_period_end = ms.now;
  kavro::ovl_boundary_step(ms);
  kavro::overland_route_step(ms);
}

}  // namespace kavro_test
