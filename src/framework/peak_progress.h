// Outlet peak tracking and the console progress line.
#pragma once

namespace kavro {

struct main_state;

// Raises the event peak of the outlet discharge and of the output locations.
void track_peak_step(main_state& ms);
// The console progress line.
void progress_step(main_state& ms);

}  // namespace kavro
