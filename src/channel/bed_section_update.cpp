// The cross-section of an erodible breakpoint node after erosion or
// deposition: the sand volume the node lost or gained (as bed volume,
// pores included) is taken from or laid on the wet part of the profile,
// most in the deepest part, until the volume between the old and the new
// profile equals it.
#include <algorithm>
#include <cmath>

#include "channel/breakpoint_tables.h"
#include "channel/cross_sections.h"
#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/readers.h"

namespace kavro {
namespace {

constexpr int max_segments = 50;
constexpr int max_iterations = 500;
constexpr double volume_tolerance = 1e-5;  // relative

void say(const std::string& text) { print_and_log(run_log_file, text); }

void stop_run(const main_state& ms, const std::string& text) {
  say(text);
  error_rec.code = 200;
  error_rec.name = ms.channel_input_path;
}

void take_min_bel(main_state& ms) {
  alloc_dmat_zero(ms.min_bel, ms.max_nodes_per_link, ms.LINKS + 1, "min_bel");
  for (long node = 0; node <= ms.max_nodes_per_link && node <= ms.bel.size1(); ++node)
    for (long link = 0; link <= ms.LINKS + 1 && link <= ms.bel.size2(); ++link)
      ms.min_bel[node][link] = ms.bel[node][link] - (ms.max_eros.empty() ? 0.0 : ms.max_eros[node][link]);
  ms.min_bel_set = 1;
}

struct wet_segment {
  int start, end;
};

// Wet segments of the old profile at `level`; -1 for a 50th segment.
int find_segments(const double* y, int np, double level, wet_segment* seg) {
  int m = 0, begin = 0;
  bool wet = false;
  for (int k = 1; k <= np; ++k) {
    if (!wet && y[k] <= level) {
      if (m + 1 >= max_segments) return -1;
      seg[m++] = {std::max(k - 1, 1), np};
      wet = true;
      begin = k;
    } else if (wet && y[k] >= level && k != begin) {
      seg[m - 1].end = k;
      wet = false;
    }
  }
  return m;
}

// Moves one node's profile by the bed volume dz (m3, positive erosion).
// False when the run must stop.
bool update_node(main_state& ms, int link, int j, double dz) {
  const int slot = ms.bplink[link];
  const int t = ms.table_num[j][link];
  if (t < 1) {
    stop_run(ms, format_string("In read_chan_input.c - 3\nprogram stopped for negative depth, node %d, link %d\n", j, link));
    return false;
  }
  const int np = ms.numpairs[t];
  double* x = ms.xsec_scratch_x.data();
  double* y = ms.xsec_scratch_y.data();
  double* y_old = ms.xsec_scratch_y_old.data();
  for (int k = 1; k <= np; ++k) {
    x[k] = ms.xbp_lnn[slot][j][k];
    y[k] = y_old[k] = ms.ybp_lnn[slot][j][k];
  }
  const double hd = ms.max_yp[slot][j] - ms.bel[j][link];
  if (hd < 0) {
    stop_run(ms, format_string("In read_chan_input.c - 3\nprogram stopped for negative depth, node %d, link %d\n", j, link));
    return false;
  }
  if (hd <= 1e-16) return true;  // never wet: no wet profile to move
  const double ymin = *std::min_element(y_old + 1, y_old + np + 1);
  const double dx = ms.chan_dx[link];
  const int m = std::min(ms.numhts[t], static_cast<int>(hd / ms.ht_spc[t]) + 1);
  const double perimeter = ms.xp[m][t];
  double dh = dz / (perimeter * dx);
  if (std::fabs(dh) > hd) {
    say("In xsec_update.c - 3\n");
    say("It is impossible that change of stream bed elevation is greater than maximum channel depth\n");
    say("Setting the change in stream bed elevation equal to the depth of the channel\n");
    dh = dh < -1e-16 ? -hd : hd;
    dz = perimeter * dx * dh;
  }
  wet_segment seg[max_segments];
  const int n_seg = find_segments(y_old, np, m * ms.ht_spc[t] + ymin, seg);
  if (n_seg < 0) {
    say("There is a serious problem with a channel cross-section in\n");
    say(format_string("link %d.  The cross-section interpolation routine has found\n", link));
    say("that this cross-section is very jagged, with over 50 'islands'\n");
    say("for certain depths.  Calculating cross-section properties in\n");
    say("this case is very dubious.  Check your cross section, smooth\n");
    say("it if necessary and try again.\n");
    error_rec.code = already_printed_code;
    report_error(error_rec);
    return true;
  }
  double v = 0.0;
  for (int n = 1;; ++n) {
    v = 0.0;
    double w_len = 0.0;
    for (int s = 0; s < n_seg; ++s) {
      y[seg[s].start] = y_old[seg[s].start];
      for (int k = seg[s].start + 1; k <= seg[s].end; ++k) {
        double w = std::min(1.0, (y_old[k] - ymin) / hd);
        if (dz < 0) w = std::sqrt(w);
        y[k] -= (1.0 - w) * dh;
        v += ((y_old[k] - y[k]) + (y_old[k - 1] - y[k - 1])) * (x[k] - x[k - 1]) / 2.0 * dx;
        w_len += std::hypot(x[k] - x[k - 1], y[k] - y[k - 1]);
      }
    }
    if (n > max_iterations) {
      stop_run(ms, format_string("In xsec_update- \nprogram stopped for difficulty in convergence, node %d, link %d\n", j,
                             link));
      return false;
    }
    if (std::fabs((v - dz) / dz) <= volume_tolerance) break;
    dh = (dz - v) / (w_len * dx);
  }
  const double lowest = *std::min_element(y + 1, y + np + 1);
  ms.new_bel[j][link] = std::max(ms.new_bel[j][link] + lowest - ymin, ms.min_bel[j][link]);
  if (ms.sed_control.adjust_channel_bed_on != 1) return true;
  for (int k = 1; k <= np; ++k) {
    ms.xbp_lnn[slot][j][k] = x[k];
    ms.ybp_lnn[slot][j][k] = y[k];
  }
  ms.bel[j][link] = ms.new_bel[j][link];
  xsec_props_table(ms, link, j);
  return error_rec.code == 0;
}

}  // namespace

int xsec_update(main_state& ms) {
  if (!ms.min_bel_set) take_min_bel(ms);
  const double solid = 1.0 - ms.sed_porosity;
  for (int link = 1; link <= ms.LINKS; ++link) {
    if ((ms.ltype[link] & 10) != 10) continue;
    const int slot = ms.bplink[link];
    for (int j = 1; j <= ms.nx[link]; ++j) {
      const double dz = (ms.bp_sand_vol[slot][j] - ms.ch_sand_vol[j][link][0]) / solid;
      if (!(std::fabs(dz) > 1e-16)) continue;
      if (dz > 0 && !(ms.new_bel[j][link] > ms.min_bel[j][link])) continue;
      if (!update_node(ms, link, j, dz)) return 0;
    }
  }
  return 0;
}

}  // namespace kavro
