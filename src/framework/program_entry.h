// Program entry: the command line, the run modes and web mode.
#pragma once

#include <string>

namespace kavro {

// The process entry; returns the exit status.
int kavro_main(int argc, char** argv);

}  // namespace kavro
