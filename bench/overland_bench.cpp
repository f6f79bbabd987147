// Speed of the overland routing step: a 1,000 x 1,000 plane of 10 m cells
// falling 0.1 m per row southwards and 0.05 m per column eastwards, wet from
// the start (5 mm), under 36 mm/h of rain for 10 simulated minutes. For each
// scheme it prints the cell-updates per second (cells x routing calls /
// seconds spent in the routing step) with one thread and with all threads,
// and the speed-up, all measured in this run.
//
// Beside them it prints two references of the machine, measured in the same
// run with one and with all threads: the memory bandwidth of a triad over
// arrays far larger than the caches, and the rate of the Manning face term
// (a cube root, a square root and a division) on data that stays in each
// core's cache. Their speed-ups bound what the routing step, which needs
// both, can reach on this machine.
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "framework/main_state.h"
#include "input/grid_connectivity.h"
#include "overland/overland_flow.h"
#include "overland/overland_grid_view.h"
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

// Memory reference: GB/s of a[i] = b[i] + 3 c[i] (24 bytes per element)
// over three arrays of 128 MB, best of five.
double triad_gb_per_second(int threads) {
  omp_set_num_threads(threads);
  constexpr long n = 16'000'000;
  kavro::dvec a, b, c;
  a.allocate(n);
  b.allocate(n);
  c.allocate(n);
  double* pa = a.data();
  double* pb = b.data();
  double* pc = c.data();
#pragma omp parallel for schedule(static)
  for (long i = 1; i <= n; ++i) pb[i] = 1.0, pc[i] = 2.0;
  double best = 1e30;
  for (int rep = 0; rep < 5; ++rep) {
    const auto t0 = std::chrono::steady_clock::now();
#pragma omp parallel for schedule(static)
    for (long i = 1; i <= n; ++i) pa[i] = pb[i] + 3.0 * pc[i];
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  return 24.0 * static_cast<double>(n) / best / 1e9;
}

// Compute reference: Manning face terms d^(5/3) sqrt(S) / n per second, each
// thread over its own 4,096 faces (in its cache) 2,000 times.
double face_terms_per_second(int threads) {
  omp_set_num_threads(threads);
  constexpr int faces = 4096, reps = 2000;
  constexpr int pad = 8;  // one cache line per thread's result
  std::vector<double> sink(static_cast<std::size_t>(threads * pad), 0.0);
  const auto t0 = std::chrono::steady_clock::now();
#pragma omp parallel
  {
    std::vector<double> d(faces), slope(faces), n(faces);
    for (int k = 0; k < faces; ++k) {
      d[k] = 0.005 + 1e-6 * k;
      slope[k] = 0.01 + 1e-7 * k;
      n[k] = 0.05;
    }
    double s = 0.0;
    for (int rep = 0; rep < reps; ++rep)
      for (int k = 0; k < faces; ++k) s += kavro::pow_five_thirds(d[k]) * std::sqrt(slope[k]) / n[k];
    sink[static_cast<std::size_t>(omp_get_thread_num() * pad)] = s;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  double kept = 0.0;
  for (double v : sink) kept += v;
  if (!(kept > 0.0)) std::printf("(face terms summed to %g)\n", kept);
  return static_cast<double>(faces) * reps * threads / seconds;
}

void print_references(int all) {
  double load[3] = {0, 0, 0};
  if (getloadavg(load, 3) < 1) load[0] = -1.0;
  const double t1 = triad_gb_per_second(1), tn = triad_gb_per_second(all);
  const double f1 = face_terms_per_second(1), fn = face_terms_per_second(all);
  std::printf("machine references (load average %.2f):\n", load[0]);
  std::printf("  %-20s %10.1f GB/s %10.1f GB/s %8.2fx\n", "memory triad", t1, tn, tn / t1);
  std::printf("  %-20s %10.1f M/s  %10.1f M/s  %8.2fx\n", "Manning face term", f1 / 1e6, fn / 1e6, fn / f1);
}

}  // namespace

int main(int argc, char** argv) {
  // An optional argument shortens the simulated time (minutes) for quick looks.
  const double minutes = argc > 1 ? std::atof(argv[1]) : 10.0;
  const int all = omp_get_max_threads();
  std::printf("overland routing step, %d x %d cells, %g min simulated, cell-updates per second\n", rows, cols, minutes);
  print_references(all);
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
  print_references(all);
  return 0;
}
