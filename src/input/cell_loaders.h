// The per-cell loaders of the grid set-up that fill the arrays of the overland
// surface, the soil and the outputs from maps or mapping tables. Each takes
// the run record, fills its arrays and reports failure through error_rec.
#pragma once

#include <string>

#include "framework/one_based.h"

namespace kavro {

struct main_state;
class file_wrapper;

// Reads the map open in `f` (named `path` in messages) with the run's grid:
// mode 1 or 3 into `reals`, mode 4 into `ints` (the other destinations are
// the scratch vectors). Errors are reported by the map reader.
void read_cell_map(main_state& ms, file_wrapper& f, const std::string& path, int mode, dvec* reals, ivec* ints);
// A parameter map or its table: when `slot` is open prints `file_line`
// (with the path), reads the map into `dest` (closing the slot when
// `close_after`) and answers true; otherwise prints `table_line` and answers
// false, leaving the values to the mapping table.
bool read_slot_map(main_state& ms, file_wrapper& slot, const std::string& path, dvec& dest, const char* file_line,
                   const char* table_line, bool close_after);

// Embankment (dike) map and the low-spot file.
void read_dike_map(main_state& ms);
// Wetland map and the wetland properties table.
void read_wetlands(main_state& ms);
// Overland boundary cells and their rating curves.
void read_overland_boundary(main_state& ms);
// Permafrost (KOTU) mask and soil types.
void read_permafrost_mask(main_state& ms);
// Per-cell parameters of the infiltration method.
void read_infiltration_params(main_state& ms);
// Area-reduction factors (1 minus the map value), called by the infiltration loader.
void read_area_reduction(main_state& ms);
// Evapotranspiration maps and the initial soil moisture, called by the infiltration loader.
void read_et_maps(main_state& ms);
// The SNOW_CANOPY_INTERCEPTION table, called by the infiltration loader.
void read_snow_canopy_table(main_state& ms);
// Interception storage and coefficient maps.
void read_interception_maps(main_state& ms);
// Overland lake map, lake records and initial lake volumes.
void read_overland_lake_maps(main_state& ms);
// Surface retention depths.
void read_retention_map(main_state& ms);
// Overland Manning roughness and its depth decay.
void read_roughness_map(main_state& ms);
// Roughness changes under snow.
void apply_snow_roughness_options(main_state& ms);
// Overland flow blockage table.
void read_flow_block_table(main_state& ms);
// Cells of the cell depth and discharge outputs.
void read_output_cell_list(main_state& ms);
// Initial snow water equivalent and overland water depth.
void read_hotstart_depth_maps(main_state& ms);
// Initial soil moisture from a hotstart map.
void read_soil_moisture_hotstart(main_state& ms);

}  // namespace kavro
