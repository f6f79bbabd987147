// Shared by the grid set-up tests: a fresh run record whose output folder is
// a scratch folder, and grids numbered in memory.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "card_test_support.h"
#include "framework/main_state.h"
#include "test_support.h"

namespace kavro_test {

// A new record of a 3 x 4 grid of 10 m cells with the header of the example
// mask (north 1030, south 1000, east 540, west 500); maps written go to
// scratch().
class grid_test : public process_state_test {
 public:
  void SetUp() override;
  void TearDown() override;

  kavro::main_state& ms() { return *ms_; }
  const scratch_dir& scratch() const { return dir_; }
  // Opens `path` for reading in `slot` and stores its name in `name`.
  void open_input(kavro::file_wrapper& slot, std::string& name, const std::filesystem::path& path);

 private:
  std::unique_ptr<kavro::main_state> ms_;
  scratch_dir dir_;
};

// Allocates the cell-number grid of `pattern` (one text per row, '1' for an
// active cell) with its ring of zeros and numbers the cells row by row;
// sets rows, cols and n_cells.
void number_grid(kavro::main_state& ms, const std::vector<std::string>& pattern);

// The lines that `fn` printed on the console.
template <class F>
std::string console_of(F&& fn) {
  testing::internal::CaptureStdout();
  fn();
  return testing::internal::GetCapturedStdout();
}

}  // namespace kavro_test
