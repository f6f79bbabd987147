// Exchange between the aquifer and the channel network (streams and
// channel lakes).
#pragma once

namespace kavro {

struct main_state;

// The channel coupling of the groundwater step, while the channel routing
// has not started: the stream and lake exchange over `step` seconds.
void gw_channel_coupling(main_state& ms, double step);

}  // namespace kavro
