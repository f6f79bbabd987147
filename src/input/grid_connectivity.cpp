#include "input/grid_connectivity.h"

#include "framework/main_state.h"

namespace kavro {

void build_cell_connectivity(main_state&) {}
void fill_edge_values(main_state&) {}
void compute_ground_slopes(main_state&) {}
void compute_initial_surface_volume(main_state&) {}

}  // namespace kavro
