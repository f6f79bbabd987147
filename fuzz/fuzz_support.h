// Shared by the fuzzing harnesses: the input as a file that lives in memory
// only, and the process-wide state that a reader leaves behind, cleared
// between inputs so that every input starts like a fresh run.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/readers.h"
#include "framework/replace_pairs.h"
#include "framework/run_globals.h"
#include "input/elev_series.h"
#include "input/time_series.h"

namespace kavro_fuzz {

// An anonymous in-memory file holding the bytes; readers open it by path.
class memory_file {
 public:
  memory_file(const std::uint8_t* data, std::size_t size) : fd_(memfd_create("kavro-fuzz", 0)) {
    if (fd_ >= 0 && size > 0 && ::write(fd_, data, size) != static_cast<ssize_t>(size)) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~memory_file() {
    if (fd_ >= 0) ::close(fd_);
  }
  memory_file(const memory_file&) = delete;
  memory_file& operator=(const memory_file&) = delete;
  bool ok() const { return fd_ >= 0; }
  std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

 private:
  int fd_;
};

// The messages of the readers are not what a fuzzer looks at.
inline void silence_console() { (void)std::freopen("/dev/null", "w", stdout); }

inline void reset_process_state() {
  kavro::error_rec = kavro::error_record{};
  kavro::replace_on = 0;
  kavro::replace_line = 0;
  kavro::replace_count = 0;
  kavro::free_replace_pairs();
  kavro::free_time_series_list();
  kavro::free_elev_series_list();
  kavro::project_folder.clear();
  kavro::output_folder.clear();
  kavro::output_folder_set = 0;
  kavro::run_prefix_on = 0;
  kavro::pause_flag = 0;
  kavro::super_quiet = 0;
  kavro::q7_inflow_file.close();
}

}  // namespace kavro_fuzz
