// Passes over the elevation grid that route contributing area downhill:
// the topographic index of the Sacramento channel weights and the upslope
// area of the two-store groundwater weights come from the same passes.
#pragma once

#include <vector>

#include "framework/one_based.h"

namespace kavro {

struct terrain_pass_result {
  bool converged = false;     // false when 1000 passes did not reach every active cell
  std::vector<double> area;   // by cell number (element 0 unused): contributing area, its own dx*dx included (m2)
  std::vector<double> index;  // by cell number: ln(area / outflow width times slope) (topographic index)
};

// Routes the area of every active cell of the numbered grid `mask`
// (rows x cols, cells 1..n_cells) to its lower neighbours in proportion to
// the width of the face times the slope (side faces dx/2, diagonal faces
// sqrt(2) dx/4), a cell being processed once no higher active neighbour is
// left unprocessed. A cell with no lower neighbour takes the mean rise of
// its active neighbours as its slope (index 0.333 when flat), and a rise
// between 1e-8 and 1e-6 is reported on the console.
terrain_pass_result terrain_passes(const imat& mask, int rows, int cols, int n_cells, const dvec& elevation,
                                   double dx);

// The nine lines printed when the passes do not converge.
void print_terrain_pass_failure();

}  // namespace kavro
