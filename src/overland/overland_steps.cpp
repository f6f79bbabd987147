#include "overland/overland_steps.h"

#include "framework/main_state.h"

namespace kavro {

void ovl_boundary_step(main_state&) {}

}  // namespace kavro
