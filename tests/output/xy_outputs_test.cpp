// Boundary outputs of an outer run, in-process: the output points of a
// point file or an inset mask, their weights on the run's grid, the files
// written, and the search for the reaches that enter the inset.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "framework/error_record.h"
#include "framework/run_clock.h"
#include "output/xy_boundary.h"
#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::lines_of;
using kavro_test::read_file;
using kavro_test::write_file;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// An outer grid of rows x cols cells of `cell` m (10 by default), north
// edge `north` (100) and west edge 0, every cell active and numbered row by
// row; the depth of cell n is n.
struct outer_grid {
  outer_grid(int rows, int cols, double north = 100.0, double cell = 10.0)
      : rows(rows), cols(cols), north(north), cell(cell) {
    mask.allocate(rows, cols);
    depth.allocate(rows * cols);
    for (int r = 1; r <= rows; ++r)
      for (int c = 1; c <= cols; ++c) {
        mask[r][c] = (r - 1) * cols + c;
        depth[mask[r][c]] = mask[r][c];
      }
  }
  // Opens `o` against this grid; returns what it printed.
  std::string open(xy_output& o, bool mask_mode) {
    testing::internal::CaptureStdout();
    o.open(mask_mode, north, 0.0, rows, cols, cell, mask, &depth, nullptr);
    return testing::internal::GetCapturedStdout();
  }
  int rows, cols;
  double north, cell;
  imat mask{"mask"};
  dvec depth{"ov_depth"};
};

std::string mask_file(int rows, int cols, const std::vector<std::string>& lines, double north, double cell = 10.0) {
  std::string text = "north: " + std::to_string(north) + "\nsouth: " + std::to_string(north - cell * rows) +
                     "\neast: " + std::to_string(cell * cols) + "\nwest: 0\nrows: " + std::to_string(rows) +
                     "\ncols: " + std::to_string(cols) + "\n";
  for (const std::string& l : lines) text += l + "\n";
  return text;
}

class XyOutput : public testing::Test {
 protected:
  void SetUp() override { error_rec = error_record{}; }
  void TearDown() override { error_rec = error_record{}; }
  std::string file(const std::string& name, const std::string& text) {
    write_file(dir / name, text);
    return (dir / name).string();
  }
  kavro_test::scratch_dir dir;
};

TEST_F(XyOutput, InsetMaskGivesOnePointPerEdgeCellNumberedAsTheInsetNumbersIt) {
  outer_grid g(6, 6);
  xy_output o;
  o.points_file = file("inset.asc", mask_file(4, 4, {"1 1 1 1", "1 1 1 1", "1 1 1 1", "1 1 1 1"}, 90.0));
  o.ov_file_name = (dir / "xy.txt").string();
  EXPECT_EQ(g.open(o, true), "");
  std::vector<int> ids;
  for (const xy_node& p : o.points) ids.push_back(p.id);
  EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 4, 5, 8, 9, 12, 13, 14, 15, 16}));
  // Point 1 at the centre of the inset's north-west cell, which is the
  // outer's cell (2, 1): its value, to 1e-9 relative.
  EXPECT_DOUBLE_EQ(o.points[0].x, 5.0);
  EXPECT_DOUBLE_EQ(o.points[0].y, 85.0);
  EXPECT_NEAR(xy_point_value(o.points[0], g.depth), 7.0, 7e-9);
  build_mask_boundary(o.inset);
  EXPECT_EQ(o.inset.segments.size(), 16u);
  // Each edge cell's outer sides, clockwise: the north-west cell's north side
  // runs east, its west side runs north.
  EXPECT_EQ(o.inset.segments[0].p1.x, 0.0);
  EXPECT_EQ(o.inset.segments[0].p2.x, 10.0);
  EXPECT_EQ(o.inset.segments[0].p1.y, 90.0);
  EXPECT_EQ(o.inset.segments[1].p1.y, 80.0);
  EXPECT_EQ(o.inset.segments[1].p2.y, 90.0);

  o.write_step(julian_date(2010, 7, 1, 9, 1, 0.0));
  o.close();
  const std::vector<std::string> lines = lines_of(read_file(dir / "xy.txt"));
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "XY_OV_DEPTH");
  EXPECT_EQ(lines[1], "12");
  EXPECT_EQ(lines[2].substr(0, 37), "DATE       TIME \t         1         2");
  EXPECT_EQ(lines[3].substr(0, 31), "2010 07 01 09 01\t      7.000000");
  EXPECT_EQ(lines[4], "END_TS");
}

TEST_F(XyOutput, PointsTakeTheFourCellsAroundThemByInverseSquareDistance) {
  outer_grid g(5, 5);
  xy_output o;
  // In the upper-right quarter of cell (3, 3), whose centre is (25, 75); at
  // the centre of cell (2, 4); on the west edge of the grid; and 5 m west of it.
  o.points_file = file("pts.txt", "4\n27.0 78.0 1\n35.0 85.0 2\n0.0 58.0 3\n-5.0 58.0 4\n");
  const std::string out = g.open(o, false);
  ASSERT_EQ(o.points.size(), 4u);
  const xy_node& p = o.points[0];
  ASSERT_EQ(p.n_near, 4);
  EXPECT_EQ(std::vector<int>(p.cell_ids.begin(), p.cell_ids.end()), (std::vector<int>{8, 9, 13, 14}));
  const double cx[] = {25, 35, 25, 35}, cy[] = {85, 85, 75, 75};
  double num = 0, den = 0;
  for (int k = 0; k < 4; ++k) {
    const double w = 1.0 / ((27 - cx[k]) * (27 - cx[k]) + (78 - cy[k]) * (78 - cy[k]));
    EXPECT_DOUBLE_EQ(p.weights[k], w);
    num += w * p.cell_ids[k], den += w;
  }
  EXPECT_DOUBLE_EQ(xy_point_value(p, g.depth), num / den);
  EXPECT_NEAR(xy_point_value(o.points[1], g.depth), 9.0, 9e-9);
  // x = 0 lies in the grid's first column (its western side counts), so it
  // is valued from its cells; x = -5 lies outside and takes the nearest.
  EXPECT_EQ(o.points[2].n_near, 2);
  EXPECT_EQ(o.points[3].n_near, 1);
  EXPECT_EQ(o.points[3].cell_ids[0], 21);
  EXPECT_EQ(o.points[3].weight_sum, 1.0);
  EXPECT_EQ(out,
            "Warning... an XY output point (x=   -5.00, y=   58.00) is not located in an active cell. \n    The result "
            "will be the value of the single nearest neighbor.\n");
}

TEST_F(XyOutput, AnIsolatedCellGivesItsValueWithWeightOne) {
  outer_grid g(3, 3);
  for (int r = 1; r <= 3; ++r)
    for (int c = 1; c <= 3; ++c)
      if (r != 2 || c != 2) g.mask[r][c] = 0;
  xy_output o;
  o.points_file = file("pts.txt", "2\n12.0 88.0 7\n18.0 82.0 8\n");
  g.open(o, false);
  for (const xy_node& p : o.points) {
    EXPECT_EQ(p.n_near, 1);
    EXPECT_EQ(p.weights[0], 1.0);
    EXPECT_EQ(xy_point_value(p, g.depth), 5.0);
  }
}

TEST_F(XyOutput, PointAndMaskFilesThatCannotBeUsed) {
  outer_grid g(3, 3);
  struct bad {
    const char* text;
    bool mask;
    const char* message;
    bool stops;
  };
  const bad cases[] = {
      {"3\n5 5 1\n15 5 2\n", false,
       "Warning!!! The number of points specified in the xy output file is more than the actual points in the "
       "file.\n",
       false},
      {"2\n5 5 1\n15 five 2\n", false, "does not hold x, y and a point number", true},
      {"north: 100\nsouth: 100\neast: 30\nwest: 0\nrows: 0\ncols: 3\n", true, "holds no cells", true},
      {"north: 100\nsouth: 90\neast: 30\nwest: 0\nrows: 2\ncols: 3\n1 1 1\n", true, "", true},
  };
  for (const bad& c : cases) {
    error_rec = error_record{};
    xy_output o;
    o.points_file = file("bad.txt", c.text);
    testing::internal::CaptureStderr();
    const std::string out = g.open(o, c.mask);
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(has(out, c.message)) << out;
    EXPECT_EQ(error_rec.code != 0 || error_rec.stop != 0, c.stops) << c.text;
  }
  error_rec = error_record{};
  xy_output o;
  o.points_file.clear();
  EXPECT_EQ(g.open(o, false), "Error: filename for XY Output File not specified.\n");
  o.points_file = (dir / "absent.asc").string();
  EXPECT_TRUE(has(g.open(o, true), "Error: unable to open the XY output mask file.\n"));
  EXPECT_EQ(error_rec.code, 0);
}

TEST_F(XyOutput, SegmentsCrossWhenTheStreamEndsOnTheEdgeNotWhenItStartsThere) {
  const auto seg = [](double x1, double y1, double x2, double y2) {
    xy_segment s;
    s.p1.x = x1, s.p1.y = y1, s.p2.x = x2, s.p2.y = y2;
    return s;
  };
  const xy_segment edge = seg(80, 120, 100, 120);
  struct crossing {
    xy_segment stream;
    bool crosses;
  };
  const crossing cases[] = {
      {seg(90, 130, 90, 110), true},   // through the middle
      {seg(90, 130, 90, 120), true},   // ends on the edge
      {seg(90, 120, 90, 110), false},  // starts on it: the reach before holds the crossing
      {seg(90, 130, 90, 121), false},  // stops short
      {seg(70, 130, 70, 110), false},  // beside the edge
      {seg(80, 125, 100, 125), false}, // parallel
      {seg(100, 130, 100, 110), true}, // through the edge's end
  };
  for (const crossing& c : cases)
    EXPECT_EQ(segments_intersect(edge, c.stream), c.crosses)
        << c.stream.p1.x << "," << c.stream.p1.y << " -> " << c.stream.p2.x << "," << c.stream.p2.y;

  std::vector<xy_node> list;
  add_stream_crossing(list, 1, 1, 2, 5);
  add_stream_crossing(list, 2, 2, 1, 3);
  add_stream_crossing(list, 3, 3, 2, 9);
  add_stream_crossing(list, 4, 4, 2, 7);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].node, 9);
  EXPECT_EQ(list[0].x, 3.0);
}

// A channel file of two links over the grid of the channel plane (12 x 5
// cells of 20 m): link 1 runs south along x = 90 through the inset of rows
// 7 to 12 and out of it; link 2 meanders out of the inset and back in.
std::string two_link_channel() {
  std::string s = "KAVRO_CHAN\nLINKS 2\n  link 1\n";
  for (int k = 1; k <= 13; ++k)
    s += "NODE " + std::to_string(k) + "\n\tx_y 90.0 " + std::to_string(250 - 20 * k) + "\n";
  s += "LINK 2\n";
  const double ys[] = {130, 110, 130, 100, 60, 40};
  for (int k = 1; k <= 6; ++k) s += "Node " + std::to_string(k) + "\nX_Y 30 " + std::to_string(ys[k - 1]) + "\n";
  // Lines that only begin like the cards are no cards.
  s += "LINKS_EXTRA 9\nX_Yz 0 0\n";
  return s;
}

TEST_F(XyOutput, StreamCrossingsAreTheReachesThatFlowIntoTheInset) {
  outer_grid g(12, 5, 240.0, 20.0);
  xy_output o;
  o.points_file = file("inset.asc", mask_file(6, 5, std::vector<std::string>(6, "1 1 1 1 1"), 120.0, 20.0));
  o.st_file_name = (dir / "st.txt").string();
  g.open(o, true);
  dmat qp("qp");
  qp.allocate(13, 2);
  qp[6][1] = 0.123456;
  qp[3][2] = 0.5;
  ivec nx("nx");
  nx.allocate(2);
  nx[1] = 12, nx[2] = 5;
  const std::string chan = file("chan.txt", two_link_channel());
  testing::internal::CaptureStdout();
  o.find_inset_stream_crossings(chan, &qp, 2, nx);
  const std::string out = testing::internal::GetCapturedStdout();
  // Link 1 enters at the reach of node 6 and leaves at node 12 (not written);
  // link 2 enters at node 1, leaves, and enters again at the reach of node 3
  // (130 -> 100), its largest entering node.
  EXPECT_EQ(out, "KAVRO identified 2 stream link/nodes as crossing the inset mask boundary.\n1,6\t2,3\t\n");
  ASSERT_EQ(o.crossings.size(), 2u);
  EXPECT_EQ(o.crossings[1].y, 115.0);
  o.write_step(julian_date(2010, 7, 1, 9, 5, 0.0));
  o.close();
  EXPECT_EQ(read_file(dir / "st.txt"),
            "XY_STREAM_HYDROGRAPHS\n2\n"
            "X                 \t         90.000         30.000\n"
            "Y                 \t        120.000        115.000\n"
            "2010 07 01 09 05\t         0.1235         0.5000\n"
            "END_TS\n");

  // Without channels no stream output; without its file name the crossings
  // are listed and the file refused.
  xy_output none;
  none.find_inset_stream_crossings(chan, nullptr, 2, nx);
  EXPECT_EQ(none.st_on, 0);
  xy_output unnamed;
  g.open(unnamed, false);
  testing::internal::CaptureStdout();
  unnamed.find_inset_stream_crossings(chan, &qp, 2, nx);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "KAVRO identified 0 stream link/nodes as crossing the inset mask boundary.\n\nError: unable to open the "
            "stream boundary XY hydrograph ouput file\n");
  EXPECT_EQ(unnamed.st_on, 0);
}

}  // namespace
}  // namespace kavro
