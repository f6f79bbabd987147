// The rain steps of the time loop: the start of a rain event (its lines read
// from the precipitation file and turned into rates) and the rain periods,
// whose rates are spread over the cells at every period boundary.
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>

#include "framework/error_record.h"
#include "framework/event_accounting.h"
#include "framework/main_state.h"
#include "framework/parallel_sum.h"
#include "framework/readers.h"
#include "framework/run_clock.h"
#include "output/analyzers.h"
#include "overland/overland_steps.h"
#include "overland/precip_file.h"
#include "overland/radar_rain.h"
#include "overland/rain_rate_checks.h"
#include "overland/rain_distribution.h"

namespace kavro {

namespace {

double line_time(const precip_date& d) { return julian_date(d.year, d.month, d.day, d.hour, d.minute, 0.0); }

rain_grid grid_of(const main_state& ms) {
  return {ms.mask, ms.grid_rows, ms.grid_cols, ms.map_north, ms.map_west, ms.dx};
}

// Data lines of the current event: a RATES event counts one period more.
int event_lines(const main_state& ms) { return ms.n_rain_periods - (ms.rates_on ? 1 : 0); }

void announce_event_read(main_state& ms) {
  if (ms.qln_event_num_on) {
    if (!ms.quiet && !ms.tool_mode) std::printf("Searching through precip input file for QLN event %d\n", ms.qln_event_num);
    ms.event_no = ms.qln_event_num;
    return;
  }
  if (ms.tool_mode) return;
  const std::string line = ms.long_term_on
                               ? format_string("reading precip. data for event %3d from file: %s\n", ms.event_no + 1,
                                               ms.precip_file_path.c_str())
                               : format_string("reading precip data from file: %s\n", ms.precip_file_path.c_str());
  std::fputs(line.c_str(), stdout);
  if (ms.fs_summary.is_open()) {
    std::fprintf(ms.fs_summary.fp, "%s%s\n\n", ms.long_term_on ? "---" : "", line.c_str());
    std::fflush(ms.fs_summary.fp);
  }
}

void no_further_event(main_state& ms) {
  ms.rain_event_state = 2;
  ms.event_year = 1000;
  ms.precip_event_flag = 0;
  if (error_rec.code != 0) return;  // the reader has printed why
  if (ms.event_no == 0) {
    std::printf("\n**********************************\n");
    std::printf("Data was not correctly read from the rainfall input file.\n");
    std::printf("Verify the file format.\n");
    std::printf("***********************************\n");
  }
  if (ms.long_term_on && !ms.quiet_on) {
    std::printf("Precip data for event %d was not found in file: %s\n", ms.event_no + 1, ms.precip_file_path.c_str());
    std::printf("KAVRO assumes this means all events have been simulated.\n");
    std::printf("Program terminating normally.\n");
  }
}

void event_was_read(main_state& ms) {
  const precip_date& first = ms.precip_dates[1];
  ms.event_year = first.year;
  ms.event_month = first.month;
  ms.event_day = first.day;
  ms.event_hour = first.hour;
  ms.event_minute = first.minute;
  ms.event_start_time = ms.now;
  ms.next_event_start = line_time(first);
  ms.next_rain_period_time = ms.next_event_start;
  ms.event_end_time = line_time(ms.precip_dates[event_lines(ms)]);
  ++ms.event_no;
  ms.rain_event_state = 1;
  if (ms.radar_mode == 2) {
    ms.radar.radar_rain_dest = &ms.rain_rate;
    map_cells_to_radar(ms.radar_files.front(), ms.radar, ms.mask);
  }
  if (ms.qln_event_num_on) ms.event_no = ms.qln_event_num;
  ms.precip_event_flag = 1;
}

// Rates per gauge and the mapping of the cells to the gauges.
void prepare_event_rates(main_state& ms) {
  if (!ms.precip_event_flag) return;
  if (!convert_gauge_values(ms, ms.event_no)) return;
  warn_unlikely_event_rain(ms);
  if (ms.radar_mode != 2 && ms.n_gauges > 1) {
    if (ms.rain_thiessen_on) {
      if (ms.nearest.size() < ms.n_cells) ms.nearest.allocate(ms.n_cells);
      if (!find_neighbor(ms.n_gauges, grid_of(ms), ms.gauge_x, ms.gauge_y, ms.nearest)) return;
    }
    if (ms.rain_inv_distance_on) {
      build_idw_weights(ms, grid_of(ms), ms.n_cells);
      ms.idw_weights_event = ms.event_no;
    }
  }
  ms.precip_event_flag = 0;
}

void stop_rain(main_state& ms) {
  ms.rain_active = 0;
  if (ms.rain_event_state == 1) ms.rain_event_state = 0;
  if (ms.rain_event_state == 2) ms.rain_event_state = 3;
  for (long i = 1; i <= ms.n_cells; ++i) ms.rain_rate[i] = 0.0;
  if (ms.interception_on)
    for (long i = 1; i <= ms.n_cells; ++i) ms.ri_eff[i] = 0.0;
}

// One boundary of the current event's rain periods. Period j runs from line
// j to line j + 1 at the rate of that interval; the last line ends the rain.
void gauge_period_boundary(main_state& ms) {
  const int period = ms.rain_period_no;
  if (period >= event_lines(ms)) {
    stop_rain(ms);
    return;
  }
  if (ms.radar_mode == 2) {
    const std::string& file = ms.radar_files[static_cast<size_t>(period - 1)];
    std::printf("Reading radar precip file %s.\n", file.c_str());
    ms.radar.radar_rain_dest = &ms.rain_rate;
    if (read_radar_grid(file, ms.radar, ms.radar_units_mm) != 0 || !apply_radar_grid(ms.radar)) {
      error_rec.code = already_printed_code;
      return;
    }
  } else {
    if (ms.rain_inv_distance_on) precip_idw(ms, period, ms.n_cells, ms.rain_rate);
    if (ms.rain_thiessen_on) precip_nearest(period, ms.n_gauges, ms.nearest, ms.gauge_values, ms.rain_rate, ms.n_cells);
  }
  ms.rain_period_no = period + 1;
  ms.next_rain_period_time = line_time(ms.precip_dates[ms.rain_period_no]);
}

void stop_uniform_rain(main_state& ms) {
  for (long i = 1; i <= ms.n_cells; ++i) ms.rain_rate[i] = 0.0;
  if (ms.interception_on)
    for (long i = 1; i <= ms.n_cells; ++i) ms.ri_eff[i] = 0.0;
  ms.event_active = 0;
  ms.rain_active = 0;
  ms.rain_event_state = 3;
}

// Uniform rain falls from the start of the run for RAIN_DURATION minutes.
double uniform_rain_end(const main_state& ms) { return ms.loop_start_time + ms.rain_duration / 1440.0; }

// The time at which the rain rates change next, while rain of the current
// event is on: the next gauge line, or the end of a uniform storm.
std::optional<double> next_rate_change(const main_state& ms) {
  if (ms.rain_event_state != 1) return std::nullopt;
  if (ms.rain_gauge_on) return ms.next_rain_period_time;
  if (ms.uniform_rain_on && ms.rain_active) return uniform_rain_end(ms);
  return std::nullopt;
}

// Takes every rate change at or before time t: the rates that hold just
// after t are in rain_rate.
void advance_rain_to(main_state& ms, double t) {
  // Each change moves the next one later or ends the rain, so this ends.
  for (auto next = next_rate_change(ms); next && *next < t + ms.time_tol; next = next_rate_change(ms)) {
    if (ms.rain_gauge_on) {
      gauge_period_boundary(ms);
      if (error_rec.code != 0) return;
    } else {
      stop_uniform_rain(ms);
    }
  }
}

void uniform_rain_period(main_state& ms) {
  if (ms.step_no == 0) {
    ms.event_active = 1;
    ms.rain_active = 1;
    for (long i = 1; i <= ms.n_cells; ++i) ms.rain_rate[i] = ms.rain_intensity;
  }
}

}  // namespace

void precip_event_step(main_state& ms) {
  if (ms.rain_event_state != 0) return;
  const auto next_start = next_event_start_time(ms);
  const bool due = ms.qln_event_num_on || (next_start && std::fabs(ms.now - *next_start) < ms.time_tol);
  if (!due || ms.event_no >= ms.n_precip_events) return;
  notify_analyzers(ms, analyzer_event_read);
  if (ms.long_term_on && ms.n_events_done < ms.event_no - ms.first_event_index + 1) {
    ms.event_done = 1;
    end_event(ms);
  }
  ms.rain_active = 1;
  ms.event_active = 1;
  if (!ms.rain_gauge_on) return;
  announce_event_read(ms);

  int reads = ms.qln_event_num_on ? ms.qln_event_num : 1;
  if (ms.precip_event_calls == 0 && ms.start_date_given) reads = ms.event_no + 1;
  ++ms.precip_event_calls;
  int result = precip_no_event;
  std::string title;
  for (int k = 0; k < reads; ++k) {
    result = read_precip_event(ms.fs_precip, ms, title);
    if (result != precip_event_read) break;
    if (ms.rates_on) ++ms.n_rain_periods;
  }
  ms.precip_period_counter = 1;
  if (result == precip_file_short) {
    std::printf("Unexpected end of file in rain gauge data file.\n");
    std::printf("Check the format of the data file.\nProgram terminated.");
    error_rec.code = already_printed_code;
    return;
  }
  if (result == precip_no_event) {
    no_further_event(ms);
    return;
  }
  event_was_read(ms);
  if (error_rec.code != 0) return;
  if (ms.long_term_on &&
      !check_precip_dates(ms.hmet_begin_year, ms.hmet_begin_month, ms.hmet_begin_day, ms.hmet_begin_hour,
                          ms.hmet_end_year, ms.hmet_end_month, ms.hmet_end_day, ms.hmet_end_hour, ms.event_year,
                          ms.event_month, ms.event_day, ms.event_hour)) {
    std::printf("Error: KAVRO failed on date check for precip event %d\n", ms.event_no);
    error_rec.code = already_printed_code;
    return;
  }
  prepare_event_rates(ms);
}

void precip_period_step(main_state& ms) {
  // A rate change takes effect for the step that starts at it: the step
  // ending at a line's time still rains at the rate of the interval before.
  // Changes that fall inside a step are taken by the rain application.
  if (ms.uniform_rain_on && ms.rain_event_state == 1) uniform_rain_period(ms);
  advance_rain_to(ms, ms.precip_period_start);
  if (error_rec.code != 0) return;

  for (long i = 1; i <= ms.n_cells; ++i) {
    if (ms.rain_rate[i] < -1e-16) {
      std::printf(
          "A negative rainfall has been detected for overland cell %ld, check your rainfall input for negative "
          "values\n",
          i);
      error_rec.code = already_printed_code;
      return;
    }
  }
  if (ms.rainfall_mmph_on && ms.n_cells > 0)
    ms.mean_rain_rate = fixed_chunk_sum(1, ms.n_cells, [&](long i) { return ms.rain_rate[i]; }) / ms.n_cells;
}

void for_each_rain_piece(main_state& ms, double from, double to, const std::function<void(double)>& piece) {
  double t = from;
  for (;;) {
    // A change within the timing tolerance of the step's end belongs to the
    // next step, which starts at it.
    const auto change = next_rate_change(ms);
    const bool inside = change && *change > t + ms.time_tol && *change < to - ms.time_tol;
    const double piece_end = inside ? *change : to;
    piece(seconds_between(t, piece_end));
    if (!inside || error_rec.code != 0) return;
    advance_rain_to(ms, piece_end);
    if (error_rec.code != 0 || ms.rain_event_state != 1) return;  // the rain ended inside the step
    t = piece_end;
  }
}

}  // namespace kavro
