// Transport processes that other subsystems call, not built yet.
#pragma once

namespace kavro {

struct main_state;

// Overland erosion, deposition and transport by size class for one overland
// step of `dt` seconds, after the routing moved the water.
void ov_sediment_transport(main_state& ms, double dt);

}  // namespace kavro
