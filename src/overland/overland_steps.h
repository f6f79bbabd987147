// Rain and overland-flow steps of the time loop and their set-up.
#pragma once

#include <functional>

namespace kavro {

struct main_state;

// Reads the next rain event when it is due.
void precip_event_step(main_state& ms);
// Spreads the gauge or radar rates of a rain period over the cells.
void precip_period_step(main_state& ms);
// Calls `piece` with the length (s) of each part of the overland interval
// [from, to] (Julian days) that lies within one rain period, with rain_rate
// holding that part's rates; the rate changes inside the interval are taken
// on the way (a gauge line, a radar grid, the end of a uniform storm).
void for_each_rain_piece(main_state& ms, double from, double to, const std::function<void(double)>& piece);
// Adds the step's rain depth to the cells and lakes (with interception).
void apply_precip_step(main_state& ms);
// Overland boundary values, flows and pumps.
void ovl_boundary_step(main_state& ms);
// Water balance of the storage units (BMPs).
void bmp_step(main_state& ms);
// Two-dimensional routing of the surface water.
void overland_route_step(main_state& ms);
// Storage and extent of the overland lakes.
void olake_step(main_state& ms);
// Grid set-up of the storage units.
void setup_bmps(main_state& ms);

}  // namespace kavro
