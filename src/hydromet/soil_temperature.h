// One-dimensional soil temperature under every permafrost cell: heat
// conduction over the temperature nodes of the cell's permafrost soil type,
// with the latent heat of freezing and thawing taken up by an apparent heat
// capacity over a band of 0.08 C on either side of the freezing point.
#pragma once

#include "hydromet/permafrost_soil.h"

namespace kavro {

struct main_state;

// Half-width (C) of the freezing band about a layer's freezing point.
inline constexpr double freezing_band_half_width = 0.08;

// The layer of soil type s holding a node at depth z (m): the first whose
// bottom plus a millimetre is not above the node, else the deepest layer.
int layer_of_depth(const permafrost_layer_soil_record& t, int s, double z);

// Unfrozen water content (fraction) of layer l of type s at temperature T:
// a |c - T|^b, never more than the layer's water.
double unfrozen_water(const permafrost_layer_soil_record& t, int s, int l, double T);
// Thermal conductivity (W/m/K) of layer l of type s at temperature T.
double kotu_thermal_conductivity(const permafrost_layer_soil_record& t, int s, int l, double T);
// Volumetric heat capacity (J/m3/K) of layer l of type s at temperature T,
// the latent heat of the freezing band included.
double apparent_heat_capacity(const permafrost_layer_soil_record& t, int s, int l, double T);

// Sizes the solver's work space for `threads` threads and the table's
// largest node count (done once per run).
void size_soil_temperature_work(permafrost_layer_soil_record& t, int threads);

// Advances the profile temp[1..n] of one column of type s by dt seconds
// with the surface node held at the air temperature and a geothermal
// gradient of 0.015 C/m below the last node. Passes are repeated, at most
// seven, until no node moves by more than 1e-6 C. The number of passes.
int solve_soil_column(const permafrost_layer_soil_record& t, int s, double dt, double air_temp, double* temp,
                      soil_temperature_work& w);

// Whether cell c carries a soil-temperature profile that is solved: in the
// permafrost mask and under no lake.
bool soil_temperature_cell(const main_state& ms, long c);

// Solves every permafrost cell over dt seconds (a parallel cell loop) and
// writes the profile listing of active cell 45 at the listed solve counts.
void soil_temperature_solve(main_state& ms, double dt);

}  // namespace kavro
