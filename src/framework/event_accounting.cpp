#include "framework/event_accounting.h"

#include "framework/main_state.h"

namespace kavro {

void end_event(main_state&) {}

}  // namespace kavro
