// The card records filled by the project-file reader: project_params (every
// value and file name of the project cards), run_params (run control) and
// rain_params (rain options).
//
// The card fields are generated from the card list (project_cards.def) and
// named after their cards: a file name like the keyword in lower case
// (card ROUGHNESS: `roughness`), a use flag "use_" + keyword
// (`use_roughness`), a value like the keyword (card M_RIVER: `m_river`).
// Every card field is zero or empty until a card sets it; the reader clears
// them all before it reads a project file and then sets its defaults.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "input/card_macros.h"
#include "output/xy_boundary.h"
#include "transport/nutrient_seams.h"

namespace kavro {

// Each record takes the fields of its own cards from the card list: the
// KAVRO_PICK_<rec> of its own rec keeps a declaration, the others drop it.
#define KAVRO_PICK_project(...)
#define KAVRO_PICK_run(...)
#define KAVRO_PICK_rain(...)
#define KAVRO_PICK_q7(...)

// The Q7 card block: the segment-model cards, kept together so that other
// subsystems reach them through one pointer (`q7_settings`).
struct q7_card_block {
#undef KAVRO_PICK_q7
#define KAVRO_PICK_q7(...) __VA_ARGS__
#include "input/card_fields.inc"
#undef KAVRO_PICK_q7
#define KAVRO_PICK_q7(...)
};

// Card fields of run control.
struct run_params_cards {
#undef KAVRO_PICK_run
#define KAVRO_PICK_run(...) __VA_ARGS__
#include "input/card_fields.inc"
#undef KAVRO_PICK_run
#define KAVRO_PICK_run(...)
};

// Card fields of the rain options.
struct rain_params_cards {
#undef KAVRO_PICK_rain
#define KAVRO_PICK_rain(...) __VA_ARGS__
#include "input/card_fields.inc"
#undef KAVRO_PICK_rain
#define KAVRO_PICK_rain(...)
};

// Card fields of project_params: file names, switches and coefficients of
// all subsystems; `nsm_model` owns the nutrient model of the card NUTRIENTS,
// `nsm_soil_k` the soil nutrient constants (null until one of their cards).
struct project_params_cards {
#undef KAVRO_PICK_project
#define KAVRO_PICK_project(...) __VA_ARGS__
#include "input/card_fields.inc"
};

#undef KAVRO_PICK_project
#undef KAVRO_PICK_run
#undef KAVRO_PICK_rain
#undef KAVRO_PICK_q7

struct project_params_record : project_params_cards, q7_card_block {
  // Nested-run boundary objects; built with the record, not cleared by the
  // reader (the cards fill them).
  ::kavro::xy_output xy_output;
  ::kavro::xy_input xy_input;
};

// A file name that a card of the project file gave, for the check that no
// output of the run writes over a file the run reads.
struct card_file_name {
  int card = 0;      // the card (project_card) that named it
  int line = 0;      // line of the project file, from 1
  std::string name;  // the name as the card gave it
};

struct run_params_record : run_params_cards {
  int open_failed = 0;  // 1 when the project file could not be opened
  int card_errors = 0;  // card values refused while the file was read (each one printed)
  std::vector<card_file_name> card_files;  // file names of the cards, in file order

  // Values before any project is read; the reader clears them, so no step
  // sees them.
  run_params_record() : run_params_cards{} {
    latitude = 32.0;
    longitude = -90.0;
  }
};

// source: 0 uniform rain, 1 gauge or radar file; interpolation: 0 inverse
// distance, 1 Thiessen.
struct rain_params_record : rain_params_cards {
  rain_params_record() : rain_params_cards{} { interpolation = 1; }
};

}  // namespace kavro
