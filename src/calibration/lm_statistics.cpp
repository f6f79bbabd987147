#include "calibration/lm_statistics.h"

#include <cmath>
#include <string>

#include "calibration/case_record.h"
#include "calibration/lm_upgrade.h"
#include "calibration/numeric_toolkit.h"
#include "calibration/objective_components.h"
#include "calibration/pest_control.h"

namespace kavro {

namespace {

// Two-sided 95 percent Student-t values for 2 to 30 degrees of freedom.
constexpr double t_table[31] = {0,     0,     4.303, 3.182, 2.776, 2.571, 2.447, 2.365, 2.306, 2.262, 2.228,
                                2.201, 2.179, 2.16,  2.145, 2.131, 2.12,  2.11,  2.101, 2.093, 2.086, 2.08,
                                2.074, 2.069, 2.064, 2.06,  2.056, 2.052, 2.048, 2.045, 2.042};

bool estimation_mode(const pest_control& pc) { return pc.pestmode == "estimation"; }

// Observations and prior-information equations of positive weight, of one
// group (all of them when `group` is null).
int weighted_count(const pest_control& pc, const std::string* group) {
  int count = 0;
  for (int i = 1; i <= pc.nobs; ++i)
    if (pc.obs[i].weight > 0.0 && (!group || pc.obs[i].group == *group)) ++count;
  for (int k = 1; k <= pc.nprior; ++k)
    if (pc.priors[k].weight > 0.0 && (!group || pc.priors[k].group == *group)) ++count;
  return count;
}

// The composite sensitivity of the parameter in column c: the root of the
// sum of its squared weighted derivatives over the terms of positive weight
// (of one group when `group` is not null), divided by the number of terms.
// A parameter without such a term acts on nothing that is weighted: 0.
double composite_sensitivity(const pest_control& pc, const dmat& jacobian, const dmat& prior_matrix, int c,
                             const std::string* group) {
  double sum = 0.0;
  int terms = 0;
  for (int i = 1; i <= pc.nobs; ++i) {
    const obs_rec& o = pc.obs[i];
    if (o.weight <= 0.0 || (group && o.group != *group)) continue;
    const double t = o.weight * jacobian[i][c];
    sum += t * t;
    ++terms;
  }
  const bool regularisation = pest_regularisation_mode(pc);
  if (estimation_mode(pc) || regularisation) {
    for (int k = 1; k <= pc.nprior; ++k) {
      const prior_rec& pr = pc.priors[k];
      if (pr.weight <= 0.0 || (group && pr.group != *group)) continue;
      const double t = regularisation ? prior_matrix[k][c] * pc.weight_factor * pr.weight
                                      : pr.weight * jacobian[pc.nobs + k][c];
      sum += t * t;
      ++terms;
    }
  }
  return terms == 0 ? 0.0 : std::sqrt(sum) / terms;
}

void write_sensitivity_header(std::FILE* sen) {
  std::fprintf(sen, " Parameter name    Group          Current value    Sensitivity       \n");
}

void write_sensitivity_line(std::FILE* sen, const par_rec& p) {
  std::fprintf(sen, "%s\t%s\t%lf\t%lf\n", p.name.c_str(), p.group.c_str(), natural_value(p), p.sensitivity);
}

// Every adjustable parameter's sensitivity from `sensitivity_of(column)`,
// stored and written.
template <class Sensitivity>
void write_sensitivity_lines(pest_control& pc, std::FILE* sen, Sensitivity sensitivity_of) {
  int c = 0;
  for (int k = 1; k <= pc.npar; ++k) {
    par_rec& p = pc.pars[k];
    if (!pest_is_adjustable(p)) continue;
    p.sensitivity = sensitivity_of(++c);
    write_sensitivity_line(sen, p);
  }
}

// Covariance values and eigenvalues: fixed notation above 1e-4, exponent
// form below, so that small ones keep their digits.
void write_small_aware(std::FILE* f, double v) {
  if (std::fabs(v) > 0.0001)
    std::fprintf(f, "%lf", v);
  else
    std::fprintf(f, "%.4E", v);
}

// An n_adjustable square matrix with the adjustable parameters' names as
// row and column heads; the last parameter's column ends the line.
template <class Cell>
void write_matrix(std::FILE* rec, const pest_control& pc, const dmat& m, Cell cell) {
  const bool last_adjustable = pc.npar > 0 && pest_is_adjustable(pc.pars[pc.npar]);
  std::fprintf(rec, "\t\t");
  for (int k = 1; k <= pc.npar; ++k)
    if (pest_is_adjustable(pc.pars[k])) std::fprintf(rec, "%s%s", pc.pars[k].name.c_str(), k == pc.npar ? "\n" : "\t");
  if (!last_adjustable) std::fprintf(rec, "\n");
  int row = 0;
  for (int i = 1; i <= pc.npar; ++i) {
    if (!pest_is_adjustable(pc.pars[i])) continue;
    ++row;
    std::fprintf(rec, "%s\t", pc.pars[i].name.c_str());
    int col = 0;
    for (int j = 1; j <= pc.npar; ++j) {
      if (!pest_is_adjustable(pc.pars[j])) continue;
      cell(rec, m[row][++col]);
      std::fprintf(rec, "%s", j == pc.npar ? "\n" : "\t");
    }
    if (!last_adjustable) std::fprintf(rec, "\n");
  }
}

void write_plain(std::FILE* f, double v) { std::fprintf(f, "%lf", v); }

void write_observations(std::FILE* rec, const pest_control& pc) {
  std::fprintf(rec, "Observations ----->\n");
  std::fprintf(rec, "\n");
  std::fprintf(rec, "Observation            Measured       Calculated     Residual       Weight     Group\n");
  std::fprintf(rec, "                       value          value\n");
  for (int i = 1; i <= pc.nobs; ++i) {
    const obs_rec& o = pc.obs[i];
    std::fprintf(rec, "%s\t\t%.20lf\t%.20lf\t%.20lf\t%lf\t%s\n", o.name.c_str(), o.value, o.simulated,
                 o.value - o.simulated, o.weight, o.group.c_str());
  }
  std::fprintf(rec, "\n");
  std::fprintf(rec, "\n");
}

void write_prior_information(std::FILE* rec, const pest_control& pc, const dmat& prior_matrix) {
  if (pc.nprior <= 0) return;
  const dvec calculated = lm_prior_values(pc, prior_matrix);
  std::fprintf(rec, "Prior information ----->\n");
  std::fprintf(rec, "\n");
  std::fprintf(rec, "Prior                  Provided       Calculated     Residual       Weight     Group\n");
  std::fprintf(rec, "information            value          value\n");
  for (int k = 1; k <= pc.nprior; ++k) {
    const prior_rec& pr = pc.priors[k];
    std::fprintf(rec, "%s\t\t%.20lf\t%.20lf\t%.20lf\t%lf\t%s\n", pr.label.c_str(), pr.pival, calculated[k],
                 pr.pival - calculated[k], pr.weight, pr.group.c_str());
  }
  std::fprintf(rec, "\n");
  std::fprintf(rec, "\n");
}

void write_adjustable_parameters(std::FILE* rec, const pest_control& pc, const dmat& covariance, bool available) {
  std::fprintf(rec, "Adjustable Parameters ----->\n");
  std::fprintf(rec, "\n");
  if (!available) {
    std::fprintf(rec, "Parameter        Estimated\n");
    std::fprintf(rec, "                 value\n");
    for (int k = 1; k <= pc.npar; ++k)
      if (pest_is_adjustable(pc.pars[k]))
        std::fprintf(rec, "%s              %10lf\n", pc.pars[k].name.c_str(), natural_value(pc.pars[k]));
    std::fprintf(rec, "\n\n\n");
    return;
  }
  const int nu = pc.nobs + pc.nprior - pc.n_adjustable;
  double t = 0.0;
  if (nu == 1)
    t = 12.706;
  else
    t_critical_95(nu, t);
  std::fprintf(rec, "Parameter        Estimated         95 percent confidence limits\n");
  std::fprintf(rec, "                 value             lower limit       upper limit\n");
  int c = 0;
  for (int k = 1; k <= pc.npar; ++k) {
    const par_rec& p = pc.pars[k];
    if (!pest_is_adjustable(p)) continue;
    ++c;
    const double sigma = std::sqrt(covariance[c][c]);
    const double v = p.value;
    std::fprintf(rec, "%s              %10lf         %10lf        %10lf\n", p.name.c_str(), natural_value(p, v),
                 natural_value(p, v - t * sigma), natural_value(p, v + t * sigma));
  }
  std::fprintf(rec, "\n");
  std::fprintf(rec, "Note: confidence limits provide only an indication of parameter uncertainty.\n");
  std::fprintf(rec, "      They rely on a linearity assumption which  may not extend as far in\n");
  std::fprintf(rec, "      parameter space as the confidence limits themselves.\n\n\n");
}

}  // namespace

void lm_normal_matrix(const dmat& jacobian, const dvec& weight_matrix, double phi, dmat& covariance,
                      const pest_control& pc, int& normal_singular) {
  const int n = pc.n_adjustable;
  const int rows = estimation_mode(pc) && pc.nprior > 0 ? pc.nobs + pc.nprior : pc.nobs;
  const int m = weighted_count(pc, nullptr);
  // phi / (m - n) estimates the variance of a weighted residual only when
  // the weighted observations outnumber the parameters.
  if (m <= n) {
    normal_singular = too_few_weighted_observations;
    return;
  }
  if (n < 1 || rows < 1) return;
  dmat jt_q = matrix(1, n, 1, rows);
  lm_weighted_transpose(jacobian, rows, n, weight_matrix, jt_q);
  dmat normal = matrix(1, n, 1, n);
  dmmult(jt_q, n, rows, jacobian, rows, n, normal);
  dmat inverse = matrix(1, n, 1, n);
  int singular = 0;
  mat_inverse(normal, n, inverse, singular);
  if (singular) {
    normal_singular = normal_matrix_singular;
    return;
  }
  mat_scale(inverse, n, n, phi / (m - n), covariance);
}

void lm_correlation(const dmat& covariance, dmat& correlation, const pest_control& pc) {
  const int n = pc.n_adjustable;
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) {
      const double variances = covariance[j][j] * covariance[i][i];
      if (variances > 0.0)
        correlation[i][j] = covariance[i][j] / std::sqrt(variances);
      else
        correlation[i][j] = i == j ? 1.0 : 0.0;
    }
}

int lm_report_insensitive(pest_control& pc, const dmat& jacobian, const dmat& prior_matrix, std::FILE* rec) {
  int c = 0;
  for (int k = 1; k <= pc.npar; ++k) {
    par_rec& p = pc.pars[k];
    if (!pest_is_adjustable(p)) continue;
    p.sensitivity = composite_sensitivity(pc, jacobian, prior_matrix, ++c, nullptr);
    if (std::fabs(p.sensitivity) >= 1e-8) continue;
    p.insensitive = 1;
    ++pc.n_insensitive;
    std::printf("   Parameter \"%s\" has no effect on observations.\n", p.name.c_str());
    if (rec) std::fprintf(rec, "   Parameter \"%s\" has no effect on observations.\n", p.name.c_str());
  }
  return 0;
}

int lm_write_sensitivities(pest_control& pc, const dmat& jacobian, const dmat& prior_matrix,
                           const output_file_names& names, int iteration, std::FILE* sen, int completion) {
  if (completion == 0) {
    if (iteration == 1) {
      std::fprintf(sen, "                        PARAMETER SENSITIVITIES: CASE %s\n", names.case_name.c_str());
      std::fprintf(sen, "\n");
      std::fprintf(sen, "\n");
    }
    std::fprintf(sen, " OPTIMISATION ITERATION NO.\t%d ----->\n", iteration);
    write_sensitivity_header(sen);
    for (int k = 1; k <= pc.npar; ++k)
      if (pest_is_adjustable(pc.pars[k])) write_sensitivity_line(sen, pc.pars[k]);
    std::fprintf(sen, "\n");
    std::fprintf(sen, "\n");
    return 0;
  }
  std::fprintf(sen, "\n");
  std::fprintf(sen, "                        COMPLETION OF OPTIMISATION PROCESS\n\n");
  for (int g = 1; g <= pc.nobsgp; ++g) {
    const std::string& group = pc.obs_groups[g].name;
    std::fprintf(sen, " Composite sensitivities for observation group \"%s\" ----->\n\n", group.c_str());
    const int count = weighted_count(pc, &group);
    if (count == 0) {
      std::fprintf(sen, "\n No observations/prior_info with non-zero weight belong to this group.\n\n");
    } else {
      std::fprintf(sen, " Number of observations with non-zero weight =\t%d\n", count);
      write_sensitivity_header(sen);
      write_sensitivity_lines(
          pc, sen, [&](int c) { return composite_sensitivity(pc, jacobian, prior_matrix, c, &group); });
    }
    std::fprintf(sen, "\n");
    std::fprintf(sen, "\n");
  }
  std::fprintf(sen, " Composite sensitivities for all observations/prior info ----->\n\n");
  std::fprintf(sen, " Number of observations with non-zero weight =\t%d\n", weighted_count(pc, nullptr));
  write_sensitivity_header(sen);
  write_sensitivity_lines(pc, sen,
                          [&](int c) { return composite_sensitivity(pc, jacobian, prior_matrix, c, nullptr); });
  return 0;
}

void t_critical_95(int nu, double& value) {
  if (nu >= 2 && nu <= 30) {
    value = t_table[nu];
  } else if (nu > 30 && nu < 40) {
    value = 2.042 - (nu - 30) * ((2.042 - 2.021) / 10);
  } else if (nu >= 40 && nu < 60) {
    value = 2.021 - (nu - 40) * ((2.021 - 2.0) / 20);
  } else if (nu >= 60 && nu < 120) {
    value = 2.0 - (nu - 60) * ((2.0 - 1.98) / 60);
  } else if (nu >= 120 && nu <= 9999999) {
    value = 1.98 - (nu - 120) * ((1.98 - 1.96) / (9999999 - 120));
  }
}

int lm_final_results(std::FILE* rec, double phi, const dmat& covariance, const dmat& correlation,
                     const dmat& eigenvectors, const dvec& eigenvalues, const pest_control& pc, int normal_singular,
                     const dmat& prior_matrix) {
  const bool available = normal_singular == 0 && pc.noptmax != 0;
  std::fprintf(rec, "\n\n");
  std::fprintf(rec, "                            OPTIMISATION RESULTS\n");
  std::fprintf(rec, "\n\n");
  if (!available) {
    std::fprintf(rec, "Covariance matrix and parameter confidence intervals cannot be determined:\n");
    if (normal_singular == normal_matrix_singular) std::fprintf(rec, "Normal matrix nearly singular; cannot be inverted.\n\n");
    if (normal_singular == too_few_weighted_observations)
      std::fprintf(rec, "Too few observations with non-zero weight for the adjustable parameters.\n\n");
    if (pc.noptmax == 0) std::fprintf(rec, "No optimisation iterations carried out so Jacobian never calculated..\n\n");
  }
  write_adjustable_parameters(rec, pc, covariance, available);
  if (pc.n_tied > 0) {
    std::fprintf(rec, "Tied parameters ----->\n\n");
    for (int k = 1; k <= pc.npar; ++k)
      if (pc.pars[k].partrans == "tied") std::fprintf(rec, "%s              %10lf\n", pc.pars[k].name.c_str(), pc.pars[k].value);
    std::fprintf(rec, "\n\n");
  }
  if (pc.n_fixed > 0) {
    std::fprintf(rec, "Fixed parameters ----->\n\n");
    std::fprintf(rec, "Parameter        Fixed value\n");
    for (int k = 1; k <= pc.npar; ++k)
      if (pc.pars[k].partrans == "fixed") std::fprintf(rec, "%s              %10lf\n", pc.pars[k].name.c_str(), pc.pars[k].value);
    std::fprintf(rec, "\n\n");
  }
  write_observations(rec, pc);
  write_prior_information(rec, pc, prior_matrix);
  std::fprintf(rec, "\n");
  std::fprintf(rec, "Objective function ----->\n");
  std::fprintf(rec, "\n");
  std::fprintf(rec, "Sum of squared weighted residuals (ie phi)\t\t: %E\n", phi);
  for (int g = 1; g <= pc.nobsgp; ++g)
    std::fprintf(rec, "Contribution to phi from observation group '%s'\t= %E\n", pc.obs_groups[g].name.c_str(),
                 pc.obs_groups[g].phi);
  std::fprintf(rec, "\n");
  std::fprintf(rec, "\n");
  if (!available) {
    std::fprintf(rec, "Covariance and other statistical matricies cannot be determined:\n");
    if (normal_singular == normal_matrix_singular) std::fprintf(rec, "Normal matrix nearly singular; cannot be inverted.\n");
    if (normal_singular == too_few_weighted_observations)
      std::fprintf(rec, "Too few observations with non-zero weight for the adjustable parameters.\n");
    if (pc.noptmax == 0) std::fprintf(rec, "No optimisation iterations carried out so Jacobian never calculated.\n");
    return 0;
  }
  std::fprintf(rec, "Parameter covariance matrix ----->\n");
  write_matrix(rec, pc, covariance, write_small_aware);
  std::fprintf(rec, "\n\n");
  std::fprintf(rec, "Parameter correlation coefficient matrix ----->\n");
  write_matrix(rec, pc, correlation, write_plain);
  std::fprintf(rec, "\n\n");
  std::fprintf(rec, "Normalized eigenvectors of covariance matrix ----->\n");
  write_matrix(rec, pc, eigenvectors, write_plain);
  std::fprintf(rec, "\n\n");
  std::fprintf(rec, "Eigenvalues ----->\n");
  std::fprintf(rec, "\n");
  std::fprintf(rec, "\t");
  for (int k = 1; k <= pc.n_adjustable; ++k) {
    write_small_aware(rec, eigenvalues[k]);
    std::fprintf(rec, "\t");
  }
  return 0;
}

}  // namespace kavro
