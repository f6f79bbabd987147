// Owning one-based arrays of the run record.
//
// Every grid-, network- or constituent-sized array of the model is indexed
// from 1: a request for n elements gives cells 0..n and cell 0 is not used.
// Matrices and three-dimensional arrays are a table of row pointers into one
// contiguous data block, so a[i][j] and a[i][j][k] index directly in the hot
// loops. Each array carries its allocation name for messages. The types own
// their storage (RAII); the allocation functions that print the named
// messages are in alloc.h.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <type_traits>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>

namespace kavro {

// a * b, or a thrown std::bad_alloc when the product does not fit: a size
// read from a file must never wrap round to a short block.
inline size_t checked_product(size_t a, size_t b) {
  size_t out = 0;
  if (__builtin_mul_overflow(a, b, &out)) throw std::bad_alloc();
  return out;
}

// Zeroed memory from the system for n elements of `size` bytes, null when
// there is none. Large blocks are pages mapped for the block alone (and
// asked to be huge pages): no byte is written before the run writes it,
// untouched pages cost no memory, and a grid-sized array written cell by
// cell takes one page fault per 2 MB instead of one per 4 KB. Small blocks
// come from calloc. `mapped_bytes` is what release_zeroed_memory needs back.
void* zeroed_memory(size_t n, size_t size, size_t& mapped_bytes) noexcept;
void release_zeroed_memory(void* p, size_t mapped_bytes) noexcept;

// Owner of an array block: zeroed memory from the system for plain numbers,
// so that cells a run never touches cost neither a write nor a page;
// value-initialised new[] for every other type.
template <class T>
struct block_deleter {
  bool zeroed = false;      // from zeroed_memory
  size_t mapped_bytes = 0;  // its mapping, when it has one of its own
  void operator()(T* p) const noexcept {
    if (zeroed)
      release_zeroed_memory(p, mapped_bytes);
    else
      delete[] p;
  }
};
template <class T>
using block_ptr = std::unique_ptr<T[], block_deleter<T>>;

// A block of n zeroed elements from zeroed_memory, for types whose zero bytes
// are a value (plain records whose defaults are all zero included).
template <class T>
block_ptr<T> zeroed_memory_block(size_t n) {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
  size_t mapped = 0;
  void* p = zeroed_memory(n, sizeof(T), mapped);
  if (p == nullptr) throw std::bad_alloc();
  return block_ptr<T>(static_cast<T*>(p), block_deleter<T>{true, mapped});
}

template <class T>
block_ptr<T> zeroed_block(size_t n) {
  if constexpr (std::is_trivially_default_constructible_v<T> && std::is_trivially_destructible_v<T>) {
    return zeroed_memory_block<T>(n);
  } else {
    return block_ptr<T>(new T[n](), block_deleter<T>{false});
  }
}

// Vector of cells 0..n (n = highest index).
template <class T>
class one_based_vec {
 public:
  one_based_vec() = default;
  explicit one_based_vec(std::string_view name) : name_(name) {}
  one_based_vec(const one_based_vec&) = delete;
  one_based_vec& operator=(const one_based_vec&) = delete;
  one_based_vec(one_based_vec&&) noexcept = default;
  one_based_vec& operator=(one_based_vec&&) noexcept = default;

  // Allocates cells 0..n, all value-initialised (zero for numbers); any
  // earlier contents are released. n <= 0 leaves the vector empty.
  void allocate(long n) {
    reset();
    if (n <= 0) return;
    data_ = zeroed_block<T>(static_cast<size_t>(n) + 1);
    n_ = n;
  }
  void reset() {
    data_.reset();
    n_ = 0;
  }

  T& operator[](long i) { return data_[static_cast<size_t>(i)]; }
  const T& operator[](long i) const { return data_[static_cast<size_t>(i)]; }
  T* data() { return data_.get(); }
  const T* data() const { return data_.get(); }
  long size() const { return n_; }  // highest valid index
  bool empty() const { return data_ == nullptr; }
  explicit operator bool() const { return data_ != nullptr; }
  T* begin() { return data_.get(); }
  T* end() { return data_ ? data_.get() + n_ + 1 : nullptr; }

  const std::string& name() const { return name_; }
  void set_name(std::string_view name) { name_ = name; }

 private:
  std::string name_;
  block_ptr<T> data_;
  long n_ = 0;
};

// Matrix of rows 0..n and columns 0..m in one block; row i starts at
// data + i*(m+1), so the row after [i][m] is [i+1][0].
template <class T>
class one_based_mat {
 public:
  one_based_mat() = default;
  explicit one_based_mat(std::string_view name) : name_(name) {}
  one_based_mat(const one_based_mat&) = delete;
  one_based_mat& operator=(const one_based_mat&) = delete;
  one_based_mat(one_based_mat&&) noexcept = default;
  one_based_mat& operator=(one_based_mat&&) noexcept = default;

  // Allocates [0..n][0..m], value-initialised. n <= 0 or m <= 0 leaves it empty.
  void allocate(long n, long m) {
    reset();
    if (n <= 0 || m <= 0) return;
    const size_t nr = static_cast<size_t>(n) + 1, nc = static_cast<size_t>(m) + 1;
    block_ = zeroed_block<T>(checked_product(nr, nc));
    rows_ = zeroed_block<T*>(nr);  // every entry is written next
    for (size_t i = 0; i < nr; ++i) rows_[i] = block_.get() + i * nc;
    n_ = n;
    m_ = m;
  }
  void reset() {
    rows_.reset();
    block_.reset();
    n_ = m_ = 0;
  }

  T* operator[](long i) { return rows_[static_cast<size_t>(i)]; }
  const T* operator[](long i) const { return rows_[static_cast<size_t>(i)]; }
  T** rows() { return rows_.get(); }  // the row table, for readers that fill a T**
  T* data() { return block_.get(); }
  const T* data() const { return block_.get(); }
  long size1() const { return n_; }
  long size2() const { return m_; }
  size_t cell_count() const { return block_ ? static_cast<size_t>(n_ + 1) * static_cast<size_t>(m_ + 1) : 0; }
  bool empty() const { return block_ == nullptr; }
  explicit operator bool() const { return block_ != nullptr; }

  const std::string& name() const { return name_; }
  void set_name(std::string_view name) { name_ = name; }

 private:
  std::string name_;
  block_ptr<T> block_;
  block_ptr<T*> rows_;
  long n_ = 0, m_ = 0;
};

// Three-dimensional array [0..n][0..m][0..k]: a plane table into a row table
// into one data block.
template <class T>
class one_based_3d {
 public:
  one_based_3d() = default;
  explicit one_based_3d(std::string_view name) : name_(name) {}
  one_based_3d(const one_based_3d&) = delete;
  one_based_3d& operator=(const one_based_3d&) = delete;
  one_based_3d(one_based_3d&&) noexcept = default;
  one_based_3d& operator=(one_based_3d&&) noexcept = default;

  void allocate(long n, long m, long k) {
    reset();
    if (n <= 0 || m <= 0 || k <= 0) return;
    const size_t np = static_cast<size_t>(n) + 1, nr = static_cast<size_t>(m) + 1, nc = static_cast<size_t>(k) + 1;
    block_ = std::make_unique<T[]>(checked_product(checked_product(np, nr), nc));
    rows_ = std::make_unique<T*[]>(np * nr);
    planes_ = std::make_unique<T**[]>(np);
    for (size_t i = 0; i < np; ++i) {
      planes_[i] = rows_.get() + i * nr;
      for (size_t j = 0; j < nr; ++j) rows_[i * nr + j] = block_.get() + (i * nr + j) * nc;
    }
    n_ = n;
    m_ = m;
    k_ = k;
  }
  void reset() {
    planes_.reset();
    rows_.reset();
    block_.reset();
    n_ = m_ = k_ = 0;
  }

  T** operator[](long i) { return planes_[static_cast<size_t>(i)]; }
  T* const* operator[](long i) const { return planes_[static_cast<size_t>(i)]; }
  T*** planes() { return planes_.get(); }
  T* data() { return block_.get(); }
  const T* data() const { return block_.get(); }
  long size1() const { return n_; }
  long size2() const { return m_; }
  long size3() const { return k_; }
  size_t cell_count() const {
    return block_ ? static_cast<size_t>(n_ + 1) * static_cast<size_t>(m_ + 1) * static_cast<size_t>(k_ + 1) : 0;
  }
  bool empty() const { return block_ == nullptr; }
  explicit operator bool() const { return block_ != nullptr; }

  const std::string& name() const { return name_; }
  void set_name(std::string_view name) { name_ = name; }

 private:
  std::string name_;
  std::unique_ptr<T[]> block_;
  std::unique_ptr<T*[]> rows_;
  std::unique_ptr<T**[]> planes_;
  long n_ = 0, m_ = 0, k_ = 0;
};

using dvec = one_based_vec<double>;
using ivec = one_based_vec<int>;
using dmat = one_based_mat<double>;
using imat = one_based_mat<int>;
using cmat = one_based_mat<char>;
using d3d = one_based_3d<double>;
using i3d = one_based_3d<int>;

}  // namespace kavro
