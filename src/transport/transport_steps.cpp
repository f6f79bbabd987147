#include "transport/transport_steps.h"

#include "framework/main_state.h"

namespace kavro {

void read_contaminant_setup(main_state&) {}
void init_soil_constituent_mass(main_state&) {}
void point_source_inflow_step(main_state&) {}
void soil_contam_step(main_state&) {}
void sed_contam_source_step(main_state&) {}
void ov_constituent_kinetics_step(main_state&) {}
void ov_contam_transport_step(main_state&) {}
void chan_sed_contam_step(main_state&) {}
void chan_contam_decay_step(main_state&) {}
void chan_contam_transport_step(main_state&) {}
void book_exfiltration_constituents(main_state&, long, double, bool) {}
void book_infiltration_constituents(main_state&, long, double) {}

}  // namespace kavro
