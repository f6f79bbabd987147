// Dense linear algebra, random numbers and special functions of the
// calibration tool's Levenberg-Marquardt search. The matrices are small
// (parameters by observations), so everything is plain nested loops over
// 1-based ranges: row and column 1 are the first, cell 0 is never used.
// Dimensions are passed separately; no routine records a matrix's shape.
#pragma once

#include <array>
#include <string_view>

#include "framework/one_based.h"

namespace kavro {

// Ends the process with status 1 after three lines on standard error: the
// calibration tool has no recovery from a failed allocation or a matrix that
// its numerics cannot handle.
[[noreturn]] void nr_fatal_error(std::string_view message);

// Double vector for indices lo..hi (lo is 0 or 1; every caller uses 1),
// zero-filled; a failed allocation ends the process.
dvec dvector(int lo, int hi);
// Int vector for indices lo..hi (lo is 0 or 1; every caller uses 1).
ivec ivector(int lo, int hi);
// Double matrix for rows rl..rh and columns cl..ch (rl, cl 0 or 1). The
// contents start at zero.
dmat matrix(int rl, int rh, int cl, int ch);

// c = a * b, c being a_rows x b_cols. A mismatch of a_cols and b_rows ends
// the process with status 1.
void dmmult(const dmat& a, int a_rows, int a_cols, const dmat& b, int b_rows, int b_cols, dmat& c);
// out[i] = sum over k of m[i][k] * v[k]; v_len is not used (it equals cols).
void mat_vec_product(const dmat& m, int rows, int cols, const dvec& v, int v_len, dvec& out);
// at (cols x rows) = transpose of a (rows x cols).
void mat_transpose(const dmat& a, int rows, int cols, dmat& at);
// out = s * a; out may be a itself.
void mat_scale(const dmat& a, int rows, int cols, double s, dmat& out);
// out = a + b; out may be a or b.
void mat_sum(const dmat& a, int rows, int cols, const dmat& b, dmat& out);

// Crout LU decomposition with implicit partial pivoting, in place. indx[j]
// is the row interchanged with row j; d is +1 or -1 by the parity of the
// interchanges. A row of zeros sets `singular` to 1 and returns with a
// unchanged; the flag is never cleared here. A zero pivot becomes 1e-20.
void lu_decompose(dmat& a, int n, ivec& indx, double& d, int& singular);
// Solves a x = b with the factors of lu_decompose; x replaces b.
void lu_backsub(const dmat& a, int n, const ivec& indx, dvec& b);
// y = inverse of a; a is overwritten by its factors. A singular a sets the
// flag (which the caller clears first) and leaves y as it was.
void mat_inverse(dmat& a, int n, dmat& y, int& singular);
// Solves the 3 x 3 system a x = b for column 1 of b into column 1 of x; a is
// overwritten by its factors. n is not used (the order is always 3). A
// singular a leaves x as it was, without a message.
void solve_3x3(dmat& a, int n, const dmat& b, dmat& x);

// Shuffle table and last draw of uniform_deviate. The caller owns it with
// its seed; a fresh record behaves like a first use.
struct uniform_deviate_state {
  std::array<int, 32> table{};  // Bays-Durham shuffle table
  int last = 0;                 // last value drawn from the table; 0 before the first draw
};

// Next uniform deviate in (0, 1), at most 0.99999988: the minimal-standard
// multiplicative congruential generator (16807, modulus 2^31 - 1) behind a
// 32-entry shuffle. A seed <= 0, or a fresh state, starts a new sequence
// (a positive seed at first use starts the sequence of seed 1).
double uniform_deviate(int& seed, uniform_deviate_state& state);

// Cholesky factor of the symmetric positive-definite matrix held in the
// upper triangle of a: diagonal to p, the rest to the lower triangle of a.
// A matrix that is not positive definite ends the process ("choldc failed").
void choldc(dmat& a, int n, dvec& p);
// Solves A x = b with the factor of choldc; b may be x itself.
void choldc_solve(const dmat& a, int n, const dvec& p, const dvec& b, dvec& x);
// Eigenvalues of the symmetric a to d and normalised eigenvectors to the
// columns of v, by cyclic Jacobi rotations with a threshold; nrot counts the
// rotations. The upper triangle of a is destroyed. No convergence within 50
// sweeps ends the process.
void jacobi(dmat& a, int n, dvec& d, dmat& v, int& nrot);
// Orders d descending and the columns of v with it (of equal values the
// later one comes first).
void sort_eigenpairs(dvec& d, dmat& v, int n);
// indx such that arr[indx[1]] <= arr[indx[2]] <= ... ; arr is not moved.
void indexx(int n, const dvec& arr, ivec& indx);
// ln Gamma(x) for x > 0 (Lanczos, gamma = 5, six terms).
double log_gamma(double x);

}  // namespace kavro
