#include "framework/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

#include "framework/readers.h"

namespace kavro {

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

bool only_space(std::string_view token) {
  for (char c : token)
    if (!is_space(c)) return false;
  return true;
}

// The decimal number the whole token spells, locale-free; a leading '+' is
// allowed. Infinity and NaN spelt out ("inf", "nan") are read as such, so
// that they can be told from words.
number_fault scan_real(std::string_view token, double& out) {
  if (token.empty() || only_space(token)) return number_fault::missing;
  // A carriage return left at the end of a last line without its newline
  // belongs to no number.
  while (is_space(token.front())) token.remove_prefix(1);
  while (is_space(token.back())) token.remove_suffix(1);
  const char* b = token.data();
  const char* const e = b + token.size();
  if (*b == '+') {
    ++b;
    // "+-1" and "++1" are no numbers.
    if (b == e || *b == '-' || *b == '+') return number_fault::not_a_number;
  }
  double value = 0.0;
  const auto [ptr, ec] = std::from_chars(b, e, value, std::chars_format::general);
  if (ptr != e || ec == std::errc::invalid_argument) return number_fault::not_a_number;
  if (ec == std::errc::result_out_of_range) {
    // Beyond the double range: an overflow is no finite number, an underflow
    // is as near zero as a double can say.
    const std::string text(b, e);
    value = std::strtod(text.c_str(), nullptr);
  }
  out = value;
  return std::isfinite(value) ? number_fault::none : number_fault::not_finite;
}

}  // namespace

number_fault read_real(std::string_view token, double& out) {
  double v = 0.0;
  const number_fault f = scan_real(token, v);
  if (f == number_fault::none) out = v;
  return f;
}

number_fault read_whole(std::string_view token, long long& out, long long lo, long long hi) {
  double v = 0.0;
  number_fault f = scan_real(token, v);
  if (f == number_fault::not_finite) return number_fault::not_whole;
  if (f != number_fault::none) return f;
  if (v != std::trunc(v)) return number_fault::not_whole;
  // Compared as doubles first: no conversion of a value beyond long long.
  if (v < static_cast<double>(lo) || v > static_cast<double>(hi) || std::fabs(v) >= 9.2e18)
    return number_fault::out_of_range;
  // Plain digit strings are read exactly, beyond the 53 bits of a double.
  long long exact = static_cast<long long>(v);
  while (is_space(token.front())) token.remove_prefix(1);
  while (is_space(token.back())) token.remove_suffix(1);
  const char* b = token.data() + (token.front() == '+' ? 1 : 0);
  const char* const e = token.data() + token.size();
  long long digits = 0;
  const auto [ptr, ec] = std::from_chars(b, e, digits);
  if (ec == std::errc() && ptr == e) exact = digits;
  if (exact < lo || exact > hi) return number_fault::out_of_range;
  out = exact;
  return number_fault::none;
}

number_fault read_int(std::string_view token, int& out, int lo, int hi) {
  long long v = 0;
  const number_fault f = read_whole(token, v, lo, hi);
  if (f == number_fault::none) out = static_cast<int>(v);
  return f;
}

number_fault pop_real(std::string& line, double& out, std::string& token) {
  std::string rest = line;
  if (!pop_token(rest, token)) {
    token.clear();
    return number_fault::missing;
  }
  line.swap(rest);
  return read_real(token, out);
}

number_fault pop_whole(std::string& line, int& out, std::string& token, int lo, int hi) {
  std::string rest = line;
  if (!pop_token(rest, token)) {
    token.clear();
    return number_fault::missing;
  }
  line.swap(rest);
  return read_int(token, out, lo, hi);
}

std::string printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto u = static_cast<unsigned char>(ch);
    if (u < 32 || u == 127)
      out += format_string("\\x%02X", u);
    else
      out += ch;
  }
  return out;
}

std::string number_fault_text(number_fault fault, std::string_view token, long long lo, long long hi) {
  const std::string t = printable(token);
  switch (fault) {
    case number_fault::none: return {};
    case number_fault::missing: return "a number is missing";
    case number_fault::not_a_number: return "the value \"" + t + "\" is not a number";
    case number_fault::not_finite: return "the value " + t + " is not a finite number";
    case number_fault::not_whole: return "the value " + t + " is not a whole number";
    case number_fault::out_of_range:
      return format_string("the whole number %s is beyond the range %lld to %lld", t.c_str(), lo, hi);
  }
  return {};
}

}  // namespace kavro
