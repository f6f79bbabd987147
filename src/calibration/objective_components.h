// The objective function of the calibration tool, phi: the sum of squared
// weighted residuals of the observations and of the prior-information
// equations, kept per observation group.
#pragma once

#include "framework/one_based.h"

namespace kavro {

struct pest_control;

// Sets every group's phi to the sum of (weight * (measured - simulated))^2
// over its observations and phi to their sum. which 0 uses `simulated` (the
// base run), 1 `simulated_2` (a trial run); any other value adds nothing. 0.
int lm_group_phi(pest_control& pc, int which, double& phi);
// Adds ((pival - prior_matrix row . adjustable values) * weight)^2 of each
// prior-information equation to its group's phi; their sum in prior_phi. 0.
int lm_prior_phi(pest_control& pc, const dmat& prior_matrix, double& prior_phi);
// list[k] = index in pars of the k-th adjustable parameter. 0.
int lm_adjustable_list(const pest_control& pc, ivec& list);
// The adjustable parameters' values (transformed) in control-file order.
dvec lm_adjustable_values(const pest_control& pc);
// The prior-information values at the current parameters: prior_matrix
// times the adjustable values, one per equation.
dvec lm_prior_values(const pest_control& pc, const dmat& prior_matrix);

}  // namespace kavro
