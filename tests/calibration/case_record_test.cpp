// Case file names and the run-record blocks of the calibration tool.
#include "calibration/case_record.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "calibration/pest_control.h"
#include "pest_test_support.h"

namespace kavro_test {
namespace {

using kavro::pest_control;

TEST(CaseNames, CutAtTheFirstDotOfTheLastComponent) {
  struct example {
    const char* arg;
    const char* case_name;
  };
  for (const example& e : {example{"basin", "basin"}, example{"basin.old.pst", "basin"},
                           example{"../case.pst", "../case"}, example{"dir.1/case", "dir.1/case"},
                           example{"dir.1\\case.pst", "dir.1\\case"}}) {
    kavro::output_file_names names;
    EXPECT_EQ(kavro::FilesNamesForWrite(e.arg, names), 0);
    const std::string c = e.case_name;
    EXPECT_EQ(names.case_name, c) << e.arg;
    EXPECT_EQ(names.rec_name, c + ".rec");
    EXPECT_EQ(names.sen_name, c + ".sen");
    EXPECT_EQ(names.mtt_name, c + ".mtt");
    EXPECT_EQ(names.par_name, c + ".par");
    EXPECT_EQ(names.rst_name, c + ".rst");
  }
}

class RunRecord : public pest_folder_test {
 protected:
  void SetUp() override {
    pest_folder_test::SetUp();
    copy_fixture("basin.pst");
    std::string out;
    ASSERT_EQ(read_control(pc, "basin", &out), 0) << out;
    kavro::pest_classify_parameters(pc);
    pc.obs_groups[1].phi = 2.5;
  }
  pest_control pc;
};

TEST_F(RunRecord, HeaderOfTheBasinCase) {
  const std::string text = written([&](std::FILE* f) { kavro::lm_record_header("basin", pc, f); });
  EXPECT_EQ(text,
            "\n                            RECORD FILE \n\n"
            "\nINPUT INFORMATION \n\n"
            "\nINPUT CONTROL FILE \n\n"
            "Input control file case name: basin\n\n"
            "\nALGORITHM \n\n"
            "The SLM method is employed for this case."
            "\n\nThe number of columns used for cyclic updating with the SLM method for this case is: 2."
            "\n\n\nCONTROL DATA INPUT"
            "\n\nThe number of parameters specified in the input control file is:\t\t\t\t3"
            "\nThe number of adjustable model parameters specified in the input control file is:\t\t2"
            "\nThe number of fixed model parameters specified in the input control file is:\t\t\t0"
            "\nThe number of tied model parameters specified in the input control file is:\t\t\t1"
            "\nThe number of observations specified in the input control file is:\t\t\t\t2"
            "\nThe number of pieces of prior information specified in the input control file is:\t\t1"
            "\nThe number of parameter groups specified in the input control file is:\t\t\t\t1"
            "\nThe number of observation groups specified in the input control file is:\t\t\t1"
            "\n\n\n");
  pc.full_update = 1;
  const std::string full = written([&](std::FILE* f) { kavro::lm_record_header("basin", pc, f); });
  EXPECT_NE(full.find("Full updating of the model sensitivity matrix was activated"), std::string::npos);
  EXPECT_NE(full.find("for this case is 1.500000."), std::string::npos);
  pc.method = 0;
  const std::string lm = written([&](std::FILE* f) { kavro::lm_record_header("basin", pc, f); });
  EXPECT_NE(lm.find("\nALGORITHM \n\nThe LM method is employed for this case.\n\n\nCONTROL"), std::string::npos);
}

TEST_F(RunRecord, InitialConditionsWriteNaturalValues) {
  std::string par;
  const std::string rec = written([&](std::FILE* r) {
    par = written([&](std::FILE* p) { kavro::lm_record_initial(r, p, 1.0, 0.0, 2.5, pc); });
  });
  EXPECT_EQ(rec,
            "                            OPTIMIZATION RECORD\n\n"
            "INITIAL CONDITIONS:\n"
            "   Sum of squared weighted residuals = 2.500000E+00\n"
            "   Contribution to phi from observation group 'flow' = 2.500000E+00\n"
            "\n"
            "      Current parameter values\n"
            "      rough               0.050000\n"
            "      ksat               2.000000\n"
            "      kv               0.100000\n");
  EXPECT_EQ(par, "0.050000\n2.000000\n0.100000\n");

  const std::string header = written([&](std::FILE* f) { kavro::lm_record_iteration_header(pc, f, 3, 17, 2.5, 0, 2.5); });
  EXPECT_EQ(header,
            "\nOPTIMIZATION ITERATION NO.\t\t\t\t: 3\n"
            "Model Calls so far\t\t\t\t\t: 17\n"
            "Starting objective function value for this iteration\t: 2.500000E+00\n"
            "Contribution to phi from observation group 'flow'\t= 2.500000E+00\n\n");
  pc.pestmode = "prediction";
  EXPECT_EQ(written([&](std::FILE* f) { kavro::lm_record_iteration_header(pc, f, 3, 17, 2.5, 0, 2.5); }), "");
}

TEST_F(RunRecord, RegularisationAddsItsLines) {
  pc.pestmode = "regularisation";
  testing::internal::CaptureStdout();
  kavro::output_file_names names;
  kavro::FilesNamesForWrite("basin", names);
  kavro::lm_print_run_record(1.5, 0.25, 2.5, pc, names);
  kavro::lm_print_iteration_header(pc, 1, 4, 1.5, 0.25, 2.5);
  const std::string console = testing::internal::GetCapturedStdout();
  EXPECT_EQ(console.substr(0, console.find("Sum of squared")),
            "\nRun record: case basin\n\nModel command line:\npre KAVRO batch file : pre.sh\n"
            "post KAVRO batch file : ./post.sh\n\nRunning model ...\n\n"
            "  Current regularization weight factor                      =  1.000000E+00\n"
            "  Current value of measurement objective function           =  1.500000E+00\n"
            "  Current value of regularisation objective function        =  2.500000E-01\n\n");
  EXPECT_NE(console.find("Current regularization weight factor                      =  1.000000E+00\n"
                         "Current value of measurement objective function           =  1.500000E+00\n"
                         "Current value of regularisation objective function        =  2.500000E-01\n\n"
                         "Starting objective function value for this iteration\t: 2.500000E+00\n"),
            std::string::npos)
      << console;
  const std::string rec = written([&](std::FILE* r) {
    written([&](std::FILE* p) { kavro::lm_record_initial(r, p, 1.5, 0.25, 2.5, pc); });
  });
  EXPECT_NE(rec.find("INITIAL CONDITIONS:\n  Current regularization weight factor"), std::string::npos) << rec;

  pc.pestmode = "estimation";
  testing::internal::CaptureStdout();
  kavro::lm_print_run_record(1.5, 0.25, 2.5, pc, names);
  const std::string plain = testing::internal::GetCapturedStdout();
  EXPECT_EQ(plain.find("regulari"), std::string::npos);
  EXPECT_NE(plain.find("Sum of squared weighted residuals = 2.500000E+00\n"
                       "Contribution to phi from observation group 'flow' = 2.500000E+00\n\n"),
            std::string::npos);
}

}  // namespace
}  // namespace kavro_test
