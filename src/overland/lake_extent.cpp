#include "overland/lake_extent.h"

#include "framework/main_state.h"

namespace kavro {

void lake_extent_update(main_state&) {}

}  // namespace kavro
