#include "calibration/lm_jacobian.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "calibration/numeric_toolkit.h"
#include "calibration/pest_control.h"
#include "calibration/restart_stop_files.h"
#include "framework/run_driver.h"

namespace kavro {

int lm_run_model(pest_control& pc, int read_kind, std::string_view mode_option, pest_file_handles& instruction_files,
                 run_values values) {
  std::FILE* f = std::fopen("values.in", "w");
  if (!f) {
    std::printf("Error: cannot write the parameter value file values.in.\n");
    return 1;
  }
  for (int k = 1; k <= pc.npar; ++k) {
    const par_rec& p = pc.pars[k];
    const double stored = values == run_values::perturbed    ? p.perturbed_value
                          : values == run_values::perturbed2 ? p.perturbed_value2
                                                             : p.value;
    std::fprintf(f, "%.7E ", natural_value(p, stored));
  }
  const bool written = std::ferror(f) == 0;
  if (std::fclose(f) != 0 || !written) {
    std::printf("Error: cannot write the parameter value file values.in.\n");
    return 1;
  }
  const run_outcome outcome = run_simulation_with(pc.model_plan ? *pc.model_plan : default_run_plan(),
                                                  pc.model_project_file, nullptr, mode_option);
  // A run that stopped on an error may have left the outputs of an earlier
  // run in place: they must not pass for this run's.
  if (outcome.stopped_on_error) {
    std::printf("Error: the model run of %s stopped on an error; its outputs cannot be used.\n",
                pc.model_project_file.c_str());
    return 1;
  }
  if (!pc.post_batch_file.empty()) {
    // The command's own output follows what the tool printed so far.
    std::fflush(nullptr);
    const int ignored = std::system(pc.post_batch_file.c_str());
    static_cast<void>(ignored);
  }
  for (int i = 1; i <= pc.ninsfle; ++i) {
    const int rc = pest_read_instructions(pc, i, read_kind, instruction_files);
    if (rc != 0) return rc;
  }
  return 0;
}

namespace {

// How the columns of this iteration's Jacobian are recomputed.
enum class column_choice { all, none, cyclic };

column_choice jacobian_columns(const pest_control& pc, int iteration) {
  if (pc.method == 0) return column_choice::all;
  const bool above_threshold = pc.phi_ratio > pc.full_update_threshold;
  if (pc.cyclic_columns == 0 && !above_threshold) return column_choice::none;
  if (iteration == 1) return column_choice::all;
  if (pc.full_update == 1 && above_threshold) return column_choice::all;
  if (pc.cyclic_columns > 0) return column_choice::cyclic;
  return column_choice::none;
}

// The next `cyclic_columns` candidates after the cursor, round the
// parameters; the cursor moves to the last one taken.
ivec cyclic_selection(const pest_control& pc, int& cyclic_cursor) {
  ivec list = ivector(1, pc.cyclic_columns);
  for (int k = 1; k <= pc.cyclic_columns; ++k) list[k] = -999;
  if (pc.n_adjustable == 0) return list;
  int p = cyclic_cursor;
  for (int k = 1; k <= pc.cyclic_columns;) {
    p = p + 1 > pc.npar ? 1 : p + 1;
    if (!pest_is_adjustable(pc.pars[p])) continue;
    list[k++] = p;
  }
  cyclic_cursor = list[pc.cyclic_columns];
  return list;
}

const par_group_rec* group_of(const pest_control& pc, const par_rec& p) {
  for (int g = 1; g <= pc.npargp; ++g)
    if (pc.par_groups[g].name == p.group) return &pc.par_groups[g];
  return nullptr;
}

bool three_point(const par_group_rec& g, int central_switch) {
  return g.forcen == "always_3" || (g.forcen == "switch" && central_switch == 1);
}

bool forward(const par_group_rec& g, int central_switch) {
  return g.forcen == "always_2" || (g.forcen == "switch" && central_switch == 0);
}

// Whether parameter p's column is recomputed by runs in this Jacobian.
bool recomputed(const pest_control& pc, int p, column_choice choice, const ivec& cyclic_list) {
  if (!pest_is_adjustable(pc.pars[p])) return false;
  if (choice == column_choice::all) return true;
  if (choice == column_choice::none) return false;
  for (int k = 1; k <= pc.cyclic_columns; ++k)
    if (cyclic_list[k] == p) return true;
  return false;
}

// The perturbed points of a parameter, in transformed units: 1 % and 2 % of
// its natural magnitude up and down.
struct increments {
  double up1, up2, down1, down2;  // the points a derivative starts from
  double up1_formula, up2_formula;  // the upward points by the formulas, for the corrections at a bound
};

increments increments_of(const par_rec& p) {
  const double x = p.value;
  increments in{};
  if (p.partrans == "log") {
    const double v = std::pow(10.0, x);
    in.up1_formula = std::log10(v + 0.01 * v);
    in.up2_formula = std::log10(v + 0.02 * v);
    in.down1 = std::log10(v - 0.01 * v);
    in.down2 = std::log10(v - 0.02 * v);
    // Below 1e-8 the upward points are fixed logarithms; the downward
    // formulas stay defined for every positive value.
    in.up1 = v < 1e-8 ? std::log10(0.01) : in.up1_formula;
    in.up2 = v < 1e-8 ? std::log10(0.02) : in.up2_formula;
  } else if (x == 0.0) {
    in.up1 = in.up1_formula = 0.01;
    in.up2 = in.up2_formula = 0.02;
    in.down1 = -0.01;
    in.down2 = -0.02;
  } else {
    const double a = std::fabs(x);
    in.up1 = in.up1_formula = x + 0.01 * a;
    in.up2 = in.up2_formula = x + 0.02 * a;
    in.down1 = x - 0.01 * a;
    in.down2 = x - 0.02 * a;
  }
  return in;
}

double forward_point(const par_rec& p) {
  const increments in = increments_of(p);
  if (p.at_upper == 0) return in.up1 > p.upper_bound ? in.down1 : in.up1;
  return in.down1 < p.lower_bound ? p.lower_bound : in.down1;
}

void three_points(const par_rec& p, double& x1, double& x2) {
  const increments in = increments_of(p);
  if (p.at_upper == 1) {
    x1 = in.down1;
    x2 = in.down2;
  } else if (p.at_lower == 1) {
    x1 = in.up1;
    x2 = in.up2;
  } else {
    x1 = in.up1;
    x2 = in.down1;
    if (x1 > p.upper_bound) {
      x1 = in.down1;
      x2 = in.down2;
    }
    if (x2 < p.lower_bound) {
      x2 = in.up1_formula;
      x1 = in.up2_formula;
    }
  }
}

// A parameter whose perturbed points coincide with each other or with its
// value (bounds that coincide, or a value too small to perturb) gives no
// difference quotient: its column is 0 and no run is made for it.
bool cannot_move(const par_rec& p, const par_group_rec& g, int central_switch) {
  if (p.lower_bound == p.upper_bound) return true;
  if (forward(g, central_switch)) return forward_point(p) == p.value;
  if (!three_point(g, central_switch)) return false;
  double x1 = 0.0, x2 = 0.0;
  three_points(p, x1, x2);
  return x1 == x2 || x1 == p.value || x2 == p.value;
}

// Model runs the column of one recomputed parameter costs.
int column_runs(const pest_control& pc, const par_rec& p, int central_switch) {
  if (p.iw_flag == 1) return 0;
  const par_group_rec* g = group_of(pc, p);
  if (g == nullptr || cannot_move(p, *g, central_switch)) return 0;
  if (g->forcen == "always_2") return 1;
  if (g->forcen == "switch") return central_switch == 0 ? 1 : 2;
  return 2;
}

// Every parameter's perturbed values start as its value; the tied children
// of parameter `parent` then follow its perturbed points.
void set_perturbed_values(pest_control& pc, int parent, double x1, double x2, bool second_point) {
  for (int k = 1; k <= pc.npar; ++k) {
    pc.pars[k].perturbed_value = pc.pars[k].value;
    if (second_point) pc.pars[k].perturbed_value2 = pc.pars[k].value;
  }
  par_rec& p = pc.pars[parent];
  p.perturbed_value = x1;
  if (second_point) p.perturbed_value2 = x2;
  int found = 0;
  for (int k = 1; k <= pc.npar && found < pc.n_tied; ++k) {
    par_rec& child = pc.pars[k];
    if (child.partrans != "tied" || child.tie_parent != p.name) continue;
    ++found;
    child.perturbed_value = natural_value(p, x1) * child.tie_ratio;
    if (second_point) child.perturbed_value2 = natural_value(p, x2) * child.tie_ratio;
  }
}

void print_best_fit_refusal() {
  std::printf("\n");
  std::printf("The toolbox does not support the 'best_fit' method\n");
  std::printf("of three point derivatives calculation.\n\n");
  std::printf("The toolbox does support the 'outside_pts' and\n");
  std::printf("'parabolic' methods of three point derivatives calculation.\n\n");
  std::printf("If you are using three point derivatives calculation,\n");
  std::printf("please alter DERMTHD in the control file accordingly.\n");
}

// "%d runs completed." and the backspaces that return to the line's start.
void print_progress(int run) {
  if (run >= 10000) return;
  std::printf("%d runs completed.", run);
  const int back = run < 10 ? 17 : run < 100 ? 18 : run < 1000 ? 19 : 20;
  for (int k = 0; k < back; ++k) std::putchar('\b');
  std::fflush(stdout);
}

// The Jacobian's bookkeeping of one call: its runs and their counter.
struct column_runner {
  pest_control& pc;
  pest_file_handles& instruction_files;
  std::string_view mode_option;
  int& model_calls;
  int run = 0;  // runs of this Jacobian

  // One run with the perturbed values; 0 or the read failure.
  int operator()(int read_kind, run_values values) {
    const int rc = lm_run_model(pc, read_kind, mode_option, instruction_files, values);
    ++model_calls;
    print_progress(++run);
    check_stop_file();
    return rc;
  }
};

void zero_column(const pest_control& pc, dmat& jacobian, int c) {
  for (int i = 1; i <= pc.nobs; ++i) jacobian[i][c] = 0.0;
}

// The column of parameter p at position c; 0 or a failure.
int compute_column(pest_control& pc, int p, int c, dmat& jacobian, int central_switch, column_runner& run) {
  const par_rec& par = pc.pars[p];
  const par_group_rec* g = group_of(pc, par);
  if (par.iw_flag == 1 || (g && cannot_move(par, *g, central_switch))) {
    zero_column(pc, jacobian, c);
    return 0;
  }
  if (g == nullptr) return 0;
  const double x = par.value;
  if (forward(*g, central_switch)) {
    const double x1 = forward_point(par);
    set_perturbed_values(pc, p, x1, x1, false);
    if (const int rc = run(1, run_values::perturbed)) return rc;
    for (int i = 1; i <= pc.nobs; ++i) jacobian[i][c] = (pc.obs[i].simulated_2 - pc.obs[i].simulated) / (x1 - x);
    return 0;
  }
  if (!three_point(*g, central_switch)) return 0;
  const bool outside = g->dermthd == "outside_pts";
  const bool parabolic = g->dermthd == "parabolic";
  if (g->dermthd == "best_fit") {
    print_best_fit_refusal();
    return 1;
  }
  if (!outside && !parabolic) return 0;
  double x1 = 0.0, x2 = 0.0;
  three_points(par, x1, x2);
  set_perturbed_values(pc, p, x1, x2, true);
  if (const int rc = run(1, run_values::perturbed)) return rc;
  if (const int rc = run(2, run_values::perturbed2)) return rc;
  if (outside) {
    for (int i = 1; i <= pc.nobs; ++i)
      jacobian[i][c] = (pc.obs[i].simulated_2 - pc.obs[i].simulated_3) / (x1 - x2);
    return 0;
  }
  // A parabola through the three points; its slope at x.
  dmat a = matrix(1, 3, 1, 3);
  dmat b = matrix(1, 3, 1, 1);
  dmat s = matrix(1, 3, 1, 1);
  const double xs[4] = {0.0, x2, x, x1};
  for (int i = 1; i <= pc.nobs; ++i) {
    for (int r = 1; r <= 3; ++r) {
      a[r][1] = xs[r] * xs[r];
      a[r][2] = xs[r];
      a[r][3] = 1.0;
    }
    b[1][1] = pc.obs[i].simulated_3;
    b[2][1] = pc.obs[i].simulated;
    b[3][1] = pc.obs[i].simulated_2;
    solve_3x3(a, 3, b, s);
    jacobian[i][c] = 2.0 * s[1][1] * x + s[2][1];
  }
  return 0;
}

}  // namespace

int lm_count_jacobian_runs(const pest_control& pc, int central_switch, const ivec& cyclic_list, int iteration,
                           int& run_count) {
  run_count = 0;
  const column_choice choice = jacobian_columns(pc, iteration);
  for (int p = 1; p <= pc.npar; ++p)
    if (recomputed(pc, p, choice, cyclic_list)) run_count += column_runs(pc, pc.pars[p], central_switch);
  return 0;
}

int lm_jacobian_runs(pest_control& pc, const ivec& adjustable_list, dmat& jacobian, int& model_calls,
                     int central_switch, pest_file_handles& instruction_files, int iteration, int& cyclic_cursor,
                     std::string_view mode_option) {
  const column_choice choice = jacobian_columns(pc, iteration);
  ivec cyclic_list;
  if (choice == column_choice::cyclic) cyclic_list = cyclic_selection(pc, cyclic_cursor);
  int run_count = 0;
  lm_count_jacobian_runs(pc, central_switch, cyclic_list, iteration, run_count);
  std::printf("Calculating Jacobian matrix: running model %d times ...\n", run_count);
  int result = 0;
  if (choice != column_choice::none) {
    column_runner run{pc, instruction_files, mode_option, model_calls};
    for (int p = 1; p <= pc.npar && result == 0; ++p) {
      if (!recomputed(pc, p, choice, cyclic_list)) continue;
      int c = 0;
      for (int k = 1; k <= pc.n_adjustable; ++k)
        if (adjustable_list[k] == p) c = k;
      if (c == 0) continue;
      result = compute_column(pc, p, c, jacobian, central_switch, run);
    }
  }
  std::printf("\n\n");
  return result;
}

int lm_secant_update(pest_control& pc, dmat& jacobian, const dmat& prior_matrix) {
  const int n = pc.n_adjustable;
  const int m = pc.nobs + pc.nprior;
  if (n < 1 || m < 1) return 0;
  dmat dp = matrix(1, n, 1, 1);
  dvec trial = dvector(1, n);
  dvec start = dvector(1, n);
  double s = 0.0;
  int j = 0;
  for (int k = 1; k <= pc.npar; ++k) {
    const par_rec& p = pc.pars[k];
    if (!pest_is_adjustable(p)) continue;
    ++j;
    dp[j][1] = p.value - p.previous_value;
    trial[j] = p.value;
    start[j] = p.previous_value;
  }
  for (j = 1; j <= n; ++j) s += dp[j][1] * dp[j][1];
  // A trial that moved no parameter says nothing about the derivatives.
  if (s == 0.0) return 0;
  dvec c = dvector(1, pc.nprior);
  dvec d = dvector(1, pc.nprior);
  if (pc.nprior > 0) {
    mat_vec_product(prior_matrix, pc.nprior, n, trial, n, c);
    mat_vec_product(prior_matrix, pc.nprior, n, start, n, d);
  }
  dmat r = matrix(1, m, 1, 1);
  dmmult(jacobian, m, n, dp, n, 1, r);
  for (int i = 1; i <= pc.nobs; ++i) r[i][1] = (pc.obs[i].simulated_2 - pc.obs[i].simulated) - r[i][1];
  for (int k = 1; k <= pc.nprior; ++k) r[pc.nobs + k][1] = (c[k] - d[k]) - r[pc.nobs + k][1];
  for (int i = 1; i <= m; ++i) r[i][1] /= s;
  dmat dpt = matrix(1, 1, 1, n);
  mat_transpose(dp, n, 1, dpt);
  dmat outer = matrix(1, m, 1, n);
  dmmult(r, m, 1, dpt, 1, n, outer);
  mat_sum(jacobian, m, n, outer, jacobian);
  return 0;
}

}  // namespace kavro
