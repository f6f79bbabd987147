// The card reader shared by the parameter files of the two lumped basin
// models: a header token, then one card per line (keyword, value), other
// lines skipped, reading stopping once the wanted number of parameter cards
// has been read.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace kavro {

class file_wrapper;

enum class param_file_fault { none, header, premature_end, duplicate, bad_value };

inline constexpr int most_param_codes = 24;

struct param_file_cards {
  param_file_fault fault = param_file_fault::none;
  int n_params = 0;                             // parameter cards read
  std::array<double, most_param_codes> value{};  // by card code
  std::array<int, most_param_codes> seen{};      // parameter cards read, by code
};

struct param_file_layout {
  std::string_view header;          // first token of the file (compared over its own length)
  int params_wanted;                // reading stops after this many parameter cards
  int (*code_of)(std::string_view);  // the code of a keyword (any case)
  bool (*is_parameter)(int code);   // a card that stores a value and counts
  bool (*is_whole)(int code);       // a card read as a whole number (counted or not)
};

// Reads the cards of the open file `f`. A value that is not one finite
// number (or, for a whole-number card, not a whole number) is reported with
// the file `name`, the line and the card, and gives fault bad_value; the
// other faults are left to the caller, whose messages name its model.
param_file_cards read_param_cards(file_wrapper& f, const std::string& name, const param_file_layout& layout);

}  // namespace kavro
