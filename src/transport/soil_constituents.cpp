// Constituents in the soil layers under each cell: the mixing layer at the
// surface and the layers of the soil-moisture zone. At every soil-moisture
// update each contaminant partitions between pore water and soil by its Kd,
// its dissolved part decays, and mass moves between the surface, the layers
// and groundwater with the water that the soil-moisture accounting moved.
// Masses in g (budgets in kg), soil concentrations in mg/kg.
#include <algorithm>
#include <array>
#include <cmath>

#include "framework/main_state.h"
#include "framework/parallel_sum.h"
#include "transport/constituent_math.h"
#include "transport/ov_constituent_kinetics.h"
#include "transport/soil_constituents.h"
#include "transport/transport_steps.h"

namespace kavro {

namespace {

constexpr int max_layers = 3;

// Per-cell budget terms of the soil step.
enum soil_term : int { st_decay, st_down, st_up, st_exfil, st_infil, st_from, st_to, st_exchange, st_count };

struct cell_layers {
  int count = 0;                                // layers L
  std::array<double, max_layers + 1> h{};       // thickness (m)
  std::array<double, max_layers + 1> n{};       // porosity
};

// Layers of cell j: the run's layering, or under multi-layer Green-Ampt the
// layers of the cell's soil type.
cell_layers layers_of(const main_state& ms, long j) {
  cell_layers c;
  if (ms.multi_layer_ga_on) {
    const soil_type_params& st = ms.soil_type_table[ms.soiltype[j]];
    const double d1 = st.layer_depth[1], d2 = st.layer_depth[2], m = ms.mixing_layer_depth_cm;
    if (m > tiny_amount && m < d1) {
      c.count = 3;
      c.h = {0.0, m / 100.0, (d1 - m) / 100.0, d2 / 100.0};
      c.n = {0.0, st.layer_porosity[1], st.layer_porosity[1], st.layer_porosity[2]};
    } else {
      c.count = 2;
      c.h = {0.0, d1 / 100.0, d2 / 100.0, 0.0};
      c.n = {0.0, st.layer_porosity[1], st.layer_porosity[2], 0.0};
    }
    return c;
  }
  c.count = std::max(1, std::min(ms.n_soil_layers, max_layers));
  for (int k = 1; k <= c.count; ++k) {
    c.h[static_cast<size_t>(k)] = ms.contam_layer_depth[k];
    c.n[static_cast<size_t>(k)] = ms.porosity[j];
  }
  return c;
}

}  // namespace

double layer_water_content(const main_state& ms, long j, int k, int layers) {
  const double v1 = ms.soil_water_cm[j], v2 = ms.soil_water2_cm[j];
  const double dt = ms.top_layer_depth_cm, dz = ms.soil_moist_depth_cm, dm = ms.mixing_layer_depth_cm;
  const double phi = ms.porosity[j];
  if (!ms.water_table_on) {
    if (k == 1) return v1 / dt;
    if (k == 2 && (layers == 3 || dz - dt < tiny_amount)) return v1 / dt;
    return v2 / (dz - dt);
  }
  const double z = ms.elevation[j] - ms.elevgw[j];  // depth to the water table (m)
  if (z <= tiny_amount) return phi;
  const double h = ms.contam_layer_depth[k];
  if (k == 1) {
    double w = (dm / dt) * v1 / 100.0;
    if (z < dm / 100.0) w += (dm / 100.0 - z) * phi;
    return w / (dm / 100.0);
  }
  if (k == 2 && (layers == 3 || dt - dm > tiny_amount)) {
    if (z < dm / 100.0) return phi;
    double w = (dt - dm) * v1 / dt / 100.0;
    if (z < dt / 100.0) w += (dt / 100.0 - z) * phi;
    return w / h;
  }
  if (z < dt / 100.0) return phi;
  double w = v2 / 100.0;
  if (z < dz / 100.0) w += (dz / 100.0 - z) * phi;
  return w / h;
}

void fill_layer_moisture_table(main_state& ms) {
  if (ms.soil_layer_theta.empty()) return;
  const long n = ms.n_cells;
  const long cols = ms.soil_layer_theta.size2();
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long j = 1; j <= n; ++j) {
    if (ms.inf_redist_on) {
      for (int k = 1; k <= ms.n_soil_layers && k <= cols; ++k)
        ms.soil_layer_theta[j][k] = layer_water_content(ms, j, k, ms.n_soil_layers);
    } else if (ms.multi_layer_ga_on) {
      // The layered soil keeps one water content over its upper layers.
      const cell_layers c = layers_of(ms, j);
      for (int k = 1; k <= c.count && k <= cols; ++k) {
        ms.soil_layer_theta[j][k] = ms.soil_moisture[j];
        ms.soil_layer_thetas[j][k] = c.n[static_cast<size_t>(k)];
      }
    } else {
      for (int k = 1; k <= cols; ++k) ms.soil_layer_theta[j][k] = ms.soil_moisture[j];
    }
  }
}

// The layer transport of constituent c at cell j over a step; per-cell
// budget terms to terms[t * stride].
void soil_cell_update(main_state& ms, int c, long j, double* terms, long stride) {
  if ((ms.overland_lake_on && !ms.oland_lake_new.empty() && ms.oland_lake_new[j] >= 1) ||
      (ms.lakes_on && ((ms.lake_mask[j] >= 1 && ms.new_flooded_grid[j] == 0) || ms.new_flooded_grid[j] == -1)))
    return;
  const double area = ms.dx * ms.dx;
  const cell_layers lay = layers_of(ms, j);
  const int L = lay.count;
  const bool kind1 = ms.constituent_type[c] == 1;
  std::array<double, max_layers + 1> m{}, fd{}, w{}, f{};
  for (int k = 1; k <= L; ++k) {
    m[static_cast<size_t>(k)] = ms.soil_work_mass[j][k];
    fd[static_cast<size_t>(k)] = ms.soil_frac_dissolved[j][k];
    w[static_cast<size_t>(k)] = ms.soil_layer_theta[j][k] * lay.h[static_cast<size_t>(k)];
  }
  if (ms.green_ampt_on) w[1] = ms.mixing_layer_depth_cm * ms.soil_moisture[j] / 100.0;
  const double to_soil = ms.ov_to_soil_mass[c][j];
  const bool exfil = ms.water_table_on && !ms.yes_exfil.empty() && ms.yes_exfil[j] == 1;
  const double exfil_depth = ms.exfil_depth_con.empty() ? 0.0 : ms.exfil_depth_con[j];
  bool pass_through = false;
  double pass_share = 0.0;
  const bool no_flux = ms.soil_noflux_on || !kind1;
  if (!no_flux && !ms.green_ampt_on) {
    if (exfil) {
      for (int k = 0; k <= L; ++k) f[static_cast<size_t>(k)] = -exfil_depth;
    } else if (L == 1) {
      f[1] = ms.zone_percolation[j] / 100.0;
    } else {
      if (ms.soil_moist_depth_cm - ms.top_layer_depth_cm > tiny_amount || ms.multi_layer_ga_on) {
        f[1] = ms.upper_zone_drainage[j] / 100.0;
      } else {
        // One soil-moisture layer under a thinner mixing layer: this share of
        // the infiltrated mass passes the mixing layer directly.
        pass_through = true;
        pass_share = (ms.soil_moist_depth_cm - ms.mixing_layer_depth_cm) / ms.soil_moist_depth_cm;
      }
      if (L == 3) {
        f[2] = ms.upper_zone_drainage[j] / 100.0;
        f[3] = ms.zone_percolation[j] / 100.0;
      } else {
        f[2] = ms.zone_percolation[j] / 100.0;
      }
    }
  }
  // Mass fluxes (g).
  const bool upward = exfil && exfil_depth > tiny_amount && !no_flux;
  if (upward) {
    for (int k = 0; k <= L; ++k) f[static_cast<size_t>(k)] *= ms.gw_cell_conc[c][j] * area;
    ms.soil_exfil_cell_mass[c][j] -= f[0];
  } else {
    f[0] = to_soil > tiny_amount ? to_soil : 0.0;
    for (int k = 1; k <= L; ++k) {
      const size_t s = static_cast<size_t>(k);
      const double y = w[s] > tiny_amount ? m[s] * fd[s] / (area * w[s]) : 0.0;
      f[s] = (k == 1 && pass_through) ? pass_share * to_soil : y * f[s] * area;
    }
  }
  const double bottom = f[static_cast<size_t>(L)];
  if (bottom >= 0.0) {
    terms[st_down * stride] += bottom;
  } else {
    terms[st_up * stride] += -bottom;
  }
  if (!ms.soil_static_conc_on) {
    m[1] -= ms.soil_to_ov_mass[c][j];
    const auto update = [&](int k) {
      const size_t s = static_cast<size_t>(k);
      m[s] += f[s - 1] - f[s];
      if (m[s] < 0.0) {
        // The flux that carried mass out of the layer brings that much less.
        const double deficit = -m[s];
        m[s] = 0.0;
        if (upward) f[s - 1] += deficit;  // upward fluxes are negative
        else f[s] -= deficit;
      }
    };
    if (upward) {
      for (int k = L; k >= 1; --k) update(k);
    } else {
      for (int k = 1; k <= L; ++k) update(k);
    }
    for (int k = 1; k <= L; ++k) {
      const size_t s = static_cast<size_t>(k);
      ms.soil_work_mass[j][k] = m[s];
      ms.soil_work_conc[j][k] = soil_layer_conc(m[s], lay.n[s], lay.h[s], area);
    }
  }
}

void soil_contam_step(main_state& ms) {
  if (!ms.soil_contam_on || std::abs(ms.soil_contam_next - ms.now) >= ms.time_tol) return;
  size_constituent_work(ms);
  const double dt = (ms.now - ms.soil_contam_last) * seconds_per_day;
  fill_layer_moisture_table(ms);
  if (ms.nutrients_on && std::abs(ms.soil_nsm_next - ms.now) < ms.time_tol) {
    ms.soil_nsm_last = ms.now;
    ms.soil_nsm_next = ms.now + ms.et_interval_days * ms.kinetics_timestep_factor;
  }
  const long n = ms.n_cells;
  const size_t stride = static_cast<size_t>(n) + 1;
  double* terms = ms.con_cell_terms.data();
  const long slots = ms.soil_mass.cols();
  for (int c = 1; c <= ms.n_constituents; ++c) {
    std::fill(terms, terms + stride * st_count, 0.0);
    const bool kind1 = ms.constituent_type[c] == 1;
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
    for (long j = 1; j <= n; ++j) {
      const cell_layers lay = layers_of(ms, j);
      const double kd = kind1 ? ms.soil_kd_table[c][j] : 0.0;
      double decayed = 0.0;
      for (int k = 1; k <= lay.count && k <= slots; ++k) {
        const size_t s = static_cast<size_t>(k);
        double mk = ms.soil_mass[c][j][k];
        ms.soil_work_conc[j][k] = ms.soil_conc[c][j][k];
        double f = 1.0;
        if (kind1) {
          const double n_k = ms.multi_layer_ga_on ? ms.soil_layer_thetas[j][k] : ms.porosity[j];
          f = soil_dissolved_fraction(ms.soil_layer_theta[j][k], n_k, kd);
          const double g = std::min(f * mk, f * mk * ms.soil_decay_table[c][j] * dt);
          decayed += g;
          if (!ms.soil_static_conc_on) {
            mk -= g;
            ms.soil_work_conc[j][k] = soil_layer_conc(mk, lay.n[s], lay.h[s], ms.dx * ms.dx);
          }
        }
        ms.soil_work_mass[j][k] = mk;
        ms.soil_frac_dissolved[j][k] = f;
        ms.soil_frac_dissolved_all[c][j][k] = f;
      }
      terms[st_decay * stride + static_cast<size_t>(j)] = decayed;
      soil_cell_update(ms, c, j, terms + j, static_cast<long>(stride));

      double total = 0.0;
      for (int k = 1; k <= lay.count && k <= slots; ++k) {
        double mk = ms.soil_work_mass[j][k];
        double ck = ms.soil_work_conc[j][k];
        if (mk < 0.0) mk = ck = 0.0;
        ms.soil_mass[c][j][k] = mk;
        ms.soil_conc[c][j][k] = ck;
        total += mk;
      }
      ms.ov_mass_load_table[c][j] = total;
      const double ex = ms.soil_exfil_cell_mass[c][j];
      ms.ov_exfil_cell_mass[c][j] += ex;
      terms[st_exfil * stride + static_cast<size_t>(j)] = ex;
      ms.soil_exfil_cell_mass[c][j] = 0.0;
      terms[st_infil * stride + static_cast<size_t>(j)] = ms.ov_to_soil_mass[c][j];
      const double x = ms.soil_to_ov_mass[c][j];
      if (x > tiny_amount) terms[st_from * stride + static_cast<size_t>(j)] = x;
      if (x < -tiny_amount) terms[st_to * stride + static_cast<size_t>(j)] = -x;
      terms[st_exchange * stride + static_cast<size_t>(j)] = x;
      ms.soil_to_ov_mass[c][j] = 0.0;
      ms.ov_to_soil_mass[c][j] = 0.0;
    }
    const auto sum = [&](soil_term t) {
      const double* row = terms + static_cast<size_t>(t) * stride;
      return fixed_chunk_sum(1, n, [row](long j) { return row[j]; }, ms.con_sum_partial);
    };
    ms.soil_step_decay[c] += sum(st_decay);
    ms.soil_step_seep_down[c] += sum(st_down);
    ms.soil_step_seep_up[c] += sum(st_up);
    ms.soil_exfil_mass_total[c] += sum(st_exfil) / grams_per_kg;
    const double infil = sum(st_infil) / grams_per_kg;
    ms.event_soil_infil_mass[c] += infil;
    ms.soil_infil_mass_total[c] += infil;
    ms.event_soil_to_surface_mass[c] += sum(st_from) / grams_per_kg;
    ms.event_surface_to_soil_mass[c] += sum(st_to) / grams_per_kg;
    ms.soil_to_ov_mass_total[c] += sum(st_exchange) / grams_per_kg;

    const double down = ms.soil_step_seep_down[c] / grams_per_kg;
    ms.soil_seep_down_mass_total[c] += down;
    ms.event_soil_to_gw_mass[c] += down;
    ms.GLOBAL_MASS_OUT[c] += down;
    const double up = ms.soil_step_seep_up[c] / grams_per_kg;
    ms.soil_seep_up_mass_total[c] += up;
    ms.event_soil_from_gw_mass[c] += up;
    const double decay = ms.soil_step_decay[c] / grams_per_kg;
    ms.soil_decay_mass_total[c] += decay;
    ms.event_soil_decay_mass[c] += decay;
    ms.GLOBAL_MASS_DECAY[c] += decay;
    ms.soil_step_decay[c] = ms.soil_step_seep_down[c] = ms.soil_step_seep_up[c] = 0.0;
  }
  // The water fluxes and the exfiltrated depth served every constituent.
  for (dvec* v : {&ms.zone_percolation, &ms.upper_zone_drainage, &ms.exfil_depth_con})
    if (!v->empty()) std::fill(v->data(), v->data() + v->size() + 1, 0.0);
  ms.soil_contam_last = ms.now;
  ms.soil_contam_next = ms.next_et_time;
}

void book_exfiltration_constituents(main_state& ms, long j, double volume, bool) {
  if (!ms.soil_contam_on || ms.exfil_depth_con.empty() || volume <= 0.0) return;
  ms.exfil_depth_con[j] += volume / (ms.dx * ms.dx);
}

}  // namespace kavro
