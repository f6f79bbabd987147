// Allocation functions of the one-based arrays of a run.
//
// Every function takes the owning array as `out`, the highest indices of its
// dimensions (counts of used cells: n gives cells 0..n) and the name that the
// messages print; it releases whatever `out` held, names it and fills it.
// Every cell of every array is zero after allocation (cell 0 included), so
// no result can depend on uninitialised memory.
//
// Sizes of zero:
//   vectors:   n = 0 gives an empty vector without a message; n < 0 prints
//              "Error: Attempting to allocate array of size 0\n" (the int
//              vector then also prints the named message).
//   matrices and 3-D arrays: any size <= 0 prints the size-0 message and
//              leaves `out` empty; the `_zero` variants then also print
//              "Error allocating memory for variable %s\n" with the name.
// Each function returns true when `out` holds cells.
//
// Failed allocation (not enough memory, or a size whose byte count does not
// fit the address space): the named message is printed, the error record is
// set to "already printed, stop" and `run_aborted` is thrown, so no caller
// ever goes on with an array that is not there. `out` is then empty.
#pragma once

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

#include "framework/one_based.h"

namespace kavro {

// Owning ragged table of rows 1..size1(), each a separate block of cells
// 0..size2(); row 0 holds no row (null). Indexed t[i][j] like a matrix.
template <class T>
class one_based_ragged {
 public:
  one_based_ragged() = default;
  explicit one_based_ragged(std::string_view name) : name_(name) {}
  one_based_ragged(const one_based_ragged&) = delete;
  one_based_ragged& operator=(const one_based_ragged&) = delete;
  one_based_ragged(one_based_ragged&&) noexcept = default;
  one_based_ragged& operator=(one_based_ragged&&) noexcept = default;

  // Rows 1..rows of cells 0..n, value-initialised. rows <= 0 or n < 0 leaves it empty.
  void allocate(long rows, long n) {
    reset();
    if (rows <= 0 || n < 0) return;
    const size_t nr = static_cast<size_t>(rows) + 1, nc = static_cast<size_t>(n) + 1;
    auto table = std::make_unique<T*[]>(nr);
    auto blocks = std::make_unique<std::unique_ptr<T[]>[]>(nr);
    for (size_t i = 1; i < nr; ++i) {
      blocks[i] = std::make_unique<T[]>(nc);
      table[i] = blocks[i].get();
    }
    rows_ = std::move(table);
    blocks_ = std::move(blocks);
    n_ = rows;
    m_ = n;
  }
  void reset() {
    rows_.reset();
    blocks_.reset();
    n_ = m_ = 0;
  }

  T* operator[](long i) { return rows_[static_cast<size_t>(i)]; }
  const T* operator[](long i) const { return rows_[static_cast<size_t>(i)]; }
  T** rows() { return rows_.get(); }
  long size1() const { return n_; }  // highest row
  long size2() const { return m_; }  // highest cell of a row
  bool empty() const { return rows_ == nullptr; }
  explicit operator bool() const { return rows_ != nullptr; }

  const std::string& name() const { return name_; }
  void set_name(std::string_view name) { name_ = name; }

 private:
  std::string name_;
  std::unique_ptr<T*[]> rows_;
  std::unique_ptr<std::unique_ptr<T[]>[]> blocks_;
  long n_ = 0, m_ = 0;
};

using dragged = one_based_ragged<double>;

// Vectors [0..n].
bool alloc_dvec(dvec& out, long n, std::string_view name);
bool alloc_ivec(ivec& out, long n, std::string_view name);

// Matrices [0..n][0..m]: one contiguous block with a row table. The plain
// forms print only the size-0 message for a zero size (their callers print
// the named message); the `_zero` forms print both.
bool alloc_dmat(dmat& out, long n, long m, std::string_view name);
bool alloc_imat(imat& out, long n, long m, std::string_view name);
bool alloc_cmat(cmat& out, long n, long m, std::string_view name);
bool alloc_dmat_zero(dmat& out, long n, long m, std::string_view name);
bool alloc_imat_zero(imat& out, long n, long m, std::string_view name);
bool alloc_cmat_zero(cmat& out, long n, long m, std::string_view name);

// Three-dimensional arrays [0..n][0..m][0..k].
bool alloc_d3d(d3d& out, long n, long m, long k, std::string_view name);
bool alloc_d3d_zero(d3d& out, long n, long m, long k, std::string_view name);

// Int array [0..n][0..3][0..m]: four rows per plane.
bool alloc_i3d_4(i3d& out, long n, long m, std::string_view name);
// The overland lake search table [lake 0..n][0..3][point 0..m], named
// "lake_search"; a zero size prints the size-0 and the named message.
bool alloc_lake_search(i3d& out, long n, long m);

// Channel point-source table [0..nodes+1][0..links], named "stream_pointsource".
// A zero count first prints the size-0 and the named message; the table is
// still made when only nodes is 0.
bool alloc_stream_pointsource(dmat& out, long nodes, long links);
// Channel pump table [0..nodes][0..links], named "stream_pumps"; a zero count
// prints the size-0 and the named message and leaves the table empty.
bool alloc_stream_pumps(dmat& out, long nodes, long links);

// Ragged table of rows 1..rows, each a separate block of cells 0..n. A zero
// or negative size leaves it empty without a message.
bool alloc_ragged_2d(dragged& out, long rows, long n, std::string_view name);

// Sets every cell [0..n][0..m] (and [0..n][0..m][0..k]) to value.
template <class T>
void fill_dmat(one_based_mat<T>& a, std::type_identity_t<T> value) {
  std::fill_n(a.data(), a.cell_count(), value);
}
template <class T>
void fill_d3d(one_based_3d<T>& a, std::type_identity_t<T> value) {
  std::fill_n(a.data(), a.cell_count(), value);
}

// Release a matrix or 3-D array; nothing happens when it is already empty.
template <class T>
void free_mat2d(one_based_mat<T>& a) {
  a.reset();
}
template <class T>
void free_mat3d(one_based_3d<T>& a) {
  a.reset();
}

// Shared by the allocation functions and the checked arrays:

// Number of cells of an array whose dimensions have the given highest
// indices (each dimension holds highest + 1 cells). Throws
// std::bad_array_new_length when the block of elements of `elem_size` bytes
// would not fit the address space, before anything is allocated.
size_t cell_count_or_throw(size_t elem_size, std::initializer_list<long> highest);

// Prints "Error allocating memory for variable %s\n" with `name`, marks the
// error record as printed and stopping (code 4000, stop 1) and throws
// run_aborted.
[[noreturn]] void allocation_failed(std::string_view name);

}  // namespace kavro
