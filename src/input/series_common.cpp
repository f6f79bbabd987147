#include "input/series_common.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/number_text.h"
#include "framework/readers.h"

namespace kavro {

bool series_file_reader::next_line(std::string& line) {
  before_last_ = file_.fp ? std::ftell(file_.fp) : -1;
  if (!file_.fp || !read_line(line, file_)) return false;
  ++line_no_;
  return true;
}

void series_file_reader::give_back() {
  if (before_last_ < 0 || std::fseek(file_.fp, before_last_, SEEK_SET) != 0) return;
  --line_no_;
  before_last_ = -1;
}

const std::string& series_file_reader::file_name() const { return file_.name; }

int read_series_file(const std::string& file_name, int (*read_block)(series_file_reader&), const char* kind) {
  file_wrapper f;
  if (!f.open(file_name, "r")) {
    std::string title = kind;
    title[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(title[0])));
    std::printf("Error: %s series file not found [%s]\n", title.c_str(), file_name.c_str());
    // The series the project names cannot be read: the run stops.
    error_rec.code = already_printed_code;
    return 0;
  }
  series_file_reader in(f);
  int n = 0;
  while (read_block(in)) ++n;
  std::printf("%d %s series read from file %s\n", n, kind, file_name.c_str());
  f.close();
  return n;
}

bool is_blank_line(std::string_view line) {
  return line.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

double interpolate_sorted(const std::vector<double>& xs, const std::vector<double>& ys, double x) {
  if (xs.size() == 1 || x <= xs.front()) return ys.front();
  if (x >= xs.back()) return ys.back();
  // xs[i] <= x < xs[j]: the interval has a length, also where x values repeat.
  const size_t j =
      std::max<size_t>(1, static_cast<size_t>(std::upper_bound(xs.begin(), xs.end(), x) - xs.begin()));
  const size_t i = j - 1;
  const double f = (x - xs[i]) / (xs[j] - xs[i]);
  return (1.0 - f) * ys[i] + f * ys[j];
}

double interpolate_sorted_from(const std::vector<double>& xs, const std::vector<double>& ys, double x,
                               std::size_t& cursor) {
  if (xs.size() == 1 || x <= xs.front()) return ys.front();
  if (x >= xs.back()) return ys.back();
  // The interval i with xs[i] <= x < xs[i + 1], as interpolate_sorted takes it.
  std::size_t i = cursor;
  if (i + 1 >= xs.size() || xs[i] > x) {
    i = static_cast<std::size_t>(std::upper_bound(xs.begin(), xs.end(), x) - xs.begin()) - 1;
  } else {
    while (xs[i + 1] <= x) ++i;  // ends below the last entry, which lies above x
  }
  cursor = i;
  const double f = (x - xs[i]) / (xs[i + 1] - xs[i]);
  return (1.0 - f) * ys[i] + f * ys[i + 1];
}

double step_sorted(const std::vector<double>& xs, const std::vector<double>& ys, double x) {
  if (xs.size() == 1 || x <= xs.front()) return ys.front();
  if (x >= xs.back()) return ys.back();
  const size_t j =
      std::max<size_t>(1, static_cast<size_t>(std::lower_bound(xs.begin(), xs.end(), x) - xs.begin()));
  return ys[j - 1];
}

void report_series_error(const std::string& message) {
#pragma omp critical(kavro_series_report)
  {
    std::fputs(message.c_str(), stdout);
    error_rec.code = 4000;
    report_error(error_rec);
  }
}

int read_series_row(series_file_reader& in, const std::string& line, int n, int whole, double* out) {
  std::string rest = line, token;
  for (int k = 0; k < n; ++k) {
    number_fault fault = number_fault::missing;
    if (pop_token(rest, token)) {
      if (k < whole) {
        int v = 0;
        fault = read_int(token, v);
        out[k] = v;
      } else {
        fault = read_real(token, out[k]);
      }
    }
    if (fault == number_fault::none) continue;
    // A line with a word where a number is due is no row; a number that no
    // row may hold (nan, inf, a fraction of an hour) stops the run.
    if (fault == number_fault::missing || fault == number_fault::not_a_number) return 0;
    std::printf("Error: line %d of file %s: value %d of the row: %s.\n", in.line_no(), in.file_name().c_str(), k + 1,
                number_fault_text(fault, token, INT_MIN, INT_MAX).c_str());
    error_rec.code = 4000;
    report_error(error_rec);
    return -1;
  }
  return 1;
}

void report_series_order(series_file_reader& in, const char* kind, const std::string& series_name) {
  std::printf("Error: the %s series [%s] in file %s is out of order at line %d.\n", kind, series_name.c_str(),
              in.file_name().c_str(), in.line_no());
  error_rec.code = 4000;
  report_error(error_rec);
}

}  // namespace kavro
