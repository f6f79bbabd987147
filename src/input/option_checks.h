// Consistency checks of the project options.
#pragma once

namespace kavro {

struct main_state;

// Refuses projects whose cards contradict each other or ask for what the
// model cannot run (the catalogue code is left for the run driver's report;
// refusals outside the catalogue print their message and leave code 4000).
// The groundwater warnings 39 and 41 are reported at once and the later
// checks still run. Also clears the map switches that a chosen method makes
// meaningless and switches the overland sediment outputs on.
void check_project_options(main_state& ms);

}  // namespace kavro
