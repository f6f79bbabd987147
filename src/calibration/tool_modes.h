// The modes of the calibration tool ("-slm", "-ms", "-tr", "-mlsl") and the
// start they share: the control file read and checked, its template and
// instruction files opened, the parameters validated and the case files
// opened.
#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "calibration/case_record.h"
#include "calibration/numeric_toolkit.h"
#include "calibration/pest_control.h"
#include "calibration/template_instruction_files.h"

namespace kavro {

struct run_plan;

struct file_closer {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using case_file = std::unique_ptr<std::FILE, file_closer>;

// What a mode owns for its whole life.
struct tool_case {
  pest_control pc;
  pest_file_handles template_files;
  pest_file_handles instruction_files;
  output_file_names names;
  case_file rec;  // the record file
  case_file sen;  // parameter sensitivities
  case_file mtt;  // created empty
  case_file par;  // parameter values
};

// The start every mode shares: prints `banner`, reads the control file
// argv[2] (its model runs follow `plan`, the system's own run when null),
// opens and checks the template and instruction files, deletes a stop file
// left by an earlier run, refuses a prediction-mode file with
// `prediction_message`, a file without an adjustable parameter and start
// values outside their bounds, and opens the case files (the record and
// sensitivity files appended to when argv[3] is "/r"). 0 when the mode can
// go on, otherwise the mode's result (1): nothing has run and no case file
// was created.
int tool_common_start(int argc, char** argv, std::string_view banner, std::string_view prediction_message,
                      const run_plan* plan, tool_case& tc);
// The two halves of the common start, for the global searches, which read
// their own input file between them: everything up to the case files, and
// the case files, refused when one is named like a file of the mode
// (`mode_files`).
int tool_check_control(int argc, char** argv, std::string_view banner, std::string_view prediction_message,
                       const run_plan* plan, tool_case& tc);
int tool_open_case_files(int argc, char** argv, tool_case& tc, std::initializer_list<std::string_view> mode_files = {});

// A mode run whose failed allocation ends it with result 1 after the
// tool's message, instead of ending the process.
template <class Mode>
int run_guarded(Mode&& mode) {
  try {
    return mode();
  } catch (const std::bad_alloc&) {
    std::printf("Not enough memory to allocate buffer\n");
    return 1;
  }
}

// Opens `name` for writing into `f`; false after a message naming it.
bool open_mode_file(case_file& f, const std::string& name, const char* mode);

// The values of a global search's input file ("ms.in", "tr.in",
// "mlsl.in"), read in order. Each read names its item; the first that fails
// prints "Error in the input file NAME, item K (ITEM): ..." and every later
// read fails too.
class mode_input {
 public:
  // False after a message when the file cannot be read.
  bool open(const std::string& file);
  bool word(const char* item, std::string& out);
  // An unsigned decimal integer (0 to 4294967295).
  bool seed(const char* item, std::uint32_t& out);
  // An integer of at least `least`.
  bool count(const char* item, int least, int& out);
  // A finite real strictly above `above` and at most `at_most`.
  bool real(const char* item, double above, double at_most, double& out);
  bool ok() const { return ok_; }

 private:
  bool take(const char* item, std::string& out);
  bool fail(const char* item, const std::string& what);
  std::string file_;
  std::vector<std::string> words_;
  std::size_t pos_ = 0;
  int item_ = 0;
  bool ok_ = false;
};

// The seed of the next sample: a 32-bit state stepped as state * 1664525 +
// 1013904223 (mod 2^32), times -0.5, truncated toward zero. The seed is zero
// or negative, so every sample starts a fresh sequence of uniform_deviate.
int next_sample_seed(std::uint32_t& state);

// A random starting point: every adjustable parameter drawn uniformly
// between its bounds in natural units (a "log" parameter between 10^lower
// and 10^upper), one deviate each in control-file order. Tied and fixed
// parameters draw nothing. 0.
int random_start(pest_control& pc, int& seed, uniform_deviate_state& deviates);
// The critical distance of multi-level single linkage after t samples:
// (1 / sqrt(pi)) (Gamma(1 + n/2) V sigma ln(t) / t)^(1/n), n the adjustable
// parameters, V the product of their (transformed) bound ranges, sigma
// pc.mlsl_sigma. 0 for t below 1. 0.
int mlsl_critical_distance(const pest_control& pc, int t, double& distance);

// The reduced sample of multi-level single linkage: the best fraction gamma
// of t samples, truncated.
int mlsl_reduced_size(double gamma, int t);
// The Bayesian stopping rule of multi-level single linkage: with w distinct
// minima found from nr reduced-sample points, the expected number of minima
// is within half of w.
bool mlsl_bayesian_stop(int w, double nr);

// Every tied parameter at its ratio times its parent's natural value.
void retie_parameters(pest_control& pc);

// The objective of the current set: the sum of the observation groups' phi.
double group_phi_total(const pest_control& pc);

// One global search's storage of its samples: every parameter's
// (transformed) value and the objective with each group's part, for the
// samples whose evaluation ran.
struct sample_record {
  int number = 0;              // the sample's place in the drawing order, from 1
  std::vector<double> values;  // [1..npar]
  std::vector<double> phi;     // [0] the objective, [g] group g's part
};

// Evaluates the current values by one model run (a search of NOPTMAX 0 with
// the mode's case files); the sample's record when it ran, its number
// `number`. False when the run failed.
bool evaluate_sample(int argc, char** argv, tool_case& tc, int number, sample_record& out);

// Every parameter's value from a sample.
void set_sample_values(pest_control& pc, const sample_record& s);

// The arguments a global search hands its local searches: no "/r", since a
// global search starts its local searches afresh.
int local_search_argc(int argc);

// The tables of a local search's report: each adjustable parameter's
// natural value at the start (`start`) and now, with `value_format`; the
// objective and each group's part at the start and now, with `phi_format`.
void write_search_tables(std::FILE* f, const pest_control& pc, const sample_record& start, const char* value_format,
                         const char* phi_format);

// "%s\t" with each adjustable parameter's name.
void write_adjustable_names(std::FILE* f, const pest_control& pc);
// `format` with the natural value of each adjustable parameter in `values` (transformed, 1..npar).
void write_adjustable_values(std::FILE* f, const pest_control& pc, const std::vector<double>& values,
                             const char* format);

}  // namespace kavro
