// Flows per segment for the segment model: the run's coupling record.
#pragma once

#include "framework/file_wrapper.h"
#include "framework/one_based.h"

namespace kavro {

struct q7_data_record {
  int n_segments = 0;                          // segments of the segment map
  ivec segment_active{"segment_active"};       // [segment] 1 when some cell lies in it
  file_wrapper segment_fluxes;                 // the segment-flux output
};

}  // namespace kavro
