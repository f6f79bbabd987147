// Speed of the two-dimensional aquifer solver on 1000 x 1000 cells of 100 m
// with a seeded conductivity over two decades and 1 % fixed heads. It prints
// (a) one line-relaxation sweep beside a plain five-point Jacobi sweep over
// the same six coefficient arrays and heads, one thread each (the target is
// at most 2.5 times the Jacobi sweep), (b) the five per-cell loops of one
// pass (sink terms, transmissivities, coefficients, head floor, boundary
// flux) on one and on all threads (the target is a speed-up of at least 4 on
// 8 threads), and (c) cells x steps per second of a
// 3600 s groundwater_flow call on one and on all threads, with the share of
// that call the line relaxation takes (it runs on one thread).
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "input/grid_connectivity.h"
#include "subsurface/groundwater_flow.h"

namespace {

using kavro::main_state;
using clock_type = std::chrono::steady_clock;

constexpr int side = 1000;

double seconds_since(clock_type::time_point t) {
  return std::chrono::duration<double>(clock_type::now() - t).count();
}

std::unique_ptr<main_state> make_aquifer() {
  auto owner = std::make_unique<main_state>();
  main_state& ms = *owner;
  ms.rows = ms.cols = ms.grid_rows = ms.grid_cols = side;
  ms.dx = 100.0;
  ms.quiet = 1;
  ms.gw_simulation_on = 1;
  ms.gw_relax_coeff = 1.0;
  ms.gw_lsor_con = 1e-5;
  ms.gw_lsor_dir = 1;
  ms.mask.allocate(side + 1, side + 1);
  long n = 0;
  for (int r = 1; r <= side; ++r)
    for (int c = 1; c <= side; ++c) ms.mask[r][c] = static_cast<int>(++n);
  ms.n_cells = static_cast<int>(n);
  for (kavro::ivec* v : {&ms.abovecon, &ms.belowcon, &ms.leftcon, &ms.rightcon}) v->allocate(n);
  kavro::build_cell_neighbours(side, side, ms.rightcon, ms.belowcon, ms.abovecon, ms.leftcon, ms.mask);
  ms.elevation.allocate(n);
  kavro::alloc_groundwater_work(ms);
  std::mt19937 rng(7u);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (long j = 1; j <= n; ++j) {
    ms.elevation[j] = 1000.0;
    ms.gw_hycond_x[j] = ms.gw_hycond_y[j] = 1e-5 * std::pow(10.0, 2.0 * u(rng));
    ms.gw_cell_dx[j] = ms.gw_cell_dy[j] = 100.0;
    ms.gw_porosity[j] = ms.gw_storage[j] = 0.2;
    ms.bottom_elev[j] = 0.0;
    ms.elevgw[j] = 20.0 + 5.0 * u(rng);
    ms.gwbound[j] = u(rng) < 0.01 ? 2 : 1;
  }
  return owner;
}

// One plain Jacobi sweep of the same system into `next`.
void jacobi_sweep(const main_state& ms, std::vector<double>& next) {
  const long n = ms.n_cells;
  for (long i = 1; i <= n; ++i) {
    double s = ms.gw_rhs[i];
    if (long a = ms.abovecon[i]) s -= ms.gw_coef_above[i] * ms.elevgw[a];
    if (long b = ms.belowcon[i]) s -= ms.gw_coef_below[i] * ms.elevgw[b];
    if (long l = ms.leftcon[i]) s -= ms.gw_coef_left[i] * ms.elevgw[l];
    if (long r = ms.rightcon[i]) s -= ms.gw_coef_right[i] * ms.elevgw[r];
    next[static_cast<std::size_t>(i)] = s / ms.gw_coef_diag[i];
  }
}

}  // namespace

int main() {
  const int all = omp_get_max_threads();
  auto owner = make_aquifer();
  main_state& ms = *owner;
  const long n = ms.n_cells;

  // (a) The system of a first pass: one groundwater call of 1 s leaves its
  // coefficients; time single sweeps on them.
  omp_set_num_threads(1);
  kavro::groundwater_flow(ms, n, 1.0);
  std::vector<double> heads(ms.elevgw.data(), ms.elevgw.data() + n + 1),
      next(static_cast<std::size_t>(n) + 1);
  const double tolerance = ms.gw_lsor_con;
  ms.gw_lsor_con = 1e300;  // one sweep per call
  const int repeats = 10;
  auto t = clock_type::now();
  for (int k = 0; k < repeats; ++k) kavro::gw_line_relaxation(ms);
  const double sweep = seconds_since(t) / repeats;
  t = clock_type::now();
  for (int k = 0; k < repeats; ++k) jacobi_sweep(ms, next);
  const double jacobi = seconds_since(t) / repeats;
  std::printf("(a) line-relaxation sweep %.4f s, plain Jacobi sweep %.4f s: ratio %.2f (target <= 2.5)\n",
              sweep, jacobi, sweep / jacobi);
  ms.gw_lsor_con = tolerance;
  std::copy(heads.begin(), heads.end(), ms.elevgw.data());

  // (b) The per-cell loops of one 3600 s pass from the same heads, without
  // the relaxation, on one and on all threads; both must give one volume.
  double loops[2] = {0, 0}, volume[2] = {0, 0};
  for (int pass = 0; pass < 2; ++pass) {
    omp_set_num_threads(pass == 0 ? 1 : all);
    std::copy(heads.begin(), heads.end(), ms.gw_head_start.data());
    volume[pass] = kavro::gw_pass_cell_loops(ms, n, 3600.0);  // warm-up
    t = clock_type::now();
    for (int k = 0; k < repeats; ++k) kavro::gw_pass_cell_loops(ms, n, 3600.0);
    loops[pass] = seconds_since(t) / repeats;
  }
  std::printf("(b) per-cell loops of a pass: %.4f s on 1 thread, %.4f s on %d threads: speed-up %.2f "
              "(target >= 4 on 8 threads)%s\n",
              loops[0], loops[1], all, loops[0] / loops[1],
              volume[0] == volume[1] ? "" : "; VOLUMES DIFFER between thread counts");
  std::copy(heads.begin(), heads.end(), ms.elevgw.data());

  // (c) One 3600 s call on one and on all threads from the same heads.
  double rate[2] = {0, 0};
  long sweeps = 0;
  for (int pass = 0; pass < 2; ++pass) {
    const int threads = pass == 0 ? 1 : all;
    omp_set_num_threads(threads);
    std::copy(heads.begin(), heads.end(), ms.elevgw.data());
    t = clock_type::now();
    kavro::groundwater_flow(ms, n, 3600.0);
    const double s = seconds_since(t);
    sweeps = ms.gw_sweeps_last;
    rate[pass] = static_cast<double>(n) / s;
    std::printf("(c) 3600 s call on %d thread(s): %.3f s, %.3g cells x steps per second\n", threads, s,
                rate[pass]);
  }
  std::printf(
      "    speed-up %.2f on %d threads; the last pass took %ld sweeps of %.4f s each on one thread "
      "(at least %.0f %% of the one-thread call)\n",
      rate[1] / rate[0], all, sweeps, sweep, 100.0 * sweeps * sweep * rate[0] / static_cast<double>(n));
  return kavro::error_rec.code == 0 ? 0 : 1;
}
