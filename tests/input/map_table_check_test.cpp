// The check reports of the grid and stream mapping-table files, and the
// stream tables read onto the nodes of a channel network.
#include "input/map_table_check.h"

#include <gtest/gtest.h>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "input/map_table_format.h"
#include "input/stream_map_tables.h"
#include "map_table_support.h"

namespace kavro {
namespace {

using kavro_test::console_of;
using kavro_test::index_map;
using kavro_test::table_row;

// The 35 lines of the grid report with only Roughness present.
std::string grid_report(char roughness) {
  const char* labels[] = {"Roughness",
                          "Rough_exp",
                          "Ovr_flow_block",
                          "Interception",
                          "Retention",
                          "G&A Infiltration",
                          "G&A Soil Moisture",
                          "Multi layer G&A Infiltration",
                          "Richards Havercamp",
                          "Richards Brooks",
                          "Evapotranspiration",
                          "Snow Canopy Interception",
                          "Sediments",
                          "Sediment Erosion Properties",
                          "Contaminants",
                          "Wetlands",
                          "Overland Boundary",
                          "Groundwater Wells",
                          "Groundwater",
                          "Groundwater Boundary",
                          "Area Reduction",
                          "NSM Nitrogen",
                          "NSM Phosphorus",
                          "NSM Other",
                          "NSM Carbon",
                          "NSM Dispersion",
                          "NSM Soil Carbon",
                          "NSM Soil Nitrogen",
                          "NSM Soil Phosphorus",
                          "NSM Groundwater Nitrogen",
                          "NSM Groundwater Phosphorus",
                          "NSM Groundwater Other",
                          "NSM Soil Km",
                          "NSM Soil Koc",
                          "BMP Point Models"};
  std::string out = "\nChecking 2D grid mapping tables...\n";
  for (const char* l : labels) {
    std::string line = std::string("  ") + l;
    line.resize(37, '.');
    out += line + (std::string(l) == "Roughness" ? roughness : 'N') + "\n";
  }
  return out;
}

class MapTableCheck : public kavro_test::map_table_test {
 public:
  std::string check(int velm = 0) {
    return console_of([&] { check_map_table("t.cmt", ms().map_table_present, velm, ms().tool_mode); });
  }
  int flags_set() {
    int n = 0;
    for (int f : ms().map_table_present) n += f;
    return n;
  }
};

TEST_F(MapTableCheck, ReportsEveryTableInOrder) {
  write_table("KAVRO_INDEX_MAP_TABLES\nINDEX_MAP rough.idx Landuse\nROUGHNESS Landuse\nNUM_IDS 1\nh\n" +
              table_row(1, {0.1}));
  write("rough.idx", index_map({0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1, 0}));
  const std::string out = check();
  EXPECT_EQ(out, grid_report('Y'));
  EXPECT_NE(out.find("  Roughness..........................Y\n"), std::string::npos);
  EXPECT_NE(out.find("  Multi layer G&A Infiltration.......N\n"), std::string::npos);
  EXPECT_EQ(ms().map_table_present[0], 1);
  EXPECT_EQ(flags_set(), 1);
  EXPECT_TRUE(map_table_has(ms(), 1));

  ms().map_table_present = {};
  ms().tool_mode = 1;
  EXPECT_EQ(check(), "") << "tool mode prints nothing";
  EXPECT_EQ(ms().map_table_present[0], 1);
  EXPECT_EQ(flags_set(), 1);

  ms().tool_mode = 0;
  ms().map_table_present = {};
  EXPECT_EQ(check(1), grid_report('N')) << "no index maps on a VELM grid";
  std::filesystem::remove(scratch() / "rough.idx");
  EXPECT_NE(check().find(grid_report('N').substr(36)), std::string::npos) << "a missing index map answers N";
  EXPECT_EQ(flags_set(), 0);
}

TEST_F(MapTableCheck, FlagsFollowTheReportTableNotTheCardCode) {
  struct flag_case {
    const char* what;
    std::string body;
    int flag;  // -1: none set
  };
  const flag_case cases[] = {
      {"NSM_C", "NSM_C Landuse\nNUM_IDS 1\nh\n", 23},
      {"NSM_OTH", "NSM_OTH Landuse\nNUM_IDS 1\nh\n", 22},
      {"a card line that ends the file", "NSM_C Landuse", -1},
      {"a map name with one more blank", "NSM_C Landuse \nNUM_IDS 1\n", -1},
      {"snow canopy", "SNOW_CANOPY_INTERCEPTION Landuse\n", 33},
      {"BMPs", "BMPS Landuse\n", 34},
      {"sediments with NUM_SED 2", "SEDIMENTS\nNUM_SED 2\n", 11},
      {"sediments with NUM_SED 0", "SEDIMENTS\nNUM_SED 0\n", -1},
      {"contaminants with NUM_CONTAM 1", "CONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n", 13},
      {"contaminants with NUM_CONTAM 0", "CONTAMINANT_TRANSPORT\nNUM_CONTAM 0\n", -1},
  };
  write("rough.idx", index_map({0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1, 0}));
  ms().tool_mode = 1;
  for (const flag_case& c : cases) {
    SCOPED_TRACE(c.what);
    ms().map_table_present = {};
    write_table("KAVRO_INDEX_MAP_TABLES\nINDEX_MAP rough.idx Landuse\n" + c.body);
    check();
    EXPECT_EQ(flags_set(), c.flag < 0 ? 0 : 1);
    if (c.flag >= 0) {
      EXPECT_EQ(ms().map_table_present[static_cast<std::size_t>(c.flag)], 1);
    }
  }
  ms().map_table_present = {};
  write_table("KAVRO_INDEX_MAP_TABLES\nSEDIMENTS\nNUM_SED 2\n");
  check();
  EXPECT_TRUE(map_table_has(ms(), 9));
  EXPECT_FALSE(map_table_has(ms(), 7));
  EXPECT_FALSE(map_table_has(ms(), 15)) << "TIME_SERIES_INDEX has no flag";
}

TEST_F(MapTableCheck, AMissingFileIsAnError) {
  const std::string out = console_of([&] { check_map_table("missing.cmt", ms().map_table_present, 0, 0); });
  EXPECT_NE(out.find("Unable to open Mapping Table file: missing.cmt\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("Checking"), std::string::npos);
  EXPECT_EQ(error_rec.stop, 1);
}

// A network of `links` links of 3 nodes each, MAXNODES 4.
struct network {
  int links;
  int maxnodes = 4;
  ivec nx{"nx"};
  std::vector<double> values;
  explicit network(int n) : links(n), values(static_cast<std::size_t>((n + 1) * 5), -1.0) {
    nx.allocate(n);
    for (int i = 1; i <= n; ++i) nx[i] = 3;
  }
  double at(int link, int node) const { return values[static_cast<std::size_t>(link * 5 + node)]; }
};

std::string stream_map(int links, const std::string& values) {
  return "STREAM_MAP\nNLINKS " + std::to_string(links) + "\n" + values + "\n";
}

class StreamTables : public kavro_test::map_table_test {};

TEST_F(StreamTables, CheckReportsTheSixTablesInItsOrder) {
  write("st.txt", "KAVRO_STREAM_INDEX_MAP_TABLES\nST_INDEX_MAP sm.txt Links\nNSM_C Links\nNUM_IDS 1\nh\n" +
                      table_row(1, {1, 2}));
  write("sm.txt", stream_map(2, "1 1"));
  stream_table_flags flags{};
  const std::string out = console_of([&] { check_stream_map_table("st.txt", flags, 0); });
  EXPECT_EQ(out,
            "\nChecking stream mapping table file...\n"
            "  Roughness..........................N\n"
            "  NSM Nitrogen.......................N\n"
            "  NSM Phosphorus.....................N\n"
            "  NSM Carbon.........................Y\n"
            "  NSM Other..........................N\n"
            "  Dispersion.........................N\n");
  EXPECT_EQ(flags, (stream_table_flags{0, 0, 0, 0, 1, 0}));
  flags = {};
  EXPECT_EQ(console_of([&] { check_stream_map_table("st.txt", flags, 1); }), "");
  EXPECT_EQ(flags, (stream_table_flags{0, 0, 0, 0, 1, 0}));
}

TEST_F(StreamTables, LinkIdsCarryTheirValuesToEveryNode) {
  // NSM_OTH before NSM_C, a blank line after the map list, and a repeated map
  // name whose later path holds.
  write("st.txt",
        "KAVRO_STREAM_INDEX_MAP_TABLES\nST_INDEX_MAP old.txt Links\nST_INDEX_MAP sm.txt Links\n\n"
        "NSM_OTH Links\nNUM_IDS 1\nh\n" +
            table_row(1, {9, 9, 9}) + "NSM_C Links\nNUM_IDS 3\nh\n" + table_row(1, {1.5, 10}) +
            table_row(2, {2.5, 20}) + table_row(3, {3.5, 30}));
  write("sm.txt", stream_map(4, "2 0 9 1"));
  network net(4);
  std::vector<double> second(net.values.size(), -1.0);
  std::string out;
  out = console_of([&] {
    EXPECT_EQ(read_stream_map_table("st.txt", stream_table::nsm_c, net.values, second, {}, {}, 4, 4, net.nx),
              1);
  });
  EXPECT_EQ(
      out,
      "Warning: link 3 of stream map file sm.txt has ID 9, which table NSM_C (Stream) does not hold; the "
      "link keeps its values.\n");
  EXPECT_EQ(error_rec.stop, 0);
  for (int j = 1; j <= 3; ++j) {
    EXPECT_DOUBLE_EQ(net.at(1, j), 2.5);
    EXPECT_DOUBLE_EQ(second[static_cast<std::size_t>(1 * 5 + j)], 20.0);
    EXPECT_DOUBLE_EQ(net.at(2, j), -1.0) << "ID 0 leaves the link unchanged";
    EXPECT_DOUBLE_EQ(net.at(3, j), -1.0) << "an ID above the table leaves the link unchanged";
    EXPECT_DOUBLE_EQ(net.at(4, j), 1.5);
  }
  EXPECT_DOUBLE_EQ(net.at(1, 4), -1.0) << "nodes past nx are not touched";
}

TEST_F(StreamTables, StreamMapFaultsHaveTheirCodes) {
  const std::string table =
      "KAVRO_STREAM_INDEX_MAP_TABLES\nST_INDEX_MAP sm.txt Links\nDISPERSION Links\nNUM_IDS 1\nh\n" +
      table_row(1, {0.5});
  struct map_case {
    const char* what;
    std::string map;  // empty: no file
    std::string message;
  };
  const map_case cases[] = {
      {"11 links for 12", stream_map(11, "1 1 1 1 1 1 1 1 1 1 1"),
       "NLINKS or MAXNODES card in stream map file does not match channel input file (file: sm.txt)\n"},
      {"wrong first line", "LINK_MAP\nNLINKS 12\n",
       "Stream map file does not use correct header (file: sm.txt)\n"},
      {"a value missing", stream_map(12, "1 1 1"), "Error reading data from stream map file."},
      {"no file", "", "Unable to open stream map file sm.txt\n"},
  };
  write("st.txt", table);
  for (const map_case& c : cases) {
    SCOPED_TRACE(c.what);
    error_rec = error_record{};
    std::filesystem::remove(scratch() / "sm.txt");
    if (!c.map.empty()) write("sm.txt", c.map);
    network net(12);
    std::string out = console_of([&] {
      EXPECT_EQ(
          read_stream_map_table("st.txt", stream_table::dispersion, net.values, {}, {}, {}, 12, 4, net.nx),
          0);
    });
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
    EXPECT_EQ(error_rec.stop, 1);
    EXPECT_DOUBLE_EQ(net.at(1, 1), -1.0);
  }
  error_rec = error_record{};
  network net(1);
  const std::string out = console_of(
      [&] { read_stream_map_table("st.txt", stream_table::nsm_n, net.values, {}, {}, {}, 1, 4, net.nx); });
  EXPECT_NE(out.find("no entries found in table NSM_N (Stream) (NUM_IDS is 0)"), std::string::npos) << out;
}

}  // namespace
}  // namespace kavro
