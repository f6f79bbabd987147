// The initial soil moisture of a single-layer soil lies between 0 and the
// porosity of its cell: water above the porosity has no room in the soil,
// water below 0 does not exist.
#pragma once

namespace kavro {

struct main_state;

// True when every active cell has 0 <= init_moisture <= porosity. Otherwise
// prints the first cell that does not (its number, row, column, both values
// and where the moisture came from), stops the run (code 4000, reported)
// and returns false.
bool initial_moisture_fits_porosity(const main_state& ms);

}  // namespace kavro
