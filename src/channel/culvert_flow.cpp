// Culvert hydraulics of structure links: barrel sections (circular, oval,
// box), critical depth, inlet control by Brent's root finder, outlet and
// full-flow control. g = 9.81 m/s2; sqrt(2g) written as sqrt(19.62).
#include <cmath>
#include <cstdio>

#include "channel/channel_routing.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/readers.h"

namespace kavro {
namespace {

constexpr double failed_flow = -9999.99;
constexpr double inv_2g = 0.0509683995922528;

void say(const std::string& text) { print_and_log(run_log_file, text); }

struct section_props {
  double a = 0, p = 0, t = 0;
};

section_props culv_section(double D, double y, double w, int shape) {
  section_props s;
  if (shape == 1) {
    if (y < 0) return s;
    if (y >= D) return {3.1415926 * D * D / 4.0, 3.1415926 * D, 0.0};
    const double r = D / 2.0, th = std::acos((r - y) / r);
    return {r * r * th - (r - y) * r * std::sin(th), th * D, D * std::sin(th)};
  }
  if (shape == 2) {
    if (y <= 0) return s;
    const double k = std::min(y / D, 1.0), k2 = k * k, k3 = k2 * k, k4 = k3 * k;
    s.a = (0.450552317 * k2 + 0.850625935 * k - 0.0265118802 - 0.48046422 * k3) * D * w;
    s.p = s.a / ((1.1666329 * k - 0.0382820242 - 1.32389992 * k2 + 1.04200851 * k3 - 0.526837711 * k4) * D);
    s.t = (3.13077957 * k + 0.656758295 - 9.66782176 * k2 + 11.9256017 * k3 - 5.88560436 * k4) * w;
    return s;
  }
  if (y < 0) return {0.0, w, w};
  if (y >= D) return {D * w, 2 * D + 2 * w, 0.0};
  return {y * w, 2 * y + w, w};
}

double culv_area(int shape, double D, double w, double y) {
  if (shape == 1) return culv_section(D, y, w, 1).a;
  if (shape == 3) return y > 0 ? w * y : 0.0;
  return 0.0;
}

double crit_calc(int shape, double D, double w, double Q) {
  if (shape == 3) return std::cbrt((Q / w) * (Q / w) / 9.81);
  if (shape == 2) {
    error_rec.code = 123;
    error_rec.stop = 1;
    return 0.0;
  }
  // Newton on h, the distance of the surface below the centre, for A sqrt(A/T) = Q/sqrt(g).
  const double r = D / 2.0, target = Q / std::sqrt(9.81);
  double h = 0.001;
  auto f = [&](double hh) {
    const double y = r - hh;
    const double a = culv_area(1, D, w, y), t = D * std::sin(std::acos(std::fabs(y - r) / r));
    return t > 0 ? a * std::sqrt(a / t) - target : -target;
  };
  for (int it = 0; it < 1000; ++it) {
    const double fh = f(h), eps = 1e-7 * D;
    const double der = (f(h + eps) - fh) / eps;
    if (der == 0) break;
    double hn = h - fh / der;
    if (hn < -r) hn = 0.001 - r;
    if (hn > r) hn = r - 0.001;
    if (std::fabs(hn - h) <= 1e-8) return r - hn;
    h = hn;
  }
  error_rec.code = 122;
  error_rec.stop = 1;
  return r - h;
}

double culv_energy_residual(int shape, double D, double w, double c, double H, double Q) {
  const double yc = crit_calc(shape, D, w, Q);
  return Q - culv_area(shape, D, w, yc) * c * std::sqrt(19.62) * std::sqrt(std::fmax(H - yc, 0.0));
}

double zbrent(int shape, double D, double w, double c, double H, double x1, double x2, double tol) {
  double a = x1, b = x2, fa = culv_energy_residual(shape, D, w, c, H, a), fb = culv_energy_residual(shape, D, w, c, H, b);
  if ((fa > 0 && fb > 0) || (fa < 0 && fb < 0)) {
    say("Problem in ZBRENT root finder\n");
    say("Root must be bracketed\n");
    return failed_flow;
  }
  double cc = b, fc = fb, d = 0, e = 0;
  for (int it = 0; it < 100; ++it) {
    if ((fb > 0 && fc > 0) || (fb < 0 && fc < 0)) cc = a, fc = fa, e = d = b - a;
    if (std::fabs(fc) < std::fabs(fb)) a = b, b = cc, cc = a, fa = fb, fb = fc, fc = fa;
    const double tol1 = 2.0 * 3e-8 * std::fabs(b) + 0.5 * tol, xm = 0.5 * (cc - b);
    if (std::fabs(xm) <= tol1 || fb == 0.0) return b;
    if (std::fabs(e) >= tol1 && std::fabs(fa) > std::fabs(fb)) {
      double p, q, r, s = fb / fa;
      if (a == cc) {
        p = 2.0 * xm * s, q = 1.0 - s;
      } else {
        q = fa / fc, r = fb / fc;
        p = s * (2.0 * xm * q * (q - r) - (b - a) * (r - 1.0));
        q = (q - 1.0) * (r - 1.0) * (s - 1.0);
      }
      if (p > 0) q = -q;
      p = std::fabs(p);
      if (2.0 * p < std::fmin(3.0 * xm * q - std::fabs(tol1 * q), std::fabs(e * q))) e = d, d = p / q;
      else d = xm, e = d;
    } else {
      d = xm, e = d;
    }
    a = b, fa = fb;
    b += std::fabs(d) > tol1 ? d : (xm >= 0 ? tol1 : -tol1);
    fb = culv_energy_residual(shape, D, w, c, H, b);
  }
  say("Maximum number of iterations exceeded in ZBRENT\n");
  return failed_flow;
}

struct culvert_result {
  double q = 0;
  int cls = 0;
  double depth = 0;
  double area = 0;
};

culvert_result culv_flow(const hydraulic_structure& e, double a, double b, int number) {
  const int shape = e.struct_type == 3 ? 1 : e.struct_type == 4 ? 2 : 3;
  const double L = e.length, D = e.struct_type == 3 ? e.width : e.height, w = e.width, n = e.rough_coeff;
  const double cd = a > b ? e.coeff_forward : e.coeff_reverse;
  culvert_result out;
  out.depth = D;
  out.area = D * D * 3.14 * 0.5;
  if (L < 0.0001) {
    say("Problem in culv_flow (ex_flow_route.c).  The culvert barrel length\n");
    say(format_string("in culvert number %d is 0.0.  This is not possible. Program terminated.\n", number));
    out.q = failed_flow;
    return out;
  }
  const bool given = e.downinvert >= 0.0001;
  double in_inv = e.upinvert, out_inv = given ? e.downinvert : e.upinvert - L * e.slope;
  double sign = 1.0;
  if (a <= b) {
    sign = -1.0;
    std::swap(a, b);
    std::swap(in_inv, out_inv);
  }
  if (a < in_inv || a < out_inv) return out.q = 0, out.cls = 0, out;
  const double S = (given ? (e.upinvert - e.downinvert) / L : e.slope) * sign;
  const bool mild = S <= 0.01;
  const double HWi = a - in_inv, HWo = a - out_inv, TW = b - out_inv, dh = a - b;
  const double E = (mild ? HWo : HWi) / D;
  double q = 0.0;
  int cls = 0;
  auto F = [&](double R) { return n * n * L * L / std::pow(R, 4.0 / 3.0) + inv_2g; };
  if (L > 40.0 * D && S < 0.01) {
    if (E < 1.5 && (TW <= 1e-6 || (TW > 0 && TW < D))) {
      const double y = TW <= 1e-6 ? HWi / 2.0 : (0.7 * HWi + TW) / 2.0;
      const section_props s = culv_section(D, y, w, shape);
      cls = TW <= 1e-6 ? 2 : 3;
      q = s.p > 0 ? s.a * std::sqrt(std::fmax(dh, 0.0) / F(s.a / s.p)) : 0.0;
    } else if (E >= 1.5) {
      const double A = 3.14159 * D * D / 4.0, crown = out_inv + D / 2.0;
      if (b > crown) cls = 4, q = A * std::sqrt(dh / F(D / 4.0));
      else cls = 6, q = A * std::sqrt((a - crown) / F(D / 4.0));
    }
  } else if (E < 1.5 && TW < 0.7 * HWi) {
    cls = mild ? 2 : 1;
    const double head = mild ? HWo : HWi;
    if (head < 0.01) {
      cls = 0;
    } else if (shape == 1) {
      double c = cd;
      if (e.culv_coeff >= 0.01) c = (1.0 - E / 1.5) * cd + E * e.culv_coeff / 1.5;
      const double x2 = culv_area(1, D, w, std::fmin(D, head)) * c * std::sqrt(19.62) *
                        std::sqrt(D > head ? head / 3.0 : 0.4 * head);
      q = zbrent(shape, D, w, c, head, 0.0001, x2, 0.0001);
      if (q == failed_flow) {
        say("Problem in zbrent (ex_flow_route.c). Hydraulic short culvert routine \n");
        say(format_string("The flow cannot be determine in culvert number %d\n", number));
        out.q = failed_flow;
        return out;
      }
      out.depth = crit_calc(shape, D, w, q);
      out.area = culv_area(shape, D, w, crit_calc(shape, D, w, x2));
    } else if (shape == 3) {
      const double yc = 2.0 * head / 3.0;
      q = std::sqrt(head - yc) * yc * w * e.culv_coeff * std::sqrt(19.62);
      out.depth = yc;
      out.area = culv_area(3, D, w, yc);
    }
  } else if (TW < D) {
    cls = 3;
    q = std::sqrt(19.62 * dh) * culv_section(D, TW, w, shape).a * cd;
  } else {
    const double Af = shape == 1 ? 3.1415926 * D * D / 4.0 : shape == 2 ? 0.788 * w * D : w * D;
    const double R = shape == 1 ? D / 4.0 : shape == 2 ? 0.299 * D : w * D / (2 * w + 2 * D);
    const double crown = out_inv + D;
    if (E >= 1.0 && TW >= D) {
      const double K = L > 15 ? 1.0 + 29.0 * cd * cd * n * n * L / std::pow(R, 4.0 / 3.0) : 1.0;
      cls = 4, q = Af * cd * std::sqrt(2.0 * 9.81 * dh / K);
    } else if (E >= 1.5 && b < crown) {
      const double q1 = cd * Af * std::sqrt(19.62) * std::sqrt(HWi);
      const double q2 = cd * Af * std::sqrt(19.62 * (a - crown));
      q = std::fmin(q1, q2);
      cls = q1 < q2 ? 5 : 6;
    }
  }
  out.q = q * sign;
  out.cls = cls * static_cast<int>(sign);
  return out;
}

double failed(int link, bool first) {
  say(first ? format_string("Error in link number: %d ", link) : format_string("Error in link number %d: ", link));
  error_rec.code = already_printed_code;
  report_error(error_rec);
  return failed_flow;
}

}  // namespace

double culvert_structure_flow(hydraulic_structure& e, double a, double b, int link) {
  const double D = e.width;
  e.culv_coeff = 1.07;
  const culvert_result q1 = culv_flow(e, 1.5 * D + e.upinvert, 0.0, link);
  if (q1.q == failed_flow) return failed(link, true);
  const culvert_result qd = culv_flow(e, 1.49 * D + e.upinvert, 0.0, link);
  if (qd.q == failed_flow) return failed(link, false);
  const double c = q1.q / (qd.area * std::sqrt(19.62 * (1.49 * D - qd.depth)));
  e.culv_coeff = c > 1 ? 0.99 : c;
  const culvert_result q = culv_flow(e, a, b, link);
  if (q.q == failed_flow) return failed(link, false);
  return q.q;
}

}  // namespace kavro
