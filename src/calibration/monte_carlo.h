// Monte Carlo calibration: parameter sets drawn uniformly inside their
// ranges, one model run each, the set of smallest absolute cost kept.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "calibration/calib_objective.h"
#include "framework/file_wrapper.h"
#include "framework/one_based.h"

namespace kavro {

struct run_context_record;
struct run_plan;

// The values of every cooperating process, `count` from each; there is one
// process, so a copy of its own values.
std::vector<double> run_context_gather(int count, const double* values);

class montecarlo {
 public:
  // Reads the input file and the observation file. Draws come from the
  // standard generator, seeded with `seed` when given, else with the process
  // rank plus the calendar time. The model runs follow `plan` (null: the
  // system's own run).
  montecarlo(int n_runs, const std::string& input_file, run_context_record& ctx,
             std::optional<unsigned> seed = std::nullopt, const run_plan* plan = nullptr);
  virtual ~montecarlo();
  montecarlo(const montecarlo&) = delete;
  montecarlo& operator=(const montecarlo&) = delete;

  virtual int read_input_file(const std::string& file);
  virtual void sample_parameters();
  // The runs; 1 when they were made, 0 when the inputs did not allow a run.
  int run();
  void log_run(double cost);
  void report_best();

  int sampling = 0;                      // 1 when parameters are drawn
  int process_id = 0;                    // this process in the run context
  run_context_record& context;
  calib_objective objective;
  file_wrapper log_file;                 // "log_file_p%d.log"
  std::string project_file;              // project of the model runs (line 1)
  std::string list_file;                 // replacement-parameter list (line 2)
  std::string obs_file;                  // observation file (line 3)
  int runs = 0;                          // model runs to make
  int n_params = 0;
  dvec min{"min"};                       // [parameter] lower end of the range
  dvec max{"max"};                       // [parameter] upper end (never drawn)
  int input_ok = 0;                      // 1 when the input file was read
  int observations_ok = 0;               // 1 when the observation file was read
  dvec sample{"sample"};                 // [0..n_params] parameter set of the current run; cell 0 is 0
  dvec best_params{"best_params"};       // [parameter] best set so far
  double best_cost = 0.0;
  calib_objective_fn objective_callback = nullptr;

 private:
  std::vector<std::string> keys_;        // keys of the list file, for the run-log header
};

}  // namespace kavro
