// Named, growable arrays of the run record: the per-constituent tables that
// grow by one constituent at a time, the point lists of nested-run inputs
// and the tables of output writers.
//
//   checked_array<T>     cells 0..size(), indexed from 1 (or from 0 when the
//                        array is zero-based: index i is cell i + 1);
//   checked_array_2d<T>  rows 1..size() of cells 0..cols() (cells 1..cols() used);
//   checked_array_3d<T>  planes 1..size() of rows 1..row_count() of cells 0..cols().
//
// Each array keeps private copies of the pointers and sizes it exposes and
// compares them before it changes anything. A mismatch means a stray write
// damaged the object: the operation prints a "Bad pointers" message and
// refuses, leaving the array as it was. Storage is owned by handles that are
// never exposed, so release always frees exactly what the array allocated and
// never a damaged or caller-owned pointer. Every operation that allocates
// builds the new tables first and only then switches over, so a failed
// allocation (which ends the run, as in alloc.h) leaves the array valid.
//
// New cells are value-initialised (zero for numbers, default-constructed for
// classes); growth moves elements, release destroys them. The one-dimensional
// array carries a bad-range flag: an index outside the cells sets it and
// lands on a scratch cell instead of foreign memory, and the array's release
// prints "Error: bad range addressed in array %s\n" once. Kernels use data()
// or rows(): the index check is one compare but not meant for parallel loops.
#pragma once

#include <algorithm>
#include <cstddef>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "framework/alloc.h"

namespace kavro {

// Tests reach the private state through this (to simulate a stray write).
struct checked_array_probe;

namespace checked_detail {
void report_bad_pointers(const std::string& name);  // one dimension
void report_bad_pointers_2d();
void report_bad_pointers_3d();
void report_bad_range(const std::string& name);

// Highest index after adding n > 0 to `highest`; throws std::bad_array_new_length past the range.
long grown_size(long highest, long n);

// A table of `entries` null pointers.
template <class P>
std::unique_ptr<P[]> make_table(size_t entries) {
  return std::make_unique<P[]>(entries);
}

// A copy of the entries 0..highest of a pointer table; null for no table.
template <class P>
std::unique_ptr<P[]> copy_table(const P* table, long highest) {
  if (table == nullptr) return nullptr;
  auto copy = make_table<P>(static_cast<size_t>(highest) + 1);
  std::copy_n(table, highest + 1, copy.get());
  return copy;
}

// A new table of entries 0..size + added.size(): the entries 0..size of
// `table` (null when empty) followed by `added`.
template <class P>
std::unique_ptr<P[]> extended_table(const P* table, long size, const std::vector<P>& added) {
  auto fresh = make_table<P>(static_cast<size_t>(size) + added.size() + 1);
  if (table) std::copy_n(table, size + 1, fresh.get());
  std::copy(added.begin(), added.end(), fresh.get() + size + 1);
  return fresh;
}
}  // namespace checked_detail

template <class T>
class checked_array {
 public:
  checked_array() = default;
  explicit checked_array(std::string_view name) : name_(name) {}
  checked_array(std::string_view name, bool zero_based) : zero_based_(zero_based), name_(name) {}
  ~checked_array() { release(); }
  checked_array(const checked_array&) = delete;
  checked_array& operator=(const checked_array&) = delete;
  checked_array(checked_array&& other) noexcept { swap(other); }
  checked_array& operator=(checked_array&& other) noexcept {
    if (this != &other) {
      release();
      swap(other);
    }
    return *this;
  }

  // Cell i (cell i + 1 when zero-based). Outside the cells: sets the
  // bad-range flag and gives a scratch cell reset to T{}.
  T& operator[](long i) {
    const size_t c = static_cast<size_t>(i) + zero_based_;
    if (c < ncells_) [[likely]]
      return cells_[c];
    return out_of_range();
  }
  const T& operator[](long i) const {
    const size_t c = static_cast<size_t>(i) + zero_based_;
    if (c < ncells_) [[likely]]
      return cells_[c];
    return out_of_range();
  }

  T* data() { return cells_.get(); }  // cells 0..size(); null while empty
  const T* data() const { return cells_.get(); }
  long size() const { return ncells_ ? static_cast<long>(ncells_) - 1 : 0; }  // last cell
  bool empty() const { return ncells_ == 0; }
  bool bad_range() const { return bad_range_; }
  bool zero_based() const { return zero_based_; }
  void set_zero_based(bool on) { zero_based_ = on; }
  const std::string& name() const { return name_; }
  void set_name(std::string_view name) { name_ = name; }

  // True when the pointer and size equal their copies; else prints the
  // "Bad pointers" message with the name.
  bool check() const {
    if (cells_.get() == data_check_ && ncells_ == size_check_) return true;
    checked_detail::report_bad_pointers(name_);
    return false;
  }

  // Adds n cells (the first growth also makes cell 0); old cells are moved
  // over, new ones value-initialised. False when the integrity check refused.
  bool grow(long n) {
    if (!check()) return false;
    if (n <= 0) return true;
    block_ptr<T> fresh;
    size_t total = 0;
    try {
      total = cell_count_or_throw(sizeof(T), {checked_detail::grown_size(size(), n)});
      fresh = zeroed_block<T>(total);
    } catch (const std::bad_alloc&) {
      allocation_failed(name_);
    }
    for (size_t c = 0; c < ncells_; ++c) fresh[c] = std::move(cells_[c]);
    cells_ = std::move(fresh);
    ncells_ = total;
    data_check_ = cells_.get();
    size_check_ = ncells_;
    return true;
  }

  // Grows by n and sets the new cells (from cell 1 on a first growth) to value.
  bool append(long n, const T& value) {
    const size_t first = std::max<size_t>(ncells_, 1);
    if (!grow(n)) return false;
    for (size_t c = first; c < ncells_; ++c) cells_[c] = value;
    return true;
  }

  // Copies cells 1..min(size(), other.size()) from other; sizes stay.
  bool assign(const checked_array& other)
    requires std::is_copy_assignable_v<T>
  {
    if (!check() || !other.check()) return false;
    const long last = std::min(size(), other.size());
    for (long c = 1; c <= last; ++c) cells_[c] = other.cells_[c];
    return true;
  }

  // Reports a bad-range access once, then destroys the cells. The array is
  // empty afterwards and may grow again.
  void release() {
    if (bad_range_) {
      checked_detail::report_bad_range(name_);
      bad_range_ = false;
    }
    cells_.reset();
    ncells_ = 0;
    data_check_ = nullptr;
    size_check_ = 0;
  }

 private:
  friend struct checked_array_probe;

  [[gnu::noinline, gnu::cold]] T& out_of_range() const {
    bad_range_ = true;
    if constexpr (std::is_move_assignable_v<T>) scratch_ = T{};
    return scratch_;
  }

  void swap(checked_array& o) noexcept {
    using std::swap;
    swap(data_check_, o.data_check_);
    swap(size_check_, o.size_check_);
    swap(cells_, o.cells_);
    swap(ncells_, o.ncells_);
    swap(bad_range_, o.bad_range_);
    swap(name_, o.name_);
    swap(zero_based_, o.zero_based_);
  }

  T* data_check_ = nullptr;  // copy of cells_.get()
  size_t size_check_ = 0;    // copy of ncells_
  block_ptr<T> cells_;  // zeroed pages from the system for plain numbers
  size_t ncells_ = 0;  // cells 0..ncells_-1; 0 while empty
  mutable bool bad_range_ = false;
  bool zero_based_ = false;
  std::string name_;
  mutable T scratch_{};  // target of out-of-range accesses
};

template <class T>
class checked_array_2d {
 public:
  checked_array_2d() = default;
  explicit checked_array_2d(std::string_view name) : name_(name) {}
  ~checked_array_2d() { destroy(); }
  checked_array_2d(const checked_array_2d&) = delete;
  checked_array_2d& operator=(const checked_array_2d&) = delete;
  checked_array_2d(checked_array_2d&& other) noexcept { swap(other); }
  checked_array_2d& operator=(checked_array_2d&& other) noexcept {
    if (this != &other) {
      destroy();
      swap(other);
    }
    return *this;
  }

  // Row i, or null when i is outside 1..size().
  T* operator[](long i) { return row(i); }
  const T* operator[](long i) const { return row(i); }
  T* row(long i) const {
    return static_cast<size_t>(i) - 1 < static_cast<size_t>(size_) ? rows_[static_cast<size_t>(i)] : nullptr;
  }
  T** rows() { return rows_.get(); }  // the row table 0..size(), entry 0 null
  long size() const { return size_; }
  long cols() const { return cols_; }
  bool empty() const { return size_ == 0; }
  bool owns_row(long i) const { return row(i) && owned_[static_cast<size_t>(i) - 1] != nullptr; }
  const std::string& name() const { return name_; }
  void set_name(std::string_view name) { name_ = name; }

  // True when the row table and every row pointer equal their copies; else
  // prints the two-dimensional "Bad pointers" message.
  bool check() const {
    bool ok = size_check_ == size_ && rows_check_ == rows_.get();
    for (long i = 0; ok && size_check_ > 0 && i <= size_check_; ++i) ok = rows_[i] == row_copy_[i];
    if (!ok) checked_detail::report_bad_pointers_2d();
    return ok;
  }

  // Accepts the present row table as sound (after an owner deliberately
  // pointed a row elsewhere).
  void refresh_check() {
    std::unique_ptr<T*[]> copy;
    try {
      copy = checked_detail::copy_table(rows_.get(), size_);
    } catch (const std::bad_alloc&) {
      allocation_failed(name_);
    }
    row_copy_ = std::move(copy);
    rows_check_ = rows_.get();
    size_check_ = size_;
  }

  // Adds n rows owned by the array, cells value-initialised. The row width
  // is fixed by the first call that gives cols (> 0), else 1.
  bool add_rows(long n, long cols = -1) { return add_owned_rows(n, cols, nullptr); }

  // Adds max(n, 1) owned rows with every cell 1..cols() set to value.
  bool append_rows(long n, const T& value, long cols = -1)
    requires std::is_copy_assignable_v<T>
  {
    return add_owned_rows(std::max(n, 1L), cols, &value);
  }

  // Adds n rows that are caller storage, source[1..n]; they are never freed
  // by the array.
  bool attach_rows(long n, T* const* source, long cols = -1) {
    if (!check()) return false;
    if (cols > 0 && cols_ == 0) cols_ = cols;
    if (n <= 0 || source == nullptr) return true;
    try {
      std::vector<T*> added(source + 1, source + 1 + n);
      std::vector<std::unique_ptr<T[]>> blocks(static_cast<size_t>(n));
      add_to_table(added, blocks);
    } catch (const std::bad_alloc&) {
      allocation_failed(name_);
    }
    return true;
  }

  // Widens every row to `cols` (old cells kept, new cells fill) and adds
  // owned rows up to `rows` (cells 1..cols() fill); never shrinks.
  bool resize(long rows, long cols, const T& fill = T{})
    requires std::is_copy_assignable_v<T>
  {
    if (!check()) return false;
    if (cols > cols_) widen(cols, fill);
    if (rows > size_) return add_owned_rows(rows - size_, cols, &fill);
    return true;
  }

  // Reports a damaged row table, then frees the rows the array owns (never
  // caller storage) and the tables. The array is empty afterwards.
  void destroy() {
    check();
    owned_.clear();
    rows_.reset();
    row_copy_.reset();
    rows_check_ = nullptr;
    size_ = size_check_ = cols_ = 0;
  }

 private:
  friend struct checked_array_probe;

  // A new row of cells 0..cols_, cells 1..cols_ set to *fill when given.
  std::unique_ptr<T[]> new_row(const T* fill) const {
    auto r = std::make_unique<T[]>(static_cast<size_t>(cols_) + 1);
    if constexpr (std::is_copy_assignable_v<T>) {
      if (fill) std::fill_n(r.get() + 1, cols_, *fill);
    }
    return r;
  }

  bool add_owned_rows(long n, long cols, const T* fill) {
    if (!check()) return false;
    if (cols > 0 && cols_ == 0) cols_ = cols;
    if (cols_ <= 0) cols_ = 1;
    if (n <= 0) return true;
    try {
      cell_count_or_throw(sizeof(T), {n - 1, cols_});
      std::vector<T*> added;
      std::vector<std::unique_ptr<T[]>> blocks;
      added.reserve(static_cast<size_t>(n));
      blocks.reserve(static_cast<size_t>(n));
      for (long j = 0; j < n; ++j) {
        blocks.push_back(new_row(fill));
        added.push_back(blocks.back().get());
      }
      add_to_table(added, blocks);
    } catch (const std::bad_alloc&) {
      allocation_failed(name_);
    }
    return true;
  }

  // Appends the rows `added`; blocks[j] owns added[j] or is null for caller
  // storage. Everything is allocated before the first change.
  void add_to_table(const std::vector<T*>& added, std::vector<std::unique_ptr<T[]>>& blocks) {
    const long new_size = checked_detail::grown_size(size_, static_cast<long>(added.size()));
    owned_.reserve(static_cast<size_t>(new_size));
    auto table = checked_detail::extended_table(rows_.get(), size_, added);
    auto copy = checked_detail::copy_table(table.get(), new_size);
    for (auto& b : blocks) owned_.push_back(std::move(b));  // capacity reserved: no throw
    install(std::move(table), std::move(copy), new_size);
  }

  // Replaces every row by an owned row of cols cells: old cells kept, the
  // new columns set to fill. An old owned row is freed, caller storage left.
  void widen(long cols, const T& fill) {
    std::vector<std::unique_ptr<T[]>> fresh;
    std::unique_ptr<T*[]> table, copy;
    try {
      cell_count_or_throw(sizeof(T), {size_, cols});
      fresh.reserve(static_cast<size_t>(size_));
      for (long i = 1; i <= size_; ++i) {
        auto r = std::make_unique<T[]>(static_cast<size_t>(cols) + 1);
        std::copy_n(rows_[i], cols_ + 1, r.get());
        std::fill_n(r.get() + cols_ + 1, cols - cols_, fill);
        fresh.push_back(std::move(r));
      }
      table = checked_detail::make_table<T*>(static_cast<size_t>(size_) + 1);
      for (long i = 1; i <= size_; ++i) table[i] = fresh[i - 1].get();
      copy = checked_detail::copy_table(table.get(), size_);
    } catch (const std::bad_alloc&) {
      allocation_failed(name_);
    }
    for (long i = 1; i <= size_; ++i) owned_[i - 1] = std::move(fresh[i - 1]);
    cols_ = cols;
    if (size_ > 0) install(std::move(table), std::move(copy), size_);
  }

  void install(std::unique_ptr<T*[]> table, std::unique_ptr<T*[]> copy, long new_size) noexcept {
    rows_ = std::move(table);
    row_copy_ = std::move(copy);
    rows_check_ = rows_.get();
    size_ = size_check_ = new_size;
  }

  void swap(checked_array_2d& o) noexcept {
    using std::swap;
    swap(rows_check_, o.rows_check_);
    swap(row_copy_, o.row_copy_);
    swap(size_check_, o.size_check_);
    swap(cols_, o.cols_);
    swap(size_, o.size_);
    swap(rows_, o.rows_);
    swap(owned_, o.owned_);
    swap(name_, o.name_);
  }

  T** rows_check_ = nullptr;            // copy of rows_.get()
  std::unique_ptr<T*[]> row_copy_;      // copies of the row pointers 0..size_check_
  long size_check_ = 0;                 // copy of size_
  long cols_ = 0;                       // cells per row (1..cols_ used)
  long size_ = 0;                       // rows 1..size_
  std::unique_ptr<T*[]> rows_;          // exposed row table 0..size_, entry 0 null
  std::vector<std::unique_ptr<T[]>> owned_;  // per row 1..size_ (at i-1): its storage, null for caller rows
  std::string name_;
};

// One owned plane of a 3-D checked array: a table of rows 0..rows (row 0
// null) into one block of cells.
template <class T>
struct checked_plane {
  std::unique_ptr<T[]> cells;
  std::unique_ptr<T*[]> table;
  T** get() const { return table.get(); }
};

// A plane of rows 1..rows, each of cells 0..cols with cells 1..cols set to
// value (cell 0 value-initialised). Throws std::bad_alloc when out of memory.
template <class T>
checked_plane<T> alloc_plane(long rows, long cols, const T& value) {
  const size_t nr = static_cast<size_t>(std::max(rows, 0L)), nc = static_cast<size_t>(std::max(cols, 0L)) + 1;
  checked_plane<T> p;
  p.cells = std::make_unique<T[]>(cell_count_or_throw(sizeof(T), {static_cast<long>(nr), static_cast<long>(nc) - 1}));
  p.table = checked_detail::make_table<T*>(nr + 1);
  for (size_t j = 1; j <= nr; ++j) {
    p.table[j] = p.cells.get() + j * nc;
    std::fill_n(p.table[j] + 1, nc - 1, value);
  }
  return p;
}

template <class T>
class checked_array_3d {
 public:
  checked_array_3d() = default;
  explicit checked_array_3d(std::string_view name) : name_(name) {}
  ~checked_array_3d() { destroy(); }
  checked_array_3d(const checked_array_3d&) = delete;
  checked_array_3d& operator=(const checked_array_3d&) = delete;
  checked_array_3d(checked_array_3d&& other) noexcept { swap(other); }
  checked_array_3d& operator=(checked_array_3d&& other) noexcept {
    if (this != &other) {
      destroy();
      swap(other);
    }
    return *this;
  }

  // Plane i, or null when i is outside 1..size().
  T** operator[](long i) const { return plane(i); }
  T** plane(long i) const {
    return static_cast<size_t>(i) - 1 < static_cast<size_t>(size_) ? planes_[static_cast<size_t>(i)] : nullptr;
  }
  T*** planes() { return planes_.get(); }  // the plane table 0..size(), entry 0 null
  long size() const { return size_; }
  long row_count() const { return rows_; }
  long cols() const { return cols_; }
  bool empty() const { return size_ == 0; }
  bool owns_plane(long i) const { return plane(i) && owned_[static_cast<size_t>(i) - 1].table != nullptr; }
  const std::string& name() const { return name_; }
  void set_name(std::string_view name) { name_ = name; }

  // True when the sizes, the plane table and the row pointers of every plane
  // (of the owned planes only, when only_owned) equal their copies; else
  // prints the three-dimensional "Bad pointers" message.
  bool check(bool only_owned = false) const {
    bool ok = size_check_ == size_ && rows_check_ == rows_ && planes_check_ == planes_.get();
    for (long i = 0; ok && size_check_ > 0 && i <= size_check_; ++i) ok = planes_[i] == plane_copy_[i];
    for (long i = 1; ok && rows_check_ > 0 && i <= size_check_; ++i) {
      if (only_owned && !owned_[i - 1].table) continue;
      for (long j = 0; ok && j <= rows_check_; ++j) ok = planes_[i][j] == row_copies_[i - 1][j];
    }
    if (!ok) checked_detail::report_bad_pointers_3d();
    return ok;
  }

  // Accepts the present plane and row tables as sound.
  void refresh_check() {
    std::unique_ptr<T**[]> copy;
    std::vector<std::unique_ptr<T*[]>> rows_copy;
    try {
      copy = checked_detail::copy_table(planes_.get(), size_);
      rows_copy.reserve(static_cast<size_t>(size_));
      for (long i = 1; i <= size_; ++i) rows_copy.push_back(checked_detail::copy_table(planes_[i], rows_));
    } catch (const std::bad_alloc&) {
      allocation_failed(name_);
    }
    install_checks(std::move(copy), std::move(rows_copy));
  }

  // Adds n planes that are caller storage, source[1..n], each a table of
  // rows 0..row_count(); never freed by the array. A rows or cols argument
  // >= 0 sets the shape while the array has no planes.
  bool attach_planes(long n, T** const* source, long rows = -1, long cols = -1) {
    if (!check(false)) return false;
    set_shape(rows, cols);
    if (n <= 0 || source == nullptr) return true;
    try {
      std::vector<checked_plane<T>> blocks(static_cast<size_t>(n));
      add_planes(std::vector<T**>(source + 1, source + 1 + n), blocks);
    } catch (const std::bad_alloc&) {
      allocation_failed(name_);
    }
    return true;
  }

  // Adds n owned planes with cells 1..cols() of rows 1..row_count() set to value.
  bool append_planes(long n, const T& value, long rows = -1, long cols = -1) {
    if (!check(false)) return false;
    set_shape(rows, cols);
    if (n <= 0) return true;
    try {
      cell_count_or_throw(sizeof(T), {n - 1, rows_, cols_});
      std::vector<checked_plane<T>> blocks;
      std::vector<T**> added;
      blocks.reserve(static_cast<size_t>(n));
      added.reserve(static_cast<size_t>(n));
      for (long j = 0; j < n; ++j) {
        blocks.push_back(alloc_plane(rows_, cols_, value));
        added.push_back(blocks.back().get());
      }
      add_planes(added, blocks);
    } catch (const std::bad_alloc&) {
      allocation_failed(name_);
    }
    return true;
  }

  // Reports damaged tables, then frees the planes the array owns (never
  // caller storage) and the tables. The array is empty afterwards.
  void destroy() {
    check(true);
    owned_.clear();
    planes_.reset();
    plane_copy_.reset();
    row_copies_.clear();
    planes_check_ = nullptr;
    size_ = size_check_ = rows_ = rows_check_ = cols_ = 0;
  }

 private:
  friend struct checked_array_probe;

  // The shape is fixed once there are planes, so every plane keeps the
  // rows and cells that the check and the callers walk.
  void set_shape(long rows, long cols) {
    if (size_ > 0) return;
    if (rows >= 0) rows_ = rows_check_ = rows;
    if (cols >= 0) cols_ = cols;
  }


  // Appends the planes `added`; blocks[j] owns added[j] or is empty for
  // caller storage. Everything is allocated before the first change.
  void add_planes(const std::vector<T**>& added, std::vector<checked_plane<T>>& blocks) {
    const long new_size = checked_detail::grown_size(size_, static_cast<long>(added.size()));
    owned_.reserve(static_cast<size_t>(new_size));
    auto table = checked_detail::extended_table(planes_.get(), size_, added);
    auto copy = checked_detail::copy_table(table.get(), new_size);
    std::vector<std::unique_ptr<T*[]>> rows_copy;
    rows_copy.reserve(static_cast<size_t>(new_size));
    for (long i = 1; i <= new_size; ++i) rows_copy.push_back(checked_detail::copy_table(table[i], rows_));
    for (auto& b : blocks) owned_.push_back(std::move(b));  // capacity reserved: no throw
    planes_ = std::move(table);
    size_ = new_size;
    install_checks(std::move(copy), std::move(rows_copy));
  }

  void install_checks(std::unique_ptr<T**[]> copy, std::vector<std::unique_ptr<T*[]>> rows_copy) noexcept {
    plane_copy_ = std::move(copy);
    row_copies_ = std::move(rows_copy);
    planes_check_ = planes_.get();
    size_check_ = size_;
    rows_check_ = rows_;
  }

  void swap(checked_array_3d& o) noexcept {
    using std::swap;
    swap(size_check_, o.size_check_);
    swap(rows_check_, o.rows_check_);
    swap(planes_check_, o.planes_check_);
    swap(plane_copy_, o.plane_copy_);
    swap(row_copies_, o.row_copies_);
    swap(size_, o.size_);
    swap(rows_, o.rows_);
    swap(cols_, o.cols_);
    swap(planes_, o.planes_);
    swap(owned_, o.owned_);
    swap(name_, o.name_);
  }

  long size_check_ = 0;                            // copy of size_
  long rows_check_ = 0;                            // copy of rows_
  T*** planes_check_ = nullptr;                    // copy of planes_.get()
  std::unique_ptr<T**[]> plane_copy_;              // copies of the plane pointers 0..size_check_
  std::vector<std::unique_ptr<T*[]>> row_copies_;  // per plane 1..size_ (at i-1): its row pointers 0..rows_
  long size_ = 0;                                  // planes 1..size_
  long rows_ = 0;                                  // rows per plane (1..rows_)
  long cols_ = 0;                                  // cells per row (1..cols_)
  std::unique_ptr<T**[]> planes_;                  // exposed plane table 0..size_, entry 0 null
  std::vector<checked_plane<T>> owned_;            // per plane 1..size_ (at i-1); empty for caller planes
  std::string name_;
};

}  // namespace kavro
