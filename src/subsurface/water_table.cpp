// The initial water table and the aquifer bottom below it (elevations, m).
#include <cstdio>

#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "input/ascii_map.h"
#include "input/cell_loaders.h"
#include "input/setup_lines.h"
#include "subsurface/subsurface_steps.h"

namespace kavro {

namespace {

// Reads a map of elevations into `dest`; false when the run must stop.
bool read_elevations(main_state& ms, file_wrapper& f, const std::string& path, dvec& dest, const char* line) {
  print_setup_line(ms, format_string(line, path.c_str()));
  if (!f.is_open() && !f.open(path, "r")) {
    std::printf("Error: unable to open the map %s\n", path.c_str());
    error_rec.code = already_printed_code;
    report_error(error_rec);
    return false;
  }
  if (dest.size() < ms.n_cells && !alloc_dvec(dest, ms.n_cells, dest.name())) {
    error_rec.code = already_printed_code;
    return false;
  }
  read_cell_map(ms, f, path, map_reals_a, &dest, nullptr);
  f.close();
  return !error_rec.stop;
}

}  // namespace

void read_water_table_maps(main_state& ms) {
  if (!ms.water_table_on) return;
  if (!read_elevations(ms, ms.fs_water_table, ms.water_table_path, ms.elevgw,
                       "reading water table map from file: %s\n"))
    return;
  if (ms.gw_exfil_depth.size() < ms.n_cells) alloc_dvec(ms.gw_exfil_depth, ms.n_cells, "gw_exfil_depth");
  if (ms.gw_simulation_on) {
    if (!read_elevations(ms, ms.fs_aquifer_bottom, ms.aquifer_bottom_path, ms.bottom_elev,
                         "reading aquifer bottom map from file: %s\n"))
      return;
  } else if (ms.richards_on) {
    // The soil columns reach 10 cm below the water table, in aquifer nodes
    // of 10 cm.
    ms.aquifer_delta_z = 0.1;
    if (ms.bottom_elev.size() < ms.n_cells) alloc_dvec(ms.bottom_elev, ms.n_cells, "bottom_elev");
    for (long j = 1; j <= ms.n_cells; ++j) ms.bottom_elev[j] = ms.elevgw[j] - 0.1;
  }
  if (ms.bottom_elev.size() < ms.n_cells) return;
  for (long j = 1; j <= ms.n_cells; ++j) {
    if (ms.bottom_elev[j] < ms.elevation[j]) continue;
    std::printf("Aquifer bottom elevation %lf for cell %ld is at or above ground surface elevation %lf \n",
                ms.bottom_elev[j], j, ms.elevation[j]);
    std::printf("Aquifer bottom elevation set to ground elevation \n");
    ms.bottom_elev[j] = ms.elevation[j];
  }
}

}  // namespace kavro
