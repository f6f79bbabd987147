// The tail of the run record: run-mode switches, the calibration hand-over
// and the counters the run driver keeps.
#pragma once

#include <memory>

#include "calibration/calibration_entries.h"

namespace kavro {

struct record_tail_block {
  int quiet = 0;                 // suppresses console prints; copy of card SUPER_QUIET
  int tool_mode = 0;             // 1 in the calibration tool modes (-slm, -ms, -tr, -mlsl)
  int all_contam_output_on = 0;  // 1 when card ALL_CONTAM_OUTPUT is given
  int precip_event_calls = 0;    // rain-event starts handled so far in the run
  int hmet_start_synced = 0;     // 1 once the weather step aligned a long-term run with START_DATE
  // The result buffer of a run that feeds a calibrator: the caller's, or the
  // one the run made itself (then owned by `own_calib_results`).
  calib_result_buffer* calib_results = nullptr;
  std::unique_ptr<calib_result_buffer> own_calib_results;
};

}  // namespace kavro
