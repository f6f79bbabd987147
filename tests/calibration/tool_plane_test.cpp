// The calibration tool as a user runs it: "kavro -slm" on a real project,
// a tilted plane whose roughness is the parameter, with one Jacobian and
// its statistics; the search that recovers it from above and below, with
// the same files for any thread count; and the exit status of the tool's
// options.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace kavro_test {
namespace {

namespace fs = std::filesystem;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The plane's files in `dir`, its project run on `threads` threads.
void write_plane(const fs::path& dir, int threads) {
  for (const auto& entry : fs::directory_iterator(data_dir() / "pest" / "plane"))
    fs::copy_file(entry.path(), dir / entry.path().filename());
  const std::string project = read_file(dir / "plane.prj");
  write_file(dir / "plane.prj", with_card(project, "NUM_THREADS", std::to_string(threads)));
}

TEST(PlaneCalibration, OneJacobianOfTheRoughness) {
  scratch_dir one, four;
  write_plane(one.path(), 1);
  write_plane(four.path(), 4);
  const run_result r1 = run_program(kavro_binary(), {"-slm", "plane.pst"}, one.path());
  ASSERT_EQ(r1.exit_code, 0) << r1.out << r1.err;
  const run_result r4 = run_program(kavro_binary(), {"-slm", "plane.pst"}, four.path());
  ASSERT_EQ(r4.exit_code, 0) << r4.out << r4.err;
  EXPECT_TRUE(has(r1.out, "Sum of squared weighted residuals = 2.979290E-02\n")) << r1.out;
  EXPECT_TRUE(has(r1.out, "Calculating Jacobian matrix: running model 1 times ...\n"));

  // The derivatives of the outlet flows (m3/s) by log10 of the roughness,
  // from N 0.1 to 0.101.
  const double expected[12] = {-0.002587, -0.022157, -0.095845, -0.244230, -0.375501, -0.339804,
                               -0.151556, 0.014012,  0.097684,  0.122530,  0.119124,  0.105740};
  const std::vector<std::string> jac = lines_of(read_file(one / "jac.txt"));
  ASSERT_EQ(jac.size(), 12u);
  for (int i = 0; i < 12; ++i) EXPECT_NEAR(std::stod(jac[static_cast<std::size_t>(i)]), expected[i], 2e-6) << i;

  const std::string sen = read_file(one / "plane.sen");
  EXPECT_TRUE(has(sen, "N\tg\t0.100000\t0.052632\n")) << sen;
  const std::string rec = read_file(one / "plane.rec");
  EXPECT_TRUE(has(rec, "N                0.100000           0.065862          0.151832\n")) << rec;
  EXPECT_TRUE(has(rec, "Parameter covariance matrix ----->\n\t\tN\nN\t0.006790\n"));
  EXPECT_EQ(read_file(one / "plane.par"), "0.100000\n");

  for (const char* file : {"plane.rec", "plane.sen", "plane.par", "jac.txt"})
    EXPECT_EQ(read_file(one / file), read_file(four / file)) << file;
}

TEST(PlaneCalibration, AFailedModelRunStopsTheTool) {
  // The outputs of an earlier run are still there, but the model project
  // cannot run: its outputs are not taken for this run's.
  scratch_dir dir;
  write_plane(dir.path(), 1);
  ASSERT_EQ(run_program(kavro_binary(), {"-slm", "plane.pst"}, dir.path()).exit_code, 0);
  write_file(dir / "plane.prj", with_card(read_file(dir / "plane.prj"), "ROWS", "21"));
  const run_result r = run_program(kavro_binary(), {"-slm", "plane.pst"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(has(r.out, "Error: the model run of plane.prj stopped on an error; its outputs cannot be used.\n"))
      << r.out;
  EXPECT_FALSE(has(read_file(dir / "plane.rec"), "Sum of squared weighted residuals = "));
}

TEST(PlaneCalibration, TheSearchRecoversTheRoughness) {
  // The observations are the outlet flows of N 0.05; the search starts
  // above it (on 1 and 4 threads) and below it.
  for (const char* start : {"0.1", "0.02"}) {
    SCOPED_TRACE(start);
    scratch_dir one, four;
    const bool both = std::string(start) == "0.1";
    for (const scratch_dir* dir : {&one, &four}) {
      if (dir == &four && !both) continue;
      write_plane(dir->path(), dir == &one ? 1 : 4);
      std::string control = read_file(dir->path() / "plane.pst");
      for (const auto& [from, to] : {std::pair<std::string, std::string>{"0.0 2.0 0.3 0.01 10", "5.0 2.0 0.3 0.01 10"},
                                     {"-1 0.01 3 3 0.01 3", "30 0.01 3 3 0.01 3"},
                                     {"N log factor 0.1 ", std::string("N log factor ") + start + " "}}) {
        const std::size_t at = control.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        control.replace(at, from.size(), to);
      }
      write_file(dir->path() / "plane.pst", control);
      const run_result r = run_program(kavro_binary(), {"-slm", "plane.pst"}, dir->path());
      ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    }
    EXPECT_EQ(read_file(one / "plane.par"), "0.050000\n");
    const std::string rec = read_file(one / "plane.rec");
    EXPECT_TRUE(has(rec, "Optimization complete: the objective function equals zero\n")) << rec;
    const std::size_t total = rec.rfind("Total Model Calls:\t");
    ASSERT_NE(total, std::string::npos);
    EXPECT_LE(std::stoi(rec.substr(total + 19)), 20);
    const std::size_t phi = rec.rfind("Sum of squared weighted residuals (ie phi)\t\t: ");
    ASSERT_NE(phi, std::string::npos);
    EXPECT_LT(std::stod(rec.substr(phi + 46)), 1e-10);
    if (both) {
      for (const char* file : {"plane.rec", "plane.sen", "plane.par", "jac.txt"})
        EXPECT_EQ(read_file(one / file), read_file(four / file)) << file;
    }
  }
}

TEST(ToolOptions, ExitStatus) {
  scratch_dir dir;
  for (const char* option : {"-slm", "-ms", "-tr", "-mlsl"}) {
    const run_result missing = run_program(kavro_binary(), {option, "missing.pst"}, dir.path());
    EXPECT_EQ(missing.exit_code, 1) << option;
    EXPECT_TRUE(has(missing.err, "Cannot open missing.pst \n")) << option;
  }
  // A global search whose input file is missing.
  write_plane(dir.path(), 1);
  const run_result r = run_program(kavro_binary(), {"-ms", "plane.pst"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(has(r.out, "Error: cannot open the input file ms.in.\n")) << r.out;
  EXPECT_FALSE(fs::exists(dir / "plane.rec"));
}

}  // namespace
}  // namespace kavro_test
