#include "input/cell_loaders.h"

#include "framework/main_state.h"

namespace kavro {

void read_dike_map(main_state&) {}
void read_wetlands(main_state&) {}
void read_overland_boundary(main_state&) {}
void read_permafrost_mask(main_state&) {}
void read_infiltration_params(main_state&) {}
void read_interception_maps(main_state&) {}
void read_overland_lake_maps(main_state&) {}
void read_retention_map(main_state&) {}
// Until the roughness loader reads maps and tables, the uniform MANNING_N
// value is the roughness of every cell (the overland solvers divide by it).
void read_roughness_map(main_state& ms) {
  if (!ms.manning_n_on || ms.roughness_on) return;
  for (long i = 1; i <= ms.n_cells && i <= ms.dist_rough.size(); ++i) ms.dist_rough[i] = ms.uniform_manning_n;
}
void apply_snow_roughness_options(main_state&) {}
void read_flow_block_table(main_state&) {}
void read_output_cell_list(main_state&) {}
void read_hotstart_depth_maps(main_state&) {}
void read_soil_moisture_hotstart(main_state&) {}

}  // namespace kavro
