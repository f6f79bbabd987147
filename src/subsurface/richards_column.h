// The retention and conductivity relations of the Richards soil columns, and
// a view of one cell's column for the solver and for the groundwater column
// rebuild.
//
// A column is the node rows of one cell in the [cell][node] tables of the
// run record: node 0 is a ghost node above the surface, nodes 1..numcells
// the soil and, under a water table, the aquifer below it. Heads are in cm
// (negative when unsaturated), conductivities in cm/h, moisture in m3/m3.
// Two retention models: Brooks-Corey with a parabolic cap between the head
// `BChc` and saturation (model 1), and Havercamp (model 2).
#pragma once

#include <algorithm>
#include <cmath>

namespace kavro {

struct main_state;

inline constexpr int brooks_corey_model = 1;
inline constexpr int havercamp_model = 2;

// Row pointers of the column of one cell. The Brooks-Corey rows are null in
// a Havercamp run and the Havercamp rows null in a Brooks-Corey run.
struct column_view {
  double* phead = nullptr;    // pressure head (cm)
  double* khead = nullptr;    // relative conductivity
  double* theta = nullptr;    // moisture
  double* watcap = nullptr;   // moisture capacity dtheta/dh (1/cm)
  double* watflux = nullptr;  // Darcy flux through the interface above the node (cm/h, down positive)
  double* source = nullptr;   // source or root sink per unit volume (1/h)
  double* dz = nullptr;       // node spacing (cm)
  double* ks = nullptr;       // saturated conductivity (cm/h)
  double* ths = nullptr;      // saturated moisture
  double* thr = nullptr;      // residual moisture
  double* thwp = nullptr;     // wilting point
  double* thfc = nullptr;     // field capacity
  double* lam = nullptr;      // Brooks-Corey pore-size index
  double* bp = nullptr;       // Brooks-Corey bubbling pressure (cm, negative)
  double* thc = nullptr;      // Brooks-Corey moisture at the start of the parabolic cap
  double* hc = nullptr;       // Brooks-Corey head at the start of the parabolic cap (cm)
  double* ahav = nullptr;     // Havercamp conductivity coefficient A
  double* bhav = nullptr;     // Havercamp conductivity exponent B
  double* alpha = nullptr;    // Havercamp retention head alpha (cm)
  double* beta = nullptr;     // Havercamp retention exponent beta
  long n = 0;                 // nodes of the column (numcells)
};

// The column of `cell`; the record must hold the column tables.
column_view column_of(main_state& ms, long cell);

// ---- One node -------------------------------------------------------------------

// Effective saturation of moisture `theta` at node k.
inline double effective_saturation(const column_view& c, long k, double theta) {
  return (theta - c.thr[k]) / (c.ths[k] - c.thr[k]);
}

// Brooks-Corey effective saturation at the start of the parabolic cap.
inline double cap_saturation(const column_view& c, long k) { return effective_saturation(c, k, c.thc[k]); }

// Moisture of node k at head h (cm).
inline double theta_at_head(const column_view& c, long k, double h, int model) {
  const double span = c.ths[k] - c.thr[k];
  if (h >= 0.0) return c.ths[k];
  if (model == brooks_corey_model) {
    if (h <= c.hc[k]) return c.thr[k] + span * std::pow(c.bp[k] / h, c.lam[k]);
    const double q = h / c.hc[k];
    return c.thr[k] + span * (1.0 - (1.0 - cap_saturation(c, k)) * q * q);
  }
  return c.thr[k] + span / (1.0 + std::pow(-h / c.alpha[k], c.beta[k]));
}

// Head (cm) of node k at moisture `theta`; `h_old` is kept where the
// moisture holds no head (at or below the residual moisture). Moisture above
// saturation gives the head of saturation, 0.
inline double head_at_theta(const column_view& c, long k, double theta, double h_old, int model) {
  const double se = effective_saturation(c, k, theta);
  if (model == brooks_corey_model) {
    if (theta > c.thc[k]) {
      const double sec = cap_saturation(c, k);
      return c.hc[k] * std::sqrt(std::max(0.0, 1.0 - se) / (1.0 - sec));
    }
    return se > 0.0 ? c.bp[k] * std::exp(-std::log(se) / c.lam[k]) : h_old;
  }
  if (!(se > 0.0)) return h_old;
  if (se >= 1.0) return 0.0;
  return -c.alpha[k] * std::pow(1.0 / se - 1.0, 1.0 / c.beta[k]);
}

// Relative conductivity and capacity of node k from its head and moisture.
inline void bc_node_conductivity(column_view& c, long k) {
  const double h = c.phead[k];
  if (h > 0.0) {
    c.khead[k] = 1.0;
    c.watcap[k] = 0.0;
    return;
  }
  const double span = c.ths[k] - c.thr[k];
  const double lambda = c.lam[k], hb = c.bp[k];
  // Powers of one base share its logarithm: the column step evaluates
  // these for every node of every pass.
  if (h <= c.hc[k]) {
    const double log_r = std::log(h / hb);
    c.khead[k] = std::exp(-(2.0 + 3.0 * lambda) * log_r);
    c.watcap[k] = -span * (lambda / hb) * std::exp(-(lambda + 1.0) * log_r);
    return;
  }
  // The parabolic cap: conductivity from the moisture, capacity of the
  // parabola whose vertex head is hb Sec^(-1/lambda).
  const double se = effective_saturation(c, k, c.theta[k]);
  const double sec = cap_saturation(c, k);
  c.khead[k] = se > 0.0 ? std::exp((2.0 / lambda + 3.0) * std::log(std::min(se, 1.0))) : 0.0;
  const double hv2 = hb * hb * std::exp(-2.0 / lambda * std::log(sec));
  c.watcap[k] = -2.0 * h * span * (1.0 - sec) / hv2;
}

inline void havercamp_node_conductivity(column_view& c, long k) {
  const double h = c.phead[k];
  if (h >= 0.0) {
    c.khead[k] = 1.0;
    c.watcap[k] = 0.0;
    return;
  }
  const double a = c.alpha[k], b = c.beta[k];
  const double x = -h / a;
  const double xb = std::pow(x, b);
  c.khead[k] = c.ahav[k] / (c.ahav[k] + std::pow(-h, c.bhav[k]));
  c.watcap[k] = xb / x * (c.ths[k] - c.thr[k]) * b / a / ((xb + 1.0) * (xb + 1.0));
}

// ---- The whole column -------------------------------------------------------------

// KHEAD and WATCAP of nodes 1..n by the model, then node 0 copies node 1.
void refresh_column_conductivity(column_view& c, int model);

// Brooks-Corey and Havercamp forms of refresh_column_conductivity on the
// column of `cell`.
void richards_bc_conductivity(main_state& ms, long cell);
void richards_havercamp_conductivity(main_state& ms, long cell);

// PHEAD of one node from its THETA, and THETA from PHEAD (model 1
// Brooks-Corey, otherwise Havercamp).
void head_from_theta(main_state& ms, long cell, long node, int model);
void theta_from_head(main_state& ms, long cell, long node, int model);

}  // namespace kavro
