// Transport of the dissolved constituents over the land surface: once per
// constituent interval every cell releases its pending sources and sinks
// (the cell budget), then each constituent is advected with the mean face
// flows of the overland routing and dispersed between neighbours, one
// direction after the other, each by a predictor and a corrector. Fluxes
// are computed per face from read-only concentrations and gathered per cell
// from its own upper (left) face and its lower (right) neighbour's, so each
// cell is written by one thread only.
#include "transport/ov_constituent_transport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>

#include "framework/main_state.h"
#include "framework/parallel_sum.h"
#include "transport/constituent_math.h"
#include "transport/ov_constituent_kinetics.h"
#include "transport/transport_steps.h"

namespace kavro {

namespace {

// Per-cell budget terms of one constituent, summed after the cell loop.
enum budget_term : int {
  term_precip,
  term_exfil,
  term_uptake,
  term_decay,
  term_sed,
  term_infil,
  term_nsm_in,
  term_nsm_out,
  term_qlat,
  term_out,
  term_neg,
  term_count
};

// A cell the transport leaves alone: a lake cell not just flooded, or one
// the last lake extent update removed.
bool inactive_cell(const main_state& ms, long j) {
  if (!ms.lakes_on) return false;
  return ms.new_flooded_grid[j] == -1 || (ms.lake_mask[j] > 0 && ms.new_flooded_grid[j] == 0);
}

// Takes the released part of a pending amount out of it and out of the mass
// left r; a sink larger than r is cut to r and empties the accumulator.
double take_sink(double& pending, double x, double interval, double& r) {
  double part = release_fraction(x, interval, pending);
  if (part > r) {
    part = r;
    pending = 0.0;
  } else {
    pending -= part;
  }
  r -= part;
  return part;
}

// A signed amount: gains add, a loss is cut to the mass left.
double take_signed(double& pending, double x, double interval, double& r) {
  const double part = release_fraction(x, interval, pending);
  if (part >= 0.0) {
    pending -= part;
    r += part;
    return part;
  }
  double loss = -part;
  if (loss > r) {
    loss = r;
    pending = 0.0;
  } else {
    pending += loss;
  }
  r -= loss;
  return -loss;
}

struct sweep_view {
  const double* depth;
  const double* disp;
  const double* q;      // face flow of the upstream neighbour (toward the cell)
  const int* up;        // upstream neighbour (above or left)
  const int* down;      // downstream neighbour (below or right)
  const double* lake_conc;  // [lake] concentration of the constituent, or null without lakes
  const main_state* ms;
};

// Dispersive and advective flux (g/s) into cell j through its upstream face,
// from concentrations c.
inline void face_flux(const sweep_view& v, long j, const double* c, double& fd, double& fa) {
  fd = fa = 0.0;
  const long n = v.up[j];
  if (n == 0) return;
  const double q = v.q[n];
  if (v.lake_conc) {
    const bool in_j = inactive_cell(*v.ms, j), in_n = inactive_cell(*v.ms, n);
    if (in_j && in_n) return;
    if (in_j) {
      fa = q * (q > 0.0 ? c[n] : v.lake_conc[v.ms->lake_mask[j]]);
      return;
    }
    if (in_n) {
      fa = q * (q > 0.0 ? v.lake_conc[v.ms->lake_mask[n]] : c[j]);
      return;
    }
  }
  const double hj = v.depth[j], hn = v.depth[n];
  if (hj > tiny_amount && hn > tiny_amount) fd = std::min(hj * v.disp[j], hn * v.disp[n]) * (c[n] - c[j]);
  fa = q >= 0.0 ? q * c[n] : q * c[j];
}

}  // namespace

double ov_cell_contam_budget(main_state& ms, int i, long j, double x, double* terms, long stride) {
  if (ms.lakes_on && ms.lake_mask[j] > 0) return 0.0;
  double r = ms.con_work_mass[static_cast<size_t>(j)];
  const double r0 = r;
  // The rain load is in the cell mass already: only booked here.
  terms[term_precip * stride] = take_signed(ms.ov_precip_cell_mass[i][j], x, ms.precip_load_secs, r);
  r = r0;
  if (ms.water_table_on && !ms.yes_exfil.empty() && ms.yes_exfil[j]) {
    const double t = ms.soil_contam_on ? (ms.now - ms.soil_contam_last) * seconds_per_day : x;
    terms[term_exfil * stride] = take_signed(ms.ov_exfil_cell_mass[i][j], x, t, r);
  }
  const int type = ms.constituent_type[i];
  if (ms.contam_table_read && type == 1) {
    const double e = take_signed(ms.ov_uptake_cell_mass[i][j], x, ms.soil_exchange_secs, r);
    terms[term_uptake * stride] = e;
    if (ms.soil_contam_on) ms.soil_to_ov_mass[i][j] += e;
    terms[term_decay * stride] = take_sink(ms.ov_decay_cell_mass[i][j], x, ms.decay_secs, r);
  }
  if (ms.sed_contam_on && !ms.sed_source_cell_mass.empty())
    terms[term_sed * stride] = take_signed(ms.sed_source_cell_mass[i][j], x, x, r);
  const double infil = take_sink(ms.ov_infil_cell_mass[i][j], x, ms.infil_mass_secs, r);
  terms[term_infil * stride] += infil;
  if (ms.soil_contam_on) ms.ov_to_soil_mass[i][j] += infil;
  if (ms.nutrients_on && type == 2) {
    const double d = take_signed(ms.ov_nsm_cell_mass[i][j], x, ms.nsm_time_days * seconds_per_day, r);
    terms[(d > 0.0 ? term_nsm_in : term_nsm_out) * stride] = std::abs(d);
    if (ms.soil_contam_on) {
      const double t = ms.nsm_soil_days * seconds_per_day;
      terms[term_uptake * stride] += take_signed(ms.ov_uptake_cell_mass[i][j], x, t, r);
      terms[term_decay * stride] += take_sink(ms.ov_decay_cell_mass[i][j], x, t, r);
    }
  }
  if (ms.channel_on) {
    terms[term_qlat * stride] = take_sink(ms.ov_gst_cell_mass[i][j], x, ms.gst_mass_secs, r);
  } else if (j == ms.outlet_cell) {
    terms[term_out * stride] = take_sink(ms.ov_exit_mass[i], x, ms.outlet_mass_secs, r);
  }
  return x > 0.0 ? (r - r0) / x : 0.0;
}

void size_constituent_work(main_state& ms) {
  const size_t n = static_cast<size_t>(ms.n_cells) + 1;
  if (ms.con_work_conc.size() == n) return;
  for (std::vector<double>* v : {&ms.con_work_conc, &ms.con_work_mass, &ms.con_work_disp, &ms.con_net_rate,
                                 &ms.con_flux_d, &ms.con_flux_a, &ms.con_flux_d_new, &ms.con_flux_a_new,
                                 &ms.con_pred_conc, &ms.con_pred_mass, &ms.con_rain_depth})
    v->assign(n, 0.0);
  ms.con_cell_terms.assign(n * term_count, 0.0);
  ms.con_cell_flag.assign(n, 0);
}

// One direction of the transport of constituent i over x seconds: `y` the
// faces between a cell and the cell above it (flows ov_qy), else between a
// cell and its left neighbour (ov_qx). Work mass and concentration advance.
void ov_contam_sweep(main_state& ms, int i, bool y, double x) {
  const long n = ms.n_cells;
  const double area = ms.dx * ms.dx;
  sweep_view v{ms.ov_depth.data(), ms.con_work_disp.data(), y ? ms.ov_qy.data() : ms.ov_qx.data(),
               y ? ms.abovecon.data() : ms.leftcon.data(), y ? ms.belowcon.data() : ms.rightcon.data(),
               ms.lakes_on && !ms.lake_conc.empty() ? ms.lake_conc[i] : nullptr, &ms};
  double* c = ms.con_work_conc.data();
  double* m = ms.con_work_mass.data();
  double* fd = ms.con_flux_d.data();
  double* fa = ms.con_flux_a.data();
  double* fd2 = ms.con_flux_d_new.data();
  double* fa2 = ms.con_flux_a_new.data();
  double* cp = ms.con_pred_conc.data();
  const double* rate = ms.con_net_rate.data();
  double* neg = ms.con_cell_terms.data() + static_cast<size_t>(term_neg) * (static_cast<size_t>(n) + 1);
  const bool lakes = v.lake_conc != nullptr;
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long j = 1; j <= n; ++j) face_flux(v, j, c, fd[j], fa[j]);
  // Predictor.
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long j = 1; j <= n; ++j) {
    if (lakes && inactive_cell(ms, j)) {
      cp[j] = c[j];
      continue;
    }
    const long b = v.down[j];
    const double out = b ? fd[b] + fa[b] : 0.0;
    const double mp = (fd[j] + fa[j] - out + 0.5 * rate[j]) * x + m[j];
    const double h = v.depth[j];
    cp[j] = h >= tiny_amount && mp >= 0.0 ? mp / (h * area) : 0.0;
  }
  // Corrector: the mean of the fluxes from the old and the predicted state.
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long j = 1; j <= n; ++j) {
    double d = 0.0, a = 0.0;
    face_flux(v, j, cp, d, a);
    fd2[j] = 0.5 * (fd[j] + d);
    fa2[j] = 0.5 * (fa[j] + a);
  }
  if (lakes) {
    // Mass crossing a lake face goes into or out of the lake, in cell order.
    double* lake_in = ms.lake_ov_inflow_mass[i];
    for (long j = 1; j <= n; ++j) {
      const long u = v.up[j];
      if (u == 0) continue;
      const bool in_j = inactive_cell(ms, j), in_u = inactive_cell(ms, u);
      if (in_j && !in_u) lake_in[ms.lake_mask[j]] += fa2[j] * x;
      if (in_u && !in_j) lake_in[ms.lake_mask[u]] -= fa2[j] * x;
    }
  }
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long j = 1; j <= n; ++j) {
    if (lakes && inactive_cell(ms, j)) continue;
    const long b = v.down[j];
    const double out = b ? fd2[b] + fa2[b] : 0.0;
    const double mn = (fd2[j] + fa2[j] - out + 0.5 * rate[j]) * x + m[j];
    const double h = v.depth[j];
    if (h < tiny_amount) {
      c[j] = 0.0;
      m[j] = mn;
    } else if (mn >= 0.0) {
      m[j] = mn;
      c[j] = mn / (h * area);
    } else {
      neg[j] += -mn;
      m[j] = c[j] = 0.0;
    }
  }
}

void ov_contam_transport_cells(main_state& ms, int i, double x) {
  const bool y_first = ms.ov_contam_toggle == 1;
  ov_contam_sweep(ms, i, y_first, x);
  ov_contam_sweep(ms, i, !y_first, x);
}

void ov_contam_transport_step(main_state& ms) {
  if (!ms.ov_contam_on || std::abs(ms.next_ov_contam_time - ms.now) >= ms.time_tol) return;
  size_constituent_work(ms);
  const long n = ms.n_cells;
  const size_t stride = static_cast<size_t>(n) + 1;
  const double x = (ms.now - ms.last_ov_contam_time) * seconds_per_day;
  double* terms = ms.con_cell_terms.data();
  for (int i = 1; i <= ms.n_constituents; ++i) {
    if (ms.constituent_type[i] == 3) continue;
    std::fill(ms.con_cell_terms.begin(), ms.con_cell_terms.end(), 0.0);
    double* conc = ms.ov_constituent_conc[i];
    double* mass = ms.ov_constituent_mass[i];
    const double* disp = ms.ov_disp_table[i];
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
    for (long j = 1; j <= n; ++j) {
      ms.con_work_conc[static_cast<size_t>(j)] = conc[j];
      ms.con_work_mass[static_cast<size_t>(j)] = mass[j];
      ms.con_work_disp[static_cast<size_t>(j)] = disp ? disp[j] : 0.0;
      ms.con_net_rate[static_cast<size_t>(j)] =
          inactive_cell(ms, j) ? 0.0 : ov_cell_contam_budget(ms, i, j, x, terms + j, static_cast<long>(stride));
    }
    ov_contam_transport_cells(ms, i, x);

    // Back into the run arrays; the mass of a cell without water leaves the
    // surface: into the lake, the soil or the land store.
    double* to_soil = ms.soil_contam_on ? ms.ov_to_soil_mass[i] : nullptr;
    double* land = ms.ov_mass_load_table[i];
    double* dried = terms + term_infil * stride;
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
    for (long j = 1; j <= n; ++j) {
      double mj = ms.con_work_mass[static_cast<size_t>(j)];
      double cj = ms.con_work_conc[static_cast<size_t>(j)];
      if (mj < 0.0) mj = cj = 0.0;
      mass[j] = mj;
      conc[j] = cj;
      if (ms.ov_depth[j] >= tiny_amount || mj < tiny_amount) continue;
      if (ms.lakes_on && ms.lake_mask[j] > 0) continue;  // booked to the lake below, in cell order
      if (to_soil) {
        dried[j] += mj;
        to_soil[j] += mj;
      } else {
        land[j] += mj;
      }
      mass[j] = conc[j] = 0.0;
    }
    if (ms.lakes_on && !ms.lake_ov_inflow_mass.empty()) {
      for (long j = 1; j <= n; ++j) {
        if (ms.lake_mask[j] <= 0 || ms.ov_depth[j] >= tiny_amount || mass[j] < tiny_amount) continue;
        ms.lake_ov_inflow_mass[i][ms.lake_mask[j]] += mass[j];
        mass[j] = conc[j] = 0.0;
      }
    }
    if (ms.sed_contam_on && !ms.sed_contam_susp_mass.empty()) {
      for (long j = 1; j <= n; ++j) {
        double& total = ms.sed_contam_susp_mass[i][j];
        total += mass[j];
        if (total < 0.0) total = 0.0;
        if (std::isnan(total)) {
          std::printf("Total cell mass, contam %d cell %ld NAN", i, j);
        }
      }
    }

    const auto sum = [&](budget_term t) {
      const double* row = terms + static_cast<size_t>(t) * stride;
      return fixed_chunk_sum(1, n, [row](long j) { return row[j]; }, ms.con_sum_partial);
    };
    ms.ov_precip_dmt[i] += sum(term_precip);
    ms.ov_exfil_dmt[i] += sum(term_exfil);
    ms.ov_uptake_dmt[i] += sum(term_uptake);
    ms.ov_decay_dmt[i] += sum(term_decay);
    ms.sed_source_dmt[i] += sum(term_sed);
    ms.ov_infil_dmt[i] += sum(term_infil);
    ms.ov_nsm_dmt_in[i] += sum(term_nsm_in);
    ms.ov_nsm_dmt_out[i] += sum(term_nsm_out);
    ms.ov_nsm_dmt[i] = ms.ov_nsm_dmt_in[i] - ms.ov_nsm_dmt_out[i];
    ms.ov_qlat_dmt[i] += sum(term_qlat);
    ms.ov_out_dmt[i] += sum(term_out);
    ms.event_ov_neg_mass[i] += sum(term_neg) / grams_per_kg;
    book_ov_step_budget(ms, i);
  }
  ms.last_ov_contam_time = ms.now;
  ms.next_ov_contam_time = ms.now + ms.ov_contam_interval_days;
  ms.ov_contam_toggle = ms.ov_contam_toggle == 1 ? 2 : 1;
  std::copy(ms.ov_depth.data(), ms.ov_depth.data() + stride, ms.ov_depth_old.data());
}

void book_ov_step_budget(main_state& ms, int i) {
  const auto book = [](double& step, std::initializer_list<double*> totals) {
    for (double* t : totals) *t += step / grams_per_kg;
    step = 0.0;
  };
  if (ms.channel_on) book(ms.ov_qlat_dmt[i], {&ms.OV_QLAT_MASS[i], &ms.event_ov_qlat_mass[i]});
  else book(ms.ov_out_dmt[i], {&ms.OV_MASS_OUT[i], &ms.GLOBAL_MASS_OUT[i], &ms.event_ov_mass_out[i]});
  ms.ov_qlat_dmt[i] = ms.ov_out_dmt[i] = 0.0;
  book(ms.ov_point_dmt[i], {&ms.OV_POINT_MASS[i], &ms.event_ov_point_mass[i], &ms.GLOBAL_POINT_SOURCE[i]});
  book(ms.ov_decay_dmt[i], {&ms.OV_MASS_DECAY[i], &ms.event_ov_decay_mass[i], &ms.GLOBAL_MASS_DECAY[i]});
  book(ms.ov_infil_dmt[i], {&ms.OV_INFIL_MASS[i], &ms.event_ov_infil_mass[i]});
  book(ms.ov_uptake_dmt[i], {&ms.OV_UPTAKE_MASS[i], &ms.event_ov_uptake_mass[i]});
  book(ms.ov_precip_dmt[i], {&ms.OV_PRECIP_MASS[i], &ms.global_precip_mass[i], &ms.event_ov_precip_mass[i]});
  book(ms.ov_exfil_dmt[i], {&ms.OV_EXFIL_MASS[i], &ms.event_ov_exfil_mass[i]});
  if (ms.sed_contam_on) book(ms.sed_source_dmt[i], {&ms.event_ov_sed_source_mass[i]});
  ms.sed_source_dmt[i] = 0.0;
  book(ms.ov_nsm_dmt_out[i], {&ms.ov_nsm_loss_total[i], &ms.event_ov_nsm_loss_mass[i]});
  book(ms.ov_nsm_dmt_in[i], {&ms.ov_nsm_gain_total[i], &ms.event_ov_nsm_gain_mass[i]});
  ms.ov_nsm_dmt[i] = 0.0;
}

void book_infiltration_constituents(main_state& ms, long j, double volume) {
  if (!ms.ov_infil_vol_con.empty()) ms.ov_infil_vol_con[j] += volume;
}

}  // namespace kavro
