// Boundary inputs of an inset run, in-process: the point files and their
// refusals, the depths, stages and heads set at a time with the volumes they
// add and remove, the interpolation onto type-8 cells, and the stream points
// with their matching to the channel network.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "framework/error_record.h"
#include "framework/run_clock.h"
#include "input/time_series.h"
#include "output/xy_boundary.h"
#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::write_file;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

double at(int hour, int minute) { return julian_date(2010, 7, 1, hour, minute, 0.0); }

// Each test starts and ends with no series and a clean error record.
class XyInput : public testing::Test {
 protected:
  void SetUp() override { clean(); }
  void TearDown() override { clean(); }
  static void clean() {
    free_time_series_list();
    error_rec = error_record{};
  }

  std::string file(const std::string& name, const std::string& text) {
    write_file(dir / name, text);
    return (dir / name).string();
  }
  // Reads a point file into `xy`; returns what it printed.
  std::string read(const std::string& path, const char* kind, const char* header, xy_point_set set, bool by_cell) {
    testing::internal::CaptureStdout();
    xy.read_point_file(path, kind, header, set, by_cell);
    return testing::internal::GetCapturedStdout();
  }
  std::string read_depths(const std::string& text) {
    return read(file("depth.txt", text), "overland", "XY_OV_DEPTH", xy_point_set::ov, true);
  }

  kavro_test::scratch_dir dir;
  xy_input xy;
};

// A row of cells of 10 m whose centres lie at x = 5, 15, 25, ... and y = 5.
struct cell_row {
  explicit cell_row(int n) {
    x.grow(n), y.grow(n), types.allocate(n), depth.allocate(n), elevation.allocate(n);
    for (int i = 1; i <= n; ++i) x[i] = 10.0 * i - 5.0, y[i] = 5.0;
  }
  checked_array<double> x{"cell_x"}, y{"cell_y"};
  ivec types{"boundary_type"};
  dvec depth{"ov_depth"}, elevation{"elevation"};
};

const char* two_rows =
    "XY_OV_DEPTH\n1\nDATE       TIME \t         3\n"
    "2010 07 01 09 01\t      0.010000\n2010 07 01 09 03\t      0.030000\nEND_TS\n";

TEST_F(XyInput, DepthFileSetsItsCellsAtEveryTimeAndBooksTheChange) {
  EXPECT_EQ(read_depths(two_rows), "");
  ASSERT_EQ(xy.n_ovpts, 1);
  EXPECT_EQ(xy.ovpts[1].id, 3);
  ASSERT_NE(xy.ovpts[1].series, nullptr);
  EXPECT_EQ(xy.ovpts[1].series->name, "XY_OV_DEPTH_0000");

  cell_row cells(5);
  ASSERT_TRUE(xy.mark_ov_point_cells(cells.types, 5));
  EXPECT_EQ(cells.types[3], 9);
  // Linear between the rows, the first and last value outside them; the
  // volumes are the depth changes over a 10 m cell.
  struct step {
    int hour, minute;
    double depth, in, out;
  };
  const step steps[] = {{9, 0, 0.01, 1.0, 0.0}, {9, 2, 0.02, 1.0, 0.0}, {9, 3, 0.03, 1.0, 0.0},
                        {9, 30, 0.03, 0.0, 0.0}, {9, 1, 0.01, 0.0, 2.0}};
  for (const step& s : steps) {
    double in = -1, out = -1;
    xy.apply_ov_depth(at(s.hour, s.minute), 10.0, cells.depth, in, out);
    EXPECT_NEAR(cells.depth[3], s.depth, 1e-12) << s.hour << ":" << s.minute;
    EXPECT_NEAR(in, s.in, 1e-9) << s.hour << ":" << s.minute;
    EXPECT_NEAR(out, s.out, 1e-9) << s.hour << ":" << s.minute;
    EXPECT_EQ(cells.depth[2] + cells.depth[4], 0.0);
  }
}

TEST_F(XyInput, NegativeDepthsAndStagesBelowTheGroundGiveDryCells) {
  read(file("stage.txt", "XY_OV_DEPTH_INTERP\n2\nX 5 15\nY 5 5\n2010 07 01 09 00 99.5 100.25\nEND_TS\n"), "overland",
       "XY_OV_DEPTH_INTERP", xy_point_set::ov_interp, false);
  ASSERT_EQ(xy.n_ovInterpSrcPts, 2);
  cell_row cells(2);
  cells.types[1] = cells.types[2] = 8;
  cells.elevation[1] = cells.elevation[2] = 100.0;
  cells.depth[1] = 0.1;
  xy.setup_ov_interp(cells.types, 2, cells.x, cells.y);
  ASSERT_EQ(xy.n_ovInterpPts, 2);
  double in = 0, out = 0;
  xy.apply_ov_stage(at(9, 0), 10.0, cells.elevation, cells.depth, in, out);
  // Each source sits on a cell centre (weight 1e8), so each cell takes its
  // own stage to 1e-8 relative.
  EXPECT_EQ(cells.depth[1], 0.0);
  EXPECT_NEAR(cells.depth[2], 0.25, 1e-6);
  EXPECT_NEAR(out, 10.0, 1e-9);
  EXPECT_NEAR(in, cells.depth[2] * 100.0, 1e-12);

  xy_input depths;
  testing::internal::CaptureStdout();
  depths.read_point_file(file("neg.txt", "XY_OV_DEPTH\n1\nDATE TIME 1\n2010 07 01 09 00 -0.01\nEND_TS\n"),
                         "overland", "XY_OV_DEPTH", xy_point_set::ov, true);
  testing::internal::GetCapturedStdout();
  cells.depth[1] = 0.004;
  depths.apply_ov_depth(at(9, 0), 10.0, cells.depth, in, out);
  EXPECT_EQ(cells.depth[1], 0.0);
  EXPECT_NEAR(out, 0.4, 1e-12);
}

TEST_F(XyInput, VolumesInAndOutAreTheDepthChangesOfEveryCell) {
  std::string text = "XY_OV_DEPTH\n6\nDATE TIME 1 2 3 4 5 6\n";
  std::mt19937 random(7);
  std::uniform_real_distribution<double> d(-0.02, 0.05);
  for (int minute = 0; minute < 30; minute += 5) {
    text += "2010 07 01 09 " + std::to_string(minute);
    for (int k = 0; k < 6; ++k) text += " " + std::to_string(d(random));
    text += "\n";
  }
  read_depths(text + "END_TS\n");
  cell_row cells(6);
  for (int minute = 0; minute < 40; minute += 3) {
    std::vector<double> before(cells.depth.begin(), cells.depth.end());
    double in = 0, out = 0;
    xy.apply_ov_depth(at(9, minute) + 17.0 / 86400.0, 10.0, cells.depth, in, out);
    double gained = 0, lost = 0;
    for (int i = 1; i <= 6; ++i) {
      const double change = (cells.depth[i] - before[i]) * 100.0;
      (change > 0 ? gained : lost) += std::fabs(change);
      EXPECT_GE(cells.depth[i], 0.0);
    }
    EXPECT_NEAR(in, gained, 1e-12);
    EXPECT_NEAR(out, lost, 1e-12);
  }
}

TEST_F(XyInput, FilesThatCannotBeUsedPrintWhyAndTheRunGoesOn) {
  struct refusal {
    const char* text;
    const char* message;
  };
  const refusal cases[] = {
      {"XY_GW_HEAD\n1\nDATE TIME 1\n2010 07 01 09 00 1.0\nEND_TS\n",
       "Error: file used for overland xy boundary input file is not of appropriate type. File header does not match "
       "XY_OV_DEPTH.\n"},
      {"XY_OV_DEPTH\n0\n", "Warning: No points in overland xy boundary input file.\n"},
  };
  for (const refusal& c : cases) {
    read_depths(two_rows);
    EXPECT_EQ(read_depths(c.text), c.message);
    EXPECT_EQ(error_rec.code, 0);
    // A header that does not match reads nothing; a count of 0 leaves no points.
    EXPECT_EQ(xy.n_ovpts, has(c.message, "not of appropriate type") ? 1 : 0);
  }
  EXPECT_TRUE(has(read(file("none.txt", ""), "overland", "XY_OV_DEPTH", xy_point_set::ov, true),
                  "not of appropriate type"));
  EXPECT_TRUE(has(read((dir / "absent.txt").string(), "groundwater", "XY_GW_HEAD", xy_point_set::gw, true),
                  "Error: unable to open groundwater xy boundary input file.\n"));
}

TEST_F(XyInput, FilesThatWouldBeReadOutOfRangeStopTheRun) {
  struct refusal {
    const char* text;
    bool by_cell;
    const char* message;
  };
  const refusal cases[] = {
      {"XY_OV_DEPTH\n3\nDATE TIME 1 2\n2010 07 01 09 00 1 2\nEND_TS\n", true,
       "does not hold two labels and 3 cell numbers"},
      {"XY_OV_DEPTH\n2000000000\nDATE TIME 1 2\n", true, "does not hold two labels and 2000000000 cell numbers"},
      {"XY_OV_DEPTH\n2\nDATE TIME 1 x\n2010 07 01 09 00 1 2\nEND_TS\n", true, "cell numbers"},
      {"XY_OV_DEPTH_INTERP\n2\nX 1 2\nY 3\n2010 07 01 09 00 1 2\nEND_TS\n", false,
       "line 4 of the overland xy boundary input file"},
      {"XY_OV_DEPTH\n1\nDATE TIME 1\nEND_TS\n", true, "holds no dated rows"},
  };
  for (const refusal& c : cases) {
    error_rec = error_record{};
    const std::string out =
        read(file("bad.txt", c.text), "overland", c.by_cell ? "XY_OV_DEPTH" : "XY_OV_DEPTH_INTERP",
             c.by_cell ? xy_point_set::ov : xy_point_set::ov_interp, c.by_cell);
    EXPECT_TRUE(has(out, c.message)) << out;
    EXPECT_TRUE(has(out, "bad.txt")) << out;
    EXPECT_EQ(error_rec.code, already_printed_code) << c.text;
    EXPECT_EQ(xy.n_ovpts + xy.n_ovInterpSrcPts, 0);
  }
}

TEST_F(XyInput, CellNumbersOutsideTheGridAreRefusedNamingFilePointAndNumber) {
  read_depths("XY_OV_DEPTH\n3\nDATE TIME 4 11 0\n2010 07 01 09 00 1 2 3\nEND_TS\n");
  cell_row cells(10);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(xy.mark_ov_point_cells(cells.types, 10));
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string path = (dir / "depth.txt").string();
  EXPECT_TRUE(has(out, "Error: point 2 of the overland xy boundary input file " + path +
                           " names cell 11; the grid has cells 1 to 10.\n"))
      << out;
  EXPECT_TRUE(has(out, "point 3 of the overland xy boundary input file " + path + " names cell 0")) << out;
  EXPECT_EQ(error_rec.code, already_printed_code);
  EXPECT_EQ(cells.types[4], 0);  // nothing marked

  // The groundwater points are checked by the groundwater set-up.
  error_rec = error_record{};
  read(file("heads.txt", "XY_GW_HEAD\n1\nDATE TIME 12\n2010 07 01 09 00 100\nEND_TS\n"), "groundwater",
       "XY_GW_HEAD", xy_point_set::gw, true);
  testing::internal::CaptureStdout();
  xy.setup_gw_interp(cells.types, 10, cells.x, cells.y);
  EXPECT_TRUE(has(testing::internal::GetCapturedStdout(), "point 1 of the groundwater xy boundary input file"));
  EXPECT_EQ(error_rec.code, already_printed_code);
}

TEST_F(XyInput, ATypeEightCellWithoutSourcePointsIsRefused) {
  cell_row cells(4);
  cells.types[2] = 8;
  cells.types[4] = 8;
  testing::internal::CaptureStdout();
  xy.setup_ov_interp(cells.types, 4, cells.x, cells.y);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(has(out, "Error: overland boundary cell 2 is of type 8")) << out;
  EXPECT_TRUE(has(out, "Error: overland boundary cell 4 is of type 8")) << out;
  EXPECT_EQ(error_rec.code, already_printed_code);
  EXPECT_EQ(xy.n_ovInterpPts, 0);
}

// Source points along a line y = 5 at the given x; each sees the series
// value equal to its position from 1.
std::string source_file(const char* header, const std::vector<double>& xs) {
  std::string x = "X", y = "Y", row = "2010 07 01 09 00";
  for (size_t k = 0; k < xs.size(); ++k) {
    x += " " + std::to_string(xs[k]);
    y += " 5";
    row += " " + std::to_string(k + 1);
  }
  return std::string(header) + "\n" + std::to_string(xs.size()) + "\n" + x + "\n" + y + "\n" + row + "\nEND_TS\n";
}

TEST_F(XyInput, TypeEightCellsTakeTheirFiveNearestSourcesByInverseSquareDistance) {
  cell_row cells(3);
  cells.types[1] = 8;
  const std::vector<double> seven = {95.0, 25.0, 65.0, 15.0, 45.0, 35.0, 105.0};
  read(file("src.txt", source_file("XY_OV_DEPTH_INTERP", seven)), "overland", "XY_OV_DEPTH_INTERP",
       xy_point_set::ov_interp, false);
  xy.setup_ov_interp(cells.types, 3, cells.x, cells.y);
  ASSERT_EQ(xy.n_ovInterpPts, 1);
  const xy_interp_cell& e = xy.ovInterpPts[1];
  EXPECT_EQ(e.cell, 1);
  EXPECT_EQ(cells.types[1], 8);  // overland cells keep their type
  ASSERT_EQ(e.n_points, 5);
  // Cell 1 lies at x = 5: distances 10, 20, 30, 40, 60 in that order.
  const int nearest[] = {4, 2, 6, 5, 3};
  for (int q = 0; q < 5; ++q) {
    EXPECT_EQ(e.sources[q], nearest[q]);
    const double d = seven[nearest[q] - 1] - 5.0;
    EXPECT_DOUBLE_EQ(e.weights[q], 1.0 / (d * d));
  }
  double in = 0, out = 0;
  xy.apply_ov_depth(at(9, 0), 10.0, cells.depth, in, out);
  double num = 0, den = 0;
  for (int q = 0; q < 5; ++q) num += e.weights[q] * nearest[q], den += e.weights[q];
  EXPECT_NEAR(cells.depth[1], num / den, 1e-12);

  // Three sources: all three, in file order.
  xy_input three;
  testing::internal::CaptureStdout();
  three.read_point_file(file("src3.txt", source_file("XY_OV_DEPTH_INTERP", {45.0, 5.0 + 5e-6, 25.0})), "overland",
                        "XY_OV_DEPTH_INTERP", xy_point_set::ov_interp, false);
  testing::internal::GetCapturedStdout();
  three.setup_ov_interp(cells.types, 3, cells.x, cells.y);
  const xy_interp_cell& t = three.ovInterpPts[1];
  ASSERT_EQ(t.n_points, 3);
  EXPECT_EQ(std::vector<int>(t.sources.begin(), t.sources.begin() + 3), (std::vector<int>{1, 2, 3}));
  // A source within 1e-5 of the centre counts at 1e-4: weight 1e8.
  EXPECT_DOUBLE_EQ(t.weights[1], 1e8);
  three.apply_ov_depth(at(9, 0), 10.0, cells.depth, in, out);
  EXPECT_NEAR(cells.depth[1], 2.0, 2.0 * 1e-6);
}

TEST_F(XyInput, DistanceSortOrdersAnyListWithTies) {
  std::mt19937 random(11);
  for (int trial = 0; trial < 300; ++trial) {
    const int n = 1 + trial % 40;
    std::vector<double> d(n + 1);
    std::vector<int> idx(n);
    for (int s = 1; s <= n; ++s) d[s] = std::uniform_int_distribution<int>(0, trial % 3 == 0 ? 3 : 1000)(random);
    for (int k = 0; k < n; ++k) idx[k] = k + 1;
    quicksort_by_distance(d, idx, 0, n - 1);
    std::vector<int> sorted = idx;
    std::sort(sorted.begin(), sorted.end());
    for (int k = 0; k < n; ++k) ASSERT_EQ(sorted[k], k + 1) << "not a permutation, trial " << trial;
    for (int k = 1; k < n; ++k) ASSERT_LE(d[idx[k - 1]], d[idx[k]]) << "trial " << trial;
  }
}

TEST_F(XyInput, HeadsBookStorageTimesHeadChangeAndTypeEightCellsAreHeld) {
  read(file("heads.txt", "XY_GW_HEAD\n2\nDATE TIME 1 2\n2010 07 01 09 00 100.5 100.8\nEND_TS\n"), "groundwater",
       "XY_GW_HEAD", xy_point_set::gw, true);
  ASSERT_EQ(xy.n_gwpts, 2);
  cell_row cells(3);
  dvec head("elevgw"), storage("gw_storage");
  head.allocate(3), storage.allocate(3);
  head[1] = 100.0, head[2] = 101.0;
  storage[1] = storage[2] = storage[3] = 0.3;
  cells.types[3] = 8;
  read(file("src.txt", source_file("XY_GW_HEAD_INTERP", {25.0})), "groundwater", "XY_GW_HEAD_INTERP",
       xy_point_set::gw_interp, false);
  xy.setup_gw_interp(cells.types, 3, cells.x, cells.y);
  EXPECT_EQ(error_rec.code, 0);
  EXPECT_EQ(cells.types[3], 2);
  ASSERT_EQ(xy.n_gwInterpPts, 1);
  head[3] = 0.5;
  double gain = 0, loss = 0;
  xy.apply_gw_head(at(9, 0), 10.0, head, storage, gain, loss);
  EXPECT_DOUBLE_EQ(head[1], 100.5);
  EXPECT_DOUBLE_EQ(head[2], 100.8);
  EXPECT_NEAR(head[3], 1.0, 1e-12);
  EXPECT_NEAR(gain, 15.0 + 0.5 * 100.0 * 0.3, 1e-9);
  EXPECT_NEAR(loss, 6.0, 1e-9);
}

// ---------------------------------------------------------------------------
// Stream points.

// Three links of two reaches each, running east at y = 0, 100 and 200 (link
// 1 of breakpoint sections, link 3 a structure link that takes no points).
struct network {
  network() {
    nx1.allocate(3), nx.allocate(3), ltype.allocate(3), lnx.allocate(4, 3), lny.allocate(4, 3);
    for (int l = 1; l <= 3; ++l) {
      nx1[l] = 3, nx[l] = 2;
      ltype[l] = l == 1 ? 8 : l == 2 ? 4 : 64;
      for (int j = 1; j <= 3; ++j) lnx[j][l] = 100.0 * (j - 1), lny[j][l] = 100.0 * (l - 1);
    }
  }
  std::string match(xy_input& xy) const {
    testing::internal::CaptureStdout();
    xy.match_stream_points(3, nx1, nx, ltype, lnx, lny);
    return testing::internal::GetCapturedStdout();
  }
  ivec nx1{"nx1"}, nx{"nx"}, ltype{"ltype"};
  dmat lnx{"lnx"}, lny{"lny"};
};

TEST_F(XyInput, StreamTimeSeriesPointsBindTheirSeriesAndReaches) {
  testing::internal::CaptureStdout();
  read_time_series_file(file("q.ts", "KAVRO_TS\nQ10\nABSOLUTE\n2010 7 1 9 0 10\nEND_TS\n"
                                     "KAVRO_TS\nQ1\nABSOLUTE\n2010 7 1 9 0 1\nEND_TS\n"));
  testing::internal::GetCapturedStdout();
  const std::string path = file("st.txt",
                                "KAVRO_XY_ST_BDY_TS\n"
                                "END_TS\nXY 1 1\n"  // outside any block: ignored
                                "KAVRO_TS\nLINKNODE 2 1\nTIMESERIES \"Q1\"\nEND_TS\nEND_TS\nEND_TS\n"
                                "KAVRO_TS\n  xy 50 95\ntimeseries Q10\nEND_TS\n"
                                "KAVRO_TS\nXY 155 -10\nTIMESERIES Q1\nEND_TS\n");
  testing::internal::CaptureStdout();
  xy.read_stream_timeseries(path);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  ASSERT_EQ(xy.n_stpts, 3);
  EXPECT_EQ(xy.stpts[1].series->name, "Q1");
  EXPECT_EQ(xy.stpts[2].series->name, "Q10");
  EXPECT_EQ(xy.stpts[1].linked, 1);

  const std::string out = network().match(xy);
  EXPECT_EQ(out,
            "Matching up stream input to current link/node network \n"
            "For input 1 the closest link/node pair is 5.000000 m from link 2 node 1 \n \n"
            "For input 2 the closest link/node pair is 11.180340 m from link 1 node 2 \n \n\n");
  EXPECT_EQ(xy.stpts[1].link, 2);  // given by LINKNODE: kept
  EXPECT_EQ(xy.stpts[1].node, 1);
  EXPECT_EQ(xy.stpts[3].link, 1);
  EXPECT_EQ(xy.stpts[3].node, 2);
  EXPECT_EQ(error_rec.code, 0);

  // A second file appends its points.
  const std::string more = file("more.txt", "KAVRO_XY_ST_BDY_TS\nKAVRO_TS\nLINKNODE 4 7\nTIMESERIES Q1\nEND_TS\n");
  testing::internal::CaptureStdout();
  xy.read_stream_timeseries(more);
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(xy.n_stpts, 4);
  EXPECT_EQ(xy.stpts[4].link, 4);
  EXPECT_EQ(xy.stpts[4].node, 7);
  // Link 4 is not in this network: refused before anything reads it.
  EXPECT_TRUE(has(network().match(xy), "Error: stream boundary input 3 names link 4 node 7"));
  EXPECT_EQ(error_rec.code, already_printed_code);
}

TEST_F(XyInput, StreamTimeSeriesFileAboveItsSeriesReportsEveryBlock) {
  const std::string path =
      file("st.txt", "KAVRO_XY_ST_BDY_TS\nKAVRO_TS\nXY 0 0\nTIMESERIES A\nEND_TS\nKAVRO_TS\nTIMESERIES B\nEND_TS\n");
  testing::internal::CaptureStdout();
  xy.read_stream_timeseries(path);
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string hint =
      "         Perhaps the related TIME_SERIES_FILE card in the project file is below the XYBDYINPUT_STTIMESERIES "
      "card?\n";
  EXPECT_EQ(out, "Error!!! unable to find time series [A] for the xy boundary stream time series file.\n" + hint +
                     "Error!!! unable to find time series [B] for the xy boundary stream time series file.\n" + hint);
  EXPECT_EQ(xy.n_stpts, 2);
  EXPECT_EQ(xy.stpts[1].series, nullptr);

  testing::internal::CaptureStdout();
  xy.read_stream_timeseries(file("bad.txt", "KAVRO_TS\n"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error: incorrectly formatted header for stream xy time series boundary input file.\n");
  EXPECT_EQ(xy.n_stpts, 2);
}

TEST_F(XyInput, StreamHydrographFileGivesOnePointPerColumn) {
  const std::string path = file("st.txt",
                                "xy_stream_hydrographs\n3\n"
                                "X                 \t         1.000         2.000         3.000\n"
                                "Y                 \t        10.000        20.000        30.000\n"
                                "2010 07 01 09 01\t        0.1000        0.2000        0.3000\n"
                                "2010 07 01 09 02\t        0.2000        0.4000        0.6000\nEND_TS\n");
  testing::internal::CaptureStdout();
  xy.read_stream_hydrographs(path);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  ASSERT_EQ(xy.n_stpts, 3);
  for (int k = 1; k <= 3; ++k) {
    EXPECT_EQ(xy.stpts[k].x, k);
    EXPECT_EQ(xy.stpts[k].y, 10.0 * k);
    EXPECT_EQ(xy.stpts[k].series->name, "XY_STREAM_HYDROGRAPHS_000" + std::to_string(k - 1));
    EXPECT_NEAR(time_series_value(at(9, 1) + 30.0 / 86400.0, xy.stpts[k].series), 0.15 * k, 1e-12);
  }
  testing::internal::CaptureStdout();
  xy.read_stream_hydrographs(file("gw.txt", "XY_GW_HEAD\n1\n"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error: file used for stream xy boundary input file is not of appropriate type. File header does not "
            "match XY_STREAM_HYDROGRAPHS.\n");
  EXPECT_EQ(xy.n_stpts, 3);
}

}  // namespace
}  // namespace kavro
