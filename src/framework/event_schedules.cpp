#include "framework/event_schedules.h"

#include "framework/main_state.h"

namespace kavro {

bool may_skip_dry_spell(const main_state& ms) {
  const bool units_dry = !ms.ov_bmp_on || !ms.bmp_list || !ms.bmp_list->bmp_active;
  return !ms.richards_on && !ms.gw_simulation_on && !ms.ov_point_source_on && !ms.inf_redist_on &&
         !ms.chan_lakes_active && units_dry;
}

void align_chan_contam_clocks(main_state& ms) {
  ms.chan_con_next = ms.chan_decay_next = ms.next_chan_time;
  ms.chan_con_last = ms.chan_decay_last = ms.last_chan_time;
  if (ms.contam_table_read) {
    ms.chan_decay_table_next = ms.next_chan_time;
    ms.chan_decay_table_last = ms.last_chan_time;
  }
  if (ms.nutrients_on) {
    ms.chan_decay_nsm_next = ms.next_chan_time;
    ms.chan_decay_nsm_last = ms.last_chan_time;
  }
  if (ms.stream_loss_on) {
    ms.chan_decay_gw_next = ms.next_chan_time;
    ms.chan_decay_gw_last = ms.last_chan_time;
  }
}

void align_ov_contam_clocks(main_state& ms) {
  ms.next_ov_contam_time = ms.precip_period_end;
  ms.last_ov_contam_time = ms.precip_period_start;
  ms.ov_kin_infil_next = ms.next_infil_time;
  ms.ov_kin_precip_next = ms.precip_period_end;
  if (ms.channel_on) {
    ms.ov_kin_chan_next = ms.precip_period_end;
    ms.ov_kin_chan_last = ms.precip_period_start;
  } else {
    ms.ov_kin_nochan_next = ms.precip_period_end;
  }
  if (ms.next_infil_time < ms.next_ov_contam_time) ms.next_ov_contam_time = ms.next_infil_time;
  if (ms.contam_table_read) ms.ov_kin_table_next = ms.ov_kin_table2_next = ms.precip_period_end;
}

void align_bmp_clock(main_state& ms) {
  ms.next_bmp_time = ms.precip_period_end;
  ms.last_bmp_time = ms.precip_period_start;
}

}  // namespace kavro
