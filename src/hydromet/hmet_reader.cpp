// The weather reader's entry and the helpers its formats share.
#include <climits>
#include <cmath>
#include <cstdio>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/number_text.h"
#include "framework/readers.h"
#include "framework/run_clock.h"
#include "framework/run_globals.h"
#include "hydromet/hmet_reader_parts.h"
#include "hydromet/hmet_readers.h"

namespace kavro {

namespace {

std::string_view trimmed(std::string_view t) {
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
  return t;
}

bool blank(std::string_view line) { return trimmed(line).empty(); }

}  // namespace

// Weather values follow the number rule of every other input: one finite
// number and nothing else in the field, a whole one where a count, a date or
// a coded value is due.
bool weather_int(std::string_view text, long& out) {
  long long v = 0;
  if (read_whole(text, v, LONG_MIN, LONG_MAX) != number_fault::none) return false;
  out = static_cast<long>(v);
  return true;
}

bool weather_real(std::string_view text, double& out) { return read_real(text, out) == number_fault::none; }

int days_in_month(int year, int month) {
  static constexpr int length[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 31;
  return month == 2 && is_leap_year(year) ? 29 : length[month];
}

void roll_over_hour_24(int& year, int& month, int& day, int& hour) {
  if (hour != 24) return;
  hour = 0;
  if (++day <= days_in_month(year, month)) return;
  day = 1;
  if (++month <= 12) return;
  month = 1;
  ++year;
}

double hmet_cloud_fraction(const main_state& ms, double cloud_cover) {
  const bool in_tenths = !ms.hmet_vrx_on && !ms.hmet_ascii_on && (ms.hmet_samson_on || ms.hmet_surfaways_on);
  return in_tenths ? cloud_cover / 10.0 : cloud_cover;
}

bool weather_console_on(const main_state& ms) { return !ms.quiet && !ms.tool_mode; }

bool next_weather_line(main_state& ms, std::string& line) {
  while (read_line(line, ms.fs_hmet_surfaways)) {
    ++ms.hmet_reader.line_no;
    if (!blank(line)) return true;
  }
  return false;
}

void rewind_weather_file(main_state& ms) {
  if (ms.fs_hmet_surfaways.is_open()) std::rewind(ms.fs_hmet_surfaways.fp);
  ms.hmet_reader.line_no = 0;
}

std::vector<std::string_view> weather_words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

std::string_view weather_columns(std::string_view line, int first, int last) {
  const std::size_t from = static_cast<std::size_t>(first - 1);
  if (from >= line.size()) return {};
  return line.substr(from, static_cast<std::size_t>(last - first + 1));
}

double good_or_last(bool missing, double value, double& last, int& repaired) {
  if (!missing) return last = value;
  ++repaired;
  return last;
}

int weather_refused() {
  error_rec.code = already_printed_code;
  return hmet_read_failed;
}

int read_hmet(main_state& ms, int call_no) {
  if (!ms.fs_hmet_surfaways.is_open()) {
    std::printf("Error: the weather file %s is not open.\n", ms.hmet_path.c_str());
    return weather_refused();
  }
  const bool scan = call_no == 1;
  // One format is read: VRX before the gridded index, the gridded index
  // before the fixed-column formats.
  if (ms.hmet_vrx_on) return scan ? scan_vrx(ms) : read_vrx_hour(ms);
  if (ms.hmet_ascii_on) return scan ? scan_gridded(ms) : read_gridded_hour(ms);
  if (ms.hmet_surfaways_on) return scan ? scan_surfaways(ms) : read_surfaways_hour(ms);
  if (ms.hmet_samson_on) return scan ? scan_samson(ms) : read_samson_hour(ms);
  std::printf("Error: a long-term run needs its weather: give one of the cards HMET_VRX, HMET_ASCII, "
              "HMET_SURFAWAYS or HMET_SAMSON.\n");
  return weather_refused();
}

std::string quoted_field(std::string_view text) {
  std::string q;
  q.reserve(text.size() + 2);
  q += '"';
  q += text;
  q += '"';
  return q;
}

}  // namespace kavro
