#include "overland/precip_file.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/number_text.h"
#include "framework/readers.h"
#include "framework/run_clock.h"
#include "framework/run_warnings.h"

namespace kavro {

namespace {

constexpr long max_skipped_tokens = 10000;

// Whitespace-separated tokens of the file, line after line; the rest of the
// current line (an event title, a radar file name) can be taken whole.
class precip_tokens {
 public:
  explicit precip_tokens(file_wrapper& f) : f_(f) {}
  bool next(std::string& tok) {
    for (;;) {
      if (pop_token(line_, tok)) return true;
      if (!read_line(line_, f_)) return false;
    }
  }
  const std::string& file() const { return f_.name; }
  std::string rest_of_line() {
    std::string rest;
    rest.swap(line_);
    const size_t a = rest.find_first_not_of(" \t,");
    const size_t b = rest.find_last_not_of(" \t\r");
    return a == std::string::npos ? std::string() : rest.substr(a, b - a + 1);
  }

 private:
  file_wrapper& f_;
  std::string line_;
};

// Card words are compared on their first four letters, without case.
bool is_card(std::string_view tok, std::string_view card4) {
  if (tok.size() < 4) return false;
  for (size_t i = 0; i < 4; ++i)
    if (std::tolower(static_cast<unsigned char>(tok[i])) != card4[i]) return false;
  return true;
}

bool contains_files(std::string_view tok) {
  std::string low;
  for (char c : tok) low += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return low.find("files") != std::string::npos;
}

// A whole token as a finite number / a whole number, by the number rule.
bool parse_finite(const std::string& tok, double& out) { return read_real(tok, out) == number_fault::none; }

bool parse_int(const std::string& tok, long& out) {
  long long v = 0;
  if (read_whole(tok, v, LONG_MIN, LONG_MAX) != number_fault::none) return false;
  out = static_cast<long>(v);
  return true;
}

// The largest value a gauge line may hold (mm, or mm/h): no rain comes near.
constexpr double max_gauge_value = 1e6;
// The largest gauge coordinate (map units): beyond it no map lies, and the
// squared distances of the rain weights would overflow.
constexpr double max_coordinate = 1e9;

int refuse(const char* text) {
  std::printf("%s", text);
  error_rec.code = already_printed_code;
  return precip_no_event;
}

// Earlier than: compared year, month, day, hour, minute in turn.
bool earlier(const precip_date& a, const precip_date& b) {
  if (a.year != b.year) return a.year < b.year;
  if (a.month != b.month) return a.month < b.month;
  if (a.day != b.day) return a.day < b.day;
  if (a.hour != b.hour) return a.hour < b.hour;
  return a.minute < b.minute;
}

bool same_time(const precip_date& a, const precip_date& b) { return !earlier(a, b) && !earlier(b, a); }

int days_in_month(int year, int month) {
  static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && is_leap_year(year) ? 29 : days[month - 1];
}

int card_flag_count(const precipitation_block& pb) {
  return (pb.radar_mode == 1) + pb.gages_on + pb.rates_on + pb.accum_on;
}

int card_type_error(const precipitation_block& pb) {
  std::printf("\nERROR:\n");
  std::printf("\nThere is a problem in the precipitation input file.\n");
  if (card_flag_count(pb) > 1) {
    std::printf("More than one precipitation data card type has been specified.\n");
    std::printf("There may only be one of the following card types per event:\n\n");
    std::printf("     1) RADAR\n     2) GAGES\n     3) RATES\n\n");
  } else {
    std::printf("At least one precipitation data card type must be specified.\n");
    std::printf("There may only be one of the following card types per event:\n\n");
    std::printf("     1) RADAR\n     2) GAGES\n     3) RATES    4) ACCUM\n\n");
  }
  return refuse("Check the precipitation input file.  KAVRO exiting\n");
}

int data_error_head(const std::string& title) {
  std::printf("\nERROR:\n");
  std::printf("There is a data error in the precipitation file.  This error occurred in the\n");
  std::printf("EVENT titled:\n %s\n", title.c_str());
  return 0;
}

// The EVENT card and the title after it.
int find_event_card(precip_tokens& in, precipitation_block& pb, std::string& title) {
  std::string tok;
  for (long seen = 0; seen < max_skipped_tokens; ++seen) {
    if (!in.next(tok)) return precip_no_event;
    if (is_card(tok, "even")) {
      ++pb.n_precip_event_cards;
      title = in.rest_of_line();
      return precip_event_read;
    }
  }
  std::printf("There is a problem with your rainfall input file.  KAVRO cannot\n");
  std::printf("find the first event card.  Check the format of the rainfall input for event %d\n",
              pb.n_precip_event_cards + 1);
  return refuse("file.\n\n");
}

// NRGAG and NRPDS in either order; -1 in n_gauges marks a radar-file event.
int read_counts(precip_tokens& in, precipitation_block& pb, const std::string& title, const std::string& file,
                long& n_lines) {
  std::string tok, value;
  int cards = 0;
  long n_gauges = 0;
  n_lines = 0;
  for (long seen = 0; cards < 2; ++seen) {
    if (seen >= max_skipped_tokens) {
      std::printf("\nThere is a problem with your rainfall input file.  KAVRO cannot\n");
      std::printf("find the NRPDS or NRGAG card for the event entitled:\n");
      std::printf("   %s\n\n", title.c_str());
      return refuse("Check the format of the rainfall input file.\n");
    }
    if (!in.next(tok)) return precip_file_short;
    const bool gag = is_card(tok, "nrga"), pds = is_card(tok, "nrpd");
    if (!gag && !pds) continue;
    if (!in.next(value)) return precip_file_short;
    ++cards;
    if (gag) {
      if (contains_files(value)) {
        n_gauges = -1;
      } else if (!parse_int(value, n_gauges) || n_gauges <= 0) {
        std::printf("\nERROR: NRGAG %s of the rainfall event entitled:\n   %s\n", value.c_str(), title.c_str());
        return refuse("must be a gauge count of at least 1 or the word FILES.  Program exiting on error.\n\n");
      }
    } else if (!parse_int(value, n_lines) || n_lines < 1 || n_lines > max_precip_periods - 1) {
      std::printf("\nERROR: NRPDS %s of the rainfall event entitled:\n   %s\nin the file %s\n", value.c_str(),
                  title.c_str(), file.c_str());
      std::printf("must be a count of data lines from 1 to %ld.  Program exiting on error.\n\n",
                  max_precip_periods - 1);
      error_rec.code = already_printed_code;
      return precip_no_event;
    }
  }
  if (n_gauges > 1000000) {
    std::printf("\nERROR: NRGAG %ld of the rainfall event entitled:\n   %s\nis too large.\n", n_gauges, title.c_str());
    return refuse("Program exiting on error.\n\n");
  }
  pb.n_gauges = static_cast<int>(n_gauges);
  return precip_event_read;
}

int read_coordinates(precip_tokens& in, precipitation_block& pb, const std::string& title) {
  std::string tok, xs, ys;
  for (int k = 1; k <= pb.n_gauges; ++k) {
    if (!in.next(tok)) return precip_file_short;
    if (!is_card(tok, "coor")) {
      std::printf("\nCannot find gage coordinate card in rainfall input file for event entitled:\n");
      std::printf("       %s\n\n", title.c_str());
      return refuse("Check rainfall input file format.\n");
    }
    if (!in.next(xs) || !in.next(ys)) return precip_file_short;
    if (!parse_finite(xs, pb.gauge_x[k]) || !parse_finite(ys, pb.gauge_y[k])) {
      std::printf("\nERROR: the coordinates \"%s %s\" of gage %d in the event entitled:\n   %s\n", xs.c_str(),
                  ys.c_str(), k, title.c_str());
      return refuse("are not numbers.  Check rainfall input file format.\n");
    }
    if (std::fabs(pb.gauge_x[k]) > max_coordinate || std::fabs(pb.gauge_y[k]) > max_coordinate) {
      std::printf("\nERROR: the coordinates %g %g of gage %d in the event entitled:\n   %s\n", pb.gauge_x[k],
                  pb.gauge_y[k], k, title.c_str());
      return refuse("lie beyond any map coordinate.  Check rainfall input file format.\n");
    }
    in.rest_of_line();
  }
  return precip_event_read;
}

// The card word of one data line sets its flag; exactly one kind per event.
void set_card_flag(precipitation_block& pb, const std::string& tok) {
  if (is_card(tok, "rada")) pb.radar_mode = 1;
  if (is_card(tok, "gage")) pb.gages_on = 1;
  if (is_card(tok, "rate")) pb.rates_on = 1;
  if (is_card(tok, "accu")) pb.accum_on = 1;
}

// Year, month, day, hour and minute of data line `line`.
int read_line_date(precip_tokens& in, precipitation_block& pb, const std::string& title, long line) {
  long v[5] = {0, 0, 0, 0, 0};
  std::string tok;
  for (int i = 0; i < 5; ++i) {
    if (!in.next(tok)) {
      std::printf("\n last year %ld last month %ld last day %ld last hour %ld last minute %ld \n", v[0], v[1], v[2],
                  v[3], v[4]);
      return precip_file_short;
    }
    if (!parse_int(tok, v[i])) {
      data_error_head(title);
      std::printf("On line no. %ld, the date or time value \"%s\" is not a whole number.\n", line, tok.c_str());
      return refuse("Program exiting on error.\n\n");
    }
  }
  if (v[0] >= 0 && v[0] < 100) v[0] += 1900;
  const bool ok = v[0] >= 1 && v[0] <= 9999 && v[1] >= 1 && v[1] <= 12 && v[2] >= 1 &&
                  v[2] <= days_in_month(static_cast<int>(v[0]), static_cast<int>(v[1])) && v[3] >= 0 && v[3] <= 24 &&
                  v[4] >= 0 && v[4] <= 59;
  if (!ok) {
    data_error_head(title);
    std::printf("On line no. %ld, the date %ld/%ld/%ld %ld:%2.2ld is not a valid date and time.\n", line, v[0], v[1],
                v[2], v[3], v[4]);
    return refuse("Program exiting on error.\n\n");
  }
  pb.precip_dates[line] = {static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]),
                           static_cast<int>(v[3]), static_cast<int>(v[4])};
  return precip_event_read;
}

int check_line_order(const precipitation_block& pb, const std::string& title, long line) {
  if (line < 2) return precip_event_read;
  const precip_date& d = pb.precip_dates[line];
  const precip_date& p = pb.precip_dates[line - 1];
  if (earlier(d, p)) {
    data_error_head(title);
    std::printf("On line no. %ld, the given time of the recorded data is:    %ld/%ld/%ld %ld:%2.2ld\n", line,
                static_cast<long>(d.year), static_cast<long>(d.month), static_cast<long>(d.day),
                static_cast<long>(d.hour), static_cast<long>(d.minute));
    std::printf("Which is earlier than the date/time on the previous line:  %ld/%ld/%ld %ld:%2.2ld\n",
                static_cast<long>(p.year), static_cast<long>(p.month), static_cast<long>(p.day),
                static_cast<long>(p.hour), static_cast<long>(p.minute));
    std::printf("This error in your precipitation input file must be corrected before KAVRO\n");
    return refuse("can continue.  Program exiting on error.\n\n");
  }
  // A period of no length would divide its depth by zero.
  if (same_time(d, p) || precip_period_hours(p, d) <= 0.0) {
    data_error_head(title);
    std::printf("On line no. %ld, the given time of the recorded data is:    %d/%d/%d %d:%2.2d\n", line, d.year,
                d.month, d.day, d.hour, d.minute);
    std::printf("Which is the same as the date/time on the previous line.\n");
    std::printf("This error in your precipitation input file must be corrected before KAVRO\n");
    return refuse("can continue.  Program exiting on error.\n\n");
  }
  return precip_event_read;
}

int read_gauge_values(precip_tokens& in, precipitation_block& pb, const std::string& title, long line) {
  std::string tok;
  for (int k = 1; k <= pb.n_gauges; ++k) {
    if (!in.next(tok)) {
      const precip_date& d = pb.precip_dates[line];
      std::printf("\n last year %d last month %d last day %d last hour %d last minute %d \n", d.year, d.month, d.day,
                  d.hour, d.minute);
      return precip_file_short;
    }
    double v = 0.0;
    const number_fault fault = read_real(tok, v);
    if (fault != number_fault::none || std::fabs(v) > max_gauge_value) {
      data_error_head(title);
      std::printf("Error: precipitation file %s, event \"%s\", data line %ld, gage %d: %s.\n", in.file().c_str(),
                  title.c_str(), line, k,
                  fault != number_fault::none
                      ? number_fault_text(fault, tok).c_str()
                      : format_string("the value %s is beyond any rain (%g)", tok.c_str(), max_gauge_value).c_str());
      return refuse("Program exiting on error.\n\n");
    }
    pb.gauge_values[k][line] = v;
    if (pb.accum_on && line >= 2 && v < pb.gauge_values[k][line - 1]) {
      data_error_head(title);
      std::printf("On line no. %ld, the accumulated precip. for gage number %d is: %8.5lf mm\n", line, k, v);
      std::printf("Which is less than the accumulated precip. on the previous line: %8.5lf mm\n",
                  pb.gauge_values[k][line - 1]);
      std::printf("This error in your precipitation input file must be corrected before KAVRO\n");
      std::printf("can continue.  Accumulated precip is CUMULATIVE.  The values should increase\n");
      return refuse("monotonically.  Program exiting on error.\n\n");
    }
  }
  return precip_event_read;
}

int read_data_lines(precip_tokens& in, precipitation_block& pb, const std::string& title, long n_lines,
                    bool radar_files) {
  std::string tok;
  for (long line = 1; line <= n_lines; ++line) {
    if (!in.next(tok)) return precip_file_short;
    set_card_flag(pb, tok);
    if (card_flag_count(pb) != 1) return card_type_error(pb);
    int r = read_line_date(in, pb, title, line);
    if (r == precip_event_read) r = check_line_order(pb, title, line);
    if (r != precip_event_read) return r;
    if (radar_files) {
      std::string rest = in.rest_of_line(), name;
      if (!pop_token(rest, name)) {
        data_error_head(title);
        std::printf("On line no. %ld no radar grid file is named.\n", line);
        return refuse("Program exiting on error.\n\n");
      }
      pb.radar_files.push_back(name);
      continue;
    }
    r = read_gauge_values(in, pb, title, line);
    if (r != precip_event_read) return r;
  }
  return precip_event_read;
}

}  // namespace

std::vector<std::pair<int, std::string>> radar_grid_names(const std::string& path) {
  std::vector<std::pair<int, std::string>> names;
  file_wrapper f;
  if (!f.open(path, "r")) return names;
  std::string line, tok;
  bool files_event = false, after_nrgag = false;
  for (int line_no = 1; read_line(line, f); ++line_no) {
    std::vector<std::string> tokens;
    while (pop_token(line, tok)) tokens.push_back(tok);
    for (std::size_t k = 0; k < tokens.size(); ++k) {
      if (after_nrgag) {
        files_event = contains_files(tokens[k]);
        after_nrgag = false;
      } else if (is_card(tokens[k], "even")) {
        files_event = false;
      } else if (is_card(tokens[k], "nrga")) {
        after_nrgag = true;
      } else if (files_event && is_card(tokens[k], "rada") && k + 6 < tokens.size()) {
        // RADAR year month day hour minute file
        names.emplace_back(line_no, tokens[k + 6]);
        k += 6;
      }
    }
  }
  return names;
}

double precip_period_hours(const precip_date& from, const precip_date& to) {
  const double days = julian_date(to.year, to.month, to.day, to.hour, to.minute, 0.0) -
                      julian_date(from.year, from.month, from.day, from.hour, from.minute, 0.0);
  // Whole minutes: remove the round-off of the two Julian dates.
  return std::round(days * 1440.0) / 60.0;
}

int read_precip_event(file_wrapper& f, precipitation_block& pb, std::string& title) {
  pb.radar_mode = pb.gages_on = pb.rates_on = pb.accum_on = 0;
  pb.radar_files.clear();
  title.clear();
  precip_tokens in(f);
  int r = find_event_card(in, pb, title);
  if (r != precip_event_read) return r;
  long n_lines = 0;
  r = read_counts(in, pb, title, f.name, n_lines);
  if (r != precip_event_read) return r;
  const bool radar_files = pb.n_gauges < 0;
  if (radar_files) pb.n_gauges = 1;
  pb.n_rain_periods = static_cast<int>(n_lines);
  pb.gauge_values.allocate(pb.n_gauges, n_lines + 1);
  pb.gauge_x.allocate(pb.n_gauges);
  pb.gauge_y.allocate(pb.n_gauges);
  if (!radar_files) {
    r = read_coordinates(in, pb, title);
    if (r != precip_event_read) return r;
  }
  r = read_data_lines(in, pb, title, n_lines, radar_files);
  if (r != precip_event_read) return r;
  if (radar_files) {
    if (pb.radar_mode != 1) {
      std::printf("\nERROR: the event entitled:\n   %s\nnames radar grid files (NRGAG FILES) ", title.c_str());
      return refuse("but its data lines are not RADAR lines.  Program exiting on error.\n\n");
    }
    pb.radar_mode = 2;
    pb.radar_files.push_back(pb.radar_files.back());
  }
  return precip_event_read;
}

bool convert_gauge_values(precipitation_block& pb, int event_number) {
  if (!(pb.radar_mode == 1 || pb.gages_on || pb.accum_on)) return true;
  for (long j = 1; j <= pb.n_rain_periods - 1; ++j) {
    const double hours = precip_period_hours(pb.precip_dates[j], pb.precip_dates[j + 1]);
    for (int k = 1; k <= pb.n_gauges; ++k) {
      double* v = pb.gauge_values[k];
      if (pb.radar_mode == 1) {
        v[j] = v[j + 1];
      } else {
        if (hours * 3600.0 > 86400.0) warn("WARNING: you have a long delta t in your precip file\n");
        v[j] = pb.accum_on ? (v[j + 1] - v[j]) / hours : v[j + 1] / hours;
      }
      if (v[j] < -1e-16) {
        std::printf("You have a negative precip value for gage %d, rain period %ld\n", k, j);
        std::printf("Check your rainfall inputs for event %d \n", event_number);
        error_rec.code = already_printed_code;
        return false;
      }
    }
  }
  return true;
}

int check_precip_dates(int by, int bm, int bd, int bh, int ey, int em, int ed, int eh, int ry, int rm, int rd,
                       int rh) {
  if (ry < by) {
    std::printf("\nRaingage Data starts in %ld, hydromet data doesn't start until %ld.\n", static_cast<long>(ry),
                static_cast<long>(by));
    std::printf("Program terminating.  Check your dates.\n");
    return 0;
  }
  if (ry > ey) {
    std::printf("\nRaingage Data starts in %ld, hydromet data ends in %ld.\n", static_cast<long>(ry),
                static_cast<long>(ey));
    std::printf("Program terminating.  Check your dates.\n");
    return 0;
  }
  if (ry == by) {
    if (rm < bm) {
      std::printf("\nRaingage Data starts in month %ld of %ld while hmet data starts in\n", static_cast<long>(rm),
                  static_cast<long>(ry));
      std::printf("month %ld of %ld\n", static_cast<long>(bm), static_cast<long>(by));
      std::printf("Program terminating.  Check your dates.\n");
      return 0;
    }
    if (rm == bm && rd < bd) {
      std::printf("\nRaingage data starts on day %ld of month %ld in year %ld\n", static_cast<long>(rd),
                  static_cast<long>(rm), static_cast<long>(ry));
      std::printf("while the hmet data begins on day %ld of month %ld in year %ld\n", static_cast<long>(bd),
                  static_cast<long>(bm), static_cast<long>(by));
      std::printf("Check your dates.\n");
      return 1;
    }
    if (rm == bm && rd == bd && rh < bh) {
      std::printf("\nRaingage data starts on hour %ld day %ld month %ld in year %ld\n", static_cast<long>(rh),
                  static_cast<long>(rd), static_cast<long>(rm), static_cast<long>(ry));
      std::printf("while the hmet data begins on hour %ld day %ld of month %ld in year %ld\n", static_cast<long>(bh),
                  static_cast<long>(bd), static_cast<long>(bm), static_cast<long>(by));
      std::printf("Check your times and dates.\n");
      return 1;
    }
  }
  if (ry == ey) {
    if (rm > em) {
      std::printf("\nRaingage Data starts in month %ld of %ld while hmet data ends in\n", static_cast<long>(rm),
                  static_cast<long>(ry));
      std::printf("month %ld of %ld\n", static_cast<long>(em), static_cast<long>(ey));
      std::printf("Program terminating.  Check your dates.\n");
      return 0;
    }
    if (rm == em && rd > ed) {
      std::printf("\nRaingage data starts on day %ld of month %ld in year %ld\n", static_cast<long>(rd),
                  static_cast<long>(rm), static_cast<long>(ry));
      std::printf("while the hmet data ends on day %ld of month %ld in year %ld\n", static_cast<long>(ed),
                  static_cast<long>(em), static_cast<long>(ey));
      std::printf("Check your dates.\n");
      return 1;
    }
    if (rm == em && rd == ed && rh > eh) {
      std::printf("\nRaingage data starts on hour %ld day %ld month %ld in year %ld\n", static_cast<long>(rh),
                  static_cast<long>(rd), static_cast<long>(rm), static_cast<long>(ry));
      std::printf("while the hmet data ends on hour %ld day %ld of month %ld in year %ld\n", static_cast<long>(eh),
                  static_cast<long>(ed), static_cast<long>(em), static_cast<long>(ey));
      std::printf("Check your times and dates.\n");
      return 1;
    }
  }
  return 1;
}

}  // namespace kavro
