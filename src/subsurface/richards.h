// The soil columns of the Richards infiltration method: set-up from the soil
// table and the water table, and the step that carries every column through
// an infiltration interval.
#pragma once

namespace kavro {

struct main_state;

// The first sub-step of a column, 5 s, and the shortest sub-step (hours):
// a column never waits for a suggested length of zero.
inline constexpr double richards_first_substep_h = 0.001388888888888889;
inline constexpr double richards_min_substep_h = 1e-6;

// True when a node whose centre lies `centre_cm` below the ground is within
// the root zone of depth `root_cm` (both cm): the zone whose water the roots
// take and whose mean moisture long-term runs start from.
inline bool in_root_zone(double centre_cm, double root_cm) { return centre_cm < root_cm; }

// Fills every column from the soil-type records of its cell, sets it against
// the water table (flagging cells whose water table reaches the ground to
// exfiltrate), computes conductivities and capacities, and writes the
// initial water volumes to the run log. The column tables must be allocated.
void init_richards_columns(main_state& ms);

// Carries every Richards soil column over `elapsed_s` seconds; returns the
// depth (m, summed over the cells) that left the surface upwards: pond
// evaporation, root extraction and upward fluxes through a dry surface.
// Cells are solved in parallel; a moisture that is not a number stops the
// run after the step (code 4000, the cell and node named).
double richards_step(main_state& ms, double elapsed_s);

}  // namespace kavro
