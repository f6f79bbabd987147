#include "input/ascii_map.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/readers.h"
#include "output/grid_writers.h"

namespace kavro {

namespace {

constexpr int max_category = 9999;

// Prints a failure of the reader and stops the run.
void fail(const char* format, const std::string& map_name) {
  std::printf(format, map_name.c_str());
  error_rec.code = 4000;
  report_error(error_rec);
}

// Reads the six header lines. False when the file ends inside the header.
bool read_header(std::FILE* fp, double& north, double& south, double& east, double& west, int& rows, int& cols) {
  return std::fscanf(fp, "%*s %lf %*s %lf %*s %lf %*s %lf %*s %d %*s %d", &north, &south, &east, &west, &rows,
                     &cols) == 6;
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// Integer maps: a stream of integers separated by any white space.
class integer_stream {
 public:
  explicit integer_stream(std::FILE* fp) : fp_(fp) {}
  ~integer_stream() { std::free(buf_); }
  integer_stream(const integer_stream&) = delete;
  integer_stream& operator=(const integer_stream&) = delete;

  enum result { value_read, end_of_file, not_an_integer };

  // The next token as an integer. A token that is not a whole number in the
  // int range (a word, a fraction, "nan", a NUL byte) gives not_an_integer
  // with the token in `bad`.
  result next(int& value, std::string& bad) {
    if (!skip_blanks()) return end_of_file;
    const size_t begin = pos_;
    while (pos_ < len_ && !is_blank(buf_[pos_])) ++pos_;
    const std::string token(buf_ + begin, pos_ - begin);
    const char* text = token.c_str();
    char* stop = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &stop, 10);
    if (stop == text || stop != text + token.size() || errno == ERANGE || v < INT_MIN || v > INT_MAX) {
      bad = token;
      return not_an_integer;
    }
    value = static_cast<int>(v);
    return value_read;
  }

  // True when a further token follows.
  bool more() { return skip_blanks(); }

 private:
  bool skip_blanks() {
    for (;;) {
      while (pos_ < len_ && is_blank(buf_[pos_])) ++pos_;
      if (pos_ < len_) return true;
      const ssize_t n = ::getline(&buf_, &cap_, fp_);
      if (n <= 0) return false;
      len_ = static_cast<size_t>(n);
      pos_ = 0;
    }
  }

  std::FILE* fp_;
  char* buf_ = nullptr;
  size_t cap_ = 0, len_ = 0, pos_ = 0;
};

// A token as it can be printed: bytes that are not printable as \xNN.
std::string printable(const std::string& token) {
  std::string out;
  for (const char ch : token) {
    const auto u = static_cast<unsigned char>(ch);
    if (u >= 32 && u < 127)
      out += ch;
    else
      out += format_string("\\x%02X", u);
  }
  return out;
}

void warn_extra_values(const std::string& map_name) {
  std::printf("Warning: map %s holds more values than its rows and columns; the extra values are not read.\n",
              map_name.c_str());
}

}  // namespace

void read_ascii_map(file_wrapper& f, const std::string& map_name, int mode, double& north, double& south,
                    double& east, double& west, int& rows, int& cols, imat& cell_grid, dvec* dest_a, dvec* dest_b,
                    ivec* dest_int, int expected_rows, int expected_cols, int quiet) {
  if (!f.fp || !read_header(f.fp, north, south, east, west, rows, cols)) {
    fail("Unexpected end of file in file: %s\n", map_name);
    return;
  }
  // The header is checked before any value is read, so that no value is ever
  // stored outside the expected grid.
  if (rows != expected_rows && cols != expected_cols) {
    fail("Incorrect number of rows and columns in map: %s\n", map_name);
    return;
  }
  if (rows != expected_rows) {
    fail("Incorrect number of rows in map: %s\n", map_name);
    return;
  }
  if (cols != expected_cols) {
    fail("Incorrect number of columns in map: %s\n", map_name);
    return;
  }
  if (cell_grid.size1() < rows || cell_grid.size2() < cols) {
    fail("The cell grid is smaller than map: %s\n", map_name);
    return;
  }

  bool any_non_zero = false;
  bool extra_values = false;
  long zero_cells = 0;
  long n = 0;
  if (mode == map_reals_a || mode == map_reals_b) {
    dvec* dest = mode == map_reals_a ? dest_a : dest_b;
    // The rest of the line of the last header value, then one row per line.
    int c = 0;
    while ((c = std::fgetc(f.fp)) != EOF && c != '\n') {
    }
    std::string line;
    for (int r = 1; r <= rows; ++r) {
      if (std::feof(f.fp) || !read_line(line, f)) {
        fail("Unexpected end of file in file: %s\n", map_name);
        return;
      }
      token_cursor cursor(line);
      const int* grid_row = cell_grid[r];
      for (int col = 1; col <= cols; ++col) {
        double value = 0.0;
        if (!cursor.next_double(value)) value = 0.0;
        if (value != 0.0) any_non_zero = true;  // NaN included
        if (grid_row[col] == 0) continue;
        if (!std::isfinite(value)) {
          std::printf("Error: map %s, row %d, column %d: the value of an active cell is not a finite number.\n",
                      map_name.c_str(), r, col);
          error_rec.code = 4000;
          report_error(error_rec);
          return;
        }
        ++n;
        if (dest && n <= dest->size()) (*dest)[n] = value;
        if (value == 0.0) ++zero_cells;
      }
      std::string extra;
      if (!extra_values && cursor.next_token(extra)) extra_values = true;
    }
    // A further line with a value is an extra row.
    while (!extra_values && read_line(line, f)) {
      token_cursor cursor(line);
      std::string extra;
      extra_values = cursor.next_token(extra) != 0;
    }
    if (extra_values) warn_extra_values(map_name);
  } else if (mode == map_integer_grid || mode == map_categories) {
    integer_stream in(f.fp);
    std::vector<int> category_count(mode == map_categories ? max_category + 1 : 0, 0);
    for (int r = 1; r <= rows; ++r) {
      int* grid_row = cell_grid[r];
      for (int col = 1; col <= cols; ++col) {
        int value = 0;
        std::string bad;
        const integer_stream::result got = in.next(value, bad);
        if (got == integer_stream::end_of_file) {
          fail("Unexpected end of file in file: %s\n", map_name);
          return;
        }
        if (got == integer_stream::not_an_integer) {
          std::printf("Error: map %s, row %d, column %d: \"%s\" is not a whole number.\n", map_name.c_str(), r, col,
                      printable(bad).c_str());
          error_rec.code = 4000;
          report_error(error_rec);
          return;
        }
        if (value != 0) any_non_zero = true;
        if (mode == map_integer_grid) {
          grid_row[col] = value;
          continue;
        }
        if (grid_row[col] == 0) continue;
        ++n;
        if (dest_int && n <= dest_int->size()) (*dest_int)[n] = value;
        if (value >= 1 && value <= max_category) ++category_count[static_cast<size_t>(value)];
      }
    }
    if (in.more()) warn_extra_values(map_name);
    if (mode == map_categories) {
      // Like every set-up line: on the console unless quiet, in the run log always.
      for (int k = 1; k <= max_category; ++k) {
        const int count = category_count[static_cast<size_t>(k)];
        if (count <= 0) continue;
        const std::string line = format_string("In map %s category %d has %d values\n", map_name.c_str(), k, count);
        if (quiet != 1) std::fputs(line.c_str(), stdout);
        if (run_log_file && run_log_file->is_open()) std::fputs(line.c_str(), run_log_file->fp);
      }
    }
  }

  if (!any_non_zero) std::printf("Warning: Map contains only zero values. Map: %s\n", map_name.c_str());
  if (zero_cells > 0 && quiet != 1)
    std::printf("Warning: Map contains %ld cells with zero values. Map: %s\n", zero_cells, map_name.c_str());
}

bool peek_ascii_map_header(file_wrapper& f, double& north, double& south, double& east, double& west, int& rows,
                           int& cols) {
  if (!f.fp) return false;
  const bool ok = read_header(f.fp, north, south, east, west, rows, cols);
  std::rewind(f.fp);
  return ok;
}

void write_ascii_map(std::FILE* out, const imat& cell_grid, double north, double south, double east, double west,
                     int rows, int cols, const dvec& values) {
  std::fprintf(out, "north: %9.2lf\n", north);
  std::fprintf(out, "south: %9.2lf\n", south);
  std::fprintf(out, "east: %9.2lf\n", east);
  std::fprintf(out, "west: %9.2lf\n", west);
  std::fprintf(out, "rows: %5d\n", rows);
  std::fprintf(out, "cols: %5d\n", cols);
  row_buffer buf;
  write_ascii_map_rows(out, cell_grid, rows, cols, values, buf);
}

}  // namespace kavro
