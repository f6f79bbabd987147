// The PQM hydrograph file: its header of counts, ten values a line, the
// location series after the outlet's, and what a short file gives.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "../framework/event_test_support.h"
#include "framework/file_wrapper.h"
#include "framework/output_staging.h"
#include "output/pqm_file.h"
#include "test_support.h"

namespace kavro {
namespace {

namespace fs = std::filesystem;

// Rows "time flow" as the outlet writer writes them: flow i + i / 10^4.
std::string outlet_rows(int n) {
  std::string text;
  char row[64];
  for (int i = 1; i <= n; ++i) {
    std::snprintf(row, sizeof row, "%8.2lf %16.8lf\n", i * 1.0, i + i * 1e-4);
    text += row;
  }
  return text;
}

// The values block of a series of n values v(i), ten to a line.
template <class F>
std::string series(int n, F v) {
  std::string text;
  char value[32];
  for (int i = 1; i <= n; ++i) {
    std::snprintf(value, sizeof value, "%11.4lf", v(i));
    text += value;
    text += i % 10 == 0 ? '\n' : ' ';
  }
  return text;
}

class PqmFile : public testing::Test {
 protected:
  void SetUp() override { error_rec.code = error_rec.stop = 0; }
  std::string path(const char* name) const { return (dir.path() / name).string(); }
  kavro_test::scratch_dir dir;
};

TEST_F(PqmFile, OutletSeriesTenValuesALine) {
  kavro_test::write_file(path("outlet.txt"), outlet_rows(25));
  file_wrapper outlet, out;
  ASSERT_TRUE(outlet.open(path("outlet.txt"), "r"));
  ASSERT_TRUE(out.open(path("pqm.txt"), "w"));
  write_pqm_hydrograph_file(outlet, out, {}, 20030307, 1430, 1, 25);
  out.close();
  const std::string text = kavro_test::read_file(path("pqm.txt"));
  EXPECT_EQ(text, "KELVORA_PQM_HYDROGRAPH_FILE\n0\n20030307\n1430\n1\n25\n" +
                      series(25, [](int i) { return i + i * 1e-4; }));
  EXPECT_EQ(text.substr(text.size() - 12), "    25.0025 ") << "the last line of five ends in a blank";
}

TEST_F(PqmFile, LocationSeriesFollowTheOutletAndShortFilesGiveZeros) {
  kavro_test::write_file(path("outlet.txt"), outlet_rows(25));
  // Twenty rows of the two locations: 0.5 i and 2 i.
  std::string rows;
  char row[80];
  for (int i = 1; i <= 20; ++i) {
    std::snprintf(row, sizeof row, "%8.2lf %16.8lf %16.8lf \n", i * 1.0, 0.5 * i, 2.0 * i);
    rows += row;
  }
  kavro_test::write_file(path("loc.txt"), rows);
  ivec links, nodes;
  links.allocate(2);
  nodes.allocate(2);
  links[1] = 1, nodes[1] = 3, links[2] = 2, nodes[2] = 5;
  file_wrapper outlet, loc, out;
  ASSERT_TRUE(outlet.open(path("outlet.txt"), "r"));
  ASSERT_TRUE(loc.open(path("loc.txt"), "r"));
  ASSERT_TRUE(out.open(path("pqm.txt"), "w"));
  const std::string printed = printed_by(
      [&] { write_pqm_hydrograph_file(outlet, out, {&loc, 2, &links, &nodes}, 20030307, 1430, 1, 25); });
  out.close();
  EXPECT_EQ(occurrences(printed, "Warning:"), 1) << printed;
  EXPECT_NE(printed.find("holds 20 of the 25 rows"), std::string::npos) << printed;
  const std::string text = kavro_test::read_file(path("pqm.txt"));
  EXPECT_EQ(text, "KELVORA_PQM_HYDROGRAPH_FILE\n2\n20030307\n1430\n1\n25\n1 3\n2 5\n" +
                      series(25, [](int i) { return i + i * 1e-4; }) + "\n" +
                      series(25, [](int i) { return i <= 20 ? 0.5 * i : 0.0; }) + "\n" +
                      series(25, [](int i) { return i <= 20 ? 2.0 * i : 0.0; }));
  // An outlet file of 20 rows ends the outlet series there.
  kavro_test::write_file(path("short.txt"), outlet_rows(20));
  outlet.close();
  ASSERT_TRUE(outlet.open(path("short.txt"), "r"));
  ASSERT_TRUE(out.open(path("pqm2.txt"), "w"));
  write_pqm_hydrograph_file(outlet, out, {}, 20030307, 1430, 1, 25);
  out.close();
  EXPECT_EQ(kavro_test::read_file(path("pqm2.txt")),
            "KELVORA_PQM_HYDROGRAPH_FILE\n0\n20030307\n1430\n1\n25\n" +
                series(20, [](int i) { return i + i * 1e-4; }));
}

TEST_F(PqmFile, ReadsWhatTheRunsWritersStillHold) {
  auto ms = new_record();
  ASSERT_TRUE(ms->outlet_hydro_file.open(path("outlet.txt"), "w"));
  std::fputs(outlet_rows(3).c_str(), ms->outlet_hydro_file.fp);  // still in the writer's buffer
  ms->pqm_hydro_path = path("pqm.txt");
  ms->hydrograph_rows = 3;
  ms->start_yyyymmdd = 20030307;
  ms->start_hhmm = 1430;
  ms->hyd_interval_steps = 1;
  write_pqm_file(*ms);
  EXPECT_EQ(kavro_test::read_file(path("pqm.txt")), "KELVORA_PQM_HYDROGRAPH_FILE\n0\n20030307\n1430\n1\n3\n" +
                                                        series(3, [](int i) { return i + i * 1e-4; }));
  // No outlet writer: the message, and no file.
  ms->outlet_hydro_file.close();
  ms->pqm_hydro_path = path("none.txt");
  EXPECT_EQ(printed_by([&] { write_pqm_file(*ms); }),
            "\n\nError: Unable to open files to write the PQM hydrograph file.\n Write aborted.\n");
  EXPECT_FALSE(fs::exists(path("none.txt")));
}

TEST(OutputStaging, OwnNameOfAStagedFile) {
  kavro_test::scratch_dir dir;
  const std::string own = (dir.path() / "outlet.txt").string();
  const std::string staged = staged_name(own);
  EXPECT_EQ(own_name_of(staged), own) << "a staged file that has taken its name";
  kavro_test::write_file(staged, "x");
  EXPECT_EQ(own_name_of(staged), staged) << "still under its temporary name";
  EXPECT_EQ(own_name_of(own), own);
}

}  // namespace
}  // namespace kavro
