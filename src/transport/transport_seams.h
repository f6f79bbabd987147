// The overland sediment step that the overland routing step calls.
#pragma once

namespace kavro {

struct main_state;

// Overland erosion, deposition and transport by size class for one overland
// step of `dt` seconds, after the routing moved the water.
void ov_sediment_transport(main_state& ms, double dt);
// The routing step's bookkeeping after it: net deposits into ov_qsvol (and,
// with ADJUST_ELEV, into the cell elevations); the step's eroded and
// deposited volumes cleared unless soil constituents read them.
void book_overland_sediment_step(main_state& ms);

}  // namespace kavro
