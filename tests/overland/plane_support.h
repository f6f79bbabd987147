// Grids of the overland tests built in memory: planes and boxes of square
// cells with their neighbours, slopes and the arrays the solvers read, and
// the overland schedule driven by hand one interval at a time.
#pragma once

#include <functional>
#include <memory>

#include "framework/main_state.h"

namespace kavro_test {

// A rows x cols grid of dx-metre cells numbered row by row, ground z(row,
// col), uniform Manning n, outlet at (out_row, out_col).
std::unique_ptr<kavro::main_state> make_plane(int rows, int cols, double dx, const std::function<double(int, int)>& z,
                                              double manning_n, int out_row, int out_col, double out_slope);

// Water on the cells (m3).
double surface_volume(const kavro::main_state& ms);

// One overland interval of `dt` seconds ending now: the schedule is set as
// the rain step leaves it and the routing step runs.
void route_interval(kavro::main_state& ms, double dt);

}  // namespace kavro_test
