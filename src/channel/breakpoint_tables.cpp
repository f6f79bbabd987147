#include "channel/breakpoint_tables.h"

#include <algorithm>
#include <cmath>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "framework/run_warnings.h"

namespace kavro {
namespace {

constexpr int max_segments = 50;  // a level with this many wet segments is refused

void say(const std::string& text) { print_and_log(run_log_file, text); }

void report_stop() {
  error_rec.code = already_printed_code;
  report_error(error_rec);
}

void jagged_message(int link, bool at_read_time) {
  say(at_read_time ? "\n\nThere is a serious problem with a channel cross-section in\n"
                   : "There is a serious problem with a channel cross-section in\n");
  say(format_string("link %d.  The cross-section interpolation routine has found\n", link));
  say("that this cross-section is very jagged, with over 50 'islands'\n");
  say("for certain depths.  Calculating cross-section properties in\n");
  say("this case is very dubious.  Check your cross section, smooth\n");
  say("it if necessary and try again.\n");
}

double distance(double x0, double y0, double x1, double y1) { return std::hypot(x1 - x0, y1 - y0); }

// x where the profile between pairs a and b meets the level; between two pairs
// of equal y (a berm at the level) the first pair is the edge.
double crossing(const double* x, const double* y, int a, int b, double level) {
  if (y[b] == y[a]) return x[a];
  return x[a] + (level - y[a]) * (x[b] - x[a]) / (y[b] - y[a]);
}

// Builds rows 1..numhts[t] of table t from the profile x, y of np pairs.
// Returns the scan status of the first failing level (0 when all are fine).
int fill_table(main_state& ms, int t, const double* x, const double* y, int np, double inv_n, bool read_time) {
  const double ymin = *std::min_element(y + 1, y + np + 1);
  const double step = ms.ht_spc[t];
  for (int k = 1; k <= ms.numhts[t]; ++k) {
    section_row row;
    const int status = scan_level(x, y, np, ymin + k * step, !read_time, read_time, row);
    if (status != 0) return status;
    ms.xarea[k][t] = row.area;
    ms.xtw[k][t] = row.top_width;
    ms.xp[k][t] = row.perimeter;
    ms.xk[k][t] = row.perimeter > 0 ? inv_n * row.area * std::pow(row.area / row.perimeter, 2.0 / 3.0) : 0.0;
  }
  return 0;
}

bool scan_failed(int status, int link, bool read_time) {
  if (status == 0) return false;
  if (status == 1) jagged_message(link, read_time);
  else say(format_string("Error in your channel (%d). Each Z values must be different from it's neighbor\n", link));
  if (status == 2) pause_on_exit();
  report_stop();
  return true;
}

// A property at depth d in a table of step `step` and nh rows.
double table_value(const dmat& v, int t, double d, double step, int nh) {
  if (d > nh * step) return v[nh][t] + (v[nh][t] - v[nh - 1][t]) * (d - nh * step) / step;
  if (d < step) return d / step * v[1][t];
  const int m = std::min(static_cast<int>(d / step), nh);
  if (m >= nh) return v[nh][t];
  return v[m][t] + (v[m + 1][t] - v[m][t]) * (d - m * step) / step;
}

// Tables of the nodes strictly between the first and the last section of a
// non-erodible link: each row interpolated by node index between the
// nearest sections below and above.
void interpolate_between_sections(main_state& ms, int link, const bp_link_sections& sec) {
  for (int s = sec.first + 1; s < sec.last; ++s) {
    if (std::find(sec.node.begin() + 1, sec.node.end(), s) != sec.node.end()) continue;
    int lo = 0, hi = 0;
    for (int j = 1; j <= sec.n_sections && (lo == 0 || hi == 0); ++j) {
      const int n = sec.node[j];
      if (n < s && n > lo) lo = n;
      if (n > s && (hi == 0 || n < hi)) hi = n;
    }
    if (lo == 0 || hi == 0) continue;
    const int ts = ms.table_num[s][link], tl = ms.table_num[lo][link], th = ms.table_num[hi][link];
    const double w = static_cast<double>(s - hi) / (lo - hi);
    ms.ht_spc[ts] = ms.ht_spc[tl] + (s - lo) * (ms.ht_spc[th] - ms.ht_spc[tl]) / (hi - lo);
    const int nh = ms.numhts[ts];
    for (int k = 1; k <= nh; ++k) {
      const double d = k * ms.ht_spc[ts];
      for (dmat* v : {&ms.xarea, &ms.xtw, &ms.xk, &ms.xp}) {
        const double vh = table_value(*v, th, d, ms.ht_spc[th], nh);
        const double vl = table_value(*v, tl, d, ms.ht_spc[tl], nh);
        (*v)[k][ts] = vh + (vl - vh) * w;
      }
    }
  }
}

// Table numbers of the link's defining nodes and the shared counts.
void number_tables(main_state& ms, int link, const bp_link_sections& sec) {
  const int t0 = ms.n_xsec_tables_used + 1;
  const int nx1 = ms.nx1[link];
  if (ms.ltype[link] & 2) {
    for (int p = 1; p <= nx1; ++p) {
      ms.table_num[p][link] = t0 + p - 1;
      ms.numhts[t0 + p - 1] = sec.num_interp[1];
      ms.numpairs[t0 + p - 1] = sec.npairs[1];
    }
    ms.n_xsec_tables_used = t0 + nx1 - 1;
    return;
  }
  if (sec.n_sections == 1) {
    for (int p = 1; p <= nx1; ++p) ms.table_num[p][link] = t0;
    ms.numhts[t0] = sec.num_interp[1];
    ms.numpairs[t0] = sec.npairs[1];
    ms.n_xsec_tables_used = t0;
    return;
  }
  const int p1 = sec.npairs[1], p2 = sec.npairs[2];
  if (p1 != p2) {
    warn(format_string("\n\nWARNING!!!! When using two break-point cross-sections the number of pairs \n"
                      "            must be equal, which they are not for link %d.\n\n",
                      link),
         run_log_file);
    if (p2 > p1) say(format_string("  ---> Disregarding the last %d pairs of the second cross-section. <---\n\n", p2 - p1));
    else say(format_string("  ---> Disregarding the last %d pairs of the first cross-section. <---\n\n", p1 - p2));
  }
  if (sec.num_interp[1] != sec.num_interp[2])
    say(format_string("\nUsing the greater of the two number of interpolation points \n"
                      "for both cross-section in link %d.\n",
                      link));
  const int nh = std::max(sec.num_interp[1], sec.num_interp[2]);
  const int np = std::min(p1, p2);
  int counter = t0;
  for (int p = 1; p <= nx1; ++p) {
    if (p <= sec.first) ms.table_num[p][link] = t0;
    else if (p <= sec.last) ms.table_num[p][link] = ++counter;
    else ms.table_num[p][link] = ms.table_num[sec.last][link];
  }
  for (int t = t0; t <= counter; ++t) {
    ms.numhts[t] = nh;
    ms.numpairs[t] = np;
  }
  ms.n_xsec_tables_used = counter;
}

// The profile of section j resampled to np pairs of even x spacing, stored
// as the profile of `node` of the erodible link.
void store_resampled(main_state& ms, int slot, int node, const std::vector<double>& x,
                     const std::vector<double>& y, int np) {
  const double xmin = *std::min_element(x.begin() + 1, x.begin() + np + 1);
  const double xmax = *std::max_element(x.begin() + 1, x.begin() + np + 1);
  for (int k = 1; k <= np; ++k) {
    const double xk = xmin + (k - 1) * (xmax - xmin) / (np - 1);
    int l = 1;
    while (l < np && xk > x[l]) ++l;
    double yk;
    if (k == 1) yk = y[l];
    else if (k == np) yk = y[np];
    else yk = (x[l] == x[l - 1]) ? y[l] : y[l - 1] + (xk - x[l - 1]) * (y[l] - y[l - 1]) / (x[l] - x[l - 1]);
    ms.xbp_lnn[slot][node][k] = xk;
    ms.ybp_lnn[slot][node][k] = yk;
  }
}

void spread_erodible_profiles(main_state& ms, int link, const bp_link_sections& sec, int np) {
  const int slot = ms.bplink[link];
  auto copy_from = [&](int p, int src) {
    for (int k = 1; k <= np; ++k) {
      ms.xbp_lnn[slot][p][k] = ms.xbp_lnn[slot][src][k];
      ms.ybp_lnn[slot][p][k] = ms.ybp_lnn[slot][src][k];
    }
  };
  for (int p = 1; p <= ms.nx1[link]; ++p) {
    if (sec.n_sections == 1) {
      if (p != sec.node[1]) copy_from(p, sec.node[1]);
      continue;
    }
    if (p < sec.first) copy_from(p, sec.node[1]);
    else if (p > sec.last) copy_from(p, sec.node[sec.n_sections]);
    else if (std::find(sec.node.begin() + 1, sec.node.end(), p) == sec.node.end()) {
      int lo = 0, hi = 0;
      for (int j = 1; j <= sec.n_sections; ++j) {
        const int n = sec.node[j];
        if (n < p && n > lo) lo = n;
        if (n > p && (hi == 0 || n < hi)) hi = n;
      }
      if (lo == 0 || hi == 0) continue;
      const double w = static_cast<double>(p - hi) / (lo - hi);
      for (int k = 1; k <= np; ++k) {
        for (d3d* v : {&ms.xbp_lnn, &ms.ybp_lnn})
          (*v)[slot][p][k] = (*v)[slot][hi][k] + ((*v)[slot][lo][k] - (*v)[slot][hi][k]) * w;
      }
    }
  }
}

}  // namespace

int scan_level(const double* x, const double* y, int np, double level, bool wet_at_equal_start,
               bool refuse_flat_start, section_row& out) {
  struct segment {
    int start, end;
    double left, right;
  } seg[max_segments];
  out = section_row{};
  int m = 0, begin = 0;
  bool wet = wet_at_equal_start ? y[1] <= level : y[1] < level;
  if (wet) {
    seg[0] = {1, np, x[1], x[np]};
    m = 1;
    begin = 1;
  }
  for (int i = 1; i <= np; ++i) {
    if (!wet && y[i] <= level) {
      if (m + 1 >= max_segments) return 1;
      if (i > 1 && y[i] == y[i - 1] && refuse_flat_start) return 2;
      seg[m] = {std::max(i - 1, 1), np, i == 1 ? x[1] : crossing(x, y, i - 1, i, level), x[np]};
      ++m;
      wet = true;
      begin = i;
    } else if (wet && y[i] >= level && i != begin) {
      seg[m - 1].end = i;
      seg[m - 1].right = crossing(x, y, i - 1, i, level);
      wet = false;
    }
  }
  for (int j = 0; j < m; ++j) {
    const segment& s = seg[j];
    // A segment with no pair strictly inside it lies between an end pair and
    // its neighbour on the far side of a higher bank: it holds no water here.
    if (s.end - s.start < 2) continue;
    out.top_width += s.right - s.left;
    out.perimeter += distance(s.left, level, x[s.start + 1], y[s.start + 1]);
    out.area += 0.5 * (x[s.start + 1] - s.left) * (level - y[s.start + 1]);
    for (int k = s.start + 2; k <= s.end - 1; ++k) {
      out.perimeter += distance(x[k - 1], y[k - 1], x[k], y[k]);
      out.area += 0.5 * (x[k] - x[k - 1]) * ((level - y[k]) + (level - y[k - 1]));
    }
    out.perimeter += distance(x[s.end - 1], y[s.end - 1], s.right, level);
    out.area += 0.5 * (s.right - x[s.end - 1]) * (level - y[s.end - 1]);
  }
  return 0;
}

void size_xsec_scratch(main_state& ms) {
  const size_t n = static_cast<size_t>(std::max(ms.max_npairs, 0)) + 2;
  ms.xsec_scratch_x.assign(n, 0.0);
  ms.xsec_scratch_y.assign(n, 0.0);
  ms.xsec_scratch_y_old.assign(n, 0.0);
}

void interp_bp_xsecs(main_state& ms, int link, const bp_link_sections& sec, double manning_n) {
  if (sec.n_sections < 1) return;
  number_tables(ms, link, sec);
  const bool erodible = (ms.ltype[link] & 2) != 0;
  const double inv_n = manning_n > 0 ? 1.0 / manning_n : 0.0;
  double* x = ms.xsec_scratch_x.data();
  double* y = ms.xsec_scratch_y.data();
  for (int j = 1; j <= sec.n_sections; ++j) {
    const int t = ms.table_num[sec.node[j]][link];
    const int np = ms.numpairs[t];
    if (erodible) {
      store_resampled(ms, ms.bplink[link], sec.node[j], sec.x[j], sec.y[j], np);
      continue;
    }
    for (int i = 1; i <= np; ++i) {
      x[i] = sec.x[j][i];
      y[i] = sec.y[j][i];
    }
    const double ymin = *std::min_element(y + 1, y + np + 1), ymax = *std::max_element(y + 1, y + np + 1);
    const int nh = ms.numhts[t];
    if (nh < 1 || nh > 30000) {
      say(format_string("\n\nError: The number of interpolation points [%d] for table %d in link %d is invalid. "
                        "(Range is 1-30000.) \n",
                        nh, j, link));
      report_stop();
    }
    ms.ht_spc[t] = nh > 0 ? (ymax - ymin) / nh : 0.0;
    if (!(ms.ht_spc[t] >= 0.0001 && ms.ht_spc[t] <= 1.0)) {
      say(format_string("\n\nError: The interpolation distance [%6.5lf] produced by the number of interpolation "
                        "points [%d]\nfor table %d in link %d is invalid. (Range is 0.0001 to 1.0)\n",
                        nh > 0 ? ms.ht_spc[t] : INFINITY, nh, j, link));
      error_rec.code = 200;
      return;
    }
    if (nh > 30000) continue;
    if (scan_failed(fill_table(ms, t, x, y, np, inv_n, true), link, true)) return;
  }
  if (erodible) {
    spread_erodible_profiles(ms, link, sec, ms.numpairs[ms.table_num[1][link]]);
    for (int p = 1; p <= ms.nx1[link]; ++p) {
      xsec_props_table(ms, link, p);
      if (error_rec.stop) return;
    }
    return;
  }
  if (sec.n_sections >= 2 && sec.last - sec.first > 1) interpolate_between_sections(ms, link, sec);
}

void xsec_props_table(main_state& ms, int link, int node) {
  const int t = ms.table_num[node][link];
  const int np = t >= 1 ? ms.numpairs[t] : 0;
  if (t < 1 || np < 3) {
    say("\n");
    say(format_string(" Your breakpoint channel cross section table is invalid for link %d \n", link));
    say("Check your cross section\n");
    report_stop();
    return;
  }
  const int slot = ms.bplink[link];
  double* x = ms.xsec_scratch_x.data();
  double* y = ms.xsec_scratch_y.data();
  for (int k = 1; k <= np; ++k) {
    x[k] = ms.xbp_lnn[slot][node][k];
    y[k] = ms.ybp_lnn[slot][node][k];
  }
  const double ymin = *std::min_element(y + 1, y + np + 1), ymax = *std::max_element(y + 1, y + np + 1);
  ms.ht_spc[t] = (ymax - ymin) / ms.numhts[t];
  scan_failed(fill_table(ms, t, x, y, np, ms.link_inv_n[link], false), link, false);
}

}  // namespace kavro
