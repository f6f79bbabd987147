// The later parts of the event start (sediment, soil moisture of the layered
// methods, channels, pipe networks, boundaries), called in this order by
// event_start_step.
#pragma once

namespace kavro {

struct main_state;

// Settles the suspended sediment of the last event and clears the sediment budgets.
void restart_sediment(main_state& ms);
// Start moisture of the redistribution method from the long-term soil water.
void restart_redistribution(main_state& ms);
// Start moisture of the multi-layer Green-Ampt layers from the long-term soil water.
void restart_multi_layer(main_state& ms);
// Channel clocks, start state and volumes; false when the section update stopped the run.
bool restart_channels(main_state& ms);
// Snow, pipe networks, overland boundaries, storage units and the permafrost clock.
void restart_networks_and_boundaries(main_state& ms);

}  // namespace kavro
