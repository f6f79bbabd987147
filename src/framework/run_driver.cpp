#include "framework/run_driver.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <new>
#include <stdexcept>

#include "calibration/calibration_entries.h"
#include "channel/channel_steps.h"
#include "framework/alloc.h"
#include "framework/console_transcript.h"
#include "framework/error_record.h"
#include "framework/event_accounting.h"
#include "framework/event_end_rules.h"
#include "framework/event_start.h"
#include "framework/file_wrapper.h"
#include "framework/host_exchange.h"
#include "framework/main_state.h"
#include "framework/main_state_lifecycle.h"
#include "framework/output_staging.h"
#include "framework/peak_progress.h"
#include "framework/run_abort.h"
#include "framework/run_clock.h"
#include "framework/run_files.h"
#include "framework/replace_pairs.h"
#include "framework/run_globals.h"
#include "hydromet/hydromet_steps.h"
#include "input/exchange_maps.h"
#include "input/file_name_clash.h"
#include "input/grid_connectivity.h"
#include "input/grid_setup.h"
#include "input/option_checks.h"
#include "input/project_settings.h"
#include "input/run_control_checks.h"
#include "input/time_series.h"
#include "output/analyzers.h"
#include "output/output_steps.h"
#include "output/run_files_open.h"
#include "subsurface/subsurface_steps.h"
#include "transport/transport_steps.h"
#include "overland/overland_flow.h"
#include "overland/overland_steps.h"

namespace kavro {

namespace {

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point start) {
  return std::chrono::duration<double>(clock_type::now() - start).count();
}

// A step that takes the record alone.
driver_step step(std::string name, void (*fn)(main_state&), bool checked = true,
                 std::function<bool(const main_state&)> when = {}) {
  return {std::move(name), [fn](main_state& ms, const run_call&) { fn(ms); }, checked, std::move(when)};
}

// Adds the start time of the run (the clock's origin) to every RELATIVE time
// series, so that their times become Julian dates of this run.
void shift_relative_series(main_state& ms) { shift_relative_time_series(ms.now); }

run_plan make_default_plan() {
  run_plan plan;
  auto& init = plan.init_steps;
  init.push_back({"read_project", [](main_state& ms, const run_call& c) { read_project(c.project_path, ms); }, true, {}});
  // Run-control values the run cannot use stop it before any output exists.
  init.push_back({"check_run_control_values",
                  [](main_state& ms, const run_call&) {
                    if (!check_run_control_values(ms)) error_rec.code = already_printed_code;
                  },
                  true,
                  {}});
  init.push_back({"check_project_options",
                  [](main_state& ms, const run_call& c) {
                    // The project's OPTIMIZE card must not switch off a calibrating caller.
                    if (c.calib) ms.optimize_on = 1;
                    check_project_options(ms);
                  },
                  true,
                  {}});
  // An output that cannot be created stops the run before any is opened.
  init.push_back({"check_outputs_can_be_created",
                  [](main_state& ms, const run_call&) {
                    if (!check_outputs_can_be_created(ms)) error_rec.code = already_printed_code;
                  },
                  true,
                  {}});
  init.push_back(step("open_run_files", open_run_files));
  init.push_back({"print_startup_header",
                  [](main_state& ms, const run_call& c) { print_startup_header(ms, c.project_path); }, false, {}});
  init.push_back(step("setup_time_step", setup_time_step));
  init.push_back(step("setup_grid_and_maps", setup_grid_and_maps));
  init.push_back(step("open_map_datasets", open_map_datasets));
  init.push_back(step("write_linknode_headers", write_linknode_headers));
  init.push_back(step("open_contaminant_map_writers", open_contaminant_map_writers, false,
                      [](const main_state& ms) { return ms.all_contam_output_on && ms.ov_contam_on; }));
  init.push_back(step("open_contaminant_link_writers", open_contaminant_link_writers, true,
                      [](const main_state& ms) { return ms.all_contam_output_on && ms.chan_contam_on; }));
  init.push_back(step("build_cell_connectivity", build_cell_connectivity));
  init.push_back(step("fill_edge_values", fill_edge_values));
  init.push_back(step("compute_ground_slopes", compute_ground_slopes));
  init.push_back(step("gage_cell_distances", gage_cell_distances));
  init.push_back(step("init_meteorology_inputs", init_meteorology_inputs));
  init.push_back(step("init_soil_gw_snow_states", init_soil_gw_snow_states));
  init.push_back(step("setup_xy_outputs", setup_xy_outputs));
  init.push_back(step("init_channel_run", init_channel_run));
  init.push_back(step("alloc_calib_result_buffer", alloc_calib_result_buffer, false));
  init.push_back(step("read_exchange_maps", read_exchange_maps));
  init.push_back(step("compute_initial_surface_volume", compute_initial_surface_volume, false));
  init.push_back(step("init_soil_constituent_mass", init_soil_constituent_mass, false));
  init.push_back(step("setup_start_time", setup_start_time));
  init.push_back(step("date_linknode_headers", date_linknode_headers, false));
  // RELATIVE series count from the run's start, known only now; every run
  // shifts them here, before the loop evaluates any series.
  init.push_back(step("shift_relative_series", shift_relative_series, false));
  // Boundary cells read their series inside a parallel loop: every binding
  // is checked here, before the time loop.
  init.push_back(step("check_ovl_boundary_series", check_ovl_boundary_series));
  init.push_back({"read_analyzer_file",
                  [](main_state& ms, const run_call&) { read_analyzer_file(ms, ms.project_params.analyzers); },
                  false, [](const main_state& ms) { return ms.project_params.use_analyzers != 0; }});
  init.push_back({"notify_analyzers",
                  [](main_state& ms, const run_call& c) {
                    if (c.notify) c.notify(ms, analyzer_run_initialised);
                  }, false,
                  {}});

  auto& loop = plan.loop_steps;
  for (auto [name, fn] : std::initializer_list<std::pair<const char*, void (*)(main_state&)>>{
           {"advance_clock", advance_clock},
           {"precip_event_step", precip_event_step},
           {"event_start_step", event_start_step},
           {"precip_period_step", precip_period_step},
           {"apply_precip_step", apply_precip_step},
           {"point_source_inflow_step", point_source_inflow_step},
           {"infiltration_step", infiltration_step},
           {"hmet_step", hmet_step},
           {"longterm_et_step", longterm_et_step},
           {"soil_temperature_step", soil_temperature_step},
           {"snow_step", snow_step},
           {"snowmelt_release_step", snowmelt_release_step},
           {"event_et_step", event_et_step},
           {"sacramento_step", sacramento_step},
           {"conceptual_gw_step", conceptual_gw_step},
           {"soil_contam_step", soil_contam_step},
           {"ovl_boundary_step", ovl_boundary_step},
           {"bmp_step", bmp_step},
           {"overland_route_step", overland_route_step},
           {"tile_drain_step", tile_drain_step},
           {"superlink_step", superlink_step},
           {"sed_contam_source_step", sed_contam_source_step},
           {"ov_constituent_kinetics_step", ov_constituent_kinetics_step},
           {"ov_contam_transport_step", ov_contam_transport_step},
           {"groundwater_step", groundwater_step},
           {"olake_step", olake_step},
           {"chan_route_step", chan_route_step},
           {"chan_point_input_step", chan_point_input_step},
           {"track_peak_step", track_peak_step},
           {"chan_sed_contam_step", chan_sed_contam_step},
           {"chan_contam_decay_step", chan_contam_decay_step},
           {"chan_contam_transport_step", chan_contam_transport_step},
           {"progress_step", progress_step},
           {"event_end_rules_step", event_end_rules_step},
           {"host_exchange_step", host_exchange_step},
           {"end_event", end_event},
           {"write_timeseries_output", write_timeseries_output},
           {"write_map_output", write_map_output},
       }) {
    loop.push_back(step(name, fn));
  }
  plan.notify = notify_analyzers;
  plan.final_summary = write_final_summary;
  return plan;
}

// A run that stops on an error repeats in its summary what the console
// showed in the step that stopped it.
void log_stop_message(main_state& ms, const driver_step& s) {
  if (!ms.fs_summary.is_open()) return;
  const std::string text = active_transcript ? active_transcript->text() : std::string();
  std::fprintf(ms.fs_summary.fp, "\nThe run stopped on an error in the step %s", s.name.c_str());
  if (ms.step_no > 0) std::fprintf(ms.fs_summary.fp, " at %.2lf minutes", ms.elapsed_min);
  std::fprintf(ms.fs_summary.fp, ":\n%s\n", text.c_str());
  std::fflush(ms.fs_summary.fp);
}

// Runs one step (when its condition holds) and its check; true to stop.
bool run_step(const driver_step& s, main_state& ms, const run_call& call) {
  if (active_transcript) active_transcript->mark();
  try {
    if (!s.when || s.when(ms)) s.run(ms, call);
  } catch (const std::bad_alloc&) {
    // A container that grew outside the allocation helpers ends the run as
    // they do: the allocation message, then a stop.
    allocation_failed(s.name);
  } catch (const std::length_error&) {
    // A container asked for more elements than it can ever hold.
    allocation_failed(s.name);
  }
  const bool stop = s.checked && report_pending_and_check_stop();
  if (stop) log_stop_message(ms, s);
  return stop;
}

// The initialisation sequence and the time loop. Every way out returns here.
void run_sequence(const run_plan& plan, main_state& ms, const run_call& call, clock_type::time_point start) {
  for (const auto& s : plan.init_steps) {
    if (run_step(s, ms, call)) return;
  }

  // The run starts stepping: its outputs take their own names.
  if (staged_outputs && !commit_staged_outputs(*staged_outputs)) {
    error_rec.code = already_printed_code;
    report_error(error_rec);
    return;
  }
  staged_outputs = nullptr;

  const double init_time = seconds_since(start);
  if (replace_on && ms.fs_summary.is_open()) print_replace_usage(ms.fs_summary, ms.tool_mode);
  if (!ms.quiet && !ms.tool_mode) std::printf("total time to init(s): %8.1lf\n", init_time);
  if (error_rec.code != 0) {
    // A code that no check reported: the run ends on an error.
    if (plan.notify) plan.notify(ms, analyzer_error_end);
    return;
  }
  if (!ms.quiet && !ms.tool_mode) std::printf("Running....\n");
  if (ms.fs_summary.is_open()) std::fprintf(ms.fs_summary.fp, "Running.... \n\n");
  ms.precip_event_calls = 0;
  ms.hmet_start_synced = 0;

  for (;;) {
    for (const auto& s : plan.loop_steps) {
      if (run_step(s, ms, call)) return;
    }
    if (plan.notify) plan.notify(ms, analyzer_step_done);
    if (error_rec.code != 0) {
      if (plan.notify) plan.notify(ms, analyzer_error_end);
      return;
    }
    if (ms.keep_running) continue;
    if (plan.final_summary) plan.final_summary(ms);
    if (report_pending_and_check_stop()) return;
    if (plan.notify) plan.notify(ms, analyzer_normal_end);
    return;
  }
}

const run_plan the_default_plan = make_default_plan();

}  // namespace

bool is_tool_mode_text(std::string_view mode_text) {
  return mode_text == "-slm" || mode_text == "-ms" || mode_text == "-tr" || mode_text == "-mlsl";
}

const run_plan& default_run_plan() { return the_default_plan; }

run_outcome run_simulation_with(const run_plan& plan, const std::string& project_path, calib_result_buffer* calib,
                                std::string_view mode_text) {
  const auto start = clock_type::now();
  auto ms = std::make_unique<main_state>();
  ms->project_path = project_path;
  error_rec.code = 0;
  error_rec.stop = 0;
  error_rec.fatal = 0;
  error_rec.went_on = 0;
  ms->tool_mode = is_tool_mode_text(mode_text) ? 1 : 0;
  if (calib) {
    ms->optimize_on = 1;
    ms->calib_results = calib;
  }

  const run_call call{project_path, calib, plan.notify};
  bool pending_code = false;
  // Until the time loop starts, outputs are written under temporary names.
  output_staging staging;
  staged_outputs = &staging;
  current_warnings = &ms->run_warnings;
  {
    console_transcript transcript;
    active_transcript = &transcript;
    try {
      run_sequence(plan, *ms, call, start);
      pending_code = error_rec.code != 0;
    } catch (const run_aborted&) {
      // The step printed its message; end the run as after a stop.
      error_rec.stop = 1;
    }
    active_transcript = nullptr;
  }
  current_warnings = nullptr;

  const int tool_mode = ms->tool_mode;
  close_all_files(*ms);
  // A run refused before its time loop leaves the files of earlier runs as they were.
  staged_outputs = nullptr;
  discard_staged_outputs(staging);
  std::fflush(stdout);
  std::fflush(stderr);
  main_state_destroy(*ms);
  ms.reset();
  run_log_file = nullptr;

  run_outcome outcome;
  outcome.run_time_s = seconds_since(start);
  file_wrapper timing;
  if (timing.open("out_time.out", "a")) std::fprintf(timing.fp, "total time (s): %8.2lf\n", outcome.run_time_s);
  if (!tool_mode) {
    if (run_context.thread_count > 1)
      std::printf("%d: Run time: %6.2lf(s) \n", run_context.process_rank, outcome.run_time_s);
    else
      std::printf("Run time: %6.2lf(s) \n", outcome.run_time_s);
  }
  std::fflush(stdout);
  outcome.result = error_rec.code != 0 ? error_rec.code : (error_rec.went_on ? already_printed_code : 0);
  outcome.stopped_on_error = error_rec.stop != 0 || error_rec.fatal != 0 || pending_code || error_rec.went_on != 0;
  timing.close();
  return outcome;
}

run_outcome run_simulation_outcome(const std::string& project_path, calib_result_buffer* calib,
                                   std::string_view mode_text) {
  return run_simulation_with(default_run_plan(), project_path, calib, mode_text);
}

int run_simulation(const std::string& project_path, calib_result_buffer* calib, std::string_view mode_text) {
  return run_simulation_outcome(project_path, calib, mode_text).result;
}

}  // namespace kavro
