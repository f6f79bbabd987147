#include "hydromet/hydromet_steps.h"

#include "framework/main_state.h"

namespace kavro {

void snow_step(main_state&) {}
void snowmelt_release_step(main_state&) {}

}  // namespace kavro
