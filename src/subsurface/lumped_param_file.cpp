#include "subsurface/lumped_param_file.h"

#include <cstdio>

#include "framework/file_wrapper.h"
#include "framework/number_text.h"
#include "framework/readers.h"

namespace kavro {

param_file_cards read_param_cards(file_wrapper& f, const std::string& name, const param_file_layout& layout) {
  param_file_cards out;
  std::string line, token;
  int line_no = 0;
  // The header: the first token of the file, on its first line with a token.
  bool have_header = false;
  while (!have_header && read_line(line, f)) {
    ++line_no;
    if (!pop_token(line, token)) continue;
    have_header = token.compare(0, layout.header.size(), layout.header) == 0;
    if (!have_header) break;
  }
  if (!have_header) {
    out.fault = param_file_fault::header;
    return out;
  }
  while (out.n_params < layout.params_wanted) {
    if (!read_line(line, f)) {
      out.fault = param_file_fault::premature_end;
      return out;
    }
    ++line_no;
    if (!pop_token(line, token)) continue;
    const int code = layout.code_of(token);
    const bool counts = layout.is_parameter(code), whole = layout.is_whole(code);
    if (!counts && !whole) continue;
    std::string text;
    double v = 0.0;
    int iv = 0;
    const number_fault fault = whole ? pop_whole(line, iv, text) : pop_real(line, v, text);
    if (fault != number_fault::none) {
      std::printf("Error in the parameter file %s, line %d, card %s: %s.\n", name.c_str(), line_no, token.c_str(),
                  number_fault_text(fault, text).c_str());
      out.fault = param_file_fault::bad_value;
      return out;
    }
    const auto k = static_cast<std::size_t>(code);
    out.value[k] = whole ? iv : v;
    if (counts) {
      ++out.seen[k];
      ++out.n_params;
    }
  }
  for (int s : out.seen)
    if (s > 1) out.fault = param_file_fault::duplicate;
  return out;
}

}  // namespace kavro
