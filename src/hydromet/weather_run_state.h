// What the weather reader and the hourly weather steps keep from one call to
// the next within a run: the reader's place in its file, the last good value
// of each quantity (for missing values), the day being delivered from a
// Surface Airways file, the gridded reader's buffers, and the work arrays of
// the per-cell loops. All of it belongs to one run's record, so the runs of a
// batch start alike.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace kavro {

// Hours of day 0..25 that the last-valid tables of the station formats keep.
inline constexpr int hmet_hour_slots = 26;

// Last good value of each weather quantity, in the units of the file it came
// from; 0 until a good value has been read.
struct hmet_last_valid {
  std::array<double, hmet_hour_slots> direct{};       // direct radiation per hour of day
  std::array<double, hmet_hour_slots> global{};       // global (or diffuse) radiation per hour of day
  std::array<double, hmet_hour_slots> temperature{};  // air temperature per hour of day
  std::array<double, hmet_hour_slots> humidity{};     // relative humidity per hour of day
  long pressure_thousandths = 0;                      // pressure in thousandths of the file's unit
  double pressure = 0;                                // pressure of the fixed-column formats
  double sky_cover = 0;                               // sky cover
  double wind_speed = 0;                              // wind speed
  long wind_hundredths = 0;                           // SAMSON wind speed in hundredths of m/s
};

// One grid of the gridded format, as read from its file.
struct hmet_grid {
  long cols = 0, rows = 0;     // header columns and rows
  double xll = 0, yll = 0;     // lower-left corner (map units)
  double cellsize = 0;         // cell size (map units)
  double nodata = -9999.0;     // no-data value of the header
  bool present = false;        // the file of this hour was found
  std::vector<double> values;  // cols x rows values, row by row from the top
};

// The day of a Surface Airways file being delivered hour by hour.
struct surfaways_day {
  int year = 0, month = 0, day = 0;  // date of the day in the slots
  int next_hour = 24;                // hour delivered next; 24: a new day must be read
  // Per element (DR, GR, PR, RH, TM, TS, WI) the 24 hour slots of the day
  // and whether the day had a line of that element.
  std::array<std::array<double, 24>, 7> slots{};
  std::array<bool, 7> has_line{};
  std::string held_line;    // first line of the following day, read ahead
  bool holding = false;     // held_line is waiting
  long lines_used = 0;      // data lines taken from the file so far
};

struct hmet_reader_state {
  hmet_last_valid last_valid;
  long line_no = 0;              // lines read from the weather file since it was rewound
  long records_delivered = 0;    // records delivered since the scan
  long lines_in_scan = 0;        // data lines the scan accepted (Surface Airways)
  bool headers_skipped = false;  // SAMSON: the two header lines of the rewound file were read
  surfaways_day day;             // Surface Airways
  std::array<hmet_grid, 8> grids;  // gridded format: the eight grids of the hour
  std::string grid_text;         // gridded format: the text of the grid file being read
  bool first_hour_reported = false;  // gridded format: the first hour's messages were printed
  long orog_line_no = 0;         // lines read from the orographic gauge file
};

// Work arrays of the hourly per-cell loops, sized once per run.
struct weather_work {
  std::vector<double> sum_partial;         // chunk sums of the basin means
  std::vector<unsigned char> cell_flags;   // per cell: messages found inside a parallel loop
  std::vector<double> shade_elevation;     // (rows + 2) x (cols + 2) ground elevations, -9999 outside the watershed
  double shade_top = 0;                    // highest ground elevation of the watershed (m)
};

}  // namespace kavro
