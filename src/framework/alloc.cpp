#include "framework/alloc.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <limits>
#include <new>

#include "framework/error_record.h"
#include "framework/run_abort.h"

namespace kavro {

namespace {

void print_size_zero() { std::fputs("Error: Attempting to allocate array of size 0\n", stdout); }

void print_named(std::string_view name) {
  std::printf("Error allocating memory for variable %s\n", std::string(name).c_str());
}

// Bytes per cell that bound an array of T: the cells themselves or, for
// small element types, the row and plane pointer tables.
template <class T>
constexpr size_t bound_size = sizeof(T) > sizeof(void*) ? sizeof(T) : sizeof(void*);

// Allocates `out` with the given highest indices (all >= 1); a failure to get
// the memory ends the run.
template <class T, class A, class... L>
void allocate_or_abort(A& out, std::string_view name, L... highest) {
  try {
    cell_count_or_throw(bound_size<T>, {highest...});
    out.allocate(highest...);
  } catch (const std::bad_alloc&) {
    out.reset();
    allocation_failed(name);
  }
}

// Vectors: n = 0 is an empty vector without a message, n < 0 an invalid size.
template <class T>
bool alloc_vector(one_based_vec<T>& out, long n, std::string_view name, bool named_on_invalid) {
  out.reset();
  out.set_name(name);
  if (n == 0) return false;
  if (n < 0) {
    print_size_zero();
    if (named_on_invalid) print_named(name);
    return false;
  }
  allocate_or_abort<T>(out, name, n);
  return true;
}

template <class T>
bool alloc_matrix(one_based_mat<T>& out, long n, long m, std::string_view name, bool named_on_zero) {
  out.reset();
  out.set_name(name);
  if (n <= 0 || m <= 0) {
    print_size_zero();
    if (named_on_zero) print_named(name);
    return false;
  }
  allocate_or_abort<T>(out, name, n, m);
  return true;
}

template <class T>
bool alloc_3d(one_based_3d<T>& out, long n, long m, long k, std::string_view name, bool named_on_zero) {
  out.reset();
  out.set_name(name);
  if (n <= 0 || m <= 0 || k <= 0) {
    print_size_zero();
    if (named_on_zero) print_named(name);
    return false;
  }
  allocate_or_abort<T>(out, name, n, m, k);
  return true;
}

// The channel tables: a zero count is announced before the matrix is tried.
bool alloc_channel_table(dmat& out, long nodes, long links, long rows, std::string_view name) {
  if (nodes <= 0 || links <= 0) {
    print_size_zero();
    print_named(name);
  }
  return alloc_matrix(out, rows, links, name, false);
}

}  // namespace

void* zeroed_memory(size_t n, size_t size, size_t& mapped_bytes) noexcept {
  mapped_bytes = 0;
  size_t bytes = 0;
  if (__builtin_mul_overflow(n, size, &bytes)) return nullptr;
  // Below this the heap's own pages serve; a mapping of its own per block
  // would waste most of a page.
  constexpr size_t own_mapping = size_t{4} << 20;
  if (bytes < own_mapping) return std::calloc(n, size);
  void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  // Only advice: where the system has no huge pages the block keeps small ones.
  ::madvise(p, bytes, MADV_HUGEPAGE);
  mapped_bytes = bytes;
  return p;
}

void release_zeroed_memory(void* p, size_t mapped_bytes) noexcept {
  if (p == nullptr) return;
  if (mapped_bytes > 0)
    ::munmap(p, mapped_bytes);
  else
    std::free(p);
}

size_t cell_count_or_throw(size_t elem_size, std::initializer_list<long> highest) {
  const size_t limit = static_cast<size_t>(PTRDIFF_MAX) / (elem_size ? elem_size : 1);
  size_t cells = 1;
  for (long h : highest) {
    if (h < 0 || static_cast<size_t>(h) >= limit) throw std::bad_array_new_length();
    const size_t extent = static_cast<size_t>(h) + 1;
    if (cells > limit / extent) throw std::bad_array_new_length();
    cells *= extent;
  }
  return cells;
}

void allocation_failed(std::string_view name) {
  print_named(name);
  std::fflush(stdout);
  error_rec.code = 4000;  // the message is out already
  error_rec.stop = 1;
  throw run_aborted{};
}

bool alloc_dvec(dvec& out, long n, std::string_view name) { return alloc_vector(out, n, name, false); }
bool alloc_ivec(ivec& out, long n, std::string_view name) { return alloc_vector(out, n, name, true); }

bool alloc_dmat(dmat& out, long n, long m, std::string_view name) { return alloc_matrix(out, n, m, name, false); }
bool alloc_imat(imat& out, long n, long m, std::string_view name) { return alloc_matrix(out, n, m, name, false); }
bool alloc_cmat(cmat& out, long n, long m, std::string_view name) { return alloc_matrix(out, n, m, name, false); }
bool alloc_dmat_zero(dmat& out, long n, long m, std::string_view name) {
  return alloc_matrix(out, n, m, name, true);
}
bool alloc_imat_zero(imat& out, long n, long m, std::string_view name) {
  return alloc_matrix(out, n, m, name, true);
}
bool alloc_cmat_zero(cmat& out, long n, long m, std::string_view name) {
  return alloc_matrix(out, n, m, name, true);
}

bool alloc_d3d(d3d& out, long n, long m, long k, std::string_view name) {
  return alloc_3d(out, n, m, k, name, false);
}
bool alloc_d3d_zero(d3d& out, long n, long m, long k, std::string_view name) {
  return alloc_3d(out, n, m, k, name, true);
}

bool alloc_i3d_4(i3d& out, long n, long m, std::string_view name) { return alloc_3d(out, n, 3, m, name, false); }
bool alloc_lake_search(i3d& out, long n, long m) { return alloc_3d(out, n, 3, m, "lake_search", true); }

bool alloc_stream_pointsource(dmat& out, long nodes, long links) {
  // One spare row past the last node; a negative count is as invalid as 0.
  const long rows = nodes < 0 ? 0 : (nodes < std::numeric_limits<long>::max() ? nodes + 1 : nodes);
  return alloc_channel_table(out, nodes, links, rows, "stream_pointsource");
}

bool alloc_stream_pumps(dmat& out, long nodes, long links) {
  return alloc_channel_table(out, nodes, links, nodes, "stream_pumps");
}

bool alloc_ragged_2d(dragged& out, long rows, long n, std::string_view name) {
  out.reset();
  out.set_name(name);
  if (rows <= 0 || n < 0) return false;
  allocate_or_abort<double>(out, name, rows, n);
  return true;
}

}  // namespace kavro
