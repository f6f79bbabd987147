// The kavro program: a watershed simulation run from a project file.
#include "framework/program_entry.h"
#include "framework/wait_policy.h"

// Threads sleep while they wait, unless OMP_WAIT_POLICY says otherwise.
__attribute__((section(".preinit_array"), used)) void (*const kavro_wait_policy)(int, char**, char**) =
    kavro::wait_passively_by_default;

int main(int argc, char** argv) { return kavro::kavro_main(argc, argv); }
