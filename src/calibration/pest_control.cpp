#include "calibration/pest_control.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "calibration/pest_text.h"
#include "framework/file_wrapper.h"
#include "input/file_name_clash.h"

namespace kavro {

bool pest_is_adjustable(const par_rec& p) { return p.partrans != "tied" && p.partrans != "fixed"; }

double natural_value(const par_rec& p, double stored) { return p.partrans == "log" ? std::pow(10.0, stored) : stored; }

double natural_value(const par_rec& p) { return natural_value(p, p.value); }

namespace {

// A refusal of the control file; its text is printed by pest_read_control.
struct control_error {
  std::string message;
};

// Reads the control file as the format lays it out: value reads take the
// next blank-delimited token across line ends, line reads take the rest of
// the current line. Every token keeps its line number for the messages.
class control_reader {
 public:
  control_reader(std::string file, std::vector<std::string> lines) : file_(std::move(file)), lines_(std::move(lines)) {}

  // The rest of the current line; the cursor moves to the next line.
  std::string line(std::string_view what) {
    if (row_ >= lines_.size()) throw eof_error(what);
    std::string rest = lines_[row_].substr(col_);
    next_row();
    return rest;
  }
  // The first of a section's two line reads: drops what is left of the line
  // that held the last token. A section without entries leaves the cursor at
  // the start of a line nothing was taken from, and then nothing is dropped.
  void end_of_section() {
    if (taken_on_row_) next_row();
  }
  // True when only blank lines remain.
  bool at_end() const {
    for (std::size_t r = row_; r < lines_.size(); ++r) {
      const std::string_view rest = r == row_ ? std::string_view(lines_[r]).substr(col_) : lines_[r];
      for (char c : rest)
        if (!is_blank_char(c)) return false;
    }
    return true;
  }

  std::string word(std::string_view what) { return token(what); }
  // A word that names a file, parameter, group or observation. A section
  // header's "*" there means the section is short of entries: refused, so
  // that no later name is taken from the wrong line.
  std::string name(std::string_view what) {
    std::string t = token(what);
    if (t[0] == '*') throw refusal(token_line_, "a name", what, t);
    return t;
  }
  // True when the next token opens its line with '*', as a section header does.
  bool header_next() const {
    std::size_t r = row_;
    std::size_t c = col_;
    bool first_on_line = !taken_on_row_;
    for (; r < lines_.size(); ++r, c = 0, first_on_line = true) {
      const std::string& text = lines_[r];
      while (c < text.size() && is_blank_char(text[c])) ++c;
      if (c < text.size()) return first_on_line && text[c] == '*';
    }
    return false;
  }
  int integer(std::string_view what) {
    const std::string t = token(what);
    if (const std::optional<int> v = parse_whole_int(t)) return *v;
    throw refusal(token_line_, "an integer", what, t);
  }
  int count(std::string_view what, int minimum = 0) {
    const int v = integer(what);
    if (v < minimum) throw refusal(token_line_, minimum == 0 ? "a count of 0 or more" : "a count of 1 or more", what, std::to_string(v));
    return v;
  }
  int flag(std::string_view what) {
    const int v = integer(what);
    if (v != 0 && v != 1) throw refusal(token_line_, "0 or 1", what, std::to_string(v));
    return v;
  }
  double real(std::string_view what) {
    const std::string t = token(what);
    if (const std::optional<double> v = parse_whole_double(t)) return *v;
    throw refusal(token_line_, "a finite real number", what, t);
  }
  int token_line() const { return token_line_; }
  int row_number() const { return static_cast<int>(row_) + 1; }

  control_error refusal(int line, std::string_view expected, std::string_view what, std::string_view found) const {
    return {format_refusal(line, expected, what, std::string("\"").append(found).append("\""))};
  }

 private:
  std::string token(std::string_view what) {
    for (;;) {
      if (row_ >= lines_.size()) throw eof_error(what);
      const std::string& text = lines_[row_];
      while (col_ < text.size() && is_blank_char(text[col_])) ++col_;
      if (col_ < text.size()) break;
      next_row();
    }
    const std::string& text = lines_[row_];
    const std::size_t start = col_;
    while (col_ < text.size() && !is_blank_char(text[col_])) ++col_;
    taken_on_row_ = true;
    token_line_ = static_cast<int>(row_) + 1;
    return text.substr(start, col_ - start);
  }
  void next_row() {
    ++row_;
    col_ = 0;
    taken_on_row_ = false;
  }
  control_error eof_error(std::string_view what) const {
    return {format_refusal(static_cast<int>(lines_.size()), "", what, "the end of the file")};
  }
  std::string format_refusal(int line, std::string_view expected, std::string_view what, std::string_view found) const {
    std::string m = "Error in control file " + file_ + ", line " + std::to_string(line) + ": expected ";
    if (!expected.empty()) m.append(expected).append(" for ");
    m.append(what).append(", found ").append(found).append(".\n");
    return m;
  }

  std::string file_;
  std::vector<std::string> lines_;
  std::size_t row_ = 0;
  std::size_t col_ = 0;
  bool taken_on_row_ = false;
  int token_line_ = 0;
};

using file_ptr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

int find_par_group(const pest_control& pc, const std::string& name) {
  for (int g = 1; g <= pc.npargp; ++g)
    if (pc.par_groups[g].name == name) return g;
  return 0;
}

int find_par(const pest_control& pc, const std::string& name) {
  for (int l = 1; l <= pc.npar; ++l)
    if (pc.pars[l].name == name) return l;
  return 0;
}

void read_control_data(control_reader& in, pest_control& pc) {
  pc.rstfle = in.word("RSTFLE");
  pc.pestmode = in.word("PESTMODE");
  pc.npar = in.count("NPAR");
  pc.nobs = in.count("NOBS");
  pc.npargp = in.count("NPARGP");
  pc.nprior = in.count("NPRIOR");
  pc.nobsgp = in.count("NOBSGP");
  pc.ntplfle = in.count("NTPLFLE");
  pc.ninsfle = in.count("NINSFLE");
  pc.precis = in.word("PRECIS");
  pc.dpoint = in.word("DPOINT");
  pc.numcom = in.integer("NUMCOM");
  pc.jacfile = in.integer("JACFILE");
  pc.messfile = in.integer("MESSFILE");
  pc.rlambda1 = in.real("RLAMBDA1");
  pc.rlamfac = in.real("RLAMFAC");
  pc.phiratsuf = in.real("PHIRATSUF");
  pc.phiredlam = in.real("PHIREDLAM");
  pc.numlam = in.count("NUMLAM", 1);
  pc.relparmax = in.real("RELPARMAX");
  pc.facparmax = in.real("FACPARMAX");
  pc.facorig = in.real("FACORIG");
  in.integer("IBOUNDSTICK");
  pc.phiredswh = in.real("PHIREDSWH");
  in.word("the word after PHIREDSWH");
  pc.noptmax = in.integer("NOPTMAX");
  pc.phiredstp = in.real("PHIREDSTP");
  pc.nphistp = in.integer("NPHISTP");
  pc.nphinored = in.integer("NPHINORED");
  pc.relparstp = in.real("RELPARSTP");
  pc.nrelpar = in.integer("NRELPAR");
  pc.icov = in.integer("ICOV");
  pc.icor = in.integer("ICOR");
  pc.ieig = in.integer("IEIG");
  pc.method = in.flag("METHOD");
  pc.full_update = in.flag("FULL_UPDATE");
  pc.full_update_threshold = in.real("the full-update threshold");
  pc.cyclic_columns = in.integer("the number of cyclic columns");
  pc.proximity_distance = in.real("the proximity distance");
  pc.model_project_file = in.name("the model project file");
}

// "* parameter data": every parameter, with its key line in "kavro.in".
void read_parameters(control_reader& in, pest_control& pc, std::FILE* list) {
  if (pc.npar > 0) std::fprintf(list, "%d\n", pc.npar);
  for (int k = 1; k <= pc.npar; ++k) {
    par_rec& p = pc.pars[k];
    p.name = in.name("PARNME");
    p.partrans = in.word("PARTRANS");
    p.parchglim = in.word("PARCHGLIM");
    p.value = in.real("PARVAL1");
    p.lower_bound = in.real("PARLBND");
    p.upper_bound = in.real("PARUBND");
    p.group = in.name("PARGP");
    if (find_par_group(pc, p.group) == 0)
      throw in.refusal(in.token_line(), "the name of a parameter group", "PARGP of " + p.name, p.group);
    p.scale = in.real("SCALE");
    p.offset = in.real("OFFSET");
    p.dercom = in.integer("DERCOM");
    // Every value goes to the model as a real with eight decimals.
    std::fprintf(list, "[%s] \"%s\"\n", p.name.c_str(), "%16.8lf");
  }
}

// Base-10 logarithms of the "log" parameters; false after the message.
bool log_transform(pest_control& pc) {
  for (int k = 1; k <= pc.npar; ++k) {
    par_rec& p = pc.pars[k];
    if (p.partrans != "log") continue;
    if (p.value <= 0.0 || p.lower_bound <= 0.0 || p.upper_bound <= 0.0) {
      std::printf("\nThe log transformed parameter %s has an input value less than zero!", p.name.c_str());
      std::printf("\nProgram terminating.\n");
      return false;
    }
    p.value = std::log10(p.value);
    p.lower_bound = std::log10(p.lower_bound);
    p.upper_bound = std::log10(p.upper_bound);
  }
  return true;
}

void read_tied_list(control_reader& in, pest_control& pc) {
  for (int k = 1; k <= pc.npar; ++k) {
    par_rec& p = pc.pars[k];
    if (p.partrans != "tied") continue;
    p.tie_child = in.name("the tied parameter of " + p.name);
    p.tie_parent = in.name("the parent of tied parameter " + p.name);
    const int parent = find_par(pc, p.tie_parent);
    if (parent == 0 || pc.pars[parent].partrans == "tied")
      throw in.refusal(in.token_line(), "the name of a parameter that is not tied", "the parent of " + p.name,
                       p.tie_parent);
  }
}

// The name in a parameter reference: log(NAME) gives NAME.
std::string prior_par_name(const std::string& ref) {
  const std::size_t log_at = ref.find("log");
  if (log_at != std::string::npos) {
    const std::size_t open = ref.find('(', log_at + 3);
    if (open != std::string::npos) {
      const std::size_t close = ref.find(')', open + 1);
      if (close != std::string::npos) {
        const std::size_t last_open = ref.rfind('(', close);
        return ref.substr(last_open + 1, close - last_open - 1);
      }
    }
  }
  return ref;
}

// One prior-information equation from its line:
// PILBL f1 * p1 [+|- f2 * p2 ...] = PIVAL WEIGHT OBGNME.
void read_prior(const control_reader& in, int line_no, const std::string& line, prior_rec& pr) {
  const std::vector<std::string> words = split_words(line);
  std::size_t w = 0;
  auto fail = [&](std::string_view expected, std::string_view what) -> control_error {
    std::printf("Error reading prior information");
    std::printf("\n");
    return in.refusal(line_no, expected, what, w < words.size() ? words[w] : std::string("the end of the line"));
  };
  auto next = [&](std::string_view expected, std::string_view what) -> const std::string& {
    if (w >= words.size()) throw fail(expected, what);
    return words[w++];
  };
  pr.label = next("a label", "PILBL");
  std::vector<double> factors;
  std::vector<std::string> names;
  std::string separator;
  for (;;) {
    if (w >= words.size()) throw fail("a factor", "PIFAC");
    const std::optional<double> f = parse_whole_double(words[w]);
    if (!f) throw fail("a factor", "PIFAC");
    ++w;
    factors.push_back(separator == "-" ? -*f : *f);
    if (w >= words.size() || words[w] != "*") throw fail("\"*\"", "the term of " + pr.label);
    ++w;
    names.push_back(prior_par_name(next("a parameter name", "the term of " + pr.label)));
    if (w >= words.size() || (words[w] != "+" && words[w] != "-" && words[w] != "="))
      throw fail("\"+\", \"-\" or \"=\"", "the equation " + pr.label);
    separator = words[w++];
    if (separator == "=") break;
  }
  pr.n_terms = static_cast<int>(factors.size());
  pr.factors.allocate(pr.n_terms);
  pr.par_names.allocate(pr.n_terms);
  for (int t = 1; t <= pr.n_terms; ++t) {
    pr.factors[t] = factors[static_cast<std::size_t>(t - 1)];
    pr.par_names[t] = names[static_cast<std::size_t>(t - 1)];
  }
  const std::string& pival = next("PIVAL", "PIVAL");
  const std::optional<double> v = parse_whole_double(pival);
  if (!v) throw in.refusal(line_no, "a finite real number", "PIVAL of " + pr.label, pival);
  pr.pival = *v;
  const std::string& weight = next("WEIGHT", "WEIGHT");
  const std::optional<double> wt = parse_whole_double(weight);
  if (!wt) throw in.refusal(line_no, "a finite real number", "WEIGHT of " + pr.label, weight);
  pr.weight = *wt;
  pr.group = next("OBGNME", "OBGNME of " + pr.label);
}

// Everything after the model input/output section. A file that ends before
// the regularisation section leaves those values 0.
void read_prior_and_regularisation(control_reader& in, pest_control& pc) {
  in.end_of_section();
  if (pc.nprior == 0 && in.at_end()) return;
  pc.prior_line = in.line("the \"* prior information\" line");
  for (int k = 1; k <= pc.nprior; ++k) {
    const int line_no = in.row_number();
    read_prior(in, line_no, in.line("prior information"), pc.priors[k]);
  }
  if (in.at_end()) return;
  pc.regularisation_line = in.line("the \"* regularisation\" line");
  pc.phimlim = in.real("PHIMLIM");
  pc.phimaccept = in.real("PHIMACCEPT");
  pc.fracphim = in.real("FRACPHIM");
  pc.wfinit = in.real("WFINIT");
  pc.wfmin = in.real("WFMIN");
  pc.wfmax = in.real("WFMAX");
  pc.wffac = in.real("WFFAC");
  pc.wftol = in.real("WFTOL");
  pc.weight_factor = pc.wfinit;
}

// The sections in their fixed order; false after a log-transform message.
bool read_sections(control_reader& in, pest_control& pc, std::FILE* list) {
  pc.first_line = in.line("the first line");
  pc.section_line = in.line("the \"* control data\" line");
  read_control_data(in, pc);
  in.end_of_section();
  pc.svd_line = in.line("the \"* parameter groups\" line");
  if (pc.svd_line.size() >= 10 && pc.svd_line.compare(2, 8, "singular") == 0) {
    pc.svdmode = in.integer("SVDMODE");
    pc.maxsing = in.integer("MAXSING");
    pc.eigthresh = in.real("EIGTHRESH");
    pc.eigwrite = in.integer("EIGWRITE");
    in.end_of_section();
    pc.par_groups_line = in.line("the \"* parameter groups\" line");
  } else {
    pc.par_groups_line = pc.svd_line;
  }
  pc.par_groups.allocate(pc.npargp);
  for (int g = 1; g <= pc.npargp; ++g) {
    par_group_rec& r = pc.par_groups[g];
    r.name = in.name("PARGPNME");
    r.inctyp = in.word("INCTYP");
    r.derinc = in.real("DERINC");
    r.derinclb = in.real("DERINCLB");
    r.forcen = in.word("FORCEN");
    r.derincmul = in.real("DERINCMUL");
    r.dermthd = in.word("DERMTHD");
  }
  in.end_of_section();
  pc.par_data_line = in.line("the \"* parameter data\" line");
  pc.pars.allocate(pc.npar);
  read_parameters(in, pc, list);
  if (!log_transform(pc)) return false;
  read_tied_list(in, pc);
  for (int k = 1; k <= pc.npar; ++k) {
    par_rec& p = pc.pars[k];
    p.at_upper = p.value == p.upper_bound ? 1 : 0;
    p.at_lower = p.value == p.lower_bound ? 1 : 0;
  }
  in.end_of_section();
  pc.obs_groups_line = in.line("the \"* observation groups\" line");
  pc.obs_groups.allocate(pc.nobsgp);
  for (int g = 1; g <= pc.nobsgp; ++g) pc.obs_groups[g].name = in.name("OBGNME");
  in.end_of_section();
  pc.obs_data_line = in.line("the \"* observation data\" line");
  pc.obs.allocate(pc.nobs);
  for (int k = 1; k <= pc.nobs; ++k) {
    obs_rec& o = pc.obs[k];
    o.name = in.name("OBSNME");
    o.value = in.real("OBSVAL");
    o.weight = in.real("WEIGHT");
    o.group = in.name("OBGNME");
  }
  in.end_of_section();
  pc.command_line_line = in.line("the \"* model command line\" line");
  pc.pre_batch_file = in.name("the pre-model batch file");
  // A standard-format file names one command: the next header follows at
  // once, and there is no post-model command.
  if (!in.header_next()) pc.post_batch_file = in.name("the post-model batch file");
  in.end_of_section();
  pc.model_io_line = in.line("the \"* model input/output\" line");
  pc.templates.allocate(pc.ntplfle);
  for (int k = 1; k <= pc.ntplfle; ++k) {
    pc.templates[k].tpl_file = in.name("TEMPFLE");
    pc.templates[k].model_input_file = in.name("INFLE");
  }
  pc.instructions.allocate(pc.ninsfle);
  for (int k = 1; k <= pc.ninsfle; ++k) {
    pc.instructions[k].ins_file = in.name("INSFLE");
    pc.instructions[k].model_output_file = in.name("OUTFLE");
  }
  pc.priors.allocate(pc.nprior);
  read_prior_and_regularisation(in, pc);
  return true;
}

}  // namespace

bool pest_files_apart(const pest_control& pc, const std::string& control_file) {
  // Every file the tool reads, with what it is.
  struct read_file {
    std::string what, name, key;
  };
  std::vector<read_file> inputs{{"the control file", control_file, file_comparison_key(control_file, "r")}};
  for (int k = 1; k <= pc.ntplfle; ++k) {
    const std::string& t = pc.templates[k].tpl_file;
    inputs.push_back({"template file " + std::to_string(k), t, file_comparison_key(t, "r")});
  }
  for (int k = 1; k <= pc.ninsfle; ++k) {
    const std::string& i = pc.instructions[k].ins_file;
    inputs.push_back({"instruction file " + std::to_string(k), i, file_comparison_key(i, "r")});
  }
  bool ok = true;
  // A model input file is written from its template before every run.
  for (int k = 1; k <= pc.ntplfle; ++k) {
    const std::string& out = pc.templates[k].model_input_file;
    const std::string key = file_comparison_key(out, "w");
    for (const read_file& in : inputs) {
      if (in.key != key) continue;
      std::printf("Error in control file %s: the model input file %s of template %d is %s %s, which writing it "
                  "would erase.\n",
                  control_file.c_str(), out.c_str(), k, in.what.c_str(), in.name.c_str());
      ok = false;
    }
  }
  // A model output file is what the model writes: none of the tool's inputs.
  for (int k = 1; k <= pc.ninsfle; ++k) {
    const std::string& out = pc.instructions[k].model_output_file;
    const std::string key = file_comparison_key(out, "r");
    for (const read_file& in : inputs) {
      if (in.key != key) continue;
      std::printf("Error in control file %s: instruction file %d reads %s %s as the model output file %s; the "
                  "model never writes it.\n",
                  control_file.c_str(), k, in.what.c_str(), in.name.c_str(), out.c_str());
      ok = false;
    }
  }
  return ok;
}

int pest_read_control(pest_control& pc, int argc, char** argv) {
  if (argc < 3 || argv == nullptr || argv[2] == nullptr) {
    std::printf("Error: no control file named on the command line.\n");
    return 1;
  }
  std::string name = argv[2];
  if (name.find('.') == std::string::npos) name += ".pst";
  // The tool writes its exchange files before every model run.
  for (const char* written : {pest_list_file, pest_values_file}) {
    if (file_comparison_key(name, "r") != file_comparison_key(written, "w")) continue;
    std::printf("Error: the control file %s is the file %s that the calibration writes; nothing is written.\n",
                name.c_str(), written);
    return 1;
  }
  file_ptr list(std::fopen(pest_list_file, "w"), &std::fclose);
  if (!list) {
    std::printf("Error: cannot create the replacement-parameter list kavro.in\n");
    return 1;
  }
  std::optional<std::vector<std::string>> lines = read_text_lines(normalize_separators(name));
  if (!lines) {
    std::fprintf(stderr, "Cannot open %s \n", name.c_str());
    return 1;
  }
  control_reader in(name, std::move(*lines));
  try {
    if (!read_sections(in, pc, list.get())) return 1;
    if (!pest_files_apart(pc, name)) return 1;
  } catch (const control_error& e) {
    std::printf("%s", e.message.c_str());
    return 1;
  } catch (const std::bad_alloc&) {
    std::printf("Not enough memory to allocate buffer");
    std::printf("\n");
    return 1;
  }
  return 0;
}

int pest_classify_parameters(pest_control& pc) {
  pc.n_adjustable = pc.n_fixed = pc.n_tied = pc.n_frozen = pc.n_iw = 0;
  for (int k = 1; k <= pc.npar; ++k) {
    par_rec& p = pc.pars[k];
    p.iw_flag = 0;
    if (p.partrans == "tied") {
      ++pc.n_tied;
    } else if (p.partrans == "fixed") {
      ++pc.n_fixed;
    } else {
      ++pc.n_adjustable;
      if (p.name.compare(0, 3, "iw_") == 0) {
        ++pc.n_iw;
        p.iw_flag = 1;
        p.short_name = p.name.substr(3);
      }
    }
  }
  return 0;
}

int pest_tied_ratios(pest_control& pc) {
  for (int k = 1; k <= pc.npar; ++k) {
    pc.pars[k].tie_parent_index = 0;
    pc.pars[k].tie_ratio = 1.0;
  }
  if (pc.n_tied == 0) return 0;
  for (int k = 1; k <= pc.npar; ++k) {
    par_rec& p = pc.pars[k];
    if (p.partrans != "tied") continue;
    const int l = find_par(pc, p.tie_parent);
    if (l == 0) continue;
    const par_rec& parent = pc.pars[l];
    const double parent_value = parent.partrans == "log" ? std::pow(10.0, parent.value) : parent.value;
    p.tie_parent_index = l;
    p.tie_ratio = p.value / parent_value;
  }
  return 0;
}

}  // namespace kavro
