// The owning file class through which every file of a run is opened.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace kavro {

// While set, files opened for writing or appending get the "%04d_" prefix
// of run_number.
extern int run_prefix_on;
extern int run_number;

class file_wrapper {
 public:
  file_wrapper() = default;
  ~file_wrapper();
  file_wrapper(const file_wrapper&) = delete;
  file_wrapper& operator=(const file_wrapper&) = delete;

  // Opens `file_name` (resolved through resolve_file_name) in `mode`; true when open.
  bool open(std::string file_name, std::string_view mode);
  void close();
  bool is_open() const { return fp != nullptr; }

  std::FILE* fp = nullptr;        // the open stream; null when closed
  std::FILE* fp_check = nullptr;  // check copy of fp
  std::string name;               // resolved path that was opened
  std::string mode;               // mode text given to open
};

}  // namespace kavro
