// The moved water table and the soil above it: a Richards column whose
// water table reaches the ground becomes one saturated node, a column that
// cannot hold the nodes of a deep water table stops the run, a water table
// rising through three nodes or more halves the sub-step, and on the
// soil-moisture path a water table at the ground empties the zone into the
// aquifer's recharge and opens a runoff event between storms.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "subsurface/groundwater_flow.h"
#include "subsurface/subsurface_steps.h"

namespace kavro {
namespace {

// One 10 m cell, ground 100 m, aquifer bottom 90 m, a Richards column of
// `nodes` node slots: three 10 cm layers of 5 cm nodes, porosity 0.4, the
// water table at node 5 (20 cm down).
struct column_cell {
  std::unique_ptr<main_state> owner = std::make_unique<main_state>();
  main_state& ms = *owner;

  explicit column_cell(int nodes) {
    ms.n_cells = 1;
    ms.rows = ms.cols = ms.grid_rows = ms.grid_cols = 1;
    ms.dx = 10.0;
    ms.richards_on = 1;
    ms.richards_max_nodes = nodes;
    ms.aquifer_delta_z = 0.1;
    ms.mask.allocate(2, 2);
    ms.mask[1][1] = 1;
    for (ivec* v :
         {&ms.abovecon, &ms.belowcon, &ms.leftcon, &ms.rightcon, &ms.numcells, &ms.numtot, &ms.soiltype})
      v->allocate(1);
    for (ivec* v : {&ms.num1, &ms.num2, &ms.num3}) v->allocate(2);
    for (dmat* m : {&ms.DZ, &ms.THETA, &ms.THETAS, &ms.PHEAD}) m->allocate(1, nodes);
    ms.elevation.allocate(1);
    EXPECT_TRUE(alloc_groundwater_work(ms));
    soil_type_params& st = ms.soil_type_table[1];
    for (int l = 1; l <= 3; ++l) {
      st.layer_depth[l] = 10.0;
      st.layer_node_spacing[l] = 5.0;
      st.layer_porosity[l] = 0.4;
    }
    ms.soiltype[1] = 1;
    ms.num1[1] = 2;
    ms.num2[1] = 4;
    ms.num3[1] = 6;
    ms.numcells[1] = 5;
    ms.numtot[1] = nodes;
    for (int k = 0; k <= nodes; ++k) {
      ms.DZ[1][k] = 5.0;
      ms.THETAS[1][k] = 0.4;
      ms.THETA[1][k] = k < 5 ? 0.2 : 0.4;
    }
    ms.elevation[1] = 100.0;
    ms.bottom_elev[1] = 90.0;
    ms.elevgw[1] = 99.8;
    ms.gwbound[1] = 1;
    error_rec = error_record{};
  }
};

TEST(GroundwaterColumns, RebuildAtTheGroundAndBeyondTheColumn) {
  {
    column_cell c(12);
    c.ms.elevgw[1] = 100.3;
    ASSERT_TRUE(rebuild_soil_column(c.ms, 1));
    EXPECT_EQ(c.ms.numcells[1], 1);
    EXPECT_EQ(c.ms.yes_exfil[1], 1);
    EXPECT_DOUBLE_EQ(c.ms.DZ[1][1], 5.0);
    EXPECT_NEAR(c.ms.PHEAD[1][1], 0.3 * 100.0 + 2.5, 1e-9);
  }
  {  // 3 m down needs about 30 aquifer nodes of 10 cm: more than 12 slots.
    column_cell c(12);
    c.ms.elevgw[1] = 97.0;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(rebuild_soil_column(c.ms, 1));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("soil column of cell 1"), std::string::npos) << out;
    EXPECT_EQ(error_rec.code, already_printed_code);
    error_rec = error_record{};
  }
}

TEST(GroundwaterColumns, RisingThroughThreeNodesHalvesTheSubstep) {
  column_cell c(12);
  c.ms.gw_sink[1] = -1e-4;  // 1 cm of water every 100 s into the aquifer
  double dt = 3600.0;
  ASSERT_TRUE(gw_substep_control(c.ms, 1, dt));
  // Nodes above the water table hold 2 cm each: 2.25 cm crosses two.
  EXPECT_DOUBLE_EQ(dt, 225.0);
  c.ms.gw_sink[1] = -1e-6;
  dt = 3600.0;
  ASSERT_TRUE(gw_substep_control(c.ms, 1, dt));
  EXPECT_DOUBLE_EQ(dt, 3600.0) << "0.36 cm crosses one node: no halving";
}

TEST(GroundwaterStep, WaterTableAtTheGroundEmptiesTheZoneAndOpensARunoffEvent) {
  column_cell c(12);
  main_state& ms = c.ms;
  ms.richards_on = 0;
  ms.gw_simulation_on = 1;
  ms.soil_redist_on = ms.inf_redist_on = 1;
  ms.gw_lsor_con = 1e-5;
  ms.time_tol = 1e-7;
  ms.now = ms.next_gw_time = 2455000.5;
  ms.last_gw_time = ms.now - 1.0 / 24.0;
  ms.gw_interval_days = 1.0 / 24.0;
  ms.dt_base = 60.0;
  for (dvec* v : {&ms.soil_layer_cm, &ms.soil_column_water_cm, &ms.soil_water_cm, &ms.soil_water2_cm,
                  &ms.gw_recharge_cum, &ms.rich_bottom_flux, &ms.porosity, &ms.residual_sat,
                  &ms.field_capacity, &ms.gw_inf_redist_theta})
    v->allocate(1);
  // What the opened event restarts: the redistribution state of the cell and
  // the direct evaporation it kept.
  for (ivec* v : {&ms.iter_pond_1, &ms.iter_n, &ms.no_wat_prof, &ms.iter_i_less_k}) v->allocate(1);
  for (dvec* v : {&ms.redist_work, &ms.cum_infil, &ms.cum_infil_prev, &ms.init_moisture, &ms.redist_theta1,
                  &ms.redist_theta2, &ms.DIRECT_EVAP})
    v->allocate(1);
  ms.iter_n[1] = 7;
  ms.cum_infil[1] = 0.02;
  ms.DIRECT_EVAP[1] = 0.5;
  ms.porosity[1] = 0.45;
  ms.gw_porosity[1] = 0.3;
  ms.residual_sat[1] = 0.05;
  ms.soil_layer_cm[1] = 40.0;
  ms.soil_water_cm[1] = 4.0;
  ms.soil_water2_cm[1] = 6.0;
  ms.soil_column_water_cm[1] = 10.0;
  ms.elevgw[1] = 100.0;
  ms.gwbound[1] = 2;  // the head stays at the ground
  groundwater_step(ms);
  EXPECT_EQ(error_rec.code, 0);
  EXPECT_DOUBLE_EQ(ms.rich_bottom_flux[1], 10.0);
  EXPECT_EQ(ms.soil_layer_cm[1], 0.0);
  EXPECT_EQ(ms.soil_column_water_cm[1], 0.0);
  EXPECT_EQ(ms.yes_exfil[1], 1);
  EXPECT_EQ(ms.any_exfil, 1);
  EXPECT_EQ(ms.runoff_active, 1);
  EXPECT_DOUBLE_EQ(ms.next_infil_time, ms.now + 60.0 / 86400.0);
  EXPECT_DOUBLE_EQ(ms.precip_period_end, ms.now + 60.0 / 86400.0);
  EXPECT_DOUBLE_EQ(ms.next_et_time, ms.now + 60.0 / 86400.0);
  EXPECT_DOUBLE_EQ(ms.event_start_time, ms.now);
  EXPECT_EQ(ms.redist_reinit, 1);
  EXPECT_EQ(ms.iter_n[1], 0);
  EXPECT_EQ(ms.cum_infil[1], 0.0);
  EXPECT_EQ(ms.DIRECT_EVAP[1], 0.0);
  EXPECT_DOUBLE_EQ(ms.vol_direct_evap_total, 0.5 / 100.0 * 100.0) << "0.5 cm over 100 m2";
  EXPECT_DOUBLE_EQ(ms.next_gw_time, ms.now + 1.0 / 24.0);
  EXPECT_EQ(gw_storage_coefficient(ms, 1), 1.0) << "the open surface stores all it holds";
}

}  // namespace
}  // namespace kavro
