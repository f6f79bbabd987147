#include "calibration/restart_stop_files.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "calibration/case_record.h"
#include "calibration/pest_control.h"
#include "calibration/pest_text.h"

namespace kavro {

namespace {

// Every real of the file in exponent form with 17 significant digits, so a
// value reads back bit for bit (1e-20 included).
void put_real(std::FILE* f, double v) { std::fprintf(f, "%.16e\n", v); }
void put_int(std::FILE* f, int v) { std::fprintf(f, "%d\n", v); }

void put_matrix(std::FILE* f, const dmat& m, int rows, int cols) {
  for (int i = 1; i <= rows; ++i) {
    for (int j = 1; j <= cols; ++j) std::fprintf(f, "%.16e\t", m[i][j]);
    std::fprintf(f, "\n");
  }
}

int restart_rows(const pest_control& pc) { return pc.nobs + pc.nprior; }

// The values of the file in order, each checked against the item it is read for.
class restart_reader {
 public:
  restart_reader(std::string file, std::vector<std::string> words) : file_(std::move(file)), words_(std::move(words)) {}

  struct refused {};

  void item(int number, const char* name) {
    item_ = number;
    name_ = name;
  }
  double real() {
    const std::string& w = next();
    if (const std::optional<double> v = parse_whole_double(w)) return *v;
    fail("is not a finite real number: \"" + w + "\"");
  }
  // A real that may be infinite: the objective ratio of the first
  // iteration, which the reader recomputes anyway.
  double real_or_infinite() {
    const std::string& w = next();
    char* end = nullptr;
    const double v = std::strtod(w.c_str(), &end);
    if (!w.empty() && end == w.c_str() + w.size() && !std::isnan(v)) return v;
    fail("is not a real number: \"" + w + "\"");
  }
  int integer() {
    const std::string& w = next();
    if (const std::optional<int> v = parse_whole_int(w)) return *v;
    fail("is not an integer: \"" + w + "\"");
  }
  void finish() {
    if (pos_ < words_.size())
      fail("is followed by further data: the file does not fit the sizes of the control file");
  }
  [[noreturn]] void fail(const std::string& what) {
    std::printf("Error reading the restart file %s: item %d (%s) %s.\n", file_.c_str(), item_, name_, what.c_str());
    throw refused{};
  }

 private:
  const std::string& next() {
    if (pos_ >= words_.size()) fail("is missing: the file ends early");
    return words_[pos_++];
  }
  std::string file_;
  std::vector<std::string> words_;
  std::size_t pos_ = 0;
  int item_ = 0;
  const char* name_ = "";
};

void read_matrix(restart_reader& in, dmat& m, int rows, int cols) {
  m.allocate(rows, cols);
  for (int i = 1; i <= rows; ++i)
    for (int j = 1; j <= cols; ++j) m[i][j] = in.real();
}

void read_vector(restart_reader& in, dvec& v, int n) {
  v.allocate(n);
  for (int i = 1; i <= n; ++i) v[i] = in.real();
}

// What the file sets in the control record, applied only after a full read.
struct control_items {
  int method = 0, full_update = 0, cyclic_columns = 0;
  double full_update_threshold = 0.0, phi_ratio = 0.0, rlambda1 = 0.0;
  dvec simulated, simulated_2, values, group_phi;
};

}  // namespace

double lm_phi_ratio(double current_phi, double previous_phi) {
  if (previous_phi != 0.0) return current_phi / previous_phi;
  return std::numeric_limits<double>::infinity();
}

int lm_write_restart(const lm_search_state& s, const pest_control& pc, const output_file_names& names) {
  std::remove(names.rst_name.c_str());
  std::FILE* f = std::fopen(names.rst_name.c_str(), "wb");
  if (!f) {
    std::printf("Error: cannot create the restart file %s.\n", names.rst_name.c_str());
    return 1;
  }
  const int rows = restart_rows(pc);
  put_int(f, pc.method);
  put_int(f, pc.full_update);
  put_real(f, pc.full_update_threshold);
  put_int(f, pc.cyclic_columns);
  put_real(f, pc.phi_ratio);
  put_matrix(f, s.jacobian, rows, pc.n_adjustable);
  put_matrix(f, s.jacobian_best, rows, pc.n_adjustable);
  put_int(f, s.iteration);
  put_real(f, s.current_phi);
  put_real(f, s.previous_phi);
  for (int k = 1; k <= s.iteration && k <= s.phi_history.size(); ++k) put_real(f, s.phi_history[k]);
  for (int k = 1; k <= pc.npar; ++k) put_real(f, s.best_values[k]);
  for (int k = 1; k <= pc.nobs; ++k) put_real(f, s.best_simulated[k]);
  put_real(f, s.best_phi);
  put_int(f, s.best_iteration);
  put_int(f, s.central_switch);
  for (int k = 1; k <= pc.nobs; ++k) put_real(f, pc.obs[k].simulated);
  for (int k = 1; k <= pc.nobs; ++k) put_real(f, pc.obs[k].simulated_2);
  for (int k = 1; k <= pc.npar; ++k) put_real(f, pc.pars[k].value);
  for (int k = 1; k <= pc.nobsgp; ++k) put_real(f, pc.obs_groups[k].phi);
  put_real(f, pc.rlambda1);
  put_real(f, s.max_rel_change);
  put_int(f, s.n_small_change);
  put_real(f, s.last_rel_change);
  for (int k = 1; k <= pc.n_adjustable; ++k) put_real(f, s.start_values[k]);
  put_int(f, s.model_calls);
  put_int(f, s.cyclic_cursor);
  const bool failed = std::ferror(f) != 0;
  if (std::fclose(f) != 0 || failed) {
    std::printf("Error: cannot write the restart file %s.\n", names.rst_name.c_str());
    return 1;
  }
  return 0;
}

int lm_read_restart(lm_search_state& state, pest_control& pc, const output_file_names& names) {
  const std::optional<std::string> bytes = read_file_bytes(names.rst_name);
  if (!bytes) {
    std::printf("\n\nError opening the restart file.\n");
    std::printf("Possibly previous run was not halted prematurely.\n\n");
    std::fflush(stdout);
    std::exit(1);
  }
  restart_reader in(names.rst_name, split_words(*bytes));
  const int rows = restart_rows(pc);
  const long history_size = pc.noptmax >= 1 ? static_cast<long>(pc.noptmax) + 1 : 0;
  lm_restart_items s;
  control_items c;
  try {
    in.item(1, "method");
    c.method = in.integer();
    in.item(2, "full_update");
    c.full_update = in.integer();
    in.item(3, "full_update_threshold");
    c.full_update_threshold = in.real();
    in.item(4, "cyclic_columns");
    c.cyclic_columns = in.integer();
    in.item(5, "phi_ratio");
    c.phi_ratio = in.real_or_infinite();
    in.item(6, "jacobian");
    read_matrix(in, s.jacobian, rows, pc.n_adjustable);
    in.item(7, "jacobian_best");
    read_matrix(in, s.jacobian_best, rows, pc.n_adjustable);
    in.item(8, "iteration");
    s.iteration = in.integer();
    if (s.iteration < 1 || s.iteration > history_size)
      in.fail("is " + std::to_string(s.iteration) + ", outside 1 to NOPTMAX + 1 of the control file");
    in.item(9, "current_phi");
    s.current_phi = in.real();
    in.item(10, "previous_phi");
    s.previous_phi = in.real();
    c.phi_ratio = lm_phi_ratio(s.current_phi, s.previous_phi);
    in.item(11, "phi_history");
    s.phi_history.allocate(history_size);
    for (int k = 1; k <= s.iteration; ++k) s.phi_history[k] = in.real();
    in.item(12, "best_values");
    read_vector(in, s.best_values, pc.npar);
    in.item(13, "best_simulated");
    read_vector(in, s.best_simulated, pc.nobs);
    in.item(14, "best_phi");
    s.best_phi = in.real();
    in.item(15, "best_iteration");
    s.best_iteration = in.integer();
    in.item(16, "central_switch");
    s.central_switch = in.integer();
    in.item(17, "simulated");
    read_vector(in, c.simulated, pc.nobs);
    in.item(18, "simulated_2");
    read_vector(in, c.simulated_2, pc.nobs);
    in.item(19, "parameter values");
    read_vector(in, c.values, pc.npar);
    in.item(20, "observation group phi");
    read_vector(in, c.group_phi, pc.nobsgp);
    in.item(21, "rlambda1");
    c.rlambda1 = in.real();
    in.item(22, "max_rel_change");
    s.max_rel_change = in.real();
    in.item(23, "n_small_change");
    s.n_small_change = in.integer();
    in.item(24, "last_rel_change");
    s.last_rel_change = in.real();
    in.item(25, "start_values");
    read_vector(in, s.start_values, pc.n_adjustable);
    in.item(26, "model_calls");
    s.model_calls = in.integer();
    in.item(27, "cyclic_cursor");
    s.cyclic_cursor = in.integer();
    in.finish();
  } catch (const restart_reader::refused&) {
    return 1;
  }
  static_cast<lm_restart_items&>(state) = std::move(s);
  pc.method = c.method;
  pc.full_update = c.full_update;
  pc.full_update_threshold = c.full_update_threshold;
  pc.cyclic_columns = c.cyclic_columns;
  pc.phi_ratio = c.phi_ratio;
  for (int k = 1; k <= pc.nobs; ++k) {
    pc.obs[k].simulated = c.simulated[k];
    pc.obs[k].simulated_2 = c.simulated_2[k];
  }
  for (int k = 1; k <= pc.npar; ++k) pc.pars[k].value = c.values[k];
  for (int k = 1; k <= pc.nobsgp; ++k) pc.obs_groups[k].phi = c.group_phi[k];
  pc.rlambda1 = c.rlambda1;
  return 0;
}

int check_stop_file() {
  const std::optional<std::string> bytes = read_file_bytes("pest.stp");
  if (!bytes) return 0;
  const char* begin = bytes->c_str();
  char* end = nullptr;
  const long value = std::strtol(begin, &end, 10);
  const bool number = end != begin;
  if (number && value == 1) {
    std::fflush(stdout);
    std::exit(0);
  }
  if (number && value == 2) {
    std::printf("\n\nThe toolbox does not currently support\n");
    std::printf("ceasing execution with a full parameter statistics printout.\n\n");
    std::fflush(stdout);
    std::exit(0);
  }
  if (number && value == 3) {
    std::printf("\n\nThe toolbox does not currently support pausing execution.\n\n");
    std::fflush(stdout);
    std::exit(0);
  }
  std::remove("pest.stp");
  return 0;
}

}  // namespace kavro
