// Model runs of the calibration tool and the Jacobian by finite differences
// on stand-ins whose derivatives are known, and the secant update.
#include "calibration/lm_jacobian.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "calibration/numeric_toolkit.h"
#include "calibration/pest_control.h"
#include "tool_stand_in.h"

namespace kavro_test {
namespace {

using changes = std::vector<std::pair<std::string, std::string>>;

class Jacobian : public tool_folder {
 protected:
  // The case `name` (lin or decay) with `edits` made to its control file,
  // opened on `model`, the base run made.
  static void open_case(tool_engine& e, const std::string& name, const changes& edits,
                        std::shared_ptr<tool_stand_in> model, const std::string& project = "") {
    std::remove("calls.log");
    std::string control = fixture(name + ".pst");
    for (const auto& [from, to] : edits) control = replace_once(control, from, to);
    if (name == "lin")
      write_lin(control);
    else
      write_decay(control);
    if (!project.empty()) write_file(name + ".prj", project);
    e.open(name, std::move(model));
    ASSERT_EQ(e.base_run(), 0) << e.console;
  }
};

TEST_F(Jacobian, ForwardDifferencesOfTheLinearModel) {
  tool_engine e;
  open_case(e, "lin", {}, lin_stand_in());
  ASSERT_EQ(e.jacobian_runs(), 0) << e.console;
  EXPECT_NE(e.console.find("Calculating Jacobian matrix: running model 3 times ...\n"), std::string::npos);
  EXPECT_EQ(e.model_calls, 3);
  const std::vector<std::string> log = calls();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0], "1.0000000E+00 2.0000000E+00 3.0000000E+00 ");
  EXPECT_EQ(log[1], "1.0100000E+00 2.0000000E+00 3.0000000E+00 ");
  EXPECT_EQ(log[2], "1.0000000E+00 2.0200000E+00 3.0000000E+00 ");
  EXPECT_EQ(log[3], "1.0000000E+00 2.0000000E+00 3.0300000E+00 ");
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 3; ++j) EXPECT_NEAR(e.jacobian[i][j], lin_rows[i - 1][j - 1], 1e-12) << i << "," << j;
  // Each progress line returns to its start; the last is followed by a blank line.
  EXPECT_NE(e.console.find("1 runs completed.\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b2 runs"), std::string::npos);
  EXPECT_NE(e.console.find("3 runs completed.\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\n\n"), std::string::npos);
}

// The exact derivatives of the decay stand-in at a 2, k 0.5: by a, and by
// log10 k (k is a "log" parameter).
double decay_by_a(double t) { return std::exp(-0.5 * t); }
double decay_by_log_k(double t) { return -2.0 * t * 0.5 * std::log(10.0) * std::exp(-0.5 * t); }

TEST_F(Jacobian, DerivativeSchemes) {
  struct scheme {
    const char* group;      // the group line's FORCEN and DERMTHD
    int runs;               // model runs of the Jacobian
    double k_error;         // largest relative error of the k column, by the scheme's own formulas
    const char* k_forward;  // the values of the first run of k
  };
  const scheme schemes[] = {
      {"always_2 2.0 parabolic", 2, 0.0197, "2.0000000E+00 5.0500000E-01 "},
      {"always_3 2.0 parabolic", 4, 0.00018, "2.0000000E+00 5.0500000E-01 "},
      {"always_3 2.0 outside_pts", 4, 0.00038, "2.0000000E+00 5.0500000E-01 "},
  };
  for (const scheme& s : schemes) {
    SCOPED_TRACE(s.group);
    // The linear model: every scheme is exact.
    tool_engine lin;
    open_case(lin, "lin", {{"always_2 2.0 parabolic", s.group}}, lin_stand_in());
    ASSERT_EQ(lin.jacobian_runs(), 0) << lin.console;
    EXPECT_EQ(lin.model_calls, 3 * s.runs / 2);
    for (int i = 1; i <= 6; ++i)
      for (int j = 1; j <= 3; ++j) EXPECT_NEAR(lin.jacobian[i][j], lin_rows[i - 1][j - 1], 1e-12) << i << "," << j;

    tool_engine decay;
    open_case(decay, "decay",
              {{"always_2 2.0 parabolic", s.group},
               {"a none relative 1.0", "a none relative 2.0"},
               {"k log factor 1.0", "k log factor 0.5"}},
              decay_stand_in());
    ASSERT_EQ(decay.jacobian_runs(), 0) << decay.console;
    EXPECT_EQ(decay.model_calls, s.runs);
    const std::vector<std::string> log = calls();
    ASSERT_EQ(log.size(), static_cast<std::size_t>(s.runs + 1));
    EXPECT_EQ(log[static_cast<std::size_t>(s.runs / 2 + 1)], s.k_forward);
    double k_error = 0.0;
    for (int i = 1; i <= 6; ++i) {
      const double t = decay_times[i - 1];
      EXPECT_NEAR(decay.jacobian[i][1], decay_by_a(t), 1e-12) << t;
      if (t > 0) k_error = std::max(k_error, std::fabs(decay.jacobian[i][2] / decay_by_log_k(t) - 1.0));
    }
    // The truncation error of the scheme, and no more.
    EXPECT_NEAR(k_error, s.k_error, 0.05 * s.k_error);
  }
}

TEST_F(Jacobian, ColumnCases) {
  // A tied child follows its parent's perturbation; it has no column.
  {
    tool_engine e;
    open_case(e, "lin", {{"p3 none relative 3.0", "p3 tied relative 3.0"}, {"* observation groups", "p3 p1\n* observation groups"}},
              lin_stand_in());
    ASSERT_EQ(e.jacobian_runs(), 0) << e.console;
    EXPECT_EQ(e.model_calls, 2);
    ASSERT_EQ(calls().size(), 3u);
    EXPECT_EQ(calls()[1], "1.0100000E+00 2.0000000E+00 3.0300000E+00 ");
    // y = A (p1, p2, 3 p1): the p1 column holds the child's share.
    for (int i = 1; i <= 6; ++i)
      EXPECT_NEAR(e.jacobian[i][1], lin_rows[i - 1][0] + 3.0 * lin_rows[i - 1][2], 1e-10) << i;
  }
  // "iw_" parameters are never run: their column is zero.
  {
    tool_engine e;
    open_case(e, "lin", {{"p2 none", "iw_p2 none"}}, lin_stand_in(), "[p1] [iw_p2] [p3]\n");
    e.jacobian[1][2] = 7.0;
    ASSERT_EQ(e.jacobian_runs(), 0) << e.console;
    EXPECT_NE(e.console.find("running model 2 times"), std::string::npos);
    EXPECT_EQ(e.model_calls, 2);
    for (int i = 1; i <= 6; ++i) EXPECT_EQ(e.jacobian[i][2], 0.0);
  }
  // A misspelt FORCEN: counted as two runs, none made, the column kept.
  {
    tool_engine e;
    open_case(e, "lin", {{"always_2", "alwasy_2"}}, lin_stand_in());
    e.jacobian[4][1] = 7.0;
    ASSERT_EQ(e.jacobian_runs(), 0) << e.console;
    EXPECT_NE(e.console.find("running model 6 times"), std::string::npos);
    EXPECT_EQ(e.model_calls, 0);
    EXPECT_EQ(e.jacobian[4][1], 7.0);
  }
  // "best_fit" three-point derivatives are refused before any run.
  {
    tool_engine e;
    open_case(e, "lin", {{"always_2 2.0 parabolic", "always_3 2.0 best_fit"}}, lin_stand_in());
    EXPECT_EQ(e.jacobian_runs(), 1);
    EXPECT_NE(e.console.find("The toolbox does not support the 'best_fit' method\n"), std::string::npos);
    EXPECT_NE(e.console.find("please alter DERMTHD in the control file accordingly.\n"), std::string::npos);
    EXPECT_EQ(e.model_calls, 0);
  }
  // A parameter pinned by equal bounds, or too small for its 1 % to change
  // it: no run, not counted, a zero column (no 0 / 0).
  for (const char* pinned : {"p2 none relative 2.0 2.0 2.0", "p2 none relative 4.9e-324 -1000.0 1000.0"}) {
    SCOPED_TRACE(pinned);
    tool_engine e;
    open_case(e, "lin", {{"p2 none relative 2.0 -1000.0 1000.0", pinned}}, lin_stand_in());
    e.jacobian[2][2] = 7.0;
    ASSERT_EQ(e.jacobian_runs(), 0) << e.console;
    EXPECT_NE(e.console.find("running model 2 times"), std::string::npos);
    EXPECT_EQ(e.model_calls, 2);
    for (int i = 1; i <= 6; ++i) EXPECT_EQ(e.jacobian[i][2], 0.0);
    EXPECT_NEAR(e.jacobian[6][3], 1.0, 1e-12);
  }
  // A "log" parameter below 1e-8: its upward point is the fixed 0.01, the
  // downward one (at its upper bound) 1 % below its value.
  struct tiny_case {
    const char* k_line;
    const char* k_run;
  };
  for (const tiny_case& t : {tiny_case{"k log factor 1e-9 1e-10 10.0", "1.0000000E+00 1.0000000E-02 "},
                             tiny_case{"k log factor 1e-9 1e-10 1e-9", "1.0000000E+00 9.9000000E-10 "}}) {
    SCOPED_TRACE(t.k_line);
    tool_engine e;
    open_case(e, "decay", {{"k log factor 1.0 0.01 10.0", t.k_line}}, decay_stand_in());
    ASSERT_EQ(e.jacobian_runs(), 0) << e.console;
    ASSERT_EQ(calls().size(), 3u);
    EXPECT_EQ(calls()[2], t.k_run);
  }
  // A run that leaves no output ends the Jacobian after the stop-file check,
  // naming the file it could not read.
  {
    tool_engine e;
    auto model = lin_stand_in();
    model->no_output_at_run = 2;  // the base run is the first
    open_case(e, "lin", {}, model);
    EXPECT_EQ(e.jacobian_runs(), 1);
    EXPECT_NE(e.console.find("model.out"), std::string::npos);
    EXPECT_EQ(e.model_calls, 1);
    EXPECT_EQ(calls().size(), 2u);
  }
}

TEST_F(Jacobian, SecantMethodColumns) {
  // Five parameters, the third fixed: candidates 1, 2, 4 and 5.
  std::string control = fixture("lin.pst");
  control = replace_once(control, "3 6 1 0 1", "5 6 1 0 1");
  control = replace_once(control, "0 0 1.5 2 0.05 lin.prj", "1 0 1.5 2 0.05 lin.prj");
  control = replace_once(control, "p3 none relative 3.0 -1000.0 1000.0 g 1.0 0.0 1",
                         "p3 fixed relative 3.0 -1000.0 1000.0 g 1.0 0.0 1\n"
                         "p4 none relative 4.0 -1000.0 1000.0 g 1.0 0.0 1\n"
                         "p5 none relative 5.0 -1000.0 1000.0 g 1.0 0.0 1");
  write_lin(control);
  write_file("lin.prj", "[p1] [p2] [p3] [p4] [p5]\n");
  auto model = std::make_shared<tool_stand_in>(tool_stand_in{lin_outputs, 5});
  tool_engine e;
  e.open("lin", model);
  ASSERT_EQ(e.base_run(), 0);
  e.pc.phi_ratio = 1.0;
  e.cyclic_cursor = 4;
  ASSERT_EQ(e.jacobian_runs(5), 0) << e.console;
  EXPECT_NE(e.console.find("running model 2 times"), std::string::npos);
  EXPECT_EQ(e.cyclic_cursor, 1);
  std::vector<std::string> log = calls();
  ASSERT_EQ(log.size(), 3u);
  // Runs in parameter order: p1, then p5.
  EXPECT_EQ(log[1], "1.0100000E+00 2.0000000E+00 3.0000000E+00 4.0000000E+00 5.0000000E+00 ");
  EXPECT_EQ(log[2], "1.0000000E+00 2.0000000E+00 3.0000000E+00 4.0000000E+00 5.0500000E+00 ");
  // Without cyclic columns and below the full-update threshold: no run.
  e.pc.cyclic_columns = 0;
  ASSERT_EQ(e.jacobian_runs(6), 0);
  EXPECT_NE(e.console.find("running model 0 times"), std::string::npos);
  EXPECT_EQ(calls().size(), 3u);
  // With FULL_UPDATE, a ratio equal to the threshold is no full update; a
  // larger one recomputes every column and leaves the cursor.
  e.pc.full_update = 1;
  e.pc.cyclic_columns = 2;
  e.pc.phi_ratio = 1.5;
  ASSERT_EQ(e.jacobian_runs(7), 0);
  EXPECT_NE(e.console.find("running model 2 times"), std::string::npos);
  EXPECT_EQ(e.cyclic_cursor, 4);  // p2 and p4 after p1
  e.pc.phi_ratio = 1.6;
  ASSERT_EQ(e.jacobian_runs(8), 0);
  EXPECT_NE(e.console.find("running model 4 times"), std::string::npos);
  EXPECT_EQ(e.cyclic_cursor, 4);
}

TEST(SecantUpdate, WorkedExamples) {
  // One parameter, one observation: J 2, dp 0.5, output change 3 -> J 6.
  // Two parameters with dp (1, 0): the first column alone changes. A change
  // equal to J dp, or no parameter change, leaves J as it is.
  struct example {
    std::vector<double> j;      // row-major, one observation row
    std::vector<double> dp;
    double output_change;
    std::vector<double> after;
  };
  const example examples[] = {
      {{2.0}, {0.5}, 3.0, {6.0}},
      {{2.0, 5.0}, {1.0, 0.0}, 4.0, {4.0, 5.0}},
      {{2.0, 5.0}, {0.5, 0.2}, 2.0, {2.0, 5.0}},
      {{2.0, 5.0}, {0.0, 0.0}, 9.0, {2.0, 5.0}},
  };
  for (const example& ex : examples) {
    kavro::pest_control pc;
    const int n = static_cast<int>(ex.j.size());
    pc.npar = pc.n_adjustable = n;
    pc.pars.allocate(n);
    pc.nobs = 1;
    pc.obs.allocate(1);
    pc.obs[1].simulated = 1.0;
    pc.obs[1].simulated_2 = 1.0 + ex.output_change;
    for (int k = 1; k <= n; ++k) {
      pc.pars[k].partrans = "none";
      pc.pars[k].previous_value = 1.0;
      pc.pars[k].value = 1.0 + ex.dp[static_cast<std::size_t>(k - 1)];
    }
    kavro::dmat j = kavro::matrix(1, 1, 1, n);
    for (int k = 1; k <= n; ++k) j[1][k] = ex.j[static_cast<std::size_t>(k - 1)];
    kavro::dmat prior;
    EXPECT_EQ(kavro::lm_secant_update(pc, j, prior), 0);
    for (int k = 1; k <= n; ++k) EXPECT_NEAR(j[1][k], ex.after[static_cast<std::size_t>(k - 1)], 1e-12) << k;
  }
}

}  // namespace
}  // namespace kavro_test
