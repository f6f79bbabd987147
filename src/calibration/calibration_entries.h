// Entries of the calibration modes and the hand-over record between a run
// and a calibrator.
#pragma once

#include <string>

#include "framework/one_based.h"

namespace kavro {

struct main_state;
struct run_context_record;

// Simulated event peaks and volumes handed from a run to its calibrator.
// The row of event e starts after (e - first_event_index) * n_locations:
// slot 1 holds the outlet, slot k + 1 output location k.
struct calib_result_buffer {
  int n_events = 0;                  // events the run may account
  int n_locations = 0;               // output locations + 1; location 0 is the outlet
  dvec peaks{"peaks"};               // [row + slot] simulated event peak (m3/s, or cfs)
  dvec volumes{"volumes"};           // [row + slot] simulated event volume (m3, or ft3)
  dvec loc_peak{"loc_peak"};         // [location] peak of the event being closed
  dvec loc_volume{"loc_volume"};     // [location] volume of the event being closed
};

// Objective callback of the shuffled-complex-evolution and Monte Carlo
// calibrations: one model run with the parameter values `params` (1-based,
// n entries); the score of the run.
using calib_objective_fn = double (*)(const double* params, int n, void* context);
double model_run_objective(const double* params, int n, void* context);

// "-c": shuffled-complex-evolution calibration on an SCE input file.
int run_sce_calibration(run_context_record& ctx, const std::string& sce_input_file);
// "-m": Monte Carlo calibration with `n_runs` runs.
int run_monte_carlo(run_context_record& ctx, int n_runs, const std::string& mc_input_file);

// The Monte Carlo sampler; "-s" runs it directly for the sensitivity mode.
class montecarlo {
 public:
  montecarlo(int n_runs, std::string input_file, run_context_record& ctx);
  // 1 after all runs, 0 when the input file could not be read.
  int run();
  // Prints and writes the best parameter set.
  void report_best();
  calib_objective_fn objective = nullptr;

 private:
  int n_runs_;
  std::string input_file_;
  run_context_record& ctx_;
};

// The calibration tool modes "-slm", "-ms", "-tr" and "-mlsl".
int run_slm(int argc, char** argv);
int run_multistart(int argc, char** argv);
int run_trajectory_repulsion(int argc, char** argv);
int run_mlsl(int argc, char** argv);

// Initialisation step: the run's own result buffer when it feeds a calibrator.
void alloc_calib_result_buffer(main_state& ms);

}  // namespace kavro
