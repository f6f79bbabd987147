// The layered soil table of multi-layer Green-Ampt infiltration.
#pragma once

namespace kavro {

class file_wrapper;
class soil_type_store;

// Reads the layered soil table from `f`, standing on the line after its card
// line in the mapping-table file, into `table`. The number of soil types
// read; 0 on a range error or an empty table.
int read_mlga_soil_params(file_wrapper& f, soil_type_store& table);

}  // namespace kavro
