// The time-series outputs written at every hydrograph interval.
#pragma once

namespace kavro {

struct main_state;

// The time column of long-term runs: the Julian date with card
// STRICT_JULIAN_DATE, otherwise the decimal year of the run clock
// (Gregorian leap years).
double long_term_time_value(const main_state& ms);
// Water depth of `cell` at this moment (m): the overland depth, or in a
// channel-lake cell the lake level above the ground; 0 outside 1..n_cells.
double current_cell_depth(const main_state& ms, long cell);
// The outlet concentration and mass rows of every nutrient species whose
// hydrograph output is on.
void write_nutrient_hydrographs(main_state& ms);

}  // namespace kavro
