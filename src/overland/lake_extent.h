// The grid cells that each channel lake covers.
#pragma once

namespace kavro {

struct main_state;

// Updates the cells covered by each channel lake from its water level:
// flooded cells join the lake (their surface water into lake_in_dv), cells
// the water left are given back; lake_mask is current afterwards.
void lake_extent_update(main_state& ms);

// One hour of open-water evaporation from every channel lake, for wind
// speed `wind` (m/s), air temperature `T` (C) and relative humidity `RH`
// (%): never more than a lake holds; the volumes taken go to each lake's
// cumulative_lake_evap and to vol_lake_evap_total. The lakes' extents follow.
void lake_evaporation(main_state& ms, double wind, double T, double RH);

}  // namespace kavro
