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
// derives the run settings; a project that cannot be read sets error code 3.
void read_project(const std::string& project_path, main_state& ms);
// The start-up information of the run (console and run log).
void print_startup_header(main_state& ms, const std::string& project_path);

}  // namespace kavro
