// Output-location lists: link/node pairs, grid cells with their numbers,
// soil-column nodes of a Richards run, and the refusals of bad lists.
#include "input/location_lists.h"

#include <gtest/gtest.h>

#include <string>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "input/cell_loaders.h"
#include "map_table_support.h"

namespace kavro {
namespace {

using kavro_test::console_of;

class LocationLists : public kavro_test::map_table_test {
 public:
  void theta_list(const std::string& text) {
    write("theta.loc", text);
    ms().fs_in_theta_location.close();
    open_input(ms().fs_in_theta_location, ms().in_theta_location_path, scratch() / "theta.loc");
    ms().in_theta_location_on = 1;
  }
};

TEST_F(LocationLists, HydrographPairsOnAnyLines) {
  for (const char* text : {"2\n3 1\n5 7\n", "2 3 1 5 7"}) {
    write("hyd.loc", text);
    open_input(ms().fs_in_hyd_location, ms().in_hyd_location_path, scratch() / "hyd.loc");
    ms().in_hyd_location_on = 1;
    read_hyd_locations(ms());
    EXPECT_EQ(error_rec.stop, 0);
    ASSERT_EQ(ms().n_hyd_locations, 2);
    EXPECT_EQ(ms().hlink[1], 3);
    EXPECT_EQ(ms().hlink[2], 5);
    EXPECT_EQ(ms().hnode[1], 1);
    EXPECT_EQ(ms().hnode[2], 7);
    EXPECT_FALSE(ms().fs_in_hyd_location.is_open());
  }
}

TEST_F(LocationLists, SoilMoistureCellsOfARichardsRun) {
  ms().richards_on = 1;
  theta_list("2 3\n2 3 2 1 3\n3 2 1 2\n");
  read_output_cell_list(ms());
  EXPECT_EQ(error_rec.stop, 0);
  ASSERT_EQ(ms().n_output_cells, 2);
  EXPECT_EQ(ms().cell_loc[1], 5);
  EXPECT_EQ(ms().cell_loc[2], 7);
  EXPECT_EQ(ms().cell_num[1], 2);
  EXPECT_EQ(ms().cell_num[2], 1);
  EXPECT_EQ(ms().cell_theta_nodes[1][1], 1);
  EXPECT_EQ(ms().cell_theta_nodes[1][2], 3);
  EXPECT_EQ(ms().cell_theta_nodes[2][1], 2);
}

TEST_F(LocationLists, BadListsAreRefusedNamingTheEntry) {
  struct bad_list {
    bool richards;
    std::string text;
    std::string message;
  };
  for (const bad_list& b : {
           bad_list{false, "3\n1 2\n2 2\n", "End of file reached in file "},
           bad_list{false, "2\n1 2\n9 2\n", "entry 2 of file "},
           bad_list{false, "-1\n", "the count -1 in file "},
           bad_list{false, "2\n1 2\nrow 2\n", "entry 2 of file "},
           bad_list{true, "1 3\n2 3 4 1 2 3 4\n", "entry 1 of file "},
       }) {
    error_rec = {};
    ms().richards_on = b.richards;
    theta_list(b.text);
    const std::string out = console_of([&] { read_output_cell_list(ms()); });
    EXPECT_NE(out.find(b.message), std::string::npos) << out;
    EXPECT_NE(out.find("theta.loc"), std::string::npos) << out;
    EXPECT_EQ(error_rec.stop, 1) << b.text;
  }
}

TEST_F(LocationLists, CellListsGetTheirCellNumbers) {
  write("cells.loc", "2\n2 1\n3 2\n");
  open_input(ms().fs_in_celldepdis_location, ms().in_celldepdis_location_path, scratch() / "cells.loc");
  ms().in_celldepdis_location_on = 1;
  ms().map_rows = 3;
  ms().map_cols = 4;
  console_of([&] { read_cell_locations(ms()); });
  EXPECT_EQ(error_rec.stop, 0);
  EXPECT_EQ(ms().gnumlocater[1], 3);
  EXPECT_EQ(ms().gnumlocater[2], 7);
}

}  // namespace
}  // namespace kavro
