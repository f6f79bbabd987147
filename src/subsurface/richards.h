// The soil columns of the Richards infiltration method.
#pragma once

namespace kavro {

struct main_state;

// Carries every Richards soil column over `elapsed_s` seconds; returns the
// depth (m, summed over the cells) that left the surface upwards.
double richards_step(main_state& ms, double elapsed_s);

}  // namespace kavro
