// The run clock: time step, start time and the clock step of every pass.
#pragma once

namespace kavro {

struct main_state;

// Time step, output intervals and the checks of the run's timing cards.
void setup_time_step(main_state& ms);
// Start time of the run and the schedules of every timed process; sets keep_running.
void setup_start_time(main_state& ms);
// Advances the clock by one time step (now = start + step number * step).
void advance_clock(main_state& ms);

}  // namespace kavro
