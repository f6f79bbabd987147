// Card values that are numbers but no physics allows, refused as soon as the
// project file is read, before any file of the run is opened.
#pragma once

namespace kavro {

struct main_state;

// True when the values can make a run. Otherwise prints one message per
// refused value, naming the card and the value, and returns false. Refused:
// a negative uniform retention depth (RETENTION, or RETEN_DEPTH given a
// number), which would give the surface water it never held; a MANNING_N
// above any surface's; a TIMESTEP
// longer than the whole run (TOT_TIME, or START_DATE/START_TIME to END_TIME).
bool check_card_physics(const main_state& ms);

}  // namespace kavro
