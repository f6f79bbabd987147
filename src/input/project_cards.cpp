#include "input/project_cards.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <iterator>

#include "framework/readers.h"
#include "framework/run_warnings.h"
#include "input/card_services.h"
#include "input/card_suggestion.h"
#include "input/elev_series.h"
#include "input/project_card_actions.h"
#include "input/time_series.h"

namespace kavro {

namespace {

// The keyword table, in list order.
constexpr card_keyword keyword_list[] = {
#define CARD(kind, kw, ...) {#kw, project_card::kw},
#define CARD_ALIAS(kw, card) {#kw, project_card::card},
#define CARD_IGNORE(kw) {#kw, project_card::ignore},
#include "input/project_cards.def"
};

// The same table sorted by keyword for the lookup; a keyword that stands in
// the list twice names the same card both times (checked below).
constexpr auto sorted_keywords = [] {
  std::array<card_keyword, std::size(keyword_list)> a{};
  std::copy(std::begin(keyword_list), std::end(keyword_list), a.begin());
  std::sort(a.begin(), a.end(),
            [](const card_keyword& x, const card_keyword& y) { return x.keyword < y.keyword; });
  return a;
}();

constexpr bool repeated_keywords_agree() {
  for (size_t i = 1; i < sorted_keywords.size(); ++i)
    if (sorted_keywords[i].keyword == sorted_keywords[i - 1].keyword &&
        sorted_keywords[i].card != sorted_keywords[i - 1].card)
      return false;
  return true;
}
static_assert(repeated_keywords_agree(), "a keyword stands for two cards");

constexpr bool keywords_lower_case() {
  for (const auto& e : keyword_list)
    for (char ch : e.keyword)
      if (ch >= 'A' && ch <= 'Z') return false;
  return true;
}
static_assert(keywords_lower_case(), "keywords are kept in lower case");

// Generic card kinds. Each entry of the action table binds one kind to the
// fields of its card.
void nothing(card_context&, std::string&) {}

#define KAVRO_REC(rec) KAVRO_REC_##rec
#define KAVRO_REC_project c.project
#define KAVRO_REC_q7 c.project
#define KAVRO_REC_run c.run
#define KAVRO_REC_rain c.rain
#define KAVRO_ACTION(...)                   \
  +[](card_context& c, std::string& rest) { \
    (void)c;                                \
    (void)rest;                             \
    __VA_ARGS__                             \
  },
#define KAVRO_TAKE_INT(rec, name) take_value(rest, KAVRO_REC(rec).name);

#define KAVRO_ACT_file(kw, rec) KAVRO_ACTION(take_name(rest, KAVRO_REC(rec).kw);)
#define KAVRO_ACT_file_flag(kw, rec) \
  KAVRO_ACTION(take_name(rest, KAVRO_REC(rec).kw); KAVRO_REC(rec).use_##kw = 1;)
#define KAVRO_ACT_file_shared(kw, name, flag) \
  KAVRO_ACTION(take_name(rest, c.project.name); c.project.flag = 1;)
#define KAVRO_ACT_file_to(kw, member) KAVRO_ACTION(take_name(rest, c.project.member);)
#define KAVRO_ACT_switch(kw, rec) KAVRO_ACTION(KAVRO_REC(rec).use_##kw = 1;)
#define KAVRO_ACT_code(kw, rec, code) KAVRO_ACTION(KAVRO_REC(rec).kw = code;)
#define KAVRO_ACT_set(kw, rec, field, code) KAVRO_ACTION(KAVRO_REC(rec).field = code;)
#define KAVRO_ACT_value(kw, rec, type) KAVRO_ACTION(take_value(rest, KAVRO_REC(rec).kw);)
#define KAVRO_ACT_value_flag(kw, rec, type) \
  KAVRO_ACTION(take_value(rest, KAVRO_REC(rec).kw); KAVRO_REC(rec).use_##kw = 1;)
#define KAVRO_ACT_value_mark(kw, rec, type, mark) \
  KAVRO_ACTION(take_value(rest, KAVRO_REC(rec).kw); KAVRO_REC(rec).mark = 1;)
#define KAVRO_ACT_ints(kw, rec, ...) KAVRO_ACTION(KAVRO_FOR_EACH(KAVRO_TAKE_INT, rec, __VA_ARGS__))
#define KAVRO_ACT_echo(kw, type, format) \
  KAVRO_ACTION(type value{}; take_value(rest, value); std::printf(format, value);)
#define KAVRO_ACT_load(kw, reader) KAVRO_ACTION(std::string file; take_name(rest, file); reader(file);)
#define KAVRO_ACT_inert(kw, ...) nothing,
#define KAVRO_ACT_own(kw, action) action,
#define KAVRO_ACT_nsm_init(kw, compartment, entry) \
  KAVRO_ACTION(nsm_init_card(c, rest, nsm_compartment::compartment, entry);)
#define KAVRO_ACT_nsm_out(kw, group, species) KAVRO_ACTION(nsm_out_card(c, rest, nsm_group::group, species);)
#define KAVRO_ACT_nsm_k(kw, entry) KAVRO_ACTION(nsm_k_card(c, rest, entry);)

// The action of every card, indexed by card.
constexpr card_action card_actions[] = {
#define CARD(kind, kw, ...) KAVRO_ACT_##kind(kw, __VA_ARGS__)
#include "input/project_cards.def"
};
static_assert(std::size(card_actions) == n_project_cards);
static_assert(n_project_cards == 460);
static_assert(std::size(keyword_list) == 474);

// Separators of a token: tab, newline, blank and comma.
bool is_separator(char ch) { return ch == '\t' || ch == '\n' || ch == ' ' || ch == ','; }

}  // namespace

std::span<const card_keyword> project_card_keywords() { return keyword_list; }

std::string_view project_card_keyword(project_card card) {
  for (const auto& e : keyword_list)
    if (e.card == card) return e.keyword;
  return {};
}

project_card project_card_code(std::string& line, int warn_off, int line_no, std::string_view file) {
  std::string token;
  if (!pop_token(line, token)) return project_card::ignore;
  for (char& ch : token) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  if (token.empty() || token[0] == '#') return project_card::ignore;

  // A quoted token may hold separators; its first word is the keyword.
  const auto word_end = std::find_if(token.begin(), token.end(), is_separator);
  const std::string_view key(token.data(), static_cast<size_t>(word_end - token.begin()));
  const auto it = std::lower_bound(sorted_keywords.begin(), sorted_keywords.end(), key,
                                   [](const card_keyword& e, std::string_view k) { return e.keyword < k; });
  if (it != sorted_keywords.end() && it->keyword == key) return it->card;

  if (warn_off != 1) {
    // A misspelt card would silently leave its process out: say which card was meant.
    std::string text = "Warning: unknown card found in the project file: " + token;
    if (line_no > 0) text += format_string(" (line %d of %.*s)", line_no, static_cast<int>(file.size()), file.data());
    const std::string meant = nearest_card_keyword(key);
    if (!meant.empty()) text += "; did you mean " + meant + "?";
    if (line_no > 0) text += meant.empty() ? "; the line is not used." : " The line is not used.";
    warn(text + "\n");
  }
  return project_card::ignore;
}

void apply_project_card(project_card card, std::string& rest, card_context& c) {
  if (card == project_card::ignore) return;
  card_actions[static_cast<int>(card)](c, rest);
}

}  // namespace kavro
