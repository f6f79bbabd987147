// Sensitivities, covariance, correlation and the closing results of the
// record file: the linear stand-in worked by hand, and the cases of the
// formulas and the layout.
#include "calibration/lm_statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "calibration/case_record.h"
#include "calibration/numeric_toolkit.h"
#include "calibration/pest_control.h"
#include "tool_stand_in.h"

namespace kavro_test {
namespace {

using kavro::dmat;
using kavro::dvec;
using kavro::pest_control;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// n untransformed parameters, m observations of group "flow" with the given
// weights, estimation mode.
pest_control make_control(int n, const std::vector<double>& weights) {
  pest_control pc;
  pc.pestmode = "estimation";
  pc.npar = pc.n_adjustable = n;
  pc.pars.allocate(n);
  for (int k = 1; k <= n; ++k) {
    pc.pars[k].name = "p" + std::to_string(k);
    pc.pars[k].partrans = "none";
    pc.pars[k].group = "g";
  }
  pc.nobs = static_cast<int>(weights.size());
  pc.obs.allocate(pc.nobs);
  for (int i = 1; i <= pc.nobs; ++i) {
    pc.obs[i].name = "y" + std::to_string(i);
    pc.obs[i].weight = weights[static_cast<std::size_t>(i - 1)];
    pc.obs[i].group = "flow";
  }
  pc.nobsgp = 1;
  pc.obs_groups.allocate(1);
  pc.obs_groups[1].name = "flow";
  pc.noptmax = -1;
  return pc;
}

dmat matrix_of(const std::vector<std::vector<double>>& rows) {
  dmat m = kavro::matrix(1, static_cast<int>(rows.size()), 1, static_cast<int>(rows[0].size()));
  for (std::size_t i = 0; i < rows.size(); ++i)
    for (std::size_t j = 0; j < rows[i].size(); ++j) m[static_cast<long>(i + 1)][static_cast<long>(j + 1)] = rows[i][j];
  return m;
}

dvec squared_weights(const pest_control& pc) {
  dvec w = kavro::dvector(1, pc.nobs);
  for (int i = 1; i <= pc.nobs; ++i) w[i] = pc.obs[i].weight * pc.obs[i].weight;
  return w;
}

// The statistics a driver computes at the end and the record they close.
struct closing {
  dmat covariance, correlation, eigenvectors;
  dvec eigenvalues;
  int singular = 0;
  std::string record;

  closing(pest_control& pc, const dmat& j, double phi) {
    const int n = pc.n_adjustable;
    covariance = kavro::matrix(1, n, 1, n);
    correlation = kavro::matrix(1, n, 1, n);
    eigenvectors = kavro::matrix(1, n, 1, n);
    eigenvalues = kavro::dvector(1, n);
    kavro::lm_normal_matrix(j, squared_weights(pc), phi, covariance, pc, singular);
    if (singular == 0) {
      dmat work = kavro::matrix(1, n, 1, n);
      for (int a = 1; a <= n; ++a)
        for (int b = 1; b <= n; ++b) work[a][b] = covariance[a][b];
      kavro::lm_correlation(work, correlation, pc);
      int rotations = 0;
      kavro::jacobi(work, n, eigenvalues, eigenvectors, rotations);
      kavro::sort_eigenpairs(eigenvalues, eigenvectors, n);
    }
    dmat prior;
    record = written([&](std::FILE* f) {
      kavro::lm_final_results(f, phi, covariance, correlation, eigenvectors, eigenvalues, pc, singular, prior);
    });
  }
};

class LinearStatistics : public tool_folder {};

TEST_F(LinearStatistics, CovarianceLimitsAndSensitivities) {
  write_lin();
  tool_engine e;
  e.open("lin", lin_stand_in());
  ASSERT_EQ(e.base_run(), 0);
  ASSERT_EQ(e.jacobian_runs(), 0);
  // The sensitivity block of that Jacobian.
  dmat prior;
  kavro::output_file_names names;
  kavro::FilesNamesForWrite("lin", names);
  testing::internal::CaptureStdout();
  kavro::lm_report_insensitive(e.pc, e.jacobian, prior, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  const std::string sen = written(
      [&](std::FILE* f) { kavro::lm_write_sensitivities(e.pc, e.jacobian, prior, names, 1, f, 0); });
  EXPECT_TRUE(has(sen, "                        PARAMETER SENSITIVITIES: CASE lin\n\n\n"
                       " OPTIMISATION ITERATION NO.\t1 ----->\n"
                       " Parameter name    Group          Current value    Sensitivity       \n"
                       "p1\tg\t1.000000\t0.500000\n"
                       "p2\tg\t2.000000\t0.600925\n"
                       "p3\tg\t3.000000\t0.500000\n\n\n"))
      << sen;

  // At the solution: J = A, phi* = 147/5125, three degrees of freedom.
  e.pc.pars[1].value = 2519.0 / 2050.0;
  e.pc.pars[2].value = 89.0 / 41.0;
  e.pc.pars[3].value = 5881.0 / 2050.0;
  const closing c(e.pc, matrix_of({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {0, 1, 1}, {1, 1, 1}}),
                  147.0 / 5125.0);
  ASSERT_EQ(c.singular, 0);
  const double scale = (49.0 / 5125.0) / 205.0;
  const double inverse[3][3] = {{53, -40, 12}, {-40, 65, -40}, {12, -40, 53}};
  for (int a = 0; a < 3; ++a)
    for (int b = 0; b < 3; ++b) EXPECT_NEAR(c.covariance[a + 1][b + 1] / (scale * inverse[a][b]), 1.0, 1e-9);
  EXPECT_NEAR(c.covariance[1][1], 0.00247186, 1e-8);
  EXPECT_NEAR(c.covariance[1][2], -0.00186556, 1e-8);
  EXPECT_NEAR(c.covariance[1][3], 0.000559667, 1e-9);
  EXPECT_NEAR(c.covariance[2][2], 0.00303153, 1e-8);
  EXPECT_NEAR(c.correlation[1][2], -0.681499, 1e-6);
  EXPECT_NEAR(c.correlation[1][3], 12.0 / 53.0, 1e-12);
  EXPECT_EQ(c.correlation[2][2], 1.0);
  const std::string& rec = c.record;
  EXPECT_TRUE(has(rec, "p1                1.228780           1.070578          1.386983\n")) << rec;
  EXPECT_TRUE(has(rec, "p2                2.170732           1.995533          2.345930\n"));
  EXPECT_TRUE(has(rec, "p3                2.868780           2.710578          3.026983\n"));
  EXPECT_TRUE(has(rec, "Parameter covariance matrix ----->\n\t\tp1\tp2\tp3\np1\t0.002472\t-0.001866\t0.000560\n"));
  EXPECT_TRUE(has(rec, "Sum of squared weighted residuals (ie phi)\t\t: 2.868293E-02\n"));
  EXPECT_TRUE(has(rec, "Eigenvalues ----->\n\n\t"));
  EXPECT_FALSE(has(rec, "cannot be determined"));
}

TEST(Sensitivity, Cases) {
  // Weights 1 and 2 with derivatives 3 and 1: sqrt(9 + 4) / 2.
  {
    pest_control pc = make_control(1, {1.0, 2.0});
    dmat prior;
    kavro::lm_report_insensitive(pc, matrix_of({{3.0}, {1.0}}), prior, nullptr);
    EXPECT_NEAR(pc.pars[1].sensitivity, std::sqrt(13.0) / 2.0, 1e-15);
    EXPECT_EQ(pc.n_insensitive, 0);
  }
  // A zero column: reported once, flagged, written as 0.000000.
  {
    pest_control pc = make_control(2, {1.0, 1.0});
    dmat prior;
    std::string rec = written([&](std::FILE* f) {
      testing::internal::CaptureStdout();
      kavro::lm_report_insensitive(pc, matrix_of({{1.0, 0.0}, {2.0, 0.0}}), prior, f);
      EXPECT_EQ(testing::internal::GetCapturedStdout(), "   Parameter \"p2\" has no effect on observations.\n");
    });
    EXPECT_EQ(rec, "   Parameter \"p2\" has no effect on observations.\n");
    EXPECT_EQ(pc.pars[2].insensitive, 1);
    EXPECT_EQ(pc.n_insensitive, 1);
    EXPECT_EQ(pc.pars[2].sensitivity, 0.0);
  }
  // Every weight 0: no term at all, sensitivity 0 and flagged (no 0 / 0).
  {
    pest_control pc = make_control(1, {0.0, 0.0});
    dmat prior;
    testing::internal::CaptureStdout();
    kavro::lm_report_insensitive(pc, matrix_of({{3.0}, {1.0}}), prior, nullptr);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(pc.pars[1].sensitivity, 0.0);
    EXPECT_EQ(pc.pars[1].insensitive, 1);
  }
}

TEST(StudentT, TableAndInterpolation) {
  struct row {
    int nu;
    double t;
  };
  for (const row& r : {row{2, 4.303}, row{30, 2.042}, row{35, 2.0315}, row{90, 1.99}, row{200, 1.97999984}}) {
    double t = 0.0;
    kavro::t_critical_95(r.nu, t);
    EXPECT_NEAR(t, r.t, 1e-9) << r.nu;
  }
  for (int nu : {0, 1, 10000000}) {
    double t = -7.0;
    kavro::t_critical_95(nu, t);
    EXPECT_EQ(t, -7.0) << nu;
  }
}

TEST(FinalResults, LayoutCases) {
  // One degree of freedom uses 12.706.
  {
    pest_control pc = make_control(1, {1.0, 1.0});
    pc.pars[1].value = 1.0;
    const closing c(pc, matrix_of({{1.0}, {1.0}}), 0.5);
    // covariance = 0.5 / 1 * 1/2 = 0.25, sigma 0.5.
    EXPECT_TRUE(has(c.record, "p1                1.000000          -5.353000          7.353000\n")) << c.record;
  }
  // A "log" parameter at 1.0 with sigma 0.1 and ten degrees of freedom.
  {
    pest_control pc = make_control(1, std::vector<double>(11, 1.0));
    pc.pars[1].partrans = "log";
    pc.pars[1].value = 1.0;
    dmat j = kavro::matrix(1, 11, 1, 1);
    for (int i = 1; i <= 11; ++i) j[i][1] = 1.0;
    // covariance = phi / 10 / 11 = 0.01.
    const closing c(pc, j, 1.1);
    EXPECT_TRUE(has(c.record, "p1               10.000000           5.986872         16.703212\n")) << c.record;
  }
  // Small covariances in exponent form, others fixed.
  {
    pest_control pc = make_control(2, {1.0, 1.0, 1.0});
    dmat cov = matrix_of({{0.5, 0.00005}, {0.00005, 0.5}});
    dmat cor = matrix_of({{1.0, 0.0001}, {0.0001, 1.0}});
    dmat vec = matrix_of({{1.0, 0.0}, {0.0, 1.0}});
    dvec val = kavro::dvector(1, 2);
    val[1] = 0.50005;
    val[2] = 0.00005;
    dmat prior;
    const std::string rec =
        written([&](std::FILE* f) { kavro::lm_final_results(f, 1.0, cov, cor, vec, val, pc, 0, prior); });
    EXPECT_TRUE(has(rec, "\t\tp1\tp2\np1\t0.500000\t5.0000E-05\np2\t5.0000E-05\t0.500000\n")) << rec;
    EXPECT_TRUE(has(rec, "Eigenvalues ----->\n\n\t0.500050\t5.0000E-05\t"));
  }
  // More parameters than weighted observations: no covariance, no limits,
  // and nothing that is not a number.
  {
    pest_control pc = make_control(2, {1.0, 0.0, 0.0});
    const closing c(pc, matrix_of({{1.0, 2.0}, {0.0, 1.0}, {1.0, 0.0}}), 0.3);
    EXPECT_EQ(c.singular, kavro::too_few_weighted_observations);
    EXPECT_TRUE(has(c.record, "Covariance matrix and parameter confidence intervals cannot be determined:\n"
                              "Too few observations with non-zero weight for the adjustable parameters.\n\n"));
    EXPECT_TRUE(has(c.record, "Parameter        Estimated\n                 value\n"));
    EXPECT_FALSE(has(c.record, "nan"));
    EXPECT_FALSE(has(c.record, "inf"));
  }
  // Two parameters, one observation.
  {
    pest_control pc = make_control(2, {1.0});
    const closing c(pc, matrix_of({{1.0, 2.0}}), 0.3);
    EXPECT_EQ(c.singular, kavro::too_few_weighted_observations);
    EXPECT_FALSE(has(c.record, "nan"));
    EXPECT_FALSE(has(c.record, "inf"));
  }
  // A perfect fit: zero variances correlate with nothing.
  {
    pest_control pc = make_control(2, {1.0, 1.0, 1.0});
    const closing c(pc, matrix_of({{1.0, 0.0}, {0.0, 1.0}, {1.0, 1.0}}), 0.0);
    EXPECT_EQ(c.correlation[1][2], 0.0);
    EXPECT_EQ(c.correlation[1][1], 1.0);
    EXPECT_FALSE(has(c.record, "nan"));
  }
}

}  // namespace
}  // namespace kavro_test
