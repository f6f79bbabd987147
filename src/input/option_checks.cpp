#include "input/option_checks.h"

#include <cstdio>
#include <string>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "input/map_table_check.h"
#include "framework/readers.h"
#include "input/project_settings.h"

namespace kavro {

namespace {

// Codes of the checks that report at once and let the run go on.
constexpr int warn_gw_porosity_source = 39;
constexpr int warn_gw_hycond_source = 41;

// A refusal with a message of its own.
bool refuse_with(const char* message) {
  std::fputs(message, stdout);
  error_rec.code = already_printed_code;
  return false;
}

// Sets `code` for the run driver's report; false, so that the caller ends.
bool refuse(int code) {
  error_rec.code = code;
  return false;
}

// A warning reported at once: the checks after it are still made.
void warn_now(int code) {
  error_rec.code = code;
  report_error(error_rec);
}

// The grid cards size every map and the cell area divides by GRIDSIZE: they
// are refused before any map is read.
bool check_grid_cards(const main_state& ms) {
  const run_params_record& r = ms.run_params;
  if (r.rows <= 0 || r.cols <= 0)
    return refuse_with("Error: The project file must give ROWS and COLS of at least 1.\n");
  if (!(r.gridsize > 0.0))
    return refuse_with("Error: The project file must give a GRIDSIZE greater than 0.\n");
  return true;
}

// Only three overland schemes exist; any other number would route nothing.
bool check_overland_scheme(const main_state& ms) {
  if (ms.overtype >= 1 && ms.overtype <= 3) return true;
  std::printf("Error: OVERTYPE %d is not an overland scheme. Use 1 (explicit), 2 (ade) or 3 (ade-pc).\n",
              ms.overtype);
  error_rec.code = already_printed_code;
  return false;
}

bool check_weather_and_rain(const main_state& ms) {
  if (ms.manning_n_on && ms.roughness_on) return refuse(6);
  if (ms.long_term_on && ms.et_calc_penman_on && ms.et_calc_deardorff_on) return refuse(7);
  if (ms.hmet_surfaways_on + ms.hmet_samson_on + ms.hmet_vrx_on >= 2) return refuse(8);
  if (ms.long_term_on && !ms.et_calc_penman_on && !ms.et_calc_deardorff_on) return refuse(9);
  // A NaN compares unequal to 0.0 and passes, as an unset value never is NaN.
  if (ms.uniform_rain_on && (ms.rain_intensity == 0.0 || ms.rain_duration == 0.0)) return refuse(11);
  if (!ms.long_term_on) return true;
  if (!ms.inf_redist_on && !ms.richards_on && !ms.multi_layer_ga_on) return refuse(20);
  const bool et_table = ms.map_table_present[map_table::evapotranspiration] != 0;
  if (!ms.albedo_on && !ms.richards_on && !et_table) return refuse(21);
  if (ms.et_calc_penman_on) {
    struct et_map {
      int main_state::*on;
      int code;
    };
    constexpr et_map penman_maps[] = {{&main_state::vheight_on, 22},
                                      {&main_state::tcoeff_on, 23},
                                      {&main_state::canopy_on, 24},
                                      {&main_state::wilting_point_on, 25}};
    for (const et_map& m : penman_maps) {
      if (!(ms.*m.on) && !ms.richards_on && !et_table) return refuse(m.code);
    }
  }
  return true;
}

// The layered soil table and the Richards soil table supply the Green-Ampt
// parameters themselves.
void clear_green_ampt_maps(main_state& ms) {
  ms.moisture_on = 0;
  ms.conductivity_on = 0;
  ms.capillary_on = 0;
  ms.porosity_on = 0;
  ms.pore_index_on = 0;
  ms.residual_sat_on = 0;
}

// Green-Ampt and Green-Ampt with redistribution read their soil parameters
// per cell from maps or from the mapping table's Green-Ampt table; a
// parameter with neither would leave the method without a soil. Every
// missing card is named, then the run stops.
bool check_infiltration_sources(const main_state& ms) {
  const char* method = ms.inf_redist_on == 1 ? "INF_REDIST" : ms.green_ampt_on == 1 ? "GREEN_AMPT" : nullptr;
  if (!method || ms.map_table_present[map_table::green_ampt] != 0) return true;
  struct source {
    int main_state::*on;
    const char* card;
    bool redistribution_only;
  };
  constexpr source sources[] = {{&main_state::conductivity_on, "CONDUCTIVITY", false},
                                {&main_state::capillary_on, "CAPILLARY", false},
                                {&main_state::porosity_on, "POROSITY", false},
                                {&main_state::pore_index_on, "PORE_INDEX", true},
                                {&main_state::residual_sat_on, "RESIDUAL_SAT", true}};
  bool complete = true;
  for (const source& s : sources) {
    if (ms.*s.on || (s.redistribution_only && ms.inf_redist_on != 1)) continue;
    std::printf("Error: The infiltration method %s needs %s: give the map card %s or the "
                "GREEN_AMPT_INFILTRATION table in the mapping table.\n",
                method, s.card, s.card);
    complete = false;
  }
  if (!complete) error_rec.code = already_printed_code;
  return complete;
}

// Erosion writes the outlet sediment hydrograph; channel sand needs its
// diameter and the bed its porosity.
bool check_sediment_cards(const main_state& ms) {
  if (ms.sed_control.erosion_on != 1) return true;
  const project_params_record& p = ms.project_params;
  if (p.outlet_sed_flux.empty())
    return refuse_with(
        "Error: SOIL_EROSION needs OUTLET_SED_FLUX: give the card OUTLET_SED_FLUX with the name of the outlet "
        "sediment hydrograph file.\n");
  if (ms.ov_sed_out_on != 1) return true;
  if (!(p.sand_size > 0.0)) {
    std::printf("Error: SOIL_EROSION with channels needs SAND_SIZE, the smallest sand diameter in mm, above 0 "
                "(SAND_SIZE %g).\n",
                p.sand_size);
    error_rec.code = already_printed_code;
    return false;
  }
  if (!(p.sed_porosity >= 0.0 && p.sed_porosity < 1.0)) {
    std::printf("Error: SED_POROSITY %g is not a porosity: give a value from 0 up to, not including, 1.\n",
                p.sed_porosity);
    error_rec.code = already_printed_code;
    return false;
  }
  return true;
}

bool check_soil_and_channel(main_state& ms) {
  if (!check_infiltration_sources(ms)) return false;
  if (ms.multi_layer_ga_on == 1) clear_green_ampt_maps(ms);
  if (ms.richards_on == 1) {
    if (ms.gw_simulation_on && ms.aquifer_delta_z < 0.0) return refuse(32);
    // Without a retention model the Richards soil table stays all zero.
    if (ms.richards_c_option != 1 && ms.richards_c_option != 2)
      return refuse_with(
          "Error: Richards infiltration needs a soil-water retention model.\n"
          "Give RICHARDS_C_OPTION BROOKS or RICHARDS_C_OPTION HAVERCAMP in the project file.\n");
    clear_green_ampt_maps(ms);
    // Richards columns have nodes, not the layers the soil constituents live in.
    if (ms.soil_contam_on)
      return refuse_with(
          "Error: SOIL_CON_TRANS needs soil layers, and INF_RICHARDS has none: the soil constituents work with the "
          "Green-Ampt methods. Remove SOIL_CON_TRANS or choose another infiltration method.\n");
  }
  if (ms.chan_implicit_on == 1 || ms.run_params.chan_method == chan_method_preissmann) return refuse(35);
  if (ms.channel_on == 1 && ms.sed_control.erosion_on == 1) ms.ov_sed_out_on = 1;
  if (!check_sediment_cards(ms)) return false;
  if (ms.chan_discharge_map_on && !ms.channel_on) ms.chan_discharge_map_on = 0;
  return true;
}

// The soil columns iterate with and divide by these card values: a sub-step
// without a pass, a target moisture change of zero, a weight outside the
// two nodes or a soil zone without depth gives no usable soil water. Every
// bad card is named with its value, then the run stops.
bool check_soil_water_cards(const main_state& ms) {
  bool ok = true;
  const auto bad = [&ok](const std::string& text) {
    std::fputs(text.c_str(), stdout);
    ok = false;
  };
  if (ms.richards_on == 1) {
    if (ms.richards_iter_max < 1)
      bad(format_string("Error: RICHARDS_ITER_MAX %d: every sub-step of a soil column needs at least 1 pass.\n",
                        ms.richards_iter_max));
    if (!(ms.richards_dtheta_max > 0.0))
      bad(format_string("Error: RICHARDS_DTHETA_MAX %g: the largest moisture change of a sub-step must be above "
                        "0.\n",
                        ms.richards_dtheta_max));
    if (!(ms.richards_weight >= 0.0 && ms.richards_weight <= 1.0))
      bad(format_string("Error: RICHARDS_WEIGHT %g: the weight of the upper node must be between 0 and 1.\n",
                        ms.richards_weight));
  }
  if ((ms.richards_on == 1 || ms.soil_redist_on) && !(ms.soil_moist_depth_cm > 0.0))
    bad(format_string("Error: SOIL_MOIST_DEPTH %g: the soil-moisture depth must be above 0 m.\n",
                      ms.project_params.soil_moist_depth));
  if (!ok) error_rec.code = already_printed_code;
  return ok;
}

// The aquifer moves only through the soil-water methods that hand it their
// water (redistribution, layered soil, Richards): with any other the channel
// routing would leave exchange volumes for a solver that never runs. The
// line relaxation converges only for a factor in (0, 2) and a positive
// tolerance.
bool check_groundwater_solver(const main_state& ms) {
  const int method = ms.run_params.infil_method;
  if (method != 2 && method != 3 && method != 4) {
    const char* given = method == 1 ? "GREEN_AMPT" : "no infiltration card";
    std::printf("Error: GW_SIMULATION needs INF_REDIST, INF_LAYERED_SOIL or INF_RICHARDS: with %s the soil hands "
                "the aquifer no water and the aquifer does not move.\n",
                given);
    error_rec.code = already_printed_code;
    return false;
  }
  const project_params_record& p = ms.project_params;
  bool ok = true;
  if (p.use_gw_relax_coeff && !(p.gw_relax_coeff > 0.0 && p.gw_relax_coeff < 2.0)) {
    std::printf("Error: GW_RELAX_COEFF %g: the relaxation factor of the groundwater solver must lie between 0 and 2 "
                "(both excluded).\n",
                p.gw_relax_coeff);
    ok = false;
  }
  if (!(ms.gw_lsor_con > 0.0)) {
    std::printf("Error: GW_LSOR_CON %g: the tolerance of the groundwater line relaxation must be above 0 m.\n",
                ms.gw_lsor_con);
    ok = false;
  }
  // Physical ranges of the uniform aquifer values and of the clock: a
  // negative conductivity or step would leave the aquifer still without a
  // word, a porosity of 0 divides the storage, one above 1 is no soil.
  if (ms.gw_unif_hycond_on == 1 && ms.gw_unif_hycond < 0.0) {
    std::printf("Error: GW_UNIF_HYCOND %g: the aquifer's hydraulic conductivity must not be negative.\n",
                ms.gw_unif_hycond);
    ok = false;
  }
  if (ms.gw_unif_porosity_on == 1 && !(ms.gw_unif_porosity > 0.0 && ms.gw_unif_porosity <= 1.0)) {
    std::printf("Error: GW_UNIF_POROSITY %g: the aquifer's porosity must lie above 0 and at most 1.\n",
                ms.gw_unif_porosity);
    ok = false;
  }
  if (ms.gw_timestep < 0.0) {
    std::printf("Error: GW_TIMESTEP %g: the groundwater time step must not be negative (0 steps the aquifer with "
                "the model).\n",
                ms.gw_timestep);
    ok = false;
  }
  if (ms.gw_leakage_rate < 0.0) {
    std::printf("Error: GW_LEAKAGE_RATE %g: the leakage to the deep aquifer (cm/h) must not be negative.\n",
                ms.gw_leakage_rate);
    ok = false;
  }
  if (!ok) error_rec.code = already_printed_code;
  return ok;
}

bool check_groundwater(const main_state& ms) {
  if (ms.gw_simulation_on != 1) return true;
  if (!check_groundwater_solver(ms)) return false;
  const bool gw_table = ms.map_table_present[map_table::groundwater] == 1;
  if (ms.gw_porosity_map_on == 1 && ms.gw_unif_porosity_on == 1) return refuse(38);
  if (ms.gw_porosity_map_on != 1 && ms.gw_unif_porosity_on != 1 && !gw_table)
    warn_now(warn_gw_porosity_source);
  if (ms.gw_hycond_map_on == 1 && ms.gw_unif_hycond_on == 1) return refuse(40);
  if (ms.gw_hycond_map_on != 1 && ms.gw_unif_hycond_on != 1 && !gw_table) warn_now(warn_gw_hycond_source);
  if (ms.sacramento_on) return refuse(42);
  return true;
}

// The lumped basin models give their outflow to the channels only: without
// a channel network it would leave the basin unseen.
bool check_lumped_models(const main_state& ms) {
  // Each model takes all the water infiltrated over the basin: both at once
  // would deliver it twice.
  if (ms.sacramento_on == 1 && ms.conceptual_gw_on == 1)
    return refuse_with("Error: SACRAMENTO and CONCEPTUAL_GW cannot run together: each model takes all the water "
                       "infiltrated over the basin, which would then reach the channels twice.\n");
  if (ms.channel_on == 1) return true;
  if (ms.sacramento_on == 1)
    return refuse_with("Error: SACRAMENTO needs CHANNEL_INPUT: the Sacramento model's outflow enters the basin "
                       "only as lateral inflow to the channel network, and this project has none.\n");
  if (ms.conceptual_gw_on == 1)
    return refuse_with("Error: CONCEPTUAL_GW needs CHANNEL_INPUT: the two-store groundwater model's outflow "
                       "enters the basin only as lateral inflow to the channel network, and this project has "
                       "none.\n");
  return true;
}

// The hybrid snow model and the temperature-index models each decide the
// pack's melt: together the pack would get no water input at all.
bool check_snow_models(const main_state& ms) {
  if (ms.hy_snow_on != 1 || (ms.nwsrfs_snow_on != 1 && ms.nwsrfs_snow_w_rad_on != 1)) return true;
  std::printf("Error: HY_SNOW cannot run together with %s: the hybrid snow model and the temperature-index "
              "snow models each compute the melt of the pack. Give one of these cards.\n",
              ms.nwsrfs_snow_on == 1 && ms.nwsrfs_snow_w_rad_on == 1 ? "NWSRFS_SNOW and NWSRFS_SNOW_W_RAD"
              : ms.nwsrfs_snow_on == 1                               ? "NWSRFS_SNOW"
                                                                     : "NWSRFS_SNOW_W_RAD");
  error_rec.code = already_printed_code;
  return false;
}

bool check_host_environment(const main_state& ms) {
  if (ms.qln_on) {
    std::printf("Running KAVRO in QLN environment\n");
    if (ms.vopa_on)
      std::printf("KAVRO will share data with VOPA through file: %s\n", ms.vopa_exchange_path.c_str());
    if (ms.qln_event_num_on)
      std::printf("This is an event call of KAVRO by QLN, qln_event_num=%d\n", ms.qln_event_num);
    if (!ms.vopa_on) return refuse(43);
    if (ms.qln_event_num < 0 && ms.qln_event_num_on) return refuse(44);
    if (ms.gw_simulation_on) return refuse(45);
  }
  if (ms.vopa_on && !ms.qln_on) return refuse(46);
  return true;
}

// True when a card asks for gridded map outputs.
bool map_outputs_requested(const main_state& ms) {
  const project_params_record& p = ms.project_params;
  const sed_control_record& sed = ms.sed_control;
  return ms.depth_map_on || ms.discharge_map_on || ms.dis_rain_map_on || ms.inf_depth_map_on ||
         ms.rate_of_infil_map_on || ms.surf_moist_map_on || ms.gw_output_on || ms.gw_recharge_cum_map_on ||
         ms.gw_recharge_inc_map_on || ms.ov_con_map_on || ms.flood_grid_on || sed.max_sed_flux_on ||
         sed.net_sed_volume_on || sed.vol_sed_susp_on || p.use_snow_swe_file || p.use_snow_sd_file ||
         p.use_snow_temp || ms.all_contam_output_on;
}

// Map types 0, 1 and 2 select a map style; any other type would leave every
// requested map empty.
bool check_map_type(const main_state& ms) {
  const int type = ms.run_params.map_type;
  if (type >= 0 && type <= 2) return true;
  if (!map_outputs_requested(ms)) return true;
  std::printf("Error: MAP_TYPE %d writes no maps: the map outputs of this project need MAP_TYPE 0 (one grid file "
              "per map), 1 (ASCII datasets) or 2 (binary datasets).\n",
              type);
  error_rec.code = already_printed_code;
  return false;
}

}  // namespace

void check_project_options(main_state& ms) {
  if (!check_overland_scheme(ms)) return;
  if (!check_map_type(ms)) return;
  if (!check_weather_and_rain(ms)) return;
  if (!check_soil_and_channel(ms)) return;
  if (!check_soil_water_cards(ms)) return;
  if (!check_groundwater(ms)) return;
  if (!check_lumped_models(ms)) return;
  if (!check_snow_models(ms)) return;
  if (!check_host_environment(ms)) return;
  check_grid_cards(ms);
}

}  // namespace kavro
