// The restart file round trip, its refusals, and the stop file.
#include "calibration/restart_stop_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "calibration/case_record.h"
#include "calibration/pest_control.h"
#include "pest_test_support.h"

namespace kavro_test {
namespace {

using kavro::lm_search_state;
using kavro::pest_control;

std::vector<std::string> file_lines(const std::string& name) {
  std::vector<std::string> lines;
  std::ifstream in(name);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class Restart : public pest_folder_test {
 protected:
  void SetUp() override {
    pest_folder_test::SetUp();
    copy_fixture("basin.pst");
    kavro::FilesNamesForWrite("basin", names);
  }
  pest_control read_basin(const std::string& text = "") {
    if (!text.empty()) write_file("basin.pst", text);
    pest_control pc;
    std::string out;
    EXPECT_EQ(read_control(pc, "basin", &out), 0) << out;
    kavro::pest_classify_parameters(pc);
    return pc;
  }
  // A state of iteration 3 in which every value differs.
  static lm_search_state make_state(const pest_control& pc) {
    lm_search_state s;
    const int rows = pc.nobs + pc.nprior;
    s.jacobian.allocate(rows, pc.n_adjustable);
    s.jacobian_best.allocate(rows, pc.n_adjustable);
    for (int i = 1; i <= rows; ++i)
      for (int j = 1; j <= pc.n_adjustable; ++j) {
        s.jacobian[i][j] = -3.5 * i + j / 3.0;
        s.jacobian_best[i][j] = 1e-20 * i - j;
      }
    s.iteration = 3;
    s.current_phi = 1e-20;
    s.previous_phi = 1e-7;
    s.phi_history.allocate(pc.noptmax + 1);
    s.phi_history[1] = 2.165;
    s.phi_history[2] = 1e-7;
    s.phi_history[3] = 1e-20;
    s.best_values.allocate(pc.npar);
    for (int k = 1; k <= pc.npar; ++k) s.best_values[k] = -3.5 / k;
    s.best_simulated.allocate(pc.nobs);
    for (int k = 1; k <= pc.nobs; ++k) s.best_simulated[k] = 0.1 * k;
    s.best_phi = 1e-20;
    s.best_iteration = 2;
    s.central_switch = 1;
    s.max_rel_change = 0.123456789012345678;
    s.n_small_change = 4;
    s.last_rel_change = 1.0 / 3.0;
    s.start_values.allocate(pc.n_adjustable);
    s.start_values[1] = 0.05;
    s.start_values[2] = 0.30102999566398120;
    s.model_calls = 17;
    s.cyclic_cursor = 2;
    return s;
  }
  kavro::output_file_names names;
};

TEST_F(Restart, WriteThenReadRestoresEveryItemBitForBit) {
  pest_control pc = read_basin();
  pc.phi_ratio = 0.5;
  pc.rlambda1 = 1e-20;
  pc.obs[1].simulated = -3.5;
  pc.obs[2].simulated_2 = 1e-7;
  pc.obs_groups[1].phi = 1.0 / 7.0;
  pc.pars[2].value = 0.1 + 0.2;
  const lm_search_state s = make_state(pc);
  ASSERT_EQ(kavro::lm_write_restart(s, pc, names), 0);

  const std::vector<std::string> lines = file_lines("basin.rst");
  ASSERT_EQ(lines.size(), 41u);
  EXPECT_EQ(lines[11], "3");  // item 8, then three history lines
  EXPECT_EQ(std::stod(lines[14]), 2.165);
  EXPECT_EQ(std::stod(lines[16]), 1e-20);
  EXPECT_EQ(std::count(lines[5].begin(), lines[5].end(), '\t'), 2);

  pest_control back = read_basin();
  back.method = 0;
  lm_search_state r;
  ASSERT_EQ(kavro::lm_read_restart(r, back, names), 0);
  const int rows = pc.nobs + pc.nprior;
  for (int i = 1; i <= rows; ++i)
    for (int j = 1; j <= pc.n_adjustable; ++j) {
      EXPECT_EQ(r.jacobian[i][j], s.jacobian[i][j]);
      EXPECT_EQ(r.jacobian_best[i][j], s.jacobian_best[i][j]);
    }
  EXPECT_EQ(r.iteration, 3);
  EXPECT_EQ(r.current_phi, 1e-20);
  EXPECT_EQ(r.previous_phi, 1e-7);
  for (int k = 1; k <= 3; ++k) EXPECT_EQ(r.phi_history[k], s.phi_history[k]);
  for (int k = 1; k <= pc.npar; ++k) EXPECT_EQ(r.best_values[k], s.best_values[k]);
  for (int k = 1; k <= pc.nobs; ++k) EXPECT_EQ(r.best_simulated[k], s.best_simulated[k]);
  EXPECT_EQ(r.best_phi, s.best_phi);
  EXPECT_EQ(r.best_iteration, 2);
  EXPECT_EQ(r.central_switch, 1);
  EXPECT_EQ(r.max_rel_change, s.max_rel_change);
  EXPECT_EQ(r.n_small_change, 4);
  EXPECT_EQ(r.last_rel_change, s.last_rel_change);
  EXPECT_EQ(r.start_values[2], s.start_values[2]);
  EXPECT_EQ(r.model_calls, 17);
  EXPECT_EQ(r.cyclic_cursor, 2);
  EXPECT_EQ(back.method, 1);
  EXPECT_EQ(back.cyclic_columns, 2);
  EXPECT_EQ(back.full_update_threshold, 1.5);
  EXPECT_EQ(back.phi_ratio, 1e-20 / 1e-7);  // recomputed from items 9 and 10
  EXPECT_EQ(back.rlambda1, 1e-20);
  EXPECT_EQ(back.obs[1].simulated, -3.5);
  EXPECT_EQ(back.obs[2].simulated_2, 1e-7);
  EXPECT_EQ(back.obs_groups[1].phi, 1.0 / 7.0);
  EXPECT_EQ(back.pars[2].value, 0.1 + 0.2);
}

TEST_F(Restart, ShortOrMismatchedFilesAreRefusedWithoutChanges) {
  pest_control pc = read_basin();
  ASSERT_EQ(kavro::lm_write_restart(make_state(pc), pc, names), 0);
  const std::vector<std::string> lines = file_lines("basin.rst");

  // Cut after item 12 (the parameter values end on line 20).
  std::string cut;
  for (int k = 0; k < 20; ++k) cut += lines[static_cast<size_t>(k)] + "\n";
  write_file("basin.rst", cut);
  pest_control back = read_basin();
  back.rlambda1 = 42.0;
  lm_search_state r;
  r.model_calls = 99;
  testing::internal::CaptureStdout();
  EXPECT_EQ(kavro::lm_read_restart(r, back, names), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error reading the restart file basin.rst: item 13 (best_simulated) is missing: the file ends early.\n");
  EXPECT_EQ(r.model_calls, 99);
  EXPECT_EQ(back.rlambda1, 42.0);

  // A word where a number belongs.
  std::vector<std::string> damaged = lines;
  damaged[11] = "three";
  std::string text;
  for (const std::string& l : damaged) text += l + "\n";
  write_file("basin.rst", text);
  testing::internal::CaptureStdout();
  EXPECT_EQ(kavro::lm_read_restart(r, back, names), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error reading the restart file basin.rst: item 8 (iteration) is not an integer: \"three\".\n");

  // The full file against a control file with one observation fewer.
  std::string full;
  for (const std::string& l : lines) full += l + "\n";
  write_file("basin.rst", full);
  std::string smaller = replace_once(fixture("basin.pst"), "3 2 1 1 1 1 1", "3 1 1 1 1 1 1");
  smaller = replace_once(smaller, "q2 2.5 0.5 flow\n", "");
  pest_control fewer = read_basin(smaller);
  testing::internal::CaptureStdout();
  EXPECT_EQ(kavro::lm_read_restart(r, fewer, names), 1);
  const std::string message = testing::internal::GetCapturedStdout();
  EXPECT_EQ(message.rfind("Error reading the restart file basin.rst: item ", 0), 0u) << message;
}

TEST_F(Restart, UnwritableFileIsReported) {
  pest_control pc = read_basin();
  kavro::output_file_names elsewhere;
  kavro::FilesNamesForWrite("no_such_folder/basin", elsewhere);
  testing::internal::CaptureStdout();
  EXPECT_EQ(kavro::lm_write_restart(make_state(pc), pc, elsewhere), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: cannot create the restart file no_such_folder/basin.rst.\n");
}

TEST_F(Restart, MissingFileEndsWithStatusOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  pest_control pc = read_basin();
  lm_search_state r;
  EXPECT_EXIT(
      {
        console_to_stderr();
        kavro::lm_read_restart(r, pc, names);
      },
      testing::ExitedWithCode(1),
      "\n\nError opening the restart file.\nPossibly previous run was not halted prematurely.\n\n");
}

class StopFile : public pest_folder_test {};

TEST_F(StopFile, ValuesStopOrAreDeleted) {
  // Forked in place, so that the child reads this folder's stop file and the
  // parent can see that it is still there.
  GTEST_FLAG_SET(death_test_style, "fast");
  EXPECT_EQ(kavro::check_stop_file(), 0);  // no stop file
  struct stop {
    const char* text;
    const char* message;
  };
  for (const stop& s : {stop{"1", "^$"},
                        stop{"2\n", "^\n\nThe toolbox does not currently support\nceasing execution with a full "
                                    "parameter statistics printout.\n\n$"},
                        stop{" 3", "^\n\nThe toolbox does not currently support pausing execution.\n\n$"}}) {
    write_file("pest.stp", s.text);
    EXPECT_EXIT(
        {
          console_to_stderr();
          kavro::check_stop_file();
        },
        testing::ExitedWithCode(0), s.message)
        << s.text;
    EXPECT_TRUE(std::filesystem::exists("pest.stp")) << s.text;
  }
  for (const char* go_on : {"4", "", "word"}) {
    write_file("pest.stp", go_on);
    EXPECT_EQ(kavro::check_stop_file(), 0) << go_on;
    EXPECT_FALSE(std::filesystem::exists("pest.stp")) << go_on;
  }
}

}  // namespace
}  // namespace kavro_test
