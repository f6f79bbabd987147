#include "framework/run_clock.h"

#include "framework/main_state.h"

namespace kavro {

void setup_time_step(main_state&) {}
void setup_start_time(main_state&) {}
void advance_clock(main_state&) {}

}  // namespace kavro
