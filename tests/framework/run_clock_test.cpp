// Julian dates and the calendar.
#include "framework/run_clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace kavro {
namespace {

TEST(Dates, KnownJulianDates) {
  struct known {
    int y, mo, d, h, mi;
    double s, jd;
  };
  const known cases[] = {
      {2000, 1, 1, 12, 0, 0.0, 2451545.0},   // the standard epoch, noon
      {2000, 1, 1, 0, 0, 0.0, 2451544.5},    // midnight is half a day earlier
      {1970, 1, 1, 0, 0, 0.0, 2440587.5},
      {2001, 3, 1, 0, 0, 0.0, 2451969.5},
      {1900, 3, 1, 0, 0, 0.0, 2415079.5},    // no 29 February in 1900
      {2100, 3, 1, 18, 0, 0.0, 2488129.25},  // nor in 2100
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(julian_date(c.y, c.mo, c.d, c.h, c.mi, c.s), c.jd) << c.y << "-" << c.mo << "-" << c.d;
  }
}

// A date field of a series file can hold any int: the extremes give finite
// dates (the sanitizer build traps an overflow here).
TEST(Dates, ExtremeFieldsGiveFiniteDates) {
  const int big = 2147483647, small = -2147483647 - 1;
  const int fields[][5] = {{2001, big, 1, 0, 0}, {2001, small, 1, 0, 0}, {big, 2, 1, 0, 0}, {small, 2, 1, 0, 0},
                           {small, 1, small, small, small}, {big, big, big, big, big}};
  for (const auto& f : fields)
    EXPECT_TRUE(std::isfinite(julian_date(f[0], f[1], f[2], f[3], f[4], 0.0))) << f[0] << " " << f[1];
  EXPECT_GT(julian_date(2001, 200, 1, 0, 0, 0.0), julian_date(2001, 12, 1, 0, 0, 0.0));
}

TEST(Dates, CalendarDateAddsTheHundredthOfASecond) {
  const calendar_instant noon = calendar_date(2451545.0);
  EXPECT_EQ(noon.year, 2000);
  EXPECT_EQ(noon.month, 1);
  EXPECT_EQ(noon.day, 1);
  EXPECT_EQ(noon.hour, 12);
  EXPECT_EQ(noon.minute, 0);
  EXPECT_NEAR(noon.seconds, 0.01, 1e-4);

  // 0.005 s before midnight already shows the next day.
  const calendar_instant late = calendar_date(julian_date(2000, 2, 28, 23, 59, 59.995));
  EXPECT_EQ(late.month, 2);
  EXPECT_EQ(late.day, 29);
  EXPECT_EQ(late.hour, 0);
  EXPECT_NEAR(late.seconds, 0.005, 1e-4);
}

TEST(Dates, RoundTripOfRandomInstantsIsWithinAHundredthOfASecond) {
  std::mt19937 rng(12345);
  std::uniform_real_distribution<double> when(julian_date(1950, 1, 1, 0, 0, 0), julian_date(2100, 1, 1, 0, 0, 0));
  for (int i = 0; i < 10000; ++i) {
    const double jd = when(rng);
    const calendar_instant c = calendar_date(jd);
    const double back = julian_date(c.year, c.month, c.day, c.hour, c.minute, c.seconds);
    ASSERT_NEAR((back - jd) * 86400.0, 0.01, 0.011) << "at " << jd;
  }
}

TEST(Dates, DayOfYearUsesTheGregorianLeapRule) {
  struct doy {
    int y, m, d, expected;
  };
  const doy cases[] = {{2000, 3, 1, 61}, {2001, 3, 1, 60}, {1900, 3, 1, 60}, {2100, 3, 1, 60},
                       {2004, 12, 31, 366}, {2001, 1, 15, 15}, {1996, 2, 29, 60}};
  for (const auto& c : cases) EXPECT_EQ(day_of_year(c.y, c.m, c.d), c.expected) << c.y << "-" << c.m << "-" << c.d;
}

}  // namespace
}  // namespace kavro
