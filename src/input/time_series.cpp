#include "input/time_series.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "framework/file_wrapper.h"
#include "framework/readers.h"
#include "framework/run_warnings.h"
#include "input/card_services.h"

namespace kavro {

std::vector<std::unique_ptr<time_series>> time_series_list;
std::vector<time_series_index_entry> time_series_index;
int time_series_index_loaded = 0;

namespace {

// Julian date of year 0, month 0, day 0 at 00:00: a RELATIVE row of year 0
// and month 0 then lies D + h/24 + m/1440 days after the run start.
constexpr double relative_origin = 1721028.5;

// The name line: blanks around it removed (tabs kept), then one pair of
// enclosing double quotes.
std::string series_name_from_line(const std::string& line) {
  const size_t first = line.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  std::string name = line.substr(first, line.find_last_not_of(' ') - first + 1);
  strip_quotes(name);
  return name;
}

void warn_skipped_row(series_file_reader& in, const std::string& series_name) {
  warn(format_string("Warning: line %d of file %s is not a row of time series [%s]; skipped.\n", in.line_no(),
                     in.file_name().c_str(), series_name.c_str()));
}

// Appends a row unless it goes back in time; returns false after reporting
// the order error.
bool append_row(time_series& s, double time, double value) {
  if (!s.times.empty() && time < s.times.back()) return false;
  s.times.push_back(time);
  s.values.push_back(value);
  return true;
}

// The rows of a block up to END_TS, the end of the file, or a further
// KAVRO_TS line (given back for the next block).
void read_block_rows(series_file_reader& in, time_series& s) {
  std::string line;
  bool order_reported = false;
  while (in.next_line(line)) {
    const int kind = time_series_line_kind(line);
    if (kind == 3) return;
    if (kind == 0) {
      in.give_back();
      return;
    }
    if (is_blank_line(line)) continue;
    double time = 0.0, value = 0.0;
    double row[6] = {};
    const int got = read_series_row(in, line, 6, 5, row);
    if (got < 0) return;
    if (got == 0) {
      warn_skipped_row(in, s.name);
      continue;
    }
    time = julian_date(static_cast<int>(row[0]), static_cast<int>(row[1]), static_cast<int>(row[2]),
                       static_cast<int>(row[3]), static_cast<int>(row[4]), 0.0);
    value = row[5];
    if (s.relative) time -= relative_origin;
    if (!append_row(s, time, value) && !order_reported) {
      report_series_order(in, "time", s.name);
      order_reported = true;
    }
  }
}

}  // namespace

time_series& new_time_series() {
  time_series_list.push_back(std::make_unique<time_series>());
  return *time_series_list.back();
}

void free_time_series_list() {
  time_series_index.clear();
  time_series_index_loaded = 0;
  time_series_list.clear();
}

int time_series_line_kind(std::string_view line) {
  if (line.starts_with("END_TS")) return 3;
  if (line.starts_with("ABSOLUTE")) return 2;
  if (line.starts_with("RELATIVE")) return 1;
  if (line.starts_with("KAVRO_TS")) return 0;
  return 4;
}

int read_time_series_block(series_file_reader& in) {
  std::string line;
  do {
    if (!in.next_line(line)) return 0;
  } while (time_series_line_kind(line) != 0);

  time_series& s = new_time_series();
  if (in.next_line(line)) s.name = series_name_from_line(line);
  if (in.next_line(line)) {
    const int kind = time_series_line_kind(line);
    s.relative = kind == 1;
    if (kind == 0 || kind == 3) in.give_back();
  }
  read_block_rows(in, s);
  std::printf("Read time series %s\n", s.name.c_str());
  return 1;
}

int read_time_series_file(const std::string& file_name) {
  return read_series_file(file_name, read_time_series_block, "time");
}

time_series* find_time_series(std::string_view name) {
  return find_series_by_name(time_series_list, name, "time");
}

double time_series_at(const time_series& series, double t) {
  return interpolate_sorted(series.times, series.values, t);
}

double time_series_at(const time_series& series, double t, std::size_t& cursor) {
  return interpolate_sorted_from(series.times, series.values, t, cursor);
}

double time_series_value(double t, const time_series* series) {
  if (!series) {
    report_series_error("Error: attempting to extract a value from a time series that does not exist.\n");
    return 0.0;
  }
  if (series->times.empty()) {
    report_series_error("Error: attempting to extract a value from a time series [" + series->name +
                        "] with no entries.\n");
    return 0.0;
  }
  return time_series_at(*series, t);
}

double time_series_value_by_index(int id, double t) {
  for (const auto& entry : time_series_index)
    if (entry.id == id) return time_series_value(t, entry.series);
  report_series_error(
      "Error: attempting to extract a value from an unknown time series in the time series table.    Check "
      "the "
      "mapping table file (.cmt). The specified time series index is " +
      std::to_string(id) + ", but the \nindex is not found in the time series index table.\n");
  return 0.0;
}

namespace {

// One row of a multi-column table: a date and k values.
bool parse_table_row(const std::string& line, int k, double& time, std::vector<double>& values) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, used = 0;
  if (std::sscanf(line.c_str(), "%d %d %d %d %d%n", &y, &mo, &d, &h, &mi, &used) != 5) return false;
  time = julian_date(y, mo, d, h, mi, 0.0);
  const char* p = line.c_str() + used;
  for (int j = 0; j < k; ++j) {
    char* end = nullptr;
    values[j] = std::strtod(p, &end);
    if (end == p) return false;
    p = end;
  }
  return true;
}

bool is_table_row(const std::string& line) {
  return !line.empty() && std::isdigit(static_cast<unsigned char>(line[0])) &&
         time_series_line_kind(line) != 3;
}

}  // namespace

time_series* read_time_series_table(file_wrapper& file, int k, const std::string& base_name) {
  if (k < 1) return nullptr;
  std::vector<time_series*> columns;
  for (int j = 0; j < k; ++j) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "_%04d", j);
    columns.push_back(&new_time_series());
    columns.back()->name = base_name + suffix;
  }
  series_file_reader in(file);
  std::string line;
  std::vector<double> values(static_cast<size_t>(k));
  bool order_reported = false;
  while (in.next_line(line)) {
    if (!is_table_row(line)) {
      in.give_back();
      break;
    }
    double time = 0.0;
    if (!parse_table_row(line, k, time, values)) {
      warn_skipped_row(in, columns.front()->name);
      continue;
    }
    for (int j = 0; j < k; ++j) {
      if (!append_row(*columns[j], time, values[j]) && !order_reported) {
        report_series_order(in, "time", columns[j]->name);
        order_reported = true;
      }
    }
  }
  return columns.front();
}

void shift_relative_time_series(double run_start) {
  for (auto& s : time_series_list) {
    if (!s->relative || s->shifted) continue;
    for (double& t : s->times) t += run_start;
    s->shifted = true;
  }
}

}  // namespace kavro
