// The tridiagonal solver of the soil columns and of the groundwater line
// relaxation: the Thomas algorithm, without pivoting.
#pragma once

namespace kavro {

// Solves rows first..last of the system
//   sub[i] x[i-1] + diag[i] x[i] + sup[i] x[i+1] = rhs[i]
// (sub[first] and sup[last] are not read). Forward elimination overwrites
// `diag` and `rhs`; the solution replaces `rhs`. The callers' systems are
// diagonally dominant; a zero pivot gives infinities or NaN in the solution,
// which the callers test.
inline void tridiag_solve(long first, long last, const double* sup, double* diag, const double* sub, double* rhs) {
  for (long i = first + 1; i <= last; ++i) {
    const double m = sub[i] / diag[i - 1];
    diag[i] -= m * sup[i - 1];
    rhs[i] -= m * rhs[i - 1];
  }
  rhs[last] /= diag[last];
  for (long i = last - 1; i >= first; --i) rhs[i] = (rhs[i] - sup[i] * rhs[i + 1]) / diag[i];
}

}  // namespace kavro
