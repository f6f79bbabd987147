// Overland lakes: ponds on the grid with one flat level that grow over the
// neighbouring cells as they fill and give the added cells up as they fall.
#pragma once

#include <utility>
#include <vector>

namespace kavro {

struct main_state;

// Level, volume, cell count and cells of every overland lake from the volume
// each received since the last update (step_inflow).
void olake_extent(main_state& ms);

// Sorts (key, cell) pairs by key, then cell, and drops repeated entries.
void sort2(std::vector<std::pair<double, int>>& entries);

}  // namespace kavro
