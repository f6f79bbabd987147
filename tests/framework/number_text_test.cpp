// The number rule every input shares: one finite number per token, whole
// numbers integral and inside the range their use allows.
#include "framework/number_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

namespace kavro {
namespace {

TEST(NumberRule, ARealIsOneFiniteNumberAndNothingElse) {
  struct real_case {
    const char* token;
    number_fault fault;
    double value;  // when read
  };
  const real_case cases[] = {
      {"100.5", number_fault::none, 100.5},
      {"+2.5", number_fault::none, 2.5},
      {"-0.25", number_fault::none, -0.25},
      {".5", number_fault::none, 0.5},
      {"1e3", number_fault::none, 1000.0},
      {"1E-3", number_fault::none, 0.001},
      {"1e-400", number_fault::none, 0.0},  // below the smallest double: as near zero as can be said
      {" 7\r", number_fault::none, 7.0},    // a last line's carriage return belongs to no number
      {"1e308", number_fault::none, 1e308},
      {"", number_fault::missing, 0.0},
      {"  \t", number_fault::missing, 0.0},
      {"abc", number_fault::not_a_number, 0.0},
      {"12p", number_fault::not_a_number, 0.0},
      {"11O.5", number_fault::not_a_number, 0.0},
      {"100.5\xC3\xA9", number_fault::not_a_number, 0.0},
      {"1,5", number_fault::not_a_number, 0.0},
      {"0x10", number_fault::not_a_number, 0.0},
      {"+-1", number_fault::not_a_number, 0.0},
      {"++1", number_fault::not_a_number, 0.0},
      {"+", number_fault::not_a_number, 0.0},
      {"-", number_fault::not_a_number, 0.0},
      {"1 2", number_fault::not_a_number, 0.0},
      {"nan", number_fault::not_finite, 0.0},
      {"NaN", number_fault::not_finite, 0.0},
      {"-inf", number_fault::not_finite, 0.0},
      {"infinity", number_fault::not_finite, 0.0},
      {"1e309", number_fault::not_finite, 0.0},
      {"-1e999", number_fault::not_finite, 0.0},
  };
  for (const real_case& c : cases) {
    SCOPED_TRACE(printable(c.token));
    double v = -123.0;
    EXPECT_EQ(read_real(c.token, v), c.fault);
    if (c.fault == number_fault::none)
      EXPECT_EQ(v, c.value);
    else
      EXPECT_EQ(v, -123.0) << "a refused token leaves the value as it was";
  }
}

TEST(NumberRule, AWholeNumberIsIntegralAndInsideItsRange) {
  struct whole_case {
    const char* token;
    long long lo, hi;
    number_fault fault;
    long long value;
  };
  const whole_case cases[] = {
      {"12", 1, 100, number_fault::none, 12},
      {"+12", 1, 100, number_fault::none, 12},
      {"12.0", 1, 100, number_fault::none, 12},
      {"1e2", 1, 100, number_fault::none, 100},
      {"-0", 0, 5, number_fault::none, 0},
      // Digit strings beyond the 53 bits of a double are read exactly.
      {"9007199254740993", 0, LLONG_MAX, number_fault::none, 9007199254740993LL},
      {"2147483647", INT_MIN, INT_MAX, number_fault::none, INT_MAX},
      {"2147483648", INT_MIN, INT_MAX, number_fault::out_of_range, 0},
      {"99999999999", 1, INT_MAX, number_fault::out_of_range, 0},
      {"-1", 0, INT_MAX, number_fault::out_of_range, 0},
      {"0", 1, 1000000, number_fault::out_of_range, 0},
      {"1000001", 1, 1000000, number_fault::out_of_range, 0},
      {"1e308", LLONG_MIN, LLONG_MAX, number_fault::out_of_range, 0},
      {"9.3e18", LLONG_MIN, LLONG_MAX, number_fault::out_of_range, 0},
      {"2.5", 0, 10, number_fault::not_whole, 0},
      {"1e-3", 0, 10, number_fault::not_whole, 0},
      {"nan", 0, 10, number_fault::not_whole, 0},
      {"inf", 0, 10, number_fault::not_whole, 0},
      {"1e999", 0, 10, number_fault::not_whole, 0},
      {"3x", 0, 10, number_fault::not_a_number, 0},
      {"", 0, 10, number_fault::missing, 0},
  };
  for (const whole_case& c : cases) {
    SCOPED_TRACE(c.token);
    long long v = -7;
    EXPECT_EQ(read_whole(c.token, v, c.lo, c.hi), c.fault);
    EXPECT_EQ(v, c.fault == number_fault::none ? c.value : -7);
  }
  int i = -7;
  EXPECT_EQ(read_int("2147483648", i), number_fault::out_of_range) << "an int never wraps";
  EXPECT_EQ(read_int("-2147483648", i), number_fault::none);
  EXPECT_EQ(i, INT_MIN);
}

TEST(NumberRule, PoppingTakesOneTokenAndLeavesTheRestOfTheLine) {
  std::string line = "  12.5  7 9p";
  std::string token;
  double x = 0.0;
  int n = 0;
  EXPECT_EQ(pop_real(line, x, token), number_fault::none);
  EXPECT_EQ(x, 12.5);
  EXPECT_EQ(pop_whole(line, n, token, 0, 10), number_fault::none);
  EXPECT_EQ(n, 7);
  EXPECT_EQ(pop_whole(line, n, token, 0, 10), number_fault::not_a_number);
  EXPECT_EQ(token, "9p") << "the text is kept for the message";
  EXPECT_EQ(n, 7);
  const std::string before = line;
  EXPECT_EQ(pop_real(line, x, token), number_fault::missing);
  EXPECT_EQ(line, before);
  EXPECT_TRUE(token.empty());
}

TEST(NumberRule, MessagesSayWhatIsWrongAndCanAlwaysBePrinted) {
  EXPECT_EQ(number_fault_text(number_fault::not_a_number, "6h"), "the value \"6h\" is not a number");
  EXPECT_EQ(number_fault_text(number_fault::not_finite, "nan"), "the value nan is not a finite number");
  EXPECT_EQ(number_fault_text(number_fault::not_whole, "2.5"), "the value 2.5 is not a whole number");
  EXPECT_EQ(number_fault_text(number_fault::out_of_range, "99999999999", 1, 100000),
            "the whole number 99999999999 is beyond the range 1 to 100000");
  EXPECT_EQ(number_fault_text(number_fault::missing, ""), "a number is missing");
  EXPECT_EQ(number_fault_text(number_fault::none, "1"), "");
  EXPECT_EQ(number_fault_text(number_fault::not_a_number, std::string("1\x01\x1b\x7f", 4)),
            "the value \"1\\x01\\x1B\\x7F\" is not a number");
}

}  // namespace
}  // namespace kavro
