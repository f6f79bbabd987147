// The precipitation file: rain events of gauge series or radar grid files,
// read one event at a time into the precipitation block.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "overland/precip_block.h"

namespace kavro {

class file_wrapper;

// Results of read_precip_event.
inline constexpr int precip_event_read = 1;   // one event read
inline constexpr int precip_no_event = 0;     // no further EVENT card, or an error already printed (code 4000 set)
inline constexpr int precip_file_short = -1;  // the file ended inside an event, or a gauge value is not a number

// Reads the next event of `f` into the card flags, gauge count, line count,
// gauge coordinates and values, line dates and radar file names of `pb`.
// `title` receives the event's title.
int read_precip_event(file_wrapper& f, precipitation_block& pb, std::string& title);

// The radar grid files the precipitation file at `path` names (the RADAR
// lines of its NRGAG FILES events), each with its line; empty when the file
// does not open. For the check that no output writes over them.
std::vector<std::pair<int, std::string>> radar_grid_names(const std::string& path);

// Hours from the date of one data line to the next (calendar dates).
double precip_period_hours(const precip_date& from, const precip_date& to);

// Turns the values of the event just read into rates per period (mm/h):
// GAGES depths and ACCUM cumulative depths over the period lengths, RADAR
// gauge values onto the period they end. False after a negative rate (its
// message printed, code 4000 set); `event_number` names the event.
bool convert_gauge_values(precipitation_block& pb, int event_number);

// Compares the first hour of a rain event with the weather data's first and
// last hour: 1 accepted (perhaps with a warning), 0 the run must stop.
int check_precip_dates(int begin_year, int begin_month, int begin_day, int begin_hour, int end_year, int end_month,
                       int end_day, int end_hour, int rain_year, int rain_month, int rain_day, int rain_hour);

}  // namespace kavro
