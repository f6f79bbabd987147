// Closed-form checks of the calibration tool's linear algebra, random
// numbers and special functions.
#include "calibration/numeric_toolkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <vector>

namespace kavro {
namespace {

dmat make_matrix(std::initializer_list<std::initializer_list<double>> rows) {
  const int n = static_cast<int>(rows.size());
  const int m = static_cast<int>(rows.begin()->size());
  dmat a = matrix(1, n, 1, m);
  int i = 1;
  for (const auto& row : rows) {
    int j = 1;
    for (double v : row) a[i][j++] = v;
    ++i;
  }
  return a;
}

dvec make_vector(std::initializer_list<double> values) {
  dvec v;
  v.allocate(static_cast<long>(values.size()));
  long i = 1;
  for (double x : values) v[i++] = x;
  return v;
}

TEST(Cholesky, FactorAndSolveOfKnownMatrix) {
  dmat a = make_matrix({{4, 2}, {2, 3}});
  dvec p = make_vector({0, 0});
  choldc(a, 2, p);
  EXPECT_DOUBLE_EQ(p[1], 2.0);
  EXPECT_DOUBLE_EQ(p[2], std::sqrt(2.0));
  EXPECT_DOUBLE_EQ(a[2][1], 1.0);
  EXPECT_DOUBLE_EQ(a[1][2], 2.0);  // upper triangle left as it was
  dvec b = make_vector({8, 8});
  dvec x = make_vector({0, 0});
  choldc_solve(a, 2, p, b, x);
  EXPECT_NEAR(x[1], 1.0, 1e-15);
  EXPECT_NEAR(x[2], 2.0, 1e-15);
  // The right-hand side may be the solution vector itself.
  choldc_solve(a, 2, p, b, b);
  EXPECT_NEAR(b[1], 1.0, 1e-15);
  EXPECT_NEAR(b[2], 2.0, 1e-15);
}

TEST(LuInverse, KnownInverseAndSingularRow) {
  dmat a = make_matrix({{4, 3}, {6, 3}});
  dmat y = matrix(1, 2, 1, 2);
  int singular = 0;
  mat_inverse(a, 2, y, singular);
  EXPECT_EQ(singular, 0);
  const double expected[2][2] = {{-0.5, 0.5}, {1.0, -2.0 / 3.0}};
  for (int i = 1; i <= 2; ++i)
    for (int j = 1; j <= 2; ++j) EXPECT_NEAR(y[i][j], expected[i - 1][j - 1], 1e-14) << i << "," << j;

  dmat z = make_matrix({{1, 2}, {0, 0}});
  dmat untouched = make_matrix({{7, 7}, {7, 7}});
  mat_inverse(z, 2, untouched, singular);
  EXPECT_EQ(singular, 1);
  for (int i = 1; i <= 2; ++i)
    for (int j = 1; j <= 2; ++j) EXPECT_EQ(untouched[i][j], 7.0);

  // A zero pivot without a zero row still inverts (the pivot is replaced).
  dmat zp = make_matrix({{0, 1}, {1, 0}});
  singular = 0;
  mat_inverse(zp, 2, y, singular);
  EXPECT_EQ(singular, 0);
  EXPECT_NEAR(y[1][2], 1.0, 1e-14);
  EXPECT_NEAR(y[2][1], 1.0, 1e-14);
}

TEST(LuInverse, ThreeByThreeParabolaFit) {
  // Rows (p^2, p, 1) for p = 1, 2, 3 through the values of x^2 + 1.
  dmat a = make_matrix({{1, 1, 1}, {4, 2, 1}, {9, 3, 1}});
  dmat b = make_matrix({{2}, {5}, {10}});
  dmat x = matrix(1, 3, 1, 1);
  solve_3x3(a, 3, b, x);
  EXPECT_NEAR(x[1][1], 1.0, 1e-13);
  EXPECT_NEAR(x[2][1], 0.0, 1e-13);
  EXPECT_NEAR(x[3][1], 1.0, 1e-13);

  dmat s = make_matrix({{1, 1, 1}, {0, 0, 0}, {9, 3, 1}});
  dmat keep = make_matrix({{5}, {5}, {5}});
  solve_3x3(s, 3, b, keep);
  EXPECT_EQ(keep[1][1], 5.0);
  EXPECT_EQ(keep[3][1], 5.0);
}

TEST(MatrixRoutines, ProductTransposeScaleSumByHand) {
  const dmat a = make_matrix({{1, 2, 3}, {4, 5, 6}});
  const dmat b = make_matrix({{7, 8}, {9, 10}, {11, 12}});
  dmat c = matrix(1, 2, 1, 2);
  dmmult(a, 2, 3, b, 3, 2, c);
  EXPECT_EQ(c[1][1], 58.0);
  EXPECT_EQ(c[1][2], 64.0);
  EXPECT_EQ(c[2][1], 139.0);
  EXPECT_EQ(c[2][2], 154.0);

  dmat at = matrix(1, 3, 1, 2);
  mat_transpose(a, 2, 3, at);
  EXPECT_EQ(at[1][2], 4.0);
  EXPECT_EQ(at[3][1], 3.0);
  EXPECT_EQ(at[3][2], 6.0);

  dmat sum = matrix(1, 3, 1, 2);
  mat_sum(at, 3, 2, b, sum);
  EXPECT_EQ(sum[1][1], 8.0);
  EXPECT_EQ(sum[2][2], 15.0);
  EXPECT_EQ(sum[3][2], 18.0);

  mat_scale(sum, 3, 2, -0.5, sum);  // in place
  EXPECT_EQ(sum[1][1], -4.0);
  EXPECT_EQ(sum[3][2], -9.0);

  const dvec v = make_vector({1, -1, 2});
  dvec out = make_vector({0, 0});
  mat_vec_product(a, 2, 3, v, 3, out);
  EXPECT_EQ(out[1], 5.0);
  EXPECT_EQ(out[2], 11.0);

  dmat one = matrix(1, 1, 1, 1);
  one[1][1] = 3.5;
  EXPECT_EQ(one[1][1], 3.5);
}

TEST(Jacobi, TridiagonalEigenpairs) {
  const double m[3][3] = {{2, -1, 0}, {-1, 2, -1}, {0, -1, 2}};
  dmat a = matrix(1, 3, 1, 3);
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) a[i][j] = m[i - 1][j - 1];
  dvec d = make_vector({0, 0, 0});
  dmat v = matrix(1, 3, 1, 3);
  int nrot = -1;
  jacobi(a, 3, d, v, nrot);
  sort_eigenpairs(d, v, 3);
  EXPECT_GT(nrot, 0);
  EXPECT_NEAR(d[1], 2.0 + std::sqrt(2.0), 1e-12);
  EXPECT_NEAR(d[2], 2.0, 1e-12);
  EXPECT_NEAR(d[3], 2.0 - std::sqrt(2.0), 1e-12);
  // A v = d v for every column, and V^T V = I.
  for (int k = 1; k <= 3; ++k) {
    for (int i = 1; i <= 3; ++i) {
      double av = 0.0;
      for (int j = 1; j <= 3; ++j) av += m[i - 1][j - 1] * v[j][k];
      EXPECT_NEAR(av, d[k] * v[i][k], 1e-12);
    }
    for (int l = 1; l <= 3; ++l) {
      double dot = 0.0;
      for (int i = 1; i <= 3; ++i) dot += v[i][k] * v[i][l];
      EXPECT_NEAR(dot, k == l ? 1.0 : 0.0, 1e-12);
    }
  }
  // The diagonal and lower triangle of a are left as they were.
  EXPECT_EQ(a[2][1], -1.0);
  EXPECT_EQ(a[2][2], 2.0);
}

TEST(Jacobi, DiagonalMatrixNeedsNoRotation) {
  dmat a = make_matrix({{5, 0, 0}, {0, -1, 0}, {0, 0, 3}});
  dvec d = make_vector({0, 0, 0});
  dmat v = matrix(1, 3, 1, 3);
  v[1][2] = 9.0;
  int nrot = -1;
  jacobi(a, 3, d, v, nrot);
  EXPECT_EQ(nrot, 0);
  EXPECT_EQ(d[1], 5.0);
  EXPECT_EQ(d[2], -1.0);
  EXPECT_EQ(d[3], 3.0);
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) EXPECT_EQ(v[i][j], i == j ? 1.0 : 0.0);
}

TEST(Jacobi, SortTakesTheLaterOfEqualValues) {
  dvec d = make_vector({1, 3, 3});
  dmat v = make_matrix({{1, 2, 3}, {1, 2, 3}, {1, 2, 3}});  // column k marked k
  sort_eigenpairs(d, v, 3);
  EXPECT_EQ(d[1], 3.0);
  EXPECT_EQ(d[2], 3.0);
  EXPECT_EQ(d[3], 1.0);
  EXPECT_EQ(v[1][1], 3.0);  // the old third pair first
  EXPECT_EQ(v[2][2], 2.0);
  EXPECT_EQ(v[3][3], 1.0);
}

TEST(IndexSort, SmallCaseAndLargeRandomSample) {
  dvec arr = make_vector({3, 1, 2});
  ivec indx = ivector(1, 3);
  indexx(3, arr, indx);
  EXPECT_EQ(indx[1], 2);
  EXPECT_EQ(indx[2], 3);
  EXPECT_EQ(indx[3], 1);

  dvec single = make_vector({4});
  ivec one = ivector(1, 1);
  indexx(1, single, one);
  EXPECT_EQ(one[1], 1);

  constexpr int n = 1000;
  dvec draws;
  draws.allocate(n);
  uniform_deviate_state state;
  int seed = -7;
  for (int i = 1; i <= n; ++i) draws[i] = uniform_deviate(seed, state);
  ivec order = ivector(1, n);
  indexx(n, draws, order);
  std::vector<int> seen(n + 1, 0);
  for (int i = 1; i <= n; ++i) {
    ASSERT_GE(order[i], 1);
    ASSERT_LE(order[i], n);
    ++seen[static_cast<size_t>(order[i])];
    if (i > 1) {
      EXPECT_LE(draws[order[i - 1]], draws[order[i]]);
    }
  }
  for (int i = 1; i <= n; ++i) EXPECT_EQ(seen[static_cast<size_t>(i)], 1);
}

TEST(LogGamma, KnownValues) {
  struct known {
    double x, expected;
  };
  for (const known& k : {known{1.0, 0.0}, known{2.0, 0.0}, known{0.5, 0.5723649429247001},
                         known{10.0, 12.801827480081469}}) {
    EXPECT_NEAR(log_gamma(k.x), k.expected, 1e-10) << k.x;
  }
}

TEST(UniformDeviate, FirstUseSequenceAndRange) {
  uniform_deviate_state a;
  uniform_deviate_state b;
  int seed_a = -1;
  int seed_b = 5;
  std::vector<double> first;
  for (int i = 0; i < 5; ++i) {
    const double x = uniform_deviate(seed_a, a);
    EXPECT_EQ(x, uniform_deviate(seed_b, b)) << i;
    first.push_back(x);
  }
  EXPECT_NEAR(first[0], 0.4159993569, 1e-10);
  // A new negative seed restarts the sequence on a used state.
  seed_a = -1;
  EXPECT_EQ(uniform_deviate(seed_a, a), first[0]);

  uniform_deviate_state c;
  int seed = -12345;
  double lo = 1.0, hi = 0.0;
  for (int i = 0; i < 1000000; ++i) {
    const double x = uniform_deviate(seed, c);
    lo = std::fmin(lo, x);
    hi = std::fmax(hi, x);
  }
  EXPECT_GT(lo, 0.0);
  EXPECT_LT(hi, 1.0);
  EXPECT_LE(hi, 0.99999988);
}

TEST(ToolkitDeathTest, FatalErrorsEndTheProcessWithStatusOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const dmat a = matrix(1, 2, 1, 3);
  const dmat b = matrix(1, 4, 1, 2);
  dmat c = matrix(1, 2, 1, 2);
  EXPECT_EXIT(dmmult(a, 2, 3, b, 4, 2, c), testing::ExitedWithCode(1), "a_cols <> b_rows \\(3,4\\): dmmult\n");

  dmat s = make_matrix({{0, 1}, {1, 1}});
  dvec p = make_vector({0, 0});
  EXPECT_EXIT(choldc(s, 2, p), testing::ExitedWithCode(1),
              "Numerical Recipes run-time error...\ncholdc failed\n...now exiting to system...\n");
}

}  // namespace
}  // namespace kavro
