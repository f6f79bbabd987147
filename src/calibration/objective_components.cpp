#include "calibration/objective_components.h"

#include "calibration/numeric_toolkit.h"
#include "calibration/pest_control.h"

namespace kavro {

int lm_group_phi(pest_control& pc, int which, double& phi) {
  phi = 0.0;
  for (int g = 1; g <= pc.nobsgp; ++g) pc.obs_groups[g].phi = 0.0;
  for (int g = 1; g <= pc.nobsgp; ++g) {
    obs_group_rec& group = pc.obs_groups[g];
    for (int k = 1; k <= pc.nobs; ++k) {
      const obs_rec& o = pc.obs[k];
      if (o.group != group.name) continue;
      if (which != 0 && which != 1) continue;
      const double simulated = which == 0 ? o.simulated : o.simulated_2;
      const double r = (o.value - simulated) * o.weight;
      group.phi += r * r;
    }
  }
  for (int g = 1; g <= pc.nobsgp; ++g) phi += pc.obs_groups[g].phi;
  return 0;
}

int lm_prior_phi(pest_control& pc, const dmat& prior_matrix, double& prior_phi) {
  prior_phi = 0.0;
  if (pc.nprior < 1) return 0;
  const dvec y = lm_prior_values(pc, prior_matrix);
  for (int g = 1; g <= pc.nobsgp; ++g) {
    obs_group_rec& group = pc.obs_groups[g];
    for (int k = 1; k <= pc.nprior; ++k) {
      const prior_rec& pr = pc.priors[k];
      if (pr.group != group.name) continue;
      const double r = (pr.pival - y[k]) * pr.weight;
      group.phi += r * r;
      prior_phi += r * r;
    }
  }
  return 0;
}

dvec lm_adjustable_values(const pest_control& pc) {
  dvec x = dvector(1, pc.n_adjustable);
  int column = 0;
  for (int k = 1; k <= pc.npar; ++k)
    if (pest_is_adjustable(pc.pars[k])) x[++column] = pc.pars[k].value;
  return x;
}

dvec lm_prior_values(const pest_control& pc, const dmat& prior_matrix) {
  dvec y = dvector(1, pc.nprior);
  if (pc.nprior < 1) return y;
  const dvec x = lm_adjustable_values(pc);
  mat_vec_product(prior_matrix, pc.nprior, pc.n_adjustable, x, pc.n_adjustable, y);
  return y;
}

int lm_adjustable_list(const pest_control& pc, ivec& list) {
  int k = 0;
  for (int p = 1; p <= pc.npar; ++p)
    if (pest_is_adjustable(pc.pars[p])) list[++k] = p;
  return 0;
}

}  // namespace kavro
