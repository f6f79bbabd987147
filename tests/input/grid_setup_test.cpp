// The grid set-up driver on real map files: the mask becomes a numbered grid
// with "maskmap", the elevations and the outlet are read, and a project whose
// grid inputs disagree is refused with no set-up step after the refusal.
#include "input/grid_setup.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "grid_test_support.h"
#include "framework/readers.h"
#include "input/watershed_mask.h"

namespace kavro {
namespace {

using kavro_test::console_of;
using kavro_test::data_dir;
using kavro_test::read_file;
using kavro_test::write_file;

const std::filesystem::path grid_data = data_dir() / "grid";

class GridSetup : public kavro_test::grid_test {
 public:
  // The example project: 3 x 4 mask of 8 cells, outlet in the south-east cell.
  void use_example(const std::string& mask = "mask.asc", const std::string& elevation = "elevation.asc") {
    ms().outlet_row = 3;
    ms().outlet_col = 3;
    ms().uniform_manning_n = 0.035;  // the roughness loader refuses a grid without roughness
    open_input(ms().fs_watershed_mask, ms().watershed_mask_path, grid_data / mask);
    open_input(ms().fs_elevation, ms().elevation_path, grid_data / elevation);
  }
  std::string setup() {
    return console_of([&] { setup_grid_and_maps(ms()); });
  }
  std::string mask_line() const { return "reading watershed mask from file: " + ms_path(grid_data / "mask.asc"); }
  static std::string ms_path(const std::filesystem::path& p) { return p.string() + "\n"; }
};

TEST_F(GridSetup, ExampleGridIsNumberedWrittenAndReported) {
  use_example();
  ASSERT_TRUE(ms().fs_summary.open((scratch() / "summary.txt").string(), "w"));
  const std::string out = setup();

  const std::string expected = mask_line() + "number of grid cells in watershed: 8\n" +
                               "reading elevation map from file: " + ms_path(grid_data / "elevation.asc") +
                               "outlet is in grid cell: 8\n";
  EXPECT_EQ(out, expected);
  EXPECT_EQ(error_rec.stop, 0);
  ms().fs_summary.close();
  EXPECT_EQ(read_file(scratch() / "summary.txt"), expected) << "the run log hears every set-up line";
  EXPECT_EQ(read_file(scratch() / "maskmap"),
            "north:   1030.00\nsouth:   1000.00\neast:    540.00\nwest:    500.00\nrows:     3\ncols:     4\n"
            "0 1 2 0 \n3 4 5 6 \n0 7 8 0 \n");

  ASSERT_EQ(ms().n_cells, 8);
  EXPECT_DOUBLE_EQ(ms().watershed_area, 800.0);
  // Cell 3 is the western cell of row 2: centre 5 m east of the west edge,
  // 15 m south of the north edge.
  EXPECT_EQ(ms().cell_row[3], 2);
  EXPECT_EQ(ms().cell_col[3], 1);
  EXPECT_DOUBLE_EQ(ms().cell_x[3], 505.0);
  EXPECT_DOUBLE_EQ(ms().cell_y[3], 1015.0);
  const double z[] = {12.5, 12.0, 11.0, 11.5, 11.0, 10.5, 10.0, 9.5};
  for (int n = 1; n <= 8; ++n) EXPECT_DOUBLE_EQ(ms().elevation[n], z[n - 1]) << "cell " << n;
  EXPECT_EQ(ms().n_elev_bands, 4);
  EXPECT_EQ(ms().ov_depth.size(), 8) << "the per-cell arrays exist after the set-up";
  EXPECT_EQ(ms().rightcon.size(), 8);
}

TEST_F(GridSetup, ToolModeSilencesTheConsoleButNotTheRunLog) {
  use_example();
  ms().tool_mode = 1;
  ASSERT_TRUE(ms().fs_summary.open((scratch() / "summary.txt").string(), "w"));
  EXPECT_EQ(setup(), "");
  ms().fs_summary.close();
  EXPECT_NE(read_file(scratch() / "summary.txt").find("number of grid cells in watershed: 8\n"), std::string::npos);
}

// The outlet cell must lie in the watershed with channels too: a cell
// outside would leave the outlet's overland water nowhere to go.
TEST_F(GridSetup, WithChannelsAnOutletOutsideTheMaskIsRefused) {
  use_example();
  ms().outlet_row = 1;
  ms().outlet_col = 1;
  ms().channel_on = 1;
  const std::string out = setup();
  EXPECT_NE(out.find("The outlet row and column you specified in the project file are not\ninside the watershed mask."),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("outlet is in grid cell: 0\n"), std::string::npos);
  EXPECT_EQ(error_rec.stop, 1);
}

// Each refused grid prints its message last: no set-up step runs after it,
// so no per-cell array is allocated.
TEST_F(GridSetup, RefusedGridsStopRightAfterTheirMessage) {
  struct refusal {
    const char* name;
    std::function<void(GridSetup&)> prepare;
    std::function<std::string(GridSetup&)> message;
  };
  const auto elevation_path = [](GridSetup& t) { return t.ms().elevation_path; };
  const refusal cases[] = {
      {"mask ends early", [](GridSetup& t) { t.use_example("mask_short.asc"); },
       [](GridSetup& t) {
         return "Unexpected end of file in file: " + t.ms().watershed_mask_path + "\nError: map " +
                t.ms().watershed_mask_path + " ends before row 3, column 1 of its 3 rows and 4 columns.\n\n";
       }},
      {"elevation header disagrees with ROWS",
       [](GridSetup& t) { t.use_example("mask.asc", "elevation_two_rows.asc"); },
       [=](GridSetup& t) { return "Incorrect number of rows in map: " + elevation_path(t) + "\n\n"; }},
      {"elevation file not open",
       [](GridSetup& t) {
         t.use_example();
         t.ms().fs_elevation.close();
       },
       [=](GridSetup& t) { return "Unexpected end of file in file: " + elevation_path(t) + "\n\n"; }},
      {"GRIDSIZE differs from the mask's cells",
       [](GridSetup& t) {
         t.use_example();
         t.ms().dx = 12.0;
       },
       [](GridSetup&) {
         return std::string(
             "\nThe grid size specified in the project file: 12.0000 m differs from\n"
             "the north-south dimension of the raster grid cells 10.0000 m as calculated\n"
             "from the WATERSHED_MASK header.  Check your data to make sure they agree.\n"
             "KAVRO terminating.\n\n\n");
       }},
      {"outlet on an inactive cell without channels",
       [](GridSetup& t) {
         t.use_example();
         t.ms().outlet_row = 1;
         t.ms().outlet_col = 4;
       },
       [](GridSetup&) {
         return std::string(
             "\nThe outlet row and column you specified in the project file are not\n"
             "inside the watershed mask.  Check the outlet row and column again, and\n"
             "make sure they are correctly specified in the project file using the\n"
             "OUTROW and OUTCOL project file cards.  KAVRO terminating.\n\n\n");
       }},
  };
  for (const refusal& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    c.prepare(*this);
    const std::string out = setup();
    const std::string message = c.message(*this);
    ASSERT_GE(out.size(), message.size()) << out;
    EXPECT_EQ(out.substr(out.size() - message.size()), message) << out;
    EXPECT_EQ(error_rec.stop, 1);
    EXPECT_TRUE(ms().ov_depth.empty()) << "no step after the refusal";
  }
}

TEST_F(GridSetup, WrongCellSizeNumbersNoCellAndWritesNoMaskmap) {
  use_example();
  ms().dx = 12.0;
  setup();
  EXPECT_EQ(ms().n_cells, 0);
  EXPECT_FALSE(std::filesystem::exists(scratch() / "maskmap"));
}

// GRIDSIZE 5 against header cell sizes: equal when both, with 1 mm added,
// truncate to the same tenth of a metre.
TEST_F(GridSetup, CellSizeToleranceIsATenthAfterOneMillimetre) {
  struct size_case {
    double north_south, east_west;
    const char* line;  // the disagreement line, or null when accepted
  };
  const size_case cases[] = {
      {5.04, 5.0, nullptr},
      {5.05, 5.0, nullptr},
      {4.999, 5.0, nullptr},
      {4.99, 5.0, "the north-south dimension of the raster grid cells  4.9900 m as calculated\n"},
      {5.10, 5.0, "the north-south dimension of the raster grid cells  5.1000 m as calculated\n"},
      {5.0, 5.10, "the east-west dimension of the raster grid cells  5.1000 m as calculated\n"},
  };
  for (const size_case& c : cases) {
    SCOPED_TRACE(c.north_south);
    SCOPED_TRACE(c.east_west);
    TearDown();
    SetUp();
    ms().dx = 5.0;
    const std::string text = format_string("north: %.4f\nsouth: 0\neast: %.4f\nwest: 0\nrows: 3\ncols: 4\n", 3 * c.north_south,
                                           4 * c.east_west) +
                             "1 1 1 1\n1 1 1 1\n1 1 1 1\n";
    write_file(scratch() / "m.asc", text);
    open_input(ms().fs_watershed_mask, ms().watershed_mask_path, scratch() / "m.asc");
    ms().mask.allocate(4, 5);
    const std::string out = console_of([&] { read_watershed_mask(ms()); });
    if (c.line == nullptr) {
      EXPECT_EQ(ms().n_cells, 12) << out;
    } else {
      EXPECT_EQ(ms().n_cells, 0);
      EXPECT_NE(out.find(c.line), std::string::npos) << out;
      EXPECT_EQ(error_rec.stop, 1);
    }
  }
}

TEST_F(GridSetup, AnyNonZeroMaskValueIsAnActiveCell) {
  write_file(scratch() / "m.asc", "north: 30\nsouth: 0\neast: 40\nwest: 0\nrows: 3\ncols: 4\n"
                                  "0 5 0 0\n0 -3 1 0\n0 0 0 0\n");
  open_input(ms().fs_watershed_mask, ms().watershed_mask_path, scratch() / "m.asc");
  ms().mask.allocate(4, 5);
  console_of([&] { read_watershed_mask(ms()); });
  EXPECT_EQ(ms().n_cells, 3);
  EXPECT_EQ(ms().mask[1][2], 1);
  EXPECT_EQ(ms().mask[2][2], 2);
  EXPECT_EQ(ms().mask[2][3], 3);
  const std::string maskmap = read_file(scratch() / "maskmap");
  EXPECT_EQ(maskmap.substr(maskmap.find("cols:     4\n") + 12), "0 1 0 0 \n0 2 3 0 \n0 0 0 0 \n");
}

}  // namespace
}  // namespace kavro
