#include "framework/run_clock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/run_globals.h"
#include "framework/run_warnings.h"

namespace kavro {

double julian_date(int year, int month, int day, int hour, int minute, double seconds) {
  const double secs = minute * 60.0 + hour * 3600.0 + seconds;
  // 64-bit day arithmetic: a date read from a file may hold any int, and an
  // absurd one must give an absurd date, not an overflow.
  const long long mm = month > 2 ? month - 3LL : month + 9LL;
  const long long yy = month > 2 ? static_cast<long long>(year) : year - 1LL;
  const long long c = yy / 100;
  const long long ya = yy - 100 * c;
  const long long jdn = (146097 * c) / 4 + (153 * mm + 2) / 5 + day + (1461 * ya) / 4 + 1721119;
  if (secs < 43200.0) return static_cast<double>(jdn) - 1.0 + (secs + 43200.0) / 3600.0 / 24.0;
  return static_cast<double>(jdn) + (secs - 43200.0) / 3600.0 / 24.0;
}

calendar_instant calendar_date(double jd) {
  const double x = jd + 1.1574074074074074e-07;
  long j = static_cast<long>(x);
  double f = x - static_cast<double>(j);
  if (f >= 0.5) {
    j += 1;
    f -= 0.5;
  } else {
    f += 0.5;
  }
  const long k = 4 * (j - 1721119);
  const long c = (k - 1) / 146097;
  long r = (k - 146097 * c - 1) / 4;
  const long ya = (4 * r + 3) / 1461;
  r = (4 * r - 1461 * ya + 7) / 4;
  const long mm = (5 * r - 3) / 153;
  calendar_instant out;
  out.day = static_cast<int>((5 * r - 153 * mm + 2) / 5);
  out.year = static_cast<int>(100 * c + ya);
  if (mm < 10) {
    out.month = static_cast<int>(mm + 3);
  } else {
    out.month = static_cast<int>(mm - 9);
    out.year += 1;
  }
  double t = f * 24.0 * 3600.0;
  out.hour = static_cast<int>(t / 3600.0);
  t -= 3600.0 * out.hour;
  out.minute = static_cast<int>(t / 60.0);
  out.seconds = t - 60.0 * out.minute;
  return out;
}

bool is_leap_year(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int day_of_year(int year, int month, int day) {
  static constexpr int days_before[13] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  if (month < 1 || month > 12) return day;
  return days_before[month] + day + (month > 2 && is_leap_year(year) ? 1 : 0);
}

bool is_due(const main_state& ms, double when) { return std::fabs(ms.now - when) < ms.time_tol; }

double seconds_between(double from, double to) { return std::round((to - from) * 86400000.0) / 1000.0; }

std::optional<double> event_start_entry(const main_state& ms, long event) {
  if (event < 1 || event > ms.n_precip_events || event > ms.event_start_times.size()) return std::nullopt;
  return ms.event_start_times[event];
}

std::optional<double> next_event_start_time(const main_state& ms) {
  return event_start_entry(ms, ms.event_no + 1L);
}

namespace {

// Output interval in time steps of an interval of `minutes`: at least one
// step, since the writers divide the step number by it.
int interval_steps(double dt, double minutes) {
  const double steps = 60.0 / dt * minutes;
  return steps < 1.0 ? 1 : static_cast<int>(steps);
}

}  // namespace

void setup_time_step(main_state& ms) {
  auto& rp = ms.run_params;
  if (ms.snow_calibrate_on == 1) {
    ms.quiet = 1;
    rp.st_time_step = rp.timestep;
    ms.dt = rp.timestep;
  }
  // The channel network may run on a shorter step than the rest (ST_TIME_STEP).
  if (rp.st_time_step < 0.01) {
    rp.st_time_step = rp.timestep;
    ms.dt = rp.timestep;
  } else {
    ms.dt = std::min(rp.st_time_step, rp.timestep);
  }
  if (ms.dt <= 0.001) {
    error_rec.code = 52;
    return;
  }
  ms.rows = rp.rows;
  ms.cols = rp.cols;
  ms.dt_base = ms.dt;
  ms.sim_duration_min = rp.tot_time;

  double hyd_minutes = rp.hyd_freq;
  if (hyd_minutes <= 0.0) {
    hyd_minutes = 60.0;
    error_rec.code = 55;
    report_error(error_rec);
  }
  ms.hyd_interval_steps = interval_steps(ms.dt, hyd_minutes);
  int map_minutes = rp.map_freq;
  if (map_minutes <= 0) {
    map_minutes = 360;
    if (!ms.quiet && run_context.process_rank == 0)
      warn("Warning: Write solution time step not specified, defaulting to 6 hours.\n");
  }
  ms.map_interval_steps = interval_steps(ms.dt, map_minutes);

  ms.outlet_slope = rp.outslope;
  ms.outlet_row = rp.outrow;
  ms.outlet_col = rp.outcol;
  if (ms.outlet_slope < 1e-9) {
    error_rec.code = 56;
    return;
  }
  ms.latitude_deg = rp.latitude;
  ms.longitude_deg = rp.longitude;
  ms.dx = rp.gridsize;
  // Southern and western coordinates are negative; only an absent card (0) is missing.
  if (ms.long_term_on && (std::fabs(ms.latitude_deg) < 0.01 || std::fabs(ms.longitude_deg) < 0.01)) {
    error_rec.code = 57;
    return;
  }
  ms.gmt_offset = rp.gmt;
  ms.qout_cfs_on = rp.qout_cfs;
  ms.quiet_on = rp.quiet;
  if (ms.long_term_on && rp.gmt_given == 0) {
    error_rec.code = 58;
    return;
  }
  ms.grid_rows = ms.rows;
  ms.grid_cols = ms.cols;
  // Provisional: the grid set-up replaces it with the active-cell number.
  ms.outlet_cell = ms.cols * (ms.outlet_row - 1) + ms.outlet_col;
}

void advance_clock(main_state& ms) {
  if (ms.loop_pass != 0) {
    ++ms.step_no;
    ++ms.event_step;
    ++ms.chan_step_counter;
    // Always from the origin: adding dt_days pass after pass would drift.
    ms.now = ms.loop_start_time + static_cast<double>(ms.step_no) * ms.dt_days;
    ms.elapsed_min = static_cast<double>(ms.step_no) * ms.dt / 60.0;
  }
  ++ms.loop_pass;
  const calendar_instant c = calendar_date(ms.now);
  ms.cur_year = c.year;
  ms.cur_month = c.month;
  ms.cur_day = c.day;
  ms.cur_hour = c.hour;
  ms.cur_minute = c.minute;
  ms.cur_second_frac = c.seconds;
  ms.cur_second = static_cast<int>(c.seconds);
  ms.cur_day_of_year = day_of_year(c.year, c.month, c.day);
}

void jump_clock_to(main_state& ms, double target) {
  if (ms.dt_days <= 0.0) return;
  ms.step_no = static_cast<int>(std::llround((target - ms.loop_start_time) / ms.dt_days)) - 1;
  ms.now = ms.loop_start_time + static_cast<double>(ms.step_no) * ms.dt_days;
}

}  // namespace kavro
