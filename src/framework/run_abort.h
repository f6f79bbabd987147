// Thrown where a run cannot go on at all (an allocation that failed after its
// message was printed). The run driver catches it and ends the run as after a
// stop: files closed, record released, timing lines written.
#pragma once

#include <exception>

namespace kavro {

struct run_aborted : std::exception {
  const char* what() const noexcept override { return "run aborted"; }
};

}  // namespace kavro
