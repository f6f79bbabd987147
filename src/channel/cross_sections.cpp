// Hydraulic properties of the channel nodes: closed formulas for trapezoids,
// depth tables for breakpoint sections. Runs several times per routing
// sub-step over every node, so a node costs a few flops and, on a
// breakpoint node, one division (depth to area) or one binary search (area
// to depth); nothing is allocated.
#include "channel/cross_sections.h"

#include <cmath>
#include <cstdio>

#include "channel/link_kinds.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/readers.h"

namespace kavro {
namespace {

constexpr double negative_tolerance = -0.0001;  // m or m2 below zero that is refused

void say(const std::string& text) { print_and_log(run_log_file, text); }

bool fail(const char* where, const char* what, int node, int link) {
  say(where);
  say(format_string("program stopped for negative %s, node %d, link %d\n", what, node, link));
  return false;
}

bool table_missing(int node, int link, int t, int n_tables) {
  if (t > n_tables)
    std::fprintf(stderr, "Error in section node %d link %d: Request for table beyond max. table number.\n", node, link);
  else if (t < 1)
    std::fprintf(stderr, "Error in section node %d link %d: No table specified for node\n", node, link);
  else return false;
  return true;
}

// Row m (1..nh-1) with A_m <= a < A_(m+1), nh - 1 when none: the last row
// whose area is at most a, by binary search over the rising areas.
int area_row(const dmat& xarea, int t, int nh, double a) {
  int lo = 1, hi = nh;  // A_lo <= a holds; find the last such row below hi
  while (hi - lo > 1) {
    const int mid = (lo + hi) / 2;
    if (xarea[mid][t] <= a) lo = mid;
    else hi = mid;
  }
  return lo;
}

bool trapezoid_from_area(main_state& ms, int node, int link, dmat& area_values) {
  const int col = ms.ldex[link];
  const double b = ms.bottom[node][col], s = ms.sslope[node][col];
  double a = area_values[node][link], y = 0.0;
  if (a < 0) {
    if (a <= negative_tolerance) return fail("In ex_section.c - 1\n", "area", node, link);
    area_values[node][link] = a = 0.0;
  }
  if (a > 0) {
    // A side slope of 0 is a rectangle: y = A/b.
    y = s > 0 ? (std::sqrt(4.0 * s * a + b * b) - b) / (2.0 * s) : a / b;
    if (y < 0 && y > negative_tolerance) y = 0.0;
  }
  ms.chan_depth[node][link] = y;
  ms.yp[node][link] = ms.bel[node][link] + y;
  if (y > 0) {
    const double p = b + 2.0 * y * std::sqrt(s * s + 1.0);
    ms.conv[node][link] = ms.link_inv_n[link] * a * std::pow(a / p, 2.0 / 3.0);
  } else {
    ms.conv[node][link] = 0.0;
  }
  return true;
}

bool breakpoint_from_area(main_state& ms, int node, int link, dmat& area_values) {
  const double a = area_values[node][link];
  if (a < negative_tolerance) return fail("In ex_section.c - 4\n", "area", node, link);
  const int t = ms.table_num[node][link];
  if (table_missing(node, link, t, ms.n_xsec_tables)) return false;
  const double step = ms.ht_spc[t];
  const int nh = ms.numhts[t];
  const dmat &A = ms.xarea, &K = ms.xk;
  double y;
  if (a <= 0) {
    ms.yp[node][link] = ms.bel[node][link];
    ms.conv[node][link] = 0.0;
    ms.chan_depth[node][link] = 0.0;
    return true;
  }
  if (a < A[1][t]) {
    y = step * std::pow(a / A[1][t], 0.6);
    ms.conv[node][link] = K[1][t] * std::pow(y / step, 5.0 / 3.0);
  } else if (a > A[nh][t]) {
    y = nh * step + step * (a - A[nh][t]) / (A[nh][t] - A[nh - 1][t]);
    ms.conv[node][link] = K[nh][t] + (K[nh][t] - K[nh - 1][t]) * (y - nh * step) / step;
    ++ms.n_xsec_table_overruns;
  } else if (nh < 2) {
    y = step * a / A[1][t];
    ms.conv[node][link] = K[1][t] * a / A[1][t];
  } else {
    const int m = area_row(A, t, nh, a);
    y = m * step + (a - A[m][t]) * step / (A[m + 1][t] - A[m][t]);
    ms.conv[node][link] = K[m][t] + (K[m + 1][t] - K[m][t]) * (y - m * step) / step;
  }
  ms.chan_depth[node][link] = y;
  ms.yp[node][link] = ms.bel[node][link] + y;
  return true;
}

// Flow area of a trapezoid of bottom width b and side slope s at depth y.
double trapezoid_area(double b, double s, double y) { return (b + s * y) * y; }

bool trapezoid_from_depth(main_state& ms, int node, int link, dmat& area_values) {
  const double y = ms.yp[node][link] - ms.bel[node][link];
  if (y < negative_tolerance) return fail("In ex_section.c - 1\n", "depth", node, link);
  if (y <= 0) {
    area_values[node][link] = ms.topw[node][link] = ms.conv[node][link] = ms.dconv[node][link] = 0.0;
    return true;
  }
  const int col = ms.ldex[link];
  const double b = ms.bottom[node][col], s = ms.sslope[node][col], inv_n = ms.link_inv_n[link];
  const double side = std::sqrt(s * s + 1.0);
  const double t = b + 2.0 * s * y, a = trapezoid_area(b, s, y), p = b + 2.0 * y * side;
  ms.conv[node][link] = inv_n * a * std::pow(a / p, 2.0 / 3.0);
  ms.dconv[node][link] = inv_n * (5.0 / 3.0 * std::pow(a, 2.0 / 3.0) * std::pow(p, -2.0 / 3.0) * t -
                                  2.0 / 3.0 * std::pow(a, 5.0 / 3.0) * std::pow(p, -5.0 / 3.0) * 2.0 * side);
  area_values[node][link] = a;
  ms.topw[node][link] = t;
  return true;
}

// Area, top width, conveyance and its derivative of breakpoint table t at
// depth y > 0 (m); `overrun` tells that y lies above the table.
struct section_properties {
  double a = 0, tw = 0, k = 0, dk = 0;
  bool overrun = false;
};

section_properties breakpoint_at_depth(const main_state& ms, int t, double y) {
  const double step = ms.ht_spc[t];
  const int nh = ms.numhts[t];
  const dmat &A = ms.xarea, &T = ms.xtw, &K = ms.xk;
  section_properties p;
  if (y < step) {
    const double r = std::pow(y / step, 5.0 / 3.0);
    p.a = A[1][t] * r;
    p.tw = T[1][t] * r;
    p.k = K[1][t] * r;
    // d/dy of K1 (y/step)^(5/3)
    p.dk = 5.0 / 3.0 * K[1][t] * std::pow(y, 2.0 / 3.0) / std::pow(step, 5.0 / 3.0);
  } else if (y > nh * step) {
    const double u = (y - nh * step) / step;
    p.a = A[nh][t] + (A[nh][t] - A[nh - 1][t]) * u;
    p.tw = T[nh][t] + (T[nh][t] - T[nh - 1][t]) * u;
    p.k = K[nh][t] + (K[nh][t] - K[nh - 1][t]) * u;
    p.dk = (K[nh][t] - K[nh - 1][t]) / step;
    p.overrun = true;
  } else if (nh < 2) {
    p.a = A[1][t];
    p.tw = T[1][t];
    p.k = K[1][t];
    p.dk = K[1][t] / step;
  } else {
    int m = static_cast<int>(y / step);
    if (m >= nh) m = nh - 1;  // y = nh * step exactly, or a one-row table
    if (m < 1) m = 1;
    const double r = y - m * step;
    p.a = A[m][t] + (A[m + 1][t] - A[m][t]) * r / step;
    p.tw = T[m][t] + (T[m + 1][t] - T[m][t]) * r / step;
    p.dk = (K[m + 1][t] - K[m][t]) / step;
    p.k = K[m][t] + p.dk * r;
  }
  return p;
}

bool breakpoint_from_depth(main_state& ms, int node, int link, dmat& area_values) {
  const double y = ms.yp[node][link] - ms.bel[node][link];
  if (y < negative_tolerance) return fail("In ex_section.c - 3\n", "depth", node, link);
  const int t = ms.table_num[node][link];
  if (table_missing(node, link, t, ms.n_xsec_tables)) return false;
  section_properties p;
  if (y > 0) p = breakpoint_at_depth(ms, t, y);
  if (p.overrun) ++ms.n_xsec_table_overruns;
  area_values[node][link] = p.a;
  ms.topw[node][link] = p.tw;
  ms.conv[node][link] = p.k;
  ms.dconv[node][link] = p.dk;
  return true;
}

}  // namespace

bool node_section(main_state& ms, int mode, int node, int link, dmat& area_values) {
  const int lt = ms.ltype[link];
  if (lt & trapezoid_bit)
    return mode == 1 ? trapezoid_from_area(ms, node, link, area_values)
                     : trapezoid_from_depth(ms, node, link, area_values);
  if (lt & breakpoint_bit)
    return mode == 1 ? breakpoint_from_area(ms, node, link, area_values)
                     : breakpoint_from_depth(ms, node, link, area_values);
  return true;
}

double section_area_at_depth(const main_state& ms, int node, int link, double y) {
  if (!(y > 0.0)) return 0.0;
  const int lt = ms.ltype[link];
  if (lt & trapezoid_bit) {
    const int col = ms.ldex[link];
    return trapezoid_area(ms.bottom[node][col], ms.sslope[node][col], y);
  }
  if (lt & breakpoint_bit) {
    const int t = ms.table_num[node][link];
    if (t < 1 || t > ms.n_xsec_tables) return 0.0;
    return breakpoint_at_depth(ms, t, y).a;
  }
  return 0.0;
}

void ex_section(main_state& ms, int mode, dmat& area_values) {
  if (mode != 1 && mode != 2) return;
  for (int link = 1; link <= ms.LINKS; ++link) {
    for (int node = 1; node <= ms.nx[link]; ++node) {
      if (!node_section(ms, mode, node, link, area_values)) {
        error_rec.code = already_printed_code;
        return;
      }
    }
  }
}

}  // namespace kavro
