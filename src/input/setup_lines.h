// Progress lines of the grid set-up: the console hears them unless the run is
// quiet, a tool-mode run or not the first process; the run log always does.
#pragma once

#include <string_view>

namespace kavro {

struct main_state;

// True when set-up lines go to the console (quiet 0, process rank 0, tool_mode not 1).
bool setup_console_on(const main_state& ms);

// Writes `text` literally to the console (when setup_console_on) and to the run log when it is open.
void print_setup_line(main_state& ms, std::string_view text);

// The same for the lines that a tool-mode run still shows on the console
// (quiet and a process rank other than 0 silence them).
void print_load_line(main_state& ms, std::string_view text);

}  // namespace kavro
