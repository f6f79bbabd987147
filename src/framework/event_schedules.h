// Clock moves shared by the event steps: the constituent and storage-unit
// clocks that follow the rain periods or the channel routing, and the test
// whether a run may skip the dry spell between events.
#pragma once

namespace kavro {

struct main_state;

// True when no process carries water through the dry spell between events
// (Richards columns, groundwater, overland point sources, redistribution,
// active channel lakes, storage units holding water): the surface and
// channel clocks may then wait for the next event.
bool may_skip_dry_spell(const main_state& ms);

// Sets a process clock: the time it acts next and the time it last acted.
inline void set_clock(double& next, double& last, double next_time, double last_time) {
  next = next_time;
  last = last_time;
}

// The overland constituent transport and its kinetics parts restart with
// the current rain period (the infiltration part with the infiltration).
void start_ov_contam_clocks(main_state& ms);
// The channel constituent clocks take the channel routing's next and last times.
void align_chan_contam_clocks(main_state& ms);
// The overland constituent clocks take the current rain period; the
// transport never waits beyond the next infiltration update.
void align_ov_contam_clocks(main_state& ms);
// The storage-unit clock takes the current rain period.
void align_bmp_clock(main_state& ms);

}  // namespace kavro
