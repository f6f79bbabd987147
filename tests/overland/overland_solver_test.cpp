// The overland solvers on planes and boxes: water is conserved to round-off,
// the kinematic wave on a plane reaches the known equilibrium, results do not
// depend on the thread count, and the explicit step control behaves.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "overland/overland_flow.h"
#include "plane_support.h"

namespace kavro {
namespace {

using kavro_test::add_rain;
using kavro_test::make_plane;
using kavro_test::route_interval;
using kavro_test::surface_volume;

const char* scheme_name(int overtype) { return overtype == 1 ? "explicit" : overtype == 2 ? "ade" : "ade-pc"; }

// The kinematic plane: 20 x 1 cells of 10 m at slope 0.01, n 0.05, rain of
// 1e-5 m/s for 120 min, 150 min in 10 s steps. Equilibrium i*A = 0.02 m3/s.
class KinematicPlane : public ::testing::TestWithParam<int> {};

TEST_P(KinematicPlane, ReachesTheKinematicEquilibriumAndConserves) {
  const int overtype = GetParam();
  auto ms = make_plane(20, 1, 10.0, [](int r, int) { return 101.9 - 0.1 * (r - 1); }, 0.05, 20, 1, 0.01);
  ms->overtype = overtype;
  const double dt = 10.0;
  std::vector<double> q(1, 0.0);  // q[k]: outlet discharge after step k
  for (int k = 1; k <= 900; ++k) {
    if (k <= 720) add_rain(*ms, 1e-5, dt);
    route_interval(*ms, dt);
    ASSERT_EQ(error_rec.code, 0);
    q.push_back(std::round(ms->qout * 1e8) / 1e8);  // as the progress line prints it
    const double stored = surface_volume(*ms);
    ASSERT_NEAR(ms->vol_precip_total + ms->ov_cleanup_error_total, ms->vol_discharge_total + stored,
                1e-9 * std::max(ms->vol_precip_total, 1e-12))
        << scheme_name(overtype) << " step " << k;
  }
  auto mean = [&](int k) { return 0.5 * (q[k] + q[k - 1]); };
  auto at_min = [](double minutes) { return static_cast<int>(std::lround(minutes * 6.0)); };
  for (int k = at_min(80); k <= at_min(119); ++k) {
    EXPECT_NEAR(mean(k), 0.02, 0.02 * 1e-3) << scheme_name(overtype) << " step " << k;
    if (overtype != 3) {
      EXPECT_NEAR(q[k], 0.02, 0.02 * 1e-3) << scheme_name(overtype) << " step " << k;
    }
  }
  for (int k = 2; k <= at_min(119); ++k) {
    EXPECT_GE(mean(k), mean(k - 1) - 1e-15) << scheme_name(overtype) << " step " << k;
    EXPECT_LE(mean(k), 0.02002) << scheme_name(overtype) << " step " << k;
  }
  EXPECT_GT(mean(at_min(10)), 0.0035);
  EXPECT_LT(mean(at_min(10)), 0.0046);
  EXPECT_GT(mean(at_min(20)), 0.0115);
  EXPECT_LT(mean(at_min(20)), 0.0140);
  int first = 0;
  for (int k = 2; k < static_cast<int>(q.size()) && !first; ++k)
    if (mean(k) >= 0.0198) first = k;
  EXPECT_GE(first, at_min(26)) << scheme_name(overtype);
  EXPECT_LE(first, at_min(40)) << scheme_name(overtype);
  EXPECT_GT(mean(at_min(150)), 0.0022);
  EXPECT_LT(mean(at_min(150)), 0.0036);
}

INSTANTIATE_TEST_SUITE_P(Schemes, KinematicPlane, ::testing::Values(1, 2, 3));

// The closed box: 10 x 10 cells of 5 m on flat ground, a raised dry outlet
// cell, 0.10 m of water in columns 1-5 and 0.02 m in columns 6-10.
std::unique_ptr<main_state> make_box() {
  auto ms = make_plane(10, 10, 5.0, [](int r, int c) { return r == 1 && c == 1 ? 101.0 : 100.0; }, 0.03, 1, 1, 0.01);
  for (int r = 1; r <= 10; ++r)
    for (int c = 1; c <= 10; ++c) ms->ov_depth[ms->mask[r][c]] = r == 1 && c == 1 ? 0.0 : c <= 5 ? 0.10 : 0.02;
  return ms;
}

double columns_6_to_10(const main_state& ms) {
  double v = 0.0;
  for (int r = 1; r <= 10; ++r)
    for (int c = 6; c <= 10; ++c) v += ms.ov_depth[ms.mask[r][c]] * ms.dx * ms.dx;
  return v;
}

double surface_spread(const main_state& ms) {
  double lo = 1e30, hi = -1e30;
  for (long i = 2; i <= ms.n_cells; ++i) {
    lo = std::min(lo, ms.elevation[i] + ms.ov_depth[i]);
    hi = std::max(hi, ms.elevation[i] + ms.ov_depth[i]);
  }
  return hi - lo;
}

class ClosedBox : public ::testing::TestWithParam<int> {};

TEST_P(ClosedBox, KeepsItsWaterAndLevelsOut) {
  auto ms = make_box();
  ms->overtype = GetParam();
  const double start = surface_volume(*ms);
  ASSERT_NEAR(start, 147.5, 1e-9);
  EXPECT_NEAR(columns_6_to_10(*ms), 25.0, 1e-9);
  EXPECT_NEAR(surface_spread(*ms), 0.08, 1e-9);
  for (int k = 1; k <= 3600; ++k) {
    route_interval(*ms, 0.5);
    ASSERT_EQ(error_rec.code, 0);
    ASSERT_NEAR(surface_volume(*ms) - ms->ov_cleanup_error_total, 147.5, 147.5 * 1e-12) << "pass " << k;
    ASSERT_EQ(ms->qout, 0.0);
    ASSERT_EQ(ms->ov_depth[ms->outlet_cell], 0.0);
  }
  EXPECT_GT(columns_6_to_10(*ms), 72.0);
  EXPECT_LT(columns_6_to_10(*ms), 77.0);
  EXPECT_LT(surface_spread(*ms), 0.01);
}

INSTANTIATE_TEST_SUITE_P(Schemes, ClosedBox, ::testing::Values(1, 2, 3));

// A tilted plane of 60 x 40 cells routed with 1 and with 4 threads.
std::vector<double> tilted_run(int overtype, int threads, std::vector<double>& qout) {
  omp_set_num_threads(threads);
  auto ms = make_plane(60, 40, 10.0, [](int r, int c) { return 200.0 - 0.1 * r - 0.05 * c; }, 0.05, 60, 40, 0.01);
  ms->overtype = overtype;
  // Four minutes of rain (120 steps of 2 s): every face carries flow by then.
  for (int k = 1; k <= 120; ++k) {
    add_rain(*ms, 1e-5, 2.0);
    route_interval(*ms, 2.0);
    qout.push_back(ms->qout);
  }
  return std::vector<double>(ms->ov_depth.begin(), ms->ov_depth.end());
}

class ThreadCount : public ::testing::TestWithParam<int> {};

TEST_P(ThreadCount, GivesBitwiseEqualDepthsAndDischarges) {
  const int saved = omp_get_max_threads();
  std::vector<double> q1, q4;
  const auto h1 = tilted_run(GetParam(), 1, q1);
  const auto h4 = tilted_run(GetParam(), 4, q4);
  omp_set_num_threads(saved);
  ASSERT_EQ(h1.size(), h4.size());
  EXPECT_TRUE(h1 == h4) << scheme_name(GetParam());
  EXPECT_TRUE(q1 == q4) << scheme_name(GetParam());
  EXPECT_GT(*std::max_element(q1.begin(), q1.end()), 0.0);
}

INSTANTIATE_TEST_SUITE_P(Schemes, ThreadCount, ::testing::Values(1, 2, 3));

// The explicit solver on the box at 60 s steps: the console of each call.
std::vector<std::string> explicit_box_console(int quiet, int calls) {
  auto ms = make_box();
  ms->overtype = 1;
  ms->quiet_on = quiet;
  std::vector<std::string> out;
  for (int k = 1; k <= calls; ++k) {
    testing::internal::CaptureStdout();
    route_interval(*ms, 60.0);
    out.push_back(testing::internal::GetCapturedStdout());
  }
  return out;
}

bool has(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

TEST(ExplicitStepControl, ReducesByThirdsAndResetsOnTheFifthCall) {
  const auto calls = explicit_box_console(0, 16);
  const std::string& first = calls[0];
  const size_t at = first.find(" *Changing overland time step to ");
  ASSERT_NE(at, std::string::npos) << first;
  EXPECT_EQ(first.substr(at, 50), " *Changing overland time step to 20.00 seconds...\n");
  EXPECT_TRUE(has(first, " *Changing overland time step to 6.67 seconds...\n")) << first;
  EXPECT_FALSE(has(first, "Resetting")) << first;
  // The first call that starts on the full step again is the fifth after the
  // last call that reduced it.
  int reset = -1, last_reduction = -1;
  for (int k = 0; k < static_cast<int>(calls.size()) && reset < 0; ++k) {
    if (has(calls[k], "Resetting time step to 60.00 for overland flow...\n")) reset = k;
    else if (has(calls[k], " *Changing overland time step")) last_reduction = k;
  }
  ASSERT_GE(reset, 0);
  EXPECT_EQ(reset - last_reduction, 5);
  // Every run starts from fresh solver state: a second run prints the same.
  EXPECT_EQ(explicit_box_console(0, 16), calls);
  for (const auto& quiet : explicit_box_console(1, 16)) {
    EXPECT_FALSE(has(quiet, " *Changing overland time step"));
    EXPECT_FALSE(has(quiet, "Resetting time step"));
  }
}

}  // namespace
}  // namespace kavro
