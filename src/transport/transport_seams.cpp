#include "transport/transport_seams.h"

#include "framework/main_state.h"

namespace kavro {

void ov_sediment_transport(main_state&, double) {}

}  // namespace kavro
