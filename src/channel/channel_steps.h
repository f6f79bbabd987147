// Channel network and pipe network steps of the time loop and their set-up.
#pragma once

namespace kavro {

struct main_state;

// Grid set-up: reads the channel input file and joins the network to the grid.
void setup_channel(main_state& ms);
// Grid set-up: the link and node each cell drains to (conceptual groundwater runs).
void read_link_map(main_state& ms);
// Parts of the channel set-up.
void read_chan_hotstart(main_state& ms);
void setup_grid_stream(main_state& ms);
void cconnect(main_state& ms);
void write_short_links(const main_state& ms);
void write_bad_thalweg(const main_state& ms);
// Grid set-up of the superlink pipe network.
void setup_superlink(main_state& ms);
// Grid set-up of the drain pipe network.
void setup_drain_network(main_state& ms);
// Joins the superlink outlets to channel nodes.
void connect_superlink_outlets(main_state& ms);
// Joins the drain outlets to channel nodes and superjunctions.
void connect_drain_outlets(main_state& ms);
// Start-of-run channel state: head boundaries, sections, volumes, point sources.
void init_channel_run(main_state& ms);
// Drain network and tile drains.
void tile_drain_step(main_state& ms);
// Superlink pipe network solver.
void superlink_step(main_state& ms);
// Explicit channel routing with lateral inflow and channel lakes.
void chan_route_step(main_state& ms);
// Channel point-source inputs.
void chan_point_input_step(main_state& ms);

}  // namespace kavro
