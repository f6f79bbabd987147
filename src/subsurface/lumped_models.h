// The two lumped basin models: the Sacramento soil-moisture accounting and
// the two-store groundwater model. Both turn the water infiltrated over the
// basin into an hourly outflow (basin-mean mm) that the channel routing takes
// in as lateral inflow.
#pragma once

#include <string_view>

namespace kavro {

struct main_state;

// Card codes of the Sacramento parameter file (keyword in any case):
// "kavro_sacramento" 0, uztwm 1 ... lzfpc 16, num_basins 17, basin 18,
// saved 19, anything else 20.
int sacramento_card_code(std::string_view token);

// One hour of the Sacramento stores of `ms` with input `p_mm`; `et_mm` is
// the potential evapotranspiration on entry and the actual one on return;
// `deep_recharge_mm` is set to 0. Sets sac_outflow_mm and adds the hour's
// balance error to sac_residual. Returns the number of increments the
// hour's free water was split into.
int sacramento_sma(main_state& ms, double& et_mm, double p_mm, double& deep_recharge_mm);

// Topographic index of every active cell into topo_dex; false after its
// message when the passes fail or an index is negative.
bool topodex(main_state& ms);

// Card codes of the two-store parameter file: "kavro_conceptual_gw" 0,
// slow_max 1, fast_max 2, slow_rate 3, fast_rate 4, slow_content 5,
// fast_content 6, underflow_percent 7, anything else 8.
int conceptual_gw_card_code(std::string_view token);

// One hour of the two stores with recharge `recharge_mm`: the slow and fast
// outflows (mm, from the contents before the recharge) into the two
// outputs; returns their sum, also kept in cgw_outflow_mm.
double conceptual_gw_stores(main_state& ms, double recharge_mm, double& slow_out_mm, double& fast_out_mm);

// Upslope area of every active cell into upslope_area and the debug grid
// "upslope.out"; false after its message.
bool produce_upslope_area(main_state& ms);

}  // namespace kavro
