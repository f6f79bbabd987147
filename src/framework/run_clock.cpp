#include "framework/run_clock.h"

#include "framework/main_state.h"

namespace kavro {

double julian_date(int year, int month, int day, int hour, int minute, double seconds) {
  const double secs = minute * 60.0 + hour * 3600.0 + seconds;
  int mm = 0, yy = 0;
  if (month > 2) {
    mm = month - 3;
    yy = year;
  } else {
    mm = month + 9;
    yy = year - 1;
  }
  const long c = yy / 100;
  const long ya = yy - 100 * c;
  const long jdn = (146097 * c) / 4 + (153 * mm + 2) / 5 + day + (1461 * ya) / 4 + 1721119;
  if (secs < 43200.0) return static_cast<double>(jdn) - 1.0 + (secs + 43200.0) / 3600.0 / 24.0;
  return static_cast<double>(jdn) + (secs - 43200.0) / 3600.0 / 24.0;
}

calendar_instant calendar_date(double jd) {
  const double x = jd + 1.1574074074074074e-07;
  long j = static_cast<long>(x);
  double f = x - static_cast<double>(j);
  if (f >= 0.5) {
    j += 1;
    f -= 0.5;
  } else {
    f += 0.5;
  }
  const long k = 4 * (j - 1721119);
  const long c = (k - 1) / 146097;
  long r = (k - 146097 * c - 1) / 4;
  const long ya = (4 * r + 3) / 1461;
  r = (4 * r - 1461 * ya + 7) / 4;
  const long mm = (5 * r - 3) / 153;
  calendar_instant out;
  out.day = static_cast<int>((5 * r - 153 * mm + 2) / 5);
  out.year = static_cast<int>(100 * c + ya);
  if (mm < 10) {
    out.month = static_cast<int>(mm + 3);
  } else {
    out.month = static_cast<int>(mm - 9);
    out.year += 1;
  }
  double t = f * 24.0 * 3600.0;
  out.hour = static_cast<int>(t / 3600.0);
  t -= 3600.0 * out.hour;
  out.minute = static_cast<int>(t / 60.0);
  out.seconds = t - 60.0 * out.minute;
  return out;
}

bool is_leap_year(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int day_of_year(int year, int month, int day) {
  static constexpr int days_before[13] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  if (month < 1 || month > 12) return day;
  return days_before[month] + day + (month > 2 && is_leap_year(year) ? 1 : 0);
}

void setup_time_step(main_state&) {}
void setup_start_time(main_state&) {}
void advance_clock(main_state&) {}

}  // namespace kavro
