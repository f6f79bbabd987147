// Grid set-up of the nutrient sub-model: its aquatic environment, its
// overland compartment and parameters, and the nutrient species among the
// constituents.
#pragma once

namespace kavro {

struct main_state;
struct nsm_aquatic_env;

// Reads the aquatic-environment file of the nutrient model.
void read_aquatic_env(nsm_aquatic_env& env);
// Sizes the overland nutrient compartment per cell.
void nsm_overland_alloc(main_state& ms);
// Grows every per-constituent array of the run by `count` constituents.
void add_constituents(main_state& ms, int count, int n_cells, int flag_a, int flag_b);
// Overland nutrient parameters and initial values.
void assign_nsm_ov_params(main_state& ms);
// Groundwater nutrient tables of the mapping table.
void read_nsm_gw_tables(main_state& ms);
// Hands the overland compartment its constituent references.
void nsm_overland_set_refs(main_state& ms);
// Soil nutrient parameters of the soil-layer constituents.
void assign_nsm_soil_params(main_state& ms);

}  // namespace kavro
