// The project-file reader: the root input of a run, a file of keyword cards
// that names every other input file and sets every option.
#pragma once

#include <string>

#include "input/card_records.h"

namespace kavro {

// Reads the project file at `path` into the three card records. The first
// line must be "KAVROPROJECT" or "TORVENPROJECT". The records are cleared
// and given the reader defaults once the header is accepted; then every card
// line is carried out in file order (the last of a repeated card wins).
// Outcome: `run.open_failed` = 1 when the file could not be opened; a bad
// header or a card that ends the reading leaves its code in error_rec.
// warn_off = 1 silences the unknown-card warning (calibration tool modes).
void read_project_cards(const std::string& path, project_params_record& project, run_params_record& run,
                        rain_params_record& rain, int warn_off);

// Clears every card field of the three records; the embedded xy objects
// keep their state.
void clear_card_records(project_params_record& project, run_params_record& run, rain_params_record& rain);
// The values the card fields start from before the first card.
void set_reader_defaults(project_params_record& project);

// Finds the project-folder card of a project file and makes it the
// process-wide project folder (or the folder of `path` when the file has no
// such card and `path` names one); used before a calibration reads its files.
void prescan_project_folder(const std::string& path);

}  // namespace kavro
