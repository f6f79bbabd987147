// Overland lakes on a strip of 1 x 6 cells of 10 m (A = 100 m2): the lake of
// map cell 3 rises, takes in its neighbours, falls back and takes the rain
// that falls on it, with its volume always booked.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "overland/overland_lakes.h"
#include "overland/overland_steps.h"
#include "plane_support.h"

namespace kavro {
namespace {

constexpr double A = 100.0;

// Strip of six cells, ground elevations z, lake 1 on cell 3 at `level`.
std::unique_ptr<main_state> strip(const double (&z)[6], double level) {
  auto ms = std::make_unique<main_state>();
  ms->n_cells = 6;
  ms->dx = 10.0;
  for (dvec* v : {&ms->ov_depth, &ms->elevation, &ms->rain_rate}) v->allocate(6);
  for (ivec* v : {&ms->leftcon, &ms->rightcon, &ms->abovecon, &ms->belowcon, &ms->oland_lake_mask,
                  &ms->oland_lake_new, &ms->dike_mask})
    v->allocate(6);
  for (int c = 1; c <= 6; ++c) {
    ms->elevation[c] = z[c - 1];
    ms->leftcon[c] = c - 1;
    ms->rightcon[c] = c < 6 ? c + 1 : 0;
  }
  ms->overland_lake_on = 1;
  ms->n_olakes = 1;
  ms->olake_table.allocate(1);
  ms->oland_lake_mask[3] = ms->oland_lake_new[3] = 1;
  olake& lk = ms->olake_table[1];
  lk.level = lk.initial_level = level;
  lk.n_lake_cells = 1;
  lk.volume = (level - z[2]) * A;
  return ms;
}

// Water held by lake 1 by its level over its cells.
double volume_by_level(const main_state& ms) {
  double v = 0.0;
  for (int c = 1; c <= 6; ++c)
    if (ms.oland_lake_new[c] == 1) v += (ms.olake_table[1].level - ms.elevation[c]) * A;
  return v;
}

void inflow(main_state& ms, double g) {
  ms.olake_table[1].step_inflow = g;
  ms.olake_event_flag = 1;
  olake_step(ms);
  EXPECT_EQ(ms.olake_table[1].step_inflow, 0.0);
  EXPECT_EQ(ms.olake_event_flag, 0);
}

TEST(OverlandLake, NeverFallsBelowItsInitialLevelButBooksTheOutflow) {
  auto ms = strip({5, 5, 0, 5, 5, 5}, 1.0);
  inflow(*ms, -10.0);
  EXPECT_EQ(ms->olake_table[1].level, 1.0);
  EXPECT_DOUBLE_EQ(ms->olake_table[1].volume, 90.0);
  EXPECT_DOUBLE_EQ(ms->vol_from_ov_lakes_total, 10.0);
}

TEST(OverlandLake, RisesAloneThenTakesInTheNeighbourItReaches) {
  auto ms = strip({5, 5, 0, 1.25, 5, 5}, 1.0);
  ms->ov_depth[4] = 0.05;  // water surface of cell 4 at 1.3
  inflow(*ms, 20.0);
  const olake& lk = ms->olake_table[1];
  EXPECT_EQ(lk.level, 1.0 + 20.0 / A);
  EXPECT_EQ(lk.n_lake_cells, 1);
  inflow(*ms, 30.0);  // tentative level 1.5 passes cell 4's surface
  EXPECT_DOUBLE_EQ(lk.level, (1.3 + 1.0 * 1.5) / 2.0);
  EXPECT_EQ(ms->oland_lake_new[4], 1);
  EXPECT_EQ(lk.n_lake_cells, 2);
  EXPECT_EQ(ms->ov_depth[4], 0.0);
  EXPECT_NEAR(lk.volume, 100.0 + 20.0 + 30.0 + 5.0, 1e-12);
  EXPECT_NEAR(lk.volume, volume_by_level(*ms), 1e-9);
  EXPECT_NEAR(ms->vol_into_ov_lakes_total, 55.0, 1e-12) << "the inflow and the water of the cell it took in";
}

TEST(OverlandLake, NeighboursOfOneElevationJoinTogetherUnlessAnEmbankmentStandsBetween) {
  auto ms = strip({5, 1.1, 0, 1.10005, 5, 5}, 1.0);
  inflow(*ms, 100.0);
  EXPECT_EQ(ms->oland_lake_new[2], 1);
  EXPECT_EQ(ms->oland_lake_new[4], 1);
  EXPECT_EQ(ms->olake_table[1].n_lake_cells, 3);
  EXPECT_DOUBLE_EQ(ms->olake_table[1].level, 1.1 + (100.0 - 0.1 * A) / (3.0 * A));

  ms = strip({5, 1.1, 0, 1.10005, 5, 5}, 1.0);
  ms->dike_on = 1;
  ms->dike_mask[3] = 8;  // the left face of the lake cell
  inflow(*ms, 100.0);
  EXPECT_EQ(ms->oland_lake_new[2], 0);
  EXPECT_EQ(ms->oland_lake_new[4], 1);
  EXPECT_DOUBLE_EQ(ms->olake_table[1].level, (1.10005 + 2.0) / 2.0);
}

TEST(OverlandLake, FallsAndGivesUpTheCellsItTookIn) {
  // Only its map cell: the lake falls without stopping the run.
  auto ms = strip({5, 5, 0, 5, 5, 5}, 1.0);
  ms->olake_table[1].level = 2.0;
  ms->olake_table[1].volume = 200.0;
  inflow(*ms, -50.0);
  EXPECT_EQ(error_rec.code, 0);
  EXPECT_DOUBLE_EQ(ms->olake_table[1].level, 1.5);
  EXPECT_DOUBLE_EQ(ms->olake_table[1].volume, 150.0);
  EXPECT_DOUBLE_EQ(ms->vol_from_ov_lakes_total, 50.0);

  // With cell 4 taken in at 1.2 m, a fall to 1.0 m gives it up again.
  ms = strip({5, 5, 0, 1.2, 5, 5}, 1.0);
  olake& lk = ms->olake_table[1];
  ms->oland_lake_new[4] = 1;
  lk.n_lake_cells = 2;
  lk.level = 1.4;
  lk.volume = (1.4 + 0.2) * A;
  inflow(*ms, -60.0);
  EXPECT_EQ(ms->oland_lake_new[4], 0);
  EXPECT_EQ(lk.n_lake_cells, 1);
  EXPECT_NEAR(lk.level, 1.0, 1e-12);
  EXPECT_NEAR(lk.volume, volume_by_level(*ms), 1e-9);
}

TEST(OverlandLake, RainOnTheLakeRaisesTheLakeOnly) {
  auto ms = strip({5, 5, 0, 5, 5, 5}, 1.0);
  ms->time_tol = 1.1574074074074074e-07;
  ms->now = 2451970.0;
  ms->precip_period_start = ms->now - 60.0 / 86400.0;
  ms->precip_period_end = ms->now;
  ms->rain_event_state = 1;
  for (int c = 1; c <= 6; ++c) ms->rain_rate[c] = 36.0;  // 0.6 mm in the minute: 0.06 m3 per cell
  apply_precip_step(*ms);
  EXPECT_EQ(ms->ov_depth[3], 0.0);
  EXPECT_NEAR(ms->ov_depth[2], 0.0006, 1e-15);
  EXPECT_NEAR(ms->vol_precip, 0.36, 1e-12);
  EXPECT_EQ(ms->olake_event_flag, 1);
  olake_step(*ms);
  EXPECT_NEAR(ms->vol_into_ov_lakes_total, 0.06, 1e-12);
  EXPECT_NEAR(ms->olake_table[1].level, 1.0 + 0.06 / A, 1e-12);
  EXPECT_NEAR(ms->olake_table[1].volume, 100.06, 1e-12);
}

TEST(OverlandLake, Sort2OrdersByKeyThenCellAndDropsRepeats) {
  std::vector<std::pair<double, int>> e = {{2.0, 5}, {1.0, 4}, {2.0, 5}, {1.0, 2}, {3.0, 1}};
  sort2(e);
  const std::vector<std::pair<double, int>> want = {{1.0, 2}, {1.0, 4}, {2.0, 5}, {3.0, 1}};
  EXPECT_EQ(e, want);
}


// The channel-lake activity flag of the routing step tells of the step's own
// exchange with the cells: set by water that crossed, cleared by a step
// without any, and the crossed volume booked once.
TEST(ChannelLakeExchange, TheActivityFlagTellsOfThisStepOnly) {
  auto ms = kavro_test::make_plane(2, 2, 10.0, [](int, int) { return 100.0; }, 0.05, 2, 2, 0.01);
  ms->lakes_on = 1;
  ms->n_lakes = 1;
  ms->lake_in_dv.allocate(1);
  ms->lake_out_dv.allocate(1);
  ms->lake_overland_exchange_on = 1;  // left over from an earlier step
  kavro_test::route_interval(*ms, 10.0);
  EXPECT_EQ(ms->lake_overland_exchange_on, 0);
  ms->lake_in_dv[1] = 2.5;
  kavro_test::route_interval(*ms, 10.0);
  EXPECT_EQ(ms->lake_overland_exchange_on, 1);
  EXPECT_DOUBLE_EQ(ms->vol_overland_to_lake, 2.5);
  EXPECT_EQ(ms->lake_in_dv[1], 0.0);
  kavro_test::route_interval(*ms, 10.0);
  EXPECT_EQ(ms->lake_overland_exchange_on, 0);
  EXPECT_DOUBLE_EQ(ms->vol_overland_to_lake, 2.5);
}

}  // namespace
}  // namespace kavro
