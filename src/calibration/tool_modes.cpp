#include "calibration/tool_modes.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "calibration/calibration_entries.h"
#include "calibration/lm_driver.h"

namespace kavro {

namespace {

constexpr std::string_view slm_banner =
    "\nUsing the (Secant) Levenberg-Marquardt local search method,\n"
    "as implemented directly in KAVRO, to calibrate the current KAVRO model.\n";

constexpr std::string_view slm_prediction_message =
    "\n"
    "Currently, slm_dwo does not support prediction capabilities similar to that within the PEST.\n"
    "Please change the MODE parameter in the control\n"
    "file to 'estimation' or 'regularization' and recommence execution of slm_dwo.\n"
    "\n";

void print_text(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

// Every parameter's start value inside its bounds (a bound itself passes);
// false after a line per parameter outside and the closing line.
bool start_values_inside(const pest_control& pc) {
  bool inside = true;
  for (int k = 1; k <= pc.npar; ++k) {
    const par_rec& p = pc.pars[k];
    if (p.value >= p.lower_bound && p.value <= p.upper_bound) continue;
    std::printf("\nThe intial value for the following parameter is outside of its specified bounds: %s",
                p.name.c_str());
    inside = false;
  }
  if (!inside) std::printf("\nModify the input control file and try again.\n");
  return inside;
}

bool open_case_file(case_file& f, const std::string& name, const char* mode) {
  f.reset(std::fopen(name.c_str(), mode));
  if (f) return true;
  std::printf("Error: cannot open the case file %s.\n", name.c_str());
  return false;
}

}  // namespace

int tool_common_start(int argc, char** argv, std::string_view banner, std::string_view prediction_message,
                      const run_plan* plan, tool_case& tc) {
  print_text(banner);
  pest_control& pc = tc.pc;
  pc.model_plan = plan;
  if (const int rc = pest_read_control(pc, argc, argv)) return rc;
  if (const int rc = pest_open_templates(pc, tc.template_files)) return rc;
  if (const int rc = pest_read_templates(pc, tc.template_files)) return rc;
  if (const int rc = pest_open_instructions(pc, tc.instruction_files)) return rc;
  std::remove("pest.stp");
  if (pc.pestmode == "prediction") {
    print_text(prediction_message);
    return 1;
  }
  pest_classify_parameters(pc);
  if (pc.n_adjustable == 0) {
    std::printf("\n");
    std::printf("\n");
    std::printf("The number of adjustable model parameters is zero. \n");
    std::printf("Modify the input control file and try again. \n");
    std::printf("\n");
    std::printf("\n");
    return 1;
  }
  if (!start_values_inside(pc)) return 1;
  pest_tied_ratios(pc);
  if (const int rc = FilesNamesForWrite(argv[2], tc.names)) return rc;
  const bool resume = argc >= 4 && std::strcmp(argv[3], "/r") == 0;
  if (!open_case_file(tc.rec, tc.names.rec_name, resume ? "a" : "w")) return 1;
  if (!open_case_file(tc.sen, tc.names.sen_name, resume ? "a" : "w")) return 1;
  if (!open_case_file(tc.mtt, tc.names.mtt_name, "w")) return 1;
  if (!open_case_file(tc.par, tc.names.par_name, "w")) return 1;
  return 0;
}

int run_slm(int argc, char** argv, const run_plan* plan) {
  try {
    tool_case tc;
    if (const int rc = tool_common_start(argc, argv, slm_banner, slm_prediction_message, plan, tc)) return rc;
    lm_record_header(argv[2], tc.pc, tc.rec.get());
    // Only an estimation searches; the regularisation modes leave the
    // record file with its header.
    if (tc.pc.pestmode == "estimation") {
      const int rc = lm_optimise(argc, argv, tc.pc, tc.names, tc.rec.get(), tc.sen.get(), tc.mtt.get(),
                                 tc.par.get(), tc.template_files, tc.instruction_files);
      if (rc != 0) return rc;
    }
    pest_close_templates(tc.pc, tc.template_files);
    pest_close_instructions(tc.pc, tc.instruction_files);
    return 0;
  } catch (const std::bad_alloc&) {
    std::printf("Not enough memory to allocate buffer\n");
    return 1;
  }
}

}  // namespace kavro
