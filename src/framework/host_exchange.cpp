// At the end of an event: the exchange with the host environment and its
// co-run model (ASCII maps and the day-number file in "exchange/"), the
// channel cross-sections after sediment transport, and the hand-over to the
// end-of-event accounting.
#include "framework/host_exchange.h"

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "channel/cross_sections.h"
#include "framework/channel_nodes.h"
#include "framework/error_record.h"
#include "framework/event_schedules.h"
#include "framework/main_state.h"
#include "framework/run_clock.h"
#include "input/ascii_map.h"

namespace kavro {

namespace {

// Saturated conductivity: m/s in the model, cm/h in the exchange maps.
constexpr double ms_to_cm_per_h = 360000.0;

// Prints the message with the path, sets the already-printed code and reports it.
void stop_on(const char* format, const std::string& path) {
  std::printf(format, path.c_str());
  error_rec.code = already_printed_code;
  report_error(error_rec);
}

bool send_map(main_state& ms, const std::string& path, const dvec& values, const char* failure) {
  if (!ms.fs_exchange.open(path, "w")) {
    stop_on(failure, path);
    return false;
  }
  write_ascii_map(ms.fs_exchange.fp, ms.mask, ms.map_north, ms.map_south, ms.map_east, ms.map_west,
                  ms.map_rows, ms.map_cols, values);
  ms.fs_exchange.close();
  return true;
}

bool send_maps(main_state& ms) {
  if (ms.moist_to_vopa_on == 1 && !send_map(ms, ms.moist_to_vopa_path, ms.cum_infil_depth,
                                            "Can't open soil moisture exchange file %s for writing\n"))
    return false;
  if (ms.rough_to_vopa_on == 1 && !send_map(ms, ms.rough_to_vopa_path, ms.dist_rough,
                                            "Can't open roughness exchange file %s for writing\n"))
    return false;
  if (ms.ksat_to_vopa_on == 1) {
    for (long j = 1; j <= ms.n_cells; ++j) ms.exchange_map_values[j] = ms.conductivity[j] * ms_to_cm_per_h;
    if (!send_map(ms, ms.ksat_to_vopa_path, ms.exchange_map_values,
                  "Can't open Ksat exchange file %s for writing\n"))
      return false;
  }
  if (ms.poros_to_vopa_on == 1 &&
      !send_map(ms, ms.poros_to_vopa_path, ms.porosity, "Can't open porosity exchange file %s for writing\n"))
    return false;
  return true;
}

// Day numbers counted from 01:00 on 31 December of the previous year.
bool write_day_numbers(main_state& ms) {
  const double origin = julian_date(ms.cur_year - 1, 12, 31, 1, 0, 0.0);
  const std::optional<double> next = next_event_start_time(ms);
  ms.vopa_day_now = static_cast<int>(ms.now - origin);
  ms.vopa_day_next = next ? static_cast<int>(*next - origin) : -1;
  if (!ms.vopa_exchange_file.open(ms.vopa_exchange_path, "w")) {
    std::printf("unable to open vopa exchange file for writing\n");
    error_rec.code = already_printed_code;
    report_error(error_rec);
    return false;
  }
  if (next)
    std::fprintf(ms.vopa_exchange_file.fp, "%3d %3d\n", ms.vopa_day_now, ms.vopa_day_next);
  else
    std::fprintf(ms.vopa_exchange_file.fp, "999 999\n");
  ms.vopa_exchange_file.close();
  return true;
}

// Reads one received map into `dest` (values of the active cells). False
// when it cannot be opened or read (the run stops).
bool receive_map(main_state& ms, const std::string& path, dvec& dest, const char* failure) {
  if (!ms.fs_exchange.open(path, "r")) {
    stop_on(failure, path);
    return false;
  }
  read_ascii_map(ms.fs_exchange, path, map_reals_a, ms.map_north, ms.map_south, ms.map_east, ms.map_west,
                 ms.map_rows, ms.map_cols, ms.mask, &dest, nullptr, nullptr, ms.rows, ms.cols, ms.quiet);
  ms.fs_exchange.close();
  // A map of the wrong size or cut short was reported by the reader.
  return error_rec.code == 0 && error_rec.stop == 0;
}

// A received moisture stays within the soil's bounds.
void bound_received_moisture(main_state& ms) {
  for (long j = 1; j <= ms.n_cells; ++j) {
    double& theta = ms.init_moisture[j];
    if (ms.long_term_on) {
      if (theta > ms.porosity[j])
        theta = (ms.porosity[j] - ms.residual_sat[j]) * 0.99 + ms.residual_moisture[j];
      if (ms.residual_sat[j] >= theta)
        theta = (ms.porosity[j] - ms.residual_sat[j]) * 0.01 + ms.residual_sat[j];
    } else {
      if (theta > ms.porosity[j]) theta = ms.porosity[j] * 0.99;
      if (theta < 0.1) theta = 0.1;
    }
  }
}

bool receive_maps(main_state& ms) {
  std::printf("reading VOPA exchange maps\n");
  std::fflush(stdout);
  if (ms.moist_from_vopa_on == 1) {
    if (!receive_map(ms, ms.moist_from_vopa_path, ms.init_moisture,
                     "2 Can't open soil moisture exchange file %s for reading\n"))
      return false;
    bound_received_moisture(ms);
  }
  if (ms.rough_from_vopa_on == 1) {
    if (!receive_map(ms, ms.rough_from_vopa_path, ms.dist_rough,
                     "2 Can't open roughness exchange file %s for reading\n"))
      return false;
    for (long j = 1; j <= ms.n_cells; ++j) {
      if (ms.dist_rough[j] <= 0.0) ms.dist_rough[j] = 0.04;
    }
  }
  if (ms.ksat_from_vopa_on == 1) {
    if (!receive_map(ms, ms.ksat_from_vopa_path, ms.conductivity,
                     "2 Can't open Ksat exchange file %s for reading\n"))
      return false;
    for (long j = 1; j <= ms.n_cells; ++j) ms.conductivity[j] /= ms_to_cm_per_h;
  }
  return true;
}

// The host runs one event per call, or the run skips the dry spell to the
// step before the next event (none after the last one).
void host_event_bookkeeping(main_state& ms) {
  if (ms.qln_event_num_on) {
    std::printf("End of QLN event %d\n", ms.event_no);
    ms.keep_running = 0;
    return;
  }
  if (!may_skip_dry_spell(ms)) return;
  const std::optional<double> next = next_event_start_time(ms);
  ms.keep_running = next ? 1 : 0;
  if (!next) return;
  jump_clock_to(ms, *next);
  const double n = ms.now;
  ms.precip_period_start = ms.last_infil_time = n;
  ms.precip_period_end = ms.next_infil_time = n + ms.dt_days;
  if (ms.channel_on) {
    ms.last_chan_time = n;
    ms.next_chan_time = n + ms.dt_days;
    if (ms.chan_contam_on) align_chan_contam_clocks(ms);
  }
  if (ms.ov_contam_on) align_ov_contam_clocks(ms);
  if (ms.ov_bmp_on) align_bmp_clock(ms);
}

// Exchange with the co-run model; false when the run must stop.
bool exchange_with_host(main_state& ms) {
  if (!send_maps(ms) || !write_day_numbers(ms)) return false;
  if (next_event_start_time(ms) && ms.qln_event_num_on == 0 && !receive_maps(ms)) return false;
  host_event_bookkeeping(ms);
  return true;
}

bool erodible_link_with(int ltype, int section_bit) { return (ltype & section_bit) && (ltype & 2); }

// A breakpoint node whose water now stands above its highest level so far
// takes its present sand volume as the reference of the next bed change.
void refresh_breakpoint_sand(main_state& ms) {
  for (long link = 1; link <= ms.LINKS; ++link) {
    if (!erodible_link_with(ms.ltype[link], 8)) continue;
    const int slot = ms.bplink[link];
    for (long node = 1; node <= ms.nx1[link]; ++node)
      if (ms.yp[node][link] > ms.max_yp[slot][node]) ms.bp_sand_vol[slot][node] = ms.ch_sand_vol[node][link][0];
  }
}

// The channel cross-sections follow the bed that erosion and deposition left.
void update_cross_sections(main_state& ms) {
  const bool adjust_bed = ms.sed_control.adjust_channel_bed_on == 1;
  if (ms.n_bp_sections >= 1) {
    xsec_update(ms);
    if (error_rec.code != 0) return;
    if (adjust_bed) {
      ex_section(ms, 1, ms.area);
      if (error_rec.code != 0) return;
      refresh_breakpoint_sand(ms);
    }
  }
  if (!adjust_bed) return;
  bool moved = false;
  for (long link = 1; link <= ms.LINKS && link <= ms.og_nx1.size(); ++link) {
    if (!erodible_link_with(ms.ltype[link], 4)) continue;
    const long nodes = std::min<long>(ms.og_nx1[link], nodes_within(ms, link, ms.bel, ms.new_bel, ms.yp, ms.chan_depth));
    for (long node = 1; node <= nodes; ++node) {
      ms.bel[node][link] = ms.new_bel[node][link];
      ms.yp[node][link] = ms.bel[node][link] + ms.chan_depth[node][link];
      moved = true;
    }
  }
  if (moved) ex_section(ms, 2, ms.area);
}

}  // namespace

void host_exchange_step(main_state& ms) {
  if (ms.event_over != 1) return;
  if (ms.qln_on && ms.vopa_on && !exchange_with_host(ms)) return;
  if (ms.ov_sed_out_on == 1) {
    update_cross_sections(ms);
    if (error_rec.code != 0) return;
  }
  ms.event_over = 0;
  ms.event_done = 1;
}

}  // namespace kavro
