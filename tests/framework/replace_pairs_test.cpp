// Replacement pairs: loading the list and the values, substituting keys in
// lines as they are read, the run-log report and refused formats.
#include "framework/replace_pairs.h"

#include <gtest/gtest.h>

#include <string>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/readers.h"
#include "test_support.h"

namespace kavro {
namespace {

std::string fixture(const std::string& name) {
  return (kavro_test::data_dir() / "services" / "replace" / name).string();
}

class ReplacePairs : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    free_replace_pairs();
    replace_on = 0;
    replace_line = 0;
    replace_count = 0;
    error_rec = error_record{};
    project_folder.clear();
    output_folder.clear();
  }
  static void add_pair(const char* key, const char* format, int type, const char* text_value) {
    replace_pair p;
    p.key = key;
    p.format = format;
    p.value_type = type;
    p.string_value = text_value;
    replace_list.push_back(p);
    replace_on = 1;
  }
  // Applies the pairs to `line`; what was printed.
  static std::string apply(std::string& line) {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    apply_replace_pairs(line);
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
  }
  // Loads the fixture list and the values of `line_index`.
  static void load(int line_index) {
    ASSERT_EQ(read_replace_params(fixture("params.txt")), 0);
    replace_line = line_index;
    ASSERT_EQ(read_replace_values(fixture("values.txt")), 0);
  }

  struct report_output {
    std::string console;
    std::string log;
  };
  // The value and usage reports of the run log, written in `tool_mode`.
  report_output report(int tool_mode) {
    const std::string path = (dir_ / "run.log").string();
    file_wrapper log;
    EXPECT_TRUE(log.open(path, "w"));
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    print_replace_values(log, tool_mode);
    print_replace_usage(log, tool_mode);
    report_output out{testing::internal::GetCapturedStdout(), ""};
    log.close();
    out.log = kavro_test::read_file(path);
    return out;
  }

  kavro_test::scratch_dir dir_;
};

TEST_F(ReplacePairs, LinesReadHaveTheirKeysReplacedAndTheLogReportsThem) {
  load(1);
  ASSERT_EQ(replace_list.size(), 2u);
  EXPECT_EQ(replace_on, 1);
  file_wrapper in;
  ASSERT_TRUE(in.open(fixture("input.txt"), "r"));
  std::string line;
  ASSERT_EQ(read_line(line, in), 1);
  EXPECT_EQ(line, "x 7 y   3.14");
  EXPECT_EQ(replace_count, 2);
  EXPECT_TRUE(replace_list[0].used);
  EXPECT_TRUE(replace_list[1].used);

  const report_output out = report(0);
  EXPECT_EQ(out.log,
            "\nUsing replacement values:\n"
            "  [A]            = 7\n"
            "  [B]            =   3.14\n"
            "\n"
            "\nTotal times a value was replaced: 2\n\n"
            "\nWas replacement value used?:\n"
            "  [A]            = Yes\n"
            "  [B]            = Yes\n"
            "\n");
  EXPECT_NE(out.console.find("\n [A]            = 7\n [B]            =   3.14\n"), std::string::npos);
  EXPECT_EQ(replace_count, 0);
}

TEST_F(ReplacePairs, ToolModeReportsToTheLogOnly) {
  load(0);
  const report_output out = report(1);
  EXPECT_EQ(out.console, "");
  EXPECT_NE(out.log.find("  [A]            = 1\n  [B]            =   1.00\n"), std::string::npos);
  EXPECT_NE(out.log.find("  [A]            = No\n"), std::string::npos);
}

TEST_F(ReplacePairs, ValueLineSelection) {
  struct line_case {
    int line_index;
    int a;
    double b;
  };
  for (const line_case& c : {line_case{0, 1, 1.0}, line_case{1, 7, 3.14159}}) {
    SCOPED_TRACE(c.line_index);
    load(c.line_index);
    EXPECT_EQ(replace_list[0].int_value, c.a);
    EXPECT_EQ(replace_list[1].double_value, c.b);
  }
  // A run whose line the file lacks stops: it must not take another run's values.
  for (const auto& [line_index, shown] :
       {std::pair{9, "has no line 10 for run 0009 (it holds 2 lines)"}, std::pair{-1, "has no line 0"}}) {
    SCOPED_TRACE(line_index);
    ASSERT_EQ(read_replace_params(fixture("params.txt")), 0);
    replace_line = line_index;
    error_rec.code = 0;
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    EXPECT_EQ(read_replace_values(fixture("values.txt")), -1);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find(shown), std::string::npos) << printed;
    EXPECT_NE(printed.find("values.txt"), std::string::npos);
    EXPECT_EQ(error_rec.code, already_printed_code);
    error_rec.code = 0;
  }
}

TEST_F(ReplacePairs, ListFileProblems) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  EXPECT_EQ(read_replace_params(fixture("params_short.txt")), -1);
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("line:[Q] \"%q\"\n"), std::string::npos);
  EXPECT_NE(printed.find("Error: unexpected end of parameter list file after 2 parameters. Expecting 3\n"),
            std::string::npos);
  ASSERT_EQ(replace_list.size(), 1u);  // the pairs read so far stay
  EXPECT_EQ(replace_list[0].key, "[A]");

  testing::internal::CaptureStdout();
  EXPECT_EQ(read_replace_params(fixture("params_no_count.txt")), -1);
  EXPECT_EQ(read_replace_params(fixture("missing.txt")), -1);
  EXPECT_EQ(read_replace_values(fixture("missing.txt")), -1);
  printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("Error: unable to read the number of parameters in the parameter list file\n"),
            std::string::npos);
  EXPECT_NE(printed.find("Error: unable to open the replace parameter file.\n"), std::string::npos);
  EXPECT_NE(printed.find("Error: unable to open the value file " + fixture("missing.txt")),
            std::string::npos);
  EXPECT_TRUE(replace_list.empty());
  EXPECT_EQ(replace_on, 0);
}

TEST_F(ReplacePairs, WindowsLineEndsInTheListFile) {
  ASSERT_EQ(read_replace_params(fixture("params_crlf.txt")), 0);
  ASSERT_EQ(replace_list.size(), 2u);
  EXPECT_EQ(replace_list[0].format, "%d");
  EXPECT_EQ(replace_list[1].key, "[B]");
  EXPECT_EQ(replace_list[1].format, "%s");
  EXPECT_EQ(replace_list[1].value_type, 2);
}

TEST_F(ReplacePairs, FormatsMustHoldOneConversionOfTheValueType) {
  struct format_case {
    const char* line;
    int result;
    int type;
  };
  const format_case cases[] = {
      {"[K] \"%d\"", 0, 0},     {"  [K] \"%i\" trailing", 0, 0},
      {"[K] \"%6.4lf\"", 0, 1}, {"[K] \"%-+12.3E\"", 0, 1},
      {"[K] \"v=%g%%\"", 0, 1}, {"[K] \"%-10s\"", 0, 2},
      {"[K] %d", 0, 0},         {"[K] \"%q\"", -1, -1},
      {"[K] \"%s%s\"", -1, -1}, {"[K] \"abc\"", -1, -1},
      {"[K]", -1, -1},          {"[K] \"%ld\"", -1, -1},
      {"[K] \"%#s\"", -1, -1},  {"[K] \"%*d\"", -1, -1},
      {"[K] \"%5\"", -1, -1},   {"[K] \"%n\"", -1, -1},
      {"[K] \"%%\"", -1, -1},   {"no brackets", -1, -1},
      {"x] [K \"%d\"", -1, -1}, {"", -1, -1},
  };
  for (const format_case& c : cases) {
    SCOPED_TRACE(c.line);
    free_replace_pairs();
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse_replace_pair_line(c.line), c.result);
    const std::string printed = testing::internal::GetCapturedStdout();
    if (c.result == 0) {
      ASSERT_EQ(replace_list.size(), 1u);
      EXPECT_EQ(replace_list[0].key, "[K]");
      EXPECT_EQ(replace_list[0].value_type, c.type);
      EXPECT_EQ(printed, "");
    } else {
      EXPECT_TRUE(replace_list.empty());
      EXPECT_EQ(printed.find("Error: Improperly formatted line in the replacement parameter file\nline:" +
                             std::string(c.line) + "\n"),
                0u);
    }
  }
}

TEST_F(ReplacePairs, SubstitutionCases) {
  struct substitution_case {
    const char* line;
    const char* expected;
    int count;
    int unmatched_messages;
  };
  const substitution_case cases[] = {
      {"[N][N]", "4.04.0", 2, 0},
      {"no keys here", "no keys here", 0, 0},
      {"a [X] b [Y]", "a [X] b [Y]", 0, 2},
      {"[S]", "(4.0)", 2, 0},            // the value holds a further key after its first character
      {"[T]", "[N]", 1, 0},              // a key at the first character of a value is not searched
      {"%s [N] %d", "%s 4.0 %d", 1, 0},  // text around a key is copied literally
  };
  add_pair("[N]", "%.1f", 1, "");
  replace_list.back().double_value = 4.0;
  add_pair("[S]", "%s", 2, "([N])");
  add_pair("[T]", "%s", 2, "[N]");
  for (const substitution_case& c : cases) {
    SCOPED_TRACE(c.line);
    replace_count = 0;
    std::string line = c.line;
    const std::string printed = apply(line);
    EXPECT_EQ(line, c.expected);
    EXPECT_EQ(replace_count, c.count);
    std::size_t messages = 0;
    for (std::size_t at = printed.find("unable to match"); at != std::string::npos;
         at = printed.find("unable to match", at + 1)) {
      ++messages;
    }
    EXPECT_EQ(messages, static_cast<std::size_t>(c.unmatched_messages));
  }
}

TEST_F(ReplacePairs, SelfReferencingValueStops) {
  add_pair("[R]", "%s", 2, "x[R]");
  std::string line = "a [R] b";
  const std::string printed = apply(line);
  EXPECT_NE(printed.find("Error: replacing [R] made a line grow by more than 25000 characters.\n"),
            std::string::npos);
  EXPECT_EQ(error_rec.code, already_printed_code);
  EXPECT_LE(line.size(), 7 + max_replace_growth + 4);
  EXPECT_GT(line.size(), max_replace_growth);
}

TEST_F(ReplacePairs, FreedListKeepsReplacementOn) {
  load(1);
  free_replace_pairs();
  EXPECT_TRUE(replace_list.empty());
  EXPECT_EQ(replace_on, 1);
  std::string line = "x [A]";
  EXPECT_EQ(apply(line), "Error: unable to match replace pair: x [A]\n");
  EXPECT_EQ(line, "x [A]");
}

TEST_F(ReplacePairs, StringAndMissingValues) {
  kavro_test::write_file(dir_ / "p.txt", "3\n[NAME] \"%s\"\n[I] \"%03d\"\n[D] \"%.2f\"\n");
  kavro_test::write_file(dir_ / "v.txt", "\"two words\" 5\n");
  ASSERT_EQ(read_replace_params((dir_ / "p.txt").string()), 0);
  ASSERT_EQ(read_replace_values((dir_ / "v.txt").string()), 0);
  std::string line = "[NAME]|[I]|[D]";
  apply(line);
  EXPECT_EQ(line, "two words|005|0.00");
}

}  // namespace
}  // namespace kavro
