// Set-up of the superlink network: its pipe file and grid pipe file, the
// refinement of its reaches (card SUPERLINK_C_OPT), the cells of its
// junctions and nodes, its output locations and flow log, and the join of
// its outlets to the channel nodes.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "channel/channel_steps.h"
#include "channel/pipe_file.h"
#include "channel/pipe_hydraulics.h"
#include "channel/pipe_networks.h"
#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/event_volumes.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "input/location_lists.h"
#include "input/setup_lines.h"

namespace kavro {
namespace {

void say(const std::string& text) { print_and_log(run_log_file, text); }

// The computational nodes and pipes of one superlink.
struct comp_link {
  std::vector<pipe_node_card> nodes;  // 1..N+1
  std::vector<pipe_card> pipes;       // 1..N
  std::vector<int> otc_node;          // file node -> computational node (1..n+1)
  std::vector<int> otc_pipe;          // file pipe -> computational pipe (1..n)
};

// A node between a and b at share t of the way: ground and invert
// interpolated, no inlet.
pipe_node_card between(const pipe_node_card& a, const pipe_node_card& b, double t) {
  pipe_node_card n;
  n.ground = a.ground + t * (b.ground - a.ground);
  n.invert = a.invert + t * (b.invert - a.invert);
  n.line = a.line;
  return n;
}

// The reaches of one superlink: as read, or refined so that the first and
// last reaches are short (the free ends of a superlink need short reaches to
// carry their end conditions).
comp_link refine(const pipe_link_cards& l, bool c_opt, int number, main_state& ms) {
  const int n = l.pipes;
  comp_link c;
  c.nodes.assign(l.nodes.begin(), l.nodes.end());
  c.pipes.assign(l.pipe.begin(), l.pipe.end());
  c.otc_node.resize(static_cast<size_t>(n) + 2);
  c.otc_pipe.resize(static_cast<size_t>(n) + 1);
  for (int k = 1; k <= n + 1; ++k) c.otc_node[static_cast<size_t>(k)] = k;
  for (int k = 1; k <= n; ++k) c.otc_pipe[static_cast<size_t>(k)] = k;
  if (!c_opt) return c;
  if (n == 1) {
    const double lp = l.pipe[1].length;
    const double end = lp / 4 > 100 ? 10.0 : lp / 4 > 50 ? 2.0 : 1.0;
    std::vector<double> pieces;
    if (lp >= 6 * end) pieces = {end, (lp - 2 * end) / 4, (lp - 2 * end) / 4, (lp - 2 * end) / 4,
                                 (lp - 2 * end) / 4, end};
    else pieces = {lp / 4, lp / 4, lp / 4, lp / 4};
    const size_t m = pieces.size();
    c.nodes.assign(m + 2, {});
    c.pipes.assign(m + 1, l.pipe[1]);
    c.nodes[1] = l.nodes[1];
    c.nodes[m + 1] = l.nodes[2];
    double run = 0.0;
    for (size_t k = 1; k <= m; ++k) {
      c.pipes[k].length = pieces[k - 1];
      run += pieces[k - 1];
      if (k < m) c.nodes[k + 1] = between(l.nodes[1], l.nodes[2], run / lp);
    }
    c.otc_node[1] = 1;
    c.otc_node[2] = static_cast<int>(m) + 1;
    c.otc_pipe[1] = 1;
    return c;
  }
  double total = 0.0;
  for (int k = 1; k <= n; ++k) total += l.pipe[static_cast<size_t>(k)].length;
  const double d = std::min({std::clamp(0.05 * total, 1.0, 10.0), l.pipe[1].length,
                             l.pipe[static_cast<size_t>(n)].length});
  if (c.pipes[1].length > 2 * d) {
    const double first = c.pipes[1].length;
    c.nodes.insert(c.nodes.begin() + 2, between(c.nodes[1], c.nodes[2], d / first));
    c.pipes.insert(c.pipes.begin() + 2, c.pipes[1]);
    c.pipes[1].length = d;
    c.pipes[2].length = first - d;
    for (int k = 2; k <= n + 1; ++k) ++c.otc_node[static_cast<size_t>(k)];
    for (int k = 2; k <= n; ++k) ++c.otc_pipe[static_cast<size_t>(k)];
    print_setup_line(ms, format_string("Your first node in Superlink %d is greater than %lf from the SuperNode \n",
                                       number, 2 * d));
    print_setup_line(ms, format_string("KAVRO has added a new node %lf m from the beginnig of this pipe  \n \n", d));
  }
  const size_t last = c.pipes.size() - 1;
  if (c.pipes[last].length > 2 * d) {
    const double len = c.pipes[last].length;
    // The new node stands d upstream of the last node.
    c.nodes.insert(c.nodes.begin() + static_cast<long>(last) + 1,
                   between(c.nodes[last + 1], c.nodes[last], d / len));
    c.pipes.push_back(c.pipes[last]);
    c.pipes[last].length = len - d;
    c.pipes[last + 1].length = d;
    ++c.otc_node[static_cast<size_t>(n) + 1];
    print_setup_line(ms, format_string("Your last node in Superlink %d is greater than %lf from the SuperNode \n",
                                       number, 2 * d));
    print_setup_line(ms, format_string("KAVRO has added a new node %lf m from the beginnig of this pipe  \n \n", d));
  }
  return c;
}

// Checks that need the network and the grid: the cells of node inlets, and
// ends of superlinks whose section has a critical and a normal depth.
bool check_superlink_cards(const main_state& ms, const pipe_network_cards& cards) {
  bool ok = check_pipe_junctions(ms, cards, "superlink");
  for (int l = 1; l <= cards.n_links(); ++l) {
    const pipe_link_cards& link = cards.links[static_cast<size_t>(l)];
    for (int k = 1; k <= link.pipes + 1; ++k) {
      const pipe_node_card& nd = link.nodes[static_cast<size_t>(k)];
      if (is_inlet_type(nd.inlet_type) && pipe_cell_at(ms, nd.i, nd.j) < 1) {
        pipe_file_refusal(cards.path, nd.line,
                          format_string("the inlet of node %d of superlink %d stands at row %d column %d, which is "
                                        "not an active cell of the grid",
                                        k, l, nd.i, nd.j));
        ok = false;
      }
    }
    for (int k = 1; k <= link.pipes; k += std::max(link.pipes - 1, 1)) {
      const pipe_card& p = link.pipe[static_cast<size_t>(k)];
      if (p.section == pipe_arch) {
        pipe_file_refusal(cards.path, p.line,
                          format_string("pipe %d ends superlink %d, and an arch has no critical or normal depth "
                                        "for the end of a superlink; use a circle or a box there",
                                        k, l));
        ok = false;
      }
    }
  }
  return ok;
}

// The output locations of the network, read once the network is known.
bool read_superlink_locations(main_state& ms) {
  if (ms.superlink_junc_location_on) {
    read_superlink_junc_locations(ms);
    if (error_rec.stop) return false;
    for (int k = 1; k <= ms.n_sl_junc_locations; ++k) {
      if (ms.sjunc[k] >= 1 && ms.sjunc[k] <= ms.n_sl_junctions) continue;
      say(format_string("Error: entry %d of the superjunction location file %s names superjunction %d; the "
                        "network has 1..%d.\n",
                        k, ms.superlink_junc_location_path.c_str(), ms.sjunc[k], ms.n_sl_junctions));
      return false;
    }
  }
  if (ms.superlink_node_location_on) {
    read_superlink_node_locations(ms);
    if (error_rec.stop) return false;
    for (int k = 1; k <= ms.n_sl_node_locations; ++k) {
      const int l = ms.sl_link[k], n = ms.sl_node[k];
      const bool link_ok = l >= 1 && l <= ms.n_sl_links;
      if (link_ok && n >= 1 && n <= ms.nnodes[l] + 1) continue;
      say(format_string("Error: entry %d of the superlink node location file %s names node %d of superlink %d, "
                        "which the network does not have.\n",
                        k, ms.superlink_node_location_path.c_str(), n, l));
      return false;
    }
  }
  return true;
}

}  // namespace

long pipe_cell_at(const main_state& ms, long i, long j) {
  if (i < 1 || j < 1 || i > ms.rows || j > ms.cols || ms.mask.empty()) return 0;
  if (i > ms.mask.size1() || j > ms.mask.size2()) return 0;
  const long c = ms.mask[i][j];
  return c >= 1 && c <= ms.n_cells ? c : 0;
}

long outlet_stream_cell(const main_state& ms, int link, int node, bool last) {
  long found = 0;
  for (long s = 1; s <= ms.n_gst_cells && s <= ms.gst_ncellsingrid.size(); ++s) {
    for (long e = 1; e <= ms.gst_ncellsingrid[s] && e <= ms.gst_link.size2(); ++e) {
      if (ms.gst_link[s][e] != link || ms.gst_node[s][e] != node) continue;
      if (!last) return ms.gst_gnum[s][e];
      found = ms.gst_gnum[s][e];
    }
  }
  return found;
}

bool check_pipe_junctions(const main_state& ms, const pipe_network_cards& cards, const char* network) {
  bool ok = true;
  std::vector<int> upstream_of(static_cast<size_t>(cards.n_junctions()) + 1, 0);
  for (int l = 1; l <= cards.n_links(); ++l) upstream_of[static_cast<size_t>(cards.connects[l].up)] = l;
  for (int n = 1; n <= cards.n_junctions(); ++n) {
    const pipe_junction_card& j = cards.junctions[static_cast<size_t>(n)];
    if (is_outlet_type(j.type) && upstream_of[static_cast<size_t>(n)] != 0) {
      pipe_file_refusal(cards.path, cards.connects[static_cast<size_t>(upstream_of[static_cast<size_t>(n)])].line,
                        format_string("link %d starts at junction %d, an outlet (type %d); an outlet can only end "
                                      "links",
                                      upstream_of[static_cast<size_t>(n)], n, j.type));
      ok = false;
    }
    if (is_inlet_type(j.type) || j.type == outlet_to_cell) {
      if (pipe_cell_at(ms, j.i, j.j) < 1) {
        pipe_file_refusal(cards.path, j.line,
                          format_string("junction %d (type %d) stands at row %d column %d, which is not an active "
                                        "cell of the grid",
                                        n, j.type, j.i, j.j));
        ok = false;
      }
    }
    if (j.type != outlet_to_channel) continue;
    if (j.i == 0 || j.j == 0) {
      const bool drain = std::string(network) == "drain";
      if (j.j == 0)
        say(format_string(drain ? "Drain outlet channel node not found, at superjunction %d\n"
                                : "Superlink outlet channel node not found, at superjunction %d\n",
                          n));
      if (j.i == 0)
        say(format_string(drain ? "Drain outlet channel link not found, at superjunction %d\n"
                                : "Superlink outlet channel link not found, at superjunction %d\n",
                          n));
      say(drain ? "Check your drain input file to insure that superlink outlets\n"
                : "Check your superlink input file to insure that superlink outlets\n");
      say("terminate on stream arcs.\n");
      pipe_file_refusal(cards.path, j.line, format_string("outlet %d names channel link %d node %d", n, j.i, j.j));
      ok = false;
      continue;
    }
    if (ms.channel_on != 1 || ms.LINKS < 1) {
      pipe_file_refusal(cards.path, j.line,
                        format_string("junction %d is an outlet into channel link %d node %d, but the run routes "
                                      "no channels",
                                      n, j.i, j.j));
      ok = false;
      continue;
    }
    if (j.i < 1 || j.i > ms.LINKS || j.j < 1 || j.j > ms.nx[j.i]) {
      pipe_file_refusal(cards.path, j.line,
                        format_string("outlet %d names channel link %d node %d; the channel network has links 1..%d%s",
                                      n, j.i, j.j, ms.LINKS,
                                      j.i >= 1 && j.i <= ms.LINKS
                                          ? format_string(" and link %d nodes 1..%d", j.i, ms.nx[j.i]).c_str()
                                          : ""));
      ok = false;
      continue;
    }
    if (!is_ordinary_link(ms.ltype[j.i])) {
      pipe_file_refusal(cards.path, j.line,
                        format_string("outlet %d discharges into link %d, a lake or structure link; pipes must "
                                      "end on a link that routes its own nodes",
                                      n, j.i));
      ok = false;
    }
  }
  return ok;
}

int read_superlink_file(main_state& ms, file_wrapper& pipe_file, file_wrapper& grid_file) {
  pipe_network_cards cards;
  if (read_pipe_network_file(pipe_file, ms.storm_sewer_path, false, cards) != 0) return -1;
  if (!check_superlink_cards(ms, cards)) return -1;
  const int nj = cards.n_junctions(), nl = cards.n_links(), np = cards.max_pipes;
  ms.n_sl_junctions = nj;
  ms.n_sl_links = nl;
  ms.superlink_max_dim = std::max({nl, nj, np});
  if (ms.superlink_max_dim > 2000)
    say("MAX dimension of superlink arrays too big.  Problem with read routine.\n");
  ms.superlink_max_dim += 3;

  std::vector<comp_link> links(static_cast<size_t>(nl) + 1);
  int max_comp = 0;
  for (int l = 1; l <= nl; ++l) {
    links[static_cast<size_t>(l)] = refine(cards.links[static_cast<size_t>(l)], ms.superlink_c_opt_on != 0, l, ms);
    max_comp = std::max(max_comp, static_cast<int>(links[static_cast<size_t>(l)].pipes.size()) - 1);
  }
  if (ms.superlink_c_opt_on) ms.superlink_max_dim = std::max(ms.superlink_max_dim, max_comp) + 1;
  ms.superlink_max_pipes = max_comp;

  // Tables: rows are nodes 0..N+1 (pipes 1..N), columns 0..max(J, L)+1.
  const long rows = max_comp + 2, cols = std::max(nj, nl) + 1, file_rows = np + 2;
  for (ivec* v : {&ms.us_sjunc, &ms.ds_sjunc, &ms.nnodes, &ms.superlink_cnodes}) v->allocate(cols);
  for (ivec* v : {&ms.bound, &ms.superjunct_i, &ms.superjunct_j, &ms.superlink_junc_gnum}) v->allocate(cols);
  for (dvec* v : {&ms.sjunc_ground_elev, &ms.sjunc_invert, &ms.sjunc_area, &ms.grate_sidelength_sjunc,
                  &ms.grate_dia_sjunc, &ms.sjunc_head, &ms.sjunc_flow, &ms.link_us_invert, &ms.link_ds_invert})
    v->allocate(cols);
  for (imat* m : {&ms.sec_type, &ms.inlet_type, &ms.superlink_node_i, &ms.superlink_node_j, &ms.superlink_node_gnum})
    m->allocate(rows, cols);
  for (dmat* m : {&ms.node_ground_elev, &ms.slink_node_Zinv, &ms.As, &ms.grate_sidelength_node, &ms.grate_dia_node,
                  &ms.Q_node, &ms.slink_node_depth, &ms.M_n, &ms.S0, &ms.diameter, &ms.width,
                  &ms.superlink_pipe_conductivity, &ms.drain_spacing, &ms.drain_multiplier, &ms.dxc})
    m->allocate(rows, cols);
  ms.pipe_dx.allocate(file_rows, cols);
  ms.otc_node.allocate(file_rows, cols);
  ms.otc_pipe.allocate(file_rows, cols);

  for (int n = 1; n <= nj; ++n) {
    const pipe_junction_card& j = cards.junctions[static_cast<size_t>(n)];
    ms.sjunc_ground_elev[n] = j.ground;
    ms.sjunc_invert[n] = j.invert;
    ms.sjunc_area[n] = j.area;
    ms.inlet_type[0][n] = j.type;
    ms.superjunct_i[n] = j.i;
    ms.superjunct_j[n] = j.j;
    ms.grate_sidelength_sjunc[n] = j.grate_side;
    ms.grate_dia_sjunc[n] = j.grate_dia;
    ms.bound[n] = holds_fixed_head(j.type) ? 1 : 0;
    ms.superlink_junc_gnum[n] = j.type == outlet_to_channel ? outlet_stream_cell(ms, j.i, j.j, false)
                                                            : pipe_cell_at(ms, j.i, j.j);
  }
  int leaky = 0;
  for (int l = 1; l <= nl; ++l) {
    const pipe_link_cards& file = cards.links[static_cast<size_t>(l)];
    const comp_link& c = links[static_cast<size_t>(l)];
    const int n = static_cast<int>(c.pipes.size()) - 1;
    ms.us_sjunc[l] = cards.connects[static_cast<size_t>(l)].up;
    ms.ds_sjunc[l] = cards.connects[static_cast<size_t>(l)].down;
    ms.nnodes[l] = file.pipes;
    ms.superlink_cnodes[l] = n;
    for (int k = 1; k <= file.pipes; ++k) ms.pipe_dx[k][l] = file.pipe[static_cast<size_t>(k)].length;
    for (int k = 1; k <= file.pipes + 1; ++k) ms.otc_node[k][l] = c.otc_node[static_cast<size_t>(k)];
    for (int k = 1; k <= file.pipes; ++k) ms.otc_pipe[k][l] = c.otc_pipe[static_cast<size_t>(k)];
    for (int k = 1; k <= n + 1; ++k) {
      const pipe_node_card& nd = c.nodes[static_cast<size_t>(k)];
      ms.node_ground_elev[k][l] = nd.ground;
      ms.slink_node_Zinv[k][l] = nd.invert;
      ms.As[k][l] = nd.area;
      ms.inlet_type[k][l] = nd.inlet_type;
      ms.superlink_node_i[k][l] = nd.i;
      ms.superlink_node_j[k][l] = nd.j;
      ms.grate_sidelength_node[k][l] = nd.grate_side;
      ms.grate_dia_node[k][l] = nd.grate_dia;
      ms.superlink_node_gnum[k][l] = static_cast<int>(pipe_cell_at(ms, nd.i, nd.j));
    }
    for (int k = 1; k <= n; ++k) {
      const pipe_card& p = c.pipes[static_cast<size_t>(k)];
      ms.sec_type[k][l] = p.section;
      ms.diameter[k][l] = p.diameter;
      ms.width[k][l] = p.width;
      ms.S0[k][l] = p.slope;
      ms.M_n[k][l] = p.manning_n;
      ms.dxc[k][l] = p.length;
      ms.superlink_pipe_conductivity[k][l] = p.conductivity;
      ms.drain_spacing[k][l] = p.spacing;
      ms.drain_multiplier[k][l] = p.multiplier;
      if (p.conductivity > 0) leaky = 1;
    }
    ms.link_us_invert[l] = ms.slink_node_Zinv[1][l];
    ms.link_ds_invert[l] = ms.slink_node_Zinv[n + 1][l];
  }
  if (leaky) ms.superlink_tiles_on = 1;
  if (!leaky) return 0;
  if (!grid_file.is_open()) {
    say("\n Since you have leaky pipes you must include the GRID_PIPE card and grid pipe input file in your project "
        "file");
    error_rec.what = "tile drain grid pipe";
    error_rec.name = ms.grid_pipe_path;
    error_rec.code = 4;
    return 0;
  }
  return read_grid_pipe_file(ms, grid_file, ms.grid_pipe_path, nl, ms.nnodes,
                             {ms.gpi_num_cells, ms.gpi_max_pipes, ms.gpi_ncellsingrid, ms.gpi_link, ms.gpi_node,
                              ms.gpi_gnum, ms.gpi_pct});
}

void setup_superlink(main_state& ms) {
  ms.superlink_active = 0;
  if (ms.storm_sewer_on != 1) return;
  file_wrapper pipe_file, grid_file;
  if (!pipe_file.open(ms.storm_sewer_path, "r")) {
    error_rec.name = ms.storm_sewer_path;
    error_rec.what = "superlink input";
    error_rec.code = 4;
    return;
  }
  if (!ms.grid_pipe_path.empty() && !grid_file.open(ms.grid_pipe_path, "r"))
    print_setup_line(ms, "\n No grid pipe file found \n");
  const int result = read_superlink_file(ms, pipe_file, grid_file);
  if (result < 0) {
    error_rec.code = already_printed_code;
    return;
  }
  if (error_rec.code != 0) return;
  if (ms.superlink_tiles_on) {  // only this network's pipes have set it so far
    alloc_dmat(ms.superlink_tile_flow, ms.superlink_max_pipes + 2, ms.n_sl_links + 1, "superlink_tile_flow");
    alloc_dvec(ms.Q_tile_grid, ms.n_cells, "Q_tile_grid");
    alloc_dvec(ms.vol_tile_grid, ms.n_cells, "vol_tile_grid");
    alloc_dvec(ms.tilerecharge_to_gw, ms.n_cells, "tilerecharge_to_gw");
  }
  print_setup_line(ms, format_string("read superlink pipe file, %d junctions, %d links\n", ms.n_sl_junctions,
                                     ms.n_sl_links));
  if (ms.n_sl_junctions > 10000)
    print_setup_line(ms, "Your superlink network has more than 10,000 superjunctions, expect your model to be very slow \n");
  if (ms.superlink_max_pipes > 10000)
    print_setup_line(ms, "Your superlink network has more than 10,000 nodes, expect your model to be very slow \n");
  if (ms.n_sl_links > 10000)
    print_setup_line(ms, "Your superlink network has more than 10,000 links, expect your model to be very slow \n");
  if (!read_superlink_locations(ms)) {
    error_rec.code = already_printed_code;
    return;
  }
  // The flow log is written at every step of the run.
  if (!ms.superlink_flows_file.open("superlink_flows.out", "w")) {
    say("Can't open file superlink_flows.out'\n");
    error_rec.code = already_printed_code;
    return;
  }
  std::fputs("Call# VtoSL VtoKAVRO   QtoSL    QtoKAVRO \n", ms.superlink_flows_file.fp);
}

void connect_superlink_outlets(main_state& ms) {
  if (ms.storm_sewer_on != 1) return;
  const long nj = ms.n_sl_junctions;
  for (ivec* v : {&ms.superlink_chan_con_node, &ms.superlink_chan_con_link}) v->allocate(nj + 1);
  for (dvec* v : {&ms.sjunc_chan_wse, &ms.superlink_chan_vol, &ms.sjunc_vol_to_ov}) v->allocate(nj + 1);
  alloc_dvec(ms.superlink_cell_vol, ms.n_cells, "superlink_cell_vol");
  if (ms.channel_on == 1 && ms.node_link_dim > 0)
    alloc_dvec(ms.superlink_node_slot_vol, ms.node_link_dim, "superlink_node_slot_vol");
  for (long j = 1; j <= nj; ++j) {
    if (ms.inlet_type[0][j] != outlet_to_channel) continue;
    ms.superlink_chan_con_node[j] = ms.superjunct_j[j];
    ms.superlink_chan_con_link[j] = ms.superjunct_i[j];
  }
  index_pipe_outlets(ms);
}

}  // namespace kavro
