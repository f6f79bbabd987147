// The kavro program: a watershed simulation run from a project file.
#include <cstdlib>

#include "framework/program_entry.h"

namespace {

// Threads that wait for work sleep instead of spinning, unless the user chose
// otherwise with OMP_WAIT_POLICY: on a machine whose cores are busy with
// other work, spinning threads take the cores from the threads that still
// compute, and a small project then runs many times slower than on one
// thread. The OpenMP runtime reads its settings when it is loaded, before any
// constructor of the program runs; this function runs earlier still, from the
// program's pre-initialisation array, which the loader calls before it
// initialises any shared library.
void wait_passively_by_default(int, char**, char**) {
  if (std::getenv("OMP_WAIT_POLICY") == nullptr) setenv("OMP_WAIT_POLICY", "passive", 0);
}

__attribute__((section(".preinit_array"), used)) void (*const preinit_wait_policy)(int, char**, char**) =
    wait_passively_by_default;

}  // namespace

int main(int argc, char** argv) { return kavro::kavro_main(argc, argv); }
