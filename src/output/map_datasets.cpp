// The map datasets of a run: the fifteen datasets of the run's own maps, the
// snow temperature writer and the contaminant map writers, created at
// start-up; the writer class that owns one gridded output series.
#include "output/map_datasets.h"

#include <array>
#include <cstdio>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "output/output_steps.h"

namespace kavro {

namespace {

const std::string no_path;

// A dataset id, name and card of the run's own maps; `file` gives its
// wrapper, `path` the card's file name.
struct map_dataset_row {
  int index;
  int id;
  std::string_view name;
  bool (*condition)(const main_state&);
  file_wrapper& (*file)(main_state&);
  const std::string& (*path)(const main_state&);
};

const std::array<map_dataset_row, 15> map_dataset_names = {{
    {0, 1010, "depth", [](const main_state& m) { return m.depth_map_on != 0; },
     [](main_state& m) -> file_wrapper& { return m.fs_map_dataset_0; },
     [](const main_state& m) -> const std::string& { return m.project_params.depth; }},
    {1, 1011, "discharge", [](const main_state& m) { return m.discharge_map_on != 0; },
     [](main_state& m) -> file_wrapper& { return m.fs_map_dataset_1; },
     [](const main_state& m) -> const std::string& { return m.project_params.discharge; }},
    {2, 1012, "rain", [](const main_state& m) { return m.dis_rain_map_on != 0; },
     [](main_state& m) -> file_wrapper& { return m.fs_map_dataset_2; },
     [](const main_state& m) -> const std::string& { return m.project_params.dis_rain; }},
    {3, 1013, "infiltrated_depth", [](const main_state& m) { return m.inf_depth_map_on != 0; },
     [](main_state& m) -> file_wrapper& { return m.fs_map_dataset_3; },
     [](const main_state& m) -> const std::string& { return m.project_params.inf_depth; }},
    {4, 1014, "infiltration_rate", [](const main_state& m) { return infiltration_rate_maps_on(m); },
     [](main_state& m) -> file_wrapper& { return m.fs_map_dataset_4; },
     [](const main_state& m) -> const std::string& { return m.project_params.rate_of_infil; }},
    {5, 1015, "surface_moisture", [](const main_state& m) { return m.surf_moist_map_on != 0; },
     [](main_state& m) -> file_wrapper& { return m.fs_map_dataset_5; },
     [](const main_state& m) -> const std::string& { return m.project_params.surf_moist; }},
    {6, 1016, "groundwater_head", [](const main_state& m) { return m.gw_output_on != 0; },
     [](main_state& m) -> file_wrapper& { return m.fs_map_dataset_6; },
     [](const main_state& m) -> const std::string& { return m.project_params.gw_output; }},
    {7, 1017, "sediment_flux",
     [](const main_state& m) { return m.sed_control.erosion_on != 0 && m.sed_control.max_sed_flux_on != 0; },
     [](main_state& m) -> file_wrapper& { return m.sed_control.max_sed_flux_file; },
     [](const main_state& m) -> const std::string& { return m.sed_control.max_sed_flux_path; }},
    {8, 1018, "sediment_volume",
     [](const main_state& m) { return m.sed_control.erosion_on != 0 && m.sed_control.net_sed_volume_on != 0; },
     [](main_state& m) -> file_wrapper& { return m.sed_control.net_sed_volume_file; },
     [](const main_state& m) -> const std::string& { return m.sed_control.net_sed_volume_path; }},
    {9, 1019, "suspended_sediment_conc",
     [](const main_state& m) { return m.sed_control.erosion_on != 0 && m.sed_control.vol_sed_susp_on != 0; },
     [](main_state& m) -> file_wrapper& { return m.sed_control.vol_sed_susp_file; },
     [](const main_state& m) -> const std::string& { return m.sed_control.vol_sed_susp_path; }},
    {10, 1020, "contaminant_conc", [](const main_state& m) { return m.ov_contam_on != 0 && m.ov_con_map_on != 0; },
     [](main_state& m) -> file_wrapper& { return m.fs_map_dataset_10; },
     [](const main_state& m) -> const std::string& { return m.project_params.ov_con_map; }},
    {11, 1021, "flood_grid", [](const main_state& m) { return m.flood_grid_on != 0; },
     [](main_state& m) -> file_wrapper& { return m.fs_map_dataset_11; },
     [](const main_state& m) -> const std::string& { return m.flood_grid_path; }},
    {12, 1022, "gw_recharge_cum", [](const main_state& m) { return m.gw_recharge_cum_map_on != 0; },
     [](main_state& m) -> file_wrapper& { return m.fs_map_dataset_12; },
     [](const main_state& m) -> const std::string& { return m.project_params.gw_recharge_cum; }},
    {13, 1023, "gw_recharge_inc", [](const main_state& m) { return m.gw_recharge_inc_map_on != 0; },
     [](main_state& m) -> file_wrapper& { return m.fs_map_dataset_13; },
     [](const main_state& m) -> const std::string& { return m.project_params.gw_recharge_inc; }},
    {14, 1024, "snow_water_equivalent", [](const main_state& m) { return m.project_params.use_snow_swe_file != 0; },
     [](main_state& m) -> file_wrapper& { return m.fs_map_dataset_14; },
     [](const main_state& m) -> const std::string& { return m.project_params.snow_swe_file; }},
}};

// The order in which the datasets are created.
constexpr std::array<int, 15> opening_order = {0, 1, 2, 12, 13, 3, 4, 5, 6, 7, 8, 9, 10, 11, 14};

}  // namespace

bool infiltration_rate_maps_on(const main_state& ms) {
  return ms.rate_of_infil_map_on != 0 && ms.run_params.infil_method != 0;
}

int run_map_style(const main_state& ms) {
  if (ms.map_grid_files) return map_style_grid_files;
  return ms.map_dataset_binary ? map_style_binary : map_style_ascii;
}

grid_frame run_grid_frame(const main_state& ms) {
  return grid_frame{&ms.mask, ms.map_north, ms.map_south, ms.map_east, ms.map_west, ms.grid_rows, ms.grid_cols, ms.dx};
}

file_wrapper& map_dataset_file(main_state& ms, int index) { return map_dataset_names.at(static_cast<size_t>(index)).file(ms); }

bool map_dataset_on(const main_state& ms, int index) {
  return map_dataset_names.at(static_cast<size_t>(index)).condition(ms);
}

bool open_dataset_file(int id, const std::string& path, std::string_view name, file_wrapper& file, main_state& ms) {
  if (ms.map_dataset_binary) return write_binary_dataset_header(path, file, id, name, ms.grid_rows, ms.grid_cols);
  if (!ms.map_grid_files) return write_ascii_dataset_header(path, file, id, name, ms.grid_rows, ms.grid_cols);
  return true;
}

bool open_map_dataset(int index, main_state& ms) {
  const map_dataset_row& row = map_dataset_names.at(static_cast<size_t>(index));
  return open_dataset_file(row.id, row.path(ms), row.name, row.file(ms), ms);
}

void open_map_datasets(main_state& ms) {
  for (int index : opening_order) {
    // A failure sets error 59; the run stops after this step.
    if (map_dataset_names[static_cast<size_t>(index)].condition(ms) && !open_map_dataset(index, ms)) return;
  }
  if (ms.project_params.use_snow_temp) {
    map_dataset_writer& w = ms.snow_temp_map_writer;
    w.grid = run_grid_frame(ms);
    w.values = &ms.ATI_2;
    w.open(run_map_style(ms), ms.project_params.snow_temp, "", "", 1060, "Snow_Temperature");
  }
}

void open_contaminant_map_writers(main_state& ms) {
  long n = 0;
  for (long c = 1; c <= ms.n_constituents && c <= ms.constituent_type.size(); ++c)
    if (ms.constituent_type[c] == 1) ++n;
  if (n <= 0) return;
  ms.contam_map_writers.add_rows(n, 2);
  const int style = run_map_style(ms);
  long constituent = 0;  // the constituent index of contaminant c
  for (long c = 1; c <= n; ++c) {
    do ++constituent;
    while (ms.constituent_type[constituent] != 1);
    const std::string& base = c <= ms.contamoutputfilenames.size() ? ms.contamoutputfilenames[c] : no_path;
    const int id = static_cast<int>((c - 1) * ms.n_constituents);
    char tag[32];
    for (int k = 1; k <= 2; ++k) {
      map_dataset_writer& w = ms.contam_map_writers[c][k];
      w.grid = run_grid_frame(ms);
      // The surface-water concentration (g/m3) and mass (g) of the cells.
      w.value_rows = k == 1 ? &ms.ov_constituent_conc : &ms.ov_constituent_mass;
      w.value_row = constituent;
      std::snprintf(tag, sizeof tag, k == 1 ? "conc_%02ld" : "mass_%02ld", c);
      w.open(style, base, k == 1 ? ".conc" : ".mass", ".asc", id + (k == 1 ? 5000 : 5001), tag);
      if (error_rec.code != 0) return;
    }
  }
}

map_dataset_writer::~map_dataset_writer() { close(); }

void map_dataset_writer::open(int style_, std::string_view base, std::string_view ext, std::string_view suffix_,
                              int id, std::string_view tag_) {
  style = style_;
  base_name = base;
  extension = ext;
  suffix = suffix_;
  tag = tag_;
  const std::string path = base_name + extension;
  if (style == map_style_binary) write_binary_dataset_header(path, file, id, tag, grid.rows, grid.cols);
  else if (style == map_style_ascii) write_ascii_dataset_header(path, file, id, tag, grid.rows, grid.cols);
}

void map_dataset_writer::write_frame(double minutes) {
  if (grid.mask == nullptr) return;
  const double* row = values == nullptr && value_rows != nullptr ? value_rows->row(value_row) : nullptr;
  if (values == nullptr && row == nullptr) return;
  const cell_values cells = values != nullptr ? cell_values(*values) : cell_values(row, value_rows->cols());
  if (style == map_style_grid_files) {
    const std::string name = grid_frame_name(base_name, tag + extension, frame_counter, suffix);
    std::printf("opening file %s\n", name.c_str());
    file_wrapper out;
    if (!out.open(name, "w")) {
      std::printf("Can't open map for writing: %s\n", name.c_str());
      error_rec.code = already_printed_code;
      error_rec.stop = 1;
      return;
    }
    write_esri_ascii_grid(out.fp, grid, cells, buffer);
    ++frame_counter;
    return;
  }
  if (!file.is_open()) return;
  if (style == map_style_ascii || style == map_style_binary)
    write_dataset_frame(file.fp, minutes, grid, cells, style == map_style_binary, buffer);
}

void map_dataset_writer::close() {
  if (file.is_open() && (style == map_style_ascii || style == map_style_binary))
    write_dataset_end(file.fp, style == map_style_binary);
  file.close();
}

}  // namespace kavro
