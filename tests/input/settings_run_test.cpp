// The run settings seen from outside: kavro run on small projects in a
// scratch folder. The start-up header of the run log, the projects that are
// refused before any grid is read, replacement values in a batch, and
// project files with Windows line ends or a wrong header.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "framework/error_record.h"
#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::read_file;
using kavro_test::run_program;
using kavro_test::write_file;

// The project every check accepts, without the cards that start with one of
// `dropped`, followed by `extra`.
std::string base_project(const std::string& extra, const std::vector<std::string>& dropped = {}) {
  std::istringstream in(read_file(kavro_test::data_dir() / "settings" / "base.prj"));
  std::string text;
  for (std::string line; std::getline(in, line);) {
    bool drop = false;
    for (const std::string& d : dropped) drop = drop || line.rfind(d, 0) == 0;
    if (!drop) text += line + "\n";
  }
  return text + extra;
}

class SettingsRun : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"mask.asc", "elev.asc"})
      std::filesystem::copy_file(kavro_test::data_dir() / "settings" / name, dir / name);
  }
  kavro_test::run_result run(const std::string& project, const std::vector<std::string>& options = {}) {
    write_file(dir / "p.prj", project);
    std::vector<std::string> args = options;
    args.push_back("p.prj");
    return run_program(kavro_test::kavro_binary(), args, dir.path());
  }
  kavro_test::scratch_dir dir;
};

const char* const startup_header =
    "\n\n_________KAVRO start-up information________\nRun parameters read from PQM project file: p.prj\n";

TEST_F(SettingsRun, RunLogStartsWithTheStartupHeader) {
  const auto r = run(base_project(""));
  const std::string log = read_file(dir / "sum.txt");
  EXPECT_EQ(log.substr(0, std::string(startup_header).size()), startup_header) << r.out;
  EXPECT_EQ(log.find("Using replacement values"), std::string::npos);
}

// Only the run time may follow a refusal: no set-up step ran after it.
void expect_nothing_after(const std::string& out, size_t end) {
  std::istringstream rest(out.substr(end));
  for (std::string line; std::getline(rest, line);) {
    if (line.empty()) continue;
    EXPECT_NE(line.find("Run time:"), std::string::npos) << "after the refusal: " << line;
  }
}

TEST_F(SettingsRun, RefusedProjectsStopWithTheirMessage) {
  error_record rec;
  write_file(dir / "plain", "");
  struct refused {
    std::string name;
    std::string project;
    std::string message;
  };
  const refused cases[] = {
      {"two roughness sources", base_project("ROUGHNESS r.asc\n"), catalogue_message(6, rec)},
      {"backwater channel routing", base_project("CHAN_BACKWATER\n"), catalogue_message(35, rec)},
      {"Preissmann channel routing", base_project("CHAN_PREISS\n"), catalogue_message(35, rec)},
      {"uniform rain without duration", base_project("", {"RAIN_DURATION"}), catalogue_message(11, rec)},
      {"Richards without a retention model", base_project("INF_RICHARDS\n"),
       "Error: Richards infiltration needs a soil-water retention model.\n"
       "Give RICHARDS_C_OPTION BROOKS or RICHARDS_C_OPTION HAVERCAMP in the project file.\n"},
      {"no rows", base_project("ROWS 0\n"),
       "Error: The project file must give ROWS and COLS of at least 1.\n"},
      {"inflow file of the segment model", base_project("Q7_INPUT plain/q7.txt\n"),
       "Error: Unable to open Q7 inflow file.\n  (File: plain/q7.txt)\n"},
      {"missing elevation map", base_project("ELEVATION none.asc\n"),
       "Error: Unable to open elevation data file.\n  (File: none.asc)\n"},
  };
  for (const refused& c : cases) {
    SCOPED_TRACE(c.name);
    const auto r = run(c.project);
    EXPECT_EQ(r.exit_code, 1);
    const size_t at = r.out.find(c.message);
    ASSERT_NE(at, std::string::npos) << r.out;
    expect_nothing_after(r.out, at + c.message.size());
    EXPECT_EQ(r.out.find("total time to init"), std::string::npos);
  }
}

TEST_F(SettingsRun, BatchRunsTakeOneValueLineEach) {
  write_file(dir / "params.txt", "2\n[A] \"%d\"\n[B] \"%6.2lf\"\n");
  write_file(dir / "values.txt", "1 1.0\n7 3.14159\n");
  // The run log's name and an echoed card carry the values of the run.
  const auto r =
      run(base_project("REPLACE_PARAMS params.txt\nREPLACE_VALS values.txt\nSUMMARY sum[A].txt\nALPHA [B]\n"),
          {"-b2"});
  EXPECT_EQ(r.out.find("unable to match"), std::string::npos) << r.out;
  const size_t first = r.out.find("Alpha = 1.000000\n");
  const size_t second = r.out.find("Alpha = 3.140000\n");
  ASSERT_NE(first, std::string::npos) << r.out;
  ASSERT_NE(second, std::string::npos) << r.out;
  EXPECT_LT(first, second);

  struct batch_run {
    const char* log;
    const char* b_value;
  };
  for (const batch_run& b : {batch_run{"0000_sum1.txt", "  1.00"}, batch_run{"0001_sum7.txt", "  3.14"}}) {
    SCOPED_TRACE(b.log);
    ASSERT_TRUE(std::filesystem::exists(dir / b.log));
    const std::string log = read_file(dir / b.log);
    EXPECT_EQ(log.rfind(startup_header, 0), 0u);
    const size_t block = log.find("\nUsing replacement values:\n");
    ASSERT_NE(block, std::string::npos) << log;
    const size_t b_line = log.find("[B]", block);
    ASSERT_NE(b_line, std::string::npos);
    EXPECT_EQ(log.substr(b_line, log.find('\n', b_line) - b_line).find(b.b_value) != std::string::npos, true)
        << log.substr(block);
  }
}

// The console output without the lines that carry the run's clock time.
std::string without_times(const std::string& out) {
  std::istringstream in(out);
  std::string kept;
  for (std::string line; std::getline(in, line);) {
    if (line.find("time") == std::string::npos) kept += line + "\n";
  }
  return kept;
}

TEST_F(SettingsRun, WindowsLineEndsRunLikeUnixOnes) {
  const std::string unix_text = base_project("RAIN_THIESSEN\n");
  std::string dos_text;
  for (char ch : unix_text) dos_text += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
  const auto unix_run = run(unix_text);
  const std::string unix_log = read_file(dir / "sum.txt");
  std::filesystem::remove(dir / "sum.txt");
  const auto dos_run = run(dos_text);
  EXPECT_EQ(dos_run.exit_code, unix_run.exit_code);
  EXPECT_EQ(without_times(dos_run.out), without_times(unix_run.out));
  EXPECT_EQ(read_file(dir / "sum.txt"), unix_log);
  EXPECT_FALSE(std::filesystem::exists(dir / "sum.txt\r"));
}

TEST_F(SettingsRun, WrongHeaderExitsWithItsMessage) {
  for (const char* header : {"KAVROPROJECT \n", "kavroproject\n", "PROJECT\n"}) {
    SCOPED_TRACE(header);
    const auto r = run(header + base_project("").substr(std::string("KAVROPROJECT\n").size()));
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("File Does not Appear to be a Valid KAVRO/TORVEN Project file\n"
                         "Perhaps you Should Issue a 'dos2unix' Command if you are on a Unix machine?\n"
                         "KAVRO Terminating....\n"),
              std::string::npos);
    EXPECT_EQ(r.out.find("finished reading project file"), std::string::npos);
  }
}

}  // namespace
}  // namespace kavro
