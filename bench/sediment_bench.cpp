// Speed of the overland sediment step beside the overland routing step it
// follows: a 1,000 x 1,000 plane of 10 m cells falling 0.1 m per row
// southwards and 0.05 m per column eastwards, wet from the start (5 mm),
// under 36 mm/h of rain, three size classes (0.02, 0.05 and 0.3 mm),
// transport-capacity formula 1. For one thread and for all threads it
// prints the nanoseconds per cell and step of the ADE routing step and of
// the sediment step (with the routing step's sediment bookkeeping), their
// ratio, the sediment step's speed-up and the share of its one-thread
// transport sweep, all measured in this run.
#include <omp.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "framework/main_state.h"
#include "input/grid_connectivity.h"
#include "overland/overland_flow.h"
#include "overland/overland_steps.h"
#include "transport/overland_sediment.h"
#include "transport/transport_seams.h"

namespace {

using kavro::main_state;

constexpr int rows = 1000, cols = 1000;
constexpr double dx = 10.0, dt = 5.0;

std::unique_ptr<main_state> make_plane() {
  auto ms = std::make_unique<main_state>();
  ms->rows = ms->grid_rows = rows;
  ms->cols = ms->grid_cols = cols;
  const long n = static_cast<long>(rows) * cols;
  ms->n_cells = n;
  ms->dx = dx;
  ms->mask.allocate(rows + 1, cols + 1);
  long k = 0;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) ms->mask[r][c] = static_cast<int>(++k);
  for (kavro::dvec* v : {&ms->ov_depth, &ms->elevation, &ms->retent_dep, &ms->dist_rough, &ms->roughness_exp,
                         &ms->ov_mann_exp, &ms->ov_aux_depth, &ms->ov_depth_new, &ms->slope_right,
                         &ms->slope_below, &ms->rain_rate, &ms->ri_eff})
    v->allocate(n);
  for (kavro::ivec* v : {&ms->rightcon, &ms->belowcon, &ms->abovecon, &ms->leftcon}) v->allocate(n);
  kavro::build_cell_neighbours(rows, cols, ms->rightcon, ms->belowcon, ms->abovecon, ms->leftcon, ms->mask);
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) ms->elevation[ms->mask[r][c]] = 1000.0 - 0.1 * r - 0.05 * c;
  for (long i = 1; i <= n; ++i) {
    ms->dist_rough[i] = 0.05;
    ms->ov_depth[i] = 0.005;
    ms->rain_rate[i] = 36.0;
    if (ms->rightcon[i]) ms->slope_right[i] = (ms->elevation[i] - ms->elevation[ms->rightcon[i]]) / dx;
    if (ms->belowcon[i]) ms->slope_below[i] = (ms->elevation[i] - ms->elevation[ms->belowcon[i]]) / dx;
  }
  ms->outlet_cell = static_cast<int>(n);
  ms->outlet_slope = 0.01;
  ms->time_tol = 1.1574074074074074e-7;
  ms->now = 1000.0;
  ms->quiet_on = 1;
  ms->overtype = 2;
  ms->precip_period = dt / 86400.0;
  // Erosion with three classes, formula 1, every property at its default.
  kavro::sed_control_record& sc = ms->sed_control;
  sc.capacity_formula = 1;
  sc.water_temp = 20.0;
  sc.kin_viscosity = kavro::kinematic_viscosity(20.0);
  sc.n_sed_classes = 3;
  ms->sed_transport_mode = 1;
  ms->sand_size = 0.0625;
  ms->ov_sed = std::make_unique<kavro::ov_sed_record>();
  kavro::ov_sed_record& os = *ms->ov_sed;
  os.spec_grav.allocate(3);
  os.part_diam.allocate(3);
  const double diam[4] = {0, 0.02, 0.05, 0.3}, parent[4] = {0, 0.3, 0.3, 0.4};
  for (int c = 1; c <= 3; ++c) os.part_diam[c] = diam[c], os.spec_grav[c] = 2.65;
  kavro::allocate_sediment_arrays(*ms);
  for (long j = 1; j <= n; ++j) {
    os.splash_K[j] = 60.0;
    os.detach_coef[j] = 2e-5;
    os.detach_exp[j] = 1.0;
    os.sed_K[j] = 1.0;
    for (int c = 1; c <= 3; ++c) os.sed_fract[j][c][1] = parent[c];
  }
  return ms;
}

struct timings {
  double routing = 0, sediment = 0;
  kavro::sediment_phase_times phases;
  long cell_steps = 0;
};

timings run(int threads, int steps) {
  omp_set_num_threads(threads);
  auto ms = make_plane();
  kavro::prepare_overland_arrays(*ms);
  timings t;
  for (int k = 0; k < steps; ++k) {
    double* h = ms->ov_depth.data();
#pragma omp parallel for schedule(static)
    for (long i = 1; i <= ms->n_cells; ++i) h[i] += 1e-5 * dt;  // 36 mm/h
    ms->precip_period_start = ms->now;
    ms->now += dt / 86400.0;
    ms->precip_period_end = ms->now;
    // The routing step alone (its sediment call is timed on its own).
    ms->sed_control.erosion_on = 0;
    auto t0 = std::chrono::steady_clock::now();
    kavro::overland_route_step(*ms);
    auto t1 = std::chrono::steady_clock::now();
    ms->sed_control.erosion_on = 1;
    kavro::ov_sediment_transport_timed(*ms, dt, t.phases);
    kavro::book_overland_sediment_step(*ms);
    auto t2 = std::chrono::steady_clock::now();
    t.routing += std::chrono::duration<double>(t1 - t0).count();
    t.sediment += std::chrono::duration<double>(t2 - t1).count();
  }
  t.cell_steps = ms->n_cells * steps;
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  // An optional argument sets the number of steps (5 s each).
  const int steps = argc > 1 ? std::atoi(argv[1]) : 60;
  const int all = omp_get_max_threads();
  double load[3] = {0, 0, 0};
  if (getloadavg(load, 3) < 1) load[0] = -1.0;
  std::printf(
      "overland sediment step beside the ADE routing step, %d x %d cells, %d steps of %g s, load %.2f\n",
      rows, cols, steps, dt, load[0]);
  const timings one = run(1, steps), many = run(all, steps);
  const auto ns = [](double s, long n) { return s / static_cast<double>(n) * 1e9; };
  std::printf("%-22s %14s %14s\n", "ns per cell and step", "1 thread", "all threads");
  std::printf("%-22s %14.1f %14.1f\n", "routing (ADE)", ns(one.routing, one.cell_steps),
              ns(many.routing, many.cell_steps));
  std::printf("%-22s %14.1f %14.1f\n", "sediment", ns(one.sediment, one.cell_steps),
              ns(many.sediment, many.cell_steps));
  std::printf("%-22s %14.2f %14.2f\n", "sediment / routing", one.sediment / one.routing,
              many.sediment / many.routing);
  const auto share = [](const timings& t) {
    return 100.0 * t.phases.sweep / (t.phases.detach + t.phases.faces + t.phases.sweep + t.phases.settle);
  };
  std::printf("%-22s %13.1f%% %13.1f%%\n", "sweep share", share(one), share(many));
  std::printf("sediment speed-up on %d threads: %.2fx (routing %.2fx)\n", all, one.sediment / many.sediment,
              one.routing / many.routing);
  std::printf("targets: sediment at most 6 x routing on one thread; speed-up at least 2.5 on 8 threads\n");
  if (getloadavg(load, 3) < 1) load[0] = -1.0;
  std::printf("load average at the end: %.2f\n", load[0]);
  return 0;
}
