// Storage units on one cell of 10 m (100 m2): how much they take and give
// back, and that every volume of a unit is booked.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "overland/bmp_units.h"
#include "overland/overland_steps.h"

namespace kavro {
namespace {

// One cell holding `depth` m of water with one unit of `area` m2.
std::unique_ptr<main_state> one_unit(double depth, double area, double max_depth_mm, int inflow_type,
                                     double inflow_coef) {
  auto ms = std::make_unique<main_state>();
  ms->n_cells = 1;
  ms->dx = 10.0;
  ms->ov_bmp_on = 1;
  for (dvec* v : {&ms->ov_depth, &ms->slope_x, &ms->slope_y, &ms->dist_rough}) v->allocate(1);
  ms->ov_depth[1] = depth;
  bmp_table_columns t;
  for (dvec* v : {&t.unit_type, &t.inflow_type, &t.outflow_type, &t.area, &t.max_depth_mm, &t.seepage_cm_h,
                  &t.inflow_coef, &t.outflow_coef, &t.underdrain_pct, &t.trap_efficiency})
    v->allocate(1);
  t.unit_type[1] = 1;
  t.inflow_type[1] = inflow_type;
  t.inflow_coef[1] = inflow_coef;
  t.outflow_type[1] = 1;
  t.outflow_coef[1] = 50.0;
  t.area[1] = area;
  t.max_depth_mm[1] = max_depth_mm;
  EXPECT_TRUE(build_bmp_units(*ms, t));
  return ms;
}

TEST(StorageUnit, TakesItsShareAndReleasesOnlyAboveItsDepth) {
  auto ms = one_unit(0.1, 20.0, 1000.0, 1, 50.0);  // 10 m3 on the cell, room for 20 m3
  const bmp_step_result r = bmp_unit_balance(*ms, 1, 60.0, 0.0);
  EXPECT_DOUBLE_EQ(r.inflow, 5.0);
  EXPECT_EQ(r.outflow, 0.0);
  EXPECT_DOUBLE_EQ(ms->ov_depth[1], 0.05);
  EXPECT_DOUBLE_EQ(ms->bmp_list->units[1].storage, 5.0);

  // A full unit (room for 2 m3) releases half of what it holds.
  ms = one_unit(0.1, 20.0, 100.0, 1, 50.0);
  const bmp_step_result full = bmp_unit_balance(*ms, 1, 60.0, 0.0);
  EXPECT_DOUBLE_EQ(full.outflow, 2.5);
  EXPECT_DOUBLE_EQ(ms->ov_depth[1], 0.1 - (5.0 - 2.5) / 100.0);
}

TEST(StorageUnit, EveryVolumeOfAStepIsBooked) {
  auto ms = one_unit(0.2, 30.0, 200.0, 1, 80.0);
  bmp_unit& u = ms->bmp_list->units[1];
  u.seepage_rate = 5.0;
  u.underdrain_coef = 0.3;
  ms->now = 2451970.0;
  ms->time_tol = 1e-7;
  ms->next_bmp_time = ms->now;
  ms->precip_period_start = ms->now - 600.0 / 86400.0;
  ms->bmp_interval_days = 600.0 / 86400.0;
  const double cell_before = ms->ov_depth[1] * 100.0;
  for (int step = 0; step < 3; ++step) {
    bmp_step(*ms);
    ms->now = ms->next_bmp_time;
    ms->precip_period_start = ms->last_bmp_time;
  }
  const bmp_record& b = *ms->bmp_list;
  // Cell and unit together lose only what seeped down or evaporated.
  const double held = ms->ov_depth[1] * 100.0 + u.storage + u.underdrain_store;
  EXPECT_NEAR(cell_before - held, b.total_vol_seep + b.total_vol_evap, 1e-12);
  EXPECT_NEAR(b.event_vol_from_ov - b.event_vol_to_ov, u.storage + u.vol_loss + u.vol_evap, 1e-12);
  EXPECT_GT(b.total_vol_seep, 0.0);
  EXPECT_EQ(b.bmp_active, 1);
}

TEST(StorageUnit, AUnitLargerThanItsCellIsRefused) {
  auto ms = std::make_unique<main_state>();
  ms->n_cells = 1;
  ms->dx = 10.0;
  bmp_table_columns t;
  t.unit_type.allocate(1);
  t.area.allocate(1);
  for (dvec* v : {&t.inflow_type, &t.outflow_type, &t.max_depth_mm, &t.seepage_cm_h, &t.inflow_coef,
                  &t.outflow_coef, &t.underdrain_pct, &t.trap_efficiency})
    v->allocate(1);
  t.unit_type[1] = 2;
  t.area[1] = 100.5;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(build_bmp_units(*ms, t));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("cell 1"), std::string::npos) << out;
  EXPECT_EQ(error_rec.code, already_printed_code);
  error_rec.code = 0;
}

TEST(StorageUnit, FlowLawsNeverMoveMoreThanIsThere) {
  struct law_case {
    int type;
    double coef, head, available, expected;
  } cases[] = {
      {1, 50.0, 0.0, 8.0, 4.0},
      {2, 0.01, 0.0, 8.0, 0.6},                                             // 0.01 m3/s for 60 s
      {3, 1.5, 0.3, 100.0, 1.5 * 0.2 * std::sqrt(9.81 * 0.2) * 60.0},       // weir on 2/3 of the head
      {4, 2.0, 0.1, 100.0, std::pow(0.05, 0.5) / 0.05 * std::pow(0.1, 5.0 / 3.0) * 2.0 * 60.0},
      {2, 1.0, 0.0, 8.0, 8.0},                                              // limited to the available volume
      {7, 1.0, 0.3, 8.0, 0.0},
      {1, 50.0, 0.0, 0.0, 0.0},
  };
  for (const auto& c : cases)
    EXPECT_NEAR(bmp_flow(c.type, c.coef, c.head, c.available, 60.0, 0.03, 0.04, 0.05), c.expected, 1e-12) << c.type;
  EXPECT_DOUBLE_EQ(bmp_evaporation_rate(20.0, 50.0, 2.0),
                   6.11 * std::exp(17.3 * 20.0 / (20.0 + 273.3)) * 0.5 * (2.0 * 0.001 * 86400.0 * 1.69e-4) / 8640000.0);
}

TEST(StorageUnit, CatchesTheRainOnItsArea) {
  auto ms = one_unit(0.0, 25.0, 1000.0, 1, 0.0);
  EXPECT_DOUBLE_EQ(bmp_rain_share(*ms, 1, 0.004), 0.003);
  EXPECT_DOUBLE_EQ(ms->bmp_list->units[1].storage, 0.1);
  EXPECT_DOUBLE_EQ(ms->bmp_list->event_vol_precip, 0.1);
}

}  // namespace
}  // namespace kavro
