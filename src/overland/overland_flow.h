// The overland flow processes: embankment flow, the ADE and explicit
// solvers, boundary cells and pumps, and the work arrays they share.
//
// Depths are metres, flows m3/s, volumes m3; per-cell arrays are 1-based by
// active cell.
#pragma once

#include <string>

#include "framework/one_based.h"

namespace kavro {

struct main_state;

// Weir flow over the low spots of the embankments for one overland step of
// `dt` seconds. `vol_into_boundary` gains the water that entered fixed-depth
// boundary cells (lost to the model), `vol_from_boundary` the water that such
// cells gave (gained by the model).
void dike_flow(main_state& ms, double dt, double& vol_into_boundary, double& vol_from_boundary);
// Reduction factor of a submerged crest for the upstream head h1 and the
// downstream head h2 above the crest (m): 1 free flow, 0 fully drowned.
double dike_submergence(double h1, double h2);

// out[i] = n[i] * exp(-k[i] * h[i]) for i = 1..count: the Manning roughness
// that falls with depth.
void depth_varied_roughness(long count, const dvec& n, const dvec& k, const dvec& h, dvec& out);

// Makes the solvers' work arrays of this run (once; a no-op when made).
void prepare_overland_arrays(main_state& ms);

// The name of overland scheme `overtype` as the OVERTYPE card writes it.
inline const char* overland_scheme_name(int overtype) {
  return overtype == 1 ? "explicit" : overtype == 3 ? "ade-pc" : "ade";
}

// ADE solver (OVERTYPE 2 "ade" and 3 "ade-pc") over `span` seconds. Returns
// the volume that left through the outlet cell (also in ov_outlet_vol), or
// -1 after a stop (error code 4000 set).
double ov_route_ade(main_state& ms, double span);
// Explicit solver (OVERTYPE 1) over `dt` seconds. Returns the outlet
// discharge (m3/s; the volume is left in ov_outlet_vol), 0 with channels.
double ov_route_explicit(main_state& ms, double dt);
// Writes a 0/1 grid of the NaN cells of `values` to the first free file
// "<name>.000" .. "<name>.100" (a diagnostic of the explicit solver).
void write_nan_map(const main_state& ms, const std::string& name, const dvec& values);

// destination[i] = max(destination[i], source[i]) for i = 1..n.
void track_max(const dvec& source, dvec& destination, long n);

// Binds the series of every boundary cell of type 3 to 5 before the time
// loop; a cell whose index binds no series is named, and the run stops.
void check_ovl_boundary_series(main_state& ms);
// The value of every boundary cell at time `now` (Julian days).
void ovl_boundary_values(main_state& ms, double now);
// Applies the boundary conditions for `dt` seconds; returns the net volume
// the boundaries added (m3, outflows negative).
double ovl_boundary_flows(main_state& ms, double dt);
// The overland pumps for `dt` seconds (no input format fills the list yet).
void apply_overland_pumps(main_state& ms, double dt);

}  // namespace kavro
