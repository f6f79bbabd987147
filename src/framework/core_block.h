// The fixed file slots and the core run block of the run record.
#pragma once

#include <array>

#include "framework/file_wrapper.h"
#include "framework/one_based.h"

namespace kavro {

// The 84 fixed input and output files of a run, in slot order. Slots marked
// "not used" are opened by no step but keep the numbering of the others.
struct file_slots_block {
  file_wrapper fs_elevation;                  // 0: elevation map
  file_wrapper fs_watershed_mask;             // 1: watershed mask
  file_wrapper fs_soil_type_map;              // 2: soil-type index map
  file_wrapper fs_precip;                     // 3: precipitation file
  file_wrapper fs_moisture;                   // 4: initial soil-moisture map
  file_wrapper fs_roughness;                  // 5: roughness map
  file_wrapper fs_unused_6;                   // 6: not used
  file_wrapper fs_unused_7;                   // 7: not used
  file_wrapper fs_conductivity;               // 8: hydraulic-conductivity map
  file_wrapper fs_contam_map;                 // 9: contaminant map
  file_wrapper fs_capillary;                  // 10: capillary-head map
  file_wrapper fs_porosity;                   // 11: porosity map
  file_wrapper fs_pore_index;                 // 12: pore-distribution-index map
  file_wrapper fs_residual_sat;               // 13: residual-saturation map
  file_wrapper fs_storage_capacity;           // 14: interception storage map
  file_wrapper fs_interception_coeff;         // 15: interception coefficient map
  file_wrapper fs_reten_depth;                // 16: retention-depth map
  file_wrapper fs_area_reduction;             // 17: area-reduction map
  file_wrapper fs_in_hyd_location;            // 18: hydrograph output locations
  file_wrapper fs_in_gwflux_location;         // 19: groundwater-flux output locations
  file_wrapper fs_in_celldepdis_location;     // 20: cell depth/discharge output locations
  file_wrapper fs_superlink_node_location;    // 21: superlink node output locations
  file_wrapper fs_superlink_junc_location;    // 22: superjunction output locations
  file_wrapper fs_superlink_junc_out;         // 23: superjunction flow time series (w)
  file_wrapper fs_superlink_node_out;         // 24: superlink node flow time series (w)
  file_wrapper fs_hmet_surfaways;             // 25: hydrometeorological data file
  file_wrapper fs_hmet_orog_gages;            // 26: orographic meteorological gauges
  file_wrapper fs_albedo;                     // 27: albedo map
  file_wrapper fs_vheight;                    // 28: vegetation-height map
  file_wrapper fs_tcoeff;                     // 29: transmission-coefficient map
  file_wrapper fs_canopy;                     // 30: canopy-resistance map
  file_wrapper fs_wilting_point;              // 31: wilting-point map
  file_wrapper fs_unused_32;                  // 32: not used
  file_wrapper fs_unused_33;                  // 33: not used
  file_wrapper fs_unused_34;                  // 34: not used
  file_wrapper fs_unused_35;                  // 35: not used
  file_wrapper fs_unused_36;                  // 36: not used
  file_wrapper fs_in_sed_loc;                 // 37: sediment output locations
  file_wrapper fs_stream_cell;                // 38: grid-stream connectivity file
  file_wrapper fs_dike_map;                   // 39: embankment (dike) map
  file_wrapper fs_dike_file;                  // 40: low-spot file
  file_wrapper fs_overland_lake_map;          // 41: overland lake map
  file_wrapper fs_overland_lake_file;         // 42: overland lake file
  file_wrapper fs_chan_initial_state;         // 43: channel initial-state file
  file_wrapper fs_sacramento;                 // 44: Sacramento parameter file
  file_wrapper fs_conceptual_gw;              // 45: conceptual groundwater parameter file
  file_wrapper fs_water_table;                // 46: initial water-table map
  file_wrapper fs_final_out_1;                // 47: groundwater hotstart map at the end of the run (w)
  file_wrapper fs_final_out_2;                // 48: saturated-source map at the end of the run (w)
  file_wrapper fs_final_out_3;                // 49: updated channel bed elevations (w)
  file_wrapper fs_aquifer_bottom;             // 50: aquifer-bottom map
  file_wrapper fs_summary;                    // 51: run log, card SUMMARY (w)
  file_wrapper fs_exchange;                   // 52: host exchange maps, reopened per exchange (r and w)
  file_wrapper fs_map_dataset_0;              // 53: map dataset of map-output kind 0 (w)
  file_wrapper fs_unused_54;                  // 54: not used
  file_wrapper fs_map_dataset_1;              // 55: map dataset of map-output kind 1 (w)
  file_wrapper fs_map_dataset_2;              // 56: map dataset of map-output kind 2 (w)
  file_wrapper fs_map_dataset_12;             // 57: map dataset of map-output kind 12 (w)
  file_wrapper fs_map_dataset_13;             // 58: map dataset of map-output kind 13 (w)
  file_wrapper fs_map_dataset_3;              // 59: map dataset of map-output kind 3 (w)
  file_wrapper fs_map_dataset_4;              // 60: map dataset of map-output kind 4 (w)
  file_wrapper fs_map_dataset_5;              // 61: map dataset of map-output kind 5 (w)
  file_wrapper fs_out_hyd;                    // 62: hydrographs at the listed locations (w)
  file_wrapper fs_out_gwflux;                 // 63: groundwater flux time series (w)
  file_wrapper fs_out_celldepdis;             // 64: cell depth/discharge time series (w)
  file_wrapper fs_out_loc_1;                  // 65: cell depth time series (w)
  file_wrapper fs_out_loc_2;                  // 66: cell constituent concentration series (w)
  file_wrapper fs_out_loc_3;                  // 67: cell constituent mass series (w)
  file_wrapper fs_in_theta_location;          // 68: soil-moisture output locations
  file_wrapper fs_out_theta_location;         // 69: soil-moisture time series (w)
  file_wrapper fs_soil_layer_input_file;      // 70: multi-layer soil table
  file_wrapper fs_out_sed_loc;                // 71: sediment time series (w)
  file_wrapper fs_optimize;                   // 72: per-event calibration output (w)
  file_wrapper fs_out_well_location;          // 73: well locations
  file_wrapper fs_map_dataset_10;             // 74: map dataset of map-output kind 10 (w)
  file_wrapper fs_unused_75;                  // 75: not used
  file_wrapper fs_unused_76;                  // 76: not used
  file_wrapper fs_chan_hotstart_out;          // 77: channel hotstart output (w)
  file_wrapper fs_unused_78;                  // 78: not used
  file_wrapper fs_unused_79;                  // 79: not used
  file_wrapper fs_hyd_6digit;                 // 80: outlet hydrograph with six-digit values (w)
  file_wrapper fs_lake_out;                   // 81: lake output (w)
  file_wrapper fs_rain_mmph;                  // 82: basin-average rainfall in mm/h (w)
  file_wrapper fs_runoff_mmph;                // 83: runoff hydrograph in mm/h (w)
};

inline constexpr int n_file_slots = 84;

// The slots in slot order, for walking them all (closing the run's files).
inline constexpr std::array<file_wrapper file_slots_block::*, n_file_slots> file_slot_members = {
  &file_slots_block::fs_elevation,
  &file_slots_block::fs_watershed_mask,
  &file_slots_block::fs_soil_type_map,
  &file_slots_block::fs_precip,
  &file_slots_block::fs_moisture,
  &file_slots_block::fs_roughness,
  &file_slots_block::fs_unused_6,
  &file_slots_block::fs_unused_7,
  &file_slots_block::fs_conductivity,
  &file_slots_block::fs_contam_map,
  &file_slots_block::fs_capillary,
  &file_slots_block::fs_porosity,
  &file_slots_block::fs_pore_index,
  &file_slots_block::fs_residual_sat,
  &file_slots_block::fs_storage_capacity,
  &file_slots_block::fs_interception_coeff,
  &file_slots_block::fs_reten_depth,
  &file_slots_block::fs_area_reduction,
  &file_slots_block::fs_in_hyd_location,
  &file_slots_block::fs_in_gwflux_location,
  &file_slots_block::fs_in_celldepdis_location,
  &file_slots_block::fs_superlink_node_location,
  &file_slots_block::fs_superlink_junc_location,
  &file_slots_block::fs_superlink_junc_out,
  &file_slots_block::fs_superlink_node_out,
  &file_slots_block::fs_hmet_surfaways,
  &file_slots_block::fs_hmet_orog_gages,
  &file_slots_block::fs_albedo,
  &file_slots_block::fs_vheight,
  &file_slots_block::fs_tcoeff,
  &file_slots_block::fs_canopy,
  &file_slots_block::fs_wilting_point,
  &file_slots_block::fs_unused_32,
  &file_slots_block::fs_unused_33,
  &file_slots_block::fs_unused_34,
  &file_slots_block::fs_unused_35,
  &file_slots_block::fs_unused_36,
  &file_slots_block::fs_in_sed_loc,
  &file_slots_block::fs_stream_cell,
  &file_slots_block::fs_dike_map,
  &file_slots_block::fs_dike_file,
  &file_slots_block::fs_overland_lake_map,
  &file_slots_block::fs_overland_lake_file,
  &file_slots_block::fs_chan_initial_state,
  &file_slots_block::fs_sacramento,
  &file_slots_block::fs_conceptual_gw,
  &file_slots_block::fs_water_table,
  &file_slots_block::fs_final_out_1,
  &file_slots_block::fs_final_out_2,
  &file_slots_block::fs_final_out_3,
  &file_slots_block::fs_aquifer_bottom,
  &file_slots_block::fs_summary,
  &file_slots_block::fs_exchange,
  &file_slots_block::fs_map_dataset_0,
  &file_slots_block::fs_unused_54,
  &file_slots_block::fs_map_dataset_1,
  &file_slots_block::fs_map_dataset_2,
  &file_slots_block::fs_map_dataset_12,
  &file_slots_block::fs_map_dataset_13,
  &file_slots_block::fs_map_dataset_3,
  &file_slots_block::fs_map_dataset_4,
  &file_slots_block::fs_map_dataset_5,
  &file_slots_block::fs_out_hyd,
  &file_slots_block::fs_out_gwflux,
  &file_slots_block::fs_out_celldepdis,
  &file_slots_block::fs_out_loc_1,
  &file_slots_block::fs_out_loc_2,
  &file_slots_block::fs_out_loc_3,
  &file_slots_block::fs_in_theta_location,
  &file_slots_block::fs_out_theta_location,
  &file_slots_block::fs_soil_layer_input_file,
  &file_slots_block::fs_out_sed_loc,
  &file_slots_block::fs_optimize,
  &file_slots_block::fs_out_well_location,
  &file_slots_block::fs_map_dataset_10,
  &file_slots_block::fs_unused_75,
  &file_slots_block::fs_unused_76,
  &file_slots_block::fs_chan_hotstart_out,
  &file_slots_block::fs_unused_78,
  &file_slots_block::fs_unused_79,
  &file_slots_block::fs_hyd_6digit,
  &file_slots_block::fs_lake_out,
  &file_slots_block::fs_rain_mmph,
  &file_slots_block::fs_runoff_mmph,
};

inline file_wrapper& file_slot(file_slots_block& b, int i) { return b.*file_slot_members[static_cast<size_t>(i)]; }

// Depth and discharge extremes of the channel network (card STREAM_INFO):
// depths yp - bel (m) and discharges qp (m3/s) with the node and link of each.
struct stream_extremes_record {
  double info_max_depth = 0, info_min_depth = 0, info_max_qp = 0, info_min_qp = 0;
  int max_depth_node = 0, max_depth_link = 0, min_depth_node = 0, min_depth_link = 0;
  int max_qp_node = 0, max_qp_link = 0, min_qp_node = 0, min_qp_link = 0;
};

// Time step, grid size, outlet, clock and calendar date, peak, event and run
// water volumes, card switches and the schedules of the timed processes.
// Julian dates are in days, intervals named *_interval in seconds and
// *_interval_days in days, vol_* in m3.
struct core_run_block {
  double dt = 0;                            // time step (s), card TIMESTEP (or ST_TIME_STEP when smaller)
  double dt_base = 0;                       // copy of dt taken by the time-step set-up (s)
  int rows = 0;                             // grid rows, card ROWS; every map header is checked against it
  int cols = 0;                             // grid columns, card COLS
  int sim_duration_min = 0;                 // simulated duration (min), card TOT_TIME
  int hyd_interval_steps = 0;               // time-series output interval in time steps (card HYD_FREQ)
  int map_interval_steps = 0;               // map output interval in time steps (card MAP_FREQ, default 360 min)
  int outlet_row = 0;                       // outlet cell row (card OUTROW)
  int outlet_col = 0;                       // Outlet cell column (card OUTCOL)
  double outlet_slope = 0;                  // Outlet slope for the overland outflow at the outlet cell (card OUTSLOPE)
  double event_peak_q = 0;                  // Peak discharge of the finished event in m3/s (copied from peak_q at event end; "Event peak discharge ...
  double elapsed_min = 0;                   // Elapsed simulation time in minutes (advanced every step; first column of the time-series outputs)
  double peak_q = 0;                        // Running peak of the outlet discharge qout in the current event (m3/s); 0 at every event start
  dvec map_scratch1{"map_scratch1"};        // Scratch array handed to the map and mapping-table readers as an unused destination
  double qout = 0;                          // Current outlet discharge in m3/s (overland plus channel outlet), tracked for the peak and the end-of-event ...
  double peak_time = 0;                     // Strict Julian date of the peak discharge ("peak occured on strict Julian date")
  dvec map_scratch2{"map_scratch2"};        // Scratch array handed to the map and mapping-table readers as an unused destination
  dvec map_scratch3{"map_scratch3"};        // Scratch array handed to the map and mapping-table readers as an unused destination
  int peak_year = 0;                        // Date of the peak discharge: year (copied from the current date when a new peak is found)
  int peak_month = 0;                       // Date of the peak discharge: month
  int peak_day = 0;                         // Date of the peak discharge: day
  int peak_hour = 0;                        // Date of the peak discharge: hour
  int peak_minute = 0;                      // Date of the peak discharge: minute
  int peak_second = 0;                      // Date of the peak discharge: second
  int map_rows = 0;                         // Rows value of the last ASCII map header read (the map reader writes it; printed "rows: %5d")
  int map_cols = 0;                         // Cols value of the last ASCII map header read ("cols: %5d")
  int outlet_cell = 0;                      // Active-cell number of the outlet cell ("outlet is in grid cell: %d")
  int map_mode = 0;                         // The map_read_mode set by the mask reader (2) and by the elevation reader (1) before they call ...
  double map_north = 0;                     // North value of the last ASCII map header read ("north: %9.2lf")
  double map_south = 0;                     // South value of the last ASCII map header read
  double map_east = 0;                      // East value of the last ASCII map header read
  double map_west = 0;                      // West value of the last ASCII map header read
  int keep_running = 0;                     // Run-continues flag: the run driver repeats the time-step sequence while it is 1 (set by the start-time ...
  int loop_pass = 0;                        // Time-loop pass counter; 0 on the first pass, when the clock step does not advance time
  ivec rightcon{"rightcon"};                // neighbour cell to the east (right), 0 = none; 1-based by cell
  ivec belowcon{"belowcon"};                // neighbour cell to the south (below), 0 = none; 1-based by cell
  ivec leftcon{"leftcon"};                  // neighbour cell to the west (left), 0 = none; 1-based by cell
  ivec abovecon{"abovecon"};                // neighbour cell to the north (above), 0 = none; 1-based by cell
  imat data{"data"};                        // scratch integer grid [row][col] of the grid set-up
  int xsec_section_mode = 0;                // Mode handed to ex_section by the channel event start (never set, stays 0)
  double dx = 0;                            // Grid cell size in metres (card GRIDSIZE); cell area = dx*dx in every volume sum
  int step_no = 0;                          // Time-step number n (current time = start time + n*dt)
  dvec exchange_map_values{"exchange_map_values"};// Per-cell vector [n_cells+1] allocated zeroed by the grid set-up driver (setup_grid_and_maps); the host ...
  dvec soil_moisture{"soil_moisture"};      // Per-cell soil moisture (volumetric), 1-based by active cell; filled from the soil-moisture hotstart map, ...
  int rain_active = 0;                      // 1 while rain falls in the current period: set 1 for uniform rain and 0 for a gauge file by read_project, ...
  double vol_discharge = 0;                 // Outflow volume of the finished event in m3 ("volume of discharge"; copied from vol_discharge_acc at event end)
  double vol_discharge_acc = 0;             // Outflow volume accumulated during the event by the overland and channel outlet flows
  double vol_surface_final = 0;             // Volume remaining on the surface at the end ("volume remaining on surface", "Final volume on surface=")
  double vol_overland_init = 0;             // Surface water volume at event start ("initial volume of overland flow")
  double vol_channel_init = 0;              // Channel water volume at event start ("initial volume in channels")
  double vol_channel_final = 0;             // Channel water volume at the end ("final volume in channels (cu. m)", "Final volume in channels=")
  double vol_precip = 0;                    // Rainfall volume of the event in m3, accumulated by the rainfall step; the end-of-event rule compares the ...
  double vol_precip_lake = 0;               // Event rainfall volume falling on lakes ("volume precip to lake")
  double vol_precip_lake_total = 0;         // Run total of rainfall volume on lakes ("Volume precip to lakes=")
  double vol_overland_to_lake = 0;          // Event volume moved from overland cells into lakes ("volume overland to lake")
  double vol_overland_from_lake = 0;        // Event volume moved from lakes back to overland cells ("volume overland from lake")
  double vol_infiltrated = 0;               // Event infiltrated volume ("volume of infiltrated water")
  double mass_conservation_error = 0;       // Event water-balance error (mass_in_plus_initial - mass_out_plus_final) / mass_in_plus_initial, -1 when the ...
  int rain_period_no = 0;                   // Number of the rain period within the event (1 at the event start, advanced by the rain-period step)
  int rain_not_started = 0;                 // 1 from the event start until the rain step first sees event rain (then rain_start_min is taken)
  int n_rain_steps = 0;                     // Number of time steps with rain in the event ("number of timesteps with rain")
  int precip_event_flag = 0;                // Working flag of precip_event_step, zeroed by setup_start_time
  double event_rain_acc = 0;                // Event water input accumulated by the rain step (seeded with the initial surface volume when that exceeds ...
  double rain_start_min = 0;                // Elapsed minutes when rain began in the event ("elapsed time when rain began")
  int units_flag = 0;                       // UNITS card value copied from run_params (echoed in the event summary)
  double m3_to_ft3 = 35.314667;             // 35.314667, cubic metres to cubic feet (cms -> cfs outputs)
  int pqm_hydro_on = 0;                     // 1 when card PQM_HYDRO names a hydrograph file for the pre/post-processor
  int float_maps_read = 1;                  // 1 from construction on; the event summary then says the maps were read as reals
  int mapping_table_on = 0;                 // 1 when card MAPPING_TABLE was given (parameter maps may come from the mapping table)
  int st_mapping_table_on = 0;              // 1 when card ST_MAPPING_TABLE names a stream mapping-table file (set by the run settings, which then run ...
  int map_grid_files = 0;                   // 1 when map type 0 (one ESRI ASCII grid file per quantity and frame)
  int interception_on = 0;                  // 1 when interception is simulated (cards INTERCEPTION or INTERCEPTION_COEFF)
  int roughness_on = 0;                     // 1 when card ROUGHNESS names a roughness map
  int manning_n_on = 0;                     // 1 when card MANNING_N gives a uniform roughness
  int moisture_on = 0;                      // 1 when card MOISTURE names an initial soil-moisture map
  int uniform_moisture_on = 0;              // 1 when one initial soil moisture is given for every cell
  int lakes_on = 0;                         // 1 when the channel network holds lakes; gates the per-cell lake_num array and the lake handling of the ...
  int reten_depth_file_on = 0;              // 1 when card RETEN_DEPTH names a retention-depth map file
  int reten_depth_on = 0;                   // 1 when card RETEN_DEPTH was given
  int conductivity_on = 0;                  // 1 when card CONDUCTIVITY names a hydraulic-conductivity map
  int contam_map_on = 0;                    // 1 when card CONTAM_MAP was given
  int capillary_on = 0;                     // 1 when card CAPILLARY names a capillary-head map
  int porosity_on = 0;                      // 1 when card POROSITY names a porosity map
  int pore_index_on = 0;                    // 1 when card PORE_INDEX names a pore-distribution-index map
  int residual_sat_on = 0;                  // 1 when card RESIDUAL_SAT names a residual-saturation map
  int qout_cfs_on = 0;                      // 1 when card QOUT_CFS asks for outlet discharge in cubic feet per second
  int quiet_on = 0;                         // 1 when card QUIET suppresses progress output
  int long_term_on = 0;                     // 1 in long-term (multi-event) mode (card LONG_TERM); tested by most loop steps
  int strict_julian_date_on = 0;            // 1 when card STRICT_JULIAN_DATE asks for Julian dates in the time-series outputs
  int hmet_surfaways_on = 0;                // 1 when the meteorological input is in the Surface Airways format (card HMET_SURFAWAYS)
  int hmet_samson_on = 0;                   // 1 when the meteorological input is in the SAMSON format (card HMET_SAMSON)
  int hmet_vrx_on = 0;                      // 1 when the meteorological input is in the hourly VRX format (card HMET_VRX)
  int albedo_on = 0;                        // 1 when card ALBEDO names a map or the mapping table holds the EVAPOTRANSPIRATION table
  int vheight_on = 0;                       // 1 when card VHEIGHT names a map or the mapping table holds the EVAPOTRANSPIRATION table
  int tcoeff_on = 0;                        // 1 when card TCOEFF names a map or the mapping table holds the EVAPOTRANSPIRATION table
  int canopy_on = 0;                        // 1 when card CANOPY names a map or the mapping table holds the EVAPOTRANSPIRATION table
  int wilting_point_on = 0;                 // 1 when card WILTING_POINT names a map or the mapping table holds the EVAPOTRANSPIRATION table
  int hmet_ascii_on = 0;                    // 1 when the meteorological input is a set of gridded ASCII files (card HMET_ASCII)
  int optimize_on = 0;                      // 1 when card OPTIMIZE is given (calibration output per event; also set by the run driver in tool modes)
  int optimize_sed_on = 0;                  // 1 when card OPTIMIZE_SED is given (sediment calibration output)
  dvec hyd_loc_max_q{"hyd_loc_max_q"};      // Per hydrograph (or sediment) output location the event maximum of the channel discharge, for the calibrator
  dvec hyd_loc_volume{"hyd_loc_volume"};    // Per hydrograph (or sediment) output location the event volume accumulated by the channel routing, for the ...
  int chan_depth_on = 0;                    // 1 when card CHAN_DEPTH asks for the channel depth time series
  int chan_discharge_on = 0;                // 1 when card CHAN_DISCHARGE asks for the channel discharge time series
  int chan_velocity_on = 0;                 // 1 when card CHAN_VELOCITY asks for the channel velocity time series
  int chan_stage_on = 0;                    // 1 when card CHAN_STAGE asks for the channel stage time series
  int chan_sed_flux_on = 0;                 // 1 when card CHAN_SED_FLUX asks for the channel sediment flux time series
  file_wrapper chan_depth_file;             // Channel depth time-series output ("output channel depth"), opened "w" by open_run_files when chan_depth_on
  file_wrapper chan_discharge_file;         // Channel discharge time-series output ("output channel discharge")
  file_wrapper chan_velocity_file;          // Channel velocity time-series output ("output channel velocity")
  file_wrapper chan_stage_file;             // Channel stage time-series output ("output channel stage")
  file_wrapper chan_sed_flux_file;          // Channel sediment-flux time-series output ("output stream_sed_flux")
  int cur_year = 0;                         // Current date: year (set from START_DATE at set-up, advanced each step by the clock from the Julian time)
  int cur_month = 0;                        // Current date: month
  int cur_day = 0;                          // Current date: day
  int cur_hour = 0;                         // Current date: hour
  int cur_minute = 0;                       // Current date: minute
  int cur_second = 0;                       // Current date: second (whole seconds from cur_second_frac)
  double cur_second_frac = 0;               // Current date: seconds as a real number, from the Julian-date inversion
  int cur_day_of_year = 0;                  // Day of the year of the current date (recomputed by the clock step)
  double start_time = 0;                    // Julian start time of the run (hydromet begin hour in long-term runs, START_DATE/START_TIME when given, ...
  double hmet_end_time = 0;                 // Julian time of the hydromet end date and hour (long-term runs); set by setup_start_time
  double time_tol = 0;                      // Timing tolerance in days of every timing test of the loop steps: a step is due when the absolute ...
  double dt_days = 0;                       // Time step in days (dt_base / 86400); set by setup_start_time, used by advance_clock
  double now = 0;                           // Current simulation time as a Julian day number (start + step_no*dt); the time every loop step tests against
  double loop_start_time = 0;               // Time origin of the clock (now at the end of setup_start_time); advance_clock sets now = loop_start_time + ...
  double precip_interval = 0;               // Precipitation update interval in seconds (TIMESTEP at start); precip_period is the same in days
  double precip_period = 0;                 // Length of the current precipitation period in days
  double precip_period_start = 0;           // Start time (Julian) of the current precipitation period
  double precip_period_end = 0;             // End time (Julian) of the current precipitation period = next precipitation update time
  double infil_interval = 0;                // Infiltration interval in seconds (schedule of infiltration_step)
  double infil_interval_days = 0;           // infil_interval / 86400
  double last_infil_time = 0;               // Julian time of the last infiltration update
  double next_infil_time = 0;               // Julian time of the next infiltration update
  double chan_interval = 0;                 // Channel routing interval in seconds (chan_route_step)
  double chan_interval_days = 0;            // chan_interval / 86400
  double last_chan_time = 0;                // Julian time of the last channel routing update
  double next_chan_time = 0;                // Julian time of the next channel routing update
  double lt_et_interval = 0;                // Long-term evapotranspiration interval in seconds (3600; longterm_et_step)
  double lt_et_interval_days = 0;           // lt_et_interval / 86400 (1/24)
  double last_lt_et_time = 0;               // Julian time of the last long-term ET update
  double next_lt_et_time = 0;               // Julian time of the next long-term ET update
  double hmet_interval = 0;                 // Hydromet reading interval in seconds (3600; hmet_step)
  double hmet_interval_days = 0;            // hmet_interval / 86400 (1/24)
  double last_hmet_time = 0;                // Julian time of the last hydromet hour read
  double next_hmet_time = 0;                // Julian time of the next hydromet hour to read
  double hmet_hour_count = 0;               // Counter kept by hmet_step, zeroed by setup_start_time
  double et_interval = 0;                   // Event evapotranspiration interval in seconds (event_et_step); last_et_time/next_et_time are its times
  double et_interval_days = 0;              // et_interval / 86400
  double last_et_time = 0;                  // Time (Julian) of the last evapotranspiration update
  double next_et_time = 0;                  // Time (Julian) of the next evapotranspiration update
  double gw_interval = 0;                   // Groundwater interval in seconds (groundwater_step)
  double gw_interval_days = 0;              // gw_interval / 86400
  double last_gw_time = 0;                  // Julian time of the last groundwater update
  double next_gw_time = 0;                  // Julian time of the next groundwater update
  double next_rain_period_time = 0;         // Julian time of the next rain-period update of precip_period_step (start of the first rain event at set-up; ...
  double vol_exfil = 0;                     // Event volume of water exfiltrated directly to the surface from groundwater ("volume of water exfiltrated")
  double vol_exfil_total_at_start = 0;      // vol_exfil_total at the event start ("beginning vol of water exfiltrated this event")
  double vol_exfil_total = 0;               // Run total of exfiltration back onto the overland surface ("Total amount of exfiltration=")
  double next_event_start = 0;              // Start time (Julian) of the next rainfall event
  int event_done = 0;                       // Event-finished flag: set by the rain-event step and the end-of-event rules, consumed by the end-of-event step
  int event_step = 0;                       // Number of the time step within the current event (1 at the event's first step); zeroed by ...
  int infil_step = 0;                       // Infiltration step number within the event (1 at the event start, advanced by the infiltration step)
  int chan_step_counter = 0;                // Step counter advanced by advance_clock and by chan_route_step; zeroed by setup_start_time
  double run_end_time = 0;                  // Julian end of a single-event run = start_time + sim_duration_min / 1440
  stream_extremes_record stream_extremes;   // channel extremes of the last STREAM_INFO print
  int lake_kinds_advice_printed = 0;        // 1 once the advice against overland and channel lakes together was printed
};

}  // namespace kavro
