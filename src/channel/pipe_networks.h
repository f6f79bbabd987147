// The two pipe networks: the superlink network (an implicitly solved network
// of superjunctions joined by chains of pipe reaches) and the drain network
// (junctions that pass what they take in at once to their outlets). Their
// set-up and loop steps are declared in channel_steps.h; these are the parts
// they share with each other, with the channel routing and with tests.
#pragma once

#include <string>

#include "framework/one_based.h"

namespace kavro {

class file_wrapper;
struct main_state;
struct drain_network;
struct pipe_network_cards;

// Junction type codes of both pipe files.
inline constexpr int outlet_to_channel = 999;     // outlet into a channel node (i = link, j = node)
inline constexpr int outlet_to_cell = 888;        // outlet onto the junction's overland cell
inline constexpr int outlet_to_superlink = 666;   // drain outlet into a superjunction (i = its number)
inline constexpr int fixed_head_type = 11;        // from this type on a junction holds a fixed head

// A grate inlet (1 to 9 grates, 10 takes all the cell's water).
inline bool is_inlet_type(int type) { return type >= 1 && type <= 10; }
// A junction whose head is held at its invert: the outlets and types 11 and above.
inline bool holds_fixed_head(int type) { return type >= fixed_head_type; }
// An outlet of either network.
inline bool is_outlet_type(int type) {
  return type == outlet_to_channel || type == outlet_to_cell || type == outlet_to_superlink;
}

// Reads the superlink pipe file (and, with leaky pipes, its grid pipe file)
// into the superlink block, checking the network against the grid and the
// channel network. 0, -1 after a pipe error or -9 after a grid-pipe format
// error (all printed).
int read_superlink_file(main_state& ms, file_wrapper& pipe_file, file_wrapper& grid_file);

// The same for the drain network and its record.
int read_drain_file(main_state& ms, drain_network& d, file_wrapper& pipe_file, file_wrapper& grid_file);

// The active cell at grid row i, column j; 0 off the grid or outside the watershed.
long pipe_cell_at(const main_state& ms, long i, long j);

// The cell a 999 outlet stands in: that of the first (or, with `last`, the
// last) grid-stream element of its channel link and node; 0 when none.
long outlet_stream_cell(const main_state& ms, int link, int node, bool last);

// The refusals shared by both networks' junction cards: cells of inlets and
// 888 outlets on the grid, 999 outlets on a routed channel node, no outlet at
// a link's upstream end. False after printing them.
bool check_pipe_junctions(const main_state& ms, const pipe_network_cards& cards, const char* network);

// What one superlink step moved (m3) and where water arrived.
struct superlink_step_volumes {
  double taken = 0.0;         // from cells through junction and node inlets
  double given = 0.0;         // onto cells: 888 outlets and surcharge releases
  double to_channel = 0.0;    // into channel nodes through 999 outlets
  double from_drains = 0.0;   // from the drain network (666 outlets)
  double from_tiles = 0.0;    // from groundwater through tile drains
  bool reached_channel = false;  // an outlet passed more than 1e-8 m3/s to a channel node
  bool reached_cell = false;     // water went onto a cell
  int substeps = 0;              // sub-steps of the step
};

// The superlink solver for one step of dt s (call number `call`, 0 at the
// first call, which makes the working arrays). Works on ov_depth itself and
// records each cell's exchange in superlink_cell_vol. Returns 0, or -1 after
// a NaN outlet flow (code 4000) or a singular junction matrix (code 134).
int superlink_route(main_state& ms, int call, double dt, superlink_step_volumes& out);

// The sub-step of a superlink step of dt s under a Courant limit of
// `courant_s` s: the limit when it is shorter than the step, but never below
// 1 s; the whole step otherwise.
double superlink_substep(double courant_s, double dt);
// Sub-step s after `total` s of the step: the rest of the step when what
// would be left after s is shorter than half a sub-step.
double superlink_substep_clip(double s, double dt, double total);

// Network volume now: water in the pipe reaches and nodes plus the storage
// of the junctions that do not hold a fixed head (m3).
double superlink_network_volume(const main_state& ms);

// The superjunction matrix F and right-hand side of sub-step s from the
// end-flow relations of the superlinks (made by each sub-step of
// superlink_route before it factors F in place).
void assemble_junction_matrix(main_state& ms, double s);

// LU decomposition with partial pivoting (implicit row scaling) of the n x n
// matrix `a` in place, with the row permutation in `pivot`; `scale` is work
// space of n + 1 cells. -1 when a row is all zero (printed), else 0.
int ludcmp_pzq(dmat& a, int n, ivec& pivot, dvec& scale);
// Forward and back substitution with the factors of ludcmp_pzq: `b` holds the
// right-hand side and receives the solution.
void lubksb(const dmat& a, int n, const ivec& pivot, dvec& b);

// One drain step of dt s on the drain record: inlets, tiles, routing to the
// outlets. `ov_depth` is lowered by what inlets take and raised by releases
// and 888 returns; `taken` receives the volume inlets took from cells (m3).
// 0, or -1 after a NaN outflow (code 300 reported).
int drain_flows(drain_network& d, double dt, dvec& ov_depth, double cell_size, int max_nodes_per_link,
                int high_head_release_on, double& taken);

// The pipe outlets (999) of both networks at each channel node slot, made
// once after both networks are joined to the channels.
void index_pipe_outlets(main_state& ms);

// Water the pipe outlets at node `node` of link `link` pour into the node over
// dt s of a channel routing interval: the share dt / chan_dt of what they
// passed since the last routing (m3).
double pipe_outlet_inflow(const main_state& ms, int link, int node, double dt);

// After a channel routing: books what the pipe outlets passed to the channels
// (vol_superlink_to_channel and the drains' drain_to_chan sums) and empties
// their volumes; an outlet whose node a channel lake now holds gives its water
// to the lake.
void book_pipe_outflows(main_state& ms);

// When water from a pipe network reaches the surface of a long-term run
// outside a runoff period, the period opens, as rain would open it.
void open_runoff_period(main_state& ms);
// When water from a pipe network reaches a channel that is not routed now,
// the channel routing starts.
void start_channel_routing(main_state& ms);

}  // namespace kavro
