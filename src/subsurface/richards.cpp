#include "subsurface/richards.h"

#include "framework/main_state.h"

namespace kavro {

double richards_step(main_state&, double) { return 0.0; }

}  // namespace kavro
