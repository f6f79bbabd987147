// The overland boundary cells whose water the boundary step sets or forces,
// by type: 1 outflow at a slope, 2 fixed depth, 3 fixed water-surface
// elevation, 4 and 5 a given flux (cfs, m3/s), 6 and 7 face flow by rating
// curve, 8 a depth interpolated from a nested run's input points, 9 a nested
// run's input point, 99 the partner of a face-flow cell.
//
// The sets, each decided here and nowhere else:
// - held depth (2, 3, 8, 9): the boundary step sets the depth; the overland
//   solvers, the embankment flow and the lateral exchange with the channels
//   leave it as set and book what moves through the cell as boundary water,
//   and rain, infiltration, exfiltration, evaporation and snow leave it too,
//   booking what the cell gave or received to the head-boundary totals;
// - flux cells (4, 5): the boundary adds or takes a given discharge.
// Held or flux: the ADE stability estimate does not size the sub-step on
// such a cell, and the basin's soil moisture leaves it out.
#pragma once

#include "framework/main_state.h"

namespace kavro {

// Types 2, 3, 8 and 9: the boundary step sets the depth and every exchange
// leaves it.
inline bool is_held_depth_type(int boundary_type) {
  return boundary_type == 2 || boundary_type == 3 || boundary_type == 8 || boundary_type == 9;
}

// Types 4 and 5: the boundary adds or takes a given discharge.
inline bool is_flux_type(int boundary_type) { return boundary_type == 4 || boundary_type == 5; }

// The type of active cell j, 0 when boundaries are off or j has none.
inline int boundary_type_of(const main_state& ms, long j) {
  return ms.ov_boundary_on != 0 && j >= 1 && j <= ms.boundary_type.size() ? ms.boundary_type[j] : 0;
}

// True when active cell j keeps its ponded depth through every exchange.
inline bool is_held_depth_cell(const main_state& ms, long j) {
  return is_held_depth_type(boundary_type_of(ms, j));
}

}  // namespace kavro
