// The event report appended to the run log at the end of every event: how
// the event was driven, its peak, its water volumes (m3) and their balance,
// the Richards and groundwater balances, the constituent and sediment
// budgets, warnings, and what the run read, simulated and wrote.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "framework/main_state.h"
#include "output/event_summary.h"
#include "output/output_steps.h"

namespace kavro {

namespace {

// The station of a weather file: the leading run of capital letters.
std::string station_name(const std::string& text) {
  std::string name;
  for (char c : text) {
    if (c < 'A' || c > 'Z') break;
    name += c;
  }
  return name;
}

void write_heading(std::FILE* f, const main_state& ms) {
  if (ms.long_term_on && ms.event_no > 1)
    std::fprintf(f, "\n\n------------------------------------------------------------------------------\n");
  if (!ms.long_term_on) {
    std::fprintf(f, "         KAVRO EVENT RUNOFF SIMULATION SUMMARY\n");
    std::fprintf(f, "            Event began on %2.2d/%2.2d/%4.4d at %2.2d:%2.2d\n", ms.event_month, ms.event_day,
                 ms.event_year, ms.event_hour, ms.event_minute);
    return;
  }
  std::fprintf(f, "       KAVRO LONG-TERM RUNOFF SIMULATION SUMMARY- EVENT %ld\n", static_cast<long>(ms.event_no));
  std::fprintf(f, "Event began on strict Julian date:                    %16.8lf\n", ms.event_start_time);
  std::fprintf(f, "Event ended on strict Julian date:                    %16.8lf\n", ms.now);
  std::fprintf(f, "Event began on %2.2ld/%2.2ld/%4.4ld at %2.2ld:%2.2ld  GMT %3.1f hours.\n\n",
               static_cast<long>(ms.event_month), static_cast<long>(ms.event_day), static_cast<long>(ms.event_year),
               static_cast<long>(ms.event_hour), static_cast<long>(ms.event_minute), ms.gmt_offset);
  if (ms.hmet_samson_on)
    std::fprintf(f, "KAVRO used NCDC/SAMSON hydrometeorological data from the %s station\n",
                 station_name(ms.hmet_station_name).c_str());
  if (ms.hmet_surfaways_on) std::fprintf(f, "KAVRO used NCDC/Surface Airways hydrometeorological data.\n");
  std::fprintf(f, "Hydrometeorology data began on: %2.2d/%2.2d/%4d at %2d:00\n", ms.hmet_begin_month, ms.hmet_begin_day,
               ms.hmet_begin_year, ms.hmet_begin_hour);
  std::fprintf(f, "and ended on:                   %2.2d/%2.2d/%4d at %2d:00\n", ms.hmet_end_month, ms.hmet_end_day,
               ms.hmet_end_year, ms.hmet_end_hour);
  std::fprintf(f, "The following number of hydromet. data points were repaired:%d\n", ms.n_hmet_repaired);
  if (ms.et_calc_penman_on) std::fprintf(f, "Penman-Montieth evapotranspiration was calculated.\n");
  if (ms.et_calc_deardorff_on) std::fprintf(f, "Deardorff bare-soil evaporation was calculated.\n");
  if (ms.sacramento_on) std::fprintf(f, "Sacramento soil moisture accounting was used.\n");
  std::fprintf(f, "\n");
}

void write_driving(std::FILE* f, const main_state& ms) {
  if (ms.uniform_rain_on)
    std::fprintf(f, "   With uniform rainfall of %6.1lf mm/h for %6.1lf minutes.\n\n", ms.rain_intensity,
                 ms.rain_duration);
  if (ms.rain_gauge_on) std::fprintf(f, "With raingage data ");
  if (ms.radar_mode == 2) std::fprintf(f, "With radar-rainfall estimates ");
  if (ms.rain_inv_distance_on) std::fprintf(f, "using inverse-distance squared interpolation.\n\n");
  if (ms.rain_thiessen_on) std::fprintf(f, "using Thiessen polygon interpolation.\n\n");
  if (ms.units_flag == 0)
    std::fprintf(f, "elevation and gridsize are in meters\n");
  else
    std::fprintf(f, "elevation and gridsize were converted from feet to meters\n");
  std::fprintf(f, "timestep                                   %5.1lf seconds\n", ms.dt);
  if (ms.long_term_on)
    std::fprintf(f, "initial basin-averaged soil water content: %5.2lf percent\n", ms.init_basin_soil_water * 100.0);
  std::fprintf(f, "number of timesteps with rain:             %d\n", ms.n_rain_steps);
  std::fprintf(f, "elapsed time when rain began:              %5.2lf\n \n", ms.rain_start_min - ms.dt / 60.0);
}

void write_peak(std::FILE* f, const main_state& ms) {
  if (ms.event_peak_q > 0.0) {
    std::fprintf(f, "peak occured on strict Julian date:       %16.8lf\n", ms.peak_time);
    std::fprintf(f, "date/time of peak discharge:              %d/%d/%d  %d:%2.2d:%2.2d\n", ms.peak_month, ms.peak_day,
                 ms.peak_year, ms.peak_hour, ms.peak_minute, ms.peak_second);
  }
  std::fprintf(f, "Event peak discharge (cubic meters per second):  %12.4lf\n\n", ms.event_peak_q);
}

void write_volumes(std::FILE* f, const main_state& ms) {
  const bool chan = ms.channel_on == 1;
  std::fprintf(f, "Note: all volumes in cubic meters.\n");
  if (ms.lakes_on) std::fprintf(f, "initial volume in lakes               %16.1lf\n", ms.vol_lakes_init);
  std::fprintf(f, "initial volume of overland flow:      %16.1lf\n", ms.vol_overland_init);
  if (chan) std::fprintf(f, "initial volume in channels:           %16.1lf\n", ms.vol_channel_init);
  if (ms.storm_sewer_on) std::fprintf(f, "initial volume in sub-surface drains: %16.1lf\n \n", ms.vol_drains_init);
  std::fprintf(f, "initial liquid-equiv. volume of snow: %16.1lf\n \n", ms.vol_snow_init);
  std::fprintf(f, "volume of melt water:                 %16.1lf\n \n", ms.vol_melt_init);
  std::fprintf(f, "volume of rainfall to overland:      %16.1lf\n", ms.vol_precip + ms.vol_interception);
  std::fprintf(f, "volume of interception:              %16.1lf\n", ms.vol_interception);
  if (ms.sacramento_on) {
    std::fprintf(f, "volume of base flow from Sacramento:   %16.1lf\n", ms.vol_sac_baseflow);
    std::fprintf(f, "volume of subsurface at event start:   %16.1lf\n", ms.vol_subsurface_start);
    std::fprintf(f, "volume of subsurface at event end:     %16.1lf\n", ms.vol_subsurface_end);
    std::fprintf(f, "volume of et removed water:            %16.1lf\n", ms.vol_direct_evap);
    std::fprintf(f, "volume of infil water SAC recieves:    %16.1lf\n", ms.vol_sac_infil);
  }
  std::fprintf(f, "volume of direct evaporation:        %16.1lf\n", ms.vol_direct_evap);
  std::fprintf(f, "volume of infiltrated water:         %16.1lf\n", ms.vol_infiltrated);
  std::fprintf(f, "volume of water exfiltrated:         %16.1lf\n", ms.vol_exfil);
  std::fprintf(f, "volume of discharge:                 %16.1lf\n", ms.vol_discharge);
  if (ms.soil_redist_on) std::fprintf(f, "volume of groundwater recharge:      %16.1lf\n", ms.vol_gw_recharge);
  if (chan) {
    std::fprintf(f, "net volume of lateral inflow:        %16.1lf\n",
                 ms.vol_lat_inflow_total - ms.vol_lat_inflow_total_at_start);
    std::fprintf(f, "lateral flow into channel            %16.1lf\n",
                 ms.vol_lat_into_chan_total - ms.vol_lat_into_chan_total_at_start);
    // The outflow total is kept negative: the line shows a positive outflow.
    std::fprintf(f, "lateral flow out of channel          %16.1lf\n",
                 ms.vol_lat_out_of_chan_total_at_start - ms.vol_lat_out_of_chan_total);
  }
  if (ms.channel_on && ms.stream_loss_on && !ms.sacramento_on) {
    std::fprintf(f, "volume of gw to chan:                %16.1lf\n", ms.vol_gw_to_chan);
    std::fprintf(f, "volume of water from chan to gw:     %16.1lf\n", ms.vol_chan_to_gw);
  }
  if (ms.channel_on && ms.lakes_on) {
    std::fprintf(f, "volume precip to lake:               %16.1lf\n", ms.vol_precip_lake);
    std::fprintf(f, "volume overland to lake:             %16.1lf\n", ms.vol_overland_to_lake);
    std::fprintf(f, "volume overland from lake:           %16.1lf\n", ms.vol_overland_from_lake);
    if (ms.m_lake_on) {
      std::fprintf(f, "volume of gw to lakes:               %16.1lf\n", ms.vol_gw_to_lakes);
      std::fprintf(f, "volume of water from lakes to gw:    %16.1lf\n", ms.vol_lakes_to_gw);
    }
  }
  if (chan) {
    std::fprintf(f, "volume of stream point sources:      %16.1lf\n", ms.vol_stream_point_sources);
    std::fprintf(f, "volume of stream point sinks:        %16.1lf\n", ms.vol_stream_point_sinks);
    std::fprintf(f, "volume of lake point sources:        %16.1lf\n", ms.vol_lake_point_sources);
    std::fprintf(f, "volume of lake point sinks:          %16.1lf\n", ms.vol_lake_point_sinks);
    std::fprintf(f, "volume of lake evaporation:          %16.1lf\n", ms.vol_lake_evap);
  }
  if (ms.long_term_on && ms.richards_on) std::fprintf(f, "volume of total evaporation:         %16.1lf\n", ms.vol_evap);
  std::fprintf(f, "volume from overland point sources:  %16.1lf\n", ms.vol_ov_point_sources);
}

void write_boundaries_and_networks(std::FILE* f, const main_state& ms) {
  if (ms.ov_boundary_on || ms.xybdyinput_ovdep_on) {
    std::fprintf(f, "\n");
    std::fprintf(f, "Volume to specified head (out):      %16.1lf\n", ms.vol_ov_head_bound_out);
    std::fprintf(f, "Volume from specified head (in):     %16.1lf\n", ms.vol_ov_head_bound_in);
    if (ms.ov_boundary_on) {
      std::fprintf(f, "Volume to specified slope (out):     %16.1lf\n", ms.vol_ov_slope_bound_out);
      std::fprintf(f, "Volume from specified discharge (in):%16.1lf\n", ms.vol_ov_q_bound_in);
      std::fprintf(f, "Volume to specified discharge (out): %16.1lf\n", ms.vol_ov_q_bound_out);
      std::fprintf(f, "Volume of specified discharge unmet: %16.1lf\n", ms.vol_ov_q_bound_unmet);
    }
    std::fprintf(f, "\n");
  }
  if (ms.ov_bmp_on) {
    const bmp_record empty{};
    const bmp_record& b = ms.bmp_list ? *ms.bmp_list : empty;
    std::fprintf(f, "\n");
    std::fprintf(f, "Volume of precip to the BMPs:        %16.1lf\n", b.event_vol_precip);
    std::fprintf(f, "Volume to BMPs from overland:        %16.1lf\n", b.event_vol_from_ov);
    std::fprintf(f, "Volume from BMPs to overland:        %16.1lf\n", b.event_vol_to_ov);
    std::fprintf(f, "Volume from BMPs to groundwater:     %16.1lf\n", b.event_vol_seep);
  }
  const drain_network empty_drain{};
  const drain_network& d = ms.drain ? *ms.drain : empty_drain;
  if (ms.storm_sewer_on) {
    std::fprintf(f, "overland inputs to superlink:        %16.1lf\n", ms.vol_overland_to_superlink);
    std::fprintf(f, "volume of superlink to overland:     %16.1lf\n", ms.vol_superlink_to_overland);
    if (ms.channel_on) std::fprintf(f, "volume of superlink to channels:     %16.1lf\n", ms.vol_superlink_to_channel);
    if (ms.superlink_tiles_on) std::fprintf(f, "volume of gw to tile drains:         %16.1lf\n", ms.vol_gw_to_tile);
    if (ms.storm_drain_on) std::fprintf(f, "volume from non superlink drains:    %16.1lf\n", d.drain_to_superlink_vol);
  }
  if (ms.storm_drain_on) {
    std::fprintf(f, "overland inputs to non superlink drains:        %16.1lf\n", d.ov_to_drain_vol);
    std::fprintf(f, "volume of non superlink drains to overland:     %16.1lf\n", d.drain_to_ov_vol);
    if (ms.channel_on) std::fprintf(f, "volume of non superlink drains to channels:     %16.1lf\n", d.drain_to_chan_vol);
    if (d.tile_drains_on) std::fprintf(f, "volume of gw to non superlink tile drains:      %16.1lf\n", d.gw_to_drain_vol);
    if (ms.storm_sewer_on) std::fprintf(f, "volume of non superlink drains to superlink:    %16.1lf\n", d.drain_to_superlink_vol);
  }
  std::fprintf(f, "\n");
}

void write_final_volumes(std::FILE* f, const main_state& ms) {
  if (ms.lakes_on) std::fprintf(f, "volume remaining in lakes            %16.1lf\n", ms.vol_lakes_final);
  std::fprintf(f, "volume remaining on surface:         %16.1lf\n", ms.vol_surface_final);
  if (ms.channel_on == 1) std::fprintf(f, "final volume in channels (cu. m):    %16.1lf\n", ms.vol_channel_final);
  if (ms.storm_sewer_on) std::fprintf(f, "volume remaining in drains:          %16.1lf\n", ms.vol_drains_final);
  std::fprintf(f, "final volume of snow (cu. m):        %16.1lf\n \n", ms.vol_snow_final);
  std::fprintf(f, "final volume of melt water (cu. m):  %16.1lf\n \n", ms.vol_melt_final);
  if (ms.vol_snow_final > 0.0) std::fprintf(f, "********WARNING - YOU HAVE SNOW ACCUMULATION !!!!!!!!!!!!!!!!\n");
}

void write_mass_conservation(std::FILE* f, const main_state& ms) {
  const double e = ms.mass_conservation_error;
  std::fprintf(f, "mass conservation error:                         %9.6lf percent\n", e * 100.0);
  if (e < 0.0 && e != -1.0)
    std::fprintf(f, "Note: negative mass conservation error indicates mass was gained.\n");
  else
    std::fprintf(f, "Note: positive mass conservation error indicates mass was created.\n");
  std::fprintf(f, "Mass input + original mass:           %9.6lf m3\n", ms.mass_in_plus_initial);
  std::fprintf(f, "Mass output + final mass:             %9.6lf m3\n", ms.mass_out_plus_final);
  std::fprintf(f, "mass cleanup error from overland:     %9.6lf m3\n", ms.ov_cleanup_error);
  std::fprintf(f, "\n");
  if (ms.long_term_on)
    std::fprintf(f, "final basin-averaged soil water content: %5.2lf percent\n", ms.final_basin_soil_water * 100.0);
  if (e == -1.0) std::fprintf(f, "Note: no rainfall was input.\n");
}

void write_richards(std::FILE* f, const main_state& ms) {
  if (!ms.richards_on) return;
  std::fprintf(f, "\n \n Richard's EQ. Computations \n \n");
  std::fprintf(f, "volume lost due to dir. evap (cu. m):  %9.1lf\n", ms.vol_direct_evap);
  std::fprintf(f, "net vol infiltrated to soil (cu. m.):  %9.1lf\n", ms.vol_net_infiltrated);
  std::fprintf(f, "vol groundwater recharge (cu. m):      %9.1lf\n", ms.vol_gw_recharge);
  std::fprintf(f, "Initial volume in soils (cu. m.):      %9.1lf\n", ms.vol_soil_init);
  std::fprintf(f, "Final volume in soils (cu. m.):        %9.1lf\n", ms.vol_soil_final);
  std::fprintf(f, "Richard equation mass balance error         %5.4lf percent\n", ms.richards_mass_error);
  std::fprintf(f, "Number of cells at start of event   %12d\n", ms.n_event_cells_start);
  std::fprintf(f, "Number of cells at end of event     %12d\n", ms.n_event_cells_end);
  std::fprintf(f, "net volume of infiltration is infiltration minus evaporation\n");
}

void write_groundwater(std::FILE* f, const main_state& ms) {
  if (!ms.gw_simulation_on) return;
  std::fprintf(f, "\n \n GROUNDWATER CALCULATION SUMMARIES FOR EVENT \n \n");
  std::fprintf(f, "volume of water directly to surface from groundwater (cu. m): %9.1lf\n", ms.vol_exfil);
  std::fprintf(f, "beginning vol of water exfiltrated this event (cu. m):        %9.1lf\n", ms.vol_exfil_total_at_start);
  std::fprintf(f, "total vol of water exfiltrated this run (cu. m):              %9.1lf\n", ms.vol_exfil_total);
  std::fprintf(f, "vol from gw to unsat this event, w/o recharge (cu. m):        %9.1lf\n", ms.vol_to_unsat);
  std::fprintf(f, "vol groundwater recharge (cu. m):                             %9.1lf\n", ms.vol_gw_recharge);
  if (ms.channel_on) {
    std::fprintf(f, "vol from gw to chan  this event (cu. m):                      %9.1lf\n", ms.vol_gw_to_chan);
    std::fprintf(f, "vol from chan to gw  this event (cu. m):                      %9.1lf\n", ms.vol_chan_to_gw);
    if (ms.lakes_on) {
      std::fprintf(f, "vol from gw to lakes this event (cu. m):                      %9.1lf\n", ms.vol_gw_to_lakes);
      std::fprintf(f, "vol from lakes to gw this event (cu. m):                      %9.1lf\n", ms.vol_lakes_to_gw);
    }
  }
  if (ms.storm_sewer_on)
    std::fprintf(f, "vol gw to tile dtrains (cu. m):                               %9.1lf\n", ms.vol_gw_to_tile);
  if (gw_xy_boundaries_on(ms)) {
    std::fprintf(f, "vol gain for gw from XY boundaries:                           %9.1lf\n", ms.vol_gw_xy_gain);
    std::fprintf(f, "vol loss for gw from XY boundaries:                           %9.1lf\n", ms.vol_gw_xy_loss);
  }
  std::fprintf(f, "\n");
}

void write_warnings(std::FILE* f, main_state& ms) {
  std::fprintf(f, "THE FOLLOWING WARNINGS ARE GIVEN:\n");
  // The console warnings of the run since the last summary.
  const bool given = list_new_warnings(f, ms.run_warnings);
  const double percent = ms.mass_conservation_error * 100.0;
  // An event without input has the error -1 by convention: it is reported
  // by its note, not as a failed balance.
  const bool high_error = std::fabs(percent) > 1.0 && ms.mass_conservation_error != -1.0;
  if (high_error) {
    std::fprintf(f, " !!!!!!!!!!!!!!!!!!!!!!!!!!!!!WARNING!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!\n");
    std::fprintf(f, " Mass conservation error is larger than typical values (<1 percent).\n");
    std::fprintf(f, " This indicates a problem with your data set, or that you are using the model\n");
    std::fprintf(f, " to simulate an extreme event which violates one or more assumptions made\n");
    std::fprintf(f, " in the development of KAVRO.  You should first check for errors in the\n");
    std::fprintf(f, " channel inputs, including cross-sectional data.  A decrease in the model\n");
    std::fprintf(f, " time step may also help alleviate this problem.\n\n");
    std::printf(" !!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!WARNING!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!\n");
    std::printf(" Mass conservation error is high for this event! %10.6lf percent. \n", percent);
    std::printf("Check the Summary File (*.sum) for more detail. \n \n");
  }
  const bool xsec = ms.n_xsec_table_overruns > 0;
  if (xsec) {
    std::fprintf(f, "-Depths exceeded the range of look-up table X-section data.\n");
    std::fprintf(f, " This is usually a source of error, particularly near hydrograph peaks.\n");
  }
  if (!given && !high_error && !xsec && ms.vol_surface_final <= 0.05 * ms.vol_precip)
    std::fprintf(f, "No Warnings.\n");
}

// One line per switch that is on, in the order given.
struct flagged_line {
  int on;
  const char* text;
};

void write_lines(std::FILE* f, std::initializer_list<flagged_line> lines) {
  for (const flagged_line& l : lines)
    if (l.on) std::fputs(l.text, f);
}

void write_inputs_processes_outputs(std::FILE* f, const main_state& ms) {
  std::fprintf(f, "\n THE FOLLOWING INPUTS WERE READ:\n");
  std::fprintf(f, "A PQM Project File was used.\n");
  std::fprintf(f, "Floating point GRASS maps were read.\n");
  write_lines(f, {{ms.in_hyd_location_on, "Locations where discharge hydrographs are to be written.\n"},
                  {ms.in_gwflux_location_on, "Point stream/groundwater fluxes were written.\n"},
                  {ms.in_celldepdis_location_on, "cell depth, discharge were written.\n"}});

  std::fprintf(f, "\n THE FOLLOWING PROCESSES WERE SIMULATED:\n");
  write_lines(f, {{ms.channel_on, "Explicit diffusive-wave channel routing.\n"},
                  {ms.chan_drain_init_on, "This was a channel initialation run using the DRAIN method.\n"},
                  {ms.chan_backwater_init_on, "This was a channel initialzation run using thep backwater method.\n"},
                  {ms.apfa_xsec_on, "APFA cross sections were simulated.\n"},
                  {ms.trap_preiss_on, "Trapezoidal cross-sections with Preissmann slots were simulated.\n"},
                  {ms.lookup_preiss_on, "Look-up table cross-sections with Preissmann slots were simulated.\n"},
                  {ms.lookup_table_read_on, "Look-up table data were read.\n"},
                  {ms.interception_on, "Interception losses.\n"},
                  {ms.roughness_on, "Distributed overland roughness.\n"},
                  {ms.manning_n_on, "Uniform overland roughness.\n"},
                  {ms.moisture_on, "Distributed initial soil moisture.\n"},
                  {ms.uniform_moisture_on, "Uniform initial soil moisture.\n"},
                  {ms.lakes_on, "Lakes were simulated.\n"},
                  {ms.reten_depth_file_on, "Spatially varied retention.\n"},
                  {ms.reten_depth_on, "Uniform retention depth.\n"},
                  {ms.inf_redist_on, "Infiltration with redistribution.\n"},
                  {ms.green_ampt_on, "Green & Ampt infiltration.\n"},
                  {ms.richards_on, "Infiltration by Richards Eq.\n"},
                  {ms.multi_layer_ga_on, "G&A Infiltration through layered soils.\n"},
                  {ms.sed_control.erosion_on, "Overland soil erosion.\n"},
                  {ms.ov_sed_out_on, "Sediment transport in channels using Yang's eqn. for sand.\n"},
                  {ms.sacramento_on, "Base flow using the Sacramento Soil Moisture Accounting Model.\n"}});

  std::fprintf(f, "\n THE FOLLOWING OUTPUT MAPS WERE WRITTEN EVERY %d TIMESTEP(S):\n", ms.map_interval_steps);
  const sed_control_record& sc = ms.sed_control;
  write_lines(f, {{ms.map_grid_files, "Floating point GRASS output maps were written.\n"},
                  {ms.inf_redist_on, "Soil surface moisture maps were output.\n"},
                  {ms.inf_redist_on, "Infiltration rate maps were output.\n"},
                  {ms.map_dataset_mode, "ASCII PQM maps of:\n"},
                  {ms.map_dataset_binary, "BINARY PQM maps of:\n"},
                  {ms.depth_map_on, "     overland flow depth.\n"},
                  {ms.discharge_map_on, "     discharge.\n"},
                  {ms.chan_discharge_map_on, "     discharge in channels.\n"},
                  {ms.dis_rain_map_on, "     distributed rainfall rate.\n"},
                  {ms.inf_depth_map_on, "     distributed infiltration depth.\n"},
                  {ms.rate_of_infil_map_on, "     distributed infiltration rate.\n"},
                  {ms.surf_moist_map_on, "     distributed surface moisture.\n"},
                  {ms.gw_recharge_cum_map_on, "     groundwater recharge cumulative.\n"},
                  {ms.gw_recharge_inc_map_on, "     groundwater recharge incremental.\n"},
                  {ms.chan_depth_map_on, "     channel depth.\n"},
                  {ms.chan_discharge_map_on, "     channel discharge.\n"},
                  {sc.net_sed_volume_on, "     net volume of erosion/deposition.\n"},
                  {sc.vol_sed_susp_on, "     suspended sediment volume.\n"},
                  {sc.max_sed_flux_on, "     sediment flux.\n"},
                  {ms.chan_sed_flux_map_on, "      channel sediment flux.\n"}});

  std::fprintf(f, "\n THE FOLLOWING ASCII OUTPUT FILES WERE WRITTEN TO EVERY %d TIMESTEP(S):\n", ms.hyd_interval_steps);
  std::fprintf(f, "     hydrograph at the catchment outlet.\n");
  write_lines(f, {{ms.in_hyd_location_on, "     hydrographs at selected locations.\n"},
                  {ms.sed_control.erosion_on, "     sediment outflow at the catchment outlet.\n"},
                  {ms.in_sed_loc_on, "     sediment hydrographs at selected locations.\n"},
                  {ms.superlink_junc_flow_on, "Flows to/from selected superjunctions.\n"},
                  {ms.superlink_node_flow_on, "Flows to/from selected superlink nodes.\n"},
                  {ms.in_gwflux_location_on, "Stream/groundwater exchange fluxes.\n"}});
}

}  // namespace

bool gw_xy_boundaries_on(const main_state& ms) {
  const xy_input& xy = ms.project_params.xy_input;
  return xy.n_gwpts > 0 || xy.n_gwInterpSrcPts > 0;
}

void print_summary_line(std::FILE* f, std::string_view label, double value, int width, const char* format, char fill,
                        int point_offset, int extra_newlines) {
  char number[512];
  std::snprintf(number, sizeof number, format, value);
  const char* dot = std::strchr(number, '.');
  const int p = dot ? static_cast<int>(dot - number) : static_cast<int>(std::strlen(number));
  std::string line(label);
  line += ' ';
  const int used = static_cast<int>(label.size()) + 1;
  if (used < width) line.append(static_cast<std::size_t>(width - used), fill);
  const int blanks = point_offset + 1 - p;
  line.append(static_cast<std::size_t>(blanks > 1 ? blanks : 1), ' ');
  line += number;
  line.append(static_cast<std::size_t>(1 + (extra_newlines > 0 ? extra_newlines : 0)), '\n');
  std::fputs(line.c_str(), f);
}

void write_event_summary(main_state& ms) {
  if (!ms.fs_summary.is_open()) return;
  std::FILE* f = ms.fs_summary.fp;
  write_heading(f, ms);
  write_driving(f, ms);
  write_peak(f, ms);
  write_volumes(f, ms);
  write_boundaries_and_networks(f, ms);
  write_final_volumes(f, ms);
  write_mass_conservation(f, ms);
  write_richards(f, ms);
  write_groundwater(f, ms);
  if (ms.soil_contam_on || ms.ov_contam_on || ms.chan_contam_on) write_event_constituent_budgets(ms);
  if (ms.sed_control.erosion_on) write_event_sediment_budgets(ms);
  write_warnings(f, ms);
  write_inputs_processes_outputs(f, ms);
}

}  // namespace kavro
