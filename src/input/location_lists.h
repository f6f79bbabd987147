// The output-location lists: the links and nodes, grid cells, soil-column
// nodes and pipe-network junctions whose time series are written at every
// hydrograph interval. Each list file holds a count, then its entries, in
// free format. A reader does nothing when its card is off; a list that ends
// early, a number that does not parse, a negative count, a row or column
// outside the grid or a soil-column node beyond the declared largest stops
// the run with a message naming the file and the entry (code 4000).
#pragma once

namespace kavro {

struct main_state;

// The six lists in their order (hydrographs, groundwater fluxes, cells,
// sediment, superjunctions, superlink nodes); the link and node lists are
// checked against the channel network, which must exist by then.
void read_output_locations(main_state& ms);

// IN_HYD_LOCATION: link and node pairs into hlink, hnode.
void read_hyd_locations(main_state& ms);
// IN_GWFLUX_LOCATION: link and node pairs into gwflink, gwfnode.
void read_gwflux_locations(main_state& ms);
// IN_CELLDEPDIS_LOCATION: rows and columns into celrowloc, celcolloc and
// their cell numbers into gnumlocater.
void read_cell_locations(main_state& ms);
// IN_SED_LOC (with overland sediment outputs): link and node pairs into
// slink, snode, echoed to the OUT_SED_LOC file.
void read_sed_locations(main_state& ms);
// SUPERLINK_JUNC_LOCATION: superjunctions into sjunc.
void read_superlink_junc_locations(main_state& ms);
// SUPERLINK_NODE_LOCATION: superlink and node pairs into sl_link, sl_node.
void read_superlink_node_locations(main_state& ms);

}  // namespace kavro
