#include "channel/channel_steps.h"

#include "framework/main_state.h"

namespace kavro {

void setup_superlink(main_state&) {}
void setup_drain_network(main_state&) {}
void connect_superlink_outlets(main_state&) {}
void connect_drain_outlets(main_state&) {}
void tile_drain_step(main_state&) {}
void superlink_step(main_state&) {}

}  // namespace kavro
