#include "calibration/calibration_entries.h"

namespace kavro {

int run_slm(int, char**) { return 0; }
int run_multistart(int, char**) { return 0; }
int run_trajectory_repulsion(int, char**) { return 0; }
int run_mlsl(int, char**) { return 0; }

}  // namespace kavro
