// The hourly weather of a long-term run, read from one file in one of four
// formats: VRX station lines, an index of gridded ASCII files, NCDC Surface
// Airways day lines and SAMSON hour lines.
//
// Call 1 scans the whole file before the run: every line is checked (a line
// that cannot be read stops the run before the time loop, naming the file,
// the line and the field), the first and last dates and the record count are
// kept, and the file is rewound. Every later call delivers the next hour into
// hmet_record (and, for the gridded format, into the per-cell weather
// arrays). Missing values of a quantity take its last good value and are
// counted in n_hmet_repaired.
#pragma once

#include <string>
#include <string_view>

namespace kavro {

struct main_state;

// Results of read_hmet.
inline constexpr int hmet_scan_done = 0;       // call 1: the file was scanned and rewound
inline constexpr int hmet_vrx_record = 11;     // a VRX hour was delivered
inline constexpr int hmet_grid_record = 1;     // a gridded or SAMSON hour was delivered
inline constexpr int hmet_samson_record = 1;
inline constexpr int hmet_surfaways_record = 0;  // a Surface Airways hour was delivered
inline constexpr int hmet_end_of_data = -1;    // the weather data have ended
inline constexpr int hmet_read_failed = -2;    // a problem was printed; error_rec holds 4000

// Scans the weather file (call 1) or delivers its next hour (later calls).
// The scan's result is hmet_scan_done, or hmet_read_failed after a refused
// line.
int read_hmet(main_state& ms, int call_no);

// The cloud cover of a weather value as a fraction of the sky (0..1): the
// SAMSON and Surface Airways files give tenths, the VRX and gridded readers
// deliver the fraction already.
double hmet_cloud_fraction(const main_state& ms, double cloud_cover);

// Moves a date and hour 24 to hour 0 of the next day (Gregorian calendar).
void roll_over_hour_24(int& year, int& month, int& day, int& hour);
// Days of `month` (1..12) of `year`, Gregorian leap years.
int days_in_month(int year, int month);

// Whole number or finite real of a whole field (blanks around it allowed),
// by the number rule of every input; false for anything else.
bool weather_int(std::string_view text, long& out);
bool weather_real(std::string_view text, double& out);
// A field as a message quotes it: "text".
std::string quoted_field(std::string_view text);

}  // namespace kavro
