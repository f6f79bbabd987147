// The global searches "-ms", "-tr" and "-mlsl" on the double well, whose
// shallow well at x = -(2 + sqrt 2) / 4 traps a local search that the deep
// one at x = 1 should win over; their seeds, reports and repeatability; the
// small rules they rest on; and their refusals of bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "calibration/calibration_entries.h"
#include "calibration/lm_driver.h"
#include "calibration/numeric_toolkit.h"
#include "calibration/pest_control.h"
#include "calibration/tool_modes.h"
#include "tool_stand_in.h"

namespace kavro_test {
namespace {

namespace fs = std::filesystem;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

int count_of(const std::string& text, const std::string& part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
  return n;
}

const double shallow = -(2.0 + std::sqrt(2.0)) / 4.0;  // -0.853553

// The blocks of a report, each from `marker` to the next.
std::vector<std::string> blocks(const std::string& text, const std::string& marker) {
  std::vector<std::string> out;
  for (std::size_t at = text.find(marker); at != std::string::npos;) {
    const std::size_t next = text.find(marker, at + marker.size());
    out.push_back(text.substr(at, next == std::string::npos ? std::string::npos : next - at));
    at = next;
  }
  return out;
}

// The two numbers after "\t<name>\t" in a block: start and end.
std::vector<double> start_and_end(const std::string& block, const std::string& name) {
  const std::size_t at = block.find("\t" + name + "\t");
  if (at == std::string::npos) return {};
  return call_values(block.substr(at + name.size() + 2, 80));
}

class GlobalModes : public tool_folder {
 protected:
  int mode(tool_entry entry, const char* option, std::shared_ptr<tool_stand_in> model,
           const std::string& control = "well") {
    const kavro::run_plan plan = tool_stand_in_plan(std::move(model));
    return tool(entry, {option, control}, &plan);
  }
  // The files a mode leaves, by name.
  static std::vector<std::string> files_of(const std::vector<std::string>& names) {
    std::vector<std::string> texts;
    for (const std::string& n : names) texts.push_back(fs::exists(n) ? read_file(n) : "(missing)");
    return texts;
  }
};

TEST_F(GlobalModes, LocalSearchFallsIntoTheShallowWell) {
  write_well();
  ASSERT_EQ(mode(kavro::run_slm, "-slm", well_stand_in()), 0) << console;
  const std::vector<double> last = call_values(calls().back());
  EXPECT_NEAR(last[0], shallow, 0.001);
  EXPECT_NEAR(last_figure(read_file("well.rec"), "Sum of squared weighted residuals (ie phi)\t\t: "), 0.942598, 1e-6);
}

TEST_F(GlobalModes, MultistartSearchesFromEverySample) {
  write_well();
  write_file("ms.in", "12345 3\n");
  auto model = well_stand_in();
  ASSERT_EQ(mode(kavro::run_multistart, "-ms", model), 0) << console;
  EXPECT_TRUE(has(console, "\nUsing the multistart stochastic global optimization method,\n"));
  EXPECT_EQ(read_file("RandomNumberSeeds.prn"), "2037045082\n856323654\n130006926\n");
  const std::vector<std::string> starts = lines_of(read_file("parameters.prn"));
  ASSERT_EQ(starts.size(), 3u);
  EXPECT_EQ(starts[0], "-7.454941360026E-01\t");
  EXPECT_NEAR(call_values(starts[1])[0], 1.753330, 1e-6);
  EXPECT_NEAR(call_values(starts[2])[0], -1.659681, 1e-6);

  const std::string report = read_file("slm_dwo_ms1.rec");
  EXPECT_EQ(count_of(report, "CT_MS1 CONTROL INFORMATION"), 1);
  EXPECT_TRUE(has(report, "Input unsigned long random seed                             : 12345\n"));
  EXPECT_TRUE(has(report, "                   RESULTS OF PRE-INVERSION SAMPLE RUNS\n\nx\tTotal\twell\t\n"
                          "-0.745494\t")) << report;
  const std::vector<std::string> runs = blocks(report, " Results of CT inversion run number ");
  ASSERT_EQ(runs.size(), 3u) << report;
  for (int b = 0; b < 3; ++b) {
    SCOPED_TRACE(b + 1);
    const std::vector<double> x = start_and_end(runs[static_cast<std::size_t>(b)], "x");
    ASSERT_EQ(x.size(), 2u);
    if (b == 1) {
      EXPECT_EQ(x[1], 1.0);
      EXPECT_TRUE(has(runs[1], "\ttotal\t4.4")) << runs[1];
      EXPECT_NEAR(start_and_end(runs[1], "total")[1], 0.01, 1e-6);
    } else {
      EXPECT_NEAR(x[1], shallow, 0.002);
    }
  }
  // The initial run of each sample and its search share the case files.
  EXPECT_EQ(count_of(read_file("well.rec"), "OPTIMIZATION RECORD"), 6);
}

TEST_F(GlobalModes, TrajectoryRepulsionFindsTheDeepWell) {
  write_well();
  write_file("tr.in", "Y 12345 3 3 2 0.1\n");
  ASSERT_EQ(mode(kavro::run_trajectory_repulsion, "-tr", well_stand_in()), 0) << console;
  EXPECT_EQ(read_file("RandomNumberSeeds.prn"), "-43814434\n-35536233\n-1166418187\n");
  const std::string report = read_file("slm_dwo_ms2.rec");
  const std::vector<std::string> runs = blocks(report, " Results of CT inversion run number ");
  ASSERT_EQ(runs.size(), 3u) << report;
  const std::vector<double> first = start_and_end(runs[0], "x");
  const std::vector<double> second = start_and_end(runs[1], "x");
  ASSERT_EQ(first.size(), 2u);
  ASSERT_EQ(second.size(), 2u);
  EXPECT_NEAR(first[0], -0.745494, 1e-6);  // the best sample
  EXPECT_NEAR(first[1], shallow, 0.002);   // not held at its own start
  EXPECT_NEAR(second[0], 1.753330, 1e-6);  // the farthest from the first trajectory
  EXPECT_NEAR(second[1], 1.0, 1e-6);
  EXPECT_TRUE(has(report, "The global search process yielded a total objective function value of 0.010000\n"));
  EXPECT_TRUE(has(report, "This value was obtained from inversion run number 2\n\n"));
  // The third search came near the first trajectory and stopped without a
  // termination test of its own.
  const std::string rec = read_file("well.rec");
  const std::string third = rec.substr(rec.rfind("OPTIMIZATION RECORD"));
  EXPECT_FALSE(has(third, "Optimization complete")) << third;
  EXPECT_TRUE(has(third, "The model has been run one final time using best parameters.\n"));
  EXPECT_FALSE(fs::exists("jac.txt"));

  // Seed mode N reads the seeds back: the same samples, byte for byte.
  const std::string rows = report.substr(0, report.find("RESULTS OF CT OPTIMIZATION RUNS"));
  write_file("tr.in", "N 999 3 3 2 0.1\n");
  ASSERT_EQ(mode(kavro::run_trajectory_repulsion, "-tr", well_stand_in()), 0) << console;
  const std::string again = read_file("slm_dwo_ms2.rec");
  EXPECT_EQ(replace_once(again.substr(0, again.find("RESULTS OF CT OPTIMIZATION RUNS")), ": 999\n", ": 12345\n"),
            rows);
  EXPECT_EQ(read_file("RandomNumberSeeds.prn"), "-43814434\n-35536233\n-1166418187\n");
}

TEST_F(GlobalModes, MultiLevelSingleLinkage) {
  write_well();
  write_file("mlsl.in", "3 0.5 4.0 0.01 Y 12345 3 5 3 2 0.01\n");
  ASSERT_EQ(mode(kavro::run_mlsl, "-mlsl", well_stand_in()), 0) << console;
  const std::string report = read_file("slm_dwo_mlsl.rec");
  EXPECT_TRUE(has(report, "Actual number of local searches performed is: 2\n")) << report;
  EXPECT_TRUE(has(report, "The number of local searches that yielded distinct local minima: 2\n"));
  EXPECT_TRUE(has(report, "The number of MLSL iterations is: 3\n"));
  EXPECT_TRUE(has(report, "The global search process yielded a total objective function value of 0.010000\n"));
  EXPECT_TRUE(has(report, "This value was obtained from reported inversion run number 2\n\n"));
  EXPECT_TRUE(has(report, "Stopped because the maximum MLSL iterations, 3, to carry out were carried out\n\n"));
  EXPECT_EQ(count_of(report, "\nSampling Phase: Iteration "), 3);
  EXPECT_EQ(lines_of(read_file("RandomNumberSeeds.prn")).size(), 9u);
  // Each search lists the points it visited, its start first.
  const std::vector<std::string> searches = blocks(report, "Upgrade vectors for Local Search ");
  ASSERT_EQ(searches.size(), 2u);
  EXPECT_GE(lines_of(searches[0]).size(), 4u);
}

TEST_F(GlobalModes, ASecondCallInTheSameProcessWritesTheSameFiles) {
  struct mode_case {
    const char* option;
    tool_entry entry;
    const char* input;
    const char* text;
    std::vector<std::string> files;
  };
  const mode_case cases[] = {
      {"-ms", kavro::run_multistart, "ms.in", "12345 3\n",
       {"slm_dwo_ms1.rec", "parameters.prn", "RandomNumberSeeds.prn", "well.rec", "well.sen", "well.par"}},
      {"-tr", kavro::run_trajectory_repulsion, "tr.in", "Y 12345 3 3 2 0.1\n",
       {"slm_dwo_ms2.rec", "RandomNumberSeeds.prn", "well.rec", "well.sen", "well.par"}},
      {"-mlsl", kavro::run_mlsl, "mlsl.in", "3 0.5 4.0 0.01 Y 12345 3 5 3 2 0.01\n",
       {"slm_dwo_mlsl.rec", "RandomNumberSeeds.prn", "well.rec", "well.sen", "well.par"}},
  };
  for (const mode_case& m : cases) {
    SCOPED_TRACE(m.option);
    write_well();
    write_file(m.input, m.text);
    ASSERT_EQ(mode(m.entry, m.option, well_stand_in()), 0) << console;
    const std::vector<std::string> first = files_of(m.files);
    ASSERT_EQ(mode(m.entry, m.option, well_stand_in()), 0) << console;
    const std::vector<std::string> second = files_of(m.files);
    for (std::size_t f = 0; f < m.files.size(); ++f) EXPECT_EQ(first[f], second[f]) << m.files[f];
  }
}

TEST(GlobalModeRules, SeedsDistancesAndStoppingRules) {
  // The seed sequence.
  std::uint32_t state = 0;
  EXPECT_EQ(kavro::next_sample_seed(state), -506952111);
  EXPECT_EQ(state, 1013904223u);
  std::uint32_t from_12345 = 12345;
  EXPECT_EQ(kavro::next_sample_seed(from_12345), -43814434);
  EXPECT_EQ(kavro::next_sample_seed(from_12345), -35536233);

  // The critical distance: two parameters with ranges 2 and 3 (one of them
  // log: its range in log10 units), sigma 4, 100 samples.
  kavro::pest_control pc;
  pc.npar = 3;
  pc.pars.allocate(3);
  pc.pars[1].lower_bound = -1.0;
  pc.pars[1].upper_bound = 1.0;
  pc.pars[2].partrans = "log";
  pc.pars[2].lower_bound = -1.0;
  pc.pars[2].upper_bound = 2.0;
  pc.pars[3].partrans = "fixed";
  pc.pars[3].lower_bound = 0.0;
  pc.pars[3].upper_bound = 50.0;
  kavro::pest_classify_parameters(pc);
  pc.mlsl_sigma = 4.0;
  double r = 0.0;
  kavro::mlsl_critical_distance(pc, 100, r);
  EXPECT_NEAR(r, 0.593135, 1e-6);
  kavro::mlsl_critical_distance(pc, 1, r);
  EXPECT_EQ(r, 0.0);

  // The reduced samples of N 10, gamma 0.25, after one, two and three iterations.
  EXPECT_EQ(kavro::mlsl_reduced_size(0.25, 10), 2);
  EXPECT_EQ(kavro::mlsl_reduced_size(0.25, 20), 5);
  EXPECT_EQ(kavro::mlsl_reduced_size(0.25, 30), 7);
  // Three minima from 30 reduced points are all there are; from 20 not yet.
  EXPECT_TRUE(kavro::mlsl_bayesian_stop(3, 30.0));
  EXPECT_FALSE(kavro::mlsl_bayesian_stop(3, 20.0));
}

TEST(GlobalModeRules, ProximityTest) {
  kavro::pest_control pc;
  pc.npar = 2;
  pc.pars.allocate(2);
  pc.pars[1].lower_bound = 0.0;
  pc.pars[1].upper_bound = 10.0;
  pc.pars[1].value = 5.0;
  pc.pars[2].partrans = "fixed";  // equal bounds: no part of any distance
  pc.pars[2].lower_bound = 3.0;
  pc.pars[2].upper_bound = 3.0;
  pc.pars[2].value = 3.0;
  pc.proximity_distance = 0.05;
  kavro::dmat table = kavro::matrix(1, 2, 1, 3);
  const double points[3] = {5.0, 5.3, 9.0};  // distance 0, 0.03, 0.4
  for (int c = 1; c <= 3; ++c) {
    table[1][c] = points[c - 1];
    table[2][c] = 3.0;
  }
  struct probe {
    const char* what;
    int n;            // points tested
    double distance;  // PROXIMITY_DISTANCE
    int stop;
  };
  const probe probes[] = {
      {"the same point does not count", 1, 0.05, 0},
      {"a near point stops", 2, 0.05, 1},
      {"proximity distance 0 never stops", 3, 0.0, 0},
      {"no point", 0, 0.05, 0},
  };
  for (const probe& p : probes) {
    SCOPED_TRACE(p.what);
    pc.proximity_distance = p.distance;
    int stop = -1;
    kavro::lm_near_previous(p.n, table, pc, stop);
    EXPECT_EQ(stop, p.stop);
  }
}

TEST_F(GlobalModes, BadInputStopsBeforeAnyRun) {
  struct refusal {
    const char* what;
    const char* option;
    tool_entry entry;
    std::string control;
    const char* input_name;
    const char* input;
    std::string message;
  };
  const std::string prediction = replace_once(fixture("well.pst"), "norestart estimation", "norestart prediction");
  const std::string ms2 =
      "\nCurrently, the slm_dwo_ms2 does not support prediction capabilities.\n"
      "Please change the PESTMODE parameter in the input control\n"
      "file to 'estimation' and recommence execution of slm_dwo_ms2.\n\n";
  const refusal refusals[] = {
      {"-ms prediction", "-ms", kavro::run_multistart, prediction, "ms.in", "1 2\n",
       "\nCurrently, the slm_dwo_ms1 does not support prediction capabilities.\n"
       "Please change the PESTMODE parameter in the input control\n"
       "file to 'estimation' and recommence execution of slm_dwo_ms1.\n\n"},
      {"-tr prediction", "-tr", kavro::run_trajectory_repulsion, prediction, "tr.in", "Y 1 2 2 1 0.1\n", ms2},
      {"-mlsl prediction", "-mlsl", kavro::run_mlsl, prediction, "mlsl.in", "3 0.5 4 0.01 Y 1 2 2 2 2 0.1\n", ms2},
      {"missing ms.in", "-ms", kavro::run_multistart, "", "", "", "Error: cannot open the input file ms.in.\n"},
      {"a word for N", "-tr", kavro::run_trajectory_repulsion, "", "tr.in", "Y 12345 three 3 2 0.1\n",
       "Error in the input file tr.in, item 3 (N, the number of pre-inversion runs): expected an integer of at "
       "least 1, found \"three\".\n"},
      {"no samples", "-ms", kavro::run_multistart, "", "ms.in", "12345 0\n",
       "Error in the input file ms.in, item 2 (N, the number of pre-inversion runs): expected an integer of at "
       "least 1, found \"0\".\n"},
      {"a short file", "-mlsl", kavro::run_mlsl, "", "mlsl.in", "3 0.5 4.0 0.01 Y 12345 3 5\n",
       "Error in the input file mlsl.in, item 9 (K1, the number of local searches without improvement that stops "
       "the search): missing, the file ends early.\n"},
      {"a negative seed", "-ms", kavro::run_multistart, "", "ms.in", "-5 3\n",
       "Error in the input file ms.in, item 1 (S, the random seed): expected an unsigned integer of at most "
       "4294967295, found \"-5\".\n"},
      {"a reduction above 1", "-mlsl", kavro::run_mlsl, "", "mlsl.in", "3 1.5 4.0 0.01 Y 12345 3 5 3 2 0.01\n",
       "Error in the input file mlsl.in, item 2 (gamma, the fraction of the samples kept in the reduced sample): "
       "expected a number above 0 and at most 1, found \"1.5\".\n"},
      {"no seeds to read", "-tr", kavro::run_trajectory_repulsion, "", "tr.in", "N 12345 3 3 2 0.1\n",
       "Error: cannot open the seeds file RandomNumberSeeds.prn, which seed mode N reads.\n"},
      {"NOPTMAX 0 under -tr", "-tr", kavro::run_trajectory_repulsion,
       replace_once(fixture("well.pst"), "30 0.01 3 3 0.01 3", "0 0.01 3 3 0.01 3"), "tr.in", "Y 1 2 2 1 0.1\n",
       "Error: the trajectory repulsion search needs NOPTMAX of at least 1 in the control file (it is 0)"},
      {"NOPTMAX -1 under -mlsl", "-mlsl", kavro::run_mlsl,
       replace_once(fixture("well.pst"), "30 0.01 3 3 0.01 3", "-1 0.01 3 3 0.01 3"), "mlsl.in",
       "3 0.5 4 0.01 Y 1 2 2 2 2 0.1\n",
       "Error: the multi-level single linkage search needs NOPTMAX of at least 1 in the control file (it is -1)"},
  };
  for (const refusal& r : refusals) {
    SCOPED_TRACE(r.what);
    for (const char* f : {"ms.in", "tr.in", "mlsl.in", "RandomNumberSeeds.prn", "well.rec"}) fs::remove(f);
    write_well(r.control);
    if (*r.input_name) write_file(r.input_name, r.input);
    auto model = well_stand_in();
    EXPECT_EQ(mode(r.entry, r.option, model), 1);
    EXPECT_TRUE(has(console, r.message)) << console;
    EXPECT_EQ(model->runs, 0);
    EXPECT_FALSE(fs::exists("well.rec"));
  }
  // A seeds file too short for the samples.
  write_well();
  write_file("tr.in", "N 12345 3 3 2 0.1\n");
  write_file("RandomNumberSeeds.prn", "-43814434\n-35536233\n");
  auto model = well_stand_in();
  EXPECT_EQ(mode(kavro::run_trajectory_repulsion, "-tr", model), 1);
  EXPECT_TRUE(has(console, "Error: the seeds file RandomNumberSeeds.prn holds 2 seeds; the first 3 samples need 3.\n"))
      << console;
  EXPECT_EQ(model->runs, 0);
  write_file("RandomNumberSeeds.prn", "-43814434\n-355x6233\n-1166418187\n");
  EXPECT_EQ(mode(kavro::run_trajectory_repulsion, "-tr", model), 1);
  EXPECT_TRUE(
      has(console, "Error in the seeds file RandomNumberSeeds.prn, seed 2: expected an integer, found \"-355x6233\".\n"))
      << console;
  EXPECT_EQ(model->runs, 0);
  // A control file whose record would be the mode's report.
  write_file("slm_dwo_ms1.pst", fixture("well.pst"));
  write_file("ms.in", "12345 3\n");
  EXPECT_EQ(mode(kavro::run_multistart, "-ms", model, "slm_dwo_ms1"), 1);
  EXPECT_TRUE(has(console, "Error: the case file slm_dwo_ms1.rec of the control file slm_dwo_ms1 is also a file of "
                           "this mode; rename the control file.\n"))
      << console;
  EXPECT_EQ(model->runs, 0);
}

TEST_F(GlobalModes, FailedSamplesAreDropped) {
  // The second sample's run leaves no outputs: it gets no row and no
  // search, the others go on, and the mode reports the failure.
  write_well();
  write_file("ms.in", "12345 3\n");
  auto model = well_stand_in();
  model->no_output_at_run = 2;
  EXPECT_EQ(mode(kavro::run_multistart, "-ms", model), 1);
  EXPECT_TRUE(has(console, "model.out")) << console;
  const std::string report = read_file("slm_dwo_ms1.rec");
  EXPECT_FALSE(has(report, "1.753330\t")) << report;
  const std::vector<std::string> runs = blocks(report, " Results of CT inversion run number ");
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_TRUE(has(runs[0], "number 1 --->"));
  EXPECT_TRUE(has(runs[1], "number 3 --->"));
  EXPECT_EQ(lines_of(read_file("parameters.prn")).size(), 3u);  // its draw is spent all the same

  // Under "-tr" the failed first sample does not rank first: the search
  // starts from the best sample that ran.
  write_file("tr.in", "Y 12345 3 3 2 0.1\n");
  auto failing = well_stand_in();
  failing->no_output_at_run = 1;
  EXPECT_EQ(mode(kavro::run_trajectory_repulsion, "-tr", failing), 1);
  const std::string tr = read_file("slm_dwo_ms2.rec");
  EXPECT_FALSE(has(tr, "-7.4549413600E-01\t")) << tr;
  const std::vector<std::string> inversions = blocks(tr, " Results of CT inversion run number ");
  ASSERT_GE(inversions.size(), 1u);
  const std::vector<double> x = start_and_end(inversions[0], "x");
  ASSERT_EQ(x.size(), 2u);
  EXPECT_NEAR(x[0], 1.753330, 1e-6);
  EXPECT_NEAR(x[1], 1.0, 1e-6);
}

TEST_F(GlobalModes, MoreInversionsThanSamples) {
  // C above N: the inversions end when every sample has been taken.
  write_well();
  write_file("tr.in", "Y 12345 2 5 5 0.1\n");
  ASSERT_EQ(mode(kavro::run_trajectory_repulsion, "-tr", well_stand_in()), 0) << console;
  const std::string report = read_file("slm_dwo_ms2.rec");
  EXPECT_EQ(blocks(report, " Results of CT inversion run number ").size(), 2u) << report;
  EXPECT_TRUE(has(report, "RESULTS OF GLOBAL SEARCH PROCESS"));
}

}  // namespace
}  // namespace kavro_test
