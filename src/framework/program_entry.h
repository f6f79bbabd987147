// Program entry: the command line, the run modes and web mode.
#pragma once

#include <string>

namespace kavro {

// Printed "%2.1lf" or "%4.2lf" and followed by one blank in the banners.
inline constexpr double program_version = 7.1;

// The run mode chosen on the command line.
struct run_mode_request {
  int mode = 0;            // 1 project, 2 SCE, 3 batch, 4 version, 5 help, 6 Monte Carlo,
                           // 7 sensitivity, 8 -slm, 9 -ms, 10 -tr, 11 -mlsl
  std::string input_file;  // the project file (mode 1) or the mode's input file
};

// Fills `req` from the command line; the run count (1 unless a number
// follows -b or -m), or -1 after printing the usage text.
int parse_command_line(int argc, const char* const* argv, run_mode_request& req);
// The usage text.
void print_usage();
// The version banner.
void print_version();
// The process entry; returns the exit status: 0 after normal runs, 1 when a
// run stopped on an error.
int kavro_main(int argc, char** argv);

}  // namespace kavro
