// Every per-cell map lies on the grid of the watershed mask: its header edges
// agree with the mask's. A map of another place (an edge shifted, a header
// edge that is no finite number) is refused, whatever kind of map it is.
#pragma once

#include <string>

namespace kavro {

struct main_state;

// True when the north, south, east and west edges of the map `path` lie
// within half a cell of the mask's edges (ms.map_north .. ms.map_west, the
// header the mask reader left). Otherwise prints one message per edge,
// naming the `kind` of map ("elevation map", "index map", "map"), the path
// and both values, stops the run (code 4000, reported) and returns false.
bool map_edges_agree(const main_state& ms, const char* kind, const std::string& path, double north, double south,
                     double east, double west);

}  // namespace kavro
