// The time-series and elevation-series readers, and a lookup in every series
// read; the first byte picks the kind and the lookup point.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kavro_fuzz::silence_console();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  kavro_fuzz::memory_file file(data + 1, size - 1);
  if (!file.ok()) return 0;
  const double x = static_cast<double>(data[0]) - 100.0;
  if (data[0] % 2 == 0) {
    kavro::read_time_series_file(file.path());
    for (const auto& s : kavro::time_series_list) {
      kavro::time_series_value(x, s.get());
    }
  } else {
    kavro::read_elev_series_file(file.path());
    for (const auto& s : kavro::elev_series_list) {
      kavro::elev_series_interp(x, s.get());
      kavro::elev_series_step(x, s.get());
    }
  }
  kavro_fuzz::reset_process_state();
  return 0;
}
