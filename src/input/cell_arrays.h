// Elevations, elevation bands and the per-cell arrays of every process the
// project switches on.
#pragma once

namespace kavro {

struct main_state;

// Reads the ground elevation of every active cell from the open fs_elevation
// and finds the outlet cell (OUTROW, OUTCOL). An outlet outside the watershed
// stops a run without channel routing (code 4000).
void read_elevation_map(main_state& ms);

// Elevation range of the cells and the weather station and the number of
// 100 m elevation bands of the weather distribution.
void compute_elevation_bands(main_state& ms);

// Allocates, zero-filled with n_cells + 1 cells, every per-cell array that the
// switches of the project ask for (the allocation table), sets the long-term
// weather settings and reads the overland output-location lists.
void alloc_cell_arrays(main_state& ms);

// The per-cell work vector of the snow model.
void alloc_zeroed_cell_array(main_state& ms);

}  // namespace kavro
