// The parts of the channel input that lie on the grid: the grid-stream file
// (which cells each channel node shares) and the channel lakes with their
// search cells, rating curves and initial extent.
#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include "channel/chan_input.h"
#include "channel/chan_input_parts.h"
#include "channel/lake_rating.h"
#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/readers.h"

namespace kavro {
namespace {

// Active cell number at (row, col), 0 outside the grid or inactive.
int cell_at(const main_state& ms, int row, int col) {
  if (row < 1 || col < 1 || row > ms.mask.size1() || col > ms.mask.size2()) return 0;
  const int c = ms.mask[row][col];
  return c >= 1 && c <= ms.n_cells ? c : 0;
}

bool refuse_gst(const std::string& file, const std::string& text) {
  say(text);
  error_rec.code = 200;
  error_rec.name = file;
  return false;
}

}  // namespace

bool read_grid_stream_file(main_state& ms) {
  chan_file f;
  f.ms = &ms;
  f.name = ms.project_params.stream_cell;
  f.load(ms.fs_stream_cell);
  std::string first = f.lines.empty() ? std::string() : f.lines[0].raw, token;
  pop_token(first, token);
  if (token.rfind("GRIDSTREAMFILE", 0) != 0)
    return refuse_gst(f.name, format_string("Error: the grid-stream file %s does not begin with GRIDSTREAMFILE.\n",
                                            f.name.c_str()));
  if (f.lines.size() < 2 || f.lines[1].code != 42)
    return refuse_gst(f.name, "The second card in the grid-stream file must be STREAMCELLS\n"
                              "File format error, program terminating.\n");
  std::string rest = f.lines[1].rest;
  // Each stream cell is a cell of the grid: at most every active cell.
  if (!f.get_int(rest, ms.n_gst_cells, 1, std::max(ms.n_cells, 1), "STREAMCELLS", f.lines[1])) {
    ms.n_gst_cells = 0;
    return refuse_gst(f.name, "");
  }
  alloc_ivec(ms.gst_ncellsingrid, std::max(ms.n_gst_cells, 1), "gst_ncellsingrid");
  int s = 0;
  ms.max_gst_nodes = 0;
  const chan_line& count_line = f.lines[1];
  for (const chan_line& l : f.lines) {
    if (l.code != 44) continue;
    rest = l.rest;
    int n = 0;
    if (!f.check_range(++s, 1, ms.n_gst_cells, "stream cell of NUMNODES", l) ||
        !f.get_int(rest, n, 0, chan_limit::cell_nodes, "NUMNODES", l))
      continue;
    ms.gst_ncellsingrid[s] = n;
    ms.max_gst_nodes = std::max(ms.max_gst_nodes, n);
  }
  if (f.n_bad) return refuse_gst(f.name, "");
  const long rows = ms.n_gst_cells, cols = std::max(ms.max_gst_nodes, 1);
  for (imat* m : {&ms.gst_link, &ms.gst_node, &ms.gst_gnum, &ms.gst_row, &ms.gst_col})
    alloc_imat_zero(*m, rows, cols, m->name());
  for (dmat* m : {&ms.gst_pct, &ms.gst_sac_weight, &ms.gst_Vlat}) alloc_dmat_zero(*m, rows, cols, m->name());
  const int numnodes_cards = s;
  s = 0;
  int entry = 1, row = 0, col = 0, cell = 0;
  // LINKNODE cards given per stream cell, and the CELLIJ line of each.
  std::vector<int> filled(static_cast<std::size_t>(ms.n_gst_cells) + 1, 0);
  std::vector<const chan_line*> cell_line(static_cast<std::size_t>(ms.n_gst_cells) + 1, &count_line);
  for (const chan_line& l : f.lines) {
    rest = l.rest;
    if (l.code == 43) {
      row = col = 0;
      if (f.get_int(rest, row, INT_MIN, INT_MAX, "CELLIJ row", l) &&
          f.get_int(rest, col, INT_MIN, INT_MAX, "CELLIJ column", l)) {
        cell = cell_at(ms, row, col);
        if (cell == 0) f.bad(l, format_string("CELLIJ %d %d is outside the grid or not an active cell", row, col));
      }
      if (!f.check_range(++s, 1, ms.n_gst_cells, "stream cell of CELLIJ", l)) s = 0;
      if (s > 0) cell_line[static_cast<std::size_t>(s)] = &l;
      entry = 1;
    } else if (l.code == 45) {
      int link = 0, node = 0;
      double pct = 0;
      if (s == 0) {
        f.bad(l, "LINKNODE before the CELLIJ card of its cell");
        continue;
      }
      // The share of the node's length that lies in the cell.
      const bool ok = f.check_range(entry, 1, ms.gst_ncellsingrid[s], "LINKNODE entry (beyond NUMNODES)", l) &&
                      f.get_int(rest, link, 1, ms.LINKS, "LINKNODE link", l) &&
                      f.get_int(rest, node, 1, ms.nx[link], "LINKNODE node", l) &&
                      f.get_real(rest, pct, 0.0, 1.0, "LINKNODE fraction", l);
      if (!ok) continue;
      ms.gst_link[s][entry] = link;
      ms.gst_node[s][entry] = node;
      ms.gst_pct[s][entry] = pct;
      ms.gst_gnum[s][entry] = cell;
      ms.gst_row[s][entry] = row;
      ms.gst_col[s][entry] = col;
      filled[static_cast<std::size_t>(s)] = entry;
      ++entry;
    }
  }
  // Every entry a NUMNODES card declares must be filled: an empty one would
  // join its cell to link 0, whose node spacing of 0 divides the lateral flow.
  if (numnodes_cards != ms.n_gst_cells || s != ms.n_gst_cells)
    f.bad(count_line, format_string("STREAMCELLS %d, but the file has %d CELLIJ and %d NUMNODES cards",
                                    ms.n_gst_cells, s, numnodes_cards));
  for (int k = 1; k <= std::min(s, numnodes_cards); ++k) {
    const int want = ms.gst_ncellsingrid[k], got = filled[static_cast<std::size_t>(k)];
    if (got != want)
      f.bad(*cell_line[static_cast<std::size_t>(k)],
            format_string("stream cell %d has %d LINKNODE cards, its NUMNODES card %d", k, got, want));
  }
  if (f.n_bad) return refuse_gst(f.name, "");
  if (!ms.quiet && ms.tool_mode != 1)
    print_message("Finished reading non-orthogonal channel information from gst file.\n");
  return true;
}

namespace {

void allocate_lakes(main_state& ms, int max_numpts, int max_numrate) {
  const long nl = ms.n_lakes + 1;
  alloc_lake_search(ms.lake_search, nl, std::max(max_numpts, 1));
  for (ivec* v : {&ms.numpts, &ms.lake_cells, &ms.yes_static_lake, &ms.yes_defined_curve_lake, &ms.numrate,
                  &ms.rating_warned})
    alloc_ivec(*v, nl, v->name());
  alloc_ivec(ms.lake2link, ms.link_dim, "lake2link");
  alloc_ivec(ms.lake_mask, ms.n_cells, "lake_mask");
  alloc_ivec(ms.new_flooded_grid, ms.n_cells, "new_flooded_grid");
  for (dvec* v : {&ms.minwse, &ms.initwse, &ms.maxwse, &ms.lake_volume, &ms.cumulative_lake_evap,
                  &ms.prevlake_volume, &ms.lake_volume_last_chan, &ms.lake_area, &ms.lake_elev, &ms.lake_in_dv,
                  &ms.lake_out_dv})
    alloc_dvec(*v, nl, v->name());
  alloc_dmat_zero(ms.pct_flooded, ms.max_nodes_per_link, ms.link_dim, "pct_flooded");
  alloc_imat_zero(ms.status_node, ms.max_nodes_per_link, ms.link_dim, "status_node");
  if (max_numrate > 0) {
    for (dmat* m : {&ms.lake_rate_elev, &ms.lake_rate_area, &ms.lake_rate_volume})
      alloc_dmat_zero(*m, nl, max_numrate, m->name());
  }
  if (ms.lake_loss_on == 1) {
    alloc_dvec(ms.Mlake, nl, "Mlake");
    alloc_ivec(ms.calc_loss, nl, "calc_loss");
  }
}

// NUMRATE n: the next n lines hold elevation, volume and area.
bool read_rating(main_state& ms, chan_file& f, size_t& i, int lake, int n) {
  for (int p = 1; p <= n; ++p) {
    if (++i >= f.lines.size()) {
      f.bad(f.lines.back(), format_string("the file ends within the %d NUMRATE lines of lake %d", n, lake));
      return false;
    }
    std::string rest = f.lines[i].raw;
    double e = 0, v = 0, a = 0;
    const chan_line& l = f.lines[i];
    if (!f.get_real(rest, e, -chan_limit::elevation, chan_limit::elevation, "NUMRATE elevation", l) ||
        !f.get_real(rest, v, 0.0, HUGE_VAL, "NUMRATE volume", l) || !f.get_real(rest, a, 0.0, HUGE_VAL, "NUMRATE area", l))
      return false;
    ms.lake_rate_elev[lake][p] = e;
    ms.lake_rate_volume[lake][p] = v;
    ms.lake_rate_area[lake][p] = a;
  }
  return true;
}

// NUMPTS n: n row/column pairs, ten to a line, on the lines that follow.
bool read_search_cells(main_state& ms, chan_file& f, size_t& i, int lake, int n) {
  std::string rest;
  for (int p = 1; p <= n; ++p) {
    if ((p - 1) % 10 == 0) {
      if (++i >= f.lines.size()) {
        f.bad(f.lines.back(), format_string("the file ends within the %d NUMPTS cells of lake %d", n, lake));
        return false;
      }
      rest = f.lines[i].raw;
    }
    int row = 0, col = 0;
    if (!f.get_int(rest, row, INT_MIN, INT_MAX, "NUMPTS row", f.lines[i]) ||
        !f.get_int(rest, col, INT_MIN, INT_MAX, "NUMPTS column", f.lines[i]))
      return false;
    if (cell_at(ms, row, col) == 0)
      f.bad(f.lines[i], format_string("lake %d search cell %d %d is outside the grid or not an active cell", lake,
                                      row, col));
    ms.lake_search[lake][1][p] = row;
    ms.lake_search[lake][2][p] = col;
  }
  return true;
}

void mark_cell(main_state& ms, int lake, int cell) {
  ms.lake_mask[cell] = lake;
  ++ms.lake_cells[lake];
  if (ms.lake_loss_on == 1 && ms.calc_loss[lake] == 1 && ms.gw_simulation_on == 1 && !ms.gwbound.empty())
    ms.gwbound[cell] = 7;
}

void initial_lake_state(main_state& ms, int j) {
  const double cell_area = ms.dx * ms.dx;
  ms.lake_volume[j] = 0;
  ms.lake_cells[j] = 0;
  ms.lake_in_dv[j] = ms.lake_out_dv[j] = 0;
  if (ms.yes_defined_curve_lake[j]) {
    ms.lake_elev[j] = ms.initwse[j];
    ms.lake_volume[j] =
        lake_rating_interp(j, ms.initwse[j], ms.numrate[j], ms.lake_rate_elev, ms.lake_rate_volume, ms.rating_warned);
    ms.lake_area[j] =
        lake_rating_interp(j, ms.lake_volume[j], ms.numrate[j], ms.lake_rate_volume, ms.lake_rate_area, ms.rating_warned);
    ms.prevlake_volume[j] = ms.lake_volume[j];
    for (int p = 1; p <= ms.numpts[j]; ++p) {
      const int c = cell_at(ms, ms.lake_search[j][1][p], ms.lake_search[j][2][p]);
      if (ms.yes_static_lake[j] || ms.elevation[c] + 1e-7 < ms.initwse[j]) mark_cell(ms, j, c);
    }
    return;
  }
  for (int p = 1; p <= ms.numpts[j]; ++p) {
    const int c = cell_at(ms, ms.lake_search[j][1][p], ms.lake_search[j][2][p]);
    if (ms.elevation[c] + 1e-7 < ms.initwse[j]) {
      mark_cell(ms, j, c);
      ms.lake_volume[j] += (ms.initwse[j] - ms.elevation[c]) * cell_area;
    }
  }
  if (ms.lake_cells[j] == 0) {
    say(format_string("The initial water surface elevation specified for lake %d is below all overland cell "
                      "elevations in the lake \n",
                      j));
    say("Consider raising you initial lake elevation to inundate at least one overland cell in the lake \n");
    say("KAVRO will proceed with your specified initial water surface elevation assuming one overland cell is "
        "inundated \n");
    say("Expect problems if you choose to proceed in this manner \n");
    ms.lake_cells[j] = 1;
  }
  ms.lake_elev[j] = ms.initwse[j];
  ms.prevlake_volume[j] = ms.lake_volume_last_chan[j] = ms.lake_volume[j];
  ms.lake_area[j] = ms.lake_cells[j] * cell_area;
}

}  // namespace

bool read_lakes(main_state& ms, chan_file& f, int max_numpts, int max_numrate) {
  allocate_lakes(ms, max_numpts, max_numrate);
  int link = 0, lake = 0;
  bool mlake_seen = false;
  for (size_t i = 0; i < f.lines.size(); ++i) {
    const chan_line& l = f.lines[i];
    std::string rest = l.rest;
    int n = 0;
    switch (l.code) {
      case 8: n = quiet_int(rest), link = (n >= 1 && n <= ms.LINKS) ? n : 0; break;
      case 20:
        if (++lake > ms.n_lakes) lake = ms.n_lakes;
        if (link) ms.lake2link[link] = lake;
        break;
      case 21:
        if (lake >= 1 && !ms.Mlake.empty()) {
          f.get_real(rest, ms.Mlake[lake], 0.0, HUGE_VAL, "MLAKE", l);
          ms.calc_loss[lake] = 1;
        }
        mlake_seen = true;
        break;
      case 31: if (lake >= 1) ms.yes_static_lake[lake] = 1; break;
      case 32:
        n = quiet_int(rest);  // judged when counted
        if (lake < 1 || !f.check_range(n, 0, static_cast<int>(ms.lake_rate_elev.size2()), "NUMRATE", l)) break;
        ms.numrate[lake] = n;
        ms.yes_defined_curve_lake[lake] = 1;
        if (!read_rating(ms, f, i, lake, n)) return false;
        break;
      case 62:
        if (lake >= 1) f.get_real(rest, ms.minwse[lake], -chan_limit::elevation, chan_limit::elevation, "MINWSE", l);
        break;
      case 63:
        if (lake >= 1) f.get_real(rest, ms.initwse[lake], -chan_limit::elevation, chan_limit::elevation, "INITWSE", l);
        break;
      case 64:
        if (lake >= 1) f.get_real(rest, ms.maxwse[lake], -chan_limit::elevation, chan_limit::elevation, "MAXWSE", l);
        break;
      case 65:
        n = quiet_int(rest);  // judged when counted
        if (lake < 1 || !f.check_range(n, 0, static_cast<int>(ms.lake_search.size3()), "NUMPTS", l)) break;
        ms.numpts[lake] = n;
        if (!read_search_cells(ms, f, i, lake, n)) return false;
        break;
      default: break;
    }
  }
  if (f.n_bad) return false;
  for (int j = 1; j <= ms.n_lakes; ++j) {
    print_message("Minimum Water Surface Elevation Lake #%d: %.2lf\n", j, ms.minwse[j]);
    print_message("Initial Water Surface Elevation Lake #%d: %.2lf\n", j, ms.initwse[j]);
    print_message("Maximum Water Surface Elevation Lake #%d: %.2lf\n", j, ms.maxwse[j]);
    print_message("number of coords for lake #%d's search order: %d\n", j, ms.numpts[j]);
    if (ms.lake_loss_on == 1 && !mlake_seen && ms.m_lake_on == 0) {
      ms.Mlake[j] = ms.m_lake;
      ms.calc_loss[j] = 1;
    }
    if (ms.lake_loss_on == 1 && ms.calc_loss[j] == 1)
      print_message("Simulating Lake Losses for Lake #%d, Bed Thickness: %.1lf cm\n", j, ms.Mlake[j]);
    initial_lake_state(ms, j);
  }
  return true;
}

}  // namespace kavro
