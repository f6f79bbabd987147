// The segment-model coupling: set-up at the end of the grid set-up, the
// per-step sums and the rows of the segment-flux output.
#pragma once

#include <memory>

#include "framework/one_based.h"

namespace kavro {

struct q7_card_block;
struct q7_data_record;

// With the Q7_FLUXES card on: reads the segment map over the watershed mask
// (`rows` x `cols`, `n_cells` active cells), reads the link/node-to-segment
// table and checks every row against the segments and, with channel routing
// on, against the `links` links and their `nx` computational nodes, and opens
// the segment-flux output.
void q7_setup(q7_data_record& data, const q7_card_block* settings, imat& mask, int rows, int cols, int n_cells,
              int channel_on, int links, const ivec& nx);
// Adds the water crossing each segment's edge in this time step: the overland
// face flows of the cells times the cell size `dx` and, with channel routing,
// the discharge at the segment's channel nodes.
void q7_accumulate_flows(q7_data_record& data, const dvec& flow_x, const dvec& flow_y, int n_cells,
                         const ivec& right, const ivec& below, int channel_on, const dmat& qp, double dx);
// Writes the mean flux of every segment at time `t` (day of year) and
// restarts the sums.
void q7_write_fluxes(q7_data_record& data, double t);
// Closes the segment-flux output and releases the coupling record.
void q7_free(std::unique_ptr<q7_data_record>& data);

}  // namespace kavro
