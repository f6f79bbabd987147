#include "input/ascii_map.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string_view>
#include <vector>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/number_text.h"
#include "framework/readers.h"
#include "framework/replace_pairs.h"
#include "framework/run_warnings.h"
#include "framework/parallel_sum.h"
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

// The longest word a header line can hold: a keyword of six letters or a
// number. A longer one is no map header (a binary file, a file of NULs).
constexpr std::size_t max_header_word = 256;

// What the header reader found; `problem` is empty when the header was read.
struct header_read {
  std::string problem;  // the message naming the map (without the map's name)
  bool early_end = false;
};

// Reads the next white-space separated word of the header, at most
// max_header_word characters; `line` counts the line ends passed.
bool header_word(std::FILE* fp, std::string& word, int& line, bool& too_long) {
  word.clear();
  too_long = false;
  int c = std::getc(fp);
  while (c != EOF && std::isspace(c)) {
    if (c == '\n') ++line;
    c = std::getc(fp);
  }
  while (c != EOF && !std::isspace(c)) {
    if (word.size() >= max_header_word) {
      too_long = true;
      return false;
    }
    word.push_back(static_cast<char>(c));
    c = std::getc(fp);
  }
  if (c != EOF) std::ungetc(c, fp);
  return !word.empty();
}

// Reads the six header lines: north, south, east and west (finite numbers),
// rows and cols (whole numbers), each behind a keyword that is not compared.
header_read read_header(std::FILE* fp, double& north, double& south, double& east, double& west, int& rows,
                        int& cols) {
  header_read h;
  double* edges[4] = {&north, &south, &east, &west};
  int* counts[2] = {&rows, &cols};
  constexpr const char* names[6] = {"north", "south", "east", "west", "rows", "cols"};
  int line = 1;
  std::string word;
  for (int k = 0; k < 6; ++k) {
    for (int part = 0; part < 2; ++part) {
      bool too_long = false;
      if (!header_word(fp, word, line, too_long)) {
        if (too_long) {
          h.problem = format_string("line %d of the header holds a word of more than %zu characters: this is no "
                                    "map header",
                                    line, max_header_word);
        } else {
          h.early_end = true;
        }
        return h;
      }
    }
    number_fault fault = number_fault::none;
    if (k < 4) {
      fault = read_real(word, *edges[k]);
    } else {
      fault = read_int(word, *counts[k - 4]);
    }
    if (fault != number_fault::none) {
      h.problem = format_string("header line %d (%s): ", line, names[k]) + number_fault_text(fault, word, INT_MIN, INT_MAX);
      return h;
    }
  }
  return h;
}

// Refuses a map that is no map: the message names the map and stops the run.
void refuse_header(const header_read& h, const std::string& map_name) {
  if (h.early_end) {
    fail("Unexpected end of file in file: %s\n", map_name);
    return;
  }
  std::printf("Error: map %s, %s.\n", map_name.c_str(), h.problem.c_str());
  error_rec.code = 4000;
  report_error(error_rec);
}

// White space between the values of an integer map; lines do not matter.
bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
// Separators between the values of a row of a real map, as the token reader has them.
bool is_separator(char c) { return c == ' ' || c == '\t' || c == '\n' || c == ','; }

// The rest of a map file after its header, read in one block and split at
// its line ends. Line 0 is the rest of the line of the last header value.
struct map_body {
  struct line {
    std::size_t begin = 0, end = 0;  // [begin, end) without the newline
    bool newline = false;            // ended by a newline (not by the end of the file)
  };
  block_ptr<char> bytes;  // the file from the end of the header on
  std::string_view text;           // its bytes read
  std::vector<line> lines;

  // Line k as the line reader gives it: the carriage return of a Windows
  // line end removed.
  std::string_view line_text(std::size_t k) const {
    const line& l = lines[k];
    std::size_t end = l.end;
    if (l.newline && end > l.begin && text[end - 1] == '\r') --end;
    return text.substr(l.begin, end - l.begin);
  }
};

// Reads from the current position of `fp` to the end of the file, in one
// block sized from the file (and grown should the file have grown).
void read_body(std::FILE* fp, map_body& body) {
  std::size_t capacity = std::size_t{1} << 16;
  struct stat st {};
  const long pos = std::ftell(fp);
  if (pos >= 0 && ::fstat(::fileno(fp), &st) == 0 && st.st_size > pos)
    capacity = static_cast<std::size_t>(st.st_size - pos) + 1;  // one more byte finds the end of the file
  // Zeroed pages from the system: no byte is written twice.
  block_ptr<char> block = zeroed_block<char>(capacity);
  std::size_t used = 0;
  for (;;) {
    if (used == capacity) {
      block_ptr<char> bigger = zeroed_block<char>(2 * capacity);
      std::memcpy(bigger.get(), block.get(), used);
      block = std::move(bigger);
      capacity *= 2;
    }
    const std::size_t got = std::fread(block.get() + used, 1, capacity - used, fp);
    if (got == 0) break;
    used += got;
  }
  body.bytes = std::move(block);
  body.text = std::string_view(body.bytes.get(), used);
  const std::string_view text = body.text;
  for (std::size_t p = 0; p < text.size();) {
    const void* nl = std::memchr(text.data() + p, '\n', text.size() - p);
    const std::size_t end = nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - text.data()) : text.size();
    body.lines.push_back({p, end, nl != nullptr});
    p = end + 1;
  }
}

// A token of an integer map as a whole number in the int range: plain
// digits on the fast path, anything else ("+5", "12.0") by the number rule.
bool whole_number(std::string_view token, int& value) {
  const auto [ptr, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
  if (ec == std::errc() && ptr == token.data() + token.size()) return true;
  return read_int(token, value) == number_fault::none;
}

// A map that holds fewer values than its header promises: the first cell
// without a value is named.
void fail_early_end(const std::string& map_name, int row, int col, int rows, int cols) {
  std::printf("Unexpected end of file in file: %s\n", map_name.c_str());
  std::printf("Error: map %s ends before row %d, column %d of its %d rows and %d columns.\n", map_name.c_str(), row,
              col, rows, cols);
  error_rec.code = 4000;
  report_error(error_rec);
}

void warn_extra_values(const std::string& map_name) {
  warn(format_string("Warning: map %s holds more values than its rows and columns; the extra values are not read.\n",
                     map_name.c_str()));
}

void refuse_token(const std::string& map_name, int row, int col, std::string_view token) {
  std::printf("Error: map %s, row %d, column %d: \"%s\" is not a whole number.\n", map_name.c_str(), row, col,
              printable(token).c_str());
  error_rec.code = 4000;
  report_error(error_rec);
}

// ---- Real maps: one row per line ---------------------------------------------

// What one row of a real map gave.
struct real_row {
  long zero_cells = 0;        // active cells of value 0
  bool any_non_zero = false;  // a value (of any cell) that is not 0
  bool extra = false;         // a token follows the last column
  int bad_col = 0;            // first active column whose value is not finite (0: none)
  int word_col = 0;           // first column whose token is no number (0: none)
  int short_col = 0;          // first column the line holds no value for (0: none)
  std::string word;           // the token of word_col
  bool stopped() const { return bad_col || word_col || short_col; }
};

// Where the values of a row go: active cells from number first + 1 on.
struct real_target {
  const int* grid_row;
  double* dest;  // destination [1..dest_size], or null
  long dest_size;
  long first;
};

// Takes the value of column `col`; false when it stops the row (a value of
// an active cell that is not finite).
bool take_real(double value, int col, long& n, const real_target& t, real_row& out) {
  if (value != 0.0) out.any_non_zero = true;  // NaN included
  if (t.grid_row[col] == 0) return true;
  if (!std::isfinite(value)) {
    out.bad_col = col;
    return false;
  }
  ++n;
  if (t.dest && n <= t.dest_size) t.dest[n] = value;
  if (value == 0.0) ++out.zero_cells;
  return true;
}

// A row whose tokens are all plain decimal numbers. False, with nothing
// counted, as soon as a token needs the number rule's own reading (a leading
// '+', a word, a number beyond the double range) or the line ends before
// its last column; the row is then read by read_row_by_tokens.
bool read_plain_row(std::string_view line, int cols, const real_target& t, real_row& out) {
  real_row row;
  long n = t.first;
  std::size_t pos = 0;
  const std::size_t len = line.size();
  const char* s = line.data();
  for (int col = 1; col <= cols; ++col) {
    while (pos < len && is_separator(s[pos])) ++pos;
    if (pos >= len) return false;
    std::size_t end = pos;
    while (end < len && !is_separator(s[end])) ++end;
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(s + pos, s + end, value);
    if (ec != std::errc() || ptr != s + end) return false;
    pos = end;
    if (!take_real(value, col, n, t, row)) {
      out = row;
      return true;
    }
  }
  while (pos < len && is_separator(s[pos])) ++pos;
  if (pos < len) {
    token_cursor rest(line.substr(pos));
    std::string extra;
    row.extra = rest.next_token(extra) != 0;
  }
  out = row;
  return true;
}

// Any row, through the token reader and the number rule: a token that is no
// number, or a line that ends before the last column, stops the row.
void read_row_by_tokens(std::string_view line, int cols, const real_target& t, real_row& out) {
  real_row row;
  long n = t.first;
  token_cursor cursor(line);
  std::string token;
  for (int col = 1; col <= cols; ++col) {
    if (!cursor.next_token(token)) {
      row.short_col = col;
      break;
    }
    double value = 0.0;
    const number_fault fault = read_real(token, value);
    if (fault == number_fault::not_finite) value = std::numeric_limits<double>::quiet_NaN();
    if (fault == number_fault::not_a_number || fault == number_fault::missing) {
      row.word_col = col;
      row.word = token;
      break;
    }
    if (!take_real(value, col, n, t, row)) break;
  }
  if (!row.stopped()) row.extra = cursor.next_token(token) != 0;
  out = std::move(row);
}

void read_real_row(std::string_view line, int cols, const real_target& t, real_row& out) {
  if (!read_plain_row(line, cols, t, out)) read_row_by_tokens(line, cols, t, out);
}

// Rows 1..rows of a real map, line r holding row r. Rows are read in
// parallel unless replacement pairs are on (they count what they replace,
// line by line, in file order). The first problem in row order is reported.
bool read_real_rows(const map_body& body, const std::string& map_name, int rows, int cols, const imat& cell_grid,
                    dvec* dest, bool& any_non_zero, bool& extra_values, long& zero_cells) {
  const int available = static_cast<int>(std::min<std::size_t>(rows, body.lines.empty() ? 0 : body.lines.size() - 1));
  const std::vector<long> before = cells_before_rows(cell_grid, available, cols);
  std::vector<real_row> result(static_cast<std::size_t>(available) + 1);
  auto target = [&](int r) {
    return real_target{cell_grid[r], dest ? dest->data() : nullptr, dest ? dest->size() : 0,
                       before[static_cast<std::size_t>(r)]};
  };
  if (replace_on) {
    std::string line;
    for (int r = 1; r <= available; ++r) {
      line.assign(body.line_text(static_cast<std::size_t>(r)));
      apply_replace_pairs(line);
      read_real_row(line, cols, target(r), result[static_cast<std::size_t>(r)]);
      if (result[static_cast<std::size_t>(r)].stopped()) break;
    }
  } else {
#pragma omp parallel for schedule(static) if (static_cast<long>(available) * cols >= parallel_min_items)
    for (int r = 1; r <= available; ++r)
      read_real_row(body.line_text(static_cast<std::size_t>(r)), cols, target(r), result[static_cast<std::size_t>(r)]);
  }
  for (int r = 1; r <= available; ++r) {
    const real_row& row = result[static_cast<std::size_t>(r)];
    if (row.stopped()) {
      if (row.bad_col)
        std::printf("Error: map %s, row %d, column %d: the value of an active cell is not a finite number.\n",
                    map_name.c_str(), r, row.bad_col);
      else if (row.word_col)
        std::printf("Error: map %s, row %d, column %d: %s.\n", map_name.c_str(), r, row.word_col,
                    number_fault_text(number_fault::not_a_number, row.word).c_str());
      else
        std::printf("Error: map %s, row %d, column %d: the row ends after %d of its %d values.\n",
                    map_name.c_str(), r, row.short_col, row.short_col - 1, cols);
      error_rec.code = 4000;
      report_error(error_rec);
      return false;
    }
    any_non_zero = any_non_zero || row.any_non_zero;
    extra_values = extra_values || row.extra;
    zero_cells += row.zero_cells;
  }
  if (available < rows) {
    fail_early_end(map_name, available + 1, 1, rows, cols);
    return false;
  }
  // A further line with a value is an extra row.
  std::string line, extra;
  for (std::size_t k = static_cast<std::size_t>(rows) + 1; !extra_values && k < body.lines.size(); ++k) {
    line.assign(body.line_text(k));
    if (replace_on) apply_replace_pairs(line);
    token_cursor cursor(line);
    extra_values = cursor.next_token(extra) != 0;
  }
  return true;
}

// ---- Integer maps: a stream of whole numbers ---------------------------------

// Where the integers of a map go: mode 2 into the grid itself, mode 4 the
// active cells into dest_int with their category counts.
struct integer_target {
  int mode;
  imat& cell_grid;
  int* dest;  // [1..dest_size], or null
  long dest_size;
};

// Takes the value of row r, column col; `n` counts the active cells before it.
void take_integer(int value, int r, int col, long& n, const integer_target& t, std::vector<int>& counts,
                  bool& any_non_zero) {
  if (value != 0) any_non_zero = true;
  int* grid_row = t.cell_grid[r];
  if (t.mode == map_integer_grid) {
    grid_row[col] = value;
    return;
  }
  if (grid_row[col] == 0) return;
  ++n;
  if (t.dest && n <= t.dest_size) t.dest[n] = value;
  if (value >= 1 && value <= max_category) ++counts[static_cast<std::size_t>(value)];
}

// The values in file order, whatever the lines. False after a message.
bool read_integer_stream(const map_body& body, const std::string& map_name, int rows, int cols,
                         const integer_target& t, std::vector<int>& counts, bool& any_non_zero, bool& extra_values) {
  std::fill(counts.begin(), counts.end(), 0);
  any_non_zero = false;
  const std::string_view text = body.text;
  std::size_t pos = 0;
  auto next_token = [&]() {
    while (pos < text.size() && is_blank(text[pos])) ++pos;
    const std::size_t begin = pos;
    while (pos < text.size() && !is_blank(text[pos])) ++pos;
    return text.substr(begin, pos - begin);
  };
  long n = 0;
  for (int r = 1; r <= rows; ++r)
    for (int col = 1; col <= cols; ++col) {
      const std::string_view token = next_token();
      int value = 0;
      if (token.empty()) {
        fail_early_end(map_name, r, col, rows, cols);
        return false;
      }
      if (!whole_number(token, value)) {
        refuse_token(map_name, r, col, token);
        return false;
      }
      take_integer(value, r, col, n, t, counts, any_non_zero);
    }
  extra_values = !next_token().empty();
  return true;
}

// What one line of an integer map gave when read as one row.
struct integer_row {
  int tokens = 0;   // tokens read (up to the first bad one)
  int bad_col = 0;  // column of the first token that is not a whole number (0: none)
  std::size_t bad_begin = 0, bad_end = 0;
};

// The usual layout, one row per line, read in parallel. False when the file
// is laid out otherwise (a row split over lines, a line of more or fewer
// values): the stream reader then reads it.
bool read_integer_lines(const map_body& body, const std::string& map_name, int rows, int cols,
                        const integer_target& t, std::vector<int>& counts, bool& any_non_zero, bool& extra_values,
                        bool& failed) {
  failed = false;
  if (body.lines.size() < static_cast<std::size_t>(rows) + 1) return false;
  const std::string_view text = body.text;
  const auto blank_from = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i)
      if (!is_blank(text[i])) return false;
    return true;
  };
  if (!blank_from(body.lines[0].begin, body.lines[0].end)) return false;
  std::vector<long> before;
  if (t.mode == map_categories) before = cells_before_rows(t.cell_grid, rows, cols);
  std::vector<integer_row> result(static_cast<std::size_t>(rows) + 1);
  bool non_zero = false;
#pragma omp parallel reduction(|| : non_zero) if (static_cast<long>(rows) * cols >= parallel_min_items)
  {
    std::vector<int> local(counts.size(), 0);
#pragma omp for schedule(static)
    for (int r = 1; r <= rows; ++r) {
      const map_body::line& l = body.lines[static_cast<std::size_t>(r)];
      integer_row& row = result[static_cast<std::size_t>(r)];
      long n = before.empty() ? 0 : before[static_cast<std::size_t>(r)];
      std::size_t pos = l.begin;
      for (;;) {
        while (pos < l.end && is_blank(text[pos])) ++pos;
        if (pos >= l.end) break;
        const std::size_t begin = pos;
        while (pos < l.end && !is_blank(text[pos])) ++pos;
        if (++row.tokens > cols) break;
        int value = 0;
        if (!whole_number(text.substr(begin, pos - begin), value)) {
          row.bad_col = row.tokens;
          row.bad_begin = begin;
          row.bad_end = pos;
          break;
        }
        take_integer(value, r, row.tokens, n, t, local, non_zero);
      }
    }
#pragma omp critical(integer_map_counts)
    for (std::size_t k = 0; k < local.size(); ++k) counts[k] += local[k];
  }
  any_non_zero = non_zero;
  for (int r = 1; r <= rows; ++r) {
    const integer_row& row = result[static_cast<std::size_t>(r)];
    if (row.bad_col) {
      // Every row before it held exactly its columns: the row and column are those of the stream.
      refuse_token(map_name, r, row.bad_col, text.substr(row.bad_begin, row.bad_end - row.bad_begin));
      failed = true;
      return true;
    }
    if (row.tokens != cols) return false;
  }
  extra_values = !blank_from(body.lines[static_cast<std::size_t>(rows)].end, text.size());
  return true;
}

}  // namespace

std::vector<long> cells_before_rows(const imat& cell_grid, int rows, int cols) {
  std::vector<long> before(static_cast<std::size_t>(std::max(rows, 0)) + 2, 0);
#pragma omp parallel for schedule(static) if (static_cast<long>(rows) * cols >= parallel_min_items)
  for (int r = 1; r <= rows; ++r) {
    const int* row = cell_grid[r];
    long n = 0;
    for (int c = 1; c <= cols; ++c) n += row[c] != 0;
    before[static_cast<std::size_t>(r) + 1] = n;
  }
  for (int r = 1; r <= rows; ++r) before[static_cast<std::size_t>(r) + 1] += before[static_cast<std::size_t>(r)];
  return before;
}

void read_ascii_map(file_wrapper& f, const std::string& map_name, int mode, double& north, double& south,
                    double& east, double& west, int& rows, int& cols, imat& cell_grid, dvec* dest_a, dvec* dest_b,
                    ivec* dest_int, int expected_rows, int expected_cols, int quiet) {
  if (!f.fp) {
    fail("Unexpected end of file in file: %s\n", map_name);
    return;
  }
  if (const header_read h = read_header(f.fp, north, south, east, west, rows, cols);
      h.early_end || !h.problem.empty()) {
    refuse_header(h, map_name);
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
  if (mode == map_reals_a || mode == map_reals_b) {
    map_body body;
    read_body(f.fp, body);
    if (!read_real_rows(body, map_name, rows, cols, cell_grid, mode == map_reals_a ? dest_a : dest_b, any_non_zero,
                        extra_values, zero_cells))
      return;
    if (extra_values) warn_extra_values(map_name);
  } else if (mode == map_integer_grid || mode == map_categories) {
    map_body body;
    read_body(f.fp, body);
    std::vector<int> category_count(mode == map_categories ? max_category + 1 : 0, 0);
    const integer_target target{mode, cell_grid, dest_int ? dest_int->data() : nullptr,
                                dest_int ? dest_int->size() : 0};
    bool failed = false;
    if (!read_integer_lines(body, map_name, rows, cols, target, category_count, any_non_zero, extra_values,
                            failed)) {
      if (!read_integer_stream(body, map_name, rows, cols, target, category_count, any_non_zero, extra_values))
        return;
    } else if (failed) {
      return;
    }
    if (extra_values) warn_extra_values(map_name);
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

  if (!any_non_zero) warn(format_string("Warning: Map contains only zero values. Map: %s\n", map_name.c_str()));
  if (zero_cells > 0 && quiet != 1)
    warn(format_string("Warning: Map contains %ld cells with zero values. Map: %s\n", zero_cells, map_name.c_str()));
}

bool peek_ascii_map_header(file_wrapper& f, double& north, double& south, double& east, double& west, int& rows,
                           int& cols) {
  if (!f.fp) return false;
  const header_read h = read_header(f.fp, north, south, east, west, rows, cols);
  std::rewind(f.fp);
  return !h.early_end && h.problem.empty();
}

void write_ascii_map(std::FILE* out, const imat& cell_grid, double north, double south, double east, double west,
                     int rows, int cols, const dvec& values, bool exact) {
  std::fprintf(out, "north: %9.2lf\n", north);
  std::fprintf(out, "south: %9.2lf\n", south);
  std::fprintf(out, "east: %9.2lf\n", east);
  std::fprintf(out, "west: %9.2lf\n", west);
  std::fprintf(out, "rows: %5d\n", rows);
  std::fprintf(out, "cols: %5d\n", cols);
  row_buffer buf;
  write_ascii_map_rows(out, cell_grid, rows, cols, values, buf, exact);
}

}  // namespace kavro
