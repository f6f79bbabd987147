// The rating curve of a channel lake: elevation, volume and area at a list of
// points, with point 0 at (0, 0).
#pragma once

#include "framework/one_based.h"

namespace kavro {

// y of the rating curve of `lake` at x: linear between the points 0..n of
// X[lake] and Y[lake], the first interval that holds x winning. Outside the
// curve the nearest end point's y, with one warning per lake (`warned`
// [lake] keeps the note; it may be empty, then every call warns).
double lake_rating_interp(int lake, double x, int n, const dmat& X, const dmat& Y, ivec& warned);

}  // namespace kavro
