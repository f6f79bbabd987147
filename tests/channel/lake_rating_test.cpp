// The rating curve of a channel lake: interpolation between its points, and
// its ends where a value lies beyond them.
#include <gtest/gtest.h>

#include <string>

#include "channel/lake_rating.h"

namespace kavro {
namespace {

TEST(LakeRating, InterpolatesBetweenPointsAndHoldsItsEndsBeyondThem) {
  // Lake 2: (0, 0) then (10, 100) and (20, 300).
  dmat x{"x"}, y{"y"};
  x.allocate(2, 2);
  y.allocate(2, 2);
  x[2][1] = 10.0;
  y[2][1] = 100.0;
  x[2][2] = 20.0;
  y[2][2] = 300.0;
  ivec warned{"warned"};
  warned.allocate(2);
  struct point {
    double x, y;
  } inside[] = {{10.0, 100.0}, {20.0, 300.0}, {5.0, 50.0}, {15.0, 200.0}, {0.0, 0.0}};
  testing::internal::CaptureStdout();
  for (const auto& p : inside) EXPECT_DOUBLE_EQ(lake_rating_interp(2, p.x, 2, x, y, warned), p.y) << p.x;
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  testing::internal::CaptureStdout();
  EXPECT_EQ(lake_rating_interp(2, 25.0, 2, x, y, warned), 300.0);
  EXPECT_EQ(lake_rating_interp(2, 40.0, 2, x, y, warned), 300.0);
  EXPECT_EQ(lake_rating_interp(2, -1.0, 2, x, y, warned), 0.0);
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string message = "lake rating curve for lake [2].\n";
  EXPECT_NE(out.find(message), std::string::npos) << out;
  EXPECT_EQ(out.find(message), out.rfind(message)) << "one warning per lake";
}

}  // namespace
}  // namespace kavro
