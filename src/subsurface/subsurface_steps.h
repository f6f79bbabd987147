// Soil-water, groundwater and lumped-model steps of the time loop and their set-up.
#pragma once

namespace kavro {

struct main_state;

// Grid set-up of the saturated groundwater model.
void read_groundwater_setup(main_state& ms);
// Grid set-up of the Sacramento model.
void load_sacramento_params(main_state& ms);
// Grid set-up of the conceptual groundwater model.
void load_conceptual_gw_params(main_state& ms);
// Initial water table and aquifer bottom.
void read_water_table_maps(main_state& ms);
// Soil columns of the Richards infiltration.
void setup_richards_columns(main_state& ms);
// Initial soil, groundwater and snow states.
void init_soil_gw_snow_states(main_state& ms);
// Infiltration by the chosen method.
void infiltration_step(main_state& ms);
// Soil-moisture accounting with evapotranspiration during events.
void event_et_step(main_state& ms);
// Sacramento soil-moisture accounting.
void sacramento_step(main_state& ms);
// Two-store conceptual groundwater model.
void conceptual_gw_step(main_state& ms);
// Two-dimensional saturated groundwater flow.
void groundwater_step(main_state& ms);
// Storage coefficient of the aquifer under cell j (fraction), with which a
// water table above the ground drains onto the surface.
double gw_storage_coefficient(const main_state& ms, long j);

}  // namespace kavro
