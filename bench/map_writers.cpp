// Writing a 2,000 x 2,000 grid, every cell active, in each map layout, beside
// the same values written with one fprintf("%f ") per value in the same run.
// Seconds are the best of three; the ratios are the figures that matter
// (target: text layouts at most 0.4, the binary frame at most 0.05).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include <unistd.h>

#include "framework/one_based.h"
#include "input/ascii_map.h"
#include "output/grid_writers.h"

namespace {

using kavro::dvec;
using kavro::imat;

constexpr int rows = 2000, cols = 2000;

double best_of_three(const std::string& path, const char* mode, const std::function<void(std::FILE*)>& write) {
  double best = 1e30;
  for (int k = 0; k < 3; ++k) {
    const auto t0 = std::chrono::steady_clock::now();
    std::FILE* f = std::fopen(path.c_str(), mode);
    if (f == nullptr) {
      std::fprintf(stderr, "cannot create %s\n", path.c_str());
      std::exit(1);
    }
    write(f);
    std::fclose(f);
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  return best;
}

}  // namespace

int main() {
  const auto dir = std::filesystem::temp_directory_path() / ("kavro_bench_maps_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  imat mask{"mask"};
  mask.allocate(rows, cols);
  dvec values{"values"};
  values.allocate(static_cast<long>(rows) * cols);
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) mask[r][c] = 1;
  // Depths of a few centimetres to a few metres with full six-decimal tails.
  for (long k = 1; k <= values.size(); ++k) values[k] = 0.001 * static_cast<double>((k * 7919) % 1000003) / 3.0;
  const kavro::grid_frame g{&mask, 20000, 0, 20000, 0, rows, cols, 10};
  kavro::row_buffer buf;

  const double reference = best_of_three((dir / "reference.txt").string(), "w", [&](std::FILE* f) {
    long n = 0;
    for (int r = 1; r <= rows; ++r) {
      for (int c = 1; c <= cols; ++c) std::fprintf(f, "%f ", values[++n]);
      std::fputc('\n', f);
    }
  });
  struct layout {
    const char* name;
    const char* mode;
    std::function<void(std::FILE*)> write;
    double target;
  };
  const layout layouts[] = {
      {"ESRI ASCII grid", "w", [&](std::FILE* f) { kavro::write_esri_ascii_grid(f, g, values, buf); }, 0.4},
      {"ASCII map", "w", [&](std::FILE* f) { kavro::write_ascii_map(f, mask, 20000, 0, 20000, 0, rows, cols, values); },
       0.4},
      {"ASCII dataset frame", "w", [&](std::FILE* f) { kavro::write_dataset_frame(f, 1.0, g, values, false, buf); }, 0.4},
      {"binary dataset frame", "wb", [&](std::FILE* f) { kavro::write_dataset_frame(f, 1.0, g, values, true, buf); },
       0.05},
  };
  std::printf("map writers, %d x %d grid, best of three\n", rows, cols);
  std::printf("  %-22s %8.3f s (reference: one fprintf(\"%%f \") per value)\n", "reference", reference);
  for (const layout& l : layouts) {
    const double t = best_of_three((dir / "layout.out").string(), l.mode, l.write);
    std::printf("  %-22s %8.3f s  ratio %.3f  (target <= %.2f)\n", l.name, t, t / reference, l.target);
  }
  std::filesystem::remove_all(dir);
  return 0;
}
