// Set-up of the segment-model coupling at the end of the grid set-up.
#pragma once

#include <memory>

#include "framework/one_based.h"

namespace kavro {

struct q7_card_block;
struct q7_data_record;

// With the Q7_FLUXES card on: reads the segment map, the link/node-to-segment
// table and opens the segment-flux output.
void q7_setup(q7_data_record& data, const q7_card_block* settings, const imat& mask, int rows, int cols,
              int n_cells, double day_of_year, int tool_mode);
// Adds the water crossing each segment's boundary in this time step: the
// overland face flows of the cells and, with channel routing, the discharge
// at the segment's channel nodes.
void q7_accumulate_flows(q7_data_record& data, const dvec& flow_x, const dvec& flow_y, int n_cells,
                         const ivec& right, const ivec& below, int channel_on, const dmat& qp, double dx);
// Writes the mean flux of every segment at time `t` (day of year) and
// restarts the sums.
void q7_write_fluxes(q7_data_record& data, double t);
// Closes the segment-flux output and releases the coupling record.
void q7_free(std::unique_ptr<q7_data_record>& data);

}  // namespace kavro
