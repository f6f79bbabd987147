// The Q7 segment fluxes in-process: the set-up from the segment map and the
// link/node table with its refusals, the face and channel sums and the mean
// rows of the output.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "framework/error_record.h"
#include "input/card_records.h"
#include "output/q7_coupling.h"
#include "output/q7_setup.h"
#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::read_file;
using kavro_test::write_file;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A grid of 2 x 2 cells of 10 m numbered 1 2 / 3 4, and one channel link of
// 3 computational nodes.
class Q7 : public testing::Test {
 protected:
  void SetUp() override {
    error_rec = error_record{};
    mask.allocate(2, 2);
    mask[1][1] = 1, mask[1][2] = 2, mask[2][1] = 3, mask[2][2] = 4;
    right.allocate(4), below.allocate(4), qx.allocate(4), qy.allocate(4);
    right[1] = 2, right[3] = 4, below[1] = 3, below[2] = 4;
    nx.allocate(1);
    nx[1] = 3;
    qp.allocate(3, 1);
    cards.q7_segment_map = (dir / "seg.asc").string();
    cards.q7_nodes_to_segs = (dir / "table.txt").string();
    cards.q7_segment_fluxes = (dir / "q7.txt").string();
  }
  void TearDown() override { error_rec = error_record{}; }
  void segments(const std::string& values) {
    write_file(dir / "seg.asc", "north: 20\nsouth: 0\neast: 20\nwest: 0\nrows: 2\ncols: 2\n" + values);
  }
  // q7_setup on the files; returns what it printed.
  std::string setup() {
    testing::internal::CaptureStdout();
    q7_setup(data, &cards, mask, 2, 2, 4, 1, 1, nx);
    return testing::internal::GetCapturedStdout();
  }
  void step(double fx1, double fy2, double q2) {
    qx[1] = fx1, qx[3] = 50.0, qy[1] = 60.0, qy[2] = fy2;
    qp[2][1] = q2;
    q7_accumulate_flows(data, qx, qy, 4, right, below, 1, qp, 10.0);
  }

  kavro_test::scratch_dir dir;
  q7_card_block cards;
  q7_data_record data;
  imat mask{"mask"};
  ivec right{"rightcon"}, below{"belowcon"}, nx{"nx"};
  dvec qx{"ov_qx"}, qy{"ov_qy"};
  dmat qp{"qp"};
};

TEST_F(Q7, FacesWithLandOutsideEverySegmentAndChannelNodesAddToTheirSegment) {
  segments("3 0\n3 4\n");
  write_file(dir / "table.txt", "1\n1 2 4\n");
  EXPECT_EQ(setup(), "");
  ASSERT_EQ(error_rec.code, 0);
  EXPECT_EQ(data.max_segment, 4);
  // Cell 1 (segment 3) faces cell 2 (none): |x flow| x 10 m goes to 3; cell 3
  // faces cell 4 (segment 4) and cell 1 faces cell 3 (its own segment):
  // nothing. Cell 2 (none) faces cell 4 below: |y flow| x 10 m goes to 4,
  // with the channel discharge at link 1 node 2.
  step(-0.1, 0.2, 1.0);
  step(0.3, -0.4, 2.0);
  step(0.5, 0.6, 3.0);
  step(-0.7, 0.8, 4.0);
  q7_write_fluxes(data, 200.25);
  step(1.0, 0.0, 0.5);
  step(1.0, 0.0, 0.5);
  q7_write_fluxes(data, 200.5);
  q7_write_fluxes(data, 200.75);  // nothing accumulated: no row
  data.output.close();
  EXPECT_EQ(read_file(dir / "q7.txt"),
            "   jday   3         4         \n"
            "1.000     4.00      7.50      \n"  // (1+3+5+7)/4 and (2+4+6+8)/4 + (1+2+3+4)/4
            "1.250     10.00     0.50      \n");
}

TEST_F(Q7, MapsAndTablesThatGiveNothingOrNameWhatIsNotThere) {
  struct setup_case {
    const char* map;       // empty: no map file
    const char* table;     // empty: no table file
    const char* message;   // printed
    int code;              // left in the error record (0 after a warning)
  };
  const setup_case cases[] = {
      {"0 0\n0 0\n", "", "Warning: There are no segments in the Q7 segment map.\n", 0},
      {"0 0\n0 0\n", "",
       "Warning: The KAVRO to Q7 internal segment flux option is turned on\nBut there are no segments in the Q7 "
       "segment map or in the link-node to segment file.\n",
       0},
      {"1 1\n2 2\n", "1\n1 2 0\n", "", 97},
      {"1 1\n2 2\n", "1\n1 2 3\n", "", 97},
      {"1 1\n2 2\n", "2\n1 2 1\n2 1 2\n", "names link 2 node 1, which the channel network does not have", 97},
      {"1 1\n2 2\n", "1\n1 4 1\n", "names link 1 node 4", 97},
      {"1 1\n2 2\n", "3\n1 2 1\n1 3 2\n", "announces 3 rows but holds 2", already_printed_code},
      {"1 1\n2 2\n", "1\n1 x 1\n", "is not a link, a node and a segment", already_printed_code},
      {"1 -1\n2 2\n", "", "holds segment -1", already_printed_code},
      // A mistyped id would size the per-segment sums beyond any machine.
      {"1 2000000000\n2 2\n", "", "cell 2 of the Q7 segment map", already_printed_code},
      {"1 1000000\n2 2\n", "", "", 0},
  };
  for (const setup_case& c : cases) {
    error_rec = error_record{};
    data = q7_data_record{};
    std::filesystem::remove(dir / "seg.asc");
    std::filesystem::remove(dir / "table.txt");
    if (*c.map) segments(c.map);
    if (*c.table) write_file(dir / "table.txt", c.table);
    const std::string out = setup();
    EXPECT_TRUE(has(out, c.message)) << c.table << "\n" << out;
    EXPECT_EQ(error_rec.code, c.code) << c.table;
  }
  // A segment-flux file that cannot be made: error 98 naming it.
  error_rec = error_record{};
  data = q7_data_record{};
  segments("1 1\n2 2\n");
  cards.q7_segment_fluxes = (dir / "no" / "q7.txt").string();
  setup();
  EXPECT_EQ(error_rec.code, 98);
  EXPECT_EQ(error_rec.name, cards.q7_segment_fluxes);
}

}  // namespace
}  // namespace kavro
