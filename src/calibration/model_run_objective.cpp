// One model run of a calibration: the parameter values reach the project
// through the replacement pairs, the run hands its event peaks and volumes
// over in a result buffer, and the calibration's objective scores them.
#include <algorithm>
#include <cstdio>
#include <memory>

#include "calibration/calib_objective.h"
#include "calibration/calibration_entries.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/replace_pairs.h"
#include "framework/run_driver.h"
#include "framework/run_globals.h"

namespace kavro {

double model_run_objective(const std::string& list_file, const std::string& project_file, const double* params,
                           calib_objective& objective, int n_params, std::string_view mode_text) {
  // Every file the run and the scoring write is named "NNNN_file" from now on.
  run_number = run_context.process_rank;
  run_prefix_on = 1;
  read_replace_params(list_file);
  int k = 1;
  for (replace_pair& pair : replace_list) {
    if (k > n_params) break;
    pair.double_value = params[k++];
  }
  replace_on = 1;
  calib_result_buffer buffer;
  const run_outcome outcome =
      run_simulation_with(objective.plan ? *objective.plan : default_run_plan(), project_file, &buffer, mode_text);
  ++objective.n_model_runs;
  if (outcome.stopped_on_error)
    std::printf("Error: model run %d of the calibration stopped on an error; its result is not a simulation.\n",
                objective.n_model_runs);
  else
    ++objective.n_runs_ended_normally;
  return objective.evaluate(buffer.peaks, buffer.volumes, run_context.process_rank, n_params, params);
}

bool calibration_has_results(const calib_objective& objective) {
  if (objective.n_model_runs == 0 || objective.n_runs_ended_normally > 0) return true;
  std::printf("Error: none of the %d model runs of the calibration ended normally: there are no results.\n",
              objective.n_model_runs);
  return false;
}

bool calibration_project_opens(const std::string& project_file, const std::string& input_file) {
  file_wrapper f;
  if (f.open(project_file, "r")) return true;
  std::printf("Error: the project file %s named in %s cannot be opened; the calibration does not start.\n",
              project_file.c_str(), input_file.c_str());
  return false;
}

void alloc_calib_result_buffer(main_state& ms) {
  if (!ms.optimize_on) return;
  if (!ms.calib_results) {
    ms.own_calib_results = std::make_unique<calib_result_buffer>();
    ms.calib_results = ms.own_calib_results.get();
  }
  calib_result_buffer& b = *ms.calib_results;
  const int n_outputs = std::max(ms.optimize_sed_on ? ms.n_sed_locations : ms.n_hyd_locations, 0);
  b.n_locations = n_outputs + 1;
  // Rows 0 to the last event: row 0 for a long-term run whose events count
  // from the first one after the start date, rows from 1 in an event run;
  // a uniform-rain run has event 1 and no precipitation file.
  b.n_events = std::max(ms.n_precip_events, 1) + 1 - ms.first_event_index;
  b.loc_peak.allocate(b.n_locations);
  b.loc_volume.allocate(b.n_locations);
  const long cells = static_cast<long>(b.n_events) * b.n_locations + 2;
  // Zero-filled: a cell that no event fills reads 0, which leaves an
  // unweighted observation row without effect.
  b.peaks.allocate(cells - 1);
  b.volumes.allocate(cells - 1);
  // The per-location accumulators of the channel routing, one per location.
  if (ms.hyd_loc_max_q.size() < n_outputs) ms.hyd_loc_max_q.allocate(n_outputs);
  if (ms.hyd_loc_volume.size() < n_outputs) ms.hyd_loc_volume.allocate(n_outputs);
}

std::vector<std::string> list_file_keys(const std::string& list_file) {
  std::vector<std::string> keys;
  read_replace_params(list_file);
  for (const replace_pair& pair : replace_list) keys.push_back(pair.key);
  free_replace_pairs();
  return keys;
}

bool list_matches_parameters(const std::string& list_file, const std::vector<std::string>& keys, int n_params) {
  if (static_cast<long>(keys.size()) == n_params) return true;
  std::printf(
      "Error: the replacement parameter list file %s holds %d parameters, but the calibration has %d "
      "parameters.\n",
      list_file.c_str(), static_cast<int>(keys.size()), n_params);
  return false;
}

}  // namespace kavro
