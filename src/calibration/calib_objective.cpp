#include "calibration/calib_objective.h"

#include <climits>
#include <cmath>
#include <limits>
#include <cstdio>
#include <string>
#include <vector>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/number_text.h"
#include "framework/readers.h"

namespace kavro {

namespace {

// Cell i of a simulated series; a cell beyond its end holds no value.
double sim(const dvec& s, long i) { return i >= 1 && i <= s.size() ? s[i] : calib_missing_value; }

bool missing(double v) { return v < calib_missing_below; }

bool peak_on(const calib_objective& o, long i) { return o.peak_weight[i] > calib_weight_on; }
bool volume_on(const calib_objective& o, long i) { return o.volume_weight[i] > calib_weight_on; }

// Where g(lambda) of the estimator is 0, lambda minimises it:
// g = sum w e^2 / sum w e^2 r - 1 with w = Q^(2(lambda - 1)).
double hmle_lambda_residual(double lambda, const std::vector<double>& q, const std::vector<double>& e,
                            const std::vector<double>& r) {
  double top = 0.0, bottom = 0.0;
  for (std::size_t j = 0; j < q.size(); ++j) {
    const double w = std::pow(q[j], 2.0 * (lambda - 1.0));
    top += w * e[j] * e[j];
    bottom += w * e[j] * e[j] * r[j];
  }
  // A perfect fit leaves no residual to weigh: no root here (as 0/0 would say).
  if (bottom == 0.0) return top == 0.0 ? std::numeric_limits<double>::quiet_NaN() : std::numeric_limits<double>::infinity();
  return top / bottom - 1.0;
}

// The estimator on the peak-weighted rows.
double hmle_estimate(const calib_objective& o, const dvec& peaks) {
  std::vector<double> q, e;
  for (long i = 1; i <= o.n_obs; ++i) {
    if (!peak_on(o, i)) continue;
    // The estimator takes logarithms of the observed peaks: it has no value
    // for a peak of 0 or below.
    if (o.obs_peak[i] <= 0.0) return calib_failed_cost;
    q.push_back(o.obs_peak[i]);
    e.push_back(o.obs_peak[i] - sim(peaks, i));
  }
  if (q.empty()) return -1.0;  // volumes only: nothing to estimate on
  const double n = static_cast<double>(q.size());
  double m = 0.0;
  for (double v : q) m += std::log(v);
  m /= n;
  // Peaks whose logarithms average 0 (every peak 1, or peaks around it) give
  // the relative weights no scale: the estimator has no value there.
  if (!(std::fabs(m) > 1e-12)) return calib_failed_cost;
  std::vector<double> r(q.size());
  for (std::size_t j = 0; j < q.size(); ++j) r[j] = std::log(q[j]) / m;
  const double lambda = hmle_lambda_search(q, e, r);
  double sum = 0.0;
  for (std::size_t j = 0; j < q.size(); ++j) sum += std::pow(q[j], 2.0 * (lambda - 1.0)) * e[j] * e[j];
  return (sum / n) / std::exp(2.0 * (lambda - 1.0) * m);
}

}  // namespace

void print_observation_file_error(const std::string& file) {
  std::printf(
      "Error: unable to open the observation file for reading or problem while reading it.\nAttempted to read "
      "file: %s\n",
      file.c_str());
}

void calib_objective::refresh_peak_volume_scale() {
  if (n_obs <= 0) {
    peak_volume_scale = 1.0;
    return;
  }
  double big_peak = -1.0, big_volume = -1.0;
  for (long i = 1; i <= n_obs; ++i) {
    if (obs_peak[i] > big_peak) big_peak = obs_peak[i];
    if (obs_volume[i] > big_volume) big_volume = obs_volume[i];
  }
  // Without an observed volume the two criteria cannot be put on one scale.
  peak_volume_scale = big_volume > 0.0 ? big_peak / big_volume : 1.0;
}

int calib_objective::read_observations(const std::string& file) {
  file_wrapper f;
  if (!f.open(file, "r")) return -1;
  // The whole file first: the count is judged against the rows that follow
  // before anything is sized from it.
  std::vector<std::string> lines;
  std::string line, token;
  while (read_line(line, f)) lines.push_back(line);
  if (lines.empty()) return -1;
  const long rows = static_cast<long>(lines.size()) - 1;
  line = lines[0];
  int n = 0;
  const number_fault count_fault = pop_whole(line, n, token, 1, INT_MAX);
  if (count_fault != number_fault::none) {
    std::printf("Error: observation file %s, line 1: the number of events: %s.\n", file.c_str(),
                number_fault_text(count_fault, token, 1, INT_MAX).c_str());
    return -1;
  }
  if (n > rows) {
    std::printf("Error: observation file %s, line 1: %d events, but only %ld lines follow.\n", file.c_str(), n, rows);
    return -1;
  }
  obs_peak.allocate(n);
  obs_volume.allocate(n);
  peak_weight.allocate(n);
  volume_weight.allocate(n);
  n_obs = 0;
  for (int i = 1; i <= n; ++i) {
    line = lines[static_cast<std::size_t>(i)];
    double v[4] = {0.0, 0.0, 0.0, 0.0};
    for (int k = 0; k < 4; ++k) {
      const number_fault fault = pop_real(line, v[k], token);
      if (fault == number_fault::missing) {
        error_rec.code = 135;
        return -1;
      }
      if (fault != number_fault::none) {
        std::printf("Error: observation file %s, line %d: %s.\n", file.c_str(), i + 1,
                    number_fault_text(fault, token).c_str());
        return -1;
      }
    }
    // Peaks, volumes and their weights are amounts: none is below 0.
    for (int k = 0; k < 4; ++k) {
      if (v[k] >= 0.0) continue;
      constexpr const char* what[4] = {"observed peak", "peak weight", "observed volume", "volume weight"};
      std::printf("Error: observation file %s, line %d: the %s %g is negative.\n", file.c_str(), i + 1, what[k],
                  v[k]);
      return -1;
    }
    obs_peak[i] = v[0];
    peak_weight[i] = v[1];
    obs_volume[i] = v[2];
    volume_weight[i] = v[3];
  }
  n_obs = n;
  return 1;
}

double peak_volume_cost(calib_objective& o, const dvec& peaks, const dvec& volumes, int rank) {
  if (peaks.empty() || volumes.empty()) return calib_failed_cost;
  file_wrapper out;
  out.open(format_string("%d_cost.out", rank), "a");
  std::FILE* fp = out.fp;
  if (o.n_obs <= 0) return -1.0;
  double cost = 0.0;
  int points = 0;
  for (long i = 1; i <= o.n_obs; ++i) {
    if (peak_on(o, i)) {
      const double s = sim(peaks, i);
      if (missing(s)) return calib_failed_cost;
      const double d = s - o.obs_peak[i];
      if (fp) std::fprintf(fp, "p:%lf, %lf  ", s, d);
      const double term = o.obs_peak[i] > 1e-16 ? d / o.obs_peak[i] : d;
      cost += std::fabs(term * o.peak_weight[i]);
      ++points;
    }
    if (volume_on(o, i)) {
      const double s = sim(volumes, i);
      if (missing(s)) return calib_failed_cost;
      const double d = s - o.obs_volume[i];
      if (fp) std::fprintf(fp, "v:%lf, %lf  \n", s, d);
      const double term = o.obs_volume[i] > 0.0 ? d / o.obs_volume[i] : d;
      cost += std::fabs(term * o.volume_weight[i]);
      ++points;
    }
  }
  if (points == 0) return -1.0;
  if (fp) {
    std::fprintf(fp, "Total Points: %d\n", points);
    std::fprintf(fp, "cost: %lf\n", cost);
    std::fprintf(fp, "%s\n", std::string(79, '-').c_str());
  }
  return cost;
}

double calib_rmse(calib_objective& o, const dvec& peaks, const dvec& volumes) {
  if (peaks.empty() || volumes.empty()) return calib_failed_cost;
  o.refresh_peak_volume_scale();
  double sum = 0.0;
  for (long i = 1; i <= o.n_obs; ++i) {
    const double sp = sim(peaks, i);
    if (missing(sp)) return calib_failed_cost;
    if (peak_on(o, i)) sum += (sp - o.obs_peak[i]) * (sp - o.obs_peak[i]);
    const double sv = sim(volumes, i);
    if (missing(sv)) return calib_failed_cost;
    if (volume_on(o, i)) {
      const double d = (sv - o.obs_volume[i]) * o.peak_volume_scale;
      sum += d * d;
    }
  }
  return std::sqrt(sum);
}

double calib_log_error(calib_objective& o, const dvec& peaks, const dvec& volumes) {
  if (peaks.empty() || volumes.empty()) return calib_failed_cost;
  o.refresh_peak_volume_scale();
  o.log_error = 0.0;
  double sum = 0.0;
  const double scale = o.peak_volume_scale;
  for (long i = 1; i <= o.n_obs; ++i) {
    const double sp = sim(peaks, i);
    if (missing(sp)) return calib_failed_cost;
    if (peak_on(o, i)) sum += std::fabs(std::log(sp) - std::log(o.obs_peak[i]));
    const double sv = sim(volumes, i);
    if (missing(sv)) return calib_failed_cost;
    if (volume_on(o, i)) sum += std::fabs(std::log(sv * scale) - std::log(scale * o.obs_volume[i]));
  }
  return sum;
}

namespace {

double max_criterion(calib_objective& o, const dvec& series, bool (*on)(const calib_objective&, long)) {
  if (series.empty()) return calib_failed_maximum;
  o.refresh_peak_volume_scale();
  double best = calib_failed_maximum;
  for (long i = 1; i <= o.n_obs; ++i) {
    const double s = sim(series, i);
    if (missing(s)) break;
    if (on(o, i) && s > best) best = s;
  }
  return best;
}

}  // namespace

double max_peak_criterion(calib_objective& o, const dvec& peaks) { return max_criterion(o, peaks, peak_on); }
double max_volume_criterion(calib_objective& o, const dvec& volumes) {
  return max_criterion(o, volumes, volume_on);
}

double hmle_objective(calib_objective& o, const dvec& peaks, const dvec& volumes) {
  if (peaks.empty() || volumes.empty()) return calib_failed_cost;
  o.refresh_peak_volume_scale();
  if (o.n_obs <= 0) return -1.0;
  int weighted = 0;
  for (long i = 1; i <= o.n_obs; ++i) {
    if (peak_on(o, i)) {
      if (missing(sim(peaks, i))) return calib_failed_cost;
      ++weighted;
    }
    if (volume_on(o, i)) {
      if (missing(sim(volumes, i))) return calib_failed_cost;
      ++weighted;
    }
  }
  if (weighted == 0) return -1.0;
  o.hmle = hmle_estimate(o, peaks);
  return o.hmle;
}

double hmle_lambda_search(const std::vector<double>& q, const std::vector<double>& e, const std::vector<double>& r) {
  constexpr double lo = 0.381966012, hi = 0.618033988;
  double a = 0.1, b = 3.0;
  double x1 = a + lo * (b - a), x2 = a + hi * (b - a);
  const double ga = hmle_lambda_residual(a, q, e, r);
  double g1 = hmle_lambda_residual(x1, q, e, r);
  double g2 = hmle_lambda_residual(x2, q, e, r);
  const double gb = hmle_lambda_residual(b, q, e, r);
  double best_x = a, best_g = std::fabs(ga);
  const auto consider = [&](double x, double g) {
    if (best_g > std::fabs(g)) {
      best_x = x;
      best_g = std::fabs(g);
    }
  };
  consider(x1, g1);
  consider(x2, g2);
  consider(b, gb);
  while (b - a > 1e-6) {
    if (std::fabs(g1) > std::fabs(g2)) {
      a = x1;
      x1 = x2;
      g1 = g2;
      x2 = a + hi * (b - a);
      g2 = hmle_lambda_residual(x2, q, e, r);
      consider(x2, g2);
    } else {
      b = x2;
      x2 = x1;
      g2 = g1;
      x1 = a + lo * (b - a);
      g1 = hmle_lambda_residual(x1, q, e, r);
      consider(x1, g1);
    }
  }
  return best_x;
}

void calib_objective::log_event_table(const dvec& peaks, const dvec& volumes, int rank) const {
  if (peaks.empty() || volumes.empty()) return;
  file_wrapper out;
  if (!out.open(format_string("%d_obs.log", rank), "a")) return;
  std::FILE* fp = out.fp;
  std::fprintf(fp, "%s\n", std::string(55, '-').c_str());
  std::fputs(
      "Event\tWeight\tObs Peak   \tSim Peak    \tDiff        \tWeight\tObs Vol     \tSim Vol     \tDiff\n", fp);
  for (long i = 1; i <= n_obs; ++i) {
    const double sp = sim(peaks, i), sv = sim(volumes, i);
    std::fprintf(fp, "%-5ld\t%-6.2lf\t%-12.2lf\t%-12.2lf\t%-12.2lf\t%-6.2lf\t%-12.2lf\t%-12.2lf\t%-12.2lf\n", i,
                 peak_weight[i], obs_peak[i], sp, obs_peak[i] - sp, volume_weight[i], obs_volume[i], sv,
                 obs_volume[i] - sv);
  }
  std::fputs("\n\n", fp);
}

double calib_objective::evaluate(const dvec& peaks, const dvec& volumes, int rank, int n_params,
                                 const double* params) {
  hmle = hmle_objective(*this, peaks, volumes);
  rmse = calib_rmse(*this, peaks, volumes);
  cost = peak_volume_cost(*this, peaks, volumes, rank);
  max_peak = max_peak_criterion(*this, peaks);
  max_volume = max_volume_criterion(*this, volumes);
  log_error = calib_log_error(*this, peaks, volumes);
  results.add(cost, hmle, rmse, log_error, max_peak, max_volume, params, n_params);
  log_event_table(peaks, volumes, rank);
  return cost;
}

void calib_objective::destroy() {
  obs_peak.reset();
  obs_volume.reset();
  peak_weight.reset();
  volume_weight.reset();
  n_obs = 0;
  results.clear();
}

}  // namespace kavro
