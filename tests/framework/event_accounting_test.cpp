// The end-of-event accounting: its water balance, its single run per
// event, the soil and lake rules and the values handed to a calibrator.
#include "framework/event_accounting.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "calibration/calibration_entries.h"
#include "event_test_support.h"
#include "test_support.h"

namespace kavro {
namespace {

// An ended event on a grid of one 10 m cell (100 m2).
std::unique_ptr<main_state> ended_event() {
  auto ms = new_record();
  start_clock(*ms, julian_date(2001, 6, 1, 12, 0, 0.0), 60);
  make_cells(*ms, 1, 10.0);
  ms->event_no = 1;
  ms->event_done = 1;
  ms->quiet = 1;
  return ms;
}

struct balance_case {
  const char* label;
  std::function<void(main_state&)> set;
  double error;
};

TEST(EventAccounting, WaterBalanceOfTheEvent) {
  const balance_case cases[] = {
      {"rain leaves by the surface and the outlet",
       [](main_state& ms) {
         ms.vol_precip = 100.0;
         ms.ov_depth[1] = 0.6;  // 60 m3 on the surface
         ms.vol_discharge_acc = 40.0;
       },
       0.0},
      {"no input at all", [](main_state&) {}, -1.0},
      {"a fifth of the rain is missing",
       [](main_state& ms) {
         ms.vol_precip = 100.0;
         ms.vol_discharge_acc = 80.0;
       },
       0.2},
      {"infiltration and the initial surface water",
       [](main_state& ms) {
         ms.green_ampt_on = 1;
         ms.vol_precip = 50.0;
         ms.vol_overland_init = 50.0;
         ms.cum_infil[1] = 0.25;  // 25 m3 into the soil
         ms.ov_depth[1] = 0.75;
       },
       0.0},
      {"storage units take rain and surface water and give some back",
       [](main_state& ms) {
         ms.ov_bmp_on = 1;
         ms.bmp_list = std::make_unique<bmp_record>();
         ms.vol_precip = 100.0;
         ms.bmp_list->event_vol_precip = 10.0;
         ms.bmp_list->event_vol_from_ov = 30.0;
         ms.bmp_list->event_vol_to_ov = 20.0;
         ms.vol_discharge_acc = 80.0;
       },
       0.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    auto ms = ended_event();
    c.set(*ms);
    end_event(*ms);
    EXPECT_NEAR(ms->mass_conservation_error, c.error, 1e-12);
    EXPECT_EQ(ms->event_done, 0);
    EXPECT_EQ(ms->n_events_done, 1);
  }
}

TEST(EventAccounting, OneAccountingPerEvent) {
  auto ms = ended_event();
  ms->vol_precip = 100.0;
  ms->vol_discharge_acc = 100.0;
  const std::string out = printed_by([&] {
    ms->quiet = 0;
    end_event(*ms);
    end_event(*ms);  // the rain-event step calling again in the same pass
  });
  EXPECT_EQ(ms->n_events_done, 1);
  EXPECT_EQ(out, "finished event \n");
  ms->event_done = 1;  // the next event ends
  ms->quiet = 1;
  end_event(*ms);
  EXPECT_EQ(ms->n_events_done, 2);
}

TEST(EventAccounting, TheTwoKindsOfLakesAdviceIsGivenOncePerRun) {
  auto ms = ended_event();
  make_cells(*ms, 3, 10.0);
  ms->overland_lake_on = 1;
  ms->lakes_on = 1;
  const std::string out = printed_by([&] {
    for (int event = 1; event <= 2; ++event) {
      ms->event_done = 1;
      end_event(*ms);
    }
  });
  EXPECT_EQ(
      occurrences(out, "You are simulating overland lakes and perennial lakes, not recommended presently."),
      1)
      << out;
}

TEST(EventAccounting, SoilVolumeOfAMultiLayerCellLeavesTheAveragingDepthAlone) {
  auto ms = ended_event();
  ms->soil_redist_on = 1;
  ms->multi_layer_ga_on = 1;
  ms->water_table_on = 1;
  ms->soil_moist_depth_cm = 40.0;
  ms->THETA_ML.allocate(1, 3);
  ms->soiltype[1] = 3;
  ms->soil_type_table[3].layer_depth[1] = 10;
  ms->soil_type_table[3].layer_depth[2] = 20;
  ms->soil_type_table[3].layer_porosity[1] = 0.5;
  ms->elevation[1] = 100.0;
  ms->elevgw[1] = 99.0;  // water table 1 m down
  ms->gw_inf_redist_theta[1] = 0.2;
  ms->soil_column_water_cm[1] = 6.0;
  end_event(*ms);
  EXPECT_EQ(ms->soil_moist_depth_cm, 40.0);
  // (1 m - 0.3 m) of moisture 0.2 below the two layers, plus 6 cm of soil water.
  EXPECT_DOUBLE_EQ(ms->vol_soil_final, (0.7 * 0.2 + 0.06) * 100.0);
}

TEST(EventAccounting, FinalSoilMoistureIsTheMeanOverCellsWithSoilOfTheirOwn) {
  auto ms = ended_event();
  make_cells(*ms, 3, 10.0);
  ms->inf_redist_on = 1;
  ms->redist_theta2.allocate(3);
  ms->lakes_on = 1;
  ms->lake_mask.allocate(3);
  ms->lake_mask[3] = 1;  // under a channel lake
  for (int j = 1; j <= 3; ++j) ms->porosity[j] = 0.5;
  ms->redist_theta2[1] = 0.25;
  ms->redist_theta2[2] = 0.5;
  ms->redist_theta2[3] = 0.0;
  end_event(*ms);
  EXPECT_DOUBLE_EQ(ms->final_basin_soil_water, 0.75);
}

// A calibrating run with two hydrograph locations.
std::unique_ptr<main_state> calibrating_event(calib_result_buffer& buffer, int cfs) {
  auto ms = ended_event();
  ms->optimize_on = 1;
  ms->qout_cfs_on = cfs;
  ms->calib_results = &buffer;
  ms->in_hyd_location_on = 1;
  ms->n_hyd_locations = 2;
  ms->hyd_loc_max_q.allocate(2);
  ms->hyd_loc_volume.allocate(2);
  ms->hyd_loc_max_q[1] = 1.5;
  ms->hyd_loc_volume[1] = 300.0;
  ms->hyd_loc_max_q[2] = 0.5;
  ms->hyd_loc_volume[2] = 100.0;
  ms->peak_q = 2.0;
  ms->vol_discharge_acc = 500.0;
  buffer.n_locations = 3;
  buffer.n_events = 3;
  buffer.peaks.allocate(3 * 3 + 1);
  buffer.volumes.allocate(3 * 3 + 1);
  buffer.loc_peak.allocate(3);
  buffer.loc_volume.allocate(3);
  return ms;
}

TEST(EventAccounting, CalibrationValuesOfTheEvent) {
  struct calib_case {
    int cfs;
    double factor;
    const char* line;
  };
  const calib_case cases[] = {
      {0, 1.0, "1     2.000         500.0000    1.500         300.0000    0.500         100.0000\n"},
      {1, 35.32, "1    70.64      17660.00000   52.98      10596.00000   17.66       3532.00000\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cfs);
    kavro_test::scratch_dir dir;
    calib_result_buffer buffer;
    auto ms = calibrating_event(buffer, c.cfs);
    ASSERT_TRUE(ms->fs_optimize.open((dir / "optim.out").string(), "w"));
    end_event(*ms);
    ms->fs_optimize.close();
    EXPECT_EQ(kavro_test::read_file(dir / "optim.out"), c.line);
    // Event 1 of an event run fills row 1: slot 1 the outlet, slots 2 and 3 the locations.
    EXPECT_DOUBLE_EQ(buffer.peaks[3 + 1], 2.0 * c.factor);
    EXPECT_DOUBLE_EQ(buffer.volumes[3 + 1], 500.0 * c.factor);
    EXPECT_DOUBLE_EQ(buffer.peaks[3 + 2], 1.5 * c.factor);
    EXPECT_DOUBLE_EQ(buffer.volumes[3 + 3], 100.0 * c.factor);
    EXPECT_DOUBLE_EQ(buffer.loc_peak[2], 0.5);
  }
}

TEST(EventAccounting, EventsBeforeTheFirstSimulatedEventAreNotStored) {
  calib_result_buffer buffer;
  auto ms = calibrating_event(buffer, 0);
  ms->first_event_index = 3;
  ms->event_no = 2;
  end_event(*ms);
  for (long i = 0; i <= buffer.peaks.size(); ++i) EXPECT_EQ(buffer.peaks[i], 0.0) << i;
  ms->event_no = 3;
  ms->event_done = 1;
  end_event(*ms);
  EXPECT_DOUBLE_EQ(buffer.peaks[1], 2.0);  // the first row belongs to the first simulated event
}

}  // namespace
}  // namespace kavro
