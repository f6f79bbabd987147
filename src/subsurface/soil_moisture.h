// Soil water between storms: the soil-moisture zone of the Green-Ampt
// methods that keep their soil water from one storm to the next
// (redistribution and multi-layer), updated at the evapotranspiration
// interval. The loop step event_et_step is declared with the other steps in
// subsurface_steps.h.
//
// The zone of a cell is soil_layer_cm deep (0 where the water table stands
// at the ground) and holds soil_water_cm in its upper layer and
// soil_water2_cm in its lower one (cm). Each update adds the water
// infiltrated since the last one, takes evaporation from the pond and
// transpiration from the layers (and from groundwater where the zone
// reaches the water table), drains the layers by gravity and passes what
// leaves the zone to rich_bottom_flux.
#pragma once

namespace kavro {

struct main_state;

// One update of every cell over `dt_s` seconds under Green-Ampt with
// redistribution (upper layer TOP_LAYER_DEPTH of a SOIL_MOIST_DEPTH zone).
// Returns the depth evaporated and transpired, summed over the cells (m);
// the part taken from groundwater is added to vol_evap_soil_adjust (m3).
double soil_moisture_redist(main_state& ms, double dt_s);

// The same under multi-layer Green-Ampt: the layers of each cell's soil type.
double soil_moisture_routine(main_state& ms, double dt_s);

}  // namespace kavro
