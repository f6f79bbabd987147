#include "framework/main_state_lifecycle.h"

#include "framework/main_state.h"

namespace kavro {

void main_state_init(main_state&) {}
void main_state_destroy(main_state&) {}

}  // namespace kavro
