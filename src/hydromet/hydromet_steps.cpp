#include "hydromet/hydromet_steps.h"

#include "framework/main_state.h"

namespace kavro {

void read_permafrost_soil_setup(main_state&) {}
void soil_temperature_step(main_state&) {}
void snow_step(main_state&) {}
void snowmelt_release_step(main_state&) {}
double frozen_conductivity_factor(const main_state&, long, long, double ks, int) { return ks; }

}  // namespace kavro
