// The mapping tables with layouts of their own on the 8-cell example grid:
// wetlands numbered by the map, wells built from their table, per-class and
// per-constituent columns, sediment classes and rating curves.
#include "input/special_tables.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "input/elev_series.h"
#include "input/time_series.h"
#include "map_table_support.h"
#include "subsurface/wells.h"

namespace kavro {
namespace {

using kavro_test::console_of;
using kavro_test::index_map;
using kavro_test::table_row;

const std::string header = "KAVRO_INDEX_MAP_TABLES\nINDEX_MAP w.idx Map\n";

class SpecialTables : public kavro_test::map_table_test {
 public:
  void SetUp() override {
    map_table_test::SetUp();
    time_series_index_loaded = 1;  // no TIME_SERIES_INDEX table in these files
  }
};

TEST_F(SpecialTables, WetlandIdsAreNumberedInMapOrderAndConvertedToSi) {
  write_table(header + "WETLAND_PROPERTIES Map\nNUM_IDS 2\nh\n" +
              table_row(12, {1000, 2000, 86400, 500, 172800, 0.3, 50}) +
              table_row(7, {10, 20, 0, 0, 0, 0.1, 0}));
  write("w.idx", index_map({0, 12, 0, 0, 7, 0, 12, 7, 0, 0, 0, 0}));
  EXPECT_EQ(read_wetland_table(ms()), 1);
  EXPECT_EQ(error_rec.stop, 0);
  ASSERT_EQ(ms().n_wetlands, 2);
  const int expected_mask[] = {1, 0, 2, 0, 1, 2, 0, 0};
  for (int n = 1; n <= 8; ++n) EXPECT_EQ(ms().wetland_mask[n], expected_mask[n - 1]) << "cell " << n;
  const wetland_params& w = ms().wetland_table[1];  // ID 12 occurs first
  EXPECT_DOUBLE_EQ(w.initial_depth, 1.0);
  EXPECT_DOUBLE_EQ(w.wet_layer_depth, 2.0);
  EXPECT_DOUBLE_EQ(w.wet_layer_k, 1.0);
  EXPECT_DOUBLE_EQ(w.wet_transition_depth, 0.5);
  EXPECT_DOUBLE_EQ(w.wet_transition_k, 2.0);
  EXPECT_DOUBLE_EQ(w.wet_mannings_n, 0.3);
  EXPECT_DOUBLE_EQ(w.elev_drop, 0.05);
  EXPECT_DOUBLE_EQ(ms().wetland_table[2].initial_depth, 0.01);
  EXPECT_EQ(run_log().find("Warning"), std::string::npos) << "ID 0 means no wetland";
}

TEST_F(SpecialTables, WetlandCountsAndLargeIdsAreRefused) {
  struct wet_case {
    const char* what;
    std::string rows;
    std::vector<int> map;
    int code;  // 0: accepted
  };
  const wet_case cases[] = {
      {"three rows, two IDs in the map",
       table_row(7, {1}) + table_row(12, {1}) + table_row(15, {1}),
       {0, 7, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       67},
      {"largest ID 301", table_row(301, {1}), {0, 301, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 68},
      {"largest ID 300", table_row(300, {1}), {0, 300, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0},
      {"a row above the map's IDs is skipped",
       table_row(3, {1}) + table_row(2000, {1}),
       {0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       67},
  };
  for (const wet_case& c : cases) {
    SCOPED_TRACE(c.what);
    error_rec = error_record{};
    const int n = static_cast<int>(std::count(c.rows.begin(), c.rows.end(), '\n'));
    write_table(header + "WETLAND_PROPERTIES Map\nNUM_IDS " + std::to_string(n) + "\nh\n" + c.rows);
    write("w.idx", index_map(c.map));
    int result = -1;
    const std::string out = console_of([&] { result = read_wetland_table(ms()); });
    if (c.code == 0) {
      EXPECT_EQ(result, 1);
      EXPECT_EQ(error_rec.stop, 0) << out;
      continue;
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(error_rec.stop, 1);
    EXPECT_NE(out.find(c.code == 67 ? "ID's, while the mapping table file contains" : "is over 300!"),
              std::string::npos)
        << out;
  }
  error_rec = error_record{};
  write_table(header + "WETLAND_PROPERTIES Map\nNUM_IDS 3\nh\n" + table_row(7, {1}) + table_row(12, {1}) +
              table_row(15, {1}));
  write("w.idx", index_map({0, 7, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  const std::string out = console_of([&] { read_wetland_table(ms()); });
  EXPECT_NE(out.find("2 ID's, while the mapping table file contains 3 ID's."), std::string::npos) << out;
}

TEST_F(SpecialTables, WellRowsBecomeWellCellsOfTheirMapPositions) {
  write_table(header + "WELL_TABLE Map\nNUM_IDS 2\nh\n" + table_row(1, {1, 4, 0}) +
              table_row(2, {0, 0.05, 0}));
  write("w.idx", index_map({0, 0, 2, 0, 0, 1, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(read_well_table(ms()), 1);
  EXPECT_EQ(error_rec.stop, 0);
  ASSERT_EQ(well_cell_list.size(), 2u);
  EXPECT_EQ(well_cell_list[0].id, 2);  // cell 2 at (1,3) has well ID 2
  EXPECT_EQ(well_cell_list[0].from_series, 0);
  EXPECT_DOUBLE_EQ(well_cell_list[0].rate, 0.05);
  EXPECT_EQ(well_cell_list[1].id, 4);  // cell 4 at (2,2) has well ID 1
  EXPECT_EQ(well_cell_list[1].from_series, 1);
  EXPECT_EQ(well_cell_list[1].series_index, 4);
  EXPECT_DOUBLE_EQ(well_cell_list[1].rate, 0.0);
  free_well_cells();
}

TEST_F(SpecialTables, ErosionAndBmpColumnsGoPerClassAndPerConstituent) {
  write_table(header + "SOIL_EROSION_PROPS Map\nNUM_IDS 2\nNUM_SED 2\nh\n" +
              table_row(1, {1, 2, 3, 4, 5, 0.25, 0.75}) + table_row(2, {6, 7, 8, 9, 10, 0.5, 0.5}) +
              "BMPS Map\nNUM_IDS 1\nNUM_CON 1\nh\n" + table_row(2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 42}));
  write("w.idx", index_map({0, 1, 2, 0, 1, 1, 2, 2, 0, 1, 2, 0}));
  dvec splash{"splash"}, sed_k{"sed_K"}, bmp10{"bmp10"};
  splash.allocate(8);
  sed_k.allocate(8);
  bmp10.allocate(8);
  dmat fract{"sed_fract"}, per_con{"per_con"};
  fract.allocate(8, 2);
  per_con.allocate(1, 8);
  EXPECT_EQ(read_soil_erosion_table(ms(), {&splash, nullptr, nullptr, nullptr, &sed_k}, &fract, 2), 1);
  EXPECT_DOUBLE_EQ(splash[1], 1.0);
  EXPECT_DOUBLE_EQ(sed_k[2], 10.0);
  EXPECT_DOUBLE_EQ(fract[1][1], 0.25);
  EXPECT_DOUBLE_EQ(fract[1][2], 0.75);
  EXPECT_DOUBLE_EQ(fract[8][1], 0.5);
  EXPECT_EQ(
      read_bmp_table(
          ms(), {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &bmp10},
          &per_con, 1),
      1);
  EXPECT_EQ(error_rec.stop, 0);
  const double con[] = {0, 42, 0, 0, 42, 42, 0, 42};
  for (int n = 1; n <= 8; ++n) {
    EXPECT_DOUBLE_EQ(per_con[1][n], con[n - 1]) << "cell " << n;
    EXPECT_DOUBLE_EQ(bmp10[n], con[n - 1] == 0 ? 0.0 : 10.0) << "cell " << n;
  }
}

TEST_F(SpecialTables, CountsThatDisagreeWithTheRunAssignNothing) {
  write_table(header + "SOIL_EROSION_PROPS Map\nNUM_IDS 1\nNUM_SED 3\nh\n" +
              table_row(1, {1, 2, 3, 4, 5, 1, 1, 1}) + "BMPS Map\nNUM_IDS 1\nNUM_CON 2\nh\n" +
              table_row(1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 1, 1}));
  write("w.idx", index_map({0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1, 0}));
  dvec splash{"splash"};
  splash.allocate(8);
  EXPECT_EQ(read_soil_erosion_table(ms(), {&splash, nullptr, nullptr, nullptr, nullptr}, nullptr, 2), 0);
  EXPECT_EQ(error_rec.code, 91) << "reported by the run driver after the step";
  EXPECT_EQ(error_rec.int1, 2);
  EXPECT_EQ(error_rec.int2, 3);
  for (int n = 1; n <= 8; ++n) EXPECT_DOUBLE_EQ(splash[n], 0.0);
  error_rec = error_record{};
  const std::string out = console_of([&] {
    EXPECT_EQ(
        read_bmp_table(
            ms(), {&splash, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
            nullptr, 1),
        0);
  });
  EXPECT_NE(
      out.find(
          "Error: the BMPS table of the mapping table file t.cmt gives NUM_CON 2, while the run carries 1 "
          "constituents.\n"),
      std::string::npos)
      << out;
  EXPECT_EQ(error_rec.stop, 1);
  for (int n = 1; n <= 8; ++n) EXPECT_DOUBLE_EQ(splash[n], 0.0);
}

TEST_F(SpecialTables, SedimentClassesComeFromColumn41) {
  std::string cls1 = "fine sand";
  cls1.resize(40, ' ');
  cls1 += "2.65 0.0002 0.1 sand.out\n";
  write_table("KAVRO_INDEX_MAP_TABLES\nSEDIMENTS\nNUM_SED 2\ndescription sg d fb file\n" + cls1 + "short\n");
  int count = 0;
  dvec sg{"sg"}, d{"d"}, fb{"fb"};
  one_based_vec<std::string> files{"files"};
  EXPECT_EQ(read_sediments_table("t.cmt", count, sg, d, files, fb), 0);
  ASSERT_EQ(count, 2);
  EXPECT_DOUBLE_EQ(sg[1], 2.65);
  EXPECT_DOUBLE_EQ(d[1], 0.0002);
  EXPECT_DOUBLE_EQ(fb[1], 0.1);
  EXPECT_EQ(files[1], "sand.out");
  EXPECT_DOUBLE_EQ(sg[2], 0.0);
  EXPECT_EQ(files[2], "");
  write_table("KAVRO_INDEX_MAP_TABLES\nSEDIMENTS\nNUM_SED 3\nh\n" + cls1);
  const std::string out = console_of([&] { read_sediments_table("t.cmt", count, sg, d, files, fb); });
  EXPECT_NE(out.find("ends at class 2 of its 3 (NUM_SED)"), std::string::npos) << out;
  EXPECT_EQ(error_rec.stop, 1);
  EXPECT_EQ(count, 0);
  error_rec = error_record{};
  write_table("KAVRO_INDEX_MAP_TABLES\nSEDIMENTS\nNUM_SED -2\nh\n");
  EXPECT_EQ(read_sediments_table("t.cmt", count, sg, d, files, fb), 0);
  EXPECT_EQ(count, 0);
}

TEST_F(SpecialTables, RatingCurvesBindByIdAndName) {
  new_elev_series().name = "Curve_long";
  new_elev_series().name = "Curve";
  write_table("KAVRO_INDEX_MAP_TABLES\nRATINGCURVES\nNUM_IDS 2\nh\n     1 Curve\n     2 Nothing\n");
  ms().boundary_type.allocate(8);
  ms().ov_boundary_value.allocate(8);
  ms().boundary_type[2] = 6;
  ms().boundary_type[5] = 6;
  ms().boundary_type[7] = 7;
  ms().ov_boundary_value[2] = ms().ov_boundary_value[5] = 1.0;
  ms().ov_boundary_value[7] = 3.0;  // no row: no curve, no message
  EXPECT_EQ(read_rating_curves(ms()), 1);
  EXPECT_EQ(error_rec.code, 0);
  ASSERT_EQ(ms().ov_boundary_faces.size(), 8);
  EXPECT_EQ(ms().ov_boundary_faces[2].rating_curve, elev_series_list[1].get()) << "the exact name wins";
  EXPECT_EQ(ms().ov_boundary_faces[5].rating_curve, ms().ov_boundary_faces[2].rating_curve);
  EXPECT_EQ(ms().ov_boundary_faces[7].rating_curve, nullptr);
  EXPECT_EQ(ms().ov_boundary_faces[1].rating_curve, nullptr);
  ms().ov_boundary_value[7] = 2.0;
  EXPECT_EQ(read_rating_curves(ms()), 1);
  EXPECT_EQ(error_rec.code, 86);
  EXPECT_EQ(error_rec.stop, 1);
}

}  // namespace
}  // namespace kavro
