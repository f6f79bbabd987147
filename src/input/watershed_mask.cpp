#include "input/watershed_mask.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "framework/run_globals.h"
#include "framework/parallel_sum.h"
#include "input/ascii_map.h"
#include "input/setup_lines.h"
#include "output/grid_writers.h"

namespace kavro {

namespace {

// Rows and columns of the cell-number grid (0 when it was never allocated):
// every loop over the grid is bounded by these, whatever a map header said.
int grid_rows_of(const imat& mask) { return mask.empty() ? 0 : static_cast<int>(mask.size1()) - 1; }
int grid_cols_of(const imat& mask) { return mask.empty() ? 0 : static_cast<int>(mask.size2()) - 1; }

// Two cell sizes agree when, with 1 mm added, they truncate to the same
// tenth of a metre. The size of a header is a quotient of coordinates, so a
// round-off below a whole tenth is forgiven. A size that is not a number
// never agrees.
double tenths(double size) { return std::trunc((size + 0.001) * 10 + 1e-9); }
bool same_cell_size(double a, double b) { return tenths(a) == tenths(b); }

// The project's GRIDSIZE against the cell size of the mask header, north-south
// first. A disagreement is printed and stops the run.
bool cell_size_agrees(const main_state& ms) {
  // A header without rows or columns has no cell size: it never agrees.
  const double dy = ms.map_rows > 0 ? (ms.map_north - ms.map_south) / ms.map_rows : std::nan("");
  const double dxm = ms.map_cols > 0 ? (ms.map_east - ms.map_west) / ms.map_cols : std::nan("");
  const bool rows_agree = same_cell_size(ms.dx, dy);
  if (rows_agree && same_cell_size(ms.dx, dxm)) return true;
  if (ms.quiet == 0 && run_context.process_rank == 0) {
    std::printf("\nThe grid size specified in the project file: %7.4f m differs from\n", ms.dx);
    if (!rows_agree)
      std::printf("the north-south dimension of the raster grid cells %7.4f m as calculated\n", dy);
    else
      std::printf("the east-west dimension of the raster grid cells %7.4f m as calculated\n", dxm);
    std::fputs("from the WATERSHED_MASK header.  Check your data to make sure they agree.\n", stdout);
    std::fputs("KAVRO terminating.\n\n", stdout);
  }
  error_rec.code = already_printed_code;
  report_error(error_rec);
  return false;
}

// Numbers the active (non-zero) entries of the grid row by row from 1 and
// records each cell's row, column and centre. Rows are numbered in parallel,
// each from the count of active cells before it.
void number_cells(main_state& ms, int rows, int cols) {
  const std::vector<long> before = cells_before_rows(ms.mask, rows, cols);
  const int n = static_cast<int>(before[static_cast<size_t>(rows) + 1]);
  ms.n_cells = n;
  // New cells are zero; every one of them is written below.
  ms.cell_row.grow(n);
  ms.cell_col.grow(n);
  ms.cell_x.grow(n);
  ms.cell_y.grow(n);
  int* const cell_row = ms.cell_row.data();
  int* const cell_col = ms.cell_col.data();
  double* const cell_x = ms.cell_x.data();
  double* const cell_y = ms.cell_y.data();
  const double dy = rows > 0 ? (ms.map_north - ms.map_south) / rows : 0.0;
  const double dxm = cols > 0 ? (ms.map_east - ms.map_west) / cols : 0.0;
#pragma omp parallel for schedule(static) if (static_cast<long>(rows) * cols >= parallel_min_items)
  for (int r = 1; r <= rows; ++r) {
    int* row = ms.mask[r];
    int cell = static_cast<int>(before[static_cast<size_t>(r)]);
    for (int c = 1; c <= cols; ++c) {
      if (row[c] == 0) continue;
      row[c] = ++cell;
      cell_row[cell] = r;
      cell_col[cell] = c;
      cell_y[cell] = ms.map_north - (r - 0.5) * dy;
      cell_x[cell] = ms.map_west + (c - 0.5) * dxm;
    }
  }
}

// "maskmap": the header of the mask and the cell number (or 0) of every
// grid cell, one grid row per line; it reads back as an integer map.
void write_maskmap(main_state& ms, int rows, int cols) {
  ms.maskmap_name = "maskmap";
  if (!ms.fs_maskmap.open(ms.maskmap_name, "w")) {
    std::fputs("Error: unable to open mask map file for writing\n", stdout);
    return;
  }
  std::FILE* out = ms.fs_maskmap.fp;
  std::fprintf(out, "north: %9.2lf\n", ms.map_north);
  std::fprintf(out, "south: %9.2lf\n", ms.map_south);
  std::fprintf(out, "east: %9.2lf\n", ms.map_east);
  std::fprintf(out, "west: %9.2lf\n", ms.map_west);
  std::fprintf(out, "rows: %5d\n", rows);
  std::fprintf(out, "cols: %5d\n", cols);
  row_buffer buf;
  write_integer_grid_rows(out, ms.mask, rows, cols, buf);
  ms.fs_maskmap.close();
}

// Strip weights of `sizes` over weights[1..m].
std::vector<long> strip_weights(const std::vector<int>& weights, const std::vector<int>& sizes) {
  std::vector<long> out(sizes.size(), 0);
  size_t item = 1;
  for (size_t i = 1; i < sizes.size(); ++i)
    for (int k = 0; k < sizes[i] && item < weights.size(); ++k) out[i] += weights[item++];
  return out;
}

// One candidate of the balanced partition: every strip but the last takes
// items until its weight reaches `target`, leaving at least one item for each
// strip after it; the last strip takes the rest.
std::vector<int> strips_for_target(const std::vector<int>& weights, int strips, long target) {
  const int m = static_cast<int>(weights.size()) - 1;
  std::vector<int> sizes(static_cast<size_t>(strips) + 1, 0);
  int taken = 0;
  for (int i = 1; i < strips; ++i) {
    long weight = 0;
    while (taken + 1 <= m - (strips - i)) {
      weight += weights[static_cast<size_t>(++taken)];
      ++sizes[static_cast<size_t>(i)];
      if (weight >= target) break;
    }
  }
  sizes[static_cast<size_t>(strips)] = m - taken;
  return sizes;
}

// Marks the strip of this partition in `strip_mask` (over items 1..m of the
// given sizes) and the active cells of the grid that lie in it in `in_strip`.
void mark_strip(const std::vector<int>& sizes, int index, ivec& strip_mask, ivec& in_strip, const imat& mask,
                int rows, int cols, bool by_rows) {
  int first = 1;
  for (int i = 1; i <= index; ++i) first += sizes[static_cast<size_t>(i)];
  const int last = first + sizes[static_cast<size_t>(index) + 1] - 1;
  for (long k = 1; k <= strip_mask.size(); ++k) strip_mask[k] = (k >= first && k <= last) ? 1 : 0;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) {
      const int cell = mask[r][c];
      if (cell > 0 && cell <= in_strip.size()) in_strip[cell] = strip_mask[by_rows ? r : c];
    }
}

}  // namespace

std::vector<int> balanced_strip_sizes(const std::vector<int>& weights, int strips) {
  const int m = static_cast<int>(weights.size()) - 1;
  if (strips < 1 || m < 1) return std::vector<int>(static_cast<size_t>(std::max(strips, 0)) + 1, 0);
  long total = 0;
  for (int j = 1; j <= m; ++j) total += weights[static_cast<size_t>(j)];
  const long mean = total / m;
  // The search spread: how far the last item's weight lies from the mean, plus 1.
  const long spread = std::labs(weights[static_cast<size_t>(m)] - mean) + 1;
  std::vector<int> best;
  long best_score = 0;
  for (long k = -2 * spread; k <= 2 * spread; ++k) {
    std::vector<int> sizes = strips_for_target(weights, strips, total / strips + k);
    const std::vector<long> w = strip_weights(weights, sizes);
    const auto [lo, hi] = std::minmax_element(w.begin() + 1, w.end());
    const long score = *hi - *lo;
    if (best.empty() || score < best_score) {
      best = std::move(sizes);
      best_score = score;
    }
  }
  return best;
}

void strip_partition(run_context_record& ctx, const imat& mask) {
  const int rows = std::min(ctx.grid_rows, grid_rows_of(mask));
  const int cols = std::min(ctx.grid_cols, grid_cols_of(mask));
  alloc_ivec(ctx.col_cell_count, cols, "col_cell_count");
  alloc_ivec(ctx.row_cell_count, rows, "row_cell_count");
  alloc_ivec(ctx.cell_in_row_strip, ctx.n_cells, "cell_in_row_strip");
  alloc_ivec(ctx.cell_in_col_strip, ctx.n_cells, "cell_in_col_strip");
  alloc_ivec(ctx.short_row_mask, rows, "short_row_mask");
  alloc_ivec(ctx.short_col_mask, cols, "short_col_mask");
  std::vector<int> row_weights(static_cast<size_t>(rows) + 1, 0), col_weights(static_cast<size_t>(cols) + 1, 0);
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c)
      if (mask[r][c] != 0) {
        ++row_weights[static_cast<size_t>(r)];
        ++col_weights[static_cast<size_t>(c)];
      }
  for (int r = 1; r <= rows; ++r) ctx.row_cell_count[r] = row_weights[static_cast<size_t>(r)];
  for (int c = 1; c <= cols; ++c) ctx.col_cell_count[c] = col_weights[static_cast<size_t>(c)];
  if (ctx.partition_index < 0 || ctx.partition_index >= ctx.partition_count) return;
  mark_strip(balanced_strip_sizes(row_weights, ctx.partition_count), ctx.partition_index, ctx.short_row_mask,
             ctx.cell_in_row_strip, mask, rows, cols, true);
  mark_strip(balanced_strip_sizes(col_weights, ctx.partition_count), ctx.partition_index, ctx.short_col_mask,
             ctx.cell_in_col_strip, mask, rows, cols, false);
}

void check_mask_header(main_state& ms) {
  double north = 0, south = 0, east = 0, west = 0;
  int rows = 0, cols = 0;
  // A header that cannot be read is reported by the mask reader itself.
  if (!peek_ascii_map_header(ms.fs_watershed_mask, north, south, east, west, rows, cols)) return;
  if (rows == ms.rows && cols == ms.cols) return;
  std::printf(
      "Error: the header of the watershed mask %s gives %d rows and %d columns, the project file ROWS %d and COLS "
      "%d.\n",
      ms.watershed_mask_path.c_str(), rows, cols, ms.rows, ms.cols);
  error_rec.code = already_printed_code;
  report_error(error_rec);
}

void read_watershed_mask(main_state& ms) {
  ms.map_mode = map_integer_grid;
  print_setup_line(ms, format_string("reading watershed mask from file: %s\n", ms.watershed_mask_path.c_str()));
  read_ascii_map(ms.fs_watershed_mask, ms.watershed_mask_path, map_integer_grid, ms.map_north, ms.map_south,
                 ms.map_east, ms.map_west, ms.map_rows, ms.map_cols, ms.mask, nullptr, nullptr, nullptr, ms.rows,
                 ms.cols, ms.tool_mode);
  ms.fs_watershed_mask.close();
  // A mask that could not be read has stopped the run: nothing is numbered
  // on it, and no header that failed its check divides anything.
  if (error_rec.stop) return;

  const int rows = grid_rows_of(ms.mask);
  const int cols = grid_cols_of(ms.mask);
  if (!cell_size_agrees(ms)) return;

  number_cells(ms, rows, cols);
  write_maskmap(ms, rows, cols);
  print_setup_line(ms, format_string("number of grid cells in watershed: %d\n", ms.n_cells));
  ms.watershed_area = ms.dx * ms.dx * ms.n_cells;

  if (run_context.partition_count >= 2) {
    run_context.grid_rows = rows;
    run_context.grid_cols = cols;
    run_context.n_cells = ms.n_cells;
    strip_partition(run_context, ms.mask);
  }
}

}  // namespace kavro
