// The owning file class through which every file of a run is opened, and the
// rule that turns a name from a card into the path actually opened.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace kavro {

// Owns one C stream. Movable (the stream goes with the move), not copyable.
class file_wrapper {
 public:
  file_wrapper() = default;
  ~file_wrapper();
  file_wrapper(const file_wrapper&) = delete;
  file_wrapper& operator=(const file_wrapper&) = delete;
  file_wrapper(file_wrapper&& other) noexcept;
  file_wrapper& operator=(file_wrapper&& other) noexcept;

  // Opens `file_name` (resolved through resolve_file_name) in `mode`, whose
  // first character must be r, w or a; true when open. A stream still open is
  // reported and closed first. A name opened for reading that is not a
  // regular file (a device, a pipe, a folder) is refused with a message.
  bool open(std::string file_name, std::string_view mode);
  // Closes the stream when one is open and empties the wrapper; harmless twice.
  void close();
  bool is_open() const { return fp != nullptr; }

  std::FILE* fp = nullptr;        // the open stream; null when closed
  std::FILE* fp_check = nullptr;  // check copy of fp; a difference is reported as corruption
  std::string name;               // resolved path that was opened; empty when closed
  std::string mode;               // mode text given to open; empty when closed

 private:
  void take(file_wrapper& other) noexcept;
};

// Process-wide file-name state; it stays set from run to run.
extern std::string project_folder;  // empty, or the project folder ending in '/'
extern std::string output_folder;   // empty, or the output folder ending in '/'
extern int output_folder_set;       // 1 once an output folder has been set
extern int run_prefix_on;           // 1: files written get the run-number prefix
extern int run_number;              // number of that prefix (batch run index)

// The path with every '\' turned into '/': both separators are accepted in input files.
std::string normalize_separators(std::string_view path);

// Sets project_folder from `folder`, with '/' separators and a trailing '/'.
void set_project_folder(std::string_view folder);
// Sets output_folder likewise and output_folder_set = 1; an empty text clears it.
void set_output_folder(std::string_view folder);

// The path to open for `name` in `mode` (empty for an empty name).
//   One pair of double quotes is stripped and '\' separators become '/'.
//   Writing or appending with run_prefix_on set names the file
//   "NNNN_file" with run_number, on the last path component only.
//   An absolute name is used as it stands. Otherwise candidates are probed
//   by opening them in `mode` (a probe for writing creates the file):
//     write: output folder + name (when one is set), the plain name, project folder + name;
//     read:  the plain name, output folder + name, project folder + name.
//   The output folder is project folder + output_folder unless it is absolute
//   or already starts with the project folder; on a write request it (and the
//   folder part of the name inside it) is created when missing. The working
//   folder of the process is never changed.
// When no candidate opens, "Error getting new filename from ..." is printed
// and the last candidate is returned.
std::string resolve_file_name(std::string name, std::string_view mode);
// The path resolve_file_name would give for `name` in `mode`, found without
// opening, creating or truncating anything: for reading the first candidate
// that exists (the last one when none does), for writing the first candidate.
std::string expected_file_name(std::string name, std::string_view mode);
// The folders in which an input `name` is looked for, as a message names
// them: "the folder kavro was started from (/x) and the project folder y/".
std::string folders_searched(const std::string& name);

}  // namespace kavro
