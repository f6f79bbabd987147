// The two-dimensional saturated groundwater solver: vertically averaged,
// unconfined flow on the active cells, implicit in time, a five-point
// stencil solved by line relaxation inside Picard passes on the
// transmissivities.
#pragma once

namespace kavro {

struct main_state;

// Sweeps of one line relaxation before it gives up.
inline constexpr long gw_max_sweeps = 10000;
// Picard passes of one sub-step before it gives up.
inline constexpr int gw_max_passes = 1000;

// Sizes the solver's work for this run (cells, longest line, longest soil
// column); false after a printed allocation failure.
bool alloc_groundwater_work(main_state& ms);

// Advances the heads over `step` seconds and returns the volume (m3) that
// entered the aquifer through the sink terms (positive = net inflow), the
// water the head floor added included. 0 after a reported error.
double groundwater_flow(main_state& ms, long n_cells, double step);

// Solves the five-point system of the current pass into elevgw by line
// relaxation. Returns the sweeps made, or -1 after gw_max_sweeps sweeps
// without convergence (printed, code 4000 set).
long gw_line_relaxation(main_state& ms);

// The per-cell work of one pass without the line relaxation, in the order a
// call runs it: sink terms over `dt`, transmissivities (heads back to
// gw_head_start), the five-point coefficients, the head floor and the
// boundary flux. Returns the volume of the sink terms and the floor (m3).
// groundwater_flow does not call it; it lets that work be timed alone.
double gw_pass_cell_loops(main_state& ms, long n_cells, double dt);

// Storage coefficient and soil-column coupling of the Richards columns
// (groundwater_columns.cpp). Sub-step control: may shorten `dt`; false after
// a head that is not a number (printed, code 4000 set).
bool gw_substep_control(main_state& ms, long n_cells, double& dt);
// Re-estimates gw_storage of cell j from the water-table movement since the
// start of the sub-step.
void layer_weighted_property(main_state& ms, long j);
// Rebuilds cell j's soil column around the moved water table; the water it
// releases (cm) is left in gw_column_excess[j]. False when the column cannot
// hold the nodes (printed, code 4000 set).
bool rebuild_soil_column(main_state& ms, long j);

}  // namespace kavro
