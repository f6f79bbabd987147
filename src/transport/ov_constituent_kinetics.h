// The parts of the overland constituent kinetics, one constituent over all
// cells each, and the run-owned work vectors of the overland constituent steps.
#pragma once

namespace kavro {

struct main_state;

// Rain load of `secs` seconds on every cell that takes it (g): into the
// surface mass and the pending rain load.
void precip_constituent_load(main_state& ms, int i);
// Mass carried down by the water infiltrated since the last call; a surface
// dried by infiltration hands all its mass to the soil.
void soil_layer_mass_update(main_state& ms, int i);
// Exchange of `secs` seconds between the top soil layer (or the land store)
// and the surface water, gathered in ov_uptake_cell_mass.
void soil_surface_exchange(main_state& ms, int i, double secs);
// First-order decay of `secs` seconds, gathered in ov_decay_cell_mass.
void ov_first_order_decay(main_state& ms, int i, double secs);
// Mass carried with the grid-stream water into (or out of) the channel nodes.
void grid_stream_mass_exchange(main_state& ms, int i);
// Water depth (m) of the top constituent soil layer of cell k.
double top_layer_water_depth(const main_state& ms, long k);
// Sizes the work vectors of the overland constituent steps once per run.
void size_constituent_work(main_state& ms);

}  // namespace kavro
