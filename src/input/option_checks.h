// Consistency checks of the project options.
#pragma once

namespace kavro {

struct main_state;

// Refuses projects whose cards contradict each other.
void check_project_options(main_state& ms);

}  // namespace kavro
