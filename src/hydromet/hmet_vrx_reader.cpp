// VRX hourly station lines: eleven blank-separated fields per hour,
//   year month day hour pressure(inHg) humidity(%) sky(tenths) wind(knots)
//   temperature(F) direct global
// 999 marks a missing pressure, humidity, sky cover, wind or temperature,
// a radiation above 9999.9 a missing radiation.
#include <cmath>
#include <cstdio>
#include <string>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "hydromet/hmet_reader_parts.h"
#include "hydromet/hmet_readers.h"

namespace kavro {

namespace {

constexpr int vrx_fields = 11;

struct vrx_line {
  int year = 0, month = 0, day = 0, hour = 0;
  double pressure = 0;                       // inches of mercury
  long humidity = 0, sky = 0, wind = 0, temperature = 0;
  double direct = 0, global = 0;
};

// Fields 5, 10 and 11 are reals, the others whole numbers.
bool real_field(int k) { return k == 5 || k == 10 || k == 11; }

// A line's fields; 0 when good, else the number of the field in trouble and
// why in `why`.
int parse_vrx(std::string_view text, vrx_line& v, std::string& why) {
  const auto words = weather_words(text);
  long whole[vrx_fields + 1] = {};
  double real[vrx_fields + 1] = {};
  for (int k = 1; k <= vrx_fields; ++k) {
    if (static_cast<std::size_t>(k) > words.size()) {
      why = "the line ends after " + std::to_string(words.size()) + " values";
      return k;
    }
    const std::string_view w = words[static_cast<std::size_t>(k - 1)];
    const bool ok = real_field(k) ? weather_real(w, real[k]) : weather_int(w, whole[k]);
    if (!ok) {
      why = quoted_field(w) + " is not " + (real_field(k) ? "a finite number" : "a whole number");
      return k;
    }
  }
  if (words.size() > static_cast<std::size_t>(vrx_fields)) {
    why = "the line holds more than 11 values";
    return vrx_fields + 1;
  }
  if (whole[1] < 1 || whole[1] > 99999) {
    why = "year " + std::to_string(whole[1]) + " is not a year";
    return 1;
  }
  if (whole[2] < 1 || whole[2] > 12) {
    why = "month " + std::to_string(whole[2]) + " is not between 1 and 12";
    return 2;
  }
  const int days = days_in_month(static_cast<int>(whole[1]), static_cast<int>(whole[2]));
  if (whole[3] < 1 || whole[3] > days) {
    why = "day " + std::to_string(whole[3]) + " is not a day of that month";
    return 3;
  }
  if (whole[4] < 0 || whole[4] > 24) {
    why = "hour " + std::to_string(whole[4]) + " is not between 0 and 24";
    return 4;
  }
  v.year = static_cast<int>(whole[1]);
  v.month = static_cast<int>(whole[2]);
  v.day = static_cast<int>(whole[3]);
  v.hour = static_cast<int>(whole[4]);
  v.pressure = real[5];
  v.humidity = whole[6];
  v.sky = whole[7];
  v.wind = whole[8];
  v.temperature = whole[9];
  v.direct = real[10];
  v.global = real[11];
  return 0;
}

void report_bad_line(const main_state& ms, long line_no, int field, const std::string& why,
                     const std::string& text) {
  std::printf("Error: Problem encountered in hmet_VRX file, line %ld, near parameter %d\n\n", line_no, field);
  std::printf("Make sure your file is in the correct format, including making sure\n"
              "all input data are listed as floats or ints as specified in the following\n"
              "format table:\n");
  std::printf(" Format:\n1   2   3   4    5     6           7        8         9    10        11  \n"
              "Yr  Mo  Day Hr  Press. RelHumidity SkyCover WindSpeed Temp DirectRad GlobalRad\n"
              "int int int int float  int         int      int       int  float     float\n\n");
  std::printf("In the weather file %s, line %ld (\"%s\"): %s.\n", ms.fs_hmet_surfaways.name.c_str(), line_no,
              text.c_str(), why.c_str());
}

}  // namespace

int scan_vrx(main_state& ms) {
  rewind_weather_file(ms);
  std::string line, why;
  vrx_line v;
  int n = 0;
  while (next_weather_line(ms, line)) {
    const int bad = parse_vrx(line, v, why);
    if (bad != 0) {
      report_bad_line(ms, ms.hmet_reader.line_no, bad, why, line);
      return weather_refused();
    }
    if (n == 0) {
      ms.hmet_begin_year = v.year, ms.hmet_begin_month = v.month;
      ms.hmet_begin_day = v.day, ms.hmet_begin_hour = v.hour;
    }
    ms.hmet_end_year = v.year, ms.hmet_end_month = v.month, ms.hmet_end_day = v.day, ms.hmet_end_hour = v.hour;
    ++n;
  }
  if (n == 0) {
    std::printf("Error: the weather file %s holds no hourly line.\n", ms.fs_hmet_surfaways.name.c_str());
    return weather_refused();
  }
  ms.hmet_n_records = n;
  if (weather_console_on(ms)) std::printf("End of hmet_VRX file encountered after %d lines\n", n);
  rewind_weather_file(ms);
  ms.hmet_reader.records_delivered = 0;
  return hmet_scan_done;
}

int read_vrx_hour(main_state& ms) {
  std::string line, why;
  if (!next_weather_line(ms, line)) return hmet_end_of_data;
  vrx_line v;
  const int bad = parse_vrx(line, v, why);
  if (bad != 0) {
    // The file changed after the scan.
    report_bad_line(ms, ms.hmet_reader.line_no, bad, why, line);
    return weather_refused();
  }
  hmet_last_valid& last = ms.hmet_reader.last_valid;
  const std::size_t h = static_cast<std::size_t>(v.hour);
  // Missing values take the last good value of their kind (of the same hour
  // of day for radiation, humidity and temperature), in the file's units.
  int& repaired = ms.n_hmet_repaired;
  double pressure = v.pressure;
  if (pressure == 999.0) {
    pressure = static_cast<double>(last.pressure_thousandths) / 1000.0;
    ++repaired;
  } else {
    last.pressure_thousandths = std::lround(pressure * 1000.0);
  }
  const double humidity = good_or_last(v.humidity == 999, static_cast<double>(v.humidity), last.humidity[h], repaired);
  const double sky = good_or_last(v.sky == 999, static_cast<double>(v.sky), last.sky_cover, repaired);
  const double wind = good_or_last(v.wind == 999, static_cast<double>(v.wind), last.wind_speed, repaired);
  const double temperature =
      good_or_last(v.temperature == 999, static_cast<double>(v.temperature), last.temperature[h], repaired);
  const double direct = good_or_last(v.direct > 9999.9, v.direct, last.direct[h], repaired);
  const double global = good_or_last(v.global > 9999.9, v.global, last.global[h], repaired);

  hmet_hour_record& rec = ms.hmet_record;
  rec.year = v.year, rec.month = v.month, rec.day = v.day, rec.hour = v.hour;
  roll_over_hour_24(rec.year, rec.month, rec.day, rec.hour);
  rec.hmet_pressure = pressure * 1013.25 / 29.92;
  rec.hmet_rel_humidity = humidity;
  rec.hmet_cloud_cover = sky / 10.0;
  rec.hmet_wind_speed = wind * 0.514444;
  rec.hmet_air_temp = (temperature - 32.0) * 0.5555555555555556;
  rec.hmet_direct_rad = direct;
  rec.hmet_diffuse_rad = global - direct;
  ++ms.hmet_reader.records_delivered;
  return hmet_vrx_record;
}

}  // namespace kavro
