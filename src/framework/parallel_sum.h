// Sums over cells, nodes or links whose result does not depend on the
// thread count: the index range is cut into chunks of a fixed size, each
// chunk is summed in index order (chunks in parallel), and the chunk sums are
// added in chunk order. Output files are then identical for 1 and N threads.
#pragma once


#include <cstddef>
#include <vector>

namespace kavro {

inline constexpr long sum_chunk_size = 4096;

// Loops over fewer cells, nodes or links than this run on one thread. A
// parallel region costs the waking of every thread and a barrier at its end:
// tens of microseconds on an idle machine with sleeping threads, and
// milliseconds on a busy one, where a woken thread waits for a core. Below a
// few thousand items (tens of nanoseconds each) a loop is shorter than that,
// and a small project on a busy machine would spend its time waiting at
// barriers. Results are the same either way.
inline constexpr long parallel_min_items = 8192;

// Number of chunks of the index range first..last (0 when empty).
inline long sum_chunk_count(long first, long last) {
  return last < first ? 0 : (last - first + 1 + sum_chunk_size - 1) / sum_chunk_size;
}

// Sum of term(i) for i = first..last, with the chunk sums kept in `partial`.
// A caller that sums in every time step keeps `partial` from step to step:
// it grows on the first call only, so the later calls allocate nothing.
template <class Term>
double fixed_chunk_sum(long first, long last, Term term, std::vector<double>& partial) {
  if (last < first) return 0.0;
  const long n_chunks = sum_chunk_count(first, last);
  if (n_chunks == 1) {
    double s = 0.0;
    for (long i = first; i <= last; ++i) s += term(i);
    return s;
  }
  if (partial.size() < static_cast<std::size_t>(n_chunks)) partial.resize(static_cast<std::size_t>(n_chunks));
#pragma omp parallel for schedule(static) if (last - first + 1 >= parallel_min_items)
  for (long k = 0; k < n_chunks; ++k) {
    const long lo = first + k * sum_chunk_size;
    const long hi = lo + sum_chunk_size - 1 < last ? lo + sum_chunk_size - 1 : last;
    double s = 0.0;
    for (long i = lo; i <= hi; ++i) s += term(i);
    partial[static_cast<std::size_t>(k)] = s;
  }
  double total = 0.0;
  for (long k = 0; k < n_chunks; ++k) total += partial[static_cast<std::size_t>(k)];
  return total;
}

// Sum of term(i) for i = first..last.
template <class Term>
double fixed_chunk_sum(long first, long last, Term term) {
  std::vector<double> partial;
  return fixed_chunk_sum(first, last, term, partial);
}

}  // namespace kavro
