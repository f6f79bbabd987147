#include "input/card_physics_checks.h"

#include <cstdio>

#include "framework/main_state.h"
#include "framework/run_clock.h"
#include "input/project_card_actions.h"

namespace kavro {

namespace {

constexpr double max_manning_n = 10.0;

}  // namespace

bool check_card_physics(const main_state& ms) {
  const project_params_record& p = ms.project_params;
  const run_params_record& rp = ms.run_params;
  bool ok = true;

  if (p.use_retention && p.retention < 0.0) {
    double uniform = 0.0;
    const char* card = leading_real(p.reten_depth, uniform) ? "RETEN_DEPTH" : "RETENTION";
    std::printf("Error: card %s gives the retention depth %g mm: a depression holds water, it cannot give "
                "any; the depth must not be negative.\n",
                card, p.retention);
    ok = false;
  }

  // Manning n in s/m^(1/3): no surface is rougher than 10.
  if (p.use_manning_n && p.manning_n > max_manning_n) {
    std::printf("Error: card MANNING_N gives %g; no surface has a Manning n above %g.\n", p.manning_n,
                max_manning_n);
    ok = false;
  }

  // One step longer than the whole run steps past its end at once.
  if (rp.timestep > 0.0 && rp.tot_time > 0 && rp.timestep > rp.tot_time * 60.0) {
    std::printf("Error: card TIMESTEP gives %g s, longer than the whole run of %d minutes (card TOT_TIME).\n",
                rp.timestep, rp.tot_time);
    ok = false;
  }
  if (rp.timestep > 0.0 && rp.end_year != 0 && rp.start_year != 0) {
    const double span_s = (julian_date(rp.end_year, rp.end_month, rp.end_day, rp.end_hour, rp.end_minute, 0.0) -
                           julian_date(rp.start_year, rp.start_month, rp.start_day, rp.start_hour, rp.start_minute,
                                       0.0)) *
                          86400.0;
    if (span_s > 0.0 && rp.timestep > span_s + 0.01) {
      std::printf("Error: card TIMESTEP gives %g s, longer than the whole run of %g s from START_DATE to "
                  "END_TIME.\n",
                  rp.timestep, span_s);
      ok = false;
    }
  }
  return ok;
}

}  // namespace kavro
