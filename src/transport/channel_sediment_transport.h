// Sediment in the channel network: sand (the classes at or above
// SAND_SIZE) moves from node to node as bed material at the capacity of
// Yang's unit-stream-power equation and raises or lowers erodible beds; the
// fine classes travel in suspension with the water (wash load) and settle
// in channel lakes. Volumes are m3 of solid sediment.
//
// Node rows: node k of link i is row i * max_nodes_per_link + k of the
// row-indexed arrays (qsmax, SS_node_conc_vol, chan_sed_conc, ...).
// Bed-material entries of a node (third index of ch_sand_vol): 1 ..
// n_sand_classes the sand that entered the node, n_sand_classes + 1 the
// parent bed layer present at set-up, 0 their sum.
#pragma once

namespace kavro {

struct main_state;

// Channel set-up with channel sediment on: allocates the channel and lake
// sediment arrays and the work arrays of both routines, copies the bed
// elevations and fills the erodible bed layer of every node.
void alloc_chan_sed_arrays(main_state& ms);

// One channel step of dt s for the sand: lateral sand onto the beds, the
// capacity of every wet node, the exchange along the links (into lakes and
// out of the outlet), the bed elevation of erodible trapezoid links.
void chan_sand_transport(main_state& ms, double dt);

// Flow area and the perimeter value (top width plus wetted perimeter) of the
// breakpoint section of a node at depth h, from the node's depth table.
void interp_node_depth_tables(const main_state& ms, int node, int link, double h, double& area,
                              double& perimeter);

// One channel step of dt s for the wash load: lateral input, advection
// through the node faces with the water each face carried (two stages,
// averaged), continuity, concentrations, and the channel lakes' exchange,
// settling and budgets.
void route_chan_suspended_sed(main_state& ms, double dt);

// The new bed elevation of an erodible trapezoid node holding bed material
// V (m3 of solids): above the set-up bed by the trapezoid of bottom b and
// side slope z holding what exceeds the full layer, below it by what is
// missing spread over the bottom width, never more than max_eros below.
double trapezoid_bed_elevation(double V, double org_bel, double b, double z, double max_eros, double dx,
                               double porosity);

}  // namespace kavro
