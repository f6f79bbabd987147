// Run records with a grid of cells for the weather tests, built in memory.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "framework/main_state.h"

namespace kavro_test {

// A long-term record of rows x cols cells of `dx` m (those where `active`
// holds, all when it is empty), ground elevation z(row, col), west edge 500
// and south edge 2000, with its neighbours, slopes, weather arrays and
// elevation bands; the weather station stands at `station_elev` (0: the
// lowest cell) on the centre of cell 1.
std::unique_ptr<kavro::main_state> weather_grid(int rows, int cols, double dx,
                                                const std::function<double(int, int)>& z,
                                                double station_elev = 0.0,
                                                const std::function<bool(int, int)>& active = {});

// A long-term record with the weather file `path` open in its weather slot
// and the format card `format` ("vrx", "ascii", "samson", "surfaways") set.
std::unique_ptr<kavro::main_state> weather_reader_record(const std::string& path, const std::string& format,
                                                         int rows = 1, int cols = 1, double dx = 30.0);

// A SAMSON hour line with these fields at their columns (two-digit year,
// radiation in W/m2, sky cover in tenths, temperature C, humidity %,
// pressure mbar, wind m/s).
std::string samson_hour_line(int yy, int month, int day, int hour, int direct, int diffuse, int sky,
                             double temperature, int rh, int pressure, double wind);

}  // namespace kavro_test
