#include "calibration/numeric_toolkit.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

namespace kavro {

void nr_fatal_error(std::string_view message) {
  std::fprintf(stderr, "Numerical Recipes run-time error...\n");
  std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
  std::fprintf(stderr, "...now exiting to system...\n");
  std::exit(1);
}

dvec dvector(int /*lo*/, int hi) {
  dvec v("dvector");
  try {
    v.allocate(hi);
  } catch (const std::bad_alloc&) {
    nr_fatal_error("allocation failure in dvector()");
  }
  return v;
}

ivec ivector(int /*lo*/, int hi) {
  ivec v("ivector");
  try {
    v.allocate(hi);
  } catch (const std::bad_alloc&) {
    nr_fatal_error("allocation failure in ivector()");
  }
  return v;
}

dmat matrix(int /*rl*/, int rh, int /*cl*/, int ch) {
  dmat m("matrix");
  try {
    m.allocate(rh, ch);
  } catch (const std::bad_alloc&) {
    nr_fatal_error("allocation failure 2 in matrix()");
  }
  return m;
}

void dmmult(const dmat& a, int a_rows, int a_cols, const dmat& b, int b_rows, int b_cols, dmat& c) {
  if (a_cols != b_rows) {
    std::fprintf(stderr, "a_cols <> b_rows (%d,%d): dmmult\n", a_cols, b_rows);
    std::exit(1);
  }
  for (int i = 1; i <= a_rows; ++i) {
    for (int j = 1; j <= b_cols; ++j) {
      double sum = 0.0;
      for (int k = 1; k <= a_cols; ++k) sum += a[i][k] * b[k][j];
      c[i][j] = sum;
    }
  }
}

void mat_vec_product(const dmat& m, int rows, int cols, const dvec& v, int /*v_len*/, dvec& out) {
  for (int i = 1; i <= rows; ++i) {
    double sum = 0.0;
    for (int k = 1; k <= cols; ++k) sum += m[i][k] * v[k];
    out[i] = sum;
  }
}

void mat_transpose(const dmat& a, int rows, int cols, dmat& at) {
  for (int i = 1; i <= rows; ++i)
    for (int j = 1; j <= cols; ++j) at[j][i] = a[i][j];
}

void mat_scale(const dmat& a, int rows, int cols, double s, dmat& out) {
  for (int i = 1; i <= rows; ++i)
    for (int j = 1; j <= cols; ++j) out[i][j] = s * a[i][j];
}

void mat_sum(const dmat& a, int rows, int cols, const dmat& b, dmat& out) {
  for (int i = 1; i <= rows; ++i)
    for (int j = 1; j <= cols; ++j) out[i][j] = a[i][j] + b[i][j];
}

void lu_decompose(dmat& a, int n, ivec& indx, double& d, int& singular) {
  dvec scale = dvector(1, n);
  d = 1.0;
  for (int i = 1; i <= n; ++i) {
    double big = 0.0;
    for (int j = 1; j <= n; ++j) big = std::fmax(big, std::fabs(a[i][j]));
    if (big == 0.0) {
      singular = 1;
      return;
    }
    scale[i] = 1.0 / big;
  }
  for (int j = 1; j <= n; ++j) {
    for (int i = 1; i < j; ++i) {
      double sum = a[i][j];
      for (int k = 1; k < i; ++k) sum -= a[i][k] * a[k][j];
      a[i][j] = sum;
    }
    double big = 0.0;
    int imax = j;
    for (int i = j; i <= n; ++i) {
      double sum = a[i][j];
      for (int k = 1; k < j; ++k) sum -= a[i][k] * a[k][j];
      a[i][j] = sum;
      // A later row wins a tie.
      const double merit = scale[i] * std::fabs(sum);
      if (merit >= big) {
        big = merit;
        imax = i;
      }
    }
    if (j != imax) {
      for (int k = 1; k <= n; ++k) std::swap(a[imax][k], a[j][k]);
      d = -d;
      scale[imax] = scale[j];
    }
    indx[j] = imax;
    if (a[j][j] == 0.0) a[j][j] = 1e-20;
    if (j != n) {
      for (int i = j + 1; i <= n; ++i) a[i][j] /= a[j][j];
    }
  }
}

void lu_backsub(const dmat& a, int n, const ivec& indx, dvec& b) {
  int first = 0;  // first row with a non-zero right-hand side
  for (int i = 1; i <= n; ++i) {
    const int ip = indx[i];
    double sum = b[ip];
    b[ip] = b[i];
    if (first) {
      for (int j = first; j < i; ++j) sum -= a[i][j] * b[j];
    } else if (sum != 0.0) {
      first = i;
    }
    b[i] = sum;
  }
  for (int i = n; i >= 1; --i) {
    double sum = b[i];
    for (int j = i + 1; j <= n; ++j) sum -= a[i][j] * b[j];
    b[i] = sum / a[i][i];
  }
}

void mat_inverse(dmat& a, int n, dmat& y, int& singular) {
  ivec indx = ivector(1, n);
  dvec col = dvector(1, n);
  double d = 0.0;
  lu_decompose(a, n, indx, d, singular);
  if (singular) return;
  for (int j = 1; j <= n; ++j) {
    for (int i = 1; i <= n; ++i) col[i] = 0.0;
    col[j] = 1.0;
    lu_backsub(a, n, indx, col);
    for (int i = 1; i <= n; ++i) y[i][j] = col[i];
  }
}

void solve_3x3(dmat& a, int /*n*/, const dmat& b, dmat& x) {
  constexpr int order = 3;
  ivec indx = ivector(1, order);
  dvec rhs = dvector(1, order);
  int singular = 0;
  double d = 0.0;
  lu_decompose(a, order, indx, d, singular);
  if (singular) return;
  for (int i = 1; i <= order; ++i) rhs[i] = b[i][1];
  lu_backsub(a, order, indx, rhs);
  for (int i = 1; i <= order; ++i) x[i][1] = rhs[i];
}

namespace {

constexpr int deviate_multiplier = 16807;
constexpr int deviate_modulus = 2147483647;
constexpr int schrage_quotient = 127773;  // modulus / multiplier
constexpr int schrage_remainder = 2836;   // modulus % multiplier
constexpr int table_divisor = 67108864;   // 1 + (modulus - 1) / 32
constexpr double deviate_scale = 4.656612875245797e-10;
constexpr double deviate_max = 1.0 - 1.2e-7;

// seed <- 16807 seed mod (2^31 - 1) by Schrage's method, without overflow.
void generator_step(int& seed) {
  const int k = seed / schrage_quotient;
  seed = deviate_multiplier * (seed - k * schrage_quotient) - schrage_remainder * k;
  if (seed < 0) seed += deviate_modulus;
}

}  // namespace

double uniform_deviate(int& seed, uniform_deviate_state& state) {
  const int table_size = static_cast<int>(state.table.size());
  if (seed <= 0 || state.last == 0) {
    seed = -seed < 1 ? 1 : -seed;
    // Eight warm-up steps, then the table from its last entry to its first.
    for (int j = table_size + 7; j >= 0; --j) {
      generator_step(seed);
      if (j < table_size) state.table[static_cast<size_t>(j)] = seed;
    }
    state.last = state.table[0];
  }
  generator_step(seed);
  const size_t j = static_cast<size_t>(state.last / table_divisor);
  state.last = state.table[j];
  state.table[j] = seed;
  const double value = deviate_scale * state.last;
  return value > deviate_max ? deviate_max : value;
}

void choldc(dmat& a, int n, dvec& p) {
  for (int i = 1; i <= n; ++i) {
    for (int j = i; j <= n; ++j) {
      double sum = a[i][j];
      for (int k = i - 1; k >= 1; --k) sum -= a[i][k] * a[j][k];
      if (i == j) {
        if (sum <= 0.0) nr_fatal_error("choldc failed");
        p[i] = std::sqrt(sum);
      } else {
        a[j][i] = sum / p[i];
      }
    }
  }
}

void choldc_solve(const dmat& a, int n, const dvec& p, const dvec& b, dvec& x) {
  for (int i = 1; i <= n; ++i) {
    double sum = b[i];
    for (int k = i - 1; k >= 1; --k) sum -= a[i][k] * x[k];
    x[i] = sum / p[i];
  }
  for (int i = n; i >= 1; --i) {
    double sum = x[i];
    for (int k = i + 1; k <= n; ++k) sum -= a[k][i] * x[k];
    x[i] = sum / p[i];
  }
}

namespace {

// One plane rotation of the pair m[i][j], m[k][l].
void rotate(dmat& m, int i, int j, int k, int l, double s, double tau) {
  const double g = m[i][j];
  const double h = m[k][l];
  m[i][j] = g - s * (h + g * tau);
  m[k][l] = h + s * (g - h * tau);
}

}  // namespace

void jacobi(dmat& a, int n, dvec& d, dmat& v, int& nrot) {
  constexpr int max_sweeps = 50;
  dvec b = dvector(1, n);
  dvec z = dvector(1, n);
  for (int p = 1; p <= n; ++p) {
    for (int q = 1; q <= n; ++q) v[p][q] = 0.0;
    v[p][p] = 1.0;
    b[p] = d[p] = a[p][p];
    z[p] = 0.0;
  }
  nrot = 0;
  for (int sweep = 1; sweep <= max_sweeps; ++sweep) {
    double sm = 0.0;
    for (int p = 1; p < n; ++p)
      for (int q = p + 1; q <= n; ++q) sm += std::fabs(a[p][q]);
    if (sm == 0.0) return;
    const double threshold = sweep < 4 ? 0.2 * sm / (static_cast<double>(n) * n) : 0.0;
    for (int p = 1; p < n; ++p) {
      for (int q = p + 1; q <= n; ++q) {
        const double g = 100.0 * std::fabs(a[p][q]);
        if (sweep > 4 && std::fabs(d[p]) + g == std::fabs(d[p]) && std::fabs(d[q]) + g == std::fabs(d[q])) {
          a[p][q] = 0.0;
        } else if (std::fabs(a[p][q]) > threshold) {
          double h = d[q] - d[p];
          double t = 0.0;
          if (std::fabs(h) + g == std::fabs(h)) {
            t = a[p][q] / h;
          } else {
            const double theta = 0.5 * h / a[p][q];
            t = 1.0 / (std::fabs(theta) + std::sqrt(1.0 + theta * theta));
            if (theta < 0.0) t = -t;
          }
          const double c = 1.0 / std::sqrt(1.0 + t * t);
          const double s = t * c;
          const double tau = s / (1.0 + c);
          h = t * a[p][q];
          z[p] -= h;
          z[q] += h;
          d[p] -= h;
          d[q] += h;
          a[p][q] = 0.0;
          for (int j = 1; j < p; ++j) rotate(a, j, p, j, q, s, tau);
          for (int j = p + 1; j < q; ++j) rotate(a, p, j, j, q, s, tau);
          for (int j = q + 1; j <= n; ++j) rotate(a, p, j, q, j, s, tau);
          for (int j = 1; j <= n; ++j) rotate(v, j, p, j, q, s, tau);
          ++nrot;
        }
      }
    }
    for (int p = 1; p <= n; ++p) {
      b[p] += z[p];
      d[p] = b[p];
      z[p] = 0.0;
    }
  }
  nr_fatal_error("Too many iterations in routine jacobi");
}

void sort_eigenpairs(dvec& d, dmat& v, int n) {
  for (int i = 1; i < n; ++i) {
    int k = i;
    double largest = d[i];
    for (int j = i + 1; j <= n; ++j) {
      if (d[j] >= largest) {
        largest = d[j];
        k = j;
      }
    }
    if (k != i) {
      d[k] = d[i];
      d[i] = largest;
      for (int j = 1; j <= n; ++j) std::swap(v[j][i], v[j][k]);
    }
  }
}

void indexx(int n, const dvec& arr, ivec& indx) {
  constexpr int insertion_limit = 7;
  constexpr int stack_size = 50;
  ivec stack = ivector(1, stack_size);
  int top = 0;
  int l = 1;
  int ir = n;
  for (int j = 1; j <= n; ++j) indx[j] = j;
  for (;;) {
    if (ir - l < insertion_limit) {
      for (int j = l + 1; j <= ir; ++j) {
        const int moved = indx[j];
        const double value = arr[moved];
        int i = j - 1;
        for (; i >= l; --i) {
          if (arr[indx[i]] <= value) break;
          indx[i + 1] = indx[i];
        }
        indx[i + 1] = moved;
      }
      if (top == 0) break;
      ir = stack[top--];
      l = stack[top--];
    } else {
      const int k = (l + ir) / 2;
      std::swap(indx[k], indx[l + 1]);
      if (arr[indx[l]] > arr[indx[ir]]) std::swap(indx[l], indx[ir]);
      if (arr[indx[l + 1]] > arr[indx[ir]]) std::swap(indx[l + 1], indx[ir]);
      if (arr[indx[l]] > arr[indx[l + 1]]) std::swap(indx[l], indx[l + 1]);
      int i = l + 1;
      int j = ir;
      const int partition = indx[l + 1];
      const double value = arr[partition];
      for (;;) {
        do ++i;
        while (arr[indx[i]] < value);
        do --j;
        while (arr[indx[j]] > value);
        if (j < i) break;
        std::swap(indx[i], indx[j]);
      }
      indx[l + 1] = indx[j];
      indx[j] = partition;
      top += 2;
      if (top > stack_size) nr_fatal_error("NSTACK too small in indexx.");
      // Push the larger part, go on with the smaller.
      if (ir - i + 1 >= j - l) {
        stack[top] = ir;
        stack[top - 1] = i;
        ir = j - 1;
      } else {
        stack[top] = j - 1;
        stack[top - 1] = l;
        l = i;
      }
    }
  }
}

namespace {

// Lanczos series coefficients for gamma = 5, six terms.
constexpr double lanczos_coefficients[6] = {76.18009172947146,     -86.50532032941677,
                                            24.01409824083091,     -1.231739572450155,
                                            0.001208650973866179, -0.000005395239384953};

}  // namespace

double log_gamma(double x) {
  const double tmp = x + 5.5;
  double series = 1.000000000190015;
  for (int j = 0; j < 6; ++j) series += lanczos_coefficients[j] / (x + j + 1);
  return std::log(2.5066282746310005 * series / x) - tmp + (x + 0.5) * std::log(tmp);
}

}  // namespace kavro
