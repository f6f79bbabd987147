// The precipitation file with the radar grids it names, on a 3 x 4 grid of
// 10 m: every event read and turned into rates, each radar grid mapped onto
// the cells and read. The input is the precipitation file, then "\n%%%\n"
// and the grids r1.asc, r2.asc and r3.asc.
#include "fuzz_support.h"
#include "overland/precip_file.h"
#include "overland/radar_rain.h"

namespace {

constexpr const char* file_names[] = {"rain.dat", "r1.asc", "r2.asc", "r3.asc"};
constexpr int max_events = 20;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kavro_fuzz::silence_console();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> parts = kavro_fuzz::split_parts(data, size);
  for (std::size_t k = 0; k < std::size(file_names); ++k)
    kavro_fuzz::write_named(file_names[k], k < parts.size() ? parts[k] : std::string_view());
  auto ms = kavro_fuzz::small_grid(3, 4, 10.0);
  kavro::radar_grid& rg = ms->radar;
  rg.model_cols = ms->grid_cols;
  rg.model_rows = ms->grid_rows;
  rg.model_west = ms->map_west;
  rg.model_north = ms->map_north;
  rg.radar_dx = ms->dx;
  rg.radar_n_cells = ms->n_cells;
  ms->rain_rate.allocate(ms->n_cells);
  rg.radar_rain_dest = &ms->rain_rate;
  kavro_fuzz::as_the_driver_runs([&] {
    kavro::radar_grid_names("rain.dat");
    kavro::file_wrapper f;
    if (!f.open("rain.dat", "r")) return;
    kavro::precipitation_block& pb = *ms;
    std::string title;
    for (int event = 1; event <= max_events; ++event) {
      kavro::error_rec = kavro::error_record{};
      if (kavro::read_precip_event(f, pb, title) != kavro::precip_event_read) break;
      if (!kavro::convert_gauge_values(pb, event)) break;
      if (pb.radar_mode != 2) continue;
      kavro::map_cells_to_radar(pb.radar_files.front(), rg, ms->mask);
      if (kavro::error_rec.code != 0) break;
      for (const std::string& grid : pb.radar_files) {
        if (kavro::read_radar_grid(grid, rg, event % 2) != 0 || !kavro::apply_radar_grid(rg)) break;
      }
    }
  });
  kavro::main_state_destroy(*ms);
  kavro_fuzz::reset_process_state();
  return 0;
}
