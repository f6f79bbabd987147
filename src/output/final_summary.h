// The end-of-run summary: water balance, sediment and constituent
// summaries, final outputs.
#pragma once

namespace kavro {

struct main_state;

// Final volumes of every store and the groundwater, Sacramento, global and
// surface balances of the run, written to the run log.
void write_final_water_balance(main_state& ms);
// Resets the final constituent masses and writes the sediment and
// constituent summaries that are on; false when a file could not be opened
// (printed and reported: the run ends with an error, but every other
// summary, map and hotstart is still written).
bool write_final_constituent_summaries(main_state& ms);

// The parts of the constituent summaries; `first_nutrient` is the first
// constituent of type 2, -1 when there is none.
// The run's sediment budgets and, with channel sediment, the bed elevation
// file; false only when that file could not be opened (printed and reported).
bool write_run_sediment_summary(main_state& ms);
// "new_bed_elevations.txt" on fs_final_out_3: the bed of every node against
// the bed it started from; false (printed, reported) when it cannot be opened.
bool write_new_bed_elevations(main_state& ms);
void write_run_soil_constituent_summary(main_state& ms, int first_nutrient);
void write_run_overland_constituent_summary(main_state& ms, int first_nutrient);
void write_run_channel_constituent_summary(main_state& ms, int first_nutrient);
void write_run_global_constituent_summary(main_state& ms, int first_nutrient);
void write_run_nutrient_rates_summary(main_state& ms);
// Final maps, hotstart files, the hydrograph file for PQM and the ends of the
// open datasets.
void write_final_outputs(main_state& ms);

}  // namespace kavro
