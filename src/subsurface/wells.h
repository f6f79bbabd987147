// Pumping wells of the groundwater model: the rows of the well table and the
// well cells built from the well index map.
#pragma once

#include <vector>

#include "framework/one_based.h"

namespace kavro {

struct time_series;

// One well: a row of the well table (id = the table's well ID) or a well
// cell (id = the active-cell number).
struct well_entry {
  int id = 0;
  int from_series = 0;   // 1: the rate comes from a time series
  double rate = 0.0;     // constant pumping rate (m3/s)
  int series_index = 0;  // mapping-table index of the rate's time series
  const time_series* series = nullptr;  // that series, bound by resolve_well_series
};

// The rows of the well table in file order, and the well cells of the run.
// Both are process-wide and emptied at the end of every run.
extern std::vector<well_entry> well_table_list;
extern std::vector<well_entry> well_cell_list;

// For every non-zero ID of the well index map (`ids`, row r and column c at
// [r][c], 1-based like the grid), in row order, the table row of that ID
// (the last one when the table repeats it) becomes a well cell of the cell
// numbered in `mask` at the same place. An ID without a table row stops the
// run with its message (code 4000); the table rows are released afterwards.
void build_well_cells(const imat& ids, const imat& mask, int rows, int cols);
// Empties the well cell list.
void free_well_cells();
// Binds every series well of the cell list to its time series once, before
// the time loop. A series index that binds no series stops the run with a
// message naming the well's cell and the index (code 4000); false then.
bool resolve_well_series();
// The pumping of every well cell at time t (Julian days) as a depth rate
// (m/s, positive = out) over cells of dx metres: rate[cell] = rate / dx^2.
void well_pumping_rates(dvec& rate, long n_cells, double t, double dx);

}  // namespace kavro
