// NCDC Surface Airways files: one fixed-column line per weather element and
// day, each holding up to 24 hourly values. The reader takes a day's lines
// when the day begins and then delivers its hours one call at a time; the
// first line of the following day waits until then.
#include <array>
#include <cstdio>
#include <string>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "hydromet/hmet_reader_parts.h"
#include "hydromet/hmet_readers.h"

namespace kavro {

namespace {

constexpr std::size_t longest_line = 790;
constexpr long most_groups = 24;

// The elements in slot order and the two letters that select them.
enum element : int { el_direct, el_global, el_pressure, el_humidity, el_temperature, el_sky, el_wind, el_count };
constexpr const char* element_code[el_count] = {"DR", "GR", "PR", "RH", "TM", "TS", "WI"};

struct sa_line {
  std::string code;  // columns 12-15
  int kind = -1;     // element, -1 for another element
  int year = 0, month = 0, day = 0;
  long n = 0;                 // value groups
  std::array<long, 24> values{};
};

struct sa_problem {
  int first = 0, last = 0;
  std::string why;
};

bool refuse(sa_problem& p, int first, int last, std::string why) {
  p.first = first, p.last = last, p.why = std::move(why);
  return false;
}

bool parse_sa(std::string_view text, sa_line& v, sa_problem& p) {
  if (text.size() > longest_line)
    return refuse(p, 1, static_cast<int>(text.size()),
                  "the line is " + std::to_string(text.size()) + " characters long, longer than 790");
  v.code = std::string(weather_columns(text, 12, 15));
  v.kind = -1;
  for (int k = 0; k < el_count; ++k)
    if (v.code.compare(0, 2, element_code[k]) == 0) v.kind = k;
  long year = 0, month = 0, day = 0;
  if (!weather_int(weather_columns(text, 18, 21), year) || year < 1)
    return refuse(p, 18, 21, quoted_field(weather_columns(text, 18, 21)) + " is not a year");
  if (!weather_int(weather_columns(text, 22, 23), month) || month < 1 || month > 12)
    return refuse(p, 22, 23, quoted_field(weather_columns(text, 22, 23)) + " is not a month");
  if (!weather_int(weather_columns(text, 26, 27), day) || day < 1 ||
      day > days_in_month(static_cast<int>(year), static_cast<int>(month)))
    return refuse(p, 26, 27, quoted_field(weather_columns(text, 26, 27)) + " is not a day of that month");
  v.year = static_cast<int>(year), v.month = static_cast<int>(month), v.day = static_cast<int>(day);
  if (!weather_int(weather_columns(text, 28, 30), v.n) || v.n < 0)
    return refuse(p, 28, 30, quoted_field(weather_columns(text, 28, 30)) + " is not a count of values");
  if (v.n > most_groups)
    return refuse(p, 28, 30, std::to_string(v.n) + " values: a day has at most 24 hours");
  for (long i = 1; i <= v.n; ++i) {
    const int first = static_cast<int>(31 + 12 * (i - 1));
    const std::string_view t = weather_columns(text, first + 5, first + 9);
    if (!weather_int(t, v.values[static_cast<std::size_t>(i - 1)]))
      return refuse(p, first + 5, first + 9,
                    "value " + std::to_string(i) + " \"" + std::string(t) + "\" is not a whole number");
  }
  return true;
}

void report_bad_line(const main_state& ms, long line_no, const sa_problem& p, const std::string& text) {
  std::printf("Error: Problem encountered in hmet_NCDC file %s, line %ld, columns %d-%d: %s.\n",
              ms.fs_hmet_surfaways.name.c_str(), line_no, p.first, p.last, p.why.c_str());
  if (text.size() <= longest_line) std::printf("The line reads: \"%s\"\n", text.c_str());
}

bool same_day(const sa_line& a, int y, int m, int d) { return a.year == y && a.month == m && a.day == d; }

// Stores a line's values in the day's slots, replacing missing values.
void take_line(main_state& ms, const sa_line& v) {
  if (v.kind < 0) return;
  surfaways_day& day = ms.hmet_reader.day;
  hmet_last_valid& last = ms.hmet_reader.last_valid;
  auto& slot = day.slots[static_cast<std::size_t>(v.kind)];
  day.has_line[static_cast<std::size_t>(v.kind)] = true;
  for (long i = 0; i < v.n; ++i) {
    const std::size_t s = static_cast<std::size_t>(i);
    const long x = v.values[s];
    int& repaired = ms.n_hmet_repaired;
    double value = 0.0;
    switch (v.kind) {
      case el_direct: value = good_or_last(x == 99999, static_cast<double>(x), last.direct[s], repaired); break;
      case el_global: value = good_or_last(x == 99999, static_cast<double>(x), last.global[s], repaired); break;
      case el_pressure: value = good_or_last(x == 99999, static_cast<double>(x), last.pressure, repaired); break;
      case el_humidity: value = good_or_last(x == 99999, static_cast<double>(x), last.humidity[s], repaired); break;
      case el_temperature:
        value = good_or_last(x == 99999, static_cast<double>(x), last.temperature[s], repaired);
        break;
      case el_sky:
        // Total sky cover is the tenths after the first digits; a missing
        // report (999 in front) keeps the last good cover, not the 99 of the
        // missing code.
        value = good_or_last(x / 100 == 999, static_cast<double>(x % 100), last.sky_cover, repaired);
        break;
      default:
        // Wind: direction in front of the speed (knots, last three digits).
        value = good_or_last(x % 1000 == 999, static_cast<double>(x % 1000), last.wind_speed, repaired);
        break;
    }
    slot[s] = value;
  }
}

// The next data line the scan accepted; false after the last.
bool next_sa_line(main_state& ms, sa_line& v) {
  surfaways_day& day = ms.hmet_reader.day;
  if (day.lines_used >= ms.hmet_reader.lines_in_scan) return false;
  std::string line;
  if (!next_weather_line(ms, line)) return false;
  sa_problem p;
  if (!parse_sa(line, v, p)) {
    report_bad_line(ms, ms.hmet_reader.line_no, p, line);
    error_rec.code = already_printed_code;
    return false;
  }
  ++day.lines_used;
  return true;
}

// Reads the lines of the next day into the slots; false at the end of the data.
bool load_next_day(main_state& ms) {
  surfaways_day& day = ms.hmet_reader.day;
  sa_line v;
  if (day.holding) {
    std::string held = day.held_line;
    sa_problem p;
    parse_sa(held, v, p);
    day.holding = false;
  } else if (!next_sa_line(ms, v)) {
    return false;
  }
  day.year = v.year, day.month = v.month, day.day = v.day;
  day.has_line.fill(false);
  take_line(ms, v);
  std::string line;
  while (day.lines_used < ms.hmet_reader.lines_in_scan && next_weather_line(ms, line)) {
    sa_problem p;
    if (!parse_sa(line, v, p)) {
      report_bad_line(ms, ms.hmet_reader.line_no, p, line);
      error_rec.code = already_printed_code;
      return false;
    }
    ++day.lines_used;
    if (!same_day(v, day.year, day.month, day.day)) {
      day.held_line = line;
      day.holding = true;
      break;
    }
    take_line(ms, v);
  }
  day.next_hour = 0;
  return true;
}

}  // namespace

int scan_surfaways(main_state& ms) {
  rewind_weather_file(ms);
  std::string line;
  sa_line v;
  sa_problem p;
  long lines = 0;
  long count[el_count] = {};
  std::string previous_code;
  int py = 0, pm = 0, pd = 0;
  int days = 0;
  while (next_weather_line(ms, line)) {
    if (!parse_sa(line, v, p)) {
      report_bad_line(ms, ms.hmet_reader.line_no, p, line);
      return weather_refused();
    }
    // A line repeating the element of the line before ends the data.
    if (lines > 0 && v.code == previous_code) break;
    if (lines == 0 || !same_day(v, py, pm, pd)) {
      ++days;
      if (lines == 0) ms.hmet_begin_year = v.year, ms.hmet_begin_month = v.month, ms.hmet_begin_day = v.day;
      ms.hmet_end_year = v.year, ms.hmet_end_month = v.month, ms.hmet_end_day = v.day;
    }
    py = v.year, pm = v.month, pd = v.day;
    previous_code = v.code;
    if (v.kind >= 0) ++count[v.kind];
    ++lines;
  }
  std::printf("DRAD GRAD PRES RHUM TMPD TSKC WIND\n");
  std::printf(" %ld  %ld  %ld  %ld  %ld  %ld  %ld\n", count[el_direct], count[el_global], count[el_pressure],
              count[el_humidity], count[el_temperature], count[el_sky], count[el_wind]);
  if (weather_console_on(ms)) std::printf("End of hmet_NCDC file encountered after %ld lines\n", lines);
  if (lines == 0) {
    std::printf("Error: the Surface Airways weather file %s holds no day line.\n", ms.fs_hmet_surfaways.name.c_str());
    return weather_refused();
  }
  if (count[el_humidity] != count[el_temperature]) {
    std::printf("There is an error in the Surface Airways hydrometeorology\n"
                "data file.  There appears to be a different number of \n"
                "days of rel. humidity data than temperature data.  Rel. hum.\n"
                "data is required for each day.  Examine the file and supply\n"
                "the missing data.  Program terminating\n\n");
    return weather_refused();
  }
  if (count[el_sky] != count[el_temperature]) {
    std::printf("There is an error in the Surface Airways hydrometeorology\n"
                "data file.  There appear to be a different number of days\n"
                "of cloud cover data than temperature data.  Clouds data is\n"
                "required for each day.  Examine the file and supply the \n"
                "missing data.  Program terminating\n\n");
    return weather_refused();
  }
  if (count[el_wind] != count[el_temperature]) {
    std::printf("There is an error in the Surface Airways hydrometeorology\n"
                "data file.  There appear to be different number of days of "
                "wind data than temperature data.  Wind speed data is\n"
                "required for each day.  Examine the file and supply the \n"
                "missing data.  Program terminating\n\n");
    return weather_refused();
  }
  ms.hmet_begin_hour = 0;
  ms.hmet_end_hour = 23;
  ms.hmet_n_records = 24 * days;
  ms.hmet_reader.lines_in_scan = lines;
  rewind_weather_file(ms);
  ms.hmet_reader.day = surfaways_day{};
  ms.hmet_reader.records_delivered = 0;
  return hmet_scan_done;
}

int read_surfaways_hour(main_state& ms) {
  surfaways_day& day = ms.hmet_reader.day;
  if (day.next_hour >= 24 && !load_next_day(ms)) return error_rec.code != 0 ? hmet_read_failed : hmet_end_of_data;
  const std::size_t h = static_cast<std::size_t>(day.next_hour);
  auto value = [&](int k) { return day.slots[static_cast<std::size_t>(k)][h]; };
  hmet_hour_record& rec = ms.hmet_record;
  rec.year = day.year, rec.month = day.month, rec.day = day.day, rec.hour = day.next_hour;
  rec.hmet_direct_rad = day.has_line[el_direct] ? value(el_direct) / 10.0 : 0.0;
  rec.hmet_diffuse_rad = day.has_line[el_global] ? value(el_global) / 10.0 : 0.0;
  rec.hmet_pressure = value(el_pressure) * 33.86530748663101 / 1000.0;
  rec.hmet_rel_humidity = value(el_humidity);
  rec.hmet_air_temp = (value(el_temperature) - 32.0) * 0.5555555555555556;
  rec.hmet_cloud_cover = value(el_sky);  // tenths
  rec.hmet_wind_speed = value(el_wind) * 0.514444;
  ++day.next_hour;
  ++ms.hmet_reader.records_delivered;
  return hmet_surfaways_record;
}

}  // namespace kavro
