// Set-up of the permafrost soil-temperature model.
#pragma once

namespace kavro {

class file_wrapper;
struct main_state;
struct permafrost_layer_soil_record;

// Reads the permafrost soil table from `f`, standing on the line after its
// card line in the mapping-table file; the number of soil types read.
int read_permafrost_soil_file(file_wrapper& f, permafrost_layer_soil_record& table, int n_cells);
// Marks the temperature nodes of `cell` with the Green-Ampt layer that holds
// them and the middle node of each layer; 0, or -9 when the coupling file
// cannot be written.
int link_ga_layers_to_temp_nodes(main_state& ms, int cell);
// The initial temperature of a node at depth z (m) of type s: linear between
// the initial-profile points that enclose it, the first and last segments
// extended above and below the points.
double initial_profile_temperature(const permafrost_layer_soil_record& t, int s, double z);

}  // namespace kavro
