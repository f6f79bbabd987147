#include "framework/peak_progress.h"

#include <cstdio>

#include "framework/main_state.h"

namespace kavro {

namespace {

// The surface or channel process ran on this pass: the progress line
// follows the slower of them. Exact comparisons: the step stores the very
// time it acted at.
bool progress_due(const main_state& ms) {
  if (ms.channel_on == 0 && ms.chan_mesh_on == 0) return ms.now == ms.precip_period_start;
  return ms.now == ms.last_chan_time;
}

bool node_exists(const main_state& ms, long node, long link) {
  return link >= 1 && link <= ms.nx.size() && node >= 1 && node <= ms.nx[link] && node <= ms.qp.size1() &&
         link <= ms.qp.size2();
}

// Depth and discharge extremes over the nodes of every link but the last;
// the first node in scan order wins a tie.
stream_extremes_record scan_stream_extremes(const main_state& ms) {
  stream_extremes_record e;
  e.info_max_depth = -5000.0;
  e.info_min_depth = 5000.0;
  e.info_max_qp = -5000.0;
  e.info_min_qp = 5000.0;
  e.max_depth_node = e.max_depth_link = e.min_depth_node = e.min_depth_link = -1;
  e.max_qp_node = e.max_qp_link = e.min_qp_node = e.min_qp_link = -1;
  for (int link = 1; link < ms.LINKS; ++link) {
    for (int node = 1; node_exists(ms, node, link); ++node) {
      const double d = ms.yp[node][link] - ms.bel[node][link];
      if (d < e.info_min_depth) e.info_min_depth = d, e.min_depth_node = node, e.min_depth_link = link;
      if (d > e.info_max_depth) e.info_max_depth = d, e.max_depth_node = node, e.max_depth_link = link;
      const double q = ms.qp[node][link];
      if (q < e.info_min_qp) e.info_min_qp = q, e.min_qp_node = node, e.min_qp_link = link;
      if (q > e.info_max_qp) e.info_max_qp = q, e.max_qp_node = node, e.max_qp_link = link;
    }
  }
  return e;
}

void print_stream_extremes(const stream_extremes_record& e) {
  std::printf("    ==> Max Yp (N %d, L %d) = %lf\n", e.max_depth_node, e.max_depth_link, e.info_max_depth);
  std::printf("    ==> Min Yp (N %d, L %d) = %lf\n", e.min_depth_node, e.min_depth_link, e.info_min_depth);
  std::printf("    ==> Max Qp (N %d, L %d) = %lf\n", e.max_qp_node, e.max_qp_link, e.info_max_qp);
  std::printf("    ==> Min Qp (N %d, L %d) = %lf\n", e.min_qp_node, e.min_qp_link, e.info_min_qp);
}

}  // namespace

void track_peak_step(main_state& ms) {
  // Strictly greater: a later equal discharge keeps the first time of the peak.
  if (ms.qout > ms.peak_q) {
    ms.peak_q = ms.qout;
    ms.peak_year = ms.cur_year;
    ms.peak_month = ms.cur_month;
    ms.peak_day = ms.cur_day;
    ms.peak_hour = ms.cur_hour;
    ms.peak_minute = ms.cur_minute;
    ms.peak_second = ms.cur_second;
    ms.peak_time = ms.now;
  }
  if (!(ms.optimize_on && ms.in_hyd_location_on && ms.channel_on) || ms.optimize_sed_on) return;
  for (long i = 1; i <= ms.n_hyd_locations && i <= ms.hyd_loc_max_q.size(); ++i) {
    if (!node_exists(ms, ms.hnode[i], ms.hlink[i])) continue;
    const double q = ms.qp[ms.hnode[i]][ms.hlink[i]];
    if (q >= ms.hyd_loc_max_q[i]) ms.hyd_loc_max_q[i] = q;
  }
}

void progress_step(main_state& ms) {
  if (!progress_due(ms) || ms.quiet_on) return;
  if (!ms.quiet && ms.tool_mode != 1) {
    const bool cfs = ms.qout_cfs_on != 0;
    std::printf("event %2d elapsed time %8.2lf  %2d/%2.2d/%2.2d %2.2d:%2.2d:%2.2d Qout=%16.8lf %s\n",
                ms.event_no, ms.elapsed_min, ms.cur_month, ms.cur_day, ms.cur_year, ms.cur_hour,
                ms.cur_minute, ms.cur_second, cfs ? ms.m3_to_ft3 * ms.qout : ms.qout, cfs ? "cfs" : "cms");
  }
  if (ms.flush_on) {
    ++ms.flush_counter;
    if (ms.flush_counter == ms.flush_buffer) {
      std::fflush(stdout);
      ms.flush_counter = 0;
    }
  }
  if (ms.project_params.use_stream_info) {
    ms.stream_extremes = scan_stream_extremes(ms);
    print_stream_extremes(ms.stream_extremes);
  }
}

}  // namespace kavro
