// Stream capturing by channel lakes: nodes whose cells a lake floods are
// taken into the lake from the downstream end of their link; nodes the
// lake leaves are given back from the upstream end, filled from the lake.
#include <cmath>

#include "channel/channel_routing.h"
#include "channel/cross_sections.h"
#include "channel/link_kinds.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/readers.h"

namespace kavro {
namespace {

void flooded_shares(main_state& ms) {
  for (int l = 1; l <= ms.LINKS; ++l)
    if (!(ms.ltype[l] & (lake_bit | structure_bit)))
      for (int j = 1; j <= ms.og_nx1[l]; ++j) ms.pct_flooded[j][l] = 0.0;
  for (int s = 1; s <= ms.n_gst_cells; ++s)
    for (int k = 1; k <= ms.gst_ncellsingrid[s]; ++k) {
      const int l = ms.gst_link[s][k], j = ms.gst_node[s][k];
      if (ms.ltype[l] & (lake_bit | structure_bit)) continue;
      if (ms.lake_mask[ms.gst_gnum[s][k]] > 0) ms.pct_flooded[j][l] += ms.gst_pct[s][k];
      if (ms.pct_flooded[j][l] > 1.001)
        print_and_log(run_log_file, format_string("Problem with the stream capturing routine, verify channel setup "
                                                  "[%d][%d]:%.10lf\n", j, l, ms.pct_flooded[j][l]));
    }
}

void capture(main_state& ms) {
  for (int l = ms.LINKS - 1; l >= 1; --l) {
    const int lt = ms.ltype[l];
    const int d = ms.dslink[l];
    if (!is_ordinary_link(lt) || d < 1 || ms.lake2link[d] <= 0) continue;
    for (int j = ms.nx[l]; j >= 1; --j) {
      const double p = ms.pct_flooded[j][l];
      if (!(p > 0.999 && p < 1.001) || ms.status_node[j][l] != 0) continue;
      bool take;
      if (j == ms.nx[l]) take = ms.status_node[1][d] == 1 || is_captured_section(ms.ltype[d]) || (ms.ltype[d] & lake_bit);
      else take = ms.status_node[j + 1][l] == 1;
      if (!take) continue;
      ms.status_node[j][l] = 1;
      const int lake = ms.lake2link[d];
      const double v = ms.chan_dx[l] * ms.area[j][l];
      ms.lake_volume[lake] += v;
      ms.lake_in_dv[lake] += v;
      if (ms.chan_contam_on && !ms.chan_node_mass.empty()) {
        const long s = static_cast<long>(l) * ms.max_nodes_per_link + j;
        for (int c = 1; c <= ms.n_constituents; ++c) {
          ms.lake_chan_exchange_mass[c][lake] += ms.chan_node_mass[c][s];
          ms.chan_node_mass[c][s] = ms.chan_node_conc[c][s] = 0.0;
        }
      }
      ms.area[j][l] = ms.qp[j][l] = ms.yp[j][l] = ms.chan_depth[j][l] = 0.0;
      if (--ms.nx[l] == 0) {
        ms.ltype[l] |= captured_bit;
        ms.lake2link[l] = ms.lake2link[d];
      }
    }
  }
}

int release(main_state& ms) {
  for (int l = 1; l <= ms.LINKS - 1; ++l) {
    const int lt = ms.ltype[l];
    if (lt & (lake_bit | structure_bit)) continue;
    if (is_captured_section(lt) && ms.pct_flooded[1][l] > 1e-16) continue;
    const int lake = ms.nx[l] > 0 ? ms.lake2link[ms.dslink[l]] : ms.lake2link[l];
    if (lake <= 0) continue;
    for (int j = ms.nx[l] + 1; j <= ms.og_nx1[l]; ++j) {
      if (ms.status_node[j][l] != 1 || ms.pct_flooded[j][l] != 0.0) continue;
      if (j != 1 && ms.status_node[j - 1][l] == 1) continue;
      ms.status_node[j][l] = 0;
      if (ms.nx[l] < ms.og_nx1[l] && ++ms.nx[l] == 1) {
        ms.lake2link[l] = 0;
        ms.ltype[l] &= ~captured_bit;
      }
      double depth = ms.chan_depth[j][l];
      if (ms.lake_volume[lake] <= 1e-16) {
        depth = 0.0;
      } else if (const double dd = ms.lake_elev[lake] - ms.bel[j][l]; dd >= 0) {
        depth = dd;
      } else if (j > 1) {
        if (ms.chan_depth[j - 1][l] > 0) depth = (ms.yp[j - 1][l] - ms.bel[j][l]) * 0.5;
      } else if (ms.ndep[l] >= 1) {
        double mean = 0.0;
        for (int k = 1; k <= ms.ndep[l]; ++k) {
          const int u = ms.uslinks[l][k];
          mean += ms.yp[ms.nx[u]][u];
        }
        depth = (mean / ms.ndep[l] - ms.bel[j][l]) * 0.5;
      } else {
        depth = 0.0;
      }
      if (depth < 0) depth = 0.0;
      if (std::isnan(depth)) {
        print_and_log(run_log_file, format_string("In ex_flow_route A:  Channel depth is not a number at link %d node "
                                                  "%d\n", l, j));
        error_rec.code = already_printed_code;
        report_error(error_rec);
        return -1;
      }
      const int n = ms.nx[l];
      for (;;) {
        ms.yp[j][l] = depth + ms.bel[j][l];
        ms.chan_depth[j][l] = depth;
        node_section(ms, 2, j, l, ms.area);
        if (ms.area[n][l] * ms.chan_dx[l] > 0.5 * ms.lake_volume[lake] && depth > 0) depth *= 0.5;
        else break;
      }
      const double v = ms.area[n][l] * ms.chan_dx[l];
      ms.lake_volume[lake] -= v;
      ms.lake_out_dv[lake] += v;
      if (ms.chan_contam_on && !ms.chan_node_mass.empty()) {
        const long s = static_cast<long>(l) * ms.max_nodes_per_link + j;
        for (int c = 1; c <= ms.n_constituents; ++c) {
          ms.chan_node_conc[c][s] = ms.lake_conc[c][lake];
          ms.chan_node_mass[c][s] = ms.chan_node_conc[c][s] * ms.area[j][l] * ms.chan_dx[l];
          ms.lake_chan_exchange_mass[c][lake] -= ms.chan_node_mass[c][s];
        }
      }
    }
  }
  return 0;
}

}  // namespace

int stream_capture(main_state& ms) {
  if (ms.pct_flooded.empty() || ms.status_node.empty() || ms.lake_mask.empty()) return 0;
  if (ms.chan_contam_on)
    for (int k = 1; k <= ms.n_lakes; ++k) ms.lake_volume_last_chan[k] = ms.lake_volume[k];
  flooded_shares(ms);
  capture(ms);
  return release(ms);
}

}  // namespace kavro
