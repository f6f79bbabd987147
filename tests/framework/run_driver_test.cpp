// The run driver observed through injected steps: which steps run, which
// analyzer notifications are sent and how the run ends.
#include "framework/run_driver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "output/analyzers.h"
#include "test_support.h"

namespace kavro {
namespace {

// Runs the driver inside a scratch folder (it appends to out_time.out there).
class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
  }
  void TearDown() override { std::filesystem::current_path(old_cwd_); }

  kavro_test::scratch_dir dir_;
  std::filesystem::path old_cwd_;
};

// What a scripted run did.
struct trace {
  std::vector<int> notifications;
  std::vector<std::string> steps;
  int passes = 0;
  int summaries = 0;
};

// A plan of `n_init` initialisation steps and three loop steps. `init_code`
// is set by init step `init_at` (checked unless `unchecked`); `loop_code` by
// the second loop step in pass `loop_pass`; keep_running is cleared in pass
// `last_pass`.
struct scenario {
  const char* label;
  int init_at, init_code;
  bool unchecked;
  int loop_pass, loop_code;
  int last_pass;
  // expected
  std::vector<int> notifications;
  int passes;
  int summaries;
  int result;
  bool stopped;
  bool later_init_steps_ran;
};

run_plan scripted_plan(const scenario& sc, trace& t) {
  run_plan plan;
  const int n_init = 5;
  for (int i = 1; i <= n_init; ++i) {
    driver_step s;
    s.name = "init" + std::to_string(i);
    s.checked = !(sc.unchecked && i == sc.init_at);
    s.run = [&t, &sc, i](main_state& ms, const run_call& c) {
      t.steps.push_back("init" + std::to_string(i));
      if (i == sc.init_at) error_rec.code = sc.init_code;
      if (i == n_init) {
        ms.keep_running = 1;
        if (c.notify) c.notify(ms, analyzer_run_initialised);
      }
    };
    plan.init_steps.push_back(std::move(s));
  }
  plan.loop_steps.push_back({"count", [&t](main_state&, const run_call&) { ++t.passes; }, true, {}});
  plan.loop_steps.push_back({"fail",
                             [&t, &sc](main_state&, const run_call&) {
                               if (t.passes == sc.loop_pass) error_rec.code = sc.loop_code;
                             },
                             true,
                             {}});
  plan.loop_steps.push_back({"end",
                             [&t, &sc](main_state& ms, const run_call&) {
                               if (t.passes == sc.last_pass) ms.keep_running = 0;
                             },
                             true,
                             {}});
  plan.notify = [&t](main_state&, int mask) { t.notifications.push_back(mask); };
  plan.final_summary = [&t](main_state&) { ++t.summaries; };
  return plan;
}

TEST_F(DriverTest, ScriptedRunsEndAsTheirStepsDecide) {
  const std::vector<scenario> cases = {
      {"stop code in init", 2, 4000, false, 0, 0, 1, {}, 0, 0, 0, true, false},
      {"fatal code in init", 3, 200, false, 0, 0, 1, {}, 0, 0, 200, true, false},
      {"warning lets the sequence go on", 2, 55, false, 0, 0, 1, {8, 1, 16}, 1, 1, 0, false, true},
      {"code left by an unchecked step", 5, 7, true, 0, 0, 1, {8, 32}, 0, 0, 7, true, true},
      {"normal end after one pass", 0, 0, false, 0, 0, 1, {8, 1, 16}, 1, 1, 0, false, true},
      {"normal end after four passes", 0, 0, false, 0, 0, 4, {8, 1, 1, 1, 1, 16}, 4, 1, 0, false, true},
      {"stop code in pass three", 0, 0, false, 3, 4000, 10, {8, 1, 1}, 3, 0, 0, true, true},
  };
  for (const auto& sc : cases) {
    SCOPED_TRACE(sc.label);
    trace t;
    const run_plan plan = scripted_plan(sc, t);
    testing::internal::CaptureStdout();
    const run_outcome out = run_simulation_with(plan, "p.prj", nullptr, "");
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(t.notifications, sc.notifications);
    EXPECT_EQ(t.passes, sc.passes);
    EXPECT_EQ(t.summaries, sc.summaries);
    EXPECT_EQ(out.result, sc.result);
    EXPECT_EQ(out.stopped_on_error, sc.stopped);
    const bool last_ran = !t.steps.empty() && t.steps.back() == "init5";
    EXPECT_EQ(last_ran, sc.later_init_steps_ran);
  }
}

TEST_F(DriverTest, EveryRunAppendsItsTimeLine) {
  const scenario sc{"normal", 0, 0, false, 0, 0, 1, {}, 0, 0, 0, false, true};
  for (int run = 0; run < 3; ++run) {
    trace t;
    testing::internal::CaptureStdout();
    run_simulation_with(scripted_plan(sc, t), "p.prj", nullptr, "");
    testing::internal::GetCapturedStdout();
  }
  const std::string text = kavro_test::read_file("out_time.out");
  const std::regex line(R"(total time \(s\): {0,8}[ 0-9]+\.\d\d\n)");
  std::smatch m;
  int lines = 0;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), line); it != std::sregex_iterator(); ++it) ++lines;
  EXPECT_EQ(lines, 3) << text;
}

TEST_F(DriverTest, ToolModeTextsSilenceTheRunLines) {
  struct mode_case {
    const char* text;
    bool silent;
  };
  const mode_case cases[] = {{"-slm", true}, {"-ms", true},    {"-tr", true},   {"-mlsl", true},
                             {"-t", false},  {"-slmx", false}, {"temp", false}, {"", false}};
  const scenario sc{"normal", 0, 0, false, 0, 0, 1, {}, 0, 0, 0, false, true};
  for (const auto& mc : cases) {
    SCOPED_TRACE(mc.text);
    trace t;
    testing::internal::CaptureStdout();
    run_simulation_with(scripted_plan(sc, t), "p.prj", nullptr, mc.text);
    const std::string out = testing::internal::GetCapturedStdout();
    for (const char* line : {"total time to init", "Running....", "Run time"}) {
      EXPECT_EQ(out.find(line) == std::string::npos, mc.silent) << line << " in:\n" << out;
    }
  }
}

TEST_F(DriverTest, DefaultPlanHasTheFixedSequence) {
  const run_plan& plan = default_run_plan();
  ASSERT_EQ(plan.init_steps.size(), 30u);
  ASSERT_EQ(plan.loop_steps.size(), 38u);
  EXPECT_EQ(plan.init_steps.front().name, "read_project");
  EXPECT_EQ(plan.init_steps[1].name, "check_run_control_values");
  EXPECT_EQ(plan.init_steps[3].name, "check_outputs_can_be_created");
  EXPECT_EQ(plan.init_steps[4].name, "open_run_files");
  EXPECT_EQ(plan.init_steps[7].name, "setup_grid_and_maps");
  EXPECT_EQ(plan.init_steps[24].name, "setup_start_time");
  EXPECT_EQ(plan.init_steps[25].name, "date_linknode_headers");
  EXPECT_EQ(plan.init_steps[26].name, "shift_relative_series");
  EXPECT_EQ(plan.loop_steps.front().name, "advance_clock");
  EXPECT_EQ(plan.loop_steps[35].name, "end_event");
  EXPECT_EQ(plan.loop_steps.back().name, "write_map_output");
  // Steps 6, 11, 21, 23, 24, 26 (the link/node headers' start time), 27 (the
  // shift after the start time), 29 and 30 have no check of their own; 28
  // checks the overland boundary series.
  std::vector<int> unchecked;
  for (size_t i = 0; i < plan.init_steps.size(); ++i)
    if (!plan.init_steps[i].checked) unchecked.push_back(static_cast<int>(i) + 1);
  EXPECT_EQ(unchecked, (std::vector<int>{6, 11, 21, 23, 24, 26, 27, 29, 30}));
  for (const auto& s : plan.loop_steps) EXPECT_TRUE(s.checked) << s.name;
}

}  // namespace
}  // namespace kavro
