#include "channel/lake_rating.h"

#include <cstdio>
#include "framework/readers.h"
#include "framework/run_warnings.h"

namespace kavro {

double lake_rating_interp(int lake, double x, int n, const dmat& X, const dmat& Y, ivec& warned) {
  const double* xs = X[lake];
  const double* ys = Y[lake];
  for (int i = 0; i < n; ++i) {
    if (xs[i] <= x && x <= xs[i + 1]) {
      const double span = xs[i + 1] - xs[i];
      const double f = span > 0.0 ? (x - xs[i]) / span : 0.0;
      return (1.0 - f) * ys[i] + f * ys[i + 1];
    }
  }
  // Off the curve: a lake of elevation or volume 0 would be wrong by the
  // whole lake; the nearest end of the curve is the best value there is.
  const bool first_time = warned.size() < lake || warned[lake] == 0;
  if (first_time) {
    std::printf("Error: something is really messed up with your lake rating curve for lake [%d].\n", lake);
    warn(format_string("Warning: x = %lf lies outside the rating curve of lake %d; its nearest end point is used.\n",
                       x, lake));
    if (warned.size() >= lake) warned[lake] = 1;
  }
  if (n <= 0) return ys[0];
  return x < xs[0] ? ys[0] : ys[n];
}

}  // namespace kavro
