#include "input/project_settings.h"

#include <cstdio>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "framework/replace_pairs.h"
#include "framework/run_clock.h"
#include "framework/run_globals.h"
#include "input/card_physics_checks.h"
#include "input/file_name_clash.h"
#include "input/map_table_check.h"
#include "input/project_reader.h"
#include "input/run_control_checks.h"
#include "input/settings_copies.h"
#include "input/unused_map_cards.h"
#include "overland/rain_rate_checks.h"

namespace kavro {

namespace {

// VELM map datasets are not available in this system.
constexpr int map_type_velm = 4;

void set_stop_code(int code) {
  error_rec.code = code;
  error_rec.stop = 1;
}

// The inflow series of the segment model Q7, written by the time-series
// outputs. False (error 4 set) when the file cannot be created.
bool open_q7_inflow(main_state& ms) {
  q7_card_block& q7 = ms.project_params;
  if (q7.use_q7_input || q7.use_q7_fluxes) ms.q7_settings = &q7;
  if (!q7.use_q7_input || ms.run_params.map_type == map_type_velm) return true;
  if (!q7_inflow_file.open(q7.q7_input, "w")) {
    error_rec.what = "Q7 inflow";
    error_rec.name = q7.q7_input;
    set_stop_code(4);
    return false;
  }
  std::fprintf(q7_inflow_file.fp, "  output from %s\n", "KAVRO");
  std::fputs("\n", q7_inflow_file.fp);
  std::fputs("    JDAY     QIN\n", q7_inflow_file.fp);
  return true;
}

// Steps that act before the mapping tables are checked: pause, end time,
// nutrients, Q7, overland boundaries, flood maps and the output flush.
// False when the step must end.
bool apply_run_control(main_state& ms) {
  const project_params_record& p = ms.project_params;
  const run_params_record& r = ms.run_params;
  if (p.use_pause) pause_flag = 1;
  if (p.use_super_quiet) super_quiet = 1;
  if (r.end_year != 0) {
    ms.end_time_on = 1;
    ms.end_time = julian_date(r.end_year, r.end_month, r.end_day, r.end_hour, r.end_minute, 0.0);
  }
  ms.nutrients_on = p.use_nutrients;
  // The model stays owned by project_params; the record only points at it.
  if (ms.nutrients_on) ms.nsm = p.nsm_model.get();
  if (!open_q7_inflow(ms)) return false;

  ms.ov_boundary_on = p.use_ov_boundary;
  ms.xybdyinput_ovdep_on = p.use_xybdyinput_ovdep;
  ms.xybdyinput_ov_stage_interp_on = p.use_xybdyinput_ov_stage_interp;
  if (p.use_flood_grid) {
    ms.flood_grid_on = 1;
    ms.flood_grid_path = p.flood_grid;
  }
  if (p.use_flood_stream) {
    ms.flood_stream_on = 1;
    ms.flood_stream_path = p.flood_stream;
  }
  if (p.use_flush_buffer) {
    ms.flush_on = 1;
    ms.flush_buffer = p.flush_buffer;
  }
  if (r.map_type == map_type_velm) {
    set_stop_code(5);
    return false;
  }
  return true;
}

// Which tables the mapping-table and stream mapping-table files hold.
void check_tables(main_state& ms) {
  const project_params_record& p = ms.project_params;
  ms.mapping_table_on = p.use_mapping_table;
  if (ms.mapping_table_on) {
    ms.mapping_table_path = p.mapping_table;
    check_map_table(ms.mapping_table_path, ms.map_table_present, ms.velm_grid_on, ms.tool_mode);
  }
  if (p.use_st_mapping_table) {
    ms.st_mapping_table_on = 1;
    ms.st_mapping_table_path = p.st_mapping_table;
    check_stream_map_table(ms.st_mapping_table_path, ms.stream_table_present, ms.tool_mode);
  }
}

// Roughness, snow on the surface, retention, lakes and wetlands.
void apply_overland_settings(main_state& ms) {
  const project_params_record& p = ms.project_params;
  apply_card_copies(straight_copies, ms);
  if (p.use_ov_con_trans) {
    ms.ov_contam_transport_on = 1;
    ms.contam_on = 1;
  }
  ms.units_flag = ms.run_params.units;
  // A ROUGHNESS table counts only when MANNING_N does not give a uniform n.
  ms.roughness_on =
      p.use_manning_n ? p.use_roughness : (p.use_roughness || ms.map_table_present[map_table::roughness]);
  ms.uniform_manning_n = p.manning_n;
  if (p.use_snow_darcy) ms.snow_darcy = p.snow_darcy;
  ms.lakes_on = 0;
  ms.reten_depth_on = p.use_retention;
  ms.reten_depth_file_on = p.use_reten_depth;
  ms.overtype = p.overtype;
  ms.wetlands_on = ms.map_table_present[map_table::wetlands];
}

// Weather, snow and evapotranspiration; the soil depths of the long-term
// accounting.
void apply_long_term_settings(main_state& ms) {
  const project_params_record& p = ms.project_params;
  ms.long_term_on = p.use_long_term;
  if (ms.long_term_on) {
    apply_card_copies(long_term_copies, ms);
    if (p.use_hmet_surfaways || p.use_hmet_samson || p.use_hmet_vrx || p.use_hmet_ascii)
      ms.hmet_path = p.hmet_file;
    if (p.use_seasonal_rs && p.seasonal_rs_spring > 0) {
      ms.seasonal_rs_spring = p.seasonal_rs_spring;
      ms.seasonal_rs_fall = p.seasonal_rs_fall;
      ms.seasonal_rs_summer_start = p.seasonal_rs_summer_start;
      ms.seasonal_rs_summer_end = p.seasonal_rs_summer_end;
    }
    if (p.use_nwsrfs_elev_snow == 1) ms.nwsrfs_elev_snow_path = p.nwsrfs_elev_snow;
    if (p.use_hmet_orog_gages == 1) ms.hmet_orog_gages_path = p.hmet_orog_gages;
  }
  apply_flag_copies(et_input_flags, ms.map_table_present[map_table::evapotranspiration] != 0, ms);
  ms.strict_julian_date_on = p.use_strict_julian_date;
  // EVENT_MIN_Q acts only in long-term runs; a missing or zero value ends
  // events at 0.05 m3/s.
  if (ms.event_min_q < 0.00001) ms.event_min_q = 0.05;
  // Depths are given in metres and kept in centimetres. Without a positive
  // TOP_LAYER_DEPTH or MIXING_LAYER_DEPTH the record's 40 cm stand: a zero
  // depth would divide the layer water by zero.
  ms.soil_moist_depth_cm = p.soil_moist_depth * 100.0;
  if (p.top_layer_depth > 0.0) ms.top_layer_depth_cm = p.top_layer_depth * 100.0;
  if (p.mixing_layer_depth > 0.0) ms.mixing_layer_depth_cm = p.mixing_layer_depth * 100.0;
}

// Calibration output, sediment control and the channel routing method.
void apply_channel_settings(main_state& ms) {
  const project_params_record& p = ms.project_params;
  ms.optimize_on = p.use_optimize;
  if (ms.optimize_on) ms.optimize_path = p.optimize;
  ms.optimize_sed_on = p.use_optimize_sed;
  ms.sed_control.erosion_on = p.use_soil_erosion;
  ms.sed_control.adjust_channel_bed_on = p.use_adjust_channel_bed;
  apply_card_copies(channel_output_copies, ms);

  ms.channel_on = 0;
  ms.chan_implicit_on = 0;
  ms.chan_drain_init_on = 0;
  ms.chan_mesh_on = 0;
  switch (ms.run_params.chan_method) {
    case chan_method_explicit:
      ms.channel_on = 1;
      break;
    case chan_method_drain:
      ms.chan_implicit_on = 1;
      ms.chan_drain_init_on = 1;
      break;
    case chan_method_backwater:
      ms.chan_implicit_on = 1;
      break;
    case chan_method_mesh:
      ms.chan_mesh_on = 1;
      break;
    default:
      break;  // none, or the Preissmann code that the option check refuses
  }
  if (!ms.channel_on) return;
  apply_card_copies(channel_copies, ms);
  ms.stream_cell_on = 1;
  if (p.use_overbank_max_dv) ms.overbank_max_dv = p.overbank_max_dv;
  ms.chan_hotstart_write_on = (p.use_explic_backwater || p.use_write_chan_hotstart) ? 1 : 0;
  ms.chan_wse_start_on = (p.use_explic_hotstart || p.use_read_chan_hotstart) ? 1 : 0;
  ms.chan_contam_on = p.use_chan_con_trans;
  if (ms.chan_contam_on == 1) ms.contam_on = 1;
}

// Infiltration method, soil maps, water table, groundwater and the lumped models.
void apply_soil_settings(main_state& ms) {
  const project_params_record& p = ms.project_params;
  const int method = ms.run_params.infil_method;
  ms.green_ampt_on = method == 1 ? 1 : 0;
  ms.inf_redist_on = method == 2 ? 1 : 0;
  ms.multi_layer_ga_on = method == 3 ? 1 : 0;
  ms.richards_on = method == 4 ? 1 : 0;
  ms.soil_redist_on = (method == 2 || method == 3) ? 1 : 0;
  ms.moisture_on = (p.use_moisture || ms.mapping_table_on) ? 1 : 0;
  apply_card_copies(richards_copies, ms);

  ms.water_table_on = p.use_water_table;
  if (ms.water_table_on) {
    ms.gw_assign_theta_on = p.use_gw_assign_theta;
    ms.water_table_path = p.water_table;
    ms.gw_simulation_on = p.use_gw_simulation;
    if (ms.gw_simulation_on) {
      ms.stream_loss_on = 1;
      apply_card_copies(groundwater_copies, ms);
      // Without the card the relaxation is plain line Gauss-Seidel (1.0); a
      // given value outside (0, 2) is refused by the option checks.
      if (p.use_gw_relax_coeff) ms.gw_relax_coeff = p.gw_relax_coeff;
    }
  }

  ms.sacramento_on = p.use_sacramento;
  if (ms.sacramento_on) {
    ms.topo_index_on = p.use_topo_index;
    ms.sacramento_path = p.sacramento;
  }
  ms.conceptual_gw_on = p.use_conceptual_gw;
  if (ms.conceptual_gw_on == 1) {
    ms.topo_index_cgs_on = p.use_topo_index_cgs;
    ms.conceptual_gw_path = p.conceptual_gw;
  }
  const bool green_ampt_table_counts = ms.green_ampt_on || ms.inf_redist_on || ms.long_term_on;
  apply_flag_copies(green_ampt_map_flags,
                    green_ampt_table_counts && ms.map_table_present[map_table::green_ampt], ms);
  ms.area_reduction_on = p.use_area_reduction;
}

// Uniform rain from START_DATE and START_TIME, or a gauge or radar file.
void apply_rain_settings(main_state& ms) {
  const rain_params_record& rain = ms.rain_params;
  const run_params_record& r = ms.run_params;
  ms.uniform_rain_on = 0;
  ms.rain_gauge_on = 0;
  ms.rain_inv_distance_on = 0;
  ms.rain_thiessen_on = 0;
  if (rain.source == 0) {
    ms.uniform_rain_on = 1;
    ms.rain_intensity = rain.rain_intensity;
    ms.rain_duration = rain.rain_duration;
    const double start = set_date_from_start_cards(ms);
    ms.event_year = r.start_year;
    ms.event_month = r.start_month;
    ms.event_day = r.start_day;
    ms.event_hour = r.start_hour;
    ms.event_minute = r.start_minute;
    ms.rain_active = 1;
    ms.now = start;
    ms.start_time = ms.now;
    ms.event_start_times[1] = ms.now;
    ms.next_event_start = ms.now;
  } else if (rain.source == 1) {
    ms.rain_gauge_on = 1;
    ms.rain_active = 0;
    if (rain.interpolation == 0) ms.rain_inv_distance_on = 1;
    if (rain.interpolation == 1) ms.rain_thiessen_on = 1;
  }
}

// Host environment, map output form, output switches and file names.
void apply_output_settings(main_state& ms) {
  const project_params_record& p = ms.project_params;
  const run_params_record& r = ms.run_params;
  apply_card_copies(host_copies, ms);
  apply_prefixed_names(exchange_names, "exchange/", ms);

  ms.map_grid_files = 0;
  ms.map_dataset_mode = 0;
  ms.map_dataset_binary = 0;
  if (r.map_type == 0) ms.map_grid_files = 1;
  if (r.map_type == 1 || r.map_type == 2) ms.map_dataset_mode = 1;
  if (r.map_type == 2) ms.map_dataset_binary = 1;

  apply_card_copies(output_copies, ms);
  ms.gw_flux_boundtable_on = r.gw_fluxboundtable;
  if (r.infil_method != 0) ms.rate_of_infil_map_on = p.use_rate_of_infil;

  apply_card_copies(file_name_copies, ms);
  ms.precip_file_path = ms.rain_params.precip_file;
  // Channel hotstarts: depths end in ".dht", discharges in ".qht".
  // A hotstart card without a file name builds no name; opening it fails.
  if ((p.use_explic_hotstart || p.use_read_chan_hotstart) && !p.chan_hotstart_in.empty()) {
    ms.chan_hotstart_in_path = p.chan_hotstart_in + ".dht";
    ms.explic_hotstart_path = p.chan_hotstart_in + ".qht";
  }
  if ((p.use_explic_backwater || p.use_write_chan_hotstart) && !p.chan_hotstart_out.empty()) {
    ms.chan_hotstart_out_path = p.chan_hotstart_out + ".qht";
    ms.explic_backwater_path = p.chan_hotstart_out + ".dht";
  }
  ms.uniform_retention = ms.reten_depth_on ? p.retention : 0.0;
}

}  // namespace

void read_project(const std::string& project_path, main_state& ms) {
  const bool announce =
      !ms.optimize_on && run_context.process_rank == 0 && ms.quiet != 1 && ms.tool_mode != 1;
  if (announce) print_message("reading run parameters from project file: %s\n", project_path.c_str());
  read_project_cards(project_path, ms.project_params, ms.run_params, ms.rain_params, ms.tool_mode);
  if (ms.run_params.open_failed == 1) {
    set_stop_code(3);
    return;
  }
  // A wrong header was reported by the reader, or a card's file could not
  // be used (a code is pending): nothing more is set up.
  if (error_rec.stop || error_rec.code != 0) return;
  // Refused card values and file names stop the run before any file is
  // opened for writing; every refusal has been printed.
  const bool values_ok = ms.run_params.card_errors == 0 && check_date_cards(ms.run_params);
  const bool physics_ok = check_card_physics(ms);
  if (!check_file_name_clashes(ms) || !values_ok || !physics_ok) {
    set_stop_code(already_printed_code);
    return;
  }

  if (!apply_run_control(ms)) return;
  check_tables(ms);
  apply_overland_settings(ms);
  apply_long_term_settings(ms);
  apply_channel_settings(ms);
  apply_soil_settings(ms);
  warn_unused_soil_maps(ms);
  apply_rain_settings(ms);
  warn_unlikely_uniform_rain(ms);
  apply_output_settings(ms);

  ms.quiet = ms.project_params.use_super_quiet;
  if (!ms.quiet && run_context.process_rank == 0 && ms.tool_mode != 1)
    print_message("\nfinished reading project file\n");
}

void print_startup_header(main_state& ms, const std::string& project_path) {
  if (!ms.fs_summary.is_open()) return;
  std::FILE* log = ms.fs_summary.fp;
  std::fputs("\n\n", log);
  std::fputs("_________KAVRO start-up information________\n", log);
  std::fprintf(log, "Run parameters read from PQM project file: %s\n", project_path.c_str());
  if (replace_on) print_replace_values(ms.fs_summary, ms.tool_mode);
}

}  // namespace kavro
