#include "hydromet/permafrost_setup.h"

#include "framework/file_wrapper.h"
#include "framework/main_state.h"

namespace kavro {

// The permafrost model comes with the snow and frozen-ground processes; until
// then no permafrost soil type is read and no node is coupled.
int read_permafrost_soil_file(file_wrapper&, permafrost_layer_soil_record&, int) { return 0; }
int link_ga_layers_to_temp_nodes(main_state&, int) { return 0; }

}  // namespace kavro
