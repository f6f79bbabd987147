// Which tables a grid or stream mapping-table file holds.
//
// The run settings ask once per run, before any grid is read; the loaders
// then take a parameter from the mapping table only when its flag is 1.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace kavro {

// Presence flags of the grid tables, in report order.
using map_table_flags = std::array<int, 35>;

// The entries of map_table_flags that the settings and the run files read.
namespace map_table {
inline constexpr int roughness = 0;
inline constexpr int interception = 3;
inline constexpr int retention = 4;
inline constexpr int green_ampt = 5;           // Green-Ampt soil parameters
inline constexpr int green_ampt_moisture = 6;  // Green-Ampt initial moisture
inline constexpr int layered_soil = 7;
inline constexpr int richards_havercamp = 8;
inline constexpr int richards_brooks = 9;
inline constexpr int evapotranspiration = 10;
inline constexpr int wetlands = 14;
inline constexpr int groundwater = 17;
}  // namespace map_table

// Presence flags of the stream tables (0 roughness ... 5 dispersion).
using stream_table_flags = std::array<int, 6>;

// Prints "\nChecking 2D grid mapping tables...\n" and one line per table
// ("  Roughness..........................Y") unless tool_mode is 1, and sets
// the flag of every grid table that the file at `path` holds usably: its card
// with an index map that opens (never with velm_grid_on), or for the
// contaminant and sediment tables a positive count line after the card. A
// file that does not open reports error 64 at once; the flags stay as they
// were. Later callers test a flag with map_table_has (map_table_format.h).
void check_map_table(const std::string& path, map_table_flags& present, int velm_grid_on, int tool_mode);
// One table of the check: sets `flag` and prints its line unless tool_mode is 1.
void report_map_table_card(int& flag, int code, const std::string& path, int velm_grid_on,
                           std::string_view label, int tool_mode);
// "  <label>" padded with dots to 35 characters, then "Y" or "N".
void print_table_report_line(std::string_view label, int flag);
// The same check for the stream mapping-table file (six tables; see
// stream_map_tables.h).
void check_stream_map_table(const std::string& path, stream_table_flags& present, int tool_mode);
// The index map that the mapping table names for the soil table of the
// Richards option `c_option` (1 Brooks, 2 Havercamp); empty when absent.
std::string richards_index_map_path(const std::string& table_path, int c_option);

}  // namespace kavro
