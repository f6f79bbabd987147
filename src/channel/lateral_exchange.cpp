// Exchange of water between the cells along the channels and the channel
// nodes: inflow over the bank as a broad-crested weir (drowned by the
// channel stage), the Manning limit of a strongly drowned weir, and spill
// from the channel onto the cells where overbank flow is on. Elements are
// visited in file order: a cell or node met twice sees the earlier change.
#include <algorithm>
#include <cmath>

#include "channel/channel_routing.h"
#include "channel/cross_sections.h"
#include "channel/link_kinds.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/parallel_sum.h"
#include "framework/readers.h"
#include "overland/held_depth.h"

namespace kavro {
namespace {

constexpr double weir_coeff = 3.40978982734;  // 2 (2/3)^1.5 sqrt(9.81): weir over both banks

double drowning(double ratio) {
  const double r = std::pow(ratio, 1.5);
  return r < 1e-7 ? 1.0 : submergence_factor(r);
}

struct element_geometry {
  double lw, dx, chan_dx, p, n, y, W, z, h;
  double weir(double H, double f) const { return weir_coeff * lw * std::pow(H, 1.5) * f; }
  double manning(double d) const {
    if (d <= 1e-16) return 0.0;
    return std::sqrt(std::fabs(y - W) / (0.5 * dx)) * std::pow(d, 2.0 / 3.0) / n * d * chan_dx * 2.0 * p;
  }
};

// Water of a node's length share p that stands above the level yp - H (m3):
// the section's area at its stage less its area H lower.
double volume_above(const main_state& ms, int N, int L, double H, double p) {
  const double y = ms.yp[N][L] - ms.bel[N][L];
  return (section_area_at_depth(ms, N, L, y) - section_area_at_depth(ms, N, L, y - H)) * ms.chan_dx[L] * p;
}

}  // namespace

double submergence_factor(double r) {
  static constexpr double x[11] = {0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.76, 0.8, 0.95, 1.0};
  static constexpr double f[11] = {1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 0.947, 0.75, 0.0};
  if (r > 1.0 - 1e-7) return 0.0;
  for (int j = 0; j <= 9; ++j) {
    if (x[j] - 1e-4 < r && r < x[j] + 1e-4) return f[j];
    if (x[j] < r && r < x[j + 1]) return f[j + 1] + (x[j + 1] - r) / (x[j + 1] - x[j]) * (f[j] - f[j + 1]);
  }
  return 0.0;
}

bool lateral_inflow_visits(const main_state& ms, int i, int k) {
  const int L = ms.gst_link[i][k], N = ms.gst_node[i][k], c = ms.gst_gnum[i][k];
  if (!is_ordinary_link(ms.ltype[L])) return false;
  return !(ms.lakes_on && ((!ms.lake_mask.empty() && ms.lake_mask[c] > 0) || N > ms.nx[L]));
}

lateral_exchange_volumes chan_lateral_inflow(main_state& ms, double dt) {
  lateral_exchange_volumes traded;
  bool lumped_nan = false;
  const long n_cells = ms.ov_depth.size();
  if (!ms.ov_mann_exp.empty() && !ms.dist_rough.empty() && !ms.roughness_exp.empty()) {
#pragma omp parallel for schedule(static) if (n_cells >= parallel_min_items)
    for (long c = 1; c <= n_cells; ++c)
      ms.ov_mann_exp[c] = ms.dist_rough[c] * std::exp(-ms.roughness_exp[c] * ms.ov_depth[c]);
  }
  const double A = ms.dx * ms.dx;
  int last_node = 0, last_link = 0;
  // A lake that captures channel nodes during the run takes their entries
  // out of the lateral exchange; the lumped models' weights are spread again
  // over the entries still visited, so their whole outflow reaches a channel.
  double sac_share = 0.0, cgw_share = 0.0;
  bool dropped = false;
  const bool sac_in = ms.sacramento_on && !ms.gst_sac_weight.empty();
  const bool cgw_in = ms.conceptual_gw_on && !ms.gst_cgw_weight.empty();
  for (int i = 1; i <= ms.n_gst_cells; ++i)
    for (int k = 1; k <= ms.gst_ncellsingrid[i]; ++k) {
      ms.gst_qlat[i][k] = 0.0;
      if (!(sac_in || cgw_in)) continue;
      const double ws = sac_in ? ms.gst_sac_weight[i][k] : 0.0, wc = cgw_in ? ms.gst_cgw_weight[i][k] : 0.0;
      if (lateral_inflow_visits(ms, i, k)) sac_share += ws, cgw_share += wc;
      else dropped = dropped || ws > 0.0 || wc > 0.0;
    }
  // Weights untouched while no weighted entry is dropped: set-up made them sum to 1.
  const double sac_scale = !dropped ? 1.0 : sac_share > 0.0 ? 1.0 / sac_share : 0.0;
  const double cgw_scale = !dropped ? 1.0 : cgw_share > 0.0 ? 1.0 / cgw_share : 0.0;
  for (int i = 1; i <= ms.n_gst_cells; ++i) {
    for (int k = 1; k <= ms.gst_ncellsingrid[i]; ++k) {
      const int L = ms.gst_link[i][k], N = ms.gst_node[i][k], c = ms.gst_gnum[i][k];
      const double p = ms.gst_pct[i][k];
      const int lt = ms.ltype[L];
      if (!lateral_inflow_visits(ms, i, k)) continue;
      last_node = N, last_link = L;
      const bool overbank = ((lt & section_bits) && (lt & overbank_bit)) || ms.overbank_flow_on;
      const bool backwater = ((lt & section_bits) && (lt & backwater_bit)) || ms.overland_backwater_on;
      const double cdx = ms.chan_dx[L];
      // The lumped basin models' outflow enters as lateral inflow: the
      // channel continuity books it with the rest of qlat.
      if (sac_in) {
        const double qs = ms.sac_channel_outflow * (ms.gst_sac_weight[i][k] * sac_scale);
        ms.qlat[N][L] += qs / cdx;
        traded.from_lumped += qs * dt;
        lumped_nan = lumped_nan || std::isnan(qs);
      }
      if (cgw_in) {
        const double qs = ms.cgw_channel_outflow * (ms.gst_cgw_weight[i][k] * cgw_scale);
        ms.qlat[N][L] += qs / cdx;
        traded.from_lumped += qs * dt;
        lumped_nan = lumped_nan || std::isnan(qs);
      }
      const bool held = is_held_depth_cell(ms, c);
      const double h = ms.ov_depth[c], z = ms.elevation[c], W = z + h, y = ms.yp[N][L], b = ms.bel[N][L];
      const double B = b + ms.bankfull_dep[N][L];
      const double n = ms.ov_mann_exp.empty() ? ms.dist_rough[c] : ms.ov_mann_exp[c];
      const element_geometry g{p * cdx, ms.dx, cdx, p, n, y, W, z, h};
      double q = 0.0, H = 0.0;
      int dir = 1;
      bool no_flow = false;
      if (!overbank && !backwater) {
        q = h > 1e-16 ? g.weir(h, 1.0) : 0.0;
      } else {
        double qb = 0.0;
        if (backwater) {
          if (y >= W || B >= W) {
            no_flow = true;
          } else {
            double hup = h, hdn = y - z;
            if (z <= B) hup = W - B, hdn = y - B;
            hdn = std::max(hdn, 0.0);
            if (hup > 1e-16) {
              const double cap = g.weir(hup, drowning(hdn / hup));
              qb = hdn / hup <= 0.66 ? cap : std::min(cap, g.manning((h + (y - z)) / 2.0));
            }
          }
          q = qb;
        }
        if (overbank) {
          no_flow = false;
          if (B > z && y > B && y > W) {
            dir = 2;
            H = y - B;
            if (H > 1e-16) {
              const double cap = g.weir(H, drowning(std::max(W - B, 0.0) / H));
              q = std::min(cap, g.manning((h + (y - z)) / 2.0));
            }
          } else if (B <= z && y > W) {
            if (z > b) {
              dir = 2;
              H = y - z;
              if (H > 1e-16) q = std::min(g.weir(H, drowning(h / H)), g.manning((h + H) / 2.0));
            }
          } else if (backwater) {
            q = qb;
          } else if (h > 1e-16) {
            const double ratio = std::max(y - z, 0.0) / h;
            const double cap = g.weir(h, drowning(ratio));
            q = ratio <= 0.66 ? cap : std::min(cap, g.manning((h + (y - z)) / 2.0));
          } else {
            q = 0.0;
          }
          if (dir == 2 && H > 1e-16) {
            const double yc = 2.0 * H / 3.0;
            q = std::min(q, 0.8944 * 2.0 * g.lw * yc * std::sqrt(9.81 * yc));
          }
        }
      }
      if (dir == 1) {
        if (held) {
          traded.into_channel += q * dt;
        } else if (h * A - q * dt < -1e-16) {
          ms.ov_depth[c] = 0.0;
          q = h * A / dt;
        } else {
          ms.ov_depth[c] = h - q * dt / A;
        }
      } else if (!no_flow) {
        const double V = volume_above(ms, N, L, H, p);
        if (q > 0 && (V <= 0 || (V - q * dt) / V < 1.0 - ms.overbank_max_dv)) q = V > 0 ? V * ms.overbank_max_dv / dt : 0.0;
        q = -q;
        if (held) {
          traded.onto_cells += -q * dt;
        } else {
          ms.ov_depth[c] -= q * dt / A;
          for (double e = z + ms.ov_depth[c] - ms.yp[N][L]; e > 1e-12; e = z + ms.ov_depth[c] - ms.yp[N][L]) {
            ms.ov_depth[c] -= e;
            q += e * A / dt;
            if (ms.ov_depth[c] < -1e-16) {
              q += A * ms.ov_depth[c] / dt;
              ms.ov_depth[c] = 0.0;
              break;
            }
          }
        }
      }
      ms.qlat[N][L] += q / cdx;
      ms.gst_qlat[i][k] += q;
      // The overland constituents follow the water that crossed the bank.
      if (ms.ov_contam_on && !ms.gst_Vlat.empty()) ms.gst_Vlat[i][k] += q * dt;
    }
  }
  if (lumped_nan)
    print_and_log(run_log_file, format_string("lateral inflow for node %d link %d is not a number \n", last_node, last_link));
  return traded;
}

}  // namespace kavro
