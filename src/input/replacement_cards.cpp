#include "input/replacement_cards.h"

#include <cstdio>

#include "framework/file_wrapper.h"
#include "framework/readers.h"
#include "input/card_value_checks.h"

namespace kavro {

bool is_replacement_card(project_card card) {
  return card == project_card::replace_params || card == project_card::replace_vals ||
         card == project_card::replace_line;
}

void load_replacement_cards(const std::string& path, card_context& c) {
  file_wrapper f;
  if (!f.open(path, "r")) return;
  std::string line;
  // The lines as written: the keys of this very file are not replaced here.
  while (read_raw_line(line, f)) {
    const project_card card = project_card_code(line, 1);
    if (is_replacement_card(card) || card == project_card::project_folder) apply_project_card(card, line, c);
  }
}

bool refuse_unreplaced_key(project_card card, const std::string& rest, int line_no, const std::string& path) {
  if (!card_takes_numbers(card)) return false;
  const std::size_t open = rest.find('[');
  if (open == std::string::npos) return false;
  const std::size_t close = rest.find(']', open);
  const std::string key = rest.substr(open, close == std::string::npos ? std::string::npos : close - open + 1);
  std::printf(
      "Error: card %s on line %d of the project file %s holds the key %s, which no replacement pair replaced "
      "(cards REPLACE_PARAMS and REPLACE_VALS).\n",
      card_label(card).c_str(), line_no, path.c_str(), key.c_str());
  return true;
}

}  // namespace kavro
