// Model runs of the calibration tool, the Jacobian of the simulated
// observations by finite differences of such runs, and the secant (rank-one)
// correction of the Jacobian after a trial run.
#pragma once

#include <string_view>

#include "calibration/template_instruction_files.h"
#include "framework/one_based.h"

namespace kavro {

struct pest_control;

// Which parameter values a model run writes into "values.in".
enum class run_values {
  current,    // every parameter's value
  perturbed,  // perturbed_value: the first run of a Jacobian column
  perturbed2  // perturbed_value2: the second run of a three-point column
};

// One model run: "values.in" holds the natural value of every parameter in
// control-file order ("%.7E "), the model project runs in this process
// (silently, through `pc.model_plan` or the system's own run), the
// post-model command runs, and the instruction files read the outputs by
// `read_kind` (0 into simulated, 1 into simulated_2, 2 into simulated_3).
// 0, or 1 when "values.in" cannot be written, the model run stopped on an
// error or an output cannot be read (the message names the file): the
// outputs left by an earlier run must not pass for this run's. The caller
// counts the run and checks the stop file.
int lm_run_model(pest_control& pc, int read_kind, std::string_view mode_option, pest_file_handles& instruction_files,
                 run_values values = run_values::current);

// The Jacobian rows of the observations by model runs: each recomputed
// column of an adjustable parameter by a forward difference (one run) or a
// three-point derivative (two runs), in transformed units. Columns the
// secant method leaves to the rank-one update keep their contents. Raises
// `model_calls` per run and checks the stop file after each. 0; 1 for a
// "best_fit" three-point group or a run whose outputs could not be read.
int lm_jacobian_runs(pest_control& pc, const ivec& adjustable_list, dmat& jacobian, int& model_calls,
                     int central_switch, pest_file_handles& instruction_files, int iteration, int& cyclic_cursor,
                     std::string_view mode_option);

// The model runs the Jacobian of this iteration costs; `cyclic_list` holds
// the parameters of the secant method's cyclic columns (1..cyclic_columns)
// when that case applies. 0.
int lm_count_jacobian_runs(const pest_control& pc, int central_switch, const ivec& cyclic_list, int iteration,
                           int& run_count);

// Broyden's rank-one correction: the Jacobian changes by the least amount
// that maps the trial's parameter change (value - previous_value of the
// adjustable parameters) onto its output change (simulated_2 - simulated)
// and onto the change of the prior-information values. A trial that changed
// no parameter leaves the Jacobian as it is. 0.
int lm_secant_update(pest_control& pc, dmat& jacobian, const dmat& prior_matrix);

}  // namespace kavro
