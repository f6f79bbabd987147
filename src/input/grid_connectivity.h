// Cell connectivity, edge values, slopes and the initial surface volume.
#pragma once

namespace kavro {

struct main_state;

// Neighbour lists of every cell.
void build_cell_connectivity(main_state& ms);
// Values of the cells at the grid edge.
void fill_edge_values(main_state& ms);
// Ground slopes between neighbouring cells.
void compute_ground_slopes(main_state& ms);
// Initial water volume on the surface.
void compute_initial_surface_volume(main_state& ms);

}  // namespace kavro
