// Well cells from the well index map and the well table.
#include "subsurface/wells.h"

#include <gtest/gtest.h>

#include "framework/error_record.h"
#include "input/time_series.h"

namespace kavro {
namespace {

imat grid(const int (&v)[2][3]) {
  imat g{"g"};
  g.allocate(3, 4);
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 3; ++c) g[r + 1][c + 1] = v[r][c];
  return g;
}

TEST(Wells, MapIdsBecomeWellCellsOfTheSamePlace) {
  const imat mask = grid({{1, 2, 3}, {4, 5, 6}});
  const imat ids = grid({{0, 7, 0}, {0, 0, 9}});
  well_table_list = {{7, 0, 0.5, 0}, {9, 1, 0.0, 3}, {7, 0, 0.25, 0}};  // 7 repeated: the last row holds
  error_rec.code = 0;
  build_well_cells(ids, mask, 2, 3);
  EXPECT_EQ(error_rec.code, 0);
  ASSERT_EQ(well_cell_list.size(), 2u);
  EXPECT_EQ(well_cell_list[0].id, 2);
  EXPECT_DOUBLE_EQ(well_cell_list[0].rate, 0.25);
  EXPECT_EQ(well_cell_list[1].id, 6);
  EXPECT_EQ(well_cell_list[1].series_index, 3);
  EXPECT_TRUE(well_table_list.empty());
  free_well_cells();
  EXPECT_TRUE(well_cell_list.empty());
}

TEST(Wells, AnIdMissingFromTheTableStopsTheRun) {
  const imat mask = grid({{1, 2, 3}, {4, 5, 6}});
  const imat ids = grid({{0, 0, 0}, {8, 0, 0}});
  well_table_list = {{7, 0, 0.5, 0}};
  error_rec.code = 0;
  testing::internal::CaptureStdout();
  build_well_cells(ids, mask, 2, 3);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error: A well was found in the index map (cell [2,1]) that \n  was not found in the well table.\n");
  EXPECT_EQ(error_rec.code, already_printed_code);
  error_rec.code = 0;
  EXPECT_TRUE(well_cell_list.empty());
  free_well_cells();
}

TEST(Wells, SeriesAreBoundOnceAndRatesFollowThemAsDepthRates) {
  time_series series;
  series.times = {2455000.0, 2455001.0};
  series.values = {1.0, 3.0};
  const auto saved_index = time_series_index;
  time_series_index = {{4, &series}};
  error_rec = error_record{};
  // A constant 1 m3/s well and a series well on 100 m cells.
  well_cell_list = {{1, 0, 1.0, 0, nullptr}, {2, 1, 0.0, 4, nullptr}};
  ASSERT_TRUE(resolve_well_series());
  dvec rate{"rate"};
  rate.allocate(2);
  well_pumping_rates(rate, 2, 2455000.5, 100.0);
  EXPECT_DOUBLE_EQ(rate[1], 1e-4);
  EXPECT_DOUBLE_EQ(rate[2], 2e-4);
  // An index that binds no series is refused before the time loop.
  well_cell_list = {{2, 1, 0.0, 9, nullptr}};
  testing::internal::CaptureStdout();
  EXPECT_FALSE(resolve_well_series());
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("cell 2"), std::string::npos) << out;
  EXPECT_NE(out.find("index 9"), std::string::npos) << out;
  EXPECT_EQ(error_rec.code, already_printed_code);
  error_rec = error_record{};
  time_series_index = saved_index;
  free_well_cells();
}

}  // namespace
}  // namespace kavro
