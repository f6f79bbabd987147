// The end-of-run water balance on records filled by hand: the stores are
// measured from the cell state, the balances close when the books do, and
// no balance divides by zero.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <string>

#include "../framework/event_test_support.h"
#include "output/final_summary.h"
#include "output/output_steps.h"
#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::read_file;

class FinalSummary : public testing::Test {
 protected:
  void SetUp() override {
    ms = new_record();
    make_cells(*ms, 4, 10.0);  // 4 cells of 100 m2
    // The end-of-run files (a groundwater hotstart...) go to the scratch folder.
    set_output_folder(dir.path().string());
    ASSERT_TRUE(ms->fs_summary.open((dir / "summary.txt").string(), "w"));
  }
  void TearDown() override { set_output_folder(""); }
  std::string summary(std::string* console = nullptr) {
    const std::string out = printed_by([&] { write_final_summary(*ms); });
    if (console) *console = out;
    const std::string name = ms->fs_summary.name;
    ms->fs_summary.close();
    return read_file(name);
  }

  kavro_test::scratch_dir dir;
  std::unique_ptr<main_state> ms;
};

TEST_F(FinalSummary, RainThatLeftOrStayedOnTheSurfaceCloses) {
  // 0.1 m of rain on 400 m2: 30 m3 discharged, 10 m3 still on the cells.
  ms->vol_precip_total = 40.0;
  ms->vol_discharge_total = 30.0;
  for (long k = 1; k <= 4; ++k) ms->ov_depth[k] = 0.025;
  const std::string text = summary();
  EXPECT_NE(text.find("Total amount of precip=                                  40.00\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Final volume on surface=                                 10.00\n"), std::string::npos);
  EXPECT_NE(text.find("Mass balance error of surface components =                0.000000 percent\n\n"),
            std::string::npos);
  EXPECT_NE(text.find("Overall mass balance error =                              0.000000 percent\n \n"),
            std::string::npos);
  EXPECT_DOUBLE_EQ(ms->vol_final_total, 10.0);
  EXPECT_NEAR(ms->overall_mass_error, 0.0, 1e-12);
  EXPECT_EQ(text.find("WARNING"), std::string::npos);
  EXPECT_EQ(text.find("GROUNDWATER CALCULATIONS"), std::string::npos);
}

TEST_F(FinalSummary, ClosedBoxKeepsItsWater) {
  ms->vol_surface_init = 147.5;
  for (long k = 1; k <= 4; ++k) ms->ov_depth[k] = 147.5 / 400.0;
  const std::string text = summary();
  EXPECT_DOUBLE_EQ(kavro_test::figure(text, "Initial volume on surface="), 147.5);
  EXPECT_DOUBLE_EQ(kavro_test::figure(text, "Final volume on surface="), 147.5);
  EXPECT_DOUBLE_EQ(kavro_test::figure(text, "Mass balance error of surface components ="), 0.0);
  EXPECT_LT(std::fabs(ms->overall_mass_error), 1e-12);
}

TEST_F(FinalSummary, StoresAreMeasuredAlsoWithoutARunLog) {
  ms->fs_summary.close();
  ms->vol_precip_total = 40.0;
  for (long k = 1; k <= 4; ++k) ms->ov_depth[k] = 0.1;
  write_final_summary(*ms);
  EXPECT_DOUBLE_EQ(ms->vol_surface_final, 40.0);
  EXPECT_NEAR(ms->overall_mass_error, 0.0, 1e-12);
}

TEST_F(FinalSummary, EmptyRunsPrintZeroErrorsAndNoUndefinedNumbers) {
  ms->gw_simulation_on = 1;  // a groundwater volume of 0 at the start
  ms->sacramento_on = 1;     // and a Sacramento run without rain
  std::string console;
  const std::string text = summary(&console);
  EXPECT_FALSE(std::regex_search(text, std::regex(R"(\b(nan|inf)\b)", std::regex::icase))) << text;
  EXPECT_DOUBLE_EQ(kavro_test::figure(text, "Mass Balance error ="), 0.0);
  EXPECT_DOUBLE_EQ(kavro_test::figure(text, "Overall mass balance error ="), 0.0);
  EXPECT_EQ(console.find("WARNING"), std::string::npos);
}

TEST_F(FinalSummary, ErrorsOfEitherSignAboveOnePercentWarn) {
  const struct {
    double discharge;
    bool warns;
  } cases[] = {{98.0, true}, {99.0, false}, {105.0, true}, {100.5, false}};
  for (const auto& c : cases) {
    SetUp();
    ms->vol_precip_total = 100.0;
    ms->vol_discharge_total = c.discharge;
    std::string console;
    const std::string text = summary(&console);
    EXPECT_EQ(occurrences(text, "WARNING:  Overall Mass balance ERROR is greater than 1 percent, CHECK YOUR MODEL! \n"),
              c.warns ? 1 : 0)
        << c.discharge;
    EXPECT_EQ(occurrences(console, "WARNING: Overall Mass Balance ERROR is high!"), c.warns ? 1 : 0) << c.discharge;
  }
}

// The overall balance takes each of its terms on its own side: 40 m3 that
// came in by one input and stands on the cells at the end, or 40 m3 of rain
// that left by one output, close it. A term left out of the sums, or booked
// on the wrong side, shows as a whole error.
TEST_F(FinalSummary, EveryInputAndOutputTermClosesTheOverallBalance) {
  struct term {
    const char* name;
    double main_state::*field;
    bool input;
    int green_ampt;  // infiltration leaves the surface with Green-Ampt, else the unsaturated flux
  };
  const term terms[] = {
      {"rain", &main_state::vol_precip_total, true, 0},
      {"groundwater boundary flux", &main_state::vol_gw_bound_flux_total, true, 0},
      {"overland point sources", &main_state::vol_ov_point_sources_total, true, 0},
      {"groundwater into lakes", &main_state::vol_gw_to_lakes_total, true, 0},
      {"channel point sources", &main_state::vol_chan_point_sources_total, true, 0},
      {"overland boundary inflow", &main_state::vol_ov_bound_in_total, true, 0},
      {"groundwater into rivers", &main_state::vol_gw_to_river_total, true, 0},
      {"discharge", &main_state::vol_discharge_total, false, 0},
      {"evaporation", &main_state::vol_evap_total, false, 0},
      {"overland boundary outflow", &main_state::vol_ov_bound_out_total, false, 0},
      {"lakes into groundwater", &main_state::vol_lakes_to_gw_total, false, 0},
      {"lake evaporation", &main_state::vol_lake_evap_total, false, 0},
      {"Green-Ampt infiltration", &main_state::vol_infiltration_total, false, 1},
      {"unsaturated downward flux", &main_state::vol_unsat_down_total, false, 0},
      {"rivers into groundwater", &main_state::vol_river_to_gw_total, false, 0},
  };
  for (const term& t : terms) {
    SCOPED_TRACE(t.name);
    SetUp();
    ms->green_ampt_on = t.green_ampt;
    (*ms).*t.field = 40.0;
    if (t.input) {
      for (long k = 1; k <= 4; ++k) ms->ov_depth[k] = 0.1;  // 40 m3 on 400 m2
    } else {
      ms->vol_precip_total = 40.0;
    }
    const std::string text = summary();
    EXPECT_NEAR(ms->overall_mass_error, 0.0, 1e-12) << text;
  }
}

TEST_F(FinalSummary, OverlandLakesCountInBothBalances) {
  // Cells 1 and 2 under lake 1 at level 100.5 over ground at 100.0: 100 m3
  // at the start; 20 m3 of rain on the lake raise it to 100.6.
  ms->overland_lake_on = 1;
  ms->olake_table.allocate(1);
  ms->oland_lake_mask.allocate(4);
  ms->oland_lake_new.allocate(4);
  for (long k = 1; k <= 4; ++k) ms->elevation[k] = 100.0;
  ms->oland_lake_mask[1] = ms->oland_lake_mask[2] = 1;
  ms->oland_lake_new[1] = ms->oland_lake_new[2] = 1;
  ms->olake_table[1].level = 100.5;
  ms->vol_ov_lakes_init = 100.0;
  ms->olake_table[1].level = 100.6;
  ms->vol_precip_total = 20.0;
  ms->vol_into_ov_lakes_total = 20.0;
  // The overland solver's depth in a lake cell is lake water, not surface water.
  ms->ov_depth[1] = ms->ov_depth[2] = 0.6;
  const std::string text = summary();
  EXPECT_NEAR(ms->vol_ov_lakes_final, 120.0, 1e-9);
  EXPECT_DOUBLE_EQ(ms->vol_surface_final, 0.0);
  EXPECT_NEAR(ms->overall_mass_error, 0.0, 1e-9) << text;
  EXPECT_NEAR(ms->surface_mass_error, 0.0, 1e-9) << text;
  EXPECT_NEAR(kavro_test::figure(text, "Overland lake mass bal error m^3:"), 0.0, 1e-9);
  EXPECT_NEAR(kavro_test::figure(text, "Final volume in overland lakes="), 120.0, 1e-9);
}

// The aquifer is measured with its porosity, as at the start: the solver's
// storage coefficient (here the soil zone's 0.45 near the ground) only
// scales head changes.
TEST_F(FinalSummary, GroundwaterStoreIsMeasuredWithTheAquiferPorosity) {
  ms->gw_simulation_on = 1;
  ms->bottom_elev.allocate(4);
  ms->gw_storage.allocate(4);
  ms->gw_porosity.allocate(4);
  for (long k = 1; k <= 4; ++k) {
    ms->elevgw[k] = 10.0;
    ms->gw_porosity[k] = 0.2;
    ms->gw_storage[k] = 0.45;
  }
  ms->vol_gw_init = 4 * 9.0 * 0.2 * 100.0;  // the heads rose 1 m from 9 m
  ms->vol_gw_inputs_total = 4 * 1.0 * 0.2 * 100.0;
  ms->vol_precip_total = 80.0;
  ms->vol_unsat_down_total = 80.0;
  ms->vol_recharge_total = 80.0;
  ms->vol_infiltration_total = 80.0;
  const std::string text = summary();
  EXPECT_DOUBLE_EQ(ms->vol_gw_final, 800.0);
  EXPECT_NEAR(kavro_test::figure(text, "Mass Balance error ="), 0.0, 1e-9) << text;
  EXPECT_NEAR(ms->overall_mass_error, 0.0, 1e-9) << text;
}

TEST_F(FinalSummary, MultiLayerSoilColumnIsItsTopTwoLayers) {
  // A 30 cm column (10 + 20 cm) over a water table 1.3 m down: the 1 m
  // between them holds theta 0.3.
  ms->soil_redist_on = 1;
  ms->water_table_on = 1;
  ms->multi_layer_ga_on = 1;
  ms->soil_moist_depth_cm = 40.0;
  ms->soil_type_table[1].layer_depth[1] = 10.0;
  ms->soil_type_table[1].layer_depth[2] = 20.0;
  for (long k = 1; k <= 4; ++k) {
    ms->soiltype[k] = 1;
    ms->elevation[k] = 10.0;
    ms->elevgw[k] = 8.7;
    ms->gw_inf_redist_theta[k] = 0.3;
    ms->soil_column_water_cm[k] = 5.0;
  }
  const double depth_before = ms->soil_moist_depth_cm;
  summary();
  EXPECT_NEAR(ms->vol_soil_final, 4 * (1.0 * 0.3 + 0.05) * 100.0, 1e-9);
  EXPECT_NEAR(ms->vol_soil_water_end, 4 * 0.05 * 100.0, 1e-9);
  EXPECT_EQ(ms->soil_moist_depth_cm, depth_before);
}

TEST_F(FinalSummary, OnlyOvertoppedCellsAreListed) {
  ms->dike_on = ms->lowspot_on = 1;
  ms->low_spot_flow_cell.allocate(4);
  ms->low_spot_flow_cell[1] = ms->low_spot_flow_cell[2] = 1;
  const std::string text = summary();
  EXPECT_NE(text.find("You specifed overland dikes and lowspots \n"
                      "The following cells experienced flow from over the embankment \n"
                      "If no cells are listed then there was no flow overtopping the dike \n"
                      "Check the 'maskmap' to see the location of these cells \n"
                      "Dike Overtopped in cell:  1 \nDike Overtopped in cell:  2 \n\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(occurrences(text, "Dike Overtopped"), 2);

  SetUp();
  ms->dike_on = 1;  // embankments without low spots: no list
  EXPECT_EQ(summary().find("dikes and lowspots"), std::string::npos);
}

TEST_F(FinalSummary, ChannelLakesHoldTheirCellsWater) {
  ms->lakes_on = 1;
  ms->lake_mask.allocate(4);
  ms->lake_mask[4] = 1;
  ms->ov_depth[4] = 2.0;  // in the lake
  ms->ov_depth[1] = 0.1;
  ms->n_lakes = 1;
  ms->lake_volume.allocate(1);
  ms->lake_volume[1] = 500.0;
  ms->vol_lakes_perennial_init = 490.0;
  ms->vol_lake_inflow_total = 10.0;
  const std::string text = summary();
  EXPECT_DOUBLE_EQ(ms->vol_surface_final, 10.0);
  EXPECT_DOUBLE_EQ(kavro_test::figure(text, "Final volume in perennial lakes"), 500.0);
  EXPECT_DOUBLE_EQ(kavro_test::figure(text, "Perennial lake mass bal error m^3="), 0.0);
}

}  // namespace
}  // namespace kavro
