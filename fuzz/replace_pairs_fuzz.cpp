// The replacement-pair readers: a parameter-list file, a value file and a
// line to expand, separated in the input by NUL bytes; the first byte picks
// the value line.
#include <algorithm>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kavro_fuzz::silence_console();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t* end = data + size;
  const std::uint8_t* list_begin = data + 1;
  const std::uint8_t* list_end = std::find(list_begin, end, 0);
  const std::uint8_t* values_begin = list_end == end ? end : list_end + 1;
  const std::uint8_t* values_end = std::find(values_begin, end, 0);
  const std::uint8_t* line_begin = values_end == end ? end : values_end + 1;
  kavro_fuzz::memory_file list(list_begin, static_cast<std::size_t>(list_end - list_begin));
  kavro_fuzz::memory_file values(values_begin, static_cast<std::size_t>(values_end - values_begin));
  if (!list.ok() || !values.ok()) return 0;
  kavro::replace_line = data[0] % 4;
  if (kavro::read_replace_params(list.path()) == 0 && kavro::read_replace_values(values.path()) == 0) {
    std::string line(reinterpret_cast<const char*>(line_begin), static_cast<std::size_t>(end - line_begin));
    kavro::apply_replace_pairs(line);
  }
  kavro_fuzz::reset_process_state();
  return 0;
}
