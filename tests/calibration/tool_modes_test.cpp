// The "-slm" mode end to end on the linear stand-in (the shapes without
// search iterations), the refusals of the common start, and the control
// file's model command section.
#include "calibration/tool_modes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "calibration/calibration_entries.h"
#include "tool_stand_in.h"

namespace kavro_test {
namespace {

namespace fs = std::filesystem;

class SlmMode : public tool_folder {
 protected:
  // run_slm on `args` (after "kavro"); its result, the console in `console`.
  int slm(std::vector<std::string> args, const kavro::run_plan* plan) {
    args.insert(args.begin(), "kavro");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int rc = kavro::run_slm(static_cast<int>(args.size()), argv.data(), plan);
    console = testing::internal::GetCapturedStdout();
    errors = testing::internal::GetCapturedStderr();
    return rc;
  }
  static std::string lin_with(const std::string& from, const std::string& to) {
    return replace_once(fixture("lin.pst"), from, to);
  }
  static bool no_case_file(const std::string& name) {
    for (const char* ext : {".rec", ".sen", ".mtt", ".par"})
      if (fs::exists(name + ext)) return false;
    return true;
  }
  std::string console;
  std::string errors;
};

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(SlmMode, NoIterationsMeansOneRunAndNoMatrices) {
  write_lin(lin_with("30 0.01 3 3 0.01 3", "0 0.01 3 3 0.01 3"));
  auto model = lin_stand_in();
  const kavro::run_plan plan = tool_stand_in_plan(model);
  ASSERT_EQ(slm({"-slm", "lin"}, &plan), 0) << console;
  EXPECT_EQ(model->runs, 1);
  EXPECT_TRUE(has(console, "\nUsing the (Secant) Levenberg-Marquardt local search method,\n"));
  EXPECT_TRUE(has(console, "Sum of squared weighted residuals = 1.060000E+00\n"));
  const std::string rec = read_file("lin.rec");
  EXPECT_TRUE(has(rec, "INITIAL CONDITIONS:\n   Sum of squared weighted residuals = 1.060000E+00\n"));
  EXPECT_TRUE(has(rec, "No optimisation iterations carried out so Jacobian never calculated..\n"));
  EXPECT_TRUE(has(rec, "No optimisation iterations carried out so Jacobian never calculated.\n"));
  EXPECT_FALSE(has(rec, "covariance matrix ----->"));
  EXPECT_FALSE(fs::exists("jac.txt"));
  EXPECT_EQ(read_file("lin.par"), "1.000000\n2.000000\n3.000000\n");
  EXPECT_EQ(read_file("lin.sen"), "");
}

TEST_F(SlmMode, OneJacobianGivesTheStatistics) {
  write_lin(lin_with("30 0.01 3 3 0.01 3", "-1 0.01 3 3 0.01 3"));
  auto model = lin_stand_in();
  const kavro::run_plan plan = tool_stand_in_plan(model);
  ASSERT_EQ(slm({"-slm", "lin.pst"}, &plan), 0) << console;
  EXPECT_EQ(model->runs, 4);  // the initial run and three columns; no final run
  const std::vector<std::string> jac = lines_of(read_file("jac.txt"));
  ASSERT_EQ(jac.size(), 6u);
  EXPECT_EQ(jac[0], "1.000000\t0.000000\t0.000000\t");
  EXPECT_EQ(jac[3], "1.000000\t1.000000\t0.000000\t");
  EXPECT_EQ(jac[5], "1.000000\t1.000000\t1.000000\t");
  const std::string rec = read_file("lin.rec");
  EXPECT_TRUE(has(rec, "OPTIMIZATION ITERATION NO.\t\t\t\t: 1\nModel Calls so far\t\t\t\t\t: 1\n")) << rec;
  // phi at the start, 1.06, over three degrees of freedom times N^-1.
  EXPECT_TRUE(has(rec, "Parameter covariance matrix ----->\n\t\tp1\tp2\tp3\np1\t0.091350\t")) << rec;
  EXPECT_TRUE(has(rec, "Parameter correlation coefficient matrix ----->\n"));
  EXPECT_TRUE(has(rec, "Normalized eigenvectors of covariance matrix ----->\n"));
  const std::string sen = read_file("lin.sen");
  EXPECT_TRUE(has(sen, " OPTIMISATION ITERATION NO.\t1 ----->\n"));
  EXPECT_TRUE(has(sen, "                        COMPLETION OF OPTIMISATION PROCESS\n\n"));
  EXPECT_TRUE(has(sen, " Composite sensitivities for all observations/prior info ----->\n\n"
                       " Number of observations with non-zero weight =\t6\n"));
  EXPECT_EQ(read_file("lin.par"), "1.000000\n2.000000\n3.000000\n");
}

TEST_F(SlmMode, TheStartRefusesBeforeAnyRun) {
  struct refusal {
    const char* what;
    std::string control;      // lin.pst as written for the case
    std::string message;      // on the console (or standard error)
  };
  const std::string outside =
      "\nThe intial value for the following parameter is outside of its specified bounds: p1"
      "\nThe intial value for the following parameter is outside of its specified bounds: p3"
      "\nModify the input control file and try again.";
  const refusal refusals[] = {
      {"prediction", lin_with("norestart estimation", "norestart prediction"),
       "\nCurrently, slm_dwo does not support prediction capabilities similar to that within the PEST.\n"
       "Please change the MODE parameter in the control\n"
       "file to 'estimation' or 'regularization' and recommence execution of slm_dwo.\n\n"},
      {"all fixed",
       replace_once(replace_once(lin_with("p1 none", "p1 fixed"), "p2 none", "p2 fixed"), "p3 none", "p3 fixed"),
       "\n\nThe number of adjustable model parameters is zero. \nModify the input control file and try again. \n\n\n"},
      {"outside", replace_once(lin_with("p1 none relative 1.0", "p1 none relative 1001.0"), "p3 none relative 3.0",
                               "p3 none relative -1001.0"),
       outside},
  };
  for (const refusal& r : refusals) {
    SCOPED_TRACE(r.what);
    write_lin(r.control);
    auto model = lin_stand_in();
    const kavro::run_plan plan = tool_stand_in_plan(model);
    EXPECT_EQ(slm({"-slm", "lin"}, &plan), 1);
    EXPECT_TRUE(has(console, r.message)) << console;
    EXPECT_EQ(model->runs, 0);
    EXPECT_TRUE(no_case_file("lin"));
  }
  // A bound itself is inside.
  write_lin(lin_with("p1 none relative 1.0 -1000.0", "p1 none relative -1000.0 -1000.0"));
  auto model = lin_stand_in();
  const kavro::run_plan plan = tool_stand_in_plan(model);
  EXPECT_EQ(slm({"-slm", "lin"}, &plan), 0) << console;
  EXPECT_FALSE(has(console, "outside of its specified bounds"));
  EXPECT_TRUE(fs::exists("lin.rec"));
  // A missing control file.
  EXPECT_EQ(slm({"-slm", "missing"}, &plan), 1);
  EXPECT_TRUE(has(errors, "Cannot open missing.pst \n"));
}

TEST_F(SlmMode, RegularisationWritesTheHeaderOnly) {
  write_lin(lin_with("norestart estimation", "norestart regularisation"));
  auto model = lin_stand_in();
  const kavro::run_plan plan = tool_stand_in_plan(model);
  EXPECT_EQ(slm({"-slm", "lin"}, &plan), 0);
  EXPECT_EQ(model->runs, 0);
  const std::string rec = read_file("lin.rec");
  EXPECT_TRUE(has(rec, "\n                            RECORD FILE \n\n"));
  EXPECT_TRUE(has(rec, "The number of observation groups specified in the input control file is:\t\t\t1\n\n\n"));
  EXPECT_FALSE(has(rec, "OPTIMIZATION RECORD"));
}

TEST_F(SlmMode, AStopFileLeftByAnEarlierRunIsDeleted) {
  write_lin(lin_with("30 0.01 3 3 0.01 3", "0 0.01 3 3 0.01 3"));
  write_file("pest.stp", "1\n");
  auto model = lin_stand_in();
  const kavro::run_plan plan = tool_stand_in_plan(model);
  EXPECT_EQ(slm({"-slm", "lin"}, &plan), 0);
  EXPECT_EQ(model->runs, 1);
  EXPECT_FALSE(fs::exists("pest.stp"));
}

// A control file in the standard layout (one model command, no extension
// values), and what it takes to be read.
const char* const expdecay =
    "pcf\n"
    "* control data\n"
    "restart estimation\n"
    "2 6 1 0 1\n"
    "1 1 single point 1 0 0\n"
    "5.0 2.0 0.3 0.03 10\n"
    "5.0 5.0 0.001\n"
    "0.1\n"
    "30 0.01 3 3 0.01 3\n"
    "1 1 1\n"
    "* parameter groups\n"
    "pg relative 0.01 0.0 switch 2.0 parabolic\n"
    "* parameter data\n"
    "a none relative 1.0 0.1 100.0 pg 1.0 0.0 1\n"
    "k log factor 1.0 0.01 10.0 pg 1.0 0.0 1\n"
    "* observation groups\n"
    "obsgp\n"
    "* observation data\n"
    "o1 5 1 obsgp\n"
    "o2 3.70409110341 1 obsgp\n"
    "o3 2.74405818047 1 obsgp\n"
    "o4 1.50597105956 1 obsgp\n"
    "o5 0.612282141265 1 obsgp\n"
    "o6 0.248935341839 1 obsgp\n"
    "* model command line\n"
    "model.sh\n"
    "* model input/output\n"
    "model.tpl model.in\n"
    "model.ins model.out\n";

std::string amended_expdecay() {
  std::string text = expdecay;
  text = replace_once(text, "5.0 5.0 0.001\n", "5.0 5.0 0.001 0\n");
  text = replace_once(text, "0.1\n30", "0.1 noaui\n30");
  text = replace_once(text, "1 1 1\n", "1 1 1\n0 0 1.5 0 0.05 model.prj\n");
  return text + "* prior information\n";
}

TEST_F(SlmMode, StandardLayoutAndTheModelCommandSection) {
  // As written, the standard layout is refused where the extension values
  // are missing.
  write_file("expdecay.pst", expdecay);
  kavro::pest_control pc;
  std::string out;
  EXPECT_EQ(read_control(pc, "expdecay", &out), 1);
  EXPECT_EQ(out, "Error in control file expdecay.pst, line 8: expected an integer for IBOUNDSTICK, found \"0.1\".\n");
  // With them, its one model command reads as written: no post-model
  // command, and the names after it stay in their places.
  write_file("expdecay.pst", amended_expdecay());
  kavro::pest_control amended;
  ASSERT_EQ(read_control(amended, "expdecay", &out), 0) << out;
  EXPECT_EQ(amended.pre_batch_file, "model.sh");
  EXPECT_EQ(amended.post_batch_file, "");
  EXPECT_EQ(amended.templates[1].tpl_file, "model.tpl");
  EXPECT_EQ(amended.templates[1].model_input_file, "model.in");
  EXPECT_EQ(amended.instructions[1].ins_file, "model.ins");
  EXPECT_EQ(amended.instructions[1].model_output_file, "model.out");
  // A header where a name is due is refused, naming its line.
  struct misplaced {
    std::string from, to;
    std::string message;
  };
  const misplaced cases[] = {
      {"* model command line\nmodel.sh\n", "* model command line\n",
       "Error in control file expdecay.pst, line 27: expected a name for the pre-model batch file, found \"*\".\n"},
      {"model.ins model.out\n", "model.ins\n",
       "Error in control file expdecay.pst, line 31: expected a name for OUTFLE, found \"*\".\n"},
      {"obsgp\n* observation data", "* observation data",
       "Error in control file expdecay.pst, line 18: expected a name for OBGNME, found \"*\".\n"},
  };
  for (const misplaced& m : cases) {
    SCOPED_TRACE(m.message);
    write_file("expdecay.pst", replace_once(amended_expdecay(), m.from, m.to));
    kavro::pest_control bad;
    EXPECT_EQ(read_control(bad, "expdecay", &out), 1);
    EXPECT_EQ(out, m.message);
  }
  // Two words under the header: the second is the post-model command.
  write_file("expdecay.pst", replace_once(amended_expdecay(), "model.sh\n", "none true\n"));
  kavro::pest_control two;
  ASSERT_EQ(read_control(two, "expdecay", &out), 0) << out;
  EXPECT_EQ(two.pre_batch_file, "none");
  EXPECT_EQ(two.post_batch_file, "true");
}

}  // namespace
}  // namespace kavro_test
