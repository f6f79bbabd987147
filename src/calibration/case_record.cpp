#include "calibration/case_record.h"

#include <cmath>

#include "calibration/pest_control.h"

namespace kavro {

int FilesNamesForWrite(std::string_view control_arg, output_file_names& names) {
  // The first '.' of the last path component ends the case name, so that
  // "../case.pst" and "dir.1/case" keep their folders.
  const std::size_t slash = control_arg.find_last_of("/\\");
  const std::size_t component = slash == std::string_view::npos ? 0 : slash + 1;
  const std::size_t dot = control_arg.find('.', component);
  names.case_name = std::string(control_arg.substr(0, dot));
  names.rec_name = names.case_name + ".rec";
  names.sen_name = names.case_name + ".sen";
  names.mtt_name = names.case_name + ".mtt";
  names.par_name = names.case_name + ".par";
  names.rst_name = names.case_name + ".rst";
  return 0;
}

bool pest_regularisation_mode(const pest_control& pc) {
  return pc.pestmode == "regularization" || pc.pestmode == "regularisation";
}

int lm_record_header(std::string_view control_arg, const pest_control& pc, std::FILE* rec) {
  std::fprintf(rec, "\n                            RECORD FILE \n\n");
  std::fprintf(rec, "\nINPUT INFORMATION \n\n");
  std::fprintf(rec, "\nINPUT CONTROL FILE \n\n");
  std::fprintf(rec, "Input control file case name: %.*s\n\n", static_cast<int>(control_arg.size()), control_arg.data());
  std::fprintf(rec, "\nALGORITHM \n\n");
  if (pc.method == 0) {
    std::fprintf(rec, "The LM method is employed for this case.");
  } else if (pc.method == 1) {
    std::fprintf(rec, "The SLM method is employed for this case.");
    std::fprintf(rec,
                 "\n\nThe number of columns used for cyclic updating with the SLM method for this case is: %d.",
                 pc.cyclic_columns);
    if (pc.full_update == 1) {
      std::fprintf(rec,
                   "\n\nFull updating of the model sensitivity matrix was activated with the SLM method for this "
                   "case.");
      std::fprintf(rec,
                   "\n\nThe threshold value (i.e., the ratio of the current to the previous objective function value) "
                   "specified to activate a full update with the SLM method for this case is %lf.",
                   pc.full_update_threshold);
    }
  }
  std::fprintf(rec, "\n\n\nCONTROL DATA INPUT");
  std::fprintf(rec, "\n\nThe number of parameters specified in the input control file is:\t\t\t\t%d", pc.npar);
  std::fprintf(rec, "\nThe number of adjustable model parameters specified in the input control file is:\t\t%d",
               pc.n_adjustable);
  std::fprintf(rec, "\nThe number of fixed model parameters specified in the input control file is:\t\t\t%d", pc.n_fixed);
  std::fprintf(rec, "\nThe number of tied model parameters specified in the input control file is:\t\t\t%d", pc.n_tied);
  std::fprintf(rec, "\nThe number of observations specified in the input control file is:\t\t\t\t%d", pc.nobs);
  std::fprintf(rec, "\nThe number of pieces of prior information specified in the input control file is:\t\t%d",
               pc.nprior);
  std::fprintf(rec, "\nThe number of parameter groups specified in the input control file is:\t\t\t\t%d", pc.npargp);
  std::fprintf(rec, "\nThe number of observation groups specified in the input control file is:\t\t\t%d", pc.nobsgp);
  std::fprintf(rec, "\n\n\n");
  return 0;
}

namespace {

// The three regularisation lines of the run record and initial conditions.
void write_regularisation_lines(std::FILE* f, const pest_control& pc, double measurement_phi,
                                double regularisation_phi) {
  std::fprintf(f, "  Current regularization weight factor                      =  %E\n", pc.wfinit);
  std::fprintf(f, "  Current value of measurement objective function           =  %E\n", measurement_phi);
  std::fprintf(f, "  Current value of regularisation objective function        =  %E\n\n", regularisation_phi);
}

void write_iteration_header(std::FILE* f, const pest_control& pc, int iteration, int model_calls, double first,
                            double second, double third) {
  const bool estimation = pc.pestmode == "estimation";
  const bool regularisation = pest_regularisation_mode(pc);
  if (!estimation && !regularisation) return;
  std::fprintf(f, "\n");
  std::fprintf(f, "OPTIMIZATION ITERATION NO.\t\t\t\t: %d\n", iteration);
  std::fprintf(f, "Model Calls so far\t\t\t\t\t: %d\n", model_calls);
  if (regularisation) {
    std::fprintf(f, "Current regularization weight factor                      =  %E\n", pc.weight_factor);
    std::fprintf(f, "Current value of measurement objective function           =  %E\n", first);
    std::fprintf(f, "Current value of regularisation objective function        =  %E\n\n", second);
    std::fprintf(f, "Starting objective function value for this iteration\t: %E\n", third);
  } else {
    std::fprintf(f, "Starting objective function value for this iteration\t: %E\n", first);
  }
  for (int g = 1; g <= pc.nobsgp; ++g)
    std::fprintf(f, "Contribution to phi from observation group '%s'\t= %E\n", pc.obs_groups[g].name.c_str(),
                 pc.obs_groups[g].phi);
  std::fprintf(f, "\n");
}

}  // namespace

int lm_print_run_record(double measurement_phi, double regularisation_phi, double phi, const pest_control& pc,
                        const output_file_names& names) {
  std::printf("\n");
  std::printf("Run record: case %s\n", names.case_name.c_str());
  std::printf("\n");
  std::printf("Model command line:\n");
  std::printf("pre KAVRO batch file : ");
  std::printf("%s\n", pc.pre_batch_file.c_str());
  std::printf("post KAVRO batch file : ");
  std::printf("%s\n", pc.post_batch_file.c_str());
  std::printf("\n");
  std::printf("Running model ...\n");
  std::printf("\n");
  if (pest_regularisation_mode(pc)) write_regularisation_lines(stdout, pc, measurement_phi, regularisation_phi);
  std::printf("Sum of squared weighted residuals = %E\n", phi);
  for (int g = 1; g <= pc.nobsgp; ++g)
    std::printf("Contribution to phi from observation group '%s' = %E\n", pc.obs_groups[g].name.c_str(),
                pc.obs_groups[g].phi);
  std::printf("\n");
  return 0;
}

int lm_record_initial(std::FILE* rec, std::FILE* par, double measurement_phi, double regularisation_phi, double phi,
                      const pest_control& pc) {
  std::fprintf(rec, "                            OPTIMIZATION RECORD\n\n");
  std::fprintf(rec, "INITIAL CONDITIONS:\n");
  if (pest_regularisation_mode(pc)) write_regularisation_lines(rec, pc, measurement_phi, regularisation_phi);
  std::fprintf(rec, "   Sum of squared weighted residuals = %E\n", phi);
  for (int g = 1; g <= pc.nobsgp; ++g)
    std::fprintf(rec, "   Contribution to phi from observation group '%s' = %E\n", pc.obs_groups[g].name.c_str(),
                 pc.obs_groups[g].phi);
  std::fprintf(rec, "\n");
  std::fprintf(rec, "      Current parameter values\n");
  for (int k = 1; k <= pc.npar; ++k)
    std::fprintf(rec, "      %s               %lf\n", pc.pars[k].name.c_str(), natural_value(pc.pars[k]));
  for (int k = 1; k <= pc.npar; ++k) std::fprintf(par, "%lf\n", natural_value(pc.pars[k]));
  return 0;
}

int lm_print_iteration_header(const pest_control& pc, int iteration, int model_calls, double first, double second,
                              double third) {
  write_iteration_header(stdout, pc, iteration, model_calls, first, second, third);
  return 0;
}

int lm_record_iteration_header(const pest_control& pc, std::FILE* rec, int iteration, int model_calls, double first,
                               double second, double third) {
  write_iteration_header(rec, pc, iteration, model_calls, first, second, third);
  return 0;
}

}  // namespace kavro
