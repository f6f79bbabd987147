// The event start: its gate, the surface and soil state it restores and the
// event-start volumes it measures.
#include "framework/event_start.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "event_test_support.h"

namespace kavro {
namespace {

const double event_start = julian_date(2001, 6, 1, 12, 0, 0.0);

// A record whose next event starts now.
std::unique_ptr<main_state> at_event_start(int n_cells) {
  auto ms = new_record();
  start_clock(*ms, event_start, 60);
  make_cells(*ms, n_cells, 1.0);
  ms->next_event_start = event_start;
  ms->loop_pass = 2;
  ms->quiet = 1;
  ms->tool_mode = 1;
  return ms;
}

TEST(EventStart, ActsOnlyStrictlyWithinTheTimingTolerance) {
  auto ms = at_event_start(1);
  ms->next_event_start = 0.0;
  ms->now = ms->time_tol;  // exactly one tolerance away
  event_start_step(*ms);
  EXPECT_EQ(ms->runoff_active, 0);
  ms->now = ms->time_tol * 0.5;
  event_start_step(*ms);
  EXPECT_EQ(ms->runoff_active, 1);
  EXPECT_EQ(ms->rain_not_started, 1);
}

TEST(EventStart, SingleEventRunPrintsItsDurationAndSetsItsEnd) {
  auto ms = at_event_start(1);
  ms->tool_mode = 0;
  ms->sim_duration_min = 90;
  EXPECT_EQ(printed_by([&] { event_start_step(*ms); }), "simulation duration 90 minutes\n");
  EXPECT_DOUBLE_EQ(ms->run_end_time, ms->start_time + 90.0 / 1440.0);

  ms = at_event_start(1);
  ms->long_term_on = 1;
  ms->tool_mode = 0;
  EXPECT_EQ(printed_by([&] { event_start_step(*ms); }), "");
  EXPECT_EQ(ms->run_end_time, 0.0);
}

TEST(EventStart, AWetlandCellIsLoweredOncePerRun) {
  auto ms = at_event_start(2);
  ms->long_term_on = 1;
  ms->wetlands_on = 1;
  ms->wetland_mask.allocate(2);
  ms->wetland_mask[1] = 1;
  ms->wetland_table.allocate(1);
  ms->wetland_table[1].initial_depth = 0.2;
  ms->wetland_table[1].elev_drop = 0.5;
  ms->elevation[1] = ms->elevation[2] = 100.0;
  ms->ov_depth[2] = 0.3;
  for (int event = 1; event <= 3; ++event) {
    ms->next_event_start = ms->now;
    event_start_step(*ms);
  }
  EXPECT_DOUBLE_EQ(ms->elevation[1], 99.5);
  EXPECT_DOUBLE_EQ(ms->ov_depth[1], 0.2);
  EXPECT_DOUBLE_EQ(ms->elevation[2], 100.0);
  EXPECT_DOUBLE_EQ(ms->ov_depth[2], 0.0);
  EXPECT_DOUBLE_EQ(ms->vol_overland_init, 0.2);  // the wetland's standing water
}

TEST(EventStart, StandingWaterAboveAMillilitreIsTheFirstInput) {
  for (double depth : {1e-6, 2e-6}) {
    auto ms = at_event_start(1);
    ms->project_params.use_ov_init_depth = 1;
    ms->ov_depth[1] = depth;
    event_start_step(*ms);
    EXPECT_EQ(ms->rain_not_started, depth > 1e-6 ? 0 : 1) << depth;
    EXPECT_EQ(ms->event_rain_acc, depth > 1e-6 ? depth : 0.0) << depth;
  }
}

// A run that continues another from its hotstart keeps the depth already
// infiltrated at its first event only; without the hotstart every event
// starts dry.
TEST(EventStart, InfiltratedDepthFromAHotstartLastsOneEventStart) {
  for (const int from_hotstart : {0, 1}) {
    auto ms = at_event_start(1);
    ms->long_term_on = 1;
    ms->green_ampt_on = 1;
    ms->cum_infil[1] = 0.0125;
    ms->cum_infil_from_hotstart = from_hotstart;
    event_start_step(*ms);
    EXPECT_EQ(ms->cum_infil[1], from_hotstart ? 0.0125 : 0.0) << from_hotstart;
    EXPECT_EQ(ms->cum_infil_prev[1], ms->cum_infil[1]);
    ms->cum_infil[1] = 0.02;
    ms->next_event_start = ms->now;
    event_start_step(*ms);
    EXPECT_EQ(ms->cum_infil[1], 0.0) << from_hotstart;
  }
}

// Multi-layer Green-Ampt: layers 10 and 20 cm thick, porosity 0.5, residual 0.05.
struct layer_case {
  const char* label;
  double z, sw1, sw2;
  double theta1, theta2, theta3;
};

TEST(EventStart, MultiLayerStartMoistureFromTheLongTermSoilWater) {
  const layer_case cases[] = {
      {"water table in the first layer", 5, 1, 0, 0.2, 0.5, 0.5},
      {"second layer water over the depth below the first", 20, 2, 1, 0.2, 0.1, 0.5},
      {"water table at the bottom of the first layer", 10, 2, 0, 0.2, 0.5, 0.5},
      {"water table below both layers", 40, 3, 4, 0.3, 0.2, 0.2},
      {"saturated to the surface", 0, 0, 0, 0.5, 0.5, 0.5},
      {"dry soil is held at the residual moisture", 40, 0, 0, 0.05, 0.05, 0.05},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    auto ms = at_event_start(1);
    ms->long_term_on = 1;
    ms->multi_layer_ga_on = 1;
    ms->THETA_ML.allocate(1, 3);
    ms->soiltype[1] = 7;
    auto& p = ms->soil_type_table[7];
    p.layer_depth[1] = 10;
    p.layer_depth[2] = 20;
    for (int n = 1; n <= 3; ++n) {
      p.layer_porosity[n] = 0.5;
      p.layer_residual_moisture[n] = 0.05;
    }
    ms->soil_layer_cm[1] = c.z;
    ms->soil_water_cm[1] = c.sw1;
    ms->soil_water2_cm[1] = c.sw2;
    const std::string out = printed_by([&] { event_start_step(*ms); });
    EXPECT_EQ(out, "");
    EXPECT_DOUBLE_EQ(ms->THETA_ML[1][1], c.theta1);
    EXPECT_DOUBLE_EQ(ms->THETA_ML[1][2], c.theta2);
    EXPECT_DOUBLE_EQ(ms->THETA_ML[1][3], c.theta3);
    EXPECT_DOUBLE_EQ(ms->init_basin_soil_water, c.theta1 / 0.5);
  }
}

TEST(EventStart, RedistributionStartMoistureStaysInsideItsBounds) {
  struct bound_case {
    double residual, porosity, start;
    const char* line;
  };
  const bound_case cases[] = {
      {0.35, 0.5, 0.36,
       "Problem initializing inf_redist in main loop, thi<thr at grid cell 1, increasing it to 0.360000\n"},
      {0.05, 0.25, 0.24,
       "Problem initializing inf_redist in main loop, thi>phi at grid cell 1, decreasing it to 0.240000\n"},
  };
  for (const auto& c : cases) {
    auto ms = at_event_start(1);
    ms->tool_mode = 0;
    ms->long_term_on = 1;
    ms->inf_redist_on = 1;
    for (auto* v : {&ms->redist_theta1, &ms->redist_theta2, &ms->redist_work}) v->allocate(1);
    for (auto* v : {&ms->iter_pond_1, &ms->iter_n, &ms->no_wat_prof, &ms->iter_i_less_k}) v->allocate(1);
    ms->residual_sat[1] = c.residual;
    ms->porosity[1] = c.porosity;
    ms->soil_layer_cm[1] = 10;
    ms->soil_water_cm[1] = 3;  // a moisture of 0.3 over the 10 cm
    const std::string out = printed_by([&] { event_start_step(*ms); });
    EXPECT_NE(out.find("cell: 1  thi: 0.300000"), std::string::npos) << out;
    EXPECT_NE(out.find(c.line), std::string::npos) << out;
    EXPECT_DOUBLE_EQ(ms->init_moisture[1], c.start);
    EXPECT_DOUBLE_EQ(ms->redist_theta2[1], c.start);
  }
}

TEST(EventStart, RichardsMeanStopsAtTheColumnEndAndSkipsCellsWithoutThickness) {
  auto ms = at_event_start(2);
  ms->long_term_on = 1;
  ms->loop_pass = 1;  // no dry-spell update on the first pass
  ms->richards_on = 1;
  ms->soil_moist_depth_cm = 100.0;  // deeper than the columns
  for (auto* m : {&ms->THETA, &ms->THETAS, &ms->DZ}) m->allocate(2, 4);
  for (auto* v : {&ms->DIRECT_EVAP, &ms->inf_rich, &ms->dtr, &ms->rich_bottom_flux}) v->allocate(2);
  ms->numcells.allocate(2);
  ms->bound_type.allocate(2);
  ms->numcells[1] = 4;  // nodes 1 to 3
  for (int k = 1; k <= 4; ++k) {
    ms->DZ[1][k] = 10.0;
    ms->THETAS[1][k] = 0.4;
    ms->THETA[1][k] = k <= 2 ? 0.2 : 0.4;
  }
  ms->numcells[2] = 4;  // a column without thickness
  event_start_step(*ms);
  EXPECT_FALSE(std::isnan(ms->init_basin_soil_water));
  EXPECT_DOUBLE_EQ(ms->init_basin_soil_water, (0.5 + 0.5 + 1.0) / 3.0);
  EXPECT_DOUBLE_EQ(ms->vol_soil_init, (0.2 + 0.2 + 0.4) * 10.0 / 100.0);
  EXPECT_EQ(ms->n_event_cells_start, 6);
}

TEST(EventStart, ChannelWaterAndMassAreMeasuredAfreshAtEveryEvent) {
  auto ms = at_event_start(1);
  ms->long_term_on = 1;
  ms->richards_on = 0;
  ms->gw_simulation_on = 1;  // the channels keep their water between events
  ms->channel_on = 1;
  ms->chan_contam_on = 1;
  ms->n_constituents = 1;
  ms->LINKS = 2;
  ms->max_nodes_per_link = 3;
  ms->nx.allocate(2);
  ms->ltype.allocate(2);
  ms->chan_dx.allocate(2);
  ms->nx[1] = ms->nx[2] = 2;
  ms->ltype[2] = 0x20;  // a lake link holds no channel water
  ms->chan_dx[1] = ms->chan_dx[2] = 10.0;
  ms->area.allocate(2, 2);
  ms->area[1][1] = 1.0;
  ms->area[2][1] = 2.0;
  ms->area[1][2] = 50.0;
  ms->event_chan_mass_init.allocate(1);
  ms->chan_node_mass.allocate(1, 3 * 3);
  ms->chan_node_mass[1][1 + 1 * 3] = 1000.0;
  ms->chan_node_mass[1][2 + 1 * 3] = 3000.0;
  ms->chan_node_mass[1][1 + 2 * 3] = 9000.0;
  ms->av_qriv.allocate(2, 2);
  for (int event = 1; event <= 2; ++event) {
    ms->next_event_start = ms->now;
    event_start_step(*ms);
  }
  EXPECT_DOUBLE_EQ(ms->vol_channel_init, 30.0);
  EXPECT_DOUBLE_EQ(ms->event_chan_mass_init[1], 4.0);
}

}  // namespace
}  // namespace kavro
