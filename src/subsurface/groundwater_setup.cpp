// Set-up of the two-dimensional aquifer: boundary types, wells or static
// fluxes, aquifer conductivity and porosity, cell widths, the solver's work
// and the cells whose heads the well-level output writes.
#include <cmath>
#include <cstdio>
#include <string>

#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/number_text.h"
#include "framework/readers.h"
#include "input/ascii_map.h"
#include "input/cell_loaders.h"
#include "input/map_table_check.h"
#include "input/map_table_format.h"
#include "input/map_table_reader.h"
#include "input/setup_lines.h"
#include "input/special_tables.h"
#include "subsurface/groundwater_flow.h"
#include "subsurface/subsurface_steps.h"
#include "subsurface/wells.h"

namespace kavro {

namespace {

constexpr int boundary_table_code = 18;  // GROUNDWATER_BOUNDARY
constexpr int aquifer_table_code = 17;   // GROUNDWATER

bool open_map(file_wrapper& f, const std::string& path) {
  if (f.is_open() || f.open(path, "r")) return true;
  std::printf("Error: unable to open the map %s\n", path.c_str());
  error_rec.code = already_printed_code;
  return false;
}

bool table_present(const main_state& ms, int code) {
  const int flag = map_table_flag(code);
  return ms.mapping_table_on && flag >= 0 && static_cast<std::size_t>(flag) < ms.map_table_present.size() &&
         ms.map_table_present[flag] == 1;
}

bool read_boundary_types(main_state& ms) {
  if (table_present(ms, boundary_table_code) && !ms.project_params.use_gw_boundfile) {
    print_setup_line(ms, "reading the groundwater boundary file from the mapping table\n");
    if (!read_map_table(ms, boundary_table_code, &ms.map_scratch2)) return false;
    for (long j = 1; j <= ms.n_cells; ++j) ms.gwbound[j] = static_cast<int>(ms.map_scratch2[j]);
    return !error_rec.stop;
  }
  print_setup_line(
      ms, format_string("reading the groundwater boundary file: %s\n", ms.gw_boundfile_path.c_str()));
  if (!open_map(ms.gw_boundfile_file, ms.gw_boundfile_path)) return false;
  read_cell_map(ms, ms.gw_boundfile_file, ms.gw_boundfile_path, map_categories, nullptr, &ms.gwbound);
  ms.gw_boundfile_file.close();
  return !error_rec.stop;
}

// The cell of grid row r and column c, 0 outside the grid or the watershed.
long cell_of(const main_state& ms, long r, long c) {
  if (r < 1 || c < 1 || r > ms.rows || c > ms.cols) return 0;
  return ms.mask[r][c];
}

// A count line, then `count` lines each read by `row`; every bad line is
// reported with the file, the line number and the value, and the run stops
// after the file. A file that does not open prints `open_failed` (a format
// taking the path). False when the run must stop.
template <class Row>
bool read_counted_file(const std::string& path, const char* what, const char* open_failed, Row row) {
  file_wrapper f;
  if (!f.open(path, "r")) {
    std::printf(open_failed, path.c_str());
    error_rec.code = already_printed_code;
    return false;
  }
  std::string line;
  int count = 0;
  if (!read_line(line, f) || std::sscanf(line.c_str(), "%d", &count) != 1 || count < 0) {
    std::printf("Error: the %s %s, line 1: \"%s\" is not a count of rows.\n", what, path.c_str(),
                line.c_str());
    error_rec.code = already_printed_code;
    return false;
  }
  bool ok = true;
  for (int k = 1; k <= count; ++k) {
    if (!read_line(line, f)) {
      std::printf("Error: the %s %s gives a count of %d on line 1 but holds only %d rows.\n", what,
                  path.c_str(), count, k - 1);
      ok = false;
      break;
    }
    if (!row(k, k + 1, line)) ok = false;
  }
  if (!ok) error_rec.code = already_printed_code;
  return ok;
}

bool read_static_fluxes(main_state& ms) {
  const std::string& path = ms.gw_fluxboundtable_path;
  const double area = ms.dx * ms.dx;
  int rows_read = 0;
  const char* cannot_open = "Can't open static flux table file: %s\n";
  const bool ok = read_counted_file(
      path, "static flux table", cannot_open, [&](int, int line_no, const std::string& line) {
        int r = 0, c = 0;
        double flux = 0.0;
        if (std::sscanf(line.c_str(), "%d %d %lf", &r, &c, &flux) != 3 || !std::isfinite(flux)) {
          std::printf(
              "Error: the static flux table %s, line %d: \"%s\" is not a row, a column and a flux "
              "(m3/day).\n",
              path.c_str(), line_no, line.c_str());
          return false;
        }
        const long j = cell_of(ms, r, c);
        if (j == 0) {
          std::printf(
              "Error: the static flux table %s, line %d: row %d, column %d is not a cell of the watershed.\n",
              path.c_str(), line_no, r, c);
          return false;
        }
        ms.gw_static_flux[j] = flux / 86400.0 / area;
        ++rows_read;
        return true;
      });
  ms.n_static_flux_cells = rows_read;
  return ok;
}

bool read_wells_or_static_fluxes(main_state& ms) {
  if (ms.project_params.use_use_wells) {
    ms.wells_on = 1;
    print_setup_line(ms, "reading well map from the master table file\n");
    if (!read_well_table(ms) || error_rec.code != 0 || error_rec.stop) return false;
    return resolve_well_series();
  }
  int type6 = 0, type3 = 0;
  for (long j = 1; j <= ms.n_cells; ++j) {
    type6 += ms.gwbound[j] == 6;
    type3 += ms.gwbound[j] == 3;
  }
  ms.n_static_flux_cells = type6;
  ms.n_dynamic_well_cells = type3;
  if ((type6 > 0 || ms.gw_flux_boundtable_on) && !read_static_fluxes(ms)) return false;
  if (type3 > 0)
    std::printf(
        "You can't have a dynamic wells in the groundwater boundary map. You must use the\nWELL_TABLE table "
        "in "
        "the mapping table file\n");
  return true;
}

// Conductivity (cm/h until converted) and porosity, each from its first
// source: a map, the GROUNDWATER table, the uniform card, the soil column.
bool read_aquifer_properties(main_state& ms) {
  const bool table = table_present(ms, aquifer_table_code);
  bool porosity_from_table = false;
  if (ms.gw_hycond_map_on) {
    print_setup_line(ms, format_string("reading ground water hydraulic conductivity map from file: %s\n",
                                       ms.gw_hycond_map_path.c_str()));
    if (!open_map(ms.gw_hycond_map_file, ms.gw_hycond_map_path)) return false;
    read_cell_map(ms, ms.gw_hycond_map_file, ms.gw_hycond_map_path, map_reals_a, &ms.gw_hycond_x, nullptr);
    ms.gw_hycond_map_file.close();
  } else if (table) {
    print_setup_line(ms, "reading ground water hydraulic conductivity map from the master table file\n");
    if (!read_map_table(ms, aquifer_table_code, &ms.gw_hycond_x, &ms.gw_porosity)) return false;
    porosity_from_table = true;
  } else if (ms.gw_unif_hycond_on) {
    for (long j = 1; j <= ms.n_cells; ++j) ms.gw_hycond_x[j] = ms.gw_unif_hycond;
  } else if (ms.richards_on && ms.KS.size1() >= ms.n_cells) {
    for (long j = 1; j <= ms.n_cells; ++j) ms.gw_hycond_x[j] = ms.KS[j][ms.numcells[j]];
  } else {
    error_rec.code = 126;
    return false;
  }
  if (error_rec.stop) return false;
  if (ms.gw_porosity_map_on) {
    print_setup_line(ms, format_string("reading ground water porosity map from file: %s\n",
                                       ms.gw_porosity_map_path.c_str()));
    if (!open_map(ms.gw_porosity_map_file, ms.gw_porosity_map_path)) return false;
    read_cell_map(ms, ms.gw_porosity_map_file, ms.gw_porosity_map_path, map_reals_a, &ms.gw_porosity,
                  nullptr);
    ms.gw_porosity_map_file.close();
  } else if (table) {
    if (!porosity_from_table) {
      print_setup_line(ms, "reading ground water porosity map from the master table file\n");
      if (!read_map_table(ms, aquifer_table_code, nullptr, &ms.gw_porosity)) return false;
    }
  } else if (ms.gw_unif_porosity_on) {
    for (long j = 1; j <= ms.n_cells; ++j) ms.gw_porosity[j] = ms.gw_unif_porosity;
  } else if (ms.richards_on && ms.THETAS.size1() >= ms.n_cells) {
    for (long j = 1; j <= ms.n_cells; ++j) ms.gw_porosity[j] = ms.THETAS[j][ms.numcells[j]];
  }
  return !error_rec.stop;
}

bool read_well_locations(main_state& ms) {
  const std::string& path = ms.out_well_location_path;
  std::vector<std::pair<int, int>> cells;
  const char* cannot_open = "Error: unable to open the well location file %s\n";
  const bool ok = read_counted_file(
      path, "well location file", cannot_open, [&](int, int line_no, const std::string& line) {
        int r = 0, c = 0;
        if (std::sscanf(line.c_str(), "%d %d", &r, &c) != 2) {
          std::printf("Error: the well location file %s, line %d: \"%s\" is not a row and a column.\n",
                      path.c_str(), line_no, line.c_str());
          return false;
        }
        if (cell_of(ms, r, c) == 0) {
          std::printf(
              "Error: the well location file %s, line %d: row %d, column %d is not a cell of the "
              "watershed.\n",
              path.c_str(), line_no, r, c);
          return false;
        }
        cells.emplace_back(r, c);
        return true;
      });
  if (!ok) return false;
  const long n = static_cast<long>(cells.size());
  ms.n_well_locations = static_cast<int>(n);
  if (!alloc_ivec(ms.well_location_row, n, "well_row") || !alloc_ivec(ms.well_location_col, n, "well_column"))
    return false;
  for (long k = 1; k <= n; ++k) {
    ms.well_location_row[k] = cells[static_cast<std::size_t>(k - 1)].first;
    ms.well_location_col[k] = cells[static_cast<std::size_t>(k - 1)].second;
  }
  return true;
}

}  // namespace

void read_groundwater_setup(main_state& ms) {
  if (ms.gw_simulation_on != 1) return;
  if (!alloc_groundwater_work(ms)) {
    error_rec.code = already_printed_code;
    return;
  }
  if (!read_boundary_types(ms)) return;
  ms.project_params.xy_input.setup_gw_interp(ms.gwbound, ms.n_cells, ms.cell_x, ms.cell_y);
  if (error_rec.stop || error_rec.code != 0) return;
  if (!read_wells_or_static_fluxes(ms)) return;
  if (!read_aquifer_properties(ms)) return;
  for (long j = 1; j <= ms.n_cells; ++j) {
    ms.gw_hycond_x[j] = ms.gw_hycond_x[j] / 100.0 / 3600.0;
    ms.gw_hycond_y[j] = ms.gw_hycond_x[j];
    ms.gw_cell_dx[j] = ms.gw_cell_dy[j] = ms.dx;
    ms.gw_storage[j] = ms.gw_porosity[j];
  }
  if (ms.gw_well_level_on) read_well_locations(ms);
}

}  // namespace kavro
