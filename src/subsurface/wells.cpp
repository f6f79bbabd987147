#include "subsurface/wells.h"

#include <cstdio>

#include "framework/error_record.h"
#include "input/time_series.h"

namespace kavro {

std::vector<well_entry> well_table_list;
std::vector<well_entry> well_cell_list;

namespace {

// The table row of `id`; a repeated ID takes the row read last.
const well_entry* find_well_row(int id) {
  for (auto it = well_table_list.rbegin(); it != well_table_list.rend(); ++it) {
    if (it->id == id) return &*it;
  }
  return nullptr;
}

}  // namespace

void build_well_cells(const imat& ids, const imat& mask, int rows, int cols) {
  for (int r = 1; r <= rows && r <= ids.size1() && r <= mask.size1(); ++r) {
    for (int c = 1; c <= cols && c <= ids.size2() && c <= mask.size2(); ++c) {
      const int id = ids[r][c];
      if (id == 0) continue;
      const well_entry* row = find_well_row(id);
      if (!row) {
        std::printf("Error: A well was found in the index map (cell [%d,%d]) that \n  was not found in the well table.\n",
                    r, c);
        error_rec.code = already_printed_code;
        well_table_list.clear();
        return;
      }
      well_entry cell = *row;
      cell.id = mask[r][c];
      well_cell_list.push_back(cell);
    }
  }
  well_table_list.clear();
}

bool resolve_well_series() {
  bool ok = true;
  for (well_entry& w : well_cell_list) {
    if (!w.from_series) continue;
    w.series = nullptr;
    for (const auto& entry : time_series_index)
      if (entry.id == w.series_index) w.series = entry.series;
    if (w.series && w.series->count() > 0) continue;
    std::printf("Error: the well of cell %d takes its rate from time series index %d, which binds no time series in "
                "the time series index table of the mapping table file.\n",
                w.id, w.series_index);
    ok = false;
  }
  if (!ok) error_rec.code = already_printed_code;
  return ok;
}

void well_pumping_rates(dvec& rate, long n_cells, double t, double dx) {
  const double area = dx * dx;
  for (const well_entry& w : well_cell_list) {
    if (w.id < 1 || w.id > n_cells) continue;
    const double q = w.from_series ? (w.series ? time_series_at(*w.series, t) : 0.0) : w.rate;
    rate[w.id] = q / area;
  }
}

void free_well_cells() {
  well_cell_list.clear();
  well_table_list.clear();
}

}  // namespace kavro
