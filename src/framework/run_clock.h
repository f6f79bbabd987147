// The run clock: time step, start time and the clock step of every pass.
#pragma once

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
// Advances the clock by one time step (now = start + step number * step).
void advance_clock(main_state& ms);

}  // namespace kavro
