// Constituents in the soil layers: the layer water contents and the layer
// transport of one constituent at one cell.
#pragma once

namespace kavro {

struct main_state;

// Water content of layer k (of `layers`) of cell j under Green-Ampt with
// redistribution, from the two soil-moisture zones and the water table.
double layer_water_content(const main_state& ms, long j, int k, int layers);
// The water content of every constituent soil layer into soil_layer_theta
// (and the saturated content into soil_layer_thetas under the layered soil).
void fill_layer_moisture_table(main_state& ms);
// Moves constituent c between the surface, the layers of cell j and
// groundwater with the step's water fluxes; budget terms to terms[t * stride].
void soil_cell_update(main_state& ms, int c, long j, double* terms, long stride);

}  // namespace kavro
