// The grid mapping table with the index maps it names, on the 3 x 4 grid of
// 10 m of tests/data/map_table: the table check and the readers of the
// roughness, retention, Green-Ampt and soil-moisture tables. The input is
// the table, then "\n%%%\n" and the index maps rough.idx, a.idx and b.idx.
#include "fuzz_support.h"
#include "input/map_table_check.h"
#include "input/map_table_format.h"
#include "input/map_table_reader.h"

namespace {

constexpr const char* map_names[] = {"t.cmt", "rough.idx", "a.idx", "b.idx"};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kavro_fuzz::silence_console();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> parts = kavro_fuzz::split_parts(data, size);
  for (std::size_t k = 0; k < std::size(map_names); ++k)
    kavro_fuzz::write_named(map_names[k], k < parts.size() ? parts[k] : std::string_view());
  auto ms = kavro_fuzz::small_grid(3, 4, 10.0);
  ms->mapping_table_on = 1;
  ms->mapping_table_path = "t.cmt";
  kavro::dvec* columns[7] = {&ms->dist_rough, &ms->retent_dep, &ms->conductivity, &ms->capillary, &ms->porosity,
                             &ms->pore_index, &ms->init_moisture};
  for (kavro::dvec* v : columns) v->allocate(ms->n_cells);
  kavro_fuzz::as_the_driver_runs([&] {
    kavro::check_map_table("t.cmt", ms->map_table_present, 0, 1);
    kavro::index_map_names("t.cmt");
    for (int code : {1, 3, 4, 5}) {
      kavro::error_rec = kavro::error_record{};
      if (code == 4)
        kavro::read_map_table(*ms, code, &ms->conductivity, &ms->capillary, &ms->porosity, &ms->pore_index,
                              &ms->init_moisture);
      else
        kavro::read_map_table(*ms, code, code == 1 ? &ms->dist_rough : code == 3 ? &ms->retent_dep : &ms->init_moisture);
    }
  });
  kavro::main_state_destroy(*ms);
  kavro_fuzz::reset_process_state();
  kavro::time_series_index_loaded = 0;
  return 0;
}
