// A stand-in for the simulator with a known optimum, and a scratch working
// folder for calibrations run inside the test process.
//
// The stand-in reads K, M, C and S from its "project file" (the keys
// replaced), and hands over four events of rain P = 10, 20, 35, 50 with the
// peak K * P^M and the volume 1000 * C * (P - S). Observations made with
// K 0.05, M 1.4, C 0.6, S 4 put the optimum there.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

#include "calibration/calibration_entries.h"
#include "framework/event_accounting_parts.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "framework/replace_pairs.h"
#include "framework/run_driver.h"
#include "test_support.h"

namespace kavro_test {

struct stand_in_values {
  double k = 0, m = 0, c = 0, s = 0;
  int runs = 0;  // model runs made
};

inline kavro::run_plan stand_in_plan(std::shared_ptr<stand_in_values> v) {
  using namespace kavro;
  run_plan plan;
  plan.init_steps.push_back({"read_stand_in",
                             [v](main_state& ms, const run_call& call) {
                               file_wrapper f;
                               std::string line;
                               ++v->runs;
                               if (!f.open(call.project_path, "r") || !read_line(line, f)) return;
                               pop_double(line, v->k);
                               pop_double(line, v->m);
                               pop_double(line, v->c);
                               pop_double(line, v->s);
                               ms.n_precip_events = 4;
                             },
                             false,
                             {}});
  plan.init_steps.push_back({"alloc_calib_result_buffer",
                             [](main_state& ms, const run_call&) { alloc_calib_result_buffer(ms); }, false, {}});
  plan.init_steps.push_back({"events",
                             [v](main_state& ms, const run_call&) {
                               const double rain[] = {10, 20, 35, 50};
                               for (int e = 1; e <= 4; ++e) {
                                 const double p = rain[e - 1];
                                 ms.event_no = e;
                                 ms.event_peak_q = v->k * std::pow(p, v->m);
                                 ms.vol_discharge = 1000.0 * v->c * (p - v->s);
                                 hand_over_to_calibrator(ms);
                               }
                             },
                             false,
                             {}});
  return plan;
}

// Project, list and observation files of the stand-in in the working folder.
inline void write_stand_in_files() {
  write_file("p.prj", "[K] [M] [C] [S]\n");
  write_file("params.txt", "4\n[K] \"%.10lf\"\n[M] \"%.10lf\"\n[C] \"%.10lf\"\n[S] \"%.10lf\"\n");
  write_file("obs.txt",
             "5\n0 0 0 0\n1.255943 1 3600 1\n3.314454 1 9600 1\n7.255465 1 18600 1\n11.954406 1 27600 1\n");
}

// The process-wide file-name and replacement switches as a new process has them.
inline void reset_process_switches() {
  kavro::run_prefix_on = 0;
  kavro::run_number = 0;
  kavro::replace_on = 0;
  kavro::free_replace_pairs();
  kavro::set_project_folder("");
  kavro::set_output_folder("");
}

// Runs each test in a fresh folder that is the working folder, with the
// process-wide switches as a new process has them.
class calibration_folder : public ::testing::Test {
 protected:
  void SetUp() override {
    old_cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    reset_switches();
  }
  void TearDown() override {
    std::filesystem::current_path(old_cwd_);
    reset_switches();
  }
  static void reset_switches() { reset_process_switches(); }
  scratch_dir dir;

 private:
  std::filesystem::path old_cwd_;
};

}  // namespace kavro_test
