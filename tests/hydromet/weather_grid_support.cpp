#include "weather_grid_support.h"

#include <cstdio>

#include "framework/alloc.h"
#include "hydromet/hydromet_steps.h"
#include "input/cell_arrays.h"
#include "input/grid_connectivity.h"

namespace kavro_test {

using kavro::main_state;

std::unique_ptr<main_state> weather_grid(int rows, int cols, double dx, const std::function<double(int, int)>& z,
                                         double station_elev, const std::function<bool(int, int)>& active) {
  auto ms = std::make_unique<main_state>();
  main_state& m = *ms;
  m.long_term_on = 1;
  m.quiet = 1;
  m.rows = m.grid_rows = m.map_rows = rows;
  m.cols = m.grid_cols = m.map_cols = cols;
  m.dx = dx;
  m.map_west = 500.0;
  m.map_east = 500.0 + cols * dx;
  m.map_south = 2000.0;
  m.map_north = 2000.0 + rows * dx;
  kavro::alloc_imat_zero(m.mask, rows + 1, cols + 1, "mask");
  int n = 0;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) n += !active || active(r, c);
  m.n_cells = n;
  m.cell_row.grow(n);
  m.cell_col.grow(n);
  m.cell_x.grow(n);
  m.cell_y.grow(n);
  kavro::alloc_dvec(m.elevation, n, "elevation");
  int cell = 0;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) {
      if (active && !active(r, c)) continue;
      m.mask[r][c] = ++cell;
      m.cell_row[cell] = r;
      m.cell_col[cell] = c;
      m.cell_x[cell] = m.map_west + (c - 0.5) * dx;
      m.cell_y[cell] = m.map_north - (r - 0.5) * dx;
      m.elevation[cell] = z(r, c);
    }
  m.project_params.hmet_elev_gage = station_elev;
  m.project_params.hmet_xcoord_gage = m.cell_x[1];
  m.project_params.hmet_ycoord_gage = m.cell_y[1];
  m.latitude_deg = 40.0;
  kavro::compute_elevation_bands(m);
  kavro::alloc_cell_arrays(m);
  kavro::build_cell_connectivity(m);
  kavro::fill_edge_values(m);
  kavro::compute_ground_slopes(m);
  kavro::set_met_station_location(m);
  kavro::gage_cell_distances(m);
  m.shading_on = 1;
  return ms;
}

std::unique_ptr<main_state> weather_reader_record(const std::string& path, const std::string& format, int rows,
                                                  int cols, double dx) {
  auto ms = weather_grid(rows, cols, dx, [](int, int) { return 100.0; });
  main_state& m = *ms;
  m.hmet_vrx_on = format == "vrx";
  m.hmet_ascii_on = format == "ascii";
  m.hmet_samson_on = format == "samson";
  m.hmet_surfaways_on = format == "surfaways";
  m.hmet_path = path;
  m.fs_hmet_surfaways.open(path, "r");
  return ms;
}

std::string samson_hour_line(int yy, int month, int day, int hour, int direct, int diffuse, int sky,
                             double temperature, int rh, int pressure, double wind) {
  std::string line(86, ' ');
  auto put = [&](int first, int last, const std::string& text) {
    const std::size_t width = static_cast<std::size_t>(last - first + 1);
    const std::string t = text.size() < width ? std::string(width - text.size(), ' ') + text : text;
    line.replace(static_cast<std::size_t>(first - 1), width, t);
  };
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d", yy);
  put(2, 3, buf);
  put(5, 6, std::to_string(month));
  put(8, 9, std::to_string(day));
  put(11, 12, std::to_string(hour));
  put(34, 37, std::to_string(direct));
  put(42, 45, std::to_string(diffuse));
  put(50, 51, std::to_string(sky));
  std::snprintf(buf, sizeof buf, "%.1f", temperature);
  put(56, 60, buf);
  put(68, 70, std::to_string(rh));
  put(72, 75, std::to_string(pressure));
  std::snprintf(buf, sizeof buf, "%.4f", wind);
  put(80, 85, buf);
  return line;
}

}  // namespace kavro_test
