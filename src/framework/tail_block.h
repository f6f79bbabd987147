// The tail of the run record: grid copies and the cell-number grid, the
// run-mode switches, the calibration hand-over, the writers and analyzers of
// the run, the nutrient and permafrost state, and the project path.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "calibration/calibration_entries.h"
#include "framework/checked_array.h"
#include "framework/file_wrapper.h"
#include "framework/one_based.h"
#include "framework/run_warnings.h"
#include "hydromet/permafrost_soil.h"
#include "input/card_records.h"
#include "output/analyzers.h"
#include "output/map_writers.h"
#include "output/q7_coupling.h"
#include "transport/nutrient_seams.h"
#include "transport/soil_contam_layers.h"

namespace kavro {

// The card DAILY_OUTPUT and what it holds through the run.
struct daily_output_record {
  int on = 0;               // 1 when the card is given
  std::string file_name;    // its file name
  dvec daily_values_1{"daily_values_1"};
  dvec daily_values_2{"daily_values_2"};
  file_wrapper file;        // opened by no step; closed at teardown
};

// An index map read once and shared by the loaders that name it.
struct index_map_owner {
  std::string path;   // the map file
  ivec ids{"ids"};    // [cell] the ID of every active cell
};

struct record_tail_block {
  int grid_rows = 0;                                // Copy of rows made at set-up, used by the rain, overland, groundwater, lake and map-output code
  int grid_cols = 0;                                // Copy of cols made at set-up
  int n_cells = 0;                                  // Number of active (in-watershed) cells; per-cell arrays have n_cells+1 entries ("number of grid cells in watershed: %d")
  imat mask{"mask"};                                // allocation name "mask"
  checked_array<int> cell_row{"cell_row"};          // Elements 1..n_cells: grid row of each active cell (filled by read_watershed_mask)
  checked_array<int> cell_col{"cell_col"};          // Elements 1..n_cells: grid column of each active cell (read_watershed_mask)
  checked_array<double> cell_x{"cell_x"};           // Elements 1..n_cells: x of the cell centre, map_west + (col - 0.5) * (east-west)/cols (read_watershed_mask; used by ...
  checked_array<double> cell_y{"cell_y"};           // Elements 1..n_cells: y of the cell centre, map_north - (row - 0.5) * (north-south)/rows (read_watershed_mask)
  imat con_vect{"con_vect"};                        // Cell number holding each channel node (filled by cconnect)
  ivec con_link{"con_link"};                        // Channel link a cell drains to (link map; con_node the node)
  ivec con_node{"con_node"};                        // Channel node of the link in con_link that a cell joins (allocation name "con_node", filled by the link-map reader)
  ivec bplink{"bplink"};                            // Slot of a breakpoint link in the per-breakpoint-link 3-D arrays (xbp_lnn, ybp_lnn, max_yp)
  dmat max_yp{"max_yp"};                            // [erodible breakpoint slot][node] running maximum of yp (m)
  ivec channel_cells{"channel_cells"};              // allocation name "channel_cells"
  int nutrients_on = 0;                             // 1 when card NUTRIENTS enables the nutrient sub-model
  nsm_model* nsm = nullptr;                         // the nutrient model of card NUTRIENTS, owned by project_params
  file_wrapper ov_init_depth_file;                  // File opened (mode "r") on the path given by card OV_INIT_DEPTH
  file_wrapper read_sm_hotstart_file;               // File opened (mode "r") on the path given by card READ_SM_HOTSTART
  int end_time_on = 0;                              // 1 when card END_TIME gives an absolute end time
  double end_time = 0;                              // Julian date of END_TIME
  int start_date_given = 0;                         // 1 when a long-term run has START_DATE (setup_start_time); then the schedules start at the first rain event at or ...
  int first_event_index = 0;                        // 1-based index of the first rain event whose start time is not before the start time (long-term run with START_DATE); ...
  int precip_event_calls = 0;                       // rain-event starts handled so far; zeroed by the run driver before the loop
  int hmet_start_synced = 0;                        // 1 once the weather step aligned a long-term run with START_DATE
  daily_output_record daily_output;                 // the DAILY_OUTPUT card: switch, file name, arrays, file
  int quiet = 0;                                    // suppresses console prints; copy of card SUPER_QUIET
  int tool_mode = 0;                                // 1 in the calibration tool modes (-slm, -ms, -tr, -mlsl)
  q7_card_block* q7_settings = nullptr;             // the Q7 cards inside project_params when Q7_INPUT or Q7_FLUXES is given
  // The result buffer of a run that feeds a calibrator: the caller's, or the
  // one the run made itself (then held by own_calib_results).
  calib_result_buffer* calib_results = nullptr;
  std::unique_ptr<calib_result_buffer> own_calib_results;
  int first_nsm_constituent = 0;                    // Index of the first nutrient species among the constituents (-1 while unset)
  checked_array_2d<map_dataset_writer> contam_map_writers{"contam_map_writers"};  // [contaminant][2] concentration and mass maps
  int all_contam_output_on = 0;                     // 1 when card ALL_CONTAM_OUTPUT is given
  checked_array_2d<linknode_writer> contam_link_writers{"contam_link_writers"};  // [contaminant][2] concentration and mass link/node outputs
  std::vector<std::unique_ptr<analyzer>> analyzer_list;  // the stream analyzers, notified in list order
  run_warning_list run_warnings;                    // the console warnings of the run, listed in the summary
  int ov_point_source_on = 0;                       // 1 when card OV_POINT_SOURCE is given (overland point sources)
  double vol_gw_xy_gain_total = 0;                  // Run groundwater gain from xy boundaries ("Gain from XY boundaries")
  double vol_gw_xy_loss_total = 0;                  // Run groundwater loss to xy boundaries ("Loss to XY boundaries")
  double vol_gw_xy_gain = 0;                        // Event groundwater gain from xy boundaries ("vol gain for gw from XY boundaries")
  double vol_gw_xy_loss = 0;                        // Event groundwater loss to xy boundaries ("vol loss for gw from XY boundaries")
  std::vector<index_map_owner> index_map_owners;    // index maps read once and shared; empty unless a loader adds one
  std::string maskmap_name;                         // That read_watershed_mask fills with "maskmap" before opening fs_maskmap
  file_wrapper fs_maskmap;                          // The numbered grid written by read_watershed_mask ("maskmap", w), closed once written
  ivec KOTU_soiltype{"KOTU_soiltype"};              // Permafrost soil type per cell
  std::string permafrost_kotu_path;                 // File name of card PERMAFROST_KOTU or MULTI_LAYER_INFIL_KOTU, read as the permafrost mask
  std::string out_kotu_temp_path;                   // File name of card OUT_KOTU_TEMP (read_project)
  file_wrapper out_kotu_temp_file;                  // Permafrost temperature profile output of card OUT_KOTU_TEMP (w)
  ivec permaf_mask{"permaf_mask"};                  // allocation name "permaf_mask"
  file_wrapper fs_permafrost_mask;                  // permafrost mask map of card PERMAFROST_KOTU or MULTI_LAYER_INFIL_KOTU (r), opened and closed by read_permafrost_mask
  dmat perma_tem{"perma_tem"};                      // Soil temperature per temperature node
  double kotu_interval = 0;                         // Permafrost (KOTU) model interval in seconds
  double kotu_interval_days = 0;                    // kotu_interval / 86400
  double last_kotu_time = 0;                        // Julian time of the last permafrost model step (soil_temperature_step)
  double next_kotu_time = 0;                        // Julian time of the next permafrost model step
  dmat hydro_conduc{"hydro_conduc"};                // Frozen-adjusted hydraulic conductivity
  dmat fr_lq_wat{"fr_lq_wat"};                      // Unfrozen liquid water
  int kotu_step_counter = 0;                        // Step counter of the permafrost model (advanced by the soil-temperature step); set back to 1 at every event start ...
  dmat THETA_KOTU{"THETA_KOTU"};                    // Soil moisture on the temperature nodes
  dmat K_init{"K_init"};                            // Unfrozen conductivity
  dvec extent_KOTUgw{"extent_KOTUgw"};              // Thawed extent per cell for the groundwater transmissivity
  imat node_toKOTU{"node_toKOTU"};                  // Soil-layer index of each temperature node per cell
  imat node_fromKOTU{"node_fromKOTU"};              // Temperature-node index of each soil layer per cell
  int gtfsm_on = 0;                                 // 1 when card GTFSM is given (read by the soil, infiltration and ET code)
  dvec SE{"SE"};                                    // allocation name "SE"
  std::string project_path;                         // the project file of the run
  std::unique_ptr<q7_data_record> q7_data;          // the segment coupling, made at the end of the grid set-up
  file_wrapper pipe_head_file;                      // Superlink node heads of card PIPE_HEAD (w)
  file_wrapper pipe_tile_file;                      // Superlink tile flows of card PIPE_TILE (w)
  file_wrapper pipe_flow_file;                      // Superlink flows of card PIPE_FLOW (w)
  file_wrapper total_chan_n_file;                   // Channel total nitrogen output of card TOTAL_CHAN_N (w; created here, written by the nutrient writers)
  file_wrapper total_chan_kn_file;                  // Channel total Kjeldahl nitrogen output of card TOTAL_CHAN_KN (w)
  file_wrapper total_chan_p_file;                   // Channel total phosphorus output of card TOTAL_CHAN_P (w)
  int hydrograph_rows = 0;                          // outlet-hydrograph rows written so far in the run
  int hydrograph_row_step = 0;                      // step_no of the last outlet-hydrograph row (0: the run's start)
  double hydrograph_row_vol = 0;                    // vol_discharge_total when that row was written (m3)
  int ts_count_depth = 0;                           // next "TS" number of the channel depth dataset (from 0)
  int ts_count_flow = 0;                            // next "TS" number of the channel discharge dataset
  int ts_count_velocity = 0;                        // next "TS" number of the channel velocity dataset
  int ts_count_stage = 0;                           // next "TS" number of the channel stage dataset
  int ts_count_sed_flux = 0;                        // next "TS" number of the channel sediment-flux dataset
  int ts_count_sl_flow = 0;                         // next "TS" number of the superlink flow dataset
  int ts_count_sl_head = 0;                         // next "TS" number of the superlink head dataset
  int ts_count_sl_tile = 0;                         // next "TS" number of the superlink tile-flow dataset
  int permafrost_header_written = 0;                // 1 once the soil-temperature profile has its header line
  int permafrost_profile_warned = 0;                // 1 once a grid too small for the profile cell was reported
  int map_frame_no = 0;                             // grid-files map frames written so far in the run (frame files number from 1)
  dvec map_depth{"map_depth"};                      // [cell] surface water depth of the maps and the cell depth series, lakes included (m)
  dvec map_discharge{"map_discharge"};              // [cell] overland discharge magnitude sqrt(ov_qx^2 + ov_qy^2) of the maps (m3/s)
  row_buffer map_row_buffer;                        // row formatting scratch of the run's grid and dataset writers
  map_dataset_writer snow_temp_map_writer;          // the snow temperature map of card SNOW_TEMP (values ATI_2)
  file_wrapper fs_map_dataset_6;                    // map dataset of map-output kind 6, groundwater head (w)
  file_wrapper fs_map_dataset_11;                   // map dataset of map-output kind 11, flood grid (w)
  file_wrapper fs_map_dataset_14;                   // map dataset of map-output kind 14, snow water equivalent (w)
  soil_contam_layers_record soil_contam_layers;           // constituents in the soil layers
  permafrost_layer_soil_record permafrost_layer_soil;     // the permafrost soil table
};

}  // namespace kavro
