#include "hydromet/frozen_ground_couplings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "framework/alloc.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "hydromet/hydromet_steps.h"
#include "hydromet/permafrost_listings.h"
#include "hydromet/permafrost_setup.h"

namespace kavro {

namespace {

// Below this temperature (C) a node counts as frozen for the aquifer.
constexpr double thawed_threshold = -0.06;
// Conductivity factor of fully frozen soil.
constexpr double frozen_floor = 0.01;

bool permafrost_cell(const main_state& ms, long c) {
  return c >= 1 && c <= ms.permaf_mask.size() && ms.permaf_mask[c] > 0 && c <= ms.perma_tem.size1();
}

// The temperature of the node that stands for a soil node or layer slot.
double mapped_temperature(const main_state& ms, long c, long slot) {
  const int j = ms.node_fromKOTU[c][slot];
  return j >= 1 && j <= ms.perma_tem.size2() ? ms.perma_tem[c][j] : 0.0;
}

// Widens a per-cell table to `m` slots per cell (set-up only, before the
// first cell is mapped).
template <class M>
bool widen(M& table, long n, long m, bool (*alloc)(M&, long, long, std::string_view)) {
  if (table.size2() >= m) return true;
  return alloc(table, n, m, table.name());
}

// The node of type s nearest depth z (m).
int nearest_node(const permafrost_layer_soil_record& t, int s, double z) {
  const int n = t.Dn_nums[s];
  int best = 1;
  for (int j = 2; j <= n; ++j)
    if (std::fabs(t.Depth[s][j] - z) < std::fabs(t.Depth[s][best] - z)) best = j;
  return best;
}

}  // namespace

double frozen_impedance(double T) {
  if (!(T < 0.0)) return 1.0;
  const double a = 0.7 * std::fabs(1.22 * T);
  return std::pow(1.0 / (a * a + 1.0), 0.6667);
}

double frozen_conductivity(double k, double impedance) {
  return std::exp(std::log(frozen_floor) * (1.0 - impedance) + std::log(k) * impedance);
}

int map_layers_to_temp_nodes(main_state& ms, long cell) {
  if (!permafrost_cell(ms, cell)) return 0;
  const long slots = std::max<long>(ms.richards_max_nodes, ms.node_fromKOTU.size2());
  if (!widen(ms.node_fromKOTU, ms.n_cells, slots, alloc_imat_zero) ||
      !widen(ms.fr_lq_wat, ms.n_cells, slots, alloc_dmat_zero) || !widen(ms.K_init, ms.n_cells, slots, alloc_dmat_zero))
    return 0;
  const permafrost_layer_soil_record& t = ms.permafrost_layer_soil;
  const int s = ms.KOTU_soiltype[cell];
  const int n_temp = t.Dn_nums[s];
  const long n_soil = std::min<long>(ms.numcells[cell], slots);
  const double* dz = ms.DZ[cell];
  // Depths are summed in centimetres and turned into metres once, so that a
  // node boundary on a temperature node compares equal.
  double above_cm = 0.0;  // depth of the top of Richards node k
  long k = 1;
  for (int j = 1; j <= n_temp; ++j) {
    while (k < n_soil && above_cm / 100.0 < t.Depth[s][j]) above_cm += dz[k++];
    ms.node_toKOTU[cell][j] = static_cast<int>(k);
  }
  double bottom_cm = 0.0;
  int j = 1;
  for (long kk = 1; kk <= n_soil; ++kk) {
    bottom_cm += dz[kk];
    while (j < n_temp && t.Depth[s][j] < bottom_cm / 100.0) ++j;
    ms.node_fromKOTU[cell][kk] = j;
  }
  return 0;
}

int frozen_conductivity_column(main_state& ms, long cell) {
  if (!permafrost_cell(ms, cell)) return 0;
  const long n = std::min<long>(ms.numcells[cell], ms.node_fromKOTU.size2());
  double* khead = ms.KHEAD[cell];
  for (long k = 1; k <= n; ++k) {
    ms.K_init[cell][k] = khead[k];
    const double impedance = frozen_impedance(mapped_temperature(ms, cell, k));
    ms.fr_lq_wat[cell][k] = impedance;
    if (impedance < 1.0) khead[k] = frozen_conductivity(khead[k], impedance);
  }
  return 0;
}

void write_hydro_con_listing(main_state& ms) {
  file_wrapper out;
  if (!open_permafrost_listing(ms, out, "KVPLhydroCon_linkage.txt", permafrost_listing_hydro_con)) return;
  const long c = permafrost_listing_cell;
  if (!permafrost_cell(ms, c) || c > ms.KHEAD.size1()) return;
  const long n = std::min<long>(ms.numcells[c], ms.node_fromKOTU.size2());
  for (long k = 1; k <= n; ++k)
    std::fprintf(out.fp, " %ld   %d   %lf   %lf   %lf   %lf \n", k, ms.node_fromKOTU[c][k], ms.K_init[c][k],
                 ms.KHEAD[c][k], ms.fr_lq_wat[c][k], mapped_temperature(ms, c, k));
}

double frozen_conductivity_factor(main_state& ms, long j, long, double ks, int layer) {
  if (!permafrost_cell(ms, j)) return ks;
  const double impedance = frozen_impedance(mapped_temperature(ms, j, layer));
  ms.fr_lq_wat[j][layer] = impedance;
  return impedance < 1.0 ? frozen_conductivity(ks, impedance) : ks;
}

int link_ga_layers_to_temp_nodes(main_state& ms, int cell) {
  if (!permafrost_cell(ms, cell)) return 0;
  const permafrost_layer_soil_record& t = ms.permafrost_layer_soil;
  const int s = ms.KOTU_soiltype[cell];
  const int n = t.Dn_nums[s];
  const soil_type_params& p = std::as_const(ms).soil_type_table[ms.soiltype[cell]];
  const double b1 = p.layer_depth[1] / 100.0;
  const double b2 = b1 + p.layer_depth[2] / 100.0;
  const double b3 = b2 + p.layer_depth[3] / 100.0;
  // A node belongs to the first layer whose bottom lies below it; nodes
  // below the second layer's bottom belong to the third.
  int last1 = 0, last2 = 0, last3 = 0;  // last node above each bottom
  for (int j = 1; j <= n; ++j) {
    const double z = t.Depth[s][j];
    ms.node_toKOTU[cell][j] = z < b1 ? 1 : z < b2 ? 2 : 3;
    if (z < b1) last1 = j;
    if (z < b2) last2 = j;
    if (z < b3) last3 = j;
  }
  int rep[4] = {};
  if (last1 == n) {
    // The profile ends inside the first layer: its middle node stands for all.
    rep[1] = rep[2] = rep[3] = std::max(1, n / 2);
  } else {
    rep[1] = last1 >= 1 ? last1 : nearest_node(t, s, b1 / 2.0);
    if (last2 == last1)
      rep[2] = nearest_node(t, s, (b1 + b2) / 2.0);
    else
      rep[2] = (rep[1] + (last2 == n ? n : last2)) / 2;
    if (last2 == n)
      rep[3] = rep[2];
    else if (last3 == last2)
      rep[3] = nearest_node(t, s, (b2 + b3) / 2.0);
    else
      rep[3] = last3 == n ? (last2 + n) / 2 : last3;
  }
  for (int l = 1; l <= 3; ++l) ms.node_fromKOTU[cell][l] = rep[l];
  return 0;
}

void write_ga_node_listing(main_state& ms) {
  file_wrapper out;
  if (!open_permafrost_listing(ms, out, "KVPLnode_linkage_GA.txt", permafrost_listing_ga_nodes)) return;
  const long c = permafrost_listing_cell;
  if (!permafrost_cell(ms, c)) return;
  const int n = ms.permafrost_layer_soil.Dn_nums[ms.KOTU_soiltype[c]];
  for (int j = 1; j <= n; ++j)
    if (j < n || ms.node_toKOTU[c][j] == 3) std::fprintf(out.fp, "%d   %d \n", j, ms.node_toKOTU[c][j]);
  std::fprintf(out.fp, "next next next next @@@@@@@@@@@@@@@@@@@@@@@@@ \n");
  std::fprintf(out.fp, "%d   %d  %d\n", ms.node_fromKOTU[c][1], ms.node_fromKOTU[c][2], ms.node_fromKOTU[c][3]);
}

double thawed_length(const double* z, const double* temp, int n, double top, double bottom) {
  if (n < 1) return 0.0;
  top = std::max(top, z[1]);
  bottom = std::min(bottom, z[n]);
  double length = 0.0;
  for (int j = 2; j <= n && top < bottom; ++j) {
    const double za = std::max(z[j - 1], top), zb = std::min(z[j], bottom);
    if (!(zb > za)) continue;
    const double slope = (temp[j] - temp[j - 1]) / (z[j] - z[j - 1]);
    const double ta = temp[j - 1] + slope * (za - z[j - 1]);
    const double tb = temp[j - 1] + slope * (zb - z[j - 1]);
    const bool thawed_a = ta > thawed_threshold, thawed_b = tb > thawed_threshold;
    if (thawed_a && thawed_b) {
      length += zb - za;
    } else if (thawed_a != thawed_b) {
      // The -0.06 C isotherm crosses the interval.
      const double zc = za + (thawed_threshold - ta) / (tb - ta) * (zb - za);
      length += thawed_a ? zc - za : zb - zc;
    }
  }
  return length;
}

int thawed_aquifer_thickness(main_state& ms, const double* ground, const double* head, const double* bottom) {
  const permafrost_layer_soil_record& t = ms.permafrost_layer_soil;
  const long n = std::min<long>(ms.n_cells, ms.extent_KOTUgw.size());
#pragma omp parallel for schedule(static)
  for (long c = 1; c <= n; ++c) {
    if (!permafrost_cell(ms, c)) continue;
    const int s = ms.KOTU_soiltype[c];
    ms.extent_KOTUgw[c] = thawed_length(t.Depth[s], ms.perma_tem[c], t.Dn_nums[s], ground[c] - head[c],
                                        ground[c] - bottom[c]);
  }
  file_wrapper out;
  if (!open_permafrost_listing(ms, out, "KVPL_GW_Transmissivity.txt", permafrost_listing_transmissivity)) return 0;
  const long c = permafrost_listing_cell;
  if (c <= n && permafrost_cell(ms, c)) std::fprintf(out.fp, " %lf  %lf \n", ms.extent_KOTUgw[c], head[c] - bottom[c]);
  return 0;
}

}  // namespace kavro
