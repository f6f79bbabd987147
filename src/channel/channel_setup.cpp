// Channel set-up of the grid set-up: reads the channel network, allocates
// its routing state, loads the initial channel state, joins the nodes to
// the grid cells and writes the two diagnostic files.
#include <climits>
#include <cmath>
#include <cstdio>

#include "channel/chan_input.h"
#include "channel/chan_limits.h"
#include "channel/lumped_weights.h"
#include "channel/channel_steps.h"
#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/number_text.h"
#include "framework/readers.h"
#include "framework/run_warnings.h"
#include "input/ascii_map.h"
#include "input/location_lists.h"
#include "input/map_placement.h"
#include "output/xy_boundary.h"
#include "subsurface/stream_exchange.h"
#include "transport/channel_sediment_transport.h"

namespace kavro {
namespace {

void say(const std::string& text) { print_and_log(run_log_file, text); }

bool console(const main_state& ms) { return !ms.quiet && ms.tool_mode != 1; }

// Services of other subsystems that the set-up calls; each is filled by the
// issue of its subsystem.
void alloc_chan_constituent_arrays(main_state&) {}
void setup_nutrient_streams(main_state&) {}

void allocate_routing_state(main_state& ms) {
  const long rows = ms.max_nodes_per_link, cols = ms.link_dim;
  for (dmat* m : {&ms.chan_depth, &ms.area, &ms.area_old, &ms.conv, &ms.dconv, &ms.stdummy, &ms.topw})
    alloc_dmat_zero(*m, rows, cols, m->name());
}

void setup_lake_totals(main_state& ms) {
  if (ms.n_lakes < 1) return;
  for (int k = 1; k <= ms.n_lakes; ++k) ms.vol_lakes_perennial_init += ms.lake_volume[k];
  if (ms.gw_simulation_on == 1 && !ms.gwbound.empty()) {
    alloc_ivec(ms.og_gwbound_type, ms.n_cells, "og_gwbound_type");
    for (int c = 1; c <= ms.n_cells; ++c) ms.og_gwbound_type[c] = ms.gwbound[c];
  }
}

bool is_routed_link(int ltype) { return !(ltype & (32 | 64)); }

// A refused line of a channel start file: the file, the line, what is wrong.
void refuse_start_line(const std::string& file, int line_no, const std::string& why) {
  say(format_string("Error in the channel hotstart file %s, line %d: %s.\n", file.c_str(), line_no, why.c_str()));
  error_rec.code = already_printed_code;
}

// The next value of a start-file line as a whole number / a real from lo to
// hi; false after the refusal is printed.
bool start_int(std::string& line, int& out, const char* what, const std::string& file, int line_no) {
  std::string token;
  const number_fault f = pop_whole(line, out, token);
  if (f == number_fault::none) return true;
  refuse_start_line(file, line_no, std::string(what) + ": " + number_fault_text(f, token, INT_MIN, INT_MAX));
  return false;
}

bool start_real(std::string& line, double& out, double lo, double hi, const char* what, const std::string& file,
                int line_no) {
  std::string token;
  const number_fault f = pop_real(line, out, token);
  if (f != number_fault::none) {
    refuse_start_line(file, line_no, std::string(what) + ": " + number_fault_text(f, token));
    return false;
  }
  if (out >= lo && out <= hi) return true;
  refuse_start_line(file, line_no, format_string("%s %g is outside %g to %g", what, out, lo, hi));
  return false;
}

// Water-surface elevations (and, when given, areas) of every node of the
// routed links, one line per node: two whole numbers that are not used, the
// elevation and optionally the flow area.
void read_wse_start(main_state& ms) {
  std::string line;
  const std::string& file = ms.chan_hotstart_in_file.name;
  int line_no = 0;
  bool every_area = true;
  for (int link = 1; link <= ms.LINKS; ++link) {
    if (!is_routed_link(ms.ltype[link])) continue;
    for (int node = 1; node <= ms.nx[link]; ++node) {
      ++line_no;
      if (!read_line(line, ms.chan_hotstart_in_file)) {
        say(format_string("channel hotstart file ends early at link %d node %d\n", link, node));
        error_rec.code = already_printed_code;
        return;
      }
      int skip = 0;
      double wse = 0, a = 0;
      if (!start_int(line, skip, "the first number", file, line_no) ||
          !start_int(line, skip, "the second number", file, line_no) ||
          !start_real(line, wse, -chan_limit::elevation, chan_limit::elevation, "the water-surface elevation", file,
                      line_no))
        return;
      ms.yp[node][link] = wse;
      std::string rest = line, token;
      if (pop_token(rest, token)) {
        if (!start_real(line, a, 0.0, HUGE_VAL, "the flow area", file, line_no)) return;
        ms.area[node][link] = a;
      } else {
        every_area = false;
      }
      double& depth = ms.chan_depth[node][link];
      depth = ms.yp[node][link] - ms.bel[node][link];
      if (depth < 0) {
        ms.yp[node][link] = ms.bel[node][link];
        depth = 0;
      }
      if (depth > 1e-16) ms.chan_active = 1;
    }
  }
  // The flow area is the routing's own state and the level follows from it:
  // with every area given, the first event takes the levels from the areas
  // as the routing does, instead of areas rounded back from the levels.
  ms.chan_area_from_hotstart = every_area && line_no > 0 ? 1 : 0;
}

// Lines "node link depth discharge" of the channel initial-state file; blank
// lines are skipped, every other line must name a node of the network.
void read_state_start(main_state& ms) {
  file_wrapper& f = ms.fs_chan_initial_state;
  if (!f.is_open()) {
    say(format_string("Can't open channel hotstart file named %s\n", f.name.c_str()));
    error_rec.code = already_printed_code;
    report_error(error_rec);
    return;
  }
  std::string line, rest, token;
  for (int line_no = 1; read_line(line, f); ++line_no) {
    rest = line;
    if (!pop_token(rest, token)) continue;
    int node = 0, link = 0;
    double depth = 0, q = 0;
    if (!start_int(line, node, "the node", f.name, line_no) || !start_int(line, link, "the link", f.name, line_no))
      return;
    if (link < 1 || link > ms.LINKS || node < 1 || node > ms.nx[link]) {
      refuse_start_line(f.name, line_no, format_string("node %d of link %d is no node of the channel network", node, link));
      return;
    }
    if (!start_real(line, depth, 0.0, chan_limit::length, "the depth", f.name, line_no) ||
        !start_real(line, q, -HUGE_VAL, HUGE_VAL, "the discharge", f.name, line_no))
      return;
    ms.chan_depth[node][link] = depth;
    ms.yp[node][link] = depth + ms.bel[node][link];
    ms.qp[node][link] = q;
    if (depth > 1e-16) ms.chan_active = 1;
  }
}

// Discharges of the same nodes, one line per node "node link q", from the
// ".qht" file written beside the elevations: a run that continues another
// starts with the flows it ended with.
void read_discharge_start(main_state& ms) {
  file_wrapper& f = ms.chan_hotstart_q_in_file;
  if (!f.is_open()) return;
  std::string line;
  int line_no = 0;
  for (int link = 1; link <= ms.LINKS; ++link) {
    if (!is_routed_link(ms.ltype[link])) continue;
    for (int node = 1; node <= ms.nx[link]; ++node) {
      ++line_no;
      if (!read_line(line, f)) {
        say(format_string("channel discharge hotstart file %s ends early at link %d node %d\n", f.name.c_str(), link,
                          node));
        error_rec.code = already_printed_code;
        return;
      }
      int skip = 0;
      double q = 0;
      if (!start_int(line, skip, "the first number", f.name, line_no) ||
          !start_int(line, skip, "the second number", f.name, line_no) ||
          !start_real(line, q, -HUGE_VAL, HUGE_VAL, "the discharge", f.name, line_no))
        return;
      ms.qp[node][link] = q;
    }
  }
}

}  // namespace

void read_chan_hotstart(main_state& ms) {
  if (ms.chan_wse_start_on) {
    read_wse_start(ms);
    if (error_rec.code == 0) read_discharge_start(ms);
  } else if (ms.chan_hotstart_on) read_state_start(ms);
}

void setup_grid_stream(main_state& ms) {
  if (!ms.stream_cell_on) return;
  for (int link = 1; link <= ms.LINKS; ++link) {
    if (!is_routed_link(ms.ltype[link])) continue;
    if (ms.chan_dx[link] < 1e-4) {
      say(format_string("\nYour channel node spacing is %f in link %d\n", ms.chan_dx[link], link));
      say("You must specify a realistic value.  Program terminated.\n");
      error_rec.code = already_printed_code;
      report_error(error_rec);
      return;
    }
  }
  const long rows = ms.n_gst_cells, cols = ms.max_gst_nodes;
  alloc_dmat_zero(ms.gst_qlat, rows, cols, "gst_qlat");
  if (ms.gw_simulation_on || ms.stream_loss_on || ms.chan_contam_on == 1) {
    alloc_dmat_zero(ms.gst_qriv, rows, cols, "gst_qriv");
    alloc_dmat_zero(ms.gst_Vp, ms.max_nodes_per_link, ms.link_dim, "gst_Vp");
    alloc_dmat_zero(ms.gst_qriv_vol, rows, cols, "gst_qriv_vol");
  }
  if (ms.n_lakes > 0 && ms.lake_loss_on == 1) alloc_dvec(ms.lake_loss_cell, ms.n_cells, "lake_loss_cell");
}

void read_link_map(main_state& ms) {
  if (ms.channel_on != 1 || ms.conceptual_gw_on != 1) return;
  alloc_ivec(ms.con_node, ms.n_cells, "con_node");
  alloc_ivec(ms.con_link, ms.n_cells, "con_link");
  file_wrapper f;
  const std::string& path = ms.links_path;
  if (!f.open(path, "r")) {
    say(format_string("Cannot open link file: %s\n", path.c_str()));
    error_rec.code = already_printed_code;
    report_error(error_rec);
    return;
  }
  print_message("reading link map from file: %s\n", path.c_str());
  imat grid{"link_map"};
  alloc_imat_zero(grid, ms.grid_rows, ms.grid_cols, "link_map");
  double n = 0, s = 0, e = 0, w = 0;
  int rows = 0, cols = 0;
  read_ascii_map(f, path, map_integer_grid, n, s, e, w, rows, cols, grid, nullptr, nullptr, nullptr, ms.grid_rows,
                 ms.grid_cols, ms.quiet);
  if (error_rec.code != 0 || error_rec.stop) return;
  if (!map_edges_agree(ms, "link map", path, n, s, e, w)) return;
  for (int r = 1; r <= ms.grid_rows; ++r)
    for (int c = 1; c <= ms.grid_cols; ++c) {
      const int cell = ms.mask[r][c];
      if (cell >= 1 && cell <= ms.n_cells) ms.con_link[cell] = grid[r][c];
    }
}

void cconnect(main_state& ms) {
  if (ms.con_link.empty() || ms.con_node.empty()) return;  // no link map: no cell-to-link table
  for (int r = 1; r <= ms.grid_rows; ++r)
    for (int col = 1; col <= ms.grid_cols; ++col) {
      const int c = ms.mask[r][col];
      if (c > ms.n_cells) {
        warn("Warning in cconnect, vect>GNUM\n", run_log_file);
        continue;
      }
      const int link = c > 0 ? ms.con_link[c] : 0, node = c > 0 ? ms.con_node[c] : 0;
      if (link >= 1 && link <= ms.LINKS && node >= 0 && node <= ms.max_nodes_per_link) ms.con_vect[node][link] = c;
    }
}

void write_short_links(const main_state& ms) {
  file_wrapper f;
  if (!f.open("short_links.out", "w")) return;
  std::fprintf(f.fp, "Links with 1 node:\n");
  for (int link = 1; link <= ms.LINKS; ++link)
    if (ms.nx[link] == 1) std::fprintf(f.fp, "%d\n", link);
}

void write_bad_thalweg(const main_state& ms) {
  file_wrapper f;
  if (!f.open("bad_thalweg.out", "w")) return;
  std::fprintf(f.fp, "Problem    link    node    thalweg     cell    elev\n");
  std::fprintf(f.fp, "--> problem codes: 0=thalweg>cell elev, 1= difference <0.5, 2= difference<1.0, "
                     "3=difference>3.5\n");
  for (int s = 1; s <= ms.n_gst_cells; ++s)
    for (int j = 1; j <= ms.gst_ncellsingrid[s]; ++j) {
      const int l = ms.gst_link[s][j], n = ms.gst_node[s][j], c = ms.gst_gnum[s][j];
      if (l < 1 || c < 1) continue;
      if (ms.bel[n][l] > ms.elevation[c])
        std::fprintf(f.fp, "0     %4d    %4d   %lf   %d   %lf\n", l, n, ms.bel[n][l], c, ms.elevation[c]);
    }
}

void setup_channel(main_state& ms) {
  if (ms.channel_on == 0) return;
  if (console(ms)) print_message("reading channel input data from file %s\n", ms.channel_input_path.c_str());
  if (run_log_file && run_log_file->is_open())
    std::fprintf(run_log_file->fp, "reading channel input data from file %s\n", ms.channel_input_path.c_str());
  read_chan_input(ms);
  if (error_rec.code != 0) return;
  alloc_dmat_zero(ms.yp_max_flood, ms.max_nodes_per_link, ms.link_dim, "yp_max_flood");
  alloc_chan_sed_arrays(ms);
  setup_lake_totals(ms);
  allocate_routing_state(ms);
  read_chan_hotstart(ms);
  if (error_rec.code != 0) return;
  setup_nutrient_streams(ms);
  alloc_chan_constituent_arrays(ms);
  if (error_rec.stop) return;
  match_xy_stream_points(ms);
  if (ms.stream_loss_on || ms.chan_contam_on == 1) {
    alloc_dmat_zero(ms.qriv, ms.max_nodes_per_link, ms.link_dim, "qriv");
    alloc_dmat_zero(ms.av_qriv, ms.max_nodes_per_link, ms.link_dim, "av_qriv");
  }
  if (ms.stream_loss_on) alloc_dvec(ms.stream_gw_cell_vol, ms.n_cells, "stream_gw_cell_vol");
  if (ms.n_lakes > 0 && ms.lake_loss_on == 1) {
    alloc_dvec(ms.lake_source, ms.n_cells, "lake_source");
    alloc_dvec(ms.lake_gw_flux, ms.n_cells, "lake_gw_flux");
  }
  read_output_locations(ms);
  if (error_rec.stop) return;
  alloc_imat_zero(ms.con_vect, ms.max_nodes_per_link + 1, ms.link_dim + 1, "con_vect");
  alloc_dmat_zero(ms.qlat, ms.max_nodes_per_link, ms.link_dim, "qlat");
  if (ms.tool_mode != 1) print_message("Setting up the grid-stream data... \n");
  setup_grid_stream(ms);
  if (error_rec.code != 0 || error_rec.stop) return;
  if (console(ms)) print_message("done.\n");
  check_exchange_beds(ms);
  if (error_rec.code != 0 || error_rec.stop) return;
  if (!ms.stream_cell_on) cconnect(ms);
  sacramento_link_weights(ms);
  conceptual_gw_link_weights(ms);
  write_short_links(ms);
  write_bad_thalweg(ms);
}

}  // namespace kavro
