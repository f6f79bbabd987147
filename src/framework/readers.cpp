#include "framework/readers.h"

#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "framework/file_wrapper.h"
#include "framework/replace_pairs.h"

namespace kavro {

int super_quiet = 0;

namespace {

constexpr std::size_t npos = std::string_view::npos;

bool is_separator(char c) { return c == '\t' || c == '\n' || c == ' ' || c == ','; }
bool is_word_separator(char c) { return c == '\t' || c == '\n' || c == ' '; }

std::size_t skip_separators(std::string_view text, std::size_t pos) {
  while (pos < text.size() && is_separator(text[pos])) ++pos;
  return pos;
}

// Where the next token of a text lies, searched from a position.
struct token_span {
  bool found = false;              // false: nothing but separators from the position on
  std::size_t begin = 0;           // first character of the token
  std::size_t end = 0;             // one past its last character (begin == end: empty quotes)
  std::size_t next = 0;            // start of the following search, separators skipped
  std::size_t open_quote = npos;   // position of the opening quote of a quoted token
  std::size_t close_quote = npos;  // position of its closing quote, when there is one
};

// With `quotes`, a token that starts with a double quote runs to the next
// double quote (or the end of the text) and may hold separators; otherwise a
// double quote is an ordinary character.
token_span scan_token(std::string_view text, std::size_t pos, bool quotes) {
  token_span s;
  pos = skip_separators(text, pos);
  if (pos >= text.size()) return s;
  s.found = true;
  std::size_t after = 0;
  if (quotes && text[pos] == '"') {
    s.open_quote = pos;
    s.begin = pos + 1;
    const std::size_t q = text.find('"', s.begin);
    s.close_quote = q;
    s.end = q == npos ? text.size() : q;
    after = q == npos ? text.size() : q + 1;
  } else {
    s.begin = s.end = pos;
    while (s.end < text.size() && !is_separator(text[s.end])) ++s.end;
    after = s.end;
  }
  s.next = skip_separators(text, after);
  return s;
}

bool only_white_space(std::string_view token) {
  for (char c : token) {
    if (!std::isspace(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// Leading-number conversions as scanf does them: "12abc" gives 12, a word 0.
void convert(const std::string& token, double& out) { out = std::strtod(token.c_str(), nullptr); }

void convert(const std::string& token, int& out) {
  const long value = std::strtol(token.c_str(), nullptr, 10);
  // Out of the int range: the nearest int, so that range checks of callers see it.
  if (value > INT_MAX) {
    out = INT_MAX;
  } else if (value < INT_MIN) {
    out = INT_MIN;
  } else {
    out = static_cast<int>(value);
  }
}

// Converts the token at or after `pos` and moves `pos` past it and its
// separators. False (pos unchanged) when there is no token or it holds only
// white space that is not a separator.
template <class T>
bool scan_number(std::string_view text, std::size_t& pos, T& out) {
  out = T{};
  const token_span s = scan_token(text, pos, false);
  if (!s.found) return false;
  const std::string token(text.substr(s.begin, s.end - s.begin));
  if (only_white_space(token)) return false;
  convert(token, out);
  pos = s.next;
  return true;
}

template <class T>
int pop_number(std::string& line, T& out) {
  std::size_t pos = 0;
  if (!scan_number(line, pos, out)) return 0;
  line.erase(0, pos);
  return 1;
}

}  // namespace

int read_raw_line(std::string& line, file_wrapper& f) {
  if (!f.fp) return 0;
  int c = getc_unlocked(f.fp);
  if (c == EOF) return 0;
  line.clear();
  while (c != EOF && c != '\n') {
    line.push_back(static_cast<char>(c));
    c = getc_unlocked(f.fp);
  }
  // A Windows line end reads like a Unix one.
  if (c == '\n' && !line.empty() && line.back() == '\r') line.pop_back();
  return 1;
}

int read_raw_line_bounded(std::string& line, file_wrapper& f, std::size_t max_length) {
  if (!f.fp) return 0;
  int c = getc_unlocked(f.fp);
  if (c == EOF) return 0;
  line.clear();
  while (c != EOF && c != '\n') {
    // One more character than the bound may be the carriage return of a Windows line end.
    if (line.size() > max_length) return -1;
    line.push_back(static_cast<char>(c));
    c = getc_unlocked(f.fp);
  }
  if (c == '\n' && !line.empty() && line.back() == '\r') line.pop_back();
  return line.size() > max_length ? -1 : 1;
}

int read_line(std::string& line, file_wrapper& f) {
  if (!read_raw_line(line, f)) return 0;
  if (replace_on) apply_replace_pairs(line);
  return 1;
}

int pop_token(std::string& line, std::string& out) {
  out.clear();
  const token_span s = scan_token(line, 0, true);
  // The quotes become blanks, so an empty pair leaves the rest of the line in place.
  if (s.open_quote != npos) line[s.open_quote] = ' ';
  if (s.close_quote != npos) line[s.close_quote] = ' ';
  if (!s.found || s.begin == s.end) return 0;
  out.assign(line, s.begin, s.end - s.begin);
  line.erase(0, s.next);
  return 1;
}

int pop_double(std::string& line, double& out) { return pop_number(line, out); }
int pop_int(std::string& line, int& out) { return pop_number(line, out); }

int token_cursor::next_token(std::string& out) {
  out.clear();
  const token_span s = scan_token(line_, pos_, true);
  if (!s.found) return 0;
  if (s.begin == s.end) {
    // An empty pair of quotes: no token, the next call goes on after it.
    pos_ = s.close_quote == npos ? line_.size() : s.close_quote + 1;
    return 0;
  }
  out.assign(line_.substr(s.begin, s.end - s.begin));
  pos_ = s.next;
  return 1;
}

int token_cursor::next_double(double& out) { return scan_number(line_, pos_, out) ? 1 : 0; }
int token_cursor::next_int(int& out) { return scan_number(line_, pos_, out) ? 1 : 0; }

void strip_quotes(std::string& text) {
  if (!text.empty() && text.front() == '"') text.erase(0, 1);
  if (!text.empty() && text.back() == '"') text.pop_back();
}

int remove_leading_chars(std::string& text, long n) {
  if (text.empty()) return -1;
  if (n >= 1 && static_cast<std::size_t>(n) <= text.size()) {
    text.erase(0, static_cast<std::size_t>(n));
  } else {
    text.clear();
  }
  return 0;
}

std::string_view second_word(std::string_view text) {
  if (text.empty()) return text;
  int words = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool starts_word = !is_word_separator(text[i]) && (i == 0 || is_word_separator(text[i - 1]));
    if (starts_word && ++words == 2) return text.substr(i);
  }
  return text.substr(text.size() - 1);
}

bool same_keyword(std::string_view a, std::string_view b) {
  std::string line_a(a), line_b(b), word_a, word_b;
  pop_token(line_a, word_a);
  pop_token(line_b, word_b);
  if (word_a.size() != word_b.size()) return false;
  for (std::size_t i = 0; i < word_a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(word_a[i])) !=
        std::tolower(static_cast<unsigned char>(word_b[i]))) {
      return false;
    }
  }
  return true;
}

int print_message(const char* format, ...) {
  if (super_quiet) return 0;
  va_list args;
  va_start(args, format);
  const int written = std::vprintf(format, args);
  va_end(args);
  return written;
}

std::string format_string(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  std::string text;
  if (length > 0) {
    text.resize(static_cast<std::size_t>(length));
    std::vsnprintf(text.data(), text.size() + 1, format, args);
  }
  va_end(args);
  return text;
}

}  // namespace kavro
