#include "calibration/monte_carlo.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "calibration/calibration_entries.h"
#include "framework/number_text.h"
#include "framework/readers.h"
#include "framework/run_globals.h"

namespace kavro {

namespace {

// More parameters than any calibration makes; a larger count is a fault of the file.
constexpr int max_mc_params = 100000;

// `token` as one finite real, by the number rule.
bool finite_real(const std::string& token, double& value) { return read_real(token, value) == number_fault::none; }

void print_bad_value(const std::string& file, int line_no, const char* what, const std::string& token) {
  double x = 0.0;
  const number_fault fault = token.empty() ? number_fault::missing : read_real(token, x);
  std::printf("Error: monte carlo input file %s, line %d: %s \"%s\" is not valid%s%s.\n", file.c_str(), line_no,
              what, printable(token).c_str(), fault == number_fault::none ? "" : ": ",
              fault == number_fault::none ? "" : number_fault_text(fault, token, 1, max_mc_params).c_str());
}

}  // namespace

montecarlo::montecarlo(int n_runs, const std::string& input_file, run_context_record& ctx,
                       std::optional<unsigned> seed, const run_plan* plan)
    : context(ctx), runs(n_runs) {
  process_id = ctx.process_id;
  objective.plan = plan;
  read_input_file(input_file);
  if (!input_ok) return;
  std::srand(seed ? *seed
                  : static_cast<unsigned>(ctx.process_rank) + static_cast<unsigned>(std::time(nullptr)));
  sampling = ctx.no_sampling ? 0 : 1;
  best_params.allocate(n_params);
  observations_ok = objective.read_observations(obs_file) == 1 ? 1 : 0;
}

montecarlo::~montecarlo() {
  objective.destroy();
  log_file.close();
}

int montecarlo::read_input_file(const std::string& file) {
  input_ok = 0;
  file_wrapper f;
  if (!f.open(file, "r")) return 0;
  std::string line, token;
  std::string* names[3] = {&project_file, &list_file, &obs_file};
  for (int i = 0; i < 3; ++i) {
    if (!read_line(line, f) || !pop_token(line, *names[i])) {
      std::printf("Error: monte carlo input file %s, line %d: a file name is missing.\n", file.c_str(), i + 1);
      return 0;
    }
  }
  int n = 0;
  if (!read_line(line, f) || !pop_token(line, token) || read_int(token, n, 1, max_mc_params) != number_fault::none) {
    print_bad_value(file, 4, "the number of parameters", token);
    return 0;
  }
  n_params = n;
  min.allocate(n);
  max.allocate(n);
  sample.allocate(n);
  for (int k = 1; k <= n; ++k) {
    const int line_no = k + 4;
    token.clear();
    if (!read_line(line, f) || !pop_token(line, token) || !finite_real(token, min[k])) {
      print_bad_value(file, line_no, "the lower end", token);
      return 0;
    }
    // No upper end, or a comment after the lower end: the parameter is fixed.
    if (!pop_token(line, token) || token.front() == '#') {
      max[k] = min[k];
    } else if (!finite_real(token, max[k])) {
      print_bad_value(file, line_no, "the upper end", token);
      return 0;
    }
  }
  sample[0] = 0.0;
  input_ok = 1;
  return 1;
}

void montecarlo::sample_parameters() {
  if (!sampling) {
    for (long k = 0; k <= n_params; ++k) sample[k] = 0.0;
    return;
  }
  for (long k = 1; k <= n_params; ++k) {
    const double r = static_cast<double>(std::rand());
    sample[k] = min[k] + r / (static_cast<double>(RAND_MAX) + 1.0) * (max[k] - min[k]);
  }
}

int montecarlo::run() {
  if (!input_ok) {
    std::printf("Error: unable to read the input monte carlo file.\n");
    return 0;
  }
  if (runs < 1) {
    std::printf("Error: the number of Monte Carlo runs %d is not valid.\n", runs);
    return 0;
  }
  if (!observations_ok) {
    print_observation_file_error(obs_file);
    return 0;
  }
  keys_ = list_file_keys(list_file);
  if (!list_matches_parameters(list_file, keys_, n_params)) return 0;
  const calib_objective_fn call = objective_callback ? objective_callback : model_run_objective;
  if (call == model_run_objective && !calibration_project_opens(project_file, "the Monte Carlo input file")) return 0;
  for (int i = 0; i < runs; ++i) {
    sample_parameters();
    const double cost = call(list_file, project_file, sample.data(), objective, n_params, "temp");
    log_run(cost);
    if (i == 0 || std::fabs(best_cost) > std::fabs(cost)) {
      best_cost = cost;
      for (long k = 1; k <= n_params; ++k) best_params[k] = sample[k];
    }
    const int per_process = context.process_count > 0 ? runs / context.process_count : runs;
    objective.record_results(context.process_rank, process_id, context.no_sampling, context.group_value,
                             context.process_count, runs, per_process);
  }
  return calibration_has_results(objective) ? 1 : 0;
}

void montecarlo::log_run(double cost) {
  if (!sampling) return;
  if (!log_file.is_open()) {
    const std::string name = format_string("log_file_p%d.log", context.process_id);
    if (output_file_exists(name)) {
      if (!log_file.open(name, "a")) return;
    } else {
      if (!log_file.open(name, "w")) return;
      std::fputs("Cost  \t", log_file.fp);
      for (const std::string& key : keys_) std::fprintf(log_file.fp, "%s\t", key.c_str());
      std::fputs("\n", log_file.fp);
    }
  }
  std::fprintf(log_file.fp, "%lf\t", cost);
  for (long k = 1; k <= n_params; ++k) std::fprintf(log_file.fp, "%le\t", sample[k]);
  std::fputs("\n", log_file.fp);
  std::fflush(log_file.fp);
}

std::vector<double> run_context_gather(int count, const double* values) {
  return std::vector<double>(values, values + (count > 0 ? count : 0));
}

void montecarlo::report_best() {
  if (!sampling) return;
  double cost = best_cost;
  std::vector<double> params(best_params.begin() + 1, best_params.end());
  if (context.thread_count >= 2) {
    // The best run of every process; the smallest cost (the first of equal ones) is reported by rank 0.
    const std::vector<double> costs = run_context_gather(1, &best_cost);
    const std::vector<double> sets = run_context_gather(n_params, best_params.data() + 1);
    std::size_t pick = 0;
    for (std::size_t p = 1; p < costs.size(); ++p)
      if (costs[p] < costs[pick]) pick = p;
    if (context.process_rank != 0) return;
    cost = costs[pick];
    const auto first = sets.begin() + static_cast<long>(pick) * n_params;
    params.assign(first, first + n_params);
  }
  std::fflush(stdout);
  std::printf("\n\nBest objective function value: %lf\nParameters:\n ", cost);
  for (double v : params) std::printf("%lf ", v);
  std::printf("\n");
  file_wrapper out;
  if (!out.open("best.out", "w")) {
    std::printf("Warning: Unable to open the best.out file. Only printing results to stdout.\n");
    return;
  }
  std::fprintf(out.fp, "%lf:  ", cost);
  for (double v : params) std::fprintf(out.fp, "%le ", v);
  std::fprintf(out.fp, "\n");
}

int run_monte_carlo(int n_runs, const std::string& mc_input_file, const run_plan* plan) {
  const int per_process = run_context.process_count > 0 ? n_runs / run_context.process_count : n_runs;
  montecarlo mc(per_process, mc_input_file, run_context, std::nullopt, plan);
  mc.objective_callback = model_run_objective;
  const int ran = mc.run();
  if (ran == 1) mc.report_best();
  return ran;
}

}  // namespace kavro
