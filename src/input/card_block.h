// The card records of the run record: every value and file name of the
// project cards, the run-control cards and the rain options, as the
// project-file reader leaves them.
#pragma once

#include "input/card_records.h"

namespace kavro {

struct card_block {
  project_params_record project_params;  // project card values and file names
  run_params_record run_params;          // run-control card values
  rain_params_record rain_params;        // rain-option card values
};

}  // namespace kavro
