#include "calibration/lm_driver.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "calibration/case_record.h"
#include "calibration/lm_jacobian.h"
#include "calibration/lm_statistics.h"
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

namespace {

constexpr double bound_snap = 1e-8;

void copy_matrix(const dmat& from, int rows, int cols, dmat& to) {
  for (int i = 1; i <= rows; ++i)
    for (int j = 1; j <= cols; ++j) to[i][j] = from[i][j];
}

// The shapes of a search that this build runs: an initial run alone
// (NOPTMAX 0), or with one Jacobian and its statistics (NOPTMAX -1).
bool shape_is_built(const pest_control& pc, bool resume) {
  if (resume) {
    std::printf("Error: resuming a search from its restart file (/r) needs the search iterations, which are not "
                "built yet.\n");
    return false;
  }
  if (pc.noptmax != 0 && pc.noptmax != -1) {
    std::printf("Error: NOPTMAX %d needs the search iterations, which are not built yet.\n", pc.noptmax);
    return false;
  }
  return true;
}

// One search: its files, its mode option and its working state.
class search {
 public:
  search(pest_control& pc, const output_file_names& names, std::FILE* rec, std::FILE* sen, std::FILE* par,
         pest_file_handles& instruction_files, std::string mode_option)
      : pc_(pc), names_(names), rec_(rec), sen_(sen), par_(par), ins_(instruction_files),
        mode_option_(std::move(mode_option)) {}

  int run() {
    allocate();
    if (const int rc = set_up()) return rc;
    if (const int rc = initial_run()) return rc;
    if (pc_.noptmax == -1) {
      // One iteration without upgrade trials: its Jacobian is the result,
      // and no final run follows.
      iteration_top();
      if (const int rc = jacobian_step()) return rc;
      ++st_.iteration;
      relative_change();
      copy_matrix(st_.jacobian, rows(), n(), st_.jacobian_best);
    }
    final_statistics();
    return 0;
  }

 private:
  int n() const { return pc_.n_adjustable; }
  int rows() const { return pc_.nobs + pc_.nprior; }

  void allocate() {
    st_.jacobian = matrix(1, rows(), 1, n());
    st_.jacobian_best = matrix(1, rows(), 1, n());
    st_.best_values = dvector(1, pc_.npar);
    st_.best_simulated = dvector(1, pc_.nobs);
    st_.start_values = dvector(1, n());
    if (pc_.noptmax >= 1) st_.phi_history = dvector(1, pc_.noptmax + 1);
    st_.adjustable_list = ivector(1, n());
    st_.weight_matrix = dvector(1, rows());
    if (pc_.nprior >= 1) st_.prior_matrix = matrix(1, pc_.nprior, 1, n());
    st_.upgrade = dvector(1, n());
    st_.covariance = matrix(1, n(), 1, n());
    st_.covariance_work = matrix(1, n(), 1, n());
    st_.correlation = matrix(1, n(), 1, n());
    st_.eigenvectors = matrix(1, n(), 1, n());
    st_.eigenvalues = dvector(1, n());
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

  int initial_run() {
    const int rc = lm_run_model(pc_, 0, mode_option_, ins_);
    ++st_.model_calls;
    check_stop_file();
    if (rc != 0) return rc;
    st_.current_phi = lm_objective(pc_, st_, 0);
    for (int i = 1; i <= pc_.nobs; ++i) st_.best_simulated[i] = pc_.obs[i].simulated;
    st_.best_phi = st_.current_phi;
    lm_print_run_record(st_.current_phi, st_.current_phi, st_.current_phi, pc_, names_);
    lm_record_initial(rec_, par_, st_.current_phi, st_.current_phi, st_.current_phi, pc_);
    st_.iteration = 1;
    if (pc_.noptmax >= 1) st_.phi_history[1] = st_.current_phi;
    return 0;
  }

  void iteration_top() {
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
    // Before the first iteration there is no previous objective: the ratio
    // is infinite, which makes the secant method's first Jacobian complete.
    pc_.phi_ratio = st_.previous_phi != 0.0 ? st_.current_phi / st_.previous_phi
                                            : std::numeric_limits<double>::infinity();
    st_.previous_phi = st_.current_phi;
    if (pc_.noptmax >= 1) st_.phi_history[st_.iteration] = st_.current_phi;
    if (st_.iteration > 1)
      for (int i = 1; i <= pc_.nobs; ++i) pc_.obs[i].simulated = pc_.obs[i].simulated_2;
    int a = 0;
    for (int k = 1; k <= pc_.npar; ++k) {
      par_rec& p = pc_.pars[k];
      p.previous_value = p.value;
      if (pest_is_adjustable(p)) st_.start_values[++a] = p.value;
    }
  }

  int jacobian_step() {
    lm_print_iteration_header(pc_, st_.iteration, st_.model_calls, st_.current_phi, st_.current_phi,
                              st_.current_phi);
    lm_record_iteration_header(pc_, rec_, st_.iteration, st_.model_calls, st_.current_phi, st_.current_phi,
                               st_.current_phi);
    const int rc = lm_jacobian_runs(pc_, st_.adjustable_list, st_.jacobian, st_.model_calls, st_.central_switch,
                                    ins_, st_.iteration, st_.cyclic_cursor, mode_option_);
    std::FILE* jac = std::fopen("jac.txt", "w");
    if (rc != 0) {
      if (jac) std::fclose(jac);
      return rc;
    }
    if (st_.iteration == 1) copy_matrix(st_.jacobian, rows(), n(), st_.jacobian_best);
    lm_report_insensitive(pc_, st_.jacobian, st_.prior_matrix, rec_);
    lm_write_sensitivities(pc_, st_.jacobian, st_.prior_matrix, names_, st_.iteration, sen_, 0);
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

  // The largest relative change of an adjustable parameter over the
  // iteration, in natural units; a parameter that started at 0 counts its
  // absolute change.
  void relative_change() {
    st_.max_rel_change = 0.0;
    int a = 0;
    for (int k = 1; k <= pc_.npar; ++k) {
      const par_rec& p = pc_.pars[k];
      if (!pest_is_adjustable(p)) continue;
      const double s = natural_value(p, st_.start_values[++a]);
      const double v = natural_value(p);
      st_.last_rel_change = s != 0.0 ? std::fabs((s - v) / s) : std::fabs(s - v);
      if (st_.last_rel_change > st_.max_rel_change) st_.max_rel_change = st_.last_rel_change;
    }
    if (pc_.relparstp > st_.max_rel_change)
      ++st_.n_small_change;
    else
      st_.n_small_change = 0;
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
  lm_search_state st_;
};

}  // namespace

int lm_optimise(int argc, char** argv, pest_control& pc, const output_file_names& names, std::FILE* rec,
                std::FILE* sen, std::FILE* /*mtt*/, std::FILE* par, pest_file_handles& /*template_files*/,
                pest_file_handles& instruction_files) {
  const bool resume = argc > 3 && std::strcmp(argv[3], "/r") == 0;
  if (!shape_is_built(pc, resume)) return 1;
  const std::string mode_option = argc > 1 ? argv[1] : "";
  return search(pc, names, rec, sen, par, instruction_files, mode_option).run();
}

}  // namespace kavro
