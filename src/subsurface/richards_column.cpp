// The Richards columns' retention and conductivity relations applied to a
// whole column or to one node of the run record.
#include "subsurface/richards_column.h"

#include "framework/main_state.h"

namespace kavro {

namespace {

double* row_or_null(dmat& m, long cell) { return m.empty() ? nullptr : m[cell]; }

}  // namespace

column_view column_of(main_state& ms, long cell) {
  column_view c;
  c.phead = ms.PHEAD[cell];
  c.khead = ms.KHEAD[cell];
  c.theta = ms.THETA[cell];
  c.watcap = ms.WATCAP[cell];
  c.watflux = ms.WATFLUX[cell];
  c.source = ms.SOURCE[cell];
  c.dz = ms.DZ[cell];
  c.ks = ms.KS[cell];
  c.ths = ms.THETAS[cell];
  c.thr = ms.THETAR[cell];
  c.thwp = ms.THETAWP[cell];
  c.thfc = ms.THETAFC[cell];
  c.lam = row_or_null(ms.LAM, cell);
  c.bp = row_or_null(ms.BP, cell);
  c.thc = row_or_null(ms.thehac, cell);
  c.hc = row_or_null(ms.BChc, cell);
  c.ahav = row_or_null(ms.AHAV, cell);
  c.bhav = row_or_null(ms.BHAV, cell);
  c.alpha = row_or_null(ms.rich_alpha, cell);
  c.beta = row_or_null(ms.BETA, cell);
  c.n = ms.numcells[cell];
  return c;
}

void refresh_column_conductivity(column_view& c, int model) {
  if (model == brooks_corey_model) {
    for (long k = 1; k <= c.n; ++k) bc_node_conductivity(c, k);
  } else {
    for (long k = 1; k <= c.n; ++k) havercamp_node_conductivity(c, k);
  }
  c.khead[0] = c.khead[1];
  c.watcap[0] = c.watcap[1];
}

void richards_bc_conductivity(main_state& ms, long cell) {
  column_view c = column_of(ms, cell);
  refresh_column_conductivity(c, brooks_corey_model);
}

void richards_havercamp_conductivity(main_state& ms, long cell) {
  column_view c = column_of(ms, cell);
  refresh_column_conductivity(c, havercamp_model);
}

void head_from_theta(main_state& ms, long cell, long node, int model) {
  const column_view c = column_of(ms, cell);
  c.phead[node] = head_at_theta(c, node, c.theta[node], c.phead[node], model);
}

void theta_from_head(main_state& ms, long cell, long node, int model) {
  const column_view c = column_of(ms, cell);
  c.theta[node] = theta_at_head(c, node, c.phead[node], model);
}

}  // namespace kavro
