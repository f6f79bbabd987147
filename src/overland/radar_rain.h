// Radar rain grids: the header, the mapping of the model cells onto the radar
// cells, and the reading and application of one grid per rain period.
#pragma once

#include <string>

#include "framework/one_based.h"
#include "overland/precip_block.h"

namespace kavro {

// Reads the six header lines of radar grid `file` into `rg` (columns, rows,
// corner, cell size, no-data value) and sizes precip_data. 0, or -1 when the
// file cannot be opened or the header is not valid.
int read_radar_header(radar_grid& rg, const std::string& file);

// Reads the header of `file` and gives every active cell of `mask` its radar
// cell. A model cell beyond the south or east edge of the radar grid sets
// code 102 (run stops).
void map_cells_to_radar(const std::string& file, radar_grid& rg, const imat& mask);

// Reads the rain rates of grid `file` into precip_data (mm/h; in/h values
// are converted unless `units_mm`). -1, with "Error in reading radar precip
// file" printed, when the file cannot be read whole or its size differs from
// the mapped grid.
int read_radar_grid(const std::string& file, radar_grid& rg, int units_mm);

// Copies the current grid into the per-cell rain rate. False when a cell's
// radar index lies outside the grid (message printed).
bool apply_radar_grid(radar_grid& rg);

}  // namespace kavro
