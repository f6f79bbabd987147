// The parts of the weather reader shared by its four formats.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kavro {

struct main_state;
class file_wrapper;

// Per format: the scan (call 1) and the hourly read.
int scan_vrx(main_state& ms);
int read_vrx_hour(main_state& ms);
int scan_gridded(main_state& ms);
int read_gridded_hour(main_state& ms);
int scan_samson(main_state& ms);
int read_samson_hour(main_state& ms);
int scan_surfaways(main_state& ms);
int read_surfaways_hour(main_state& ms);

// Console messages of the scans are printed unless the run is quiet.
bool weather_console_on(const main_state& ms);

// The next line of the weather file that holds more than blanks, counting
// every line read in hmet_reader.line_no; false at the end of the file.
bool next_weather_line(main_state& ms, std::string& line);
// Rewinds the weather file and forgets the lines read.
void rewind_weather_file(main_state& ms);

// The blank- or tab-separated words of a line.
std::vector<std::string_view> weather_words(std::string_view line);
// Columns first..last (1-based, inclusive) of a line; shorter lines give
// what is there (possibly nothing).
std::string_view weather_columns(std::string_view line, int first, int last);

// Sets error_rec to "already printed" and gives hmet_read_failed.
int weather_refused();

// A value of the file, or the last good value of its kind when it is
// missing (counted in `repaired`); a good value becomes the last good one.
double good_or_last(bool missing, double value, double& last, int& repaired);

}  // namespace kavro
