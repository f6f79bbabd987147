// The operators of the stream analyzers: each holds the channel array its
// analyzer watches, compares every computational node of every link with a
// threshold and writes the report of the last comparison.
#pragma once

#include <string>
#include <vector>

#include "framework/one_based.h"

namespace kavro {

class file_wrapper;

// Codes of an analyzer's operator token; codes 5 to 9 never test, and 5 to
// 8 also name how a two-dimensional operator combines its array with a
// second one.
inline constexpr int op_lt = 0, op_gt = 1, op_eq = 2, op_le = 3, op_ge = 4;
inline constexpr int op_add = 5, op_subtract = 6, op_multiply = 7, op_divide = 8, op_none = 9;

// Output letters of an analyzer, as bits.
inline constexpr int out_list = 1;     // 't': only the passing nodes, one line each
inline constexpr int out_table = 2;    // 'v': one row per link
inline constexpr int out_console = 4;  // 's'
inline constexpr int out_file = 8;     // 'f'
inline constexpr int out_count = 16;   // 'c': results header and pass count
inline constexpr int out_values = 32;  // 'd': show the values

// True when positions 1..nx[l] + l * stride of every link l = 1..links lie
// within 0..extent, and no link has stride or more nodes.
bool flattened_fits(long extent, int links, const ivec& nx, int stride);

// The comparison and report shared by both operators. A test visits link l
// = 1..links, node n = 1..nx[l]; node (l, n) keeps its result and the value
// it was tested with at n + l * stride.
class logical_OP {
 public:
  virtual ~logical_OP() = default;
  int test_lt(double x);
  int test_le(double x);
  int test_gt(double x);
  int test_ge(double x);
  int test_eq(double x);
  // The report of the last test, to the file with 'f' (when it is open) and
  // to the console with 's'; `mask` (the notification) names the moment.
  void report(int flags, int mask, file_wrapper& out);
  // True when the operator watches an array: one that does not never tests.
  virtual bool bound() const = 0;

  const double* now_ptr = nullptr;  // the run's current time (Julian days)
  double test_time = 0.0;           // time of the last test (Julian days)
  std::string op_text;              // comparison of the last test, "> 1.500000"
  std::string array_name;           // the analyzer's target token as written
  int links = 0;                    // channel links tested
  const ivec* nodes_per_link = nullptr;  // computational nodes of each link, 1-based
  int stride = 0;                        // positions per link in `result` and `computed`
  std::vector<char> result;              // [n + l * stride] 1 when the node passed the last test
  std::vector<double> computed;          // [n + l * stride] the value the node was tested with
  std::string report_text;               // buffer of the report header, kept from report to report

 protected:
  // Sizes the result tables for `links` links of `stride` positions.
  void init_common(int n_links, const ivec* nx, int positions, const double* now, const std::string& name);
  // The value of node n of link l now.
  virtual double node_value(int l, int n) = 0;

 private:
  template <typename Compare>
  int run(Compare passes, const char* format, double x);
  void emit(int flags, file_wrapper& out, const char* text);
};

// Operator on one row of a channel constituent array, flattened as
// n + l * stride.
class st1d_logical_OP : public logical_OP {
 public:
  // `row` holds positions 0..`extent`; null when no array was bound.
  void init(const double* row, long extent, int n_links, const ivec* nx, int positions, const double* now,
            const std::string& name);
  bool bound() const override { return values != nullptr; }

  const double* values = nullptr;

 protected:
  double node_value(int l, int n) override { return values[n + static_cast<long>(l) * stride]; }
};

// Operator on a [node][link] channel matrix, optionally combined with a
// second one (the depth is the water surface minus the bed).
class st2d_logical_OP : public logical_OP {
 public:
  void init(const dmat* matrix, int n_links, const ivec* nx, int positions, const double* now,
            const std::string& name);
  void set_operand(int code, const dmat* second);
  bool bound() const override { return values != nullptr; }
  // The combined value of node n of link l.
  double operand_value(int l, int n);

  const dmat* values = nullptr;
  const dmat* operand = nullptr;
  int operand_code = op_none;

 protected:
  double node_value(int l, int n) override { return operand_value(l, n); }
};

}  // namespace kavro
