// Set-up of the drain network: its pipe file and grid pipe file, the checks
// that make one pass over its links in number order carry every flow to an
// outlet, the cells of its junctions and nodes, its output file, and the
// join of its outlets to channel nodes and superjunctions.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "channel/channel_steps.h"
#include "channel/pipe_file.h"
#include "channel/pipe_networks.h"
#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "input/setup_lines.h"

namespace kavro {
namespace {

void say(const std::string& text) { print_and_log(run_log_file, text); }

// Link order, junction roles and 666 targets. The drains route in one pass
// over the links in number order, so each junction drains through at most
// one link, no link starts where an earlier link ends, and every junction
// that is not an outlet starts a link (else its water would stay nowhere).
bool check_drain_cards(const main_state& ms, const pipe_network_cards& cards) {
  bool ok = check_pipe_junctions(ms, cards, "drain");
  const int nj = cards.n_junctions(), nl = cards.n_links();
  std::vector<int> starts(static_cast<size_t>(nj) + 1, 0);
  for (int l = 1; l <= nl && ok; ++l) {
    const int u = cards.connects[static_cast<size_t>(l)].up, d = cards.connects[static_cast<size_t>(l)].down;
    if (d < u) {
      say(format_string("For link %d upstream junc %d has higher number than downstream junc %d \n", l, u, d));
      say("Junction numbers should increase in the downstream direction \n");
    }
    for (int m = 1; m < l; ++m) {
      if (cards.connects[static_cast<size_t>(m)].up == u) {
        say("invalid network for drains\n");
        say(format_string("Superjunction %d is upstream of more than one link \n", u));
        pipe_file_refusal(cards.path, cards.connects[static_cast<size_t>(l)].line,
                          format_string("junction %d already starts link %d", u, m));
        return false;
      }
      if (cards.connects[static_cast<size_t>(m)].up == d) {
        say("invalid network for drains\n");
        say(format_string("Link %d has higher number than downstream links \n", l));
        say("Link numbers must increase in the downstream direction \n");
        pipe_file_refusal(cards.path, cards.connects[static_cast<size_t>(l)].line,
                          format_string("link %d ends at junction %d, where link %d starts", l, d, m));
        return false;
      }
    }
    starts[static_cast<size_t>(u)] = l;
  }
  if (!ok) return false;
  for (int n = 1; n <= nj; ++n) {
    const pipe_junction_card& j = cards.junctions[static_cast<size_t>(n)];
    if (!is_outlet_type(j.type) && starts[static_cast<size_t>(n)] == 0) {
      pipe_file_refusal(cards.path, j.line,
                        format_string("junction %d (type %d) is neither an outlet (999, 888, 666) nor the start of "
                                      "a link: the water it gathers would go nowhere",
                                      n, j.type));
      ok = false;
    }
    if (j.type != outlet_to_superlink) continue;
    if (ms.storm_sewer_on != 1 || ms.n_sl_junctions < 1) {
      pipe_file_refusal(cards.path, j.line,
                        format_string("junction %d is an outlet into superjunction %d, but the run has no superlink "
                                      "network (card STORM_SEWER)",
                                      n, j.i));
      ok = false;
    } else if (j.i < 1 || j.i > ms.n_sl_junctions) {
      pipe_file_refusal(cards.path, j.line,
                        format_string("junction %d is an outlet into superjunction %d; the superlink network has "
                                      "1..%d",
                                      n, j.i, ms.n_sl_junctions));
      ok = false;
    } else if (ms.bound[j.i] != 0) {
      pipe_file_refusal(cards.path, j.line,
                        format_string("junction %d is an outlet into superjunction %d, which holds a fixed head "
                                      "(type %d) and cannot take water in",
                                      n, j.i, ms.inlet_type[0][j.i]));
      ok = false;
    }
  }
  for (int l = 1; l <= nl; ++l) {
    const pipe_link_cards& link = cards.links[static_cast<size_t>(l)];
    for (int k = 1; k <= link.pipes + 1; ++k) {
      const pipe_node_card& nd = link.nodes[static_cast<size_t>(k)];
      if (!is_inlet_type(nd.inlet_type) || pipe_cell_at(ms, nd.i, nd.j) >= 1) continue;
      pipe_file_refusal(cards.path, nd.line,
                        format_string("the inlet of node %d of link %d stands at row %d column %d, which is not an "
                                      "active cell of the grid",
                                      k, l, nd.i, nd.j));
      ok = false;
    }
  }
  return ok;
}

void write_drain_output_header(main_state& ms, const drain_network& d) {
  std::FILE* f = ms.drain_output_file.fp;
  std::fputs(ms.qout_cfs_on ? "Outlet Junction Discharges in CFS for overland and channel discharges \n"
                            : "Outlet Junction Discharges in CMS for overland and channel discharges \n",
             f);
  std::fputs(ms.long_term_on ? "   Date            " : "Elasped Time(min)", f);
  for (int i = 1; i <= d.n_junctions; ++i) {
    const int type = d.inlet_type[0][i];
    if (type == outlet_to_cell) std::fprintf(f, "    Junc %d Ov ", i);
    else if (type == outlet_to_channel) std::fprintf(f, "    Junc %d Ch ", i);
    else if (type == outlet_to_superlink) std::fprintf(f, "    Junc %d SL ", i);
    if (holds_fixed_head(type)) {
      if (i < 1000) std::fputc(' ', f);
      if (i < 100) std::fputc(' ', f);
      if (i < 10) std::fputc(' ', f);
    }
  }
  std::fputc('\n', f);
}

}  // namespace

int read_drain_file(main_state& ms, drain_network& d, file_wrapper& pipe_file, file_wrapper& grid_file) {
  pipe_network_cards cards;
  if (read_pipe_network_file(pipe_file, ms.storm_drain_path, true, cards) != 0) return -1;
  if (!check_drain_cards(ms, cards)) return -1;
  const int nj = cards.n_junctions(), nl = cards.n_links(), np = cards.max_pipes;
  d.n_junctions = nj;
  d.n_links = nl;
  d.max_pipes = np;
  d.max_dim = std::max({nl, nj, np});
  if (d.max_dim > 2000) say(format_string("MAX dimension of drain arrays is large. %d \n", d.max_dim));
  d.max_dim += 1;

  const long rows = np + 2, cols = std::max(nj, nl) + 1;
  for (ivec* v : {&d.us_junc, &d.ds_junc, &d.nnodes, &d.bound, &d.junct_i, &d.junct_j, &d.drain_junc_gnum})
    v->allocate(cols);
  for (dvec* v : {&d.junc_area, &d.junc_grate_side, &d.junc_grate_dia, &d.junc_ground_elev, &d.junc_invert,
                  &d.junc_head, &d.junc_flow})
    v->allocate(cols);
  for (imat* m : {&d.sec_type, &d.inlet_type, &d.node_i, &d.node_j, &d.node_gnum}) m->allocate(rows, cols);
  for (dmat* m : {&d.grate_sidelength_node, &d.grate_dia_node, &d.As, &d.slink_node_Zinv, &d.slink_node_depth,
                  &d.pipe_dx, &d.M_n, &d.S0, &d.diameter, &d.width, &d.node_ground_elev, &d.Q_node,
                  &d.pipe_conductivity, &d.spacing, &d.multiplier})
    m->allocate(rows, cols);

  for (int n = 1; n <= nj; ++n) {
    const pipe_junction_card& j = cards.junctions[static_cast<size_t>(n)];
    d.junc_ground_elev[n] = j.ground;
    d.junc_invert[n] = j.invert;
    d.junc_area[n] = j.area;
    d.inlet_type[0][n] = j.type;
    d.junct_i[n] = j.i;
    d.junct_j[n] = j.j;
    d.junc_grate_side[n] = j.grate_side;
    d.junc_grate_dia[n] = j.grate_dia;
    d.bound[n] = holds_fixed_head(j.type) ? 1 : 0;
    if (j.type == outlet_to_channel) d.drain_junc_gnum[n] = static_cast<int>(outlet_stream_cell(ms, j.i, j.j, true));
    else if (j.type == outlet_to_superlink) d.drain_junc_gnum[n] = ms.superlink_junc_gnum[j.i];
    else d.drain_junc_gnum[n] = static_cast<int>(pipe_cell_at(ms, j.i, j.j));
  }
  for (int l = 1; l <= nl; ++l) {
    const pipe_link_cards& link = cards.links[static_cast<size_t>(l)];
    d.us_junc[l] = cards.connects[static_cast<size_t>(l)].up;
    d.ds_junc[l] = cards.connects[static_cast<size_t>(l)].down;
    d.nnodes[l] = link.pipes;
    for (int k = 1; k <= link.pipes + 1; ++k) {
      const pipe_node_card& nd = link.nodes[static_cast<size_t>(k)];
      d.node_ground_elev[k][l] = nd.ground;
      d.slink_node_Zinv[k][l] = nd.invert;
      d.As[k][l] = nd.area;
      d.inlet_type[k][l] = nd.inlet_type;
      d.node_i[k][l] = nd.i;
      d.node_j[k][l] = nd.j;
      d.grate_sidelength_node[k][l] = nd.grate_side;
      d.grate_dia_node[k][l] = nd.grate_dia;
      d.node_gnum[k][l] = static_cast<int>(pipe_cell_at(ms, nd.i, nd.j));
    }
    for (int k = 1; k <= link.pipes; ++k) {
      const pipe_card& p = link.pipe[static_cast<size_t>(k)];
      d.sec_type[k][l] = p.section;
      d.diameter[k][l] = p.diameter;
      d.width[k][l] = p.width;
      d.S0[k][l] = p.slope;
      d.M_n[k][l] = p.manning_n;
      d.pipe_dx[k][l] = p.length;
      d.pipe_conductivity[k][l] = p.conductivity;
      d.spacing[k][l] = p.spacing;
      d.multiplier[k][l] = p.multiplier;
      if (p.conductivity > 1e-16) d.tile_drains_on = 1;
    }
  }
  if (!d.tile_drains_on) return 0;
  if (!grid_file.is_open()) {
    say("\n Since you have leaky pipes you must include the GRID_PIPE card and grid pipe input file in your project "
        "file");
    error_rec.what = "tile drain grid pipe";
    error_rec.name = ms.drain_grid_pipe_path;
    error_rec.code = 4;
    return 0;
  }
  return read_grid_pipe_file(ms, grid_file, ms.drain_grid_pipe_path, nl, d.nnodes,
                             {d.gpi_num_cells, d.gpi_max_pipes, d.gpi_ncellsingrid, d.gpi_link, d.gpi_node, d.gpi_gnum,
                              d.gpi_pct});
}

void setup_drain_network(main_state& ms) {
  ms.drain = std::make_unique<drain_network>();
  if (ms.storm_drain_on != 1) return;
  drain_network& d = *ms.drain;
  file_wrapper pipe_file, grid_file;
  if (!pipe_file.open(ms.storm_drain_path, "r")) {
    error_rec.name = ms.storm_drain_path;
    error_rec.what = "non superlink drain pipe input";
    error_rec.code = 4;
    return;
  }
  if (!ms.drain_grid_pipe_path.empty() && !grid_file.open(ms.drain_grid_pipe_path, "r"))
    print_setup_line(ms, "\n No non superlink grid pipe file found \n");
  if (read_drain_file(ms, d, pipe_file, grid_file) < 0) {
    error_rec.code = already_printed_code;
    return;
  }
  if (error_rec.code != 0) return;
  if (d.tile_drains_on) {
    if (!ms.superlink_tiles_on) {
      alloc_dvec(ms.vol_tile_grid, ms.n_cells, "vol_tile_grid");
      ms.superlink_tiles_on = 1;
    }
    alloc_dmat(d.drain_tile_flow, d.max_pipes + 1, d.n_links, "drain_tile_flow");
    alloc_dvec(d.drain_Q_tile_grid, ms.n_cells, "drain_Q_tile_grid");
    alloc_dvec(d.drain_vol_tile_grid, ms.n_cells, "drain_vol_tile_grid");
  }
  print_setup_line(ms, format_string("read drain pipe file, %d junctions, %d links\n", d.n_junctions, d.n_links));
  if (ms.drain_output_on) {
    if (!ms.drain_output_file.open(ms.drain_output_path, "w")) {
      error_rec.name = ms.drain_output_path;
      error_rec.what = "drain output";
      error_rec.code = 4;
      return;
    }
    write_drain_output_header(ms, d);
  }
}

void connect_drain_outlets(main_state& ms) {
  if (ms.storm_drain_on != 1 || !ms.drain) return;
  drain_network& d = *ms.drain;
  const long nj = d.n_junctions;
  alloc_ivec(d.chan_con_node, nj, "drain->chan_con_node");
  alloc_ivec(d.chan_con_link, nj, "drain->chan_con_link");
  alloc_dvec(d.junc_chan_wse, nj, "junc_chan_wse");
  alloc_dvec(d.junc_chan_vol, nj, "junc_chan_vol");
  alloc_dvec(d.junc_ov_vol, nj, "junc_ov_vol");
  if (ms.storm_sewer_on) {
    const long ns = ms.n_sl_junctions;
    alloc_dvec(d.q_to_superlink, ns, "drain->q_to_superlink");
    alloc_ivec(d.superlink_junc, nj, "drain->superlink_junc");
    alloc_ivec(d.superlink_drain_junc, ns, "superlink_drain_junc");
  }
  alloc_dvec(d.cell_vol, ms.n_cells, "cell_vol");
  int to_channel = 0, to_cells = 0;
  for (long i = 1; i <= nj; ++i) {
    const int type = d.inlet_type[0][i];
    if (type == outlet_to_channel) {
      d.chan_con_node[i] = d.junct_j[i];
      d.chan_con_link[i] = d.junct_i[i];
      ++to_channel;
    } else if (type == outlet_to_superlink) {
      d.superlink_junc[i] = d.junct_i[i];
      d.superlink_drain_junc[d.junct_i[i]] = static_cast<int>(i);
    } else if (type == outlet_to_cell) {
      ++to_cells;
    }
  }
  print_setup_line(ms, format_string("Your drain network has %d channel outlets and %d overland outlets \n",
                                     to_channel, to_cells));
  index_pipe_outlets(ms);
}

}  // namespace kavro
