// Channel routing: node flows and structures, the explicit predictor-
// corrector scheme, the lateral exchange with the cells and stream
// capturing by channel lakes. All of it runs on one thread inside the
// channel routing step.
#pragma once

#include "framework/one_based.h"

namespace kavro {

struct main_state;
struct hydraulic_structure;

// Signed flows (m3/s, positive from level a to level b) of one structure
// element between the upstream level a and the downstream level b (m).
double weir_flow(const hydraulic_structure& e, double a, double b);
double sag_weir_flow(const hydraulic_structure& e, double a, double b);

// Discharge of every node of every link into `q` from the flow areas
// `areas` (their sections already computed), for a sub-step of dt_sub s.
// Scheduled releases on links without upstream links add flow * dt_sub to
// `release_vol`. Returns 0, or -1 after an outlet-link error (printed,
// code 4000 set).
int ex_boundary_flows(main_state& ms, dmat& q, dmat& areas, double dt_sub, double& release_vol);

// Routes the network over chan_dt s. Returns -1 after an error stop,
// otherwise the state of the stream-aquifer exchange (0 while it does not
// run). Sets chan_outflow_vol and chan_release_vol, adds the lateral
// volumes and the water entering at node 1 of first-order links and from
// POINTSOURCE series to their run totals.
int ex_flow_route(main_state& ms, double chan_dt);

// Books the water that every channel lake exchanged with the cells since
// the last booking (lake_in_dv, lake_out_dv) into the lake and run totals
// and clears it. True when some lake took in more than 1e-16 m3, or gave
// more than that (with `outflow_needs_water`, only a lake still holding more
// than 1e-8 m3 counts as giving). Nothing without channel lakes.
bool book_lake_exchange(main_state& ms, bool outflow_needs_water);

// Lets channel lakes capture the nodes their cells flood and release the
// nodes they leave. Returns -1 after an error stop, else 0.
int stream_capture(main_state& ms);

// The water a lateral exchange traded with boundary cells whose depth the
// boundary sets (m3, positive): it enters or leaves the model there. And the
// lumped basin models' outflow it put into qlat over the step (m3): the
// channel routing books it as lateral inflow with the rest of qlat; this
// copy only says how much of that came from the lumped models.
struct lateral_exchange_volumes {
  double into_channel = 0;  // given to the channels by such cells
  double onto_cells = 0;    // spilled from the channels onto such cells
  double from_lumped = 0;   // Sacramento and conceptual groundwater outflow delivered
};

// Lateral exchange between the cells along the channels and the channel
// nodes over dt seconds: the exchange flows go into qlat (m2/s, positive
// into the channel) and gst_qlat (m3/s per grid-stream element), and the
// cells' depths change by them. The outflow of the lumped basin models
// (Sacramento, conceptual groundwater) joins qlat by its link weights; the
// channel routing books all of qlat once, as lateral inflow and outflow; the
// caller books the returned volumes into their own run totals.
lateral_exchange_volumes chan_lateral_inflow(main_state& ms, double dt);

// Whether the lateral exchange takes entry k of grid-stream cell i: an
// entry on a lake, structure or captured link, on a lake cell or on a node a
// lake has taken over exchanges nothing. The lumped models' channel weights
// cover only these entries, so that all their outflow reaches a channel.
bool lateral_inflow_visits(const main_state& ms, int i, int k);

// End of a channel step in a long-term run between rain events: sets the
// next channel interval from what still moves water, or lets routing sleep
// until the end of the rain period when nothing does and the outlet is dry.
void adapt_channel_interval(main_state& ms);

// Drowned-weir reduction for the submergence ratio raised to 1.5.
double submergence_factor(double r);

// Sets the outlet node to the boundary depth (from the series at `now`
// when one is given). Always 0.
int apply_stream_head_boundary(main_state& ms);

}  // namespace kavro

namespace kavro {
// Flow of one culvert element (types 3 to 5) of structure link `link`
// between levels a and b: calibrates the element's inlet coefficient, then
// evaluates the barrel. -9999.99 after a failure (printed, code 4000).
double culvert_structure_flow(hydraulic_structure& e, double a, double b, int link);
}  // namespace kavro
