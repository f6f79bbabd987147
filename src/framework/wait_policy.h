// The wait policy of the program's threads: threads that wait for work sleep
// instead of spinning, unless the user chose otherwise with OMP_WAIT_POLICY.
// On a machine whose cores are busy with other work, spinning threads take
// the cores from the threads that still compute, and a small project then
// runs many times slower than on one thread.
//
// The OpenMP runtime reads its settings when it is loaded, before any
// constructor of the program runs. An executable calls this function from
// its pre-initialisation array, which the loader runs before it initialises
// any shared library:
//   __attribute__((section(".preinit_array"), used))
//   void (*const wait_policy_entry)(int, char**, char**) = kavro::wait_passively_by_default;
#pragma once

#include <cstdlib>

namespace kavro {

inline void wait_passively_by_default(int, char**, char**) {
  if (std::getenv("OMP_WAIT_POLICY") == nullptr) setenv("OMP_WAIT_POLICY", "passive", 0);
}

}  // namespace kavro
