// The Green-Ampt family of infiltration methods: Green-Ampt, Green-Ampt with
// redistribution and multi-layer Green-Ampt. Each takes ponded water of
// every active cell into the soil over `elapsed_s` seconds, advancing the
// cell's cumulative infiltrated depth `cum_infil` (m) by exactly the depth
// its pond lost, and sets `infil_rate` (cm/h). A held-depth cell keeps its
// depth: what it gave is left in `infil_held_volume` (m3) for the caller.
#pragma once

namespace kavro {

struct main_state;

// A quantity at or below this counts as none (a depth, a rate, a deficit).
inline constexpr double infil_none = 1e-16;
// Newton passes of the Green-Ampt equations before the last iterate is kept;
// converged cases take 2 to 4.
inline constexpr int infil_newton_cap = 100;
// m/s to cm/h.
inline constexpr double m_per_s_to_cm_per_h = 360000.0;

// Conductivity of partly frozen soil: K^w (1e-6)^(1-w), never above K; w is
// the unfrozen share of the soil water in [0, 1].
double frozen_conductivity_blend(double k, double w);

// Cumulative infiltration F (m) that a Green-Ampt soil of conductivity `k`
// (m/s) and suction deficit `pd` (m) reaches from `f0` after `dt` seconds of
// ponding, by Newton's method from f0 + 0.001 m.
double green_ampt_depth(double k, double pd, double f0, double dt);

// Green-Ampt over all cells (lengths in m, times in s).
void green_ampt_step(main_state& ms, double elapsed_s);

// Green-Ampt with redistribution of cell j; `call` is the event's call
// number of the method (infil_step).
void inf_redist_cell(main_state& ms, long j, double elapsed_s, int call);
// Green-Ampt with redistribution over all cells.
void inf_redist_step(main_state& ms, double elapsed_s);

// Multi-layer Green-Ampt of cell j (lengths in cm, times in h inside);
// returns false when the new depth is not a number.
bool mlga_cell(main_state& ms, long j, double elapsed_s);
// Multi-layer Green-Ampt over all cells; cells whose new depth is not a
// number are reported on the console after the loop, in cell order.
void mlga_step(main_state& ms, double elapsed_s);

}  // namespace kavro
