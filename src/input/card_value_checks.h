// Checks made on every card line while the project file is read: the numbers
// of the numeric cards, and the file names that cards give (kept for the
// check that no output writes over an input).
#pragma once

#include <string>

#include "input/project_cards.h"

namespace kavro {

// The keyword of a card in upper case, as messages name it.
std::string card_label(project_card card);

// True for a card whose values are numbers (or a number in place of a file).
bool card_takes_numbers(project_card card);

class card_value_checks {
 public:
  card_value_checks(const std::string& project_path, run_params_record& run);

  // Looks at the values of `card` on line `line_no` before the card acts on
  // them (`rest`: the line without its keyword, not changed).
  //  - A value that is not one finite number (a word, "6h", nan, inf), or
  //    on a whole-number card not one whole number in the int range ("6.5",
  //    "1e12"), is printed as an error naming the card, the line and the
  //    text, and counted in run.card_errors: the run stops once the file is
  //    read. A missing value is left to the card and the option checks.
  //  - The file name of a card that names a file goes to run.card_files.
  void check(project_card card, const std::string& rest, int line_no);

 private:
  void check_number(project_card card, const std::string& token, bool whole, int line_no);

  std::string path_;
  run_params_record& run_;
};

}  // namespace kavro
