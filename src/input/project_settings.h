// Run settings from the project: reads the project cards and copies the card
// values into the run record.
#pragma once

#include <string>

namespace kavro {

struct main_state;

// Channel routing codes of run_params.chan_method (the last channel card wins).
enum chan_method_code : int {
  chan_method_none = 0,
  chan_method_preissmann = 1,  // refused by the option checks
  chan_method_drain = 2,       // implicit, refused
  chan_method_explicit = 3,
  chan_method_mesh = 4,
  chan_method_backwater = 5,  // implicit, refused
};

// Reads the project file `project_path` into the card records of `ms` and
// derives the run settings: switches, file names, method switches, the
// uniform-rain clock and the exchange paths; opens the segment model's
// inflow file and asks which mapping tables exist. Failures set error_rec:
// 3 when the project cannot be opened, 4 when the inflow file cannot be
// created, 5 for VELM map output (each with the stop flag).
void read_project(const std::string& project_path, main_state& ms);
// The start-up header of the run log, with the replacement values in use.
void print_startup_header(main_state& ms, const std::string& project_path);

}  // namespace kavro
