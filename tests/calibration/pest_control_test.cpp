// Reading the control file: the fixture basin.pst, the cases of the format
// and the refusals of malformed files.
#include "calibration/pest_control.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "pest_test_support.h"

namespace kavro_test {
namespace {

using kavro::pest_control;

class PestControl : public pest_folder_test {
 protected:
  // basin.pst with its parameter block (data and tied list) replaced.
  static std::string with_parameters(const std::string& counts, const std::string& block) {
    std::string text = replace_once(fixture("basin.pst"), "3 2 1 1 1 1 1\n", counts + "\n");
    const std::size_t from = text.find("* parameter data\n") + 17;
    const std::size_t to = text.find("* observation groups\n");
    return text.replace(from, to - from, block);
  }
  static std::string with_prior(const std::string& prior_line) {
    return replace_once(fixture("basin.pst"), "pi1 1.0 * rough + 2.0 * log(ksat) = 0.7 1.0 flow", prior_line);
  }
  int read_text(pest_control& pc, const std::string& text, std::string* out = nullptr) {
    write_file("case.pst", text);
    return read_control(pc, "case", out);
  }
};

void expect_basin(const pest_control& pc) {
  EXPECT_EQ(pc.npar, 3);
  EXPECT_EQ(pc.nobs, 2);
  EXPECT_EQ(pc.rstfle, "restart");
  EXPECT_EQ(pc.pestmode, "estimation");
  EXPECT_EQ(pc.numlam, 10);
  EXPECT_EQ(pc.noptmax, 30);
  EXPECT_EQ(pc.method, 1);
  EXPECT_EQ(pc.full_update, 0);
  EXPECT_EQ(pc.full_update_threshold, 1.5);
  EXPECT_EQ(pc.cyclic_columns, 2);
  EXPECT_EQ(pc.proximity_distance, 0.05);
  EXPECT_EQ(pc.model_project_file, "basin.prj");
  EXPECT_EQ(pc.pars[1].name, "rough");
  EXPECT_EQ(pc.pars[2].value, std::log10(2.0));
  EXPECT_EQ(pc.pars[2].lower_bound, -1.0);
  EXPECT_EQ(pc.pars[2].upper_bound, 2.0);
  EXPECT_EQ(pc.pars[3].tie_parent, "rough");
  EXPECT_EQ(pc.par_groups[1].forcen, "switch");
  EXPECT_EQ(pc.par_groups[1].dermthd, "parabolic");
  EXPECT_EQ(pc.obs[2].name, "q2");
  EXPECT_EQ(pc.obs[2].weight, 0.5);
  EXPECT_EQ(pc.obs[2].group, "flow");
  EXPECT_EQ(pc.pre_batch_file, "pre.sh");
  EXPECT_EQ(pc.post_batch_file, "./post.sh");
  EXPECT_EQ(pc.templates[1].tpl_file, "basin.tpl");
  EXPECT_EQ(pc.instructions[1].model_output_file, "basin.out");
  const kavro::prior_rec& pr = pc.priors[1];
  EXPECT_EQ(pr.label, "pi1");
  ASSERT_EQ(pr.n_terms, 2);
  EXPECT_EQ(pr.factors[1], 1.0);
  EXPECT_EQ(pr.factors[2], 2.0);
  EXPECT_EQ(pr.par_names[1], "rough");
  EXPECT_EQ(pr.par_names[2], "ksat");
  EXPECT_EQ(pr.pival, 0.7);
  EXPECT_EQ(pr.group, "flow");
}

TEST_F(PestControl, ReadsTheBasinFixture) {
  copy_fixture("basin.pst");
  pest_control pc;
  std::string out;
  ASSERT_EQ(read_control(pc, "basin", &out), 0) << out;
  EXPECT_EQ(read_file("kavro.in"), "3\n[rough] \"%16.8lf\"\n[ksat] \"%16.8lf\"\n[kv] \"%16.8lf\"\n");
  expect_basin(pc);
  EXPECT_EQ(pc.wfinit, 1.0);
  EXPECT_EQ(pc.weight_factor, 1.0);
  EXPECT_EQ(pc.wffac, 1.3);

  kavro::pest_classify_parameters(pc);
  kavro::pest_tied_ratios(pc);
  EXPECT_EQ(pc.n_adjustable, 2);
  EXPECT_EQ(pc.n_tied, 1);
  EXPECT_EQ(pc.n_fixed, 0);
  EXPECT_EQ(pc.pars[3].tie_parent_index, 1);
  EXPECT_DOUBLE_EQ(pc.pars[3].tie_ratio, 2.0);
  EXPECT_EQ(pc.pars[1].tie_parent_index, 0);
  EXPECT_EQ(pc.pars[1].tie_ratio, 1.0);
}

TEST_F(PestControl, LayoutVariantsReadTheSame) {
  const std::string basin = fixture("basin.pst");
  const std::string variants[] = {
      // The extension values on the ICOV line.
      replace_once(basin, "0 0 0\n1 0 1.5 2 0.05 basin.prj\n", "0 0 0 1 0 1.5 2 0.05 basin.prj extra\n"),
      // An SVD section after the control data.
      replace_once(basin, "* parameter groups\n", "* singular value decomposition\n1 2 5e-7 0\n* parameter groups\n"),
      // No regularisation section.
      replace_once(basin, "* regularisation\n1 1.05 0.1 1 1e-10 1e10 1.3 0.01\n", ""),
      // Windows line ends.
      [&] {
        std::string crlf;
        for (char c : basin) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        return crlf;
      }(),
  };
  int k = 0;
  for (const std::string& text : variants) {
    pest_control pc;
    std::string out;
    ASSERT_EQ(read_text(pc, text, &out), 0) << "variant " << k << ": " << out;
    expect_basin(pc);
    if (k == 1) {
      EXPECT_EQ(pc.maxsing, 2);
      EXPECT_EQ(pc.eigthresh, 5e-7);
    }
    if (k == 2) {
      EXPECT_EQ(pc.wfinit, 0.0);
    }
    ++k;
  }
}

TEST_F(PestControl, FileNamesAndEmptyParameterList) {
  std::filesystem::create_directory("dir.1");
  write_file("dir.1/case", fixture("basin.pst"));
  pest_control pc;
  EXPECT_EQ(read_control(pc, "dir.1/case"), 0);  // a '.' anywhere: no extension added
  std::string out;
  pest_control missing;
  testing::internal::CaptureStderr();
  EXPECT_EQ(read_control(missing, "nothing"), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Cannot open nothing.pst \n");

  pest_control none;
  ASSERT_EQ(read_text(none,
                      replace_once(with_parameters("0 2 1 0 1 1 1", ""),
                                   "pi1 1.0 * rough + 2.0 * log(ksat) = 0.7 1.0 flow\n", ""),
                      &out),
            0)
      << out;
  EXPECT_EQ(read_file("kavro.in"), "");
  EXPECT_EQ(none.nobsgp, 1);
  EXPECT_EQ(none.obs_groups[1].name, "flow");
  EXPECT_EQ(none.obs[1].name, "q1");
}

TEST_F(PestControl, ParameterCases) {
  pest_control log_par;
  ASSERT_EQ(read_text(log_par, replace_once(fixture("basin.pst"), "ksat log factor 2.0 0.1 100", "ksat log factor 100 1 1000")), 0);
  EXPECT_DOUBLE_EQ(log_par.pars[2].value, 2.0);
  EXPECT_DOUBLE_EQ(log_par.pars[2].lower_bound, 0.0);
  EXPECT_DOUBLE_EQ(log_par.pars[2].upper_bound, 3.0);

  pest_control zero;
  std::string out;
  EXPECT_EQ(read_text(zero, replace_once(fixture("basin.pst"), "ksat log factor 2.0 0.1 100", "ksat log factor 2.0 0 100"), &out), 1);
  EXPECT_EQ(out, "\nThe log transformed parameter ksat has an input value less than zero!\nProgram terminating.\n");

  pest_control upper;
  ASSERT_EQ(read_text(upper, replace_once(fixture("basin.pst"), "rough none relative 0.05", "rough none relative 0.2")), 0);
  EXPECT_EQ(upper.pars[1].at_upper, 1);
  EXPECT_EQ(upper.pars[1].at_lower, 0);
  EXPECT_EQ(upper.pars[2].at_upper, 0);

  // The first word of a tied line is not compared: both tie to a.
  pest_control tied;
  ASSERT_EQ(read_text(tied, with_parameters("3 2 1 1 1 1 1",
                                            "a log none 10 1 100 g 1 0 1\n"
                                            "b tied none 2 1 5 g 1 0 1\n"
                                            "c tied none 4 1 5 g 1 0 1\n"
                                            "c a\nb a\n")),
            0);
  kavro::pest_classify_parameters(tied);
  kavro::pest_tied_ratios(tied);
  EXPECT_EQ(tied.pars[2].tie_parent_index, 1);
  EXPECT_EQ(tied.pars[3].tie_parent_index, 1);
  EXPECT_DOUBLE_EQ(tied.pars[2].tie_ratio, 0.2);
  EXPECT_DOUBLE_EQ(tied.pars[3].tie_ratio, 0.4);

  pest_control iw;
  ASSERT_EQ(read_text(iw, with_parameters("3 2 1 1 1 1 1",
                                          "iw_rough none none 1 0 2 g 1 0 1\n"
                                          "iw_x fixed none 1 0 2 g 1 0 1\n"
                                          "k Fixed none 1 0 2 g 1 0 1\n")),
            0);
  kavro::pest_classify_parameters(iw);
  EXPECT_EQ(iw.pars[1].iw_flag, 1);
  EXPECT_EQ(iw.pars[1].short_name, "rough");
  EXPECT_EQ(iw.pars[2].iw_flag, 0);
  EXPECT_EQ(iw.n_iw, 1);
  EXPECT_EQ(iw.n_fixed, 1);
  EXPECT_EQ(iw.n_adjustable, 2);  // "Fixed" is not "fixed"
}

TEST_F(PestControl, PriorInformationCases) {
  pest_control minus;
  ASSERT_EQ(read_text(minus, with_prior("pi1 1.0 * rough - 2.0 * log(kv) = 0.5 1.0 flow")), 0);
  EXPECT_EQ(minus.priors[1].factors[2], -2.0);
  EXPECT_EQ(minus.priors[1].par_names[2], "kv");
  EXPECT_EQ(minus.priors[1].pival, 0.5);

  pest_control no_star;
  std::string out;
  EXPECT_EQ(read_text(no_star, with_prior("pi1 1.0 hk = 0.5 1.0 flow"), &out), 1);
  EXPECT_EQ(out.rfind("Error reading prior information", 0), 0u) << out;
  EXPECT_NE(out.find("case.pst, line 30"), std::string::npos) << out;

  std::string twelve = "pi1";
  for (int t = 1; t <= 12; ++t) twelve += (t > 1 ? " + " : " ") + std::to_string(t) + ".0 * p" + std::to_string(t);
  twelve += " = 1 1 flow";
  pest_control many;
  ASSERT_EQ(read_text(many, with_prior(twelve)), 0);
  ASSERT_EQ(many.priors[1].n_terms, 12);
  EXPECT_EQ(many.priors[1].par_names[11], "p11");
  EXPECT_EQ(many.priors[1].par_names[12], "p12");
  EXPECT_EQ(many.priors[1].factors[12], 12.0);
}

TEST_F(PestControl, MalformedFilesAreRefusedWithFileAndLine) {
  const std::string basin = fixture("basin.pst");
  struct refusal {
    std::string text;
    std::string message;
  };
  const refusal cases[] = {
      {basin.substr(0, basin.find("kv tied")),
       "Error in control file basin.pst, line 16: expected PARNME, found the end of the file.\n"},
      {replace_once(basin, "3 2 1 1 1 1 1", "three 2 1 1 1 1 1"),
       "Error in control file basin.pst, line 4: expected an integer for NPAR, found \"three\".\n"},
      {replace_once(basin, "0.01 10\n", "0.01 0\n"),
       "Error in control file basin.pst, line 6: expected a count of 1 or more for NUMLAM, found \"0\".\n"},
      {replace_once(basin, "3 2 1 1 1 1 1", "3 -2 1 1 1 1 1"),
       "Error in control file basin.pst, line 4: expected a count of 0 or more for NOBS, found \"-2\".\n"},
      {replace_once(basin, "1 0 1.5 2", "2 0 1.5 2"),
       "Error in control file basin.pst, line 11: expected 0 or 1 for METHOD, found \"2\".\n"},
      {replace_once(basin, "rough none relative 0.05 0.01 0.2 g", "rough none relative 0.05 0.01 0.2 gx"),
       "Error in control file basin.pst, line 15: expected the name of a parameter group for PARGP of rough, found \"gx\".\n"},
      {replace_once(basin, "kv rough\n", "kv z\n"),
       "Error in control file basin.pst, line 18: expected the name of a parameter that is not tied for the parent of kv, found \"z\".\n"},
      {replace_once(basin, "1 0 1.5 2 0.05 basin.prj\n", ""),
       "Error in control file basin.pst, line 11: expected an integer for METHOD, found \"*\".\n"},
      {replace_once(basin, "q1 1.5 1.0", "q1 nan 1.0"),
       "Error in control file basin.pst, line 22: expected a finite real number for OBSVAL, found \"nan\".\n"},
  };
  for (const refusal& r : cases) {
    write_file("basin.pst", r.text);
    pest_control pc;
    std::string out;
    EXPECT_EQ(read_control(pc, "basin", &out), 1) << r.message;
    EXPECT_EQ(out, r.message);
  }
}

// A model input file is written from its template before every run, a model
// output file is read after it: neither may be one of the tool's own inputs,
// and the control file may not be an exchange file the tool writes.
TEST_F(PestControl, ModelFilesThatWouldEraseOrStandForInputsAreRefused) {
  const std::string basin = fixture("basin.pst");
  struct refusal {
    const char* what;
    std::string text;
    std::string message;
  };
  const refusal cases[] = {
      {"a template whose model input is itself", replace_once(basin, "basin.tpl basin.in", "basin.tpl basin.tpl"),
       "Error in control file basin.pst: the model input file basin.tpl of template 1 is template file 1 basin.tpl"},
      {"a model input over the control file", replace_once(basin, "basin.tpl basin.in", "basin.tpl basin.pst"),
       "the model input file basin.pst of template 1 is the control file basin.pst"},
      {"an instruction file reading the control file", replace_once(basin, "basin.ins basin.out", "basin.ins basin.pst"),
       "instruction file 1 reads the control file basin.pst as the model output file basin.pst"},
      {"an instruction file reading itself", replace_once(basin, "basin.ins basin.out", "basin.ins basin.ins"),
       "instruction file 1 reads instruction file 1 basin.ins as the model output file basin.ins"},
  };
  for (const refusal& r : cases) {
    SCOPED_TRACE(r.what);
    write_file("basin.pst", r.text);
    pest_control pc;
    std::string out;
    EXPECT_EQ(read_control(pc, "basin", &out), 1);
    EXPECT_NE(out.find(r.message), std::string::npos) << out;
    EXPECT_EQ(read_file("basin.pst"), r.text) << "the control file stays as it was";
  }
  write_file("kavro.in", basin);
  pest_control pc;
  std::string out;
  EXPECT_EQ(read_control(pc, "kavro.in", &out), 1);
  EXPECT_NE(out.find("the control file kavro.in is the file kavro.in that the calibration writes"), std::string::npos)
      << out;
  EXPECT_EQ(read_file("kavro.in"), basin);
}

}  // namespace
}  // namespace kavro_test
