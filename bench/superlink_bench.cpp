// Speed of the superlink solver: a dendritic network of 300 superjunctions
// (a binary tree draining to an outlet onto a cell) joined by 299 superlinks
// of 6 reaches, every junction a grate inlet on a wet cell, one step of 10 s
// repeated. Each sub-step factors the dense 300 x 300 junction matrix; the
// reference is that factorisation and substitution of the same matrix timed
// alone in the same run. Printed: the time of a sub-step, of the LU alone,
// of everything else, their ratio (target at most 0.5), and the allocations
// made by the timed steps (target none), counted by wrapping the C
// allocation functions that operator new also goes through.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "channel/channel_steps.h"
#include "channel/pipe_networks.h"
#include "framework/error_record.h"
#include "framework/main_state.h"

extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
}

namespace {
std::atomic<long> allocations{0};
}

extern "C" void* malloc(std::size_t n) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(n);
}
extern "C" void* calloc(std::size_t n, std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, std::size_t n) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(p, n);
}

namespace {

using clock_type = std::chrono::steady_clock;
constexpr int n_junctions = 300;
constexpr int reaches = 6;
constexpr double dt = 10.0;

double seconds_since(clock_type::time_point t) {
  return std::chrono::duration<double>(clock_type::now() - t).count();
}

int level_of(int j) {
  int level = 0;
  while (j > 1) j /= 2, ++level;
  return level;
}

// Junction j drains to j / 2; junction 1 is the outlet onto cell 1.
std::string tree_network() {
  // Each superlink falls 0.6 m to the junction it drains to.
  const auto invert = [&](int j) { return 100.0 + 0.6 * level_of(j); };
  std::string s;
  char line[256];
  for (int j = 1; j <= n_junctions; ++j) {
    std::snprintf(line, sizeof line, "SJUNC %d %.3f %.3f 2.0 %d 1 %d 0.6 0.5\n", j, invert(j) + 3.0, invert(j),
                  j == 1 ? 888 : 1, j);
    s += line;
  }
  for (int j = 2; j <= n_junctions; ++j) {
    std::snprintf(line, sizeof line, "CONNECT %d %d %d\nSLINK %d %d\n", j - 1, j, j / 2, j - 1, reaches);
    s += line;
    for (int k = 1; k <= reaches + 1; ++k) {
      const double z = invert(j) - 0.1 * (k - 1);
      std::snprintf(line, sizeof line, "NODE %d %.3f %.3f 0.0 0 1 %d 0 0\n", k, z + 3.0, z, j);
      s += line;
    }
    for (int k = 1; k <= reaches; ++k) {
      std::snprintf(line, sizeof line, "PIPE %d 1 0.5 0.5 0.005 0.013 20.0\n", k);
      s += line;
    }
  }
  return s;
}

std::unique_ptr<kavro::main_state> make_network(const std::filesystem::path& dir) {
  auto ms = std::make_unique<kavro::main_state>();
  ms->rows = 1;
  ms->cols = n_junctions;
  ms->dx = 10.0;
  ms->quiet_on = 1;
  ms->mask.allocate(1, n_junctions);
  for (int c = 1; c <= n_junctions; ++c) ms->mask[1][c] = c;
  ms->n_cells = n_junctions;
  ms->ov_depth.allocate(n_junctions);
  ms->elevation.allocate(n_junctions);
  std::ofstream(dir / "tree.txt") << tree_network();
  ms->storm_sewer_on = 1;
  ms->storm_sewer_path = (dir / "tree.txt").string();
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  kavro::setup_superlink(*ms);
  kavro::connect_superlink_outlets(*ms);
  std::filesystem::current_path(old);
  if (kavro::error_rec.code != 0) {
    std::printf("the network was refused\n");
    std::exit(1);
  }
  return ms;
}

void wet_cells(kavro::main_state& ms) {
  for (int c = 2; c <= n_junctions; ++c) ms.ov_depth[c] = 0.002;
}

}  // namespace

int main() {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "kavro_superlink_bench";
  std::filesystem::create_directories(dir);
  auto ms = make_network(dir);
  kavro::superlink_step_volumes v;
  int call = 0;
  // Warm up to a flowing network.
  for (; call < 60; ++call) {
    wet_cells(*ms);
    kavro::superlink_route(*ms, call, dt, v);
  }
  // The reference: the junction matrix of a sub-step factored and solved
  // alone. Solver steps and references alternate, and the fastest of each
  // is kept, so that a busy machine slows neither more than the other.
  kavro::superlink_work& w = ms->sl_work;
  const int n = ms->n_sl_junctions;
  kavro::dmat matrix{"matrix"};
  kavro::dvec b{"b"};
  matrix.allocate(n, n);
  b.allocate(n);
  const int rounds = 60;
  long substeps = 0, allocated = 0;
  double best_substep = 1e9, best_lu = 1e9;
  for (int r = 0; r < rounds; ++r, ++call) {
    wet_cells(*ms);
    const long before = allocations.load();
    auto t = clock_type::now();
    kavro::superlink_route(*ms, call, dt, v);
    const double step = seconds_since(t);
    allocated += allocations.load() - before;
    substeps += v.substeps;
    best_substep = std::min(best_substep, step / v.substeps);
    kavro::assemble_junction_matrix(*ms, std::min(w.courant_s, dt));
    std::memcpy(matrix.data(), w.F.data(), w.F.cell_count() * sizeof(double));
    for (int j = 1; j <= n; ++j) b[j] = w.rhs[j];
    t = clock_type::now();
    kavro::ludcmp_pzq(matrix, n, w.pivot, w.scale);
    kavro::lubksb(matrix, n, w.pivot, b);
    best_lu = std::min(best_lu, seconds_since(t));
  }
  const double rest = best_substep - best_lu;
  std::printf("superlink network: %d junctions, %d superlinks of %d reaches; %d steps of %.0f s, %ld sub-steps\n",
              n, ms->n_sl_links, reaches, rounds, dt, substeps);
  std::printf("  sub-step of the solver (fastest):    %10.1f us\n", best_substep * 1e6);
  std::printf("  LU factorisation and substitution:   %10.1f us (reference, the same matrix timed alone, fastest)\n",
              best_lu * 1e6);
  std::printf("  everything but the LU:               %10.1f us = %.3f x the LU (target at most 0.5)\n", rest * 1e6,
              rest / best_lu);
  std::printf("  allocations in %d timed steps:       %10ld (target 0)\n", rounds, allocated);
  std::filesystem::remove_all(dir);
  return 0;
}
