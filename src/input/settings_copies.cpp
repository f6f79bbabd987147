#include "input/settings_copies.h"

#include "framework/main_state.h"

namespace kavro {

namespace {

using P = project_params_record;
using M = main_state;

// Overland, pipe-network and constituent switches of every run.
constexpr card_copy<int> straight_ints[] = {
    {&P::use_interception_coeff, &M::interception_on},
    {&P::use_overland_depths, &M::overland_depths_on},
    {&P::use_overland_wse, &M::overland_wse_on},
    {&P::use_dike_map, &M::dike_on},
    {&P::use_lowspot_file, &M::lowspot_on},
    {&P::use_all_contam_output, &M::all_contam_output_on},
    {&P::use_ov_con_trans, &M::ov_contam_on},
    {&P::use_contam_map, &M::contam_map_on},
    {&P::use_soil_con_trans, &M::soil_contam_on},
    {&P::use_soil_static_conc, &M::soil_static_conc_on},
    {&P::use_soil_noflux, &M::soil_noflux_on},
    {&P::use_sediment_contam, &M::sed_contam_on},
    {&P::use_manning_n, &M::manning_n_on},
    {&P::use_ovr_flow_block, &M::ovr_flow_block_on},
    {&P::use_ov_bmp, &M::ov_bmp_on},
    {&P::use_snow_no_infiltrate, &M::snow_no_infiltrate_on},
    {&P::use_snow_roughness, &M::snow_roughness_on},
    {&P::use_snow_darcy, &M::snow_darcy_on},
    {&P::use_snow_calibrate, &M::snow_calibrate_on},
    {&P::use_overland_lake_map, &M::overland_lake_on},
    {&P::use_storm_sewer, &M::storm_sewer_on},
    {&P::use_storm_drain, &M::storm_drain_on},
    {&P::use_drain_output, &M::drain_output_on},
    {&P::use_superlink_c_opt, &M::superlink_c_opt_on},
    {&P::use_high_head_release, &M::high_head_release_on},
    {&P::use_superlink_drainmod, &M::superlink_drainmod_on},
    {&P::use_superlink_junc_location, &M::superlink_junc_location_on},
    {&P::use_superlink_node_location, &M::superlink_node_location_on},
    {&P::use_superlink_junc_flow, &M::superlink_junc_flow_on},
    {&P::use_superlink_node_flow, &M::superlink_node_flow_on},
};
// Overland constituent coefficients.
constexpr card_copy<double> straight_reals[] = {
    {&P::ov_decay_coef, &M::ov_decay_coef},
    {&P::ov_disp_coef, &M::ov_disp_coef},
    {&P::ov_mass_load, &M::ov_mass_load},
    {&P::ov_uptake_rate, &M::ov_uptake_rate},
    {&P::kinetics_timestep_factor, &M::kinetics_timestep_factor},
};
constexpr card_copy<std::string> straight_names[] = {
    {&P::overland_depths, &M::overland_depths_path},
    {&P::overland_depth_location, &M::overland_depth_location_path},
    {&P::overland_wse, &M::overland_wse_path},
    {&P::overland_wse_location, &M::overland_wse_location_path},
    {&P::dike_map, &M::dike_map_path},
    {&P::lowspot_file, &M::lowspot_path},
    {&P::overland_lake_map, &M::overland_lake_map_path},
    {&P::overland_lake_file, &M::overland_lake_file_path},
    {&P::storm_sewer, &M::storm_sewer_path},
    {&P::grid_pipe, &M::grid_pipe_path},
    {&P::storm_drain, &M::storm_drain_path},
    {&P::drain_grid_pipe, &M::drain_grid_pipe_path},
    {&P::drain_output, &M::drain_output_path},
    {&P::superlink_junc_location, &M::superlink_junc_location_path},
    {&P::superlink_node_location, &M::superlink_node_location_path},
    {&P::superlink_junc_flow, &M::superlink_junc_flow_path},
    {&P::superlink_node_flow, &M::superlink_node_flow_path},
};

// Weather, evapotranspiration, snow and frozen ground of a long-term run.
// The values of the snow-parameter cards stay in project_params.
constexpr card_copy<int> long_term_ints[] = {
    {&P::use_hmet_surfaways, &M::hmet_surfaways_on},
    {&P::use_hmet_samson, &M::hmet_samson_on},
    {&P::use_hmet_vrx, &M::hmet_vrx_on},
    {&P::use_hmet_ascii, &M::hmet_ascii_on},
    {&P::use_et_calc_penman, &M::et_calc_penman_on},
    {&P::use_et_calc_deardorff, &M::et_calc_deardorff_on},
    {&P::use_seasonal_rs, &M::seasonal_rs_on},
    {&P::use_snow_canopy_intercept, &M::snow_canopy_intercept_on},
    {&P::use_nwsrfs_snow, &M::nwsrfs_snow_on},
    {&P::use_nwsrfs_snow_w_rad, &M::nwsrfs_snow_w_rad_on},
    {&P::use_eb_snow, &M::eb_snow_on},
    {&P::use_hy_snow, &M::hy_snow_on},
    {&P::use_reb_snow, &M::reb_snow_on},
    {&P::use_nwsrfs_retention, &M::nwsrfs_retention_on},
    {&P::use_snap_retention, &M::snap_retention_on},
    {&P::use_multiple_melt_waves, &M::multiple_melt_waves_on},
    {&P::use_snap_snow_depth, &M::snap_snow_depth_on},
    {&P::use_route_lat_snow, &M::route_lat_snow_on},
    {&P::use_nwsrfs_elev_snow, &M::nwsrfs_elev_snow_on},
    {&P::use_nwsrfs_mf_max, &M::nwsrfs_mf_max_on},
    {&P::use_nwsrfs_mf_min, &M::nwsrfs_mf_min_on},
    {&P::use_nwsrfs_fr_use, &M::nwsrfs_fr_use_on},
    {&P::use_nwsrfs_scf, &M::nwsrfs_scf_on},
    {&P::use_nwsrfs_tipm, &M::nwsrfs_tipm_on},
    {&P::use_nwsrfs_nmf, &M::nwsrfs_nmf_on},
    {&P::use_nwsrfs_fua, &M::nwsrfs_fua_on},
    {&P::use_nwsrfs_plwhc, &M::nwsrfs_plwhc_on},
    {&P::use_snow_temp_base, &M::snow_temp_base_on},
    {&P::use_snow_pxtemp, &M::snow_pxtemp_on},
    {&P::use_hmet_elev_gage, &M::hmet_elev_gage_on},
    {&P::use_hmet_lapse_rate, &M::hmet_lapse_rate_on},
    {&P::use_orogvar_hmet, &M::hmet_orog_gages_on},
    {&P::use_hmet_orog_gages, &M::hmet_orog_gages_file_on},
    {&P::use_cfgi, &M::cfgi_on},
    {&P::use_gtfsm, &M::gtfsm_on},
};
constexpr card_copy<double> long_term_reals[] = {
    {&P::event_min_q, &M::event_min_q},
    {&P::cfgi_index, &M::cfgi_index},
    {&P::cfgi_k, &M::cfgi_k},
};

// Explicit channel routing.
constexpr card_copy<int> channel_ints[] = {
    {&P::use_overbank_flow, &M::overbank_flow_on},
    {&P::use_overland_backwater, &M::overland_backwater_on},
    {&P::use_head_bound, &M::head_bound_on},
    {&P::use_bound_ts, &M::bound_ts_on},
    {&P::use_m_lake, &M::m_lake_on},
    {&P::use_stream_loss, &M::stream_loss_on},
    {&P::use_out_con_location, &M::out_con_location_on},
    {&P::use_out_mass_location, &M::out_mass_location_on},
};
constexpr card_copy<double> channel_reals[] = {
    {&P::bound_depth, &M::bound_depth},
    {&P::k_river, &M::k_river},
    {&P::m_river, &M::m_river},
    {&P::m_lake, &M::m_lake},
    {&P::first_order_chan_q, &M::first_order_chan_q},
    {&P::chan_decay_coef, &M::chan_decay_coef_uniform},
    {&P::chan_disp_coef, &M::chan_disp_coef},
    {&P::init_chan_conc, &M::init_chan_conc},
};
constexpr card_copy<std::string> channel_names[] = {
    {&P::bound_ts, &M::bound_ts_path},
    {&P::stream_cell, &M::stream_cell_path},
};

// Saturated groundwater. GW_RELAX_COEFF is copied apart: only a positive
// coefficient replaces the record's default.
constexpr card_copy<int> groundwater_ints[] = {
    {&P::gw_lsor_dir, &M::gw_lsor_dir},
    {&P::use_gw_porosity_map, &M::gw_porosity_map_on},
    {&P::use_gw_unif_porosity, &M::gw_unif_porosity_on},
    {&P::use_gw_hycond_map, &M::gw_hycond_map_on},
    {&P::use_gw_unif_hycond, &M::gw_unif_hycond_on},
    {&P::use_gw_output, &M::gw_output_on},
    {&P::use_gw_well_level, &M::gw_well_level_on},
};
constexpr card_copy<double> groundwater_reals[] = {
    {&P::gw_timestep, &M::gw_timestep},           {&P::gw_lsor_con, &M::gw_lsor_con},
    {&P::single_unsat_sat, &M::single_unsat_sat}, {&P::gw_leakage_rate, &M::gw_leakage_rate},
    {&P::gw_unif_porosity, &M::gw_unif_porosity}, {&P::gw_unif_hycond, &M::gw_unif_hycond},
    {&P::aquifer_delta_z, &M::aquifer_delta_z},
};
constexpr card_copy<std::string> groundwater_names[] = {
    {&P::gw_porosity_map, &M::gw_porosity_map_path},
    {&P::gw_hycond_map, &M::gw_hycond_map_path},
    {&P::gw_fluxboundtable, &M::gw_fluxboundtable_path},
    {&P::gw_boundfile, &M::gw_boundfile_path},
    {&P::gw_output, &M::gw_output_path},
    {&P::gw_well_level, &M::gw_well_level_path},
    {&P::out_well_location, &M::out_well_location_path},
    {&P::aquifer_bottom, &M::aquifer_bottom_path},
};

// Map and time-series output switches.
constexpr card_copy<int> output_ints[] = {
    {&P::use_depth, &M::depth_map_on},
    {&P::use_dis_rain, &M::dis_rain_map_on},
    {&P::use_gw_recharge_cum, &M::gw_recharge_cum_map_on},
    {&P::use_gw_recharge_inc, &M::gw_recharge_inc_map_on},
    {&P::use_inf_depth, &M::inf_depth_map_on},
    {&P::use_surf_moist, &M::surf_moist_map_on},
    {&P::use_chan_depth, &M::chan_depth_map_on},
    {&P::use_discharge, &M::discharge_map_on},
    {&P::use_chan_discharge, &M::chan_discharge_map_on},
    {&P::use_chan_sed_flux, &M::chan_sed_flux_map_on},
    {&P::use_in_hyd_location, &M::in_hyd_location_on},
    {&P::use_in_gwflux_location, &M::in_gwflux_location_on},
    {&P::use_in_celldepdis_location, &M::in_celldepdis_location_on},
    {&P::use_out_dep_location, &M::out_dep_location_on},
    {&P::use_in_theta_location, &M::in_theta_location_on},
    {&P::use_ov_con_map, &M::ov_con_map_on},
    {&P::use_ov_point_source, &M::ov_point_source_on},
    {&P::use_sig_outlet_hydro, &M::sig_outlet_hydro_on},
    {&P::use_lake_output, &M::lake_output_on},
    {&P::use_runoff_mmph, &M::runoff_mmph_on},
    {&P::use_rainfall_mmph, &M::rainfall_mmph_on},
    {&P::use_pqm_hydro, &M::pqm_hydro_on},
};

// The file names of the input maps and output files.
constexpr card_copy<std::string> file_names[] = {
    {&P::elevation, &M::elevation_path},
    {&P::watershed_mask, &M::watershed_mask_path},
    {&P::kotu_file, &M::permafrost_kotu_path},
    {&P::out_kotu_temp, &M::out_kotu_temp_path},
    {&P::moisture, &M::moisture_path},
    {&P::conductivity, &M::conductivity_path},
    {&P::capillary, &M::capillary_path},
    {&P::porosity, &M::porosity_path},
    {&P::pore_index, &M::pore_index_path},
    {&P::residual_sat, &M::residual_sat_path},
    {&P::roughness, &M::roughness_path},
    {&P::links, &M::links_path},
    {&P::channel_input, &M::channel_input_path},
    {&P::summary, &M::summary_path},
    {&P::outlet_hydro, &M::outlet_hydro_path},
    {&P::runoff_mmph, &M::runoff_mmph_path},
    {&P::rainfall_mmph, &M::rainfall_mmph_path},
    {&P::sig_outlet_hydro, &M::sig_outlet_hydro_path},
    {&P::lake_output, &M::lake_output_path},
    {&P::pqm_hydro, &M::pqm_hydro_path},
    {&P::storage_capacity, &M::storage_capacity_path},
    {&P::interception_coeff, &M::interception_coeff_path},
    {&P::reten_depth, &M::reten_depth_path},
    {&P::out_hyd_location, &M::out_hyd_location_path},
    {&P::out_gwflux_location, &M::out_gwflux_location_path},
    {&P::out_celldepdis_location, &M::out_celldepdis_location_path},
    {&P::out_dep_location, &M::out_dep_location_path},
    {&P::chan_point_input, &M::chan_point_input_path},
    {&P::out_con_location, &M::out_con_location_path},
    {&P::out_mass_location, &M::out_mass_location_path},
    {&P::in_theta_location, &M::in_theta_location_path},
    {&P::out_theta_location, &M::out_theta_location_path},
    {&P::contam_map, &M::contam_map_path},
    {&P::in_hyd_location, &M::in_hyd_location_path},
    {&P::in_gwflux_location, &M::in_gwflux_location_path},
    {&P::in_celldepdis_location, &M::in_celldepdis_location_path},
    {&P::albedo, &M::albedo_path},
    {&P::vheight, &M::vheight_path},
    {&P::tcoeff, &M::tcoeff_path},
    {&P::canopy, &M::canopy_path},
    {&P::wilting_point, &M::wilting_point_path},
    {&P::soil_type_map, &M::soil_type_map_path},
    {&P::soil_layer_input_file, &M::soil_layer_input_file_path},
};

// The host environment and the exchange with the co-run ecological model
// (the exchange paths are built apart, in the exchange folder).
constexpr card_copy<int> host_ints[] = {
    {&P::use_qln, &M::qln_on},
    {&P::use_vopa, &M::vopa_on},
    {&P::qln_event_num, &M::qln_event_num},
    {&P::use_qln_event_num, &M::qln_event_num_on},
    {&P::use_vopa_first, &M::vopa_first_on},
    {&P::use_moist_to_vopa, &M::moist_to_vopa_on},
    {&P::use_ksat_to_vopa, &M::ksat_to_vopa_on},
    {&P::use_rough_to_vopa, &M::rough_to_vopa_on},
    {&P::use_poros_to_vopa, &M::poros_to_vopa_on},
    {&P::use_moist_from_vopa, &M::moist_from_vopa_on},
    {&P::use_ksat_from_vopa, &M::ksat_from_vopa_on},
    {&P::use_rough_from_vopa, &M::rough_from_vopa_on},
};

// Richards soil-column options.
constexpr card_copy<int> richards_ints[] = {
    {&P::richards_iter_max, &M::richards_iter_max},
    {&P::richards_k_option, &M::richards_k_option},
    {&P::richards_c_option, &M::richards_c_option},
    {&P::richards_upper_option, &M::richards_upper_option},
};
constexpr card_copy<double> richards_reals[] = {
    {&P::richards_weight, &M::richards_weight},
    {&P::richards_dtheta_max, &M::richards_dtheta_max},
};

// Channel time series and the Courant limit of the channel step.
constexpr card_copy<int> channel_output_ints[] = {
    {&P::use_chan_depth, &M::chan_depth_on},       {&P::use_chan_discharge, &M::chan_discharge_on},
    {&P::use_chan_stage, &M::chan_stage_on},       {&P::use_chan_velocity, &M::chan_velocity_on},
    {&P::use_chan_sed_flux, &M::chan_sed_flux_on},
};
constexpr card_copy<double> channel_output_reals[] = {
    {&P::max_courant_number, &M::max_courant_number},
};

constexpr card_copy<int> et_input_rows[] = {
    {&P::use_albedo, &M::albedo_on},
    {&P::use_vheight, &M::vheight_on},
    {&P::use_tcoeff, &M::tcoeff_on},
    {&P::use_canopy, &M::canopy_on},
    {&P::use_wilting_point, &M::wilting_point_on},
};
constexpr card_copy<int> green_ampt_map_rows[] = {
    {&P::use_conductivity, &M::conductivity_on}, {&P::use_capillary, &M::capillary_on},
    {&P::use_porosity, &M::porosity_on},         {&P::use_pore_index, &M::pore_index_on},
    {&P::use_residual_sat, &M::residual_sat_on},
};
constexpr card_copy<std::string> exchange_rows[] = {
    {&P::vopa, &M::vopa_exchange_path},
    {&P::moist_to_vopa, &M::moist_to_vopa_path},
    {&P::ksat_to_vopa, &M::ksat_to_vopa_path},
    {&P::rough_to_vopa, &M::rough_to_vopa_path},
    {&P::poros_to_vopa, &M::poros_to_vopa_path},
    {&P::moist_from_vopa, &M::moist_from_vopa_path},
    {&P::ksat_from_vopa, &M::ksat_from_vopa_path},
    {&P::rough_from_vopa, &M::rough_from_vopa_path},
};

template <class T>
void copy_rows(std::span<const card_copy<T>> rows, main_state& ms) {
  for (const card_copy<T>& row : rows) ms.*row.field = ms.project_params.*row.card;
}

}  // namespace

const card_copy_group straight_copies{straight_ints, straight_reals, straight_names};
const card_copy_group long_term_copies{long_term_ints, long_term_reals, {}};
const card_copy_group channel_copies{channel_ints, channel_reals, channel_names};
const card_copy_group groundwater_copies{groundwater_ints, groundwater_reals, groundwater_names};
const card_copy_group output_copies{output_ints, {}, {}};
const card_copy_group file_name_copies{{}, {}, file_names};
const card_copy_group host_copies{host_ints, {}, {}};
const card_copy_group richards_copies{richards_ints, richards_reals, {}};
const card_copy_group channel_output_copies{channel_output_ints, channel_output_reals, {}};
const std::span<const card_copy<int>> et_input_flags{et_input_rows};
const std::span<const card_copy<int>> green_ampt_map_flags{green_ampt_map_rows};
const std::span<const card_copy<std::string>> exchange_names{exchange_rows};

void apply_card_copies(const card_copy_group& group, main_state& ms) {
  copy_rows(group.ints, ms);
  copy_rows(group.reals, ms);
  copy_rows(group.names, ms);
}

void apply_flag_copies(std::span<const card_copy<int>> rows, bool also_on, main_state& ms) {
  for (const card_copy<int>& row : rows) ms.*row.field = (ms.project_params.*row.card || also_on) ? 1 : 0;
}

void apply_prefixed_names(std::span<const card_copy<std::string>> rows, const std::string& prefix,
                          main_state& ms) {
  for (const card_copy<std::string>& row : rows) {
    const std::string& name = ms.project_params.*row.card;
    if (!name.empty()) ms.*row.field = prefix + name;
  }
}

}  // namespace kavro
