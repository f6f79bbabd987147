// The time step and the output intervals, the start time with the first
// schedules, and the clock step of every pass.
#include <gtest/gtest.h>

#include <string>

#include "event_test_support.h"
#include "framework/run_clock.h"

namespace kavro {
namespace {

struct time_step_case {
  const char* label;
  double timestep, st_time_step, hyd_freq;
  int map_freq;
  double outslope;
  int long_term;
  double latitude, longitude;
  int gmt_given;
  // expected
  bool stops;
  const char* message;  // printed by the step or its report; "" for none
  double dt;
  int hyd_steps, map_steps;
};

const time_step_case time_step_cases[] = {
    {"timestep 0 stops", 0, 0, 60, 60, 0.001, 0, 0, 0, 0, true, "Error: Time step is 0 seconds.\n", 0, 0, 0},
    {"hyd_freq 0 warns and takes one hour", 30, 0, 0, 60, 0.001, 0, 0, 0, 0, false,
     "Warning: Write hydrograph time step not specified, defaulting to 1 hour.\n", 30, 120, 120},
    {"map_freq 0 takes six hours", 30, 0, 60, 0, 0.001, 0, 0, 0, 0, false,
     "Warning: Write solution time step not specified, defaulting to 6 hours.\n", 30, 120, 720},
    {"a negative map_freq takes six hours", 30, 0, 60, -5, 0.001, 0, 0, 0, 0, false,
     "Warning: Write solution time step not specified, defaulting to 6 hours.\n", 30, 120, 720},
    {"intervals shorter than the step give one step", 120, 0, 0.1, 1, 0.001, 0, 0, 0, 0, false, "", 120, 1,
     1},
    {"the channel step is the smaller", 30, 10, 1, 1, 0.001, 0, 0, 0, 0, false, "", 10, 6, 6},
    {"a channel step below 0.01 s is the time step", 30, 0.005, 1, 1, 0.001, 0, 0, 0, 0, false, "", 30, 2, 2},
    {"outslope 0 stops", 30, 0, 60, 60, 0, 0, 0, 0, 0, true,
     "Error: Outlet slope not specified, is zero, or is negative.\n", 30, 120, 120},
    {"long-term run without GMT stops", 30, 0, 60, 60, 0.001, 1, 45, 10, 0, true,
     "Error: GMT time offset required for long-term simulations.\n", 30, 120, 120},
    {"southern and western coordinates are accepted", 30, 0, 60, 60, 0.001, 1, -33.9, -70.6, 1, false, "", 30,
     120, 120},
    {"a missing latitude stops a long-term run", 30, 0, 60, 60, 0.001, 1, 0, -70.6, 1, true,
     "Error: Latitude and longitude of basin centroid required for long-term simulations.\n", 30, 120, 120},
};

TEST(TimeStep, SettingsAndChecksOfTheRunControlCards) {
  for (const auto& c : time_step_cases) {
    SCOPED_TRACE(c.label);
    auto ms = new_record();
    auto& rp = ms->run_params;
    rp.timestep = c.timestep;
    rp.st_time_step = c.st_time_step;
    rp.hyd_freq = c.hyd_freq;
    rp.map_freq = c.map_freq;
    rp.outslope = c.outslope;
    rp.latitude = c.latitude;
    rp.longitude = c.longitude;
    rp.gmt_given = c.gmt_given;
    rp.rows = 4;
    rp.cols = 5;
    rp.outrow = 2;
    rp.outcol = 3;
    ms->long_term_on = c.long_term;
    bool stopped = false;
    const std::string out = printed_by([&] {
      setup_time_step(*ms);
      stopped = driver_check();
    });
    EXPECT_EQ(stopped, c.stops);
    if (*c.message) {
      EXPECT_NE(out.find(c.message), std::string::npos) << out;
    } else {
      EXPECT_EQ(out, "");
    }
    if (c.stops) continue;
    EXPECT_DOUBLE_EQ(ms->dt, c.dt);
    EXPECT_EQ(ms->hyd_interval_steps, c.hyd_steps);
    EXPECT_EQ(ms->map_interval_steps, c.map_steps);
    EXPECT_DOUBLE_EQ(ms->latitude_deg, c.latitude);
    EXPECT_EQ(ms->outlet_cell, 5 * (2 - 1) + 3);
  }
}

TEST(Clock, AMillionStepsLandExactlyWhereOneMultiplicationPutsThem) {
  auto ms = new_record();
  const double start = julian_date(2001, 3, 1, 0, 0, 0.0);
  start_clock(*ms, start, 0.1);
  advance_clock(*ms);  // the first pass runs at the start time
  EXPECT_EQ(ms->now, start);
  for (int pass = 1; pass <= 1000000; ++pass) advance_clock(*ms);
  EXPECT_EQ(ms->step_no, 1000000);
  EXPECT_EQ(ms->now, start + 1000000.0 * (0.1 / 86400.0));
  EXPECT_DOUBLE_EQ(ms->elapsed_min, 1000000 * 0.1 / 60.0);
  // 100000 s after midnight of 1 March: 2 March 03:46:40.
  EXPECT_EQ(ms->cur_day, 2);
  EXPECT_EQ(ms->cur_hour, 3);
  EXPECT_EQ(ms->cur_minute, 46);
  EXPECT_EQ(ms->cur_second, 40);
}

TEST(Clock, DayOfYearOfTheCurrentDateIsGregorian) {
  struct when {
    int year;
    int expected;
  };
  for (const when w : {when{1900, 60}, when{2000, 61}, when{2001, 60}}) {
    auto ms = new_record();
    start_clock(*ms, julian_date(w.year, 3, 1, 6, 0, 0.0), 30);
    advance_clock(*ms);
    EXPECT_EQ(ms->cur_day_of_year, w.expected) << w.year;
  }
}

TEST(StartTime, UniformRainWithoutStartDateStops) {
  auto ms = new_record();
  ms->uniform_rain_on = 1;
  ms->dt_base = ms->run_params.timestep = 30;
  ms->rain_duration = 60;
  bool stopped = false;
  const std::string out = printed_by([&] {
    setup_start_time(*ms);
    stopped = driver_check();
  });
  EXPECT_TRUE(stopped);
  EXPECT_NE(out.find("You did not specify the starting date and time in the\n"
                     "project file.  You must do this for simulations with\n"
                     "uniform precipitation using the START_DATE and START_TIME\n"
                     "cards.  Edit the project file.   Program terminated.\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(ms->keep_running, 0);
}

// A long-term run with three rain events a day apart and START_DATE `start`.
std::unique_ptr<main_state> long_term_record(int start_day) {
  auto ms = new_record();
  ms->long_term_on = 1;
  ms->dt_base = ms->dt = ms->run_params.timestep = 30;
  ms->hmet_begin_year = ms->hmet_end_year = 2001;
  ms->hmet_begin_month = ms->hmet_end_month = 5;
  ms->hmet_begin_day = 1;
  ms->hmet_end_day = 30;
  ms->n_precip_events = 3;
  for (int e = 1; e <= 3; ++e) ms->event_start_times[e] = julian_date(2001, 5, 2 * e, 12, 0, 0.0);
  ms->run_params.start_year = 2001;
  ms->run_params.start_month = 5;
  ms->run_params.start_day = start_day;
  ms->green_ampt_on = 1;
  ms->channel_on = 1;
  return ms;
}

TEST(StartTime, StartDateAfterTwoEventsStartsAtTheThird) {
  auto ms = long_term_record(5);
  setup_start_time(*ms);
  ASSERT_FALSE(driver_check());
  const double third = ms->event_start_times[3];
  EXPECT_EQ(ms->first_event_index, 3);
  EXPECT_EQ(ms->event_no, 2);
  EXPECT_EQ(ms->now, julian_date(2001, 5, 5, 0, 0, 0.0));
  EXPECT_EQ(ms->next_rain_period_time, third);
  EXPECT_EQ(ms->precip_period_start, third);
  EXPECT_EQ(ms->last_infil_time, third);
  EXPECT_EQ(ms->last_chan_time, third);
  EXPECT_EQ(ms->keep_running, 1);
  EXPECT_EQ(ms->loop_start_time, ms->now);
}

TEST(StartTime, StartDateAfterEveryEventStopsWithAMessage) {
  auto ms = long_term_record(20);
  bool stopped = false;
  const std::string out = printed_by([&] {
    setup_start_time(*ms);
    stopped = driver_check();
  });
  EXPECT_TRUE(stopped);
  EXPECT_NE(out.find("lies after the start of every\nrain event of the precipitation file (3 events)"),
            std::string::npos)
      << out;
  EXPECT_EQ(ms->keep_running, 0);
}

TEST(StartTime, AFullChannelLakeIsRoutedFromTheStartEveryMinute) {
  auto ms = long_term_record(1);
  ms->dt_base = ms->dt = 10;
  ms->lakes_on = 1;
  ms->n_lakes = 1;
  ms->initwse.allocate(1);
  ms->minwse.allocate(1);
  ms->initwse[1] = 101.0;
  ms->minwse[1] = 100.0;
  setup_start_time(*ms);
  ASSERT_FALSE(driver_check());
  EXPECT_DOUBLE_EQ(ms->chan_interval, 60.0);
  EXPECT_DOUBLE_EQ(ms->chan_interval_base, 60.0);
  EXPECT_EQ(ms->chan_active, 1);
  EXPECT_EQ(ms->chan_lakes_active, 1);
  EXPECT_EQ(ms->last_chan_time, ms->now);
  EXPECT_DOUBLE_EQ(ms->next_chan_time, ms->now + 60.0 / 86400.0);
}

TEST(StartTime, RunStartTimeIsKnownBeforeTheStartTimeSetUp) {
  struct start_case {
    const char* label;
    int long_term, start_day, uniform, qln;
  };
  const start_case cases[] = {
      {"long-term run with START_DATE", 1, 3, 0, 0},
      {"long-term run from its weather data", 1, 0, 0, 0},
      {"event run", 0, 0, 0, 0},
      {"uniform rain", 0, 0, 1, 0},
      {"host-driven event 2", 0, 0, 0, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    auto ms = long_term_record(c.start_day);
    ms->long_term_on = c.long_term;
    ms->run_params.start_year = c.start_day ? 2001 : 0;
    ms->hmet_begin_hour = 6;
    if (c.uniform) {
      ms->uniform_rain_on = 1;
      ms->cur_year = 2001;
      ms->now = ms->start_time = julian_date(2001, 5, 7, 8, 30, 0.0);
    }
    ms->qln_on = ms->qln_event_num_on = c.qln != 0;
    ms->qln_event_num = c.qln;
    const double expected = run_start_time(*ms);
    setup_start_time(*ms);
    ASSERT_FALSE(driver_check());
    EXPECT_EQ(ms->loop_start_time, expected);
  }
}

TEST(StartTime, NextEventIsGuardedAtTheLastEvent) {
  auto ms = long_term_record(1);
  ms->event_no = 2;
  ASSERT_TRUE(next_event_start_time(*ms).has_value());
  EXPECT_EQ(*next_event_start_time(*ms), ms->event_start_times[3]);
  ms->event_no = 3;
  EXPECT_FALSE(next_event_start_time(*ms).has_value());
  EXPECT_FALSE(event_start_entry(*ms, 0).has_value());
}

}  // namespace
}  // namespace kavro
