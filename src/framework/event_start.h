// The start of a rain event.
#pragma once

namespace kavro {

struct main_state;

// Resets the event accumulators on the pass that starts an event.
void event_start_step(main_state& ms);

}  // namespace kavro
