// Hydraulics of the pipe networks: the flow section of a pipe at a depth,
// its critical and normal depth, and the grate inlets through which cells
// and pipes exchange water. Lengths in m, flows in m3/s.
#pragma once

#include "framework/one_based.h"

namespace kavro {

// Pipe section kinds of `sec_type`.
inline constexpr int pipe_circle = 1;  // circular pipe, size = diameter
inline constexpr int pipe_arch = 2;    // arch, size = rise, width = span
inline constexpr int pipe_box = 3;     // box, size = height, width = width

// Flow area, top width and wetted perimeter at one depth.
struct pipe_section {
  double area = 0.0;
  double top_width = 0.0;
  double perimeter = 0.0;
};

// The section of a pipe of kind `type`, size and width at `depth`. A depth
// at or above the size gives the full section: top width 0, the whole area
// and the whole wetted perimeter (2H + 2W for a box). An arch follows its
// fitted polynomials in x = depth / rise (x at most 1); below the depth where
// they stop making sense the area is 0. An unknown kind gives zeros.
pipe_section superlink_pipe_geometry(double size, double depth, double width, int type);

// Flow area alone: a circle segment or width x depth for a box, else 0.
double superlink_flow_area(int type, double diameter, double width, double depth);

// A depth found by the two routines below; `ok` false when the section kind
// has none (arch) or the search failed.
struct pipe_depth {
  bool ok = false;
  double depth = 0.0;
};

// Critical depth, where A sqrt(A / T) = Q / sqrt(g): closed form for a box,
// a bracketed Newton search below the crown for a circle (from `start`, a
// depth inside the pipe such as the last answer; half full otherwise).
// Arches have none.
pipe_depth superlink_crit_calc(int type, double diameter, double width, double flow, double start = -1.0);

// Normal depth under Manning, Q = (1/n) A (A/P)^(2/3) sqrt(S0). A flow
// beyond what the part-full pipe can carry, or a slope of 0 (no normal
// flow), gives the full size. Arches have none.
pipe_depth superlink_norm_calc(int type, double diameter, double width, double manning_n, double flow,
                               double slope, double start = -1.0);

// One grate inlet of a cell for dt seconds. `inlet_type` 1..9 is the number
// of identical grates, 10 takes all the cell's water, any other value
// exchanges nothing. A grate takes weir flow at shallow depth (up to 0.4 ft),
// orifice flow at depth (from 1 ft) and the smaller of the two between, never
// more than the cell holds, and lowers depth[cell] by what it takes. With
// `surcharge_on` and the inlet head above the ground, grates 1..9 release
// (head - ground) x release_area / dt each instead; the cell depth is then
// left for the caller, who adds the released water. Returns the flow (m3/s,
// positive from the cell) and puts the volume in `volume`.
double inlet_exchange(int inlet_type, int surcharge_on, double head, double ground, double release_area, double dt,
                      dvec& depth, long cell, double cell_area, double grate_side, double grate_dia, double& volume);

}  // namespace kavro
