#include "output/analyzer_operators.h"

#include <algorithm>
#include <cstdio>

#include "framework/file_wrapper.h"
#include "framework/run_clock.h"

namespace kavro {

bool flattened_fits(long extent, int links, const ivec& nx, int stride) {
  if (links > nx.size() || stride < 1) return false;
  for (int l = 1; l <= links; ++l)
    if (nx[l] >= stride || nx[l] + static_cast<long>(l) * stride > extent) return false;
  return true;
}

void logical_OP::init_common(int n_links, const ivec* nx, int positions, const double* now,
                             const std::string& name) {
  links = n_links;
  nodes_per_link = nx;
  stride = positions;
  now_ptr = now;
  array_name = name;
  const size_t cells = static_cast<size_t>(std::max(positions, 0)) * static_cast<size_t>(std::max(n_links, 0) + 1);
  result.assign(cells, 0);
  computed.assign(cells, 0.0);
}

template <typename Compare>
int logical_OP::run(Compare passes, const char* format, double x) {
  char text[64];
  std::snprintf(text, sizeof text, format, x);
  op_text = text;
  test_time = now_ptr != nullptr ? *now_ptr : 0.0;
  if (!bound() || nodes_per_link == nullptr) return 0;
  int any = 0;
  for (int l = 1; l <= links; ++l) {
    const long base = static_cast<long>(l) * stride;
    for (int n = 1; n <= (*nodes_per_link)[l]; ++n) {
      const double v = node_value(l, n);
      // A NaN compares false with everything: it passes no test.
      const char pass = passes(v, x) ? 1 : 0;
      result[static_cast<size_t>(base + n)] = pass;
      computed[static_cast<size_t>(base + n)] = v;
      any |= pass;
    }
  }
  return any;
}

int logical_OP::test_lt(double x) { return run([](double v, double t) { return v < t; }, "< %4.6lf", x); }
int logical_OP::test_le(double x) { return run([](double v, double t) { return v <= t; }, "<= %4.6lf", x); }
int logical_OP::test_gt(double x) { return run([](double v, double t) { return v > t; }, "> %4.6lf", x); }
int logical_OP::test_ge(double x) { return run([](double v, double t) { return v >= t; }, ">= %4.6lf", x); }
int logical_OP::test_eq(double x) { return run([](double v, double t) { return v == t; }, "== %4.6lf", x); }

void logical_OP::emit(int flags, file_wrapper& out, const char* text) {
  if ((flags & out_file) && out.is_open()) std::fputs(text, out.fp);
  if (flags & out_console) std::fputs(text, stdout);
}

void logical_OP::report(int flags, int mask, file_wrapper& out) {
  if (!(flags & (out_file | out_console)) || !bound() || nodes_per_link == nullptr) return;
  const calendar_instant t = calendar_date(test_time);
  char date[96];
  std::snprintf(date, sizeof date, "%02d-%02d-%4d, %d:%d:%2.0lf", t.month, t.day, t.year, t.hour, t.minute,
                t.seconds);
  const char* phrase = "%s";
  if (mask & 1) phrase = "%s";
  else if (mask & 2) phrase = "the beginning of an event at %s";
  else if (mask & 4) phrase = "the end of an event at %s";
  else if (mask & 8) phrase = "the beginning of the simulation at %s";
  else if (mask & 16) phrase = "the end of simulation at %s";
  else if (mask & 32) phrase = "the program crash point at %s";
  char moment[160];
  std::snprintf(moment, sizeof moment, phrase, date);
  // The header is built in a buffer kept from report to report.
  std::string& header = report_text;
  header.assign(flags & out_count ? "\n\nResults for logic test of the 2D stream array " : "\n\nValues in the 2D stream array ");
  header.append(array_name).append(" at ").append(moment);
  if (flags & out_count) header.append(".  Nodes with values ").append(op_text).append(":\n");
  else header.append(": \n");
  emit(flags, out, header.c_str());
  char piece[96];
  int passed = 0, counted = 0;
  for (int l = 1; l <= links; ++l) {
    if (flags & out_table) {
      std::snprintf(piece, sizeof piece, "%4d:", l);
      emit(flags, out, piece);
    }
    const long base = static_cast<long>(l) * stride;
    for (int n = 1; n <= (*nodes_per_link)[l]; ++n) {
      ++counted;
      const bool pass = result[static_cast<size_t>(base + n)] != 0;
      const double v = computed[static_cast<size_t>(base + n)];
      passed += pass ? 1 : 0;
      if (flags & out_list) {
        if (!pass) continue;
        std::snprintf(piece, sizeof piece, "Link %3d, Node %3d", l, n);
        emit(flags, out, piece);
        if (flags & out_values) std::snprintf(piece, sizeof piece, ":  %14.6lf\n", v);
        else std::snprintf(piece, sizeof piece, "\n");
      } else if (flags & (out_count | out_values)) {
        std::snprintf(piece, sizeof piece, pass ? "[T, %6.4lf]" : "[F, %6.4lf]", v);
      } else {
        std::snprintf(piece, sizeof piece, pass ? "T" : "F");
      }
      emit(flags, out, piece);
    }
    if (flags & out_table) emit(flags, out, "\n");
  }
  if (flags & out_count) {
    std::snprintf(piece, sizeof piece, "====> %d out of %d nodes passed the logic test.\n", passed, counted);
    emit(flags, out, piece);
  }
}

void st1d_logical_OP::init(const double* row, long extent, int n_links, const ivec* nx, int positions,
                           const double* now, const std::string& name) {
  init_common(n_links, nx, positions, now, name);
  // A row that does not hold every link and node is never read.
  values = row != nullptr && nx != nullptr && flattened_fits(extent, n_links, *nx, positions) ? row : nullptr;
}

void st2d_logical_OP::init(const dmat* matrix, int n_links, const ivec* nx, int positions, const double* now,
                           const std::string& name) {
  init_common(n_links, nx, positions, now, name);
  values = nullptr;
  if (matrix == nullptr || nx == nullptr || n_links > matrix->size2() || n_links > nx->size()) return;
  for (int l = 1; l <= n_links; ++l)
    if ((*nx)[l] > matrix->size1() || (*nx)[l] >= positions) return;
  values = matrix;
}

void st2d_logical_OP::set_operand(int code, const dmat* second) {
  operand_code = code;
  operand = second;
}

double st2d_logical_OP::operand_value(int l, int n) {
  double v = (*values)[n][l];
  // A second matrix smaller than the first leaves the value as it is.
  if (operand != nullptr && n <= operand->size1() && l <= operand->size2()) {
    const double w = (*operand)[n][l];
    switch (operand_code) {
      case op_add: v += w; break;
      case op_subtract: v -= w; break;
      case op_multiply: v *= w; break;
      case op_divide: v = w == 0.0 ? 9999.99 : v / w; break;
      default: break;
    }
  }
  computed[static_cast<size_t>(static_cast<long>(l) * stride + n)] = v;
  return v;
}

}  // namespace kavro
