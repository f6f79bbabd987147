// Monte Carlo sampling on the stand-in model, and both calibrations run as a
// user runs them: through the kavro program on a small project.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "calibration/monte_carlo.h"
#include "framework/run_globals.h"
#include "stand_in.h"

namespace kavro {
namespace {

namespace fs = std::filesystem;
using kavro_test::calibration_folder;
using kavro_test::count_lines;
using kavro_test::read_file;
using kavro_test::write_file;

std::vector<std::vector<double>> rows_of(const std::string& log) {
  std::istringstream in(log);
  std::string line;
  std::getline(in, line);  // header
  std::vector<std::vector<double>> rows;
  while (std::getline(in, line)) {
    std::istringstream values(line);
    std::vector<double> row;
    for (double v; values >> v;) row.push_back(v);
    rows.push_back(row);
  }
  return rows;
}

class MonteCarlo : public calibration_folder {
 protected:
  void SetUp() override {
    calibration_folder::SetUp();
    write_inputs();
  }
  static void write_inputs() {
    kavro_test::write_stand_in_files();
    write_file("mc.in", "p.prj\nparams.txt\nobs.txt\n4\n0.01 0.2\n1.0 2.0\n0.1 0.9\n4.0 # fixed\n");
  }
  // One calibration of `runs` runs with seed 7; the result of run().
  int calibrate(int runs, const char* input = "mc.in") {
    values = std::make_shared<kavro_test::stand_in_values>();
    plan = kavro_test::stand_in_plan(values);
    testing::internal::CaptureStdout();
    int ran = 0;
    {
      montecarlo mc(runs, input, run_context, 7u, &plan);
      ran = mc.run();
      if (ran == 1) mc.report_best();
    }
    console = testing::internal::GetCapturedStdout();
    return ran;
  }
  std::shared_ptr<kavro_test::stand_in_values> values;
  run_plan plan;
  std::string console;
};

TEST_F(MonteCarlo, SamplesInsideTheRangesAndKeepsTheBest) {
  ASSERT_EQ(calibrate(50), 1) << console;
  const std::string log = read_file("0000_log_file_p0.log");
  ASSERT_EQ(log.substr(0, log.find('\n') + 1), "Cost  \t[K]\t[M]\t[C]\t[S]\t\n");
  const auto rows = rows_of(log);
  ASSERT_EQ(rows.size(), 50u);
  EXPECT_EQ(values->runs, 50);
  const double lo[] = {0.01, 1.0, 0.1}, hi[] = {0.2, 2.0, 0.9};
  std::size_t best = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    ASSERT_EQ(rows[i].size(), 5u);
    for (int k = 0; k < 3; ++k) {
      EXPECT_GE(rows[i][k + 1], lo[k]) << i;
      EXPECT_LT(rows[i][k + 1], hi[k]) << i;
    }
    EXPECT_EQ(rows[i][4], 4.0);
    if (std::fabs(rows[i][0]) < std::fabs(rows[best][0])) best = i;
  }
  std::istringstream best_file(read_file("0000_best.out"));
  double cost = 0.0;
  char colon = 0;
  best_file >> cost >> colon;
  EXPECT_EQ(colon, ':');
  EXPECT_NEAR(cost, rows[best][0], 1e-6);
  for (int k = 1; k <= 4; ++k) {
    double v = 0.0;
    best_file >> v;
    EXPECT_NEAR(v, rows[best][static_cast<std::size_t>(k)], 1e-6 * std::fabs(v));
  }
  EXPECT_EQ(count_lines("0000_results_all.out"), 51);
  EXPECT_NE(console.find("Best objective function value:"), std::string::npos);
}

TEST_F(MonteCarlo, SameSeedSameLogAndASecondCalibrationAppends) {
  ASSERT_EQ(calibrate(10), 1);
  const std::string first = read_file("0000_log_file_p0.log");
  {
    kavro_test::scratch_dir fresh;
    for (const char* f : {"p.prj", "params.txt", "obs.txt", "mc.in"}) fs::copy_file(f, fresh / f);
    fs::current_path(fresh.path());
    run_prefix_on = 0;
    ASSERT_EQ(calibrate(10), 1);
    EXPECT_EQ(read_file("0000_log_file_p0.log"), first);
    fs::current_path(dir.path());
  }
  ASSERT_EQ(calibrate(10), 1);
  const std::string both = read_file("0000_log_file_p0.log");
  EXPECT_EQ(count_lines("0000_log_file_p0.log"), 21);
  EXPECT_EQ(both.find("Cost"), 0u);
  EXPECT_EQ(both.find("Cost", 1), std::string::npos);
}

TEST_F(MonteCarlo, InputsThatAllowNoRun) {
  struct refusal {
    const char* what;
    const char* file;
    const char* text;  // written to `file`; null removes it
    const char* message;
  };
  const refusal cases[] = {
      {"no input file", "mc.in", nullptr, "Error: unable to read the input monte carlo file.\n"},
      {"no observations", "obs.txt", nullptr, "Attempted to read file: obs.txt\n"},
      {"list longer than the parameters", "params.txt",
       "5\n[K] \"%.10lf\"\n[M] \"%.10lf\"\n[C] \"%.10lf\"\n[S] \"%.10lf\"\n[X] \"%.10lf\"\n",
       "params.txt holds 5 parameters, but the calibration has 4"},
      {"bad count", "mc.in", "p.prj\nparams.txt\nobs.txt\n0\n", "line 4: the number of parameters \"0\" is not valid"},
      {"bad bound", "mc.in", "p.prj\nparams.txt\nobs.txt\n1\n0.1 inf\n", "line 5: the upper end \"inf\" is not valid"},
  };
  for (const auto& c : cases) {
    write_inputs();
    if (c.text)
      write_file(c.file, c.text);
    else
      fs::remove(c.file);
    EXPECT_EQ(calibrate(5), 0) << c.what;
    EXPECT_NE(console.find(c.message), std::string::npos) << c.what << console;
    EXPECT_EQ(values->runs, 0) << c.what;
    EXPECT_FALSE(fs::exists("0000_log_file_p0.log")) << c.what;
  }
}

// The program on a copy of a small project whose roughness and outlet slope
// are the calibrated keys.
class CalibrationProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& entry : fs::directory_iterator(kavro_test::data_dir() / "calibration"))
      fs::copy_file(entry.path(), dir / entry.path().filename().string(), fs::copy_options::overwrite_existing);
  }
  kavro_test::run_result run(const std::vector<std::string>& args) {
    return kavro_test::run_program(kavro_test::kavro_binary(), args, dir.path());
  }
  bool any_prefixed_file() const {
    for (const auto& entry : fs::directory_iterator(dir.path()))
      if (entry.path().filename().string().starts_with("0000_")) return true;
    return false;
  }
  kavro_test::scratch_dir dir;
};

TEST_F(CalibrationProgram, SceFilesDoNotDependOnTheThreadCount) {
  const std::string project = read_file(dir / "p.prj");
  const std::vector<std::string> files = {"0000_sce_log_file.txt", "sce_output.out", "0000_results_all.out"};
  std::vector<std::string> one;
  for (const char* threads : {"1", "4"}) {
    for (const auto& f : files) fs::remove(dir / f);
    write_file(dir / "p.prj", project + "NUM_THREADS       " + threads + "\n");
    const auto r = run({"-c", "sce.in"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("The best results of the SCE calibration after"), std::string::npos);
    for (std::size_t i = 0; i < files.size(); ++i) {
      const std::string text = read_file(dir / files[i]);
      EXPECT_FALSE(text.empty()) << files[i];
      if (one.size() < files.size())
        one.push_back(text);
      else
        EXPECT_EQ(text, one[i]) << files[i];
    }
  }
  EXPECT_GE(count_lines(dir / "0000_sce_log_file.txt"), 41);
}

TEST_F(CalibrationProgram, SceRefusalsExitWithStatusOne) {
  struct refusal {
    const char* what;
    std::string input;
    const char* params;  // list file text; null keeps the fixture's
    bool remove_obs;
    std::vector<std::string> messages;
  };
  const std::string names = "p.prj\nparams.txt\nobs.txt\n";
  const std::string bounds = "0 0 0 0 0 0\n0.05 0.01 0.2\n0.01 0.001 0.1\n";
  const refusal cases[] = {
      {"no complexes", names + "40 5 0.01 0 1969 0 2\n" + bounds, nullptr, false,
       {" **ERROR** NUMBER OF COMPLEXES IN INITIAL POPULATION 0 IS NOT A VALID CHOICE\n",
        "Error: unable to successufully setup SCE-UA. Unable to run.\n",
        "Error: unable to successfully run the SCE method\n"}},
      {"budget below the population", names + "5 5 0.01 2 1969 0 2\n" + bounds, nullptr, false,
       {"Error: maximum number of function calls is less than the number of points in the initial population\n",
        "Increase the number of function calls to at least 10\n"}},
      {"no observations", names + "40 5 0.01 2 1969 0 2\n" + bounds, nullptr, true,
       {"Error: unable to open the observation file for reading or problem while reading it.\n"
        "Attempted to read file: obs.txt\n"}},
      {"three pairs for two parameters", names + "40 5 0.01 2 1969 0 2\n" + bounds,
       "3\n[N] \"%.6lf\"\n[S] \"%.6lf\"\n[X] \"%.6lf\"\n", false, {"params.txt holds 3 parameters", "has 2"}},
      {"no input file", "", nullptr, false, {"Can't open SCE input file missing.in\n"}},
  };
  for (const auto& c : cases) {
    SetUp();
    if (c.params) write_file(dir / "params.txt", c.params);
    if (c.remove_obs) fs::remove(dir / "obs.txt");
    std::string input = "sce.in";
    if (c.input.empty())
      input = "missing.in";
    else
      write_file(dir / "sce.in", c.input);
    const auto r = run({"-c", input});
    EXPECT_EQ(r.exit_code, 1) << c.what << r.out;
    for (const auto& m : c.messages) EXPECT_NE(r.out.find(m), std::string::npos) << c.what << "\n" << r.out;
    EXPECT_FALSE(any_prefixed_file()) << c.what;
    for (const auto& entry : fs::directory_iterator(dir.path()))
      if (entry.path().filename().string().starts_with("0000_")) fs::remove(entry.path());
  }
}

// Calibration files that would be erased or sized beyond memory: refused
// with exit 1, nothing written over them, no exception escapes.
TEST_F(CalibrationProgram, SceFilesThatClashOrCountBeyondTheirRowsAreRefused) {
  const std::string sce = read_file(dir / "sce.in");
  write_file(dir / "sce_output.out", sce);
  auto r = run({"-c", "sce_output.out"});
  EXPECT_EQ(r.exit_code, 1) << r.out;
  EXPECT_NE(r.out.find("the SCE input file sce_output.out is the file sce_output.out that the SCE calibration writes"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(read_file(dir / "sce_output.out"), sce);

  write_file(dir / "sce.in", "p.prj\nparams.txt\nsce_output.out\n" + sce.substr(sce.find("40 5")));
  write_file(dir / "sce_output.out", read_file(dir / "obs.txt"));
  r = run({"-c", "sce.in"});
  EXPECT_EQ(r.exit_code, 1) << r.out;
  EXPECT_NE(r.out.find("the observation file sce_output.out is the file sce_output.out"), std::string::npos) << r.out;
  EXPECT_EQ(read_file(dir / "sce_output.out"), read_file(dir / "obs.txt"));

  write_file(dir / "sce.in", sce);
  for (const char* count : {"1e9", "99999999999"}) {
    SCOPED_TRACE(count);
    write_file(dir / "obs.txt", std::string(count) + "\n0 0 0 0\n0.01 1 5 1\n");
    r = kavro_test::run_program("/usr/bin/timeout", {"20", kavro_test::kavro_binary().string(), "-c", "sce.in"},
                                dir.path());
    EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("Error: observation file obs.txt, line 1"), std::string::npos) << r.out;
    EXPECT_EQ(r.err.find("terminate"), std::string::npos) << r.err;
  }
}

TEST_F(CalibrationProgram, MonteCarloRunsAndRefusals) {
  auto r = run({"-m20", "mc.in"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_EQ(count_lines(dir / "0000_log_file_p0.log"), 21);
  EXPECT_EQ(count_lines(dir / "0000_results_all.out"), 21);
  EXPECT_NE(r.out.find("Best objective function value:"), std::string::npos);

  // A run count of 0 is no count: refused with the usage, like "-b0".
  r = run({"-m0", "mc.in"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("Usage: kavro"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Best objective function value:"), std::string::npos) << r.out;

  fs::remove(dir / "obs.txt");
  r = run({"-m20", "mc.in"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("Attempted to read file: obs.txt\n"), std::string::npos) << r.out;
  EXPECT_EQ(count_lines(dir / "0000_log_file_p0.log"), 21);

  r = run({"-m20", "missing.in"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("Error: unable to read the input monte carlo file.\n"), std::string::npos) << r.out;
  r = run({"-s", "missing.in"});
  EXPECT_EQ(r.exit_code, 1);
}

// A calibration whose model runs cannot run reports no best results and ends
// with status 1: a project that cannot be opened stops it before the first
// run, and when every run stops on an error each is reported with its number.
TEST_F(CalibrationProgram, CalibrationsWithoutANormalModelRunFail) {
  struct case_t {
    const char* name;
    std::vector<std::string> args;
    bool missing_project;  // else the project's elevation map is missing
    std::vector<std::string> messages;
  };
  const case_t cases[] = {
      {"SCE, project missing", {"-c", "sce.in"}, true,
       {"Error: the project file missing.prj named in sce.in cannot be opened; the calibration does not start."}},
      {"Monte Carlo, project missing", {"-m5", "mc.in"}, true,
       {"Error: the project file missing.prj named in the Monte Carlo input file cannot be opened"}},
      {"SCE, every run stops", {"-c", "sce.in"}, false,
       {"Error: model run 1 of the calibration stopped on an error", "model runs of the calibration ended normally"}},
      {"Monte Carlo, every run stops", {"-m5", "mc.in"}, false,
       {"Error: model run 5 of the calibration stopped on an error",
        "Error: none of the 5 model runs of the calibration ended normally: there are no results."}},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    if (c.missing_project) {
      for (const char* input : {"sce.in", "mc.in"}) {
        std::string text = read_file(dir / input);
        text.replace(text.find("p.prj"), 5, "missing.prj");
        write_file(dir / input, text);
      }
    } else {
      write_file(dir / "p.prj", kavro_test::with_card(read_file(dir / "p.prj"), "ELEVATION", "nothere.asc"));
    }
    const auto r = run(c.args);
    EXPECT_EQ(r.exit_code, 1) << r.out;
    for (const auto& m : c.messages) EXPECT_NE(r.out.find(m), std::string::npos) << m << "\n" << r.out;
    EXPECT_EQ(r.out.find("The best results"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Best objective function value"), std::string::npos) << r.out;
  }
}

}  // namespace
}  // namespace kavro
