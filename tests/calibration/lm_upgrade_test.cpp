// The Marquardt upgrade, its step length and the bounded upgrade: worked
// examples, the linear stand-in solved in one step, bounds and freezing,
// and the memory an upgrade takes with many observations.
#include "calibration/lm_upgrade.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "calibration/lm_statistics.h"
#include "calibration/numeric_toolkit.h"
#include "calibration/objective_components.h"
#include "calibration/pest_control.h"
#include "tool_stand_in.h"

namespace kavro_test {
namespace {

using kavro::dmat;
using kavro::dvec;
using kavro::ivec;
using kavro::pest_control;

// A control record of `n` untransformed parameters in wide bounds and one
// observation per row of `j`, simulated 0, weights `w`; the adjustable list,
// the Jacobian and the squared weights beside it.
struct small_case {
  pest_control pc;
  dmat jacobian;
  dvec weights;
  ivec list;
  dvec upgrade;
  dmat prior;

  small_case(const std::vector<std::vector<double>>& j, const std::vector<double>& observed,
             const std::vector<double>& w) {
    const int m = static_cast<int>(j.size());
    const int n = static_cast<int>(j[0].size());
    pc.npar = pc.n_adjustable = n;
    pc.pars.allocate(n);
    for (int k = 1; k <= n; ++k) {
      kavro::par_rec& p = pc.pars[k];
      p.name = "p" + std::to_string(k);
      p.partrans = "none";
      p.lower_bound = -1000.0;
      p.upper_bound = 1000.0;
    }
    pc.nobs = m;
    pc.obs.allocate(m);
    jacobian = kavro::matrix(1, m, 1, n);
    weights = kavro::dvector(1, m);
    for (int i = 1; i <= m; ++i) {
      pc.obs[i].value = observed[static_cast<std::size_t>(i - 1)];
      pc.obs[i].weight = w[static_cast<std::size_t>(i - 1)];
      weights[i] = pc.obs[i].weight * pc.obs[i].weight;
      for (int k = 1; k <= n; ++k) jacobian[i][k] = j[static_cast<std::size_t>(i - 1)][static_cast<std::size_t>(k - 1)];
    }
    list = kavro::ivector(1, n);
    kavro::lm_adjustable_list(pc, list);
    upgrade = kavro::dvector(1, n);
  }
  // The bound flags as the driver sets them at the top of an iteration.
  void flags_from_values() {
    for (int k = 1; k <= pc.npar; ++k) {
      kavro::par_rec& p = pc.pars[k];
      p.at_upper = p.value >= p.upper_bound ? 1 : 0;
      p.at_lower = p.value <= p.lower_bound ? 1 : 0;
    }
  }
  void full_upgrade() {
    kavro::lm_upgrade_vector(jacobian, prior, weights, pc, upgrade);
    kavro::lm_step_length(jacobian, prior, pc, upgrade);
  }
  // A bounded trial; the console in the return value, the record in `rec`.
  std::string bounded(std::string* rec_text = nullptr, bool solve = true) {
    std::string out;
    const std::string text = written([&](std::FILE* rec) {
      testing::internal::CaptureStdout();
      if (solve)
        kavro::lm_trial_upgrade(jacobian, prior, weights, pc, upgrade, list, rec);
      else
        kavro::lm_bounded_upgrade(jacobian, prior, weights, pc, upgrade, list, rec);
      out = testing::internal::GetCapturedStdout();
    });
    if (rec_text) *rec_text = text;
    return out;
  }
  // The lambda search's undo of a trial.
  void undo() {
    for (int k = 1; k <= pc.npar; ++k) {
      kavro::par_rec& p = pc.pars[k];
      p.value -= upgrade[k];
      if (p.value < p.upper_bound && p.at_upper == 1) p.at_upper = 0;
      if (p.value > p.lower_bound && p.at_lower == 1) p.at_lower = 0;
    }
  }
};

TEST(Upgrade, WorkedExamples) {
  // One parameter: J 2, weight 1, residual 4, lambda 0.1: the damped step
  // 1.8182, lengthened by 1.1 to the Gauss-Newton step 2.
  {
    small_case c({{2.0}}, {4.0}, {1.0});
    c.pc.rlambda1 = 0.1;
    kavro::lm_upgrade_vector(c.jacobian, c.prior, c.weights, c.pc, c.upgrade);
    EXPECT_NEAR(c.upgrade[1], 2.0 / 1.1, 1e-12);
    kavro::lm_step_length(c.jacobian, c.prior, c.pc, c.upgrade);
    EXPECT_NEAR(c.upgrade[1], 2.0, 1e-12);
  }
  // A diagonal normal matrix diag(4, 100), lambda 1: the damping term is
  // 4 (lambda times the smallest diagonal element) on both.
  {
    small_case c({{2.0, 0.0}, {0.0, 10.0}}, {1.0, 1.0}, {1.0, 1.0});
    c.pc.rlambda1 = 1.0;
    kavro::lm_upgrade_vector(c.jacobian, c.prior, c.weights, c.pc, c.upgrade);
    EXPECT_NEAR(c.upgrade[1], 2.0 / (4.0 + 4.0), 1e-12);
    EXPECT_NEAR(c.upgrade[2], 10.0 / (100.0 + 4.0), 1e-12);
  }
  // An upgrade that moves no weighted output keeps its length.
  {
    small_case c({{0.0, 1.0}, {1.0, 0.0}}, {1.0, 1.0}, {1.0, 0.0});
    c.upgrade[1] = 0.5;
    c.upgrade[2] = 0.0;
    kavro::lm_step_length(c.jacobian, c.prior, c.pc, c.upgrade);
    EXPECT_EQ(c.upgrade[1], 0.5);
  }
}

// One step of the linear stand-in: base run, Jacobian, upgrade, step length,
// bounded upgrade, one trial run. The parameters after it and the trial's phi.
class OneStep : public tool_folder {
 protected:
  struct result {
    double p[3];
    double phi;
  };
  result step(const std::vector<double>& start, double lambda) {
    std::remove("calls.log");
    std::string control = fixture("lin.pst");
    char line[128];
    for (int k = 0; k < 3; ++k) {
      const std::string from = "p" + std::to_string(k + 1) + " none relative " + std::to_string(k + 1) + ".0 ";
      std::snprintf(line, sizeof line, "p%d none relative %.8g ", k + 1, start[static_cast<std::size_t>(k)]);
      control = replace_once(control, from, line);
    }
    write_lin(control);
    tool_engine e;
    e.open("lin", lin_stand_in());
    EXPECT_EQ(e.base_run(), 0) << e.console;
    EXPECT_EQ(e.jacobian_runs(), 0) << e.console;
    e.pc.rlambda1 = lambda;
    dvec weights = kavro::dvector(1, 6);
    for (int i = 1; i <= 6; ++i) weights[i] = e.pc.obs[i].weight * e.pc.obs[i].weight;
    dvec upgrade = kavro::dvector(1, 3);
    dmat prior;
    testing::internal::CaptureStdout();
    kavro::lm_trial_upgrade(e.jacobian, prior, weights, e.pc, upgrade, e.adjustable, nullptr);
    EXPECT_EQ(kavro::lm_run_model(e.pc, 1, "-slm", e.instruction_files), 0);
    testing::internal::GetCapturedStdout();
    result r{};
    for (int k = 0; k < 3; ++k) r.p[k] = e.pc.pars[k + 1].value;
    kavro::lm_group_phi(e.pc, 1, r.phi);
    return r;
  }
};

// The weighted least-squares solution of the linear stand-in, by hand.
constexpr double p_star[3] = {2519.0 / 2050.0, 89.0 / 41.0, 5881.0 / 2050.0};
constexpr double phi_star = 147.0 / 5125.0;

TEST_F(OneStep, LandsOnTheSolution) {
  struct start_case {
    std::vector<double> start;
    double tolerance;  // relative, on the values
  };
  const start_case starts[] = {
      {{1, 2, 3}, 1e-12},
      {{-4, 0.5, 10}, 1e-12},
      {{100, -50, 7}, 1e-12},
      // Increments not exact in the 8 digits of "values.in".
      {{1.2345678, -0.33333, 2.71828}, 1e-6},
  };
  for (const start_case& s : starts) {
    SCOPED_TRACE(s.start[0]);
    const result r = step(s.start, 0.0);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(r.p[k] / p_star[k], 1.0, s.tolerance) << k;
    if (s.tolerance == 1e-12) {
      EXPECT_NEAR(r.phi, phi_star, 1e-10);
    }
  }
  const result small_lambda = step({1, 2, 3}, 1e-8);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(small_lambda.p[k] / p_star[k], 1.0, 1e-6) << k;
  // A large lambda turns the step towards steepest descent: it falls short.
  const result large_lambda = step({1, 2, 3}, 5.0);
  EXPECT_NEAR(large_lambda.phi, 0.195144, 5e-7);
}

TEST(BoundedUpgrade, BoundsAndFreezing) {
  // J = [[1, 1], [0, 1]], weights 1, lambda 0, simulated 0; p1 in [0, 1],
  // p2 in [-10, 10] at 0.
  const auto make = [](double p1, double o1, double o2) {
    small_case c({{1.0, 1.0}, {0.0, 1.0}}, {o1, o2}, {1.0, 1.0});
    c.pc.pars[1].lower_bound = 0.0;
    c.pc.pars[1].upper_bound = 1.0;
    c.pc.pars[1].value = p1;
    c.pc.pars[2].lower_bound = -10.0;
    c.pc.pars[2].upper_bound = 10.0;
    c.flags_from_values();
    return c;
  };
  const std::string gradient_out = "      parameter \"p1\" frozen: gradient and update vectors out of bounds\n";
  const std::string update_out = "      parameter \"p1\" frozen: update vectors out of bounds\n";
  // Inside its bounds, carried across: stops on the bound.
  {
    small_case c = make(0.5, 1.0, 0.2);
    std::string rec;
    EXPECT_EQ(c.bounded(&rec), "");
    EXPECT_EQ(c.pc.pars[1].value, 1.0);
    EXPECT_NEAR(c.upgrade[1], 0.5, 1e-12);
    EXPECT_EQ(c.pc.pars[1].at_upper, 1);
    EXPECT_NEAR(c.pc.pars[2].value, 0.2, 1e-12);
    EXPECT_EQ(c.pc.n_frozen, 0);
    EXPECT_EQ(rec, "");
  }
  // On its bound, pushed out by the upgrade and the gradient: frozen, the
  // other solved again; a second trial keeps it frozen without a message.
  {
    small_case c = make(1.0, 1.0, 0.2);
    std::string rec;
    EXPECT_EQ(c.bounded(&rec), gradient_out);
    EXPECT_EQ(rec, gradient_out);
    EXPECT_EQ(c.pc.pars[1].value, 1.0);
    EXPECT_EQ(c.pc.pars[1].frozen, 1);
    EXPECT_EQ(c.pc.n_frozen, 1);
    EXPECT_NEAR(c.pc.pars[2].value, 0.6, 1e-12);
    EXPECT_EQ(c.upgrade[1], 0.0);
    EXPECT_NEAR(c.upgrade[2], 0.6, 1e-12);
    c.undo();
    c.pc.rlambda1 = 0.5;
    EXPECT_EQ(c.bounded(&rec), "");
    EXPECT_EQ(rec, "");
    EXPECT_EQ(c.pc.pars[1].value, 1.0);
    EXPECT_EQ(c.upgrade[1], 0.0);
    EXPECT_EQ(c.pc.n_frozen, 1);
  }
  // On its bound, pushed out by the upgrade but not by the gradient: left
  // beyond in the first pass, frozen by the second look; the other re-solved.
  {
    small_case c = make(1.0, -0.5, -2.0);
    c.full_upgrade();
    EXPECT_NEAR(c.upgrade[1], 1.5, 1e-12);
    EXPECT_NEAR(c.upgrade[2], -2.0, 1e-12);
    std::string rec;
    EXPECT_EQ(c.bounded(&rec, false), update_out);
    EXPECT_EQ(rec, update_out);
    EXPECT_EQ(c.pc.pars[1].value, 1.0);
    EXPECT_NEAR(c.pc.pars[2].value, -1.25, 1e-12);
  }
  // 5e-9 beyond its bound with at_upper set: within the second look's
  // tolerance, so not frozen; the final clamp puts it on the bound.
  {
    small_case c = make(1.0, -0.5, -2.0);
    c.upgrade[1] = 5e-9;
    c.upgrade[2] = 0.0;
    EXPECT_EQ(c.bounded(nullptr, false), "");
    EXPECT_EQ(c.pc.pars[1].value, 1.0);
    EXPECT_EQ(c.pc.pars[1].frozen, 0);
    EXPECT_EQ(c.upgrade[1], 0.0);
  }
}

TEST(BoundedUpgrade, InsensitiveAndTiedParameters) {
  // Two insensitive parameters of five: the upgrade is solved on the other
  // three columns, and the two take no part.
  {
    const std::vector<std::vector<double>> j = {{1, 0, 2, 0, 1}, {0, 1, 1, 3, 0}, {1, 1, 0, 0, 2},
                                                {2, 0, 1, 1, 1}, {0, 2, 1, 0, 1}, {1, 1, 1, 1, 1}};
    small_case c(j, {1, 2, 3, 4, 5, 6}, {1, 1, 1, 1, 1, 1});
    c.pc.rlambda1 = 0.01;
    c.pc.pars[2].insensitive = c.pc.pars[4].insensitive = 1;
    c.pc.n_insensitive = 2;
    c.flags_from_values();
    small_case reduced({{1, 2, 1}, {0, 1, 0}, {1, 0, 2}, {2, 1, 1}, {0, 1, 1}, {1, 1, 1}}, {1, 2, 3, 4, 5, 6},
                       {1, 1, 1, 1, 1, 1});
    reduced.pc.rlambda1 = 0.01;
    reduced.full_upgrade();
    c.bounded();
    EXPECT_EQ(c.upgrade[2], 0.0);
    EXPECT_EQ(c.upgrade[4], 0.0);
    EXPECT_EQ(c.pc.pars[2].value, 0.0);
    EXPECT_EQ(c.upgrade[1], reduced.upgrade[1]);
    EXPECT_EQ(c.upgrade[3], reduced.upgrade[2]);
    EXPECT_EQ(c.upgrade[5], reduced.upgrade[3]);
    EXPECT_EQ(c.pc.pars[5].value, reduced.upgrade[3]);
  }
  // A tied parameter of ratio 2 whose "log" parent ends at 1 (natural 10): 20.
  {
    small_case c({{1.0, 0.0}}, {1.0}, {1.0});
    c.pc.n_adjustable = 1;
    c.pc.pars[1].partrans = "log";
    c.pc.pars[1].value = 0.5;
    c.pc.pars[2].partrans = "tied";
    c.pc.pars[2].tie_parent_index = 1;
    c.pc.pars[2].tie_ratio = 2.0;
    c.pc.n_tied = 1;
    kavro::lm_adjustable_list(c.pc, c.list);
    c.flags_from_values();
    c.upgrade[1] = 0.5;
    c.bounded(nullptr, false);
    EXPECT_EQ(c.pc.pars[1].value, 1.0);
    EXPECT_NEAR(c.pc.pars[2].value, 20.0, 1e-12);
  }
}

// Peak resident size of the process, in bytes.
long peak_resident_bytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss * 1024L;
}

// 20,000 observations and 2 parameters: the weight matrix is its diagonal,
// so an upgrade, a bounded upgrade and the covariance take a few megabytes,
// where a dense weight matrix would take 3.2 GB.
void upgrade_with_many_observations() {
  const int m = 20000;
  std::vector<std::vector<double>> j;
  std::vector<double> observed, w;
  for (int i = 1; i <= m; ++i) {
    j.push_back({1.0, i / double(m)});
    observed.push_back(1.0 + 2.0 * i / double(m));
    w.push_back(1.0);
  }
  small_case c(j, observed, w);
  c.flags_from_values();
  dmat covariance = kavro::matrix(1, 2, 1, 2);
  const long before = peak_resident_bytes();
  c.full_upgrade();
  c.bounded();
  int singular = 0;
  kavro::lm_normal_matrix(c.jacobian, c.weights, 1.0, covariance, c.pc, singular);
  const long added = peak_resident_bytes() - before;
  const bool solved = std::fabs(c.pc.pars[2].value - 2.0) < 1e-9 && singular == 0;
  std::exit(added < 100L * 1024 * 1024 && solved ? 0 : 1);
}

TEST(UpgradeSize, ManyObservationsTakeLittleMemory) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(upgrade_with_many_observations(), testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace kavro_test
