// The calibration tool as a user runs it: "kavro -slm" on a real project,
// a tilted plane whose roughness is the parameter, with one Jacobian and
// its statistics; the search that recovers it from above and below, with
// the same files for any thread count; and the exit status of the tool's
// options.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>
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

// The first 12 outlet rows (m3/s) of the plane run on its own with the
// roughness `n`.
std::vector<double> plane_rows(const fs::path& dir, const std::string& n) {
  write_plane(dir, 1);
  std::string project;
  for (const std::string& line : lines_of(read_file(dir / "plane.prj")))
    if (line.rfind("REPLACE_", 0) != 0) project += line + "\n";
  write_file(dir / "plane.prj", with_card(project, "MANNING_N", n));
  const run_result r = run_program(kavro_binary(), {"plane.prj"}, dir);
  EXPECT_EQ(r.exit_code, 0) << r.out;
  std::vector<double> q;
  for (const std::string& line : lines_of(read_file(dir / "outlet.txt")))
    if (q.size() < 12) {
      std::istringstream in(line);
      double minutes = 0.0, flow = 0.0;
      in >> minutes >> flow;
      q.push_back(flow);
    }
  return q;
}

TEST(PlaneCalibration, OneJacobianOfTheRoughness) {
  scratch_dir one, four;
  write_plane(one.path(), 1);
  write_plane(four.path(), 4);
  const run_result r1 = run_program(kavro_binary(), {"-slm", "plane.pst"}, one.path());
  ASSERT_EQ(r1.exit_code, 0) << r1.out << r1.err;
  const run_result r4 = run_program(kavro_binary(), {"-slm", "plane.pst"}, four.path());
  ASSERT_EQ(r4.exit_code, 0) << r4.out << r4.err;
  EXPECT_TRUE(has(r1.out, "Calculating Jacobian matrix: running model 1 times ...\n"));

  // The objective against the plane's own runs: the observations are the
  // rows of N 0.05, the tool starts at N 0.1.
  scratch_dir at_obs, at_start, above, below;
  const std::vector<double> obs = plane_rows(at_obs.path(), "0.05");
  const std::vector<double> q = plane_rows(at_start.path(), "0.1");
  ASSERT_EQ(obs.size(), 12u);
  ASSERT_EQ(q.size(), 12u);
  double phi = 0.0;
  for (int i = 0; i < 12; ++i) phi += (obs[static_cast<std::size_t>(i)] - q[static_cast<std::size_t>(i)]) *
                                      (obs[static_cast<std::size_t>(i)] - q[static_cast<std::size_t>(i)]);
  const std::string said = "Sum of squared weighted residuals = ";
  const std::size_t at = r1.out.find(said);
  ASSERT_NE(at, std::string::npos) << r1.out;
  EXPECT_NEAR(std::stod(r1.out.substr(at + said.size())), phi, 1e-6 * phi);

  // The derivatives of the outlet flows by log10 of the roughness against a
  // central difference of two runs 1 % either side of N 0.1.
  const std::vector<double> up = plane_rows(above.path(), "0.101");
  const std::vector<double> down = plane_rows(below.path(), "0.099");
  const std::vector<std::string> jac = lines_of(read_file(one / "jac.txt"));
  ASSERT_EQ(jac.size(), 12u);
  double largest = 0.0;
  for (int i = 0; i < 12; ++i) largest = std::max(largest, std::fabs(std::stod(jac[static_cast<std::size_t>(i)])));
  ASSERT_GT(largest, 0.01);
  for (int i = 0; i < 12; ++i) {
    const auto k = static_cast<std::size_t>(i);
    const double central = (up[k] - down[k]) / (std::log10(0.101) - std::log10(0.099));
    EXPECT_NEAR(std::stod(jac[k]), central, 0.02 * largest) << i;
  }

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
