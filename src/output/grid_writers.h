// Grid and dataset layouts of the gridded outputs: the ESRI ASCII grid (one
// file per quantity and frame) and the ASCII and binary dataset files (one
// file per quantity, one frame per output time).
//
// Values come packed: one double per active cell (non-zero mask entry), in
// row order from the top row, index 1 first. Rows are formatted into a
// caller-owned buffer with std::to_chars and leave with one fwrite each; the
// bytes equal those of the printf formats named beside each writer.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "framework/one_based.h"

namespace kavro {

class file_wrapper;

// The packed values of a gridded output, cells 1..n: a whole per-cell array
// or one row of a [quantity][cell] table, read in place (no copy per frame).
struct cell_values {
  cell_values(const double* cells_, long n_) : cells(cells_), n(cells_ != nullptr ? n_ : 0) {}
  cell_values(const dvec& v) : cells(v.data()), n(v.data() != nullptr ? v.size() : 0) {}  // implicit: any dvec passes
  double operator[](long i) const { return cells[i]; }
  long size() const { return n; }
  const double* cells;  // cells 0..n, cell 0 unused
  long n;
};

// Scratch bytes of the row formatters; grown once to the widest row of a run.
using row_buffer = std::vector<char>;

// Grid geometry of a gridded output: mask rows [1..rows][1..cols] and the
// edges of the grid (m).
struct grid_frame {
  const imat* mask = nullptr;
  double north = 0, south = 0, east = 0, west = 0;
  int rows = 0, cols = 0;
  double cellsize = 0;
};

// "ncols \t%d", "nrows \t%d", "xllcenter %9.2lf", "yllcenter %9.2lf",
// "cellsize %9.2lf", "NODATA_value -9999.9999", then per row "%6.4lf " per
// cell (-9999.9999 outside the mask) and "\n". The lower-left centre takes the
// smaller edge of each pair, whichever way round the edges were given.
void write_esri_ascii_grid(std::FILE* out, const grid_frame& g, cell_values values, row_buffer& buf);

// Creates `path` ("w") and writes "DATASET", "OBJTYPE grid2d", "BEGSCL",
// "OBJID id", "ND n", "NC n", "NAME name" with n = rows x cols. A file that
// cannot be created sets error 59 with the path; false then.
bool write_ascii_dataset_header(const std::string& path, file_wrapper& file, int id, std::string_view name, int rows,
                                int cols);
// Creates `path` ("wb") and writes the int32 words 3000 100 4 110 8 120 2 130
// 160 id 170 n 180 n 190 and the name in 40 NUL-padded bytes (little-endian).
bool write_binary_dataset_header(const std::string& path, file_wrapper& file, int id, std::string_view name, int rows,
                                 int cols);

// One frame: ASCII "TS 1 %lf" (minutes), one "%d" status per grid cell, one
// "%lf" value per grid cell (0 outside the mask), one per line; binary int32
// 200, int16 1, double minutes, int16 statuses, doubles.
void write_dataset_frame(std::FILE* out, double minutes, const grid_frame& g, cell_values values, bool binary,
                         row_buffer& buf);

// The rows of the program's own ASCII map layout: "%lf " per cell (the next
// packed value, 0 outside the mask) and "\n" per row. With `exact` each value
// is the shortest text that reads back to the same double (a hotstart must
// give the next run the state this one ended with, not six decimals of it).
void write_ascii_map_rows(std::FILE* out, const imat& mask, int rows, int cols, const dvec& values, row_buffer& buf,
                          bool exact = false);

// The rows of an integer grid, readable as an integer map: "%d " per cell
// [1..cols] and "\n" per row.
void write_integer_grid_rows(std::FILE* out, const imat& grid, int rows, int cols, row_buffer& buf);

// The end marker of a dataset: "ENDDS\n", or the int32 210 when binary.
void write_dataset_end(std::FILE* out, bool binary);

// The name of frame `frame` of a grid-files series: `folder`, a '/' unless
// the folder is empty or already ends with '/' or '\' (that one then becomes
// '/'), `stem` and ".%04d" with the frame number, then `suffix`.
std::string grid_frame_name(std::string_view folder, std::string_view stem, int frame, std::string_view suffix);

}  // namespace kavro
