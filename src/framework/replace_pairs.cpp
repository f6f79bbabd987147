#include "framework/replace_pairs.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/readers.h"

namespace kavro {

std::vector<replace_pair> replace_list;
int replace_on = 0;
int replace_line = 0;
int replace_count = 0;

namespace {

constexpr int int_value_type = 0;
constexpr int double_value_type = 1;
constexpr int string_value_type = 2;

bool is_digit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Widest field and highest precision a format may ask for: a value is never
// printed into a text of more than this many characters.
constexpr int max_format_width = 100;

// Moves `i` past the digits of a width or precision; false when they give
// more than max_format_width.
bool bounded_number(std::string_view format, std::size_t& i) {
  int n = 0;
  for (; i < format.size() && is_digit(format[i]); ++i) {
    n = n * 10 + (format[i] - '0');
    if (n > max_format_width) return false;
  }
  return true;
}

// A replacement file that cannot be used stops the run; its message is printed.
int refuse_replace_file() {
  error_rec.code = already_printed_code;
  return -1;
}

// Type of the one conversion of `format`, with the flags that conversion
// allows and optional width and precision: d or i (int), f, e or g with an
// optional l (double), s (string). -1 for any other format, so that the value
// is never printed through a conversion that does not match its type.
int format_value_type(std::string_view format) {
  int type = -1;
  int conversions = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    if (++i < format.size() && format[i] == '%') continue;  // a literal percent sign
    const std::size_t flags_begin = i;
    while (i < format.size() && std::string_view("-+ #0").find(format[i]) != std::string_view::npos) ++i;
    const std::string_view flags = format.substr(flags_begin, i - flags_begin);
    if (!bounded_number(format, i)) return -1;
    if (i < format.size() && format[i] == '.') {
      ++i;
      if (!bounded_number(format, i)) return -1;
    }
    const bool long_size = i < format.size() && format[i] == 'l';
    if (long_size) ++i;
    if (i >= format.size()) return -1;
    const char c = format[i];
    int this_type = -1;
    std::string_view allowed_flags;
    if (!long_size && (c == 'd' || c == 'i')) {
      this_type = int_value_type;
      allowed_flags = "-+ 0";
    } else if (std::string_view("fFeEgG").find(c) != std::string_view::npos) {
      this_type = double_value_type;
      allowed_flags = "-+ #0";
    } else if (!long_size && c == 's') {
      this_type = string_value_type;
      allowed_flags = "-";
    }
    if (this_type < 0 || flags.find_first_not_of(allowed_flags) != std::string_view::npos) return -1;
    type = this_type;
    ++conversions;
  }
  return conversions == 1 ? type : -1;
}

void print_improper_line(std::string_view line) {
  std::printf("Error: Improperly formatted line in the replacement parameter file\nline:%.*s\n",
              static_cast<int>(line.size()), line.data());
}

bool blank_line(const std::string& line) {
  return line.find_first_not_of(" \t\r\n\v\f") == std::string::npos;
}

// The count on the first line of the list file: a non-negative int.
bool parse_count(const std::string& line, int& count) {
  const char* begin = line.c_str();
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(begin, &end, 10);
  if (end == begin || errno == ERANGE || value < 0 || value > INT_MAX) return false;
  count = static_cast<int>(value);
  return true;
}

// Replaces the key at `pos` by the value of the first pair whose key matches
// there; that pair, or null when no key starts at `pos`.
const replace_pair* substitute_at(std::string& line, std::size_t pos) {
  for (replace_pair& pair : replace_list) {
    if (line.compare(pos, pair.key.size(), pair.key) != 0) continue;
    // The text around the key is kept literally; only the value is formatted.
    line.replace(pos, pair.key.size(), replace_value_text(pair));
    ++replace_count;
    pair.used = true;
    return &pair;
  }
  return nullptr;
}

// Writes the log text to the log (when open) and the console text to the
// console unless the caller is the calibration tool.
void report(file_wrapper& log, bool console, const std::string& log_text, const std::string& console_text) {
  if (log.fp) std::fwrite(log_text.data(), 1, log_text.size(), log.fp);
  if (console) print_message("%s", console_text.c_str());
}

void report_keys(file_wrapper& log, bool console, const replace_pair& pair) {
  report(log, console, format_string("  %-14s = ", pair.key.c_str()),
         format_string(" %-14s = ", pair.key.c_str()));
}

}  // namespace

int read_replace_params(std::string file) {
  free_replace_pairs();
  file_wrapper f;
  if (!f.open(std::move(file), "r")) {
    std::printf("Error: unable to open the replace parameter file.\n");
    return refuse_replace_file();
  }
  // The count comes first; blank lines before and after it are skipped.
  std::string line;
  bool have_line = false;
  while (!have_line && read_raw_line(line, f)) have_line = !blank_line(line);
  int count = 0;
  if (!have_line || !parse_count(line, count)) {
    std::printf("Error: unable to read the number of parameters in the parameter list file\n");
    return refuse_replace_file();
  }
  bool first = true;
  bool all_pairs_read = true;
  for (int p = 0; p < count;) {
    if (!read_raw_line(line, f)) {
      std::printf("Error: unexpected end of parameter list file after %d parameters. Expecting %d\n", p,
                  count);
      return refuse_replace_file();
    }
    if (first && blank_line(line)) continue;
    first = false;
    // A rejected line counts as one of the pairs; the others are still read
    // so that every bad line is reported.
    if (parse_replace_pair_line(line) != 0) all_pairs_read = false;
    ++p;
  }
  return all_pairs_read ? 0 : refuse_replace_file();
}

int parse_replace_pair_line(std::string_view line) {
  const std::size_t open = line.rfind('[');
  const std::size_t close = line.rfind(']');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
    print_improper_line(line);
    return -1;
  }
  replace_pair pair;
  std::string rest(line.substr(close + 1));
  pop_token(rest, pair.format);
  pair.value_type = format_value_type(pair.format);
  if (pair.value_type < 0) {
    print_improper_line(line);
    std::printf("---> The format must be a C-style format in quotes, such as \"%%4.2lf\", with a width and "
                "precision of at most %d\n",
                max_format_width);
    return -1;
  }
  pair.key = line.substr(open, close - open + 1);
  replace_list.push_back(std::move(pair));
  return 0;
}

int read_replace_values(std::string file) {
  file_wrapper f;
  const std::string shown = file;
  if (!f.open(std::move(file), "r")) {
    std::printf("Error: unable to open the value file %s\n", shown.c_str());
    return refuse_replace_file();
  }
  // Line replace_line: a run without its value line would silently take
  // another run's values.
  std::string values;
  long long lines_read = 0;
  while (lines_read <= replace_line && read_raw_line(values, f)) ++lines_read;
  if (replace_line < 0 || lines_read <= replace_line) {
    std::printf("Error: the value file %s has no line %d for run %04d (it holds %lld lines).\n", shown.c_str(),
                replace_line + 1, replace_line, lines_read);
    return refuse_replace_file();
  }
  token_cursor cursor(values);
  for (replace_pair& pair : replace_list) {
    switch (pair.value_type) {
      case int_value_type:
        cursor.next_int(pair.int_value);
        break;
      case double_value_type:
        cursor.next_double(pair.double_value);
        break;
      case string_value_type:
        cursor.next_token(pair.string_value);
        break;
      default:
        break;
    }
    pair.used = false;
  }
  f.close();
  replace_count = 0;
  replace_on = 1;
  return 0;
}

void apply_replace_pairs(std::string& line) {
  const std::size_t limit = line.size() + max_replace_growth;
  // After a substitution the scan goes on from the second character of the
  // value, so a key inside a value (after its first character) is replaced too.
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] != '[') continue;
    const replace_pair* pair = substitute_at(line, i);
    if (!pair) {
      std::printf("Error: unable to match replace pair: %s\n", line.c_str());
      error_rec.code = already_printed_code;
    } else if (line.size() > limit) {
      std::printf(
          "Error: replacing %s made a line grow by more than %zu characters.\n"
          "A replacement value must not hold its own key.\n",
          pair->key.c_str(), max_replace_growth);
      error_rec.code = already_printed_code;
      return;
    }
  }
}

int substitute_replace_pair(std::string& line, std::size_t pos) { return substitute_at(line, pos) ? 1 : 0; }

std::string replace_value_text(const replace_pair& pair) {
  switch (pair.value_type) {
    case int_value_type:
      return format_string(pair.format.c_str(), pair.int_value);
    case double_value_type:
      return format_string(pair.format.c_str(), pair.double_value);
    case string_value_type:
      return format_string(pair.format.c_str(), pair.string_value.c_str());
    default:
      return {};
  }
}

void print_replace_values(file_wrapper& log, int tool_mode) {
  const bool console = tool_mode != 1;
  report(log, console, "\nUsing replacement values:\n", "\nUsing replacement values:\n");
  for (const replace_pair& pair : replace_list) {
    report_keys(log, console, pair);
    const std::string value = replace_value_text(pair) + "\n";
    report(log, console, value, value);
  }
  report(log, console, "\n", "\n");
}

void print_replace_usage(file_wrapper& log, int tool_mode) {
  const bool console = tool_mode != 1;
  const std::string total = format_string("\nTotal times a value was replaced: %d\n\n", replace_count);
  report(log, console, total, total);
  report(log, console, "\nWas replacement value used?:\n", "\nWas replacement value used?:\n");
  for (const replace_pair& pair : replace_list) {
    report_keys(log, console, pair);
    const std::string answer = pair.used ? "Yes\n" : "No\n";
    report(log, console, answer, answer);
  }
  report(log, console, "\n", "\n");
  replace_count = 0;
}

void free_replace_pairs() {
  replace_list.clear();
  replace_list.shrink_to_fit();
}

}  // namespace kavro
