// The soil parameters of the infiltration method of the run: single-layer
// Green-Ampt values per cell (with or without redistribution), soil types
// and layer tables of multi-layer Green-Ampt, and, through the soil-water
// set-up, the Richards columns. The evapotranspiration maps, the area
// reduction and the canopy snow table load from here too, so they load only
// when an infiltration method is on.
#include <cstdio>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "framework/parallel_sum.h"
#include "hydromet/frozen_ground_couplings.h"
#include "hydromet/permafrost_setup.h"
#include "input/ascii_map.h"
#include "input/map_placement.h"
#include "input/cell_loaders.h"
#include "input/map_table_format.h"
#include "input/map_table_reader.h"
#include "input/moisture_check.h"
#include "input/setup_lines.h"
#include "input/soil_tables.h"
#include "subsurface/subsurface_steps.h"

namespace kavro {

namespace {

constexpr int green_ampt_card = 4;
constexpr int multi_layer_card = 201;

// Conductivities are given in cm/h and kept in m/s; capillary heads in cm, kept in m.
constexpr double cm_per_h_per_m_per_s = 360000.0;
constexpr double cm_per_m = 100.0;

void stop_on_error_stream(const char* text) {
  std::fputs(text, stderr);
  error_rec.code = already_printed_code;
  report_error(error_rec);
}

void scale_cells(dvec& v, long n_cells, double divisor) {
  const long n = std::min<long>(n_cells, v.size());
  for (long i = 1; i <= n; ++i) v[i] /= divisor;
}

// Single-layer parameters of Green-Ampt and redistribution. False when the
// run must stop.
bool read_single_layer_params(main_state& ms) {
  const bool table = map_table_has(ms, green_ampt_card);
  if (ms.mapping_table_on && table)
    read_map_table(ms, green_ampt_card, &ms.conductivity, &ms.capillary, &ms.porosity, &ms.pore_index,
                   &ms.residual_sat, &ms.field_capacity, &ms.wilting_point);
  if (ms.conductivity_on == 1) {
    read_slot_map(ms, ms.fs_conductivity, ms.conductivity_path, ms.conductivity,
                  "reading saturated hydraulic conductivity map from file: %s\n",
                  "reading saturated hydraulic conductivity table and map from the master table file\n", false);
    scale_cells(ms.conductivity, ms.n_cells, cm_per_h_per_m_per_s);
  }
  if (ms.capillary_on == 1) {
    read_slot_map(ms, ms.fs_capillary, ms.capillary_path, ms.capillary, "reading capillary drive map from file: %s\n",
                  "reading capillary drive map from the master table file\n", false);
    scale_cells(ms.capillary, ms.n_cells, cm_per_m);
  }
  if (ms.porosity_on == 1)
    read_slot_map(ms, ms.fs_porosity, ms.porosity_path, ms.porosity, "reading porosity map from file: %s\n",
                  "reading porosity table and map from the master table file\n", false);
  if (ms.inf_redist_on != 1) return true;
  if (ms.pore_index_on == 0 && !table) {
    stop_on_error_stream("For infiltration redistribution, pore index map must be specified\nProgram stopped.\n");
    return false;
  }
  read_slot_map(ms, ms.fs_pore_index, ms.pore_index_path, ms.pore_index,
                "reading pore distribution index map from file: %s\n",
                "reading pore distribution index map from master table file\n", false);
  if (ms.residual_sat_on == 0 && !table) {
    stop_on_error_stream("For infiltration redistribution, residual saturation map must be specified\n"
                         "Program stopped.\n");
    return false;
  }
  read_slot_map(ms, ms.fs_residual_sat, ms.residual_sat_path, ms.residual_sat,
                "reading residual saturation map from file: %s\n",
                "reading residual saturation map from the master table file\n", false);
  return true;
}

// Soil types and layer tables of multi-layer Green-Ampt. False when the run
// must stop.
bool read_layered_params(main_state& ms) {
  if (!map_table_has(ms, multi_layer_card)) {
    print_setup_line(ms, format_string("reading soil map from file: %s\n", ms.soil_type_map_path.c_str()));
    double north = 0, south = 0, east = 0, west = 0;
    int rows = 0, cols = 0;
    read_ascii_map(ms.fs_soil_type_map, ms.soil_type_map_path, map_integer_grid, north, south, east, west, rows,
                   cols, ms.data, nullptr, nullptr, nullptr, ms.rows, ms.cols, ms.tool_mode);
    if (error_rec.stop) return false;
    if (!map_edges_agree(ms, "soil type map", ms.soil_type_map_path, north, south, east, west)) return false;
    // The map reader has checked the header against the grid, so the
    // grid's own bounds hold every cell of the map.
#pragma omp parallel for schedule(static) if (static_cast<long>(ms.rows) * ms.cols >= parallel_min_items)
    for (int r = 1; r <= ms.rows; ++r)
      for (int c = 1; c <= ms.cols; ++c)
        if (const int cell = ms.mask[r][c]; cell > 0) ms.soiltype[cell] = ms.data[r][c];
    if (!read_layered_soil_table(ms.fs_soil_layer_input_file, ms.project_params.soil_layer_input_file, ms.soil_type_table))
      return false;
  } else if (read_multi_layer_soil_table(ms) < 1) {
    if (error_rec.code == 0) error_rec.code = already_printed_code;
    report_error(error_rec);
    return false;
  }
  // The first cell in cell order whose soil type has no row in the table.
  long first_bad = ms.n_cells + 1;
#pragma omp parallel for schedule(static) reduction(min : first_bad) if (ms.n_cells >= parallel_min_items)
  for (long i = 1; i <= ms.n_cells; ++i)
    if (const int t = ms.soiltype[i]; (t < 0 || t >= soil_type_store::size()) && i < first_bad) first_bad = i;
  if (first_bad <= ms.n_cells) {
    std::printf("Error: cell %ld has soil type %d, outside the soil types 0 to %ld.\n", first_bad,
                ms.soiltype[first_bad], soil_type_store::size() - 1);
    error_rec.code = already_printed_code;
    report_error(error_rec);
    return false;
  }
  if (ms.project_params.permafrost_kotu == 1 || ms.project_params.multi_layer_infil_kotu == 1) {
    for (int i = 1; i <= ms.n_cells; ++i) link_ga_layers_to_temp_nodes(ms, i);
    write_ga_node_listing(ms);
  }
  const soil_type_store& table = ms.soil_type_table;
#pragma omp parallel for schedule(static) if (ms.n_cells >= parallel_min_items)
  for (long i = 1; i <= ms.n_cells; ++i) {
    const soil_type_params& p = table[ms.soiltype[i]];
    ms.soil_moisture[i] = p.layer_initial_moisture[1];
    for (int l = 1; l <= 3; ++l) ms.THETA_ML[i][l] = p.layer_initial_moisture[l];
  }
  return true;
}

}  // namespace

void read_infiltration_params(main_state& ms) {
  if (ms.green_ampt_on != 1 && ms.inf_redist_on != 1 && ms.multi_layer_ga_on == 0 && ms.richards_on == 0) return;
  read_area_reduction(ms);
  if (error_rec.stop) return;
  if ((ms.green_ampt_on || ms.inf_redist_on) && !read_single_layer_params(ms)) return;
  if (ms.multi_layer_ga_on == 1 && !read_layered_params(ms)) return;
  read_et_maps(ms);
  if (error_rec.stop) return;
  if ((ms.green_ampt_on || ms.inf_redist_on) && ms.moisture_on == 1 && ms.porosity_on == 1 &&
      !initial_moisture_fits_porosity(ms))
    return;
  if (ms.snow_canopy_intercept_on == 1) read_snow_canopy_table(ms);
  read_water_table_maps(ms);
  setup_richards_columns(ms);
}

}  // namespace kavro
