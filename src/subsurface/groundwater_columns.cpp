// The aquifer's coupling to the Richards soil columns: the storage
// coefficient the water table meets as it moves through the column nodes,
// the sub-step control that keeps a rising water table from crossing more
// than two nodes at once, and the rebuild of a column around the moved water
// table. Column depths are in cm (nodes numbered from 1 at the surface, the
// water-table node numcells), heads and elevations in m.
#include <algorithm>
#include <cstdio>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "subsurface/groundwater_flow.h"
#include "subsurface/richards_column.h"
#include "subsurface/soil_type_table.h"

namespace kavro {

namespace {

inline bool fixed_head(int type) { return type == 2 || type == 5; }

int moisture_model(const main_state& ms) { return ms.richards_c_option == 1 ? 1 : 2; }

const soil_type_params& soil_of(const main_state& ms, long j) {
  const soil_type_store& table = ms.soil_type_table;
  return table[ms.soiltype[j]];
}

// Storage met by a water table rising through nodes w-1, w-2, ... by
// `water` cm; the nodes visited are counted into `count`.
double rising_storage(const main_state& ms, long j, double water, int& count) {
  const int w = ms.numcells[j];
  const double spacing1 = soil_of(ms, j).layer_node_spacing[1];
  double t = 0.0, held = 0.0;
  int k = w - 1;
  count = 0;
  while (water > 0.0) {
    const double thick = k >= 1 ? ms.DZ[j][k] : spacing1;
    const double moist = k >= 1 ? ms.THETAS[j][k] : 1.0;
    if (!(thick > 0.0) || !(moist > 0.0)) break;
    ++count;
    const double holding = thick * moist;
    water -= holding;
    const double part = water < 0.0 ? (holding + water) / moist : thick;
    t += part;
    held += part * moist;
    --k;
  }
  // k is now the node above the last one visited.
  if (t > 0.0 && (k <= 0 || ms.DZ[j][k] < t)) return held / t;
  return ms.THETAS[j][std::max(w - 1, 0)];
}

// The single saturated node of a column whose water table reached the
// ground.
void saturate_column(main_state& ms, long j, double h, double g, double s1) {
  ms.yes_exfil[j] = 1;
  ms.numcells[j] = 1;
  ms.DZ[j][1] = s1;
  ms.PHEAD[j][1] = (h - g) * 100.0 + s1 * 0.5;
}

// Head of node k from its moisture, or half its thickness when saturated.
void head_of_node(main_state& ms, long j, int k, int model) {
  if (ms.THETA[j][k] < ms.THETAS[j][k])
    head_from_theta(ms, j, k, model);
  else
    ms.PHEAD[j][k] = ms.DZ[j][k] * 0.5;
}

bool column_full(long j, int node) {
  std::printf(
      "Error: the soil column of cell %ld needs node %d after its water table moved, more than the column "
      "holds.\n",
      j, node);
  error_rec.code = already_printed_code;
  return false;
}

}  // namespace

bool gw_substep_control(main_state& ms, long n, double& dt) {
  for (;;) {
    int most = 0;
    for (long i = 1; i <= n; ++i) {
      if (fixed_head(ms.gwbound[i])) continue;
      const int w = ms.numcells[i];
      const double q = ms.gw_sink[i];
      if (ms.elevgw[i] >= ms.elevation[i]) {
        ms.gw_storage[i] = ms.THETAS[i][1];
        continue;
      }
      const int k = std::max(w - 1, 0);
      if (w <= 2) {
        ms.gw_storage[i] = ms.THETAS[i][k];
        const double room = ms.THETAS[i][k] - ms.THETA[i][k];
        if (q != 0.0 && room > 0.0 && -100.0 * q * dt / room > ms.DZ[i][k])
          dt = std::max(-room * ms.DZ[i][k] / (100.0 * q), 1.0);
        continue;
      }
      int count = 0;
      if (q > 0.0) {
        const double den = ms.THETAS[i][k] * ms.DZ[i][w];
        count = den > 0.0 ? static_cast<int>(100.0 * q * dt / den) : 0;
        ms.gw_storage[i] = ms.THETAS[i][k];
      } else {
        ms.gw_storage[i] = rising_storage(ms, i, -100.0 * q * dt, count);
      }
      most = std::max(most, count);
    }
    if (most < 3) return true;
    dt *= 0.5;
    if (!(dt > 1.0)) return true;
  }
}

void layer_weighted_property(main_state& ms, long j) {
  const soil_type_params& st = soil_of(ms, j);
  const int w = ms.numcells[j];
  const double h = ms.elevgw[j], g = ms.elevation[j];
  double m = (h - ms.gw_head_start[j]) * 100.0;
  const double d1 = st.layer_depth[1], d2 = st.layer_depth[2], d3 = st.layer_depth[3];
  const double e = h > g - d1 / 100.0               ? st.layer_node_spacing[1]
                   : h > g - (d1 + d2) / 100.0      ? st.layer_node_spacing[2]
                   : h > g - (d1 + d2 + d3) / 100.0 ? st.layer_node_spacing[3]
                                                    : ms.aquifer_delta_z * 100.0;
  const double at_table = ms.THETAS[j][std::max(w - 1, 0)];
  if (h > g) {
    ms.gw_storage[j] = ms.THETAS[j][1];
    return;
  }
  double t = 0.0, held = 0.0;
  if (m > 0.0) {
    int k = w - 1;
    while (m > 0.0) {
      const double thick = ms.DZ[j][std::max(k, 0)];
      const double moist = k >= 1 ? ms.THETAS[j][k] : 1.0;
      if (!(thick > 0.0)) break;
      m -= thick;
      const double part = m < 0.0 ? thick + m : thick;
      t += part;
      held += part * moist;
      --k;
    }
    ms.gw_storage[j] = t > 0.0 && (k <= 0 || t > ms.DZ[j][std::max(w - 1, 0)]) ? held / t : at_table;
  } else if (m < 0.0) {
    const int last = ms.numtot[j];
    for (int k = w; m < 0.0 && k <= last; ++k) {
      const double thick = ms.DZ[j][k];
      if (!(thick > 0.0)) break;
      m += thick;
      double part = thick;
      if (m > 0.0) {
        part = thick - m;
        m = 0.0;
      }
      t += part;
      held += part * ms.THETAS[j][k];
    }
    ms.gw_storage[j] = t > 0.0 && t + ms.DZ[j][std::max(w - 1, 0)] > 1.5 * e ? held / t : at_table;
  } else {
    ms.gw_storage[j] = at_table;
  }
}

bool rebuild_soil_column(main_state& ms, long j) {
  if (fixed_head(ms.gwbound[j])) {
    ms.gw_column_excess[j] = 0.0;
    return true;
  }
  const soil_type_params& st = soil_of(ms, j);
  const int type = ms.soiltype[j];
  const int model = moisture_model(ms);
  const double h = ms.elevgw[j], g = ms.elevation[j], bottom = ms.bottom_elev[j];
  const double d1 = st.layer_depth[1], d2 = st.layer_depth[2], d3 = st.layer_depth[3];
  const double s1 = st.layer_node_spacing[1], s2 = st.layer_node_spacing[2], s3 = st.layer_node_spacing[3];
  const double p1 = st.layer_porosity[1], p2 = st.layer_porosity[2], p3 = st.layer_porosity[3];
  const int capacity =
      static_cast<int>(std::min<long>(ms.DZ.size2(), static_cast<long>(ms.gw_column_dz_old.size()) - 1));
  double* old_dz = ms.gw_column_dz_old.data();
  double* old_theta = ms.gw_column_theta_old.data();
  double* dz = ms.DZ[j];
  double* theta = ms.THETA[j];
  double* phead = ms.PHEAD[j];
  const double* thetas = ms.THETAS[j];

  // 1. The old column.
  const int c = std::min(ms.numcells[j], capacity);
  double zc = g;
  for (int k = 1; k <= c - 1; ++k) zc -= dz[k] / 100.0;
  for (int k = 0; k <= c; ++k) {
    old_dz[k] = dz[k];
    old_theta[k] = theta[k];
  }
  ms.yes_exfil[j] = 0;
  ms.numcells[j] = 0;
  double excess = 0.0;

  // 2. Water table at or above the ground.
  if (g <= h) {
    saturate_column(ms, j, h, g, s1);
    ms.gw_column_excess[j] = 0.0;
    return true;
  }

  // 3. The layer of the water table and the nodes kept above it.
  int kept = 0;
  double top = g, f = s1 / 100.0, K = s1, L = s1 * 0.5, J = p1;
  if (h > g - d1 / 100.0) {
  } else if (h > g - (d1 + d2) / 100.0) {
    kept = ms.num1[type], top = g - d1 / 100.0, f = s2 / 100.0, K = s2, L = K * 0.5, J = p2;
  } else if (h > g - (d1 + d2 + d3) / 100.0) {
    kept = ms.num2[type], top = g - (d1 + d2) / 100.0, f = s3 / 100.0, K = s3, L = K * 0.5, J = p3;
  } else {
    kept = ms.num3[type], top = g - (d1 + d2 + d3) / 100.0, f = ms.aquifer_delta_z, K = f * 100.0, J = p3;
    L = h < bottom ? (bottom - f * 0.5 - h) * 100.0 : K * 0.5;
  }
  if (kept >= capacity) return column_full(j, kept + 1);
  for (int k = 1; k <= kept; ++k) dz[k] = k <= ms.num1[type] ? s1 : k <= ms.num2[type] ? s2 : s3;

  // 4. Nodes of the water-table layer down to the water table.
  int m = kept;
  if (f > 0.0) {
    while (top > h && top > bottom) {
      if (++m >= capacity) return column_full(j, m + 1);
      dz[m] = f * 100.0;
      top -= f;
      if (h - 1e-16 > top) {
        dz[m] = (f + top - h) * 100.0;
        if (dz[m] < f * 100.0 / 10000.0 && m > 1) {
          dz[m - 1] += dz[m];
          --m;
        }
      }
    }
  }

  // 5. The water-table node.
  int w = m + 1;
  const auto store_table_node = [&]() {
    ms.numcells[j] = w;
    dz[w] = K;
    phead[w] = L;
    theta[w] = J;
  };
  store_table_node();

  // 6. Moisture of the moved nodes.
  if (w == c && w >= 2) {
    theta[w - 1] = old_dz[w - 1] * old_theta[w - 1] / dz[w - 1];
    if (theta[w - 1] < thetas[w - 1]) {
      head_from_theta(ms, j, w - 1, model);
    } else {
      phead[w - 1] = dz[w - 1] * 0.5;
      L = dz[w] * 0.5 + dz[w - 1];
    }
  } else if (w < c) {
    for (int k = w; k <= c - 1; ++k) excess += old_theta[k] * old_dz[k];
  } else if (w > c) {
    if (w == 2) {
      if (s1 > dz[1]) {
        saturate_column(ms, j, h, g, s1);
        theta[1] = thetas[1];
        ms.gw_column_excess[j] = excess;
        return true;
      }
      phead[1] = phead[2] - dz[2] * 0.5 - dz[1] * 0.5;
      theta_from_head(ms, j, 1, model);
      excess -= dz[1] * theta[1];
    } else if (dz[w - 1] < 0.5 * dz[w - 2]) {
      const double merged = dz[w - 2] + dz[w - 1];
      theta[w - 2] = dz[w - 2] / merged * theta[w - 2];
      dz[w - 2] = merged;
      head_of_node(ms, j, w - 2, model);
      --w;
      store_table_node();
    } else if (c >= 2) {
      const double spread = old_dz[c - 1] * old_theta[c - 1] / (old_dz[c - 1] - (h - zc) * 100.0);
      for (int k = c - 1; k <= w - 1; ++k) {
        theta[k] = spread;
        head_of_node(ms, j, k, model);
      }
      const double v = phead[w] - dz[w] * 0.5 - dz[w - 1];
      if (theta[w - 1] < 0.75 * thetas[w - 1] && phead[w - 1] < v) {
        const double before = theta[w - 1];
        phead[w - 1] = v;
        theta_from_head(ms, j, w - 1, model);
        if (w - 1 < ms.numtot[j]) excess -= dz[w - 1] * (theta[w - 1] - before);
      }
    }
  }

  // 7. A thin node above the water table joins the node above it; less
  // than a full first node above the water table saturates the column.
  if (w - 1 > 1 && dz[w - 1] < 0.5 * dz[w - 2]) {
    const double merged = dz[w - 2] + dz[w - 1];
    theta[w - 2] = (theta[w - 2] * dz[w - 2] + theta[w - 1] * dz[w - 1]) / merged;
    dz[w - 2] = merged;
    head_of_node(ms, j, w - 2, model);
    --w;
    store_table_node();
  } else if (s1 > dz[1]) {
    excess += old_theta[1] * dz[1];
    saturate_column(ms, j, h, g, s1);
    theta[1] = thetas[1];
    ms.gw_column_excess[j] = excess;
    return true;
  }

  // 8. Nodes above the water table hold no more than saturation.
  int k = w - 1;
  bool capped = false;
  while (k >= 1 && theta[k] >= thetas[k]) {
    excess += (theta[k] - thetas[k]) * dz[k];
    theta[k] = thetas[k];
    capped = true;
    --k;
  }
  if (capped) {
    L = dz[w] * 0.5;
    for (int i = k + 1; i <= w - 1; ++i) L += dz[i];
    phead[w] = L;
    for (int i = w - 1; i >= k + 1; --i) phead[i] = phead[i + 1] - dz[i + 1] * 0.5 - dz[i] * 0.5;
  }

  // 9. The water-table node once more, and the water released.
  store_table_node();
  ms.gw_column_excess[j] = excess;
  return true;
}

}  // namespace kavro
