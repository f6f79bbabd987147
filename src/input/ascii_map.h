// The one reader (and writer) of the ASCII raster layout: six header lines
// (north, south, east, west, rows, cols, each behind a keyword that is not
// compared) and then rows x cols values in row order, row 1 at the northern
// edge and column 1 at the western edge.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "framework/one_based.h"

namespace kavro {

class file_wrapper;

// What read_ascii_map fills.
enum map_read_mode : int {
  map_reals_a = 1,       // reals of the active cells into dest_a
  map_integer_grid = 2,  // integers of every cell into the grid itself
  map_reals_b = 3,       // reals of the active cells into dest_b
  map_categories = 4,    // integer categories of the active cells into dest_int
};

// Reads the map open in `f`. `map_name` is used in messages. The header
// lands in north..cols; `cell_grid` [1..rows][1..cols] is the destination of
// mode 2 and selects the active cells (non-zero entries) in the other modes,
// whose n-th active cell in row order fills element n of the destination.
// A header that disagrees with the expected rows and cols, a file that ends
// early, a token of an integer map that is not a whole number, or a real
// value of an active cell that is NaN or infinite, prints its message (file,
// row and column) and stops the run (code 4000). Values beyond the last
// column or row draw one warning. Unless
// `quiet` is 1, zero cells and the category counts are reported.
void read_ascii_map(file_wrapper& f, const std::string& map_name, int mode, double& north, double& south,
                    double& east, double& west, int& rows, int& cols, imat& cell_grid, dvec* dest_a, dvec* dest_b,
                    ivec* dest_int, int expected_rows, int expected_cols, int quiet);

// Active (non-zero) cells of `cell_grid` before each row, in row order:
// element r (1..rows) is the number of the active cells of rows 1..r-1,
// element rows + 1 their total. The n-th active cell in row order is the
// one whose number the reader gives element n of a destination.
std::vector<long> cells_before_rows(const imat& cell_grid, int rows, int cols);

// Reads the six header lines of the map open in `f` and goes back to the
// start of the file, so that the map can be judged before anything is sized
// from it. False when the file ends inside the header.
bool peek_ascii_map_header(file_wrapper& f, double& north, double& south, double& east, double& west, int& rows,
                           int& cols);

// Writes the header and, row by row, one "%lf " per column: an active cell
// (non-zero `cell_grid` entry) takes the next value of `values` in row order,
// an inactive cell 0. With `exact` the values are the shortest texts that
// read back to the same doubles.
void write_ascii_map(std::FILE* out, const imat& cell_grid, double north, double south, double east, double west,
                     int rows, int cols, const dvec& values, bool exact = false);

}  // namespace kavro
