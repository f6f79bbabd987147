// The stream mapping-table file: tables of channel parameters by ID, and
// STREAM_MAP files that give every link of the channel network an ID; every
// computational node of a link takes the values of its link's ID.
//
// Layout:
//   KAVRO_STREAM_INDEX_MAP_TABLES          first line (29 characters compared)
//   ST_INDEX_MAP <path> <map name>         directly after line 1
//   <CARD> <map name>, NUM_IDS n, a column header and n rows in the fixed
//   columns of the grid mapping table (ID in 1-6, values from column 87).
// A STREAM_MAP file: a line beginning with "STREAM_MAP", a word and the
// number of links, then one value per link, link 1 first.
//
// Node values live in flat arrays indexed link * (MAXNODES + 1) + node
// (links and nodes from 1); the per-node ID map is [node][link] from 1.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "framework/one_based.h"
#include "input/map_table_check.h"

namespace kavro {

class file_wrapper;

// Stream table ids.
namespace stream_table {
inline constexpr int roughness = 1;
inline constexpr int nsm_n = 2;
inline constexpr int nsm_p = 3;
inline constexpr int nsm_c = 4;
inline constexpr int nsm_oth = 5;
inline constexpr int dispersion = 6;
inline constexpr int num_ids = 37;
inline constexpr int st_index_map = 38;
}  // namespace stream_table

// The id of a line: 1 for "ROUGHNESS", then the NSM, NUM_IDS, ST_INDEX_MAP
// and DISPERSION keywords by their leading characters; 0 for any other line.
int stream_table_code(std::string_view line);
// Writes the display name of an id ("NSM_C (Stream)") into `out`; other ids
// leave it as it was.
void stream_table_name(int id, std::string& out);
// Values per row of table id 1 to 6; 0 otherwise.
int stream_table_values(int id);

// Seeks the card of table `id` in the file open at its start; 1 when found
// and its map name matches an ST_INDEX_MAP line (the last of equal names),
// whose path goes to `map_path`; else 0.
int seek_stream_table(file_wrapper& f, int id, std::string& map_path);
// The count of the next line when it is a NUM_IDS line (negative reads 0).
int read_stream_num_ids(file_wrapper& f);

// Reads a STREAM_MAP file: mode 0 stores each link's integer ID at every
// node 1..nx[link] (at most MAXNODES) of `ids` [node][link]; mode 2 stores
// each link's real value into `values` (flat). Result 0 success, -1 file
// does not open, -2 wrong first line, -3 link count differs from `links`,
// -4 a value cannot be read (or is not finite).
int read_stream_map(const std::string& path, int links, int maxnodes, const ivec& nx, imat& ids,
                    std::span<double> values, int mode);

// The stream maps the stream mapping table at `path` names, each with the
// line that names it (ST_INDEX_MAP lines follow line 1); empty when the file
// does not open or is no stream mapping table.
std::vector<std::pair<int, std::string>> stream_map_names(const std::string& path);
// Checks a STREAM_MAP file on its own, before the network is known: its
// header, its link count and one whole number per link. False after the
// refusal is reported (115 to 118, the bad value named with its line).
bool check_stream_map_file(const std::string& path);
// Gives every node of every link whose ID is between 1 and the last element
// of `by_id` the value of that ID (by_id[id]); nodes of ID 0 keep their
// values. Nothing is written past the end of `dest`.
void assign_ids_to_links(std::span<double> dest, const std::vector<double>& by_id, const imat& ids, int links,
                         const ivec& nx, int stride);

// Reads table `id` of the stream mapping-table file at `path` into up to
// four flat destinations (columns 1 to 4; an empty span is skipped). A link
// whose ID is negative or above the table's largest ID is skipped with a
// warning naming the STREAM_MAP file and the link. Result 1, or 0 after a
// reported error: 64 file, 66 table or NUM_IDS, 115 to 118 STREAM_MAP file,
// 4000 a bad row.
int read_stream_map_table(const std::string& path, int id, std::span<double> d1, std::span<double> d2,
                          std::span<double> d3, std::span<double> d4, int links, int maxnodes,
                          const ivec& nx);

// One table of the check: `flag` = 1 when the table's card is found and its
// STREAM_MAP file opens; prints its line unless quiet is 1.
void report_stream_table(int& flag, file_wrapper& f, int id, std::string_view label, int quiet);

}  // namespace kavro
