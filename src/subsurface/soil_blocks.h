// The soil and groundwater blocks of the run record: layered soil, the
// groundwater switches, arrays, volumes and files, the stream-aquifer
// exchange and the overland output locations.
//
// Per-cell vectors are 1-based by active cell; [node][link] matrices run
// over the channel network. Volumes in m3; vol_*_total are run totals and
// vol_*_total_at_start their value at the event start.
#pragma once

#include <string>
#include <vector>

#include "framework/file_wrapper.h"
#include "framework/one_based.h"

namespace kavro {

struct soil_block {
  int multi_layer_ga_on = 0;            // 1 when the infiltration method is multi-layer Green-Ampt (3)
  dvec wetdep{"wetdep"};                // depth of the wetting front below the surface (cm)
  dmat THETA_ML{"THETA_ML"};            // [cell][layer 1..3] moisture of the Green-Ampt layers (m3/m3)
  std::string in_sed_loc_path;          // file of card IN_SED_LOC
  int adjust_elev_on = 0;               // 1 when erosion may change cell elevations (ADJUST_ELEV)
  double gw_timestep = 0;               // groundwater time step (card GW_TIMESTEP)
  int gw_assign_theta_on = 0;           // 1 when card GW_ASSIGN_THETA is given
  double vol_soil_water_start = 0;      // soil-column water of the simple soil accounting at the start of the run (m3)
  double vol_soil_water_end = 0;        // soil-column water of the simple soil accounting at the end of the run (m3)
  double vol_evap_soil_adjust = 0;      // evaporation booked to the soil columns that the simple soil balance leaves out (m3)
  dvec inf_depth_since_smr{"inf_depth_since_smr"};  // [cell] depth infiltrated since the soil-moisture redistribution last took it (m), with soil_redist_on
  dvec gw_exfil_depth{"gw_exfil_depth"};  // [cell] depth exfiltrated onto the surface since the groundwater step last took it (m, negative into the soil)
  double sac_infil_accum = 0;           // run sum over cells of the infiltrated depths, read by the Sacramento model (m)
  double cgw_infil_accum = 0;           // run sum over cells of the infiltrated depths, read by the conceptual groundwater model (m)
  dvec infil_suction_deficit{"infil_suction_deficit"};  // [cell] Green-Ampt suction times moisture deficit of the step (m), work array
  dvec infil_held_volume{"infil_held_volume"};  // [cell] volume a held-depth cell gave to the soil in the step (m3), work array
  ivec infil_nan_flag{"infil_nan_flag"};  // [cell] 1 when the multi-layer step left a depth that is not a number, work array
  std::vector<double> infil_sum_partials;  // chunk sums of the held-depth volume, sized once per run
  // Soil-moisture zone between storms (cm per cell, soil_redist_on) and the
  // per-cell results of its update, summed after the parallel cell loop.
  dvec upper_zone_drainage{"upper_zone_drainage"};  // [cell] drainage out of the upper layer since the soil constituent step took it (cm)
  dvec zone_percolation{"zone_percolation"};  // [cell] water passed below the zone since the soil constituent step took it (cm)
  dvec gw_recharge_cum{"gw_recharge_cum"};  // [cell] recharge to groundwater since the run start: percolation and column bottom flux less ET taken from groundwater (cm)
  dvec smr_et_depth{"smr_et_depth"};    // [cell] depth evaporated and transpired in the last update (m)
  dvec smr_gw_et_depth{"smr_gw_et_depth"};  // [cell] part of it taken from groundwater (m)
  ivec smr_cell_flags{"smr_cell_flags"};  // [cell] 1: the surface evaporation left a depth that is not a number; 2: the zone vanished and the cell now exfiltrates
  std::vector<double> smr_sum_partials;  // chunk sums of the update's per-cell results, sized once per run
};

struct groundwater_block {
  int gw_simulation_on = 0;             // 1 when saturated groundwater is simulated (card GW_SIMULATION)
  int gw_hycond_map_on = 0;             // 1 when card GW_HYCOND_MAP names an aquifer conductivity map
  int gw_porosity_map_on = 0;           // 1 when card GW_POROSITY_MAP names an aquifer porosity map
  int gw_unif_porosity_on = 0;          // 1 when card GW_UNIF_POROSITY gives a uniform aquifer porosity
  int gw_unif_hycond_on = 0;            // 1 when card GW_UNIF_HYCOND gives a uniform aquifer conductivity
  int gw_toggle = 1;                    // sweep order of the groundwater step, alternates 1 and 2
  int gw_lsor_dir = 0;                  // sweep-direction option of the line relaxation (card GW_LSOR_DIR)
  double gw_relax_coeff = 1.0;          // relaxation coefficient of the groundwater solver (card GW_RELAX_COEFF)
  double gw_unif_porosity = 0;          // uniform aquifer porosity (card GW_UNIF_POROSITY)
  double gw_leakage_rate = 0;           // leakage rate to the deep aquifer (card GW_LEAKAGE_RATE)
  double gw_lsor_con = 0;               // convergence tolerance of the line relaxation (card GW_LSOR_CON)
  int chan_active = 0;                  // 1 while the channel network must be routed at every step
  int superlink_active = 0;             // 1 while the superlink network must be stepped
  double single_unsat_sat = 0;          // card SINGLE_UNSAT_SAT, for the initial soil and groundwater state
  double vol_to_unsat = 0;              // event volume to the unsaturated zone without recharge
  dvec stream_gw_cell_vol{"stream_gw_cell_vol"};  // per cell the stream-aquifer exchange volume of the channel routing (m3, negative into the aquifer)
  dvec lake_source{"lake_source"};      // per cell the source term of lake seepage
  double vol_gw_to_chan = 0;            // event volume from groundwater to channels
  double vol_chan_to_gw = 0;            // event volume from channels to groundwater
  double vol_lat_inflow_total = 0;      // run lateral inflow into channels
  double vol_lat_into_chan_total = 0;   // run lateral flow into the channels
  double vol_lat_out_of_chan_total = 0; // run lateral flow out of the channels (a negative sum)
  double vol_lat_inflow_total_at_start = 0;
  double vol_lat_into_chan_total_at_start = 0;
  double vol_lat_out_of_chan_total_at_start = 0;
  double vol_gw_to_river_total = 0;     // run flux from groundwater to rivers
  double vol_river_to_gw_total = 0;     // run flux from rivers to groundwater
  double vol_gw_to_lakes = 0;           // event volume from groundwater to lakes
  double vol_lakes_to_gw = 0;           // event volume from lakes to groundwater
  double vol_gw_to_lakes_total = 0;     // run flux from groundwater to lakes
  double vol_lakes_to_gw_total = 0;     // run flux from lakes to groundwater
  dmat qriv{"qriv"};                    // [node][link] stream-aquifer exchange flow (m3/s)
  dmat av_qriv{"av_qriv"};              // [node][link] average stream-aquifer exchange flow (m3/s)
  ivec gwbound{"gwbound"};              // groundwater boundary type of the cell
  ivec og_gwbound_type{"og_gwbound_type"};  // copy of gwbound taken after the channel-lake set-up
  ivec yes_exfil{"yes_exfil"};          // 1 where the cell may exfiltrate
  int any_exfil = 0;                    // 1 when some cell has yes_exfil set
  double vol_exfil_accum = 0;           // exfiltration accumulator of the infiltration step
  ivec num_unsat_cells{"num_unsat_cells"};  // unsaturated cells of the column
  double vol_gw_inputs_total = 0;       // run inputs to groundwater
  double vol_gw_init = 0;               // groundwater volume at the start
  dvec gw_porosity{"gw_porosity"};      // aquifer porosity of the cell (fraction), 0 until the groundwater set-up reads it
  dvec gw_leakage{"gw_leakage"};        // leakage of the cell to the deep aquifer in the step (m/s), 0 until the groundwater set-up
  double vol_gw_final = 0;              // groundwater volume at the end of the run: (head - aquifer bottom) * gw_storage * cell area
  double vol_gw_balance_error = 0;      // groundwater balance error of the run (percent)
  dvec gw_storage{"gw_storage"};        // storage coefficient of each cell that the groundwater solver uses (fraction)
  double vol_sat_unsat_total = 0;       // run volume exchanged from the unsaturated into the saturated zone
  double vol_recharge_total = 0;        // run recharge to groundwater
  double vol_leakage_total = 0;         // run leakage to the deep aquifer
  double vol_pumping_total = 0;         // run pumping from groundwater
  double vol_gw_pumping_event = 0;      // groundwater event volume, zeroed at the groundwater event start
  double gw_unif_hycond = 0;            // uniform aquifer conductivity (card GW_UNIF_HYCOND)
  int gw_well_level_on = 0;             // 1 when card GW_WELL_LEVEL asks for the well water-level output
  int n_well_locations = 0;             // cells listed in the well location file
  ivec well_location_row{"well_location_row"};  // [location] row of each well-level cell
  ivec well_location_col{"well_location_col"};  // [location] column of each well-level cell
  int overland_depths_on = 0;           // 1 when card OVERLAND_DEPTHS asks for depth series at listed cells
  int n_ov_depth_locations = 0;         // cells listed for the overland depth series
  ivec overland_depth_row{"overland_depth_row"};  // [location] row of each depth-series cell
  ivec overland_depth_col{"overland_depth_col"};  // [location] column of each depth-series cell
  int overland_wse_on = 0;              // 1 when card OVERLAND_WSE asks for water-surface series at listed cells
  int n_ov_wse_locations = 0;           // cells listed for the overland water-surface series
  ivec overland_wse_row{"overland_wse_row"};  // [location] row of each water-surface-series cell
  ivec overland_wse_col{"overland_wse_col"};  // [location] column of each water-surface-series cell
  int gw_output_on = 0;                 // 1 when card GW_OUTPUT asks for groundwater maps
  int chan_hotstart_write_on = 0;       // 1 when card EXPLIC_BACKWATER or WRITE_CHAN_HOTSTART is given
  int chan_wse_start_on = 0;            // 1 when the channel initial state is given as node water-surface elevations
  int sat_source_map_on = 1;            // the end-of-run summaries write the saturated-source map (never changed)
  int sat_source_any = 0;               // 1 when some cell is a saturated source (written as "satsource_file" at the end)
  ivec sat_source_cell{"sat_source_cell"};  // [cell] 1 where the cell is a saturated source, else 0
  int cum_infil_from_hotstart = 0;      // 1 when the soil-moisture hotstart's companion ".gaf" gave cum_infil; the run's first event keeps it
  int gw_hotstart_on = 0;               // 1 once the groundwater heads are written as "hotstart_file" at the run end
  dvec gw_inf_redist_theta{"gw_inf_redist_theta"};  // moisture of the redistribution method kept for the groundwater coupling (m3/m3)
  dvec sm_bottom_loss{"sm_bottom_loss"};  // water leaving the bottom of the redistribution soil layer towards groundwater (m), per cell
  std::string gw_hycond_map_path;       // file of card GW_HYCOND_MAP
  std::string gw_boundfile_path;        // file of card GW_BOUNDFILE
  std::string gw_fluxboundtable_path;   // file of card GW_FLUXBOUNDTABLE
  std::string gw_porosity_map_path;     // file of card GW_POROSITY_MAP
  std::string gw_well_level_path;       // file of card GW_WELL_LEVEL
  std::string overland_depth_location_path;  // file of card OVERLAND_DEPTH_LOCATION
  std::string overland_wse_location_path;    // file of card OVERLAND_WSE_LOCATION
  std::string overland_depths_path;     // file of card OVERLAND_DEPTHS
  std::string overland_wse_path;        // file of card OVERLAND_WSE
  file_wrapper gw_boundfile_file;       // groundwater boundary file (r)
  file_wrapper gw_hycond_map_file;      // aquifer conductivity map (r)
  file_wrapper overland_depth_location_file;  // cells of the overland depth series (r)
  file_wrapper overland_wse_location_file;    // cells of the overland water-surface series (r)
  file_wrapper overland_depths_file;    // overland depth series at the listed cells (w)
  file_wrapper overland_wse_file;       // overland water-surface series at the listed cells (w)
  file_wrapper gw_well_level_file;      // well water levels (w)
  file_wrapper gw_porosity_map_file;    // aquifer porosity map (r)
  std::string gw_output_path;           // file of card GW_OUTPUT
  dmat Krb{"Krb"};                      // [node][link] river-bed hydraulic conductivity
  dmat Mrb{"Mrb"};                      // [node][link] river-bed thickness
  int m_lake_on = 0;                    // 1 when card M_LAKE is given
  double k_river = 0;                   // river-bed exchange coefficient (card K_RIVER)
  double m_river = 1.0;                 // river-bed thickness value (card M_RIVER)
  int gw_flux_boundtable_on = 0;        // 1 when card GW_FLUXBOUNDTABLE (alias GW_FLUX_BOUNDTABLE) is given
  // The two-dimensional aquifer (GW_SIMULATION), per cell, 1-based by
  // active cell, allocated by the groundwater set-up.
  dvec gw_hycond_x{"gw_hycond_x"};      // aquifer conductivity for left-right flow (m/s)
  dvec gw_hycond_y{"gw_hycond_y"};      // aquifer conductivity for above-below flow (m/s)
  dvec gw_cell_dx{"gw_cell_dx"};        // cell width along a row (m)
  dvec gw_cell_dy{"gw_cell_dy"};        // cell width along a column (m)
  dvec gw_sat_thickness{"gw_sat_thickness"};  // saturated thickness of the last Picard pass (m)
  dvec gw_trans_x{"gw_trans_x"};        // left-right transmissivity of the last pass (m2/s)
  dvec gw_trans_y{"gw_trans_y"};        // above-below transmissivity of the last pass (m2/s)
  dvec gw_well_rate{"gw_well_rate"};    // pumping of the cell as a depth rate (m/s, positive = out)
  dvec gw_static_flux{"gw_static_flux"};  // static flux of a type-6 cell (m/s, positive = out)
  dvec gw_sink{"gw_sink"};              // net sink term of the groundwater step (m/s, positive = out)
  dvec gw_column_excess{"gw_column_excess"};  // water released to the aquifer by the soil-column rebuild (cm)
  dvec gw_head_prev{"gw_head_prev"};    // head at the start of the groundwater step (m)
  dvec gw_cell_volume{"gw_cell_volume"};  // per-cell volume of one solver loop, summed in fixed chunks (m3)
  // The five-point system of the current pass: row i reads
  // sum_n c_n (h_n - h_i) - S_i (h_i - h_i,start) / dt = q_i.
  dvec gw_coef_above{"gw_coef_above"};  // coupling to the cell above (1/s)
  dvec gw_coef_below{"gw_coef_below"};  // coupling to the cell below (1/s)
  dvec gw_coef_left{"gw_coef_left"};    // coupling to the cell on the left (1/s)
  dvec gw_coef_right{"gw_coef_right"};  // coupling to the cell on the right (1/s)
  dvec gw_coef_diag{"gw_coef_diag"};    // diagonal (1/s)
  dvec gw_rhs{"gw_rhs"};                // right side (m/s)
  double gw_column_excess_total = 0;    // water released by the column rebuilds of the current call, all cells (cm)
  int wells_on = 0;                     // 1 when card USE_WELLS takes pumping from the well table
  int n_static_flux_cells = 0;          // rows of the static flux table
  int n_dynamic_well_cells = 0;         // type-3 cells of the boundary map
  // Work of the solver, sized for this run by the set-up, so that passes
  // and sweeps allocate nothing.
  dvec gw_head_start{"gw_head_start"};  // heads at the start of the current sub-step (m)
  dvec gw_head_iter{"gw_head_iter"};    // heads of the previous Picard pass (m)
  std::vector<double> gw_line_sub;      // one line's tridiagonal system, max(rows, cols) + 1 entries
  std::vector<double> gw_line_diag;
  std::vector<double> gw_line_sup;
  std::vector<double> gw_line_rhs;
  std::vector<long> gw_line_cell;       // active cells of the line in order
  std::vector<double> gw_column_dz_old;     // one soil column's old node spacings (cm), longest column + 1
  std::vector<double> gw_column_theta_old;  // one soil column's old moistures, longest column + 1
  std::vector<double> gw_sum_partials;  // chunk sums of the solver's volumes
  long gw_sweeps_last = 0;              // sweeps of the last line relaxation
};

}  // namespace kavro
