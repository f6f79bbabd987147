// The warnings of a run: each is printed on the console when it is given and
// listed again in the run summary, so that a run that went on after a
// warning says so where its results are read.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kavro {

class file_wrapper;

struct run_warning_list {
  std::vector<std::string> texts;  // every warning given, as printed
  std::size_t n_listed = 0;        // warnings already listed in a summary
};

// The list of the run in progress; null between runs (set by the run driver).
extern run_warning_list* current_warnings;

// Prints `text` on the console (and into `log` when it is open) and keeps it
// for the summary of the run. Safe to call from inside a parallel loop.
void warn(std::string_view text, file_wrapper* log = nullptr);

// Keeps `text`, already printed, for the summary of the run.
void note_warning(std::string_view text);

// Writes the warnings given since the last listing, one per paragraph (a
// text given several times once, with its count); false when there were none.
bool list_new_warnings(std::FILE* f, run_warning_list& list);

}  // namespace kavro
