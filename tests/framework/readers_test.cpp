// Line and token readers: line ends, quoted tokens, numbers and keywords.
#include "framework/readers.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>
#include <vector>

#include "framework/file_wrapper.h"
#include "framework/replace_pairs.h"
#include "test_support.h"

namespace kavro {
namespace {

TEST(ReadLine, LineEndsAreRemovedAndEndOfFileKeepsTheLastLine) {
  replace_on = 0;
  file_wrapper f;
  ASSERT_TRUE(f.open((kavro_test::data_dir() / "services" / "line_ends.txt").string(), "r"));
  const std::vector<std::string> expected = {"abc", "x", "", "  tab\tand blank ", "last"};
  std::string line = "old";
  for (const std::string& want : expected) {
    ASSERT_EQ(read_line(line, f), 1);
    EXPECT_EQ(line, want);
  }
  EXPECT_EQ(read_line(line, f), 0);
  EXPECT_EQ(line, "last");
}

TEST(ReadLine, VeryLongLinesAreReadWhole) {
  kavro_test::scratch_dir dir;
  const std::string row(60000, '7');
  kavro_test::write_file(dir / "long.txt", row + "\r\nnext\n");
  file_wrapper f;
  ASSERT_TRUE(f.open((dir / "long.txt").string(), "r"));
  std::string line;
  ASSERT_EQ(read_line(line, f), 1);
  EXPECT_EQ(line, row);
  ASSERT_EQ(read_line(line, f), 1);
  EXPECT_EQ(line, "next");
  file_wrapper closed;
  EXPECT_EQ(read_line(line, closed), 0);
}

struct token_case {
  const char* line;
  std::vector<int> results;         // result of each call, the last one 0
  std::vector<std::string> tokens;  // token of each call
  const char* rest;                 // the line after the last call
};

void PrintTo(const token_case& c, std::ostream* os) {
  *os << '[';
  for (const char* p = c.line; *p; ++p)
    *os << (*p == '\t' ? "\\t" : *p == '\n' ? "\\n" : *p == '\r' ? "\\r" : std::string(1, *p));
  *os << ']';
}

class PopToken : public ::testing::TestWithParam<token_case> {};

TEST_P(PopToken, TakesTokensOffTheFront) {
  const token_case& c = GetParam();
  std::string line = c.line;
  std::string token;
  for (std::size_t i = 0; i < c.results.size(); ++i) {
    SCOPED_TRACE("call " + std::to_string(i));
    EXPECT_EQ(pop_token(line, token), c.results[i]);
    EXPECT_EQ(token, c.tokens[i]);
  }
  EXPECT_EQ(line, c.rest);
}

// The cursor gives the same tokens and results without shortening the line.
TEST_P(PopToken, CursorAgrees) {
  const token_case& c = GetParam();
  const std::string line = c.line;
  token_cursor cursor(line);
  std::string token;
  for (std::size_t i = 0; i < c.results.size(); ++i) {
    SCOPED_TRACE("call " + std::to_string(i));
    EXPECT_EQ(cursor.next_token(token), c.results[i]);
    EXPECT_EQ(token, c.tokens[i]);
  }
  EXPECT_EQ(line, c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, PopToken,
    ::testing::Values(
        token_case{"  NAME,12  \"two words\" x", {1, 1, 1, 1, 0}, {"NAME", "12", "two words", "x", ""}, ""},
        token_case{"\"\" next", {0, 1, 0}, {"", "next", ""}, ""},
        token_case{" ,\t\n, ", {0}, {""}, " ,\t\n, "},
        token_case{"\"a,b\tc\"d e", {1, 1, 1, 0}, {"a,b\tc", "d", "e", ""}, ""},
        token_case{"ab\"cd ef", {1, 1, 0}, {"ab\"cd", "ef", ""}, ""},
        token_case{"\"runs to the end, unclosed", {1, 0}, {"runs to the end, unclosed", ""}, ""},
        token_case{"word\r", {1, 0}, {"word\r", ""}, ""}, token_case{"a \"", {1, 0}, {"a", ""}, " "}),
    [](const ::testing::TestParamInfo<token_case>& info) { return "line" + std::to_string(info.index); });

TEST(PopNumber, ConvertsLikeScanf) {
  struct number_case {
    const char* line;
    int result;
    double value;   // pop_double
    int int_value;  // pop_int
    const char* rest;
  };
  const number_case cases[] = {
      {"word 5", 1, 0.0, 0, "5"},
      {"7.9, 8", 1, 7.9, 7, "8"},
      {"12abc", 1, 12.0, 12, ""},
      {"\"5\" 6", 1, 0.0, 0, "6"},
      {"-3.5e2\t", 1, -350.0, -3, ""},
      {"99999999999", 1, 99999999999.0, INT_MAX, ""},
      {"-99999999999", 1, -99999999999.0, INT_MIN, ""},
      {" , ", 0, 0.0, 0, " , "},
      {"\r, 4", 0, 0.0, 0, "\r, 4"},
  };
  for (const number_case& c : cases) {
    SCOPED_TRACE(c.line);
    std::string line = c.line;
    double d = -1.0;
    EXPECT_EQ(pop_double(line, d), c.result);
    EXPECT_EQ(d, c.value);
    EXPECT_EQ(line, c.rest);
    line = c.line;
    int i = -1;
    EXPECT_EQ(pop_int(line, i), c.result);
    EXPECT_EQ(i, c.int_value);
    EXPECT_EQ(line, c.rest);
    token_cursor cursor(c.line);
    EXPECT_EQ(cursor.next_double(d), c.result);
    EXPECT_EQ(d, c.value);
    EXPECT_EQ(cursor.rest(), c.rest);
  }
}

TEST(TokenCursor, ReadsARowOfValuesInOrder) {
  std::string row;
  for (int i = 1; i <= 5000; ++i) row += std::to_string(i) + (i % 2 ? " " : ",\t");
  token_cursor cursor(row);
  int value = 0;
  long sum = 0;
  int count = 0;
  while (cursor.next_int(value)) {
    sum += value;
    ++count;
  }
  EXPECT_EQ(count, 5000);
  EXPECT_EQ(sum, 5000L * 5001 / 2);
  EXPECT_EQ(value, 0);
}

TEST(SameKeyword, IgnoresCaseAndComparesWholeFirstWords) {
  struct keyword_case {
    const char* a;
    const char* b;
    bool same;
  };
  const keyword_case cases[] = {
      {"Units of the grid", "UNITS", true},
      {"units_x", "units", false},
      {"", "", true},
      {"unit", "units", false},
      {"  \"Units\" x", "units", true},
      {"units,5", "UNITS", true},
      {"", "units", false},
      {"ÄB", "äb", false},
  };
  for (const keyword_case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " | " + c.b);
    EXPECT_EQ(same_keyword(c.a, c.b), c.same);
    EXPECT_EQ(same_keyword(c.b, c.a), c.same);
  }
}

TEST(TextHelpers, QuotesLeadingCharsAndSecondWord) {
  struct quote_case {
    const char* in;
    const char* out;
  };
  for (const quote_case& c : {quote_case{"\"", ""}, quote_case{"\"a b", "a b"}, quote_case{"a\"", "a"},
                              quote_case{"\"x\"", "x"}, quote_case{"", ""}, quote_case{"\"\"\"", "\""}}) {
    std::string text = c.in;
    strip_quotes(text);
    EXPECT_EQ(text, c.out) << c.in;
  }

  struct remove_case {
    const char* in;
    long n;
    int result;
    const char* out;
  };
  for (const remove_case& c :
       {remove_case{"abcd", 2, 0, "cd"}, remove_case{"abcd", 4, 0, ""}, remove_case{"abcd", 0, 0, ""},
        remove_case{"abcd", 5, 0, ""}, remove_case{"abcd", -1, 0, ""}, remove_case{"", 1, -1, ""}}) {
    std::string text = c.in;
    EXPECT_EQ(remove_leading_chars(text, c.n), c.result) << c.in << " " << c.n;
    EXPECT_EQ(text, c.out) << c.in << " " << c.n;
  }

  struct word_case {
    const char* in;
    const char* out;
  };
  for (const word_case& c :
       {word_case{"NUM_IDS 12 x", "12 x"}, word_case{"  a\t\tb", "b"}, word_case{"one,two", "o"},
        word_case{"single", "e"}, word_case{"", ""}, word_case{"tail  ", " "}}) {
    EXPECT_EQ(second_word(c.in), c.out) << c.in;
  }
}

TEST(PrintMessage, HonoursSuperQuiet) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  super_quiet = 0;
  EXPECT_EQ(print_message("%d", 5), 1);
  super_quiet = 1;
  EXPECT_EQ(print_message("%d", 6), 0);
  super_quiet = 0;
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "5");
}

TEST(FormatString, HasNoLengthLimit) {
  const std::string long_text(70000, 'q');
  EXPECT_EQ(format_string("<%s|%05d>", long_text.c_str(), 42), "<" + long_text + "|00042>");
  EXPECT_EQ(format_string("%s", ""), "");
}

}  // namespace
}  // namespace kavro
