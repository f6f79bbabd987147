// The time-series step on records filled by hand: when it writes, what a
// row holds, and the series whose values come from other subsystems.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "../framework/event_test_support.h"
#include "output/output_steps.h"
#include "output/timeseries_output.h"
#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::read_file;

class TimeSeries : public testing::Test {
 protected:
  void SetUp() override {
    ms = new_record();
    make_cells(*ms, 20, 10.0);
    ms->ov_qx.allocate(20);
    ms->ov_qy.allocate(20);
    ms->hyd_interval_steps = 6;  // one minute of 10 s steps
    ms->dt = 10.0;
  }
  void open(file_wrapper& f, const std::string& name) { ASSERT_TRUE(f.open((dir / name).string(), "w")); }
  // Passes of the time loop from the first (step 0) to step `last`, with the
  // outlet flow `q(step)`; every pass after the first books its outlet
  // water over its step, as the routing does.
  template <class Q>
  void run_steps(int last, Q q) {
    for (int s = 0; s <= last; ++s) {
      ms->step_no = s;
      ms->elapsed_min = s * ms->dt / 60.0;
      ms->qout = q(s);
      if (s > 0) ms->vol_discharge_total += ms->qout * ms->dt;
      write_timeseries_output(*ms);
    }
  }
  std::string contents(file_wrapper& f) {
    const std::string name = f.name;
    f.close();
    return read_file(name);
  }

  kavro_test::scratch_dir dir;
  std::unique_ptr<main_state> ms;
};

// A row holds the outlet water booked since the row before over that time:
// minute 1 the mean of passes 1 to 6 (0.125 x 3.5), minute 2 of passes 7 to
// 12, not the discharge of the last pass alone.
TEST_F(TimeSeries, OneRowPerIntervalAndNoneForTheFirstPass) {
  open(ms->outlet_hydro_file, "outlet.txt");
  open(ms->fs_hyd_6digit, "sig.txt");
  run_steps(18, [](int s) { return 0.125 * s; });
  EXPECT_EQ(contents(ms->outlet_hydro_file),
            "    1.00       0.43750000\n    2.00       1.18750000\n    3.00       1.93750000\n");
  EXPECT_EQ(contents(ms->fs_hyd_6digit),
            "    1.00       0.43750000\n    2.00       1.18750000\n    3.00       1.93750000\n");
  EXPECT_EQ(ms->hydrograph_rows, 3);
}

// Passes whose discharge swings from one to the next (a scheme alternating
// its sweep order) give rows of their mean, whatever phase the row's last
// pass has.
TEST_F(TimeSeries, RowsOfSwingingPassesHoldTheirMean) {
  open(ms->outlet_hydro_file, "outlet.txt");
  run_steps(12, [](int s) { return s % 2 == 0 ? 1.2 : 0.8; });
  EXPECT_EQ(contents(ms->outlet_hydro_file), "    1.00       1.00000000\n    2.00       1.00000000\n");
}

TEST_F(TimeSeries, CubicFeetPerSecondKeepEightDecimalsOnlyInTheSignificantDigitsFile) {
  ms->qout_cfs_on = 1;
  open(ms->outlet_hydro_file, "outlet.txt");
  open(ms->fs_hyd_6digit, "sig.txt");
  run_steps(6, [](int) { return 2.0; });
  EXPECT_EQ(contents(ms->outlet_hydro_file), "    1.00     70.629\n");
  EXPECT_EQ(contents(ms->fs_hyd_6digit), "    1.00      70.62933400\n");
}

TEST_F(TimeSeries, RunoffOfASteadyPlaneEqualsItsRainRate) {
  // 36 mm/h on 20 cells of 100 m2 gives 0.02 m3/s at steady state.
  ms->runoff_mmph_on = 1;
  ms->rainfall_mmph_on = 1;
  ms->mean_rain_rate = 36.0;
  open(ms->fs_runoff_mmph, "runoff.txt");
  open(ms->fs_rain_mmph, "rain.txt");
  run_steps(6, [](int) { return 36.0 / 1000.0 / 3600.0 * 2000.0; });
  EXPECT_EQ(contents(ms->fs_runoff_mmph), "    1.00      36.00000000\n");
  EXPECT_EQ(contents(ms->fs_rain_mmph), "    1.00      36.00000000\n");
}

TEST_F(TimeSeries, StrictJulianDatesAndLongTermTimeColumns) {
  ms->strict_julian_date_on = 1;
  ms->now = 2455379.0;
  open(ms->outlet_hydro_file, "outlet.txt");
  run_steps(6, [](int) { return 1.0; });
  EXPECT_EQ(contents(ms->outlet_hydro_file), "2455379.00000000       1.00000000\n");

  SetUp();  // a second run
  ms->long_term_on = 1;
  ms->cur_year = 2000;
  ms->cur_day_of_year = 1;
  open(ms->outlet_hydro_file, "outlet2.txt");
  run_steps(6, [](int) { return 1.0; });
  EXPECT_EQ(contents(ms->outlet_hydro_file), "   2000.00273224      1.0000\n");
}

TEST(LongTermTime, DecimalYearFollowsTheGregorianLeapRule) {
  auto ms = new_record();
  ms->cur_day_of_year = 10;
  ms->cur_hour = 6;
  const double minutes = 10 * 1440.0 + 6 * 60.0;
  const struct {
    int year;
    double minutes_of_year;
  } cases[] = {{2000, 527040.0}, {2004, 527040.0}, {1900, 525600.0}, {2100, 525600.0}, {2001, 525600.0}};
  for (const auto& c : cases) {
    ms->cur_year = c.year;
    EXPECT_DOUBLE_EQ(long_term_time_value(*ms), c.year + minutes / c.minutes_of_year) << c.year;
  }
}

TEST_F(TimeSeries, GroundwaterFluxAverageRestartsWithEveryRow) {
  ms->in_gwflux_location_on = 1;
  ms->n_gwflux_locations = 1;
  ms->gwflink.allocate(1);
  ms->gwfnode.allocate(1);
  ms->gwflink[1] = 1;
  ms->gwfnode[1] = 2;
  ms->av_qriv.allocate(3, 1);
  ms->chan_dx.allocate(1);
  ms->chan_dx[1] = 50.0;
  ms->LINKS = 1;
  open(ms->fs_out_gwflux, "gwflux.txt");
  ms->av_qriv[2][1] = 0.012;  // summed over the six steps of the interval
  run_steps(12, [](int) { return 0.0; });
  EXPECT_EQ(contents(ms->fs_out_gwflux), "    1.00000000       0.10000000 \n    2.00000000       0.00000000 \n");
}

TEST_F(TimeSeries, CellSeriesShowTheDepthOfTheMomentAndTheFlowMagnitude) {
  ms->in_celldepdis_location_on = 1;
  ms->n_cell_locations = 1;
  ms->gnumlocater.allocate(1);
  ms->gnumlocater[1] = 3;
  ms->ov_qx[3] = 0.3;
  ms->ov_qy[3] = 0.4;
  open(ms->fs_out_celldepdis, "cells.txt");
  for (int s = 0; s <= 12; ++s) {
    ms->ov_depth[3] = 0.001 * s;
    ms->step_no = s;
    ms->elapsed_min = s / 6.0;
    write_timeseries_output(*ms);
  }
  EXPECT_EQ(contents(ms->fs_out_celldepdis),
            "    1.00000000         0.006000              0.500000  \n"
            "    2.00000000         0.012000              0.500000  \n");

  // A channel-lake cell shows the lake level above its ground.
  ms->lakes_on = 1;
  ms->lake_mask.allocate(20);
  ms->lake_mask[3] = 1;
  ms->lake_elev.allocate(1);
  ms->lake_elev[1] = 101.5;
  ms->elevation[3] = 100.0;
  EXPECT_DOUBLE_EQ(current_cell_depth(*ms, 3), 1.5);
  EXPECT_DOUBLE_EQ(current_cell_depth(*ms, 4), ms->ov_depth[4]);
  EXPECT_DOUBLE_EQ(current_cell_depth(*ms, 21), 0.0);
  ms->lakes_on = 0;

  // In cubic feet per second only the discharge columns follow the time.
  ms->qout_cfs_on = 1;
  open(ms->fs_out_celldepdis, "cells_cfs.txt");
  ms->step_no = 6;
  ms->elapsed_min = 1.0;
  write_timeseries_output(*ms);
  EXPECT_EQ(contents(ms->fs_out_celldepdis), "    1.00000000                17.657334  \n");
}

TEST_F(TimeSeries, SoilMoistureOfTheListedCells) {
  ms->in_theta_location_on = 1;
  ms->n_output_cells = 2;
  ms->cell_loc.allocate(2);
  ms->cell_loc[1] = 4;
  ms->cell_loc[2] = 7;
  ms->soil_moisture.allocate(20);
  ms->soil_moisture[4] = 0.25;
  ms->soil_moisture[7] = 0.5;
  open(ms->fs_out_theta_location, "theta.txt");
  run_steps(6, [](int) { return 0.0; });
  EXPECT_EQ(contents(ms->fs_out_theta_location), "    1.00000000     0.250000     0.500000 \n");

  // Two-layer accounting of a long-term run: 30 cm top layer of a 40 cm column.
  ms->long_term_on = 1;
  ms->inf_redist_on = 1;
  ms->top_layer_depth_cm = 30.0;
  ms->soil_moist_depth_cm = 40.0;
  ms->soil_water_cm[4] = 6.0;
  ms->soil_water2_cm[4] = 1.0;
  ms->n_output_cells = 1;
  ms->cur_year = 2001;
  open(ms->fs_out_theta_location, "theta2.txt");
  run_steps(6, [](int) { return 0.0; });
  EXPECT_NE(contents(ms->fs_out_theta_location).find("     0.200000     0.100000 \n"), std::string::npos);
}

TEST_F(TimeSeries, ChannelPointsWellsAndLakesAtTheirInterval) {
  ms->LINKS = 1;
  ms->qp.allocate(3, 1);
  ms->qp[2][1] = 1.5;
  ms->in_hyd_location_on = 1;
  ms->n_hyd_locations = 2;
  ms->hlink.allocate(2);
  ms->hnode.allocate(2);
  ms->hlink[1] = 1;
  ms->hnode[1] = 2;
  ms->hlink[2] = 9;  // outside the network: written as 0
  ms->hnode[2] = 9;
  ms->gw_simulation_on = ms->gw_well_level_on = 1;
  ms->n_well_locations = 1;
  ms->well_location_row.allocate(1);
  ms->well_location_col.allocate(1);
  ms->well_location_row[1] = 1;
  ms->well_location_col[1] = 5;
  ms->elevgw[5] = 98.75;
  ms->lakes_on = ms->lake_output_on = 1;
  ms->n_lakes = 1;
  ms->lake_elev.allocate(1);
  ms->lake_volume.allocate(1);
  ms->lake_elev[1] = 101.25;
  ms->lake_volume[1] = 5000.0;
  open(ms->fs_out_hyd, "hyd.txt");
  open(ms->fs_lake_out, "lake.txt");
  open(ms->gw_well_level_file, "wells.txt");
  run_steps(6, [](int) { return 0.0; });
  EXPECT_EQ(contents(ms->gw_well_level_file), "    1.00000000    98.750000 \n");
  EXPECT_EQ(contents(ms->fs_out_hyd), "    1.00000000       1.50000000       0.00000000 \n");
  EXPECT_EQ(contents(ms->fs_lake_out), "    1.00000000   101.250   5000.000 \n");
}

TEST_F(TimeSeries, SedimentPointRowsAlwaysEnd) {
  ms->ov_sed_out_on = ms->in_sed_loc_on = 1;
  ms->n_sed_locations = 1;
  ms->slink.allocate(1);
  ms->snode.allocate(1);
  ms->slink[1] = 1;
  ms->snode[1] = 2;
  ms->max_nodes_per_link = 4;
  ms->n_fine_classes = 1;  // one fine class, then the sand entries 2 and 3
  ms->n_sand_classes = 1;
  ms->qsmax.allocate(8, 3);
  for (long c = 1; c <= 3; ++c) ms->qsmax[6][c] = 0.001 * c;
  open(ms->fs_out_sed_loc, "sed.txt");
  run_steps(6, [](int) { return 0.0; });
  EXPECT_EQ(contents(ms->fs_out_sed_loc), "    1.00000000 \n");

  ms->channel_on = 1;
  open(ms->fs_out_sed_loc, "sed2.txt");
  run_steps(6, [](int) { return 0.0; });
  EXPECT_EQ(contents(ms->fs_out_sed_loc),
            "    1.00000000     0.0010000000     0.0020000000     0.0030000000 \n");
}

TEST_F(TimeSeries, PermafrostProfileNeedsItsCell) {
  ms->permafrost_kotu_path = "perma.asc";
  open(ms->out_kotu_temp_file, "kotu.txt");
  const std::string out = printed_by([&] { run_steps(12, [](int) { return 0.0; }); });
  EXPECT_EQ(occurrences(out, "fewer than 45 cells"), 1) << out;
  EXPECT_EQ(contents(ms->out_kotu_temp_file), "");
}

TEST_F(TimeSeries, PermafrostProfileHeaderOnceThenOneRowPerInterval) {
  make_cells(*ms, 45, 10.0);
  ms->permafrost_kotu_path = "perma.asc";
  permafrost_layer_soil_record& soil = ms->permafrost_layer_soil;
  soil.Dn_nums.allocate(1);
  soil.Dn_out_nums.allocate(1);
  soil.Dn_nums[1] = 2;
  soil.Dn_out_nums[1] = 1;
  soil.Depth.allocate(1, 2);
  soil.Depth[1][1] = 0.1;
  soil.Depth[1][2] = 0.5;
  soil.Dn_out.allocate(1, 1);
  soil.Dn_out[1][1] = 0.5;
  ms->perma_tem.allocate(45, 2);
  ms->perma_tem[45][1] = -1.0;
  ms->perma_tem[45][2] = -0.2;
  ms->fr_lq_wat.allocate(45, 2);
  ms->hmet_record.hmet_air_temp = -3.5;
  open(ms->out_kotu_temp_file, "kotu.txt");
  run_steps(12, [](int) { return 0.0; });
  EXPECT_EQ(contents(ms->out_kotu_temp_file),
            "Time             Air Temp(C) Depth(m) Soil Temp(C)\n"
            "      1.00000000   -3.500   0.5000      -0.2000 \n"
            "      2.00000000   -3.500   0.5000      -0.2000 \n");
  const double a = 0.7 * 1.22 * 0.2;
  EXPECT_NEAR(ms->fr_lq_wat[45][2], std::pow(1.0 + a * a, -0.6667), 1e-12);
}

}  // namespace
}  // namespace kavro
