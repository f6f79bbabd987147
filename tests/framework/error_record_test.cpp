// The error report: every catalogue code against the expected texts of the
// fixture, the kinds, the console-only termination notice and the pause.
#include "framework/error_record.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>

#include "framework/file_wrapper.h"
#include "test_support.h"

namespace kavro {
namespace {

struct expected_message {
  std::string kind;
  std::string text;
};

std::string unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    out += c == 'n' ? '\n' : c == 't' ? '\t' : c;
  }
  return out;
}

std::map<int, expected_message> load_catalogue() {
  std::map<int, expected_message> table;
  std::ifstream in(kavro_test::data_dir() / "services" / "catalogue_messages.tsv");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t tab1 = line.find('\t');
    const std::size_t tab2 = line.find('\t', tab1 + 1);
    table[std::stoi(line.substr(0, tab1))] = {line.substr(tab1 + 1, tab2 - tab1 - 1),
                                              unescape(line.substr(tab2 + 1))};
  }
  return table;
}

struct report_output {
  std::string console;
  std::string log;
};

class ErrorReport : public ::testing::Test {
 protected:
  void SetUp() override {
    error_rec = error_record{};
    pause_flag = 0;
    log_path_ = (dir_ / "run.log").string();
  }
  void TearDown() override {
    run_log_file = nullptr;
    error_rec = error_record{};
  }

  // Reports `code` with distinctive details (texts holding printf directives)
  // into a fresh log and returns what the console and the log received.
  report_output report(int code, bool with_log = true) {
    error_rec = error_record{};
    error_rec.code = code;
    error_rec.int1 = -3;
    error_rec.int2 = 42;
    error_rec.what = "kind %s";
    error_rec.name = "C:\\proj\\100%d_%s.txt";
    file_wrapper log;
    if (with_log) {
      EXPECT_TRUE(log.open(log_path_, "w"));
      run_log_file = &log;
    }
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    EXPECT_EQ(report_error(error_rec), 0);
    std::fflush(stdout);
    report_output out{testing::internal::GetCapturedStdout(), ""};
    run_log_file = nullptr;
    log.close();
    if (with_log) out.log = kavro_test::read_file(log_path_);
    return out;
  }

  kavro_test::scratch_dir dir_;
  std::string log_path_;
};

TEST_F(ErrorReport, EveryCatalogueCodePrintsItsTextAndActsByItsKind) {
  const std::map<int, expected_message> table = load_catalogue();
  ASSERT_EQ(table.size(), 138u);
  for (const auto& [code, expected] : table) {
    SCOPED_TRACE("code " + std::to_string(code));
    const report_output out = report(code);
    const bool fatal = expected.kind == "fatal";
    const bool goes_on = expected.kind == "warning" || expected.kind == "silent";
    EXPECT_EQ(out.log, "\n" + expected.text);
    EXPECT_EQ(out.console, "\n" + expected.text + (fatal ? "KAVRO Terminated.\n" : ""));
    EXPECT_EQ(error_rec.stop, goes_on ? 0 : 1);
    EXPECT_EQ(error_rec.fatal, fatal ? 1 : 0);
    EXPECT_EQ(error_rec.code, fatal ? code : 0);
    EXPECT_EQ(catalogue_message(code, error_rec), expected.text);
  }
}

TEST_F(ErrorReport, CodesWithoutTextPrintOnlyTheBlankLineAndStop) {
  const std::map<int, expected_message> table = load_catalogue();
  for (int code : {129, 137, 150, 199, 201, 299, 302, 1000, already_printed_code}) {
    SCOPED_TRACE("code " + std::to_string(code));
    ASSERT_EQ(table.count(code), 0u);
    const report_output out = report(code);
    EXPECT_EQ(out.console, "\n");
    EXPECT_EQ(out.log, "\n");
    EXPECT_EQ(error_rec.stop, 1);
    EXPECT_EQ(error_rec.fatal, 0);
    EXPECT_EQ(error_rec.code, 0);
  }
}

TEST_F(ErrorReport, NoPendingCodeWritesNothing) {
  const report_output out = report(0);
  EXPECT_EQ(out.console, "");
  EXPECT_EQ(out.log, "");
  EXPECT_EQ(error_rec.stop, 0);
  EXPECT_EQ(error_rec.code, 0);
}

TEST_F(ErrorReport, WithoutRunLogEverythingGoesToTheConsole) {
  const report_output out = report(54, false);
  EXPECT_EQ(out.console, "\nError: The time step (-3) must be evenly divisible into 60 seconds.\n");
  EXPECT_EQ(error_rec.stop, 1);
}

TEST_F(ErrorReport, ClosedRunLogIsNotWritten) {
  file_wrapper closed;
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  print_and_log(&closed, "100% literal %s\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "100% literal %s\n");
}

TEST_F(ErrorReport, FatalStopPausesWhenAsked) {
  const std::string input = (dir_ / "key.txt").string();
  kavro_test::write_file(input, "x");
  ASSERT_NE(std::freopen(input.c_str(), "r", stdin), nullptr);
  pause_flag = 1;
  testing::internal::CaptureStderr();
  const report_output out = report(300);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Program terminated.  Hit any key to continue.\n");
  EXPECT_EQ(std::getchar(), EOF);  // the key was consumed
  EXPECT_EQ(error_rec.code, 300);
  EXPECT_EQ(out.log.find("Terminated"), std::string::npos);
}

}  // namespace
}  // namespace kavro
