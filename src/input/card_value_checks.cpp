#include "input/card_value_checks.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <type_traits>

#include "framework/number_text.h"
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

card_value_checks::card_value_checks(const std::string& project_path, run_params_record& run)
    : path_(project_path), run_(run) {}

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
  // A whole-number card takes an int; a real card any finite number.
  number_fault fault = number_fault::none;
  if (whole) {
    int n = 0;
    fault = read_int(token, n);
  } else {
    double x = 0.0;
    fault = read_real(token, x);
  }
  if (fault == number_fault::none || fault == number_fault::missing) return;
  std::printf("Error: card %s on line %d of the project file %s: %s.\n", card_label(card).c_str(), line_no,
              path_.c_str(), number_fault_text(fault, token, INT_MIN, INT_MAX).c_str());
  ++run_.card_errors;
}

}  // namespace kavro
