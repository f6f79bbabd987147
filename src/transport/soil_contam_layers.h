// Constituents in the soil layers of every cell.
#pragma once

#include "framework/checked_array.h"

namespace kavro {

struct soil_contam_layers_record {
  int n_layers = 0;                                // soil layers per cell
  int n_cells = -1;                                // cells the record is sized for; -1 until sized
  checked_array<double> layer_depth;               // [layer] depth of each layer (cm)
  checked_array<double> layer_bulk_density;        // [layer] bulk density of each layer
  checked_array_2d<double> layer_water;            // [cell][layer] water content of the layer
};

}  // namespace kavro
