// Dense LU factorisation of the superjunction matrix and the substitution
// that gives the junction heads. The matrix is stored by rows, so the
// elimination runs row by row over contiguous memory.
#include <cmath>
#include <cstdio>
#include <utility>

#include "channel/pipe_networks.h"
#include "framework/error_record.h"
#include "framework/readers.h"

namespace kavro {
namespace {

void numeric_failure(const char* what) {
  std::fputs("Numerical Recipes run-time error...\n", stderr);
  std::fprintf(stderr, "%s\n", what);
  std::fputs("...now exiting to system...\n", stderr);
}

}  // namespace

int ludcmp_pzq(dmat& a, int n, ivec& pivot, dvec& scale) {
  // Implicit scaling: each row compared by its largest element.
  for (int i = 1; i <= n; ++i) {
    const double* row = a[i];
    double big = 0.0;
    for (int j = 1; j <= n; ++j) big = std::fmax(big, std::fabs(row[j]));
    if (big == 0.0) {
      print_and_log(run_log_file, format_string("problem at superjunc %d \n", i));
      numeric_failure("Singular matrix in routine ludcmp_pzq.");
      return -1;
    }
    scale[i] = 1.0 / big;
  }
  for (int k = 1; k <= n; ++k) {
    int p = k;
    double best = -1.0;
    for (int i = k; i <= n; ++i) {
      const double v = scale[i] * std::fabs(a[i][k]);
      if (v > best) best = v, p = i;
    }
    if (p != k) {
      double* rk = a[k];
      double* rp = a[p];
      for (int j = 1; j <= n; ++j) std::swap(rk[j], rp[j]);
      std::swap(scale[k], scale[p]);
    }
    pivot[k] = p;
    double* rk = a[k];
    if (rk[k] == 0.0) rk[k] = 1e-20;
    const double inv = 1.0 / rk[k];
    for (int i = k + 1; i <= n; ++i) {
      double* ri = a[i];
      if (ri[k] == 0.0) continue;
      const double f = ri[k] * inv;
      ri[k] = f;
      for (int j = k + 1; j <= n; ++j) ri[j] -= f * rk[j];
    }
  }
  return 0;
}

void lubksb(const dmat& a, int n, const ivec& pivot, dvec& b) {
  for (int k = 1; k <= n; ++k)
    if (pivot[k] != k) std::swap(b[k], b[pivot[k]]);
  for (int i = 2; i <= n; ++i) {
    const double* ri = a[i];
    double s = b[i];
    for (int j = 1; j < i; ++j) s -= ri[j] * b[j];
    b[i] = s;
  }
  for (int i = n; i >= 1; --i) {
    const double* ri = a[i];
    double s = b[i];
    for (int j = i + 1; j <= n; ++j) s -= ri[j] * b[j];
    b[i] = s / ri[i];
  }
  for (int i = 1; i <= n; ++i)
    if (std::isnan(b[i])) print_and_log(run_log_file, format_string("head is NaN in lubksb, for superjunc %d \n", i));
}

}  // namespace kavro
