// SAMSON hourly station files: a station header line, a column header line,
// then one fixed-column line per hour (hours 1..24, hour 24 being midnight
// at the end of the day).
#include <cmath>
#include <cstdio>
#include <string>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "hydromet/hmet_reader_parts.h"
#include "hydromet/hmet_readers.h"

namespace kavro {

namespace {

struct samson_line {
  int year = 0, month = 0, day = 0, hour = 0;  // year with its century, hour 0..24 as in the file
  long direct = 0, diffuse = 0, sky = 0, humidity = 0, pressure = 0;
  double temperature = 0, wind = 0;
};

// A field of the line: its columns, its name and whether it is a real.
struct samson_field {
  int first, last;
  const char* name;
  bool real;
};
constexpr samson_field samson_fields[] = {
    {2, 3, "year", false},           {5, 6, "month", false},          {8, 9, "day", false},
    {11, 12, "hour", false},         {34, 37, "direct radiation", false}, {42, 45, "diffuse radiation", false},
    {50, 51, "total sky cover", false}, {56, 60, "dry-bulb temperature", true},
    {68, 70, "relative humidity", false}, {72, 75, "station pressure", false}, {80, 85, "wind speed", true},
};

struct samson_problem {
  const samson_field* field = nullptr;
  std::string why;
};

bool parse_samson(std::string_view text, samson_line& v, samson_problem& p) {
  long whole[11] = {};
  double real[11] = {};
  for (int k = 0; k < 11; ++k) {
    const samson_field& f = samson_fields[k];
    const std::string_view t = weather_columns(text, f.first, f.last);
    if (!(f.real ? weather_real(t, real[k]) : weather_int(t, whole[k]))) {
      p.field = &f;
      p.why = quoted_field(t) + " is not " + (f.real ? "a finite number" : "a whole number");
      return false;
    }
  }
  auto refuse = [&](int k, const std::string& why) {
    p.field = &samson_fields[k];
    p.why = why;
    return false;
  };
  if (whole[0] < 0) return refuse(0, "year " + std::to_string(whole[0]) + " is not a year");
  v.year = static_cast<int>(whole[0] < 100 ? whole[0] + 1900 : whole[0]);
  if (whole[1] < 1 || whole[1] > 12) return refuse(1, "month " + std::to_string(whole[1]) + " is not between 1 and 12");
  v.month = static_cast<int>(whole[1]);
  if (whole[2] < 1 || whole[2] > days_in_month(v.year, v.month))
    return refuse(2, "day " + std::to_string(whole[2]) + " is not a day of that month");
  v.day = static_cast<int>(whole[2]);
  if (whole[3] < 0 || whole[3] > 24) return refuse(3, "hour " + std::to_string(whole[3]) + " is not between 0 and 24");
  v.hour = static_cast<int>(whole[3]);
  v.direct = whole[4];
  v.diffuse = whole[5];
  v.sky = whole[6];
  v.temperature = real[7];
  v.humidity = whole[8];
  v.pressure = whole[9];
  v.wind = real[10];
  return true;
}

void report_bad_line(const main_state& ms, long line_no, const samson_problem& p, const std::string& text) {
  std::printf("Error: Problem encountered in hmet_SAMSON file %s, line %ld, columns %d-%d (%s): %s.\n",
              ms.fs_hmet_surfaways.name.c_str(), line_no, p.field->first, p.field->last, p.field->name,
              p.why.c_str());
  std::printf("The line reads: \"%s\"\n", text.c_str());
}

// The station name of the header line and the column header after it.
bool read_headers(main_state& ms, bool keep_name) {
  std::string line;
  for (int k = 1; k <= 2; ++k) {
    if (!next_weather_line(ms, line)) return false;
    if (k == 1 && keep_name) ms.hmet_station_name = std::string(weather_columns(line, 8, 29));
  }
  ms.hmet_reader.headers_skipped = true;
  return true;
}

// The date of a line with hour 24 moved to hour 0 of the next day.
void line_date(const samson_line& v, int& y, int& m, int& d, int& h) {
  y = v.year, m = v.month, d = v.day, h = v.hour;
  roll_over_hour_24(y, m, d, h);
}

}  // namespace

int scan_samson(main_state& ms) {
  rewind_weather_file(ms);
  if (!read_headers(ms, true)) {
    std::printf("Error: the SAMSON weather file %s ends before its two header lines.\n",
                ms.fs_hmet_surfaways.name.c_str());
    return weather_refused();
  }
  std::string line;
  samson_line v;
  samson_problem p;
  int n = 0;
  while (next_weather_line(ms, line)) {
    if (!parse_samson(line, v, p)) {
      report_bad_line(ms, ms.hmet_reader.line_no, p, line);
      return weather_refused();
    }
    if (n == 0) line_date(v, ms.hmet_begin_year, ms.hmet_begin_month, ms.hmet_begin_day, ms.hmet_begin_hour);
    line_date(v, ms.hmet_end_year, ms.hmet_end_month, ms.hmet_end_day, ms.hmet_end_hour);
    ++n;
  }
  if (n == 0) {
    std::printf("Error: the SAMSON weather file %s holds no hourly line.\n", ms.fs_hmet_surfaways.name.c_str());
    return weather_refused();
  }
  ms.hmet_n_records = n;
  rewind_weather_file(ms);
  ms.hmet_reader.headers_skipped = false;
  ms.hmet_reader.records_delivered = 0;
  return hmet_scan_done;
}

int read_samson_hour(main_state& ms) {
  hmet_reader_state& st = ms.hmet_reader;
  if (!st.headers_skipped && !read_headers(ms, false)) return hmet_end_of_data;
  if (st.records_delivered >= ms.hmet_n_records) return hmet_end_of_data;
  std::string line;
  if (!next_weather_line(ms, line)) return hmet_end_of_data;
  samson_line v;
  samson_problem p;
  if (!parse_samson(line, v, p)) {
    report_bad_line(ms, st.line_no, p, line);
    return weather_refused();
  }
  hmet_last_valid& last = st.last_valid;
  const std::size_t h = static_cast<std::size_t>(v.hour);
  int& repaired = ms.n_hmet_repaired;
  const double direct = good_or_last(v.direct == 9999, static_cast<double>(v.direct), last.direct[h], repaired);
  const double diffuse = good_or_last(v.diffuse == 9999, static_cast<double>(v.diffuse), last.global[h], repaired);
  const double sky = good_or_last(v.sky == 99, static_cast<double>(v.sky), last.sky_cover, repaired);
  const double temperature = good_or_last(static_cast<long>(10.0 * v.temperature) == 9999, v.temperature,
                                          last.temperature[h], repaired);
  const double humidity = good_or_last(v.humidity == 999, static_cast<double>(v.humidity), last.humidity[h], repaired);
  const double pressure = good_or_last(v.pressure == 9999, static_cast<double>(v.pressure), last.pressure, repaired);
  double wind = v.wind;
  const long whole_wind = static_cast<long>(wind);
  if (whole_wind == 99 || whole_wind == 9999) {
    // Kept in hundredths of a metre per second.
    wind = static_cast<double>(last.wind_hundredths) / 100.0;
    ++repaired;
  } else {
    last.wind_hundredths = std::lround(wind * 100.0);
  }

  hmet_hour_record& rec = ms.hmet_record;
  line_date(v, rec.year, rec.month, rec.day, rec.hour);
  rec.hmet_direct_rad = direct;
  rec.hmet_diffuse_rad = diffuse;
  rec.hmet_cloud_cover = sky;  // tenths
  rec.hmet_air_temp = temperature;
  rec.hmet_rel_humidity = humidity;
  rec.hmet_pressure = pressure;
  rec.hmet_wind_speed = wind;
  ++st.records_delivered;
  return hmet_samson_record;
}

}  // namespace kavro
