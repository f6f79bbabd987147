// The progress line, the event peak, the rules that end an event and the
// run, and a single-event run driven pass by pass with empty process steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "event_test_support.h"
#include "framework/event_accounting.h"
#include "framework/event_end_rules.h"
#include "framework/event_start.h"
#include "framework/host_exchange.h"
#include "framework/peak_progress.h"
#include "framework/run_driver.h"
#include "output/analyzers.h"
#include "test_support.h"

namespace kavro {
namespace {

// An analyzer that records the masks it is told of.
class mask_recorder : public analyzer {
 public:
  explicit mask_recorder(std::vector<int>& masks) : masks_(masks) {}
  void on_event(main_state&, int mask) override { masks_.push_back(mask); }

 private:
  std::vector<int>& masks_;
};

const double march_first = julian_date(2001, 3, 1, 0, 0, 0.0);

TEST(ProgressLine, ExactFormatInCubicMetresAndCubicFeet) {
  struct line_case {
    int cfs;
    double qout;
    const char* line;
  };
  const line_case cases[] = {
      {0, 0.0, "event  1 elapsed time     0.00   3/01/2001 00:00:00 Qout=      0.00000000 cms\n"},
      {1, 1.0, "event  1 elapsed time     0.00   3/01/2001 00:00:00 Qout=     35.31466700 cfs\n"},
  };
  for (const auto& c : cases) {
    auto ms = new_record();
    start_clock(*ms, march_first, 30);
    advance_clock(*ms);
    ms->precip_period_start = ms->now;  // the surface step ran on this pass
    ms->event_no = 1;
    ms->qout_cfs_on = c.cfs;
    ms->qout = c.qout;
    EXPECT_EQ(printed_by([&] { progress_step(*ms); }), c.line);
  }
}

TEST(ProgressLine, FollowsTheSurfaceOrChannelUpdateAndHonoursQuiet) {
  auto ms = new_record();
  start_clock(*ms, march_first, 30);
  advance_clock(*ms);
  ms->precip_period_start = ms->now + ms->dt_days;  // no surface update on this pass
  EXPECT_EQ(printed_by([&] { progress_step(*ms); }), "");
  ms->channel_on = 1;
  ms->last_chan_time = ms->now;  // the channel routing ran
  EXPECT_NE(printed_by([&] { progress_step(*ms); }), "");
  ms->quiet_on = 1;
  ms->project_params.use_stream_info = 1;
  EXPECT_EQ(printed_by([&] { progress_step(*ms); }), "");
}

TEST(ProgressLine, StreamInfoOfAOneLinkNetworkScansNothing) {
  auto ms = new_record();
  start_clock(*ms, march_first, 30);
  ms->channel_on = 1;
  ms->last_chan_time = ms->now;
  ms->quiet = 1;  // the extremes are printed also when the line is not
  ms->LINKS = 1;
  ms->project_params.use_stream_info = 1;
  EXPECT_EQ(printed_by([&] { progress_step(*ms); }),
            "    ==> Max Yp (N -1, L -1) = -5000.000000\n"
            "    ==> Min Yp (N -1, L -1) = 5000.000000\n"
            "    ==> Max Qp (N -1, L -1) = -5000.000000\n"
            "    ==> Min Qp (N -1, L -1) = 5000.000000\n");
}

TEST(Peak, TheFirstTimeOfTheHighestDischargeIsKept) {
  auto ms = new_record();
  start_clock(*ms, march_first, 60);
  const double flows[] = {1.0, 3.0, 3.0, 2.0};
  for (double q : flows) {
    advance_clock(*ms);
    ms->qout = q;
    track_peak_step(*ms);
  }
  EXPECT_EQ(ms->peak_q, 3.0);
  EXPECT_EQ(ms->peak_time, march_first + 1 * ms->dt_days);
  EXPECT_EQ(ms->peak_minute, 1);
}

// A long-term run at event `event` of three; the outflow fell below the cutoff.
std::unique_ptr<main_state> long_term_at_event(int event) {
  auto ms = new_record();
  start_clock(*ms, march_first, 60);
  make_cells(*ms, 1, 1.0);
  ms->long_term_on = 1;
  ms->event_active = 1;
  ms->event_min_q = 0.05;
  ms->qout = 0.01;
  ms->peak_q = 1.0;
  ms->keep_running = 1;
  ms->n_precip_events = 3;
  for (int e = 1; e <= 3; ++e) ms->event_start_times[e] = march_first + e;
  ms->event_no = event;
  ms->precip_period_end = ms->now + ms->precip_period;
  return ms;
}

TEST(EndRules, AbsoluteEndTimeEndsTheRunOnlyAfterIt) {
  for (double past : {0.0, 1e-6}) {
    auto ms = new_record();
    std::vector<int> masks;
    ms->analyzer_list.push_back(std::make_unique<mask_recorder>(masks));
    start_clock(*ms, march_first, 30);
    ms->run_end_time = march_first + 1.0;
    ms->keep_running = 1;
    ms->event_no = 1;
    ms->end_time_on = 1;
    ms->end_time = ms->now - past;
    const std::string out = printed_by([&] { event_end_rules_step(*ms); });
    const bool ended = past > 0.0;
    EXPECT_EQ(ms->event_over, ended ? 1 : 0);
    EXPECT_EQ(ms->keep_running, ended ? 0 : 1);
    EXPECT_EQ(out, ended ? "Event   1 is over due to absolute end time \n" : "");
    EXPECT_TRUE(masks.empty()) << "no event-end notification on this path";
  }
}

TEST(EndRules, SingleEventRunEndsSilentlyAtItsDuration) {
  auto ms = new_record();
  std::vector<int> masks;
  ms->analyzer_list.push_back(std::make_unique<mask_recorder>(masks));
  start_clock(*ms, march_first, 30);
  ms->run_end_time = ms->now;
  ms->keep_running = 1;
  EXPECT_EQ(printed_by([&] { event_end_rules_step(*ms); }), "");
  EXPECT_EQ(ms->keep_running, 0);
  EXPECT_EQ(ms->event_done, 1);
  EXPECT_EQ(masks, std::vector<int>{analyzer_event_ended});

  ms = new_record();
  start_clock(*ms, march_first, 30);
  ms->qln_on = 1;  // the host decides when its run ends
  ms->keep_running = 1;
  event_end_rules_step(*ms);
  EXPECT_EQ(ms->keep_running, 1);
}

TEST(EndRules, SurfaceStillDrainingAtTheLastEventKeepsTheRunGoing) {
  struct drain_case {
    double surface_gain;
    bool goes_on;
  };
  for (const auto& c : {drain_case{5.0, true}, drain_case{4.99, false}}) {
    auto ms = long_term_at_event(3);
    ms->vol_precip = 100.0;
    ms->vol_overland_init = 1.0;
    ms->ov_depth[1] = 1.0 + c.surface_gain;  // one cell of 1 m2
    const std::string out = printed_by([&] { event_end_rules_step(*ms); });
    EXPECT_EQ(ms->event_over, c.goes_on ? 0 : 1) << c.surface_gain;
    EXPECT_EQ(ms->keep_running, c.goes_on ? 1 : 0) << c.surface_gain;
    if (!c.goes_on) {
      EXPECT_EQ(out,
                "Event   3 is over due to flow below cutoff value \n"
                "simulation ended normally; end of data for last event reached\n");
    }
  }
}

TEST(EndRules, AnEndedEventJumpsToTheNextEventButNotPastTheLast) {
  auto ms = long_term_at_event(1);
  ms->channel_on = 1;
  printed_by([&] { event_end_rules_step(*ms); });
  EXPECT_EQ(ms->event_over, 1);
  EXPECT_EQ(ms->keep_running, 1);
  EXPECT_EQ(ms->precip_period_end, ms->event_start_times[2]);
  EXPECT_EQ(ms->next_chan_time, ms->event_start_times[2]);

  ms = long_term_at_event(3);
  const double period_end = ms->precip_period_end;
  printed_by([&] { event_end_rules_step(*ms); });
  EXPECT_EQ(ms->event_over, 1);
  EXPECT_EQ(ms->keep_running, 0);
  EXPECT_EQ(ms->precip_period_end, period_end) << "no next event to jump to";
}

TEST(EndRules, OutflowThatNeverReachedTheCutoffWaitsForTheChannels) {
  auto ms = long_term_at_event(2);
  ms->peak_q = 0.01;
  ms->channel_on = 1;
  ms->LINKS = 1;
  ms->nx.allocate(1);
  ms->nx[1] = 2;
  ms->qp.allocate(3, 1);
  ms->qp[2][1] = 0.06;
  EXPECT_EQ(printed_by([&] { event_end_rules_step(*ms); }), "");
  EXPECT_EQ(ms->chan_flow_above_cutoff, 1);
  EXPECT_EQ(ms->event_over, 0);

  ms->qp[2][1] = 0.0;
  EXPECT_EQ(printed_by([&] { event_end_rules_step(*ms); }), "") << "no line names such an event";
  EXPECT_EQ(ms->event_over, 1);
  EXPECT_EQ(ms->next_chan_time, ms->event_start_times[3]);
  EXPECT_EQ(ms->chan_active, 0);
}

TEST(EndRules, LackOfWeatherDataEndsTheLastEvent) {
  auto ms = long_term_at_event(3);
  ms->qout = 1.0;
  ms->next_lt_et_time = -10.0;
  ms->water_table_on = 1;
  EXPECT_EQ(printed_by([&] { event_end_rules_step(*ms); }), "Event   3 is over due to lack of ET data \n");
  EXPECT_EQ(ms->keep_running, 0);
}

// Runs a single-event run of 60 minutes at a 30 s step through the driver,
// with the clock and event steps and nothing else; `end_minutes` > 0 sets END_TIME.
struct single_event_result {
  std::string out;
  std::vector<int> masks;
  double last_now = 0, end_time = 0, dt_days = 0;
  int passes = 0, events_done = 0;
};

single_event_result run_single_event(int end_minutes) {
  single_event_result r;
  run_plan plan;
  plan.init_steps.push_back({"settings",
                             [&r, end_minutes](main_state& ms, const run_call&) {
                               ms.analyzer_list.push_back(std::make_unique<mask_recorder>(r.masks));
                               auto& rp = ms.run_params;
                               rp.timestep = 30;
                               rp.tot_time = 60;
                               rp.outslope = 0.001;
                               rp.hyd_freq = 60;
                               rp.map_freq = 60;
                               ms.n_precip_events = 1;
                               ms.event_start_times[1] = march_first;
                               ms.end_time_on = end_minutes > 0;
                               ms.end_time = march_first + end_minutes / 1440.0;
                               r.end_time = ms.end_time;
                             },
                             true,
                             {}});
  auto step = [](const char* name, void (*fn)(main_state&)) {
    return driver_step{name, [fn](main_state& ms, const run_call&) { fn(ms); }, true, {}};
  };
  plan.init_steps.push_back(step("setup_time_step", setup_time_step));
  plan.init_steps.push_back(step("setup_start_time", setup_start_time));
  plan.init_steps.push_back(
      {"notify",
       [](main_state& ms, const run_call& c) { c.notify(ms, analyzer_run_initialised); },
       false,
       {}});
  auto add = [&plan, &step](const char* name, void (*fn)(main_state&)) {
    plan.loop_steps.push_back(step(name, fn));
  };
  add("advance_clock", advance_clock);
  // The rain-event step reads the one event on the first pass.
  plan.loop_steps.push_back({"rain event",
                             [](main_state& ms, const run_call&) {
                               if (ms.event_no != 0) return;
                               ms.event_no = 1;
                               ms.event_active = 1;
                               ms.next_event_start = ms.event_start_times[1];
                             },
                             true,
                             {}});
  add("event_start_step", event_start_step);
  add("track_peak_step", track_peak_step);
  add("progress_step", progress_step);
  add("event_end_rules_step", event_end_rules_step);
  add("host_exchange_step", host_exchange_step);
  add("end_event", end_event);
  plan.loop_steps.push_back({"observe",
                             [&r](main_state& ms, const run_call&) {
                               ++r.passes;
                               r.last_now = ms.now;
                               r.dt_days = ms.dt_days;
                               r.events_done = ms.n_events_done;
                             },
                             false,
                             {}});
  plan.notify = notify_analyzers;
  kavro_test::scratch_dir dir;
  const auto old_cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  r.out = printed_by([&] { run_simulation_with(plan, "none.prj", nullptr, ""); });
  std::filesystem::current_path(old_cwd);
  return r;
}

TEST(SingleEventRun, EndsAtTheEndOfItsSimulatedDuration) {
  const single_event_result r = run_single_event(0);
  EXPECT_EQ(occurrences(r.out, "simulation duration 60 minutes\n"), 1) << r.out;
  EXPECT_NE(r.out.find("Run time"), std::string::npos);
  EXPECT_EQ(r.passes, 121);  // the first pass at the start, then 120 steps of 30 s
  EXPECT_EQ(r.last_now, march_first + 120 * r.dt_days);
  EXPECT_EQ(r.events_done, 1);
  ASSERT_FALSE(r.masks.empty());
  EXPECT_EQ(r.masks.front(), analyzer_run_initialised);
  EXPECT_EQ(r.masks.back(), analyzer_normal_end);
  EXPECT_EQ(std::count(r.masks.begin(), r.masks.end(), analyzer_event_ended), 1);
  EXPECT_EQ(std::count(r.masks.begin(), r.masks.end(), analyzer_step_done), 121);
}

TEST(SingleEventRun, AbsoluteEndTimeEndsTheEventFirst) {
  const single_event_result r = run_single_event(30);
  EXPECT_EQ(occurrences(r.out, "Event   1 is over due to absolute end time \n"), 1) << r.out;
  EXPECT_GT(r.last_now, r.end_time);
  EXPECT_LE(r.last_now - r.end_time, r.dt_days);
  EXPECT_EQ(r.events_done, 1);
  EXPECT_EQ(std::count(r.masks.begin(), r.masks.end(), analyzer_event_ended), 0);
  EXPECT_EQ(r.masks.back(), analyzer_normal_end);
}

}  // namespace
}  // namespace kavro
