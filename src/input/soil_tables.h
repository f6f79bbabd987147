// The soil tables of the layered infiltration methods: the Richards soil
// table (Brooks-Corey or Havercamp, three layer records per soil type) in its
// own file or in the mapping table, the layered table of multi-layer
// Green-Ampt, and the mapping-table cards that give each cell its soil type.
#pragma once

#include <string>

namespace kavro {

class file_wrapper;
class soil_type_store;
struct main_state;

// Where read_soil_table finds its table.
enum class soil_table_source : int {
  own_file = 0,       // the file of card SOIL_LAYER_INPUT_FILE, free format
  mapping_table = 1,  // rows after the Richards card of the mapping table
};

// Reads the Richards soil table from `f` (named `path` in messages) into
// ms.soil_type_table, works out the node counts num1..num3 of every soil type
// (grown past 151 types when the table holds larger types) and, per active
// cell of type ms.soiltype, numcells and (with a water table) numtot; in the
// own-file form of a long-term run also albedo, veg, Kt and Rs per cell.
// Result: the largest numcells + 2 (2 without cells), or 0 after a refused
// table (message printed, code 4000 reported).
int read_soil_table(file_wrapper& f, const std::string& path, main_state& ms, soil_table_source source);

// The layered soil table of multi-layer Green-Ampt from `f` into `table`.
// False after a refused table (message printed, code 4000 reported).
bool read_layered_soil_table(file_wrapper& f, const std::string& path, soil_type_store& table);

// The Richards table of the mapping table (card 7 for richards_c_option 1,
// 6 for 2): the index map into soiltype, then read_soil_table. The result of
// read_soil_table; -1 when the index map does not open (error 132 set, not
// reported); 0 for another option.
int read_richards_soil_table(main_state& ms);
// MULTI_LAYER_SOIL: the index map into soiltype and the table through
// read_mlga_soil_params. The number of soil types read, or -1 (error 136 set
// when the index map does not open; otherwise the reasons are printed).
int read_multi_layer_soil_table(main_state& ms);
// PERMAFROST_LAYER_SOIL: the index map into KOTU_soiltype and the table
// through read_permafrost_soil_file; its result, or -1 (error 132 set) when
// the index map does not open.
int read_permafrost_soil_table(main_state& ms);

}  // namespace kavro
