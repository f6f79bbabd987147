// Elevation bands, the per-cell allocation table and the overland output
// location lists.
#include "input/cell_arrays.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/error_record.h"
#include "grid_test_support.h"

namespace kavro {
namespace {

using kavro_test::console_of;
using kavro_test::number_grid;
using kavro_test::write_file;

class CellArrays : public kavro_test::grid_test {
 public:
  // A grid of `n` active cells in one row with the given elevations.
  void cells_at(const std::vector<double>& z) {
    number_grid(ms(), {std::string(z.size(), '1')});
    ms().elevation.allocate(static_cast<long>(z.size()));
    for (size_t i = 0; i < z.size(); ++i) ms().elevation[static_cast<long>(i) + 1] = z[i];
  }
};

TEST_F(CellArrays, ElevationBandsSpanCellsAndStation) {
  struct band_case {
    std::vector<double> z;
    double station;  // card HMET_ELEV_GAGE, 0 when absent
    double station_elev, elev_min, elev_max;
    int bands;
  };
  const band_case cases[] = {
      {{210.0, 480.0}, 0.0, 210.0, 210.0, 480.0, 6},
      {{100.0, 150.0, 200.0}, 0.0, 100.0, 100.0, 200.0, 5},
      {{200.0, 300.0}, 1500.0, 1500.0, 200.0, 1500.0, 17},
      {{50.0}, 0.0, 50.0, 50.0, 50.0, 4},
  };
  for (const band_case& c : cases) {
    SCOPED_TRACE(c.bands);
    TearDown();
    SetUp();
    cells_at(c.z);
    ms().project_params.hmet_elev_gage = c.station;
    compute_elevation_bands(ms());
    EXPECT_DOUBLE_EQ(ms().station_elev, c.station_elev);
    EXPECT_DOUBLE_EQ(ms().elev_min, c.elev_min);
    EXPECT_DOUBLE_EQ(ms().elev_max, c.elev_max);
    EXPECT_DOUBLE_EQ(ms().elev_band_width, 100.0);
    EXPECT_EQ(ms().n_elev_bands, c.bands);
  }
}

TEST_F(CellArrays, UnusableStationElevationStopsTheRun) {
  cells_at({100.0, 200.0});
  ms().project_params.hmet_elev_gage = 1e300;
  const std::string out = console_of([&] { compute_elevation_bands(ms()); });
  EXPECT_NE(out.find("give no usable elevation bands"), std::string::npos) << out;
  EXPECT_EQ(error_rec.stop, 1);
}

// Which arrays exist for which switches: each case sets its switches on a
// grid of 8 cells and names arrays that must and must not be allocated.
TEST_F(CellArrays, SwitchesDecideWhichArraysExist) {
  using probe = std::function<long(const main_state&)>;  // size of one array, 0 when empty
  struct table_case {
    const char* name;
    std::function<void(main_state&)> switches;
    std::vector<probe> present;
    std::vector<probe> absent;
  };
  const probe soiltype = [](const main_state& m) { return m.soiltype.size(); };
  const probe dtr = [](const main_state& m) { return m.dtr.size(); };
  const probe init_moisture = [](const main_state& m) { return m.init_moisture.size(); };
  const probe soil_moisture = [](const main_state& m) { return m.soil_moisture.size(); };
  const probe swe = [](const main_state& m) { return m.swe.size(); };
  const probe conductivity = [](const main_state& m) { return m.conductivity.size(); };
  const probe porosity = [](const main_state& m) { return m.porosity.size(); };
  const probe residual_sat = [](const main_state& m) { return m.residual_sat.size(); };
  const probe cum_infil_depth = [](const main_state& m) { return m.cum_infil_depth.size(); };
  const probe ov_depth = [](const main_state& m) { return m.ov_depth.size(); };
  const probe ri_eff = [](const main_state& m) { return m.ri_eff.size(); };
  const probe icep_dep = [](const main_state& m) { return m.icep_dep.size(); };
  const probe A = [](const main_state& m) { return m.A.size(); };
  const probe elevgw = [](const main_state& m) { return m.elevgw.size(); };
  const table_case cases[] = {
      {"nothing switched on", [](main_state&) {}, {ov_depth},
       {soiltype, dtr, init_moisture, soil_moisture, swe, conductivity, ri_eff}},
      {"Green-Ampt only", [](main_state& m) { m.green_ampt_on = 1; }, {init_moisture, soil_moisture},
       {soiltype, dtr}},
      {"Richards", [](main_state& m) { m.richards_on = 1; }, {soiltype, dtr, elevgw}, {A}},
      {"groundwater without Richards", [](main_state& m) { m.gw_simulation_on = 1; }, {A}, {dtr}},
      {"INIT_SWE_DEPTH in an event run", [](main_state& m) { m.project_params.init_swe_kind = 3; }, {swe}, {}},
      {"READ_SM_HOTSTART without infiltration",
       [](main_state& m) { m.project_params.use_read_sm_hotstart = 1; }, {soil_moisture}, {init_moisture}},
      {"moisture received from the host", [](main_state& m) { m.moist_from_vopa_on = 1; },
       {init_moisture, porosity, residual_sat}, {}},
      {"moisture sent to the host", [](main_state& m) { m.moist_to_vopa_on = 1; }, {cum_infil_depth}, {}},
      {"conductivity received from the host", [](main_state& m) { m.ksat_from_vopa_on = 1; }, {conductivity}, {}},
      {"porosity sent to the host", [](main_state& m) { m.poros_to_vopa_on = 1; }, {porosity}, {}},
      {"canopy snow interception without interception", [](main_state& m) { m.snow_canopy_intercept_on = 1; },
       {ri_eff}, {icep_dep}},
  };
  for (const table_case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    number_grid(ms(), {"0110", "1111", "0110"});
    c.switches(ms());
    alloc_cell_arrays(ms());
    for (size_t i = 0; i < c.present.size(); ++i) EXPECT_EQ(c.present[i](ms()), 8) << "present #" << i;
    for (size_t i = 0; i < c.absent.size(); ++i) EXPECT_EQ(c.absent[i](ms()), 0) << "absent #" << i;
    EXPECT_EQ(error_rec.stop, 0);
  }
}

TEST_F(CellArrays, RichardsColumnsStartAsFirstTypeBoundaries) {
  number_grid(ms(), {"0110", "1111", "0110"});
  ms().richards_on = 1;
  alloc_cell_arrays(ms());
  EXPECT_EQ(ms().richards_num_size, 151);
  EXPECT_EQ(ms().num1.size(), 151);
  ASSERT_EQ(ms().bound_type.size(), 8);
  for (long n = 1; n <= 8; ++n) EXPECT_EQ(ms().bound_type[n], 1) << n;
  EXPECT_EQ(ms().bound_type[0], 0);
}

TEST_F(CellArrays, LongTermRunsGetWeatherSettingsAndTables) {
  number_grid(ms(), {"0110", "1111", "0110"});
  ms().long_term_on = 1;
  ms().n_elev_bands = 5;
  ms().snap_retention_on = 1;
  alloc_cell_arrays(ms());
  EXPECT_DOUBLE_EQ(ms().veg_trans_min, 0.4) << "VEG_TRANS_MIN absent";
  EXPECT_EQ(ms().veg_trans_min_on, 0);
  EXPECT_EQ(ms().n_met_gages, 1);
  EXPECT_EQ(ms().snap_mode_value, 6);
  EXPECT_EQ(ms().El_T_P_e_es_LR.size1(), 1);
  EXPECT_EQ(ms().El_T_P_e_es_LR.size2(), 5);
  EXPECT_EQ(ms().wave.size2(), 51);
  EXPECT_EQ(ms().Cell_Aspect_Eff_Rad_Percent.size(), 9);
  EXPECT_EQ(ms().cell_hour_flags.size1(), 8);
  EXPECT_EQ(ms().swe.size(), 8);

  TearDown();
  SetUp();
  number_grid(ms(), {"1"});
  ms().long_term_on = 1;
  ms().n_elev_bands = 4;
  ms().project_params.use_veg_trans_min = 1;
  ms().project_params.veg_trans_min = 0.7;
  alloc_cell_arrays(ms());
  EXPECT_DOUBLE_EQ(ms().veg_trans_min, 0.7);
  EXPECT_EQ(ms().snap_mode_value, 1);
}

TEST_F(CellArrays, LocationListsAreReadAndCheckedAgainstTheGrid) {
  struct list_case {
    const char* text;
    int stop;
    int count;
    const char* message;
  };
  const list_case cases[] = {
      {"2\n1 2\n3 3\n", 0, 2, nullptr},
      {"2 1 2\n3\n3\n", 0, 2, nullptr},  // lines do not matter
      {"3\n1 2\n", 1, 0, "ends at location 2 of its 3"},
      {"2\n1 2\n4 1\n", 1, 0, "Error: location 2 in file"},
      {"-1\n", 1, 0, "Error: the location count -1 in file"},
      {"2\n1 2\n3 3x\n", 1, 0, "line 3: the column: the value \"3x\" is not a number"},
      {"1e308\n", 1, 0, "line 1: the location count: the whole number 1e308 is beyond the range"},
      {"nan\n1 2\n", 1, 0, "line 1: the location count: the value nan is not a whole number"},
  };
  for (const list_case& c : cases) {
    SCOPED_TRACE(c.text);
    TearDown();
    SetUp();
    number_grid(ms(), {"0110", "1111", "0110"});
    write_file(scratch() / "loc.txt", c.text);
    ms().overland_depths_on = 1;
    open_input(ms().overland_depth_location_file, ms().overland_depth_location_path, scratch() / "loc.txt");
    const std::string out = console_of([&] { alloc_cell_arrays(ms()); });
    EXPECT_EQ(error_rec.stop, c.stop);
    if (c.message) {
      EXPECT_NE(out.find(c.message), std::string::npos) << out;
      EXPECT_NE(out.find("loc.txt"), std::string::npos) << "the message names the file";
      continue;
    }
    EXPECT_EQ(ms().n_ov_depth_locations, c.count);
    EXPECT_EQ(ms().overland_depth_row[1], 1);
    EXPECT_EQ(ms().overland_depth_col[1], 2);
    EXPECT_EQ(ms().overland_depth_row[2], 3);
  }
}

}  // namespace
}  // namespace kavro
