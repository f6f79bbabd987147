// A runoff event that opens without rain: melt water or exfiltrated
// groundwater reaching the surface between rain events.
#pragma once

namespace kavro {

struct main_state;

// Marks the runoff event and restarts, at now with the set-up time step, the
// rain-period, infiltration, evapotranspiration, soil and overland
// constituent and superlink clocks; re-initialises the soil water of the
// redistribution and multi-layer methods from the long-term accounting.
void open_runoff_event(main_state& ms);

}  // namespace kavro
