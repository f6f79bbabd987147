// The map step of the time loop: at every map interval one ESRI ASCII grid
// per requested quantity, or one frame appended to each open map dataset,
// then the frames of the contaminant and snow temperature writers.
#include <array>
#include <cmath>
#include <cstdio>
#include <string>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "output/map_datasets.h"
#include "output/output_steps.h"
#include "output/timeseries_output.h"

namespace kavro {

namespace {

using values_of = const dvec* (*)(const main_state&);

// A quantity of the grid-files style. A quantity whose values no process
// computes yet (sediment maps, incremental groundwater recharge) has none
// and is skipped. The snow depth map writes the modelled depth (m).
struct grid_map_row {
  bool (*on)(const main_state&);
  const std::string& (*folder)(const main_state&);
  std::string_view stem;
  values_of values;
  const char* message;
};

const dvec* none(const main_state&) { return nullptr; }
const std::string empty_folder;
const std::string& no_folder(const main_state&) { return empty_folder; }

const std::array<grid_map_row, 13> grid_map_rows = {{
    {[](const main_state& m) { return m.depth_map_on != 0; },
     [](const main_state& m) -> const std::string& { return m.project_params.depth; }, "depth",
     [](const main_state& m) { return &m.map_depth; }, "Can't open depth map for writing: %s\n"},
    {[](const main_state& m) { return m.project_params.use_snow_swe_file != 0; },
     [](const main_state& m) -> const std::string& { return m.project_params.snow_swe_file; }, "swe",
     [](const main_state& m) { return &m.swe; }, "Can't open depth map for writing: %s\n"},
    {[](const main_state& m) { return m.project_params.use_snow_sd_file != 0; },
     [](const main_state& m) -> const std::string& { return m.project_params.snow_sd_file; }, "sd",
     [](const main_state& m) { return &m.swe_scaled; },
     "Can't open snow depth map for writing: %s\n"},
    {[](const main_state& m) { return m.discharge_map_on != 0; },
     [](const main_state& m) -> const std::string& { return m.project_params.discharge; }, "discharge",
     [](const main_state& m) { return &m.map_discharge; }, "Can't open discharge map for writing: %s\n"},
    {[](const main_state& m) { return m.dis_rain_map_on != 0; },
     [](const main_state& m) -> const std::string& { return m.project_params.dis_rain; }, "rain",
     [](const main_state& m) { return &m.rain_rate; }, "Can't open rainfall map for writing: %s\n"},
    {[](const main_state& m) { return m.inf_depth_map_on != 0; },
     [](const main_state& m) -> const std::string& { return m.project_params.inf_depth; }, "infdep",
     [](const main_state& m) { return &m.cum_infil_depth; }, "Can't open Cum. infilt. depth map for writing: %s\n"},
    {infiltration_rate_maps_on,
     [](const main_state& m) -> const std::string& { return m.project_params.rate_of_infil; }, "infrate",
     [](const main_state& m) { return &m.infil_rate; }, "Can't open infiltration rate map for writing: %s\n"},
    // The stem of this row depends on its folder (see surface_moisture_stem).
    {[](const main_state& m) { return m.surf_moist_map_on != 0; },
     [](const main_state& m) -> const std::string& { return m.project_params.surf_moist; }, "",
     [](const main_state& m) { return &m.soil_moisture; }, "Can't open surface moisture content map for writing: %s\n"},
    {[](const main_state& m) { return m.sed_control.erosion_on != 0 && m.sed_control.max_sed_flux_on != 0; },
     [](const main_state& m) -> const std::string& { return m.sed_control.max_sed_flux_path; }, "max_sed_flux", none,
     "Can't open sediment flux map for writing: %s\n"},
    {[](const main_state& m) { return m.gw_output_on != 0; },
     [](const main_state& m) -> const std::string& { return m.project_params.gw_output; }, "gw_head",
     [](const main_state& m) { return &m.elevgw; }, "Can't open groundwater head map for writing: %s\n"},
    {[](const main_state& m) { return m.gw_recharge_cum_map_on != 0; }, no_folder, "gwrechargecum",
     [](const main_state& m) { return &m.gw_recharge_cum; },
     "Can't open cum gw recharge map for writing: %s\n"},
    {[](const main_state& m) { return m.gw_recharge_inc_map_on != 0; }, no_folder, "gwrechargeinc", none,
     "Can't open incremental groundwater recharge map for writing: %s\n"},
    {[](const main_state& m) { return m.sed_control.erosion_on != 0 && m.sed_control.net_sed_volume_on != 0; },
     [](const main_state& m) -> const std::string& { return m.sed_control.net_sed_volume_path; }, "net_sed_volume",
     none, "Can't open depth map for writing: %s\n"},
}};

// A quantity of the dataset styles: its dataset (map kind) and values.
struct dataset_map_row {
  int kind;
  bool (*extra)(const main_state&);  // condition beyond the dataset's own card
  values_of values;
};

bool always(const main_state&) { return true; }

const std::array<dataset_map_row, 13> dataset_map_rows = {{
    {0, always, [](const main_state& m) { return &m.map_depth; }},
    {14, [](const main_state& m) { return m.long_term_on != 0; }, [](const main_state& m) { return &m.swe; }},
    {1, always, [](const main_state& m) { return &m.map_discharge; }},
    {6, always, [](const main_state& m) { return &m.elevgw; }},
    {2, always, [](const main_state& m) { return &m.rain_rate; }},
    {12, always, [](const main_state& m) { return &m.gw_recharge_cum; }},
    {13, always, none},
    {3, always, [](const main_state& m) { return &m.cum_infil_depth; }},
    {4, always, [](const main_state& m) { return &m.infil_rate; }},
    {5, always, [](const main_state& m) { return &m.soil_moisture; }},
    {7, always, none},
    {8, always, none},
    {9, always, none},
}};

// "surf" for a folder given with a trailing separator, else "smoist".
std::string_view surface_moisture_stem(const std::string& folder) {
  return !folder.empty() && (folder.back() == '\\' || folder.back() == '/') ? "surf" : "smoist";
}

// Sizes a per-cell buffer once per run.
void ensure_cells(dvec& v, long n_cells) {
  if (v.size() != n_cells) v.allocate(n_cells);
}

// The depth of every cell, lake cells under their lake's surface.
void refresh_map_depth(main_state& ms) {
  ensure_cells(ms.map_depth, ms.n_cells);
  for (long k = 1; k <= ms.n_cells; ++k) ms.map_depth[k] = current_cell_depth(ms, k);
}

void refresh_map_discharge(main_state& ms) {
  ensure_cells(ms.map_discharge, ms.n_cells);
  const bool flows = ms.ov_qx.size() >= ms.n_cells && ms.ov_qy.size() >= ms.n_cells;
  for (long k = 1; k <= ms.n_cells; ++k)
    ms.map_discharge[k] = flows ? std::sqrt(ms.ov_qx[k] * ms.ov_qx[k] + ms.ov_qy[k] * ms.ov_qy[k]) : 0.0;
}

// Writes the grid files of this map step; false after a file that could not
// be created (reported; the run stops).
bool write_grid_files(main_state& ms, const grid_frame& g) {
  ++ms.map_frame_no;
  for (const grid_map_row& row : grid_map_rows) {
    if (!row.on(ms)) continue;
    const dvec* values = row.values(ms);
    if (values == nullptr) continue;
    const std::string& folder = row.folder(ms);
    const std::string_view stem = row.stem.empty() ? surface_moisture_stem(folder) : row.stem;
    const std::string name = grid_frame_name(folder, stem, ms.map_frame_no, ".asc");
    std::printf("opening file %s\n", name.c_str());
    file_wrapper out;
    if (!out.open(name, "w")) {
      std::printf(row.message, name.c_str());
      error_rec.code = already_printed_code;
      error_rec.stop = 1;
      report_error(error_rec);
      return false;
    }
    write_esri_ascii_grid(out.fp, g, *values, ms.map_row_buffer);
  }
  return true;
}

void write_dataset_frames(main_state& ms, const grid_frame& g) {
  const bool binary = ms.map_dataset_binary != 0;
  for (const dataset_map_row& row : dataset_map_rows) {
    if (!map_dataset_on(ms, row.kind) || !row.extra(ms)) continue;
    const dvec* values = row.values(ms);
    file_wrapper& file = map_dataset_file(ms, row.kind);
    if (values == nullptr || !file.is_open()) continue;
    write_dataset_frame(file.fp, ms.elapsed_min, g, *values, binary, ms.map_row_buffer);
  }
}

}  // namespace

bool is_map_step(const main_state& ms) {
  // An interval shorter than the time step maps every step.
  const int interval = ms.map_interval_steps >= 1 ? ms.map_interval_steps : 1;
  return ms.step_no >= 1 && (ms.step_no - 1) % interval == 0;
}

void write_map_output(main_state& ms) {
  if (!is_map_step(ms)) return;
  if (ms.depth_map_on) refresh_map_depth(ms);
  if (ms.discharge_map_on) refresh_map_discharge(ms);
  const grid_frame g = run_grid_frame(ms);
  if (ms.map_grid_files) {
    if (!write_grid_files(ms, g)) return;
  } else if (ms.map_dataset_mode) {
    write_dataset_frames(ms, g);
  }
  if (ms.nutrients_on) write_nutrient_map_output(ms);
  for (long c = 1; c <= ms.contam_map_writers.size(); ++c) {
    ms.contam_map_writers[c][1].write_frame(ms.elapsed_min);
    ms.contam_map_writers[c][2].write_frame(ms.elapsed_min);
  }
  if (ms.project_params.use_snow_temp) ms.snow_temp_map_writer.write_frame(ms.elapsed_min);
}

}  // namespace kavro
