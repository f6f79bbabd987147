#include "input/cell_arrays.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>
#include <type_traits>
#include <variant>

#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/number_text.h"
#include "framework/readers.h"
#include "input/ascii_map.h"
#include "input/map_placement.h"
#include "input/setup_lines.h"

namespace kavro {

namespace {

// ---- The allocation table -------------------------------------------------

// A dimension of an array: a base count of the run plus a constant. The value
// is the highest index, so `cells` gives cells 0..n_cells.
enum class extent_of : unsigned char { fixed, cells, gages, bands };
struct extent {
  extent_of base = extent_of::fixed;
  long add = 0;
};
constexpr extent cells{extent_of::cells, 0};
constexpr extent fixed(long k) { return {extent_of::fixed, k}; }
constexpr extent cells_plus(long k) { return {extent_of::cells, k}; }
constexpr extent gages{extent_of::gages, 0};
constexpr extent bands{extent_of::bands, 0};

long extent_value(const main_state& ms, extent e) {
  switch (e.base) {
    case extent_of::cells: return ms.n_cells + e.add;
    case extent_of::gages: return ms.n_met_gages + e.add;
    case extent_of::bands: return ms.n_elev_bands + e.add;
    case extent_of::fixed: break;
  }
  return e.add;
}

using array_member = std::variant<dvec main_state::*, ivec main_state::*, dmat main_state::*, d3d main_state::*,
                                  cmat main_state::*>;
using switch_test = bool (*)(const main_state&);

// One row of the table: the array, its dimensions (highest indices; vectors
// use the first only) and the switches under which it exists. `fill` is the
// value of cells 1..n after allocation (0: stays zero).
struct cell_array_row {
  switch_test when;
  array_member field;
  extent size1 = cells;
  extent size2 = {};
  extent size3 = {};
  int fill = 0;
};

// Switches of the table. A switch that must "be 1" is compared with 1; the
// others count when non-zero.
bool always(const main_state&) { return true; }
bool infiltration(const main_state& ms) {
  return ms.inf_redist_on || ms.green_ampt_on || ms.multi_layer_ga_on || ms.richards_on;
}
bool layered_soil(const main_state& ms) {
  return infiltration(ms) && (ms.multi_layer_ga_on == 1 || ms.richards_on == 1);
}
bool richards_columns(const main_state& ms) { return layered_soil(ms) && ms.richards_on == 1; }
bool stream_aquifer(const main_state& ms) {
  return ms.water_table_on || ms.stream_loss_on || ms.chan_contam_on || ms.ov_sed_out_on;
}
bool long_term(const main_state& ms) { return ms.long_term_on == 1; }
bool snow_state(const main_state& ms) { return ms.long_term_on == 1 || ms.project_params.init_swe_kind > 0; }

// Every per-cell array and the switches under which it exists, in allocation
// order. The cards that fill an array also allocate it: INIT_SWE_DEPTH the
// snow water equivalent, READ_SM_HOTSTART the soil moisture, the host
// exchange cards the arrays they send and receive. An array named in
// several rows is allocated by the first row whose switches hold.
const cell_array_row cell_array_table[] = {
    {always, &main_state::ov_depth},
    {[](const main_state& ms) { return ms.flood_grid_on != 0; }, &main_state::flood_depth_max},
    {always, &main_state::ov_depth_old},
    {always, &main_state::ov_depth_new},
    {always, &main_state::rain_rate},
    {always, &main_state::ov_aux_depth},
    {always, &main_state::slope_right},
    {always, &main_state::slope_below},
    {always, &main_state::slope_x},
    {always, &main_state::slope_y},
    {always, &main_state::belowcon},
    {always, &main_state::rightcon},
    {always, &main_state::abovecon},
    {always, &main_state::leftcon},
    {[](const main_state& ms) { return ms.ovr_flow_block_on != 0; }, &main_state::ovr_flow_block_frac, cells,
     fixed(5)},
    {[](const main_state& ms) { return ms.ovr_flow_block_on != 0; }, &main_state::ovr_flow_block},
    {always, &main_state::yes_exfil},
    {[](const main_state& ms) { return ms.conductivity_on != 0; }, &main_state::conductivity},
    {[](const main_state& ms) { return ms.capillary_on != 0; }, &main_state::capillary},
    // The event start and end read porosity and residual saturation of every
    // soil column, whether a map or the mapping table gives them.
    {[](const main_state& ms) { return ms.porosity_on != 0 || infiltration(ms); }, &main_state::porosity},
    {[](const main_state& ms) { return ms.pore_index_on != 0; }, &main_state::pore_index},
    {[](const main_state& ms) { return ms.residual_sat_on != 0 || infiltration(ms); }, &main_state::residual_sat},
    {[](const main_state& ms) { return ms.area_reduction_on != 0; }, &main_state::area_reduction},
    {infiltration, &main_state::init_moisture},
    {infiltration, &main_state::redist_theta1},
    {infiltration, &main_state::cum_infil},
    {infiltration, &main_state::cum_infil_prev},
    {infiltration, &main_state::infil_rate},
    {infiltration, &main_state::soil_moisture},
    {infiltration, &main_state::rich_bottom_flux},
    {infiltration, &main_state::gw_recharge_cum},
    {infiltration, &main_state::zone_percolation},
    {[](const main_state& ms) { return infiltration(ms) && ms.soil_redist_on; }, &main_state::upper_zone_drainage},
    {[](const main_state& ms) { return infiltration(ms) && ms.soil_redist_on; }, &main_state::smr_et_depth},
    {[](const main_state& ms) { return infiltration(ms) && ms.soil_redist_on; }, &main_state::smr_gw_et_depth},
    {[](const main_state& ms) { return infiltration(ms) && ms.soil_redist_on; }, &main_state::smr_cell_flags},
    {infiltration, &main_state::cum_infil_depth},
    {infiltration, &main_state::infil_held_volume},
    {[](const main_state& ms) { return ms.green_ampt_on == 1; }, &main_state::infil_suction_deficit},
    {[](const main_state& ms) { return infiltration(ms) && ms.soil_redist_on; }, &main_state::inf_depth_since_smr},
    {[](const main_state& ms) { return infiltration(ms) && !ms.green_ampt_on; }, &main_state::gw_exfil_depth},
    {[](const main_state& ms) { return infiltration(ms) && ms.inf_redist_on; }, &main_state::redist_theta2},
    {[](const main_state& ms) { return infiltration(ms) && ms.inf_redist_on; }, &main_state::iter_pond_1},
    {[](const main_state& ms) { return infiltration(ms) && ms.inf_redist_on; }, &main_state::iter_n},
    {[](const main_state& ms) { return infiltration(ms) && ms.inf_redist_on; }, &main_state::no_wat_prof},
    {[](const main_state& ms) { return infiltration(ms) && ms.inf_redist_on; }, &main_state::iter_i_less_k},
    {[](const main_state& ms) { return infiltration(ms) && ms.inf_redist_on; }, &main_state::redist_work},
    {[](const main_state& ms) { return infiltration(ms) && ms.inf_redist_on; }, &main_state::field_capacity},
    {[](const main_state& ms) { return infiltration(ms) && ms.inf_redist_on; }, &main_state::wilting_point},
    {[](const main_state& ms) { return infiltration(ms) && ms.soil_redist_on; }, &main_state::soil_column_water_cm},
    {[](const main_state& ms) { return infiltration(ms) && ms.soil_redist_on; }, &main_state::soil_layer_cm},
    {[](const main_state& ms) { return infiltration(ms) && ms.soil_redist_on; }, &main_state::soil_water_cm},
    {[](const main_state& ms) { return infiltration(ms) && ms.soil_redist_on; }, &main_state::soil_water2_cm},
    {[](const main_state& ms) { return infiltration(ms) && ms.soil_redist_on && ms.gw_simulation_on; },
     &main_state::gw_inf_redist_theta},
    {[](const main_state& ms) { return infiltration(ms) && ms.soil_redist_on && ms.gw_simulation_on; },
     &main_state::sm_bottom_loss},
    {[](const main_state& ms) { return infiltration(ms) && ms.sacramento_on && ms.topo_index_on; },
     &main_state::topo_dex},
    {layered_soil, &main_state::soiltype},
    {[](const main_state& ms) { return layered_soil(ms) && ms.multi_layer_ga_on == 1; }, &main_state::wetdep},
    {[](const main_state& ms) { return layered_soil(ms) && ms.multi_layer_ga_on == 1; }, &main_state::infil_nan_flag},
    {[](const main_state& ms) { return layered_soil(ms) && ms.multi_layer_ga_on == 1; }, &main_state::THETA_ML,
     cells, fixed(4)},
    {richards_columns, &main_state::VOLCHANGE},
    {richards_columns, &main_state::MASSERROR},
    {richards_columns, &main_state::dtr},
    {richards_columns, &main_state::avgks},
    {richards_columns, &main_state::totaldz},
    {richards_columns, &main_state::num1, fixed(151)},
    {richards_columns, &main_state::num2, fixed(151)},
    {richards_columns, &main_state::num3, fixed(151)},
    {richards_columns, &main_state::numcells},
    {richards_columns, &main_state::numtot},
    {richards_columns, &main_state::bound_type, cells, {}, {}, 1},
    {richards_columns, &main_state::elevgw},
    {richards_columns, &main_state::gw_flux},
    {richards_columns, &main_state::bottom_elev},
    {richards_columns, &main_state::inf_rich},
    {stream_aquifer, &main_state::gwbound},
    {stream_aquifer, &main_state::elevgw},
    {stream_aquifer, &main_state::gw_flux},
    {[](const main_state& ms) { return ms.gw_simulation_on == 1; }, &main_state::num_unsat_cells},
    {[](const main_state& ms) { return ms.gw_simulation_on == 1; }, &main_state::bottom_elev},
    {[](const main_state& ms) { return ms.gw_simulation_on == 1; }, &main_state::gw_porosity},
    {[](const main_state& ms) { return ms.gw_simulation_on == 1; }, &main_state::gw_leakage},
    {[](const main_state& ms) { return ms.gw_simulation_on == 1 && ms.richards_on == 0; }, &main_state::A},
    {[](const main_state& ms) { return ms.gw_simulation_on == 1 && ms.richards_on == 0; }, &main_state::B},
    {[](const main_state& ms) { return ms.gw_simulation_on == 1 && ms.richards_on == 0; }, &main_state::C},
    {[](const main_state& ms) { return ms.gw_simulation_on == 1 && ms.richards_on == 0; }, &main_state::D},
    // Weather, energy and snow of long-term runs.
    {long_term, &main_state::canopy_snow},
    {long_term, &main_state::canopy_sublimation_hour},
    {long_term, &main_state::snow_canopy_col1},
    {long_term, &main_state::snow_canopy_col2},
    {long_term, &main_state::snow_canopy_col3},
    {long_term, &main_state::albedo},
    {snow_state, &main_state::swe},
    {snow_state, &main_state::swe_scaled},
    {long_term, &main_state::Melt_Waves, cells, fixed(6), fixed(3)},
    {long_term, &main_state::snow_no_infil_cell},
    {long_term, &main_state::sn_stat, cells, fixed(23)},
    {long_term, &main_state::wave, cells, fixed(51), fixed(5)},
    {long_term, &main_state::snap_kavro_params, cells, fixed(11)},
    {long_term, &main_state::snowpack_temp},
    {long_term, &main_state::snow_density},
    {long_term, &main_state::snow_last_air_temp},
    {long_term, &main_state::root_depth},
    {long_term, &main_state::DIRECT_EVAP},
    {long_term, &main_state::pot_et},
    {long_term, &main_state::pot_aet},
    {long_term, &main_state::ground_temp},
    {long_term, &main_state::ground_heat_flux},
    {[](const main_state& ms) { return long_term(ms) && ms.gtfsm_on; }, &main_state::SE},
    {[](const main_state& ms) { return long_term(ms) && ms.cfgi_on; }, &main_state::cfgi_value},
    {long_term, &main_state::direct_gridded},
    {long_term, &main_state::diffuse_gridded},
    {long_term, &main_state::cloud_cover_gridded},
    {long_term, &main_state::temper_gridded},
    {long_term, &main_state::rh_gridded},
    {long_term, &main_state::pres_gridded},
    {long_term, &main_state::vel_gridded},
    {long_term, &main_state::eff_temp_gridded},
    {long_term, &main_state::Temp_Daily_Avg, fixed(2), fixed(24)},
    // The weather step reads vegetation height and transmission in every
    // long-term run; without their maps they stay 0 (no canopy).
    {long_term, &main_state::veg},
    {long_term, &main_state::Kt},
    {[](const main_state& ms) { return long_term(ms) && ms.et_calc_penman_on; }, &main_state::Rs},
    {long_term, &main_state::ATI_2},
    {long_term, &main_state::D_2},
    {long_term, &main_state::SNOW_PRECIP_6HR, cells, fixed(8)},
    {long_term, &main_state::St_Event},
    {long_term, &main_state::H_Val},
    {long_term, &main_state::snow_melt_to_ov},
    {long_term, &main_state::TSNOW_P},
    {long_term, &main_state::TSNOW_T},
    {long_term, &main_state::PSNOW_Total},
    {long_term, &main_state::Wq},
    {long_term, &main_state::Wi},
    {long_term, &main_state::Gage_XYZ_Lev_P_rh_c_w_t_qh, fixed(1), fixed(10)},
    {long_term, &main_state::GAGE_IDW, gages, fixed(7)},
    {long_term, &main_state::Dist_Cell2Gage, cells, gages},
    {long_term, &main_state::El_T_P_e_es_LR, gages, bands, fixed(6)},
    {long_term, &main_state::cell_hour_flags, cells, fixed(23)},
    {long_term, &main_state::R_short},
    {long_term, &main_state::R_long},
    {long_term, &main_state::inc_solar_rad},
    {long_term, &main_state::Cell_Aspect_Eff_Rad_Percent, cells_plus(1)},
    {long_term, &main_state::LR_Num},
    {long_term, &main_state::Hours_Since_Snow},
    {long_term, &main_state::melt_occurred},
    {long_term, &main_state::albedo_w_snow},
    {long_term, &main_state::Snow_Accumulated_Hr},
    {long_term, &main_state::temper_gridded_sum},
    // Interception, roughness and retention, lakes.
    {[](const main_state& ms) { return ms.interception_on == 1; }, &main_state::icep_stor},
    {[](const main_state& ms) { return ms.interception_on == 1; }, &main_state::icep_coef},
    {[](const main_state& ms) { return ms.interception_on == 1; }, &main_state::icep_dep},
    {[](const main_state& ms) { return ms.interception_on == 1 || ms.snow_canopy_intercept_on == 1; },
     &main_state::ri_eff},
    {always, &main_state::retent_dep},
    {always, &main_state::dist_rough},
    {always, &main_state::roughness_exp},
    {always, &main_state::ov_mann_exp},
    {[](const main_state& ms) { return ms.lakes_on == 1; }, &main_state::lake_num},
    {[](const main_state& ms) { return ms.overland_lake_on == 1; }, &main_state::oland_lake_mask},
    {[](const main_state& ms) { return ms.overland_lake_on == 1; }, &main_state::oland_lake_new},
    // Arrays that a card fills whatever the process switches say.
    {[](const main_state& ms) { return ms.project_params.use_read_sm_hotstart != 0; }, &main_state::soil_moisture},
    {[](const main_state& ms) { return ms.moist_from_vopa_on != 0; }, &main_state::init_moisture},
    {[](const main_state& ms) { return ms.moist_from_vopa_on || ms.poros_to_vopa_on; }, &main_state::porosity},
    {[](const main_state& ms) { return ms.moist_from_vopa_on != 0; }, &main_state::residual_sat},
    {[](const main_state& ms) { return ms.moist_from_vopa_on != 0; }, &main_state::residual_moisture},
    {[](const main_state& ms) { return ms.moist_to_vopa_on != 0; }, &main_state::cum_infil_depth},
    {[](const main_state& ms) { return ms.ksat_from_vopa_on || ms.ksat_to_vopa_on; }, &main_state::conductivity},
};

// Allocates the array of one row unless an earlier row did.
void allocate_row(main_state& ms, const cell_array_row& row) {
  const long n1 = extent_value(ms, row.size1), n2 = extent_value(ms, row.size2), n3 = extent_value(ms, row.size3);
  std::visit(
      [&](auto member) {
        auto& a = ms.*member;
        if (!a.empty()) return;
        const std::string name = a.name();
        using array_type = std::remove_reference_t<decltype(a)>;
        if constexpr (std::is_same_v<array_type, dvec>) {
          alloc_dvec(a, n1, name);
        } else if constexpr (std::is_same_v<array_type, ivec>) {
          alloc_ivec(a, n1, name);
          for (long i = 1; row.fill != 0 && i <= a.size(); ++i) a[i] = row.fill;
        } else if constexpr (std::is_same_v<array_type, dmat>) {
          alloc_dmat(a, n1, n2, name);
        } else if constexpr (std::is_same_v<array_type, cmat>) {
          alloc_cmat(a, n1, n2, name);
        } else {
          alloc_d3d(a, n1, n2, n3, name);
        }
      },
      row.field);
}

// Settings of the weather distribution in long-term runs.
void set_long_term_settings(main_state& ms) {
  const auto& p = ms.project_params;
  ms.dalr_on = p.use_yes_dalr_flag;
  if (ms.dalr_on == 1) ms.lapse_rate = p.yes_dalr_flag;
  ms.veg_trans_min_on = p.use_veg_trans_min;
  ms.veg_trans_min = p.use_veg_trans_min ? p.veg_trans_min : 0.4;
  ms.n_met_gages = 1;
  ms.snap_mode_value = ms.snap_retention_on == 1 ? 6 : 1;
}

// ---- Overland output locations --------------------------------------------

// Fails the set-up with a message naming the location file.
void location_error(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  error_rec.code = already_printed_code;
  report_error(error_rec);
}

// The whole numbers of a location list in reading order, across lines; a
// token that is not one is printed naming the file, the line and the text.
class location_numbers {
 public:
  location_numbers(file_wrapper& f, const std::string& path) : f_(f), path_(path) {}
  // 1 with a number, 0 at the end of the file, -1 after a printed refusal.
  int next(int& out, const char* what) {
    std::string token;
    while (!pop_token(line_, token)) {
      if (!read_line(line_, f_)) return 0;
      ++line_no_;
    }
    const number_fault fault = read_int(token, out);
    if (fault == number_fault::none) return 1;
    location_error(format_string("Error: location file %s, line %d: %s: %s.\n", path_.c_str(), line_no_, what,
                                 number_fault_text(fault, token, INT_MIN, INT_MAX).c_str()));
    return -1;
  }

 private:
  file_wrapper& f_;
  const std::string& path_;
  std::string line_;
  int line_no_ = 0;
};

// Reads a location list: a count, then one "row col" line per location.
// A count, a row or a column that is not a whole number, a file shorter than
// its count, a count or a cell outside the grid stops the run.
void read_location_list(main_state& ms, file_wrapper& f, const std::string& path, int& count, ivec& row_of,
                        ivec& col_of) {
  if (!f.is_open()) return;
  location_numbers in(f, path);
  int n = 0;
  const int got = in.next(n, "the location count");
  if (got < 0) return;
  const long limit = static_cast<long>(ms.rows) * ms.cols;
  if (got == 0 || n < 0 || n > limit) {
    location_error(format_string("Error: the location count %d in file %s is not between 0 and %ld.\n", n,
                                 path.c_str(), limit));
    return;
  }
  count = n;
  alloc_ivec(row_of, n + 1, row_of.name());
  alloc_ivec(col_of, n + 1, col_of.name());
  for (int k = 1; k <= n; ++k) {
    int r = 0, c = 0;
    const int rows_read = in.next(r, "the row");
    if (rows_read < 0) return;
    const int cols_read = rows_read == 1 ? in.next(c, "the column") : 0;
    if (cols_read < 0) return;
    if (cols_read == 0) {
      location_error(format_string("Error: location file %s ends at location %d of its %d.\n", path.c_str(), k, n));
      return;
    }
    if (r < 1 || r > ms.rows || c < 1 || c > ms.cols) {
      location_error(format_string("Error: location %d in file %s is at row %d column %d, outside the grid of %d "
                                   "rows and %d columns.\n",
                                   k, path.c_str(), r, c, ms.rows, ms.cols));
      return;
    }
    row_of[k] = r;
    col_of[k] = c;
  }
}

}  // namespace

void read_elevation_map(main_state& ms) {
  ms.map_mode = map_reals_a;
  print_setup_line(ms, format_string("reading elevation map from file: %s\n", ms.elevation_path.c_str()));
  // The grid's coordinates are the mask's: the elevation header is read
  // beside them and must lie on the same grid.
  double north = 0, south = 0, east = 0, west = 0;
  int rows_read = 0, cols_read = 0;
  read_ascii_map(ms.fs_elevation, ms.elevation_path, map_reals_a, north, south, east, west, rows_read, cols_read,
                 ms.mask, &ms.elevation, nullptr, nullptr, ms.rows, ms.cols, ms.tool_mode);
  ms.fs_elevation.close();
  if (error_rec.stop) return;  // the reader has reported the map
  if (!map_edges_agree(ms, "elevation map", ms.elevation_path, north, south, east, west)) return;

  // The outlet cell is looked up only inside the grid itself.
  const long rows = ms.mask.empty() ? 0 : ms.mask.size1() - 1, cols = ms.mask.empty() ? 0 : ms.mask.size2() - 1;
  ms.outlet_cell = 0;
  if (ms.outlet_row >= 1 && ms.outlet_row <= rows && ms.outlet_col >= 1 && ms.outlet_col <= cols)
    ms.outlet_cell = ms.mask[ms.outlet_row][ms.outlet_col];
  if (ms.outlet_cell == 0) {
    std::fputs("\nThe outlet row and column you specified in the project file are not\n"
               "inside the watershed mask.  Check the outlet row and column again, and\n"
               "make sure they are correctly specified in the project file using the\n"
               "OUTROW and OUTCOL project file cards.  KAVRO terminating.\n\n",
               stdout);
    error_rec.code = already_printed_code;
    report_error(error_rec);
    return;
  }
  print_setup_line(ms, format_string("outlet is in grid cell: %d\n", ms.outlet_cell));
}

void compute_elevation_bands(main_state& ms) {
  ms.elev_max = -999999999999.9;
  ms.elev_min = 999999999999.9;
  ms.station_elev = ms.project_params.hmet_elev_gage;
  const double* z = ms.elevation.data();
  const long n = std::min<long>(ms.n_cells, ms.elevation.size());
  for (long i = 1; i <= n; ++i) {
    if (z[i] > ms.elev_max) ms.elev_max = z[i];
    if (z[i] < ms.elev_min) ms.elev_min = z[i];
  }
  if (ms.station_elev < 1e-16) ms.station_elev = ms.elev_min;
  if (ms.station_elev > ms.elev_max) ms.elev_max = ms.station_elev;
  if (ms.station_elev < ms.elev_min) ms.elev_min = ms.station_elev;
  ms.elev_band_width = 100.0;
  const double bands = std::floor((ms.elev_max - ms.elev_min) / ms.elev_band_width);
  // The bands size a weather table; a station elevation or a range that is
  // not a plausible height gives no usable band count.
  if (!(bands >= 0 && bands <= 1e6)) {
    std::printf("Error: the elevations from %f m to %f m (station %f m) give no usable elevation bands.\n",
                ms.elev_min, ms.elev_max, ms.station_elev);
    error_rec.code = already_printed_code;
    report_error(error_rec);
    return;
  }
  ms.n_elev_bands = static_cast<int>(bands) + 4;
}

void alloc_cell_arrays(main_state& ms) {
  if (ms.long_term_on == 1) set_long_term_settings(ms);
  if (richards_columns(ms)) ms.richards_num_size = 151;
  for (const cell_array_row& row : cell_array_table)
    if (row.when(ms)) allocate_row(ms, row);

  if (ms.overland_depths_on)
    read_location_list(ms, ms.overland_depth_location_file, ms.overland_depth_location_path,
                       ms.n_ov_depth_locations, ms.overland_depth_row, ms.overland_depth_col);
  if (error_rec.stop) return;
  if (ms.overland_wse_on)
    read_location_list(ms, ms.overland_wse_location_file, ms.overland_wse_location_path, ms.n_ov_wse_locations,
                       ms.overland_wse_row, ms.overland_wse_col);
}

void alloc_zeroed_cell_array(main_state& ms) { alloc_dvec(ms.snow_cell_buffer, ms.n_cells, "snow_cell_buffer"); }

}  // namespace kavro
