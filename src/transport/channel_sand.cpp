// Channel sand: the set-up of the channel sediment arrays and one channel
// step of bed-material transport by Yang's unit-stream-power equation with
// the bed change of erodible trapezoid links.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/link_kinds.h"
#include "framework/alloc.h"
#include "framework/event_volumes.h"
#include "framework/main_state.h"
#include "transport/channel_sediment_transport.h"

namespace kavro {
namespace {

constexpr double unit_weight = 9810.0;  // N/m3 of water in the shear stress
constexpr double solid_ppm_to_volume =
    2.59965e10;  // 2.65 x 9810 x 1e6: ppm by weight of a discharge to m3/s of solids

bool is_structure(int lt) { return (lt & structure_bit) != 0; }
// A link whose nodes exchange bed material: transportable, erodible, with a
// trapezoid or breakpoint section.
bool moves_bed(int lt) {
  return is_ordinary_link(lt) && (lt & erodible_bit) && (lt & (trapezoid_bit | breakpoint_bit));
}

void allocate_lake_arrays(main_state& ms) {
  if (!ms.lakes_on || ms.n_lakes < 1) return;
  const long L = ms.n_lakes, n = ms.sed_control.n_sed_classes;
  for (dvec* v : {&ms.tot_lake_depo_in, &ms.tot_lake_sand_in, &ms.event_lake_sand_in, &ms.event_lake_depo_in,
                  &ms.init_sed_vol_lake})
    alloc_dvec(*v, L, v->name());
  alloc_dmat_zero(ms.lake_depo_vol, L, n + 1, "lake_depo_vol");
  for (dmat* m : {&ms.qlat_lake_sed, &ms.sed_vol_overland_to_lake, &ms.SS_conc_lake, &ms.SS_conc_vol_lake,
                  &ms.SS_vol_lake, &ms.SS_vol_lake_to_overland, &ms.SS_vol_overland_to_lake,
                  &ms.SS_vol_lake_settled, &ms.SS_vol_chan_to_lake, &ms.SS_vol_lake_to_chan,
                  &ms.GLOBAL_SS_vol_lake_to_chan, &ms.GLOBAL_SS_vol_chan_to_lake,
                  &ms.GLOBAL_sed_vol_overland_to_lake, &ms.GLOBAL_SS_vol_lake_to_overland,
                  &ms.GLOBAL_SS_vol_lake_settled, &ms.GLOBAL_SS_vol_overland_to_lake})
    alloc_dmat_zero(*m, L, n, m->name());
  if (ms.ov_sed) alloc_dmat_zero(ms.ov_sed->sand_vol_deposited_lakebank, L, n, "sand_vol_deposited_lakebank");
  alloc_d3d_zero(ms.qlat_lake, ms.n_cells, L, n, "qlat_lake");
  if (ms.n_fine_classes > 0) alloc_dmat_zero(ms.lake_draw, L, ms.n_fine_classes, "lake_draw");
}

// The work arrays of the two channel routines.
void allocate_work_arrays(main_state& ms, long rows) {
  const long n = ms.sed_control.n_sed_classes, nf = ms.n_fine_classes;
  alloc_dvec(ms.chan_sand_capacity, rows + 1, "chan_sand_capacity");
  if (nf < 1) return;
  for (dmat* m : {&ms.advect_flux, &ms.temp_conc, &ms.temp_flux, &ms.wash_drawn})
    alloc_dmat_zero(*m, rows, nf, m->name());
  alloc_d3d_zero(ms.temp_mass, ms.max_nodes_per_link, ms.link_dim, n, "temp_mass");
}

// The erodible layer of every erodible node: its solid volume is both the
// node's parent bed material and its share of the channels' initial sand.
void fill_bed_layers(main_state& ms) {
  const double solid = 1.0 - ms.sed_porosity;
  const int parent_entry = ms.n_sand_classes + 1;
  ms.vol_sand_chan_init_total = 0.0;
  for (int link = 1; link <= ms.LINKS; ++link) {
    const int lt = ms.ltype[link];
    if (!(lt & erodible_bit)) continue;
    const double dx = ms.chan_dx[link];
    for (int k = 1; k <= ms.nx[link]; ++k) {
      double V0 = 0.0;
      if (lt & trapezoid_bit) {
        V0 = solid * ms.max_eros[k][link] * ms.bottom[k][ms.ldex[link]] * dx;
      } else if (lt & breakpoint_bit) {
        const int t = ms.table_num[k][link];
        const int slot = link <= ms.bplink.size() ? ms.bplink[link] : 0;
        if (t < 1 || t > ms.numhts.size() || slot < 1 || slot > ms.xbp_lnn.size1()) continue;
        const double* x = ms.xbp_lnn[slot][k];
        const double W = std::fabs(x[ms.numpairs[t]] - x[1]);
        const double H = ms.numhts[t] * ms.ht_spc[t];
        V0 = solid * (W * (H + ms.max_eros[k][link]) * dx - ms.xarea[ms.numhts[t]][t] * dx);
        ms.bp_sand_vol[slot][k] = V0;
      } else {
        continue;
      }
      ms.ch_sand_vol[k][link][0] = ms.ch_sand_vol[k][link][parent_entry] = V0;
      ms.vol_sand_chan_init_total += V0;
    }
  }
}

// Settling velocity of the sand diameter (m/s) with its own constants.
double sand_fall_velocity(double d, double nu) {
  const double d_star = d * std::pow(16.1865 / (nu * nu), 0.33333333);  // 16.1865 = 1.65 x 9.81
  return (std::sqrt(1.0 + 0.0139 * d_star * d_star * d_star) - 1.0) * 8.0 * nu / d;
}

double water_level(const main_state& ms, int k, int link) { return ms.bel[k][link] + ms.chan_depth[k][link]; }

// The energy slope of node k of `link` for the sand capacity.
double node_slope(const main_state& ms, int k, int link) {
  const int n = ms.nx[link];
  const double dx = ms.chan_dx[link];
  if (k < n) return std::fabs(water_level(ms, k, link) - water_level(ms, k + 1, link)) / dx;
  if (link == ms.LINKS) {
    // The outlet's bed slope; a one-node outlet link has none.
    return n >= 2 ? std::fabs(ms.bel[n - 1][link] - ms.bel[n][link]) / dx : 0.0;
  }
  const int D = ms.dslink[link];
  if (D < 1) return 0.0;
  const int dt = ms.ltype[D];
  if (is_lake_like(dt)) {
    const int lake = ms.lake2link[D];
    if (lake < 1) return 0.0;
    return std::fabs(water_level(ms, k, link) - ms.lake_elev[lake]) / (2.0 * dx);
  }
  if ((dt & section_bits) && ms.nx[D] >= 1)
    return std::fabs(water_level(ms, k, link) - water_level(ms, 1, D)) / ((dx + ms.chan_dx[D]) * 0.5);
  // Below a structure: the slope of the node before it (none on a one-node link).
  return n >= 2 ? std::fabs(water_level(ms, n - 1, link) - water_level(ms, n, link)) / dx : 0.0;
}

struct sand_grain {
  double d = 0, nu = 0, w = 0,
         Lw = 0;  // diameter (m), viscosity (m2/s), fall velocity (m/s), log10 of w d / nu
};

// Yang's capacity of node k of a bed-moving link (m3/s of solids, signed
// with the discharge); 0 for a dry node or below the critical velocity.
double yang_capacity(const main_state& ms, const sand_grain& g, int k, int link) {
  const double Q = ms.qp[k][link];
  const double sign = Q < -1e-16 ? -1.0 : 1.0;
  const double h = ms.chan_depth[k][link];
  if (h < 1e-16) return 0.0;
  double A = 0.0, P = 0.0;
  if (ms.ltype[link] & trapezoid_bit) {
    const int col = ms.ldex[link];
    const double z = ms.sslope[k][col], b = ms.bottom[k][col];
    A = z * h * h + b * h;
    P = 2.0 * h * std::sqrt(z * z + 1.0) + b;
  } else {
    interp_node_depth_tables(ms, k, link, h, A, P);
  }
  if (!(A > 0.0)) return 0.0;
  const double R = P > 1e-16 ? A / P : 0.0;
  const double S = node_slope(ms, k, link);
  const double tau = unit_weight * R * S;
  const double u_star = tau > 1e-16 ? std::sqrt(tau / 1000.0) : 0.0;
  const double re_star = u_star * g.d / g.nu;
  if (re_star < 1.2) return 0.0;
  const double vc_w = re_star < 70.0 ? 2.5 / (std::log10(re_star) - 0.06) + 0.66 : 2.05;
  const double V = std::fabs(Q / A);
  double C = 0.0;  // ppm by weight
  if (!(V / g.w < vc_w)) {
    const double lu = std::log10(u_star / g.w);
    const double log_c = 5.435 - 0.286 * g.Lw - 0.457 * lu +
                         (1.799 - 0.409 * g.Lw - 0.314 * lu) * std::log10(V * S / g.w - vc_w * S);
    C = std::pow(10.0, log_c);
  }
  const double Qs = std::fabs(Q) * C * unit_weight / solid_ppm_to_volume * sign;
  if (std::isnan(Qs)) std::printf("bed load NaN\n");
  return Qs;
}

// One exchange of the bed-material entries of a node.
struct sand_exchange {
  main_state& ms;
  double dt;
  int n_entries;  // n_sand_classes + 1
  int qs_offset;  // qsmax column of entry 1 less one (n_fine_classes)

  double* entries(int k, int link) const { return ms.ch_sand_vol[k][link]; }

  void record_zeros(long row) const {
    for (int m = 1; m <= n_entries; ++m) ms.qsmax[row][qs_offset + m] = 0.0;
  }
  // Draws `vol` from A into B (null: out of the network, reported as
  // sand_out_rate), entries in order, the parent bed last.
  void draw(double* A, double* B, double vol, long row, double sign, bool to_outlet) const {
    for (int m = 1; m <= n_entries; ++m) {
      double drawn;
      if (vol < A[m]) {
        A[m] -= vol;
        drawn = vol;
        vol = 0.0;
      } else {
        drawn = A[m];
        vol -= A[m];
        A[m] = 0.0;
      }
      if (B) B[m] += drawn;
      ms.qsmax[row][qs_offset + m] = sign * drawn / dt;
      if (to_outlet) ms.sand_out_rate[m] += drawn / dt;
    }
  }
  // Material in node 1 of a structure passes on to the link below it: a
  // lake, a channel node, or out of the network below the outlet.
  void pass_structure(int D) const {
    double* s = entries(1, D);
    const int E = ms.dslink[D];
    double* dest = nullptr;
    if (E >= 1 && is_lake_like(ms.ltype[E]) && ms.lake2link[E] >= 1 && !ms.lake_depo_vol.empty()) {
      dest = ms.lake_depo_vol[ms.lake2link[E]];
    } else if (E >= 1 && !is_lake_like(ms.ltype[E])) {
      dest = entries(1, E);
    }
    for (int m = 1; m <= n_entries; ++m) {
      if (dest) {
        dest[m] += s[m];
      } else {
        ms.sand_out_rate[m] += s[m] / dt;
      }
      s[m] = 0.0;
    }
  }
};

bool wet(const main_state& ms, int k, int link) { return ms.chan_depth[k][link] >= 1e-16; }

void exchange_node(const sand_exchange& ex, int k, int link, double Qs, long outlet_row) {
  main_state& ms = ex.ms;
  const long row = static_cast<long>(link) * ms.max_nodes_per_link + k;
  const int n = ms.nx[link];
  const double vol = std::fabs(Qs) * ex.dt;
  double* here = ex.entries(k, link);
  if (std::fabs(Qs) <= 1e-16 || (Qs > 0 && !wet(ms, k, link))) {
    ex.record_zeros(row);
    return;
  }
  const int D = ms.dslink[link];
  if (Qs > 0) {
    if (k < n) {
      ex.draw(here, ex.entries(k + 1, link), vol, row, 1.0, false);
    } else if (row == outlet_row) {
      ex.draw(here, nullptr, vol, row, 1.0, true);
    } else if (D < 1) {
      ex.record_zeros(row);
    } else if (is_lake_like(ms.ltype[D])) {
      const int lake = ms.lake2link[D];
      if (lake < 1 || ms.lake_depo_vol.empty()) {
        ex.record_zeros(row);
      } else {
        ex.draw(here, ms.lake_depo_vol[lake], vol, row, 1.0, false);
      }
    } else {
      ex.draw(here, ex.entries(1, D), vol, row, 1.0, false);
      if (is_structure(ms.ltype[D])) ex.pass_structure(D);
    }
    return;
  }
  // Upstream transport draws from the node below.
  if (k < n) {
    if (wet(ms, k + 1, link)) {
      ex.draw(ex.entries(k + 1, link), here, vol, row, -1.0, false);
    } else {
      ex.record_zeros(row);
    }
    return;
  }
  if (row == outlet_row) {
    ex.record_zeros(row);
    for (int m = 1; m <= ex.n_entries; ++m) ms.sand_out_rate[m] = 0.0;
    return;
  }
  if (D < 1 || is_lake_like(ms.ltype[D]) || ms.nx[D] < 1) {
    ex.record_zeros(row);
    return;
  }
  if (!is_structure(ms.ltype[D])) {
    if (wet(ms, 1, D)) {
      ex.draw(ex.entries(1, D), here, vol, row, -1.0, false);
    } else {
      ex.record_zeros(row);
    }
    return;
  }
  // Through a structure (which holds no water of its own) from the link below it.
  const int E = ms.dslink[D];
  const long e_row = static_cast<long>(E) * ms.max_nodes_per_link + 1;
  if (E < 1 || is_lake_like(ms.ltype[E]) || e_row == outlet_row || !wet(ms, 1, E)) {
    ex.record_zeros(row);
    return;
  }
  ex.draw(ex.entries(1, E), here, vol, row, -1.0, false);
}

}  // namespace

double trapezoid_bed_elevation(double V, double org_bel, double b, double z, double max_eros, double dx,
                               double porosity) {
  const double solid = 1.0 - porosity;
  const double full = b * max_eros * dx * solid;
  if (V >= full) {
    // Bulk area above the set-up bed: z h^2 + b h = A.
    const double A = (V - full) / dx / solid;
    const double root = b + std::sqrt(b * b + 4.0 * z * A);
    return org_bel + (root > 0.0 ? 2.0 * A / root : 0.0);
  }
  const double missing = (full - V) / dx / solid;
  const double drop = b > 0.0 ? missing / b : max_eros;
  return org_bel - std::min(drop, max_eros);
}

void interp_node_depth_tables(const main_state& ms, int node, int link, double h, double& area,
                              double& perimeter) {
  area = perimeter = 0.0;
  const int t = ms.table_num[node][link];
  if (t < 1 || t > ms.numhts.size()) return;
  const double step = ms.ht_spc[t];
  const int N = ms.numhts[t];
  if (!(step > 0.0) || N < 1) return;
  auto G = [&](int i) { return ms.xtw[i][t] + ms.xp[i][t]; };
  if (h < step) {
    const double f = std::pow(h, 5.0 / 3.0) / std::pow(step, 5.0 / 3.0);
    area = ms.xarea[1][t] * f;
    perimeter = G(1) * f;
  } else if (h <= N * step) {
    const int e = std::min(static_cast<int>(h / step), N);
    if (e >= N) {
      area = ms.xarea[N][t];
      perimeter = G(N);
      return;
    }
    const double part = (h - e * step) / step;
    area = ms.xarea[e][t] + (ms.xarea[e + 1][t] - ms.xarea[e][t]) * part;
    perimeter = G(e) + (G(e + 1) - G(e)) * part;
  } else {
    const double part = (h - N * step) / step;
    area = ms.xarea[N][t] + (ms.xarea[N][t] - ms.xarea[N - 1][t]) * part;
    perimeter = G(N) + (G(N) - G(N - 1)) * part;
  }
}

void alloc_chan_sed_arrays(main_state& ms) {
  if (ms.ov_sed_out_on != 1 || !ms.ov_sed) return;
  const long n = ms.sed_control.n_sed_classes;
  const long nodes = ms.max_nodes_per_link, links = ms.link_dim;
  const long rows = static_cast<long>(ms.link_dim + 1) * ms.max_nodes_per_link;
  alloc_dmat_zero(ms.new_bel, nodes, links, "new_bel");
  alloc_dmat_zero(ms.org_bel, nodes, links, "org_bel");
  alloc_d3d_zero(ms.ch_wash_vol, nodes, links, n, "ch_wash_vol");
  alloc_d3d_zero(ms.ch_sand_vol, nodes, links, n + 1, "ch_sand_vol");
  alloc_d3d_zero(ms.qlat_sed, nodes, links, n, "qlat_sed");
  alloc_d3d_zero(ms.qlat_tot_sed, nodes, links, n, "qlat_tot_sed");
  alloc_dvec(ms.sand_out_rate, n + 1, "sand_out_rate");
  alloc_dvec(ms.sand_to_chan_step, n + 1, "sand_to_chan_step");
  alloc_dvec(ms.wash_out_rate, n, "wash_out_rate");
  alloc_dvec(ms.sed_to_chan_total, n, "sed_to_chan_total");
  alloc_dvec(ms.sed_to_chan_by_class, n, "sed_to_chan_by_class");
  for (dmat* m : {&ms.SS_node_conc, &ms.SS_node_conc_vol, &ms.chan_sed_conc})
    alloc_dmat_zero(*m, rows, n, m->name());
  alloc_dmat_zero(ms.qsmax, rows, n + 1, "qsmax");
  alloc_dmat_zero(ms.qsmax_total, nodes, links, "qsmax_total");
  allocate_lake_arrays(ms);
  allocate_work_arrays(ms, rows);
  ms.vol_sand_out_total = ms.vol_washload_out_total = ms.vol_lake_sed_settled_total = 0.0;
  ms.vol_sand_to_chan_total = ms.vol_lake_sed_in_total = 0.0;
  // Every bed starts where the channel file puts it; erosion and deposit
  // move it from there.
  for (int link = 1; link <= ms.LINKS; ++link)
    for (int k = 1; k <= ms.nx[link]; ++k) ms.new_bel[k][link] = ms.org_bel[k][link] = ms.bel[k][link];
  fill_bed_layers(ms);
}

void chan_sand_transport(main_state& ms, double dt) {
  if (ms.ch_sand_vol.empty() || !ms.ov_sed || !(dt > 0.0)) return;
  const int nf = ms.n_fine_classes, ns = ms.n_sand_classes;
  const int* cls = ms.ov_sed->sed_class.data();
  sand_grain g;
  g.d = ms.sand_size / 1000.0;
  g.nu = ms.sed_control.kin_viscosity;
  g.w = sand_fall_velocity(g.d, g.nu);
  g.Lw = std::log10(g.w * g.d / g.nu);
  // The outlet node; a lake or structure outlet link counts as one node
  // (the link's own node count stays as the routing has it).
  const int L = ms.LINKS;
  const int out_nodes = (ms.ltype[L] & (lake_bit | structure_bit)) ? 1 : ms.nx[L];
  const long outlet_row = static_cast<long>(L) * ms.max_nodes_per_link + out_nodes;
  double* capacity = ms.chan_sand_capacity.data();
  std::fill(capacity, capacity + ms.chan_sand_capacity.size() + 1, 0.0);
  for (int m = 0; m <= ns + 1; ++m) ms.sand_out_rate[m] = 0.0;

  for (int link = 1; link <= L; ++link) {
    const int lt = ms.ltype[link];
    if (!is_ordinary_link(lt)) continue;
    for (int k = 1; k <= ms.nx[link]; ++k) {
      // Lateral sand lies on the bed whatever the depth: the channel step
      // has already taken it from the cell.
      double* e = ms.ch_sand_vol[k][link];
      for (int m = 1; m <= ns; ++m) {
        const double v = ms.qlat_sed[k][link][cls[nf + m]];
        e[m] += v;
        ms.sand_to_chan_step[m] += v;
      }
      if (moves_bed(lt))
        capacity[static_cast<long>(link) * ms.max_nodes_per_link + k] = yang_capacity(ms, g, k, link);
    }
  }

  const sand_exchange ex{ms, dt, ns + 1, nf};
  for (int link = 1; link <= L; ++link) {
    if (!moves_bed(ms.ltype[link])) continue;
    for (int k = 1; k <= ms.nx[link]; ++k)
      exchange_node(ex, k, link, capacity[static_cast<long>(link) * ms.max_nodes_per_link + k], outlet_row);
  }

  for (int link = 1; link <= L; ++link) {
    const int lt = ms.ltype[link];
    if (!is_ordinary_link(lt)) continue;
    for (int k = 1; k <= ms.nx[link]; ++k) {
      double* e = ms.ch_sand_vol[k][link];
      double s = 0.0;
      for (int m = 1; m <= ns + 1; ++m) s += e[m];
      e[0] = s;
      if ((lt & erodible_bit) && (lt & trapezoid_bit)) {
        const int col = ms.ldex[link];
        ms.new_bel[k][link] =
            trapezoid_bed_elevation(s, ms.org_bel[k][link], ms.bottom[k][col], ms.sslope[k][col],
                                    ms.max_eros[k][link], ms.chan_dx[link], ms.sed_porosity);
      }
    }
  }
}

}  // namespace kavro
