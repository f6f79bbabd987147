// Pipe sections, their critical and normal depths, and grate inlets.
#include "channel/pipe_hydraulics.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kavro {
namespace {

constexpr double g = 9.81;
constexpr double pi = std::numbers::pi;

// Depth of the largest part-full Manning conveyance of a circular pipe, as a
// share of the diameter: above it the conveyance falls again towards full.
constexpr double circle_peak_share = 0.9381812104992469;

// Circle segment of depth y (0 < y < D).
pipe_section circle_segment(double d, double y) {
  const double r = 0.5 * d;
  const double theta = std::acos(std::clamp((r - y) / r, -1.0, 1.0));
  const double s = std::sin(theta);
  return {r * r * theta - (r - y) * r * s, d * s, d * theta};
}

// Root of f on [lo, hi] where f(lo) < 0 < f(hi), by Newton steps that fall
// back to bisection whenever a step leaves the bracket. `f` gives the value
// and its derivative.
template <class F>
double bracketed_root(F f, double lo, double hi, double start, double tol) {
  double y = std::clamp(start, lo, hi);
  for (int it = 0; it < 200; ++it) {
    double dfdy = 0.0;
    const double v = f(y, dfdy);
    if (v == 0.0) return y;
    if (v < 0.0) lo = y;
    else hi = y;
    double next = dfdy > 0.0 ? y - v / dfdy : 0.5 * (lo + hi);
    if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
    if (std::fabs(next - y) <= tol || hi - lo <= tol) return next;
    y = next;
  }
  return y;
}

}  // namespace

pipe_section superlink_pipe_geometry(double size, double depth, double width, int type) {
  switch (type) {
    case pipe_circle:
      if (depth < 0.0) return {};
      if (depth >= size) return {pi * size * size * 0.25, 0.0, pi * size};
      return circle_segment(size, depth);
    case pipe_arch: {
      if (depth <= 0.0) return {};
      const double x = std::min(depth / size, 1.0), x2 = x * x, x3 = x2 * x, x4 = x3 * x;
      pipe_section s;
      s.area = std::max(0.0, (0.450552317 * x2 + 0.850625935 * x - 0.0265118802 - 0.48046422 * x3) * size * width);
      s.top_width = std::max(0.0, (3.13077957 * x + 0.656758295 - 9.66782176 * x2 + 11.9256017 * x3 - 5.88560436 * x4) *
                                      width);
      const double radius = (1.1666329 * x - 0.0382820242 - 1.32389992 * x2 + 1.04200851 * x3 - 0.526837711 * x4) * size;
      s.perimeter = s.area > 0.0 && radius > 0.0 ? s.area / radius : 0.0;
      return s;
    }
    case pipe_box:
      if (depth < 0.0) return {0.0, width, width};
      if (depth >= size) return {size * width, 0.0, 2.0 * size + 2.0 * width};
      return {depth * width, width, 2.0 * depth + width};
    default:
      return {};
  }
}

double superlink_flow_area(int type, double diameter, double width, double depth) {
  if (type == pipe_circle) {
    const double r = 0.5 * diameter;
    const double theta = std::acos(std::clamp((r - depth) / r, -1.0, 1.0));
    return r * r * theta - std::sin(theta) * (r - depth) * r;
  }
  if (type == pipe_box) return width * depth;
  return 0.0;
}

pipe_depth superlink_crit_calc(int type, double diameter, double width, double flow, double start) {
  const double q = std::fabs(flow);
  if (type == pipe_box) {
    if (!(width > 0.0)) return {};
    return {true, std::cbrt((q / width) * (q / width) / g)};
  }
  if (type != pipe_circle || !(diameter > 0.0)) return {};
  if (q <= 0.0) return {true, 0.0};
  // A^3 / T rises from 0 at the invert to infinity at the crown.
  const double target = q * q / g;
  const auto f = [&](double y, double& dfdy) {
    const pipe_section s = circle_segment(diameter, y);
    const double root = std::sqrt(y * (diameter - y));
    const double dt = (diameter - 2.0 * y) / root;  // dT/dy
    const double a3 = s.area * s.area * s.area;
    dfdy = 3.0 * s.area * s.area - a3 * dt / (s.top_width * s.top_width);
    return a3 / s.top_width - target;
  };
  const double tiny = 1e-12 * diameter;
  double lo_value = 0.0;
  if (f(tiny, lo_value) >= 0.0) return {true, tiny};
  return {true, bracketed_root(f, tiny, diameter - tiny, start > 0.0 ? start : 0.5 * diameter, 1e-13 * diameter)};
}

pipe_depth superlink_norm_calc(int type, double diameter, double width, double manning_n, double flow,
                               double slope, double start) {
  if (type != pipe_circle && type != pipe_box) return {};
  if (!(diameter > 0.0) || !(manning_n > 0.0)) return {};
  const double s = std::fabs(slope);
  if (s <= 1e-12) return {true, diameter};  // no slope, no normal flow
  const double target = manning_n * std::fabs(flow) / std::sqrt(s);  // A^(5/3) P^(-2/3)
  if (target <= 0.0) return {true, 0.0};
  if (type == pipe_box) {
    if (!(width > 0.0)) return {};
    const auto f = [&](double y, double& dfdy) {
      const double a = y * width, p = 2.0 * y + width;
      const double k = std::pow(a, 5.0 / 3.0) * std::pow(p, -2.0 / 3.0);
      dfdy = k * (5.0 / 3.0 * width / a - 2.0 / 3.0 * 2.0 / p);
      return k - target;
    };
    double d = 0.0;
    if (f(diameter, d) <= 0.0) return {true, diameter};
    return {true, bracketed_root(f, 0.0, diameter, start > 0.0 ? start : 0.5 * diameter, 1e-13 * diameter)};
  }
  const auto f = [&](double y, double& dfdy) {
    const pipe_section sec = circle_segment(diameter, y);
    const double ca = std::cbrt(sec.area), cp = std::cbrt(sec.perimeter);
    const double k = sec.area * ca * ca / (cp * cp);  // A^(5/3) P^(-2/3)
    const double dp = diameter / std::sqrt(y * (diameter - y));  // dP/dy
    dfdy = k * (5.0 / 3.0 * sec.top_width / sec.area - 2.0 / 3.0 * dp / sec.perimeter);
    return k - target;
  };
  const double peak = circle_peak_share * diameter;
  double d = 0.0;
  if (f(peak, d) <= 0.0) return {true, diameter};  // more than the pipe carries part-full
  return {true, bracketed_root(f, 1e-12 * diameter, peak, start > 0.0 ? start : 0.5 * diameter, 1e-13 * diameter)};
}

double inlet_exchange(int inlet_type, int surcharge_on, double head, double ground, double release_area, double dt,
                      dvec& depth, long cell, double cell_area, double grate_side, double grate_dia, double& volume) {
  volume = 0.0;
  if (inlet_type >= 1 && inlet_type <= 9) {
    const double k = inlet_type;
    if (surcharge_on && head > ground) {
      const double flow = -(head - ground) * release_area / dt * k;
      volume = flow * dt;
      return flow;
    }
    const double d = depth[cell];
    if (d <= 1e-16) return 0.0;
    // Grate formulas of storm-drain practice in feet and cfs.
    const double dft = d * 3.28;
    const double weir = 3.0 * (3.0 * grate_side * 3.28) * std::pow(dft, 1.5);
    const double orifice = 0.67 * (grate_dia * grate_dia * 0.785 * 10.764) * std::sqrt(64.4 * dft);
    double cfs = 0.0;
    if (dft <= 0.4) cfs = weir;
    else if (dft >= 1.0) cfs = orifice;
    else cfs = weir < orifice ? weir : orifice;
    const double capacity = cfs * 0.02832 * k;
    const double v = capacity * dt;
    if (v >= d * cell_area) {  // the grates take all the cell holds
      volume = d * cell_area;
      depth[cell] = 0.0;
      return volume / dt;
    }
    depth[cell] = d - v / cell_area;
    volume = v;
    return capacity;
  }
  if (inlet_type == 10) {
    if (depth[cell] <= 1e-16) return 0.0;
    volume = depth[cell] * cell_area;
    depth[cell] = 0.0;
    return volume / dt;
  }
  return 0.0;
}

}  // namespace kavro
