// The infiltration step (declared with the other loop steps in
// subsurface_steps.h) and its exfiltration pass.
#pragma once

namespace kavro {

struct main_state;

// The infiltration method whose soil drives the exfiltration.
enum class exfil_method { redistribution, multi_layer, richards };

// Groundwater standing above the ground seeps onto the surface of every cell
// that may exfiltrate (yes_exfil), and, with groundwater simulated, ponds over
// a lower water table leak into the ground; `elapsed_s` seconds, cells in
// order. Books gw_exfil_depth, vol_exfil_total and the held-depth totals.
void exfiltration_pass(main_state& ms, exfil_method method, double elapsed_s);

}  // namespace kavro
