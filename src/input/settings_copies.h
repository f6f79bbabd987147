// The card values that the run settings copy one to one into the run record,
// kept as tables: each row names a card field of project_params and the
// record field it fills. The steps that decide whether a group is copied (a
// long-term run, explicit channel routing, groundwater) are in
// project_settings.cpp; everything a rule of its own derives is there too.
#pragma once

#include <span>
#include <string>

#include "input/card_records.h"

namespace kavro {

struct main_state;

template <class T>
struct card_copy {
  T project_params_record::*card;  // the card field
  T main_state::*field;            // the record field it fills
};

// One group of copies: int switches and values, reals, file names.
struct card_copy_group {
  std::span<const card_copy<int>> ints;
  std::span<const card_copy<double>> reals;
  std::span<const card_copy<std::string>> names;
};

extern const card_copy_group straight_copies;        // every run
extern const card_copy_group long_term_copies;       // only with LONG_TERM
extern const card_copy_group channel_copies;         // only with explicit channel routing
extern const card_copy_group groundwater_copies;     // only with WATER_TABLE and GW_SIMULATION
extern const card_copy_group output_copies;          // output switches, every run
extern const card_copy_group file_name_copies;       // file names, every run
extern const card_copy_group host_copies;            // host environment switches, every run
extern const card_copy_group richards_copies;        // Richards options, every run
extern const card_copy_group channel_output_copies;  // channel time-series switches, every run

// Switches that a mapping table can turn on as well as the card: the
// evapotranspiration maps and the Green-Ampt parameter maps.
extern const std::span<const card_copy<int>> et_input_flags;
extern const std::span<const card_copy<int>> green_ampt_map_flags;
// File names of the exchange maps with the co-run ecological model, which
// live in the exchange folder.
extern const std::span<const card_copy<std::string>> exchange_names;

// Copies every row of `group` from ms.project_params into ms.
void apply_card_copies(const card_copy_group& group, main_state& ms);
// Sets every switch of `rows` to its card's flag, or to 1 when `also_on`.
void apply_flag_copies(std::span<const card_copy<int>> rows, bool also_on, main_state& ms);
// Sets every name of `rows` to `prefix` + its card's name, for the cards given
// (non-empty name).
void apply_prefixed_names(std::span<const card_copy<std::string>> rows, const std::string& prefix,
                          main_state& ms);

}  // namespace kavro
