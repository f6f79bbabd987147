// The case of a calibration-tool run: the names of its files, taken from
// the control-file argument, and the parts of the run record that belong to
// no one algorithm (record header, console run record, initial conditions
// with the parameter file, iteration headers).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace kavro {

struct pest_control;

struct output_file_names {
  std::string case_name;  // the control-file argument up to the first '.' of its last path component
  std::string rec_name;   // case name + ".rec": the record file
  std::string sen_name;   // + ".sen": parameter sensitivities
  std::string mtt_name;   // + ".mtt": created empty
  std::string par_name;   // + ".par": parameter values, one per line
  std::string rst_name;   // + ".rst": the restart file
};

// Fills `names` from the control-file argument (the third command-line
// argument); folders stay in the names. 0.
int FilesNamesForWrite(std::string_view control_arg, output_file_names& names);

// True in the regularisation modes ("regularization" or "regularisation").
bool pest_regularisation_mode(const pest_control& pc);

// The header of the record file: input control file, algorithm, counts. 0.
int lm_record_header(std::string_view control_arg, const pest_control& pc, std::FILE* rec);
// The console run record after the initial model run. 0.
int lm_print_run_record(double measurement_phi, double regularisation_phi, double phi, const pest_control& pc,
                        const output_file_names& names);
// The initial-conditions block of the record file and the first contents of
// the parameter file (natural values of every parameter). 0.
int lm_record_initial(std::FILE* rec, std::FILE* par, double measurement_phi, double regularisation_phi, double phi,
                      const pest_control& pc);
// The header of an optimisation iteration, to the console or to the record
// file. `first` is the starting objective (estimation) or the measurement
// objective (regularisation modes), `second` the regularisation objective,
// `third` the starting objective of the regularisation modes. 0.
int lm_print_iteration_header(const pest_control& pc, int iteration, int model_calls, double first, double second,
                              double third);
int lm_record_iteration_header(const pest_control& pc, std::FILE* rec, int iteration, int model_calls, double first,
                               double second, double third);

}  // namespace kavro
