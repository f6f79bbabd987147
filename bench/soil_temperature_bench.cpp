// Speed of the permafrost soil temperatures: 200 x 200 permafrost cells of
// 101 nodes (every 0.1 m to 10 m), 24 hourly solves under air at 5 C, once
// from a thawed profile (10 C) and once from a frozen one (-1 C, the thaw
// front then crosses the freezing band and the solves take more passes).
// It prints cells x solves per second with one thread and with all threads
// beside a plain Thomas solve of 101 rows per cell on the same arrays, timed
// in this run: a solve's cost in plain solves, and the all-thread speed-up
// beside the one the plain loop reaches on this machine.
#include <omp.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "framework/alloc.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "hydromet/permafrost_setup.h"
#include "hydromet/soil_temperature.h"
#include "subsurface/tridiag_solve.h"

namespace {

using kavro::main_state;
using clock_type = std::chrono::steady_clock;

constexpr long side = 200, cells = side * side;
constexpr int nodes = 101, solves = 24;

double seconds_since(clock_type::time_point t) { return std::chrono::duration<double>(clock_type::now() - t).count(); }

void write(const std::filesystem::path& p, const std::string& text) { std::ofstream(p) << text; }

std::unique_ptr<main_state> make_cells(const std::filesystem::path& dir) {
  std::string z = "ID 1\n";
  for (int i = 0; i < nodes; ++i) z += std::to_string(i * 0.1) + "\n";
  write(dir / "ti.txt", "ID 1\n0 0\n10 0\n");
  write(dir / "zn.txt", z);
  write(dir / "zo.txt", "ID 1\n");
  std::string type = "1 soil";
  type.resize(90, ' ');
  write(dir / "m.cmt", "NUM_IDS 1\nMAX_NUMBER_LAYERS 1\nMAX_INIT_PT 2\nMAX_DN 101\nINIT_TEMP_FILE " +
                           (dir / "ti.txt").string() + "\nDEPTH_NODE_FILE " + (dir / "zn.txt").string() +
                           "\nOUTPUT_NODE_FILE " + (dir / "zo.txt").string() + "\nID DESCRIPTION\n" + type +
                           "1  2  101  0  50.0  0.0  0.3  0.0  0.0  1.0  0.0  1.5  2.0  2000000.0\n");
  auto ms = std::make_unique<main_state>();
  ms->n_cells = cells;
  kavro::file_wrapper in;
  in.open((dir / "m.cmt").string(), "r");
  kavro::read_permafrost_soil_file(in, ms->permafrost_layer_soil, cells);
  kavro::alloc_ivec(ms->permaf_mask, cells, "permaf_mask");
  kavro::alloc_ivec(ms->KOTU_soiltype, cells, "KOTU_soiltype");
  kavro::alloc_dmat_zero(ms->perma_tem, cells, nodes, "perma_tem");
  for (long c = 1; c <= cells; ++c) {
    ms->permaf_mask[c] = 1;
    ms->KOTU_soiltype[c] = 1;
  }
  ms->hmet_record.hmet_air_temp = 5.0;
  return ms;
}

// Cells x solves per second of the soil-temperature solve from `start` C.
double solver_rate(main_state& ms, double start, int threads) {
  omp_set_num_threads(threads);
  for (long c = 1; c <= cells; ++c)
    for (int j = 1; j <= nodes; ++j) ms.perma_tem[c][j] = start;
  const auto t = clock_type::now();
  for (int k = 0; k < solves; ++k) kavro::soil_temperature_solve(ms, 3600.0);
  return static_cast<double>(cells) * solves / seconds_since(t);
}

// Cells x solves per second of a plain Thomas solve of the same 101 rows,
// its system made from each cell's profile in the same arrays.
double thomas_rate(main_state& ms, int threads) {
  omp_set_num_threads(threads);
  const int nt = std::max(1, omp_get_max_threads());
  std::vector<std::vector<double>> work(static_cast<std::size_t>(nt), std::vector<double>(4 * (nodes + 2)));
  const auto t = clock_type::now();
  for (int k = 0; k < solves; ++k) {
#pragma omp parallel for schedule(static)
    for (long c = 1; c <= cells; ++c) {
      double* w = work[static_cast<std::size_t>(omp_get_thread_num())].data();
      double *sup = w, *diag = w + nodes + 2, *sub = w + 2 * (nodes + 2), *rhs = w + 3 * (nodes + 2);
      double* temp = ms.perma_tem[c];
      for (int j = 1; j <= nodes; ++j) {
        sup[j] = -0.1;
        sub[j] = -0.1;
        diag[j] = 1.2;
        rhs[j] = temp[j];
      }
      kavro::tridiag_solve(1, nodes, sup, diag, sub, rhs);
      for (int j = 1; j <= nodes; ++j) temp[j] = rhs[j];
    }
  }
  return static_cast<double>(cells) * solves / seconds_since(t);
}

}  // namespace

int main() {
  const auto dir = std::filesystem::temp_directory_path() / ("kavro_soil_temperature_bench_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  kavro::set_output_folder(dir.string());  // the solver's listing goes there
  auto ms = make_cells(dir);
  const int all = omp_get_max_threads();
  const double thomas1 = thomas_rate(*ms, 1), thomas_all = thomas_rate(*ms, all);
  const double thawed1 = solver_rate(*ms, 10.0, 1), thawed_all = solver_rate(*ms, 10.0, all);
  const double frozen1 = solver_rate(*ms, -1.0, 1), frozen_all = solver_rate(*ms, -1.0, all);
  std::printf("soil temperature: %ld cells of %d nodes, %d hourly solves, %d threads at most\n", cells, nodes, solves,
              all);
  std::printf("  plain Thomas solve of %d rows: %12.0f cells x solves/s on 1 thread, %12.0f on %d (speed-up %.2f)\n",
              nodes, thomas1, thomas_all, all, thomas_all / thomas1);
  for (const auto& [what, one, many, target] :
       {std::tuple{"thawed", thawed1, thawed_all, 4.0}, std::tuple{"frozen", frozen1, frozen_all, 12.0}}) {
    std::printf("  %s profile: %12.0f cells x solves/s on 1 thread (%.2f plain solves each, target <= %.0f), "
                "%12.0f on %d (speed-up %.2f, %.2f of the plain loop's, target >= 0.8)\n",
                what, one, thomas1 / one, target, many, all, many / one, (many / one) / (thomas_all / thomas1));
  }
  std::filesystem::remove_all(dir);
  return 0;
}
