// The card records filled by the project-file reader: project_params (every
// value and file name of the project cards), run_params (run control) and
// rain_params (rain options).
#pragma once

#include <string>

namespace kavro {

struct project_params_record {
  int use_analyzers = 0;
  std::string analyzers;
};
struct run_params_record {};
struct rain_params_record {};

}  // namespace kavro
