#include "calibration/template_instruction_files.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "calibration/pest_control.h"
#include "calibration/pest_text.h"

namespace kavro {

namespace {

// Everything left in an open stream, from its start.
std::string slurp(file_wrapper& f) {
  std::rewind(f.fp);
  std::string bytes;
  char buffer[8192];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, f.fp)) > 0) bytes.append(buffer, got);
  return bytes;
}

std::string lower_case(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string upper_case(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool is_number_char(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' || c == 'E' || c == 'e';
}

// Opens files 1..n of a kind; on a failure closes what it opened.
template <class Name>
int open_all(int n, pest_file_handles& files, std::string_view mode, std::string_view kind, Name name_of) {
  for (int i = 1; i <= n; ++i) {
    const std::string name = name_of(i);
    if (!files[static_cast<std::size_t>(i)].open(name, mode)) {
      std::printf("Error: cannot open the %.*s file %s named in the control file.\n", static_cast<int>(kind.size()),
                  kind.data(), name.c_str());
      for (int k = 1; k < i; ++k) files[static_cast<std::size_t>(k)].close();
      return 1;
    }
  }
  return 0;
}

// First parameter named by the lower-case form of a field, else by the
// upper-case form; 0 when none.
int field_parameter(const pest_control& pc, const std::string& field) {
  const std::string lower = lower_case(field);
  const std::string upper = upper_case(field);
  for (int k = 1; k <= pc.npar; ++k)
    if (pc.pars[k].name == lower) return k;
  for (int k = 1; k <= pc.npar; ++k)
    if (pc.pars[k].name == upper) return k;
  return 0;
}

}  // namespace

int pest_open_templates(pest_control& pc, pest_file_handles& template_files) {
  if (pc.ntplfle > max_pest_files) {
    std::printf("\n");
    std::printf("Currently, slm_dwo does not support more than 25 template files.\n");
    std::printf("Please modify and recompile the code to accomodate the unusually large number of template files.\n");
    std::printf("\n");
    return 1;
  }
  return open_all(pc.ntplfle, template_files, "rb", "template", [&](int i) { return pc.templates[i].tpl_file; });
}

int pest_open_instructions(pest_control& pc, pest_file_handles& instruction_files) {
  if (pc.ninsfle > max_pest_files) {
    std::printf("\n");
    std::printf("Currently, the Toolbox does not support more than 25 instruction files.\n");
    std::printf("Please recompile the code to accomodate the unusually large number of instruction files.\n");
    std::printf("\n");
    return 1;
  }
  return open_all(pc.ninsfle, instruction_files, "r", "instruction", [&](int i) { return pc.instructions[i].ins_file; });
}

int pest_close_templates(pest_control& pc, pest_file_handles& template_files) {
  for (int i = 1; i <= pc.ntplfle && i <= max_pest_files; ++i) template_files[static_cast<std::size_t>(i)].close();
  return 0;
}

int pest_close_instructions(pest_control& pc, pest_file_handles& instruction_files) {
  for (int i = 1; i <= pc.ninsfle && i <= max_pest_files; ++i) instruction_files[static_cast<std::size_t>(i)].close();
  return 0;
}

int pest_read_templates(pest_control& pc, pest_file_handles& template_files) {
  for (int i = 1; i <= pc.ntplfle && i <= max_pest_files; ++i) {
    template_rec& t = pc.templates[i];
    file_wrapper& f = template_files[static_cast<std::size_t>(i)];
    const std::string bytes = f.is_open() ? slurp(f) : std::string();
    const std::size_t first_end = bytes.find('\n');
    const std::size_t body = first_end == std::string::npos ? bytes.size() : first_end + 1;
    const std::string_view header = std::string_view(bytes).substr(0, body);
    if (!f.is_open() || header.size() < 5 || (header[0] != 'p' && header[0] != 'j') || header[1] != 't' ||
        header[2] != 'f') {
      std::printf("\n");
      std::printf("%s is not a valid PEST template file.\n", t.tpl_file.c_str());
      std::printf("\n");
      return 1;
    }
    const char marker = header[4];
    t.marker_positions.clear();
    for (std::size_t k = body; k < bytes.size(); ++k)
      if (bytes[k] == marker) t.marker_positions.push_back(static_cast<long>(k + 1));
    const int n_fields = static_cast<int>(t.marker_positions.size() / 2);
    try {
      t.field_par_index.allocate(n_fields);
    } catch (const std::bad_alloc&) {
      std::printf("Not enough memory to allocate buffer");
      std::printf("\n");
      return 1;
    }
    for (int l = 1; l <= n_fields; ++l) {
      // From the opening marker through the closing one.
      const std::size_t s = static_cast<std::size_t>(t.marker_positions[static_cast<std::size_t>(2 * l - 2)]);
      const std::size_t e = static_cast<std::size_t>(t.marker_positions[static_cast<std::size_t>(2 * l - 1)]);
      std::string field;
      for (std::size_t k = s - 1; k < e; ++k)
        if (bytes[k] != marker && bytes[k] != ' ') field += bytes[k];
      t.field_par_index[l] = field_parameter(pc, field);
    }
    t.n_fields = n_fields;
  }
  return 0;
}

namespace {

// Moves a cursor through a model output file by the instructions of one
// instruction file.
class instruction_reader {
 public:
  instruction_reader(pest_control& pc, const instruction_rec& rec, std::string ins, std::string out, int kind)
      : pc_(pc), rec_(rec), ins_(std::move(ins)), out_(std::move(out)), kind_(kind) {}

  int run() {
    const std::size_t first_end = ins_.find('\n');
    const std::string_view header = std::string_view(ins_).substr(0, first_end);
    if (header.size() < 5 || (header[0] != 'p' && header[0] != 'j') || header[1] != 'i' || header[2] != 'f')
      return fail(1, "the first line must begin \"pif\" or \"jif\" and name the marker character in column 5");
    marker_ = header[4];
    if (first_end == std::string::npos) return 0;
    ip_ = first_end + 1;
    line_ = 2;
    while (ip_ < ins_.size()) {
      const int at_line = line_;
      const char c = take_ins();
      const int rc = instruction(c, at_line);
      if (rc != 0) return rc;
    }
    return 0;
  }

 private:
  char take_ins() {
    const char c = ins_[ip_++];
    if (c == '\n') ++line_;
    return c;
  }
  // Instruction text up to (not including) `stop`, which is consumed.
  std::optional<std::string> ins_text_until(char stop) {
    std::string text;
    while (ip_ < ins_.size()) {
      const char c = take_ins();
      if (c == stop) return text;
      text += c;
    }
    return std::nullopt;
  }
  // A count written up to the next blank; a line end does not end it, the
  // end of the file does.
  std::optional<int> ins_count() {
    std::string text;
    while (ip_ < ins_.size()) {
      const char c = take_ins();
      if (c == ' ') break;
      text += c;
    }
    while (!text.empty() && is_blank_char(text.back())) text.pop_back();
    return parse_whole_int(text);
  }

  int fail(int at_line, const std::string& what) const {
    std::printf("Error in instruction file %s, line %d: %s.\n", rec_.ins_file.c_str(), at_line, what.c_str());
    return 1;
  }

  void store(int at_obs, double value) {
    obs_rec& o = pc_.obs[at_obs];
    if (kind_ == 0) o.simulated = value;
    if (kind_ == 1) o.simulated_2 = value;
    if (kind_ == 2) o.simulated_3 = value;
  }

  // The observation named as written, in lower case or in upper case.
  int find_obs(const std::string& name) const {
    const std::string lower = lower_case(name);
    const std::string upper = upper_case(name);
    for (int k = 1; k <= pc_.nobs; ++k) {
      const std::string& n = pc_.obs[k].name;
      if (n == name || n == lower || n == upper) return k;
    }
    return 0;
  }

  // Cursor to the start of the next output line.
  void next_out_line() {
    const std::size_t nl = out_.find('\n', op_);
    op_ = nl == std::string::npos ? out_.size() : nl + 1;
  }

  int instruction(char c, int at_line) {
    if (c == '\n') {
      next_out_line();
      return 0;
    }
    if (c == marker_) return primary_marker(at_line);
    switch (c) {
      case 'l': {
        const std::optional<int> n = ins_count();
        if (!n || *n < 1) return fail(at_line, "expected a line count of 1 or more after \"l\"");
        std::size_t start = op_;
        for (int k = 1; k <= *n; ++k) {
          if (op_ >= out_.size())
            return fail(at_line, "the model output file " + rec_.model_output_file + " ends before line advance l" +
                                     std::to_string(*n));
          start = op_;
          next_out_line();
        }
        op_ = start;
        return 0;
      }
      case 'w':
        while (op_ < out_.size() && out_[op_++] != ' ') {
        }
        while (op_ < out_.size() && out_[op_] == ' ') ++op_;
        return 0;
      case 't': {
        const std::optional<int> n = ins_count();
        if (!n) return fail(at_line, "expected a character count after \"t\"");
        if (*n >= 1) op_ = std::min(out_.size(), op_ + static_cast<std::size_t>(*n));
        return 0;
      }
      case '[':
        return fixed_observation(at_line);
      case '(':
        std::printf("Semi-fixed observations are currently not supported with the calibration toolbox.\n");
        std::printf("Modify the instruction file(s) accordingly and rerun the toolbox.\n");
        std::fflush(stdout);
        std::exit(1);
      case '!':
        return free_observation(at_line);
      default:
        return 0;
    }
  }

  int primary_marker(int at_line) {
    const std::optional<std::string> text = ins_text_until(marker_);
    if (!text) return fail(at_line, "the file ends inside a marker text");
    for (;;) {
      if (op_ >= out_.size())
        return fail(at_line, "the marker text \"" + *text + "\" was not found in the model output file " +
                                 rec_.model_output_file);
      const std::size_t nl = out_.find('\n', op_);
      const std::size_t end = nl == std::string::npos ? out_.size() : nl + 1;
      const std::size_t hit = std::string_view(out_).substr(op_, end - op_).find(*text);
      if (hit != std::string_view::npos) {
        op_ += hit + text->size();
        return 0;
      }
      op_ = end;
    }
  }

  // The observation of a name that ends with `close`; 0 after the message.
  int observation(int at_line, char close, std::string& name) {
    const std::optional<std::string> text = ins_text_until(close);
    if (!text) {
      fail(at_line, "the file ends inside an observation name");
      return 0;
    }
    name = *text;
    const int k = find_obs(name);
    if (k == 0) fail(at_line, "the observation \"" + name + "\" is not in the control file");
    return k;
  }

  int fixed_observation(int at_line) {
    std::string name;
    const int k = observation(at_line, ']', name);
    if (k == 0) return 1;
    const std::optional<std::string> first = ins_text_until(':');
    const std::optional<int> c1 = first ? parse_whole_int(*first) : std::nullopt;
    if (!c1) return fail(at_line, "expected the first column of [" + name + "] before \":\"");
    while (ip_ < ins_.size() && is_number_char(ins_[ip_])) ++ip_;
    if (ip_ < ins_.size()) take_ins();  // the character after the last column
    if (*c1 >= 2) {
      op_ = std::min(out_.size(), op_ + static_cast<std::size_t>(*c1 - 2));
    } else if (*c1 <= 0 && op_ > 0) {
      --op_;
    }
    const char* begin = out_.c_str() + op_;
    char* end = nullptr;
    const double value = std::strtod(begin, &end);
    if (end == begin || !std::isfinite(value))
      return fail(at_line, "no finite number for observation \"" + name + "\" in the model output file " +
                               rec_.model_output_file);
    op_ += static_cast<std::size_t>(end - begin);
    store(k, value);
    while (op_ < out_.size() && (out_[op_] == ' ' || out_[op_] == '\r')) ++op_;
    if (op_ < out_.size() && out_[op_] == '\n') ++op_;
    return 0;
  }

  int free_observation(int at_line) {
    std::string name;
    const int k = observation(at_line, '!', name);
    if (k == 0) return 1;
    while (op_ < out_.size() && out_[op_] == ' ') ++op_;
    std::string number;
    while (op_ < out_.size() && is_number_char(out_[op_])) number += out_[op_++];
    const double value = number.empty() ? 0.0 : std::strtod(number.c_str(), nullptr);
    if (!std::isfinite(value))
      return fail(at_line, "the value \"" + number + "\" of observation \"" + name + "\" is not finite");
    store(k, value);
    return 0;
  }

  pest_control& pc_;
  const instruction_rec& rec_;
  std::string ins_;  // the instruction file
  std::string out_;  // the model output file
  int kind_;
  char marker_ = 0;
  std::size_t ip_ = 0;  // next character of the instruction file
  std::size_t op_ = 0;  // cursor in the model output file
  int line_ = 1;        // instruction line of ip_
};

}  // namespace

int pest_read_instructions(pest_control& pc, int i, int read_kind, pest_file_handles& instruction_files) {
  if (i < 1 || i > pc.ninsfle || i > max_pest_files) return 1;
  const instruction_rec& rec = pc.instructions[i];
  file_wrapper& ins = instruction_files[static_cast<std::size_t>(i)];
  if (!ins.is_open()) {
    std::printf("Error: the instruction file %s is not open.\n", rec.ins_file.c_str());
    return 1;
  }
  file_wrapper out;
  if (!out.open(rec.model_output_file, "rb")) {
    std::printf("Error: cannot open the model output file %s read by instruction file %s.\n",
                rec.model_output_file.c_str(), rec.ins_file.c_str());
    return 1;
  }
  instruction_reader reader(pc, rec, slurp(ins), slurp(out), read_kind);
  return reader.run();
}

}  // namespace kavro
