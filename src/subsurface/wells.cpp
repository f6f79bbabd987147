#include "subsurface/wells.h"

#include <cstdio>

#include "framework/error_record.h"

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

void free_well_cells() {
  well_cell_list.clear();
  well_table_list.clear();
}

}  // namespace kavro
