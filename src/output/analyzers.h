// The run-time stream analyzers of a run: user-defined watches on one
// channel array, tested at chosen moments of the run against a threshold,
// one analyzer per line of the file of card ANALYZERS.
#pragma once

#include <memory>
#include <string>

#include "framework/file_wrapper.h"
#include "output/analyzer_operators.h"

namespace kavro {

struct main_state;

// Analyzer notification masks.
inline constexpr int analyzer_step_done = 1;
inline constexpr int analyzer_event_read = 2;
inline constexpr int analyzer_event_ended = 4;
inline constexpr int analyzer_run_initialised = 8;
inline constexpr int analyzer_normal_end = 16;
inline constexpr int analyzer_error_end = 32;

// A run-time stream analyzer: told of every run, event and step
// notification; the derived classes bind the array it watches.
class analyzer {
 public:
  virtual ~analyzer() { close_output(); }
  // Tests when `mask` holds one of its event bits (a timed one only when
  // its next test time has come).
  virtual void on_event(main_state& ms, int mask);
  // The test of its operator and the report, for notification `mask`.
  virtual void run_test(int mask);
  // The rest of a definition line after its type token: target, event
  // letters, operator, threshold, output letters, interval, file name.
  virtual void parse_definition(main_state& ms, std::string line);
  // Creates the operator and binds the target array.
  virtual void create_op(main_state&, const std::string&) {}
  // Opens the output file; an unopenable file gets one warning and no writes.
  virtual void open_output();
  virtual void close_output() { output.close(); }

  int event_mask = 0;     // event letters as bits (t 1, E 2, e 4, S 8, s 16, c 32)
  int output_flags = 0;   // output letters as bits (t 1, v 2, s 4, f 8, c 16, d 32)
  int kind = op_none;     // code of the operator token
  double threshold = 0.0;
  file_wrapper output;    // the analyzer's own file (output letter 'f')
  std::string output_name;
  const double* now_ptr = nullptr;  // the run's current time, for a timed analyzer (Julian days)
  double next_test_time = 0.0;      // Julian days
  double test_interval = 0.0;       // days
  logical_OP* op = nullptr;         // the operator, owned by the derived class; null until created
};

// Analyzer of one row of a channel constituent array ("1DS", target
// "name_index").
class stanalyzer_1dst : public analyzer {
 public:
  void create_op(main_state& ms, const std::string& target) override;
  void bind_array(const std::string& target, main_state& ms);

  std::unique_ptr<st1d_logical_OP> op1d;
  const double* values = nullptr;  // the bound row, positions 0..extent
  long extent = 0;
};

// Analyzer of a [node][link] channel matrix ("2DS", target "depth", "area"
// or "flow").
class stanalyzer_2dst : public analyzer {
 public:
  void create_op(main_state& ms, const std::string& target) override;
  void bind_array(const std::string& target, main_state& ms);

  std::unique_ptr<st2d_logical_OP> op2d;
  const dmat* values = nullptr;
};

// 0 "2DG", 1 "1DS", 2 "2DS", 3 "NSM_OV", 4 "NSM_ST", 5 "NSM_SL", else -1,
// from the first token of `line`, which is taken off.
int parse_analyzer_type(std::string& line);
// The op code of an operator token: "<=" 3, ">=" 4, "==" 2, "<" 0, ">" 1,
// "+" 5, "-" 6, "*" 7, "\" 8, else 9.
int parse_operator_code(const std::string& token);
// Event or output letters as bits; unknown letters are ignored.
int parse_event_letters(const std::string& letters);
int parse_output_letters(const std::string& letters);

// Reads the analyzer definitions of `file` into the run's analyzer list and
// prints how many were set up (unless the run is quiet).
void read_analyzer_file(main_state& ms, const std::string& file);
// Tells every analyzer of the run's list of `mask`, in list order.
void notify_analyzers(main_state& ms, int mask);

}  // namespace kavro
