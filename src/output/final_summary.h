// The end-of-run summary: water balance, sediment and constituent
// summaries, final outputs.
#pragma once

namespace kavro {

struct main_state;

// Final volumes of every store and the groundwater, Sacramento, global and
// surface balances of the run, written to the run log.
void write_final_water_balance(main_state& ms);
// Resets the final constituent masses and writes the sediment and
// constituent summaries that are on; false when the run must stop (a file
// could not be opened).
bool write_final_constituent_summaries(main_state& ms);

// The parts of the constituent summaries; `first_nutrient` is the first
// constituent of type 2, -1 when there is none.
bool write_run_sediment_summary(main_state& ms);
void write_run_soil_constituent_summary(main_state& ms, int first_nutrient);
void write_run_overland_constituent_summary(main_state& ms, int first_nutrient);
void write_run_channel_constituent_summary(main_state& ms, int first_nutrient);
void write_run_global_constituent_summary(main_state& ms, int first_nutrient);
void write_run_nutrient_rates_summary(main_state& ms);
// Final maps, hotstart files, the hydrograph file for PQM and the ends of the
// open datasets.
void write_final_outputs(main_state& ms);

}  // namespace kavro
