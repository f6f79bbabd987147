#include "input/grid_setup.h"

#include "framework/main_state.h"

namespace kavro {

void setup_grid_and_maps(main_state&) {}

}  // namespace kavro
