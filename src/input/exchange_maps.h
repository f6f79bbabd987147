// Host exchange maps read at the start of a run.
#pragma once

namespace kavro {

struct main_state;

// Reads the exchange maps of the host at the start of a run.
void read_exchange_maps(main_state& ms);

}  // namespace kavro
