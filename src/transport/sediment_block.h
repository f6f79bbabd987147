// The sediment control block of the run record: the overland sediment record,
// the sediment switches and budgets, the channel and lake sediment arrays,
// followed by the snow and frozen-ground state, the overland lake fields and
// the map and location output switches.
//
// [class] runs over the sediment size classes from 1 (class 0 a total where
// stated), [lake] over the channel lakes, [node][link] over the channel
// network; per-cell vectors are 1-based by active cell. Volumes in m3.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "framework/file_wrapper.h"
#include "framework/one_based.h"
#include "overland/overland_records.h"

namespace kavro {

// The overland sediment record, created by the sediment set-up when erosion
// is on. [class] runs over the size classes 1..n_sed_classes in the order of
// the SEDIMENTS table.
struct ov_sed_record {
  dvec spec_grav{"spec_grav"};          // [class] specific gravity of the particles (SEDIMENTS)
  dvec part_diam{"part_diam"};          // [class] particle diameter (mm, SEDIMENTS)
  dvec f_bind{"f_bind"};                // [class] binding value (SEDIMENTS)
  one_based_vec<std::string> output_filename{"output_filename"};  // [class] output file name (SEDIMENTS)
  dvec splash_K{"splash_K"};            // [cell] raindrop splash coefficient (60 where the table gives none)
  dvec detach_coef{"detach_coef"};      // [cell] flow detachment coefficient (2e-5 where the table gives none)
  dvec detach_exp{"detach_exp"};        // [cell] flow detachment exponent (1 where the table gives none)
  dvec detach_crit{"detach_crit"};      // [cell] critical shear stress of flow detachment (N/m2)
  dvec sed_K{"sed_K"};                  // [cell] multiplier of transport-capacity formulas 1 and 2
  d3d sed_fract{"sed_fract"};  // [cell][class][0..4] class fractions: 1 parent soil (SOIL_EROSION_PROPS); 2 suspended and 3 deposited as last formed by a capacity or median diameter of the cell
  d3d vol_sed{"vol_sed"};  // [cell][class][0..4] volumes (m3): 1 parent soil left (0 at the start, falls as soil is detached), 2 suspended, 3 deposited, 4 out of the outlet (outlet cell); cell 0 holds what leaves the grid within a step
  double outlet_vol_step = 0;           // sediment that left the grid through the overland outlet face in the latest step (m3)
  dvec qsx{"qsx"};                      // [cell] transport capacity last computed for an x face with the cell as source (m3)
  dvec qsy{"qsy"};                      // [cell] transport capacity last computed for a y face with the cell as source (m3)
  dvec ov_qsmax_total{"ov_qsmax_total"};  // [cell] total sediment flux out of the cell for the flux map (m3/s)
  dmat ov_qsmax{"ov_qsmax"};            // [cell][class] sediment flux out of the cell in the step (m3/s), class 0 the total
  dmat ov_qsvol{"ov_qsvol"};            // [cell][class] deposited less eroded volume since the run start (m3), class 0 the total
  dmat ov_qsconc{"ov_qsconc"};          // [cell][class] suspended volume copied for the map output (m3), class 0 the total
  dvec ov_conc{"ov_conc"};              // [cell] suspended sediment for the map output
  dmat tot_sed{"tot_sed"};  // [class][0..4] the vol_sed components summed over the cells at the event end (m3)
  dvec ov_net_sed{"ov_net_sed"};        // [cell] net erosion/deposition volume for the map output (m3)
  ivec sed_class{"sed_class"};          // [position] class numbers: fine classes first (1..n_fine_classes), then sand, each in class order
  dmat sand_vol_deposited_lakebank{"sand_vol_deposited_lakebank"};  // [lake][class] sand laid on the lake's bank cells (m3)
};

// Sediment switches and output files of a run.
struct sed_control_record {
  int erosion_on = 0;                   // 1 when card SOIL_EROSION is given
  int capacity_formula = 0;             // transport-capacity formula: the SOIL_EROSION value, less 10 from 10 on (1 to 6; any other returns the unit discharge)
  int adjust_channel_bed_on = 0;        // 1 when card ADJUST_CHANNEL_BED is given
  double water_temp = 0;                // water temperature (degrees C)
  double kin_viscosity = 0;             // kinematic viscosity of water (m2/s)
  int n_sed_classes = 0;                // sediment size classes (NUM_SED of the SEDIMENTS table)
  int net_sed_volume_on = 0;            // 1 when card NET_SED_VOLUME is given
  int vol_sed_susp_on = 0;              // 1 when card VOL_SED_SUSP is given
  int max_sed_flux_on = 0;              // 1 when card MAX_SED_FLUX is given
  std::string vol_sed_susp_path;        // file of card VOL_SED_SUSP
  std::string max_sed_flux_path;        // file of card MAX_SED_FLUX
  std::string net_sed_volume_path;      // file of card NET_SED_VOLUME
  std::string outlet_sed_flux_path;     // file of card OUTLET_SED_FLUX
  std::string outlet_sed_tss_path;      // file of card OUTLET_SED_TSS
  std::string out_tss_loc_path;         // file of card OUT_TSS_LOC
  file_wrapper vol_sed_susp_file;       // suspended-sediment map (w)
  file_wrapper max_sed_flux_file;       // sediment-flux map (w)
  file_wrapper net_sed_volume_file;     // net erosion/deposition volume map (w)
  file_wrapper outlet_sed_flux_file;    // outlet sediment hydrograph (w)
  file_wrapper outlet_sed_tss_file;     // outlet suspended-sediment series (w)
  file_wrapper out_tss_loc_file;        // suspended-sediment series at the sediment locations (w)
};

struct sediment_control_block {
  std::unique_ptr<ov_sed_record> ov_sed;  // the overland sediment record, null without erosion
  sed_control_record sed_control;         // sediment switches and output files
  int n_sed_locations = 0;              // sediment output locations (file of card IN_SED_LOC)
  ivec snode{"snode"};                  // [location] node of each sediment output location
  ivec slink{"slink"};                  // [location] link of each sediment output location
  double sand_size = 0;                 // smallest sand diameter of the sediment set-up (mm)
  dmat qsmax{"qsmax"};                  // [node row][class] sediment flux out of the channel node (m3/s)
  dmat qsmax_total{"qsmax_total"};      // [node][link] total sediment flux per channel node (m3/s)
  int n_sand_classes = 0;               // size classes not below the sand diameter
  int n_fine_classes = 0;               // size classes below the sand diameter
  dmat GLOBAL_MASS_SED{"GLOBAL_MASS_SED"};  // [class][0..4] whole-run sediment mass budget
  dmat GLOBAL_VOL_SED{"GLOBAL_VOL_SED"};    // [class][0..4] whole-run sediment volume budget (m3)
  dmat sed_vol_overland_to_lake{"sed_vol_overland_to_lake"};  // [lake][class] sediment volume from overland cells into the lake (m3)
  dmat SS_vol_overland_to_lake{"SS_vol_overland_to_lake"};    // [lake][class] suspended volume from overland into the lake, event (m3)
  dmat SS_vol_lake_to_overland{"SS_vol_lake_to_overland"};    // [lake][class] suspended volume from the lake to overland, event (m3)
  dmat SS_vol_lake_settled{"SS_vol_lake_settled"};            // [lake][class] suspended volume settled in the lake, event (m3)
  dmat SS_conc_lake{"SS_conc_lake"};                          // [lake][class] suspended mass concentration of the lake (mg/L)
  dmat SS_conc_vol_lake{"SS_conc_vol_lake"};                  // [lake][class] suspended volume concentration of the lake
  dmat SS_vol_lake{"SS_vol_lake"};                            // [lake][class] suspended volume of the lake (m3), class 0 the total
  ivec sand{"sand"};                                          // [class] 1 for a sand class, 0 for a fine class
  dmat SS_vol_chan_to_lake{"SS_vol_chan_to_lake"};            // [lake][class] suspended volume from channels into the lake, event (m3)
  dmat SS_vol_lake_to_chan{"SS_vol_lake_to_chan"};            // [lake][class] suspended volume from the lake into channels, event (m3)
  dmat GLOBAL_SS_vol_lake_to_chan{"GLOBAL_SS_vol_lake_to_chan"};            // [lake][class] run total (m3)
  dmat GLOBAL_SS_vol_chan_to_lake{"GLOBAL_SS_vol_chan_to_lake"};            // [lake][class] run total (m3)
  dmat GLOBAL_sed_vol_overland_to_lake{"GLOBAL_sed_vol_overland_to_lake"};  // [lake][class] run total (m3)
  dmat GLOBAL_SS_vol_lake_to_overland{"GLOBAL_SS_vol_lake_to_overland"};    // [lake][class] run total (m3)
  dmat GLOBAL_SS_vol_overland_to_lake{"GLOBAL_SS_vol_overland_to_lake"};    // [lake][class] run total (m3)
  dmat GLOBAL_SS_vol_lake_settled{"GLOBAL_SS_vol_lake_settled"};            // [lake][class] run total (m3)
  dmat lake_depo_vol{"lake_depo_vol"};          // [lake][class] sand deposited in the lake in the step (m3)
  dvec tot_lake_depo_in{"tot_lake_depo_in"};    // [lake] run wash load deposited in the lake (m3), entry 0 all lakes
  double vol_lake_sed_settled_total = 0;        // run wash load settled in lakes (m3)
  double vol_lake_sed_in_total = 0;             // run wash load into lakes from overland (m3)
  dvec tot_lake_sand_in{"tot_lake_sand_in"};    // [lake] run sand into the lake (m3), entry 0 all lakes
  double vol_sand_to_chan_total = 0;            // run sand delivered to channels from overland (m3)
  double vol_lake_sed_in = 0;                   // event wash load into lakes from overland (m3)
  double vol_lake_sed_settled = 0;              // event wash load settled in lakes (m3)
  dvec event_lake_sand_in{"event_lake_sand_in"};  // [lake] event sand into the lake (m3), entry 0 all lakes
  dvec event_lake_depo_in{"event_lake_depo_in"};  // [lake] event wash load deposited in the lake (m3), entry 0 all lakes
  dvec init_sed_vol_lake{"init_sed_vol_lake"};    // [lake] suspended volume at the event start (m3), entry 0 all lakes
  int ov_sed_out_on = 0;                // 1 when overland erosion and its outputs are active (channel routing with sediments)
  int chan_sed_flag = 0;                // 1 when ov_sed_out_on at grid set-up; switches the channel sediment on
  int in_sed_loc_on = 0;                // 1 when card IN_SED_LOC names sediment output locations
  int outlet_sed_tss_on = 0;            // 1 when card OUTLET_SED_TSS asks for the outlet suspended-sediment series
  int out_tss_loc_on = 0;               // 1 when card OUT_TSS_LOC asks for suspended-sediment series at the locations
  dmat max_eros{"max_eros"};            // [node][link] maximum erosion depth (m)
  dmat new_bel{"new_bel"};              // [node][link] current bed elevation after bed change (m)
  dmat org_bel{"org_bel"};              // [node][link] original bed elevation (m)
  d3d qlat_sed{"qlat_sed"};             // [node][link][class] lateral sediment inflow to the channel (m3), class 0 the total
  d3d qlat_tot_sed{"qlat_tot_sed"};     // [node][link][class] lateral sediment inflow accumulated for output (m3)
  d3d ch_wash_vol{"ch_wash_vol"};       // [node][link][class] suspended (wash) sediment volume in the channel (m3), class 0 the total
  dmat SS_node_conc_vol{"SS_node_conc_vol"};  // [node row][class] suspended volume concentration of the channel node, class 0 the total
  dmat SS_node_conc{"SS_node_conc"};    // [node row][fine class] suspended sediment concentration (mg/L), allocated with the channel sediment
  d3d ch_sand_vol{"ch_sand_vol"};       // [node][link][class] sand (bed-material) volume in the channel (m3), class 0 the total
  double vol_washload_susp_final = 0;   // wash load in suspension at the end (m3)
  double vol_sand_out_total = 0;        // run sand outlet discharge (m3)
  double vol_washload_out_total = 0;    // run wash-load outlet discharge (m3)
  double vol_sand_chan_init_total = 0;  // sand in the channels at the run start (m3)
  double vol_sand_chan_final = 0;       // sand in the channels at the end (m3)
  double sed_porosity = 0;              // sediment porosity of the sediment set-up (fraction)
  dmat bp_sand_vol{"bp_sand_vol"};      // [breakpoint-link slot][node] sand volume of the breakpoint section update (m3)
  double vol_washload_susp_init = 0;    // wash load in suspension at the event start (m3)
  double vol_sand_chan_init = 0;        // sand in the channels at the event start (m3)
  double vol_washload_out = 0;          // event wash-load outlet discharge (m3)
  double max_washload_rate = 0;         // largest wash-load discharge of the event (m3/s)
  double vol_sand_out = 0;              // event sand outlet discharge (m3)
  dvec sed_to_chan_by_class{"sed_to_chan_by_class"};  // [class 0..n] sediment delivered to the channels in the event (m3)
  double vol_sand_to_chan = 0;          // event sand delivered to channels from overland (m3)
  dmat chan_sed_conc{"chan_sed_conc"};  // [node row][class] sediment mass concentration of the channel node (mg/L), class 0 the total

  // Sediment transport by size class. "Fine rank" m = 1..n_fine_classes is
  // the position of a fine class in ov_sed->sed_class (class number
  // sed_class[m]); a node row is link * max_nodes_per_link + node.
  int sed_transport_mode = 0;           // 1 size classes routed by the sediment model, 2 carried as constituents (SOIL_EROSION 10 and above)
  double silt_size = 0;                 // copy of card SILT_SIZE (mm)
  double clay_size = 0;                 // copy of card CLAY_SIZE (mm)
  dmat ov_sed_conc{"ov_sed_conc"};      // [cell][class] suspended sediment concentration on the cell (g/m3), class 0 the fine total
  dvec sed_fall_velocity{"sed_fall_velocity"};        // [class] settling velocity in still water (m/s)
  dvec sed_particle_density{"sed_particle_density"};  // [class] particle density (g/m3 of solid sediment)
  dvec sed_transport_factor{"sed_transport_factor"};  // [class] 1 / ((specific gravity - 1)^2 x diameter in m), the class weight of capacity formula 1 (1/m)
  dvec sed_outlet_vol{"sed_outlet_vol"};  // [class 0..n] sediment that left the grid at the overland outlet in the step (m3), with sediment-attached contaminants
  dvec sed_to_chan_total{"sed_to_chan_total"};  // [class 0..n] run total of sediment delivered to the channels (m3), entry 0 the fine (wash-load) classes
  dvec sand_out_rate{"sand_out_rate"};  // [entry 0..n_sand_classes+1] bed material leaving the network at the outlet in the channel step (m3/s)
  dvec sand_to_chan_step{"sand_to_chan_step"};  // [entry 0..n_sand_classes+1] lateral sand laid on the channel beds in the channel step (m3)
  dvec wash_out_rate{"wash_out_rate"};  // [fine rank] wash load leaving the network at the outlet (m3/s), entry 0 the total
  dmat qlat_lake_sed{"qlat_lake_sed"};  // [lake][class] lateral sediment into the lake (m3)
  d3d qlat_lake{"qlat_lake"};           // [cell][lake][class] lateral sediment from the cell into the lake (m3)
  dmat chan_superlink_sed{"chan_superlink_sed"};  // [class][cell] sediment from the superlinks into the channels (m3)
  dvec sed_to_superlink_event{"sed_to_superlink_event"};  // [class 0..n] event sediment into the superlinks (m3)
  dvec sed_to_superlink_total{"sed_to_superlink_total"};  // [class 0..n] run sediment into the superlinks (m3)

  // Work arrays of the sediment steps, sized by the set-ups from this run's
  // cell, class and network counts; no step allocates.
  dvec sed_slope_x{"sed_slope_x"};      // [cell] water-surface slope toward the right neighbour (m/m)
  dvec sed_slope_y{"sed_slope_y"};      // [cell] water-surface slope toward the lower neighbour (m/m)
  dvec sed_out_q{"sed_out_q"};          // [cell] magnitude of the flows leaving the cell (m3/s)
  dvec sed_settle_frac{"sed_settle_frac"};  // [class] dx times the fall velocity, the settling term of flowing cells (m2/s)
  dvec sed_face_terms{"sed_face_terms"};    // per cell and face, the parts of the transport capacity that do not depend on the suspended load
  dvec chan_sand_capacity{"chan_sand_capacity"};  // [node row] sand transport capacity of the channel step (m3/s, signed)
  dmat advect_flux{"advect_flux"};      // [node row][fine rank] wash load through the node's downstream face in the step (m3), entry 0 the total
  dmat temp_conc{"temp_conc"};          // [node row][fine rank] predicted volume concentration
  dmat temp_flux{"temp_flux"};          // [node row][fine rank] wash load through the downstream face, first stage (m3)
  d3d temp_mass{"temp_mass"};           // [node][link][class] predicted wash-load volume (m3)
  dmat wash_drawn{"wash_drawn"};        // [node row][fine rank] wash load the faces of one stage drew from the node so far (m3)
  dmat lake_draw{"lake_draw"};          // [lake][fine rank] wash load drawn from the lake by channel faces in a stage (m3)

  // Snow and frozen ground.
  dvec swe{"swe"};                      // snow water equivalent (m)
  dvec swe_scaled{"swe_scaled"};        // ten times swe
  d3d Melt_Waves{"Melt_Waves"};         // melt packets of the layered snowpack per cell
  dmat sn_stat{"sn_stat"};              // [cell][1..23] state vector of the layered snowpack
  dmat snap_kavro_params{"snap_kavro_params"};  // [cell][1..11] parameters the layered snowpack keeps between hours
  d3d wave{"wave"};                     // water-wave records of the layered snowpack per cell
  dvec snowpack_temp{"snowpack_temp"};  // temperature of the snowpack per cell (degrees C)
  dvec snow_density{"snow_density"};    // density of the snowpack per cell (g/cm3)
  dvec snow_last_air_temp{"snow_last_air_temp"};  // air temperature of the snow model's last hour per cell (degrees C)
  int snow_present = 0;                 // 1 once snow lies on the watershed
  double vol_snow_final_total = 0;      // snow water on the watershed at the end of the run (m3)
  double vol_melt_final_total = 0;      // melt water waiting to enter the surface at the end of the run (m3)
  int snow_melt_present = 0;            // 1 once melt water waits to enter the surface
  double vol_snow_init = 0;             // liquid-equivalent snow volume at the event start (m3)
  double vol_snow_final = 0;            // liquid-equivalent snow volume at the event end (m3)
  double vol_melt_init = 0;             // melt-water volume at the event start (m3)
  double vol_melt_final = 0;            // melt-water volume at the event end (m3)
  int cfgi_on = 0;                      // 1 when card CFGI turns on the frozen-ground index
  double cfgi_index = 83.0;             // frozen-ground index threshold (card CFGI_INDEX)
  double cfgi_k = 0.5;                  // frozen-ground index coefficient (card CFGI_K)
  dvec ATI_2{"ATI_2"};                  // antecedent temperature index of the pack (degrees C)
  dvec D_2{"D_2"};                      // heat deficit of the pack (mm)
  dmat SNOW_PRECIP_6HR{"SNOW_PRECIP_6HR"};  // [cell][1..6] precipitation of the last six hours (mm)
  dvec H_Val{"H_Val"};                  // precipitation of the hour (mm)
  ivec St_Event{"St_Event"};            // snow event flag of the cell
  dvec TSNOW_P{"TSNOW_P"};              // snowfall of the cell
  dvec TSNOW_T{"TSNOW_T"};              // snowfall temperature of the cell
  dvec PSNOW_Total{"PSNOW_Total"};      // total snowfall of the cell
  dvec Wq{"Wq"};                        // liquid water held in the pack (mm)
  dvec Wi{"Wi"};                        // frozen part of the pack
  double snow_pxtemp = 0;               // rain/snow threshold temperature (degrees C, card SNOW_PXTEMP)
  int snow_canopy_intercept_on = 0;     // 1 when card SNOW_CANOPY_INTERCEPT is given
  int nwsrfs_snow_on = 0;               // 1 when card NWSRFS_SNOW selects the temperature-index snow model
  int nwsrfs_snow_w_rad_on = 0;         // 1 when card NWSRFS_SNOW_W_RAD selects it with radiation
  int eb_snow_on = 0;                   // 1 when card EB_SNOW selects the energy-balance snow model
  int hy_snow_on = 0;                   // 1 when card HY_SNOW is given
  int reb_snow_on = 0;                  // 1 when card REB_SNOW is given
  dvec snow_cell_buffer{"snow_cell_buffer"};  // per-cell buffer handed to the snow model by the snow step
  int nwsrfs_retention_on = 0;          // 1 when card NWSRFS_RETENTION is given
  int snap_retention_on = 0;            // 1 when card SNAP_RETENTION is given
  int multiple_melt_waves_on = 0;       // 1 when card MULTIPLE_MELT_WAVES is given
  int snap_snow_depth_on = 0;           // 1 when card SNAP_SNOW_DEPTH is given
  int route_lat_snow_on = 0;            // 1 when card ROUTE_LAT_SNOW routes snowmelt laterally
  int snap_mode_value = 0;              // melt packets passed to the snow model: 6 with snap_retention_on, else 1
  int nwsrfs_elev_snow_on = 0;          // 1 when card NWSRFS_ELEV_SNOW names the elevation-band snow file
  std::string nwsrfs_elev_snow_path;    // file of card NWSRFS_ELEV_SNOW
  int hmet_orog_gages_on = 0;           // OROGVAR_HMET flag: orographic met-gauge data are used
  int hmet_orog_gages_file_on = 0;      // 1 when card HMET_OROG_GAGES names the gauge file
  int nwsrfs_mf_max_on = 0;             // 1 when card NWSRFS_MF_MAX is given
  int nwsrfs_mf_min_on = 0;             // 1 when card NWSRFS_MF_MIN is given
  int nwsrfs_fr_use_on = 0;             // 1 when card NWSRFS_FR_USE is given
  int nwsrfs_scf_on = 0;                // 1 when card NWSRFS_SCF is given
  int hmet_elev_gage_on = 0;            // 1 when card HMET_ELEV_GAGE is given
  int hmet_lapse_rate_on = 0;           // 1 when card HMET_LAPSE_RATE is given
  int nwsrfs_tipm_on = 0;               // 1 when card NWSRFS_TIPM is given
  int nwsrfs_nmf_on = 0;                // 1 when card NWSRFS_NMF is given
  int nwsrfs_fua_on = 0;                // 1 when card NWSRFS_FUA is given
  int nwsrfs_plwhc_on = 0;              // 1 when card NWSRFS_PLWHC is given
  int snow_temp_base_on = 0;            // 1 when card SNOW_TEMP_BASE is given
  int snow_pxtemp_on = 0;               // 1 when card SNOW_PXTEMP is given
  double station_elev = 0;              // met-station elevation (m)
  double snow_interval = 0;             // snow model interval (s)
  double snow_interval_days = 0;        // snow model interval (days)
  double last_snow_time = 0;            // last snow step (Julian)
  double next_snow_time = 0;            // next snow step (Julian)
  dvec snow_melt_to_ov{"snow_melt_to_ov"};  // melt water waiting to enter the surface (m)
  double melt_interval = 0;             // melt-release interval (s)
  double melt_interval_days = 0;        // melt-release interval (days)
  double last_melt_time = 0;            // last melt release (Julian)
  double next_melt_time = 0;            // next melt release (Julian)
  double snow_latent_fusion = 80.0;     // latent heat of fusion of the pack (cal/g)
  double snow_longwave_emission = 27.0; // long-wave emission of the pack surface (cal/cm2 per hour)
  int melt_release_armed = 0;           // 1 while the melt release runs every step (melt waits in some cell's packets)
  double snow_hours_accum = 0;          // hours of snow steps since the last hourly snow model run; 0 at the run's start
  double vol_snow_init_total = 0;       // snow on the ground and the canopy at the run's start, after the hotstart (m3)
  dvec canopy_sublimation_hour{"canopy_sublimation_hour"};  // [cell] canopy snow sublimated in the last snow model run (m)
  std::vector<double> snow_sum_partial;          // chunk sums of the snow steps' run totals
  std::vector<unsigned char> snow_cell_flags;    // [cell] messages found inside the snow steps' parallel loops

  // Overland lakes.
  int overland_lake_on = 0;             // 1 when card OVERLAND_LAKE_MAP names an overland lake map
  int n_olakes = 0;                     // overland lakes (largest lake number of the map)
  std::string overland_lake_map_path;   // overland lake map
  std::string overland_lake_file_path;  // file of card OVERLAND_LAKE_FILE
  ivec oland_lake_mask{"oland_lake_mask"};  // [cell] overland lake number of the map, 0 outside lakes
  ivec oland_lake_new{"oland_lake_new"};    // [cell] overland lake number including cells the lakes took in
  one_based_vec<olake> olake_table{"olake_table"};  // [lake] overland lake records
  int olake_event_flag = 0;             // 1 when the overland-lake step is due in this pass (set by the rain and routing steps), cleared at every event start
  double vol_ov_lakes_step = 0;         // water in all overland lakes before the last extent update (m3)
  double vol_into_ov_lakes_total = 0;   // run flow into overland lakes (m3)
  double vol_from_ov_lakes_total = 0;   // run flow from overland lakes (m3)

  // Map and location output switches.
  int depth_map_on = 0;                 // 1 when card DEPTH asks for water-depth maps
  int dis_rain_map_on = 0;              // 1 when card DIS_RAIN asks for rainfall maps
  int gw_recharge_cum_map_on = 0;       // 1 when card GW_RECHARGE_CUM asks for cumulative recharge maps
  int gw_recharge_inc_map_on = 0;       // 1 when card GW_RECHARGE_INC asks for incremental recharge maps
  int inf_depth_map_on = 0;             // 1 when card INF_DEPTH asks for infiltration-depth maps
  int rate_of_infil_map_on = 0;         // 1 when card RATE_OF_INFIL asks for infiltration-rate maps
  int surf_moist_map_on = 0;            // 1 when card SURF_MOIST asks for surface soil-moisture maps
  int chan_depth_map_on = 0;            // 1 when card CHAN_DEPTH was given
  int chan_sed_flux_map_on = 0;         // 1 when card CHAN_SED_FLUX was given
  int chan_discharge_map_on = 0;        // 1 when card CHAN_DISCHARGE was given
  int in_hyd_location_on = 0;           // 1 when card IN_HYD_LOCATION names hydrograph output locations
  int in_gwflux_location_on = 0;        // 1 when card IN_GWFLUX_LOCATION names groundwater-flux output locations
  int in_celldepdis_location_on = 0;    // 1 when card IN_CELLDEPDIS_LOCATION names cell depth/discharge locations
  int out_dep_location_on = 0;          // 1 when card OUT_DEP_LOCATION asks for the cell depth series
  int out_con_location_on = 0;          // 1 when card OUT_CON_LOCATION asks for the cell concentration series
  int out_mass_location_on = 0;         // 1 when card OUT_MASS_LOCATION asks for the cell mass series
  int in_theta_location_on = 0;         // 1 when card IN_THETA_LOCATION names soil-moisture output cells
  int discharge_map_on = 0;             // 1 when card DISCHARGE asks for overland discharge maps
  int superlink_junc_location_on = 0;   // 1 when card SUPERLINK_JUNC_LOCATION names junction output locations
  int superlink_node_location_on = 0;   // 1 when card SUPERLINK_NODE_LOCATION names node output locations
  int superlink_junc_flow_on = 0;       // 1 when card SUPERLINK_JUNC_FLOW asks for the junction flow series
  int superlink_node_flow_on = 0;       // 1 when card SUPERLINK_NODE_FLOW asks for the node flow series
  int ov_con_map_on = 0;                // 1 when card OV_CON_MAP asks for overland concentration maps
  int sig_outlet_hydro_on = 0;          // 1 when card SIG_OUTLET_HYDRO asks for the six-digit outlet hydrograph
  int lake_output_on = 0;               // 1 when card LAKE_OUTPUT asks for the lake output file
  int map_dataset_mode = 0;             // 1 for map type 1, 2 or 4 (dataset files)
  int start_hhmm = 0;                   // start time as hour * 100 + minute
  int start_yyyymmdd = 0;               // start date as (year * 100 + month) * 100 + day
  int map_dataset_binary = 0;           // 1 for map type 2 (binary dataset files)
};

}  // namespace kavro
