#include "framework/event_end_rules.h"

#include <cstdio>
#include <optional>

#include "framework/event_schedules.h"
#include "framework/event_volumes.h"
#include "framework/channel_nodes.h"
#include "framework/main_state.h"
#include "framework/run_clock.h"
#include "output/analyzers.h"

namespace kavro {

namespace {

// Marks the event as over: the host exchange and the accounting follow in this pass.
void end_the_event(main_state& ms) {
  ms.event_active = 0;
  ms.event_over = 1;
  ms.event_done = 1;
}

bool at_last_event(const main_state& ms) { return ms.event_no == ms.n_precip_events; }

bool any_channel_flow_above(const main_state& ms, double cutoff) {
  for (long link = 1; link <= ms.LINKS && link <= ms.nx.size(); ++link) {
    for (long node = 1; node <= nodes_within(ms, link, ms.qp); ++node) {
      if (ms.qp[node][link] > cutoff) return true;
    }
  }
  return false;
}

// Moves the surface schedules to the next event. `flow_never_rose`: the
// event ended without its outflow reaching the cutoff (the channel rests).
void jump_ahead(main_state& ms, bool flow_never_rose) {
  const std::optional<double> next = next_event_start_time(ms);
  if (!next || !may_skip_dry_spell(ms)) return;
  ms.precip_period_end = *next;
  ms.precip_period_start = *next - ms.precip_period;
  if (ms.channel_on) {
    if (flow_never_rose) {
      ms.next_chan_time = *next;
      ms.chan_active = 0;
    } else {
      ms.next_chan_time = ms.precip_period_end;
    }
  }
  if (ms.ov_contam_on) align_ov_contam_clocks(ms);
  if (ms.chan_contam_on && (flow_never_rose || ms.channel_on)) align_chan_contam_clocks(ms);
  if (ms.ov_bmp_on) align_bmp_clock(ms);
}

// Outflow below the cutoff in a long-term or host-driven run.
void low_flow_rules(main_state& ms) {
  const bool last = at_last_event(ms);
  if (last) ms.vol_surface_final = surface_depth_volume(ms);
  // At the last event the surface may still be draining into the outlet.
  if (last && ms.vol_precip > 0.0 && ms.vol_surface_final - ms.vol_overland_init >= 0.05 * ms.vol_precip &&
      !ms.water_table_on && !ms.sacramento_on) {
    ms.keep_running = 1;
    return;
  }
  if (ms.event_min_q > ms.peak_q) {
    if (ms.channel_on) {
      ms.chan_flow_above_cutoff = any_channel_flow_above(ms, ms.event_min_q) ? 1 : 0;
      if (ms.chan_flow_above_cutoff) {
        ms.keep_running = 1;
        return;
      }
    }
    end_the_event(ms);
    if (last) {
      ms.keep_running = 0;
      if (ms.tool_mode != 1)
        std::printf("simulation ended normally; peak flow after last event fell below cutoff value.\n");
    }
    jump_ahead(ms, true);
    return;
  }
  end_the_event(ms);
  std::printf("Event %3d is over due to flow below cutoff value \n", ms.event_no);
  if (last) {
    ms.keep_running = 0;
    if (ms.tool_mode != 1) std::printf("simulation ended normally; end of data for last event reached\n");
  }
  jump_ahead(ms, false);
}

}  // namespace

void event_end_rules_step(main_state& ms) {
  if (ms.end_time_on && ms.now > ms.end_time) {
    end_the_event(ms);
    ms.keep_running = 0;
    std::printf("Event %3d is over due to absolute end time \n", ms.event_no);
    return;
  }
  if (!ms.long_term_on && !ms.qln_on && ms.now >= ms.run_end_time) {
    end_the_event(ms);
    ms.keep_running = 0;
  }
  const bool flow_rules_apply = (ms.long_term_on || ms.qln_on) && ms.event_active &&
                                (ms.rain_event_state == 0 || ms.rain_event_state == 3);
  if (flow_rules_apply) {
    if (ms.qout < ms.event_min_q) {
      low_flow_rules(ms);
    } else if (at_last_event(ms) && ms.next_lt_et_time == -10.0 && (ms.water_table_on || ms.sacramento_on)) {
      // The weather data ended during the last event.
      end_the_event(ms);
      ms.keep_running = 0;
      std::printf("Event %3d is over due to lack of ET data \n", ms.event_no);
    }
  }
  if (ms.event_over) notify_analyzers(ms, analyzer_event_ended);
}

}  // namespace kavro
