// Which tables a grid or stream mapping-table file holds.
//
// The run settings ask once per run, before any grid is read; the loaders
// then take a parameter from the mapping table only when its flag is 1.
#pragma once

#include <array>
#include <string>

namespace kavro {

// Presence flags of the grid tables, in report order (0 roughness,
// 3 interception, 4 retention, 5 Green-Ampt parameters, 6 Green-Ampt initial
// moisture, 7 layered soil, 8 Richards Havercamp, 9 Richards Brooks,
// 10 evapotranspiration, 14 wetlands, 17 groundwater, ...).
using map_table_flags = std::array<int, 35>;
// Presence flags of the stream tables (0 roughness ... 5 dispersion).
using stream_table_flags = std::array<int, 6>;

// Sets the flag of every grid table that the mapping-table file at `path`
// holds. Until the mapping-table reader is in place every table answers
// absent and the flags stay 0.
void check_map_table(const std::string& path, map_table_flags& present, int velm_grid_on, int tool_mode);
// The same for the stream mapping-table file.
void check_stream_map_table(const std::string& path, stream_table_flags& present, int tool_mode);
// The index map that the mapping table names for the soil table of the
// Richards option `c_option` (1 Brooks, 2 Havercamp); empty when absent.
std::string richards_index_map_path(const std::string& table_path, int c_option);

}  // namespace kavro
