// Exchange of maps with the host environment at the end of an event.
#pragma once

namespace kavro {

struct main_state;

// Writes and reads the exchange maps at an event end.
void host_exchange_step(main_state& ms);

}  // namespace kavro
