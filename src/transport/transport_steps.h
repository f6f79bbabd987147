// Sediment, contaminant and nutrient steps of the time loop and their set-up.
#pragma once

namespace kavro {

struct main_state;

// A set-up line on the console (unless quiet or a tool run) and in the run log.
void say_setup(const main_state& ms, const char* text);
// Grid set-up of overland sediment.
void read_sediment_setup(main_state& ms);
// Opens the sediment output files of the run.
void open_sediment_outputs(main_state& ms);
// Grid set-up of overland contaminants.
void read_contaminant_setup(main_state& ms);
// Initial constituent mass in the soil layers.
void init_soil_constituent_mass(main_state& ms);
// Overland point-source discharges.
void point_source_inflow_step(main_state& ms);
// Constituents in the soil layers.
void soil_contam_step(main_state& ms);
// Sediment-bound constituent sources.
void sed_contam_source_step(main_state& ms);
// Overland constituent kinetics.
void ov_constituent_kinetics_step(main_state& ms);
// Overland constituent transport.
void ov_contam_transport_step(main_state& ms);
// Channel sediment-bound constituents.
void chan_sed_contam_step(main_state& ms);
// Channel constituent decay.
void chan_contam_decay_step(main_state& ms);
// Channel and lake constituent transport.
void chan_contam_transport_step(main_state& ms);
// Constituents carried by `volume` m3 of water exfiltrated onto cell j in the
// infiltration step (negative: pond water taken into the ground);
// `richards_method` under the Richards infiltration method.
void book_exfiltration_constituents(main_state& ms, long j, double volume, bool richards_method);
// Constituents carried into the soil by `volume` m3 infiltrated at cell j.
void book_infiltration_constituents(main_state& ms, long j, double volume);

}  // namespace kavro
