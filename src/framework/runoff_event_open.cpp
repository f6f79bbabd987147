// Opening a runoff event between rain events.
#include "framework/runoff_event_open.h"

#include "framework/event_schedules.h"
#include "framework/event_start_parts.h"
#include "framework/main_state.h"

namespace kavro {

namespace {

constexpr double seconds_per_day = 86400.0;
// Inlet forms at or above this are outlets and fixed heads, not inlets.
constexpr int first_non_inlet = 777;

// True when some superlink junction takes water from the surface.
bool superlinks_take_surface_water(const main_state& ms) {
  long sum = 0;
  for (long j = 1; j <= ms.n_sl_junctions && j <= ms.inlet_type.size2(); ++j) {
    const int t = ms.inlet_type[0][j];
    if (t < first_non_inlet) sum += t;
  }
  return sum > 0;
}

}  // namespace

void open_runoff_event(main_state& ms) {
  const double d = ms.dt_base, d_days = d / seconds_per_day, t = ms.now;
  ms.runoff_active = 1;
  ms.precip_interval = d;
  ms.precip_period = d_days;
  ms.precip_period_start = t;
  ms.precip_period_end = t + d_days;
  ms.infil_interval = d;
  ms.infil_interval_days = d_days;
  set_clock(ms.next_infil_time, ms.last_infil_time, t + d_days, t);
  if (ms.ov_contam_on) {
    start_ov_contam_clocks(ms);
    if (ms.channel_on)
      set_clock(ms.ov_kin_chan_next, ms.ov_kin_chan_last, t + d_days, t);
    else
      set_clock(ms.ov_kin_nochan_next, ms.ov_kin_nochan_last, t + d_days, t);
  }
  if (ms.soil_redist_on) {
    ms.next_et_time = t + d_days;
    ms.et_interval_days = d_days;
    ms.et_interval = d;
    if (ms.soil_contam_on) ms.soil_contam_next = t + d_days;
    if (ms.inf_redist_on && ms.redist_reinit == 0) restart_redistribution(ms);
    if (ms.multi_layer_ga_on) restart_multi_layer(ms);
  }
  if (ms.storm_sewer_on && ms.superlink_active == 0 && superlinks_take_surface_water(ms)) {
    ms.superlink_active = 1;
    set_clock(ms.next_superlink_time, ms.last_superlink_time, t + ms.precip_period, t);
  }
}

}  // namespace kavro
