#include "framework/main_state_lifecycle.h"

#include "framework/main_state.h"
#include "framework/replace_pairs.h"
#include "input/elev_series.h"
#include "input/time_series.h"
#include "output/q7_setup.h"
#include "subsurface/wells.h"

namespace kavro {

void main_state_destroy(main_state& ms) {
  // The analyzers go after the run's last notification, which the driver has
  // sent by now.
  ms.analyzer_list.clear();
  q7_free(ms.q7_data);
  // The xy outputs end their files with END_TS before the series list their
  // inputs point into is freed.
  ms.project_params.xy_output.close();
  // A buffer the run made for itself goes with the run; a caller's buffer
  // stays for the caller to read.
  ms.own_calib_results.reset();
  ms.calib_results = nullptr;
  ms.nsm = nullptr;

  // The process-wide lists hold only the current run's entries.
  free_time_series_list();
  free_elev_series_list();
  free_replace_pairs();
  free_well_cells();
}

}  // namespace kavro
