// Sums whose result is the same for every thread count.
#include "framework/parallel_sum.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace kavro {
namespace {

TEST(FixedChunkSum, SameBitsForAnyThreadCount) {
  // Terms of very different size, so that the order of the additions shows
  // in the last bits of the result.
  const long n = 100003;
  std::vector<double> v(static_cast<size_t>(n) + 1);
  for (long i = 1; i <= n; ++i) v[static_cast<size_t>(i)] = std::pow(10.0, static_cast<double>(i % 17) - 8.0) / (i + 0.5);
  const int saved = omp_get_max_threads();
  std::vector<double> results;
  for (int threads : {1, 2, 3, 8}) {
    omp_set_num_threads(threads);
    results.push_back(fixed_chunk_sum(1, n, [&](long i) { return v[static_cast<size_t>(i)]; }));
  }
  omp_set_num_threads(saved);
  for (double r : results) EXPECT_EQ(std::memcmp(&r, &results[0], sizeof r), 0) << r << " vs " << results[0];
  double serial_by_chunks = 0.0;
  for (long lo = 1; lo <= n; lo += sum_chunk_size) {
    double s = 0.0;
    for (long i = lo; i <= n && i < lo + sum_chunk_size; ++i) s += v[static_cast<size_t>(i)];
    serial_by_chunks += s;
  }
  EXPECT_EQ(results[0], serial_by_chunks);
}

TEST(FixedChunkSum, EdgeRanges) {
  EXPECT_EQ(fixed_chunk_sum(1, 0, [](long) { return 1.0; }), 0.0);
  EXPECT_EQ(fixed_chunk_sum(5, 5, [](long i) { return static_cast<double>(i); }), 5.0);
  EXPECT_EQ(fixed_chunk_sum(1, 3 * sum_chunk_size + 7, [](long) { return 1.0; }), 3.0 * sum_chunk_size + 7);
}

}  // namespace
}  // namespace kavro
