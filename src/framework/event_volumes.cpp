#include "framework/event_volumes.h"

#include <cmath>
#include <cstdio>

#include "framework/channel_nodes.h"
#include "framework/main_state.h"

namespace kavro {

bool is_channel_lake_cell(const main_state& ms, long cell) {
  return ms.lakes_on && cell <= ms.lake_mask.size() && ms.lake_mask[cell] > 0;
}

double channel_water_volume(const main_state& ms, bool report_bad_area) {
  double v = 0.0;
  for (long link = 1; link <= ms.LINKS && link <= ms.nx.size(); ++link) {
    if (!is_ordinary_link(ms.ltype[link])) continue;
    for (long node = 1; node <= nodes_within(ms, link, ms.area); ++node) {
      const double a = ms.area[node][link];
      if (report_bad_area && std::isnan(a))
        std::printf("Negative Area Computed At Startup for [Node][Link]: [%ld][%ld] ltype: %d\n", node, link,
                    ms.ltype[link]);
      v += a * ms.chan_dx[link];
    }
  }
  return v;
}

channel_sediment channel_sediment_volumes(const main_state& ms) {
  channel_sediment v;
  for (long link = 1; link <= ms.LINKS && link <= ms.nx.size(); ++link) {
    if (!is_ordinary_link(ms.ltype[link])) continue;
    if (!ms.ch_sand_vol.empty()) {
      for (long node = 1; node <= nodes_within(ms, link, ms.ch_sand_vol); ++node)
        for (long s = 1; s <= ms.n_sand_classes + 1 && s <= ms.ch_sand_vol.size3(); ++s)
          v.sand += ms.ch_sand_vol[node][link][s];
    }
    if (!ms.ch_wash_vol.empty()) {
      for (long node = 1; node <= nodes_within(ms, link, ms.ch_wash_vol); ++node) v.wash += ms.ch_wash_vol[node][link][0];
    }
  }
  return v;
}

double surface_depth_volume(const main_state& ms) {
  const double cell_area = ms.dx * ms.dx;
  double v = 0.0;
  for (long j = 1; j <= ms.n_cells; ++j) v += ms.ov_depth[j] * cell_area;
  return v;
}

double snow_volume(const main_state& ms) {
  if (!ms.snow_present || ms.swe.size() < ms.n_cells) return 0.0;
  // Event runs with an initial snow cover keep no canopy.
  const bool canopy = ms.canopy_snow.size() >= ms.n_cells;
  const double cell_area = ms.dx * ms.dx;
  double v = 0.0;
  for (long j = 1; j <= ms.n_cells; ++j) {
    if (!is_channel_lake_cell(ms, j)) v += (ms.swe[j] + (canopy ? ms.canopy_snow[j] : 0.0)) * cell_area;
  }
  return v;
}

double melt_water_volume(const main_state& ms) {
  if (!ms.long_term_on || ms.snow_melt_to_ov.empty()) return 0.0;
  const double cell_area = ms.dx * ms.dx;
  double v = 0.0;
  for (long j = 1; j <= ms.n_cells; ++j) {
    if (!is_channel_lake_cell(ms, j)) v += ms.snow_melt_to_ov[j] * cell_area;
  }
  return v;
}

double simple_soil_column_volume(const main_state& ms, long j) {
  const double cell_area = ms.dx * ms.dx;
  const double column = ms.soil_column_water_cm[j] / 100.0 * cell_area;
  if (!ms.water_table_on) return column;
  // The averaging depth of a multi-layer cell is its top two layers (cm).
  double depth_cm = ms.soil_moist_depth_cm;
  if (ms.multi_layer_ga_on) {
    const long id = ms.soiltype[j];
    if (id >= 0 && id < soil_type_store::size())
      depth_cm = ms.soil_type_table[id].layer_depth[1] + ms.soil_type_table[id].layer_depth[2];
  }
  const double d = depth_cm / 100.0;
  const double h = ms.elevation[j] - ms.elevgw[j];
  if (h >= d) return ((h - d) * ms.gw_inf_redist_theta[j] + ms.soil_column_water_cm[j] / 100.0) * cell_area;
  return column;
}

std::optional<double> richards_relative_saturation(const main_state& ms, long cell, double depth_cm) {
  const long last_node = ms.numcells[cell] - 1;
  double saturation = 0.0, thickness = 0.0;
  for (long k = 1; k <= last_node && thickness < depth_cm; ++k) {
    // A node without a saturated content holds no defined saturation.
    if (ms.THETAS[cell][k] > 0.0) saturation += ms.THETA[cell][k] / ms.THETAS[cell][k] * ms.DZ[cell][k];
    thickness += ms.DZ[cell][k];
  }
  if (!(thickness > 0.0)) return std::nullopt;
  return saturation / thickness;
}

}  // namespace kavro
