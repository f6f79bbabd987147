// Node discharges of the channel network for one routing sub-step: the
// diffusive-wave flow of section links from the water-surface slope and the
// conveyance, the flows of hydraulic structures, and the outlet boundary.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/channel_routing.h"
#include "channel/link_kinds.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "input/elev_series.h"
#include "input/time_series.h"

namespace kavro {
namespace {

constexpr double failed_flow = -9999.99;

void say(const std::string& text) { print_and_log(run_log_file, text); }

// Top width (m) of a section node at its current depth; the bed width of a
// dry trapezoid, the first table row of a dry breakpoint node.
double node_top_width(const main_state& ms, int node, int link) {
  const int lt = ms.ltype[link];
  const double y = std::max(ms.chan_depth[node][link], 0.0);
  if (lt & 4) {
    const int col = ms.ldex[link];
    return ms.bottom[node][col] + 2.0 * ms.sslope[node][col] * y;
  }
  if (lt & 8) {
    const int t = ms.table_num[node][link];
    if (t < 1 || t > ms.n_xsec_tables) return 0.0;
    const int nh = ms.numhts[t];
    int m = static_cast<int>(y / ms.ht_spc[t]);
    m = std::clamp(m, 1, std::max(nh, 1));
    return ms.xtw[m][t];
  }
  return 0.0;
}

// Volume (m3) that would level the water surfaces of two nodes joined by a
// face: the difference of levels over the sum of the inverse storages per
// unit rise (top width x spacing). A face flow larger than this over one
// sub-step overshoots and makes flat water oscillate.
double levelling_volume(const main_state& ms, int n1, int l1, int n2, int l2) {
  const double s1 = node_top_width(ms, n1, l1) * ms.chan_dx[l1];
  const double s2 = node_top_width(ms, n2, l2) * ms.chan_dx[l2];
  if (s1 <= 0 || s2 <= 0) return 0.0;
  return std::fabs(ms.yp[n1][l1] - ms.yp[n2][l2]) / (1.0 / s1 + 1.0 / s2);
}

// Face flow sqrt|S| K, with the upwind conveyance, capped at the levelling
// volume per sub-step.
double face_flow(double slope, double k_up, double k_down, double v_level, double dt_sub) {
  double q = slope >= 0 ? std::sqrt(slope) * k_up : -std::sqrt(-slope) * k_down;
  const double cap = v_level / dt_sub;
  if (std::fabs(q) > cap) q = q > 0 ? cap : -cap;
  return q;
}

double wse(const main_state& ms, int node, int link) { return ms.bel[node][link] + ms.chan_depth[node][link]; }

double structure_link_flow(main_state& ms, int link, dmat& areas, double dt_sub, double& release_vol) {
  const int up = ms.ndep[link] >= 1 ? ms.uslinks[link][1] : 0;
  double a = 0.0;
  if (up > 0) a = (ms.ltype[up] & lake_bit) ? ms.lake_elev[ms.ldex[up]] : ms.yp[ms.nx[up]][up];
  const int d = ms.dslink[link];
  const double b = d > 0 ? ms.yp[1][d] : 0.0;
  double q = 0.0;
  const link_struct_index& idx = ms.link_structs[link];
  for (int k = idx.first; k <= idx.last && k >= 1; ++k) {
    hydraulic_structure& e = ms.hydr_struct[k];
    switch (e.struct_type) {
      case 1: q += weir_flow(e, a, b); break;
      case 2: q += sag_weir_flow(e, a, b); break;
      case 3: case 4: case 5: {
        if (a - e.upinvert < 1e-16 && b - e.downinvert < 1e-16) break;
        const double f = culvert_structure_flow(e, a, b, link);
        if (f == failed_flow) return failed_flow;
        q += f;
        break;
      }
      case 6: q += elev_series_interp(a, e.elev_series); break;
      case 7: {
        const double f = time_series_value(ms.now, e.time_series);
        q += f;
        if (ms.ndep[link] < 1) release_vol += f * dt_sub;
        break;
      }
      case 8: q += elev_series_step(a, e.elev_series); break;
      default: break;
    }
  }
  if (ms.ndep[link] >= 1 && up > 0) {
    // What the upstream storage can give in one sub-step.
    double v = areas[ms.nx[up]][up] * ms.chan_dx[up];
    if (is_lake_like(ms.ltype[up])) {
      const int lake = (ms.ltype[up] & lake_bit) ? ms.ldex[up] : ms.lake2link[up];
      v = ms.lake_volume[lake] * dt_sub / ms.chan_dt;
    }
    if (q > 0 && q * dt_sub > v) q = std::max(v / dt_sub, 0.0);
    if (q < -1e-16 && d > 0) {
      const double vd = areas[1][d] * ms.chan_dx[d];
      if (-q * dt_sub > vd) q = -vd / dt_sub;
      if (q > 0) q = 0.0;
    }
  }
  return q;
}

int outlet_error(const char* const* lines) {
  for (const char* const* l = lines; *l; ++l) say(*l);
  error_rec.code = already_printed_code;
  report_error(error_rec);
  return -1;
}

}  // namespace

double weir_flow(const hydraulic_structure& e, double a, double b) {
  const double L = e.length, cd = a > b ? e.coeff_forward : e.coeff_reverse, z = e.upinvert;
  const double h = std::max(a, b), l = std::min(a, b);
  if (h < z) return 0.0;
  double q;
  if (l - z < 2.0 / 3.0 * (h - z)) q = cd * (2.0 / 3.0) * L * std::sqrt(19.62 * std::pow(h - z, 3) / 3.0);
  else if (h - l < 0.01) q = std::sqrt(1962.0) * cd * L * (l - z) * (h - l);
  else q = std::sqrt(19.62 * (h - l)) * cd * L * (l - z);
  return a > b ? q : -q;
}

double sag_weir_flow(const hydraulic_structure& e, double a, double b) {
  const double s1 = e.width, s2 = e.height, L = e.length, z = e.upinvert;
  if (a <= z && b <= z) return 0.0;
  const double a2 = (s2 - s1) / (2.0 * L), xs = -s1 * L / (s2 - s1);
  const double z0 = z - a2 * xs * xs - s1 * xs;
  const double H = std::max(a, b), cd = a > b ? e.coeff_forward : e.coeff_reverse;
  const double m = std::sqrt(4.0 * a2 * (H - z0) + s1 * s1);
  const double q =
      std::sqrt(19.62) * cd / a2 * m * std::sqrt(H - z) * 2.0 * (s1 * s1 - 4.0 * a2 * (z0 + z - 2.0 * H)) / a2 * 0.03125;
  return a > b ? q : -q;
}

int ex_boundary_flows(main_state& ms, dmat& q, dmat& areas, double dt_sub, double& release_vol) {
  const int links = ms.LINKS;
  for (int i = links; i >= 1; --i) {
    const int lt = ms.ltype[i];
    if (is_lake_like(lt)) continue;
    if (lt & structure_bit) {
      const double f = structure_link_flow(ms, i, areas, dt_sub, release_vol);
      if (f == failed_flow) return 0;  // printed; code 4000 reported
      q[1][i] = q[2][i] = f;
      continue;
    }
    const int n = ms.nx[i];
    if (n < 1) continue;
    const double dx = ms.chan_dx[i];
    const int d = ms.dslink[i];
    if (i != links && d > 0) {
      const int dt = ms.ltype[d];
      if (dt & structure_bit) {
        q[n][i] = q[1][d];
      } else if ((dt & lake_bit) || is_captured_section(dt)) {
        const int lake = (dt & lake_bit) ? ms.ldex[d] : ms.lake2link[d];
        const double s = (wse(ms, n, i) - ms.lake_elev[lake]) / (2.0 * dx);
        q[n][i] = s > 0 ? std::sqrt(s) * ms.conv[n][i] : 0.0;
      } else {
        const double s = (wse(ms, n, i) - wse(ms, 1, d)) / ((dx + ms.chan_dx[d]) / 2.0);
        q[n][i] = face_flow(s, ms.conv[n][i], ms.conv[1][d], levelling_volume(ms, n, i, 1, d), dt_sub);
      }
    }
    for (int j = n - 1; j >= 1; --j) {
      const double s = (wse(ms, j, i) - wse(ms, j + 1, i)) / dx;
      q[j][i] = face_flow(s, ms.conv[j][i], ms.conv[j + 1][i], levelling_volume(ms, j, i, j + 1, i), dt_sub);
    }
    if (i != links) continue;
    if (!ms.head_bound_on) {
      if (n < 2) {
        static constexpr const char* lines[] = {
            "\n", "There is one or less nodes in the outlet link \n", "There must be two or more nodes in the outlet link \n",
            "Add one or more nodes to the outlet link \n",
            "Remember, there is one less KAVRO node in a link than PQM nodes \n", "Program stopped.\n", nullptr};
        return outlet_error(lines);
      }
      const double s = (ms.bel[n - 1][i] - ms.bel[n][i]) / dx;
      if (s < 0) {
        static constexpr const char* lines[] = {
            "\n", "The outlet slope is negative.  Make sure that the bed\n",
            "elevation of the most downstream node is lower than\n",
            "the bed elevation of the node just upstream from it.\n", "Program stopped.\n", nullptr};
        return outlet_error(lines);
      }
      q[n][i] = std::sqrt(s) * ms.conv[n][i];
    } else {
      // The boundary holds the outlet node's area: it passes on what
      // reaches it (a series adds the drawdown of the boundary as base).
      double out = ms.head_bound_q_base + (n > 1 ? q[n - 1][i] : 0.0) + ms.qlat[n][i] * dx;
      if (ms.stream_loss_on && !ms.qriv.empty()) out += ms.qriv[n][i] * dx;
      if (ms.chan_point_inputs_on && !ms.chan_point_q.empty())
        out += ms.chan_point_q[static_cast<long>(i) * ms.max_nodes_per_link + n];
      q[n][i] = out;
    }
  }
  return 0;
}

}  // namespace kavro
