// Boundary outputs of an outer run for an inset run: the output points (a
// point file, or the centres of the edge cells of the inset mask), their
// weights on the run's own grid, and the depth, head and stream files
// written at every hydrograph interval.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "framework/run_clock.h"
#include "input/ascii_map.h"
#include "output/output_steps.h"
#include "output/xy_boundary.h"

namespace kavro {

namespace {

// A warning or problem that goes to the error stream and the console.
void say_both(const std::string& text) {
  std::fputs(text.c_str(), stderr);
  std::fputs(text.c_str(), stdout);
}

void refuse(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  error_rec.code = already_printed_code;
}

// Centre of cell (r, c) of a grid.
double centre_x(const xy_grid& g, int c) { return g.west + (c - 0.5) * g.dx; }
double centre_y(const xy_grid& g, int r) { return g.north - (r - 0.5) * g.dx; }

double distance(double dx, double dy) {
  return std::fabs(dx) < 1e-5 && std::fabs(dy) < 1e-5 ? 0.0 : std::sqrt(dx * dx + dy * dy);
}

// Row and column of the cell of `g` that holds (x, y) (its western and
// northern sides included); 0 for a point off the grid.
void cell_of(const xy_grid& g, double x, double y, int& r, int& c) {
  const double fr = std::floor((g.north - y) / g.dx), fc = std::floor((x - g.west) / g.dx);
  const bool in = fr >= 0.0 && fr < g.n_rows && fc >= 0.0 && fc < g.n_cols;
  r = in ? 1 + static_cast<int>(fr) : 0;
  c = in ? 1 + static_cast<int>(fc) : 0;
}

// The point file: a count, then one line of x, y and point number per point.
void read_xy_output_points(xy_output& o, const std::string& path) {
  file_wrapper f;
  if (!f.open(path, "r")) {
    if (path.empty())
      std::printf("Error: filename for XY Output File not specified.\n");
    else
      std::printf("Error: unable to open the xy output file %s.\n", path.c_str());
    note_error_run_goes_on(error_rec);
    return;
  }
  std::string line;
  int n = 0;
  if (read_line(line, f)) pop_int(line, n);
  for (int k = 1; k <= n; ++k) {
    if (!read_line(line, f)) {
      std::printf("Warning!!! The number of points specified in the xy output file is more than the actual points in "
                  "the file.\n");
      return;
    }
    std::string tx, ty, tid;
    token_cursor cursor(line);
    cursor.next_token(tx), cursor.next_token(ty), cursor.next_token(tid);
    char *ex = nullptr, *ey = nullptr, *eid = nullptr;
    xy_node p;
    p.x = std::strtod(tx.c_str(), &ex);
    p.y = std::strtod(ty.c_str(), &ey);
    const long id = std::strtol(tid.c_str(), &eid, 10);
    if (tx.empty() || ty.empty() || tid.empty() || *ex || *ey || *eid || !std::isfinite(p.x) ||
        !std::isfinite(p.y) || id < -99999999 || id > 99999999) {
      refuse(format_string("Error: line %d of the xy output file %s does not hold x, y and a point number: %s\n",
                           k + 1, path.c_str(), line.c_str()));
      return;
    }
    p.id = static_cast<int>(id);
    o.points.push_back(p);
  }
}

// The inset mask: one output point at the centre of every cell on its
// edge, numbered as the inset run numbers its active cells (row by row).
void read_xy_output_mask(xy_output& o, const std::string& path) {
  file_wrapper f;
  if (!f.open(path, "r")) {
    std::printf("Error: unable to open the XY output mask file.\n");
    note_error_run_goes_on(error_rec);
    return;
  }
  xy_grid& g = o.inset;
  int rows = 0, cols = 0;
  double north = 0, south = 0, east = 0, west = 0;
  if (!peek_ascii_map_header(f, north, south, east, west, rows, cols) || rows < 1 || cols < 1 || !(north > south) ||
      !(east > west) || !std::isfinite(north - south) || !std::isfinite(east - west)) {
    // Its cell size, (north - south) / rows, would be undefined.
    refuse(format_string("Error: the XY output mask file %s holds no cells: north %g, south %g, east %g, west %g, "
                         "%d rows, %d columns.\n",
                         path.c_str(), north, south, east, west, rows, cols));
    return;
  }
  g.own_cells.allocate(rows, cols);
  read_ascii_map(f, path, map_integer_grid, north, south, east, west, rows, cols, g.own_cells, nullptr, nullptr,
                 nullptr, rows, cols, 1);
  if (error_rec.code != 0 || error_rec.stop) return;
  g.north = north, g.south = south, g.east = east, g.west = west;
  g.n_rows = rows, g.n_cols = cols;
  g.dx = (north - south) / rows;
  int number = 0;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) {
      if (g.at(r, c) == 0) continue;
      ++number;
      if (!is_mask_boundary_cell(g, r, c)) continue;
      xy_node p;
      p.x = centre_x(g, c);
      p.y = centre_y(g, r);
      p.id = number;
      o.points.push_back(p);
    }
}

void write_point_header(std::FILE* f, const char* word, const std::vector<xy_node>& points) {
  std::fprintf(f, "%s\n", word);
  std::fprintf(f, "%d\n", static_cast<int>(points.size()));
  std::fputs("DATE       TIME \t", f);
  for (const xy_node& p : points) std::fprintf(f, "  %8d", p.id);
  std::fputs("\n", f);
}

void write_date(std::FILE* f, const calendar_instant& d) {
  std::fprintf(f, "%4d %02d %02d %02d %02d\t", d.year, d.month, d.day, d.hour, d.minute);
}

// Depths and heads to the micrometre: a boundary sheet of a few millimetres
// must reach the inset run as it was.
void write_point_row(std::FILE* f, const calendar_instant& d, const std::vector<xy_node>& points,
                     const dvec& values) {
  write_date(f, d);
  for (const xy_node& p : points) std::fprintf(f, "  %12.6lf", xy_point_value(p, values));
  std::fputs("\n", f);
}

// Opens one point output; false (message printed) when it cannot be opened.
bool open_point_output(file_wrapper& f, const std::string& name, const char* what) {
  if (f.open(name, "w")) return true;
  say_both(format_string("Error: XY %s output file name is not valid\n", what));
  return false;
}

}  // namespace

int cell_quadrant(const xy_grid& g, double x, double y) {
  const bool right = std::fmod(x - g.west, g.dx) / g.dx >= 0.5;
  const bool lower = std::fmod(g.north - y, g.dx) / g.dx >= 0.5;
  return 2 * lower + right;
}

int locate_xy_point_cells(const xy_grid& g, double x, double y, std::array<int, 4>& cells,
                          std::array<double, 4>& distances) {
  int r = 0, c = 0;
  cell_of(g, x, y, r, c);
  int n = 0;
  if (g.at(r, c) != 0) {
    const int q = cell_quadrant(g, x, y);
    const int row_off[2][4] = {{-1, -1, 0, 0}, {0, 0, 1, 1}};
    const int col_off[2][4] = {{-1, 0, -1, 0}, {0, 1, 0, 1}};
    for (int k = 0; k < 4; ++k) {
      const int rr = r + row_off[q / 2][k], cc = c + col_off[q % 2][k];
      const int cell = g.at(rr, cc);
      if (cell == 0) continue;
      cells[static_cast<size_t>(n)] = cell;
      distances[static_cast<size_t>(n)] = distance(x - centre_x(g, cc), y - centre_y(g, rr));
      ++n;
    }
    return n;
  }
  say_both(format_string("Warning... an XY output point (x=%8.2lf, y=%8.2lf) is not located in an active cell. \n    "
                         "The result will be the value of the single nearest neighbor.\n",
                         x, y));
  double best = 9e16;
  int nearest = 0;
  for (int rr = 1; rr <= g.n_rows; ++rr)
    for (int cc = 1; cc <= g.n_cols; ++cc) {
      if (g.at(rr, cc) == 0) continue;
      const double d = std::hypot(x - centre_x(g, cc), y - centre_y(g, rr));
      if (d < best) {
        best = d;
        nearest = g.at(rr, cc);
      }
    }
  if (nearest == 0) {
    say_both("Error: unable to find nearest neighbor for out-of-bound x/y value. Something is really messed up with "
             "your input. Reverting to cell id 1.\n");
    nearest = 1;
  }
  cells[0] = nearest;
  distances[0] = 1.0;
  return 1;
}

void set_xy_output_weights(const xy_grid& g, xy_node& p) {
  std::array<double, 4> d{};
  p.n_near = locate_xy_point_cells(g, p.x, p.y, p.cell_ids, d);
  p.weight_sum = 0.0;
  for (int k = 0; k < p.n_near; ++k) {
    const double dk = std::max(d[static_cast<size_t>(k)], 1e-4);
    p.weights[static_cast<size_t>(k)] = 1.0 / (dk * dk);
    p.weight_sum += p.weights[static_cast<size_t>(k)];
  }
  if (p.n_near < 2) {
    p.weight_sum = 1.0;
    p.weights[0] = 1.0;
  }
}

double xy_point_value(const xy_node& p, const dvec& values) {
  double sum = 0.0;
  for (int k = 0; k < p.n_near; ++k)
    sum += values[p.cell_ids[static_cast<size_t>(k)]] * p.weights[static_cast<size_t>(k)];
  return sum / p.weight_sum;
}

void xy_output::open(bool mask_mode, double north, double west, int rows, int cols, double dx, const imat& mask,
                     const dvec* ov_depth, const dvec* elevgw) {
  grid.north = north;
  grid.west = west;
  grid.n_rows = rows;
  grid.n_cols = cols;
  grid.dx = dx;
  grid.shared_cells = &mask;
  if (mask_mode)
    read_xy_output_mask(*this, points_file);
  else
    read_xy_output_points(*this, points_file);
  if (error_rec.code != 0 || error_rec.stop) return;
  gw_source = elevgw;
  ov_source = ov_depth;
  if (gw_source && !gw_file_name.empty()) gw_on = open_point_output(gw_file, gw_file_name, "Groundwater");
  if (ov_source && !ov_file_name.empty()) ov_on = open_point_output(ov_file, ov_file_name, "Overland Flow");
  for (xy_node& p : points) set_xy_output_weights(grid, p);
  if (ov_on) write_point_header(ov_file.fp, "XY_OV_DEPTH", points);
  if (gw_on) write_point_header(gw_file.fp, "XY_GW_HEAD", points);
}

void xy_output::write_step(double t) {
  const calendar_instant d = calendar_date(t);
  if (ov_on) write_point_row(ov_file.fp, d, points, *ov_source);
  if (gw_on) write_point_row(gw_file.fp, d, points, *gw_source);
  if (st_on) {
    write_date(st_file.fp, d);
    for (const xy_node& c : crossings) std::fprintf(st_file.fp, "   %12.4lf", (*st_source)[c.node][c.link]);
    std::fputs("\n", st_file.fp);
  }
}

void xy_output::close() {
  for (file_wrapper* f : {&ov_file, &gw_file, &st_file}) {
    if (!f->is_open()) continue;
    std::fputs("END_TS\n", f->fp);
    f->close();
  }
  ov_on = gw_on = st_on = 0;
  crossings.clear();
  inset.segments.clear();
  inset.own_cells.reset();
  grid.segments.clear();
  points.clear();
}

void setup_xy_outputs(main_state& ms) {
  if (!ms.project_params.use_xybdyoutput) return;
  xy_output& o = ms.project_params.xy_output;
  const dvec* heads = ms.gw_simulation_on && !ms.elevgw.empty() ? &ms.elevgw : nullptr;
  o.open(ms.project_params.xybdyoutput_is_mask != 0, ms.map_north, ms.map_west, ms.rows, ms.cols, ms.dx, ms.mask,
         ms.ov_depth.empty() ? nullptr : &ms.ov_depth, heads);
  if (error_rec.code != 0 || error_rec.stop) return;
  o.find_inset_stream_crossings(ms.channel_input_path, ms.channel_on && !ms.qp.empty() ? &ms.qp : nullptr, ms.LINKS,
                                ms.nx);
}

}  // namespace kavro
