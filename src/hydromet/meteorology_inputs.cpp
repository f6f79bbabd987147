// The set-up of the meteorological inputs: the scan of the weather file of
// a long-term run, the optimisation output of a calibration, the scan of the
// precipitation file that counts its events and records when each one
// starts, and the event list written for the host environment instead of a
// run.
#include <cstdio>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/output_staging.h"
#include "framework/run_clock.h"
#include "framework/readers.h"
#include "framework/run_globals.h"
#include "hydromet/hmet_readers.h"
#include "hydromet/hydromet_steps.h"
#include "hydromet/weather_step.h"
#include "overland/precip_file.h"

namespace kavro {

namespace {

bool console_on(const main_state& ms) { return !ms.quiet && run_context.process_rank == 0 && !ms.tool_mode; }

void log_line(main_state& ms, const std::string& text) {
  if (ms.fs_summary.is_open()) std::fputs(text.c_str(), ms.fs_summary.fp);
}

void no_event_in_file(const main_state&) {
  std::printf("\n**********************************\n");
  std::printf("Data was not correctly read from the rainfall input file.\n");
  std::printf("Verify the file format.\n");
  std::printf("***********************************\n");
  error_rec.code = already_printed_code;
}

// The model grid as the radar mapping sees it.
void copy_grid_to_radar(main_state& ms) {
  radar_grid& rg = ms.radar;
  rg.model_cols = ms.grid_cols;
  rg.model_rows = ms.grid_rows;
  rg.model_west = ms.map_west;
  rg.model_north = ms.map_north;
  rg.radar_dx = ms.dx;
  rg.radar_rain_dest = &ms.rain_rate;
  rg.radar_n_cells = ms.n_cells;
  rg.kavro_to_precip.allocate(ms.n_cells);
}

// Reads every event of the precipitation file once: the count of events and
// the start of each. The file is rewound for the rain-event step.
void scan_precip_file(main_state& ms) {
  if (!ms.fs_precip.is_open()) return;
  int n = 0;
  bool radar = false;
  precip_date last{};
  std::string title;
  int result = precip_event_read;
  for (;;) {
    result = read_precip_event(ms.fs_precip, ms, title);
    if (result != precip_event_read) break;
    if (n + 1 > max_precip_events - 1) {
      std::printf("Error: the precipitation file %s holds more than %ld events.\n", ms.precip_file_path.c_str(),
                  max_precip_events - 1);
      error_rec.code = already_printed_code;
      return;
    }
    ++n;
    last = ms.precip_dates[1];
    ms.event_start_times[n] = julian_date(last.year, last.month, last.day, last.hour, last.minute, 0.0);
    if (ms.radar_mode == 2) radar = true;
  }
  if (result == precip_file_short) {
    std::printf("Unexpected end of file in rain gage data file.\n");
    std::printf("Check the format of the data file.\nProgram terminated.");
    std::printf("Check rain event %d, event after %d %d %d \n", n + 1, last.year, last.month, last.day);
    error_rec.code = already_printed_code;
    return;
  }
  if (error_rec.code != 0) return;  // an event was refused; its message is printed
  if (n == 0) {
    no_event_in_file(ms);
    return;
  }
  if (console_on(ms)) {
    std::printf("End of precipitation input file reached.\n");
    if (ms.long_term_on && !ms.qln_on) {
      std::printf("Precip. file contains %d events\n", n);
    } else if (!ms.long_term_on && !ms.qln_on) {
      std::printf("Precip. file contains %d events, simulating first event only\n", n);
      std::printf("because LONG_TERM project file card not set in project file.\n");
    } else {
      std::printf("Precip. file contains %d events.\n", n);
    }
  }
  ms.n_precip_events = ms.long_term_on || ms.qln_on ? n : 1;
  if (radar) copy_grid_to_radar(ms);
  std::rewind(ms.fs_precip.fp);
  ms.n_precip_event_cards = 0;
}

// The host environment asks for the list of the rain events instead of a run.
bool host_wants_event_list(const main_state& ms) {
  return ms.qln_on && ms.qln_event_num_on && ms.qln_event_num == 0;
}

// The event count and the start of every event, for the host; the run
// stops after it.
void write_event_list(main_state& ms, file_wrapper& summary) {
  std::fprintf(summary.fp, "%d\n", ms.n_precip_events);
  for (int e = 1; e <= ms.n_precip_events; ++e) {
    const calendar_instant c = calendar_date(ms.event_start_times[e]);
    std::fprintf(summary.fp, "%4d %2d %2d %2d %2d\n", c.year, c.month, c.day, c.hour, c.minute);
  }
  // The list is what the host asked of this run, which ends before its time
  // loop: it takes its own name now.
  const std::string written = summary.name;
  summary.close();
  if (!publish_staged_output(written)) {
    error_rec.code = already_printed_code;
    return;
  }
  std::printf("KAVRO wrote precipitation data event summary to file: exchange/QLN_PRECIP.SUM\n");
  std::printf("No simulations performed.  KAVRO terminated.\n\n");
  error_rec.code = already_printed_code;
}

// The per-event output of a calibration (card OPTIMIZE).
bool open_optimization_output(main_state& ms) {
  const std::string name = ms.optimize_path.empty() ? "kavro_optim.out" : ms.optimize_path;
  if (!ms.fs_optimize.open(name, "w")) {
    std::fprintf(stderr, "Problem opening optimization output file named:%s for writing\n", name.c_str());
    error_rec.code = already_printed_code;
    return false;
  }
  const std::string line = format_string("writing output for optimization to file %s\n", name.c_str());
  if (!ms.quiet && !ms.tool_mode) std::fputs(line.c_str(), stderr);
  log_line(ms, line);
  return true;
}

// A long-term run's weather: the orographic gauge header, the scan of the
// weather file and its first and last dates; false after a message.
bool scan_weather(main_state& ms) {
  ms.n_hmet_repaired = 0;
  ms.hmet_call_no = 1;
  ms.shading_on = 1;
  if (ms.hmet_orog_gages_file_on && !read_orographic_header(ms)) return false;
  if (read_hmet(ms, ms.hmet_call_no) != hmet_scan_done) return false;
  roll_over_hour_24(ms.hmet_begin_year, ms.hmet_begin_month, ms.hmet_begin_day, ms.hmet_begin_hour);
  roll_over_hour_24(ms.hmet_end_year, ms.hmet_end_month, ms.hmet_end_day, ms.hmet_end_hour);
  if (ms.hmet_orog_gages_file_on && !check_orographic_lines(ms)) return false;
  return true;
}

}  // namespace

void init_meteorology_inputs(main_state& ms) {
  if (ms.long_term_on) {
    if (!scan_weather(ms)) return;
  } else {
    ms.hmet_n_records = 1;
  }
  ++ms.hmet_call_no;
  ms.event_no = 0;
  ms.n_events_done = 0;
  ms.precip_event_calls = 0;
  if (ms.optimize_on && !open_optimization_output(ms)) return;
  if (ms.rain_gauge_on) {
    const std::string line = format_string("using precipitation data from file: %s\n", ms.precip_file_path.c_str());
    if (console_on(ms)) std::fputs(line.c_str(), stdout);
    log_line(ms, line);
    if (host_wants_event_list(ms))
      std::printf("\n\nReading precip file to write QLN summary in file: QLN_PRECIP.SUM\n");
  }
  const bool scanned = !ms.uniform_rain_on && ms.rain_gauge_on;
  if (scanned) {
    file_wrapper summary;
    if (host_wants_event_list(ms) && !summary.open("exchange/QLN_PRECIP.SUM", "w")) {
      std::printf("Unable to open file QLN_PRECIP.SUM for writing. Program terminated\n");
      error_rec.code = already_printed_code;
      return;
    }
    scan_precip_file(ms);
    if (error_rec.code != 0) return;
    if (host_wants_event_list(ms)) {
      write_event_list(ms, summary);
      return;
    }
    if (ms.qln_on && ms.qln_event_num_on && ms.n_precip_events < ms.qln_event_num) {
      std::printf("\n\nQLN has requested that KAVRO run event %d.\n", ms.qln_event_num);
      std::printf("The precip file specified in the project file: %s\n", ms.precip_file_path.c_str());
      std::printf("contains only %d events.  PROGRAM TERMINATED.\n\n", ms.n_precip_events);
      error_rec.code = already_printed_code;
      return;
    }
  }
  // The host runs the model one event at a time.
  if (ms.qln_on) ms.long_term_on = 0;
}

}  // namespace kavro
