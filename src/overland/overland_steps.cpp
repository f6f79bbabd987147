#include "overland/overland_steps.h"

#include "framework/main_state.h"

namespace kavro {

void precip_event_step(main_state&) {}
void precip_period_step(main_state&) {}
void apply_precip_step(main_state&) {}
void bmp_step(main_state&) {}
void olake_step(main_state&) {}
void setup_bmps(main_state&) {}

}  // namespace kavro
