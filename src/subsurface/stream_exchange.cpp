// Seepage between the aquifer and the surface waters above it: channel
// nodes through their river bed (Darcy flow across a bed of thickness Mrb
// and conductivity Krb over the wetted width), channel lakes through their
// lake bed (thickness Mlake, the conductivity of the soil below), and the
// coupling that moves the seepage while the channel routing is asleep.
#include "subsurface/stream_exchange.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/channel_routing.h"
#include "channel/cross_sections.h"
#include "channel/link_kinds.h"
#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/event_schedules.h"
#include "framework/main_state.h"
#include "framework/readers.h"

namespace kavro {
namespace {

constexpr int river_cell_type = 4;  // groundwater boundary type of a cell a stream runs through
constexpr int lake_cell_type = 7;   // groundwater boundary type of a cell under a seeping lake
constexpr double seconds_per_day = 86400.0;

void say(const std::string& text) { print_and_log(run_log_file, text); }

// A grid-stream entry the stream exchange looks at: its link carries water
// of its own (no lake, structure or captured link) and, with channel lakes,
// its node still belongs to the link.
bool exchange_admits(const main_state& ms, int link, int node) {
  if (link < 1 || link > ms.LINKS) return false;
  const int lt = ms.ltype[link];
  if ((lt & structure_bit) || (lt & lake_bit) || is_captured_section(lt)) return false;
  return !(ms.lakes_on && node > ms.nx[link]);
}

// With the groundwater model on, only river cells exchange with streams.
bool river_cell(const main_state& ms, int cell) {
  return !ms.gw_simulation_on || ms.gwbound[cell] == river_cell_type;
}

bool refuse_table(const char* text) {
  std::fputs(text, stderr);
  error_rec.code = already_printed_code;
  report_error(error_rec);
  return false;
}

// Wetted width (m) of node `node` of link `link` at depth d (m), by the
// link's section; false after a table number outside the tables (printed,
// reported). A link without a section of its own exchanges nothing.
bool wetted_width(const main_state& ms, int link, int node, double d, double& w) {
  const int lt = ms.ltype[link];
  const int col = ms.ldex[link];
  w = 0.0;
  if (lt & trapezoid_bit) {
    w = ms.bottom[node][col] + 2.0 * d * ms.sslope[node][col];
  } else if (lt & 16) {  // trapezoid with an overbank side slope above bankfull
    w = ms.bottom[node][col] + 2.0 * d * ms.sslope[node][col];
    const double bf = ms.bankfull_dep[node][link];
    if (d > bf) w += 2.0 * (d - bf) * ms.sslope2[node][col];
  } else if (lt & breakpoint_bit) {
    const int t = ms.table_num[node][link];
    if (t > ms.n_xsec_tables) return refuse_table("Error in section: Request for table beyond max. table number.\n");
    if (t < 1)
      return refuse_table(
          format_string("Error in section: Request for table number %d, below 1, at node %d link %d.\n", t, node, link)
              .c_str());
    const double step = ms.ht_spc[t];
    const int n = ms.numhts[t];
    if (n < 1 || !(step > 0)) return true;
    if (d < step) {
      w = ms.xtw[1][t] * std::pow(d / step, 5.0 / 3.0);
    } else if (d <= n * step) {
      const int i = static_cast<int>(d / step);
      if (i + 1 > n) {
        w = ms.xtw[i][t];
      } else {
        const double f = (d - i * step) / step;
        w = (1.0 - f) * ms.xtw[i][t] + f * ms.xtw[i + 1][t];
      }
    } else if (n < 2) {
      w = ms.xtw[n][t];  // one height step gives no slope: the width stays
    } else {
      w = ms.xtw[n][t] + ((d - n * step) / step) * (ms.xtw[n][t] - ms.xtw[n - 1][t]);
    }
  }
  return true;
}

// Seepage (m2/s, positive into the channel) of the entry of cell `cell` on
// node `node` of link `link`; false after a table error.
bool entry_seepage(const main_state& ms, int cell, int link, int node, double& q) {
  q = 0.0;
  const double z = ms.bel[node][link], d = ms.chan_depth[node][link], s = z + d;
  const double leak = ms.Krb[node][link] / 3600.0 / ms.Mrb[node][link];  // bed conductance (1/s)
  double w = 0.0;
  if (!ms.water_table_on) {
    if (d <= 1e-16) return true;
    if (!wetted_width(ms, link, node, d > 1e-6 ? d : 0.0, w)) return false;
    q = -leak * d * w;
    return true;
  }
  const double h = ms.elevgw[cell];
  if (h <= z) {  // the channel loses through an unsaturated bed: by its depth alone
    if (d <= 1e-6) return true;
    if (!wetted_width(ms, link, node, d, w)) return false;
    q = -leak * d * w;
  } else if (h <= s) {  // head between bed and stage
    if (h >= ms.elevation[cell]) return true;
    if (!wetted_width(ms, link, node, d, w)) return false;
    q = leak * (h - s) * w;
  } else {  // head above the stage: the aquifer feeds the channel
    if (h - ms.bottom_elev[cell] < 0.01) return true;
    if (!wetted_width(ms, link, node, h - z, w)) return false;
    q = leak * (h - s) * w;
  }
  return true;
}

// Whether any admitted entry can exchange at all.
bool any_stream_exchange(const main_state& ms) {
  for (int i = 1; i <= ms.n_gst_cells; ++i)
    for (int e = 1; e <= ms.gst_ncellsingrid[i]; ++e) {
      const int k = ms.gst_link[i][e], n = ms.gst_node[i][e], c = ms.gst_gnum[i][e];
      if (!exchange_admits(ms, k, n)) continue;
      if (!ms.water_table_on) {
        if (ms.chan_depth[n][k] > 1e-16) return true;
      } else if (river_cell(ms, c) && (ms.elevgw[c] > ms.bel[n][k] || ms.chan_depth[n][k] > 1e-6)) {
        return true;
      }
    }
  return false;
}

void lake_rates(main_state& ms) {
  if (ms.lake_gw_flux.empty()) return;
  const long cells = ms.lake_gw_flux.size();
  for (long c = 1; c <= cells; ++c) {
    double& rate = ms.lake_gw_flux[c];
    rate = 0.0;  // the cases below that set no rate exchange nothing
    const int lake = ms.lake_mask.empty() ? 0 : ms.lake_mask[c];
    if (lake < 1) continue;
    const double E = ms.lake_elev[lake], g = ms.elevation[c];
    const double leak = lake_bed_conductivity(ms, c) / (ms.Mlake[lake] / 100.0);
    if (!ms.water_table_on) {
      if (E - g > 1e-16) rate = -leak * (E - g) * ms.dx;
    } else if (!ms.gw_simulation_on || ms.gwbound[c] == lake_cell_type) {
      const double h = ms.elevgw[c], zb = ms.bottom_elev[c];
      if (h > g && h - zb > 0.01) rate = (h - E) * leak * ms.dx;
      else if (zb < E && E - g > 1e-16) rate = -leak * (E - g) * ms.dx;
    }
  }
}

// Active cell of point k of lake `lake`'s search list, 0 for none.
int lake_cell(const main_state& ms, int lake, int k) {
  const int row = ms.lake_search[lake][1][k], col = ms.lake_search[lake][2][k];
  if (row < 1 || col < 1 || row > ms.mask.size1() || col > ms.mask.size2()) return 0;
  return ms.mask[row][col];
}

void start_routing_for_aquifer(main_state& ms) {
  ms.chan_active = 1;
  ms.chan_interval = ms.chan_contam_on ? ms.dt : ms.gw_interval;
  while (ms.chan_interval > 3600.0) ms.chan_interval *= 0.5;
  ms.chan_interval_days = ms.chan_interval / seconds_per_day;
  ms.next_chan_time = ms.now;
  ms.last_chan_time = ms.now - ms.chan_interval_days;
  if (ms.chan_contam_on) align_chan_contam_clocks(ms);
}

// Only losing nodes: T s of loss out of every node's water, never more than
// it holds; then the loss of each river cell into stream_gw_cell_vol.
bool drain_losing_nodes(main_state& ms, double T) {
  if (ms.stream_loss_scale.size1() != ms.qriv.size1() || ms.stream_loss_scale.size2() != ms.qriv.size2())
    ms.stream_loss_scale.allocate(ms.qriv.size1(), ms.qriv.size2());
  for (int k = 1; k <= ms.LINKS; ++k) {
    const double dx = ms.chan_dx[k];
    for (int n = 1; n <= ms.nx[k]; ++n) {
      const double vp = ms.gst_Vp[n][k] = ms.area[n][k] * dx;
      const double loss = -ms.qriv[n][k] * dx * T;
      double& scale = ms.stream_loss_scale[n][k];
      scale = 1.0;
      if (vp < loss && ms.qriv[n][k] < 0) {
        scale = vp / loss;
        ms.qriv[n][k] = 0.0;  // rebuilt below from the node's entries
      }
    }
  }
  const bool keep = ms.chan_contam_on && !ms.gst_qriv_vol.empty();
  for (int i = 1; i <= ms.n_gst_cells; ++i)
    for (int e = 1; e <= ms.gst_ncellsingrid[i]; ++e) {
      const int k = ms.gst_link[i][e], n = ms.gst_node[i][e];
      if (k < 1 || k > ms.LINKS || n < 1 || n > ms.nx[k]) continue;
      const double scale = ms.stream_loss_scale[n][k];
      if (scale >= 1.0) continue;
      double& q = ms.gst_qriv[i][e];
      if (q < 0) q *= scale;
      ms.qriv[n][k] += ms.gst_pct[i][e] * q;
      if (keep) ms.gst_qriv_vol[i][e] += T * q * ms.chan_dx[k] * ms.gst_pct[i][e];
    }
  for (int k = 1; k <= ms.LINKS; ++k) {
    const double dx = ms.chan_dx[k];
    for (int n = 1; n <= ms.nx[k]; ++n) {
      double& vp = ms.gst_Vp[n][k];
      vp += T * ms.qriv[n][k] * dx;
      double a = vp / dx;
      // A node paid out down to its last drop ends empty, not a rounding below.
      if (std::fabs(a) < 1e-15 || (ms.stream_loss_scale[n][k] < 1.0 && a < 0 && a > -1e-12)) a = 0.0;
      if (a < 0) {
        say(format_string("Error undating channels for groundwater influence without routing: node %d link %d \n", n,
                          k));
        error_rec.code = already_printed_code;
        report_error(error_rec);
        return false;
      }
      ms.area[n][k] = a;
    }
  }
  if (ms.stream_gw_cell_vol.empty()) return true;
  for (int i = 1; i <= ms.n_gst_cells; ++i)
    for (int e = 1; e <= ms.gst_ncellsingrid[i]; ++e) {
      const int k = ms.gst_link[i][e], n = ms.gst_node[i][e], c = ms.gst_gnum[i][e];
      if (!exchange_admits(ms, k, n) || n > ms.nx[k]) continue;
      if (ms.lakes_on && !ms.lake_mask.empty() && ms.lake_mask[c] > 0)
        ms.stream_gw_cell_vol[c] = 0.0;
      else if (ms.gwbound[c] == river_cell_type)
        ms.stream_gw_cell_vol[c] += T * ms.gst_qriv[i][e] * ms.chan_dx[k] * ms.gst_pct[i][e];
    }
  return true;
}

}  // namespace

double lake_bed_conductivity(const main_state& ms, long cell) {
  if ((ms.green_ampt_on || ms.inf_redist_on) && !ms.conductivity.empty()) return ms.conductivity[cell];
  if (ms.multi_layer_ga_on && !ms.soiltype.empty())
    return ms.soil_type_table[ms.soiltype[cell]].layer_ks[1] / 360000.0;  // cm/h to m/s
  if (ms.richards_on && !ms.KS.empty()) return ms.KS[cell][1] / 360000.0;
  return 0.0;
}

int stream_aquifer_exchange(main_state& ms) {
  if (ms.lake_loss_on) lake_rates(ms);
  if (!ms.stream_loss_on || ms.qriv.empty()) return exchange_none;
  const bool any = any_stream_exchange(ms);
  for (int k = 1; k <= ms.LINKS; ++k)
    for (int n = 1; n <= ms.og_nx1[k]; ++n) ms.qriv[n][k] = 0.0;
  if (!ms.gst_qriv.empty())
    for (int i = 1; i <= ms.n_gst_cells; ++i)
      for (int e = 1; e <= ms.gst_ncellsingrid[i]; ++e) ms.gst_qriv[i][e] = 0.0;
  if (!any || ms.gst_qriv.empty()) return exchange_none;
  int result = exchange_none;
  for (int i = 1; i <= ms.n_gst_cells; ++i)
    for (int e = 1; e <= ms.gst_ncellsingrid[i]; ++e) {
      const int k = ms.gst_link[i][e], n = ms.gst_node[i][e], c = ms.gst_gnum[i][e];
      if (!exchange_admits(ms, k, n)) continue;
      if (ms.water_table_on && !river_cell(ms, c)) continue;
      double q = 0.0;
      if (!entry_seepage(ms, c, k, n, q)) return exchange_none;
      ms.gst_qriv[i][e] = q;
      double& node_q = ms.qriv[n][k];
      node_q += ms.gst_pct[i][e] * q;
      if (std::isnan(node_q)) {
        node_q = 0.0;
        say(format_string("qriv in node %ld link %ld is not a number\n", static_cast<long>(n), static_cast<long>(k)));
        say("qriv set to zero in this node \n");
        say("check your input \n");
      }
      if (node_q > 0) result = exchange_gaining;
      else if (result != exchange_gaining && node_q < 0 && ms.chan_depth[n][k] > 0) result = exchange_losing;
    }
  return result;
}

void lake_seepage(main_state& ms, int lake, double dt, bool keep_for_constituents) {
  if (ms.lake_gw_flux.empty() || ms.lake_source.empty()) return;
  const int cells = ms.lake_cells[lake];
  double gain = 0.0, loss = 0.0;
  for (int k = 1; k <= cells; ++k) {
    const int c = lake_cell(ms, lake, k);
    if (c < 1) continue;
    const double v = dt * ms.lake_gw_flux[c] * ms.dx;
    if (v > 0) gain += v;
    else loss -= v;
  }
  double share = 1.0;  // of every losing cell's volume that the lake can pay
  if (loss > 0 && ms.lake_volume[lake] + gain - loss < 0) share = std::max(0.0, (ms.lake_volume[lake] + gain) / loss);
  const bool keep = keep_for_constituents && !ms.lake_loss_cell.empty();
  for (int k = 1; k <= cells; ++k) {
    const int c = lake_cell(ms, lake, k);
    if (c < 1) continue;
    double v = dt * ms.lake_gw_flux[c] * ms.dx;
    if (v < 0) v *= share;
    ms.lake_volume[lake] += v;
    if (v > 0) ms.lake_in_dv[lake] += v;
    else ms.lake_out_dv[lake] -= v;
    ms.lake_source[c] += v;
    if (keep) ms.lake_loss_cell[c] += v;
  }
  // Paid out to the last drop: no rounding below empty.
  if (share < 1.0 && ms.lake_volume[lake] < 0 && ms.lake_volume[lake] > -1e-9) ms.lake_volume[lake] = 0.0;
}

void gw_channel_coupling(main_state& ms, double step) {
  if (!ms.channel_on || !(ms.stream_loss_on || ms.lake_loss_on) || ms.chan_active) return;
  const double T = step;
  const int stopped = error_rec.stop;
  const int state = stream_aquifer_exchange(ms);
  ms.chan_gw_exchange_state = state;
  ms.lake_gw_active = 0;
  if (error_rec.stop && !stopped) return;
  if (ms.lakes_on && ms.lake_loss_on) {
    if (book_lake_exchange(ms, false)) ms.lake_gw_active = 1;
    for (int lake = 1; lake <= ms.n_lakes; ++lake)
      if (!ms.calc_loss.empty() && ms.calc_loss[lake] != 0) lake_seepage(ms, lake, T, false);
    if (book_lake_exchange(ms, false)) ms.lake_gw_active = 1;
  }
  if (state == exchange_losing) {
    if (!drain_losing_nodes(ms, T)) return;
    ex_section(ms, 1, ms.area);
    if (error_rec.code != 0) report_error(error_rec);  // printed by the section code
  } else if (state == exchange_gaining) {
    for (double& v : ms.stream_gw_cell_vol) v = 0.0;
    start_routing_for_aquifer(ms);
  }
}

void check_exchange_beds(main_state& ms) {
  const auto refuse = [](const std::string& text) {
    say(text);
    error_rec.code = already_printed_code;
    report_error(error_rec);
  };
  if (ms.stream_loss_on && !ms.Mrb.empty()) {
    for (int i = 1; i <= ms.n_gst_cells; ++i)
      for (int e = 1; e <= ms.gst_ncellsingrid[i]; ++e) {
        const int k = ms.gst_link[i][e], n = ms.gst_node[i][e];
        if (!exchange_admits(ms, k, n) || n < 1 || n > ms.Mrb.size1()) continue;
        if (ms.Mrb[n][k] > 0) continue;
        refuse(format_string("Error: the river bed of link %d node %d (grid-stream cell %d) is %g m thick; a stream "
                             "that exchanges water with the ground needs a bed thickness above 0.\n",
                             k, n, i, ms.Mrb[n][k]));
        return;
      }
  }
  if (ms.lakes_on && ms.lake_loss_on && !ms.Mlake.empty() && !ms.calc_loss.empty()) {
    for (int lake = 1; lake <= ms.n_lakes; ++lake) {
      if (ms.calc_loss[lake] == 0 || ms.Mlake[lake] > 0) continue;
      refuse(format_string("Error: the bed of lake %d is %g cm thick (MLAKE); a lake that seeps into the ground "
                           "needs a bed thickness above 0.\n",
                           lake, ms.Mlake[lake]));
      return;
    }
  }
}

}  // namespace kavro
