// Nested runs: an outer run writes, at every hydrograph interval, the
// overland depths and groundwater heads at chosen points (or around the edge
// of an inset mask) and the channel discharge where its streams enter the
// inset; the inset run reads those files, holds its boundary cells at the
// outer run's depths and heads and takes the stream hydrographs into its
// channels.
//
// Both objects live inside project_params: the project cards fill the file
// names of xy_output and read the xy_input files at once; the overland
// boundary loader, the groundwater set-up and the channel set-up complete
// xy_input once the grid and the network exist, and setup_xy_outputs opens
// the outputs.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "framework/checked_array.h"
#include "framework/file_wrapper.h"
#include "framework/one_based.h"

namespace kavro {

struct main_state;
struct time_series;

// ---------------------------------------------------------------------------
// Inputs of an inset run.

// One boundary point of an input file.
struct xy_point {
  int id = 0;                           // active-cell number of the inset grid (cell-number files)
  double x = 0.0, y = 0.0;              // map units (coordinate files)
  const time_series* series = nullptr;  // depth or water-surface stage (m), or head (m), over time
  std::size_t cursor = 0;               // interval of the series found by the last lookup
};

// One boundary cell of type 8, valued from its nearest coordinate points.
struct xy_interp_cell {
  std::array<int, 5> sources{};     // positions (from 1) of the source points in their list
  std::array<double, 5> weights{};  // 1 / d^2 of each source (d in map units)
  int n_points = 0;                 // sources used (0 to 5)
  int cell = 0;                     // active-cell number of the boundary cell
};

// One stream boundary point: a discharge hydrograph (m3/s) that enters the
// channel at its link and node.
struct xy_stream_point {
  int link = 0;                         // channel link (given, or found by the matching)
  int node = 0;                         // computational node on that link
  double x = 0.0, y = 0.0;              // map units
  const time_series* series = nullptr;  // discharge (m3/s)
  unsigned char linked = 0;             // 1 when the file gave link and node (not matched)
  std::size_t cursor = 0;               // interval of the series found by the last lookup
};

// Which point list of xy_input a point file fills.
enum class xy_point_set {
  ov,         // overland points by cell number (XY_OV_DEPTH)
  gw,         // groundwater points by cell number (XY_GW_HEAD)
  gw_interp,  // groundwater source points by coordinates (XY_GW_HEAD_INTERP)
  ov_interp,  // overland source points by coordinates (XY_OV_DEPTH_INTERP)
};

// Boundary inputs of an inset run, read while the project file is read.
// Every list holds exactly its count of points, from 1.
struct xy_input {
  checked_array<xy_point> ovpts{"xy_input::ovpts"};  // overland points given by cell number
  int n_ovpts = 0;
  int n_gwpts = 0;
  int n_stpts = 0;
  int n_gwInterpPts = 0;     // groundwater cells of type 8 (interpolated)
  int n_gwInterpSrcPts = 0;  // groundwater source points given by coordinates
  int n_ovInterpPts = 0;     // overland cells of type 8 (interpolated)
  int n_ovInterpSrcPts = 0;  // overland source points given by coordinates
  checked_array<xy_point> gwpts{"xy_input::gwpts"};
  checked_array<xy_point> gwInterpSrcPts{"xy_input::gwInterpSrcPts"};
  checked_array<xy_point> ovInterpSrcPts{"xy_input::ovInterpSrcPts"};
  checked_array<xy_stream_point> stpts{"xy_input::stpts"};
  checked_array<xy_interp_cell> gwInterpPts{"xy_input::gwInterpPts"};
  checked_array<xy_interp_cell> ovInterpPts{"xy_input::ovInterpPts"};
  std::string ovpts_file;  // file the overland cell-number points came from (messages)
  std::string gwpts_file;  // file the groundwater cell-number points came from (messages)
  std::vector<double> source_values;  // scratch: the value of each source point at the current time

  // Reads a point file whose first line begins with `header_word` into the
  // list `set` (replacing what it held); `kind_word` ("overland" or
  // "groundwater") names it in messages. Points are given by cell number
  // (`by_cell_id`) or by a line of x and a line of y coordinates.
  void read_point_file(const std::string& path, const char* kind_word, const char* header_word, xy_point_set set,
                       bool by_cell_id);
  // The XY_STREAM_HYDROGRAPHS file an outer run writes: replaces the stream points.
  void read_stream_hydrographs(const std::string& path);
  // A KAVRO_XY_ST_BDY_TS file: appends one stream point per KAVRO_TS block,
  // bound to a series already read.
  void read_stream_timeseries(const std::string& path);

  // Gives the cell of every overland point boundary type 9. False (message
  // printed, run stopped) when a point names a cell outside 1..n_cells.
  bool mark_ov_point_cells(ivec& boundary_type, long n_cells) const;
  // Builds the interpolation of every type-8 cell from its five nearest
  // source points (cell centres `cell_x`, `cell_y` in map units). A type-8
  // cell with no source point stops the run. The groundwater form also
  // checks the cell numbers of the groundwater points and turns every type-8
  // cell into a held head (type 2).
  void setup_ov_interp(ivec& boundary_type, long n_cells, const checked_array<double>& cell_x,
                       const checked_array<double>& cell_y);
  void setup_gw_interp(ivec& gwbound, long n_cells, const checked_array<double>& cell_x,
                       const checked_array<double>& cell_y);

  // Sets the overland depths of the point cells and of the interpolated
  // cells at time `now` (Julian days) from depths (apply_ov_depth) or
  // water-surface stages over the ground `elevation` (apply_ov_stage); a
  // negative result is 0. `vol_in` and `vol_out` are set to the water added
  // and removed (m3, cells of dx by dx).
  void apply_ov_depth(double now, double dx, dvec& ov_depth, double& vol_in, double& vol_out);
  void apply_ov_stage(double now, double dx, const dvec& elevation, dvec& ov_depth, double& vol_in,
                      double& vol_out);
  // Sets the groundwater heads of the point cells and the interpolated cells
  // at `now`; `gain` and `loss` are set to the water added and removed
  // (head change x dx^2 x the cell's storage coefficient, m3).
  void apply_gw_head(double now, double dx, dvec& head, const dvec& storage, double& gain, double& loss);

  // Finds for every stream point given by coordinates the nearest reach of
  // the channel network (links of trapezoid, breakpoint or third-kind
  // sections with two or more defining nodes); checks the link and node of
  // the points given by number. Prints the matches; stops the run on a link
  // or node the network does not have.
  void match_stream_points(int links, const ivec& nx1, const ivec& nx, const ivec& ltype, const dmat& lnx,
                           const dmat& lny);
};

// Σ w_k v_k / Σ w_k over the first n sources of `cell`, with v the values
// of the source points (from 1).
double weighted_series_value(const xy_interp_cell& cell, const std::vector<double>& values);
// Sorts idx[low..high] in place so that the distances d[idx[k]] increase.
void quicksort_by_distance(const std::vector<double>& d, std::vector<int>& idx, int low, int high);

// Channel set-up: matches the stream points of the run's xy input to its
// network and makes room for their inflows.
void match_xy_stream_points(main_state& ms);
// Every channel step, before the routing: the discharge of every matched
// stream point at the current time becomes a point inflow at its link and
// node (xy_stream_q), which the routing adds and books with the channel
// point sources.
void set_xy_stream_inflows(main_state& ms);

// ---------------------------------------------------------------------------
// Outputs of an outer run.

// An output point, a stream crossing or the end of a boundary segment.
struct xy_node {
  double x = 0.0, y = 0.0;          // map units
  int id = 0;                       // the output point's number
  int link = 0, node = 0;           // a crossing's channel link and computational node
  std::array<int, 4> cell_ids{};    // cells of the run's grid that value an output point
  int n_near = 0;                   // cells used (0 to 4)
  std::array<double, 4> weights{};  // 1 / d^2 of each cell
  double weight_sum = 0.0;
};

// One side of a cell on the edge of the inset mask, running clockwise.
struct xy_segment {
  xy_node p1, p2;
};

// A grid of square cells, rows from the north and columns from the west.
struct xy_grid {
  double north = 0.0, west = 0.0, south = 0.0, east = 0.0;  // map units
  int n_rows = 0, n_cols = 0;
  double dx = 0.0;  // side of a cell (map units)
  const imat* shared_cells = nullptr;  // the run's own cell-number grid (not owned)
  imat own_cells{"smaller_mask.mask"};  // the inset mask, when this grid reads it
  std::vector<xy_segment> segments;     // edge of the mask (inset only)

  const imat& cells() const { return shared_cells ? *shared_cells : own_cells; }
  // The cell (non-zero inside, 0 outside or off the grid) at row r, column c.
  int at(int r, int c) const { return r >= 1 && r <= n_rows && c >= 1 && c <= n_cols ? cells()[r][c] : 0; }
};

struct xy_output {
  int gw_on = 0, ov_on = 0, st_on = 0;  // 1 while each output is written
  const dvec* ov_source = nullptr;      // overland depth per cell (m)
  const dvec* gw_source = nullptr;      // groundwater head per cell (m), null without groundwater
  const dmat* st_source = nullptr;      // channel discharge [node][link] (m3/s), null without channels
  std::vector<xy_node> points;          // output points in input order
  xy_grid grid;                         // the run's own grid
  xy_grid inset;                        // the inset mask (mask mode)
  std::vector<xy_node> crossings;       // one stream crossing per channel link
  std::string points_file;              // the point file or the inset mask
  std::string ov_file_name, gw_file_name, st_file_name;
  file_wrapper gw_file, ov_file, st_file;

  xy_output() = default;
  xy_output(const xy_output&) = delete;
  xy_output& operator=(const xy_output&) = delete;
  xy_output(xy_output&&) noexcept = default;
  xy_output& operator=(xy_output&&) noexcept = default;
  ~xy_output() { close(); }

  // Reads the output points (`mask_mode`: the boundary cells of the inset
  // mask) against the run's grid, opens the depth and head outputs and
  // writes their headers. A bad inset mask stops the run.
  void open(bool mask_mode, double north, double west, int rows, int cols, double dx, const imat& mask,
            const dvec* ov_depth, const dvec* elevgw);
  // Finds where the channel network of `chan_file` enters the inset mask
  // and opens the stream output. `nx` (computational nodes per link) and
  // `links` bound the crossings that can be written.
  void find_inset_stream_crossings(const std::string& chan_file, const dmat* qp, int links, const ivec& nx);
  // Writes one row of every open output for time `t` (Julian days).
  void write_step(double t);
  // Ends and closes every open output and frees the lists.
  void close();
};

// Pieces of the outputs, for the tests.
bool is_mask_boundary_cell(const xy_grid& g, int r, int c);
void build_mask_boundary(xy_grid& g);
bool segments_intersect(const xy_segment& edge, const xy_segment& stream);
void add_stream_crossing(std::vector<xy_node>& crossings, double x, double y, int link, int node);
// The cells of `g` that value a point (x, y): the block of 2 x 2 cells whose
// centres surround it, or the nearest active cell (distance taken as 1)
// when the point lies in no active cell. Returns the count (1 to 4).
int locate_xy_point_cells(const xy_grid& g, double x, double y, std::array<int, 4>& cells,
                          std::array<double, 4>& distances);
int cell_quadrant(const xy_grid& g, double x, double y);
void set_xy_output_weights(const xy_grid& g, xy_node& p);
double xy_point_value(const xy_node& p, const dvec& values);

}  // namespace kavro
