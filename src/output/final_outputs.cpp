// Files completed at the end of a run: the maximum flood map and stream
// stages, the end markers of the run's map datasets, so that a viewer reads
// every dataset to its end, and the hotstarts and other end-of-run files.
#include <array>
#include <cstdio>

#include "framework/main_state.h"
#include "output/final_summary.h"
#include "output/hotstart_files.h"
#include "output/map_datasets.h"
#include "output/map_writers.h"

namespace kavro {

namespace {

// The run's datasets that end here, in the order they are ended.
constexpr std::array<int, 9> water_datasets = {0, 1, 6, 2, 12, 13, 3, 4, 5};
constexpr std::array<int, 3> sediment_datasets = {8, 7, 9};

void end_dataset(main_state& ms, int kind) {
  file_wrapper& f = map_dataset_file(ms, kind);
  if (f.is_open()) write_dataset_end(f.fp, ms.map_dataset_binary != 0);
  f.close();
}

// The deepest water of every cell over the run: one grid file (or
// "maxdep_failsafe.asc" when its name cannot be created), or the last frame
// of the flood-grid dataset.
void write_flood_grid(main_state& ms) {
  const grid_frame g = run_grid_frame(ms);
  if (ms.map_grid_files) {
    file_wrapper out;
    if (!out.open(ms.flood_grid_path, "w") && !out.open("maxdep_failsafe.asc", "w")) return;
    write_esri_ascii_grid(out.fp, g, ms.flood_depth_max, ms.map_row_buffer);
    return;
  }
  file_wrapper& f = map_dataset_file(ms, 11);
  if (!f.is_open()) return;
  write_dataset_frame(f.fp, ms.elapsed_min, g, ms.flood_depth_max, ms.map_dataset_binary != 0, ms.map_row_buffer);
  end_dataset(ms, 11);
}

// The highest water surface every channel node reached over the run, as
// one step of the flood-stream link/node file (lakes at their level).
void write_flood_stream(main_state& ms) {
  if (ms.yp_max_flood.empty()) return;
  write_linknode_step(ms.flood_stream_file, ms.LINKS, ms.nx1, &ms.og_nx1, ms.ltype, 1, ms.yp_max_flood, nullptr, 0,
                      ms.lake2link, ms.lake_elev);
}

}  // namespace

void write_final_outputs(main_state& ms) {
  if (ms.flood_grid_on) write_flood_grid(ms);
  if (ms.flood_stream_on) write_flood_stream(ms);
  if (!ms.chan_drain_init_on && ms.map_dataset_mode) {
    for (int kind : water_datasets)
      if (map_dataset_on(ms, kind)) end_dataset(ms, kind);
    if (ms.sed_control.erosion_on)
      for (int kind : sediment_datasets)
        if (map_dataset_on(ms, kind)) end_dataset(ms, kind);
    if (map_dataset_on(ms, 10)) end_dataset(ms, 10);
  }
  write_end_of_run_files(ms);
  // Snow datasets (the snow depth has no dataset of its own).
  if (ms.project_params.use_snow_temp) ms.snow_temp_map_writer.close();
  if (ms.project_params.use_snow_swe_file && ms.map_dataset_mode) end_dataset(ms, 14);
}

}  // namespace kavro
