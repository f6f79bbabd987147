// The run budgets and balance errors of the constituent summaries that no
// transport block keeps: per constituent (1-based, kg; errors in percent),
// 0 until the transport processes that book them fill them.
#pragma once

#include "framework/one_based.h"

namespace kavro {

struct constituent_budget_block {
  // Balance errors of the last event summary, overwritten by the run summary.
  dvec chan_mass_error{"chan_mass_error"};  // channels (percent)
  dvec lake_mass_error{"lake_mass_error"};  // lakes, event (percent)
  dvec lake_mass_error_total{"lake_mass_error_total"};  // lakes, run (percent)
  // Soil column, run.
  dvec soil_nsm_uptake_mass_total{"soil_nsm_uptake_mass_total"};  // taken up by the nutrient kinetics
  dvec soil_sed_contam_mass_total{"soil_sed_contam_mass_total"};  // eroded (-) or deposited (+) with sediment
  // Land surface.
  dvec ov_nsm_gain_mass_total{"ov_nsm_gain_mass_total"};          // gained from the nutrient kinetics, run
  dvec ov_nsm_loss_mass_total{"ov_nsm_loss_mass_total"};          // lost to the nutrient kinetics, run
  dvec ov_to_lake_mass_total{"ov_to_lake_mass_total"};            // lateral flow into lakes, run
  dvec ov_sed_contam_source_total{"ov_sed_contam_source_total"};  // supplied (+) or taken (-) with sediment, run
  dvec ov_sed_contam_out_total{"ov_sed_contam_out_total"};        // attached mass out of the outlet, run
  dvec ov_sed_contam_out_mass{"ov_sed_contam_out_mass"};          // attached mass out of the outlet, event
  // Channels, run.
  dvec chan_mass_init_total{"chan_mass_init_total"};              // initial mass
  dvec chan_point_mass_total{"chan_point_mass_total"};            // point sources
  dvec chan_gw_mass_total{"chan_gw_mass_total"};                  // net gain from groundwater
  dvec chan_ov_mass_total{"chan_ov_mass_total"};                  // gain from overland
  dvec chan_out_mass_total{"chan_out_mass_total"};                // outlet flux
  dvec chan_decay_mass_total{"chan_decay_mass_total"};            // decay
  dvec chan_nsm_gain_mass_total{"chan_nsm_gain_mass_total"};      // gained in the nutrient kinetics
  dvec chan_nsm_loss_mass_total{"chan_nsm_loss_mass_total"};      // lost in the nutrient kinetics
  dvec chan_sed_exchange_mass_total{"chan_sed_exchange_mass_total"};  // dissolved-attached exchange
  dvec chan_sed_contam_in_total{"chan_sed_contam_in_total"};      // attached mass entering the channels
  dvec chan_sed_contam_out_total{"chan_sed_contam_out_total"};    // attached mass out of the outlet
  dvec chan_to_lake_mass_total{"chan_to_lake_mass_total"};        // channel inflow to lakes
  dvec lake_to_chan_mass_total{"lake_to_chan_mass_total"};        // lake outflow to channels
  dvec lake_chan_exchange_mass_total{"lake_chan_exchange_mass_total"};  // lake-channel exchange
  // Lakes, run.
  dvec lake_mass_init_total{"lake_mass_init_total"};              // initial mass
  dvec lake_point_mass_total{"lake_point_mass_total"};            // point sources
  dvec lake_gw_mass_total{"lake_gw_mass_total"};                  // groundwater flux
  dvec lake_precip_mass_total{"lake_precip_mass_total"};          // rain
  dvec lake_decay_mass_total{"lake_decay_mass_total"};            // decay
  dvec lake_nsm_gain_mass_total{"lake_nsm_gain_mass_total"};      // gained in the nutrient kinetics
  dvec lake_nsm_loss_mass_total{"lake_nsm_loss_mass_total"};      // lost in the nutrient kinetics
};

}  // namespace kavro
