// The overland solvers on small grids built in memory, where a hand
// calculation says what a step must do: the explicit scheme's split check
// on the cell that gives the water, and its last sub-step ending at the
// step's end.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "framework/main_state.h"
#include "overland/overland_flow.h"
#include "plane_support.h"

namespace kavro {
namespace {

using kavro_test::make_plane;
using kavro_test::surface_volume;

// A row of cells of 10 m with Manning n 0.01 and a closed outlet (outlet
// slope 0): water only moves between the cells.
struct split_case {
  const char* name;
  std::vector<double> ground;  // west to east (m)
  std::vector<double> depth;   // (m)
  long donor;                  // the cell whose outflow the check limits
  double dt;                   // step (s)
};

void PrintTo(const split_case& c, std::ostream* os) { *os << c.name; }

class ExplicitSplitCheck : public ::testing::TestWithParam<split_case> {};

// The donor cannot give more than it holds: its faces together would take
// it below the tolerance, so the step is cut to a third and the water stays
// on the cells without any clipping.
TEST_P(ExplicitSplitCheck, CutsTheStepWhenTheDonorWouldRunDry) {
  const split_case& c = GetParam();
  const int cols = static_cast<int>(c.ground.size());
  auto ms = make_plane(
      1, cols, 10.0, [&](int, int col) { return c.ground[col - 1]; }, 0.01, 1, cols, 0.0);
  for (int k = 1; k <= cols; ++k) ms->ov_depth[k] = c.depth[k - 1];
  const double before = surface_volume(*ms);
  testing::internal::CaptureStdout();
  ov_route_explicit(*ms, c.dt);
  const std::string console = testing::internal::GetCapturedStdout();
  EXPECT_NE(console.find("need to split"), std::string::npos) << console;
  EXPECT_NE(console.find("Changing overland time step to"), std::string::npos) << console;
  EXPECT_EQ(ms->explicit_reduced_calls, 4);
  EXPECT_NEAR(ms->explicit_reduced_step, c.dt / 3.0, 1e-12);
  for (int k = 1; k <= cols; ++k) EXPECT_GE(ms->ov_depth[k], 0.0) << "cell " << k;
  EXPECT_LT(ms->ov_depth[c.donor], c.depth[c.donor - 1]) << "the donor gave water";
  EXPECT_EQ(ms->ov_cleanup_error_total, 0.0);
  EXPECT_NEAR(surface_volume(*ms), before, 1e-12 * before);
}

// One face, flow toward the shallow western cell i from the deep eastern
// cell j 0.5 m up: q = sqrt(0.052) / 0.01 x 0.02^(5/3) = 0.0335 m2/s moves
// 0.0335 m out of j's 0.02 m in 10 s (the face's celerity number 0.034 is
// below 0.06). A ridge cell draining to both sides through two faces, each
// taking 60 % of its water in 3.6 s: neither face alone empties it.
INSTANTIATE_TEST_SUITE_P(
    Donors, ExplicitSplitCheck,
    ::testing::Values(split_case{"deep_neighbour_feeds_shallow_cell", {100.0, 100.5}, {0.001, 0.02}, 2, 10.0},
                      split_case{
                          "ridge_drains_through_two_faces", {100.0, 100.5, 100.0}, {0.0, 0.02, 0.0}, 2, 3.6}),
    [](const auto& info) { return std::string(info.param.name); });

// The same ridge on a step short enough for its two faces together: no cut.
TEST(ExplicitSplitCheck, LeavesAStepThatTheDonorCanFeed) {
  auto ms = make_plane(
      1, 3, 10.0, [](int, int col) { return col == 2 ? 100.5 : 100.0; }, 0.01, 1, 3, 0.0);
  ms->ov_depth[2] = 0.02;
  testing::internal::CaptureStdout();
  ov_route_explicit(*ms, 2.5);
  const std::string console = testing::internal::GetCapturedStdout();
  EXPECT_EQ(console, "");
  EXPECT_EQ(ms->explicit_reduced_calls, 0);
  EXPECT_GT(ms->ov_depth[1], 0.0);
  EXPECT_NEAR(ms->ov_depth[1], ms->ov_depth[3], 1e-15);
  EXPECT_NEAR(surface_volume(*ms), 2.0, 1e-12);
}

// A reduced sub-step of 3 s carried from an earlier call into a 10 s step:
// sub-steps of 3, 3, 3 and 1 s move water for exactly 10 s. A 1 m pond
// beside a dry cell on level ground with n 20 sends about q0 = sqrt(0.1) /
// 20 = 0.0158 m2/s through their face, falling by some 4 % over the step as
// the pond drops and the dry cell fills: 12 s of flow would move some 16 %
// more, 9 s some 12 % less.
TEST(ExplicitSubSteps, TheLastSubStepEndsAtTheStep) {
  auto ms = make_plane(
      1, 2, 10.0, [](int, int) { return 100.0; }, 20.0, 1, 2, 0.0);
  ms->ov_depth[1] = 1.0;
  ms->explicit_reduced_step = 3.0;
  ms->explicit_reduced_calls = 1;
  ov_route_explicit(*ms, 10.0);
  const double q0 = std::sqrt(0.1) / 20.0;
  const double moved = ms->ov_depth[2] * 10.0 * 10.0;
  EXPECT_LT(moved, q0 * 10.0 * 10.0);
  EXPECT_GT(moved, 0.95 * q0 * 10.0 * 10.0);
  EXPECT_NEAR(ms->ov_depth[1] + ms->ov_depth[2], 1.0, 1e-15);
  EXPECT_EQ(ms->explicit_reduced_calls, 0);
}

}  // namespace
}  // namespace kavro
