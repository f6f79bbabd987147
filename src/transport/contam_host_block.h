// Contaminant-table counts and the host and ecological-model exchange.
#pragma once

#include <array>
#include <string>

#include "framework/checked_array.h"
#include "framework/file_wrapper.h"
#include "framework/one_based.h"

namespace kavro {

// Contaminant table texts, event and run water volumes of the budgets (m3), the
// output cell lists and the exchange switches and map names of the host
// environment and its co-run ecological model.
struct contam_host_block {
  int n_contaminants = 0;                           // Number of contaminants from the contaminant table (NUM_CONTAM) or uniform set-up (negative -> error 125)
  one_based_vec<std::string> contamdescriptions{"contamdescriptions"};  // [contaminant] description from the contaminant table, 1-based
  one_based_vec<std::string> contamoutputfilenames{"contamoutputfilenames"};  // [contaminant] output file name from the contaminant table, 1-based
  double vol_gw_recharge = 0;                       // Event volume of groundwater recharge ("volume of groundwater recharge")
  double vol_soil_init = 0;                         // Soil water volume at event start ("Initial volume in soils (cu. m.)")
  double vol_soil_final = 0;                        // Soil water volume at the end ("Final volume in soils=")
  double richards_mass_error = 0;                   // Richards-equation mass balance error in percent ("Richard equation mass balance error")
  int n_event_cells_start = 0;                      // Cell count printed as "Number of cells at start of event"
  int n_event_cells_end = 0;                        // Cell count printed as "Number of cells at end of event"
  double vol_surface_init = 0;                      // Surface water volume at the start of the run ("Initial volume on surface=")
  double vol_ov_lakes_final = 0;                    // Volume in overland lakes at the end ("Final volume in overland lakes=")
  double vol_ov_lakes_init = 0;                     // Volume in overland lakes at the start of the run, sum of (level - elevation) * cell area
  double vol_ov_lake_balance_error = 0;             // Overland lake balance of the run (m3): init + inflow - final - outflow
  double vol_init_total = 0;                        // All water stored at the start of the run (I0 of the global balance)
  double vol_final_total = 0;                       // All water stored at the end of the run (F of the global balance)
  double overall_mass_error = 0;                    // Global water-balance error of the run (percent)
  double surface_mass_error = 0;                    // Water-balance error of the surface components of the run (percent)
  double vol_ov_bound_in_total = 0;                 // Run inflow over the overland boundaries: discharge and head
  double vol_ov_bound_out_total = 0;                // Run outflow over the overland boundaries: slope, head and discharge
  double vol_channel_init_total = 0;                // Channel volume at the start of the run ("Initial volume in channels=")
  double vol_soil_init_total = 0;                   // Soil water volume at the start of the run ("Initial volume in soils=")
  double vol_precip_total = 0;                      // Run total of precipitation volume ("Total amount of precip=")
  double vol_ev_richards = 0;                       // Depth returned by the between-event Richards update (m of evaporation per cell area)
  double vol_evap_total = 0;                        // Run total of evaporation ("Total amount of evaporation=")
  double vol_evap = 0;                              // Event volume of total evaporation ("volume of total evaporation")
  double vol_direct_evap_total = 0;                 // Run total of direct evaporation ("Total direct evaporation=")
  double vol_discharge_total = 0;                   // Run total of discharge ("Total amount of discharge=")
  double vol_unsat_down_total = 0;                  // Run total of downward flux from the unsaturated zone ("Total downward flux from unsaturated zone=")
  double vol_infiltration_total = 0;                // Run total of infiltration ("Total amount of infiltration=")
  std::string in_theta_location_path;               // File-name buffer holding the path of card IN_THETA_LOCATION (copied from `project_params` by the run settings step)
  std::string out_theta_location_path;              // File name of card OUT_THETA_LOCATION (read_project)
  ivec cell_loc{"cell_loc"};                        // Cell number of each listed output cell (n) (per-cell list length) and the 2-D list
  ivec cell_num{"cell_num"};                        // list length per output cell
  imat cell_num_lists{"cell_num"};                  // [output cell][k] the per-cell lists (allocation name "cell_num")
  imat cell_theta_nodes{"cell_theta_nodes"};        // Matrix [n_output_cells+2][k+2], per listed output cell the soil-column node numbers whose moisture is written ...
  int n_output_cells = 0;                           // Number of cells in the output cell list file
  int qln_on = 0;                                   // 1 when card QLN makes the run an event call of the land-management host
  int vopa_on = 0;                                  // 1 when card VOPA couples the run to the ecological model through an exchange file
  int qln_event_num_on = 0;                         // 1 when card QLN_EVENT_NUM is given
  int qln_event_num = 0;                            // Host event number (card QLN_EVENT_NUM; echoed by the option check)
  int vopa_first_on = 0;                            // 1 when card VOPA_FIRST is given (read_project; read by the host exchange maps read_exchange_maps)
  std::string vopa_exchange_path;                   // Exchange file shared with the ecological model ("will share data with VOPA through file: %s")
  file_wrapper vopa_exchange_file;                  // Of the day-number exchange file shared with the co-run model VOPA
  file_wrapper evap_out_file;                       // Hourly basin averages of the long-term soil water and evaporation, fixed name "evap_out" (w)
  int vopa_day_now = 0;                             // Day number of now counted from 31 December 01:00 of the previous year (written to the VOPA exchange file)
  int vopa_day_next = 0;                            // Day number of the next rain event's start on the same count, -1 after the last event
  int moist_to_vopa_on = 0;                         // 1 when card MOIST_TO_VOPA sends soil moisture to the ecological model
  int ksat_to_vopa_on = 0;                          // 1 when card KSAT_TO_VOPA sends conductivity to the ecological model
  int rough_to_vopa_on = 0;                         // 1 when card ROUGH_TO_VOPA sends roughness to the ecological model
  int poros_to_vopa_on = 0;                         // 1 when card POROS_TO_VOPA sends porosity to the ecological model
  std::string moist_to_vopa_path;                   // "exchange/" + file name of card MOIST_TO_VOPA (read_project)
  std::string ksat_to_vopa_path;                    // "exchange/" + file name of card KSAT_TO_VOPA (read_project)
  std::string rough_to_vopa_path;                   // "exchange/" + file name of card ROUGH_TO_VOPA (read_project)
  std::string poros_to_vopa_path;                   // "exchange/" + file name of card POROS_TO_VOPA (read_project)
  int moist_from_vopa_on = 0;                       // 1 when card MOIST_FROM_VOPA reads soil moisture from the ecological model
  int ksat_from_vopa_on = 0;                        // 1 when card KSAT_FROM_VOPA reads conductivity from the ecological model
  int rough_from_vopa_on = 0;                       // 1 when card ROUGH_FROM_VOPA reads roughness from the ecological model
  std::string moist_from_vopa_path;                 // "exchange/" + file name of card MOIST_FROM_VOPA (read_project)
  std::string ksat_from_vopa_path;                  // "exchange/" + file name of card KSAT_FROM_VOPA (read_project)
  std::string rough_from_vopa_path;                 // "exchange/" + file name of card ROUGH_FROM_VOPA (read_project)
  std::string dike_map_path;                        // Path of card DIKE_MAP (alias EMBANKMENT)
  std::string lowspot_path;                         // Path of the low-spot file (card LOWSPOT_FILE), named in the direction message of build_cell_connectivity
  std::array<int, 35> map_table_present{};          // presence flags of the grid mapping tables, in report order (0 Roughness ... 34 BMP Point Models)
  std::array<int, 6> stream_table_present{};        // presence flags of the stream mapping tables (0 Roughness ... 5 Dispersion)
};

}  // namespace kavro
