// The two-dimensional saturated groundwater solver. Each call advances the
// heads over one groundwater interval: the sink terms of the whole interval
// first, then sub-steps of backward-Euler time integration, each solved by
// Picard passes on the transmissivities around a line relaxation of the
// five-point system.
//
// Units: heads, elevations and widths in m, conductivities in m/s,
// transmissivities in m2/s, sink terms in m/s over the cell, volumes in m3.
// Soil-side depths (recharge, column excess) arrive in cm.
#include "subsurface/groundwater_flow.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/parallel_sum.h"
#include "hydromet/frozen_ground_couplings.h"
#include "subsurface/tridiag_solve.h"
#include "subsurface/wells.h"

namespace kavro {

namespace {

// Fixed-head cells: type 2 books the flux it sends, type 5 does not.
inline bool fixed_head(int type) { return type == 2 || type == 5; }

// The thinnest saturated thickness the solver keeps (m).
constexpr double head_floor = 0.001;

bool tile_exchange_on(const main_state& ms) {
  return (ms.superlink_tiles_on || (ms.drain && ms.drain->tile_drains_on)) && ms.vol_tile_grid.size() > 0;
}

// Sink terms of the interval `dt` for every cell that is not fixed: the
// water the soil, tiles, lakes, channels and exfiltration exchanged since the
// last call, leakage and pumping, turned into one rate. Each cell's volume
// gained goes to gw_cell_volume; returns their sum.
double gw_source_sum(main_state& ms, long n, double dt) {
  const bool tiles = tile_exchange_on(ms);
  const bool lakes = ms.lakes_on && ms.lake_loss_on == 1 && ms.lake_source.size() >= n;
  const bool chan = ms.channel_on && ms.stream_gw_cell_vol.size() >= n;
  const bool exfil = ms.gw_exfil_depth.size() >= n;
  const bool recharge = ms.rich_bottom_flux.size() >= n;
  const bool keep_excess = ms.richards_on == 1;
  const bool static_flux = ms.wells_on == 0;
  const double leak_rate = ms.gw_leakage_rate / 100.0 / 3600.0;
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long i = 1; i <= n; ++i) {
    ms.gw_cell_volume[i] = 0.0;
    if (fixed_head(ms.gwbound[i])) continue;
    const double area = ms.gw_cell_dx[i] * ms.gw_cell_dy[i];
    // Depths (m) handed over since the last call, positive = out of the aquifer.
    double depth = 0.0;
    if (recharge) depth -= ms.rich_bottom_flux[i] / 100.0;
    if (tiles) {
      depth += ms.vol_tile_grid[i] / area;
      ms.vol_tile_grid[i] = 0.0;
    }
    if (lakes && ms.lake_source[i] != 0.0) {
      depth += ms.lake_source[i] / area;
      ms.lake_source[i] = 0.0;
    }
    if (chan) {
      depth += ms.stream_gw_cell_vol[i] / area;
      ms.stream_gw_cell_vol[i] = 0.0;
    }
    if (exfil) {
      depth += ms.gw_exfil_depth[i];
      ms.gw_exfil_depth[i] = 0.0;
    }
    depth -= ms.gw_column_excess[i] / 100.0;
    if (!keep_excess) ms.gw_column_excess[i] = 0.0;

    const double b = ms.elevgw[i] - ms.bottom_elev[i];
    double leak = leak_rate;
    if (b < 0.01)
      leak = 0.0;
    else if (dt > 0.0 && leak * dt > b)
      leak = b / dt;
    if (static_flux) ms.gw_well_rate[i] = ms.gw_static_flux[i];
    if (ms.gw_well_rate[i] > 0.0 && b < 0.01) ms.gw_well_rate[i] = 0.0;
    if (!(dt > 0.0)) {
      // No time passes: the handed-over water enters at once.
      ms.gw_leakage[i] = leak;
      ms.gw_sink[i] = 0.0;
      ms.gw_cell_volume[i] = -depth * area;
      continue;
    }
    double q = ms.gw_well_rate[i] + leak + depth / dt;
    if (q > 0.0 && b < head_floor) q = 0.0;
    const double s = ms.gw_storage[i];
    if (q > 0.0 && s > 0.0 && b - dt * q / s < head_floor) {
      // The cell cannot give more than its storage above the floor: the cut
      // comes off pumping first, then leakage, so that their totals book
      // what was taken.
      const double cut_q = s * std::max(b - head_floor, 0.0) / dt;
      double cut = q - cut_q;
      const double from_well = std::min(cut, std::max(ms.gw_well_rate[i], 0.0));
      ms.gw_well_rate[i] -= from_well;
      cut -= from_well;
      leak -= std::min(cut, leak);
      q = cut_q;
    }
    ms.gw_leakage[i] = leak;
    ms.gw_sink[i] = q;
    ms.gw_cell_volume[i] = -(dt * q * area);
  }
  return fixed_chunk_sum(
      1, n, [&ms](long i) { return ms.gw_cell_volume[i]; }, ms.gw_sum_partials);
}

// Saturated thickness and transmissivities of the current iterate; the
// iterate is kept and every pass solves from the heads of the sub-step start.
void gw_transmissivity(main_state& ms, long n) {
  const bool thawed =
      ms.project_params.permafrost_kotu != 0 && ms.permaf_mask.size() >= n && ms.extent_KOTUgw.size() >= n;
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long i = 1; i <= n; ++i) {
    ms.gw_head_iter[i] = ms.elevgw[i];
    const double b =
        thawed && ms.permaf_mask[i] != 0 ? ms.extent_KOTUgw[i] : ms.elevgw[i] - ms.bottom_elev[i];
    ms.gw_sat_thickness[i] = b;
    const double bt = std::max(b, 0.001);
    ms.gw_trans_x[i] = bt * ms.gw_hycond_x[i];
    ms.gw_trans_y[i] = bt * ms.gw_hycond_y[i];
    ms.elevgw[i] = ms.gw_head_start[i];
  }
}

// Coupling of cell i to neighbour n across a face: the harmonic mean of the
// two transmissivities weighted by the half widths, per unit width of i.
inline double face_coef(double ti, double tn, double wi, double wn) {
  const double den = wn * ti + wi * tn;
  return den > 0.0 ? 2.0 * ti * tn / den / wi : 0.0;
}

// The five-point system of the pass: row i reads
// sum_n c_n (h_n - h_i) - S_i (h_i - h_i,start) / dt = q_i; a fixed cell's
// row keeps its head.
void gw_coefficients(main_state& ms, long n, double dt) {
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long i = 1; i <= n; ++i) {
    if (fixed_head(ms.gwbound[i])) {
      ms.gw_coef_above[i] = ms.gw_coef_below[i] = ms.gw_coef_left[i] = ms.gw_coef_right[i] = 0.0;
      ms.gw_coef_diag[i] = 1.0;
      ms.gw_rhs[i] = ms.elevgw[i];
      continue;
    }
    const double tx = ms.gw_trans_x[i], ty = ms.gw_trans_y[i];
    const double wx = ms.gw_cell_dx[i], wy = ms.gw_cell_dy[i];
    const long a = ms.abovecon[i], b = ms.belowcon[i], l = ms.leftcon[i], r = ms.rightcon[i];
    const double ca = a ? face_coef(ty, ms.gw_trans_y[a], wy, ms.gw_cell_dy[a]) : 0.0;
    const double cb = b ? face_coef(ty, ms.gw_trans_y[b], wy, ms.gw_cell_dy[b]) : 0.0;
    const double cl = l ? face_coef(tx, ms.gw_trans_x[l], wx, ms.gw_cell_dx[l]) : 0.0;
    const double cr = r ? face_coef(tx, ms.gw_trans_x[r], wx, ms.gw_cell_dx[r]) : 0.0;
    const double s = ms.gw_storage[i] / dt;
    ms.gw_coef_above[i] = ca;
    ms.gw_coef_below[i] = cb;
    ms.gw_coef_left[i] = cl;
    ms.gw_coef_right[i] = cr;
    ms.gw_coef_diag[i] = -(ca + cl + cr + cb + s);
    ms.gw_rhs[i] = ms.gw_sink[i] - s * ms.elevgw[i];
  }
}

// Raises heads closer than the floor to the aquifer bottom; the water that
// adds to a cell that is not fixed is booked. Returns that volume.
double gw_head_floor(main_state& ms, long n) {
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long i = 1; i <= n; ++i) {
    ms.gw_cell_volume[i] = 0.0;
    const double lowest = ms.bottom_elev[i] + head_floor;
    if (!(ms.elevgw[i] < lowest)) continue;
    if (!fixed_head(ms.gwbound[i]))
      ms.gw_cell_volume[i] = (lowest - ms.elevgw[i]) * ms.gw_storage[i] * ms.gw_cell_dx[i] * ms.gw_cell_dy[i];
    ms.elevgw[i] = lowest;
    if (ms.gw_sink[i] > 0.0) ms.gw_sink[i] = 0.0;
  }
  return fixed_chunk_sum(
      1, n, [&ms](long i) { return ms.gw_cell_volume[i]; }, ms.gw_sum_partials);
}

// Volume that left each type-2 cell in the sub-step, booked with the very
// coefficients the solver gave its neighbours that are not fixed, so that
// the aquifer balance closes.
void gw_boundary_flux(main_state& ms, long n, double dt) {
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long i = 1; i <= n; ++i) {
    if (ms.gwbound[i] != 2) continue;
    const double h = ms.elevgw[i];
    double v = 0.0;
    const auto add = [&](long nb, double coef_toward_i) {
      if (nb == 0 || fixed_head(ms.gwbound[nb])) return;
      v += coef_toward_i * (h - ms.elevgw[nb]) * ms.gw_cell_dx[nb] * ms.gw_cell_dy[nb] * dt;
    };
    const long a = ms.abovecon[i], b = ms.belowcon[i], l = ms.leftcon[i], r = ms.rightcon[i];
    if (a) add(a, ms.gw_coef_below[a]);
    if (b) add(b, ms.gw_coef_above[b]);
    if (l) add(l, ms.gw_coef_right[l]);
    if (r) add(r, ms.gw_coef_left[r]);
    ms.gw_flux[i] += v;
  }
}

// Copies the heads of the sub-step start; false after a head that is not a
// number.
bool keep_substep_start(main_state& ms, long n) {
  for (long i = 1; i <= n; ++i) {
    if (std::isnan(ms.elevgw[i])) {
      std::printf("elevgw NaN in main()- point 7, grid cell %ld\n", i);
      error_rec.code = already_printed_code;
      report_error(error_rec);
      return false;
    }
    ms.gw_head_start[i] = ms.elevgw[i];
  }
  return true;
}

// Picard passes of one sub-step; false after a reported failure.
bool picard_passes(main_state& ms, long n, double dt) {
  for (int pass = 1;; ++pass) {
    if (pass >= gw_max_passes) {
      std::printf("Error: Non-convergence in the groundwater after %d tries.\n", gw_max_passes);
      error_rec.code = already_printed_code;
      report_error(error_rec);
      return false;
    }
    if (pass >= 49) std::printf("GW IS NOT CONVERGING \n");
    if (ms.project_params.permafrost_kotu != 0 && ms.extent_KOTUgw.size() >= n)
      thawed_aquifer_thickness(ms, ms.elevation.data(), ms.elevgw.data(), ms.bottom_elev.data());
    gw_transmissivity(ms, n);
    gw_coefficients(ms, n, dt);
    if (gw_line_relaxation(ms) < 0) {
      report_error(error_rec);
      return false;
    }
    double change = 0.0;
    for (long i = 1; i <= n; ++i) change = std::max(change, std::fabs(ms.elevgw[i] - ms.gw_head_iter[i]));
    if (change <= 0.001) return true;
    if (ms.richards_on == 1)
      for (long i = 1; i <= n; ++i)
        if (!fixed_head(ms.gwbound[i])) layer_weighted_property(ms, i);
  }
}

// After the passes of a sub-step: each soil column is rebuilt around its
// moved water table; while time remains, the water a rebuild releases
// enters the following sub-steps as a sink term. Returns the volume booked
// into the aquifer; false in `ok` after a failed rebuild.
double couple_soil_columns(main_state& ms, long n, double remaining, bool& ok) {
  double v = 0.0;
  for (long i = 1; i <= n; ++i) {
    if (!rebuild_soil_column(ms, i)) {
      ok = false;
      return 0.0;
    }
    if (!(remaining > 0.0)) continue;
    const double excess = ms.gw_column_excess[i];
    if (!fixed_head(ms.gwbound[i])) {
      ms.gw_column_excess_total += excess;
      ms.gw_sink[i] -= excess / 100.0 / remaining;
      v += excess / 100.0 * ms.gw_cell_dx[i] * ms.gw_cell_dy[i];
    }
    ms.rich_bottom_flux[i] += excess;
    ms.gw_column_excess[i] = 0.0;
  }
  return v;
}

}  // namespace

bool alloc_groundwater_work(main_state& ms) {
  const long n = ms.n_cells;
  dvec* per_cell[] = {&ms.gw_hycond_x,      &ms.gw_hycond_y,   &ms.gw_cell_dx,       &ms.gw_cell_dy,
                      &ms.gw_sat_thickness, &ms.gw_trans_x,    &ms.gw_trans_y,       &ms.gw_well_rate,
                      &ms.gw_static_flux,   &ms.gw_sink,       &ms.gw_column_excess, &ms.gw_head_prev,
                      &ms.gw_cell_volume,   &ms.gw_coef_above, &ms.gw_coef_below,    &ms.gw_coef_left,
                      &ms.gw_coef_right,    &ms.gw_coef_diag,  &ms.gw_rhs,           &ms.gw_head_start,
                      &ms.gw_head_iter,     &ms.gw_storage,    &ms.gw_porosity,      &ms.gw_leakage,
                      &ms.gw_flux,          &ms.elevgw,        &ms.bottom_elev};
  for (dvec* v : per_cell)
    if (v->size() < n && !alloc_dvec(*v, n, v->name())) return false;
  if (ms.gwbound.size() < n && !alloc_ivec(ms.gwbound, n, "gwbound")) return false;
  if (ms.yes_exfil.size() < n && !alloc_ivec(ms.yes_exfil, n, "yes_exfil")) return false;
  const std::size_t line = static_cast<std::size_t>(std::max(ms.grid_rows, ms.grid_cols)) + 1;
  ms.gw_line_sub.assign(line, 0.0);
  ms.gw_line_diag.assign(line, 0.0);
  ms.gw_line_sup.assign(line, 0.0);
  ms.gw_line_rhs.assign(line, 0.0);
  ms.gw_line_cell.assign(line, 0);
  const std::size_t nodes = static_cast<std::size_t>(std::max(ms.richards_max_nodes, 0)) + 1;
  ms.gw_column_dz_old.assign(nodes, 0.0);
  ms.gw_column_theta_old.assign(nodes, 0.0);
  ms.gw_sum_partials.assign(static_cast<std::size_t>(sum_chunk_count(1, n)), 0.0);
  return true;
}

long gw_line_relaxation(main_state& ms) {
  const bool row_lines = ms.gw_lsor_dir == 1;
  const int n_lines = row_lines ? ms.grid_rows : ms.grid_cols;
  const int length = row_lines ? ms.grid_cols : ms.grid_rows;
  const bool ascending = ms.gw_toggle == 1;
  const double w = ms.gw_relax_coeff;
  double* h = ms.elevgw.data();
  double* sub = ms.gw_line_sub.data();
  double* diag = ms.gw_line_diag.data();
  double* sup = ms.gw_line_sup.data();
  double* rhs = ms.gw_line_rhs.data();
  long* cell = ms.gw_line_cell.data();
  // Along the line: previous and next neighbour; across it: the two others.
  const dvec& c_prev = row_lines ? ms.gw_coef_left : ms.gw_coef_above;
  const dvec& c_next = row_lines ? ms.gw_coef_right : ms.gw_coef_below;
  const dvec& c_x1 = row_lines ? ms.gw_coef_above : ms.gw_coef_left;
  const dvec& c_x2 = row_lines ? ms.gw_coef_below : ms.gw_coef_right;
  const ivec& n_x1 = row_lines ? ms.abovecon : ms.leftcon;
  const ivec& n_x2 = row_lines ? ms.belowcon : ms.rightcon;
  for (long sweep = 1; sweep <= gw_max_sweeps; ++sweep) {
    double largest = 1e-20;
    for (int k = 0; k < n_lines; ++k) {
      const int line = ascending ? k + 1 : n_lines - k;
      long m = 0;
      for (int p = 1; p <= length; ++p) {
        const long i = row_lines ? ms.mask[line][p] : ms.mask[p][line];
        if (i == 0) continue;
        ++m;
        cell[m] = i;
        sub[m] = c_prev[i];
        sup[m] = c_next[i];
        diag[m] = ms.gw_coef_diag[i];
        double cross = 0.0;
        if (const long a = n_x1[i]) cross += c_x1[i] * h[a];
        if (const long b = n_x2[i]) cross += c_x2[i] * h[b];
        rhs[m] = ms.gw_rhs[i] - cross;
      }
      if (m == 0) continue;
      tridiag_solve(1, m, sup, diag, sub, rhs);
      for (long q = 1; q <= m; ++q) {
        const long i = cell[q];
        const double d = rhs[q] - h[i];
        h[i] += w * d;
        const double ad = std::fabs(d);
        if (ad > largest) largest = ad;
      }
    }
    ms.gw_sweeps_last = sweep;
    if (largest < ms.gw_lsor_con) return sweep;
  }
  std::printf("Error: Non-convergence in the groundwater line relaxation after %ld sweeps.\n", gw_max_sweeps);
  error_rec.code = already_printed_code;
  return -1;
}

double gw_pass_cell_loops(main_state& ms, long n, double dt) {
  double sum = gw_source_sum(ms, n, dt);
  gw_transmissivity(ms, n);
  gw_coefficients(ms, n, dt);
  sum += gw_head_floor(ms, n);
  gw_boundary_flux(ms, n, dt);
  return sum;
}

double groundwater_flow(main_state& ms, long n, double step) {
  ms.gw_column_excess_total = 0.0;
  if (ms.wells_on) well_pumping_rates(ms.gw_well_rate, n, ms.now, ms.dx);
  double sum = gw_source_sum(ms, n, step);
  if (!(step > 0.0)) return sum;
  double dt = step;
  double remaining = step;
  while (remaining > 0.0) {
    if (!keep_substep_start(ms, n)) return 0.0;
    if (ms.richards_on == 1 && !gw_substep_control(ms, n, dt)) return 0.0;
    if (remaining - dt < 0.0) dt = remaining;
    remaining -= dt;
    if (!picard_passes(ms, n, dt)) return 0.0;
    sum += gw_head_floor(ms, n);
    if (ms.richards_on == 1) {
      bool ok = true;
      sum += couple_soil_columns(ms, n, remaining, ok);
      if (!ok) {
        report_error(error_rec);
        return 0.0;
      }
    }
    gw_boundary_flux(ms, n, dt);
  }
  return sum;
}

}  // namespace kavro
