#include "input/exchange_maps.h"

#include "framework/main_state.h"

namespace kavro {

void read_exchange_maps(main_state&) {}

}  // namespace kavro
