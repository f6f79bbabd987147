// Helpers of the in-process tests of the run clock and the event cycle: a
// fresh run record, the driver's step check and captured console output.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/run_clock.h"

namespace kavro {

// A new record (its constructor gives the empty state), with a clean error record.
inline std::unique_ptr<main_state> new_record() {
  error_rec.code = error_rec.stop = error_rec.fatal = 0;
  run_log_file = nullptr;
  return std::make_unique<main_state>();
}

// The run driver's check after a step: reports a pending code; true when the run stops.
inline bool driver_check() {
  if (error_rec.code > 0) report_error(error_rec);
  return error_rec.stop != 0;
}

// What `f` printed on standard output.
template <class F>
std::string printed_by(F&& f) {
  testing::internal::CaptureStdout();
  std::forward<F>(f)();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

inline int occurrences(const std::string& text, const std::string& part) {
  int n = 0;
  for (auto p = text.find(part); p != std::string::npos; p = text.find(part, p + part.size())) ++n;
  return n;
}

// One row of n active cells of size dx, every per-cell array the event
// steps read allocated and zero.
inline void make_cells(main_state& ms, int n, double dx) {
  ms.n_cells = n;
  ms.dx = dx;
  ms.rows = ms.map_rows = 1;
  ms.cols = ms.map_cols = n;
  ms.mask.allocate(2, n + 1);
  for (int c = 1; c <= n; ++c) ms.mask[1][c] = c;
  for (dvec* v : {&ms.ov_depth,       &ms.ov_aux_depth,         &ms.elevation,     &ms.cum_infil,
                  &ms.cum_infil_prev, &ms.cum_infil_depth,      &ms.infil_rate,    &ms.porosity,
                  &ms.residual_sat,   &ms.residual_moisture,    &ms.init_moisture, &ms.conductivity,
                  &ms.dist_rough,     &ms.exchange_map_values,  &ms.soil_layer_cm, &ms.soil_water_cm,
                  &ms.soil_water2_cm, &ms.soil_column_water_cm, &ms.elevgw,        &ms.gw_inf_redist_theta,
                  &ms.wetdep})
    v->allocate(n);
  ms.soiltype.allocate(n);
}

// A single-event (or long-term) clock at `start` with a step of dt seconds.
inline void start_clock(main_state& ms, double start, double dt) {
  ms.dt = ms.dt_base = dt;
  ms.dt_days = dt / 86400.0;
  ms.time_tol = 1.1574074074074074e-07;
  ms.now = ms.start_time = ms.loop_start_time = start;
  ms.precip_interval = dt;
  ms.precip_period = ms.dt_days;
}

}  // namespace kavro
