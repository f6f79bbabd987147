// The shares of the lumped basin models' outflow that each grid-stream
// entry of the channel network receives as lateral inflow.
#pragma once

namespace kavro {

struct main_state;

// Sacramento: by reach length, times the topographic index of the entry's
// cell under TOPO_INDEX (gst_sac_weight, sac_cell_topo_share).
void sacramento_link_weights(main_state& ms);
// Two-store model: by the contributing area each link adds, from the
// upslope areas of the cells of the LINKS map (gst_cgw_weight).
void conceptual_gw_link_weights(main_state& ms);

}  // namespace kavro
