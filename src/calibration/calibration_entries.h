// Entries of the calibration modes and the hand-over record between a run
// and a calibrator.
#pragma once

#include <string>

#include "framework/one_based.h"

namespace kavro {

struct main_state;

// Simulated event peaks and volumes handed from a run to its calibrator.
// The row of event e starts after (e - first_event_index) * n_locations:
// slot 1 holds the outlet, slot k + 1 output location k. Sized for rows 0
// to the last precipitation event (at least 1), zero-filled.
struct calib_result_buffer {
  int n_events = 0;                  // events the run may account
  int n_locations = 0;               // output locations + 1; location 0 is the outlet
  dvec peaks{"peaks"};               // [row + slot] simulated event peak (m3/s, or cfs)
  dvec volumes{"volumes"};           // [row + slot] simulated event volume (m3, or ft3)
  dvec loc_peak{"loc_peak"};         // [location] peak of the event being closed
  dvec loc_volume{"loc_volume"};     // [location] volume of the event being closed
};

struct run_plan;

// "-c": shuffled-complex-evolution calibration on an SCE input file. 1 when
// the search ran, 0 when it could not. The model runs follow `plan` (the
// system's own run when null).
int run_sce_calibration(const std::string& sce_input_file, const run_plan* plan = nullptr);
// "-m": Monte Carlo calibration with `n_runs` runs; 1 when the runs were made.
int run_monte_carlo(int n_runs, const std::string& mc_input_file, const run_plan* plan = nullptr);

// The calibration tool modes "-slm", "-ms", "-tr" and "-mlsl" on the
// control file argv[2]; 0, or 1 when the mode could not run or one of its
// searches failed. The model runs follow `plan` (the system's own run when
// null).
int run_slm(int argc, char** argv, const run_plan* plan = nullptr);
int run_multistart(int argc, char** argv, const run_plan* plan = nullptr);
int run_trajectory_repulsion(int argc, char** argv, const run_plan* plan = nullptr);
int run_mlsl(int argc, char** argv, const run_plan* plan = nullptr);

// Initialisation step: the run's own result buffer when it feeds a calibrator.
void alloc_calib_result_buffer(main_state& ms);

}  // namespace kavro
