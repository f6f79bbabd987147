// Node counts of channel links bounded by the arrays they index: the counts
// come from the channel input file, so a loop over the nodes of a link stays
// inside every [node][link] array it touches.
#pragma once

#include <algorithm>

#include "framework/main_state.h"

namespace kavro {

// The number of nodes of `link` that exist in all of `arrays` (each indexed
// [node][link]...): 0 for a link outside the network or an array.
template <class... A>
long nodes_within(const main_state& ms, long link, const A&... arrays) {
  if (link < 1 || link > ms.nx.size()) return 0;
  if (((link > arrays.size2()) || ...)) return 0;
  long n = ms.nx[link];
  ((n = std::min<long>(n, arrays.size1())), ...);
  return std::max(0L, n);
}

}  // namespace kavro
