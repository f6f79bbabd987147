// Time-series outputs of the pipe networks: flows at the listed
// superjunctions and superlink nodes, the discharges of the drain outlets,
// and the superlink link/node datasets of reach flows, node heads and tile
// flows. Flows in m3/s (ft3/s with card QOUT_CFS), heads in m.
#include <algorithm>
#include <cstdio>

#include "channel/pipe_networks.h"
#include "framework/main_state.h"
#include "output/timeseries_output.h"

namespace kavro {
namespace {

// Flow at node `node` (file numbering) of superlink `link`: the flow of the
// reach that leaves the node, or of the last reach at the last node.
double node_flow(const main_state& ms, int link, int node) {
  const superlink_work& w = ms.sl_work;
  if (!w.made || link < 1 || link > ms.n_sl_links) return 0.0;
  int k = node;
  if (ms.superlink_c_opt_on && node >= 1 && node <= ms.nnodes[link] + 1) k = ms.otc_node[node][link];
  const int n = w.numnodes[link];
  return k >= 1 ? w.Q[link][std::min(k, n)] : 0.0;
}

void write_dataset(std::FILE* out, const main_state& ms, int step, int extra, double (*value)(const main_state&, int, int)) {
  std::fprintf(out, "TS    %d\n", step);
  for (int m = 1; m <= ms.n_sl_links; ++m) {
    const int n = ms.superlink_cnodes[m] + extra;
    std::fprintf(out, "%d   ", n);
    for (int k = 1; k <= n; ++k) std::fprintf(out, "1  %6.5lf   ", value(ms, m, k));
    std::fputc('\n', out);
  }
  std::fputc('\n', out);
}

double reach_flow(const main_state& ms, int m, int k) { return ms.sl_work.made ? ms.sl_work.Q[m][k] : 0.0; }
double node_head(const main_state& ms, int m, int k) { return ms.slink_node_Zinv[k][m] + ms.slink_node_depth[k][m]; }
double tile_flow(const main_state& ms, int m, int k) { return ms.superlink_tile_flow[k][m]; }

}  // namespace

void write_pipe_point_rows(main_state& ms, double f, double long_term_time) {
  if (ms.storm_sewer_on) {
    if (ms.superlink_junc_flow_on && ms.fs_superlink_junc_out.is_open()) {
      std::FILE* out = ms.fs_superlink_junc_out.fp;
      write_location_time(out, ms, long_term_time);
      for (int k = 1; k <= ms.n_sl_junc_locations; ++k) std::fprintf(out, "%16.8lf ", ms.sjunc_flow[ms.sjunc[k]] * f);
      std::fputc('\n', out);
    }
    if (ms.superlink_node_flow_on && ms.fs_superlink_node_out.is_open()) {
      std::FILE* out = ms.fs_superlink_node_out.fp;
      write_location_time(out, ms, long_term_time);
      for (int k = 1; k <= ms.n_sl_node_locations; ++k)
        std::fprintf(out, "%16.8lf ", node_flow(ms, ms.sl_link[k], ms.sl_node[k]) * f);
      std::fputc('\n', out);
    }
  }
  if (ms.storm_drain_on && ms.drain_output_on && ms.drain && ms.drain_output_file.is_open()) {
    const drain_network& d = *ms.drain;
    std::FILE* out = ms.drain_output_file.fp;
    write_location_time(out, ms, long_term_time);
    for (int i = 1; i <= d.n_junctions; ++i) {
      const int type = d.inlet_type[0][i];
      if (type == outlet_to_superlink || type == outlet_to_cell || type == outlet_to_channel)
        std::fprintf(out, "%16.8lf ", d.junc_flow[i] * f);
    }
    std::fputc('\n', out);
  }
}

void write_pipe_datasets(main_state& ms) {
  if (!ms.storm_sewer_on) return;
  if (ms.project_params.use_pipe_flow && ms.pipe_flow_file.is_open())
    write_dataset(ms.pipe_flow_file.fp, ms, ms.ts_count_sl_flow++, 0, reach_flow);
  if (ms.project_params.use_pipe_head && ms.pipe_head_file.is_open())
    write_dataset(ms.pipe_head_file.fp, ms, ms.ts_count_sl_head++, 1, node_head);
  if (ms.project_params.use_pipe_tile && ms.pipe_tile_file.is_open() && !ms.superlink_tile_flow.empty())
    write_dataset(ms.pipe_tile_file.fp, ms, ms.ts_count_sl_tile++, 0, tile_flow);
}

}  // namespace kavro
