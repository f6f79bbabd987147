// Text layout, one item per line, values written as the shortest text that
// reads back to the same double:
//   "ov_toggle k", "ov_route_count k", "ade_change_factor x",
//   "ade_ok_steps k", "ade_prev_substep x" (s), "explicit_sweep_toggle k",
//   "explicit_reduced_step x" (s), "explicit_reduced_calls k",
//   "explicit_reduced_active k", then "face_flows n" and n lines "qx qy"
//   (m3/s per cell; n is 0 when the solver has not routed yet).
#include "overland/overland_solver_state.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/number_text.h"
#include "framework/readers.h"
#include "input/setup_lines.h"

namespace kavro {

namespace {

void put_exact(std::string& line, double v) {
  char text[32];
  line.append(text, std::to_chars(text, text + sizeof text, v).ptr);
}

// The scalar items, in file order; each is a whole number or a real.
struct item {
  const char* name;
  int main_state::*whole;
  double main_state::*real;
};

constexpr item items[] = {
    {"ov_toggle", &main_state::ov_toggle, nullptr},
    {"ov_route_count", &main_state::ov_route_count, nullptr},
    {"ade_change_factor", nullptr, &main_state::ade_change_factor},
    {"ade_ok_steps", &main_state::ade_ok_steps, nullptr},
    {"ade_prev_substep", nullptr, &main_state::ade_prev_substep},
    {"explicit_sweep_toggle", &main_state::explicit_sweep_toggle, nullptr},
    {"explicit_reduced_step", nullptr, &main_state::explicit_reduced_step},
    {"explicit_reduced_calls", &main_state::explicit_reduced_calls, nullptr},
    {"explicit_reduced_active", &main_state::explicit_reduced_active, nullptr},
};
constexpr int n_items = sizeof items / sizeof items[0];

bool refuse(const std::string& name, int line_no, const std::string& why) {
  print_message("Error in overland solver state file %s, line %d: %s\n", name.c_str(), line_no, why.c_str());
  error_rec.code = already_printed_code;
  report_error(error_rec);
  return false;
}

// The next line of f, counted; false (refused) at the end of the file.
bool next_line(file_wrapper& f, const std::string& name, int& line_no, std::string& line) {
  ++line_no;
  if (read_line(line, f)) return true;
  return refuse(name, line_no, "the file ends early");
}

// "<key> <whole number>" or "<key> <real>" of item `it` into the buffers.
bool read_item(file_wrapper& f, const std::string& name, int& line_no, const item& it, int& whole, double& real) {
  std::string line, token;
  if (!next_line(f, name, line_no, line)) return false;
  if (!pop_token(line, token) || token != it.name)
    return refuse(name, line_no, format_string("\"%s\" where \"%s\" belongs", printable(token).c_str(), it.name));
  const number_fault fault = it.whole ? pop_whole(line, whole, token, 0) : pop_real(line, real, token);
  if (fault != number_fault::none)
    return refuse(name, line_no, std::string(it.name) + ": " + number_fault_text(fault, token, 0));
  return true;
}

}  // namespace

std::string overland_state_name(const std::string& map_name) { return map_name + ".ovs"; }

bool write_overland_solver_state(const main_state& ms, const std::string& map_name) {
  file_wrapper out;
  if (!out.open(overland_state_name(map_name), "w")) return false;
  std::string text;
  for (const item& it : items) {
    text += it.name;
    text += ' ';
    if (it.whole)
      text += std::to_string(ms.*it.whole);
    else
      put_exact(text, ms.*it.real);
    text += '\n';
  }
  const long n = ms.ov_qx.size() == ms.n_cells && ms.ov_qy.size() == ms.n_cells ? ms.n_cells : 0;
  text += "face_flows " + std::to_string(n) + '\n';
  std::fputs(text.c_str(), out.fp);
  for (long i = 1; i <= n; ++i) {
    text.clear();
    put_exact(text, ms.ov_qx[i]);
    text += ' ';
    put_exact(text, ms.ov_qy[i]);
    text += '\n';
    std::fputs(text.c_str(), out.fp);
  }
  out.close();
  return true;
}

void read_overland_solver_state(main_state& ms, const std::string& map_name) {
  const std::string name = overland_state_name(map_name);
  if (!std::filesystem::is_regular_file(expected_file_name(name, "r"))) {
    print_load_line(ms, format_string("no overland solver state beside the overland hotstart (%s): "
                                      "the overland solver starts afresh\n",
                                      name.c_str()));
    return;
  }
  print_load_line(ms, format_string("reading overland solver state from file: %s\n", name.c_str()));
  file_wrapper f;
  if (!f.open(name, "r")) return;
  // Everything is read before anything is set: a damaged file changes nothing.
  int whole[n_items] = {};
  double real[n_items] = {};
  int line_no = 0;
  for (int k = 0; k < n_items; ++k)
    if (!read_item(f, name, line_no, items[k], whole[k], real[k])) return;
  std::string line, token;
  if (!next_line(f, name, line_no, line)) return;
  int n = 0;
  if (!pop_token(line, token) || token != "face_flows") {
    refuse(name, line_no, format_string("\"%s\" where \"face_flows\" belongs", printable(token).c_str()));
    return;
  }
  const number_fault count_fault = pop_whole(line, n, token, 0, static_cast<int>(ms.n_cells));
  if (count_fault != number_fault::none || (n != 0 && n != ms.n_cells)) {
    refuse(name, line_no,
           count_fault != number_fault::none
               ? "the count of face flows: " + number_fault_text(count_fault, token, 0, ms.n_cells)
               : format_string("%d face flows for a watershed of %ld cells", n, static_cast<long>(ms.n_cells)));
    return;
  }
  dvec qx{"ov_qx"}, qy{"ov_qy"};
  if (n > 0) {
    qx.allocate(n);
    qy.allocate(n);
  }
  for (long i = 1; i <= n; ++i) {
    if (!next_line(f, name, line_no, line)) return;
    for (double* v : {&qx[i], &qy[i]}) {
      const number_fault fault = pop_real(line, *v, token);
      if (fault != number_fault::none) {
        refuse(name, line_no, format_string("the face flow of cell %ld: ", i) + number_fault_text(fault, token));
        return;
      }
    }
  }
  for (int k = 0; k < n_items; ++k) {
    if (items[k].whole)
      ms.*items[k].whole = whole[k];
    else
      ms.*items[k].real = real[k];
  }
  if (n > 0) {
    ms.ov_qx = std::move(qx);
    ms.ov_qy = std::move(qy);
  }
}

}  // namespace kavro
