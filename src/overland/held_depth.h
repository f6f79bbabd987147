// Held-depth cells: overland boundary cells of types 2, 3, 8 and 9 hold their
// ponded depth fixed. Soil, snow and evaporation exchanges leave the depth as
// it is and book what the cell gave or received to the run totals of the
// head boundaries instead.
#pragma once

#include "framework/main_state.h"

namespace kavro {

// True for a boundary type whose cell keeps its depth.
inline bool is_held_depth_type(int boundary_type) {
  return boundary_type == 2 || boundary_type == 3 || boundary_type == 8 || boundary_type == 9;
}

// True when active cell j keeps its ponded depth through every exchange.
inline bool is_held_depth_cell(const main_state& ms, long j) {
  return ms.ov_boundary_on != 0 && j <= ms.boundary_type.size() && is_held_depth_type(ms.boundary_type[j]);
}

}  // namespace kavro
