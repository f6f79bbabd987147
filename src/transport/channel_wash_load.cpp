// Wash load: the fine sediment classes carried in suspension through the
// channel network with the water each node face passed in the step, two
// stages averaged (the second from the state the first predicts), then the
// exchange with channel lakes, settling on the lakes' flooded cells and the
// lakes' budgets.
//
// Every face takes its sediment from one donor (a node or a lake) and the
// faces of a stage never take more from a donor than it holds, so volumes
// stay non-negative and every class is conserved: lateral input = held +
// discharged at the outlet + exchanged with lakes.
#include <algorithm>
#include <cmath>

#include "channel/link_kinds.h"
#include "framework/event_volumes.h"
#include "framework/main_state.h"
#include "transport/channel_sediment_transport.h"

namespace kavro {
namespace {

constexpr double water_density_g = 998200.0;  // g/m3

bool is_structure(int lt) { return (lt & structure_bit) != 0; }

// The row whose flux crosses the downstream face of a link: its last node
// (node 1 of a lake or captured link left without nodes).
long last_row(const main_state& ms, int link) {
  return static_cast<long>(link) * ms.max_nodes_per_link + std::max(ms.nx[link], 1);
}

// The state one stage reads: concentrations C [row][rank] and volumes
// V [node][link][rank].
struct wash_state {
  dmat& C;
  d3d& V;
};

// One stage's face fluxes into F [row][rank] (m3 through the node's
// downstream face, positive downstream).
class flux_stage {
 public:
  flux_stage(main_state& ms, const wash_state& s, dmat& F) : ms_(ms), s_(s), F_(F), nf_(ms.n_fine_classes) {
    std::fill(F.data(), F.data() + F.cell_count(), 0.0);
    std::fill(ms.wash_drawn.data(), ms.wash_drawn.data() + ms.wash_drawn.cell_count(), 0.0);
    if (!ms.lake_draw.empty())
      std::fill(ms.lake_draw.data(), ms.lake_draw.data() + ms.lake_draw.cell_count(), 0.0);
  }

  void run() {
    for (int i = ms_.LINKS; i >= 1; --i) {
      const int lt = ms_.ltype[i];
      if (is_structure(lt)) {
        structure_link(i);
      } else if (is_lake_like(lt)) {
        lake_link(i);
      } else if (ms_.nx[i] >= 1) {
        ordinary_link(i);
      }
    }
  }

 private:
  main_state& ms_;
  const wash_state& s_;
  dmat& F_;
  int nf_;

  long row(int link, int k) const { return static_cast<long>(link) * ms_.max_nodes_per_link + k; }
  long last_row(int link) const { return kavro::last_row(ms_, link); }
  double W(int k, int link) const { return k >= 1 ? ms_.qp_vol_sed[k][link] : 0.0; }
  int lake_of(int link) const { return ms_.lake2link[link]; }
  bool has_lake_sediment(int lake) const {
    return lake >= 1 && !ms_.SS_vol_lake.empty() && !ms_.lake_draw.empty();
  }

  // From channel node (k, link): water W (m3, either sign) carries the
  // node's concentration; its size is limited to what the node still holds.
  double from_node(int k, int link, double w, int m) const {
    const long r = row(link, k);
    double& drawn = ms_.wash_drawn[r][m];
    const double room = std::max(0.0, s_.V[k][link][m] - drawn);
    const double f = std::min(std::fabs(s_.C[r][m] * w), room);
    drawn += f;
    return w < 0.0 ? -f : f;
  }
  double from_lake(int lake, double w, int m) const {
    if (!has_lake_sediment(lake)) return 0.0;
    double& drawn = ms_.lake_draw[lake][m];
    const double held = ms_.SS_vol_lake[lake][m] - ms_.SS_vol_lake_to_overland[lake][m];
    const double room = std::max(0.0, held - drawn);
    const double f = std::min(std::fabs(ms_.SS_conc_vol_lake[lake][m] * w), room);
    drawn += f;
    return w < 0.0 ? -f : f;
  }

  void ordinary_link(int i) {
    const int n = ms_.nx[i];
    if (i == ms_.LINKS) {
      // Only flow leaving the network carries wash load out of it.
      const double w = std::max(0.0, W(n, i));
      for (int m = 1; m <= nf_; ++m) F_[row(i, n)][m] = from_node(n, i, w, m);
    }
    for (int k = n; k >= 2; --k) {
      const double w = W(k - 1, i);
      const long r = row(i, k - 1);
      for (int m = 1; m <= nf_; ++m) F_[r][m] = w >= 0.0 ? from_node(k - 1, i, w, m) : from_node(k, i, w, m);
    }
    for (int j = 1; j <= ms_.ndep[i]; ++j) {
      const int u = ms_.uslinks[i][j];
      if (u < 1 || is_structure(ms_.ltype[u])) continue;
      const long ru = last_row(u);
      const bool lake_above = is_lake_like(ms_.ltype[u]);
      const double w = W(ms_.nx[u], u);
      for (int m = 1; m <= nf_; ++m) {
        if (w < 0.0) {
          F_[ru][m] = from_node(1, i, w, m);  // back up out of node 1, upstream links in their order
        } else if (lake_above) {
          F_[ru][m] = from_lake(lake_of(u), w, m);  // the lake's water carries the lake's concentration
        } else {
          F_[ru][m] = from_node(ms_.nx[u], u, w, m);
        }
      }
    }
  }

  void structure_link(int i) {
    const int n = std::max(ms_.nx[i], 1);
    const int u = ms_.ndep[i] >= 1 ? ms_.uslinks[i][1] : 0;
    const int d = ms_.dslink[i];
    const double w1 = W(1, i);
    // The source: the node (or lake) above for forward flow, below for
    // reverse flow; a release with no link above carries none.
    int src_link = 0, src_node = 0;
    if (w1 >= 1e-16 && u >= 1) src_link = u, src_node = ms_.nx[u];
    if (w1 <= -1e-16 && d >= 1) src_link = d, src_node = 1;
    const bool lake_source = src_link >= 1 && is_lake_like(ms_.ltype[src_link]);
    for (int m = 1; m <= nf_; ++m) {
      double f = 0.0;
      if (src_link >= 1) {
        const double w = W(n, i);
        f = lake_source ? from_lake(lake_of(src_link), w, m)
                        : (src_node >= 1 ? from_node(src_node, src_link, w, m) : 0.0);
      }
      for (int k = 1; k <= n; ++k) F_[row(i, k)][m] = f;
      // The face of the link above carries the same sediment.
      if (u >= 1) F_[last_row(u)][m] = f;
    }
  }

  void lake_link(int i) {
    const int lake = lake_of(i);
    for (int j = 1; j <= ms_.ndep[i]; ++j) {
      const int D = ms_.uslinks[i][j];
      if (D < 1 || is_structure(ms_.ltype[D])) continue;
      const long rD = last_row(D);
      const double w = W(ms_.nx[D], D);
      for (int m = 1; m <= nf_; ++m) {
        double f = 0.0;
        if (!is_lake_like(ms_.ltype[D]) && ms_.nx[D] >= 1) {
          if (w > 1e-16)
            f = from_node(ms_.nx[D], D, w, m);
          else if (w < -1e-16)
            f = from_lake(lake, w, m);
        }
        F_[rD][m] = f;
      }
    }
    if (i == ms_.LINKS) {
      // A lake at the outlet passes its water, and the wash load in it, out.
      const double w = std::max(0.0, W(ms_.nx[i], i));
      const long ro = last_row(i);
      for (int m = 1; m <= nf_; ++m) F_[ro][m] = from_lake(lake, w, m);
    }
  }
};

// Continuity of every node of every transportable link from the fluxes F.
// A node without water keeps its sediment at concentration 0 until the
// water returns.
void continuity(main_state& ms, const wash_state& s, const dmat& F) {
  const int nf = ms.n_fine_classes;
  for (int i = 1; i <= ms.LINKS; ++i) {
    if (!is_ordinary_link(ms.ltype[i])) continue;
    const double dx = ms.chan_dx[i];
    for (int k = 1; k <= ms.nx[i]; ++k) {
      const long r = static_cast<long>(i) * ms.max_nodes_per_link + k;
      const double x = ms.area[k][i] * dx;
      double* v = s.V[k][i];
      double* c = s.C[r];
      v[0] = c[0] = 0.0;
      for (int m = 1; m <= nf; ++m) {
        double net = -F[r][m];
        if (k > 1) {
          net += F[r - 1][m];
        } else {
          for (int j = 1; j <= ms.ndep[i]; ++j) {
            const int u = ms.uslinks[i][j];
            if (u >= 1) net += F[last_row(ms, u)][m];
          }
        }
        v[m] += net;
        if (x < 1e-16) {
          c[m] = 0.0;
        } else {
          c[m] = v[m] / x;
          if (c[m] < -1e-16) v[m] = c[m] = 0.0;
        }
        v[0] += v[m];
        c[0] += c[m];
      }
    }
  }
}

template <class F>
void each_transport_node(main_state& ms, F f) {
  for (int i = 1; i <= ms.LINKS; ++i)
    if (is_ordinary_link(ms.ltype[i]))
      for (int k = 1; k <= ms.nx[i]; ++k) f(k, i, static_cast<long>(i) * ms.max_nodes_per_link + k);
}

void lateral_input(main_state& ms) {
  const int nf = ms.n_fine_classes;
  const int* cls = ms.ov_sed->sed_class.data();
  each_transport_node(ms, [&](int k, int i, long r) {
    const double x = ms.area[k][i] * ms.chan_dx[i];
    double* v = ms.ch_wash_vol[k][i];
    for (int m = 1; m <= nf; ++m) {
      const double q = ms.qlat_sed[k][i][cls[m]];
      v[m] += q;
      v[0] += q;
      ms.SS_node_conc_vol[r][m] = x > 1e-16 ? v[m] / x : 0.0;
    }
    if (x > 1e-16) ms.SS_node_conc_vol[r][0] = v[0] / x;
  });
}

void mass_concentrations(main_state& ms) {
  const int nf = ms.n_fine_classes;
  const int* cls = ms.ov_sed->sed_class.data();
  each_transport_node(ms, [&](int k, int i, long r) {
    const double x = ms.area[k][i] * ms.chan_dx[i];
    double s = 0.0;
    for (int m = 1; m <= nf; ++m) {
      const int c = cls[m];
      const double v = x > 1e-16 ? ms.ch_wash_vol[k][i][m] * ms.sed_particle_density[c] / x : 0.0;
      ms.chan_sed_conc[r][c] = v;
      s += v;
    }
    ms.chan_sed_conc[r][0] = s;
  });
}

// The lakes' share of the averaged fluxes: from the links above, into the
// link below (the lake's own last row for an ordinary link, the structure's
// first row through a structure), out of the network at a lake outlet.
void lake_exchange(main_state& ms, const dmat& F) {
  const int nf = ms.n_fine_classes;
  const long per = ms.max_nodes_per_link;
  for (int i = 1; i <= ms.LINKS; ++i) {
    if (!is_lake_like(ms.ltype[i])) continue;
    const int lake = ms.lake2link[i];
    if (lake < 1) continue;
    for (int j = 1; j <= ms.ndep[i]; ++j) {
      const int d = ms.uslinks[i][j];
      if (d < 1 || is_lake_like(ms.ltype[d])) continue;
      const long rd = last_row(ms, d);
      for (int m = 1; m <= nf; ++m) {
        ms.SS_vol_lake[lake][m] += F[rd][m];
        ms.SS_vol_lake[lake][0] += F[rd][m];
        ms.SS_vol_chan_to_lake[lake][m] += F[rd][m];
      }
    }
    long out_row = 0;
    bool to_channel = true;
    const int c = ms.dslink[i];
    if (i == ms.LINKS) {
      out_row = last_row(ms, i);
      to_channel = false;  // booked as the outlet's wash load
    } else if (c >= 1 && !is_lake_like(ms.ltype[c])) {
      out_row = is_structure(ms.ltype[c]) ? static_cast<long>(c) * per + 1 : last_row(ms, i);
    }
    if (out_row == 0) continue;
    for (int m = 1; m <= nf; ++m) {
      ms.SS_vol_lake[lake][m] -= F[out_row][m];
      ms.SS_vol_lake[lake][0] -= F[out_row][m];
      if (to_channel) ms.SS_vol_lake_to_chan[lake][m] += F[out_row][m];
    }
  }
}

// Suspended sediment settles on the lake's flooded cells over the depth of
// water above each; the lake never gives more than it holds.
void lake_settling(main_state& ms, double dt) {
  const int nf = ms.n_fine_classes;
  const int* cls = ms.ov_sed->sed_class.data();
  auto& vol_sed = ms.ov_sed->vol_sed;
  const double cell_area = ms.dx * ms.dx;
  for (int L = 1; L <= ms.n_lakes; ++L) {
    const int n_cells = ms.lake_cells.empty() ? 0 : ms.lake_cells[L];
    for (int p = 1; p <= n_cells; ++p) {
      const int c = ms.mask[ms.lake_search[L][1][p]][ms.lake_search[L][2][p]];
      if (c < 1 || c > ms.n_cells) continue;
      const double d = ms.lake_elev[L] - ms.elevation[c];
      if (!(d > 1e-16)) continue;  // ground at or above the lake level
      const double u = std::min(cell_area * d, ms.lake_volume[L]);
      for (int m = 1; m <= nf; ++m) {
        const int cl = cls[m];
        const double f = std::min(1.0, dt * ms.sed_fall_velocity[cl] / d);
        const double room = std::max(
            0.0, ms.SS_vol_lake[L][m] + ms.sed_vol_overland_to_lake[L][cl] - ms.SS_vol_lake_settled[L][m]);
        const double E = std::clamp(f * u * ms.SS_conc_vol_lake[L][m], 0.0, room);
        ms.SS_vol_lake_settled[L][m] += E;
        vol_sed[c][cl][3] += E;
      }
    }
  }
}

void lake_budgets(main_state& ms) {
  const int nf = ms.n_fine_classes;
  const int* cls = ms.ov_sed->sed_class.data();
  const double* grav = ms.ov_sed->spec_grav.data();
  for (int j = 1; j <= ms.n_lakes; ++j) {
    const double volume = ms.lake_volume[j];
    ms.SS_vol_lake[j][0] = ms.SS_conc_lake[j][0] = 0.0;
    for (int m = 1; m <= nf; ++m) {
      const int c = cls[m];
      double& held = ms.SS_vol_lake[j][m];
      held += ms.sed_vol_overland_to_lake[j][c] - ms.SS_vol_lake_settled[j][m];
      if (volume > 1e-8) {
        ms.SS_conc_vol_lake[j][m] = held / volume;
        ms.SS_conc_lake[j][m] = held * water_density_g * grav[c] / volume;
      } else {
        // A lake that has all but dried up lets its whole load settle.
        ms.SS_vol_lake_settled[j][m] += held;
        held = ms.SS_conc_lake[j][m] = ms.SS_conc_vol_lake[j][m] = 0.0;
      }
      if (held < 0.0) held = 0.0;
      if (ms.SS_conc_vol_lake[j][m] < 0.0) ms.SS_conc_vol_lake[j][m] = 0.0;
      if (ms.SS_conc_lake[j][m] < 0.0) ms.SS_conc_lake[j][m] = 0.0;
      ms.SS_vol_lake[j][0] += held;
      ms.SS_conc_lake[j][0] += ms.SS_conc_lake[j][m];
    }
    ms.SS_conc_vol_lake[j][0] = volume > 1e-16 ? ms.SS_vol_lake[j][0] / volume : 0.0;
  }
}

}  // namespace

void route_chan_suspended_sed(main_state& ms, double dt) {
  const int nf = ms.n_fine_classes;
  if (!ms.ov_sed || nf < 1 || ms.ch_wash_vol.empty() || ms.temp_flux.empty() || !(dt > 0.0)) return;
  lateral_input(ms);
  each_transport_node(ms, [&](int k, int i, long r) {
    for (int m = 0; m <= nf; ++m) {
      ms.temp_conc[r][m] = ms.SS_node_conc_vol[r][m];
      ms.temp_mass[k][i][m] = ms.ch_wash_vol[k][i][m];
    }
  });
  const wash_state now{ms.SS_node_conc_vol, ms.ch_wash_vol};
  const wash_state predicted{ms.temp_conc, ms.temp_mass};
  flux_stage(ms, now, ms.temp_flux).run();
  continuity(ms, predicted, ms.temp_flux);
  flux_stage(ms, predicted, ms.advect_flux).run();
  const long rows = ms.advect_flux.size1();
  for (long r = 0; r <= rows; ++r) {
    double s = 0.0;
    for (int m = 1; m <= nf; ++m) {
      const double f = (ms.temp_flux[r][m] + ms.advect_flux[r][m]) * 0.5;
      ms.advect_flux[r][m] = f;
      ms.qsmax[r][m] = f / dt;
      s += f;
    }
    ms.advect_flux[r][0] = s;
  }
  const int L = ms.LINKS;
  const long ro = last_row(ms, L);
  ms.wash_out_rate[0] = 0.0;
  for (int m = 1; m <= nf; ++m) {
    ms.wash_out_rate[m] = ms.qsmax[ro][m];
    ms.wash_out_rate[0] += ms.wash_out_rate[m];
  }
  continuity(ms, now, ms.advect_flux);
  mass_concentrations(ms);
  if (ms.lakes_on != 1 || ms.n_lakes < 1 || ms.SS_vol_lake.empty()) return;
  lake_exchange(ms, ms.advect_flux);
  lake_settling(ms, dt);
  lake_budgets(ms);
}

}  // namespace kavro
