// Sums over cells, nodes or links whose result does not depend on the
// thread count: the index range is cut into chunks of a fixed size, each
// chunk is summed in index order (chunks in parallel), and the chunk sums are
// added in chunk order. Output files are then identical for 1 and N threads.
#pragma once


#include <cstddef>
#include <vector>

namespace kavro {

inline constexpr long sum_chunk_size = 4096;

// Sum of term(i) for i = first..last, with the chunk sums kept in `partial`
// (grown when too small, never shrunk): loops that sum every sub-step pass a
// buffer of the run and allocate nothing.
template <class Term>
double fixed_chunk_sum(std::vector<double>& partial, long first, long last, Term term) {
  if (last < first) return 0.0;
  const long n = last - first + 1;
  const long n_chunks = (n + sum_chunk_size - 1) / sum_chunk_size;
  if (n_chunks == 1) {
    double s = 0.0;
    for (long i = first; i <= last; ++i) s += term(i);
    return s;
  }
  if (partial.size() < static_cast<std::size_t>(n_chunks)) partial.resize(static_cast<std::size_t>(n_chunks));
  double* part = partial.data();
#pragma omp parallel for schedule(static)
  for (long k = 0; k < n_chunks; ++k) {
    const long lo = first + k * sum_chunk_size;
    const long hi = lo + sum_chunk_size - 1 < last ? lo + sum_chunk_size - 1 : last;
    double s = 0.0;
    for (long i = lo; i <= hi; ++i) s += term(i);
    part[k] = s;
  }
  double total = 0.0;
  for (long k = 0; k < n_chunks; ++k) total += part[k];
  return total;
}

// Sum of term(i) for i = first..last.
template <class Term>
double fixed_chunk_sum(long first, long last, Term term) {
  std::vector<double> partial;
  return fixed_chunk_sum(partial, first, last, term);
}

}  // namespace kavro
