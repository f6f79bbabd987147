// The Richards soil columns and the per-cell weather of the run record.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "framework/checked_array.h"
#include "framework/file_wrapper.h"
#include "framework/one_based.h"
#include "hydromet/weather_run_state.h"
#include "subsurface/richards_scratch.h"

namespace kavro {

// Richards columns [cell][node] (soil depths in cm), per-cell weather and
// elevation bands, run and event volumes of soil water and evaporation (m3).
struct richards_met_block {
  int richards_on = 0;                              // 1 when the infiltration method (run_params value 4) is the Richards equation
  int water_table_on = 0;                           // 1 when card WATER_TABLE names an initial water-table map (water table present)
  int richards_upper_option = 0;                    // Copy of card RICHARDS_UPPER_OPTION (default 1)
  double event_bottom_flux_cm = 0;                  // Event sum of column-bottom flux depths (cm), zeroed at event start
  double aquifer_delta_z = 0;                       // Copy of card AQUIFER_DELTA_Z (default -999.9; the water-table reader sets 0.1)
  dvec bottom_elev{"bottom_elev"};                  // Aquifer bottom elevation per cell
  dvec elevgw{"elevgw"};                            // Groundwater head (water-table elevation) per cell
  dvec gw_flux{"gw_flux"};                          // Groundwater flux per cell
  double vol_gw_bound_flux_total = 0;               // Run total of groundwater flux across head boundaries ("Total flux of gw across bounds=")
  dmat PHEAD{"PHEAD"};                              // Pressure head of the Richards column
  dmat KHEAD{"KHEAD"};                              // Relative hydraulic conductivity of the Richards column
  dmat THETA{"THETA"};                              // Volumetric moisture of the Richards column (also copied onto the soil-temperature nodes)
  dmat WATCAP{"WATCAP"};                            // Moisture capacity dtheta/dh of the Richards column
  dmat WATFLUX{"WATFLUX"};                          // allocation name "WATFLUX"
  dmat SOURCE{"SOURCE"};                            // allocation name "SOURCE"
  dmat KS{"KS"};                                    // allocation name "KS"
  dmat DZ{"DZ"};                                    // Node spacing of the Richards column
  dmat thehac{"thehac"};                            // allocation name "thehac"
  dmat BChc{"BChc"};                                // allocation name "BChc"
  dmat BP{"BP"};                                    // allocation name "BP"
  dmat LAM{"LAM"};                                  // allocation name "LAM"
  dmat THETAS{"THETAS"};                            // allocation name "THETAS"
  dmat THETAR{"THETAR"};                            // allocation name "THETAR"
  dmat THETAWP{"THETAWP"};                          // allocation name "THETAWP"
  dmat THETAFC{"THETAFC"};                          // allocation name "THETAFC"
  dmat rich_alpha{"ALPHA"};                         // Richards soil parameter per [cell][node], allocation name "ALPHA"
  dmat BETA{"BETA"};                                // allocation name "BETA"
  dmat AHAV{"AHAV"};                                // allocation name "AHAV"
  dmat BHAV{"BHAV"};                                // allocation name "BHAV"
  dvec A{"A"};                                      // allocation name "A"
  dvec B{"B"};                                      // allocation name "B"
  dvec C{"C"};                                      // allocation name "C"
  dvec D{"D"};                                      // allocation name "D"
  dvec PHEADOLD{"PHEADOLD"};                        // allocation name "PHEADOLD"
  dvec dtr{"dtr"};                                  // allocation name "dtr"
  dvec avgks{"avgks"};                              // allocation name "avgks"
  dvec totaldz{"totaldz"};                          // allocation name "totaldz"
  dvec VOLCHANGE{"VOLCHANGE"};                      // Per-cell change of the Richards column water in the last solve (cm)
  dvec MASSERROR{"MASSERROR"};                      // Per-cell mass-balance error of the Richards column in the last solve (cm)
  ivec num1{"num1"};                                // allocation name "num1" (n = 151)
  ivec num2{"num2"};                                // allocation name "num2"
  ivec num3{"num3"};                                // allocation name "num3"
  ivec numcells{"numcells"};                        // allocation name "numcells"
  ivec numtot{"numtot"};                            // allocation name "numtot"
  ivec bound_type{"bound_type"};                    // allocation name "bound_type"
  dvec rich_bottom_flux{"rich_bottom_flux"};        // Per-cell water that left the bottom of the Richards column since the last transfer (cm)
  int richards_iter_max = 0;                        // Copy of card RICHARDS_ITER_MAX (default 1)
  double richards_weight = 0;                       // Copy of card RICHARDS_WEIGHT (default 1.0)
  int richards_k_option = 0;                        // Copy of card RICHARDS_K_OPTION (default 2, geometric)
  int richards_c_option = 0;                        // Copy of card RICHARDS_C_OPTION
  int richards_max_nodes = 0;                       // Result of the Richards soil-table reader (largest column node count plus 2), second dimension of the Richards column ...
  int richards_num_size = 0;                        // 151, the size of the Richards int vectors num1, num2, num3 (alloc_cell_arrays)
  double richards_dtheta_max = 0;                   // Copy of card RICHARDS_DTHETA_MAX (default 0.0025)
  dvec pot_et{"pot_et"};                            // Potential evapotranspiration per cell
  dvec pot_aet{"pot_aet"};                          // allocation name "pot_aet"
  dvec cfgi_value{"cfgi_value"};                    // Frozen-ground index per cell, 1-based by active cell (long-term runs with cfgi_on; filled by the evapotranspiration step)
  dvec DIRECT_EVAP{"DIRECT_EVAP"};                  // Direct evaporation per cell in cm
  double vol_direct_evap = 0;                       // Event volume of direct evaporation ("volume of direct evaporation", "volume of et removed water")
  int n_met_gages = 1;                              // Number of meteorological stations for the weather distribution; set to 1 by alloc_cell_arrays
  int n_elev_bands = 0;                             // Number of elevation bands, floor((elev_max - elev_min)/100) + 4 (compute_elevation_bands)
  double elev_band_width = 100.0;                       // Elevation band width, 100 m (compute_elevation_bands)
  double elev_max = 0;                              // Highest cell elevation (elevation-band set-up; starts at -999999999999.9)
  double elev_min = 0;                              // Lowest cell elevation (elevation-band set-up; starts at 999999999999.9)
  dmat Gage_XYZ_Lev_P_rh_c_w_t_qh{"Gage_XYZ_Lev_P_rh_c_w_t_qh"};// Per meteorological gauge: x, y, z, band and hourly values used by the elevation-band interpolation
  dmat GAGE_IDW{"GAGE_IDW"};                        // Inverse-distance weights
  dmat Dist_Cell2Gage{"Dist_Cell2Gage"};            // Three-dimensional distance from cell to gauge
  d3d El_T_P_e_es_LR{"El_T_P_e_es_LR"};             // Per band and gauge: elevation, temperature, pressure, vapour pressures and lapse rate
  cmat cell_hour_flags{"cell_hour_flags"};          // [cell][hour 0..23] one-byte flags of the weather step, all 0 at set-up (long-term runs)
  dvec R_short{"R_short"};                          // Short-wave radiation per cell
  dvec R_long{"R_long"};                            // Long-wave radiation per cell
  dvec inc_solar_rad{"inc_solar_rad"};              // Incident solar radiation per cell
  dvec Cell_Aspect_Eff_Rad_Percent{"Cell_Aspect_Eff_Rad_Percent"};// Aspect and shading efficiency of radiation per cell
  ivec LR_Num{"LR_Num"};                            // allocation name "LR_Num" (n = active cells)
  ivec Hours_Since_Snow{"Hours_Since_Snow"};        // allocation name "Hours_Since_Snow" (n = active cells)
  ivec melt_occurred{"melt_occurred"};              // allocation name "melt_occurred" (n = active cells)
  ivec Snow_Accumulated_Hr{"Snow_Accumulated_Hr"};  // allocation name "Snow_Accumulated_Hr" (n = active cells)
  dvec albedo_w_snow{"albedo_w_snow"};              // Albedo with snow per cell
  int dalr_on = 0;                                  // 1 when card YES_DALR_FLAG asks for the dry-adiabatic lapse rate
  double lapse_rate = 0;                            // Air-temperature lapse rate used by the meteorology step (0.00981 when the dry-adiabatic rate is chosen)
  dvec temper_gridded_sum{"temper_gridded_sum"};    // allocation name "temper_gridded_sum" (n = active cells)
  dvec eff_temp_gridded{"eff_temp_gridded"};        // allocation name "eff_temp_gridded" (n = active cells)

  // ---- Weather of long-term runs: the reader, the hour over the grid, the
  // sun, evapotranspiration and the frozen-ground index.
  int hmet_call_no = 0;                             // number of the coming weather read: 1 the scan, 2 the first hour, then on
  int hmet_n_records = 0;                           // weather records counted by the scan (1 in a run without LONG_TERM)
  hmet_reader_state hmet_reader;                    // the weather reader's place, last good values and buffers (this run only)
  weather_work weather_buffers;                     // work arrays of the hourly per-cell weather loops
  double station_x = 0;                             // x of the weather station (map units, card HMET_XCOORD_GAGE)
  double station_y = 0;                             // y of the weather station (map units, card HMET_YCOORD_GAGE)
  double orog_gage_elev = 0;                        // elevation of the orographic gauge (m, its file's header)
  double base_gage_elev = 0;                        // elevation of the base station of the orographic lapse rate (m)
  int sun_day_of_year = 0;                          // day of year of the weather hour
  double sun_declination = 0;                       // solar declination of the weather hour (radians)
  double sun_hour_angle = 0;                        // solar hour angle of the weather hour (radians, 0 at noon)
  double sun_altitude = 0;                          // solar altitude of the weather hour (radians)
  double sun_azimuth = 0;                           // solar azimuth, clockwise from north (radians)
  double sun_zenith = 0;                            // solar zenith angle (radians)
  int shading_on = 0;                               // 1 in long-term runs: the terrain shades cells from the sun
  int albedo_hour_count = 0;                        // hours summed in temper_gridded_sum since the daily snow albedo
  double mean_elevation = 0;                        // mean ground elevation of the cells (m)
  double clear_sky_rad_day = 0;                     // clear-sky noon radiation of the day (W/m2)
  double clear_sky_rad_max = 0;                     // largest clear-sky noon radiation of the year (W/m2)
  double snow_mf_constant = 0;                      // card NWSRFS_MF_CONSTANT
  double snow_mbase = 0;                            // base temperature of melt (degrees C, card SNOW_TEMP_BASE, else 0)
  dvec snow_mf_max{"snow_mf_max"};                  // [cell] largest melt factor (mm/C/6h)
  dvec snow_mf_min{"snow_mf_min"};                  // [cell] smallest melt factor (mm/C/6h)
  dvec snow_fr_use{"snow_fr_use"};                  // [cell] frozen-ground use factor
  dvec snow_scf{"snow_scf"};                        // [cell] snow correction factor of the gauge catch
  dvec snow_tipm{"snow_tipm"};                      // [cell] antecedent temperature index weight
  dvec snow_nmf{"snow_nmf"};                        // [cell] negative melt factor (mm/C/6h)
  dvec snow_fua{"snow_fua"};                        // [cell] melt of the areal depletion factor
  dvec snow_plwhc{"snow_plwhc"};                    // [cell] liquid water holding capacity (fraction)
  dvec ground_temp{"ground_temp"};                  // [cell] ground surface temperature (K), carried from hour to hour
  dvec ground_heat_flux{"ground_heat_flux"};        // [cell] residual of the surface energy balance (kW/m2)
  int ground_temp_started = 0;                      // 1 once the ground temperatures started at the air temperature
  dmat temp_hr{"temp_hr"};                          // [cell][1..24] the last 24 hourly cell temperatures, newest in slot 1 (C)
  dvec daily_temp{"daily_temp"};                    // [cell] sum of temp_hr (C)
  double soil_moisture_mean = 0;                    // basin mean soil moisture of the last hourly averages
  double prev_vol_evap_total = 0;                   // vol_evap_total at the last hourly averages (m3)
  // ---- end of the weather group
  int veg_trans_min_on = 0;                         // Presence flag of card VEG_TRANS_MIN copied by alloc_cell_arrays in long-term runs
  double veg_trans_min = 0;                         // Copy of card VEG_TRANS_MIN (default 0.4)
  int seasonal_rs_on = 0;                           // 1 when card SEASONAL_RS gives seasonal canopy resistance
  int seasonal_rs_spring = 0;                       // Copy of card SEASONAL_RS_SPRING
  int seasonal_rs_fall = 0;                         // Copy of card SEASONAL_RS_FALL
  int seasonal_rs_summer_start = 0;                 // Copy of card SEASONAL_RS_SUMMER_START
  int seasonal_rs_summer_end = 0;                   // Copy of card SEASONAL_RS_SUMMER_END
  dvec inf_rich{"inf_rich"};                        // allocation name "inf_rich"
  double vol_net_infiltrated = 0;                   // Event net volume infiltrated to soil ("net vol infiltrated to soil (cu. m.)")
  std::string water_table_path;                     // File-name buffer holding the path of card WATER_TABLE (copied from `project_params` by the run settings step)
  std::string aquifer_bottom_path;                  // File-name buffer holding the path of card AQUIFER_BOTTOM (copied from `project_params` by the run settings step)

  // ---- Richards column solver: per-thread work and per-cell results of a call
  // (the column cells are solved in parallel; each writes only its own slots).
  std::vector<richards_scratch> richards_scratch_by_thread;  // work vectors of the column solve, one set per thread, sized once per run
  dvec rich_step_returned{"rich_step_returned"};    // per cell: depth that left the surface upwards in the last call (m)
  dvec rich_step_exfil{"rich_step_exfil"};          // per cell: soil water that rose into the pond in the last call (m)
  ivec rich_bad_node{"rich_bad_node"};              // per cell: first node whose moisture was not a number in the last call (0 none)
  ivec rich_flux_nan{"rich_flux_nan"};              // per cell: 1 when a flux of the last call was not a number
  ivec rich_substeps{"rich_substeps"};              // per cell: sub-steps the column took in the last call
  std::vector<double> rich_sum_partials;            // chunk sums of the per-cell results, sized once per run
};

}  // namespace kavro
