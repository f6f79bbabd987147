// Overland lake files and low-spot files: the cards, the counts against the
// lake map, the initial lake volumes, and the refusals of bad files.
#include "input/lake_files.h"

#include <gtest/gtest.h>

#include <string>

#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "map_table_support.h"

namespace kavro {
namespace {

using kavro_test::console_of;
using kavro_test::index_map;

class LakeFiles : public kavro_test::map_table_test {
 public:
  // Lake map with lakes 1, 2 and 4 (cells 1 2 / 3 4 5 6 / 7 8).
  void lake_setup(const std::string& lake_file, const std::vector<int>& ids = {0, 1, 1, 0, 2, 2, 0, 4, 0, 0, 0, 0}) {
    ms().overland_lake_on = 1;
    ms().dx = 2.0;
    alloc_dvec(ms().elevation, 8, "elevation");
    write("lakes.asc", index_map(ids));
    write("lakes.txt", lake_file);
    open_input(ms().fs_overland_lake_map, ms().overland_lake_map_path, scratch() / "lakes.asc");
    open_input(ms().fs_overland_lake_file, ms().overland_lake_file_path, scratch() / "lakes.txt");
  }
  // Runs the loader; its console and error-stream text.
  std::string run() {
    testing::internal::CaptureStderr();
    const std::string out = console_of([&] { read_overland_lake_maps(ms()); });
    return out + testing::internal::GetCapturedStderr();
  }
};

TEST_F(LakeFiles, TheLargestLakeNumberSetsTheCardsNeeded) {
  lake_setup("KAVRO_OVERLAND_LAKE_FILE\nLAKE 1 10.0 0\n# comment\n\nlake 2 11 5\nLake 4 12 0\n");
  const std::string out = run();
  EXPECT_NE(out.find("1   Elev: 10.00   Volume: 0.00\n2   Elev: 11.00   Volume: 5.00\n3   Elev: 12.00   Volume: 0.00\n"),
            std::string::npos) << out;
  EXPECT_NE(out.find("Incorrect number of LAKE cards in the overland lake input data file.\n"
                     "Expected 4 LAKE cards, read 3\nProgram terminated.\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(error_rec.stop, 1);
}

TEST_F(LakeFiles, BadCardNumbersAreRefused) {
  struct bad_file {
    std::string text;
    std::string message;
  };
  for (const bad_file& b :
       {bad_file{"KAVRO_OVER\nLAKE 1 10 0\nLAKE 9 10 0\n", "names lake 9; the lake map has lakes 1 to 4"},
        bad_file{"kavro_overland_lake_file\nLAKE 1 10 0\nLAKE 2 10 0\nLAKE 1 10 0\nLAKE 4 10 0\n", "repeats lake 1"},
        bad_file{"KAVRO_LAKES\nLAKE 1 10 0\n", "doesn't start with\n KAVRO_OVERLAND_LAKE_FILE card."},
        bad_file{"KAVRO_OVERLAND_LAKE_FILE\n", "Premature end-of-file in the overland lake input data file.\n"
                                               "No LAKE cards encountered before end of file.\n"}}) {
    error_rec = {};
    lake_setup(b.text);
    const std::string out = run();
    EXPECT_NE(out.find(b.message), std::string::npos) << out;
    EXPECT_EQ(error_rec.stop, 1) << b.text;
    if (b.message.find("lake 9") != std::string::npos || b.message.find("repeats") != std::string::npos) {
      EXPECT_NE(out.find("lakes.txt"), std::string::npos) << "the message names the file";
    }
  }
}

TEST_F(LakeFiles, InitialVolumesComeFromTheCells) {
  lake_setup("KAVRO_OVERLAND_LAKE_FILE\nLAKE 1 10.0 999\n", {0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  ms().elevation[1] = 9.0;
  ms().elevation[2] = 9.5;
  run();
  EXPECT_EQ(error_rec.stop, 0);
  ASSERT_EQ(ms().n_olakes, 1);
  EXPECT_DOUBLE_EQ(ms().olake_table[1].volume, 6.0) << "(1.0 + 0.5) x 2 x 2, whatever the card said";
  EXPECT_EQ(ms().olake_table[1].n_lake_cells, 2);
  EXPECT_DOUBLE_EQ(ms().olake_table[1].initial_level, 10.0);
  EXPECT_EQ(ms().oland_lake_new[2], 1);

  lake_setup("KAVRO_OVERLAND_LAKE_FILE\nLAKE 1 10.0 0\n", {0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  ms().elevation[2] = 10.5;
  const std::string out = run();
  EXPECT_NE(out.find("There is a lake cell in lake 1 that is above the initial lake water surface\n"),
            std::string::npos);
  EXPECT_EQ(error_rec.stop, 1);
}

TEST_F(LakeFiles, LowSpotFiles) {
  write("spots.txt", "LOWSPOT\nspot 2 3 4 0.5 11.25\n# note\nSPOT 1 2 8 1.0 12\nSpot 3 3 1 0.25 10\n");
  file_wrapper f;
  ASSERT_TRUE(f.open((scratch() / "spots.txt").string(), "r"));
  int n = 0;
  one_based_vec<low_spot> spots;
  read_lowspot_file(f, "spots.txt", n, spots);
  ASSERT_EQ(n, 3);
  EXPECT_EQ(spots[1].row, 2);
  EXPECT_EQ(spots[1].direction, 4);
  EXPECT_DOUBLE_EQ(spots[1].crest_elev, 11.25);
  EXPECT_EQ(spots[3].col, 3);
  EXPECT_DOUBLE_EQ(spots[3].width_fraction, 0.25);

  write("spots.txt", "LOWSPOT\n");
  f.close();
  ASSERT_TRUE(f.open((scratch() / "spots.txt").string(), "r"));
  testing::internal::CaptureStderr();
  read_lowspot_file(f, "spots.txt", n, spots);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Premature end-of-file in the lowspot input file.\nNo SPOT cards encountered before end of file.\n"
            "Program terminated.\n");
  EXPECT_EQ(error_rec.stop, 1);
}

}  // namespace
}  // namespace kavro
