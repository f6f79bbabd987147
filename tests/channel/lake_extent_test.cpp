// Channel lakes over the grid and the capture of channel nodes.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "channel/channel_routing.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "overland/lake_extent.h"

namespace kavro {
namespace {

// A 1-row grid of `cols` 10 m cells; lake L's search list is the cells in
// `lists[L - 1]` (columns), the first `wet[L - 1]` of them flooded.
std::unique_ptr<main_state> lake_grid(const std::vector<double>& elev, const std::vector<std::vector<int>>& lists,
                                      const std::vector<int>& wet, double level) {
  auto ms = std::make_unique<main_state>();
  const int cols = static_cast<int>(elev.size()), lakes = static_cast<int>(lists.size());
  ms->dx = 10.0;
  ms->lakes_on = 1;
  ms->n_lakes = lakes;
  ms->mask.allocate(1, cols);
  for (dvec* v : {&ms->elevation, &ms->ov_depth}) v->allocate(cols);
  for (ivec* v : {&ms->lake_mask, &ms->new_flooded_grid}) v->allocate(cols);
  for (int c = 1; c <= cols; ++c) ms->mask[1][c] = c, ms->elevation[c] = elev[c - 1];
  for (dvec* v : {&ms->lake_volume, &ms->prevlake_volume, &ms->lake_elev, &ms->lake_area, &ms->lake_in_dv,
                  &ms->lake_out_dv})
    v->allocate(lakes);
  for (ivec* v : {&ms->lake_cells, &ms->numpts, &ms->yes_defined_curve_lake}) v->allocate(lakes);
  size_t longest = 0;
  for (const auto& l : lists) longest = std::max(longest, l.size());
  ms->lake_search.allocate(lakes, 2, static_cast<long>(longest));
  for (int L = 1; L <= lakes; ++L) {
    const auto& list = lists[L - 1];
    ms->numpts[L] = static_cast<int>(list.size());
    for (size_t k = 0; k < list.size(); ++k) ms->lake_search[L][1][k + 1] = 1, ms->lake_search[L][2][k + 1] = list[k];
    ms->lake_cells[L] = wet[L - 1];
    for (int k = 0; k < wet[L - 1]; ++k) ms->lake_mask[list[k]] = L;
    ms->lake_elev[L] = level;
    ms->lake_area[L] = wet[L - 1] * 100.0;
  }
  error_rec = error_record{};
  return ms;
}

TEST(LakeExtent, ALevelPoolLakeFloodsItsLastCellAndWarnsOncePerRun) {
  for (int run = 0; run < 2; ++run) {  // a second run of a batch warns again
    auto ms = lake_grid({100.0, 100.0, 100.8}, {{1, 2, 3}}, {2}, 100.5);
    ms->lake_volume[1] = 100.0;
    testing::internal::CaptureStdout();
    lake_extent_update(*ms);
    ms->lake_volume[1] += 10.0;
    lake_extent_update(*ms);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(ms->lake_cells[1], 3);
    EXPECT_EQ(ms->lake_mask[3], 1);
    EXPECT_NEAR(ms->lake_elev[1], 100.8 + 40.0 / 300.0 + 10.0 / 300.0, 1e-9);
    const std::string warn = "Warning: Lake #1 has reached your specified maximum areal extent\n";
    EXPECT_NE(out.find(warn), std::string::npos) << out;
    EXPECT_EQ(out.find(warn), out.rfind(warn)) << out;
  }
}

TEST(LakeExtent, AFloodedCellBringsItsWaterAndAShrinkingLakeGivesCellsBack) {
  auto ms = lake_grid({100.0, 100.0, 100.52}, {{1, 2, 3}}, {2}, 100.5);
  ms->lake_volume[1] = ms->prevlake_volume[1] = 100.0;
  ms->ov_depth[3] = 0.1;  // 10 m3
  ms->lake_volume[1] += 10.0;
  testing::internal::CaptureStdout();
  lake_extent_update(*ms);
  EXPECT_EQ(ms->lake_cells[1], 3);
  EXPECT_EQ(ms->ov_depth[3], 0.0);
  EXPECT_DOUBLE_EQ(ms->lake_in_dv[1], 10.0);
  EXPECT_DOUBLE_EQ(ms->lake_volume[1], 120.0);
  EXPECT_NEAR(ms->lake_elev[1], 100.52 + 16.0 / 300.0, 1e-9);
  ms->lake_volume[1] -= 18.0;
  lake_extent_update(*ms);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(ms->lake_cells[1], 2);
  EXPECT_EQ(ms->lake_mask[3], 0);
  EXPECT_EQ(ms->new_flooded_grid[3], -1);
  EXPECT_NEAR(ms->lake_elev[1], 100.51, 1e-9);
  EXPECT_NE(out.find("Removing cell 3 from lake 1\n"), std::string::npos) << out;
}

// An hour of open-water evaporation in a 3 m/s wind, 20 C and 40 %: 0.0667
// m3 from a lake of 200 m2 (mass transfer worked by hand), and from a lake
// of half a square metre (area taken as 1 m2 in the size factor) no more
// than the millilitre it holds. Every volume taken is booked once.
TEST(LakeExtent, EvaporationTakesAnHourOfMassTransferAndNeverMoreThanTheLakeHolds) {
  auto ms = lake_grid({100.0, 100.0, 100.0, 100.0}, {{1, 2}, {4}}, {2, 1}, 100.5);
  ms->cumulative_lake_evap.allocate(2);
  ms->lake_area[2] = 0.5;
  ms->lake_volume[1] = ms->prevlake_volume[1] = 100.0;
  ms->lake_volume[2] = ms->prevlake_volume[2] = 1e-4;
  ms->vol_lake_evap_total = 5.0;
  lake_evaporation(*ms, 3.0, 20.0, 40.0);
  EXPECT_NEAR(ms->lake_volume[1], 100.0 - 0.06665146778444661, 1e-12);
  EXPECT_NEAR(ms->cumulative_lake_evap[1], 0.06665146778444661, 1e-12);
  EXPECT_EQ(ms->lake_volume[2], 0.0) << "its hour would take 2.2e-4 m3";
  EXPECT_EQ(ms->cumulative_lake_evap[2], 1e-4);
  EXPECT_NEAR(ms->vol_lake_evap_total, 5.0 + 0.06665146778444661 + 1e-4, 1e-12);
  // The lake's level follows the water it lost.
  EXPECT_NEAR(ms->lake_elev[1], 100.5 - 0.06665146778444661 / 200.0, 1e-12);
  EXPECT_EQ(ms->prevlake_volume[1], ms->lake_volume[1]);
  // Calm or saturated air takes nothing.
  const double before = ms->lake_volume[1];
  lake_evaporation(*ms, 0.0, 20.0, 40.0);
  lake_evaporation(*ms, 3.0, 20.0, 100.0);
  EXPECT_EQ(ms->lake_volume[1], before);
}

TEST(LakeExtent, TwoLakesClaimingOneCellStopOnce) {
  auto ms = lake_grid({100.0, 100.2, 100.0}, {{1, 2}, {3, 2}}, {1, 1}, 100.5);
  ms->lake_volume[1] = ms->lake_volume[2] = 100.0;
  testing::internal::CaptureStdout();
  lake_extent_update(*ms);
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string line = "Your lake has potentially merged with another lake.....\n";
  EXPECT_NE(out.find(line), std::string::npos) << out;
  EXPECT_EQ(out.find(line), out.rfind(line));
  EXPECT_EQ(error_rec.stop, 1);
  error_rec = error_record{};
}

}  // namespace
}  // namespace kavro
