// The generic mapping-table reader on the 8-cell example grid: values reach
// the cells of their IDs, and every kind of bad table or index map stops the
// run with a message naming the table, the map and the place.
#include "input/map_table_reader.h"

#include <gtest/gtest.h>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "input/map_table_format.h"
#include "input/time_series.h"
#include "map_table_support.h"

namespace kavro {
namespace {

using kavro_test::console_of;
using kavro_test::index_map;
using kavro_test::table_row;

const std::string header = "KAVRO_INDEX_MAP_TABLES\nINDEX_MAP rough.idx Landuse\n";
// Cells 1..8 sit at grid positions (1,2) (1,3) (2,1) (2,2) (2,3) (2,4) (3,2) (3,3).
const std::vector<int> ids_1_and_3 = {0, 1, 1, 0, 1, 1, 3, 3, 0, 1, 3, 0};

class MapTableReader : public kavro_test::map_table_test {
 public:
  void SetUp() override {
    map_table_test::SetUp();
    ms().dist_rough.allocate(8);
    ms().icep_stor.allocate(8);
    ms().icep_coef.allocate(8);
  }
  // Reads the ROUGHNESS table into dist_rough; the console output.
  std::string read_roughness(int* result = nullptr) {
    return console_of([&] {
      const int r = read_map_table(ms(), map_card::roughness, &ms().dist_rough);
      if (result) *result = r;
    });
  }
};

TEST_F(MapTableReader, CellsTakeTheValuesOfTheirIds) {
  write_table(header + "ROUGHNESS Landuse\nNUM_IDS 2\nID description value\n" + table_row(1, {0.05}) +
              table_row(3, {0.2}));
  write("rough.idx", index_map(ids_1_and_3));
  int result = 0;
  EXPECT_EQ(read_roughness(&result), "");
  EXPECT_EQ(result, 1);
  EXPECT_EQ(error_rec.stop, 0);
  const double expected[] = {0.05, 0.05, 0.05, 0.05, 0.2, 0.2, 0.05, 0.2};
  for (int n = 1; n <= 8; ++n) EXPECT_DOUBLE_EQ(ms().dist_rough[n], expected[n - 1]) << "cell " << n;
  // Per-ID counts go to the run log only, in ascending ID order.
  EXPECT_EQ(run_log(),
            "In map rough.idx category 1 has 5 values\nIn map rough.idx category 3 has 3 values\n");
  EXPECT_EQ(ms().map_rows, 3);
  EXPECT_DOUBLE_EQ(ms().map_north, 1030.0);
}

TEST_F(MapTableReader, RepeatedIdsKeepTheLastRowAndMissingIdsGiveZero) {
  write_table(header + "INTERCEPTION Landuse\nNUM_IDS 4\nID description storage coef\n" +
              table_row(4, {1, 2}) + table_row(6, {7, 8}) + table_row(4, {3, 4}) + table_row(1, {9, 9}));
  write("rough.idx", index_map({0, 4, 5, 0, 6, 4, 5, 6, 0, 1, 4, 0}));
  for (int n = 1; n <= 8; ++n) ms().icep_stor[n] = ms().icep_coef[n] = -1.0;
  EXPECT_EQ(read_map_table(ms(), 2, &ms().icep_stor, &ms().icep_coef), 1);
  const double storage[] = {3, 0, 7, 3, 0, 7, 9, 3};
  const double coef[] = {4, 0, 8, 4, 0, 8, 9, 4};
  for (int n = 1; n <= 8; ++n) {
    EXPECT_DOUBLE_EQ(ms().icep_stor[n], storage[n - 1]) << "cell " << n;
    EXPECT_DOUBLE_EQ(ms().icep_coef[n], coef[n - 1]) << "cell " << n;
  }
}

TEST_F(MapTableReader, CellsWithoutAnIdKeepTheirValuesAndOthersStayInPlace) {
  write_table(header + "ROUGHNESS Landuse\nNUM_IDS 3\nheader\n" + table_row(1, {0.1}) + table_row(2, {0.2}) +
              table_row(3, {0.3}));
  // Cell 3 (row 2, column 1) has ID 0; cells 4 to 8 carry IDs 1, 2, 3, 1, 2.
  write("rough.idx", index_map({0, 3, 3, 0, 0, 1, 2, 3, 0, 1, 2, 0}));
  for (int n = 1; n <= 8; ++n) ms().dist_rough[n] = 0.0;
  const std::string out = read_roughness();
  EXPECT_EQ(
      out,
      "Warning: index map rough.idx gives 1 active cells no ID of 1 or more (the first at row 2, column 1); "
      "they keep their values.\n");
  EXPECT_EQ(error_rec.stop, 0);
  const double expected[] = {0.3, 0.3, 0.0, 0.1, 0.2, 0.3, 0.1, 0.2};
  for (int n = 1; n <= 8; ++n) EXPECT_DOUBLE_EQ(ms().dist_rough[n], expected[n - 1]) << "cell " << n;
}

TEST_F(MapTableReader, BadTablesAndMapsStopWithTheirMessages) {
  const std::string rows_1_3 = table_row(1, {0.05}) + table_row(3, {0.2});
  struct bad_case {
    const char* what;
    std::string table;
    std::string map;
    std::string message;
    int result;
  };
  const bad_case cases[] = {
      {"map name with a trailing blank", header + "ROUGHNESS Landuse \nNUM_IDS 2\nh\n" + rows_1_3,
       index_map(ids_1_and_3),
       "Problem reading mapping table file -- no entries found in table ROUGHNESS (NUM_IDS is 0)\n", 0},
      {"NUM_IDS 0", header + "ROUGHNESS Landuse\nNUM_IDS 0\nh\n", index_map(ids_1_and_3),
       "Problem reading mapping table file -- no entries found in table ROUGHNESS (NUM_IDS is 0)\n", 0},
      {"negative NUM_IDS", header + "ROUGHNESS Landuse\nNUM_IDS -4\nh\n", index_map(ids_1_and_3),
       "Problem reading mapping table file -- no entries found in table ROUGHNESS (NUM_IDS is 0)\n", 0},
      {"INDEX_MAP after a blank line",
       "KAVRO_INDEX_MAP_TABLES\n\nINDEX_MAP rough.idx Landuse\nROUGHNESS Landuse\n"
       "NUM_IDS 2\nh\n" +
           rows_1_3,
       index_map(ids_1_and_3),
       "Problem reading mapping table file -- no entries found in table ROUGHNESS (NUM_IDS is 0)\n", 0},
      {"ID above the table", header + "ROUGHNESS Landuse\nNUM_IDS 2\nh\n" + rows_1_3,
       index_map({0, 1, 1, 0, 1, 1, 7, 3, 0, 1, 3, 0}),
       "Index ID exceeds table limit, file: rough.idx [row 2:col 3]\n", 1},
      {"map one row short", header + "ROUGHNESS Landuse\nNUM_IDS 2\nh\n" + rows_1_3,
       index_map({0, 1, 1, 0, 1, 1, 3, 3}, 3), "Unexpected end of file in file: rough.idx\n", 1},
      {"unreadable row ID",
       header + "ROUGHNESS Landuse\nNUM_IDS 2\nh\n" + table_row(1, {0.05}) + "  x   bad\n",
       index_map(ids_1_and_3),
       "Error: row 2 of table ROUGHNESS of the mapping table file t.cmt has no ID of 1 or more in columns 1 to "
       "6.\n",
       0},
      {"row ID 0", header + "ROUGHNESS Landuse\nNUM_IDS 2\nh\n" + table_row(0, {0.05}) + table_row(3, {0.2}),
       index_map(ids_1_and_3),
       "Error: row 1 of table ROUGHNESS of the mapping table file t.cmt has no ID of 1 or more in columns 1 to "
       "6.\n",
       0},
      {"table one row short", header + "ROUGHNESS Landuse\nNUM_IDS 3\nh\n" + rows_1_3, index_map(ids_1_and_3),
       "Error: table ROUGHNESS of the mapping table file t.cmt ends at row 3 of its 3 rows (NUM_IDS).\n", 0},
      {"value not a number",
       header + "ROUGHNESS Landuse\nNUM_IDS 2\nh\n" + table_row(1, {0.05}) +
           table_row(3, {0.0}).replace(86, 1, "nan"),
       index_map(ids_1_and_3),
       "Error: the row of ID 3 (row 2) in table ROUGHNESS of the mapping table file t.cmt: the value nan is not a finite "
       "number.\n",
       0},
      {"value with a letter in it",
       header + "ROUGHNESS Landuse\nNUM_IDS 2\nh\n" + table_row(1, {0.05}) +
           table_row(3, {0.0}).replace(86, 1, "11O.5"),
       index_map(ids_1_and_3), "ID 3 (row 2) in table ROUGHNESS of the mapping table file t.cmt: the value \"11O.5\" is not a number", 0},
      {"a Manning n no surface has", header + "ROUGHNESS Landuse\nNUM_IDS 2\nh\n" + table_row(1, {0.05}) +
           table_row(3, {2147483648.0}),
       index_map(ids_1_and_3), "table ROUGHNESS of the mapping table file t.cmt, ID 3 (row 2), column 1: the Manning n 2.14748e+09 is outside 0 to 10", 0},
      {"a negative Manning n", header + "ROUGHNESS Landuse\nNUM_IDS 2\nh\n" + table_row(1, {-0.05}) + table_row(3, {0.2}),
       index_map(ids_1_and_3), "ID 1 (row 1), column 1: the Manning n -0.05 is outside 0 to 10", 0},
      {"NUM_IDS a word", header + "ROUGHNESS Landuse\nNUM_IDS abc\nh\n" + rows_1_3, index_map(ids_1_and_3),
       "the count line \"NUM_IDS abc\" of the mapping table: the value \"abc\" is not a number", 0},
      {"index map of another place",
       header + "ROUGHNESS Landuse\nNUM_IDS 2\nh\n" + rows_1_3,
       [] {
         std::string m = index_map(ids_1_and_3);
         return m.replace(m.find("west: 500"), 9, "west: 5000");
       }(),
       "the west edge of the index map rough.idx is 5000.00, that of the watershed mask", 0},
      {"index map edge not a number",
       header + "ROUGHNESS Landuse\nNUM_IDS 2\nh\n" + rows_1_3,
       [] {
         std::string m = index_map(ids_1_and_3);
         return m.replace(m.find("west: 500"), 9, "west: nan");
       }(),
       "Error: map rough.idx, header line 4 (west): the value nan is not a finite number", 1},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.what);
    error_rec = error_record{};
    write_table(c.table);
    write("rough.idx", c.map);
    int result = -1;
    // The table's messages name it by its path inside the test's folder.
    std::string out = read_roughness(&result);
    const std::string folder = (scratch() / "").string();
    for (std::size_t at = out.find(folder); at != std::string::npos; at = out.find(folder)) out.erase(at, folder.size());
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
    EXPECT_EQ(error_rec.stop, 1);
    EXPECT_EQ(error_rec.code, 0) << "reported at once";
    EXPECT_EQ(result, c.result);
  }
}

TEST_F(MapTableReader, MissingFilesAreNamed) {
  write_table(header + "ROUGHNESS Landuse\nNUM_IDS 1\nh\n" + table_row(1, {0.05}));
  int result = -1;
  const std::string out = read_roughness(&result);
  EXPECT_EQ(result, 0);
  EXPECT_NE(out.find("Unable to open index file rough.idx\n"), std::string::npos) << out;
  ms().mapping_table_path = "missing.cmt";
  time_series_index_loaded = 1;
  error_rec = error_record{};
  EXPECT_NE(read_roughness().find("\nUnable to open Mapping Table file: missing.cmt\n"), std::string::npos);
}

TEST_F(MapTableReader, ShortRowsGetZeroWithAWarning) {
  write_table(header + "INTERCEPTION Landuse\nNUM_IDS 1\nh\n" + table_row(1, {2.5}));
  write("rough.idx", index_map({0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1, 0}));
  for (int n = 1; n <= 8; ++n) ms().icep_coef[n] = 7.0;
  const std::string out =
      console_of([&] { EXPECT_EQ(read_map_table(ms(), 2, &ms().icep_stor, &ms().icep_coef), 1); });
  EXPECT_EQ(
      out,
      "Warning: the row of ID 1 in table INTERCEPTION has 1 of its 2 values; the missing values are 0.0.\n");
  for (int n = 1; n <= 8; ++n) {
    EXPECT_DOUBLE_EQ(ms().icep_stor[n], 2.5);
    EXPECT_DOUBLE_EQ(ms().icep_coef[n], 0.0);
  }
}

TEST_F(MapTableReader, PrecipitationLineSitsBetweenTheCountAndTheHeader) {
  const std::string rows = table_row(1, {1, 2, 3, 4}) + table_row(3, {5, 6, 7, 8});
  dvec n1{"n1"}, n4{"n4"}, conc{"conc"};
  n1.allocate(8);
  n4.allocate(8);
  conc.allocate(4);
  for (int with_line = 0; with_line <= 1; ++with_line) {
    SCOPED_TRACE(with_line);
    const std::string line = with_line ? "PRECIP_CONC 1.5 2.5\n" : "";
    write_table(header + "NSM_N Landuse\nNUM_IDS 2\n" + line + "ID description a b c d\n" + rows);
    write("rough.idx", index_map(ids_1_and_3));
    for (int i = 1; i <= 4; ++i) conc[i] = -1.0;
    EXPECT_EQ(read_map_table(ms(), 20, &n1, nullptr, nullptr, &n4, nullptr, nullptr, nullptr, 4, &conc), 1);
    if (with_line) {
      const double expected[] = {1.5, 2.5, 0.0, 0.0};
      for (int i = 1; i <= 4; ++i) EXPECT_DOUBLE_EQ(conc[i], expected[i - 1]) << i;
    } else {
      for (int i = 1; i <= 4; ++i) EXPECT_DOUBLE_EQ(conc[i], -1.0) << "no line: untouched";
    }
    EXPECT_DOUBLE_EQ(n1[1], 1.0);
    EXPECT_DOUBLE_EQ(n4[5], 8.0);
  }
}

TEST_F(MapTableReader, AVelmGridReadsTheTableButNoMap) {
  write_table(header + "ROUGHNESS Landuse\nNUM_IDS 1\nh\n" + table_row(1, {0.05}));
  ms().velm_grid_on = 1;
  for (int n = 1; n <= 8; ++n) ms().dist_rough[n] = 0.5;
  int result = -1;
  EXPECT_EQ(read_roughness(&result), "") << "rough.idx does not exist and is not opened";
  EXPECT_EQ(result, 1);
  for (int n = 1; n <= 8; ++n) EXPECT_DOUBLE_EQ(ms().dist_rough[n], 0.5);
}

TEST_F(MapTableReader, UnallocatedAndShortDestinationsAreNeverOverrun) {
  write_table(header + "ROUGHNESS Landuse\nNUM_IDS 2\nh\n" + table_row(1, {0.05}) + table_row(3, {0.2}));
  write("rough.idx", index_map(ids_1_and_3));
  dvec empty{"empty"}, short_one{"short"};
  short_one.allocate(3);
  EXPECT_EQ(read_map_table(ms(), 1, &empty), 1);
  EXPECT_TRUE(empty.empty());
  EXPECT_EQ(read_map_table(ms(), 1, &short_one), 1);
  EXPECT_DOUBLE_EQ(short_one[3], 0.05);
}

TEST(MapTableCards, CodesFollowTheKeywordOrder) {
  const std::pair<const char*, int> cases[] = {
      {"GROUNDWATER_BOUNDARY gw", 18},
      {"GROUNDWATER gw", 17},
      {"NUM_CONTAM 2", 139},
      {"NUM_CON 2", 301},
      {"RICHARDS_EQN_INFILTRAIION_HAVERCAMP soils", 6},
      {"ROUGH_EXP x", 33},
      {"NSM_SOIL_KOC x", 32},
      {"SNOW_CANOPY_INTERCEPTION x", 36},
      {"ID description", 0},
  };
  for (const auto& [line, code] : cases) EXPECT_EQ(line_card_code(line), code) << line;
  EXPECT_EQ(map_table_card_code("ROUGHNESS x"), 0) << "callers test ROUGHNESS first";
  EXPECT_EQ(line_card_code("ROUGHNESS x"), 1);
  std::string name = "kept";
  map_table_card_name(31, name);
  EXPECT_EQ(name, "NSM_SOIL_KM");
  map_table_card_name(202, name);
  EXPECT_EQ(name, "NSM_SOIL_KM") << "codes 201 to 203 have no name";
  EXPECT_EQ(map_table_values_per_row(4), 7);
  EXPECT_EQ(map_table_values_per_row(34), 5);
  EXPECT_EQ(map_table_values_per_row(137), 0);
}

}  // namespace
}  // namespace kavro

namespace kavro {
namespace {

class TimeSeriesIndex : public kavro_test::map_table_test {
 public:
  static time_series& series(const std::string& name, double value) {
    time_series& s = new_time_series();
    s.name = name;
    s.times = {0.0};
    s.values = {value};
    return s;
  }
};

TEST_F(TimeSeriesIndex, IdsBindToNamedSeriesOncePerRun) {
  series("A", 1.0);
  series("B", 2.0);
  series("Inflow_A", 3.0);
  series("Inflow", 4.0);
  write_table(
      "KAVRO_INDEX_MAP_TABLES\nTIME_SERIES_INDEX\nNUM_IDS 4\nID name\n     3 A\n     3 B\n     5 Inflow\n"
      "     6 Outflow\n");
  const std::string out = console_of([&] { EXPECT_EQ(load_time_series_index("t.cmt"), 1); });
  EXPECT_EQ(out,
            "Adding table to list: A... Success!\nAdding table to list: B... Success!\n"
            "Adding table to list: Inflow... Success!\nAdding table to list: Outflow... Failure, table not "
            "found.\n");
  EXPECT_EQ(time_series_index_loaded, 1);
  EXPECT_EQ(time_series_index.size(), 3u) << "one entry per ID";
  EXPECT_DOUBLE_EQ(time_series_value_by_index(3, 0.5), 2.0);
  EXPECT_DOUBLE_EQ(time_series_value_by_index(5, 0.5), 4.0) << "the exact name before the longer one";

  // The end of the run empties the index and lets the next run load its own.
  free_time_series_list();
  EXPECT_EQ(time_series_index_loaded, 0);
  EXPECT_TRUE(time_series_index.empty());
}

TEST_F(TimeSeriesIndex, TheFirstTableReaderLoadsItAndAFailureIsNotRepeated) {
  write_table("KAVRO_INDEX_MAP_TABLES\nINDEX_MAP rough.idx Landuse\nROUGHNESS Landuse\nNUM_IDS 1\nh\n" +
              table_row(1, {0.05}) + "TIME_SERIES_INDEX\nNUM_IDS 2\nh\n     1 A\n  bad\n");
  write("rough.idx", index_map({0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1, 0}));
  series("A", 1.0);
  ms().dist_rough.allocate(8);
  const std::string out = console_of([&] { EXPECT_EQ(read_map_table(ms(), 1, &ms().dist_rough), 1); });
  EXPECT_EQ(out, "Adding table to list: A... Success!\n") << "the rows before a bad one are kept";
  EXPECT_EQ(time_series_index_loaded, 1);
  ASSERT_EQ(time_series_index.size(), 1u);
  EXPECT_EQ(console_of([&] { read_map_table(ms(), 1, &ms().dist_rough); }), "") << "loaded once per run";
}

}  // namespace
}  // namespace kavro
