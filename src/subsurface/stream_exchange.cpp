// Exchange between the aquifer and the channel network.
#include "subsurface/stream_exchange.h"

#include "framework/main_state.h"

namespace kavro {

// Until the stream and lake exchange is built the channels and the aquifer
// exchange no water between routing runs.
void gw_channel_coupling(main_state&, double) {}

}  // namespace kavro
