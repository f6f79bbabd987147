#include "input/card_value_checks.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <type_traits>

#include "framework/readers.h"
#include "input/project_card_actions.h"

namespace kavro {

namespace {

// What the values of a card are.
enum class value_shape : unsigned char {
  none,            // no values, or values the card's own action checks
  file,            // a file name
  file_or_number,  // a number, else a file name
  reals,           // `count` real numbers
  ints,            // `count` whole numbers
};

struct card_shape {
  value_shape shape = value_shape::none;
  int count = 0;
};

template <class T>
constexpr card_shape number_shape() {
  return {std::is_same_v<T, int> ? value_shape::ints : value_shape::reals, 1};
}

#define KAVRO_COUNT_ONE(x, a) +1
#define KAVRO_SHAPE_file(...) {value_shape::file, 1},
#define KAVRO_SHAPE_file_flag(...) {value_shape::file, 1},
#define KAVRO_SHAPE_file_shared(...) {value_shape::file, 1},
#define KAVRO_SHAPE_file_to(...) {value_shape::file, 1},
#define KAVRO_SHAPE_load(...) {value_shape::file, 1},
#define KAVRO_SHAPE_switch(...) {},
#define KAVRO_SHAPE_code(...) {},
#define KAVRO_SHAPE_set(...) {},
#define KAVRO_SHAPE_value(kw, rec, type) number_shape<type>(),
#define KAVRO_SHAPE_value_flag(kw, rec, type) number_shape<type>(),
#define KAVRO_SHAPE_value_mark(kw, rec, type, mark) number_shape<type>(),
#define KAVRO_SHAPE_ints(kw, rec, ...) {value_shape::ints, 0 KAVRO_FOR_EACH(KAVRO_COUNT_ONE, rec, __VA_ARGS__)},
#define KAVRO_SHAPE_echo(kw, type, format) number_shape<type>(),
#define KAVRO_SHAPE_inert(...) {},
#define KAVRO_SHAPE_own(...) {},
#define KAVRO_SHAPE_nsm_init(...) {value_shape::file_or_number, 1},
#define KAVRO_SHAPE_nsm_out(...) {value_shape::file, 1},
#define KAVRO_SHAPE_nsm_k(...) {value_shape::reals, 1},

constexpr card_shape generic_shapes[] = {
#define CARD(kind, kw, ...) KAVRO_SHAPE_##kind(kw, __VA_ARGS__)
#include "input/project_cards.def"
};
static_assert(std::size(generic_shapes) == n_project_cards);

// The cards with actions of their own that take a file name or a number.
constexpr card_shape shape_of(project_card card) {
  using enum project_card;
  switch (card) {
    case precip_file:
    case moisture:
    case hmet_orog_gages:
    case gw_boundfile:
    case gw_fluxboundtable:
    case aq_env:
    case xybdyoutput_pts:
    case xybdyoutput_mask:
    case xybdyinput_ovdep:
    case xybdyinput_gwhead:
    case xybdyinput_stflow:
    case xybdyinput_sttimeseries:
    case xybdyinput_gwheadinterp:
    case xybdyinput_ovdepthinterp:
    case xybdyinput_ov_stage_interp:
      return {value_shape::file, 1};
    case reten_depth:
    case init_swe_depth:
      return {value_shape::file_or_number, 1};
    case units:
    case num_threads:
    case replace_line:
    case qln_event_num:
      return {value_shape::ints, 1};
    default:
      return generic_shapes[static_cast<int>(card)];
  }
}

}  // namespace

bool card_takes_numbers(project_card card) {
  if (card == project_card::ignore) return false;
  const value_shape shape = shape_of(card).shape;
  return shape == value_shape::reals || shape == value_shape::ints || shape == value_shape::file_or_number;
}

std::string card_label(project_card card) {
  std::string label(project_card_keyword(card));
  for (char& ch : label) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return label;
}

card_value_checks::card_value_checks(const std::string& project_path, run_params_record& run, bool warn_off)
    : path_(project_path), run_(run), warn_off_(warn_off), warned_(static_cast<std::size_t>(n_project_cards), false) {}

void card_value_checks::check(project_card card, const std::string& rest, int line_no) {
  if (card == project_card::ignore) return;
  const card_shape s = shape_of(card);
  if (s.shape == value_shape::none) return;
  std::string line = rest;
  std::string token;
  if (s.shape == value_shape::file || s.shape == value_shape::file_or_number) {
    if (!pop_token(line, token)) return;
    double number = 0.0;
    if (s.shape == value_shape::file_or_number && leading_real(token, number)) {
      check_number(card, token, false, line_no);
      return;
    }
    run_.card_files.push_back({static_cast<int>(card), line_no, token});
    return;
  }
  for (int i = 0; i < s.count && pop_token(line, token); ++i)
    check_number(card, token, s.shape == value_shape::ints, line_no);
}

void card_value_checks::check_number(project_card card, const std::string& token, bool whole, int line_no) {
  const char* text = token.c_str();
  char* end = nullptr;
  errno = 0;
  bool out_of_range = false;
  bool not_finite = false;
  if (whole) {
    const long long n = std::strtoll(text, &end, 10);
    out_of_range = end != text && (errno == ERANGE || n < INT_MIN || n > INT_MAX);
  } else {
    const double x = std::strtod(text, &end);
    not_finite = end != text && !std::isfinite(x);
  }
  if (not_finite || out_of_range) {
    if (not_finite)
      std::printf("Error: card %s on line %d of the project file %s: the value %s is not a finite number.\n",
                  card_label(card).c_str(), line_no, path_.c_str(), token.c_str());
    else
      std::printf(
          "Error: card %s on line %d of the project file %s: the whole number %s is beyond the range %d to %d.\n",
          card_label(card).c_str(), line_no, path_.c_str(), token.c_str(), INT_MIN, INT_MAX);
    ++run_.card_errors;
    return;
  }
  // A word in place of a number reads as 0, which the checks of the value
  // judge; text after a number is worth a warning.
  if (*end == '\0' || end == text || warn_off_) return;
  const auto index = static_cast<std::size_t>(card);
  if (warned_[index]) return;
  warned_[index] = true;
  std::printf(
        "Warning: card %s on line %d of the project file %s: the text \"%s\" after the number is not part of "
        "it; %s is used.\n",
        card_label(card).c_str(), line_no, path_.c_str(), end, std::string(text, static_cast<std::size_t>(end - text)).c_str());
}

}  // namespace kavro
