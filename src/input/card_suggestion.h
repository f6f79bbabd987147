// The known card nearest to a misspelt one, for the message that reports it.
#pragma once

#include <string>
#include <string_view>

namespace kavro {

// The upper-case keyword of the card whose spelling is nearest to `word`
// (fewest letters inserted, removed, changed or swapped), or empty when no
// keyword is near enough to be the one meant.
std::string nearest_card_keyword(std::string_view word);

// Levenshtein distance with adjacent swaps counted as one edit, case counting.
int spelling_distance(std::string_view a, std::string_view b);

}  // namespace kavro
