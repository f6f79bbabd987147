// The start time of a run and the first schedules of its timed processes.
//
// Every timed process keeps an interval (seconds and days), the time it
// last acted and the time it acts next (Julian days). Here they are placed
// at the start of the run; the event start moves several of them again at
// each event and every step advances its own.
#include <cstdio>
#include <optional>

#include "framework/error_record.h"
#include "framework/event_schedules.h"
#include "framework/main_state.h"
#include "framework/run_clock.h"

namespace kavro {

namespace {

constexpr double seconds_per_day = 86400.0;
constexpr double one_hour_days = 1.0 / 24.0;
constexpr double timing_tolerance_days = 1.1574074074074074e-07;  // 0.01 s

// After the step's own message: the already-printed code, reported at once,
// stops the run.
void stop_after_message() {
  error_rec.code = already_printed_code;
  report_error(error_rec);
}

// Long-term run: the weather data set the start, START_DATE may move it on.
// False when START_DATE lies after the start of every rain event.
bool set_long_term_start(main_state& ms) {
  ms.start_time =
      julian_date(ms.hmet_begin_year, ms.hmet_begin_month, ms.hmet_begin_day, ms.hmet_begin_hour, 0, 0.0);
  ms.start_hhmm = ms.hmet_begin_hour * 100;
  ms.start_yyyymmdd = (ms.hmet_begin_year * 100 + ms.hmet_begin_month) * 100 + ms.hmet_begin_day;
  ms.hmet_end_time =
      julian_date(ms.hmet_end_year, ms.hmet_end_month, ms.hmet_end_day, ms.hmet_end_hour, 0, 0.0);
  const auto& rp = ms.run_params;
  if (rp.start_year == 0) return true;

  ms.start_date_given = 1;
  ms.now = set_date_from_start_cards(ms);
  // The run must start inside its weather data.
  const bool after_end = ms.now > ms.hmet_end_time + timing_tolerance_days;
  if (after_end || ms.now < ms.start_time - timing_tolerance_days) {
    const bool end = after_end;
    std::printf(
        "Error: the START_DATE %d/%d/%d %02d:%02d of the project file lies %s hour of the weather data, "
        "%d/%d/%d %02d:00 (weather file %s).  Edit the project file.\n",
        rp.start_month, rp.start_day, rp.start_year, rp.start_hour, rp.start_minute,
        end ? "after the last" : "before the first", end ? ms.hmet_end_month : ms.hmet_begin_month,
        end ? ms.hmet_end_day : ms.hmet_begin_day, end ? ms.hmet_end_year : ms.hmet_begin_year,
        end ? ms.hmet_end_hour : ms.hmet_begin_hour, ms.hmet_path.c_str());
    return false;
  }
  for (int i = 1; i <= ms.n_precip_events; ++i) {
    const auto start = event_start_entry(ms, i);
    if (start && *start >= ms.now) {
      ms.first_event_index = i;
      return true;
    }
  }
  std::printf(
      "Error: the START_DATE %d/%d/%d %02d:%02d of the project file lies after the start of every\n"
      "rain event of the precipitation file (%d events).  Edit the project file.\n",
      rp.start_month, rp.start_day, rp.start_year, rp.start_hour, rp.start_minute, ms.n_precip_events);
  return false;
}

// Start time, tolerance and the loop's time origin. False
// when the run cannot start.
bool set_start_time(main_state& ms) {
  if (ms.long_term_on) {
    if (!set_long_term_start(ms)) {
      stop_after_message();
      return false;
    }
  } else if (!ms.uniform_rain_on) {
    // With uniform rain the project reading has set start_time and now.
    ms.start_time = ms.event_start_times.empty() ? 0.0 : ms.event_start_times[1];
  }
  ms.dt_days = ms.dt_base / seconds_per_day;
  ms.time_tol = timing_tolerance_days;
  ms.vol_exfil = ms.vol_exfil_total_at_start = ms.vol_exfil_total = ms.vol_exfil_accum = 0.0;
  ms.qout = 0.0;
  ms.event_over = 0;
  ms.event_active = 0;
  if (ms.start_date_given)
    ms.start_time = ms.now;
  else
    ms.now = ms.start_time;
  if (ms.qln_on) {
    const int host_event = ms.qln_event_num_on ? ms.qln_event_num : 1;
    const auto start = event_start_entry(ms, host_event);
    if (!start) {
      std::printf("Error: the host asked for event %d, but the precipitation file holds %d events.\n",
                  host_event, ms.n_precip_events);
      stop_after_message();
      return false;
    }
    ms.now = *start;
  }
  return true;
}

// The first event of a long-term run that the event-aligned schedules wait for.
double first_event_start(const main_state& ms) {
  const long first = ms.start_date_given ? ms.first_event_index : 1;
  if (first < 1 || first > ms.event_start_times.size()) return ms.now;
  return ms.event_start_times[first];
}

// A long-term run waits for its first event unless water moves from the start.
bool waits_for_first_event(const main_state& ms) {
  return ms.long_term_on && ms.any_exfil != 1 && ms.runoff_active != 1;
}

void place_precip_schedule(main_state& ms, double first_event) {
  ms.precip_interval = ms.run_params.timestep;
  ms.precip_period = ms.precip_interval / seconds_per_day;
  if (waits_for_first_event(ms)) {
    if (ms.start_date_given) {
      ms.precip_period_start = first_event;
      ms.precip_period_end = first_event + ms.precip_period;
    } else {
      ms.precip_period_end = first_event;
      ms.precip_period_start = first_event - ms.precip_period;
    }
  } else {
    ms.precip_period_end = ms.now;
    ms.precip_period_start = ms.now - ms.precip_period;
  }
  if (ms.nutrients_on && ms.nsm) {
    ms.nsm->precip_period_start = ms.precip_period_start;
    ms.nsm->precip_period_end = ms.precip_period_end;
    ms.nsm->precip_interval = ms.precip_interval;
    ms.nsm->precip_period = ms.precip_period;
  }
  if (ms.qln_event_num_on) {
    ms.precip_period_end = ms.now;
    ms.precip_period_start = ms.now - ms.precip_period;
  }
}

// Weather, snow, groundwater and the lumped models.
void place_hourly_schedules(main_state& ms) {
  if (ms.long_term_on) {
    ms.hmet_interval = 3600.0;
    ms.hmet_interval_days = one_hour_days;
    set_clock(ms.next_hmet_time, ms.last_hmet_time, ms.now, ms.now - one_hour_days);
    ms.hmet_hour_count = 0;
    ms.lt_et_interval = 3600.0;
    ms.lt_et_interval_days = one_hour_days;
    set_clock(ms.next_lt_et_time, ms.last_lt_et_time, ms.now, ms.now - one_hour_days);
    ms.snow_interval = 3600.0;
    ms.snow_interval_days = ms.lt_et_interval / seconds_per_day;
    set_clock(ms.next_snow_time, ms.last_snow_time, ms.now + ms.snow_interval_days - ms.dt_days, ms.now);
    ms.melt_interval = ms.precip_interval;
    ms.melt_interval_days = ms.precip_period;
    set_clock(ms.next_melt_time, ms.last_melt_time, ms.now, ms.now - ms.lt_et_interval_days);
    // Every run counts its own snow hours and starts with the release asleep.
    ms.snow_hours_accum = 0.0;
    ms.melt_release_armed = 0;
  }
  if (ms.gw_simulation_on == 1) {
    ms.gw_interval = ms.gw_timestep;
    ms.gw_interval_days = ms.gw_interval / seconds_per_day;
    set_clock(ms.next_gw_time, ms.last_gw_time, ms.now + ms.gw_interval_days, ms.now);
  }
  if (ms.sacramento_on) {
    ms.sac_interval = 3600.0;
    ms.sac_interval_days = one_hour_days;
    ms.next_sac_time = ms.now;
  }
  if (ms.conceptual_gw_on) {
    ms.cgw_interval = 3600.0;
    ms.cgw_interval_days = one_hour_days;
    set_clock(ms.next_cgw_time, ms.last_cgw_time, ms.now, ms.now - one_hour_days);
  }
}

void place_infiltration_schedule(main_state& ms, double first_event) {
  if (!(ms.green_ampt_on == 1 || ms.inf_redist_on == 1 || ms.multi_layer_ga_on == 1 || ms.richards_on == 1))
    return;
  if (waits_for_first_event(ms) && ms.richards_on == 1) {
    // Richards columns dry out hour by hour between events.
    ms.infil_interval = ms.lt_et_interval;
    if (ms.gw_simulation_on == 1 && 3600.0 > ms.gw_interval) ms.infil_interval = ms.gw_interval;
  } else {
    ms.infil_interval = ms.precip_interval;
  }
  ms.infil_interval_days = ms.infil_interval / seconds_per_day;
  if (waits_for_first_event(ms) && ms.richards_on == 0) {
    set_clock(ms.next_infil_time, ms.last_infil_time, first_event + ms.infil_interval_days, first_event);
  } else {
    set_clock(ms.next_infil_time, ms.last_infil_time, ms.now + ms.infil_interval_days, ms.now);
    if (ms.inf_redist_on) ms.redist_reinit = 1;
  }
  if (ms.qln_event_num_on) {
    set_clock(ms.next_infil_time, ms.last_infil_time, ms.now + ms.dt_days, ms.now);
  }
  if (ms.gw_simulation_on == 1 && ms.gw_interval > ms.infil_interval && ms.soil_redist_on == 0) {
    ms.gw_interval = ms.infil_interval;
    ms.gw_interval_days = ms.infil_interval_days;
    set_clock(ms.next_gw_time, ms.last_gw_time, ms.now + ms.infil_interval_days, ms.now);
  }
}

// Permafrost model and event evapotranspiration.
void place_soil_schedules(main_state& ms) {
  const auto& pp = ms.project_params;
  if (pp.permafrost_kotu == 1 || pp.multi_layer_infil_kotu == 1) {
    if (pp.use_kotu_timestep == 1) {
      ms.kotu_interval = pp.kotu_timestep;
      ms.kotu_interval_days = ms.kotu_interval / seconds_per_day;
      set_clock(ms.next_kotu_time, ms.last_kotu_time, ms.now + ms.kotu_interval_days, ms.now);
    } else {
      ms.kotu_interval = ms.infil_interval;
      ms.kotu_interval_days = ms.infil_interval_days;
      set_clock(ms.next_kotu_time, ms.last_kotu_time, ms.next_infil_time, ms.last_infil_time);
      if (ms.start_date_given) {
        set_clock(ms.next_kotu_time, ms.last_kotu_time, ms.now, ms.now - ms.dt_days);
      }
    }
  }
  if (ms.soil_redist_on) {
    if (waits_for_first_event(ms)) {
      ms.et_interval = ms.lt_et_interval;
      ms.et_interval_days = ms.lt_et_interval_days;
      set_clock(ms.next_et_time, ms.last_et_time, ms.next_lt_et_time + ms.lt_et_interval_days,
                ms.next_lt_et_time);
    } else {
      ms.et_interval = ms.infil_interval;
      ms.et_interval_days = ms.infil_interval_days;
      set_clock(ms.next_et_time, ms.last_et_time, ms.next_infil_time, ms.last_infil_time);
    }
    if (ms.start_date_given) {
      set_clock(ms.next_et_time, ms.last_et_time, ms.now, ms.now - ms.dt_days);
    }
  }
}

// The rain of the first event. False when uniform rain has
// no start date (the run stops).
bool place_rain_events(main_state& ms) {
  if (ms.uniform_rain_on) {
    ms.precip_period_counter = 1;
    ms.n_rain_periods = static_cast<int>(ms.rain_duration * 60.0 / ms.precip_interval);
    ms.event_no = 1;
    ms.rain_event_state = 1;
    ms.event_active = 1;
    ms.next_rain_period_time = ms.now;
  } else {
    long first = 1;
    if (ms.qln_event_num_on) first = ms.qln_event_num;
    if (ms.start_date_given) {
      first = ms.first_event_index;
      ms.event_no = ms.first_event_index - 1;
    }
    ms.next_rain_period_time = event_start_entry(ms, first).value_or(ms.now);
    ms.rain_event_state = 0;
  }
  ms.event_done = 0;
  if (ms.uniform_rain_on && ms.cur_year == 0) {
    std::printf(
        "You did not specify the starting date and time in the\n"
        "project file.  You must do this for simulations with\n"
        "uniform precipitation using the START_DATE and START_TIME\n"
        "cards.  Edit the project file.   Program terminated.\n");
    stop_after_message();
    return false;
  }
  return true;
}

void place_channel_schedule(main_state& ms, double first_event) {
  if (ms.channel_on != 1) return;
  ms.chan_interval = ms.dt;
  ms.chan_lakes_active = 0;
  if (ms.lakes_on == 1) {
    for (long k = 1; k <= ms.n_lakes && k <= ms.initwse.size() && k <= ms.minwse.size(); ++k) {
      if (ms.initwse[k] > ms.minwse[k]) {
        // A full lake must be routed from the start, at least minute by minute.
        ms.chan_interval = ms.dt < 60.0 ? 60.0 : ms.dt;
        ms.chan_active = 1;
        ms.chan_lakes_active = 1;
      }
    }
  }
  if (ms.qln_event_num_on) ms.chan_active = 1;
  ms.chan_interval_base = ms.chan_interval;  // the slow-exchange intervals of long-term runs start from it
  ms.chan_interval_days = ms.chan_interval / seconds_per_day;
  if (ms.long_term_on && ms.chan_active != 1) {
    set_clock(ms.next_chan_time, ms.last_chan_time, first_event + ms.chan_interval_days, first_event);
  } else {
    set_clock(ms.next_chan_time, ms.last_chan_time, ms.now + ms.chan_interval_days, ms.now);
  }
  if (ms.chan_contam_on) {
    align_chan_contam_clocks(ms);
    if (ms.nutrients_on) {
      set_clock(ms.soil_nsm_next, ms.soil_nsm_last, ms.next_et_time, ms.last_et_time);
    }
  }
  ms.chan_iter_count = 0;
}

// The drain and superlink pipe networks.
void place_pipe_schedules(main_state& ms, double first_event) {
  if (ms.storm_drain_on) {
    ms.drain_interval = ms.precip_interval;
    ms.drain_interval_days = ms.drain_interval / seconds_per_day;
    const bool tiles_with_gw = ms.drain && ms.drain->tile_drains_on && ms.gw_simulation_on;
    if (ms.long_term_on && !(ms.any_exfil || tiles_with_gw)) {
      set_clock(ms.next_drain_time, ms.last_drain_time, first_event + ms.drain_interval_days, first_event);
    } else {
      set_clock(ms.next_drain_time, ms.last_drain_time,
                ms.now + (ms.long_term_on ? ms.precip_period : ms.drain_interval_days), ms.now);
      if (ms.drain) ms.drain->started = 1;
    }
  }
  if (ms.storm_sewer_on) {
    ms.superlink_interval = ms.precip_interval;
    if (ms.long_term_on && !(ms.any_exfil || (ms.superlink_tiles_on && ms.gw_simulation_on))) {
      set_clock(ms.next_superlink_time, ms.last_superlink_time, first_event + ms.precip_period, first_event);
    } else {
      set_clock(ms.next_superlink_time, ms.last_superlink_time, ms.now + ms.precip_period, ms.now);
      ms.superlink_active = 1;
    }
    ms.superlink_interval_days = ms.superlink_interval / seconds_per_day;
    ms.superlink_substeps = 0;
  }
}

// The overland constituent clocks follow the rain periods.
void place_ov_contam_schedule(main_state& ms) {
  if (!ms.ov_contam_on) return;
  start_ov_contam_clocks(ms);
  if (ms.ov_point_source_on) {
    // Point sources add water from the start.
    ms.next_ov_contam_time = ms.now + ms.precip_period;
    ms.last_ov_contam_time = ms.precip_period_start = ms.last_infil_time = ms.now;
  }
  if (ms.channel_on)
    set_clock(ms.ov_kin_chan_next, ms.ov_kin_chan_last, ms.precip_period_end, ms.precip_period_start);
  else
    set_clock(ms.ov_kin_nochan_next, ms.ov_kin_nochan_last, ms.precip_period_end, ms.precip_period_start);
  if (ms.soil_contam_on)
    set_clock(ms.soil_contam_next, ms.soil_contam_last, ms.next_et_time, ms.last_et_time);
  else
    set_clock(ms.soil_contam_next, ms.soil_contam_last, ms.next_infil_time, ms.last_infil_time);
}

}  // namespace

double run_start_time(const main_state& ms) {
  if (ms.qln_on) {
    const auto host_start = event_start_entry(ms, ms.qln_event_num_on ? ms.qln_event_num : 1);
    if (host_start) return *host_start;
  }
  const auto& rp = ms.run_params;
  if (ms.long_term_on && rp.start_year != 0)
    return julian_date(rp.start_year, rp.start_month, rp.start_day, rp.start_hour, rp.start_minute, 0.0);
  if (ms.long_term_on)
    return julian_date(ms.hmet_begin_year, ms.hmet_begin_month, ms.hmet_begin_day, ms.hmet_begin_hour, 0,
                       0.0);
  if (ms.uniform_rain_on) return ms.start_time;
  return ms.event_start_times.empty() ? 0.0 : ms.event_start_times[1];
}

void setup_start_time(main_state& ms) {
  if (!set_start_time(ms)) return;
  const double first_event = first_event_start(ms);
  place_precip_schedule(ms, first_event);
  place_hourly_schedules(ms);
  place_infiltration_schedule(ms, first_event);
  place_soil_schedules(ms);
  if (!place_rain_events(ms)) return;
  place_channel_schedule(ms, first_event);
  place_pipe_schedules(ms, first_event);
  place_ov_contam_schedule(ms);
  if (ms.ov_bmp_on) {
    align_bmp_clock(ms);
    ms.bmp_interval = ms.precip_interval;
    ms.bmp_interval_days = ms.precip_period;
  }
  ms.event_step = ms.infil_step = ms.chan_step_counter = ms.step_no = ms.loop_pass = 0;
  ms.precip_event_flag = 0;
  ms.keep_running = 1;
  ms.loop_start_time = ms.now;
}

double set_date_from_start_cards(main_state& ms) {
  const auto& rp = ms.run_params;
  ms.cur_year = rp.start_year;
  ms.cur_month = rp.start_month;
  ms.cur_day = rp.start_day;
  ms.cur_hour = rp.start_hour;
  ms.cur_minute = rp.start_minute;
  ms.cur_second = 0;
  ms.start_hhmm = rp.start_hour * 100 + rp.start_minute;
  ms.start_yyyymmdd = (rp.start_year * 100 + rp.start_month) * 100 + rp.start_day;
  return julian_date(rp.start_year, rp.start_month, rp.start_day, rp.start_hour, rp.start_minute, 0.0);
}

}  // namespace kavro
