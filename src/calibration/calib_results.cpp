#include <cstdio>
#include <filesystem>
#include <system_error>

#include "calibration/calib_objective.h"
#include "framework/file_wrapper.h"
#include "framework/readers.h"

namespace kavro {

namespace {

// Places result `pos` in a list ranked by `key`; an entry of equal key stays
// ahead of the new one.
void rank_insert(std::vector<std::size_t>& list, std::size_t pos, const std::vector<calib_result>& all,
                 double calib_result::*key) {
  auto at = list.begin();
  while (at != list.end() && all[*at].*key <= all[pos].*key) ++at;
  list.insert(at, pos);
}

}  // namespace

void calib_result_lists::add(double cost, double hmle, double rmse, double log_error, double max_peak,
                             double max_volume, const double* params, int n_params) {
  calib_result r;
  r.cost = cost;
  r.hmle = hmle;
  r.rmse = rmse;
  r.log_error = log_error;
  r.max_peak = max_peak;
  r.max_volume = max_volume;
  r.n_params = n_params > 0 ? n_params : 0;
  r.params.assign(static_cast<std::size_t>(r.n_params) + 1, 0.0);
  for (int k = 1; k <= r.n_params; ++k) r.params[static_cast<std::size_t>(k)] = params[k];
  all_results.push_back(std::move(r));
  const std::size_t pos = all_results.size() - 1;
  rank_insert(by_cost, pos, all_results, &calib_result::cost);
  rank_insert(by_hmle, pos, all_results, &calib_result::hmle);
  rank_insert(by_rmse, pos, all_results, &calib_result::rmse);
  rank_insert(by_log_error, pos, all_results, &calib_result::log_error);
  rank_insert(by_max_peak, pos, all_results, &calib_result::max_peak);
  rank_insert(by_max_volume, pos, all_results, &calib_result::max_volume);
}

void calib_result_lists::merge(int) {}

void calib_result_lists::reset() {
  all_results.clear();
  for (auto* list : {&by_cost, &by_hmle, &by_rmse, &by_max_peak, &by_max_volume, &by_log_error}) list->clear();
}

int calib_result_lists::write(const std::string& file) const {
  file_wrapper out;
  if (output_file_exists(file)) {
    if (!out.open(file, "a")) return -1;
  } else {
    if (!out.open(file, "w")) return -1;
    std::fputs("--Cost--\t----HMLE----\t----RMSE----\t-Log Error--\t--Max Peak--\t--Max Vol---\t: params\n", out.fp);
  }
  for (std::size_t pos : by_max_volume) {
    const calib_result& r = all_results[pos];
    std::fprintf(out.fp, "%-8.2lf\t%-12.4lf\t%-12.2lf\t%-12.6lf\t%-12.2lf\t%-12.2lf\t: ", r.cost, r.hmle, r.rmse,
                 r.log_error, r.max_peak, r.max_volume);
    for (int k = 1; k <= r.n_params; ++k) std::fprintf(out.fp, "%-6.4lf  ", r.params[static_cast<std::size_t>(k)]);
    std::fputs("\n", out.fp);
  }
  return 0;
}

void calib_objective::record_results(int rank, int, int no_sampling, int, int n_processes, int, int) {
  if (no_sampling == 0) {
    results.merge(n_processes);
    if (rank == 0) results.write("results_all.out");
  }
  results.reset();
}

bool output_file_exists(const std::string& name) {
  namespace fs = std::filesystem;
  std::string path = normalize_separators(name);
  strip_quotes(path);
  if (path.empty()) return false;
  if (run_prefix_on) {
    const std::size_t slash = path.rfind('/');
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    path.insert(base, format_string("%04d_", run_number));
  }
  // The candidates in the order a write probes them: the first whose folder
  // exists is where the file would be written.
  std::vector<std::string> candidates;
  if (path.front() == '/') {
    candidates = {path};
  } else {
    std::string out_dir;
    if (!output_folder.empty()) {
      if (output_folder.front() == '/' || (!project_folder.empty() && output_folder.starts_with(project_folder)))
        out_dir = output_folder;
      else
        out_dir = project_folder + output_folder;
    }
    if (!out_dir.empty()) candidates.push_back(out_dir + path);
    if (!project_folder.empty() && out_dir.empty()) candidates.push_back(project_folder + path);
    candidates.push_back(path);
  }
  std::error_code ec;
  for (const std::string& c : candidates) {
    if (fs::is_regular_file(c, ec)) return true;
    const fs::path parent = fs::path(c).parent_path();
    if (parent.empty() || fs::is_directory(parent, ec)) return false;
  }
  return false;
}

}  // namespace kavro
