// The ASCII map reader in its integer and real modes on a 3 x 4 grid; the
// first byte of the input picks the mode.
#include "fuzz_support.h"
#include "input/ascii_map.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kavro_fuzz::silence_console();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  constexpr int modes[4] = {kavro::map_reals_a, kavro::map_integer_grid, kavro::map_reals_b, kavro::map_categories};
  const int mode = modes[data[0] % 4];
  kavro_fuzz::memory_file file(data + 1, size - 1);
  if (!file.ok()) return 0;
  kavro::imat grid{"grid"};
  grid.allocate(4, 5);
  const int cells[3][4] = {{0, 1, 2, 0}, {3, 4, 5, 6}, {0, 7, 8, 0}};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c) grid[r + 1][c + 1] = cells[r][c];
  kavro::dvec a{"a"}, b{"b"};
  a.allocate(8);
  b.allocate(8);
  kavro::ivec categories{"categories"};
  categories.allocate(8);
  kavro::file_wrapper f;
  if (f.open(file.path(), "r")) {
    double north = 0, south = 0, east = 0, west = 0;
    int rows = 0, cols = 0;
    kavro::peek_ascii_map_header(f, north, south, east, west, rows, cols);
    kavro::read_ascii_map(f, "fuzz.asc", mode, north, south, east, west, rows, cols, grid, &a, &b, &categories, 3, 4,
                          1);
  }
  f.close();
  kavro_fuzz::reset_process_state();
  return 0;
}
