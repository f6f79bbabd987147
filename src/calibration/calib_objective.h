// The score of one model run of the shuffled-complex-evolution and Monte
// Carlo calibrations: observed event peaks and volumes, the six criteria that
// compare the simulated ones with them, and the result of every run kept for
// "results_all.out".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "framework/one_based.h"

namespace kavro {

struct run_plan;

// Failure values of the criteria: an absent series or a missing simulated
// value, and a maximum over no weighted row.
inline constexpr double calib_failed_cost = 999999.99;
inline constexpr double calib_failed_maximum = -99999.999;
// A simulated cell below this holds no value (the hand-over marks a location
// that saw no event with -999.99).
inline constexpr double calib_missing_below = -1e-16;
// The value a cell beyond the end of the simulated series reads as.
inline constexpr double calib_missing_value = -999.99;
// A weight above this switches a row's peak or volume on.
inline constexpr double calib_weight_on = 1e-6;

// One scored parameter set.
struct calib_result {
  double cost = 0.0;
  double hmle = 0.0;
  double rmse = 0.0;
  double max_peak = 0.0;
  double max_volume = 0.0;
  double log_error = 0.0;
  std::vector<double> params;  // [1..n_params] own copy of the parameter set; cell 0 unused
  int n_params = 0;
};

// The results of the current model run: every result in the order added and
// six lists of positions in it ranked by criterion. A run adds one result and
// the lists are reset after it is written, so each list holds one entry when
// "results_all.out" is written.
struct calib_result_lists {
  std::vector<calib_result> all_results;
  std::vector<std::size_t> by_cost, by_hmle, by_rmse, by_max_peak, by_max_volume, by_log_error;

  void add(double cost, double hmle, double rmse, double log_error, double max_peak, double max_volume,
           const double* params, int n_params);
  // Appends the rows of by_max_volume to `file` (the header first when the
  // file does not exist yet); 0, or -1 when it cannot be opened.
  int write(const std::string& file) const;
  // Results of other processes; there is always one process, so nothing comes.
  void merge(int n_processes);
  void reset();
  void clear() { reset(); }
};

// Observations and criteria of a calibration, and the plan its model runs follow.
struct calib_objective {
  double hmle = 0.0;               // heteroscedastic maximum-likelihood estimator of the last run
  double rmse = 0.0;               // root of summed squared errors of the last run
  double log_error = 0.0;          // summed absolute log differences of the last run
  double max_peak = 0.0;           // largest simulated peak among the peak-weighted rows
  double max_volume = 0.0;         // largest simulated volume among the volume-weighted rows
  double cost = 0.0;               // weighted relative peak/volume cost of the last run
  dvec obs_peak{"obs_peak"};       // [row] observed peak (m3/s, ft3/s with QOUT_CFS)
  dvec obs_volume{"obs_volume"};   // [row] observed volume (m3, ft3 with QOUT_CFS)
  dvec peak_weight{"peak_weight"};
  dvec volume_weight{"volume_weight"};
  int n_obs = 0;                   // observation rows
  double peak_volume_scale = 1.0;  // largest observed peak / largest observed volume
  calib_result_lists results;      // the scored result of the current run
  const run_plan* plan = nullptr;  // steps of the model runs; null: the system's own run
  int n_model_runs = 0;            // model runs made for the calibration
  int n_runs_ended_normally = 0;   // those that did not stop on an error

  // Reads the observation file: 1 when all rows were read, else -1 (error
  // 135 set for a row of fewer than four values). Prints nothing.
  int read_observations(const std::string& file);
  // Scores a run, appends "%d_cost.out" and "%d_obs.log" and adds the result
  // to the lists; the cost.
  double evaluate(const dvec& peaks, const dvec& volumes, int rank, int n_params, const double* params);
  // Appends the run's result to "results_all.out" and empties the lists.
  void record_results(int rank, int process_id, int no_sampling, int group_value, int n_processes, int n_runs,
                      int runs_per_process);
  // The event table of a scored run, appended to "%d_obs.log".
  void log_event_table(const dvec& peaks, const dvec& volumes, int rank) const;
  void refresh_peak_volume_scale();
  void destroy();
};

// The criteria; each takes the simulated series (empty = absent).
double peak_volume_cost(calib_objective& obj, const dvec& peaks, const dvec& volumes, int rank);
double calib_rmse(calib_objective& obj, const dvec& peaks, const dvec& volumes);
double calib_log_error(calib_objective& obj, const dvec& peaks, const dvec& volumes);
double max_peak_criterion(calib_objective& obj, const dvec& peaks);
double max_volume_criterion(calib_objective& obj, const dvec& volumes);
double hmle_objective(calib_objective& obj, const dvec& peaks, const dvec& volumes);
// The exponent in [0.1, 3] where g(lambda) is nearest 0, by golden section.
double hmle_lambda_search(const std::vector<double>& q, const std::vector<double>& e, const std::vector<double>& r);

// The message of a calibration whose observation file cannot be read.
void print_observation_file_error(const std::string& file);

// True when the file that opening `name` for writing would give (with the
// run-number prefix while it is on) exists already. Creates nothing.
bool output_file_exists(const std::string& name);

// The objective callback of both calibrations: one model run with the
// 1-based parameter values `params`, scored by `objective`.
using calib_objective_fn = double (*)(const std::string& list_file, const std::string& project_file,
                                      const double* params, calib_objective& objective, int n_params,
                                      std::string_view mode_text);
// After a calibration: false, with a message, when model runs were made and
// none of them ended normally (there are then no results to report).
bool calibration_has_results(const calib_objective& objective);

// False, with a message, when the project file of a calibration cannot be
// opened: no model run could use it.
bool calibration_project_opens(const std::string& project_file, const std::string& input_file);

double model_run_objective(const std::string& list_file, const std::string& project_file, const double* params,
                           calib_objective& objective, int n_params, std::string_view mode_text);

// The keys of the replacement-parameter list file, in file order. The list
// itself is left empty, as a run's teardown leaves it.
std::vector<std::string> list_file_keys(const std::string& list_file);
// True when the list file holds `n_params` pairs; otherwise prints a message
// naming the file and both counts.
bool list_matches_parameters(const std::string& list_file, const std::vector<std::string>& keys, int n_params);

}  // namespace kavro
