// The per-cell loaders of the land surface: interception, retention,
// roughness, flow blockage, area reduction, the evapotranspiration maps, the
// canopy snow table, the permafrost and embankment masks, the wetlands and
// the overland boundary cells. Each takes its values from the map file its
// card names or from the grid mapping table, converts units and checks the
// values that must be positive.
#include <cmath>
#include <cstdio>
#include <string>

#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "input/ascii_map.h"
#include "input/map_placement.h"
#include "input/cell_loaders.h"
#include "input/lake_files.h"
#include "input/map_table_format.h"
#include "input/map_table_reader.h"
#include "input/setup_lines.h"
#include "input/special_tables.h"
#include "output/xy_boundary.h"

namespace kavro {

namespace {

// Mapping-table card codes of the surface tables.
constexpr int interception_card = 2;
constexpr int retention_card = 3;
constexpr int moisture_card = 5;
constexpr int et_card = 8;
constexpr int overland_boundary_card = 14;
constexpr int area_reduction_card = 19;
constexpr int rough_exp_card = 33;
constexpr int flow_block_card = 34;
constexpr int snow_canopy_card = 36;

// Manning n at or below this is no roughness at all.
constexpr double min_uniform_manning_n = 0.000001;

bool table_on(const main_state& ms, int code) { return ms.mapping_table_on && map_table_has(ms, code); }

void stop_printed(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  error_rec.code = already_printed_code;
  report_error(error_rec);
}

}  // namespace

void read_cell_map(main_state& ms, file_wrapper& f, const std::string& path, int mode, dvec* reals, ivec* ints) {
  dvec* a = mode == map_reals_a ? reals : &ms.map_scratch2;
  dvec* b = mode == map_reals_b ? reals : &ms.map_scratch3;
  // The grid's coordinates stay the mask's: the map's header is read beside
  // them and must lie on the same grid.
  double north = 0, south = 0, east = 0, west = 0;
  int rows = 0, cols = 0;
  read_ascii_map(f, path, mode, north, south, east, west, rows, cols, ms.mask, a, b, ints, ms.rows, ms.cols,
                 ms.tool_mode);
  if (!error_rec.stop) map_edges_agree(ms, "map", path, north, south, east, west);
}

bool read_slot_map(main_state& ms, file_wrapper& slot, const std::string& path, dvec& dest, const char* file_line,
                   const char* table_line, bool close_after) {
  if (slot.is_open()) {
    print_setup_line(ms, format_string(file_line, path.c_str()));
    read_cell_map(ms, slot, path, map_reals_a, &dest, nullptr);
    if (close_after) slot.close();
    return true;
  }
  print_setup_line(ms, table_line);
  return false;
}

void read_interception_maps(main_state& ms) {
  if (ms.interception_on != 1) return;
  if (table_on(ms, interception_card)) read_map_table(ms, interception_card, &ms.icep_stor, &ms.icep_coef);
  read_slot_map(ms, ms.fs_storage_capacity, ms.storage_capacity_path, ms.icep_stor,
                "reading interception storage from file: %s\n",
                "reading interception storage table and map from master table file\n", true);
  read_slot_map(ms, ms.fs_interception_coeff, ms.interception_coeff_path, ms.icep_coef,
                "reading interception coeff. from file: %s\n",
                "reading interception coeff. table and map from the master table file\n", true);
}

void read_retention_map(main_state& ms) {
  const long n = std::min<long>(ms.n_cells, ms.retent_dep.size());
  if (ms.reten_depth_file_on == 1) {
    if (!read_slot_map(ms, ms.fs_reten_depth, ms.reten_depth_path, ms.retent_dep,
                       "reading retention storage map from file: %s\n",
                       "reading retention storage table and map from master table file\n", true) &&
        table_on(ms, retention_card))
      read_map_table(ms, retention_card, &ms.retent_dep);
    if (error_rec.stop) return;
    // A depression holds water; a negative depth would give water never held.
    for (long i = 1; i <= n; ++i) {
      if (ms.retent_dep[i] >= 0.0) continue;
      stop_printed(format_string("Error: the retention depth %g mm of cell %ld (row %d, column %d), from %s, is "
                                 "negative; a depression holds water, it cannot give any.\n",
                                 ms.retent_dep[i], i, i <= ms.cell_row.size() ? ms.cell_row[i] : 0,
                                 i <= ms.cell_col.size() ? ms.cell_col[i] : 0,
                                 ms.reten_depth_path.empty() ? "the mapping table" : ms.reten_depth_path.c_str()));
      return;
    }
    for (long i = 1; i <= n; ++i) ms.retent_dep[i] /= 1000.0;  // mm to m
  } else {
    const double depth = ms.reten_depth_on == 1 ? ms.uniform_retention / 1000.0 : 0.0;
    for (long i = 1; i <= n; ++i) ms.retent_dep[i] = depth;
  }
}

void read_roughness_map(main_state& ms) {
  const long n = std::min({static_cast<long>(ms.n_cells), ms.dist_rough.size(), ms.roughness_exp.size()});
  if (ms.roughness_on) {
    if (!read_slot_map(ms, ms.fs_roughness, ms.roughness_path, ms.dist_rough,
                       "reading roughness map from file: %s\n",
                       "reading roughness table and map from master table file\n", true)) {
      if (table_on(ms, map_card::roughness)) read_map_table(ms, map_card::roughness, &ms.dist_rough);
      if (table_on(ms, rough_exp_card)) {
        print_setup_line(ms, "reading roughness_exp table and map from master table file\n");
        read_map_table(ms, rough_exp_card, &ms.roughness_exp);
      } else {
        for (long i = 1; i <= n; ++i) ms.roughness_exp[i] = 0.0;
      }
    }
    if (error_rec.stop) return;
    // A NaN is no roughness either: it stops the run like a 0.
    for (long i = 1; i <= n; ++i) {
      if (!(ms.dist_rough[i] > 0.0)) {
        stop_printed(format_string("Overland Manning n=0 at grid cell %ld.  Program terminating.\n", i) +
                     "Check your overland roughness inputs, mapping table and index map \n");
        return;
      }
    }
    return;
  }
  if (!(ms.uniform_manning_n > min_uniform_manning_n)) {
    stop_printed(format_string("\nInvalid spatially uniform overland flow Manning n value=%lf\n",
                               ms.uniform_manning_n) +
                 "Check your overland roughness inputs \n"
                 "If you specified a overland roughness mapping table, you either didn't assign an index map or "
                 "your index map has invalid zero values\n"
                 "KAVRO exiting.\n");
    return;
  }
  for (long i = 1; i <= n; ++i) {
    ms.dist_rough[i] = ms.uniform_manning_n;
    ms.roughness_exp[i] = 0.0;
  }
}

void apply_snow_roughness_options(main_state& ms) {
  if (ms.snow_roughness_on == 1 && ms.snow_darcy_on == 1) {
    ms.snow_roughness_on = 0;
    std::fputs("Both manning and darcy flow are turned on for when snow is present \n"
               "Turning off manning flow for when snow is present.  Darcy still turned on. \n",
               stdout);
    return;
  }
  if (ms.snow_roughness_on != 1) return;
  ms.snow_roughness_value = ms.project_params.snow_roughness;
  if (!alloc_dvec(ms.dist_rough_copy, ms.n_cells, "dist_rough_copy")) return;
  const long n = std::min<long>(ms.n_cells, ms.dist_rough.size());
  for (long i = 1; i <= n; ++i) ms.dist_rough_copy[i] = ms.dist_rough[i];
}

void read_flow_block_table(main_state& ms) {
  if (!ms.ovr_flow_block_on || !table_on(ms, flow_block_card)) return;
  dvec faces[4];
  for (dvec& f : faces) alloc_dvec(f, ms.n_cells, "ovr_flow_block_face");
  print_setup_line(ms, "reading overland blockage table and map from master table file\n");
  read_map_table(ms, flow_block_card, &ms.ovr_flow_block, &faces[0], &faces[1], &faces[2], &faces[3]);
  if (ms.ovr_flow_block_frac.empty()) return;
  const long n = std::min<long>(ms.n_cells, ms.ovr_flow_block_frac.size1());
  for (long i = 1; i <= n; ++i)
    for (int k = 0; k < 4; ++k) ms.ovr_flow_block_frac[i][k + 1] = faces[k].empty() ? 0.0 : faces[k][i];
}

void read_area_reduction(main_state& ms) {
  if (!ms.area_reduction_on) return;
  const std::string& path = ms.project_params.area_reduction;
  if (!path.empty()) {
    if (!ms.area_reduction_file.open(path, "r")) {
      stop_printed(format_string("Can't open area reduction file named: %s\n", path.c_str()));
      return;
    }
    print_setup_line(ms, format_string("reading area reduction map from file: %s\n", path.c_str()));
    read_cell_map(ms, ms.area_reduction_file, path, map_reals_b, &ms.area_reduction, nullptr);
    ms.area_reduction_file.close();
  } else if (table_on(ms, area_reduction_card)) {
    print_setup_line(ms, "reading area reduction map from the mapping table file.\n");
    read_map_table(ms, area_reduction_card, &ms.area_reduction);
  }
  // The map gives the part of the cell taken away; the model keeps the rest.
  const long n = std::min<long>(ms.n_cells, ms.area_reduction.size());
  for (long i = 1; i <= n; ++i) ms.area_reduction[i] = 1.0 - ms.area_reduction[i];
}

void read_et_maps(main_state& ms) {
  if (table_on(ms, et_card)) read_map_table(ms, et_card, &ms.albedo, &ms.veg, &ms.Kt, &ms.Rs);
  const bool penman = ms.et_calc_penman_on && ms.long_term_on;
  if (ms.albedo_on == 1 && ms.long_term_on) {
    read_slot_map(ms, ms.fs_albedo, ms.albedo_path, ms.albedo, "reading albedo map from file: %s\n",
                  "reading albedo table and map from the master table file\n", false);
    const long n = std::min({static_cast<long>(ms.n_cells), ms.albedo.size(), ms.albedo_w_snow.size()});
    for (long i = 1; i <= n; ++i) ms.albedo_w_snow[i] = ms.albedo[i];
  }
  if (ms.vheight_on && penman)
    read_slot_map(ms, ms.fs_vheight, ms.vheight_path, ms.veg, "reading vegetation-height map from file: %s\n",
                  "reading vegetation-height table and map from the master table file\n", false);
  if (ms.tcoeff_on == 1 && penman)
    read_slot_map(ms, ms.fs_tcoeff, ms.tcoeff_path, ms.Kt, "reading transmission-coefficient map from file: %s\n",
                  "reading transmission-coefficient table and map from the master table file\n", false);
  if (ms.canopy_on == 1 && penman)
    read_slot_map(ms, ms.fs_canopy, ms.canopy_path, ms.Rs, "reading canopy resistance map from file: %s\n",
                  "reading canopy resistance table and map from the master table file\n", false);
  if (ms.wilting_point_on == 1 && penman)
    read_slot_map(ms, ms.fs_wilting_point, ms.wilting_point_path, ms.wilting_point,
                  "reading wilting point map from file: %s\n",
                  "reading wilting point table and map from the master table file\n", false);
  if (ms.moisture_on == 1 &&
      !read_slot_map(ms, ms.fs_moisture, ms.moisture_path, ms.init_moisture,
                     "reading soil moisture map from file: %s\n",
                     "reading soil moisture table and map from the master table file\n", false) &&
      table_on(ms, moisture_card))
    read_map_table(ms, moisture_card, &ms.init_moisture);
}

void read_snow_canopy_table(main_state& ms) {
  read_map_table(ms, snow_canopy_card, &ms.snow_canopy_col1, &ms.snow_canopy_col2, &ms.snow_canopy_col3);
}

void read_permafrost_mask(main_state& ms) {
  if (!ms.project_params.permafrost_kotu && !ms.project_params.multi_layer_infil_kotu) return;
  const std::string& path = ms.permafrost_kotu_path;
  if (!ms.fs_permafrost_mask.open(path, "r")) {
    stop_printed(format_string("Can't open input permafrost mask file named: %s\n", path.c_str()));
    return;
  }
  alloc_ivec(ms.permaf_mask, ms.n_cells, "permaf_mask");
  print_setup_line(ms, format_string("reading permafrost mask from file: %s\n", path.c_str()));
  read_cell_map(ms, ms.fs_permafrost_mask, path, map_categories, nullptr, &ms.permaf_mask);
  ms.fs_permafrost_mask.close();
}

void read_dike_map(main_state& ms) {
  if (!ms.dike_on) return;
  if (!ms.fs_dike_map.open(ms.dike_map_path, "r")) {
    stop_printed(format_string("Can't open input dike mask file named: %s\n", ms.dike_map_path.c_str()));
    return;
  }
  alloc_ivec(ms.dike_mask, ms.n_cells, "dike_mask");
  print_setup_line(ms, format_string("reading overland flow dike map from file: %s\n", ms.dike_map_path.c_str()));
  read_cell_map(ms, ms.fs_dike_map, ms.dike_map_path, map_categories, nullptr, &ms.dike_mask);
  ms.fs_dike_map.close();
  if (error_rec.stop || !ms.lowspot_on) return;
  if (!ms.fs_dike_file.open(ms.lowspot_path, "r")) {
    stop_printed(format_string("Can't open input dike mask file named: %s\n", ms.lowspot_path.c_str()));
    return;
  }
  read_lowspot_file(ms.fs_dike_file, ms.lowspot_path, ms.n_low_spots, ms.low_spots);
  ms.fs_dike_file.close();
}

void read_wetlands(main_state& ms) {
  if (!ms.wetlands_on) return;
  alloc_ivec(ms.wetland_mask, ms.n_cells, "wetland_mask");
  read_wetland_table(ms);
  print_setup_line(ms, "Simulating wetlands\n");
}

void read_overland_boundary(main_state& ms) {
  if (!ms.ov_boundary_on) return;
  alloc_dvec(ms.ov_boundary_code, ms.n_cells, "ov_boundary_code");
  alloc_dvec(ms.ov_boundary_value, ms.n_cells, "ov_boundary_value");
  alloc_ivec(ms.boundary_type, ms.n_cells, "boundary_type");
  const bool from_table = table_on(ms, overland_boundary_card);
  if (!map_table_has(ms, overland_boundary_card) && !ms.xybdyinput_ovdep_on) {
    error_rec.code = 84;  // reported by the run driver
    return;
  }
  const long n = std::min<long>(ms.n_cells, ms.boundary_type.size());
  if (from_table) {
    read_map_table(ms, overland_boundary_card, &ms.ov_boundary_code, &ms.ov_boundary_value);
    if (error_rec.stop) return;
    bool rating = false;
    for (long i = 1; i <= n; ++i) {
      const double code = ms.ov_boundary_code[i];
      // Truncated toward zero; a value that is no type at all is no boundary.
      ms.boundary_type[i] = std::isfinite(code) && std::fabs(code) < 1e9 ? static_cast<int>(code) : 0;
      if (ms.boundary_type[i] == 6 || ms.boundary_type[i] == 7) rating = true;
    }
    if (rating) {
      alloc_ivec(ms.face_dir, 4, "face_dir");
      alloc_dvec(ms.face_head, 4, "face_head");
      read_rating_curves(ms);
    }
  }
  // The overland input points of a nested run hold their cells (type 9);
  // cells of type 8 are valued from the coordinate points around them.
  xy_input& xy = ms.project_params.xy_input;
  if (ms.xybdyinput_ovdep_on && !xy.mark_ov_point_cells(ms.boundary_type, ms.n_cells)) return;
  xy.setup_ov_interp(ms.boundary_type, ms.n_cells, ms.cell_x, ms.cell_y);
}

}  // namespace kavro
