// The weather of the station carried to each cell's elevation.
//
// Band levels step by elev_band_width (100 m) up and down from the station's
// elevation; each hour the station's air is lifted and lowered from level to
// level along the dry adiabat, or the moist one once it saturates
// (band_lapse_temperature), and a cell takes the weather of its band,
// interpolated in elevation between the band's two levels
// (band_station_interpolation).
#pragma once

namespace kavro {

struct main_state;

// The weather of one cell of the hour.
struct cell_air {
  double temperature = 0;  // degrees C
  double pressure = 0;     // mbar
  double rh_fraction = 0;  // relative humidity, 0..1
  double cloud = 0;        // cloud cover fraction
  double wind = 0;         // m/s
  double vapour = 0;       // vapour pressure (mbar)
  double saturation = 0;   // saturation vapour pressure (mbar)
};

// Level values of one level: pressure, vapour pressure, saturation vapour
// pressure (mbar) and the lapse rate (K/m) at the level.
struct level_air {
  double pressure = 0, vapour = 0, saturation = 0, lapse_rate = 0;
};
// The air of a level at temperature T (C), lifted from the station at
// pressure P (mbar) and potential temperature theta (K) holding vapour
// fraction m, with the lapse rate of the level before `previous_rate`.
level_air moist_adiabatic_lapse_rate(double P, double theta, double m, double T, double previous_rate);

// Band levels of station 1, copied to every station, and the band of every
// cell (LR_Num). A cell outside every band is reported and takes the nearest
// band (1 or n_elev_bands - 1).
void build_elevation_bands(main_state& ms);
// Fills the levels of station `g` from its air of the hour: temperature T
// (C), pressure P (mbar) and relative humidity fraction.
void band_lapse_temperature(main_state& ms, int g, double T, double P, double rh_fraction);
// The weather of cell `cell` from the bands of the stations; false when the
// cell's elevation lies outside its band (the band's values are still given).
bool band_station_interpolation(const main_state& ms, long cell, cell_air& out);

}  // namespace kavro
