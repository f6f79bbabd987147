// The global searches that keep their local searches apart: trajectory
// repulsion ("-tr"), which starts each local search from the sample farthest
// from the points earlier searches visited and stops a search that comes
// near them; and multi-level single linkage ("-mlsl"), which draws samples
// in rounds and starts a local search only from a reduced-sample point with
// no better point, earlier minimum or earlier start within the critical
// distance.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "calibration/calibration_entries.h"
#include "calibration/lm_driver.h"
#include "calibration/numeric_toolkit.h"
#include "calibration/pest_text.h"
#include "calibration/tool_modes.h"

namespace kavro {

namespace {

constexpr double no_objective_yet = -999.999;
constexpr const char* seeds_file_name = "RandomNumberSeeds.prn";

void print_text(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

constexpr std::string_view seeds_note =
    "This program will either generate or read seeds associated with\n"
    "random sampling - the ability to read thus precludes having\n"
    "to recompute previously computed pre-inversion runs.\n\n";

// The global searches keep every local search's start and its iterates:
// with no iteration there is nothing to keep apart.
bool table_has_room(const pest_control& pc, const char* mode) {
  if (pc.noptmax >= 1) return true;
  std::printf("Error: the %s search needs NOPTMAX of at least 1 in the control file (it is %d): its local searches "
              "store the parameter set of every iteration.\n",
              mode, pc.noptmax);
  return false;
}

// The seeds of the samples: from the seed sequence and written to the
// seeds file (mode "Y"), read from that file in order (mode "N"), or from
// the sequence alone (any other word).
class seed_source {
 public:
  // Mode "N": reads the seeds file whole; false after a message when it
  // cannot be read or holds fewer than `needed` seeds.
  bool read(const std::string& mode, std::uint32_t start, int needed) {
    mode_ = mode;
    state_ = start;
    if (mode_ != "N") return true;
    const std::optional<std::string> bytes = read_file_bytes(seeds_file_name);
    if (!bytes) {
      std::printf("Error: cannot open the seeds file %s, which seed mode N reads.\n", seeds_file_name);
      return false;
    }
    for (const std::string& w : split_words(*bytes)) {
      const std::optional<int> v = parse_whole_int(w);
      // The generator takes the seed's negative: the most negative int has none.
      if (!v || *v < -2147483647) {
        std::printf("Error in the seeds file %s, seed %zu: expected an integer, found \"%s\".\n", seeds_file_name,
                    read_.size() + 1, w.c_str());
        return false;
      }
      read_.push_back(*v);
    }
    if (static_cast<int>(read_.size()) < needed) {
      std::printf("Error: the seeds file %s holds %zu seeds; the first %d samples need %d.\n", seeds_file_name,
                  read_.size(), needed, needed);
      return false;
    }
    return true;
  }

  // Mode "Y": creates the seeds file; false after a message when it cannot.
  bool start_writing() { return mode_ != "Y" || open_mode_file(out_, seeds_file_name, "w"); }

  // The seed of the next sample; false after a message when the seeds file
  // has none left.
  bool next(int& seed) {
    seed = next_sample_seed(state_);
    if (mode_ == "Y") {
      std::fprintf(out_.get(), "%d\n", seed);
    } else if (mode_ == "N") {
      if (pos_ >= read_.size()) {
        std::printf("Error: the seeds file %s holds %zu seeds; the search needs more.\n", seeds_file_name,
                    read_.size());
        return false;
      }
      seed = read_[pos_++];
    }
    return true;
  }

 private:
  std::string mode_;
  std::uint32_t state_ = 0;
  case_file out_;
  std::vector<int> read_;
  std::size_t pos_ = 0;
};

// What both searches share: the control file and case files, the samples,
// the local searches' table of visited points and the run counts.
class global_search {
 protected:
  global_search(int argc, char** argv) : argc_(argc), argv_(argv) {}

  pest_control& pc() { return tc_.pc; }

  // Draws, writes and evaluates one sample; the record when its run
  // worked. false in `seed_ok` when the seeds ran out.
  std::optional<sample_record> draw_sample(int number, bool& seed_ok) {
    int seed = 0;
    seed_ok = seeds_.next(seed);
    if (!seed_ok) return std::nullopt;
    random_start(pc(), seed, deviates_);
    retie_parameters(pc());
    sample_record s;
    if (evaluate_sample(argc_, argv_, tc_, number, s)) return s;
    // A failed run has no objective: the sample takes no row, rank or
    // search, though its seed and draws are spent.
    ++failures_;
    return std::nullopt;
  }

  // The observation groups' names after the adjustable parameters' and "Total".
  void write_sample_header() {
    std::FILE* report = report_.get();
    write_adjustable_names(report, pc());
    std::fprintf(report, "Total\t");
    for (int g = 1; g <= pc().nobsgp; ++g) std::fprintf(report, "%s\t", pc().obs_groups[g].name.c_str());
    std::fprintf(report, "\n");
  }

  void write_sample_row(const sample_record& s, const char* value_format) {
    std::FILE* report = report_.get();
    write_adjustable_values(report, pc(), s.values, value_format);
    for (const double phi : s.phi) std::fprintf(report, "%lf\t", phi);
    std::fprintf(report, "\n");
  }

  // A new column of the point table holding a sample's every parameter;
  // the parameters take its values.
  void store_start(const sample_record& s) {
    ++point_count_;
    for (int j = 1; j <= pc().npar; ++j) point_table_[j][point_count_] = s.values[static_cast<std::size_t>(j)];
    set_sample_values(pc(), s);
  }

  void write_run_counts(int run_calls, const char* latest) {
    std::FILE* report = report_.get();
    std::fprintf(report, " Number of model runs for latest %s   = %d\n", latest, run_calls);
    std::fprintf(report, " Total number of model calls so far       = %d\n", model_call_total_);
    std::fprintf(report, "\n\n");
    std::fprintf(report, "\n\n");
  }

  int finish() {
    pest_close_templates(tc_.pc, tc_.template_files);
    pest_close_instructions(tc_.pc, tc_.instruction_files);
    // A failed model run printed its error: the search went on, but does
    // not end as a success.
    return failures_ == 0 ? 0 : 1;
  }

  const int argc_;
  char** const argv_;
  tool_case tc_;
  case_file report_;
  seed_source seeds_;
  uniform_deviate_state deviates_;
  double saved_lambda_ = 0.0;
  dmat point_table_{"point_table"};  // npar rows: the visited points, transformed
  int point_count_ = 0;
  int model_call_total_ = 0;
  int failures_ = 0;
};

// --- Trajectory repulsion ---------------------------------------------------

constexpr std::string_view tr_banner =
    "\nUsing the trajectory repulsion stochastic global optimization method,\n"
    "as implemented directly in KAVRO, to calibrate the current KAVRO model.\n"
    "Trajectory repulsion uses the (Secant) Levenberg-Marquardt local search method,\n"
    "as implemented directly in KAVRO, for local search.\n\n";

constexpr std::string_view ms2_prediction_message =
    "\n"
    "Currently, the slm_dwo_ms2 does not support prediction capabilities.\n"
    "Please change the PESTMODE parameter in the input control\n"
    "file to 'estimation' and recommence execution of slm_dwo_ms2.\n"
    "\n";

class trajectory_repulsion : public global_search {
 public:
  trajectory_repulsion(int argc, char** argv) : global_search(argc, argv) {}

  int run(const run_plan* plan) {
    if (const int rc = tool_check_control(argc_, argv_, tr_banner, ms2_prediction_message, plan, tc_)) return rc;
    if (!table_has_room(pc(), "trajectory repulsion")) return 1;
    print_text(seeds_note);
    mode_input in;
    if (!in.open("tr.in")) return 1;
    std::string seed_mode;
    in.word("the seed mode Y, N or another word", seed_mode);
    in.seed("S, the random seed", seed_);
    in.count("N, the number of pre-inversion runs", 1, n_samples_);
    in.count("C, the maximum number of CT inversions", 1, max_inversions_);
    in.count("K, the number of CT runs without improvement that stops the search", 0, max_no_improvement_);
    in.real("f, the improvement fraction judged negligible", -HUGE_VAL, HUGE_VAL, fraction_);
    if (!in.ok()) return 1;
    if (!seeds_.read(seed_mode, seed_, n_samples_)) return 1;
    if (const int rc = tool_open_case_files(argc_, argv_, tc_, {"slm_dwo_ms2.rec", seeds_file_name})) return rc;
    if (!open_mode_file(report_, "slm_dwo_ms2.rec", "w") || !seeds_.start_writing()) return 1;
    saved_lambda_ = pc().rlambda1;
    if (!sampling()) return 1;
    rank_samples();
    point_table_.allocate(pc().npar, (static_cast<long>(pc().noptmax) + 1) * max_inversions_);
    std::fprintf(report_.get(), "\n\n                   RESULTS OF CT OPTIMIZATION RUNS\n\n\n");
    inversions();
    std::FILE* report = report_.get();
    std::fprintf(report, "\n\n\n\n                   RESULTS OF GLOBAL SEARCH PROCESS\n\n");
    std::fprintf(report, "The global search process yielded a total objective function value of %lf\n", best_phi_);
    std::fprintf(report, "This value was obtained from inversion run number %d\n\n", best_run_);
    return finish();
  }

 private:
  bool sampling() {
    std::FILE* report = report_.get();
    for (int k = 1; k <= n_samples_; ++k) {
      bool seed_ok = true;
      std::optional<sample_record> s = draw_sample(k, seed_ok);
      if (!seed_ok) return false;
      if (k == 1) {
        std::fprintf(report, "                        CT_MS2 CONTROL INFORMATION\n\n");
        std::fprintf(report, "Input unsigned long random seed                             : %u\n", seed_);
        std::fprintf(report, "Number of pre-inversion runs to carry out                   : %d\n", n_samples_);
        std::fprintf(report, "Maximum number of CT inversions to carry out                : %d\n", max_inversions_);
        std::fprintf(report, "Number of CT runs with no objective function improvement    : %d\n",
                     max_no_improvement_);
        std::fprintf(report, "Improvement fraction judged to be negligible                : %lf\n", fraction_);
        std::fprintf(report, "Name of existing control file : %s\n\n", tc_.names.case_name.c_str());
        std::fprintf(report, "                   RESULTS OF PRE-INVERSION SAMPLE RUNS\n\n");
        write_sample_header();
      }
      model_call_total_ += 1;
      if (!s) continue;
      write_sample_row(*s, "%.10E\t");
      samples_.push_back(std::move(*s));
    }
    return true;
  }

  // The samples by ascending objective.
  void rank_samples() {
    const int n = static_cast<int>(samples_.size());
    order_.assign(static_cast<std::size_t>(n) + 1, 0);
    if (n == 0) return;
    dvec phi = dvector(1, n);
    ivec index = ivector(1, n);
    for (int i = 1; i <= n; ++i) phi[i] = samples_[static_cast<std::size_t>(i - 1)].phi[0];
    indexx(n, phi, index);
    for (int i = 1; i <= n; ++i) order_[static_cast<std::size_t>(i)] = index[i];
  }

  const sample_record& sample(int i) const { return samples_[static_cast<std::size_t>(i - 1)]; }

  // The start of inversion n: the best sample first, then the sample not yet
  // chosen that lies farthest from any one stored point (squared distance
  // scaled by the bounds; of equal ones the better-ranked). 0 when every
  // sample has been chosen.
  int choose_start(int n, const std::vector<bool>& chosen) const {
    const int count = static_cast<int>(samples_.size());
    if (n == 1) return count >= 1 ? order_[1] : 0;
    int choice = 0;
    int first_free = 0;
    double largest = 0.0;
    for (int r = 1; r <= count; ++r) {
      const int c = order_[static_cast<std::size_t>(r)];
      if (chosen[static_cast<std::size_t>(c)]) continue;
      if (first_free == 0) first_free = c;
      for (int p = 1; p <= point_count_; ++p) {
        double d = 0.0;
        for (int j = 1; j <= pc_const().npar; ++j) {
          const par_rec& par = pc_const().pars[j];
          const double range = par.upper_bound - par.lower_bound;
          if (range == 0.0) continue;  // a parameter that cannot move keeps no distance
          const double t = (sample(c).values[static_cast<std::size_t>(j)] - point_table_[j][p]) / range;
          d += t * t;
        }
        if (d > largest) {
          largest = d;
          choice = c;
        }
      }
    }
    // Samples that coincide with stored points all lie at distance 0: the
    // best-ranked one left is taken.
    return choice != 0 ? choice : first_free;
  }

  const pest_control& pc_const() const { return tc_.pc; }

  void inversions() {
    std::vector<bool> chosen(samples_.size() + 1, false);
    int chosen_count = 0;
    for (int n = 1;; ++n) {
      pc().rlambda1 = saved_lambda_;
      const int s = choose_start(n, chosen);
      if (s == 0) return;
      store_start(sample(s));
      chosen[static_cast<std::size_t>(s)] = true;
      ++chosen_count;
      int run_calls = 0;
      const int rc = lm_optimise_tr(local_search_argc(argc_), argv_, pc(), tc_.names, tc_.rec.get(), tc_.sen.get(),
                                    tc_.mtt.get(), tc_.par.get(), tc_.template_files, tc_.instruction_files,
                                    point_table_, point_count_, run_calls);
      if (rc != 0) ++failures_;
      model_call_total_ += run_calls;
      const double phi = group_phi_total(pc());
      std::FILE* report = report_.get();
      std::fprintf(report, " Results of CT inversion run number %d --->\n\n", n);
      write_search_tables(report, pc(), sample(s), "%.10E", "%lE");
      std::fprintf(report, "\n\n");
      write_run_counts(run_calls, "CT run");
      if (n >= 2) no_improvement_ = phi < (1.0 - fraction_) * best_phi_ ? 0 : no_improvement_ + 1;
      if (n == 1 || phi < best_phi_) {
        best_phi_ = phi;
        best_run_ = n;
      }
      if (no_improvement_ == max_no_improvement_ || n + 1 > max_inversions_) return;
      if (chosen_count == static_cast<int>(samples_.size())) return;
    }
  }

  std::uint32_t seed_ = 0;
  int n_samples_ = 0;
  int max_inversions_ = 0;
  int max_no_improvement_ = 0;
  double fraction_ = 0.0;
  std::vector<sample_record> samples_;
  std::vector<int> order_;  // [1..samples] sample numbers (1-based into samples_) by ascending objective
  double best_phi_ = no_objective_yet;
  int best_run_ = 0;
  int no_improvement_ = 0;
};

// --- Multi-level single linkage -------------------------------------------

constexpr std::string_view mlsl_banner =
    "\nUsing the Multi Level Single Linkage (MLSL) stochastic global optimization method,\n"
    "as implemented directly in KAVRO, to calibrate the current KAVRO model.\n"
    "MLSL uses the (Secant) Levenberg-Marquardt local search method,\n"
    "as implemented directly in KAVRO, for local search.\n\n";

// Euclidean distance over every parameter, transformed values, unscaled.
double distance(const pest_control& pc, const std::vector<double>& a, const std::vector<double>& b) {
  double sum = 0.0;
  for (int j = 1; j <= pc.npar; ++j) {
    const double d = a[static_cast<std::size_t>(j)] - b[static_cast<std::size_t>(j)];
    sum += d * d;
  }
  return std::sqrt(sum);
}

std::vector<double> current_values(const pest_control& pc) {
  std::vector<double> v(static_cast<std::size_t>(pc.npar) + 1, 0.0);
  for (int j = 1; j <= pc.npar; ++j) v[static_cast<std::size_t>(j)] = pc.pars[j].value;
  return v;
}

class mlsl_search : public global_search {
 public:
  mlsl_search(int argc, char** argv) : global_search(argc, argv) {}

  int run(const run_plan* plan) {
    if (const int rc = tool_check_control(argc_, argv_, mlsl_banner, ms2_prediction_message, plan, tc_)) return rc;
    if (!table_has_room(pc(), "multi-level single linkage")) return 1;
    mode_input in;
    if (!in.open("mlsl.in")) return 1;
    pest_control& p = pc();
    in.count("N, the sample size of an iteration", 1, p.mlsl_sample_size);
    in.real("gamma, the fraction of the samples kept in the reduced sample", 0.0, 1.0, p.mlsl_reduction);
    in.real("sigma", 0.0, HUGE_VAL, p.mlsl_sigma);
    in.real("the distance to an earlier end point below which no search starts", -HUGE_VAL, HUGE_VAL,
            p.mlsl_end_distance);
    print_text(seeds_note);
    std::string seed_mode;
    in.word("the seed mode Y, N or another word", seed_mode);
    in.seed("S, the random seed", seed_);
    in.count("M, the maximum number of MLSL iterations", 1, max_iterations_);
    in.count("L, the maximum number of local searches", 1, max_searches_);
    in.count("K1, the number of local searches without improvement that stops the search", 0, k1_);
    in.count("K2, the number of MLSL iterations without improvement that stops the search", 0, k2_);
    in.real("f, the improvement fraction judged negligible", -HUGE_VAL, HUGE_VAL, fraction_);
    if (!in.ok()) return 1;
    if (!seeds_.read(seed_mode, seed_, p.mlsl_sample_size)) return 1;
    if (const int rc = tool_open_case_files(argc_, argv_, tc_, {"slm_dwo_mlsl.rec", seeds_file_name})) return rc;
    if (!open_mode_file(report_, "slm_dwo_mlsl.rec", "w") || !seeds_.start_writing()) return 1;
    saved_lambda_ = p.rlambda1;
    point_table_.allocate(p.npar, (static_cast<long>(p.noptmax) + 1) * max_searches_);
    point_phi_.allocate((static_cast<long>(p.noptmax) + 1) * max_searches_);
    write_control_information();
    int k = 0;
    int reason = 0;
    while (reason == 0) {
      ++k;
      if (!sampling(k)) return 1;
      reduced_sample(k);
      reason = candidates(k);
      reason = end_of_iteration(k, reason);
    }
    final_report(k, reason);
    return finish();
  }

  // r = (1 / sqrt(pi)) (Gamma(1 + n/2) V sigma ln(T) / T)^(1/n), n the
  // adjustable parameters and V the volume of their (transformed) bounds.
  static double critical_distance(const pest_control& pc, int t) {
    const int n = pc.n_adjustable;
    if (n < 1 || t < 1) return 0.0;
    double volume = 1.0;
    for (int j = 1; j <= pc.npar; ++j)
      if (pest_is_adjustable(pc.pars[j])) volume *= pc.pars[j].upper_bound - pc.pars[j].lower_bound;
    const double gamma = std::exp(log_gamma(1.0 + n / 2.0));
    const double pi = 4.0 * std::atan(1.0);
    const double base = gamma * volume * pc.mlsl_sigma * std::log(static_cast<double>(t)) / t;
    return std::pow(base, 1.0 / n) / std::sqrt(pi);
  }

 private:
  void write_control_information() {
    const pest_control& p = pc();
    std::FILE* report = report_.get();
    std::fprintf(report, "                        CT_MLSL CONTROL INFORMATION\n\n");
    std::fprintf(report, "Input unsigned long random seed                             : %u\n", seed_);
    std::fprintf(report, "Uniform random sample size at step k                        : %d\n", p.mlsl_sample_size);
    std::fprintf(report, "Value for reduction of the sample                           : %lf\n", p.mlsl_reduction);
    std::fprintf(report, "Value for sigma                                             : %lf\n", p.mlsl_sigma);
    std::fprintf(report, "Maximum MLSL iterations to carry out                        : %d\n", max_iterations_);
    std::fprintf(report, "Maximum number of local search inversions to carry out      : %d\n", max_searches_);
    std::fprintf(report, "Maximum number of CT runs with no objective function improvement    : %d\n", k1_);
    std::fprintf(report, "Maximum number of MLSL iterations with no objective function improvement    : %d\n", k2_);
    std::fprintf(report, "Improvement fraction judged to be negligible                : %lf\n", fraction_);
    std::fprintf(report, "Name of existing control file : %s\n\n", tc_.names.case_name.c_str());
  }

  bool sampling(int k) {
    std::FILE* report = report_.get();
    const int n = pc().mlsl_sample_size;
    for (int s = 1; s <= n; ++s) {
      bool seed_ok = true;
      std::optional<sample_record> sample = draw_sample((k - 1) * n + s, seed_ok);
      if (!seed_ok) return false;
      if (s == 1) {
        std::fprintf(report, "\nSampling Phase: Iteration %d\n\n", k);
        write_sample_header();
      }
      if (!sample) continue;
      write_sample_row(*sample, "%lf\t");
      samples_.push_back(std::move(*sample));
    }
    std::fprintf(report, "\n");
    model_call_total_ += n;
    return true;
  }

  // The best fraction gamma of all samples so far, by objective.
  void reduced_sample(int k) {
    const int t = static_cast<int>(samples_.size());
    order_.assign(static_cast<std::size_t>(t) + 1, 0);
    reduced_count_ = mlsl_reduced_size(pc().mlsl_reduction, t);
    if (t >= 1) {
      dvec phi = dvector(1, t);
      ivec index = ivector(1, t);
      for (int i = 1; i <= t; ++i) phi[i] = samples_[static_cast<std::size_t>(i - 1)].phi[0];
      indexx(t, phi, index);
      for (int i = 1; i <= t; ++i) order_[static_cast<std::size_t>(i)] = index[i];
    }
    std::FILE* report = report_.get();
    for (int r = 1; r <= reduced_count_; ++r) {
      if (r == 1) {
        std::fprintf(report, "Reduced Sample Set: Iteration %d\n\n", k);
        write_adjustable_names(report, pc());
        std::fprintf(report, "Total\t\n");
      }
      const sample_record& x = reduced(r);
      write_adjustable_values(report, pc(), x.values, "%lf\t");
      std::fprintf(report, "%lf\t\n", x.phi[0]);
    }
    alpha_ = critical_distance(pc(), t);
    std::fprintf(report, "\n\nFor iteration %d, alpha equals %lf\n\n", k, alpha_);
    iteration_min_phi_ = 1e300;
  }

  const sample_record& reduced(int r) const {
    return samples_[static_cast<std::size_t>(order_[static_cast<std::size_t>(r)] - 1)];
  }

  // Whether reduced point r may start a local search; every test that
  // rejects it writes its line.
  bool qualifies(int r) {
    std::FILE* report = report_.get();
    const sample_record& x = reduced(r);
    bool rejected = false;
    for (int q = 1; q <= reduced_count_; ++q) {
      if (q == r) continue;
      const sample_record& other = reduced(q);
      if (distance(pc(), x.values, other.values) <= alpha_ && x.phi[0] > other.phi[0]) {
        std::fprintf(report,
                     "No LS for vector %d of the reduced sample. It is within an alpha distance of the vector %d with "
                     "a lower obj. function value\n",
                     r, q);
        rejected = true;
      }
    }
    if (minima_count_ > 0 && !rejected) {
      for (int e = 1; e <= minima_count_; ++e)
        if (distance(pc(), x.values, end_points_[static_cast<std::size_t>(e - 1)]) <= alpha_ &&
            x.phi[0] > end_phi_[static_cast<std::size_t>(e - 1)]) {
          std::fprintf(report,
                       "No LS for vector %d of the reduced sample. It is within an alpha distance of a previous LS "
                       "end point\n",
                       r);
          rejected = true;
        }
      if (!rejected)
        for (int e = 1; e <= minima_count_; ++e)
          if (distance(pc(), x.values, end_points_[static_cast<std::size_t>(e - 1)]) < pc().mlsl_end_distance) {
            std::fprintf(report,
                         "No LS for vector %d of the reduced sample. It is within a distance %lf of a previous LS end "
                         "point\n",
                         r, pc().mlsl_end_distance);
            rejected = true;
          }
    }
    if (ls_count_ > 0 && !rejected)
      for (const std::vector<double>& start : start_points_)
        if (distance(pc(), x.values, start) < 1e-8) {
          std::fprintf(report,
                       "No LS for vector %d of the reduced sample. It is too close to a previous LS start point\n", r);
          rejected = true;
        }
    return !rejected;
  }

  // The candidate loop of iteration k; its stop reason (1 or 2), else 0.
  int candidates(int k) {
    for (int r = 1; r <= reduced_count_; ++r) {
      if (!qualifies(r)) continue;
      local_search(r, k);
      if (ls_no_improvement_ == k1_) return 1;
      if (ls_count_ >= max_searches_) return 2;
    }
    return 0;
  }

  void local_search(int r, int k) {
    std::FILE* report = report_.get();
    const sample_record& x = reduced(r);
    std::fprintf(report, "\nA LS will be performed from vector %d of the reduced sample in iteration %d\n", r, k);
    ++ls_count_;
    ++minima_count_;
    pc().rlambda1 = saved_lambda_;
    store_start(x);
    const int first_column = point_count_;
    start_points_.push_back(x.values);
    int run_calls = 0;
    const int rc = lm_optimise_mlsl(local_search_argc(argc_), argv_, pc(), tc_.names, tc_.rec.get(), tc_.sen.get(),
                                    tc_.mtt.get(), tc_.par.get(), tc_.template_files, tc_.instruction_files,
                                    point_table_, point_phi_, point_count_, run_calls);
    if (rc != 0) ++failures_;
    model_call_total_ += run_calls;
    const double phi = group_phi_total(pc());
    const std::vector<double> end = current_values(pc());
    bool known = false;
    if (minima_count_ > 1)
      for (int e = 1; e < minima_count_ && !known; ++e)
        known = distance(pc(), end, end_points_[static_cast<std::size_t>(e - 1)]) < 1e-6;
    if (known) {
      --minima_count_;
      std::fprintf(report, "\n THIS LOCAL SEARCH DID NOT RESULT IN A NEW LOCAL MINIMUM\n");
      std::fprintf(report, "\n Results of MLSL supervised local search which occured in step %d --->\n\n", k);
      write_search_tables(report, pc(), x, "%lf", "%lf");
      std::fprintf(report, "\n\n");
      write_run_counts(run_calls, "Local Search");
    } else {
      end_points_.push_back(end);
      end_phi_.push_back(phi);
      std::fprintf(report, "\n Results of MLSL supervised local search %d which occured in step %d --->\n\n",
                   minima_count_, k);
      write_search_tables(report, pc(), x, "%lf", "%lf");
      std::fprintf(report, "\n\n");
      write_run_counts(run_calls, "Local Search");
      std::fprintf(report, "Upgrade vectors for Local Search %d which occured during step %d of MLSL\n\n",
                   minima_count_, k);
      for (int c = first_column; c <= point_count_; ++c) {
        for (int j = 1; j <= pc().npar; ++j)
          if (pest_is_adjustable(pc().pars[j]))
            std::fprintf(report, "%lf\t", natural_value(pc().pars[j], point_table_[j][c]));
        std::fprintf(report, "%lf\t", point_phi_[c]);
        for (int g = 1; g <= pc().nobsgp; ++g) std::fprintf(report, "%lf\t", no_objective_yet);
        std::fprintf(report, "\n");
      }
      std::fprintf(report, "\n\n");
    }
    if (phi < iteration_min_phi_) iteration_min_phi_ = phi;
    if (ls_count_ > 1) ls_no_improvement_ = phi < (1.0 - fraction_) * best_phi_ ? 0 : ls_no_improvement_ + 1;
    if (ls_count_ == 1 || phi < best_phi_) {
      best_phi_ = phi;
      best_run_ = ls_count_;
    }
  }

  // The tests at the end of iteration k; the stop reason (that of the
  // candidate loop unless a later test replaces it), 0 to go on.
  int end_of_iteration(int k, int reason) {
    if (k == 1) {
      if (ls_count_ > 0 && iteration_best_phi_ == no_objective_yet) iteration_best_phi_ = best_phi_;
    } else {
      iteration_no_improvement_ =
          iteration_min_phi_ < (1.0 - fraction_) * iteration_best_phi_ ? 0 : iteration_no_improvement_ + 1;
      if (iteration_min_phi_ < iteration_best_phi_) iteration_best_phi_ = iteration_min_phi_;
    }
    if (iteration_no_improvement_ == k2_) return 5;
    if (mlsl_bayesian_stop(minima_count_, pc().mlsl_reduction * static_cast<double>(samples_.size()))) reason = 3;
    if (k >= max_iterations_) reason = 4;
    return reason;
  }

  void final_report(int k, int reason) {
    std::FILE* report = report_.get();
    std::fprintf(report, "\n\n\n\n                   RESULTS OF GLOBAL SEARCH PROCESS\n\n");
    std::fprintf(report, "Actual number of local searches performed is: %d\n", ls_count_);
    std::fprintf(report, "The number of local searches that yielded distinct local minima: %d\n", minima_count_);
    std::fprintf(report, "The number of MLSL iterations is: %d\n", k);
    std::fprintf(report, "The global search process yielded a total objective function value of %lf\n", best_phi_);
    std::fprintf(report, "This value was obtained from reported inversion run number %d\n\n", best_run_);
    std::fprintf(report, "Total model calls    = %d\n", model_call_total_);
    switch (reason) {
      case 1:
        std::fprintf(report,
                     "Stopped because there have been %d actual local searches with no objective function "
                     "improvement.\n\n",
                     ls_no_improvement_);
        break;
      case 2:
        std::fprintf(report, "Stopped because there have been %d local searches, the maximum set with input.\n\n",
                     ls_count_);
        break;
      case 3: std::fprintf(report, "Stopped because Bayesian stopping criteria were satisfied.\n\n"); break;
      case 4:
        std::fprintf(report, "Stopped because the maximum MLSL iterations, %d, to carry out were carried out\n\n",
                     max_iterations_);
        break;
      default:
        std::fprintf(report,
                     "Stopped because there have been %d MLSL iterations with no objective function "
                     "improvement.\n\n",
                     iteration_no_improvement_);
        break;
    }
  }

  std::uint32_t seed_ = 0;
  int max_iterations_ = 0;
  int max_searches_ = 0;
  int k1_ = 0;
  int k2_ = 0;
  double fraction_ = 0.0;
  dvec point_phi_{"point_phi"};
  std::vector<sample_record> samples_;             // every sample that ran, in drawing order
  std::vector<int> order_;                         // [1..T] their numbers (from 1) by ascending objective
  int reduced_count_ = 0;
  double alpha_ = 0.0;
  std::vector<std::vector<double>> start_points_;  // every local search's start
  std::vector<std::vector<double>> end_points_;    // the distinct minima
  std::vector<double> end_phi_;                    // their objectives
  int ls_count_ = 0;
  int minima_count_ = 0;
  int ls_no_improvement_ = 0;
  int iteration_no_improvement_ = 0;
  double best_phi_ = no_objective_yet;
  int best_run_ = 0;
  double iteration_best_phi_ = no_objective_yet;
  double iteration_min_phi_ = 1e300;
};

}  // namespace

int mlsl_reduced_size(double gamma, int t) { return static_cast<int>(gamma * t); }

bool mlsl_bayesian_stop(int w, double nr) {
  const double minima = w;
  return nr > minima + 2.0 && minima + 0.5 >= minima * (nr - 1.0) / (nr - minima - 2.0);
}

int mlsl_critical_distance(const pest_control& pc, int t, double& distance) {
  distance = mlsl_search::critical_distance(pc, t);
  return 0;
}

int run_trajectory_repulsion(int argc, char** argv, const run_plan* plan) {
  return run_guarded([&] { return trajectory_repulsion(argc, argv).run(plan); });
}

int run_mlsl(int argc, char** argv, const run_plan* plan) {
  return run_guarded([&] { return mlsl_search(argc, argv).run(plan); });
}

}  // namespace kavro
