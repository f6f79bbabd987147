#include "transport/transport_steps.h"

#include "framework/main_state.h"

namespace kavro {

void point_source_inflow_step(main_state&) {}
void sed_contam_source_step(main_state&) {}
void chan_sed_contam_step(main_state&) {}
void chan_contam_decay_step(main_state&) {}
void chan_contam_transport_step(main_state&) {}

}  // namespace kavro
