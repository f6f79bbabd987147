// The process-wide error record and the message catalogue.
//
// A function that meets a problem writes the code and the details of its
// message here and returns; the run driver reports after every step.
#pragma once

#include <string>
#include <string_view>

namespace kavro {

class file_wrapper;

struct error_record {
  int code = 0;      // catalogue number of the pending problem; 4000 = already printed
  int stop = 0;      // 1: the run stops after the current step
  int fatal = 0;     // 1: the problem was fatal (codes 200 and 300)
  int int1 = 0;      // first integer detail of some messages
  int int2 = 0;      // second integer detail of some messages
  std::string what;  // short detail text: file kind, table, card or series name
  std::string name;  // long detail text: mostly a file name
  int went_on = 0;   // problems printed as "Error" on which the run went on: it ends with exit status 1
};

// A problem printed as "Error" that the run steps over: the run goes on, and
// ends with a non-zero status so that no one takes its results for a clean run.
inline void note_error_run_goes_on(error_record& rec) { rec.went_on = 1; }

// Code of a problem whose setter has printed its own message: the report adds
// only a blank line and stops the run.
inline constexpr int already_printed_code = 4000;

// The one instance; survives from run to run.
extern error_record error_rec;

// The log of the current run, or null before its log is opened and between runs.
extern file_wrapper* run_log_file;

// Set by the card PAUSE; a fatal stop then waits for a key.
extern int pause_flag;

// Prints the pending problem of `rec` (console and run log) and sets or clears
// the stop flag by the kind of the code. Always returns 0.
//   warning: the run goes on (stop 0, code 0);
//   silent (301): only a blank line, the run goes on;
//   fatal (200, 300): fatal 1, stop 1, the code is kept as the run's result;
//   every other positive code: stop 1, code 0.
int report_error(error_record& rec);

// The check made after a step: reports a pending code of error_rec and
// answers whether the run must stop.
bool report_pending_and_check_stop();

// The catalogue message of `code` with the details of `rec` inserted
// literally; empty for a code without text.
std::string catalogue_message(int code, const error_record& rec);

// Writes `text` literally to standard output and, when `log` is open, to the log.
void print_and_log(file_wrapper* log, std::string_view text);

// With pause_flag set: asks on standard error for a key and waits for one character.
void pause_on_exit();

}  // namespace kavro
