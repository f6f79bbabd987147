// Named elevation series: tables of (x, y) pairs looked up by a water level
// rather than by time, for the rating curves of overland boundary cells and
// the pump and structure curves of the channel network.
//
// An elevation-series file holds blocks of
//   KAVRO_ES
//   name                 (first token; a quoted name may hold blanks)
//   x y                  (one row per pair, x ascending)
//   END_ES
// All series of a run sit in one process-wide list, emptied at the end of
// every run. Lookups only read a series.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "input/series_common.h"

namespace kavro {

struct elev_series {
  std::string name;
  std::vector<double> x;  // arguments, ascending
  std::vector<double> y;  // value at each x
  int count() const { return static_cast<int>(x.size()); }
};

// The series of the current run, in the order they were read.
extern std::vector<std::unique_ptr<elev_series>> elev_series_list;

elev_series& new_elev_series();
void free_elev_series_list();

// Reads the next block into a new series: 1 when one was read, 0 when the
// file holds no further block.
int read_elev_series_block(series_file_reader& in);
// Reads every block of a file; returns the number read.
int read_elev_series_file(const std::string& file_name);

// The series named exactly `name`, else the first whose name begins with it.
elev_series* find_elev_series(std::string_view name);

// y at x by linear interpolation, clamped at both ends; a missing or empty
// series stops the run.
double elev_series_interp(double x, const elev_series* series);
// y at x as a step function (the y at the lower end of the bracketing pair).
double elev_series_step(double x, const elev_series* series);

}  // namespace kavro
