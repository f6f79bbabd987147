// The part of the nutrient sub-model that the project cards fill.
//
// The card NUTRIENTS creates the model object; the nutrient cards that follow
// it name its aquatic-environment file, its initial values and its outputs.
// The transport subsystem builds the compartments, writers and kinetics of
// the object around these inputs.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "framework/file_wrapper.h"
#include "framework/one_based.h"

namespace kavro {

inline constexpr int nsm_species_count = 9;    // NO2, NO3, NH4, ON, OP, DP, ALG, CBOD, DO
inline constexpr int nsm_ov_input_count = 12;  // the nine species, DOC_INIT, DOC_FOC, DISPERSION

// How an initial value was given on its card.
enum nsm_input_kind : int {
  nsm_input_none = 0,     // card not given
  nsm_input_map = 1,      // the card named a map file
  nsm_input_table = 2,    // the card had no value: take the mapping table
  nsm_input_uniform = 3,  // the card gave a number: uniform value
};

struct nsm_aquatic_env {
  std::string file_name;  // aquatic-environment file (card AQ_ENV)
};

// One group of per-species outputs: on/off and the file name of each species,
// and for the hydrograph outputs the species' concentration and mass files
// (name + ".conc", name + ".mass"), created by the run-file opening.
struct nsm_output_group {
  std::array<int, nsm_species_count> out_on{};
  std::array<std::string, nsm_species_count> out_name;
  std::array<file_wrapper, nsm_species_count> conc_files;
  std::array<file_wrapper, nsm_species_count> mass_files;
};

struct nsm_model {
  int cell_count = 0;  // active cells, stored by the grid set-up
  nsm_aquatic_env aquatic_env;
  // Overland initial values (cards OV_INIT_NO2 .. OV_DISPERSION), by entry.
  std::array<int, nsm_ov_input_count> ov_input_kind{};
  std::array<std::string, nsm_ov_input_count> ov_input_file;
  std::array<double, nsm_ov_input_count> ov_input_value{};
  nsm_output_group map_outputs;  // cards OUT_OV_*: overland maps
  // Stream initial values (cards ST_INIT_NO2 .. ST_INIT_DO), by species.
  std::array<int, nsm_species_count> st_input_kind{};
  std::array<std::string, nsm_species_count> st_input_file;
  std::array<double, nsm_species_count> st_input_value{};
  nsm_output_group link_outputs;  // cards OUT_ST_*: stream link/node outputs
  nsm_output_group hyd_outputs;   // cards OUT_HYD_*: hydrograph outputs
  std::array<double, nsm_species_count> outlet_conc{};  // per species the concentration at the outlet (mg/L)
  std::array<double, nsm_species_count> outlet_mass{};  // per species the mass flux at the outlet (kg/s)
  double dmdt_in_total = 0;   // run total of the kinetics' mass gains, all species (kg)
  double dmdt_out_total = 0;  // run total of the kinetics' mass losses, all species (kg)
  // The rain-period clock the nutrient kinetics follow, set at the run start.
  double precip_period_start = 0;  // start of the current rain period (Julian)
  double precip_period_end = 0;    // end of the current rain period (Julian)
  double precip_interval = 0;      // rain-period length (s)
  double precip_period = 0;        // rain-period length (days)
};

// A new model with every kind and switch 0 and every name empty.
std::unique_ptr<nsm_model> nsm_model_init();

// The display name of species or water parameter `index` (pool_flag 0,
// index 0..11) or of soil pool `index` (pool_flag 1, index 0..12); empty for
// any other index.
std::string nsm_constituent_label(int index, int pool_flag);

// Soil nutrient constants of the cards NO2_KM .. DP_KOC: entries 0..5 the Km
// of NO2, NO3, NH4, ON, OP, DP; 6..11 the Koc of the same species.
struct nsm_km_koc {
  std::array<double, 12> values{};
};

struct main_state;

// The soil pool (to_pool 1) or water species partnered with nutrient
// constituent `constituent`; -1 for none. No partners exist yet.
int nsm_partner_index(int first_nsm_constituent, int constituent, int to_pool);
// Nutrient exchange between the soil surface and the surface water over
// `days`, under rain of `rain_rate` mm/h. The nutrient soil compartment does
// not exist yet: nothing happens.
void nsm_soil_exchange_step(main_state& ms, double days, const one_based_vec<double>& rain_rate);

}  // namespace kavro
