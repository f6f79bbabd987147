// Exchange of the aquifer with the channel nodes that run through river
// cells and with the channel lakes over lake cells, and the coupling that
// moves those exchanges while the channel routing does not run.
#pragma once

namespace kavro {

struct main_state;

// What the last exchange found, as kept in chan_gw_exchange_state.
inline constexpr int exchange_none = 0;     // no node exchanges water
inline constexpr int exchange_gaining = 1;  // the aquifer feeds some node
inline constexpr int exchange_losing = 2;   // only nodes holding water lose to the ground

// Seepage rates for the current heads and channel state: lake_gw_flux of
// every cell (with lake_loss_on), qriv of every node and gst_qriv of every
// grid-stream entry (with stream_loss_on), in m2/s, positive into the
// surface water. Returns exchange_none, exchange_gaining or exchange_losing;
// exchange_none after a top-width table number outside the tables (printed,
// code 4000 reported).
int stream_aquifer_exchange(main_state& ms);

// Conductivity of the bed under lake cell `cell` (m/s), from the soil of
// the infiltration method in use; 0 without one.
double lake_bed_conductivity(const main_state& ms, long cell);

// Moves dt s of seepage between channel lake `lake` and the ground under its
// inundated cells at their lake_gw_flux rates: into the lake volume, its
// in/out volumes and lake_source (and lake_loss_cell when
// `keep_for_constituents`). A lake never pays out more than it holds: when
// its losing cells would take more than its water and its gaining cells'
// inflow, every losing cell's volume is cut by the same share.
void lake_seepage(main_state& ms, int lake, double dt, bool keep_for_constituents);

// The groundwater step's coupling with the channels while the channel
// routing does not run (chan_active 0), over a groundwater step of `step` s:
// the exchange; the lake seepage; with only losing nodes, the loss taken
// out of the nodes' water (a node never loses more than it holds) and
// gathered per river cell in stream_gw_cell_vol; with a gaining node, the
// start of the channel routing. An error stop is printed and reported
// (error_rec.stop set): the groundwater step then ends without moving its
// clock. Does nothing once the channels route.
void gw_channel_coupling(main_state& ms, double step);

// Set-up check before the time loop: every river-bed thickness (Mrb) of a
// node that exchanges with the ground and every lake-bed thickness (Mlake)
// of a seeping lake must be above 0; otherwise the message names the place
// and the value and the run stops (code 4000).
void check_exchange_beds(main_state& ms);

}  // namespace kavro
