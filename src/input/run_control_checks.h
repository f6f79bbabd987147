// The run-control cards checked once the project file is read: values the
// run cannot use are refused before any file of the run is opened.
#pragma once

#include "input/card_records.h"

namespace kavro {

struct main_state;

// True when START_DATE, START_TIME and END_TIME lie on the calendar and the
// clock (year 1 to 9999, a month of the year, a day of that month, hour 0 to
// 23, minute 0 to 59); otherwise prints one message per value and returns
// false. Made as soon as the cards are read: the reading turns them into
// dates at once.
bool check_date_cards(const run_params_record& rp);

// True when the run-control values can make a run. Otherwise prints one
// message per refused value, naming the card and the value, and returns
// false. Refused: a missing WATERSHED_MASK, ELEVATION, SUMMARY or
// OUTLET_HYDRO card (a mask or elevation map that is not found is named with
// its card and the folders searched, and refused when it is opened); TIMESTEP
// not above 0 (ROWS, COLS and GRIDSIZE: the option checks); a grid of
// more cells than an int counts; a negative TOT_TIME; a run with no way to
// end; negative MANNING_N, RAIN_INTENSITY, RAIN_DURATION; OUTROW and OUTCOL
// outside the grid; step counts (run, hydrograph and map intervals) beyond the int range.
bool check_run_control_values(const main_state& ms);

}  // namespace kavro
