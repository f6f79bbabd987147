// Opening the files of a run: every input and output file that the project
// cards ask for, in one fixed order, before any grid is read.
#pragma once

namespace kavro {

struct main_state;

// Opens every run file the project names, each in its own file wrapper of
// the record, so that a loader finds its file open exactly when its card
// named one. The run log (card SUMMARY) becomes run_log_file as soon as it is
// open. The first file that cannot be opened sets its error (code 4 naming
// the kind of file and the path, 48 to 51 for the location outputs) with the
// stop flag and ends the step; files whose values the mapping table supplies
// may be missing.
void open_run_files(main_state& ms);

// The channel outputs of the nutrient model: the total nitrogen, Kjeldahl
// nitrogen and phosphorus files and the concentration and mass hydrographs
// of every species whose hydrograph output is on.
void open_nutrient_channel_outputs(main_state& ms);

}  // namespace kavro
