// Evapotranspiration of long-term runs, hour by hour: each cell's ground
// temperature from its surface energy balance, its potential and actual
// evapotranspiration, the frozen-ground index and the unfrozen share of the
// soil water.
#pragma once

namespace kavro {

struct main_state;

// Potential and actual evapotranspiration (cm/s) and the ground surface
// temperature (K) of every cell for the clock's hour, from the hour's
// weather; returns the air temperature (C).
double evapo_trans(main_state& ms);
// Advances the continuous frozen-ground index of every cell by one hour.
void frost_index_update(main_state& ms);
void frost_index_cell(main_state& ms, long cell);
// Unfrozen share of the soil water (0..1) at ground temperature T (K), for
// pore-size index b and air-entry suction psi (m, negative).
double unfrozen_water_ratio(double T, double b, double psi);

}  // namespace kavro
