#include "input/map_placement.h"

#include <cmath>
#include <cstdio>

#include "framework/error_record.h"
#include "framework/main_state.h"

namespace kavro {

bool map_edges_agree(const main_state& ms, const char* kind, const std::string& path, double north, double south,
                     double east, double west) {
  const double dy = ms.map_rows > 0 ? (ms.map_north - ms.map_south) / ms.map_rows : 0.0;
  const double dx = ms.map_cols > 0 ? (ms.map_east - ms.map_west) / ms.map_cols : 0.0;
  struct edge {
    const char* name;
    double map, mask, half_cell;
  };
  bool ok = true;
  for (const edge& e : {edge{"north", north, ms.map_north, std::fabs(dy) / 2},
                        edge{"south", south, ms.map_south, std::fabs(dy) / 2},
                        edge{"east", east, ms.map_east, std::fabs(dx) / 2},
                        edge{"west", west, ms.map_west, std::fabs(dx) / 2}}) {
    // A NaN edge agrees with nothing.
    if (std::fabs(e.map - e.mask) <= e.half_cell) continue;
    std::printf("Error: the %s edge of the %s %s is %.2f, that of the watershed mask %s %.2f: more than half a "
                "cell apart.\n",
                e.name, kind, path.c_str(), e.map, ms.watershed_mask_path.c_str(), e.mask);
    ok = false;
  }
  if (ok) return true;
  error_rec.code = already_printed_code;
  report_error(error_rec);
  return false;
}

}  // namespace kavro
