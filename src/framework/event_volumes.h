// Water volumes (m3) and basin soil moisture that the event start and the
// end-of-event accounting both take, so that the two ends of an event's
// budget are measured the same way.
#pragma once

#include <optional>

#include "channel/link_kinds.h"

namespace kavro {

struct main_state;

// A cell covered by a channel lake (only with channel lakes on).
bool is_channel_lake_cell(const main_state& ms, long cell);

// Water in the ordinary links: area * node spacing over their nodes. With
// `report_bad_area` a node area that is not a number is reported.
double channel_water_volume(const main_state& ms, bool report_bad_area);
// Sand (the bed-material classes) and suspended wash load in the ordinary
// links, measured alike at both ends of an event.
struct channel_sediment {
  double sand = 0.0;
  double wash = 0.0;
};
channel_sediment channel_sediment_volumes(const main_state& ms);
// Surface water of every cell: depth * cell area.
double surface_depth_volume(const main_state& ms);
// Snow on the ground and the canopy, and melt water waiting to enter the
// surface, outside the channel lakes.
double snow_volume(const main_state& ms);
double melt_water_volume(const main_state& ms);

// Soil water of cell `j` without the Richards method: its soil column and,
// with a water table, the water between the column's bottom and the table.
// The column of a multi-layer cell is its top two layers.
double simple_soil_column_volume(const main_state& ms, long j);

// Mean relative saturation (theta / theta_s) of the Richards column of
// `cell` over its top `depth_cm`, weighted by node thickness; stops at the
// column's last node. Nothing for a column without thickness.
std::optional<double> richards_relative_saturation(const main_state& ms, long cell, double depth_cm);

}  // namespace kavro
