#include "input/setup_lines.h"

#include <cstdio>

#include "framework/main_state.h"
#include "framework/run_globals.h"

namespace kavro {

bool setup_console_on(const main_state& ms) {
  return ms.quiet == 0 && run_context.process_rank == 0 && ms.tool_mode != 1;
}

void print_setup_line(main_state& ms, std::string_view text) {
  if (setup_console_on(ms)) std::fwrite(text.data(), 1, text.size(), stdout);
  if (ms.fs_summary.is_open()) std::fwrite(text.data(), 1, text.size(), ms.fs_summary.fp);
}

void print_load_line(main_state& ms, std::string_view text) {
  if (ms.quiet == 0 && run_context.process_rank == 0) std::fwrite(text.data(), 1, text.size(), stdout);
  if (ms.fs_summary.is_open()) std::fwrite(text.data(), 1, text.size(), ms.fs_summary.fp);
}

}  // namespace kavro
