// End-of-event accounting: budgets, summary and calibration values.
#pragma once

namespace kavro {

struct main_state;

// Computes the event budgets and writes the event summary.
void end_event(main_state& ms);

}  // namespace kavro
