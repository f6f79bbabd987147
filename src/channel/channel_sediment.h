// The sediment part of a channel step: lateral sediment from the cells
// along the channels, sand and wash-load transport, and the step's budgets.
#pragma once

namespace kavro {

struct main_state;

// Runs when channel sediment is on and the size classes are routed by the
// sediment model (not carried as constituents); chan_dt is the channel
// step's length (s). False after a lateral sediment volume that is not a
// number (printed, error 4000 reported): the channel step ends there.
bool chan_sediment_step(main_state& ms, double chan_dt);

}  // namespace kavro
