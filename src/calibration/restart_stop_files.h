// The restart file of a Levenberg-Marquardt search (case name + ".rst"),
// rewritten after every optimisation iteration and read back when the tool
// is started again with "/r"; and the stop file "pest.stp", read between
// model runs.
#pragma once

#include "framework/one_based.h"

namespace kavro {

struct pest_control;
struct output_file_names;

// The working state of the optimisation driver that a restart carries over.
struct lm_restart_items {
  dmat jacobian{"jacobian"};            // (nobs + nprior) x n_adjustable: observation rows, then prior rows
  dmat jacobian_best{"jacobian_best"};  // the same shape: copy at the best set
  int iteration = 0;                    // 0 before the initial run, 1 in the first iteration
  double current_phi = 0.0;             // objective of the current parameter set
  double previous_phi = 0.0;            // current_phi at the top of the previous iteration
  dvec phi_history{"phi_history"};      // [1..max(noptmax, 1) + 1] current_phi at the top of each iteration;
                                        // entry 1 is the initial objective
  dvec best_values{"best_values"};      // [1..npar] value of every parameter in the best set
  dvec best_simulated{"best_simulated"};  // [1..nobs] simulated values of the best set
  double best_phi = 0.0;                // lowest objective reached
  int best_iteration = 0;               // iteration that reached best_phi; 0 for the initial objective
  int central_switch = 0;               // 1 once "switch" groups take central differences
  double max_rel_change = 0.0;          // largest relative parameter change of the last iteration
  int n_small_change = 0;               // successive iterations with changes below RELPARSTP
  double last_rel_change = 0.0;         // change of the last parameter examined
  dvec start_values{"start_values"};    // [1..n_adjustable] adjustable values at the start of the iteration
  int model_calls = 0;                  // model runs so far
  int cyclic_cursor = 0;                // round-robin position of the cyclic Jacobian columns
};

// The whole working state of one search: what a restart carries over, and
// the storage that the driver builds afresh at every start.
struct lm_search_state : lm_restart_items {
  double prior_phi = 0.0;       // prior-information part of the latest objective
  int has_switch_group = 0;     // 1 when an adjustable parameter's group has FORCEN "switch"
  int all_at_limits = 0;        // 1 when every adjustable parameter is frozen or set aside
  int stop_flag = 0;            // 1 when a termination test ended the search
  ivec adjustable_list{"adjustable_list"};  // [1..n_adjustable] index in pars of each adjustable parameter
  dvec weight_matrix{"weight_matrix"};      // [1..nobs + nprior] the squared weights: the diagonal of the
                                            // weight matrix, which is zero elsewhere
  dmat prior_matrix{"prior_matrix"};        // nprior x n_adjustable: factor of each adjustable parameter
  dvec upgrade{"upgrade"};                  // [1..n_adjustable] upgrade of the current trial
  dmat covariance{"covariance"};            // n_adjustable square: final statistics
  dmat covariance_work{"covariance_work"};  // copy of the covariance that the eigen-decomposition destroys
  dmat correlation{"correlation"};
  dmat eigenvectors{"eigenvectors"};
  dvec eigenvalues{"eigenvalues"};
  // The lambda trials of one iteration (storage for the whole search).
  dvec lambda_phi{"lambda_phi"};              // [1..numlam] objective of each trial
  dvec lambda_used{"lambda_used"};            // [1..numlam] lambda of each trial
  dmat trial_simulated{"trial_simulated"};    // nobs x numlam: outputs of each trial
  dmat trial_upgrades{"trial_upgrades"};      // numlam x n_adjustable: the change each trial applied
  dvec loop_best_simulated{"loop_best_simulated"};  // [1..nobs] outputs of the best trial so far
};

// The objective over the previous one. Before the first iteration there is
// no previous objective (0): the ratio is then infinite, so that the secant
// method's first Jacobian is complete.
double lm_phi_ratio(double current_phi, double previous_phi);

// Deletes and rewrites the restart file rst_name. 0, or 1 after a message
// naming the file when it cannot be written.
int lm_write_restart(const lm_search_state& state, const pest_control& pc, const output_file_names& names);
// Reads the restart file into the state and the control record (algorithm
// settings, simulated values, parameter values, group contributions,
// lambda). Nothing is changed unless the whole file reads and fits the sizes
// of the control file: otherwise 1 after a message naming the file and the
// item. A missing file ends the process with status 1.
int lm_read_restart(lm_search_state& state, pest_control& pc, const output_file_names& names);
// Reads "pest.stp": 1, 2 and 3 end the process with status 0 (the file
// stays); anything else deletes the file. 0 when the search goes on.
int check_stop_file();

}  // namespace kavro
