// Template and instruction files of the calibration tool (PEST syntax).
// Templates are checked and parsed only: parameter values reach the model
// through "kavro.in" and "values.in". Instruction files read the simulated
// values of the observations out of the model output files after each run.
#pragma once

#include <array>

#include "framework/file_wrapper.h"

namespace kavro {

struct pest_control;

// At most this many template files and this many instruction files.
inline constexpr int max_pest_files = 25;

// The open template or instruction files of a mode, file i at index i
// (1..max_pest_files); index 0 is not used.
using pest_file_handles = std::array<file_wrapper, max_pest_files + 1>;

// Opens every template file for binary reading. 1 when there are more than
// 25 (nothing is opened) or one cannot be opened (none stays open).
int pest_open_templates(pest_control& pc, pest_file_handles& template_files);
// Checks the "ptf"/"jtf" header of each template and finds its marked
// fields and the parameter each names. 1 for a file that is not a template.
int pest_read_templates(pest_control& pc, pest_file_handles& template_files);
int pest_close_templates(pest_control& pc, pest_file_handles& template_files);

// Opens every instruction file for reading; 1 as for the templates.
int pest_open_instructions(pest_control& pc, pest_file_handles& instruction_files);
int pest_close_instructions(pest_control& pc, pest_file_handles& instruction_files);

// Reads the model output file of instruction file `i` through it and stores
// each observation's value by `read_kind`: 0 into simulated, 1 into
// simulated_2, 2 into simulated_3. 0, or 1 after a message naming the file,
// the instruction line and the text. A semi-fixed observation ends the
// process with status 1.
int pest_read_instructions(pest_control& pc, int i, int read_kind, pest_file_handles& instruction_files);

}  // namespace kavro
