#include "grid_test_support.h"

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/main_state_lifecycle.h"

namespace kavro_test {

void grid_test::SetUp() {
  process_state_test::SetUp();
  ms_ = std::make_unique<kavro::main_state>();
  ms_->rows = 3;
  ms_->cols = 4;
  ms_->dx = 10.0;
  // The header the example mask leaves for every later map to agree with.
  ms_->map_north = 1030.0;
  ms_->map_south = 1000.0;
  ms_->map_east = 540.0;
  ms_->map_west = 500.0;
  ms_->map_rows = 3;
  ms_->map_cols = 4;
  kavro::set_output_folder(dir_.path().string());
}

void grid_test::TearDown() {
  kavro::main_state_destroy(*ms_);
  ms_.reset();
  kavro::set_output_folder("");
  kavro::run_log_file = nullptr;
  process_state_test::TearDown();
}

void grid_test::open_input(kavro::file_wrapper& slot, std::string& name, const std::filesystem::path& path) {
  name = path.string();
  ASSERT_TRUE(slot.open(name, "r")) << name;
}

void number_grid(kavro::main_state& ms, const std::vector<std::string>& pattern) {
  ms.rows = static_cast<int>(pattern.size());
  ms.cols = pattern.empty() ? 0 : static_cast<int>(pattern.front().size());
  ms.mask.allocate(ms.rows + 1, ms.cols + 1);
  int n = 0;
  for (int r = 1; r <= ms.rows; ++r)
    for (int c = 1; c <= ms.cols; ++c)
      if (pattern[static_cast<size_t>(r - 1)][static_cast<size_t>(c - 1)] == '1') ms.mask[r][c] = ++n;
  ms.n_cells = n;
}

}  // namespace kavro_test
