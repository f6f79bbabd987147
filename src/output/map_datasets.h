// Start-up of the map datasets of a run and the lookups the map steps share.
#pragma once

#include <string>
#include <string_view>

#include "output/map_writers.h"

namespace kavro {

struct main_state;

// Card RATE_OF_INFIL with an infiltration method chosen.
bool infiltration_rate_maps_on(const main_state& ms);
// The run's mask, map edges, grid rows and columns and cell size.
grid_frame run_grid_frame(const main_state& ms);
// The dataset file of map kind `index` (0..14) and whether its card asks for it.
file_wrapper& map_dataset_file(main_state& ms, int index);
bool map_dataset_on(const main_state& ms, int index);

// Creates `path` with the header of the run's dataset style: binary, ASCII,
// or nothing for grid files. False (error 59 set) when it cannot be created.
bool open_dataset_file(int id, const std::string& path, std::string_view name, file_wrapper& file, main_state& ms);
// Creates the dataset of map kind `index` from its card's file name.
bool open_map_dataset(int index, main_state& ms);

}  // namespace kavro
