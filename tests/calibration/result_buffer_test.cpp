// The result buffer a calibrating run fills: its size, and where the end of
// each event puts the outlet and location values.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "calibration/calib_objective.h"
#include "calibration/calibration_entries.h"
#include "stand_in.h"

namespace kavro {
namespace {

using kavro_test::calibration_folder;

struct buffer_setup {
  int n_precip_events = 0;
  int n_locations = 0;     // hydrograph output locations
  int first_event = 0;     // first event after the start date of a long-term run, else 0
  std::vector<int> events; // events the run finishes
};

// One run of a plan that sizes the buffer and finishes the given events;
// event e has the outlet peak e, volume 100 e, and location k the peak
// e + k / 10 and volume 100 e + k.
void run_events(const buffer_setup& b, calib_result_buffer& buffer) {
  run_plan plan;
  plan.init_steps.push_back({"setup",
                             [b](main_state& ms, const run_call&) {
                               ms.n_precip_events = b.n_precip_events;
                               ms.n_hyd_locations = b.n_locations;
                               ms.in_hyd_location_on = b.n_locations > 0 ? 1 : 0;
                             },
                             false,
                             {}});
  plan.init_steps.push_back(
      {"alloc", [](main_state& ms, const run_call&) { alloc_calib_result_buffer(ms); }, false, {}});
  plan.init_steps.push_back({"events",
                             [b](main_state& ms, const run_call&) {
                               // The start-date step sets the first event after the buffer is sized.
                               ms.first_event_index = b.first_event;
                               for (int e : b.events) {
                                 ms.event_no = e;
                                 ms.event_peak_q = e;
                                 ms.vol_discharge = 100.0 * e;
                                 for (int k = 1; k <= b.n_locations; ++k) {
                                   ms.hyd_loc_max_q[k] = e + k / 10.0;
                                   ms.hyd_loc_volume[k] = 100.0 * e + k;
                                 }
                                 hand_over_to_calibrator(ms);
                               }
                             },
                             false,
                             {}});
  testing::internal::CaptureStdout();
  run_simulation_with(plan, "none.prj", &buffer, "temp");
  testing::internal::GetCapturedStdout();
}

class ResultBuffer : public calibration_folder {};

TEST_F(ResultBuffer, SizeAndCellOrder) {
  struct buffer_case {
    const char* what;
    buffer_setup setup;
    int n_locations;
    long highest_cell;
    std::vector<std::pair<long, double>> peaks;  // cell, value
  };
  const buffer_case cases[] = {
      {"four events, two locations", {4, 2, 0, {1, 2, 3, 4}}, 3, 16,
       {{4, 1.0}, {5, 1.1}, {6, 1.2}, {13, 4.0}, {15, 4.2}, {1, 0.0}, {16, 0.0}}},
      {"event run: row i + 1 meets event i", {4, 0, 0, {1, 2, 3, 4}}, 1, 6,
       {{1, 0.0}, {2, 1.0}, {3, 2.0}, {5, 4.0}, {6, 0.0}}},
      {"long-term run with a start date", {4, 2, 2, {2, 3}}, 3, 16,
       {{1, 2.0}, {2, 2.1}, {3, 2.2}, {4, 3.0}, {6, 3.2}, {7, 0.0}}},
      {"uniform rain with two locations", {0, 2, 0, {1}}, 3, 7, {{4, 1.0}, {5, 1.1}, {6, 1.2}, {1, 0.0}}},
  };
  for (const auto& c : cases) {
    calib_result_buffer buffer;
    run_events(c.setup, buffer);
    EXPECT_EQ(buffer.n_locations, c.n_locations) << c.what;
    EXPECT_EQ(buffer.peaks.size(), c.highest_cell) << c.what;
    EXPECT_EQ(buffer.volumes.size(), c.highest_cell) << c.what;
    for (const auto& [cell, value] : c.peaks) {
      EXPECT_DOUBLE_EQ(buffer.peaks[cell], value) << c.what << " cell " << cell;
      // Volumes go to the same cells as the peaks.
      if (value != 0.0) {
        const double e = std::floor(value + 1e-9);
        const int k = static_cast<int>(std::lround((value - e) * 10));
        EXPECT_DOUBLE_EQ(buffer.volumes[cell], 100.0 * e + k) << c.what << " cell " << cell;
      }
    }
  }
}

TEST_F(ResultBuffer, ObservationRowsMeetTheirEvents) {
  // Event run, outlet only: observation row 1 meets the cell no event
  // fills, rows 2 to 5 the events 1 to 4.
  calib_result_buffer buffer;
  run_events({4, 0, 0, {1, 2, 3, 4}}, buffer);
  kavro_test::write_file("obs.txt", "5\n0 0 0 0\n1 1 100 1\n2 1 200 1\n3 1 300 1\n4 1 400 1\n");
  calib_objective o;
  ASSERT_EQ(o.read_observations("obs.txt"), 1);
  const double params[] = {0.0};
  EXPECT_EQ(o.evaluate(buffer.peaks, buffer.volumes, 0, 0, params), 0.0);
  EXPECT_EQ(o.rmse, 0.0);
}

}  // namespace
}  // namespace kavro
