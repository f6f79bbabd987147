#include "input/ascii_map.h"

#include <cerrno>
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

// Integer maps: a stream of integers separated by any white space.
class integer_stream {
 public:
  explicit integer_stream(std::FILE* fp) : fp_(fp) {}
  ~integer_stream() { std::free(buf_); }
  integer_stream(const integer_stream&) = delete;
  integer_stream& operator=(const integer_stream&) = delete;

  // The next integer; false at the end of the file. A token that is not an
  // integer reads as the integer it begins with, or 0.
  bool next(int& value) {
    for (;;) {
      while (pos_ < len_ && std::strchr(" \t\r\n\v\f", buf_[pos_]) && buf_[pos_] != '\0') ++pos_;
      if (pos_ < len_) break;
      const ssize_t n = ::getline(&buf_, &cap_, fp_);
      if (n <= 0) return false;
      len_ = static_cast<size_t>(n);
      pos_ = 0;
    }
    char* stop = nullptr;
    errno = 0;
    const long v = std::strtol(buf_ + pos_, &stop, 10);
    value = (stop == buf_ + pos_ || errno == ERANGE) ? 0 : static_cast<int>(v);
    while (pos_ < len_ && !std::strchr(" \t\r\n\v\f", buf_[pos_])) ++pos_;
    return true;
  }

 private:
  std::FILE* fp_;
  char* buf_ = nullptr;
  size_t cap_ = 0, len_ = 0, pos_ = 0;
};

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
        ++n;
        if (dest && n <= dest->size()) (*dest)[n] = value;
        if (value == 0.0) ++zero_cells;
      }
    }
  } else if (mode == map_integer_grid || mode == map_categories) {
    integer_stream in(f.fp);
    std::vector<int> category_count(mode == map_categories ? max_category + 1 : 0, 0);
    for (int r = 1; r <= rows; ++r) {
      int* grid_row = cell_grid[r];
      for (int col = 1; col <= cols; ++col) {
        int value = 0;
        if (!in.next(value)) {
          fail("Unexpected end of file in file: %s\n", map_name);
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
