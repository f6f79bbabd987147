// The ASCII raster reader and writer.
#include "input/ascii_map.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::scratch_dir;
using kavro_test::write_file;

const char* const header_3x4 = "north: 1030\nsouth: 1000\neast: 540\nwest: 500\nrows: 3\ncols: 4\n";

// The 3 x 4 mask of the examples, numbered row by row (8 active cells).
imat numbered_mask() {
  imat m{"mask"};
  m.allocate(4, 5);
  const int cells[3][4] = {{0, 1, 2, 0}, {3, 4, 5, 6}, {0, 7, 8, 0}};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c) m[r + 1][c + 1] = cells[r][c];
  return m;
}

struct map_result {
  std::string out;
  int stop = 0;
  int rows = 0, cols = 0;
  double north = 0, south = 0, east = 0, west = 0;
};

map_result read_map(const std::string& text, int mode, imat& grid, dvec* a, ivec* cats, int exp_rows = 3,
                    int exp_cols = 4, int quiet = 0) {
  scratch_dir dir;
  write_file(dir / "m.asc", text);
  file_wrapper f;
  EXPECT_TRUE(f.open((dir / "m.asc").string(), "r"));
  error_rec.code = error_rec.stop = error_rec.fatal = 0;
  map_result r;
  testing::internal::CaptureStdout();
  read_ascii_map(f, "m.asc", mode, r.north, r.south, r.east, r.west, r.rows, r.cols, grid, a, nullptr, cats,
                 exp_rows, exp_cols, quiet);
  r.out = testing::internal::GetCapturedStdout();
  r.stop = error_rec.stop;
  error_rec.stop = 0;
  return r;
}

TEST(AsciiMap, IntegerGridIgnoresLineBreaks) {
  imat one_line{"g"}, by_rows{"g"};
  one_line.allocate(4, 5);
  by_rows.allocate(4, 5);
  const auto a = read_map(std::string(header_3x4) + "0 1 1 0 1 1 1 1 0 1 1 0\n", map_integer_grid, one_line, nullptr,
                          nullptr);
  const auto b = read_map(std::string(header_3x4) + "0 1 1 0\n1 1 1 1\n0 1 1 0\n", map_integer_grid, by_rows,
                          nullptr, nullptr);
  EXPECT_EQ(a.stop, 0);
  EXPECT_EQ(b.stop, 0);
  EXPECT_DOUBLE_EQ(a.north, 1030.0);
  EXPECT_DOUBLE_EQ(a.west, 500.0);
  for (int r = 1; r <= 3; ++r)
    for (int c = 1; c <= 4; ++c) EXPECT_EQ(one_line[r][c], by_rows[r][c]) << r << "," << c;
  EXPECT_EQ(by_rows[2][1], 1);
  EXPECT_EQ(by_rows[3][4], 0);
}

TEST(AsciiMap, RealMapsFillActiveCellsInRowOrder) {
  imat mask = numbered_mask();
  dvec v{"v"};
  v.allocate(8);
  const auto r = read_map(std::string(header_3x4) + "9 1 2 9\n3,4\t5 6\n9 7 8 9\n", map_reals_a, mask, &v, nullptr);
  EXPECT_EQ(r.stop, 0);
  for (int n = 1; n <= 8; ++n) EXPECT_DOUBLE_EQ(v[n], n);
  EXPECT_EQ(r.out, "");
}

// What a map reader refuses (file, row and column named) and what it only
// warns about (values beyond the grid), in integer and real modes.
TEST(AsciiMap, BadValuesAreRefusedAndExtraValuesWarned) {
  struct map_case {
    const char* label;
    std::string body;
    int mode;
    int stop;
    const char* message;
  };
  const std::string nul_in_row_2 = std::string("0 1 1 0\n1 1 ") + '\0' + " 1\n0 1 1 0\n";
  const map_case cases[] = {
      {"nan", "0 1 1 0\n1 nan 1 1\n0 1 1 0\n", map_integer_grid, 1, "m.asc, row 2, column 2: \"nan\" is not a whole number"},
      {"word", "0 1 1 0\n1 1 1 1\n0 abc 1 0\n", map_integer_grid, 1, "row 3, column 2: \"abc\""},
      {"fraction", "0 1.5 1 0\n1 1 1 1\n0 1 1 0\n", map_integer_grid, 1, "row 1, column 2: \"1.5\""},
      {"beyond int", "0 1 1 0\n1 1 1 1\n0 1 1 3000000000\n", map_integer_grid, 1, "row 3, column 4"},
      {"NUL byte", nul_in_row_2, map_integer_grid, 1, "row 2, column 3: \"\\x00\" is not a whole number"},
      {"NUL in categories", nul_in_row_2, map_categories, 1, "row 2, column 3"},
      {"extra integer value", "0 1 1 0\n1 1 1 1\n0 1 1 0 5\n", map_integer_grid, 0,
       "Warning: map m.asc holds more values than its rows and columns"},
      {"extra integer row", "0 1 1 0\n1 1 1 1\n0 1 1 0\n1 1 1 1\n", map_integer_grid, 0, "Warning: map m.asc holds more"},
      {"nan in an active cell", "9 1 2 9\n3 nan 5 6\n9 7 8 9\n", map_reals_a, 1,
       "m.asc, row 2, column 2: the value of an active cell is not a finite number"},
      {"inf in an active cell", "9 1 2 9\n3 4 5 6\n9 7 -inf 9\n", map_reals_a, 1, "row 3, column 3"},
      {"nan outside the watershed", "nan 1 2 9\n3 4 5 6\n9 7 8 9\n", map_reals_a, 0, ""},
      {"extra real value", "9 1 2 9\n3 4 5 6 7\n9 7 8 9\n", map_reals_a, 0, "Warning: map m.asc holds more values"},
      {"extra real row", "9 1 2 9\n3 4 5 6\n9 7 8 9\n1 1 1 1\n", map_reals_a, 0, "Warning: map m.asc holds more values"},
  };
  for (const map_case& c : cases) {
    SCOPED_TRACE(c.label);
    imat grid = numbered_mask();
    dvec v{"v"};
    v.allocate(8);
    ivec cats{"cats"};
    cats.allocate(8);
    const auto r = read_map(std::string(header_3x4) + c.body, c.mode, grid, &v, &cats);
    EXPECT_EQ(r.stop, c.stop) << r.out;
    EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
    if (c.stop) {
      EXPECT_NE(r.out.find("Error: map m.asc"), std::string::npos) << r.out;
    }
  }
}

// A row line with fewer values than the columns would leave cells without a
// value: the map is refused, naming the first cell without one.
TEST(AsciiMap, ShortRowsAreRefusedAndZerosWarned) {
  imat mask = numbered_mask();
  dvec v{"v"};
  v.allocate(8);
  auto r = read_map(std::string(header_3x4) + "0 1 2 0\n3 4\n0 7 8 0\n", map_reals_a, mask, &v, nullptr);
  EXPECT_EQ(r.out, "Error: map m.asc, row 2, column 3: the row ends after 2 of its 4 values.\n\n");
  EXPECT_EQ(r.stop, 1);
  r = read_map(std::string(header_3x4) + "0 1 2 0\n3 0 0 4\n0 7 8 0\n", map_reals_a, mask, &v, nullptr);
  EXPECT_EQ(r.out, "Warning: Map contains 2 cells with zero values. Map: m.asc\n");
  EXPECT_DOUBLE_EQ(v[5], 0.0);
  EXPECT_DOUBLE_EQ(v[6], 4.0);
  EXPECT_DOUBLE_EQ(v[7], 7.0);
  r = read_map(std::string(header_3x4) + "0 1 2 0\n3 0 0 4\n0 7 8 0\n", map_reals_a, mask, &v, nullptr, 3, 4, 1);
  EXPECT_EQ(r.out, "") << "quiet silences the zero-cell warning";
  r = read_map(std::string(header_3x4) + "0 0 0 0\n0 0 0 0\n0 0 0 0\n", map_reals_a, mask, &v, nullptr, 3, 4, 1);
  EXPECT_EQ(r.out, "Warning: Map contains only zero values. Map: m.asc\n");
}

TEST(AsciiMap, BadMapsStopTheRunWithTheirMessage) {
  struct bad_case {
    const char* label;
    std::string text;
    int mode, exp_rows, exp_cols;
    const char* message;
  };
  const bad_case cases[] = {
      {"one row short", std::string(header_3x4) + "1 2 3 4\n5 6 7 8\n", map_reals_a, 3, 4,
       "Unexpected end of file in file: m.asc\n"},
      {"integers short", std::string(header_3x4) + "1 2 3 4 5 6 7 8 9 10 11\n", map_integer_grid, 3, 4,
       "Unexpected end of file in file: m.asc\n"},
      {"rows differ", std::string(header_3x4) + "1 2 3 4\n", map_reals_a, 4, 4,
       "Incorrect number of rows in map: m.asc\n"},
      {"cols differ", std::string(header_3x4), map_integer_grid, 3, 5, "Incorrect number of columns in map: m.asc\n"},
      {"both differ", std::string(header_3x4), map_reals_a, 2, 2,
       "Incorrect number of rows and columns in map: m.asc\n"},
      {"empty file", "", map_reals_a, 3, 4, "Unexpected end of file in file: m.asc\n"},
      // The header is read with a bound: a file that is no map (a binary file,
      // NUL bytes without end) is refused at its first long word.
      {"a header word longer than any header", std::string(300, 'n') + " 1030\n", map_reals_a, 3, 4,
       "Error: map m.asc, line 1 of the header holds a word of more than 256 characters: this is no map header.\n"},
      {"NUL bytes for a header", std::string(100000, '\0'), map_integer_grid, 3, 4,
       "Error: map m.asc, line 1 of the header holds a word of more than 256 characters"},
      {"a header edge with a letter", "north: 1030\nsouth: 1000\neast: 54O\n", map_reals_a, 3, 4,
       "Error: map m.asc, header line 3 (east): the value \"54O\" is not a number.\n"},
      {"rows that are no whole number", "north: 1030\nsouth: 1000\neast: 540\nwest: 500\nrows: 3.5\ncols: 4\n",
       map_reals_a, 3, 4, "Error: map m.asc, header line 5 (rows): the value 3.5 is not a whole number.\n"},
      {"an edge that is no finite number", "north: 1030\nsouth: -inf\n", map_reals_a, 3, 4,
       "Error: map m.asc, header line 2 (south): the value -inf is not a finite number"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    imat grid{"g"};
    grid.allocate(6, 7);
    grid[1][1] = 1;
    dvec v{"v"};
    v.allocate(40);
    const auto r = read_map(c.text, c.mode, grid, &v, nullptr, c.exp_rows, c.exp_cols);
    EXPECT_EQ(r.out.rfind(c.message, 0), 0u) << r.out;
    EXPECT_EQ(r.stop, 1);
    EXPECT_EQ(error_rec.code, 0);
  }
}

TEST(AsciiMap, CategoryMapsCountValidCategoriesOfActiveCells) {
  imat mask = numbered_mask();
  ivec cats{"cats"};
  cats.allocate(8);
  // 12 and 3 on active cells, 40 only on inactive ones, -2 and 0 have no count.
  const auto r = read_map(std::string(header_3x4) + "40 12 3 40\n3 3 -2 12\n40 0 12 40\n", map_categories, mask,
                          nullptr, &cats);
  EXPECT_EQ(r.out, "In map m.asc category 3 has 3 values\nIn map m.asc category 12 has 3 values\n");
  EXPECT_EQ(cats[1], 12);
  EXPECT_EQ(cats[5], -2);
  EXPECT_EQ(cats[8], 12);
}

TEST(AsciiMap, CategoryCountsReachTheRunLogAlsoWhenQuiet) {
  scratch_dir dir;
  file_wrapper log;
  ASSERT_TRUE(log.open((dir / "log.txt").string(), "w"));
  run_log_file = &log;
  imat mask = numbered_mask();
  ivec cats{"cats"};
  cats.allocate(8);
  const auto r = read_map(std::string(header_3x4) + "0 5 5 0\n5 5 5 7\n0 7 7 0\n", map_categories, mask, nullptr,
                          &cats, 3, 4, 1);
  run_log_file = nullptr;
  log.close();
  EXPECT_EQ(r.out, "") << "quiet keeps the console silent";
  EXPECT_EQ(kavro_test::read_file(dir / "log.txt"),
            "In map m.asc category 5 has 5 values\nIn map m.asc category 7 has 3 values\n");
}

// A map of `rows` x 5 cells whose rows the reader spreads over threads:
// row r holds r, r + 1, ..., with `swap` replacing whole rows.
std::string tall_map(int rows, const std::vector<std::pair<int, std::string>>& swap) {
  std::string text = "north: 1\nsouth: 0\neast: 1\nwest: 0\nrows: " + std::to_string(rows) + "\ncols: 5\n";
  for (int r = 1; r <= rows; ++r) {
    std::string row;
    for (int c = 0; c < 5; ++c) row += std::to_string(r + c) + " ";
    for (const auto& [at, line] : swap)
      if (at == r) row = line;
    text += row + "\n";
  }
  return text;
}

struct threaded_read {
  map_result result;
  std::vector<double> reals;
  std::vector<int> ints;
};

// Reads `text` with the given thread count into a grid of `rows` x 5 active
// cells (mode 2 into the grid itself).
threaded_read read_with_threads(const std::string& text, int mode, int rows, int threads) {
  imat grid{"g"};
  grid.allocate(rows + 1, 6);
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= 5; ++c) grid[r][c] = (r + c) % 4 == 0 ? 0 : 1;
  const long cells = 5L * rows;
  dvec v{"v"};
  v.allocate(cells);
  ivec cats{"cats"};
  cats.allocate(cells);
  const int before = omp_get_max_threads();
  omp_set_num_threads(threads);
  threaded_read out;
  out.result = read_map(text, mode, grid, &v, &cats, rows, 5);
  omp_set_num_threads(before);
  for (long n = 1; n <= cells; ++n) {
    out.reals.push_back(v[n]);
    out.ints.push_back(mode == map_integer_grid ? grid[(n - 1) / 5 + 1][(n - 1) % 5 + 1] : cats[n]);
  }
  return out;
}

// Rows are read in parallel: whatever the layout, the tokens and the
// problems of a map, four threads give the values, the messages and the
// stop of one thread. A problem is the first in row order, even when a later
// row also has one and lies in another thread's share.
TEST(AsciiMap, RowsReadInParallelAsInOneThread) {
  struct layout_case {
    const char* label;
    int mode;
    std::vector<std::pair<int, std::string>> swap;
    const char* message;  // a part of the console text of one thread ("" for none)
  };
  const int rows = 64;
  const layout_case cases[] = {
      {"plain reals", map_reals_a, {}, ""},
      {"reals the number rule reads", map_reals_a,
       {{3, "+4 16 1e3,\t2.5e-1 7"}, {9, "1 2 3 4 5\r"}, {20, "\"3\" 4 5 6 7"}, {33, "1 2 3 4 5 6"}},
       "holds more values"},
      {"the first of two words among reals", map_reals_a, {{40, "1 2 3 4 7abc"}, {3, "+4 0x10 1e3 2.5e-1 7"}},
       "m.asc, row 3, column 2: the value \"0x10\" is not a number"},
      {"short real rows", map_reals_a, {{5, "1 2"}, {60, ""}}, "m.asc, row 5, column 3: the row ends after 2 of its 5"},
      {"a Windows line end is no value", map_reals_a, {{9, "1 2\r"}}, "m.asc, row 9, column 3: the row ends"},
      {"a late non-finite real", map_reals_a, {{61, "1 nan 3 4 5"}},
       "m.asc, row 61, column 2: the value of an active cell is not a finite number"},
      {"the first of two non-finite reals", map_reals_a, {{60, "1 2 3 inf 5"}, {2, "1 2 -inf 4 5"}},
       "m.asc, row 2, column 3: the value"},
      {"plain integers", map_integer_grid, {}, ""},
      {"integers with signs", map_integer_grid, {{7, "+1 -2 +0 -0 00012"}}, ""},
      {"a late word", map_integer_grid, {{58, "1 2 3 x1 5"}}, "m.asc, row 58, column 4: \"x1\" is not a whole number"},
      {"the first of two words", map_integer_grid, {{50, "1 2 3 4 +-5"}, {12, "1 0x1A 3 4 5"}},
       "m.asc, row 12, column 2: \"0x1A\""},
      {"a row over two lines, then a word", map_integer_grid, {{10, "1 2 3\n4 5"}, {30, "1 2 3 4 1.5"}},
       "m.asc, row 30, column 5: \"1.5\""},
      {"a row short, so a word moves", map_integer_grid, {{10, "1 2 3 4"}, {30, "1 2 w 4 5"}},
       "m.asc, row 30, column 2: \"w\""},
      {"integers end early", map_integer_grid, {{64, "1 2"}}, "Unexpected end of file in file: m.asc"},
      {"a late word in categories", map_categories, {{63, "1 2 3 4 five"}}, "row 63, column 5: \"five\""},
      {"categories", map_categories, {{1, "9999 10000 -1 0 7"}}, "category 9999 has 1 values"},
  };
  for (const layout_case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string text = tall_map(rows, c.swap);
    const threaded_read one = read_with_threads(text, c.mode, rows, 1);
    const threaded_read four = read_with_threads(text, c.mode, rows, 4);
    EXPECT_EQ(four.result.out, one.result.out);
    EXPECT_EQ(four.result.stop, one.result.stop);
    EXPECT_NE(one.result.out.find(c.message), std::string::npos) << one.result.out;
    if (one.result.stop) continue;  // a stopped run uses none of the values
    EXPECT_EQ(four.ints, one.ints);
    for (size_t k = 0; k < one.reals.size(); ++k)
      ASSERT_TRUE(four.reals[k] == one.reals[k] || (std::isnan(four.reals[k]) && std::isnan(one.reals[k]))) << k;
  }
  // The numbers of the slow path, cell by cell.
  const threaded_read odd = read_with_threads(
      tall_map(rows, {{3, "+4 16 1e3,\t2.5e-1 7"}, {9, "1 2 3 4 5\r"}, {20, "\"3\" 4 5 6 7"}}), map_reals_a, rows, 4);
  // The active cells of a row, in column order.
  auto active_values = [&](int r) {
    size_t n = 0;
    for (int q = 1; q < r; ++q)
      for (int col = 1; col <= 5; ++col) n += (q + col) % 4 != 0;
    std::vector<double> out;
    for (int col = 1; col <= 5; ++col)
      if ((r + col) % 4 != 0) out.push_back(odd.reals[n++]);
    return out;
  };
  EXPECT_EQ(active_values(3), (std::vector<double>{16.0, 1000.0, 0.25})) << "columns 2 to 4";
  EXPECT_EQ(active_values(9), (std::vector<double>{1.0, 2.0, 4.0, 5.0})) << "a Windows line end is no value";
  EXPECT_EQ(active_values(20), (std::vector<double>{3.0, 4.0, 5.0, 7.0})) << "a number in quotes";
}

TEST(AsciiMap, WrittenMapsReadBack) {
  scratch_dir dir;
  imat mask = numbered_mask();
  dvec v{"v"};
  v.allocate(8);
  for (int n = 1; n <= 8; ++n) v[n] = 0.25 * n;
  std::FILE* out = std::fopen((dir / "w.asc").c_str(), "w");
  write_ascii_map(out, mask, 1030, 1000, 540, 500, 3, 4, v);
  std::fclose(out);
  const std::string text = kavro_test::read_file(dir / "w.asc");
  EXPECT_EQ(text.substr(0, 28), "north:   1030.00\nsouth:   10");
  dvec back{"back"};
  back.allocate(8);
  const auto r = read_map(text, map_reals_a, mask, &back, nullptr);
  EXPECT_EQ(r.stop, 0);
  for (int n = 1; n <= 8; ++n) EXPECT_DOUBLE_EQ(back[n], v[n]);
}

TEST(AsciiMap, LongRowsReadInLinearTime) {
#if defined(__SANITIZE_ADDRESS__)
  const int rows = 200, cols = 6000;
#else
  const int rows = 2000, cols = 6000;
#endif
  scratch_dir dir;
  {
    std::FILE* out = std::fopen((dir / "big.asc").c_str(), "w");
    std::fprintf(out, "north: 1\nsouth: 0\neast: 1\nwest: 0\nrows: %d\ncols: %d\n", rows, cols);
    for (int r = 1; r <= rows; ++r) {
      for (int c = 1; c <= cols; ++c) std::fprintf(out, "%.3f ", 100.0 + r * 0.001 + c * 0.5);
      std::fputc('\n', out);
    }
    std::fclose(out);
  }
  imat all{"all"};
  all.allocate(rows + 1, cols + 1);
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) all[r][c] = 1;
  dvec z{"z"};
  z.allocate(static_cast<long>(rows) * cols);
  file_wrapper f;
  ASSERT_TRUE(f.open((dir / "big.asc").string(), "r"));
  double n, s, e, w;
  int nr, nc;
  error_rec.stop = 0;
  const auto t0 = std::chrono::steady_clock::now();
  read_ascii_map(f, "big.asc", map_reals_a, n, s, e, w, nr, nc, all, &z, nullptr, nullptr, rows, cols, 1);
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_EQ(error_rec.stop, 0);
  EXPECT_NEAR(z[1], 100.501, 1e-9);
  EXPECT_NEAR(z[static_cast<long>(rows) * cols], 100.0 + rows * 0.001 + cols * 0.5, 1e-6);
  EXPECT_LT(secs, 10.0);
}

}  // namespace
}  // namespace kavro
