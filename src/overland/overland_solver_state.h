// The overland solvers' step-to-step state beside an overland hotstart: the
// sweep orders, the adaptive sub-step and its change limit, the explicit
// solver's reduced step, and the face flows the next stability estimate
// reads. A run that starts from the depth map and this file routes its first
// step as the run that wrote them would have.
#pragma once

#include <string>

namespace kavro {

struct main_state;

// The companion of an overland hotstart named `map_name`.
std::string overland_state_name(const std::string& map_name);
// Writes the state to the file of that name; false when it cannot be opened.
bool write_overland_solver_state(const main_state& ms, const std::string& map_name);
// Reads it back when the file exists (one load line either way); a damaged
// file stops the run with a message naming the file, line and value.
void read_overland_solver_state(main_state& ms, const std::string& map_name);

}  // namespace kavro
