// Cost of an area-to-depth lookup (ex_section mode 1) on breakpoint nodes
// whose areas lie near the top of 30,000-row tables, beside the same lookup
// in 100-row tables: a search that scanned the rows would cost ~300 times
// more on the long tables; a binary search costs a few steps more.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>

#include "channel/cross_sections.h"
#include "framework/main_state.h"

namespace {

using kavro::main_state;

constexpr int links = 20, nodes = 50;

std::unique_ptr<main_state> network(int rows) {
  auto ms = std::make_unique<main_state>();
  ms->LINKS = links;
  ms->max_nodes_per_link = nodes + 1;
  for (kavro::ivec* v : {&ms->ltype, &ms->ldex, &ms->nx}) v->allocate(links);
  ms->link_inv_n.allocate(links);
  for (kavro::dmat* m : {&ms->bel, &ms->yp, &ms->area, &ms->conv, &ms->chan_depth}) m->allocate(nodes + 1, links);
  ms->table_num.allocate(nodes + 1, links);
  for (kavro::dmat* m : {&ms->xarea, &ms->xtw, &ms->xk, &ms->xp}) m->allocate(rows, links);
  ms->numhts.allocate(links);
  ms->ht_spc.allocate(links);
  ms->n_xsec_tables = links;
  const double step = 1.0 / rows;
  for (int l = 1; l <= links; ++l) {
    ms->ltype[l] = 8;
    ms->ldex[l] = l;
    ms->nx[l] = nodes;
    ms->link_inv_n[l] = 1 / 0.035;
    ms->numhts[l] = rows;
    ms->ht_spc[l] = step;
    for (int k = 1; k <= rows; ++k) {
      const double y = k * step;  // a rectangle 3 m wide
      ms->xarea[k][l] = 3 * y;
      ms->xk[k][l] = ms->link_inv_n[l] * 3 * y * std::pow(3 * y / (3 + 2 * y), 2.0 / 3.0);
    }
    for (int n = 1; n <= nodes; ++n) {
      ms->table_num[n][l] = l;
      ms->area[n][l] = 3 * (1.0 - (n % 7 + 1) * 1.3 * step);  // a few rows below the top
    }
  }
  return ms;
}

double ns_per_lookup(int rows) {
  auto ms = network(rows);
  const int passes = 2000;
  const auto t0 = std::chrono::steady_clock::now();
  for (int p = 0; p < passes; ++p) kavro::ex_section(*ms, 1, ms->area);
  const auto t1 = std::chrono::steady_clock::now();
  return std::chrono::duration<double, std::nano>(t1 - t0).count() / (double(passes) * links * nodes);
}

}  // namespace

int main() {
  ns_per_lookup(100);  // warm up
  const double short_tables = ns_per_lookup(100);
  const double long_tables = ns_per_lookup(30000);
  std::printf("ex_section mode 1, breakpoint nodes, areas near the table top (20 links x 50 nodes)\n");
  std::printf("  100-row tables:    %8.1f ns per lookup\n", short_tables);
  std::printf("  30,000-row tables: %8.1f ns per lookup  (%.2f x the 100-row cost; target within 3 x)\n",
              long_tables, long_tables / short_tables);
  return 0;
}
