// The replacement cards of a project (REPLACE_PARAMS, REPLACE_LINE,
// REPLACE_VALS) act before any other card is read, so that every card of
// every run of a batch sees its keys replaced, wherever they stand in the
// file.
#pragma once

#include <string>

#include "input/project_cards.h"

namespace kavro {

// Reads the project file once for its replacement cards and its project
// folder cards (which the replacement files are found in) and carries them
// out in file order.
void load_replacement_cards(const std::string& path, card_context& c);

// True for the cards that load_replacement_cards has already carried out.
bool is_replacement_card(project_card card);

// A key in square brackets left on the line of a numeric card (no pair
// replaced it): printed as an error naming the card, the line and the key;
// true when one was found.
bool refuse_unreplaced_key(project_card card, const std::string& rest, int line_no, const std::string& path);

}  // namespace kavro
