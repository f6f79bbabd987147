#include "overland/rain_rate_checks.h"

#include "framework/main_state.h"
#include "framework/readers.h"
#include "framework/run_warnings.h"

namespace kavro {

namespace {

// More than the heaviest rain ever measured in an hour, by far.
constexpr double highest_likely_rate_mm_h = 1000.0;
// The summary prints a uniform rate with one decimal.
constexpr double smallest_shown_rate_mm_h = 0.05;

}  // namespace

void warn_unlikely_uniform_rain(const main_state& ms) {
  if (!ms.uniform_rain_on) return;
  const double rate = ms.rain_intensity;
  if (rate > highest_likely_rate_mm_h)
    warn(format_string("Warning: RAIN_INTENSITY %g mm/h is more than %g mm/h; the card's value is a rate in "
                       "millimetres per hour.\n",
                       rate, highest_likely_rate_mm_h));
  else if (rate > 0.0 && rate < smallest_shown_rate_mm_h)
    warn(format_string("Warning: RAIN_INTENSITY %g mm/h is less than %g mm/h (the summary shows it as 0.0 mm/h); "
                       "the card's value is a rate in millimetres per hour.\n",
                       rate, smallest_shown_rate_mm_h));
}

void warn_unlikely_event_rain(const main_state& ms) {
  if (ms.radar_mode == 2) return;  // radar grids report their own peaks
  const int periods = ms.n_rain_periods - (ms.rates_on ? 1 : 0) - 1;
  for (int k = 1; k <= ms.n_gauges && k <= ms.gauge_values.size1(); ++k) {
    for (int j = 1; j <= periods && j <= ms.gauge_values.size2(); ++j) {
      const double rate = ms.gauge_values[k][j];
      if (rate <= highest_likely_rate_mm_h) continue;
      const char* meaning = ms.rates_on ? "a RATES value is a rate in mm/h"
                            : ms.accum_on ? "an ACCUM value is the depth fallen since the event began, in mm"
                                          : "a GAGES value is the depth of the period that its line closes, in mm";
      warn(format_string("Warning: rain event %d of file %s: gauge %d rains %.1f mm/h from its line %d on, more "
                         "than %g mm/h; %s.\n",
                         ms.event_no, ms.precip_file_path.c_str(), k, rate, j, highest_likely_rate_mm_h, meaning));
      return;
    }
  }
}

}  // namespace kavro
