// The precipitation block of the run record: the rain-event state filled by
// the precipitation reader and the rain steps.
//
// The two tables of fixed capacity, the start time of every event of the
// precipitation file and the date of every data line of the current event,
// live on the heap and are allocated zeroed when the record is built, so the
// record itself stays small.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "framework/one_based.h"

namespace kavro {

// Capacity of the event table and of the data lines of one event.
inline constexpr long max_precip_events = 100000;
inline constexpr long max_precip_periods = 100000;

// Date of one data line of a rain event.
struct precip_date {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
};

// Mapping of the model grid onto a radar rain grid.
struct radar_grid {
  int model_cols = 0;                   // columns of the model grid (copy of grid_cols)
  int model_rows = 0;                   // rows of the model grid (copy of grid_rows)
  double model_west = 0;                // west edge of the model grid (map units)
  double model_north = 0;               // north edge of the model grid (map units)
  int radar_cols = 0;                   // radar grid columns
  int radar_rows = 0;                   // radar grid rows
  double radar_west = 0;                // radar grid west edge (= xllcorner)
  double radar_north = 0;               // radar grid north edge (yllcorner + rows * cellsize)
  double radar_dx = 0;                  // model cell size used for the mapping (copy of dx, m)
  dvec* radar_rain_dest = nullptr;      // the per-cell rain rate the radar grid is applied to (rain_rate; not owned)
  int radar_n_cells = 0;                // active cells of the mapping (copy of n_cells)
  double xllcorner = 0;                 // lower-left corner of the radar grid, x (map units)
  double yllcorner = 0;                 // lower-left corner of the radar grid, y (map units)
  double cellsize = 0;                  // radar cell size (map units)
  double nodata_value = 0;              // radar no-data value
  ivec kavro_to_precip{"kavro_to_precip"};  // [cell] 0-based radar cell (row * radar_cols + column, row 0 north) of each active cell
  std::vector<double> precip_data;      // radar_rows * radar_cols rain rates of the current period (mm/h), row-major from the north-west corner
};

// A one-based table of n zeroed entries 1..n, as the record builds it.
template <class T>
one_based_vec<T> zeroed_table(std::string_view name, long n) {
  one_based_vec<T> table{name};
  table.allocate(n);
  return table;
}

struct precipitation_block {
  int rain_inv_distance_on = 0;         // 1 for inverse-distance rain interpolation
  int rain_thiessen_on = 0;             // 1 for Thiessen (nearest gauge) rain interpolation
  int n_rain_periods = 0;               // rain periods of the current event (NRPDS; uniform rain: duration / interval)
  ivec nearest{"nearest"};              // [cell] nearest rain gauge of each active cell
  int event_year = 0;                   // start date of the current rain event
  int event_month = 0;
  int event_day = 0;
  int event_hour = 0;
  int event_minute = 0;
  double event_start_time = 0;          // time at which the current rain event was read (Julian)
  int rain_event_state = 0;             // 0 waiting for an event, 1 event read and raining, 2 file exhausted, 3 exhausted and rain stopped
  one_based_vec<precip_date> precip_dates = zeroed_table<precip_date>("precip_dates", max_precip_periods);  // [line] date of each data line of the current event
  radar_grid radar;                     // the radar grid mapping
  dvec event_start_times = zeroed_table<double>("event_start_times", max_precip_events);  // [event] start time of each event of the precipitation file (Julian), from 1
  double rain_intensity = 0;            // uniform rainfall intensity (mm/h, card RAIN_INTENSITY)
  int uniform_rain_on = 0;              // 1 when the rain is uniform
  double rain_duration = 0;             // uniform rainfall duration (min)
  int n_precip_events = 0;              // events in the precipitation file
  int precip_period_counter = 1;        // rain periods applied in the current event, counted from 1
  int rainfall_mmph_on = 0;             // 1 when card RAINFALL_MMPH asks for the rainfall-rate output
  std::string rainfall_mmph_path;       // file of card RAINFALL_MMPH
  int radar_units_mm = 0;               // 1 when radar grid values are mm/h, 0 when in/h
  int radar_mode = 0;                   // 0 no RADAR lines; 1 RADAR lines of gauge values; 2 RADAR lines naming grid files
  int gages_on = 0;                     // 1 when the current event's data lines are GAGES lines (depth per interval, mm)
  int rates_on = 0;                     // 1 when they are RATES lines (rate from the line's time, mm/h)
  int accum_on = 0;                     // 1 when they are ACCUM lines (cumulative depth, mm)
  int n_gauges = 0;                     // gauges of the current event (NRGAG; 1 for a radar-file event)
  dvec gauge_x{"gauge_x"};              // [gauge] gauge x coordinate (map units), from 1
  dvec gauge_y{"gauge_y"};              // [gauge] gauge y coordinate (map units), from 1
  dmat gauge_values{"gauge_values"};    // [gauge][line] values as read; after conversion column j holds the rate of period j (mm/h)
  std::vector<std::string> radar_files; // radar grid file of each data line of a radar-file event, entry 0 = line 1
  double mean_rain_rate = 0;            // basin mean of rain_rate in the current period (mm/h), with RAINFALL_MMPH
  double event_end_time = 0;            // Julian time of the last data line of the current event
  int n_precip_event_cards = 0;         // EVENT cards met by the precipitation reader in this run
  dmat idw_dist2{"idw_dist2"};          // [cell][gauge] squared cell-to-gauge distance of the current event (map units^2)
  ivec idw_sole_gauge{"idw_sole_gauge"};  // [cell] first gauge nearer than dx to the cell centre, 0 none
  dvec idw_inv_sum{"idw_inv_sum"};      // [cell] sum over the gauges of 1 / squared distance
  int idw_weights_event = 0;            // event number whose geometry idw_dist2 holds, 0 none
};

}  // namespace kavro
