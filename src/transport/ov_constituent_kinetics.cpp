// Sources and sinks of the constituents on the land surface between two
// transport steps: the load carried by rain, the mass that infiltrating water
// takes into the soil, the exchange between the top soil layer (or the land
// store) and the surface water, first-order decay, the mass leaving at the
// overland outlet and the exchange with the channel nodes. Each part keeps
// its own clock; most of them only gather amounts per cell that the cell
// budget of the transport step releases.
#include "transport/ov_constituent_kinetics.h"

#include <algorithm>

#include "framework/main_state.h"
#include "framework/parallel_sum.h"
#include "transport/constituent_math.h"
#include "transport/nutrient_seams.h"
#include "transport/transport_steps.h"

namespace kavro {

namespace {

constexpr double min_exchange_depth = 1e-4;  // m of surface water below which no soil exchange happens

bool due(const main_state& ms, double next) { return std::abs(next - ms.now) < ms.time_tol; }

// Seconds since `last`; the clock then restarts at now and is next due at `next`.
double restart_clock(main_state& ms, double& next_time, double& last_time, double next) {
  const double secs = (ms.now - last_time) * seconds_per_day;
  last_time = ms.now;
  next_time = next;
  return secs;
}

// Cells that take rain load and infiltration bookkeeping: all without
// lakes; with lakes, cells outside them or just flooded, never those the
// last extent update removed.
bool taking_cell(const main_state& ms, long k) {
  if (!ms.lakes_on) return true;
  if (ms.new_flooded_grid[k] == -1) return false;
  return ms.lake_mask[k] <= 0 || ms.new_flooded_grid[k] != 0;
}

bool lake_cell(const main_state& ms, long k) { return ms.lakes_on && ms.lake_mask[k] > 0; }

long cell_count(const main_state& ms) { return ms.n_cells; }

}  // namespace

void precip_constituent_load(main_state& ms, int i) {
  const long n = cell_count(ms);
  const double area = ms.dx * ms.dx;
  const double* rain = ms.con_rain_depth.data();
  const double conc_rain = ms.precip_conc[i];
  double* mass = ms.ov_constituent_mass[i];
  double* conc = ms.ov_constituent_conc[i];
  double* pending = ms.ov_precip_cell_mass[i];
  const double* h_old = ms.ov_depth_old.data();
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long k = 1; k <= n; ++k) {
    if (!taking_cell(ms, k)) continue;
    const double rain_m = rain[k];
    const double load = rain_m * conc_rain * area;
    mass[k] += load;
    pending[k] += load;
    const double h = h_old[k] + rain_m;
    if (h > tiny_amount) conc[k] = mass[k] / (h * area);
  }
}

void soil_layer_mass_update(main_state& ms, int i) {
  const long n = cell_count(ms);
  const bool nutrient = ms.constituent_type[i] == 2 || ms.constituent_type[i] == 3;
  const int partner = nutrient && ms.nutrients_on ? nsm_partner_index(ms.first_nsm_constituent, i, 1) : -1;
  const double* vol = ms.ov_infil_vol_con.data();
  const double* depth = ms.ov_depth.data();
  double* mass = ms.ov_constituent_mass[i];
  double* conc = ms.ov_constituent_conc[i];
  double* infil = ms.ov_infil_cell_mass[i];
  double* to_soil = ms.ov_to_soil_mass[i];
  double* partner_row = partner > 0 ? ms.ov_to_soil_mass[partner] : nullptr;
  double* dried = ms.con_cell_terms.data();  // mass of surfaces dried by infiltration, per cell
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long k = 1; k <= n; ++k) {
    dried[k] = 0.0;
    double m = 0.0;
    if (!taking_cell(ms, k)) {
      infil[k] = 0.0;
    } else if (mass[k] > tiny_amount && depth[k] < tiny_amount && vol[k] > tiny_amount) {
      m = mass[k];
      mass[k] = conc[k] = 0.0;
      to_soil[k] += m;
      dried[k] = m;
    } else {
      m = conc[k] * vol[k];
      infil[k] += m;
    }
    if (partner_row && m != 0.0) partner_row[k] += m;
  }
  ms.ov_infil_dmt[i] += fixed_chunk_sum(1, n, [dried](long k) { return dried[k]; }, ms.con_sum_partial);
  if (nutrient && ms.nutrients_on && partner < 0 && i - ms.first_nsm_constituent > 8) ms.ov_nsm_infil_mass[i] = 0.0;
}

void soil_surface_exchange(main_state& ms, int i, double secs) {
  const long n = cell_count(ms);
  const double area = ms.dx * ms.dx;
  const double* depth = ms.ov_depth.data();
  double* load = ms.ov_mass_load_table[i];
  double* uptake = ms.ov_uptake_cell_mass[i];
  const double* rate = ms.ov_uptake_table[i];
  const double* conc = ms.ov_constituent_conc[i];
  const double* maxconc = ms.ov_con_maxconc[i];
  const double* mass = ms.ov_constituent_mass[i];
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long k = 1; k <= n; ++k) {
    const double h = depth[k];
    if (lake_cell(ms, k) || h <= min_exchange_depth || load[k] <= tiny_amount) continue;
    const double r = rate[k], c = conc[k];
    const double w_vol = h * area;
    const double f = area * secs;
    double e = 0.0;
    if (ms.soil_contam_on) {
      const double t = top_layer_water_depth(ms, k);
      const double soil1 = ms.soil_mass[i][k][1];
      const double w = t > tiny_amount ? soil1 * ms.soil_frac_dissolved_all[i][k][1] / (t * area) : 0.0;
      e = (w - c) * r * f;
      if (e > 0.0) {
        e = std::min(e, soil1);
        const double excess = (c * w_vol + e) / w_vol - w;
        if (excess > tiny_amount) e -= excess * w_vol;
      } else if (mass[k] + e < 0.0) {
        e = -mass[k];
      }
    } else {
      const double s = maxconc[k];
      if (s > c) {
        e = std::min((s - c) * r * f, load[k]);
        const double excess = (c * w_vol + e) / w_vol - s;
        if (excess > tiny_amount) e -= excess * w_vol;
      }
    }
    uptake[k] += e;
    load[k] -= e;
  }
}

void ov_first_order_decay(main_state& ms, int i, double secs) {
  const long n = cell_count(ms);
  const double area = ms.dx * ms.dx;
  const double* depth = ms.ov_depth.data();
  const double* h_old = ms.ov_depth_old.data();
  const double* conc = ms.ov_constituent_conc[i];
  const double* rate = ms.ov_decay_table[i];
  double* decay = ms.ov_decay_cell_mass[i];
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long k = 1; k <= n; ++k) {
    const double h = depth[k], c = conc[k];
    if (lake_cell(ms, k) || h < tiny_amount || c < tiny_amount) continue;
    const double h0 = h_old[k];
    decay[k] += c * rate[k] * (h0 + h) / 2.0 * area * secs;
    decay[k] = std::min(decay[k], std::min(h, h0) * area * c);
  }
}

void grid_stream_mass_exchange(main_state& ms, int i) {
  if (ms.chan_qlat_mass.empty() || ms.gst_Vlat.empty()) return;
  const double* conc = ms.ov_constituent_conc[i];
  double* gst = ms.ov_gst_cell_mass[i];
  const bool node_conc = ms.chan_node_conc.size1() >= i;
  for (long g = 1; g <= ms.n_gst_cells; ++g) {
    for (long e = 1; e <= ms.gst_ncellsingrid[g]; ++e) {
      const long k = ms.gst_gnum[g][e];
      const long l = ms.gst_link[g][e];
      const int type = ms.ltype[l];
      if ((type & 32) || (type & 64) || ((type & 128) && (type & (4 | 8 | 16))) || lake_cell(ms, k)) continue;
      const double v = ms.gst_Vlat[g][e];
      const long node = l * ms.max_nodes_per_link + ms.gst_node[g][e];
      const double u = v >= 0.0 ? conc[k] : (node_conc ? ms.chan_node_conc[i][node] : 0.0);
      ms.chan_qlat_mass[i][node] += u * v;
      gst[k] += u * v;
    }
  }
}

// Water depth (m) in the top constituent soil layer of cell k.
double top_layer_water_depth(const main_state& ms, long k) {
  if (ms.inf_redist_on) return ms.soil_layer_theta[k][1] * ms.contam_layer_depth[1];
  if (ms.multi_layer_ga_on) {
    const double d1 = ms.soil_type_table[ms.soiltype[k]].layer_depth[1];
    const double d = ms.mixing_layer_depth_cm > tiny_amount && ms.mixing_layer_depth_cm < d1
                         ? ms.mixing_layer_depth_cm / 100.0
                         : d1 / 100.0;
    return ms.soil_layer_theta[k][1] * d;
  }
  return ms.mixing_layer_depth_cm / 100.0 * ms.soil_moisture[k];
}

void ov_constituent_kinetics_step(main_state& ms) {
  if (!ms.ov_contam_on || ms.n_constituents < 1) return;
  size_constituent_work(ms);
  const int nc = ms.n_constituents;
  const double step_next = ms.now + ms.ov_contam_interval_days * ms.kinetics_timestep_factor;
  // The load is the rain the cells received since the last load, as the rain
  // step booked it: a step that straddles a change of rate or the rain's end
  // loads what fell, whatever the clock; rain that ended inside a step is
  // loaded at once.
  const bool rain_load_due = ms.rain_active ? due(ms, ms.ov_kin_precip_next) : ms.con_rain_waiting == 1;
  if (rain_load_due) {
    for (int i = 1; i <= nc; ++i) precip_constituent_load(ms, i);
    std::fill(ms.con_rain_depth.begin(), ms.con_rain_depth.end(), 0.0);
    ms.con_rain_waiting = 0;
    if (ms.rain_active)
      ms.precip_load_secs = restart_clock(ms, ms.ov_kin_precip_next, ms.ov_kin_precip_last, ms.precip_period_end);
  }
  if (due(ms, ms.ov_kin_infil_next)) {
    for (int i = 1; i <= nc; ++i) soil_layer_mass_update(ms, i);
    std::fill(ms.ov_infil_vol_con.data(), ms.ov_infil_vol_con.data() + ms.n_cells + 1, 0.0);
    ms.infil_mass_secs = restart_clock(ms, ms.ov_kin_infil_next, ms.ov_kin_infil_last, ms.next_infil_time);
  }
  if (ms.contam_table_read && due(ms, ms.ov_kin_table_next)) {
    const double secs = (ms.now - ms.ov_kin_table_last) * seconds_per_day;
    for (int i = 1; i <= nc; ++i)
      if (ms.constituent_type[i] == 1) soil_surface_exchange(ms, i, secs);
    const double next = ms.soil_contam_on ? ms.now + ms.ov_contam_interval_days : step_next;
    ms.soil_exchange_secs = restart_clock(ms, ms.ov_kin_table_next, ms.ov_kin_table_last, next);
  }
  if (ms.contam_table_read && due(ms, ms.ov_kin_table2_next)) {
    const double secs = (ms.now - ms.ov_kin_table2_last) * seconds_per_day;
    for (int i = 1; i <= nc; ++i)
      if (ms.constituent_type[i] == 1) ov_first_order_decay(ms, i, secs);
    ms.decay_secs = restart_clock(ms, ms.ov_kin_table2_next, ms.ov_kin_table2_last, step_next);
  }
  if (ms.nutrients_on && due(ms, ms.ov_kin_nsm_next)) {
    ms.nsm_time_days = restart_clock(ms, ms.ov_kin_nsm_next, ms.ov_kin_nsm_last, step_next) / seconds_per_day;
  }
  if (ms.nutrients_on && ms.soil_contam_on && due(ms, ms.ov_kin_nsm_soil_next)) {
    const double days = ms.now - ms.ov_kin_nsm_soil_last;
    nsm_soil_exchange_step(ms, days, ms.interception_on == 1 ? ms.ri_eff : ms.rain_rate);
    ms.nsm_soil_days = restart_clock(ms, ms.ov_kin_nsm_soil_next, ms.ov_kin_nsm_soil_last, step_next) / seconds_per_day;
  }
  const double interval_next = ms.now + ms.ov_contam_interval_days;
  if (!ms.channel_on && due(ms, ms.ov_kin_nochan_next)) {
    if (ms.outlet_cell > 0)
      for (int i = 1; i <= nc; ++i)
        ms.ov_exit_mass[i] += ms.ov_constituent_conc[i][ms.outlet_cell] * ms.ov_outlet_vol_con;
    ms.ov_outlet_vol_con = 0.0;
    ms.outlet_mass_secs = restart_clock(ms, ms.ov_kin_nochan_next, ms.ov_kin_nochan_last, interval_next);
  }
  if (ms.channel_on && due(ms, ms.ov_kin_chan_next)) {
    for (int i = 1; i <= nc; ++i) grid_stream_mass_exchange(ms, i);
    if (!ms.gst_Vlat.empty()) std::fill(ms.gst_Vlat.data(), ms.gst_Vlat.data() + ms.gst_Vlat.cell_count(), 0.0);
    ms.gst_mass_secs = restart_clock(ms, ms.ov_kin_chan_next, ms.ov_kin_chan_last, interval_next);
  }
}

}  // namespace kavro
