// The one-based owning arrays: layout and ownership.
#include "framework/one_based.h"

#include <gtest/gtest.h>

namespace kavro {

TEST(OneBased, VectorHasCellZeroToNZeroed) {
  dvec v{"v"};
  EXPECT_TRUE(v.empty());
  v.allocate(3);
  ASSERT_FALSE(v.empty());
  EXPECT_EQ(v.size(), 3);
  for (long i = 0; i <= 3; ++i) EXPECT_EQ(v[i], 0.0);
  v.allocate(0);
  EXPECT_TRUE(v.empty());
  EXPECT_EQ(v.name(), "v");
}

TEST(OneBased, MatrixIsOneContiguousBlockWithRowTable) {
  dmat m{"m"};
  m.allocate(2, 3);
  EXPECT_EQ(m.cell_count(), 12u);
  EXPECT_EQ(&m[0][3] + 1, &m[1][0]);
  EXPECT_EQ(&m[1][3] + 1, &m[2][0]);
  EXPECT_EQ(m.rows()[2], m[2]);
  m[2][3] = 7.5;
  EXPECT_EQ(m.data()[11], 7.5);
}

TEST(OneBased, ThreeDimensionalArrayIndexesIntoOneBlock) {
  d3d a{"a"};
  a.allocate(2, 1, 4);
  EXPECT_EQ(a.cell_count(), 3u * 2u * 5u);
  a[2][1][4] = 1.0;
  EXPECT_EQ(a.data()[a.cell_count() - 1], 1.0);
  EXPECT_EQ(&a[1][0][0], a.data() + 10);
  EXPECT_EQ(&a[0][1][4] + 1, &a[1][0][0]);
}

}  // namespace kavro
