#include <algorithm>
#include <cmath>

#include "framework/main_state.h"
#include "overland/held_depth.h"
#include "overland/overland_flow.h"

namespace kavro {

namespace {

// What holds the water on one side of an embankment.
enum class side_kind { plain, boundary, overland_lake, channel_lake };

struct dike_side {
  int cell = 0;
  side_kind kind = side_kind::plain;
  int lake = 0;        // lake number of a lake side
  double level = 0.0;  // water-surface elevation (m)
};

dike_side classify(const main_state& ms, int cell) {
  dike_side s;
  s.cell = cell;
  s.level = ms.elevation[cell] + ms.ov_depth[cell];
  if (ms.lakes_on && ms.lake_mask && ms.lake_mask[cell] >= 1) {
    s.kind = side_kind::channel_lake;
    s.lake = ms.lake_mask[cell];
    s.level = ms.lake_elev[s.lake];
  } else if (ms.overland_lake_on && ms.oland_lake_new && ms.oland_lake_new[cell] > 0) {
    s.kind = side_kind::overland_lake;
    s.lake = ms.oland_lake_new[cell];
    s.level = ms.olake_table[s.lake].level;
  } else if (is_held_depth_cell(ms, cell)) {
    s.kind = side_kind::boundary;
  }
  return s;
}

// The cell across `direction` (1 up, 2 right, 4 down, 8 left), 0 for none.
int far_cell(const main_state& ms, int row, int col, int direction) {
  switch (direction) {
    case 1: row -= 1; break;
    case 2: col += 1; break;
    case 4: row += 1; break;
    case 8: col -= 1; break;
    default: return 0;
  }
  if (row < 0 || col < 0 || row > ms.mask.size1() || col > ms.mask.size2()) return 0;
  return ms.mask[row][col];
}

}  // namespace

double dike_submergence(double h1, double h2) {
  if (!(h1 > 0.0)) return 0.0;
  const double r = std::pow(h2 / h1, 1.5);
  if (r <= 0.76) return 1.0;
  if (r <= 0.80) return 1.0 + (r - 0.76) / 0.04 * (0.947 - 1.0);
  if (r <= 0.95) return 0.947 + (r - 0.80) / 0.15 * (0.75 - 0.947);
  if (r < 1.0) return 0.75 + (r - 0.95) / 0.05 * (0.0 - 0.75);
  return 0.0;
}

void dike_flow(main_state& ms, double dt, double& vol_into_boundary, double& vol_from_boundary) {
  const double dx = ms.dx, area = dx * dx;
  const long n_spots = std::min<long>(ms.n_low_spots, ms.low_spots.size());
  for (long s = 1; s <= n_spots; ++s) {
    low_spot& spot = ms.low_spots[s];
    if (spot.row < 0 || spot.col < 0 || spot.row > ms.mask.size1() || spot.col > ms.mask.size2()) continue;
    const int near = ms.mask[spot.row][spot.col];
    const int far = far_cell(ms, spot.row, spot.col, spot.direction);
    if (near <= 0 || far <= 0) continue;
    const dike_side a = classify(ms, near), b = classify(ms, far);
    // Levels within a millimetre, or both below the crest, pass nothing.
    if (std::fabs(a.level - b.level) <= 0.001) continue;
    if (a.level <= spot.crest_elev && b.level <= spot.crest_elev) continue;
    if (ms.low_spot_flow_cell) ms.low_spot_flow_cell[near] = ms.low_spot_flow_cell[far] = 1;
    const dike_side& up = a.level > b.level ? a : b;
    const dike_side& down = a.level > b.level ? b : a;
    const double h1 = up.level - spot.crest_elev;
    const double h2 = std::max(0.0, down.level - spot.crest_elev);
    const double factor = h2 / h1 >= 0.75 ? dike_submergence(h1, h2) : 1.0;
    // Broad-crested weir over the spot's share of the cell side.
    const double q = 1.48 * factor * std::pow(h1, 1.5) * spot.width_fraction * dx;
    spot.flow = q;
    double v = q * dt;
    double d = v / area;

    switch (up.kind) {
      case side_kind::plain:
        d = std::min({d, h1, ms.ov_depth[up.cell]});
        ms.ov_depth[up.cell] -= d;
        break;
      case side_kind::boundary: vol_from_boundary += d * area; break;
      case side_kind::overland_lake: ms.olake_table[up.lake].step_inflow -= d * area; break;
      case side_kind::channel_lake:
        v = std::min(v, ms.lake_volume[up.lake]);
        ms.lake_out_dv[up.lake] += v;
        ms.lake_volume[up.lake] -= v;
        d = v / area;
        break;
    }
    switch (down.kind) {
      case side_kind::plain: ms.ov_depth[down.cell] += d; break;
      case side_kind::boundary: vol_into_boundary += d * area; break;
      case side_kind::overland_lake: ms.olake_table[down.lake].step_inflow += d * area; break;
      case side_kind::channel_lake:
        ms.lake_in_dv[down.lake] += d * area;
        ms.lake_volume[down.lake] += d * area;
        break;
    }
    // Depths never end below 0; water made by the clip is booked.
    for (int c : {near, far}) {
      if (ms.ov_depth[c] < 0.0) {
        ms.ov_cleanup_error_total += -ms.ov_depth[c] * area;
        ms.ov_depth[c] = 0.0;
      }
    }
  }
}

}  // namespace kavro
