// Small grids with pipe networks read from text, for the in-process tests
// of the superlink and drain networks.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "channel/channel_steps.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "test_support.h"

namespace kavro_test {

// A grid of rows x cols cells of size dx; `mask` (row by row, 1 active)
// numbers the active cells, `ground` gives every cell's ground elevation.
inline std::unique_ptr<kavro::main_state> pipe_grid(int rows, int cols, double dx, const std::vector<int>& mask,
                                                    const std::vector<double>& ground) {
  auto ms = std::make_unique<kavro::main_state>();
  ms->rows = rows;
  ms->cols = cols;
  ms->dx = dx;
  ms->quiet_on = 1;
  ms->mask.allocate(rows + 1, cols + 1);
  int n = 0;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c)
      if (mask[static_cast<size_t>((r - 1) * cols + c - 1)]) ms->mask[r][c] = ++n;
  ms->n_cells = n;
  ms->ov_depth.allocate(n);
  ms->elevation.allocate(n);
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c)
      if (ms->mask[r][c]) ms->elevation[ms->mask[r][c]] = ground[static_cast<size_t>((r - 1) * cols + c - 1)];
  ms->time_tol = 1.1574074074074074e-7;
  kavro::error_rec = kavro::error_record{};
  return ms;
}

// Runs `f` with the working folder set to `dir`, where the set-up writes
// its flow log.
template <class F>
void inside(const scratch_dir& dir, F f) {
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  f();
  std::filesystem::current_path(old);
}

// Reads `pipes` as the run's superlink file and joins its outlets; the
// error code left by the set-up (0 when it succeeded).
inline int load_superlink(kavro::main_state& ms, const scratch_dir& dir, const std::string& pipes) {
  write_file(dir / "pipes.txt", pipes);
  ms.storm_sewer_on = 1;
  ms.storm_sewer_path = (dir / "pipes.txt").string();
  inside(dir, [&] {
    kavro::setup_superlink(ms);
    if (kavro::error_rec.code == 0) kavro::connect_superlink_outlets(ms);
  });
  return kavro::error_rec.code;
}

// The same for the drain file.
inline int load_drains(kavro::main_state& ms, const scratch_dir& dir, const std::string& drains) {
  write_file(dir / "drains.txt", drains);
  ms.storm_drain_on = 1;
  ms.storm_drain_path = (dir / "drains.txt").string();
  inside(dir, [&] {
    kavro::setup_drain_network(ms);
    if (kavro::error_rec.code == 0) kavro::connect_drain_outlets(ms);
  });
  return kavro::error_rec.code;
}

}  // namespace kavro_test
