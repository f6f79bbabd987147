// The run clock: time step, start time and the clock step of every pass.
#pragma once

#include <optional>

namespace kavro {

struct main_state;

// A calendar date and time of day.
struct calendar_instant {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  double seconds = 0.0;  // real seconds of the minute
};

// Julian date in days (a day begins at noon) of a calendar date and time.
double julian_date(int year, int month, int day, int hour, int minute, double seconds);
// The calendar date of Julian date `jd`, taken 0.01 s later so that a time
// that is a whole second up to round-off falls on its own second.
calendar_instant calendar_date(double jd);
// Day of the year (1 on 1 January), Gregorian leap years.
int day_of_year(int year, int month, int day);
bool is_leap_year(int year);

// Time step, output intervals and the checks of the run's timing cards.
void setup_time_step(main_state& ms);
// Start time of the run and the schedules of every timed process; sets keep_running.
void setup_start_time(main_state& ms);
// The current date, start_hhmm and start_yyyymmdd from the cards START_DATE
// and START_TIME; returns their Julian date.
double set_date_from_start_cards(main_state& ms);
// The time the run's first pass runs at (Julian), as setup_start_time will
// set it: the host's event, the START_DATE or the first weather hour of a
// long-term run, the start date of uniform rain, else the first rain event.
// Known once the weather header and the rain events are read; RELATIVE time
// series are shifted by it.
double run_start_time(const main_state& ms);
// Advances the clock by one time step (now = start + step number * step).
void advance_clock(main_state& ms);
// Moves the clock onto the step before `target`, so that the next pass runs
// at `target` (to the step grid): skips a dry spell between events.
void jump_clock_to(main_state& ms, double target);

// Seconds from Julian date `from` to `to`, to the millisecond: Julian dates
// of this era carry some 40 microseconds of round-off, which would otherwise
// make every step a little longer or shorter than the step it is.
double seconds_between(double from, double to);

// The next time of a schedule parked for good (Julian days): no pass comes
// within the timing tolerance of it.
inline constexpr double never_time = 1.0e30;

// True when a process whose next time is `when` acts in this pass (within
// the timing tolerance of now).
bool is_due(const main_state& ms, double when);
// Start time of event `event` of the precipitation file (from 1); nothing
// when the file has no such event.
std::optional<double> event_start_entry(const main_state& ms, long event);
// Start time of the event after the current one; nothing at the last event.
std::optional<double> next_event_start_time(const main_state& ms);

}  // namespace kavro
