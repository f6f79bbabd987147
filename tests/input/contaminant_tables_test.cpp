// The contaminant block of the mapping-table file: per-contaminant texts,
// rain concentrations and partition coefficients in their own places, and
// eight per-cell parameters through each contaminant's own index map.
#include "input/contaminant_tables.h"

#include <gtest/gtest.h>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "map_table_support.h"

namespace kavro {
namespace {

using kavro_test::console_of;
using kavro_test::index_map;
using kavro_test::table_row;

class ContaminantTables : public kavro_test::map_table_test {
 public:
  void SetUp() override {
    map_table_test::SetUp();
    write("c1.idx", index_map({0, 1, 1, 0, 2, 2, 1, 1, 0, 2, 2, 0}));
    write("c2.idx", index_map({0, 5, 5, 0, 5, 5, 5, 5, 0, 5, 5, 0}));
  }
  std::string read() {
    return console_of([&] { result = read_contaminant_tables(ms(), dest()); });
  }
  std::array<checked_array_2d<double>*, 8> dest() {
    return {&ms().ov_disp_table, &ms().ov_decay_table, nullptr, nullptr, nullptr, nullptr, nullptr, &eighth};
  }
  checked_array_2d<double> eighth{"eighth"};
  int result = -1;
};

const std::string maps =
    "KAVRO_INDEX_MAP_TABLES\nINDEX_MAP c1.idx \"Nitrate map\"\nINDEX_MAP c2.idx \"Atrazine map\"\n"
    "INDEX_MAP c2.idx Unquoted\n";

std::string contaminant(const std::string& header, const std::string& precip, const std::string& partition,
                        const std::string& rows) {
  return header + "\n" + precip + partition + rows;
}

TEST_F(ContaminantTables, EveryContaminantGetsItsOwnPlace) {
  // Contaminant 1 has no PARTITION line.
  write_table(maps + "CONTAMINANT_TRANSPORT\nNUM_CONTAM 2\n" +
              contaminant("\"Nitrate-N1\" \"Nitrate map\" \"no3.out\"", "PRECIP_CONC 1.5\n", "",
                          "NUM_IDS 2\nh\n" + table_row(1, {1, 2, 3, 4, 5, 6, 7, 8}) +
                              table_row(2, {10, 20, 30, 40, 50, 60, 70, 80})) +
              contaminant("\"Atrazine\" \"Atrazine map\" \"atz.out\"", "PRECIP_CONC 0.25\n",
                          "PARTITION 3.5\n", "NUM_IDS 1\nh\n" + table_row(5, {0.5, 0, 0, 0, 0, 0, 0, 9})));
  const std::string out = read();
  EXPECT_EQ(result, 1) << out;
  EXPECT_EQ(out,
            "\nReading contaminant table...  2 contaminants found\n"
            "Warning: no partition coefficient (PARTITION) for constituent #1; it is 0.0.\n"
            "  Checking Nitrate-N1.........................found and read index map\n"
            "  Checking Atrazine...........................found and read index map\n");
  EXPECT_EQ(error_rec.stop, 0);
  ASSERT_EQ(ms().n_contaminants, 2);
  EXPECT_EQ(ms().contamdescriptions[1], "Nitrate-N1");
  EXPECT_EQ(ms().contamoutputfilenames[2], "atz.out");
  ASSERT_EQ(ms().precip_conc.size(), 2);
  EXPECT_DOUBLE_EQ(ms().precip_conc[1], 1.5);
  EXPECT_DOUBLE_EQ(ms().precip_conc[2], 0.25);
  ASSERT_EQ(ms().water_soil_partition_coef.size(), 2);
  EXPECT_DOUBLE_EQ(ms().water_soil_partition_coef[1], 0.0);
  EXPECT_DOUBLE_EQ(ms().water_soil_partition_coef[2], 3.5);
  ASSERT_EQ(ms().ov_disp_table.size(), 2);
  const double disp1[] = {1, 1, 10, 10, 1, 1, 10, 10};
  for (int c = 1; c <= 8; ++c) {
    EXPECT_DOUBLE_EQ(ms().ov_disp_table[1][c], disp1[c - 1]) << "cell " << c;
    EXPECT_DOUBLE_EQ(ms().ov_decay_table[1][c], 2 * disp1[c - 1]) << "cell " << c;
    EXPECT_DOUBLE_EQ(ms().ov_disp_table[2][c], 0.5);
    EXPECT_DOUBLE_EQ(eighth[2][c], 9.0);
  }
}

TEST_F(ContaminantTables, AnUnknownIndexMapFailsTheBlock) {
  // The second names its map without quotes: only a quoted INDEX_MAP name
  // could match a quoted card name, and "Unquoted" is written bare.
  write_table(maps + "CONTAMINANT_TRANSPORT\nNUM_CONTAM 2\n" +
              contaminant("\"Nitrate-N1\" \"Nitrate map\" \"no3.out\"", "PRECIP_CONC 1.5\n", "PARTITION 1\n",
                          "NUM_IDS 2\nh\n" + table_row(1, {1, 2, 3, 4, 5, 6, 7, 8}) +
                              table_row(2, {10, 20, 30, 40, 50, 60, 70, 80})) +
              contaminant("\"Atrazine\" \"Unquoted\" \"atz.out\"", "PRECIP_CONC 0.25\n", "PARTITION 3.5\n",
                          "NUM_IDS 1\nh\n" + table_row(5, {0.5, 0, 0, 0, 0, 0, 0, 9})));
  const std::string out = read();
  EXPECT_EQ(result, 0);
  EXPECT_NE(out.find("  Checking Nitrate-N1.........................found and read index map\n"
                     "  Checking Atrazine...........................unable to match index map\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Error reading the contaminant transport tables in the mapping table file.\n"),
            std::string::npos);
  EXPECT_EQ(error_rec.stop, 1);
  EXPECT_DOUBLE_EQ(ms().ov_disp_table[1][3], 10.0) << "the first is read completely";
}

TEST_F(ContaminantTables, MissingBlockAndCounts) {
  write_table(maps + "CONTAMINANT_TRANSPORT\nNUM_CONTAM -3\n");
  EXPECT_EQ(read(), "\nReading contaminant table...  0 contaminants found\n");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(error_rec.stop, 0) << "no contaminants is no error";
  EXPECT_EQ(ms().n_contaminants, 0);
  write_table(maps + "ROUGHNESS x\n");
  EXPECT_NE(read().find("Error reading the contaminant transport tables"), std::string::npos);
  EXPECT_EQ(error_rec.stop, 1);
}

TEST_F(ContaminantTables, MapIdsAreCheckedAgainstTheirOwnTable) {
  // The second table holds only ID 1, the first ID 2: map c1.idx uses ID 2.
  write_table(maps + "CONTAMINANT_TRANSPORT\nNUM_CONTAM 2\n" +
              contaminant("\"A\" \"Nitrate map\" \"a.out\"", "PRECIP_CONC 1\n", "PARTITION 1\n",
                          "NUM_IDS 2\nh\n" + table_row(1, {1, 1, 1, 1, 1, 1, 1, 1}) +
                              table_row(2, {2, 2, 2, 2, 2, 2, 2, 2})) +
              contaminant("\"B\" \"Nitrate map\" \"b.out\"", "PRECIP_CONC 1\n", "PARTITION 1\n",
                          "NUM_IDS 1\nh\n" + table_row(1, {1, 1, 1, 1, 1, 1, 1, 1})));
  const std::string out = read();
  EXPECT_NE(out.find("Index ID exceeds table limit, file: c1.idx [row 2:col 1]\n"), std::string::npos) << out;
  EXPECT_EQ(error_rec.stop, 1);
}

TEST(QuotedTexts, SplitTakesTheFirstQuotedTextAndKeepsTheRest) {
  std::string line = "  \"a b\" x \"c\" \"d\"";
  EXPECT_EQ(split_quoted(line), "\"a b\"");
  EXPECT_EQ(line, "\"c\" \"d\"");
  EXPECT_EQ(split_quoted(line), "\"c\"");
  std::string text = "\"q\"u\"";
  remove_all_quotes(text);
  EXPECT_EQ(text, "qu");
}

}  // namespace
}  // namespace kavro
