#include "input/moisture_check.h"

#include <algorithm>
#include <cstdio>

#include "framework/error_record.h"
#include "framework/main_state.h"

namespace kavro {

bool initial_moisture_fits_porosity(const main_state& ms) {
  const long n = std::min({static_cast<long>(ms.n_cells), ms.init_moisture.size(), ms.porosity.size()});
  long bad = 0, first = 0;
  for (long i = 1; i <= n; ++i) {
    const double theta = ms.init_moisture[i], phi = ms.porosity[i];
    if (theta >= 0.0 && theta <= phi + 1e-12) continue;
    if (bad++ == 0) first = i;
  }
  if (bad == 0) return true;
  const int row = first <= ms.cell_row.size() ? ms.cell_row[first] : 0;
  const int col = first <= ms.cell_col.size() ? ms.cell_col[first] : 0;
  const char* from = ms.moisture_path.empty() ? "the mapping table" : ms.moisture_path.c_str();
  std::printf("Error: the initial soil moisture %g of cell %ld (row %d, column %d), from %s (MOISTURE), is outside "
              "0 to the porosity %g of the cell; %ld cells are.\n",
              ms.init_moisture[first], first, row, col, from, ms.porosity[first], bad);
  error_rec.code = already_printed_code;
  report_error(error_rec);
  return false;
}

}  // namespace kavro
