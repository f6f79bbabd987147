// Speed of terrain shading: the shade mask of one day (24 hours, mid-April
// at latitude 40) on 500 x 500 cells of 30 m over seeded hills, with one
// thread and with all threads, in ray-walk steps per second (a step: one
// grid cell visited on the way toward the sun).
//
// Beside it, measured in the same run with one and with all threads, the
// reference: a loop doing the arithmetic of each walk's steps (offsets of
// the nearest cell, their rounding, the rise of the ray) for the same step
// counts, cell by cell and hour by hour, without reading the grid. The mask
// adds to it only the reads of the elevation grid and the test against the
// terrain. Targets: the mask's speed-up with all threads at least 0.8 x the
// reference's; one thread at least 0.25 x the reference's steps per second.
#include <omp.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "framework/alloc.h"
#include "framework/main_state.h"
#include "hydromet/shade_walk.h"
#include "hydromet/solar_geometry.h"

namespace {

using kavro::main_state;
using clock_type = std::chrono::steady_clock;

constexpr int rows = 500, cols = 500;
constexpr double dx = 30.0;
constexpr double latitude = 40.0;
constexpr double pi_8 = 3.14159265;

double seconds_since(clock_type::time_point t) {
  return std::chrono::duration<double>(clock_type::now() - t).count();
}

std::unique_ptr<main_state> make_hills() {
  auto ms = std::make_unique<main_state>();
  ms->rows = ms->grid_rows = ms->map_rows = rows;
  ms->cols = ms->grid_cols = ms->map_cols = cols;
  ms->n_cells = rows * cols;
  ms->dx = dx;
  ms->mask.allocate(rows + 1, cols + 1);
  ms->cell_row.grow(ms->n_cells);
  ms->cell_col.grow(ms->n_cells);
  ms->elevation.allocate(ms->n_cells);
  kavro::alloc_cmat(ms->cell_hour_flags, ms->n_cells, 23, "cell_hour_flags");
  std::mt19937 rng(500500);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  struct hill {
    double r, c, height, width;
  };
  std::vector<hill> hills;
  for (int k = 0; k < 60; ++k) hills.push_back({rows * u(rng), cols * u(rng), 100 + 600 * u(rng), 8 + 40 * u(rng)});
  int n = 0;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) {
      ms->mask[r][c] = ++n;
      ms->cell_row[n] = r;
      ms->cell_col[n] = c;
      double z = 1000.0;
      for (const hill& h : hills)
        z += h.height * std::exp(-((r - h.r) * (r - h.r) + (c - h.c) * (c - h.c)) / (2 * h.width * h.width));
      ms->elevation[n] = z;
    }
  return ms;
}

// The sun of each hour of the day.
struct day_suns {
  std::array<kavro::shade_sun, 24> sun;
  std::array<bool, 24> night{};
};

day_suns suns_of(double decl) {
  day_suns d;
  const double phi = latitude * pi_8 / 180.0;
  for (int i = 0; i < 24; ++i) {
    const double h = kavro::hour_angle(i);
    const double zenith = std::acos(std::cos(phi) * std::cos(decl) * std::cos(h) + std::sin(phi) * std::sin(decl));
    d.sun[i] = kavro::shade_sun_of(zenith, kavro::solar_azimuth(latitude, h, decl));
    d.night[i] = zenith > 1.570796325;
  }
  return d;
}

// The steps of every walk of the day, per cell and hour.
std::vector<int> walk_steps(main_state& ms, const day_suns& d) {
  const kavro::shade_grid g = kavro::shade_grid_of(ms);
  std::vector<int> steps(static_cast<std::size_t>(ms.n_cells + 1) * 24, 0);
#pragma omp parallel for schedule(static)
  for (long j = 1; j <= ms.n_cells; ++j)
    for (int i = 0; i < 24; ++i) {
      if (d.night[i]) continue;
      long k = 0;
      kavro::shade_ray_walk(g, d.sun[i], ms.cell_row[j], ms.cell_col[j], k);
      steps[static_cast<std::size_t>(j) * 24 + i] = static_cast<int>(k);
    }
  return steps;
}

// The reference: the walk's per-step arithmetic for the same step counts.
double reference_pass(const main_state& ms, const day_suns& d, const std::vector<int>& steps) {
  double sink = 0.0;
  const double z0 = 1000.0, top = 1e30;
#pragma omp parallel for schedule(static) reduction(+ : sink)
  for (long j = 1; j <= ms.n_cells; ++j) {
    const int r = ms.cell_row[j], c = ms.cell_col[j];
    for (int i = 0; i < 24; ++i) {
      const kavro::shade_sun& s = d.sun[i];
      const int n = steps[static_cast<std::size_t>(j) * 24 + i];
      double acc = 0.0;
      for (long k = 1; k <= n; ++k) {
        const double x = static_cast<double>(k) * s.a, y = static_cast<double>(k) * s.b;
        const int ry = kavro::shade_round(std::fabs(y)), cx = kavro::shade_round(std::fabs(x));
        const int R = y < 0 ? -ry : ry, C = x < 0 ? -cx : cx;
        const double ray = kavro::shade_ray_rise(s, dx * static_cast<double>(k) * s.length) + z0;
        if (ray > top) break;
        const double dy = std::fabs(y - R), dxc = std::fabs(x - C);
        acc += ray + (r + R) + (c + C) + (dy > dxc ? dy : dxc);
      }
      sink += acc;
    }
  }
  return sink;
}

struct timing {
  double mask_seconds = 0.0, reference_seconds = 0.0;
};

// Best of `repeats` for each of the two, alternating.
timing measure(main_state& ms, const day_suns& d, double decl, const std::vector<int>& steps, int threads,
               int repeats, double& sink) {
  omp_set_num_threads(threads);
  timing best{1e30, 1e30};
  for (int k = 0; k < repeats; ++k) {
    auto t = clock_type::now();
    kavro::solar_hourly_geometry(ms, latitude, decl);
    best.mask_seconds = std::min(best.mask_seconds, seconds_since(t));
    t = clock_type::now();
    sink += reference_pass(ms, d, steps);
    best.reference_seconds = std::min(best.reference_seconds, seconds_since(t));
  }
  return best;
}

}  // namespace

int main() {
  const int all = omp_get_max_threads();
  auto ms = make_hills();
  const double decl = kavro::solar_declination(105);
  const day_suns d = suns_of(decl);
  const std::vector<int> steps = walk_steps(*ms, d);
  double total = 0.0;
  for (int s : steps) total += s;
  long shaded = 0;
  kavro::solar_hourly_geometry(*ms, latitude, decl);
  for (long j = 1; j <= ms->n_cells; ++j)
    for (int i = 0; i < 24; ++i) shaded += !d.night[i] && ms->cell_hour_flags[j][i];
  std::printf("shade mask of one day: %d x %d cells of %.0f m, %.3g ray-walk steps, %ld daylight cell-hours shaded by "
              "terrain\n",
              rows, cols, dx, total, shaded);
  double sink = 0.0;
  const timing one = measure(*ms, d, decl, steps, 1, 2, sink);
  const timing many = measure(*ms, d, decl, steps, all, 3, sink);
  const double mask_1 = total / one.mask_seconds, mask_n = total / many.mask_seconds;
  const double ref_1 = total / one.reference_seconds, ref_n = total / many.reference_seconds;
  std::printf("                    1 thread steps/s   %2d threads steps/s   speed-up\n", all);
  std::printf("shade mask          %16.3e   %18.3e   %8.2f\n", mask_1, mask_n, mask_n / mask_1);
  std::printf("reference (no grid) %16.3e   %18.3e   %8.2f\n", ref_1, ref_n, ref_n / ref_1);
  std::printf("mask speed-up / reference speed-up: %.2f (target >= 0.8)\n", (mask_n / mask_1) / (ref_n / ref_1));
  std::printf("mask 1-thread rate / reference 1-thread rate: %.2f (target >= 0.25)\n", mask_1 / ref_1);
  std::printf("(checksum %.6g)\n", sink);
  return 0;
}
