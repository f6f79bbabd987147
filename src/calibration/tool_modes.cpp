#include "calibration/tool_modes.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "calibration/calibration_entries.h"
#include "calibration/lm_driver.h"
#include "calibration/pest_text.h"

namespace kavro {

namespace {

constexpr std::string_view slm_banner =
    "\nUsing the (Secant) Levenberg-Marquardt local search method,\n"
    "as implemented directly in KAVRO, to calibrate the current KAVRO model.\n";

constexpr std::string_view slm_prediction_message =
    "\n"
    "Currently, slm_dwo does not support prediction capabilities similar to that within the PEST.\n"
    "Please change the MODE parameter in the control\n"
    "file to 'estimation' or 'regularization' and recommence execution of slm_dwo.\n"
    "\n";

void print_text(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

// Every parameter's start value inside its bounds (a bound itself passes);
// false after a line per parameter outside and the closing line.
bool start_values_inside(const pest_control& pc) {
  bool inside = true;
  for (int k = 1; k <= pc.npar; ++k) {
    const par_rec& p = pc.pars[k];
    if (p.value >= p.lower_bound && p.value <= p.upper_bound) continue;
    std::printf("\nThe intial value for the following parameter is outside of its specified bounds: %s",
                p.name.c_str());
    inside = false;
  }
  if (!inside) std::printf("\nModify the input control file and try again.\n");
  return inside;
}

}  // namespace

int tool_check_control(int argc, char** argv, std::string_view banner, std::string_view prediction_message,
                       const run_plan* plan, tool_case& tc) {
  print_text(banner);
  pest_control& pc = tc.pc;
  pc.model_plan = plan;
  if (const int rc = pest_read_control(pc, argc, argv)) return rc;
  if (const int rc = pest_open_templates(pc, tc.template_files)) return rc;
  if (const int rc = pest_read_templates(pc, tc.template_files)) return rc;
  if (const int rc = pest_open_instructions(pc, tc.instruction_files)) return rc;
  std::remove("pest.stp");
  if (pc.pestmode == "prediction") {
    print_text(prediction_message);
    return 1;
  }
  pest_classify_parameters(pc);
  if (pc.n_adjustable == 0) {
    std::printf("\n");
    std::printf("\n");
    std::printf("The number of adjustable model parameters is zero. \n");
    std::printf("Modify the input control file and try again. \n");
    std::printf("\n");
    std::printf("\n");
    return 1;
  }
  if (!start_values_inside(pc)) return 1;
  pest_tied_ratios(pc);
  return 0;
}

int tool_open_case_files(int argc, char** argv, tool_case& tc, std::initializer_list<std::string_view> mode_files) {
  if (const int rc = FilesNamesForWrite(argv[2], tc.names)) return rc;
  // A case file must not be one of the mode's own files (a control file
  // named like the mode's report).
  for (const std::string* name : {&tc.names.rec_name, &tc.names.sen_name, &tc.names.mtt_name, &tc.names.par_name,
                                  &tc.names.rst_name})
    for (const std::string_view own : mode_files)
      if (*name == own) {
        std::printf("Error: the case file %s of the control file %s is also a file of this mode; rename the control "
                    "file.\n",
                    name->c_str(), argv[2]);
        return 1;
      }
  const bool resume = argc >= 4 && std::strcmp(argv[3], "/r") == 0;
  if (!open_mode_file(tc.rec, tc.names.rec_name, resume ? "a" : "w")) return 1;
  if (!open_mode_file(tc.sen, tc.names.sen_name, resume ? "a" : "w")) return 1;
  if (!open_mode_file(tc.mtt, tc.names.mtt_name, "w")) return 1;
  if (!open_mode_file(tc.par, tc.names.par_name, "w")) return 1;
  return 0;
}

int tool_common_start(int argc, char** argv, std::string_view banner, std::string_view prediction_message,
                      const run_plan* plan, tool_case& tc) {
  if (const int rc = tool_check_control(argc, argv, banner, prediction_message, plan, tc)) return rc;
  return tool_open_case_files(argc, argv, tc);
}

bool open_mode_file(case_file& f, const std::string& name, const char* mode) {
  f.reset(std::fopen(name.c_str(), mode));
  if (f) return true;
  std::printf("Error: cannot open the file %s.\n", name.c_str());
  return false;
}

// --- The input files of the global searches -------------------------------

bool mode_input::open(const std::string& file) {
  file_ = file;
  const std::optional<std::string> bytes = read_file_bytes(file);
  if (!bytes) {
    std::printf("Error: cannot open the input file %s.\n", file.c_str());
    ok_ = false;
    return false;
  }
  words_ = split_words(*bytes);
  ok_ = true;
  return true;
}

bool mode_input::fail(const char* item, const std::string& what) {
  std::printf("Error in the input file %s, item %d (%s): %s.\n", file_.c_str(), item_, item, what.c_str());
  ok_ = false;
  return false;
}

bool mode_input::take(const char* item, std::string& out) {
  if (!ok_) return false;
  ++item_;
  if (pos_ >= words_.size()) return fail(item, "missing, the file ends early");
  out = words_[pos_++];
  return true;
}

bool mode_input::word(const char* item, std::string& out) { return take(item, out); }

bool mode_input::seed(const char* item, std::uint32_t& out) {
  std::string w;
  if (!take(item, w)) return false;
  unsigned long long v = 0;
  const char* end = w.data() + w.size();
  const auto [ptr, ec] = std::from_chars(w.data(), end, v);
  if (ec != std::errc() || ptr != end || v > 4294967295ULL)
    return fail(item, "expected an unsigned integer of at most 4294967295, found \"" + w + "\"");
  out = static_cast<std::uint32_t>(v);
  return true;
}

bool mode_input::count(const char* item, int least, int& out) {
  std::string w;
  if (!take(item, w)) return false;
  const std::optional<int> v = parse_whole_int(w);
  if (!v || *v < least)
    return fail(item, "expected an integer of at least " + std::to_string(least) + ", found \"" + w + "\"");
  out = *v;
  return true;
}

bool mode_input::real(const char* item, double above, double at_most, double& out) {
  std::string w;
  if (!take(item, w)) return false;
  const std::optional<double> v = parse_whole_double(w);
  if (!v || !(*v > above) || !(*v <= at_most)) {
    const auto text = [](double x) {
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "%g", x);
      return std::string(buffer);
    };
    std::string range = "a number";
    if (std::isfinite(above)) range += " above " + text(above);
    if (std::isfinite(at_most)) range += std::string(std::isfinite(above) ? " and" : "") + " at most " + text(at_most);
    return fail(item, "expected " + range + ", found \"" + w + "\"");
  }
  out = *v;
  return true;
}

// --- Samples of the global searches ----------------------------------------

int next_sample_seed(std::uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return static_cast<int>(static_cast<double>(state) * -0.5);
}

int random_start(pest_control& pc, int& seed, uniform_deviate_state& deviates) {
  for (int k = 1; k <= pc.npar; ++k) {
    par_rec& p = pc.pars[k];
    if (!pest_is_adjustable(p)) continue;
    const double u = uniform_deviate(seed, deviates);
    if (p.partrans == "log") {
      const double lo = std::pow(10.0, p.lower_bound);
      const double hi = std::pow(10.0, p.upper_bound);
      p.value = std::log10(lo + (hi - lo) * u);
    } else {
      p.value = p.lower_bound + (p.upper_bound - p.lower_bound) * u;
    }
  }
  return 0;
}

void retie_parameters(pest_control& pc) {
  if (pc.n_tied <= 0) return;
  for (int k = 1; k <= pc.npar; ++k) {
    par_rec& p = pc.pars[k];
    if (p.partrans == "tied" && p.tie_parent_index > 0)
      p.value = p.tie_ratio * natural_value(pc.pars[p.tie_parent_index]);
  }
}

double group_phi_total(const pest_control& pc) {
  double total = 0.0;
  for (int g = 1; g <= pc.nobsgp; ++g) total += pc.obs_groups[g].phi;
  return total;
}

int local_search_argc(int argc) { return argc > 3 ? 3 : argc; }

bool evaluate_sample(int argc, char** argv, tool_case& tc, int number, sample_record& out) {
  pest_control& pc = tc.pc;
  out.number = number;
  out.values.assign(static_cast<std::size_t>(pc.npar) + 1, 0.0);
  for (int k = 1; k <= pc.npar; ++k) out.values[static_cast<std::size_t>(k)] = pc.pars[k].value;
  const int saved_noptmax = pc.noptmax;
  pc.noptmax = 0;
  const int rc = lm_optimise(local_search_argc(argc), argv, pc, tc.names, tc.rec.get(), tc.sen.get(), tc.mtt.get(),
                             tc.par.get(), tc.template_files, tc.instruction_files);
  pc.noptmax = saved_noptmax;
  if (rc != 0) return false;
  out.phi.assign(static_cast<std::size_t>(pc.nobsgp) + 1, 0.0);
  out.phi[0] = group_phi_total(pc);
  for (int g = 1; g <= pc.nobsgp; ++g) out.phi[static_cast<std::size_t>(g)] = pc.obs_groups[g].phi;
  return true;
}

void set_sample_values(pest_control& pc, const sample_record& s) {
  for (int k = 1; k <= pc.npar; ++k) pc.pars[k].value = s.values[static_cast<std::size_t>(k)];
}

void write_adjustable_names(std::FILE* f, const pest_control& pc) {
  for (int k = 1; k <= pc.npar; ++k)
    if (pest_is_adjustable(pc.pars[k])) std::fprintf(f, "%s\t", pc.pars[k].name.c_str());
}

void write_adjustable_values(std::FILE* f, const pest_control& pc, const std::vector<double>& values,
                             const char* format) {
  for (int k = 1; k <= pc.npar; ++k)
    if (pest_is_adjustable(pc.pars[k]))
      std::fprintf(f, format, natural_value(pc.pars[k], values[static_cast<std::size_t>(k)]));
}

void write_search_tables(std::FILE* f, const pest_control& pc, const sample_record& start, const char* value_format,
                         const char* phi_format) {
  const std::string value_line = std::string("\t%s\t") + value_format + "\t" + value_format + "\n";
  const std::string phi_line = std::string("\t%s\t") + phi_format + "\t" + phi_format + "\n";
  std::fprintf(f, "     Parameter values:-\n\n");
  std::fprintf(f, "         Parameter           Starting parameter  Optimised parameter\n");
  std::fprintf(f, "         name                value               value\n");
  for (int k = 1; k <= pc.npar; ++k) {
    const par_rec& p = pc.pars[k];
    if (!pest_is_adjustable(p)) continue;
    std::fprintf(f, value_line.c_str(), p.name.c_str(), natural_value(p, start.values[static_cast<std::size_t>(k)]),
                 natural_value(p));
  }
  std::fprintf(f, "\n\n     Objective function(s):-\n\n");
  std::fprintf(f, "         Observation         Starting objective  Optimised objective\n");
  std::fprintf(f, "         group name          function value      function value\n");
  std::fprintf(f, phi_line.c_str(), "total", start.phi[0], group_phi_total(pc));
  for (int g = 1; g <= pc.nobsgp; ++g)
    std::fprintf(f, phi_line.c_str(), pc.obs_groups[g].name.c_str(), start.phi[static_cast<std::size_t>(g)],
                 pc.obs_groups[g].phi);
}

int run_slm(int argc, char** argv, const run_plan* plan) {
  return run_guarded([&] {
    tool_case tc;
    if (const int rc = tool_common_start(argc, argv, slm_banner, slm_prediction_message, plan, tc)) return rc;
    lm_record_header(argv[2], tc.pc, tc.rec.get());
    // Only an estimation searches; the regularisation modes leave the
    // record file with its header.
    if (tc.pc.pestmode == "estimation") {
      const int rc = lm_optimise(argc, argv, tc.pc, tc.names, tc.rec.get(), tc.sen.get(), tc.mtt.get(),
                                 tc.par.get(), tc.template_files, tc.instruction_files);
      if (rc != 0) return rc;
    }
    pest_close_templates(tc.pc, tc.template_files);
    pest_close_instructions(tc.pc, tc.instruction_files);
    return 0;
  });
}

namespace {

constexpr std::string_view ms_banner =
    "\nUsing the multistart stochastic global optimization method,\n"
    "as implemented directly in KAVRO, to calibrate the current KAVRO model.\n"
    "Multistart uses the (Secant) Levenberg-Marquardt local search method,\n"
    "as implemented directly in KAVRO, for local search.\n\n";

constexpr std::string_view ms_prediction_message =
    "\n"
    "Currently, the slm_dwo_ms1 does not support prediction capabilities.\n"
    "Please change the PESTMODE parameter in the input control\n"
    "file to 'estimation' and recommence execution of slm_dwo_ms1.\n"
    "\n";

// The multistart run: N random starting points, each evaluated, then a
// local search from every one of them.
class multistart {
 public:
  multistart(int argc, char** argv) : argc_(argc), argv_(argv) {}

  int run(const run_plan* plan) {
    if (const int rc = tool_check_control(argc_, argv_, ms_banner, ms_prediction_message, plan, tc_)) return rc;
    mode_input in;
    if (!in.open("ms.in")) return 1;
    in.seed("S, the random seed", seed_);
    in.count("N, the number of pre-inversion runs", 1, n_samples_);
    if (!in.ok()) return 1;
    if (const int rc = tool_open_case_files(argc_, argv_, tc_,
                                            {"slm_dwo_ms1.rec", "parameters.prn", "RandomNumberSeeds.prn"}))
      return rc;
    if (!open_mode_file(report_, "slm_dwo_ms1.rec", "w")) return 1;
    if (!open_mode_file(parameters_, "parameters.prn", "w")) return 1;
    if (!open_mode_file(seeds_, "RandomNumberSeeds.prn", "w")) return 1;
    pest_control& pc = tc_.pc;
    saved_lambda_ = pc.rlambda1;
    sampling();
    std::fprintf(report_.get(), "\n\n                   RESULTS OF CT OPTIMIZATION RUNS\n\n\n");
    for (const sample_record& s : samples_) local_search(s);
    pest_close_templates(pc, tc_.template_files);
    pest_close_instructions(pc, tc_.instruction_files);
    // A failed model run printed its error: the mode went on, but does not
    // end as a success.
    return failures_ == 0 ? 0 : 1;
  }

 private:
  void sampling() {
    pest_control& pc = tc_.pc;
    std::FILE* report = report_.get();
    std::uint32_t state = seed_;
    for (int k = 1; k <= n_samples_; ++k) {
      int seed = next_sample_seed(state);
      random_start(pc, seed, deviates_);
      retie_parameters(pc);
      // The generator state the draws left, and every parameter's start.
      std::fprintf(seeds_.get(), "%d\n", seed);
      for (int j = 1; j <= pc.npar; ++j) std::fprintf(parameters_.get(), "%.12E\t", natural_value(pc.pars[j]));
      std::fprintf(parameters_.get(), "\n");
      sample_record s;
      const bool ran = evaluate_sample(argc_, argv_, tc_, k, s);
      if (k == 1) {
        std::fprintf(report, "                        CT_MS1 CONTROL INFORMATION\n\n");
        std::fprintf(report, "Input unsigned long random seed                             : %u\n", seed_);
        std::fprintf(report, "Number of pre-inversion runs to carry out                   : %d\n", n_samples_);
        std::fprintf(report, "Name of existing control file : %s\n\n", tc_.names.case_name.c_str());
        std::fprintf(report, "                   RESULTS OF PRE-INVERSION SAMPLE RUNS\n\n");
        write_adjustable_names(report, pc);
        std::fprintf(report, "Total\t");
        for (int g = 1; g <= pc.nobsgp; ++g) std::fprintf(report, "%s\t", pc.obs_groups[g].name.c_str());
        std::fprintf(report, "\n");
      }
      // A sample whose run failed has no objective: it gets no row and no
      // search (its seed and draws are spent all the same).
      if (!ran) {
        ++failures_;
        continue;
      }
      write_adjustable_values(report, pc, s.values, "%lf\t");
      for (const double phi : s.phi) std::fprintf(report, "%lf\t", phi);
      std::fprintf(report, "\n");
      samples_.push_back(std::move(s));
    }
  }

  void local_search(const sample_record& s) {
    pest_control& pc = tc_.pc;
    pc.rlambda1 = saved_lambda_;
    set_sample_values(pc, s);
    const int rc = lm_optimise(local_search_argc(argc_), argv_, pc, tc_.names, tc_.rec.get(), tc_.sen.get(),
                               tc_.mtt.get(), tc_.par.get(), tc_.template_files, tc_.instruction_files);
    if (rc != 0) ++failures_;
    std::FILE* report = report_.get();
    std::fprintf(report, " Results of CT inversion run number %d --->\n\n", s.number);
    write_search_tables(report, pc, s, "%lf", "%lf");
    std::fprintf(report, "\n\n");
  }

  const int argc_;
  char** const argv_;
  tool_case tc_;
  case_file report_;
  case_file parameters_;
  case_file seeds_;
  std::uint32_t seed_ = 0;
  int n_samples_ = 0;
  double saved_lambda_ = 0.0;
  uniform_deviate_state deviates_;
  std::vector<sample_record> samples_;
  int failures_ = 0;
};

}  // namespace

int run_multistart(int argc, char** argv, const run_plan* plan) {
  return run_guarded([&] { return multistart(argc, argv).run(plan); });
}

}  // namespace kavro
