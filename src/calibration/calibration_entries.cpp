#include "calibration/calibration_entries.h"

#include <cstdio>

namespace kavro {

namespace {

// The global searches need the search iterations, which are not built yet.
int not_built(int argc, char** argv) {
  std::printf("Error: the option %s is not built yet.\n", argc > 1 ? argv[1] : "");
  return 1;
}

}  // namespace

int run_multistart(int argc, char** argv) { return not_built(argc, argv); }
int run_trajectory_repulsion(int argc, char** argv) { return not_built(argc, argv); }
int run_mlsl(int argc, char** argv) { return not_built(argc, argv); }

}  // namespace kavro
