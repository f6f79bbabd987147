// Exchange between the aquifer and the leaky pipes of the pipe networks:
// steady drain-spacing formulas for the inflow of a water table standing
// above a pipe, with the pipe's equivalent depth to the aquifer bottom.
#include "subsurface/tile_exchange.h"

#include <cmath>
#include <string>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/readers.h"

namespace kavro {
namespace {

// The drain formulas were fitted with pi taken as 3.14.
constexpr double pi_fit = 3.14;
constexpr double two_pi_fit = 6.28;
constexpr double eight_over_pi_fit = 2.5477707006369426;
// A frozen-ground index above this closes the soil around a pipe in long-term runs.
constexpr double tile_frost_limit = 83.0;

constexpr int pipe_below_aquifer_code = 131;
constexpr int tile_nan_code = 133;

// One pipe crossing of a cell: its reach between nodes u and v, the node
// whose pipe properties apply, and the water table over it.
struct crossing {
  int link = 0, node = 0, cell = 0;
  int u = 0, v = 0, pipe = 0;
  double share = 0;   // of the pipe's length that lies in the cell
  double invert = 0;  // pipe invert under the cell (m)
  double level = 0;   // water level in the pipe (m)
  double head = 0;    // aquifer head of the cell (m)
  double k = 0;       // pipe conductivity (m/h)
  double spacing = 0; // drain spacing (m)
};

// Ground of the cell a node stands in; the crossing cell's own when the
// node lies outside the grid.
double node_ground(const main_state& ms, const tile_network_view& net, int node, int link, double own) {
  const int c = (*net.node_gnum)[node][link];
  return c >= 1 ? ms.elevation[c] : own;
}

// The crossing of entry e of grid-pipe cell i; false when the entry names
// the last node of its link (no pipe runs on from it) or is frozen shut.
bool read_crossing(const main_state& ms, const tile_network_view& net, int i, int e, crossing& x) {
  x.link = (*net.gpi_link)[i][e];
  x.node = (*net.gpi_node)[i][e];
  x.cell = (*net.gpi_gnum)[i][e];
  x.share = (*net.gpi_pct)[i][e];
  if (x.link < 1 || x.node < 1 || x.node > (*net.nnodes)[x.link] || x.cell < 1) return false;
  if (ms.long_term_on && ms.cfgi_on && x.cell <= ms.cfgi_value.size() && ms.cfgi_value[x.cell] > tile_frost_limit)
    return false;
  if (net.c_opt_on) {
    x.u = (*net.otc_node)[x.node][x.link];
    x.v = (*net.otc_node)[x.node + 1][x.link];
    x.pipe = (*net.otc_pipe)[x.node][x.link];
  } else {
    x.u = x.node;
    x.v = x.node + 1;
    x.pipe = x.node;
  }
  const double g = ms.elevation[x.cell];
  const dmat& zinv = *net.node_invert;
  const dmat& depth = *net.node_depth;
  const double cover_u = node_ground(ms, net, x.u, x.link, g) - zinv[x.u][x.link];
  const double cover_v = node_ground(ms, net, x.v, x.link, g) - zinv[x.v][x.link];
  x.invert = g - (cover_u + cover_v) / 2.0;
  x.level = x.invert + (depth[x.u][x.link] + depth[x.v][x.link]) / 2.0;
  x.head = ms.elevgw[x.cell];
  x.k = (*net.conductivity)[x.pipe][x.link] / 100.0;  // cm/h to m/h
  x.spacing = (*net.spacing)[x.pipe][x.link];
  return true;
}

// Inflow (m3/s) of a pipe of the given diameter at depth d above the
// aquifer bottom under a head `rise` above its water level.
double drain_inflow(bool drainmod, double d, double rise, double k, double spacing, double diameter) {
  const double r = diameter * 0.5;
  if (drainmod) {
    const double ratio = d / spacing;
    double de;
    if (ratio >= 0.3) {
      de = pi_fit * spacing / (8.0 * (std::log(spacing / r) - 1.15));
    } else {
      const double alpha = 3.55 - 1.6 * ratio + 2.0 * ratio * ratio;
      de = d / (1.0 + ratio * (eight_over_pi_fit * std::log(d / r) - alpha));
    }
    return ((8.0 * k * de * rise + 4.0 * k * rise * rise) / (spacing * spacing)) * (pi_fit * diameter / 3600.0);
  }
  const double half = spacing / 2.0;
  const double x = two_pi_fit * d / half;
  double f = 0.0;
  for (const int m : {2, 6, 10}) {
    const double e = std::exp(-m * x);
    f += 4.0 * e / (1.0 - e);
  }
  const double de = (pi_fit * half / 8.0) / (std::log(half / (pi_fit * r)) + f);
  return (2.0 * de * rise + rise * rise) * k / half * 2.0 / 3600.0;
}

int tile_failure(int code, const std::string& text) {
  print_and_log(run_log_file, text);
  error_rec.code = code;
  error_rec.int1 = 1;
  return 1;
}

}  // namespace

int gw_tile_exchange(main_state& ms, tile_network_view& net) {
  if (net.gpi_ncellsingrid == nullptr || net.gpi_ncellsingrid->empty()) return 0;
  const ivec& entries = *net.gpi_ncellsingrid;
  crossing x;
  bool below = false;
  for (int i = 1; i <= net.gpi_num_cells && !below; ++i)
    for (int e = 1; e <= entries[i]; ++e)
      if (read_crossing(ms, net, i, e, x) && x.head > x.level && x.k > 1e-16) {
        below = true;
        break;
      }
  if (!below) return 0;
  for (int i = 1; i <= net.gpi_num_cells; ++i)
    for (int e = 1; e <= entries[i]; ++e) {
      if (!read_crossing(ms, net, i, e, x)) continue;
      if (!(x.head - x.level > 1e-16) || x.k < 1e-16 || x.spacing < 1e-16) continue;
      const double d = x.invert - ms.bottom_elev[x.cell];
      if (d < 0)
        return tile_failure(pipe_below_aquifer_code,
                            format_string("\n Node elevation must be above bottom of groundwater media: Link %d Node "
                                          "%d Comp Node %d",
                                          x.link, x.node, x.u));
      double q = drain_inflow(ms.superlink_drainmod_on == 1, d, x.head - x.level, x.k, x.spacing,
                              (*net.diameter)[x.pipe][x.link]) *
                 x.share * (*net.pipe_length)[x.node][x.link];
      const double m = (*net.multiplier)[x.pipe][x.link];
      if (m > 1.0) q *= m;
      if (std::isnan(q))
        return tile_failure(tile_nan_code, format_string("\n NaN error in groundwater tile exchange: Link %d Node %d "
                                                         "Comp Node %d",
                                                         x.link, x.node, x.u));
      (*net.cell_tile_flow)[x.cell] += q;
      (*net.pipe_tile_flow)[x.node][x.link] += q;
    }
  return 1;
}

}  // namespace kavro
