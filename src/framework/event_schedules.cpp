#include "framework/event_schedules.h"

#include "framework/main_state.h"

namespace kavro {

bool may_skip_dry_spell(const main_state& ms) {
  const bool units_dry = !ms.ov_bmp_on || !ms.bmp_list || !ms.bmp_list->bmp_active;
  return !ms.richards_on && !ms.gw_simulation_on && !ms.ov_point_source_on && !ms.inf_redist_on &&
         !ms.chan_lakes_active && units_dry;
}

void start_ov_contam_clocks(main_state& ms) {
  const double end = ms.precip_period_end, start = ms.precip_period_start;
  ms.ov_contam_interval = ms.precip_interval;
  ms.ov_contam_interval_days = ms.precip_period;
  set_clock(ms.next_ov_contam_time, ms.last_ov_contam_time, end, start);
  set_clock(ms.ov_kin_precip_next, ms.ov_kin_precip_last, end, start);
  set_clock(ms.ov_kin_infil_next, ms.ov_kin_infil_last, ms.next_infil_time, ms.last_infil_time);
  if (ms.contam_table_read) {
    set_clock(ms.ov_kin_table_next, ms.ov_kin_table_last, end, start);
    set_clock(ms.ov_kin_table2_next, ms.ov_kin_table2_last, end, start);
  }
  if (ms.nutrients_on) {
    set_clock(ms.ov_kin_nsm_next, ms.ov_kin_nsm_last, end, start);
    set_clock(ms.ov_kin_nsm_soil_next, ms.ov_kin_nsm_soil_last, end, start);
  }
}

void align_chan_contam_clocks(main_state& ms) {
  const double next = ms.next_chan_time, last = ms.last_chan_time;
  set_clock(ms.chan_con_next, ms.chan_con_last, next, last);
  set_clock(ms.chan_decay_next, ms.chan_decay_last, next, last);
  if (ms.contam_table_read) set_clock(ms.chan_decay_table_next, ms.chan_decay_table_last, next, last);
  if (ms.nutrients_on) set_clock(ms.chan_decay_nsm_next, ms.chan_decay_nsm_last, next, last);
  if (ms.stream_loss_on) set_clock(ms.chan_decay_gw_next, ms.chan_decay_gw_last, next, last);
}

void align_ov_contam_clocks(main_state& ms) {
  ms.next_ov_contam_time = ms.precip_period_end;
  ms.last_ov_contam_time = ms.precip_period_start;
  ms.ov_kin_infil_next = ms.next_infil_time;
  ms.ov_kin_precip_next = ms.precip_period_end;
  if (ms.channel_on) {
    set_clock(ms.ov_kin_chan_next, ms.ov_kin_chan_last, ms.precip_period_end, ms.precip_period_start);
  } else {
    ms.ov_kin_nochan_next = ms.precip_period_end;
  }
  if (ms.next_infil_time < ms.next_ov_contam_time) ms.next_ov_contam_time = ms.next_infil_time;
  if (ms.contam_table_read) ms.ov_kin_table_next = ms.ov_kin_table2_next = ms.precip_period_end;
}

void align_bmp_clock(main_state& ms) {
  set_clock(ms.next_bmp_time, ms.last_bmp_time, ms.precip_period_end, ms.precip_period_start);
}

}  // namespace kavro
