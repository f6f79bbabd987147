// What the named time series and elevation series share: reading their
// files line by line with a line count, binding a series by name, and the
// lookup in an ascending table.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kavro {

class file_wrapper;

// Reads the lines of a series file and counts them for messages; the last
// line read can be given back, so that the next read returns it again.
class series_file_reader {
 public:
  explicit series_file_reader(file_wrapper& file) : file_(file) {}
  bool next_line(std::string& line);
  void give_back();
  int line_no() const { return line_no_; }
  const std::string& file_name() const;
  file_wrapper& file() { return file_; }

 private:
  file_wrapper& file_;
  int line_no_ = 0;
  long before_last_ = -1;  // stream position before the last line read
};

// Opens a series file, reads its blocks with `read_block` until none is
// left and closes it; prints the count, or that the file was not found
// (`kind` "time" or "elevation"). Returns the number of series read.
int read_series_file(const std::string& file_name, int (*read_block)(series_file_reader&), const char* kind);

// True for a line of blanks, tabs and line-end characters only.
bool is_blank_line(std::string_view line);

// The series of exactly `name` if there is one, else the first whose name
// begins with `name`; an empty name binds nothing (message printed). `kind`
// ("time" or "elevation") names the list in the message.
template <class Series>
Series* find_series_by_name(const std::vector<std::unique_ptr<Series>>& list, std::string_view name,
                            const char* kind) {
  if (name.empty()) {
    std::printf("Error: an empty name binds no %s series.\n", kind);
    return nullptr;
  }
  for (const auto& s : list)
    if (s->name == name) return s.get();
  for (const auto& s : list)
    if (std::string_view(s->name).starts_with(name)) return s.get();
  return nullptr;
}

// y at x in the ascending table (xs, ys), both of at least one entry:
// clamped to the first and last y outside the table, linear between, and
// at a repeated x the y of its last entry.
double interpolate_sorted(const std::vector<double>& xs, const std::vector<double>& ys, double x);
// interpolate_sorted, searching from the interval `cursor` that the previous
// lookup of the same caller found (0 at first) and moving it: a clock that
// runs forward finds its interval there or a few entries on, a time that went
// back searches the whole table. The value is exactly interpolate_sorted's.
double interpolate_sorted_from(const std::vector<double>& xs, const std::vector<double>& ys, double x,
                               std::size_t& cursor);

// y at x as a step function: the y at the lower end of the first pair that
// brackets x, clamped at both ends.
double step_sorted(const std::vector<double>& xs, const std::vector<double>& ys, double x);

// Prints a lookup failure, stores code 4000 and stops the run. Lookups run
// inside parallel loops, so this one report is serialised.
void report_series_error(const std::string& message);

// Prints that the table of `series_name` is out of order at the current
// line of `in` and stops the run.
// Reads the first `n` tokens of a series row, the first `whole` of them as
// whole numbers, the rest as finite numbers. 1 when they are; 0 when the
// line is no row (a word or nothing where a number is due); -1 after a
// refusal of a number no row may hold (nan, inf, a fraction where a whole
// number is due), naming the file, the line and the text (code 4000,
// reported).
int read_series_row(series_file_reader& in, const std::string& line, int n, int whole, double* out);
void report_series_order(series_file_reader& in, const char* kind, const std::string& series_name);

}  // namespace kavro
