// Where the sun stands, how steeply its beam meets a sloped cell, and which
// cells the terrain hides from it.
//
// Angles are radians. The azimuth is measured clockwise from north (0 north,
// pi/2 east); on the grid a row step of -1 goes north and a column step of +1
// goes east. Each function keeps the value of pi its formulas were fitted
// with, so the constants below differ in their last digits on purpose.
#pragma once

namespace kavro {

struct main_state;

// Hour angle of clock hour `hour` (radians, negative in the morning): 0
// within 0.01 h of noon; an hour outside 0..24 is reported and gives 0.
double hour_angle(double hour);
// Azimuth of the sun (radians clockwise from north) at latitude
// `latitude_deg` (degrees), hour angle `h` and declination `decl`: morning
// suns stand in the east, afternoon suns in the west.
double solar_azimuth(double latitude_deg, double h, double decl);
// Aspect of a cell (radians) from its elevation gradients in x and y.
double cell_aspect(double gx, double gy);
// Cosine of the angle between the sun's beam and the normal of a cell with
// gradients gx (slope_x) and gy (slope_y); 0 when the sun is behind the
// slope or below the horizon. Latitude in radians.
double solar_incidence_cosine(double gx, double gy, double decl, double h, double latitude_rad);

// Rise (m) of a ray toward a sun at zenith `zenith` over a horizontal
// distance `distance` (m); a zenith outside 0..pi is reported and gives 0.
double sun_ray_slope(double zenith, double distance);
// Column step a and row step b per unit of walk toward a sun at `azimuth`.
struct sun_walk_step {
  double a = 0.0;
  double b = 0.0;
};
sun_walk_step next_cell_toward_sun(double azimuth);
// The grid cell nearest to k steps of (a, b): row and column offsets, the
// neighbour the ray passes between it and the next, and how far toward that
// neighbour the ray lies (0..0.5).
struct grid_offset {
  int row = 0, col = 0;    // offsets of the nearest cell
  int row2 = 0, col2 = 0;  // offsets of the second cell
  double fraction = 0.0;
};
grid_offset round_grid_offset(long k, double a, double b);
// Terrain height along the ray between two cells of elevations `first` and
// `second` (-9999 for a cell outside the grid or the watershed).
double cell_elevation_pair(double first, double second, double fraction);

// Shades the grid for one hour: cell_hour_flags[cell][hour] is 1 where the
// sun is down or the terrain hides it. Returns the shaded share of the
// cells (per cent).
double Calculate_Shaded_Raster(main_state& ms, double zenith, double azimuth, int hour);
// Shades the grid for the 24 hours of a day of declination `decl` at
// latitude `latitude_deg` (degrees).
void solar_hourly_geometry(main_state& ms, double latitude_deg, double decl);

// Solar declination of day of year `day` (radians).
double solar_declination(int day);

}  // namespace kavro
