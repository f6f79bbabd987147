// The time-series outputs of the run, written at every hydrograph interval:
// the outlet hydrograph and its companions (runoff and rainfall in mm/h, the
// significant-digits copy), the series at the output locations, the soil,
// overland and lake series, the sediment series, the channel link/node
// datasets, the permafrost profile, the nutrient hydrographs and the hand-over
// to the segment model and to a nested run. Discharges in m3/s, or ft3/s
// with card QOUT_CFS; depths and elevations in m.
#include <cmath>
#include <cstdio>

#include "framework/main_state.h"
#include "framework/run_clock.h"
#include "framework/run_globals.h"
#include "framework/readers.h"
#include "framework/run_warnings.h"
#include "output/map_writers.h"
#include "output/output_steps.h"
#include "output/q7_setup.h"
#include "output/timeseries_output.h"
#include "output/xy_boundary.h"

namespace kavro {

namespace {

constexpr int permafrost_profile_cell = 45;  // the active cell whose soil-temperature profile is written

// The time column of a row: elapsed minutes in event runs, the long-term time
// value in long-term runs.
double row_time(const main_state& ms, double long_term_time) {
  return ms.long_term_on ? long_term_time : ms.elapsed_min;
}

bool valid_node(const main_state& ms, long link, long node) {
  return link >= 1 && link <= ms.LINKS && node >= 1 && node <= ms.qp.size1() && link <= ms.qp.size2();
}

// The outlet sediment hydrograph (m3/s of solids, or ft3/s): without
// channels the overland outlet's discharge of the latest step; with them the
// wash load of each fine class and the bed material of each sand entry
// leaving the outlet node.
void write_outlet_sediment_row(const main_state& ms, double f, double long_term_time) {
  std::FILE* out = ms.sed_control.outlet_sed_flux_file.fp;
  if (!out) return;
  const double t =
      ms.long_term_on ? long_term_time : (ms.strict_julian_date_on ? ms.now : ms.elapsed_min);
  if (!ms.ov_sed_out_on) {
    const double rate = ms.dt > 0.0 ? ms.ov_sed->outlet_vol_step / ms.dt : 0.0;
    std::fprintf(out, "%16.8lf %16.10lf\n", t, rate * f);
    return;
  }
  if (!ms.long_term_on && !ms.qout_cfs_on)
    std::fprintf(out, "%16.10lf", t);
  else if (!ms.long_term_on && ms.strict_julian_date_on)
    std::fprintf(out, "%16.8lf ", t);
  else
    std::fprintf(out, "%16.8lf", t);
  for (long m = 1; m <= ms.n_fine_classes; ++m)
    std::fprintf(out, " %16.10lf", m <= ms.wash_out_rate.size() ? ms.wash_out_rate[m] * f : 0.0);
  for (long m = 1; m <= ms.n_sand_classes + 1; ++m)
    std::fprintf(out, " %16.10lf", m <= ms.sand_out_rate.size() ? ms.sand_out_rate[m] * f : 0.0);
  std::fprintf(out, "\n");
}

// The outlet discharge of a row (m3/s): the outlet volume booked since the
// previous row (overland outlet or channel outlet) over the time since it.
// The discharge of the last routing pass would sample one phase of schemes
// whose passes alternate their sweep order; the booked volume is the water
// that left. Moves the row marks on.
double row_outlet_discharge(main_state& ms) {
  const double span = static_cast<double>(ms.step_no - ms.hydrograph_row_step) * ms.dt;
  const double volume = ms.vol_discharge_total - ms.hydrograph_row_vol;
  ms.hydrograph_row_step = ms.step_no;
  ms.hydrograph_row_vol = ms.vol_discharge_total;
  return span > 0.0 ? volume / span : ms.qout;
}

// Items 4 to 6: runoff and rainfall rates and the outlet hydrographs, with
// the row's outlet discharge q (m3/s).
void write_outlet_rows(main_state& ms, double q, double f, double long_term_time) {
  const double basin_area = static_cast<double>(ms.n_cells) * ms.dx * ms.dx;
  if (ms.runoff_mmph_on && ms.fs_runoff_mmph.is_open()) {
    const double runoff = basin_area > 0.0 ? q * 3600.0 / basin_area * 1000.0 : 0.0;
    if (ms.strict_julian_date_on)
      std::fprintf(ms.fs_runoff_mmph.fp, "%16.6lf %16.8lf\n", ms.now, runoff);
    else
      std::fprintf(ms.fs_runoff_mmph.fp, "%8.2lf %16.8lf\n", ms.elapsed_min, runoff);
  }
  if (ms.rainfall_mmph_on && ms.fs_rain_mmph.is_open()) {
    if (ms.strict_julian_date_on)
      std::fprintf(ms.fs_rain_mmph.fp, "%16.6lf %16.8lf\n", ms.now, ms.mean_rain_rate);
    else
      std::fprintf(ms.fs_rain_mmph.fp, "%8.2lf %16.8lf\n", ms.elapsed_min, ms.mean_rain_rate);
  }

  std::FILE* outlet = ms.outlet_hydro_file.fp;
  std::FILE* sig = ms.fs_hyd_6digit.fp;
  const bool cfs = ms.qout_cfs_on != 0;
  if (!ms.long_term_on && !ms.strict_julian_date_on) {
    if (outlet) std::fprintf(outlet, cfs ? "%8.2lf %10.3lf\n" : "%8.2lf %16.8lf\n", ms.elapsed_min, q * f);
    if (sig) std::fprintf(sig, "%8.2lf %16.8lf\n", ms.elapsed_min, q * f);
  } else if (!ms.long_term_on) {
    if (outlet) std::fprintf(outlet, "%16.8lf %16.8lf\n", ms.now, q * f);
    if (sig) std::fprintf(sig, "%8.2lf %16.8lf\n", ms.now, q * f);
  } else {
    if (outlet) std::fprintf(outlet, cfs ? "%16.8lf %16.8lf\n" : "%16.8lf %11.4lf\n", long_term_time, q * f);
    if (sig) std::fprintf(sig, "%8.2lf %16.8lf\n", long_term_time, q * f);
  }
  ms.hydrograph_rows += 1;

  if (ms.sed_control.erosion_on && ms.ov_sed) write_outlet_sediment_row(ms, f, long_term_time);
  // Suspended sediment at the outlet node.
  if (ms.sed_control.erosion_on && ms.ov_sed_out_on && ms.outlet_sed_tss_on &&
      ms.sed_control.outlet_sed_tss_file.is_open()) {
    const long link = ms.LINKS;
    const long node = link >= 1 && link <= ms.nx.size() ? ms.nx[link] : 0;
    const long row = link * ms.max_nodes_per_link + node;
    const double conc = row >= 0 && row <= ms.chan_sed_conc.size1() && !ms.chan_sed_conc.empty()
                            ? ms.chan_sed_conc[row][0]
                            : 0.0;
    std::fprintf(ms.sed_control.outlet_sed_tss_file.fp, "%16.4lf %16.4lf \n", row_time(ms, long_term_time), conc);
  }
}

// Items 7 and 8: discharge and groundwater exchange at the channel points.
void write_channel_point_rows(main_state& ms, double f, double long_term_time) {
  if (ms.in_hyd_location_on && ms.fs_out_hyd.is_open()) {
    std::FILE* out = ms.fs_out_hyd.fp;
    write_location_time(out, ms, long_term_time);
    for (long k = 1; k <= ms.n_hyd_locations; ++k) {
      const long l = ms.hlink[k], n = ms.hnode[k];
      std::fprintf(out, "%16.8lf ", valid_node(ms, l, n) ? ms.qp[n][l] * f : 0.0);
    }
    std::fprintf(out, "\n");
  }
  if (ms.in_gwflux_location_on && ms.fs_out_gwflux.is_open()) {
    std::FILE* out = ms.fs_out_gwflux.fp;
    write_location_time(out, ms, long_term_time);
    for (long k = 1; k <= ms.n_gwflux_locations; ++k) {
      const long l = ms.gwflink[k], n = ms.gwfnode[k];
      double v = 0.0;
      if (n >= 1 && n <= ms.av_qriv.size1() && l >= 1 && l <= ms.av_qriv.size2() && l <= ms.chan_dx.size()) {
        v = ms.av_qriv[n][l] / ms.hyd_interval_steps * ms.chan_dx[l] * f;
        ms.av_qriv[n][l] = 0.0;  // the average restarts with every row
      }
      std::fprintf(out, "%16.8lf ", v);
    }
    std::fprintf(out, "\n");
  }
}

// Item 9: depth and discharge magnitude of the listed cells, as they are now.
void write_cell_rows(main_state& ms, double f, double long_term_time) {
  if (!ms.in_celldepdis_location_on || !ms.fs_out_celldepdis.is_open()) return;
  std::FILE* out = ms.fs_out_celldepdis.fp;
  if (ms.long_term_on)
    std::fprintf(out, "%16.8lf     ", long_term_time);
  else
    std::fprintf(out, "%14.8lf     ", ms.elapsed_min);
  if (!ms.qout_cfs_on) {
    for (long k = 1; k <= ms.n_cell_locations; ++k)
      std::fprintf(out, "%12.6lf  ", current_cell_depth(ms, ms.gnumlocater[k]));
  }
  std::fprintf(out, "        ");
  for (long k = 1; k <= ms.n_cell_locations; ++k) {
    const long c = ms.gnumlocater[k];
    double q = 0.0;
    if (c >= 1 && c <= ms.ov_qx.size() && c <= ms.ov_qy.size())
      q = std::sqrt(ms.ov_qx[c] * ms.ov_qx[c] + ms.ov_qy[c] * ms.ov_qy[c]);
    std::fprintf(out, "%12.6lf  ", q * f);
  }
  std::fprintf(out, "\n");
}

// Items 12 to 14: channel depth, concentration and mass flux at the
// hydrograph points.
void write_channel_quality_rows(main_state& ms, double long_term_time) {
  if (ms.out_dep_location_on && ms.fs_out_loc_1.is_open()) {
    std::FILE* out = ms.fs_out_loc_1.fp;
    write_location_time(out, ms, long_term_time);
    for (long k = 1; k <= ms.n_hyd_locations; ++k) {
      const long l = ms.hlink[k], n = ms.hnode[k];
      const bool ok = n >= 1 && n <= ms.chan_depth.size1() && l >= 1 && l <= ms.chan_depth.size2();
      std::fprintf(out, "%12.6lf ", ok ? ms.chan_depth[n][l] : 0.0);
    }
    std::fprintf(out, "\n");
  }
  const auto node_index = [&](long k) { return ms.hlink[k] * ms.max_nodes_per_link + ms.hnode[k]; };
  if (ms.out_con_location_on && ms.fs_out_loc_2.is_open()) {
    std::FILE* out = ms.fs_out_loc_2.fp;
    write_location_time(out, ms, long_term_time);
    for (long k = 1; k <= ms.n_hyd_locations; ++k) {
      const long i = node_index(k);
      for (long c = 1; c <= ms.n_constituents; ++c) {
        const bool ok = c <= ms.chan_node_conc.size1() && i >= 0 && i <= ms.chan_node_conc.size2();
        std::fprintf(out, "%12.6lf ", ok ? ms.chan_node_conc[c][i] : 0.0);
      }
    }
    std::fprintf(out, "\n");
  }
  if (ms.out_mass_location_on && ms.fs_out_loc_3.is_open()) {
    std::FILE* out = ms.fs_out_loc_3.fp;
    write_location_time(out, ms, long_term_time);
    for (long k = 1; k <= ms.n_hyd_locations; ++k) {
      const long i = node_index(k);
      for (long c = 1; c <= ms.n_constituents; ++c) {
        const bool ok = c <= ms.dissolved_chan_flux.size1() && i >= 0 && i <= ms.dissolved_chan_flux.size2();
        std::fprintf(out, "%12.6lf ", ok ? ms.dissolved_chan_flux[c][i] : 0.0);
        if (ms.sed_contam_on) {
          const bool ok2 = c <= ms.attached_chan_flux.size1() && i >= 0 && i <= ms.attached_chan_flux.size2();
          std::fprintf(out, "%12.6lf ", ok2 ? ms.attached_chan_flux[c][i] : 0.0);
        }
      }
    }
    std::fprintf(out, "\n");
  }
}

// Item 15: soil moisture of the listed cells.
void write_soil_moisture_rows(main_state& ms, double long_term_time) {
  if (!ms.in_theta_location_on || !ms.fs_out_theta_location.is_open()) return;
  std::FILE* out = ms.fs_out_theta_location.fp;
  write_location_time(out, ms, long_term_time);
  for (long k = 1; k <= ms.n_output_cells; ++k) {
    const long c = ms.cell_loc[k];
    if (c < 1 || c > ms.n_cells) continue;
    if (ms.richards_on) {
      const long n_nodes = k <= ms.cell_num.size() ? ms.cell_num[k] : 0;
      for (long j = 1; j <= n_nodes; ++j) {
        const long node = k <= ms.cell_theta_nodes.size1() && j <= ms.cell_theta_nodes.size2() ? ms.cell_theta_nodes[k][j] : 0;
        const bool ok = c <= ms.THETA.size1() && node >= 0 && node <= ms.THETA.size2();
        std::fprintf(out, "%12.6lf ", ok ? ms.THETA[c][node] : 0.0);
      }
    } else if (ms.long_term_on && (ms.inf_redist_on || ms.multi_layer_ga_on)) {
      double upper = ms.top_layer_depth_cm;
      if (ms.multi_layer_ga_on) {
        const long id = ms.soiltype[c];
        if (id >= 0 && id < soil_type_store::size()) upper = ms.soil_type_table[id].layer_depth[1];
      }
      const double whole = ms.soil_moist_depth_cm;
      const double w1 = c <= ms.soil_water_cm.size() ? ms.soil_water_cm[c] : 0.0;
      const double w2 = c <= ms.soil_water2_cm.size() ? ms.soil_water2_cm[c] : 0.0;
      double theta1 = 0.0, theta2 = 999.99;
      if (upper <= whole) {
        theta1 = upper > 0.0 ? w1 / upper : 0.0;
        theta2 = whole - upper > 0.0 ? w2 / (whole - upper) : 0.0;
      } else {
        theta1 = whole > 0.0 ? w1 / whole : 0.0;
      }
      std::fprintf(out, "%12.6lf %12.6lf ", theta1, theta2);
    } else {
      std::fprintf(out, "%12.6lf ", c <= ms.soil_moisture.size() ? ms.soil_moisture[c] : 0.0);
    }
  }
  std::fprintf(out, "\n");
}

// Cell number at a grid row and column, 0 outside the watershed.
long cell_at(const main_state& ms, long row, long col) {
  if (row < 0 || col < 0 || row > ms.mask.size1() || col > ms.mask.size2()) return 0;
  return ms.mask[row][col];
}

// Item 16: groundwater head at the listed well cells.
void write_well_rows(main_state& ms, double long_term_time) {
  if (!ms.gw_simulation_on || !ms.gw_well_level_on || !ms.gw_well_level_file.is_open()) return;
  std::FILE* out = ms.gw_well_level_file.fp;
  write_location_time(out, ms, long_term_time);
  for (long k = 1; k <= ms.n_well_locations; ++k) {
    const long c = cell_at(ms, ms.well_location_row[k], ms.well_location_col[k]);
    std::fprintf(out, "%12.6lf ", c >= 1 && c <= ms.elevgw.size() ? ms.elevgw[c] : 0.0);
  }
  std::fprintf(out, "\n");
}

// Item 17: depth and water surface at the listed cells.
void write_overland_point_rows(main_state& ms, double long_term_time) {
  if (ms.overland_depths_on && ms.overland_depths_file.is_open()) {
    std::FILE* out = ms.overland_depths_file.fp;
    write_location_time(out, ms, long_term_time);
    for (long k = 1; k <= ms.n_ov_depth_locations; ++k) {
      const long c = cell_at(ms, ms.overland_depth_row[k], ms.overland_depth_col[k]);
      std::fprintf(out, "%12.6lf ", c >= 1 ? ms.ov_depth[c] : 0.0);
    }
    std::fprintf(out, "\n");
  }
  if (ms.overland_wse_on && ms.overland_wse_file.is_open()) {
    std::FILE* out = ms.overland_wse_file.fp;
    write_location_time(out, ms, long_term_time);
    for (long k = 1; k <= ms.n_ov_wse_locations; ++k) {
      const long c = cell_at(ms, ms.overland_wse_row[k], ms.overland_wse_col[k]);
      std::fprintf(out, "%12.6lf ", c >= 1 ? ms.elevation[c] + ms.ov_depth[c] : 0.0);
    }
    std::fprintf(out, "\n");
  }
}

// Item 18: level and volume of every channel lake.
void write_lake_rows(main_state& ms) {
  if (!ms.lakes_on || !ms.lake_output_on || !ms.fs_lake_out.is_open()) return;
  std::FILE* out = ms.fs_lake_out.fp;
  if (ms.long_term_on) {
    const calendar_instant d = calendar_date(ms.now);
    std::fprintf(out, "%4d %2d %2d %2d %2d ", d.year, d.month, d.day, d.hour, d.minute);
  } else {
    std::fprintf(out, "%14.8lf ", ms.elapsed_min);
  }
  for (long k = 1; k <= ms.n_lakes && k <= ms.lake_elev.size() && k <= ms.lake_volume.size(); ++k)
    std::fprintf(out, "%9.3lf  %9.3lf ", ms.lake_elev[k], ms.lake_volume[k]);
  std::fprintf(out, "\n");
}

// Items 19 and 20: sediment discharge and suspended sediment at the sediment
// points.
void write_sediment_point_rows(main_state& ms, double f, double long_term_time) {
  if (!ms.ov_sed_out_on) return;
  const int n_entries = ms.n_fine_classes + ms.n_sand_classes + 1;
  if (ms.in_sed_loc_on && ms.fs_out_sed_loc.is_open()) {
    std::FILE* out = ms.fs_out_sed_loc.fp;
    write_location_time(out, ms, long_term_time);
    if (ms.channel_on) {
      for (long k = 1; k <= ms.n_sed_locations; ++k) {
        const long row = ms.slink[k] * ms.max_nodes_per_link + ms.snode[k];
        for (long c = 1; c <= n_entries; ++c) {
          const bool ok = row >= 0 && row <= ms.qsmax.size1() && c <= ms.qsmax.size2();
          std::fprintf(out, "%16.10lf ", ok ? ms.qsmax[row][c] * f : 0.0);
        }
      }
    }
    // Without channels the row holds its time alone, but it still ends.
    std::fprintf(out, "\n");
  }
  if (ms.out_tss_loc_on && ms.sed_control.out_tss_loc_file.is_open()) {
    std::FILE* out = ms.sed_control.out_tss_loc_file.fp;
    write_location_time(out, ms, long_term_time);
    for (long k = 1; k <= ms.n_sed_locations; ++k) {
      const long row = ms.slink[k] * ms.max_nodes_per_link + ms.snode[k];
      const bool ok = row >= 0 && row <= ms.chan_sed_conc.size1() && !ms.chan_sed_conc.empty();
      std::fprintf(out, "%16.4lf", ok ? ms.chan_sed_conc[row][0] : 0.0);
    }
    std::fprintf(out, "\n");
  }
}

// Item 22: the channel link/node datasets.
void write_channel_datasets(main_state& ms) {
  const bool routed = ms.channel_on != 0;
  if (routed && ms.chan_depth_on && ms.chan_depth_file.is_open()) {
    write_linknode_step(ms.chan_depth_file, ms.LINKS, ms.nx, &ms.og_nx1, ms.ltype, ms.ts_count_depth++, ms.yp,
                        &ms.bel, 1, ms.lake2link, ms.lake_elev);
  }
  const bool flux_table = ms.qsmax_total.size1() >= ms.MAXNODES && ms.qsmax_total.size2() >= ms.LINKS;
  if (ms.ov_sed_out_on && ms.chan_sed_flux_on && ms.chan_sed_flux_file.is_open() && flux_table) {
    const int n_classes = ms.sed_control.n_sed_classes;
    for (long l = 1; l <= ms.LINKS; ++l) {
      for (long n = 1; n <= ms.nx[l]; ++n) {
        const long row = l * ms.max_nodes_per_link + n;
        double total = 0.0;
        for (long c = 1; c <= n_classes && row <= ms.qsmax.size1() && c <= ms.qsmax.size2(); ++c) total += ms.qsmax[row][c];
        ms.qsmax_total[n][l] = total * 1000000.0;
      }
    }
    write_linknode_step(ms.chan_sed_flux_file, ms.LINKS, ms.nx, &ms.og_nx1, ms.ltype, ms.ts_count_sed_flux++,
                        ms.qsmax_total, nullptr, 0, ms.lake2link, ms.lake_elev);
    for (long l = 1; l <= ms.LINKS; ++l)
      for (long n = 1; n <= ms.nx[l]; ++n) ms.qsmax_total[n][l] = 0.0;
  }
  if (routed && ms.chan_discharge_on && ms.chan_discharge_file.is_open())
    write_linknode_step(ms.chan_discharge_file, ms.LINKS, ms.nx, &ms.og_nx1, ms.ltype, ms.ts_count_flow++, ms.qp,
                        nullptr, 0, ms.lake2link, ms.lake_elev);
  if (routed && ms.chan_velocity_on && ms.chan_velocity_file.is_open())
    write_linknode_step(ms.chan_velocity_file, ms.LINKS, ms.nx, &ms.og_nx1, ms.ltype, ms.ts_count_velocity++, ms.qp,
                        &ms.area, 2, ms.lake2link, ms.lake_elev);
  if (routed && ms.chan_stage_on && ms.chan_stage_file.is_open())
    write_linknode_step(ms.chan_stage_file, ms.LINKS, ms.nx, &ms.og_nx1, ms.ltype, ms.ts_count_stage++, ms.yp,
                        nullptr, 0, ms.lake2link, ms.lake_elev);
}

// Item 24: the soil-temperature profile of active cell 45.
void write_permafrost_profile(main_state& ms, double long_term_time) {
  if (ms.permafrost_kotu_path.empty() || !ms.out_kotu_temp_file.is_open()) return;
  std::FILE* out = ms.out_kotu_temp_file.fp;
  const long cell = permafrost_profile_cell;
  const permafrost_layer_soil_record& soil = ms.permafrost_layer_soil;
  if (ms.n_cells < cell) {
    if (!ms.permafrost_profile_warned)
      warn(format_string("Warning: the watershed has fewer than %d cells: no soil-temperature profile is written.\n",
                         permafrost_profile_cell));
    ms.permafrost_profile_warned = 1;
    return;
  }
  const long n_nodes = soil.Dn_nums.size() >= 1 ? soil.Dn_nums[1] : 0;
  const long n_out = soil.Dn_out_nums.size() >= 1 ? soil.Dn_out_nums[1] : 0;
  if (!ms.permafrost_header_written) {
    std::fprintf(out, "Time             Air Temp(C) ");
    for (long j = 1; j <= n_out; ++j) std::fprintf(out, "Depth(m) Soil Temp(C)");
    std::fprintf(out, "\n");
    ms.permafrost_header_written = 1;
  }
  std::fprintf(out, "%16.8lf %8.3lf ", ms.long_term_on ? long_term_time : ms.elapsed_min, ms.hmet_record.hmet_air_temp);
  if (cell > ms.perma_tem.size1()) {
    std::fprintf(out, " \n");
    return;
  }
  bool factor_stored = false;
  const double first = ms.perma_tem.size2() >= 1 ? ms.perma_tem[cell][1] : 0.0;
  for (long i = 1; i <= n_nodes && i <= ms.perma_tem.size2() && i <= soil.Depth.size2() && soil.Depth.size1() >= 1; ++i) {
    const double t = ms.perma_tem[cell][i];
    if (!factor_stored && first < 0.0 && t > -0.35 && t < 0.0 && cell <= ms.fr_lq_wat.size1() && i <= ms.fr_lq_wat.size2()) {
      const double a = 0.7 * std::fabs(1.22 * t);
      ms.fr_lq_wat[cell][i] = std::pow(1.0 + a * a, -0.6667);
      factor_stored = true;
    }
    for (long j = 1; j <= n_out && j <= soil.Dn_out.size2() && soil.Dn_out.size1() >= 1; ++j)
      if (soil.Dn_out[1][j] == soil.Depth[1][i]) std::fprintf(out, "%8.4lf  %11.4lf", soil.Depth[1][i], t);
  }
  std::fprintf(out, " \n");
}

}  // namespace

void write_location_time(std::FILE* f, const main_state& ms, double long_term_time) {
  if (ms.long_term_on)
    std::fprintf(f, "%16.8lf ", long_term_time);
  else
    std::fprintf(f, "%14.8lf ", ms.elapsed_min);
}

double long_term_time_value(const main_state& ms) {
  if (ms.strict_julian_date_on) return ms.now;
  const double minutes_of_year = is_leap_year(ms.cur_year) ? 527040.0 : 525600.0;
  return ms.cur_year + (ms.cur_day_of_year * 1440.0 + ms.cur_hour * 60.0 + ms.cur_minute) / minutes_of_year;
}

double current_cell_depth(const main_state& ms, long cell) {
  if (cell < 1 || cell > ms.n_cells) return 0.0;
  // A channel-lake cell stands under the lake's water surface.
  if (ms.lakes_on && cell <= ms.lake_mask.size()) {
    const long lake = ms.lake_mask[cell];
    if (lake >= 1 && lake <= ms.lake_elev.size()) return ms.lake_elev[lake] - ms.elevation[cell];
  }
  return ms.ov_depth[cell];
}

void write_nutrient_hydrographs(main_state& ms) {
  if (ms.nsm == nullptr) return;
  nsm_output_group& hyd = ms.nsm->hyd_outputs;
  const double t = ms.long_term_on ? long_term_time_value(ms) : ms.elapsed_min;
  for (std::size_t s = 0; s < hyd.out_on.size(); ++s) {
    if (!hyd.out_on[s]) continue;
    if (hyd.conc_files[s].is_open())
      std::fprintf(hyd.conc_files[s].fp, "%16.8lf %11.4lf\n", t, ms.nsm->outlet_conc[s]);
    if (hyd.mass_files[s].is_open())
      std::fprintf(hyd.mass_files[s].fp, "%16.8lf %11.4lf\n", t, ms.nsm->outlet_mass[s]);
  }
}

void write_timeseries_output(main_state& ms) {
  const bool q7_fluxes = ms.q7_settings != nullptr && ms.q7_settings->use_q7_fluxes && ms.q7_data != nullptr;
  if (q7_fluxes)
    q7_accumulate_flows(*ms.q7_data, ms.ov_qx, ms.ov_qy, ms.n_cells, ms.rightcon, ms.belowcon, ms.channel_on, ms.qp,
                        ms.dx);

  // The first pass (step 0) runs at the start time and writes no row.
  if (ms.hyd_interval_steps <= 0 || ms.step_no <= 0 || ms.step_no % ms.hyd_interval_steps != 0) return;

  const double f = ms.qout_cfs_on ? ms.m3_to_ft3 : 1.0;
  const double long_term_time = ms.long_term_on ? long_term_time_value(ms) : 0.0;
  const double day_fraction = ms.cur_day_of_year + ms.cur_hour / 24.0 + ms.cur_minute / 1440.0;
  const double q_row = row_outlet_discharge(ms);

  if (ms.q7_settings != nullptr && ms.q7_settings->use_q7_input && q7_inflow_file.is_open())
    std::fprintf(q7_inflow_file.fp, "%-8.1lf %-7.1f\n", day_fraction, static_cast<double>(static_cast<float>(q_row)));
  if (q7_fluxes) q7_write_fluxes(*ms.q7_data, day_fraction);

  write_outlet_rows(ms, q_row, f, long_term_time);
  write_channel_point_rows(ms, f, long_term_time);
  write_cell_rows(ms, f, long_term_time);
  write_pipe_point_rows(ms, f, long_term_time);
  write_channel_quality_rows(ms, long_term_time);
  write_soil_moisture_rows(ms, long_term_time);
  write_well_rows(ms, long_term_time);
  write_overland_point_rows(ms, long_term_time);
  write_lake_rows(ms);
  write_sediment_point_rows(ms, f, long_term_time);

  // A reader of the hydrographs sees every row as soon as it is written.
  if (ms.outlet_hydro_file.is_open()) std::fflush(ms.outlet_hydro_file.fp);
  if (ms.fs_hyd_6digit.is_open()) std::fflush(ms.fs_hyd_6digit.fp);

  write_channel_datasets(ms);
  write_pipe_datasets(ms);
  write_permafrost_profile(ms, long_term_time);
  if (ms.nutrients_on) write_nutrient_hydrographs(ms);
  if (ms.chan_contam_on) {
    for (long c = 1; c <= ms.contam_link_writers.size() && ms.contam_link_writers.cols() >= 2; ++c) {
      ms.contam_link_writers[c][1].write_step();
      ms.contam_link_writers[c][2].write_step();
    }
  }
  if (ms.project_params.use_xybdyoutput) ms.project_params.xy_output.write_step(ms.now);
}

}  // namespace kavro
