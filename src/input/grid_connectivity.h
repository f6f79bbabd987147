// Cell connectivity, the dike low-spot checks, the slopes between cells and
// the initial surface volume.
//
// Sides and directions share one code: 1 top (north, the row above), 2 right
// (east), 4 bottom (south), 8 left (west).
#pragma once

#include "framework/one_based.h"

namespace kavro {

struct main_state;

// Neighbour lists of the numbered grid `mask` (rows x cols, ring of zeros
// around it): the active cell on each side of every cell, 0 where there is none.
void build_cell_neighbours(int rows, int cols, ivec& rightcon, ivec& belowcon, ivec& abovecon, ivec& leftcon,
                           const imat& mask);

// Neighbour lists of every cell, then (with dikes and low spots) the check of
// every low spot; the first bad low spot stops the run (code 4000).
void build_cell_connectivity(main_state& ms);
// Slope from each cell to its right and lower neighbour (m/m, positive
// downhill); a cell without that neighbour takes the value of the cell before
// it (right) or above it (below).
void fill_edge_values(main_state& ms);
// Ground slope of each cell towards east (slope_x) and north (slope_y), m/m,
// centred where both neighbours exist.
void compute_ground_slopes(main_state& ms);
// Water on the land surface at the start of the run (m3), lake cells left out.
void compute_initial_surface_volume(main_state& ms);

// Entry k of cell_list = the number of the active cell at row_list[k],
// col_list[k] (printed "row  col   cell"); a location off the grid or on an
// inactive cell leaves it unchanged.
void find_cell_number(const imat& mask, int rows, int cols, const ivec& row_list, const ivec& col_list,
                      ivec& cell_list, int k);

}  // namespace kavro
