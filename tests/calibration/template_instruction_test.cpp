// Template checks and parses, and the instruction cursor rules on small
// model output files.
#include "calibration/template_instruction_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calibration/pest_control.h"
#include "pest_test_support.h"

namespace kavro_test {
namespace {

using kavro::pest_control;
using kavro::pest_file_handles;

pest_control make_control(const std::vector<std::string>& pars, const std::vector<std::string>& obs) {
  pest_control pc;
  pc.npar = static_cast<int>(pars.size());
  pc.pars.allocate(pc.npar);
  for (int k = 1; k <= pc.npar; ++k) pc.pars[k].name = pars[static_cast<size_t>(k - 1)];
  pc.nobs = static_cast<int>(obs.size());
  pc.obs.allocate(pc.nobs);
  for (int k = 1; k <= pc.nobs; ++k) {
    pc.obs[k].name = obs[static_cast<size_t>(k - 1)];
    pc.obs[k].simulated = -99.0;
  }
  return pc;
}

class Templates : public pest_folder_test {
 protected:
  // Reads one template holding `text` against parameters `pars`; the result.
  static int read_one(pest_control& pc, const std::string& text, std::string* out = nullptr) {
    write_file("t.tpl", text);
    pc.ntplfle = 1;
    pc.templates.allocate(1);
    pc.templates[1].tpl_file = "t.tpl";
    pest_file_handles files;
    EXPECT_EQ(kavro::pest_open_templates(pc, files), 0);
    testing::internal::CaptureStdout();
    const int rc = kavro::pest_read_templates(pc, files);
    const std::string printed = testing::internal::GetCapturedStdout();
    if (out) *out = printed;
    kavro::pest_close_templates(pc, files);
    return rc;
  }
};

TEST_F(Templates, FileCountLimit) {
  for (int n : {25, 26}) {
    pest_control pc;
    pc.ntplfle = n;
    pc.templates.allocate(n);
    for (int i = 1; i <= n; ++i) {
      pc.templates[i].tpl_file = "t" + std::to_string(i) + ".tpl";
      write_file(pc.templates[i].tpl_file, "ptf $\n");
    }
    if (n == 26) write_file("marker", "");
    pest_file_handles files;
    testing::internal::CaptureStdout();
    const int rc = kavro::pest_open_templates(pc, files);
    const std::string out = testing::internal::GetCapturedStdout();
    if (n == 25) {
      EXPECT_EQ(rc, 0);
      EXPECT_TRUE(files[25].is_open());
      EXPECT_EQ(kavro::pest_read_templates(pc, files), 0);
    } else {
      EXPECT_EQ(rc, 1);
      EXPECT_FALSE(files[1].is_open());
      EXPECT_EQ(out,
                "\nCurrently, slm_dwo does not support more than 25 template files.\n"
                "Please modify and recompile the code to accomodate the unusually large number of template files.\n\n");
    }
    kavro::pest_close_templates(pc, files);
  }
}

TEST_F(Templates, HeadersFieldsAndNameMatching) {
  pest_control pc = make_control({"rough", "ksat"}, {});
  EXPECT_EQ(read_one(pc, "jtf $\nx $rough$\n"), 0);
  EXPECT_EQ(pc.templates[1].n_fields, 1);

  std::string out;
  EXPECT_EQ(read_one(pc, "tpl #\n#rough#\n", &out), 1);
  EXPECT_EQ(out, "\nt.tpl is not a valid PEST template file.\n\n");

  for (const char* name : {"hk", "HK", "Hk"}) {
    pest_control one = make_control({"x", name}, {});
    ASSERT_EQ(read_one(one, "ptf $\nvalue $ hk     $\n"), 0);
    ASSERT_EQ(one.templates[1].n_fields, 1);
    EXPECT_EQ(one.templates[1].field_par_index[1], std::string(name) == "Hk" ? 0 : 2) << name;
  }

  pest_control three = make_control({"a"}, {});
  ASSERT_EQ(read_one(three, "ptf $\n$a$ $\n"), 0);
  EXPECT_EQ(three.templates[1].n_fields, 1);
  EXPECT_EQ(three.templates[1].marker_positions.size(), 3u);

  pest_control basin = make_control({"rough", "ksat", "kv"}, {});
  ASSERT_EQ(read_one(basin, fixture("basin.tpl")), 0);
  ASSERT_EQ(basin.templates[1].n_fields, 2);
  EXPECT_EQ(basin.templates[1].field_par_index[1], 1);
  EXPECT_EQ(basin.templates[1].field_par_index[2], 2);
  // Offsets after each marker: "ptf $\n" is 6 bytes, "rough $" ends at 13.
  EXPECT_EQ(basin.templates[1].marker_positions[0], 13);
}

class Instructions : public pest_folder_test {
 protected:
  // Reads `output` through the instruction text; the result and the console.
  static int read_through(pest_control& pc, const std::string& ins, const std::string& output, int kind = 0,
                          std::string* printed = nullptr) {
    write_file("model.ins", ins);
    if (!output.empty()) write_file("model.out", output);
    pc.ninsfle = 1;
    pc.instructions.allocate(1);
    pc.instructions[1].ins_file = "model.ins";
    pc.instructions[1].model_output_file = "model.out";
    pest_file_handles files;
    EXPECT_EQ(kavro::pest_open_instructions(pc, files), 0);
    testing::internal::CaptureStdout();
    const int rc = kavro::pest_read_instructions(pc, 1, kind, files);
    const std::string out = testing::internal::GetCapturedStdout();
    if (printed) *printed = out;
    kavro::pest_close_instructions(pc, files);
    return rc;
  }
};

TEST_F(Instructions, CursorRules) {
  struct example {
    std::string ins, output;
    std::vector<std::string> obs;
    std::vector<double> expected;
  };
  const example examples[] = {
      {"pif #\nl1 !q1!\nl1 !q2!\n", "1.5\n2.5\n", {"q1", "q2"}, {1.5, 2.5}},
      {"pif #\nl1 !a! !b!\n", "   3.0 4.0\n", {"a", "b"}, {3.0, 4.0}},
      {"pif #\nl2 #TOTAL# !v!\n", "x\ny\nTOTAL 7.25\n", {"v"}, {7.25}},
      {"pif #\nl1 w !v!\n", "flow 12.0\n", {"v"}, {12.0}},
      {"pif #\nl1 [Q]1:10\n", "  5.5\n", {"q"}, {5.5}},
      {"pif #\nl1 !v!\n", "abc\n", {"v"}, {0.0}},
      {"jif @\nl3 t4 !v!\n", "a\nb\nxyz 0.25\n", {"v"}, {0.25}},
      // Columns count from the cursor: after [a] it rests on "-".
      {"pif #\nl1 [a]1:3 [b]2:8\n", "1.5 -2e1\n", {"a", "b"}, {1.5, -20.0}},
      {"pif #\n#Q# !q!\n& !r!\n", "Q 1\n2\n", {"q", "r"}, {1.0, 2.0}},
  };
  int n = 0;
  for (const example& e : examples) {
    pest_control pc = make_control({}, e.obs);
    std::string printed;
    ASSERT_EQ(read_through(pc, e.ins, e.output, 0, &printed), 0) << "example " << n << ": " << printed;
    for (int k = 1; k <= pc.nobs; ++k)
      EXPECT_EQ(pc.obs[k].simulated, e.expected[static_cast<size_t>(k - 1)]) << "example " << n << " obs " << k;
    ++n;
  }
}

TEST_F(Instructions, ReadKindChoosesTheField) {
  pest_control pc = make_control({}, {"q1", "q2"});
  ASSERT_EQ(read_through(pc, "pif #\nl1 !q1!\nl1 !q2!\n", "1.5\n2.5\n", 1), 0);
  EXPECT_EQ(pc.obs[1].simulated, -99.0);
  EXPECT_EQ(pc.obs[1].simulated_2, 1.5);
  ASSERT_EQ(read_through(pc, "pif #\nl1 !q1!\nl1 !q2!\n", "1.5\n2.5\n", 2), 0);
  EXPECT_EQ(pc.obs[2].simulated_3, 2.5);
}

TEST_F(Instructions, BadInstructionsAreRefused) {
  struct refusal {
    std::string ins, output, message;
  };
  const refusal cases[] = {
      {"pif #\nl1 #TOTAL# !v!\n", "x\ny\n",
       "Error in instruction file model.ins, line 2: the marker text \"TOTAL\" was not found in the model output file "
       "model.out.\n"},
      {"l1 !v!\n", "1\n",
       "Error in instruction file model.ins, line 1: the first line must begin \"pif\" or \"jif\" and name the marker "
       "character in column 5.\n"},
      {"pif #\nl1 !w!\n", "1\n",
       "Error in instruction file model.ins, line 2: the observation \"w\" is not in the control file.\n"},
      {"pif #\nl0 !v!\n", "1\n",
       "Error in instruction file model.ins, line 2: expected a line count of 1 or more after \"l\".\n"},
      {"pif #\nl1 !v", "1\n", "Error in instruction file model.ins, line 2: the file ends inside an observation name.\n"},
      {"pif #\nl3 !v!\n", "1\n",
       "Error in instruction file model.ins, line 2: the model output file model.out ends before line advance l3.\n"},
  };
  for (const refusal& r : cases) {
    pest_control pc = make_control({}, {"v"});
    std::string printed;
    EXPECT_EQ(read_through(pc, r.ins, r.output, 0, &printed), 1) << r.message;
    EXPECT_EQ(printed, r.message);
  }
  pest_control pc = make_control({}, {"v"});
  std::string printed;
  std::filesystem::remove("model.out");
  EXPECT_EQ(read_through(pc, "pif #\nl1 !v!\n", "", 0, &printed), 1);
  EXPECT_NE(printed.find("Error: cannot open the model output file model.out read by instruction file model.ins.\n"),
            std::string::npos)
      << printed;
}

TEST_F(Instructions, SemiFixedObservationEndsWithStatusOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  pest_control pc = make_control({}, {"q"});
  write_file("model.ins", "pif #\nl1 (q)1:10\n");
  write_file("model.out", "1\n");
  pc.ninsfle = 1;
  pc.instructions.allocate(1);
  pc.instructions[1].ins_file = "model.ins";
  pc.instructions[1].model_output_file = "model.out";
  pest_file_handles files;
  ASSERT_EQ(kavro::pest_open_instructions(pc, files), 0);
  EXPECT_EXIT(
      {
        console_to_stderr();
        kavro::pest_read_instructions(pc, 1, 0, files);
      },
      testing::ExitedWithCode(1),
      "Semi-fixed observations are currently not supported with the calibration toolbox.\n"
      "Modify the instruction file\\(s\\) accordingly and rerun the toolbox.\n");
}

}  // namespace
}  // namespace kavro_test
