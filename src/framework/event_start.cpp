#include "framework/event_start.h"

#include "framework/main_state.h"

namespace kavro {

void event_start_step(main_state&) {}

}  // namespace kavro
