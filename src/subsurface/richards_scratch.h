// Work vectors of one thread's Richards column solve.
#pragma once

#include <vector>

namespace kavro {

// Nodes 0..n of the column being solved; sized once per run for the longest
// column, so that the solve allocates nothing.
struct richards_scratch {
  std::vector<double> phead_old;            // heads at the start of the sub-step (cm)
  std::vector<double> theta_substep_start;  // moisture at the start of the sub-step
  std::vector<double> phead_prev_pass;      // heads of the previous pass (cm)
  std::vector<double> interface_k;          // conductivity of the interface above each node (cm/h)
  std::vector<double> sup, diag, sub, rhs;  // the tridiagonal system of the pass

  void size_for(long highest_node) {
    const auto n = static_cast<std::size_t>(highest_node) + 1;
    for (auto* v : {&phead_old, &theta_substep_start, &phead_prev_pass, &interface_k, &sup, &diag, &sub, &rhs})
      v->assign(n, 0.0);
  }
  long capacity() const { return static_cast<long>(rhs.size()) - 1; }
};

}  // namespace kavro
