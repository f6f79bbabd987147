#include "input/option_checks.h"

#include "framework/main_state.h"

namespace kavro {

void check_project_options(main_state&) {}

}  // namespace kavro
