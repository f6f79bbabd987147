// The overland constituent transport: the cell budget that releases the
// pending sources and sinks, the two-direction advection-dispersion sweeps
// and the booking of each step's budget terms.
#pragma once

namespace kavro {

struct main_state;

// Releases the pending amounts of constituent i at cell j over x seconds
// (accumulators lose what they release) and answers the net source rate
// (g/s). Each budget term of the cell goes to terms[t * stride].
double ov_cell_contam_budget(main_state& ms, int i, long j, double x, double* terms, long stride);
// One direction of the transport of constituent i over x seconds on the work
// vectors: `y` across the faces between rows (flows ov_qy), else between
// columns (ov_qx).
void ov_contam_sweep(main_state& ms, int i, bool y, double x);
// Both directions, in the order ov_contam_toggle gives (1: rows first).
void ov_contam_transport_cells(main_state& ms, int i, double x);
// Adds the step terms of constituent i to their run, event and watershed
// totals (kg) and clears them.
void book_ov_step_budget(main_state& ms, int i);

}  // namespace kavro
