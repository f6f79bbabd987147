#include "calibration/lm_driver.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "calibration/case_record.h"
#include "calibration/lm_jacobian.h"
#include "calibration/lm_statistics.h"
#include "calibration/lm_upgrade.h"
#include "calibration/numeric_toolkit.h"
#include "calibration/objective_components.h"
#include "calibration/pest_control.h"
#include "calibration/restart_stop_files.h"

namespace kavro {

double lm_objective(pest_control& pc, lm_search_state& state, int which) {
  double phi = 0.0;
  lm_group_phi(pc, which, phi);
  state.prior_phi = 0.0;
  if (pc.nprior > 0) lm_prior_phi(pc, state.prior_matrix, state.prior_phi);
  return phi + state.prior_phi;
}

double lm_relative_change(const par_rec& p, double start, bool transformed) {
  const double s = transformed ? start : natural_value(p, start);
  const double v = transformed ? p.value : natural_value(p);
  return s != 0.0 ? std::fabs((s - v) / s) : std::fabs(s - v);
}

namespace {

constexpr double bound_snap = 1e-8;
// Objectives above this (and those that are not numbers) are no result.
constexpr double unusable_phi = 1e30;

// (a - b) / a, the relative fall from a to b; a zero a gives no fall (the
// objective was zero, which ends the search before this is asked).
double relative_fall(double a, double b) { return a != 0.0 ? (a - b) / a : 0.0; }

// a / b for the report lines; b is an objective and 0 only when the search
// is complete.
double quotient(double a, double b) {
  if (b != 0.0) return a / b;
  return a == 0.0 ? std::numeric_limits<double>::quiet_NaN() : std::numeric_limits<double>::infinity();
}

void copy_matrix(const dmat& from, int rows, int cols, dmat& to) {
  for (int i = 1; i <= rows; ++i)
    for (int j = 1; j <= cols; ++j) to[i][j] = from[i][j];
}

// Both to the console and to the record file.
template <class... Args>
void say(std::FILE* rec, const char* format, Args... args) {
  if constexpr (sizeof...(Args) == 0) {  // a plain line: no format to read
    std::fputs(format, stdout);
    if (rec) std::fputs(format, rec);
  } else {
    std::printf(format, args...);
    if (rec) std::fprintf(rec, format, args...);
  }
}

// The parameter file holds one natural value per line; it is rewritten from
// its start, and cut where the new contents end, so no line of an earlier,
// longer contents is left behind.
void rewrite_par_file(std::FILE* par, const pest_control& pc, const dvec& values) {
  if (!par) return;
  std::rewind(par);
  for (int k = 1; k <= pc.npar; ++k) std::fprintf(par, "%lf\n", natural_value(pc.pars[k], values[k]));
  std::fflush(par);
  const long end = std::ftell(par);
  if (end >= 0) {
    const int ignored = ftruncate(fileno(par), end);
    static_cast<void>(ignored);
  }
}

// Every tied parameter at its parent's natural value times its ratio.
void follow_parents(pest_control& pc) {
  for (int k = 1; k <= pc.npar; ++k) {
    par_rec& p = pc.pars[k];
    if (p.tie_parent_index > 0) p.value = natural_value(pc.pars[p.tie_parent_index]) * p.tie_ratio;
  }
}

// What the global searches add to a search.
struct search_variant {
  dmat* point_table = nullptr;
  dvec* point_phi = nullptr;  // multi-level single linkage only
  int* point_count = nullptr;
  bool log_relative_change = false;  // relative change on log10 values
};

// One search: its files, its mode option and its working state.
class search {
 public:
  search(pest_control& pc, const output_file_names& names, std::FILE* rec, std::FILE* sen, std::FILE* par,
         pest_file_handles& instruction_files, std::string mode_option, bool resume, const search_variant* variant)
      : pc_(pc), names_(names), rec_(rec), sen_(sen), par_(par), ins_(instruction_files),
        mode_option_(std::move(mode_option)), resume_(resume), variant_(variant) {}

  int run() {
    allocate();
    if (const int rc = set_up()) return rc;
    const int entry_count = variant_ ? *variant_->point_count : 0;
    if (!resume_) {
      if (const int rc = initial_run()) return rc;
      if (variant_ && variant_->point_phi && *variant_->point_count >= 1)
        (*variant_->point_phi)[*variant_->point_count] = st_.current_phi;
      if (pc_.noptmax == 0) {
        final_statistics();
        return 0;
      }
    }
    for (bool first_pass = true;; first_pass = false) {
      if (first_pass && resume_ && st_.iteration == 0) {
        if (const int rc = lm_read_restart(st_, pc_, names_)) return rc;
        if (rec_) std::fprintf(rec_, "\n\n                             .....RESTART.....\n\n");
        // Stopped after the last iteration's restart file was written: what
        // remains is the ending.
        if (pc_.noptmax >= 1 && st_.iteration > pc_.noptmax) {
          if (const int rc = limit_ending()) return rc;
          break;
        }
      }
      if (const int rc = iteration_top()) return rc;
      if (pc_.noptmax != -1) {
        st_.stop_flag = 0;
        lm_stop_tests(rec_, st_.iteration, st_.best_iteration, st_.n_small_change, st_.phi_history, st_.best_phi,
                      st_.current_phi, pc_, st_.stop_flag, st_.model_calls);
        if (st_.stop_flag != 0) return stop_ending();
      }
      if (variant_ && st_.iteration > 1) {
        // Only the points stored before this search began repel it: its own
        // start and its own trajectory do not.
        int near = 0;
        lm_near_previous(entry_count - 1, *variant_->point_table, pc_, near);
        if (near != 0) return stop_ending();
      }
      if (const int rc = jacobian_step()) return rc;
      if (pc_.noptmax >= 1)
        if (const int rc = lambda_search()) return rc;
      ++st_.iteration;
      relative_change();
      if (pc_.rstfle == "restart" && pc_.noptmax >= 1)
        if (const int rc = lm_write_restart(st_, pc_, names_)) return rc;
      if (st_.iteration <= pc_.noptmax && st_.all_at_limits == 0) continue;
      if (st_.all_at_limits != 0 || pc_.noptmax != -1) {
        if (const int rc = limit_ending()) return rc;
      } else {
        // One iteration without upgrade trials: its Jacobian is the result,
        // and no final run follows.
        copy_matrix(st_.jacobian, rows(), n(), st_.jacobian_best);
      }
      break;
    }
    final_statistics();
    return 0;
  }

  int model_calls() const { return st_.model_calls; }

 private:
  int n() const { return pc_.n_adjustable; }
  int rows() const { return pc_.nobs + pc_.nprior; }
  // Room for one trial at least (the control-file reader refuses NUMLAM below 1).
  int numlam() const { return pc_.numlam < 1 ? 1 : pc_.numlam; }

  void allocate() {
    st_.jacobian = matrix(1, rows(), 1, n());
    st_.jacobian_best = matrix(1, rows(), 1, n());
    st_.best_values = dvector(1, pc_.npar);
    st_.best_simulated = dvector(1, pc_.nobs);
    st_.start_values = dvector(1, n());
    // Entry 1 (the initial objective) and the top of every iteration; the
    // one iteration of NOPTMAX -1 and below is tested against entry 1 too.
    st_.phi_history.allocate(static_cast<long>(pc_.noptmax >= 1 ? pc_.noptmax : 1) + 1);
    st_.adjustable_list = ivector(1, n());
    st_.weight_matrix = dvector(1, rows());
    if (pc_.nprior >= 1) st_.prior_matrix = matrix(1, pc_.nprior, 1, n());
    st_.upgrade = dvector(1, n());
    st_.covariance = matrix(1, n(), 1, n());
    st_.covariance_work = matrix(1, n(), 1, n());
    st_.correlation = matrix(1, n(), 1, n());
    st_.eigenvectors = matrix(1, n(), 1, n());
    st_.eigenvalues = dvector(1, n());
    if (pc_.noptmax >= 1) {
      st_.lambda_phi = dvector(1, numlam());
      st_.lambda_used = dvector(1, numlam());
      st_.trial_simulated = matrix(1, pc_.nobs, 1, numlam());
      st_.trial_upgrades = matrix(1, numlam(), 1, n());
      st_.loop_best_simulated = dvector(1, pc_.nobs);
    }
  }

  const par_group_rec* group_of(const par_rec& p) const {
    for (int g = 1; g <= pc_.npargp; ++g)
      if (pc_.par_groups[g].name == p.group) return &pc_.par_groups[g];
    return nullptr;
  }

  // The adjustable number of the first adjustable parameter named `name`; 0 when none.
  int adjustable_number(const std::string& name) const {
    for (int a = 1; a <= n(); ++a)
      if (pc_.pars[st_.adjustable_list[a]].name == name) return a;
    return 0;
  }

  int set_up() {
    for (int k = 1; k <= pc_.npar && st_.has_switch_group == 0; ++k) {
      if (!pest_is_adjustable(pc_.pars[k])) continue;
      const par_group_rec* g = group_of(pc_.pars[k]);
      if (g && g->forcen == "switch") st_.has_switch_group = 1;
    }
    if (const int rc = lm_adjustable_list(pc_, st_.adjustable_list)) return rc;
    for (int k = 1; k <= pc_.npar; ++k) {
      par_rec& p = pc_.pars[k];
      p.at_upper = p.at_lower = p.frozen = p.insensitive = 0;
      p.sensitivity = 0.0;
      st_.best_values[k] = p.value;
    }
    pc_.n_insensitive = 0;
    // The prior-information rows: the factor of each adjustable parameter
    // named in an equation; they never change afterwards.
    for (int i = 1; i <= pc_.nprior; ++i) {
      const prior_rec& pr = pc_.priors[i];
      for (int t = 1; t <= pr.n_terms; ++t) {
        const int a = adjustable_number(pr.par_names[t]);
        if (a == 0) continue;
        st_.jacobian[pc_.nobs + i][a] = pr.factors[t];
        st_.jacobian_best[pc_.nobs + i][a] = pr.factors[t];
        st_.prior_matrix[i][a] = pr.factors[t];
      }
    }
    for (int i = 1; i <= pc_.nobs; ++i) st_.weight_matrix[i] = pc_.obs[i].weight * pc_.obs[i].weight;
    for (int k = 1; k <= pc_.nprior; ++k)
      st_.weight_matrix[pc_.nobs + k] = pc_.priors[k].weight * pc_.priors[k].weight;
    return 0;
  }

  // A run of the current values, counted, with the stop file checked after it.
  int counted_run(int read_kind) {
    const int rc = lm_run_model(pc_, read_kind, mode_option_, ins_);
    ++st_.model_calls;
    check_stop_file();
    return rc;
  }

  int initial_run() {
    if (const int rc = counted_run(0)) return rc;
    st_.current_phi = lm_objective(pc_, st_, 0);
    for (int i = 1; i <= pc_.nobs; ++i) st_.best_simulated[i] = pc_.obs[i].simulated;
    st_.best_phi = st_.current_phi;
    lm_print_run_record(st_.current_phi, st_.current_phi, st_.current_phi, pc_, names_);
    lm_record_initial(rec_, par_, st_.current_phi, st_.current_phi, st_.current_phi, pc_);
    st_.iteration = 1;
    st_.phi_history[1] = st_.current_phi;
    return 0;
  }

  int iteration_top() {
    pc_.n_frozen = 0;
    pc_.n_insensitive = 0;
    for (int k = 1; k <= pc_.npar; ++k) {
      par_rec& p = pc_.pars[k];
      p.insensitive = 0;
      if (std::fabs(p.value - p.upper_bound) < bound_snap) p.value = p.upper_bound;
      if (std::fabs(p.value - p.lower_bound) < bound_snap) p.value = p.lower_bound;
      p.at_upper = p.value >= p.upper_bound ? 1 : 0;
      p.at_lower = p.value <= p.lower_bound ? 1 : 0;
      p.frozen = 0;
    }
    pc_.phi_ratio = lm_phi_ratio(st_.current_phi, st_.previous_phi);
    st_.previous_phi = st_.current_phi;
    if (st_.iteration <= st_.phi_history.size()) st_.phi_history[st_.iteration] = st_.current_phi;
    if (st_.current_phi < st_.best_phi) {
      st_.best_phi = st_.current_phi;
      st_.best_iteration = st_.iteration - 1;
      for (int k = 1; k <= pc_.npar; ++k) st_.best_values[k] = pc_.pars[k].value;
      for (int i = 1; i <= pc_.nobs; ++i) st_.best_simulated[i] = pc_.obs[i].simulated_2;
      rewrite_par_file(par_, pc_, st_.best_values);
      copy_matrix(st_.jacobian, rows(), n(), st_.jacobian_best);
    }
    if (variant_ && st_.iteration > 1)
      if (const int rc = store_point()) return rc;
    if (st_.central_switch == 0 && st_.has_switch_group == 1 && st_.iteration > 1 &&
        pc_.phiredswh >= relative_fall(st_.phi_history[st_.iteration - 1], st_.phi_history[st_.iteration]))
      st_.central_switch = 1;
    if (st_.iteration > 1)
      for (int i = 1; i <= pc_.nobs; ++i) pc_.obs[i].simulated = pc_.obs[i].simulated_2;
    int a = 0;
    for (int k = 1; k <= pc_.npar; ++k) {
      par_rec& p = pc_.pars[k];
      p.previous_value = p.value;
      if (pest_is_adjustable(p)) st_.start_values[++a] = p.value;
    }
    return 0;
  }

  // The set at the top of this iteration as a new column of the point table
  // (every parameter's row, so that distances never read an unwritten
  // entry), with its objective for multi-level single linkage.
  int store_point() {
    dmat& table = *variant_->point_table;
    int& count = *variant_->point_count;
    if (count + 1 > table.size2()) {
      std::printf("Error: the table of visited parameter sets is full (%ld columns).\n", table.size2());
      return 1;
    }
    ++count;
    for (int k = 1; k <= pc_.npar; ++k) table[k][count] = pc_.pars[k].value;
    if (variant_->point_phi) (*variant_->point_phi)[count] = st_.current_phi;
    return 0;
  }

  int jacobian_step() {
    lm_print_iteration_header(pc_, st_.iteration, st_.model_calls, st_.current_phi, st_.current_phi,
                              st_.current_phi);
    lm_record_iteration_header(pc_, rec_, st_.iteration, st_.model_calls, st_.current_phi, st_.current_phi,
                               st_.current_phi);
    const int rc = lm_jacobian_runs(pc_, st_.adjustable_list, st_.jacobian, st_.model_calls, st_.central_switch,
                                    ins_, st_.iteration, st_.cyclic_cursor, mode_option_);
    // The global searches keep no Jacobian file.
    std::FILE* jac = variant_ ? nullptr : std::fopen("jac.txt", "w");
    if (rc != 0) {
      if (jac) std::fclose(jac);
      return rc;
    }
    if (st_.iteration == 1) copy_matrix(st_.jacobian, rows(), n(), st_.jacobian_best);
    lm_report_insensitive(pc_, st_.jacobian, st_.prior_matrix, rec_);
    lm_write_sensitivities(pc_, st_.jacobian, st_.prior_matrix, names_, st_.iteration, sen_, 0);
    if (variant_) return 0;
    if (!jac) {
      std::printf("Error: cannot write the Jacobian file jac.txt.\n");
      return 1;
    }
    for (int i = 1; i <= rows(); ++i) {
      for (int j = 1; j <= n(); ++j) std::fprintf(jac, "%lf\t", st_.jacobian[i][j]);
      std::fprintf(jac, "\n");
    }
    std::fclose(jac);
    return 0;
  }

  // --- The lambda trials of one iteration -----------------------------------

  // The adjustable parameters at the iteration's start plus `upgrade_row` of
  // trial_upgrades (none: the start itself); tied parameters follow.
  void set_trial_values(int trial) {
    int a = 0;
    for (int k = 1; k <= pc_.npar; ++k) {
      par_rec& p = pc_.pars[k];
      if (!pest_is_adjustable(p)) continue;
      ++a;
      p.value = st_.start_values[a] + (trial > 0 ? st_.trial_upgrades[trial][a] : 0.0);
    }
    follow_parents(pc_);
  }

  void set_trial_outputs(const dvec& outputs) {
    for (int i = 1; i <= pc_.nobs; ++i) pc_.obs[i].simulated_2 = outputs[i];
  }

  int lambda_search() {
    const double start_phi = st_.current_phi;
    const double first_lambda = pc_.rlambda1;
    double previous_lambda = pc_.rlambda1;
    int lambda_reversed = 0;
    int trial_count = 0;
    double loop_best_phi = start_phi;
    int loop_best_trial = 0;
    for (int i = 1; i <= pc_.nobs; ++i) st_.loop_best_simulated[i] = pc_.obs[i].simulated;
    int keep = 0;
    while (keep == 0) {
      lm_trial_upgrade(st_.jacobian, st_.prior_matrix, st_.weight_matrix, pc_, st_.upgrade, st_.adjustable_list,
                       rec_);
      if (pc_.n_frozen + pc_.n_insensitive == n()) {
        st_.all_at_limits = 1;
        // The upgrade just made was never run: the search goes on from the
        // best trial when one beat the starting objective, otherwise from
        // the starting set, values, outputs and objective alike.
        set_trial_values(loop_best_trial);
        if (loop_best_trial > 0)
          set_trial_outputs(st_.loop_best_simulated);
        else
          for (int i = 1; i <= pc_.nobs; ++i) pc_.obs[i].simulated_2 = pc_.obs[i].simulated;
        st_.current_phi = lm_objective(pc_, st_, 1);
        return 0;
      }
      say(rec_, "\n");
      say(rec_, "\tLambda = %E ----->\n", pc_.rlambda1);
      say(rec_, "\trunning model ...\n");
      if (const int rc = counted_run(1)) return rc;
      st_.current_phi = lm_objective(pc_, st_, 1);
      if (st_.iteration > 1 && pc_.method == 1 &&
          (pc_.full_update == 0 || (pc_.full_update == 1 && pc_.full_update_threshold > pc_.phi_ratio)))
        lm_secant_update(pc_, st_.jacobian, st_.prior_matrix);
      ++trial_count;
      st_.lambda_phi[trial_count] = st_.current_phi;
      st_.lambda_used[trial_count] = pc_.rlambda1;
      for (int i = 1; i <= pc_.nobs; ++i) st_.trial_simulated[i][trial_count] = pc_.obs[i].simulated_2;
      if (st_.current_phi < loop_best_phi) {
        loop_best_phi = st_.current_phi;
        loop_best_trial = trial_count;
        for (int i = 1; i <= pc_.nobs; ++i) st_.loop_best_simulated[i] = pc_.obs[i].simulated_2;
      }
      for (int a = 1; a <= n(); ++a) st_.trial_upgrades[trial_count][a] = st_.upgrade[a];
      say(rec_, "\tPhi =\t%E\t\t(%E of starting phi)\n", st_.current_phi, quotient(st_.current_phi, start_phi));
      say(rec_, "\n");
      lm_lambda_stop_tests(rec_, start_phi, trial_count, st_.lambda_phi, pc_, keep);
      if (keep != 0) break;
      undo_trial();
      lm_adjust_lambda(first_lambda, previous_lambda, lambda_reversed, st_.current_phi, st_.lambda_phi, trial_count,
                       pc_);
    }
    accept(keep, start_phi, trial_count, first_lambda, previous_lambda, lambda_reversed);
    return 0;
  }

  void undo_trial() {
    int a = 0;
    for (int k = 1; k <= pc_.npar; ++k) {
      par_rec& p = pc_.pars[k];
      if (!pest_is_adjustable(p)) continue;
      p.value -= st_.upgrade[++a];
      if (p.value < p.upper_bound && p.at_upper == 1) p.at_upper = 0;
      if (p.value > p.lower_bound && p.at_lower == 1) p.at_lower = 0;
    }
    follow_parents(pc_);
  }

  // The set the iteration ends with: trial c, or the starting set when no
  // trial gave a usable objective (c = lm_keep_starting_set).
  void accept(int c, double start_phi, int trial_count, double first_lambda, double& previous_lambda,
              int& lambda_reversed) {
    const bool starting_set = c == lm_keep_starting_set;
    const bool worse = starting_set || st_.lambda_phi[c] > start_phi;
    if (st_.iteration == 1 && worse && st_.has_switch_group == 1) {
      // No gain in the first iteration: back to the start, and three-point
      // derivatives for the "switch" groups from now on.
      st_.central_switch = 1;
      pc_.rlambda1 = st_.lambda_used[1];
      set_trial_values(0);
      set_trial_outputs(st_.loop_best_simulated);
      lm_objective(pc_, st_, 1);
      st_.current_phi = start_phi;
    } else {
      if (st_.central_switch == 0 && st_.has_switch_group == 1 && st_.iteration > 1 && worse) {
        for (int k = 1; k <= pc_.npar; ++k) pc_.pars[k].value = st_.best_values[k];
        set_trial_outputs(st_.best_simulated);
      } else if (starting_set) {
        set_trial_values(0);
        for (int i = 1; i <= pc_.nobs; ++i) pc_.obs[i].simulated_2 = pc_.obs[i].simulated;
      } else {
        // A trial is taken with its own outputs, above the starting
        // objective or not; the best set is kept apart by the driver.
        set_trial_values(c);
        for (int i = 1; i <= pc_.nobs; ++i) pc_.obs[i].simulated_2 = st_.trial_simulated[i][c];
      }
      st_.current_phi = lm_objective(pc_, st_, 1);
      if (lambda_reversed == 1)
        pc_.rlambda1 = st_.lambda_used[starting_set ? trial_count : c];
      else
        lm_adjust_lambda(first_lambda, previous_lambda, lambda_reversed, st_.current_phi, st_.lambda_phi,
                         trial_count, pc_);
    }
    if (rec_) {
      std::fprintf(rec_, "      Current parameter values                 Previous parameter values\n");
      for (int k = 1; k <= pc_.npar; ++k) {
        const par_rec& p = pc_.pars[k];
        std::fprintf(rec_, "      %s             %10lf                %s               %lf\n", p.name.c_str(),
                     natural_value(p), p.name.c_str(), natural_value(p, p.previous_value));
      }
      std::fprintf(rec_, "\n");
    }
    lambda_reversed = 0;
  }

  // --- End of an iteration and endings --------------------------------------

  // The largest relative change of an adjustable parameter over the
  // iteration, in natural units (or log10 units for multi-level single
  // linkage); a parameter that started at 0 counts its absolute change.
  void relative_change() {
    st_.max_rel_change = 0.0;
    int a = 0;
    const bool transformed = variant_ && variant_->log_relative_change;
    for (int k = 1; k <= pc_.npar; ++k) {
      const par_rec& p = pc_.pars[k];
      if (!pest_is_adjustable(p)) continue;
      st_.last_rel_change = lm_relative_change(p, st_.start_values[++a], transformed);
      if (st_.last_rel_change > st_.max_rel_change) st_.max_rel_change = st_.last_rel_change;
    }
    if (pc_.relparstp > st_.max_rel_change)
      ++st_.n_small_change;
    else
      st_.n_small_change = 0;
  }

  void record_final_run_lines() {
    if (!rec_) return;
    std::fprintf(rec_, "The model has been run one final time using best parameters.\n");
    std::fprintf(rec_, "Thus all model input files contain best parameter values, and model\n");
    std::fprintf(rec_, "output files contain model results based on these parameters.\n");
    std::fprintf(rec_, "\n\n");
  }

  void console_final_run() {
    std::printf("\n");
    std::printf("Running model one last time with best parameters...\n");
    std::printf("\n\n");
  }

  // The final run with the best set; its objective becomes current.
  int final_run(bool counted) {
    for (int k = 1; k <= pc_.npar; ++k) pc_.pars[k].value = st_.best_values[k];
    const int rc = lm_run_model(pc_, 0, mode_option_, ins_);
    if (counted) ++st_.model_calls;
    if (rc != 0) return rc;
    st_.current_phi = lm_objective(pc_, st_, 0);
    return 0;
  }

  // The iteration limit, or every parameter at its limits.
  int limit_ending() {
    if (st_.current_phi < st_.best_phi) {
      st_.best_phi = st_.current_phi;
      for (int k = 1; k <= pc_.npar; ++k) st_.best_values[k] = pc_.pars[k].value;
      copy_matrix(st_.jacobian, rows(), n(), st_.jacobian_best);
    }
    std::remove(names_.rst_name.c_str());
    console_final_run();
    if (st_.all_at_limits == 0 && rec_) {
      std::fprintf(rec_, "Optimization complete: Maximum number of optimization iterations completed.\n");
      std::fprintf(rec_, "Total Model Calls:\t%d\n", st_.model_calls);
      std::fprintf(rec_, "\n");
      record_final_run_lines();
    }
    rewrite_par_file(par_, pc_, st_.best_values);
    if (const int rc = final_run(false)) return rc;
    if (st_.all_at_limits != 0) {
      say(rec_, "Optimisation complete: all parameters at their limits.\n");
      say(rec_, "Total Model Calls:\t%d\n", st_.model_calls);
      if (rec_) std::fprintf(rec_, "\n");
      record_final_run_lines();
    }
    return 0;
  }

  // A termination test, or a search that came near an earlier one.
  int stop_ending() {
    std::remove(names_.rst_name.c_str());
    console_final_run();
    if (rec_) std::fprintf(rec_, "\n");
    record_final_run_lines();
    rewrite_par_file(par_, pc_, st_.best_values);
    if (const int rc = final_run(true)) return rc;
    final_statistics();
    return 0;
  }

  void final_statistics() {
    int normal_singular = 0;
    if (pc_.noptmax != 0) {
      lm_write_sensitivities(pc_, st_.jacobian_best, st_.prior_matrix, names_, st_.iteration, sen_, 1);
      lm_normal_matrix(st_.jacobian_best, st_.weight_matrix, st_.current_phi, st_.covariance, pc_, normal_singular);
      copy_matrix(st_.covariance, n(), n(), st_.covariance_work);
      if (normal_singular == 0) {
        lm_correlation(st_.covariance_work, st_.correlation, pc_);
        int rotations = 0;
        jacobi(st_.covariance_work, n(), st_.eigenvalues, st_.eigenvectors, rotations);
        sort_eigenpairs(st_.eigenvalues, st_.eigenvectors, n());
      }
    }
    lm_final_results(rec_, st_.current_phi, st_.covariance, st_.correlation, st_.eigenvectors, st_.eigenvalues, pc_,
                     normal_singular, st_.prior_matrix);
  }

  pest_control& pc_;
  const output_file_names& names_;
  std::FILE* rec_;
  std::FILE* sen_;
  std::FILE* par_;
  pest_file_handles& ins_;
  const std::string mode_option_;
  const bool resume_;
  const search_variant* variant_;
  lm_search_state st_;
};

int optimise(int argc, char** argv, pest_control& pc, const output_file_names& names, std::FILE* rec,
             std::FILE* sen, std::FILE* par, pest_file_handles& instruction_files, const search_variant* variant,
             int* run_calls) {
  const bool resume = argc > 3 && std::strcmp(argv[3], "/r") == 0;
  const std::string mode_option = argc > 1 ? argv[1] : "";
  search s(pc, names, rec, sen, par, instruction_files, mode_option, resume, variant);
  const int rc = s.run();
  if (run_calls) *run_calls = s.model_calls();
  return rc;
}

}  // namespace

int lm_optimise(int argc, char** argv, pest_control& pc, const output_file_names& names, std::FILE* rec,
                std::FILE* sen, std::FILE* /*mtt*/, std::FILE* par, pest_file_handles& /*template_files*/,
                pest_file_handles& instruction_files) {
  return optimise(argc, argv, pc, names, rec, sen, par, instruction_files, nullptr, nullptr);
}

int lm_optimise_tr(int argc, char** argv, pest_control& pc, const output_file_names& names, std::FILE* rec,
                   std::FILE* sen, std::FILE* /*mtt*/, std::FILE* par, pest_file_handles& /*template_files*/,
                   pest_file_handles& instruction_files, dmat& point_table, int& point_count, int& run_calls) {
  const search_variant variant{&point_table, nullptr, &point_count, false};
  return optimise(argc, argv, pc, names, rec, sen, par, instruction_files, &variant, &run_calls);
}

int lm_optimise_mlsl(int argc, char** argv, pest_control& pc, const output_file_names& names, std::FILE* rec,
                     std::FILE* sen, std::FILE* /*mtt*/, std::FILE* par, pest_file_handles& /*template_files*/,
                     pest_file_handles& instruction_files, dmat& point_table, dvec& point_phi, int& point_count,
                     int& run_calls) {
  const search_variant variant{&point_table, &point_phi, &point_count, true};
  return optimise(argc, argv, pc, names, rec, sen, par, instruction_files, &variant, &run_calls);
}

int lm_near_previous(int n, const dmat& point_table, const pest_control& pc, int& stop_flag) {
  stop_flag = 0;
  for (int i = 1; i <= n; ++i) {
    double sum = 0.0;
    for (int j = 1; j <= pc.npar; ++j) {
      const par_rec& p = pc.pars[j];
      const double range = p.upper_bound - p.lower_bound;
      // A parameter whose bounds coincide cannot move: it adds nothing.
      if (range == 0.0) continue;
      const double d = (p.value - point_table[j][i]) / range;
      sum += d * d;
    }
    const double distance = std::sqrt(sum);
    if (distance > 1e-10 && distance < pc.proximity_distance) {
      stop_flag = 1;
      return 0;
    }
  }
  return 0;
}

int lm_stop_tests(std::FILE* rec, int iteration, int best_iteration, int n_small_change, const dvec& phi_history,
                  double best_phi, double current_phi, const pest_control& pc, int& stop_flag, int model_calls) {
  stop_flag = 0;
  if (std::fabs(current_phi) <= 1e-30) {
    say(rec, "Optimization complete: the objective function equals zero\n");
    stop_flag = 1;
  }
  if (stop_flag == 0) {
    int close = 0;
    for (int k = 1; k <= iteration && k <= phi_history.size(); ++k)
      if (relative_fall(phi_history[k], best_phi) <= pc.phiredstp) ++close;
    if (close >= pc.nphistp) {
      say(rec, "Optimization complete: the  %d lowest phi's are within a relative distance\n", pc.nphistp);
      say(rec, "                       of each other of %lf\n", pc.phiredstp);
      stop_flag = 1;
    }
  }
  if (stop_flag == 0 && iteration - best_iteration > pc.nphinored) {
    say(rec, "Optimization complete:   %d optimization iterations have elapsed since lowest\n", pc.nphinored);
    say(rec, "                       phi was achieved.\n");
    stop_flag = 1;
  }
  if (stop_flag == 0 && n_small_change >= pc.nrelpar) {
    say(rec, "Optimization complete: relative parameter change less than %lf\n", pc.relparstp);
    say(rec, "                       over %d successive iterations.\n", pc.nrelpar);
    stop_flag = 1;
  }
  if (stop_flag != 0) say(rec, "Total Model Calls:\t%d\n", model_calls);
  return 0;
}

int lm_lambda_stop_tests(std::FILE* rec, double start_phi, int trial_count, const dvec& lambda_phi,
                         const pest_control& pc, int& stop_flag) {
  const int n = trial_count;
  // The trial with the lowest usable objective; of equal ones the later.
  const auto minimum = [&]() {
    double lowest = unusable_phi;
    int at = lm_keep_starting_set;
    for (int i = 1; i <= n; ++i)
      if (lambda_phi[i] <= lowest) {
        lowest = lambda_phi[i];
        at = i;
      }
    return at;
  };
  if (n >= pc.numlam) {
    say(rec, "No more lambdas: allowed lambdas per iteration =  %d\n\n", pc.numlam);
    stop_flag = minimum();
    return 0;
  }
  for (int i = 1; i <= n; ++i)
    if (lambda_phi[i] <= pc.phiratsuf * start_phi) {
      say(rec, "No more lambdas: phi is less than %lf of starting phi\n\n", pc.phiratsuf);
      stop_flag = i;
      return 0;
    }
  if (n >= 2 && lambda_phi[n] > lambda_phi[n - 1]) {
    // Two trials say nothing yet: the second may be the first of a rise
    // from the first lambda.
    if (n == 2) return 0;
    say(rec, "No more lambdas: phi rising\n\n");
    stop_flag = minimum();
    return 0;
  }
  if (n >= 2 && lambda_phi[n - 1] != 0.0 && 1.0 - lambda_phi[n] / lambda_phi[n - 1] <= pc.phiredlam) {
    say(rec, "No more lambdas: relative phi reduction between lambdas less than %lf\n\n", pc.phiredlam);
    stop_flag = minimum();
  }
  return 0;
}

int lm_adjust_lambda(double first_lambda, double& previous_lambda, int& lambda_reversed, double latest_phi,
                     const dvec& lambda_phi, int trial_count, pest_control& pc) {
  const double r = pc.rlamfac;
  const double l = pc.rlambda1;
  const double p = previous_lambda;
  previous_lambda = l;
  if (trial_count == 1) {
    pc.rlambda1 = l / r;
    return 0;
  }
  const bool improved = trial_count >= 2 && lambda_phi[trial_count - 1] > latest_phi;
  if (!improved && first_lambda >= p && first_lambda > l) {
    // A decrease from the first lambda made things worse: up from it.
    lambda_reversed = 1;
    pc.rlambda1 = first_lambda * r;
    return 0;
  }
  pc.rlambda1 = p > l ? l / r : l * r;
  return 0;
}

}  // namespace kavro
