// The watershed mask: the grid every other step works on. The mask map is
// read into the cell-number grid, the active cells are numbered row by row
// (north to south, west to east), their rows, columns and centres recorded,
// and the numbered grid written to "maskmap".
#pragma once

#include <vector>

#include "framework/one_based.h"

namespace kavro {

struct main_state;
struct run_context_record;

// Reads the mask from the open fs_watershed_mask into `mask` (allocated with
// its ring of zeros), checks the project's cell size against the map header,
// numbers the cells and fills n_cells, cell_row, cell_col, cell_x, cell_y and
// watershed_area, writes "maskmap" and reports the cell count. A wrong cell
// size stops the run (code 4000) before any cell is numbered.
// Compares the rows and columns of the mask header with ROWS and COLS
// before any grid is sized from them; a difference stops the run.
void check_mask_header(main_state& ms);
void read_watershed_mask(main_state& ms);

// Sizes of `strips` strips of consecutive items 1..m with the weights
// weights[1..m] (weights[0] unused) whose weights are as even as the search
// finds; element 0 of the result is unused, elements 1..strips the sizes.
std::vector<int> balanced_strip_sizes(const std::vector<int>& weights, int strips);

// The row and column strips of this process's partition of the numbered grid
// `mask` (ctx.grid_rows x ctx.grid_cols with ctx.n_cells cells): per-row and
// per-column cell counts, the strip masks and the per-cell strip flags.
void strip_partition(run_context_record& ctx, const imat& mask);

}  // namespace kavro
