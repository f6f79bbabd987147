// The output-location lists in whole runs of the 12 x 5 plane of 20 m cells
// draining into one channel link of 12 nodes down column 5: the listed
// channel nodes get their discharge written, the listed cells their depth,
// and a list naming a place the project does not have is refused with the
// file, the entry and the value.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace kavro {
namespace {

namespace fs = std::filesystem;
using kavro_test::read_file;
using kavro_test::write_file;

class LocationOutputs : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& entry : fs::directory_iterator(kavro_test::data_dir() / "channel_runs" / "plane"))
      fs::copy_file(entry.path(), dir / entry.path().filename().string());
  }
  kavro_test::run_result run(const std::string& extra, bool channel = true) {
    std::string p = read_file(dir / "p.prj");
    if (!channel)
      for (const char* card : {"CHAN_EXPLIC", "CHANNEL_INPUT", "STREAM_CELL"}) p = kavro_test::without_card(p, card);
    write_file(dir / "p.prj", p + extra);
    return kavro_test::run_program(kavro_test::kavro_binary(), {"p.prj"}, dir.path());
  }
  kavro_test::scratch_dir dir;
};

// The numbers of each line of a text.
std::vector<std::vector<double>> rows_of(const std::string& text) {
  std::vector<std::vector<double>> rows;
  for (const std::string& line : kavro_test::lines_of(text)) {
    std::istringstream in(line);
    std::vector<double> row;
    double v = 0.0;
    while (in >> v) row.push_back(v);
    if (!row.empty()) rows.push_back(row);
  }
  return rows;
}

TEST_F(LocationOutputs, ListedChannelNodesGetTheirDischarge) {
  write_file(dir / "hyd.txt", "2\n1 6\n1 12\n");
  const auto r = run("IN_HYD_LOCATION   hyd.txt\nOUT_HYD_LOCATION  hyd_out.txt\n");
  ASSERT_EQ(r.exit_code, 0) << r.out;
  const auto located = rows_of(read_file(dir / "hyd_out.txt"));
  const auto outlet = rows_of(read_file(dir / "outlet.txt"));
  ASSERT_EQ(located.size(), outlet.size());
  ASSERT_GT(located.size(), 100u);
  double peak_mid = 0.0, peak_last = 0.0, sum_last = 0.0, sum_outlet = 0.0;
  for (std::size_t k = 0; k < located.size(); ++k) {
    ASSERT_EQ(located[k].size(), 3u) << "time and two discharges";
    EXPECT_NEAR(located[k][0], outlet[k][0], 1e-6);
    peak_mid = std::max(peak_mid, located[k][1]);
    peak_last = std::max(peak_last, located[k][2]);
    sum_last += located[k][2];
    sum_outlet += outlet[k][1];
  }
  // The last node of the last link is the outlet: its discharge at each row
  // time carries the same water as the outlet rows, which hold the mean
  // discharge since the row before.
  EXPECT_NEAR(sum_last, sum_outlet, 0.02 * sum_outlet);
  // Node 6 drains half of the plane, node 12 all of it.
  EXPECT_GT(peak_mid, 0.2 * peak_last);
  EXPECT_LT(peak_mid, 0.8 * peak_last);
}

TEST_F(LocationOutputs, ListedCellsGetTheirDepthWithoutAChannelToo) {
  write_file(dir / "cells.txt", "2\n6 3\n12 5\n");
  const auto r = run("IN_CELLDEPDIS_LOCATION  cells.txt\nOUT_CELLDEPDIS_LOCATION cells_out.txt\n", false);
  ASSERT_EQ(r.exit_code, 0) << r.out;
  const auto rows = rows_of(read_file(dir / "cells_out.txt"));
  ASSERT_GT(rows.size(), 100u);
  double deepest = 0.0, largest_q = 0.0;
  for (const auto& row : rows) {
    ASSERT_EQ(row.size(), 5u) << "time, two depths, two discharges";
    deepest = std::max({deepest, row[1], row[2]});
    largest_q = std::max({largest_q, row[3], row[4]});
  }
  EXPECT_GT(deepest, 1e-4);
  EXPECT_GT(largest_q, 0.0);
}

TEST_F(LocationOutputs, ListsNamingPlacesTheProjectDoesNotHaveAreRefused) {
  struct refusal {
    const char* name;
    std::string cards;
    std::string list;
    bool channel;
    std::string message;
  };
  const refusal cases[] = {
      {"link 5 of a one-link network", "IN_HYD_LOCATION   list.txt\nOUT_HYD_LOCATION  out.txt\n", "2\n1 3\n5 1\n",
       true, "Error: entry 2 of file list.txt names link 5; the channel network has links 1 to 1.\n"},
      {"node 13 of a link of 12 nodes", "IN_HYD_LOCATION   list.txt\nOUT_HYD_LOCATION  out.txt\n", "1\n1 13\n",
       true, "Error: entry 1 of file list.txt names node 13 of link 1; the link has nodes 1 to 12.\n"},
      {"a hydrograph list without channels", "IN_HYD_LOCATION   list.txt\nOUT_HYD_LOCATION  out.txt\n",
       "1\n1 1\n", false,
       "Error: entry 1 of file list.txt names link 1, but the project has no channel network (card "
       "CHANNEL_INPUT).\n"},
      {"row 0", "IN_CELLDEPDIS_LOCATION  list.txt\nOUT_CELLDEPDIS_LOCATION out.txt\n", "1\n0 3\n", true,
       "Error: entry 1 of file list.txt is at row 0 column 3, outside the grid of 12 rows and 5 columns.\n"},
      {"a count the list does not hold", "IN_HYD_LOCATION   list.txt\nOUT_HYD_LOCATION  out.txt\n", "3\n1 1\n",
       true, "End of file reached in file list.txt, exiting\n"},
  };
  const std::string project = read_file(dir / "p.prj");
  for (const refusal& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(dir / "p.prj", project);
    write_file(dir / "list.txt", c.list);
    const auto r = run(c.cards, c.channel);
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Running...."), std::string::npos) << r.out;
  }
}

}  // namespace
}  // namespace kavro
