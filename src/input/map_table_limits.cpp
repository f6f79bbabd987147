#include "input/map_table_limits.h"

#include <cstdio>

#include "framework/error_record.h"

namespace kavro {

namespace {

// One column of a table and the closed range of its values.
struct column_limit {
  int code;        // the table's card code
  int column;      // from 0
  double lo, hi;
  const char* what;
};

// Manning n in s/m^(1/3): no surface is rougher than 10. Depths and storages
// in mm. Porosity, saturations and moisture are fractions of the soil volume.
constexpr column_limit limits[] = {
    {1, 0, 0.0, 10.0, "the Manning n"},
    {2, 0, 0.0, 1e5, "the interception storage (mm)"},
    {2, 1, 0.0, 1e5, "the interception coefficient"},
    {3, 0, 0.0, 1e5, "the retention depth (mm)"},
    {4, 0, 0.0, 1e6, "the saturated conductivity (cm/h)"},
    {4, 1, 0.0, 1e6, "the capillary head (cm)"},
    {4, 2, 0.0, 1.0, "the porosity"},
    {4, 3, 0.0, 1e3, "the pore distribution index"},
    {4, 4, 0.0, 1.0, "the residual saturation"},
    {4, 5, 0.0, 1.0, "the field capacity"},
    {4, 6, 0.0, 1.0, "the wilting point"},
    {5, 0, 0.0, 1.0, "the initial soil moisture"},
};

}  // namespace

bool map_table_values_allowed(int code, std::string_view table, std::string_view file, const table_rows& rows) {
  for (const column_limit& l : limits) {
    if (l.code != code || l.column >= rows.k) continue;
    for (std::size_t r = 0; r < rows.ids.size(); ++r) {
      const double v = rows.value(r, l.column);
      if (v >= l.lo && v <= l.hi) continue;
      std::printf("Error: table %.*s of the mapping table file %.*s, ID %d (row %zu), column %d: %s %g is outside "
                  "%g to %g.\n",
                  static_cast<int>(table.size()), table.data(), static_cast<int>(file.size()), file.data(),
                  rows.ids[r], r + 1, l.column + 1, l.what, v, l.lo, l.hi);
      error_rec.code = already_printed_code;
      report_error(error_rec);
      return false;
    }
  }
  return true;
}

}  // namespace kavro
