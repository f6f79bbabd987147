// The nested-run (xy) boundary objects that live inside project_params.
//
// An outer run writes the edge conditions of a nested run through xy_output;
// a nested run reads them through xy_input. The project cards fill the file
// names of xy_output and call the xy_input readers at once; the output
// subsystem opens, reads and applies the files.
#pragma once

#include <string>

#include "framework/one_based.h"

namespace kavro {

// File names of the boundary outputs of an outer run.
struct xy_output {
  std::string points_file;   // output points (point file) or inset mask
  std::string ov_file_name;  // overland depths written at the points
  std::string gw_file_name;  // groundwater heads written at the points
  std::string st_file_name;  // stream hydrographs at the inset crossings

  // Writes the values of every output point at time `t` (Julian).
  void write_step(double t);
};

// Which point set of xy_input a point file fills.
enum class xy_point_set {
  ov,         // overland points by cell number
  gw,         // groundwater points by cell number
  gw_interp,  // groundwater source points by coordinates
  ov_interp,  // overland source points by coordinates
};

// Boundary inputs of a nested run, read while the project file is read.
struct xy_input {
  int n_ovpts = 0;           // overland points given by cell number
  int n_gwpts = 0;           // groundwater points given by cell number
  int n_stpts = 0;           // stream points
  int n_gwInterpSrcPts = 0;  // groundwater source points given by coordinates
  int n_ovInterpSrcPts = 0;  // overland source points given by coordinates

  // Reads a point file whose first line begins with `header_word` into
  // `set`; `kind_word` ("overland" or "groundwater") names it in messages.
  void read_point_file(const std::string& path, const char* kind_word, const char* header_word,
                       xy_point_set set, bool by_cell_id);
  // Stream boundary hydrographs given by coordinates.
  void read_stream_hydrographs(const std::string& path);
  // Stream boundary points bound to named time series already read.
  void read_stream_timeseries(const std::string& path);
  // Sets the overland depths of the boundary points at time `now` (Julian
  // days) from the given depths (apply_ov_depth) or stages (apply_ov_stage);
  // `vol_in` and `vol_out` gain the water added and removed (m3).
  void apply_ov_depth(double now, double dx, dvec& ov_depth, double& vol_in, double& vol_out) const;
  void apply_ov_stage(double now, double dx, const dvec& elevation, dvec& ov_depth, double& vol_in,
                      double& vol_out) const;
};

}  // namespace kavro
