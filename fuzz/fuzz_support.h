// Shared by the fuzzing harnesses: the input as a file that lives in memory
// only, and the process-wide state that a reader leaves behind, cleared
// between inputs so that every input starts like a fresh run.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/main_state_lifecycle.h"
#include "framework/run_abort.h"
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

// An input that stands for several files: its parts are separated by a line
// "%%%" (the separator "\n%%%\n"). Part 0 is the main file; the others are
// the files it names.
inline std::vector<std::string_view> split_parts(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string_view> parts;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  constexpr std::string_view separator = "\n%%%\n";
  for (;;) {
    const std::size_t at = rest.find(separator);
    if (at == std::string_view::npos) break;
    parts.push_back(rest.substr(0, at + 1));
    rest.remove_prefix(at + separator.size());
  }
  parts.push_back(rest);
  return parts;
}

// Writes `bytes` to the file `name` of the working folder (the harness's own
// folder under build-fuzz/work), where the readers find it by name.
inline void write_named(const std::string& name, std::string_view bytes) {
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) return;
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// A run record of a grid of rows x cols cells of `dx` m, every cell active,
// numbered row by row, its header north 1030 and west 500, elevations
// falling 0.1 m per column, as the grid set-up would leave it.
inline std::unique_ptr<kavro::main_state> small_grid(int rows, int cols, double dx) {
  auto ms = std::make_unique<kavro::main_state>();
  ms->rows = ms->grid_rows = ms->map_rows = rows;
  ms->cols = ms->grid_cols = ms->map_cols = cols;
  ms->dx = dx;
  ms->map_north = 1030.0;
  ms->map_south = 1030.0 - rows * dx;
  ms->map_west = 500.0;
  ms->map_east = 500.0 + cols * dx;
  ms->mask.allocate(rows + 1, cols + 1);
  ms->n_cells = rows * cols;
  ms->elevation.allocate(ms->n_cells);
  ms->cell_row.grow(ms->n_cells);
  ms->cell_col.grow(ms->n_cells);
  int n = 0;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) {
      ms->mask[r][c] = ++n;
      ms->elevation[n] = 102.0 - 0.1 * c;
      ms->cell_row[n] = r;
      ms->cell_col[n] = c;
    }
  ms->quiet = 1;
  return ms;
}

// Runs a set-up step as the run driver runs it: memory that cannot be had
// and an aborted run end the step, as they end a run.
template <class step>
void as_the_driver_runs(step&& run) {
  try {
    run();
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  } catch (const kavro::run_aborted&) {
  }
}

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
