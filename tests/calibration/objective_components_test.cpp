// The objective by observation group, the prior-information part and the
// adjustable list; and one round trip from "kavro.in" through the model
// input keys and an output file read back by instructions.
#include "calibration/objective_components.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "calibration/numeric_toolkit.h"
#include "calibration/pest_control.h"
#include "calibration/template_instruction_files.h"
#include "framework/replace_pairs.h"
#include "pest_test_support.h"

namespace kavro_test {
namespace {

using kavro::pest_control;

TEST(AdjustableList, SkipsExactlyTiedAndFixed) {
  pest_control pc;
  pc.npar = 5;
  pc.pars.allocate(5);
  const char* trans[] = {"none", "fixed", "tied", "log", "Fixed"};
  for (int k = 1; k <= 5; ++k) pc.pars[k].partrans = trans[k - 1];
  kavro::pest_classify_parameters(pc);
  ASSERT_EQ(pc.n_adjustable, 3);
  kavro::ivec list = kavro::ivector(1, 3);
  kavro::lm_adjustable_list(pc, list);
  EXPECT_EQ(list[1], 1);
  EXPECT_EQ(list[2], 4);
  EXPECT_EQ(list[3], 5);
}

TEST(GroupPhi, WeightsGroupsAndReadKinds) {
  pest_control pc;
  pc.nobsgp = 3;
  pc.obs_groups.allocate(3);
  pc.obs_groups[1].name = "a";
  pc.obs_groups[2].name = "b";
  pc.obs_groups[3].name = "empty";
  pc.nobs = 4;
  pc.obs.allocate(4);
  struct o {
    double value, sim, sim2, weight;
    const char* group;
  };
  const o rows[] = {{10, 8, 9, 0.5, "a"}, {3, 1, 3, 0.0, "a"}, {2, 1, 0, 2.0, "b"}, {5, 0, 0, 1.0, "nogroup"}};
  for (int k = 1; k <= 4; ++k) {
    const o& r = rows[k - 1];
    pc.obs[k].value = r.value;
    pc.obs[k].simulated = r.sim;
    pc.obs[k].simulated_2 = r.sim2;
    pc.obs[k].weight = r.weight;
    pc.obs[k].group = r.group;
  }
  pc.obs_groups[3].phi = 7.0;
  double phi = -1.0;
  kavro::lm_group_phi(pc, 0, phi);
  EXPECT_EQ(pc.obs_groups[1].phi, 1.0);  // (0.5 * 2)^2, weight 0 adds 0
  EXPECT_EQ(pc.obs_groups[2].phi, 4.0);
  EXPECT_EQ(pc.obs_groups[3].phi, 0.0);
  EXPECT_EQ(phi, 5.0);
  kavro::lm_group_phi(pc, 1, phi);
  EXPECT_EQ(pc.obs_groups[1].phi, 0.25);
  EXPECT_EQ(phi, 16.25);
  kavro::lm_group_phi(pc, 2, phi);
  EXPECT_EQ(phi, 0.0);

  double prior_phi = -1.0;
  kavro::dmat none;
  kavro::lm_prior_phi(pc, none, prior_phi);  // no prior information
  EXPECT_EQ(prior_phi, 0.0);
  EXPECT_EQ(pc.obs_groups[1].phi, 0.0);
}

class RoundTrip : public pest_folder_test {
 protected:
  void TearDown() override {
    kavro::free_replace_pairs();
    kavro::replace_on = 0;
    kavro::replace_line = 0;
    pest_folder_test::TearDown();
  }
};

TEST_F(RoundTrip, ValuesThroughKeysOutputsAndObjective) {
  copy_fixture("basin.pst");
  copy_fixture("basin.ins");
  pest_control pc;
  std::string out;
  ASSERT_EQ(read_control(pc, "basin", &out), 0) << out;
  kavro::pest_classify_parameters(pc);

  // The values file of one model run through the keys of "kavro.in".
  // Each value reaches the model with eight decimals: a value below 5e-9
  // arrives as 0 (the README tells users to choose larger units).
  write_file("values.in", "5.0000000E-02 2.0000000E+00 1.2345678E-09 \n");
  testing::internal::CaptureStdout();
  ASSERT_EQ(kavro::read_replace_params("kavro.in"), 0);
  ASSERT_EQ(kavro::read_replace_values("values.in"), 0);
  testing::internal::GetCapturedStdout();
  std::string rough = "rough [rough]";
  std::string ksat = "ksat [ksat]";
  std::string kv = "kv [kv]";
  kavro::apply_replace_pairs(rough);
  kavro::apply_replace_pairs(ksat);
  kavro::apply_replace_pairs(kv);
  EXPECT_EQ(rough, "rough       0.05000000");
  EXPECT_EQ(ksat, "ksat       2.00000000");
  EXPECT_EQ(kv, "kv       0.00000000");
  kavro::replace_on = 0;

  // The model "writes" them; the instructions read them back.
  write_file("basin.out", rough + "\n" + ksat + "\n");
  kavro::pest_file_handles ins;
  ASSERT_EQ(kavro::pest_open_instructions(pc, ins), 0);
  ASSERT_EQ(kavro::pest_read_instructions(pc, 1, 0, ins), 0);
  kavro::pest_close_instructions(pc, ins);
  EXPECT_EQ(pc.obs[1].simulated, 0.05);
  EXPECT_EQ(pc.obs[2].simulated, 2.0);

  double phi = 0.0;
  kavro::lm_group_phi(pc, 0, phi);
  EXPECT_NEAR(pc.obs_groups[1].phi, 2.165, 1e-13);  // (1.5 - 0.05)^2 + (0.5 * 0.5)^2
  EXPECT_NEAR(phi, 2.165, 1e-13);

  kavro::dmat prior = kavro::matrix(1, 1, 1, 2);
  prior[1][1] = 1.0;
  prior[1][2] = 2.0;
  double prior_phi = 0.0;
  kavro::lm_prior_phi(pc, prior, prior_phi);
  const double expected = std::pow(0.7 - 0.05 - 2.0 * std::log10(2.0), 2);
  EXPECT_NEAR(expected, 0.00229824443, 1e-11);
  EXPECT_NEAR(prior_phi, expected, 1e-15);
  EXPECT_NEAR(pc.obs_groups[1].phi, 2.165 + expected, 1e-13);
}

}  // namespace
}  // namespace kavro_test
