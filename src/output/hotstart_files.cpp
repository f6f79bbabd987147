// The files a run leaves for the runs after it: the channel, groundwater,
// overland and soil-moisture hotstarts, the elevations erosion has adjusted,
// the saturated-source map, the hydrograph file for PQM, the lateral
// sediment totals and the last calibration line.
//
// A hotstart holds the state of the run at its end, so its values are the
// shortest texts that read back to the same doubles: a later run starting
// from it continues this one instead of starting six decimals away. A file
// that cannot be opened is reported (the run ends with an error) and costs
// only itself.
#include "output/hotstart_files.h"

#include <charconv>
#include <cstdio>

#include "channel/link_kinds.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "input/ascii_map.h"
#include "output/pqm_file.h"
#include "overland/overland_solver_state.h"

namespace kavro {

namespace {

// Appends the shortest text of `v` that reads back to the same double.
void put_exact(std::string& line, double v) {
  char text[32];
  line.append(text, std::to_chars(text, text + sizeof text, v).ptr);
}

// An open failure of a hotstart: the message, the run ends with an error.
void report_unopened(const char* format, const std::string& name) {
  std::printf(format, name.c_str());
  error_rec.code = already_printed_code;
  report_error(error_rec);
}

// A cell map in the program's own layout, exact values.
bool write_exact_map(main_state& ms, const std::string& name, const dvec& values, file_wrapper& out) {
  if (!out.open(name, "w")) return false;
  write_ascii_map(out.fp, ms.mask, ms.map_north, ms.map_south, ms.map_east, ms.map_west, ms.grid_rows, ms.grid_cols,
                  values, true);
  out.close();
  return true;
}

void write_optimization_line(main_state& ms) {
  if (!ms.optimize_on || !ms.fs_optimize.is_open()) return;
  double value = ms.vol_discharge_total;
  if (ms.optimize_sed_on)
    value = ms.vol_washload_out_total;
  else if (ms.qout_cfs_on)
    value = ms.vol_discharge_total * 35.32;
  std::fprintf(ms.fs_optimize.fp, "%d %13lf\n", ms.event_no + 1, value);
  std::fflush(ms.fs_optimize.fp);
  ms.fs_optimize.close();
}

// The saturated-source map: the flag of every active cell, 0 outside.
void write_sat_source_map(main_state& ms) {
  file_wrapper out;
  if (!out.open("satsource_file", "w")) {
    report_unopened("Can't open map for writing out sat. source info: %s\n",
                    expected_file_name("satsource_file", "w"));
    return;
  }
  std::FILE* f = out.fp;
  std::fprintf(f, "north: %9.2lf\n", ms.map_north);
  std::fprintf(f, "south: %9.2lf\n", ms.map_south);
  std::fprintf(f, "east: %9.2lf\n", ms.map_east);
  std::fprintf(f, "west: %9.2lf\n", ms.map_west);
  std::fprintf(f, "rows: %5d\n", ms.map_rows);
  std::fprintf(f, "cols: %5d\n", ms.map_cols);
  long cell = 0;
  for (int r = 1; r <= ms.rows && r <= ms.mask.size1(); ++r) {
    for (int c = 1; c <= ms.cols && c <= ms.mask.size2(); ++c) {
      if (ms.mask[r][c] == 0) {
        std::fprintf(f, "0 ");
        continue;
      }
      ++cell;
      std::fprintf(f, "%d ", cell <= ms.sat_source_cell.size() ? ms.sat_source_cell[cell] : 0);
    }
    std::fprintf(f, "\n");
  }
}

// The lateral sediment each node received over the run, one block per
// size class; the file grows by one block of classes per run.
void write_lateral_sediment(main_state& ms) {
  file_wrapper out;
  if (!out.open(ms.project_params.fyssi, "a")) return;
  const d3d& q = ms.qlat_tot_sed;
  for (long c = 1; c <= ms.sed_control.n_sed_classes; ++c) {
    for (long l = 1; l <= ms.LINKS && l <= ms.nx.size(); ++l)
      for (long n = 1; n <= ms.nx[l]; ++n)
        std::fprintf(out.fp, "%6.2lf ",
                     n <= q.size1() && l <= q.size2() && c <= q.size3() ? q[n][l][c] : 0.0);
    std::fprintf(out.fp, "\n");
  }
  std::fprintf(out.fp, "\n----------------------------------------------------------\n");
}

}  // namespace

void write_channel_hotstart(main_state& ms) {
  std::FILE* depth_out = ms.fs_chan_hotstart_out.fp;
  std::FILE* flow_out = ms.chan_hotstart_q_out_file.fp;
  if (depth_out == nullptr && flow_out == nullptr) return;
  std::string line;
  // Exactly the lines the channel hotstart reader reads: every link that is
  // neither a lake nor a structure, nodes 1 to nx.
  for (int link = 1; link <= ms.LINKS && link <= ms.ltype.size(); ++link) {
    if (ms.ltype[link] & (lake_bit | structure_bit)) continue;
    const bool captured = ms.lakes_on && is_captured_section(ms.ltype[link]);
    const int lake = captured && link <= ms.lake2link.size() ? ms.lake2link[link] : 0;
    for (int node = 1; node <= ms.nx[link] && node <= ms.yp.size1(); ++node) {
      if (captured && lake >= 1 && lake <= ms.lake_elev.size()) {
        // A section a lake has taken over holds the lake's level, still water.
        ms.qp[node][link] = 0.0;
        ms.yp[node][link] = ms.lake_elev[lake];
      }
      if (depth_out) {
        line = std::to_string(node) + ' ' + std::to_string(link) + ' ';
        put_exact(line, ms.yp[node][link]);
        line += ' ';
        put_exact(line, node <= ms.area.size1() && link <= ms.area.size2() ? ms.area[node][link] : 0.0);
        line += " \n";
        std::fputs(line.c_str(), depth_out);
      }
      if (flow_out) {
        line = std::to_string(node) + ' ' + std::to_string(link) + ' ';
        put_exact(line, ms.qp[node][link]);
        line += '\n';
        std::fputs(line.c_str(), flow_out);
      }
    }
  }
  if (depth_out) std::fflush(depth_out);
  if (flow_out) std::fflush(flow_out);
}

void write_end_of_run_files(main_state& ms) {
  write_optimization_line(ms);
  if (ms.chan_hotstart_write_on == 1) write_channel_hotstart(ms);
  if (ms.gw_simulation_on) {
    ms.gw_hotstart_on = 1;
    if (!write_exact_map(ms, "hotstart_file", ms.elevgw, ms.fs_final_out_1))
      report_unopened("Can't open gw hot start map for writing out hotstart info: %s\n",
                      expected_file_name("hotstart_file", "w"));
  }
  if (ms.adjust_elev_on == 1) {
    file_wrapper out;
    if (!write_exact_map(ms, ms.project_params.adjust_elev, ms.elevation, out))
      report_unopened("Can't open adjusted elevation map for writing: %s\n",
                      expected_file_name(ms.project_params.adjust_elev, "w"));
  }
  if (ms.sat_source_any == 1) write_sat_source_map(ms);
  if (ms.pqm_hydro_on) write_pqm_file(ms);
  ms.ov_init_depth_file.close();
  const auto& p = ms.project_params;
  if (p.use_write_ov_hotstart) {
    file_wrapper out;
    if (!write_exact_map(ms, p.write_ov_hotstart, ms.ov_depth, out))
      std::printf("Can't open overland hotstart file for writing: %s\n",
                  expected_file_name(p.write_ov_hotstart, "w").c_str());
    // The depths alone do not say how the solver was stepping: its state
    // goes beside them.
    else if (!write_overland_solver_state(ms, p.write_ov_hotstart))
      std::printf("Can't open overland hotstart file for writing: %s\n",
                  expected_file_name(overland_state_name(p.write_ov_hotstart), "w").c_str());
  }
  ms.read_sm_hotstart_file.close();
  if (p.use_write_sm_hotstart) {
    file_wrapper out;
    // Plain Green-Ampt never changes the soil moisture it started from and
    // keeps it as the initial moisture; that is what the next run reads back
    // into it (the surface-moisture output stays unset under this method).
    const bool plain_green_ampt =
        ms.green_ampt_on && !ms.richards_on && !ms.inf_redist_on && !ms.multi_layer_ga_on;
    if (!write_exact_map(ms, p.write_sm_hotstart, plain_green_ampt ? ms.init_moisture : ms.soil_moisture, out))
      std::printf("Can't open soil moisture hotstart file for writing: %s\n",
                  expected_file_name(p.write_sm_hotstart, "w").c_str());
    // The soil moisture alone does not say how far the wetting front has
    // gone: the infiltrated depth goes beside it.
    const std::string companion = p.write_sm_hotstart + ".gaf";
    if (ms.green_ampt_on && !write_exact_map(ms, companion, ms.cum_infil, out))
      std::printf("Can't open soil moisture hotstart file for writing: %s\n",
                  expected_file_name(companion, "w").c_str());
  }
  if (ms.sed_control.erosion_on && ms.ov_sed_out_on && p.use_fyssi) write_lateral_sediment(ms);
}

}  // namespace kavro
