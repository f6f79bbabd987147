#include "subsurface/terrain_passes.h"

#include <cmath>
#include <cstdio>

namespace kavro {
namespace {

constexpr int max_passes = 1000;

struct neighbour {
  int dr, dc;
  bool diagonal;
};
constexpr neighbour neighbours[8] = {{-1, 0, false}, {1, 0, false}, {0, -1, false}, {0, 1, false},
                                     {-1, -1, true}, {-1, 1, true}, {1, -1, true},  {1, 1, true}};

}  // namespace

terrain_pass_result terrain_passes(const imat& mask, int rows, int cols, int n_cells, const dvec& elevation,
                                   double dx) {
  terrain_pass_result out;
  const auto n = static_cast<std::size_t>(n_cells) + 1;
  out.area.assign(n, dx * dx);
  out.index.assign(n, 0.0);
  out.area[0] = 0.0;
  std::vector<char> done(n, 0);
  const auto cell_at = [&](int r, int c) -> int {
    if (r < 1 || c < 1 || r > rows || c > cols) return 0;
    const int k = mask[r][c];
    return k >= 1 && k <= n_cells ? k : 0;
  };
  const double side_width = 0.5 * dx, diag_width = 0.25 * std::sqrt(2.0) * dx;
  const double side_dist = dx, diag_dist = std::sqrt(2.0) * dx;
  int processed = 0;
  for (int pass = 1; pass <= max_passes && processed < n_cells; ++pass) {
    for (int c = 1; c <= cols; ++c) {
      for (int r = 1; r <= rows; ++r) {
        const int k = cell_at(r, c);
        if (k == 0 || done[static_cast<std::size_t>(k)]) continue;
        const double z = elevation[k];
        bool waiting = false;
        int lower[8];
        double w[8];
        int n_lower = 0;
        double sum_w = 0.0, rise = 0.0;
        int n_active = 0;
        for (const neighbour& nb : neighbours) {
          const int m = cell_at(r + nb.dr, c + nb.dc);
          if (m == 0) continue;
          const double dist = nb.diagonal ? diag_dist : side_dist;
          const double zn = elevation[m];
          ++n_active;
          rise += (zn - z) / dist;
          if (zn > z && !done[static_cast<std::size_t>(m)]) waiting = true;
          if (zn < z) {
            lower[n_lower] = m;
            w[n_lower] = (nb.diagonal ? diag_width : side_width) * (z - zn) / dist;
            sum_w += w[n_lower];
            ++n_lower;
          }
        }
        if (waiting) continue;
        const auto kk = static_cast<std::size_t>(k);
        if (n_lower > 0) {
          out.index[kk] = std::log(out.area[kk] / sum_w);
          for (int j = 0; j < n_lower; ++j) out.area[static_cast<std::size_t>(lower[j])] += out.area[kk] * w[j] / sum_w;
        } else {
          const double s = n_active > 0 ? rise / n_active : 0.0;
          if (s > 1e-8) {
            out.index[kk] = std::log(out.area[kk] / (2.0 * dx * s));
            if (s < 1e-6) std::printf("sslope<1.0e-6 in read_sacramento : %.10lf\n", s);
          } else {
            out.index[kk] = 0.333;
          }
        }
        done[kk] = 1;
        ++processed;
      }
    }
  }
  out.converged = processed >= n_cells;
  return out;
}

void print_terrain_pass_failure() {
  std::fputs(
      "You have specified TOPO_INDEX in your KAVRO project file.\n"
      "After 1000 iterative passes through the DEM to calculate\n"
      "the topographic index map, the routine has not succeeded.\n"
      "This is rediculous.  Your DEM must be of very poor quality.\n"
      "Please make your DEM more representative of nature in terms\n"
      "of flow paths, removing digital dams and pits.  If you do not\n"
      "want to do this, you can remove the TOPO_INDEX card from your\n"
      "KAVRO project file, and the KAVRO Sacramento Routine will the\n"
      "simply put its output into the channels uniformly.\n",
      stderr);
}

}  // namespace kavro
