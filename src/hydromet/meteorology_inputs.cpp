// The set-up of the meteorological inputs: the scan of the precipitation
// file that counts its events and records when each one starts.
#include <cstdio>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/run_clock.h"
#include "framework/readers.h"
#include "framework/run_globals.h"
#include "hydromet/hydromet_steps.h"
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

}  // namespace

void init_meteorology_inputs(main_state& ms) {
  ms.event_no = 0;
  ms.n_events_done = 0;
  ms.precip_event_calls = 0;
  if (ms.rain_gauge_on) {
    const std::string line = format_string("using precipitation data from file: %s\n", ms.precip_file_path.c_str());
    if (console_on(ms)) std::fputs(line.c_str(), stdout);
    log_line(ms, line);
  }
  if (!ms.uniform_rain_on && ms.rain_gauge_on) scan_precip_file(ms);
}

}  // namespace kavro
