// The grid mapping-table file: its card keywords and the line operations that
// every table reader shares.
//
// Layout of the file (one item per line):
//   KAVRO_INDEX_MAP_TABLES                 first line (22 characters compared)
//   INDEX_MAP <path> <map name>            any number, directly after line 1
//   <CARD> <map name>                      a table: card line,
//   NUM_IDS n                              count line(s),
//   <column header>                        one header line (not read),
//   n rows: ID in columns 1-6, free text in 7-86, values from column 87.
// An index map is an integer raster in the ASCII map layout that gives every
// active cell the ID of its table row.
//
// Every index here follows the grid: IDs count from 1, the ID grid is
// [row][col] from 1 like `mask`, per-cell arrays are indexed by cell number.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "framework/number_text.h"
#include "framework/one_based.h"

namespace kavro {

class file_wrapper;
struct main_state;

// One card keyword of the mapping-table file.
struct map_table_card {
  std::string_view keyword;
  int code;                // card code used by every reader
  int values;              // values per row (rows of read_map_table cards); 0 for other layouts
  std::string_view label;  // label of the check report; empty when the card is not reported
  int flag;                // index in map_table_present; -1 when the card has no flag
  int report;              // line of the check report (1..35); 0 when not reported
};

// The keywords in the order in which a line is tested against them: a line
// takes the code of the first keyword it begins with, so the longer keyword
// of a shared prefix comes first ("GROUNDWATER_BOUNDARY", "NUM_CONTAM").
// "ROUGHNESS" is tested before all others by every reader; it sits first.
inline constexpr std::array<map_table_card, 46> map_table_cards{{
    {"ROUGHNESS", 1, 1, "Roughness", 0, 1},
    {"ROUGH_EXP", 33, 1, "Rough_exp", 1, 2},
    {"OVR_FLOW_BLOCK", 34, 5, "Ovr_flow_block", 2, 3},
    {"INTERCEPTION", 2, 2, "Interception", 3, 4},
    {"RETENTION", 3, 1, "Retention", 4, 5},
    {"GREEN_AMPT_INFILTRATION", 4, 7, "G&A Infiltration", 5, 6},
    {"GREEN_AMPT_INITIAL_SOIL_MOISTURE", 5, 1, "G&A Soil Moisture", 6, 7},
    {"RICHARDS_EQN_INFILTRAIION_HAVERCAMP", 6, 0, "Richards Havercamp", 8, 9},
    {"RICHARDS_EQN_INFILTRATION_BROOKS", 7, 0, "Richards Brooks", 9, 10},
    {"EVAPOTRANSPIRATION", 8, 4, "Evapotranspiration", 10, 11},
    {"SNOW_CANOPY_INTERCEPTION", 36, 3, "Snow Canopy Interception", 33, 12},
    {"SEDIMENTS", 9, 0, "Sediments", 11, 13},
    {"SOIL_EROSION_PROPS", 10, 5, "Sediment Erosion Properties", 12, 14},
    {"MATERIAL_INDEX", 13, 0, "", -1, 0},
    {"NUM_IDS", 137, 0, "", -1, 0},
    {"NUM_CONTAM", 139, 0, "", -1, 0},
    {"NUM_SED", 140, 0, "", -1, 0},
    {"BMPS", 35, 10, "BMP Point Models", 34, 35},
    {"NUM_CON", 301, 0, "", -1, 0},
    {"MULTI_LAYER_SOIL", 201, 0, "Multi layer G&A Infiltration", 7, 8},
    {"PERMAFROST_LAYER_SOIL", 203, 0, "", -1, 0},
    {"RATINGCURVES", 202, 0, "", -1, 0},
    {"INDEX_MAP", 138, 0, "", -1, 0},
    {"CONTAMINANT_TRANSPORT", 11, 8, "Contaminants", 13, 15},
    {"WETLAND_PROPERTIES", 12, 7, "Wetlands", 14, 16},
    {"OVERLAND_BOUNDARY", 14, 2, "Overland Boundary", 15, 17},
    {"GROUNDWATER_BOUNDARY", 18, 1, "Groundwater Boundary", 18, 20},
    {"TIME_SERIES_INDEX", 15, 0, "", -1, 0},
    {"WELL_TABLE", 16, 3, "Groundwater Wells", 16, 18},
    {"GROUNDWATER", 17, 2, "Groundwater", 17, 19},
    {"AREA_REDUCTION", 19, 1, "Area Reduction", 19, 21},
    {"NSM_N", 20, 4, "NSM Nitrogen", 20, 22},
    {"NSM_P", 21, 3, "NSM Phosphorus", 21, 23},
    {"NSM_C", 22, 2, "NSM Carbon", 23, 25},
    {"NSM_OTH", 23, 3, "NSM Other", 22, 24},
    {"DISPERSION", 24, 1, "NSM Dispersion", 24, 26},
    {"PRECIP_CONC", 50000, 0, "", -1, 0},
    {"PARTITION", 60000, 0, "", -1, 0},
    {"NSM_SOIL_C", 25, 2, "NSM Soil Carbon", 25, 27},
    {"NSM_SOIL_N", 26, 5, "NSM Soil Nitrogen", 26, 28},
    {"NSM_SOIL_P", 27, 6, "NSM Soil Phosphorus", 27, 29},
    {"NSM_GW_N", 28, 4, "NSM Groundwater Nitrogen", 28, 30},
    {"NSM_GW_P", 29, 4, "NSM Groundwater Phosphorus", 29, 31},
    {"NSM_GW_OTH", 30, 2, "NSM Groundwater Other", 30, 32},
    {"NSM_SOIL_KM", 31, 6, "NSM Soil Km", 31, 33},
    {"NSM_SOIL_KOC", 32, 6, "NSM Soil Koc", 32, 34},
}};

// Card codes the readers name.
namespace map_card {
inline constexpr int roughness = 1;
inline constexpr int sediments = 9;
inline constexpr int soil_erosion = 10;
inline constexpr int contaminants = 11;
inline constexpr int wetlands = 12;
inline constexpr int time_series_index = 15;
inline constexpr int wells = 16;
inline constexpr int bmps = 35;
inline constexpr int num_ids = 137;
inline constexpr int index_map = 138;
inline constexpr int num_contam = 139;
inline constexpr int num_sed = 140;
inline constexpr int ratingcurves = 202;
inline constexpr int num_con = 301;
inline constexpr int precip_conc = 50000;
inline constexpr int partition = 60000;
}  // namespace map_card

// The entry of a card code; null for a code that is not in the table.
constexpr const map_table_card* find_map_table_card(int code) {
  for (const map_table_card& c : map_table_cards)
    if (c.code == code) return &c;
  return nullptr;
}

// Flag index of a card code in map_table_present; -1 when it has none.
constexpr int map_table_flag(int code) {
  // No pointer test: the sanitizer build cannot evaluate one at compile time.
  for (const map_table_card& c : map_table_cards)
    if (c.code == code) return c.flag;
  return -1;
}

// The code of the first keyword of the list (after "ROUGHNESS") that the line
// begins with; 0 when none. "ROUGHNESS" itself gives 0: callers test it first
// (or use line_card_code).
int map_table_card_code(std::string_view line);
// 1 for a line beginning with "ROUGHNESS", else map_table_card_code.
int line_card_code(std::string_view line);
// Writes the keyword of `code` into `out`; codes without a name (201 to 203,
// unknown codes) leave `out` as it was.
void map_table_card_name(int code, std::string& out);
// Values per row of the generic tables (codes 1 to 36); 0 for any other code.
int map_table_values_per_row(int code);
// True when the mapping-table check found the table of card `code` usable.
bool map_table_has(const main_state& ms, int code);

// The card search. `f` must be open at the start of the file. 1 when line 1
// is the file header and the card line of `code` was found; for a card read
// through an index map (all but TIME_SERIES_INDEX and CONTAMINANT_TRANSPORT)
// its map name must also match an INDEX_MAP line exactly (the last of equal
// names wins), whose path goes to `map_path`. 0 otherwise, `map_path` empty.
// The stream is left after the card line.
int seek_map_table_card(file_wrapper& f, int code, std::string& map_path);
// The SEDIMENTS (resp. RATINGCURVES) card, which names no index map.
int seek_sediments_card(file_wrapper& f);
int seek_ratingcurves_card(file_wrapper& f);

// The INDEX_MAP lines directly after the file header, in file order.
struct index_map_entry {
  std::string name;  // the rest of the line after the path, exactly as written
  std::string path;  // the path token (quotes removed)
};
// Reads line 1 and the INDEX_MAP lines after it; `line` receives the first
// line that is not one (empty at the end of the file). False when line 1 is
// not the file header.
bool read_index_map_lines(file_wrapper& f, std::vector<index_map_entry>& maps, std::string& line,
                          bool& at_end);
// The index maps the mapping table at `path` names, each with the line that
// names it (INDEX_MAP lines follow line 1); empty when the file does not open
// or is no mapping table. For the check that no output writes over them.
std::vector<std::pair<int, std::string>> index_map_names(const std::string& path);
// The paths the map lines of any file of that shape name (line 1 begins with
// `header`, the map lines follow it), each with its line.
std::vector<std::pair<int, std::string>> map_line_paths(const std::string& path, std::string_view header,
                                                          bool (*is_map_line)(std::string_view));
// The same for any file of that shape: line 1 begins with `header`, the map
// lines are those for which `is_map_line` holds.
bool read_map_lines(file_wrapper& f, std::string_view header, bool (*is_map_line)(std::string_view),
                    std::vector<index_map_entry>& maps, std::string& line, bool& at_end);
// The map name of a card line: the text from its second word to the end of
// the line, exactly; empty when the line has one word.
std::string_view map_name_of_card_line(std::string_view line);
// The path of the last entry named exactly `name`; null when none.
const std::string* find_index_map(const std::vector<index_map_entry>& maps, std::string_view name);

// Count lines: the count of the next line when it is a NUM_IDS (NUM_SED,
// NUM_CON, NUM_CONTAM) line, else 0. A negative count reads as 0. The line
// is consumed either way.
int read_num_ids(file_wrapper& f);
// The count of a count line: its second token as a whole number, 0 when
// missing or negative; a token that is no whole number prints its message
// and gives 0.
int count_of_count_line(std::string_view line);
// The ID of a table row: the first token of columns 1 to 6 as a whole number.
// False when there is none.
bool row_id(std::string_view line, int& id);
// The name token of a row that carries a name (time-series index, rating
// curves): the first token from column 7.
std::string row_name_token(std::string_view line);
int read_num_sed(file_wrapper& f);
int read_num_con(file_wrapper& f);
int read_num_contam(file_wrapper& f);

// Consumes lines up to and including the column-header line: the first line
// that begins with no card keyword.
void skip_card_lines(file_wrapper& f);

// The optional line "PRECIP_CONC v1 .. vn" after a count line: when the next
// line is one, elements 1..n of `values` receive its values (0.0 for values
// missing from the line) and the column-header line after it is consumed;
// otherwise the line read was the column header. Elements past the size of
// `values` are not written.
void read_precip_conc_line(file_wrapper& f, int n, dvec& values);

// One table row. The ID is the whole number in columns 1 to 6 (0 when none),
// the values are read from column 87 on, separated by blanks or tabs; values
// missing from the row are 0.0. Returns how many of the k values were read,
// -1 when the row has no readable ID, -2 at the end of the file, -3 when a
// value is not one finite number (its text in `bad_token`, what is wrong in
// `fault`).
int read_table_row(file_wrapper& f, int& id, int k, double* values, std::string& bad_token, number_fault& fault);

// The rows of one table.
struct table_rows {
  int k = 0;                 // values per row
  int max_id = 0;            // largest row ID (0 before the first row)
  std::vector<int> ids;      // row IDs in file order
  std::vector<double> data;  // row-major values, k per row
  double value(std::size_t row, int col) const {
    return data[row * static_cast<std::size_t>(k) + static_cast<std::size_t>(col)];
  }
};

// Reads the n rows of table `table` (its keyword, for messages) with k values
// each. A row without an ID of at least 1 (six columns: at most 999999), a
// non-finite value, or a table that ends before its n rows prints a message
// naming the table and the row number and stops the run (code 4000,
// reported at once): false. A row with fewer than k values gets 0.0 for the
// rest and a warning naming the ID.
bool read_table_rows(file_wrapper& f, std::string_view table, int n, int k, table_rows& out);

// Column `col` (0-based) of the rows as values by ID: element id (1 to
// max_id); IDs without a row hold 0.0; a repeated ID keeps its last row.
std::vector<double> table_column_by_id(const table_rows& rows, int col);

// How read_index_map treats an active cell whose ID is not positive.
enum class id_zero : int {
  warn,  // parameter maps: every active cell needs an ID; such cells get no value and one warning
  none,  // well and wetland maps: 0 means "no well / wetland here", no warning
};

// Reads the index map open in `f` (named `map_path` in messages) into the ID
// grid `ids` ([r][c] from 1, allocated here to rows x cols, 0 outside the
// watershed). The header goes to north..map_cols. An active cell whose ID
// exceeds `max_id` reports error 71 (map row and column) at once and ends the
// reading; the IDs stored before it stay. A header that differs from the
// grid or a map that ends early stops the run with its message. Unless
// `quiet` is 1, "In map %s category %d has %d values" goes to `log` for
// every ID in use. True when the whole map was read without error.
bool read_index_map(file_wrapper& f, const std::string& map_path, double& north, double& south, double& east,
                    double& west, int& map_rows, int& map_cols, const imat& mask, imat& ids, int max_id,
                    int rows, int cols, file_wrapper* log, int quiet, id_zero zero = id_zero::warn);

// Gives every active cell (numbered in `mask`) whose ID in `ids` is between 1
// and the last element of `by_id` the value of its ID: dest[cell] =
// by_id[id]. Other cells keep their values; nothing is written past the end
// of `dest`, and an empty `dest` is left alone.
void assign_ids_to_cells(dvec& dest, const std::vector<double>& by_id, const imat& ids, const imat& mask,
                         int rows, int cols);
// The same into a row of cells 0..dest.size() - 1 (a row of a per-constituent table).
void assign_ids_to_cells(std::span<double> dest, const std::vector<double>& by_id, const imat& ids,
                         const imat& mask, int rows, int cols);

}  // namespace kavro
