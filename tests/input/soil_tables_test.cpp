// The Richards soil table in its own file and in the mapping table: layer
// records, node counts with and without a water table, and the refusals.
#include "input/soil_tables.h"

#include <gtest/gtest.h>

#include <string>

#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "map_table_support.h"

namespace kavro {
namespace {

using kavro_test::console_of;

// Brooks-Corey layer: Ks, porosity, residual, initial, wilting, fc, thickness, lambda, bubbling, spacing.
std::string bc_layer(double thickness, double spacing, double bubbling = 25) {
  return "1.5 0.45 0.05 0.3 0.1 0.25 " + std::to_string(thickness) + " 0.4 " + std::to_string(bubbling) + " " +
         std::to_string(spacing) + "\n";
}
const std::string bc_soil = bc_layer(30, 1) + bc_layer(20, 2) + bc_layer(50, 5);

class SoilTables : public kavro_test::map_table_test {
 public:
  void SetUp() override {
    map_table_test::SetUp();
    ms().richards_c_option = 1;
    ms().richards_num_size = 151;
    for (ivec* v : {&ms().num1, &ms().num2, &ms().num3}) alloc_ivec(*v, 151, v->name());
    for (ivec* v : {&ms().numcells, &ms().numtot, &ms().soiltype}) alloc_ivec(*v, 8, v->name());
    alloc_dvec(ms().elevation, 8, "elevation");
    alloc_dvec(ms().bottom_elev, 8, "bottom_elev");
  }
  // Reads `text` as the soil file; the result and the console.
  int read_file_table(const std::string& text, std::string* out = nullptr) {
    write("soil.txt", text);
    file_wrapper f;
    EXPECT_TRUE(f.open((scratch() / "soil.txt").string(), "r"));
    int result = 0;
    const std::string printed = console_of([&] { result = read_soil_table(f, "soil.txt", ms(), soil_table_source::own_file); });
    if (out) *out = printed;
    return result;
  }
};

TEST_F(SoilTables, NodeCountsAndColumnsAboveTheAquifer) {
  ms().n_cells = 4;
  for (long i = 1; i <= 4; ++i) ms().soiltype[i] = 3;
  EXPECT_EQ(read_file_table("1 0\n3\n" + bc_soil), 53);
  EXPECT_EQ(ms().num1[3], 30);
  EXPECT_EQ(ms().num2[3], 40);
  EXPECT_EQ(ms().num3[3], 51);
  const soil_type_params& p = ms().soil_type_table[3];
  EXPECT_DOUBLE_EQ(p.layer_bubbling_pressure[2], -25.0) << "stored as minus its absolute value";
  EXPECT_DOUBLE_EQ(p.layer_lambda[1], 0.4);
  EXPECT_DOUBLE_EQ(p.layer_node_spacing[3], 5.0);

  ms().water_table_on = 1;
  ms().aquifer_delta_z = 0.5;
  const double above[] = {1.75, 1.1, 0.25, -0.5};
  for (long i = 1; i <= 4; ++i) {
    ms().soiltype[i] = 3;
    ms().bottom_elev[i] = 100.0;
    ms().elevation[i] = 100.0 + 1.0 + above[i - 1];  // the layers are 1 m thick
  }
  EXPECT_EQ(read_file_table("1 0\n3\n" + bc_soil), 66);
  EXPECT_EQ(ms().num3[3], 50);
  const int numtot[] = {55, 53, 52, 51};
  for (long i = 1; i <= 4; ++i) {
    EXPECT_EQ(ms().numtot[i], numtot[i - 1]) << i;
    EXPECT_EQ(ms().numcells[i], numtot[i - 1] + 9) << i;
  }
  ms().n_cells = 0;
  EXPECT_EQ(read_file_table("1 0\n3\n" + bc_soil), 2);
}

TEST_F(SoilTables, HavercampRecordsAndLongTermValues) {
  ms().richards_c_option = 2;
  ms().long_term_on = 1;
  ms().n_cells = 1;
  for (dvec* v : {&ms().albedo, &ms().veg, &ms().Kt, &ms().Rs}) alloc_dvec(*v, 8, v->name());
  const std::string layer = "1 0.4 0.05 0.3 0.1 0.2 10 7.1 7.2 7.3 7.4 2\n";
  ms().soiltype[1] = 4;
  read_file_table("1 0 4 0.2 0.5 0.7 60\n" + layer + layer + layer);
  EXPECT_EQ(error_rec.stop, 0);
  const soil_type_params& p = ms().soil_type_table[4];
  EXPECT_DOUBLE_EQ(p.layer_havercamp_1[1], 7.1);
  EXPECT_DOUBLE_EQ(p.layer_havercamp_4[3], 7.4);
  EXPECT_DOUBLE_EQ(p.layer_node_spacing[2], 2.0);
  EXPECT_EQ(ms().num1[4], 5);
  EXPECT_DOUBLE_EQ(ms().albedo[1], 0.2);
  EXPECT_DOUBLE_EQ(ms().Rs[1], 60.0);
}

TEST_F(SoilTables, MappingTableRowsFromColumn87Or88) {
  ms().n_cells = 8;
  write("soil.idx", kavro_test::index_map({0, 5, 5, 0, 5, 5, 5, 5, 0, 5, 5, 0}));
  for (const int column : {87, 88}) {
    std::string row = "     5 loam";
    row.resize(static_cast<std::size_t>(column - 1), ' ');
    row += "12.5 0.45 0.05 0.3 0.1 0.25 30 0.4 25 1\n";
    write_table("KAVRO_INDEX_MAP_TABLES\nINDEX_MAP soil.idx Soils\nRICHARDS_EQN_INFILTRATION_BROOKS Soils\n"
                "NUM_IDS 1\nNUM_WHATEVER 0\nID  description  values\n" +
                row + bc_layer(20, 2) + bc_layer(50, 5));
    ms().soil_type_table[5].layer_ks[1] = 0;
    int result = 0;
    console_of([&] { result = read_richards_soil_table(ms()); });
    EXPECT_EQ(error_rec.stop, 0) << column;
    EXPECT_DOUBLE_EQ(ms().soil_type_table[5].layer_ks[1], 12.5) << "layer 1 written from column " << column;
    EXPECT_EQ(ms().soiltype[3], 5);
    EXPECT_EQ(result, 53);
  }
}

TEST_F(SoilTables, BadTablesAreRefused) {
  ms().n_cells = 1;
  struct bad_table {
    std::string text;
    std::string message;
  };
  for (const bad_table& b : {
           bad_table{"1 0\n100000\n" + bc_soil, "soil type 100000, outside 0 to 99999"},
           bad_table{"1 0\n3\n" + bc_layer(30, 0) + bc_layer(20, 2) + bc_layer(50, 5),
                     "soil type 3 of the soil table soil.txt has a node spacing of 0 cm in layer 1"},
           bad_table{"1 0\n3\n" + bc_layer(30, 1) + bc_layer(20, 2), "ends early in soil 1 (type 3)"},
           bad_table{"1 0\n3\n1.5 0.45 x 0.3", "residual saturation of layer 1 is \"x\", not a number"},
           bad_table{"1 0\n3\n1.5 0.45 nan 0.3", "\"nan\", not a number"},
       }) {
    error_rec = {};
    std::string out;
    EXPECT_EQ(read_file_table(b.text, &out), 0) << b.text;
    EXPECT_NE(out.find(b.message), std::string::npos) << out;
    EXPECT_EQ(error_rec.stop, 1);
  }

  error_rec = {};
  ms().soiltype[1] = 400;  // no soil type 400 in a table of types up to 151
  std::string out;
  EXPECT_EQ(read_file_table("1 0\n3\n" + bc_soil, &out), 0);
  EXPECT_NE(out.find("cell 1 has soil type 400, outside the soil types 0 to 151"), std::string::npos) << out;

  error_rec = {};
  ms().soiltype[1] = 300;  // a table with a type of 300 grows the node counts
  EXPECT_EQ(read_file_table("1 0\n300\n" + bc_soil, &out), 53) << out;
  EXPECT_EQ(ms().num3[300], 51);
  EXPECT_EQ(ms().num3.size(), 300);
}

}  // namespace
}  // namespace kavro
