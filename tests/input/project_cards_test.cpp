// The project card table: keywords, lookup, and what each kind of card does
// with its line.
#include "input/project_cards.h"

#include <omp.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "card_test_support.h"
#include "input/card_suggestion.h"
#include "framework/error_record.h"
#include "framework/readers.h"
#include "input/card_services.h"
#include "input/time_series.h"
#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::card_outcome;
using kavro_test::run_card_lines;

// The keyword list as users know it, in the order lines are tested.
// clang-format off
const std::vector<std::string> documented_keywords = {
    // 1-2
    "pqm", "metric",
    // 3-23
    "units", "watershed_mask", "mapping_table", "st_mapping_table", "elevation", "gridsize", "overtype",
    "rows", "cols", "tot_time", "timestep", "start_date", "start_time", "outslope", "outrow", "outcol",
    "latitude", "longitude", "gmt", "qout_cfs", "quiet",
    // 24-30
    "manning_n", "hyd_freq", "map_freq", "map_type", "reten_depth", "rain_intensity", "rain_duration",
    // 31-37
    "chan_preiss", "chan_explic", "diffusive_wave", "chan_mesh", "max_courant_number", "chan_drain",
    "chan_backwater",
    // 38-51
    "watershed_mask", "elevation", "initial_depth", "storage_capacity", "interception_coeff", "interception",
    "roughness", "ovr_flow_block", "ov_BMP", "snow_roughness", "snow_darcy", "snow_reynolds",
    "snow_no_infiltrate", "snow_calibrate",
    // 52-73
    "long_term", "strict_julian_date", "overbank_flow", "overbank_max_dv", "overland_backwater",
    "non_ortho_channels", "stream_cell", "head_bound", "bound_depth", "bound_ts", "k_river",
    "explic_backwater", "explic_hotstart", "write_chan_hotstart", "hotstart_is_depth", "read_chan_hotstart",
    "first_order_chan_q", "stream_loss", "m_river", "chan_decay_coef", "chan_disp_coef", "init_chan_conc",
    // 74-86
    "hmet_surfaways", "hmet_samson", "hmet_vrx", "hmet_ascii", "hmet_ascii_pet", "hmet_orog_gages",
    "event_min_q", "manning_n", "soil_moist_depth", "top_layer_depth", "mixing_layer_depth", "et_calc_penman",
    "et_calc_deardorff",
    // 87-98
    "conductivity", "contam_map", "capillary", "porosity", "moisture", "pore_index", "albedo", "vheight",
    "tcoeff", "canopy", "wilting_point", "residual_sat",
    // 99-112
    "lake", "m_lake", "lake_elev", "lake_output", "radar_intensity", "links", "nodes", "channel_input",
    "optimize", "optimize_sed", "dis_profile", "wat_surf_profile", "dis_profile_out", "wat_surf_profile_out",
    // 113-128
    "precip_file", "precip_unif", "discharge", "depth", "include_channel_depth", "inf_depth", "surf_moist",
    "rate_of_infil", "dis_rain", "gw_recharge_cum", "gw_recharge_inc", "chan_depth", "chan_sed_flux",
    "chan_discharge", "chan_stage", "chan_velocity",
    // 129-145
    "in_hyd_location", "in_gwflux_location", "in_celldepdis_location", "superlink_junc_location",
    "superlink_node_location", "superlink_junc_flow", "superlink_node_flow", "in_theta_location",
    "out_dep_location", "out_con_location", "out_mass_location", "chan_con_trans", "chan_point_input",
    "out_hyd_location", "out_gwflux_location", "out_celldepdis_location", "out_theta_location",
    // 146-163
    "ov_con_trans", "all_contam_output", "soil_con_trans", "soil_contam", "soil_static_conc", "soil_noflux",
    "sediment_contam", "ov_point_source", "ov_con_map", "ov_disp_coef", "ov_decay_coef", "ov_mass_load",
    "ov_uptake_rate", "kinetics_timestep_factor", "soil_kinetics_timestep_factor", "suppress_printing",
    "materials", "fline",
    // 164-175
    "alpha", "beta", "theta", "channel_gridsize", "channel_deltat", "drain_time", "q_min", "n_links",
    "max_nodes", "lakes_mask", "lakes_elevation", "section_table",
    // 176-197
    "retention", "green_ampt", "inf_redist", "no_cont_inf_redist", "inf_layered_soil", "soil_type_map",
    "soil_layer_input_file", "inf_richards", "richards_weight", "richards_k_option", "richards_c_option",
    "richards_upper_option", "seasonal_rs", "seasonal_rs_spring", "seasonal_rs_fall",
    "seasonal_rs_summer_start", "seasonal_rs_summer_end", "richards_iter_max", "richards_dtheta_max",
    "water_table", "aquifer_bottom", "aquifer_delta_z",
    // 198-218
    "soil_erosion", "adjust_channel_bed", "soil_erodability", "crop_management", "conservation_practice",
    "sand_map", "silt_map", "in_sed_loc", "vol_sed_susp", "max_sed_flux", "net_sed_volume", "adjust_elev",
    "outlet_sed_flux", "outlet_sed_tss", "out_tss_loc", "out_sed_loc", "sand_size", "silt_size", "clay_size",
    "water_temp", "sed_porosity",
    // 219-230
    "area_reduction", "unif_area_reduction", "rain_inv_distance", "rain_thiessen", "radar_mm", "summary",
    "outlet_hydro", "runoff_mmph", "rainfall_mmph", "sig_outlet_hydro", "pqm_hydro", "cell_hydro",
    // 231-252
    "gw_simulation", "gw_assign_theta", "gw_lsor_dir", "gw_unif_porosity", "gw_porosity_map",
    "gw_unif_hycond", "gw_hycond_map", "gw_timestep", "gw_lsor_con", "single_unsat_sat", "gw_leakage_rate",
    "gw_relax_coeff", "gw_fluxboundtable", "gw_flux_boundtable", "gw_boundfile", "gw_output", "gw_well_level",
    "out_well_location", "overland_depths", "overland_depth_location", "overland_wse",
    "overland_wse_location",
    // 253-260
    "cfgi", "cfgi_index", "cfgi_k", "gtfsm", "permafrost_kotu", "out_kotu_temp", "kotu_timestep",
    "multi_layer_infil_kotu",
    // 261-277
    "qln", "vopa", "qln_event_num", "vopa_first", "moist_to_vopa", "ksat_to_vopa", "rough_to_vopa",
    "poros_to_vopa", "erosivity_to_vopa", "crop_fact_to_vopa", "net_erosion_to_vopa", "moist_from_vopa",
    "ksat_from_vopa", "rough_from_vopa", "erosivity_from_vopa", "crop_fact_from_vopa", "et_demand_from_vopa",
    // 278-282
    "sacramento", "sacramento_pars", "topo_index", "conceptual_gw", "topo_index_cgs",
    // 283-293
    "xwindows", "xrain", "xgwrecharge", "xdepth", "xinfdep", "xsurf", "x_freq", "xchan", "xwin_width",
    "xwin_height", "xbig",
    // 294-313
    "dike_map", "embankment", "lowspot_file", "overland_lake_map", "overland_lake_file", "pause",
    "flush_buffer", "flood_grid", "flood_stream", "ov_boundary", "time_series_file", "use_wells",
    "elev_series_file", "lake_pump", "velm_base_grid", "velm_base_stream", "velm_file", "velm_compression",
    "velm_datasetgroup", "stream_info",
    // 314-328
    "q7_input", "nutrients", "aq_env", "ov_init_no2", "ov_init_no3", "ov_init_nh4", "ov_init_on",
    "ov_init_op", "ov_init_dp", "ov_init_alg", "ov_init_cbod", "ov_init_do", "ov_doc_init", "ov_doc_foc",
    "ov_dispersion",
    // 329-359
    "snow_canopy_intercept", "nwsrfs_snow", "nwsrfs_snow_w_rad", "eb_snow", "hy_snow", "reb_snow",
    "nwsrfs_retention", "relva_waves", "snap_retention", "multiple_melt_waves", "snap_snow_depth",
    "route_lat_snow", "nwsrfs_elev_snow", "orogvar_hmet", "nwsrfs_mf_constant", "nwsrfs_mf_max",
    "nwsrfs_mf_min", "nwsrfs_fr_use", "nwsrfs_scf", "hmet_elev_gage", "hmet_xcoord_gage", "hmet_ycoord_gage",
    "hmet_lapse_rate", "nwsrfs_tipm", "nwsrfs_nmf", "nwsrfs_fua", "nwsrfs_plwhc", "snow_temp_base",
    "snow_pxtemp", "yes_dalr_flag", "veg_trans_min",
    // 360-396
    "st_init_no2", "st_init_no3", "st_init_nh4", "st_init_on", "st_init_op", "st_init_dp", "st_init_alg",
    "st_init_cbod", "st_init_do", "sourcefile", "out_ov_no2", "out_ov_no3", "out_ov_nh4", "out_ov_on",
    "out_ov_op", "out_ov_dp", "out_ov_alg", "out_ov_cbod", "out_ov_do", "out_st_no2", "out_st_no3",
    "out_st_nh4", "out_st_on", "out_st_op", "out_st_dp", "out_st_alg", "out_st_cbod", "out_st_do",
    "out_hyd_no2", "out_hyd_no3", "out_hyd_nh4", "out_hyd_on", "out_hyd_op", "out_hyd_dp", "out_hyd_alg",
    "out_hyd_cbod", "out_hyd_do",
    // 397-409
    "ov_init_depth", "write_ov_hotstart", "read_ov_hotstart", "write_sm_hotstart", "read_sm_hotstart",
    "ntr_sum", "replace_params", "replace_vals", "replace_line", "replace_folder", "output_folder",
    "project_folder", "project_path",
    // 410-419
    "ov_pump", "init_elev_head", "end_time", "fyssi", "daily_output", "super_quiet", "q7_fluxes",
    "q7_nodes_to_segs", "q7_segment_map", "q7_segment_fluxes",
    // 420-430
    "storm_sewer", "superlink_c_opt", "high_head_release", "superlink_drainmod", "grid_pipe", "pipe_flow",
    "pipe_head", "pipe_tile", "storm_drain", "drain_grid_pipe", "drain_output",
    // 431-445
    "num_threads", "st_time_step", "calib_comp_data", "calib_obs_data", "calib_obj_func", "analyzers",
    "total_ov_n", "total_ov_p", "total_chan_n", "total_chan_kn", "total_chan_p", "chan_ph", "soils_nsm_p",
    "soils_nsm_n", "soils_nsm_c",
    // 446-461
    "no2_koc", "no3_koc", "nh4_koc", "on_koc", "op_koc", "dp_koc", "no2_km", "no3_km", "nh4_km", "on_km",
    "op_km", "dp_km", "init_swe_depth", "snow_swe_file", "snow_sd_file", "snow_temp",
    // 462-474
    "simulation_input", "xybdyoutput_pts", "xybdyoutput_mask", "xybdyoutput_ovdep", "xybdyoutput_gwhead",
    "xybdyoutput_stflow", "xybdyinput_ovdep", "xybdyinput_gwhead", "xybdyinput_stflow",
    "xybdyinput_sttimeseries", "xybdyinput_gwheadinterp", "xybdyinput_ovdepthinterp",
    "xybdyinput_ov_stage_interp",
};
// clang-format on

std::string lower(std::string s) {
  for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return s;
}

project_card card_of(const std::string& keyword) {
  std::string line = keyword + " 1";
  return project_card_code(line, 1);
}

TEST(ProjectCardTable, HoldsTheDocumentedKeywordsInOrder) {
  ASSERT_EQ(documented_keywords.size(), 474u);
  const auto table = project_card_keywords();
  ASSERT_EQ(table.size(), documented_keywords.size());
  for (size_t i = 0; i < table.size(); ++i)
    EXPECT_EQ(table[i].keyword, lower(documented_keywords[i])) << "entry " << i + 1;
}

TEST(ProjectCardTable, EveryKeywordReachesItsCard) {
  const std::set<std::string> ignored = {"pqm", "metric", "simulation_input"};
  std::set<project_card> cards;
  for (const auto& kw : documented_keywords) {
    const project_card card = card_of(kw);
    if (ignored.count(kw)) {
      EXPECT_EQ(card, project_card::ignore) << kw;
    } else {
      EXPECT_NE(card, project_card::ignore) << kw;
      cards.insert(card);
    }
  }
  EXPECT_EQ(cards.size(), 460u);
  EXPECT_EQ(n_project_cards, 460);

  const std::vector<std::pair<std::string, std::string>> same_card = {
      {"chan_explic", "diffusive_wave"},
      {"soil_con_trans", "soil_contam"},
      {"gw_fluxboundtable", "gw_flux_boundtable"},
      {"sacramento", "sacramento_pars"},
      {"dike_map", "embankment"},
      {"ov_init_depth", "read_ov_hotstart"},
      {"replace_folder", "output_folder"},
      {"project_folder", "project_path"},
  };
  for (const auto& [a, b] : same_card) EXPECT_EQ(card_of(a), card_of(b)) << a << " / " << b;
  // A card with two keywords is named by the first.
  EXPECT_EQ(project_card_keyword(card_of("output_folder")), "replace_folder");
}

struct lookup_case {
  const char* line;
  project_card card;
  const char* rest;     // the line after the lookup
  const char* warning;  // console output, "" for none
};

TEST(ProjectCardLookup, TakesTheKeywordOffTheLine) {
  const lookup_case cases[] = {
      {"", project_card::ignore, "", ""},
      {" \t,, ", project_card::ignore, " \t,, ", ""},
      {"\"\" GRIDSIZE 30", project_card::ignore, "   GRIDSIZE 30", ""},
      {"#", project_card::ignore, "", ""},
      {"# GRIDSIZE 30", project_card::ignore, "GRIDSIZE 30", ""},
      {"#GRIDSIZE 30", project_card::ignore, "30", ""},
      {"GRIDSIZE 30", project_card::gridsize, "30", ""},
      {"gridsize 30", project_card::gridsize, "30", ""},
      {"GridSize,30", project_card::gridsize, "30", ""},
      {"\"GRIDSIZE\" 30", project_card::gridsize, "30", ""},
      {"PQM anything", project_card::ignore, "anything", ""},
      {"METRIC", project_card::ignore, "", ""},
      {"SIMULATION_INPUT a b", project_card::ignore, "a b", ""},
      {"OV_BMP", project_card::ov_bmp, "", ""},
      {"ov_bmp", project_card::ov_bmp, "", ""},
      {"DIFFUSIVE_WAVE", project_card::chan_explic, "", ""},
      {"PROJECT_PATH data", project_card::project_folder, "data", ""},
      {"READ_OV_HOTSTART h.asc", project_card::ov_init_depth, "h.asc", ""},
      {"MANNING_N 0.03", project_card::manning_n, "0.03", ""},
      {"GRIDSIZEX 30", project_card::ignore, "30",
       "Warning: unknown card found in the project file: gridsizex; did you mean GRIDSIZE?\n"},
      {"GRID SIZE 30", project_card::ignore, "SIZE 30",
       "Warning: unknown card found in the project file: grid\n"},
  };
  for (const auto& c : cases) {
    std::string line = c.line;
    testing::internal::CaptureStdout();
    const project_card card = project_card_code(line, 0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(card, c.card) << c.line;
    EXPECT_EQ(line, c.rest) << c.line;
    EXPECT_EQ(out, c.warning) << c.line;
  }
}

// A misspelt card is answered with the card meant: a letter left out, added,
// changed or two swapped; a word far from every card gets no suggestion.
TEST(ProjectCardLookup, TheNearestCardOfAMisspeltOne) {
  const struct {
    const char* word;
    const char* meant;
  } cases[] = {
      {"GREEN_AMP", "GREEN_AMPT"}, {"maning_n", "MANNING_N"}, {"MANNIGN_N", "MANNING_N"},
      {"TOT_TME", "TOT_TIME"},     {"gridsizex", "GRIDSIZE"}, {"CHANEL_INPUT", "CHANNEL_INPUT"},
      {"xyzzy", ""},               {"GRIDSIZE", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(nearest_card_keyword(c.word), c.meant) << c.word;
  EXPECT_EQ(spelling_distance("abcd", "abdc"), 1);
  EXPECT_EQ(spelling_distance("", "abc"), 3);
  EXPECT_EQ(spelling_distance("kitten", "sitting"), 3);
}

TEST(ProjectCardLookup, WarnOffSilencesUnknownCards) {
  std::string line = "NOT_A_CARD 1";
  testing::internal::CaptureStdout();
  EXPECT_EQ(project_card_code(line, 1), project_card::ignore);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// One case: card lines, then what they must leave behind.
struct effect_case {
  const char* name;
  std::string lines;
  std::function<bool(const card_outcome&)> holds;
  std::string out = "";  // expected console output
  int code = 0;          // expected error code
};

std::string data_file(const char* name) { return (kavro_test::data_dir() / "input" / name).string(); }

std::vector<effect_case> effect_cases() {
  using o = const card_outcome&;
  return {
      // file cards
      {"file name and flag", "ROUGHNESS r.asc",
       [](o x) { return x.records.project.roughness == "r.asc" && x.records.project.use_roughness == 1; }},
      {"last card wins", "ROUGHNESS a.asc\nROUGHNESS b.asc",
       [](o x) { return x.records.project.roughness == "b.asc"; }},
      {"file card without name", "ROUGHNESS",
       [](o x) { return x.records.project.roughness.empty() && x.records.project.use_roughness == 1; }},
      {"name only", "WATERSHED_MASK \"my mask.asc\"",
       [](o x) { return x.records.project.watershed_mask == "my mask.asc"; }},
      {"shared weather file", "HMET_SAMSON a.dat\nHMET_VRX b.dat",
       [](o x) {
         return x.records.project.hmet_file == "b.dat" && x.records.project.use_hmet_samson == 1 &&
                x.records.project.use_hmet_vrx == 1;
       }},
      {"shared hotstart name", "EXPLIC_BACKWATER x\nWRITE_CHAN_HOTSTART y",
       [](o x) {
         return x.records.project.chan_hotstart_out == "y" && x.records.project.use_explic_backwater == 1 &&
                x.records.project.use_write_chan_hotstart == 1 && x.records.project.chan_hotstart_in.empty();
       }},
      {"shared permafrost name, own flag", "MULTI_LAYER_INFIL_KOTU k.txt",
       [](o x) {
         return x.records.project.kotu_file == "k.txt" && x.records.project.multi_layer_infil_kotu == 1 &&
                x.records.project.permafrost_kotu == 0;
       }},
      {"file into the xy output", "XYBDYOUTPUT_OVDEP ov.txt\nXYBDYOUTPUT_STFLOW st.txt",
       [](o x) {
         return x.records.project.xy_output.ov_file_name == "ov.txt" &&
                x.records.project.xy_output.st_file_name == "st.txt" &&
                x.records.project.use_xybdyoutput == 0;
       }},
      {"rain file", "PRECIP_FILE p.gag",
       [](o x) { return x.records.rain.source == 1 && x.records.rain.precip_file == "p.gag"; }},
      {"flux table name and run flag", "GW_FLUX_BOUNDTABLE t.txt",
       [](o x) {
         return x.records.project.gw_fluxboundtable == "t.txt" && x.records.run.gw_fluxboundtable == 1;
       }},
      // switches and codes
      {"switch", "OV_BMP\nUSE_WELLS",
       [](o x) { return x.records.project.use_ov_bmp == 1 && x.records.project.use_use_wells == 1; }},
      {"code", "SOILS_NSM_N\nQOUT_CFS",
       [](o x) { return x.records.project.soils_nsm_n == 2 && x.records.run.qout_cfs == 1; }},
      {"last routing method decides", "CHAN_MESH\nCHAN_EXPLIC",
       [](o x) { return x.records.run.chan_method == 3; }},
      {"last infiltration method decides", "INF_RICHARDS\nINF_REDIST",
       [](o x) { return x.records.run.infil_method == 2; }},
      {"interception sets the coefficient flag", "INTERCEPTION",
       [](o x) {
         return x.records.project.use_interception_coeff == 1 && x.records.project.interception_coeff.empty();
       }},
      {"uniform rain after a rain file", "PRECIP_FILE p.gag\nPRECIP_UNIF\nRAIN_THIESSEN",
       [](o x) { return x.records.rain.source == 0 && x.records.rain.interpolation == 1; }},
      // values
      {"real value", "GRIDSIZE 30.5", [](o x) { return x.records.run.gridsize == 30.5; }},
      {"missing value overwrites the default with 0", "EVENT_MIN_Q",
       [](o x) { return x.records.project.event_min_q == 0.0; }},
      {"value that is not a number reads 0", "LATITUDE north",
       [](o x) { return x.records.run.latitude == 0.0; }},
      {"int value of a real", "ROWS 7.9", [](o x) { return x.records.run.rows == 7; }},
      {"value and flag", "MANNING_N 0.035",
       [](o x) { return x.records.project.manning_n == 0.035 && x.records.project.use_manning_n == 1; }},
      {"value and given flag", "GMT -5",
       [](o x) { return x.records.run.gmt == -5.0 && x.records.run.gmt_given == 1; }},
      {"several ints", "END_TIME 2001 6 15 14 30\nSTART_TIME 14",
       [](o x) {
         const auto& r = x.records.run;
         return r.end_year == 2001 && r.end_month == 6 && r.end_day == 15 && r.end_hour == 14 &&
                r.end_minute == 30 && r.start_hour == 14 && r.start_minute == 0;
       }},
      // echo and inert cards
      {"echo real", "ALPHA 0.5", [](o) { return true; }, "Alpha = 0.500000\n"},
      {"echo int", "N_LINKS 12\nDRAIN_TIME", [](o) { return true; },
       "Number of links = 12\nDrainage time = 0\n"},
      {"inert cards print and set nothing", "LAKE 1 2\nXWINDOWS\nVELM_FILE v.dat\nCALIB_OBS_DATA o.txt",
       [](o) { return true; }},
      // cards of their own
      {"units", "UNITS 1", [](o x) { return x.records.run.units == 1; }, "Units flag = 1\n"},
      {"overtype by name", "OVERTYPE ade-pc", [](o x) { return x.records.project.overtype == 3; }},
      {"overtype by name in capitals", "OVERTYPE EXPLICIT",
       [](o x) { return x.records.project.overtype == 1; }},
      {"overtype by number", "OVERTYPE 3", [](o x) { return x.records.project.overtype == 3; }},
      {"unknown overtype keeps the scheme", "OVERTYPE ADE_PC",
       [](o x) { return x.records.project.overtype == 2; }},
      {"richards K by four letters", "RICHARDS_K_OPTION arithmetic\nRICHARDS_K_OPTION geo",
       [](o x) { return x.records.project.richards_k_option == 1; }},
      {"richards K geometric", "RICHARDS_K_OPTION arithmetic\nRICHARDS_K_OPTION GEOMETRICAL",
       [](o x) { return x.records.project.richards_k_option == 2; }},
      {"richards C", "RICHARDS_C_OPTION Brooks",
       [](o x) { return x.records.project.richards_c_option == 1; }},
      {"richards upper without word", "RICHARDS_UPPER_OPTION",
       [](o x) { return x.records.project.richards_upper_option == 0; }},
      {"richards upper average", "RICHARDS_UPPER_OPTION average",
       [](o x) { return x.records.project.richards_upper_option == 3; }},
      {"retention depth as a number", "RETEN_DEPTH 0.5",
       [](o x) {
         return x.records.project.use_retention == 1 && x.records.project.retention == 0.5 &&
                x.records.project.use_reten_depth == 0;
       },
       "Warning: Incorrect use of RETEN_DEPTH card\n  Usage: RETEN_DEPTH <filename>-or-\nRETENTION <value>  "
       "-or-\n"
       "RETEN_DEPTH \n  Using 0.500000 for the uniform retention depth\n\n"},
      {"retention depth map", "RETEN_DEPTH ret.asc",
       [](o x) {
         return x.records.project.use_reten_depth == 1 && x.records.project.reten_depth == "ret.asc" &&
                x.records.project.use_retention == 0;
       }},
      {"retention map whose name starts like a number word", "RETEN_DEPTH infiltration.asc",
       [](o x) { return x.records.project.use_reten_depth == 1 && x.records.project.use_retention == 0; }},
      {"retention depth alone", "RETEN_DEPTH",
       [](o x) { return x.records.project.use_reten_depth == 1 && x.records.project.reten_depth.empty(); }},
      {"moisture without name keeps the name", "MOISTURE m.asc\nMOISTURE",
       [](o x) { return x.records.project.moisture == "m.asc" && x.records.project.use_moisture == 1; }},
      {"area reduction without name", "AREA_REDUCTION",
       [](o x) {
         return x.records.project.use_area_reduction == 1 && x.records.project.area_reduction.empty();
       }},
      {"boundary file alone does nothing", "GW_BOUNDFILE",
       [](o x) { return x.records.project.use_gw_boundfile == 0; }},
      {"host event alone", "QLN_EVENT_NUM",
       [](o x) { return x.records.project.qln_event_num == -1 && x.records.project.use_qln_event_num == 1; }},
      {"host event", "QLN_EVENT_NUM 4", [](o x) { return x.records.project.qln_event_num == 4; }},
      {"uniform snow", "INIT_SWE_DEPTH 0.25",
       [](o x) { return x.records.project.init_swe_kind == 3 && x.records.project.init_swe_depth == 0.25; }},
      {"snow map", "INIT_SWE_DEPTH swe.asc",
       [](o x) {
         return x.records.project.init_swe_kind == 1 && x.records.project.init_swe_file == "swe.asc";
       }},
      {"orographic gauges", "HMET_OROG_GAGES g.txt",
       [](o x) {
         return x.records.project.hmet_orog_gages == "g.txt" && x.records.project.use_hmet_orog_gages == 1 &&
                x.records.project.use_orogvar_hmet == 1;
       }},
      {"snow temperature output alone", "SNOW_TEMP t.txt",
       [](o x) {
         return x.records.project.use_snow_temp == 1 && x.records.project.snow_temp == "t.txt" &&
                x.records.project.use_xybdyoutput == 0;
       }},
      // nutrients
      {"nutrient output before NUTRIENTS", "OUT_OV_NO3 n.out",
       [](o x) { return x.ended && x.what == "OUT_OV_XXX"; }, "", 79},
      {"aquatic file before NUTRIENTS", "AQ_ENV a.txt", [](o x) { return x.what == "AQ_ENV"; }, "", 79},
      {"overland entry 10 before NUTRIENTS", "OV_DOC_FOC 1", [](o x) { return x.what == "OV_INIT_XXX"; }, "",
       79},
      {"stream value before NUTRIENTS", "ST_INIT_DO", [](o x) { return x.what == "ST_INIT_XXX"; }, "", 79},
      {"hydrograph output before NUTRIENTS", "OUT_HYD_DO h", [](o x) { return x.what == "OUT_HYD_XXX"; }, "",
       79},
      {"reading ends at the nutrient error", "ROUGHNESS a.asc\nOUT_ST_NO2 s\nROUGHNESS b.asc",
       [](o x) {
         return x.what == "OUT_ST_XXX" && x.records.project.roughness == "a.asc" && x.lines_read == 2;
       },
       "", 79},
      {"nutrient output after NUTRIENTS", "NUTRIENTS\nOUT_OV_NO3 n.out",
       [](o x) {
         const auto* m = x.records.project.nsm_model.get();
         return x.records.project.use_nutrients == 1 && m && m->map_outputs.out_on[1] == 1 &&
                m->map_outputs.out_name[1] == "n.out" && m->map_outputs.out_on[0] == 0;
       }},
      {"nutrient initial values",
       "NUTRIENTS\nAQ_ENV aq.txt\nOV_INIT_NO3 0.5\nOV_DISPERSION d.asc\nST_INIT_NH4",
       [](o x) {
         const auto* m = x.records.project.nsm_model.get();
         return m && m->aquatic_env.file_name == "aq.txt" && m->ov_input_kind[1] == nsm_input_uniform &&
                m->ov_input_value[1] == 0.5 && m->ov_input_kind[11] == nsm_input_map &&
                m->ov_input_file[11] == "d.asc" && m->st_input_kind[2] == nsm_input_table;
       }},
      {"second NUTRIENTS starts a new model", "NUTRIENTS\nOUT_HYD_NO2 h\nNUTRIENTS",
       [](o x) {
         return x.records.project.nsm_model && x.records.project.nsm_model->hyd_outputs.out_on[0] == 0;
       }},
      {"first soil constant creates the table", "NO3_KOC 0.3",
       [](o x) {
         const auto& k = x.records.project.nsm_soil_k;
         return k && k->values[7] == 0.3 && std::count(k->values.begin(), k->values.end(), 0.0) == 11;
       }},
      // calibration
      {"daily comparison", "CALIB_COMP_DATA DAILY",
       [](o x) { return x.records.project.calib_comp_data == 0; }},
      {"event comparison", "CALIB_COMP_DATA EVENTS",
       [](o x) { return x.records.project.calib_comp_data == 1; }},
      {"comparison in lower case", "CALIB_COMP_DATA daily\nROWS 9",
       [](o x) { return x.records.project.calib_comp_data == 2 && x.ended && x.records.run.rows == 0; }, "",
       103},
      {"objective written exactly", "CALIB_OBJ_FUNC HMLE",
       [](o x) { return x.records.project.calib_obj_func == 1; }},
      {"objective in lower case", "CALIB_OBJ_FUNC rmse",
       [](o x) { return x.records.project.calib_obj_func == 2 && x.ended; }, "", 104},
      // process-wide effects
      {"no thread count", "NUM_THREADS 0", [](o) { return true; },
       "Error: unable to set the thread level to 0.\n"},
      {"thread count", "NUM_THREADS 3", [](o) { return omp_get_max_threads() == 3; },
       "Setting the thread level to 3.\n"},
      {"super quiet", "SUPER_QUIET",
       [](o x) { return x.records.project.use_super_quiet == 1 && super_quiet == 1; }},
      {"replacement line", "REPLACE_LINE 3", [](o) { return replace_line == 2; }},
      {"replacement line without number", "REPLACE_LINE", [](o) { return replace_line == -1; }},
      {"replacement values switch replacement on", "REPLACE_VALS " + data_file("values.txt"),
       [](o) { return replace_on == 1; }},
      {"project folder", "PROJECT_PATH data\\run1",
       [](o) { return project_folder == "data/run1/"; }},
      {"output folder", "OUTPUT_FOLDER out",
       [](o) { return output_folder.starts_with("out") && output_folder.size() == 4; }},
      {"output folder without name", "REPLACE_FOLDER", [](o) { return output_folder.empty(); },
       "Warning: OUTPUT_FOLDER card without a folder name; the output folder is not changed.\n"},
      {"time series file", "TIME_SERIES_FILE " + data_file("ts_two_blocks.txt"),
       [](o) { return time_series_list.size() == 2; },
       "Read time series Inflow\nRead time series Inflow_A\n2 time series read from file " +
           data_file("ts_two_blocks.txt") + "\n"},
      {"elevation series file", "ELEV_SERIES_FILE " + data_file("es_curve.txt"), [](o) { return true; },
       "2 elevation series read from file " + data_file("es_curve.txt") + "\n"},
      // nested runs and Q7
      {"xy points output", "XYBDYOUTPUT_PTS p.txt",
       [](o x) {
         return x.records.project.use_xybdyoutput == 1 && x.records.project.xybdyoutput_is_mask == 0 &&
                x.records.project.xy_output.points_file == "p.txt";
       }},
      {"xy mask output", "XYBDYOUTPUT_MASK m.asc",
       [](o x) { return x.records.project.xybdyoutput_is_mask == 1; }},
      {"xy stage input sets the overland flags", "XYBDYINPUT_OV_STAGE_INTERP s.txt",
       [](o x) {
         const auto& p = x.records.project;
         return p.use_ov_boundary == 1 && p.use_xybdyinput_ovdep == 1 &&
                p.use_xybdyinput_ov_stage_interp == 1;
       },
       // The card reads its file at once: a missing one is reported and the run goes on.
       "Error getting new filename from s.txt\nError: unable to open overland xy boundary input file.\n"},
      {"xy groundwater input sets no overland flag", "XYBDYINPUT_GWHEAD g.txt",
       [](o x) {
         return x.records.project.use_ov_boundary == 0 && x.records.project.use_xybdyinput_ovdep == 0;
       },
       "Error getting new filename from g.txt\nError: unable to open groundwater xy boundary input file.\n"},
      {"Q7 block", "Q7_INPUT q.txt\nQ7_FLUXES\nQ7_SEGMENT_MAP s.asc",
       [](o x) {
         const q7_card_block& q = x.records.project;
         return q.use_q7_input == 1 && q.q7_input == "q.txt" && q.use_q7_fluxes == 1 &&
                q.q7_segment_map == "s.asc" && q.q7_nodes_to_segs.empty();
       }},
  };
}

class ProjectCardEffects : public kavro_test::process_state_test {};

TEST_F(ProjectCardEffects, EachCaseLeavesItsEffect) {
  for (const effect_case& c : effect_cases()) {
    kavro_test::reset_process_state();
    const card_outcome x = run_card_lines(c.lines);
    EXPECT_TRUE(c.holds(x)) << c.name;
    EXPECT_EQ(x.out, c.out) << c.name;
    EXPECT_EQ(x.code, c.code) << c.name;
  }
}

}  // namespace
}  // namespace kavro
