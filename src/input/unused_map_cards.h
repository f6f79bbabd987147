// Cards that name maps for a process that no card switches on: the run goes
// on without them, and a warning says so.
#pragma once

namespace kavro {

struct main_state;

// The soil maps of the infiltration methods (CONDUCTIVITY, CAPILLARY,
// POROSITY, MOISTURE) without GREEN_AMPT, INF_REDIST or INF_LAYERED_SOIL.
void warn_unused_soil_maps(const main_state& ms);

}  // namespace kavro
