// The tridiagonal solver of the soil columns and of the groundwater line
// relaxation: the Thomas algorithm, without pivoting.
#pragma once

namespace kavro {

// Solves rows first..last of the system
//   sub[i] x[i-1] + diag[i] x[i] + sup[i] x[i+1] = rhs[i]
// (sub[first] and sup[last] are not read). Forward elimination overwrites
// `diag` and `rhs`; the solution replaces `rhs`. False, with `rhs` not a
// solution, when a pivot is zero: a singular system (a saturated soil
// column between two flux boundaries has no unique heads).
inline bool tridiag_solve(long first, long last, const double* sup, double* diag, const double* sub, double* rhs) {
  for (long i = first + 1; i <= last; ++i) {
    if (diag[i - 1] == 0.0) return false;
    const double m = sub[i] / diag[i - 1];
    diag[i] -= m * sup[i - 1];
    rhs[i] -= m * rhs[i - 1];
  }
  if (diag[last] == 0.0) return false;
  rhs[last] /= diag[last];
  for (long i = last - 1; i >= first; --i) rhs[i] = (rhs[i] - sup[i] * rhs[i + 1]) / diag[i];
  return true;
}

}  // namespace kavro
