#include "framework/event_end_rules.h"

#include "framework/main_state.h"

namespace kavro {

void event_end_rules_step(main_state&) {}

}  // namespace kavro
