// The pipe-network and channel blocks of the run record: the superlink pipe
// network, the drain network, the channel network with its cross sections
// and output locations, and the channel lakes and hydraulic structures.
//
// Links are numbered from 1 to LINKS, lakes from 1 to n_lakes; per-link and
// per-lake vectors are 1-based. A per-node matrix is indexed [node][link]
// with max_nodes_per_link rows. Lengths and elevations in m, areas in m2,
// discharges in m3/s, volumes in m3.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "framework/file_wrapper.h"
#include "framework/one_based.h"

namespace kavro {

struct elev_series;  // named elevation series (process-wide list)
struct time_series;  // named time series (process-wide list)

// The drain network (card STORM_DRAIN): junctions joined by links of pipes
// with interior nodes. It holds no water: at every drain step what its inlets
// and tiles take in passes at once, link by link in number order, to an
// outlet: a channel node (999), an overland cell (888) or a superjunction
// (666). Junctions J = n_junctions, links L = n_links; per-junction and
// per-link vectors from 1; [node][link] tables with nodes 1..nnodes + 1.
// Made by the drain set-up in every run; its arrays only with STORM_DRAIN.
struct drain_network {
  int tile_drains_on = 0;         // 1 when some pipe conductivity exceeds 1e-16 (pipes take groundwater)
  int tile_result = 0;            // result of the last tile exchange of the drains (0 none or no water table)
  int max_pipes = 0;              // largest pipe count of a link
  int n_junctions = 0;            // SJUNC lines
  int n_links = 0;                // CONNECT lines
  int max_dim = 0;                // max(L, J, P) + 1
  ivec us_junc{"us_junc"};        // [link] upstream junction
  ivec ds_junc{"ds_junc"};        // [link] downstream junction
  ivec nnodes{"nnodes"};          // [link] pipe count (nodes 1..nnodes + 1)
  imat sec_type{"sec_type"};      // [pipe][link] section: 1 circle, 2 arch, 3 box
  imat inlet_type{"inlet_type"};  // [node][link] inlet form of each node; row 0 by junction: its type (999, 888, 666 outlets, 1..10 inlets, 0 none, 11+ fixed head)
  ivec bound{"bound"};            // [junction] 1 when the type is 11 or more
  dvec junc_area{"junc_area"};    // [junction] plan area (m2)
  dvec junc_grate_side{"junc_grate_side"};  // [junction] grate side length (m)
  dvec junc_grate_dia{"junc_grate_dia"};    // [junction] grate diameter (m)
  dmat grate_sidelength_node{"grate_sidelength_node"};  // [node][link] grate side length (m)
  dmat grate_dia_node{"grate_dia_node"};    // [node][link] grate diameter (m)
  dmat As{"As"};                  // [node][link] node plan area (m2)
  dvec junc_ground_elev{"junc_ground_elev"};  // [junction] ground elevation (m)
  dvec junc_invert{"junc_invert"};          // [junction] invert elevation (m)
  dvec junc_head{"junc_head"};    // [junction] water level in the junction (m), from the tile exchange; the inlet head
  dmat slink_node_Zinv{"slink_node_Zinv"};  // [node][link] node invert (m)
  dmat slink_node_depth{"slink_node_depth"};  // [node][link] node water depth (m), from the tile exchange
  dmat pipe_dx{"pipe_dx"};        // [pipe][link] pipe length (m)
  dmat M_n{"M_n"};                // [pipe][link] Manning roughness
  dmat S0{"S0"};                  // [pipe][link] pipe slope
  dmat diameter{"diameter"};      // [pipe][link] diameter, rise or height (m)
  dmat width{"width"};            // [pipe][link] span or width (m)
  dmat node_ground_elev{"node_ground_elev"};  // [node][link] ground elevation (m)
  dvec junc_flow{"junc_flow"};    // [junction] flow gathered at the junction in the drain step (m3/s)
  dmat Q_node{"Q_node"};          // [node][link] inlet flow taken at each interior node in the step (m3/s)
  ivec drain_junc_gnum{"drain_junc_gnum"};  // [junction] active cell of the junction, 0 none
  imat node_gnum{"node_gnum"};    // [node][link] active cell of each node, 0 none
  ivec chan_con_node{"chan_con_node"};  // [junction] channel node of a 999 outlet
  ivec chan_con_link{"chan_con_link"};  // [junction] channel link of a 999 outlet
  dvec junc_chan_vol{"junc_chan_vol"};  // [junction] volume passed to the channel node since the last channel routing (m3)
  dvec drain_Q_tile_grid{"drain_Q_tile_grid"};  // [cell] tile inflow from the aquifer (m3/s)
  dvec drain_vol_tile_grid{"drain_vol_tile_grid"};  // [cell] tile inflow volume (m3)
  dmat drain_tile_flow{"drain_tile_flow"};  // [pipe][link] tile inflow of each pipe (m3/s)
  dvec junc_chan_wse{"junc_chan_wse"};  // [junction] channel water surface at a 999 outlet (m)
  imat node_i{"node_i"};          // [node][link] grid row of each node
  imat node_j{"node_j"};          // [node][link] grid column of each node
  ivec junct_i{"junct_i"};        // [junction] grid row; channel link of a 999 outlet; superjunction of a 666 outlet
  ivec junct_j{"junct_j"};        // [junction] grid column; channel node of a 999 outlet
  dmat pipe_conductivity{"pipe_conductivity"};  // [pipe][link] tile conductivity (cm/h)
  dmat spacing{"spacing"};        // [pipe][link] drain spacing (m)
  dmat multiplier{"multiplier"};  // [pipe][link] tile-flow multiplier
  int ov_flow_started = 0;        // 1 when the last drain step put water on the surface
  int chan_flow_started = 0;      // 1 when the last drain step passed water to a channel
  dvec cell_vol{"cell_vol"};      // [cell] inlet exchange of the step (m3, positive taken from the cell)
  int gpi_num_cells = 0;          // PIPECELLS of the drain grid pipe file
  int gpi_max_pipes = 0;          // largest NUMPIPES of that file
  ivec gpi_ncellsingrid{"gpi_ncellsingrid"};  // [grid-pipe cell] pipe entries of the cell
  imat gpi_link{"gpi_link"};      // [grid-pipe cell][entry] link
  imat gpi_node{"gpi_node"};      // [grid-pipe cell][entry] node
  imat gpi_gnum{"gpi_gnum"};      // [grid-pipe cell][entry] active cell
  dmat gpi_pct{"gpi_pct"};        // [grid-pipe cell][entry] share of the pipe in the cell
  dvec junc_ov_vol{"junc_ov_vol"};  // [junction] volume given to the surface in the step (m3): releases and 888 returns
  int started = 0;                // 1 while the drains step at the short interval (from the start or an event start)
  ivec superlink_junc{"superlink_junc"};  // [junction] superjunction fed by a 666 outlet
  ivec superlink_drain_junc{"superlink_drain_junc"};  // [superjunction] drain junction that feeds it
  dvec q_to_superlink{"q_to_superlink"};  // [superjunction] volume passed to it since the superlink step last took it (m3)
  double ov_to_drain_vol = 0;     // event volume taken from overland cells into the drains (m3)
  double drain_to_chan_vol = 0;   // event volume passed from the drains to channels (m3)
  double drain_to_ov_vol = 0;     // event volume returned from the drains onto overland cells (m3)
  double gw_to_drain_vol = 0;     // event volume from groundwater into tile drains (m3)
  double drain_to_superlink_vol = 0;  // event volume passed from the drains to the superlink network (m3)
  double ov_to_drain_total = 0;   // run volume taken from overland cells into the drains (m3)
  double drain_to_chan_total = 0; // run volume passed from the drains to channels (m3)
  double drain_to_ov_total = 0;   // run volume returned from the drains onto overland cells (m3)
  double gw_to_drain_total = 0;   // run volume from groundwater into tile drains (m3)
  double drain_to_superlink_total = 0;  // run volume passed from the drains to the superlink network (m3)
};

// Working arrays and per-run state of the superlink solver, made at its first
// call. Per-superlink tables are [superlink][node]: nodes 1..N + 1 and reaches
// 1..N of a superlink of N reaches, reach i between nodes i and i + 1.
struct superlink_work {
  int made = 0;                    // 1 once the arrays exist
  dmat a{"a"}, b{"b"}, c{"c"};     // [superlink][reach] upwind and diagonal momentum coefficients
  dmat D{"D"}, E{"E"};             // [superlink][node] node continuity coefficients
  dmat O{"O"}, X{"X"}, Y{"Y"}, Z{"Z"};  // [superlink][reach] backward recurrence
  dmat T{"T"}, U{"U"}, V{"V"}, W{"W"};  // [superlink][reach] forward recurrence
  dmat P{"P"};                     // [superlink][reach] momentum right-hand side
  dmat ldepth{"ldepth"};           // [superlink][reach] mean depth of the reach (m)
  dmat Q{"Q"};                     // [superlink][reach] reach flow (m3/s)
  dmat A{"A"};                     // [superlink][reach] flow area (m2)
  dmat hyd_R{"hyd_R"};             // [superlink][reach] hydraulic radius (m)
  dmat top_width{"top_width"};     // [superlink][reach] top width, 0.01 D in a full reach (m)
  dmat wet_per{"wet_per"};         // [superlink][reach] wetted perimeter (m)
  dmat n_veloc{"n_veloc"};         // [superlink][node] node velocity (m/s)
  dmat l_veloc{"l_veloc"};         // [superlink][reach] reach velocity (m/s)
  dmat depth{"depth"};             // [superlink][node] node depth (m)
  ivec numnodes{"numnodes"};       // [superlink] reach count N
  dvec Q_u{"Q_u"}, Q_d{"Q_d"};     // [superlink] end flows (m3/s)
  dvec z_u{"z_u"}, z_d{"z_d"};     // [superlink] end inverts (m)
  dvec alpha_u{"alpha_u"}, beta_u{"beta_u"}, chi_u{"chi_u"};  // [superlink] Q_u = alpha_u Hu + beta_u Hd + chi_u
  dvec alpha_d{"alpha_d"}, beta_d{"beta_d"}, chi_d{"chi_d"};  // [superlink] Q_d likewise
  dvec h_u{"h_u"}, e_u{"e_u"}, f_u{"f_u"};  // [superlink] upstream end depth y1 = h_u Hu + f_u Q_u + e_u
  dvec h_d{"h_d"}, e_d{"e_d"}, f_d{"f_d"};  // [superlink] downstream end likewise
  dvec storage_change{"storage_change"};  // [superlink] sum over the step's sub-steps of S (Q_u - Q_d) (m3)
  dmat end_depths{"end_depths"};   // [superlink][0..3] last critical and normal depth at the upstream (0, 1) and downstream (2, 3) end (m)
  dvec junc_inflow{"junc_inflow"};  // [junction] inlet, drain and tile inflow of the step (m3/s)
  dvec bound_head{"bound_head"};   // [junction] fixed head of a junction with bound 1 (m)
  ivec end_first{"end_first"};     // [junction 1..J+1] first entry of the superlinks that end at the junction (from 1)
  ivec end_list{"end_list"};       // [entry] those superlinks
  dmat F{"F"};                     // [junction][junction] junction matrix, factored in place by the solve
  dvec rhs{"rhs"};                 // [junction] its right-hand side; the new heads after the solve
  ivec pivot{"pivot"};             // [junction] row permutation of the factors
  dvec scale{"scale"};             // [junction] implicit row scaling of the factorisation
  double courant_s = 1e5;          // Courant limit of the last state (s)
  double initial_volume = 0;       // network volume at the second call (m3)
};
// One channel pump of a PUMPTO card. The records are owned by the run
// (chan_pumps); the chain through `next` runs from the newest record to the
// oldest. No routing step reads them yet.
struct chan_pump {
  double rate = 0;                            // set to 0 by the reader
  int next = 0;                               // number (from 1) of the pump read before this one, 0 at the oldest
  int pumpto_1 = 0;                           // first integer of the card
  int pumpto_2 = 0;                           // second integer of the card (1 on a trapezoid link)
  int kind = 0;                               // 0 elevation series, 1 time series
  const struct time_series* ts = nullptr;     // the named time series when kind is 1
  const struct elev_series* es = nullptr;     // the named elevation series when kind is 0
};

// The run of hydraulic-structure elements that replaces a structure link.
struct link_struct_index {
  int count = 0;  // NUMSTRUCTS of the link
  int first = 0;  // first element number of the link
  int last = 0;   // last element number of the link
};

// One hydraulic-structure element of a structure link.
struct hydraulic_structure {
  int struct_type = 0;          // 1 weir, 2 sag weir, 3 round, 4 oval, 5 rectangular culvert, 6 rating curve, 7 scheduled release, 8 rule curve
  double length = 0;            // barrel or crest length (m)
  double upinvert = 0;          // upstream invert or crest low elevation (m)
  double downinvert = 0;        // downstream invert (m)
  double slope = 0;             // barrel slope
  double coeff_forward = 0;     // inlet or forward discharge coefficient
  double coeff_reverse = 0;     // reverse-flow discharge coefficient
  double culv_coeff = 0;        // culvert coefficient computed before each culvert evaluation
  double width = 0;             // width, diameter, A value or steep slope
  double height = 0;            // height, B value or shallow slope
  double crest_low_loc = 0;     // location of the crest low point
  double rough_coeff = 0;       // barrel roughness
  const struct elev_series* elev_series = nullptr;  // rating or rule curve (types 6 and 8)
  const struct time_series* time_series = nullptr;  // scheduled release (type 7)
};

struct superlink_block {
  int storm_sewer_on = 0;                   // 1 when card STORM_SEWER names a superlink (pipe network) file
  int superlink_tiles_on = 0;               // 1 when the superlink network exchanges water with groundwater through tile drains
  std::string storm_sewer_path;             // file of card STORM_SEWER
  std::string grid_pipe_path;               // file of card GRID_PIPE
  double superlink_interval = 0;            // superlink interval (s)
  double superlink_interval_days = 0;       // superlink interval (days)
  int superlink_substeps = 0;               // counter of the superlink step, zeroed by the start-time set-up
  double next_superlink_time = 0;           // next superlink step (Julian)
  double last_superlink_time = 0;           // last superlink step (Julian)
  double superlink_volume = 0;              // volume held in the superlink network (m3)
  double vol_drains_final = 0;              // volume remaining in the pipe/drain network at the end (m3)
  int n_sl_junctions = 0;                   // superlink junctions
  int n_sl_links = 0;                       // superlink links (pipes)
  ivec nnodes{"nnodes"};                    // [superlink] pipe count as read (nodes 1..nnodes+1)
  imat inlet_type{"inlet_type"};            // [node][superlink] inlet form of each node; row 0 by junction: its type (999 to a channel, 888 to a cell, 1..10 inlets, 11+ fixed head)
  dvec vol_tile_grid{"vol_tile_grid"};      // per cell the volume passed from groundwater to tiles (m3)
  dmat superlink_tile_flow{"superlink_tile_flow"};  // tile exchange flow per pipe node (m3/s)
  dmat ov_superlink_sed{"ov_superlink_sed"};  // [class][cell] sediment volume from overland into the superlinks (m3)
  double vol_sed_water_superlink = 0;       // event volume of water carrying sediment into the superlinks (m3)
  double vol_sed_water_superlink2 = 0;      // second sediment-water event volume of the superlink network (m3)
  double vol_overland_to_superlink = 0;     // event volume of overland inputs to the superlink network (m3)
  double vol_superlink_to_channel = 0;      // event volume passed from the superlink network to channels (m3)
  double vol_superlink_to_overland = 0;     // event volume passed from the superlink network to overland cells (m3)
  double vol_gw_to_tile = 0;                // event volume from groundwater to tile drains (m3)
  double vol_drains_init = 0;               // pipe/drain volume at the event start (m3)
  double vol_overland_to_superlink_total = 0;  // run volume of overland inputs to the superlink network (m3)
  double vol_superlink_to_channel_total = 0;   // run volume passed from the superlink network to channels (m3)
  double vol_superlink_to_overland_total = 0;  // run volume passed from the superlink network to overland cells (m3)
  double vol_gw_to_tile_total = 0;             // run volume from groundwater to the superlink tile drains (m3)
  int superlink_c_opt_on = 0;               // 1 when card SUPERLINK_C_OPT is given
  int high_head_release_on = 0;             // 1 when card HIGH_HEAD_RELEASE is given
  int superlink_drainmod_on = 0;            // 1 when card SUPERLINK_DRAINMOD is given
  // The network as read (junctions J = n_sl_junctions, superlinks L =
  // n_sl_links): per-junction and per-superlink vectors from 1; [node][superlink]
  // tables with nodes 1..superlink_cnodes + 1 and pipes 1..superlink_cnodes.
  int superlink_max_pipes = 0;              // largest computational pipe count of a superlink
  int superlink_max_dim = 0;                // max(L, J, P) + 3, one more with SUPERLINK_C_OPT
  ivec us_sjunc{"us_sjunc"};                // [superlink] upstream superjunction
  ivec ds_sjunc{"ds_sjunc"};                // [superlink] downstream superjunction
  ivec superlink_cnodes{"superlink_cnodes"};  // [superlink] computational pipe count (nnodes without SUPERLINK_C_OPT)
  ivec bound{"bound"};                      // [junction] 1 when the type is above 10: a fixed head at the invert (outlets included)
  ivec superjunct_i{"superjunct_i"};        // [junction] grid row; channel link of a 999 outlet
  ivec superjunct_j{"superjunct_j"};        // [junction] grid column; channel node of a 999 outlet
  dvec sjunc_ground_elev{"sjunc_ground_elev"};  // [junction] ground elevation (m)
  dvec sjunc_invert{"sjunc_invert"};        // [junction] invert elevation (m)
  dvec sjunc_area{"sjunc_area"};            // [junction] plan area (m2)
  dvec grate_sidelength_sjunc{"grate_sidelength_sjunc"};  // [junction] grate side length (m)
  dvec grate_dia_sjunc{"grate_dia_sjunc"};  // [junction] grate diameter (m)
  dvec sjunc_head{"sjunc_head"};            // [junction] water level in the junction (m)
  dvec sjunc_flow{"sjunc_flow"};            // [junction] inflow of the step, or at an outlet its outflow (m3/s)
  dvec link_us_invert{"link_us_invert"};    // [superlink] invert at the upstream end (m)
  dvec link_ds_invert{"link_ds_invert"};    // [superlink] invert at the downstream end (m)
  imat sec_type{"sec_type"};                // [pipe][superlink] section: 1 circle, 2 arch, 3 box
  dmat node_ground_elev{"node_ground_elev"};  // [node][superlink] ground elevation (m)
  dmat slink_node_Zinv{"slink_node_Zinv"};  // [node][superlink] invert (m)
  dmat As{"As"};                            // [node][superlink] plan area of the node (m2)
  dmat grate_sidelength_node{"grate_sidelength_node"};  // [node][superlink] grate side length (m)
  dmat grate_dia_node{"grate_dia_node"};    // [node][superlink] grate diameter (m)
  imat superlink_node_i{"superlink_node_i"};  // [node][superlink] grid row
  imat superlink_node_j{"superlink_node_j"};  // [node][superlink] grid column
  dmat Q_node{"Q_node"};                    // [node][superlink] inlet flow of the node in the step (m3/s)
  dmat slink_node_depth{"slink_node_depth"};  // [node][superlink] water depth (m)
  dmat pipe_dx{"pipe_dx"};                  // [pipe][superlink] pipe length as read (m)
  dmat M_n{"M_n"};                          // [pipe][superlink] Manning roughness
  dmat S0{"S0"};                            // [pipe][superlink] slope
  dmat diameter{"diameter"};                // [pipe][superlink] diameter, rise or height (m)
  dmat width{"width"};                      // [pipe][superlink] span or width (m)
  dmat superlink_pipe_conductivity{"superlink_pipe_conductivity"};  // [pipe][superlink] tile conductivity (cm/h)
  dmat drain_spacing{"drain_spacing"};      // [pipe][superlink] drain spacing (m)
  dmat drain_multiplier{"drain_multiplier"};  // [pipe][superlink] tile-flow multiplier
  dmat dxc{"dxc"};                          // [pipe][superlink] computational pipe length (m)
  imat otc_node{"otc_node"};                // [file node][superlink] computational number of the node
  imat otc_pipe{"otc_pipe"};                // [file pipe][superlink] computational number of the pipe
  ivec superlink_junc_gnum{"superlink_junc_gnum"};  // [junction] active cell, 0 none
  imat superlink_node_gnum{"superlink_node_gnum"};  // [node][superlink] active cell, 0 none
  dvec Q_tile_grid{"Q_tile_grid"};          // [cell] tile inflow into the superlinks (m3/s), with leaky pipes
  dvec tilerecharge_to_gw{"tilerecharge_to_gw"};  // [cell] tile recharge to the aquifer (m3), with leaky pipes
  int gpi_num_cells = 0;                    // PIPECELLS of the grid pipe file
  int gpi_max_pipes = 0;                    // largest NUMPIPES of the grid pipe file
  ivec gpi_ncellsingrid{"gpi_ncellsingrid"};  // [grid-pipe cell] pipe entries of the cell
  imat gpi_link{"gpi_link"};                // [grid-pipe cell][entry] superlink
  imat gpi_node{"gpi_node"};                // [grid-pipe cell][entry] node
  imat gpi_gnum{"gpi_gnum"};                // [grid-pipe cell][entry] active cell
  dmat gpi_pct{"gpi_pct"};                  // [grid-pipe cell][entry] share of the pipe in the cell
  ivec superlink_chan_con_node{"superlink_chan_con_node"};  // [junction] channel node of a 999 outlet
  ivec superlink_chan_con_link{"superlink_chan_con_link"};  // [junction] channel link of a 999 outlet
  dvec superlink_chan_vol{"superlink_chan_vol"};  // [junction] volume passed to the channel node since the last channel routing (m3)
  dvec sjunc_vol_to_ov{"sjunc_vol_to_ov"};  // [junction] volume given to the surface in the step (m3)
  dvec sjunc_chan_wse{"sjunc_chan_wse"};    // [junction] channel water surface at a 999 outlet (m)
  dvec superlink_cell_vol{"superlink_cell_vol"};  // [cell] volume the network took from the cell in the step (m3, negative given)
  dvec superlink_node_slot_vol{"superlink_node_slot_vol"};  // [node slot] volume passed to the channel node since the last channel routing (m3)
  ivec pipe_outlet_first{"pipe_outlet_first"};  // [node slot 0..node_link_dim + 1] first entry of the slot's outlets in pipe_outlet_junction (from 1)
  ivec pipe_outlet_junction{"pipe_outlet_junction"};  // [entry] a 999 outlet: superjunction j as j, drain junction j as -j
  superlink_work sl_work;                   // the solver's working arrays and state
  file_wrapper superlink_flows_file;        // "superlink_flows.out" (w): one row per superlink step
};

struct drain_block {
  std::unique_ptr<drain_network> drain;     // the drain network, created by the drain set-up
  file_wrapper drain_output_file;           // output of card DRAIN_OUTPUT (w)
  std::string storm_drain_path;             // file of card STORM_DRAIN
  std::string drain_grid_pipe_path;         // file of card DRAIN_GRID_PIPE
  std::string drain_output_path;            // file of card DRAIN_OUTPUT
};

struct channel_network_block {
  int storm_drain_on = 0;                   // 1 when card STORM_DRAIN names a (non-superlink) drain network file
  int drain_output_on = 0;                  // 1 when card DRAIN_OUTPUT asks for drain network output
  double next_drain_time = 0;               // next drain network step (Julian)
  double last_drain_time = 0;               // last drain network step (Julian)
  double drain_interval = 0;                // drain network interval (s)
  double drain_interval_days = 0;           // drain network interval (days)
  int LINKS = 0;                            // channel links (card LINKS of the channel input file)
  int MAXNODES = 0;                         // largest node count of a link (card MAXNODES)
  int max_nodes_per_link = 0;               // MAXNODES + 1, the row count of the [node][link] matrices
  int link_dim = 0;                         // LINKS + 1, the column count of the [node][link] matrices
  int node_link_dim = 0;                    // (LINKS + 1) * (MAXNODES + 1)
  int og_links = 0;                         // LINKS as read from the file
  int max_npairs = 0;                       // largest NPAIRS of the file (points of one breakpoint section)
  int max_num_interp = 0;                   // largest NUM_INTERP of the file (height steps of one breakpoint table)
  int n_xsec_tables = 0;                    // breakpoint tables (counted, then multiplied by max_nodes_per_link)
  int overbank_links_on = 0;                // 1 when some link carries the OVERBANK attribute
  int max_ndep = 0;                         // largest ndep of the file (columns of uslinks and og_uslinks)
  ivec og_dslink{"og_dslink"};              // [link] dslink as read from the file
  ivec og_ltype{"og_ltype"};                // [link] ltype as read from the file (before stream capturing)
  imat og_uslinks{"og_uslinks"};            // [link][k] uslinks as read, k = 1..ndep (max_ndep columns)
  d3d xbp_lnn{"xbp_lnn"};                   // [breakpoint-link slot][node][pair] x of the section points of erodible breakpoint links (m)
  d3d ybp_lnn{"ybp_lnn"};                   // [breakpoint-link slot][node][pair] y of those points (m)
  dmat pct_flooded{"pct_flooded"};          // [node][link] lake value of the node, allocated zero when lakes exist
  imat status_node{"status_node"};          // [node][link] lake status of the node, allocated zero when lakes exist
  dmat stdummy{"stdummy"};                  // [node][link] scratch of the section code
  imat stream_pumps{"stream_pumps"};        // [node][link] pump (from 1, in chan_pumps) of a PUMPTO card at the node, 0 none
  std::vector<chan_pump> chan_pumps;        // the pumps of the PUMPTO cards; pump k is entry k - 1
  int n_gst_cells = 0;                      // grid-stream cells (STREAMCELLS of the grid-stream file)
  int max_gst_nodes = 0;                    // largest NUMNODES of a grid-stream cell
  ivec gst_ncellsingrid{"gst_ncellsingrid"};  // [stream cell] channel nodes sharing the cell (NUMNODES)
  imat gst_link{"gst_link"};                // [stream cell][entry] link of the entry
  imat gst_node{"gst_node"};                // [stream cell][entry] node of the entry
  imat gst_gnum{"gst_gnum"};                // [stream cell][entry] active-cell number of the cell
  imat gst_row{"gst_row"};                  // [stream cell][entry] grid row of the cell
  imat gst_col{"gst_col"};                  // [stream cell][entry] grid column of the cell
  dmat gst_pct{"gst_pct"};                  // [stream cell][entry] share of the cell given to the entry's node (fraction)
  dmat gst_sac_weight{"gst_sac_weight"};    // [stream cell][entry] share of the lumped soil model outflow
  dmat gst_Vlat{"gst_Vlat"};                // [stream cell][entry] lateral exchange volume of the step (m3, into the channel)
  dmat gst_qlat{"gst_qlat"};                // [stream cell][entry] lateral exchange flow (m3/s, into the channel)
  dmat qlat{"qlat"};                        // [node][link] lateral inflow into the node (m3/s)
  int chan_flow_above_cutoff = 0;           // 1 when a node carries qp above event_min_q while the outflow never reached it
  int chan_implicit_on = 0;                 // 1 for channel method 2 or 5 (refused by the option check)
  int channel_on = 0;                       // 1 when channel routing is simulated
  int chan_drain_init_on = 0;               // 1 for channel method 2 (CHAN_DRAIN)
  int chan_backwater_init_on = 0;           // 1 when the channel start state comes from a backwater initialisation run
  int apfa_xsec_on = 0;                     // 1 when APFA cross sections are simulated
  int trap_preiss_on = 0;                   // 1 when trapezoidal cross sections carry Preissmann slots
  int lookup_preiss_on = 0;                 // 1 when look-up-table cross sections carry Preissmann slots
  int lookup_table_read_on = 0;             // 1 when cross-section look-up tables were read
  int overbank_flow_on = 0;                 // 1 when card OVERBANK_FLOW lets channel water spill onto cells
  double overbank_max_dv = 0.01;            // value of card OVERBANK_MAX_DV
  int overland_backwater_on = 0;            // 1 when card OVERLAND_BACKWATER is given
  int stream_loss_on = 0;                   // 1 when card STREAM_LOSS is given (channel seepage losses)
  double max_courant_number = 0;            // Courant limit of the explicit channel routing (card MAX_COURANT_NUMBER)
  double chan_header_alpha = 0;             // header value ALPHA of the channel input file
  double chan_header_beta = 0;              // header value BETA of the channel input file (BETA is a Richards table)
  double chan_header_theta = 0;             // header value THETA of the channel input file (THETA is the Richards moisture table)
  dvec chan_dx{"chan_dx"};                  // [link] node spacing (m, card DX)
  ivec ndep{"ndep"};                        // [link] number of upstream links
  ivec og_ndep{"og_ndep"};                  // [link] ndep as read from the file
  dmat yp{"yp"};                            // [node][link] water-surface elevation (m); depth = yp - bel
  dmat qp{"qp"};                            // [node][link] discharge (m3/s)
  dmat qp_vol{"qp_vol"};                    // [node][link] discharged volume accumulated over a step (m3)
  dmat qp_vol_sed{"qp_vol_sed"};            // [node][link] copy of qp_vol for the sediment step (m3)
  dmat Fr{"Fr"};                            // [node][link] Froude number
  dmat bottom{"bottom"};                    // [node][link] trapezoid bottom width (m)
  dmat bel{"bel"};                          // [node][link] bed (thalweg) elevation of the computational node (m)
  dmat lnx{"lnx"};                          // [node][link] node x coordinate
  dmat lny{"lny"};                          // [node][link] node y coordinate
  dmat sslope{"sslope"};                    // [node][link] trapezoid side slope (horizontal per vertical)
  dmat sslope2{"sslope2"};                  // [node][link] second (overbank) side slope
  dvec link_inv_n{"link_inv_n"};            // [link] 1 / Manning n
  dmat bankfull_dep{"bankfull_dep"};        // [node][link] trapezoid bankfull depth (m)
  dmat area{"area"};                        // [node][link] flow area (m2)
  dmat area_old{"area_old"};                // [node][link] flow area at the start of the step (m2)
  dmat conv{"conv"};                        // [node][link] conveyance
  dmat dconv{"dconv"};                      // [node][link] derivative of the conveyance
  dmat topw{"topw"};                        // [node][link] top width (m)
  imat table_num{"table_num"};              // [node][link] breakpoint table of the node
  dmat xarea{"xarea"};                      // [height step][table] flow area of the breakpoint tables (m2)
  dmat xtw{"xtw"};                          // [height step][table] top width (m)
  dmat xk{"xk"};                            // [height step][table] conveyance
  dmat xp{"xp"};                            // [height step][table] wetted perimeter (m)
  dmat xi1{"xi1"};                          // [height step][table] further table of erodible links
  dmat xdkda{"xdkda"};                      // [height step][table] further table of erodible links
  dvec ht_spc{"ht_spc"};                    // [table] height step of the table (m)
  ivec numhts{"numhts"};                    // [table] height steps of the table
  ivec numpairs{"numpairs"};                // [table] x/y pairs the table was built from
  dmat min_bel{"min_bel"};                  // [node][link] lowest bed the erosion may reach, bel - max_eros at the first bed update (m)
  int min_bel_set = 0;                      // 1 once min_bel has been taken
  int n_xsec_tables_used = 0;               // breakpoint tables handed out so far while the channel file is read
  std::vector<double> xsec_scratch_x;       // profile x of one breakpoint section (m), 1-based, max_npairs + 2 cells
  std::vector<double> xsec_scratch_y;       // profile y of one breakpoint section (m), 1-based
  std::vector<double> xsec_scratch_y_old;   // the profile before a bed change (m), 1-based
  int n_bp_sections = 0;                    // erodible breakpoint links; the bed cross-section update runs when it is at least 1
  imat uslinks{"uslinks"};                  // [link][k] upstream links of each link, k = 1..ndep
  ivec dslink{"dslink"};                    // [link] downstream link, 0 at the outlet
  ivec ltype{"ltype"};                      // [link] link type bits (subsurface, erodible, trapezoid, breakpoint, lake, structure, ...)
  ivec ldex{"ldex"};                        // [link] link number, or the lake number of a lake link
  ivec nx1{"nx1"};                          // [link] link-defining nodes (card NODES; 2 for a structure link)
  ivec og_nx1{"og_nx1"};                    // [link] copy of nx taken after the file is read
  ivec nx{"nx"};                            // [link] computational nodes
  file_wrapper channel_input_file;          // channel input file of card CHANNEL_INPUT (r)
  file_wrapper chan_hotstart_in_file;       // channel hotstart input (r): water-surface elevation and area
  file_wrapper chan_hotstart_q_in_file;     // channel hotstart discharge input (r), name + ".qht"
  file_wrapper chan_hotstart_q_out_file;    // channel hotstart discharge output (w), name + ".qht"; the depths go to fs_chan_hotstart_out
  file_wrapper outlet_hydro_file;           // outlet hydrograph of card OUTLET_HYDRO ("output hydrograph", w)
  int n_hyd_locations = 0;                  // hydrograph output locations (link/node pairs)
  int n_gwflux_locations = 0;               // groundwater-flux output locations (link/node pairs)
  ivec hlink{"hlink"};                      // [location] link of each hydrograph output location
  ivec hnode{"hnode"};                      // [location] node of each hydrograph output location
  ivec gwflink{"gwflink"};                  // [location] link of each groundwater-flux output location
  ivec gwfnode{"gwfnode"};                  // [location] node of each groundwater-flux output location
  ivec celrowloc{"celrowloc"};              // [location] row of each depth/discharge output cell
  ivec celcolloc{"celcolloc"};              // [location] column of each depth/discharge output cell
  int n_cell_locations = 0;                 // cell output locations (row/column pairs)
  ivec gnumlocater{"gnumlocater"};          // [location] cell number of each depth/discharge output cell
  int n_sl_node_locations = 0;              // superlink node output locations
  int n_sl_junc_locations = 0;              // superlink junction output locations
  ivec sjunc{"sjunc"};                      // [location] superjunction of each junction output location
  ivec sl_link{"sl_link"};                  // [location] superlink of each node output location
  ivec sl_node{"sl_node"};                  // [location] superlink node of each node output location
  int n_xsec_table_overruns = 0;            // depths beyond the cross-section tables in the event (count, 0 at each event start)
  int head_bound_on = 0;                    // 1 when card HEAD_BOUND sets a head boundary at the channel outlet
  int bound_ts_on = 0;                      // 1 when card BOUND_TS gives the outlet boundary as a time series
  std::string bound_ts_path;                // card BOUND_TS: name of the time series of the outlet boundary
  double bound_depth = 0;                   // outlet boundary depth (m, card BOUND_DEPTH)
  dmat chan_depth{"chan_depth"};            // [node][link] channel depth (m)
  int chan_iter_count = 0;                  // channel routings done, zeroed by the start-time set-up
  int stream_cell_on = 0;                   // 1 with explicit channel routing: grid-stream (STREAM_CELL) input on
  dmat gst_qriv{"gst_qriv"};                // [stream cell][entry] stream-aquifer exchange flow of the grid-stream cells (m3/s)
  dmat gst_qriv_vol{"gst_qriv_vol"};        // [stream cell][entry] stream-aquifer exchange volume (m3)
  dmat gst_Vp{"gst_Vp"};                    // [node][link] grid-stream node volume (m3)
  dmat stream_loss_scale{"stream_loss_scale"};  // [node][link] share of its losing entries a node can pay out of its water in one groundwater step (1 when it holds enough)
  int runoff_mmph_on = 0;                   // 1 when card RUNOFF_MMPH asks for the runoff-rate output
  std::string runoff_mmph_path;             // file of card RUNOFF_MMPH
  int chan_mesh_on = 0;                     // 1 for channel method 4 (CHAN_MESH)
  double first_order_chan_q = 0;            // card FIRST_ORDER_CHAN_Q
  int chan_hotstart_on = 0;                 // 1 when the channel initial state comes from the initial-state file (slot fs_chan_initial_state)
  int chan_area_from_hotstart = 0;          // 1 when the channel hotstart gave every routed node its flow area; the first event derives the levels from them
  // Routing state of the explicit scheme and the channel routing step.
  double chan_dt = 0;                       // interval of the current channel routing step (s)
  double chan_interval_base = 0;            // channel interval set by the start-time set-up (s), the base of the adapted intervals
  double chan_outflow_vol = 0;              // outlet volume of the last routing call (m3); 0 when a step does not route
  double chan_release_vol = 0;              // volume released by scheduled releases on links without upstream links in the last routing call (m3)
  double head_bound_q_base = 0;             // outlet discharge set by a boundary series before routing (m3/s); 0 for a fixed boundary depth
  int chan_gw_exchange_state = 0;           // value of the last routing call: 1 when the aquifer feeds some node
  int lakes_hold_water = 0;                 // 1 when some channel lake holds more than 1e-16 m3
  int superlink_wet = 0;                    // 1 while the superlink network carries water (pipe routing; 0 until it exists)
  int lake_flow_flag = 0;                   // 1 while a lake has pipe flow (pipe routing; 0 until it exists)
  dmat route_area_start{"route_area_start"};  // [node][link] flow area at the start of a routing sub-step (m2)
  dmat area_iter{"area_iter"};              // [node][link] predicted flow area (m2)
  dmat qp_old{"qp_old"};                    // [node][link] discharge at the start of a sub-step (m3/s)
  dmat qp_last{"qp_last"};                  // [node][link] discharge of the predictor (m3/s)
  dmat qp_iter{"qp_iter"};                  // [node][link] discharge of the corrector (m3/s)
  dmat qriv_old{"qriv_old"};                // [node][link] stream-aquifer flux at the start of a sub-step
  dmat qlat_old{"qlat_old"};                // [node][link] lateral inflow at the start of a sub-step (m2/s)
  dmat qlat_org{"qlat_org"};                // [node][link] lateral inflow before the overbank rebuild (m2/s)
};

// Channel lakes ([lake] from 1), their grid extent ([cell] from 1) and the
// hydraulic structures.
struct channel_lake_block {
  dvec minwse{"minwse"};                    // [lake] minimum water-surface elevation (m)
  dvec initwse{"initwse"};                  // [lake] initial water-surface elevation (m)
  dvec maxwse{"maxwse"};                    // [lake] maximum water-surface elevation (m)
  dvec lake_volume{"lake_volume"};          // [lake] current volume (m3)
  dvec cumulative_lake_evap{"cumulative_lake_evap"};  // [lake] evaporated volume so far (m3)
  dvec prevlake_volume{"prevlake_volume"};  // [lake] volume at the previous extent update (m3)
  dvec lake_volume_last_chan{"lake_volume_last_chan"};  // [lake] volume at the last channel step (m3)
  dvec lake_area{"lake_area"};              // [lake] surface area (m2)
  dvec lake_elev{"lake_elev"};              // [lake] water-surface elevation (m)
  double vol_lake_evap_total = 0;           // run evaporation from lakes (m3)
  i3d lake_search{"lake_search"};           // [lake][1 row, 2 column][point] search-order cells of each lake
  int n_lakes = 0;                          // lakes on the channel network
  ivec lake_cells{"lake_cells"};            // [lake] cells inundated now
  ivec lake2link{"lake2link"};              // [link] lake number of a lake link, 0 otherwise
  ivec lake_mask{"lake_mask"};              // [cell] channel lake covering the cell, 0 none
  ivec lake_num{"lake_num"};                // [cell] channel lake number of the cell (allocated zeroed when lakes_on is 1), 0 none
  ivec new_flooded_grid{"new_flooded_grid"};  // [cell] 1 added to a lake, -1 removed, by the last extent update; else 0
  int new_flooded_cells = 0;                // 1 when the last extent update flooded some cell
  int lake_extent_warned = 0;               // 1 once the maximum-extent warning was given in this run
  ivec yes_defined_curve_lake{"yes_defined_curve_lake"};  // [lake] 1 when the lake has a rating curve
  double vol_lake_inflow_total = 0;         // run inflow volume into the channel lakes (m3)
  double vol_lake_outflow_total = 0;        // run outflow volume from the channel lakes (m3)
  double vol_lakes_perennial_init = 0;      // initial volume in perennial lakes (m3)
  double vol_lakes_perennial_final = 0;     // volume in the channel lakes at the end of the run (m3)
  double vol_lake_balance_error = 0;        // channel lake balance of the run (m3): inflow - outflow - final + initial - evaporation
  double vol_lakes_init = 0;                // lake volume at the event start (m3)
  double vol_lakes_final = 0;               // lake volume at the event end (m3)
  dvec lake_in_dv{"lake_in_dv"};            // [lake] volume moved from overland cells into the lake since the last event end (m3)
  dvec lake_out_dv{"lake_out_dv"};          // [lake] volume moved from the lake back to overland cells since the last event end (m3)
  int chan_first_pass = 1;                  // 1 until the channel routing step has run its one-time start-up pass
  double m_lake = 0;                        // card M_LAKE
  int chan_lakes_active = 0;                // 1 when some lake starts above its minimum level
  int lake_overland_exchange_on = 0;        // 1 when a lake exchanged water with overland cells in the event
  int chan_point_inputs_on = 0;             // 1 when channel point inputs exist
  std::string chan_point_input_path;        // file of card CHAN_POINT_INPUT
  file_wrapper chan_point_file;             // the open channel point-source file (r), read on during the run
  int chan_point_numpt = 0;                 // point sources of the file (NUMPT)
  int chan_point_nrpds = 0;                 // timed changes of the file (NRPDS)
  int chan_point_changes_read = 0;          // timed changes applied so far in this run
  int chan_point_next_date[5] = {0, 0, 0, 0, 0};  // year, month, day, hour, minute of the next change
  double chan_point_next_time = 0;          // Julian time of the next change; 0 when none is pending
  long chan_point_line = 0;                 // lines of the point-source file read so far (for messages)
  std::string chan_point_pending;           // rest of the point-source line being read
  ivec chan_point_address{"chan_point_address"};  // [point] node slot (link * max_nodes_per_link + node) of point k
  dvec chan_point_q{"chan_point_q"};        // [node slot] point-source discharge (m3/s); slot = link * max_nodes_per_link + node
  dvec chan_point_vol{"chan_point_vol"};    // [node slot] point-source volume between constituent passes (m3), with chan_contam_on
  dvec xy_stream_q{"xy_stream_q"};          // [node slot] inflow of the stream boundary points of a nested run (m3/s); booked with the channel point sources
  const struct time_series* bound_ts = nullptr;  // the outlet boundary series found by bound_ts_path at the run's start
  std::string chan_contam_out_path = "con_output";  // channel constituent output file
  one_based_vec<link_struct_index> link_structs{"link_structs"};  // [link] structure elements of a structure link
  one_based_vec<hydraulic_structure> hydr_struct{"hydr_struct"};  // hydraulic-structure elements, from 1
  int sched_release_on = 0;                 // 1 when a structure element is a scheduled release (type 7)
  int n_hydr_structs = 0;                   // hydraulic-structure elements (STRUCTTYPE cards)
  int lake_loss_on = 0;                     // 1 when lake seepage losses are simulated (MLAKE card or project input)
  ivec numpts{"numpts"};                    // [lake] cells of the lake's search order (NUMPTS)
  ivec yes_static_lake{"yes_static_lake"};  // [lake] 1 when the lake's extent never changes (STATIC)
  ivec numrate{"numrate"};                  // [lake] points of the rating curve (NUMRATE)
  dmat lake_rate_elev{"lake_rate_elev"};    // [lake][point] rating-curve elevation (m); point 0 is 0
  dmat lake_rate_volume{"lake_rate_volume"};  // [lake][point] rating-curve volume (m3); point 0 is 0
  dmat lake_rate_area{"lake_rate_area"};    // [lake][point] rating-curve area (m2); point 0 is 0
  dvec Mlake{"Mlake"};                      // [lake] bed thickness for lake seepage (cm), with lake_loss_on
  ivec calc_loss{"calc_loss"};              // [lake] 1 when seepage is computed for the lake, with lake_loss_on
  dvec lake_loss_cell{"lake_loss_cell"};    // [cell] second lake-seepage array of the channel step (m3)
  dvec lake_gw_flux{"lake_gw_flux"};        // [cell] exchange of a lake cell with the ground below (m2/s, m3/s per metre of cell width; positive into the lake), with lake_loss_on
  int lake_gw_active = 0;                   // 1 when some lake gained or lost land-side water in the groundwater step's channel coupling
  ivec rating_warned{"rating_warned"};      // [lake] 1 once the lake's rating curve was left and warned of
};

}  // namespace kavro
