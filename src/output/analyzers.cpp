#include "output/analyzers.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/readers.h"

namespace kavro {

namespace {

// The longest definition line an analyzer file may hold.
constexpr std::size_t max_definition_length = 1023;

// A timed test is due when the run's time has reached its due time up to
// round-off of the step sum (0.01 s).
constexpr double due_tolerance_days = 0.01 / 86400.0;

// Prints an analyzer set-up error; the run goes on and ends with an error.
template <typename... Args>
void analyzer_error(const char* format, Args... args) {
  std::printf(format, args...);
  note_error_run_goes_on(error_rec);
}

}  // namespace

int parse_analyzer_type(std::string& line) {
  std::string token;
  pop_token(line, token);
  if (token.starts_with("2DG")) return 0;
  if (token.starts_with("1DS")) return 1;
  if (token.starts_with("2DS")) return 2;
  if (token.starts_with("NSM_OV")) return 3;
  if (token.starts_with("NSM_ST")) return 4;
  if (token.starts_with("NSM_SL")) return 5;
  return -1;
}

int parse_operator_code(const std::string& token) {
  static constexpr struct {
    const char* text;
    int code;
  } codes[] = {{"<=", op_le}, {">=", op_ge}, {"==", op_eq}, {"<", op_lt}, {">", op_gt},
               {"+", op_add}, {"-", op_subtract}, {"*", op_multiply}, {"\\", op_divide}};
  for (const auto& c : codes)
    if (token.starts_with(c.text)) return c.code;
  return op_none;
}

int parse_event_letters(const std::string& letters) {
  int mask = 0;
  for (char c : letters) {
    switch (c) {
      case 't': mask |= analyzer_step_done; break;
      case 'E': mask |= analyzer_event_read; break;
      case 'e': mask |= analyzer_event_ended; break;
      case 'S': mask |= analyzer_run_initialised; break;
      case 's': mask |= analyzer_normal_end; break;
      case 'c': mask |= analyzer_error_end; break;
      default: break;
    }
  }
  return mask;
}

int parse_output_letters(const std::string& letters) {
  int flags = 0;
  for (char c : letters) {
    switch (c) {
      // Of the two layouts the later letter wins.
      case 't': flags = (flags | out_list) & ~out_table; break;
      case 'v': flags = (flags | out_table) & ~out_list; break;
      case 's': flags |= out_console; break;
      case 'f': flags |= out_file; break;
      case 'c': flags |= out_count; break;
      case 'd': flags |= out_values; break;
      default: break;
    }
  }
  return flags;
}

void analyzer::on_event(main_state&, int mask) {
  const int m = event_mask & mask;
  if ((m & analyzer_step_done) && now_ptr != nullptr && *now_ptr >= next_test_time - due_tolerance_days) {
    // The next test counts from this one, not from the time it was due.
    next_test_time = *now_ptr + test_interval;
    run_test(mask);
  } else if (m & (analyzer_event_read | analyzer_event_ended | analyzer_run_initialised | analyzer_normal_end |
                  analyzer_error_end)) {
    run_test(mask);
  }
}

void analyzer::run_test(int mask) {
  if (op == nullptr || !op->bound()) return;
  switch (kind) {
    case op_lt: op->test_lt(threshold); break;
    case op_gt: op->test_gt(threshold); break;
    case op_eq: op->test_eq(threshold); break;
    case op_le: op->test_le(threshold); break;
    case op_ge: op->test_ge(threshold); break;
    default: return;  // no comparison: never tests, never reports
  }
  op->report(output_flags, mask, output);
}

void analyzer::parse_definition(main_state& ms, std::string line) {
  std::string token;
  pop_token(line, token);
  create_op(ms, token);
  token.clear();
  pop_token(line, token);
  event_mask = parse_event_letters(token);
  token.clear();
  pop_token(line, token);
  kind = parse_operator_code(token);
  threshold = 0.0;
  if (pop_double(line, threshold) != 1) threshold = 0.0;
  token.clear();
  pop_token(line, token);
  output_flags = parse_output_letters(token);
  if (event_mask & analyzer_step_done) {
    int seconds = 0;
    if (pop_int(line, seconds) != 1) seconds = 0;
    now_ptr = &ms.now;
    test_interval = seconds / 86400.0;
    next_test_time = ms.now;
  }
  if (output_flags & out_file) {
    output_name.clear();
    pop_token(line, output_name);
    open_output();
  }
}

void analyzer::open_output() {
  if (output.open(output_name, "w")) return;
  std::printf("Warning: the analyzer output file %s cannot be opened: the analyzer writes no file.\n",
              output_name.c_str());
}

void stanalyzer_2dst::create_op(main_state& ms, const std::string& target) {
  op2d = std::make_unique<st2d_logical_OP>();
  bind_array(target, ms);
  op2d->init(values, ms.LINKS, &ms.nx, ms.max_nodes_per_link, &ms.now, target);
  op = op2d.get();
}

void stanalyzer_2dst::bind_array(const std::string& target, main_state& ms) {
  std::string name = target;
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  values = nullptr;
  if (name.starts_with("depth")) {
    values = &ms.yp;
    op2d->set_operand(op_subtract, &ms.bel);
  } else if (name.starts_with("area")) {
    values = &ms.area;
  } else if (name.starts_with("flow")) {
    values = &ms.qp;
  }
}

void stanalyzer_1dst::create_op(main_state& ms, const std::string& target) {
  op1d = std::make_unique<st1d_logical_OP>();
  bind_array(target, ms);
  op1d->init(values, extent, ms.LINKS, &ms.nx, ms.max_nodes_per_link, &ms.now, target);
  op = op1d.get();
}

void stanalyzer_1dst::bind_array(const std::string& target, main_state& ms) {
  values = nullptr;
  extent = 0;
  std::string rest = target;
  for (char& c : rest)
    if (c == '_') c = ' ';
  std::string name;
  int index = 0;
  pop_token(rest, name);
  if (pop_int(rest, index) != 1) index = 0;
  if (ms.n_constituents == 0) {
    analyzer_error("Error: Setting up 1DS analyzer when no constituents are being modeled.\n");
    return;
  }
  if (index < 1 || index > ms.n_constituents) {
    analyzer_error("Error: 1DS Analyzer for %s with index %d is out of range. Range for index is %d to %d.\n",
                   name.c_str(), index, 1, static_cast<int>(ms.n_constituents));
    return;
  }
  const double* row = nullptr;
  long row_extent = 0;
  const auto cell_row = [&](const checked_array_2d<double>& a) {
    if (index <= a.size()) {
      row = a.row(index);
      row_extent = a.cols();
    }
  };
  const auto node_row = [&](const dmat& m) {
    if (!m.empty() && index <= m.size1()) {
      row = m[index];
      row_extent = m.size2();
    }
  };
  if (name.starts_with("conc")) cell_row(ms.ov_constituent_conc);
  else if (name.starts_with("mass")) cell_row(ms.ov_constituent_mass);
  else if (name.starts_with("pointconc")) node_row(ms.chan_point_conc);
  else if (name.starts_with("qlatconc")) node_row(ms.conc_qlat);
  else if (name.starts_with("qlatmass")) node_row(ms.chan_qlat_mass);
  else if (name.starts_with("gwmass")) node_row(ms.chan_gw_mass);
  else if (name.starts_with("nsmsource")) node_row(ms.chan_nsm_source);
  // A row that does not hold every link and node position is not bound.
  if (row == nullptr || !flattened_fits(row_extent, ms.LINKS, ms.nx, ms.max_nodes_per_link)) {
    analyzer_error("Error: unable to find 1DS array [%s]\n", name.c_str());
    return;
  }
  values = row;
  extent = row_extent;
}

void read_analyzer_file(main_state& ms, const std::string& file) {
  // No file: no analyzers, and nothing said.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(expected_file_name(file, "r"), ec)) return;
  file_wrapper in;
  if (!in.open(file, "r")) return;
  std::string line;
  int count = 0;
  for (long number = 1; read_line(line, in) == 1; ++number) {
    if (line.size() > max_definition_length) {
      analyzer_error("Error: line %ld of the analyzer file %s holds %zu characters, more than %zu: the line is "
                     "skipped.\n",
                     number, in.name.c_str(), line.size(), max_definition_length);
      continue;
    }
    if (line.empty() || line.front() == '#') continue;
    std::string rest = line;
    std::unique_ptr<analyzer> a;
    switch (parse_analyzer_type(rest)) {
      case 1: a = std::make_unique<stanalyzer_1dst>(); break;
      case 2: a = std::make_unique<stanalyzer_2dst>(); break;
      default: continue;
    }
    a->parse_definition(ms, rest);
    ms.analyzer_list.push_back(std::move(a));
    ++count;
  }
  if (!ms.quiet && !ms.quiet_on) std::printf("Set up %d analyzers...\n", count);
}

void notify_analyzers(main_state& ms, int mask) {
  for (auto& a : ms.analyzer_list) a->on_event(ms, mask);
}

}  // namespace kavro
