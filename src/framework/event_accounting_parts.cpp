// End-of-event accounting: sediment, constituents, basin soil moisture and
// the hand-over to a calibrator.
#include "framework/event_accounting_parts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "framework/event_volumes.h"
#include "framework/channel_nodes.h"
#include "framework/main_state.h"
#include "overland/held_depth.h"

namespace kavro {

namespace {

constexpr double grams_per_kg = 1000.0;
// Calibration values in cubic feet use this factor (not m3_to_ft3).
constexpr double calib_ft3_per_m3 = 35.32;

// Surface, land, soil and (with constituents in the channels) channel
// masses of constituent i. Every mass is summed in kg.
void account_constituent(main_state& ms, long i) {
  double surface = 0.0, land = 0.0, soil = 0.0;
  const double* mass = ms.ov_constituent_mass[i];
  const double* load = ms.ov_mass_load_table[i];
  for (long j = 1; j <= ms.n_cells; ++j) {
    // The mass of a channel-lake cell is part of the lake mass.
    if (mass && !is_channel_lake_cell(ms, j)) surface += mass[j] / grams_per_kg;
    if (load) land += load[j] / grams_per_kg;
    if (ms.soil_contam_on && ms.soil_mass[i]) {
      for (long k = 1; k <= ms.n_soil_layers; ++k) soil += ms.soil_mass[i][j][k] / grams_per_kg;
    }
  }
  ms.OV_MASS_FINAL[i] = surface;
  ms.OV_LAND_MASS_FINAL[i] = land;
  ms.GLOBAL_MASS_FINAL[i] = surface + land;
  if (ms.soil_contam_on) ms.event_soil_mass_final[i] = soil;
  if (!ms.chan_contam_on || i > ms.chan_node_conc.size1()) return;
  double channel = 0.0, total = 0.0;
  for (long link = 1; link <= ms.LINKS && link <= ms.nx.size(); ++link) {
    if (!is_ordinary_link(ms.ltype[link])) continue;
    const long nodes = nodes_within(ms, link, ms.area);
    const long last = ms.lakes_on && link <= ms.og_nx1.size() ? std::min<long>(nodes, ms.og_nx1[link]) : nodes;
    for (long node = 1; node <= last; ++node) {
      const long slot = node + link * ms.max_nodes_per_link;
      if (slot < 1 || slot > ms.chan_node_conc.size2()) break;
      if (ms.sed_contam_on && i <= ms.chan_tot_node_mass.size1() && slot > ms.chan_tot_node_mass.size2()) break;
      channel += ms.area[node][link] * ms.chan_dx[link] * ms.chan_node_conc[i][slot] / grams_per_kg;
      if (ms.sed_contam_on && i <= ms.chan_tot_node_mass.size1())
        total += ms.chan_tot_node_mass[i][slot] / grams_per_kg;
    }
  }
  if (i <= ms.event_chan_mass_final.size()) ms.event_chan_mass_final[i] = channel;
  ms.GLOBAL_MASS_FINAL[i] += channel;
  if (ms.sed_contam_on && i <= ms.event_chan_tot_mass_final.size()) ms.event_chan_tot_mass_final[i] = total;
}

// Attached constituent mass on the suspended sediment of the surface (kg).
void account_attached_mass(main_state& ms, long i) {
  if (i > ms.sed_contam_susp_mass.size1() || i > ms.sed_contam_class_conc.size1()) return;
  double held = 0.0, on_classes = 0.0;
  const long n_classes = std::min<long>(ms.sed_control.n_sed_classes, ms.ov_sed_vol_susp.size2());
  for (long j = 1; j <= ms.n_cells; ++j) {
    held += ms.sed_contam_susp_mass[i][j] / grams_per_kg;
    for (long c = 1; c <= n_classes; ++c)
      on_classes += ms.ov_sed_vol_susp[j][c] * ms.sed_contam_class_conc[i][j][c] / grams_per_kg;
  }
  ms.event_sed_contam_susp_final[i] = held;
  ms.event_sed_contam_class_final[i] = on_classes;
}

// A cell whose soil is not part of the basin's soil moisture: under a lake
// or on a boundary that fixes its surface.
bool left_out_of_soil_moisture(const main_state& ms, long j) {
  if (ms.overland_lake_on && j <= ms.oland_lake_mask.size() && ms.oland_lake_mask[j] > 0) return true;
  if (is_channel_lake_cell(ms, j)) return true;
  const int t = boundary_type_of(ms, j);
  return is_held_depth_type(t) || is_flux_type(t);
}

// Relative soil water of the first multi-layer Green-Ampt layer.
double multi_layer_relative_water(const main_state& ms, long j) {
  const long id = ms.soiltype[j];
  if (id < 0 || id >= soil_type_store::size()) return NAN;
  const soil_type_params& p = ms.soil_type_table[id];
  const double z = ms.soil_layer_cm[j];
  if (z > p.layer_depth[1]) return ms.soil_water_cm[j] / p.layer_depth[1] / p.layer_porosity[1];
  if (z > 1e-16) return ms.soil_water_cm[j] / z / p.layer_porosity[1];
  return 1.0;  // the water table is at the surface: the layer is saturated
}

// The relative soil water of cell j by the run's infiltration method.
std::optional<double> cell_relative_water(const main_state& ms, long j) {
  // A cell without a porosity has no relative water content.
  if (ms.inf_redist_on) return ms.porosity[j] > 0.0 ? std::optional(ms.redist_theta2[j] / ms.porosity[j]) : std::nullopt;
  if (ms.multi_layer_ga_on) return multi_layer_relative_water(ms, j);
  if (!ms.long_term_on) return 0.0;
  return richards_relative_saturation(ms, j, ms.soil_moist_depth_cm);
}

// Copies the per-location peaks and volumes of the event into the buffer's
// location arrays.
void copy_location_values(main_state& ms, long n) {
  if (!ms.calib_results) return;
  auto& cr = *ms.calib_results;
  for (long i = 1; i <= n; ++i) {
    if (i <= cr.loc_peak.size() && i <= ms.hyd_loc_max_q.size()) cr.loc_peak[i] = ms.hyd_loc_max_q[i];
    if (i <= cr.loc_volume.size() && i <= ms.hyd_loc_volume.size()) cr.loc_volume[i] = ms.hyd_loc_volume[i];
  }
}

double location_peak(const main_state& ms, long i) {
  if (ms.calib_results && i <= ms.calib_results->loc_peak.size()) return ms.calib_results->loc_peak[i];
  return i <= ms.hyd_loc_max_q.size() ? ms.hyd_loc_max_q[i] : 0.0;
}

double location_volume(const main_state& ms, long i) {
  if (ms.calib_results && i <= ms.calib_results->loc_volume.size()) return ms.calib_results->loc_volume[i];
  return i <= ms.hyd_loc_volume.size() ? ms.hyd_loc_volume[i] : 0.0;
}

// Stores slot `slot` of this event's row of the calibration series.
void store_series_value(main_state& ms, long slot, double peak, double volume) {
  if (!ms.calib_results || ms.event_no < ms.first_event_index) return;
  auto& cr = *ms.calib_results;
  const long index = static_cast<long>(ms.event_no - ms.first_event_index) * cr.n_locations + slot;
  if (index < 1 || index > cr.peaks.size() || index > cr.volumes.size()) return;
  cr.peaks[index] = peak;
  cr.volumes[index] = volume;
}

// The water calibration: event peak and volume at the outlet and at the
// hydrograph locations, in cubic feet with QOUT_CFS.
void hand_over_water(main_state& ms) {
  const bool cfs = ms.qout_cfs_on != 0;
  const double f = cfs ? calib_ft3_per_m3 : 1.0;
  const long n = ms.in_hyd_location_on == 1 ? ms.n_hyd_locations : 0;
  copy_location_values(ms, n);
  std::FILE* out = ms.fs_optimize.fp;
  if (out) {
    std::fprintf(out, cfs ? "%d %8.2lf %16.5lf" : "%d %9.3lf %16.4lf", ms.event_no, ms.event_peak_q * f,
                 ms.vol_discharge * f);
    for (long i = 1; i <= n; ++i)
      std::fprintf(out, cfs ? "%8.2lf %16.5lf" : "%9.3lf %16.4lf", location_peak(ms, i) * f,
                   location_volume(ms, i) * f);
    std::fprintf(out, "\n");
    std::fflush(out);
  }
  store_series_value(ms, 1, ms.event_peak_q * f, ms.vol_discharge * f);
  for (long i = 1; i <= n; ++i)
    store_series_value(ms, i + 1, location_peak(ms, i) * f, location_volume(ms, i) * f);
}

// The sediment calibration: wash load at the outlet and at the sediment locations.
void hand_over_sediment(main_state& ms) {
  const long n = ms.in_sed_loc_on == 1 ? ms.n_sed_locations : 0;
  copy_location_values(ms, n);
  std::FILE* out = ms.fs_optimize.fp;
  if (out) {
    std::fprintf(out, "%d %9.6lf %16.6lf", ms.event_no, ms.max_washload_rate, ms.vol_washload_out);
    for (long i = 1; i <= n; ++i)
      std::fprintf(out, "%9.6lf %16.6lf", location_peak(ms, i), location_volume(ms, i));
    std::fprintf(out, "\n");
    std::fflush(out);
  }
  store_series_value(ms, 1, ms.max_washload_rate, ms.vol_washload_out);
  for (long i = 1; i <= n; ++i) store_series_value(ms, i + 1, location_peak(ms, i), location_volume(ms, i));
}

}  // namespace

void account_sediment(main_state& ms) {
  if (ms.ov_sed && !ms.ov_sed->tot_sed.empty() && !ms.ov_sed->vol_sed.empty()) {
    auto& tot = ms.ov_sed->tot_sed;
    const auto& vol_sed = ms.ov_sed->vol_sed;
    const long n_classes = std::min<long>({ms.sed_control.n_sed_classes, tot.size1(), vol_sed.size2()});
    for (long c = 0; c <= n_classes; ++c)
      for (long e = 0; e <= 4 && e <= tot.size2(); ++e) tot[c][e] = 0.0;
    for (long j = 1; j <= ms.n_cells && j <= vol_sed.size1(); ++j) {
      for (long c = 1; c <= n_classes; ++c) {
        // Fine sediment of a channel-lake cell is in the lake's budget.
        const bool sand = c <= ms.sand.size() && ms.sand[c] != 0;
        if (is_channel_lake_cell(ms, j) && !sand) continue;
        for (long e = 1; e <= 4 && e <= tot.size2(); ++e) tot[c][e] += vol_sed[j][c][e];
      }
    }
  }
  if (ms.ov_sed_out_on) {
    const channel_sediment v = channel_sediment_volumes(ms);
    ms.vol_sand_chan_final = v.sand;
    ms.vol_washload_susp_final = v.wash;
  }
}

void account_constituents(main_state& ms) {
  for (long i = 1; i <= ms.n_constituents; ++i) {
    account_constituent(ms, i);
    if (ms.sed_contam_on) account_attached_mass(ms, i);
  }
}

void measure_final_soil_moisture(main_state& ms) {
  ms.final_basin_soil_water = 0.0;
  if (!(ms.inf_redist_on || ms.multi_layer_ga_on || ms.richards_on)) return;
  double sum = 0.0;
  long counted = 0;
  for (long j = 1; j <= ms.n_cells; ++j) {
    if (left_out_of_soil_moisture(ms, j)) continue;
    const std::optional<double> w = cell_relative_water(ms, j);
    if (!w) continue;  // a Richards column without thickness, or a cell without porosity
    sum += *w;
    ++counted;
    if (ms.inf_redist_on && std::isnan(sum) && ms.tool_mode != 1) {
      std::printf("problem with final soil moisture in cell: %ld\n", j);
    }
  }
  // The mean over the cells that have a soil moisture of their own.
  ms.final_basin_soil_water = counted > 0 ? sum / static_cast<double>(counted) : 0.0;
}

void hand_over_to_calibrator(main_state& ms) {
  if (!ms.optimize_on) return;
  if (ms.optimize_sed_on)
    hand_over_sediment(ms);
  else
    hand_over_water(ms);
}

}  // namespace kavro
