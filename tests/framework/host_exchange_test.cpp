// The exchange with the host environment at an event end, with the other
// side played by the test: it prepares and reads the files of "exchange/".
#include "framework/host_exchange.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "event_test_support.h"
#include "framework/file_wrapper.h"
#include "test_support.h"

namespace kavro {
namespace {

namespace fs = std::filesystem;

const double jan_15_noon = julian_date(2001, 1, 15, 12, 0, 0.0);
const double jan_20_noon = julian_date(2001, 1, 20, 12, 0, 0.0);

// A map in the layout the host reads and writes: a 2 x 2 grid whose upper
// right cell lies outside the watershed.
std::string map_text(const char* row1, const char* row2) {
  return std::string(
             "north:   1000.00\nsouth:    980.00\neast:    520.00\nwest:    500.00\nrows:     2\ncols:     "
             "2\n") +
         row1 + "\n" + row2 + "\n";
}

class HostExchange : public ::testing::Test {
 protected:
  void SetUp() override {
    run_prefix_on = 0;
    fs::create_directory(dir_.path() / "exchange");
    ms_ = new_record();
    auto& ms = *ms_;
    start_clock(ms, jan_15_noon, 60);
    advance_clock(ms);
    ms.quiet = 1;
    ms.qln_on = ms.vopa_on = 1;
    ms.event_over = 1;
    ms.keep_running = 1;
    ms.n_precip_events = 2;
    ms.event_start_times[1] = jan_15_noon - 1.0;
    ms.event_start_times[2] = jan_20_noon;
    ms.event_no = 1;
    // Cells 1 to 3 of a 2 x 2 grid.
    ms.rows = ms.cols = ms.map_rows = ms.map_cols = 2;
    ms.map_north = 1000;
    ms.map_south = 980;
    ms.map_east = 520;
    ms.map_west = 500;
    ms.n_cells = 3;
    ms.mask.allocate(3, 3);
    ms.mask[1][1] = 1;
    ms.mask[2][1] = 2;
    ms.mask[2][2] = 3;
    for (dvec* v : {&ms.cum_infil_depth, &ms.dist_rough, &ms.conductivity, &ms.porosity, &ms.init_moisture,
                    &ms.residual_sat, &ms.residual_moisture, &ms.exchange_map_values})
      v->allocate(3);
    ms.vopa_exchange_path = path("exchange/days.txt");
  }

  std::string path(const std::string& name) const { return (dir_.path() / name).string(); }

  kavro_test::scratch_dir dir_;
  std::unique_ptr<main_state> ms_;
};

TEST_F(HostExchange, SendsTheMapsAndTheDayNumbers) {
  auto& ms = *ms_;
  ms.qln_event_num_on = 1;  // one event per host call: nothing is read back
  ms.moist_to_vopa_on = ms.ksat_to_vopa_on = 1;
  ms.moist_to_vopa_path = path("exchange/moist.asc");
  ms.ksat_to_vopa_path = path("exchange/ksat.asc");
  ms.cum_infil_depth[1] = 0.01;
  ms.cum_infil_depth[2] = 0.02;
  ms.cum_infil_depth[3] = 0.03;
  ms.conductivity[2] = 1e-4;  // 36 cm/h
  const std::string out = printed_by([&] { host_exchange_step(ms); });
  EXPECT_EQ(out, "End of QLN event 1\n");
  EXPECT_EQ(kavro_test::read_file(dir_ / "exchange/moist.asc"),
            map_text("0.010000 0.000000 ", "0.020000 0.030000 "));
  EXPECT_EQ(kavro_test::read_file(dir_ / "exchange/ksat.asc"),
            map_text("0.000000 0.000000 ", "36.000000 0.000000 "));
  // Whole days since 01:00 on 31 December 2000.
  EXPECT_EQ(kavro_test::read_file(dir_ / "exchange/days.txt"), " 15  20\n");
  EXPECT_EQ(ms.keep_running, 0);
  EXPECT_EQ(ms.event_over, 0);
  EXPECT_EQ(ms.event_done, 1);
}

TEST_F(HostExchange, TheLastEventHasNoNextDay) {
  auto& ms = *ms_;
  ms.event_no = 2;
  ms.moist_from_vopa_on = 1;  // not read after the last event
  ms.moist_from_vopa_path = path("exchange/missing.asc");
  printed_by([&] { host_exchange_step(ms); });
  EXPECT_FALSE(driver_check());
  EXPECT_EQ(kavro_test::read_file(dir_ / "exchange/days.txt"), "999 999\n");
  EXPECT_EQ(ms.vopa_day_next, -1);
  EXPECT_EQ(ms.keep_running, 0);
  EXPECT_EQ(ms.event_done, 1);
}

TEST_F(HostExchange, ReceivedMapsReplaceTheSoilAndSurfaceParameters) {
  auto& ms = *ms_;
  ms.moist_from_vopa_on = ms.rough_from_vopa_on = ms.ksat_from_vopa_on = 1;
  ms.moist_from_vopa_path = path("exchange/moist_in.asc");
  ms.rough_from_vopa_path = path("exchange/rough_in.asc");
  ms.ksat_from_vopa_path = path("exchange/ksat_in.asc");
  for (int j = 1; j <= 3; ++j) ms.porosity[j] = 0.4;
  kavro_test::write_file(dir_ / "exchange/moist_in.asc", map_text("0.5 0", "0.05 0.3"));
  kavro_test::write_file(dir_ / "exchange/rough_in.asc", map_text("0 0", "-1 0.02"));
  kavro_test::write_file(dir_ / "exchange/ksat_in.asc", map_text("36 0", "3.6 0.36"));
  const std::string out = printed_by([&] { host_exchange_step(ms); });
  ASSERT_FALSE(driver_check()) << out;
  EXPECT_NE(out.find("reading VOPA exchange maps\n"), std::string::npos);
  // Event run: above porosity 0.99 of it, below 0.1 raised to 0.1.
  EXPECT_DOUBLE_EQ(ms.init_moisture[1], 0.396);
  EXPECT_DOUBLE_EQ(ms.init_moisture[2], 0.1);
  EXPECT_DOUBLE_EQ(ms.init_moisture[3], 0.3);
  EXPECT_DOUBLE_EQ(ms.dist_rough[1], 0.04);
  EXPECT_DOUBLE_EQ(ms.dist_rough[2], 0.04);
  EXPECT_DOUBLE_EQ(ms.dist_rough[3], 0.02);
  EXPECT_DOUBLE_EQ(ms.conductivity[1], 1e-4);  // cm/h to m/s
  EXPECT_DOUBLE_EQ(ms.conductivity[3], 1e-6);
  // Nothing carries water through the dry spell: the next pass starts the next event.
  EXPECT_EQ(ms.keep_running, 1);
  advance_clock(ms);
  EXPECT_TRUE(is_due(ms, jan_20_noon));
  EXPECT_NEAR(ms.precip_period_end, jan_20_noon, ms.time_tol);
}

TEST_F(HostExchange, AMissingSendFolderStopsTheRun) {
  auto& ms = *ms_;
  ms.rough_to_vopa_on = 1;
  ms.rough_to_vopa_path = path("no_such_folder/rough.asc");
  bool stopped = false;
  const std::string out = printed_by([&] {
    host_exchange_step(ms);
    stopped = driver_check();
  });
  EXPECT_TRUE(stopped);
  EXPECT_NE(
      out.find("Can't open roughness exchange file " + path("no_such_folder/rough.asc") + " for writing\n"),
      std::string::npos)
      << out;
  EXPECT_EQ(ms.event_over, 1);
  EXPECT_EQ(ms.event_done, 0);
}

TEST_F(HostExchange, WithoutTheHostOnlyTheHandOverHappens) {
  auto& ms = *ms_;
  ms.qln_on = ms.vopa_on = 0;
  ms.moist_to_vopa_on = 1;
  ms.moist_to_vopa_path = path("exchange/moist.asc");
  EXPECT_EQ(printed_by([&] { host_exchange_step(ms); }), "");
  EXPECT_FALSE(fs::exists(dir_ / "exchange/moist.asc"));
  EXPECT_EQ(ms.event_over, 0);
  EXPECT_EQ(ms.event_done, 1);
  EXPECT_EQ(ms.keep_running, 1);
}

}  // namespace
}  // namespace kavro
