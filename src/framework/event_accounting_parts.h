// The later parts of the end-of-event accounting, called in this order by end_event.
#pragma once

namespace kavro {

struct main_state;

// Sediment volumes per size class at the event end and the channel sediment.
void account_sediment(main_state& ms);
// Constituent masses at the event end (kg).
void account_constituents(main_state& ms);
// Basin mean of the relative soil water at the event end.
void measure_final_soil_moisture(main_state& ms);
// The calibration output line and the calibration buffer entries of the event.
void hand_over_to_calibrator(main_state& ms);

}  // namespace kavro
