// The run driver: one complete simulation run of one project file.
//
// The driver owns the run record from allocation to release, calls the fixed
// initialisation sequence and then the steps of the time loop pass after
// pass, reports the error record after every checked step and stops at the
// first step that leaves the stop flag set.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kavro {

struct main_state;
struct calib_result_buffer;

// What a step is called with besides the record.
struct run_call {
  std::string project_path;                // the project file of the run
  calib_result_buffer* calib = nullptr;    // a calibrating caller's buffer, or null
  std::function<void(main_state&, int)> notify;  // the analyzer notification of the run
};

// One step of the initialisation sequence or of the time loop.
struct driver_step {
  std::string name;                                            // for tests and messages
  std::function<void(main_state&, const run_call&)> run;       // the step itself
  bool checked = true;                                         // report the error record after it
  std::function<bool(const main_state&)> when;                 // called only when true (empty: always)
};

// The steps and hooks of a run. The default plan is the system's fixed
// order; tests build their own plans to observe the driver.
struct run_plan {
  std::vector<driver_step> init_steps;
  std::vector<driver_step> loop_steps;
  std::function<void(main_state&, int)> notify;   // analyzer notifications
  std::function<void(main_state&)> final_summary; // after a normal end of the loop
};

// The system's run: 27 initialisation steps and 38 loop steps.
const run_plan& default_run_plan();

// How a run ended, for callers that need more than the error code.
struct run_outcome {
  int result = 0;                 // the error code at the end: non-zero only after a fatal error
  bool stopped_on_error = false;  // a report stopped the run, or a code was left pending
  double run_time_s = 0.0;        // wall-clock seconds of the whole run
};

// One run of `project_path`. `mode_text` is the option text of the command
// line (or what a calibration mode passes); the calibration tool options
// "-slm", "-ms", "-tr" and "-mlsl" silence the console progress.
int run_simulation(const std::string& project_path, calib_result_buffer* calib, std::string_view mode_text);
run_outcome run_simulation_outcome(const std::string& project_path, calib_result_buffer* calib,
                                   std::string_view mode_text);
run_outcome run_simulation_with(const run_plan& plan, const std::string& project_path,
                                calib_result_buffer* calib, std::string_view mode_text);

// True when `mode_text` is one of the calibration tool options, typed in full.
bool is_tool_mode_text(std::string_view mode_text);

}  // namespace kavro
