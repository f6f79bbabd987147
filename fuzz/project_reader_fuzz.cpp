// The project reader with every card handler: the card actions, the checks
// of card values made while the file is read, and the reading of the files
// that cards load at once (series, replacement pairs).
#include "fuzz_support.h"
#include "input/project_reader.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kavro_fuzz::silence_console();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kavro_fuzz::memory_file file(data, size);
  if (!file.ok()) return 0;
  kavro::project_params_record project;
  kavro::run_params_record run;
  kavro::rain_params_record rain;
  kavro::read_project_cards(file.path(), project, run, rain, 0);
  kavro_fuzz::reset_process_state();
  return 0;
}
