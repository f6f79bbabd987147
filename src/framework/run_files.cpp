#include "framework/run_files.h"

#include <initializer_list>

#include "framework/main_state.h"
#include "framework/run_globals.h"

namespace kavro {

namespace {

using wrapper_member = file_wrapper main_state::*;

// The files of the run in the order they are closed: groundwater and wells,
// soils, soil and vegetation maps, rain and surface maps, channel inputs,
// hotstarts, locations and time series, link/node outputs, map datasets,
// end-of-run files, lumped models and drains.
const std::initializer_list<wrapper_member> closing_order = {
    &main_state::gw_boundfile_file, &main_state::fs_out_well_location,
    &main_state::overland_depth_location_file, &main_state::overland_wse_location_file,
    &main_state::gw_hycond_map_file,
    &main_state::fs_water_table, &main_state::fs_aquifer_bottom, &main_state::fs_soil_type_map,
    &main_state::fs_soil_layer_input_file,
    &main_state::fs_moisture, &main_state::fs_conductivity, &main_state::fs_contam_map, &main_state::fs_capillary,
    &main_state::fs_porosity, &main_state::fs_pore_index, &main_state::fs_residual_sat,
    &main_state::fs_hmet_surfaways, &main_state::fs_hmet_orog_gages, &main_state::fs_albedo,
    &main_state::fs_vheight, &main_state::fs_tcoeff, &main_state::fs_canopy, &main_state::fs_wilting_point,
    &main_state::fs_precip, &main_state::fs_stream_cell, &main_state::fs_storage_capacity,
    &main_state::fs_interception_coeff, &main_state::fs_overland_lake_map, &main_state::fs_overland_lake_file,
    &main_state::fs_reten_depth, &main_state::fs_roughness, &main_state::fs_area_reduction,
    &main_state::channel_input_file, &main_state::chan_hotstart_in_file,
    &main_state::ov_init_depth_file, &main_state::fs_chan_hotstart_out, &main_state::read_sm_hotstart_file,
    &main_state::fs_in_hyd_location, &main_state::fs_in_gwflux_location, &main_state::fs_in_celldepdis_location,
    &main_state::fs_out_hyd, &main_state::fs_out_gwflux, &main_state::fs_out_celldepdis,
    &main_state::fs_hyd_6digit, &main_state::fs_superlink_junc_location, &main_state::fs_superlink_node_location,
    &main_state::fs_superlink_junc_out, &main_state::fs_superlink_node_out, &main_state::fs_lake_out,
    &main_state::fs_out_loc_1, &main_state::fs_out_loc_2, &main_state::fs_out_loc_3,
    &main_state::fs_in_theta_location, &main_state::fs_out_theta_location,
    &main_state::chan_depth_file, &main_state::chan_sed_flux_file, &main_state::chan_stage_file,
    &main_state::chan_discharge_file,
    &main_state::fs_map_dataset_0, &main_state::fs_map_dataset_1, &main_state::fs_map_dataset_2,
    &main_state::fs_map_dataset_12, &main_state::fs_map_dataset_13, &main_state::fs_map_dataset_3,
    &main_state::fs_map_dataset_4, &main_state::fs_map_dataset_5,
    &main_state::fs_in_sed_loc, &main_state::fs_out_sed_loc, &main_state::fs_map_dataset_10,
    &main_state::fs_map_dataset_6, &main_state::fs_map_dataset_11, &main_state::fs_map_dataset_14,
    &main_state::fs_final_out_1, &main_state::fs_final_out_3, &main_state::fs_final_out_2,
    &main_state::fs_summary, &main_state::swe_hotstart_file,
    &main_state::fs_conceptual_gw, &main_state::fs_sacramento, &main_state::drain_output_file,
    &main_state::fs_runoff_mmph, &main_state::fs_rain_mmph, &main_state::superlink_flows_file,
};

}  // namespace

void close_all_files(main_state& ms) {
  for (wrapper_member w : closing_order) (ms.*w).close();
  // The sediment outputs live in the sediment control record.
  for (file_wrapper* w : {&ms.sed_control.vol_sed_susp_file, &ms.sed_control.max_sed_flux_file,
                          &ms.sed_control.net_sed_volume_file, &ms.sed_control.outlet_sed_flux_file,
                          &ms.sed_control.outlet_sed_tss_file, &ms.sed_control.out_tss_loc_file}) {
    w->close();
  }
  // Every other slot (mask, elevation, exchange, the unused ones) closes
  // here too, so that all files of the run are complete when it returns.
  for (int i = 0; i < n_file_slots; ++i) file_slot(ms, i).close();
  // The Q7 inflow series is process-wide but written by one run only: the
  // next run of a batch opens it afresh.
  q7_inflow_file.close();
}

}  // namespace kavro
