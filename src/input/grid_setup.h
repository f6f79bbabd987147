// The grid set-up driver: mask, elevations and every per-cell loader.
#pragma once

namespace kavro {

struct main_state;

// Builds the grid and calls every loader in its fixed order.
void setup_grid_and_maps(main_state& ms);

}  // namespace kavro
