// The permafrost soil table: per soil type and layer the thermal and
// hydraulic properties of the soil-temperature model, and its node tables.
// Per-type tables are 1-based by soil type, per-layer values by layer.
#pragma once

#include <string>
#include <vector>

#include "framework/one_based.h"

namespace kavro {

// Work space of one thread of the soil-temperature solver, sized once per
// run for the largest node count: the iterate, the sweep coefficients, and
// the node conductivities and heat capacities of the column being solved.
struct soil_temperature_work {
  std::vector<double> iterate, alpha, beta, lambda, capacity;
};

struct permafrost_layer_soil_record {
  dmat Thick{"Thick"};        // [type][layer] depth of the layer bottom below the surface (m)
  dmat Tfr{"Tfr"};            // [type][layer] freezing temperature (C)
  dmat Wvol{"Wvol"};          // [type][layer] total volumetric water content (fraction)
  dmat Wunf{"Wunf"};          // [type][layer] unfrozen water content (fraction)
  dmat Aclv{"Aclv"};          // [type][layer] unfrozen-water curve a|c - T|^b: a
  dmat Bclv{"Bclv"};          // [type][layer] b
  dmat Cclv{"Cclv"};          // [type][layer] c
  dmat Cond_th{"Cond_th"};    // [type][layer] thermal conductivity of thawed soil
  dmat Cond_fr{"Cond_fr"};    // [type][layer] thermal conductivity of frozen soil
  dmat Cvol{"Cvol"};          // [type][layer] volumetric heat capacity of the soil skeleton
  ivec Dn_init_nums{"Dn_init_nums"};  // [type] points of the initial profile
  ivec Dn_nums{"Dn_nums"};            // [type] temperature nodes
  ivec Dn_out_nums{"Dn_out_nums"};    // [type] output nodes
  dmat Dn_init{"Dn_init"};    // [type][point] depth of the initial profile (m)
  dmat T_init{"T_init"};      // [type][point] temperature of the initial profile (C)
  dmat Depth{"Depth"};        // [type][node] node depth below the surface (m), increasing
  dmat Dn_out{"Dn_out"};      // [type][output node] values of the output-node file
  ivec n_layers{"n_layers"};  // [type] layers of the type
  imat node_layer{"node_layer"};  // [type][node] layer holding the node (the deepest below the last bottom)
  std::vector<soil_temperature_work> work_by_thread;  // one per solver thread, made once per run
  imat cell_address{"cell_address"};  // [type][cell]
  int max_layers = 0;         // header: largest number of layers
  int max_init_points = 0;    // header: largest number of initial-profile points
  int max_depth_nodes = 0;    // header: largest number of nodes
  int max_node_count = 0;     // largest node count of the types read
  int max_out_count = 0;      // largest output-node count of the types read
  int n_types = 0;            // number of soil types
  int listings_warned = 0;    // bit set of the debug listings that could not be opened (warned once a run)
  std::string init_temp_file, depth_node_file, output_node_file;  // the companion files
};

// Sets every table and count of the record to empty.
inline void clear_permafrost_layer_soil(permafrost_layer_soil_record& p) { p = permafrost_layer_soil_record{}; }

}  // namespace kavro
