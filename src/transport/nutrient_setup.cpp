#include "transport/nutrient_setup.h"

#include "framework/main_state.h"

namespace kavro {

void read_aquatic_env(nsm_aquatic_env&) {}
void nsm_overland_alloc(main_state&) {}
void assign_nsm_ov_params(main_state&) {}
void read_nsm_gw_tables(main_state&) {}
void nsm_overland_set_refs(main_state&) {}
void assign_nsm_soil_params(main_state&) {}

}  // namespace kavro
