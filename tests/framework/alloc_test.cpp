// Allocation functions: one-based layout, zero fill, the size-0 and named
// messages, and the end of the run on a failed allocation.
#include "framework/alloc.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <tuple>

#include "framework/error_record.h"
#include "framework/run_abort.h"

namespace kavro {
namespace {

const std::string size0 = "Error: Attempting to allocate array of size 0\n";
std::string named(const std::string& name) { return "Error allocating memory for variable " + name + "\n"; }

// What f printed on the console.
template <class F>
std::string console_of(F&& f) {
  testing::internal::CaptureStdout();
  f();
  return testing::internal::GetCapturedStdout();
}

template <class A>
bool all_zero(A& a, size_t cells) {
  for (size_t c = 0; c < cells; ++c)
    if (a.data()[c] != 0) return false;
  return true;
}

TEST(Alloc, VectorSizes) {
  struct vec_case {
    bool int_vec;
    long n;
    bool filled;
    std::string printed;
  };
  const vec_case cases[] = {
      {false, 3, true, ""},  {false, 0, false, ""}, {false, -1, false, size0},
      {true, 3, true, ""},   {true, 0, false, ""},  {true, -1, false, size0 + named("v")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.int_vec ? "ivec " : "dvec ") << c.n);
    // An earlier allocation with non-zero contents must not show through.
    dvec d;
    ivec i;
    d.allocate(5);
    i.allocate(5);
    d[3] = 7.0;
    i[3] = 7;
    bool ok = false;
    const std::string out = console_of([&] { ok = c.int_vec ? alloc_ivec(i, c.n, "v") : alloc_dvec(d, c.n, "v"); });
    EXPECT_EQ(out, c.printed);
    EXPECT_EQ(ok, c.filled);
    const long size = c.int_vec ? i.size() : d.size();
    const bool empty = c.int_vec ? i.empty() : d.empty();
    EXPECT_EQ(c.int_vec ? i.name() : d.name(), "v");
    EXPECT_EQ(empty, !c.filled);
    if (!c.filled) continue;
    EXPECT_EQ(size, c.n);
    for (long k = 0; k <= c.n; ++k) EXPECT_EQ(c.int_vec ? i[k] : d[k], 0) << "cell " << k;
  }
}

// Allocates a matrix with f; when it holds cells, checks the row table into
// one zeroed block. Returns the console text.
template <class T, class F>
std::string run_matrix(F f, long n, long m, bool expect_cells) {
  one_based_mat<T> a;
  std::string out = console_of([&] { EXPECT_EQ(f(a, n, m, "tab"), expect_cells); });
  EXPECT_EQ(a.name(), "tab");
  EXPECT_EQ(a.empty(), !expect_cells);
  if (!expect_cells) return out;
  EXPECT_EQ(a.size1(), n);
  EXPECT_EQ(a.size2(), m);
  EXPECT_EQ(&a[0][m] + 1, &a[1][0]);
  for (long i = 0; i <= n; ++i) EXPECT_EQ(a[i], a.data() + i * (m + 1)) << "row " << i;
  EXPECT_TRUE(all_zero(a, a.cell_count()));
  return out;
}

TEST(Alloc, MatricesAreOneZeroedBlockWithRowTable) {
  struct mat_fn {
    const char* label;
    bool named_on_zero;
    std::function<std::string(long, long, bool)> run;
  };
  const mat_fn fns[] = {
      {"dmat", false, [](long n, long m, bool e) { return run_matrix<double>(alloc_dmat, n, m, e); }},
      {"imat", false, [](long n, long m, bool e) { return run_matrix<int>(alloc_imat, n, m, e); }},
      {"cmat", false, [](long n, long m, bool e) { return run_matrix<char>(alloc_cmat, n, m, e); }},
      {"dmat_zero", true, [](long n, long m, bool e) { return run_matrix<double>(alloc_dmat_zero, n, m, e); }},
      {"imat_zero", true, [](long n, long m, bool e) { return run_matrix<int>(alloc_imat_zero, n, m, e); }},
      {"cmat_zero", true, [](long n, long m, bool e) { return run_matrix<char>(alloc_cmat_zero, n, m, e); }},
  };
  const struct {
    long n, m;
  } zero_sizes[] = {{2, 0}, {0, 3}, {-1, 3}, {0, 0}};
  for (const auto& f : fns) {
    SCOPED_TRACE(f.label);
    EXPECT_EQ(f.run(2, 3, true), "");
    EXPECT_EQ(f.run(1, 1, true), "");
    for (const auto& z : zero_sizes)
      EXPECT_EQ(f.run(z.n, z.m, false), f.named_on_zero ? size0 + named("tab") : size0) << z.n << "x" << z.m;
  }
}

TEST(Alloc, ThreeDimensionalArraysIndexIntoOneZeroedBlock) {
  for (bool zero_variant : {false, true}) {
    SCOPED_TRACE(zero_variant ? "d3d_zero" : "d3d");
    auto alloc = zero_variant ? alloc_d3d_zero : alloc_d3d;
    d3d a;
    EXPECT_EQ(console_of([&] { EXPECT_TRUE(alloc(a, 2, 3, 4, "cube")); }), "");
    EXPECT_EQ(a.cell_count(), 3u * 4u * 5u);
    EXPECT_TRUE(all_zero(a, a.cell_count()));
    EXPECT_EQ(&a[1][0][0], a.data() + 4 * 5);
    EXPECT_EQ(&a[2][3][4], a.data() + a.cell_count() - 1);
    EXPECT_EQ(&a[0][3][4] + 1, &a[1][0][0]);
    for (const auto& [n, m, k] : std::initializer_list<std::tuple<long, long, long>>{{0, 1, 1}, {1, 0, 1}, {1, 1, 0}}) {
      EXPECT_EQ(console_of([&] { EXPECT_FALSE(alloc(a, n, m, k, "cube")); }),
                zero_variant ? size0 + named("cube") : size0);
      EXPECT_TRUE(a.empty());
    }
  }
}

TEST(Alloc, LakeSearchTableHasFourRowsPerLake) {
  i3d t;
  EXPECT_EQ(console_of([&] { EXPECT_TRUE(alloc_lake_search(t, 5, 7)); }), "");
  EXPECT_EQ(t.name(), "lake_search");
  EXPECT_EQ(t.size1(), 5);
  EXPECT_EQ(t.size2(), 3);
  EXPECT_EQ(t.size3(), 7);
  EXPECT_EQ(t.cell_count(), 6u * 4u * 8u);
  EXPECT_TRUE(all_zero(t, t.cell_count()));
  EXPECT_EQ(&t[5][3][7], t.data() + t.cell_count() - 1);

  EXPECT_EQ(console_of([&] { EXPECT_FALSE(alloc_lake_search(t, 0, 7)); }), size0 + named("lake_search"));
  EXPECT_TRUE(t.empty());

  i3d u;
  EXPECT_EQ(console_of([&] { EXPECT_TRUE(alloc_i3d_4(u, 2, 3, "ints")); }), "");
  EXPECT_EQ(u.cell_count(), 3u * 4u * 4u);
  EXPECT_EQ(console_of([&] { EXPECT_FALSE(alloc_i3d_4(u, 2, 0, "ints")); }), size0);
}

TEST(Alloc, ChannelTablesAnnounceZeroCountsFirst) {
  using channel_fn = bool (*)(dmat&, long, long);
  struct case_t {
    const char* label;
    channel_fn fn;
    long nodes, links;
    std::string printed;
    long rows;  // highest row; -1: no table
  };
  const std::string ps = size0 + named("stream_pointsource");
  const std::string pu = size0 + named("stream_pumps");
  const case_t cases[] = {
      {"pointsource", alloc_stream_pointsource, 3, 4, "", 4},
      {"pointsource", alloc_stream_pointsource, 0, 4, ps, 1},  // still two rows
      {"pointsource", alloc_stream_pointsource, 3, 0, ps + size0, -1},
      {"pumps", alloc_stream_pumps, 3, 4, "", 3},
      {"pumps", alloc_stream_pumps, 0, 4, pu + size0, -1},
      {"pumps", alloc_stream_pumps, 3, 0, pu + size0, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.label << " " << c.nodes << " " << c.links);
    dmat t;
    EXPECT_EQ(console_of([&] { EXPECT_EQ(c.fn(t, c.nodes, c.links), c.rows >= 0); }), c.printed);
    EXPECT_EQ(t.empty(), c.rows < 0);
    if (c.rows < 0) continue;
    EXPECT_EQ(t.size1(), c.rows);
    EXPECT_EQ(t.size2(), c.links);
    EXPECT_TRUE(all_zero(t, t.cell_count()));
  }
}

TEST(Alloc, RaggedTableRowsAreSeparateZeroedBlocks) {
  dragged r;
  EXPECT_EQ(console_of([&] { EXPECT_TRUE(alloc_ragged_2d(r, 3, 4, "node_table")); }), "");
  EXPECT_EQ(r.name(), "node_table");
  EXPECT_EQ(r.size1(), 3);
  EXPECT_EQ(r.size2(), 4);
  EXPECT_EQ(r[0], nullptr);
  EXPECT_EQ(r.rows()[2], r[2]);
  for (long i = 1; i <= 3; ++i)
    for (long j = 0; j <= 4; ++j) EXPECT_EQ(r[i][j], 0.0);
  r[1][4] = 2.0;  // last cell of row 1 belongs to row 1 only
  EXPECT_EQ(r[2][0], 0.0);
  EXPECT_EQ(console_of([&] { EXPECT_FALSE(alloc_ragged_2d(r, 0, 4, "node_table")); }), "");
  EXPECT_TRUE(r.empty());
}

TEST(Alloc, FillSetsEveryCellAndFreeEmpties) {
  dmat m;
  d3d a;
  fill_dmat(m, 1.0);  // empty: nothing to do
  fill_d3d(a, 1.0);
  free_mat2d(m);
  free_mat3d(a);
  EXPECT_TRUE(m.empty());
  EXPECT_TRUE(a.empty());

  ASSERT_TRUE(alloc_dmat(m, 2, 3, "m"));
  ASSERT_TRUE(alloc_d3d(a, 1, 2, 3, "a"));
  fill_dmat(m, 1.5);
  fill_d3d(a, -2.0);
  EXPECT_EQ(m[0][0], 1.5);
  EXPECT_EQ(m[2][3], 1.5);
  EXPECT_EQ(a[0][0][0], -2.0);
  EXPECT_EQ(a[1][2][3], -2.0);
  for (size_t c = 0; c < m.cell_count(); ++c) EXPECT_EQ(m.data()[c], 1.5);
  for (size_t c = 0; c < a.cell_count(); ++c) EXPECT_EQ(a.data()[c], -2.0);
  free_mat2d(m);
  free_mat3d(a);
  EXPECT_TRUE(m.empty());
  EXPECT_TRUE(a.empty());
  free_mat2d(m);  // twice is harmless
}

TEST(Alloc, FailedAllocationNamesTheArrayAndEndsTheRun) {
  struct fail_case {
    std::string name;
    std::function<bool()> run;      // allocates with an impossible size
    std::function<bool()> emptied;  // the target holds nothing afterwards
  };
  dvec v;
  ivec iv;
  dmat m;
  d3d a;
  i3d lake;
  dragged r;
  const long huge = LONG_MAX / 4, big = 1L << 40, cube = 1L << 22;
  const fail_case cases[] = {
      {"v", [&] { return alloc_dvec(v, LONG_MAX - 1, "v"); }, [&] { return v.empty(); }},
      {"iv", [&] { return alloc_ivec(iv, huge, "iv"); }, [&] { return iv.empty(); }},
      {"m", [&] { return alloc_dmat(m, big, big, "m"); }, [&] { return m.empty(); }},
      {"mz", [&] { return alloc_dmat_zero(m, huge, 2, "mz"); }, [&] { return m.empty(); }},
      {"a", [&] { return alloc_d3d_zero(a, cube, cube, cube, "a"); }, [&] { return a.empty(); }},
      {"lake_search", [&] { return alloc_lake_search(lake, big, big); }, [&] { return lake.empty(); }},
      {"stream_pumps", [&] { return alloc_stream_pumps(m, big, big); }, [&] { return m.empty(); }},
      {"r", [&] { return alloc_ragged_2d(r, big, big, "r"); }, [&] { return r.empty(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Earlier contents are released, not left behind for a caller to use.
    v.allocate(2);
    m.allocate(2, 2);
    error_rec = error_record{};
    bool aborted = false;
    const std::string out = console_of([&] {
      try {
        c.run();
      } catch (const run_aborted&) {
        aborted = true;
      }
    });
    EXPECT_TRUE(aborted);
    EXPECT_EQ(out, named(c.name));
    EXPECT_TRUE(c.emptied());
    EXPECT_EQ(error_rec.code, 4000);
    EXPECT_EQ(error_rec.stop, 1);
  }
  error_rec = error_record{};
}

}  // namespace
}  // namespace kavro
