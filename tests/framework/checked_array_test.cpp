// Checked arrays: growth, range flag, integrity checks, ownership of rows and
// planes, and element lifetimes of class types.
#include "framework/checked_array.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/error_record.h"
#include "framework/run_abort.h"

namespace kavro {

// Simulates a stray write into the private state of a one-dimensional array.
struct checked_array_probe {
  template <class T>
  static size_t exchange_cell_count(checked_array<T>& a, size_t cells) {
    return std::exchange(a.ncells_, cells);
  }
};

namespace {

template <class F>
std::string console_of(F&& f) {
  testing::internal::CaptureStdout();
  f();
  return testing::internal::GetCapturedStdout();
}

const std::string bad_2d = "\n\nError!! Bad pointers found in 2D array.\n\n";
const std::string bad_3d = "\n\nError!!!  Bad pointers found in 3D array.\n\n";

// A move-only element that counts live objects, like the writer and file
// types the record keeps in checked arrays.
struct tracked {
  static inline int live = 0;
  std::unique_ptr<int> value;
  tracked() { ++live; }
  ~tracked() { --live; }
  tracked(tracked&& o) noexcept : value(std::move(o.value)) { ++live; }
  tracked& operator=(tracked&&) noexcept = default;
  tracked(const tracked&) = delete;
  tracked& operator=(const tracked&) = delete;
};

TEST(CheckedArray, GrowKeepsCellsAndZeroFillsNewOnes) {
  checked_array<double> a("precip_conc");
  EXPECT_TRUE(a.empty());
  EXPECT_EQ(a.data(), nullptr);
  ASSERT_TRUE(a.grow(3));
  EXPECT_EQ(a.size(), 3);
  for (long i = 0; i <= 3; ++i) EXPECT_EQ(a[i], 0.0);
  for (long i = 1; i <= 3; ++i) a[i] = i * 1.5;
  ASSERT_TRUE(a.grow(2));
  EXPECT_EQ(a.size(), 5);
  for (long i = 1; i <= 3; ++i) EXPECT_EQ(a[i], i * 1.5);
  EXPECT_EQ(a[4], 0.0);
  EXPECT_EQ(a[5], 0.0);
  ASSERT_TRUE(a.append(2, -1.0));
  EXPECT_EQ(a.size(), 7);
  EXPECT_EQ(a[5], 0.0);
  EXPECT_EQ(a[6], -1.0);
  EXPECT_EQ(a[7], -1.0);
  EXPECT_TRUE(a.grow(0));
  EXPECT_EQ(a.size(), 7);
  EXPECT_FALSE(a.bad_range());

  checked_array<int> types("constituent_type");
  ASSERT_TRUE(types.append(9, 2));  // a first append fills cells 1..n
  EXPECT_EQ(types.size(), 9);
  EXPECT_EQ(types[0], 0);
  EXPECT_EQ(types[1], 2);
  EXPECT_EQ(types[9], 2);
  EXPECT_EQ(console_of([&] { types.release(); }), "");
  EXPECT_TRUE(types.empty());
}

TEST(CheckedArray, OutOfRangeAccessIsFlaggedAndReportedOnceOnRelease) {
  struct range_case {
    bool zero_based;
    long size;  // 0: never grown
    long index;
    bool bad;
  };
  const range_case cases[] = {
      {false, 5, 5, false}, {false, 5, 0, false}, {false, 5, 6, true},  {false, 5, -1, true},
      {true, 5, 4, false},  {true, 5, -1, false}, {true, 5, 5, true},   {true, 5, -2, true},
      {false, 0, 0, true},  {true, 0, 0, true},   {false, 5, LONG_MAX, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "zero_based " << c.zero_based << " size " << c.size << " index " << c.index);
    std::string at_end;
    {
      checked_array<double> a("xy_input::ovpts", c.zero_based);
      if (c.size) a.grow(c.size);
      a[c.index] = 9.0;
      EXPECT_EQ(a.bad_range(), c.bad);
      const long cell = c.bad ? -1 : c.index + (c.zero_based ? 1 : 0);
      for (long i = 0; i <= a.size() && !a.empty(); ++i)
        EXPECT_EQ(a.data()[i], i == cell ? 9.0 : 0.0) << "cell " << i;
      // A bad read sees a cleared scratch cell, not the value written before.
      if (c.bad) {
        EXPECT_EQ(std::as_const(a)[c.index], 0.0);
      }
      const std::string out = console_of([&] { a.release(); });
      EXPECT_EQ(out, c.bad ? "Error: bad range addressed in array xy_input::ovpts\n" : "");
      EXPECT_FALSE(a.bad_range());
      testing::internal::CaptureStdout();
    }
    at_end = testing::internal::GetCapturedStdout();
    EXPECT_EQ(at_end, "");  // the destructor does not report it again
  }
}

TEST(CheckedArray, DestructorReportsBadRangeByName) {
  const std::string out = console_of([] {
    checked_array<int> a("cell_row");
    a.grow(2);
    a[3] = 1;
  });
  EXPECT_EQ(out, "Error: bad range addressed in array cell_row\n");
}

TEST(CheckedArray, DamagedSizeRefusesEveryChange) {
  checked_array<double> a("event_ov_mass_out");
  a.append(3, 4.0);
  const double* before = a.data();
  const size_t real = checked_array_probe::exchange_cell_count(a, 2);
  const std::string msg = "\n\nError!! Bad pointers found in array event_ov_mass_out.\n\n";
  checked_array<double> other("other");
  other.append(3, 1.0);
  EXPECT_EQ(console_of([&] { EXPECT_FALSE(a.grow(2)); }), msg);
  EXPECT_EQ(console_of([&] { EXPECT_FALSE(a.append(2, 5.0)); }), msg);
  EXPECT_EQ(console_of([&] { EXPECT_FALSE(a.assign(other)); }), msg);
  checked_array_probe::exchange_cell_count(a, real);
  EXPECT_EQ(a.data(), before);
  EXPECT_EQ(a.size(), 3);
  for (long i = 1; i <= 3; ++i) EXPECT_EQ(a[i], 4.0);
}

TEST(CheckedArray, AssignCopiesTheCommonCells) {
  checked_array<double> a("a"), b("b");
  a.append(4, 1.0);
  b.append(2, 2.0);
  ASSERT_TRUE(a.assign(b));
  EXPECT_EQ(a.size(), 4);
  EXPECT_EQ(a[1], 2.0);
  EXPECT_EQ(a[2], 2.0);
  EXPECT_EQ(a[3], 1.0);
  ASSERT_TRUE(b.assign(a));
  EXPECT_EQ(b.size(), 2);
}

TEST(CheckedArray, MoveOnlyElementsGrowAndAreDestroyed) {
  const int outside = tracked::live;
  {
    checked_array<tracked> a("writers");
    const int base = tracked::live;
    ASSERT_TRUE(a.grow(3));
    EXPECT_EQ(tracked::live, base + 4);
    for (long i = 1; i <= 3; ++i) a[i].value = std::make_unique<int>(static_cast<int>(i * 10));
    ASSERT_TRUE(a.grow(7));
    EXPECT_EQ(tracked::live, base + 11);
    for (long i = 1; i <= 3; ++i) {
      ASSERT_TRUE(a[i].value);
      EXPECT_EQ(*a[i].value, i * 10);
    }
    EXPECT_FALSE(a[4].value);
    checked_array<tracked> moved(std::move(a));
    EXPECT_TRUE(a.empty());
    EXPECT_TRUE(a.check());
    EXPECT_EQ(moved.size(), 10);
    EXPECT_EQ(*moved[2].value, 20);
    moved.release();
    EXPECT_EQ(tracked::live, base + 1);  // the scratch cell of `moved`
  }
  EXPECT_EQ(tracked::live, outside);
}

TEST(CheckedArray, FailedGrowthNamesTheArrayAndLeavesItIntact) {
  checked_array<double> a("water_soil_partition_coef");
  a.append(2, 3.0);
  const double* before = a.data();
  error_rec = error_record{};
  bool aborted = false;
  const std::string out = console_of([&] {
    try {
      a.grow(LONG_MAX);
    } catch (const run_aborted&) {
      aborted = true;
    }
  });
  EXPECT_TRUE(aborted);
  EXPECT_EQ(out, "Error allocating memory for variable water_soil_partition_coef\n");
  EXPECT_EQ(error_rec.code, 4000);
  EXPECT_EQ(error_rec.stop, 1);
  EXPECT_TRUE(a.check());
  EXPECT_EQ(a.data(), before);
  EXPECT_EQ(a.size(), 2);
  EXPECT_EQ(a[2], 3.0);
  error_rec = error_record{};
}

TEST(CheckedArray2d, RowWidthIsFixedByTheFirstCallThatGivesIt) {
  checked_array_2d<int> t("table");
  ASSERT_TRUE(t.add_rows(0, 4));
  EXPECT_EQ(t.cols(), 4);
  EXPECT_EQ(t.size(), 0);
  ASSERT_TRUE(t.append_rows(0, 7));  // max(n, 1) rows
  ASSERT_EQ(t.size(), 1);
  EXPECT_EQ(t[1][0], 0);
  for (long j = 1; j <= 4; ++j) EXPECT_EQ(t[1][j], 7);
  ASSERT_TRUE(t.add_rows(2, 9));  // the width stays 4
  EXPECT_EQ(t.cols(), 4);
  EXPECT_EQ(t.size(), 3);
  for (long j = 0; j <= 4; ++j) EXPECT_EQ(t[3][j], 0);
  for (long i : {0L, -1L, 4L, LONG_MIN}) EXPECT_EQ(t.row(i), nullptr) << i;
  EXPECT_EQ(t.rows()[0], nullptr);
  EXPECT_EQ(t.rows()[2], t.row(2));
  EXPECT_TRUE(t.owns_row(1));

  checked_array_2d<double> w;
  ASSERT_TRUE(w.append_rows(2, 1.5, 3));  // empty array, no width yet: cols is taken
  EXPECT_EQ(w.cols(), 3);
  EXPECT_EQ(w[2][3], 1.5);
  checked_array_2d<char> c;
  ASSERT_TRUE(c.add_rows(1));
  EXPECT_EQ(c.cols(), 1);
}

TEST(CheckedArray2d, ResizeKeepsOldCellsAndFillsNewOnes) {
  for (double fill : {0.0, 2.5}) {
    SCOPED_TRACE(fill);
    checked_array_2d<double> t("ov_disp_table");
    t.add_rows(2, 3);
    for (long i = 1; i <= 2; ++i)
      for (long j = 1; j <= 3; ++j) t[i][j] = 10.0 * i + j;
    ASSERT_TRUE(t.resize(4, 5, fill));
    ASSERT_EQ(t.size(), 4);
    ASSERT_EQ(t.cols(), 5);
    for (long i = 1; i <= 4; ++i) {
      EXPECT_TRUE(t.owns_row(i));
      for (long j = 1; j <= 5; ++j) EXPECT_EQ(t[i][j], i <= 2 && j <= 3 ? 10.0 * i + j : fill) << i << "," << j;
    }
    ASSERT_TRUE(t.resize(2, 2, 99.0));  // never shrinks
    EXPECT_EQ(t.size(), 4);
    EXPECT_EQ(t.cols(), 5);
    EXPECT_EQ(t[1][1], 11.0);
    EXPECT_TRUE(t.check());

    checked_array_2d<double> e;
    ASSERT_TRUE(e.resize(2, 3, fill));
    EXPECT_EQ(e.size(), 2);
    EXPECT_EQ(e.cols(), 3);
    EXPECT_EQ(e[2][3], fill);
    EXPECT_EQ(e[2][0], 0.0);
  }
}

TEST(CheckedArray2d, AttachedRowsStayCallerStorage) {
  std::vector<double> first(5, 1.0), second(5, 2.0);
  double* source[] = {nullptr, first.data(), second.data()};
  {
    checked_array_2d<double> t("ov_constituent_conc");
    t.add_rows(1, 4);
    ASSERT_TRUE(t.attach_rows(2, source));
    EXPECT_EQ(t.size(), 3);
    EXPECT_EQ(t[2], first.data());
    EXPECT_EQ(t[3], second.data());
    EXPECT_TRUE(t.owns_row(1));
    EXPECT_FALSE(t.owns_row(2));
    t[3][4] = 8.0;  // the caller sees writes through the table
    EXPECT_EQ(second[4], 8.0);
    EXPECT_TRUE(t.attach_rows(0, source));
    EXPECT_EQ(t.size(), 3);
    // Widening moves the attached rows into owned copies; the caller's rows stay as they were.
    ASSERT_TRUE(t.resize(3, 6, -1.0));
    EXPECT_NE(t[2], first.data());
    EXPECT_TRUE(t.owns_row(2));
    EXPECT_EQ(t[3][4], 8.0);
    EXPECT_EQ(t[3][6], -1.0);
    t[2][1] = 5.0;
    EXPECT_EQ(first[1], 1.0);
    EXPECT_EQ(console_of([&] { t.destroy(); }), "");
    EXPECT_TRUE(t.empty());
  }
  EXPECT_EQ(first[0] + first[4] + second[0], 4.0);  // still readable: never freed by the table
}

TEST(CheckedArray2d, DamagedRowTableRefusesChangesButIsFreed) {
  checked_array_2d<double> t("ov_mass_load_table");
  t.add_rows(2, 3);
  double elsewhere[4] = {};
  double* const own = t.rows()[2];
  t.rows()[2] = elsewhere;  // a stray write into the row table
  EXPECT_EQ(console_of([&] { EXPECT_FALSE(t.add_rows(1)); }), bad_2d);
  EXPECT_EQ(console_of([&] { EXPECT_FALSE(t.resize(5, 5)); }), bad_2d);
  EXPECT_EQ(console_of([&] { EXPECT_FALSE(t.check()); }), bad_2d);
  EXPECT_EQ(t.size(), 2);
  EXPECT_EQ(t.cols(), 3);
  t.rows()[2] = own;
  EXPECT_TRUE(t.check());
  t.rows()[1] = elsewhere;
  // Release frees the rows the array allocated, not the damaged pointer.
  EXPECT_EQ(console_of([&] { t.destroy(); }), bad_2d);
  EXPECT_TRUE(t.empty());
  EXPECT_EQ(console_of([&] { EXPECT_TRUE(t.check()); }), "");
}

TEST(CheckedArray2d, ClassRowsAreConstructedAndDestroyed) {
  const int outside = tracked::live;
  {
    checked_array_2d<tracked> writers("contam_map_writers");
    ASSERT_TRUE(writers.add_rows(2, 2));
    EXPECT_EQ(tracked::live, outside + 6);
    writers[2][2].value = std::make_unique<int>(1);
    checked_array_2d<tracked> moved = std::move(writers);
    EXPECT_TRUE(writers.empty());
    EXPECT_EQ(*moved[2][2].value, 1);
    moved.destroy();
    EXPECT_EQ(tracked::live, outside);
    ASSERT_TRUE(moved.add_rows(1, 2));  // usable again after destroy
  }
  EXPECT_EQ(tracked::live, outside);
}

TEST(CheckedArray3d, AppendedPlanesAreFilledAndKeepOneShape) {
  checked_array_3d<double> s("soil_mass");
  ASSERT_TRUE(s.append_planes(2, 1.5, 3, 4));
  EXPECT_EQ(s.size(), 2);
  EXPECT_EQ(s.row_count(), 3);
  EXPECT_EQ(s.cols(), 4);
  for (long i = 1; i <= 2; ++i) {
    EXPECT_EQ(s[i][0], nullptr);
    for (long j = 1; j <= 3; ++j) {
      EXPECT_EQ(s[i][j][0], 0.0);
      for (long k = 1; k <= 4; ++k) EXPECT_EQ(s[i][j][k], 1.5);
    }
  }
  EXPECT_EQ(s.plane(0), nullptr);
  EXPECT_EQ(s.plane(3), nullptr);
  // Later planes take the established shape, whatever is asked.
  ASSERT_TRUE(s.append_planes(1, 2.0, 5, 6));
  EXPECT_EQ(s.size(), 3);
  EXPECT_EQ(s.row_count(), 3);
  EXPECT_EQ(s.cols(), 4);
  EXPECT_EQ(s[3][3][4], 2.0);
  EXPECT_EQ(s[1][3][4], 1.5);
  EXPECT_TRUE(s.check());
}

TEST(CheckedArray3d, AttachedPlanesAreCheckedButNeverFreed) {
  checked_plane<double> caller = alloc_plane(2, 3, 0.5);
  double** source[] = {nullptr, caller.get()};
  double stray[4] = {};
  {
    checked_array_3d<double> s("soil_conc");
    ASSERT_TRUE(s.attach_planes(1, source, 2, 3));
    ASSERT_TRUE(s.append_planes(1, 0.0));
    EXPECT_FALSE(s.owns_plane(1));
    EXPECT_TRUE(s.owns_plane(2));
    EXPECT_EQ(s[1][2][3], 0.5);
    double* const own = caller.get()[1];
    caller.get()[1] = stray;  // the caller's plane changed under the array
    EXPECT_EQ(console_of([&] { EXPECT_TRUE(s.check(true)); }), "");
    EXPECT_EQ(console_of([&] { EXPECT_FALSE(s.append_planes(1, 0.0)); }), bad_3d);
    EXPECT_EQ(s.size(), 2);
    caller.get()[1] = own;
    double* const owned_row = s[2][1];
    s[2][1] = stray;  // a stray write into an owned plane
    EXPECT_EQ(console_of([&] { EXPECT_FALSE(s.check(true)); }), bad_3d);
    s[2][1] = owned_row;
    EXPECT_EQ(console_of([&] { s.destroy(); }), "");
  }
  EXPECT_EQ(caller.get()[2][3], 0.5);  // caller storage intact
}

TEST(CheckedArray3d, AllocPlaneLayout) {
  checked_plane<int> p = alloc_plane(3, 2, 7);
  EXPECT_EQ(p.get()[0], nullptr);
  for (long j = 1; j <= 3; ++j) {
    EXPECT_EQ(p.get()[j][0], 0);
    EXPECT_EQ(p.get()[j][1], 7);
    EXPECT_EQ(p.get()[j][2], 7);
  }
}

}  // namespace
}  // namespace kavro
