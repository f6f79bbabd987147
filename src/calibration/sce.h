// Calibration by shuffled complex evolution (SCE-UA): the settings read from
// the SCE input file, the search over the parameter box, and its generators.
#pragma once

#include <array>
#include <string>

#include "calibration/calib_objective.h"
#include "framework/file_wrapper.h"
#include "framework/one_based.h"

namespace kavro {

// Population limit of the search (points over all complexes).
inline constexpr int sce_max_points = 1320;

// One "-c" calibration.
struct sce_state {
  file_wrapper log_file;             // "sce_log_file.txt"
  int log_disabled = 0;              // 1 after a failed opening of the log file
  std::string project_file;          // project of the model runs (line 1)
  std::string list_file;             // replacement-parameter list (line 2)
  std::string obs_file;              // observation file (line 3)
  int output_open = 0;               // 1 once "sce_output.out" was opened (gates the writes to it)
  file_wrapper output_file;          // "sce_output.out"
  int setup_ok = 0;                  // 1 when the input was read and the output file opened
  calib_objective_fn objective_callback = nullptr;
  int nopt = 0;                      // parameters
  int maxn = 0;                      // most objective evaluations
  int kstop = 0;                     // shuffling loops over which the best value must change
  int iseed = 0;                     // generator seed (0 read means 3737)
  int ngs = 0;                       // complexes
  int npg = 0;                       // points per complex
  int nps = 0;                       // points per sub-complex
  int nspl = 0;                      // evolution steps per complex and shuffling loop
  int mings = 0;                     // fewest complexes
  int iniflg = 0;                    // 1: the start point belongs to the initial population
  int iprint = 0;                    // 1: the population goes to the output file every loop
  int ideflt = 0;                    // 0: defaults for npg..iprint, 1: read them
  double pcento = 0.0;               // required relative change of the best value (fraction)
  dvec start{"start"};               // [parameter] start value
  dvec lower{"lower"};               // [parameter] lower bound
  dvec upper{"upper"};               // [parameter] upper bound
  dvec bestx{"bestx"};               // [parameter] best point found
  calib_objective objective;
  dvec x_max{"x_max"};               // [parameter] population statistics work arrays
  dvec x_min{"x_min"};
  dvec x_mean{"x_mean"};
  int seed = 0;                      // state of the uniform generator
  // The rest of the generator state; every search starts it afresh.
  long gen_last = 0;                 // last output of the shuffle table (0: table not filled)
  std::array<long, 32> gen_table{};  // shuffle table
  int gauss_kept = 0;                // 1 when gauss_value is the next normal deviate
  double gauss_value = 0.0;
};

// Reads the input file and checks the settings; opens the output file.
void sce_setup(sce_state& st, const std::string& input_file, const std::string& output_file);
// True when none of the files the SCE input file names (and the file itself)
// is the output file; otherwise prints one message per clash and returns
// false.
bool sce_files_apart(const sce_state& st, const std::string& input_file, const std::string& output_file);
// Reads the open SCE input file; 0, or -1 after a message.
int scein(sce_state& st, file_wrapper& in);
// Defaults and checks of the settings; the number of warnings, or -1 for an
// invalid number of complexes.
int sce_check_settings(sce_state& st);
void sce_teardown(sce_state& st);

// The search; the final evaluation number (one more than the evaluations
// made), or -1 when it cannot run.
int sceua(sce_state& st);

// One step of the minimal standard generator (multiplier 16807, modulus
// 2^31 - 1) by Schrage's decomposition.
void park_miller_step(int& seed);
// Next uniform deviate in (0, 1), never above 0.99999988.
double sce_uniform(sce_state& st);
// Next standard normal deviate.
double sce_gauss(sce_state& st);

}  // namespace kavro
