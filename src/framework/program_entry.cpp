#include "framework/program_entry.h"

namespace kavro {

int kavro_main(int, char**) { return 0; }

}  // namespace kavro
