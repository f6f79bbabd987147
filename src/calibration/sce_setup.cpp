// The "-c" mode: the SCE input file, the settings of the search with their
// defaults and checks, and the files of the best parameter set.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "calibration/calibration_entries.h"
#include "calibration/sce.h"
#include "framework/number_text.h"
#include "framework/readers.h"
#include "input/file_name_clash.h"
#include "input/project_reader.h"

namespace kavro {

namespace {

// The numbers of the SCE input file, read free-format across its lines. A
// token that is not one finite number (a whole number where a count is due)
// is refused naming the file, the line and the text, and every later value
// then stays unread.
class number_reader {
 public:
  number_reader(file_wrapper& in, std::string file) : file_(std::move(file)) {
    std::string line, token;
    for (int line_no = 4; read_line(line, in); ++line_no) {
      while (pop_token(line, token)) tokens_.push_back({token, line_no});
    }
  }
  bool next(int& out) {
    if (stuck_ || at_ >= tokens_.size()) return stick();
    return take(read_int(tokens_[at_].text, out));
  }
  bool next(double& out) {
    if (stuck_ || at_ >= tokens_.size()) return stick();
    return take(read_real(tokens_[at_].text, out));
  }
  bool bad_value() const { return bad_value_; }
  bool ended() const { return stuck_ && !bad_value_; }

 private:
  bool take(number_fault fault) {
    if (fault == number_fault::none) {
      ++at_;
      return true;
    }
    std::printf("Error: SCE input file %s, line %d: %s.\n", file_.c_str(), tokens_[at_].line,
                number_fault_text(fault, tokens_[at_].text, INT_MIN, INT_MAX).c_str());
    bad_value_ = true;
    return stick();
  }
  bool stick() {
    stuck_ = true;
    return false;
  }
  struct token {
    std::string text;
    int line;
  };
  std::vector<token> tokens_;
  std::size_t at_ = 0;
  bool stuck_ = false;
  bool bad_value_ = false;
  std::string file_;
};

void print_bad_first_line() { std::printf("Error in your input file. The first line must have 7 parameters.\n"); }

}  // namespace

int scein(sce_state& st, file_wrapper& in) {
  std::printf(" ENTER THE SCEIN SUBROUTINE --- \n");
  std::string line;
  std::string* names[3] = {&st.project_file, &st.list_file, &st.obs_file};
  for (int i = 0; i < 3; ++i) {
    names[i]->clear();
    if (read_line(line, in)) pop_token(line, *names[i]);
    // The project's folder becomes the folder of the later runs.
    if (i == 0) prescan_project_folder(st.project_file);
  }
  const std::string file = in.name;
  number_reader numbers(in, file);
  int converted = 0;
  converted += numbers.next(st.maxn);
  converted += converted == 1 && numbers.next(st.kstop);
  converted += converted == 2 && numbers.next(st.pcento);
  converted += converted == 3 && numbers.next(st.ngs);
  converted += converted == 4 && numbers.next(st.iseed);
  converted += converted == 5 && numbers.next(st.ideflt);
  converted += converted == 6 && numbers.next(st.nopt);
  if (converted < 7) {
    if (!numbers.bad_value()) print_bad_first_line();
    return -1;
  }
  // The population limit bounds the parameter count as well.
  if (st.nopt < 1 || st.nopt > sce_max_points) {
    std::printf("Error: SCE input file %s: the number of parameters %d is not valid.\n", file.c_str(), st.nopt);
    print_bad_first_line();
    return -1;
  }
  st.pcento /= 100.0;
  if (st.iseed == 0) st.iseed = 3737;
  st.start.allocate(st.nopt);
  st.lower.allocate(st.nopt);
  st.upper.allocate(st.nopt);
  int settings[6] = {0, 0, 0, 0, 0, 0};
  for (int& v : settings) numbers.next(v);
  if (numbers.bad_value()) return -1;
  if (st.ideflt == 1) {
    st.npg = settings[0];
    st.nps = settings[1];
    st.nspl = settings[2];
    st.mings = settings[3];
    st.iniflg = settings[4];
    st.iprint = settings[5];
  }
  for (int i = 1; i <= st.nopt; ++i) {
    numbers.next(st.start[i]);
    numbers.next(st.lower[i]);
    numbers.next(st.upper[i]);
    if (numbers.bad_value()) return -1;
    if (numbers.ended()) {
      std::printf("Error: SCE input file %s ends before the start value and bounds of parameter %d of %d.\n",
                  file.c_str(), i, st.nopt);
      return -1;
    }
    if (!(st.lower[i] < st.upper[i])) {
      std::printf("ERROR:  Lower bound is greater than upper bound for varialbe %d\n", i);
      return -1;
    }
    if (st.start[i] < st.lower[i] || st.start[i] > st.upper[i]) {
      std::printf("Error: SCE input file %s: the start value %g of parameter %d lies outside its bounds %g to %g.\n",
                  file.c_str(), st.start[i], i, st.lower[i], st.upper[i]);
      return -1;
    }
  }
  in.close();
  return 0;
}

int sce_check_settings(sce_state& st) {
  int warnings = 0;
  if (st.ideflt == 0) {
    st.iniflg = 0;
    st.iprint = 0;
    st.nps = st.nopt + 1;
    st.npg = 2 * st.nopt + 1;
    st.mings = st.ngs;
    st.nspl = 2 * st.nopt + 1;
  }
  if (st.ngs < 1 || st.ngs >= sce_max_points) {
    std::printf(" **ERROR** NUMBER OF COMPLEXES IN INITIAL POPULATION %d IS NOT A VALID CHOICE\n", st.ngs);
    return -1;
  }
  if (st.kstop < 0 || st.kstop >= 20) {
    std::printf(" **WARNING** THE NUMBER OF SHUFFLING LOOPS IN WHICH THE CRITERION VALUE\n");
    std::printf(" MUST CHANGE SHOULD BE GREATER THAN 0 AND LESS THAN 10. kstop = %d WAS\n", st.kstop);
    std::printf(" WAS SPECIFIED.  BUT kstop = 5 WILL BE USED INSTEAD.\n");
    st.kstop = 5;
    ++warnings;
  }
  if (st.mings < 1 || st.mings > st.ngs) {
    std::printf(" **WARNING** THE MINIMUM NUMBER OF COMPLEXES %d IS NOT A VALID CHOICE.\n", st.mings);
    std::printf(" SET IT TO DEFAULT\n");
    st.mings = st.ngs;
    ++warnings;
  }
  if (st.npg < 2 || st.npg > sce_max_points / std::max(st.ngs, 1)) {
    std::printf(" **WARNING** THE NUMBER OF POINTS IN A COMPLEX %d IS NOT\n", st.npg);
    std::printf(" A VALID CHOICE, SET IT TO DEFAULT\n");
    st.npg = 2 * st.nopt + 1;
    ++warnings;
  }
  if (st.nps < 2 || st.nps > st.npg || st.nps > 50) {
    std::printf(" **WARNING** THE NUMBER OF POINTS IN A SUB-COMPLEX %d IS NOT\n", st.nps);
    std::printf(" A VALID CHOICE, SET IT TO DEFAULT\n");
    // A sub-complex is drawn from one complex: it cannot hold more points.
    st.nps = std::min(st.nopt + 1, st.npg);
    ++warnings;
  }
  if (st.nspl < 1) {
    std::printf(" **WARNING** THE NUMBER OF EVOLUTION STEPS TAKEN IN EACH COMPLEX\n");
    std::printf(" BEFORE SHUFFLING %d IS NOT A VALID CHOICE, SET IT TO DEFAULT\n", st.nspl);
    st.nspl = st.npg;
    ++warnings;
  }
  if (static_cast<long>(st.npg) * st.ngs > sce_max_points) {
    std::printf(" **WARNING** THE NUMBER OF POINTS IN INITIAL POPULATION %ld EXCEED\n",
                static_cast<long>(st.npg) * st.ngs);
    std::printf(" THE POPULATION LIMIT.  SET NGS TO 2, AND NPG, NPS AND NSPL TO DEFAULTS\n");
    st.ngs = 2;
    st.npg = 2 * st.nopt + 1;
    st.nspl = 2 * st.nopt + 1;
    st.nps = st.nopt + 1;
    ++warnings;
  }
  if (warnings > 0) std::printf(" *** TOTAL NUMBER OF WARNING MESSAGES IS %d\n", warnings);
  return warnings;
}

bool sce_files_apart(const sce_state& st, const std::string& input_file, const std::string& output_file) {
  const std::pair<const char*, const std::string*> inputs[] = {{"the SCE input file", &input_file},
                                                               {"the project file", &st.project_file},
                                                               {"the replacement-parameter list", &st.list_file},
                                                               {"the observation file", &st.obs_file}};
  bool ok = true;
  // The later files of the search carry the run-number prefix of the model
  // runs; the output file is written before any.
  const std::string out_key = file_comparison_key(output_file, "w");
  for (const auto& [what, name] : inputs) {
    if (name->empty() || file_comparison_key(*name, "r") != out_key) continue;
    std::printf("Error: %s %s is the file %s that the SCE calibration writes; nothing is written.\n", what,
                name->c_str(), output_file.c_str());
    ok = false;
  }
  return ok;
}

void sce_setup(sce_state& st, const std::string& input_file, const std::string& output_file) {
  file_wrapper in;
  if (!in.open(input_file, "r")) {
    std::printf("Can't open SCE input file %s\n", input_file.c_str());
    st.setup_ok = 0;
  } else if (scein(st, in) == -1) {
    st.setup_ok = 0;
  } else {
    st.setup_ok = sce_check_settings(st) == -1 ? 0 : 1;
  }
  // The files the calibration writes before its first model run must not be
  // any file it reads: nothing is written when one is.
  if (!sce_files_apart(st, input_file, output_file)) {
    st.setup_ok = 0;
    in.close();
    return;
  }
  st.output_open = 1;
  if (!st.output_file.open(output_file, "w")) {
    std::printf("Can't open output file %s\n", output_file.c_str());
    st.setup_ok = 0;
  }
  in.close();
}

void sce_teardown(sce_state& st) {
  for (dvec* v : {&st.start, &st.lower, &st.upper, &st.x_max, &st.x_min, &st.x_mean, &st.bestx}) v->reset();
  st.output_file.close();
  st.log_file.close();
  st.objective.destroy();
}

int run_sce_calibration(const std::string& sce_input_file, const run_plan* plan) {
  sce_state st;
  sce_setup(st, sce_input_file, "sce_output.out");
  st.objective.plan = plan;
  if (st.objective.read_observations(st.obs_file) == -1) {
    print_observation_file_error(st.obs_file);
    sce_teardown(st);
    return 0;
  }
  // The list must give one pair per parameter before any model runs.
  if (st.setup_ok && !list_matches_parameters(st.list_file, list_file_keys(st.list_file), st.nopt)) {
    sce_teardown(st);
    return 0;
  }
  if (st.setup_ok && !calibration_project_opens(st.project_file, sce_input_file)) {
    sce_teardown(st);
    return 0;
  }
  st.objective_callback = model_run_objective;
  int result = sceua(st);
  if (result > 0 && !calibration_has_results(st.objective)) result = 0;
  if (result <= 0) {
    std::printf("Error: unable to successfully run the SCE method\n");
  } else {
    file_wrapper best;
    best.open("sce_best.out", "w");
    std::printf("The best results of the SCE calibration after %d runs:\n", result);
    if (best.fp) std::fprintf(best.fp, "The best results of the SCE calibration %d runs:\n", result);
    for (long k = 1; k <= st.nopt && k <= st.bestx.size(); ++k) {
      if (best.fp) std::fprintf(best.fp, "%le\n", st.bestx[k]);
      std::printf("%le\n", st.bestx[k]);
    }
  }
  sce_teardown(st);
  return result > 0 ? 1 : 0;
}

}  // namespace kavro
