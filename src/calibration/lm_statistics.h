// What a Jacobian says about the parameters: composite sensitivities with
// the insensitive parameters flagged, the sensitivity file, the parameter
// covariance and correlation at the end of a search, and the closing
// results of the record file with 95 percent confidence limits.
#pragma once

#include <cstdio>

#include "framework/one_based.h"

namespace kavro {

struct pest_control;
struct output_file_names;

// Why the covariance could not be formed (the flag of lm_normal_matrix).
inline constexpr int normal_matrix_singular = 1;           // a row of the normal matrix is zero
inline constexpr int too_few_weighted_observations = 2;  // no more weighted observations than parameters

// covariance = phi / (m - n) * inverse(J' W J), m the observations and
// prior-information equations of positive weight, n the adjustable
// parameters; W is the diagonal of squared weights. Prior rows take part in
// estimation mode only. Sets `normal_singular` (cleared by the caller) to one
// of the flags above and leaves the covariance untouched when it cannot be
// formed.
void lm_normal_matrix(const dmat& jacobian, const dvec& weight_matrix, double phi, dmat& covariance,
                      const pest_control& pc, int& normal_singular);
// correlation[i][j] = covariance[i][j] / sqrt(covariance[i][i] covariance[j][j]);
// a parameter of zero variance correlates with nothing.
void lm_correlation(const dmat& covariance, dmat& correlation, const pest_control& pc);

// Composite sensitivity of every adjustable parameter into `sensitivity`;
// those below 1e-8, or without any term of positive weight, are flagged
// insensitive and reported on the console and in `rec`. 0.
int lm_report_insensitive(pest_control& pc, const dmat& jacobian, const dmat& prior_matrix, std::FILE* rec);
// One block of the sensitivity file: the iteration's sensitivities
// (`completion` 0), or the closing block by observation group and over all
// (`completion` 1), whose values are stored in `sensitivity`. 0.
int lm_write_sensitivities(pest_control& pc, const dmat& jacobian, const dmat& prior_matrix,
                           const output_file_names& names, int iteration, std::FILE* sen, int completion);

// The closing results of the record file. 0.
int lm_final_results(std::FILE* rec, double phi, const dmat& covariance, const dmat& correlation,
                     const dmat& eigenvectors, const dvec& eigenvalues, const pest_control& pc, int normal_singular,
                     const dmat& prior_matrix);
// The two-sided 95 percent Student-t value for nu degrees of freedom, 2 to
// 9,999,999; `value` is left as it is for any other nu.
void t_critical_95(int nu, double& value);

}  // namespace kavro
