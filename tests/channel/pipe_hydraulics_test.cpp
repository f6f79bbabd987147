// Pipe sections, critical and normal depths, and grate inlets against their
// closed forms: circle segments, Manning's and the critical-flow relation
// solved independently by bisection, and the grate formulas worked by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>

#include "channel/pipe_hydraulics.h"

namespace kavro {
namespace {

constexpr double pi = std::numbers::pi;

// Root of an increasing f on [lo, hi] by bisection.
double bisect(const std::function<double(double)>& f, double lo, double hi) {
  for (int i = 0; i < 200; ++i) {
    const double m = 0.5 * (lo + hi);
    (f(m) < 0 ? lo : hi) = m;
  }
  return 0.5 * (lo + hi);
}

double circle_area(double d, double y) {
  const double r = d / 2, th = std::acos((r - y) / r);
  return r * r * th - (r - y) * r * std::sin(th);
}

TEST(PipeSections, AreaTopWidthAndPerimeterOfCircleArchAndBox) {
  struct row {
    const char* label;
    int type;
    double size, width, depth, area, top, perimeter;
  } rows[] = {
      {"circle half full", pipe_circle, 1.0, 0.0, 0.5, pi / 8, 1.0, pi / 2},
      {"circle full", pipe_circle, 0.5, 0.0, 0.7, pi * 0.0625, 0.0, pi * 0.5},
      {"circle above the invert by a quarter", pipe_circle, 2.0, 0.0, 0.5, circle_area(2.0, 0.5), 2 * std::sqrt(0.75),
       2.0 * std::acos(0.5)},
      {"box part full", pipe_box, 1.0, 2.0, 0.4, 0.8, 2.0, 2.8},
      {"box full", pipe_box, 1.0, 2.0, 1.5, 2.0, 0.0, 6.0},
      {"box below its invert", pipe_box, 1.0, 2.0, -0.1, 0.0, 2.0, 2.0},
      {"circle below its invert", pipe_circle, 1.0, 0.0, -0.1, 0.0, 0.0, 0.0},
      // At or above the rise an arch is full: x = 1 in all three polynomials.
      {"arch full", pipe_arch, 1.0, 2.0, 1.3, (0.450552317 + 0.850625935 - 0.0265118802 - 0.48046422) * 2.0,
       (3.13077957 + 0.656758295 - 9.66782176 + 11.9256017 - 5.88560436) * 2.0,
       (0.450552317 + 0.850625935 - 0.0265118802 - 0.48046422) * 2.0 /
           (1.1666329 - 0.0382820242 - 1.32389992 + 1.04200851 - 0.526837711)},
      {"arch dry", pipe_arch, 1.0, 2.0, 0.0, 0.0, 0.0, 0.0},
  };
  for (const row& r : rows) {
    const pipe_section s = superlink_pipe_geometry(r.size, r.depth, r.width, r.type);
    EXPECT_NEAR(s.area, r.area, 1e-12) << r.label;
    EXPECT_NEAR(s.top_width, r.top, 1e-12) << r.label;
    EXPECT_NEAR(s.perimeter, r.perimeter, 1e-12) << r.label;
  }
  EXPECT_NEAR(superlink_pipe_geometry(1.0, 0.5, 0.0, pipe_circle).area, 0.3926991, 1e-7);
  EXPECT_NEAR(superlink_flow_area(pipe_circle, 1.0, 0.0, 0.5), pi / 8, 1e-12);
  EXPECT_NEAR(superlink_flow_area(pipe_box, 1.0, 2.0, 0.4), 0.8, 1e-12);
}

TEST(PipeSections, CriticalAndNormalDepthsSolveTheirRelations) {
  // Box: closed form; circle: A^3/T = Q^2/g by bisection.
  EXPECT_NEAR(superlink_crit_calc(pipe_box, 1.0, 1.0, 2.0).depth, 0.741533, 1e-6);
  const double yc = superlink_crit_calc(pipe_circle, 0.5, 0.0, 0.1).depth;
  EXPECT_NEAR(yc, 0.212670, 1e-6);
  const double yc_ref = bisect(
      [](double y) {
        const double a = circle_area(0.5, y), t = 2 * std::sqrt(y * (0.5 - y));
        return a * a * a / t - 0.01 / 9.81;
      },
      1e-9, 0.5 - 1e-12);
  EXPECT_NEAR(yc, yc_ref, 1e-10);
  EXPECT_NEAR(superlink_crit_calc(pipe_circle, 0.3, 0.0, 0.01).depth, 0.075068, 1e-6);

  struct row {
    const char* label;
    int type;
    double size, width, n, q, slope, depth, tol;
  } rows[] = {
      {"circle", pipe_circle, 0.5, 0.0, 0.013, 0.1, 0.01, 0.175668, 1e-6},
      {"circle of the whole-run check", pipe_circle, 0.3, 0.0, 0.013, 0.01, 0.01, 0.065152, 1e-6},
      {"box", pipe_box, 1.0, 2.0, 0.015, 1.0, 0.001, 0.495379, 1e-6},
      {"slope 0: the pipe fills", pipe_circle, 0.5, 0.0, 0.013, 0.1, 0.0, 0.5, 0.0},
      {"box on slope 0", pipe_box, 1.0, 2.0, 0.015, 1.0, 0.0, 1.0, 0.0},
      {"more than the pipe carries", pipe_circle, 0.3, 0.0, 0.013, 1.0, 0.01, 0.3, 0.0},
      {"a negative slope counts by its size", pipe_circle, 0.5, 0.0, 0.013, 0.1, -0.01, 0.175668, 1e-6},
  };
  for (const row& r : rows) {
    const pipe_depth yn = superlink_norm_calc(r.type, r.size, r.width, r.n, r.q, r.slope);
    ASSERT_TRUE(yn.ok) << r.label;
    EXPECT_NEAR(yn.depth, r.depth, r.tol) << r.label;
    if (r.depth < r.size && r.type == pipe_circle) {
      // Manning's law holds at the depth found.
      const double a = circle_area(r.size, yn.depth);
      const double p = r.size * std::acos((r.size / 2 - yn.depth) / (r.size / 2));
      EXPECT_NEAR(a * std::pow(a / p, 2.0 / 3.0) * std::sqrt(std::fabs(r.slope)) / r.n, r.q, 1e-10 * r.q) << r.label;
    }
  }
  // Arches have neither depth.
  EXPECT_FALSE(superlink_crit_calc(pipe_arch, 1.0, 1.0, 0.5).ok);
  EXPECT_FALSE(superlink_norm_calc(pipe_arch, 1.0, 1.0, 0.013, 0.5, 0.01).ok);
}

TEST(GrateInlets, WeirOrificeAndTheSmallerBetweenTakenFromTheCell) {
  struct row {
    const char* label;
    double depth, side, dia, flow;
  } rows[] = {
      {"weir at 0.05 m", 0.05, 0.6, 0.5, 0.0333140},
      {"orifice, the smaller, at 0.2 m", 0.2, 0.6, 0.5, 0.260523},
      {"weir, the smaller, at 0.12 m", 0.12, 0.6, 0.1, 0.123864},
      {"orifice, the smaller, at 0.31 m", 0.31, 0.05, 0.5, 0.324349},
  };
  for (const row& r : rows) {
    dvec depth;
    depth.allocate(1);
    depth[1] = r.depth;
    double v = 0;
    const double q = inlet_exchange(1, 0, 0.0, 10.0, 1.0, 1.0, depth, 1, 1e6, r.side, r.dia, v);
    EXPECT_NEAR(q, r.flow, 5e-7) << r.label;
    EXPECT_DOUBLE_EQ(v, q) << r.label;
    EXPECT_NEAR(depth[1], r.depth - q / 1e6, 1e-15) << r.label;
  }
  // 0.4 ft is still weir flow, 1.0 ft orifice flow.
  for (double ft : {0.4, 1.0}) {
    dvec depth;
    depth.allocate(1);
    depth[1] = ft / 3.28;
    double v = 0;
    const double q = inlet_exchange(1, 0, 0, 10, 1, 1, depth, 1, 1e6, 0.6, 0.5, v);
    const double weir = 3.0 * 3 * 0.6 * 3.28 * std::pow(ft, 1.5) * 0.02832;
    const double orifice = 0.67 * 0.25 * 0.785 * 10.764 * std::sqrt(64.4 * ft) * 0.02832;
    EXPECT_NEAR(q, ft == 0.4 ? weir : orifice, 1e-12) << ft;
  }
}

TEST(GrateInlets, InletTypesLimitsAndSurcharge) {
  dvec depth;
  depth.allocate(1);
  double v = 0;
  // Three grates at 0.05 m on 100 m2 for 10 s.
  depth[1] = 0.05;
  double q = inlet_exchange(3, 0, 0, 10, 1, 10.0, depth, 1, 100.0, 0.6, 0.5, v);
  EXPECT_NEAR(q, 3 * 0.0333140, 2e-6);
  EXPECT_NEAR(depth[1], 0.0400058, 1e-7);
  EXPECT_NEAR(v, 100.0 * (0.05 - depth[1]), 1e-12);
  // Nine grates at 0.01 m on 4 m2 for 60 s take all 0.04 m3.
  depth[1] = 0.01;
  q = inlet_exchange(9, 0, 0, 10, 1, 60.0, depth, 1, 4.0, 0.6, 0.5, v);
  EXPECT_EQ(depth[1], 0.0);
  EXPECT_NEAR(v, 0.04, 1e-15);
  EXPECT_NEAR(q, 0.04 / 60.0, 1e-15);
  // Two grates surcharged 0.5 m with release on: -(0.5 x 1.5 / 10) x 2.
  depth[1] = 0.3;
  q = inlet_exchange(2, 1, 100.5, 100.0, 1.5, 10.0, depth, 1, 100.0, 0.6, 0.5, v);
  EXPECT_NEAR(q, -0.15, 1e-12);
  EXPECT_NEAR(v, -1.5, 1e-12);
  EXPECT_EQ(depth[1], 0.3);  // the caller adds the release
  // Without release the surcharged grate still takes water.
  q = inlet_exchange(2, 0, 100.5, 100.0, 1.5, 10.0, depth, 1, 100.0, 0.6, 0.5, v);
  EXPECT_GT(q, 0.0);
  // Type 10 empties the cell whatever the head.
  depth[1] = 0.3;
  q = inlet_exchange(10, 1, 200.0, 100.0, 1.5, 10.0, depth, 1, 100.0, 0.6, 0.5, v);
  EXPECT_EQ(depth[1], 0.0);
  EXPECT_NEAR(v, 30.0, 1e-12);
  EXPECT_NEAR(q, 3.0, 1e-12);
  // Types 0 and 11 do nothing; a dry cell gives nothing.
  for (int type : {0, 11, 888}) {
    depth[1] = 0.3;
    EXPECT_EQ(inlet_exchange(type, 1, 200.0, 100.0, 1.5, 10.0, depth, 1, 100.0, 0.6, 0.5, v), 0.0) << type;
    EXPECT_EQ(v, 0.0);
    EXPECT_EQ(depth[1], 0.3);
  }
  depth[1] = 1e-17;
  EXPECT_EQ(inlet_exchange(1, 0, 0, 10, 1, 10.0, depth, 1, 100.0, 0.6, 0.5, v), 0.0);
}

}  // namespace
}  // namespace kavro
