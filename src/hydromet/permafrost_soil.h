// The permafrost soil table: per soil type and layer the thermal and
// hydraulic properties of the soil-temperature model, and its node tables.
// Per-type tables are 1-based by soil type, per-layer values by layer.
#pragma once

#include "framework/one_based.h"

namespace kavro {

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
  dvec alpha{"alpha"};        // [node] sweep coefficients of the solver
  dvec beta{"beta"};          // [node]
  imat cell_address{"cell_address"};  // [type][cell]
  int max_node_count = 0;     // largest node count
  int n_types = 0;            // number of soil types
};

// Sets every table and count of the record to empty.
inline void clear_permafrost_layer_soil(permafrost_layer_soil_record& p) { p = permafrost_layer_soil_record{}; }

}  // namespace kavro
