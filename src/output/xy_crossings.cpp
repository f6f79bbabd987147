// Where the channels of an outer run enter an inset: the edge of the inset
// mask as cell sides, the reaches of the channel input file that cross it
// into the mask, and the stream hydrograph output at those crossings.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "channel/chan_input.h"
#include "framework/file_wrapper.h"
#include "framework/readers.h"
#include "output/xy_boundary.h"

namespace kavro {

namespace {

// Codes of the channel input cards the crossing search reads (chan_card_code).
constexpr int link_card = 8, node_card = 33, x_y_card = 40;

xy_segment segment(double x1, double y1, double x2, double y2) {
  xy_segment s;
  s.p1.x = x1, s.p1.y = y1;
  s.p2.x = x2, s.p2.y = y2;
  return s;
}

// One segment for each side of cell (r, c) that borders no active cell:
// north, east, south, west, each running clockwise.
void make_cell_edge_segments(xy_grid& g, int r, int c) {
  const double left = g.west + (c - 1) * g.dx, right = left + g.dx;
  const double top = g.north - (r - 1) * g.dx, bottom = top - g.dx;
  if (g.at(r - 1, c) == 0) g.segments.push_back(segment(left, top, right, top));
  if (g.at(r, c + 1) == 0) g.segments.push_back(segment(right, top, right, bottom));
  if (g.at(r + 1, c) == 0) g.segments.push_back(segment(right, bottom, left, bottom));
  if (g.at(r, c - 1) == 0) g.segments.push_back(segment(left, bottom, left, top));
}

// True when (x, y) lies in an active cell of the mask (western and northern
// sides included).
bool inside_mask(const xy_grid& g, double x, double y) {
  if (g.n_rows < 1 || !(g.dx > 0.0)) return false;
  const double fr = std::floor((g.north - y) / g.dx), fc = std::floor((x - g.west) / g.dx);
  if (!(fr >= 0.0 && fr < g.n_rows && fc >= 0.0 && fc < g.n_cols)) return false;
  return g.at(1 + static_cast<int>(fr), 1 + static_cast<int>(fc)) != 0;
}

// True when the box of `edge` lies wholly to one side of both ends of `s`.
bool boxes_apart(const xy_segment& edge, const xy_segment& s) {
  const double ex0 = std::min(edge.p1.x, edge.p2.x), ex1 = std::max(edge.p1.x, edge.p2.x);
  const double ey0 = std::min(edge.p1.y, edge.p2.y), ey1 = std::max(edge.p1.y, edge.p2.y);
  return (ex0 > s.p1.x && ex0 > s.p2.x) || (ex1 < s.p1.x && ex1 < s.p2.x) || (ey0 > s.p1.y && ey0 > s.p2.y) ||
         (ey1 < s.p1.y && ey1 < s.p2.y);
}

void write_stream_crossing_header(std::FILE* f, const std::vector<xy_node>& crossings) {
  std::fprintf(f, "%s\n", "XY_STREAM_HYDROGRAPHS");
  std::fprintf(f, "%d\n", static_cast<int>(crossings.size()));
  std::fputs("X                 \t", f);
  for (const xy_node& c : crossings) std::fprintf(f, "   %12.3lf", c.x);
  std::fputs("\nY                 \t", f);
  for (const xy_node& c : crossings) std::fprintf(f, "   %12.3lf", c.y);
  std::fputs("\n", f);
  std::fflush(f);
}

}  // namespace

bool is_mask_boundary_cell(const xy_grid& g, int r, int c) {
  return !(g.at(r - 1, c) && g.at(r + 1, c) && g.at(r, c - 1) && g.at(r, c + 1));
}

void build_mask_boundary(xy_grid& g) {
  g.segments.clear();
  for (int r = 1; r <= g.n_rows; ++r)
    for (int c = 1; c <= g.n_cols; ++c)
      if (g.at(r, c) != 0 && is_mask_boundary_cell(g, r, c)) make_cell_edge_segments(g, r, c);
}

bool segments_intersect(const xy_segment& e, const xy_segment& s) {
  const double d = (s.p2.x - s.p1.x) * (e.p2.y - e.p1.y) - (s.p2.y - s.p1.y) * (e.p2.x - e.p1.x);
  if (d == 0.0) return false;  // parallel
  const double ua = ((e.p1.x - s.p1.x) * (s.p2.y - s.p1.y) - (e.p1.y - s.p1.y) * (s.p2.x - s.p1.x)) / d;
  const double ub = ((e.p1.y - s.p1.y) * (e.p2.x - e.p1.x) - (e.p1.x - s.p1.x) * (e.p2.y - e.p1.y)) / -d;
  return ua >= 0.0 && ua <= 1.0 && ub > 0.0 && ub <= 1.0;
}

void add_stream_crossing(std::vector<xy_node>& crossings, double x, double y, int link, int node) {
  for (xy_node& c : crossings) {
    if (c.link != link) continue;
    if (node > c.node) {
      c.x = x, c.y = y;
      c.node = node;
    }
    return;
  }
  xy_node c;
  c.x = x, c.y = y;
  c.link = link, c.node = node;
  crossings.push_back(c);
}

void xy_output::find_inset_stream_crossings(const std::string& chan_file, const dmat* qp, int links,
                                            const ivec& nx) {
  if (!qp || chan_file.empty()) {
    st_on = 0;
    return;
  }
  st_on = 1;
  st_source = qp;
  build_mask_boundary(inset);
  file_wrapper f;
  if (!f.open(chan_file, "r")) {
    st_on = 0;
    std::printf("Error: unable to open the .cif file for reading for the stream boundary XY hydrograph ouput file\n");
    return;
  }
  // The reaches in file order: a LINK card starts a new polyline, whose
  // points are the X_Y cards of its defining nodes.
  std::string line;
  int link = 0, node = 0;
  bool have_previous = false;
  double px = 0.0, py = 0.0;
  while (read_line(line, f)) {
    const int code = chan_card_code(line);
    if (code == link_card) {
      if (!pop_int(line, link)) link = 0;
      have_previous = false;
    } else if (code == node_card) {
      if (!pop_int(line, node)) node = 0;
    } else if (code == x_y_card) {
      double x = 0.0, y = 0.0;
      if (!pop_double(line, x) || !pop_double(line, y)) continue;
      const xy_segment reach = segment(px, py, x, y);
      for (const xy_segment& edge : inset.segments) {
        if (!have_previous || boxes_apart(edge, reach) || !segments_intersect(edge, reach)) continue;
        // Only a reach that flows into the inset feeds it: one that leaves
        // it carries the inset's own outflow.
        if (!inside_mask(inset, x, y)) break;
        const int reach_node = node - 1;
        if (link >= 1 && link <= links && reach_node >= 1 && reach_node <= nx[link])
          add_stream_crossing(crossings, 0.5 * (px + x), 0.5 * (py + y), link, reach_node);
        else
          std::printf("Warning: the stream crossing of link %d node %d lies outside the channel network and is not "
                      "written.\n",
                      link, reach_node);
        break;
      }
      px = x, py = y;
      have_previous = true;
    }
  }
  std::printf("KAVRO identified %d stream link/nodes as crossing the inset mask boundary.\n",
              static_cast<int>(crossings.size()));
  for (const xy_node& c : crossings) std::printf("%d,%d\t", c.link, c.node);
  std::printf("\n");
  if (!st_file.open(st_file_name, "w")) {
    st_on = 0;
    std::printf("Error: unable to open the stream boundary XY hydrograph ouput file\n");
    return;
  }
  write_stream_crossing_header(st_file.fp, crossings);
}

}  // namespace kavro
