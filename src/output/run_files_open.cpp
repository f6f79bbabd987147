#include "output/run_files_open.h"

#include <cstdio>
#include <span>
#include <string>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "input/map_table_check.h"

namespace kavro {

namespace {

using M = main_state;
using ms_test = bool (*)(const M&);
using ms_path = std::string (*)(const M&);

// INIT_SWE_DEPTH named a map file (not a uniform depth).
constexpr int swe_from_map = 1;

// How a failed open is reported.
enum class fail_kind {
  open_error,       // code 4: "Unable to open <kind> file", the path as file name
  location_output,  // codes 49 to 51: this output as detail, its location list as file name
  theta_output,     // code 48: the location list as detail, this output (and its card) as file name
};

// One file of the run: opened when `when` holds.
struct run_file {
  ms_test when;
  file_wrapper M::*file;
  ms_path path;
  const char* mode;
  const char* kind;  // names the file in the open error
  ms_test tolerated =
      nullptr;         // a failure does not count when this holds (the mapping table supplies the values)
  bool go_on = false;  // a failure is recorded and the next file still opened
  fail_kind fail = fail_kind::open_error;
  int code = 4;
  ms_path companion = nullptr;  // location outputs: the location list named in the message
  void (*after)(M&) = nullptr;  // what follows a successful open

  // The same file with a failure that the mapping table excuses.
  run_file unless(ms_test table_supplies) const {
    run_file r = *this;
    r.tolerated = table_supplies;
    return r;
  }
  // The same file with a failure that lets the later files still open.
  run_file going_on() const {
    run_file r = *this;
    r.go_on = true;
    return r;
  }
  run_file then(void (*f)(M&)) const {
    run_file r = *this;
    r.after = f;
    return r;
  }
  // A location output: code 49 to 51 naming its location list.
  run_file location_output(int error_code, ms_path location_list) const {
    run_file r = *this;
    r.fail = fail_kind::location_output;
    r.code = error_code;
    r.companion = location_list;
    return r;
  }
  run_file theta_output(ms_path location_list) const {
    run_file r = location_output(48, location_list);
    r.fail = fail_kind::theta_output;
    return r;
  }
};

bool always(const M&) { return true; }
bool table(const M& m, int index) { return m.map_table_present[static_cast<std::size_t>(index)] != 0; }
// The mapping table supplies the values of table `index`.
template <int index>
bool in_table(const M& m) {
  return table(m, index);
}
// Infiltration by redistribution, layered soil or Richards columns.
bool soil_column_method(const M& m) { return m.inf_redist_on || m.multi_layer_ga_on || m.richards_on; }
bool green_ampt_method(const M& m) { return m.green_ampt_on || m.inf_redist_on; }
bool long_term_penman(const M& m) { return m.long_term_on && m.et_calc_penman_on; }

// The soil table of the chosen method comes from the mapping table: the soil
// type map and the layer table may then be missing.
bool soil_table_in_mapping_table(const M& m) {
  const bool richards_needs =
      m.richards_on && !table(m, map_table::richards_havercamp) && !table(m, map_table::richards_brooks);
  const bool layered_needs = m.multi_layer_ga_on && !table(m, map_table::layered_soil);
  return !richards_needs && !layered_needs;
}

// The soil-type map of the card, or the index map that the mapping table
// names for the Richards soil table.
std::string soil_type_path(const M& m) {
  if (!m.soil_type_map_path.empty()) return m.soil_type_map_path;
  return richards_index_map_path(m.mapping_table_path, m.richards_c_option);
}

// The evaporation output has a fixed name.
std::string evap_out_path(const M&) { return "evap_out"; }

void take_run_log(M& m) { run_log_file = &m.fs_summary; }

// Column heads of the hourly basin averages of the long-term step.
void write_evap_header(M& m) {
  std::fputs(
      "yr/mo/day  hour     avg_theta    avg_pot      avgetrate    avgfav      avgbottomfav  CFGI         "
      "temp(C) gridded_temp(C) soil_temp(C)  ",
      m.evap_out_file.fp);
  if (m.inf_redist_on || m.multi_layer_ga_on) std::fputs(" avg_theta_L1  avg_theta_L2", m.evap_out_file.fp);
  std::fputs("\n", m.evap_out_file.fp);
}

#define PATH(expr) [](const M& m) -> std::string { return expr; }
#define WHEN(expr) [](const M& m) -> bool { return expr; }

// The files before the nutrient outputs, in opening order.
const run_file files_before_nutrients[] = {
    run_file{always, &M::fs_watershed_mask, PATH(m.watershed_mask_path), "r", "watershed mask"},
    run_file{always, &M::fs_elevation, PATH(m.elevation_path), "r", "elevation data"},
    run_file{always, &M::fs_summary, PATH(m.summary_path), "w", "output summary"}.then(take_run_log),
    run_file{always, &M::outlet_hydro_file, PATH(m.outlet_hydro_path), "w", "output hydrograph"},
    run_file{WHEN(m.overland_depths_on), &M::overland_depth_location_file,
             PATH(m.overland_depth_location_path), "r", "overland depth locations"},
    run_file{WHEN(m.overland_depths_on), &M::overland_depths_file, PATH(m.overland_depths_path), "w",
             "overland depth output"},
    run_file{WHEN(m.overland_wse_on), &M::overland_wse_location_file, PATH(m.overland_wse_location_path), "r",
             "overland wse locations"},
    run_file{WHEN(m.overland_wse_on), &M::overland_wse_file, PATH(m.overland_wse_path), "w",
             "overland depth output"},
    run_file{WHEN(m.gw_simulation_on), &M::gw_boundfile_file, PATH(m.gw_boundfile_path), "r",
             "groundwater boundary"},
    run_file{WHEN(m.gw_simulation_on && m.gw_well_level_on), &M::fs_out_well_location,
             PATH(m.out_well_location_path), "r", "well location"},
    run_file{WHEN(m.gw_simulation_on && m.gw_well_level_on), &M::gw_well_level_file,
             PATH(m.gw_well_level_path), "w", "well level output"},
    run_file{WHEN(m.gw_simulation_on && m.gw_hycond_map_on), &M::gw_hycond_map_file,
             PATH(m.gw_hycond_map_path), "r", "groundwater hycond"},
    run_file{WHEN(m.gw_simulation_on && m.gw_porosity_map_on), &M::gw_porosity_map_file,
             PATH(m.gw_porosity_map_path), "r", "groundwater porosity"},
    run_file{WHEN(m.gw_simulation_on && !m.richards_on && m.water_table_on), &M::fs_water_table,
             PATH(m.water_table_path), "r", "water table"},
    run_file{WHEN(m.gw_simulation_on && !m.richards_on), &M::fs_aquifer_bottom, PATH(m.aquifer_bottom_path),
             "r", "aquifer bottom"},
    run_file{soil_column_method, &M::fs_soil_type_map, soil_type_path, "r", "soil type"}.unless(
        soil_table_in_mapping_table),
    run_file{soil_column_method, &M::fs_soil_layer_input_file, PATH(m.soil_layer_input_file_path), "r",
             "multi-layer soil table"}
        .unless(soil_table_in_mapping_table),
    run_file{WHEN(soil_column_method(m) && m.water_table_on && !m.fs_water_table.is_open()),
             &M::fs_water_table, PATH(m.water_table_path), "r", "water table"},
    run_file{WHEN(soil_column_method(m) && m.gw_simulation_on && !m.fs_aquifer_bottom.is_open()),
             &M::fs_aquifer_bottom, PATH(m.aquifer_bottom_path), "r", "aquifer bottom"},
    run_file{soil_column_method, &M::evap_out_file, evap_out_path, "w", "evaporation output"}.then(
        write_evap_header),
    run_file{WHEN(m.project_params.permafrost_kotu || m.project_params.multi_layer_infil_kotu),
             &M::out_kotu_temp_file, PATH(m.out_kotu_temp_path), "w", "permafrost_temperature_output"},
    run_file{WHEN(green_ampt_method(m) && m.moisture_on), &M::fs_moisture, PATH(m.moisture_path), "r",
             "soil moisture"}
        .unless(in_table<map_table::green_ampt_moisture>),
    run_file{WHEN(green_ampt_method(m) && m.project_params.use_conductivity), &M::fs_conductivity,
             PATH(m.conductivity_path), "r", "Ks"}
        .unless(in_table<map_table::green_ampt>),
    run_file{WHEN(green_ampt_method(m) && m.project_params.use_capillary), &M::fs_capillary,
             PATH(m.capillary_path), "r", "Hc"}
        .unless(in_table<map_table::green_ampt>),
    run_file{WHEN(green_ampt_method(m) && m.project_params.use_porosity), &M::fs_porosity,
             PATH(m.porosity_path), "r", "soil porosity"}
        .unless(in_table<map_table::green_ampt>),
    run_file{WHEN(m.inf_redist_on && m.project_params.use_pore_index), &M::fs_pore_index,
             PATH(m.pore_index_path), "r", "pore dist. index"}
        .unless(in_table<map_table::green_ampt>),
    run_file{WHEN(m.inf_redist_on && m.project_params.use_residual_sat), &M::fs_residual_sat,
             PATH(m.residual_sat_path), "r", "residual saturation"}
        .unless(in_table<map_table::green_ampt>),
    run_file{WHEN(m.long_term_on), &M::fs_hmet_surfaways, PATH(m.hmet_path), "r", "hydromet data"},
    run_file{WHEN(m.long_term_on && m.hmet_orog_gages_file_on), &M::fs_hmet_orog_gages,
             PATH(m.hmet_orog_gages_path), "r", "orog met data"},
    run_file{WHEN(m.long_term_on && m.project_params.use_albedo), &M::fs_albedo, PATH(m.albedo_path), "r",
             "albedo"}
        .unless(in_table<map_table::evapotranspiration>),
    run_file{WHEN(long_term_penman(m) && m.project_params.use_vheight), &M::fs_vheight, PATH(m.vheight_path),
             "r", "veg. height"}
        .unless(in_table<map_table::evapotranspiration>),
    run_file{WHEN(long_term_penman(m) && m.project_params.use_tcoeff), &M::fs_tcoeff, PATH(m.tcoeff_path),
             "r", "trans. coeff"}
        .unless(in_table<map_table::evapotranspiration>),
    run_file{WHEN(long_term_penman(m) && m.project_params.use_canopy), &M::fs_canopy, PATH(m.canopy_path),
             "r", "canopy resist."}
        .unless(in_table<map_table::evapotranspiration>),
    run_file{WHEN(long_term_penman(m) && m.project_params.use_wilting_point), &M::fs_wilting_point,
             PATH(m.wilting_point_path), "r", "wilting point"}
        .unless(in_table<map_table::evapotranspiration>),
    run_file{WHEN(m.rain_gauge_on), &M::fs_precip, PATH(m.precip_file_path), "r", "raingage data"},
    // The mesh channel option reads the grid-stream file as well; its name
    // stays with the card.
    run_file{WHEN(m.channel_on || m.chan_mesh_on), &M::fs_stream_cell, PATH(m.project_params.stream_cell),
             "r", "grid-stream connectivity"},
    run_file{WHEN(m.interception_on), &M::fs_storage_capacity, PATH(m.storage_capacity_path), "r",
             "interception storage"}
        .unless(in_table<map_table::interception>),
    run_file{WHEN(m.interception_on), &M::fs_interception_coeff, PATH(m.interception_coeff_path), "r",
             "interception coeff."}
        .unless(in_table<map_table::interception>),
    run_file{WHEN(m.overland_lake_on), &M::fs_overland_lake_map, PATH(m.overland_lake_map_path), "r",
             "overland lake map"},
    run_file{WHEN(m.overland_lake_on), &M::fs_overland_lake_file, PATH(m.overland_lake_file_path), "r",
             "overland lake data"},
    run_file{WHEN(m.reten_depth_file_on), &M::fs_reten_depth, PATH(m.reten_depth_path), "r",
             "retention depth"}
        .unless(in_table<map_table::retention>),
    run_file{WHEN(m.project_params.use_roughness), &M::fs_roughness, PATH(m.roughness_path), "r",
             "Manning roughness"}
        .unless(in_table<map_table::roughness>),
    run_file{WHEN(m.channel_on), &M::channel_input_file, PATH(m.channel_input_path), "r", "channel input"},
    run_file{WHEN(m.project_params.use_write_chan_hotstart || m.project_params.use_explic_backwater),
             &M::fs_chan_hotstart_out, PATH(m.explic_backwater_path), "w", "channel depth"},
    run_file{WHEN(m.project_params.use_write_chan_hotstart || m.project_params.use_explic_backwater),
             &M::chan_hotstart_q_out_file, PATH(m.chan_hotstart_out_path), "w", "channel discharge"},
    run_file{WHEN(m.project_params.use_ov_init_depth), &M::ov_init_depth_file,
             PATH(m.project_params.ov_init_depth), "r", "overland hotstart"}
        .going_on(),
    // A uniform initial snow depth names no file.
    run_file{WHEN(m.project_params.init_swe_kind == swe_from_map), &M::swe_hotstart_file,
             PATH(m.project_params.init_swe_file), "r", "SWE input hotstart"},
    run_file{WHEN(m.project_params.use_read_sm_hotstart), &M::read_sm_hotstart_file,
             PATH(m.project_params.read_sm_hotstart), "r", "soil moisture hotstart"}
        .going_on(),
    run_file{WHEN(m.project_params.use_read_chan_hotstart || m.project_params.use_explic_hotstart),
             &M::chan_hotstart_in_file, PATH(m.chan_hotstart_in_path), "r", "channel depth"},
    run_file{WHEN(m.project_params.use_read_chan_hotstart || m.project_params.use_explic_hotstart),
             &M::chan_hotstart_q_in_file, PATH(m.explic_hotstart_path), "r", "channel discharge"},
    run_file{WHEN(m.in_hyd_location_on), &M::fs_in_hyd_location, PATH(m.in_hyd_location_path), "r",
             "hydrograph location"},
    run_file{WHEN(m.in_hyd_location_on), &M::fs_out_hyd, PATH(m.out_hyd_location_path), "w", ""}
        .location_output(51, PATH(m.in_hyd_location_path)),
    run_file{WHEN(m.in_gwflux_location_on), &M::fs_in_gwflux_location, PATH(m.in_gwflux_location_path), "r",
             "groundwater flux location"},
    run_file{WHEN(m.in_gwflux_location_on), &M::fs_out_gwflux, PATH(m.out_gwflux_location_path), "w", ""}
        .location_output(51, PATH(m.in_gwflux_location_path)),
    run_file{WHEN(m.in_celldepdis_location_on), &M::fs_in_celldepdis_location,
             PATH(m.in_celldepdis_location_path), "r", "dep dis cell location"},
    run_file{WHEN(m.in_celldepdis_location_on), &M::fs_out_celldepdis, PATH(m.out_celldepdis_location_path),
             "w", ""}
        .location_output(51, PATH(m.in_celldepdis_location_path)),
    run_file{WHEN(m.runoff_mmph_on), &M::fs_runoff_mmph, PATH(m.runoff_mmph_path), "w",
             "optional runoff hydrograph in mm per hour"},
    run_file{WHEN(m.rainfall_mmph_on), &M::fs_rain_mmph, PATH(m.rainfall_mmph_path), "w",
             "optional basin-average rainfall in mm per hour"},
    run_file{WHEN(m.sig_outlet_hydro_on), &M::fs_hyd_6digit, PATH(m.sig_outlet_hydro_path), "w",
             "optional 6 digit hydrograph"},
    run_file{WHEN(m.superlink_junc_location_on), &M::fs_superlink_junc_location,
             PATH(m.superlink_junc_location_path), "r", "superjunction location"},
    run_file{WHEN(m.superlink_junc_flow_on), &M::fs_superlink_junc_out, PATH(m.superlink_junc_flow_path), "w",
             ""}
        .location_output(51, PATH(m.superlink_junc_location_path)),
    run_file{WHEN(m.superlink_node_location_on), &M::fs_superlink_node_location,
             PATH(m.superlink_node_location_path), "r", "superlink node location"},
    run_file{WHEN(m.superlink_node_flow_on), &M::fs_superlink_node_out, PATH(m.superlink_node_flow_path), "w",
             ""}
        .location_output(51, PATH(m.superlink_node_location_path)),
    run_file{WHEN(m.lake_output_on), &M::fs_lake_out, PATH(m.lake_output_path), "w", "lake output"},
    run_file{WHEN(m.out_dep_location_on), &M::fs_out_loc_1, PATH(m.out_dep_location_path), "w", ""}
        .location_output(50, PATH(m.in_hyd_location_path)),
    run_file{WHEN(m.project_params.use_out_con_location), &M::fs_out_loc_2, PATH(m.out_con_location_path),
             "w", ""}
        .location_output(49, PATH(m.in_hyd_location_path)),
    run_file{WHEN(m.project_params.use_out_mass_location), &M::fs_out_loc_3, PATH(m.out_mass_location_path),
             "w", ""}
        .location_output(49, PATH(m.in_hyd_location_path)),
    run_file{WHEN(m.in_theta_location_on), &M::fs_in_theta_location, PATH(m.in_theta_location_path), "r",
             "in_theta location"},
    run_file{WHEN(m.in_theta_location_on), &M::fs_out_theta_location, PATH(m.out_theta_location_path), "w",
             ""}
        .theta_output(PATH(m.in_theta_location_path)),
    run_file{WHEN(m.chan_depth_on), &M::chan_depth_file, PATH(m.project_params.chan_depth), "w",
             "output channel depth"},
    run_file{WHEN(m.chan_discharge_on), &M::chan_discharge_file, PATH(m.project_params.chan_discharge), "w",
             "output channel discharge"},
    run_file{WHEN(m.chan_stage_on), &M::chan_stage_file, PATH(m.project_params.chan_stage), "w",
             "output channel stage"},
    run_file{WHEN(m.chan_velocity_on), &M::chan_velocity_file, PATH(m.project_params.chan_velocity), "w",
             "output channel velocity"},
    run_file{WHEN(m.flood_stream_on), &M::flood_stream_file, PATH(m.flood_stream_path), "w",
             "output flood stream stage"},
    run_file{WHEN(m.chan_sed_flux_on), &M::chan_sed_flux_file, PATH(m.project_params.chan_sed_flux), "w",
             "output stream_sed_flux"},
};

// The files after the nutrient outputs.
const run_file files_after_nutrients[] = {
    run_file{WHEN(m.storm_sewer_on && m.project_params.use_pipe_head), &M::pipe_head_file,
             PATH(m.project_params.pipe_head), "w", "superlink head"},
    run_file{WHEN(m.storm_sewer_on && m.project_params.use_pipe_tile), &M::pipe_tile_file,
             PATH(m.project_params.pipe_tile), "w", "superlink tile"},
    run_file{WHEN(m.storm_sewer_on && m.project_params.use_pipe_flow), &M::pipe_flow_file,
             PATH(m.project_params.pipe_flow), "w", "superlink flow"},
    run_file{WHEN(m.project_params.use_contam_map), &M::fs_contam_map, PATH(m.contam_map_path), "r",
             "contam"},
};

// The three channel totals of the nutrient model; the link/node writers
// reopen the same names and write their rows.
const run_file nutrient_totals[] = {
    run_file{WHEN(m.project_params.use_total_chan_n), &M::total_chan_n_file,
             PATH(m.project_params.total_chan_n), "w", "output total channel nitrogen"},
    run_file{WHEN(m.project_params.use_total_chan_kn), &M::total_chan_kn_file,
             PATH(m.project_params.total_chan_kn), "w", "output total channel Kjeldahl nitrogen"},
    run_file{WHEN(m.project_params.use_total_chan_p), &M::total_chan_p_file,
             PATH(m.project_params.total_chan_p), "w", "output total channel phosphorus"},
};

#undef PATH
#undef WHEN

void set_open_error(int code, std::string what, std::string name) {
  error_rec.what = std::move(what);
  error_rec.name = std::move(name);
  error_rec.code = code;
  error_rec.stop = 1;
}

// Records the failure of `row` on `path`.
void record_failure(const run_file& row, const M& m, const std::string& path) {
  switch (row.fail) {
    case fail_kind::open_error:
      set_open_error(row.code, row.kind, path);
      break;
    case fail_kind::location_output:
      set_open_error(row.code, path, row.companion(m));
      break;
    case fail_kind::theta_output:
      set_open_error(row.code, row.companion(m),
                     format_string("%s (%s)", path.c_str(), "out_theta_location_file"));
      break;
  }
}

// Opens the files of `rows` in order; false after a failure that ends the step.
bool open_files(std::span<const run_file> rows, M& m) {
  for (const run_file& row : rows) {
    if (!row.when(m)) continue;
    const std::string path = row.path(m);
    if ((m.*row.file).open(path, row.mode)) {
      if (row.after) row.after(m);
      continue;
    }
    if (row.tolerated && row.tolerated(m)) continue;
    record_failure(row, m, path);
    if (!row.go_on) return false;
  }
  return true;
}

// One species' hydrograph file; false (message, error 4) when it cannot be created.
bool open_species_file(file_wrapper& file, const std::string& name, int species, const char* what_text,
                       const char* kind) {
  if (file.open(name, "w")) return true;
  std::printf(
      "Error opening nutrient %s output file (hydrograph style )\nfor the %s hydrograph file. \n"
      "Given filename: %s\n",
      what_text, nsm_constituent_label(species, 0).c_str(), name.c_str());
  set_open_error(4, kind, name);
  return false;
}

}  // namespace

void open_nutrient_channel_outputs(main_state& ms) {
  if (!open_files(nutrient_totals, ms) || !ms.nsm) return;
  nsm_output_group& hyd = ms.nsm->hyd_outputs;
  for (int i = 0; i < nsm_species_count; ++i) {
    const auto s = static_cast<std::size_t>(i);
    if (!hyd.out_on[s]) continue;
    if (!open_species_file(hyd.conc_files[s], hyd.out_name[s] + ".conc", i, "concentration",
                           "nutrient concentration"))
      return;
    if (!open_species_file(hyd.mass_files[s], hyd.out_name[s] + ".mass", i, "mass", "nutrient mass")) return;
  }
}

void open_run_files(main_state& ms) {
  if (!open_files(files_before_nutrients, ms)) return;
  if (ms.nutrients_on) {
    // A failure recorded by a file that lets the step go on stays pending.
    const int pending = error_rec.code;
    open_nutrient_channel_outputs(ms);
    if (error_rec.code != pending) return;
  }
  open_files(files_after_nutrients, ms);
}

}  // namespace kavro
