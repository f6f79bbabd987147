// Rules that end an event and the run.
#pragma once

namespace kavro {

struct main_state;

// Ends the event (and the run) by its end rules.
void event_end_rules_step(main_state& ms);

}  // namespace kavro
