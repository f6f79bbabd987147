// The overland routing step: once per overland interval it moves the surface
// water and then opens the next interval.
#include <cmath>

#include "framework/main_state.h"
#include "overland/overland_steps.h"

namespace kavro {

void overland_route_step(main_state& ms) {
  if (!(std::fabs(ms.now - ms.precip_period_end) < ms.time_tol)) return;
  ms.precip_period_start = ms.now;
  ms.precip_period_end = ms.now + ms.precip_period;
}

}  // namespace kavro
