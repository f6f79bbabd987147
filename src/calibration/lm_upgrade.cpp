#include "calibration/lm_upgrade.h"

#include <cmath>
#include <string>

#include "calibration/numeric_toolkit.h"
#include "calibration/objective_components.h"
#include "calibration/pest_control.h"

namespace kavro {

void lm_weighted_transpose(const dmat& j, int rows, int cols, const dvec& weight_matrix, dmat& jt_q) {
  // Column i of transpose(j) * W is column i of transpose(j) times W[i][i]:
  // the other terms of the dense sum are zero.
  for (int c = 1; c <= cols; ++c)
    for (int i = 1; i <= rows; ++i) jt_q[c][i] = j[i][c] * weight_matrix[i];
}

namespace {

// Observed minus current values: observations, then prior information.
dvec residuals(const pest_control& pc, const dvec& prior_values) {
  dvec r = dvector(1, pc.nobs + pc.nprior);
  for (int i = 1; i <= pc.nobs; ++i) r[i] = pc.obs[i].value - pc.obs[i].simulated;
  for (int k = 1; k <= pc.nprior; ++k) r[pc.nobs + k] = pc.priors[k].pival - prior_values[k];
  return r;
}

void solve_upgrade(const dmat& jacobian, const dvec& prior_values, int m, int k, const dvec& weight_matrix,
                   const pest_control& pc, dvec& upgrade) {
  for (int j = 1; j <= k; ++j) upgrade[j] = 0.0;
  if (k < 1 || m < 1) return;
  const dvec r = residuals(pc, prior_values);
  dmat jt_q = matrix(1, k, 1, m);
  lm_weighted_transpose(jacobian, m, k, weight_matrix, jt_q);
  dmat normal = matrix(1, k, 1, k);
  dmmult(jt_q, k, m, jacobian, m, k, normal);
  // Diagonal scaling S = diag(1 / sqrt(N[j][j])), and S^2 scaled so that its
  // largest element is lambda: the damping term is lambda times the
  // smallest diagonal element of N on every diagonal element.
  dvec scale = dvector(1, k);
  dvec scale_sq = dvector(1, k);
  double largest = 0.0;
  for (int j = 1; j <= k; ++j) {
    scale[j] = std::pow(std::sqrt(normal[j][j]), -1.0);
    scale_sq[j] = scale[j] * scale[j];
    if (scale_sq[j] > largest) largest = scale_sq[j];
  }
  if (largest > 0.0) {
    const double factor = pc.rlambda1 / largest;
    for (int j = 1; j <= k; ++j) scale_sq[j] *= factor;
  }
  dmat a = matrix(1, k, 1, k);
  for (int i = 1; i <= k; ++i)
    for (int j = 1; j <= k; ++j) a[i][j] = scale[i] * normal[i][j] * scale[j] + (i == j ? scale_sq[j] : 0.0);
  // b = S J' W r.
  dmat g = matrix(1, k, 1, m);
  for (int i = 1; i <= k; ++i)
    for (int l = 1; l <= m; ++l) g[i][l] = scale[i] * jt_q[i][l];
  dvec b = dvector(1, k);
  mat_vec_product(g, k, m, r, m, b);
  dvec p = dvector(1, k);
  dvec y = dvector(1, k);
  choldc(a, k, p);
  choldc_solve(a, k, p, b, y);
  for (int j = 1; j <= k; ++j) upgrade[j] = scale[j] * y[j];
}

void scale_to_step(const dmat& jacobian, const dvec& prior_values, int k, const pest_control& pc, dvec& upgrade) {
  const int m = pc.nobs + pc.nprior;
  if (k < 1 || m < 1) return;
  dvec g = dvector(1, m);
  mat_vec_product(jacobian, m, k, upgrade, k, g);
  double numerator = 0.0;
  double denominator = 0.0;
  for (int i = 1; i <= pc.nobs; ++i) {
    const double w = pc.obs[i].weight;
    const double r = pc.obs[i].value - pc.obs[i].simulated;
    numerator += w * w * r * g[i];
    denominator += (w * g[i]) * (w * g[i]);
  }
  for (int q = 1; q <= pc.nprior; ++q) {
    const double w = pc.priors[q].weight;
    const double r = pc.priors[q].pival - prior_values[q];
    const double gq = g[pc.nobs + q];
    numerator += w * w * r * gq;
    denominator += (w * gq) * (w * gq);
  }
  // An upgrade that moves no weighted output has no optimum along it.
  const double alpha = denominator == 0.0 ? 1.0 : numerator / denominator;
  for (int j = 1; j <= k; ++j) upgrade[j] *= alpha;
}

}  // namespace

int lm_upgrade_vector(const dmat& jacobian, const dmat& prior_matrix, const dvec& weight_matrix,
                      const pest_control& pc, dvec& upgrade) {
  const dvec c = lm_prior_values(pc, prior_matrix);
  solve_upgrade(jacobian, c, pc.nobs + pc.nprior, pc.n_adjustable, weight_matrix, pc, upgrade);
  return 0;
}

int lm_upgrade_vector_subset(const dmat& reduced_jacobian, const dvec& prior_values, int m, int k,
                             const dvec& weight_matrix, const pest_control& pc, dvec& reduced_upgrade) {
  solve_upgrade(reduced_jacobian, prior_values, m, k, weight_matrix, pc, reduced_upgrade);
  return 0;
}

int lm_step_length(const dmat& jacobian, const dmat& prior_matrix, const pest_control& pc, dvec& upgrade) {
  const dvec c = lm_prior_values(pc, prior_matrix);
  scale_to_step(jacobian, c, pc.n_adjustable, pc, upgrade);
  return 0;
}

int lm_step_length_sensitive(const dmat& reduced_jacobian, const dvec& prior_values, const pest_control& pc,
                             dvec& reduced_upgrade) {
  scale_to_step(reduced_jacobian, prior_values, pc.n_adjustable - pc.n_insensitive, pc, reduced_upgrade);
  return 0;
}

int lm_step_length_free(const dmat& reduced_jacobian, const dvec& prior_values, const pest_control& pc,
                        dvec& reduced_upgrade) {
  scale_to_step(reduced_jacobian, prior_values, pc.n_adjustable - pc.n_insensitive - pc.n_frozen, pc,
                reduced_upgrade);
  return 0;
}

namespace {

constexpr double bound_tolerance = 1e-8;

// The bounded upgrade of one call: the state every step reads.
class bounded_upgrade {
 public:
  bounded_upgrade(const dmat& jacobian, const dmat& prior_matrix, const dvec& weight_matrix, pest_control& pc,
                  dvec& upgrade, const ivec& adjustable_list, std::FILE* rec)
      : jacobian_(jacobian),
        weights_(weight_matrix),
        pc_(pc),
        upgrade_(upgrade),
        list_(adjustable_list),
        rec_(rec),
        n_(pc.n_adjustable),
        m_(pc.nobs + pc.nprior),
        c_(lm_prior_values(pc, prior_matrix)) {}

  void run() {
    if (pc_.n_insensitive >= 1) solve_without_insensitive();
    first_pass();
    if (pc_.n_frozen == 0) second_look();
    if (pc_.n_frozen > 0 && pc_.n_frozen + pc_.n_insensitive < n_) resolve_free();
    final_clamp();
    follow_parents();
  }

 private:
  par_rec& par(int j) { return pc_.pars[list_[j]]; }

  // The steepest-descent direction 2 J' W r, the same throughout the call.
  double descent(int j) {
    if (descent_.empty()) {
      descent_ = dvector(1, n_);
      const dvec r = residuals(pc_, c_);
      dmat jt_q = matrix(1, n_, 1, m_);
      lm_weighted_transpose(jacobian_, m_, n_, weights_, jt_q);
      mat_vec_product(jt_q, n_, m_, r, m_, descent_);
      for (int k = 1; k <= n_; ++k) descent_[k] *= 2.0;
    }
    return descent_[j];
  }

  void freeze(par_rec& p, double bound, const char* why) {
    p.value = bound;
    p.frozen = 1;
    ++pc_.n_frozen;
    std::printf("      parameter \"%s\" frozen: %s\n", p.name.c_str(), why);
    if (rec_) std::fprintf(rec_, "      parameter \"%s\" frozen: %s\n", p.name.c_str(), why);
  }

  // The columns of the parameters that `take` accepts, as a reduced
  // Jacobian; solved and scaled by `step`, spread back by the caller.
  template <class Take>
  int reduced_columns(Take take, dmat& reduced) {
    int k = 0;
    for (int j = 1; j <= n_; ++j) k += take(par(j)) ? 1 : 0;
    if (k == 0) return 0;
    reduced = matrix(1, m_, 1, k);
    int col = 0;
    for (int j = 1; j <= n_; ++j) {
      if (!take(par(j))) continue;
      ++col;
      for (int i = 1; i <= m_; ++i) reduced[i][col] = jacobian_[i][j];
    }
    return k;
  }

  void solve_without_insensitive() {
    const auto sensitive = [](const par_rec& p) { return p.insensitive == 0; };
    dmat reduced;
    const int k = reduced_columns(sensitive, reduced);
    dvec v = dvector(1, k);
    if (k > 0) {
      lm_upgrade_vector_subset(reduced, c_, m_, k, weights_, pc_, v);
      lm_step_length_sensitive(reduced, c_, pc_, v);
    }
    int next = 0;
    for (int j = 1; j <= n_; ++j) upgrade_[j] = sensitive(par(j)) ? v[++next] : 0.0;
  }

  // Moves a parameter by u; one that crosses a bound stops on it. u ends as
  // the move made.
  static void move(par_rec& p, double& u) {
    p.value += u;
    if (p.value < p.upper_bound && p.at_upper == 1) p.at_upper = 0;
    if (p.value > p.lower_bound && p.at_lower == 1) p.at_lower = 0;
    if (p.value > p.upper_bound && p.at_upper == 0) {
      u -= p.value - p.upper_bound;
      p.value = p.upper_bound;
      p.at_upper = 1;
    }
    if (p.value < p.lower_bound && p.at_lower == 0) {
      u += p.lower_bound - p.value;
      p.value = p.lower_bound;
      p.at_lower = 1;
    }
  }

  void first_pass() {
    for (int j = 1; j <= n_; ++j) {
      par_rec& p = par(j);
      if (p.frozen) continue;
      double u = upgrade_[j];
      move(p, u);
      // On a bound already and pushed further out: frozen at once when the
      // steepest descent points out too; otherwise left for the second look.
      if (p.value > p.upper_bound && p.at_upper == 1 && p.value - u + descent(j) > p.upper_bound)
        freeze(p, p.upper_bound, "gradient and update vectors out of bounds");
      if (p.value < p.lower_bound && p.at_lower == 1 && p.value - u + descent(j) < p.lower_bound)
        freeze(p, p.lower_bound, "gradient and update vectors out of bounds");
      upgrade_[j] = u;
    }
  }

  void second_look() {
    for (int j = 1; j <= n_; ++j) {
      par_rec& p = par(j);
      if (p.value - p.upper_bound > bound_tolerance && p.at_upper == 1)
        freeze(p, p.upper_bound, "update vectors out of bounds");
      else if (p.lower_bound - p.value > bound_tolerance && p.at_lower == 1)
        freeze(p, p.lower_bound, "update vectors out of bounds");
    }
  }

  // Solves again without the frozen parameters until no further one freezes.
  void resolve_free() {
    const auto free = [](const par_rec& p) { return p.frozen == 0 && p.insensitive == 0; };
    for (;;) {
      if (n_ - pc_.n_frozen - pc_.n_insensitive < 1) return;
      for (int j = 1; j <= n_; ++j) {
        par_rec& p = par(j);
        if (!free(p)) continue;
        p.value -= upgrade_[j];
        p.at_upper = p.value >= p.upper_bound || std::fabs(p.value - p.upper_bound) < bound_tolerance ? 1 : 0;
        p.at_lower = p.value <= p.lower_bound || std::fabs(p.value - p.lower_bound) < bound_tolerance ? 1 : 0;
      }
      dmat reduced;
      const int k = reduced_columns(free, reduced);
      dvec v = dvector(1, k);
      lm_upgrade_vector_subset(reduced, c_, m_, k, weights_, pc_, v);
      lm_step_length_free(reduced, c_, pc_, v);
      const int frozen_before = pc_.n_frozen;
      int next = 0;
      for (int j = 1; j <= n_; ++j) {
        par_rec& p = par(j);
        if (!free(p)) {
          upgrade_[j] = 0.0;
          continue;
        }
        double u = v[++next];
        move(p, u);
        if (p.value > p.upper_bound && p.at_upper == 1) {
          const bool descent_out = p.value - u + descent(j) > p.upper_bound;
          u = 0.0;
          freeze(p, p.upper_bound,
                 descent_out ? "gradient and update vectors out of bounds" : "update vectors out of bounds");
        } else if (p.value < p.lower_bound && p.at_lower == 1) {
          const bool descent_out = p.value - u + descent(j) < p.lower_bound;
          u = 0.0;
          freeze(p, p.lower_bound,
                 descent_out ? "gradient and update vectors out of bounds" : "update vectors out of bounds");
        }
        upgrade_[j] = u;
      }
      if (pc_.n_frozen == frozen_before || pc_.n_frozen >= n_) return;
    }
  }

  void final_clamp() {
    for (int j = 1; j <= n_; ++j) {
      par_rec& p = par(j);
      if (p.frozen) continue;
      if (p.at_lower && p.value < p.lower_bound) {
        p.value = p.lower_bound;
        upgrade_[j] = 0.0;
      }
      if (p.at_upper && p.value > p.upper_bound) {
        p.value = p.upper_bound;
        upgrade_[j] = 0.0;
      }
    }
  }

  void follow_parents() {
    for (int k = 1; k <= pc_.npar; ++k) {
      par_rec& p = pc_.pars[k];
      if (p.tie_parent_index > 0) p.value = natural_value(pc_.pars[p.tie_parent_index]) * p.tie_ratio;
    }
  }

  const dmat& jacobian_;
  const dvec& weights_;
  pest_control& pc_;
  dvec& upgrade_;
  const ivec& list_;
  std::FILE* rec_;
  const int n_;
  const int m_;
  const dvec c_;  // prior-information values before any change of this call
  dvec descent_;  // computed when first needed
};

}  // namespace

int lm_bounded_upgrade(const dmat& jacobian, const dmat& prior_matrix, const dvec& weight_matrix, pest_control& pc,
                       dvec& upgrade, const ivec& adjustable_list, std::FILE* rec) {
  if (pc.n_adjustable < 1) return 0;
  bounded_upgrade(jacobian, prior_matrix, weight_matrix, pc, upgrade, adjustable_list, rec).run();
  return 0;
}

int lm_trial_upgrade(const dmat& jacobian, const dmat& prior_matrix, const dvec& weight_matrix, pest_control& pc,
                     dvec& upgrade, const ivec& adjustable_list, std::FILE* rec) {
  if (pc.n_insensitive == 0) {
    lm_upgrade_vector(jacobian, prior_matrix, weight_matrix, pc, upgrade);
    lm_step_length(jacobian, prior_matrix, pc, upgrade);
  }
  return lm_bounded_upgrade(jacobian, prior_matrix, weight_matrix, pc, upgrade, adjustable_list, rec);
}

}  // namespace kavro
