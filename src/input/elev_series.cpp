#include "input/elev_series.h"

#include <cstdio>

#include "framework/file_wrapper.h"
#include "framework/readers.h"
#include "framework/run_warnings.h"

namespace kavro {

std::vector<std::unique_ptr<elev_series>> elev_series_list;

namespace {

bool is_block_start(std::string_view line) { return line.starts_with("KAVRO_ES"); }
bool is_block_end(std::string_view line) { return line.starts_with("END_ES"); }

// The rows of a block up to END_ES, the end of the file, or a further
// KAVRO_ES line (given back for the next block).
void read_block_pairs(series_file_reader& in, elev_series& s) {
  std::string line;
  bool order_reported = false;
  while (in.next_line(line)) {
    if (is_block_end(line)) return;
    if (is_block_start(line)) {
      in.give_back();
      return;
    }
    if (is_blank_line(line)) continue;
    double pair[2] = {};
    const int got = read_series_row(in, line, 2, 0, pair);
    if (got < 0) return;
    const double x = pair[0], y = pair[1];
    if (got == 0) {
      warn(format_string("Warning: line %d of file %s is not a pair of elevation series [%s]; skipped.\n",
                         in.line_no(), in.file_name().c_str(), s.name.c_str()));
      continue;
    }
    if (!s.x.empty() && x < s.x.back()) {
      if (!order_reported) report_series_order(in, "elevation", s.name);
      order_reported = true;
      continue;
    }
    s.x.push_back(x);
    s.y.push_back(y);
  }
}

// The checks shared by both lookups; true when the series can be read.
bool lookup_ready(const elev_series* series) {
  if (!series) {
    report_series_error(
        "Error: attempting to extract a value from an elevation series that does not exist.\n");
    return false;
  }
  if (series->x.empty()) {
    report_series_error("Error: attempting to extract a value from an elevation series [" + series->name +
                        "] with no entries.\n");
    return false;
  }
  return true;
}

}  // namespace

elev_series& new_elev_series() {
  elev_series_list.push_back(std::make_unique<elev_series>());
  return *elev_series_list.back();
}

void free_elev_series_list() { elev_series_list.clear(); }

int read_elev_series_block(series_file_reader& in) {
  std::string line;
  do {
    if (!in.next_line(line)) return 0;
  } while (!is_block_start(line));

  elev_series& s = new_elev_series();
  if (in.next_line(line)) {
    pop_token(line, s.name);
    strip_quotes(s.name);
  }
  read_block_pairs(in, s);
  return 1;
}

int read_elev_series_file(const std::string& file_name) {
  return read_series_file(file_name, read_elev_series_block, "elevation");
}

elev_series* find_elev_series(std::string_view name) {
  return find_series_by_name(elev_series_list, name, "elevation");
}

double elev_series_interp(double x, const elev_series* series) {
  return lookup_ready(series) ? interpolate_sorted(series->x, series->y, x) : 0.0;
}

double elev_series_step(double x, const elev_series* series) {
  return lookup_ready(series) ? step_sorted(series->x, series->y, x) : 0.0;
}

}  // namespace kavro
