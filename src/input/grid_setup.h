// The grid set-up driver: mask, elevations and every per-cell loader.
#pragma once

namespace kavro {

struct main_state;

// Builds the grid and calls every loader and the grid set-up of every other
// subsystem in their fixed order. After a step that left a problem behind,
// the problem is reported at once and, when it stops the run, no later step
// runs on the half-built grid.
void setup_grid_and_maps(main_state& ms);

}  // namespace kavro
