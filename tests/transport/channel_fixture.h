// Channel networks of the sediment tests: trapezoid, lake and structure
// links built in memory, with the sediment model and its channel arrays set
// up on them.
#pragma once

#include <algorithm>
#include <memory>
#include <vector>

#include "channel/cross_sections.h"
#include "framework/alloc.h"
#include "sediment_fixture.h"
#include "transport/channel_sediment_transport.h"

namespace kavro_test {

struct link_spec {
  int ltype;              // type bits: 2 erodible, 4 trapezoid, 32 lake, 64 structure
  int nodes;              // computational nodes
  double dx;              // node spacing (m)
  double bel1;            // bed at node 1 (m)
  double drop;            // bed fall per node (m)
  double b, z;            // bottom width (m), side slope
  std::vector<int> up;    // upstream links
  double max_eros = 0.5;  // erodible depth (m)
};

// The network of `links` (the last one the outlet) over a one-row grid of
// `n_cells` cells, with the size classes `classes`; every node dry. Lake
// links get lake numbers in link order.
inline std::unique_ptr<kavro::main_state> sediment_network(const std::vector<link_spec>& links,
                                                           const std::vector<size_class>& classes,
                                                           double sand_size, double porosity = 0.4,
                                                           int n_cells = 4) {
  using namespace kavro;
  auto ms = sediment_plane(
      1, n_cells, 10.0, [](int, int) { return 0.0; }, classes, 1, sand_size);
  const int L = static_cast<int>(links.size());
  int maxn = 0;
  for (const link_spec& s : links) maxn = std::max(maxn, s.nodes);
  ms->LINKS = L;
  ms->MAXNODES = maxn + 1;
  ms->max_nodes_per_link = maxn + 2;
  ms->link_dim = L + 1;
  ms->node_link_dim = (L + 1) * (maxn + 2);
  for (ivec* v :
       {&ms->ltype, &ms->ldex, &ms->nx, &ms->nx1, &ms->og_nx1, &ms->dslink, &ms->ndep, &ms->lake2link})
    v->allocate(L + 1);
  ms->link_inv_n.allocate(L + 1);
  ms->chan_dx.allocate(L + 1);
  ms->uslinks.allocate(L + 1, 3);
  for (dmat* m :
       {&ms->bottom, &ms->sslope, &ms->bel, &ms->yp, &ms->qp, &ms->area, &ms->conv, &ms->dconv, &ms->topw,
        &ms->chan_depth, &ms->qlat, &ms->bankfull_dep, &ms->area_old, &ms->max_eros, &ms->qp_vol_sed})
    m->allocate(ms->max_nodes_per_link, L + 1);
  ms->table_num.allocate(ms->max_nodes_per_link, L + 1);
  int lakes = 0;
  for (int l = 1; l <= L; ++l) {
    const link_spec& s = links[l - 1];
    ms->ltype[l] = s.ltype;
    ms->ldex[l] = l;
    if (s.ltype & 32) ms->lake2link[l] = ++lakes;
    ms->nx[l] = ms->og_nx1[l] = s.nodes;
    ms->nx1[l] = s.nodes + 1;
    ms->link_inv_n[l] = 1.0 / 0.035;
    ms->chan_dx[l] = s.dx;
    ms->ndep[l] = static_cast<int>(s.up.size());
    for (size_t k = 0; k < s.up.size(); ++k) {
      ms->uslinks[l][static_cast<long>(k) + 1] = s.up[k];
      ms->dslink[s.up[k]] = l;
    }
    for (int j = 1; j <= s.nodes; ++j) {
      ms->bottom[j][l] = s.b;
      ms->sslope[j][l] = s.z;
      ms->bankfull_dep[j][l] = 2.0;
      ms->max_eros[j][l] = s.max_eros;
      ms->bel[j][l] = ms->yp[j][l] = s.bel1 - s.drop * (j - 1);
    }
  }
  if (lakes > 0) {
    ms->lakes_on = 1;
    ms->n_lakes = lakes;
    for (dvec* v : {&ms->lake_elev, &ms->lake_volume}) v->allocate(lakes);
    ms->lake_cells.allocate(lakes);
    ms->lake_mask.allocate(ms->n_cells);
    alloc_lake_search(ms->lake_search, lakes, ms->n_cells);
  }
  ms->channel_on = 1;
  ms->sed_porosity = porosity;
  ms->ov_sed_out_on = 1;
  alloc_chan_sed_arrays(*ms);
  return ms;
}

// Node row of node k of link i.
inline long node_row(const kavro::main_state& ms, int i, int k) {
  return static_cast<long>(i) * ms.max_nodes_per_link + k;
}

// Depth h and discharge q at node k of link i (a trapezoid's area follows).
inline void set_flow(kavro::main_state& ms, int i, int k, double h, double q) {
  ms.chan_depth[k][i] = h;
  ms.yp[k][i] = ms.bel[k][i] + h;
  ms.qp[k][i] = q;
  const double b = ms.bottom[k][i], z = ms.sslope[k][i];
  ms.area[k][i] = z * h * h + b * h;
}

}  // namespace kavro_test
