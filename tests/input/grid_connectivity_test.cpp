// Neighbours, dike low spots, slopes, the initial surface volume, cell
// lookup and the strip partition of a numbered grid.
#include "input/grid_connectivity.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/error_record.h"
#include "framework/run_globals.h"
#include "grid_test_support.h"
#include "input/cell_arrays.h"
#include "input/watershed_mask.h"

namespace kavro {
namespace {

using kavro_test::console_of;
using kavro_test::number_grid;

class Connectivity : public kavro_test::grid_test {
 public:
  // A numbered grid with its per-cell arrays and the elevations of its cells
  // in numbering order; cells of 10 m.
  void grid_with(const std::vector<std::string>& pattern, const std::vector<double>& z) {
    number_grid(ms(), pattern);
    ms().dx = 10.0;
    alloc_cell_arrays(ms());
    ms().elevation.allocate(ms().n_cells);
    for (size_t i = 0; i < z.size(); ++i) ms().elevation[static_cast<long>(i) + 1] = z[i];
  }
  void example_grid() { grid_with({"0110", "1111", "0110"}, {12.5, 12.0, 11.0, 11.5, 11.0, 10.5, 10.0, 9.5}); }
  std::string connect() {
    return console_of([&] { build_cell_connectivity(ms()); });
  }
};

TEST_F(Connectivity, NeighboursAreTheActiveCellsOnEachSide) {
  example_grid();
  EXPECT_EQ(connect(), "building cell to cell connectivity information\n");
  struct sides {
    int cell, right, below, above, left;
  };
  const sides cases[] = {
      {1, 2, 4, 0, 0},  // north row: nothing above, inactive corner to the west
      {3, 4, 0, 0, 0},  // west edge of row 2, inactive cells above and below
      {4, 5, 7, 1, 3},  // interior
      {6, 0, 0, 0, 5},  // east edge
      {8, 0, 0, 5, 7},  // south row
  };
  for (const sides& c : cases) {
    SCOPED_TRACE(c.cell);
    EXPECT_EQ(ms().rightcon[c.cell], c.right);
    EXPECT_EQ(ms().belowcon[c.cell], c.below);
    EXPECT_EQ(ms().abovecon[c.cell], c.above);
    EXPECT_EQ(ms().leftcon[c.cell], c.left);
  }
}

TEST_F(Connectivity, SlopesOfSmallGrids) {
  struct slope_case {
    const char* name;
    std::vector<std::string> pattern;
    std::vector<double> z;
    std::vector<double> right, below, x, y;  // expected per cell
  };
  const slope_case cases[] = {
      {"single cell", {"1"}, {5.0}, {0.0}, {0.0}, {0.0}, {0.0}},
      // The east cell has no right neighbour and repeats the west one;
      // slope_x is one-sided at both.
      {"two cells in a row", {"11"}, {10.0, 9.0}, {0.1, 0.1}, {0.0, 0.0}, {0.1, 0.1}, {0.0, 0.0}},
      // Centred in the middle: ((20 - 30) / 10 + (10 - 20) / 10) / 2; the
      // southern cell repeats the slope below of the middle one.
      {"column of three", {"1", "1", "1"}, {30.0, 20.0, 10.0}, {0, 0, 0}, {1.0, 1.0, 1.0}, {0, 0, 0},
       {-1.0, -1.0, -1.0}},
      // Cells without a neighbour on a side repeat the cell before them
      // (right, x) or the cell above them (below).
      {"corner", {"11", "01"}, {10.0, 8.0, 5.0}, {0.2, 0.2, 0.2}, {0.0, 0.3, 0.3}, {0.2, 0.2, 0.2},
       {0.0, -0.3, -0.3}},
  };
  for (const slope_case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    grid_with(c.pattern, c.z);
    connect();
    fill_edge_values(ms());
    compute_ground_slopes(ms());
    for (size_t i = 0; i < c.z.size(); ++i) {
      const long n = static_cast<long>(i) + 1;
      SCOPED_TRACE(n);
      EXPECT_NEAR(ms().slope_right[n], c.right[i], 1e-12);
      EXPECT_NEAR(ms().slope_below[n], c.below[i], 1e-12);
      EXPECT_NEAR(ms().slope_x[n], c.x[i], 1e-12);
      EXPECT_NEAR(ms().slope_y[n], c.y[i], 1e-12);
    }
  }
}

// Cell 4 (row 2, column 2) of the example grid carries a dike on all four
// sides and each neighbour a dike on the side that faces it, so a low spot
// in any direction 1 (top), 2 (right), 4 (bottom), 8 (left) crosses a dike.
TEST_F(Connectivity, LowSpotChecks) {
  struct spot_case {
    const char* name;
    low_spot spot;
    std::function<void(main_state&)> change;
    const char* message;  // a line of the refusal; null when the spot passes
  };
  const auto none = [](main_state&) {};
  const spot_case cases[] = {
      {"top", {2, 2, 1, 1.0, 13.0, 7.0}, none, nullptr},
      {"right", {2, 2, 2, 1.0, 13.0, 0.0}, none, nullptr},
      {"bottom", {2, 2, 4, 1.0, 13.0, 0.0}, none, nullptr},
      {"left", {2, 2, 8, 1.0, 13.0, 0.0}, none, nullptr},
      {"widest spot", {2, 2, 2, 1.5, 13.0, 0.0}, none, nullptr},
      {"crest at the cell", {2, 2, 2, 1.0, 11.5, 0.0}, none, nullptr},
      {"too wide", {2, 2, 2, 1.51, 13.0, 0.0}, none, "is unreasonable, with a value of 1.510000.  Acceptable\n"},
      {"negative width", {2, 2, 2, -0.01, 13.0, 0.0}, none, "is unreasonable, with a value of -0.010000."},
      {"direction 3", {2, 2, 3, 1.0, 13.0, 0.0}, none, "is not valid.  The only possible directions are"},
      {"crest below the cell", {2, 2, 2, 1.0, 11.499, 0.0}, none,
       "elevation of the grid cell, which is 11.500000 m.  This situation is impossible.\n"},
      {"crest below the other side", {2, 2, 8, 1.0, 11.6, 0.0}, [](main_state& m) { m.elevation[3] = 11.7; },
       "elevation of the grid cell on the other side of the dike, which is 11.700000 m.\n"},
      {"cell without a dike", {2, 2, 2, 1.0, 13.0, 0.0}, [](main_state& m) { m.dike_mask[4] = 0; },
       "There is no dike adjacent to this grid cell.  Program stopped.\n"},
      {"neighbour without a dike", {2, 2, 2, 1.0, 13.0, 0.0}, [](main_state& m) { m.dike_mask[5] = 0; },
       "\nYou have specified a low spot on the right boundary of the grid\ncell at row 2 col 2."},
      {"no cell across", {2, 4, 2, 1.0, 13.0, 0.0}, [](main_state& m) { m.dike_mask[6] = 15; },
       "\nYou have specified a low spot on the right boundary of the grid\ncell at row 2 col 4."},
      {"along the dike", {2, 2, 2, 1.0, 13.0, 0.0}, [](main_state& m) { m.dike_mask[5] = 1; },
       "at this low spot across the right boundary of the cell, while the dike\n"},
      {"outside the grid", {7, 2, 2, 1.0, 13.0, 0.0}, none, "lies outside the grid of 3 rows and 4 columns."},
  };
  for (const spot_case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    example_grid();
    ms().dike_on = ms().lowspot_on = 1;
    ms().dike_mask.allocate(8);
    ms().dike_mask[4] = 15;
    ms().dike_mask[1] = 4;
    ms().dike_mask[5] = 8;
    ms().dike_mask[7] = 1;
    ms().dike_mask[3] = 2;
    c.change(ms());
    ms().low_spots.allocate(1);
    ms().low_spots[1] = c.spot;
    ms().n_low_spots = 1;
    const std::string out = connect();
    EXPECT_EQ(ms().low_spots[1].flow, 0.0);
    EXPECT_EQ(ms().low_spot_flow_cell.size(), 9);
    if (c.message == nullptr) {
      EXPECT_EQ(error_rec.stop, 0) << out;
    } else {
      EXPECT_EQ(error_rec.stop, 1);
      EXPECT_NE(out.find(c.message), std::string::npos) << out;
    }
  }
}

TEST_F(Connectivity, FirstBadLowSpotEndsTheChecks) {
  example_grid();
  ms().dike_on = ms().lowspot_on = 1;
  ms().dike_mask.allocate(8);
  ms().low_spots.allocate(2);
  ms().low_spots[1] = {2, 2, 2, 2.0, 13.0, 0.0};
  ms().low_spots[2] = {2, 2, 3, 1.0, 13.0, 5.0};
  ms().n_low_spots = 2;
  const std::string out = connect();
  EXPECT_NE(out.find("unreasonable"), std::string::npos);
  EXPECT_EQ(out.find("is not valid"), std::string::npos) << "the second spot is not examined";
  EXPECT_EQ(ms().low_spots[2].flow, 5.0);
}

TEST_F(Connectivity, InitialSurfaceVolumeLeavesLakeCellsOut) {
  struct volume_case {
    const char* name;
    int overland_lakes, channel_lakes;
    double volume, overland_lake_volume;
  };
  // 0.05 m on 8 cells of 100 m2; overland lake cells 1 and 2 (ground at 10.0
  // and 10.2 m under a level of 10.5 m), channel lake cells 3 to 6.
  const volume_case cases[] = {
      {"no lakes", 0, 0, 40.0, 0.0},
      {"overland lakes", 1, 0, 30.0, 80.0},
      {"channel lakes", 0, 1, 20.0, 0.0},
      {"both: the overland lakes count", 1, 1, 30.0, 80.0},
  };
  for (const volume_case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    example_grid();
    for (long n = 1; n <= 8; ++n) ms().ov_depth[n] = 0.05;
    ms().overland_lake_on = c.overland_lakes;
    ms().lakes_on = c.channel_lakes;
    ms().oland_lake_mask.allocate(8);
    ms().oland_lake_mask[1] = ms().oland_lake_mask[2] = 1;
    ms().lake_mask.allocate(8);
    for (long n = 3; n <= 6; ++n) ms().lake_mask[n] = 2;
    ms().olake_table.allocate(1);
    ms().olake_table[1].level = 10.5;
    ms().elevation[1] = 10.0;
    ms().elevation[2] = 10.2;
    compute_initial_surface_volume(ms());
    EXPECT_NEAR(ms().vol_surface_init, c.volume, 1e-9);
    EXPECT_NEAR(ms().vol_ov_lakes_init, c.overland_lake_volume, 1e-9);
  }
}

TEST_F(Connectivity, CellNumbersOfLocations) {
  example_grid();
  ivec rows{"r"}, cols{"c"}, cells{"n"};
  rows.allocate(3);
  cols.allocate(3);
  cells.allocate(3);
  const int locations[3][2] = {{2, 3}, {1, 1}, {9, 2}};  // active, inactive, off the grid
  for (int k = 1; k <= 3; ++k) {
    rows[k] = locations[k - 1][0];
    cols[k] = locations[k - 1][1];
    cells[k] = -1;
  }
  std::string out;
  for (int k = 1; k <= 3; ++k) out += console_of([&] { find_cell_number(ms().mask, 3, 4, rows, cols, cells, k); });
  EXPECT_EQ(out, "2  3   5 \n");
  EXPECT_EQ(cells[1], 5);
  EXPECT_EQ(cells[2], -1);
  EXPECT_EQ(cells[3], -1);
}

TEST(StripPartition, BalancedSizes) {
  struct sizes_case {
    std::vector<int> weights;  // element 0 unused
    int strips;
    std::vector<int> sizes;
  };
  const sizes_case cases[] = {
      {{0, 1, 1, 1, 1}, 2, {0, 2, 2}},
      {{0, 4, 1, 1, 1, 1}, 2, {0, 1, 4}},
      {{0, 1, 3, 3, 1}, 2, {0, 2, 2}},
      {{0, 2, 2, 2, 2, 2, 2}, 3, {0, 2, 2, 2}},
      {{0, 5}, 1, {0, 1}},
  };
  for (const sizes_case& c : cases) EXPECT_EQ(balanced_strip_sizes(c.weights, c.strips), c.sizes);
}

TEST_F(Connectivity, StripsOfTheSecondPartition) {
  example_grid();
  run_context_record ctx;
  ctx.partition_count = 2;
  ctx.partition_index = 1;
  ctx.grid_rows = 3;
  ctx.grid_cols = 4;
  ctx.n_cells = 8;
  strip_partition(ctx, ms().mask);
  // Rows hold 2, 4, 2 cells: strips of 1 and 2 rows; columns 1, 3, 3, 1: two and two.
  const int row_mask[] = {0, 1, 1}, col_mask[] = {0, 0, 1, 1};
  for (int r = 1; r <= 3; ++r) EXPECT_EQ(ctx.short_row_mask[r], row_mask[r - 1]) << r;
  for (int c = 1; c <= 4; ++c) EXPECT_EQ(ctx.short_col_mask[c], col_mask[c - 1]) << c;
  const int in_rows[] = {0, 0, 1, 1, 1, 1, 1, 1}, in_cols[] = {0, 1, 0, 0, 1, 1, 0, 1};
  for (int n = 1; n <= 8; ++n) {
    EXPECT_EQ(ctx.cell_in_row_strip[n], in_rows[n - 1]) << n;
    EXPECT_EQ(ctx.cell_in_col_strip[n], in_cols[n - 1]) << n;
  }
  EXPECT_EQ(ctx.row_cell_count[2], 4);
  EXPECT_EQ(ctx.col_cell_count[1], 1);
}

}  // namespace
}  // namespace kavro
