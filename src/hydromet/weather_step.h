// The hour of weather over the grid (the weather step of long-term runs):
// each cell's air from the station by elevation bands or a fixed lapse rate,
// the transmission of its vegetation, the sun on its slope, its snow albedo,
// and its long- and short-wave radiation with terrain shading.
#pragma once

namespace kavro {

struct main_state;

// Leaf area index of the cell in month `month` (0 without a summer value).
double monthly_leaf_area_index(const main_state& ms, long cell, int month);
// Share of the short-wave radiation the cell's vegetation lets through, for
// leaf area index `lai`.
double vegetation_transmission(const main_state& ms, long cell, double lai);
// The daily snow albedo of the cell, at hour 0; `cell_temperature` (C) is
// the cell's air of the hour.
void snow_albedo_update(main_state& ms, long cell, double cell_temperature);
// Long- and short-wave radiation of the cell: air temperature T (C), cloud
// fraction, vapour pressure e (mbar), leaf area index and transmission.
void cell_radiation_balance(main_state& ms, long cell, double T, double cloud, double e, double lai, double tau);
// Clear-sky noon radiation (W/m2) of a date at latitude `latitude_deg` over
// ground at `mean_elevation` (m); the incidence cosine of the flat ground
// goes to Cell_Aspect_Eff_Rad_Percent[n_cells + 1].
double clear_sky_radiation(main_state& ms, int year, int month, int day, double latitude_deg, double mean_elevation);
// The solar geometry of the weather hour held in hmet_record (sun_*).
void set_sun_of_hour(main_state& ms);
// The per-cell update of one weather hour (station formats).
void hmet_cell_update(main_state& ms);

// The orographic gauge file: its header (elevations of the gauge and the
// base station) and a check of its hourly lines against the weather records;
// false after a message.
bool read_orographic_header(main_state& ms);
bool check_orographic_lines(main_state& ms);

}  // namespace kavro
