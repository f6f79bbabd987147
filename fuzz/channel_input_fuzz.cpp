// The channel input file through the channel set-up of a 3 x 5 grid of 10 m:
// counts, topology, sections, breakpoint tables, structures, lakes.
#include "channel/channel_steps.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kavro_fuzz::silence_console();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kavro_fuzz::write_named("chan.txt", std::string_view(reinterpret_cast<const char*>(data), size));
  auto ms = kavro_fuzz::small_grid(3, 5, 10.0);
  ms->channel_on = 1;
  ms->channel_input_path = "chan.txt";
  if (ms->channel_input_file.open("chan.txt", "r")) kavro_fuzz::as_the_driver_runs([&] { kavro::setup_channel(*ms); });
  kavro::main_state_destroy(*ms);
  kavro_fuzz::reset_process_state();
  return 0;
}
