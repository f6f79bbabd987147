// Run files, outputs and writers of the run.
#pragma once

// The run-file opening has its own file; included here for the callers of
// the output steps.

namespace kavro {

struct main_state;

// Opens the map dataset of every enabled gridded output.
void open_map_datasets(main_state& ms);
// Headers of the link/node outputs.
void write_linknode_headers(main_state& ms);
// Writes the START_TIME line of those headers again with the run's start,
// once the start is known (after the start-time set-up).
void date_linknode_headers(main_state& ms);
// Constituent map writers.
void open_contaminant_map_writers(main_state& ms);
// Constituent link/node writers.
void open_contaminant_link_writers(main_state& ms);
// xy boundary outputs of a nested run.
void setup_xy_outputs(main_state& ms);
// Hydrographs and time-series outputs at their interval.
void write_timeseries_output(main_state& ms);
// Gridded map frames at their interval.
void write_map_output(main_state& ms);
// True when the current step is a map step (steps 1, 1 + interval, ...).
bool is_map_step(const main_state& ms);
// Nutrient map and link frames of a map step.
void write_nutrient_map_output(main_state& ms);
// End-of-run summaries, final maps and hotstarts.
void write_final_summary(main_state& ms);
// Event summary block of the run log.
void write_event_summary(main_state& ms);

}  // namespace kavro
