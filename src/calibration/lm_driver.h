// The Levenberg-Marquardt optimisation driver of the calibration tool: one
// search from the control file's starting values (or from a restart file),
// with its initial model run, its iterations of Jacobian and lambda trials,
// the termination tests, the final run with the best parameter set, and the
// closing statistics in the record file. The global searches run it through
// two variants that share a table of visited points and stop a search that
// comes close to one of them.
#pragma once

#include <cstdio>

#include "calibration/template_instruction_files.h"
#include "framework/one_based.h"

namespace kavro {

struct pest_control;
struct par_rec;
struct output_file_names;
struct lm_search_state;

// One search. argv[1] is the mode option (the model runs are silent under
// it), argv[3] may be "/r" (resume from the restart file). The case files
// are open; the record header is written. 0 after a complete search,
// otherwise the first non-zero result of a step, after which no further
// model run is made.
int lm_optimise(int argc, char** argv, pest_control& pc, const output_file_names& names, std::FILE* rec,
                std::FILE* sen, std::FILE* mtt, std::FILE* par, pest_file_handles& template_files,
                pest_file_handles& instruction_files);

// The search of a trajectory-repulsion run. point_table (npar rows) holds
// the visited points in transformed values, point_count the columns in use;
// the caller stores the search's start in a new column first. The search
// appends the set of each iteration after the first and stops when it comes
// within PROXIMITY_DISTANCE (scaled by the bounds) of a point stored before
// it began; it writes no "jac.txt". run_calls receives its model runs on
// every return.
int lm_optimise_tr(int argc, char** argv, pest_control& pc, const output_file_names& names, std::FILE* rec,
                   std::FILE* sen, std::FILE* mtt, std::FILE* par, pest_file_handles& template_files,
                   pest_file_handles& instruction_files, dmat& point_table, int& point_count, int& run_calls);
// The same for multi-level single linkage: point_phi[c] receives the
// objective of each point the search stores (its start included), and the
// relative parameter change is taken on the transformed (log10) values.
int lm_optimise_mlsl(int argc, char** argv, pest_control& pc, const output_file_names& names, std::FILE* rec,
                     std::FILE* sen, std::FILE* mtt, std::FILE* par, pest_file_handles& template_files,
                     pest_file_handles& instruction_files, dmat& point_table, dvec& point_phi, int& point_count,
                     int& run_calls);

// Whether the current parameter set lies near one of the points 1..n of
// point_table: the distance over every parameter, each difference divided by
// the parameter's bound range (parameters whose bounds coincide are left
// out), between 1e-10 and PROXIMITY_DISTANCE (both strict). stop_flag 1 when
// it does, else 0. 0.
int lm_near_previous(int n, const dmat& point_table, const pest_control& pc, int& stop_flag);

// The termination tests at the top of an iteration (objective zero, the
// NPHISTP lowest objectives close together, NPHINORED iterations without a
// new best, NRELPAR iterations of small change). The first that holds writes
// its lines and the model-call count to the console and `rec` and sets
// stop_flag to 1. phi_history holds entries 1..iteration. 0.
int lm_stop_tests(std::FILE* rec, int iteration, int best_iteration, int n_small_change, const dvec& phi_history,
                  double best_phi, double current_phi, const pest_control& pc, int& stop_flag, int model_calls);

// stop_flag after the lambda tests when no trial has an objective at or
// below 1e30 (objectives that are not numbers count as above): the search
// keeps the set it started the iteration from.
constexpr int lm_keep_starting_set = -1;

// The tests after lambda trial `trial_count` (objectives in lambda_phi
// 1..trial_count, start_phi the objective the iteration started from). The
// first that holds writes its line to the console and `rec` and sets
// stop_flag to the trial to keep (or lm_keep_starting_set); stop_flag is left
// as it is (0) when the trials go on. 0.
int lm_lambda_stop_tests(std::FILE* rec, double start_phi, int trial_count, const dvec& lambda_phi,
                         const pest_control& pc, int& stop_flag);

// The lambda of the next trial into pc.rlambda1, from the objective of the
// latest trial: lower by RLAMFAC while the objective falls, and, after a
// failed first decrease, up from the first lambda. 0.
int lm_adjust_lambda(double first_lambda, double& previous_lambda, int& lambda_reversed, double latest_phi,
                     const dvec& lambda_phi, int trial_count, pest_control& pc);

// The relative change of an adjustable parameter from its iteration start
// `start` (transformed) to its value: in natural units, or in log10 units
// when `transformed`; a start of 0 counts the absolute change.
double lm_relative_change(const par_rec& p, double start, bool transformed);

// The objective of the latest run of read kind `which` (0 the base set, 1 a
// trial): the group contributions plus the prior-information part, which is
// kept in state.prior_phi.
double lm_objective(pest_control& pc, lm_search_state& state, int which);

}  // namespace kavro
