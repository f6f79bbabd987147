// Speed of the Richards soil columns: 200 x 200 columns of 50 cm of
// Brooks-Corey soil on 1 cm nodes under 2 mm/h of rain for 1 h, in calls of
// 60 s. It prints what one column sub-step costs beside a plain tridiagonal
// solve of the same 50 rows timed in this run (a sub-step solves one such
// system and moves, and converts, the moisture of every node), and the
// column sub-steps per second with one thread and with all threads beside
// the plain solve looped over the same 40,000 columns with one and all
// threads: the speed-up that loop reaches bounds what the columns can reach
// on this machine.
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "framework/main_state.h"
#include "input/cell_arrays.h"
#include "subsurface/richards.h"
#include "subsurface/subsurface_steps.h"
#include "subsurface/tridiag_solve.h"

namespace {

using kavro::main_state;
using clock_type = std::chrono::steady_clock;

constexpr long side = 200, columns = side * side;
constexpr long rows = 50;  // the solved rows of a column

double seconds_since(clock_type::time_point t) { return std::chrono::duration<double>(clock_type::now() - t).count(); }

std::unique_ptr<main_state> make_columns(const std::filesystem::path& table) {
  auto ms = std::make_unique<main_state>();
  ms->n_cells = columns;
  ms->dx = 10.0;
  ms->quiet = 1;
  ms->richards_on = 1;
  ms->richards_c_option = 1;
  ms->richards_k_option = 2;
  ms->richards_upper_option = 1;
  ms->richards_iter_max = 1;
  ms->richards_weight = 1.0;
  ms->richards_dtheta_max = 0.0025;
  kavro::alloc_cell_arrays(*ms);
  ms->elevation.allocate(columns);
  for (long j = 1; j <= columns; ++j) {
    ms->elevation[j] = 100.0;
    ms->soiltype[j] = 1;
  }
  ms->soil_layer_input_file_path = table.string();
  ms->fs_soil_layer_input_file.open(ms->soil_layer_input_file_path, "r");
  kavro::setup_richards_columns(*ms);
  ms->fs_soil_layer_input_file.close();
  return ms;
}

struct column_run {
  double seconds = 0.0;
  long substeps = 0;
};

// One hour of 60 s calls under 2 mm/h.
column_run run_columns(const std::filesystem::path& table, int threads) {
  omp_set_num_threads(threads);
  auto ms = make_columns(table);
  column_run r;
  for (int call = 0; call < 60; ++call) {
    for (long j = 1; j <= columns; ++j) ms->ov_depth[j] += 0.2 / 100.0 / 60.0;
    const auto t = clock_type::now();
    kavro::richards_step(*ms, 60.0);
    r.seconds += seconds_since(t);
    for (long j = 1; j <= columns; ++j) r.substeps += ms->rich_substeps[j];
  }
  return r;
}

// A column's system: the rows of the soil at a wetting front.
void fill_system(double* sup, double* diag, double* sub, double* rhs) {
  for (long i = 1; i <= rows; ++i) {
    const double k = 0.01 + 0.5 * i / rows;
    sup[i] = -k;
    sub[i] = -0.9 * k;
    diag[i] = 1.9 * k + 0.4;
    rhs[i] = -30.0 + 0.5 * i;
  }
}

// Seconds per plain solve of one 50-row system, refilled before each solve.
double one_solve_seconds() {
  std::vector<double> sup(rows + 2), diag(rows + 2), sub(rows + 2), rhs(rows + 2);
  const long reps = 2000000;
  double sink = 0.0;
  const auto t = clock_type::now();
  for (long k = 0; k < reps; ++k) {
    fill_system(sup.data(), diag.data(), sub.data(), rhs.data());
    rhs[1] += 1e-9 * static_cast<double>(k & 7);
    kavro::tridiag_solve(1, rows, sup.data(), diag.data(), sub.data(), rhs.data());
    sink += rhs[rows / 2];
  }
  const double s = seconds_since(t) / static_cast<double>(reps);
  if (sink == 42.0) std::printf(" ");
  return s;
}

// Solves per second of the plain solve over the same columns, each column's
// system stored with the column as the soil tables are.
double solves_per_second(int threads) {
  omp_set_num_threads(threads);
  const std::size_t stride = rows + 2;
  std::vector<double> sup(columns * stride), diag(columns * stride), sub(columns * stride), rhs(columns * stride);
  const int sweeps = 20;
  double seconds = 0.0;
  for (int s = 0; s < sweeps; ++s) {
#pragma omp parallel for schedule(static)
    for (long c = 0; c < columns; ++c)
      fill_system(&sup[c * stride], &diag[c * stride], &sub[c * stride], &rhs[c * stride]);
    const auto t = clock_type::now();
#pragma omp parallel for schedule(static)
    for (long c = 0; c < columns; ++c)
      kavro::tridiag_solve(1, rows, &sup[c * stride], &diag[c * stride], &sub[c * stride], &rhs[c * stride]);
    seconds += seconds_since(t);
  }
  return static_cast<double>(columns) * sweeps / seconds;
}

}  // namespace

int main() {
  const std::filesystem::path table = std::filesystem::temp_directory_path() / "kavro_richards_bench_soil.tbl";
  {
    std::ofstream out(table);
    out << "1 0\n1\n";
    for (int d : {10, 20, 20}) out << "1.0 0.45 0.05 0.20 0.10 0.30 " << d << " 0.5 20 1\n";
  }
  const int all = omp_get_num_procs();
  const double solve_s = one_solve_seconds();
  const column_run one = run_columns(table, 1);
  const column_run many = run_columns(table, all);
  const double thomas_one = solves_per_second(1);
  const double thomas_all = solves_per_second(all);
  std::filesystem::remove(table);

  const double substep_s = one.seconds / static_cast<double>(one.substeps);
  std::printf("Richards columns: %ld columns of 51 nodes, 2 mm/h for 1 h in 60 s calls\n", columns);
  std::printf("  column sub-steps in the hour:        %12ld (%.1f per column per call)\n", one.substeps,
              static_cast<double>(one.substeps) / columns / 60.0);
  std::printf("  one column sub-step:                 %12.3f us\n", substep_s * 1e6);
  std::printf("  plain solve of its 50 rows:          %12.3f us\n", solve_s * 1e6);
  std::printf("  sub-step / plain solve:              %12.2f   (target at most 8)\n", substep_s / solve_s);
  const double rate_one = static_cast<double>(one.substeps) / one.seconds;
  const double rate_all = static_cast<double>(many.substeps) / many.seconds;
  std::printf("  column sub-steps per second, 1 thread:   %12.4g\n", rate_one);
  std::printf("  column sub-steps per second, %2d threads: %12.4g (speed-up %.2f)\n", all, rate_all,
              rate_all / rate_one);
  std::printf("  plain solves per second, 1 thread:       %12.4g\n", thomas_one);
  std::printf("  plain solves per second, %2d threads:     %12.4g (speed-up %.2f)\n", all, thomas_all,
              thomas_all / thomas_one);
  std::printf("  speed-up of the columns / of the solves: %12.2f   (target at least 0.8)\n",
              (rate_all / rate_one) / (thomas_all / thomas_one));
  return 0;
}
