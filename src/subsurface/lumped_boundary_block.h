// The lumped basin models, overland boundaries and storage units of the run record.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "framework/checked_array.h"
#include "framework/file_wrapper.h"
#include "framework/one_based.h"
#include "overland/bmp_record.h"

namespace kavro {

// Sacramento and conceptual groundwater state (basin-mean mm), overland
// boundary and storage-unit switches and volumes (m3), flood outputs.
struct lumped_boundary_block {
  int sacramento_on = 0;                            // 1 when card SACRAMENTO (alias SACRAMENTO_PARS) enables the lumped soil-moisture-accounting model
  double sac_uztwc = 0;                             // Sacramento upper-zone tension water content in mm ("uztwc:"; the parameter reader bounds the initial fraction with ...
  double sac_uzfwc = 0;                             // Sacramento upper-zone free water content in mm ("uzfwc:")
  double sac_lztwc = 0;                             // Sacramento lower-zone tension water content in mm ("lztwc:")
  double sac_lzfsc = 0;                             // Sacramento lower-zone supplementary free water content in mm ("lzfsc:")
  double sac_lzfpc = 0;                             // Sacramento lower-zone primary free water content in mm ("lzfpc:")
  double sac_residual = 0;                          // Sacramento total residual water balance in mm ("total residual water balance")
  double sac_interval = 0;                          // Sacramento model interval in seconds (3600)
  double sac_interval_days = 0;                     // sac_interval / 86400
  double next_sac_time = 0;                         // Julian time of the next Sacramento step (sacramento_step)
  double sac_uztwc_init = 0;                        // Initial value of sac_uztwc kept for the final summary
  double sac_uzfwc_init = 0;                        // Initial value of sac_uzfwc kept for the final summary
  double sac_lztwc_init = 0;                        // Initial value of sac_lztwc kept for the final summary
  double sac_lzfpc_init = 0;                        // Initial value of sac_lzfpc kept for the final summary
  double sac_lzfsc_init = 0;                        // Initial value of sac_lzfsc kept for the final summary
  double watershed_area = 0;                        // Watershed area = dx*dx*n_cells (set by the mask reader)
  int topo_index_on = 0;                            // 1 when card TOPO_INDEX is given (Sacramento topographic-index weights)
  dvec topo_dex{"topo_dex"};                        // Topographic index per cell (Sacramento weights)
  double vol_sac_baseflow = 0;                      // Event volume of base flow from the Sacramento model
  double vol_subsurface_start = 0;                  // Subsurface volume at event start ("volume of subsurface at event start")
  double vol_subsurface_end = 0;                    // Subsurface volume at event end
  double vol_sac_evap = 0;                          // Event evaporation volume of the Sacramento model (accumulated by its step; copied to vol_direct_evap at the event end)
  double vol_sac_infil = 0;                         // Event volume of infiltrated water passed to the Sacramento model
  double sac_storage_init_mm = 0;                   // Initial Sacramento subsurface storage in mm ("Initial subsurface storage(mm)")
  double sac_pet_mm = 0;                            // Run potential evapotranspiration passed to the Sacramento model in mm
  double sac_aet_mm = 0;                            // Run AET computed by the Sacramento model in mm
  double sac_rain_mm = 0;                           // Run rainfall input of the Sacramento model in mm
  double sac_deep_recharge_mm = 0;                  // Run recharge to deep groundwater in mm ("Recharge to deep g.w. (mm)")
  std::string sacramento_path;                      // File name of card SACRAMENTO (copied by read_project; inside the Sacramento block)
  double sac_uztwm = 0;                             // Sacramento upper-zone tension water capacity (mm)
  double sac_uzfwm = 0;                             // Sacramento upper-zone free water capacity (mm)
  double sac_lztwm = 0;                             // Sacramento lower-zone tension water capacity (mm)
  double sac_lzfsm = 0;                             // Sacramento lower-zone supplementary free water capacity (mm)
  double sac_lzfpm = 0;                             // Sacramento lower-zone primary free water capacity (mm)
  double sac_final_storage_mm = 0;                  // Sacramento subsurface storage at the end of the run (mm)
  double sac_final_depth_mm = 0;                    // the same storage as a basin depth (mm)
  double sac_init_depth_mm = 0;                     // Sacramento storage at the start of the run as a basin depth (mm)
  double sac_precip_depth_mm = 0;                   // run rainfall of the Sacramento model as a basin depth (mm)
  double sac_et_depth_mm = 0;                       // run evapotranspiration of the Sacramento model as a basin depth (mm)
  double sac_vol_factor = 0;                        // basin depth (mm) to volume (m3): cell area * cells / 1000
  double sac_river_to_gw = 0;                       // run volume from the channels to the Sacramento groundwater (m3)
  double sac_subsurface_runoff_mm = 0;              // Run subsurface runoff of the Sacramento model in mm
  double sac_uzk = 0;                               // Sacramento upper-zone free water depletion (interflow) fraction per hour
  double sac_zperc = 0;                             // Sacramento maximum percolation increase factor
  double sac_rexp = 0;                              // Sacramento percolation curve exponent
  double sac_lzsk = 0;                              // Sacramento lower-zone supplementary depletion fraction per hour
  double sac_lzpk = 0;                              // Sacramento lower-zone primary depletion fraction per hour
  double sac_pfree = 0;                             // Sacramento share of percolation going straight to lower free water
  double sac_saved = 0;                             // Sacramento lower free water not available to the tension store (mm)
  double sac_pbase = 0;                             // Sacramento base percolation lzfpm*lzpk + lzfsm*lzsk (mm per hour)
  double sac_outflow_mm = 0;                        // Sacramento outflow of the last hour: surface runoff + interflow + base flow (mm)
  int num_basins = 0;                               // basin count of the Sacramento file (one basin is simulated)
  double sac_infil_prev = 0;                        // sac_infil_accum at the last Sacramento step (m summed over cells)
  double sac_input_mm = 0;                          // Sacramento input of the last hour (mm)
  double sac_et_mm = 0;                             // Sacramento evapotranspiration of the last hour: potential in, actual out (mm)
  double sac_last_time = 0;                         // Julian time of the last Sacramento step
  int sac_step_count = 0;                           // Sacramento steps taken in the run
  double vol_sac_outflow_total = 0;                 // run volume of the Sacramento outflow (m3)
  dvec sac_cell_topo_share{"sac_cell_topo_share"};  // per cell: topographic-index share of a channel cell (sums to 1 over them)
  int conceptual_gw_on = 0;                         // 1 when card CONCEPTUAL_GW enables the conceptual groundwater model
  int topo_index_cgs_on = 0;                        // 1 when card TOPO_INDEX_CGS is given
  std::string conceptual_gw_path;                   // File name of card CONCEPTUAL_GW (copied by read_project; inside the conceptual groundwater block)
  double cgw_interval = 0;                          // Conceptual groundwater interval in seconds (3600)
  double cgw_interval_days = 0;                     // cgw_interval / 86400
  double last_cgw_time = 0;                         // Julian time of the last conceptual groundwater step
  double next_cgw_time = 0;                         // Julian time of the next conceptual groundwater step
  dvec upslope_area{"upslope_area"};                // Upslope contributing area per cell (conceptual groundwater weights)
  dmat gst_cgw_weight{"gst_cgw_weight"};            // Conceptual groundwater outflow weights [stream cell][entry], allocated by the weight builder
  double cgw_slow_max = 0;                          // two-store model: slow store capacity (mm)
  double cgw_fast_max = 0;                          // two-store model: fast store capacity in the recharge split (mm; the store is not capped)
  double cgw_slow_rate = 0;                         // two-store model: share of the slow store released per hour
  double cgw_fast_rate = 0;                         // two-store model: share of the fast store released per hour
  double cgw_slow_content = 0;                      // two-store model: slow store content (mm)
  double cgw_fast_content = 0;                      // two-store model: fast store content (mm)
  double cgw_underflow_percent = 0;                 // two-store model: card underflow_percent, read and bounded, not used
  double cgw_outflow_mm = 0;                        // two-store model: outflow of the last hour (mm)
  double cgw_infil_prev = 0;                        // cgw_infil_accum at the last two-store step (m summed over cells)
  int cgw_step_count = 0;                           // two-store steps taken in the run
  double cgw_recharge_mm = 0;                       // run recharge of the two-store model (mm)
  double cgw_outflow_total_mm = 0;                  // run outflow of the two-store model (mm)
  double cgw_storage_init_mm = 0;                   // two-store storage at the first step (mm)
  double cgw_recharge_mm_at_start = 0;              // cgw_recharge_mm at the event start (the event balance takes the difference)
  double sac_channel_outflow = 0;                   // Sacramento outflow to the channels in the current step (m3/s)
  double cgw_channel_outflow = 0;                   // Conceptual groundwater outflow to the channels in the current step (m3/s)
  double vol_lumped_to_chan_total = 0;              // run volume of that outflow delivered to the channels (m3); part of vol_lat_into_chan_total
  int flush_on = 0;                                 // 1 when card FLUSH_BUFFER is given (periodic flush of standard output)
  int flush_buffer = 5000;                             // Progress-print flush interval in steps, copy of card FLUSH_BUFFER (used only while flush_on is set)
  int flush_counter = 0;                            // Steps since the last flush of standard output (shared with the long-term ET step)
  int ov_boundary_on = 0;                           // 1 when card OV_BOUNDARY defines overland boundary cells
  int xybdyinput_ovdep_on = 0;                      // 1 when card XYBDYINPUT_OVDEP gives overland boundary depths from xy input points
  int xybdyinput_ov_stage_interp_on = 0;            // 1 when card XYBDYINPUT_OV_STAGE_INTERP is given
  dvec ov_boundary_code{"ov_boundary_code"};        // Per-cell column 1 of the OVERLAND_BOUNDARY table (boundary type as a real)
  dvec ov_boundary_value{"ov_boundary_value"};      // Per-cell column 2 of the OVERLAND_BOUNDARY table (for types 6 and 7 the RATINGCURVES row ID)
  ivec boundary_type{"boundary_type"};              // Overland boundary type per cell (1 to 6; 99 marks a face-flow partner); its values, `face_dir` and `face_head` follow
  ivec face_dir{"face_dir"};                        // allocation name "face_dir" (n = 4)
  dvec face_head{"face_head"};                      // allocation name "face_head" (n = 4)
  double vol_ov_slope_bound_out_total = 0;          // Run volume lost to specified-slope overland boundaries
  double vol_ov_head_bound_out_total = 0;           // Run volume lost to specified-head overland boundaries
  double vol_ov_head_bound_in_total = 0;            // Run volume gained from specified-head overland boundaries
  double vol_ov_slope_bound_out_at_start = 0;       // vol_ov_slope_bound_out_total at the event start
  double vol_ov_head_bound_out_at_start = 0;        // vol_ov_head_bound_out_total at the event start
  double vol_ov_head_bound_in_at_start = 0;         // vol_ov_head_bound_in_total at the event start
  double vol_ov_slope_bound_out = 0;                // Event volume to specified-slope boundaries ("Volume to specified slope (out)")
  double vol_ov_head_bound_out = 0;                 // Event volume to specified-head boundaries
  double vol_ov_head_bound_in = 0;                  // Event volume from specified-head boundaries
  double vol_ov_q_bound_in_total = 0;               // Run volume gained from specified-discharge boundaries
  double vol_ov_q_bound_in = 0;                     // Event volume from specified-discharge boundaries
  double vol_ov_q_bound_in_at_start = 0;            // vol_ov_q_bound_in_total at the event start
  double vol_ov_q_bound_out_total = 0;              // Run volume lost from specified-discharge boundaries
  double vol_ov_q_bound_out = 0;                    // Event volume to specified-discharge boundaries
  double vol_ov_q_bound_out_at_start = 0;           // vol_ov_q_bound_out_total at the event start
  double vol_ov_q_bound_unmet_total = 0;            // Run volume of specified discharge that could not be met
  double vol_ov_q_bound_unmet = 0;                  // Event volume of specified discharge that could not be met
  double vol_ov_q_bound_unmet_at_start = 0;         // vol_ov_q_bound_unmet_total at the event start
  int ov_bmp_on = 0;                                // 1 when card OV_BMP enables the overland best-management-practice units
  std::unique_ptr<bmp_record> bmp_list;             // the storage units, made by the BMP set-up when ov_bmp_on
  double next_bmp_time = 0;                         // Julian time of the next BMP step (bmp_step)
  double last_bmp_time = 0;                         // Julian time of the last BMP step
  double bmp_interval = 0;                          // BMP interval in seconds (precip_interval at start)
  double bmp_interval_days = 0;                     // bmp_interval in days (precip_period at start)
  int area_reduction_on = 0;                        // 1 when card AREA_REDUCTION names an area-reduction map
  dvec area_reduction{"area_reduction"};            // Per-cell area factor: 1 minus the area-reduction map or table value
  file_wrapper area_reduction_file;                 // Opened by read_area_reduction on the AREA_REDUCTION file name
  double vol_interception_total = 0;                // Run total of interception ("Total amount of interception=")
  double vol_interception_total_at_start = 0;       // vol_interception_total at the event start
  double vol_interception = 0;                      // Event volume of interception
  double vol_canopy_sublimation_total = 0;          // Run total of canopy sublimation
  double vol_canopy_sublimation_total_at_start = 0; // vol_canopy_sublimation_total at the event start
  double vol_canopy_sublimation = 0;                // Event volume of canopy sublimation (run total minus its event-start copy)
  dmat stream_pointsource{"stream_pointsource"};   // [node][link] channel point sources (POINTSOURCE cards), allocated when any is given
  double vol_chan_point_sources_total = 0;          // Run total of channel point sources ("Total channel point sources=")
  double vol_stream_point_sinks_total = 0;          // Run total of stream point sinks (kept by the channel routing)
  double vol_lake_point_sources_total = 0;          // Run total of lake point sources (kept by the channel routing)
  double vol_lake_point_sinks_total = 0;            // Run total of lake point sinks (kept by the channel routing)
  double vol_lake_point_sources_total_at_start = 0; // vol_lake_point_sources_total at the event start
  double vol_lake_point_sinks_total_at_start = 0;   // vol_lake_point_sinks_total at the event start
  double vol_chan_point_sources_total_at_start = 0; // vol_chan_point_sources_total at the event start
  double vol_stream_point_sinks_total_at_start = 0; // vol_stream_point_sinks_total at the event start
  double vol_lake_point_sources = 0;                // Event volume of lake point sources
  double vol_lake_point_sinks = 0;                  // Event volume of lake point sinks
  double vol_stream_point_sources = 0;              // Event volume of stream point sources
  double vol_stream_point_sinks = 0;                // Event volume of stream point sinks
  double vol_lake_evap = 0;                         // Event volume of lake evaporation
  double vol_lake_evap_total_at_start = 0;          // vol_lake_evap_total at the event start
  double ov_cleanup_error_total = 0;                // Run total of the overland mass clean-up error (m3), kept by the overland step
  double ov_cleanup_error_total_at_start = 0;       // ov_cleanup_error_total at the event start
  double ov_cleanup_error = 0;                      // Event mass clean-up error from overland, m3
  double mass_in_plus_initial = 0;                  // Event water mass input plus original mass, m3 ("Mass input + original mass")
  double mass_out_plus_final = 0;                   // Event water mass output plus final mass, m3 ("Mass output + final mass")
  int velm_grid_on = 0;                             // 1 when gridded input is declared in the unsupported VELM format (the map readers then only print a message)
  int flood_grid_on = 0;                            // 1 when card FLOOD_GRID is given (set by the project reader read_project)
  int flood_stream_on = 0;                          // 1 when card FLOOD_STREAM is given (set by read_project)
  dmat yp_max_flood{"yp_max_flood"};                // allocation name "yp_max_flood"
  dvec flood_depth_max{"flood_depth_max"};          // Per-cell vector allocated zeroed by alloc_cell_arrays when flood_grid_on; updated by the overland step ...
  std::string flood_grid_path;                      // File name of card FLOOD_GRID (copied by read_project)
  std::string flood_stream_path;                    // File name of card FLOOD_STREAM (copied by read_project)
  file_wrapper flood_stream_file;                   // Flood stream stage output of card FLOOD_STREAM ("output flood stream stage", w)
  file_wrapper swe_hotstart_file;                   // Initial snow water-equivalent map file (mode "r"), read into the per-cell snow arrays by the hotstart reader
};

}  // namespace kavro
