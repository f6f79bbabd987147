// The Marquardt upgrade of the adjustable parameters for one lambda: the
// damped normal equations solved with diagonal scaling, the step shortened
// or lengthened to its optimum along its own direction, and the upgrade
// applied within the parameter bounds, freezing parameters that a bound
// holds and solving again for the others.
//
// The weight matrix of the observations and prior-information equations is
// diagonal; it is held as its diagonal, the squared weights (m entries).
// Every product with it is the scaling of rows or columns that the dense
// product would give, bit for bit, without an m x m matrix.
#pragma once

#include <cstdio>

#include "framework/one_based.h"

namespace kavro {

struct pest_control;

// jt_q (cols x rows) = transpose(j) * W, j being rows x cols and W the
// diagonal of squared weights.
void lm_weighted_transpose(const dmat& j, int rows, int cols, const dvec& weight_matrix, dmat& jt_q);

// The upgrade (1..n_adjustable, transformed units) for the lambda in
// rlambda1 over all adjustable parameters: (N + lambda * min diag N) u =
// J' W r with N = J' W J and r the residuals of the current outputs. 0.
int lm_upgrade_vector(const dmat& jacobian, const dmat& prior_matrix, const dvec& weight_matrix,
                      const pest_control& pc, dvec& upgrade);
// The same on the k columns of a reduced Jacobian (m rows), with the
// prior-information values c (1..nprior). 0.
int lm_upgrade_vector_subset(const dmat& reduced_jacobian, const dvec& prior_values, int m, int k,
                             const dvec& weight_matrix, const pest_control& pc, dvec& reduced_upgrade);

// Scales the upgrade to the step along it that minimises the weighted sum of
// squares of the linearised model; a step that changes no weighted output
// keeps its length. 0.
int lm_step_length(const dmat& jacobian, const dmat& prior_matrix, const pest_control& pc, dvec& upgrade);
// The same on the sensitive columns (n_adjustable - n_insensitive of them).
int lm_step_length_sensitive(const dmat& reduced_jacobian, const dvec& prior_values, const pest_control& pc,
                             dvec& reduced_upgrade);
// The same on the free columns (n_adjustable - n_insensitive - n_frozen).
int lm_step_length_free(const dmat& reduced_jacobian, const dvec& prior_values, const pest_control& pc,
                        dvec& reduced_upgrade);

// Applies the upgrade within the bounds: a parameter carried across a bound
// stops on it; one already on a bound that the upgrade and the steepest
// descent both push out is frozen for the iteration (reported on the
// console and in `rec`), and the others are solved again without it.
// Insensitive parameters take no part; tied parameters follow their
// parents. `upgrade` ends as the change applied. 0.
int lm_bounded_upgrade(const dmat& jacobian, const dmat& prior_matrix, const dvec& weight_matrix, pest_control& pc,
                       dvec& upgrade, const ivec& adjustable_list, std::FILE* rec);

// One trial's parameter values for the lambda in rlambda1: the full upgrade
// and its step length when no parameter is insensitive, then the bounded
// upgrade. 0.
int lm_trial_upgrade(const dmat& jacobian, const dmat& prior_matrix, const dvec& weight_matrix, pest_control& pc,
                     dvec& upgrade, const ivec& adjustable_list, std::FILE* rec);

}  // namespace kavro
