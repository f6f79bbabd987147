#include "framework/host_exchange.h"

#include "framework/main_state.h"

namespace kavro {

void host_exchange_step(main_state&) {}

}  // namespace kavro
