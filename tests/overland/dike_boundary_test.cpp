// Embankment flow and boundary cells, case by case, and the refusals of
// overland input that would otherwise fail inside the time loop.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "input/time_series.h"
#include "overland/overland_flow.h"
#include "plane_support.h"
#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::make_plane;
using kavro_test::route_interval;
using kavro_test::surface_volume;

// Two cells of 10 m side by side with a low spot on the right side of the
// first, crest at 100.0 m, full cell width.
struct dike_case {
  const char* name;
  double level_near, level_far;  // water-surface levels (m)
  double ground;                 // ground of both cells (m)
  double dt;                     // step (s)
  bool flows;                    // water crosses and both cells are flagged
  double q;                      // expected weir flow (m3/s), when it flows
  double near_after;             // expected depth of the near cell after the step (m), < 0: not checked
};

class DikeFlow : public ::testing::TestWithParam<dike_case> {};

std::unique_ptr<main_state> two_cells(double ground) {
  auto ms = make_plane(1, 2, 10.0, [&](int, int) { return ground; }, 0.05, 1, 1, 0.01);
  ms->dike_on = ms->lowspot_on = 1;
  ms->n_low_spots = 1;
  ms->low_spots.allocate(1);
  ms->low_spots[1] = low_spot{1, 1, 2, 1.0, 100.0, 0.0};
  ms->low_spot_flow_cell.allocate(2);
  return ms;
}

TEST_P(DikeFlow, PassesWeirFlowOverTheCrest) {
  const dike_case& c = GetParam();
  auto ms = two_cells(c.ground);
  ms->ov_depth[1] = c.level_near - c.ground;
  ms->ov_depth[2] = c.level_far - c.ground;
  const double before = surface_volume(*ms);
  double into = 0.0, from = 0.0;
  dike_flow(*ms, c.dt, into, from);
  EXPECT_EQ(ms->low_spot_flow_cell[1], c.flows ? 1 : 0) << c.name;
  EXPECT_EQ(ms->low_spot_flow_cell[2], c.flows ? 1 : 0) << c.name;
  if (c.flows) {
    EXPECT_NEAR(ms->low_spots[1].flow, c.q, 1e-3) << c.name;
  } else {
    EXPECT_EQ(ms->ov_depth[1], c.level_near - c.ground) << c.name;
  }
  if (c.near_after >= 0.0) {
    EXPECT_NEAR(ms->ov_depth[1], c.near_after, 1e-12) << c.name;
  }
  EXPECT_NEAR(surface_volume(*ms), before, 1e-12) << c.name;
}

const double q02 = 1.48 * std::pow(0.2, 1.5) * 10.0;  // 1.324 m3/s

INSTANTIATE_TEST_SUITE_P(
    Cases, DikeFlow,
    ::testing::Values(dike_case{"half a millimetre apart", 100.2005, 100.2, 99.5, 1.0, false, 0.0, -1.0},
                      dike_case{"both below the crest", 99.9, 99.6, 99.5, 1.0, false, 0.0, -1.0},
                      dike_case{"0.2 and 0.1 above", 100.2, 100.1, 99.5, 1.0, true, q02, 0.7 - q02 / 100.0},
                      dike_case{"0.2 and 0.19 above", 100.2, 100.19, 99.5, 1.0, true,
                                q02 * dike_submergence(0.2, 0.19), -1.0},
                      dike_case{"far side higher", 100.1, 100.2, 99.5, 1.0, true, q02, 0.6 + q02 / 100.0},
                      dike_case{"0.02 above gives at most 0.02", 100.02, 99.97, 99.97, 1000.0, true,
                                1.48 * std::pow(0.02, 1.5) * 10.0, 0.03}),
    [](const auto& info) {
      std::string n = info.param.name;
      for (char& ch : n)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return n;
    });

TEST(DikeSubmergence, FollowsTheWeirCurve) {
  EXPECT_EQ(dike_submergence(0.2, 0.1), 1.0);
  EXPECT_NEAR(dike_submergence(0.2, 0.19), 0.782, 1e-3);
  EXPECT_EQ(dike_submergence(0.2, 0.2), 0.0);
}

TEST(DikeFlow, AFixedDepthCellGivesWithoutLosingDepth) {
  auto ms = two_cells(99.5);
  ms->ov_boundary_on = 1;
  ms->boundary_type.allocate(2);
  ms->boundary_type[1] = 2;
  ms->ov_depth[1] = 0.7;
  ms->ov_depth[2] = 0.6;
  double into = 0.0, from = 0.0;
  dike_flow(*ms, 1.0, into, from);
  EXPECT_EQ(ms->ov_depth[1], 0.7);
  EXPECT_NEAR(ms->ov_depth[2], 0.6 + q02 / 100.0, 1e-12);
  EXPECT_NEAR(from, q02 * 1.0, 1e-12);
  EXPECT_EQ(into, 0.0);
}

// Boundary cells on a 3 x 3 grid of 30 m cells.
std::unique_ptr<main_state> boundary_grid() {
  auto ms = make_plane(3, 3, 30.0, [](int, int) { return 100.0; }, 0.05, 3, 3, 0.01);
  ms->ov_boundary_on = 1;
  ms->boundary_type.allocate(9);
  ms->ov_boundary_value.allocate(9);
  return ms;
}

TEST(BoundaryCells, ADischargeBeyondTheWaterLeavesTheRestUnmet) {
  auto ms = boundary_grid();
  time_series& q = new_time_series();
  q.name = "withdrawal";
  q.times = {0.0, 5000.0};
  q.values = {-10.0, -10.0};  // cfs
  time_series_index.push_back({3, &q});
  ms->boundary_type[5] = 4;
  ms->ov_boundary_value[5] = 3;
  ms->ov_depth[5] = 0.001;
  check_ovl_boundary_series(*ms);
  route_interval(*ms, 60.0);
  free_time_series_list();
  EXPECT_EQ(ms->ov_depth[5], 0.0);
  EXPECT_NEAR(ms->vol_ov_q_bound_unmet_total, 10.0 * 0.0283168466 * 60.0 - 0.9, 1e-9);
  EXPECT_NEAR(ms->vol_ov_q_bound_unmet_total, 16.09, 0.005);
  EXPECT_NEAR(ms->vol_ov_q_bound_out_total, 0.9, 1e-12);
}

TEST(BoundaryCells, ACornerCellLosesTwiceTheOutflowOfAnEdgeCell) {
  auto ms = boundary_grid();
  ms->boundary_type[1] = ms->boundary_type[2] = 1;
  ms->ov_boundary_value[1] = ms->ov_boundary_value[2] = 0.01;
  ms->ov_depth[1] = ms->ov_depth[2] = 0.05;
  prepare_overland_arrays(*ms);
  ovl_boundary_values(*ms, ms->now);
  ovl_boundary_flows(*ms, 1.0);
  const double corner = 0.05 - ms->ov_depth[1], edge = 0.05 - ms->ov_depth[2];
  EXPECT_GT(edge, 0.0);
  EXPECT_NEAR(corner, 2.0 * edge, 1e-15);
  EXPECT_NEAR(ms->vol_ov_slope_bound_out_total, (corner + edge) * 900.0, 1e-12);
}

TEST(BoundaryCells, AStageBelowTheGroundGivesNoDepth) {
  auto ms = boundary_grid();
  time_series& stage = new_time_series();
  stage.name = "stage";
  stage.times = {0.0, 5000.0};
  stage.values = {99.0, 99.0};
  time_series_index.push_back({7, &stage});
  ms->boundary_type[5] = 3;
  ms->ov_boundary_value[5] = 7;
  ms->ov_depth[5] = 0.3;
  prepare_overland_arrays(*ms);
  check_ovl_boundary_series(*ms);
  EXPECT_EQ(error_rec.code, 0);
  ovl_boundary_values(*ms, ms->now);
  ovl_boundary_flows(*ms, 1.0);
  EXPECT_EQ(ms->ov_depth[5], 0.0);
  EXPECT_NEAR(ms->vol_ov_head_bound_out_total, 0.3 * 900.0, 1e-12);
  free_time_series_list();
}

TEST(BoundaryCells, ASeriesIndexThatBindsNothingStopsBeforeTheLoop) {
  auto ms = boundary_grid();
  ms->boundary_type[4] = 3;
  ms->ov_boundary_value[4] = 12;
  testing::internal::CaptureStdout();
  check_ovl_boundary_series(*ms);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(error_rec.code, already_printed_code);
  EXPECT_NE(out.find("overland boundary cell 4 (type 3) names time series index 12, which binds no time series."),
            std::string::npos)
      << out;
  error_rec.code = 0;
}

// A fixed-depth cell in a box keeps its depth through every routing, and the
// water it gives or takes is what the box gains or loses.
class FixedDepthCell : public ::testing::TestWithParam<int> {};

TEST_P(FixedDepthCell, KeepsItsDepthAndBooksItsWater) {
  auto ms = make_plane(5, 5, 10.0, [](int r, int c) { return 100.0 + 0.01 * (r + c); }, 0.05, 5, 5, 0.01);
  ms->overtype = GetParam();
  ms->channel_on = 1;  // no outlet drainage: the box is closed but for the boundary cell
  ms->ov_boundary_on = 1;
  ms->boundary_type.allocate(25);
  ms->ov_boundary_value.allocate(25);
  ms->boundary_type[13] = 2;
  ms->ov_boundary_value[13] = ms->elevation[13] + 0.05;  // the level the cell holds
  for (long i = 1; i <= 25; ++i) ms->ov_depth[i] = 0.02;
  ms->ov_depth[13] = 0.05;
  const double start = surface_volume(*ms);
  for (int k = 1; k <= 200; ++k) {
    route_interval(*ms, 1.0);
    ASSERT_EQ(error_rec.code, 0);
    if (ms->overtype != 1) {
      ASSERT_NEAR(ms->ov_depth[13], 0.05, 1e-12) << "call " << k;
    }
    const double net = ms->vol_ov_head_bound_in_total - ms->vol_ov_head_bound_out_total;
    ASSERT_NEAR(surface_volume(*ms) - ms->ov_cleanup_error_total, start + net, 1e-11) << "call " << k;
  }
  EXPECT_GT(ms->vol_ov_head_bound_in_total + ms->vol_ov_head_bound_out_total, 0.0);
}

INSTANTIATE_TEST_SUITE_P(Schemes, FixedDepthCell, ::testing::Values(1, 2, 3));

TEST(OverlandScheme, AnUnknownSchemeStopsBeforeTheGridIsRead) {
  kavro_test::scratch_dir dir;
  for (const char* name : {"mask.asc", "elevation.asc"})
    std::filesystem::copy_file(kavro_test::data_dir() / "run" / name, dir / name);
  kavro_test::write_file(dir / "p.prj", kavro_test::read_file(kavro_test::data_dir() / "run" / "p.prj") +
                                            "OVERTYPE          4\n");
  const auto r = kavro_test::run_program(kavro_test::kavro_binary(), {"p.prj"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("Error: OVERTYPE 4 is not an overland scheme. Use 1 (explicit), 2 (ade) or 3 (ade-pc).\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("number of grid cells"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace kavro
