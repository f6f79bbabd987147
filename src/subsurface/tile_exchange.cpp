// Exchange between the aquifer and the leaky pipes of the pipe networks.
#include "subsurface/tile_exchange.h"

#include "framework/main_state.h"

namespace kavro {

// The pipe networks call this with their own view; the exchange itself comes
// with the groundwater model, and until then no pipe takes water from the
// aquifer.
int gw_tile_exchange(main_state&, tile_network_view&) { return 0; }

}  // namespace kavro
