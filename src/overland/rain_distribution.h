// Rain over the cells: the gauge rates of one rain period spread over the
// active cells by inverse distance or by nearest gauge, and canopy
// interception of the rain that reaches the cells.
#pragma once

#include "framework/one_based.h"
#include "overland/precip_block.h"

namespace kavro {

struct main_state;

// The model grid as the rain distribution sees it: cell numbers by row and
// column, edges and cell size.
struct rain_grid {
  const imat& mask;   // [row][col] active-cell number, 0 outside
  int rows = 0;
  int cols = 0;
  double north = 0;   // north edge (map units)
  double west = 0;    // west edge (map units)
  double dx = 0;      // cell size (map units)
};

// Nearest gauge of every active cell (ties to the lower gauge number). False
// when some cell has no gauge within 900,000 map units (message printed,
// code 4000 set).
bool find_neighbor(int n_gauges, const rain_grid& g, const dvec& gauge_x, const dvec& gauge_y, ivec& nearest);

// The inverse-distance geometry of the current gauges: squared distances,
// the gauge nearer than dx that a cell takes alone, and the weight sums.
void build_idw_weights(precipitation_block& pb, const rain_grid& g, long n_cells);

// Rain rate of period `period` by inverse squared distance (weights from
// build_idw_weights); one gauge gives every cell its value.
void precip_idw(const precipitation_block& pb, int period, long n_cells, dvec& rain_rate);

// Rain rate of period `period` from each cell's nearest gauge.
void precip_nearest(int period, int n_gauges, const ivec& nearest, const dmat& gauge_values, dvec& rain_rate,
                    long n_cells);

// Interception: fills ri_eff (mm/h below the canopy) from rain_rate for a
// step of `step_s` seconds, fills icep_dep and books vol_interception_total.
void seasonal_interception(main_state& ms, double step_s);

// The interception divisor of the month: 4 in winter, 1 in summer.
double interception_season_divisor(const main_state& ms, int month);

}  // namespace kavro
