// The infiltration box of tests/data/infiltration_runs: a test fixture that
// copies its files into a fresh folder and runs a project there, as the
// kavro program or through the run driver with a probe after the
// infiltration step.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "framework/main_state.h"
#include "framework/run_driver.h"
#include "test_support.h"

namespace kavro {

// The value printed after `label` in a summary file; NaN when the label is missing.
inline double summary_value(const std::string& summary, const std::string& label) {
  const auto at = summary.find(label);
  if (at == std::string::npos) return std::nan("");
  return std::strtod(summary.c_str() + at + label.size(), nullptr);
}

class InfiltrationRun : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& entry : std::filesystem::directory_iterator(kavro_test::data_dir() / "infiltration_runs"))
      std::filesystem::copy_file(entry.path(), dir / entry.path().filename().string());
  }
  // Runs the kavro program on `project` with `extra_cards` appended.
  kavro_test::run_result run_program(const std::string& project, const std::string& extra_cards = "",
                                     const std::vector<std::string>& options = {}) {
    kavro_test::write_file(dir / project,
                           kavro_test::read_file(kavro_test::data_dir() / "infiltration_runs" / project) + extra_cards);
    std::vector<std::string> args = options;
    args.push_back(project);
    return kavro_test::run_program(kavro_test::kavro_binary(), args, dir.path());
  }
  // Runs `project` through the driver, calling `probe` right after every
  // infiltration step and `at_end` after the end-of-run summary of a normal end.
  bool run_in_process(const std::string& project, const std::function<void(const main_state&)>& probe,
                      const std::function<void(const main_state&)>& at_end) {
    run_plan plan = default_run_plan();
    auto at = plan.loop_steps.begin();
    while (at != plan.loop_steps.end() && at->name != "infiltration_step") ++at;
    if (at == plan.loop_steps.end()) return false;
    plan.loop_steps.insert(at + 1, {"probe", [&](main_state& ms, const run_call&) { probe(ms); }, true, {}});
    auto summary = plan.final_summary;
    bool ended = false;
    plan.final_summary = [&](main_state& ms) {
      ended = true;
      summary(ms);
      at_end(ms);
    };
    const auto old_cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    testing::internal::CaptureStdout();
    const run_outcome out = run_simulation_with(plan, project, nullptr, "");
    testing::internal::GetCapturedStdout();
    std::filesystem::current_path(old_cwd);
    return ended && out.result == 0 && !out.stopped_on_error;
  }
  kavro_test::scratch_dir dir;
};

}  // namespace kavro
