// The constituent blocks of the run record: the overland side of constituent
// transport with its named mass budgets, the overland sediment arrays and the
// channel and lake constituent arrays.
//
// Per-constituent rows are indexed by constituent number from 1 and grow by
// one for each constituent the constituent set-up adds, so all of them stay
// as long as n_constituents. Cells are active-cell numbers from 1. Stored
// masses are in g, event and run budgets in kg. The checked arrays that
// carry a name here keep it for the whole run: the summaries and the
// bad-range report print it.
#pragma once

#include <vector>

#include "framework/checked_array.h"
#include "framework/one_based.h"
#include "overland/overland_records.h"

namespace kavro {

struct constituent_block {
  int ov_contam_on = 0;                        // 1 when overland constituent transport is on (card OV_CON_TRANS, nutrients or sediment as constituents)
  checked_array_2d<double> ov_constituent_conc;  // [constituent][cell] surface-water concentration (g/m3)
  checked_array_2d<double> ov_constituent_mass;  // [constituent][cell] surface mass (g)
  checked_array<double> precip_conc{"precip_conc"};  // [constituent] concentration in rain (g/m3)
  double ov_disp_coef = 0;                     // uniform overland dispersion coefficient (card OV_DISP_COEF)
  double ov_decay_coef = 0;                    // uniform overland first-order decay coefficient (card OV_DECAY_COEF)
  checked_array_2d<double> ov_disp_table;      // [constituent][cell] dispersion coefficient
  checked_array_2d<double> ov_decay_table;     // [constituent][cell] first-order decay coefficient
  checked_array_2d<double> ov_uptake_table;    // [constituent][cell] soil-surface uptake rate
  double ov_uptake_rate = 0;                   // uniform uptake rate (card OV_UPTAKE_RATE)
  double ov_mass_load = 0;                     // uniform mass load (card OV_MASS_LOAD)
  double vol_ov_point_sources = 0;             // event volume added by overland point sources (m3)
  double vol_ov_point_sources_total = 0;       // run volume added by overland point sources (m3)

  // Whole-run overland budget per constituent (kg).
  checked_array<double> OV_MASS_INIT{"OV_MASS_INIT"};              // initial surface mass
  checked_array<double> OV_MASS_FINAL{"OV_MASS_FINAL"};            // final surface mass
  checked_array<double> OV_MASS_OUT{"OV_MASS_OUT"};                // mass out of the outlet
  checked_array<double> OV_QLAT_MASS{"OV_QLAT_MASS"};              // mass passed laterally to the channels
  checked_array<double> OV_MASS_DECAY{"OV_MASS_DECAY"};            // mass lost to decay
  checked_array<double> OV_POINT_MASS{"OV_POINT_MASS"};            // mass from point sources
  checked_array<double> OV_EXFIL_MASS{"OV_EXFIL_MASS"};            // mass brought up by exfiltration
  checked_array<double> OV_PRECIP_MASS{"OV_PRECIP_MASS"};          // mass brought by rain
  checked_array<double> OV_INFIL_MASS{"OV_INFIL_MASS"};            // mass carried down by infiltration
  checked_array<double> OV_MASS_ERROR{"OV_MASS_ERROR"};            // balance error
  checked_array<double> OV_LAND_MASS{"OV_LAND_MASS"};              // undissolved mass on the land surface
  checked_array<double> OV_LAND_MASS_INIT{"OV_LAND_MASS_INIT"};    // initial undissolved land mass
  checked_array<double> OV_LAND_MASS_FINAL{"OV_LAND_MASS_FINAL"};  // final undissolved land mass
  checked_array<double> OV_UPTAKE_MASS{"OV_UPTAKE_MASS"};          // mass taken up by the soil surface
  // The same terms for the current event (kg), reset at each event start.
  checked_array<double> event_ov_mass_init{"event_ov_mass_init"};
  checked_array<double> event_ov_decay_mass{"event_ov_decay_mass"};
  checked_array<double> event_ov_uptake_mass{"event_ov_uptake_mass"};
  checked_array<double> event_ov_infil_mass{"event_ov_infil_mass"};
  checked_array<double> event_ov_exfil_mass{"event_ov_exfil_mass"};
  checked_array<double> event_ov_qlat_mass{"event_ov_qlat_mass"};
  checked_array<double> event_ov_mass_out{"event_ov_mass_out"};
  checked_array<double> event_ov_point_mass{"event_ov_point_mass"};
  checked_array<double> event_ov_precip_mass{"event_ov_precip_mass"};
  checked_array<double> event_ov_land_mass{"event_ov_land_mass"};
  checked_array<double> event_ov_neg_mass{"event_ov_neg_mass"};    // mass added back where a cell mass went negative
  // Mass change per constituent in the current step, by term.
  checked_array<double> ov_out_dmt{"ov_out_dmt"};                  // outflow
  checked_array<double> ov_point_dmt{"ov_point_dmt"};              // point sources
  checked_array<double> ov_decay_dmt{"ov_decay_dmt"};              // decay
  checked_array<double> ov_infil_dmt{"ov_infil_dmt"};              // infiltration
  checked_array<double> ov_qlat_dmt{"ov_qlat_dmt"};                // lateral outflow to channels
  checked_array<double> ov_uptake_dmt{"ov_uptake_dmt"};            // uptake
  checked_array<double> ov_nsm_dmt{"ov_nsm_dmt"};                  // nutrient model, net
  checked_array<double> ov_nsm_dmt_in{"ov_nsm_dmt_in"};            // nutrient model, gain
  checked_array<double> ov_nsm_dmt_out{"ov_nsm_dmt_out"};          // nutrient model, loss
  checked_array<double> ov_precip_dmt{"ov_precip_dmt"};            // rain
  checked_array<double> ov_exit_mass{"ov_exit_mass"};              // mass leaving the watershed over the land surface
  // Whole-watershed budget per constituent (kg).
  checked_array<double> GLOBAL_MASS_CON_ERROR{"GLOBAL_MASS_CON_ERROR"};  // balance error
  checked_array<double> GLOBAL_MASS_DECAY{"GLOBAL_MASS_DECAY"};          // decay
  checked_array<double> GLOBAL_MASS_INIT{"GLOBAL_MASS_INIT"};            // initial mass
  checked_array<double> GLOBAL_MASS_FINAL{"GLOBAL_MASS_FINAL"};          // final mass
  checked_array<double> lake_final_mass{"lake_final_mass"};              // [constituent] mass in the channel lakes at the end of the run (kg)
  checked_array<double> GLOBAL_POINT_SOURCE{"GLOBAL_POINT_SOURCE"};      // point sources
  checked_array<double> GLOBAL_MASS_OUT{"GLOBAL_MASS_OUT"};              // outflow
  checked_array<double> GLOBAL_GW_MASS{"GLOBAL_GW_MASS"};                // exchange with groundwater

  checked_array_2d<double> ov_mass_load_table;  // [constituent][cell] undissolved mass on the land (g)
  double kinetics_timestep_factor = 1.0;       // multiplies the constituent interval for the sub-step times (card KINETICS_TIMESTEP_FACTOR)
  checked_array<int> constituent_type{"constituent_type"};  // [constituent] 1 contaminant, 2 nutrient species, 3 further nutrient entry
  int n_constituents = 0;                      // constituents carried (contaminants, nutrient species, sediment classes)
  int contam_table_read = 0;                   // 1 when the parameters come from the CONTAMINANT_TRANSPORT table
  int soil_contam_on = 0;                      // 1 when soil-layer constituent kinetics are on (card SOIL_CON_TRANS)
  int soil_static_conc_on = 0;                 // 1 when card SOIL_STATIC_CONC holds soil concentrations fixed
  int soil_noflux_on = 0;                      // 1 when card SOIL_NOFLUX is given (no soil constituent flux)
  checked_array<double> water_soil_partition_coef{"water_soil_partition_coef"};  // [constituent] water-soil partition coefficient
  checked_array_3d<double> soil_mass{"soil_mass"};  // [constituent][cell][layer] mass per soil layer (g)
  checked_array_3d<double> soil_conc{"soil_conc"};  // [constituent][cell][layer] concentration per soil layer

  int ov_contam_transport_on = 0;              // 1 when card OV_CON_TRANS is 1 (read by the constituent set-up)
  double ov_contam_interval = 0;               // overland constituent interval (s)
  double ov_contam_interval_days = 0;          // overland constituent interval (days)
  double next_ov_contam_time = 0;              // next time of the overland constituent transport (Julian)
  double last_ov_contam_time = 0;              // last time of the overland constituent transport (Julian)
  // Clocks of the parts of the overland constituent kinetics (Julian).
  double ov_kin_precip_next = 0;               // rain load part
  double ov_kin_precip_last = 0;
  double ov_kin_infil_next = 0;                // infiltration part
  double ov_kin_infil_last = 0;
  double ov_kin_table_next = 0;                // soil exchange part, with the contaminant table
  double ov_kin_table_last = 0;
  double ov_kin_table2_next = 0;               // decay part, with the contaminant table
  double ov_kin_table2_last = 0;
  double ov_kin_nochan_next = 0;               // outlet mass part, without a channel network
  double ov_kin_nochan_last = 0;
  double ov_kin_chan_next = 0;                 // grid-stream mass part, with a channel network
  double ov_kin_chan_last = 0;
  double ov_kin_nsm_next = 0;                  // nutrient part
  double ov_kin_nsm_last = 0;
  double ov_kin_nsm_soil_next = 0;             // nutrient soil part (nutrients and soil constituents on)
  double ov_kin_nsm_soil_last = 0;
  checked_array<double> event_ov_nsm_loss_mass;      // [constituent] event mass lost to nutrient kinetics on the overland (kg)
  checked_array<double> event_ov_nsm_gain_mass;      // [constituent] event mass gained from nutrient kinetics on the overland (kg)
  checked_array<double> event_surface_to_soil_mass;  // [constituent] event exchange from surface water into the soil (kg)
  checked_array<double> event_soil_to_surface_mass;  // [constituent] event exchange from the soil into surface water (kg)
  checked_array<double> event_soil_infil_mass;       // [constituent] event mass added to the soil column by infiltration (kg)
  int contam_on = 0;                           // 1 when any constituent transport runs; gates the global transport summaries
  // Clocks of the channel constituent sub-steps (Julian).
  double chan_con_next = 0;                    // channel constituent transport
  double chan_con_last = 0;
  double chan_decay_next = 0;                  // channel constituent decay step
  double chan_decay_last = 0;
  double chan_decay_table_next = 0;            // decay with the contaminant table
  double chan_decay_table_last = 0;
  double chan_decay_gw_next = 0;               // groundwater exchange part
  double chan_decay_gw_last = 0;
  double chan_decay_nsm_next = 0;              // nutrient kinetics part
  double chan_decay_nsm_last = 0;
  double soil_nsm_next = 0;                    // nutrient part of the soil constituent step (Julian)
  double soil_nsm_last = 0;
  int n_soil_layers = 0;                       // soil layers of the soil-constituent model (third index of soil_mass)
  double soil_contam_next = 0;                 // next time of the soil constituent step (Julian)
  double soil_contam_last = 0;                 // last time of the soil constituent step (Julian)
  double mixing_layer_depth_cm = 40.0;         // mixing layer depth (cm): card MIXING_LAYER_DEPTH (m) * 100
  checked_array<double> event_soil_from_gw_mass;  // [constituent] event mass seeping into the soil from the water table (kg)
  checked_array<double> event_soil_to_gw_mass;    // [constituent] event mass seeping to the water table (kg)
  checked_array<double> event_soil_decay_mass;    // [constituent] event soil decay mass (kg)
  checked_array<double> event_soil_mass_final;    // [constituent] mass in the soil column at the event end (kg)
  checked_array<double> event_soil_mass_init;     // [constituent] mass in the soil column at the event start (kg)

  // Contaminant table columns that no other block holds, [constituent][cell].
  checked_array_2d<double> gw_cell_conc{"gw_cell_conc"};      // concentration of groundwater entering the soil (g/m3)
  checked_array_2d<double> soil_kd_table{"soil_kd_table"};    // soil-water partition coefficient Kd (L/kg)
  checked_array_2d<double> ov_con_maxconc{"ov_con_maxconc"};  // largest surface concentration the land store supplies (g/m3)
  checked_array_2d<double> soil_decay_table{"soil_decay_table"};  // first-order loss of dissolved soil mass (1/s)
  // Pending surface amounts gathered between two transport steps (g), [constituent][cell].
  checked_array_2d<double> ov_precip_cell_mass{"ov_precip_cell_mass"};    // rain load already in the surface mass
  checked_array_2d<double> ov_exfil_cell_mass{"ov_exfil_cell_mass"};      // mass brought up by exfiltration
  checked_array_2d<double> ov_gst_cell_mass{"ov_gst_cell_mass"};          // mass sent to the channel nodes
  checked_array_2d<double> ov_infil_cell_mass{"ov_infil_cell_mass"};      // mass carried down by infiltration
  checked_array_2d<double> ov_decay_cell_mass{"ov_decay_cell_mass"};      // first-order decay
  checked_array_2d<double> ov_uptake_cell_mass{"ov_uptake_cell_mass"};    // soil or land store into surface water (negative: out of it)
  checked_array_2d<double> ov_nsm_cell_mass{"ov_nsm_cell_mass"};          // nutrient kinetics change
  checked_array_2d<double> ov_to_soil_mass{"ov_to_soil_mass"};            // surface mass handed to the soil
  checked_array_2d<double> soil_to_ov_mass{"soil_to_ov_mass"};            // soil exchange into surface water, for the soil step
  checked_array_2d<double> soil_exfil_cell_mass{"soil_exfil_cell_mass"};  // soil mass carried up by exfiltration
  checked_array_2d<double> sed_source_cell_mass{"sed_source_cell_mass"};  // dissolved mass released by the suspended sediment
  checked_array_3d<double> soil_frac_dissolved_all{"soil_frac_dissolved_all"};  // [constituent][cell][layer] dissolved fraction
  dmat soil_frac_dissolved{"soil_frac_dissolved"};  // [cell][layer] dissolved fraction of the constituent being processed
  dmat soil_work_mass{"soil_work_mass"};            // [cell][layer] layer mass of the constituent being processed (g)
  dmat soil_work_conc{"soil_work_conc"};            // [cell][layer] layer concentration of the constituent being processed (mg/kg)
  dmat soil_layer_theta{"soil_layer_theta"};        // [cell][layer] water content of the constituent soil layers
  dmat soil_layer_thetas{"soil_layer_thetas"};      // [cell][layer] saturated water content of the layers (multi-layer Green-Ampt)
  dvec contam_layer_depth{"contam_layer_depth"};    // [layer] thickness of the constituent soil layers (m)
  dvec contam_layer_bottom{"contam_layer_bottom"};  // [layer] depth of the layer bottom below the surface (m)
  dvec ov_infil_vol_con{"ov_infil_vol_con"};        // [cell] water infiltrated since the infiltrated-mass part took it (m3)
  dvec exfil_depth_con{"exfil_depth_con"};          // [cell] exfiltrated depth of the step for the soil step (m)
  dvec ov_point_q{"ov_point_q"};                    // [cell] overland point-source discharge (m3/s)
  // Per-constituent terms (kg unless said otherwise).
  checked_array<double> ov_exfil_dmt{"ov_exfil_dmt"};              // step: exfiltration gain (g)
  checked_array<double> sed_source_dmt{"sed_source_dmt"};          // step: mass released by the suspended sediment (g)
  checked_array<double> ov_nsm_infil_mass{"ov_nsm_infil_mass"};    // infiltrated nutrient mass without a soil pool (g)
  checked_array<double> ov_nsm_gain_total{"ov_nsm_gain_total"};    // run gain from nutrient kinetics
  checked_array<double> ov_nsm_loss_total{"ov_nsm_loss_total"};    // run loss to nutrient kinetics
  checked_array<double> global_precip_mass{"global_precip_mass"};  // run rain load of the watershed
  checked_array<double> global_mass_in_tally{"global_mass_in_tally"};    // run inputs of the watershed
  checked_array<double> global_mass_out_tally{"global_mass_out_tally"};  // run outputs of the watershed
  checked_array<double> soil_step_decay{"soil_step_decay"};              // soil step: first-order loss (g)
  checked_array<double> soil_step_seep_down{"soil_step_seep_down"};      // soil step: flux down through the bottom layer (g)
  checked_array<double> soil_step_seep_up{"soil_step_seep_up"};          // soil step: flux up through the bottom layer (g)
  checked_array<double> soil_decay_mass_total{"soil_decay_mass_total"};  // run soil decay ("Soil decay mass")
  checked_array<double> soil_seep_down_mass_total{"soil_seep_down_mass_total"};  // run seepage to groundwater
  checked_array<double> soil_seep_up_mass_total{"soil_seep_up_mass_total"};      // run seepage from groundwater
  checked_array<double> soil_exfil_mass_total{"soil_exfil_mass_total"};          // run exfiltration loss of the soil
  checked_array<double> soil_infil_mass_total{"soil_infil_mass_total"};          // run mass added by infiltration
  checked_array<double> soil_to_ov_mass_total{"soil_to_ov_mass_total"};          // run soil to surface exchange (signed)
  checked_array<double> soil_mass_error{"soil_mass_error"};                      // soil balance error (percent)
  // Lengths of the last interval of each kinetics part.
  double precip_load_secs = 0;    // rain load (s)
  double infil_mass_secs = 0;     // infiltrated mass (s)
  double soil_exchange_secs = 0;  // soil-surface exchange (s)
  double decay_secs = 0;          // first-order decay (s)
  double outlet_mass_secs = 0;    // outlet mass (s)
  double gst_mass_secs = 0;       // grid-stream exchange (s)
  double nsm_time_days = 0;       // nutrient clock (days)
  double nsm_soil_days = 0;       // nutrient soil part (days)
  // Work vectors of the overland transport, sized once per run (per cell).
  std::vector<double> con_work_conc, con_work_mass, con_work_disp, con_net_rate;
  std::vector<double> con_flux_d, con_flux_a, con_flux_d_new, con_flux_a_new, con_pred_conc, con_pred_mass;
  std::vector<double> con_rain_depth;   // rain (m) each cell received since the last rain-load sub-step
  int con_rain_waiting = 0;             // 1 while con_rain_depth holds rain not yet loaded
  std::vector<double> con_cell_terms;   // per-cell budget terms of one constituent, term-major
  std::vector<double> con_sum_partial;  // chunk sums of fixed_chunk_sum
  std::vector<unsigned char> con_cell_flag;  // per-cell message flags of a parallel loop
};

// Overland sediment arrays, [cell][class] by active cell and size class.
struct overland_sediment_block {
  int sed_contam_on = 0;                       // 1 when sediment-attached contaminants are simulated (card SEDIMENT_CONTAM)
  dmat ov_sed_vol_eroded{"ov_sed_vol_eroded"};      // [cell][class] eroded volume of the step (m3), class 0 the total
  dmat ov_sed_vol_deposited{"ov_sed_vol_deposited"};  // [cell][class] deposited volume of the step (m3), class 0 the total
  dmat ov_sed_vol_qsx{"ov_sed_vol_qsx"};            // [cell][class] sediment volume flux in x (m3)
  dmat ov_sed_vol_qsy{"ov_sed_vol_qsy"};            // [cell][class] sediment volume flux in y (m3)
  dmat ov_sed_vol_susp{"ov_sed_vol_susp"};          // [cell][class] suspended sediment volume (m3)
  dmat ov_sed_vol_susp_work{"ov_sed_vol_susp_work"};  // [cell][class] suspended volume carried through the attached-mass step (m3)

  checked_array<double> event_sed_contam_class_final;  // [constituent] attached mass on the suspended classes at the event end (kg)
  checked_array<double> event_sed_contam_susp_final;   // [constituent] attached mass held in surface water at the event end (kg)
  checked_array<double> event_soil_sed_exch_mass;      // [constituent] event soil mass exchanged by erosion (-) and deposition (+) (kg)
  checked_array<double> event_ov_sed_source_mass;      // [constituent] event mass supplied with eroded sediment (kg)
  d3d sed_contam_class_conc{"sed_contam_class_conc"};  // [constituent][cell][class] concentration on suspended sediment, class 0 the total
  dmat sed_contam_deposited_mass{"sed_contam_deposited_mass"};  // [constituent][cell] attached mass on the deposited bed (g), cell 0 the total
  dmat sed_contam_susp_mass{"sed_contam_susp_mass"};  // [constituent][cell] attached mass held in surface water (g)
};

// Channel and lake constituent arrays: [constituent][node] rows use one flat
// index per node of the network; [constituent][lake] by lake number.
struct channel_constituent_block {
  int chan_contam_on = 0;                      // 1 when channel constituent transport is on (card CHAN_CON_TRANS or sediment as constituents)
  dmat q_node_mass{"q_node_mass"};             // [constituent][node] node mass flux
  dmat chan_point_conc{"chan_point_conc"};     // [constituent][node] point-source concentration (g/m3)
  dmat chan_point_mass_flux{"chan_point_mass_flux"};  // [constituent][node] point-source mass flux
  dmat conc_qlat{"conc_qlat"};                 // [constituent][node] concentration of the lateral inflow (g/m3)
  dmat chan_qlat_mass{"chan_qlat_mass"};       // [constituent][node] lateral-inflow mass (g)
  dmat chan_nsm_source{"chan_nsm_source"};     // [constituent][node] nutrient-model source mass (g)
  dmat qriv_mass{"qriv_mass"};                 // [constituent][node] river-groundwater exchange mass (g)
  dmat chan_decay_coef{"chan_decay_coef"};     // [constituent][node] first-order decay coefficient
  dmat chan_disp{"chan_disp"};                 // [constituent][node] dispersion coefficient
  dmat chan_mass{"chan_mass"};                 // [constituent][node] decay mass pending removal (g); the node mass is chan_node_mass
  dmat chan_node_mass{"chan_node_mass"};       // [constituent][node + link * max_nodes_per_link] dissolved node mass (g)
  dmat chan_node_conc{"chan_node_conc"};       // [constituent][node + link * max_nodes_per_link] dissolved node concentration (g/m3)
  // Per-constituent event budgets of the channels and lakes (kg), zeroed at each event start.
  dvec event_chan_decay_mass{"event_chan_decay_mass"};        // decay loss in the channels
  dvec event_chan_point_mass{"event_chan_point_mass"};        // point-source gain in the channels
  dvec event_chan_gw_mass{"event_chan_gw_mass"};              // net gain from groundwater in the channels
  dvec event_chan_ov_mass{"event_chan_ov_mass"};              // gain from overland in the channels
  dvec event_chan_out_mass{"event_chan_out_mass"};            // outlet flux
  dvec event_chan_sed_exchange_mass{"event_chan_sed_exchange_mass"};  // dissolved-attached exchange in the channels
  dvec event_chan_nsm_gain_mass{"event_chan_nsm_gain_mass"};  // gained in the channel nutrient kinetics
  dvec event_chan_nsm_loss_mass{"event_chan_nsm_loss_mass"};  // lost in the channel nutrient kinetics
  dvec event_ov_to_lake_mass{"event_ov_to_lake_mass"};        // overland flux into the lakes
  dvec event_lake_gw_mass{"event_lake_gw_mass"};              // groundwater flux of the lakes
  dvec event_lake_point_mass{"event_lake_point_mass"};        // point sources of the lakes
  dvec event_lake_precip_mass{"event_lake_precip_mass"};      // rain on the lakes
  dvec event_lake_chan_exchange_mass{"event_lake_chan_exchange_mass"};  // lake-channel exchange
  dvec event_lake_decay_mass{"event_lake_decay_mass"};        // dissolved decay in the lakes
  dvec event_chan_to_lake_mass{"event_chan_to_lake_mass"};    // inflow from the channels into the lakes
  dvec event_lake_to_chan_mass{"event_lake_to_chan_mass"};    // outflow from the lakes to the channels
  dmat chan_gw_mass{"chan_gw_mass"};           // [constituent][node] groundwater-exchange mass (g)
  dmat lake_mass{"lake_mass"};                 // [constituent][lake] lake mass (g)
  dmat lake_conc{"lake_conc"};                 // [constituent][lake] lake concentration (g/m3)
  dmat lake_decay_coef{"lake_decay_coef"};     // [constituent][lake] decay coefficient
  dmat lake_decay_mass{"lake_decay_mass"};     // [constituent][lake] decayed mass (g)
  dmat lake_chan_exchange_mass{"lake_chan_exchange_mass"};  // [constituent][lake] lake-channel exchange mass (g)
  dmat lake_gw_mass{"lake_gw_mass"};           // [constituent][lake] groundwater exchange mass (g)
  dmat lake_precip_mass{"lake_precip_mass"};   // [constituent][lake] mass brought by rain (g)
  dmat lake_chan_inflow_mass{"lake_chan_inflow_mass"};    // [constituent][lake] inflow mass from the channels (g)
  dmat lake_chan_outflow_mass{"lake_chan_outflow_mass"};  // [constituent][lake] outflow mass to the channels (g)
  dmat lake_ov_inflow_mass{"lake_ov_inflow_mass"};        // [constituent][lake] inflow mass from overland cells (g)
  dmat lake_point_mass{"lake_point_mass"};     // [constituent][lake] point-source mass (g)
  dmat lake_nsm_source{"lake_nsm_source"};     // [constituent][lake] nutrient-model source mass (g)
  dvec event_lake_mass_init{"event_lake_mass_init"};    // [constituent] mass in the channel lakes at the event start (kg)
  dvec event_lake_mass_final{"event_lake_mass_final"};  // [constituent] mass in the channel lakes at the event end (kg)
  d3d chan_qlat_sed_mass{"chan_qlat_sed_mass"};         // [constituent][node][class] sediment-attached lateral-inflow mass (g)
  dvec event_chan_sed_contam_in_mass{"event_chan_sed_contam_in_mass"};  // [constituent] attached mass entering the channels in the event (kg)
  dmat chan_tot_node_mass{"chan_tot_node_mass"};        // [constituent][node] dissolved plus attached node mass (g)
  d3d chan_sed_contam_node_conc{"chan_sed_contam_node_conc"};  // [constituent][node][class] attached concentration at the node
  dvec event_chan_sed_contam_out_mass{"event_chan_sed_contam_out_mass"};    // [constituent] attached mass leaving the watershed in the event (kg)
  dvec event_chan_sed_contam_exch_mass{"event_chan_sed_contam_exch_mass"};  // [constituent] attached-dissolved exchange in the channels (kg)
  dvec event_chan_tot_mass_final{"event_chan_tot_mass_final"};   // [constituent] total node mass in the channels at the event end (kg)
  dvec event_chan_sed_contam_final{"event_chan_sed_contam_final"};  // [constituent] attached mass in the channels at the event end (kg)
  dmat dissolved_chan_flux{"dissolved_chan_flux"};      // [constituent][node] dissolved mass flux out of the node in the last step (g/s)
  dmat attached_chan_flux{"attached_chan_flux"};        // [constituent][node] attached mass flux out of the node in the last step (g/s)
  dvec event_ov_lake_sed_contam_mass{"event_ov_lake_sed_contam_mass"};          // [constituent] attached mass from overland into lakes in the event (kg)
  dvec event_chan_lake_sed_contam_mass{"event_chan_lake_sed_contam_mass"};      // [constituent] attached mass from channels into lakes in the event (kg)
  dvec event_lake_sed_contam_source_mass{"event_lake_sed_contam_source_mass"};  // [constituent] attached mass released in lakes in the event (kg)
  dvec event_lake_settled_sed_mass{"event_lake_settled_sed_mass"};              // [constituent] attached mass settled in lakes in the event (kg)
  double chan_disp_coef = 0;                   // channel dispersion coefficient (card CHAN_DISP_COEF)
  double init_chan_conc = 0;                   // initial channel concentration (g/m3, card INIT_CHAN_CONC)
  double chan_decay_coef_uniform = 0;          // uniform channel decay coefficient (card CHAN_DECAY_COEF)
  dvec event_chan_mass_final{"event_chan_mass_final"};  // [constituent] dissolved mass in the channels at the event end (kg)
  dvec event_chan_mass_init{"event_chan_mass_init"};    // [constituent] dissolved mass in the channels at the event start (kg)
  one_based_vec<ov_boundary_face> ov_boundary_faces{"ov_boundary_faces"};  // boundary record of every active cell
  int rain_gauge_on = 0;                       // 1 when rain comes from a gauge or radar file (card PRECIP_FILE)
};

}  // namespace kavro
