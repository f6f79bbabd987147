// Which cells a soil-water step leaves alone: cells under a channel lake or
// an overland lake, and, in long-term runs, cells whose surface snow or
// frozen ground closes.
#pragma once

#include "framework/main_state.h"

namespace kavro {

// A cell covered by a channel lake: its water belongs to the lake.
inline bool in_channel_lake(const main_state& ms, long j) {
  return ms.lakes_on && j <= ms.lake_mask.size() && ms.lake_mask[j] > 0;
}

// A cell under an overland lake.
inline bool in_overland_lake(const main_state& ms, long j) {
  return ms.overland_lake_on && j <= ms.oland_lake_new.size() && ms.oland_lake_new[j] >= 1;
}

// In long-term runs snow on the ground or frozen soil may close the surface.
inline bool surface_closed(const main_state& ms, long j) {
  if (!ms.long_term_on) return false;
  if (ms.snow_no_infiltrate_on && j <= ms.snow_no_infil_cell.size() && ms.snow_no_infil_cell[j] == 1) return true;
  return ms.cfgi_on && j <= ms.cfgi_value.size() && ms.cfgi_value[j] > ms.cfgi_index;
}

// The soil temperatures of the permafrost model act on the soil water: the
// soil-water steps reduce the conductivity of frozen nodes and layers.
inline bool permafrost_couplings_on(const main_state& ms) {
  return ms.project_params.permafrost_kotu == 1 || ms.project_params.multi_layer_infil_kotu == 1;
}

}  // namespace kavro
