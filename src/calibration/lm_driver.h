// The Levenberg-Marquardt optimisation driver of the calibration tool: one
// search from the control file's starting values, with its initial model
// run, its iterations of Jacobian (and upgrade trials), and the closing
// statistics in the record file.
#pragma once

#include <cstdio>

#include "calibration/template_instruction_files.h"

namespace kavro {

struct pest_control;
struct output_file_names;
struct lm_search_state;

// One search. argv[1] is the mode option (the model runs are silent under
// it), argv[3] may be "/r". The case files are open; the record header is
// written. 0 after a complete search, otherwise the first non-zero result of
// a step, after which no further model run is made.
int lm_optimise(int argc, char** argv, pest_control& pc, const output_file_names& names, std::FILE* rec,
                std::FILE* sen, std::FILE* mtt, std::FILE* par, pest_file_handles& template_files,
                pest_file_handles& instruction_files);

// The objective of the latest run of read kind `which` (0 the base set, 1 a
// trial): the group contributions plus the prior-information part, which is
// kept in state.prior_phi.
double lm_objective(pest_control& pc, lm_search_state& state, int which);

}  // namespace kavro
