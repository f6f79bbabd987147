#include "framework/run_warnings.h"

#include <cstdio>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"

namespace kavro {

run_warning_list* current_warnings = nullptr;

void note_warning(std::string_view text) {
  if (!current_warnings) return;
  // Leading blank lines and trailing line ends belong to the console layout.
  std::size_t first = 0, last = text.size();
  while (first < last && (text[first] == '\n' || text[first] == '\r')) ++first;
  while (last > first && (text[last - 1] == '\n' || text[last - 1] == '\r' || text[last - 1] == ' ')) --last;
  if (first == last) return;
#pragma omp critical(kavro_run_warnings)
  current_warnings->texts.emplace_back(text.substr(first, last - first));
}

void warn(std::string_view text, file_wrapper* log) {
#pragma omp critical(kavro_run_warnings_print)
  print_and_log(log, text);
  note_warning(text);
}

bool list_new_warnings(std::FILE* f, run_warning_list& list) {
  const std::size_t n = list.texts.size();
  bool any = false;
  for (std::size_t i = list.n_listed; i < n; ++i) {
    bool seen = false;
    for (std::size_t j = list.n_listed; j < i && !seen; ++j) seen = list.texts[j] == list.texts[i];
    if (seen) continue;
    int count = 1;
    for (std::size_t j = i + 1; j < n; ++j) count += list.texts[j] == list.texts[i] ? 1 : 0;
    std::fprintf(f, "-%s\n", list.texts[i].c_str());
    if (count > 1) std::fprintf(f, " (given %d times)\n", count);
    any = true;
  }
  list.n_listed = n;
  return any;
}

}  // namespace kavro
