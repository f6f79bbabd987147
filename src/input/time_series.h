// Named time series: values that vary in time for boundary depths and
// fluxes, channel inflows, well pumping and the edges of nested runs.
//
// A time-series file holds blocks of
//   KAVRO_TS
//   name
//   ABSOLUTE or RELATIVE
//   year month day hour minute value     (one row per time)
//   END_TS
// All series of a run sit in one process-wide list, emptied at the end of
// every run. Lookups only read a series, so they may run inside parallel
// loops.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "input/series_common.h"

namespace kavro {

class file_wrapper;

struct time_series {
  std::string name;
  int relative = 0;           // 1: times are days after the run start until shifted
  bool shifted = false;       // relative times already moved onto the run's dates
  std::vector<double> times;  // days: Julian dates (relative: offsets), ascending
  std::vector<double> values;
  int count() const { return static_cast<int>(times.size()); }
};

// The series of the current run, in the order they were read.
extern std::vector<std::unique_ptr<time_series>> time_series_list;

// Binding of mapping-table ids to series (the TIME_SERIES_INDEX table): one
// entry per id (a later row of the same id replaces the earlier), series null
// when the name matched none.
struct time_series_index_entry {
  int id = 0;
  time_series* series = nullptr;
};
extern std::vector<time_series_index_entry> time_series_index;
// 1 once this run has loaded (or tried to load) the index; cleared with it.
extern int time_series_index_loaded;

// A new empty ABSOLUTE series at the end of the list.
time_series& new_time_series();
// Empties the list, and the index that points into it (clearing its loaded flag).
void free_time_series_list();

// 3 "END_TS", 2 "ABSOLUTE", 1 "RELATIVE", 0 "KAVRO_TS" at the start of the
// line, else 4.
int time_series_line_kind(std::string_view line);

// Reads the next block of the file into a new series: 1 when one was read,
// 0 when the file holds no further block.
int read_time_series_block(series_file_reader& in);
// Reads every block of a file; returns the number read.
int read_time_series_file(const std::string& file_name);

// The series named exactly `name`, else the first whose name begins with it.
time_series* find_time_series(std::string_view name);

// The value of a series of at least one row at time t (days): linear
// between rows, the first or last value outside them.
double time_series_at(const time_series& series, double t);
// The same, searching from the interval `cursor` of the caller's previous
// lookup of this series (see interpolate_sorted_from).
double time_series_at(const time_series& series, double t, std::size_t& cursor);
// The same for any series; a missing or empty series stops the run.
double time_series_value(double t, const time_series* series);
// The value at t of the series bound to a TIME_SERIES_INDEX id.
double time_series_value_by_index(int id, double t);

// Reads a table of dated rows with k value columns (file positioned at the
// first row) into k new ABSOLUTE series named "<base>_0000", "<base>_0001",
// ...; returns the first, or null for k < 1. Reading stops before the first
// line that does not begin with a digit.
time_series* read_time_series_table(file_wrapper& file, int k, const std::string& base_name);

// Moves every RELATIVE series onto the run's dates once: `run_start` (Julian
// date) is added to its times.
void shift_relative_time_series(double run_start);

}  // namespace kavro
