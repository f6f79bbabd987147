// Rain rates that are possible but far more likely a slip of units: the run
// goes on, with a warning that says what the values mean.
#pragma once

namespace kavro {

struct main_state;

// A uniform storm (RAIN_INTENSITY, mm/h) above 1,000 mm/h, or so small that
// the summary shows it as 0.0 mm/h.
void warn_unlikely_uniform_rain(const main_state& ms);

// The rates of the current rain event (mm/h after conversion) above
// 1,000 mm/h: one warning per event, naming the gauge, the line and the rate.
void warn_unlikely_event_rain(const main_state& ms);

}  // namespace kavro
