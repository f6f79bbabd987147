// Shuffled complex evolution: its generators, its settings, the recovery of a
// known optimum on the stand-in model, the same files for the same seed, and
// the inputs that refuse to run.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "calibration/sce.h"
#include "stand_in.h"

namespace kavro {
namespace {

namespace fs = std::filesystem;
using kavro_test::calibration_folder;
using kavro_test::read_file;
using kavro_test::write_file;

TEST(SceGenerators, MinimalStandardReachesItsKnownValue) {
  int seed = 1;
  for (int i = 0; i < 10000; ++i) park_miller_step(seed);
  EXPECT_EQ(seed, 1043618065);
}

TEST(SceGenerators, UniformStaysInsideTheUnitInterval) {
  sce_state st;
  st.seed = -1969;
  double lo = 1.0, hi = 0.0;
  for (int i = 0; i < 1000000; ++i) {
    const double u = sce_uniform(st);
    lo = std::min(lo, u);
    hi = std::max(hi, u);
  }
  EXPECT_GT(lo, 0.0);
  EXPECT_LE(hi, 0.99999988);
  EXPECT_GT(hi, 0.9999);
}

TEST(SceGenerators, NormalDeviatesHaveUnitSpread) {
  sce_state st;
  st.seed = -3737;
  const int n = 100000;
  double sum = 0.0, sum2 = 0.0;
  for (int i = 0; i < n; ++i) {
    const double g = sce_gauss(st);
    sum += g;
    sum2 += g * g;
  }
  const double mean = sum / n;
  EXPECT_NEAR(mean, 0.0, 0.01);
  EXPECT_NEAR(sum2 / n - mean * mean, 1.0, 0.02);
}

struct settings_case {
  const char* what;
  int ideflt, nopt, ngs, kstop, npg, nps, nspl, mings;
  int want_npg, want_nps, want_nspl, want_mings, want_kstop, want_ngs;
};

TEST(SceSettings, DefaultsAndChecksInTheirOrder) {
  const settings_case cases[] = {
      {"defaults", 0, 3, 2, 5, 0, 0, 0, 0, 7, 4, 7, 2, 5, 2},
      {"kstop 0 kept", 0, 3, 2, 0, 0, 0, 0, 0, 7, 4, 7, 2, 0, 2},
      {"kstop 15 kept", 0, 3, 2, 15, 0, 0, 0, 0, 7, 4, 7, 2, 15, 2},
      {"kstop 20 becomes 5", 0, 3, 2, 20, 0, 0, 0, 0, 7, 4, 7, 2, 5, 2},
      {"kstop -1 becomes 5", 0, 3, 2, -1, 0, 0, 0, 0, 7, 4, 7, 2, 5, 2},
      {"npg too big for 100 complexes", 1, 3, 100, 5, 20, 4, 7, 100, 7, 4, 7, 100, 5, 100},
      {"population limit", 1, 3, 100, 5, 13, 4, 7, 100, 13, 4, 7, 100, 5, 100},
      {"npg default then population limit", 1, 10, 100, 5, 20, 4, 7, 100, 21, 11, 21, 100, 5, 2},
      {"nps above 50", 1, 3, 2, 5, 60, 51, 7, 2, 60, 4, 7, 2, 5, 2},
      {"nps default above npg", 1, 4, 2, 5, 3, 0, 3, 2, 3, 3, 3, 2, 5, 2},
      {"nspl 0 takes npg", 1, 3, 2, 5, 9, 4, 0, 2, 9, 4, 9, 2, 5, 2},
      {"mings above ngs", 1, 3, 2, 5, 7, 4, 7, 3, 7, 4, 7, 2, 5, 2},
  };
  for (const auto& c : cases) {
    sce_state st;
    st.ideflt = c.ideflt;
    st.nopt = c.nopt;
    st.ngs = c.ngs;
    st.kstop = c.kstop;
    st.npg = c.npg;
    st.nps = c.nps;
    st.nspl = c.nspl;
    st.mings = c.mings;
    testing::internal::CaptureStdout();
    const int warnings = sce_check_settings(st);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_GE(warnings, 0) << c.what;
    EXPECT_EQ(st.npg, c.want_npg) << c.what;
    EXPECT_EQ(st.nps, c.want_nps) << c.what;
    EXPECT_EQ(st.nspl, c.want_nspl) << c.what;
    EXPECT_EQ(st.mings, c.want_mings) << c.what;
    EXPECT_EQ(st.kstop, c.want_kstop) << c.what;
    EXPECT_EQ(st.ngs, c.want_ngs) << c.what;
    EXPECT_EQ(out.find("kstop = 5 WILL BE USED") != std::string::npos, c.kstop != c.want_kstop) << c.what;
    EXPECT_EQ(out.find("TOTAL NUMBER OF WARNING MESSAGES IS") != std::string::npos, warnings > 0) << c.what;
  }
}

TEST(SceSettings, InvalidComplexCountIsRefused) {
  for (int ngs : {0, -3, 1320}) {
    sce_state st;
    st.nopt = 2;
    st.ngs = ngs;
    testing::internal::CaptureStdout();
    EXPECT_EQ(sce_check_settings(st), -1);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("NUMBER OF COMPLEXES IN INITIAL POPULATION"),
              std::string::npos);
  }
}

// The SCE input of the stand-in with a given line 4 and parameter lines.
std::string sce_input(const std::string& line4, const std::string& line5 = "0 0 0 0 0 0",
                      const std::string& params = "0.1 0.01 0.2\n1.5 1.0 2.0\n0.5 0.1 0.9\n4.0 0.0 8.0\n") {
  return "p.prj\nparams.txt\nobs.txt\n" + line4 + "\n" + line5 + "\n" + params;
}

class SceInput : public calibration_folder {};

TEST_F(SceInput, ReadsSettingsAndRefusesBadLines) {
  struct input_case {
    const char* what;
    std::string text;
    bool ok;
    const char* message;
  };
  const input_case cases[] = {
      {"percent stored as a fraction", sce_input("2000 5 0.1 2 0 0 4"), true, ""},
      {"short line 4", sce_input("2000 5 0.1 2 0 0"), false, "The first line must have 7 parameters."},
      {"no parameters", sce_input("2000 5 0.1 2 0 0 0"), false, "The first line must have 7 parameters."},
      {"equal bounds", sce_input("2000 5 0.1 2 0 0 2", "0 0 0 0 0 0", "0.1 0.01 0.2\n1.5 2.0 2.0\n"), false,
       "Lower bound is greater than upper bound for varialbe 2"},
      {"missing parameter line", sce_input("2000 5 0.1 2 0 0 2", "0 0 0 0 0 0", "0.1 0.01 0.2\n"), false,
       "sce.in ends before the start value and bounds of parameter 2 of 2"},
      {"a bound with a letter in it", sce_input("2000 5 0.1 2 0 0 1", "0 0 0 0 0 0", "0.1 0.01 0.2x\n"), false,
       "sce.in, line 6: the value \"0.2x\" is not a number"},
      {"a count that is no whole number", sce_input("2000 5 0.1 2.5 0 0 1"), false,
       "sce.in, line 4: the value 2.5 is not a whole number"},
      {"a setting that is a word", sce_input("2000 5 0.1 2 0 1 1", "5 3 3 two 0 0", "0.1 0.01 0.2\n"), false,
       "sce.in, line 5: the value \"two\" is not a number"},
      {"infinite bound", sce_input("2000 5 0.1 2 0 0 1", "0 0 0 0 0 0", "0.1 0.01 1e999\n"), false,
       "line 6: the value 1e999 is not a finite number"},
  };
  for (const auto& c : cases) {
    write_file("sce.in", c.text);
    sce_state st;
    testing::internal::CaptureStdout();
    sce_setup(st, "sce.in", "sce_output.out");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(st.setup_ok, c.ok ? 1 : 0) << c.what << out;
    EXPECT_NE(out.find(c.message), std::string::npos) << c.what << out;
    if (c.ok) {
      EXPECT_DOUBLE_EQ(st.pcento, 0.001);
      EXPECT_EQ(st.iseed, 3737);
      EXPECT_EQ(st.nopt, 4);
      EXPECT_DOUBLE_EQ(st.upper[4], 8.0);
      EXPECT_EQ(st.project_file, "p.prj");
      EXPECT_EQ(st.obs_file, "obs.txt");
    }
    sce_teardown(st);
  }
}

// Evaluation lines of the log: every line but the header.
int evaluations(const std::string& log) {
  int n = 0;
  for (char ch : log) n += ch == '\n';
  return n - 1;
}

class SceSearch : public calibration_folder {
 protected:
  void SetUp() override {
    calibration_folder::SetUp();
    kavro_test::write_stand_in_files();
  }
  // One calibration of the stand-in; the result of run_sce_calibration.
  int calibrate(const std::string& input) {
    write_file("sce.in", input);
    values = std::make_shared<kavro_test::stand_in_values>();
    plan = kavro_test::stand_in_plan(values);
    testing::internal::CaptureStdout();
    const int r = run_sce_calibration("sce.in", &plan);
    console = testing::internal::GetCapturedStdout();
    return r;
  }
  std::shared_ptr<kavro_test::stand_in_values> values;
  run_plan plan;
  std::string console;
};

// The last line of the output file: the best value, then the parameters.
std::vector<double> final_estimate(const std::string& output) {
  const auto at = output.find("FINAL PARAMETER ESTIMATE AND ITS CRITERION VALUE ***\n");
  std::istringstream in(output.substr(at == std::string::npos ? output.size() : output.find('\n', at) + 1));
  std::vector<double> v;
  for (double x; in >> x;) v.push_back(x);
  return v;
}

TEST_F(SceSearch, RecoversTheKnownOptimumForEverySeed) {
  const double truth[] = {0.05, 1.4, 0.6, 4.0};
  for (int seed : {1969, 1, 2, 3, 4, 5}) {
    for (const char* f : {"sce_output.out", "0000_sce_log_file.txt", "0000_sce_best.out", "0000_results_all.out"})
      fs::remove(f);
    run_prefix_on = 0;
    ASSERT_EQ(calibrate(sce_input("2000 5 0.01 2 " + std::to_string(seed) + " 0 4")), 1) << seed;
    const std::string output = read_file("sce_output.out");
    EXPECT_NE(output.find(" *** OPTIMIZATION TERMINATED BECAUSE THE POPULATION HAS CONVERGED INTO\n"),
              std::string::npos)
        << seed << output;
    const std::vector<double> est = final_estimate(output);
    ASSERT_EQ(est.size(), 5u) << seed;
    EXPECT_LT(est[0], 0.005) << seed;
    const int n_eval = evaluations(read_file("0000_sce_log_file.txt"));
    EXPECT_LE(n_eval, 1000) << seed;
    EXPECT_EQ(n_eval, values->runs) << seed;
    EXPECT_EQ(kavro_test::count_lines("0000_results_all.out"), n_eval + 1) << seed;
    std::istringstream best(read_file("0000_sce_best.out"));
    std::string head;
    std::getline(best, head);
    EXPECT_EQ(head, "The best results of the SCE calibration " + std::to_string(n_eval + 1) + " runs:");
    for (double t : truth) {
      double v = 0.0;
      ASSERT_TRUE(best >> v) << seed;
      EXPECT_NEAR(v, t, 0.005 * t) << seed;
    }
    EXPECT_NE(console.find("The best results of the SCE calibration after " + std::to_string(n_eval + 1)),
              std::string::npos);
  }
}

TEST_F(SceSearch, SameSeedSameFilesInOneProcess) {
  const std::vector<std::string> files = {"0000_sce_log_file.txt", "sce_output.out", "0000_results_all.out"};
  std::vector<std::string> first;
  ASSERT_EQ(calibrate(sce_input("2000 5 0.01 2 1969 0 4")), 1);
  for (const auto& f : files) first.push_back(read_file(f));
  for (const auto& f : files) fs::remove(f);
  fs::remove("0000_sce_best.out");
  run_prefix_on = 0;
  ASSERT_EQ(calibrate(sce_input("2000 5 0.01 2 1969 0 4")), 1);
  for (std::size_t i = 0; i < files.size(); ++i) {
    EXPECT_FALSE(first[i].empty()) << files[i];
    EXPECT_EQ(read_file(files[i]), first[i]) << files[i];
  }
  fs::remove("0000_sce_log_file.txt");
  run_prefix_on = 0;
  ASSERT_EQ(calibrate(sce_input("2000 5 0.01 2 1970 0 4")), 1);
  EXPECT_NE(read_file("0000_sce_log_file.txt"), first[0]);
}

TEST_F(SceSearch, StartPointLeadsTheLogAndTheSubComplexFitsTheComplex) {
  // iniflg 1: the start point is evaluated first; npg 3 with nopt 4 leaves a
  // sub-complex of the whole complex.
  ASSERT_EQ(calibrate(sce_input("60 5 0.01 2 7 1 4", "3 0 3 2 1 0")), 1) << console;
  std::istringstream log(read_file("0000_sce_log_file.txt"));
  std::string header, first;
  std::getline(log, header);
  std::getline(log, first);
  EXPECT_NE(first.find(":  1.000000e-01 1.500000e+00 5.000000e-01 4.000000e+00"), std::string::npos) << first;
  EXPECT_NE(console.find("MAXIMUM NUMBER OF TRIALS 60 EXCEEDED"), std::string::npos);
}

TEST_F(SceSearch, PairCountMustMatchTheParameters) {
  write_file("params.txt", "3\n[K] \"%.10lf\"\n[M] \"%.10lf\"\n[C] \"%.10lf\"\n");
  EXPECT_EQ(calibrate(sce_input("2000 5 0.01 2 1969 0 4")), 0);
  EXPECT_NE(console.find("params.txt holds 3 parameters, but the calibration has 4"), std::string::npos) << console;
  EXPECT_EQ(values->runs, 0);
}

}  // namespace
}  // namespace kavro

namespace kavro {
namespace {

// The number of complexes in each loop line of the output file.
std::vector<int> complexes_per_loop(const std::string& output) {
  std::istringstream in(output);
  std::vector<int> ngs;
  for (std::string line; std::getline(in, line);) {
    int loop = 0, icall = 0, n = 0;
    char rest[2];
    if (line.size() > 40 && std::sscanf(line.c_str(), "%5d %5d %5d%1s", &loop, &icall, &n, rest) == 4) ngs.push_back(n);
  }
  return ngs;
}

TEST_F(SceSearch, ComplexesDropToTheMinimumAndKstopZeroStopsAtOnce) {
  ASSERT_EQ(calibrate(sce_input("2000 5 0.01 4 11 1 4", "9 5 9 2 0 0")), 1) << console;
  const std::vector<int> ngs = complexes_per_loop(read_file("sce_output.out"));
  ASSERT_GE(ngs.size(), 4u);
  EXPECT_EQ(std::vector<int>(ngs.begin(), ngs.begin() + 4), (std::vector<int>{4, 3, 2, 2}));

  fs::remove("sce_output.out");
  run_prefix_on = 0;
  ASSERT_EQ(calibrate(sce_input("2000 0 0.01 2 11 0 4")), 1) << console;
  const std::string output = read_file("sce_output.out");
  EXPECT_EQ(complexes_per_loop(output).size(), 1u) << output;
  EXPECT_NE(output.find(" *** OPTIMIZATION TERMINATED BECAUSE THE CRITERION VALUE HAS NOT\n"
                        " CHANGED  0.01 PERCENT IN     0 SHUFFLING LOOPS ***\n"),
            std::string::npos)
      << output;
}

}  // namespace
}  // namespace kavro
