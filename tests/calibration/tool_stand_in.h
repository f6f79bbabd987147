// Stand-ins for the simulator under the calibration tool, with outputs known
// in closed form, and the fixtures of the tool's tests.
//
// A stand-in run reads "kavro.in" and "values.in" as the model project's
// REPLACE_PARAMS and REPLACE_VALS cards would, takes the first line of its
// project file (keys replaced) as the parameter values, writes its outputs
// to "model.out" ("%.15e\n" each) and appends the line of "values.in" to
// "calls.log", so a test sees every parameter set the tool ran.
//
//   lin:   project line "[p1] [p2] [p3]"; y = A p with the rows of A
//          (1,0,0), (0,1,0), (0,0,1), (1,1,0), (0,1,1), (1,1,1).
//   decay: project line "[a] [k]"; y = a exp(-k t), t = 0, 1, 2, 4, 7, 10.
//   well:  project line "[x]"; y = (x^2, x / 2, 0). Against the observations
//          (1, 0.5, 0.1) its objective (1 - x^2)^2 + (1 - x)^2 / 4 + 0.01 has a
//          shallow well at x = -(2 + sqrt 2) / 4 and the deep one at x = 1.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "calibration/lm_jacobian.h"
#include "calibration/objective_components.h"
#include "calibration/pest_control.h"
#include "calibration/template_instruction_files.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "framework/replace_pairs.h"
#include "framework/run_driver.h"
#include "pest_test_support.h"
#include "stand_in.h"

namespace kavro_test {

using stand_in_model = std::function<std::vector<double>(const std::vector<double>&)>;

struct tool_stand_in {
  stand_in_model model;
  int n_params = 0;
  int runs = 0;             // model runs made
  int no_output_at_run = 0;  // this run (from 1) leaves no "model.out"
};

inline const double lin_rows[6][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {0, 1, 1}, {1, 1, 1}};
inline const double decay_times[6] = {0, 1, 2, 4, 7, 10};

inline std::vector<double> lin_outputs(const std::vector<double>& p) {
  std::vector<double> y;
  for (const auto& row : lin_rows) y.push_back(row[0] * p[0] + row[1] * p[1] + row[2] * p[2]);
  return y;
}

inline std::vector<double> decay_outputs(const std::vector<double>& p) {
  std::vector<double> y;
  for (double t : decay_times) y.push_back(p[0] * std::exp(-p[1] * t));
  return y;
}

inline std::vector<double> well_outputs(const std::vector<double>& p) { return {p[0] * p[0], 0.5 * p[0], 0.0}; }

inline std::shared_ptr<tool_stand_in> lin_stand_in() {
  return std::make_shared<tool_stand_in>(tool_stand_in{lin_outputs, 3});
}
inline std::shared_ptr<tool_stand_in> decay_stand_in() {
  return std::make_shared<tool_stand_in>(tool_stand_in{decay_outputs, 2});
}

inline std::shared_ptr<tool_stand_in> well_stand_in() {
  return std::make_shared<tool_stand_in>(tool_stand_in{well_outputs, 1});
}

inline kavro::run_plan tool_stand_in_plan(std::shared_ptr<tool_stand_in> s) {
  using namespace kavro;
  run_plan plan;
  plan.init_steps.push_back(
      {"stand_in_model",
       [s](main_state&, const run_call& call) {
         ++s->runs;
         if (read_replace_params("kavro.in") != 0 || read_replace_values("values.in") != 0) return;
         file_wrapper project;
         std::string line;
         if (!project.open(call.project_path, "r") || !read_line(line, project)) return;
         std::vector<double> p(static_cast<std::size_t>(s->n_params));
         for (double& v : p) pop_double(line, v);
         if (s->runs == s->no_output_at_run) {
           std::remove("model.out");
         } else {
           std::FILE* out = std::fopen("model.out", "w");
           for (double y : s->model(p)) std::fprintf(out, "%.15e\n", y);
           std::fclose(out);
         }
         std::FILE* log = std::fopen("calls.log", "a");
         std::fprintf(log, "%s\n", read_file("values.in").c_str());
         std::fclose(log);
       },
       false,
       {}});
  return plan;
}

// A folder with the tool's fixtures of tests/data/pest, in which each test
// runs with the process-wide switches of a new process.
class tool_folder : public pest_folder_test {
 protected:
  void SetUp() override {
    pest_folder_test::SetUp();
    reset_process_switches();
  }
  void TearDown() override {
    reset_process_switches();
    pest_folder_test::TearDown();
  }
  // lin.pst, lin.prj, lin.ins and lin.tpl; `control` replaces lin.pst.
  static void write_lin(const std::string& control = "") {
    for (const char* f : {"lin.prj", "lin.ins", "lin.tpl"}) copy_fixture(f);
    write_file("lin.pst", control.empty() ? fixture("lin.pst") : control);
  }
  static void write_decay(const std::string& control = "") {
    for (const char* f : {"decay.prj", "decay.ins", "decay.tpl"}) copy_fixture(f);
    write_file("decay.pst", control.empty() ? fixture("decay.pst") : control);
  }
  static void write_well(const std::string& control = "") {
    for (const char* f : {"well.prj", "well.ins", "well.tpl"}) copy_fixture(f);
    write_file("well.pst", control.empty() ? fixture("well.pst") : control);
  }
  // The lines of calls.log.
  static std::vector<std::string> calls() { return lines_of(read_file("calls.log")); }

  using tool_entry = int (*)(int, char**, const kavro::run_plan*);
  // A mode of the tool on `args` (after "kavro") with its model runs on
  // `plan`; its result, what it printed in `console`.
  int tool(tool_entry entry, std::vector<std::string> args, const kavro::run_plan* plan) {
    args.insert(args.begin(), "kavro");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    const int rc = entry(static_cast<int>(args.size()), argv.data(), plan);
    console = testing::internal::GetCapturedStdout();
    return rc;
  }
  std::string console;
};

// The natural parameter values of a line of calls.log.
inline std::vector<double> call_values(const std::string& line) {
  std::vector<double> v;
  const char* p = line.c_str();
  char* end = nullptr;
  for (double x = std::strtod(p, &end); end != p; x = std::strtod(p, &end)) {
    v.push_back(x);
    p = end;
  }
  return v;
}

// The number after the last `label` in `text`; NaN when there is none.
inline double last_figure(const std::string& text, const std::string& label) {
  const std::size_t at = text.rfind(label);
  if (at == std::string::npos) return std::nan("");
  return std::strtod(text.c_str() + at + label.size(), nullptr);
}

// The calibration tool's engine on a stand-in, driven step by step the way
// the optimisation driver drives it.
class tool_engine {
 public:
  tool_engine() = default;
  tool_engine(const tool_engine&) = delete;
  tool_engine& operator=(const tool_engine&) = delete;
  ~tool_engine() { kavro::pest_close_instructions(pc, instruction_files); }

  // Reads the control file `name` as a mode's start leaves it; the runs
  // follow `model`.
  void open(const std::string& name, std::shared_ptr<tool_stand_in> stand_in) {
    model = std::move(stand_in);
    plan = tool_stand_in_plan(model);
    std::string out;
    EXPECT_EQ(read_pest_control(pc, name, &out), 0) << out;
    kavro::pest_classify_parameters(pc);
    kavro::pest_tied_ratios(pc);
    pc.model_plan = &plan;
    EXPECT_EQ(kavro::pest_open_instructions(pc, instruction_files), 0);
    adjustable.allocate(pc.n_adjustable);
    kavro::lm_adjustable_list(pc, adjustable);
    jacobian.allocate(pc.nobs + pc.nprior, pc.n_adjustable);
    for (int k = 1; k <= pc.npar; ++k) {
      kavro::par_rec& p = pc.pars[k];
      p.at_upper = p.value >= p.upper_bound ? 1 : 0;
      p.at_lower = p.value <= p.lower_bound ? 1 : 0;
    }
  }
  // A run of the current values into `simulated`; its result.
  int base_run() {
    testing::internal::CaptureStdout();
    const int rc = kavro::lm_run_model(pc, 0, "-slm", instruction_files);
    console = testing::internal::GetCapturedStdout();
    return rc;
  }
  // The Jacobian by runs; its result, the console in `console`.
  int jacobian_runs(int iteration = 1, int central_switch = 0) {
    testing::internal::CaptureStdout();
    const int rc = kavro::lm_jacobian_runs(pc, adjustable, jacobian, model_calls, central_switch,
                                           instruction_files, iteration, cyclic_cursor, "-slm");
    console = testing::internal::GetCapturedStdout();
    return rc;
  }

  std::shared_ptr<tool_stand_in> model;
  kavro::run_plan plan;
  kavro::pest_control pc;
  kavro::pest_file_handles instruction_files;
  kavro::ivec adjustable{"adjustable"};
  kavro::dmat jacobian{"jacobian"};
  int model_calls = 0;
  int cyclic_cursor = 0;
  std::string console;
};

}  // namespace kavro_test
