// Weights that spread the hourly outflow of the lumped basin models over the
// grid-stream entries of the channels. Only the entries the lateral
// exchange takes (lateral_inflow_visits) get a weight, and the weights of
// each model sum to 1, so all of its outflow reaches a channel. Set-up
// code, on the driver's thread.
#include "channel/lumped_weights.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "channel/channel_routing.h"
#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/readers.h"

namespace kavro {
namespace {

void stop_printed() {
  error_rec.code = already_printed_code;
  report_error(error_rec);
}

bool console(const main_state& ms) { return !ms.quiet && ms.tool_mode != 1; }

// False after the refusal when no grid-stream entry takes lateral inflow.
bool any_entry_visited(const main_state& ms, const char* model) {
  for (int i = 1; i <= ms.n_gst_cells; ++i)
    for (int k = 1; k <= ms.gst_ncellsingrid[i]; ++k)
      if (lateral_inflow_visits(ms, i, k)) return true;
  std::printf("Error: the %s outflow would reach no channel: no grid-stream entry of the channel network "
              "lies on a channel link that takes lateral inflow (STREAM_CELL input with entries outside lakes "
              "and structures is needed).\n",
              model);
  return false;
}

}  // namespace

void sacramento_link_weights(main_state& ms) {
  if (ms.sacramento_on != 1 || ms.channel_on != 1) return;
  if (!any_entry_visited(ms, "Sacramento model's")) return stop_printed();
  alloc_dvec(ms.sac_cell_topo_share, ms.n_cells, "sac_cell_topo_share");
  // Reach length of every entry, and the factor of every channel cell.
  double length_sum = 0.0;
  std::vector<char> channel_cell(static_cast<std::size_t>(ms.n_cells) + 1, 0);
  for (int i = 1; i <= ms.n_gst_cells; ++i)
    for (int k = 1; k <= ms.gst_ncellsingrid[i]; ++k) {
      if (!lateral_inflow_visits(ms, i, k)) continue;
      length_sum += ms.chan_dx[ms.gst_link[i][k]] * ms.gst_pct[i][k];
      channel_cell[static_cast<std::size_t>(ms.gst_gnum[i][k])] = 1;
    }
  double factor_sum = 0.0;
  for (long c = 1; c <= ms.n_cells; ++c)
    if (channel_cell[static_cast<std::size_t>(c)]) {
      ms.sac_cell_topo_share[c] = ms.topo_index_on ? ms.topo_dex[c] : 1.0;
      factor_sum += ms.sac_cell_topo_share[c];
    }
  if (ms.topo_index_on && factor_sum < 1e-10) {
    std::printf("Problem, sum of the topographic indices in all channel-containing grids is <=0.0\n"
                "Program terminated\n");
    return stop_printed();
  }
  for (long c = 1; c <= ms.n_cells; ++c) ms.sac_cell_topo_share[c] /= factor_sum;
  double sum = 0.0;
  for (int i = 1; i <= ms.n_gst_cells; ++i)
    for (int k = 1; k <= ms.gst_ncellsingrid[i]; ++k) {
      ms.gst_sac_weight[i][k] = 0.0;
      if (!lateral_inflow_visits(ms, i, k)) continue;
      const double w = ms.chan_dx[ms.gst_link[i][k]] * ms.gst_pct[i][k] / length_sum *
                       ms.sac_cell_topo_share[ms.gst_gnum[i][k]];
      if (!(w > 0.0)) {
        std::printf("Problem, gst_sac_weight <=0.0\nProgram terminated\n");
        return stop_printed();
      }
      ms.gst_sac_weight[i][k] = w;
      sum += w;
    }
  double check = 0.0;
  for (int i = 1; i <= ms.n_gst_cells; ++i)
    for (int k = 1; k <= ms.gst_ncellsingrid[i]; ++k) check += ms.gst_sac_weight[i][k] /= sum;
  if (console(ms)) std::printf("Sac Weights: %lf\n", check);
  if (std::fabs(check - 1.0) > 1e-9) {
    std::printf("Problem, summation of the Sacramento weights is not equal to 1.0.\nProgram terminated.\n");
    stop_printed();
  }
}

void conceptual_gw_link_weights(main_state& ms) {
  if (ms.conceptual_gw_on != 1 || ms.channel_on != 1) return;
  alloc_dmat_zero(ms.gst_cgw_weight, ms.n_gst_cells, std::max(ms.max_gst_nodes, 1), "gst_cgw_weight");
  if (!any_entry_visited(ms, "two-store groundwater model's")) return stop_printed();
  // Channel area of the cells that drain to a link: their upslope area.
  std::vector<double> chan_area(static_cast<std::size_t>(ms.n_cells) + 1, 0.0);
  double a_max_all = -999.0;
  for (long c = 1; c <= ms.n_cells; ++c) {
    if (ms.con_link.empty() || ms.con_link[c] <= 0) continue;
    chan_area[static_cast<std::size_t>(c)] = ms.upslope_area[c];
    std::printf("%ld  link  %d area %8.2lf \n", c, ms.con_link[c], ms.upslope_area[c]);
    a_max_all = std::max(a_max_all, ms.upslope_area[c]);
  }
  const auto n_links = static_cast<std::size_t>(ms.LINKS) + 1;
  std::vector<double> a_max(n_links, -99999.0), a_min(n_links, 999999999999.0), a2(n_links, 0.0);
  std::vector<std::vector<double>> entry_area(n_links);
  // Every link's own entries first, so that a link does not depend on the
  // numbering of its upstream links.
  for (int i = 1; i <= ms.n_gst_cells; ++i)
    for (int k = 1; k <= ms.gst_ncellsingrid[i]; ++k) {
      if (!lateral_inflow_visits(ms, i, k)) continue;
      const auto L = static_cast<std::size_t>(ms.gst_link[i][k]);
      const double a = chan_area[static_cast<std::size_t>(ms.gst_gnum[i][k])];
      entry_area[L].push_back(a);
      a_max[L] = std::max(a_max[L], a);
      a_min[L] = std::min(a_min[L], a);
    }
  // The second largest area of a link's entries, below its largest.
  const auto second_area = [&](std::size_t L, double from) {
    double v = from;
    for (double a : entry_area[L])
      if (a > v && a < a_max[L]) v = a;
    return v;
  };
  std::vector<double> own_min = a_min;
  for (int l = 1; l <= ms.LINKS; ++l) {
    const auto L = static_cast<std::size_t>(l);
    a2[L] = own_min[L];
    if (ms.ndep[l] < 1) {
      if (a_max[L] != own_min[L]) a2[L] = second_area(L, own_min[L]);
    } else {
      a_min[L] = a_max[static_cast<std::size_t>(ms.uslinks[l][1])];
      if (a_max[L] - a_min[L] > 0.0) a2[L] = second_area(L, own_min[L]);
      else a2[L] = a_min[L];
    }
  }
  std::vector<double> w(n_links, 0.0);
  for (int l = 1; l <= ms.LINKS; ++l) {
    const auto L = static_cast<std::size_t>(l);
    double area = ms.ndep[l] < 1 ? a_max[L] : a_max[L] - a_min[L];
    const int d = ms.dslink[l];
    if (area > 0.0 && d > 0 && ms.ndep[d] > 1)
      for (int u = 1; u <= ms.ndep[d]; ++u) {
        const int U = ms.uslinks[d][u];
        const auto UU = static_cast<std::size_t>(U);
        if (U != l && a_max[UU] - a_min[UU] > 0.0) area -= a2[UU];
      }
    if (area <= 0.0) area = ms.dx * ms.dx;
    // A link of one defining node has no reach to share the area along.
    w[L] = area / std::max(ms.nx1[l] - 1, 1) / a_max_all;
  }
  double sum = 0.0;
  for (int i = 1; i <= ms.n_gst_cells; ++i)
    for (int k = 1; k <= ms.gst_ncellsingrid[i]; ++k) {
      if (!lateral_inflow_visits(ms, i, k)) continue;
      sum += ms.gst_cgw_weight[i][k] = w[static_cast<std::size_t>(ms.gst_link[i][k])] * ms.gst_pct[i][k];
    }
  if (console(ms)) std::printf("CGW Weights: %lf\n", sum);
  if (std::fabs(sum - 1.0) > 1e-9) {
    // Weights that do not sum to 1 would make or lose water in the channels.
    std::printf("Summation of the cgw weights is not equal to 1.0.\n");
    if (!(sum > 0.0)) {
      std::printf("Error: the two-store groundwater weights sum to %g; no channel entry can take the outflow.\n",
                  sum);
      return stop_printed();
    }
    for (int i = 1; i <= ms.n_gst_cells; ++i)
      for (int k = 1; k <= ms.gst_ncellsingrid[i]; ++k) ms.gst_cgw_weight[i][k] /= sum;
  }
}

}  // namespace kavro
