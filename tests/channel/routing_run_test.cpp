// Whole runs of a 1 x 40 grid with one trapezoid link fed 2 m3/s at its
// first node: the outlet hydrograph, the head boundary, and the point-source
// and boundary inputs the run refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "test_support.h"

namespace kavro_test {
namespace {

namespace fs = std::filesystem;

void copy_fixture(const scratch_dir& dir) {
  for (const auto& e : fs::directory_iterator(data_dir() / "channel" / "uniform"))
    fs::copy_file(e.path(), dir / e.path().filename().string());
}

// (minutes, Qout) of every console progress line.
std::vector<std::pair<double, std::string>> hydrograph(const std::string& out) {
  std::vector<std::pair<double, std::string>> rows;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    const size_t t = line.find("elapsed time"), q = line.find("Qout=");
    if (t == std::string::npos || q == std::string::npos) continue;
    std::istringstream qs(line.substr(q + 5));
    std::string value;
    qs >> value;
    rows.emplace_back(std::atof(line.c_str() + t + 12), value);
  }
  return rows;
}

TEST(ChannelRoutingRun, SteadyInflowArrivesAndHoldsAtTheOutlet) {
  for (const char* extra : {"", "HEAD_BOUND\nBOUND_DEPTH 2.0\n"}) {
    scratch_dir dir;
    copy_fixture(dir);
    write_file(dir / "p.prj", read_file(dir / "p.prj") + extra);
    const run_result r = run_program(kavro_binary(), {"p.prj"}, dir.path());
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    const auto rows = hydrograph(r.out);
    ASSERT_EQ(rows.size(), 1441u) << extra;
    double last = 0;
    for (const auto& [t, q] : rows) {
      const double v = std::atof(q.c_str());
      if (*extra == '\0') {
        EXPECT_GE(v, last) << t;  // never falls
        if (t <= 30.0) {
          EXPECT_EQ(q, "0.00000000") << t;
        }
      }
      if (t >= 180.0) {
        EXPECT_EQ(q, "2.00000000") << t << extra;
      }
      last = v;
    }
  }
}

struct refused_case {
  const char* project_extra;
  const char* point_file;
  const char* message;
};

TEST(ChannelRoutingRun, BadPointFilesAndMissingBoundarySeriesStopTheRun) {
  const refused_case cases[] = {
      {"", "", "Unexpected end of file in chan point data file.\n"},
      {"", "NUMPT 1\nPOINT 45 1 0.5\nNRPDS 0\n", "POINT 45 1 in the channel point source file"},
      {"", "NUMPT 1\nPOINT 1 1 0.5\nNRPDS 2\nINPUT 2010 7 1 10 0\n1.5\nSTART 2010 7 1 11 0\n0.0\n",
       "has \"START\" where INPUT is due"},
      {"", "NUMPT 1\nPOINT 1 1 x\nNRPDS 0\n", "POINT discharge in the channel point source file pt.txt, line 2: the value \"x\" is not a number"},
      {"HEAD_BOUND\nBOUND_TS xyz\n", "NUMPT 1\nPOINT 1 1 2.0\nNRPDS 0\n",
       "Error: Stream head boundary time series (xyz) can not be found."},
  };
  for (const refused_case& c : cases) {
    scratch_dir dir;
    copy_fixture(dir);
    write_file(dir / "p.prj", read_file(dir / "p.prj") + c.project_extra);
    write_file(dir / "pt.txt", c.point_file);
    const run_result r = run_program(kavro_binary(), {"p.prj"}, dir.path());
    EXPECT_EQ(r.exit_code, 1) << c.message << "\n" << r.out;
    EXPECT_NE((r.out + r.err).find(c.message), std::string::npos) << c.message << "\n" << r.out << r.err;
  }
}

TEST(ChannelRoutingRun, TimedPointInputsChangeAtTheirTimes) {
  scratch_dir dir;
  copy_fixture(dir);
  write_file(dir / "pt.txt", "NUMPT 1\nPOINT 1 1 0.5\nNRPDS 2\nINPUT 2010 7 1 10 0\n1.5\nINPUT 98 7 1 11 0\n0.0\n");
  const run_result r = run_program(kavro_binary(), {"p.prj"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  // 0.5 m3/s holds until 10:00; 1.5 from 10:00; the 1998 change never comes.
  double at_60 = 0, at_240 = 0, highest = 0;
  for (const auto& [t, q] : hydrograph(r.out)) {
    const double v = std::atof(q.c_str());
    if (t == 60.0) at_60 = v;
    if (t == 240.0) at_240 = v;
    highest = std::max(highest, v);
  }
  EXPECT_GT(at_60, 0.2);
  EXPECT_LT(at_60, 0.5);
  EXPECT_NEAR(at_240, 1.5, 1e-6);
  EXPECT_LE(highest, 1.5 + 1e-8);
}

}  // namespace
}  // namespace kavro_test
