#include "hydromet/frozen_ground_couplings.h"

#include "framework/main_state.h"

namespace kavro {

// The permafrost soil temperatures come with the permafrost model; until
// then no Richards node is frozen.
int map_layers_to_temp_nodes(main_state&, long) { return 0; }
int frozen_conductivity_column(main_state&, long) { return 0; }

}  // namespace kavro
