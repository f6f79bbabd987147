// One name per field: names that other parts of the design use for a field
// of the run record (or of its embedded records) must never be declared as a
// field, so that every step uses the one declared name. The block headers are
// read from the source tree and their member declarations collected.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The source tree of this build: this file is tests/framework/<name>.cpp.
const fs::path source_root = fs::path(__FILE__).parent_path().parent_path().parent_path() / "src";

// Names under which other parts refer to a quantity that already has a field.
const char* const other_names[] = {
  "ade_sweep_order", "adjust_channel_bed", "area_reduction_factor", "bmp_last_time", "bmp_next_time",
  "bound_ts_name", "boundary_input", "canopy_snow_load", "cell_rain", "cell_size", "cgw_last_time",
  "cgw_next_time", "ch_sand_vol0", "chan_con_last_time", "chan_con_next_time", "chan_conc", "chan_contam_file",
  "chan_contam_outlet_next", "chan_decay_last_time", "chan_decay_next_time", "chan_gw_con_last_time",
  "chan_gw_con_next_time", "chan_hotstart_out_on", "chan_last_time", "chan_next_time", "chan_outlet_last_time",
  "chan_outlet_next_time", "chan_point_input_on", "chan_point_sources_on", "chan_route_count",
  "chan_routing_active", "chan_state_file_on", "chan_state_file_path", "chan_step_count", "decay_last",
  "decay_next", "dike_segments", "drain_last_time", "drain_next_time", "drains_flowing",
  "event_chan_sed_contam_susp_mass", "event_chan_total_mass", "event_mass_error", "event_recharge_depth",
  "event_running", "event_soil_exchange_from", "event_soil_exchange_in_mass", "event_soil_exchange_out_mass",
  "event_soil_exchange_to", "event_soil_seep_down", "event_soil_seep_from_wt_mass",
  "event_soil_seep_to_wt_mass", "event_soil_seep_up", "event_steps", "exfil_any", "f1_depth", "face_slope_x",
  "face_slope_y", "first_event", "first_event_no", "fs_new_bed_elev", "gauge_file_on", "global_budget_on",
  "gst_mass_last", "gst_mass_next", "gst_on", "gw_last_time", "gw_next_time", "gw_recharge_depth",
  "gw_sweep_order", "hmet_interval_s", "hmet_read_result", "hyd_location_vol", "idw_interp_on",
  "inf_cum_depth", "inf_cum_prev", "inf_depth_accum", "inf_interval", "inf_interval_days", "inf_last_time",
  "inf_next_time", "inf_rate", "inf_rate_map_on", "inf_redist_count", "infil_last_time", "infil_mass_last",
  "infil_mass_next", "infil_next_time", "interp_idw_on", "interp_nearest_on", "kotu_last_time",
  "kotu_next_time", "kotu_solve_count", "lake_active_after", "lake_active_before", "lake_in_dv_total",
  "lake_out_dv_total", "last_longterm_time", "layer_moisture_table", "long_term_flush_count",
  "longterm_interval", "longterm_interval_s", "lower_zone_water", "lt_et_next_time", "max_flood_depth",
  "max_nodes", "melt_packet_count", "melt_release_interval", "melt_release_last_time",
  "melt_release_next_time", "mixing_layer_depth", "mlake_default", "mlake_given", "n_contam_layers",
  "n_dike_segments", "n_erodible_bp_links", "n_events_ended", "n_periods", "n_rain_event_reads",
  "n_soil_contam_layers", "ncols", "next_longterm_time", "next_period_time", "nrows", "nsm_kin_last_time",
  "nsm_kin_next_time", "nsm_soil_last", "nsm_soil_next", "nsm_time_last", "nsm_time_next", "olake_recs",
  "olake_step_due", "opt_loc_peak", "opt_loc_volume", "orogvar_hmet_on", "outlet_mass_last",
  "outlet_mass_next", "ov_con_interval", "ov_con_last", "ov_con_next", "ov_con_sweep", "ov_contam_outlet_next",
  "ov_depth_start", "ov_dh", "ov_route_calls", "ov_sed_contam_conc", "ov_sed_contam_source_mass",
  "ov_sed_contam_susp_mass", "ov_total_contam_mass", "period_index", "pipe_tile_on", "precip_load_last",
  "precip_load_next", "precip_period_s", "radar_filenames", "rain_convert_pending", "rain_event_start",
  "rain_falling", "rain_start_minutes", "rain_state", "rain_steps_done", "raingage_on", "redist_event_on",
  "richards_evap_depth", "river_bed_thickness", "root_zone_water", "runoff_event_on", "runoff_event_open",
  "sac_initial_storage_mm", "sac_next_time", "sac_residual_mm", "sac_runoff_mm", "sed_attached_conc",
  "sed_contam_total_mass", "sed_to_chan_event", "shade_mask", "sl_clock_on", "sl_gw_tile_on", "sl_last_time",
  "sl_next_time", "snow_canopy_cover", "snow_depth", "snow_lai_summer", "snow_lai_winter", "snow_last_time",
  "snow_next_time", "soil_contam_next_time", "soil_depth", "soil_exchange_last", "soil_exchange_next",
  "soil_mass_final", "soil_moist_depth", "soil_moisture_redist_on", "soil_sed_contam_mass",
  "soil_surface_mass", "soil_water_active", "soil_water_depth", "soil_water_final", "soil_water_init",
  "soil_water_tracked_on", "st_map_table_present", "surface_theta", "theta0", "thiessen_interp_on",
  "tile_gw_exchange_on", "tile_on", "top_layer_depth", "unsat_zone_depth", "upper_zone_water",
  "vol_exfil_event_start", "vol_lat_in_event_start", "vol_lat_in_total", "vol_lat_inflow_event_start",
  "vol_lat_out_event_start", "vol_lat_out_total", "vol_sac_aet", "water_present", "wetland_recs",
  "xsec_depth_exceeded", "xsec_table_exceeded", "xy_output_on", "yp_max_flood_on"

};

std::string read_text(const fs::path& p) {
  std::ifstream in(p);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Comments, string literals and preprocessor lines removed.
std::string strip_noise(const std::string& text) {
  std::string s = std::regex_replace(text, std::regex(R"(/\*[\s\S]*?\*/)"), " ");
  s = std::regex_replace(s, std::regex(R"(//[^\n]*)"), "");
  s = std::regex_replace(s, std::regex(R"("(\\.|[^"\\])*")"), "\"\"");
  s = std::regex_replace(s, std::regex(R"((^|\n)[ \t]*#[^\n]*)"), "\n");
  return s;
}

// Splits at commas outside template argument and parameter lists.
std::vector<std::string> top_level_parts(const std::string& s) {
  std::vector<std::string> parts(1);
  int depth = 0;
  for (char c : s) {
    if (c == '<' || c == '(') ++depth;
    if ((c == '>' || c == ')') && depth > 0) --depth;
    if (c == ',' && depth == 0) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

// Names of the data members and variables declared in a header.
std::set<std::string> declared_names(const std::string& text) {
  std::string s = strip_noise(text);
  // Brace initialisers (no statement inside) vanish; the braces of class and
  // function bodies then separate statements.
  const std::regex initialiser(R"(\{[^{};]*\})");
  for (std::string prev; prev != s;) {
    prev = s;
    s = std::regex_replace(s, initialiser, " ");
  }
  for (char& c : s) {
    if (c == '{' || c == '}') c = ';';
  }
  const std::regex label(R"(^\s*(public|private|protected)\s*:(?!:))");
  const std::regex skipped(R"(^\s*(struct|class|union|enum|namespace|using|template|typedef|return|friend|static_assert|inline)\b)");
  const std::regex identifier(R"([A-Za-z_]\w*)");
  std::set<std::string> names;
  std::istringstream statements(s);
  for (std::string st; std::getline(statements, st, ';');) {
    st = std::regex_replace(st, label, "");
    st = std::regex_replace(st, std::regex(R"(\[[^\]]*\])"), "");
    if (std::regex_search(st, skipped)) continue;
    std::vector<std::string> found;
    bool function = false;
    for (const std::string& part : top_level_parts(st)) {
      const std::string declarator = part.substr(0, part.find('='));  // initialiser dropped
      function = function || declarator.find('(') != std::string::npos;
      std::string last;
      for (std::sregex_iterator it(declarator.begin(), declarator.end(), identifier), end; it != end; ++it) last = it->str();
      if (!last.empty()) found.push_back(last);
    }
    if (!function) names.insert(found.begin(), found.end());
  }
  return names;
}

// main_state.h and every project header it includes, directly or not.
std::vector<fs::path> record_headers() {
  std::vector<fs::path> todo = {source_root / "framework" / "main_state.h"}, seen;
  const std::regex include(R"re(#include\s+"([^"]+)")re");
  while (!todo.empty()) {
    fs::path p = todo.back();
    todo.pop_back();
    if (std::find(seen.begin(), seen.end(), p) != seen.end()) continue;
    seen.push_back(p);
    const std::string text = read_text(p);
    for (std::sregex_iterator it(text.begin(), text.end(), include), end; it != end; ++it) {
      const fs::path next = source_root / (*it)[1].str();
      if (fs::exists(next)) todo.push_back(next);
    }
  }
  return seen;
}

TEST(RecordNames, ScannerFindsMemberDeclarations) {
  const std::string snippet = R"(
    struct demo_block {
      int rain_falling = 0;            // a comment naming inf_rate
      dvec inf_cum_depth{"inf_cum_depth"};
      double a = 1.0, b;
      std::unique_ptr<std::pair<int, int>> owned;
      one_based_vec<low_spot> dike_segments{"dike_segments"};
      int count() const { return a; }
      demo_block() = default;
    };
    inline constexpr long capacity = 10;
  )";
  const std::set<std::string> expected = {"rain_falling", "inf_cum_depth", "a", "b", "owned", "dike_segments"};
  EXPECT_EQ(declared_names(snippet), expected);
}

TEST(RecordNames, NoOtherNameIsDeclaredInTheRecord) {
  const std::vector<fs::path> headers = record_headers();
  ASSERT_GE(headers.size(), 10u) << "block headers not found under " << source_root;
  std::set<std::string> all;
  for (const fs::path& h : headers) {
    const std::set<std::string> names = declared_names(read_text(h));
    for (const char* other : other_names) {
      EXPECT_EQ(names.count(other), 0u) << other << " is declared in " << h.string();
    }
    all.insert(names.begin(), names.end());
  }
  // The scan reaches the blocks: fields of several of them are seen.
  for (const char* field : {"ov_depth", "event_active", "rightcon", "rain_active", "bound_ts_path", "n_bp_sections",
                            "qlat_sed", "event_start_times", "gw_toggle", "project_params"}) {
    EXPECT_EQ(all.count(field), 1u) << field;
  }
}

}  // namespace
