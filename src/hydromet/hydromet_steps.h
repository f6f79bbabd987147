// Weather, energy, snow and frozen-ground steps of the time loop and their set-up.
#pragma once

namespace kavro {

struct main_state;

// Grid set-up of the permafrost soil model.
void read_permafrost_soil_setup(main_state& ms);
// Grid set-up of the snow parameters: per cell from their cards or by
// elevation band (card NWSRFS_ELEV_SNOW); SNOW_TEMP_BASE and SNOW_PXTEMP.
void read_snow_band_params(main_state& ms);
// Grid set-up: the weather station's x and y (its elevation is the grid
// set-up's station_elev).
void set_met_station_location(main_state& ms);
// Long-term runs: distances of every cell to every station and the
// elevation band of every cell.
void gage_cell_distances(main_state& ms);
// The weather file's scan, the optimisation output, the rain events and the
// event list for the host.
void init_meteorology_inputs(main_state& ms);
// Reads the next hour of weather and spreads it over the cells (long-term
// runs); ends the run when the weather data end.
void hmet_step(main_state& ms);
// Evapotranspiration, lake evaporation, the frost index, the unfrozen soil
// water and the hourly basin averages (long-term runs).
void longterm_et_step(main_state& ms);
// Permafrost soil temperature model.
void soil_temperature_step(main_state& ms);
// Snow accumulation, canopy interception and melt.
void snow_step(main_state& ms);
// Releases melt water onto the surface.
void snowmelt_release_step(main_state& ms);
// Saturated conductivity (cm/h) of soil layer `layer` (1 to 3) of cell j of
// soil type `soil_type`, reduced where the permafrost model finds that layer
// frozen; `ks` is the layer's unfrozen conductivity. Writes the layer's
// impedance into fr_lq_wat[j][layer] of permafrost cells (their own slots only).
double frozen_conductivity_factor(main_state& ms, long j, long soil_type, double ks, int layer);

}  // namespace kavro
