// The Levenberg-Marquardt search of "-slm" on stand-ins with known optima:
// exponential decay from its control file, with the secant method and with a
// "switch" group; bounds that hold the optimum; the linear case and its
// statistics; the shapes of NOPTMAX; the lambda trials; and a search stopped
// through the stop file and resumed from its restart file.
#include "calibration/lm_driver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "calibration/calibration_entries.h"
#include "calibration/numeric_toolkit.h"
#include "calibration/pest_control.h"
#include "tool_stand_in.h"

namespace kavro_test {
namespace {

namespace fs = std::filesystem;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

const char* const endings[] = {
    "Optimization complete: the objective function equals zero\n",
    "Optimization complete: the  3 lowest phi's are within a relative distance\n",
    "Optimization complete:   3 optimization iterations have elapsed since lowest\n",
    "Optimization complete: relative parameter change less than 0.010000\n",
};

class LmSearch : public tool_folder {
 protected:
  // run_slm on `control` (the case name), the model runs on `model`.
  int slm(const std::string& control, std::shared_ptr<tool_stand_in> model, std::vector<std::string> extra = {}) {
    const kavro::run_plan plan = tool_stand_in_plan(std::move(model));
    std::vector<std::string> args = {"-slm", control};
    args.insert(args.end(), extra.begin(), extra.end());
    return tool(kavro::run_slm, args, &plan);
  }
  static int total_calls(const std::string& rec) { return static_cast<int>(last_figure(rec, "Total Model Calls:\t")); }
  static double final_phi(const std::string& rec) {
    return last_figure(rec, "Sum of squared weighted residuals (ie phi)\t\t: ");
  }
  // Every parameter set the model ran lies within the bounds.
  static void expect_inside(const std::vector<std::string>& calls, const std::vector<double>& lower,
                            const std::vector<double>& upper) {
    for (const std::string& line : calls) {
      const std::vector<double> v = call_values(line);
      ASSERT_EQ(v.size(), lower.size()) << line;
      for (std::size_t j = 0; j < v.size(); ++j) {
        EXPECT_GE(v[j], lower[j]) << line;
        EXPECT_LE(v[j], upper[j]) << line;
      }
    }
  }
};

// A control file in the standard layout, amended to be read here (the
// extension values, the project and the prior-information header): a
// "switch" group with parabolic three-point derivatives.
std::string expdecay() {
  return "pcf\n* control data\nrestart estimation\n2 6 1 0 1\n1 1 single point 1 0 0\n5.0 2.0 0.3 0.03 10\n"
         "5.0 5.0 0.001 0\n0.1 noaui\n30 0.01 3 3 0.01 3\n1 1 1\n0 0 1.5 0 0.05 decay.prj\n"
         "* parameter groups\npg relative 0.01 0.0 switch 2.0 parabolic\n"
         "* parameter data\na none relative 1.0 0.1 100.0 pg 1.0 0.0 1\nk log factor 1.0 0.01 10.0 pg 1.0 0.0 1\n"
         "* observation groups\nobsgp\n* observation data\no1 5 1 obsgp\no2 3.70409110341 1 obsgp\n"
         "o3 2.74405818047 1 obsgp\no4 1.50597105956 1 obsgp\no5 0.612282141265 1 obsgp\n"
         "o6 0.248935341839 1 obsgp\n* model command line\nnone true\n* model input/output\n"
         "model.tpl model.in\nmodel.ins model.out\n* prior information\n";
}

TEST_F(LmSearch, ExponentialDecayIsRecovered) {
  struct variant {
    const char* what;
    std::string control;
    const char* case_name;
    double tolerance;
    int most_calls;  // printed total
  };
  const std::string decay = fixture("decay.pst");
  const variant variants[] = {
      {"LM", decay, "decay", 1e-6, 40},
      {"secant, no cyclic columns", replace_once(decay, "0 0 1.5 2 0.05", "1 0 1.5 0 0.05"), "decay", 1e-4, 25},
      {"switch group, parabolic", expdecay(), "expdecay", 1e-6, 59},
  };
  for (const variant& v : variants) {
    SCOPED_TRACE(v.what);
    write_decay();
    write_file(std::string(v.case_name) + ".pst", v.control);
    copy_fixture("decay.tpl");
    write_file("model.tpl", fixture("decay.tpl"));
    write_file("model.ins", fixture("decay.ins"));
    fs::remove("calls.log");
    ASSERT_EQ(slm(v.case_name, decay_stand_in()), 0) << console;
    const std::string rec = read_file(std::string(v.case_name) + ".rec");
    int endings_found = 0;
    for (const char* e : endings) endings_found += has(rec, e) ? 1 : 0;
    EXPECT_EQ(endings_found, 1) << rec;
    EXPECT_TRUE(has(rec, "OPTIMISATION RESULTS"));
    const std::vector<std::string> runs = calls();
    const std::vector<double> last = call_values(runs.back());
    ASSERT_EQ(last.size(), 2u);
    EXPECT_NEAR(last[0], 5.0, v.tolerance);
    EXPECT_NEAR(last[1], 0.3, v.tolerance);
    const int total = total_calls(rec);
    EXPECT_LE(total, v.most_calls);
    EXPECT_EQ(static_cast<int>(runs.size()), total + 1);  // and the final run
    if (v.tolerance <= 1e-6) {
      EXPECT_LT(final_phi(rec), 1e-10);
      EXPECT_EQ(read_file(std::string(v.case_name) + ".par"), "5.000000\n0.300000\n");
    }
    EXPECT_FALSE(fs::exists(std::string(v.case_name) + ".rst"));  // deleted before the final run
    expect_inside(runs, {0.1, 0.01}, {100.0, 10.0});
  }
}

TEST_F(LmSearch, BoundsHoldTheOptimum) {
  struct bounded {
    const char* what;
    std::string from, to;
    double lower_a, upper_a, lower_k;
  };
  const std::string decay = fixture("decay.pst");
  const bounded cases[] = {
      {"upper bound 4.5 on a", "a none relative 1.0 0.1 100.0", "a none relative 1.0 0.1 4.5", 0.1, 4.5, 0.01},
      {"lower bound 0.35 on k", "k log factor 1.0 0.01 10.0", "k log factor 1.0 0.35 10.0", 0.1, 100.0, 0.35},
  };
  for (const bounded& b : cases) {
    SCOPED_TRACE(b.what);
    fs::remove("calls.log");
    write_decay(replace_once(decay, b.from, b.to));
    ASSERT_EQ(slm("decay", decay_stand_in()), 0) << console;
    expect_inside(calls(), {b.lower_a, b.lower_k}, {b.upper_a, 10.0});
  }
  // The optima on the bound (by a one-dimensional search of the objective).
  {
    fs::remove("calls.log");
    write_decay(replace_once(decay, cases[0].from, cases[0].to));
    ASSERT_EQ(slm("decay", decay_stand_in()), 0);
    const std::vector<double> last = call_values(calls().back());
    EXPECT_EQ(last[0], 4.5);
    EXPECT_NEAR(last[1], 0.261918, 0.001 * 0.261918);
    EXPECT_TRUE(has(read_file("decay.rec"),
                    "      parameter \"a\" frozen: gradient and update vectors out of bounds\n"));
  }
  {
    fs::remove("calls.log");
    write_decay(replace_once(decay, cases[1].from, cases[1].to));
    ASSERT_EQ(slm("decay", decay_stand_in()), 0);
    const std::vector<double> last = call_values(calls().back());
    EXPECT_EQ(last[1], 0.35);
    EXPECT_NEAR(last[0], 5.189177, 1e-6);
  }
  // Both bounds: every parameter ends on its limit.
  fs::remove("calls.log");
  write_decay(replace_once(replace_once(decay, cases[0].from, cases[0].to), cases[1].from, cases[1].to));
  ASSERT_EQ(slm("decay", decay_stand_in()), 0) << console;
  const std::string rec = read_file("decay.rec");
  EXPECT_TRUE(has(rec, "Optimisation complete: all parameters at their limits.\nTotal Model Calls:\t6\n")) << rec;
  EXPECT_TRUE(has(console, "Optimisation complete: all parameters at their limits.\nTotal Model Calls:\t6\n"));
  EXPECT_EQ(read_file("decay.par"), "4.500000\n0.350000\n");
  EXPECT_NEAR(final_phi(rec), 1.013576, 5e-7);
  expect_inside(calls(), {0.1, 0.35}, {4.5, 10.0});
}

TEST_F(LmSearch, LinearCaseLandsOnTheLeastSquaresSolution) {
  write_lin(replace_once(fixture("lin.pst"), "0.0 2.0 0.3 0.01 10", "5.0 2.0 0.3 0.01 10"));
  ASSERT_EQ(slm("lin", lin_stand_in()), 0) << console;
  const std::vector<double> last = call_values(calls().back());
  const double optimum[3] = {2519.0 / 2050.0, 89.0 / 41.0, 5881.0 / 2050.0};
  for (int j = 0; j < 3; ++j) EXPECT_NEAR(last[static_cast<std::size_t>(j)], optimum[j], 1e-6) << j;
  const std::string rec = read_file("lin.rec");
  EXPECT_TRUE(has(rec, "Sum of squared weighted residuals (ie phi)\t\t: 2.868293E-02\n")) << rec;
  // 95 % limits (t 3.182 at three degrees of freedom) and the covariance
  // (49/5125) N^-1 at the solution.
  const auto row_after = [&](const std::string& label) {
    const std::size_t at = rec.find(label);
    EXPECT_NE(at, std::string::npos) << label;
    return call_values(rec.substr(at + label.size(), 200));
  };
  const std::vector<double> p1 = row_after("\np1              ");
  const std::vector<double> p2 = row_after("\np2              ");
  const std::vector<double> p3 = row_after("\np3              ");
  const double limits[3][3] = {{1.228780, 1.070578, 1.386983}, {2.170732, 1.995533, 2.345930},
                               {2.868780, 2.710578, 3.026983}};
  const std::vector<double>* rows[3] = {&p1, &p2, &p3};
  for (int r = 0; r < 3; ++r) {
    ASSERT_GE(rows[r]->size(), 3u);
    for (int c = 0; c < 3; ++c)
      EXPECT_NEAR((*rows[r])[static_cast<std::size_t>(c)], limits[r][c], 1e-4 * limits[r][c]) << r << c;
  }
  const std::vector<double> cov = row_after("Parameter covariance matrix ----->\n\t\tp1\tp2\tp3\np1\t");
  ASSERT_GE(cov.size(), 3u);
  // Printed with six decimals.
  EXPECT_NEAR(cov[0], 0.00247186, 5e-7);
  EXPECT_NEAR(cov[1], -0.00186556, 5e-7);
  EXPECT_NEAR(cov[2], 0.000559667, 5e-7);
}

TEST_F(LmSearch, ShapesOfTheSearch) {
  struct shape {
    const char* what;
    std::string control;
    int runs;
    int jacobians;     // iterations that reached their Jacobian
    const char* line;  // in the record
  };
  const std::string lin = replace_once(fixture("lin.pst"), "0.0 2.0 0.3 0.01 10", "5.0 2.0 0.3 0.01 10");
  // Observations (1, 2, 3, 3, 5, 6): the start (1, 2, 3) fits them exactly.
  std::string perfect = lin;
  for (const auto& [from, to] : {std::pair<const char*, const char*>{"y1 1.1", "y1 1"}, {"y2 2.2", "y2 2"},
                                 {"y3 2.9", "y3 3"}, {"y4 3.4", "y4 3"}, {"y5 5.0", "y5 5"}, {"y6 6.3", "y6 6"}})
    perfect = replace_once(perfect, from, to);
  const shape shapes[] = {
      {"NOPTMAX -2", replace_once(lin, "30 0.01 3 3 0.01 3", "-2 0.01 3 3 0.01 3"), 5, 1,
       "Optimization complete: Maximum number of optimization iterations completed.\nTotal Model Calls:\t4\n"},
      {"a perfect start", perfect, 2, 0, "Optimization complete: the objective function equals zero\nTotal Model Calls:\t1\n"},
      {"NPHISTP 1", replace_once(lin, "30 0.01 3 3 0.01 3", "30 0.01 1 3 0.01 3"), 2, 0,
       "Optimization complete: the  1 lowest phi's are within a relative distance\n"},
  };
  for (const shape& s : shapes) {
    SCOPED_TRACE(s.what);
    fs::remove("calls.log");
    write_lin(s.control);
    auto model = lin_stand_in();
    ASSERT_EQ(slm("lin", model), 0) << console;
    EXPECT_EQ(model->runs, s.runs);
    const std::string rec = read_file("lin.rec");
    EXPECT_TRUE(has(rec, s.line)) << rec;
    EXPECT_EQ(has(rec, "OPTIMIZATION ITERATION NO."), s.jacobians == 1);
    EXPECT_FALSE(has(rec, "OPTIMIZATION ITERATION NO.\t\t\t\t: 2\n"));
    EXPECT_TRUE(has(rec, "OPTIMISATION RESULTS"));
  }
}

TEST_F(LmSearch, LambdaAdjustment) {
  struct sequence {
    const char* what;
    std::vector<double> phi;  // objective of each trial
    std::vector<double> lambdas;
  };
  const sequence sequences[] = {
      {"falling", {10, 8, 6, 4}, {10, 5, 2.5, 1.25}},
      {"second trial worse", {10, 12, 11, 9}, {10, 5, 20, 40}},
      {"worse, then worse again", {10, 12, 13, 14}, {10, 5, 20, 40}},
  };
  for (const sequence& s : sequences) {
    SCOPED_TRACE(s.what);
    kavro::pest_control pc;
    pc.rlamfac = 2.0;
    pc.rlambda1 = 10.0;
    kavro::dvec phi = kavro::dvector(1, 4);
    const double first = pc.rlambda1;
    double previous = pc.rlambda1;
    int reversed = 0;
    for (int t = 1; t <= 4; ++t) {
      EXPECT_EQ(pc.rlambda1, s.lambdas[static_cast<std::size_t>(t - 1)]) << t;
      phi[t] = s.phi[static_cast<std::size_t>(t - 1)];
      kavro::lm_adjust_lambda(first, previous, reversed, phi[t], phi, t, pc);
    }
  }
}

TEST_F(LmSearch, LambdaStopTests) {
  struct trials {
    const char* what;
    int numlam;
    std::vector<double> phi;  // the trials so far
    int keep;                 // 0: go on
    const char* line;
  };
  const double nan = std::nan("");
  const trials cases[] = {
      {"one lambda allowed", 1, {9.0}, 1, "No more lambdas: allowed lambdas per iteration =  1\n\n"},
      {"at most PHIRATSUF of the start", 10, {2.9}, 1, "No more lambdas: phi is less than 0.300000 of starting phi\n\n"},
      {"rising over two trials decides nothing", 10, {8.0, 9.0}, 0, ""},
      {"rising over three", 10, {8.0, 7.0, 7.5}, 2, "No more lambdas: phi rising\n\n"},
      {"little reduction", 10, {8.0, 7.99}, 2, "No more lambdas: relative phi reduction between lambdas less than"},
      {"equal objectives keep the later", 3, {7.0, 7.0, 7.0}, 3, "allowed lambdas per iteration =  3"},
      {"no usable objective", 3, {nan, 2e30, HUGE_VAL}, kavro::lm_keep_starting_set,
       "allowed lambdas per iteration =  3"},
  };
  for (const trials& t : cases) {
    SCOPED_TRACE(t.what);
    kavro::pest_control pc;
    pc.numlam = t.numlam;
    pc.phiratsuf = 0.3;
    pc.phiredlam = 0.01;
    const int n = static_cast<int>(t.phi.size());
    kavro::dvec phi = kavro::dvector(1, n);
    for (int i = 1; i <= n; ++i) phi[i] = t.phi[static_cast<std::size_t>(i - 1)];
    int keep = 0;
    const std::string rec = written([&](std::FILE* f) {
      testing::internal::CaptureStdout();
      kavro::lm_lambda_stop_tests(f, 10.0, n, phi, pc, keep);
      testing::internal::GetCapturedStdout();
    });
    EXPECT_EQ(keep, t.keep);
    EXPECT_TRUE(has(rec, t.line)) << rec;
  }
}

TEST_F(LmSearch, FirstIterationWithoutGainSwitchesToThreePoints) {
  // A model whose outputs are far off everywhere but at the start and its
  // Jacobian points: no trial of the first iteration improves. With a
  // "switch" group the search returns to its start, takes the first lambda
  // again and three-point derivatives from then on.
  write_decay();
  write_file("model.tpl", fixture("decay.tpl"));
  write_file("model.ins", fixture("decay.ins"));
  write_file("expdecay.pst", expdecay());
  auto model = std::make_shared<tool_stand_in>(tool_stand_in{
      [](const std::vector<double>& p) {
        std::vector<double> y = decay_outputs(p);
        if (std::fabs(p[0] - 1.0) > 0.021 || std::fabs(p[1] - 1.0) > 0.021)
          for (double& v : y) v += 50.0;
        return y;
      },
      2});
  ASSERT_EQ(slm("expdecay", model), 0) << console;
  const std::string rec = read_file("expdecay.rec");
  const std::size_t second = rec.find("OPTIMIZATION ITERATION NO.\t\t\t\t: 2\n");
  ASSERT_NE(second, std::string::npos) << rec;
  const std::string first = rec.substr(0, second);
  const std::size_t block = first.rfind("      Current parameter values                 Previous parameter values\n");
  ASSERT_NE(block, std::string::npos) << first;
  char line[160];
  for (const char* name : {"a", "k"}) {
    std::snprintf(line, sizeof line, "      %s             %10lf                %s               %lf\n", name, 1.0, name,
                  1.0);
    EXPECT_TRUE(has(first.substr(block), line)) << first.substr(block);
  }
  // The first trial of iteration 2 uses the first lambda.
  const std::size_t lambda = rec.find("\tLambda = ", second);
  ASSERT_NE(lambda, std::string::npos);
  EXPECT_EQ(rec.substr(lambda, 27), "\tLambda = 5.000000E+00 ----");
  // Iteration 1 perturbs each parameter once, iteration 2 twice.
  EXPECT_TRUE(has(console, "Calculating Jacobian matrix: running model 2 times ...\n"));
  EXPECT_TRUE(has(console, "Calculating Jacobian matrix: running model 4 times ...\n"));
}

TEST_F(LmSearch, UnusableTrialsKeepTheStartingSet) {
  // Every trial's outputs overflow the objective: the trials end at NUMLAM
  // and the iteration keeps its starting set.
  write_lin(replace_once(replace_once(fixture("lin.pst"), "0.0 2.0 0.3 0.01 10", "5.0 2.0 0.3 0.01 4"),
                         "30 0.01 3 3 0.01 3", "1 0.01 3 3 0.01 3"));
  auto model = std::make_shared<tool_stand_in>(tool_stand_in{
      [](const std::vector<double>& p) {
        std::vector<double> y = lin_outputs(p);
        // The start (1, 2, 3) and its Jacobian points run normally.
        const bool near_start = std::fabs(p[0] - 1) <= 0.011 && std::fabs(p[1] - 2) <= 0.021 &&
                                std::fabs(p[2] - 3) <= 0.031;
        if (!near_start)
          for (double& v : y) v = 1e300;
        return y;
      },
      3});
  ASSERT_EQ(slm("lin", model), 0) << console;
  EXPECT_EQ(model->runs, 1 + 3 + 4 + 1);  // initial, Jacobian, NUMLAM trials, final run
  const std::string rec = read_file("lin.rec");
  EXPECT_TRUE(has(rec, "No more lambdas: allowed lambdas per iteration =  4\n"));
  EXPECT_EQ(read_file("lin.par"), "1.000000\n2.000000\n3.000000\n");
  EXPECT_TRUE(has(rec, "Sum of squared weighted residuals (ie phi)\t\t: 1.060000E+00\n")) << rec;
  EXPECT_EQ(calls().back(), "1.0000000E+00 2.0000000E+00 3.0000000E+00 ");
}

// A stand-in that asks the tool to stop at its 10th run.
std::shared_ptr<tool_stand_in> stopping_decay() {
  auto count = std::make_shared<int>(0);
  return std::make_shared<tool_stand_in>(tool_stand_in{
      [count](const std::vector<double>& p) {
        if (++*count == 10) write_file("pest.stp", "1\n");
        return decay_outputs(p);
      },
      2});
}

// "-slm decay" on the stand-in that asks to stop at its 10th run.
void run_until_stopped() {
  const kavro::run_plan plan = tool_stand_in_plan(stopping_decay());
  std::vector<std::string> args = {"kavro", "-slm", "decay"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  kavro::run_slm(3, argv.data(), &plan);
}

TEST_F(LmSearch, StoppedSearchResumesToTheSameResult) {
  const std::string control = replace_once(fixture("decay.pst"), "norestart estimation", "restart estimation");
  // The uninterrupted search.
  write_decay(control);
  ASSERT_EQ(slm("decay", decay_stand_in()), 0) << console;
  const std::string par = read_file("decay.par");
  const int total = total_calls(read_file("decay.rec"));
  const std::string final_values = calls().back();

  // Stopped at the 10th run, in its second iteration: the process ends
  // with status 0 and leaves the restart file of iteration 1.
  fs::remove("calls.log");
  write_decay(control);
  // Forked where it stands, so the stopped search writes into this folder.
  GTEST_FLAG_SET(death_test_style, "fast");
  EXPECT_EXIT(
      {
        run_until_stopped();
        std::exit(3);
      },
      testing::ExitedWithCode(0), "");
  ASSERT_TRUE(fs::exists("decay.rst"));
  ASSERT_TRUE(fs::exists("pest.stp"));
  EXPECT_EQ(calls().size(), 10u);
  EXPECT_EQ(lines_of(read_file("decay.rst"))[4], "inf");  // the ratio of the first iteration

  // Resumed: no initial run, the same ending.
  ASSERT_EQ(slm("decay", decay_stand_in(), {"/r"}), 0) << console;
  const std::string rec = read_file("decay.rec");
  EXPECT_TRUE(has(rec, "\n\n                             .....RESTART.....\n\n"));
  EXPECT_EQ(read_file("decay.par"), par);
  EXPECT_EQ(total_calls(rec), total);
  EXPECT_EQ(calls().back(), final_values);
  EXPECT_FALSE(fs::exists("decay.rst"));
  EXPECT_FALSE(fs::exists("pest.stp"));
}

TEST(LmRelativeChange, LogParametersInNaturalOrLogUnits) {
  kavro::par_rec p;
  p.partrans = "log";
  p.value = 3.0;  // from 100 to 1000
  EXPECT_DOUBLE_EQ(kavro::lm_relative_change(p, 2.0, true), 0.5);
  EXPECT_DOUBLE_EQ(kavro::lm_relative_change(p, 2.0, false), 9.0);
  kavro::par_rec zero;
  zero.value = 0.25;
  EXPECT_EQ(kavro::lm_relative_change(zero, 0.0, false), 0.25);  // from 0: the absolute change
}

}  // namespace
}  // namespace kavro_test
