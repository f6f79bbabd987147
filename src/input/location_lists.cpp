#include "input/location_lists.h"

#include <cstdio>
#include <string>

#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/number_text.h"
#include "framework/readers.h"
#include "framework/run_warnings.h"
#include "input/cell_loaders.h"
#include "input/grid_connectivity.h"

namespace kavro {

namespace {

// The integers of one list file in reading order, across lines. Every
// failure prints its message naming the file and the entry and reports it.
class list_reader {
 public:
  list_reader(file_wrapper& f, const std::string& path) : f_(f), path_(path) {}

  // The next integer of entry `entry` (0 for the header); false after a
  // reported failure.
  bool next(int& out, int entry) {
    std::string token;
    while (!pop_token(line_, token)) {
      if (!read_line(line_, f_)) {
        fail(format_string("End of file reached in file %s, exiting\n", path_.c_str()));
        return false;
      }
    }
    if (read_int(token, out, -2147483647, 2147483647) == number_fault::none) return true;
    fail(entry == 0 ? format_string("Error: the count \"%s\" in file %s is not a whole number.\n",
                                    printable(token).c_str(), path_.c_str())
                    : format_string("Error: entry %d of file %s holds \"%s\", not a whole number.\n", entry,
                                    path_.c_str(), printable(token).c_str()));
    return false;
  }

  bool count(int& n) {
    if (!next(n, 0)) return false;
    if (n < 0) {
      fail(format_string("Error: the count %d in file %s is negative.\n", n, path_.c_str()));
      return false;
    }
    return true;
  }

  // A row and column of entry `entry`, both inside the grid.
  bool cell(const main_state& ms, int entry, int& row, int& col) {
    if (!next(row, entry) || !next(col, entry)) return false;
    if (row >= 1 && row <= ms.rows && col >= 1 && col <= ms.cols) return true;
    fail(format_string("Error: entry %d of file %s is at row %d column %d, outside the grid of %d rows and %d "
                       "columns.\n",
                       entry, path_.c_str(), row, col, ms.rows, ms.cols));
    return false;
  }

  void fail(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    error_rec.code = already_printed_code;
    report_error(error_rec);
  }

 private:
  file_wrapper& f_;
  const std::string& path_;
  std::string line_;
};

// A list of link and node pairs (or of single numbers when `second` is null).
void read_pairs(file_wrapper& f, const std::string& path, int& count, ivec& first, ivec* second) {
  list_reader in(f, path);
  int n = 0;
  if (!in.count(n)) return;
  count = n;
  alloc_ivec(first, n + 1L, first.name());
  if (second) alloc_ivec(*second, n + 1L, second->name());
  for (int k = 1; k <= n; ++k) {
    if (!in.next(first[k], k)) return;
    if (second && !in.next((*second)[k], k)) return;
  }
}

}  // namespace

void read_hyd_locations(main_state& ms) {
  if (!ms.in_hyd_location_on) return;
  read_pairs(ms.fs_in_hyd_location, ms.in_hyd_location_path, ms.n_hyd_locations, ms.hlink, &ms.hnode);
  if (!error_rec.stop) ms.fs_in_hyd_location.close();
}

void read_gwflux_locations(main_state& ms) {
  if (!ms.in_gwflux_location_on) return;
  read_pairs(ms.fs_in_gwflux_location, ms.in_gwflux_location_path, ms.n_gwflux_locations, ms.gwflink,
             &ms.gwfnode);
  if (!error_rec.stop) ms.fs_in_gwflux_location.close();
}

void read_sed_locations(main_state& ms) {
  if (!ms.in_sed_loc_on || !ms.ov_sed_out_on) return;
  read_pairs(ms.fs_in_sed_loc, ms.in_sed_loc_path, ms.n_sed_locations, ms.slink, &ms.snode);
  if (error_rec.stop) return;
  ms.fs_in_sed_loc.close();
  if (!ms.fs_out_sed_loc.is_open()) return;
  std::fprintf(ms.fs_out_sed_loc.fp, "%d\n", ms.n_sed_locations);
  for (int k = 1; k <= ms.n_sed_locations; ++k) std::fprintf(ms.fs_out_sed_loc.fp, "%4d %4d\n", ms.slink[k], ms.snode[k]);
}

void read_superlink_junc_locations(main_state& ms) {
  if (!ms.superlink_junc_location_on) return;
  read_pairs(ms.fs_superlink_junc_location, ms.superlink_junc_location_path, ms.n_sl_junc_locations, ms.sjunc,
             nullptr);
}

void read_superlink_node_locations(main_state& ms) {
  if (!ms.superlink_node_location_on) return;
  read_pairs(ms.fs_superlink_node_location, ms.superlink_node_location_path, ms.n_sl_node_locations, ms.sl_link,
             &ms.sl_node);
}

void read_cell_locations(main_state& ms) {
  if (!ms.in_celldepdis_location_on) return;
  list_reader in(ms.fs_in_celldepdis_location, ms.in_celldepdis_location_path);
  int n = 0;
  if (!in.count(n)) return;
  ms.n_cell_locations = n;
  alloc_ivec(ms.celrowloc, n + 1L, "celrowloc");
  alloc_ivec(ms.celcolloc, n + 1L, "celcolloc");
  alloc_ivec(ms.gnumlocater, n + 1L, "gnumlocater");
  for (int k = 1; k <= n; ++k)
    if (!in.cell(ms, k, ms.celrowloc[k], ms.celcolloc[k])) return;
  ms.fs_in_celldepdis_location.close();
  for (int k = 1; k <= n; ++k) {
    find_cell_number(ms.mask, ms.map_rows, ms.map_cols, ms.celrowloc, ms.celcolloc, ms.gnumlocater, k);
    if (ms.gnumlocater[k] == 0)
      warn(format_string("Warning: entry %d of file %s, row %d column %d, lies outside the watershed; its depth "
                         "and discharge are written as 0.\n",
                         k, ms.in_celldepdis_location_path.c_str(), ms.celrowloc[k], ms.celcolloc[k]));
  }
}

namespace {

// Every link and node of a list names a node of the channel network; a list
// that names another would write nothing, or read outside the network.
bool check_link_nodes(const main_state& ms, const std::string& path, int count, const ivec& links,
                      const ivec& nodes) {
  for (int k = 1; k <= count && k <= links.size() && k <= nodes.size(); ++k) {
    const int link = links[k], node = nodes[k];
    std::string why;
    if (ms.channel_on == 0 || ms.LINKS < 1)
      why = format_string("link %d, but the project has no channel network (card CHANNEL_INPUT)", link);
    else if (link < 1 || link > ms.LINKS)
      why = format_string("link %d; the channel network has links 1 to %d", link, ms.LINKS);
    else if (node < 1 || link > ms.nx.size() || node > ms.nx[link])
      why = format_string("node %d of link %d; the link has nodes 1 to %d", node, link,
                          link <= ms.nx.size() ? ms.nx[link] : 0);
    if (why.empty()) continue;
    std::printf("Error: entry %d of file %s names %s.\n", k, path.c_str(), why.c_str());
    error_rec.code = already_printed_code;
    report_error(error_rec);
    return false;
  }
  return true;
}

}  // namespace

void read_output_locations(main_state& ms) {
  read_hyd_locations(ms);
  if (error_rec.stop) return;
  if (ms.in_hyd_location_on &&
      !check_link_nodes(ms, ms.in_hyd_location_path, ms.n_hyd_locations, ms.hlink, ms.hnode))
    return;
  read_gwflux_locations(ms);
  if (error_rec.stop) return;
  if (ms.in_gwflux_location_on &&
      !check_link_nodes(ms, ms.in_gwflux_location_path, ms.n_gwflux_locations, ms.gwflink, ms.gwfnode))
    return;
  read_cell_locations(ms);
  if (error_rec.stop) return;
  read_sed_locations(ms);
  if (error_rec.stop) return;
  if (ms.in_sed_loc_on && ms.ov_sed_out_on &&
      !check_link_nodes(ms, ms.in_sed_loc_path, ms.n_sed_locations, ms.slink, ms.snode))
    return;
  // The superlink lists are read by the pipe network's set-up, once the
  // network they name is known.
}

void read_output_cell_list(main_state& ms) {
  if (ms.in_theta_location_on != 1) return;
  list_reader in(ms.fs_in_theta_location, ms.in_theta_location_path);
  int n = 0, k_max = 0;
  if (!in.count(n)) return;
  if (ms.richards_on && !in.next(k_max, 0)) return;
  if (k_max < 0) {
    in.fail(format_string("Error: the largest node count %d in file %s is negative.\n", k_max,
                          ms.in_theta_location_path.c_str()));
    return;
  }
  ms.n_output_cells = n;
  alloc_ivec(ms.cell_loc, n + 1L, "cell_loc");
  alloc_ivec(ms.cell_num, n + 1L, "cell_num");
  if (ms.richards_on && !alloc_imat_zero(ms.cell_theta_nodes, n + 1L, k_max + 1L, "cell_num")) {
    std::printf("Error allocating memory for variable %s\n", "cell_num");
    error_rec.code = already_printed_code;
    report_error(error_rec);
    return;
  }
  for (int i = 1; i <= n; ++i) {
    int row = 0, col = 0;
    if (!in.cell(ms, i, row, col)) return;
    ms.cell_loc[i] = ms.mask[row][col];
    if (!ms.richards_on) continue;
    int m = 0;
    if (!in.next(m, i)) return;
    if (m < 0 || m > k_max) {
      in.fail(format_string("Error: entry %d of file %s lists %d soil-column nodes; the file allows 0 to %d.\n", i,
                            ms.in_theta_location_path.c_str(), m, k_max));
      return;
    }
    ms.cell_num[i] = m;
    for (int j = 1; j <= m; ++j)
      if (!in.next(ms.cell_theta_nodes[i][j], i)) return;
  }
}

}  // namespace kavro
