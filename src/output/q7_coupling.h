// Flows per segment for the segment model Q7: the run's coupling record.
//
// Every time step the water that crosses a segment's edge over the land
// (face flows between a cell of the segment and a cell of no segment) and the
// channel discharge at the segment's chosen nodes are added to the segment's
// sum; at every hydrograph interval the mean of the sums is written and the
// sums start again.
#pragma once

#include <vector>

#include "framework/file_wrapper.h"
#include "framework/one_based.h"

namespace kavro {

struct q7_data_record {
  int max_segment = 0;                              // largest segment id of the map; 0 before the map is read
  ivec seg_map{"q7_data->seg_map"};                 // [cell] segment id of the cell, 0 = no segment
  ivec active_array{"q7_data->active_array"};       // [segment] 1 when some cell lies in it
  std::vector<double> sums;                         // [0..max_segment] flow summed since the last output
  int n_accumulated = 0;                            // accumulations since the last output
  file_wrapper output;                              // the segment-flux output
  int n_table = 0;                                  // rows of the link/node-to-segment table
  std::vector<int> link, node, segment;             // the table rows, from index 0
  bool first_output = true;                         // no row written yet in this run
  double first_output_time = 0.0;                   // time of the first row (day of year)
};

}  // namespace kavro
