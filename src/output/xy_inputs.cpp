// Boundary inputs of an inset run: the point files of overland depths,
// water-surface stages and groundwater heads, the interpolation onto the
// boundary cells of type 8, the per-step setting of depths and heads with
// their volumes, and the stream boundary hydrographs that enter the channels.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "input/time_series.h"
#include "output/xy_boundary.h"

namespace kavro {

namespace {

// Prints a refusal and stops the run once the current step is done.
void refuse(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  error_rec.code = already_printed_code;
}

// A whole token that is a finite number.
bool finite_number(const std::string& token, double& value) {
  if (token.empty()) return false;
  char* end = nullptr;
  value = std::strtod(token.c_str(), &end);
  return end == token.c_str() + token.size() && std::isfinite(value);
}

bool whole_number(const std::string& token, int& value) {
  if (token.empty()) return false;
  char* end = nullptr;
  const long v = std::strtol(token.c_str(), &end, 10);
  if (end != token.c_str() + token.size() || v < -2147483647L || v > 2147483647L) return false;
  value = static_cast<int>(v);
  return true;
}

// The n numbers of `line` after its first `skip` tokens; false when the
// line holds fewer, or a token in their place is not a finite number.
template <class T>
bool numbers_after(const std::string& line, int skip, int n, std::vector<T>& out) {
  token_cursor cursor(line);
  std::string token;
  for (int k = 0; k < skip; ++k)
    if (!cursor.next_token(token)) return false;
  // Grown token by token: a count far beyond the line never sizes anything.
  out.clear();
  for (int k = 0; k < n; ++k) {
    T value{};
    if (!cursor.next_token(token)) return false;
    bool ok = false;
    if constexpr (std::is_same_v<T, int>) {
      ok = whole_number(token, value);
    } else {
      ok = finite_number(token, value);
    }
    if (!ok) return false;
    out.push_back(value);
  }
  return true;
}

// The n series read_time_series_table has just appended.
std::vector<const time_series*> last_series(int n) {
  std::vector<const time_series*> out;
  const size_t total = time_series_list.size();
  for (size_t k = total - static_cast<size_t>(n); k < total; ++k) out.push_back(time_series_list[k].get());
  return out;
}

// Reads the header line and the count line of a point or stream file; the
// count (0 when the line holds none).
int read_count_line(file_wrapper& f) {
  std::string line;
  int n = 0;
  if (read_line(line, f)) pop_int(line, n);
  return n;
}

// The coordinate lines of a coordinate or stream file: the label, then n x
// (line 3) and n y (line 4). False after the refusal is printed.
bool read_coordinate_lines(file_wrapper& f, const std::string& what, int n, std::vector<double>& xs,
                           std::vector<double>& ys) {
  std::string line;
  for (int k = 0; k < 2; ++k) {
    std::vector<double>& out = k == 0 ? xs : ys;
    if (!read_line(line, f) || !numbers_after(line, 1, n, out)) {
      refuse(format_string("Error: line %d of the %s %s does not hold a label and %d %s coordinates.\n", k + 3,
                           what.c_str(), f.name.c_str(), n, k == 0 ? "x" : "y"));
      return false;
    }
  }
  return true;
}

// The dated rows of a point or stream file as n series named after
// `base_name`; empty after the refusal when the file holds no rows.
std::vector<const time_series*> read_rows(file_wrapper& f, const std::string& what, int n, const char* base_name) {
  read_time_series_table(f, n, base_name);
  std::vector<const time_series*> series = last_series(n);
  if (series.front()->count() == 0) {
    refuse(format_string("Error: the %s %s holds no dated rows.\n", what.c_str(), f.name.c_str()));
    series.clear();
  }
  return series;
}

// Count and cell check of the cell-number points of one list.
bool cells_in_grid(const checked_array<xy_point>& pts, int n, long n_cells, const char* kind,
                   const std::string& file) {
  bool ok = true;
  for (int k = 1; k <= n; ++k) {
    const int id = pts[k].id;
    if (id >= 1 && id <= n_cells) continue;
    std::printf("Error: point %d of the %s xy boundary input file %s names cell %d; the grid has cells 1 to %ld.\n",
                k, kind, file.c_str(), id, n_cells);
    note_error_run_goes_on(error_rec);
    ok = false;
  }
  if (!ok) refuse("Program stopped.\n");
  return ok;
}

// The interpolation entries of every type-8 cell: its (at most) five
// nearest source points with the weights 1/d^2. `hold_head` turns each such
// cell into a held groundwater head (type 2).
void build_interp_cells(ivec& types, long n_cells, const checked_array<double>& cell_x,
                        const checked_array<double>& cell_y, const checked_array<xy_point>& src, int n_src,
                        checked_array<xy_interp_cell>& cells, int& n_out, bool hold_head, const char* kind) {
  const long n = std::min<long>(n_cells, types.size());
  std::vector<long> typed;
  for (long j = 1; j <= n; ++j)
    if (types[j] == 8) typed.push_back(j);
  n_out = static_cast<int>(typed.size());
  cells.release();
  if (typed.empty()) return;
  if (n_src < 1) {
    // Without a source the weighted value of a cell would be 0/0.
    for (long j : typed)
      std::printf("Error: %s boundary cell %ld is of type 8 (valued from xy points), but no %s xy source points "
                  "were read.\n",
                  kind, j, kind);
    n_out = 0;
    refuse("Program stopped.\n");
    return;
  }
  cells.grow(n_out);
  const int m = std::min(n_src, 5);
  std::vector<double> d(static_cast<size_t>(n_src) + 1);
  std::vector<int> idx(static_cast<size_t>(n_src));
  int k = 0;
  for (long j : typed) {
    if (hold_head) types[j] = 2;
    for (int s = 1; s <= n_src; ++s) {
      const double dx = src[s].x - cell_x[j], dy = src[s].y - cell_y[j];
      double dist = std::fabs(dx) < 1e-5 && std::fabs(dy) < 1e-5 ? 0.0 : std::sqrt(dx * dx + dy * dy);
      d[static_cast<size_t>(s)] = std::max(dist, 1e-4);
      idx[static_cast<size_t>(s) - 1] = s;
    }
    if (n_src > 5) quicksort_by_distance(d, idx, 0, n_src - 1);
    xy_interp_cell& e = cells[++k];
    for (int q = 0; q < m; ++q) {
      const int s = idx[static_cast<size_t>(q)];
      e.sources[static_cast<size_t>(q)] = s;
      e.weights[static_cast<size_t>(q)] = 1.0 / (d[static_cast<size_t>(s)] * d[static_cast<size_t>(s)]);
    }
    e.n_points = m;
    e.cell = static_cast<int>(j);
  }
}

// The value of every source point at `now`, into values[1..n].
void source_values_at(checked_array<xy_point>& src, int n, double now, std::vector<double>& values) {
  if (values.size() < static_cast<size_t>(n) + 1) values.resize(static_cast<size_t>(n) + 1);
  for (int s = 1; s <= n; ++s) {
    xy_point& p = src[s];
    values[static_cast<size_t>(s)] = time_series_at(*p.series, now, p.cursor);
  }
}

// Sets `state` of a cell to v and books the change times `factor` (m2) as
// water added or removed.
void set_and_book(double& state, double v, double factor, double& added, double& removed) {
  const double change = v - state;
  if (change < 0.0)
    removed += -change * factor;
  else
    added += change * factor;
  state = v;
}

// The overland form: depths, or stages over the ground when `elevation` is given.
void apply_ov(xy_input& xy, double now, double dx, const dvec* elevation, dvec& depth, double& vol_in,
              double& vol_out) {
  vol_in = vol_out = 0.0;
  const double area = dx * dx;
  auto depth_of = [&](double v, int cell) { return std::max(elevation ? v - (*elevation)[cell] : v, 0.0); };
  for (int k = 1; k <= xy.n_ovpts; ++k) {
    xy_point& p = xy.ovpts[k];
    const double v = time_series_at(*p.series, now, p.cursor);
    set_and_book(depth[p.id], depth_of(v, p.id), area, vol_in, vol_out);
  }
  if (xy.n_ovInterpPts < 1) return;
  source_values_at(xy.ovInterpSrcPts, xy.n_ovInterpSrcPts, now, xy.source_values);
  for (int k = 1; k <= xy.n_ovInterpPts; ++k) {
    const xy_interp_cell& e = xy.ovInterpPts[k];
    set_and_book(depth[e.cell], depth_of(weighted_series_value(e, xy.source_values), e.cell), area, vol_in,
                 vol_out);
  }
}

// Keyword of a line of a stream time-series file: 1 KAVRO_XY_ST_BDY_TS,
// 2 KAVRO_TS, 3 XY, 4 LINKNODE, 5 END_TS, 6 TIMESERIES, 0 anything else.
// The keyword is taken off the line.
int parse_st_keyword(std::string& line) {
  std::string word;
  if (!pop_token(line, word)) return 0;
  constexpr const char* words[] = {"KAVRO_XY_ST_BDY_TS", "KAVRO_TS", "XY", "LINKNODE", "END_TS", "TIMESERIES"};
  for (int k = 0; k < 6; ++k)
    if (same_keyword(word, words[k])) return k + 1;
  return 0;
}

}  // namespace

double weighted_series_value(const xy_interp_cell& cell, const std::vector<double>& values) {
  double sum = 0.0, weights = 0.0;
  for (int q = 0; q < cell.n_points; ++q) {
    const double w = cell.weights[static_cast<size_t>(q)];
    sum += w * values[static_cast<size_t>(cell.sources[static_cast<size_t>(q)])];
    weights += w;
  }
  return sum / weights;
}

void quicksort_by_distance(const std::vector<double>& d, std::vector<int>& idx, int low, int high) {
  auto dist = [&](int k) { return d[static_cast<size_t>(idx[static_cast<size_t>(k)])]; };
  while (high - low > 0) {
    int p = (low + high) / 2, i = low, j = high;
    while (i <= p && p <= j) {
      while (dist(i) < dist(p) && i <= p) ++i;
      while (dist(j) > dist(p) && j >= p) --j;
      std::swap(idx[static_cast<size_t>(i)], idx[static_cast<size_t>(j)]);
      if (p == j) {  // the pivot moved to i: the scan at i starts there again
        p = i;
        --j;
      } else if (p == i) {  // the pivot moved to j
        p = j;
        ++i;
      } else {
        ++i;
        --j;
      }
    }
    quicksort_by_distance(d, idx, low, p - 1);
    low = p + 1;
  }
}

void xy_input::read_point_file(const std::string& path, const char* kind_word, const char* header_word,
                               xy_point_set set, bool by_cell_id) {
  checked_array<xy_point>& list = set == xy_point_set::ov          ? ovpts
                                  : set == xy_point_set::gw        ? gwpts
                                  : set == xy_point_set::gw_interp ? gwInterpSrcPts
                                                                   : ovInterpSrcPts;
  int& count = set == xy_point_set::ov          ? n_ovpts
               : set == xy_point_set::gw        ? n_gwpts
               : set == xy_point_set::gw_interp ? n_gwInterpSrcPts
                                                : n_ovInterpSrcPts;
  file_wrapper f;
  if (!f.open(path, "r")) {
    std::printf("Error: unable to open %s xy boundary input file.\n", kind_word);
    note_error_run_goes_on(error_rec);
    return;
  }
  std::string line;
  if (!read_line(line, f) || line.compare(0, std::strlen(header_word), header_word) != 0) {
    std::printf("Error: file used for %s xy boundary input file is not of appropriate type. File header does not "
                "match %s.\n",
                kind_word, header_word);
    note_error_run_goes_on(error_rec);
    return;
  }
  // A later file of the same list replaces the points of an earlier one.
  list.release();
  count = 0;
  const int n = read_count_line(f);
  if (n < 1) {
    std::printf("Warning: No points in %s xy boundary input file.\n", kind_word);
    return;
  }
  const std::string what = std::string(kind_word) + " xy boundary input file";
  std::vector<int> ids;
  std::vector<double> xs, ys;
  if (by_cell_id) {
    if (!read_line(line, f) || !numbers_after(line, 2, n, ids)) {
      refuse(format_string("Error: line 3 of the %s %s does not hold two labels and %d cell numbers.\n",
                           what.c_str(), path.c_str(), n));
      return;
    }
  } else if (!read_coordinate_lines(f, what, n, xs, ys)) {
    return;
  }
  const std::vector<const time_series*> series = read_rows(f, what, n, header_word);
  if (series.empty()) return;
  list.grow(n);
  for (int k = 1; k <= n; ++k) {
    xy_point& p = list[k];
    const size_t i = static_cast<size_t>(k) - 1;
    if (by_cell_id) p.id = ids[i];
    else p.x = xs[i], p.y = ys[i];
    p.series = series[i];
  }
  count = n;
  if (set == xy_point_set::ov) ovpts_file = path;
  if (set == xy_point_set::gw) gwpts_file = path;
}

void xy_input::read_stream_hydrographs(const std::string& path) {
  file_wrapper f;
  if (!f.open(path, "r")) {
    std::printf("Error: unable to open stream xy boundary input file.\n");
    note_error_run_goes_on(error_rec);
    return;
  }
  std::string line;
  if (!read_line(line, f) || !same_keyword(line, "XY_STREAM_HYDROGRAPHS")) {
    std::printf("Error: file used for stream xy boundary input file is not of appropriate type. File header does "
                "not match XY_STREAM_HYDROGRAPHS.\n");
    note_error_run_goes_on(error_rec);
    return;
  }
  // The hydrograph file's points replace every stream point read before.
  stpts.release();
  n_stpts = 0;
  const int n = read_count_line(f);
  if (n <= 0) {
    std::printf("Warning: No points in the stream xy boundary input file.\n");
    return;
  }
  std::vector<double> xs, ys;
  if (!read_coordinate_lines(f, "stream xy boundary input file", n, xs, ys)) return;
  const std::vector<const time_series*> series = read_rows(f, "stream xy boundary input file", n,
                                                           "XY_STREAM_HYDROGRAPHS");
  if (series.empty()) return;
  stpts.grow(n);
  for (int k = 1; k <= n; ++k) {
    const size_t i = static_cast<size_t>(k) - 1;
    stpts[k].x = xs[i];
    stpts[k].y = ys[i];
    stpts[k].series = series[i];
  }
  n_stpts = n;
}

void xy_input::read_stream_timeseries(const std::string& path) {
  file_wrapper f;
  if (!f.open(path, "r")) {
    std::printf("Error: unable to open stream xy boundary input file.\n");
    note_error_run_goes_on(error_rec);
    return;
  }
  std::string line;
  if (!read_line(line, f) || parse_st_keyword(line) != 1) {
    std::printf("Error: incorrectly formatted header for stream xy time series boundary input file.\n");
    note_error_run_goes_on(error_rec);
    return;
  }
  // Each KAVRO_TS line starts the block of a new point, END_TS ends it;
  // lines outside a block are ignored.
  std::vector<xy_stream_point> added;
  bool in_block = false;
  int line_no = 1;
  while (read_line(line, f)) {
    ++line_no;
    const int key = parse_st_keyword(line);
    if (key == 2) {
      added.emplace_back();
      in_block = true;
      continue;
    }
    if (!in_block) continue;
    xy_stream_point& p = added.back();
    if (key == 5) {
      in_block = false;
    } else if (key == 3 || key == 4) {
      std::vector<double> v;
      if (!numbers_after(line, 0, 2, v) || (key == 4 && (v[0] != std::floor(v[0]) || v[1] != std::floor(v[1]) ||
                                                         std::fabs(v[0]) > 1e9 || std::fabs(v[1]) > 1e9))) {
        refuse(format_string("Error: line %d of the stream xy time series boundary input file %s needs two %s "
                             "after %s.\n",
                             line_no, path.c_str(), key == 3 ? "coordinates" : "whole numbers",
                             key == 3 ? "XY" : "LINKNODE"));
        continue;
      }
      if (key == 3) {
        p.x = v[0], p.y = v[1];
      } else {
        p.link = static_cast<int>(v[0]), p.node = static_cast<int>(v[1]);
        p.linked = 1;
      }
    } else if (key == 6) {
      std::string name;
      pop_token(line, name);
      strip_quotes(name);
      p.series = name.empty() ? nullptr : find_time_series(name);
      if (!p.series) {
        std::printf("Error!!! unable to find time series [%s] for the xy boundary stream time series file.\n",
                    name.c_str());
        std::printf("         Perhaps the related TIME_SERIES_FILE card in the project file is below the "
                    "XYBDYINPUT_STTIMESERIES card?\n");
      }
    }
  }
  if (added.empty()) return;
  const long k0 = stpts.size();  // the points already read, one cell each
  stpts.grow(static_cast<long>(added.size()));
  for (size_t k = 0; k < added.size(); ++k) stpts[k0 + 1 + static_cast<long>(k)] = added[k];
  n_stpts = static_cast<int>(stpts.size());
}

bool xy_input::mark_ov_point_cells(ivec& boundary_type, long n_cells) const {
  if (!cells_in_grid(ovpts, n_ovpts, std::min<long>(n_cells, boundary_type.size()), "overland", ovpts_file))
    return false;
  for (int k = 1; k <= n_ovpts; ++k) boundary_type[ovpts[k].id] = 9;
  return true;
}

void xy_input::setup_ov_interp(ivec& boundary_type, long n_cells, const checked_array<double>& cell_x,
                               const checked_array<double>& cell_y) {
  build_interp_cells(boundary_type, n_cells, cell_x, cell_y, ovInterpSrcPts, n_ovInterpSrcPts, ovInterpPts,
                     n_ovInterpPts, false, "overland");
}

void xy_input::setup_gw_interp(ivec& gwbound, long n_cells, const checked_array<double>& cell_x,
                               const checked_array<double>& cell_y) {
  if (!cells_in_grid(gwpts, n_gwpts, std::min<long>(n_cells, gwbound.size()), "groundwater", gwpts_file)) return;
  build_interp_cells(gwbound, n_cells, cell_x, cell_y, gwInterpSrcPts, n_gwInterpSrcPts, gwInterpPts,
                     n_gwInterpPts, true, "groundwater");
}

void xy_input::apply_ov_depth(double now, double dx, dvec& ov_depth, double& vol_in, double& vol_out) {
  apply_ov(*this, now, dx, nullptr, ov_depth, vol_in, vol_out);
}

void xy_input::apply_ov_stage(double now, double dx, const dvec& elevation, dvec& ov_depth, double& vol_in,
                              double& vol_out) {
  apply_ov(*this, now, dx, &elevation, ov_depth, vol_in, vol_out);
}

void xy_input::apply_gw_head(double now, double dx, dvec& head, const dvec& storage, double& gain, double& loss) {
  gain = loss = 0.0;
  const double area = dx * dx;
  for (int k = 1; k <= n_gwpts; ++k) {
    xy_point& p = gwpts[k];
    set_and_book(head[p.id], time_series_at(*p.series, now, p.cursor), area * storage[p.id], gain, loss);
  }
  if (n_gwInterpPts < 1) return;
  source_values_at(gwInterpSrcPts, n_gwInterpSrcPts, now, source_values);
  for (int k = 1; k <= n_gwInterpPts; ++k) {
    const xy_interp_cell& e = gwInterpPts[k];
    set_and_book(head[e.cell], weighted_series_value(e, source_values), area * storage[e.cell], gain, loss);
  }
}

void xy_input::match_stream_points(int links, const ivec& nx1, const ivec& nx, const ivec& ltype, const dmat& lnx,
                                   const dmat& lny) {
  std::printf("Matching up stream input to current link/node network \n");
  bool bad = false;
  for (int p = 0; p < n_stpts; ++p) {
    xy_stream_point& s = stpts[p + 1];
    if (s.linked) {
      if (s.link < 1 || s.link > links || s.node < 1 || s.node > nx[s.link]) {
        std::printf("Error: stream boundary input %d names link %d node %d, which the channel network does not "
                    "have.\n",
                    p, s.link, s.node);
        note_error_run_goes_on(error_rec);
        bad = true;
      }
      continue;
    }
    double best = 999999.99;
    int best_link = 0, best_node = 0;
    for (int l = 1; l <= links; ++l) {
      if (!(ltype[l] & (4 | 8 | 16)) || nx1[l] <= 1) continue;
      const int last = std::min<long>(nx1[l], lnx.size1());
      for (int j = 1; j < last; ++j) {
        const double dx = 0.5 * (lnx[j][l] + lnx[j + 1][l]) - s.x;
        const double dy = 0.5 * (lny[j][l] + lny[j + 1][l]) - s.y;
        const double d = std::fabs(dx) < 1e-5 && std::fabs(dy) < 1e-5 ? 0.0 : std::sqrt(dx * dx + dy * dy);
        if (d < best && j <= nx[l]) {
          best = d;
          best_link = l;
          best_node = j;
        }
      }
    }
    s.link = best_link;
    s.node = best_node;
    if (best_link == 0) {
      std::printf("Warning: no channel reach was found for stream boundary input %d; it adds no inflow.\n", p);
      continue;
    }
    std::printf("For input %d the closest link/node pair is %lf m from link %d node %d \n \n", p, best, best_link,
                best_node);
  }
  std::printf("\n");
  if (bad) refuse("Program stopped.\n");
}

void match_xy_stream_points(main_state& ms) {
  xy_input& xy = ms.project_params.xy_input;
  if (xy.n_stpts < 1) return;
  xy.match_stream_points(ms.LINKS, ms.nx1, ms.nx, ms.ltype, ms.lnx, ms.lny);
  if (error_rec.code != 0) return;
  for (int p = 0; p < xy.n_stpts; ++p)
    if (xy.stpts[p + 1].link > 0 && !xy.stpts[p + 1].series)
      std::printf("Warning: stream boundary input %d has no time series; it adds no inflow.\n", p);
  ms.xy_stream_q.allocate(ms.node_link_dim + 1);
}

void set_xy_stream_inflows(main_state& ms) {
  if (ms.xy_stream_q.empty()) return;
  xy_input& xy = ms.project_params.xy_input;
  const long stride = ms.max_nodes_per_link;
  for (int p = 1; p <= xy.n_stpts; ++p) {
    const xy_stream_point& s = xy.stpts[p];
    if (s.link > 0 && s.series) ms.xy_stream_q[s.link * stride + s.node] = 0.0;
  }
  bool any = false;
  for (int p = 1; p <= xy.n_stpts; ++p) {
    xy_stream_point& s = xy.stpts[p];
    if (s.link < 1 || !s.series) continue;
    ms.xy_stream_q[s.link * stride + s.node] += time_series_at(*s.series, ms.now, s.cursor);
    any = true;
  }
  // The inflow must be routed from the first step, before any rain arrives.
  if (any) ms.chan_active = 1;
}

}  // namespace kavro
