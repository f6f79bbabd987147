// Test-only stand-ins for framework services that live in other source
// folders (line and token readers, replacement pairs, folders, calendar).
// They follow the documented behaviour closely enough for the card and
// series tests; delete this file once those services are in the library.
#include <cctype>
#include <cstdio>
#include <string>

#include "framework/file_wrapper.h"
#include "framework/readers.h"
#include "input/card_services.h"

namespace kavro {

int super_quiet = 0;
int replace_line = 0;
int replace_on = 0;
std::string project_folder;
std::string output_folder;

namespace {
bool is_sep(char ch) { return ch == '\t' || ch == '\n' || ch == ' ' || ch == ','; }
size_t skip_seps(const std::string& s, size_t i) {
  while (i < s.size() && is_sep(s[i])) ++i;
  return i;
}
std::string with_separator(std::string folder) {
  if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
  return folder;
}
}  // namespace

int read_line(std::string& line, file_wrapper& f) {
  if (!f.fp || std::feof(f.fp)) return 0;
  std::string text;
  int ch = 0;
  bool any = false;
  while ((ch = std::fgetc(f.fp)) != EOF) {
    any = true;
    if (ch == '\n') break;
    text += static_cast<char>(ch);
  }
  if (!any) return 0;
  if (ch == '\n' && !text.empty() && text.back() == '\r') text.pop_back();
  line = text;
  return 1;
}

int pop_token(std::string& line, std::string& out) {
  out.clear();
  size_t i = skip_seps(line, 0);
  if (i >= line.size()) return 0;
  bool quoted = line[i] == '"';
  if (quoted) line[i++] = ' ';
  std::string token;
  while (i < line.size()) {
    if (quoted && line[i] == '"') {
      line[i++] = ' ';
      break;
    }
    if (!quoted && is_sep(line[i])) break;
    token += line[i++];
  }
  if (token.empty()) return 0;
  out = token;
  line.erase(0, skip_seps(line, i));
  return 1;
}

template <class T>
int pop_number(std::string& line, T& out, const char* format) {
  out = 0;
  size_t i = skip_seps(line, 0);
  if (i >= line.size()) return 0;
  size_t j = i;
  while (j < line.size() && !is_sep(line[j])) ++j;
  const std::string token = line.substr(i, j - i);
  if (std::sscanf(token.c_str(), format, &out) == EOF) return 0;
  line.erase(0, skip_seps(line, j));
  return 1;
}

int pop_double(std::string& line, double& out) { return pop_number(line, out, "%lf"); }
int pop_int(std::string& line, int& out) { return pop_number(line, out, "%d"); }

void strip_quotes(std::string& text) {
  if (!text.empty() && text.front() == '"') text.erase(0, 1);
  if (!text.empty() && text.back() == '"') text.pop_back();
}

int read_replace_params(std::string) { return 0; }

int read_replace_values(std::string file) {
  file_wrapper f;
  if (!f.open(file, "r")) return -1;
  replace_on = 1;
  return 0;
}

void set_project_folder(std::string folder) { project_folder = with_separator(folder); }
void set_output_folder(std::string folder) { output_folder = with_separator(folder); }

double julian_date(int y, int m, int d, int h, int mi, double s) {
  const double secs = mi * 60 + h * 3600 + s;
  const int mm = m > 2 ? m - 3 : m + 9;
  const int yy = m > 2 ? y : y - 1;
  const int c = yy / 100, ya = yy - 100 * c;
  const int jdn = (146097 * c) / 4 + (153 * mm + 2) / 5 + d + (1461 * ya) / 4 + 1721119;
  return secs < 43200 ? jdn - 1 + (secs + 43200) / 3600 / 24 : jdn + (secs - 43200) / 3600 / 24;
}

}  // namespace kavro
