// The project card table: the keyword of a project-file line gives its card,
// and the card's action stores the rest of the line in the card records.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "input/card_records.h"

namespace kavro {

// The identity of a card, in the order of the card list; `ignore` is the
// result for a line that carries no card.
enum class project_card : short {
#define CARD(kind, kw, ...) kw,
#include "input/project_cards.def"
  ignore
};

inline constexpr int n_project_cards = static_cast<int>(project_card::ignore);

// One keyword of the table and the card it stands for.
struct card_keyword {
  std::string_view keyword;  // lower case
  project_card card;
};

// The keyword table in the order in which lines are tested.
std::span<const card_keyword> project_card_keywords();

// The first keyword of a card.
std::string_view project_card_keyword(project_card card);

// Takes the first token off `line` and returns its card. A line without a
// token, a comment ('#'), an ignored keyword or an unknown card gives
// `ignore`; an unknown card prints a warning unless warn_off is 1, naming
// the line `line_no` of `file` when given and the nearest known card. On
// return the line holds the card's values.
project_card project_card_code(std::string& line, int warn_off, int line_no = 0, std::string_view file = {});

// What a card acts on while the project file is read.
struct card_context {
  project_params_record& project;
  run_params_record& run;
  rain_params_record& rain;
  bool end_reading = false;  // set by a card whose error ends the reading
};

// Carries out the action of `card` on the rest of its line.
void apply_project_card(project_card card, std::string& rest, card_context& c);

}  // namespace kavro
