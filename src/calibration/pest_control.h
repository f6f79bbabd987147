// The calibration tool's control file (PEST control-file format, a fixed
// subset with six extension values) in memory, and the replacement-parameter
// list "kavro.in" through which parameter values reach the model.
#pragma once

#include <string>
#include <vector>

#include "framework/one_based.h"

namespace kavro {

struct run_plan;

struct par_group_rec {
  std::string name;       // PARGPNME
  std::string inctyp;     // INCTYP; not used
  double derinc = 0.0;    // DERINC; not used
  double derinclb = 0.0;  // DERINCLB; not used
  std::string forcen;     // FORCEN: "always_2", "always_3" or "switch"
  double derincmul = 0.0; // DERINCMUL; not used
  std::string dermthd;    // DERMTHD: "parabolic", "outside_pts" or "best_fit"
};

struct par_rec {
  std::string name;               // PARNME
  std::string partrans;           // "log", "fixed", "tied" (exact); anything else is untransformed
  std::string parchglim;          // PARCHGLIM; not used
  double value = 0.0;             // current value; log10 of it for "log" parameters
  double previous_value = 0.0;    // value before the latest upgrade
  double perturbed_value = 0.0;   // perturbed values of a Jacobian column
  double perturbed_value2 = 0.0;
  double lower_bound = 0.0;       // PARLBND; log10 for "log" parameters
  double upper_bound = 0.0;       // PARUBND; log10 for "log" parameters
  std::string group;              // PARGP
  double scale = 1.0;             // SCALE; not used
  double offset = 0.0;            // OFFSET; not used
  int dercom = 0;                 // DERCOM; not used
  std::string tie_child;          // first word of this tied parameter's tied-list line
  std::string tie_parent;         // second word: the parent's name
  int tie_parent_index = 0;       // index of the parent in pars; 0 when none
  double tie_ratio = 1.0;         // value over the parent's (natural) value
  int at_upper = 0;               // 1 while the value is at the upper bound
  int at_lower = 0;               // 1 while the value is at the lower bound
  int frozen = 0;                 // frozen at a bound in the current upgrade
  int insensitive = 0;            // composite sensitivity below the threshold
  double sensitivity = 0.0;       // composite sensitivity
  int iw_flag = 0;                // 1 for an adjustable parameter named "iw_..."
  std::string short_name;         // for those, the name without "iw_"
};

struct obs_group_rec {
  std::string name;  // OBGNME
  double phi = 0.0;  // the group's contribution to the objective function
};

struct obs_rec {
  std::string name;          // OBSNME
  double value = 0.0;        // OBSVAL, the measured value
  double simulated = 0.0;    // model value of the current parameter set (read kind 0)
  double simulated_2 = 0.0;  // model value of a perturbed or trial run (read kind 1)
  double simulated_3 = 0.0;  // model value of a second perturbed run (read kind 2)
  double weight = 0.0;       // WEIGHT
  std::string group;         // OBGNME
};

struct template_rec {
  std::string tpl_file;               // TEMPFLE
  std::string model_input_file;       // INFLE
  ivec field_par_index{"field_par_index"};  // [field] index in pars of the parameter named, 0 when none
  int n_fields = 0;                   // marker pairs of the template
  std::vector<long> marker_positions; // file offset after each marker character, in file order
};

struct instruction_rec {
  std::string ins_file;           // INSFLE
  std::string model_output_file;  // OUTFLE
};

struct prior_rec {
  std::string label;                          // PILBL
  dvec factors{"factors"};                    // [term] PIFAC with the sign of the term
  one_based_vec<std::string> par_names{"par_names"};  // [term] the parameter of each term
  int n_terms = 0;
  double pival = 0.0;                         // PIVAL
  double weight = 0.0;                        // WEIGHT
  std::string group;                          // OBGNME
};

struct pest_control {
  std::string first_line;    // "pcf"
  std::string section_line;  // "* control data"
  std::string rstfle;        // "restart" keeps a restart file
  std::string pestmode;      // "estimation", "prediction", "regularization"/"regularisation"
  int n_adjustable = 0;
  int n_fixed = 0;
  int n_tied = 0;
  int n_frozen = 0;
  int n_insensitive = 0;
  int npar = 0, nobs = 0, npargp = 0, nprior = 0, nobsgp = 0;
  int ntplfle = 0, ninsfle = 0;
  std::string precis, dpoint;  // read, not used
  int numcom = 0, jacfile = 0, messfile = 0;  // read, not used
  double rlambda1 = 0.0;   // the current Marquardt lambda
  double rlamfac = 0.0;
  double phiratsuf = 0.0;
  double phiredlam = 0.0;
  int numlam = 0;
  double relparmax = 0.0, facparmax = 0.0, facorig = 0.0;  // read, not used
  double phiredswh = 0.0;
  int noptmax = 0;
  double phiredstp = 0.0;
  int nphistp = 0, nphinored = 0;
  double relparstp = 0.0;
  int nrelpar = 0;
  int icov = 0, icor = 0, ieig = 0;  // read, not used
  int method = 0;                    // 0 LM with a full Jacobian every iteration, 1 secant (SLM)
  int full_update = 0;               // 1: SLM recomputes the whole Jacobian above the threshold
  double full_update_threshold = 0.0;  // phi ratio above which a full update is made
  int cyclic_columns = 0;            // Jacobian columns recomputed per cyclic SLM update
  double proximity_distance = 0.0;   // distance to an earlier local search that ends a search
  int mlsl_sample_size = 0;          // multi-level single linkage settings (from its own input file)
  double mlsl_reduction = 0.0;
  double mlsl_sigma = 0.0;
  double mlsl_end_distance = 0.0;
  std::string model_project_file;    // project file of every model run of the tool
  double phi_ratio = 0.0;            // latest objective over the previous one
  std::string svd_line;              // line after the control data
  int svdmode = 0, maxsing = 0;      // read, not used
  double eigthresh = 0.0;            // read, not used
  int eigwrite = 0;                  // read, not used
  one_based_vec<par_group_rec> par_groups{"par_groups"};  // 1..npargp
  one_based_vec<par_rec> pars{"pars"};                    // 1..npar, control-file order
  one_based_vec<obs_group_rec> obs_groups{"obs_groups"};  // 1..nobsgp
  one_based_vec<obs_rec> obs{"obs"};                      // 1..nobs, control-file order
  std::string pre_batch_file;   // printed in the run record only
  std::string post_batch_file;  // run after every model run
  one_based_vec<template_rec> templates{"templates"};           // 1..ntplfle
  one_based_vec<instruction_rec> instructions{"instructions"};  // 1..ninsfle
  one_based_vec<prior_rec> priors{"priors"};                    // 1..nprior
  std::string regularisation_line;
  double phimlim = 0.0, phimaccept = 0.0, fracphim = 0.0;  // read, not used
  double weight_factor = 0.0;  // current regularisation weight factor (wfinit)
  double wfinit = 0.0;
  double wfmin = 0.0, wfmax = 0.0, wffac = 0.0, wftol = 0.0;  // read, not used
  int n_iw = 0;  // adjustable parameters named "iw_..."
  // Section header lines as read; never compared.
  std::string par_groups_line, par_data_line, obs_groups_line, obs_data_line;
  std::string command_line_line, model_io_line, prior_line;
  // The run every model run of the tool makes: null for the system's own.
  const run_plan* model_plan = nullptr;
};

// The exchange files the tool writes before every model run: the
// replacement-parameter list and the values of the parameter set.
inline constexpr const char* pest_list_file = "kavro.in";
inline constexpr const char* pest_values_file = "values.in";

// Reads the control file argv[2] (".pst" appended when the name holds no
// '.') into `pc` and writes "kavro.in" in the working folder. 0, or 1 after
// a message naming the file, the line, what was expected and what was found.
// A control file that is one of the exchange files, or whose model files
// would erase or stand for the tool's inputs (pest_files_apart), is refused
// before anything is written.
int pest_read_control(pest_control& pc, int argc, char** argv);
// True when no model input file (written from its template) is the control
// file, a template or an instruction file, and no model output file is one
// of them either; otherwise prints one message per clash and returns false.
bool pest_files_apart(const pest_control& pc, const std::string& control_file);
// Counts adjustable, fixed, tied and "iw_" parameters; 0.
int pest_classify_parameters(pest_control& pc);
// Parent index and ratio (to the parent's natural starting value) of every
// tied parameter; 0.
int pest_tied_ratios(pest_control& pc);

// True when the parameter takes part in the search: its transformation is
// neither exactly "tied" nor exactly "fixed".
bool pest_is_adjustable(const par_rec& p);
// The parameter's value in natural units: 10 to the power of the stored
// value for "log" parameters, the stored value otherwise.
double natural_value(const par_rec& p);
// A value stored in the parameter's units (perturbed or trial), in natural units.
double natural_value(const par_rec& p, double stored);

}  // namespace kavro
