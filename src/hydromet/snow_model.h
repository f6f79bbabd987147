// The hourly snow model of long-term runs: canopy interception and
// sublimation, melt of the pack by one of four melt models, its heat deficit
// and liquid water, its depth, and the melt packets that carry melt water to
// the surface. Snowfall itself reaches `swe` through the rain step.
#pragma once

#include <optional>

namespace kavro {

struct main_state;

// Days since 21 March (the equinox) counted as day + offset: the offset of
// month `month` (1 to 12) and day of the month `day`; nothing for a month
// outside 1 to 12.
std::optional<int> month_day_offset(int month, int day);

// Seasonal weight of the leaf area index: winter and summer shares of month
// `month` (1 to 12).
struct canopy_season {
  double winter = 0.0, summer = 0.0;
};
canopy_season canopy_season_of(int month);

// Canopy interception, sublimation and canopy melt of cell i over `seconds`;
// the season gives the leaf area index. Returns the depth sublimated (m).
double canopy_snow_cell(main_state& ms, long i, double seconds, canopy_season season);
// Every cell (parallel), the sublimation of the hour per cell in
// canopy_sublimation_hour, their volume added to vol_canopy_sublimation_total.
void canopy_snow_interception(main_state& ms, double seconds, int month);

// The heat-deficit and liquid-water update of cell i for a water input of W
// mm and a liquid-water capacity of c mm (PLWHC the cell's holding fraction):
// updates Wq, D_2 and Wi and returns the water leaving the pack (mm).
double heat_deficit_update(main_state& ms, long i, double W, double c, double plwhc);

// Snow depth, density and temperature of cell i without the layered pack:
// stored melt L (mm), air temperature Ta (C), step length h (hours), new
// precipitation P (mm) and the melt base temperature.
void snow_depth_update(main_state& ms, long i, double L, double Ta, double h, double P, double mbase);

// Hourly release rate (m per hour) of a melt of m metres in cell i: the melt
// travels through the pack in 1 to 6 hours.
double melt_release_rate(const main_state& ms, long i, double m);
// Moves the cell's older packets one slot down and puts the new melt m (m)
// into the last one; returns the water held in the cell's packets (m).
double route_melt_packets(main_state& ms, long i, double m);

// What one cell's model hour found: it keeps snow, it holds melt that waits
// for the surface, and the message flags of the cell.
struct snow_cell_result {
  bool keeps_snow = false;
  bool melt_pending = false;
  unsigned char flags = 0;
};
inline constexpr unsigned char snow_flag_model_conflict = 1;  // temperature-index and hybrid models together
inline constexpr unsigned char snow_flag_packet_mismatch = 2; // packets and snow_melt_to_ov disagree
inline constexpr unsigned char snow_flag_negative_depth = 4;  // a release left a negative surface depth

// The model hour of cell i over `seconds`, seasonal melt-factor term `sv`.
snow_cell_result snow_cell_step(main_state& ms, long i, double seconds, double sv);
// The model hour of every cell (parallel); 1 when a processed cell keeps
// snow; sets snow_melt_present when melt waits in some cell. The day offset
// is computed by the caller.
int snow_cell_model(main_state& ms, double seconds, int day_offset);

// The melt release of cell i after e seconds; the depth it added to the
// surface (m); flags and wetness through the result.
struct melt_release_result {
  double released = 0.0;
  bool pending = false;
  bool wet = false;
  unsigned char flags = 0;
};
melt_release_result release_cell_melt(main_state& ms, long i, double e);

// The layered snowpack of one cell for one hour: new precipitation (cm), air
// temperature (C), relative humidity (%), wind (m/s); reads and writes the
// cell's sn_stat, wave and snap_kavro_params records.
void snowpack_layer_step(main_state& ms, long i, double precip_cm, double air_temp, double rh, double wind);

}  // namespace kavro
