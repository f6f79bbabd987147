// Speed of the overland routing step: a 1,000 x 1,000 plane of 10 m cells
// falling 0.1 m per row southwards and 0.05 m per column eastwards, wet from
// the start (5 mm), under 36 mm/h of rain for 10 simulated minutes. For each
// scheme it prints the cell-updates per second (cells x routing calls /
// seconds spent in the routing step) with one thread and with all threads,
// and the speed-up, all measured in this run.
#include <omp.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "framework/main_state.h"
#include "input/grid_connectivity.h"
#include "overland/overland_flow.h"
#include "overland/overland_steps.h"

namespace {

using kavro::main_state;

constexpr int rows = 1000, cols = 1000;
constexpr double dx = 10.0;

std::unique_ptr<main_state> make_plane() {
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
    for (int c = 1; c <= cols; ++c) ms->elevation[ms->mask[r][c]] = 1000.0 - 0.1 * r - 0.05 * c;
  for (long i = 1; i <= n; ++i) {
    ms->dist_rough[i] = 0.05;
    ms->ov_depth[i] = 0.005;
    if (ms->rightcon[i]) ms->slope_right[i] = (ms->elevation[i] - ms->elevation[ms->rightcon[i]]) / dx;
    if (ms->belowcon[i]) ms->slope_below[i] = (ms->elevation[i] - ms->elevation[ms->belowcon[i]]) / dx;
  }
  ms->outlet_cell = ms->mask[rows][cols];
  ms->outlet_slope = 0.01;
  ms->time_tol = 1.1574074074074074e-7;
  ms->now = 1000.0;
  ms->quiet_on = 1;
  return ms;
}

// Cell-updates per second of the routing step over 10 minutes at step dt.
double updates_per_second(int overtype, double dt, int threads, double minutes) {
  omp_set_num_threads(threads);
  auto ms = make_plane();
  ms->overtype = overtype;
  ms->precip_period = dt / 86400.0;
  const int calls = static_cast<int>(minutes * 60.0 / dt + 0.5);
  kavro::prepare_overland_arrays(*ms);  // made once per run, at the first routing
  double seconds = 0.0;
  for (int k = 0; k < calls; ++k) {
    double* h = ms->ov_depth.data();
#pragma omp parallel for schedule(static)
    for (long i = 1; i <= ms->n_cells; ++i) h[i] += 1e-5 * dt;  // 36 mm/h
    ms->precip_period_start = ms->now;
    ms->now += dt / 86400.0;
    ms->precip_period_end = ms->now;
    const auto t0 = std::chrono::steady_clock::now();
    kavro::overland_route_step(*ms);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  return static_cast<double>(ms->n_cells) * calls / seconds;
}

}  // namespace

int main(int argc, char** argv) {
  // An optional argument shortens the simulated time (minutes) for quick looks.
  const double minutes = argc > 1 ? std::atof(argv[1]) : 10.0;
  const int all = omp_get_max_threads();
  std::printf("overland routing step, %d x %d cells, %g min simulated, cell-updates per second\n", rows, cols, minutes);
  std::printf("%-9s %8s %14s %14s %9s\n", "scheme", "TIMESTEP", "1 thread", "all threads", "speed-up");
  const struct {
    const char* name;
    int overtype;
    double dt;
  } schemes[] = {{"explicit", 1, 5.0}, {"ade", 2, 5.0}, {"ade-pc", 3, 2.0}};
  for (const auto& s : schemes) {
    const double one = updates_per_second(s.overtype, s.dt, 1, minutes);
    const double many = updates_per_second(s.overtype, s.dt, all, minutes);
    std::printf("%-9s %8.0f %12.1f M %12.1f M %8.2fx  (%d threads)\n", s.name, s.dt, one / 1e6, many / 1e6,
                many / one, all);
  }
  std::printf("targets: explicit and ade at least 100 M with 8 threads, speed-up at least 6\n");
  return 0;
}
