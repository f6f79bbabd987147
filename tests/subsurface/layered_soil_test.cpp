// The layered soil table of multi-layer Green-Ampt read from the mapping
// table: the layout it accepts, and each value it refuses with the file
// and the value named.
#include "subsurface/layered_soil.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "framework/file_wrapper.h"
#include "subsurface/soil_type_table.h"
#include "test_support.h"

namespace kavro {
namespace {

// The table after its card line: two count lines, a column header, then
// three lines per soil.
std::string table(const std::string& soils, int count) {
  return "NUM_IDS " + std::to_string(count) + "\nNUM_SOIL_LAYERS 3\nID description Ks lambda suction ...\n" + soils;
}

// Ks, lambda, suction, porosity, field capacity, wilting point, residual,
// initial[, thickness]
const std::string layer2 = "0.5 0.4 20 0.40 0.25 0.12 0.04 0.2 30\n";
const std::string layer3 = "0.25 0.5 30 0.35 0.2 0.1 0.03 0.15\n";

struct read_result {
  int count = 0;
  std::string out;
};

read_result read_table(const std::string& text, soil_type_store& store) {
  kavro_test::scratch_dir dir;
  kavro_test::write_file(dir / "t.cmt", text);
  file_wrapper f;
  EXPECT_TRUE(f.open((dir / "t.cmt").string(), "r"));
  read_result r;
  testing::internal::CaptureStdout();
  r.count = read_mlga_soil_params(f, store);
  r.out = testing::internal::GetCapturedStdout();
  return r;
}

TEST(LayeredSoilTable, ReadsWordsBeforeKsCommasAndEverySoil) {
  auto store = std::make_unique<soil_type_store>();
  const std::string soils = "7 silty loam, 1.5, 0.3, 11, 0.45, 0.3, 0.1, 0.05, 0.25, 12\n" + layer2 + layer3 +
                            "99999 clay 0.1 0.2 40 0.5 0.4 0.2 0.1 0.3 8\n" + layer2 + layer3;
  const read_result r = read_table(table(soils, 2), *store);
  EXPECT_EQ(r.count, 2) << r.out;
  EXPECT_TRUE(r.out.empty()) << r.out;
  const soil_type_params& p = (*store)[7];
  EXPECT_DOUBLE_EQ(p.layer_ks[1], 1.5);
  EXPECT_DOUBLE_EQ(p.layer_lambda[1], 0.3);
  EXPECT_DOUBLE_EQ(p.layer_suction_head[1], 11.0);
  EXPECT_DOUBLE_EQ(p.layer_porosity[1], 0.45);
  EXPECT_DOUBLE_EQ(p.layer_field_capacity[1], 0.3);
  EXPECT_DOUBLE_EQ(p.layer_wilting_point[1], 0.1);
  EXPECT_DOUBLE_EQ(p.layer_residual_moisture[1], 0.05);
  EXPECT_DOUBLE_EQ(p.layer_initial_moisture[1], 0.25);
  EXPECT_DOUBLE_EQ(p.layer_depth[1], 12.0);
  EXPECT_DOUBLE_EQ(p.layer_depth[2], 30.0);
  EXPECT_DOUBLE_EQ(p.layer_ks[3], 0.25);
  EXPECT_DOUBLE_EQ(p.layer_initial_moisture[3], 0.15);
  EXPECT_DOUBLE_EQ((*store)[99999].layer_suction_head[1], 40.0);
}

// Each refusal: the first value out of its range ends the reader with 0,
// its message and a line naming the file and the value read.
TEST(LayeredSoilTable, RefusesEachValueOutOfItsRange) {
  std::string zeros87;
  for (int i = 0; i < 87; ++i) zeros87 += " 0";
  struct bad_case {
    std::string soil;
    const char* message;
    const char* value;
  };
  const bad_case cases[] = {
      {"1 a 1.0 1.5 10 0.45 0.3 0.1 0.05 0.25 10\n", "Lamda for layer 1 of soil 1 must be between 0.0 and 1.0 \n", "1.5"},
      {"1 a 1.0 0.3 0 0.45 0.3 0.1 0.05 0.25 10\n", "Suction head for layer 1 of soil 1 must be greater than zero \n", "0"},
      {"1 a 1.0 0.3 10 1.2 0.3 0.1 0.05 0.25 10\n", "Porosity for layer 1 of soil 1 must be between 0.0 and 1.0 \n", "1.2"},
      {"1 a 1.0 0.3 10 0.45 0.5 0.1 0.05 0.25 10\n",
       "Field Capacity for layer 1 of soil 1 must be between 0.0 and porosity \n", "0.5"},
      {"1 a 1.0 0.3 10 0.45 0.3 0.35 0.05 0.25 10\n",
       "Wilting point for layer 1 of soil 1 must be between 0.0 and field capacity \n", "0.35"},
      {"1 a 1.0 0.3 10 0.45 0.3 0.1 0.2 0.25 10\n",
       "Residual saturation for layer 1 of soil 1 must be between 0.0 and wilting point \n", "0.2"},
      {"1 a 1.0 0.3 10 0.45 0.3 0.1 0.05 0.5 10\n",
       "Initial moisture for layer 1 of soil 1 must be between residual saturation and porosity \n ", "0.5"},
      // Zeros before Ks are passed over as words are: 87 of them leave no Ks.
      {"1" + zeros87 + " 0.3 10 0.45 0.3 0.1 0.05 0.25 10\n",
       "Soil hydraulic conductivity for layer 1 of soil 1 must be greater than zero \n", "0"},
      {"100000 a 1.0 0.3 10 0.45 0.3 0.1 0.05 0.25 10\n", "Soil ID of soil 1 must be a whole number from 0 to 99999 \n",
       "100000"},
      {"-3 a 1.0 0.3 10 0.45 0.3 0.1 0.05 0.25 10\n", "Soil ID of soil 1 must be a whole number from 0 to 99999 \n",
       "-3"},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.message);
    auto store = std::make_unique<soil_type_store>();
    const read_result r = read_table(table(c.soil + layer2 + layer3, 1), *store);
    EXPECT_EQ(r.count, 0);
    EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("t.cmt the value read is " + std::string(c.value) + "\n"), std::string::npos) << r.out;
  }
  // Layers 2 and 3 must conduct too; a missing Ks on either is named.
  auto store = std::make_unique<soil_type_store>();
  const std::string good1 = "1 a 1.0 0.3 10 0.45 0.3 0.1 0.05 0.25 10\n";
  const read_result r = read_table(table(good1 + layer2 + zeros87 + " 0.5 30 0.35 0.2 0.1 0.03 0.15\n", 1), *store);
  EXPECT_EQ(r.count, 0);
  EXPECT_NE(r.out.find("Soil hydraulic conductivity for layer 3 of soil 1 must be greater than zero \n"),
            std::string::npos)
      << r.out;
}

TEST(LayeredSoilTable, AShortTableOrNoSoilsIsAnErrorNotARepeatedLine) {
  auto store = std::make_unique<soil_type_store>();
  const std::string good1 = "1 a 1.0 0.3 10 0.45 0.3 0.1 0.05 0.25 10\n";
  read_result r = read_table(table(good1 + layer2 + layer3, 2), *store);
  EXPECT_EQ(r.count, 0);
  EXPECT_NE(r.out.find("t.cmt ends before layer 1 of soil 2 of 2"), std::string::npos) << r.out;
  r = read_table(table(good1 + layer2, 1), *store);
  EXPECT_EQ(r.count, 0);
  EXPECT_NE(r.out.find("ends before layer 3 of soil 1 of 1"), std::string::npos) << r.out;
  r = read_table(table("", 0), *store);
  EXPECT_EQ(r.count, 0);
  r = read_table("NUM_IDS\n", *store);
  EXPECT_EQ(r.count, 0);
}

}  // namespace
}  // namespace kavro
