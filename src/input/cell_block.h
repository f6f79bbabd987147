// The per-cell block of the run record: soil, surface, weather and elevation
// data of every active cell and their switches, filled by the grid set-up and
// the per-cell loaders and used by the overland, soil and weather steps.
//
// Every vector is 1-based by active-cell number (cell 0 unused) unless its
// comment says otherwise; the loaders allocate n_cells + 1 cells.
#pragma once

#include <string>

#include "framework/one_based.h"
#include "hydromet/hmet_record.h"
#include "overland/overland_records.h"

namespace kavro {

struct per_cell_block {
  dvec conductivity{"conductivity"};        // saturated hydraulic conductivity of the infiltration methods (m/s)
  dvec contam_map{"contam_map"};            // contaminant load value of card CONTAM_MAP
  dvec capillary{"capillary"};              // capillary (suction) head (m)
  dvec porosity{"porosity"};                // soil porosity (fraction)
  dvec pore_index{"pore_index"};            // pore-distribution index
  dvec residual_moisture{"residual_moisture"};  // residual moisture of the initial soil-water set-up (m3/m3)
  dvec residual_sat{"residual_sat"};        // residual saturation (fraction)
  dvec field_capacity{"field_capacity"};    // field capacity (m3/m3)
  dvec init_moisture{"init_moisture"};      // initial soil moisture (m3/m3); exchange maps may replace it
  dvec redist_theta1{"redist_theta1"};      // first moisture value of the redistribution method (m3/m3), init_moisture at event start
  dvec cum_infil{"cum_infil"};              // cumulative infiltrated depth of the event (m)
  dvec cum_infil_depth{"cum_infil_depth"};  // cumulative infiltrated depth of the run (m)
  dvec cum_infil_prev{"cum_infil_prev"};    // cum_infil at the previous infiltration update (m)
  dvec ov_depth{"ov_depth"};                // overland water depth (m): the central state of the overland solver
  dvec ov_depth_old{"ov_depth_old"};        // overland depth read by the constituent transport steps (m)
  dvec ov_depth_new{"ov_depth_new"};        // second overland depth vector of the overland solver (m)
  dvec ov_qx{"ov_qx"};                      // flow through the cell's right face after a routing pass (m3/s, + toward the neighbour)
  dvec ov_qy{"ov_qy"};                      // flow through the cell's lower face after a routing pass (m3/s, + toward the neighbour)
  int ov_route_count = 0;                   // overland routing calls made, zeroed by the depth hotstart reader
  int ov_cells_wet = 0;                     // 1 while some cell holds surface water (set by the overland routing)
  double ov_outlet_vol = 0;                 // overland outflow volume through the outlet cell in the last routing pass (m3)
  dvec infil_rate{"infil_rate"};            // infiltration rate (cm/h)
  ivec soiltype{"soiltype"};                // soil-type or index-map ID of the cell (row of soil_type_table)
  dvec rain_rate{"rain_rate"};              // rainfall rate of the current precipitation period (mm/h)
  dvec ri_eff{"ri_eff"};                    // rainfall rate below the canopy after interception (mm/h)
  int dike_on = 0;                          // 1 when card DIKE_MAP (alias EMBANKMENT) names an embankment map
  ivec dike_mask{"dike_mask"};              // embankment sides of the cell (sum of side codes 1, 2, 4, 8), 0 none
  int lowspot_on = 0;                       // 1 when card LOWSPOT_FILE names a low-spot file
  int n_low_spots = 0;                      // low-spot records read from the low-spot file
  ivec low_spot_flow_cell{"low_spot_flow_cell"};  // 1 for a cell on either side of a low spot that passed water
  one_based_vec<low_spot> low_spots{"low_spots"};  // low-spot records, 1..n_low_spots
  int wetlands_on = 0;                      // 1 when the mapping table holds the wetland properties table
  int n_wetlands = 0;                       // wetlands of the WETLAND_PROPERTIES table
  ivec wetland_mask{"wetland_mask"};        // wetland number of the cell, 0 none
  one_based_vec<wetland_params> wetland_table{"wetland_table"};  // wetland records, 1..n_wetlands
  int wetland_cells_lowered = 0;            // 1 once the first event start lowered the wetland cells by elev_drop (once per run)
  int inf_redist_on = 0;                    // 1 when the infiltration method is Green-Ampt with redistribution (2)
  int green_ampt_on = 0;                    // 1 when the infiltration method is Green-Ampt (1)
  int redist_reinit = 0;                    // 1 once the event start re-initialised the redistribution state
  ivec iter_pond_1{"iter_pond_1"};          // redistribution: call at which the cell first ponded in the event (0 not yet)
  ivec iter_n{"iter_n"};                    // redistribution: call at which the cell last redistributed (0 never)
  ivec no_wat_prof{"no_wat_prof"};          // redistribution: wetting profiles after renewed ponding (0, 1 or 2)
  ivec iter_i_less_k{"iter_i_less_k"};      // redistribution: last call with supply below conductivity before ponding
  dvec redist_theta2{"redist_theta2"};      // second moisture value of the redistribution method (m3/m3), init_moisture at event start
  dvec redist_work{"redist_work"};          // working depth of the redistribution method (m), 0 at event start
  dvec canopy_snow{"canopy_snow"};          // snow held on the canopy (m of water)
  dvec snow_canopy_col1{"snow_canopy_col1"};  // column 1 of the SNOW_CANOPY_INTERCEPTION table
  dvec snow_canopy_col2{"snow_canopy_col2"};  // column 2 of the SNOW_CANOPY_INTERCEPTION table
  dvec snow_canopy_col3{"snow_canopy_col3"};  // column 3 of the SNOW_CANOPY_INTERCEPTION table
  int soil_redist_on = 0;                   // 1 with infiltration method 2 or 3: soil moisture and event ET carried through events
  dvec albedo{"albedo"};                    // surface albedo (fraction)
  dvec veg{"veg"};                          // vegetation height (m)
  dvec Kt{"Kt"};                            // vegetation transmission coefficient
  dvec Rs{"Rs"};                            // canopy resistance (s/m)
  dvec wilting_point{"wilting_point"};      // wilting point (m3/m3)
  dvec soil_column_water_cm{"soil_column_water_cm"};  // soil water depth of the soil column (cm), long-term accounting
  dvec soil_water_cm{"soil_water_cm"};      // soil water depth of the top soil layer (cm), long-term accounting
  dvec soil_water2_cm{"soil_water2_cm"};    // soil water depth of the second soil layer (cm), long-term accounting
  double top_layer_depth_cm = 40.0;         // top soil layer depth (cm): card TOP_LAYER_DEPTH (m) * 100
  int hmet_begin_year = 0;                  // first date and hour of the weather data
  int hmet_begin_month = 0;
  int hmet_begin_day = 0;
  int hmet_begin_hour = 0;
  int hmet_end_year = 0;                    // last date and hour of the weather data
  int hmet_end_month = 0;
  int hmet_end_day = 0;
  int hmet_end_hour = 0;
  hmet_hour_record hmet_record;             // the current hour of weather
  double latitude_deg = 0;                  // watershed latitude (degrees, card LATITUDE)
  double longitude_deg = 0;                 // watershed longitude (degrees, card LONGITUDE)
  double soil_moist_depth_cm = 40.0;        // depth over which the basin soil water is averaged (cm): SOIL_MOIST_DEPTH (m) * 100; one value per run
  dvec soil_layer_cm{"soil_layer_cm"};      // depth of the soil layer that soil_water_cm fills (cm)
  dvec root_depth{"root_depth"};            // root-zone depth (m)
  int event_no = 0;                         // current event number, from 1
  int n_events_done = 0;                    // events accounted by end_event
  int et_calc_penman_on = 0;                // 1 when card ET_CALC_PENMAN selects the Penman ET method
  int et_calc_deardorff_on = 0;             // 1 when card ET_CALC_DEARDORFF selects the Deardorff ET method
  int event_over = 0;                       // 1 when the end-of-event rules ended the event; consumed by the host exchange step
  int event_active = 0;                     // 1 while a rain event is in progress
  double gmt_offset = 0;                    // time-zone offset from GMT (hours, card GMT)
  double event_min_q = 0;                   // outlet flow below which a long-term event ends (m3/s, card EVENT_MIN_Q)
  std::string hmet_station_name;            // station field of a SAMSON weather file (its leading capitals name the station)
  int n_hmet_repaired = 0;                  // missing weather values replaced while reading
  double pet_rate = 0;                      // basin potential evapotranspiration rate (cm/h)
  double init_basin_soil_water = 0;         // basin mean relative soil water at the event start (fraction)
  double final_basin_soil_water = 0;        // basin mean relative soil water at the event end (fraction)
  dvec direct_gridded{"direct_gridded"};    // direct radiation of the hour per cell
  dvec diffuse_gridded{"diffuse_gridded"};  // diffuse radiation of the hour per cell
  dvec cloud_cover_gridded{"cloud_cover_gridded"};  // cloud cover of the hour per cell
  dvec temper_gridded{"temper_gridded"};    // air temperature of the hour per cell (degrees C)
  dvec rh_gridded{"rh_gridded"};            // relative humidity of the hour per cell (per cent)
  dvec pres_gridded{"pres_gridded"};        // barometric pressure of the hour per cell (mbar)
  dvec vel_gridded{"vel_gridded"};          // wind speed of the hour per cell (m/s)
  dvec ov_aux_depth{"ov_aux_depth"};        // surface value handed to the overland solver beside ov_depth (m)
  dvec elevation{"elevation"};              // ground elevation (m)
  dvec slope_right{"slope_right"};          // slope towards the right (east) neighbour, (z - z_right) / dx
  dvec slope_below{"slope_below"};          // slope towards the neighbour below (south), (z - z_below) / dx
  dvec slope_x{"slope_x"};                  // ground slope in x (east-west)
  dvec slope_y{"slope_y"};                  // ground slope in y (north-south)
  dvec icep_stor{"icep_stor"};              // interception storage capacity (mm)
  dvec icep_coef{"icep_coef"};              // interception coefficient
  dvec icep_dep{"icep_dep"};                // water held by interception (mm)
  dvec retent_dep{"retent_dep"};            // surface retention depth (m)
  double uniform_retention = 0;             // uniform retention depth (mm), card RETENTION when reten_depth_on
  double uniform_manning_n = 0;             // uniform overland Manning n (card MANNING_N) when roughness_on is 0
  dvec dist_rough{"dist_rough"};            // overland Manning n
  dvec roughness_exp{"roughness_exp"};      // depth-decay coefficient of the roughness (1/m)
  dvec dist_rough_copy{"dist_rough_copy"};  // Manning n as loaded, kept while snow changes dist_rough
  dvec ov_mann_exp{"ov_mann_exp"};          // effective roughness n * exp(-k * depth)
  int snow_roughness_on = 0;                // 1 when card SNOW_ROUGHNESS changes the roughness under snow
  int snow_darcy_on = 0;                    // 1 when card SNOW_DARCY is given (Darcy flow under snow)
  int snow_calibrate_on = 0;                // 1 when card SNOW_CALIBRATE is given
  double snow_roughness_value = 0;          // the SNOW_ROUGHNESS value
  double snow_darcy = -1.0;                 // value of card SNOW_DARCY, -1 when absent
  int snow_no_infiltrate_on = 0;            // 1 when card SNOW_NO_INFILTRATE stops infiltration under snow
  ivec snow_no_infil_cell{"snow_no_infil_cell"};  // 1 where snow stops infiltration
  int runoff_active = 0;                    // 1 from an event start (or water input) until the runoff of a long-term event is complete
  int overtype = 2;                         // overland scheme (card OVERTYPE): 1 explicit, 2 ADE, 3 ADE-PC
  int ov_toggle = 1;                        // sweep order of the overland routing, alternates 1 and 2
  int ov_contam_toggle = 1;                 // sweep order of the overland constituent transport, alternates 1 and 2
  dmat Temp_Daily_Avg{"Temp_Daily_Avg"};    // [3][25] hourly air-temperature table of the daily mean (degrees C)
  int ovr_flow_block_on = 0;                // 1 when card OVR_FLOW_BLOCK gives an overland flow blockage table
  dvec ovr_flow_block{"ovr_flow_block"};    // blocked fraction of the cell area
  dmat ovr_flow_block_frac{"ovr_flow_block_frac"};  // [cell][face] blocked fraction of each face: 1 upper, 2 right, 3 lower, 4 left
};

}  // namespace kavro
