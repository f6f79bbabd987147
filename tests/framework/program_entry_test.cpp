// The program as a user starts it: banner, usage, run modes, web mode and
// the timing file, run as a separate process in a scratch folder.
#include "framework/program_entry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::count_lines;
using kavro_test::kavro_binary;
using kavro_test::read_file;
using kavro_test::run_program;
using kavro_test::scratch_dir;
using kavro_test::write_file;

const char* const minimal_project = "KAVROPROJECT\n";

TEST(CommandLine, OptionsChooseModesInTheirOrder) {
  struct option_case {
    std::vector<const char*> args;
    int mode;
    int result;
    const char* input;
  };
  const option_case cases[] = {
      {{"kavro", "p.prj"}, 1, 1, "p.prj"},
      {{"kavro", "-v"}, 4, 1, ""},
      {{"kavro", "-h"}, 5, 1, ""},
      {{"kavro", "--help"}, 5, 1, ""},
      {{"kavro", "-slm", "case"}, 8, 1, "case"},
      {{"kavro", "-slmx", "case"}, 8, 1, "case"},
      {{"kavro", "-ms", "case"}, 9, 1, "case"},
      {{"kavro", "-t", "case"}, 10, 1, "case"},
      {{"kavro", "-tr", "case"}, 10, 1, "case"},
      {{"kavro", "-mlsl", "case"}, 11, 1, "case"},
      {{"kavro", "-s", "sen.in"}, 7, 1, "sen.in"},
      {{"kavro", "-c", "sce.in"}, 2, 1, "sce.in"},
      {{"kavro", "-b3", "p.prj"}, 3, 3, "p.prj"},
      {{"kavro", "-b", "p.prj"}, 3, 1, "p.prj"},
      {{"kavro", "-b1000000", "p.prj"}, 3, 1000000, "p.prj"},
      {{"kavro", "-m25", "mc.in"}, 6, 25, "mc.in"},
      {{"kavro", "-m", "mc.in"}, 6, 1, "mc.in"},
      {{"kavro", "-m1000000", "mc.in"}, 6, 1000000, "mc.in"},
      {{"kavro", "-h", "x"}, 5, 1, ""},
      {{"kavro", "-v", "x"}, 4, 1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[1]);
    run_mode_request req;
    EXPECT_EQ(parse_command_line(static_cast<int>(c.args.size()), c.args.data(), req), c.result);
    EXPECT_EQ(req.mode, c.mode);
    EXPECT_EQ(req.input_file, c.input);
  }
  // No project: kavro alone, unknown options, options without their file,
  // extra arguments, run counts that are not 1 to 1,000,000.
  const std::vector<std::vector<const char*>> refused = {
      {"kavro"},          {"kavro", "-x", "f"},      {"kavro", "-q"},
      {"kavro", "-"},     {"kavro", "--"},           {"kavro", "-b"},
      {"kavro", "p.prj", "extra"},                   {"kavro", "-b2", "p.prj", "extra"},
      {"kavro", "-b0", "p.prj"},                     {"kavro", "-b-1", "p.prj"},
      {"kavro", "-b99999999999", "p.prj"},           {"kavro", "-b1000001", "p.prj"},
      {"kavro", "-b3x", "p.prj"},
      // "-m" takes the same count: no endless calibration from a count that overflows.
      {"kavro", "-m2147483647", "mc.in"},            {"kavro", "-m99999999999", "mc.in"},
      {"kavro", "-m0", "mc.in"},                     {"kavro", "-m-1", "mc.in"},
      {"kavro", "-msx", "mc.in"},                    {"kavro", "-m1000001", "mc.in"},
  };
  for (std::vector<const char*> bad : refused) {
    SCOPED_TRACE(bad.back());
    run_mode_request req;
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse_command_line(static_cast<int>(bad.size()), bad.data(), req), -1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("\nUsage: kavro [-option] [inputfile]\n\n", 0), 0u);
    const std::string opt = bad.size() > 1 ? bad[1] : "";
    if (bad.size() == 3 && (opt.starts_with("-b") || opt.starts_with("-m"))) {
      EXPECT_NE(out.find("Error: the run count of the option " + opt + " must be a whole number from 1 to 1000000.\n"),
                std::string::npos)
          << out;
    }
  }
}

TEST(Program, BannerUsageAndVersion) {
  scratch_dir dir;
  auto r = run_program(kavro_binary(), {}, dir.path(), "", {"OMP_NUM_THREADS=3"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out.rfind("Parallel version of KAVRO (7.1 ) with SCE (OpenMP), 3 total threads.\n"
                        "\nUsage: kavro [-option] [inputfile]\n\n",
                        0),
            0u)
      << r.out;

  // A wrong command line prints the usage and exits 1; asking for it exits 0.
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"-x", "f"}, {"-q"}, {"-"}, {"--"}, {"p.prj", "extra"}, {"-b-1", "p.prj"}, {"-b99999999999", "p.prj"}}) {
    r = run_program(kavro_binary(), args, dir.path());
    EXPECT_EQ(r.exit_code, 1) << args[0];
    EXPECT_NE(r.out.find("\nUsage: kavro [-option] [inputfile]\n\n"), std::string::npos) << args[0];
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "out_time.out")) << "a wrong command line runs nothing";
  for (const char* help : {"-h", "--help"}) {
    r = run_program(kavro_binary(), {help}, dir.path());
    EXPECT_EQ(r.exit_code, 0) << help;
    EXPECT_NE(r.out.find("\nUsage: kavro [-option] [inputfile]\n\n"), std::string::npos) << help;
  }

  r = run_program(kavro_binary(), {"-v", "x"}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("\n    -- KAVRO version 7.10  --\n \n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Intended for use with PQM Version 9.0 or higher\n \n"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "out_time.out")) << "-v runs nothing";

}

TEST(Program, EveryRunAppendsOneTimingLine) {
  scratch_dir dir;
  write_file(dir / "p.prj", minimal_project);
  const std::regex timing_lines(R"((total time \(s\): +[0-9]+\.[0-9]{2}\n)+)");
  // Every run writes its line, whatever becomes of the run.
  for (int run = 1; run <= 2; ++run) {
    run_program(kavro_binary(), {"p.prj"}, dir.path());
    EXPECT_EQ(count_lines(dir / "out_time.out"), run);
  }
  EXPECT_TRUE(std::regex_match(read_file(dir / "out_time.out"), timing_lines));

  run_program(kavro_binary(), {"-b3", "p.prj"}, dir.path());
  for (const char* name : {"0000_out_time.out", "0001_out_time.out", "0002_out_time.out"}) {
    EXPECT_EQ(count_lines(dir / name), 1) << name;
  }
  EXPECT_EQ(count_lines(dir / "out_time.out"), 2) << "batch runs write only prefixed timing files";
}

TEST(Program, MissingProjectExitsWithOne) {
  scratch_dir dir;
  const auto r = run_program(kavro_binary(), {"missing.prj"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("\nError: The specified project file was not found.\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Run time"), std::string::npos);
  EXPECT_EQ(r.out.find("total time to init"), std::string::npos);
  EXPECT_EQ(count_lines(dir / "out_time.out"), 1);
}

TEST(Program, WebModeFramesTheRunInHtml) {
  scratch_dir dir;
  std::filesystem::create_symlink(kavro_binary(), dir / "kavro_web");
  const std::string header = "Content-Type:text/text;charset=iso-8859-1\r\n\n";
  const std::string title =
      "<title>KAVRO Test Case</title><body><P> Web version of KAVRO (7.1 ) with SCE starting...</P><P>";

  auto r = run_program(dir / "kavro_web", {"p.prj"}, dir.path(), "hello\n", {"CONTENT_LENGTH=5"});
  EXPECT_EQ(r.out.rfind(header + title + "hello", 0), 0u) << r.out;
  EXPECT_EQ(r.out.find("total threads"), std::string::npos);
  EXPECT_TRUE(r.out.ends_with("</P></body>\n"));

  for (const char* length : {"CONTENT_LENGTH=2048", "CONTENT_LENGTH=-1", "CONTENT_LENGTH=abc"}) {
    SCOPED_TRACE(length);
    r = run_program(dir / "kavro_web", {"p.prj"}, dir.path(), "hello\n", {length});
    EXPECT_EQ(r.out.rfind(header + title + "<P>Error in invocation - wrong FORM probably.", 0), 0u) << r.out;
    EXPECT_TRUE(r.out.ends_with("</P></body>\n"));
  }
}

}  // namespace
}  // namespace kavro
