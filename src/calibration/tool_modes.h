// The modes of the calibration tool ("-slm", "-ms", "-tr", "-mlsl") and the
// start they share: the control file read and checked, its template and
// instruction files opened, the parameters validated and the case files
// opened.
#pragma once

#include <cstdio>
#include <memory>
#include <string_view>

#include "calibration/case_record.h"
#include "calibration/pest_control.h"
#include "calibration/template_instruction_files.h"

namespace kavro {

struct run_plan;

struct file_closer {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using case_file = std::unique_ptr<std::FILE, file_closer>;

// What a mode owns for its whole life.
struct tool_case {
  pest_control pc;
  pest_file_handles template_files;
  pest_file_handles instruction_files;
  output_file_names names;
  case_file rec;  // the record file
  case_file sen;  // parameter sensitivities
  case_file mtt;  // created empty
  case_file par;  // parameter values
};

// The start every mode shares: prints `banner`, reads the control file
// argv[2] (its model runs follow `plan`, the system's own run when null),
// opens and checks the template and instruction files, deletes a stop file
// left by an earlier run, refuses a prediction-mode file with
// `prediction_message`, a file without an adjustable parameter and start
// values outside their bounds, and opens the case files (the record and
// sensitivity files appended to when argv[3] is "/r"). 0 when the mode can
// go on, otherwise the mode's result (1): nothing has run and no case file
// was created.
int tool_common_start(int argc, char** argv, std::string_view banner, std::string_view prediction_message,
                      const run_plan* plan, tool_case& tc);

}  // namespace kavro
