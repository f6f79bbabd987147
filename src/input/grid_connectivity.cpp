#include "input/grid_connectivity.h"

#include <algorithm>
#include <cstdio>

#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/parallel_sum.h"
#include "input/setup_lines.h"

namespace kavro {

namespace {

// Texts of one side of a cell in the low-spot messages.
struct side_texts {
  int code;                  // 1 top, 2 right, 4 bottom, 8 left
  int facing;                // the side of the neighbour that faces the cell
  const char* off_grid;      // the neighbour is missing or carries no dike
  const char* across;        // the low spot runs along the dike: two lines
  const char* along;
  const char* side_line;     // closes the crest messages
};

constexpr side_texts sides[] = {
    {1, 4, "\nYou have specified a low spot on the top boundary of the grid\n",
     "at this low spot across the top boundary of the cell, while the dike\n",
     "is running in a different direction than along the top of the cell.\n", "Dike / low spot on top side of cell\n"},
    {2, 8, "\nYou have specified a low spot on the right boundary of the grid\n",
     "at this low spot across the right boundary of the cell, while the dike\n",
     "is running in a different direction than along the right side of the cell.\n",
     "Dike / low spot on right side of cell\n"},
    {4, 1, "\nYou have specified a low spot on the bottom boundary of the grid\n",
     "at this low spot across the bottom boundary of the cell, while the dike\n",
     "is running in a different direction than along the bottom of the cell.\n",
     "Dike / low spot on bottom side of cell\n"},
    {8, 2, "\nYou have specified a low spot on the left boundary of the grid\n",
     "at this low spot across the left boundary of the cell, while the dike\n",
     "is running in a different direction than along the left side of the cell.\n",
     "Dike / low spot on left side of cell\n"},
};

const side_texts* side_of(int direction) {
  for (const side_texts& s : sides)
    if (s.code == direction) return &s;
  return nullptr;
}

// The neighbour of cell n across side `code`.
int neighbour_across(const main_state& ms, int code, int n) {
  switch (code) {
    case 1: return ms.abovecon[n];
    case 2: return ms.rightcon[n];
    case 4: return ms.belowcon[n];
    default: return ms.leftcon[n];
  }
}

// Element i of a per-cell array, 0 where the array does not reach.
template <class T>
T cell_value(const one_based_vec<T>& a, int i) {
  return i >= 1 && i <= a.size() ? a[i] : T{};
}

// Checks one low spot; prints the message of the first check it fails.
bool low_spot_is_valid(main_state& ms, low_spot& spot, int rows, int cols) {
  spot.flow = 0;
  const int row = spot.row, col = spot.col;
  if (spot.width_fraction < 0.0 || spot.width_fraction > 1.5) {
    std::fputs("\nThe fraction of the grid-size specified for the lowspot in the grid at\n", stdout);
    std::printf("row %d col %d is unreasonable, with a value of %f.  Acceptable\n", row, col, spot.width_fraction);
    std::fputs(" values range from 0.0 to 1.5.  Change the value.  Program terminated.\n", stdout);
    return false;
  }
  const side_texts* side = side_of(spot.direction);
  if (side == nullptr) {
    std::printf("\nThe low spot flow direction specified in row %d col %d in the file %s\n", row, col,
                ms.lowspot_path.c_str());
    std::fputs("is not valid.  The only possible directions are: 1- top boundary, 2- right\n"
               "boundary, 4- bottom boundary, or 8- left boundary.\n"
               "Edit your lowspot file and try again.  Program terminated.\n",
               stdout);
    return false;
  }
  if (row < 1 || row > rows || col < 1 || col > cols) {
    std::printf("\nThe low spot in row %d col %d of the file %s lies outside the grid of %d rows and %d columns.\n"
                "Program terminated.\n",
                row, col, ms.lowspot_path.c_str(), rows, cols);
    return false;
  }
  const int n = ms.mask[row][col];
  if (cell_value(ms.dike_mask, n) == 0) {
    std::printf("\nYou have specified an overland flow dike in row %d col %d\n", row, col);
    std::fputs("There is no dike adjacent to this grid cell.  Program stopped.\n", stdout);
    return false;
  }
  const int m = neighbour_across(ms, side->code, n);
  if (m == 0 || cell_value(ms.dike_mask, m) == 0) {
    std::fputs(side->off_grid, stdout);
    std::printf("cell at row %d col %d.  Either the side you have specified is not on\n", row, col);
    std::fputs("an overland flow dike, or the cell on the other side is out of the\n"
               "watershed.  Check your low spot file.  Program terminated.\n",
               stdout);
    return false;
  }
  const double z_cell = cell_value(ms.elevation, n), z_other = cell_value(ms.elevation, m);
  if (z_cell > spot.crest_elev || z_other > spot.crest_elev) {
    std::fputs("\nThe elevation of the overland flow dike low spot you specified in the grid\n", stdout);
    std::printf("cell located at row %d col %d is %f m.  This elevation is lower than the\n", row, col,
                spot.crest_elev);
    if (z_cell > spot.crest_elev) {
      std::printf("elevation of the grid cell, which is %f m.  This situation is impossible.\n", z_cell);
      std::fputs("Please raise the low spot elevation to be greater than the grid cell elevation.\n", stdout);
    } else {
      std::printf("elevation of the grid cell on the other side of the dike, which is %f m.\n", z_other);
      std::fputs("This situation is impossible.  Please raise the low spot elevation to be\n"
                 "greater than the grid cell elevation.\n",
                 stdout);
    }
    std::fputs(side->side_line, stdout);
    std::fputs("Program terminated\n", stdout);
    return false;
  }
  if ((cell_value(ms.dike_mask, m) & side->facing) == 0) {
    std::printf("\nThe low spot you have specified in the grid at row %d  col %d does not\n", row, col);
    std::fputs("cross the dike.  Rather, it runs _along_ the dike.  You specified flow\n", stdout);
    std::fputs(side->across, stdout);
    std::fputs(side->along, stdout);
    std::fputs("Program terminated.\n", stdout);
    return false;
  }
  return true;
}

// True when every per-cell array of `arrays` reaches cell n.
template <class... A>
bool all_reach(long n, const A&... arrays) {
  return ((arrays.size() >= n) && ...);
}

}  // namespace

void build_cell_neighbours(int rows, int cols, ivec& rightcon, ivec& belowcon, ivec& abovecon, ivec& leftcon,
                           const imat& mask) {
  // The ring of zeros around the grid answers "no neighbour" at its edges.
  rows = std::min<int>(rows, mask.empty() ? 0 : static_cast<int>(mask.size1()) - 1);
  cols = std::min<int>(cols, mask.empty() ? 0 : static_cast<int>(mask.size2()) - 1);
  const long n_max = std::min({rightcon.size(), belowcon.size(), abovecon.size(), leftcon.size()});
  int* right = rightcon.data();
  int* below = belowcon.data();
  int* above = abovecon.data();
  int* left = leftcon.data();
#pragma omp parallel for schedule(static) if (static_cast<long>(rows) * cols >= parallel_min_items)
  for (int r = 1; r <= rows; ++r) {
    const int* up = mask[r - 1];
    const int* here = mask[r];
    const int* down = mask[r + 1];
    for (int c = 1; c <= cols; ++c) {
      const int n = here[c];
      if (n <= 0 || n > n_max) continue;
      right[n] = here[c + 1];
      left[n] = here[c - 1];
      below[n] = down[c];
      above[n] = up[c];
    }
  }
}

void build_cell_connectivity(main_state& ms) {
  if (setup_console_on(ms)) std::fputs("building cell to cell connectivity information\n", stdout);
  const int rows = ms.mask.empty() ? 0 : static_cast<int>(ms.mask.size1()) - 1;
  const int cols = ms.mask.empty() ? 0 : static_cast<int>(ms.mask.size2()) - 1;
  build_cell_neighbours(rows, cols, ms.rightcon, ms.belowcon, ms.abovecon, ms.leftcon, ms.mask);
  if (!ms.dike_on || !ms.lowspot_on) return;

  alloc_ivec(ms.low_spot_flow_cell, ms.n_cells + 1L, "low_spot_flow_cell");
  const long spots = std::min<long>(ms.n_low_spots, ms.low_spots.size());
  for (long i = 1; i <= spots; ++i) {
    if (!low_spot_is_valid(ms, ms.low_spots[i], rows, cols)) {
      error_rec.code = already_printed_code;
      report_error(error_rec);
      return;
    }
  }
}

void fill_edge_values(main_state& ms) {
  const long n_cells = ms.n_cells;
  if (!all_reach(n_cells, ms.elevation, ms.rightcon, ms.belowcon, ms.abovecon, ms.slope_right, ms.slope_below))
    return;
  const double* z = ms.elevation.data();
  const int* right = ms.rightcon.data();
  const int* below = ms.belowcon.data();
  const int* above = ms.abovecon.data();
  double* s_right = ms.slope_right.data();
  double* s_below = ms.slope_below.data();
  const double dx = ms.dx;
#pragma omp parallel for schedule(static) if (n_cells >= parallel_min_items)
  for (long n = 1; n <= n_cells; ++n) {
    if (right[n] != 0) s_right[n] = (z[n] - z[right[n]]) / dx;
    if (below[n] != 0) s_below[n] = (z[n] - z[below[n]]) / dx;
  }
  // Cells without a right neighbour repeat the cell before them in the
  // numbering, in order; cells without one below repeat the cell above.
  for (long n = 1; n <= n_cells; ++n) {
    if (right[n] == 0) s_right[n] = s_right[n - 1];
    if (below[n] == 0) s_below[n] = above[n] != 0 ? s_below[above[n]] : 0.0;
  }
}

void compute_ground_slopes(main_state& ms) {
  const long n_cells = ms.n_cells;
  if (ms.slope_x) ms.slope_x[0] = 0.0;
  if (ms.slope_y) ms.slope_y[0] = 0.0;
  if (!all_reach(n_cells, ms.elevation, ms.rightcon, ms.leftcon, ms.abovecon, ms.belowcon, ms.slope_x, ms.slope_y))
    return;
  const double* z = ms.elevation.data();
  const int* right = ms.rightcon.data();
  const int* left = ms.leftcon.data();
  const int* above = ms.abovecon.data();
  const int* below = ms.belowcon.data();
  double* sx = ms.slope_x.data();
  double* sy = ms.slope_y.data();
  const double dx = ms.dx;
  // Ground falling towards the east gives a positive slope_x, towards the
  // north a positive slope_y; centred differences where both sides exist.
#pragma omp parallel for schedule(static) if (n_cells >= parallel_min_items)
  for (long n = 1; n <= n_cells; ++n) {
    const int r = right[n], l = left[n], a = above[n], b = below[n];
    if (r != 0 && l != 0)
      sx[n] = ((z[n] - z[r]) / dx + (z[l] - z[n]) / dx) * 0.5;
    else if (r != 0)
      sx[n] = (z[n] - z[r]) / dx;
    else if (l != 0)
      sx[n] = (z[l] - z[n]) / dx;
    if (a != 0 && b != 0)
      sy[n] = ((z[n] - z[a]) / dx + (z[b] - z[n]) / dx) * 0.5;
    else if (a != 0)
      sy[n] = (z[n] - z[a]) / dx;
    else if (b != 0)
      sy[n] = (z[b] - z[n]) / dx;
  }
  // A cell with no neighbour on either side repeats the cell before it.
  for (long n = 1; n <= n_cells; ++n) {
    if (right[n] == 0 && left[n] == 0) sx[n] = sx[n - 1];
    if (above[n] == 0 && below[n] == 0) sy[n] = sy[n - 1];
  }
}

void compute_initial_surface_volume(main_state& ms) {
  const long n_cells = std::min<long>(ms.n_cells, ms.ov_depth.size());
  // Lake cells hold lake water, not surface water: overland lakes when they
  // are on, else the channel lakes.
  const ivec* lake = nullptr;
  if (ms.overland_lake_on)
    lake = &ms.oland_lake_mask;
  else if (ms.lakes_on)
    lake = &ms.lake_mask;
  const double* depth = ms.ov_depth.data();
  const double dx = ms.dx;
  ms.vol_surface_init = fixed_chunk_sum(1, n_cells, [&](long n) {
    if (lake && cell_value(*lake, static_cast<int>(n)) != 0) return 0.0;
    return dx * depth[n] * dx;
  });
  // Snow on the ground (a hotstart) and on the canopy at the start, measured
  // over the same cells as the run's final snow.
  ms.vol_snow_init_total = 0.0;
  if (ms.swe.size() >= n_cells && n_cells >= 1) {
    const bool canopy = ms.canopy_snow.size() >= n_cells;
    ms.vol_snow_init_total = fixed_chunk_sum(1, n_cells, [&](long n) {
      return (ms.swe[n] + (canopy ? ms.canopy_snow[n] : 0.0)) * dx * dx;
    });
  }
  // The overland lakes hold their own water: their level above the ground.
  ms.vol_ov_lakes_init = 0.0;
  if (ms.overland_lake_on) {
    const long n_lakes = ms.olake_table.size();
    ms.vol_ov_lakes_init = fixed_chunk_sum(1, n_cells, [&](long n) {
      const long m = cell_value(ms.oland_lake_mask, static_cast<int>(n));
      if (m < 1 || m > n_lakes) return 0.0;
      return (ms.olake_table[m].level - ms.elevation[n]) * dx * dx;
    });
  }
}

void find_cell_number(const imat& mask, int rows, int cols, const ivec& row_list, const ivec& col_list,
                      ivec& cell_list, int k) {
  if (k < 1 || k > row_list.size() || k > col_list.size() || k > cell_list.size()) return;
  const int r = row_list[k], c = col_list[k];
  rows = std::min<int>(rows, mask.empty() ? 0 : static_cast<int>(mask.size1()) - 1);
  cols = std::min<int>(cols, mask.empty() ? 0 : static_cast<int>(mask.size2()) - 1);
  if (r < 1 || r > rows || c < 1 || c > cols || mask[r][c] == 0) return;
  cell_list[k] = mask[r][c];
  std::printf("%d  %d   %d \n", r, c, cell_list[k]);
}

}  // namespace kavro
