// Exchange between the aquifer and the leaky pipes (tile drains) of the two
// pipe networks. Each network lends the exchange a view of its pipes and
// accumulators; the exchange adds the inflow of every pipe crossing below
// the water table to them.
#pragma once

#include "framework/one_based.h"

namespace kavro {

struct main_state;

// One pipe network as the tile exchange sees it. Node tables are
// [node][link]; the grid pipe tables list the pipe entries of each cell a
// leaky pipe crosses.
struct tile_network_view {
  int n_junctions = 0;                  // junctions of the network
  int n_links = 0;                      // links (superlinks) of the network
  const ivec* nnodes = nullptr;         // [link] pipe count as read
  const imat* node_gnum = nullptr;      // [node][link] active cell of each node
  const dmat* node_invert = nullptr;    // [node][link] invert (m)
  const dmat* node_depth = nullptr;     // [node][link] water depth (m)
  const dmat* pipe_length = nullptr;    // [pipe][link] length of the pipe as read, which the grid pipe shares divide (m)
  const dmat* diameter = nullptr;       // [pipe][link] diameter (m)
  const dmat* spacing = nullptr;        // [pipe][link] drain spacing (m)
  const dmat* conductivity = nullptr;   // [pipe][link] conductivity (cm/h)
  const dmat* multiplier = nullptr;     // [pipe][link] tile-flow multiplier
  int gpi_num_cells = 0;                // cells of the grid pipe file
  const ivec* gpi_ncellsingrid = nullptr;  // [cell of the file] pipe entries
  const imat* gpi_link = nullptr;       // [cell][entry] link
  const imat* gpi_node = nullptr;       // [cell][entry] node
  const imat* gpi_gnum = nullptr;       // [cell][entry] active cell
  const dmat* gpi_pct = nullptr;        // [cell][entry] share of the pipe in the cell
  int c_opt_on = 0;                     // 1 when nodes were refined (superlink network with SUPERLINK_C_OPT)
  const imat* otc_node = nullptr;       // [file node][link] computational node, with c_opt_on
  const imat* otc_pipe = nullptr;       // [file pipe][link] computational pipe, with c_opt_on
  dvec* cell_tile_flow = nullptr;       // [cell] tile inflow accumulator (m3/s)
  dmat* pipe_tile_flow = nullptr;       // [pipe][link] tile inflow accumulator (m3/s)
};

// Adds the aquifer's inflow into the pipes of `net` to its accumulators.
// Returns 1 when some pipe lies below the water table (also after a failure,
// which leaves code 131 or 133 in the error record), else 0.
int gw_tile_exchange(main_state& ms, tile_network_view& net);

}  // namespace kavro
