// The overland-flow block of the run record: face flows of the two solvers,
// their work arrays and the solver state that lives from one routing call to
// the next. Everything here is fresh in every run (a batch or calibration
// run routes exactly like a single run). Per-cell vectors are 1-based by
// active cell with entry 0 kept at 0, so that a missing neighbour (0) reads
// a zero face flow.
#pragma once

#include <vector>

#include "framework/one_based.h"

namespace kavro {

struct time_series;
struct elev_series;

// One overland pump: it takes water from its cell at a rate from a time
// series (kind 1) or from an elevation series of the cell's depth.
struct ov_pump {
  long cell = 0;                              // active cell pumped
  int kind = 0;                               // 1: rate from `rate_series`, else from `depth_curve`
  const time_series* rate_series = nullptr;   // pumping rate (m3/s) against time
  const elev_series* depth_curve = nullptr;   // pumping rate (m3/s) against the cell's depth (m)
};

struct overland_flow_block {
  dvec ov_vol_x{"ov_vol_x"};                // ADE: volume through the right face over the routing span (m3)
  dvec ov_vol_y{"ov_vol_y"};                // ADE: volume through the lower face over the routing span (m3)
  dvec ov_depth_pred{"ov_depth_pred"};      // ADE-PC: predicted depth of the pass (m)
  dvec ov_q_pred{"ov_q_pred"};              // ADE-PC: predictor face flow of the pass (m3/s)
  dvec ov_clip{"ov_clip"};                  // depth added by setting a small negative depth to 0 in the current pass (m), 0 elsewhere
  dvec ov_outflow_depth{"ov_outflow_depth"};  // explicit and ADE-PC: depth the cell gives through its outgoing faces in the current sub-step or pass (m)
  ivec ov_face_flag{"ov_face_flag"};        // explicit: 1 where the cell's face failed the split check in the last sweep; ADE: 1 where a face flow is NaN
  dvec olake_dv{"olake_dv"};                // [overland lake] ADE volume change of the lake over the routing span (m3)
  int ov_faces_flowing = 0;                 // 1 when some face flow exceeds 1e-16 in magnitude (routing step scan)
  int n_ov_routings = 0;                    // routing calls made by the overland routing step in this run
  dvec boundary_value{"boundary_value"};    // [cell] value of the cell's overland boundary at the current time (type's unit)
  std::vector<const time_series*> boundary_series;  // [cell] series of a boundary of type 3 to 5, bound before the time loop, else null
  double ov_outlet_vol_con = 0;             // overland outlet water handed to the constituent transport (m3), run total
  double ade_prev_substep = 0;              // ADE: last sub-step tried (s); 0 until the first call
  double ade_change_factor = 1.0;           // ADE: scale of the per-pass change limit (1 relaxed, halved at every failed pass)
  int ade_ok_steps = 0;                     // ADE: calm starts since the last halving of the change factor
  int ade_step_status = 0;                  // ADE: worst update status of the current sub-step (0 ok, 1 shorten the next)
  int ade_worst_cell = 0;                   // ADE: cell of the largest stability index of the current call, 0 when none
  int explicit_sweep_toggle = 0;            // explicit: 1 when the y sweep runs first in this call
  double explicit_reduced_step = 0;         // explicit: the last reduced sub-step (s)
  int explicit_reduced_calls = 0;           // explicit: calls still to start on the reduced sub-step
  int explicit_reduced_active = 0;          // explicit: 1 while calls run on the reduced sub-step
  dvec explicit_saved_depth{"explicit_saved_depth"};          // explicit: depth at the call's entry (m)
  dvec explicit_qx_sum{"explicit_qx_sum"};                    // explicit: right-face flow x sub-step summed over the call (m3/m)
  dvec explicit_qy_sum{"explicit_qy_sum"};                    // explicit: lower-face flow x sub-step summed over the call (m3/m)
  dvec explicit_saved_lake_elev{"explicit_saved_lake_elev"};  // [lake] explicit: channel-lake level at entry (m)
  dvec explicit_saved_lake_volume{"explicit_saved_lake_volume"};  // [lake] explicit: channel-lake volume at entry (m3)
  std::vector<ov_pump> ov_pumps;             // the overland pumps, in pumping order (no input fills them yet)
  std::vector<double> ov_sum_chunks;        // chunk sums of the overland volume sums (made once per run)
};

}  // namespace kavro
