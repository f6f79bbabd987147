// The one rule for numbers in every input of a run (project cards, maps,
// mapping tables, channel, precipitation, calibration and list files): a
// value is one token that is wholly a finite decimal number, nothing before
// or after it. "12p", "11O.5", "abc", "nan", "inf" and "1e999" are refused
// where they are read, with a message naming the file (or card), the line
// and the text. A whole number (a count, an index, a row, a date field) must
// also be integral ("12", "+12", "12.0", "1e3") and lie inside the range its
// use allows, judged in 64 bits before anything is sized from it.
#pragma once

#include <climits>
#include <string>
#include <string_view>

namespace kavro {

enum class number_fault : unsigned char {
  none,          // one finite number (inside its range)
  missing,       // no token where a number is due
  not_a_number,  // a word, or a number with text before or after it
  not_finite,    // nan, inf, or beyond the range of a double
  not_whole,     // a whole number is due: a fraction, nan or inf
  out_of_range,  // a whole number outside the range its use allows
};

// `token` as one finite real number.
number_fault read_real(std::string_view token, double& out);
// `token` as one whole number from lo to hi.
number_fault read_whole(std::string_view token, long long& out, long long lo = LLONG_MIN, long long hi = LLONG_MAX);
number_fault read_int(std::string_view token, int& out, int lo = INT_MIN, int hi = INT_MAX);

// Takes the next token off the front of `line` (as pop_token does) and reads
// it; `token` receives the text for messages. A line without a token gives
// number_fault::missing and is left as it was.
number_fault pop_real(std::string& line, double& out, std::string& token);
number_fault pop_whole(std::string& line, int& out, std::string& token, int lo = INT_MIN, int hi = INT_MAX);

// What is wrong with the token, for a message: `the value "6h" is not a
// number`, `the value nan is not a finite number`, `the value 2.5 is not a
// whole number`, `the whole number 99999999999 is beyond the range 1 to
// 100000`, `a number is missing`. Bytes that cannot be printed appear as
// \xNN.
std::string number_fault_text(number_fault fault, std::string_view token, long long lo = LLONG_MIN,
                              long long hi = LLONG_MAX);

// The text with every control byte written as \xNN, so that a message can
// always be printed.
std::string printable(std::string_view text);

}  // namespace kavro
