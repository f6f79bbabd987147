// The run's outlet and location hydrographs as one file for the PQM
// pre/post-processor.
#pragma once

#include "framework/alloc.h"

namespace kavro {

class file_wrapper;
struct main_state;

// The channel nodes whose hydrographs the location file holds, in its
// column order: `links`[k], `nodes`[k] for k = 1..n.
struct pqm_locations {
  file_wrapper* file = nullptr;  // the location hydrographs, read from their first line; null: none
  int n = 0;
  const ivec* links = nullptr;
  const ivec* nodes = nullptr;
};

// Writes "KELVORA_PQM_HYDROGRAPH_FILE", the counts (locations, start date
// yyyymmdd, start time hhmm, interval in steps, rows), one "link node" line
// per location, then the outlet series and each location's series, ten
// "%11.4lf" values a line. Both hydrograph files hold rows "time value...";
// a row missing from the location file gives 0.0 and one warning, a row
// missing from the outlet file gives nothing.
void write_pqm_hydrograph_file(file_wrapper& outlet, file_wrapper& out, const pqm_locations& locations,
                               int start_yyyymmdd, int start_hhmm, int hyd_interval_steps, int rows);

// The end-of-run step of card PQM_HYDRO: flushes this run's outlet and
// location hydrographs, reads them back by the names they were written
// under and writes the file the card names.
void write_pqm_file(main_state& ms);

}  // namespace kavro
