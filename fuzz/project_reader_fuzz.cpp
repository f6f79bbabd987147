// The project reader with every card handler and the checks that follow the
// reading: the card values, the run-control values and the file-name clashes.
#include <memory>

#include "framework/main_state.h"
#include "framework/main_state_lifecycle.h"
#include "fuzz_support.h"
#include "input/project_settings.h"
#include "input/run_control_checks.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kavro_fuzz::silence_console();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kavro_fuzz::memory_file file(data, size);
  if (!file.ok()) return 0;
  auto ms = std::make_unique<kavro::main_state>();
  ms->project_path = file.path();
  kavro::read_project(ms->project_path, *ms);
  if (!kavro::error_rec.stop && kavro::error_rec.code == 0) kavro::check_run_control_values(*ms);
  kavro::main_state_destroy(*ms);
  kavro_fuzz::reset_process_state();
  return 0;
}
