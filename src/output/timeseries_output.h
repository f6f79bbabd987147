// The time-series outputs written at every hydrograph interval.
#pragma once

#include <cstdio>

namespace kavro {

struct main_state;

// The time column of long-term runs: the Julian date with card
// STRICT_JULIAN_DATE, otherwise the decimal year of the run clock
// (Gregorian leap years).
double long_term_time_value(const main_state& ms);
// Water depth of `cell` at this moment (m): the overland depth, or in a
// channel-lake cell the lake level above the ground; 0 outside 1..n_cells.
double current_cell_depth(const main_state& ms, long cell);
// The time column of the location rows: "%14.8lf " with the elapsed minutes,
// or "%16.8lf " with the long-term time value in long-term runs.
void write_location_time(std::FILE* f, const main_state& ms, double long_term_time);
// The rows of the pipe networks at an output time: flows at the listed
// superjunctions and superlink nodes, and the drain outlets' discharges
// (m3/s times the unit factor f).
void write_pipe_point_rows(main_state& ms, double f, double long_term_time);
// The superlink link/node datasets: reach flows, node heads, tile flows.
void write_pipe_datasets(main_state& ms);
// The outlet concentration and mass rows of every nutrient species whose
// hydrograph output is on.
void write_nutrient_hydrographs(main_state& ms);

}  // namespace kavro
