#include "input/run_control_checks.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/run_clock.h"

namespace kavro {

namespace {

int days_in_month(int year, int month) {
  constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && is_leap_year(year) ? 29 : days[month - 1];
}

// Collects the refusals; each is printed at once.
struct refusals {
  bool any = false;
  void add(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    any = true;
  }
};

// A date card (START_DATE, END_TIME): year 1 to 9999, a month of the year,
// a day of that month.
void check_date(refusals& r, const char* card, int year, int month, int day) {
  if (year < 1 || year > 9999)
    r.add("Error: card %s gives the year %d; a year from 1 to 9999 is needed.\n", card, year);
  if (month < 1 || month > 12) {
    r.add("Error: card %s gives the month %d; a month from 1 to 12 is needed.\n", card, month);
  } else if (year >= 1 && (day < 1 || day > days_in_month(year, month))) {
    r.add("Error: card %s gives the day %d; month %d of %d has days 1 to %d.\n", card, day, month, year,
          days_in_month(year, month));
  }
}

void check_clock_time(refusals& r, const char* card, int hour, int minute) {
  if (hour < 0 || hour > 23) r.add("Error: card %s gives the hour %d; an hour from 0 to 23 is needed.\n", card, hour);
  if (minute < 0 || minute > 59)
    r.add("Error: card %s gives the minute %d; a minute from 0 to 59 is needed.\n", card, minute);
}

// An interval of `minutes` counted in steps of `dt` seconds must fit an int.
void check_steps(refusals& r, const char* card, double minutes, double dt) {
  if (dt > 0.0 && minutes * 60.0 / dt > static_cast<double>(INT_MAX))
    r.add("Error: card %s gives %g minutes, more than %d time steps of %g s.\n", card, minutes, INT_MAX, dt);
}

// A card every run needs; when it names a map, the map must exist.
void check_required_card(refusals& r, const char* card, const std::string& name, const char* what, bool input) {
  if (name.empty()) {
    r.add("Error: card %s is missing from the project file: every run needs it (%s).\n", card, what);
    return;
  }
  if (!input) return;
  std::error_code ec;
  if (std::filesystem::is_regular_file(expected_file_name(name, "r"), ec)) return;
  // Where it was looked for; the opening of the file reports the failure.
  std::printf("Card %s names the file %s, which is not in %s.\n", card, name.c_str(), folders_searched(name).c_str());
}

}  // namespace

bool check_date_cards(const run_params_record& rp) {
  refusals r;
  if (rp.start_year != 0 || rp.start_month != 0 || rp.start_day != 0)
    check_date(r, "START_DATE", rp.start_year, rp.start_month, rp.start_day);
  check_clock_time(r, "START_TIME", rp.start_hour, rp.start_minute);
  if (rp.end_year != 0) {
    check_date(r, "END_TIME", rp.end_year, rp.end_month, rp.end_day);
    check_clock_time(r, "END_TIME", rp.end_hour, rp.end_minute);
  }
  return !r.any;
}

bool check_run_control_values(const main_state& ms) {
  const run_params_record& rp = ms.run_params;
  const project_params_record& p = ms.project_params;
  refusals r;

  check_required_card(r, "WATERSHED_MASK", p.watershed_mask, "the map of the watershed's cells", true);
  check_required_card(r, "ELEVATION", p.elevation, "the ground elevation of every cell", true);
  check_required_card(r, "SUMMARY", p.summary, "the run summary it writes", false);
  check_required_card(r, "OUTLET_HYDRO", p.outlet_hydro, "the outlet hydrograph it writes", false);

  if (!(rp.timestep > 0.0)) r.add("Error: card TIMESTEP must give a time step above 0 s (value: %g).\n", rp.timestep);
  // ROWS, COLS and GRIDSIZE not above 0 are refused by the option checks.
  if (rp.rows > 0 && rp.cols > 0 && static_cast<long long>(rp.rows) * rp.cols > INT_MAX)
    r.add("Error: cards ROWS %d and COLS %d give more cells than a run can number (%d).\n", rp.rows, rp.cols,
          INT_MAX);

  if (rp.tot_time < 0) r.add("Error: card TOT_TIME must not be negative (value: %d minutes).\n", rp.tot_time);
  const bool other_end = rp.end_year != 0 || p.use_long_term || p.use_qln;
  if (rp.tot_time == 0 && !other_end)
    r.add("Error: the run has no end: card TOT_TIME (minutes) is missing or 0, and no END_TIME or LONG_TERM card "
          "is given.\n");

  if (p.use_manning_n && p.manning_n < 0.0)
    r.add("Error: card MANNING_N must not be negative (value: %g).\n", p.manning_n);
  if (ms.rain_params.rain_intensity < 0.0)
    r.add("Error: card RAIN_INTENSITY must not be negative (value: %g mm/h).\n", ms.rain_params.rain_intensity);
  if (ms.rain_params.rain_duration < 0)
    r.add("Error: card RAIN_DURATION must not be negative (value: %d minutes).\n", ms.rain_params.rain_duration);

  if (rp.rows > 0 && (rp.outrow < 1 || rp.outrow > rp.rows))
    r.add("Error: card OUTROW %d lies outside the grid rows 1 to %d.\n", rp.outrow, rp.rows);
  if (rp.cols > 0 && (rp.outcol < 1 || rp.outcol > rp.cols))
    r.add("Error: card OUTCOL %d lies outside the grid columns 1 to %d.\n", rp.outcol, rp.cols);


  if (rp.timestep > 0.0) {
    // The step of the run, as the clock set-up takes it.
    const double dt = rp.st_time_step < 0.01 ? rp.timestep : std::min(rp.st_time_step, rp.timestep);
    check_steps(r, "TOT_TIME", rp.tot_time, dt);
    check_steps(r, "HYD_FREQ", rp.hyd_freq, dt);
    check_steps(r, "MAP_FREQ", rp.map_freq, dt);
    // Weather, evapotranspiration and the other hourly processes of a
    // long-term run act at whole hours, which the steps must meet.
    const double per_hour = std::round(3600.0 / dt);
    const bool whole_hours = per_hour >= 1.0 && std::fabs(per_hour * dt - 3600.0) <= 0.005;
    if (p.use_long_term && !p.use_qln && !whole_hours)
      r.add("Error: a long-term run steps through hourly weather: its time step (%g s, card %s) must divide an hour "
            "(3600 s) into whole steps.\n",
            dt, dt < rp.timestep ? "ST_TIME_STEP" : "TIMESTEP");
    // So do the lumped basin models, in any run.
    else if ((p.use_sacramento || p.use_conceptual_gw) && !whole_hours)
      r.add("Error: the %s model runs once an hour: the time step (%g s, card %s) must divide an hour (3600 s) "
            "into whole steps.\n",
            p.use_sacramento ? "SACRAMENTO" : "CONCEPTUAL_GW", dt, dt < rp.timestep ? "ST_TIME_STEP" : "TIMESTEP");
  }
  return !r.any;
}

}  // namespace kavro
