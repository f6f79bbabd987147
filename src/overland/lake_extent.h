// The grid cells that each channel lake covers.
#pragma once

namespace kavro {

struct main_state;

// Updates the cells covered by each channel lake from its water level:
// flooded cells join the lake (their surface water into lake_in_dv), cells
// the water left are given back; lake_mask is current afterwards.
void lake_extent_update(main_state& ms);

}  // namespace kavro
