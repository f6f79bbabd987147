// Replacement pairs: keys in square brackets substituted into input lines.
#pragma once

namespace kavro {

class file_wrapper;

extern int replace_on;
extern int replace_line;
void print_replace_usage(file_wrapper& log, int tool_mode);

}  // namespace kavro
